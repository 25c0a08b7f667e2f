// FluidEngine: the frame solve driver (sources, colliders, space-warp
// forces, the sub-step loop) and the collider and force gathering.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "fill_geometry/hilera.h"
#include "fluid_core/emission_layers.h"
#include "fluid_core/engine.h"
#include "fluid_core/host_link.h"
#include "host/core/clock.h"

namespace {
// What a frame reads of one source at its start.
struct SourceFrameParams {
  float radius = 0.0f, rate = 0.0f, thickness = 5.0f, lod = 6.0f;
  int rateVariation = 0, randomEmission = 1, particlesFilled = 0, startFrame = -100, stopFrame = 45;
  int emissionType = 0, disable = 0, lifeTime = 9999, interaction = 1;
  int overrideParams = 0;
  float friction = 0.0f, adherence = 0.0f, collisionGap = 0.0f, bounce = 0.0f, gravity = 0.0f;
};

void ReadOverrides(IParamBlock2* pb, TimeValue t, SourceFrameParams& s) {
  s.overrideParams = ReadIntParam(pb, kEmitOverrideObjParams, t, 0);
  s.friction = ReadFloatParam(pb, kEmitSourceFriction, t, 0.0f);
  s.adherence = ReadFloatParam(pb, kEmitSourceAdherence, t, 0.0f);
  s.collisionGap = ReadFloatParam(pb, kEmitSourceCollisionGap, t, 0.0f);
  s.bounce = ReadFloatParam(pb, kEmitSourceBounce, t, 0.0f);
  s.gravity = ReadFloatParam(pb, kEmitSourceGravity, t, 0.0f);
}

SourceFrameParams ReadFrameParams(IParamBlock2* pb, TimeValue t) {
  SourceFrameParams s;
  s.radius = ReadFloatParam(pb, kEmitRadius, t, s.radius);
  s.rate = ReadFloatParam(pb, kEmitEmissionRate, t, s.rate);
  s.rateVariation = ReadIntParam(pb, kEmitRateVariation, t, 0);
  s.thickness = ReadFloatParam(pb, kEmitThickness, t, s.thickness);
  s.randomEmission = ReadIntParam(pb, kEmitRandomEmission, t, 1);
  s.particlesFilled = ReadIntParam(pb, kEmitParticlesFilled, t, 0);
  s.startFrame = ReadIntParam(pb, kEmitStartFrame, t, s.startFrame);
  s.stopFrame = ReadIntParam(pb, kEmitStopFrame, t, s.stopFrame);
  s.emissionType = ReadIntParam(pb, kEmitEmissionType, t, 0);
  s.lod = ReadFloatParam(pb, kEmitSourceLod, t, s.lod);
  s.disable = ReadIntParam(pb, kEmitDisableSource, t, 0);
  s.lifeTime = ReadIntParam(pb, kEmitLifeTime, t, s.lifeTime);
  s.interaction = ReadIntParam(pb, kEmitInterParticleInteraction, t, 1);
  ReadOverrides(pb, t, s);
  return s;
}

void ApplyOverrides(SolverSource& rec, const SourceFrameParams& s) {
  rec.overridesObjectParams = s.overrideParams;
  if (s.overrideParams) {
    rec.friction = s.friction;
    rec.adherence = s.adherence;
    rec.bounce = s.bounce;
    rec.collisionGap = s.collisionGap;
    rec.gravity = s.gravity;
  }
}

// A source node's transform as the solver takes it: scale-free rows with the
// emission direction (normalised cross of the first two) as the third, and
// the translation in solver units (invScale: the system's InvFrameScale).
struct SourcePlacement {
  float tm[12];
  Vec3f position, direction;
};
SourcePlacement PlaceSource(INode* node, TimeValue t, float invScale) {
  Matrix3 m = node->GetObjectTM(t);
  Point3 dir = CrossProd(m.GetRow(0), m.GetRow(1));
  const float len = dir.Length();
  dir = len > 0.0f ? dir / len : Point3(0.0f, 0.0f, 0.0f);
  m.NoScale();
  m.SetRow(2, dir);
  SourcePlacement p;
  for (int r = 0; r < 3; ++r) {
    const Point3 row = m.GetRow(r);
    p.tm[3 * r] = row.x;
    p.tm[3 * r + 1] = row.y;
    p.tm[3 * r + 2] = row.z;
  }
  const Point3 pos = m.GetTrans() * invScale;
  p.tm[9] = pos.x;
  p.tm[10] = pos.y;
  p.tm[11] = pos.z;
  p.position = Vec3f(pos.x, pos.y, pos.z);
  p.direction = Vec3f(dir.x, dir.y, dir.z);
  return p;
}

// Once per solve and spacing in use: a collision gap beyond the collision
// reach, and the gap the particles keep instead. `what` names whose gap.
void NoteGapLimit(FluidEngine& e, const std::string& what, float gap) {
  std::vector<float> spacings;
  for (int i = 0; i < e.sourceCount && i < FluidEngine::kMaxSources; ++i)
    if (e.SlotUsable(i) && size_t(i) < e.solver->sources.size() && e.solver->sources[size_t(i)])
      spacings.push_back(e.solver->sources[size_t(i)]->spacing);
  if (spacings.empty()) spacings.push_back(e.solver->h);
  for (float s : spacings) {
    const float kept = FluidSolver::ContactGap(gap, s);
    if (!(gap > kept) || kept < FluidSolver::CollisionReach(s)) continue;
    char text[400];
    std::snprintf(text, sizeof text,
                  "%s %.4g is beyond the collision reach of LOD %.4g particles: they keep %.4g from it",
                  what.c_str(), double(gap), double(1.0f / s), double(kept));
    e.LogNote(text);
  }
}

// Once per solve: a source that would emit but whose emission shape holds
// no point of the emission lattice at its LOD, and how large it must be.
void NoteSourceEmitsNothing(FluidEngine& e, int i, const SourceFrameParams& s, const Hileras* rows) {
  char key[300];
  std::snprintf(key, sizeof key, "%s emits nothing at Radius %g, LOD %g", e.sourceNodes[i]->GetName(),
                double(s.radius), double(s.lod));
  if (e.Noted(key)) return;
  const double spacing = 1.0 / s.lod;
  const double k = SmallestEmittingScale(rows, 0.45 * spacing, 0.0001 * spacing, 1000.0);
  char text[400];
  if (k > 0.0 && s.emissionType == kEmissionCircle)
    std::snprintf(text, sizeof text,
                  "%s emits nothing: its Radius %g is smaller than one emission step at LOD %g; "
                  "the smallest Radius that emits at LOD %g is %.3g",
                  e.sourceNodes[i]->GetName(), double(s.radius), double(s.lod), double(s.lod),
                  std::ceil(double(s.radius) * k * 1000.0) / 1000.0);
  else if (k > 0.0)
    std::snprintf(text, sizeof text,
                  "%s emits nothing: its shape is smaller than one emission step at LOD %g; "
                  "it emits at LOD %g when %.3g times as large",
                  e.sourceNodes[i]->GetName(), double(s.lod), double(s.lod), k);
  else
    std::snprintf(text, sizeof text, "%s emits nothing: its shape bounds no emission point at LOD %g",
                  e.sourceNodes[i]->GetName(), double(s.lod));
  e.LogNote(text, true, key);
}

float EmissionStrength(float rate) { return 0.5f * rate * rate * 1000.0f; }

// Sub-steps are never shorter than this share of the frame: a collision
// limit that keeps shrinking the step would otherwise run the frame forever.
constexpr double kMinStepShare = 1e-4;
constexpr double kMaxSubSteps = 1e7;
}  // namespace

bool FluidEngine::ScaleChangedSinceSolve() const {
  if (lastSolved < 0 || !(cacheScale > 0.0f)) return false;
  const float now = FrameScale();
  if (std::fabs(now - cacheScale) <= 1e-6f * std::max(now, cacheScale)) return false;
  // Empty frames hold nothing of any scale.
  for (int i = 0; i <= lastSolved && i < kMaxFrames; ++i)
    if (frameParticleCount[size_t(i)] > 0) return true;
  return false;
}

std::string FluidEngine::ScaleChangeText() const {
  char text[160];
  const double from = cacheScale / kDefaultFrameScale, to = FrameScale() / kDefaultFrameScale;
  std::snprintf(text, sizeof text, "the Scale changed from %g to %g after frames were solved at %g", from, to,
                from);
  return text;
}

bool FluidEngine::SolveFrame(int n) {
  if (n < 0 || n >= kMaxFrames || solving_) return false;
  solveFailure.clear();
  solver->refusedEmission = 0;
  if (n > 0 && ScaleChangedSinceSolve()) {
    solveFailure = ScaleChangeText() + "; solve again from the start, or set Scale back";
  } else {
    cacheLock_.Acquire(solver->frameCache.SystemFolder(), solveFailure);
  }
  if (!solveFailure.empty()) {
    // Nothing of this frame is solved or written: the run stops here.
    SolveStopFlag = 1;
    ShowTempPrompt(("Vorel-> The solve stopped: " + solveFailure).c_str(), kFailurePromptMs);
    return true;
  }
  // A run keeps the folder locked from frame to frame; a frame solved on
  // its own gives it back at once.
  struct Unlock {
    FluidEngine& e;
    ~Unlock() {
      if (!e.owner || !e.owner->IsSolving()) e.ReleaseCacheFolder();
    }
  } unlock{*this};
  try {
    return SolveFrameSteps(n);
  } catch (const std::bad_alloc&) {
    // What the failed step built is dropped with the frame: the solver
    // goes back to the last frame on disk, and the host and the scene go on
    // with the memory that the step's lists took given back.
    solver->ReleaseStepStorage();
    char text[160];
    std::snprintf(text, sizeof text, "out of memory at frame %d with %d particles", n, solver->count);
    solveFailure = text;
  }
  try {
    return EndSolve();
  } catch (const std::bad_alloc&) {
    // Not even the last frame fits now: the solver is left as the failed
    // step left it, and the next run starts from the frame on disk again.
    SolveStopFlag = 1;
    if (owner) owner->SetSolveRunning(false);
    solving_ = false;
    return true;
  }
}

bool FluidEngine::EndSolve() {
  SolveStopFlag = 1;
  solving_ = false;
  if (lastSolved >= 0) RestartFromFrame(lastSolved);
  if (owner) owner->SetSolveRunning(false);
  return true;
}

bool FluidEngine::SolveFrameSteps(int n) {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  const int T = ip->GetTicksPerFrame();
  const int h0 = t / T;
  double dt = T / 4800.0;
  IParamBlock2* spb = owner ? owner->SystemParamBlock() : nullptr;
  gravity = ReadFloatParam(spb, kFluidGravity, t, gravity);
  const int M = std::max(1, std::min(50, ReadIntParam(spb, kFluidSubSample, t, 1)));
  solving_ = true;
  if (owner) owner->SetSolveRunning(true);
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  while ((int)solver->sources.size() < sourceCount) solver->AddSource(Vec3f());
  // A frame file that cannot be written ends the run here: lastSolved keeps
  // naming the last frame on disk and the solver goes back to it, so a later
  // run solves the lost frame again instead of taking it as done.
  auto stopOnFailedWrite = [this]() { return EndSolve(); };

  // Frame set-up of the sources.
  auto setupStart = std::chrono::steady_clock::now();
  std::vector<SourceFrameParams> params(size_t(std::max(sourceCount, 0)));
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    SolverSource& rec = *solver->sources[size_t(i)];
    if (!SlotUsable(i)) {
      rec.pressure = 0.0f;
      continue;
    }
    FluidSource* src = sourceObjects[i];
    INode* node = sourceNodes[i];
    IParamBlock2* pb = src->SourceParamBlock();
    SourceFrameParams& s = params[size_t(i)];
    s = ReadFrameParams(pb, t);
    float E = EmissionStrength(s.rate);
    src->node = node;
    // A shape edited since the emitter was last evaluated (a Radius set
    // before GO!) would otherwise emit this frame from its old outline.
    if (s.emissionType == kEmissionCircle || s.emissionType == kEmissionShape) node->EvalWorldState(t);
    src->emissionType = s.emissionType;
    src->gravity = gravity;
    const uint8_t changed = src->changed;
    src->changed = 0;
    const float rateVariation = float(s.rateVariation) * 0.01f;
    const uint32_t tag = node->GetHandle();
    const SourcePlacement place = PlaceSource(node, t - T, InvFrameScale());
    if (s.emissionType == 2 && src->HasPickedObject() && E != 0.0f && src->fillPending &&
        (isHoldingTime || n != 0)) {
      src->fillPending = 0;
      src->SetFillSpinnersEnabled(false);
      const int p = std::max(0, n - 1);
      if (s.particlesFilled != 0) {
        const std::vector<Vec3f>& fill = src->FillPoints();
        const int m = std::min<int>(s.particlesFilled, int(fill.size()));
        solver->AddParticles(s.lod, tag, fill, m, float(solverClock), i, uint8_t(s.interaction));
        frameParticleCount[size_t(p)] = solver->count;
        if (SaveFrame(p) == 0) {
          src->fillPending = 1;  // the restart below drops the fill again
          src->SetFillSpinnersEnabled(true);
          return stopOnFailedWrite();
        }
      }
      E = 0.0f;
    }
    if (s.emissionType == 3 && E != 0.0f) {
      solver->ReadSourceFile(s.lod, float(solverClock), n, i, src->SourceFileFolder());
      E = 0.0f;
    }
    solver->PrepareSourceForFrame(rec, s.thickness, s.lod, tag, place.position, place.direction, E,
                                  float(dt), i, place.tm, s.randomEmission, src->ShapeRows(),
                                  changed, s.lifeTime, rateVariation, uint8_t(s.interaction));
    ApplyOverrides(rec, s);
    const bool shaped = s.emissionType == kEmissionCircle || s.emissionType == kEmissionShape;
    const Hileras* rows = src->ShapeRows();
    if (E > 0.0f && shaped && rows && rows->Count() > 0 && rec.layerPointCounts[0] == 0 &&
        rec.layerPointCounts[1] == 0)
      NoteSourceEmitsNothing(*this, i, s, rows);
    if (s.overrideParams)
      NoteGapLimit(*this, std::string("Source collision gap of \"") + node->GetName() + "\"", s.collisionGap);
  }
  timings.sources += std::chrono::duration<double>(std::chrono::steady_clock::now() - setupStart).count();

  BuildColliderMeshes();
  UpdateClipBox();
  UpdateTextureGizmo();

  const double frameT = FrameTime(n);
  double clock = solverClock;
  if (!(frameT == solverClock && !isHoldingTime)) {
    if (!isHoldingTime) dt = frameT - solverClock;
    if (dt > 0.0) solver->frameLength = float(dt);
    SolveStopFlag = 0;
    if (owner) owner->SetSolveProgress(0, 1, 24);
    const double target = frameT + (isHoldingTime ? dt : 0.0);
    int k = 0;
    bool first = true;
    std::vector<Vec3f> forces;
    if (target >= clock) {
      do {
        double h = (solver->count > 0 ? double(solver->MaxStableStep()) : dt * 0.5) / M;
        const double floorStep = std::max(std::fabs(dt) * kMinStepShare, 1e-9);
        if (!(h >= floorStep)) h = floorStep;
        const int q = int(std::max(1.0, std::min(kMaxSubSteps, std::floor(dt / h))));
        const double clock1 = clock + h;
        ++k;
        {
          ScopedSeconds timed(timings.forces);
          ComputeSpaceWarpForces(forces, t);
        }
        const bool subSample = ((k - 1) % M) != 0;
        if (owner) owner->SetSolveProgress(k, 1, q);
        UpdateColliderMeshes(TimeValue(int64_t(h0) * T - int64_t(std::floor((target - clock1) * 4800.0))));
        for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
          if (!SlotUsable(i)) continue;
          SolverSource& rec = *solver->sources[size_t(i)];
          IParamBlock2* pb = sourceObjects[i]->SourceParamBlock();
          const TimeValue ts = TimeValue(int64_t(k) * T / q) - T + t;
          const SourcePlacement place = PlaceSource(sourceNodes[i], ts, InvFrameScale());
          SourceFrameParams s;
          const float rate = ReadFloatParam(pb, kEmitEmissionRate, ts, 0.0f);
          s.disable = ReadIntParam(pb, kEmitDisableSource, t, 0);
          s.emissionType = ReadIntParam(pb, kEmitEmissionType, t, 0);
          ReadOverrides(pb, t, s);
          s.startFrame = ReadIntParam(pb, kEmitStartFrame, t, s.startFrame);
          s.stopFrame = ReadIntParam(pb, kEmitStopFrame, t, s.stopFrame);
          float E = EmissionStrength(rate);
          if (s.disable || s.emissionType == 2 || s.emissionType == 3 || h0 >= s.stopFrame ||
              h0 < s.startFrame)
            E = 0.0f;
          solver->UpdateSourceSubStep(rec, place.tm, place.direction, place.position, float(h), E);
          ApplyOverrides(rec, s);
        }
        bool ok = false;
        {
          ScopedSeconds timed(timings.solver);
          ok = solver->Step(float(clock), float(clock1), forces, gravity, subSample, first);
        }
        ++timings.substeps;
        if (solver->refusedEmission > 0) {
          char text[200];
          std::snprintf(text, sizeof text,
                        "emission of %lld particles in one step at frame %d does not fit: the solver holds "
                        "%lld particles at most and has %d",
                        (long long)solver->refusedEmission, n, (long long)solver->particleCap, solver->count);
          solveFailure = text;
          return EndSolve();
        }
        if (!ok) SolveStopFlag = 1;
        first = false;
        // A step that did not finish integrated nothing: its time is not taken.
        if (ok) clock = clock1;
        if (owner)
          owner->SetSolveElapsedText(
              FormatElapsedMs((long long)GetTickCount() - (long long)owner->SolveStartClock()).c_str());
        solverClock = clock;
        if (SolveStopFlag || solver_host::AbortRequested()) {
          SolveStopFlag = 1;
          if (owner) owner->SetSolveRunning(false);
          break;
        }
      } while (target >= clock);
    }

    if (solver->badStepLimits > 0) {
      // A step limit that is NaN or negative comes from a fault in a pass
      // that bounds the step; the solve goes on without it, but says so.
      LogNote("Step limit fault: a particle's step limit was not a number or negative and was left out");
    }
    if (isHoldingTime || solverClock >= frameT) {
      if (!isHoldingTime) solver->AgeParticles();
      frameParticleCount[size_t(n)] = solver->count;
      if (SaveFrame(n) == 0) return stopOnFailedWrite();
    }
    if (solverClock < frameT) {
      if (owner) owner->SetSolveRunning(false);
      solving_ = false;
      return true;
    }
  } else {
    // Nothing to simulate (the first frame): its file, which the reset
    // wrote, may have failed then; a frame taken as solved must be on disk.
    ParticleFrameHeader h;
    if (!solver->frameCache.ReadHeader(n, h)) {
      frameParticleCount[size_t(n)] = solver->count;
      if (SaveFrame(n) == 0) return stopOnFailedWrite();
    }
  }
  ApplySourceMapping();
  if (isHoldingTime) clock = frameT;
  solverClock = clock;
  lastSolved = n;
  if (owner) owner->SetSolveRunning(false);
  solving_ = false;
  return true;
}

// ---------------------------------------------------------------------------
// Colliders

void ComputeFaceNormalSpeeds(ColliderMesh& K, int ticksPerFrame) {
  const int nf = K.FaceCount();
  const int nv = int(std::min(K.mesh.vertices.size(), K.mesh.secondVertices.size()));
  K.faceNormalSpeed.assign(size_t(nf), 0.0f);
  if (int(K.faceNormal.size()) < nf || ticksPerFrame <= 0) return;
  const float perSecond = 3600.0f / float(ticksPerFrame);
  for (int f = 0; f < nf; ++f) {
    const MeshFace& face = K.mesh.faces[size_t(f)];
    if (face[0] < 0 || face[1] < 0 || face[2] < 0 || face[0] >= nv || face[1] >= nv || face[2] >= nv)
      continue;
    Point3 c0(0.0f, 0.0f, 0.0f), c1(0.0f, 0.0f, 0.0f);
    for (int c = 0; c < 3; ++c) {
      c0 += K.mesh.vertices[size_t(face[c])];
      c1 += K.mesh.secondVertices[size_t(face[c])];
    }
    const Point3 move = (c1 * 0.33333f) - (c0 * 0.33333f);
    const Vec3f& n = K.faceNormal[size_t(f)];
    K.faceNormalSpeed[size_t(f)] = (move.x * n.x + move.y * n.y + move.z * n.z) * perSecond;
  }
}

namespace {
// How far from a face a particle can still feel it: the collision reach of
// the largest particle spacing plus the largest collision gap. The face
// boxes are grown by it, otherwise a flat face (a box of no thickness) would
// never see a particle.
float CollisionMargin(const FluidSolver& solver, float colliderGap) {
  float spacing = solver.h;
  float gap = colliderGap;
  for (const SolverSource* s : solver.sources) {
    if (!s) continue;
    spacing = std::max(spacing, s->spacing);
    if (s->overridesObjectParams) gap = std::max(gap, s->collisionGap);
  }
  return 1.01f * (FluidSolver::CollisionReach(spacing) + FluidSolver::ContactGap(gap, spacing));
}


void ClearColliders(FluidSolver& solver) {
  for (ColliderMesh* c : solver.colliders) {
    if (!c) continue;
    c->FreeArrays();
    delete c;
  }
  solver.colliders.clear();
}
}  // namespace

void FluidEngine::BuildColliderMeshes() { BuildColliders(GetCOREInterface()->GetTime(), false); }

void FluidEngine::UpdateColliderMeshes(TimeValue tick) { BuildColliders(tick, true); }

void FluidEngine::BuildColliders(TimeValue tick, bool withMotion) {
  ScopedSeconds timed(timings.colliders);
  Interface* ip = GetCOREInterface();
  const int T = ip->GetTicksPerFrame();
  // The face indexes go to the new meshes in list order: one built from the
  // same face boxes (a collider that did not move) is kept rather than
  // built again every sub-step.
  std::vector<ColliderMesh::FaceIndex> indexes;
  for (ColliderMesh* c : solver->colliders)
    if (c) indexes.push_back(std::move(c->faceIndex));
  ClearColliders(*solver);
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return;
  std::vector<INode*> nodes;
  CollectMeshNodes(ip->GetRootNode(), nodes);
  for (INode* node : nodes) {
    if (node == systemNode) continue;
    const Matrix3 tm = node->GetObjectTM(tick);
    if (IsSystemNodeName(node->GetName())) continue;
    ObjectParams op;
    if (!access->GetObjectParams(node, op) || op.collide == 0) continue;
    NoteGapLimit(*this, std::string("Collision gap of \"") + node->GetName() + "\"", op.collisionGap);
    Object* evaluated = node->EvalWorldState(tick).obj;
    if (!evaluated) continue;
    TriObject* tri = dynamic_cast<TriObject*>(evaluated->ConvertToType(tick, triObjectClassID()));
    if (!tri) continue;
    ColliderMesh* K = new ColliderMesh();
    K->collide = op.collide;
    K->friction = op.friction;
    K->bounce = op.bounce;
    K->collisionGap = op.collisionGap;
    K->adherence = op.adherence;
    K->particleKiller = op.partKiller ? 1 : 0;
    const Mesh& m = tri->mesh;
    const int nv = m.getNumVerts();
    K->mesh.vertices.resize(size_t(nv));
    for (int v = 0; v < nv; ++v) K->mesh.vertices[size_t(v)] = tm.PointTransform(m.verts[size_t(v)]) * InvFrameScale();
    K->mesh.faces.reserve(size_t(m.getNumFaces()));
    for (const Face& f : m.faces) K->mesh.faces.push_back({int32_t(f.v[0]), int32_t(f.v[1]), int32_t(f.v[2])});
    K->ComputeFaceData(CollisionMargin(*solver, op.collisionGap));
    const int nf = K->FaceCount();
    K->faceNormalSpeed.assign(size_t(nf), 0.0f);
    if (withMotion) {
      const Matrix3 next = node->GetObjectTM(tick + T);
      K->mesh.secondVertices.resize(size_t(nv));
      for (int v = 0; v < nv; ++v)
        K->mesh.secondVertices[size_t(v)] = next.PointTransform(m.verts[size_t(v)]) * InvFrameScale();
      ComputeFaceNormalSpeeds(*K, T);
    }
    ReleaseTriObject(evaluated, tri);
    if (solver->colliders.size() < indexes.size()) K->faceIndex = std::move(indexes[solver->colliders.size()]);
    solver->colliders.push_back(K);
  }
}

// ---------------------------------------------------------------------------
// Space-warp forces

void CollectForceFields(INode* node, std::vector<ForceField*>& list) {
  list.clear();
  if (!node) return;
  const TimeValue now = GetCOREInterface()->GetTime();
  Object* obj = node->GetObjectRef();
  while (obj) {
    const Class_ID cid = obj->ClassID();
    if (cid != derivObjClassID() && cid != WSMDerivObjClassID()) break;
    IDerivedObject* derived = static_cast<IDerivedObject*>(obj);
    if (cid == WSMDerivObjClassID()) {
      for (int m = 0; m < derived->NumModifiers(); ++m) {
        SimpleWSMMod* mod = dynamic_cast<SimpleWSMMod*>(derived->GetModifier(m));
        if (!mod) continue;
        WSMObject* warp = mod->GetWSMObject(now);
        if (!warp) continue;
        INode* warpNode = mod->nodeRef;
        if (!warpNode) continue;
        if (ForceField* ff = warp->GetForceField(warpNode)) list.push_back(ff);
      }
    }
    obj = derived->GetObjRef();
  }
}

void FluidEngine::ComputeSpaceWarpForces(std::vector<Vec3f>& forces, TimeValue t) {
  const int count = solver->count;
  // Every entry is written: a particle whose source lost its node or its
  // warps gets no force, never one left from an earlier sub-step.
  forces.assign(size_t(std::max(count, 0)), Vec3f());
  const int T = GetCOREInterface()->GetTicksPerFrame();
  const float scale = float(T) * 200000.0f;
  const float S = FrameScale();
  std::vector<ForceField*> fields;
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    if (!sourceNodes[i]) continue;
    CollectForceFields(sourceNodes[i], fields);
    if (fields.empty()) continue;
    for (int j = 0; j < count; ++j) {
      const FluidParticle& p = solver->particles[size_t(j)];
      if (p.sourceIndex != i) continue;
      const Point3 pos(p.pos.x * S, p.pos.y * S, p.pos.z * S);
      const Point3 vel(p.vel.x * S, p.vel.y * S, p.vel.z * S);
      Point3 F(0.0f, 0.0f, 0.0f);
      for (ForceField* ff : fields) F += ff->Force(t, pos, vel, j) * scale;
      forces[size_t(j)] = Vec3f(F.x, F.y, F.z) * InvFrameScale();
    }
    // The fields were made for this pass; their holder deletes them.
    for (ForceField* ff : fields) ff->DeleteThis();
    fields.clear();
  }
}
