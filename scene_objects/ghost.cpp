// The ghost source: binding to its parent, the particle update placed by
// the two nodes' transforms, and its display.
#include "scene_objects/ghost.h"

#include <algorithm>
#include <memory>

#include "host/ui/ui.h"
#include "scene_objects/display_frame.h"
#include "scene_objects/emitter_rollouts.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/ghost_params.h"
#include "scene_objects/vorel_strings.h"

namespace {
// The host's "the modifier stack changed" message to the node.
constexpr RefMessage kStackChangedMessage = 261;
int TicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }
Point3 ToPoint(const Vec3f& v) { return Point3(v.x, v.y, v.z); }

// A ghost only replays its parent's stream: when the parent goes, its ghosts
// go too. Their nodes are deleted once the host has finished the deletion
// that took the parent (the parent may go in another node's cascade, which
// the ghosts' nodes could not join in time).
struct Orphan {
  GenGhostParticle* ghost;
  uint32_t nodeHandle;
};
std::vector<Orphan>& Orphans() {
  static std::vector<Orphan> orphans;
  return orphans;
}

void DeleteOrphanGhosts(void*, NotifyInfo*) {
  std::vector<Orphan> orphans;
  orphans.swap(Orphans());
  Interface* ip = GetCOREInterface();
  INodeTab doomed;
  for (const Orphan& o : orphans) {
    if (!Animatable::IsAlive(o.ghost) || o.ghost->parent) continue;
    INode* n = ip->GetINodeByHandle(o.nodeHandle);
    Object* obj = n ? n->GetObjectRef() : nullptr;
    if (obj && obj->FindBaseObject() == o.ghost) doomed.AppendNode(n);
  }
  if (doomed.Count() > 0) ip->DeleteNodes(doomed);
}
}  // namespace

GenGhostParticle::GenGhostParticle() {
  draw = RainParticleDraw(nullptr);
  GetRainGhostDesc()->MakeAutoParamBlocks(this);
  if (IParamBlock2* pb = pblock2) {
    // The system-wide defaults of the plug-in's ini file.
    PluginDefaults defaults;
    std::string tempDir;
    readPluginIni(defaults, tempDir);
    pb->SetValue(kGhostParticlesShown, 0, 100);
    pb->SetValue(kGhostParticlesShownInRender, 0, 100);
    pb->SetValue(kGhostDisableSource, 0, defaults.disableSource);
    pb->SetValue(kGhostStartFrame, 0, -100);
    pb->SetValue(kGhostStopFrame, 0, 10000);
  }
}

GenGhostParticle::~GenGhostParticle() {
  if (parent && Animatable::IsAlive(parent) && slot >= 0 && slot < GenParticle::kMaxGhosts &&
      parent->ghostObjects[size_t(slot)] == this)
    parent->ghostObjects[size_t(slot)] = nullptr;
  DeleteAllRefs();
}

Class_ID RainGhostParticle::ClassID() { return RainGhostClassID(); }

const char* GenGhostParticle::GetObjectName() {
  const char* s = VorelString(kStrEmitterClassName);
  return s ? s : "Vorel";
}

void RainGhostParticle::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  SimpleParticle::BeginEditParams(ip, flags, prev);
  PrepareGhostRollouts(this);
  GetRainGhostDesc()->BeginEditParams(ip, this, flags, prev);
}

void RainGhostParticle::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  GetRainGhostDesc()->EndEditParams(ip, this, flags, next);
  SimpleParticle::EndEditParams(ip, flags, next);
}

void GenGhostParticle::BindToParent(GenParticle* p, int slotIndex, INode* ghostNode) {
  parent = p;
  parentNode = p ? p->node : nullptr;
  engine = p ? p->engine : nullptr;
  sourceIndex = p ? p->sourceIndex : 0;
  ownNode = ghostNode;
  slot = slotIndex;
  RequestRefresh();
}

void GenGhostParticle::ForgetParent(GenParticle* p) {
  if (parent != p) return;
  parent = nullptr;
  parentNode = nullptr;
  engine = nullptr;
  slot = -1;
  parts.SetCount(0);
  if (ownNode && Animatable::IsAlive(ownNode)) {
    Orphans().push_back({this, ownNode->GetHandle()});
    RegisterNotification(&DeleteOrphanGhosts, nullptr, NOTIFY_SEL_NODES_POST_DELETE);
  }
}

void GenGhostParticle::MouseCycleStarted(TimeValue t) {
  (void)t;
  SetAFlag(GenParticle::kInteractiveBit);
  valid = false;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void GenGhostParticle::MouseCycleCompleted(TimeValue t) {
  (void)t;
  ClearAFlag(GenParticle::kInteractiveBit);
  valid = false;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  refresh = true;
}

IParamBlock2* GenGhostParticle::GetParamBlockByID(short id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

RefResult GenGhostParticle::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget,
                                             PartID& partID, RefMessage message) {
  (void)changeInt; (void)partID;
  // Its own switches and window ("DisableSource", start and stop) change what
  // the ghost shows at the same frame: fetch again. The shared refresh flag
  // would not reach a ghost.
  if (message == REFMSG_CHANGE && hTarget == pblock2) RequestRefresh();
  return REF_SUCCEED;
}

IOResult GenGhostParticle::Save(ISave* isave) {
  (void)isave;
  return IO_OK;
}

IOResult GenGhostParticle::Load(ILoad* iload) {
  (void)iload;
  refresh = true;
  return IO_OK;
}

ReferenceTarget* RainGhostParticle::Clone(RemapDir& remap) {
  RainGhostParticle* c = new RainGhostParticle();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  c->mvalid.SetEmpty();
  c->valid = false;
  if (parent && Animatable::IsAlive(parent) && parent->ghostCount < GenParticle::kMaxGhosts) {
    const int k = parent->ghostCount++;
    c->parent = parent;
    c->parentNode = parentNode;
    c->engine = engine;
    c->sourceIndex = sourceIndex;
    c->slot = k;
    parent->ghostObjects[size_t(k)] = c;
  }
  BaseClone(this, c, remap);
  return c;
}

TimeValue GenGhostParticle::ParticleLife(TimeValue t, int i) {
  (void)t; (void)i;
  return TimeValue(kGhostLife) * TicksPerFrame();
}

ParticleLook GenGhostParticle::LookAt(TimeValue t) {
  ParticleLook l;
  IParamBlock2* pb = pblock2;
  if (!pb) return l;
  Interval iv;
  pb->GetValue(kGhostDropSize, t, l.dropSize, iv);
  pb->GetValue(kGhostMinSize, t, l.minSize, iv);
  pb->GetValue(kGhostSizeOnAgePercentage, t, l.agePercent, iv);
  pb->GetValue(kGhostSizeOnSolitudeRadius, t, l.minNeighbours, iv);
  int solitude = 1;
  pb->GetValue(kGhostSizeOnSolitude, t, solitude, iv);
  l.solitude = solitude != 0;
  l.life = kGhostLife;
  pb->GetValue(kGhostRenderType, t, l.renderType, iv);
  pb->GetValue(kGhostFacingOrientation, t, l.facing, iv);
  return l;
}

float GenGhostParticle::ParticleSize(TimeValue t, int i) {
  if (i < 0 || i >= parts.Count()) return 0.0f;
  return ShownParticleSize(LookAt(t), parts, neighbourCounts, i);
}

int GenGhostParticle::ParticleCenter(TimeValue t, int i) {
  (void)i;
  return pblock2 && pblock2->GetInt(kGhostRenderType, t) == 1 ? PARTCENTER_CENTER : PARTCENTER_HEAD;
}

int GenGhostParticle::GetMarkerType() {
  const int type = pblock2 ? pblock2->GetInt(kGhostDisplayType, 0) : 0;
  if (type == 0 || type == 3) {
    draw.Install(kGhostLife);
    cdraw = &draw;
    return POINT_MRKR;
  }
  cdraw = nullptr;
  return type == 1 ? POINT_MRKR : PLUS_SIGN_MRKR;
}

void GenGhostParticle::AdoptNode(INode* n) {
  if (ownNode || !n) return;
  ownNode = n;
  if (parent && Animatable::IsAlive(parent) && slot >= 0 && slot < GenParticle::kMaxGhosts)
    parent->ReplaceReference(4 + slot, n);
}

void GenGhostParticle::FollowParent() {
  // The parent is bound to its system after the ghost on a load, and again
  // whenever the system re-binds it.
  if (!parent) return;
  engine = parent->engine;
  sourceIndex = parent->sourceIndex;
  if (parent->node) parentNode = parent->node;
}

void GenGhostParticle::UpdateParticles(TimeValue t, INode* node) {
  FollowParent();
  if (!engine || !parent || !engine->owner) return;
  INode* found = nullptr;
  {
    uint32_t handle = 0;
    NotifyDependents(FOREVER, PartID(&handle), REFMSG_GET_NODE_HANDLE);
    found = handle ? GetCOREInterface()->GetINodeByHandle(handle) : nullptr;
  }
  AdoptNode(found ? found : node);
  if (StripObjectModifiers(found ? found : node))
    NotifyDependents(FOREVER, PART_ALL, kStackChangedMessage);

  const int tpf = TicksPerFrame();
  const int f = t / tpf - engine->timeOffset - engine->startFrame;
  const int r = t % tpf;
  const bool interactive = TestAFlag(GenParticle::kInteractiveBit);
  if (!interactive && !refresh && f == frameLastShown && r == 0) {
    tvalid = t;
    valid = true;
    return;
  }
  refresh = false;
  frameLastShown = f;
  Interval iv;
  if (pblock2) pblock2->GetValue(kGhostDropSize, t, parts.size, iv);
  // Where the emitter resets its table to all-dead particles the ghost
  // empties it: both show, hit and render nothing, and the table is sized
  // to each fetch anyway.
  if (f < 0) {
    parts.SetCount(0);
    frameLastShown = -1;
    tvalid = t;
    valid = true;
    return;
  }
  valid = true;
  if (!interactive) t -= r;

  const int F0 = engine->FrameFromTime(t) - engine->timeOffset;
  const int startFrame = pblock2 ? pblock2->GetInt(kGhostStartFrame, t) : -100;
  const int stopFrame = pblock2 ? pblock2->GetInt(kGhostStopFrame, t) : 10000;
  const bool disabled = pblock2 && pblock2->GetInt(kGhostDisableSource, t) != 0;
  SolvedRange range;
  range.lastSolved = engine->lastSolved;
  range.solving = engine->owner->IsSolving();
  IParamBlock2* spb = engine->owner->SystemParamBlock();
  range.action = ReadIntParam(spb, kFluidOutOfRangeAction, t, kOutOfRangeHide);
  range.loopFrames = ReadIntParam(spb, kFluidFramesToLoopFor, t, 1);
  const int F = (disabled || F0 < startFrame) ? -1 : MapGhostFrame(F0, stopFrame, range);
  if (F < 0) {
    parts.SetCount(0);
    frameLastShown = -1;
    return;
  }

  std::vector<Vec3f> pos, vel, surf;
  std::vector<int32_t> ages, nb;
  if (t % tpf == 0)
    engine->GetSourceParticlesAtFrame(sourceIndex, F, pos, vel, ages, surf, nb, 0, interactive);
  else
    engine->GetSourceParticlesAtTime(sourceIndex, t, pos, vel, ages, surf, nb, interactive);
  std::vector<Point3> emitted;
  Point3 emitDir;
  engine->GetSourceEmitterPoints(sourceIndex, emitted, emitDir);
  mvalid.SetEmpty();

  // The stream moves rigidly from the parent's node to the ghost's; the
  // drop directions stay as the parent's.
  const Matrix3 P = parentNode ? parentNode->GetNodeTM(t) : Matrix3();
  const Matrix3 G = ownNode ? ownNode->GetNodeTM(t) : Matrix3();
  const Matrix3 M = Inverse(P) * G;
  const float frameLen = float(tpf) / 4800.0f;
  const int facing = pblock2 ? pblock2->GetInt(kGhostFacingOrientation, t) : 0;
  const int n = int(pos.size());
  particleBox.Init();
  parts.SetCount(n);
  for (int i = 0; i < n; ++i) {
    const Point3 p = ToPoint(pos[size_t(i)]) * M;
    parts.points[size_t(i)] = p;
    particleBox += p;
    const Vec3f& dir = (facing == 2 && i < int(surf.size())) ? surf[size_t(i)]
                       : (i < int(vel.size()) ? vel[size_t(i)] : Vec3f());
    parts.vels[size_t(i)] = ToPoint(dir).Normalize() * frameLen;
    const int age = i < int(ages.size()) ? ages[size_t(i)] : -1;
    parts.ages[size_t(i)] = age > 9999 ? -1 : age;
  }
  neighbourCounts.assign(nb.begin(), nb.begin() + std::min(nb.size(), size_t(n)));
  if (!interactive) {
    for (const Point3& p : emitted) {
      parts.points.push_back(p * M);
      parts.vels.push_back(emitDir * frameLen);
      parts.ages.push_back(0);
    }
  }
  if (F < int(engine->frameClipBox.size())) engine->frameClipBox[size_t(F)] += particleBox;
  tvalid = t;
  frameLastShown = F;
}

void GenGhostParticle::BuildEmitter(TimeValue t, Mesh& amesh) {
  mvalid = FOREVER;
  emissionShape.NewShape();
  amesh.FreeAll();
  if (pblock2 && pblock2->GetInt(kGhostHideSource, t) != 0) return;
  Interval iv;
  float radius = 4.0f;
  if (pblock2) pblock2->GetValue(kGhostRadius, t, radius, iv);
  AddCircleSpline(emissionShape, radius);
  AppendPolylineMesh(*emissionShape.GetSpline(0), true, amesh);
  amesh.InvalidateGeomCache();
}

void GenGhostParticle::BuildRenderMesh(TimeValue t, INode* inode, View& view, Mesh& out) {
  out.FreeAll();
  const Matrix3 toMesh = inode ? Inverse(inode->GetObjectTM(t)) : Matrix3();
  const ParticleLook look = LookAt(t);
  if (look.renderType == 0) BuildTetrahedraMesh(parts, neighbourCounts, look, toMesh, out);
  else if (look.renderType == 1 || look.renderType == 3)
    BuildFacingMesh(parts, neighbourCounts, look, toMesh, view.campos, out);
  FlipWhenMirrored(toMesh, out);
}

Mesh* GenGhostParticle::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  needDelete = true;
  return RenderMeshKeepingWholeFrame(*this, neighbourCounts, t, inode,
                                     [&](Mesh& m) { BuildRenderMesh(t, inode, view, m); });
}

int GenGhostParticle::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags,
                              IPoint2* p, ViewExp* vpt) {
  const bool renderView = pblock2 && pblock2->GetInt(kGhostDisplayType, t) == 3;
  return HitTestParticleObject(
      *this, t, inode, type, crossing, flags, p, vpt, renderView,
      [&](NullView& view, Mesh& m) { BuildRenderMesh(t, inode, view, m); }, viewMesh_);
}

int GenGhostParticle::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  if (!inode || !vpt || inode->IsHidden()) return 0;
  AdoptNode(inode);
  UpdateParticles(t, inode);
  if (!mvalid.InInterval(t)) {
    BuildEmitter(t, mesh);
    mvalid.SetInstant(t);
  }
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  gw->setRndLimits((limits & GW_BACKCULL) | GW_WIREFRAME | GW_Z_BUFFER);
  if (inode->Selected()) gw->setColor(LINE_COLOR, GetUIColor(0));
  else if (!inode->IsFrozen()) gw->setColor(LINE_COLOR, GetUIColor(29));
  const Matrix3 objTM = inode->GetObjectTM(t);
  gw->setTransform(objTM);
  mesh.render(gw, gw->getMaterial(), nullptr, COMP_ALL, 1);
  const int displayType = pblock2 ? pblock2->GetInt(kGhostDisplayType, t) : 0;
  const ParticleLook look = LookAt(t);
  if (displayType == 0) {
    draw.Install(kGhostLife);
    cdraw = &draw;
    draw.BeginPass(look, displayType, false, &neighbourCounts);
    GetObjectDrawHooks()->DisplayParticles(this, t, inode, vpt, flags);
  } else if (displayType == 3) {
    NullView view;
    vpt->GetAffineTM(view.affineTM);
    view.worldToView = view.affineTM;
    view.campos = Inverse(view.affineTM).GetTrans();
    BuildRenderMesh(t, inode, view, viewMesh_);
    gw->setTransform(objTM);
    viewMesh_.render(gw, inode->Mtls(), nullptr, COMP_ALL, inode->NumMtls());
  } else {
    GetMarkerType();
    cdraw = nullptr;
    GetObjectDrawHooks()->DisplayParticles(this, t, inode, vpt, flags);
  }
  gw->setRndLimits(limits);
  return 0;
}

INode* CreateGhostSource(GenParticle* emitter, INode* emitterNode) {
  if (!emitter || emitter->ghostCount >= GenParticle::kMaxGhosts) return nullptr;
  RainGhostParticle* ghost = new RainGhostParticle();
  // A name of the system's own: scans and pickers leave it alone.
  std::string name = kGhostNodeName;
  GetCOREInterface()->MakeNameUnique(name);
  INode* n = GetCOREInterface()->CreateObjectNode(ghost, name.c_str());
  if (!n) {
    ghost->DeleteThis();
    return nullptr;
  }
  if (emitterNode) n->SetNodeTM(0, emitterNode->GetNodeTM(0));
  emitter->AddGhostNode(n);
  return n;
}
