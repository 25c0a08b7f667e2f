// Faces, mesh checks, the lattice layout and the layer marking.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "fill_geometry/poliedro.h"
#include "test_poliedro_meshes.h"

namespace {

int16_t Check(TestMesh& m) {
  PoliedroMatricial pm;
  return pm.SetMesh(m.nv(), m.verts(), m.nf(), m.faces());
}

TestMesh Tetra() {
  TestMesh m;
  m.AddVertex(0, 0, 0);
  m.AddVertex(1, 0, 0);
  m.AddVertex(0, 1, 0);
  m.AddVertex(0, 0, 1);
  m.AddFace(0, 2, 1);
  m.AddFace(0, 1, 3);
  m.AddFace(1, 2, 3);
  m.AddFace(2, 0, 3);
  return m;
}

TEST(Cara, SetRefusesCloseCornersAndTinyAreaAndSecondSet) {
  Cara f;
  EXPECT_FALSE(f.Set(0, 0, 0, 5e-9, 0, 0, 0, 1, 0));
  EXPECT_FALSE(f.Set(0, 0, 0, 1, 0, 0, 2, 0, 1e-9));  // collinear: area below 1e-8
  EXPECT_EQ(f.Area(), 0.0);
  ASSERT_TRUE(f.Set(0, 0, 0, 2, 0, 0, 0, 2, 1));
  EXPECT_NEAR(f.Area(), std::sqrt(20.0) / 2.0, 1e-12);  // |(2,0,0) x (-2,2,1)| / 2
  EXPECT_EQ(f.ZMax(), 1.0);
  EXPECT_EQ(f.XMax(), 2.0);
  // Corners are written once: a second Set is refused and keeps the first.
  EXPECT_FALSE(f.Set(5, 5, 5, 6, 5, 5, 5, 6, 5));
  EXPECT_EQ(f.Corner(1)->x(), 2.0);
  EXPECT_EQ(f.Corner(3), nullptr);
}

TEST(Cara, PlaneHorizontalAndSharedCorners) {
  Cara flat, steep, gentle;
  ASSERT_TRUE(flat.Set(0, 0, 2, 1, 0, 2, 0, 1, 2));
  double nx, ny, nz, d;
  flat.Plane(nx, ny, nz, d);
  EXPECT_NEAR(nz, 1.0, 1e-12);
  EXPECT_NEAR(d, -2.0, 1e-12);
  EXPECT_TRUE(flat.IsHorizontal());
  ASSERT_TRUE(steep.Set(0, 0, 0, 1, 0, 0, 0, 0, 1));
  EXPECT_FALSE(steep.IsHorizontal());
  ASSERT_TRUE(gentle.Set(0, 0, 0, 10, 0, 0.5, 0, 10, 0));  // about 2.9 degrees
  EXPECT_TRUE(gentle.IsHorizontal());
  EXPECT_EQ(flat.SharedCorners(steep), 0);
  EXPECT_EQ(steep.SharedCorners(gentle), 1);
}

TEST(Cara, CutAtHeight) {
  Cara f;
  ASSERT_TRUE(f.Set(0, 0, 0, 4, 0, 4, 0, 4, 4));
  double x1, y1, x2, y2;
  uint8_t touch = 9;
  EXPECT_FALSE(f.CutAtHeight(-0.1, x1, y1, x2, y2, touch));
  ASSERT_TRUE(f.CutAtHeight(2, x1, y1, x2, y2, touch));
  EXPECT_DOUBLE_EQ(x1, 2);  // edge P0->P1 first
  EXPECT_DOUBLE_EQ(y1, 0);
  EXPECT_DOUBLE_EQ(x2, 0);  // then P2->P0
  EXPECT_DOUBLE_EQ(y2, 2);
  EXPECT_EQ(touch, 0);
  // The top edge lies at the height: not cut as an edge, but its corners are
  // found on the sloped edges, both corners.
  ASSERT_TRUE(f.CutAtHeight(4, x1, y1, x2, y2, touch));
  EXPECT_EQ(touch, 1);
  EXPECT_DOUBLE_EQ(x1, 4);
  EXPECT_DOUBLE_EQ(y2, 4);
}

TEST(Cara, CutAtHeightThroughTheMiddleCornerKeepsTheOppositeCrossing) {
  // P1 lies exactly at the height, P0 above and P2 below: P1 is found by
  // P0->P1 and again by P1->P2; the real second end lies on P2->P0.
  Cara f;
  ASSERT_TRUE(f.Set(0, 0, 10, 4, 2, 5, 0, 4, 0));
  double x1, y1, x2, y2;
  uint8_t touch = 9;
  ASSERT_TRUE(f.CutAtHeight(5, x1, y1, x2, y2, touch));
  EXPECT_DOUBLE_EQ(x1, 4);
  EXPECT_DOUBLE_EQ(y1, 2);
  EXPECT_DOUBLE_EQ(x2, 0);
  EXPECT_DOUBLE_EQ(y2, 2);
  EXPECT_EQ(touch, 0);
  // A face that only touches the height at one corner gives no segment.
  Cara g;
  ASSERT_TRUE(g.Set(0, 0, 10, 4, 2, 5, 0, 4, 10));
  EXPECT_FALSE(g.CutAtHeight(5, x1, y1, x2, y2, touch));
}

TEST(PoliedroMatricial, RefusalCodesInOrder) {
  TestMesh two;
  two.AddVertex(0, 0, 0);
  two.AddVertex(1, 0, 0);
  two.AddFace(0, 1, 0);
  EXPECT_EQ(Check(two), PoliedroMatricial::kTooFewVertices);

  TestMesh outOfRange = Tetra();
  outOfRange.f[2][1] = 4;
  EXPECT_EQ(Check(outOfRange), -990);

  TestMesh noFaces = Tetra();
  noFaces.f.clear();
  EXPECT_EQ(Check(noFaces), -992);

  TestMesh close = Tetra();
  close.AddVertex(1e-9, 0, 0);  // unused, but still compared
  EXPECT_EQ(Check(close), -991);
  TestMesh closeAndBadFace = close;
  closeAndBadFace.f[0] = {0, 0, 1};  // -991 is checked before the faces
  EXPECT_EQ(Check(closeAndBadFace), -991);

  TestMesh repeatedIndex = Tetra();
  repeatedIndex.f[0] = {0, 0, 1};
  EXPECT_EQ(Check(repeatedIndex), -992);

  TestMesh degenerate = Tetra();
  degenerate.AddVertex(2, 0, 0);  // collinear with 0 and 1
  degenerate.AddFace(0, 1, 4);
  EXPECT_EQ(Check(degenerate), -992);

  TestMesh repeated = Tetra();
  repeated.AddFace(2, 1, 0);  // face 0 (0, 2, 1) again, other orientation
  EXPECT_EQ(Check(repeated), -994);

  TestMesh flipped = Tetra();
  flipped.AddVertex(1, 1, -1);
  flipped.AddFace(0, 2, 4);  // shares the directed edge 0->2 with face 0
  EXPECT_EQ(Check(flipped), -995);

  TestMesh ok = Tetra();
  PoliedroMatricial pm;
  EXPECT_EQ(pm.SetMesh(ok.nv(), ok.verts(), ok.nf(), ok.faces()), PoliedroMatricial::kAccepted);
  EXPECT_EQ(pm.FaceCount(), 4);
  Cara* f = nullptr;
  ASSERT_TRUE(pm.GetFace(1, f));
  EXPECT_DOUBLE_EQ(f->Corner(2)->z(), 1.0);
  delete f;
  EXPECT_FALSE(pm.GetFace(4, f));
  EXPECT_EQ(f, nullptr);
  // A refused mesh leaves the object empty, even after an accepted one.
  EXPECT_EQ(pm.SetMesh(flipped.nv(), flipped.verts(), flipped.nf(), flipped.faces()), -995);
  EXPECT_EQ(pm.FaceCount(), 0);
}

TEST(PoliedroMatricial, HashedChecksMatchPairwiseOnLargeMeshes) {
  TestMesh s = MakeSphere(0, 0, 0, 1000, 120, 60);
  EXPECT_EQ(Check(s), -8888);
  // Two vertices of a far-out mesh just under 1e-8 apart across a cell edge.
  TestMesh far = MakeBox(1e6, 1e6, 1e6, 1e6 + 1, 1e6 + 1, 1e6 + 1);
  far.AddVertex(1e6 + 1 + 0.6e-8, 1e6 + 1 + 0.6e-8, 1e6 + 1);  // 0.85e-8 from a corner
  EXPECT_EQ(Check(far), -991);
  TestMesh farOk = MakeBox(1e6, 1e6, 1e6, 1e6 + 1, 1e6 + 1, 1e6 + 1);
  farOk.AddVertex(1e6 + 1 + 2e-8, 1e6 + 1, 1e6 + 1);
  EXPECT_EQ(Check(farOk), -8888);
}

std::unique_ptr<PoliedroEstructurado> Solid(TestMesh& m) {
  auto s = MakeSolid(m);
  EXPECT_NE(s, nullptr);
  return s;
}

TEST(PoliedroEstructurado, LatticeLayoutOfTheCube) {
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  auto s = Solid(cube);
  EXPECT_EQ(s->FaceCount(), 12);
  LatticeLayout L;
  EXPECT_FALSE(s->LatticeParams(L));  // not laid out yet
  int32_t layers = 0;
  double first = 0, last = 0, dz = 0;
  ASSERT_TRUE(s->SetupLayers(1.0, layers, first, last, dz));
  ASSERT_TRUE(s->LatticeParams(L));
  EXPECT_DOUBLE_EQ(L.dy, 1.73205080756888);
  EXPECT_DOUBLE_EQ(L.dz, 1.63299316185545);
  EXPECT_NEAR(L.layerShift, 0.57735026918963, 1e-14);
  EXPECT_DOUBLE_EQ(L.xStart, -1.0);
  EXPECT_EQ(layers, 7);
  EXPECT_DOUBLE_EQ(dz, 1.63299316185545);
  const double mid = 5.0 + 0.000123456789;
  EXPECT_NEAR(first, mid - 3 * dz, 1e-12);
  EXPECT_NEAR(last, first + 6 * dz, 1e-12);
  EXPECT_EQ(s->ColumnCount(), static_cast<int32_t>(std::floor((L.xhi - L.xStart) / 2.0) + 1));
  EXPECT_EQ(s->RowCount(), static_cast<int32_t>(std::floor((L.yhi - L.yStart) / L.dy) + 1));

  const int32_t expected[7] = {28, 33, 28, 33, 28, 33, 28};
  for (int32_t k = 0; k < layers; ++k) {
    int32_t marked = -1;
    ASSERT_TRUE(s->ComputeLayer(k, marked));
    EXPECT_EQ(marked, expected[k]) << "layer " << k;
  }
  int32_t none = 0;
  EXPECT_FALSE(s->ComputeLayer(7, none));
  int32_t total = 0;
  s->CountCells(0, 6, total);
  EXPECT_EQ(total, 211);
  s->CountCells(3, 2, total);
  EXPECT_EQ(total, 0);

  // Points on the walls (x = 0 and x = 10 on shifted rows) lie within 1e-8
  // of a crossing and count as inside.
  // Layer 0: row 0 lies below y = 0, row 1 is shifted by r so column 0 is x = 0.
  EXPECT_FALSE(s->IsCellOccupied(0, 0, 1));
  EXPECT_TRUE(s->IsCellOccupied(0, 1, 0));
  std::vector<std::array<double, 3>> pts;
  EXPECT_FALSE(s->GetPoints(0, 6, 210, pts));
  EXPECT_TRUE(pts.empty());
  EXPECT_EQ(s->LayerCount(), 7);  // grid kept
  EXPECT_FALSE(s->GetPoints(0, 6, 212, pts));
  ASSERT_TRUE(s->GetPoints(0, 6, 211, pts));
  ASSERT_EQ(pts.size(), 211u);
  EXPECT_EQ(s->LayerCount(), 0);  // grid freed
  // Lattice order and every point in the closed cube.
  for (size_t i = 0; i < pts.size(); ++i) {
    for (int a = 0; a < 3; ++a) {
      EXPECT_GE(pts[i][a], -1e-9);
      EXPECT_LE(pts[i][a], 10 + 1e-9);
    }
    if (i > 0) {
      const auto& p = pts[i - 1];
      const auto& q = pts[i];
      EXPECT_TRUE(p[2] < q[2] || (p[2] == q[2] && (p[1] < q[1] || (p[1] == q[1] && p[0] < q[0]))));
    }
  }
  EXPECT_DOUBLE_EQ(pts[0][2], first);
  EXPECT_DOUBLE_EQ(pts.back()[2], last);
}

// Every lattice cell is marked exactly when its point lies inside the mesh
// by the winding number (cells right on the surface, where a nudge of 1e-6
// changes the answer, are not judged).
void ExpectMarksMatchWinding(TestMesh& m, double r) {
  auto s = Solid(m);
  int32_t layers;
  double first, last, dz;
  ASSERT_TRUE(s->SetupLayers(r, layers, first, last, dz));
  LatticeLayout L;
  ASSERT_TRUE(s->LatticeParams(L));
  int inside = 0;
  for (int32_t k = 0; k < layers; ++k) {
    int32_t marked;
    ASSERT_TRUE(s->ComputeLayer(k, marked));
    const bool odd = k % 2 != 0;
    for (int32_t j = 0; j < s->RowCount(); ++j) {
      const bool shifted = odd == (j % 2 == 0);
      const double y = L.yStart + (odd ? L.layerShift : 0) + L.dy * j;
      for (int32_t i = 0; i < s->ColumnCount(); ++i) {
        const double x = L.xStart + (shifted ? r : 0) + 2 * r * i;
        const double z = first + k * dz;
        const bool in = std::fabs(m.Winding(x, y, z)) > 0.5;
        bool boundary = false;
        for (int a = 0; a < 6 && !boundary; ++a) {
          const double e = (a % 2 ? -1e-6 : 1e-6);
          boundary = (std::fabs(m.Winding(x + (a / 2 == 0 ? e : 0), y + (a / 2 == 1 ? e : 0),
                                          z + (a / 2 == 2 ? e : 0))) > 0.5) != in;
        }
        if (boundary) continue;
        inside += in;
        ASSERT_EQ(s->IsCellOccupied(k, j, i), in) << k << " " << j << " " << i;
      }
    }
  }
  EXPECT_GT(inside, 100);
}

TEST(PoliedroEstructurado, MarksExactlyTheLatticePointsInside) {
  TestMesh sphere = MakeSphere(1, 2, 3, 6, 24, 13);
  ExpectMarksMatchWinding(sphere, 0.6);
  TestMesh torus = MakeTorus(0, 0, 0, 8, 3, 32, 16);
  ExpectMarksMatchWinding(torus, 0.6);
  // A box under a roof sloped at under 3 degrees (|nz| > 0.995): the layers
  // that cut only the roof still get their section.
  TestMesh roofed = MakeBox(0, 0, 0, 20, 20, 1);
  const int32_t apex = roofed.AddVertex(10, 10, 1.5);
  // The top of the box (4, 5, 7, 6) becomes four roof faces.
  roofed.f.erase(roofed.f.begin() + 2, roofed.f.begin() + 4);
  roofed.AddFace(4, 5, apex);
  roofed.AddFace(5, 7, apex);
  roofed.AddFace(7, 6, apex);
  roofed.AddFace(6, 4, apex);
  ExpectMarksMatchWinding(roofed, 0.2);
  // A box whose top is tiled with 800 flat triangles: the walls span every
  // height bucket of the face index and are looked up apart from the rest.
  TestMesh tiled = MakeBox(0, 0, 0, 8, 8, 6);
  tiled.f.erase(tiled.f.begin() + 2, tiled.f.begin() + 4);
  const int n = 20;
  const int32_t base = tiled.nv();
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) tiled.AddVertex(8.0 * i / n, 8.0 * j / n, 6);
  // The corners of the grid repeat the box's top corners: use those.
  auto id = [&](int i, int j) -> int32_t {
    if (j == 0 && i == 0) return 4;
    if (j == 0 && i == n) return 5;
    if (j == n && i == 0) return 6;
    if (j == n && i == n) return 7;
    return base + j * (n + 1) + i;
  };
  for (const int32_t c : {base, base + n, base + n * (n + 1), base + n * (n + 1) + n})
    tiled.v[static_cast<size_t>(c)][2] = 100 + c;  // unused, moved out of the way
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      tiled.AddFace(id(i, j), id(i + 1, j), id(i + 1, j + 1));
      tiled.AddFace(id(i, j), id(i + 1, j + 1), id(i, j + 1));
    }
  ExpectMarksMatchWinding(tiled, 0.5);
}

TEST(PoliedroEstructurado, SetupRefusals) {
  PoliedroEstructurado empty;
  int32_t layers = 5;
  double a, b, c;
  EXPECT_FALSE(empty.SetupLayers(1.0, layers, a, b, c));  // no faces
  EXPECT_EQ(layers, 0);
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  auto s = Solid(cube);
  EXPECT_FALSE(s->SetupLayers(5e-9, layers, a, b, c));
  // A tiny radius on a large object would need ~1.8e11 grid bytes: refused
  // before anything is allocated, and counts never overflow.
  TestMesh big = MakeBox(0, 0, 0, 100, 100, 100);
  auto sb = Solid(big);
  EXPECT_FALSE(sb->SetupLayers(0.01, layers, a, b, c));
  EXPECT_FALSE(sb->SetupLayers(1e-7, layers, a, b, c));
  EXPECT_EQ(sb->LayerCount(), 0);
  int32_t marked = 3;
  EXPECT_FALSE(sb->ComputeLayer(0, marked));
  EXPECT_EQ(marked, 0);
  // A second layout replaces the first grid.
  ASSERT_TRUE(s->SetupLayers(1.0, layers, a, b, c));
  ASSERT_TRUE(s->SetupLayers(2.0, layers, a, b, c));
  EXPECT_EQ(layers, static_cast<int32_t>(std::floor(10.004 / (2 * 1.63299316185545)) + 1));
}

TEST(PoliedroEstructurado, RetryHeights) {
  const double z = 3.0, dz = 2.0;
  const double expect[5] = {3.0, 3.002, 2.998, 3.004, 2.996};
  for (int n = 0; n < 5; ++n) EXPECT_NEAR(PoliedroEstructurado::RetryHeight(z, dz, n), expect[n], 1e-12);
}

TEST(PoliedroEstructurado, SliceStatus) {
  TestMesh torus = MakeTorus(0, 0, 0, 10, 3, 48, 24);
  auto s = Solid(torus);
  Recintos* regions = nullptr;
  int status = -1;
  std::vector<int32_t> cut;
  s->SliceRegions(5.0, regions, status, cut, 1e-8);  // above the torus
  EXPECT_EQ(status, 0);
  EXPECT_EQ(regions, nullptr);
  EXPECT_TRUE(cut.empty());
  // Through the middle: a ring; the hole traced as a region of its own is
  // dropped, leaving one region with one hole.
  s->SliceRegions(0.1, regions, status, cut, 1e-8);
  ASSERT_EQ(status, 2);
  ASSERT_NE(regions, nullptr);
  ASSERT_EQ(regions->Count(), 1);
  EXPECT_EQ(regions->Get(0)->ChainCount(), 2);
  EXPECT_FALSE(cut.empty());
  delete regions;
  // Near the top of the tube: a thin ring, still one region with its hole.
  s->SliceRegions(2.5, regions, status, cut, 1e-8);
  ASSERT_EQ(status, 2);
  ASSERT_EQ(regions->Count(), 1);
  EXPECT_EQ(regions->Get(0)->ChainCount(), 2);
  delete regions;
}

}  // namespace

TEST(PoliedroEstructurado, ACancelStopsALayerAndLayersReleaseAlone) {
  TestMesh sphere = MakeSphere(0, 0, 0, 10, 40, 21);
  auto solid = MakeSolid(sphere);
  ASSERT_NE(solid, nullptr);
  int32_t layers = 0;
  double first, last, dz;
  ASSERT_TRUE(solid->SetupLayers(0.5, layers, first, last, dz));
  const int32_t mid = layers / 2;
  int32_t full = 0;
  ASSERT_TRUE(solid->ComputeLayer(mid, full));
  ASSERT_GT(full, 0);
  ASSERT_TRUE(solid->ComputeLayer(mid + 1, full));
  // Released, a layer has no cells; its neighbour keeps its own.
  solid->ReleaseLayer(mid);
  int32_t count = -1;
  solid->CountCells(mid, mid, count);
  EXPECT_EQ(count, 0);
  solid->CountCells(mid + 1, mid + 1, count);
  EXPECT_EQ(count, full);
  // A cancel test that answers true stops the layer with nothing counted.
  int asked = 0;
  solid->SetCancelTest([&] { return ++asked > 0; });
  int32_t marked = -1;
  EXPECT_FALSE(solid->ComputeLayer(mid, marked));
  EXPECT_EQ(marked, 0);
  EXPECT_GT(asked, 0);
}
