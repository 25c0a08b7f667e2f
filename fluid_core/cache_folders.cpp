// Cache moves and the walk back to the last frame on disk.
#include "fluid_core/cache_folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
  std::vector<std::pair<std::string, std::string>> files;  // from, to
  const int lastFrame = std::min(lastSolved, FrameCache::kMaxFrames - 1);
  const int lastMesh = std::min(lastMeshed, FrameCache::kMaxFrames - 1);
  for (int j = 0; j <= lastMesh; ++j) files.emplace_back(old + "surface/" + Numbered("m%05d.bin", j), target.MeshPath(j));
  for (int i = 0; i <= lastFrame; ++i) files.emplace_back(old + Numbered("%05d.Vorel", i), target.FramePath(i));

  // Copy everything, then delete: at every moment one folder holds the
  // whole cache.
  std::vector<const std::string*> copied, sources;
  std::error_code ec;
  for (const auto& f : files) {
    if (!fs::is_regular_file(f.first, ec)) {
      ++r.missing;
      continue;
    }
    std::string why;
    if (CopyChecked(f.first, f.second, why)) {
      copied.push_back(&f.second);
      sources.push_back(&f.first);
      continue;
    }
    if (r.failed++ == 0) r.failure = why;
  }
  if (r.failed > 0) {
    for (const std::string* to : copied) fs::remove(*to, ec);
    return r;
  }
  for (const std::string* from : sources) fs::remove(*from, ec);
  r.moved = int(sources.size());
  return r;
}

int LastFrameOnDisk(const FrameCache& cache, int from) {
  for (int i = std::min(from, FrameCache::kMaxFrames - 1); i >= 0; --i)
    if (cache.FrameReadsWhole(i)) return i;
  return -1;
}
