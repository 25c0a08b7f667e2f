// Emission layers and phase, source refresh, ready point lists and source
// frame files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "fill_geometry/hilera.h"
#include "host/core/clock.h"
#include "solver_test_util.h"

using solver_test::MakeSolver;

namespace {
// A source of spacing 0.1 emitting at speed 1 (pressure 500) along +z
// with an identity transform.
SolverSource& SpeedOneSource(FluidSolver& s, std::vector<Vec3f> points) {
  s.AddSource(Vec3f());
  SolverSource& src = *s.sources.back();
  src.spacing = 0.1f;
  src.mass = 1.0f;
  src.pressure = 500.0f;
  src.dir = Vec3f(0, 0, 1);
  src.emissionPoints = std::move(points);
  return src;
}
}  // namespace

TEST(Emission, ShortTravelOnlyAdvancesThePhase) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  SolverSource& src = SpeedOneSource(*s, {Vec3f(0, 0, 0.0f), Vec3f(0, 0, 0.12f)});
  std::vector<int> slots;
  s->EmitFromSource(src, 0.05f, slots);
  EXPECT_TRUE(slots.empty());
  EXPECT_FLOAT_EQ(src.phase, 0.05f);
  s->EmitFromSource(src, 0.05f, slots);  // now past the layer at 0.12? not yet (0.10)
  EXPECT_TRUE(slots.empty());
  s->EmitFromSource(src, 0.05f, slots);
  EXPECT_EQ(slots.size(), 1u);
}

TEST(Emission, ExactlyOnePeriodWrapsThePhaseToZero) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  SolverSource& src = SpeedOneSource(*s, {Vec3f(0, 0, 0.0f), Vec3f(1, 0, 0.12f)});
  const float period = 2.0f * (1.2f * 0.1f);
  std::vector<int> slots;
  s->EmitFromSource(src, period, slots);
  EXPECT_EQ(slots.size(), 1u);
  EXPECT_EQ(src.phase, 0.0f);
}

TEST(Emission, TwoAndAHalfPeriodsEmitFirstSpanRemainderAndOneFullPass) {
  vorel::host::FixClockMs(1234);
  std::unique_ptr<FluidSolver> s(MakeSolver());
  SolverSource& src = SpeedOneSource(
      *s, {Vec3f(0, 0, 0.0f), Vec3f(1, 0, 0.05f), Vec3f(2, 0, 0.15f), Vec3f(3, 0, 0.2f)});
  const float layerStep = 1.2f * 0.1f, period = 2.0f * layerStep;
  std::vector<int> slots;
  s->EmitFromSource(src, 2.5f * period, slots);
  ASSERT_EQ(slots.size(), 9u);
  EXPECT_NEAR(src.phase, 0.5f * period, 1e-6f);
  // Order: P0 remainder; P1 first span, P1 remainder; P2, P3 first span;
  // then the full pass over all four.
  const float xs[9] = {0, 1, 1, 2, 3, 0, 1, 2, 3};
  const float travel = 2.5f * period;
  const float base[9] = {travel - 0.0f - period - period, travel - 0.05f, travel - 0.05f - period - period,
                         travel - 0.15f, travel - 0.2f, travel - 0.0f - period, travel - 0.05f - period,
                         travel - 0.15f - period, travel - 0.2f - period};
  for (int c = 0; c < 9; ++c) {
    const FluidParticle& p = s->particles[slots[c]];
    EXPECT_EQ(p.pos.x, xs[c]) << c;
    float jitter = p.pos.z - base[c];
    EXPECT_GE(jitter, -0.6f * 0.1f - 1e-5f) << c;
    EXPECT_LE(jitter, 0.54f * 0.1f + 1e-5f) << c;
    EXPECT_FLOAT_EQ(p.vel.z, 1.0f);
    EXPECT_EQ(p.spacing, 0.1f);
  }
  vorel::host::UnfixClock();
}

TEST(Emission, PositionsGoThroughTheSourceTransformAndTextureFrame) {
  vorel::host::FixClockMs(99);
  std::unique_ptr<FluidSolver> s(MakeSolver());
  SolverSource& src = SpeedOneSource(*s, {Vec3f(0.5f, 0.25f, 0.05f)});
  // Rotation of 90 degrees about z, then a translation.
  const float tm[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 10, 20, 30};
  std::memcpy(src.tm, tm, sizeof tm);
  src.sourceIndex = 0;
  src.tag = 77;
  s->texAxisU = Vec3f(2, 0, 0);
  std::vector<int> slots;
  s->EmitFromSource(src, 0.1f, slots);
  ASSERT_EQ(slots.size(), 1u);
  const FluidParticle& p = s->particles[slots[0]];
  EXPECT_FLOAT_EQ(p.pos.x, 10.0f - 0.25f);
  EXPECT_FLOAT_EQ(p.pos.y, 20.0f + 0.5f);
  EXPECT_NEAR(p.pos.z, 30.0f + 0.1f - 0.05f, 0.07f);
  EXPECT_FLOAT_EQ(p.texCoord.x, p.pos.x / 2.0f);
  EXPECT_EQ(p.texCoord.y, 0.0f);  // no axis: 0, not NaN
  EXPECT_EQ(p.tag, 77u);
  vorel::host::UnfixClock();
}

TEST(Emission, EmitSourcesMarksNewParticlesAndSkipsSilentSources) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  SolverSource& src = SpeedOneSource(*s, {Vec3f(0, 0, 0.05f)});
  s->AddSource(Vec3f());  // pressure 0: silent
  s->sources[1]->emissionPoints = {Vec3f(0, 0, 0.05f)};
  EXPECT_TRUE(s->EmitSources(2.0f, 0.1f));
  ASSERT_EQ(s->count, 1);
  const FluidParticle& p = s->particles[0];
  EXPECT_EQ(p.clock, 2.0f);
  EXPECT_EQ(p.isNew, 1);
  EXPECT_EQ(p.age, 0);
  EXPECT_EQ(p.dead, 0);
  src.pressure = 0.0f;
  EXPECT_FALSE(s->EmitSources(2.1f, 0.1f));
}

TEST(Emission, ParticlesStartingWhereAFacePushesStartAtItsEdgeOrAreNotEmitted) {
  // A disc of 5 x 5 points (spacing 0.1) 0.05 above a floor whose gap is
  // the reach, 0.1333: the points of the first layer start inside the
  // floor's push, and an emitter this near a wall threw them across the
  // tank. Emitted across the floor they start at the edge of the push;
  // emitted along it they are not emitted at all.
  const float gap = FluidSolver::CollisionReach(0.1f);
  auto emit = [&](const Vec3f& dir, bool floor) {
    vorel::host::FixClockMs(4321);
    std::unique_ptr<FluidSolver> s(MakeSolver());
    std::vector<Vec3f> disc;
    for (int l = 0; l < 2; ++l)
      for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) disc.emplace_back(i * 0.1f, j * 0.1f, l * 0.12f + 0.01f * float((i + j) % 3));
    SolverSource& src = SpeedOneSource(*s, disc);
    src.dir = dir;
    src.tm[11] = 0.05f;
    if (floor) {
      ColliderMesh* f = solver_test::Floor(0.0f, 10.0f, 1.0f);
      f->collisionGap = 4.0f;  // beyond the reach: the reach
      s->colliders.push_back(f);
    }
    std::vector<int> slots;
    s->EmitFromSource(src, 0.3f, slots);
    std::vector<FluidParticle> out;
    for (int k : slots) out.push_back(s->particles[k]);
    vorel::host::UnfixClock();
    return out;
  };
  for (const Vec3f& dir : {Vec3f(0, 0, 1), Vec3f(0, 0, -1), Vec3f(0, 0.6f, 0.8f)}) {
    const std::vector<FluidParticle> free = emit(dir, false), held = emit(dir, true);
    ASSERT_EQ(held.size(), free.size());
    int moved = 0;
    for (size_t k = 0; k < free.size(); ++k) {
      EXPECT_EQ(held[k].vel, free[k].vel) << k;
      EXPECT_EQ(held[k].pos.x, free[k].pos.x) << k;
      EXPECT_EQ(held[k].pos.y, free[k].pos.y) << k;
      if (free[k].pos.z >= gap) {
        EXPECT_EQ(held[k].pos.z, free[k].pos.z) << k;
      } else {
        EXPECT_NEAR(held[k].pos.z, gap, 1e-5f) << k;
        ++moved;
      }
    }
    EXPECT_GT(moved, 10) << dir.z;
  }
  const std::vector<FluidParticle> free = emit(Vec3f(1, 0, 0), false), held = emit(Vec3f(1, 0, 0), true);
  size_t k = 0, kept = 0;
  for (const FluidParticle& p : free) {
    if (p.pos.z < gap) continue;
    ASSERT_LT(k, held.size());
    EXPECT_EQ(held[k++].pos, p.pos);
    ++kept;
  }
  EXPECT_EQ(held.size(), kept);
  EXPECT_LT(kept, free.size());
}

TEST(SourceRefresh, EmitterVelocityKeepsSmoothMovesAndDropsJumps) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->AddSource(Vec3f());
  SolverSource& src = *s->sources[0];
  const float tm[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  auto prepare = [&](const Vec3f& at, float duration, const Vec3f& dir) {
    s->PrepareSourceForFrame(src, 0.0f, 10.0f, 0, at, dir, 1.0f, duration, 0, tm, 0, nullptr, 1, 100,
                             0.0f, 1);
  };
  // Made at the origin, moved into place before its first frame: the
  // sub-steps, which give the particles their share of the emitter's
  // motion, see it at rest.
  prepare(Vec3f(0.3f, 0, 0), 1.0f / 30.0f, Vec3f(0, 0, 2));
  s->UpdateSourceSubStep(src, tm, Vec3f(0, 0, 1), Vec3f(0.3f, 0, 0), 0.007f, 1.0f);
  EXPECT_EQ(src.emitterVel, Vec3f());
  prepare(Vec3f(3.3f, 0, 0), 1.0f / 30.0f, Vec3f(0, 0, 2));
  EXPECT_NEAR(src.emitterVel.x, 90.0f, 1e-3f);
  EXPECT_EQ(src.dir, Vec3f(0, 0, 1));
  EXPECT_FLOAT_EQ(src.spacing, 0.1f);
  EXPECT_FLOAT_EQ(src.mass, 1.0f);
  EXPECT_EQ(src.pointsStale, 0);
  EXPECT_EQ(src.layerPointCounts[0], 0);  // no outlines: nothing to emit this frame
  prepare(Vec3f(7.3f, 0, 0), 1.0f / 30.0f, Vec3f(0, 0, 0));
  EXPECT_EQ(src.emitterVel, Vec3f());  // 120 units/s is a jump
  EXPECT_EQ(src.dir, Vec3f());         // no direction: no NaN
  prepare(Vec3f(7.301f, 0, 0), 0.00005f, Vec3f(1, 0, 0));
  EXPECT_EQ(src.emitterVel, Vec3f());

  s->UpdateSourceSubStep(src, tm, Vec3f(0, 1, 0), Vec3f(7.401f, 0, 0), 0.01f, 3.0f);
  EXPECT_NEAR(src.emitterVel.x, 10.0f, 1e-3f);  // from where the frame starts
  EXPECT_EQ(src.prevPos, src.pos);
  EXPECT_EQ(src.pressure, 3.0f);
  s->UpdateSourceSubStep(src, tm, Vec3f(0, 1, 0), Vec3f(8.5f, 0, 0), 0.01f, 3.0f);
  EXPECT_EQ(src.emitterVel, Vec3f());  // a sub-step's jump too
}

TEST(AddParticles, GrowsAcrossTheBlockAndClearsStaleFields) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->particles[0].texCoord = Vec3f(1, 2, 3);
  s->particles[0].pairAccel = Vec3f(4, 5, 6);
  s->particles[0].tag = 9;
  s->AppendPair(0, 5);
  s->AppendPair(0, 6);
  std::vector<Vec3f> pts(FluidSolver::kGrowStep + 10, Vec3f(1, 1, 1));
  s->AddParticles(5.0f, 3, pts, int(pts.size()), 0.5f, 2, 1);
  EXPECT_EQ(s->count, FluidSolver::kGrowStep + 10);
  EXPECT_EQ(s->particles.size(), size_t(2 * FluidSolver::kGrowStep));
  EXPECT_EQ(s->displayParticles.size(), size_t(2 * FluidSolver::kGrowStep));
  const FluidParticle& p = s->particles[0];
  EXPECT_EQ(p.texCoord, Vec3f());
  EXPECT_EQ(p.pairAccel, Vec3f());
  EXPECT_EQ(p.tag, 3u);
  EXPECT_EQ(s->PairCount(0), 0);
  EXPECT_EQ(p.neighbourCount, 0);
  EXPECT_EQ(p.isNew, 0);
  EXPECT_FLOAT_EQ(p.spacing, 0.2f);
  EXPECT_FLOAT_EQ(p.mass, 8.0f);
  EXPECT_EQ(p.clock, 0.5f);
  EXPECT_EQ(p.sourceIndex, 2);
}

TEST(SourceFile, ReadsCheckedRecordsScaledToSolverUnits) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  const std::string dir = solver_test::ScratchDir("sourcefile");
  auto write = [&](int frame, int32_t n, int32_t flag, int records) {
    std::vector<unsigned char> b(12 + 128 + 24 * size_t(records), 0);
    std::memcpy(&b[4], &n, 4);
    std::memcpy(&b[8], &flag, 4);
    for (int r = 0; r < records; ++r) {
      float v[6] = {20.0f * (r + 1), 40.0f, 60.0f, 2.0f, 0.0f, -2.0f};
      std::memcpy(&b[140 + 24 * r], v, 24);
    }
    char name[32];
    std::snprintf(name, sizeof name, "/%05d.source", frame);
    solver_test::WriteAll(dir + name, b);
  };
  write(1, 2, 0, 2);
  write(2, 2, 1, 2);
  write(3, 5, 0, 2);   // claims more than it holds
  write(4, -7, 0, 0);
  s->particles[0].tag = 55;
  EXPECT_EQ(s->ReadSourceFile(10.0f, 0.25f, 1, 4, dir), 2);
  ASSERT_EQ(s->count, 2);
  EXPECT_EQ(s->particles[1].pos, Vec3f(2.0f, 2.0f, 3.0f));
  EXPECT_EQ(s->particles[0].vel, Vec3f(0.1f, 0.0f, -0.1f));
  EXPECT_EQ(s->particles[0].tag, 0u);
  EXPECT_EQ(s->particles[0].sourceIndex, 4);
  EXPECT_EQ(s->particles[0].active, 1);
  EXPECT_EQ(s->ReadSourceFile(10.0f, 0.25f, 2, 4, dir), 0);
  EXPECT_EQ(s->ReadSourceFile(10.0f, 0.25f, 3, 4, dir), 2);
  EXPECT_EQ(s->ReadSourceFile(10.0f, 0.25f, 4, 4, dir), 0);
  EXPECT_EQ(s->ReadSourceFile(10.0f, 0.25f, 9, 4, dir), 0);
  EXPECT_EQ(s->count, 4);
}

TEST(SourceRefresh, ShapeOutlinesGiveTwoLayersAtTheirOffsets) {
  vorel::host::FixClockMs(5);
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->AddSource(Vec3f());
  SolverSource& src = *s->sources[0];
  Hileras rows;
  Hilera* square = new Hilera();
  for (auto xy : {std::pair<double, double>{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}})
    square->AddPoint(xy.first, xy.second);
  rows.Add(square);
  const float tm[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  s->PrepareSourceForFrame(src, 0.0f, 5.0f, 0, Vec3f(), Vec3f(0, 0, 1), 500.0f, 1.0f / 30.0f, 0, tm,
                           0, &rows, 1, 100, 0.0f, 1);
  ASSERT_GT(src.layerPointCounts[0], 10);
  ASSERT_GT(src.layerPointCounts[1], 10);
  ASSERT_EQ(src.emissionPoints.size(), size_t(src.layerPointCounts[0] + src.layerPointCounts[1]));
  const float layerStep = 1.2f * 0.2f;
  for (int i = 0; i < (int)src.emissionPoints.size(); ++i) {
    const Vec3f& p = src.emissionPoints[i];
    EXPECT_EQ(p.z, i < src.layerPointCounts[0] ? 0.0f : layerStep) << i;
    EXPECT_LE(std::fabs(p.x), 1.0f);
    EXPECT_LE(std::fabs(p.y), 1.0f);
  }
  // Random offsets stay inside each layer's band.
  s->PrepareSourceForFrame(src, 0.0f, 5.0f, 0, Vec3f(), Vec3f(0, 0, 1), 500.0f, 1.0f / 30.0f, 0, tm,
                           1, &rows, 1, 100, 0.0f, 1);
  for (int i = 0; i < (int)src.emissionPoints.size(); ++i) {
    float lo = i < src.layerPointCounts[0] ? 0.0f : layerStep;
    EXPECT_GE(src.emissionPoints[i].z, lo);
    EXPECT_LE(src.emissionPoints[i].z, lo + 0.95f * layerStep + 1e-6f);
  }
  vorel::host::UnfixClock();
}
