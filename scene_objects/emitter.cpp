// The emitter object: construction, references, save and load, clone,
// mouse cycles, and the particle update from the engine's display feed.
#include "scene_objects/emitter.h"

#include <algorithm>
#include <cstring>

#include "host/ui/ui.h"
#include "scene_objects/display_frame.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"
#include "scene_objects/emitter_rollouts.h"
#include "scene_objects/ghost.h"
#include "scene_objects/vorel_strings.h"

Interface* RainParticle::editInterface = nullptr;

namespace {
// The host's "the modifier stack changed" message to the node.
constexpr RefMessage kStackChangedMessage = 261;

int TicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }

// Raises of the shared SourcesNeedRefresh so far. The first emitter to
// update after a raise lowers the shared flag and counts the raise here;
// every emitter takes up each counted raise once, so a raise reaches all of
// them and not only the first one to update.
uint32_t RefreshRaises = 0;

// The frame length in seconds.
float FrameSeconds() { return float(TicksPerFrame()) / 4800.0f; }

Point3 ToPoint(const Vec3f& v) { return Point3(v.x, v.y, v.z); }

// The base object behind a node (through derived objects), or null.
Object* BaseObjectOf(INode* node) {
  Object* o = node ? node->GetObjectRef() : nullptr;
  return o ? o->FindBaseObject() : nullptr;
}
}  // namespace

// ------------------------------------------------------------ construction

GenParticle::GenParticle()
    : ghostObjects(kMaxGhosts, nullptr), ghostNodes(kMaxGhosts, nullptr), refreshSeen_(RefreshRaises) {
  draw = RainParticleDraw(this);
  GetRainDesc()->MakeAutoParamBlocks(this);
  if (IParamBlock2* pb = pblock2) {
    // The system-wide defaults of the plug-in's ini file.
    PluginDefaults defaults;
    std::string tempDir;
    readPluginIni(defaults, tempDir);
    pb->SetValue(kEmitParticlesShown, 0, 100);
    pb->SetValue(kEmitParticlesShownInRender, 0, 100);
    pb->SetValue(kEmitRadius, 0, defaults.sourceRadius);
    pb->SetValue(kEmitEmissionRate, 0, defaults.sourceRate);
    pb->SetValue(kEmitRandomEmission, 0, 1);
    pb->SetValue(kEmitDisableSource, 0, defaults.disableSource ? 1 : 0);
    pb->SetValue(kEmitStartFrame, 0, -100);
    pb->SetValue(kEmitStopFrame, 0, 45);
    pb->SetValue(kEmitFillingPercentage, 0, kFillPercentDefault);
    pb->SetValue(kEmitParticlesFilled, 0, kFillCountDefault);
    pb->SetValue(kEmitInterParticleInteraction, 0, 1);
  }
}

GenParticle::~GenParticle() {
  // Ghosts keep a plain pointer to their parent: they must not reach it
  // once it is gone.
  for (GenGhostParticle* g : ghostObjects)
    if (g && Animatable::IsAlive(g)) g->ForgetParent(this);
  DeleteAllRefs();
}

RainParticle::RainParticle() {}

Class_ID RainParticle::ClassID() { return RainClassID(); }

const char* GenParticle::GetObjectName() {
  const char* s = VorelString(kStrEmitterClassName);
  return s ? s : "Vorel";
}

void* GenParticle::GetInterface(uint32_t id) {
  if (id == I_FLUIDSOURCE) return static_cast<FluidSource*>(this);
  return SimpleParticle::GetInterface(id);
}

void GenParticle::SetSourceFolder(const std::string& folder) {
  sourceFolder_ = folder.substr(0, std::min(folder.size(), kSourceFolderMax));
}

// ------------------------------------------------------------- edit hooks

void RainParticle::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  editInterface = ip;
  SimpleParticle::BeginEditParams(ip, flags, prev);
  PrepareEmitterRollouts(this);
  GetRainDesc()->BeginEditParams(ip, this, flags, prev);
}

void RainParticle::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  // A pick mode started from these rollouts must not outlive them.
  if (ip) ip->ClearPickMode();
  GetRainDesc()->EndEditParams(ip, this, flags, next);
  SimpleParticle::EndEditParams(ip, flags, next);
  editInterface = nullptr;
}

void GenParticle::MouseCycleStarted(TimeValue t) {
  (void)t;
  SetAFlag(kInteractiveBit);
  valid = false;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void GenParticle::MouseCycleCompleted(TimeValue t) {
  (void)t;
  ClearAFlag(kInteractiveBit);
  valid = false;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  SourcesNeedRefresh = 1;
}

void GenParticle::MapKeys(TimeMap* map, uint32_t flags) {
  (void)flags;
  if (!map || !pblock2) return;
  Interval valid;
  int life = 0;
  if (pblock2->GetValue(kEmitLifeTime, 0, life, valid))
    pblock2->SetValue(kEmitLifeTime, 0, int(map->map(TimeValue(life))));
}

void GenParticle::RescaleWorldUnits(float factor) {
  (void)factor;
  if (TestAFlag(kRescaledBit)) return;
  SetAFlag(kRescaledBit);
}

int GenParticle::GetParameterDim(int i) {
  if (i == kEmitDropSize) return 1;
  if (i == kEmitLifeTime) return 2;
  return 0;
}

std::string GenParticle::GetParameterName(int i) {
  switch (i) {
    case 0: return "Drop Size";
    case 1: return "Display type";
    case 2: return "Particle Type in Render View";
    case 3: return "Facing orientation";
    case 4: return "% Life to collapse";
    case 5: return "Minimum Neighbors to collapse";
    case 6: return "Particle size depends on the number of neighbours";
    case 7: return "Minimum Particle Size";
    case 8: return "% particles in viewport";
    case 9: return "% particles in render view";
    case 16: return "Life Time";
    default: return "";
  }
}

bool GenParticle::NormalAlignVector(TimeValue t, Point3& pt, Point3& norm) {
  (void)t;
  pt = Point3(0.0f, 0.0f, 0.0f);
  norm = Point3(0.0f, 0.0f, -1.0f);
  return true;
}

IParamBlock2* GenParticle::GetParamBlockByID(short id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

// ------------------------------------------------------------- references

RefTargetHandle GenParticle::GetReference(int i) {
  switch (i) {
    case 0: return pblock2;
    case 1: return emissionNode;
    case 2: return instanceNode;
    case 3: return mapperNode;
    default: return i >= 4 && i - 4 < kMaxGhosts ? ghostNodes[size_t(i - 4)] : nullptr;
  }
}

void GenParticle::SetReference(int i, RefTargetHandle target) {
  switch (i) {
    case 0: pblock2 = dynamic_cast<IParamBlock2*>(target); return;
    case 1: emissionNode = dynamic_cast<INode*>(target); return;
    case 2: instanceNode = dynamic_cast<INode*>(target); return;
    case 3: mapperNode = dynamic_cast<INode*>(target); return;
    default: break;
  }
  const int k = i - 4;
  if (k < 0 || k >= kMaxGhosts) return;
  INode* ghostNode = dynamic_cast<INode*>(target);
  ghostNodes[size_t(k)] = ghostNode;
  if (k >= ghostCount) ghostCount = k + 1;  // a reference added at NumRefs()
  GenGhostParticle* ghost = ghostNode ? dynamic_cast<GenGhostParticle*>(BaseObjectOf(ghostNode)) : nullptr;
  if (!ghost) return;
  ghost->BindToParent(this, k, ghostNode);
  ghostObjects[size_t(k)] = ghost;
}

bool GenParticle::AddGhostNode(INode* ghostNode) {
  if (!ghostNode || ghostCount >= kMaxGhosts) return false;
  const int slot = ghostCount;
  ReplaceReference(4 + slot, ghostNode);
  ghostCount = std::max(ghostCount, slot + 1);
  return true;
}

RefResult GenParticle::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                        RefMessage message) {
  if (message == REFMSG_CHANGE && hTarget == pblock2) {
    // Parameter edits change what is shown: rebuild the mesh on next use
    // and fetch again, even at the frame shown.
    mvalid.SetEmpty();
    RequestRefresh();
  }
  if (message == REFMSG_CHANGE && partID == PART_TM) {
    if (INode* n = dynamic_cast<INode*>(hTarget))
      if (GenGhostParticle* g = dynamic_cast<GenGhostParticle*>(BaseObjectOf(n))) g->RequestRefresh();
  }
  if (message == REFMSG_TARGET_DELETED) {
    for (int k = 0; k < ghostCount; ++k)
      if (ghostNodes[size_t(k)] == hTarget) ghostObjects[size_t(k)] = nullptr;
  }
  (void)changeInt;
  return REF_SUCCEED;
}

// ----------------------------------------------------------- save / load

IOResult GenParticle::Save(ISave* isave) {
  isave->BeginChunk(kGhostCountChunk);
  int32_t n = ghostCount;
  isave->Write(&n, 4);
  isave->EndChunk();
  return IO_OK;
}

void GenParticle::BindGhosts() {
  // The saved count is only a copy of what the references hold, and may be
  // damaged: the ghosts actually bound decide it, so that no slot stays
  // taken by nothing and no bound ghost is left out.
  int bound = 0;
  for (int k = 0; k < kMaxGhosts; ++k) {
    INode* n = ghostNodes[size_t(k)];
    GenGhostParticle* ghost = n ? dynamic_cast<GenGhostParticle*>(BaseObjectOf(n)) : nullptr;
    if (!ghost) continue;
    ghost->BindToParent(this, k, n);
    ghostObjects[size_t(k)] = ghost;
    bound = k + 1;
  }
  for (int k = bound; k < ghostCount; ++k)
    if (ghostNodes[size_t(k)]) ReplaceReference(4 + k, nullptr);
  ghostCount = bound;
}

IOResult GenParticle::Load(ILoad* iload) {
  SourcesNeedRefresh = 1;
  if (pblock2) {
    Interval valid;
    int type = 0;
    if (pblock2->GetValue(kEmitEmissionType, 0, type, valid)) lastEmissionType = type;
  }
  IOResult res;
  bool counted = false;
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() == kGhostCountChunk) {
      int32_t n = 0;
      if (iload->Read(&n, 4) != IO_OK) return IO_ERROR;
      // A damaged count must not size the reference table past the ghost
      // tables; once the references are in, the bound ghosts recount it.
      ghostCount = std::min(std::max(n, 0), kMaxGhosts);
      counted = true;
    }
    iload->CloseChunk();
  }
  if (res != IO_END) return res;
  // A loaded scene sets the emitter's ghost references before the ghost
  // nodes hold their objects: the ghosts are bound once everything is in place.
  if (counted) iload->RegisterPostLoadCallback(new MemberPostLoadCallback<GenParticle>(this, &GenParticle::BindGhosts));
  return IO_OK;
}

// ------------------------------------------------------------------ clone

ReferenceTarget* RainParticle::Clone(RemapDir& remap) {
  RainParticle* c = new RainParticle();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  c->mvalid.SetEmpty();
  c->valid = false;
  c->trajectoryGravity = trajectoryGravity;
  c->trajectory = trajectory;
  c->engine = engine;
  c->ReplaceReference(1, emissionNode);
  c->ReplaceReference(2, instanceNode);
  c->ReplaceReference(3, mapperNode);
  // The clone takes the next source slot at once; the engine counts it when
  // it is first displayed. Beyond the engine's tables it stays unbound.
  if (engine && engine->sourceCount < FluidEngine::kMaxSources && engine->sourceCount >= 0) {
    c->sourceIndex = engine->sourceCount;
    c->sourceIndexCopy = c->sourceIndex;
    engine->sourceObjects[size_t(c->sourceIndex)] = c;
    if (engine->solver) engine->solver->AddSource(Vec3f(0.0f, 0.0f, 0.0f));
  } else {
    c->engine = nullptr;
  }
  BaseClone(this, c, remap);
  return c;
}

// ------------------------------------------------------------- particles

Point3 GenParticle::ParticlePosition(TimeValue t, int i) { return SimpleParticle::ParticlePosition(t, i); }
Point3 GenParticle::ParticleVelocity(TimeValue t, int i) { return SimpleParticle::ParticleVelocity(t, i); }

TimeValue GenParticle::ParticleLife(TimeValue t, int i) {
  (void)i;
  Interval valid;
  int life = 9999;
  if (pblock2) pblock2->GetValue(kEmitLifeTime, t, life, valid);
  return TimeValue(life) * TicksPerFrame();
}

void GenParticle::ResetParticleTable(TimeValue t) {
  int n = kResetTableSize;
  if (engine && engine->solver && !engine->solver->particles.empty())
    n = int(engine->solver->particles.size());
  parts.SetCount(n);
  std::fill(parts.ages.begin(), parts.ages.end(), -1);
  tvalid = t;
  valid = true;
}

INode* GenParticle::FindOwnNode() {
  uint32_t handle = 0;
  NotifyDependents(FOREVER, PartID(&handle), REFMSG_GET_NODE_HANDLE);
  return handle ? GetCOREInterface()->GetINodeByHandle(handle) : nullptr;
}

bool StripObjectModifiers(INode* node) {
  if (!node) return false;
  bool changed = false;
  IDerivedObject* keep = nullptr;
  for (Object* o = node->GetObjectRef(); o;) {
    IDerivedObject* d = dynamic_cast<IDerivedObject*>(o);
    if (!d) break;
    Object* below = d->GetObjRef();
    if (d->IsWorldSpace()) {
      keep = d;
    } else {
      if (keep) keep->ReferenceObject(below);
      else node->SetObjectRef(below);
      changed = true;
    }
    o = below;
  }
  return changed;
}

void GenParticle::StripModifiers(INode* node) {
  if (StripObjectModifiers(node)) NotifyDependents(FOREVER, PART_ALL, kStackChangedMessage);
}

bool GenParticle::TakeRefresh() {
  if (SourcesNeedRefresh) {
    SourcesNeedRefresh = 0;
    ++RefreshRaises;
  }
  const bool wanted = refresh_ || refreshSeen_ != RefreshRaises;
  refresh_ = false;
  refreshSeen_ = RefreshRaises;
  return wanted;
}

void GenParticle::UpdateParticles(TimeValue t, INode* inode) {
  if (!engine || !engine->owner) return;
  // The node handle query does not pass through a modifier stack: the
  // node the host names, or the one the engine gave, stands in then.
  INode* own = inode ? inode : FindOwnNode();
  StripModifiers(own ? own : node);

  const int tpf = TicksPerFrame();
  const int f = t / tpf - engine->timeOffset - engine->startFrame;
  const int r = t % tpf;
  const bool interactive = TestAFlag(kInteractiveBit);
  const bool refresh = TakeRefresh();
  if (!interactive && !refresh && f == frameLastShown && r == 0) {
    tvalid = t;
    valid = true;
    return;
  }
  frameLastShown = f;
  if (tpf != storedTicksPerFrame) {
    storedTicksPerFrame = tpf;
    valid = false;
  }
  Interval iv;
  if (pblock2) pblock2->GetValue(kEmitDropSize, t, parts.size, iv);

  if (f < 0) {
    parts.SetCount(0);
    frameLastShown = -1;
    ResetParticleTable(t);
    return;
  }
  if (!valid || t < tvalid || tvalid < engine->startFrame - engine->timeOffset) ResetParticleTable(t);
  valid = true;
  if (!interactive) t -= r;

  SolvedRange range;
  range.lastSolved = engine->lastSolved;
  range.solving = engine->owner->IsSolving();
  IParamBlock2* spb = engine->owner->SystemParamBlock();
  range.action = ReadIntParam(spb, kFluidOutOfRangeAction, t, kOutOfRangeHide);
  range.loopFrames = ReadIntParam(spb, kFluidFramesToLoopFor, t, 1);
  const int F = MapEmitterFrame(engine->FrameFromTime(t) - engine->timeOffset, engine->startFrame, range);
  if (F < 0) {
    parts.SetCount(0);
    frameLastShown = -1;
    return;
  }

  std::vector<Vec3f>& pos = fetched.pos;
  std::vector<Vec3f>& vel = fetched.vel;
  std::vector<Vec3f>& surf = fetched.surf;
  std::vector<int32_t>& ages = fetched.ages;
  std::vector<int32_t>& nb = fetched.nb;
  // The engine replaces them (empty when it cannot): kept at the last
  // frame's size, they are written once rather than zeroed and written.
  // Only particles facing along their pair force read it.
  const int facing = pblock2 ? pblock2->GetInt(kEmitFacingOrientation, t) : 0;
  if (t % tpf == 0)
    engine->GetSourceParticlesAtFrame(sourceIndex, F, pos, vel, ages, surf, nb, 0, interactive, facing == 2);
  else
    engine->GetSourceParticlesAtTime(sourceIndex, t, pos, vel, ages, surf, nb, interactive, facing == 2);
  particleBox.Init();
  std::vector<Point3>& emitted = fetched.emitted;
  emitted.clear();
  Point3 emitDir;
  // The preview shows where a first release would come from; once frames
  // are solved they are what is shown, whatever the time slider's position
  // (a reset or a load puts it at the start).
  const bool preview = pblock2 && pblock2->GetInt(kEmitLodPreview, t) != 0 && engine->lastSolved <= 0;
  if (preview) engine->GetSourceEmitterPoints(sourceIndex, emitted, emitDir);
  mvalid.SetEmpty();

  const int n = int(pos.size());
  parts.SetCount(n);
  if (n > 0) {
    const float frameLen = FrameSeconds();
    for (int i = 0; i < n; ++i) {
      const Point3 p = ToPoint(pos[size_t(i)]);
      parts.points[size_t(i)] = p;
      particleBox += p;
      const Vec3f& dir = (facing == 2 && i < int(surf.size())) ? surf[size_t(i)]
                         : (i < int(vel.size()) ? vel[size_t(i)] : Vec3f());
      parts.vels[size_t(i)] = ToPoint(dir).Normalize() * frameLen;
      const int age = i < int(ages.size()) ? ages[size_t(i)] : -1;
      parts.ages[size_t(i)] = age > 9999 ? -1 : age;
    }
    // The counts change hands rather than being copied; the engine replaces
    // what nb holds next time.
    if (nb.size() > size_t(n)) nb.resize(size_t(n));
    neighbourCounts.swap(nb);
  } else {
    neighbourCounts.clear();
  }
  if (!emitted.empty() && !interactive) {
    const Point3 v = emitDir * FrameSeconds();
    parts.points.insert(parts.points.end(), emitted.begin(), emitted.end());
    parts.vels.resize(parts.vels.size() + emitted.size(), v);
    parts.ages.resize(parts.ages.size() + emitted.size(), 0);
  }
  if (F < int(engine->frameClipBox.size())) engine->frameClipBox[size_t(F)] += particleBox;
  tvalid = t;
  frameLastShown = F;
}

// ---------------------------------------------------------------- creation

int EmitterCreateCallback::proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) {
  (void)flags;
  if (!vpt) return CREATE_ABORT;
  if (msg == MOUSE_FREEMOVE) {
    IPoint2 snapped;
    vpt->SnapPreview(m, snapped);
    return CREATE_CONTINUE;
  }
  if (msg == MOUSE_ABORT) return CREATE_ABORT;
  if (msg != MOUSE_POINT && msg != MOUSE_MOVE) return CREATE_CONTINUE;
  if (point == 0) {
    start_ = m;
    IPoint2 snapped;
    startPoint_ = vpt->SnapPoint(m, snapped);
    mat.IdentityMatrix();
    mat.SetTrans(startPoint_);
    return CREATE_CONTINUE;
  }
  IPoint2 snapped;
  const Point3 p = vpt->SnapPoint(m, snapped);
  mat.IdentityMatrix();
  mat.SetTrans((startPoint_ + p) * 0.5f);
  if (msg == MOUSE_POINT) {
    const int dx = m.x - start_.x, dy = m.y - start_.y;
    if (dx * dx + dy * dy < 9 || (p - startPoint_).Length() < 0.1f) return CREATE_ABORT;
    return CREATE_STOP;
  }
  return CREATE_CONTINUE;
}

CreateMouseCallBack* GenParticle::GetCreateMouseCallBack() {
  static EmitterCreateCallback callback;
  return &callback;
}
