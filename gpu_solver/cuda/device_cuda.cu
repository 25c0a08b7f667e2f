// CUDA back-end: device queries and launch checks through the CUDA runtime.
#include <cuda_runtime.h>

#include "gpu_solver/device.h"

namespace vorel_gpu {
namespace {

void Check(cudaError_t e, int line) {
  if (e != cudaSuccess) FatalCudaError("Vorel_solver", line, cudaGetErrorString(e));
}

}  // namespace

const char* BackendName() { return "cuda"; }

// Without a usable driver or device the runtime reports an error here; the
// program then ends through the fatal path before touching anything else.
int DeviceCount() {
  int n = 0;
  Check(cudaGetDeviceCount(&n), __LINE__);
  return n;
}

void DriverAndRuntimeVersions(int* driver, int* runtime) {
  Check(cudaDriverGetVersion(driver), __LINE__);
  Check(cudaRuntimeGetVersion(runtime), __LINE__);
}

int DeviceMajor() {
  static int major = -1;
  if (major < 0) Check(cudaDeviceGetAttribute(&major, cudaDevAttrComputeCapabilityMajor, 0), __LINE__);
  return major;
}

void CheckLaunch(const char* label, const char* file, int line) {
  cudaError_t e = cudaGetLastError();
  if (e != cudaSuccess) FatalKernelError(label, file, line, cudaGetErrorString(e));
}

}  // namespace vorel_gpu
