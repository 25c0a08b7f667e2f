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
  kDamagedEntry,     // a frame or surface the readers of a load refuse
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
  std::string failure;                      // kCannotWrite: "<file>: <reason>";
                                            // kDamagedEntry: "frame|surface <n> ..."
};

// Writes the files of a packed cache that ReadPackedCacheIndex accepted into
// the folders of `target` (created when missing). A frame whose stamp is not
// the one of frames 0 and 1 is written but counts 0 particles; an empty entry
// is no frame: its file is removed rather than left empty. Meshes beyond the
// last valid frame are written but not flagged. Each file written must pass
// the reader a load uses (FrameCache::FrameReadsWhole, ReadMeshFrameFile):
// the first that does not ends the unpack with kDamagedEntry, `failure`
// naming it. kCannotWrite and kDamagedEntry leave the files written so far
// on disk (UnpackBeside removes them).
PackedCacheStatus UnpackPackedCache(const std::string& path, const PackedCacheIndex& index,
                                    const FrameCache& target, UnpackedCache& out);

// Replacing a system's cache with a packed one without ever leaving less
// than one whole cache on disk: UnpackBeside writes the files into a sibling
// of the system folder, "<folder>.unpack<pid>" (`aside`), and removes it again
// when it fails; SwapInUnpacked then puts it in the system folder's place in
// one step, keeps the old folder's wet maps and log, and deletes the old
// files. A process killed part-way leaves its sibling behind: both calls
// first clear what processes that no longer run left beside the folder (a
// system folder found missing gets its old cache back). SwapInUnpacked
// answers false with `failure` set ("<folder>: <reason>") when the folders
// cannot be exchanged; the system folder then holds the old cache.
PackedCacheStatus UnpackBeside(const std::string& path, const PackedCacheIndex& index,
                               const FrameCache& target, UnpackedCache& out, std::string& aside);
bool SwapInUnpacked(const FrameCache& target, const std::string& aside, std::string& failure);
// Copies the frames and meshes of an unpacked cache folder (the files a
// system folder holds: "*.Vorel" and "surface/*.bin") into the same sibling,
// for SwapInUnpacked. False, with the sibling removed and `failure` set
// ("<file>: <reason>"), when a file cannot be read or written whole.
bool CopyBeside(const std::string& from, const FrameCache& target, std::string& aside, std::string& failure);
// Clears the siblings of the system folder that dead processes' unpacks left.
void RecoverUnpackLeftovers(const FrameCache& target);
// Removes "<packPath>.part<pid>" files whose process no longer runs (a pack
// killed part-way); Pack calls it before it writes.
void RemoveDeadPackParts(const std::string& packPath);
// Tests: called with 0, 1, ... before each file an unpack writes (null: none).
void SetUnpackFileHook(void (*hook)(int));
