// Equation of state, pressure and viscosity acceleration, cohesion.
#include <cmath>

#include "fluid_core/solver.h"

void FluidSolver::ComputePressure() {
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead || !p.active) continue;
    double x = (double)(p.density * invRestDensity);
    double x7 = x * x * x * x * x * x * x;
    float pressure = (float)(100.0 * (x7 - 1.0));
    p.pressureTerm = pressure / (p.density * p.density);
  }
}

void FluidSolver::RefreshForceInputs() {
  const int n = count;
  if ((int)forceInput_.size() < n) forceInput_.resize(n);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    const FluidParticle& p = particles[i];
    forceInput_[i] = ForceInput{p.density, p.pressureTerm, p.mass, p.dead};
  }
}

void FluidSolver::ComputePairForces() {
  RefreshForceInputs();
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead) continue;
    p.accel = Vec3f();
    if (!p.active) continue;
    const float rhoI = p.density;
    const float presI = p.pressureTerm;
    Vec3f acc;
    const int m = int(p.neighbours.size());
    for (int k = 0; k < m; ++k) {
      const float mu = p.pairMu[k];
      // Out of range is marked by a zero gradient as well as a zero mu; an
      // in-range pair with no radial relative speed (a block at rest) still
      // feels the pressure.
      const Vec3f& grad = p.pairGrad[k];
      if (mu == 0.0f && grad.x == 0.0f && grad.y == 0.0f && grad.z == 0.0f) continue;
      const int j = p.neighbours[k];
      if (j < 0 || j >= n) continue;
      const ForceInput& q = forceInput_[j];
      if (q.dead) continue;  // a particle killed this frame no longer pushes
      float pi = mu < 0.0f ? -(25.0f / ((rhoI + q.density) * 0.5f)) * mu : 0.0f;
      float f = (pi + q.pressureTerm + presI) * q.mass;
      acc -= grad * f;
    }
    p.accel = acc;
    p.pairAccel = acc;
  }
}

void FluidSolver::ApplyCohesion() {
  const int n = count;
  const double root = std::sqrt(particlesPerVolume);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead || !p.active) continue;
    const SolverSource* s = SourceOf(p);  // files may carry any source index
    if (!s) continue;
    double factor = root * s->thickness * 0.14285714285714285;
    p.accel.x = (float)(p.accel.x + p.cohesion.x * factor);
    p.accel.y = (float)(p.accel.y + p.cohesion.y * factor);
    p.accel.z = (float)(p.accel.z + p.cohesion.z * factor);
  }
}
