// The space warps' arithmetic against values worked out by hand.
#include "scene_objects/force_math.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/core/hostmath.h"
#include "host/sdk/object.h"

using namespace force_math;

namespace {

void ExpectNear(const Point3& a, const Point3& b, float tol = 1e-9f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}
bool Finite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// One segment from (0,0,0) to (10,0,0), handles at a third and two thirds:
// constant derivative (10, 0, 0).
Spline3D StraightPath() {
  Spline3D s;
  s.AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, Point3(0, 0, 0), Point3(0, 0, 0),
                       Point3(10.0f / 3.0f, 0.0f, 0.0f)));
  s.AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, Point3(10, 0, 0), Point3(20.0f / 3.0f, 0.0f, 0.0f),
                       Point3(10, 0, 0)));
  return s;
}

// A closed counter-clockwise circle of radius 20 about the origin (four
// Bezier quarter arcs).
Spline3D Circle() {
  const float r = 20.0f, h = 0.5522847f * r;
  Spline3D s;
  const Point3 p[4] = {{r, 0.0f, 0.0f}, {0.0f, r, 0.0f}, {-r, 0.0f, 0.0f}, {0.0f, -r, 0.0f}};
  const Point3 tan[4] = {{0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {1, 0, 0}};
  for (int i = 0; i < 4; ++i)
    s.AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p[i], p[i] - tan[i] * h, p[i] + tan[i] * h));
  s.SetClosed(true);
  return s;
}

constexpr float kPull3 = 0.029554466f * 0.0004f * 0.0625f;  // (1 - e^-0.03) x 0.0004 x 0.0625

}  // namespace

TEST(ForceMath, PrimeTestAndStrideFollowTheirRule) {
  const struct { int x, expected; } primes[] = {{1, 1}, {2, 2}, {3, 3}, {8, 8},  {9, 9},   {10, 2},
                                                {11, 11}, {12, 2}, {15, 15}, {25, 25}, {35, 35}, {49, 49}};
  for (const auto& c : primes) EXPECT_EQ(PrimeTest(c.x), c.expected) << "x = " << c.x;
  const struct { int n, expected; } strides[] = {{99, 11}, {8, 3}, {16, 4}, {1, 1}, {2, 1}, {0, 1}};
  for (const auto& c : strides) EXPECT_EQ(SampleStride(c.n, false), c.expected) << "n = " << c.n;
  EXPECT_EQ(SampleStride(99, true), 1);
}

TEST(ForceMath, SampleIndexWrapsTheProductAsThirtyTwoBits) {
  EXPECT_EQ(SampleIndex(11, 3, 99), 33);
  EXPECT_EQ(SampleIndex(11, 9, 99), 0);
  // 11 x 200000000 wraps to -2094967296, read as 2^64 - 2094967296: 34, not
  // the 22 of a plain 64-bit product.
  EXPECT_EQ(SampleIndex(11, 200000000, 99), 34);
  EXPECT_EQ(SampleIndex(1, 7, 5), 2);  // ordered: index mod n
  EXPECT_EQ(SampleIndex(3, 12345, 1), 0);
}

TEST(ForceMath, GoalForceSteersAndNeverTurnsNaN) {
  const float k = 2.0f * 0.0004f * 0.0625f;
  ExpectNear(GoalForce(Point3(10, 0, 0), Point3(), Point3(0, 3, 0), 2.0f), Point3(k, -k, 0.0f));
  // A fresh particle at rest only feels the pull.
  ExpectNear(GoalForce(Point3(0, 0, -5), Point3(), Point3(), 2.0f), Point3(0.0f, 0.0f, -k));
  // At rest on its goal: nothing, and no NaN.
  Point3 f = GoalForce(Point3(1, 2, 3), Point3(1, 2, 3), Point3(), 2.0f);
  EXPECT_TRUE(Finite(f));
  EXPECT_EQ(f, Point3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(GoalForce(Point3(10, 0, 0), Point3(), Point3(0, 3, 0), 0.0f), Point3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(SafeNormalize(Point3()), Point3(0.0f, 0.0f, 0.0f));
}

TEST(ForceMath, PlanarForceDecaysAlongTheIconAxis) {
  Matrix3 tm = TransMatrix(Point3(0, 0, 10));
  // d = 100 from the icon's plane: e^-1.
  ExpectNear(PlanarForce(tm, Point3(3, 4, 110), 1.0f), Point3(0.0f, 0.0f, 0.36787944f * 6.25e-6f), 1e-12f);
  // Distance is taken on both sides of the plane.
  ExpectNear(PlanarForce(tm, Point3(0, 0, -90), 1.0f), Point3(0.0f, 0.0f, 0.36787944f * 6.25e-6f), 1e-12f);
  // A tilted icon pushes along its own (unit) z axis, even when scaled.
  Matrix3 tilted = RotateXMatrix(float(M_PI / 2)) * ScaleMatrix(Point3(2, 2, 2));
  Point3 f = PlanarForce(tilted, Point3(), 4.0f);
  ExpectNear(f, Point3(0.0f, -4.0f * 6.25e-6f, 0.0f), 1e-11f);
  EXPECT_EQ(PlanarForce(tm, Point3(1, 1, 1), 0.0f), Point3(0.0f, 0.0f, 0.0f));
}

TEST(ForceMath, TurbulenceIsZeroWithoutAmplitudeAndFollowsTheNoise) {
  EXPECT_EQ(TurbulenceTerm(4800, Point3(1, 2, 3), Point3(), 0.0f, 5.0f, 1.0f), Point3(0.0f, 0.0f, 0.0f));
  // T = 480 x (2 x 0.01) = 9.6, d = pos - icon = (1, 1, 1), scale 0.5.
  Point3 got = TurbulenceTerm(480, Point3(2, 3, 4), Point3(1, 2, 3), 3.0f, 2.0f, 0.5f);
  const float k = 3.0f * 6.25e-6f;
  Point3 want(noise3(Point3(4.8f, 0.5f, 0.5f)) * k, noise3(Point3(0.5f, 4.8f, 0.5f)) * k,
              noise3(Point3(0.5f, 0.5f, 4.8f)) * k);
  ExpectNear(got, want, 1e-10f);
  EXPECT_LE(got.Length(), k * 2.0f);
}

TEST(ForceMath, StraightPathPullsOntoItAndPushesAlong) {
  Spline3D path = StraightPath();
  Matrix3 id;
  Point3 f;
  // Nearest sample u = 6/12 at (5, 0, 0), D = 3; at speed 1 the push uses 10 x strength2.
  ASSERT_EQ(PathFollowForce(path, id, Point3(5, 3, 0), Point3(1, 0, 0), 1.0f, 1.0f, false, f),
            PathForce::kApplied);
  ExpectNear(f, Point3(6.25e-5f, -kPull3, 0.0f), 2e-9f);
  // A fast particle gets the plain strength2.
  PathFollowForce(path, id, Point3(5, 3, 0), Point3(200, 0, 0), 1.0f, 1.0f, false, f);
  ExpectNear(f, Point3(6.25e-6f, -kPull3, 0.0f), 2e-9f);
  // Moving away from the path: the pull x 15, and steering back into the path's direction.
  PathFollowForce(path, id, Point3(5, 3, 0), Point3(0, 1, 0), 1.0f, 1.0f, false, f);
  ExpectNear(f, Point3(6.25e-5f + 2.5e-5f, -15.0f * kPull3 - 2.5e-5f, 0.0f), 2e-9f);
  // At rest: push at 10 x strength2, steering is the path direction alone.
  PathFollowForce(path, id, Point3(5, 3, 0), Point3(), 1.0f, 2.0f, false, f);
  ExpectNear(f, Point3(2.0f * 6.25e-5f + 2.5e-5f, -kPull3, 0.0f), 2e-9f);
  // The path node's transform moves the samples, not the tangents' frame.
  Matrix3 up = TransMatrix(Point3(0, 0, 7));
  PathFollowForce(path, up, Point3(5, 0, 10), Point3(1, 0, 0), 1.0f, 1.0f, false, f);
  ExpectNear(f, Point3(6.25e-5f, 0.0f, -kPull3), 2e-9f);
}

TEST(ForceMath, ReverseFlipsPushAndSteeringOnly) {
  Spline3D path = StraightPath();
  Point3 f;
  ASSERT_EQ(PathFollowForce(path, Matrix3(), Point3(5, 3, 0), Point3(1, 0, 0), 1.0f, 1.0f, true, f),
            PathForce::kApplied);
  // Push -6.25e-5; steering (-1,0,0) - (1,0,0) = -2 x 2.5e-5; the pull stays.
  ExpectNear(f, Point3(-6.25e-5f - 5e-5f, -kPull3, 0.0f), 2e-9f);
}

TEST(ForceMath, PathForceIsZeroFarAwayAndAtTheEnd) {
  Spline3D path = StraightPath();
  Point3 f(1, 1, 1);
  EXPECT_EQ(PathFollowForce(path, Matrix3(), Point3(5, 31, 0), Point3(1, 0, 0), 1.0f, 1.0f, false, f),
            PathForce::kZero);
  EXPECT_EQ(f, Point3(0.0f, 0.0f, 0.0f));
  // 30 exactly still counts.
  EXPECT_EQ(PathFollowForce(path, Matrix3(), Point3(5, 30, 0), Point3(1, 0, 0), 1.0f, 1.0f, false, f),
            PathForce::kApplied);
  // Nearest the last sample (u = 11/12): the liquid leaves the path there.
  // The end point u = 1 is not sampled, so even a particle beyond it is "at the end".
  for (float x : {9.2f, 10.0f, 14.0f}) {
    f = Point3(1, 1, 1);
    EXPECT_EQ(PathFollowForce(path, Matrix3(), Point3(x, 1.0f, 0.0f), Point3(1, 0, 0), 1.0f, 1.0f, false, f),
              PathForce::kZero)
        << x;
    EXPECT_EQ(f, Point3(0.0f, 0.0f, 0.0f));
  }
  // Just before: the sample at 10/12 wins.
  EXPECT_EQ(PathFollowForce(path, Matrix3(), Point3(8.4f, 1.0f, 0.0f), Point3(1, 0, 0), 1.0f, 1.0f, false, f),
            PathForce::kApplied);
  Spline3D empty;
  EXPECT_EQ(PathFollowForce(empty, Matrix3(), Point3(), Point3(), 1.0f, 1.0f, false, f), PathForce::kZero);
}

TEST(ForceMath, CircularPathBendsInwardAndPushesAlongTheCircle) {
  Spline3D circle = Circle();
  Point3 f;
  // Outside the circle at (22, 0, 0), moving with it (+y): pulled in, pushed +y, bent inward.
  ASSERT_EQ(PathFollowForce(circle, Matrix3(), Point3(22, 0, 0), Point3(0, 1, 0), 1.0f, 1.0f, false, f),
            PathForce::kApplied);
  EXPECT_LT(f.x, 0.0f);
  EXPECT_GT(f.y, 0.0f);
  EXPECT_EQ(f.z, 0.0f);
  // Every quarter: the push follows the counter-clockwise tangent, the bend points to the centre.
  const Point3 at[4] = {{0, 20, 0}, {-20, 0, 0}, {0, -20, 0}, {14.142136f, 14.142136f, 0.0f}};
  for (const Point3& p : at) {
    // A particle at rest exactly on a sample: no pull (and no NaN), the tangent push and the bend.
    ASSERT_EQ(PathFollowForce(circle, Matrix3(), p, Point3(), 1.0f, 1.0f, false, f), PathForce::kApplied);
    ASSERT_TRUE(Finite(f));
    Point3 tangent(-p.y / 20.0f, p.x / 20.0f, 0.0f);
    EXPECT_GT(DotProd(f, tangent), 0.0f) << p.x << "," << p.y;  // pushed along the path
    EXPECT_LT(DotProd(f, p), 0.0f) << p.x << "," << p.y;        // bent towards the centre
  }
  // Reversed, the particle is pushed clockwise.
  PathFollowForce(circle, Matrix3(), Point3(0, 20, 0), Point3(), 0.0f, 1.0f, true, f);
  EXPECT_GT(f.x, 0.0f);
}

TEST(ForceMath, IconHasTheCubeAndFourStreamers) {
  Mesh m;
  BuildForceIcon(m, 2.0f);
  ASSERT_EQ(m.getNumVerts(), 45);
  ASSERT_EQ(m.getNumFaces(), 28);
  const int cube[12][3] = {{0, 1, 3}, {1, 2, 3}, {1, 0, 4}, {5, 1, 4}, {5, 2, 1}, {5, 6, 2},
                           {2, 6, 3}, {6, 7, 3}, {0, 3, 7}, {4, 0, 7}, {6, 4, 7}, {6, 5, 4}};
  for (int f = 0; f < 12; ++f)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(int(m.faces[size_t(f)].v[j]), cube[f][j]) << f;
  EXPECT_EQ(m.getVert(0), Point3(-2, -2, 2));
  EXPECT_EQ(m.getVert(6), Point3(2, 2, -2));
  EXPECT_EQ(m.getVert(8), Point3(0, 0, 0));
  for (const Face& f : m.faces)
    for (int j = 0; j < 3; ++j) EXPECT_NE(f.v[j], 8u);
  // Streamer 1 (base 18) is offset by (0, -0.8s, -0.8s); its last vertex is (s, 0.3s, 0.2s) from there.
  ExpectNear(m.getVert(26), Point3(2.0f, -1.0f, -1.2f), 1e-6f);
  ExpectNear(m.getVert(36), Point3(-2.0f, 1.2f, 0.2f), 1e-6f);
  const int tail[4][3] = {{36, 38, 37}, {38, 40, 39}, {40, 41, 42}, {42, 43, 44}};
  for (int j = 0; j < 4; ++j)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(int(m.faces[size_t(24 + j)].v[c]), tail[j][c]);
  // The sides' diagonals are not drawn.
  EXPECT_EQ(m.faces[0].getEdgeVis(0), 1);
  EXPECT_EQ(m.faces[0].getEdgeVis(1), 0);
}
