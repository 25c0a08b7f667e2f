#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

#include "gpu_solver/solver_formats.h"
#include "test_support.h"

using namespace vorel_gpu;
using vorel_gpu_test::FileSize;
using vorel_gpu_test::ScratchDir;

TEST(SolverFormats, PathsUseFiveDigitsAndGrowPastThem) {
  EXPECT_EQ(FillFilePath("c"), "c/sources/Vorel.fll");
  EXPECT_EQ(EmissionFilePath("c"), "c/sources/Vorel.srp");
  EXPECT_EQ(KillBoxFilePath("c"), "c/Vorel.killparts");
  EXPECT_EQ(ColliderFilePath("c", 480), "c/objects/Vorel_00480.geom");
  EXPECT_EQ(ColliderFilePath("c", 123456), "c/objects/Vorel_123456.geom");
  EXPECT_EQ(FrameFilePath("c", 7), "c/00007.Vorel");
}

TEST(SolverFormats, FileSizesFollowTheLayouts) {
  ScratchDir d("formats_sizes");
  ASSERT_TRUE(WriteFillFile(d / "empty.fll", 8000.0f, {}, {}));
  EXPECT_EQ(FileSize(d / "empty.fll"), 272);
  ASSERT_TRUE(WriteFillFile(d / "two.fll", 8000.0f, {{1, 2, 3}, {4, 5, 6}}, {{0, 0, 1}, {0, 0, 2}}));
  EXPECT_EQ(FileSize(d / "two.fll"), 272 + 28 * 2);
  ASSERT_TRUE(WriteEmissionFile(d / "e.srp", {EmissionRecord{16, {}, {}}}));
  EXPECT_EQ(FileSize(d / "e.srp"), 8);
  ASSERT_TRUE(WriteColliderFile(d / "c.geom", std::vector<Vec3f>(6, Vec3f{1, 1, 1})));
  EXPECT_EQ(FileSize(d / "c.geom"), 8 + 36 * 2);
  ASSERT_TRUE(WriteKillBoxFile(d / "k", std::vector<KillBoxRow>(3)));
  EXPECT_EQ(FileSize(d / "k"), 4 + 28 * 3);
}

TEST(SolverFormats, FillRoundTripAndDamagedFiles) {
  ScratchDir d("formats_fill");
  ASSERT_TRUE(WriteFillFile(d / "f", 27.0f, {{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}));
  FillHeader h;
  std::vector<Vec3f> p, v;
  ASSERT_TRUE(ReadFillFile(d / "f", 1, &h, &p, &v));
  EXPECT_EQ(h.tag, kFillTag);
  EXPECT_EQ(h.count, 2);
  EXPECT_EQ(h.ppuv, 27.0f);
  ASSERT_EQ(p.size(), 1u);  // capped by the caller's capacity
  EXPECT_EQ(p[0].z, 3.0f);
  EXPECT_EQ(v[0].x, 7.0f);
  // A file shorter than its count, or with an unusable density, is refused.
  ASSERT_EQ(::truncate((d / "f").c_str(), 272 + 28 * 2 - 1), 0);
  EXPECT_FALSE(ReadFillFileHeader(d / "f", &h));
  ASSERT_TRUE(WriteFillFile(d / "z", 0.0f, {}, {}));
  EXPECT_FALSE(ReadFillFileHeader(d / "z", &h));
  EXPECT_FALSE(ReadFillFileHeader(d / "missing", &h));
}

TEST(SolverFormats, EmissionReaderStopsAtTheFirstPartialRecord) {
  ScratchDir d("formats_emission");
  std::vector<EmissionRecord> recs = {{0, {{1, 2, 3}}, {{4, 5, 6}}}, {16, {}, {}}, {32, {{1, 1, 1}, {2, 2, 2}}, {{0, 0, 0}, {0, 0, 0}}}};
  ASSERT_TRUE(WriteEmissionFile(d / "e", recs));
  ASSERT_EQ(::truncate((d / "e").c_str(), FileSize(d / "e") - 4), 0);
  EmissionReader in(d / "e");
  EmissionRecord r;
  ASSERT_TRUE(in.Next(&r));
  EXPECT_EQ(r.positions.size(), 1u);
  EXPECT_EQ(r.velocities[0].z, 6.0f);
  int32_t n = -1;
  ASSERT_TRUE(in.Skip(&n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(in.Next(&r));
  EXPECT_FALSE(in.Skip(&n));
  EmissionReader none(d / "missing");
  EXPECT_FALSE(none.Next(&r));
}

TEST(SolverFormats, ColliderAndKillBoxFiles) {
  ScratchDir d("formats_collider");
  ASSERT_TRUE(WriteColliderFile(d / "c", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
  ColliderGeometry g;
  ASSERT_TRUE(ReadColliderFile(d / "c", &g));
  EXPECT_EQ(g.vertexCount, 3u);
  EXPECT_EQ(g.triangleCount, 1u);
  EXPECT_EQ(g.vertices[1].x, 1.0f);
  // A vertex count the file cannot hold is refused instead of read past.
  std::FILE* f = std::fopen((d / "bad").c_str(), "wb");
  uint32_t hdr[2] = {1000000, 333333};
  std::fwrite(hdr, 4, 2, f);
  std::fclose(f);
  EXPECT_FALSE(ReadColliderFile(d / "bad", &g));
  EXPECT_EQ(g.vertexCount, 3u);
  // A NaN corner would poison every particle near the collider.
  ASSERT_TRUE(WriteColliderFile(d / "nan", {{0, 0, 0}, {std::nanf(""), 0, 0}, {0, 1, 0}}));
  EXPECT_FALSE(ReadColliderFile(d / "nan", &g));

  KillBoxRow row;
  row.tick = 160;
  const float mins[3] = {1, 2, 3}, maxs[3] = {4, 5, 6};
  std::memcpy(row.min, mins, sizeof mins);
  std::memcpy(row.max, maxs, sizeof maxs);
  ASSERT_TRUE(WriteKillBoxFile(d / "k", {row, row}));
  std::vector<KillBoxRow> rows;
  ASSERT_TRUE(ReadKillBoxFile(d / "k", &rows));
  ASSERT_EQ(rows.size(), 2u);  // taken as stored
  EXPECT_EQ(rows[1].tick, 160);
  EXPECT_EQ(rows[1].min[1], 2.0f);
  EXPECT_EQ(rows[1].max[2], 6.0f);
  ASSERT_TRUE(WriteKillBoxFile(d / "none", {}));
  EXPECT_TRUE(ReadKillBoxFile(d / "none", &rows));
  EXPECT_TRUE(rows.empty());
  EXPECT_FALSE(ReadKillBoxFile(d / "missing", &rows));
}

// A kill-box file that is not exactly its declared rows is refused whole: a
// cut file read as fewer boxes would let particles live that should die.
TEST(SolverFormats, DamagedKillBoxFilesAreRefused) {
  ScratchDir d("formats_killbox");
  KillBoxRow row;
  row.tick = 160;
  ASSERT_TRUE(WriteKillBoxFile(d / "k", {row, row}));
  const std::vector<uint8_t> whole = vorel_gpu_test::ReadBytes(d / "k");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> negative = whole;
  negative[3] = 0xFF;  // count -> negative
  std::vector<uint8_t> grown = whole;
  grown.push_back(0);
  const std::vector<Case> cases = {
      {"empty", {}},
      {"count cut", {whole.begin(), whole.begin() + 3}},
      {"row cut", {whole.begin(), whole.begin() + 4 + 28 + 10}},
      {"last byte cut", {whole.begin(), whole.end() - 1}},
      {"negative count", negative},
      {"trailing byte", grown},
  };
  for (const Case& c : cases) {
    vorel_gpu_test::WriteBytes(d / "bad", c.bytes);
    std::vector<KillBoxRow> rows(1);
    EXPECT_FALSE(ReadKillBoxFile(d / "bad", &rows)) << c.what;
    EXPECT_TRUE(rows.empty()) << c.what;
  }
}

// Files of another kind with a plausible length, and fill files holding a
// NaN or infinite point, are refused.
TEST(SolverFormats, FillFilesOfAnotherKindOrWithNonFinitePointsAreRefused) {
  ScratchDir d("formats_fill_tag");
  FillHeader h;
  std::vector<Vec3f> p, v;
  // A solver frame has the fill file's length for the same count.
  ASSERT_TRUE(WriteSolverFrame(d / "frame", 27.0f, {0, 1}, {{1, 2, 3}, {4, 5, 6}}, {{0, 0, 0}, {0, 0, 0}}));
  EXPECT_FALSE(ReadFillFileHeader(d / "frame", &h));
  EXPECT_FALSE(ReadFillFile(d / "frame", 10, &h, &p, &v));
  const float nan = std::nanf(""), inf = INFINITY;
  ASSERT_TRUE(WriteFillFile(d / "nan", 27.0f, {{1, 2, 3}, {nan, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}));
  EXPECT_FALSE(ReadFillFile(d / "nan", 10, &h, &p, &v));
  ASSERT_TRUE(WriteFillFile(d / "inf", 27.0f, {{1, 2, 3}, {0, 0, 0}}, {{0, 0, 0}, {0, inf, 0}}));
  EXPECT_FALSE(ReadFillFile(d / "inf", 10, &h, &p, &v));
  // Only what is read is checked: a capacity below the bad point reads fine.
  EXPECT_TRUE(ReadFillFile(d / "nan", 1, &h, &p, &v));
}

TEST(SolverFormats, FrameIsWrittenWholeUnderItsName) {
  ScratchDir d("formats_frame");
  const std::string path = d / "00003.Vorel";
  ASSERT_TRUE(WriteSolverFrame(path, 1000.0f, {0, 2}, {{1, 2, 3}, {4, 5, 6}}, {{0, 0, 0}, {1, 1, 1}}));
  vorel_gpu_test::Frame fr;
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(path, &fr));
  EXPECT_EQ(fr.tag, kSolverFrameTag);
  EXPECT_EQ(fr.stamp, 0);
  EXPECT_EQ(fr.count, 2);
  EXPECT_EQ(fr.ppuv, 1000.0f);
  EXPECT_STREQ(fr.block.c_str(), path.c_str());
  EXPECT_EQ(fr.ids[1], 2);
  EXPECT_EQ(fr.pos[1].y, 5.0f);
  // Nothing but the frame is left in the folder.
  EXPECT_EQ(std::system(("test $(ls -A '" + d.path() + "' | wc -l) -eq 1").c_str()), 0);

  // A frame that cannot take its name leaves nothing behind.
  ASSERT_EQ(::mkdir((d / "00004.Vorel").c_str(), 0777), 0);
  EXPECT_FALSE(WriteSolverFrame(d / "00004.Vorel", 1.0f, {0}, {{1, 2, 3}}, {{0, 0, 0}}));
  EXPECT_EQ(std::system(("test $(ls -A '" + d.path() + "' | wc -l) -eq 2").c_str()), 0);

  // A path too long for the block is cut and still terminated.
  std::string deep = d.path();
  while (deep.size() < 300) {
    deep += "/abcdefghijklmnopqrstuvwxyz";
    ::mkdir(deep.c_str(), 0777);
  }
  ASSERT_TRUE(WriteSolverFrame(deep + "/00001.Vorel", 1.0f, {}, {}, {}));
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(deep + "/00001.Vorel", &fr));
  EXPECT_EQ(fr.count, 0);
  EXPECT_EQ(fr.block.find('\0'), 255u);
  EXPECT_EQ(fr.block.substr(0, 255), (deep + "/00001.Vorel").substr(0, 255));
}

namespace {

// Little-endian bytes of the values, in order: the layouts spelled out
// independently of the writers' own constants.
struct Bytes {
  std::vector<unsigned char> b;
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((unsigned char)(v >> (8 * i)));
    return *this;
  }
  Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
  Bytes& f32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u32(u);
  }
  Bytes& text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? (unsigned char)s[i] : 0);
    return *this;
  }
};

std::vector<unsigned char> FileBytes(const std::string& path) {
  std::vector<unsigned char> out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) out.push_back((unsigned char)c);
    std::fclose(f);
  }
  return out;
}

}  // namespace

TEST(SolverFormats, FilesAreByteForByteTheirLayouts) {
  ScratchDir d("formats_bytes");
  ASSERT_TRUE(WriteFillFile(d / "f.fll", 8000.0f, {{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {-1, -2, -3}}));
  Bytes fill;
  fill.u32(0x6DD41E2E).i32(0).i32(2).f32(8000.0f).text("", 256).i32(0).i32(0);
  for (float v : {1, 2, 3, 4, 5, 6, 7, 8, 9, -1, -2, -3}) fill.f32(v);
  EXPECT_EQ(FileBytes(d / "f.fll"), fill.b);

  ASSERT_TRUE(WriteEmissionFile(d / "e.srp", {EmissionRecord{0, {}, {}}, EmissionRecord{16, {{1, 2, 3}}, {{4, 5, 6}}}}));
  Bytes srp;
  srp.i32(0).i32(0).i32(16).i32(1);
  for (float v : {1, 2, 3, 4, 5, 6}) srp.f32(v);
  EXPECT_EQ(FileBytes(d / "e.srp"), srp.b);

  ASSERT_TRUE(WriteColliderFile(d / "c.geom", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
  Bytes geom;
  geom.u32(3).u32(1);
  for (float v : {1, 2, 3, 4, 5, 6, 7, 8, 9}) geom.f32(v);
  EXPECT_EQ(FileBytes(d / "c.geom"), geom.b);

  KillBoxRow row;
  row.tick = 160;
  for (int a = 0; a < 3; ++a) {
    row.min[a] = float(a + 1);
    row.max[a] = float(a + 4);
  }
  ASSERT_TRUE(WriteKillBoxFile(d / "k", {row}));
  Bytes kill;
  kill.i32(1).i32(160);
  for (float v : {1, 2, 3, 4, 5, 6}) kill.f32(v);
  EXPECT_EQ(FileBytes(d / "k"), kill.b);

  const std::string frame = d / "00002.Vorel";
  ASSERT_TRUE(WriteSolverFrame(frame, 27.0f, {0, 5}, {{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}));
  Bytes vorel;
  vorel.u32(0x6DD41E00).i32(0).i32(2).f32(27.0f).text(frame, 256).i32(0).i32(5);
  for (float v : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) vorel.f32(v);
  EXPECT_EQ(FileBytes(frame), vorel.b);
}
