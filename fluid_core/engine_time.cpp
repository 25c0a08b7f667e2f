// FluidEngine: host time to cache frames, the evaluation that solves on the
// fly and shows a frame's surface, and the restart from a stored frame.
#include <algorithm>

#include "fluid_core/engine.h"

int FluidEngine::FrameFromTime(TimeValue t) const {
  const int T = GetCOREInterface()->GetTicksPerFrame();
  int f = t / T - startFrame;
  return f < 0 ? 0 : f;
}

double FluidEngine::FrameTime(int n) const {
  const int T = GetCOREInterface()->GetTicksPerFrame();
  // The product in 32-bit integers, as every caller and Reset compute it,
  // so that a fresh system's frame 0 equals the solver clock exactly.
  return double(int32_t(T * (startFrame + n))) / 4800.0;
}

void FluidEngine::UpdateToTime(TimeValue t) {
  const int T = GetCOREInterface()->GetTicksPerFrame();
  const int f = FrameFromTime(t);
  if (!owner || resetting_ || f == lastEvalFrame || t % T != 0) return;
  lastEvalFrame = f;
  lastEvalTime = t;
  IParamBlock2* pb = owner->SystemParamBlock();
  const int showMesh = ReadIntParam(pb, kFluidShowMesh, t, 0);

  // Never a second solve inside a running one (the Escape test pumps host
  // messages, and a redraw evaluates us again), never beyond the tables,
  // and none while time is held: the hold run solves its frame itself and
  // only shows the next one. With nothing solved only the start frame is
  // solved: a later frame from an empty state would leave the frames before
  // it missing (a scene whose cache was lost, evaluated at its saved time).
  // A run that was stopped solves nothing more: the frame whose solve
  // failed would otherwise be tried again at once by the redraw that the
  // restart brings, and its message lost.
  const bool running = solving_ || owner->SolveRunning() || isHoldingTime || SolveStopFlag;
  if (!running && f < kMaxFrames &&
      ((owner->IsSolving() && lastSolved == f - 1) || (lastSolved == -1 && f == 0)))
    SolveFrame(f);

  timeOffset = ReadIntParam(pb, kFluidOffset, t, 0);
  int g = std::max(0, f - timeOffset);
  if (g > lastSolved) {
    const int action = ReadIntParam(pb, kFluidOutOfRangeAction, t, 0);
    if (action == 2) {
      const int N = std::max(1, ReadIntParam(pb, kFluidFramesToLoopFor, t, 1));
      g = ((g - lastSolved) % N) - N + lastSolved;
    } else if (action == 1) {
      g = lastSolved;
    }
  }
  if (showMesh != 0 && g >= 0 && g <= lastSolved && g < kMaxFrames && frameMeshed[g])
    owner->LoadSurfaceFrame(g);
  else
    owner->ClearMesh();
  owner->BuildIconMesh();
  owner->InvalidateMeshCaches();
}

bool FluidEngine::RestartFromFrame(int n) {
  if (n < 0 || n > lastSolved || n >= kMaxFrames) return false;
  // A frame of a particle with no spacing or mass reads, but the step after
  // it would be NaN.
  if (!solver->frameCache.FrameReadsWhole(n)) return false;
  const int k = solver->frameCache.CountToRead(n, frameParticleCount[n]);
  while ((int)solver->particles.size() < k) solver->GrowParticles();
  const int read = solver->frameCache.ReadFrame(n, solver->particles, 1.0f);
  if (read < 0) return false;
  // Only what the file held is in use; the frame keeps no dead flags, so
  // they are recomputed (expired or parked), and the killed count with them.
  const int count = std::min(k, read);
  solver->count = count;
  solver->MarkExpiredParticles(solver->particles, count);
  int killed = 0;
  for (int i = 0; i < count; ++i) {
    FluidParticle& p = solver->particles[i];
    p.isNew = 0;
    p.collided = 0;
    p.dtLimit = 1e6f;
    if (p.dead) ++killed;
  }
  solver->killedCount = killed;
  solver->RecordsChanged();
  for (int i = n + 1; i <= lastSolved && i < kMaxFrames; ++i) {
    frameParticleCount[i] = 0;
    frameMeshed[i] = 0;
  }
  lastSolved = n;
  lastMeshed = std::min(lastMeshed, n);
  solverClock = FrameTime(n);
  lastEvalFrame = lastEvalTime = -1;
  return true;
}
