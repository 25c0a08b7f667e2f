// One-file copy of a fluid system's cache (the user's ".Vor" file): the
// particle frames and surface meshes of the system folder, stored whole.
// The engine packs and unpacks through these; the frame cache names the files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fluid_core/frame_cache.h"

// Layout, little-endian: u32 magic; i32 P frames; i32 M meshes; i32[P] frame
// file lengths; i32[M] mesh file lengths; the P frame files whole; the M mesh
// files whole. A length of 0 stands for a file that could not be opened and
// contributes no bytes.
struct PackedCacheFile {
  static constexpr uint32_t kMagic = 0x6DD41E2Du;
  static constexpr int64_t kHeaderSize = 12;
  // Frames and meshes are cache frames: never more than the engine's tables.
  static constexpr int kMaxEntries = FrameCache::kMaxFrames;
};

enum class PackedCacheStatus {
  kOk,
  kCannotOpen,       // the file is missing or unreadable
  kWrongMagic,       // not a packed cache
  kBadCounts,        // P or M outside 0..10000
  kBadLength,        // a negative length, or a frame shorter than its header
  kTruncated,        // the lengths promise more bytes than the file holds
  kTrailingBytes,    // bytes after the last file that no length accounts for
  kCannotWrite,      // a target file could not be created or written whole
};
const char* PackedCacheStatusText(PackedCacheStatus s);

// The counts and length tables of a packed cache whose size agrees with them.
struct PackedCacheIndex {
  int32_t frames = 0;
  int32_t meshes = 0;
  std::vector<int32_t> frameLengths;
  std::vector<int32_t> meshLengths;
};

// Reads the tables of a packed cache and checks them against the file's size
// before anything is written anywhere: a refused file leaves `index` empty.
PackedCacheStatus ReadPackedCacheIndex(const std::string& path, PackedCacheIndex& index);

// What unpacking found in the frames, for the engine's tables.
struct UnpackedCache {
  std::vector<int32_t> frameParticleCount;  // one per packed frame; 0 for a rejected frame
  std::vector<uint8_t> frameMeshed;         // one per packed mesh within lastSolved
  int lastSolved = -1;                      // last frame carrying the adopted stamp
  int lastMeshed = -1;                      // number of meshes flagged - 1
  bool haveStamp = false;
  int32_t stamp = 0;                        // stamp taken from frames 0 and 1
  bool haveDensity = false;
  double particlesPerVolume = 0.0;          // density taken from frames 0 and 1
  int32_t lastCount = 0;                    // particle count of the last header read
};

// Writes the files of a packed cache that ReadPackedCacheIndex accepted into
// the folders of `target` (created when missing). A frame whose stamp is not
// the one of frames 0 and 1 is written but counts 0 particles; an empty entry
// is no frame: its file is removed rather than left empty. Meshes beyond the
// last valid frame are written but not flagged. kCannotWrite leaves the files
// written so far on disk.
PackedCacheStatus UnpackPackedCache(const std::string& path, const PackedCacheIndex& index,
                                    const FrameCache& target, UnpackedCache& out);
