// The fatal-error reports: exact text on stderr and exit code 1, which the
// front-end and the logs rely on; and the CPU back-end's device stand-in,
// which must never send a run down that path.
#include <gtest/gtest.h>

#include "gpu_solver/device.h"

using namespace vorel_gpu;

TEST(DeviceDeathTest, FatalReportsPrintTheirExactTextAndExitWithOne) {
  EXPECT_EXIT(FatalCudaError("particleSystem", 42, "out of memory"), testing::ExitedWithCode(1),
              "^Cuda error in file 'particleSystem' in line 42 : out of memory\\.\n$");
  EXPECT_EXIT(FatalKernelError("Kernel execution failed", "particleSystem", 7, "invalid argument"),
              testing::ExitedWithCode(1),
              "^Cuda error: Kernel execution failed in file 'particleSystem' in line 7 : invalid argument\\.\n$");
}

TEST(Device, CpuBackEndReportsOneCurrentDevice) {
  EXPECT_STREQ(BackendName(), "cpu");
  EXPECT_EQ(DeviceCount(), 1);
  int driver = 0, runtime = 1;
  DriverAndRuntimeVersions(&driver, &runtime);
  EXPECT_GE(driver, runtime);
  EXPECT_GE(DeviceMajor(), 2);
  CheckLaunch("Kernel execution failed", "particleSystem", 1);  // never fails here
}
