// Merging two closed outlines that touch along shared stretches or points.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/chain_crossings.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/ring_overlay.h"

using namespace fillgeo;


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
    const std::unique_ptr<Hilera> hp = ToRow(), hq = other.ToRow();
    CrossingRows rows;
    uint32_t count = 0;
    uint8_t flag = 0;
    FindChainCrossings(*hp, *hq, kContacts, rows, count, flag, tol);
    if (count == 0) return -991;
  }
  // Both outlines split at each other's vertices; stretches that both run
  // (in opposite directions) are interior to the union and cancel out.
  std::vector<RingEdge> edges;
  AppendEdges(SplitRing(*this, {&other}, tol), edges, tol);
  const size_t nThis = edges.size();
  AppendEdges(SplitRing(other, {this}, tol), edges, tol);
  for (size_t e = 0; e < nThis; ++e)
    for (size_t f = nThis; f < edges.size(); ++f)
      if (!edges[f].used && NearPoints(edges[e].a, edges[f].b, tol) &&
          NearPoints(edges[e].b, edges[f].a, tol)) {
        edges[e].used = edges[f].used = true;
        break;
      }
  std::vector<std::vector<RingPoint>> rings;
  if (!LinkEdges(edges, tol, rings)) return -992;
  auto set = std::make_unique<Cadenas>();
  for (const auto& ring : rings) {
    Hilera row;
    for (const RingPoint& p : ring) row.AddPoint(p.x, p.y);
    auto c = std::make_unique<Cadena>();
    if (!c->SetFromHilera(row) || c->Kind() != kClosed) return -992;
    set->Add(c.release());
  }
  if (set->Count() == 0) return -992;
  out = set.release();
  return kOk;
}
