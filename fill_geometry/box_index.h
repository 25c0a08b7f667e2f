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
  // segments = true: one box per segment of the chain; else one per vertex.
  BoxIndex(const Cadena& c, bool segments) {
    int32_t n = segments ? c.Count() - 1 : c.Count();
    for (int32_t i = 0; i < n; ++i) {
      const Punto2D* a = c.Point(i);
      const Punto2D* b = segments ? c.Point(i + 1) : a;
      Box box{std::min(a->x(), b->x()), std::max(a->x(), b->x()), std::min(a->y(), b->y()),
              std::max(a->y(), b->y()), i};
      widest_ = std::max(widest_, box.maxx - box.minx);
      boxes_.push_back(box);
    }
    std::sort(boxes_.begin(), boxes_.end(),
              [](const Box& a, const Box& b) { return a.maxx < b.maxx; });
  }

  // Indices of the boxes meeting [minx, maxx] x [miny, maxy] grown by tol.
  void Query(double minx, double maxx, double miny, double maxy, double tol,
             std::vector<int32_t>& out, bool sorted = true) const {
    out.clear();
    auto it = std::lower_bound(boxes_.begin(), boxes_.end(), minx - tol,
                               [](const Box& b, double v) { return b.maxx < v; });
    for (; it != boxes_.end(); ++it) {
      if (it->maxx - widest_ > maxx + tol) break;
      if (it->minx <= maxx + tol && it->miny <= maxy + tol && it->maxy >= miny - tol)
        out.push_back(it->id);
    }
    if (sorted) std::sort(out.begin(), out.end());
  }

 private:
  struct Box {
    double minx, maxx, miny, maxy;
    int32_t id;
  };
  std::vector<Box> boxes_;
  double widest_ = 0;
};

}  // namespace fillgeo
