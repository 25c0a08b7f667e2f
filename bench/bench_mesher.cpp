// vorel-bench mesher [--particles N] [--threads T] [--rounds K] [--out DIR]:
// meshes a generated dam-break block with a splash in K rounds, each on T
// threads and on one, every run followed by OpenVDB's particle meshing on as
// many threads where it is installed, and prints the times, CPU times and
// ratios, the time per phase, a hash of the mesh, peak memory, the topology
// of the result and the load average at the start and the end; then the
// times of packed particles (all at one point, all in one grid cell) beside
// the same counts spread out.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <omp.h>

#ifdef VOREL_HAVE_OPENVDB
#include <openvdb/openvdb.h>
#include <openvdb/tools/ParticlesToLevelSet.h>
#include <openvdb/tools/VolumeToMesh.h>
#include <tbb/global_control.h>
#endif

#include "bench/bench.h"
#include "mesher/mesh_check.h"
#include "mesher/surface_builder.h"

namespace {

struct MesherOptions {
  long particles = 100000;
  int threads = 0;
  std::string out;
};

MesherOptions ReadMesherOptions() {
  MesherOptions o;
  o.particles = std::max(1L, vorel_bench::OptionLong("particles", 100000));
  o.threads = int(std::max(1L, vorel_bench::OptionLong("threads", omp_get_max_threads())));
  o.out = vorel_bench::Option("out", "");
  return o;
}

// A dam-break-like scene at unit spacing (density 1): four fifths of the
// particles in a jittered block resting on the floor, the rest thrown up as
// a sheet and drops of a few particles each.
std::vector<Point3> DamBreak(long n) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> jitter(-0.15f, 0.15f), u(0.0f, 1.0f);
  std::vector<Point3> pts;
  pts.reserve(size_t(n));
  const long block = n * 4 / 5;
  const int nz = std::max(1, int(std::cbrt(double(block) / 6.0)));
  const int ny = 2 * nz, nx = 3 * nz;
  for (int z = 0; z < nz && long(pts.size()) < block; ++z)
    for (int y = 0; y < ny && long(pts.size()) < block; ++y)
      for (int x = 0; x < nx && long(pts.size()) < block; ++x)
        pts.push_back(Point3(x + jitter(rng), y + jitter(rng), z + jitter(rng)));
  while (long(pts.size()) < n) {
    // A wave front sheet running up the far wall, breaking into drops.
    const float t = u(rng);
    const Point3 c(float(nx) + 2.0f * u(rng), float(ny) * u(rng), float(nz) * (0.5f + 1.5f * t));
    if (u(rng) < 0.5f) {
      pts.push_back(c + Point3(jitter(rng), jitter(rng), jitter(rng)));
      continue;
    }
    const Point3 drop(c.x - 6.0f * u(rng) * t, c.y, c.z + 3.0f * t);
    const int k = 1 + int(u(rng) * 5.0f);
    for (int i = 0; i < k && long(pts.size()) < n; ++i)
      pts.push_back(drop + Point3(0.6f * jitter(rng) * 4, 0.6f * jitter(rng) * 4, 0.6f * jitter(rng) * 4));
  }
  return pts;
}

struct Run {
  double wallMs = 0, cpuMs = 0;
  double buildMb = -1;  // peak memory of the build above what the process held before it
  MesherTimings phases;
  MeshRecord mesh;
};

// User and system time of the whole process so far, in ms.
double ProcessCpuMs() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return 1e3 * double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + 1e-3 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

// The engine's defaults: "Surface LOD" 8, "Melting Force" 4, "Drop Size" 4.
constexpr float kDetail = 3.0f / 9.0f, kMelting = 4.0f, kRadius = 0.4f;

// A line of /proc/self/status ("VmRSS", "VmHWM") in MB, or -1.
double StatusMb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string want = std::string(key) + ":";
  while (std::getline(in, line))
    if (line.rfind(want, 0) == 0) return std::atof(line.c_str() + want.size()) / 1024.0;
  return -1.0;
}

// Starts the process's peak resident memory afresh from what it holds now;
// false where the system does not let it.
bool ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return bool(out);
}

Run Mesh(const std::vector<Point3>& pts, int threads) {
  omp_set_num_threads(threads);
  Run r;
  // OpenVDB's runs in between keep memory in their allocators, which the
  // process's peak counts with ours: the build's own peak is measured from
  // what the process holds before it.
  const double before = ResetPeakMemory() ? StatusMb("VmRSS") : -1.0;
  SurfaceBuilder b(1.0f);
  const double cpu0 = ProcessCpuMs();
  auto t0 = std::chrono::steady_clock::now();
  b.BeginParticles(int32_t(pts.size()), kMelting * kRadius);
  for (const Point3& p : pts) b.AddParticle(p, 0, 1.0f, 0);
  VertexInfluenceLists lists;
  b.Build(kDetail, kMelting, kRadius, 0.5f, 0, 2000, &lists);
  r.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  r.cpuMs = ProcessCpuMs() - cpu0;
  if (before >= 0.0) r.buildMb = StatusMb("VmHWM") - before;
  r.phases = b.polygonizer.timings;
  r.mesh = std::move(b.mesh);
  return r;
}

// FNV-1a over the vertices' bits and the faces, in order: equal figures
// from two builds of the program mean the same mesh.
uint64_t MeshHash(const MeshRecord& m) {
  uint64_t h = 1469598103934665603ull;
  auto bytes = [&](const void* p, size_t n) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
  };
  for (const Point3& v : m.vertices) bytes(&v, sizeof(float) * 3);
  for (const MeshFace& t : m.faces) bytes(&t, sizeof(int32_t) * 3);
  return h;
}

// The 1, 5 and 15 minute load averages: the machine may be shared.
std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return in ? a + " " + b + " " + c : std::string("unknown");
}

#ifdef VOREL_HAVE_OPENVDB
// The particles as OpenVDB's particle list.
struct VdbParticles {
  using PosType = openvdb::Vec3R;
  const std::vector<Point3>* pts;
  openvdb::Real radius;
  size_t size() const { return pts->size(); }
  void getPos(size_t n, openvdb::Vec3R& p) const {
    const Point3& q = (*pts)[n];
    p = openvdb::Vec3R(q.x, q.y, q.z);
  }
  void getPosRad(size_t n, openvdb::Vec3R& p, openvdb::Real& r) const {
    getPos(n, p);
    r = radius;
  }
};

// Particles to a narrow-band level set and that to a mesh, with voxels as
// large as the mesher's lattice cells and spheres about as large as the
// blended blob surface stands out (0.65 h in bulk, bounded below by
// OpenVDB's 1.5-voxel minimum). Returns the wall time in ms.
double OpenVdbMs(const std::vector<Point3>& pts, int threads, float latticeCell, size_t& polys) {
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, size_t(threads));
  VdbParticles list{&pts, std::max(0.65, 1.5 * latticeCell)};
  auto t0 = std::chrono::steady_clock::now();
  auto grid = openvdb::FloatGrid::create(3.0f * latticeCell);
  grid->setTransform(openvdb::math::Transform::createLinearTransform(latticeCell));
  grid->setGridClass(openvdb::GRID_LEVEL_SET);
  openvdb::tools::ParticlesToLevelSet<openvdb::FloatGrid> raster(*grid);
  raster.rasterizeSpheres(list);
  raster.finalize(true);
  std::vector<openvdb::Vec3s> points;
  std::vector<openvdb::Vec3I> tris;
  std::vector<openvdb::Vec4I> quads;
  openvdb::tools::volumeToMesh(*grid, points, tris, quads, 0.0);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  polys = tris.size() + 2 * quads.size();
  return ms;
}
#endif

// Numbers as "%.6f" and "%d" print them, without printf's per-call cost.
void AppendFixed6(std::string& s, float v) {
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, double(v), std::chars_format::fixed, 6);
  s.append(buf, r.ptr);
}
void AppendInt(std::string& s, int64_t v) {
  char buf[24];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

bool WriteObj(const MeshRecord& m, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::string text;
  text.reserve(1 << 20);
  bool ok = true;
  auto flush = [&](bool force) {
    if (!force && text.size() < (1u << 20)) return;
    ok = ok && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    text.clear();
  };
  for (const Point3& v : m.vertices) {
    text += "v ";
    AppendFixed6(text, v.x);
    text += ' ';
    AppendFixed6(text, v.y);
    text += ' ';
    AppendFixed6(text, v.z);
    text += '\n';
    flush(false);
  }
  for (const MeshFace& t : m.faces) {
    text += "f ";
    AppendInt(text, int64_t(t[0]) + 1);
    text += ' ';
    AppendInt(text, int64_t(t[1]) + 1);
    text += ' ';
    AppendInt(text, int64_t(t[2]) + 1);
    text += '\n';
    flush(false);
  }
  flush(true);
  return (std::fclose(f) == 0) && ok;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]));
}

// Our build and OpenVDB's, taken in turns (ours, theirs, ours, ...) so that
// a change of load on a shared machine falls on both alike; the ratio of
// each adjacent pair is printed with the minima and medians.
struct Comparison {
  std::vector<double> ours, theirs, pairRatio, cpu;
  double buildMb = -1;  // the most of any of our builds
  Run best;
  size_t theirPolys = 0;
};

// A pause before each timed run: on the virtual machine this was measured
// on, one core ran at half speed for up to a second after OpenVDB's
// one-thread run (whose end frees a large tree), which the next run, ours
// on all threads, then waited for (see `vorel-bench cores`).
long SettleMs() { return std::max(0L, vorel_bench::OptionLong("settle-ms", 1000)); }
void Settle() {
  const long ms = SettleMs();
  if (ms > 0) usleep(useconds_t(ms) * 1000);
}

// One round: ours then theirs on `threads`.
void Round(const std::vector<Point3>& pts, int threads, Comparison& c) {
  Settle();
  Run r = Mesh(pts, threads);
  c.ours.push_back(r.wallMs);
  c.cpu.push_back(r.cpuMs);
  c.buildMb = std::max(c.buildMb, r.buildMb);
  if (c.ours.size() == 1 || r.wallMs < c.best.wallMs) c.best = std::move(r);
#ifdef VOREL_HAVE_OPENVDB
  Settle();
  c.theirs.push_back(OpenVdbMs(pts, threads, kDetail * kMelting * kRadius, c.theirPolys));
  c.pairRatio.push_back(c.ours.back() / c.theirs.back());
#endif
}

void PrintComparison(const std::string& p, const Comparison& c) {
  using vorel_bench::Print;
  Print(p + "mesher_ms_min", *std::min_element(c.ours.begin(), c.ours.end()));
  Print(p + "mesher_ms_median", Median(c.ours));
  Print(p + "mesher_cpu_ms_median", Median(c.cpu));
  if (c.theirs.empty()) return;
  Print(p + "openvdb_ms_min", *std::min_element(c.theirs.begin(), c.theirs.end()));
  Print(p + "openvdb_ms_median", Median(c.theirs));
  Print(p + "mesher_over_openvdb_min", *std::min_element(c.ours.begin(), c.ours.end()) /
                                           *std::min_element(c.theirs.begin(), c.theirs.end()));
  Print(p + "mesher_over_openvdb_median_pair", Median(c.pairRatio));
}

void PrintPhases(const std::string& p, const Run& r) {
  using vorel_bench::Print;
  Print(p + "grid_ms", 1e3 * r.phases.grid);
  Print(p + "pair_sweep_ms", 1e3 * r.phases.neighbours);
  Print(p + "seeds_ms", 1e3 * r.phases.seeds);
  Print(p + "seed_crossings_ms", 1e3 * r.phases.crossings);
  Print(p + "propagate_ms", 1e3 * r.phases.propagate);
  Print(p + "propagate_flood_ms", 1e3 * r.phases.flood);
  Print(p + "clustering_ms", 1e3 * r.phases.emit);
  Print(p + "clustering_crossings_ms", 1e3 * r.phases.emitCrossings);
  Print(p + "clustering_merge_ms", 1e3 * r.phases.emitMerge);
  Print(p + "shrink_wrap_ms", 1e3 * r.phases.shrink);
}

// Builds one right after another, as the engine meshes each frame right
// after the solver's steps: ours K times, then OpenVDB's K times, with no
// pause. After a pause our team's threads, asleep (passive waits), come
// back slower on a virtual machine; OpenVDB's workers spin a while first.
void BackToBack(const std::vector<Point3>& pts, int threads, const std::string& tp) {
  using vorel_bench::Print;
  constexpr int kBuilds = 3;
  double ours = 0.0;
  for (int k = 0; k < kBuilds; ++k) {
    const double ms = Mesh(pts, threads).wallMs;
    ours = k == 0 ? ms : std::min(ours, ms);
  }
  Print(tp + "back_to_back_mesher_ms_min", ours);
#ifdef VOREL_HAVE_OPENVDB
  double theirs = 0.0;
  size_t polys = 0;
  for (int k = 0; k < kBuilds; ++k) {
    const double ms = OpenVdbMs(pts, threads, kDetail * kMelting * kRadius, polys);
    theirs = k == 0 ? ms : std::min(theirs, ms);
  }
  Print(tp + "back_to_back_openvdb_ms_min", theirs);
  Print(tp + "back_to_back_mesher_over_openvdb", ours / theirs);
#endif
}

// Packed particles against the same count spread out: 100,000 at one point
// and 300,000 scattered in one grid cell (the engine's cell, R = 1.6 at
// unit spacing, taken as [0.1, 1.5) on each axis) beside dam breaks of as
// many. The seed pass once tested every pair of a cell, which took minutes
// for such clumps.
void PackedCases(int threads) {
  using vorel_bench::Print;
  auto report = [&](const std::string& name, const std::vector<Point3>& pts) {
    const Run r = Mesh(pts, threads);
    Print("mesher_" + name + "_ms", r.wallMs);
    Print("mesher_" + name + "_pair_sweep_ms", 1e3 * r.phases.neighbours);
    Print("mesher_" + name + "_seeds_ms", 1e3 * r.phases.seeds);
    Print("mesher_" + name + "_faces", r.mesh.FaceCount());
  };
  report("one_point_100000", std::vector<Point3>(100000, Point3(0.5f, 0.5f, 0.5f)));
  report("spread_100000", DamBreak(100000));
  std::mt19937 rng(777);
  std::uniform_real_distribution<float> u(0.1f, 1.5f);
  std::vector<Point3> cell(300000);
  for (Point3& p : cell) {
    const float x = u(rng), y = u(rng);
    p = Point3(x, y, u(rng));
  }
  report("one_cell_300000", cell);
  report("spread_300000", DamBreak(300000));
}

// Passive OpenMP waits for this area (see RestartWithPassiveWaitsFor): on a
// shared machine threads spinning between phases take the cores from the
// ones at work. OpenVDB's TBB workers go to sleep of their own accord.
const bool kPassiveWait = vorel_bench::RestartWithPassiveWaitsFor("mesher");

void BenchMesher() {
  using vorel_bench::Print;
  const MesherOptions o = ReadMesherOptions();
  const int rounds = int(std::max(1L, vorel_bench::OptionLong("rounds", 3)));
  Print("mesher_load_start", LoadAverage());
  vorel_bench::PrintCores("mesher_cores_start_", o.threads);
  (void)kPassiveWait;
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  Print("mesher_omp_wait_policy", policy ? policy : "default");
#ifdef VOREL_HAVE_OPENVDB
  openvdb::initialize();
#else
#ifndef VOREL_OPENVDB_MISSING
#define VOREL_OPENVDB_MISSING "libopenvdb-dev and libboost-dev"
#endif
  // Built without the comparison: say what the build did not find.
  Print("openvdb", std::string("not built in, missing ") + VOREL_OPENVDB_MISSING);
#endif
  const std::vector<Point3> pts = DamBreak(o.particles);
  Print("mesher_particles", double(pts.size()));
  Print("mesher_threads", o.threads);
  Print("mesher_rounds", rounds);
  Print("mesher_settle_ms", double(SettleMs()));
  // Each round runs T threads and one thread, each beside OpenVDB on as
  // many, so that both speed-ups see the same load.
  Comparison many, one;
  for (int rep = 0; rep < rounds; ++rep) {
    Round(pts, o.threads, many);
    if (o.threads != 1) Round(pts, 1, one);
  }
  const std::string tp = "t" + std::to_string(o.threads) + "_";
  PrintComparison(tp, many);
  if (o.threads != 1) PrintComparison("t1_", one);
  BackToBack(pts, o.threads, tp);
  omp_set_num_threads(o.threads);
  const Run& best = many.best;
  const MeshCheck c = CheckMesh(best.mesh);
  Print("mesher_vertices", best.mesh.VertexCount());
  Print("mesher_faces", best.mesh.FaceCount());
  Print("mesher_mesh_hash", [&] {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(MeshHash(best.mesh)));
    return std::string(buf);
  }());
  Print("mesher_wall_ms", best.wallMs);
  PrintPhases("mesher_" + tp, best);
  if (o.threads != 1) PrintPhases("mesher_t1_", one.best);
  if (o.threads != 1) {
    Print("mesher_wall_ms_1_thread", one.best.wallMs);
    Print("mesher_speedup", one.best.wallMs / best.wallMs);
    Print("mesher_speedup_median", Median(one.ours) / Median(many.ours));
    Print("mesher_same_mesh_on_1_thread",
          (one.best.mesh.vertices == best.mesh.vertices && one.best.mesh.faces == best.mesh.faces) ? 1.0 : 0.0);
  }
  Print("mesher_peak_memory_mb", vorel_bench::PeakRssMb());
  Print("mesher_build_peak_memory_mb", std::max(many.buildMb, one.buildMb));
  Print("mesher_boundary_edges", double(c.boundaryEdges));
  Print("mesher_nonmanifold_edges", double(c.nonManifoldEdges));
  Print("mesher_misoriented_edges", double(c.misorientedEdges));
  Print("mesher_nonmanifold_vertices", double(c.nonManifoldVertices));
  Print("mesher_components", double(c.components));
  Print("mesher_volume", c.volume);
#ifdef VOREL_HAVE_OPENVDB
  Print("openvdb_triangles", double(many.theirPolys));
#endif
  if (!o.out.empty()) {
    mkdir(o.out.c_str(), 0777);
    mkdir((o.out + "/surface").c_str(), 0777);
    const bool binOk = best.mesh.WriteSurfaceCache(o.out + "/surface/m00000.bin", 0, 0);
    const auto t0 = std::chrono::steady_clock::now();
    const bool objOk = WriteObj(best.mesh, o.out + "/m00000.obj");
    Print("mesher_obj_write_ms", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    Print("mesher_out", binOk && objOk ? o.out : std::string("write failed"));
  }
  PackedCases(o.threads);
  Print("mesher_load_end", LoadAverage());
  vorel_bench::PrintCores("mesher_cores_end_", o.threads);
}

}  // namespace

VOREL_BENCH("mesher", BenchMesher);
