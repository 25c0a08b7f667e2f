// Geometry functions and row tables: the exact sentinel semantics every
// higher operation depends on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fill_geometry/geometry.h"
#include "fill_geometry/row_table.h"

using namespace fillgeo;

TEST(GeometryFunctions, ParameterAnglesAndDistances) {
  EXPECT_DOUBLE_EQ(SegmentParameter(0, 0, 2, 0, 1, 5), 0.5);
  EXPECT_DOUBLE_EQ(SegmentParameter(0, 0, 0, 4, 3, 1), 0.25);
  // A point segment looks only at x.
  EXPECT_EQ(SegmentParameter(1, 1, 1, 1, 1, 99), 0.0);
  EXPECT_EQ(SegmentParameter(1, 1, 1, 1, 2, 1), 1e8);

  EXPECT_EQ(PolarAngle(3, 3, 3, 3), kQuarterTurn);
  EXPECT_EQ(PolarAngle(0, 0, 0, -1), kThreeQuarterTurn);
  EXPECT_GE(PolarAngle(0, 0, 1, -1e-17), 0.0);
  EXPECT_NEAR(PolarAngle(0, 0, -1, 0), M_PI, 1e-15);
  EXPECT_EQ(AngleDifference(1.0, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(AngleDifference(0.1, 0), kFullTurn - 0.1);
  EXPECT_EQ(AngleDifference(0, INFINITY), 0.0);  // no endless loop

  EXPECT_DOUBLE_EQ(Distance3D(0, 0, 0, 1, 2, 2), 3.0);
  double cx, cy, cz;
  Cross3D(1, 0, 0, 0, 1, 0, cx, cy, cz);
  EXPECT_EQ(cz, 1.0);
  EXPECT_LT(TurnCross(0, 0, 1, 0, 1, 1), 0);  // counter-clockwise turn
  EXPECT_DOUBLE_EQ(PointLineDistance(0, 1, -1, 0, 1, 0, -1), 1.0);
  EXPECT_DOUBLE_EQ(PointLineDistance(3, 4, 0, 0, 0, 0, 0), 5.0);
}

TEST(GeometryFunctions, ClosestPointOnSegment) {
  double x, y, d;
  ClosestPointOnSegment(3, 1, 0, 0, 2, 0, x, y, d);
  EXPECT_EQ(x, 2.0);
  EXPECT_DOUBLE_EQ(d, std::sqrt(2.0));
  ClosestPointOnSegment(1, 1, 0, 0, 2, 0, x, y, d);
  EXPECT_DOUBLE_EQ(x, 1.0);
  EXPECT_DOUBLE_EQ(d, 1.0);
  ClosestPointOnSegment(2 + 5e-9, 0, 0, 0, 2, 0, x, y, d);
  EXPECT_EQ(x, 2.0);
  EXPECT_EQ(d, 0.0);
  // Perpendicular above the start: tie of distances goes to P1 region.
  ClosestPointOnSegment(0, -1, 0, 0, 0, 0, x, y, d);
  EXPECT_EQ(d, 1.0);
}

TEST(GeometryFunctions, BezierAndSmallHelpers) {
  const int expect[5] = {1, 4, 6, 4, 1};
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(Binomial4(i), expect[i]);
  double c[5][2] = {{0, 0}, {1, 2}, {2, 3}, {3, 2}, {4, 0}};
  const double* ctrl[5] = {c[0], c[1], c[2], c[3], c[4]};
  double x, y;
  BezierPoint4(0, ctrl, x, y);
  EXPECT_EQ(x, 0);
  BezierPoint4(1, ctrl, x, y);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(Sign(-2), -1);
  EXPECT_EQ(Sign(0), 0);
  EXPECT_TRUE(IsEven(-4));
  EXPECT_FALSE(IsEven(3));
  EXPECT_TRUE(BoxesOverlap(0, 1, 0, 1, 1, 2, 0, 1, 0));
  EXPECT_FALSE(BoxesOverlap(0, 1, 0, 1, 1.1, 2, 0, 1, 0.05));
}

TEST(GeometryFunctions, IntersectSegments) {
  double x = 7, y = 7, tA, tB;
  int16_t sense = 7;
  IntersectSegments(0, 0, 1, 0, 0.5, -1, 0.5, 1, x, y, tB, tA, sense, 1e-8);
  EXPECT_DOUBLE_EQ(x, 0.5);
  EXPECT_DOUBLE_EQ(y, 0.0);
  EXPECT_DOUBLE_EQ(tA, 0.5);
  EXPECT_DOUBLE_EQ(tB, 0.5);
  // Crossing beyond both segments is still reported.
  IntersectSegments(0, 0, 1, 0, 3, 1, 3, 2, x, y, tB, tA, sense, 1e-8);
  EXPECT_DOUBLE_EQ(tA, 3.0);
  EXPECT_DOUBLE_EQ(tB, -1.0);
  // Parallel and zero-length: -1e20 and nothing else written.
  x = y = 7;
  sense = 7;
  IntersectSegments(0, 0, 1, 0, 0, 1, 1, 1, x, y, tB, tA, sense, 1e-8);
  EXPECT_EQ(tA, kNoParameter);
  EXPECT_EQ(tB, kNoParameter);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(sense, 7);
  IntersectSegments(0, 0, 0, 0, 0, 1, 1, 1, x, y, tB, tA, sense, 1e-8);
  EXPECT_EQ(tA, kNoParameter);
  EXPECT_EQ(x, 7);
  // Snapping to the end of A wins.
  IntersectSegments(0, 0, 1, 0, 1 + 1e-9, -1, 1 + 1e-9, 1, x, y, tB, tA, sense, 1e-8);
  EXPECT_EQ(tA, 1.0);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(y, 0.0);
  // Collinear end-to-end touch: sense 0.
  IntersectSegments(0, 0, 1, 0, 1, 0, 2, 0, x, y, tB, tA, sense, 1e-8);
  EXPECT_EQ(tA, 1.0);
  EXPECT_EQ(tB, 0.0);
  EXPECT_EQ(sense, 0);
  // Collinear overlap: no parameter.
  IntersectSegments(0, 0, 1, 0, 0.5, 0, 2, 0, x, y, tB, tA, sense, 1e-8);
  EXPECT_EQ(tA, kNoParameter);
}

TEST(GeometryFunctions, SegmentRelationCodes) {
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0, 0, 1, 0, 1e-8), 1324);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 1, 0, 2, 0, 1e-8), -1224);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0.5, 0, 2, 0, 1e-8), 32);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0.2, 0, 0.8, 0, 1e-8), 34);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0.8, 0, 0.2, 0, 1e-8), 43);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0, 0, 0.5, 0, 1e-8), 134);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0.5, 0, 1, 0, 1e-8), 324);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 1, 0, 0, 0, 1e-8), 1423);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 3, 0, 4, 0, 1e-8), kNoRelation);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0, 0.1, 1, 0.1, 0.2), 1324);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0, 0.1, 1, 0.2, 1e-8), kNoRelation);
  EXPECT_EQ(SegmentRelation(0, 0, 0, 0, 0, 0, 1, 0, 1e-8), kRelAShort);
  EXPECT_EQ(SegmentRelation(0, 0, 1, 0, 0.5, 0, 0.5, 0, 1e-8), kRelBShort);
}

TEST(RowTables, NaNKeysSortAsTheNaturalMergeSortDoes) {
  // NaN is neither less nor greater than anything, so it never ends a run:
  // (2) and (1, NaN, 0) are the runs, merged into 1, 2, NaN, 0; a table that
  // is one run stays as it is.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto sorted = [](std::vector<double> v) {
    std::vector<double*> t;
    for (double& x : v) t.push_back(&x);
    const int16_t key[1] = {0};
    SortRowsByDoubleKeys(t.data(), static_cast<int32_t>(t.size()), 1, key, 1);
    return v;
  };
  auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
  };
  EXPECT_TRUE(same(sorted({2, 1, nan, 0}), {1, 2, nan, 0}));
  EXPECT_TRUE(same(sorted({3, nan, 1, 2}), {3, nan, 1, 2}));
  EXPECT_TRUE(same(sorted({nan, 5, 4, nan, 3}), {nan, 4, 5, nan, 3}));
}

TEST(RowTables, StableMultiKeySort) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> key(0, 9);
  const int n = 1000;
  std::vector<std::vector<double>> rows(n, std::vector<double>(3));
  for (int i = 0; i < n; ++i) rows[i] = {double(key(rng)), double(key(rng)), double(i)};
  auto expect = rows;
  std::stable_sort(expect.begin(), expect.end(), [](const auto& a, const auto& b) {
    return a[1] != b[1] ? a[1] < b[1] : a[0] < b[0];
  });
  std::vector<double*> table(n);
  for (int i = 0; i < n; ++i) table[i] = rows[i].data();
  const int16_t keys[2] = {1, 0};
  SortRowsByDoubleKeys(table.data(), n, 3, keys, 2);
  for (int i = 0; i < n; ++i) EXPECT_EQ(rows[i], expect[i]) << i;

  // No keys, one row and no rows leave the table alone.
  std::vector<int32_t> a = {3, 1}, b = {1, 2};
  int32_t* it[2] = {a.data(), b.data()};
  SortRowsByIntKeys(it, 2, 2, keys, 0);
  EXPECT_EQ(a[0], 3);
  SortRowsByIntKeys(it, 1, 2, keys, 2);
  SortRowsByIntKeys(it, 0, 2, keys, 2);
  const int16_t k0[1] = {0};
  SortRowsByIntKeys(it, 2, 2, k0, 1);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(b[0], 3);
  EXPECT_EQ(b[1], 1);
  // A key column outside the rows is refused, the table left as it is.
  const int16_t beyond[1] = {2}, negative[1] = {-1};
  SortRowsByIntKeys(it, 2, 2, beyond, 1);
  SortRowsByIntKeys(it, 2, 2, negative, 1);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(b[0], 3);
}
