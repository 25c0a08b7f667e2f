#include "gpu_frontend/frame_playback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gpu_solver/solver_formats.h"
#include "gpufe_test_support.h"
#include "mesher/surface_builder.h"

using namespace vorel_gpufe;
using gpufe_test::ScratchCache;

namespace {

// A solver frame whose record k has id ids[k], position (k, 10k, 100k) / 20
// (so k, 10k, 100k in host units) and velocity (k, 0, -k).
std::string WriteFrame(const ScratchCache& dir, int frame, const std::vector<int32_t>& ids, float offset = 0.0f) {
  std::vector<vorel_gpu::Vec3f> pos, vel;
  for (size_t k = 0; k < ids.size(); ++k) {
    const float f = float(k) + offset;
    pos.push_back({f / 20.0f, 10.0f * f / 20.0f, 100.0f * f / 20.0f});
    vel.push_back({float(k), 0.0f, -float(k)});
  }
  const std::string path = vorel_gpu::FrameFilePath(dir.path(), frame);
  EXPECT_TRUE(vorel_gpu::WriteSolverFrame(path, 8000.0f, ids, pos, vel));
  return path;
}

}  // namespace

TEST(GpuFramePlayback, TimeMappings) {
  // 160 ticks per frame, no offset, normal speed: whole frames, no fraction.
  FrameMapping m = MapTime(480, 160, 0, 100.0f);
  EXPECT_EQ(m.meshN, 3);
  EXPECT_FLOAT_EQ(m.meshF, 3.0f);
  EXPECT_EQ(m.partN, 3);
  EXPECT_FLOAT_EQ(m.frac, 0.0f);
  m = MapTime(560, 160, 0, 100.0f);
  EXPECT_FLOAT_EQ(m.meshF, 3.5f);
  EXPECT_EQ(m.meshN, 3);
  EXPECT_FLOAT_EQ(m.partF, 3.5f);
  // Half speed: odd surface frames mesh the particles half-way.
  m = MapTime(3 * 160, 160, 0, 50.0f);
  EXPECT_EQ(m.partN, 1);
  EXPECT_FLOAT_EQ(m.partF, 1.5f);
  EXPECT_FLOAT_EQ(m.frac, 0.5f);
  EXPECT_FLOAT_EQ(MapTime(4 * 160, 160, 0, 50.0f).frac, 0.0f);
  // Before the time offset everything is frame 0; the offset shifts frames.
  m = MapTime(160, 160, 5, 100.0f);
  EXPECT_EQ(m.meshN, 0);
  EXPECT_EQ(m.partN, 0);
  EXPECT_FLOAT_EQ(m.partF, 0.0f);
  EXPECT_EQ(MapTime(7 * 160, 160, 5, 100.0f).partN, 2);
  // A negative speed stays at frame 0.
  m = MapTime(50 * 160, 160, 0, -100.0f);
  EXPECT_EQ(m.partN, 0);
  EXPECT_FLOAT_EQ(m.partF, 0.0f);
}

TEST(GpuFramePlayback, ThinningKeepsEveryOtherRecordOfEachArray) {
  ScratchCache dir("thin");
  const std::string path = WriteFrame(dir, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  PlaybackArrays a;
  float spacing = 0.0f;
  ASSERT_EQ(ReadFrameParticles(path, 0.5f, &a, &spacing), 5);
  EXPECT_NEAR(spacing, 20.0f / std::pow(8000.0f, 0.333f), 1e-5f);
  for (int i = 0; i < 5; ++i) {
    const float k = float(2 * i);
    EXPECT_EQ(a.ids[size_t(i)], 2 * i);
    EXPECT_NEAR(a.framePos[size_t(i)].y, 10.0f * k, 1e-4f);
    EXPECT_NEAR(a.shown[size_t(i)].z, 100.0f * k, 1e-3f);
    EXPECT_EQ(a.fileVel[size_t(i)].x, k);  // velocities unscaled
    EXPECT_EQ(a.noSuccessor[size_t(i)], 0);
  }
  EXPECT_NEAR(a.box.pmax.z, 800.0f, 1e-3f);
  // All of it, and a missing file.
  EXPECT_EQ(ReadFrameParticles(path, 1.0f, &a), 10);
  EXPECT_EQ(ReadFrameParticles(dir / "99999.Vorel", 1.0f, &a), 0);
  EXPECT_EQ(a.count, 0);
}

TEST(GpuFramePlayback, ShortOrDamagedFramesNeverReadPastWhatIsThere) {
  ScratchCache dir("short");
  const std::string path = WriteFrame(dir, 1, {0, 1, 2, 3});
  // Cut inside the velocities: two particles have all three arrays.
  ASSERT_EQ(::truncate(path.c_str(), 272 + 16 * 4 + 12 * 2), 0);
  PlaybackArrays a;
  EXPECT_EQ(ReadFrameParticles(path, 1.0f, &a), 2);
  EXPECT_EQ(a.shown.size(), 2u);
  // A count far beyond the file: nothing is allocated for it.
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  const int32_t huge = 0x7FFFFFFF;
  std::fseek(f, 8, SEEK_SET);
  std::fwrite(&huge, 4, 1, f);
  std::fclose(f);
  EXPECT_LE(ReadFrameParticles(path, 1.0f, &a), 4);
  // A header cut short.
  ASSERT_EQ(::truncate(path.c_str(), 10), 0);
  EXPECT_EQ(ReadFrameParticles(path, 1.0f, &a), 0);
}

// No solver writes a particle beyond its own parking distance or a frame
// without particle density: such a frame is refused whole (its surface
// would come out empty without a word), and such a next-frame particle
// pairs with nothing.
TEST(GpuFramePlayback, FramesNoSolverCanWriteAreRefusedWhole) {
  ScratchCache dir("refused");
  PlaybackArrays a;
  float spacing = 7.0f;
  const std::string good = WriteFrame(dir, 1, {0, 1, 2});
  EXPECT_EQ(ReadFrameParticlesInterpolated(good, WriteFrame(dir, 2, {0, 1, 2}), 1.0f, &a, &spacing), 3);
  EXPECT_FALSE(a.damaged);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 0, 0}));
  auto patch = [](const std::string& path, long at, float value) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    std::fseek(f, at, SEEK_SET);
    std::fwrite(&value, 4, 1, f);
    std::fclose(f);
  };
  // Positions start after the 272-byte header and the three ids.
  patch(vorel_gpu::FrameFilePath(dir.path(), 2), 272 + 12 + 24 + 4, 1e30f);  // particle 2's y
  EXPECT_EQ(ReadFrameParticlesInterpolated(good, vorel_gpu::FrameFilePath(dir.path(), 2), 1.0f, &a), 3);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 0, 1}));
  const struct {
    const char* what;
    long at;
    float value;
  } bad[] = {{"far", 272 + 12 + 12, 1e30f},     {"infinite", 272 + 12 + 8, INFINITY},
             {"beyond parking", 272 + 12, -2e6f}, {"density 0", 12, 0.0f},
             {"density < 0", 12, -8.0f},         {"density NaN", 12, NAN}};
  for (const auto& k : bad) {
    const std::string path = WriteFrame(dir, 3, {0, 1, 2});
    patch(path, k.at, k.value);
    spacing = 7.0f;
    EXPECT_EQ(ReadFrameParticles(path, 1.0f, &a, &spacing), 0) << k.what;
    EXPECT_TRUE(a.damaged) << k.what;
    EXPECT_EQ(a.count, 0) << k.what;
    EXPECT_EQ(spacing, 7.0f) << k.what;
  }
}

TEST(GpuFramePlayback, PairingByIdParksParticlesWithoutSuccessor) {
  ScratchCache dir("pair");
  const std::string now = WriteFrame(dir, 4, {1, 3, 5});
  const std::string next = WriteFrame(dir, 5, {1, 5, 7}, 0.5f);
  PlaybackArrays a;
  ASSERT_EQ(ReadFrameParticlesInterpolated(now, next, 1.0f, &a), 3);
  EXPECT_EQ(a.nextIds, (std::vector<int32_t>{1, 5, 7}));
  // id 1: record 0 -> record 0 (+0.5); id 5: record 2 -> record 1 (-0.5).
  EXPECT_NEAR(a.steps[0].x, 0.5f, 1e-5f);
  EXPECT_NEAR(a.steps[2].x, -0.5f, 1e-5f);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 1, 0}));

  SetSubFrame(4.0f, &a);  // at the whole frame nothing is parked
  EXPECT_NEAR(a.shown[1].x, 1.0f, 1e-5f);
  SetSubFrame(4.5f, &a);
  EXPECT_NEAR(a.shown[0].x, 0.25f, 1e-5f);
  EXPECT_EQ(a.shown[1].x, kParkedX);
  EXPECT_NEAR(a.shown[2].x, 1.75f, 1e-5f);

  // Left out of the surface feed.
  SurfaceBuilder b(1.0f / 1728.0f);
  b.SetDensity(1.0f, 1);
  b.BeginParticles(a.count, 2.0f);
  const std::vector<Point3> vel = FeedSurfaceBuilder(a, false, 0.5f, 1.0f, &b);
  EXPECT_EQ(b.Count(), 2);
  EXPECT_EQ(vel.size(), 2u);
}

TEST(GpuFramePlayback, AParticleThatDidNotMoveKeepsItsSuccessor) {
  ScratchCache dir("still");
  const std::string now = WriteFrame(dir, 1, {2, 4});
  const std::string next = WriteFrame(dir, 2, {2, 4});  // same places
  PlaybackArrays a;
  ReadFrameParticlesInterpolated(now, next, 1.0f, &a);
  EXPECT_EQ(a.steps[1].x, 0.0f);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 0}));
  SetSubFrame(1.5f, &a);
  EXPECT_NE(a.shown[0].x, kParkedX);
}

TEST(GpuFramePlayback, NextFrameMissingOrPairedByPlace) {
  ScratchCache dir("pairing");
  const std::string now = WriteFrame(dir, 1, {10, 20, 30});
  PlaybackArrays a;
  ASSERT_EQ(ReadFrameParticlesInterpolated(now, dir / "00002.Vorel", 1.0f, &a), 3);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(a.steps[2].x, 0.0f);
  SetSubFrame(1.7f, &a);
  EXPECT_NE(a.shown[2].x, kParkedX);  // they stand still, visible

  // A next file with the fill tag pairs record i with particle i, ids aside.
  vorel_gpu::WriteFillFile(dir / "00002.Vorel", 8000.0f, {{1, 0, 0}, {2, 0, 0}}, {{0, 0, 0}, {0, 0, 0}});
  ReadFrameParticlesInterpolated(now, dir / "00002.Vorel", 1.0f, &a);
  EXPECT_NEAR(a.steps[0].x, 20.0f, 1e-4f);
  EXPECT_NEAR(a.steps[1].x, 39.0f, 1e-4f);
  EXPECT_EQ(a.noSuccessor, (std::vector<uint8_t>{0, 0, 1}));
}

TEST(GpuFramePlayback, PreciseFeedSkipsNaNAndParkedPoints) {
  PlaybackArrays a;
  a.Resize(3);
  a.shown[0] = Point3(1, 2, 3);
  a.shown[1] = Point3(kParkedX, 0.0f, 0.0f);
  a.shown[2] = Point3(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f);
  SurfaceBuilder b(1.0f / 1728.0f);
  b.SetDensity(1.0f, 1);
  b.BeginParticles(3, 2.0f);
  const std::vector<Point3> vel = FeedSurfaceBuilder(a, true, 0.0f, 1.0f, &b);
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(vel.size(), 3u);
  EXPECT_EQ(vel[0].x, 0.0f);
}

TEST(GpuFramePlayback, HostMeshMovesByVelocityOnlyWhenEveryVertexHasOne) {
  MeshRecord rec;
  rec.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  rec.secondVertices = {{2, 0, 0}, {2, 0, 0}, {2, 0, 0}};
  rec.faces = {{0, 1, 2}};
  Matrix3 toObject;
  toObject.SetTrans(Point3(0, 0, -10));
  Mesh mesh;
  BuildHostMesh(rec, 0.5f, toObject, &mesh);
  ASSERT_EQ(mesh.getNumVerts(), 3);
  ASSERT_EQ(mesh.getNumFaces(), 1);
  EXPECT_EQ(mesh.verts[1], Point3(2, 0, -10));
  EXPECT_EQ(mesh.tVerts[1], Point3(2, 0, -10));
  EXPECT_EQ(mesh.faces[0].v[2], 2u);
  EXPECT_EQ(mesh.faces[0].getEdgeVis(2), 1);
  // A second list that does not match the vertices moves nothing.
  rec.secondVertices.pop_back();
  BuildHostMesh(rec, 0.5f, Matrix3(), &mesh);
  EXPECT_EQ(mesh.verts[1], Point3(1, 0, 0));
  ClearHostMesh(&mesh);
  EXPECT_EQ(mesh.getNumVerts(), 0);
  EXPECT_EQ(mesh.getNumFaces(), 0);
}
