#include "fill_geometry/geometry.h"

#include <algorithm>
#include <cmath>

namespace fillgeo {

double SegmentParameter(double x1, double y1, double x2, double y2, double px, double py) {
  if (std::fabs(x2 - x1) > kTol) return (px - x1) / (x2 - x1);
  if (std::fabs(y2 - y1) > kTol) return (py - y1) / (y2 - y1);
  // A point segment: only the x difference decides.
  return std::fabs(px - x1) <= kTol ? 0.0 : kOffSegment;
}

double AngleDifference(double a, double b) {
  double d = b - a;
  if (!std::isfinite(d)) return 0.0;
  if (std::fabs(d) > 1e3 * kFullTurn) d = std::fmod(d, kFullTurn);  // bounded loop
  while (d < 0) d += kFullTurn;
  while (d >= kFullTurn) d -= kFullTurn;
  return d;
}

double PolarAngle(double x1, double y1, double x2, double y2) {
  double dx = x2 - x1, dy = y2 - y1;
  if (dx == 0.0) return dy >= 0 ? kQuarterTurn : kThreeQuarterTurn;
  double a = std::atan2(dy, dx);
  if (a < 0) a += kFullTurn;
  return a;
}

int32_t Binomial4(int32_t i) {
  if (i < 0 || i > 4) return 0;
  int32_t v = 1;
  for (int32_t k = i + 1; k <= 4; ++k) v *= k;
  for (int32_t k = 1; k <= 4 - i; ++k) v /= k;
  return v;
}

double BernsteinBasis4(int32_t i, double t) {
  double v = Binomial4(i);
  for (int32_t k = 0; k < i; ++k) v *= t;
  for (int32_t k = 0; k < 4 - i; ++k) v *= (1.0 - t);
  return v;
}

void BezierPoint4(double t, const double* const ctrl[5], double& x, double& y) {
  x = 0;
  y = 0;
  for (int32_t i = 0; i <= 4; ++i) {
    double b = BernsteinBasis4(i, t);
    x += b * ctrl[i][0];
    y += b * ctrl[i][1];
  }
}

double Distance2D(double x1, double y1, double x2, double y2) {
  double dx = x2 - x1, dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

double Distance3D(double x1, double y1, double z1, double x2, double y2, double z2) {
  return Length3D(x2 - x1, y2 - y1, z2 - z1);
}

double Length3D(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

void Cross3D(double ax, double ay, double az, double bx, double by, double bz,
             double& cx, double& cy, double& cz) {
  cx = ay * bz - az * by;
  cy = az * bx - ax * bz;
  cz = ax * by - ay * bx;
}

double TurnCross(double x0, double y0, double x1, double y1, double x2, double y2) {
  return (y1 - y0) * (x2 - x1) - (x1 - x0) * (y2 - y1);
}

double DotSegments(double x0, double y0, double x1, double y1,
                   double x2, double y2, double x3, double y3) {
  return (x1 - x0) * (x3 - x2) + (y1 - y0) * (y3 - y2);
}

double PointLineDistance(double px, double py, double x1, double y1,
                         double x2, double y2, double length) {
  if (length < 0) length = Distance2D(x1, y1, x2, y2);
  if (length > 0) return std::fabs(TurnCross(px, py, x1, y1, x2, y2)) / length;
  return Distance2D(px, py, x1, y1);
}

void ClosestPointOnSegment(double px, double py, double x1, double y1, double x2, double y2,
                           double& fx, double& fy, double& dist) {
  double L = Distance2D(x1, y1, x2, y2);
  double d1 = Distance2D(px, py, x1, y1);
  if (L <= kTol) { dist = d1; fx = x1; fy = y1; return; }
  if (d1 <= kTol) { dist = 0; fx = x1; fy = y1; return; }
  double d2 = Distance2D(px, py, x2, y2);
  if (d2 <= kTol) { dist = 0; fx = x2; fy = y2; return; }
  double s = DotSegments(x1, y1, px, py, x1, y1, x2, y2);
  if (s > 0 && DotSegments(x2, y2, px, py, x2, y2, x1, y1) > 0) {
    dist = std::fabs(TurnCross(px, py, x1, y1, x2, y2)) / L;
    double f = s / (L * L);
    fx = x1 + (x2 - x1) * f;
    fy = y1 + (y2 - y1) * f;
    return;
  }
  if (d2 >= d1) { dist = d1; fx = x1; fy = y1; }
  else { dist = d2; fx = x2; fy = y2; }
}

int16_t Sign(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

bool IsEven(int32_t n) { return (n % 2) == 0; }

bool BoxesOverlap(double aMinX, double aMaxX, double aMinY, double aMaxY,
                  double bMinX, double bMaxX, double bMinY, double bMaxY, double tol) {
  if (aMinX > bMaxX + tol || bMinX - tol > aMaxX) return false;
  if (aMinY > bMaxY + tol || bMinY - tol > aMaxY) return false;
  return true;
}

void IntersectSegments(double x1, double y1, double x2, double y2,
                       double x3, double y3, double x4, double y4,
                       double& x, double& y, double& tB, double& tA, int16_t& sense, double tol) {
  double lenA = Distance2D(x1, y1, x2, y2);
  double lenB = Distance2D(x3, y3, x4, y4);
  if (tol >= lenA || tol >= lenB) { tA = kNoParameter; tB = kNoParameter; return; }
  bool collinear;
  if (lenB >= lenA)
    collinear = PointLineDistance(x1, y1, x3, y3, x4, y4, lenB) <= tol &&
                PointLineDistance(x2, y2, x3, y3, x4, y4, lenB) <= tol;
  else
    collinear = PointLineDistance(x3, y3, x1, y1, x2, y2, lenA) <= tol &&
                PointLineDistance(x4, y4, x1, y1, x2, y2, lenA) <= tol;
  if (collinear) {
    CollinearSegmentTouch(x1, y1, x2, y2, x3, y3, x4, y4, lenA, lenB, x, y, tB, tA, sense, tol);
    return;
  }
  double d = (y3 - y4) * (x2 - x1) - (x3 - x4) * (y2 - y1);
  if (std::fabs(d) < kParallelEps) { tA = kNoParameter; tB = kNoParameter; return; }
  tA = ((x3 - x1) * (y3 - y4) - (y3 - y1) * (x3 - x4)) / d;
  tB = ((y3 - y1) * (x2 - x1) - (x3 - x1) * (y2 - y1)) / d;
  x = x3 + tB * (x4 - x3);
  y = y3 + tB * (y4 - y3);
  sense = d >= 0 ? 1 : -1;
  if (tol >= std::fabs(tB) * lenB) { tB = 0; x = x3; y = y3; }
  else if (tol >= std::fabs(tB - 1) * lenB) { tB = 1; x = x4; y = y4; }
  if (tol >= std::fabs(tA) * lenA) { tA = 0; x = x1; y = y1; }
  else if (tol >= std::fabs(tA - 1) * lenA) { tA = 1; x = x2; y = y2; }
}

void CollinearSegmentTouch(double x1, double y1, double x2, double y2,
                           double x3, double y3, double x4, double y4,
                           double lenA, double lenB,
                           double& x, double& y, double& tB, double& tA, int16_t& sense,
                           double tol) {
  double m = lenA > lenB ? lenA : lenB;
  if (Distance2D(x1, y1, x3, y3) <= tol && Distance2D(x2, y2, x4, y4) > m) {
    tA = 0; tB = 0; x = x3; y = y3; sense = 0;
  } else if (Distance2D(x1, y1, x4, y4) <= tol && Distance2D(x2, y2, x3, y3) > m) {
    tA = 0; tB = 1; x = x4; y = y4; sense = 0;
  } else if (Distance2D(x2, y2, x3, y3) <= tol && Distance2D(x1, y1, x4, y4) > m) {
    tA = 1; tB = 0; x = x3; y = y3; sense = 0;
  } else if (Distance2D(x2, y2, x4, y4) <= tol && Distance2D(x1, y1, x3, y3) > m) {
    tA = 1; tB = 1; x = x4; y = y4; sense = 0;
  } else {
    tA = kNoParameter;
    tB = kNoParameter;
  }
}

int16_t SegmentRelation(double x1, double y1, double x2, double y2,
                        double x3, double y3, double x4, double y4, double tol) {
  double aMinX = std::fmin(x1, x2), aMaxX = std::fmax(x1, x2);
  double aMinY = std::fmin(y1, y2), aMaxY = std::fmax(y1, y2);
  double bMinX = std::fmin(x3, x4), bMaxX = std::fmax(x3, x4);
  double bMinY = std::fmin(y3, y4), bMaxY = std::fmax(y3, y4);
  if (!BoxesOverlap(aMinX, aMaxX, aMinY, aMaxY, bMinX, bMaxX, bMinY, bMaxY, tol))
    return kNoRelation;
  double lenA = Distance2D(x1, y1, x2, y2);
  if (tol >= lenA) return kRelAShort;
  double lenB = Distance2D(x3, y3, x4, y4);
  if (tol >= lenB) return kRelBShort;
  if (std::fabs(TurnCross(x3, y3, x1, y1, x2, y2)) / lenA > tol) return kNoRelation;
  if (std::fabs(TurnCross(x4, y4, x1, y1, x2, y2)) / lenA > tol) return kNoRelation;
  double t[5];
  t[1] = 0;
  t[2] = 1;
  t[3] = DotSegments(x1, y1, x3, y3, x1, y1, x2, y2) / (lenA * lenA);
  t[4] = DotSegments(x1, y1, x4, y4, x1, y1, x2, y2) / (lenA * lenA);
  int k[4] = {1, 2, 3, 4};
  // Bubble sort swapping only on a strict "greater": ties keep 1, 2, 3, 4.
  for (int pass = 0; pass < 3; ++pass)
    for (int i = 0; i < 3 - pass; ++i)
      if (t[k[i]] > t[k[i + 1]]) { int s = k[i]; k[i] = k[i + 1]; k[i + 1] = s; }
  auto coincide = [&](int a, int b) { return (t[k[b]] - t[k[a]]) * lenA <= tol; };
  if (coincide(1, 2)) return kRelTouch;
  bool low = coincide(0, 1), high = coincide(2, 3);
  if (low && high) return static_cast<int16_t>(k[0] * 1000 + k[1] * 100 + k[2] * 10 + k[3]);
  if (low) return static_cast<int16_t>(k[0] * 100 + k[1] * 10 + k[2]);
  if (high) return static_cast<int16_t>(k[1] * 100 + k[2] * 10 + k[3]);
  return static_cast<int16_t>(k[1] * 10 + k[2]);
}

double CornerOffsetDistance(double a, double b, double theta) {
  if (std::fabs(theta - kHalfTurn) <= 0.01) return (a + b) * 0.5;
  double sn = std::sin(theta);
  if (std::fabs(sn) < 1e-6) {
    double m = std::max(std::fabs(a), std::fabs(b));
    return sn < 0 ? -m : m;
  }
  return std::sqrt(std::fmax(0.0, a * a + b * b + 2 * a * b * std::cos(theta))) / sn;
}

}  // namespace fillgeo
