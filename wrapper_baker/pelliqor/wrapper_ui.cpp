// The wrapper's rollouts, pick mode, select-by-name and event dialogs, and
// the cache flush: the behaviour beyond the block's own control bindings.
#include <algorithm>
#include <cstdio>

#include "host/sdk/hold.h"
#include "host/ui/custctrl.h"
#include "host/ui/parammap.h"
#include "host/ui/pick.h"
#include "host/ui/window.h"
#include "fluid_core/cache_files.h"
#include "wrapper_baker/pelliqor/blob_node.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

namespace pelliqor {

namespace {

constexpr int kHighlightColour = 4;
constexpr int kPFOk = 1;      // IDOK
constexpr int kPFCancel = 2;  // IDCANCEL

const char* const kAddUndo = "Add a particle node to this pelliqor instance";

BlobNode* OwnerOf(IParamMap2* map) {
  IParamBlock2* pb = map ? map->GetParamBlock() : nullptr;
  return pb ? dynamic_cast<BlobNode*>(pb->GetOwner()) : nullptr;
}

void Tip(HWND dlg, int id, const char* text) {
  if (ICustButton* b = GetICustButton(GetDlgItem(dlg, id))) {
    b->SetTooltip(TRUE, text);
    ReleaseICustButton(b);
  } else if (ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, id))) {
    s->SetTooltip(TRUE, text);
    ReleaseISpinner(s);
  } else if (ICustEdit* e = GetICustEdit(GetDlgItem(dlg, id))) {
    e->SetTooltip(TRUE, text);
    ReleaseICustEdit(e);
  }
}

bool InCreatePanel() { return GetCOREInterface()->GetCommandPanelTaskMode() == TASK_MODE_CREATE; }

void EnableControl(HWND dlg, int id, bool on) { EnableWindow(GetDlgItem(dlg, id), on ? TRUE : FALSE); }

// The particle filter of the select-by-name dialog.
class ParticleNameFilter : public HitByNameDlgCallback {
 public:
  explicit ParticleNameFilter(BlobNode* obj) : obj_(obj) {}
  const char* dialogTitle() override { return "Add particle systems"; }
  const char* buttonText() override { return "Add"; }
  int filter(INode* node) override { return obj_->QualifiesForList(node) ? TRUE : FALSE; }
  void proc(INodeTab& nodes) override { obj_->AppendParticleNodes(nodes.vec()); }

 private:
  BlobNode* obj_;
};

class ParticleNodeFilter : public PickNodeCallback {
 public:
  explicit ParticleNodeFilter(BlobNode* obj) : obj_(obj) {}
  BOOL Filter(INode* node) override { return obj_->QualifiesForList(node) ? TRUE : FALSE; }

 private:
  BlobNode* obj_;
};

// The event dialog's procedure: the candidates' names in a multiple-choice
// list; OK keeps the chosen rows.
struct EventDialogState {
  const std::vector<INode*>* candidates = nullptr;
  std::vector<int>* chosen = nullptr;
};

INT_PTR EventDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  static EventDialogState* state = nullptr;
  switch (msg) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<EventDialogState*>(lParam);
      HWND list = GetDlgItem(dlg, kPFEventListBox);
      for (INode* n : *state->candidates) SendMessage(list, LB_ADDSTRING, 0, LPARAM(n ? n->GetName() : ""));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kPFOk && state) {
        HWND list = GetDlgItem(dlg, kPFEventListBox);
        const int n = int(SendMessage(list, LB_GETSELCOUNT, 0, 0));
        if (n > 0) {
          std::vector<int> rows(size_t(n), -1);
          const int got = int(SendMessage(list, LB_GETSELITEMS, WPARAM(n), LPARAM(rows.data())));
          rows.resize(size_t(std::max(0, std::min(got, n))));
          *state->chosen = rows;
        }
        EndDialog(dlg, kPFOk);
        return TRUE;
      }
      if (LOWORD(wParam) == kPFCancel) {
        EndDialog(dlg, kPFCancel);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dlg, kPFCancel);
      return TRUE;
    default:
      return FALSE;
  }
}

class MainProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue, IParamMap2* map, HWND dlg, UINT msg, WPARAM wParam, LPARAM) override {
    BlobNode* obj = OwnerOf(map);
    if (!obj) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: {
        char version[64];
        std::snprintf(version, sizeof version, "version: %s.%s.%s.%s", "1", "0", "15", "422");
        SetDlgItemText(dlg, kVersionText, version);
        Tip(dlg, 1498, "Mesh surface polygon density. Applies only in viewport.");
        Tip(dlg, 1499, "Mesh surface polygon density. Applies only in render.");
        Tip(dlg, 1496, "Particle radius metaball size.");
        Tip(dlg, 1497, "Metaball melting distance.");
        Tip(dlg, 1500, "Shrink-wrap force factor.");
        Tip(dlg, 1501, "Particle age override value.");
        Tip(dlg, kPickButton, "Pick a particle object from viewport to be added to this pelliqor node.");
        Tip(dlg, kAddButton, "Select a particle object from scene list to be added to this pelliqor node.");
        Tip(dlg, kRemoveButton, "Remove a particle object from particle object list in this pelliqor node.");
        obj->ApplyCacheEnabling(false, true, false);
        ICustButton* addB = GetICustButton(GetDlgItem(dlg, kAddButton));
        ICustButton* pickB = GetICustButton(GetDlgItem(dlg, kPickButton));
        if (InCreatePanel()) {
          EnableControl(dlg, kAddButton, false);
          EnableControl(dlg, kPickButton, false);
          EnableControl(dlg, kRemoveButton, false);
        } else {
          EnableControl(dlg, kAddButton, true);
          EnableControl(dlg, kPickButton, true);
          const COLORREF hl = ColorMan()->GetColor(kHighlightColour);
          if (addB) addB->SetHighlightColor(hl);
          if (pickB) {
            pickB->SetHighlightColor(hl);
            pickB->SetType(CBT_CHECK);
          }
        }
        if (addB) ReleaseICustButton(addB);
        if (pickB) ReleaseICustButton(pickB);
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == kAddButton) obj->add();
        else if (LOWORD(wParam) == kPickButton) obj->pick();
        return TRUE;
      default:
        return FALSE;
    }
  }
};

class PFProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue, IParamMap2* map, HWND dlg, UINT msg, WPARAM wParam, LPARAM) override {
    BlobNode* obj = OwnerOf(map);
    if (!obj) return FALSE;
    switch (msg) {
      case WM_INITDIALOG:
        if (InCreatePanel()) EnableControl(dlg, kPFAddButton, false);
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wParam) == kPFAddButton) obj->addPF();
        return TRUE;
      default:
        return FALSE;
    }
  }
};

class ExportProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND dlg, UINT msg, WPARAM wParam, LPARAM) override {
    BlobNode* obj = OwnerOf(map);
    if (!obj || !obj->pblock) return FALSE;
    IParamBlock2* pb = obj->pblock;
    switch (msg) {
      case WM_INITDIALOG: {
        const char* dir = pb->GetStr(kExportDirectory, t);
        SetDlgItemText(dlg, kExportDirText, dir ? dir : "");
        Tip(dlg, kFlushPartButton, "Flush and update particle cache for the whole animation playback range.");
        Tip(dlg, kFlushMeshButton, "Flush and update surface cache for the whole animation playback range.");
        Tip(dlg, kResetButton, "Set time transform values to default values (no transform).");
        Tip(dlg, kBrowseButton, "Change the default cache root directory.");
        Tip(dlg, 3078, "Name of the directory that contains cache files for this pelliqor instance.");
        Tip(dlg, 1501, "Animation frame offset. Update surface cache for the whole animation range interval before using this control.");
        Tip(dlg, 1503, "Scale animation time. Update surface cache for the whole animation range interval before using this control.");
        obj->ApplyCacheEnabling(true, false, false);
        return TRUE;
      }
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kBrowseButton: {
            std::string root = pb->GetStr(kExportDirectory, t) ? pb->GetStr(kExportDirectory, t) : "";
            ReadCacheRoot(root);
            char dir[MAX_PATH] = {0};
            std::snprintf(dir, sizeof dir, "%s", root.c_str());
            Interface* ip = obj->EditInterface() ? obj->EditInterface() : GetCOREInterface();
            ip->ChooseDirectory(dlg, "Select Directory for temporary scene cache", dir);
            if (dir[0]) {
              pb->SetValue(kExportDirectory, t, dir);
              SetDlgItemText(dlg, kExportDirText, dir);
            }
            return TRUE;
          }
          case kUseMeshCacheCheck:
          case kUsePartCacheCheck: {
            obj->ApplyCacheEnabling(true, true, true);
            const ParamID which = LOWORD(wParam) == kUseMeshCacheCheck ? kUseCache : kUsePartCache;
            const std::string instance = obj->InstanceFolderAt(t);
            if (pb->GetInt(which, t) && !instance.empty()) {
              const char* dir = pb->GetStr(kExportDirectory, t);
              CreateDirectoryA(dir ? dir : "");
              CreateDirectoryA(instance.c_str());
            }
            return TRUE;
          }
          case kFlushMeshButton:
            obj->FlushCaches("*.bin");
            return TRUE;
          case kFlushPartButton:
            obj->FlushCaches("*.ern");
            return TRUE;
          case kResetButton:
            pb->SetValue(kTimeOffset, t, 0.0f);
            pb->SetValue(kTimeScale, t, 1.0f);
            return TRUE;
          default:
            return FALSE;
        }
      default:
        return FALSE;
    }
  }
};

}  // namespace

// The viewport pick of particle systems for the node list.
class BlobNode::PickMode : public PickModeCallback {
 public:
  explicit PickMode(BlobNode* obj) : obj_(obj), filter_(obj) {}
  BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp*, IPoint2 m, int) override {
    return ip && ip->PickNode(hWnd, m, &filter_) ? TRUE : FALSE;
  }
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override {
    (void)ip;
    INode* node = vpt ? vpt->GetClosestHitNode() : nullptr;
    if (node) obj_->AppendParticleNodes({node});
    return TRUE;
  }
  void EnterMode(IObjParam*) override { obj_->SetPickButton(true); }
  void ExitMode(IObjParam*) override { obj_->SetPickButton(false); }
  PickNodeCallback* GetFilter() override { return &filter_; }

 private:
  BlobNode* obj_;
  ParticleNodeFilter filter_;
};

ParamMap2UserDlgProc* MainDlgProc() {
  static MainProc p;
  return &p;
}
ParamMap2UserDlgProc* PFDlgProc() {
  static PFProc p;
  return &p;
}
ParamMap2UserDlgProc* ExportDlgProc() {
  static ExportProc p;
  return &p;
}

bool BlobNode::QualifiesForList(INode* node) {
  if (!node || !pblock) return false;
  Object* obj = node->EvalWorldState(GetCOREInterface()->GetTime()).obj;
  if (!obj || !obj->IsParticleSystem() || obj->ClassID() == ExcludedParticleClassID()) return false;
  for (int i = 0; i < pblock->Count(kNodeList); ++i)
    if (pblock->GetINode(kNodeList, 0, i) == node) return false;
  return true;
}

int BlobNode::AppendParticleNodes(const std::vector<INode*>& nodes) {
  std::vector<INode*> take;
  for (INode* n : nodes)
    if (QualifiesForList(n) && std::find(take.begin(), take.end(), n) == take.end()) take.push_back(n);
  if (take.empty()) return 0;
  theHold.Begin();
  pblock->Append(kNodeList, int(take.size()), take.data());
  theHold.Accept(kAddUndo);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  Interface* ip = GetCOREInterface();
  ip->RedrawViews(ip->GetTime());
  return int(take.size());
}

void BlobNode::SetPickButton(bool on) {
  HWND h = RolloutWindow(kMainMap);
  if (!h) return;
  if (ICustButton* b = GetICustButton(GetDlgItem(h, kPickButton))) {
    b->SetCheck(on ? TRUE : FALSE);
    ReleaseICustButton(b);
  }
}

void BlobNode::LeavePickMode() {
  if (!pickMode_) return;
  if (GetCOREInterface()->GetCurPickMode() == pickMode_) GetCOREInterface()->ClearPickMode();
  delete pickMode_;
  pickMode_ = nullptr;
}

void BlobNode::pick() {
  Interface* ip = GetCOREInterface();
  if (pickMode_ && ip->GetCurPickMode() == pickMode_) {
    ip->ClearPickMode();
    SetPickButton(false);
    return;
  }
  if (!pickMode_) pickMode_ = new PickMode(this);
  ip->SetPickMode(pickMode_);
  SetPickButton(ip->GetCurPickMode() == pickMode_);
}

void BlobNode::add() {
  ParticleNameFilter cb(this);
  GetCOREInterface()->DoHitByNameDialog(&cb);
}

std::vector<INode*> BlobNode::CollectEventCandidates() {
  std::vector<INode*> found;
  if (!pblock) return found;
  const TimeValue now = GetCOREInterface()->GetTime();
  for (int i = 0; i < pblock->Count(kNodeList); ++i) {
    INode* n = pblock->GetINode(kNodeList, now, i);
    Object* obj = n ? n->EvalWorldState(now).obj : nullptr;
    if (!obj || !obj->IsParticleSystem() || !obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE)) continue;
    // The system's event nodes are the nodes among its dependents whose
    // objects answer the event interface.
    struct Collect : DependentEnumProc {
      std::vector<ReferenceMaker*> makers;
      int proc(ReferenceMaker* m) override {
        makers.push_back(m);
        return DEP_ENUM_CONTINUE;
      }
    } collect;
    obj->DoEnumDependents(&collect);
    for (ReferenceMaker* m : collect.makers) {
      INode* node = m && m->IsNode() ? static_cast<INode*>(m) : nullptr;
      Object* eo = node ? node->GetObjectRef() : nullptr;
      if (!eo || !eo->GetInterface(PFEVENT_INTERFACE)) continue;
      // Two systems may share events: each candidate is offered once.
      if (std::find(found.begin(), found.end(), node) == found.end()) found.push_back(node);
    }
  }
  return found;
}

void BlobNode::addPF() {
  eventCandidates_.clear();
  chosenEvents_.clear();
  eventCandidates_ = CollectEventCandidates();
  if (eventCandidates_.empty()) return;
  EventDialogState state{&eventCandidates_, &chosenEvents_};
  HWND owner = RolloutWindow(kPFMap);
  DialogBoxParam(PluginInstance(), MAKEINTRESOURCE(kPFEventsDialog), owner, EventDialogProc,
                 LPARAM(&state));
  std::vector<INode*> take;
  for (int row : chosenEvents_) {
    if (row < 0 || row >= int(eventCandidates_.size())) continue;
    INode* n = eventCandidates_[size_t(row)];
    bool listed = false;
    for (int i = 0; i < pblock->Count(kPfEventList); ++i) listed |= pblock->GetINode(kPfEventList, 0, i) == n;
    if (!listed && std::find(take.begin(), take.end(), n) == take.end()) take.push_back(n);
  }
  if (take.empty()) return;
  theHold.Begin();
  pblock->Append(kPfEventList, int(take.size()), take.data());
  theHold.Accept("Add pFlow events to list");
}

void BlobNode::FlushCaches(const char* pattern) {
  Interface* ip = GetCOREInterface();
  const std::string instance = InstanceFolderAt(ip->GetTime());
  if (!instance.empty()) DeleteCacheFiles(vorel::host::NormalizePath(instance), pattern);
  ip->SetRealTimePlayback(false);
  ip->SetTime(ip->GetAnimRange().Start(), true);
  ip->StartAnimPlayback(0);
}

void BlobNode::ApplyCacheEnabling(bool cacheRollout, bool mainRollout, bool timeControls) {
  if (!pblock) return;
  const TimeValue t = GetCOREInterface()->GetTime();
  const bool mesh = pblock->GetInt(kUseCache, t) != 0;
  const bool parts = pblock->GetInt(kUsePartCache, t) != 0;
  if (cacheRollout) {
    if (IParamMap2* m = pblock->GetMap(kCacheMap)) {
      HWND h = m->GetHWnd();
      m->Enable(kName, mesh || parts);
      EnableControl(h, kExportDirText, mesh || parts);
      EnableControl(h, kBrowseButton, mesh || parts);
      EnableControl(h, kResetButton, mesh || parts);
      EnableControl(h, kFlushMeshButton, mesh);
      EnableControl(h, kFlushPartButton, parts);
    }
  }
  if (mainRollout) {
    if (IParamMap2* m = pblock->GetMap(kMainMap))
      for (ParamID id : {kViewportLOD, kDropSize, kMeltingForce, kShrinkage, kRenderLOD}) m->Enable(id, !mesh);
  }
  if (timeControls) {
    if (IParamMap2* m = pblock->GetMap(kCacheMap)) {
      m->Enable(kTimeOffset, mesh);
      m->Enable(kTimeScale, mesh);
    }
  }
}

void RegisterDialogs() {
  using vorel_ui::ControlTemplate;
  using vorel_ui::DialogTemplate;
  using vorel_ui::Kind;
  HINSTANCE inst = PluginInstance();
  auto spinner = [](int edit, int spin) {
    return std::vector<ControlTemplate>{{edit, Kind::CustEdit, ""}, {spin, Kind::Spinner, ""}};
  };
  DialogTemplate main;
  main.id = kMainDialog;
  main.title = "Parameters";
  for (auto [edit, spin] : {std::pair{1492, 1498}, {1490, 1496}, {1491, 1497}, {1494, 1500}, {1493, 1499}, {1495, 1501}})
    for (const ControlTemplate& c : spinner(edit, spin)) main.controls.push_back(c);
  for (ControlTemplate c : std::vector<ControlTemplate>{
           {1091, Kind::CheckBox, "Disable"},
           {1092, Kind::CheckBox, "Hide in viewports"},
           {1093, Kind::CheckBox, "Particle life affects size"},
           {1094, Kind::CheckBox, "Override lifespan"},
           {1018, Kind::RadioButton, "increasing", true},
           {1019, Kind::RadioButton, "decreasing"},
           {1336, Kind::ListBox, ""},
           {kAddButton, Kind::CustButton, "Add"},
           {kPickButton, Kind::CustButton, "Pick"},
           {kRemoveButton, Kind::CustButton, "Remove"},
           {kParticlesText, Kind::Static, ""},
           {kFacesText, Kind::Static, ""},
           {kVersionText, Kind::Static, ""}})
    main.controls.push_back(c);
  vorel_ui::RegisterDialogTemplate(inst, main);

  DialogTemplate pf;
  pf.id = kPFDialog;
  pf.title = "pFlow events list";
  pf.controls = {{1002, Kind::CheckBox, "All Particle Flow Events"},
                 {1003, Kind::ListBox, ""},
                 {kPFAddButton, Kind::CustButton, "Add"},
                 {1004, Kind::CustButton, "Remove"}};
  vorel_ui::RegisterDialogTemplate(inst, pf);

  DialogTemplate cache;
  cache.id = kCacheDialog;
  cache.title = "Cache";
  cache.controls = {{kExportDirText, Kind::CustStatus, ""},
                    {kBrowseButton, Kind::CustButton, "..."},
                    {3078, Kind::CustEdit, ""},
                    {kUseMeshCacheCheck, Kind::CheckBox, "Use mesh cache"},
                    {kUsePartCacheCheck, Kind::CheckBox, "Use particle cache"},
                    {kFlushMeshButton, Kind::CustButton, "UPDATE  mesh cache"},
                    {kFlushPartButton, Kind::CustButton, "UPDATE particle cache"},
                    {kResetButton, Kind::CustButton, "Reset"}};
  for (auto [edit, spin] : {std::pair{1495, 1501}, {1502, 1503}})
    for (const ControlTemplate& c : spinner(edit, spin)) cache.controls.push_back(c);
  vorel_ui::RegisterDialogTemplate(inst, cache);

  DialogTemplate events;
  events.id = kPFEventsDialog;
  events.title = "Add Particle Flow Events";
  ControlTemplate list{kPFEventListBox, Kind::ListBox, ""};
  list.multiSelect = true;
  events.controls = {list, {kPFOk, Kind::Button, "OK"}, {kPFCancel, Kind::Button, "Cancel"}};
  vorel_ui::RegisterDialogTemplate(inst, events);
}

}  // namespace pelliqor
