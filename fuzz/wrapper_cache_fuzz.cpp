// The particle wrapper's particle cache files (p%05d.ern).
#include "fuzz/fuzz_support.h"
#include "mesher/surface_builder.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  const std::string path = WriteInput("p00000.ern", data, size);
  SurfaceBuilder b(1.0f);
  const pelliqor::ParticleCacheStatus s = pelliqor::ReadParticleCache(b, path, 4.0f);
  // Only a file exactly as long as its count says is taken.
  if (s == pelliqor::ParticleCacheStatus::Ok) Require(264 + 21 * int64_t(b.count) == int64_t(size));
  else Require(b.count == 0);
  return 0;
}
