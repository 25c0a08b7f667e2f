#include "host/sdk/interface.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "host/core/hostdirs.h"
#include "host/core/interaction.h"
#include "host/sdk/hold.h"
#include "host/sdk/primitives.h"
#include "host/sdk/util.h"

// ---------------------------------------------------------- notifications

namespace {
struct Registration {
  NOTIFYPROC proc;
  void* param;
  int code;
  uint64_t serial;
};
std::vector<Registration>& Registrations() {
  static auto* r = new std::vector<Registration>();
  return *r;
}
uint64_t g_serial = 0;
}  // namespace

int RegisterNotification(NOTIFYPROC proc, void* param, int code) {
  if (!proc) return 0;
  for (const Registration& r : Registrations())
    if (r.proc == proc && r.param == param && r.code == code) return 1;
  Registrations().push_back({proc, param, code, ++g_serial});
  return 1;
}

int UnRegisterNotification(NOTIFYPROC proc, void* param, int code) {
  auto& regs = Registrations();
  auto it = std::remove_if(regs.begin(), regs.end(), [&](const Registration& r) {
    return r.proc == proc && r.param == param && r.code == code;
  });
  bool found = it != regs.end();
  regs.erase(it, regs.end());
  return found ? 1 : 0;
}

int UnRegisterNotification(NOTIFYPROC proc, void* param) {
  auto& regs = Registrations();
  auto it = std::remove_if(regs.begin(), regs.end(),
                           [&](const Registration& r) { return r.proc == proc && r.param == param; });
  bool found = it != regs.end();
  regs.erase(it, regs.end());
  return found ? 1 : 0;
}

void BroadcastNotification(int code, void* callParam) {
  // Handlers may register or unregister while we call: walk a copy and skip
  // the ones gone since.
  std::vector<Registration> regs = Registrations();
  for (const Registration& r : regs) {
    if (r.code != code) continue;
    const auto& now = Registrations();
    bool still = std::any_of(now.begin(), now.end(),
                             [&](const Registration& x) { return x.serial == r.serial; });
    if (!still) continue;
    NotifyInfo info;
    info.intcode = code;
    info.callParam = callParam;
    r.proc(r.param, &info);
  }
}

// -------------------------------------------------------------- interface

namespace {
Interface*& CoreInterface() {
  static Interface* ip = nullptr;
  return ip;
}
}  // namespace

Interface* GetCOREInterface() {
  Interface*& ip = CoreInterface();
  if (!ip) ip = new Interface();
  return ip;
}
void SetCOREInterface(Interface* ip) { CoreInterface() = ip; }
BaseInterface* GetCOREInterface(Interface_ID id) { return GetCOREInterface()->GetCOREInterfaceByID(id); }
TimeValue GetTicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }

Interface::Interface() : root_(new INode()) {
  root_->MarkRoot();
  root_->SetName("Scene Root");
}

Interface::~Interface() {
  ResetScene();
  delete root_;
  if (CoreInterface() == this) CoreInterface() = nullptr;
}

INode* Interface::GetRootNode() { return root_; }

std::vector<INode*> Interface::AllNodes() {
  std::vector<INode*> out;
  std::function<void(INode*)> walk = [&](INode* n) {
    for (int i = 0; i < n->NumberOfChildren(); ++i) {
      INode* c = n->GetChildNode(i);
      out.push_back(c);
      walk(c);
    }
  };
  walk(root_);
  return out;
}

int Interface::NodeCount() { return int(handles_.size()); }

INode* Interface::GetINodeByName(const char* name) {
  if (!name) return nullptr;
  std::string want = vorel_sdk::Lower(name);
  for (INode* n : AllNodes())
    if (vorel_sdk::Lower(n->GetName()) == want) return n;
  return nullptr;
}

INode* Interface::GetINodeByHandle(uint32_t handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second;
}

void Interface::MakeNameUnique(std::string& name) {
  if (!GetINodeByName(name.c_str())) return;
  for (int n = 1;; ++n) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%03d", n);
    std::string candidate = name + suffix;
    if (!GetINodeByName(candidate.c_str())) {
      name = candidate;
      return;
    }
  }
}

void Interface::RegisterNode(INode* node, uint32_t handle) {
  if (handle == 0 || handles_.count(handle)) handle = next_handle_;
  node->SetHandle(handle);
  handles_[handle] = node;
  if (handle >= next_handle_) next_handle_ = handle + 1;
}

void Interface::UnregisterNode(INode* node) {
  auto it = handles_.find(node->GetHandle());
  if (it != handles_.end() && it->second == node) handles_.erase(it);
}

INode* Interface::CreateObjectNode(Object* obj, const char* name) {
  auto* node = new INode();
  RegisterNode(node);
  root_->AttachChild(node, 0);
  if (obj) node->SetObjectRef(obj);
  std::string n;
  if (name && *name) {
    n = name;
  } else {
    if (obj) obj->InitNodeName(n);
    if (n.empty() && obj) obj->GetClassName(n);
    if (n.empty()) n = "Object";
    MakeNameUnique(n);
  }
  node->SetName(n.c_str());
  BroadcastNotification(NOTIFY_NODE_CREATED, node);
  return node;
}

Animatable* Interface::CreateInstance(SClass_ID superID, Class_ID classID) {
  ClassDesc* cd = ClassDirectory::Get().FindClass(superID, classID);
  return cd ? cd->Create(false) : nullptr;
}

void Interface::DeleteOneNode(INode* node) {
  if (!node || node == root_ || !Animatable::IsAlive(node)) return;
  if (GetINodeByHandle(node->GetHandle()) != node) return;  // not in this scene
  if (edited_ && edited_ == node->GetObjectRef()) EndEditParams();
  DeSelectNode(node);
  // Children keep their world placement under the root.
  std::vector<INode*> kids = node->Children();
  for (INode* c : kids) root_->AttachChild(c, 1);
  UnregisterNode(node);
  node->DetachFromParent();
  node->DeleteReferenceTarget();
}

void Interface::DeleteNodes(INodeTab& nodes, bool keepChildTM, bool redraw) {
  (void)keepChildTM;
  // Handlers may add nodes to the table; all of them go.
  BroadcastNotification(NOTIFY_SEL_NODES_PRE_DELETE, &nodes);
  std::vector<uint32_t> handles;
  for (int i = 0; i < nodes.Count(); ++i)
    if (Animatable::IsAlive(nodes[i]) && nodes[i] != root_) handles.push_back(nodes[i]->GetHandle());
  for (uint32_t h : handles)
    if (INode* n = GetINodeByHandle(h)) DeleteOneNode(n);
  BroadcastNotification(NOTIFY_SEL_NODES_POST_DELETE, nullptr);
  if (redraw) RedrawViews(time_);
}

void Interface::DeleteNode(INode* node, bool redraw, bool overrideSlaves) {
  (void)overrideSlaves;
  if (!node || node == root_ || !Animatable::IsAlive(node)) return;
  INodeTab tab;
  tab.AppendNode(node);
  DeleteNodes(tab, true, redraw);
}

int Interface::GetSelNodeCount() { return int(selection_.size()); }
INode* Interface::GetSelNode(int i) {
  return i >= 0 && i < int(selection_.size()) ? selection_[size_t(i)] : nullptr;
}
void Interface::SelectNode(INode* node, int clearSel) {
  if (clearSel) selection_.clear();
  if (node && node != root_ && !IsSelected(node)) selection_.push_back(node);
  BroadcastNotification(NOTIFY_SELECTIONSET_CHANGED, nullptr);
}
void Interface::DeSelectNode(INode* node) {
  auto it = std::remove(selection_.begin(), selection_.end(), node);
  if (it == selection_.end()) return;
  selection_.erase(it, selection_.end());
  BroadcastNotification(NOTIFY_SELECTIONSET_CHANGED, nullptr);
}
void Interface::ClearNodeSelection(bool redraw) {
  selection_.clear();
  BroadcastNotification(NOTIFY_SELECTIONSET_CHANGED, nullptr);
  if (redraw) RedrawViews(time_);
}
bool Interface::IsSelected(const INode* node) const {
  return std::find(selection_.begin(), selection_.end(), node) != selection_.end();
}

void Interface::EvaluateScene(TimeValue t) {
  // Handles, not pointers: an evaluation may delete nodes.
  std::vector<uint32_t> handles;
  for (INode* n : AllNodes()) handles.push_back(n->GetHandle());
  for (uint32_t h : handles) {
    INode* n = GetINodeByHandle(h);
    if (n && !n->IsHidden()) n->EvalWorldState(t);
  }
}

void Interface::SetTime(TimeValue t, bool redraw) {
  time_ = t;
  // A deep chain of re-entrant SetTime calls stops evaluating.
  if (settime_depth_ < 8) {
    ++settime_depth_;
    EvaluateScene(t);
    --settime_depth_;
  }
  TimeValue tt = time_;
  BroadcastNotification(NOTIFY_TIME_CHANGED, &tt);
  if (redraw) RedrawViews(time_);
}

void Interface::StartAnimPlayback(int selOnly) {
  (void)selOnly;
  if (playing_) return;
  playing_ = true;
  for (TimeValue t = range_.Start(); t <= range_.End(); t += tpf_) SetTime(t, true);
  playing_ = false;
}

std::string Interface::GetCurFileName() const {
  size_t s = file_path_.find_last_of("/\\");
  return s == std::string::npos ? file_path_ : file_path_.substr(s + 1);
}

std::string Interface::GetDir(int which) { return vorel::host::HostDirectory(which); }

void Interface::ResetScene() {
  BroadcastNotification(NOTIFY_SYSTEM_PRE_RESET, nullptr);
  EndEditParams();
  selection_.clear();
  // Leaves first, so that children never move to the root one by one.
  std::vector<INode*> all = AllNodes();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (Animatable::IsAlive(*it)) DeleteOneNode(*it);
  handles_.clear();
  next_handle_ = 1;
  file_path_.clear();
  time_ = 0;
  theHold.Reset();
  BroadcastNotification(NOTIFY_SYSTEM_POST_RESET, nullptr);
}

int Interface::RenderFrames(TimeValue start, TimeValue end, TimeValue step) {
  if (step <= 0) step = tpf_;
  last_render_meshes_ = 0;
  BroadcastNotification(NOTIFY_PRE_RENDER, nullptr);
  std::vector<uint32_t> handles;
  for (INode* n : AllNodes()) handles.push_back(n->GetHandle());
  std::vector<ReferenceMaker*> begun;
  for (uint32_t h : handles) {
    INode* n = GetINodeByHandle(h);
    Object* o = n ? n->GetObjectRef() : nullptr;
    if (o && std::find(begun.begin(), begun.end(), o) == begun.end()) {
      begun.push_back(o);
      o->RenderBegin(start);
    }
  }
  NullView view;
  for (TimeValue t = start; t <= end; t += step) {
    RenderGlobalContext rgc;
    rgc.time = t;
    BroadcastNotification(NOTIFY_PRE_RENDERFRAME, &rgc);
    for (uint32_t h : handles) {
      INode* n = GetINodeByHandle(h);
      if (!n || n->IsHidden() || !n->Renderable()) continue;
      const ObjectState& os = n->EvalWorldState(t);
      if (!os.obj || os.obj->SuperClassID() != GEOMOBJECT_CLASS_ID) continue;
      bool needDelete = false;
      Mesh* m = static_cast<GeomObject*>(os.obj)->GetRenderMesh(t, n, view, needDelete);
      if (m) ++last_render_meshes_;
      if (m && needDelete) delete m;
    }
    BroadcastNotification(NOTIFY_POST_RENDERFRAME, &rgc);
  }
  for (ReferenceMaker* o : begun)
    if (Animatable::IsAlive(o)) o->RenderEnd(end);
  BroadcastNotification(NOTIFY_POST_RENDER, nullptr);
  return last_render_meshes_;
}

void Interface::DisplayTempPrompt(const char* text, int msec) {
  vorel::host::DisplayTempPrompt(text ? text : "", uint32_t(msec > 0 ? msec : 0));
}
void Interface::RemoveTempPrompt() { vorel::host::RemoveTempPrompt(); }
void Interface::PushPrompt(const char* text) { vorel::host::PushPrompt(text ? text : ""); }
void Interface::PopPrompt() { vorel::host::PopPrompt(); }
void Interface::ReplacePrompt(const char* text) { vorel::host::ReplacePrompt(text ? text : ""); }
bool Interface::CheckMAXMessages() { return vorel::host::ProcessPendingMessages(); }

BaseInterface* Interface::GetCOREInterfaceByID(Interface_ID id) {
  if (id == IInstanceMgr::ID()) return IInstanceMgr::GetInstanceMgr();
  return nullptr;
}

void Interface::RedrawViews(TimeValue t, int vpFlags, ReferenceTarget* change) {
  (void)t; (void)vpFlags; (void)change;
  ++redraws_;
}

void Interface::BeginEditParams(Animatable* obj) {
  if (edited_ == obj) return;
  Animatable* prev = edited_;
  if (edited_) EndEditParams();
  edited_ = obj;
  if (obj) obj->BeginEditParams(this, 0, prev);
}

void Interface::EndEditParams() {
  Animatable* obj = edited_;
  edited_ = nullptr;
  if (obj && Animatable::IsAlive(obj)) obj->EndEditParams(this, 0, nullptr);
}

// -------------------------------------------------------- class directory

ClassDirectory& ClassDirectory::Get() {
  // Never destroyed: plug-in descriptors unregister from their destructors
  // at exit, whatever the order of static destruction.
  static ClassDirectory* d = [] {
    auto* cd = new ClassDirectory();
    RegisterHostClasses(*cd);
    return cd;
  }();
  return *d;
}

void ClassDirectory::AddClass(ClassDesc* cd) {
  if (cd && std::find(classes_.begin(), classes_.end(), cd) == classes_.end()) classes_.push_back(cd);
}

void ClassDirectory::RemoveClass(ClassDesc* cd) {
  classes_.erase(std::remove(classes_.begin(), classes_.end(), cd), classes_.end());
}

ClassDesc* ClassDirectory::FindClass(SClass_ID superID, Class_ID classID) const {
  for (ClassDesc* cd : classes_)
    if (cd->ClassID() == classID && (superID == 0 || cd->SuperClassID() == superID)) return cd;
  return nullptr;
}

ClassDesc* ClassDirectory::FindClass(Class_ID classID) const { return FindClass(0, classID); }

ClassDesc* ClassDirectory::FindClassByName(const std::string& name) const {
  for (ClassDesc* cd : classes_)
    if (cd->InternalName() && vorel_sdk::EqualNoCase(cd->InternalName(), name)) return cd;
  for (ClassDesc* cd : classes_)
    if (cd->ClassName() && vorel_sdk::EqualNoCase(cd->ClassName(), name)) return cd;
  return nullptr;
}

ClassDesc2* FindClassDesc2(Animatable* obj) {
  if (!obj) return nullptr;
  return dynamic_cast<ClassDesc2*>(
      ClassDirectory::Get().FindClass(obj->SuperClassID(), obj->ClassID()));
}

// ---------------------------------------------------------------- plug-ins

bool SdkVersionAccepted(unsigned long v) {
  unsigned long rel = SdkRelease(v);
  return rel >= 12000 && rel <= SdkRelease(VOREL_HOST_SDK_VERSION);
}

PluginManager& PluginManager::Get() {
  static auto* m = new PluginManager();
  return *m;
}

bool PluginManager::LoadPlugin(const std::string& path, std::string& err) {
  err.clear();
  for (const PluginLibrary& l : libs_)
    if (l.path == path) {
      err = path + ": already loaded";
      return false;
    }
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    err = path + ": cannot open: " + (e ? e : "unknown error");
    return false;
  }
  auto desc = reinterpret_cast<LibDescriptionFn>(dlsym(h, "LibDescription"));
  auto num = reinterpret_cast<LibNumberClassesFn>(dlsym(h, "LibNumberClasses"));
  auto cls = reinterpret_cast<LibClassDescFn>(dlsym(h, "LibClassDesc"));
  auto ver = reinterpret_cast<LibVersionFn>(dlsym(h, "LibVersion"));
  auto init = reinterpret_cast<LibInitializeFn>(dlsym(h, "LibInitialize"));
  if (!num || !cls || !ver) {
    err = path + ": not a plug-in (LibNumberClasses, LibClassDesc and LibVersion are required)";
    dlclose(h);
    return false;
  }
  unsigned long v = ver();
  if (!SdkVersionAccepted(v)) {
    char buf[160];
    std::snprintf(buf, sizeof buf, ": built for SDK version 0x%08lX, which this host (0x%08lX) does not load",
                  v, VOREL_HOST_SDK_VERSION);
    err = path + buf;
    dlclose(h);
    return false;
  }
  // The classes register before LibInitialize, so that a library can find
  // its own classes (and the action tables they offer) from there.
  PluginLibrary lib;
  lib.path = path;
  lib.version = v;
  lib.handle = h;
  const char* d = desc ? desc() : nullptr;
  lib.description = d ? d : "";
  int n = num();
  for (int i = 0; i < n; ++i) {
    ClassDesc* cd = cls(i);
    if (!cd) continue;  // a gap in the table is skipped
    ClassDesc* dup = ClassDirectory::Get().FindClass(cd->SuperClassID(), cd->ClassID());
    if (dup && dup != cd) {
      err += (err.empty() ? "" : "; ") + path + ": class " + (cd->ClassName() ? cd->ClassName() : "?") +
             " duplicates a class already loaded; skipped";
      continue;
    }
    ClassDirectory::Get().AddClass(cd);
    lib.classes.push_back(cd);
  }
  if (init && !init()) {
    for (ClassDesc* cd : lib.classes) ClassDirectory::Get().RemoveClass(cd);
    err += (err.empty() ? "" : "; ") + path + ": LibInitialize failed";
    return false;  // its code may already be referenced: stays mapped
  }
  libs_.push_back(lib);
  return true;
}

int PluginManager::LoadFolder(const std::string& dir, std::vector<std::string>& errs) {
  DIR* d = opendir(dir.c_str());
  if (!d) {
    errs.push_back("plug-in folder not found: " + dir);
    return 0;
  }
  std::vector<std::string> files;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) files.push_back(n);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  int loaded = 0;
  for (const std::string& f : files) {
    std::string err;
    if (LoadPlugin(dir + "/" + f, err)) ++loaded;
    if (!err.empty()) errs.push_back(err);
  }
  return loaded;
}

void PluginManager::UnloadAll() {
  for (auto it = libs_.rbegin(); it != libs_.rend(); ++it) {
    auto shut = reinterpret_cast<LibShutdownFn>(dlsym(it->handle, "LibShutdown"));
    if (shut) shut();
    for (ClassDesc* cd : it->classes) ClassDirectory::Get().RemoveClass(cd);
  }
  libs_.clear();
}
