#include "fill_geometry/indice_cruce.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "fill_geometry/cadena.h"
#include "fill_geometry/caja.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/hilera.h"

using namespace fillgeo;

void IndiceCruceEspacial::Build(double x0, double width, double y0, double height, double cell,
                                int32_t /*limit*/) {
  const double limit = kCellLimit;
  x0_ = x0;
  y0_ = y0;
  width_ = width + kTol;
  height_ = height + kTol;
  // std::fmin turns NaN (a zero or bad cell size) into the axis limit.
  auto axis = [&](double len) {
    double q = std::fmin(len / cell, kAxisLimit);
    int32_t n = (q > -1.0) ? static_cast<int32_t>(std::floor(q)) + 1 : 0;
    return std::max<int32_t>(4, n);
  };
  nx_ = axis(width_);
  ny_ = axis(height_);
  if (static_cast<int64_t>(nx_) * ny_ > kCellLimit) {
    double q = std::fmin(std::sqrt(width_ * limit / height_), kAxisLimit);
    nx_ = std::max<int32_t>(4, static_cast<int32_t>(std::floor(q + 0.5)));
    ny_ = static_cast<int32_t>(std::floor(std::fmin(kCellLimit / nx_, kAxisLimit) + 0.5));
    ny_ = std::max<int32_t>(1, ny_);
  }
  heads_.assign(static_cast<size_t>(nx_) * ny_, -1);
  entries_.clear();
  busy_.clear();
}

void IndiceCruceEspacial::InsertIntoCell(int32_t ix, int32_t iy, int32_t id) {
  if (ix < 0 || iy < 0 || ix >= nx_ || iy >= ny_) return;
  int32_t& head = heads_[static_cast<size_t>(ix) * ny_ + iy];
  if (head < 0) {
    head = static_cast<int32_t>(entries_.size());
    entries_.push_back({id, 1, -1});
    return;
  }
  int32_t k = head, last = head;
  while (k >= 0) {
    if (entries_[k].id == id) return;
    last = k;
    k = entries_[k].next;
  }
  int32_t first = head;
  entries_[first].count += 1;
  entries_[last].next = static_cast<int32_t>(entries_.size());
  entries_.push_back({id, 1, -1});
  if (entries_[first].count == 2)
    busy_.push_back({static_cast<int16_t>(ix), static_cast<int16_t>(iy)});
}

bool IndiceCruceEspacial::CellOf(double x, double y, int32_t& ix, int32_t& iy) const {
  if (heads_.empty()) return false;
  double dx = x - x0_, dy = y - y0_;
  if (!(dx >= 0 && dx < width_ && dy >= 0 && dy < height_)) return false;
  // Rounding can give nx for dx just below the width: clamp to the last cell.
  ix = std::min(static_cast<int32_t>(std::floor(nx_ * dx / width_)), nx_ - 1);
  iy = std::min(static_cast<int32_t>(std::floor(ny_ * dy / height_)), ny_ - 1);
  return true;
}

void IndiceCruceEspacial::ClampedCell(double x, double y, int32_t& ix, int32_t& iy) const {
  double fx = std::floor(nx_ * (x - x0_) / width_);
  double fy = std::floor(ny_ * (y - y0_) / height_);
  ix = static_cast<int32_t>(std::clamp(fx, 0.0, static_cast<double>(nx_ - 1)));
  iy = static_cast<int32_t>(std::clamp(fy, 0.0, static_cast<double>(ny_ - 1)));
}

bool IndiceCruceEspacial::InsertPoint(double x, double y, int32_t id) {
  int32_t ix, iy;
  if (!CellOf(x, y, ix, iy)) return false;
  InsertIntoCell(ix, iy, id);
  return true;
}

void IndiceCruceEspacial::WalkSegment(double x1, double y1, double x2, double y2, int32_t id) {
  int32_t i1, j1, i2, j2;
  ClampedCell(x1, y1, i1, j1);
  ClampedCell(x2, y2, i2, j2);
  InsertIntoCell(i1, j1, id);
  int32_t steps = 2 * std::max(std::abs(i2 - i1), std::abs(j2 - j1));
  int32_t pi = i1, pj = j1;
  for (int32_t s = 1; s <= steps; ++s) {
    double f = static_cast<double>(s) / steps;
    int32_t ci, cj;
    ClampedCell(x1 + (x2 - x1) * f, y1 + (y2 - y1) * f, ci, cj);
    if (ci == pi && cj == pj) continue;
    InsertIntoCell(ci, cj, id);
    if (ci != pi && cj != pj) {
      InsertIntoCell(pi, cj, id);
      InsertIntoCell(ci, pj, id);
    }
    pi = ci;
    pj = cj;
  }
}

bool IndiceCruceEspacial::InsertSegment(double x1, double y1, double x2, double y2, int32_t id) {
  if (heads_.empty()) return false;
  int32_t ix, iy;
  bool in1 = CellOf(x1, y1, ix, iy), in2 = CellOf(x2, y2, ix, iy);
  if (in1 && in2) {
    WalkSegment(x1, y1, x2, y2, id);
    return true;
  }
  Caja box;
  box.Set(x0_, x0_ + width_, y0_, y0_ + height_);
  if (box.ClassifySegment(x1, y1, x2, y2, 0.0) == Caja::kApart) return false;
  Hilera row;
  if (box.ClipSegment(x1, y1, x2, y2, row) == Caja::kApart && !in1 && !in2) return false;
  // The clipped part runs between the extreme points (by segment parameter)
  // among the boundary points and the ends inside the grid.
  double tLo = 2, tHi = -1, xl = 0, yl = 0, xh = 0, yh = 0;
  auto take = [&](double x, double y, double t) {
    if (t < tLo) { tLo = t; xl = x; yl = y; }
    if (t > tHi) { tHi = t; xh = x; yh = y; }
  };
  if (in1) take(x1, y1, 0.0);
  if (in2) take(x2, y2, 1.0);
  for (int32_t k = 0; k < row.Count(); ++k) {
    const Punto2D* p = row.Get(k);
    take(p->x(), p->y(), SegmentParameter(x1, y1, x2, y2, p->x(), p->y()));
  }
  if (tHi < tLo) return false;
  WalkSegment(xl, yl, xh, yh, id);
  return true;
}

bool IndiceCruceEspacial::Query(double x, double y, int32_t& count,
                                std::vector<int32_t>& ids) const {
  ids.clear();
  count = 0;
  int32_t ix, iy;
  if (!CellOf(x, y, ix, iy)) return false;
  int32_t k = heads_[static_cast<size_t>(ix) * ny_ + iy];
  if (k < 0) return false;
  for (; k >= 0; k = entries_[k].next) ids.push_back(entries_[k].id);
  count = static_cast<int32_t>(ids.size());
  return true;
}

void IndiceCruceEspacial::CollectPairs(int32_t& count,
                                       std::vector<std::pair<int32_t, int32_t>>& pairs) const {
  pairs.clear();
  for (const Busy& b : busy_) {
    int32_t head = heads_[static_cast<size_t>(b.ix) * ny_ + b.iy];
    for (int32_t a = head; a >= 0; a = entries_[a].next)
      for (int32_t c = entries_[a].next; c >= 0; c = entries_[c].next)
        pairs.emplace_back(entries_[a].id, entries_[c].id);
  }
  std::stable_sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  count = static_cast<int32_t>(pairs.size());
}

void CandidateSegmentPairs(const Cadena& chain, int32_t& count,
                           std::vector<std::pair<int32_t, int32_t>>& pairs) {
  pairs.clear();
  count = 0;
  int32_t n = chain.Count();
  if (n < 2) return;
  double w = chain.MaxX() - chain.MinX(), h = chain.MaxY() - chain.MinY();
  double cell = 0.1 * chain.Length() / (n - 1);
  // A chain whose length is not known yet (or is zero) gets a cell from its box.
  if (!(cell > 0)) cell = 0.1 * (w + h) / (n - 1);
  IndiceCruceEspacial index;
  index.Build(chain.MinX(), w, chain.MinY(), h, cell);
  for (int32_t k = 0; k + 1 < n; ++k) {
    const Punto2D* a = chain.Point(k);
    const Punto2D* b = chain.Point(k + 1);
    index.InsertSegment(a->x(), a->y(), b->x(), b->y(), k);
  }
  std::vector<std::pair<int32_t, int32_t>> all;
  int32_t total = 0;
  index.CollectPairs(total, all);
  for (const auto& p : all) {
    int32_t lo = std::min(p.first, p.second), hi = std::max(p.first, p.second);
    if (hi - lo > 1) pairs.emplace_back(lo, hi);
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  count = static_cast<int32_t>(pairs.size());
}
