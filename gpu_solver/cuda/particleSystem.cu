// The CUDA build of the host side: the same source as the CPU back-end,
// compiled by nvcc so that Thrust and the kernel launches target the device.
#include "gpu_solver/particleSystem.cpp"
