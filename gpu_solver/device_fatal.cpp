#include <cstdio>
#include <cstdlib>

#include "gpu_solver/device.h"

namespace vorel_gpu {

void FatalCudaError(const char* file, int line, const char* text) {
  std::fflush(stdout);
  std::fprintf(stderr, "Cuda error in file '%s' in line %i : %s.\n", file, line, text);
  std::exit(1);
}

void FatalKernelError(const char* label, const char* file, int line, const char* text) {
  std::fflush(stdout);
  std::fprintf(stderr, "Cuda error: %s in file '%s' in line %i : %s.\n", label, file, line, text);
  std::exit(1);
}

}  // namespace vorel_gpu
