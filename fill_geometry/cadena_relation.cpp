// Relation of two closed chains.
#include <cmath>
#include <memory>

#include "fill_geometry/box_index.h"
#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/chain_crossings.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

// Whether (x, y) lies within tol of the chain (what OnChain answers), with
// the chain's segment boxes narrowing the search.
bool WithinTol(const Cadena& c, const BoxIndex& segs, double x, double y, double tol,
               std::vector<int32_t>& cand) {
  if (x < c.MinX() - tol || x > c.MaxX() + tol || y < c.MinY() - tol || y > c.MaxY() + tol)
    return false;
  segs.Query(x, x, y, y, tol, cand, false);
  for (int32_t k : cand) {
    double fx, fy, d;
    ClosestPointOnSegment(x, y, c.Point(k)->x(), c.Point(k)->y(), c.Point(k + 1)->x(),
                          c.Point(k + 1)->y(), fx, fy, d);
    if (d <= tol) return true;
  }
  return false;
}

}  // namespace

bool Cadena::CrossingsWith(const Cadena& O, Hilera*& crossingPoints, Cadenas*& pieces,
                           bool& overlayCross, CrossingRows& rows, uint32_t& count,
                           uint8_t& collinear, double tol, bool overlay, bool closedOnly) const {
  crossingPoints = nullptr;
  collinear = 0;
  count = 0;
  overlayCross = false;
  rows.clear();
  Caja box;
  box.SetFromChain(*this);
  if (box.ClassifyChain(O, tol) == Caja::kApart) return false;
  if (closedOnly && (kind_ != kClosed || O.kind_ != kClosed)) return false;
  const std::unique_ptr<Hilera> hs = ToRow(), ho = O.ToRow();
  bool result;
  if (!overlay) {
    result = FindChainCrossings(*hs, *ho, kCrossings, rows, count, collinear, tol);
    if (count > 0) {
      crossingPoints = new Hilera();
      for (const CrossingRow& r : rows) crossingPoints->AddPoint(r[0], r[1]);
    }
    return result;
  }
  pieces = new Cadenas();
  int16_t dir = 1;
  OverlayPieces(count_ - 1, O.count_ - 1, O, dir, *pieces, overlayCross, tol);
  FindChainCrossings(*hs, *ho, kCrossings, rows, count, collinear, tol);
  return pieces->Count() > 0 || count > 0;
}

void Cadena::ContactSummary(const Cadena& O, double tol, uint32_t& crossings, bool& shared,
                            bool& overlayCross) const {
  Hilera* pts = nullptr;
  Cadenas* pieces = nullptr;
  CrossingRows rows;
  uint8_t collinear = 0;
  crossings = 0;
  overlayCross = false;
  CrossingsWith(O, pts, pieces, overlayCross, rows, crossings, collinear, tol, true, false);
  shared = pieces && pieces->Count() > 0;
  delete pts;
  delete pieces;
}

int16_t Cadena::Relation(const Cadena& O, bool F, double tol) const {
  if (kind_ != kClosed || O.kind_ != kClosed) return kNoRelation;
  const double AS = area_, AO = O.area_;
  Caja box;
  box.SetFromChain(*this);
  if (box.CompareBox(O.xmin_, O.xmax_, O.ymin_, O.ymax_, tol) == Caja::kApart) {
    if (AS > 0) return AO > 0 ? 1 : 72;
    return AO > 0 ? 71 : 62;
  }
  bool touch = false;
  {
    uint32_t count = 0;
    bool overlayCross = false;
    ContactSummary(O, tol, count, touch, overlayCross);
    if (overlayCross) return 61;
    if (count > 0) return 61;
  }
  // Where O lies relative to S.
  BoxIndex sSegs(*this, true), sVerts(*this, false);
  std::vector<int32_t> cand;
  auto nearS = [&](double x, double y) { return WithinTol(*this, sSegs, x, y, tol, cand); };
  bool onS = false, Oin = false, Oout = false;
  for (int32_t i = 1; i < O.count_; ++i) {
    const Punto2D* P = O.points_[i - 1];
    const Punto2D* Q = O.points_[i];
    if (F && !touch && !onS) {
      if (nearS(P->x(), P->y())) {
        onS = true;
      } else {
        sVerts.Query(std::min(P->x(), Q->x()), std::max(P->x(), Q->x()), std::min(P->y(), Q->y()),
                     std::max(P->y(), Q->y()), tol, cand, false);
        for (int32_t k : cand) {
          if (k > count_ - 2) continue;
          double fx, fy, d;
          ClosestPointOnSegment(points_[k]->x(), points_[k]->y(), P->x(), P->y(), Q->x(), Q->y(),
                                fx, fy, d);
          if (d <= tol) {
            onS = true;
            break;
          }
        }
      }
    }
    if (!Oin && !Oout && !nearS(P->x(), P->y())) {
      Oin = InnerSide(P->x(), P->y());
      Oout = !Oin;
    }
    if ((!F || touch || onS) && (Oin || Oout)) break;
  }
  // Where S lies relative to O.
  bool SinO = true;
  {
    BoxIndex oSegs(O, true);
    for (int32_t k = 0; k < count_; ++k) {
      double x = points_[k]->x(), y = points_[k]->y();
      bool near = WithinTol(O, oSegs, x, y, tol, cand);
      if (!near) {
        SinO = O.InnerSide(x, y);
        break;
      }
    }
    if (AO < 0) SinO = !SinO;
  }
  auto nearEqual = [&](int16_t& code) {
    double D = std::fabs(std::fabs(AS) - std::fabs(AO));
    double M = std::max(length_, O.length_) * tol;
    if (D < M) {
      code = (AS * AO <= 0) ? 82 : 81;
      return true;
    }
    return false;
  };
  int16_t code = 0;
  if (!F) {
    if (Oout) {
      if (!SinO) return AO > 0 ? 1 : 72;
      return AO < 0 ? 1 : 72;
    }
    if (Oin) {
      if (!SinO) return AO > 0 ? 71 : 62;
      return AO < 0 ? 71 : 62;
    }
    return (Sign(AO) * Sign(AS) < 1) ? 82 : 81;
  }
  if (touch) {
    if (Oout) {
      if (!SinO) return AO <= 0 ? 42 : 3;
      return AO >= 0 ? 42 : 3;
    }
    if (Oin) {
      if (SinO) return AO >= 0 ? 64 : 41;
      return AO <= 0 ? 64 : 41;
    }
    if (nearEqual(code)) return code;
    if (std::fabs(AS) <= std::fabs(AO)) {
      if (AS <= 0) return AO > 0 ? 64 : 41;
      return AO > 0 ? 42 : 3;
    }
    if (AS > 0) return AO <= 0 ? 64 : 41;
    return AO <= 0 ? 42 : 3;
  }
  if (onS) {
    if (Oout) {
      if (SinO) return AO >= 0 ? 52 : 2;
      return AO <= 0 ? 52 : 2;
    }
    if (Oin) {
      if (SinO) return AO >= 0 ? 63 : 51;
      return AO <= 0 ? 63 : 51;
    }
    if (nearEqual(code)) return code;
    if (std::fabs(AS) <= std::fabs(AO)) {
      if (AS <= 0) return AO > 0 ? 63 : 51;
      return AO <= 0 ? 2 : 52;
    }
    if (AS > 0) return AO <= 0 ? 63 : 51;
    return AO > 0 ? 2 : 52;
  }
  if (!Oout) {
    if (!SinO) return AO <= 0 ? 62 : 71;
    return AO < 0 ? 71 : 62;
  }
  if (!SinO) return AO <= 0 ? 72 : 1;
  return AO < 0 ? 1 : 72;
}
