// vorel-bench solver [--particles N] [--threads T] [--frames F] [--repeats R] [--out DIR]
// A dam-break block of liquid falling into a box collider, stepped frame by
// frame with the sub-steps the particles allow; run on one thread and on T
// threads in turn, R times each (same scene, same result), and reported as
// the medians of the runs, so that a burst of load on a shared machine
// weighs on both sides alike.
#include <omp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"
#include "host/core/files.h"

namespace {

struct Options {
  long particles = 100000;
  int threads = 0;
  int frames = 3;
  int repeats = 3;
  std::string out;
};

Options ReadOptions() {
  Options o;
  o.particles = std::max(1L, vorel_bench::OptionLong("particles", 100000));
  o.threads = int(std::max(1L, vorel_bench::OptionLong("threads", omp_get_max_threads())));
  o.frames = int(std::max(1L, vorel_bench::OptionLong("frames", 3)));
  o.repeats = int(std::min(99L, std::max(1L, vorel_bench::OptionLong("repeats", 3))));
  o.out = vorel_bench::Option("out", "");
  return o;
}

// A closed box whose faces point inward.
ColliderMesh* MakeBox(const Vec3f& lo, const Vec3f& hi, float margin) {
  ColliderMesh* m = new ColliderMesh();
  for (int c = 0; c < 8; ++c)
    m->mesh.vertices.emplace_back((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z);
  // Each side as two triangles wound so the normal faces the inside.
  const int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                           {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  for (const auto& q : quads) {
    m->mesh.faces.push_back({q[0], q[1], q[2]});
    m->mesh.faces.push_back({q[0], q[2], q[3]});
  }
  m->ComputeFaceData(margin);
  m->bounce = 20.0f;
  m->friction = 5.0f;
  m->collisionGap = 0.01f;
  m->adherence = 0.0f;
  return m;
}

struct RunResult {
  double wall = 0.0;
  double cpu = 0.0;  // process CPU seconds of the timed frames, all threads
  long substeps = 0;
  int live = 0;
  double checksum = 0.0;
  FluidSolver::PhaseSeconds phases;  // of the timed frames
};

double CpuSeconds() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

RunResult Run(const Options& o, int threads, bool writeFrames) {
  omp_set_num_threads(threads);
  const float lod = 10.0f;  // spacing 0.1
  const float s = 1.0f / lod;
  const float frameLength = 160.0f / 4800.0f;
  FluidSolver solver(double(lod) * lod * lod, 1000.0f, frameLength);
  solver.AddSource(Vec3f());
  solver.sources[0]->spacing = s;
  solver.stamp = 1;

  // Block proportions 5 : 4 : 5 in the corner of a box twice as long.
  const double unit = std::cbrt(double(o.particles) / 100.0);
  const int nx = std::max(1, int(std::lround(5 * unit)));
  const int ny = std::max(1, int(std::lround(4 * unit)));
  const int nz = std::max(1, int((o.particles + nx * ny - 1) / (nx * ny)));
  const float a = s * 0.95f;
  std::vector<Vec3f> pts;
  pts.reserve(size_t(nx) * ny * nz);
  for (int k = 0; k < nz && (long)pts.size() < o.particles; ++k)
    for (int j = 0; j < ny && (long)pts.size() < o.particles; ++j)
      for (int i = 0; i < nx && (long)pts.size() < o.particles; ++i)
        pts.emplace_back(0.2f + i * a, 0.2f + j * a, 0.5f + k * a);
  solver.AddParticles(lod, 0, pts, int(pts.size()), 0.0f, 0, 1);
  const Vec3f lo(0.0f, 0.0f, 0.0f);
  const Vec3f hi(0.4f + 2.2f * nx * a, 0.4f + ny * a, 1.0f + 1.5f * nz * a);
  solver.colliders.push_back(MakeBox(lo, hi, 1.3333f * s));
  solver.domainMin = Vec3f(-1.0f, -1.0f, -1.0f);
  solver.domainMax = hi + Vec3f(1.0f, 1.0f, 1.0f);
  if (writeFrames) {
    vorel::host::MakeDirectories(o.out);
    solver.frameCache.folderOverride = o.out + "/";
    solver.WriteFrame(0);
  }

  std::vector<Vec3f> forces;
  const float gravity = 20.1f;
  RunResult r;
  float clock = 0.0f;
  auto t0 = std::chrono::steady_clock::now();
  double cpu0 = CpuSeconds();
  // Frame 1 is a warm-up: the first pair build allocates every neighbour
  // list, which costs page faults rather than solver work.
  for (int f = 1; f <= o.frames + 1; ++f) {
    if (f == 2) {
      t0 = std::chrono::steady_clock::now();
      cpu0 = CpuSeconds();
      r.substeps = 0;
      solver.phaseSeconds = FluidSolver::PhaseSeconds();
    }
    const float target = f * frameLength;
    bool first = true;
    while (clock < target) {
      float len = solver.count > 0 ? solver.MaxStableStep() : frameLength * 0.5f;
      if (clock + len > target) len = target - clock;
      solver.Step(clock, clock + len, forces, gravity, false, first);
      clock += len;
      first = false;
      ++r.substeps;
    }
    solver.AgeParticles();
    if (writeFrames) {
      auto w0 = std::chrono::steady_clock::now();
      const double c0 = CpuSeconds();
      solver.WriteFrame(f);
      t0 += std::chrono::steady_clock::now() - w0;  // file writing is not stepping
      cpu0 += CpuSeconds() - c0;
    }
  }
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.cpu = CpuSeconds() - cpu0;
  r.phases = solver.phaseSeconds;
  r.live = solver.LiveCount();
  for (int i = 0; i < solver.count; ++i)
    r.checksum += double(solver.particles[i].pos.x) + 3.0 * solver.particles[i].pos.z;
  return r;
}

// Passive OpenMP waits for this area (see RestartWithPassiveWaitsFor).
const bool kPassiveWait = vorel_bench::RestartWithPassiveWaitsFor("solver");

// The one-minute load average: the machine is shared, so every figure comes
// with the load it was taken under.
double LoadAverage() {
  double load[1] = {-1.0};
  return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

// The run of median wall time (the first of two middle ones).
const RunResult& Median(std::vector<RunResult>& runs) {
  std::vector<const RunResult*> order;
  for (const RunResult& r : runs) order.push_back(&r);
  std::sort(order.begin(), order.end(), [](const RunResult* a, const RunResult* b) { return a->wall < b->wall; });
  return *order[(order.size() - 1) / 2];
}

bool AllAlike(const std::vector<RunResult>& runs, const RunResult& first) {
  for (const RunResult& r : runs)
    if (r.checksum != first.checksum || r.substeps != first.substeps) return false;
  return true;
}

}  // namespace

VOREL_BENCH("solver", [] {
  using vorel_bench::Print;
  const Options o = ReadOptions();
  solver_host::SetAbortTest([] { return false; });
  const double loadStart = LoadAverage();
  const vorel_bench::CoreCapacity coresStart = vorel_bench::MeasureCores(o.threads);
  std::vector<RunResult> ones;
  std::vector<RunResult> alls;
  for (int k = 0; k < o.repeats; ++k) {
    ones.push_back(Run(o, 1, false));
    alls.push_back(Run(o, o.threads, !o.out.empty() && k + 1 == o.repeats));
  }
  const double loadEnd = LoadAverage();
  const vorel_bench::CoreCapacity coresEnd = vorel_bench::MeasureCores(o.threads);
  const bool same = AllAlike(ones, ones[0]) && AllAlike(alls, ones[0]);
  const RunResult& one = Median(ones);
  const RunResult& all = Median(alls);
  const double steps1 = double(o.particles) * one.substeps;
  const double stepsT = double(o.particles) * all.substeps;
  Print("particles", double(o.particles));
  Print("threads", o.threads);
  Print("frames", o.frames);
  Print("warmup_frames", 1);
  Print("repeats", o.repeats);
  Print("substeps", double(all.substeps));
  Print("wall_s", all.wall);
  Print("particle_steps_per_s", stepsT / all.wall);
  Print("per_thread_particle_steps_per_s", stepsT / all.wall / o.threads);
  Print("wall_s_1thread", one.wall);
  Print("particle_steps_per_s_1thread", steps1 / one.wall);
  Print("speedup", (stepsT / all.wall) / (steps1 / one.wall));
  // CPU seconds over all threads: more than the one-thread run's is work
  // the threads add (waits, duplicated passes), not load on the machine.
  Print("cpu_s", all.cpu);
  Print("cpu_s_1thread", one.cpu);
  Print("live_particles", all.live);
  Print("same_result_1_and_all_threads", same ? 1 : 0);
  // Where the steps' time goes, per run: grid, pairs and densities,
  // pressures and forces, collisions with friction and integration.
  for (const RunResult* r : {&one, &all}) {
    const std::string tag = r == &one ? "_1thread" : "";
    Print("phase_grid_s" + tag, r->phases.grid);
    Print("phase_pairs_s" + tag, r->phases.pairs);
    Print("phase_forces_s" + tag, r->phases.forces);
    Print("phase_collide_s" + tag, r->phases.collide);
  }
  Print("peak_rss_mb", vorel_bench::PeakRssMb());
  Print("load_average_start", loadStart);
  Print("load_average_end", loadEnd);
  Print("cores_slowest_speedup_start", coresStart.slowest);
  Print("cores_capacity_start", coresStart.capacity);
  Print("cores_slowest_speedup_end", coresEnd.slowest);
  Print("cores_capacity_end", coresEnd.capacity);
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  Print("omp_wait_policy", policy ? policy : "default");
  if (!o.out.empty()) Print("out", o.out);
});
