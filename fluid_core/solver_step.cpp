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

  if (firstSubStep) {
    if (!BuildNeighbourPairs()) return false;
  } else {
    if (added) ComputePairsSerial();
    ComputeDensityAndForces();
  }
  if (solver_host::AbortRequested()) return false;
  ComputePressure();
  if (solver_host::AbortRequested()) return false;
  ComputePairForces();
  if (solver_host::AbortRequested()) return false;
  ApplyCohesion();
  if (solver_host::AbortRequested()) return false;
  CollideWithObjects();
  FinishStep(t1, forces, gravity);  // friction, integration, domain kill, bounds
  return true;
}
