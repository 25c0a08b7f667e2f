#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mesher/mesh_record.h"

namespace {

std::string TempPath(const char* name) {
  return std::string(VOREL_BINARY_DIR) + "/mesher_test_" + name;
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

uint32_t U32At(const std::vector<unsigned char>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void PutU32At(std::vector<unsigned char>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

MeshRecord OneTriangle() {
  MeshRecord m;
  m.vertices = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.5f}};
  m.secondVertices.assign(3, Point3(0.0f, 0.0f, 0.0f));
  m.faces = {{0, 1, 2}};
  return m;
}

}  // namespace

TEST(MeshFile, EmptyMeshIsTwentyEightBytesWithMarkers) {
  MeshRecord m;
  const std::string p = TempPath("empty.bin");
  ASSERT_TRUE(m.WriteSurfaceCache(p, 7, 0));
  auto b = ReadBytes(p);
  ASSERT_EQ(b.size(), 28u);
  EXPECT_EQ(U32At(b, 0), 0u);  // stamp 0 is written as 0
  EXPECT_EQ(U32At(b, 4), 2u);
  EXPECT_EQ(U32At(b, 8), 0xBACABACAu);
  EXPECT_EQ(U32At(b, 12), 0u);
  EXPECT_EQ(U32At(b, 16), 0u);
  EXPECT_EQ(U32At(b, 20), 0u);
  EXPECT_EQ(U32At(b, 24), 0xDEDEDEDEu);
  MeshRecord back;
  EXPECT_TRUE(back.ReadSurfaceCache(p));
  EXPECT_EQ(back.VertexCount(), 0);
  std::remove(p.c_str());
}

TEST(MeshFile, OneTriangleLayoutAndRoundTrip) {
  MeshRecord m = OneTriangle();
  m.secondVertices[1] = Point3(0.25f, -2.0f, 3.0f);
  const std::string p = TempPath("tri.bin");
  ASSERT_TRUE(m.WriteSurfaceCache(p, 0, 123456));
  auto b = ReadBytes(p);
  ASSERT_EQ(b.size(), 136u);
  EXPECT_EQ(int64_t(b.size()), MeshFrameFileSize(3, 3, 1));
  EXPECT_EQ(U32At(b, 0), 123456u);
  EXPECT_EQ(U32At(b, 12), 3u);
  EXPECT_EQ(U32At(b, 52), 3u);  // second count after 3 vertices
  // Texture pairs are zero, never stray memory.
  for (size_t at = 92; at < 116; at += 4) EXPECT_EQ(U32At(b, at), 0u);
  EXPECT_EQ(U32At(b, 116), 1u);
  EXPECT_EQ(U32At(b, 120), 0u);
  EXPECT_EQ(U32At(b, 124), 1u);
  EXPECT_EQ(U32At(b, 128), 2u);
  EXPECT_EQ(U32At(b, 132), 0xDEDEDEDEu);

  MeshFrameData d;
  ASSERT_EQ(ReadMeshFrameFile(p, d), MeshFileStatus::Ok);
  EXPECT_EQ(d.stamp, 123456);
  EXPECT_EQ(d.vertices, m.vertices);
  EXPECT_EQ(d.secondVertices, m.secondVertices);
  EXPECT_EQ(d.faces, m.faces);
  ASSERT_EQ(d.mapPoints.size(), 3u);
  int32_t stamp = 0;
  EXPECT_TRUE(ReadMeshFrameStamp(p, stamp));
  EXPECT_EQ(stamp, 123456);

  // Writing the read record again gives the same bytes, also through a
  // kept buffer that last held a larger file (nothing of it stays).
  MeshRecord back;
  ASSERT_TRUE(back.ReadSurfaceCache(p));
  const std::string p2 = TempPath("tri2.bin");
  std::vector<unsigned char> kept(500, 0xFF);
  ASSERT_TRUE(back.WriteSurfaceCache(p2, 0, 123456, nullptr, &kept));
  EXPECT_EQ(ReadBytes(p2), b);
  EXPECT_EQ(kept, b);
  std::remove(p.c_str());
  std::remove(p2.c_str());
}

TEST(MeshFile, ClearKeepsBounds) {
  MeshRecord m = OneTriangle();
  m.boundsMin = Point3(1.0f, 2.0f, 3.0f);
  m.Clear();
  EXPECT_EQ(m.VertexCount(), 0);
  EXPECT_EQ(m.FaceCount(), 0);
  EXPECT_TRUE(m.secondVertices.empty());
  EXPECT_EQ(m.boundsMin, Point3(1.0f, 2.0f, 3.0f));
  MeshRecord fresh;
  EXPECT_EQ(fresh.boundsMin, Point3(1e6f, 1e6f, 1e6f));
  EXPECT_EQ(fresh.boundsMax, Point3(-1e6f, -1e6f, -1e6f));
}

TEST(MeshFile, ReaderRefusesBadFiles) {
  const std::string p = TempPath("bad.bin");
  ASSERT_TRUE(OneTriangle().WriteSurfaceCache(p, 0, 5));
  const auto good = ReadBytes(p);
  MeshRecord m;
  MeshFileStatus s;

  EXPECT_FALSE(m.ReadSurfaceCache(TempPath("does_not_exist.bin"), &s));
  EXPECT_EQ(s, MeshFileStatus::Missing);

  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    MeshFileStatus expect;
  };
  std::vector<Case> cases;
  for (size_t cut : {0, 3, 15, 40, 60, 100, 120, 135})
    cases.push_back({"truncated", std::vector<unsigned char>(good.begin(), good.begin() + long(cut)),
                     MeshFileStatus::Truncated});
  auto patched = [&](size_t at, uint32_t v) {
    auto b = good;
    PutU32At(b, at, v);
    return b;
  };
  cases.push_back({"head marker", patched(8, 0xBACABACBu), MeshFileStatus::BadMarker});
  cases.push_back({"version", patched(4, 3), MeshFileStatus::BadMarker});
  cases.push_back({"end marker", patched(132, 0), MeshFileStatus::BadMarker});
  cases.push_back({"negative nV", patched(12, uint32_t(-1)), MeshFileStatus::BadCount});
  cases.push_back({"huge nV", patched(12, 0x7FFFFFFFu), MeshFileStatus::Truncated});
  cases.push_back({"negative nC", patched(52, uint32_t(-5)), MeshFileStatus::BadCount});
  cases.push_back({"huge nF", patched(116, 0x40000000u), MeshFileStatus::Truncated});
  cases.push_back({"face index high", patched(128, 3), MeshFileStatus::BadFaceIndex});
  cases.push_back({"face index negative", patched(120, uint32_t(-1)), MeshFileStatus::BadFaceIndex});
  cases.push_back({"vertex NaN", patched(16, 0x7FC00000u), MeshFileStatus::BadValue});
  cases.push_back({"second vertex infinite", patched(60, 0xFF800000u), MeshFileStatus::BadValue});
  auto longer = good;
  longer.push_back(0);
  cases.push_back({"trailing bytes", longer, MeshFileStatus::BadCount});

  for (const Case& c : cases) {
    WriteBytes(p, c.bytes);
    m = OneTriangle();
    EXPECT_FALSE(m.ReadSurfaceCache(p, &s)) << c.what;
    EXPECT_EQ(s, c.expect) << c.what << " size " << c.bytes.size();
    EXPECT_EQ(m.VertexCount(), 0) << c.what;
    EXPECT_EQ(m.FaceCount(), 0) << c.what;
  }
  std::remove(p.c_str());
}

TEST(MeshFile, FailedWriteKeepsEarlierFile) {
  const std::string p = TempPath("keep.bin");
  ASSERT_TRUE(OneTriangle().WriteSurfaceCache(p, 0, 9));
  const auto before = ReadBytes(p);
  MeshRecord big;
  big.vertices.assign(1000, Point3(1, 2, 3));
  big.secondVertices = big.vertices;
  // The side file cannot be made (the process may open no more files: the
  // limit holds for root too): the earlier file at the same path stays as it
  // was.
  struct rlimit files;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
  const int lowest = ::dup(0);
  ASSERT_GE(lowest, 0);
  ::close(lowest);
  struct rlimit none = files;
  none.rlim_cur = rlim_t(lowest);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  int why = 0;
  const bool madeIt = big.WriteSurfaceCache(p, 0, 1, &why);
  ::setrlimit(RLIMIT_NOFILE, &files);
  EXPECT_FALSE(madeIt);
  EXPECT_EQ(why, EMFILE);
  EXPECT_EQ(ReadBytes(p), before);
  // The disk fills in the middle of the write (a file size limit stands in
  // for it, and holds for root too): the earlier file stays, no side file
  // is left.
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 256;
  std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool wrote = big.WriteSurfaceCache(p, 0, 1);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(ReadBytes(p), before);
  EXPECT_FALSE(std::ifstream(p + ".part").good());
  std::remove(p.c_str());
}
