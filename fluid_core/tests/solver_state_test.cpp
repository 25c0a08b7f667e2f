// Solver state: kernel constants, set-up, slots, sources, bounds, ageing.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "solver_test_util.h"

using solver_test::MakeSolver;
using solver_test::Put;

TEST(SolverState, KernelConstantsFollowTheParticleDensity) {
  std::unique_ptr<FluidSolver> s(MakeSolver(50.0));
  EXPECT_NEAR(s->h, 0.271442f, 1e-6f);
  EXPECT_NEAR(s->cellSize, 0.361914f, 1e-6f);
  EXPECT_FLOAT_EQ(s->grid->cellSize, s->cellSize);
  EXPECT_EQ(s->stamp, 0);
  EXPECT_EQ(s->frameTag, 0x5E1379D3u);
  EXPECT_EQ(s->frameCache.frameTag, 0x5E1379D3u);
  EXPECT_EQ(s->particles.size(), 16384u);
  EXPECT_EQ(s->domainMax, Vec3f(1e9f, 1e9f, 1e9f));
  s->SetParticleDensity(216.0);
  EXPECT_NEAR(s->h, 1.0f / 6.0f, 1e-6f);
  EXPECT_NEAR(s->grid->cellSize, 0.361914f, 1e-6f);  // the grid waits for the next set-up
  EXPECT_FLOAT_EQ(s->particleMass, 1000.0f / 216.0f);
  EXPECT_EQ(FrameCache().frameTag, 0x6DD41E2Du);
}

TEST(SolverState, SetupKeepsRecordsButClearsCountFlagsSourcesAndColliders) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->AddSource(Vec3f(1, 2, 3));
  const SolverSource& src = *s->sources[0];
  EXPECT_EQ(src.pos, Vec3f(1, 2, 3));
  EXPECT_EQ(src.prevPos, Vec3f(1, 2, 3));
  EXPECT_FLOAT_EQ(src.spacing, 1.0f / 6.0f);
  EXPECT_EQ(src.lifeFrames, 2000);
  EXPECT_EQ(src.randomEmission, 1);
  EXPECT_EQ(src.pointsStale, 1);
  EXPECT_EQ(src.solver, s.get());
  s->colliders.push_back(new ColliderMesh());
  int a = Put(*s, Vec3f(5, 5, 5));
  s->particles[a].dead = 1;
  s->particles[a].isNew = 1;
  s->killedCount = 3;
  s->Setup(64.0, 1000.0f, 0.04f, true);
  EXPECT_EQ(s->count, 0);
  EXPECT_EQ(s->particles.size(), 16384u);
  EXPECT_EQ(s->particles[a].pos, Vec3f(5, 5, 5));
  EXPECT_EQ(s->particles[a].dead, 0);
  EXPECT_EQ(s->particles[a].isNew, 0);
  EXPECT_TRUE(s->sources.empty());  // freed, not leaked
  EXPECT_TRUE(s->colliders.empty());
  EXPECT_EQ(s->killedCount, 0);
  EXPECT_NEAR(s->h, 0.25f, 1e-6f);  // the power is taken as 0.333333
  EXPECT_EQ(s->grid->cellSize, s->h * 1.3333f);
}

TEST(SolverState, DefaultRecordsGrowthBoundsAndAgeing) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->GrowParticles();
  EXPECT_EQ(s->particles.size(), 32768u);
  EXPECT_EQ(s->displayParticles.size(), 32768u);
  const FluidParticle& fresh = s->particles[20000];
  EXPECT_EQ(fresh.active, 1);
  EXPECT_EQ(fresh.dead, 0);
  EXPECT_EQ(fresh.isNew, 0);
  EXPECT_EQ(fresh.neighbourCount, 0);
  EXPECT_EQ(s->PairCount(20000), 0);
  EXPECT_EQ(fresh.pos, Vec3f());

  s->ComputeBounds();
  EXPECT_EQ(s->bounds[0], 1e6f);
  EXPECT_EQ(s->bounds[3], -1e6f);
  int dead = Put(*s, Vec3f(5, 5, 5));
  Put(*s, Vec3f(-1, 2, 0.5f));
  Put(*s, Vec3f(1, -2, 0.25f));
  s->particles[dead].dead = 1;
  s->ComputeBounds();
  EXPECT_EQ(s->bounds[0], -1.0f);
  EXPECT_EQ(s->bounds[1], -2.0f);
  EXPECT_EQ(s->bounds[2], 0.25f);
  EXPECT_EQ(s->bounds[3], 1.0f);
  EXPECT_EQ(s->bounds[5], 0.5f);
  s->AgeParticles();
  s->AgeParticles();
  EXPECT_EQ(s->particles[dead].age, 2);  // dead slots age too
  s->particles[1].dtLimit = 0.001f;
  s->particles[dead].dtLimit = 0.0005f;
  EXPECT_EQ(s->MaxStableStep(), 0.0005f);
}

TEST(SolverState, ExpiredAndParkedRecordsAreMarkedDead) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->AddSource(Vec3f());
  s->sources[0]->lifeFrames = 10;
  std::vector<FluidParticle> list(4);
  list[0].age = 11; list[0].pos = Vec3f(1, 1, 1);
  list[1].age = 10; list[1].pos = Vec3f(1, 1, 1);
  list[2].age = 0;  list[2].pos = s->parkingPos;
  list[3].age = 50; list[3].sourceIndex = 7; list[3].pos = Vec3f(1, 1, 1);
  s->MarkExpiredParticles(list, 4);
  EXPECT_EQ(list[0].dead, 1);
  EXPECT_EQ(list[1].dead, 0);
  EXPECT_EQ(list[2].dead, 1);
  EXPECT_EQ(list[3].dead, 0);  // no such source: not expired
}

TEST(SolverState, DegenerateColliderFacesAreNeverHit) {
  ColliderMesh m;
  m.mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(2, 0, 0)};
  m.mesh.faces = {{0, 1, 2}, {0, 1, 9}};
  m.ComputeFaceData(0.5f);
  EXPECT_EQ(m.faceNormal[0], Vec3f());
  float d;
  bool hit;
  Vec3f toPlane;
  FluidSolver::ColliderFaceDistance(m, 0, Vec3f(0.5f, 0, 0.01f), 1.0f, d, hit, toPlane);
  EXPECT_FALSE(hit);
  FluidSolver::ColliderFaceDistance(m, 1, Vec3f(0.5f, 0, 0.01f), 1.0f, d, hit, toPlane);
  EXPECT_FALSE(hit);
}

TEST(SolverState, ParticlesAtRestInsideEachOthersRangeStillRepel) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(0.0f, 0, 0), 0.1f);
  int b = Put(*s, Vec3f(0.02f, 0, 0), 0.1f);
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  float mu = 1.0f;
  Vec3f grad;
  ASSERT_TRUE(s->PairTerms(a, 0, mu, grad));
  EXPECT_EQ(mu, 0.0f);  // at rest: no viscosity term
  ASSERT_TRUE(s->Step(0.0f, 0.001f, {}, 0.0f, false, true));
  EXPECT_LT(s->particles[a].pairAccel.x, 0.0f);
  EXPECT_GT(s->particles[b].pairAccel.x, 0.0f);
}
