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
  if (firstSubStep) {
    if (!BuildPairs(true)) {
      StoreDensities(false);
      return false;
    }
  } else {
    if (added) ComputePairsSerial();
    DensityPass(true, kept);
  }
  lap(phaseSeconds.pairs);
  if (solver_host::AbortRequested()) {  // before the pressures
    StoreDensities(false, clockT0);
    return false;
  }
  if (solver_host::AbortRequested()) {  // before the forces
    StoreDensities(true, clockT0);
    return false;
  }
  // The polls after the forces and after cohesion are taken before the
  // closing pass computes them (they do not depend on the polls).
  if (solver_host::AbortRequested() || solver_host::AbortRequested()) {
    StoreDensities(true, clockT0);
    ComputePairForces();
    ApplyCohesion();
    return false;
  }
  double seconds = 0.0;
  const double forceShare = FinishStep(t1, forces, gravity, clockT0);
  lap(seconds);
  phaseSeconds.forces += seconds * forceShare;
  phaseSeconds.collide += seconds * (1.0 - forceShare);
  return true;
}
