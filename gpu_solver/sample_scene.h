// A ready-made cache directory for trying the solver: a block of fill
// particles inside a static box collider, with a kill box around the box.
// Used by vorel-bench and by the solver's own tests.
#pragma once
#include <cstdint>
#include <string>

namespace vorel_gpu {

struct SampleScene {
  int32_t nx = 10, ny = 10, nz = 10;     // fill lattice, host axes (z up)
  float resolution = 10.0f;              // particles per solver unit
  float spacing = 1.1f;                  // lattice step in particle radii
  float fillMin[3] = {1.0f, 1.0f, 0.5f}; // lowest fill corner, solver units
  float boxMin[3] = {0.0f, 0.0f, 0.0f};  // collider box, host axes
  float boxMax[3] = {3.0f, 3.0f, 3.0f};
  float killMargin = 0.5f;               // kill box = collider box grown by this
  int32_t frames = 30;                   // collider files and kill rows
  uint32_t ticksPerFrame = 160;
};

// Number of fill particles the scene writes.
inline int64_t SampleParticleCount(const SampleScene& s) { return int64_t(s.nx) * s.ny * s.nz; }

// Creates dir, dir/sources and dir/objects and writes the fill, one collider
// file per frame 0..frames and the kill-box rows of frames 0..frames-1.
bool WriteSampleCache(const std::string& dir, const SampleScene& scene);

}  // namespace vorel_gpu
