// Offsetting a region: every chain moved by d, the moved chains cut at each
// other, and the boundary of the area they wind around positively relinked.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/box_index.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"
#include "fill_geometry/ring_overlay.h"

using namespace fillgeo;

namespace {

using Ring = std::vector<RingPoint>;

// Winding of a closed ring (last point = first) around p, counted so that a
// ring of positive chain area (clockwise) gives +1 inside.
int32_t MaterialWinding(const Ring& ring, double px, double py) {
  int32_t w = 0;
  for (size_t k = 0; k + 1 < ring.size(); ++k) {
    const RingPoint& a = ring[k];
    const RingPoint& b = ring[k + 1];
    const double side = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
    if (a.y <= py) {
      if (b.y > py && side > 0) --w;
    } else if (b.y <= py && side < 0) {
      ++w;
    }
  }
  return w;
}

struct Segment {
  RingPoint a, b;
  int32_t ring;
};

// Every ring cut at its crossings and contacts with every ring, itself
// included (an offset that folds over itself crosses itself).
std::vector<Ring> CutRings(const std::vector<Ring>& rings, double tol) {
  std::vector<Segment> segs;
  std::vector<BoxIndex::Box> boxes;
  for (size_t r = 0; r < rings.size(); ++r)
    for (size_t k = 0; k + 1 < rings[r].size(); ++k) {
      const RingPoint& a = rings[r][k];
      const RingPoint& b = rings[r][k + 1];
      boxes.push_back({std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y),
                       std::max(a.y, b.y), static_cast<int32_t>(segs.size())});
      segs.push_back({a, b, static_cast<int32_t>(r)});
    }
  BoxIndex index(boxes);
  std::vector<Ring> out;
  std::vector<int32_t> cand;
  size_t s = 0;
  for (size_t r = 0; r < rings.size(); ++r) {
    Ring cut;
    for (size_t k = 0; k + 1 < rings[r].size(); ++k, ++s) {
      const RingPoint a = segs[s].a, b = segs[s].b;
      cut.push_back(a);
      std::vector<std::pair<double, RingPoint>> ins;
      index.Query(std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y), std::max(a.y, b.y),
                  tol, cand);
      for (int32_t o : cand)
        if (static_cast<size_t>(o) != s) AddMeetings(a, b, segs[o].a, segs[o].b, tol, ins);
      std::stable_sort(ins.begin(), ins.end(),
                       [](const auto& u, const auto& v) { return u.first < v.first; });
      for (const auto& e : ins)
        if (!NearPoints(e.second, cut.back(), tol)) cut.push_back(e.second);
    }
    cut.push_back(rings[r].back());
    out.push_back(std::move(cut));
  }
  return out;
}

std::unique_ptr<Cadena> ChainOf(const Ring& ring) {
  Hilera row;
  for (const RingPoint& p : ring) row.AddPoint(p.x, p.y);
  auto c = std::make_unique<Cadena>();
  if (!c->SetFromHilera(row) || c->Kind() != Cadena::kClosed) return nullptr;
  return c;
}

}  // namespace

namespace fillgeo {

bool OffsetChains(const std::vector<const Cadena*>& chains, double d, Recintos& out) {
  if (!std::isfinite(d) || chains.empty()) return false;
  // Each chain moved on its own; where the moved chains cross each other or
  // themselves, the region is what they wind around positively (a hole's
  // ring winds -1, a fold's loop turns the other way).
  std::vector<Ring> moved;
  std::vector<std::unique_ptr<Cadena>> owners;
  for (const Cadena* c : chains) {
    if (!c || c->Kind() != Cadena::kClosed) return false;
    Cadena* off = nullptr;
    if (!c->SampleArcs(d, off)) continue;  // vanished under the move
    std::unique_ptr<Cadena> holder(off);
    Ring ring;
    for (int32_t k = 0; k < off->Count(); ++k) ring.push_back({off->Point(k)->x(), off->Point(k)->y()});
    if (ring.size() < 4) continue;
    if (!NearPoints(ring.front(), ring.back(), kTol)) ring.push_back(ring.front());
    ring.back() = ring.front();
    moved.push_back(std::move(ring));
  }
  if (moved.empty()) return false;
  auto winding = [&](double x, double y) {
    int32_t w = 0;
    for (const Ring& r : moved) w += MaterialWinding(r, x, y);
    return w;
  };
  // The source region's material, for a shrink: nothing may lie outside it.
  auto inSource = [&](double x, double y) {
    for (const Cadena* c : chains)
      if (!c->InnerSide(x, y)) return false;
    return true;
  };
  std::vector<Ring> cut = CutRings(moved, kTol);
  std::vector<RingEdge> edges;
  const double reach = std::fabs(d);
  for (const Ring& r : cut) {
    for (size_t k = 0; k + 1 < r.size(); ++k) {
      const RingPoint a = r[k], b = r[k + 1];
      const double len = Distance2D(a.x, a.y, b.x, b.y);
      if (len <= kTol) continue;
      // Probe both sides close to the edge's middle: an edge bounds the
      // region when exactly one side is wound positively.
      const double h = std::max(1e-9, std::min(1e-4 * len, 1e-4 * reach));
      const double mx = 0.5 * (a.x + b.x), my = 0.5 * (a.y + b.y);
      const double nx = -(b.y - a.y) / len, ny = (b.x - a.x) / len;  // left normal
      const bool left = winding(mx + h * nx, my + h * ny) >= 1;
      const bool right = winding(mx - h * nx, my - h * ny) >= 1;
      if (left == right) continue;
      if (d < 0) {
        const double sx = left ? mx + h * nx : mx - h * nx, sy = left ? my + h * ny : my - h * ny;
        if (!inSource(sx, sy)) return false;
      }
      // Material on the right of the walk, as on a clockwise outer ring.
      if (left) edges.push_back({b, a});
      else edges.push_back({a, b});
    }
  }
  if (edges.empty()) return false;
  std::vector<Ring> rings;
  if (!LinkEdges(edges, kTol, rings)) return false;

  std::vector<std::unique_ptr<Cadena>> outers, holes;
  for (const Ring& r : rings) {
    auto c = ChainOf(r);
    if (!c || std::fabs(c->Area()) <= kTol * kTol) continue;
    (c->Area() > 0 ? outers : holes).push_back(std::move(c));
  }
  if (outers.empty()) return false;
  // A hole joins the smallest outer ring around the material beside its
  // first edge (its own points may lie on an outer ring where they touch).
  std::vector<std::vector<Cadena*>> groups(outers.size());
  for (auto& h : holes) {
    const Punto2D* p = h->Point(0);
    const Punto2D* q = h->Point(1);
    const double len = Distance2D(p->x(), p->y(), q->x(), q->y());
    const double e = std::max(1e-9, std::min(1e-4 * len, 1e-4 * reach));
    const double mx = 0.5 * (p->x() + q->x()), my = 0.5 * (p->y() + q->y());
    const double sx = mx + e * (q->y() - p->y()) / len, sy = my - e * (q->x() - p->x()) / len;
    size_t best = outers.size();
    for (size_t o = 0; o < outers.size(); ++o)
      if (outers[o]->InnerSide(sx, sy) &&
          (best == outers.size() || outers[o]->Area() < outers[best]->Area()))
        best = o;
    if (best < outers.size()) groups[best].push_back(h.get());
  }
  int32_t made = 0;
  for (size_t o = 0; o < outers.size(); ++o) {
    Cadenas set;
    set.Add(outers[o].get());
    for (Cadena* h : groups[o]) set.Add(h);
    auto region = std::make_unique<Recinto>();
    int16_t code = region->SetChains(set);
    // The rings come from one consistent boundary: where two of them merely
    // touch at a point the relation test refuses them, but the rows still
    // cross them correctly.
    if (code == Recinto::kBadHole || code == Recinto::kBadHolePair)
      code = region->SetChains(set, false);
    set.Detach();
    if (code != Recinto::kAccepted) continue;
    out.Add(region.release());
    ++made;
  }
  return made > 0;
}

}  // namespace fillgeo

bool Recinto::Rebuild(double d, Recintos*& out) const {
  out = nullptr;
  std::vector<const Cadena*> chains;
  for (int32_t i = 0; i < ChainCount(); ++i) chains.push_back(GetChain(i));
  auto result = std::make_unique<Recintos>();
  if (!OffsetChains(chains, d, *result) || result->Count() == 0) return false;
  out = result.release();
  return true;
}
