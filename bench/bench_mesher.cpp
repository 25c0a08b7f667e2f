// vorel-bench mesher [--particles N] [--threads T] [--out DIR]: meshes a
// generated dam-break block with a splash and prints counts, wall time, time
// per phase, peak memory and the topology of the result.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
  double wallMs = 0;
  MesherTimings phases;
  MeshRecord mesh;
};

// The engine's defaults: "Surface LOD" 8, "Melting Force" 4, "Drop Size" 4.
Run Mesh(const std::vector<Point3>& pts, int threads) {
  omp_set_num_threads(threads);
  Run r;
  SurfaceBuilder b(1.0f);
  const float melting = 4.0f, radius = 0.4f;
  auto t0 = std::chrono::steady_clock::now();
  b.BeginParticles(int32_t(pts.size()), melting * radius);
  for (const Point3& p : pts) b.AddParticle(p, 0, 1.0f, 0);
  VertexInfluenceLists lists;
  b.Build(3.0f / 9.0f, melting, radius, 0.5f, 0, 2000, &lists);
  r.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  r.phases = b.polygonizer.timings;
  r.mesh = b.mesh;
  return r;
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
// OpenVDB's 1.5-voxel minimum). Returns the best wall time in ms.
double OpenVdbMs(const std::vector<Point3>& pts, int threads, float latticeCell, size_t& polys) {
  openvdb::initialize();
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, size_t(threads));
  VdbParticles list{&pts, std::max(0.65, 1.5 * latticeCell)};
  double best = 1e300;
  for (int rep = 0; rep < 3; ++rep) {
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
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    polys = tris.size() + 2 * quads.size();
  }
  return best;
}
#endif

bool WriteObj(const MeshRecord& m, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  for (const Point3& v : m.vertices) std::fprintf(f, "v %.6f %.6f %.6f\n", v.x, v.y, v.z);
  for (const MeshFace& t : m.faces) std::fprintf(f, "f %d %d %d\n", t[0] + 1, t[1] + 1, t[2] + 1);
  return std::fclose(f) == 0;
}

void BenchMesher() {
  using vorel_bench::Print;
  const MesherOptions o = ReadMesherOptions();
  const std::vector<Point3> pts = DamBreak(o.particles);
  Run best;
  best.wallMs = 1e300;
  for (int rep = 0; rep < 3; ++rep) {
    Run r = Mesh(pts, o.threads);
    if (r.wallMs < best.wallMs) best = std::move(r);
  }
  Run one = Mesh(pts, 1);
  omp_set_num_threads(o.threads);
  const MeshCheck c = CheckMesh(best.mesh);
  Print("mesher_particles", double(pts.size()));
  Print("mesher_threads", o.threads);
  Print("mesher_vertices", best.mesh.VertexCount());
  Print("mesher_faces", best.mesh.FaceCount());
  Print("mesher_wall_ms", best.wallMs);
  Print("mesher_field_ms", 1e3 * (best.phases.grid + best.phases.neighbours));
  Print("mesher_polygonizer_ms", 1e3 * (best.phases.seeds + best.phases.propagate));
  Print("mesher_grid_ms", 1e3 * best.phases.grid);
  Print("mesher_neighbours_ms", 1e3 * best.phases.neighbours);
  Print("mesher_seeds_ms", 1e3 * best.phases.seeds);
  Print("mesher_seed_crossings_ms", 1e3 * best.phases.crossings);
  Print("mesher_propagate_ms", 1e3 * best.phases.propagate);
  Print("mesher_clustering_ms", 1e3 * best.phases.emit);
  Print("mesher_shrink_wrap_ms", 1e3 * best.phases.shrink);
  Print("mesher_wall_ms_1_thread", one.wallMs);
  Print("mesher_speedup", one.wallMs / best.wallMs);
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  Print("mesher_peak_memory_mb", double(ru.ru_maxrss) / 1024.0);
  Print("mesher_boundary_edges", double(c.boundaryEdges));
  Print("mesher_nonmanifold_edges", double(c.nonManifoldEdges));
  Print("mesher_misoriented_edges", double(c.misorientedEdges));
  Print("mesher_components", double(c.components));
  Print("mesher_volume", c.volume);
  Print("mesher_same_mesh_on_1_thread",
        (one.mesh.vertices == best.mesh.vertices && one.mesh.faces == best.mesh.faces) ? 1.0 : 0.0);
#ifdef VOREL_HAVE_OPENVDB
  size_t vdbTris = 0;
  const double vdbMs = OpenVdbMs(pts, o.threads, 3.0f / 9.0f * 1.6f, vdbTris);
  Print("openvdb_wall_ms", vdbMs);
  Print("openvdb_triangles", double(vdbTris));
  Print("openvdb_over_mesher_time", vdbMs / best.wallMs);
#else
  Print("openvdb", std::string("not installed"));
#endif
  if (!o.out.empty()) {
    mkdir(o.out.c_str(), 0777);
    mkdir((o.out + "/surface").c_str(), 0777);
    const bool binOk = best.mesh.WriteSurfaceCache(o.out + "/surface/m00000.bin", 0, 0);
    const bool objOk = WriteObj(best.mesh, o.out + "/m00000.obj");
    Print("mesher_out", binOk && objOk ? o.out : std::string("write failed"));
  }
}

}  // namespace

VOREL_BENCH("mesher", BenchMesher);
