// CPU back-end: the kernels run as host functions, so there is always
// exactly one "device", its driver is as new as its runtime, and launches
// cannot fail asynchronously.
#include "gpu_solver/device.h"

namespace vorel_gpu {

const char* BackendName() { return "cpu"; }
int DeviceCount() { return 1; }
void DriverAndRuntimeVersions(int* driver, int* runtime) { *driver = *runtime = 13000; }
int DeviceMajor() { return 9; }
void CheckLaunch(const char*, const char*, int) {}

}  // namespace vorel_gpu
