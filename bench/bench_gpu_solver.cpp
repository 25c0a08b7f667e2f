// vorel-bench gpu-solver [--particles N] [--frames F] [--backend cpu|cuda] [--out DIR]
// Writes a cache directory with a block of N fill particles (default
// 100,000) inside a static box collider, runs the Vorel_solver program on it
// for F frames (default 30) and reports the wall time and particle-steps per
// second. The program is looked up next to vorel-bench's build folder.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "gpu_solver/sample_scene.h"

namespace {

std::string SelfDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, size_t(n));
  return p.substr(0, p.find_last_of('/'));
}

void RunGpuSolverBench() {
  const int64_t particles = vorel_bench::OptionLong("particles", 100000);
  const int frames = int(vorel_bench::OptionLong("frames", 30));
  const std::string backend = vorel_bench::Option("backend", "cpu");
  std::string out = vorel_bench::Option("out", "");
  const std::string exe =
      SelfDir() + "/../gpu_solver/" + (backend == "cuda" ? "Vorel_solver_cuda" : "Vorel_solver");
  if (::access(exe.c_str(), X_OK) != 0) {
    vorel_bench::Print("gpu_solver_error", "program not built: " + exe);
    return;
  }
  const bool keep = !out.empty();
  if (!keep) out = "/tmp/vorel-bench-gpu-solver." + std::to_string(::getpid());

  // A block nx * nx * nz of particles at 1.1 radii, in a box with room to
  // spread, falling onto the box floor.
  vorel_gpu::SampleScene scene;
  scene.nx = scene.ny = std::max(1, int(std::lround(std::cbrt(double(std::max<int64_t>(particles, 1)) * 2.0))));
  scene.nz = int(std::max<int64_t>(1, (particles + int64_t(scene.nx) * scene.ny - 1) / (int64_t(scene.nx) * scene.ny)));
  const float step = scene.spacing / scene.resolution;
  const float side = scene.nx * step + 2.0f;
  scene.boxMax[0] = scene.boxMax[1] = side;
  scene.boxMax[2] = scene.nz * step + 2.0f;
  scene.fillMin[0] = scene.fillMin[1] = 1.0f;
  scene.fillMin[2] = 0.3f;
  scene.frames = frames;
  if (!vorel_gpu::WriteSampleCache(out, scene)) {
    vorel_bench::Print("gpu_solver_error", "cannot write " + out);
    return;
  }
  const std::string log = out + "/bench.log";
  const std::string cmd = "XDG_RUNTIME_DIR='" + out + "' '" + exe + "' -cacheDir '" + out + "' -maxFrames " +
                          std::to_string(frames) + " > '" + log + "' 2>&1";
  const auto t0 = std::chrono::steady_clock::now();
  const int status = std::system(cmd.c_str());
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  long long steps = 0;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Simulation steps: ", 0) == 0) steps = std::atoll(line.c_str() + 18);
  const int64_t n = vorel_gpu::SampleParticleCount(scene);
  vorel_bench::Print("gpu_solver_backend", backend);
  vorel_bench::Print("gpu_solver_exit_code", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  vorel_bench::Print("gpu_solver_particles", double(n));
  vorel_bench::Print("gpu_solver_frames", frames);
  vorel_bench::Print("gpu_solver_steps", double(steps));
  vorel_bench::Print("gpu_solver_wall_s", wall);
  vorel_bench::Print("gpu_solver_particle_steps_per_s", wall > 0 ? double(n) * double(steps) / wall : 0.0);
  if (!keep) std::system(("rm -rf '" + out + "'").c_str());
}

}  // namespace

VOREL_BENCH("gpu-solver", RunGpuSolverBench);
