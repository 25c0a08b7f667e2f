// Cache moves and the walk back to the last frame on disk.
#include "fluid_core/cache_folders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "host/core/files.h"

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

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  std::vector<char> ba(1 << 16), bb(1 << 16);
  for (;;) {
    fa.read(ba.data(), std::streamsize(ba.size()));
    fb.read(bb.data(), std::streamsize(bb.size()));
    if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
      return false;
    if (fa.gcount() == 0 || !fa) return !fb || fb.peek() == EOF;
  }
}

// Copies into a new name first so a half-written copy never has the file's
// name, checks the copy against the source, then gives it the name. False
// with the reason in `why`.
bool CopyChecked(const std::string& from, const std::string& to, std::string& why) {
  std::error_code ec;
  const std::string temp = to + ".moving";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec && !SameBytes(from, temp)) ec = std::make_error_code(std::errc::io_error);
  if (!ec) fs::rename(temp, to, ec);
  if (!ec) return true;
  why = to + ": " + ec.message();
  fs::remove(temp, ec);
  return false;
}
}  // namespace

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
  for (int i = std::min(from, FrameCache::kMaxFrames - 1); i >= 0; --i) {
    std::FILE* f = std::fopen(cache.FramePath(i).c_str(), "rb");
    if (f) {
      std::fclose(f);
      return i;
    }
  }
  return -1;
}
