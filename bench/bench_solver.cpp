// vorel-bench solver [--particles N] [--threads T] [--frames F] [--repeats R] [--out DIR]
//                    [--impact-seconds S] [--impact-repeats Q]
// A dam-break block of liquid falling into a box collider, stepped frame by
// frame with the sub-steps the particles allow; run on one thread and on T
// threads in turn, R times each (same scene, same result), and reported as
// the medians of the runs, so that a burst of load on a shared machine
// weighs on both sides alike. F frames of free fall are timed first; then
// the same block is solved from rest through its impact on the floor and
// the tank's walls (S simulated seconds, Q runs a side), which is what a
// shot with collisions costs per simulated second.
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
  double impactSeconds = 0.6;
  int impactRepeats = 1;
  std::string out;
};

Options ReadOptions() {
  Options o;
  o.particles = std::max(1L, vorel_bench::OptionLong("particles", 100000));
  o.threads = int(std::max(1L, vorel_bench::OptionLong("threads", omp_get_max_threads())));
  o.frames = int(std::max(1L, vorel_bench::OptionLong("frames", 3)));
  o.repeats = int(std::min(99L, std::max(1L, vorel_bench::OptionLong("repeats", 3))));
  o.impactSeconds = std::min(60.0, std::max(0.0, vorel_bench::OptionDouble("impact-seconds", 0.6)));
  if (!std::isfinite(o.impactSeconds)) o.impactSeconds = 0.0;
  o.impactRepeats = int(std::min(99L, std::max(1L, vorel_bench::OptionLong("impact-repeats", 1))));
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
  // Of the partners in reach at each frame end, the share that the pair
  // lists hold (-1: not measured); and how far the front got along the tank.
  std::vector<double> pairShares;
  double frontReach = 0.0;
  double simulated = 0.0;  // seconds of the timed frames
};

// At the step's end, the pairs of live particles within reach (closer than
// the sum of their spacings, the pair kernel's range) and how many of them
// the pair lists hold (in either partner's list). Integer counts, so any
// thread count gives the same share.
double PairShare(const FluidSolver& solver) {
  const int n = solver.count;
  float reach = 0.0f;
  for (int i = 0; i < n; ++i)
    if (!solver.particles[size_t(i)].dead) reach = std::max(reach, 2.0f * solver.particles[size_t(i)].spacing);
  if (n == 0 || !(reach > 0.0f)) return 1.0;
  // Particles sorted by cell (cells of the largest reach), each cell's
  // members contiguous; a partner in reach lies in one of the 27 cells.
  const float inv = 1.0f / reach;
  auto cellOf = [&](const Vec3f& p) {
    auto c = [&](float v) { return uint64_t(int64_t(std::floor(v * inv)) + (1 << 20)) & 0x1FFFFF; };
    return (c(p.z) << 42) | (c(p.y) << 21) | c(p.x);
  };
  std::vector<std::pair<uint64_t, int>> order;
  order.reserve(size_t(n));
  for (int i = 0; i < n; ++i)
    if (!solver.particles[size_t(i)].dead) order.emplace_back(cellOf(solver.particles[size_t(i)].pos), i);
  std::sort(order.begin(), order.end());
  std::vector<uint64_t> keys(order.size());
  for (size_t k = 0; k < order.size(); ++k) keys[k] = order[k].first;
  // Each list sorted, for the look-ups.
  std::vector<int64_t> start(size_t(n) + 1, 0);
  for (int i = 0; i < n; ++i) start[size_t(i) + 1] = start[size_t(i)] + solver.PairCount(i);
  std::vector<int32_t> lists(size_t(start[size_t(n)]));
#pragma omp parallel for schedule(dynamic, 1024)
  for (int i = 0; i < n; ++i) {
    const int32_t* l = solver.PairList(i);
    if (!l) continue;
    std::copy(l, l + solver.PairCount(i), lists.begin() + start[size_t(i)]);
    std::sort(lists.begin() + start[size_t(i)], lists.begin() + start[size_t(i) + 1]);
  }
  auto listed = [&](int a, int b) {
    return std::binary_search(lists.begin() + start[size_t(a)], lists.begin() + start[size_t(a) + 1], b);
  };
  long long inReach = 0, held = 0;
  const long long m = (long long)order.size();
#pragma omp parallel for schedule(dynamic, 1024) reduction(+ : inReach, held)
  for (long long k = 0; k < m; ++k) {
    const int a = order[size_t(k)].second;
    const FluidParticle& A = solver.particles[size_t(a)];
    const uint64_t key = order[size_t(k)].first;
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const uint64_t other = key + (uint64_t(int64_t(dz)) << 42) + (uint64_t(int64_t(dy)) << 21) + uint64_t(int64_t(dx));
          auto lo = std::lower_bound(keys.begin(), keys.end(), other);
          for (auto it = lo; it != keys.end() && *it == other; ++it) {
            const int b = order[size_t(it - keys.begin())].second;
            if (b <= a) continue;  // each pair once
            const FluidParticle& B = solver.particles[size_t(b)];
            const Vec3f d = A.pos - B.pos;
            if (!(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) < A.spacing + B.spacing)) continue;
            ++inReach;
            if (listed(a, b) || listed(b, a)) ++held;
          }
        }
  }
  return inReach > 0 ? double(held) / double(inReach) : 1.0;
}

double CpuSeconds() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// `impact`: solve from rest for o.impactSeconds, every frame timed;
// otherwise one warm-up frame and o.frames timed frames of free fall.
// `shares`: measure the pair lists' share at every frame end (untimed).
RunResult Run(const Options& o, int threads, bool writeFrames, bool impact = false, bool shares = false) {
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
  // list, which costs page faults rather than solver work. Through the
  // impact every frame counts, as it does for a user.
  const int lastFrame = impact ? std::max(1, int(std::ceil(o.impactSeconds / frameLength - 1e-6))) : o.frames + 1;
  for (int f = 1; f <= lastFrame; ++f) {
    if (f == 2 && !impact) {
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
    if (shares && (impact || f >= 2)) {
      auto w0 = std::chrono::steady_clock::now();
      const double c0 = CpuSeconds();
      r.pairShares.push_back(PairShare(solver));
      t0 += std::chrono::steady_clock::now() - w0;  // measuring is not stepping
      cpu0 += CpuSeconds() - c0;
    }
  }
  r.simulated = double(clock) - (impact ? 0.0 : double(frameLength));
  float front = 0.0f;
  for (int i = 0; i < solver.count; ++i)
    if (!solver.particles[size_t(i)].dead) front = std::max(front, solver.particles[size_t(i)].pos.x);
  r.frontReach = double(front) / double(hi.x);
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

// The mean and the least of the shares at the frame ends.
void PrintShares(const std::string& prefix, const std::vector<double>& shares) {
  if (shares.empty()) return;
  double sum = 0.0, least = 1.0;
  for (double v : shares) {
    sum += v;
    least = std::min(least, v);
  }
  vorel_bench::Print(prefix + "pair_share_frame_end_mean", sum / double(shares.size()));
  vorel_bench::Print(prefix + "pair_share_frame_end_min", least);
}

// Each run's phase seconds, "_1thread" marking the one-thread run's; the
// emission phase where the run emits.
void PrintPhases(const std::string& prefix, const RunResult& one, const RunResult& all, bool withEmit) {
  for (const RunResult* r : {&one, &all}) {
    const std::string tag = r == &one ? "_1thread" : "";
    if (withEmit) vorel_bench::Print(prefix + "phase_emit_s" + tag, r->phases.emit);
    vorel_bench::Print(prefix + "phase_grid_s" + tag, r->phases.grid);
    vorel_bench::Print(prefix + "phase_pairs_s" + tag, r->phases.pairs);
    vorel_bench::Print(prefix + "phase_forces_s" + tag, r->phases.forces);
    vorel_bench::Print(prefix + "phase_collide_s" + tag, r->phases.collide);
  }
}

// The block from rest through its impact, one thread and T in turn.
void RunImpact(const Options& o) {
  using vorel_bench::Print;
  const double loadStart = LoadAverage();
  std::vector<RunResult> ones, alls;
  for (int k = 0; k < o.impactRepeats; ++k) {
    ones.push_back(Run(o, 1, false, true));
    alls.push_back(Run(o, o.threads, false, true, k == 0));
  }
  const double loadEnd = LoadAverage();
  const bool same = AllAlike(ones, ones[0]) && AllAlike(alls, ones[0]);
  const RunResult& one = Median(ones);
  const RunResult& all = Median(alls);
  const double sim = all.simulated;
  const double steps = double(o.particles) * double(all.substeps);
  Print("impact_simulated_s", sim);
  Print("impact_repeats", o.impactRepeats);
  Print("impact_substeps", double(all.substeps));
  Print("impact_substeps_per_simulated_s", double(all.substeps) / sim);
  Print("impact_wall_s_per_simulated_s", all.wall / sim);
  Print("impact_wall_s_per_simulated_s_1thread", one.wall / sim);
  Print("impact_particle_steps_per_s", steps / all.wall);
  Print("impact_particle_steps_per_s_1thread", steps / one.wall);
  Print("impact_speedup", one.wall / all.wall);
  Print("impact_cpu_s", all.cpu);
  Print("impact_cpu_s_1thread", one.cpu);
  PrintShares("impact_", all.pairShares);
  // The front's farthest x over the tank's inner length: 1 is the far wall.
  Print("impact_front_reach", all.frontReach);
  Print("impact_same_result_1_and_all_threads", same ? 1 : 0);
  PrintPhases("impact_", one, all, true);
  Print("impact_load_average_start", loadStart);
  Print("impact_load_average_end", loadEnd);
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
    alls.push_back(Run(o, o.threads, !o.out.empty() && k + 1 == o.repeats, false, k == 0));
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
  PrintPhases("", one, all, false);
  PrintShares("", alls[0].pairShares);
  if (o.impactSeconds > 0.0) RunImpact(o);
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
