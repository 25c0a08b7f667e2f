#include <cmath>
#include <cstring>

#include "test_support.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

using namespace pelliqor;
using wrapper_test::ReadBytes;
using wrapper_test::ScratchDir;
using wrapper_test::WriteBytes;

namespace {

template <typename T>
T At(const std::vector<uint8_t>& b, size_t off) {
  T v;
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}

void AddTwo(SurfaceBuilder& b) {
  b.BeginParticles(2, 4.0f);
  b.AddParticle(Point3(1.0f, 2.0f, 3.0f), 0, 0.5f, 7);
  b.AddParticle(Point3(-4.0f, 5.5f, 6.0f), 1, 0.001f, 9);
  b.particles[1].limitCount = 3;
}

}  // namespace

TEST(WrapperParticleCache, EmptyFrameWritesHeaderAndBlockOnly) {
  ScratchDir dir;
  SurfaceBuilder b(1.0f);
  b.BeginParticles(0, 4.0f);
  ASSERT_TRUE(WriteParticleCache(b, dir / "p00000.ern"));
  const std::vector<uint8_t> bytes = ReadBytes(dir / "p00000.ern");
  ASSERT_EQ(bytes.size(), 264u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), ".ern");
  EXPECT_EQ(At<int32_t>(bytes, 4), 0);
  for (size_t i = 8; i < 264; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(WrapperParticleCache, ArraysLieAtTheirOffsets) {
  ScratchDir dir;
  SurfaceBuilder b(1.0f);
  AddTwo(b);
  ASSERT_TRUE(WriteParticleCache(b, dir / "p00001.ern"));
  const std::vector<uint8_t> f = ReadBytes(dir / "p00001.ern");
  ASSERT_EQ(f.size(), 306u);
  EXPECT_EQ(At<uint32_t>(f, 0), 0x6E72652Eu);
  EXPECT_EQ(At<int32_t>(f, 4), 2);
  const float pos[6] = {1.0f, 2.0f, 3.0f, -4.0f, 5.5f, 6.0f};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At<float>(f, 264 + 4 * size_t(i)), pos[i]);
  EXPECT_EQ(f[288], 0);  // skip flags at 264 + 12N
  EXPECT_EQ(f[289], 1);
  EXPECT_EQ(At<float>(f, 290), 0.5f);  // sizes at 264 + 13N
  EXPECT_EQ(At<float>(f, 294), 0.001f);
  EXPECT_EQ(At<int32_t>(f, 298), 0);  // limit counters at 264 + 17N
  EXPECT_EQ(At<int32_t>(f, 302), 3);
}

TEST(WrapperParticleCache, ReadRestoresEveryFieldAndStartsABatch) {
  ScratchDir dir;
  SurfaceBuilder w(1.0f);
  AddTwo(w);
  ASSERT_TRUE(WriteParticleCache(w, dir / "p.ern"));

  SurfaceBuilder r(1.0f / 8.0f);  // h = 2
  r.BeginParticles(5, 1.0f);
  r.AddParticle(Point3(9.0f, 9.0f, 9.0f), 0, 1.0f, 1);
  ASSERT_EQ(ReadParticleCache(r, dir / "p.ern", 3.0f), ParticleCacheStatus::Ok);
  ASSERT_EQ(r.Count(), 2);
  ASSERT_EQ(r.particles.size(), 2u);
  EXPECT_NEAR(r.grid.CellSize(), 6.0f, 1e-4f);  // melting force x h
  for (int i = 0; i < 2; ++i) {
    const SurfaceParticle& a = w.particles[size_t(i)];
    const SurfaceParticle& b = r.particles[size_t(i)];
    EXPECT_EQ(b.position.x, a.position.x);
    EXPECT_EQ(b.position.y, a.position.y);
    EXPECT_EQ(b.position.z, a.position.z);
    EXPECT_EQ(b.skip, a.skip);
    EXPECT_EQ(b.size, a.size);
    EXPECT_EQ(b.limitCount, a.limitCount);
    EXPECT_EQ(b.tag, 0u);
  }
}

TEST(WrapperParticleCache, DamagedFilesAreRefusedAndLeftAlone) {
  ScratchDir dir;
  SurfaceBuilder w(1.0f);
  AddTwo(w);
  ASSERT_TRUE(WriteParticleCache(w, dir / "good.ern"));
  const std::vector<uint8_t> good = ReadBytes(dir / "good.ern");

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ParticleCacheStatus want;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated arrays", std::vector<uint8_t>(good.begin(), good.end() - 5), ParticleCacheStatus::BadLength});
  cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 6), ParticleCacheStatus::BadLength});
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  cases.push_back({"trailing byte", longer, ParticleCacheStatus::BadLength});
  std::vector<uint8_t> magic = good;
  magic[0] = 'x';
  cases.push_back({"wrong magic", magic, ParticleCacheStatus::BadMagic});
  std::vector<uint8_t> negative = good;
  const int32_t minus = -1;
  std::memcpy(negative.data() + 4, &minus, 4);
  cases.push_back({"negative count", negative, ParticleCacheStatus::BadCount});
  std::vector<uint8_t> huge = good;
  const int32_t big = 0x7FFFFFFF;
  std::memcpy(huge.data() + 4, &big, 4);
  cases.push_back({"count beyond the file", huge, ParticleCacheStatus::BadLength});
  // Values the mesher cannot place: the first position's y, the last size.
  std::vector<uint8_t> nanPosition = good, infiniteSize = good;
  const float nan = std::nanf(""), inf = INFINITY;
  std::memcpy(nanPosition.data() + 264 + 4, &nan, 4);
  std::memcpy(infiniteSize.data() + good.size() - 8 - 4, &inf, 4);
  cases.push_back({"NaN position", nanPosition, ParticleCacheStatus::BadValue});
  cases.push_back({"infinite size", infiniteSize, ParticleCacheStatus::BadValue});

  for (const Case& c : cases) {
    const std::string path = dir / "bad.ern";
    WriteBytes(path, c.bytes);
    SurfaceBuilder r(1.0f);
    r.BeginParticles(3, 1.0f);
    r.AddParticle(Point3(7.0f, 7.0f, 7.0f), 0, 1.0f, 0);
    EXPECT_EQ(ReadParticleCache(r, path, 4.0f), c.want) << c.what;
    EXPECT_EQ(r.Count(), 1) << c.what;
    EXPECT_EQ(r.particles.size(), 3u) << c.what;
    EXPECT_EQ(ReadBytes(path), c.bytes) << c.what;
  }
  SurfaceBuilder r(1.0f);
  EXPECT_EQ(ReadParticleCache(r, dir / "none.ern", 4.0f), ParticleCacheStatus::Missing);
}

TEST(WrapperParticleCache, FailedWriteKeepsTheEarlierFile) {
  ScratchDir dir;
  SurfaceBuilder b(1.0f);
  AddTwo(b);
  EXPECT_FALSE(WriteParticleCache(b, dir / "missing-folder/p00000.ern"));
  EXPECT_FALSE(wrapper_test::Exists(dir / "missing-folder"));
}

TEST(WrapperCacheNames, InstanceFolderAndFramesUseTheHostSeparator) {
  EXPECT_EQ(InstanceFolder("C:\\temp", "default"), "C:\\temp\\default");
  // Neither part may be missing: "\\default" would be the file-system root's.
  EXPECT_EQ(InstanceFolder("", "default"), "");
  EXPECT_EQ(InstanceFolder("C:\\temp", ""), "");
  EXPECT_EQ(ParticleCachePath("C:\\temp\\default", 7), "C:\\temp\\default\\p00007.ern");
  EXPECT_EQ(SurfaceCachePath("C:\\temp\\default", 12345), "C:\\temp\\default\\m12345.bin");
}

TEST(WrapperCacheRoot, KeyMissingKeepsRootValueMissingEmptiesIt) {
  ScratchDir dir;
  vorel::host::SetRegistryFile(dir / "registry");
  std::string root = "kept";
  EXPECT_FALSE(ReadCacheRoot(root));
  EXPECT_EQ(root, "kept");

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Pelliqor", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(ReadCacheRoot(root));
  EXPECT_EQ(root, "");

  const char value[] = "/data/pelliqor";
  ASSERT_EQ(RegSetValueExA(key, "dataPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(ReadCacheRoot(root));
  EXPECT_EQ(root, "/data/pelliqor");
}
