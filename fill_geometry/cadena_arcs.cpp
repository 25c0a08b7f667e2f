// Offset of a chain by a signed distance, with sampled arcs at open corners.
#include <cmath>
#include <limits>
#include <memory>

#include "fill_geometry/cadena.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

double Wrap(double a) {
  while (a < 0) a += kFullTurn;
  while (a >= kFullTurn) a -= kFullTurn;
  return a;
}

struct XY {
  double x, y;
};

// Collapses the edges of a closed ring that vanish under the offset d.
// False when fewer than 4 points stay alive.
bool CollapseVanishingEdges(std::vector<XY>& R, double d, std::vector<XY>& base) {
  const int32_t n = static_cast<int32_t>(R.size());
  std::vector<uint8_t> alive(static_cast<size_t>(n), 1);
  int32_t aliveCount = n;
  auto next = [&](int32_t k, bool& wrapped) {
    for (int32_t guard = 0; guard < n; ++guard) {
      k = k + 1;
      if (k >= n - 1) {
        k = 0;
        wrapped = true;
      }
      if (alive[k]) return k;
    }
    return k;
  };
  auto prev = [&](int32_t k) {
    for (int32_t guard = 0; guard < n; ++guard) {
      k = (k == 0) ? n - 2 : k - 1;
      if (alive[k]) return k;
    }
    return k;
  };
  const double ad = std::fabs(d);
  int32_t w0 = n - 2, w1 = 0, w2 = 1, w3 = 2;
  bool lapped = false, complete = false;
  // Each collapse removes a point and each lap ends the walk, so the walk is
  // bounded; the guard only protects against a broken invariant.
  const int64_t guardMax = static_cast<int64_t>(n) * (n + 4) + 16;
  auto advance = [&]() {
    if (complete) return false;
    w0 = w1;
    w1 = w2;
    w2 = w3;
    bool wrapped = false;
    w3 = next(w3, wrapped);
    if (wrapped) lapped = true;
    if (lapped && w3 >= 1) complete = true;
    return true;
  };
  for (int64_t guard = 0; guard < guardMax; ++guard) {
    const XY &W0 = R[w0], &W1 = R[w1], &W2 = R[w2], &W3 = R[w3];
    double L = Distance2D(W1.x, W1.y, W2.x, W2.y);
    double t12 = PolarAngle(W1.x, W1.y, W2.x, W2.y), t10 = PolarAngle(W1.x, W1.y, W0.x, W0.y);
    double g1 = d >= 0 ? t10 - t12 : t12 - t10;
    if (g1 < 0) g1 += kFullTurn;
    double t21 = t12 - kHalfTurn;
    if (t21 < 0) t21 += kFullTurn;
    double t23 = PolarAngle(W2.x, W2.y, W3.x, W3.y);
    double g2 = d >= 0 ? t21 - t23 : t23 - t21;
    if (g2 < 0) g2 += kFullTurn;
    double s = g1 + g2;
    double den = std::sin(kHalfTurn - s / 2);
    double rho;
    if (std::fabs(den) < 1e-12)  // a spike (s ~ 0) has no touching circle
      rho = s < kHalfTurn ? 0.0 : std::numeric_limits<double>::infinity();
    else
      rho = std::sin(g1 / 2) * L * std::sin(g2 / 2) / den;
    if (s >= kFullTurn || rho > ad) {
      if (!advance()) break;
      continue;
    }
    XY M;
    if (g1 > kHalfTurn || g2 > kHalfTurn) {
      M = g1 > kHalfTurn ? W1 : W2;
    } else if (s <= kHalfTurn) {
      M = {(W1.x + W2.x) / 2, (W1.y + W2.y) / 2};
    } else {
      // Parallel lines W0W1 and W2W3 give no crossing: the midpoint stays.
      M = {(W1.x + W2.x) / 2, (W1.y + W2.y) / 2};
      double x = M.x, y = M.y, tB = kNoParameter, tA = kNoParameter;
      int16_t sense = 0;
      IntersectSegments(W0.x, W0.y, W1.x, W1.y, W2.x, W2.y, W3.x, W3.y, x, y, tB, tA, sense, kTol);
      if (tA > -1e19 && std::isfinite(x) && std::isfinite(y)) M = {x, y};
    }
    if (w2 == 0) {
      alive[w1] = 0;
      if (--aliveCount < 4) return false;
      R[0] = M;
      R[n - 1] = M;
      if (Distance2D(W0.x, W0.y, M.x, M.y) < 2 * ad) {
        int32_t old0 = w0;
        w0 = prev(w0);
        w1 = old0;
        w2 = 0;
      } else {
        if (complete) break;
        w1 = 0;
        w2 = w3;
        bool wrapped = false;
        w3 = next(w3, wrapped);
        if (wrapped) lapped = true;
        if (lapped && w3 >= 1) complete = true;
      }
    } else {
      alive[w2] = 0;
      if (--aliveCount < 4) return false;
      R[w1] = M;
      if (w1 == 0) R[n - 1] = M;
      if (w2 == n - 1) R[0] = M;
      int32_t old0 = w0;
      w0 = prev(w0);
      w2 = w1;
      w1 = old0;
    }
  }
  base.clear();
  for (int32_t k = 0; k < n; ++k)
    if (alive[k]) base.push_back(R[k]);
  return true;
}

}  // namespace

bool Cadena::SampleArcs(double d, Cadena*& out) const {
  out = nullptr;
  if (count_ < 2 || !std::isfinite(d)) return false;
  const bool closed = kind_ == kClosed;
  std::vector<XY> R;
  for (int32_t i = 0; i < count_; ++i) R.push_back({points_[i]->x(), points_[i]->y()});
  std::vector<XY> B;
  if (closed) {
    if (!CollapseVanishingEdges(R, d, B)) return false;
  } else {
    B = R;
  }
  const int32_t m = static_cast<int32_t>(B.size());
  if (m < 2 || (closed && m < 4)) return false;
  Hilera row;
  double fx0 = 0, fy0 = 0;
  bool haveFirst = false;
  auto emit = [&](double x, double y) {
    if (!haveFirst) {
      fx0 = x;
      fy0 = y;
      haveFirst = true;
    }
    row.AddPoint(x, y);
  };
  for (int32_t i = 0; i < m; ++i) {
    if (closed && i == m - 1) {
      row.AddPoint(fx0, fy0);
      break;
    }
    const XY& V = B[i];
    const XY& P = (i == 0) ? B[m >= 2 ? m - 2 : 0] : B[i - 1];
    const XY& N = (i == m - 1) ? B[1] : B[i + 1];
    double a1 = std::atan2(P.y - V.y, P.x - V.x), a2 = std::atan2(N.y - V.y, N.x - V.x);
    auto mitre = [&]() {
      double f = (a1 + a2) / 2;
      double sn = std::sin(kHalfTurn - (a1 - a2) / 2);
      // A fold-back has no mitre: stand off along the bisector by |d|.
      double r = std::fabs(sn) < 1e-9 ? d : d / sn;
      emit(V.x + r * std::cos(f), V.y + r * std::sin(f));
    };
    if (!closed) {
      if (i == 0) {
        double f = a2 + kQuarterTurn;
        emit(V.x + d * std::cos(f), V.y + d * std::sin(f));
      } else if (i == m - 1) {
        double f = a1 - kQuarterTurn;
        emit(V.x + d * std::cos(f), V.y + d * std::sin(f));
      } else {
        mitre();
      }
      continue;
    }
    double e = Wrap(a2 - a1);
    if ((d > 0 && e >= kHalfTurn) || (d < 0 && e < kHalfTurn)) {
      mitre();
      continue;
    }
    double start = Wrap(a1 - kQuarterTurn);
    double end = a2 + kQuarterTurn;
    double w = end - start;
    for (int guard = 0; std::fabs(w) >= kHalfTurn && guard < 8; ++guard) {
      end -= 2 * Sign(w) * kHalfTurn;
      w = end - start;
    }
    int32_t k = static_cast<int32_t>(std::floor(std::fabs(w) * 15 / kHalfTurn)) + 2;
    if (k < 4) {
      mitre();
      continue;
    }
    double step = w / (k - 1);
    for (int32_t s = 0; s < k + 1; ++s) {
      double t = start + s * step;
      if (std::fabs(t - start) > std::fabs(w) + std::fabs(w) * 1e-5) break;
      emit(V.x + d * std::cos(t), V.y + d * std::sin(t));
    }
  }
  auto c = std::make_unique<Cadena>();
  if (!c->SetFromHilera(row)) return false;
  if (c->Kind() == kClosed && c->Area() * area_ < 0) return false;
  out = c.release();
  return true;
}
