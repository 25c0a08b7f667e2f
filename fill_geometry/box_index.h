// Internal: boxes sorted by max x for range searches (segment boxes of a
// chain, or its vertices as point boxes). Results are independent of the
// search order, so callers that need index order sort the hits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fill_geometry/cadena.h"

namespace fillgeo {

class BoxIndex {
 public:
  struct Box {
    double minx, maxx, miny, maxy;
    int32_t id;
  };

  // segments = true: one box per segment of the chain; else one per vertex.
  BoxIndex(const Cadena& c, bool segments) {
    int32_t n = segments ? c.Count() - 1 : c.Count();
    std::vector<Box> all;
    for (int32_t i = 0; i < n; ++i) {
      const Punto2D* a = c.Point(i);
      const Punto2D* b = segments ? c.Point(i + 1) : a;
      all.push_back({std::min(a->x(), b->x()), std::max(a->x(), b->x()), std::min(a->y(), b->y()),
                     std::max(a->y(), b->y()), i});
    }
    Init(all);
  }
  explicit BoxIndex(const std::vector<Box>& all) { Init(all); }

  // Indices of the boxes meeting [minx, maxx] x [miny, maxy] grown by tol.
  void Query(double minx, double maxx, double miny, double maxy, double tol,
             std::vector<int32_t>& out, bool sorted = true) const {
    out.clear();
    auto meets = [&](const Box& b) {
      return b.minx <= maxx + tol && b.maxx >= minx - tol && b.miny <= maxy + tol &&
             b.maxy >= miny - tol;
    };
    auto it = std::lower_bound(boxes_.begin(), boxes_.end(), minx - tol,
                               [](const Box& b, double v) { return b.maxx < v; });
    for (; it != boxes_.end(); ++it) {
      if (it->maxx - widest_ > maxx + tol) break;
      if (meets(*it)) out.push_back(it->id);
    }
    for (const Box& b : wide_)
      if (meets(b)) out.push_back(b.id);
    if (sorted) std::sort(out.begin(), out.end());
  }

 private:
  void Init(const std::vector<Box>& all) {
    std::vector<double> widths;
    for (const Box& b : all) widths.push_back(b.maxx - b.minx);
    // A few very wide boxes would stretch the sweep's stop rule over every
    // box: they are kept aside and tested one by one.
    double limit = 0;
    if (!widths.empty()) {
      std::nth_element(widths.begin(), widths.begin() + widths.size() / 2, widths.end());
      limit = 16 * widths[widths.size() / 2];
    }
    for (const Box& b : all) {
      if (b.maxx - b.minx > limit && all.size() > 64) {
        wide_.push_back(b);
      } else {
        widest_ = std::max(widest_, b.maxx - b.minx);
        boxes_.push_back(b);
      }
    }
    std::sort(boxes_.begin(), boxes_.end(),
              [](const Box& a, const Box& b) { return a.maxx < b.maxx; });
  }

  std::vector<Box> boxes_;
  std::vector<Box> wide_;
  double widest_ = 0;
};

}  // namespace fillgeo
