// Readers and writers of the files that the GPU front-end and the solver
// program exchange through a cache directory: the four solver inputs (fill
// particles, emission records, collider geometry per frame, kill boxes) and
// the particle frames the solver writes. Plain little-endian 32-bit fields;
// points are in host axis order and solver units except the kill-box rows,
// which are already in solver order (x, host z, host y).
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vorel_gpu {

constexpr uint32_t kFillTag = 0x6DD41E2E;
constexpr uint32_t kSolverFrameTag = 0x6DD41E00;
constexpr uint32_t kFrameHeaderBytes = 272;  // 16-byte header + 256-byte block

// Host units per solver unit: the front-end hands the solver its scene at
// 1/20 scale and every frame comes back at that scale.
constexpr float kHostUnitsPerSolverUnit = 20.0f;
// Particles per unit volume to resolution and back, as the solver files
// round it (its cube gives back slightly less).
constexpr float kResolutionExponent = 0.333f;
// The spacing in host units of a frame's particles, from the particles per
// solver-unit volume its header holds; whoever meshes a frame takes its
// density from this, so that every reader builds the same surface.
inline float HostParticleSpacing(float ppuv) {
  return kHostUnitsPerSolverUnit / std::pow(ppuv, kResolutionExponent);
}

struct Vec3f {
  float x, y, z;
};

// Path helpers: the cache directory is used as given.
std::string FillFilePath(const std::string& cacheDir);      // <dir>/sources/Vorel.fll
std::string EmissionFilePath(const std::string& cacheDir);  // <dir>/sources/Vorel.srp
std::string ColliderFilePath(const std::string& cacheDir, int64_t ticks);  // <dir>/objects/Vorel_%05d.geom
std::string KillBoxFilePath(const std::string& cacheDir);   // <dir>/Vorel.killparts
std::string FrameFilePath(const std::string& cacheDir, int64_t frame);     // <dir>/%05d.Vorel

// ---- Fill particles ----
struct FillHeader {
  uint32_t tag = 0;
  int32_t stamp = 0;
  int32_t count = 0;
  float ppuv = 0.0f;
};
// Writes tag, 0, N, ppuv, 256 zero bytes, N zero ids, positions, velocities
// (PutFillFile into an open file, for a writer that puts it in place itself).
bool PutFillFile(std::FILE* f, float ppuv, const std::vector<Vec3f>& positions, const std::vector<Vec3f>& velocities);
bool WriteFillFile(const std::string& path, float ppuv, const std::vector<Vec3f>& positions,
                   const std::vector<Vec3f>& velocities);
// Reads the header of a fill file whose size holds all N records; false for a
// missing, short or negative-count file, or one without the fill tag.
bool ReadFillFileHeader(const std::string& path, FillHeader* header);
// Reads the header and up to maxCount positions and velocities; false as for
// the header, or when a point read is not finite.
bool ReadFillFile(const std::string& path, uint32_t maxCount, FillHeader* header, std::vector<Vec3f>* positions,
                  std::vector<Vec3f>* velocities);

// ---- Emission records ----
struct EmissionRecord {
  int32_t tick = 0;
  std::vector<Vec3f> positions;
  std::vector<Vec3f> velocities;
};
bool AppendEmissionRecord(std::FILE* f, int32_t tick, const std::vector<Vec3f>& positions,
                          const std::vector<Vec3f>& velocities);
bool WriteEmissionFile(const std::string& path, const std::vector<EmissionRecord>& records);

// True when the file is a whole emission file: records with counts of 0 or
// more that fill it exactly, every point finite. A missing file is not one.
bool CheckEmissionFile(const std::string& path);

// Sequential reader: Skip/Next return false at the first record that cannot
// be read whole (or a negative count); from then on nothing more is read.
class EmissionReader {
 public:
  explicit EmissionReader(const std::string& path);
  ~EmissionReader();
  EmissionReader(const EmissionReader&) = delete;
  EmissionReader& operator=(const EmissionReader&) = delete;
  bool IsOpen() const { return f_ != nullptr; }
  // Reads the record header and skips its points; *count gets n.
  bool Skip(int32_t* count);
  // The time of the next record without reading past it; false at the end.
  bool PeekTick(int32_t* tick);
  bool Next(EmissionRecord* record);
  // True once every byte of the file belonged to a record read or skipped.
  bool AtEnd() const { return f_ != nullptr && remaining_ == 0; }

 private:
  bool ReadHeader(int32_t* tick, int32_t* count);
  std::FILE* f_ = nullptr;
  long remaining_ = 0;
};

// ---- Collider geometry ----
struct ColliderGeometry {
  uint32_t vertexCount = 0;    // V (3 per triangle)
  uint32_t triangleCount = 0;  // T as stored
  std::vector<Vec3f> vertices;
};
bool PutColliderFile(std::FILE* f, const std::vector<Vec3f>& corners);
bool WriteColliderFile(const std::string& path, const std::vector<Vec3f>& corners);
// False for a missing file, one too short for the V vertices it declares,
// or one with a vertex that is no finite number.
bool ReadColliderFile(const std::string& path, ColliderGeometry* geom);

// ---- Kill boxes ----
struct KillBoxRow {
  int32_t tick = 0;
  float min[3] = {0, 0, 0};  // solver axes
  float max[3] = {0, 0, 0};
};
bool PutKillBoxFile(std::FILE* f, const std::vector<KillBoxRow>& rows);
bool WriteKillBoxFile(const std::string& path, const std::vector<KillBoxRow>& rows);
// Reads every row; false (rows left empty) when the file is missing, holds no
// count, a negative one, or a length other than the declared rows give.
bool ReadKillBoxFile(const std::string& path, std::vector<KillBoxRow>* rows);

// ---- Solver particle frames ----
// Writes a complete frame under a temporary name in the same folder and
// renames it into place, so a reader never sees a partial frame. The
// 256-byte block holds the final path, cut to fit with its terminator.
// On failure nothing is left of the new frame and *error (when given) holds
// the errno of the call that failed.
bool WriteSolverFrame(const std::string& path, float ppuv, const std::vector<int32_t>& ids,
                      const std::vector<Vec3f>& positions, const std::vector<Vec3f>& velocities,
                      int* error = nullptr);

}  // namespace vorel_gpu
