// Merging two closed outlines that touch along shared stretches or points.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/chain_crossings.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

struct XY {
  double x, y;
};

bool Near(const XY& a, const XY& b, double tol) { return Distance2D(a.x, a.y, b.x, b.y) <= tol; }

// The ring's vertices with every vertex of `other` that lies inside one of its
// segments inserted in order along the segment.
std::vector<XY> Refine(const Cadena& ring, const Cadena& other, double tol) {
  std::vector<XY> out;
  for (int32_t i = 0; i + 1 < ring.Count(); ++i) {
    XY a{ring.Point(i)->x(), ring.Point(i)->y()}, b{ring.Point(i + 1)->x(), ring.Point(i + 1)->y()};
    out.push_back(a);
    std::vector<std::pair<double, XY>> ins;
    for (int32_t k = 0; k + 1 < other.Count(); ++k) {
      XY q{other.Point(k)->x(), other.Point(k)->y()};
      double fx, fy, d;
      ClosestPointOnSegment(q.x, q.y, a.x, a.y, b.x, b.y, fx, fy, d);
      if (d > tol || Near(q, a, tol) || Near(q, b, tol)) continue;
      ins.push_back({SegmentParameter(a.x, a.y, b.x, b.y, q.x, q.y), q});
    }
    std::stable_sort(ins.begin(), ins.end(),
                     [](const auto& u, const auto& v) { return u.first < v.first; });
    for (const auto& e : ins)
      if (!Near(e.second, out.back(), tol)) out.push_back(e.second);
  }
  out.push_back(out.front());
  return out;
}

}  // namespace

void Cadena::PointToward(Punto2D* p, double x, double y, double d1, double d2, double& ox, double& oy) {
  double px = p ? p->x() : 0, py = p ? p->y() : 0;
  delete p;
  double f = d1 != 0 ? d2 / d1 : 0;
  ox = px + (x - px) * f;
  oy = py + (y - py) * f;
}

int16_t Cadena::Merge(const Cadena& other, Cadenas*& out, double tol, bool check) const {
  out = nullptr;
  if (kind_ != kClosed || other.kind_ != kClosed) return -991;
  if (check && Relation(other, true, tol) != 3) return -992;
  {
    Hilera* p = nullptr;
    Hilera* q = nullptr;
    CopyToHilera(p);
    other.CopyToHilera(q);
    std::unique_ptr<Hilera> hp(p), hq(q);
    CrossingRows rows;
    uint32_t count = 0;
    uint8_t flag = 0;
    FindChainCrossings(*hp, *hq, kContacts, rows, count, flag, tol);
    if (count == 0) return -991;
  }
  // Both outlines split at each other's vertices; stretches that both run
  // (in opposite directions) are interior to the union and cancel out.
  struct Edge {
    XY a, b;
    bool used = false;
  };
  std::vector<Edge> edges;
  const std::vector<XY> mine = Refine(*this, other, tol), theirs = Refine(other, *this, tol);
  for (size_t k = 0; k + 1 < mine.size(); ++k)
    if (!Near(mine[k], mine[k + 1], tol)) edges.push_back({mine[k], mine[k + 1]});
  const size_t nThis = edges.size();
  for (size_t k = 0; k + 1 < theirs.size(); ++k)
    if (!Near(theirs[k], theirs[k + 1], tol)) edges.push_back({theirs[k], theirs[k + 1]});
  for (size_t e = 0; e < nThis && e < edges.size(); ++e)
    for (size_t f = nThis; f < edges.size(); ++f)
      if (!edges[f].used && Near(edges[e].a, edges[f].b, tol) && Near(edges[e].b, edges[f].a, tol)) {
        edges[e].used = edges[f].used = true;
        break;
      }
  auto set = std::make_unique<Cadenas>();
  for (size_t s = 0; s < edges.size(); ++s) {
    if (edges[s].used) continue;
    Hilera row;
    XY first = edges[s].a;
    row.AddPoint(first.x, first.y);
    size_t cur = s;
    edges[cur].used = true;
    bool closed = false;
    for (size_t guard = 0; guard <= edges.size(); ++guard) {
      XY E = edges[cur].b, F = edges[cur].a;
      if (Near(E, first, tol)) {
        row.AddPoint(first.x, first.y);
        closed = true;
        break;
      }
      row.AddPoint(E.x, E.y);
      double back = PolarAngle(E.x, E.y, F.x, F.y);
      size_t best = edges.size();
      double bestAngle = 0;
      for (size_t f = 0; f < edges.size(); ++f) {
        if (edges[f].used || !Near(edges[f].a, E, tol)) continue;
        double ang = AngleDifference(back, PolarAngle(edges[f].a.x, edges[f].a.y, edges[f].b.x,
                                                      edges[f].b.y));
        if (best == edges.size() || ang < bestAngle) {
          best = f;
          bestAngle = ang;
        }
      }
      if (best == edges.size()) break;
      cur = best;
      edges[cur].used = true;
    }
    if (!closed) return -992;
    auto c = std::make_unique<Cadena>();
    if (!c->SetFromHilera(row) || c->Kind() != kClosed) return -992;
    set->Add(c.release());
  }
  if (set->Count() == 0) return -992;
  out = set.release();
  return kOk;
}
