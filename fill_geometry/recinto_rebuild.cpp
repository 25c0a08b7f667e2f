// Offsetting a region: every chain moved by d, then regrouped.
#include <memory>

#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"

using namespace fillgeo;

namespace {

// Outer chains (positive area) with the holes whose first point lies on the
// outer's material side; each group that validates becomes a region.
void GroupIntoRegions(Cadenas& kept, Recintos& out) {
  std::vector<Cadena*> outers, holes;
  for (int32_t i = 0; i < kept.Count(); ++i) {
    Cadena* c = kept.Get(i);
    (c->Area() > 0 ? outers : holes).push_back(c);
  }
  std::vector<uint8_t> taken(holes.size(), 0);
  for (Cadena* o : outers) {
    Cadenas group;
    group.Add(o);
    for (size_t h = 0; h < holes.size(); ++h) {
      if (taken[h]) continue;
      const Punto2D* p = holes[h]->Point(0);
      if (o->InnerSide(p->x(), p->y())) {
        group.Add(holes[h]);
        taken[h] = 1;
      }
    }
    auto region = std::make_unique<Recinto>();
    if (region->SetChains(group) == Recinto::kAccepted) out.Add(region.release());
    group.Detach();  // the chains still belong to `kept`
  }
}

}  // namespace

bool Recinto::Rebuild(double d, Recintos*& out) const {
  out = nullptr;
  Cadenas kept;
  for (int32_t i = 0; i < ChainCount(); ++i) {
    const Cadena* c = GetChain(i);
    const double A = c->Area();
    Cadena* off = nullptr;
    if (!c->SampleArcs(d, off)) continue;
    std::unique_ptr<Cadena> holder(off);
    if (off->Kind() == Cadena::kClosed) {
      if (off->Area() * A > 0) kept.Add(holder.release());
    } else if (off->Kind() == Cadena::kSelfCrossing) {
      Cadena* start = nullptr;
      Cadenas* pieces = nullptr;
      off->SplitSelfCrossing(start, pieces);
      std::unique_ptr<Cadena> s(start);
      std::unique_ptr<Cadenas> ps(pieces);
      if (s && s->Kind() == Cadena::kClosed && s->Area() * A > 0) kept.Add(s.release());
      if (ps) {
        for (int32_t k = 0; k < ps->Count(); ++k) {
          Cadena* p = ps->Get(k);
          if (p && p->Kind() == Cadena::kClosed && p->Area() * A > 0) {
            Cadena* copy = new Cadena();
            copy->CopyFrom(*p);
            kept.Add(copy);
          }
        }
      }
    }
  }
  if (kept.Count() == 0) return false;
  auto result = std::make_unique<Recintos>();
  GroupIntoRegions(kept, *result);
  if (result->Count() == 0) return false;
  out = result.release();
  return true;
}
