#include "fill_geometry/ring_overlay.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/box_index.h"
#include "fill_geometry/geometry.h"

namespace fillgeo {

bool NearPoints(const RingPoint& a, const RingPoint& b, double tol) {
  return Distance2D(a.x, a.y, b.x, b.y) <= tol;
}

void AddMeetings(const RingPoint& a, const RingPoint& b, const RingPoint& q0, const RingPoint& q1,
                 double tol, std::vector<std::pair<double, RingPoint>>& ins) {
  auto add = [&](const RingPoint& q) {
    if (NearPoints(q, a, tol) || NearPoints(q, b, tol)) return;
    ins.push_back({SegmentParameter(a.x, a.y, b.x, b.y, q.x, q.y), q});
  };
  for (const RingPoint& q : {q0, q1}) {
    double fx, fy, d;
    ClosestPointOnSegment(q.x, q.y, a.x, a.y, b.x, b.y, fx, fy, d);
    if (d <= tol) add(q);
  }
  double x = 0, y = 0, tB = kNoParameter, tA = kNoParameter;
  int16_t sense = 0;
  IntersectSegments(a.x, a.y, b.x, b.y, q0.x, q0.y, q1.x, q1.y, x, y, tB, tA, sense, tol);
  if (tA > 0 && tA < 1 && tB > 0 && tB < 1) add({x, y});
}

std::vector<RingPoint> SplitRing(const Cadena& ring, const std::vector<const Cadena*>& others,
                                 double tol) {
  std::vector<RingPoint> out;
  if (ring.Count() == 0) return out;
  std::vector<BoxIndex> segIndex;
  for (const Cadena* o : others) segIndex.emplace_back(*o, true);
  std::vector<int32_t> cand;
  for (int32_t i = 0; i + 1 < ring.Count(); ++i) {
    RingPoint a{ring.Point(i)->x(), ring.Point(i)->y()};
    RingPoint b{ring.Point(i + 1)->x(), ring.Point(i + 1)->y()};
    out.push_back(a);
    std::vector<std::pair<double, RingPoint>> ins;
    for (size_t oi = 0; oi < others.size(); ++oi) {
      const Cadena& o = *others[oi];
      segIndex[oi].Query(std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y),
                         std::max(a.y, b.y), tol, cand);
      for (int32_t k : cand) {
        RingPoint q0{o.Point(k)->x(), o.Point(k)->y()}, q1{o.Point(k + 1)->x(), o.Point(k + 1)->y()};
        AddMeetings(a, b, q0, q1, tol, ins);
      }
    }
    std::stable_sort(ins.begin(), ins.end(),
                     [](const auto& u, const auto& v) { return u.first < v.first; });
    for (const auto& e : ins)
      if (!NearPoints(e.second, out.back(), tol)) out.push_back(e.second);
  }
  out.push_back(out.front());
  return out;
}

void AppendEdges(const std::vector<RingPoint>& ring, std::vector<RingEdge>& edges, double tol) {
  for (size_t k = 0; k + 1 < ring.size(); ++k)
    if (!NearPoints(ring[k], ring[k + 1], tol)) edges.push_back({ring[k], ring[k + 1]});
}

bool LinkEdges(std::vector<RingEdge>& edges, double tol,
               std::vector<std::vector<RingPoint>>& rings) {
  // Edges by start x, for the junction search.
  std::vector<size_t> order(edges.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](size_t u, size_t v) { return edges[u].a.x < edges[v].a.x; });
  std::vector<double> xs;
  for (size_t k : order) xs.push_back(edges[k].a.x);
  for (size_t s = 0; s < edges.size(); ++s) {
    if (edges[s].used) continue;
    std::vector<RingPoint> ring{edges[s].a};
    const RingPoint first = edges[s].a;
    size_t cur = s;
    edges[cur].used = true;
    bool closed = false;
    for (size_t guard = 0; guard <= edges.size(); ++guard) {
      const RingPoint E = edges[cur].b, F = edges[cur].a;
      if (NearPoints(E, first, tol)) {
        ring.push_back(first);
        closed = true;
        break;
      }
      ring.push_back(E);
      const double back = PolarAngle(E.x, E.y, F.x, F.y);
      size_t best = edges.size();
      double bestAngle = 0;
      auto lo = std::lower_bound(xs.begin(), xs.end(), E.x - tol);
      for (size_t k = static_cast<size_t>(lo - xs.begin()); k < xs.size() && xs[k] <= E.x + tol; ++k) {
        size_t f = order[k];
        if (edges[f].used || !NearPoints(edges[f].a, E, tol)) continue;
        double ang = AngleDifference(back, PolarAngle(edges[f].a.x, edges[f].a.y, edges[f].b.x,
                                                      edges[f].b.y));
        if (best == edges.size() || ang < bestAngle || (ang == bestAngle && f < best)) {
          best = f;
          bestAngle = ang;
        }
      }
      if (best == edges.size()) break;
      cur = best;
      edges[cur].used = true;
    }
    if (!closed) return false;
    rings.push_back(std::move(ring));
  }
  return true;
}

}  // namespace fillgeo
