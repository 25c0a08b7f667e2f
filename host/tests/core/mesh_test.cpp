#include <gtest/gtest.h>

#include "host/core/mesh.h"

namespace {

// A unit cube: 8 vertices, 12 outward triangles, texture channel mirroring
// the vertices.
Mesh Cube() {
  Mesh m;
  m.setNumVerts(8);
  for (int i = 0; i < 8; ++i) m.setVert(i, float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1));
  const int f[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                        {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  m.setNumFaces(12);
  m.setNumTVerts(8);
  m.setNumTVFaces(12);
  for (int i = 0; i < 8; ++i) m.setTVert(i, m.verts[size_t(i)]);
  for (int i = 0; i < 12; ++i) {
    m.faces[size_t(i)].setVerts(f[i][0], f[i][1], f[i][2]);
    m.faces[size_t(i)].setEdgeVisFlags(1, 1, 0);
    m.faces[size_t(i)].setMatID(MtlID(i));
    m.tvFace[size_t(i)].setTVerts(f[i][0], f[i][1], f[i][2]);
  }
  return m;
}

// Every face's group bits shared with a neighbour: true when the two smooth.
bool Share(const Mesh& m, int a, int b) {
  return (m.faces[size_t(a)].smGroup & m.faces[size_t(b)].smGroup) != 0;
}

TEST(Mesh, DeleteVertRemovesItsFacesAndRenumbersTheRest) {
  Mesh m = Cube();
  m.DeleteVert(0);
  ASSERT_EQ(m.getNumVerts(), 7);
  // Vertex 0 is used by 6 triangles (faces 0, 4, 5?, 8 ...): count them.
  Mesh ref = Cube();
  int using0 = 0;
  for (const Face& f : ref.faces) using0 += f.GetVertIndex(0) >= 0 ? 1 : 0;
  ASSERT_EQ(m.getNumFaces(), 12 - using0);
  ASSERT_EQ(m.getNumTVFaces(), m.getNumFaces());
  // The surviving faces keep their order, material ids and point at the same
  // positions as before.
  int out = 0;
  for (int i = 0; i < 12; ++i) {
    const Face& old = ref.faces[size_t(i)];
    if (old.GetVertIndex(0) >= 0) continue;
    const Face& now = m.faces[size_t(out)];
    EXPECT_EQ(now.getMatID(), old.getMatID());
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(now.v[k], old.v[k] - 1);
      EXPECT_EQ(m.verts[now.v[k]], ref.verts[old.v[k]]);
      // Texture faces stay attached to their faces, texture vertices stay.
      EXPECT_EQ(m.tvFace[size_t(out)].t[k], ref.tvFace[size_t(i)].t[k]);
    }
    ++out;
  }
  EXPECT_EQ(m.getNumTVerts(), 8);
}

TEST(Mesh, DeleteVertOutOfRangeChangesNothing) {
  Mesh m = Cube();
  m.DeleteVert(8);
  m.DeleteVert(-1);
  EXPECT_EQ(m.getNumVerts(), 8);
  EXPECT_EQ(m.getNumFaces(), 12);
}

TEST(Mesh, RemoveDegenerateAndIllegalFaces) {
  Mesh m = Cube();
  m.faces[3].setVerts(1, 1, 2);   // degenerate
  m.faces[7].setVerts(0, 9, 2);   // illegal vertex
  m.tvFace[5].setTVerts(0, 1, 99);  // illegal texture vertex
  EXPECT_TRUE(m.RemoveDegenerateFaces());
  EXPECT_FALSE(m.RemoveDegenerateFaces());
  EXPECT_EQ(m.getNumFaces(), 11);
  EXPECT_TRUE(m.RemoveIllegalFaces());
  EXPECT_EQ(m.getNumFaces(), 10);
  EXPECT_EQ(m.getNumTVFaces(), 10);
  for (const TVFace& t : m.tvFace)
    for (DWORD i : t.t) EXPECT_LT(i, DWORD(m.getNumTVerts()));
  EXPECT_FALSE(m.RemoveIllegalFaces());
}

TEST(Mesh, BoundingBoxFollowsInvalidation) {
  Mesh m = Cube();
  Box3 b = m.getBoundingBox();
  EXPECT_EQ(b.pmin, Point3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(b.pmax, Point3(1.0f, 1.0f, 1.0f));
  m.verts[7] = Point3(2.0f, 1.0f, 1.0f);
  m.InvalidateGeomCache();
  EXPECT_EQ(m.getBoundingBox().pmax, Point3(2.0f, 1.0f, 1.0f));
  Matrix3 tm = TransMatrix(Point3(10.0f, 0.0f, 0.0f));
  EXPECT_EQ(m.getBoundingBox(&tm).pmin, Point3(10.0f, 0.0f, 0.0f));
  EXPECT_TRUE(Mesh().getBoundingBox().IsEmpty());
}

TEST(Mesh, AutoSmoothSeparatesSharpEdgesOnly) {
  Mesh m = Cube();
  m.AutoSmooth(float(M_PI / 4));  // 45 degrees: the cube's sides stay flat
  // The two triangles of each side smooth together; faces of other sides
  // that meet them at a vertex share no group (opposite sides may: they
  // have no vertex in common).
  auto touch = [&m](int a, int b) {
    for (DWORD v : m.faces[size_t(a)].v)
      if (m.faces[size_t(b)].GetVertIndex(v) >= 0) return true;
    return false;
  };
  for (int side = 0; side < 6; ++side) {
    EXPECT_TRUE(Share(m, 2 * side, 2 * side + 1));
    for (int other = 0; other < 12; ++other) {
      if (other / 2 != side && touch(2 * side, other)) {
        EXPECT_FALSE(Share(m, 2 * side, other)) << side << " " << other;
      }
    }
  }
  m.AutoSmooth(float(M_PI));  // every neighbour pair
  for (int i = 1; i < 12; ++i) EXPECT_TRUE(Share(m, 0, i));
}

TEST(Mesh, AutoSmoothLeavesLoneAndUnselectedFacesAlone) {
  Mesh m = Cube();
  for (Face& f : m.faces) f.setSmGroup(0x80000000u);
  m.faceSel.Set(0);
  m.faceSel.Set(1);
  m.AutoSmooth(0.1f, TRUE);
  EXPECT_TRUE(Share(m, 0, 1));
  for (int i = 2; i < 12; ++i) EXPECT_EQ(m.faces[size_t(i)].smGroup, 0x80000000u);
  // The new group avoids the bit the untouched neighbours use.
  EXPECT_EQ(m.faces[0].smGroup & 0x80000000u, 0u);

  Mesh one;
  one.setNumVerts(3);
  one.setVert(1, 1.0f, 0.0f, 0.0f);
  one.setVert(2, 0.0f, 1.0f, 0.0f);
  one.setNumFaces(1);
  one.faces[0].setVerts(0, 1, 2);
  one.faces[0].setSmGroup(5);
  one.AutoSmooth(float(M_PI));
  EXPECT_EQ(one.faces[0].smGroup, 0u);
}

// A bumpy height field of n x n quads (two triangles each).
Mesh Bumps(int n) {
  Mesh m;
  m.setNumVerts((n + 1) * (n + 1));
  uint32_t s = 12345;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      s = s * 1664525u + 1013904223u;
      m.setVert(j * (n + 1) + i, float(i), float(j), float(s >> 8) / float(1 << 24));
    }
  m.setNumFaces(2 * n * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      int a = j * (n + 1) + i, f = 2 * (j * n + i);
      m.faces[size_t(f)].setVerts(a, a + 1, a + n + 2);
      m.faces[size_t(f + 1)].setVerts(a, a + n + 2, a + n + 1);
    }
  return m;
}

// Pairs of faces across an edge sharper than angle that still share a group.
int SharpButSmoothed(Mesh& m, float angle) {
  int count = 0;
  for (int a = 0; a < m.getNumFaces(); ++a)
    for (int b = a + 1; b < m.getNumFaces(); ++b) {
      int shared = 0;
      for (DWORD v : m.faces[size_t(a)].v) shared += m.faces[size_t(b)].GetVertIndex(v) >= 0;
      if (shared == 2 && DotProd(m.getFaceNormal(a), m.getFaceNormal(b)) < std::cos(angle) &&
          Share(m, a, b))
        ++count;
    }
  return count;
}

TEST(Mesh, AutoSmoothCanPreventIndirectSmoothing) {
  const float angle = 0.5f;
  Mesh m = Bumps(12);
  m.AutoSmooth(angle, FALSE, FALSE);
  EXPECT_GT(SharpButSmoothed(m, angle), 0);  // smoothed across sharp edges through others
  m.AutoSmooth(angle, FALSE, TRUE);
  EXPECT_EQ(SharpButSmoothed(m, angle), 0);
}

TEST(Mesh, FlipNormalReversesWindingAndKeepsEdges) {
  Mesh m = Cube();
  Point3 n = m.getFaceNormal(0);
  m.faces[0].setEdgeVisFlags(1, 0, 1);
  m.FlipNormal(0);
  EXPECT_EQ(m.getFaceNormal(0), -n);
  // Edge A is the same edge; B and C swapped with their vertices.
  EXPECT_EQ(m.faces[0].getEdgeVis(0), 1);
  EXPECT_EQ(m.faces[0].getEdgeVis(1), 1);
  EXPECT_EQ(m.faces[0].getEdgeVis(2), 0);
  EXPECT_EQ(m.tvFace[0].t[0], m.faces[0].v[0]);
}

TEST(Mesh, CombineKeepsBothAndOffsetsIndices) {
  Mesh a = Cube();
  Mesh b;
  b.setNumVerts(3);
  b.setVert(1, 1.0f, 0.0f, 0.0f);
  b.setNumFaces(1);
  b.faces[0].setVerts(0, 1, 2);
  Mesh out;
  CombineMeshes(out, a, b);
  EXPECT_EQ(out.getNumVerts(), 11);
  EXPECT_EQ(out.getNumFaces(), 13);
  EXPECT_EQ(out.faces[12].v[1], 9u);
  // b had no texture channel: its face points at one added zero vertex.
  ASSERT_EQ(out.getNumTVFaces(), 13);
  EXPECT_EQ(out.getNumTVerts(), 9);
  EXPECT_EQ(out.tvFace[12].t[0], 8u);
  Mesh copy = out;
  EXPECT_EQ(copy.getNumFaces(), 13);
}

TEST(Mesh, ResizeKeepsOrZeroes) {
  Mesh m = Cube();
  m.setNumVerts(10, TRUE);
  EXPECT_EQ(m.verts[7], Point3(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(m.verts[9], Point3(0.0f, 0.0f, 0.0f));
  m.setNumVerts(4);
  for (const Point3& p : m.verts) EXPECT_EQ(p, Point3(0.0f, 0.0f, 0.0f));
}

}  // namespace
