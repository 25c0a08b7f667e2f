// Cutting a region by a closed chain, and building regions from offset
// outlines with their holes cut out.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"
#include "fill_geometry/ring_overlay.h"

using namespace fillgeo;

namespace {

Cadena* ChainFromRing(const std::vector<RingPoint>& ring) {
  Hilera row;
  for (const RingPoint& p : ring) row.AddPoint(p.x, p.y);
  auto c = std::make_unique<Cadena>();
  if (!c->SetFromHilera(row) || c->Kind() != Cadena::kClosed) return nullptr;
  return c.release();
}

// Outer rings (ascending area, so a hole goes to the smallest outer around
// it) with the holes whose first point lies inside them.
bool GroupRings(std::vector<std::unique_ptr<Cadena>>& rings, Recintos& out) {
  std::vector<Cadena*> outers, holes;
  for (auto& r : rings) (r->Area() > 0 ? outers : holes).push_back(r.get());
  std::stable_sort(outers.begin(), outers.end(),
                   [](const Cadena* a, const Cadena* b) { return a->Area() < b->Area(); });
  std::vector<uint8_t> taken(holes.size(), 0);
  bool ok = true;
  for (Cadena* o : outers) {
    Cadenas group;
    group.Add(o);
    for (size_t h = 0; h < holes.size(); ++h) {
      const Punto2D* p = holes[h]->Point(0);
      if (!taken[h] && o->InnerSide(p->x(), p->y()) && std::fabs(holes[h]->Area()) < o->Area()) {
        group.Add(holes[h]);
        taken[h] = 1;
      }
    }
    auto region = std::make_unique<Recinto>();
    if (region->SetChains(group) == Recinto::kAccepted) out.Add(region.release());
    else ok = false;
    group.Detach();
  }
  return ok;
}

}  // namespace

int16_t Recinto::SplitByChain(const Cadena& cut, double tol, Recintos*& out) const {
  out = nullptr;
  if (cut.Kind() != Cadena::kClosed || ChainCount() == 0) return -999;
  // Does the cutting chain meet any chain of the region?
  bool meets = false;
  for (int32_t i = 0; i < ChainCount() && !meets; ++i) {
    uint32_t count = 0;
    bool shared = false, overlayCross = false;
    GetChain(i)->ContactSummary(cut, tol, count, shared, overlayCross);
    meets = count > 0 || shared;
  }
  auto result = std::make_unique<Recintos>();
  const Punto2D* c0 = cut.Point(0);
  const Punto2D* r0 = GetChain(0)->Point(0);
  if (!meets) {
    bool cutInRegion = ContainsPoint(c0->x(), c0->y());
    bool regionKept = cut.InnerSide(r0->x(), r0->y());
    if (!regionKept && !cutInRegion) {  // the region lies in the cut-away part
      out = result.release();
      return 2;
    }
    if (!cutInRegion) return 0;  // nothing of the region is cut away
    // The cutting ring lies in the region's material: a hole is added (or,
    // for an outer ring, the region shrinks to it).
    Cadenas set;
    if (cut.Area() < 0)
      for (int32_t i = 0; i < ChainCount(); ++i) set.Add(GetChain(i));
    set.Add(const_cast<Cadena*>(&cut));
    auto region = std::make_unique<Recinto>();
    int16_t code = region->SetChains(set);
    set.Detach();
    if (code != kAccepted) return -999;
    result->Add(region.release());
    out = result.release();
    return 2;
  }
  // Edges of the region on the cut's material side, and edges of the cut
  // inside the region; a stretch both run the same way is kept once.
  std::vector<const Cadena*> mine;
  for (int32_t i = 0; i < ChainCount(); ++i) mine.push_back(GetChain(i));
  std::vector<RingEdge> regionEdges, cutEdges, kept;
  for (const Cadena* c : mine) AppendEdges(SplitRing(*c, {&cut}, tol), regionEdges, tol);
  AppendEdges(SplitRing(cut, mine, tol), cutEdges, tol);
  auto onCut = [&](double x, double y) { return cut.OnChain(x, y, tol); };
  auto onRegion = [&](double x, double y) {
    for (const Cadena* c : mine)
      if (c->OnChain(x, y, tol)) return true;
    return false;
  };
  for (const RingEdge& e : regionEdges) {
    double mx = 0.5 * (e.a.x + e.b.x), my = 0.5 * (e.a.y + e.b.y);
    if (onCut(mx, my)) {
      bool same = false;
      for (const RingEdge& f : cutEdges)
        same |= NearPoints(e.a, f.a, tol) && NearPoints(e.b, f.b, tol);
      if (same) kept.push_back(e);
    } else if (cut.InnerSide(mx, my)) {
      kept.push_back(e);
    }
  }
  for (const RingEdge& e : cutEdges) {
    double mx = 0.5 * (e.a.x + e.b.x), my = 0.5 * (e.a.y + e.b.y);
    if (!onRegion(mx, my) && ContainsPoint(mx, my)) kept.push_back(e);
  }
  std::vector<std::vector<RingPoint>> rings;
  if (!LinkEdges(kept, tol, rings)) return -999;
  std::vector<std::unique_ptr<Cadena>> chains;
  for (const auto& r : rings) {
    Cadena* c = ChainFromRing(r);
    if (!c) return -999;
    chains.emplace_back(c);
  }
  if (!GroupRings(chains, *result)) return -999;
  out = result.release();
  return 2;
}

bool Cadenas::BuildRegions(Recintos*& out, double tol) const {
  out = nullptr;
  if (Count() == 0) return false;
  Cadenas outers, holes;
  for (const Cadena* c : chains_) {
    if (!c || c->Kind() != Cadena::kClosed) continue;
    Cadena* k = new Cadena();
    k->CopyFrom(*c);
    (k->Area() > 0.0 ? outers : holes).Add(k);
  }
  if (outers.Count() == 0) return false;
  auto regions = std::make_unique<Recintos>();
  for (int32_t i = 0; i < outers.Count(); ++i) {
    Cadenas one;
    one.Add(outers.Get(i));
    auto r = std::make_unique<Recinto>();
    r->SetChains(one);
    one.Detach();
    regions->Add(r.release());
  }
  const int32_t R = regions->Count(), H = holes.Count();
  if (H == 0) {
    out = regions.release();
    return true;
  }
  std::vector<std::vector<uint8_t>> M(static_cast<size_t>(R), std::vector<uint8_t>(H, 0));
  bool any = false;
  for (int32_t j = 0; j < R; ++j) {
    Caja box;
    box.SetFromChain(*outers.Get(j));
    for (int32_t k = 0; k < H; ++k) {
      Caja hb;
      hb.SetFromChain(*holes.Get(k));
      if (box.ClassifyBox(hb, tol) < 5) M[j][k] = any = 1;
    }
  }
  if (any) {
    std::vector<int32_t> L(static_cast<size_t>(R));
    for (int32_t j = 0; j < R; ++j) L[j] = j;
    auto flagsLeft = [&]() {
      for (const auto& row : M)
        for (uint8_t f : row)
          if (f) return true;
      return false;
    };
    // Every pass clears at least one flag per tag still listed.
    for (int32_t pass = 0; pass <= R * H + 1 && flagsLeft(); ++pass) {
      auto N = std::make_unique<Recintos>();
      std::vector<int32_t> L2;
      bool split = false;
      for (size_t p = 0; p < L.size(); ++p) {
        const int32_t j = L[p];
        const Recinto* region = regions->Get(static_cast<int32_t>(p));
        bool changed = false;
        for (int32_t k = 0; k < H; ++k) {
          if (!M[j][k]) continue;
          if (!(p + 1 < L.size() && L[p + 1] == j)) M[j][k] = 0;
          Recintos* pieces = nullptr;
          int16_t code = region->SplitByChain(*holes.Get(k), tol, pieces);
          if (code > 0) {
            changed = true;
            if (pieces) {
              for (int32_t q = 0; q < pieces->Count(); ++q) {
                N->Add(pieces->Get(q));
                L2.push_back(j);
              }
              pieces->Detach();
              delete pieces;
            }
            if (code == 2) {
              split = true;
              break;
            }
          } else {
            delete pieces;
          }
        }
        if (!changed) {
          Recinto* copy = nullptr;
          region->Copy(copy);
          N->Add(copy);
          L2.push_back(j);
        }
      }
      if (!split) break;
      regions = std::move(N);
      L = L2;
    }
  }
  out = regions.release();
  return true;
}
