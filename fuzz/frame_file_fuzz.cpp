// Particle frame files (%05d.Vorel) through every reader of the frame cache
// and the cache scan.
#include <cmath>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  static FluidSolver solver(1000.0, 1000.0f, 1.0f / 30.0f);
  WriteInput("00001.Vorel", data, size);
  FrameCache cache;
  cache.folderOverride = ScratchFolder() + "/";
  ParticleFrameHeader h;
  const bool header = cache.ReadHeader(1, h);
  std::vector<FluidParticle> particles;
  const int kept = cache.ReadFrame(1, particles, 0.5f);
  std::vector<Vec3f> positions;
  const int read = cache.ReadFramePositions(1, positions);
  // The three readers agree on which files are frames.
  Require(header == (kept >= 0) && header == (read >= 0));
  if (header) Require(read == h.count && kept <= h.count);
  std::vector<int32_t> counts;
  std::vector<uint8_t> meshed;
  int lastSolved = 0, lastMeshed = 0;
  cache.Scan(solver, counts, lastSolved, meshed, lastMeshed, 3);
  Require(lastSolved == (header ? 1 : 0));
  return 0;
}
