#include <gtest/gtest.h>

#include <cmath>

#include "gpu_solver/particleSystem.h"
#include "gpu_solver/sample_scene.h"
#include "gpu_solver/solver_formats.h"
#include "test_support.h"

using namespace vorel_gpu;
using vorel_gpu_test::Exists;
using vorel_gpu_test::ScratchDir;

namespace {

SolverSetup RunSetup(const std::string& dir, uint32_t tpf = 160) {
  SolverSetup s;
  s.cacheDir = dir;
  s.ticksPerFrame = tpf;
  s.frameRate = int32_t(4800 / tpf);
  return s;
}

void MakeDirs(const ScratchDir& d) {
  ::mkdir((d / "sources").c_str(), 0777);
  ::mkdir((d / "objects").c_str(), 0777);
}

std::vector<Vec3f> Triangles(int count, float y) {
  std::vector<Vec3f> v;
  for (int t = 0; t < count; ++t) {
    v.push_back({float(t), 0, y});
    v.push_back({float(t) + 1, 0, y});
    v.push_back({float(t), 1, y});
  }
  return v;
}

// One emission record per sub-sample, record k holding k % 3 particles.
void WriteEmission(const ScratchDir& d, int records) {
  std::vector<EmissionRecord> recs;
  for (int k = 0; k < records; ++k) {
    EmissionRecord r;
    r.tick = 16 * k;
    for (int i = 0; i < k % 3; ++i) {
      r.positions.push_back({float(k), float(i), 1.0f});
      r.velocities.push_back({0, 0, -1});
    }
    recs.push_back(r);
  }
  ASSERT_TRUE(WriteEmissionFile(EmissionFilePath(d.path()), recs));
}

}  // namespace

TEST(ParticleSystem, ConstantsWithoutInputFiles) {
  ScratchDir d("ps_empty");
  ParticleSystem ps(RunSetup(d.path()), 0, 5);
  ASSERT_TRUE(ps.IsInitialized());
  const float res = std::pow(6.0f, 0.333f);
  EXPECT_NEAR(ps.Params().particleRadius, 1.0f / res, 1e-6f);
  EXPECT_NEAR(ps.Params().selfDensity, 8000.0f / 12.566371f, 0.01f);
  EXPECT_EQ(ps.Params().numCells, kNumCells);
  EXPECT_EQ(ps.LiveCount(), 0u);
  EXPECT_EQ(ps.Capacity(), 0u);
  EXPECT_EQ(ps.Params().numFaces, 0);
  ps.LoadParticles(0, 5);
  EXPECT_NEAR(ps.Params().particleRadius, 1.0f / res, 1e-6f);  // kept without a fill file
  ps.WriteFrame(1);
  EXPECT_FALSE(Exists(FrameFilePath(d.path(), 1)));  // nothing live, nothing written
}

TEST(ParticleSystem, FillAboveTheCapRederivesUncapped) {
  ScratchDir d("ps_cap");
  MakeDirs(d);
  const float ppuv = 200.0f * 200.0f * 200.0f;
  ASSERT_TRUE(WriteFillFile(FillFilePath(d.path()), ppuv, {{1, 2, 3}}, {{4, 5, 6}}));
  ParticleSystem ps(RunSetup(d.path()), 0, 1);
  EXPECT_NEAR(ps.Params().particleRadius, 1.0f / 109.0f, 1e-7f);
  ps.LoadParticles(0, 1);
  EXPECT_NEAR(ps.Params().particleRadius, 1.0f / std::pow(ppuv, 0.3333f), 1e-7f);
  EXPECT_NEAR(ps.Params().selfDensity, 636.62f, 0.01f);
  // Axes: the file's (x, y, z) sits in the slot as (x, z, y).
  const F4 p = ps.DownloadPositions()[0], v = ps.DownloadVelocities()[0];
  EXPECT_EQ(p.y, 3.0f);
  EXPECT_EQ(p.z, 2.0f);
  EXPECT_EQ(v.y, 6.0f);
  ps.WriteFrame(4);
  vorel_gpu_test::Frame f;
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d.path(), 4), &f));
  EXPECT_EQ(f.count, 1);
  EXPECT_EQ(f.pos[0].y, 2.0f);
  EXPECT_EQ(f.pos[0].z, 3.0f);
  EXPECT_EQ(f.vel[0].z, 6.0f);
  EXPECT_FLOAT_EQ(f.ppuv, ps.Params().ppuv);
}

TEST(ParticleSystem, EmissionSkipsEarlierFramesAndGrowsPerSubSample) {
  ScratchDir d("ps_emission");
  MakeDirs(d);
  WriteEmission(d, 60);
  // fromFrame 3 skips 30 records; frames 3..4 take records 30..49.
  ParticleSystem ps(RunSetup(d.path()), 3, 2);
  uint32_t want = 0;
  for (int k = 30; k < 50; ++k) want += k % 3;
  EXPECT_EQ(ps.Capacity(), want);
  ps.LoadParticles(3, 2);
  EXPECT_EQ(ps.DownloadPositions()[0].x, 31.0f);  // record 31 holds the first particle
  ps.AdvanceEmission(0, 2, 10);
  EXPECT_EQ(ps.LiveCount(), 0u);
  ps.AdvanceEmission(16, 2, 10);  // sub-sample 0 = record 30: none
  EXPECT_EQ(ps.LiveCount(), 0u);
  ps.AdvanceEmission(33, 2, 10);  // sub-sample 1 = record 31: one particle
  EXPECT_EQ(ps.LiveCount(), 1u);
  EXPECT_EQ(ps.Params().emittedThisStep, 1u);
  ps.AdvanceEmission(33, 2, 10);
  EXPECT_EQ(ps.Params().emittedThisStep, 0u);
  ps.AdvanceEmission(100000, 2, 10);
  EXPECT_EQ(ps.LiveCount(), want);  // never past the run's sub-samples
}

TEST(ParticleSystem, FrameRatesAbove480KeepWholeSubSamples) {
  ScratchDir d("ps_fast");
  MakeDirs(d);
  WriteEmission(d, 20);
  ParticleSystem ps(RunSetup(d.path(), 5), 0, 2);  // 960 frames per second
  ps.LoadParticles(0, 2);
  ps.AdvanceEmission(3, 2, 10);  // sub-samples of one tick
  EXPECT_EQ(ps.LiveCount(), 0u + 1u + 2u);
  EXPECT_TRUE(ps.LoadColliderFrame(0, true, 1) == false);  // no file, no division by zero
}

TEST(ParticleSystem, KillBoxInterpolatesAndHoldsItsLastRow) {
  ScratchDir d("ps_kill");
  MakeDirs(d);
  std::vector<KillBoxRow> rows(2);
  for (int a = 0; a < 3; ++a) {
    rows[0].min[a] = -1;
    rows[0].max[a] = 1;
    rows[1].min[a] = -3;
    rows[1].max[a] = 3;
  }
  rows[1].min[2] = -5;
  ASSERT_TRUE(WriteKillBoxFile(KillBoxFilePath(d.path()), rows));
  ParticleSystem ps(RunSetup(d.path()), 0, 5);
  EXPECT_EQ(ps.Params().killMax[0], kUnboundedBox);  // until the first update
  ps.UpdateKillBox(80);
  EXPECT_FLOAT_EQ(ps.Params().killMin[0], -2.0f);
  EXPECT_FLOAT_EQ(ps.Params().killMin[2], -3.0f);  // taken as stored
  EXPECT_FLOAT_EQ(ps.Params().killMax[1], 2.0f);
  // Frame 1 is the last row; frames past it hold it.
  ps.UpdateKillBox(160 + 80);
  EXPECT_FLOAT_EQ(ps.Params().killMin[0], -3.0f);
  ps.UpdateKillBox(160 * 40);
  EXPECT_FLOAT_EQ(ps.Params().killMax[2], 3.0f);
  ScratchDir none("ps_kill_none");
  ParticleSystem unbounded(RunSetup(none.path()), 0, 1);
  unbounded.UpdateKillBox(80);
  EXPECT_EQ(unbounded.Params().killMin[1], -kUnboundedBox);
}

TEST(ParticleSystem, ColliderBuffersFollowTheLoadedGeometry) {
  ScratchDir d("ps_collider");
  MakeDirs(d);
  ASSERT_TRUE(WriteFillFile(FillFilePath(d.path()), 1000.0f, {{0.5f, 0.5f, 0.5f}}, {{0, 0, 0}}));
  // No collider at frame 0, one triangle at frame 1, three at frame 2, and
  // a frame 3 whose end frame (4) has another count.
  ASSERT_TRUE(WriteColliderFile(ColliderFilePath(d.path(), 160), Triangles(1, 0.0f)));
  ASSERT_TRUE(WriteColliderFile(ColliderFilePath(d.path(), 320), Triangles(3, 0.0f)));
  ASSERT_TRUE(WriteColliderFile(ColliderFilePath(d.path(), 480), Triangles(2, 0.0f)));
  ASSERT_TRUE(WriteColliderFile(ColliderFilePath(d.path(), 640), Triangles(5, 1.0f)));
  ParticleSystem ps(RunSetup(d.path()), 0, 5);
  ps.LoadParticles(0, 5);
  EXPECT_FALSE(ps.LoadColliderFrame(0, true, 1));
  EXPECT_EQ(ps.Params().numFaces, 0);
  ps.Step(0, 5, 10);  // runs without collider buffers
  EXPECT_TRUE(ps.LoadColliderFrame(160, false, 1));
  EXPECT_EQ(ps.Params().numFaces, 1);
  EXPECT_FALSE(ps.LoadColliderFrame(170, false, 1));  // same frame: already loaded
  EXPECT_TRUE(ps.LoadColliderFrame(320, false, 1));
  EXPECT_EQ(ps.Params().numFaces, 3);
  EXPECT_EQ(ps.Params().numVerts, 9);
  ps.Step(320, 5, 10);
  EXPECT_EQ(ps.DownloadColliderVertices().size(), 9u);
  EXPECT_TRUE(ps.LoadColliderFrame(480, false, 1));
  ps.Params().frameFraction = 0.5f;
  ps.Step(480, 5, 10);
  const std::vector<F4> v = ps.DownloadColliderVertices();
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0].y, 0.0f);  // end frame unusable: the collider holds still
  EXPECT_EQ(v[0].w, 0.0f);
}

// A fill may start a particle on a collider face, moving into it. The first
// step had no faces placed yet, so it went through unseen and was then
// pushed on away from the far side; now it ends back on its side, as on
// every later step.
TEST(ParticleSystem, FirstStepKeepsAParticleOnAFaceOnItsSide) {
  ScratchDir d("ps_first_step");
  MakeDirs(d);
  ASSERT_TRUE(WriteFillFile(FillFilePath(d.path()), 1000.0f, {{0.3f, 0.3f, 0.001f}, {0.5f, 0.3f, -0.001f}},
                            {{0, 0, -2}, {0, 0, 2}}));
  ASSERT_TRUE(WriteColliderFile(ColliderFilePath(d.path(), 0), {{-4, -4, 0}, {8, -4, 0}, {-4, 8, 0}}));
  ParticleSystem ps(RunSetup(d.path()), 0, 2);
  ps.LoadParticles(0, 2);
  ASSERT_TRUE(ps.LoadColliderFrame(0, true, 1));
  ps.Step(0, 2, 10);
  const std::vector<F4> x = ps.DownloadPositions();
  EXPECT_GT(x[0].y, 0.0f);  // the file's z is the solver's y
  EXPECT_LT(x[1].y, 0.0f);  // the same from below
}

TEST(ParticleSystem, StepKeepsTheVelocitySlotAndWritesOnlyLiveParticles) {
  ScratchDir d("ps_step");
  MakeDirs(d);
  // Two particles far apart; the second leaves a small kill box.
  ASSERT_TRUE(WriteFillFile(FillFilePath(d.path()), 1000.0f, {{0, 0, 0}, {5, 5, 5}}, {{0, 0, 0}, {0, 0, 0}}));
  std::vector<KillBoxRow> rows(3);
  for (auto& r : rows)
    for (int a = 0; a < 3; ++a) {
      r.min[a] = -1;
      r.max[a] = 1;
    }
  ASSERT_TRUE(WriteKillBoxFile(KillBoxFilePath(d.path()), rows));
  ParticleSystem ps(RunSetup(d.path()), 0, 2);
  ps.LoadParticles(0, 2);
  ps.Params().gravity[1] = -98.0f;
  ps.UpdateKillBox(0);
  ps.Step(0, 2, 10);
  EXPECT_EQ(ps.CurrentVelocitySlot(), 0);
  EXPECT_FLOAT_EQ(ps.LastTimeStep(), 0.001f);
  EXPECT_NEAR(ps.DownloadVelocities()[0].y, -0.098f, 1e-6f);
  EXPECT_EQ(ps.DownloadVelocities()[1].w, kKillMarker);
  ps.Step(5, 2, 10);
  EXPECT_EQ(ps.DownloadPositions()[1].x, kParkedX);
  ps.WriteFrame(1);
  vorel_gpu_test::Frame f;
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d.path(), 1), &f));
  ASSERT_EQ(f.count, 1);
  EXPECT_EQ(f.ids[0], 0);
  // Once every particle is gone the frame still appears, empty.
  ps.UpdateKillBox(0);
  ps.Params().killMin[0] = 100.0f;
  ps.Step(10, 2, 10);
  ps.Step(15, 2, 10);
  ps.WriteFrame(2);
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d.path(), 2), &f));
  EXPECT_EQ(f.count, 0);
}

TEST(ParticleSystem, LaunchSizes) {
  uint32_t blocks, threads;
  ParticleSystem::ComputeLaunchSize(1, 128, &blocks, &threads);
  EXPECT_EQ(blocks, 1u);
  EXPECT_EQ(threads, 1u);
  ParticleSystem::ComputeLaunchSize(300, 128, &blocks, &threads);
  EXPECT_EQ(blocks, 2u);
  EXPECT_EQ(threads, 256u);
}

// Parallel iterations over one cell must not write its entry together: only
// the first particle of each run of sorted hashes clears it.
TEST(ParticleSystem, CellStartIsClearedByTheFirstParticleOfItsCellOnly) {
  const KeyValuePair hash[] = {{3, 0}, {3, 1}, {3, 2}, {5, 3}, {9, 4}};
  uint32_t cells[6] = {7, 7, 7, 7, 7, 7};
  const ClearCellStart clear{hash, cells, 6};
  clear(1);
  clear(2);
  clear(4);  // a key beyond the table
  EXPECT_EQ(cells[3], 7u);
  clear(0);
  clear(3);
  const uint32_t want[6] = {7, 7, 7, kEmptyCell, 7, kEmptyCell};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(cells[c], want[c]) << c;
}
