// Equation of state, pressure and viscosity acceleration, cohesion.
#include <cmath>

#include "fluid_core/solver.h"
#include "fluid_core/solver_pair_terms.h"

using solver_pairs::SpacingTerms;
using solver_pairs::TermsSide;

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
    ForceInput& f = forceInput_[i];
    f.in = PairInput{p.pos, p.spacing, p.vel, p.mass};
    f.density = p.density;
    f.pressureTerm = p.pressureTerm;
    f.dead = p.dead;
  }
}

void FluidSolver::ComputePairForces() {
  SyncPairSlots();
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
    const PairInput A = forceInput_[i].in;
    SpacingTerms terms;
    Vec3f acc;
    const PairSpan L = pairSpans_[i];
    const int32_t* list = pairBlocks_[size_t(L.block)].data.data() + L.offset;
    for (int k = 0; k < L.count; ++k) {
      const int j = list[k];
      if (j < 0 || j >= n || j == i) continue;
      const ForceInput& q = forceInput_[j];
      if (q.dead) continue;  // a particle killed this frame no longer pushes
      float mu;
      Vec3f grad;
      if (!TermsSide(A, q.in, terms, mu, grad)) continue;  // out of range
      // An in-range pair with no radial relative speed (a block at rest)
      // still feels the pressure; one with neither term adds nothing.
      if (mu == 0.0f && grad.x == 0.0f && grad.y == 0.0f && grad.z == 0.0f) continue;
      float pi = mu < 0.0f ? -(25.0f / ((rhoI + q.density) * 0.5f)) * mu : 0.0f;
      float f = (pi + q.pressureTerm + presI) * q.in.mass;
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
