// vorel-compare-backends [frames] [side]: solves one sample cache (a fill
// block of side^3 particles in a box collider) with the CPU and the CUDA
// solver programs, then prints for each frame the largest difference of a
// particle position between the two, and each back-end's particle-steps per
// second. Exit code 1 when a program fails or the frames do not pair up.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gpu_solver/sample_scene.h"
#include "gpu_solver/solver_formats.h"

namespace {

using vorel_gpu::Vec3f;

struct Frame {
  int32_t count = -1;
  std::vector<int32_t> ids;
  std::vector<Vec3f> pos;
};

// A whole solver frame (272-byte start, ids, positions, velocities).
bool ReadFrame(const std::string& path, Frame* f) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  int32_t head[4];
  bool ok = std::fread(head, 4, 4, in) == 4 && head[2] >= 0 && std::fseek(in, 272, SEEK_SET) == 0;
  if (ok) {
    f->count = head[2];
    f->ids.resize(size_t(f->count));
    f->pos.resize(size_t(f->count));
    ok = f->count == 0 || (std::fread(f->ids.data(), 4, f->ids.size(), in) == f->ids.size() &&
                           std::fread(f->pos.data(), 12, f->pos.size(), in) == f->pos.size());
  }
  std::fclose(in);
  return ok;
}

struct Run {
  int code = -1;
  double seconds = 0;
  long long steps = 0;
};

// Runs one program on the cache; its output goes to <cache>.out.
Run Solve(const std::string& exe, const std::string& cache, int frames) {
  const std::string out = cache + ".out";
  const std::string line = "XDG_RUNTIME_DIR='" + cache + ".run' '" + exe + "' -cacheDir '" + cache +
                           "' -maxFrames " + std::to_string(frames) + " >'" + out + "' 2>&1";
  std::system(("mkdir -p -m 700 '" + cache + ".run'").c_str());
  Run r;
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(line.c_str());
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (std::FILE* f = std::fopen(out.c_str(), "r")) {
    char text[512];
    while (std::fgets(text, sizeof text, f)) std::sscanf(text, "Simulation steps: %lld", &r.steps);
    std::fclose(f);
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int side = argc > 2 ? std::max(2, std::atoi(argv[2])) : 30;
  char folder[] = "/tmp/vorel-compare-XXXXXX";
  if (!::mkdtemp(folder)) {
    std::perror("mkdtemp");
    return 1;
  }
  vorel_gpu::SampleScene scene;
  scene.nx = scene.ny = scene.nz = side;
  scene.boxMax[0] = scene.boxMax[1] = scene.boxMax[2] = 1.0f + side * scene.spacing / scene.resolution * 2.0f;
  scene.frames = frames;
  const int64_t particles = vorel_gpu::SampleParticleCount(scene);
  const struct {
    const char* name;
    const char* exe;
  } backs[] = {{"cpu", VOREL_SOLVER_EXE}, {"cuda", VOREL_SOLVER_CUDA_EXE}};
  Run runs[2];
  for (int b = 0; b < 2; ++b) {
    const std::string cache = std::string(folder) + "/" + backs[b].name;
    if (!vorel_gpu::WriteSampleCache(cache, scene)) {
      std::fprintf(stderr, "cannot write the sample cache %s\n", cache.c_str());
      return 1;
    }
    runs[b] = Solve(backs[b].exe, cache, frames);
    if (runs[b].code != 0) {
      std::fprintf(stderr, "%s back-end failed (exit %d); its output is in %s.out\n", backs[b].name, runs[b].code,
                   cache.c_str());
      return 1;
    }
  }
  int status = 0;
  for (int f = 1; f <= frames; ++f) {
    Frame a, c;
    if (!ReadFrame(vorel_gpu::FrameFilePath(std::string(folder) + "/cpu", f), &a) ||
        !ReadFrame(vorel_gpu::FrameFilePath(std::string(folder) + "/cuda", f), &c) || a.count != c.count ||
        a.ids != c.ids) {
      std::printf("frame %d: missing, or the two back-ends hold other particles\n", f);
      status = 1;
      continue;
    }
    float worst = 0.0f;
    for (size_t i = 0; i < a.pos.size(); ++i)
      worst = std::max({worst, std::fabs(a.pos[i].x - c.pos[i].x), std::fabs(a.pos[i].y - c.pos[i].y),
                        std::fabs(a.pos[i].z - c.pos[i].z)});
    std::printf("frame %d: %d particles, largest position difference %g\n", f, a.count, double(worst));
  }
  for (int b = 0; b < 2; ++b)
    std::printf("%s: %lld steps of %lld particles in %.2f s: %.3g particle-steps/s\n", backs[b].name, runs[b].steps,
                (long long)particles, runs[b].seconds, double(runs[b].steps) * double(particles) / runs[b].seconds);
  std::system(("rm -rf '" + std::string(folder) + "'").c_str());
  return status;
}
