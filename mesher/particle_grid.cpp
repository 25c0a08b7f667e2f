#include "mesher/particle_grid.h"

#include <algorithm>
#include <cmath>

#include "mesher/mesher_util.h"
#include "mesher/surface_builder.h"


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
  cell->particles.push_back(i);
}

void ParticleCellGrid::Clear() {
  cells_.clear();
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
  p.start.resize(cells_.size() + 1, 0);
  size_t total = 0;
  for (size_t c = 0; c < cells_.size(); ++c) {
    p.start[c] = int32_t(total);
    total += cells_[c].particles.size();
  }
  p.start[cells_.size()] = int32_t(total);
  p.x.resize(total);
  p.y.resize(total);
  p.z.resize(total);
  p.size.resize(total);
  p.index.resize(total);
  size_t k = 0;
  for (const ParticleCell& cell : cells_)
    for (int32_t i : cell.particles) {
      const SurfaceParticle& sp = builder_->particles[size_t(i)];
      p.x[k] = sp.position.x;
      p.y[k] = sp.position.y;
      p.z[k] = sp.position.z;
      p.size[k] = sp.size;
      p.index[k] = i;
      ++k;
    }
  packed_ = std::move(p);

  // A dense cell table turns the field's 27 cell lookups into array reads
  // whenever the occupied box is modest.
  dense_.clear();
  columns_ = Columns();
  if (cells_.empty()) return;
  int64_t lo[3] = {cells_[0].x, cells_[0].y, cells_[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
  for (const ParticleCell& c : cells_) {
    const int64_t v[3] = {c.x, c.y, c.z};
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
  for (size_t c = 0; c < cells_.size(); ++c) {
    const ParticleCell& cell = cells_[c];
    dense_[size_t(((cell.z - lo[2]) * dims[1] + (cell.y - lo[1])) * dims[0] + (cell.x - lo[0]))] = int32_t(c);
  }
  BuildColumns();
}

void ParticleCellGrid::BuildColumns() {
  const int64_t nx = denseDim_[0], ny = denseDim_[1], nz = denseDim_[2];
  Columns& col = columns_;
  col.before.assign(size_t(nx * ny * (nz + 1)), 0);
  const size_t total = packed_.index.size();
  col.x.resize(total);
  col.y.resize(total);
  col.z.resize(total);
  col.size.resize(total);
  col.index.resize(total);
  int32_t k = 0;
  for (int64_t x = 0; x < nx; ++x)
    for (int64_t y = 0; y < ny; ++y) {
      int32_t* before = col.before.data() + size_t((x * ny + y) * (nz + 1));
      for (int64_t z = 0; z < nz; ++z) {
        before[z] = k;
        const int32_t c = dense_[size_t((z * ny + y) * nx + x)];
        if (c < 0) continue;
        for (int32_t q = packed_.start[size_t(c)], e = packed_.start[size_t(c) + 1]; q < e; ++q, ++k) {
          col.x[size_t(k)] = packed_.x[size_t(q)];
          col.y[size_t(k)] = packed_.y[size_t(q)];
          col.z[size_t(k)] = packed_.z[size_t(q)];
          col.size[size_t(k)] = packed_.size[size_t(q)];
          col.index[size_t(k)] = packed_.index[size_t(q)];
        }
      }
      before[nz] = k;
    }
}
