// Packing a cache folder into one file and unpacking it again.
#include "fluid_core/packed_cache.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "host/core/files.h"
#include "mesher/mesh_record.h"

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool WriteAll(std::FILE* f, const void* data, size_t n) {
  return n == 0 || std::fwrite(data, 1, n, f) == n;
}

bool ReadAll(std::FILE* f, void* data, size_t n) { return n == 0 || std::fread(data, 1, n, f) == n; }

// Length of a file that opens, else 0 (a file that cannot be opened is
// stored as an empty entry); lengths beyond what an i32 holds count as
// unopenable too, since the table cannot say them.
int32_t EntryLength(const std::string& path) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return 0;
  const int64_t n = vorel::host::FileSize(path);
  return n > 0 && n <= INT32_MAX ? int32_t(n) : 0;
}

// Appends a source file to the pack; false when it no longer has the length
// recorded in the table.
bool CopyEntry(std::FILE* out, const std::string& path, int32_t length, std::vector<char>& buf) {
  if (length == 0) return true;
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (!in) return false;
  buf.resize(size_t(length));
  if (!ReadAll(in.get(), buf.data(), buf.size())) return false;
  if (std::fgetc(in.get()) != EOF) return false;  // it grew since it was measured
  return WriteAll(out, buf.data(), buf.size());
}

// False with the reason in `err` (errno of the call that failed).
bool WriteFile(const std::string& path, const char* data, size_t n, int& err) {
  // Never through a link planted at the name.
  FilePtr f(vorel::host::OpenFile(path, "wb"));
  if (!f || !WriteAll(f.get(), data, n)) {
    err = errno;
    return false;
  }
  if (std::fclose(f.release()) != 0) {
    err = errno;
    return false;
  }
  return true;
}

void (*g_unpackFileHook)(int) = nullptr;

namespace fs = std::filesystem;

// A process id that names no running process. One that answers, even a
// process of another user that took the id over, is left alone.
bool ProcessGone(long pid) {
  if (pid <= 0 || pid == long(getpid())) return false;
  return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// The pid in `name` when it is `stem` + `tag` + digits, else -1.
long WorkFilePid(const std::string& name, const std::string& stem, const char* tag) {
  const std::string head = stem + tag;
  if (name.size() <= head.size() || name.compare(0, head.size(), head) != 0) return -1;
  long pid = 0;
  for (size_t i = head.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 100000000) return -1;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

std::string WithoutSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The entries of `folder` named `stem` + `tag` + the pid of a dead process.
std::vector<fs::path> DeadWorkFiles(const fs::path& folder, const std::string& stem, const char* tag) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
       it.increment(ec))
    if (ProcessGone(WorkFilePid(it->path().filename().string(), stem, tag))) found.push_back(it->path());
  return found;
}

std::string Reason(const std::string& path, int err) { return path + ": " + std::strerror(err); }
}  // namespace

void SetUnpackFileHook(void (*hook)(int)) { g_unpackFileHook = hook; }

void RemoveDeadPackParts(const std::string& packPath) {
  const fs::path target(packPath);
  std::error_code ec;
  for (const fs::path& p : DeadWorkFiles(target.parent_path(), target.filename().string(), ".part"))
    fs::remove(p, ec);
}

void RecoverUnpackLeftovers(const FrameCache& target) {
  const fs::path folder(WithoutSlash(target.SystemFolder()));
  const std::string stem = folder.filename().string();
  std::error_code ec;
  // A swap killed between its two renames: the old cache waits beside.
  for (const fs::path& p : DeadWorkFiles(folder.parent_path(), stem, ".replaced")) {
    if (!fs::exists(folder, ec)) fs::rename(p, folder, ec);
    else fs::remove_all(p, ec);
  }
  for (const fs::path& p : DeadWorkFiles(folder.parent_path(), stem, ".unpack")) fs::remove_all(p, ec);
}

const char* PackedCacheStatusText(PackedCacheStatus s) {
  switch (s) {
    case PackedCacheStatus::kOk: return "ok";
    case PackedCacheStatus::kCannotOpen: return "the file cannot be opened";
    case PackedCacheStatus::kWrongMagic: return "not a packed Vorel cache";
    case PackedCacheStatus::kBadCounts: return "frame or mesh count out of range";
    case PackedCacheStatus::kBadLength: return "a file length in the table is impossible";
    case PackedCacheStatus::kTruncated: return "the file is shorter than its tables say";
    case PackedCacheStatus::kTrailingBytes: return "the file is longer than its tables say";
    case PackedCacheStatus::kCannotWrite: return "a cache file cannot be written";
    case PackedCacheStatus::kDamagedEntry: return "a frame or surface in it does not read";
  }
  return "unknown";
}

bool FrameCache::Pack(const std::string& path, int lastSolved, int lastMeshed) const {
  const int p = std::clamp(lastSolved + 1, 0, PackedCacheFile::kMaxEntries);
  const int m = std::clamp(lastMeshed + 1, 0, p);
  std::vector<int32_t> frameLengths(p), meshLengths(m);
  for (int i = 0; i < p; ++i) frameLengths[i] = EntryLength(FramePath(i));
  for (int j = 0; j < m; ++j) meshLengths[j] = EntryLength(MeshPath(j));

  // Written aside and renamed over the target, so a failed pack never
  // destroys an earlier file of that name.
  RemoveDeadPackParts(path);
  const std::string temp = path + ".part" + std::to_string(getpid());
  bool ok = false;
  {
    FilePtr out(vorel::host::OpenFile(temp, "wbx"));
    if (!out) return false;
    const uint32_t magic = PackedCacheFile::kMagic;
    const int32_t counts[2] = {p, m};
    ok = WriteAll(out.get(), &magic, 4) && WriteAll(out.get(), counts, 8) &&
         WriteAll(out.get(), frameLengths.data(), 4 * size_t(p)) &&
         WriteAll(out.get(), meshLengths.data(), 4 * size_t(m));
    std::vector<char> buf;
    for (int i = 0; ok && i < p; ++i) ok = CopyEntry(out.get(), FramePath(i), frameLengths[i], buf);
    for (int j = 0; ok && j < m; ++j) ok = CopyEntry(out.get(), MeshPath(j), meshLengths[j], buf);
    ok = (std::fclose(out.release()) == 0) && ok;
  }
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

PackedCacheStatus ReadPackedCacheIndex(const std::string& path, PackedCacheIndex& index) {
  index = PackedCacheIndex();
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return PackedCacheStatus::kCannotOpen;
  const int64_t size = vorel::host::FileSize(path);
  uint32_t magic = 0;
  if (size < 4 || !ReadAll(f.get(), &magic, 4) || magic != PackedCacheFile::kMagic)
    return PackedCacheStatus::kWrongMagic;
  int32_t counts[2];
  if (size < PackedCacheFile::kHeaderSize || !ReadAll(f.get(), counts, 8))
    return PackedCacheStatus::kTruncated;
  const int32_t p = counts[0], m = counts[1];
  if (p < 0 || m < 0 || p > PackedCacheFile::kMaxEntries || m > PackedCacheFile::kMaxEntries)
    return PackedCacheStatus::kBadCounts;
  const int64_t tables = 4 * (int64_t(p) + m);
  if (size < PackedCacheFile::kHeaderSize + tables) return PackedCacheStatus::kTruncated;
  std::vector<int32_t> frames(p), meshes(m);
  if (!ReadAll(f.get(), frames.data(), 4 * size_t(p)) || !ReadAll(f.get(), meshes.data(), 4 * size_t(m)))
    return PackedCacheStatus::kTruncated;
  int64_t total = 0;
  for (int32_t n : frames) {
    // A frame holds at least its 16-byte header (the unpacker reads it).
    if (n < 0 || (n > 0 && n < ParticleFrameFile::kHeaderSize)) return PackedCacheStatus::kBadLength;
    total += n;
  }
  for (int32_t n : meshes) {
    if (n < 0) return PackedCacheStatus::kBadLength;
    total += n;
  }
  const int64_t remaining = size - PackedCacheFile::kHeaderSize - tables;
  if (total > remaining) return PackedCacheStatus::kTruncated;
  if (total < remaining) return PackedCacheStatus::kTrailingBytes;
  index.frames = p;
  index.meshes = m;
  index.frameLengths = std::move(frames);
  index.meshLengths = std::move(meshes);
  return PackedCacheStatus::kOk;
}

PackedCacheStatus UnpackPackedCache(const std::string& path, const PackedCacheIndex& index,
                                    const FrameCache& target, UnpackedCache& out) {
  out = UnpackedCache();
  out.frameParticleCount.assign(size_t(index.frames), 0);
  out.frameMeshed.assign(size_t(index.meshes), 0);
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return PackedCacheStatus::kCannotOpen;
  const long dataStart = long(PackedCacheFile::kHeaderSize + 4 * (int64_t(index.frames) + index.meshes));
  if (std::fseek(f.get(), dataStart, SEEK_SET) != 0) return PackedCacheStatus::kTruncated;

  // The folders are made here: a system whose folder went away (or was never
  // made under this root) still gets its cache back. One that cannot be made
  // (a read-only disk) is the cause to name, not the first file missing in it.
  for (const std::string& folder : {target.SystemFolder(), target.SurfaceFolder()}) {
    std::error_code ec;
    fs::create_directories(WithoutSlash(folder), ec);
    if (ec && !vorel::host::DirectoryExists(folder)) {
      out.failure = Reason(WithoutSlash(folder), ec.value());
      return PackedCacheStatus::kCannotWrite;
    }
  }

  std::vector<char> buf;
  int step = 0;
  // Writes one file; on failure `out` says which and why.
  auto put = [&](const std::string& dst) {
    if (g_unpackFileHook) g_unpackFileHook(step);
    ++step;
    int err = 0;
    if (WriteFile(dst, buf.data(), buf.size(), err)) return true;
    out.failure = Reason(dst, err);
    return false;
  };
  for (int i = 0; i < index.frames; ++i) {
    const std::string dst = target.FramePath(i);
    const int32_t n = index.frameLengths[size_t(i)];
    if (n == 0) {
      // No frame: an empty file would later read as garbage or end a scan.
      std::remove(dst.c_str());
      continue;
    }
    buf.resize(size_t(n));
    if (!ReadAll(f.get(), buf.data(), buf.size())) return PackedCacheStatus::kTruncated;
    if (!put(dst)) return PackedCacheStatus::kCannotWrite;
    // Every frame must pass the reader a load uses: the pack's table says
    // only how long the entries are.
    if (!target.FrameReadsWhole(i)) {
      out.failure = "frame " + std::to_string(i) +
                    " does not read (cut, a count that does not fit its length, a value that is no "
                    "number, or a particle of no spacing or mass)";
      return PackedCacheStatus::kDamagedEntry;
    }
    ParticleFrameHeader h;
    std::memcpy(&h, buf.data(), sizeof h);
    if (i < 2) {
      out.haveStamp = true;
      out.stamp = h.stamp;
      if (h.particlesPerVolume > 0.0f) {
        out.haveDensity = true;
        out.particlesPerVolume = h.particlesPerVolume;
      }
    }
    out.lastCount = h.count;
    if (out.haveStamp && h.stamp == out.stamp && h.count >= 0) {
      out.frameParticleCount[size_t(i)] = h.count;
      out.lastSolved = i;
    }
  }
  int flagged = 0;
  for (int j = 0; j < index.meshes; ++j) {
    const int32_t n = index.meshLengths[size_t(j)];
    if (n == 0) continue;
    buf.resize(size_t(n));
    if (!ReadAll(f.get(), buf.data(), buf.size())) return PackedCacheStatus::kTruncated;
    if (!put(target.MeshPath(j))) return PackedCacheStatus::kCannotWrite;
    MeshFrameData mesh;
    const MeshFileStatus ms = ReadMeshFrameFile(target.MeshPath(j), mesh);
    if (ms != MeshFileStatus::Ok || mesh.secondVertices.size() != mesh.vertices.size()) {
      out.failure = "surface " + std::to_string(j) + " does not read (" +
                    (ms != MeshFileStatus::Ok ? MeshFileStatusText(ms) : "its two vertex counts differ") + ")";
      return PackedCacheStatus::kDamagedEntry;
    }
    if (j <= out.lastSolved) {
      out.frameMeshed[size_t(j)] = 1;
      ++flagged;
    }
  }
  out.lastMeshed = flagged - 1;
  return PackedCacheStatus::kOk;
}

namespace {
// The empty sibling of the system folder a new cache is written into.
std::string MakeAside(const FrameCache& target) {
  RecoverUnpackLeftovers(target);
  const std::string aside = WithoutSlash(target.SystemFolder()) + ".unpack" + std::to_string(getpid());
  std::error_code ec;
  fs::remove_all(aside, ec);  // nothing of an earlier process with this id may mix in
  return aside;
}

// Drops a failed sibling; a file in it is named as the user knows it: in
// the system folder.
void DropAside(const FrameCache& target, const std::string& aside, std::string& failure) {
  std::error_code ec;
  fs::remove_all(aside, ec);
  if (failure.compare(0, aside.size(), aside) == 0 &&
      (failure.size() == aside.size() || failure[aside.size()] == '/' || failure[aside.size()] == ':'))
    failure = WithoutSlash(target.SystemFolder()) + failure.substr(aside.size());
}

// Copies the files of `from` matching `pattern` into `to` whole.
bool CopyAll(const std::string& from, const char* pattern, const std::string& to, std::vector<char>& buf,
             std::string& failure) {
  for (const std::string& name : vorel::host::ListFiles(from, pattern)) {
    const std::string src = from + "/" + name;
    if (!vorel::host::FileExists(src)) continue;
    FilePtr in(std::fopen(src.c_str(), "rb"));
    if (!in) {
      failure = Reason(src, errno);
      return false;
    }
    const int64_t n = vorel::host::FileSize(src);
    buf.resize(size_t(std::max<int64_t>(n, 0)));
    errno = 0;
    if (n < 0 || !ReadAll(in.get(), buf.data(), buf.size())) {
      failure = Reason(src, errno ? errno : EIO);
      return false;
    }
    int err = 0;
    if (!WriteFile(to + "/" + name, buf.data(), buf.size(), err)) {
      failure = Reason(to + "/" + name, err);
      return false;
    }
  }
  return true;
}
}  // namespace

PackedCacheStatus UnpackBeside(const std::string& path, const PackedCacheIndex& index,
                               const FrameCache& target, UnpackedCache& out, std::string& aside) {
  aside = MakeAside(target);
  FrameCache beside = target;
  beside.folderOverride = aside + "/";
  const PackedCacheStatus s = UnpackPackedCache(path, index, beside, out);
  if (s != PackedCacheStatus::kOk) DropAside(target, aside, out.failure);
  return s;
}

bool CopyBeside(const std::string& from, const FrameCache& target, std::string& aside, std::string& failure) {
  aside = MakeAside(target);
  std::vector<char> buf;
  const bool ok = vorel::host::MakeDirectories(aside + "/surface") &&
                  CopyAll(from, "*.Vorel", aside, buf, failure) &&
                  CopyAll(from + "/surface", "*.bin", aside + "/surface", buf, failure);
  if (!ok) {
    if (failure.empty()) failure = Reason(target.SystemFolder(), errno);
    DropAside(target, aside, failure);
  }
  return ok;
}

bool SwapInUnpacked(const FrameCache& target, const std::string& aside, std::string& failure) {
  RecoverUnpackLeftovers(target);
  const std::string folder = WithoutSlash(target.SystemFolder());
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    vorel::host::MakeDirectories(fs::path(folder).parent_path().string());
    if (std::rename(aside.c_str(), folder.c_str()) == 0) return true;
    failure = Reason(folder, errno);
    fs::remove_all(aside, ec);
    return false;
  }
  // One atomic exchange where the file system offers it; elsewhere the old
  // folder steps aside first (a kill in between is undone by the next
  // RecoverUnpackLeftovers).
  std::string old = aside;
  if (renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) != 0) {
    old = folder + ".replaced" + std::to_string(getpid());
    if (std::rename(folder.c_str(), old.c_str()) != 0) {
      failure = Reason(folder, errno);
      fs::remove_all(aside, ec);
      return false;
    }
    if (std::rename(aside.c_str(), folder.c_str()) != 0) {
      failure = Reason(folder, errno);
      std::rename(old.c_str(), folder.c_str());
      fs::remove_all(aside, ec);
      return false;
    }
  }
  // What a pack does not hold stays with the system.
  for (const char* keep : {"maps", "Vorel.log"}) {
    const fs::path from = fs::path(old) / keep, to = fs::path(folder) / keep;
    if (fs::exists(from, ec) && !fs::exists(to, ec)) fs::rename(from, to, ec);
  }
  fs::remove_all(old, ec);
  return true;
}
