// Particle frame files (%05d.Vorel) through every reader of the frame cache
// and the cache scan, with the solver's own frame tag (the one its frames
// carry). The mutator keeps most inputs as long as their count says, so that
// the readers get past the length check to the body.
#include <cmath>
#include <cstring>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "fuzz/fuzz_support.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  return vorel_fuzz::FitCountToLength(data, size, maxSize, seed, 8, ParticleFrameFile::kArraysStart,
                                      ParticleFrameFile::kBytesPerParticle);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  static FluidSolver solver(1000.0, 1000.0f, 1.0f / 30.0f);
  WriteInput("00001.Vorel", data, size);
  FrameCache cache;
  cache.frameTag = solver.frameTag;
  cache.folderOverride = ScratchFolder() + "/";
  ParticleFrameHeader h;
  const bool header = cache.ReadHeader(1, h);
  std::vector<FluidParticle> particles;
  const int kept = cache.ReadFrame(1, particles, 0.5f);
  std::vector<Vec3f> positions;
  const int read = cache.ReadFramePositions(1, positions);
  // The body readers agree on which files are frames; a frame they take has
  // a header that says so (the header alone does not look at the values).
  Require((kept >= 0) == (read >= 0));
  if (read >= 0) Require(header && read == h.count && kept <= h.count);
  // What a caller steps or shows from: finite values only.
  for (int i = 0; i < kept; ++i) {
    const FluidParticle& p = particles[size_t(i)];
    Require(std::isfinite(p.pos.x) && std::isfinite(p.pos.y) && std::isfinite(p.pos.z));
    Require(std::isfinite(p.vel.x) && std::isfinite(p.vel.y) && std::isfinite(p.vel.z));
    Require(std::isfinite(p.spacing) && std::isfinite(p.mass));
  }
  for (int i = 0; i < read; ++i)
    Require(std::isfinite(positions[size_t(i)].x) && std::isfinite(positions[size_t(i)].y) &&
            std::isfinite(positions[size_t(i)].z));
  std::vector<int32_t> counts;
  std::vector<uint8_t> meshed;
  int lastSolved = 0, lastMeshed = 0;
  cache.Scan(solver, counts, lastSolved, meshed, lastMeshed, 3);
  Require(lastSolved == (header ? 1 : 0));
  return 0;
}
