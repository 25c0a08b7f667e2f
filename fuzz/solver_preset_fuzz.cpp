// Solver presets (".Vorel_preset", five floats) of the GPU front-end.
#include "fuzz/fuzz_support.h"
#include "gpu_frontend/cache_directory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  WriteInput("p.Vorel_preset", data, size);
  vorel_gpufe::CacheDirectory dir;
  dir.presetsDir = ScratchFolder();
  float v[5] = {1, 2, 3, 4, 5};
  Require(dir.ReadPreset("p", &v[0], &v[1], &v[2], &v[3], &v[4]));
  // Values past the end of a short file keep theirs.
  for (size_t k = size / 4; k < 5; ++k) Require(v[k] == float(k + 1));
  return 0;
}
