// One sub-step of the solver: the fixed sequence of phases.
#include <chrono>

#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"

bool FluidSolver::Step(float t0, float t1, const std::vector<Vec3f>& forces, float gravity,
                       bool skip, bool firstSubStep) {
  auto mark = std::chrono::steady_clock::now();
  auto lap = [&mark](double& into) {
    const auto now = std::chrono::steady_clock::now();
    into += std::chrono::duration<double>(now - mark).count();
    mark = now;
  };
  dt = t1 - t0;
  skipFrictionAndBounce = skip ? 1 : 0;
  // What the last closing pass kept of the records; they change below, and
  // this step's closing pass keeps them afresh.
  const int kept = keptCount_;
  keptCount_ = -1;
  const bool added = EmitSources(t1, dt);
  lap(phaseSeconds.emit);

  // The grid is read only when pairs are built from it; the clocks of the
  // particles that existed before this step are set either way (without a
  // new grid by the closing pass, or by the pass that ends the step early:
  // nothing reads them before).
  const bool gridStep = firstSubStep || added;
  const float* clockT0 = gridStep ? nullptr : &t0;
  if (gridStep)
    RebuildNeighbourGrid(t0);
  else
    grid->Clear();
  lap(phaseSeconds.grid);

  // The density passes leave their sums in compact arrays, and the closing
  // pass computes the forces from them, storing everything into the records
  // as it goes: the results are those of running the phases one after the
  // other (each touches only its own particle), with three passes over the
  // records fewer. Escape is polled where it always was; a step it ends
  // leaves the records as the separate phases would have.
  int stopped = 0;
  if (firstSubStep) {
    if (!BuildPairs(true)) {
      StoreDensities(false);
      return false;
    }
    lap(phaseSeconds.pairs);
    stopped = PollsAfterDensity();
    if (stopped) return EndEarly(stopped, clockT0);
    FinishPrepare();
  } else {
    if (added) ComputePairsSerial();
    DensityPrepare(true, kept);
    FinishPrepare();
  }
  // One thread team for the density pass (when the pairs were not just
  // built) and the closing pass: starting one costs about as much as a
  // tenth of either pass on eight threads.
  FinishTotals totals;
#pragma omp parallel if (count >= kParallelMin)
  {
    if (!firstSubStep) {
      DensityChunks(true);
      // The calling thread (the only one that may ask the host) polls once
      // its own chunks are done; the barrier that waits for the others'
      // hands its answer to all, so the team waits once, not twice.
#pragma omp master
      stopped = PollsAfterDensity();
#pragma omp barrier
#pragma omp master
      lap(phaseSeconds.pairs);
    }
    if (!stopped) FinishChunks(t1, forces, gravity, clockT0, totals);
  }
  if (stopped) return EndEarly(stopped, clockT0);
  double seconds = 0.0;
  lap(seconds);
  const double forceShare = FinishClose(totals);
  phaseSeconds.forces += seconds * forceShare;
  phaseSeconds.collide += seconds * (1.0 - forceShare);
  return true;
}

int FluidSolver::PollsAfterDensity() {
  if (solver_host::AbortRequested()) return 1;  // before the pressures
  if (solver_host::AbortRequested()) return 2;  // before the forces
  // The polls after the forces and after cohesion are taken before the
  // closing pass computes them (they do not depend on the polls).
  if (solver_host::AbortRequested() || solver_host::AbortRequested()) return 3;
  return 0;
}

bool FluidSolver::EndEarly(int stopped, const float* clockT0) {
  StoreDensities(stopped > 1, clockT0);
  if (stopped > 2) {
    ComputePairForces();
    ApplyCohesion();
  }
  return false;
}
