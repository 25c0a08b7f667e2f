// The fluid system object: construction and naming, references to its
// emitters, reactions to parameter and node changes, host notifications,
// evaluation, display, bounding boxes, conversion and the render bracket.
#include "fluid_plugin/tetra_proc_obj.h"
#include "scene_objects/object_manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

#include "fluid_core/cache_folders.h"
#include "fluid_core/frame_cache.h"
#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/surface_display.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/ui/ui.h"
#include "scene_objects/vorel_strings.h"

int SystemCount = 0;
bool RenderInProgress = false;
bool RedrawRequested = false;

namespace {
// Every constructed system takes the next number and numbers never come
// back: a number freed by a deleted system would hand its successor the
// folder (and delete the first frame) of a system that may still be alive.
int NextSystemNumber = 0;
uint64_t NextSerial = 0;
std::map<const TetraProcObj*, uint64_t>& LiveTable() {
  static std::map<const TetraProcObj*, uint64_t> table;
  return table;
}
std::vector<TetraProcObj*>& LiveOrder() {
  static std::vector<TetraProcObj*> order;
  return order;
}
FluidRolloutProcFactory RolloutFactory = nullptr;

// Interface id of the host's retained-mode display manager.
const Interface_ID kDisplayManagerId(0x71218F68, 0x52AB4A11);
constexpr int kHitEpsilon = 4;
// Notes on a damaged scene stay on the prompt line as long as action results.
constexpr unsigned kLoadNotePromptMs = 15000;
constexpr int kNotifyCodes[] = {NOTIFY_PRE_RENDERFRAME, NOTIFY_PRE_RENDER, NOTIFY_POST_RENDERFRAME,
                                NOTIFY_POST_RENDER, NOTIFY_SEL_NODES_PRE_DELETE, NOTIFY_TIME_CHANGED};
// Render limits while the icon is drawn: the z-buffer bit kept, wire frame
// and edges only.
constexpr DWORD kIconLimitsKeep = 0x20;
constexpr DWORD kIconLimitsForce = 0x200001;

float ParamFloat(IParamBlock2* pb, ParamID id, TimeValue t, float fallback) {
  return ReadFloatParam(pb, id, t, fallback);
}
int ParamInt(IParamBlock2* pb, ParamID id, TimeValue t, int fallback) {
  return ReadIntParam(pb, id, t, fallback);
}

// The base object under a node's derived objects and space-warp wrappers.
Object* BaseObjectOf(INode* n) {
  if (!n) return nullptr;
  Object* o = n->GetObjectRef();
  return o ? o->FindBaseObject() : nullptr;
}

bool InTable(INodeTab* nodes, INode* n) {
  for (int i = 0; i < nodes->Count(); ++i)
    if ((*nodes)[i] == n) return true;
  return false;
}

// Default names tried before a system gives up claiming a folder of its own.
constexpr int kMaxClaimTries = 100000;
}  // namespace

bool IsLiveSystem(const TetraProcObj* system, uint64_t serial) {
  auto it = LiveTable().find(system);
  return it != LiveTable().end() && it->second == serial;
}

std::vector<TetraProcObj*> LiveSystems() { return LiveOrder(); }

void SetFluidRolloutProcFactory(FluidRolloutProcFactory factory) { RolloutFactory = factory; }

std::string TetraProcObj::DefaultSystemName(const std::string& sceneFile, int number) {
  char name[300];
  if (!sceneFile.empty())
    std::snprintf(name, sizeof name, "%s_aux%03d", sceneFile.c_str(), number);
  else
    std::snprintf(name, sizeof name, "aux%03d", number);
  return name;
}

TetraProcObj::TetraProcObj(bool loadingArg)
    : lastSurfaceLod(kDefaultSurfaceLod),
      lastMeltingForce(kDefaultMeltingForce),
      lastDropSize(kDefaultDropSize),
      lastShrinkWrap(kDefaultShrinkWrap),
      loading(loadingArg),
      justLoaded(loadingArg) {
  GetTetraProcObjDesc()->MakeAutoParamBlocks(this);
  for (int code : kNotifyCodes) RegisterNotification(&TetraProcObj::NotifyProc, this, code);

  serial_ = ++NextSerial;
  LiveTable()[this] = serial_;
  LiveOrder().push_back(this);
  SetCurrentSystem(this);
  ++SystemCount;
  number_ = ++NextSystemNumber;

  std::string folder, file;
  vorel::host::SplitFilename(GetCOREInterface()->GetCurFilePath(), &folder, &file, nullptr);
  // A system being loaded takes its name and folder from the scene; only
  // when the scene's cache is not found does it claim one of its own.
  engine.SetSystemName(DefaultSystemName(loading ? "" : file, number_));
  if (!loading) ClaimDefaultName(file, number_);
  // A new system solves at its own scale, not at one a system of an earlier
  // scene left behind.
  FollowScale(GetCOREInterface()->GetTime());
}

void TetraProcObj::FollowScale(TimeValue t) {
  const float scale = ParamFloat(pblock2, kFluidScale, t, 1.0f);
  if (!(scale > 0.0f) || !std::isfinite(scale)) return;
  scaleValue = scale;
  engine.solver->frameCache.SetScale(20.0f * scale);
}

void TetraProcObj::ClaimDefaultName(const std::string& sceneBase, int number) {
  // Frames left under a default name by an earlier system, of this process
  // or another, are nobody's to delete: that name is passed over, so no
  // earlier frame ever shows as this system's either.
  for (int tries = 0; tries < kMaxClaimTries; ++tries) {
    const std::string name = DefaultSystemName(sceneBase, number);
    engine.SetSystemName(name);
    const FolderClaim claim = ClaimCacheFolder(engine.cacheRoot, name);
    if (claim == FolderClaim::kClaimed) claimedFolder_ = engine.solver->frameCache.SystemFolder();
    // A root that cannot hold the folder keeps the name: the first frame
    // written there fails and says why.
    if (claim != FolderClaim::kTaken) return;
    number = ++NextSystemNumber;
  }
}

TetraProcObj::~TetraProcObj() {
  --SystemCount;
  ObjectManagerSystemDeleted(this);
  for (int code : kNotifyCodes) UnRegisterNotification(&TetraProcObj::NotifyProc, this, code);
  if (CurrentSystem() == this) SetCurrentSystem(nullptr);
  LiveTable().erase(this);
  auto& order = LiveOrder();
  order.erase(std::remove(order.begin(), order.end(), this), order.end());
  // The emitters keep a pointer to this engine; they must not use it now.
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i)
    if (FluidSource* s = engine.sourceObjects[size_t(i)])
      if (s->engine == &engine) s->engine = nullptr;
  DeleteAllRefs();
}

void TetraProcObj::CreateCacheFolders() {
  std::string root = vorel::host::NormalizePath(engine.cacheRoot);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string folder = root + "/Vorel/" + engine.systemName;
  vorel::host::MakeDirectories(folder + "/surface");
  vorel::host::MakeDirectories(folder + "/maps");
  claimedFolder_ = engine.solver->frameCache.SystemFolder();
}

void TetraProcObj::GetClassName(std::string& s) {
  const char* name = VorelString(kStrFluidClassName);
  s = name ? name : "Vorel";
}

Class_ID TetraProcObj::ClassID() { return TetraProcObjClassID(); }

IParamBlock2* TetraProcObj::GetParamBlockByID(BlockID id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

// ---------------------------------------------------------------------------
// Surface display

void TetraProcObj::LoadSurfaceFrame(int frame) {
  const TimeValue t = GetCOREInterface()->GetTime();
  try {
    SurfaceFrameArrays file;
    int vertexCount = 0, faceCount = 0;
    if (frame < 0 || !engine.solver ||
        !engine.solver->frameCache.ReadMeshFrame(frame, vertexCount, faceCount, file.vertices,
                                                 file.secondVertices, file.mapPoints, file.faces) ||
        vertexCount == 0) {
      ClearMesh();
      return;
    }
    const Matrix3 toLocal = node ? node->GetObjectTM(t).Inverse() : Matrix3();
    SurfaceGreyParams grey;
    grey.perVertexInfo = ParamInt(pblock2, kFluidPerVertexInfo, t, 0);
    grey.maxValue = ParamFloat(pblock2, kFluidMaxValuePV, t, 1.0f);
    grey.minValue = ParamFloat(pblock2, kFluidMinValuePV, t, 0.0f);
    FillSurfaceDisplayMesh(mesh, file, engine.FrameScale(), toLocal, grey);
  } catch (const std::bad_alloc&) {
    // The host evaluates the scene here: the stored surface is not shown
    // rather than the host ended, and the file stays as it is.
    ClearMesh();
    char text[128];
    std::snprintf(text, sizeof text, "Vorel-> The surface of frame %d is not shown: out of memory", frame);
    ShowTempPrompt(text, FluidEngine::kFailurePromptMs);
  }
}

void TetraProcObj::ClearMesh() { ClearSurfaceMesh(mesh); }

void TetraProcObj::BuildIconMesh() { BuildFluidIconMesh(iconMesh); }

void TetraProcObj::InvalidateMeshCaches() {
  mesh.InvalidateGeomCache();
  iconMesh.InvalidateGeomCache();
}

void TetraProcObj::SetDialogText(HWND dialog, int control, const char* text) {
  if (dialog) SetDlgItemText(dialog, control, text);
}

void TetraProcObj::SetSolveProgress(int position, int rangeLow, int rangeHigh) {
  ShowRunProgress(position, rangeLow, rangeHigh);
}

void TetraProcObj::SetSolveElapsedText(const char* text) { ShowRunElapsed(text); }

// ---------------------------------------------------------------------------
// Edit parameters

void TetraProcObj::BeginEditParams(IObjParam* ip, uint32_t flags, Animatable* prev) {
  SetEditInterface(ip);
  TetraProcObjClassDesc* desc = GetTetraProcObjDesc();
  desc->BeginEditParams(ip, this, flags, prev);
  if (!RolloutFactory) return;
  for (int map = kFluidMapAnimation; map <= kFluidMapCache; ++map)
    if (ParamMap2UserDlgProc* proc = RolloutFactory(map, this))
      FluidParamBlock()->SetUserDlgProc(MapID(map), proc);
}

void TetraProcObj::EndEditParams(IObjParam* ip, uint32_t flags, Animatable* next) {
  // Stops any pick mode a rollout started before its maps close.
  if (ip) ip->ClearPickMode();
  GetTetraProcObjDesc()->EndEditParams(ip, this, flags, next);
  SetEditInterface(nullptr);
}

// ---------------------------------------------------------------------------
// Render bracket

int TetraProcObj::RenderBegin(TimeValue t, uint32_t flags) {
  (void)t;
  (void)flags;
  ClearAFlag(kNotRenderingFlag);
  RenderInProgress = true;
  renderMesh = nullptr;
  return 0;
}

int TetraProcObj::RenderEnd(TimeValue t) {
  SetAFlag(kNotRenderingFlag);
  const int frame = t / GetCOREInterface()->GetTicksPerFrame() - engine.startFrame;
  if (ParamInt(pblock2, kFluidShowMesh, t, 1) != 0) LoadSurfaceFrame(frame);
  renderMesh = nullptr;
  RenderInProgress = false;
  return 0;
}

// ---------------------------------------------------------------------------
// References

RefTargetHandle TetraProcObj::GetReference(int i) {
  if (i == 0) return pblock2;
  if (i >= 1 && i - 1 < FluidEngine::kMaxSources) return engine.sourceNodes[size_t(i - 1)];
  return nullptr;
}

void TetraProcObj::SetReference(int i, RefTargetHandle target) {
  if (i == 0) {
    pblock2 = static_cast<IParamBlock2*>(target);
    return;
  }
  const int slot = i - 1;
  if (slot < 0 || slot >= FluidEngine::kMaxSources) return;
  if (slot >= engine.sourceCount) engine.sourceCount = slot + 1;
  BindSource(slot, static_cast<INode*>(target));
}

void TetraProcObj::BindSource(int slot, INode* target) {
  engine.sourceNodes[size_t(slot)] = target;
  if (!target) return;
  FluidSource* source = AsFluidSource(BaseObjectOf(target));
  if (source) {
    source->sourceIndex = slot;
    source->engine = &engine;
    source->node = target;
  }
  engine.sourceObjects[size_t(slot)] = source;
}

void TetraProcObj::ReferenceSourceNode(int slot, INode* n) {
  if (slot < 0 || slot >= FluidEngine::kMaxSources) return;
  ReplaceReference(slot + 1, n);
}

ReferenceTarget* TetraProcObj::Clone(RemapDir& remap) {
  TetraProcObj* copy = new TetraProcObj(false);
  copy->ReplaceReference(0, remap.CloneRef(pblock2));
  copy->ivalid = NEVER;
  BaseClone(this, copy, remap);
  return copy;
}

INode* TetraProcObj::FindOwnNode() {
  uint32_t handle = 0;
  NotifyDependents(FOREVER, reinterpret_cast<PartID>(&handle), REFMSG_GET_NODE_HANDLE);
  return handle ? GetCOREInterface()->GetINodeByHandle(handle) : nullptr;
}

RefResult TetraProcObj::NotifyRefChanged(Interval changeInt, RefTargetHandle target, PartID& partID,
                                         RefMessage message) {
  (void)changeInt;
  if (message == REFMSG_TARGET_DELETED) {
    for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i)
      if (engine.sourceNodes[size_t(i)] == target) {
        engine.sourceNodes[size_t(i)] = nullptr;
        engine.sourceObjects[size_t(i)] = nullptr;
      }
    if (target == pblock2) pblock2 = nullptr;
  } else if (message == REFMSG_CHANGE) {
    if (partID == PART_TM) {
      OnSourceMoved(static_cast<INode*>(target));
    } else if (target == pblock2) {
      ivalid = NEVER;
      OnParamsChanged();
    }
  }
  return REF_SUCCEED;
}

void TetraProcObj::OnParamsChanged() {
  if (!pblock2) return;
  const TimeValue t = GetCOREInterface()->GetTime();
  FollowScale(t);
  const float gravity = ParamFloat(pblock2, kFluidGravity, t, 40.0f);
  if (gravity != lastGravity) {
    for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i)
      if (FluidSource* s = engine.sourceObjects[size_t(i)]) {
        s->gravity = gravity;
        s->InvalidateSource();
      }
    lastGravity = gravity;
  }
  const int showMesh = ParamInt(pblock2, kFluidShowMesh, t, 1);
  const float lod = ParamFloat(pblock2, kFluidSurfaceLod, t, kDefaultSurfaceLod);
  const float melting = ParamFloat(pblock2, kFluidMeltingForce, t, kDefaultMeltingForce);
  const float drop = ParamFloat(pblock2, kFluidDropSize, t, kDefaultDropSize);
  const float shrink = ParamFloat(pblock2, kFluidShrinkWrap, t, kDefaultShrinkWrap);
  const int entire = ParamInt(pblock2, kFluidEntireAnimationRange, t, 1);
  const int startMesher = ParamInt(pblock2, kFluidStartFrameMesher, t, 0);
  const int stopMesher = ParamInt(pblock2, kFluidStopFrameMesher, t, 100);
  if (!engine.owner) return;
  // The surface turned on after a solve: frames solved without it have no
  // mesh, and the object shows (and exports) an empty one there. The way to
  // build them is said once a solve.
  if (showMesh != 0 && lastShowMesh != 1 && engine.lastSolved >= 0 && engine.lastSolved < FluidEngine::kMaxFrames) {
    const int solved = engine.lastSolved + 1;
    const int missing = solved - engine.CountMeshedFrames();
    if (missing > 0) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "Vorel-> %d of the %d solved frames have no surface mesh: \"Rebuild surface\" builds them.",
                    missing, solved);
      engine.LogNote(text, true, "frames without a surface mesh");
    }
  }
  lastShowMesh = showMesh;
  if (lod == lastSurfaceLod && melting == lastMeltingForce && drop == lastDropSize &&
      shrink == lastShrinkWrap)
    return;
  lastSurfaceLod = lod;
  lastMeltingForce = melting;
  lastDropSize = drop;
  lastShrinkWrap = shrink;
  const int frame = engine.FrameFromTime(t);
  if (!showMesh) return;
  if (!entire && (frame < startMesher || frame > stopMesher)) return;
  // Only a solved frame has particles to mesh (and a slot in the tables).
  if (frame > engine.lastSolved || frame >= FluidEngine::kMaxFrames) return;
  if (engine.BuildSurfaceFrame(frame)) engine.frameMeshed[size_t(frame)] = 1;
  LoadSurfaceFrame(frame);
  mesh.InvalidateGeomCache();
}

void TetraProcObj::OnSourceMoved(INode* sourceNode) {
  if (!sourceNode) return;
  FluidSource* source = AsFluidSource(BaseObjectOf(sourceNode));
  if (!source) return;
  SourcesNeedRefresh = 1;
  source->SourceMoved(GetCOREInterface()->GetTime(), sourceNode, isSolving);
}

// ---------------------------------------------------------------------------
// Notifications

void TetraProcObj::NotifyProc(void* param, NotifyInfo* info) {
  TetraProcObj* self = static_cast<TetraProcObj*>(param);
  if (!self || !info) return;
  const int tpf = GetCOREInterface()->GetTicksPerFrame();
  switch (info->intcode) {
    case NOTIFY_PRE_RENDER:
      self->rendering = true;
      break;
    case NOTIFY_POST_RENDER:
      self->rendering = false;
      self->renderFrame = -999;
      break;
    case NOTIFY_PRE_RENDERFRAME: {
      const auto* rc = static_cast<RenderGlobalContext*>(info->callParam);
      if (!rc) break;
      self->renderFrame = rc->time == 0 ? -999 : rc->time / tpf + 1;
      break;
    }
    case NOTIFY_TIME_CHANGED: {
      const auto* tp = static_cast<TimeValue*>(info->callParam);
      if (!tp) break;
      self->renderFrame = *tp / tpf;
      if (self->pblock2 && ParamInt(self->pblock2, kFluidShowMesh, *tp, 1) != 0)
        self->LoadSurfaceFrame(self->renderFrame - self->engine.startFrame);
      break;
    }
    case NOTIFY_SEL_NODES_PRE_DELETE:
      self->OnNodesPreDelete(static_cast<INodeTab*>(info->callParam));
      break;
    default:
      break;
  }
}

void TetraProcObj::OnNodesPreDelete(INodeTab* nodes) {
  if (!nodes) return;
  INode* own = FindOwnNode();
  if (!own || !InTable(nodes, own)) {
    for (int i = 0; i < nodes->Count(); ++i) engine.ForgetNode((*nodes)[i]);
    return;
  }
  auto addFront = [nodes](INode* n) {
    if (!n || InTable(nodes, n)) return;
    nodes->AppendNode(n);
    for (int i = nodes->Count() - 1; i > 0; --i) (*nodes)[i] = (*nodes)[i - 1];
    (*nodes)[0] = n;
  };
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i)
    addFront(engine.sourceNodes[size_t(i)]);
  // The clip box, the floor and the collision settings serve every fluid
  // system of the scene: they go with the last one only.
  for (TetraProcObj* other : LiveOrder()) {
    if (other == this) continue;
    INode* otherNode = other->FindOwnNode();
    if (otherNode && !InTable(nodes, otherNode)) return;
  }
  Interface* ip = GetCOREInterface();
  addFront(ip->GetINodeByName(kClipBoxNodeName));
  addFront(ip->GetINodeByName(kFloorNodeName));
  engine.RemoveObjectParamsFromScene();
}

// ---------------------------------------------------------------------------
// Evaluation and display

void TetraProcObj::UpdateEngine(TimeValue t) {
  const int before = engine.lastSolved;
  const auto start = std::chrono::steady_clock::now();
  engine.UpdateToTime(t);
  if (engine.lastSolved != before) {
    BatchTimes& times = BatchRunStats();
    times.solveMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++times.framesSolved;
  }
}

ObjectState TetraProcObj::Eval(TimeValue t) {
  UpdateEngine(t);
  return ObjectState(this);
}

void TetraProcObj::BuildMesh(TimeValue t) {
  UpdateEngine(t);
  ivalid = ObjectValidity(t);
}

int TetraProcObj::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  if (vpt && inode) {
    GraphicsWindow* gw = vpt->getGW();
    gw->setTransform(inode->GetObjectTM(t));
    const DWORD saved = gw->getRndLimits();
    gw->setRndLimits((saved & kIconLimitsKeep) | kIconLimitsForce);
    const bool retained = GetCOREInterface()->GetCOREInterfaceByID(kDisplayManagerId) != nullptr;
    if (!retained && !(gw->getRndMode() & GW_BOX_MODE) && iconMesh.getNumVerts() > 0) {
      RECT damage{};
      iconMesh.render(gw, nullptr, (flags & 1) ? &damage : nullptr, COMP_ALL, 1);
    }
    gw->setRndLimits(saved);
  }
  node = inode;
  engine.systemNode = inode;
  if (inode) systemOrigin = inode->GetObjectTM(t).GetTrans();
  UpdateEngine(t);
  if (RedrawRequested) {
    RedrawRequested = false;
    GetCOREInterface()->RedrawViews(t);
  }
  return SimpleObject2::Display(t, inode, vpt, flags);
}

int TetraProcObj::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                          ViewExp* vpt) {
  if (int hit = SimpleObject2::HitTest(t, inode, type, crossing, flags, p, vpt)) return hit;
  if (!vpt || !inode) return 0;
  GraphicsWindow* gw = vpt->getGW();
  gw->setTransform(inode->GetObjectTM(t));
  HitRegion region;
  MakeHitRegion(region, type, crossing, kHitEpsilon, p);
  const DWORD saved = gw->getRndLimits();
  gw->setRndLimits((saved | GW_PICK) & ~GW_ILLUM);
  gw->setHitRegion(&region);
  gw->clearHitCode();
  const int hit = iconMesh.select(gw, nullptr, &region, FALSE, 1);
  gw->setRndLimits(saved);
  return hit;
}

void TetraProcObj::GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)inode;
  (void)vpt;
  GetDeformBBox(t, box, nullptr, false);
}

void TetraProcObj::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  if (!inode) {
    GetLocalBoundBox(t, inode, vpt, box);
    return;
  }
  Matrix3 tm = inode->GetObjectTM(t);
  GetDeformBBox(t, box, &tm, false);
}

void TetraProcObj::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)useSel;
  UpdateEngine(t);
  Box3 local = mesh.getBoundingBox();
  const int frame = engine.FrameFromTime(t);
  if (frame >= 0 && frame < FluidEngine::kMaxFrames) {
    const Box3& clip = engine.frameClipBox[size_t(frame)];
    if (!clip.IsEmpty()) {
      local += clip.pmin - systemOrigin;
      local += clip.pmax - systemOrigin;
    }
  }
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i) {
    INode* n = engine.sourceNodes[size_t(i)];
    Object* o = engine.sourceObjects[size_t(i)] ? BaseObjectOf(n) : nullptr;
    if (!n || !o) continue;
    Matrix3 sourceTM = n->GetObjectTM(t);
    Box3 sourceBox;
    o->GetDeformBBox(t, sourceBox, &sourceTM, false);
    if (!sourceBox.IsEmpty()) {
      local += sourceBox.pmin;
      local += sourceBox.pmax;
    }
  }
  for (const Point3& p : {Point3(-30, 27, 0), Point3(-33, 5, 0), Point3(36, 27, 0), Point3(36, 11, 0)})
    local += p;
  if (!tm) {
    box = local;
    return;
  }
  box.Init();
  for (int c = 0; c < 8; ++c)
    box += tm->PointTransform(Point3(c & 1 ? local.pmax.x : local.pmin.x,
                                     c & 2 ? local.pmax.y : local.pmin.y,
                                     c & 4 ? local.pmax.z : local.pmin.z));
}

int TetraProcObj::CanConvertToType(Class_ID obtype) {
  if (obtype == defObjectClassID() || obtype == triObjectClassID()) return 1;
  return SimpleObject2::CanConvertToType(obtype);
}

Object* TetraProcObj::ConvertToType(TimeValue t, Class_ID obtype) {
  const int tpf = GetCOREInterface()->GetTicksPerFrame();
  if (RenderInProgress || t % tpf != 0) {
    engine.BuildRenderMesh(t, mesh);
    ivalid = Interval(t, t);  // the rebuilt mesh stands for this instant
  }
  return SimpleObject2::ConvertToType(t, obtype);
}

Mesh* TetraProcObj::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  (void)inode;
  (void)view;
  Mesh* m = new Mesh();
  if (ParamInt(pblock2, kFluidShowMesh, t, 1) != 0) engine.BuildRenderMesh(t, *m);
  needDelete = true;
  renderMesh = m;
  return m;
}

// ---------------------------------------------------------------------------
// Post-load

void VorelPostLoadCB::proc(ILoad* iload) {
  (void)iload;
  system_->PostLoadFixup();
  delete this;
}

void TetraProcObj::PostLoadFixup() {
  Interface* ip = GetCOREInterface();
  node = FindOwnNode();
  engine.systemNode = node;
  // The source references were set before their nodes held the emitters.
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i)
    if (!engine.sourceObjects[size_t(i)] && engine.sourceNodes[size_t(i)]) BindSource(i, engine.sourceNodes[size_t(i)]);
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i) {
    FluidSource* s = engine.sourceObjects[size_t(i)];
    if (!s) continue;
    if (size_t(i) < savedSourceNames.size() && !savedSourceNames[size_t(i)].empty())
      if (INode* named = ip->GetINodeByName(savedSourceNames[size_t(i)].c_str())) s->node = named;
    if (INode* n = engine.sourceNodes[size_t(i)]) s->storedTM = n->GetNodeTM(0);
  }
  engine.RestoreWetMaps();
  // A stored start frame so far before the scene's range that the cache
  // cannot reach it is damaged: a run would fill the whole cache without
  // reaching the range. So is one a whole cache's length past its end. The
  // cache starts where a reset starts it. (A cache that starts a little after
  // the range is left alone: moving the range back shows it again.)
  const int first = ip->GetAnimRange().Start() / ip->GetTicksPerFrame();
  const int last = ip->GetAnimRange().End() / ip->GetTicksPerFrame();
  char text[256];
  if (int64_t(engine.startFrame) + FluidEngine::kMaxFrames <= first ||
      int64_t(engine.startFrame) >= int64_t(last) + FluidEngine::kMaxFrames) {
    std::snprintf(text, sizeof text,
                  "Vorel-> The scene's start frame %d lies far outside its animation range; the cache "
                  "starts at frame %d.",
                  engine.startFrame, first);
    ShowTempPrompt(text, kLoadNotePromptMs);
    engine.startFrame = first;
    engine.solverClock = engine.FrameTime(std::max(engine.lastSolved, 0));
  }
  // The clock of a solve stays within a frame of its last solved frame's
  // time; one beyond (a damaged scene: 3e38 s) would make the next frame
  // simulate nothing or forever.
  const double clockAt = engine.FrameTime(std::max(engine.lastSolved, 0));
  if (!(std::fabs(engine.solverClock - clockAt) <= double(ip->GetTicksPerFrame()) / 4800.0)) {
    std::snprintf(text, sizeof text,
                  "Vorel-> The scene's solver clock (%g s) does not fit its last solved frame %d; it is "
                  "set to %g s.",
                  engine.solverClock, engine.lastSolved, clockAt);
    ShowTempPrompt(text, kLoadNotePromptMs);
    engine.solverClock = clockAt;
  }
  const TimeValue t = ip->GetTime();
  // The loaded "Scale" decides, whatever scale the chunks carried.
  FollowScale(t);
  const float gravity = ParamFloat(pblock2, kFluidGravity, t, 40.0f);
  float minLod = 3.0e10f;
  for (int i = 0; i < engine.sourceCount && i < FluidEngine::kMaxSources; ++i) {
    FluidSource* s = engine.sourceObjects[size_t(i)];
    if (!s) continue;
    s->gravity = gravity;
    s->InvalidateSource();
    if (size_t(i) < savedSourceFolders.size() && !savedSourceFolders[size_t(i)].empty())
      s->SetSourceFileFolder(savedSourceFolders[size_t(i)]);
    IParamBlock2* spb = s->SourceParamBlock();
    if (ReadIntParam(spb, kEmitEmissionType, t, 0) == 2 && s->node) {
      // The fill is emitted after the start frame: until a frame past it is
      // solved (a scene saved with nothing solved included), it fills again.
      if (engine.lastSolved <= 0 && engine.solver->count == 0) {
        s->FillFromObject();
        s->fillPending = 1;
      } else {
        s->fillPending = 0;
      }
      SourcesNeedRefresh = 1;
      engine.lastEvalFrame = -1;
    }
    if (spb) minLod = std::min(minLod, ReadFloatParam(spb, kEmitSourceLod, t, minLod));
  }
  // Without a usable source the density stays what the cache gave.
  if (minLod < 3.0e10f) engine.solver->SetParticleDensity(double(minLod) * minLod * minLod);
  RunToolbarStateHook(this);
}
