#include "fill_geometry/caja.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "fill_geometry/cadena.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/hilera.h"

using namespace fillgeo;

bool Caja::Set(double xmin, double xmax, double ymin, double ymax) {
  if (!(xmax >= xmin && ymax >= ymin)) return false;
  xmin_ = xmin;
  xmax_ = xmax;
  ymin_ = ymin;
  ymax_ = ymax;
  return true;
}

void Caja::SetFromChain(const Cadena& chain) {
  xmin_ = chain.MinX();
  xmax_ = chain.MaxX();
  ymin_ = chain.MinY();
  ymax_ = chain.MaxY();
}

bool Caja::ContainsPoint(double x, double y, double tol) const {
  return xmin_ - tol <= x && x <= xmax_ + tol && ymin_ - tol <= y && y <= ymax_ + tol;
}

int16_t Caja::CompareBox(double oxmin, double oxmax, double oymin, double oymax,
                         double tol) const {
  if (xmax_ + tol < oxmin || oxmax < xmin_ - tol || ymax_ + tol < oymin || oymax < ymin_ - tol)
    return kApart;
  if (xmin_ <= oxmin && oxmax <= xmax_ && ymin_ <= oymin && oymax <= ymax_) return kOtherInside;
  if (oxmin <= xmin_ && xmax_ <= oxmax && oymin <= ymin_ && ymax_ <= oymax) return kThisInside;
  return kOverlap;
}

int16_t Caja::CompareCaja(const Caja& o, double tol) const {
  return CompareBox(o.xmin_, o.xmax_, o.ymin_, o.ymax_, tol);
}

int16_t Caja::ClassifyBox(const Caja& o, double tol) const {
  int16_t c = CompareCaja(o, tol);
  return c == kApart ? static_cast<int16_t>(kApartBox) : c;
}

namespace {

struct EdgeHit {
  double t;  // parameter along the clipped segment
  double x, y;
};

// One box edge against the segment: crossings inside both segments are hit
// points; a collinear touch or overlap contributes the end points of the
// shared stretch. Returns true when the segment runs along the edge.
bool ClipEdge(double x1, double y1, double x2, double y2, double ex1, double ey1, double ex2,
              double ey2, std::vector<EdgeHit>& hits) {
  auto param = [&](double px, double py) { return SegmentParameter(x1, y1, x2, y2, px, py); };
  int16_t rel = SegmentRelation(x1, y1, x2, y2, ex1, ey1, ex2, ey2, kTol);
  if (rel == kRelTouch || rel > 0) {
    // The shared stretch is bounded by the end points lying on both segments.
    const double px[4] = {x1, x2, ex1, ex2}, py[4] = {y1, y2, ey1, ey2};
    double seg = Distance2D(x1, y1, x2, y2), edge = Distance2D(ex1, ey1, ex2, ey2);
    for (int k = 0; k < 4; ++k) {
      bool onSeg = k < 2 || PointLineDistance(px[k], py[k], x1, y1, x2, y2, seg) <= kTol;
      bool onEdge = k >= 2 || PointLineDistance(px[k], py[k], ex1, ey1, ex2, ey2, edge) <= kTol;
      if (!onSeg || !onEdge) continue;
      double ts = k < 2 ? static_cast<double>(k) : param(px[k], py[k]);
      double te = SegmentParameter(ex1, ey1, ex2, ey2, px[k], py[k]);
      if (ts >= -kTol / std::max(seg, kTol) && ts <= 1 + kTol / std::max(seg, kTol) &&
          te >= -kTol / std::max(edge, kTol) && te <= 1 + kTol / std::max(edge, kTol))
        hits.push_back({ts, px[k], py[k]});
    }
    return rel > 0;
  }
  if (rel == kRelAShort || rel == kRelBShort) return false;
  double x = 0, y = 0, tB = kNoParameter, tA = kNoParameter;
  int16_t sense = 0;
  IntersectSegments(x1, y1, x2, y2, ex1, ey1, ex2, ey2, x, y, tB, tA, sense, kTol);
  if (tA >= 0 && tA <= 1 && tB >= 0 && tB <= 1) hits.push_back({tA, x, y});
  return false;
}

}  // namespace

int16_t Caja::ClassifySegment(double x1, double y1, double x2, double y2, double tol) const {
  if (CompareBox(std::min(x1, x2), std::max(x1, x2), std::min(y1, y2), std::max(y1, y2), tol) ==
      kApart)
    return kApart;
  bool in1 = ContainsPoint(x1, y1, tol), in2 = ContainsPoint(x2, y2, tol);
  if (in1) return in2 ? 1 : 2;
  // The segment reaches the box with its second end: it meets the boundary.
  if (in2) return 4;
  const double ex[5] = {xmin_, xmax_, xmax_, xmin_, xmin_};
  const double ey[5] = {ymin_, ymin_, ymax_, ymax_, ymin_};
  for (int e = 0; e < 4; ++e) {
    int16_t rel = SegmentRelation(x1, y1, x2, y2, ex[e], ey[e], ex[e + 1], ey[e + 1], tol);
    if (rel == kRelTouch || rel > 0) return 4;
    double x = 0, y = 0, tB = kNoParameter, tA = kNoParameter;
    int16_t sense = 0;
    IntersectSegments(x1, y1, x2, y2, ex[e], ey[e], ex[e + 1], ey[e + 1], x, y, tB, tA, sense,
                      tol);
    if (tA >= 0 && tA <= 1 && tB >= 0 && tB <= 1) return 4;
  }
  return kApart;
}

int16_t Caja::ClassifyChain(const Cadena& chain, double tol) const {
  int16_t c = CompareBox(chain.MinX(), chain.MaxX(), chain.MinY(), chain.MaxY(), tol);
  if (c == kApart) return kApart;
  if (c == kOtherInside) return 1;
  for (int32_t i = 0; i + 1 < chain.Count(); ++i) {
    const Punto2D* a = chain.Point(i);
    const Punto2D* b = chain.Point(i + 1);
    if (ClassifySegment(a->x(), a->y(), b->x(), b->y(), tol) != kApart) return 2;
  }
  return 0;
}

int16_t Caja::ClipSegment(double x1, double y1, double x2, double y2, Hilera& row) const {
  if (CompareBox(std::min(x1, x2), std::max(x1, x2), std::min(y1, y2), std::max(y1, y2), kTol) ==
      kApart)
    return kApart;
  const double ex[5] = {xmin_, xmax_, xmax_, xmin_, xmin_};
  const double ey[5] = {ymin_, ymin_, ymax_, ymax_, ymin_};
  std::vector<EdgeHit> hits;
  bool along = false;
  for (int e = 0; e < 4; ++e)
    along |= ClipEdge(x1, y1, x2, y2, ex[e], ey[e], ex[e + 1], ey[e + 1], hits);
  std::stable_sort(hits.begin(), hits.end(),
                   [](const EdgeHit& a, const EdgeHit& b) { return a.t < b.t; });
  // Corners are met by two edges: keep one point per place.
  std::vector<EdgeHit> uniq;
  for (const EdgeHit& h : hits)
    if (uniq.empty() || Distance2D(uniq.back().x, uniq.back().y, h.x, h.y) > kTol)
      uniq.push_back(h);
  if (uniq.empty()) return kApart;
  if (uniq.size() == 1 && !along) {
    row.AddPoint(uniq[0].x, uniq[0].y);
    return 1;
  }
  row.AddPoint(uniq.front().x, uniq.front().y);
  if (uniq.size() > 1) row.AddPoint(uniq.back().x, uniq.back().y);
  return 2;
}
