// The wrapper object: class descriptor, parameter block, construction and
// the surface build with its time mapping and caches.
#include "wrapper_baker/pelliqor/blob_node.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/core/files.h"
#include "host/core/interaction.h"
#include "host/sdk/hold.h"
#include "host/sdk/ioapi.h"
#include "host/ui/parammap.h"
#include "host/ui/pick.h"
#include "host/ui/window.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

namespace pelliqor {

namespace {

// Density of a new object's builder: drop size 12.
constexpr float kInitialDensity = 1.0f / (12.0f * 12.0f * 12.0f);

// Set by a creation click, cleared by the next Display of any wrapper.
bool creationFlag = false;
const char kInstanceTag = 0;

blob_skeleton::BlobClassDesc<BlobNode>& Desc() {
  static blob_skeleton::BlobClassDesc<BlobNode> d("Pelliqor", PELLIQOR_CLASS_ID(), creationFlag, PluginInstance());
  return d;
}

ParamBlockDesc2& BlockDesc() {
  static ParamBlockDesc2 d(
      0, "params", 0, &Desc(), P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
      {RolloutDef{kMainMap, kMainDialog, 0, 0, nullptr}, RolloutDef{kPFMap, kPFDialog, 0, 0, nullptr},
       RolloutDef{kCacheMap, kCacheDialog, 0, 0, nullptr}},
      {ParamDef(kViewportLOD, "ViewportLOD", TYPE_FLOAT, P_ANIMATABLE).LocalName("viewportDetail")
           .Default(12.0f).Range(0.1f, 1000.0f).Spinner(kMainMap, EDITTYPE_FLOAT, 1492, 1498, 0.5f),
       ParamDef(kDropSize, "DropSize", TYPE_FLOAT, P_ANIMATABLE).LocalName("dropSize")
           .Default(4.0f).Range(0.005f, 5000.0f).Spinner(kMainMap, EDITTYPE_FLOAT, 1490, 1496, 0.05f),
       ParamDef(kMeltingForce, "MeltingForce", TYPE_FLOAT, P_ANIMATABLE).LocalName("meltingForce")
           .Default(4.0f).Range(1.15f, 1000.0f).Spinner(kMainMap, EDITTYPE_FLOAT, 1491, 1497, 0.1f),
       ParamDef(kShrinkage, "Shrinkage", TYPE_FLOAT, P_ANIMATABLE).LocalName("shrink")
           .Default(0.3f).Range(0.0f, 1.0f).Spinner(kMainMap, EDITTYPE_FLOAT, 1494, 1500, 0.02f),
       ParamDef(kRenderLOD, "RenderLOD", TYPE_FLOAT, P_ANIMATABLE).LocalName("renderDetail")
           .Default(12.0f).Range(0.1f, 1000.0f).Spinner(kMainMap, EDITTYPE_FLOAT, 1493, 1499, 0.5f),
       ParamDef(kDisable, "Disable", TYPE_BOOL, P_ANIMATABLE).LocalName("disable")
           .Default(0).CheckBox(kMainMap, 1091),
       ParamDef(kNodeList, "nodeList", TYPE_INODE_TAB, P_VARIABLE_SIZE)
           .LocalName("List of nodes that contribute to this pelliqor instance")
           .NodeListBox(kMainMap, 1336, 0, 0, kRemoveButton),
       ParamDef(kUseAllPFEvents, "useAllPFEvents", TYPE_BOOL, 0).LocalName("Use all pFlow events")
           .Default(1).CheckBox(kPFMap, 1002),
       ParamDef(kPfEventList, "pfEventList", TYPE_INODE_TAB, P_VARIABLE_SIZE)
           .LocalName("Particle Flow event list").NodeListBox(kPFMap, 1003, 0, 0, 1004),
       ParamDef(kHideInViewports, "HideInViewports", TYPE_BOOL, P_ANIMATABLE)
           .LocalName("Hide pelliqor surface in 3D viewports").Default(0).CheckBox(kMainMap, 1092),
       ParamDef(kParticleLifeAffectsSize, "ParticleLifeAffectsSize", TYPE_BOOL, P_ANIMATABLE)
           .LocalName("Particle size is affected by part. life").Default(0).CheckBox(kMainMap, 1093),
       ParamDef(kOverrideLifespan, "overrideLifespan", TYPE_BOOL, 0)
           .LocalName("Override native particle lifespan").Default(0).CheckBox(kMainMap, 1094),
       ParamDef(kLifespan, "Lifespan", TYPE_INT, P_ANIMATABLE).LocalName("Lifespan own value")
           .Default(30).Range(1, 1000).Spinner(kMainMap, EDITTYPE_INT, 1495, 1501, 1.0f),
       ParamDef(kExportDirectory, "Export directory", TYPE_FILENAME, 0).LocalName("Selected dir")
           .Default("C:\\temp"),
       ParamDef(kName, "Name", TYPE_STRING, 0).LocalName("file frefix").Default("default")
           .EditBox(kCacheMap, 3078),
       ParamDef(kUseCache, "useCache", TYPE_BOOL, 0).LocalName("Use pelliqor cache").Default(0)
           .CheckBox(kCacheMap, kUseMeshCacheCheck),
       ParamDef(kUsePartCache, "usePartCache", TYPE_BOOL, 0).LocalName("Use pelliqor cache").Default(0)
           .CheckBox(kCacheMap, kUsePartCacheCheck),
       ParamDef(kTimeOffset, "Time Offset", TYPE_FLOAT, P_ANIMATABLE).LocalName("Time offset in frames")
           .Default(0.0f).Range(-1000.0f, 1000.0f).Spinner(kCacheMap, EDITTYPE_FLOAT, 1495, 1501, 1.0f),
       ParamDef(kTimeScale, "Time Scale", TYPE_FLOAT, P_ANIMATABLE).LocalName("Time scale multiplier")
           .Default(1.0f).Range(-1000.0f, 1000.0f).Spinner(kCacheMap, EDITTYPE_FLOAT, 1502, 1503, 0.1f),
       ParamDef(kParticleAgeBehavior, "Particle Age behavior", TYPE_RADIOBTN_INDEX, 0)
           .LocalName("How particle size depends on age").Default(0).Range(0, 1)
           .Radio(kMainMap, {1018, 1019})});
  return d;
}

// The published interface: built after the descriptor, registered with it.
FPInterfaceDesc& NodeOpsDesc() {
  static FPInterfaceDesc d(BLOBNODE_INTERFACE_ID(), "pelliqorNodeOps", 0, &Desc(), FP_MIXIN,
                           {FPFunctionDef{IBlobNode::kAddNode, "addNode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{IBlobNode::kRemoveNode, "removeNode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{IBlobNode::kAddPFnode, "addPFnode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{IBlobNode::kRemovePFnode, "removePFnode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{IBlobNode::kPick, "pick", TYPE_VOID, {}},
                            FPFunctionDef{IBlobNode::kAdd, "add", TYPE_VOID, {}},
                            FPFunctionDef{IBlobNode::kAddPF, "addPF", TYPE_VOID, {}}});
  return d;
}

// The descriptor, its block and its interface exist from load on, as the
// host expects of static descriptions.
struct Registration {
  Registration() {
    BlockDesc();
    NodeOpsDesc();
    RegisterDialogs();
  }
} registration;

std::string Str(const char* s) { return s ? s : ""; }

}  // namespace

ClassDesc2* GetBlobNodeDesc() { return &Desc(); }
ParamBlockDesc2* GetBlobNodeBlockDesc() { return &BlockDesc(); }
HINSTANCE PluginInstance() { return reinterpret_cast<HINSTANCE>(const_cast<char*>(&kInstanceTag)); }
bool& BlobNode::CreationFlag() { return creationFlag; }
FPInterfaceDesc* BlobNode::GetDesc() { return &NodeOpsDesc(); }

CacheFrames MapCacheFrames(TimeValue t, float timeScale, float timeOffsetFrames, int tpf,
                           Interval range) {
  CacheFrames f;
  if (tpf <= 0) tpf = 160;
  // The offset is in frames: scaled to ticks before the division.
  const double ticks = double(t) * double(timeScale) + double(tpf) * double(timeOffsetFrames);
  const double clamped = std::max(-2.0e9, std::min(2.0e9, ticks));
  f.mapped = std::max(0, int(clamped) / tpf);
  f.current = t / tpf;
  // The range holds every frame from its start to its end, both included;
  // wrapping by one frame less would send the last frame onto frame 0's
  // files.
  const int length = (range.End() - range.Start()) / tpf + 1;
  f.cacheFrame = length > 0 ? f.mapped % length : f.mapped;
  return f;
}

BlobNode::BlobNode(bool loading) : builder_(new SurfaceBuilder(kInitialDensity)) {
  (void)loading;
  builder_->groupJoin = kGroupJoinWrapper;
  Desc().MakeAutoParamBlocks(this);
  // The default cache root replaces the block's default only where the
  // registry has the key. Paths stay absolute: the host's current folder is
  // left alone.
  if (pblock) {
    std::string root = Str(pblock->GetStr(kExportDirectory));
    if (ReadCacheRoot(root)) {
      theHold.Suspend();
      pblock->SetValue(kExportDirectory, 0, root.c_str());
      theHold.Resume();
    }
  }
}

BlobNode::~BlobNode() { LeavePickMode(); }

BaseInterface* BlobNode::GetInterface(Interface_ID id) {
  if (id == BLOBNODE_INTERFACE_ID()) return static_cast<IBlobNode*>(this);
  return BlobSkeleton::GetInterface(id);
}

void BlobNode::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  ip_ = ip;
  editing_ = true;
  if (ip) keptRealTime_ = ip->GetRealTimePlayback();
  BlockDesc().SetUserDlgProc(kMainMap, MainDlgProc());
  BlockDesc().SetUserDlgProc(kPFMap, PFDlgProc());
  BlockDesc().SetUserDlgProc(kCacheMap, ExportDlgProc());
  Desc().BeginEditParams(ip, this, flags, prev);
}

void BlobNode::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  // The pick callback belongs to this object's rollouts.
  LeavePickMode();
  Desc().EndEditParams(ip, this, flags, next);
  if (ip_) ip_->SetRealTimePlayback(keptRealTime_);
  ip_ = nullptr;
  editing_ = false;
}

RefResult BlobNode::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) {
  if (message == REFMSG_TARGET_DELETED) ivalid.SetEmpty();
  if (message == REFMSG_CHANGE && hTarget == pblock) {
    gatheredValid_ = false;
    RefuseUnusableName();
    // The folder is shown in a status field, which no binding refreshes.
    if (pblock->LastNotifyParamID() == kExportDirectory)
      if (HWND h = RolloutWindow(kCacheMap)) {
        const char* dir = pblock->GetStr(kExportDirectory, GetCOREInterface()->GetTime());
        SetDlgItemText(h, kExportDirText, dir ? dir : "");
      }
  }
  return BlobSkeleton::NotifyRefChanged(changeInt, hTarget, partID, message);
}

ReferenceTarget* BlobNode::Clone(RemapDir& remap) {
  auto* c = new BlobNode(false);
  c->keptName_ = keptName_;
  return CloneInto(c, remap);
}

IOResult BlobNode::Load(ILoad* iload) {
  // A scene's parameters are loaded without change notices: its name is
  // held to the rule once the scene is whole.
  iload->RegisterPostLoadCallback(new MemberPostLoadCallback<BlobNode>(this, &BlobNode::RefuseUnusableName));
  return BlobSkeleton::Load(iload);
}

void BlobNode::RefuseUnusableName() {
  if (!pblock) return;
  const std::string name = Str(pblock->GetStr(kName, 0));
  if (vorel::host::IsSingleFolderName(name)) {
    keptName_ = name;
    return;
  }
  // The caches live in "<export directory>\<name>", and Flush deletes there:
  // "..", "a/b" or an empty name would reach outside that one folder.
  char text[640];
  std::snprintf(text, sizeof text,
                "Pelliqor: name '%.300s' refused: the caches are one folder in the export directory; '%.200s' is kept",
                name.c_str(), keptName_.c_str());
  ShowTempPrompt(text, 6000);
  theHold.Suspend();
  pblock->SetValue(kName, 0, keptName_.c_str());
  theHold.Resume();
}

ParamID BlobNode::DetailParam(bool viewport) { return viewport ? kViewportLOD : kRenderLOD; }

std::string BlobNode::InstanceFolderAt(TimeValue t) {
  return InstanceFolder(Str(pblock->GetStr(kExportDirectory, t)), Str(pblock->GetStr(kName, t)));
}

HWND BlobNode::RolloutWindow(MapID map) {
  IParamMap2* m = pblock ? pblock->GetMap(map) : nullptr;
  return m ? m->GetHWnd() : nullptr;
}

void BlobNode::SetStatusText(int control, const char* fmt, int value) {
  // The rollout is closed most of the time the surface is built.
  HWND h = RolloutWindow(kMainMap);
  if (!h) return;
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, value);
  SetDlgItemText(h, control, buf);
}

namespace {
// A frame whose cache cannot be written is still shown; the user learns that
// it is not kept (a full disk, a size limit, a folder taken away).
void SayCacheNotWritten(const char* kind, const std::string& path, int error) {
  char text[640];
  std::snprintf(text, sizeof text, "Pelliqor: the %s cache %.400s could not be written (%s); any earlier file stays",
                kind, path.c_str(), error ? std::strerror(error) : "write failed");
  ShowTempPrompt(text, 6000);
}
}  // namespace

void BlobNode::UpdateSurface(TimeValue t, Mesh& out, float detail, bool viewport) {
  if (!pblock) return;
  Interval iv = FOREVER;
  int disable = 0, hide = 0, useCache = 0, usePartCache = 0;
  float timeOffset = 0.0f, timeScale = 1.0f, melting = 4.0f, shrink = 0.3f, drop = 4.0f;
  pblock->GetValue(kDisable, t, disable, iv);
  pblock->GetValue(kHideInViewports, t, hide, iv);
  pblock->GetValue(kUseCache, t, useCache, iv);
  pblock->GetValue(kUsePartCache, t, usePartCache, iv);
  const std::string exportDir = Str(pblock->GetStr(kExportDirectory, t));
  const std::string name = Str(pblock->GetStr(kName, t));
  pblock->GetValue(kTimeOffset, t, timeOffset, iv);
  pblock->GetValue(kTimeScale, t, timeScale, iv);
  pblock->GetValue(kMeltingForce, t, melting, iv);
  pblock->GetValue(kShrinkage, t, shrink, iv);
  pblock->GetValue(kDropSize, t, drop, iv);

  if (disable || (viewport && hide)) {
    blob_skeleton::EmptyMesh(out);
    return;
  }
  Interface* ip = GetCOREInterface();
  const int tpf = ip->GetTicksPerFrame();
  const CacheFrames frames = MapCacheFrames(t, timeScale, timeOffset, tpf, ip->GetAnimRange());

  SurfaceBuilder& b = *builder_;
  b.SetDensity(1.0f / (drop * drop * drop), 1);
  b.blobRadius = drop * melting;

  bool haveSurface = false, haveParticles = false;
  std::string surfacePath, particlePath;
  const std::string instance = InstanceFolder(exportDir, name);
  if ((useCache || usePartCache) && instance.empty()) {
    // Said once until the folder or the switches change: the surface is
    // still built, only nothing is cached.
    if (!warnedNoCacheFolder_) {
      ShowTempPrompt(exportDir.empty() ? "Pelliqor: no export directory is set; caches are neither read nor written"
                     : name.empty()  ? "Pelliqor: the wrapper has no name; caches are neither read nor written"
                                     : "Pelliqor: the wrapper's name is no folder name; caches are neither read nor written",
                     6000);
      warnedNoCacheFolder_ = true;
    }
    useCache = usePartCache = 0;
  } else if (!instance.empty()) {
    warnedNoCacheFolder_ = false;
  }
  if (useCache || usePartCache) {
    CreateDirectoryA(exportDir.c_str());
    CreateDirectoryA(instance.c_str());
    surfacePath = vorel::host::NormalizePath(SurfaceCachePath(instance, frames.cacheFrame));
    particlePath = ParticleCachePath(instance, frames.cacheFrame);
    if (useCache) haveSurface = b.mesh.ReadSurfaceCache(surfacePath);
    if (!haveSurface && usePartCache)
      haveParticles = ReadParticleCache(b, particlePath, melting) == ParticleCacheStatus::Ok;
  }
  const bool writeNow = frames.current == frames.mapped;
  if (!haveSurface) {
    try {
      if (!haveParticles) {
        const int count = CountParticles(t);
        b.BeginParticles(count, melting);
        SetStatusText(kParticlesText, "Number of Particles: %d", count);
        FillParticles(t);
        int error = 0;
        if (usePartCache && writeNow && !WriteParticleCache(b, particlePath, &error))
          SayCacheNotWritten("particle", vorel::host::NormalizePath(particlePath), error);
      }
      b.Build(3.0f / (detail + 1.0f), melting, 1.0f, shrink, 0, 2000);
      int error = 0;
      if (useCache && writeNow && !b.mesh.WriteSurfaceCache(surfacePath, frames.cacheFrame, 0, &error))
        SayCacheNotWritten("surface", surfacePath, error);
    } catch (const std::bad_alloc&) {
      // No surface: nothing stored for the frame, nothing shown.
      b.mesh.Clear();
      ShowTempPrompt("Pelliqor: out of memory building the surface; nothing shown", 6000);
    }
  }
  blob_skeleton::CopyOutMesh(b.mesh, out, blob_skeleton::InverseNodeTM(this, t));
  SetStatusText(kFacesText, "Number of Faces: %d", b.mesh.FaceCount());
}

// ---- scripting interface ----

FPStatus BlobNode::_dispatch_fn(FunctionID fid, TimeValue, FPValue&, FPParams* p) {
  INode* node = p && p->Count() > 0 ? p->params[0].n : nullptr;
  switch (fid) {
    case kAddNode: addNode(node); return FPS_OK;
    case kRemoveNode: removeNode(node); return FPS_OK;
    case kAddPFnode: addPFnode(node); return FPS_OK;
    case kRemovePFnode: removePFnode(node); return FPS_OK;
    case kPick: pick(); return FPS_OK;
    case kAdd: add(); return FPS_OK;
    case kAddPF: addPF(); return FPS_OK;
    default: return FPS_NO_SUCH_FUNCTION;
  }
}

void BlobNode::addNode(INode* node) {
  if (!node || !pblock) return;
  for (int i = 0; i < pblock->Count(kNodeList); ++i)
    if (pblock->GetINode(kNodeList, 0, i) == node) return;
  // A node that holds no particle system (a fluid system's own node, a
  // mesh) would be listed and wrapped as nothing.
  Object* obj = node->EvalWorldState(GetCOREInterface()->GetTime()).obj;
  if (!obj || !obj->IsParticleSystem()) {
    const std::string text =
        "Pelliqor: '" + std::string(node->GetName()) + "' holds no particles to wrap; it was not added";
    ShowTempPrompt(text.c_str(), 6000);
    return;
  }
  theHold.Begin();
  pblock->Append(kNodeList, 1, &node);
  theHold.Accept("Add a particle node to this pelliqor instance");
  Interface* ip = GetCOREInterface();
  ip->RedrawViews(ip->GetTime());
}

void BlobNode::removeNode(INode* node) {
  if (!node || !pblock) return;
  for (int i = 0; i < pblock->Count(kNodeList); ++i) {
    if (pblock->GetINode(kNodeList, 0, i) != node) continue;
    theHold.Begin();
    pblock->Delete(kNodeList, i, 1);
    theHold.Accept("Delete from this pelliqor instance");
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    Interface* ip = GetCOREInterface();
    ip->RedrawViews(ip->GetTime());
    return;
  }
}

void BlobNode::addPFnode(INode* node) {
  if (!node || !pblock) return;
  for (int i = 0; i < pblock->Count(kPfEventList); ++i)
    if (pblock->GetINode(kPfEventList, 0, i) == node) return;
  theHold.Begin();
  pblock->Append(kPfEventList, 1, &node);
  theHold.Accept("Add a particle node to this pelliqor instance");
  Interface* ip = GetCOREInterface();
  ip->RedrawViews(ip->GetTime());
}

void BlobNode::removePFnode(INode* node) {
  if (!node || !pblock) return;
  for (int i = 0; i < pblock->Count(kPfEventList); ++i) {
    if (pblock->GetINode(kPfEventList, 0, i) != node) continue;
    theHold.Begin();
    pblock->Delete(kPfEventList, i, 1);
    theHold.Accept("Delete from this pelliqor instance");
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    Interface* ip = GetCOREInterface();
    ip->RedrawViews(ip->GetTime());
    return;
  }
}

}  // namespace pelliqor
