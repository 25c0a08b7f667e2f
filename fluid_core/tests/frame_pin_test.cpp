// The frame files of a fixed small scene, pinned byte for byte: a block
// falling onto a floor beside a wall, fed by an emitter during the frames,
// with particles lost to a killer face and to the domain edge. Any change
// to the solver that moves a single bit of a stored frame (order of
// operations included) shows here, on one thread and on eight.
#include <gtest/gtest.h>
#include <omp.h>
#include <zlib.h>

#include <memory>

#include "host/core/clock.h"
#include "solver_test_util.h"

using solver_test::Floor;
using solver_test::MakeSolver;

namespace {

constexpr int kFrames = 5;

struct PinResult {
  uint32_t crc = 0;               // of every frame file, in frame order
  std::vector<uint32_t> frames;   // of each frame file
  int count = 0;
  int live = 0;
  int killed = 0;
  long substeps = 0;
};

PinResult RunPinnedScene(int threads, const std::string& dir) {
  omp_set_num_threads(threads);
  vorel::host::FixClockMs(98765);  // the emission's random numbers
  std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));  // spacing 0.1
  s->frameCache.folderOverride = dir + "/";
  s->stamp = 7;
  s->AddSource(Vec3f());
  SolverSource& src = *s->sources[0];
  src.spacing = 0.1f;
  src.mass = 1.0f;
  src.thickness = 5.0f;  // cohesion on
  src.dir = Vec3f(0.3f, 0.0f, -1.0f);
  Vec3NormalizeSafe(src.dir);
  src.speedVariation = 0.2f;
  src.tm[9] = 0.2f; src.tm[10] = 0.3f; src.tm[11] = 1.6f;
  for (int j = 0; j < 6; ++j)
    for (int i = 0; i < 6; ++i)
      for (int l = 0; l < 2; ++l)
        src.emissionPoints.emplace_back(i * 0.1f, j * 0.1f, (l + 0.37f * ((i + j) % 3)) * 0.12f);

  ColliderMesh* floor = Floor(0.0f, 3.0f, 0.1333f);
  floor->adherence = 0.3f;
  floor->bounce = 40.0f;
  floor->friction = 2.0f;
  floor->collisionGap = 0.01f;
  s->colliders.push_back(floor);
  // A sloped wall on the block's far side.
  ColliderMesh* wall = solver_test::Triangle(Vec3f(1.4f, -2.0f, -0.5f), Vec3f(1.4f, 3.0f, -0.5f),
                                             Vec3f(1.0f, 0.5f, 3.0f), 0.1333f);
  wall->adherence = 0.0f;
  wall->collisionGap = 0.02f;
  s->colliders.push_back(wall);
  // A killer patch on the floor under a corner of the block.
  ColliderMesh* killer = solver_test::Triangle(Vec3f(-0.45f, -0.3f, 0.02f), Vec3f(-0.2f, -0.3f, 0.02f),
                                               Vec3f(-0.45f, 0.1f, 0.02f), 0.1333f);
  killer->particleKiller = 1;
  s->colliders.push_back(killer);
  s->domainMin = Vec3f(-3.0f, -0.42f, -1.0f);  // the block spills over the -y edge
  s->domainMax = Vec3f(3.0f, 3.0f, 4.0f);

  std::vector<Vec3f> pts;
  for (int k = 0; k < 10; ++k)
    for (int j = 0; j < 12; ++j)
      for (int i = 0; i < 14; ++i)
        pts.emplace_back(-0.5f + i * 0.095f, -0.4f + j * 0.095f, 0.15f + k * 0.095f);
  s->AddParticles(10.0f, 0, pts, int(pts.size()), 0.0f, 0, 1);

  PinResult r;
  EXPECT_GT(s->WriteFrame(0), 0);
  const std::vector<Vec3f> forces;
  float clock = 0.0f;
  for (int f = 1; f <= kFrames; ++f) {
    src.pressure = f <= 3 ? 8000.0f : 0.0f;  // the emitter stops for the last frames
    const float target = f * s->frameLength;
    bool first = true;
    while (clock < target) {
      float len = s->count > 0 ? s->MaxStableStep() : s->frameLength * 0.5f;
      if (clock + len > target) len = target - clock;
      EXPECT_TRUE(s->Step(clock, clock + len, forces, 20.1f, false, first));
      clock += len;
      first = false;
      ++r.substeps;
    }
    s->AgeParticles();
    EXPECT_GT(s->WriteFrame(f), 0);
  }
  for (int f = 0; f <= kFrames; ++f) {
    std::vector<unsigned char> bytes = solver_test::ReadAll(s->frameCache.FramePath(f));
    EXPECT_FALSE(bytes.empty()) << f;
    r.frames.push_back(uint32_t(crc32(0L, bytes.data(), uInt(bytes.size()))));
    r.crc = uint32_t(crc32(r.crc, bytes.data(), uInt(bytes.size())));
  }
  r.count = s->count;
  r.live = s->LiveCount();
  r.killed = s->killedCount;
  vorel::host::UnfixClock();
  return r;
}

}  // namespace

TEST(FramePin, FixedSceneWritesTheSameBytesOnOneAndEightThreads) {
  const int all = omp_get_max_threads();
  const PinResult one = RunPinnedScene(1, solver_test::ScratchDir("pin1"));
  const PinResult eight = RunPinnedScene(8, solver_test::ScratchDir("pin8"));
  omp_set_num_threads(all);
  // The scene reaches what it is meant to exercise: emission during
  // sub-steps, a parallel-sized block, and both ways of dying.
  EXPECT_GT(one.count, 1680 + 80);
  EXPECT_GT(one.count, 1024);
  EXPECT_GT(one.killed, 0);
  EXPECT_LT(one.live, one.count);
  EXPECT_GT(one.substeps, 16);
  EXPECT_EQ(one.frames, eight.frames);
  EXPECT_EQ(one.substeps, eight.substeps);
  EXPECT_EQ(one.count, eight.count);
  // Today's bytes: a change here is a change of the stored result.
  EXPECT_EQ(one.crc, 0x4cacbe0fu) << std::hex << "crc 0x" << one.crc << std::dec << " count " << one.count
                         << " live " << one.live << " killed " << one.killed << " substeps "
                         << one.substeps;
}
