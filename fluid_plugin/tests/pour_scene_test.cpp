// The demo's pour scene as the batch benchmark builds it: an emitter pouring
// into the bowl at the rate its emission lattice gives, or filling a box in
// the bowl at once.
#include <cmath>

#include "fluid_core/engine.h"
#include "fluid_core/frame_cache.h"
#include "fluid_plugin/pour_scene.h"
#include "plugin_test_util.h"

namespace {
using PourSceneTest = FluidSystemTest;

// Live particles farther from the bowl's centre than its radius.
int OutsideBowl(const PourScene& scene) {
  const FluidSolver& s = *scene.system->engine.solver;
  int outside = 0;
  for (int i = 0; i < s.count; ++i) {
    const FluidParticle& p = s.particles[size_t(i)];
    if (p.dead) continue;
    const float k = scene.system->engine.FrameScale();
    const Point3 at(p.pos.x * k, p.pos.y * k, p.pos.z * k);
    if ((at - scene.bowlCentre).Length() > scene.bowlRadius) ++outside;
  }
  return outside;
}
}  // namespace

TEST_F(PourSceneTest, APourAddsADiscOfTheLatticeAsTheStreamAdvances) {
  // Radius 6 is 0.3 solver units: 25 lattice points in two layers 2.4
  // spacings deep, and rate 8 moves the stream 8/30 solver units a frame,
  // about 17 particles a frame.
  PourScene scene = BuildPourScene(scratch(), 4, PourSettings());
  ASSERT_NE(scene.system, nullptr);
  RunGo(scene.system);
  const FluidEngine& e = scene.system->engine;
  ASSERT_EQ(e.lastSolved, 3);
  EXPECT_EQ(e.frameParticleCount[0], 0);
  for (int f = 1; f <= 3; ++f) EXPECT_GT(e.frameParticleCount[size_t(f)], e.frameParticleCount[size_t(f - 1)]) << f;
  EXPECT_GE(e.frameParticleCount[3], 35);
  EXPECT_LE(e.frameParticleCount[3], 70);
}

TEST_F(PourSceneTest, AFillPutsTheWholeBoxInTheBowlAtTheFirstFrame) {
  PourSettings settings;
  settings.fillSide = 20.0f;
  PourScene scene = BuildPourScene(scratch(), 4, settings);
  ASSERT_NE(scene.system, nullptr);
  ASSERT_NE(scene.fillBox, nullptr);
  RunGo(scene.system);
  const FluidEngine& e = scene.system->engine;
  ASSERT_EQ(e.lastSolved, 3);
  // The fill is stored as frame 0 again; nothing is emitted after it.
  const int filled = e.frameParticleCount[0];
  EXPECT_GT(filled, 50);
  for (int f = 1; f <= 3; ++f) EXPECT_EQ(e.frameParticleCount[size_t(f)], filled) << f;
  EXPECT_EQ(e.solver->LiveCount(), filled);
  EXPECT_EQ(OutsideBowl(scene), 0);
}
