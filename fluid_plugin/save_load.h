// The fluid system's own scene chunks and the small rules of saving and
// loading them that need no scene: the rename after the scene file and the
// bounds a loaded state must respect.
#pragma once
#include <cstdint>
#include <string>

// Chunk ids, in the order the writer emits them; the reader takes any order
// and skips ids it does not know.
enum FluidChunk : uint16_t {
  kChunkScale = 1974,          // f32 scaleValue
  kChunkState = 1967,          // counts, per-frame particle counts, name, start, density, S
  kChunkEmpty = 1968,
  kChunkCacheRoot = 1969,      // i32 length + cache root with its terminator
  kChunkToolbar = 1970,        // i32 1: the floating toolbar is shown
  kChunkWetMaps = 1971,        // i32 N + N 256-byte records (object name first)
  kChunkSourceNames = 1972,    // sourceCount 256-byte node names
  kChunkSourceFolders = 1973,  // sourceCount 260-byte source-file folders
};

// The head of chunk 1967.
struct SystemStateChunk {
  int32_t sourceCount = 0;
  int32_t lastSolved = -1;
  int32_t lastMeshed = -1;
  float solverClock = 0.0f;
};

// A loaded head that the engine's tables can hold: at most 2048 sources and
// lastSolved within -1..9999 (lastMeshed is clamped to -1..lastSolved).
bool ValidChunk1967(const SystemStateChunk& c);

// A loaded start frame whose ticks, at any frame rate of one frame a second
// or more (at most 4800 ticks a frame), fit a host time for every frame of
// the cache: |start| + 10000 frames of 4800 ticks stay within 32 bits.
bool ValidStartFrame(int32_t startFrame);

// A loaded system name that names one folder under the cache's "Vorel"
// folder: not empty, "." or "..", and without path separators.
bool ValidSystemName(const std::string& name);

// The name an auto-named system ("aux0...") takes when its scene is saved as
// sceneBase: sceneBase + "_" + old name, or + the old name's last 7
// characters when it has 7 or more. Other names, and an unnamed scene, keep
// the old name.
std::string SceneRenamedSystem(const std::string& sceneBase, const std::string& oldName);
