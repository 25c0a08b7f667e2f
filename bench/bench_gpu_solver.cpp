// vorel-bench gpu-solver [--particles N] [--frames F] [--backend cpu|cuda] [--out DIR]
// Writes a cache directory with a block of N fill particles (default
// 100,000) inside a static box collider, runs the Vorel_solver program on it
// for F frames (default 30) and reports the wall time and particle-steps per
// second. The program is looked up next to vorel-bench's build folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// Starts the solver as a child that ends with its starter: a benchmark that
// is killed must not leave a solver running for minutes. Its output goes to
// log; answers the wait status, or -1 when it could not be started.
int RunSolver(const std::string& exe, const std::string& cacheDir, int frames, const std::string& log) {
  const pid_t parent = ::getpid();
  const std::string frameArg = std::to_string(frames);
  // Everything the child needs is made before the fork: a child of a process
  // with threads may only make async-signal-safe calls (no allocation).
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) envText.emplace_back(*e);
  envText.push_back("XDG_RUNTIME_DIR=" + cacheDir);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  const char* argv[] = {exe.c_str(), "-cacheDir", cacheDir.c_str(), "-maxFrames", frameArg.c_str(), nullptr};
  const pid_t pid = ::fork();
  if (pid < 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  if (pid == 0) {
    // SIGTERM is the solver's STOP: it ends after a whole frame.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the starter died before the line above
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
    }
    ::execve(exe.c_str(), const_cast<char* const*>(argv), envp.data());
    ::_exit(127);
  }
  if (fd >= 0) ::close(fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
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
  const auto t0 = std::chrono::steady_clock::now();
  const int status = RunSolver(exe, out, frames, log);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  long long steps = 0;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Simulation steps: ", 0) == 0) steps = std::atoll(line.c_str() + 18);
  const int64_t n = vorel_gpu::SampleParticleCount(scene);
  vorel_bench::Print("gpu_solver_backend", backend);
  vorel_bench::Print("gpu_solver_exit_code", status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  vorel_bench::Print("gpu_solver_particles", double(n));
  vorel_bench::Print("gpu_solver_frames", frames);
  vorel_bench::Print("gpu_solver_steps", double(steps));
  vorel_bench::Print("gpu_solver_wall_s", wall);
  vorel_bench::Print("gpu_solver_particle_steps_per_s", wall > 0 ? double(n) * double(steps) / wall : 0.0);
  if (!keep) {
    std::error_code ec;
    std::filesystem::remove_all(out, ec);
  }
}

}  // namespace

VOREL_BENCH("gpu-solver", RunGpuSolverBench);
