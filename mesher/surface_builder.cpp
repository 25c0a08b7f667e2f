#include "mesher/surface_builder.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <omp.h>

#include "mesher/mesher_util.h"

namespace {
inline double Now() { return mesher_util::NowSeconds(); }
// Sets larger than this have their bounds found in parallel.
constexpr int32_t kParallelBounds = 1 << 15;
// Sets smaller than this are checked, bounded and sorted into the grid on
// the calling thread alone: the grid's score of parallel regions cost more
// in team wake-ups than they saved there (100,000 particles: 4.2-4.5 ms on
// eight threads, 3.5 ms on one; at 200,000 eight threads gain a little).
constexpr int32_t kParallelGrid = 1 << 17;

// Runs the parallel regions the calling thread starts on one thread until
// it goes (the same results: every pass is one on any thread count).
class OneThreadScope {
 public:
  explicit OneThreadScope(bool active) : threads_(omp_get_max_threads()), active_(active) {
    if (active_) omp_set_num_threads(1);
  }
  ~OneThreadScope() {
    if (active_) omp_set_num_threads(threads_);
  }
  OneThreadScope(const OneThreadScope&) = delete;
  OneThreadScope& operator=(const OneThreadScope&) = delete;

 private:
  int threads_;
  bool active_;
};
bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
// Sets whose middle lies within this of the origin on an axis are built
// where they are (their meshes stay as they always were); others relative
// to a point near their middle.
constexpr float kNearOrigin = 4096.0f;

// The origin the build works relative to on one axis: 0 near the origin,
// else the middle of the set rounded to a multiple of 1024, so that it and
// a position near it differ by an exact float.
float WorkingOrigin(float lo, float hi) {
  const double mid = 0.5 * (double(lo) + double(hi));
  if (!(std::fabs(mid) >= double(kNearOrigin))) return 0.0f;
  return float(std::round(mid / 1024.0) * 1024.0);
}

// Whether face f's corners lie on one point or line, exactly (differences
// of floats, and their products for nearby corners, are exact in double).
bool NoArea(const std::vector<Point3>& v, const MeshFace& f) {
  const Point3 &a = v[size_t(f[0])], &b = v[size_t(f[1])], &c = v[size_t(f[2])];
  const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
  const double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
  return uy * vz - uz * vy == 0.0 && uz * vx - ux * vz == 0.0 && ux * vy - uy * vx == 0.0;
}

// Faces whose corners rounding put on one point or line keep no area. Moved
// back far from the origin, vertices a few hundredths of a unit apart can
// round onto one float point (at 1e6 floats lie 1/16 apart); anywhere, an
// inside lattice point whose field barely clears zero draws the crossings of
// all its outside neighbours, and with them their vertices, onto itself to
// the last bits. Each such face has a corner moved by one float step: the
// later of two that met, away from the other as they lay before the move
// back (`near`; without it, as they lie); else the last corner, across the
// line the three lie on. The surface moves by no more than its own rounding,
// and its faces and their order stay as built, so a surface with no such
// face is left bit for bit. A few rounds, as a step may meet a third point.
void SeparateRoundedCorners(std::vector<Point3>& v, const std::vector<Point3>* near,
                            const std::vector<MeshFace>& faces) {
  const int64_t nF = int64_t(faces.size());
  std::vector<uint8_t> flat;
  for (int round = 0; round < 8; ++round) {
    int64_t flats = 0;
#pragma omp parallel for schedule(static) reduction(+ : flats) if (nF > kParallelBounds)
    for (int64_t f = 0; f < nF; ++f) flats += NoArea(v, faces[size_t(f)]);
    if (flats == 0) return;
    flat.resize(faces.size());
#pragma omp parallel for schedule(static) if (nF > kParallelBounds)
    for (int64_t f = 0; f < nF; ++f) flat[size_t(f)] = NoArea(v, faces[size_t(f)]);
    for (int64_t f = 0; f < nF; ++f) {
      if (!flat[size_t(f)] || !NoArea(v, faces[size_t(f)])) continue;  // an earlier step may have mended it
      const MeshFace& t = faces[size_t(f)];
      int32_t moved = std::max(t[0], std::max(t[1], t[2]));
      Point3 away(1.0f, 0.0f, 0.0f);
      bool met = false;
      for (int s = 0; s < 3 && !met; ++s) {
        const int32_t p = t[s], q = t[(s + 1) % 3];
        if (!(v[size_t(p)] == v[size_t(q)])) continue;
        met = true;
        moved = std::max(p, q);
        const std::vector<Point3>& before = near ? *near : v;
        away = before[size_t(moved)] - before[size_t(std::min(p, q))];
      }
      if (!met) {
        // Across the line: along the axis the line runs least.
        const Point3 d = v[size_t(t[1])] - v[size_t(t[0])] + (v[size_t(t[2])] - v[size_t(t[0])]);
        const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
        away = ax <= ay && ax <= az ? Point3(1, 0, 0) : ay <= az ? Point3(0, 1, 0) : Point3(0, 0, 1);
      }
      int axis = 0;
      for (int a = 1; a < 3; ++a)
        if (std::fabs(away[a]) > std::fabs(away[axis])) axis = a;
      float& x = v[size_t(moved)][axis];
      x = std::nextafter(x, away[axis] < 0.0f ? -INFINITY : INFINITY);
    }
  }
}
}  // namespace

SurfaceBuilder::SurfaceBuilder(float d) : grid(this), polygonizer(this, &mesh) { SetDensity(d); }

void SurfaceBuilder::SetDensity(float d, uint8_t f) {
  density = d;
  flag = f;
  count = 0;
  h = 1.0f / std::pow(d, 0.333333f);
  h2 = h * h;
  blobRadius = 2.0f * h;
  invH = 1.0f / h;
  grid.SetCellSize(2.0f * h);
  grid.Clear();
  for (SurfaceParticle& p : particles) p.skip = 0;
}

void SurfaceBuilder::BeginParticles(int32_t n, float factor) {
  count = 0;
  if (n < 0) n = 0;
  particles.assign(size_t(n), SurfaceParticle());
  if (!(factor > 0.0f) || !std::isfinite(factor)) factor = 1.0f;
  grid.SetCellSize(factor * h);
  grid.Clear();
}

bool SurfaceBuilder::AddParticle(const Point3& position, uint8_t skip, float size, uint32_t tag) {
  if (size_t(count) >= particles.size()) return false;
  SurfaceParticle& p = particles[size_t(count)];
  p.position = position;
  p.skip = skip;
  p.size = size;
  p.limitCount = 0;
  p.tag = tag;
  ++count;
  return true;
}

void SurfaceBuilder::SetCount(int32_t n) {
  count = std::max<int32_t>(0, std::min<int32_t>(n, int32_t(particles.size())));
}

void SurfaceBuilder::ComputeBounds() {
  // Minima and maxima: the same in any order (a value that is not a number
  // never wins a comparison, so it never enters).
  float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
#pragma omp parallel for schedule(static) reduction(min : lo[:3]) reduction(max : hi[:3]) if (count > kParallelBounds)
  for (int32_t i = 0; i < count; ++i) {
    const SurfaceParticle& p = particles[size_t(i)];
    if (p.skip) continue;
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], p.position[a]);
      hi[a] = std::max(hi[a], p.position[a]);
    }
  }
  boundsMin = Point3(1e6f, 1e6f, 1e6f);
  boundsMax = Point3(-1e6f, -1e6f, -1e6f);
  if (lo[0] <= hi[0]) {
    boundsMin = Point3(lo[0], lo[1], lo[2]);
    boundsMax = Point3(hi[0], hi[1], hi[2]);
  }
}

bool SurfaceBuilder::LinkIfClose(int32_t i, int32_t j) const {
  const Point3 d = particles[size_t(i)].position - particles[size_t(j)].position;
  return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) < blobRadius;
}

std::vector<int32_t> SurfaceBuilder::CellRanks() const {
  std::vector<int32_t> rank(grid.Cells().size());
  std::vector<int32_t> order = grid.ScanOrder();
  for (size_t r = 0; r < order.size(); ++r) rank[size_t(order[r])] = int32_t(r);
  return rank;
}

int SurfaceBuilder::VisitCells(int32_t c, const std::vector<int32_t>& rank, int32_t out[27]) const {
  // A serial scan visits cells in scan order, for each the 27 offsets (x
  // outermost), each pair of cells once from whichever of the two comes
  // first. Seen from one particle that is a fixed order of its own and its
  // neighbour cells.
  struct Visit {
    int64_t key;
    int32_t cell;
  };
  Visit visits[27];
  const mesher_util::KeptVector<ParticleCell>& cells = grid.Cells();
  const ParticleCell& cell = cells[size_t(c)];
  int nv = 0;
  int o = 0;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dz = -1; dz <= 1; ++dz, ++o) {
        int32_t other = (o == 13) ? c : grid.FindIndex(cell.x + dx, cell.y + dy, cell.z + dz);
        if (other < 0 || cells[size_t(other)].particles.empty()) continue;
        int64_t key;
        if (o == 13 || rank[size_t(c)] < rank[size_t(other)])
          key = int64_t(rank[size_t(c)]) * 27 + o;
        else
          key = int64_t(rank[size_t(other)]) * 27 + (26 - o);
        visits[nv++] = {key, other};
      }
  std::sort(visits, visits + nv, [](const Visit& x, const Visit& y) { return x.key < y.key; });
  for (int v = 0; v < nv; ++v) out[v] = visits[v].cell;
  return nv;
}

// Calls fn(b) for every neighbour b of particle a in list order; `visit`
// from VisitCells of a's cell.
template <class Fn>
void SurfaceBuilder::ForNeighbours(int32_t a, const int32_t* visit, int nVisit, Fn&& fn) const {
  const ParticleCellGrid::Packed& pk = grid.packed();
  const float reject = NeighbourReject();
  const Point3 pa = particles[size_t(a)].position;
  for (int v = 0; v < nVisit; ++v) {
    const int32_t c2 = visit[v];
    for (int32_t q = pk.start[size_t(c2)], qe = pk.start[size_t(c2) + 1]; q < qe; ++q) {
      const float dx = pa.x - pk.x[size_t(q)], dy = pa.y - pk.y[size_t(q)], dz = pa.z - pk.z[size_t(q)];
      const float d2 = dx * dx + dy * dy + dz * dz;
      // Cheap rejection well clear of the limit; the exact test below
      // decides everything near it.
      if (d2 > reject) continue;
      const int32_t bIdx = pk.index[size_t(q)];
      if (bIdx != a && std::sqrt(d2) < blobRadius) fn(bIdx);
    }
  }
}

void SurfaceBuilder::NeighboursOf(int32_t a, const std::vector<int32_t>& rank, std::vector<int32_t>& out) const {
  out.clear();
  if (a < 0 || a >= count || particles[size_t(a)].skip) return;
  const Point3& p = particles[size_t(a)].position;
  const int32_t c = grid.FindIndex(grid.CellCoord(p.x, 0), grid.CellCoord(p.y, 1), grid.CellCoord(p.z, 2));
  if (c < 0 || grid.packed().start.size() != grid.Cells().size() + 1) return;
  int32_t visit[27];
  const int nv = VisitCells(c, rank, visit);
  ForNeighbours(a, visit, nv, [&](int32_t b) { out.push_back(b); });
}

void SurfaceBuilder::FindNeighbours() {
  // Every particle's list can be built on its own, in parallel.
  const mesher_util::KeptVector<ParticleCell>& cells = grid.Cells();
  const size_t nCells = cells.size();
  if (grid.packed().start.size() != nCells + 1) grid.Pack();
  const std::vector<int32_t> rank = CellRanks();
  // Per cell, its neighbour cells (itself included) in scan-event order.
  std::unique_ptr<int32_t[]> visitCells(new int32_t[nCells * 27]);
  std::vector<uint8_t> visitCount(nCells);
  // Two passes (count, then fill the final arrays in place) keep the
  // parallel part free of allocation.
  neighbourStart_.assign(size_t(count) + 1, 0);
#pragma omp parallel for schedule(dynamic, 64) if (nCells > 256)
  for (int64_t c = 0; c < int64_t(nCells); ++c) {
    int32_t* visit = visitCells.get() + size_t(c) * 27;
    const int nv = VisitCells(int32_t(c), rank, visit);
    visitCount[size_t(c)] = uint8_t(nv);
    for (int32_t a : cells[size_t(c)].particles) {
      int32_t n = 0;
      ForNeighbours(a, visit, nv, [&](int32_t) { ++n; });
      neighbourStart_[size_t(a) + 1] = n;
    }
  }
  for (int32_t i = 0; i < count; ++i) neighbourStart_[size_t(i) + 1] += neighbourStart_[size_t(i)];
  neighbourIndex_.reset(new int32_t[size_t(neighbourStart_[size_t(count)]) + 1]);
#pragma omp parallel for schedule(dynamic, 64) if (nCells > 256)
  for (int64_t c = 0; c < int64_t(nCells); ++c)
    for (int32_t a : cells[size_t(c)].particles) {
      int32_t* out = neighbourIndex_.get() + neighbourStart_[size_t(a)];
      ForNeighbours(a, visitCells.get() + size_t(c) * 27, visitCount[size_t(c)],
                    [&](int32_t bIdx) { *out++ = bIdx; });
    }
}

MeshRecord& SurfaceBuilder::Build(float detail, float melting, float radiusFactor, float shrink, int32_t, int32_t,
                                  VertexInfluenceLists* lists, const std::vector<Point3>* velocities) {
  double t0 = Now();
  try {
    std::optional<OneThreadScope> serialGrid(std::in_place, count < kParallelGrid);
    // Entries that cannot be meshed (not a number, infinite) take no part,
    // like skipped ones; they would otherwise poison bounds and lattice.
#pragma omp parallel for schedule(static) if (count > kParallelBounds)
    for (int32_t i = 0; i < count; ++i)
      if (!Finite(particles[size_t(i)].position)) particles[size_t(i)].skip = 1;
    ComputeBounds();
    // A float holds a position 1e6 from the origin to 1/16 of a unit: the
    // lattice and the field there lost so much that faces collapsed (52 of
    // 1,100 had no area at 1e6; at 1e7 a whole surface became one point).
    // Such a set is built relative to a working origin near its middle and
    // the mesh moved back at the end; its particles are put back as given.
    Point3 origin(0.0f, 0.0f, 0.0f);
    if (boundsMin.x <= boundsMax.x)
      origin = Point3(WorkingOrigin(boundsMin.x, boundsMax.x), WorkingOrigin(boundsMin.y, boundsMax.y),
                      WorkingOrigin(boundsMin.z, boundsMax.z));
    const bool shifted = origin.x != 0.0f || origin.y != 0.0f || origin.z != 0.0f;
    mesher_util::KeptVector<Point3> given;
    struct Restore {
      SurfaceBuilder& b;
      const mesher_util::KeptVector<Point3>& given;
      ~Restore() {
        if (given.empty()) return;
        b.grid.Clear();  // it holds the moved positions
        for (int32_t i = 0; i < b.count; ++i) b.particles[size_t(i)].position = given[size_t(i)];
      }
    } restore{*this, given};
    if (shifted) {
      given.resize(size_t(count));
#pragma omp parallel for schedule(static) if (count > kParallelBounds)
      for (int32_t i = 0; i < count; ++i) {
        Point3& q = particles[size_t(i)].position;
        given[size_t(i)] = q;
        q = q - origin;
      }
      ComputeBounds();
    }
    grid.Clear();
    grid.InsertAll(count);
    grid.Pack();
    serialGrid.reset();
    // Lists of an earlier FindNeighbours would not match this grid.
    neighbourStart_.assign(1, 0);
    neighbourIndex_.reset();
    double t1 = Now();
    polygonizer.BuildAndShrinkWrap(detail, melting, radiusFactor, shrink, lists, velocities);
    polygonizer.timings.grid = t1 - t0;
    // Where it was built, and for a set built off its place once more after
    // the move back, which rounds corners together of its own.
    SeparateRoundedCorners(mesh.vertices, nullptr, mesh.faces);
    if (shifted) {
      const std::vector<Point3> near = mesh.vertices;
      const int64_t nV = int64_t(mesh.vertices.size());
#pragma omp parallel for schedule(static) if (nV > kParallelBounds)
      for (int64_t v = 0; v < nV; ++v) mesh.vertices[size_t(v)] = mesh.vertices[size_t(v)] + origin;
      SeparateRoundedCorners(mesh.vertices, &near, mesh.faces);
      mesh.boundsMin = mesh.boundsMin + origin;
      mesh.boundsMax = mesh.boundsMax + origin;
      boundsMin = boundsMin + origin;
      boundsMax = boundsMax + origin;
    }
  } catch (const std::bad_alloc&) {
    // Everything the failed build holds goes, so that the caller can go on
    // with this builder once it has said why there is no surface.
    mesh.Clear();
    grid.Clear();
    // Offsets of an earlier FindNeighbours name lists that are gone.
    neighbourStart_.assign(1, 0);
    neighbourIndex_.reset();
    polygonizer.ReleaseLattice(true);
    if (lists) VertexInfluenceLists().swap(*lists);
    vorel::host::ReleaseRetainedLargeBlocks();
    mesher_util::ReleaseKeptBlocks();
    throw;
  }
  return mesh;
}
