// The shown surface built from a surface file's arrays: placement, texture
// vertices, grey colours, face clean-up, and the icon's extent.
#include <gtest/gtest.h>

#include "fluid_plugin/surface_display.h"

namespace {
SurfaceFrameArrays Quad() {
  SurfaceFrameArrays a;
  a.vertices = {Vec3f(0, 0, 0), Vec3f(1, 0, 0), Vec3f(1, 1, 0), Vec3f(0, 1, 0)};
  a.secondVertices = {Vec3f(0.1f, 0, 0), Vec3f(0.2f, 0, 0), Vec3f(0.3f, 0, 0), Vec3f(0.4f, 0, 0)};
  a.mapPoints = {Vec3f(0.5f, 10, 0), Vec3f(2.0f, 50, 0), Vec3f(-1.0f, 200, 0), Vec3f(0, 0, 0)};
  a.faces = {{0, 1, 2}, {0, 2, 3}};
  return a;
}
}  // namespace

TEST(SurfaceDisplay, VerticesAreScaledThenMovedIntoLocalSpace) {
  Mesh m;
  Matrix3 node;
  node.SetTrans(Point3(100, 0, 5));
  FillSurfaceDisplayMesh(m, Quad(), 20.0f, node.Inverse(), SurfaceGreyParams());
  ASSERT_EQ(m.getNumVerts(), 4);
  EXPECT_EQ(m.getVert(2), Point3(-80.0f, 20.0f, -5.0f));
  EXPECT_EQ(m.getTVert(3), Point3(0.4f, 0.0f, 0.0f));  // the second vector, as stored
  ASSERT_EQ(m.getNumFaces(), 2);
  EXPECT_EQ(m.faces[1].flags & EDGE_ALL, EDGE_ALL);
  EXPECT_EQ(m.getNumTVFaces(), 2);
  EXPECT_EQ(m.getNumVCFaces(), 2);
  EXPECT_EQ(m.vcFace[1].t[2], 3u);
  // Without a node only the scale applies.
  FillSurfaceDisplayMesh(m, Quad(), 40.0f, Matrix3(), SurfaceGreyParams());
  EXPECT_EQ(m.getVert(2), Point3(40.0f, 40.0f, 0.0f));
}

TEST(SurfaceDisplay, GreyDividesByTheRangeWithoutSubtractingItsMinimum) {
  SurfaceGreyParams speed{0, 4.0f, 2.0f};
  EXPECT_FLOAT_EQ(SurfaceGrey(1.0f, 0.0f, speed), 0.5f);
  EXPECT_FLOAT_EQ(SurfaceGrey(3.0f, 0.0f, speed), 0.99f);  // capped
  SurfaceGreyParams flat{0, 3.0f, 3.0f};                   // empty range: divisor 1
  EXPECT_FLOAT_EQ(SurfaceGrey(0.25f, 0.0f, flat), 0.25f);
  for (int info : {1, 2}) {
    SurfaceGreyParams second{info, 3.0f, 3.0f};
    EXPECT_FLOAT_EQ(SurfaceGrey(0.9f, 50.0f, second), 0.5f) << info;
  }
  EXPECT_FLOAT_EQ(SurfaceGrey(-2.0f, 0.0f, flat), -2.0f);  // no lower cap
  Mesh m;
  FillSurfaceDisplayMesh(m, Quad(), 1.0f, Matrix3(), SurfaceGreyParams{1, 1.0f, 0.0f});
  EXPECT_FLOAT_EQ(m.vertCol[0].x, 0.1f);
  EXPECT_EQ(m.vertCol[0].y, m.vertCol[0].x);
  EXPECT_EQ(m.vertCol[2], Point3(0.99f, 0.99f, 0.99f));
}

TEST(SurfaceDisplay, BadFacesGoAndEmptyFilesGiveTheEmptyMesh) {
  SurfaceFrameArrays a = Quad();
  a.faces = {{0, 1, 2}, {0, 0, 3}, {0, 2, 4}, {-1, 1, 2}};
  Mesh m;
  FillSurfaceDisplayMesh(m, a, 1.0f, Matrix3(), SurfaceGreyParams());
  ASSERT_EQ(m.getNumFaces(), 1);
  EXPECT_EQ(m.faces[0].v[2], 2u);
  a.faces.clear();  // vertices only
  FillSurfaceDisplayMesh(m, a, 1.0f, Matrix3(), SurfaceGreyParams());
  EXPECT_EQ(m.getNumVerts(), 4);
  EXPECT_EQ(m.getNumFaces(), 0);
  FillSurfaceDisplayMesh(m, SurfaceFrameArrays(), 1.0f, Matrix3(), SurfaceGreyParams());
  EXPECT_EQ(m.getNumVerts(), 0);
  EXPECT_EQ(m.getNumTVerts(), 0);
  EXPECT_EQ(m.getSmoothFlags(), 1);
}

TEST(SurfaceDisplay, IconIsAFlatOutlineWithinItsExtent) {
  Mesh icon;
  BuildFluidIconMesh(icon);
  ASSERT_GT(icon.getNumFaces(), 0);
  Box3 b = icon.getBoundingBox();
  EXPECT_GE(b.pmin.x, -33.38f);
  EXPECT_LE(b.pmax.x, 34.22f);
  EXPECT_GE(b.pmin.y, 3.33f);
  EXPECT_LE(b.pmax.y, 33.37f);
  EXPECT_EQ(b.pmin.z, 0.0f);
  EXPECT_EQ(b.pmax.z, 0.0f);
  for (const Face& f : icon.faces)
    for (int k = 0; k < 3; ++k) EXPECT_LT(f.v[k], DWORD(icon.getNumVerts()));
}
