#include "gpu_frontend/cache_directory.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "fluid_core/cache_files.h"
#include "gpu_frontend/frame_playback.h"
#include "host/core/files.h"
#include "host/core/registry.h"

namespace vorel_gpufe {

namespace {

// Folders are joined with "/": the host's file layer also reads "\" as a
// separator, but the solver program gets this path on its command line and
// opens its files with the platform's own calls.
constexpr char kSep = '/';
constexpr int64_t kFrameHeaderBytes = 16;
constexpr int64_t kFrameArraysStart = 272;  // header + reserved block
constexpr int64_t kFrameBytesPerParticle = 28;  // id, position, velocity
constexpr const char* kPresetEnding = ".Vorel_preset";

std::string Join(const std::string& a, const std::string& b) { return a + kSep + b; }

// The frame number of a listed "*.Vorel" name, or false when the name is not
// exactly five characters followed by ".Vorel". Five characters that are no
// number read as frame 0.
bool FrameNumberOfName(const char* name, int* frame) {
  if (std::strlen(name) != 11 || std::strcmp(name + 5, ".Vorel") != 0) return false;
  int n = 0;
  if (std::sscanf(name, "%05d.Vorel", &n) != 1) n = 0;
  *frame = n;
  return true;
}

// Same for a surface mesh name "m%05d.bin".
bool MeshNumberOfName(const char* name, int* frame) {
  if (std::strlen(name) != 10 || name[0] != 'm' || std::strcmp(name + 6, ".bin") != 0) return false;
  int n = 0;
  if (std::sscanf(name + 1, "%05d.bin", &n) != 1) n = 0;
  *frame = n;
  return true;
}

// Names of folder entries matching pattern (plain files and folders alike).
std::vector<std::string> List(const std::string& folder, const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(Join(folder, pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

// A frame file is solved when its header is whole, names it a frame of
// this solver, and every particle record it announces is present (the
// solver writes id, position and velocity arrays after a 272-byte start).
bool FrameFileComplete(const std::string& path) {
  const int64_t size = vorel::host::FileSize(path);
  if (size < kFrameArraysStart) return false;
  std::FILE* f = vorel::host::OpenFile(path, "rb");
  if (!f) return false;
  int32_t head[4];
  const bool read = std::fread(head, 4, 4, f) == 4;
  std::fclose(f);
  if (!read || !IsSolverFrameTag(uint32_t(head[0])) || head[2] < 0) return false;
  return size >= kFrameArraysStart + kFrameBytesPerParticle * int64_t(head[2]);
}

std::string Bounded(const std::string& path) { return path.size() <= kMaxPathLength ? path : std::string(); }

void MakeFolder(const std::string& path) {
  if (!path.empty() && path.size() <= kMaxPathLength) CreateDirectoryA(path.c_str());
}

}  // namespace

CacheDirectory::CacheDirectory() {
  iniPath[0] = '\0';
  std::snprintf(registryKey, sizeof registryKey, "%s", kGpuRegistryKey);
}

bool CacheDirectory::IsPathValid(const std::string& path) {
  if (path.empty() || path == "/" || path == "\\" || path.size() > kMaxPathLength) return false;
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CacheDirectory::IsUsableName(const std::string& name) { return vorel::host::IsSingleFolderName(name); }

bool CacheDirectory::ComposeCacheDir() {
  // With a part missing the join would name the file-system root's "/name"
  // or the caches root itself, and frames would be written and deleted
  // there: such a cache directory is no directory at all.
  if (cachesRoot.empty() || cacheName.empty()) {
    cacheDir.clear();
    return false;
  }
  cacheDir = cachesRoot + kSep + cacheName;
  return IsCacheDirValid();
}

bool CacheDirectory::SetCachesRoot(const std::string& root) {
  cachesRoot = root;
  return ComposeCacheDir();
}

bool CacheDirectory::SetCacheName(const std::string& name) {
  cacheName = name.empty() ? kDefaultCacheName : name;
  return ComposeCacheDir();
}

bool CacheDirectory::SetRootAndName(const std::string& root, const std::string& name) {
  cachesRoot = root;
  cacheName = name;
  return ComposeCacheDir();
}

bool CacheDirectory::ReadIni() {
  std::FILE* f = iniPath[0] ? vorel::host::OpenFile(iniPath, "rt") : nullptr;
  if (f) {
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
      if (std::strncmp(line, "CachesDir=", 10) != 0) continue;
      std::string value(line + 10);
      // A CRLF file read on this platform keeps its "\r".
      while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
      cachesRoot = value;
    }
    std::fclose(f);
  }
  return IsCachesRootValid();
}

bool ReadRegistryText(const char* keyName, const char* name, std::string& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  char value[kPathBufferSize];
  DWORD size = sizeof value;
  DWORD type = 0;
  bool read = false;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    // A value stored without its terminator may fill the buffer: only a
    // text that ends inside it is taken.
    const size_t len = strnlen(value, std::min<size_t>(size, sizeof value));
    if (len < sizeof value) {
      out.assign(value, len);
      read = true;
    }
  }
  RegCloseKey(key);
  return read;
}

bool CacheDirectory::ReadRegistry() {
  ReadRegistryText(registryKey, "dataPath", cachesRoot);
  return IsCachesRootValid();
}

bool CacheDirectory::UseTempRoot() {
  char temp[kPathBufferSize];
  if (GetTempPathA(sizeof temp, temp) == 0) return false;
  std::string root = temp;
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  cachesRoot = root + "/Vorel";
  MakeFolder(cachesRoot);
  return IsCachesRootValid();
}

bool CacheDirectory::InitRoots() {
  // Each step must stand on what it found: a caches root left from an
  // earlier selection would otherwise pass the ini step's test and become
  // a data root, nesting "caches" one level deeper at every call.
  const std::string before = cachesRoot;
  cachesRoot.clear();
  if (!ReadIni() && !ReadRegistry() && !UseTempRoot()) {
    cachesRoot = before;
    return false;
  }
  dataRoot = cachesRoot;
  presetsDir = dataRoot + "/presets";
  cachesRoot = cachesRoot + "/caches";
  MakeFolder(cachesRoot);
  return IsCachesRootValid();
}

bool CacheDirectory::SelectCache(const std::string& root, const std::string& name) {
  SetCachesRoot(root);
  SetCacheName(name);
  if (!IsCacheDirValid() && !InitRoots()) return false;
  ComposeCacheDir();
  MakeCacheTree();
  return IsCacheDirValid();
}

void CacheDirectory::MakeCacheTree() {
  MakeFolder(cacheDir);
  if (!IsCacheDirValid()) return;
  MakeFolder(Join(cacheDir, "objects"));
  MakeFolder(Join(cacheDir, "sources"));
  MakeFolder(Join(cacheDir, "surface"));
}

std::string CacheDirectory::FramePath(int frame) const {
  char name[32];
  std::snprintf(name, sizeof name, "%05d.Vorel", frame);
  return Bounded(Join(cacheDir, name));
}

std::string CacheDirectory::MeshPath(int frame) const {
  char name[32];
  std::snprintf(name, sizeof name, "surface/m%05d.bin", frame);
  return Bounded(Join(cacheDir, name));
}

bool CacheDirectory::ReadFrameHeader(int frame, int32_t* stamp, int32_t* count, float* density) const {
  const std::string path = FramePath(frame);
  if (path.empty() || !vorel::host::FileExists(path)) return false;
  std::FILE* f = vorel::host::OpenFile(path, "rb");
  if (!f) return false;
  unsigned char head[kFrameHeaderBytes];
  const bool read = std::fread(head, 1, sizeof head, f) == sizeof head;
  std::fclose(f);
  if (!read) return false;
  std::memcpy(stamp, head + 4, 4);
  std::memcpy(count, head + 8, 4);
  std::memcpy(density, head + 12, 4);
  return true;
}

int CacheDirectory::lastSolvedFrame() const {
  if (!IsCacheDirValid()) return -1;
  int last = -1;
  for (const std::string& name : List(cacheDir, "*.Vorel")) {
    int frame = 0;
    if (!FrameNumberOfName(name.c_str(), &frame) || frame <= last) continue;
    if (FrameFileComplete(Join(cacheDir, name))) last = frame;
  }
  return last;
}

int CacheDirectory::FirstForeignFrame() const {
  if (!IsCacheDirValid()) return -1;
  int first = -1;
  for (const std::string& name : List(cacheDir, "*.Vorel")) {
    int frame = 0;
    if (!FrameNumberOfName(name.c_str(), &frame) || (first >= 0 && frame >= first)) continue;
    std::FILE* f = vorel::host::OpenFile(Join(cacheDir, name), "rb");
    if (!f) continue;
    uint32_t tag = 0;
    const bool read = std::fread(&tag, 4, 1, f) == 1;
    std::fclose(f);
    if (read && !IsSolverFrameTag(tag)) first = frame;
  }
  return first;
}

bool CacheDirectory::IsFrameSolved(int frame) const {
  const std::string path = FramePath(frame);
  return IsCacheDirValid() && !path.empty() && FrameFileComplete(path);
}

int CacheDirectory::LastFrameParticleCount() const {
  const int last = lastSolvedFrame();
  if (last < 0) return 0;
  int32_t stamp = 0, count = 0;
  float density = 0.0f;
  if (!ReadFrameHeader(last, &stamp, &count, &density)) return 0;
  return count > 0 ? count : 0;
}

int CacheDirectory::DeleteFramesFrom(int n) {
  int deleted = 0;
  if (IsCacheDirValid()) {
    for (const std::string& name : List(cacheDir, "*.Vorel")) {
      int frame = 0;
      if (FrameNumberOfName(name.c_str(), &frame) && frame >= n &&
          DeleteFileA(Join(cacheDir, name).c_str()))
        ++deleted;
    }
    // The surfaces of the replaced frames would otherwise be shown in place
    // of the new run's, since a readable surface file is used before meshing.
    const std::string surface = Join(cacheDir, "surface");
    for (const std::string& name : List(surface, "m*.bin")) {
      int frame = 0;
      if (MeshNumberOfName(name.c_str(), &frame) && frame >= n) DeleteFileA(Join(surface, name).c_str());
    }
  }
  DeleteSourceFiles();
  DeleteColliderFiles();
  DeleteKillBoxFiles();
  return deleted;
}

int CacheDirectory::DeleteSourceFiles() {
  if (!IsCacheDirValid()) return 0;
  const std::string dir = Join(cacheDir, "sources");
  return DeleteCacheFiles(dir, "*.fll") + DeleteCacheFiles(dir, "*.srp");
}

int CacheDirectory::DeleteColliderFiles() {
  return IsCacheDirValid() ? DeleteCacheFiles(Join(cacheDir, "objects"), "*.geom") : 0;
}

int CacheDirectory::DeleteKillBoxFiles() { return IsCacheDirValid() ? DeleteCacheFiles(cacheDir, "*.killparts") : 0; }

int CacheDirectory::DeletePrtFiles() { return IsCacheDirValid() ? DeleteCacheFiles(Join(cacheDir, "PRTs"), "*.PRT") : 0; }

int CacheDirectory::DeleteSurfaceFiles() {
  return IsCacheDirValid() ? DeleteCacheFiles(Join(cacheDir, "surface"), "*.bin") : 0;
}

int CacheDirectory::PreparePrtDir() {
  if (!IsCacheDirValid()) return 0;
  MakeFolder(Join(cacheDir, "PRTs"));
  return DeletePrtFiles();
}

void CacheDirectory::NextCacheName(std::string* name) const {
  std::string base = cacheName;
  if (base.size() >= 4 && base[base.size() - 4] == '_') base.resize(base.size() - 4);
  auto used = [&](int k) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", k);
    return IsPathValid(Join(cachesRoot, base + suffix));
  };
  int k = 1200;
  while (k >= 0 && !used(k)) --k;
  ++k;
  // Numbers above 1200 are not part of the downward search: keep going up
  // until the name is really free.
  while (used(k)) ++k;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%03d", k);
  *name = base + suffix;
}

void CacheDirectory::ListPresets(std::vector<std::string>* names) const {
  const size_t endLen = std::strlen(kPresetEnding);
  for (const std::string& file : List(presetsDir, "*.Vorel_preset")) {
    if (file.size() >= endLen && file.compare(file.size() - endLen, endLen, kPresetEnding) == 0)
      names->push_back(file.substr(0, file.size() - endLen));
  }
}

bool CacheDirectory::ReadPreset(const std::string& name, float* v1, float* v2, float* v3, float* v4,
                                float* v5) const {
  const std::string path = Bounded(Join(presetsDir, name + kPresetEnding));
  std::FILE* f = path.empty() ? nullptr : vorel::host::OpenFile(path, "rb");
  if (!f) return false;
  float* out[5] = {v1, v2, v3, v4, v5};
  for (float* o : out) {
    float v = 0.0f;
    if (std::fread(&v, 4, 1, f) != 1) break;
    *o = v;
  }
  std::fclose(f);
  return true;
}

bool CacheDirectory::WritePreset(const std::string& name, float v1, float v2, float v3, float v4,
                                 float v5) const {
  const std::string path = Bounded(Join(presetsDir, name + kPresetEnding));
  if (path.empty()) return false;
  const float v[5] = {v1, v2, v3, v4, v5};
  return vorel::host::WriteFileAside(vorel::host::NormalizePath(path), v, sizeof v).error == 0;
}

}  // namespace vorel_gpufe
