#include "mesher/particle_grid.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <omp.h>

#include "mesher/mesher_util.h"
#include "mesher/surface_builder.h"
#include "host/core/parallel_failure.h"


namespace {
// Sets smaller than this are inserted one particle at a time.
constexpr int32_t kParallelInsert = 1 << 15;
// Cells per parallel chunk where the grid copies particles.
constexpr int64_t kParallelCells = 4096;
// Entries per block where run starts are counted, summed and filled.
constexpr int64_t kBlockEntries = 8192;
// Bits per digit at most, and blocks of entries per pass at most, where
// particles are sorted by cell.
constexpr int kRadixBits = 11;
constexpr int64_t kRadixBlocks = 64;
// The cell key of a skipped particle.
constexpr uint32_t kNoCell = UINT32_MAX;
}  // namespace

ParticleCellGrid::ParticleCellGrid(const SurfaceBuilder* builder) : builder_(builder) {}

void ParticleCellGrid::SetCellSize(float w) {
  cellSize_ = w;
  invCellSize_ = 1.0f / w;
}

uint32_t ParticleCellGrid::Bucket(int32_t x, int32_t y, int32_t z) {
  uint32_t v = (uint32_t(x) * 3u + uint32_t(y)) * 9u + uint32_t(z);
  return v % kBucketCount;
}

void ParticleCellGrid::Rehash(size_t capacity) {
  table_.assign(capacity, -1);
  const size_t m = capacity - 1;
  const int64_t nC = int64_t(cells_.size());
  if (nC > kParallelCells && omp_get_max_threads() > 1) {
    // Each cell claims the first free slot of its probe with a
    // compare-and-swap: which slot a cell gets depends on the threads'
    // timing, but every cell is found, and FindIndex answers alike.
#pragma omp parallel for schedule(static)
    for (int64_t c = 0; c < nC; ++c) {
      const ParticleCell& cell = cells_[size_t(c)];
      size_t s = mesher_util::HashCoords(cell.x, cell.y, cell.z) & m;
      for (int32_t free = -1; !__atomic_compare_exchange_n(&table_[s], &free, int32_t(c), false, __ATOMIC_RELAXED,
                                                           __ATOMIC_RELAXED);
           free = -1)
        s = (s + 1) & m;
    }
    return;
  }
  for (size_t c = 0; c < cells_.size(); ++c) {
    size_t s = mesher_util::HashCoords(cells_[c].x, cells_[c].y, cells_[c].z) & m;
    while (table_[s] >= 0) s = (s + 1) & m;
    table_[s] = int32_t(c);
  }
}

int32_t ParticleCellGrid::FindIndex(int32_t x, int32_t y, int32_t z) const {
  if (table_.empty()) return -1;
  const size_t m = table_.size() - 1;
  for (size_t s = mesher_util::HashCoords(x, y, z) & m;; s = (s + 1) & m) {
    int32_t c = table_[s];
    if (c < 0) return -1;
    const ParticleCell& cell = cells_[size_t(c)];
    if (cell.x == x && cell.y == y && cell.z == z) return c;
  }
}

ParticleCell* ParticleCellGrid::Find(int32_t x, int32_t y, int32_t z) {
  int32_t c = FindIndex(x, y, z);
  return c < 0 ? nullptr : &cells_[size_t(c)];
}

const ParticleCell* ParticleCellGrid::Find(int32_t x, int32_t y, int32_t z) const {
  int32_t c = FindIndex(x, y, z);
  return c < 0 ? nullptr : &cells_[size_t(c)];
}

ParticleCell* ParticleCellGrid::Create(int32_t x, int32_t y, int32_t z) {
  cells_.push_back(ParticleCell());
  ParticleCell& cell = cells_.back();
  cell.x = x;
  cell.y = y;
  cell.z = z;
  if (table_.size() < 2 * cells_.size() + 16) {
    Rehash(std::max<size_t>(64, table_.size() * 2));
  } else {
    const size_t m = table_.size() - 1;
    size_t s = mesher_util::HashCoords(x, y, z) & m;
    while (table_[s] >= 0) s = (s + 1) & m;
    table_[s] = int32_t(cells_.size() - 1);
  }
  packed_ = Packed();
  columns_ = Columns();
  dense_.clear();
  return &cells_.back();
}

void ParticleCellGrid::Insert(int32_t i) {
  const Point3& p = builder_->particles[size_t(i)].position;
  int32_t x = CellCoord(p.x, 0), y = CellCoord(p.y, 1), z = CellCoord(p.z, 2);
  ParticleCell* cell = Find(x, y, z);
  if (!cell) cell = Create(x, y, z);
  const size_t c = size_t(cell - cells_.data());
  if (grown_.size() < cells_.size()) grown_.resize(cells_.size());
  std::vector<int32_t>& list = grown_[c];
  // A cell InsertAll filled moves its list here before it grows.
  if (list.empty()) list.assign(cell->particles.begin(), cell->particles.end());
  list.push_back(i);
  cell->particles = CellMembers(list.data(), int32_t(list.size()));
}

void ParticleCellGrid::InsertAll(int32_t n) {
  const vorel::host::LargeVector<SurfaceParticle>& ps = builder_->particles;
  if (n >= kParallelInsert && cells_.empty() && InsertAllCounted(n)) return;
  if (n < kParallelInsert || omp_get_max_threads() == 1 || !cells_.empty()) {
    for (int32_t i = 0; i < n; ++i)
      if (!ps[size_t(i)].skip) Insert(i);
    return;
  }
  // A box of cells too large to count in: the particles sorted by cell,
  // equal cells by index, so that each run is one cell's list in insertion
  // order.
  struct Entry {
    int32_t x, y, z, i;
  };
  // Skipped particles sort after every cell: coordinates stay within 2^30.
  constexpr int32_t kSkipped = INT32_MAX;
  mesher_util::BigArray<Entry> e(static_cast<size_t>(n));
  int64_t kept = 0;
#pragma omp parallel for schedule(static) reduction(+ : kept)
  for (int32_t i = 0; i < n; ++i) {
    const SurfaceParticle& sp = ps[size_t(i)];
    if (sp.skip) {
      e[size_t(i)] = {kSkipped, kSkipped, kSkipped, i};
      continue;
    }
    e[size_t(i)] = {CellCoord(sp.position.x, 0), CellCoord(sp.position.y, 1), CellCoord(sp.position.z, 2), i};
    ++kept;
  }
  auto sameCell = [](const Entry& a, const Entry& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
  mesher_util::ParallelSort(e.data(), size_t(n), [](const Entry& a, const Entry& b) {
    if (a.x != b.x) return a.x < b.x;
    if (a.y != b.y) return a.y < b.y;
    if (a.z != b.z) return a.z < b.z;
    return a.i < b.i;
  });
  const int64_t blocks = (kept + kBlockEntries - 1) / kBlockEntries;
  auto starts = [&](int64_t r) { return r == 0 || !sameCell(e[size_t(r)], e[size_t(r - 1)]); };
  const std::vector<int64_t> at = mesher_util::BlockStarts(blocks, [&](int64_t b) {
    int64_t c = 0;
    for (int64_t r = b * kBlockEntries, end = std::min(kept, r + kBlockEntries); r < end; ++r) c += starts(r);
    return c;
  });
  const size_t nRuns = size_t(at[size_t(blocks)]);
  // Per run its start in the sorted order; per particle its run.
  mesher_util::KeptVector<int32_t> runStart(nRuns + 1);
  mesher_util::KeptVector<uint32_t> runOf(static_cast<size_t>(n), kNoCell);
  mesher_util::BigArray<uint8_t> first(static_cast<size_t>(n), true);
  members_.resize(size_t(kept));
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < blocks; ++b) {
    int64_t c = at[size_t(b)] - 1;
    for (int64_t r = b * kBlockEntries, end = std::min(kept, r + kBlockEntries); r < end; ++r) {
      if (starts(r)) {
        runStart[size_t(++c)] = int32_t(r);
        first[size_t(e[size_t(r)].i)] = 1;
      }
      members_[size_t(r)] = e[size_t(r)].i;
      runOf[size_t(e[size_t(r)].i)] = uint32_t(c);
    }
  }
  runStart[nRuns] = int32_t(kept);
  CellsFromFirstMembers(n, first.data(), runOf.data(), runStart.data(), [&](uint32_t run, ParticleCell& cell) {
    const Entry& head = e[size_t(runStart[run])];
    cell.x = head.x;
    cell.y = head.y;
    cell.z = head.z;
  });
}

bool ParticleCellGrid::InsertAllCounted(int32_t n) {
  // The cells' box, then each particle's cell as its place in the box
  // (x outermost, z innermost), the particles sorted by that key, and the
  // cells' starts read off the sorted runs.
  const vorel::host::LargeVector<SurfaceParticle>& ps = builder_->particles;
  int32_t lx = INT32_MAX, ly = INT32_MAX, lz = INT32_MAX, hx = INT32_MIN, hy = INT32_MIN, hz = INT32_MIN;
#pragma omp parallel for schedule(static) reduction(min : lx, ly, lz) reduction(max : hx, hy, hz)
  for (int32_t i = 0; i < n; ++i) {
    const SurfaceParticle& sp = ps[size_t(i)];
    if (sp.skip) continue;
    const int32_t x = CellCoord(sp.position.x, 0), y = CellCoord(sp.position.y, 1), z = CellCoord(sp.position.z, 2);
    lx = std::min(lx, x);
    ly = std::min(ly, y);
    lz = std::min(lz, z);
    hx = std::max(hx, x);
    hy = std::max(hy, y);
    hz = std::max(hz, z);
  }
  if (lx > hx) return false;  // nothing to insert: the plain path says so
  const int64_t dx = int64_t(hx) - lx + 1, dy = int64_t(hy) - ly + 1, dz = int64_t(hz) - lz + 1;
  // Counts for every cell of the box: only while it is not much larger
  // than the particle set (and its places fit the keys).
  const double limit = std::min(4.0 * double(n) + 4096.0, double(kNoCell) - 1.0);
  if (double(dx) * double(dy) * double(dz) > limit) return false;
  const int64_t volume = dx * dy * dz;
  mesher_util::KeptVector<uint32_t> key(static_cast<size_t>(n));
#pragma omp parallel for schedule(static)
  for (int32_t i = 0; i < n; ++i) {
    const SurfaceParticle& sp = ps[size_t(i)];
    if (sp.skip) {
      key[size_t(i)] = kNoCell;
      continue;
    }
    const int64_t x = CellCoord(sp.position.x, 0) - lx, y = CellCoord(sp.position.y, 1) - ly,
                  z = CellCoord(sp.position.z, 2) - lz;
    key[size_t(i)] = uint32_t((x * dy + y) * dz + z);
  }
  // The kept particles as (key, index) sorted by key, equal keys by index:
  // a stable radix sort of the index order, digit by digit, each block of
  // entries scattering to places summed in (digit, block) order. Every
  // place follows from the keys alone, so the lists come out the same on
  // any number of threads, without atomics or a sort per cell.
  int keyBits = 1;
  while (keyBits < 32 && (uint64_t(1) << keyBits) < uint64_t(volume)) ++keyBits;
  const int passes = (keyBits + kRadixBits - 1) / kRadixBits;
  const int digitBits = (keyBits + passes - 1) / passes;
  const int64_t radix = int64_t(1) << digitBits;
  mesher_util::BigArray<uint64_t> sorted(static_cast<size_t>(n)), spare(static_cast<size_t>(n));
  std::vector<int64_t> place;
  int64_t kept = n;
  for (int pass = 0; pass < passes; ++pass) {
    // The first pass reads the particles (dropping skipped ones), the
    // others the previous pass's output.
    const int64_t len = pass == 0 ? int64_t(n) : kept;
    auto entry = [&](int64_t j) {
      return pass == 0 ? (uint64_t(key[size_t(j)]) << 32) | uint64_t(j) : sorted[size_t(j)];
    };
    const int shift = 32 + pass * digitBits;
    const int64_t blocks = std::max<int64_t>(1, std::min<int64_t>(kRadixBlocks, len / kBlockEntries));
    auto blockBegin = [&](int64_t b) { return len * b / blocks; };
    place.assign(size_t(blocks * radix), 0);
#pragma omp parallel for schedule(static, 1) if (blocks > 1)
    for (int64_t b = 0; b < blocks; ++b) {
      int64_t* count = place.data() + b * radix;
      for (int64_t j = blockBegin(b), end = blockBegin(b + 1); j < end; ++j) {
        const uint64_t v = entry(j);
        if (uint32_t(v >> 32) != kNoCell) ++count[(v >> shift) & uint64_t(radix - 1)];
      }
    }
    int64_t at = 0;
    for (int64_t d = 0; d < radix; ++d)
      for (int64_t b = 0; b < blocks; ++b) {
        const int64_t c = place[size_t(b * radix + d)];
        place[size_t(b * radix + d)] = at;
        at += c;
      }
    kept = at;
#pragma omp parallel for schedule(static, 1) if (blocks > 1)
    for (int64_t b = 0; b < blocks; ++b) {
      int64_t* next = place.data() + b * radix;
      for (int64_t j = blockBegin(b), end = blockBegin(b + 1); j < end; ++j) {
        const uint64_t v = entry(j);
        if (uint32_t(v >> 32) != kNoCell) spare[size_t(next[(v >> shift) & uint64_t(radix - 1)]++)] = v;
      }
    }
    std::swap(sorted, spare);
  }
  spare.Reset(0);
  // Each cell's run in the sorted order: a run's first entry writes the
  // starts of its cell and of the empty cells before it.
  mesher_util::KeptVector<int32_t> start(size_t(volume) + 1);
  members_.resize(size_t(kept));
  mesher_util::BigArray<uint8_t> first(static_cast<size_t>(n), true);
#pragma omp parallel for schedule(static)
  for (int64_t r = 0; r < kept; ++r) {
    const uint64_t v = sorted[size_t(r)];
    const int64_t k = int64_t(v >> 32), before = r == 0 ? -1 : int64_t(sorted[size_t(r - 1)] >> 32);
    members_[size_t(r)] = int32_t(uint32_t(v));
    if (k == before) continue;
    first[size_t(uint32_t(v))] = 1;
    for (int64_t q = before + 1; q <= k; ++q) start[size_t(q)] = int32_t(r);
  }
  const int64_t lastKey = kept == 0 ? -1 : int64_t(sorted[size_t(kept - 1)] >> 32);
#pragma omp parallel for schedule(static) if (volume - lastKey > kParallelCells)
  for (int64_t q = lastKey + 1; q <= volume; ++q) start[size_t(q)] = int32_t(kept);
  CellsFromFirstMembers(n, first.data(), key.data(), start.data(), [&](uint32_t k, ParticleCell& cell) {
    cell.x = int32_t(lx + int64_t(k) / (dy * dz));
    cell.y = int32_t(ly + int64_t(k) / dz % dy);
    cell.z = int32_t(lz + int64_t(k) % dz);
  });
  return true;
}

template <class CellOfKey>
void ParticleCellGrid::CellsFromFirstMembers(int32_t n, const uint8_t* first, const uint32_t* key,
                                             const int32_t* start, CellOfKey&& cellOf) {
  // Insert creates a cell when it meets the cell's first member: the cells
  // in the order of their lowest indices, counted and filled in blocks of
  // particles.
  const int64_t blocks = (int64_t(n) + kBlockEntries - 1) / kBlockEntries;
  const std::vector<int64_t> at = mesher_util::BlockStarts(blocks, [&](int64_t b) {
    int64_t c = 0;
    for (int64_t i = b * kBlockEntries, end = std::min<int64_t>(n, i + kBlockEntries); i < end; ++i) c += first[i];
    return c;
  });
  const size_t nCells = size_t(at[size_t(blocks)]);
  cells_.resize(nCells);
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < blocks; ++b) {
    int64_t c = at[size_t(b)];
    for (int64_t i = b * kBlockEntries, end = std::min<int64_t>(n, i + kBlockEntries); i < end; ++i) {
      if (!first[i]) continue;
      const uint32_t k = key[i];
      ParticleCell& cell = cells_[size_t(c++)];
      cellOf(k, cell);
      cell.particles = CellMembers(members_.data() + start[k], start[k + 1] - start[k]);
    }
  }
  size_t capacity = 64;
  while (capacity < 2 * nCells + 16) capacity *= 2;
  Rehash(capacity);
  packed_ = Packed();
  columns_ = Columns();
  dense_.clear();
}

void ParticleCellGrid::Clear() {
  cells_.clear();
  members_.clear();
  grown_.clear();
  table_.clear();
  packed_ = Packed();
  columns_ = Columns();
  dense_.clear();
}

std::vector<int32_t> ParticleCellGrid::ScanOrder() const {
  std::vector<int32_t> order(cells_.size());
  for (size_t c = 0; c < order.size(); ++c) order[c] = int32_t(c);
  std::vector<uint32_t> bucket(cells_.size());
  for (size_t c = 0; c < cells_.size(); ++c) bucket[c] = Bucket(cells_[c].x, cells_[c].y, cells_[c].z);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    if (bucket[size_t(a)] != bucket[size_t(b)]) return bucket[size_t(a)] < bucket[size_t(b)];
    if (cells_[size_t(a)].x != cells_[size_t(b)].x) return cells_[size_t(a)].x < cells_[size_t(b)].x;
    return a < b;
  });
  return order;
}

void ParticleCellGrid::Pack() {
  Packed p;
  const int64_t nC = int64_t(cells_.size());
  p.start.Reset(size_t(nC) + 1);
  // Cells' starts summed in blocks of cells, in cell order.
  const int64_t cellBlocks = (nC + kBlockEntries - 1) / kBlockEntries;
  const std::vector<int64_t> blockStart = mesher_util::BlockStarts(cellBlocks, [&](int64_t b) {
    int64_t k = 0;
    for (int64_t c = b * kBlockEntries, end = std::min(nC, c + kBlockEntries); c < end; ++c)
      k += int64_t(cells_[size_t(c)].particles.size());
    return k;
  });
#pragma omp parallel for schedule(static) if (cellBlocks > 1)
  for (int64_t b = 0; b < cellBlocks; ++b) {
    int64_t k = blockStart[size_t(b)];
    for (int64_t c = b * kBlockEntries, end = std::min(nC, c + kBlockEntries); c < end; ++c) {
      p.start[size_t(c)] = int32_t(k);
      k += int64_t(cells_[size_t(c)].particles.size());
    }
  }
  const size_t total = size_t(blockStart[size_t(cellBlocks)]);
  p.start[size_t(nC)] = int32_t(total);
  p.x.Reset(total);
  p.y.Reset(total);
  p.z.Reset(total);
  p.size.Reset(total);
  p.index.Reset(total);
  // Each cell fills its own range.
#pragma omp parallel for schedule(dynamic, 1024) if (nC > kParallelCells)
  for (int64_t c = 0; c < nC; ++c) {
    size_t k = size_t(p.start[size_t(c)]);
    for (int32_t i : cells_[size_t(c)].particles) {
      const SurfaceParticle& sp = builder_->particles[size_t(i)];
      p.x[k] = sp.position.x;
      p.y[k] = sp.position.y;
      p.z[k] = sp.position.z;
      p.size[k] = sp.size;
      p.index[k] = i;
      ++k;
    }
  }
  packed_ = std::move(p);

  // A dense cell table turns the field's 27 cell lookups into array reads
  // whenever the occupied box is modest.
  dense_.clear();
  columns_ = Columns();
  if (cells_.empty()) return;
  int64_t lo[3] = {cells_[0].x, cells_[0].y, cells_[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
#pragma omp parallel for schedule(static) reduction(min : lo[:3]) reduction(max : hi[:3]) if (nC > kParallelCells)
  for (int64_t c = 0; c < nC; ++c) {
    const ParticleCell& cell = cells_[size_t(c)];
    const int64_t v[3] = {cell.x, cell.y, cell.z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  }
  int64_t dims[3], volume = 1;
  for (int a = 0; a < 3; ++a) {
    dims[a] = hi[a] - lo[a] + 1;
    volume *= dims[a];
    if (volume > (int64_t(1) << 24)) return;
  }
  if (volume > int64_t(cells_.size()) * 64 + 4096) return;
  dense_.assign(size_t(volume), -1);
  for (int a = 0; a < 3; ++a) {
    denseMin_[a] = lo[a];
    denseDim_[a] = dims[a];
  }
#pragma omp parallel for schedule(static) if (nC > kParallelCells)
  for (int64_t c = 0; c < nC; ++c) {
    const ParticleCell& cell = cells_[size_t(c)];
    dense_[size_t(((cell.z - lo[2]) * dims[1] + (cell.y - lo[1])) * dims[0] + (cell.x - lo[0]))] = int32_t(c);
  }
  BuildColumns();
}

void ParticleCellGrid::BuildColumns() {
  const int64_t nx = denseDim_[0], ny = denseDim_[1], nz = denseDim_[2];
  Columns& col = columns_;
  col.before.Reset(size_t(nx * ny * (nz + 1)));
  const size_t total = packed_.index.size();
  col.x.Reset(total);
  col.y.Reset(total);
  col.z.Reset(total);
  col.size.Reset(total);
  col.index.Reset(total);
  // Columns (x outer, y inner) follow each other in the copy: each counts
  // its particles, the counts are summed in column order, and then each
  // column fills its own range.
  const int64_t nCol = nx * ny;
  auto cellAt = [&](int64_t x, int64_t y, int64_t z) { return dense_[size_t((z * ny + y) * nx + x)]; };
  mesher_util::KeptVector<int32_t> colStart(size_t(nCol) + 1, 0);
  const bool parallel = int64_t(cells_.size()) > kParallelCells;
#pragma omp parallel for schedule(static) if (parallel)
  for (int64_t q = 0; q < nCol; ++q) {
    int32_t n = 0;
    for (int64_t z = 0; z < nz; ++z) {
      const int32_t c = cellAt(q / ny, q % ny, z);
      if (c >= 0) n += packed_.start[size_t(c) + 1] - packed_.start[size_t(c)];
    }
    colStart[size_t(q) + 1] = n;
  }
  for (size_t q = 0; q < size_t(nCol); ++q) colStart[q + 1] += colStart[q];
#pragma omp parallel for schedule(dynamic, 64) if (parallel)
  for (int64_t q = 0; q < nCol; ++q) {
    int32_t k = colStart[size_t(q)];
    int32_t* before = col.before.data() + size_t(q * (nz + 1));
    for (int64_t z = 0; z < nz; ++z) {
      before[z] = k;
      const int32_t c = cellAt(q / ny, q % ny, z);
      if (c < 0) continue;
      for (int32_t s = packed_.start[size_t(c)], e = packed_.start[size_t(c) + 1]; s < e; ++s, ++k) {
        col.x[size_t(k)] = packed_.x[size_t(s)];
        col.y[size_t(k)] = packed_.y[size_t(s)];
        col.z[size_t(k)] = packed_.z[size_t(s)];
        col.size[size_t(k)] = packed_.size[size_t(s)];
        col.index[size_t(k)] = packed_.index[size_t(s)];
      }
    }
    before[nz] = k;
  }
}
