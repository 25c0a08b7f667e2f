// ParticleCellGrid: the builder's particles bucketed by cell, for the
// neighbour pass and for the blob field's local sums.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/core/geom.h"
#include "host/core/large_buffer.h"
#include "mesher/mesher_util.h"

class SurfaceBuilder;

// A cell's particle list, kept by the grid: builder indices in insertion
// order. Valid until the grid is cleared or filled again.
class CellMembers {
 public:
  CellMembers() = default;
  CellMembers(const int32_t* data, int32_t size) : data_(data), size_(size) {}
  const int32_t* begin() const { return data_; }
  const int32_t* end() const { return data_ + size_; }
  size_t size() const { return size_t(size_); }
  bool empty() const { return size_ == 0; }
  int32_t operator[](size_t k) const { return data_[k]; }
  friend bool operator==(const CellMembers& a, const CellMembers& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  const int32_t* data_ = nullptr;
  int32_t size_ = 0;
};

struct ParticleCell {
  int32_t x = 0, y = 0, z = 0;
  CellMembers particles;
};

class ParticleCellGrid {
 public:
  static constexpr uint32_t kBucketCount = 255;

  explicit ParticleCellGrid(const SurfaceBuilder* builder);

  void SetCellSize(float w);
  float CellSize() const { return cellSize_; }
  float InverseCellSize() const { return invCellSize_; }
  const Point3& Origin() const { return origin_; }

  // Cell coordinate along one axis: (v - origin) / w truncated toward zero,
  // so cell 0 spans (-w, w). Values beyond the i32 range (a huge position
  // or a vanishing cell size) are clamped rather than left undefined.
  int32_t CellCoord(float v, int axis) const {
    return mesher_util::ClampedTrunc((v - origin_[axis]) * invCellSize_);
  }
  // Bucket of a cell: ((x*3 + y)*9 + z) in wrapping u32 arithmetic, mod 255.
  static uint32_t Bucket(int32_t x, int32_t y, int32_t z);

  // Appends particle i to the cell of its position, making the cell first.
  void Insert(int32_t i);
  // Insert of every particle 0..n-1 whose skip flag is clear, in index
  // order; the cells, their order and their lists come out the same, but
  // large sets are sorted into cells in parallel.
  void InsertAll(int32_t n);
  // The cell with these coordinates, or null.
  ParticleCell* Find(int32_t x, int32_t y, int32_t z);
  const ParticleCell* Find(int32_t x, int32_t y, int32_t z) const;
  // A new empty cell; does not look for an existing one.
  ParticleCell* Create(int32_t x, int32_t y, int32_t z);
  void Clear();

  // Cells in creation order.
  const mesher_util::KeptVector<ParticleCell>& Cells() const { return cells_; }
  int32_t FindIndex(int32_t x, int32_t y, int32_t z) const;
  // Cell indices in the grid's scan order: buckets 0..254, within a bucket
  // ascending x, equal x in creation order.
  std::vector<int32_t> ScanOrder() const;

  // Packed copy of the cells' particles (positions, sizes, indices, in cell
  // list order) for the field sums; built by Pack() once all are inserted.
  struct Packed {
    mesher_util::BigArray<int32_t> start;  // per cell, size cells + 1
    mesher_util::BigArray<float> x, y, z, size;
    mesher_util::BigArray<int32_t> index;
  };
  void Pack();
  const Packed& packed() const { return packed_; }
  // With the dense table, a second copy of the particles ordered by cell
  // (x, then y, then z; within a cell in list order): the cells of one
  // (x, y) column and a run of z follow each other, so the field's 27-cell
  // sum in x, y, z order reads nine contiguous runs.
  struct Columns {
    mesher_util::BigArray<float> x, y, z, size;
    mesher_util::BigArray<int32_t> index;
    // Per (x, y) column of the dense box and z in [0, dimZ]: the particles
    // of the column's cells below z come first in the copy, and this many
    // particles precede the column's cell z.
    mesher_util::BigArray<int32_t> before;
  };
  bool HasColumns() const { return !columns_.before.empty(); }
  const Columns& columns() const { return columns_; }
  // The run of the column copy holding cells (x, y, z0..z1), in [*begin,
  // *end); empty outside the dense box.
  void ColumnRun(int32_t x, int32_t y, int32_t z0, int32_t z1, int32_t* begin, int32_t* end) const {
    const int64_t dx = int64_t(x) - denseMin_[0], dy = int64_t(y) - denseMin_[1];
    const int64_t lz = std::max<int64_t>(int64_t(z0) - denseMin_[2], 0);
    const int64_t hz = std::min<int64_t>(int64_t(z1) - denseMin_[2], denseDim_[2] - 1);
    if (dx < 0 || dy < 0 || dx >= denseDim_[0] || dy >= denseDim_[1] || lz > hz) {
      *begin = *end = 0;
      return;
    }
    const int32_t* col = columns_.before.data() + size_t((dx * denseDim_[1] + dy) * (denseDim_[2] + 1));
    *begin = col[lz];
    *end = col[hz + 1];
  }
  // FindIndex through a dense table when the occupied box is small enough.
  int32_t LookupPacked(int32_t x, int32_t y, int32_t z) const {
    if (!dense_.empty()) {
      int64_t dx = int64_t(x) - denseMin_[0], dy = int64_t(y) - denseMin_[1], dz = int64_t(z) - denseMin_[2];
      if (dx < 0 || dy < 0 || dz < 0 || dx >= denseDim_[0] || dy >= denseDim_[1] || dz >= denseDim_[2]) return -1;
      return dense_[size_t((dz * denseDim_[1] + dy) * denseDim_[0] + dx)];
    }
    return FindIndex(x, y, z);
  }

 private:
  void Rehash(size_t capacity);
  void BuildColumns();
  // InsertAll's parallel sort by cell, when the cells' box is modest; false
  // (nothing changed) otherwise.
  bool InsertAllCounted(int32_t n);
  // Cells in creation order from each cell's members (ascending indices,
  // contiguous in members_), each particle's cell key, and the flags of
  // the particles that come first in their cells: a cell is created by its
  // lowest index.
  template <class CellOfKey>
  void CellsFromFirstMembers(int32_t n, const uint8_t* first, const uint32_t* key, const int32_t* start,
                             CellOfKey&& cellOf);

  const SurfaceBuilder* builder_;
  Point3 origin_{0.0f, 0.0f, 0.0f};
  float cellSize_ = 1.0f, invCellSize_ = 1.0f;
  mesher_util::KeptVector<ParticleCell> cells_;
  // The cells' lists: those InsertAll fills lie in one array, each cell's
  // run contiguous; those Insert grows have a vector each.
  mesher_util::KeptVector<int32_t> members_;
  std::vector<std::vector<int32_t>> grown_;
  mesher_util::KeptVector<int32_t> table_;  // open addressing: cell index or -1
  Packed packed_;
  Columns columns_;
  mesher_util::KeptVector<int32_t> dense_;
  int64_t denseMin_[3] = {0, 0, 0}, denseDim_[3] = {0, 0, 0};
};
