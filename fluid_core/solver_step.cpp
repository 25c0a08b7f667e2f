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
  const bool added = EmitSources(t1, dt);
  lap(phaseSeconds.emit);

  // The grid is read only when pairs are built from it; the clocks of the
  // particles that existed before this step are set either way (without a
  // new grid by the density pass, in its own pass over the particles:
  // nothing reads them before).
  const bool gridStep = firstSubStep || added;
  if (gridStep)
    RebuildNeighbourGrid(t0);
  else
    grid->Clear();
  lap(phaseSeconds.grid);

  // The density passes also leave the force inputs behind (with the
  // pressure terms ComputePressure then stores), and the force pass applies
  // cohesion: the results are those of running the phases one after the
  // other (each touches only its own particle), with two passes over the
  // records fewer. Escape is polled where it always was.
  if (firstSubStep) {
    if (!BuildPairs(true)) return false;
  } else {
    if (added) ComputePairsSerial();
    DensityPass(true, gridStep ? nullptr : &t0);
  }
  lap(phaseSeconds.pairs);
  if (solver_host::AbortRequested()) return false;
  ComputePressure();
  if (solver_host::AbortRequested()) return false;
  ForcePass(true);
  if (solver_host::AbortRequested()) return false;
  if (solver_host::AbortRequested()) return false;  // where cohesion ran on its own
  lap(phaseSeconds.forces);
  FinishStep(t1, forces, gravity);  // collisions, friction, integration, domain kill, bounds
  lap(phaseSeconds.collide);
  return true;
}
