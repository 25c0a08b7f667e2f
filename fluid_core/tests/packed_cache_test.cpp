// Packing a cache into one file and unpacking it: byte-for-byte round trip,
// the stamp rule, and refusal of damaged files before anything is written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "fluid_core/packed_cache.h"
#include "mesher/mesh_record.h"
#include "solver_test_util.h"

using solver_test::ReadAll;
using solver_test::WriteAll;

namespace {
struct Cache {
  std::unique_ptr<FluidSolver> solver;
  FrameCache& fc() { return solver->frameCache; }
};

Cache MakeCache(const std::string& dir, const std::string& name) {
  Cache c{std::unique_ptr<FluidSolver>(solver_test::MakeSolver(216.0))};
  c.fc().cacheRoot = dir;
  c.fc().systemName = name;
  vorel::host::MakeDirectories(c.fc().SystemFolder());
  vorel::host::MakeDirectories(c.fc().SurfaceFolder());
  return c;
}

// Frames 0..frames-1 (frame i holds i particles, stamp `stamp`) and mesh
// files 0..meshes-1 of distinct lengths (mesh j holds j + 1 vertices).
void Fill(Cache& c, int frames, int meshes, int32_t stamp = 777) {
  c.solver->stamp = stamp;
  for (int i = 0; i < frames; ++i) {
    solver_test::Put(*c.solver, Vec3f(0.1f * i, 0.0f, 0.0f));
    ASSERT_GT(c.fc().WriteFrame(i, i, stamp, 216.0, *c.solver), 0);
  }
  for (int j = 0; j < meshes; ++j) {
    MeshRecord m;
    m.vertices.assign(size_t(j + 1), Point3(0.5f * float(j), 1.0f, 2.0f));
    m.secondVertices.assign(size_t(j + 1), Point3());
    ASSERT_TRUE(m.WriteSurfaceCache(c.fc().MeshPath(j), j, stamp));
  }
}

// A pack of three frames and two surfaces (Fill), written in `dir`: its bytes.
void SamplePack(const std::string& dir, const std::string& name, std::vector<unsigned char>& bytes) {
  Cache c = MakeCache(dir, name);
  Fill(c, 3, 2);
  const std::string good = dir + "/good.Vor";
  ASSERT_TRUE(c.fc().Pack(good, 2, 1));
  bytes = ReadAll(good);
}

// `bytes` with `v` written at `offset`.
template <class T>
std::vector<unsigned char> Patched(std::vector<unsigned char> bytes, int64_t offset, T v) {
  std::memcpy(bytes.data() + offset, &v, sizeof v);
  return bytes;
}

std::vector<int32_t> Words(const std::vector<unsigned char>& b, size_t first, size_t n) {
  std::vector<int32_t> w(n);
  std::memcpy(w.data(), b.data() + 4 * first, 4 * n);
  return w;
}

PackedCacheStatus Unpack(const std::string& path, Cache& to, UnpackedCache& out) {
  PackedCacheIndex index;
  PackedCacheStatus s = ReadPackedCacheIndex(path, index);
  if (s != PackedCacheStatus::kOk) return s;
  return UnpackPackedCache(path, index, to.fc(), out);
}
}  // namespace

TEST(PackedCache, CountsFollowSolvedAndMeshedFrames) {
  const std::string dir = solver_test::ScratchDir("pack_counts");
  Cache c = MakeCache(dir, "a");
  Fill(c, 10, 15);
  const std::string p = dir + "/a.Vor";
  ASSERT_TRUE(c.fc().Pack(p, 9, 4));
  auto b = ReadAll(p);
  EXPECT_EQ(Words(b, 0, 3), (std::vector<int32_t>{int32_t(0x6DD41E2D), 10, 5}));
  std::vector<int32_t> meshLengths;
  for (int j = 1; j <= 5; ++j) meshLengths.push_back(int32_t(MeshFrameFileSize(j, j, 0)));
  EXPECT_EQ(Words(b, 3 + 10, 5), meshLengths);
  // The first frame file follows the tables whole.
  EXPECT_EQ(Words(b, 3 + 15, 1)[0], int32_t(FluidSolver::kFrameTag));

  ASSERT_TRUE(c.fc().Pack(p, 9, 14));
  EXPECT_EQ(Words(ReadAll(p), 2, 1)[0], 10);  // meshes never beyond the frames
  ASSERT_TRUE(c.fc().Pack(p, -1, -1));
  EXPECT_EQ(ReadAll(p).size(), 12u);  // an empty system
}

TEST(PackedCache, UnpackReproducesEveryFileByteForByte) {
  const std::string dir = solver_test::ScratchDir("pack_round");
  Cache from = MakeCache(dir, "from");
  Fill(from, 6, 4);
  std::remove(from.fc().MeshPath(2).c_str());  // a missing mesh packs as an empty entry
  const std::string p = dir + "/x.Vor";
  ASSERT_TRUE(from.fc().Pack(p, 5, 3));

  Cache to = MakeCache(dir + "/elsewhere", "to");
  UnpackedCache u;
  ASSERT_EQ(Unpack(p, to, u), PackedCacheStatus::kOk);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadAll(to.fc().FramePath(i)), ReadAll(from.fc().FramePath(i))) << i;
  for (int j : {0, 1, 3}) EXPECT_EQ(ReadAll(to.fc().MeshPath(j)), ReadAll(from.fc().MeshPath(j))) << j;
  EXPECT_FALSE(vorel::host::FileExists(to.fc().MeshPath(2)));
  EXPECT_EQ(u.frameParticleCount, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(u.lastSolved, 5);
  EXPECT_EQ(u.frameMeshed, (std::vector<uint8_t>{1, 1, 0, 1}));
  EXPECT_EQ(u.lastMeshed, 2);  // three meshes flagged
  EXPECT_EQ(u.stamp, 777);
  EXPECT_DOUBLE_EQ(u.particlesPerVolume, 216.0);
}

TEST(PackedCache, ForeignStampFrameIsWrittenButNotCounted) {
  const std::string dir = solver_test::ScratchDir("pack_stamp");
  Cache c = MakeCache(dir, "s");
  Fill(c, 5, 5);
  ASSERT_GT(c.fc().WriteFrame(4, 3, 999, 216.0, *c.solver), 0);  // another simulation's frame
  const std::string p = dir + "/s.Vor";
  ASSERT_TRUE(c.fc().Pack(p, 4, 4));
  Cache to = MakeCache(dir, "t");
  UnpackedCache u;
  ASSERT_EQ(Unpack(p, to, u), PackedCacheStatus::kOk);
  EXPECT_TRUE(vorel::host::FileExists(to.fc().FramePath(4)));
  EXPECT_EQ(u.frameParticleCount[4], 0);
  EXPECT_EQ(u.lastSolved, 3);
  EXPECT_EQ(u.frameMeshed, (std::vector<uint8_t>{1, 1, 1, 1, 0}));  // mesh 4 beyond lastSolved
  EXPECT_TRUE(vorel::host::FileExists(to.fc().MeshPath(4)));
  EXPECT_EQ(u.stamp, 777);
  EXPECT_EQ(u.lastCount, 3);
}

TEST(PackedCache, EmptyEntriesAreNoFrames) {
  const std::string dir = solver_test::ScratchDir("pack_empty");
  Cache c = MakeCache(dir, "e");
  Fill(c, 3, 0);
  std::remove(c.fc().FramePath(0).c_str());
  std::remove(c.fc().FramePath(2).c_str());
  const std::string p = dir + "/e.Vor";
  ASSERT_TRUE(c.fc().Pack(p, 2, -1));
  Cache to = MakeCache(dir, "to");
  WriteAll(to.fc().FramePath(2), {1, 2, 3});  // stale file of the cache being replaced
  UnpackedCache u;
  ASSERT_EQ(Unpack(p, to, u), PackedCacheStatus::kOk);
  EXPECT_EQ(u.lastSolved, 1);
  EXPECT_EQ(u.frameParticleCount, (std::vector<int32_t>{0, 1, 0}));
  EXPECT_FALSE(vorel::host::FileExists(to.fc().FramePath(0)));
  EXPECT_FALSE(vorel::host::FileExists(to.fc().FramePath(2)));
}

TEST(PackedCache, DamagedFilesAreRefusedBeforeAnythingIsWritten) {
  const std::string dir = solver_test::ScratchDir("pack_bad");
  std::vector<unsigned char> bytes;
  ASSERT_NO_FATAL_FAILURE(SamplePack(dir, "b", bytes));
  auto withWord = [&](size_t word, int32_t v) { return Patched(bytes, int64_t(4 * word), v); };
  struct Bad {
    const char* what;
    std::vector<unsigned char> bytes;
    PackedCacheStatus status;
  };
  const std::vector<Bad> cases = {
      {"wrong magic", withWord(0, 0x5E1379D3), PackedCacheStatus::kWrongMagic},
      {"too short for the magic", {0x2D, 0x1E}, PackedCacheStatus::kWrongMagic},
      {"too many frames", withWord(1, 10001), PackedCacheStatus::kBadCounts},
      {"negative meshes", withWord(2, -1), PackedCacheStatus::kBadCounts},
      {"frame shorter than its header", withWord(3, 15), PackedCacheStatus::kBadLength},
      {"negative mesh length", withWord(6, -4), PackedCacheStatus::kBadLength},
      {"length beyond the file", withWord(4, 1 << 30), PackedCacheStatus::kTruncated},
      {"cut off", std::vector<unsigned char>(bytes.begin(), bytes.end() - 1), PackedCacheStatus::kTruncated},
      {"cut in the tables", std::vector<unsigned char>(bytes.begin(), bytes.begin() + 18),
       PackedCacheStatus::kTruncated},
      {"extra bytes", [&] { auto b = bytes; b.push_back(0); return b; }(), PackedCacheStatus::kTrailingBytes},
  };
  Cache to = MakeCache(dir, "to");
  const std::vector<unsigned char> existing = {9, 9, 9};
  WriteAll(to.fc().FramePath(0), existing);
  for (const Bad& b : cases) {
    const std::string p = dir + "/bad.Vor";
    WriteAll(p, b.bytes);
    PackedCacheIndex index;
    EXPECT_EQ(ReadPackedCacheIndex(p, index), b.status) << b.what;
    EXPECT_EQ(index.frames, 0) << b.what;
    EXPECT_EQ(ReadAll(to.fc().FramePath(0)), existing) << b.what;
  }
  PackedCacheIndex index;
  EXPECT_EQ(ReadPackedCacheIndex(dir + "/none.Vor", index), PackedCacheStatus::kCannotOpen);
}

TEST(PackedCache, UnwritableTargetFailsAndUnreadableFramesPackAsEmptyEntries) {
  const std::string dir = solver_test::ScratchDir("pack_fail");
  Cache c = MakeCache(dir, "f");
  Fill(c, 2, 0);
  EXPECT_FALSE(c.fc().Pack(dir + "/no/such/folder/x.Vor", 1, -1));
  const std::string p = dir + "/keep.Vor";
  WriteAll(p, {1, 2, 3, 4});
  c.fc().cacheRoot = dir + "/gone";  // the system folder vanished: entries are empty
  ASSERT_TRUE(c.fc().Pack(p, 1, -1));
  EXPECT_EQ(ReadAll(p).size(), 12u + 8u);
}

TEST(PackedCache, APackClearsWhatKilledPacksLeftBesideItsTarget) {
  const std::string dir = solver_test::ScratchDir("pack_parts");
  Cache c = MakeCache(dir, "k");
  Fill(c, 2, 0);
  const std::string p = dir + "/take.Vor";
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string dead = p + ".part" + std::to_string(gone);
  const std::string alive = p + ".part" + std::to_string(getppid());
  const std::string other = dir + "/other.Vor.part" + std::to_string(gone);
  for (const std::string& f : {dead, alive, other}) WriteAll(f, {1});
  ASSERT_TRUE(c.fc().Pack(p, 1, -1));
  EXPECT_FALSE(vorel::host::FileExists(dead));
  EXPECT_TRUE(vorel::host::FileExists(alive));  // its process may still be packing
  EXPECT_TRUE(vorel::host::FileExists(other));  // another target's
}

// A pack whose tables are whole but one of whose entries the readers of a
// load refuse leaves the old cache as it was; the failure names the first
// damaged entry.
TEST(PackedCache, DamagedEntriesAreNamedAndLeaveTheOldCache) {
  const std::string dir = solver_test::ScratchDir("pack_entries");
  std::vector<unsigned char> bytes;
  ASSERT_NO_FATAL_FAILURE(SamplePack(dir, "d", bytes));
  // Where each entry starts: after the header and the five lengths.
  int64_t at = PackedCacheFile::kHeaderSize + 4 * 5;
  std::vector<int64_t> frameAt, meshAt;
  for (int i = 0; i < 3; ++i) frameAt.push_back(at), at += ParticleFrameFile::Size(i);
  for (int j = 0; j < 2; ++j) meshAt.push_back(at), at += MeshFrameFileSize(j + 1, j + 1, 0);
  ASSERT_EQ(at, int64_t(bytes.size()));
  auto with = [&](int64_t offset, float v) { return Patched(bytes, offset, v); };
  auto withCount = [&](int frame, int32_t n) { return Patched(bytes, frameAt[size_t(frame)] + 8, n); };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // A surface's first vertex follows its stamp, version, marker and count.
  const struct {
    const char* what;
    std::vector<unsigned char> bytes;
    const char* named;
  } cases[] = {
      {"a NaN position", with(frameAt[2] + ParticleFrameFile::PosOffset(2) + 4, nan), "frame 2 "},
      {"a count one over its length", withCount(1, 2), "frame 1 "},
      {"a count one under its length", withCount(2, 1), "frame 2 "},
      {"a spacing of 0", with(frameAt[1] + ParticleFrameFile::SpacingOffset(1), 0.0f), "frame 1 "},
      {"a negative mass", with(frameAt[2] + ParticleFrameFile::MassOffset(2) + 4, -1.0f), "frame 2 "},
      {"an infinite velocity", with(frameAt[1] + ParticleFrameFile::VelOffset(1),
                                    std::numeric_limits<float>::infinity()), "frame 1 "},
      {"a NaN surface vertex", with(meshAt[1] + 16, nan),
       "surface 1 "},
      {"a surface's end marker", with(int64_t(bytes.size()) - 4, 0.0f), "surface 1 "},
  };
  Cache to = MakeCache(dir, "to");
  Fill(to, 2, 1, 555);
  const auto oldFrame = ReadAll(to.fc().FramePath(1));
  for (const auto& k : cases) {
    const std::string p = dir + "/damaged.Vor";
    WriteAll(p, k.bytes);
    PackedCacheIndex index;
    ASSERT_EQ(ReadPackedCacheIndex(p, index), PackedCacheStatus::kOk) << k.what;
    UnpackedCache u;
    std::string aside;
    EXPECT_EQ(UnpackBeside(p, index, to.fc(), u, aside), PackedCacheStatus::kDamagedEntry) << k.what;
    EXPECT_EQ(u.failure.compare(0, strlen(k.named), k.named), 0) << k.what << ": " << u.failure;
    EXPECT_FALSE(vorel::host::DirectoryExists(aside)) << k.what;
    EXPECT_EQ(ReadAll(to.fc().FramePath(1)), oldFrame) << k.what;
    EXPECT_FALSE(vorel::host::FileExists(to.fc().FramePath(2))) << k.what;
  }
}

// An unpack whose folder cannot be made says why, naming the system folder
// (a read-only disk said "No such file or directory" of the first frame).
TEST(PackedCache, AFolderThatCannotBeMadeIsTheCauseSaid) {
  const std::string dir = solver_test::ScratchDir("pack_nofolder");
  Cache c = MakeCache(dir, "n");
  Fill(c, 2, 1);
  const std::string p = dir + "/n.Vor";
  ASSERT_TRUE(c.fc().Pack(p, 1, 0));
  // The root's "Vorel" is a file: no folder can be made in it.
  Cache to = MakeCache(dir + "/other", "t");
  std::filesystem::remove_all(dir + "/other/Vorel");
  WriteAll(dir + "/other/Vorel", {1});
  PackedCacheIndex index;
  ASSERT_EQ(ReadPackedCacheIndex(p, index), PackedCacheStatus::kOk);
  UnpackedCache u;
  std::string aside;
  EXPECT_EQ(UnpackBeside(p, index, to.fc(), u, aside), PackedCacheStatus::kCannotWrite);
  EXPECT_EQ(u.failure, dir + "/other/Vorel/t: Not a directory");
}
