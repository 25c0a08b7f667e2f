#include <gtest/gtest.h>

#include "host/core/geom.h"

namespace {

void ExpectNear(const Point3& a, const Point3& b, float eps = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Matrix3, RowVectorConventionPutsTranslationLast) {
  Matrix3 tm = RotateZMatrix(float(M_PI / 2));
  tm.SetTrans(Point3(10.0f, 0.0f, 0.0f));
  // The x axis turns onto y first, then the translation applies.
  ExpectNear(Point3(1.0f, 0.0f, 0.0f) * tm, Point3(10.0f, 1.0f, 0.0f));
  ExpectNear(tm.VectorTransform(Point3(1.0f, 0.0f, 0.0f)), Point3(0.0f, 1.0f, 0.0f));
}

TEST(Matrix3, ProductAppliesLeftOperandFirst) {
  Matrix3 a = TransMatrix(Point3(5.0f, 0.0f, 0.0f));
  Matrix3 b = RotateZMatrix(float(M_PI / 2));
  ExpectNear(Point3(0.0f, 0.0f, 0.0f) * (a * b), Point3(0.0f, 5.0f, 0.0f));
  ExpectNear(Point3(0.0f, 0.0f, 0.0f) * (b * a), Point3(5.0f, 0.0f, 0.0f));
}

TEST(Matrix3, InverseUndoesRotationScaleAndTranslation) {
  Matrix3 tm = RotateXMatrix(0.3f) * RotateZMatrix(1.1f) * ScaleMatrix(Point3(2.0f, 3.0f, 0.5f));
  tm.SetTrans(Point3(-4.0f, 7.0f, 2.5f));
  Matrix3 inv = tm.Inverse();
  Point3 p(1.5f, -2.0f, 8.0f);
  ExpectNear((p * tm) * inv, p);
  ExpectNear((p * inv) * tm, p);
  EXPECT_TRUE((tm * inv).GetTrans().Length() < 1e-4f);
}

TEST(Matrix3, SingularInverseIsIdentityNotNaN) {
  Matrix3 flat = ScaleMatrix(Point3(1.0f, 1.0f, 0.0f));
  EXPECT_TRUE(flat.Inverse().IsIdentity());
}

TEST(Box3, GrowsAndTransformsByCorners) {
  Box3 b;
  EXPECT_TRUE(b.IsEmpty());
  b += Point3(1.0f, 2.0f, 3.0f);
  b += Point3(-1.0f, 0.0f, 5.0f);
  ExpectNear(b.Min(), Point3(-1.0f, 0.0f, 3.0f));
  ExpectNear(b.Max(), Point3(1.0f, 2.0f, 5.0f));
  Box3 r = b * RotateZMatrix(float(M_PI / 2));
  ExpectNear(r.Min(), Point3(-2.0f, -1.0f, 3.0f));
  ExpectNear(r.Max(), Point3(0.0f, 1.0f, 5.0f));
}

TEST(Interval, IntersectionAndEmptiness) {
  Interval a(0, 100), b(50, 200);
  EXPECT_EQ((a & b), Interval(50, 100));
  EXPECT_TRUE((a & Interval(150, 200)).Empty());
  EXPECT_TRUE(FOREVER.InInterval(123456));
  EXPECT_FALSE(NEVER.InInterval(0));
}

}  // namespace
