// Moving a cache between roots and finding the last frame on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
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

namespace {
// Runs `body` in a child process and answers how it ended (waitpid status).
template <typename F>
int InChild(F body) {
  const pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

int g_killAt = -1;
void KillAtStep(int step) {
  if (step == g_killAt) raise(SIGKILL);
}

// Whether the folder of `c` holds exactly the frames and meshes Populate
// wrote.
bool WholeCache(const FrameCache& c, int frames, int meshes) {
  for (int i = 0; i < frames; ++i)
    if (ReadAll(c.FramePath(i)) != std::vector<unsigned char>{'f', (unsigned char)i}) return false;
  for (int j = 0; j < meshes; ++j)
    if (ReadAll(c.MeshPath(j)) != std::vector<unsigned char>{'m', (unsigned char)j, 0}) return false;
  return true;
}
}  // namespace

// A move killed before any of its steps, between any two of them, or not at
// all: the markers lead from the old root to a folder that holds the whole
// cache, and say so when a move was under way.
TEST(CacheMove, KilledAtAnyStepLeavesOneWholeCacheThatTheMarkersFind) {
  for (const int frames : {6, 1}) {
    const int meshes = frames / 2;
    const int files = frames + meshes;
    // Unmark the target, mark it, copy, mark the old folder, unmark the
    // target, delete.
    const int steps = 2 + files + 2 + files;
    for (int k = 0; k <= steps; ++k) {
      const std::string dir = solver_test::ScratchDir("move_kill");
      const FrameCache old = At(dir + "/a", "sys");
      Populate(old, frames, meshes);
      const FrameCache now = At(dir + "/b", "sys");
      g_killAt = k;
      const int status = InChild([&] {
        SetCacheMoveHook(KillAtStep);
        MoveCacheFiles(old.SystemFolder(), now, frames - 1, meshes - 1);
      });
      ASSERT_EQ(k < steps, WIFSIGNALED(status)) << k << " " << status;
      std::string root = old.cacheRoot, note;
      TraceCacheMove(root, "sys", note);
      EXPECT_TRUE(WholeCache(At(root, "sys"), frames, meshes)) << "killed at " << k << " of " << frames;
      // Once the old folder points to the new one, the trace says which
      // folder it took; the whole move ends in the new root.
      EXPECT_EQ(!note.empty(), k > 2 + files) << k << ": " << note;
      if (k == steps) {
        EXPECT_TRUE(vorel::host::FileExists(now.FramePath(0)));
        EXPECT_NE(note.find("was moved"), std::string::npos) << note;
        EXPECT_FALSE(vorel::host::FileExists(old.FramePath(0)));
      }
      // Tracing from the new root agrees.
      std::string fromNew = now.cacheRoot;
      TraceCacheMove(fromNew, "sys", note);
      if (vorel::host::FileExists(now.SystemFolder() + kMovingMarker)) {
        EXPECT_EQ(fromNew, root) << k;
        EXPECT_NE(note.find("did not finish"), std::string::npos) << k << ": " << note;
      }
    }
  }
}

TEST(CacheMove, MovingBackAndOnFollowsTheLastMoveAndATargetWithAnotherCacheIsRefused) {
  const std::string dir = solver_test::ScratchDir("move_chain");
  const FrameCache a = At(dir + "/a", "sys"), b = At(dir + "/b", "sys"), c = At(dir + "/c", "sys");
  Populate(a, 4, 2);
  ASSERT_EQ(MoveCacheFiles(a.SystemFolder(), b, 3, 1).failed, 0);
  ASSERT_EQ(MoveCacheFiles(b.SystemFolder(), a, 3, 1).failed, 0);  // back into its old folder
  ASSERT_EQ(MoveCacheFiles(a.SystemFolder(), c, 3, 1).failed, 0);
  for (const FrameCache* from : {&a, &b, &c}) {
    std::string root = from->cacheRoot, note;
    TraceCacheMove(root, "sys", note);
    EXPECT_EQ(root, c.cacheRoot) << from->cacheRoot;
  }
  EXPECT_TRUE(WholeCache(c, 4, 2));

  // Frames of another cache in the target: nothing is copied or deleted.
  const FrameCache other = At(dir + "/d", "sys");
  vorel::host::MakeDirectories(other.SurfaceFolder());
  WriteAll(other.MeshPath(7), {'o'});
  const CacheMoveResult r = MoveCacheFiles(c.SystemFolder(), other, 3, 1);
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(r.moved, 0);
  EXPECT_NE(r.failure.find(": holds another cache"), std::string::npos) << r.failure;
  EXPECT_TRUE(WholeCache(c, 4, 2));
  EXPECT_FALSE(vorel::host::FileExists(other.FramePath(0)));
  EXPECT_EQ(ReadAll(other.MeshPath(7)), std::vector<unsigned char>{'o'});
}

TEST(CacheClaim, ANameIsClaimedOnceAndAnythingHoldingItIsLeftAlone) {
  const std::string dir = solver_test::ScratchDir("claim");
  EXPECT_EQ(ClaimCacheFolder(dir, "aux001"), FolderClaim::kClaimed);
  EXPECT_TRUE(vorel::host::DirectoryExists(dir + "/Vorel/aux001/surface"));
  EXPECT_TRUE(vorel::host::DirectoryExists(dir + "/Vorel/aux001/maps"));
  WriteAll(dir + "/Vorel/aux001/00000.Vorel", {'f'});
  EXPECT_EQ(ClaimCacheFolder(dir, "aux001"), FolderClaim::kTaken);
  EXPECT_EQ(ReadAll(dir + "/Vorel/aux001/00000.Vorel"), std::vector<unsigned char>{'f'});
  WriteAll(dir + "/Vorel/afile", {'x'});
  EXPECT_EQ(ClaimCacheFolder(dir, "afile"), FolderClaim::kTaken);
  std::filesystem::create_directory_symlink(dir + "/elsewhere", dir + "/Vorel/alink");
  EXPECT_EQ(ClaimCacheFolder(dir, "alink"), FolderClaim::kTaken);
  EXPECT_FALSE(vorel::host::DirectoryExists(dir + "/elsewhere"));
  // Two processes claiming one name: one of them has it.
  int claimed = 0;
  for (int round = 0; round < 2; ++round) {
    const int status = InChild([&] { _exit(ClaimCacheFolder(dir, "raced") == FolderClaim::kClaimed ? 0 : 1); });
    claimed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
  }
  EXPECT_EQ(claimed, 1);
  if (geteuid() != 0) {
    const std::string locked = dir + "/readonly";
    vorel::host::MakeDirectories(locked + "/Vorel");
    chmod((locked + "/Vorel").c_str(), 0555);
    EXPECT_EQ(ClaimCacheFolder(locked, "aux001"), FolderClaim::kCannotCreate);
    chmod((locked + "/Vorel").c_str(), 0755);
  }
}

TEST(CacheLock, ASecondProcessIsRefusedAndALockLeftByAKilledOneIsTakenOver) {
  const std::string dir = solver_test::ScratchDir("lock");
  const std::string folder = dir + "/Vorel/sys";
  vorel::host::MakeDirectories(folder);
  const pid_t holder = solver_test::HoldCacheLockInChild(folder);
  ASSERT_GT(holder, 0);
  CacheFolderLock lock;
  std::string why;
  EXPECT_FALSE(lock.Acquire(folder + "/", why));
  EXPECT_EQ(why, "the cache folder " + folder + " is in use by another solve (process " +
                     std::to_string(holder) + ")");
  EXPECT_FALSE(lock.Held());
  solver_test::EndLockHolder(holder);
  // The killed holder's lock file stays, naming it; its lock is gone.
  EXPECT_FALSE(ReadAll(folder + "/Vorel.lock").empty());
  EXPECT_TRUE(lock.Acquire(folder, why)) << why;
  EXPECT_TRUE(lock.Acquire(folder, why));  // held already
  const std::vector<unsigned char> pid = ReadAll(folder + "/Vorel.lock");
  EXPECT_EQ(std::string(pid.begin(), pid.end()), std::to_string(getpid()) + "\n");
  lock.Release();
  EXPECT_FALSE(lock.Held());

  // A lock file planted as a link is not followed (nor the file it names
  // written), and the solve is refused.
  const std::string other = dir + "/Vorel/other";
  vorel::host::MakeDirectories(other);
  WriteAll(dir + "/victim", {'v'});
  std::filesystem::create_symlink(dir + "/victim", other + "/Vorel.lock");
  EXPECT_FALSE(lock.Acquire(other, why));
  EXPECT_EQ(why.rfind(other + "/Vorel.lock: ", 0), 0u) << why;
  EXPECT_EQ(ReadAll(dir + "/victim"), std::vector<unsigned char>{'v'});
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
