// Tests of the CUDA back-end. Those that need a device skip, visibly, on a
// machine without one; the no-device path itself is checked there instead.
#include <gtest/gtest.h>

#include <cuda_runtime.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "gpu_solver/radixsort.h"
#include "gpu_solver/sample_scene.h"
#include "gpu_solver/solver_formats.h"
#include "../test_support.h"

using namespace vorel_gpu;

namespace {

bool HaveDevice(std::string* why) {
  int n = 0;
  cudaError_t e = cudaGetDeviceCount(&n);
  if (e != cudaSuccess) {
    *why = cudaGetErrorString(e);
    return false;
  }
  if (n == 0) *why = "no CUDA device";
  return n > 0;
}

#define REQUIRE_DEVICE()                                      \
  do {                                                        \
    std::string why_;                                         \
    if (!HaveDevice(&why_)) GTEST_SKIP() << "no GPU: " << why_; \
  } while (0)

// Runs a solver program; returns its exit code, with stderr in *err.
int RunProgram(const std::string& exe, const std::string& args, const std::string& errFile, std::string* err) {
  // A private runtime folder keeps these runs apart from any other solver.
  const std::string runtime = errFile + ".runtime";
  ::mkdir(runtime.c_str(), 0700);
  const int status = std::system(
      ("XDG_RUNTIME_DIR='" + runtime + "' " + exe + " " + args + " >/dev/null 2>'" + errFile + "'").c_str());
  std::ifstream in(errFile);
  std::stringstream s;
  s << in.rdbuf();
  *err = s.str();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(CudaBackend, WithoutADeviceTheProgramEndsThroughTheFatalPath) {
  std::string why;
  if (HaveDevice(&why)) GTEST_SKIP() << "a GPU is present";
  vorel_gpu_test::ScratchDir d("cuda_nodevice");
  ASSERT_TRUE(WriteSampleCache(d / "cache", SampleScene()));
  std::string err;
  const std::string args = "-cacheDir '" + d / "cache" + "' -maxFrames 1";
  EXPECT_EQ(RunProgram(VOREL_SOLVER_CUDA_EXE, args, d / "err", &err), 1);
  EXPECT_EQ(err.rfind("Cuda error in file '", 0), 0u) << err;
  EXPECT_NE(err.find("' in line "), std::string::npos) << err;
  EXPECT_FALSE(vorel_gpu_test::Exists(FrameFilePath(d / "cache", 1)));
  std::printf("%s", err.c_str());
}

TEST(CudaBackend, DeviceRadixSortMatchesStableSort) {
  REQUIRE_DEVICE();
  for (uint32_t n : {1u, 3072u, 3073u, 100000u}) {
    std::mt19937 rng(n);
    std::vector<KeyValuePair> in(n);
    for (uint32_t i = 0; i < n; ++i) in[i] = {rng() % 3 == 0 ? kNumCells : uint32_t(rng() % 5000), i};
    std::vector<KeyValuePair> want = in;
    std::stable_sort(want.begin(), want.end(), [](auto a, auto b) { return a.key < b.key; });
    KeyValuePair *data = nullptr, *buffer = nullptr;
    ASSERT_EQ(cudaMalloc(&data, n * sizeof(KeyValuePair)), cudaSuccess);
    ASSERT_EQ(cudaMalloc(&buffer, n * sizeof(KeyValuePair)), cudaSuccess);
    cudaMemcpy(data, in.data(), n * sizeof(KeyValuePair), cudaMemcpyHostToDevice);
    SortParticleHashes(data, buffer, n, 32);
    std::vector<KeyValuePair> got(n);
    ASSERT_EQ(cudaMemcpy(got.data(), data, n * sizeof(KeyValuePair), cudaMemcpyDeviceToHost), cudaSuccess);
    cudaFree(data);
    cudaFree(buffer);
    for (uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(got[i].key, want[i].key) << n << " " << i;
      ASSERT_EQ(got[i].value, want[i].value) << n << " " << i;
    }
  }
}

// A few steps on both back-ends from the same inputs: positions agree to
// within float rounding differences (the device fuses multiply-adds).
TEST(CudaBackend, FramesMatchTheCpuBackEnd) {
  REQUIRE_DEVICE();
  vorel_gpu_test::ScratchDir d("cuda_match");
  SampleScene scene;
  scene.nx = scene.ny = scene.nz = 12;
  scene.frames = 2;
  scene.ticksPerFrame = 10;
  std::string err;
  for (const char* which : {"cpu", "cuda"}) {
    const std::string cache = d / which;
    ASSERT_TRUE(WriteSampleCache(cache, scene));
    const std::string exe = std::string(which) == "cpu" ? VOREL_SOLVER_EXE : VOREL_SOLVER_CUDA_EXE;
    ASSERT_EQ(RunProgram(exe, "-cacheDir '" + cache + "' -maxFrames 1 -frameRate 480", d / "err", &err), 0) << err;
  }
  vorel_gpu_test::Frame a, b;
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d / "cpu", 1), &a));
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(d / "cuda", 1), &b));
  ASSERT_EQ(a.count, b.count);
  float worst = 0;
  for (size_t i = 0; i < a.pos.size(); ++i) {
    ASSERT_EQ(a.ids[i], b.ids[i]);
    worst = std::max({worst, std::fabs(a.pos[i].x - b.pos[i].x), std::fabs(a.pos[i].y - b.pos[i].y),
                      std::fabs(a.pos[i].z - b.pos[i].z)});
  }
  EXPECT_LT(worst, 1e-4f);
  std::printf("largest position difference CPU vs CUDA after one frame: %g\n", worst);
}
