#include "gpu_frontend/cache_directory.h"

#include "frontend_fixture.h"

namespace {

using gpufe_test::Exists;
using gpufe_test::WriteBytes;
using gpufe_test::WriteFrame;
using vorel_gpufe::CacheDirectory;

class CacheDirectoryTest : public gpufe_test::FrontendTest {
 protected:
  // A cache record whose ini path names a file in the scratch folder.
  CacheDirectory Fresh() {
    CacheDirectory c;
    std::snprintf(c.iniPath, sizeof c.iniPath, "%s/host/plugcfg/Vorel_GPU.ini", root_.c_str());
    return c;
  }
  std::string Dir(const std::string& rel) {
    const std::string p = root_ + "/" + rel;
    vorel::host::MakeDirectories(p);
    return p;
  }
  // A cache with its tree made, selected as root/name.
  CacheDirectory Cache(const std::string& name) {
    CacheDirectory c = Fresh();
    Dir("data/caches/" + name);
    EXPECT_TRUE(c.SelectCache(root_ + "/data/caches", name));
    return c;
  }
};

TEST_F(CacheDirectoryTest, IniLastMatchingLineWinsAndLineEndsAreDropped) {
  const std::string a = Dir("rootA"), b = Dir("rootB");
  WriteBytes(root_ + "/host/plugcfg/Vorel_GPU.ini", "x=1\nCachesDir=" + a + "\r\nCachesDir=" + b);
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "dataPath", Dir("regRoot"));
  CacheDirectory c = Fresh();
  ASSERT_TRUE(c.InitRoots());
  EXPECT_EQ(c.dataRoot, b);  // the ini wins over a valid registry value
  EXPECT_EQ(c.cachesRoot, b + "/caches");
  EXPECT_EQ(c.presetsDir, b + "/presets");
  EXPECT_TRUE(Exists(b + "/caches"));

  WriteBytes(root_ + "/host/plugcfg/Vorel_GPU.ini", "CachesDir=" + a + "\r\n");
  CacheDirectory crlf = Fresh();
  ASSERT_TRUE(crlf.InitRoots());
  EXPECT_EQ(crlf.dataRoot, a);
}

TEST_F(CacheDirectoryTest, RegistryThenTempFolderNameTheRoot) {
  const std::string reg = Dir("regRoot");
  WriteBytes(root_ + "/host/plugcfg/Vorel_GPU.ini", "CachesDir=" + root_ + "/missing\n");
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "dataPath", reg);
  CacheDirectory c = Fresh();
  ASSERT_TRUE(c.InitRoots());
  EXPECT_EQ(c.cachesRoot, reg + "/caches");

  // A value too long for the path buffer is no root at all.
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "dataPath",
                                 reg + std::string(300, 'x'));
  CacheDirectory t = Fresh();
  ASSERT_TRUE(t.InitRoots());
  EXPECT_EQ(t.cachesRoot, TempCaches());
  EXPECT_EQ(t.presetsDir, root_ + "/tmp/Vorel/presets");
  EXPECT_TRUE(Exists(TempCaches()));
}

TEST_F(CacheDirectoryTest, NamesPathsAndValidity) {
  CacheDirectory c = Fresh();
  c.SetCachesRoot(root_);
  c.SetCacheName("");
  EXPECT_EQ(c.cacheName, "default");
  EXPECT_EQ(c.cacheDir, root_ + "/default");
  EXPECT_FALSE(c.SetRootAndName(root_, ""));
  EXPECT_EQ(c.cacheName, "");
  EXPECT_EQ(c.cacheDir, "");  // never the caches root itself
  Dir("tmp");
  EXPECT_FALSE(c.SetRootAndName("", "tmp"));
  EXPECT_EQ(c.cacheDir, "");  // never a folder at the file-system root
  for (const char* bad : {"", "/", "\\"}) EXPECT_FALSE(CacheDirectory::IsPathValid(bad)) << bad;
  EXPECT_TRUE(CacheDirectory::IsPathValid(root_));
  // A folder that exists but whose path does not fit 259 characters.
  std::string deep = root_;
  while (deep.size() <= 300) deep += "/abcdefghij";
  vorel::host::MakeDirectories(deep);
  ASSERT_TRUE(Exists(deep));
  EXPECT_FALSE(CacheDirectory::IsPathValid(deep));
  c.SetRootAndName(deep, "x");
  EXPECT_EQ(c.FramePath(3), "");
  EXPECT_EQ(c.lastSolvedFrame(), -1);
  c.SetRootAndName(root_, "shot");
  EXPECT_EQ(c.FramePath(7), root_ + "/shot/00007.Vorel");
  EXPECT_EQ(c.MeshPath(12), root_ + "/shot/surface/m00012.bin");
}

TEST_F(CacheDirectoryTest, MissingCacheLandsUnderTheDiscoveredRootWithItsTree) {
  CacheDirectory c = Fresh();
  ASSERT_TRUE(c.SelectCache(root_ + "/nowhere", "shot"));
  EXPECT_EQ(c.cacheDir, TempCaches() + "/shot");
  for (const char* sub : {"objects", "sources", "surface"}) EXPECT_TRUE(Exists(c.cacheDir + "/" + sub)) << sub;
  // A new name under an existing root, with neither ini nor registry: the
  // root found is the temporary one again, never "<root>/caches".
  const std::string mine = Dir("mine");
  ASSERT_TRUE(c.SelectCache(mine, "shot_000"));
  EXPECT_EQ(c.cachesRoot, TempCaches());
  ASSERT_TRUE(c.SelectCache(TempCaches(), "shot_001"));
  EXPECT_EQ(c.cacheDir, TempCaches() + "/shot_001");
  EXPECT_FALSE(Exists(TempCaches() + "/caches"));
  EXPECT_FALSE(Exists(mine + "/caches"));
}

TEST_F(CacheDirectoryTest, LastSolvedFrameCountsOnlyWholeFrameFiles) {
  CacheDirectory c = Cache("scan");
  EXPECT_EQ(c.lastSolvedFrame(), -1);
  EXPECT_EQ(c.LastFrameParticleCount(), 0);
  WriteFrame(c.cacheDir + "/00007.Vorel", 3);
  WriteFrame(c.cacheDir + "/00012.Vorel", 5);
  // Names that only look like frames, a folder, and damaged files.
  WriteFrame(c.cacheDir + "/12.Vorel", 1);
  WriteFrame(c.cacheDir + "/000013.Vorel", 1);
  WriteFrame(c.cacheDir + "/00014.Vorel.tmp", 1);
  WriteFrame(c.cacheDir + "/00015.Vorel", 10, 272 + 28 * 9);  // torn: one record short
  WriteBytes(c.cacheDir + "/00016.Vorel", "");
  WriteBytes(c.cacheDir + "/00017.Vorel", std::string(20, '\xff'));  // negative count
  vorel::host::MakeDirectories(c.cacheDir + "/00018.Vorel");
  EXPECT_EQ(c.lastSolvedFrame(), 12);
  EXPECT_EQ(c.LastFrameParticleCount(), 5);
  int32_t stamp = -1, count = -1;
  float density = 0;
  ASSERT_TRUE(c.ReadFrameHeader(7, &stamp, &count, &density));
  EXPECT_EQ(stamp, 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(density, 8.0f);
  EXPECT_FALSE(c.ReadFrameHeader(16, &stamp, &count, &density));
  EXPECT_FALSE(c.ReadFrameHeader(99, &stamp, &count, &density));
  EXPECT_EQ(count, 3);  // untouched by the refusals

  CacheDirectory other = Cache("letters");
  WriteFrame(other.cacheDir + "/abcde.Vorel", 0);
  EXPECT_EQ(other.lastSolvedFrame(), 0);
}

TEST_F(CacheDirectoryTest, DeleteFramesFromKeepsEarlierFramesAndPrtsButNotStaleSurfaces) {
  CacheDirectory c = Cache("del");
  for (int f = 0; f <= 12; ++f) {
    WriteFrame(c.FramePath(f), 1);
    WriteBytes(c.MeshPath(f), "mesh");
  }
  WriteBytes(c.cacheDir + "/sources/Vorel.fll", "f");
  WriteBytes(c.cacheDir + "/sources/Vorel.srp", "s");
  WriteBytes(c.cacheDir + "/objects/Vorel_00160.geom", "g");
  WriteBytes(c.cacheDir + "/Vorel.killparts", "k");
  WriteBytes(c.cacheDir + "/surface/other.bin", "o");
  ASSERT_EQ(c.PreparePrtDir(), 0);
  WriteBytes(c.cacheDir + "/PRTs/Vorel_00009.PRT", "p");

  EXPECT_EQ(c.DeleteFramesFrom(8), 5);
  for (int f = 0; f <= 12; ++f) {
    EXPECT_EQ(Exists(c.FramePath(f)), f < 8) << f;
    EXPECT_EQ(Exists(c.MeshPath(f)), f < 8) << f;
  }
  EXPECT_FALSE(Exists(c.cacheDir + "/sources/Vorel.fll"));
  EXPECT_FALSE(Exists(c.cacheDir + "/sources/Vorel.srp"));
  EXPECT_FALSE(Exists(c.cacheDir + "/objects/Vorel_00160.geom"));
  EXPECT_FALSE(Exists(c.cacheDir + "/Vorel.killparts"));
  EXPECT_TRUE(Exists(c.cacheDir + "/surface/other.bin"));
  EXPECT_TRUE(Exists(c.cacheDir + "/PRTs/Vorel_00009.PRT"));
  EXPECT_EQ(c.lastSolvedFrame(), 7);
  EXPECT_EQ(c.DeleteFramesFrom(8), 0);
  EXPECT_EQ(c.PreparePrtDir(), 1);
  EXPECT_EQ(c.DeleteSurfaceFiles(), 9);
}

// A cache folder that is not valid (empty, or beyond the path limit) names
// no folder of this cache: deleting in it touches nothing anywhere.
TEST_F(CacheDirectoryTest, DeletionsTouchNothingWithoutAValidCacheFolder) {
  CacheDirectory c = Fresh();
  std::string deep = root_;
  while (deep.size() <= vorel_gpufe::kMaxPathLength) deep += "/deeper_folder";
  Dir(deep.substr(root_.size() + 1) + "/sources");
  Dir(deep.substr(root_.size() + 1) + "/objects");
  for (const char* f : {"/sources/Vorel.fll", "/sources/Vorel.srp", "/objects/Vorel_00000.geom", "/Vorel.killparts"})
    WriteBytes(deep + f, "x");
  for (const std::string& dir : {std::string(), deep}) {
    c.cacheDir = dir;
    EXPECT_EQ(c.DeleteSourceFiles(), 0);
    EXPECT_EQ(c.DeleteColliderFiles(), 0);
    EXPECT_EQ(c.DeleteKillBoxFiles(), 0);
    EXPECT_EQ(c.DeleteFramesFrom(0), 0);
  }
  for (const char* f : {"/sources/Vorel.fll", "/sources/Vorel.srp", "/objects/Vorel_00000.geom", "/Vorel.killparts"})
    EXPECT_TRUE(Exists(deep + f)) << f;
}

TEST_F(CacheDirectoryTest, NextCacheNameIsAlwaysFree) {
  const std::string caches = Dir("data/caches");
  struct Case {
    const char* label;
    std::vector<const char*> present;
    const char* name;
    const char* expect;
  } cases[] = {
      {"next above highest", {"shot_000", "shot_004"}, "shot_004", "shot_005"},
      {"none numbered", {}, "ab", "ab_000"},
      {"four digits above 1200", {"base_1200"}, "base", "base_1201"},
      {"above the downward search", {"base_1200", "base_1201"}, "base", "base_1202"},
      {"short name kept", {"a_b"}, "a_b", "a_b_000"},
  };
  for (const Case& k : cases) {
    std::system(("rm -rf '" + caches + "'/*").c_str());
    for (const char* p : k.present) Dir(std::string("data/caches/") + p);
    CacheDirectory c = Fresh();
    c.SetRootAndName(caches, k.name);
    std::string next;
    c.NextCacheName(&next);
    EXPECT_EQ(next, k.expect) << k.label;
    EXPECT_FALSE(Exists(caches + "/" + next)) << k.label;
  }
}

TEST_F(CacheDirectoryTest, PresetsReadShortFilesAndListOnlyTheirEnding) {
  CacheDirectory c = Fresh();
  c.presetsDir = Dir("presets");
  ASSERT_TRUE(c.WritePreset("water", 20.0f, 9.8f, 0.5f, 1.0f, 2.0f));
  float v[5] = {0, 0, 0, 0, 0};
  ASSERT_TRUE(c.ReadPreset("water", &v[0], &v[1], &v[2], &v[3], &v[4]));
  EXPECT_EQ(std::vector<float>(v, v + 5), (std::vector<float>{20.0f, 9.8f, 0.5f, 1.0f, 2.0f}));
  const float three[3] = {1.0f, 2.0f, 3.0f};
  WriteBytes(c.presetsDir + "/short.Vorel_preset", std::string(reinterpret_cast<const char*>(three), 12) + "xy");
  float w[5] = {9, 9, 9, 7, 7};
  ASSERT_TRUE(c.ReadPreset("short", &w[0], &w[1], &w[2], &w[3], &w[4]));
  EXPECT_EQ(std::vector<float>(w, w + 5), (std::vector<float>{1, 2, 3, 7, 7}));
  EXPECT_FALSE(c.ReadPreset("missing", &w[0], &w[1], &w[2], &w[3], &w[4]));
  WriteBytes(c.presetsDir + "/old.Vorel_preset.bak", "");
  std::vector<std::string> names = {"kept"};
  c.ListPresets(&names);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "short", "water"}));
  c.presetsDir = root_ + "/nowhere";
  EXPECT_FALSE(c.WritePreset("x", 1, 2, 3, 4, 5));
}

}  // namespace
