#include "fill_geometry/shape_lattice.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"

using namespace fillgeo;

namespace {

constexpr double kSqrt3 = 1.73205080756888;
constexpr double kLayerFactor = 1.63299316185545;
// Radii at or below the length tolerance give no lattice (a zero step would
// never advance), and a lattice beyond this many points is refused.
constexpr double kMinRadius = 1e-8;
constexpr double kMaxPoints = 5e7;

void Fail(uint32_t& c1, double**& p1, uint32_t& c2, double**& p2) {
  c1 = c2 = 0;
  p1 = p2 = nullptr;
}

double** ToArray(std::vector<double*>& pts) {
  if (pts.empty()) return nullptr;
  double** a = new double*[pts.size()];
  std::copy(pts.begin(), pts.end(), a);
  pts.clear();
  return a;
}

// Lattice origin along one axis, centred on [low, high].
double CentredOrigin(double low, double high, double step) {
  double m = 0.5 * (low + high);
  return m - std::floor((m - low) / step) * step;
}

// Whether a hole lies in an outer ring: some point of it (a vertex, else
// an edge's middle) lies inside the ring and off it. A first point that
// touches the ring decides nothing.
bool HoleBelongsTo(const Cadena& outer, const Cadena& hole) {
  auto strictlyIn = [&](double x, double y) {
    return outer.InnerSide(x, y) && outer.NearestDistance(x, y) > kTol;
  };
  for (int32_t k = 0; k + 1 < hole.Count(); ++k)
    if (strictlyIn(hole.Point(k)->x(), hole.Point(k)->y())) return true;
  for (int32_t k = 0; k + 1 < hole.Count(); ++k)
    if (strictlyIn(0.5 * (hole.Point(k)->x() + hole.Point(k + 1)->x()),
                   0.5 * (hole.Point(k)->y() + hole.Point(k + 1)->y())))
      return true;
  return false;
}

}  // namespace

const char* ShapeLatticeStatusText(ShapeLatticeStatus status) {
  switch (status) {
    case ShapeLatticeStatus::kBuilt: return "built";
    case ShapeLatticeStatus::kBadRadius: return "no usable particle radius";
    case ShapeLatticeStatus::kNoOutline: return "it has no outline that bounds an area";
    case ShapeLatticeStatus::kNotClosed: return "an outline is open";
    case ShapeLatticeStatus::kSelfCrossing: return "an outline crosses itself";
    case ShapeLatticeStatus::kOverlapping: return "two of its outlines cross or overlap";
    case ShapeLatticeStatus::kNested: return "an outline lies inside another drawn the same way round "
                                             "(a hole must run the other way)";
    case ShapeLatticeStatus::kTooSmall: return "it is smaller than one emission step";
    case ShapeLatticeStatus::kTooLarge: return "it is too large for the emission step";
  }
  return "unknown";
}

uint8_t BuildRegionsFromChains(const Hileras& outlines, double r, uint32_t& count1,
                               double**& points1, uint32_t& count2, double**& points2,
                               double margin, double originX, double originY,
                               ShapeLatticeStatus* status) {
  Fail(count1, points1, count2, points2);
  auto fail = [&](ShapeLatticeStatus why) -> uint8_t {
    if (status) *status = why;
    return 0;
  };
  if (status) *status = ShapeLatticeStatus::kBuilt;
  if (margin == kUnset) margin = r;
  if (!(r > kMinRadius) || !(margin >= 0) || !std::isfinite(r) || !std::isfinite(margin))
    return fail(ShapeLatticeStatus::kBadRadius);
  if (outlines.Count() == 0) return fail(ShapeLatticeStatus::kNoOutline);
  double bx0 = kBig, bx1 = -kBig, by0 = kBig, by1 = -kBig;
  for (int32_t i = 0; i < outlines.Count(); ++i) {
    const Hilera* row = outlines.Get(i);
    if (!row) return fail(ShapeLatticeStatus::kNotClosed);
    for (int32_t k = 0; k < row->Count(); ++k) {
      const Punto2D* p = row->Get(k);
      bx0 = std::min(bx0, p->x());
      bx1 = std::max(bx1, p->x());
      by0 = std::min(by0, p->y());
      by1 = std::max(by1, p->y());
    }
  }
  if (!(bx1 >= bx0 && by1 >= by0)) return fail(ShapeLatticeStatus::kNotClosed);
  if (r > std::min(bx1 - bx0, by1 - by0) * 0.5 + margin) return fail(ShapeLatticeStatus::kTooSmall);
  const double colStep = 2 * r, rowStep = kSqrt3 * r, layerStep = kLayerFactor * r;
  const double rowShift = kSqrt3 * r / 3;
  if (((bx1 - bx0) / colStep + 3) * ((by1 - by0) / rowStep + 3) * 2 > kMaxPoints)
    return fail(ShapeLatticeStatus::kTooLarge);

  // Closed chains, split by the sign of their area.
  Cadenas pos, neg;
  double sumPos = 0, sumNeg = 0;
  for (int32_t i = 0; i < outlines.Count(); ++i) {
    auto c = std::make_unique<Cadena>();
    if (!c->SetFromHilera(*outlines.Get(i))) return fail(ShapeLatticeStatus::kNotClosed);
    if (c->Kind() == Cadena::kSelfCrossing) return fail(ShapeLatticeStatus::kSelfCrossing);
    if (c->Kind() != Cadena::kClosed) return fail(ShapeLatticeStatus::kNotClosed);
    if (c->Area() > 0) {
      sumPos += c->Area();
      pos.Add(c.release());
    } else {
      sumNeg -= c->Area();
      neg.Add(c.release());
    }
  }
  Cadenas* outers = &pos;
  Cadenas* holes = &neg;
  if (sumNeg > sumPos) {
    for (int32_t i = 0; i < pos.Count(); ++i) pos.Get(i)->Reverse();
    for (int32_t i = 0; i < neg.Count(); ++i) neg.Get(i)->Reverse();
    std::swap(outers, holes);
  }
  if (outers->Count() == 0) return fail(ShapeLatticeStatus::kNoOutline);
  for (int32_t i = 0; i < outers->Count(); ++i)
    for (int32_t j = i + 1; j < outers->Count(); ++j) {
      int16_t rel = outers->Get(i)->Relation(*outers->Get(j), true, kTol);
      if (rel == 71 || rel == 72) return fail(ShapeLatticeStatus::kNested);
      if (rel != 1 && rel != 2 && rel != 3) return fail(ShapeLatticeStatus::kOverlapping);
    }

  auto regions = std::make_unique<Recintos>();
  if (margin > 0) {
    // The outline and its holes are moved in as one region, so a hole that
    // touches the outline, or lies within twice the margin of it, opens the
    // region to the outside instead of being lost or losing the region.
    for (int32_t i = 0; i < outers->Count(); ++i) {
      const Cadena* outer = outers->Get(i);
      std::vector<const Cadena*> set{outer};
      for (int32_t h = 0; h < holes->Count(); ++h)
        if (HoleBelongsTo(*outer, *holes->Get(h))) set.push_back(holes->Get(h));
      OffsetChains(set, -(margin - kTol), *regions);  // a vanished region adds nothing
    }
    if (regions->Count() == 0) return fail(ShapeLatticeStatus::kTooSmall);
  } else {
    while (outers->Count() > 0) {
      Cadenas set;
      Cadena* outer = new Cadena();
      outer->CopyFrom(*outers->Get(0));
      set.Add(outer);
      outers->Remove(0);
      for (int32_t h = 0; h < holes->Count();) {
        const Punto2D* p = holes->Get(h)->Point(0);
        if (outer->InnerSide(p->x(), p->y())) {
          Cadena* copy = new Cadena();
          copy->CopyFrom(*holes->Get(h));
          set.Add(copy);
          holes->Remove(h);
        } else {
          ++h;
        }
      }
      auto region = std::make_unique<Recinto>();
      if (region->SetChains(set) != Recinto::kAccepted) return fail(ShapeLatticeStatus::kOverlapping);
      regions->Add(region.release());
    }
  }

  const double shrink = margin - kTol;
  if (originX == kUnset) {
    double low = bx0 - 0.001 * r + shrink, high = bx1 + 0.001 * r - shrink;
    originX = CentredOrigin(low, high, colStep);
    if (originX - r >= low) originX -= colStep;
  }
  if (originY == kUnset) {
    double low = by0 - 0.001 * r + shrink, high = by1 + 0.001 * r - shrink;
    originY = CentredOrigin(low, high, rowStep);
    if (originY + rowShift - rowStep >= low) originY -= rowStep;
  }

  Caja* boxPtr = nullptr;
  regions->BoundingBox(boxPtr);
  std::unique_ptr<Caja> box(boxPtr);
  std::vector<double*> layer[2];
  double area = 0;
  for (int32_t i = 0; i < regions->Count(); ++i) area += regions->Get(i)->TotalArea();
  const size_t expected = static_cast<size_t>(std::max(0.0, area / (colStep * rowStep)) * 1.05) + 16;
  for (auto& l : layer) l.reserve(expected);
  double z = 0;
  bool unshiftedWhenSet = true;  // layer 0: rows with the flag set are unshifted
  for (int pass = 0; pass < 2; ++pass) {
    double start = originY + (pass == 1 ? rowShift : 0.0);
    bool flag = true;
    // Align the first row with the regions' box, in either direction, so a
    // given origin above or right of the shape still covers all of it.
    if (std::fabs(box->ymin() - start) > kTol) {
      double k = std::floor((box->ymin() - start) / rowStep + 0.5);
      start += k * rowStep;
      if (std::fmod(std::fabs(k), 2.0) == 1.0) flag = false;
    }
    const int64_t nRows = static_cast<int64_t>((box->ymax() - start) / rowStep) + 2;
    for (int64_t ri = 0; ri < nRows; ++ri) {
      double y = start + ri * rowStep;
      if (y > box->ymax()) break;
      Hilera* cross = nullptr;
      bool any = regions->RowCrossings(box->xmin(), y, box->xmax(), y, cross);
      std::unique_ptr<Hilera> holder(cross);
      if (any) {
        std::vector<double> xs;
        for (int32_t k = 0; k < cross->Count(); ++k) xs.push_back(cross->Get(k)->x());
        std::stable_sort(xs.begin(), xs.end());
        bool unshifted = (flag == unshiftedWhenSet);
        double x0 = originX + (unshifted ? 0.0 : r);
        if (std::fabs(xs.front() - x0) > kTol) {
          double k = std::floor((xs.front() - x0) / colStep + 0.5);
          x0 += k * colStep;
        }
        const int64_t nCols = static_cast<int64_t>((xs.back() - x0) / colStep) + 2;
        size_t left = 0;
        for (int64_t ci = 0; ci < nCols; ++ci) {
          double x = x0 + ci * colStep;
          if (x > xs.back()) break;
          while (left < xs.size() && xs[left] < x) ++left;
          bool inside = (left % 2 == 1) || (left < xs.size() && xs[left] - x <= kTol);
          if (inside) layer[pass].push_back(new double[3]{x, y, z});
        }
      }
      flag = !flag;
    }
    z += layerStep;
    unshiftedWhenSet = !unshiftedWhenSet;
  }
  count1 = static_cast<uint32_t>(layer[0].size());
  points1 = ToArray(layer[0]);
  count2 = static_cast<uint32_t>(layer[1].size());
  points2 = ToArray(layer[1]);
  return 1;
}
