// FluidEngine: the frame solve driver (sources, colliders, space-warp
// forces, the sub-step loop) and the collider and force gathering.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// Once per solve and spacing in use: collision gaps beyond the collision
// reach, and the gap the particles keep instead. `what` says whose gaps
// ("Collision gap"); `gaps` holds each object's name and gap. Objects of
// one gap make one line that names the first and counts the others: a scene
// of a hundred colliders would otherwise write a hundred lines alike.
void NoteGapLimits(FluidEngine& e, const std::string& what,
                   const std::vector<std::pair<std::string, float>>& gaps) {
  std::vector<float> spacings;
  for (int i = 0; i < e.sourceCount && i < FluidEngine::kMaxSources; ++i)
    if (e.SlotUsable(i) && size_t(i) < e.solver->sources.size() && e.solver->sources[size_t(i)])
      spacings.push_back(e.solver->sources[size_t(i)]->spacing);
  if (spacings.empty()) spacings.push_back(e.solver->h);
  // Groups of equal gaps, in the order their first object came.
  std::vector<std::pair<float, std::vector<const std::string*>>> groups;
  for (const auto& g : gaps) {
    auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& x) { return x.first == g.second; });
    if (it == groups.end()) groups.push_back({g.second, {&g.first}});
    else it->second.push_back(&g.first);
  }
  for (const auto& group : groups) {
    const float gap = group.first;
    const size_t others = group.second.size() - 1;
    const std::string who = what + " of \"" + *group.second.front() + "\"" +
                            (others > 0 ? " and " + std::to_string(others) + " more object" +
                                              (others > 1 ? "s" : "") + " alike"
                                        : std::string());
    for (float s : spacings) {
      const float kept = FluidSolver::ContactGap(gap, s);
      if (!(gap > kept) || kept < FluidSolver::CollisionReach(s)) continue;
      char text[600];
      std::snprintf(text, sizeof text,
                    "%s %.4g is beyond the collision reach of LOD %.4g particles: they keep %.4g from it",
                    who.c_str(), double(gap), double(1.0f / s), double(kept));
      e.LogNote(text);
    }
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
  char text[400];
  // A shape that no size makes emit says what is wrong with it.
  if (const char* why = EmissionRefusalReason(rows, 0.45 * spacing, 0.0001 * spacing)) {
    std::snprintf(text, sizeof text, "%s emits nothing at LOD %g: %s", e.sourceNodes[i]->GetName(),
                  double(s.lod), why);
    e.LogNote(text, true, key);
    return;
  }
  const double k = SmallestEmittingScale(rows, 0.45 * spacing, 0.0001 * spacing, 1000.0);
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

// A shape whose every emission point lies outside the clip box emits
// particles that the solver drops at once: the log says so.
void NoteShapeOutsideClipBox(FluidEngine& e, int i) {
  const SolverSource& rec = *e.solver->sources[size_t(i)];
  const float* tm = rec.tm;
  const Vec3f lo = e.solver->domainMin, hi = e.solver->domainMax;
  for (const Vec3f& q : rec.emissionPoints) {
    const Vec3f p(q.x * tm[0] + q.y * tm[3] + q.z * tm[6] + tm[9], q.x * tm[1] + q.y * tm[4] + q.z * tm[7] + tm[10],
                  q.x * tm[2] + q.y * tm[5] + q.z * tm[8] + tm[11]);
    if (p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z) return;
  }
  char key[300];
  std::snprintf(key, sizeof key, "%s emits outside the clip box", e.sourceNodes[i]->GetName());
  if (e.Noted(key)) return;
  char text[400];
  std::snprintf(text, sizeof text, "%s emits nothing: its shape lies outside the clip box (%s)",
                e.sourceNodes[i]->GetName(), kClipBoxNodeName);
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

bool FluidEngine::ShapesFitTheSolver(const std::vector<std::pair<int, double>>& shapeSpeeds, int n,
                                     double seconds) {
  if (!(seconds > 0.0)) return true;
  // Each sub-step emits the source's two lattice layers once for every
  // 2.4 emission steps the jet travels: the frame's share follows from the
  // jet's speed. Large shapes fail here whole, before any sub-step has
  // emitted part of the frame or taken memory for it.
  double total = double(solver->count);
  for (const auto& [i, speed] : shapeSpeeds) {
    const SolverSource& rec = *solver->sources[size_t(i)];
    const double period = 2.4 * double(rec.spacing);
    if (!(period > 0.0)) continue;
    const double wanted = std::floor(double(rec.emissionPoints.size()) * speed * seconds / period);
    total += wanted;
    if (!(total > double(solver->particleCap))) continue;
    char text[400];
    std::snprintf(text, sizeof text,
                  "%s would emit %.0f particles in frame %d: with the %d held, more than the %lld particles "
                  "the solver holds at most",
                  sourceNodes[i]->GetName(), std::min(wanted, 1e18), n, solver->count,
                  (long long)solver->particleCap);
    solveFailure = text;
    return false;
  }
  return true;
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
  std::vector<int> emittingShapes;  // checked against the clip box below
  std::vector<SourceFrameParams> params(size_t(std::max(sourceCount, 0)));
  std::vector<std::pair<int, Vec3f>> emitting;  // sources that emit this frame, and where
  std::vector<std::pair<int, double>> shapeSpeeds;  // shaped sources in their window, and their jet speed
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
    if (E > 0.0f && shaped) emitting.push_back({i, place.position});
    if (E > 0.0f && shaped && !s.disable && h0 < s.stopFrame && h0 >= s.startFrame)
      shapeSpeeds.push_back({i, std::sqrt(double(E) / solver->restDensity * 2.0)});
    const Hileras* rows = src->ShapeRows();
    if (E > 0.0f && shaped && rows && rows->Count() > 0 && rec.layerPointCounts[0] == 0 &&
        rec.layerPointCounts[1] == 0)
      NoteSourceEmitsNothing(*this, i, s, rows);
    else if (E > 0.0f && shaped && !rec.emissionPoints.empty())
      emittingShapes.push_back(i);
    if (s.overrideParams)
      NoteGapLimits(*this, "Source collision gap", {{node->GetName(), s.collisionGap}});
  }
  timings.sources += std::chrono::duration<double>(std::chrono::steady_clock::now() - setupStart).count();

  BuildColliderMeshes();
  UpdateClipBox();
  UpdateTextureGizmo();
  for (const auto& e : emitting) NoteContainerTooSmall(e.first, e.second);
  for (int i : emittingShapes) NoteShapeOutsideClipBox(*this, i);

  const double frameT = FrameTime(n);
  if (!ShapesFitTheSolver(shapeSpeeds, n, isHoldingTime ? dt : frameT - solverClock)) return EndSolve();
  double clock = solverClock;
  if (!(frameT == solverClock && !isHoldingTime)) {
    if (!isHoldingTime) dt = frameT - solverClock;
    if (dt > 0.0) solver->frameLength = float(dt);
    SolveStopFlag = 0;
    if (owner) owner->SetSolveProgress(0, 1, 24);
    const double target = frameT + (isHoldingTime ? dt : 0.0);
    int k = 0;
    bool first = true;
    // The forces' room is kept from frame to frame (taken fresh, its
    // megabytes cost a page fault a page).
    std::vector<Vec3f>& forces = stepForces_;
    // The warps bound to the sources cannot change within the frame: looked
    // up once. Without any, every force is zero and the vector only grows
    // with the particles, instead of being computed afresh every sub-step.
    bool warps = false;
    {
      ScopedSeconds timed(timings.forces);
      warps = HasSpaceWarps();
      if (!warps) std::fill(forces.begin(), forces.end(), Vec3f());  // a warp's forces of a frame before
    }
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
          if (warps)
            ComputeSpaceWarpForces(forces, t);
          else
            forces.resize(size_t(std::max(solver->count, 0)));  // entries added are zero
        }
        const bool subSample = ((k - 1) % M) != 0;
        if (owner) owner->SetSolveProgress(k, 1, q);
        // The colliders' faces are taken where they stood at the step's start
        // as well (as the previous sub-step took them, in the same ticks).
        colliderStepStart_ = TimeValue(int64_t(h0) * T - int64_t(std::floor((target - clock) * 4800.0)));
        UpdateColliderMeshes(TimeValue(int64_t(h0) * T - int64_t(std::floor((target - clock1) * 4800.0))));
        colliderStepStart_ = kNoStepStart;
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
  K.vertexVelocity.clear();
  if (int(K.faceNormal.size()) < nf || ticksPerFrame <= 0) return;
  // The second set lies one frame (ticksPerFrame of 4800 a second) later.
  // (At 3600 the faces were credited with three quarters of their speed:
  // a piston ran into the liquid it should have carried.)
  const float perSecond = 4800.0f / float(ticksPerFrame);
  K.vertexVelocity.resize(size_t(nv));
  for (int v = 0; v < nv; ++v) {
    const Point3 d = (K.mesh.secondVertices[size_t(v)] - K.mesh.vertices[size_t(v)]) * perSecond;
    K.vertexVelocity[size_t(v)] = Vec3f(d.x, d.y, d.z);
  }
  // A collider that stands still keeps none: the solver skips its motion.
  if (std::all_of(K.vertexVelocity.begin(), K.vertexVelocity.end(),
                  [](const Vec3f& u) { return u.x == 0.0f && u.y == 0.0f && u.z == 0.0f; }))
    K.vertexVelocity.clear();
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


void FreeColliders(std::vector<ColliderMesh*>& list) {
  for (ColliderMesh* c : list) {
    if (!c) continue;
    c->FreeArrays();
    delete c;
  }
  list.clear();
}

bool SameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof(Point3)) == 0; }
bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; }

// Whether a collider built with motion stood still: a frame on and where
// its sub-step began it stood where it stands.
bool BuiltStill(const ColliderSource& s) {
  for (int r = 0; r < 4; ++r)
    if (!SameBits(s.nextRows[r], s.rows[r]) || !SameBits(s.startRows[r], s.rows[r])) return false;
  return true;
}

// Whether a collider built from `now` at this sub-step would be built
// from exactly what `kept` was (every input compared bit for bit). A frame's
// set-up (`now` without motion) also takes the last sub-step's collider of
// an object that stood still: the set-up reads only where its faces stand,
// which is where a build without motion puts them, and the sub-steps that
// follow compare their own sources with the one kept.
bool SameColliderSource(const ColliderSource& kept, const ColliderSource& now, const Mesh& m) {
  const bool setUpTakesStill = kept.withMotion && !now.withMotion && BuiltStill(kept);
  if (kept.node != now.node || (kept.withMotion != now.withMotion && !setUpTakesStill) ||
      kept.ticksPerFrame != now.ticksPerFrame || !SameBits(kept.invScale, now.invScale) ||
      !SameBits(kept.margin, now.margin))
    return false;
  const ObjectParams &a = kept.params, &b = now.params;
  if (a.collide != b.collide || !SameBits(a.collisionGap, b.collisionGap) || !SameBits(a.bounce, b.bounce) ||
      !SameBits(a.friction, b.friction) || !SameBits(a.adherence, b.adherence) || a.partKiller != b.partKiller)
    return false;
  for (int r = 0; r < 4; ++r)
    if (!SameBits(kept.rows[r], now.rows[r]) ||
        (now.withMotion && (!SameBits(kept.nextRows[r], now.nextRows[r]) || !SameBits(kept.startRows[r], now.startRows[r]))))
      return false;
  if (kept.verts.size() != m.verts.size() || kept.faces.size() != 3 * m.faces.size()) return false;
  if (!m.verts.empty() && std::memcmp(kept.verts.data(), m.verts.data(), m.verts.size() * sizeof(Point3)) != 0)
    return false;
  for (size_t f = 0; f < m.faces.size(); ++f)
    for (int c = 0; c < 3; ++c)
      if (kept.faces[3 * f + size_t(c)] != int32_t(m.faces[f].v[c])) return false;
  return true;
}
}  // namespace

void FluidEngine::BuildColliderMeshes() { BuildColliders(GetCOREInterface()->GetTime(), false); }

void FluidEngine::UpdateColliderMeshes(TimeValue tick) { BuildColliders(tick, true); }

void FluidEngine::BuildColliders(TimeValue tick, bool withMotion) {
  ScopedSeconds timed(timings.colliders);
  Interface* ip = GetCOREInterface();
  const int T = ip->GetTicksPerFrame();
  // Last sub-step's list, each entry with what it was built from (an entry
  // the list no longer matches, changed by another hand, is never kept).
  std::vector<ColliderMesh*> old;
  old.swap(solver->colliders);
  std::vector<ColliderSource> oldSources;
  oldSources.swap(colliderSources_);
  if (oldSources.size() != old.size()) oldSources.clear();
  // Whatever leaves the function, the entries not taken over are freed.
  struct FreeLeft {
    std::vector<ColliderMesh*>& list;
    ~FreeLeft() { FreeColliders(list); }
  } freeLeft{old};
  colliderNodes_.clear();
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return;
  std::vector<INode*> nodes;
  CollectMeshNodes(ip->GetRootNode(), nodes);
  std::vector<std::pair<std::string, float>> gaps;  // of the colliders, for one note
  for (INode* node : nodes) {
    if (node == systemNode) continue;
    const Matrix3 tm = node->GetObjectTM(tick);
    if (IsSystemNodeName(node->GetName())) continue;
    ObjectParams op;
    if (!access->GetObjectParams(node, op) || op.collide == 0) continue;
    gaps.emplace_back(node->GetName(), op.collisionGap);
    Object* evaluated = node->EvalWorldState(tick).obj;
    if (!evaluated) continue;
    TriObject* tri = dynamic_cast<TriObject*>(evaluated->ConvertToType(tick, triObjectClassID()));
    if (!tri) continue;
    const size_t slot = solver->colliders.size();
    ColliderSource source;
    source.node = node;
    for (int r = 0; r < 4; ++r) source.rows[r] = tm.GetRow(r);
    source.withMotion = withMotion;
    // Where the collider stands a frame on and where the sub-step began
    // (with motion; read once, for the comparison and the build).
    const Matrix3 next = withMotion ? node->GetObjectTM(tick + T) : tm;
    const Matrix3 start =
        withMotion && colliderStepStart_ != kNoStepStart ? node->GetObjectTM(colliderStepStart_) : tm;
    if (withMotion) {
      for (int r = 0; r < 4; ++r) source.nextRows[r] = next.GetRow(r);
      for (int r = 0; r < 4; ++r) source.startRows[r] = start.GetRow(r);
    }
    source.ticksPerFrame = T;
    source.invScale = InvFrameScale();
    source.margin = CollisionMargin(*solver, op.collisionGap);
    source.params = op;
    if (slot < oldSources.size() && old[slot] && oldSources[slot].collider == old[slot] &&
        SameColliderSource(oldSources[slot], source, tri->mesh)) {
      // A still collider: the one already built is what a build would give.
      ReleaseTriObject(evaluated, tri);
      solver->colliders.push_back(old[slot]);
      old[slot] = nullptr;
      colliderSources_.push_back(std::move(oldSources[slot]));
      colliderNodes_.push_back(node);
      continue;
    }
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
    K->ComputeFaceData(source.margin);
    const int nf = K->FaceCount();
    K->faceNormalSpeed.assign(size_t(nf), 0.0f);
    if (withMotion) {
      K->mesh.secondVertices.resize(size_t(nv));
      for (int v = 0; v < nv; ++v)
        K->mesh.secondVertices[size_t(v)] = next.PointTransform(m.verts[size_t(v)]) * InvFrameScale();
      ComputeFaceNormalSpeeds(*K, T);
      if (start != tm) {
        K->stepStartVertices.resize(size_t(nv));
        for (int v = 0; v < nv; ++v) {
          const Point3 q = start.PointTransform(m.verts[size_t(v)]) * InvFrameScale();
          K->stepStartVertices[size_t(v)] = Vec3f(q.x, q.y, q.z);
        }
      }
    }
    source.verts = m.verts;
    source.faces.resize(3 * m.faces.size());
    for (size_t f = 0; f < m.faces.size(); ++f)
      for (int c = 0; c < 3; ++c) source.faces[3 * f + size_t(c)] = int32_t(m.faces[f].v[c]);
    ReleaseTriObject(evaluated, tri);
    // The face index of the collider last in this place goes to the new one:
    // built from the same face boxes (a collider that moved and came back),
    // it stands rather than being built again.
    if (slot < old.size() && old[slot]) K->faceIndex = std::move(old[slot]->faceIndex);
    source.collider = K;
    solver->colliders.push_back(K);
    colliderSources_.push_back(std::move(source));
    colliderNodes_.push_back(node);
  }
  NoteGapLimits(*this, "Collision gap", gaps);
}

namespace {
struct V3 {
  double x, y, z;
};
V3 Cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Distance along the unit direction d from o to the nearest face of the
// mesh, from either side (infinity when no face lies that way).
double RayToMesh(const ColliderMesh& K, const V3& o, const V3& d) {
  double best = INFINITY;
  const int nv = int(K.mesh.vertices.size());
  for (const MeshFace& f : K.mesh.faces) {
    if (f[0] < 0 || f[1] < 0 || f[2] < 0 || f[0] >= nv || f[1] >= nv || f[2] >= nv) continue;
    const Point3 &A = K.mesh.vertices[size_t(f[0])], &B = K.mesh.vertices[size_t(f[1])],
                 &C = K.mesh.vertices[size_t(f[2])];
    const V3 a{A.x, A.y, A.z}, e1{B.x - A.x, B.y - A.y, B.z - A.z}, e2{C.x - A.x, C.y - A.y, C.z - A.z};
    const V3 p = Cross(d, e2);
    const double det = Dot(e1, p);
    if (std::fabs(det) < 1e-18) continue;
    const V3 s{o.x - a.x, o.y - a.y, o.z - a.z};
    const double u = Dot(s, p) / det;
    if (u < 0.0 || u > 1.0) continue;
    const V3 q = Cross(s, e1);
    const double v = Dot(d, q) / det;
    if (v < 0.0 || u + v > 1.0) continue;
    const double t = Dot(e2, q) / det;
    if (t >= 0.0) best = std::min(best, t);
  }
  return best;
}
}  // namespace

bool FluidEngine::NoteContainerTooSmall(int source, const Vec3f& at) {
  if (source < 0 || source >= sourceCount || size_t(source) >= solver->sources.size() ||
      !solver->sources[size_t(source)] || !SlotUsable(source))
    return false;
  const SolverSource& src = *solver->sources[size_t(source)];
  const double spacing = src.spacing, reach = FluidSolver::CollisionReach(src.spacing);
  if (!(spacing > 0.0)) return false;
  bool said = false;
  for (size_t k = 0; k < solver->colliders.size() && k < colliderNodes_.size(); ++k) {
    const ColliderMesh& K = *solver->colliders[k];
    if (!K.collide || K.particleKiller) continue;
    // Said once a solve: the rays are cast only until then.
    const std::string key = std::string("container too small: ") + colliderNodes_[k]->GetName() + " for " +
                            sourceNodes[source]->GetName();
    if (Noted(key)) continue;
    // The narrowest way across the inside through the source's position,
    // along the axes: walls on both sides of it make it a container.
    double width = INFINITY;
    const V3 o{at.x, at.y, at.z};
    for (int a = 0; a < 3; ++a) {
      V3 d{0.0, 0.0, 0.0};
      (a == 0 ? d.x : a == 1 ? d.y : d.z) = 1.0;
      const double ahead = RayToMesh(K, o, d), behind = RayToMesh(K, o, V3{-d.x, -d.y, -d.z});
      width = std::min(width, ahead + behind);
    }
    if (!(width < 2.0 * reach + spacing)) continue;
    const double S = 1.0 / double(InvFrameScale()), scale = S / 20.0;
    // The room is width - 2 reach; one particle needs a spacing of it:
    // width >= (2 x 1.3333 + 1) / LOD in solver units.
    const double need = 2.0 * (reach / spacing) + 1.0;
    const double lod = need / width, maxScale = width * S * (1.0 / spacing) / need / 20.0;
    char text[600];
    std::snprintf(text, sizeof text,
                  "%s is too small for the particles of %s at Source LOD %.4g and Scale %.4g: %.4g host units "
                  "across inside, its walls hold particles %.4g off each, which leaves %.4g where one particle "
                  "needs %.4g; a Source LOD of %.4g or more, or a Scale of %.4g or less, gives it room",
                  colliderNodes_[k]->GetName(), sourceNodes[source]->GetName(), 1.0 / spacing, scale, width * S,
                  reach * S, std::max(0.0, width - 2.0 * reach) * S, spacing * S, std::ceil(lod * 10.0) / 10.0,
                  std::floor(maxScale * 1000.0) / 1000.0);
    said = LogNote(text, true, key) || said;
  }
  return said;
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

bool FluidEngine::HasSpaceWarps() {
  std::vector<ForceField*> fields;
  bool any = false;
  for (int i = 0; i < sourceCount && i < kMaxSources && !any; ++i) {
    if (!sourceNodes[i]) continue;
    CollectForceFields(sourceNodes[i], fields);
    any = !fields.empty();
    for (ForceField* ff : fields) ff->DeleteThis();
  }
  return any;
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
