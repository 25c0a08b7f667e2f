#include "gpu_frontend/prt_export.h"

#include <zlib.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>

#include "frontend_fixture.h"
#include "gpu_frontend/gpu_fluid.h"

namespace {

using gpufe_test::Exists;
using gpufe_test::WriteFrame;
using vorel_gpufe::BlobNode;
namespace bp = vorel_gpufe::blob_param;

// A PRT reader written from the format's published layout: a fixed header
// block whose length it states, a reserved word, a channel table, then one
// zlib stream of count x (sum of channel sizes) bytes.
struct PrtChannel {
  std::string name;
  int32_t type = 0, arity = 0, offset = 0;
};
struct PrtFile {
  bool ok = false;
  std::string why;
  int64_t count = 0;
  std::vector<PrtChannel> channels;
  std::vector<unsigned char> data;
};

PrtFile ReadPrt(const std::string& path) {
  PrtFile out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out.why = "missing", out;
  std::vector<unsigned char> b;
  unsigned char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  size_t at = 0;
  auto i32 = [&](int32_t* v) {
    if (at + 4 > b.size()) return false;
    std::memcpy(v, &b[at], 4), at += 4;
    return true;
  };
  const unsigned char magic[8] = {0xC0, 'P', 'R', 'T', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 56 || std::memcmp(b.data(), magic, 8) != 0) return out.why = "magic", out;
  at = 8;
  int32_t headerLen = 0, version = 0;
  i32(&headerLen);
  if (std::string(reinterpret_cast<const char*>(&b[12])) != "Extensible Particle Format") return out.why = "sig", out;
  at = 44;
  i32(&version);
  std::memcpy(&out.count, &b[48], 8);
  if (version != 1) return out.why = "version", out;
  at = size_t(headerLen);
  int32_t reserved = 0, nch = 0, chlen = 0;
  if (!i32(&reserved) || !i32(&nch) || !i32(&chlen) || chlen < 44) return out.why = "table", out;
  for (int c = 0; c < nch; ++c) {
    if (at + size_t(chlen) > b.size()) return out.why = "channel", out;
    PrtChannel ch;
    ch.name.assign(reinterpret_cast<const char*>(&b[at]), strnlen(reinterpret_cast<const char*>(&b[at]), 32));
    std::memcpy(&ch.type, &b[at + 32], 4);
    std::memcpy(&ch.arity, &b[at + 36], 4);
    std::memcpy(&ch.offset, &b[at + 40], 4);
    out.channels.push_back(ch);
    at += size_t(chlen);
  }
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  inflateInit(&zs);
  zs.next_in = &b[at];
  zs.avail_in = uInt(b.size() - at);
  int rc;
  do {
    zs.next_out = buf;
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.data.insert(out.data.end(), buf, buf + (sizeof buf - zs.avail_out));
  } while (rc == Z_OK);
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return out.why = "stream", out;
  out.ok = true;
  return out;
}

float FloatAt(const PrtFile& p, size_t particle, size_t stride, int offset, int k) {
  float v;
  std::memcpy(&v, &p.data[particle * stride + size_t(offset) + 4 * size_t(k)], 4);
  return v;
}

class PrtExportTest : public gpufe_test::FrontendTest {
 protected:
  BlobNode* NewFluid() {
    auto* b = new BlobNode(false);
    node_ = GetCOREInterface()->CreateObjectNode(b, "fluid");
    return b;
  }
  void SolveFrames(BlobNode* b, int last) {
    char name[32];
    for (int i = 0; i <= last; ++i) {
      std::snprintf(name, sizeof name, "/%05d.Vorel", i);
      WriteFrame(b->cache.cacheDir + name, 1);
    }
  }
  // Shows host frame f as f+1 particles at x = f, y = i, z = 0.5 moving by
  // (i, -f, 0.25) per solver unit.
  static void Show(BlobNode& b, TimeValue t) {
    const int f = t / GetTicksPerFrame();
    b.particleCount = f + 1;
    b.shownPositions.assign(size_t(f + 1), Point3(0, 0, 0));
    b.fileVelocities.assign(size_t(f + 1), Point3(0, 0, 0));
    for (int i = 0; i <= f; ++i) {
      b.shownPositions[size_t(i)] = Point3(float(f), float(i), 0.5f);
      b.fileVelocities[size_t(i)] = Point3(float(i), float(-f), 0.25f);
    }
  }
  std::string Prt(BlobNode* b, int frame) { return vorel_gpufe::PrtPath(*b, frame); }
  INode* node_ = nullptr;
};

TEST_F(PrtExportTest, FileReadsBackWithHeaderChannelsAndScaledVelocities) {
  BlobNode* b = NewFluid();
  vorel::host::MakeDirectories(b->cache.cacheDir + "/PRTs");
  Show(*b, 3 * GetTicksPerFrame());
  ASSERT_TRUE(vorel_gpufe::WritePrtFrame(*b, 3));
  const PrtFile p = ReadPrt(Prt(b, 3));
  ASSERT_TRUE(p.ok) << p.why;
  EXPECT_EQ(p.count, 4);
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].name, "Position");
  EXPECT_EQ(p.channels[1].name, "Velocity");
  for (const PrtChannel& c : p.channels) {
    EXPECT_EQ(c.type, 4);  // float32
    EXPECT_EQ(c.arity, 3);
  }
  EXPECT_EQ(p.channels[0].offset, 0);
  EXPECT_EQ(p.channels[1].offset, 12);
  ASSERT_EQ(p.data.size(), 4u * 24u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(FloatAt(p, i, 24, 0, 0), 3.0f);
    EXPECT_EQ(FloatAt(p, i, 24, 0, 1), float(i));
    EXPECT_EQ(FloatAt(p, i, 24, 0, 2), 0.5f);
    EXPECT_EQ(FloatAt(p, i, 24, 12, 0), 20.0f * float(i));
    EXPECT_EQ(FloatAt(p, i, 24, 12, 1), -60.0f);
    EXPECT_EQ(FloatAt(p, i, 24, 12, 2), 5.0f);
  }
  // The header block is exactly 156 bytes, the reserved word is 4.
  std::FILE* f = std::fopen(Prt(b, 3).c_str(), "rb");
  unsigned char h[160];
  ASSERT_EQ(std::fread(h, 1, 160, f), 160u);
  std::fclose(f);
  int32_t w;
  std::memcpy(&w, h + 8, 4);
  EXPECT_EQ(w, 56);
  std::memcpy(&w, h + 56, 4);
  EXPECT_EQ(w, 4);
  std::memcpy(&w, h + 64, 4);
  EXPECT_EQ(w, 44);
  EXPECT_EQ(h[156], 0x78);  // the zlib stream starts right after the table
}

TEST_F(PrtExportTest, ParkedAndNonNumberParticlesAreLeftOut) {
  BlobNode* b = NewFluid();
  vorel::host::MakeDirectories(b->cache.cacheDir + "/PRTs");
  b->particleCount = 4;
  b->shownPositions = {Point3(1.0f, 2.0f, 3.0f), Point3(1e6f, 0.0f, 0.0f), Point3(4.0f, std::nanf(""), 5.0f), Point3(7.0f, 8.0f, 9.0f)};
  b->fileVelocities = {Point3(1.0f, 0.0f, 0.0f), Point3(2.0f, 0.0f, 0.0f), Point3(3.0f, 0.0f, 0.0f), Point3(4.0f, 0.0f, 0.0f)};
  ASSERT_TRUE(vorel_gpufe::WritePrtFrame(*b, 0));
  const PrtFile p = ReadPrt(Prt(b, 0));
  ASSERT_TRUE(p.ok) << p.why;
  ASSERT_EQ(p.count, 2);
  ASSERT_EQ(p.data.size(), 48u);
  EXPECT_EQ(FloatAt(p, 1, 24, 0, 0), 7.0f);
  EXPECT_EQ(FloatAt(p, 1, 24, 12, 0), 80.0f);
  // Only parked particles: no file at all.
  b->particleCount = 1;
  b->shownPositions = {Point3(1e6f, 0.0f, 0.0f)};
  EXPECT_FALSE(vorel_gpufe::WritePrtFrame(*b, 1));
  EXPECT_FALSE(Exists(Prt(b, 1)));
}

TEST_F(PrtExportTest, LargeFramesSpanManyCompressionWindows) {
  BlobNode* b = NewFluid();
  vorel::host::MakeDirectories(b->cache.cacheDir + "/PRTs");
  const int n = 200000;  // 4.8 MB of records
  b->particleCount = n;
  b->shownPositions.resize(n);
  b->fileVelocities.resize(n);
  unsigned seed = 7;
  for (int i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b->shownPositions[size_t(i)] = Point3(float(seed % 1000), float(i), float(seed >> 20));
    b->fileVelocities[size_t(i)] = Point3(float(i % 17), 0.0f, 0.0f);
  }
  ASSERT_TRUE(vorel_gpufe::WritePrtFrame(*b, 9));
  const PrtFile p = ReadPrt(Prt(b, 9));
  ASSERT_TRUE(p.ok) << p.why;
  ASSERT_EQ(p.data.size(), size_t(n) * 24);
  EXPECT_EQ(FloatAt(p, n - 1, 24, 0, 1), float(n - 1));
  EXPECT_EQ(FloatAt(p, n - 1, 24, 12, 0), 20.0f * float((n - 1) % 17));

  // A disk that fills while the records are compressed (a file-size limit
  // here): no cut PRT file is left behind.
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const bool written = vorel_gpufe::WritePrtFrame(*b, 10);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(gpufe_test::Exists(Prt(b, 10)));
}

TEST_F(PrtExportTest, DeflateRefusesMissingArguments) {
  EXPECT_EQ(vorel_gpufe::DeflateToFile(nullptr, "x", 1, 6), -1);
  std::FILE* f = std::tmpfile();
  EXPECT_EQ(vorel_gpufe::DeflateToFile(f, nullptr, 1, 6), -1);
  EXPECT_EQ(vorel_gpufe::DeflateToFile(f, "abc", 3, 42), Z_STREAM_ERROR);
  std::fclose(f);
}

TEST_F(PrtExportTest, ExportCoversHostFramesByPlaybackScaleAndOffset) {
  BlobNode* b = NewFluid();
  SolveFrames(b, 4);
  vorel::host::MakeDirectories(b->cache.cacheDir + "/PRTs");
  gpufe_test::WriteBytes(b->cache.cacheDir + "/PRTs/Vorel_00099.PRT", "old");
  // Never drawn: nothing happens.
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_TRUE(Exists(b->cache.cacheDir + "/PRTs/Vorel_00099.PRT"));
  b->lastNode = node_;
  vorel::host::ClearPromptLog();
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_FALSE(Exists(b->cache.cacheDir + "/PRTs/Vorel_00099.PRT"));
  for (int i = 0; i <= 4; ++i) EXPECT_TRUE(Exists(Prt(b, i))) << i;
  EXPECT_FALSE(Exists(Prt(b, 5)));
  auto prompts = vorel::host::PromptLog();
  ASSERT_FALSE(prompts.empty());
  EXPECT_EQ(prompts.back().text, "PRT export completed.");
  EXPECT_EQ(prompts[prompts.size() - 2].text, "Exporting PRT file for frame -> 4 / 4");

  b->pblock2->SetValue(bp::kPlaybackSpeed, 0, 300.0f);  // 4 x 100 / 300 = 1.33
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_TRUE(Exists(Prt(b, 1)));
  EXPECT_FALSE(Exists(Prt(b, 2)));

  b->pblock2->SetValue(bp::kPlaybackSpeed, 0, 50.0f);
  b->pblock2->SetValue(bp::kTimeOffset, 0, 2);
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_TRUE(Exists(Prt(b, 10)));  // 8 + the offset
  EXPECT_FALSE(Exists(Prt(b, 11)));

  b->pblock2->SetValue(bp::kPlaybackSpeed, 0, 0.0f);
  vorel::host::ClearPromptLog();
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_TRUE(Exists(Prt(b, 10)));  // refused before anything was deleted
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, vorel_gpufe::kPrtBadSpeedText);
}

TEST_F(PrtExportTest, NoSolvedFrameStillClearsOldFilesAndCompletes) {
  BlobNode* b = NewFluid();
  b->lastNode = node_;
  vorel::host::MakeDirectories(b->cache.cacheDir + "/PRTs");
  gpufe_test::WriteBytes(b->cache.cacheDir + "/PRTs/Vorel_00000.PRT", "old");
  vorel::host::ClearPromptLog();
  vorel_gpufe::ExportPrtFrames(*b, Show);
  EXPECT_FALSE(Exists(Prt(b, 0)));
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, "PRT export completed.");
}

}  // namespace
