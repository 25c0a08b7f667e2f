// Variable-distance offset of a chain, with Bezier-rounded corners.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

struct XY {
  double x, y;
};

double Wrap(double a) {
  while (a < 0) a += kFullTurn;
  while (a >= kFullTurn) a -= kFullTurn;
  return a;
}

// Removes the edges of a closed ring (distinct vertices V, edge k from V[k]
// to V[k+1 mod m], distances D >= 0) that vanish under the offset. Returns
// false when fewer than 3 vertices would stay.
bool RemoveVanishingEdges(std::vector<XY>& V, std::vector<double>& D, std::vector<int32_t>& ids) {
  std::vector<XY> v = V;
  std::vector<double> d = D;
  std::vector<int32_t> id = ids;
  size_t quiet = 0, pos = 0;
  for (size_t guard = 0; guard < 16 * V.size() * V.size() + 64; ++guard) {
    const size_t m = v.size();
    if (m < 3) return false;
    if (quiet >= m) break;
    pos %= m;
    const size_t a = pos, b = (pos + 1) % m, p = (pos + m - 1) % m, nb = (pos + 2) % m;
    const double dE = d[a], dPrev = d[p], dNext = d[b];
    double thA = AngleDifference(PolarAngle(v[a].x, v[a].y, v[p].x, v[p].y),
                                 PolarAngle(v[a].x, v[a].y, v[b].x, v[b].y));
    double thB = AngleDifference(PolarAngle(v[b].x, v[b].y, v[a].x, v[a].y),
                                 PolarAngle(v[b].x, v[b].y, v[nb].x, v[nb].y));
    double DA = CornerOffsetDistance(dPrev, dE, thA), DB = CornerOffsetDistance(dE, dNext, thB);
    double tA = 0, tB = 0;
    if (Sign(kHalfTurn - thA) * (std::cos(thA) * dE + dPrev) > 1e-6 && std::fabs(DA) > dE)
      tA = std::sqrt(DA * DA - dE * dE);
    if (Sign(kHalfTurn - thB) * (std::cos(thB) * dE + dNext) > 1e-6 && std::fabs(DB) > dE)
      tB = std::sqrt(DB * DB - dE * dE);
    double len = Distance2D(v[a].x, v[a].y, v[b].x, v[b].y);
    if (!(len < tA + tB)) {
      ++quiet;
      ++pos;
      continue;
    }
    quiet = 0;
    // The vertex whose corner is nearer a straight angle goes (B on a tie).
    bool dropA = std::fabs(thA - kHalfTurn) < std::fabs(thB - kHalfTurn);
    size_t gone = dropA ? a : b;
    size_t e1 = (gone + m - 1) % m, e2 = gone;  // edges meeting at `gone`
    size_t before = (gone + m - 1) % m, after = (gone + 1) % m;
    double L1 = Distance2D(v[before].x, v[before].y, v[gone].x, v[gone].y);
    double L2 = Distance2D(v[gone].x, v[gone].y, v[after].x, v[after].y);
    double merged = (L1 + L2) > 0 ? (L1 * d[e1] + L2 * d[e2]) / (L1 + L2) : d[e1];
    d[e1] = merged;
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(gone));
    d.erase(d.begin() + static_cast<std::ptrdiff_t>(e2));
    id.erase(id.begin() + static_cast<std::ptrdiff_t>(e2));
    pos = (gone == 0) ? v.size() - 1 : gone - 1;
  }
  if (v.size() < 3) return false;
  V = v;
  D = d;
  ids = id;
  return true;
}

}  // namespace

bool Cadena::RoundCorner(double back, double forward, double phi, double cx, double cy,
                         double qx, double qy, double a, double b, Hilera& row) {
  double s = Wrap(back - kQuarterTurn);
  double e = forward + kQuarterTurn;
  for (int guard = 0; std::fabs(e - s) >= kHalfTurn && guard < 8; ++guard)
    e -= Sign(e - s) * kFullTurn;
  int32_t n = static_cast<int32_t>(std::floor(std::fabs(e - s) * 20 / kHalfTurn + 1e-8) + 1);
  if (n < 3 || (e - phi) * (s - phi) >= 0) return false;
  double c0[2] = {cx + a * std::cos(s), cy + a * std::sin(s)};
  double c2[2] = {qx, qy};
  double c4[2] = {cx + b * std::cos(e), cy + b * std::sin(e)};
  const double* ctrl[5] = {c0, c0, c2, c4, c4};
  for (int32_t k = 0; k <= n; ++k) {
    double x, y;
    BezierPoint4(static_cast<double>(k) / n, ctrl, x, y);
    row.AddPoint(x, y);
  }
  return true;
}

bool Cadena::Offset(double* dist, Cadenas*& out) const {
  out = nullptr;
  if (count_ < 2 || !dist) return false;
  const int32_t nE = count_ - 1;
  const int16_t sgn = Sign(dist[0]);
  for (int32_t i = 1; i < nE; ++i)
    if (sgn * dist[i] < 0 || !std::isfinite(dist[i])) return false;
  const bool closed = kind_ == kClosed;
  std::vector<XY> R;
  for (int32_t i = 0; i < count_; ++i) R.push_back({points_[i]->x(), points_[i]->y()});
  std::vector<double> D(dist, dist + nE);
  // Edge k of the row runs from R[k] to R[k+1].
  if (closed && count_ >= 4) {
    std::vector<XY> V(R.begin(), R.end() - 1);
    std::vector<double> Dabs(D.size());
    for (size_t k = 0; k < D.size(); ++k) Dabs[k] = sgn * D[k];
    // The vanishing-edge rules are written for one side; positive distances
    // are handled on the reversed ring.
    if (sgn > 0) {
      std::reverse(V.begin(), V.end());
      std::reverse(Dabs.begin(), Dabs.end());
      std::rotate(V.begin(), V.end() - 1, V.end());  // keep vertex 0 first
    }
    // The caller's entry of each edge, so merged distances go back there.
    std::vector<int32_t> ids(V.size());
    for (size_t k = 0; k < ids.size(); ++k)
      ids[k] = sgn > 0 ? nE - 1 - static_cast<int32_t>(k) : static_cast<int32_t>(k);
    if (RemoveVanishingEdges(V, Dabs, ids) && V.size() >= 3) {
      if (sgn > 0) {
        std::rotate(V.begin(), V.begin() + 1, V.end());
        std::reverse(V.begin(), V.end());
        std::reverse(Dabs.begin(), Dabs.end());
        std::reverse(ids.begin(), ids.end());
      }
      R.assign(V.begin(), V.end());
      R.push_back(V.front());
      D.resize(Dabs.size());
      for (size_t k = 0; k < Dabs.size(); ++k) {
        D[k] = sgn * Dabs[k];
        if (ids[k] >= 0 && ids[k] < nE) dist[ids[k]] = D[k];
      }
    }
  }
  const int32_t m = static_cast<int32_t>(R.size());
  if (m < 2) return false;
  auto dir = [&](int32_t from, int32_t to) { return PolarAngle(R[from].x, R[from].y, R[to].x, R[to].y); };
  auto len = [&](int32_t k) { return Distance2D(R[k].x, R[k].y, R[k + 1].x, R[k + 1].y); };
  Hilera O;
  double fx = 0, fy = 0;
  bool haveFirst = false;
  auto append = [&](double x, double y) {
    if (!haveFirst) {
      fx = x;
      fy = y;
      haveFirst = true;
    }
    O.AddPoint(x, y);
  };
  for (int32_t i = 0; i < m; ++i) {
    if (closed && i == m - 1) {
      O.AddPoint(fx, fy);
      break;
    }
    const XY V = R[i];
    const int32_t prev = (i == 0) ? (closed ? m - 2 : -1) : i - 1;
    const int32_t next = (i + 1 < m) ? i + 1 : -1;
    const double back = prev >= 0 ? dir(i, prev) : 0;
    const double forward = next >= 0 ? dir(i, next) : 0;
    const int32_t eIn = (i == 0) ? (closed ? m - 2 : -1) : i - 1, eOut = (next >= 0) ? i : -1;
    double dIn = eIn >= 0 ? D[eIn] : 0, dOut = eOut >= 0 ? D[eOut] : 0;
    if (!closed && (i == 0 || i == m - 1)) {
      double phi = (i == 0) ? forward + kQuarterTurn : back - kQuarterTurn;
      double d = (i == 0) ? dOut : dIn;
      append(V.x + d * std::cos(phi), V.y + d * std::sin(phi));
      continue;
    }
    const double theta = AngleDifference(back, forward);
    double Dc = CornerOffsetDistance(dIn, dOut, theta);
    double phi;
    auto solve = [&]() {
      double beta;
      if (std::fabs(std::fabs(Dc) - std::fabs(dIn)) <= 1e-8)
        beta = Dc * dIn < 0 ? kThreeQuarterTurn : kQuarterTurn;
      else
        beta = std::asin(std::clamp(Dc != 0 ? dIn / Dc : 0.0, -1.0, 1.0));
      if (dOut < std::cos(kHalfTurn - theta) * dIn) return Wrap(back - beta);
      return Wrap(beta + back - kHalfTurn);
    };
    if (std::fabs(theta - kHalfTurn) <= 0.01) {
      phi = back - kQuarterTurn;
    } else {
      phi = solve();
      // An edge collinear with its neighbour lends it its length.
      double lin = len(eIn), lout = len(eOut);
      if (eIn >= 1 && std::fabs(AngleDifference(dir(eIn - 1, eIn), dir(eIn, i))) < 1e-5)
        lin += len(eIn - 1);
      if (eOut + 2 < m && std::fabs(AngleDifference(dir(i, i + 1), dir(i + 1, i + 2))) < 1e-5)
        lout += len(eOut + 1);
      if (!(std::cos(back - phi) * Dc <= lin && std::cos(phi - forward) * Dc <= lout)) {
        dIn = dOut = Dc = (dIn + dOut) * 0.5;
        phi = solve();
      }
    }
    const double qx = V.x + Dc * std::cos(phi), qy = V.y + Dc * std::sin(phi);
    const bool inner = !closed && (i == 1 || i == m - 2);
    if (inner) {
      const XY& end = (i == 1) ? R[0] : R[m - 1];
      double L = Distance2D(V.x, V.y, end.x, end.y);
      if (L > 0 && L <= DotSegments(V.x, V.y, end.x, end.y, V.x, V.y, qx, qy) / L)
        append(V.x + dIn * std::cos(back - kQuarterTurn), V.y + dIn * std::sin(back - kQuarterTurn));
      else
        append(qx, qy);
      continue;
    }
    if ((sgn > 0 && theta - kHalfTurn >= -0.001) || (sgn < 0 && theta - kHalfTurn < 0.001) ||
        sgn == 0) {
      append(qx, qy);
      continue;
    }
    const int32_t before = O.Count();
    if (!RoundCorner(back, forward, phi, V.x, V.y, qx, qy, dIn, dOut, O)) append(qx, qy);
    else if (!haveFirst && O.Count() > before) {
      fx = O.Get(before)->x();
      fy = O.Get(before)->y();
      haveFirst = true;
    }
  }
  auto chain = std::make_unique<Cadena>();
  if (!chain->SetFromHilera(O)) {
    O.RemoveFoldBacks();
    if (!chain->SetFromHilera(O)) return false;
  }
  auto set = std::make_unique<Cadenas>();
  if (chain->Kind() == kOpen) {
    set->Add(chain.release());
  } else if (chain->Kind() == kClosed) {
    if (chain->Area() * area_ < 0) return false;
    set->Add(chain.release());
  } else if (kind_ == kSelfCrossing) {
    set->Add(chain.release());
  } else {
    Cadena* start = nullptr;
    Cadenas* pieces = nullptr;
    chain->SplitSelfCrossing(start, pieces);
    std::unique_ptr<Cadenas> ps(pieces ? pieces : new Cadenas());
    double ref = area_;
    if (start) {
      if (start->Kind() != kClosed) ref = -sgn;
      if (start->Count() > 0) ps->Add(start);
      else delete start;
    }
    for (int32_t k = ps->Count() - 1; k >= 0; --k)
      if (ps->Get(k)->Area() * ref < 0) ps->Remove(k);
    std::vector<uint8_t> drop(static_cast<size_t>(ps->Count()), 0);
    for (int32_t i = 0; i < ps->Count(); ++i)
      for (int32_t j = i + 1; j < ps->Count(); ++j) {
        if (drop[i] || drop[j]) continue;
        int16_t rel = ps->Get(i)->Relation(*ps->Get(j), false, kTol);
        if (rel == 51 || rel == 71 || rel == 72) drop[j] = 1;
        else if (rel == 52) drop[i] = 1;
      }
    for (int32_t k = ps->Count() - 1; k >= 0; --k)
      if (drop[k]) ps->Remove(k);
    set.reset(ps.release());
  }
  out = set.release();
  return true;
}
