#include "wrapper_baker/pelliqor/wrapper_cache.h"

#include <cstdio>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "host/core/files.h"
#include "host/core/registry.h"

namespace pelliqor {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr const char* kRegistryKey = "SOFTWARE\\Kestrane\\Pelliqor";
constexpr const char* kRegistryValue = "dataPath";
constexpr int kPathBuffer = 260;

std::string Numbered(const std::string& folder, const char* pattern, int frame) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, frame);
  return folder + "\\" + name;
}

template <typename T>
bool Put(std::FILE* f, const T* data, size_t n) {
  return n == 0 || std::fwrite(data, sizeof(T), n, f) == n;
}

// Whether n floats from p are all finite.
bool AllFinite(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    float v;
    std::memcpy(&v, p + 4 * i, 4);
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

std::string ParticleCachePath(const std::string& instanceFolder, int frame) {
  return Numbered(instanceFolder, "p%05d.ern", frame);
}

std::string SurfaceCachePath(const std::string& instanceFolder, int frame) {
  return Numbered(instanceFolder, "m%05d.bin", frame);
}

std::string InstanceFolder(const std::string& exportDirectory, const std::string& name) {
  // A name such as ".." or "a/b" would put the caches, and Flush's
  // deletions, outside the wrapper's own folder.
  if (exportDirectory.empty() || !vorel::host::IsSingleFolderName(name)) return std::string();
  return exportDirectory + "\\" + name;
}

bool WriteParticleCache(const SurfaceBuilder& builder, const std::string& path, int* error) {
  const int32_t n = std::max<int32_t>(0, std::min<int32_t>(builder.count, int32_t(builder.particles.size())));
  const size_t count = static_cast<size_t>(n);
  std::vector<float> pos(count * 3);
  std::vector<float> size(count);
  std::vector<uint8_t> skip(count);
  std::vector<int32_t> limit(count);
  for (int32_t i = 0; i < n; ++i) {
    const SurfaceParticle& p = builder.particles[size_t(i)];
    pos[size_t(i) * 3] = p.position.x;
    pos[size_t(i) * 3 + 1] = p.position.y;
    pos[size_t(i) * 3 + 2] = p.position.z;
    skip[size_t(i)] = p.skip;
    size[size_t(i)] = p.size;
    limit[size_t(i)] = p.limitCount;
  }
  const vorel::host::AsideWrite w =
      vorel::host::WriteFileAside(vorel::host::NormalizePath(path), [&](std::FILE* f) {
        const uint32_t magic = WrapperParticleFile::kMagic;
        const uint8_t block[WrapperParticleFile::kBlockSize] = {};
        return Put(f, &magic, 1) && Put(f, &n, 1) && Put(f, block, sizeof block) && Put(f, pos.data(), pos.size()) &&
               Put(f, skip.data(), skip.size()) && Put(f, size.data(), size.size()) &&
               Put(f, limit.data(), limit.size());
      });
  if (error) *error = w.error;
  return w.error == 0;
}

const char* ParticleCacheStatusText(ParticleCacheStatus s) {
  switch (s) {
    case ParticleCacheStatus::Ok: return "ok";
    case ParticleCacheStatus::Missing: return "the file cannot be opened";
    case ParticleCacheStatus::BadMagic: return "not a particle cache file";
    case ParticleCacheStatus::BadCount: return "negative particle count";
    case ParticleCacheStatus::BadLength: return "the file length does not match its particle count";
    case ParticleCacheStatus::ReadFailed: return "the file could not be read";
    case ParticleCacheStatus::BadValue: return "a particle position or size is not a finite number";
  }
  return "unknown";
}

ParticleCacheStatus ReadParticleCache(SurfaceBuilder& builder, const std::string& path,
                                      float meltingForce) {
  const std::string file = vorel::host::NormalizePath(path);
  FilePtr f(std::fopen(file.c_str(), "rb"));
  if (!f) return ParticleCacheStatus::Missing;
  const int64_t length = vorel::host::FileSize(file);
  uint32_t magic = 0;
  int32_t n = 0;
  if (length < WrapperParticleFile::kArraysStart || std::fread(&magic, 4, 1, f.get()) != 1 ||
      std::fread(&n, 4, 1, f.get()) != 1)
    return ParticleCacheStatus::BadLength;
  if (magic != WrapperParticleFile::kMagic) return ParticleCacheStatus::BadMagic;
  if (n < 0) return ParticleCacheStatus::BadCount;
  // The count is checked against the length before it sizes anything.
  if (WrapperParticleFile::Size(n) != length) return ParticleCacheStatus::BadLength;
  std::vector<uint8_t> body(size_t(length - WrapperParticleFile::kArraysStart));
  if (std::fseek(f.get(), long(WrapperParticleFile::kArraysStart), SEEK_SET) != 0 ||
      (!body.empty() && std::fread(body.data(), 1, body.size(), f.get()) != body.size()))
    return ParticleCacheStatus::ReadFailed;

  const uint8_t* posAt = body.data();
  const uint8_t* skipAt = posAt + 12 * size_t(n);
  const uint8_t* sizeAt = skipAt + size_t(n);
  const uint8_t* limitAt = sizeAt + 4 * size_t(n);
  // The mesher places cells from these: one NaN or infinity among them has
  // no cell (its index conversion is undefined) and spoils the bounds.
  if (!AllFinite(posAt, 3 * size_t(n)) || !AllFinite(sizeAt, size_t(n))) return ParticleCacheStatus::BadValue;
  builder.BeginParticles(n, meltingForce);
  for (int32_t i = 0; i < n; ++i) {
    SurfaceParticle& p = builder.particles[size_t(i)];
    float xyz[3];
    std::memcpy(xyz, posAt + 12 * size_t(i), 12);
    p.position = Point3(xyz[0], xyz[1], xyz[2]);
    p.skip = skipAt[i];
    std::memcpy(&p.size, sizeAt + 4 * size_t(i), 4);
    std::memcpy(&p.limitCount, limitAt + 4 * size_t(i), 4);
    p.tag = 0;
  }
  builder.SetCount(n);
  return ParticleCacheStatus::Ok;
}

bool ReadCacheRoot(std::string& root) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buf[kPathBuffer] = {0};
  DWORD type = 0, size = sizeof buf;
  if (RegQueryValueExA(key, kRegistryValue, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) ==
      ERROR_SUCCESS) {
    buf[kPathBuffer - 1] = '\0';
    root = buf;
  } else {
    root.clear();
  }
  RegCloseKey(key);
  return true;
}

}  // namespace pelliqor
