// The particle wrapper's per-frame caches: the particle cache file
// ("p%05d.ern") it writes and reads itself, the surface cache file names,
// and the default cache root kept in the registry.
#pragma once
#include <cstdint>
#include <string>

#include "mesher/surface_builder.h"

namespace pelliqor {

// Particle cache file layout, little-endian: magic ".ern", s32 count N, a
// 256-byte block of zeros, then one array per field: N positions (3 x f32,
// world space), N skip flags (u8), N size factors (f32), N limit counters
// (s32).
struct WrapperParticleFile {
  static constexpr uint32_t kMagic = 0x6E72652Eu;  // the bytes ".ern"
  static constexpr int64_t kHeaderSize = 8;
  static constexpr int64_t kBlockSize = 256;
  static constexpr int64_t kArraysStart = kHeaderSize + kBlockSize;  // 264
  static constexpr int64_t kBytesPerParticle = 21;
  static int64_t Size(int64_t n) { return kArraysStart + kBytesPerParticle * n; }
};

// The cache file names of frame f in an instance folder, in the host's
// "folder\name" form.
std::string ParticleCachePath(const std::string& instanceFolder, int frame);
std::string SurfaceCachePath(const std::string& instanceFolder, int frame);
// "<export directory>\<name>"; empty when the directory is empty or the name
// is no single folder name (host IsSingleFolderName): an empty export
// directory never means the file-system root, and no name reaches outside
// the instance folder or means the export directory itself.
std::string InstanceFolder(const std::string& exportDirectory, const std::string& name);

// Writes the builder's particles 0..count-1 under a temporary name and
// renames it over path. False when the file cannot be written whole (error,
// when given, gets the errno that says why); an earlier file of that name is
// then left as it was.
bool WriteParticleCache(const SurfaceBuilder& builder, const std::string& path, int* error = nullptr);

// Why a particle cache file was not taken.
enum class ParticleCacheStatus {
  Ok,
  Missing,     // cannot be opened
  BadMagic,    // the first four bytes are not ".ern"
  BadCount,    // a negative count
  BadLength,   // the file is not exactly as long as its count says
  ReadFailed,  // the stream ended or failed early
  BadValue,    // a position or size factor is not a finite number
};
const char* ParticleCacheStatusText(ParticleCacheStatus s);

// Reads a particle cache file into the builder: a batch of N particles with
// grid cells meltingForce x h, count N, every field from the file (tag 0).
// Anything but Ok leaves the builder untouched; nothing on disk changes.
ParticleCacheStatus ReadParticleCache(SurfaceBuilder& builder, const std::string& path,
                                      float meltingForce);

// The default cache root: the "dataPath" value of the current user's
// "SOFTWARE\Kestrane\Pelliqor" key. A missing key leaves root unchanged
// (false); a missing or unreadable value makes it empty (true).
bool ReadCacheRoot(std::string& root);

}  // namespace pelliqor
