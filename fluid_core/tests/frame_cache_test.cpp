// Particle frame files byte for byte, reading back, the cache scan and the
// surface mesh read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "mesher/mesh_record.h"
#include "solver_test_util.h"

using solver_test::MakeSolver;
using solver_test::Put;
using solver_test::ReadAll;

namespace {
template <typename T>
T At(const std::vector<unsigned char>& b, size_t off) {
  T v;
  std::memcpy(&v, &b[off], sizeof v);
  return v;
}

std::unique_ptr<FluidSolver> CacheSolver(const std::string& name) {
  std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
  s->frameCache.cacheRoot = solver_test::ScratchDir(name);
  s->frameCache.systemName = "sys";
  vorel::host::MakeDirectories(s->frameCache.SystemFolder());
  vorel::host::MakeDirectories(s->frameCache.SurfaceFolder());
  return s;
}
}  // namespace

TEST(FrameFile, EmptyFrameIsHeaderAndReservedBlock) {
  auto s = CacheSolver("empty");
  s->stamp = 4242;
  EXPECT_EQ(s->frameCache.FramePath(3), s->frameCache.cacheRoot + "/Vorel/sys/00003.Vorel");
  EXPECT_EQ(s->frameCache.MeshPath(3), s->frameCache.cacheRoot + "/Vorel/sys/surface/m00003.bin");
  EXPECT_EQ(s->WriteEmptyFrame(3), 272);
  auto b = ReadAll(s->frameCache.FramePath(3));
  ASSERT_EQ(b.size(), 272u);
  EXPECT_EQ(At<uint32_t>(b, 0), 0x5E1379D3u);
  EXPECT_EQ(At<int32_t>(b, 4), 4242);
  EXPECT_EQ(At<int32_t>(b, 8), 0);
  EXPECT_EQ(At<float>(b, 12), 216.0f);
  for (size_t i = 16; i < 272; ++i) ASSERT_EQ(b[i], 0);
}

TEST(FrameFile, ArraysSitAtTheirOffsetsAndRoundTrip) {
  auto s = CacheSolver("layout");
  const int n = 3;
  for (int i = 0; i < n; ++i) {
    int k = Put(*s, Vec3f(1.0f, 2.0f * i, -0.5f), 0.1f + 0.1f * i, Vec3f(0.5f, 0, 0));
    FluidParticle& p = s->particles[k];
    p.sourceIndex = 10 + i;
    p.age = 100 + i;
    p.pairAccel = Vec3f(7, 8, 9 + i);
    p.neighbourCount = i + 1;
    p.texCoord = Vec3f(0.25f, 0.5f, i);
    p.tag = 0xABC00000u + i;
  }
  s->particles[1].dead = 1;  // dead slots are written too
  ASSERT_EQ(s->WriteFrame(0), 272 + 72 * n);
  auto b = ReadAll(s->frameCache.FramePath(0));
  ASSERT_EQ(b.size(), size_t(272 + 72 * n));
  EXPECT_EQ(At<int32_t>(b, 8), n);
  EXPECT_EQ(At<int32_t>(b, 272 + 4 * 2), 12);
  EXPECT_EQ(At<float>(b, 272 + 4 * n), 20.0f);  // pos.x 1.0 x the frame scale
  EXPECT_EQ(At<float>(b, 272 + 4 * n + 12 * 1 + 4), 40.0f);
  EXPECT_EQ(At<float>(b, 272 + 16 * n), 10.0f);  // vel.x 0.5 x 20
  EXPECT_EQ(At<int32_t>(b, 272 + 28 * n + 4), 101);
  EXPECT_EQ(At<float>(b, 272 + 32 * n + 12 * 2 + 8), 11.0f);
  EXPECT_EQ(At<int32_t>(b, 272 + 44 * n + 8), 3);
  EXPECT_EQ(At<float>(b, 272 + 48 * n + 4), 0.5f);
  EXPECT_EQ(At<uint32_t>(b, 272 + 60 * n + 4), 0xABC00001u);
  EXPECT_FLOAT_EQ(At<float>(b, 272 + 64 * n + 8), 0.3f);
  EXPECT_FLOAT_EQ(At<float>(b, 272 + 68 * n), 1.0f);

  std::vector<FluidParticle> back(5);
  back[4].age = -77;
  ASSERT_EQ(s->frameCache.ReadFrame(0, back, 1.0f), n);
  EXPECT_EQ(back[4].age, -77);
  EXPECT_EQ(back[0].pos, Vec3f(1.0f, 0.0f, -0.5f));
  EXPECT_EQ(back[2].sourceIndex, 12);
  EXPECT_EQ(back[2].fileNeighbourCount, 3);
  EXPECT_EQ(back[2].neighbourCount, 0);
  EXPECT_EQ(back[1].tag, 0xABC00001u);
  EXPECT_EQ(back[1].pairAccel, Vec3f(7, 8, 10));

  std::vector<FluidParticle> half;
  ASSERT_EQ(s->frameCache.ReadFrame(0, half, 0.5f), 2);
  EXPECT_EQ(half.size(), size_t(n));
  EXPECT_EQ(half[0].sourceIndex, 10);
  EXPECT_EQ(half[1].sourceIndex, 12);

  std::vector<Vec3f> pos;
  ASSERT_EQ(s->frameCache.ReadFramePositions(0, pos), n);
  EXPECT_EQ(pos[2], Vec3f(1.0f, 4.0f, -0.5f));
  EXPECT_EQ(s->frameCache.ReadFramePositions(1, pos), -1);
}

TEST(FrameFile, ShortOrLyingFilesAreRefused) {
  auto s = CacheSolver("short");
  Put(*s, Vec3f(1, 1, 1), 0.1f);
  Put(*s, Vec3f(2, 2, 2), 0.1f);
  ASSERT_GT(s->WriteFrame(0), 0);
  auto b = ReadAll(s->frameCache.FramePath(0));
  std::vector<FluidParticle> out;
  solver_test::WriteAll(s->frameCache.FramePath(1), std::vector<unsigned char>(b.begin(), b.end() - 1));
  EXPECT_EQ(s->frameCache.ReadFrame(1, out, 1.0f), -1);
  auto lying = b;
  int32_t huge = 50000000;
  std::memcpy(&lying[8], &huge, 4);
  solver_test::WriteAll(s->frameCache.FramePath(2), lying);
  EXPECT_EQ(s->frameCache.ReadFrame(2, out, 1.0f), -1);
  EXPECT_TRUE(out.empty());
  solver_test::WriteAll(s->frameCache.FramePath(3), std::vector<unsigned char>(b.begin(), b.begin() + 10));
  EXPECT_EQ(s->frameCache.ReadFrame(3, out, 1.0f), -1);
  EXPECT_EQ(s->frameCache.ReadFrame(4, out, 1.0f), -1);
}

// One NaN resumed into the solver spreads to every neighbour at the next
// step: a frame holding one is damaged, like a cut one.
TEST(FrameFile, NonFiniteValuesMakeAFrameDamaged) {
  auto s = CacheSolver("nonfinite");
  Put(*s, Vec3f(1, 1, 1), 0.1f);
  Put(*s, Vec3f(2, 2, 2), 0.1f);
  ASSERT_GT(s->WriteFrame(0), 0);
  const auto whole = ReadAll(s->frameCache.FramePath(0));
  const int64_t n = 2;
  const struct {
    const char* field;
    int64_t offset;
    float value;
  } bad[] = {{"position x", ParticleFrameFile::PosOffset(n), std::nanf("")},
             {"position z", ParticleFrameFile::PosOffset(n) + 20, INFINITY},
             {"velocity", ParticleFrameFile::VelOffset(n) + 16, -INFINITY},
             {"spacing", ParticleFrameFile::SpacingOffset(n) + 4, std::nanf("")},
             {"mass", ParticleFrameFile::MassOffset(n), std::nanf("")}};
  std::vector<FluidParticle> out;
  std::vector<Vec3f> pos;
  for (const auto& b : bad) {
    auto damaged = whole;
    std::memcpy(&damaged[size_t(b.offset)], &b.value, 4);
    solver_test::WriteAll(s->frameCache.FramePath(1), damaged);
    EXPECT_EQ(s->frameCache.ReadFrame(1, out, 1.0f), -1) << b.field;
    EXPECT_EQ(s->frameCache.ReadFramePositions(1, pos), -1) << b.field;
  }
  EXPECT_EQ(s->frameCache.ReadFrame(0, out, 1.0f), 2);
}

TEST(FrameFile, UnwritableFolderGivesZeroAndKeepsNothing) {
  auto s = CacheSolver("nowrite");
  // A missing system folder: nothing appears beside it either.
  const std::string parent = s->frameCache.SystemFolder() + "../";
  const size_t before = vorel::host::ListFiles(parent, "*").size();
  s->frameCache.systemName = "missing_folder";
  EXPECT_EQ(s->WriteEmptyFrame(0), 0);
  EXPECT_EQ(vorel::host::ListFiles(parent, "*").size(), before);
  // A folder that exists but where the frame cannot be put in place (a
  // folder holds its name): no temporary file is left behind.
  s->frameCache.systemName = "sys";
  ASSERT_TRUE(vorel::host::MakeDirectories(s->frameCache.FramePath(0)));
  const size_t inside = vorel::host::ListFiles(s->frameCache.SystemFolder(), "*").size();
  EXPECT_EQ(s->WriteEmptyFrame(0), 0);
  EXPECT_EQ(vorel::host::ListFiles(s->frameCache.SystemFolder(), "*").size(), inside);
}

// A file of another kind whose length fits its count (a fill file, say) is
// no frame: readers and the scan refuse it.
TEST(FrameFile, FilesWithAnotherTagAreRefused) {
  auto s = CacheSolver("tag");
  Put(*s, Vec3f(1, 1, 1), 0.1f);
  ASSERT_GT(s->WriteFrame(0), 0);
  ASSERT_GT(s->WriteFrame(1), 0);
  auto b = ReadAll(s->frameCache.FramePath(1));
  const uint32_t fillTag = 0x6DD41E2Eu;
  std::memcpy(&b[0], &fillTag, 4);
  solver_test::WriteAll(s->frameCache.FramePath(1), b);
  std::vector<FluidParticle> out;
  std::vector<Vec3f> pos;
  ParticleFrameHeader h;
  EXPECT_EQ(s->frameCache.ReadFrame(1, out, 1.0f), -1);
  EXPECT_EQ(s->frameCache.ReadFramePositions(1, pos), -1);
  EXPECT_FALSE(s->frameCache.ReadHeader(1, h));
  EXPECT_TRUE(s->frameCache.ReadHeader(0, h));
  std::vector<int32_t> counts;
  std::vector<uint8_t> meshed;
  int lastSolved = -1, lastMeshed = -1;
  s->frameCache.Scan(*s, counts, lastSolved, meshed, lastMeshed, 10);
  EXPECT_EQ(lastSolved, 0);
}

// A surface mesh cut short (a crash while meshing, a full disk) is not
// counted as meshed, so the frame is meshed again.
TEST(FrameCacheScan, CutSurfaceMeshesAreNotCountedAsMeshed) {
  auto s = CacheSolver("scan_cut_mesh");
  for (int f = 0; f <= 2; ++f) ASSERT_GT(s->WriteEmptyFrame(f), 0);
  MeshRecord m;
  m.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  m.secondVertices = m.vertices;
  m.faces = {MeshFace{0, 1, 2}};
  for (int f = 0; f <= 2; ++f) ASSERT_TRUE(m.WriteSurfaceCache(s->frameCache.MeshPath(f), f, s->stamp));
  auto whole = ReadAll(s->frameCache.MeshPath(2));
  std::vector<int32_t> counts;
  std::vector<uint8_t> meshed;
  int lastSolved = -1, lastMeshed = -1;
  for (size_t cut : {size_t(4), size_t(17), whole.size() / 2, whole.size() - 1}) {
    solver_test::WriteAll(s->frameCache.MeshPath(2), std::vector<unsigned char>(whole.begin(), whole.begin() + long(cut)));
    meshed.assign(10, 0);
    s->frameCache.Scan(*s, counts, lastSolved, meshed, lastMeshed, 10);
    EXPECT_EQ(lastSolved, 2) << cut;
    EXPECT_EQ(lastMeshed, 1) << cut;
    EXPECT_EQ(meshed[2], 0) << cut;
  }
  auto grown = whole;
  grown.push_back(0);
  solver_test::WriteAll(s->frameCache.MeshPath(2), grown);
  s->frameCache.Scan(*s, counts, lastSolved, meshed, lastMeshed, 10);
  EXPECT_EQ(lastMeshed, 1);
  solver_test::WriteAll(s->frameCache.MeshPath(2), whole);
  s->frameCache.Scan(*s, counts, lastSolved, meshed, lastMeshed, 10);
  EXPECT_EQ(lastMeshed, 2);
}

TEST(FrameFile, ReloadCountsEveryParticleReadAndGrowsBySteps) {
  auto s = CacheSolver("reload");
  std::vector<Vec3f> pts(20000, Vec3f(1, 1, 1));
  s->AddParticles(10.0f, 0, pts, 20000, 0.0f, 0, 1);
  s->particles[5].pos = s->parkingPos;  // parked: comes back dead
  ASSERT_GT(s->WriteFrame(0), 0);
  auto t = CacheSolver("reload2");
  t->frameCache.cacheRoot = s->frameCache.cacheRoot;
  for (int i = 0; i < 100; ++i) t->particles[i].active = 0;  // stale flags of an earlier run
  t->ReloadFrame(7, 20000);  // missing: nothing changes
  EXPECT_EQ(t->count, 0);
  t->ReloadFrame(0, 20000);
  EXPECT_EQ(t->particles.size(), 32768u);
  EXPECT_EQ(t->displayParticles.size(), 32768u);
  EXPECT_EQ(t->count, 20000);
  EXPECT_EQ(t->particles[5].dead, 1);
  EXPECT_EQ(t->particles[6].dead, 0);
  EXPECT_EQ(t->bounds[0], 1.0f);
  EXPECT_FLOAT_EQ(t->MaxStableStep(), t->frameLength / 6.0f);
}

TEST(FrameCacheScan, FindsTheCacheExtentAndKeepsTheAcceptedStamp) {
  auto s = CacheSolver("scan");
  s->stamp = 11;
  for (int f = 1; f <= 4; ++f) {
    s->particlesPerVolume = 100.0 + f;
    if (f == 4) s->stamp = 99;  // a frame of another simulation
    ASSERT_GT(s->WriteEmptyFrame(f), 0);
  }
  MeshRecord m;
  m.WriteSurfaceCache(s->frameCache.MeshPath(0), 0, 5);  // mesh 0 may carry any stamp
  m.WriteSurfaceCache(s->frameCache.MeshPath(1), 1, 11);
  m.WriteSurfaceCache(s->frameCache.MeshPath(3), 3, 11);
  auto t = CacheSolver("scan_reader");
  t->frameCache.cacheRoot = s->frameCache.cacheRoot;
  t->stamp = 0;
  std::vector<int32_t> counts(10000, -5);
  std::vector<uint8_t> meshed(10000, 0);
  int lastSolved = -1, lastMeshed = -1;
  t->frameCache.Scan(*t, counts, lastSolved, meshed, lastMeshed);
  EXPECT_EQ(lastSolved, 3);
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(counts[3], 0);
  EXPECT_EQ(t->stamp, 11);
  EXPECT_DOUBLE_EQ(t->particlesPerVolume, 103.0);
  EXPECT_NEAR(t->h, 1.0f / std::pow(103.0, 0.333333), 1e-6);
  EXPECT_EQ(lastMeshed, 1);
  EXPECT_EQ(meshed[0], 1);
  EXPECT_EQ(meshed[1], 1);
  EXPECT_EQ(meshed[3], 0);

  auto e = CacheSolver("scan_empty");
  e->frameCache.Scan(*e, counts, lastSolved, meshed, lastMeshed, 50);
  EXPECT_EQ(lastSolved, 0);
  EXPECT_EQ(lastMeshed, 0);
  EXPECT_DOUBLE_EQ(e->particlesPerVolume, 10.0);
}

TEST(FrameCacheMesh, ReadsASurfaceMeshIntoCallerArrays) {
  auto s = CacheSolver("mesh");
  MeshRecord m;
  m.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  m.secondVertices.assign(3, Point3(0, 0, 0));
  m.faces = {{0, 1, 2}};
  ASSERT_TRUE(m.WriteSurfaceCache(s->frameCache.MeshPath(2), 2, 1));
  int vc = 0, fc = 0;
  std::vector<Vec3f> v, sv, mp;
  std::vector<std::array<int32_t, 3>> faces;
  ASSERT_TRUE(s->frameCache.ReadMeshFrame(2, vc, fc, v, sv, mp, faces));
  EXPECT_EQ(vc, 3);
  EXPECT_EQ(fc, 1);
  EXPECT_EQ(v[1], Vec3f(1, 0, 0));
  EXPECT_EQ(mp.size(), 3u);
  EXPECT_EQ(mp[2].z, 0.0f);
  EXPECT_EQ(faces[0][2], 2);
  EXPECT_FALSE(s->frameCache.ReadMeshFrame(5, vc, fc, v, sv, mp, faces));
  // More second entries than vertices: refused rather than overrun.
  m.secondVertices.assign(5, Point3(0, 0, 0));
  ASSERT_TRUE(m.WriteSurfaceCache(s->frameCache.MeshPath(4), 4, 1));
  EXPECT_FALSE(s->frameCache.ReadMeshFrame(4, vc, fc, v, sv, mp, faces));
}
