#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "gpu_solver/particleSystem.h"
#include "gpu_solver/sample_scene.h"
#include "gpu_solver/solver_shell.h"
#include "test_support.h"

using namespace vorel_gpu;

namespace {

// Records what the loops ask of the particle system; every step is 1 ms.
struct FakeSystem {
  uint32_t live = 10;
  SimParams params;
  std::vector<int32_t> written;
  std::atomic<int> steps{0};
  int pauseAtStep = -1;
  int emissions = 0;
  int resets = 0;
  ProgressWindow* window = nullptr;
  int stopAfterSteps = -1;

  FakeSystem() { std::memset(&params, 0, sizeof params); }
  void LoadParticles(int32_t, int32_t) {}
  bool LoadColliderFrame(uint32_t, bool, uint32_t) { return true; }
  void AdvanceEmission(uint32_t, int32_t, uint32_t) { ++emissions; }
  void UpdateKillBox(uint32_t) {}
  void Step(uint32_t, int32_t, uint32_t) {
    ++steps;
    if (steps == stopAfterSteps) window->PostClick(kStopButton);
    if (steps == pauseAtStep) window->PostClick(kPauseButton);
  }
  float LastTimeStep() { return 0.001f; }
  bool WriteFrame(int32_t f) {
    written.push_back(f);
    return true;
  }
  uint32_t LiveCount() const { return live; }
  uint32_t Capacity() const { return live; }
  SimParams& Params() { return params; }
  void ResetColliderFrame() { ++resets; }
};

RunSettings Settings(int32_t from, int32_t frames, int32_t settle) {
  RunSettings s;
  s.cacheDir = "cache";
  s.fromFrame = from;
  s.maxFrames = frames;
  s.settleFrames = settle;
  return s;
}

int64_t Zero() { return 0; }

}  // namespace

TEST(SolverShell, SettleRewritesTheFirstFrameThenFramesFollow) {
  FakeSystem sys;
  ProgressWindow w;
  RunSettings s = Settings(4, 3, 3);
  SolverLoops<FakeSystem> loops(s, sys, w, Zero);
  EXPECT_EQ(loops.Run(), 0);
  EXPECT_EQ(sys.written, (std::vector<int32_t>{4, 4, 4, 5, 6, 7}));
  EXPECT_EQ(sys.resets, 1);
  EXPECT_EQ(w.Text(kStatusText), "Processing frame: 4 / 3");
  EXPECT_EQ(w.Text(kLastFrameText), "Last processed frame: 7");
  EXPECT_EQ(w.Text(kCountsText), "Particles - Current: 10 - Maximum: 10");
  EXPECT_EQ(w.Text(kCacheDirText), "cache");
  EXPECT_EQ(w.GetBar(kFramesBar).pos, 3);
  EXPECT_EQ(w.Text(kTimeText), "Elapsed: 00:00:00 - Remaining: 00 h 01 min");
  // 1 ms steps, 160 ticks a frame: the boundary is seen one step after
  // 4800 * t reaches 160, so about 34 steps per frame.
  EXPECT_GE(sys.steps, 6 * 33);
  EXPECT_LE(sys.steps, 6 * 35);
  EXPECT_EQ(sys.params.gravity[1], -98.0f);
}

// At 30 fps with the shortest step (0.1 ms) a float clock drifted by
// several percent from about frame 7,680 and stood still at frame 61,440.
// Every boundary up to frame 70,001 comes at the first step whose summed
// time reaches the frame's start, never a step late or early, one frame at
// a time, with the fraction of the new frame no more than a step's worth.
TEST(SolverShell, ClockPassesEveryFrameBoundaryOfALongRunOnTime) {
  PhaseClock clock(160);
  const double dt = double(kMinTimeStep);
  const uint32_t lastFrame = 70001;
  uint32_t passed = 0;
  int64_t steps = 0;
  const int64_t enough = int64_t(double(lastFrame) / 30.0 / dt) + 10;
  while (passed < lastFrame) {
    clock.Advance(kMinTimeStep);
    ASSERT_LE(++steps, enough) << "the clock stood still after frame " << passed;
    const uint32_t now = clock.FramesPassed();
    if (now == passed) continue;
    ASSERT_EQ(now, passed + 1) << "a frame was skipped after " << passed;
    passed = now;
    const double start = double(passed) / 30.0;
    ASSERT_GE(clock.Seconds(), start - 1e-9) << "frame " << passed;
    ASSERT_LT(clock.Seconds() - dt, start + 1e-9) << "frame " << passed << " ended a step late";
    ASSERT_NEAR(clock.Seconds(), double(steps) * dt, 1e-8 * clock.Seconds()) << "the clock drifted";
    ASSERT_LT(clock.FrameFraction(), 4800.0 * dt / 160.0 + 1e-6) << "frame " << passed;
    ASSERT_EQ(clock.Ticks(), uint32_t(4800.0 * clock.Seconds()));
  }
  EXPECT_NEAR(double(steps), double(lastFrame) / 30.0 / dt, 2.0);
}

// The loops run on that clock: a run of 70,000 frames at 10 ms steps
// writes each frame once, in order, after as many steps as the time takes.
TEST(SolverShell, LongRunWritesEveryFrameOnce) {
  struct TenMs : FakeSystem {
    float LastTimeStep() { return 0.01f; }
  } sys;
  ProgressWindow w;
  RunSettings s = Settings(3, 70000, 0);
  SolverLoops<TenMs> loops(s, sys, w, Zero);
  EXPECT_EQ(loops.Run(), 0);
  ASSERT_EQ(sys.written.size(), 70000u);
  for (int32_t f = 0; f < 70000; ++f) ASSERT_EQ(sys.written[size_t(f)], 3 + f + 1);
  EXPECT_NEAR(double(loops.Steps()), 70000.0 / 30.0 / double(0.01f), 2.0);
}

TEST(SolverShell, StopDuringSettleSkipsTheFramePhase) {
  FakeSystem sys;
  ProgressWindow w;
  sys.window = &w;
  sys.stopAfterSteps = 40;
  RunSettings s = Settings(0, 5, 3);
  SolverLoops<FakeSystem> loops(s, sys, w, Zero);
  EXPECT_EQ(loops.Run(), 0);
  EXPECT_EQ(sys.steps, 40);
  EXPECT_EQ(sys.emissions, 0);
  EXPECT_EQ(sys.written, (std::vector<int32_t>{0}));
  EXPECT_EQ(w.Text(kStatusText), "Solver process was cancelled by user...");
}

TEST(SolverShell, NoParticlesStillAdvancesTime) {
  FakeSystem sys;
  sys.live = 0;
  ProgressWindow w;
  RunSettings s = Settings(0, 2, 0);
  SolverLoops<FakeSystem> loops(s, sys, w, [] { return int64_t(3723000); });
  EXPECT_EQ(loops.Run(), 0);
  EXPECT_EQ(sys.steps, 0);
  EXPECT_TRUE(sys.written.empty());
  EXPECT_EQ(loops.Counter(), 2);
  EXPECT_EQ(w.Text(kTimeText), "Elapsed: 01:02:03 - Remaining: 00 h 01 min");
}

TEST(SolverShell, PauseHoldsTheLoopUntilPressedAgain) {
  FakeSystem sys;
  ProgressWindow w;
  sys.window = &w;
  RunSettings s = Settings(0, 2, 0);
  sys.pauseAtStep = 5;
  SolverLoops<FakeSystem> loops(s, sys, w, Zero);
  int stepsWhilePaused = -1;
  std::thread resume([&] {
    while (sys.steps < 5) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    stepsWhilePaused = sys.steps;
    w.PostClick(kPauseButton);
  });
  EXPECT_EQ(loops.Run(), 0);
  resume.join();
  EXPECT_EQ(stepsWhilePaused, 5);
  EXPECT_EQ(sys.written, (std::vector<int32_t>{1, 2}));
}

TEST(SolverShell, SimulatedBlockFallsLandsAndStaysInTheKillBox) {
  vorel_gpu_test::ScratchDir d("shell_physics");
  SampleScene scene;
  scene.nx = scene.ny = 8;
  scene.nz = 6;
  scene.fillMin[2] = 0.4f;
  scene.frames = 12;
  ASSERT_TRUE(WriteSampleCache(d.path(), scene));
  RunSettings s = Settings(0, 12, 0);
  s.cacheDir = d.path();
  SolverSetup setup{d.path(), s.ticksPerFrame, s.frameRate};
  ParticleSystem ps(setup, s.fromFrame, s.maxFrames);
  ProgressWindow w;
  SolverLoops<ParticleSystem> loops(s, ps, w, Zero);
  ASSERT_EQ(loops.Run(), 0);
  const int n = int(SampleParticleCount(scene));
  double firstZ = 0;
  for (int f = 1; f <= 12; ++f) {
    vorel_gpu_test::Frame fr;
    ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d.path(), f), &fr)) << f;
    ASSERT_EQ(fr.count, n) << "frame " << f << ": particles were lost";
    double meanZ = 0;
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(fr.ids[size_t(i)], i);
      const Vec3f p = fr.pos[size_t(i)];
      // Inside the collider box, give or take a particle radius.
      ASSERT_GT(p.z, scene.boxMin[2] - 0.1f) << "frame " << f;
      ASSERT_GT(p.x, scene.boxMin[0] - 0.1f);
      ASSERT_LT(p.x, scene.boxMax[0] + 0.1f);
      meanZ += p.z / n;
    }
    if (f == 1) firstZ = meanZ;
    if (f == 12) {
      EXPECT_LT(meanZ, firstZ - 0.1) << "the block did not fall";
    }
  }
}
