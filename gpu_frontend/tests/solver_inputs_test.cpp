#include "gpu_frontend/solver_inputs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "gpu_frontend/frame_playback.h"
#include "gpu_solver/particleSystem.h"
#include "gpufe_test_support.h"
#include "host/core/clock.h"
#include "host/sdk/object.h"

using namespace vorel_gpufe;
using gpufe_test::ScratchCache;

namespace {

// A circle of four Bezier knots in the xy plane (host units).
void AddCircle(BezierShape* shape, float r, float cx = 0.0f) {
  Spline3D* s = shape->NewSpline();
  const float k = r * 0.5517861843109131f;
  for (int i = 0; i < 4; ++i) {
    const float a = float(i) * 1.5707963f;
    const Point3 p(cx + r * std::cos(a), r * std::sin(a), 0.0f), t(-std::sin(a), std::cos(a), 0.0f);
    s->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - t * k, p + t * k));
  }
  s->SetClosed(true);
  s->ComputeBezPoints();
}

std::function<float()> Constant(float v) {
  return [v] { return v; };
}

}  // namespace

TEST(SolverInputs, FillFileScalesPositionsAndKeepsVelocities) {
  ScratchCache dir("fill");
  const std::vector<Point3> pos = {{1.0f, 2.0f, 3.0f}, {-20.0f, 40.0f, 0.5f}, {9.0f, 9.0f, 9.0f}};
  const std::vector<Point3> vel = {{0.5f, -1.0f, 2.0f}, {3.0f, 4.0f, 5.0f}, {7.0f, 7.0f, 7.0f}};
  // Two of the three entries go out: the lists may be longer than the count.
  ASSERT_TRUE(WriteFillFile(dir.path(), 8000.0f, 2, pos, vel, kToSolverUnits));
  const std::string path = dir / "sources/Vorel.fll";
  EXPECT_EQ(gpufe_test::SizeOf(path), 272 + 28 * 2);
  vorel_gpu::FillHeader h;
  std::vector<vorel_gpu::Vec3f> p, v;
  ASSERT_TRUE(vorel_gpu::ReadFillFile(path, 100, &h, &p, &v));
  EXPECT_EQ(h.tag, vorel_gpu::kFillTag);
  EXPECT_EQ(h.stamp, 0);
  EXPECT_EQ(h.count, 2);
  EXPECT_FLOAT_EQ(h.ppuv, 8000.0f);
  EXPECT_FLOAT_EQ(p[0].x, 0.05f);
  EXPECT_FLOAT_EQ(p[0].z, 0.15f);
  EXPECT_FLOAT_EQ(p[1].y, 2.0f);
  EXPECT_FLOAT_EQ(v[0].y, -1.0f);
  EXPECT_FLOAT_EQ(v[1].z, 5.0f);
  // The ids are all zero.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 272, SEEK_SET);
  int32_t ids[2] = {-1, -1};
  ASSERT_EQ(std::fread(ids, 4, 2, f), 2u);
  std::fclose(f);
  EXPECT_EQ(ids[0], 0);
  EXPECT_EQ(ids[1], 0);

  // No particles: the header alone. Lists shorter than the count: refused.
  ASSERT_TRUE(WriteFillFile(dir.path(), 1.0f, 0, {}, {}, kToSolverUnits));
  EXPECT_EQ(gpufe_test::SizeOf(path), 272);
  EXPECT_FALSE(WriteFillFile(dir.path(), 1.0f, 4, pos, vel, kToSolverUnits));
  EXPECT_FALSE(WriteFillFile(dir / "missing", 1.0f, 1, pos, vel, kToSolverUnits));
}

TEST(SolverInputs, EmissionStepIsATenthOfAFrameAndNeverZero) {
  EXPECT_EQ(EmissionStepTicks(160), 16);
  EXPECT_EQ(EmissionStepTicks(192), 19);
  EXPECT_EQ(EmissionStepTicks(200), 20);
  EXPECT_EQ(EmissionStepTicks(9), 1);
  EXPECT_EQ(EmissionStepTicks(1), 1);
  // Both sides step the same way.
  for (int tpf : {1, 5, 9, 10, 160, 192, 200, 4800})
    EXPECT_EQ(uint32_t(EmissionStepTicks(tpf)), vorel_gpu::SubSampleTicks(uint32_t(tpf), vorel_gpu::kSubSamples));
}

TEST(SolverInputs, EmitLayersLeavesWholeLayersAndCarriesTheRest) {
  const std::vector<Point3> base = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.5f}};
  const float spacing = 1.0f, h = spacing * kEmitLayerStep;
  std::vector<Point3> out;

  // speed 0: nothing, and nothing carried.
  float acc = 0.0f;
  EmitLayers(base, spacing, 0.0f, 0.1f, false, &acc, &out, Constant(0.5f));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(acc, 0.0f);

  // d = 10 x 0.4 + 0.3 = 4.3: two layers (at d = 4.3 and 4.3 - h), 1.034 carried.
  acc = 0.3f;
  EmitLayers(base, spacing, 10.0f, 0.4f, false, &acc, &out, Constant(0.0f));
  ASSERT_EQ(out.size(), 4u);
  EXPECT_NEAR(out[0].z, 4.3f, 1e-5f);
  EXPECT_NEAR(out[1].z, 4.3f - 0.5f, 1e-5f);
  EXPECT_NEAR(out[2].z, 4.3f - h, 1e-5f);
  EXPECT_EQ(out[1].x, 1.0f);
  EXPECT_NEAR(acc, 4.3f - 2 * h, 1e-5f);
  EXPECT_LE(acc, h);

  // Jitter at its largest: 0.33 spacing in x and y, 1.6321834 spacing in z.
  acc = 0.0f;
  EmitLayers(base, spacing, 2.0f, 1.0f, false, &acc, &out, Constant(1.0f));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NEAR(out[0].x, 0.33f, 1e-6f);
  EXPECT_NEAR(out[0].y, 0.33f, 1e-6f);
  EXPECT_NEAR(out[0].z, 2.0f + kEmitJitterZ, 1e-5f);

  // Disabled: nothing, the carried distance stays.
  acc = 0.7f;
  EmitLayers(base, spacing, 100.0f, 1.0f, true, &acc, &out, Constant(0.5f));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(acc, 0.7f);

  // A zero spacing never emits (and never loops).
  acc = 0.0f;
  EmitLayers(base, 0.0f, 100.0f, 1.0f, false, &acc, &out, Constant(0.5f));
  EXPECT_TRUE(out.empty());
}

TEST(SolverInputs, JitterStaysInZeroToOneAndRepeatsWithinASecond) {
  vorel::host::FixSystemTime(1700000000);
  auto a = ClockSeededRand01();
  std::vector<float> first;
  for (int i = 0; i < 2000; ++i) {
    const float v = a();
    ASSERT_GE(v, 0.0f);
    ASSERT_LE(v, 1.0f);
    first.push_back(v);
  }
  auto b = ClockSeededRand01();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(b(), first[size_t(i)]);
  vorel::host::FixSystemTime(1700000001);
  auto c = ClockSeededRand01();
  bool differs = false;
  for (int i = 0; i < 5; ++i) differs = differs || c() != first[size_t(i)];
  EXPECT_TRUE(differs);
  vorel::host::UnfixSystemTime();
}

TEST(SolverInputs, OutlineSamplingAndItsComparison) {
  BezierShape shape;
  AddCircle(&shape, 20.0f);
  Spline3D* open = shape.NewSpline();  // open splines are not outlines
  open->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(0, 0, 0), Point3(0, 0, 0), Point3(0, 0, 0)));
  open->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(5, 0, 0), Point3(5, 0, 0), Point3(5, 0, 0)));

  Hileras rows;
  SampleOutline(shape, 1.0f, 2.0f, &rows);
  ASSERT_EQ(rows.Count(), 1);
  ASSERT_EQ(rows.Get(0)->Count(), 4 * 4 + 1);
  // Solver units, node scale applied; the row closes on its first point.
  EXPECT_NEAR(rows.Get(0)->Get(0)->x(), 1.0, 1e-6);
  EXPECT_NEAR(rows.Get(0)->Get(4)->y(), 2.0, 1e-6);
  EXPECT_EQ(rows.Get(0)->Get(16)->x(), rows.Get(0)->Get(0)->x());

  EXPECT_TRUE(OutlineMatches(rows, shape, 1.0f, 2.0f));
  EXPECT_FALSE(OutlineMatches(rows, shape, 1.0f, 1.0f));  // another scale
  Hileras none;
  EXPECT_FALSE(OutlineMatches(none, shape, 1.0f, 2.0f));
  shape.GetSpline(0)->SetKnotPoint(1, Point3(0.0f, 20.001f, 0.0f));
  EXPECT_FALSE(OutlineMatches(rows, shape, 1.0f, 2.0f));

  BezierShape bigger;
  AddCircle(&bigger, 20.0f);
  Spline3D* s = bigger.GetSpline(0);
  s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(20, -1, 0), Point3(20, -1, 0), Point3(20, -1, 0)));
  EXPECT_FALSE(OutlineMatches(rows, bigger, 1.0f, 2.0f));  // five segments now

  BezierShape two;
  AddCircle(&two, 20.0f);
  AddCircle(&two, 5.0f, 100.0f);
  Hileras one;
  SampleOutline(two, 1.0f, 1.0f, &one);
  EXPECT_EQ(one.Count(), 2);
  BezierShape single;
  AddCircle(&single, 20.0f);
  EXPECT_FALSE(OutlineMatches(one, single, 1.0f, 1.0f));  // a spline less
}

TEST(SolverInputs, BasePointsAreTwoLatticeLayers) {
  BezierShape shape;
  AddCircle(&shape, 60.0f);  // radius 3 solver units
  Hileras rows;
  SampleOutline(shape, 1.0f, 1.0f, &rows);
  std::vector<Point3> base;
  const float spacing = 0.5f;
  BuildBasePoints(rows, spacing, &base);
  ASSERT_GT(base.size(), 20u);
  const float layer2 = std::sqrt(8.0f / 3.0f) * 0.5f * spacing;
  size_t bottom = 0, top = 0;
  for (const Point3& p : base) {
    EXPECT_LE(std::hypot(p.x, p.y), 3.0f + 1e-3f);
    if (std::fabs(p.z) < 1e-6f) ++bottom;
    if (std::fabs(p.z - layer2) < 1e-5f) ++top;
  }
  EXPECT_EQ(bottom + top, base.size());
  EXPECT_GT(bottom, 0u);
  EXPECT_GT(top, 0u);
  // The first layer comes first.
  EXPECT_NEAR(base.front().z, 0.0f, 1e-6f);

  // An outline far smaller than the spacing gives no lattice.
  BezierShape tiny;
  AddCircle(&tiny, 0.01f);
  Hileras tinyRows;
  SampleOutline(tiny, 1.0f, 1.0f, &tinyRows);
  BuildBasePoints(tinyRows, spacing, &base);
  EXPECT_TRUE(base.empty());
}

TEST(SolverInputs, EmissionRecordsFollowTheStepAndCarryEveryInstance) {
  ScratchCache dir("emission");
  EmissionGroup g;
  g.points = {{1, 0, 0}, {0, 1, 0}};
  EmissionInstance a, b;
  a.objectTM.SetTrans(Point3(20, 40, 60));  // host units: one solver unit of x, 2 of y, 3 of z
  a.velocity = Point3(0, 0, 5);
  b.objectTM.RotateZ(1.5707963f);
  b.velocity = Point3(1, 0, 0);
  g.instances = {a, b};

  std::vector<int> ticks;
  ASSERT_TRUE(WriteEmissionRecords(dir.path(), 192, 2, [&](int tick, float dt) {
    ticks.push_back(tick);
    EXPECT_FLOAT_EQ(dt, 19.0f / 4800.0f);
    return tick == 19 ? std::vector<EmissionGroup>{g} : std::vector<EmissionGroup>{};
  }));
  // 25 frames per second: 0, 19, ..., 190, 209, ... while below 384.
  ASSERT_EQ(ticks.size(), 21u);
  EXPECT_EQ(ticks[10], 190);
  EXPECT_EQ(ticks[11], 209);
  EXPECT_EQ(ticks.back(), 380);

  vorel_gpu::EmissionReader in(dir / "sources/Vorel.srp");
  vorel_gpu::EmissionRecord rec;
  ASSERT_TRUE(in.Next(&rec));
  EXPECT_EQ(rec.tick, 0);
  EXPECT_TRUE(rec.positions.empty());
  ASSERT_TRUE(in.Next(&rec));
  EXPECT_EQ(rec.tick, 19);
  ASSERT_EQ(rec.positions.size(), 4u);
  // Instance a: translated; instance b: turned a quarter about z.
  EXPECT_NEAR(rec.positions[0].x, 2.0f, 1e-5f);
  EXPECT_NEAR(rec.positions[0].y, 2.0f, 1e-5f);
  EXPECT_NEAR(rec.positions[0].z, 3.0f, 1e-5f);
  EXPECT_NEAR(rec.positions[2].x, 0.0f, 1e-5f);
  EXPECT_NEAR(rec.positions[2].y, 1.0f, 1e-5f);
  EXPECT_NEAR(rec.positions[3].x, -1.0f, 1e-5f);
  EXPECT_FLOAT_EQ(rec.velocities[1].z, 5.0f);
  EXPECT_FLOAT_EQ(rec.velocities[2].x, 1.0f);
  int records = 2;
  while (in.Next(&rec)) ++records;
  EXPECT_EQ(records, 21);
}

TEST(SolverInputs, EmissionEdgeRanges) {
  ScratchCache dir("emission_edges");
  int calls = 0;
  auto none = [&](int, float) {
    ++calls;
    return std::vector<EmissionGroup>{};
  };
  // End frame 0: an empty file.
  ASSERT_TRUE(WriteEmissionRecords(dir.path(), 160, 0, none));
  EXPECT_EQ(gpufe_test::SizeOf(dir / "sources/Vorel.srp"), 0);
  EXPECT_EQ(calls, 0);
  // Fewer than ten ticks a frame: one record per tick, and the loop ends.
  ASSERT_TRUE(WriteEmissionRecords(dir.path(), 4, 3, none));
  EXPECT_EQ(calls, 12);
  EXPECT_EQ(gpufe_test::SizeOf(dir / "sources/Vorel.srp"), 12 * 8);
  EXPECT_FALSE(WriteEmissionRecords(dir / "nowhere", 160, 1, none));
}

TEST(SolverInputs, ColliderFramesAreNamedByTicksAndSkipEmptyFrames) {
  ScratchCache dir("colliders");
  std::vector<int> asked;
  ASSERT_TRUE(WriteColliderFrames(dir.path(), 160, 0, 4, [&](int tick) {
    asked.push_back(tick);
    if (tick == 320) return std::vector<Point3>{};
    return std::vector<Point3>{{0.0f, 0.0f, 0.0f}, {20.0f, 0.0f, 0.0f}, {0.0f, 40.0f, float(tick)}};
  }));
  EXPECT_EQ(asked, (std::vector<int>{0, 160, 320, 480, 640}));  // frames 0..4 inclusive
  EXPECT_FALSE(gpufe_test::Exists(dir / "objects/Vorel_00320.geom"));
  vorel_gpu::ColliderGeometry g;
  ASSERT_TRUE(vorel_gpu::ReadColliderFile(dir / "objects/Vorel_00480.geom", &g));
  EXPECT_EQ(g.vertexCount, 3u);
  EXPECT_EQ(g.triangleCount, 1u);
  EXPECT_FLOAT_EQ(g.vertices[1].x, 1.0f);
  EXPECT_FLOAT_EQ(g.vertices[2].y, 2.0f);
  EXPECT_FLOAT_EQ(g.vertices[2].z, 24.0f);
  EXPECT_EQ(gpufe_test::SizeOf(dir / "objects/Vorel_00000.geom"), 8 + 36);

  // A frame that cannot be written stops the writer there.
  ScratchCache bare("colliders_bare");
  std::system(("rm -rf '" + bare.path() + "/objects'").c_str());
  EXPECT_FALSE(WriteColliderFrames(bare.path(), 160, 0, 2,
                                   [](int) { return std::vector<Point3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}; }));
}

TEST(SolverInputs, KillBoxRowsAreInSolverAxisOrder) {
  ScratchCache dir("killbox");
  ASSERT_TRUE(WriteKillBoxRows(dir.path(), 160, 0, 3, [](int tick, Point3* lo, Point3* hi) {
    *lo = Point3(-1, -2, -3);
    *hi = Point3(4.0f, 5.0f, 6.0f + float(tick));
  }));
  std::vector<vorel_gpu::KillBoxRow> rows;
  ASSERT_TRUE(vorel_gpu::ReadKillBoxFile(dir / "Vorel.killparts", &rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].tick, 320);
  EXPECT_EQ(rows[0].min[0], -1.0f);
  EXPECT_EQ(rows[0].min[1], -3.0f);
  EXPECT_EQ(rows[0].min[2], -2.0f);
  EXPECT_EQ(rows[1].max[1], 166.0f);
  EXPECT_EQ(rows[1].max[2], 5.0f);
  // No rows: the count 0 alone.
  ASSERT_TRUE(WriteKillBoxRows(dir.path(), 160, 0, 0, [](int, Point3*, Point3*) {}));
  EXPECT_EQ(gpufe_test::SizeOf(dir / "Vorel.killparts"), 4);
}

// The solver reads what the front-end writes with the axes and units the
// front-end means: host (1, 2, 3) is solver (0.05, 0.15, 0.1), y up, and
// the clip box's host z range becomes the solver's y range.
TEST(SolverInputs, TheSolverReadsTheInputsInItsOwnAxes) {
  ScratchCache dir("solver_axes");
  ASSERT_TRUE(WriteFillFile(dir.path(), 8000.0f, 1, {{1, 2, 3}}, {{0.5f, 0.25f, -1.0f}}, kToSolverUnits));
  ASSERT_TRUE(WriteKillBoxRows(dir.path(), 160, 0, 2, [](int, Point3* lo, Point3* hi) {
    *lo = Point3(-1, -2, -3);
    *hi = Point3(4, 5, 6);
  }));
  EmissionGroup g;
  g.points = {{0, 0, 0}};
  EmissionInstance at;
  at.objectTM.SetTrans(Point3(20, 40, 60));
  at.velocity = Point3(0, 1, 2);
  g.instances = {at};
  ASSERT_TRUE(WriteEmissionRecords(dir.path(), 160, 2, [&](int tick, float) {
    return tick == 0 ? std::vector<EmissionGroup>{g} : std::vector<EmissionGroup>{};
  }));

  vorel_gpu::SolverSetup setup;
  setup.cacheDir = dir.path();
  vorel_gpu::ParticleSystem ps(setup, 0, 2);
  ASSERT_TRUE(ps.IsInitialized());
  ps.LoadParticles(0, 2);
  EXPECT_EQ(ps.Capacity(), 2u);  // one filled, one emitted later
  ASSERT_EQ(ps.LiveCount(), 1u);
  const auto& pos = ps.DownloadPositions();
  EXPECT_FLOAT_EQ(pos[0].x, 0.05f);
  EXPECT_FLOAT_EQ(pos[0].y, 0.15f);
  EXPECT_FLOAT_EQ(pos[0].z, 0.1f);
  const auto& vel = ps.DownloadVelocities();
  EXPECT_FLOAT_EQ(vel[0].y, -1.0f);
  EXPECT_FLOAT_EQ(vel[0].z, 0.25f);
  // Written back in a frame, shown where it started.
  ps.WriteFrame(1);
  PlaybackArrays shown;
  ASSERT_EQ(ReadFrameParticles(vorel_gpu::FrameFilePath(dir.path(), 1), 1.0f, &shown), 1);
  EXPECT_FLOAT_EQ(shown.shown[0].x, 1.0f);
  EXPECT_FLOAT_EQ(shown.shown[0].y, 2.0f);
  EXPECT_FLOAT_EQ(shown.shown[0].z, 3.0f);
  EXPECT_FLOAT_EQ(shown.fileVel[0].z, -1.0f);
  ps.UpdateKillBox(0);
  EXPECT_EQ(ps.Params().killMin[1], -3.0f);
  EXPECT_EQ(ps.Params().killMax[1], 6.0f);
  EXPECT_EQ(ps.Params().killMax[2], 5.0f);
  ps.AdvanceEmission(16, 2, vorel_gpu::kSubSamples);
  ASSERT_EQ(ps.LiveCount(), 2u);
  const auto& pos2 = ps.DownloadPositions();
  EXPECT_FLOAT_EQ(pos2[1].x, 1.0f);
  EXPECT_FLOAT_EQ(pos2[1].y, 3.0f);
  EXPECT_FLOAT_EQ(pos2[1].z, 2.0f);
}

// At 25 frames per second the records step by 19 ticks, so frames hold ten
// or eleven of them. A run resumed at frame 40 starts with the first record
// of frame 40 (tick 7680 or later), not with record 400 (tick 7600), and a
// whole run takes the records of all its ticks.
TEST(SolverInputs, AResumedRunStartsAtItsOwnEmissionRecords) {
  ScratchCache dir("resume25");
  EmissionGroup g;
  g.points = {{0, 0, 0}};
  g.instances.resize(1);
  ASSERT_TRUE(WriteEmissionRecords(dir.path(), 192, 50, [&](int tick, float) {
    g.instances[0].objectTM.SetTrans(Point3(20.0f * float(tick), 0.0f, 0.0f));  // x = tick in solver units
    return std::vector<EmissionGroup>{g};
  }));
  vorel_gpu::SolverSetup setup;
  setup.cacheDir = dir.path();
  setup.ticksPerFrame = 192;
  setup.frameRate = 25;
  vorel_gpu::ParticleSystem resumed(setup, 40, 5);
  resumed.LoadParticles(40, 5);
  ASSERT_GT(resumed.Capacity(), 0u);
  resumed.AdvanceEmission(19, 5, vorel_gpu::kSubSamples);
  ASSERT_EQ(resumed.LiveCount(), 1u);
  EXPECT_EQ(resumed.DownloadPositions()[0].x, 7695.0f);  // 19 x 405, the first tick >= 40 x 192

  vorel_gpu::ParticleSystem whole(setup, 0, 50);
  whole.LoadParticles(0, 50);
  EXPECT_EQ(whole.Capacity(), 506u);  // every record below tick 9600: 0, 19, ..., 9595
  whole.AdvanceEmission(100000, 50, vorel_gpu::kSubSamples);
  EXPECT_EQ(whole.LiveCount(), 506u);
}
