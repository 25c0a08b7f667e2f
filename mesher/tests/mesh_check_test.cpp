#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "mesher/mesh_check.h"

namespace {

// Tetrahedra over vertices on a small grid, each wound the same way.
MeshRecord Tetrahedra(const std::vector<std::array<int32_t, 4>>& tets, int32_t vertexCount) {
  MeshRecord m;
  for (int32_t v = 0; v < vertexCount; ++v) m.vertices.push_back(Point3(float(v % 3), float(v / 3 % 3), float(v / 9)));
  for (const auto& t : tets) {
    m.faces.push_back({t[0], t[2], t[1]});
    m.faces.push_back({t[0], t[1], t[3]});
    m.faces.push_back({t[1], t[2], t[3]});
    m.faces.push_back({t[2], t[0], t[3]});
  }
  return m;
}

}  // namespace

TEST(MeshCheck, CountsEachKindOfFault) {
  struct Case {
    const char* what;
    MeshRecord mesh;
    int64_t boundary, nonManifold, misoriented, pinchedVertices, components;
  };
  MeshRecord flipped = Tetrahedra({{0, 1, 3, 9}}, 10);
  std::swap(flipped.faces[2][0], flipped.faces[2][1]);
  MeshRecord open = Tetrahedra({{0, 1, 3, 9}}, 10);
  open.faces.pop_back();
  const Case cases[] = {
      {"tetrahedron", Tetrahedra({{0, 1, 3, 9}}, 10), 0, 0, 0, 0, 1},
      {"one face flipped", flipped, 0, 0, 3, 0, 1},
      {"one face missing", open, 3, 0, 0, 0, 1},
      // Each closed and oriented, but meeting at one vertex: two fans there.
      {"two sharing a vertex", Tetrahedra({{0, 1, 3, 9}, {9, 10, 12, 18}}, 19), 0, 0, 0, 1, 2},
      // Four faces on the shared edge, each direction run twice.
      {"two sharing an edge", Tetrahedra({{0, 1, 3, 9}, {3, 9, 4, 12}}, 13), 0, 1, 2, 2, 1},
  };
  for (const Case& c : cases) {
    const MeshCheck r = CheckMesh(c.mesh);
    EXPECT_EQ(r.boundaryEdges, c.boundary) << c.what;
    EXPECT_EQ(r.nonManifoldEdges, c.nonManifold) << c.what;
    EXPECT_EQ(r.misorientedEdges, c.misoriented) << c.what;
    EXPECT_EQ(r.nonManifoldVertices, c.pinchedVertices) << c.what;
    EXPECT_EQ(r.components, c.components) << c.what;
    EXPECT_EQ(r.Manifold(), c.boundary + c.nonManifold + c.misoriented + c.pinchedVertices == 0) << c.what;
  }
}

// Closed and oriented, yet enclosing nothing a liquid could fill: faces
// without area (a surface collapsed to a point far from the origin),
// vertices no face uses, and a surface turned inside out.
TEST(MeshCheck, DegenerateSurfacesAreNotSound) {
  struct Case {
    const char* what;
    MeshRecord mesh;
    int64_t zeroArea, unused;
    bool sound;
  };
  const MeshRecord tet = Tetrahedra({{0, 1, 3, 9}}, 10);
  MeshRecord alone = tet;  // only the four corners
  alone.vertices = {tet.vertices[0], tet.vertices[1], tet.vertices[3], tet.vertices[9]};
  for (MeshFace& f : alone.faces)
    for (int s = 0; s < 3; ++s) f[s] = f[s] == 3 ? 2 : f[s] == 9 ? 3 : f[s];
  MeshRecord inside = alone;
  for (MeshFace& f : inside.faces) std::swap(f[0], f[1]);
  MeshRecord point = alone;
  for (Point3& v : point.vertices) v = Point3(1e7f, 1e7f, 1e7f);
  MeshRecord flat = alone;  // the apex moved onto the base's plane, over an edge
  flat.vertices[3] = Point3(0.5f, 0.0f, 0.0f);
  const Case cases[] = {
      {"tetrahedron", alone, 0, 0, true},
      {"with unused vertices", tet, 0, 6, false},
      {"inside out", inside, 0, 0, false},
      {"collapsed to a point", point, 4, 0, false},
      {"flat", flat, 1, 0, false},
      {"empty", MeshRecord(), 0, 0, true},
  };
  for (const Case& c : cases) {
    const MeshCheck r = CheckMesh(c.mesh);
    EXPECT_EQ(r.zeroAreaFaces, c.zeroArea) << c.what;
    EXPECT_EQ(r.unusedVertices, c.unused) << c.what;
    EXPECT_TRUE(r.Manifold()) << c.what;
    EXPECT_EQ(r.Sound(), c.sound) << c.what;
  }
  MeshRecord loose;
  loose.vertices.push_back(Point3(0, 0, 0));
  EXPECT_EQ(CheckMesh(loose).unusedVertices, 1);
  EXPECT_FALSE(CheckMesh(loose).Sound());
}
