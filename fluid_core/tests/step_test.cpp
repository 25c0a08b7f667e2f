// The time step: phase order, abort points, sub-step rules, thread-count
// independence and a block of liquid settling on a floor.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>

#include "host/core/interaction.h"
#include "host/core/clock.h"
#include "solver_test_util.h"

using solver_test::Floor;
using solver_test::MakeSolver;
using solver_test::Put;

namespace {
// A small block of particles of spacing 0.1 on a cubic lattice.
void Block(FluidSolver& s, int nx, int ny, int nz, const Vec3f& corner, float a = 0.095f) {
  std::vector<Vec3f> pts;
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) pts.emplace_back(corner.x + i * a, corner.y + j * a, corner.z + k * a);
  s.AddParticles(10.0f, 0, pts, int(pts.size()), 0.0f, 0, 1);
}

// Frames of sub-steps as the frame driver cuts them: each as long as the
// particles allow, the first of a frame rebuilding the pairs.
bool RunFrames(FluidSolver& s, int frames, float gravity, float& clock) {
  const std::vector<Vec3f> none;
  for (int f = 0; f < frames; ++f) {
    const float target = clock + s.frameLength;
    bool first = true;
    while (clock < target) {
      float len = s.count > 0 ? s.MaxStableStep() : s.frameLength * 0.5f;
      if (clock + len > target) len = target - clock;
      if (!s.Step(clock, clock + len, none, gravity, false, first)) return false;
      clock += len;
      first = false;
    }
    s.AgeParticles();
  }
  return true;
}
}  // namespace

TEST(Step, EmptySolverStaysEmpty) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  EXPECT_FLOAT_EQ(s->MaxStableStep(), s->frameLength / 6.0f);
  EXPECT_TRUE(s->Step(0.0f, 0.01f, {}, 10.0f, false, true));
  EXPECT_TRUE(s->Step(0.01f, 0.02f, {}, 10.0f, false, false));
  EXPECT_EQ(s->bounds[0], 1e6f);
  EXPECT_EQ(s->bounds[5], -1e6f);
  EXPECT_EQ(s->count, 0);
}

TEST(Step, EmittedParticleKeepsItsEmittedPosition) {
  auto make = [] {
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    SolverSource& src = *s->sources[0];
    src.spacing = 0.1f;
    src.mass = 1.0f;
    src.pressure = 500.0f;
    src.dir = Vec3f(0, 0, 1);
    src.emissionPoints = {Vec3f(0, 0, 0.01f)};
    return s;
  };
  // The emission is seeded from the clock: with the clock held, a twin
  // solver's emission alone gives the position the step must leave alone.
  vorel::host::FixClockMs(4321);
  std::unique_ptr<FluidSolver> twin = make();
  std::vector<int> slots;
  twin->EmitFromSource(*twin->sources[0], 0.05f, slots);
  ASSERT_EQ(slots.size(), 1u);
  const Vec3f emitted = twin->particles[slots[0]].pos;
  std::unique_ptr<FluidSolver> s = make();
  ASSERT_TRUE(s->Step(0.0f, 0.05f, {}, 10.0f, false, false));
  vorel::host::UnfixClock();
  ASSERT_EQ(s->count, 1);
  const FluidParticle& p = s->particles[0];
  EXPECT_EQ(p.clock, 0.05f);
  EXPECT_EQ(p.vel, Vec3f(0, 0, 1));  // not accelerated by gravity in its first step
  EXPECT_EQ(p.pos, emitted);         // nor moved
  EXPECT_EQ(s->bounds[2], p.pos.z);
}

TEST(Step, EscapeStopsTheStepAtEachTestPoint) {
  for (int stopAt = 1; stopAt <= 4; ++stopAt) {
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    s->sources[0]->thickness = 3.0f;
    Block(*s, 3, 3, 3, Vec3f(0, 0, 1));
    ASSERT_TRUE(s->Step(0.0f, 0.001f, {}, 10.0f, false, true));
    std::vector<Vec3f> before;
    for (int i = 0; i < s->count; ++i) {
      before.push_back(s->particles[i].pos);
      s->particles[i].pressureTerm = -1.0f;
      s->particles[i].pairAccel = Vec3f(-1, -1, -1);
      s->particles[i].collided = 7;
    }
    int polls = 0;
    solver_host::SetAbortTest([&] { return ++polls == stopAt; });
    EXPECT_FALSE(s->Step(0.001f, 0.002f, {}, 10.0f, false, false)) << stopAt;
    solver_host::SetAbortTest([] { return false; });
    EXPECT_EQ(polls, stopAt);
    const FluidParticle& p = s->particles[13];
    EXPECT_EQ(p.pressureTerm == -1.0f, stopAt < 2) << stopAt;
    EXPECT_EQ(p.pairAccel == Vec3f(-1, -1, -1), stopAt < 3) << stopAt;
    EXPECT_EQ(p.collided, 7) << stopAt;  // collisions never ran
    for (int i = 0; i < s->count; ++i) ASSERT_EQ(s->particles[i].pos, before[i]);
  }
}

TEST(Step, EscapeDuringThePairWalkFailsTheStep) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  Block(*s, 3, 3, 3, Vec3f(0, 0, 1));
  int polls = 0;
  solver_host::SetAbortTest([&] { return ++polls == 2; });
  EXPECT_FALSE(s->Step(0.0f, 0.001f, {}, 10.0f, false, true));
  solver_host::SetAbortTest([] { return false; });
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(s->particles[0].pos, Vec3f(0, 0, 1));
}

TEST(Step, FrictionOnlyOnTheSubStepsTheDivisorLeaves) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  ColliderMesh* floor = Floor(0.0f, 10.0f);
  floor->friction = 100.0f;
  floor->adherence = 1e-12f;
  floor->bounce = 100.0f;
  s->colliders.push_back(floor);
  Put(*s, Vec3f(0.3f, 0.3f, 0.09f), 0.1f, Vec3f(1.0f, 0.0f, 0.0f));
  // Sub-steps 1, 4 and 7 of seven take the friction (a divisor of 3), each
  // keeping 85% of the sliding speed; the others leave it as it is.
  const bool skip[7] = {false, true, true, false, true, true, false};
  const float vx[7] = {0.85f, 0.85f, 0.85f, 0.7225f, 0.7225f, 0.7225f, 0.614125f};
  for (int k = 0; k < 7; ++k) {
    ASSERT_TRUE(s->Step(0.0f, 0.0f, {}, 0.0f, skip[k], k == 0));
    EXPECT_FLOAT_EQ(s->particles[0].vel.x, vx[k]) << k;
  }
}

TEST(Step, OneThreadAndManyGiveTheSameParticles) {
  auto run = [](int threads) {
    omp_set_num_threads(threads);
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    s->sources[0]->thickness = 2.0f;
    ColliderMesh* floor = Floor(0.0f, 10.0f);
    s->colliders.push_back(floor);
    Block(*s, 12, 10, 9, Vec3f(-0.6f, -0.5f, 0.2f));  // large enough for the parallel paths
    float clock = 0.0f;
    EXPECT_TRUE(RunFrames(*s, 2, 20.1f, clock));
    std::vector<Vec3f> out;
    for (int i = 0; i < s->count; ++i) out.push_back(s->particles[i].pos);
    return out;
  };
  const int all = omp_get_max_threads();
  const int team = 3;  // enough to split every loop, light on a busy machine
  std::vector<Vec3f> one = run(1), many = run(team);
  omp_set_num_threads(all);
  ASSERT_EQ(one.size(), many.size());
  for (size_t i = 0; i < one.size(); ++i) ASSERT_EQ(one[i], many[i]) << i;
}

TEST(Step, WhatAStepKeepsForTheNextMatchesTheRecords) {
  // Each sub-step starts from what the closing pass of the one before kept
  // of the records, and MaxStableStep answers from it: a twin told before
  // every call that its records changed reads them afresh, and must end
  // the same, bit for bit. An inactive particle and one killed on the way
  // take the kept copies' rarer paths.
  auto run = [](bool afresh, std::vector<float>& limits) {
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    s->colliders.push_back(Floor(0.0f, 10.0f));
    s->domainMax = Vec3f(10, 10, 0.9f);
    Block(*s, 12, 10, 9, Vec3f(-0.6f, -0.5f, 0.1f));
    s->particles[5].active = 0;
    s->particles[5].pressureTerm = 0.25f;
    s->particles[1075].vel = Vec3f(0, 0, 30.0f);  // leaves through the top
    float clock = 0.0f;
    for (int f = 0; f < 2; ++f) {
      const float target = clock + s->frameLength;
      for (bool first = true; clock < target; first = false) {
        if (afresh) s->RecordsChanged();
        float len = s->MaxStableStep();
        limits.push_back(len);
        if (clock + len > target) len = target - clock;
        if (afresh) s->RecordsChanged();
        EXPECT_TRUE(s->Step(clock, clock + len, {}, 20.1f, false, first));
        clock += len;
      }
    }
    EXPECT_LT(s->LiveCount(), s->count);
    // A record changed by hand between steps is seen once announced.
    s->particles[7].dtLimit = 1e-6f;
    s->RecordsChanged();
    limits.push_back(s->MaxStableStep());
    return s;
  };
  std::vector<float> kept, afresh;
  std::unique_ptr<FluidSolver> a = run(false, kept), b = run(true, afresh);
  EXPECT_EQ(kept, afresh);
  EXPECT_EQ(kept.back(), 1e-6f);
  ASSERT_EQ(a->count, b->count);
  for (int i = 0; i < a->count; ++i) {
    const FluidParticle &p = a->particles[i], &q = b->particles[i];
    ASSERT_EQ(std::memcmp(&p, &q, offsetof(FluidParticle, cohesion)), 0) << i;  // the hot fields
    ASSERT_EQ(p.pairAccel, q.pairAccel) << i;
  }
}

TEST(Step, BlockDroppedOnAFloorComesToRest) {
  // The defaults a new system and source get: LOD 6, thickness 5, gravity
  // 20.1, floor bounce 50, friction 1, gap 0.01, adherence 0.33.
  std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
  s->AddSource(Vec3f());
  s->sources[0]->thickness = 5.0f;
  ColliderMesh* floor = Floor(0.0f, 20.0f, 1.3333f / 6.0f);
  floor->adherence = 0.33f;
  floor->bounce = 50.0f;
  floor->collisionGap = 0.01f;
  s->colliders.push_back(floor);
  s->domainMin = Vec3f(-20, -20, -5);
  s->domainMax = Vec3f(20, 20, 20);
  std::vector<Vec3f> pts;
  for (int k = 0; k < 6; ++k)
    for (int j = 0; j < 8; ++j)
      for (int i = 0; i < 8; ++i) pts.emplace_back(i / 6.0f, j / 6.0f, 0.4f + k / 6.0f);
  s->AddParticles(6.0f, 0, pts, int(pts.size()), 0.0f, 0, 1);
  const int n = s->count;
  float clock = 0.0f;
  ASSERT_TRUE(RunFrames(*s, 60, 20.1f, clock));  // 2 seconds
  EXPECT_EQ(s->count, n);
  EXPECT_EQ(s->LiveCount(), n);
  EXPECT_EQ(s->killedCount, 0);
  Vec3f meanVel;
  float minZ = 1e9f, maxZ = -1e9f;
  for (int i = 0; i < n; ++i) {
    const FluidParticle& p = s->particles[i];
    ASSERT_TRUE(std::isfinite(p.pos.x) && std::isfinite(p.pos.y) && std::isfinite(p.pos.z)) << i;
    ASSERT_TRUE(std::isfinite(p.vel.x) && std::isfinite(p.vel.y) && std::isfinite(p.vel.z)) << i;
    meanVel += p.vel * (1.0f / n);
    minZ = std::min(minZ, p.pos.z);
    maxZ = std::max(maxZ, p.pos.z);
  }
  // On the floor: above it, and spread into a low layer well below where
  // the block started (0.4 .. 1.23).
  EXPECT_GT(minZ, 0.0f);
  EXPECT_LT(maxZ, 0.5f);
  // At rest as a body: no fall or drift left (the impact came at about 4.5
  // units/s), and the particles by the floor are not kept shaking by its
  // push (a push switching on at full strength kept them at about 2 units/s).
  EXPECT_LT(Vec3Length(meanVel), 0.3f);
  double floorVz2 = 0.0;
  int onFloor = 0;
  for (int i = 0; i < n; ++i) {
    const FluidParticle& p = s->particles[i];
    if (p.pos.z < 0.2f) {
      floorVz2 += double(p.vel.z) * p.vel.z;
      ++onFloor;
    }
  }
  ASSERT_GT(onFloor, n / 4);
  EXPECT_LT(std::sqrt(floorVz2 / onFloor), 0.6);
}

// A particle that starts within one step of a face (beyond its push),
// moving into it, ends the run's first step back on its side, moving away,
// from above and from below alike.
TEST(Step, FirstStepKeepsAParticleOnAFaceOnItsSide) {
  std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
  s->AddSource(Vec3f());
  ColliderMesh* floor = Floor(0.0f, 20.0f, 1.3333f / 6.0f);
  floor->adherence = 0.0f;
  s->colliders.push_back(floor);
  s->domainMin = Vec3f(-20, -20, -5);
  s->domainMax = Vec3f(20, 20, 20);
  const int above = Put(*s, Vec3f(0.5f, 0.5f, 0.3f), 1.0f / 6.0f, Vec3f(0, 0, -40));
  const int below = Put(*s, Vec3f(-0.5f, 0.5f, -0.3f), 1.0f / 6.0f, Vec3f(0, 0, 40));
  ASSERT_TRUE(s->Step(0.0f, 0.01f, {}, 20.1f, false, true));
  EXPECT_GT(s->particles[above].pos.z, 0.0f);
  EXPECT_GT(s->particles[above].vel.z, 0.0f);
  EXPECT_LT(s->particles[below].pos.z, 0.0f);
  EXPECT_LT(s->particles[below].vel.z, 0.0f);
}

TEST(Step, LoneParticleOnASlipperyFloorGainsNoHeight) {
  // No adherence: no friction or bounce either, only gravity and the push.
  // A drop from 0.3 bounces; the varying step still lets it gain a little
  // (about a quarter of its height in three seconds), where a push switching
  // on at full strength threw it several units high within two.
  std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
  s->AddSource(Vec3f());
  ColliderMesh* floor = Floor(0.0f, 20.0f, 1.3333f / 6.0f);
  floor->adherence = 0.0f;
  floor->collisionGap = 0.01f;
  s->colliders.push_back(floor);
  Put(*s, Vec3f(0, 0, 0.3f), 1.0f / 6.0f);
  float clock = 0.0f, top = 0.0f;
  for (int f = 0; f < 90; ++f) {
    ASSERT_TRUE(RunFrames(*s, 1, 20.1f, clock));
    top = std::max(top, s->particles[0].pos.z);
  }
  EXPECT_EQ(s->LiveCount(), 1);
  EXPECT_GT(s->particles[0].pos.z, 0.0f);
  EXPECT_LT(top, 0.5f);
}

TEST(Step, TheHostsEscapeKeyStopsAStep) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  Put(*s, Vec3f(0, 0, 1), 0.1f);
  solver_host::SetAbortTest(nullptr);  // the host's own test
  vorel::host::ResetInteraction();
  vorel::host::PressEscapeAtPoll(1);
  EXPECT_FALSE(s->Step(0.0f, 0.01f, {}, 10.0f, false, false));
  vorel::host::PressEscapeAtPoll(0);
  static int otherWindow;
  vorel::host::SetForeground(reinterpret_cast<HWND>(&otherWindow));  // Escape elsewhere does not count
  vorel::host::PressEscapeAtPoll(1);
  EXPECT_TRUE(s->Step(0.01f, 0.02f, {}, 10.0f, false, false));
  vorel::host::ResetInteraction();
  solver_host::SetAbortTest([] { return false; });
}
