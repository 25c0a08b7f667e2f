// Double-precision planar (and a few 3D) primitives shared by every class of
// the fill geometry. Stateless, allocation-free; failures come back only as
// the sentinel values documented below.
#pragma once

#include <cstdint>

namespace fillgeo {

// Angle literals used as written (results at wrap points depend on them).
constexpr double kFullTurn = 6.28318530717958;
constexpr double kHalfTurn = 3.14159265358979;
constexpr double kQuarterTurn = 1.570796326794895;
constexpr double kThreeQuarterTurn = 4.712388980384685;

constexpr double kTol = 1e-8;            // length tolerance everywhere
constexpr double kParallelEps = 1e-10;   // intersection denominator guard
constexpr double kFoldBackTol = 1e-6;    // fold-back removal in rows
constexpr double kBig = 1e20;            // start value of min/max searches
constexpr double kNoParameter = -1e20;   // "no parameter" in intersections
constexpr double kOffSegment = 1e8;      // SegmentParameter off-point marker
constexpr double kUnset = 7051939.756202;  // optional argument not given

// Codes shared by the checking operations.
constexpr int16_t kOk = -8888;
constexpr int16_t kNoRelation = -9999;

// SegmentRelation special codes.
constexpr int16_t kRelAShort = -1212;
constexpr int16_t kRelBShort = -3434;
constexpr int16_t kRelTouch = -1224;

// Parameter t of P along P1->P2 (x first, then y; 0 / 1e8 on a point segment).
double SegmentParameter(double x1, double y1, double x2, double y2, double px, double py);
// b - a brought into [0, full turn).
double AngleDifference(double a, double b);
// Direction of P1->P2 in [0, full turn]; coincident points give a quarter turn.
double PolarAngle(double x1, double y1, double x2, double y2);
int32_t Binomial4(int32_t i);
double BernsteinBasis4(int32_t i, double t);
// ctrl: five pointers, each to an (x, y) pair.
void BezierPoint4(double t, const double* const ctrl[5], double& x, double& y);
double Distance2D(double x1, double y1, double x2, double y2);
double Distance3D(double x1, double y1, double z1, double x2, double y2, double z2);
double Length3D(double x, double y, double z);
void Cross3D(double ax, double ay, double az, double bx, double by, double bz,
             double& cx, double& cy, double& cz);
// (y1-y0)(x2-x1) - (x1-x0)(y2-y1): negative for a counter-clockwise turn.
double TurnCross(double x0, double y0, double x1, double y1, double x2, double y2);
// (P1-P0).(P3-P2)
double DotSegments(double x0, double y0, double x1, double y1,
                   double x2, double y2, double x3, double y3);
// length < 0: computed here; length == 0: distance to P1.
double PointLineDistance(double px, double py, double x1, double y1,
                         double x2, double y2, double length);
void ClosestPointOnSegment(double px, double py, double x1, double y1, double x2, double y2,
                           double& fx, double& fy, double& dist);
int16_t Sign(double v);
bool IsEven(int32_t n);
bool BoxesOverlap(double aMinX, double aMaxX, double aMinY, double aMaxY,
                  double bMinX, double bMaxX, double bMinY, double bMaxY, double tol);

// Crossing of the lines P1P2 (A) and P3P4 (B) with snapping to the ends
// (A's snap wins). Not clipped to [0,1]. Writes -1e20 to tA and tB for
// segments no longer than tol and for parallel ones (absolute |d| < 1e-10,
// so very short segments always count as parallel), leaving x, y and sense
// untouched. Collinear segments are handed to CollinearSegmentTouch.
void IntersectSegments(double x1, double y1, double x2, double y2,
                       double x3, double y3, double x4, double y4,
                       double& x, double& y, double& tB, double& tA, int16_t& sense, double tol);
void CollinearSegmentTouch(double x1, double y1, double x2, double y2,
                           double x3, double y3, double x4, double y4,
                           double lenA, double lenB,
                           double& x, double& y, double& tB, double& tA, int16_t& sense,
                           double tol);
// How two segments lie on one line: -9999, -1212, -3434, -1224, or the digit
// code of the overlap (1/2 = A's ends, 3/4 = B's ends).
int16_t SegmentRelation(double x1, double y1, double x2, double y2,
                        double x3, double y3, double x4, double y4, double tol);

// Distance from a corner of angle theta to the meeting point of its two edges
// moved by a and b. Near a straight angle: the mean; near a spike (sin theta
// ~ 0, where the meeting point runs off to infinity) it is bounded by the
// larger distance.
double CornerOffsetDistance(double a, double b, double theta);

}  // namespace fillgeo
