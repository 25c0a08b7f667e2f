// Moving a cache between roots and finding the last frame on disk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "fluid_core/cache_folders.h"
#include "solver_test_util.h"

using solver_test::ReadAll;
using solver_test::WriteAll;

namespace {
FrameCache At(const std::string& root, const std::string& name) {
  FrameCache c;
  c.cacheRoot = root;
  c.systemName = name;
  return c;
}

// Frames 0..frames-1 and meshes 0..meshes-1 with contents that name them.
void Populate(const FrameCache& c, int frames, int meshes) {
  vorel::host::MakeDirectories(c.SurfaceFolder());
  for (int i = 0; i < frames; ++i) WriteAll(c.FramePath(i), {'f', (unsigned char)i});
  for (int j = 0; j < meshes; ++j) WriteAll(c.MeshPath(j), {'m', (unsigned char)j, 0});
}
}  // namespace

TEST(CacheMove, MovesFramesAndMeshesAndMakesTheFolders) {
  const std::string dir = solver_test::ScratchDir("move");
  const FrameCache old = At(dir + "/a", "sys");
  Populate(old, 6, 3);
  WriteAll(old.SystemFolder() + "Vorel.log", {'l'});
  const FrameCache now = At(dir + "/b/new_root", "sys");
  CacheMoveResult r = MoveCacheFiles(old.SystemFolder(), now, 5, 2);
  EXPECT_FALSE(r.sameFolder);
  EXPECT_EQ(r.moved, 9);
  EXPECT_EQ(r.failed, 0);
  EXPECT_TRUE(vorel::host::DirectoryExists(now.SurfaceFolder()));
  EXPECT_TRUE(vorel::host::DirectoryExists(now.SystemFolder() + "maps"));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ReadAll(now.FramePath(i)), (std::vector<unsigned char>{'f', (unsigned char)i}));
    EXPECT_FALSE(vorel::host::FileExists(old.FramePath(i)));
  }
  for (int j = 0; j < 3; ++j) EXPECT_FALSE(vorel::host::FileExists(old.MeshPath(j)));
  EXPECT_TRUE(vorel::host::FileExists(old.SystemFolder() + "Vorel.log"));  // the log stays
}

TEST(CacheMove, SameFolderKeepsTheCache) {
  const std::string dir = solver_test::ScratchDir("move_same");
  const FrameCache c = At(dir, "sys");
  Populate(c, 4, 2);
  // The same folder spelled differently: trailing separator and backslashes.
  std::string spelled = c.SystemFolder();
  spelled.pop_back();
  for (char& ch : spelled)
    if (ch == '/') ch = '\\';
  CacheMoveResult r = MoveCacheFiles(spelled, c, 3, 1);
  EXPECT_TRUE(r.sameFolder);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(vorel::host::FileExists(c.FramePath(i)));
  for (int j = 0; j < 2; ++j) EXPECT_TRUE(vorel::host::FileExists(c.MeshPath(j)));
}

TEST(CacheMove, FailedCopyKeepsTheSourceAndMissingFilesAreCounted) {
  const std::string dir = solver_test::ScratchDir("move_fail");
  const FrameCache old = At(dir + "/a", "sys");
  Populate(old, 3, 0);
  const FrameCache now = At(dir + "/b", "sys");
  vorel::host::MakeDirectories(now.SystemFolder());
  // A folder where frame 1 should go makes its copy fail.
  vorel::host::MakeDirectories(now.FramePath(1));
  vorel::host::MakeDirectories(now.FramePath(1) + "/x");
  CacheMoveResult r = MoveCacheFiles(old.SystemFolder(), now, 4, -1);
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(r.missing, 2);  // frames 3 and 4
  EXPECT_EQ(r.failure.rfind(now.FramePath(1) + ": ", 0), 0u) << r.failure;
  // Nothing moved: the old folder keeps the whole cache, no copy stays.
  EXPECT_EQ(r.moved, 0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(vorel::host::FileExists(old.FramePath(i))) << i;
  EXPECT_FALSE(vorel::host::FileExists(now.FramePath(0)));
  EXPECT_FALSE(vorel::host::FileExists(now.FramePath(2)));
}

// The walk back passes over frames that are gone and frames the reader
// refuses (a NaN, a count that does not fit its length, a cut file, a
// particle of no spacing or mass).
TEST(CacheResume, LastFrameOnDiskWalksBackToAFrameThatReadsWhole) {
  const std::string dir = solver_test::ScratchDir("resume");
  std::unique_ptr<FluidSolver> solver(solver_test::MakeSolver(216.0));
  FrameCache& c = solver->frameCache;
  c = At(dir, "sys");
  vorel::host::MakeDirectories(c.SystemFolder());
  for (int i = 0; i < 8; ++i) {
    solver_test::Put(*solver, Vec3f(0.1f * float(i), 0.0f, 0.0f));
    ASSERT_GT(c.WriteFrame(i, solver->count, 5, 216.0, *solver), 0);
  }
  EXPECT_EQ(LastFrameOnDisk(c, 7), 7);
  // Frame k holds k + 1 particles.
  auto patch = [&](int frame, int64_t offset, float v) {
    std::vector<unsigned char> b = ReadAll(c.FramePath(frame));
    std::memcpy(&b[size_t(offset)], &v, 4);
    WriteAll(c.FramePath(frame), b);
  };
  patch(7, ParticleFrameFile::PosOffset(8) + 4, std::nanf(""));
  EXPECT_EQ(LastFrameOnDisk(c, 7), 6);
  patch(6, ParticleFrameFile::SpacingOffset(7) + 8, 0.0f);
  EXPECT_EQ(LastFrameOnDisk(c, 7), 5);
  patch(5, ParticleFrameFile::MassOffset(6), -2.0f);
  EXPECT_EQ(LastFrameOnDisk(c, 7), 4);
  std::vector<unsigned char> b = ReadAll(c.FramePath(4));
  const int32_t over = 6;  // it holds 5
  std::memcpy(&b[8], &over, 4);
  WriteAll(c.FramePath(4), b);
  EXPECT_EQ(LastFrameOnDisk(c, 7), 3);
  b = ReadAll(c.FramePath(3));
  b.pop_back();
  WriteAll(c.FramePath(3), b);
  EXPECT_EQ(LastFrameOnDisk(c, 7), 2);
  std::remove(c.FramePath(2).c_str());
  EXPECT_EQ(LastFrameOnDisk(c, 7), 1);
  EXPECT_EQ(LastFrameOnDisk(c, -1), -1);
  EXPECT_EQ(LastFrameOnDisk(At(dir, "none"), 4), -1);
}
