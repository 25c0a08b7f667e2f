// One sub-step of the solver: the fixed sequence of phases.
#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"

bool FluidSolver::Step(float t0, float t1, const std::vector<Vec3f>& forces, float gravity,
                       bool skip, bool firstSubStep) {
  dt = t1 - t0;
  skipFrictionAndBounce = skip ? 1 : 0;
  const bool added = EmitSources(t1, dt);

  // The grid is read only when pairs are built from it; the clocks of the
  // particles that existed before this step are set either way.
  if (firstSubStep || added) {
    RebuildNeighbourGrid(t0);
  } else {
    const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
    for (int i = 0; i < n; ++i)
      if (!particles[i].isNew) particles[i].clock = t0;
    grid->Clear();
  }

  // The density passes also leave the force inputs behind (with the
  // pressure terms ComputePressure then stores), and the force pass applies
  // cohesion: the results are those of running the phases one after the
  // other (each touches only its own particle), with two passes over the
  // records fewer. Escape is polled where it always was.
  if (firstSubStep) {
    if (!BuildPairs(true)) return false;
  } else {
    if (added) ComputePairsSerial();
    DensityPass(true);
  }
  if (solver_host::AbortRequested()) return false;
  ComputePressure();
  if (solver_host::AbortRequested()) return false;
  ForcePass(true);
  if (solver_host::AbortRequested()) return false;
  if (solver_host::AbortRequested()) return false;
  CollideWithObjects();
  FinishStep(t1, forces, gravity);  // friction, integration, domain kill, bounds
  return true;
}
