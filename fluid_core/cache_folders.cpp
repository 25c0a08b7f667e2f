// Cache moves and the walk back to the last frame on disk.
#include "fluid_core/cache_folders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "host/core/files.h"
#include "host/core/hostdirs.h"

namespace fs = std::filesystem;

namespace {
std::string Numbered(const char* pattern, int n) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, n);
  return name;
}

std::string WithSlash(const std::string& folder) {
  std::string f = vorel::host::NormalizePath(folder);
  if (!f.empty() && f.back() != '/') f += '/';
  return f;
}

void (*g_moveStepHook)(int) = nullptr;
int g_moveStep = 0;

// Every file a move writes, renames or deletes comes after one call here,
// so that tests can stop the move at each of them.
void Step() {
  if (g_moveStepHook) g_moveStepHook(g_moveStep);
  ++g_moveStep;
}

std::string WithoutSlash(std::string folder) {
  folder = vorel::host::NormalizePath(folder);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// The absolute, normalised spelling of a folder, so that a marker names it
// whatever the working folder of the process that reads it.
std::string Absolute(const std::string& folder) {
  std::error_code ec;
  fs::path p = fs::absolute(WithoutSlash(folder), ec);
  if (ec) return WithoutSlash(folder);
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string SystemFolderOf(const std::string& root, const std::string& name) {
  return WithoutSlash(root) + "/Vorel/" + name + "/";
}

// A marker holds one path on one line; written under a name of its own and
// renamed into place, so a reader sees the whole line or no marker.
bool WriteMarker(const std::string& path, const std::string& text, std::string& why) {
  const std::string temp = path + "." + std::to_string(getpid());
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = temp + ": " + std::strerror(errno);
    return false;
  }
  const std::string line = text + "\n";
  const bool ok = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
  const int err = ok ? 0 : (errno ? errno : EIO);
  if (::close(fd) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    why = path + ": " + std::strerror(err ? err : errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool ReadMarker(const std::string& path, std::string& text) {
  std::ifstream f(path);
  if (!f || !std::getline(f, text)) return false;
  return !text.empty();
}

bool FrameFileName(const std::string& n) {
  return n.size() == 11 && n.compare(5, 6, ".Vorel") == 0 &&
         std::all_of(n.begin(), n.begin() + 5, [](char c) { return c >= '0' && c <= '9'; });
}

bool MeshFileName(const std::string& n) {
  return n.size() == 10 && n[0] == 'm' && n.compare(6, 4, ".bin") == 0 &&
         std::all_of(n.begin() + 1, n.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a system folder holds any particle frame or surface file (a link
// or other entry under such a name counts; a folder does not).
bool HoldsCacheFiles(const std::string& folder) {
  std::error_code ec;
  auto any = [&ec](const std::string& dir, bool (*named)(const std::string&)) {
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (named(it->path().filename().string()) && !it->is_directory(ec)) return true;
    return false;
  };
  return any(folder, FrameFileName) || any(folder + "surface", MeshFileName);
}

// Copies through a side file so a half-written copy never has the file's
// name (vorel::host::WriteFileAside). False with the reason in `why`: the
// errno of the call that failed (a full disk says so).
bool CopyChecked(const std::string& from, const std::string& to, std::string& why) {
  std::vector<char> bytes;
  errno = 0;
  std::FILE* in = std::fopen(from.c_str(), "rb");
  bool read = in != nullptr;
  if (read) {
    char chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    read = !std::ferror(in);
    std::fclose(in);
  }
  if (!read) {
    why = from + ": " + std::strerror(errno ? errno : EIO);
    return false;
  }
  if (vorel::host::FileSize(from) != int64_t(bytes.size())) {
    why = from + ": it changed while it was copied";
    return false;
  }
  const vorel::host::AsideWrite w = vorel::host::WriteFileAside(to, bytes.data(), bytes.size());
  if (w.error == 0) return true;
  why = to + ": " + std::strerror(w.error);
  return false;
}
}  // namespace

std::string SceneFolder(const std::string& scenePath) {
  std::string folder, name;
  vorel::host::SplitFilename(scenePath, &folder, &name, nullptr);
  if (name.empty()) return std::string();
  const std::string path = vorel::host::NormalizePath(scenePath);
  if (!path.empty() && path[0] == '/') return folder.empty() ? std::string("/") : folder;
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec || cwd.empty()) return std::string();
  return folder.empty() ? cwd.string() : (cwd / folder).lexically_normal().string();
}

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  const bool same = fs::equivalent(vorel::host::NormalizePath(a), vorel::host::NormalizePath(b), ec);
  return !ec && same;
}

void SetCacheMoveHook(void (*hook)(int)) {
  g_moveStepHook = hook;
  g_moveStep = 0;
}

CacheMoveResult MoveCacheFiles(const std::string& oldFolder, const FrameCache& target, int lastSolved,
                               int lastMeshed) {
  CacheMoveResult r;
  std::string root = vorel::host::NormalizePath(target.cacheRoot);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  vorel::host::MakeDirectories(root + "/Vorel");
  vorel::host::MakeDirectories(target.SurfaceFolder());
  vorel::host::MakeDirectories(target.SystemFolder() + "maps");

  // Copying a folder onto itself and then deleting the "source" would
  // destroy the whole cache.
  if (SameFolder(oldFolder, target.SystemFolder())) {
    r.sameFolder = true;
    return r;
  }
  const std::string old = WithSlash(oldFolder);
  const std::string to = target.SystemFolder();
  // Frames already in the target are another cache's, unless they are what
  // an earlier move of this cache left there: a copy that did not finish,
  // or the folder this cache was moved away from.
  std::string from, movedTo;
  const bool ours = (ReadMarker(to + kMovingMarker, from) && SameFolder(from, old)) ||
                    (ReadMarker(to + kMovedMarker, movedTo) &&
                     SameFolder(SystemFolderOf(movedTo, target.systemName), old));
  if (!ours && HoldsCacheFiles(to)) {
    r.failed = 1;
    r.failure = WithoutSlash(to) + ": holds another cache";
    return r;
  }
  std::vector<std::pair<std::string, std::string>> files;  // from, to
  const int lastFrame = std::min(lastSolved, FrameCache::kMaxFrames - 1);
  const int lastMesh = std::min(lastMeshed, FrameCache::kMaxFrames - 1);
  for (int j = 0; j <= lastMesh; ++j) files.emplace_back(old + "surface/" + Numbered("m%05d.bin", j), target.MeshPath(j));
  for (int i = 0; i <= lastFrame; ++i) files.emplace_back(old + Numbered("%05d.Vorel", i), target.FramePath(i));

  // Copy everything, then delete: at every moment one folder holds the
  // whole cache, and the markers say which. Until the old folder's marker
  // is written the target is an unfinished copy; from then on it is the
  // cache, and the old folder only points to it.
  std::error_code ec;
  Step();
  fs::remove(to + kMovedMarker, ec);  // the target no longer points elsewhere
  Step();
  std::string why;
  if (!WriteMarker(to + kMovingMarker, Absolute(old), why)) {
    r.failed = 1;
    r.failure = why;
    return r;
  }
  std::vector<const std::string*> copied, sources;
  for (const auto& f : files) {
    if (!fs::is_regular_file(f.first, ec)) {
      ++r.missing;
      continue;
    }
    Step();
    if (CopyChecked(f.first, f.second, why)) {
      copied.push_back(&f.second);
      sources.push_back(&f.first);
      continue;
    }
    if (r.failed++ == 0) r.failure = why;
  }
  if (r.failed == 0) {
    Step();
    if (!WriteMarker(old + kMovedMarker, Absolute(root), why)) {
      r.failed = 1;
      r.failure = why;
    }
  }
  if (r.failed > 0) {
    for (const std::string* copy : copied) fs::remove(*copy, ec);
    fs::remove(to + kMovingMarker, ec);
    return r;
  }
  Step();
  fs::remove(to + kMovingMarker, ec);
  for (const std::string* source : sources) {
    Step();
    fs::remove(*source, ec);
  }
  r.moved = int(sources.size());
  return r;
}

void TraceCacheMove(std::string& root, const std::string& name, std::string& note) {
  note.clear();
  // A chain of moves is followed; a marker naming a folder already seen
  // (never written by a move, but a copied folder may hold one) ends it.
  for (int hop = 0; hop < 16; ++hop) {
    const std::string here = SystemFolderOf(root, name);
    std::string from;
    if (ReadMarker(here + kMovingMarker, from)) {
      // The copy into this folder did not finish: its source was not yet
      // touched, and holds the whole cache.
      const std::string source = WithoutSlash(from);
      const std::string tail = "/Vorel/" + name;
      if (source.size() > tail.size() && source.compare(source.size() - tail.size(), tail.size(), tail) == 0 &&
          vorel::host::DirectoryExists(source)) {
        note = "Vorel-> The move of the cache into " + WithoutSlash(here) +
               " did not finish: the whole cache in " + source + " is used.";
        root = source.substr(0, source.size() - tail.size());
      }
      return;
    }
    std::string to;
    if (!ReadMarker(here + kMovedMarker, to)) return;
    const std::string next = SystemFolderOf(to, name);
    if (!vorel::host::DirectoryExists(next) || vorel::host::FileExists(next + kMovingMarker)) {
      // Moved away, but the copy never finished: this folder is still whole.
      note = "Vorel-> The move of the cache to " + WithoutSlash(next) + " did not finish: the whole cache in " +
             WithoutSlash(here) + " is used.";
      return;
    }
    if (SameFolder(next, here)) return;
    note = "Vorel-> The cache was moved from " + WithoutSlash(here) + " to " + WithoutSlash(next) +
           ": the cache there is used. Save your scene.";
    root = to;
  }
}

FolderClaim ClaimCacheFolder(const std::string& root, const std::string& name) {
  const std::string base = WithoutSlash(root) + "/Vorel";
  vorel::host::MakeDirectories(base);
  const std::string folder = base + "/" + name;
  // One mkdir: of two processes claiming one name, exactly one succeeds,
  // and a name already taken by anything (a link included) fails.
  if (::mkdir(folder.c_str(), 0777) != 0) return errno == EEXIST ? FolderClaim::kTaken : FolderClaim::kCannotCreate;
  vorel::host::MakeDirectories(folder + "/surface");
  vorel::host::MakeDirectories(folder + "/maps");
  return FolderClaim::kClaimed;
}

bool CacheFolderLock::Acquire(const std::string& folder, std::string& failure) {
  const std::string f = WithoutSlash(folder);
  if (fd_ >= 0 && f == folder_) return true;
  Release();
  vorel::host::MakeDirectories(f);
  const std::string path = f + "/Vorel.lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    failure = path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    const long pid = n > 0 ? std::strtol(text, nullptr, 10) : 0;
    ::close(fd);
    if (err != EWOULDBLOCK) {
      failure = path + ": " + std::strerror(err);
      return false;
    }
    failure = "the cache folder " + f + " is in use by another solve";
    if (pid > 0) failure += " (process " + std::to_string(pid) + ")";
    return false;
  }
  // The lock is ours: what a killed holder wrote goes.
  const std::string pid = std::to_string(getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {
    // The pid only names the holder in a refusal; the lock holds without it.
  }
  fd_ = fd;
  folder_ = f;
  return true;
}

void CacheFolderLock::Release() {
  if (fd_ < 0) return;
  if (::ftruncate(fd_, 0) != 0) {
    // A pid left behind names a process that no longer holds the lock; the
    // next holder overwrites it.
  }
  ::close(fd_);
  fd_ = -1;
  folder_.clear();
}

int LastFrameOnDisk(const FrameCache& cache, int from) {
  for (int i = std::min(from, FrameCache::kMaxFrames - 1); i >= 0; --i)
    if (cache.FrameReadsWhole(i)) return i;
  return -1;
}
