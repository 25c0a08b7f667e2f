// The fatal-error reports: exact text on stderr and exit code 1, which the
// front-end and the logs rely on; and the CPU back-end's device stand-in,
// which must never send a run down that path.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gpu_solver/device.h"

using namespace vorel_gpu;

TEST(DeviceDeathTest, FatalReportsPrintTheirExactTextAndExitWithOne) {
  EXPECT_EXIT(FatalCudaError("particleSystem", 42, "out of memory"), testing::ExitedWithCode(1),
              "^Cuda error in file 'particleSystem' in line 42 : out of memory\\.\n$");
  EXPECT_EXIT(FatalKernelError("Kernel execution failed", "particleSystem", 7, "invalid argument"),
              testing::ExitedWithCode(1),
              "^Cuda error: Kernel execution failed in file 'particleSystem' in line 7 : invalid argument\\.\n$");
}

// The program refuses to run without a device and warns when the driver is
// older than the runtime; the CPU back-end's stand-in must pass both checks
// and let every launch through, or the CPU program could never solve.
TEST(Device, CpuBackEndPassesTheProgramsDeviceChecks) {
  EXPECT_GT(DeviceCount(), 0);
  int driver = -1, runtime = -1;
  DriverAndRuntimeVersions(&driver, &runtime);
  EXPECT_GT(runtime, 0);
  EXPECT_GE(driver, runtime);
  EXPECT_EXIT(
      {
        CheckLaunch("Kernel execution failed", "particleSystem", 1);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "^$");
}
