// What the program asks of the compute device, with one implementation per
// back-end: the CUDA runtime (cuda/device_cuda.cu) or the CPU stand-in
// (device_cpu.cpp), which reports one device whose driver matches its runtime.
#pragma once
#include <cstdint>

namespace vorel_gpu {

// "cpu" or "cuda".
const char* BackendName();

// Number of devices; a failing runtime call takes the fatal path.
int DeviceCount();
void DriverAndRuntimeVersions(int* driver, int* runtime);
// Compute capability major number of device 0, queried once.
int DeviceMajor();

// After a group of kernel launches: reports a launch failure through
// FatalKernelError. Nothing to check on the CPU back-end.
void CheckLaunch(const char* label, const char* file, int line);

// Prints "Cuda error in file '%s' in line %i : %s.\n" on stderr, exits 1.
[[noreturn]] void FatalCudaError(const char* file, int line, const char* text);
// Prints "Cuda error: %s in file '%s' in line %i : %s.\n" on stderr, exits 1.
[[noreturn]] void FatalKernelError(const char* label, const char* file, int line, const char* text);

}  // namespace vorel_gpu
