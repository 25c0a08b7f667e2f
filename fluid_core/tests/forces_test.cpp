// Pair kernel values, equation of state, pressure/viscosity and cohesion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "fluid_core/solver_pair_terms.h"
#include "solver_test_util.h"

using solver_test::MakeSolver;
using solver_test::Put;

TEST(PairKernel, TwoParticlesAtTheirSpacingMatchTheWorkedValues) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(0.2f, 0.0f, 0.0f), 0.2f);
  int b = Put(*s, Vec3f(0.0f, 0.0f, 0.0f), 0.2f);
  FluidParticle& pa = s->particles[a];
  FluidParticle& pb = s->particles[b];
  EXPECT_FLOAT_EQ(pa.mass, 8.0f);
  EXPECT_NEAR(s->SelfDensity(pa), 636.62f, 0.01f);
  pa.density = s->SelfDensity(pa);
  pb.density = s->SelfDensity(pb);
  pa.dtLimit = pb.dtLimit = 1e6f;
  s->PairKernel(a, b);
  EXPECT_NEAR(pa.density, 716.20f, 0.01f);
  EXPECT_NEAR(pb.density, 716.20f, 0.01f);
  ASSERT_EQ(s->Neighbours(a), std::vector<int>{b});
  ASSERT_EQ(s->Neighbours(b), std::vector<int>{a});
  EXPECT_EQ(pa.neighbourCount, 1);
  float muA, muB;
  Vec3f gA, gB;
  ASSERT_TRUE(s->PairTerms(a, 0, muA, gA));
  ASSERT_TRUE(s->PairTerms(b, 0, muB, gB));
  EXPECT_NEAR(gA.x, -149.21f, 0.01f);
  EXPECT_EQ(gB, -gA);
  EXPECT_EQ(muA, 0.0f);  // at rest: no radial velocity
  EXPECT_EQ(pa.dtLimit, 1e6f);
  EXPECT_NEAR(pa.cohesion.x, -0.2f, 1e-6f);
  EXPECT_NEAR(pb.cohesion.x, 0.2f, 1e-6f);
}

TEST(PairKernel, SupportEndsAtTheSumOfSpacings) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(0.0f, 0.0f, 0.0f), 0.25f);
  int b = Put(*s, Vec3f(0.5f, 0.0f, 0.0f), 0.25f);
  s->PairKernel(a, b);
  EXPECT_EQ(s->PairCount(a), 0);
  // An existing pair that drifted out of range acts no more: no terms, no
  // density, no push.
  s->AppendPair(a, b);
  s->AppendPair(b, a);
  s->ComputeDensityAndForces();
  float mu = 1.0f;
  Vec3f grad(1, 1, 1);
  EXPECT_FALSE(s->PairTerms(a, 0, mu, grad));
  EXPECT_EQ(mu, 0.0f);
  EXPECT_EQ(grad, Vec3f());
  EXPECT_EQ(s->particles[a].density, s->SelfDensity(s->particles[a]));
  s->ComputePressure();
  s->ComputePairForces();
  EXPECT_EQ(s->particles[b].accel, Vec3f());
}

TEST(PairKernel, SeparatingPairsLimitTheStepAndApproachingPairsGetViscosity) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(0.1f, 0.0f, 0.0f), 0.1f, Vec3f(1.0f, 0.0f, 0.0f));
  int b = Put(*s, Vec3f(0.0f, 0.0f, 0.0f), 0.1f, Vec3f(-1.0f, 0.0f, 0.0f));
  s->particles[a].dtLimit = s->particles[b].dtLimit = 1e6f;
  s->PairKernel(a, b);
  // u = 2 x 0.1, r = 0.1: L = 0.2 / 2 x 0.025
  EXPECT_NEAR(s->particles[a].dtLimit, 0.0025f, 1e-7f);
  EXPECT_EQ(s->particles[a].dtLimit, s->particles[b].dtLimit);
  float mu;
  Vec3f grad;
  ASSERT_TRUE(s->PairTerms(a, 0, mu, grad));
  EXPECT_GT(mu, 0.0f);

  std::unique_ptr<FluidSolver> t(MakeSolver());
  a = Put(*t, Vec3f(0.1f, 0.0f, 0.0f), 0.1f, Vec3f(-1.0f, 0.0f, 0.0f));
  b = Put(*t, Vec3f(0.0f, 0.0f, 0.0f), 0.1f, Vec3f(1.0f, 0.0f, 0.0f));
  t->particles[a].dtLimit = t->particles[b].dtLimit = 1e6f;
  t->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(t->BuildNeighbourPairs());
  EXPECT_EQ(t->particles[a].dtLimit, 1e6f);
  ASSERT_TRUE(t->PairTerms(a, 0, mu, grad));
  EXPECT_LT(mu, 0.0f);
  t->ComputePressure();
  t->ComputePairForces();
  // Approaching: the viscous term pushes a back toward +x harder than
  // pressure alone (the same pair at rest: same density, no viscosity).
  float withVisc = t->particles[a].accel.x;
  t->particles[a].vel = t->particles[b].vel = Vec3f();
  t->ComputePairForces();
  EXPECT_GT(withVisc, t->particles[a].accel.x);
}

TEST(PairKernel, TwoParticlesAtOnePositionStayFinite) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  Put(*s, Vec3f(1.0f, 1.0f, 1.0f), 0.1f);
  Put(*s, Vec3f(1.0f, 1.0f, 1.0f), 0.1f);
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  s->ComputePressure();
  s->ComputePairForces();
  for (int i = 0; i < 2; ++i) {
    const FluidParticle& p = s->particles[i];
    EXPECT_TRUE(std::isfinite(p.density));
    float mu = 1.0f;
    Vec3f grad(1, 1, 1);
    EXPECT_TRUE(s->PairTerms(i, 0, mu, grad));  // in range, but no direction
    EXPECT_EQ(mu, 0.0f);
    EXPECT_EQ(grad, Vec3f());
    EXPECT_EQ(p.accel, Vec3f());
  }
}

TEST(Pressure, StiffEquationOfState) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(), 0.1f);
  int b = Put(*s, Vec3f(5, 5, 5), 0.1f);
  int c = Put(*s, Vec3f(9, 9, 9), 0.1f);
  s->particles[a].density = 1000.0f;
  s->particles[b].density = 1100.0f;
  s->particles[c].density = 1100.0f;
  s->particles[c].active = 0;
  s->particles[c].pressureTerm = 42.0f;
  s->ComputePressure();
  EXPECT_EQ(s->particles[a].pressureTerm, 0.0f);
  EXPECT_NEAR(s->particles[b].pressureTerm * 1100.0f * 1100.0f, 94.8717f, 1e-3f);
  EXPECT_EQ(s->particles[c].pressureTerm, 42.0f);
}

TEST(PairForces, IsolatedParticleAndInactiveParticle) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(), 0.1f);
  s->particles[a].accel = Vec3f(5, 5, 5);
  s->particles[a].pairAccel = Vec3f(5, 5, 5);
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  EXPECT_EQ(s->particles[a].density, s->SelfDensity(s->particles[a]));
  s->ComputePressure();
  s->ComputePairForces();
  EXPECT_EQ(s->particles[a].accel, Vec3f());
  EXPECT_EQ(s->particles[a].pairAccel, Vec3f());

  // An inactive particle beside an active one: its own acceleration is
  // cleared and nothing is accumulated for it, its stored pair
  // acceleration stays; the active one next to it is pushed.
  std::unique_ptr<FluidSolver> t(MakeSolver());
  int b = Put(*t, Vec3f(), 0.1f);
  int c = Put(*t, Vec3f(0.5f * t->h, 0, 0), 0.1f);
  t->particles[c].active = 0;
  t->particles[c].accel = Vec3f(5, 5, 5);
  t->particles[c].pairAccel = Vec3f(7, 7, 7);
  t->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(t->BuildNeighbourPairs());
  for (int i : {b, c}) t->particles[i].density = 1100.0f;
  t->ComputePressure();
  t->ComputePairForces();
  EXPECT_EQ(t->particles[c].accel, Vec3f());
  EXPECT_EQ(t->particles[c].pairAccel, Vec3f(7, 7, 7));
  EXPECT_LT(t->particles[b].accel.x, 0.0f);  // pushed away from c
  EXPECT_EQ(t->particles[b].pairAccel, t->particles[b].accel);
}

namespace {
// A crowd of n particles of two spacings with random velocities, with lists
// long enough for the pair passes' groups of lanes.
FluidSolver* Crowd(int n, unsigned seed) {
  FluidSolver* s = MakeSolver();
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(-0.3f, 0.3f), vel(-1.0f, 1.0f);
  for (int i = 0; i < n; ++i)
    Put(*s, Vec3f(pos(rng), pos(rng), pos(rng)), i % 4 == 0 ? 0.15f : 0.1f,
        Vec3f(vel(rng), vel(rng), vel(rng)));
  return s;
}
}  // namespace

// The force pass takes groups of pairs at a time; its sums must be the plain
// sums of each pair's terms in list order, bit for bit (signs of zero too),
// with two spacings, a dead partner, an inactive particle and one alone.
TEST(PairForces, SumsAreTheScalarSumsInListOrderBitForBit) {
  std::unique_ptr<FluidSolver> s(Crowd(600, 3));
  const int alone = Put(*s, Vec3f(5.0f, 5.0f, 5.0f));
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  s->particles[5].dead = 1;
  s->particles[6].active = 0;
  s->ComputePressure();
  s->ComputePairForces();
  for (int i = 0; i < s->count; ++i) {
    const FluidParticle& p = s->particles[i];
    if (p.dead || !p.active) continue;
    Vec3f acc;
    for (int k = 0; k < s->PairCount(i); ++k) {
      float mu;
      Vec3f grad;
      if (!s->PairTerms(i, k, mu, grad) || (mu == 0.0f && grad == Vec3f())) continue;
      const FluidParticle& q = s->particles[s->PairList(i)[k]];
      const float pi = mu < 0.0f ? -(25.0f / ((p.density + q.density) * 0.5f)) * mu : 0.0f;
      acc -= grad * ((pi + q.pressureTerm + p.pressureTerm) * q.mass);
    }
    ASSERT_EQ(std::memcmp(&acc, &p.accel, sizeof acc), 0) << "slot " << i;
  }
  EXPECT_GT(s->PairCount(7), 8);
  EXPECT_EQ(s->PairCount(alone), 0);
}

#if defined(VOREL_WIDE_PAIRS)
// Processors with AVX2 take eight pairs at a time, others four: the frames
// must not depend on which.
TEST(PairForces, EightLanesGiveTheBitsOfFour) {
  if (!solver_pairs::WidePairs()) GTEST_SKIP() << "no AVX2 here";
  auto run = [](bool wide) {
    std::unique_ptr<FluidSolver> s(Crowd(500, 5));
    solver_pairs::WidePairs() = wide;
    s->RebuildNeighbourGrid(0.0f);
    EXPECT_TRUE(s->BuildNeighbourPairs());
    std::vector<FluidParticle> built(s->particles.begin(), s->particles.begin() + s->count);
    // Without a dead or new slot the density pass looks no flag up.
    s->ComputeDensityAndForces();
    built.insert(built.end(), s->particles.begin(), s->particles.begin() + s->count);
    s->particles[5].dead = 1;
    s->ComputeDensityAndForces();
    s->ComputePressure();
    s->ComputePairForces();
    solver_pairs::WidePairs() = true;
    built.insert(built.end(), s->particles.begin(), s->particles.begin() + s->count);
    return built;
  };
  const std::vector<FluidParticle> wide = run(true), narrow = run(false);
  ASSERT_EQ(wide.size(), narrow.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    ASSERT_EQ(std::memcmp(&wide[i].density, &narrow[i].density, 4), 0) << i;
    ASSERT_EQ(std::memcmp(&wide[i].dtLimit, &narrow[i].dtLimit, 4), 0) << i;
    ASSERT_EQ(std::memcmp(&wide[i].cohesion, &narrow[i].cohesion, 12), 0) << i;
    ASSERT_EQ(std::memcmp(&wide[i].accel, &narrow[i].accel, 12), 0) << i;
  }
}
#endif

TEST(Cohesion, ScalesWithThicknessAndIgnoresUnknownSources) {
  std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));
  s->AddSource(Vec3f());
  int a = Put(*s, Vec3f(), 0.1f);
  int b = Put(*s, Vec3f(), 0.1f);
  s->particles[b].sourceIndex = 99;
  for (int i : {a, b}) {
    s->particles[i].cohesion = Vec3f(1.0f, 0.0f, 0.0f);
    s->particles[i].accel = Vec3f();
  }
  s->ApplyCohesion();
  EXPECT_EQ(s->particles[a].accel, Vec3f());  // thickness 0
  s->sources[0]->thickness = 7.0f;
  s->ApplyCohesion();
  EXPECT_NEAR(s->particles[a].accel.x, std::sqrt(1000.0), 1e-3);
  EXPECT_EQ(s->particles[b].accel, Vec3f());
}
