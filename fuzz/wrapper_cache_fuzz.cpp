// The particle wrapper's particle cache files (p%05d.ern). The mutator keeps
// most inputs as long as their count says, so that the reader gets past the
// length check to the values.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "mesher/surface_builder.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  return vorel_fuzz::FitCountToLength(data, size, maxSize, seed, 4, pelliqor::WrapperParticleFile::kArraysStart,
                                      pelliqor::WrapperParticleFile::kBytesPerParticle);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  const std::string path = WriteInput("p00000.ern", data, size);
  SurfaceBuilder b(1.0f);
  const pelliqor::ParticleCacheStatus s = pelliqor::ReadParticleCache(b, path, 4.0f);
  if (s != pelliqor::ParticleCacheStatus::Ok) {
    Require(b.count == 0);
    return 0;
  }
  // Only a file exactly as long as its count says is taken, and the mesher
  // it feeds gets finite positions and sizes.
  Require(pelliqor::WrapperParticleFile::Size(b.count) == int64_t(size));
  for (int i = 0; i < b.count; ++i) {
    const SurfaceParticle& p = b.particles[size_t(i)];
    Require(std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z));
    Require(std::isfinite(p.size));
  }
  return 0;
}
