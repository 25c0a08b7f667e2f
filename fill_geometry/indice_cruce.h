// IndiceCruceEspacial: a uniform 2D grid of id lists, so that ids sharing a
// cell can be collected as candidate pairs without comparing all of them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class Cadena;

class IndiceCruceEspacial {
 public:
  static constexpr int32_t kCellLimit = 500000;
  static constexpr int32_t kAxisLimit = 32765;

  IndiceCruceEspacial() { entries_.reserve(10); busy_.reserve(10); }
  virtual ~IndiceCruceEspacial() = default;

  // The rectangle is stored 1e-8 wider and taller than given; the cell limit
  // is always 500000 whatever is passed.
  void Build(double x0, double width, double y0, double height, double cell,
             int32_t limit = kCellLimit);
  void InsertIntoCell(int32_t ix, int32_t iy, int32_t id);
  bool InsertPoint(double x, double y, int32_t id);
  bool InsertSegment(double x1, double y1, double x2, double y2, int32_t id);
  // Ids of the point's cell, in list order; false when outside or empty.
  bool Query(double x, double y, int32_t& count, std::vector<int32_t>& ids) const;
  // Distinct pairs of ids sharing a cell, sorted by first then second id.
  void CollectPairs(int32_t& count, std::vector<std::pair<int32_t, int32_t>>& pairs) const;

  int32_t nx() const { return nx_; }
  int32_t ny() const { return ny_; }
  int32_t EntryCount() const { return static_cast<int32_t>(entries_.size()); }
  int32_t BusyCount() const { return static_cast<int32_t>(busy_.size()); }
  // Cell of a point inside the grid; false outside (half-open bounds).
  bool CellOf(double x, double y, int32_t& ix, int32_t& iy) const;

 private:
  struct Entry {
    int32_t id, count, next;
  };
  struct Busy {
    int16_t ix, iy;
  };
  void ClampedCell(double x, double y, int32_t& ix, int32_t& iy) const;
  void WalkSegment(double x1, double y1, double x2, double y2, int32_t id);

  std::vector<int32_t> heads_;
  double x0_ = 0, width_ = 0, y0_ = 0, height_ = 0;
  int32_t nx_ = 0, ny_ = 0;
  std::vector<Entry> entries_;
  std::vector<Busy> busy_;
};

// Candidate crossing pairs of one chain's segments: pairs (i, j), i < j, of
// segments sharing a cell that are not neighbours in the point order.
void CandidateSegmentPairs(const Cadena& chain, int32_t& count,
                           std::vector<std::pair<int32_t, int32_t>>& pairs);
