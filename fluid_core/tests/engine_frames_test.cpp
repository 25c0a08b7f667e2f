// Time mapping and evaluation, restarts from a stored frame, frame saving,
// statistics and the emitters' display feed.
#include <cstring>

#include "engine_test_util.h"

using engine_test::EngineTest;
using solver_test::Put;

namespace {
// Writes frame n from the solver as it stands and records its count.
void Store(FluidEngine& e, int n) {
  e.frameParticleCount[n] = e.solver->count;
  e.SaveFrame(n);
}
}  // namespace

TEST_F(EngineTest, HostTimesMapToCacheFramesFromTheStartFrame) {
  auto e = MakeEngine();
  e->startFrame = 10;
  EXPECT_EQ(e->FrameFromTime(5 * 160), 0);
  EXPECT_EQ(e->FrameFromTime(15 * 160), 5);
  EXPECT_EQ(e->FrameFromTime(15 * 160 + 159), 5);
  EXPECT_DOUBLE_EQ(e->FrameTime(0), 1600.0 / 4800.0);
  EXPECT_DOUBLE_EQ(e->FrameTime(2), 1920.0 / 4800.0);
}

TEST_F(EngineTest, EvaluationShowsTheMappedFrameWithOffsetHoldAndLoop) {
  auto e = MakeEngine();
  IParamBlock2* pb = owner.block.get();
  e->lastSolved = 100;
  std::fill(e->frameMeshed.begin(), e->frameMeshed.begin() + 101, 1);
  auto shownAt = [&](int frame) {
    e->lastEvalFrame = -1;
    owner.shown.clear();
    e->UpdateToTime(frame * 160);
    return owner.shown.empty() ? -99 : owner.shown.back();
  };
  EXPECT_EQ(shownAt(40), 40);
  // Between whole frames nothing happens; the same frame twice neither.
  owner.shown.clear();
  e->UpdateToTime(40 * 160 + 1);
  EXPECT_TRUE(owner.shown.empty());
  e->lastEvalFrame = 40;
  e->UpdateToTime(40 * 160);
  EXPECT_TRUE(owner.shown.empty());

  pb->SetValue(kFluidOffset, 0, 5);
  EXPECT_EQ(shownAt(7), 2);
  EXPECT_EQ(shownAt(3), 0);
  EXPECT_EQ(e->timeOffset, 5);
  pb->SetValue(kFluidOffset, 0, 0);

  // Beyond the solved range: hide, keep the last, loop the last N.
  EXPECT_EQ(shownAt(101), -1);
  pb->SetValue(kFluidOutOfRangeAction, 0, 1);
  EXPECT_EQ(shownAt(150), 100);
  pb->SetValue(kFluidOutOfRangeAction, 0, 2);
  pb->SetValue(kFluidFramesToLoopFor, 0, 10);
  EXPECT_EQ(shownAt(101), 91);
  EXPECT_EQ(shownAt(109), 99);
  EXPECT_EQ(shownAt(110), 90);
  pb->SetValue(kFluidFramesToLoopFor, 0, 200);
  EXPECT_EQ(shownAt(101), -1);  // mapped below 0: nothing shown
  // A loop length of 0 from a damaged scene loops one frame, no division by 0.
  pb->SetValue(kFluidFramesToLoopFor, 0, 0);
  EXPECT_EQ(shownAt(105), 99);

  // Not meshed, or the surface switched off: empty.
  pb->SetValue(kFluidOutOfRangeAction, 0, 0);
  e->frameMeshed[30] = 0;
  EXPECT_EQ(shownAt(30), -1);
  pb->SetValue(kFluidShowMesh, 0, 0);
  EXPECT_EQ(shownAt(31), -1);
}

TEST_F(EngineTest, AFreshSystemSolvesAtItsFirstWholeFrameButNeverInsideARunningSolve) {
  auto e = MakeEngine();
  owner.runningLog.clear();
  e->UpdateToTime(0);
  EXPECT_EQ(e->lastSolved, 0);  // frame 0 of a fresh system: nothing to simulate
  ASSERT_FALSE(owner.runningLog.empty());

  // A batch solve drives the next frame; a running solve blocks it.
  owner.solving = true;
  GetCOREInterface()->SetTime(160, false);
  owner.running = true;
  e->lastEvalFrame = -1;
  e->UpdateToTime(160);
  EXPECT_EQ(e->lastSolved, 0);
  owner.running = false;
  e->lastEvalFrame = -1;
  e->UpdateToTime(160);
  EXPECT_EQ(e->lastSolved, 1);

  // lastSolved = -1 solves whatever the flags, except inside a running solve.
  e->lastSolved = -1;
  owner.solving = false;
  owner.running = true;
  e->lastEvalFrame = -1;
  e->UpdateToTime(160);
  EXPECT_EQ(e->lastSolved, -1);
}

TEST_F(EngineTest, FramesBeyondTheTablesAreNeverSolved) {
  auto e = MakeEngine();
  EXPECT_FALSE(e->SolveFrame(10000));
  EXPECT_FALSE(e->SolveFrame(-1));
  GetCOREInterface()->SetTime(10000 * 160, false);
  e->UpdateToTime(10000 * 160);
  EXPECT_EQ(e->lastSolved, -1);
  EXPECT_EQ(owner.shown.back(), -1);
}

TEST_F(EngineTest, RestartFromFrameForgetsLaterResultsAndRecomputesDeadFlags) {
  auto e = MakeEngine();
  Put(*e->solver, Vec3f(1, 0, 0));
  Put(*e->solver, Vec3f(2, 0, 0));
  Put(*e->solver, Vec3f(0, 0, 0));  // parked
  Store(*e, 20);
  e->lastSolved = 50;
  e->lastMeshed = 40;
  for (int i = 21; i <= 50; ++i) {
    e->frameParticleCount[i] = 9;
    e->frameMeshed[i] = 1;
  }
  // Slots marked dead after frame 20 come back alive from the file.
  e->solver->particles[0].dead = 1;
  e->solver->particles[1].dead = 1;
  e->solver->count = 7;
  e->solver->killedCount = 2;
  ASSERT_TRUE(e->RestartFromFrame(20));
  EXPECT_EQ(e->lastSolved, 20);
  EXPECT_EQ(e->lastMeshed, 20);
  EXPECT_EQ(e->solver->count, 3);
  EXPECT_EQ(e->solver->particles[0].dead, 0);
  EXPECT_EQ(e->solver->particles[1].dead, 0);
  EXPECT_EQ(e->solver->particles[2].dead, 1);
  EXPECT_EQ(e->solver->killedCount, 1);
  EXPECT_EQ(e->frameParticleCount[21], 0);
  EXPECT_EQ(e->frameMeshed[50], 0);
  EXPECT_EQ(e->solverClock, e->FrameTime(20));
  EXPECT_EQ(e->lastEvalFrame, -1);
  // A table that counts more than the file holds: only what was read is in use.
  e->frameParticleCount[20] = 9;
  ASSERT_TRUE(e->RestartFromFrame(20));
  EXPECT_EQ(e->solver->count, 3);

  // Out of range or unreadable: nothing changes.
  EXPECT_FALSE(e->RestartFromFrame(21));
  EXPECT_FALSE(e->RestartFromFrame(-2));
  EXPECT_FALSE(e->RestartFromFrame(100000));
  e->lastSolved = 30;
  EXPECT_FALSE(e->RestartFromFrame(25));  // no file
  EXPECT_EQ(e->lastSolved, 30);
}

TEST_F(EngineTest, RestartGrowsTheParticleVectorsInBlocks) {
  auto e = MakeEngine();
  std::vector<Vec3f> pts(20000, Vec3f(1, 1, 1));
  e->solver->AddParticles(6.0f, 0, pts, 20000, 0.0f, 0, 1);
  Store(*e, 3);
  e->lastSolved = 3;
  e->solver->Setup(216.0, 1000.0f, 1.0f / 30, true);
  e->solver->particles.resize(16384);
  e->solver->displayParticles.resize(16384);
  ASSERT_TRUE(e->RestartFromFrame(3));
  EXPECT_EQ(e->solver->particles.size(), 32768u);
  EXPECT_EQ(e->solver->displayParticles.size(), 32768u);
  EXPECT_EQ(e->solver->count, 20000);
}

// Counts stored in a scene or a packed cache's headers may be damaged: the
// frame files, whose lengths are checked, bound every buffer sized by them.
TEST_F(EngineTest, StoredCountsBeyondTheFrameFilesAllocateNothing) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  for (int i = 0; i < 3; ++i) Put(*e->solver, Vec3f(float(i), 0, 0));
  Store(*e, 0);
  Store(*e, 1);
  e->lastSolved = 1;
  const std::string packed = root + "/cache.Vor";
  ASSERT_TRUE(e->PackCache(packed));
  const int32_t damaged = 0x7FFFFFF0;
  e->frameParticleCount[0] = e->frameParticleCount[1] = damaged;

  e->RefreshAfterLoad();  // the scene load's reload of the last frame
  EXPECT_EQ(e->solver->count, 3);
  EXPECT_LT(e->solver->particles.size(), 100000u);
  std::vector<Vec3f> pos, vel, acc;
  std::vector<int32_t> ages, nb;
  ASSERT_TRUE(e->GetSourceParticlesAtFrame(0, 1, pos, vel, ages, acc, nb, 0, false));
  EXPECT_EQ(pos.size(), 3u);
  EXPECT_LT(pos.capacity(), 100000u);
  EXPECT_TRUE(e->BuildSurfaceFrame(1));
  ASSERT_TRUE(e->RestartFromFrame(0));
  EXPECT_EQ(e->solver->count, 3);

  // A packed cache whose frame header lies about its count.
  auto bytes = solver_test::ReadAll(packed);
  const size_t frame1Count = 12 + 4 * 2 + 4 * 0 + size_t(ParticleFrameFile::Size(3)) + 8;
  std::memcpy(&bytes[frame1Count], &damaged, 4);
  solver_test::WriteAll(packed, bytes);
  auto t = MakeEngine();
  t->UnpackCache(packed);
  EXPECT_LT(t->solver->particles.size(), 100000u);
}

TEST_F(EngineTest, SavingAFrameCountsItsBytesUnlessEmptyOrHolding) {
  auto e = MakeEngine();
  EXPECT_EQ(e->SaveFrame(2), 272);
  EXPECT_EQ(e->particleCacheBytes, 0.0);
  Put(*e->solver, Vec3f(1, 0, 0));
  e->frameParticleCount[3] = 1;
  EXPECT_EQ(e->SaveFrame(3), 272 + 72);
  EXPECT_EQ(e->particleCacheBytes, 344.0);
  e->isHoldingTime = true;
  e->SaveFrame(3);
  EXPECT_EQ(e->particleCacheBytes, 344.0);
  EXPECT_EQ(e->SaveFrame(10000), 0);
}

TEST_F(EngineTest, StatisticsTexts) {
  auto e = MakeEngine();
  owner.rollout = reinterpret_cast<HWND>(7);
  e->ShowStatistics(owner.rollout);
  EXPECT_EQ(owner.texts[1087], "Surface cache:  0.0 KB");
  EXPECT_EQ(owner.texts[1088], "Particle cache:  0.0 KB");
  EXPECT_EQ(owner.texts[1053], "Particle count: 0");
  EXPECT_EQ(owner.texts[1054], "Frames solved: -1");
  EXPECT_EQ(owner.texts[1055], "Meshes solved: 0");

  e->lastSolved = 3;
  e->lastMeshed = 2;
  for (int k = 0; k <= 3; ++k) e->frameParticleCount[k] = 100;
  e->surfaceCacheBytes = 1500000000.0;
  auto t = e->StatisticsTexts();
  EXPECT_EQ(t[0], "Surface cache:   1.40 GB");
  // Four frames stored: four headers and 400 particles.
  EXPECT_EQ(e->particleCacheBytes, 4 * 272.0 + 400 * 72.0);
  EXPECT_EQ(t[1], "Particle cache: 29.2 KB");
  EXPECT_EQ(t[2], "Particle count: 100");
  EXPECT_EQ(t[3], "Frames solved: 3");
  EXPECT_EQ(t[4], "Meshes solved: 2");
  e->surfaceCacheBytes = 1048576.0;
  EXPECT_EQ(e->StatisticsTexts()[0], "Surface cache: 1024.0 KB");
  e->surfaceCacheBytes = 3.0 * 1048576.0;
  EXPECT_EQ(e->StatisticsTexts()[0], "Surface cache:   3.00 MB");
}

TEST_F(EngineTest, SurfaceCacheSizeSumsEveryStoredMeshFile) {
  auto e = MakeEngine();
  e->lastSolved = 2;
  for (int k : {0, 2}) solver_test::WriteAll(e->solver->frameCache.MeshPath(k), std::vector<unsigned char>(100 + k, 1));
  e->ComputeSurfaceCacheSize();
  EXPECT_EQ(e->surfaceCacheBytes, 202.0);
}

TEST_F(EngineTest, TheFeedReadsASourcesParticlesOfStoredFrames) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  Put(*e->solver, Vec3f(1, 0, 0));
  Put(*e->solver, Vec3f(2, 0, 0));
  e->solver->particles[1].sourceIndex = 3;
  e->solver->particles[0].age = 4;
  e->solver->particles[0].pairAccel = Vec3f(0, 2, 0);
  Store(*e, 0);
  e->solver->particles[0].pos = Vec3f(3, 0, 0);
  e->solver->particles[0].age = 5;
  e->solver->particles[0].pairAccel = Vec3f(0, 4, 0);
  Store(*e, 1);
  e->lastSolved = 1;
  std::vector<Vec3f> pos, vel, acc;
  std::vector<int32_t> ages, nb;
  ASSERT_TRUE(e->GetSourceParticlesAtFrame(0, 0, pos, vel, ages, acc, nb, 0, false));
  ASSERT_EQ(pos.size(), 1u);
  EXPECT_FLOAT_EQ(pos[0].x, 20.0f);  // host units
  EXPECT_FALSE(e->GetSourceParticlesAtFrame(0, 2, pos, vel, ages, acc, nb, 0, false));
  EXPECT_FALSE(e->GetSourceParticlesAtFrame(0, -1, pos, vel, ages, acc, nb, 0, false));

  // Half a frame: midpoints of the positions and of the direction the
  // display faces along; ages are whole frames and stay the earlier frame's
  // (a midpoint towards the dead marker would read as a living age).
  ASSERT_TRUE(e->GetSourceParticlesAtTime(0, 80, pos, vel, ages, acc, nb, false));
  ASSERT_EQ(pos.size(), 1u);
  EXPECT_FLOAT_EQ(pos[0].x, 40.0f);
  EXPECT_FLOAT_EQ(acc[0].y, 3.0f);
  EXPECT_EQ(ages[0], 4);
  ASSERT_TRUE(e->GetSourceParticlesAtTime(0, 160, pos, vel, ages, acc, nb, false));
  EXPECT_FLOAT_EQ(pos[0].x, 60.0f);
  // Before the start frame: nothing read, no table read out of bounds.
  e->startFrame = 5;
  pos.clear();
  EXPECT_TRUE(e->GetSourceParticlesAtTime(0, 160, pos, vel, ages, acc, nb, false));
  EXPECT_TRUE(pos.empty());
}

TEST_F(EngineTest, EmitterPointsOfShapesAndFills) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  auto* s = SourceOf(*e, 0);
  s->shape = {Point3(1, 0, 0)};
  std::vector<Point3> pts;
  Point3 dir(9, 9, 9);
  e->GetSourceEmitterPoints(0, pts, dir);
  ASSERT_EQ(pts.size(), 1u);
  const Point3 expect = s->storedTM.PointTransform(Point3(20, 0, 0));
  EXPECT_NEAR(pts[0].x, expect.x, 1e-4);
  EXPECT_NEAR(dir.Length(), 1.0f, 1e-6);

  // Fill: the layer index past the last layer takes the last one.
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitEmissionType, 0, 2);
  pb->SetValue(kEmitFillingPercentage, 0, 9);
  s->hasPick = true;
  s->fillPending = 1;
  s->fill = {Vec3f(1, 0, 0), Vec3f(0, 1, 0), Vec3f(0, 0, 1)};
  s->layers = {1, 3};
  pts.clear();
  e->GetSourceEmitterPoints(0, pts, dir);
  EXPECT_EQ(s->fillLayer, 1);
  EXPECT_EQ(s->fillCount, 3);
  EXPECT_EQ(pb->GetInt(kEmitFillingPercentage), 1);
  EXPECT_EQ(pb->GetInt(kEmitParticlesFilled), 3);
  EXPECT_EQ(pts.size(), 3u);
  EXPECT_EQ(owner.invalidations, 1);
  // Nothing changed: no write, no invalidation (no evaluation loop).
  pts.clear();
  e->GetSourceEmitterPoints(0, pts, dir);
  EXPECT_EQ(owner.invalidations, 1);

  // A slot without its node gives nothing and leaves the direction alone.
  e->sourceNodes[0] = nullptr;
  pts.clear();
  dir = Point3(5, 5, 5);
  e->GetSourceEmitterPoints(0, pts, dir);
  EXPECT_TRUE(pts.empty());
  EXPECT_EQ(dir, Point3(5, 5, 5));
}
