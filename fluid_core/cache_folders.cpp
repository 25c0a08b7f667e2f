// Cache moves and the walk back to the last frame on disk.
#include "fluid_core/cache_folders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

// Copy, check the copy's length against the source's, then delete the source.
// Moves into a new name first so a half-written copy never has the frame's name.
enum class MoveOutcome { kMoved, kMissing, kFailed };
MoveOutcome MoveOne(const std::string& from, const std::string& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return MoveOutcome::kMissing;
  const auto size = fs::file_size(from, ec);
  if (ec) return MoveOutcome::kFailed;
  const std::string temp = to + ".moving";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (ec || fs::file_size(temp, ec) != size || ec) {
    fs::remove(temp, ec);
    return MoveOutcome::kFailed;
  }
  fs::rename(temp, to, ec);
  if (ec) {
    fs::remove(temp, ec);
    return MoveOutcome::kFailed;
  }
  fs::remove(from, ec);
  return MoveOutcome::kMoved;
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
  auto tally = [&r](MoveOutcome o) {
    if (o == MoveOutcome::kMoved) ++r.moved;
    else if (o == MoveOutcome::kMissing) ++r.missing;
    else ++r.failed;
  };
  const int lastFrame = std::min(lastSolved, FrameCache::kMaxFrames - 1);
  const int lastMesh = std::min(lastMeshed, FrameCache::kMaxFrames - 1);
  for (int j = 0; j <= lastMesh; ++j)
    tally(MoveOne(old + "surface/" + Numbered("m%05d.bin", j), target.MeshPath(j)));
  for (int i = 0; i <= lastFrame; ++i)
    tally(MoveOne(old + Numbered("%05d.Vorel", i), target.FramePath(i)));
  return r;
}

int LastFrameOnDisk(const FrameCache& cache, int from) {
  for (int i = std::min(from, FrameCache::kMaxFrames - 1); i >= 0; --i) {
    std::FILE* f = std::fopen(cache.FramePath(i).c_str(), "rb");
    if (f) {
      std::fclose(f);
      return i;
    }
  }
  return -1;
}
