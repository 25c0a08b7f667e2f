// The object fill: counts, inside-ness, layer table, messages and cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "fill_geometry/fill_object.h"
#include "fill_geometry/poliedro.h"
#include "host/core/interaction.h"
#include "test_poliedro_meshes.h"

namespace {

struct Recorder {
  std::vector<std::pair<std::string, uint32_t>> prompts;
  int abortAtCall = 0;  // 0: never
  int abortCalls = 0;
  FillHooks Hooks() {
    FillHooks h;
    h.prompt = [this](const char* t, uint32_t ms) { prompts.emplace_back(t, ms); };
    h.abort = [this]() { return ++abortCalls == abortAtCall; };
    return h;
  }
  const std::string& Last() const { return prompts.back().first; }
};

struct Result {
  Tab<Point3> points;
  Tab<int> table;
  Recorder rec;
};

void Fill(TestMesh& m, double r, float clearance, Result& out, bool axisFlag = true,
          const char* name = "Box01") {
  FillObjectWithParticles(1.0f, r, clearance, out.points, out.table, m.nv(), m.verts(), m.nf(), m.faces(),
                          name, axisFlag, out.rec.Hooks());
}

std::vector<int> Table(const Result& r) { return std::vector<int>(r.table.begin(), r.table.end()); }

TEST(FillObject, CubeCountsAndLayerTable) {
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  Result half;
  Fill(cube, 1.0, 0.5f, half);
  EXPECT_EQ(half.points.Count(), 113);
  EXPECT_EQ(Table(half), (std::vector<int>{23, 45, 68, 90, 113}));
  EXPECT_EQ(half.rec.Last(), "Fill complete. 113 particles in 4 layers.");
  EXPECT_EQ(half.rec.prompts.back().second, 2000u);
  // 7 layers in each pass, then the final message.
  ASSERT_EQ(half.rec.prompts.size(), 15u);
  EXPECT_EQ(half.rec.prompts[0].first, "Filling Box01-> 0%. numParts->28. ESC to cancel.");
  EXPECT_EQ(half.rec.prompts[0].second, 1000u);
  EXPECT_EQ(half.rec.prompts[6].first, "Filling Box01-> 100%. numParts->211. ESC to cancel.");
  EXPECT_EQ(half.rec.prompts[7].first, "Adding particles to Vorel source-> 0%...");
  EXPECT_EQ(half.rec.prompts[13].first, "Adding particles to Vorel source-> 85%...");

  Result zero;
  Fill(cube, 1.0, 0.0f, zero);
  EXPECT_EQ(zero.points.Count(), 169);
  EXPECT_EQ(Table(zero), (std::vector<int>{22, 49, 71, 98, 120, 147, 169}));

  // Lattice order, inside the cube, at least the clearance from every wall.
  for (int i = 0; i < half.points.Count(); ++i) {
    const Point3& p = half.points[i];
    for (int a = 0; a < 3; ++a) {
      EXPECT_GE(p[a], 0.5f);
      EXPECT_LE(p[a], 9.5f);
    }
    if (i > 0) {
      const Point3& q = half.points[i - 1];
      EXPECT_TRUE(q.z < p.z || (q.z == p.z && (q.y < p.y || (q.y == p.y && q.x < p.x))));
    }
  }
  // Axis flag clear: (x, z, y).
  Result swapped;
  Fill(cube, 1.0, 0.5f, swapped, false);
  ASSERT_EQ(swapped.points.Count(), 113);
  for (int i = 0; i < 113; ++i) {
    EXPECT_EQ(swapped.points[i].x, half.points[i].x);
    EXPECT_EQ(swapped.points[i].y, half.points[i].z);
    EXPECT_EQ(swapped.points[i].z, half.points[i].y);
  }
}

void ExpectAllInside(TestMesh& m, const Result& r) {
  for (int i = 0; i < r.points.Count(); ++i) {
    const Point3& p = r.points[i];
    ASSERT_GT(std::fabs(m.Winding(p.x, p.y, p.z)), 0.5) << p.x << " " << p.y << " " << p.z;
  }
}

// The table is a strictly increasing running total ending at the count.
void ExpectRunningTotals(const Result& r) {
  ASSERT_GT(r.table.Count(), 0);
  for (int i = 1; i < r.table.Count(); ++i) EXPECT_LT(r.table[i - 1], r.table[i]);
  EXPECT_EQ(r.table[r.table.Count() - 1], r.points.Count());
}

TEST(FillObject, SphereAndTorusPointsAreInside) {
  TestMesh sphere = MakeSphere(1, 2, 3, 10, 40, 21);
  Result s;
  Fill(sphere, 0.5, 0.25f, s);
  ExpectAllInside(sphere, s);
  ExpectRunningTotals(s);

  TestMesh torus = MakeTorus(0, 0, 0, 10, 3, 48, 24);
  Result t;
  Fill(torus, 0.5, 0.25f, t);
  ExpectAllInside(torus, t);
  ExpectRunningTotals(t);
  // Nothing in the hole.
  for (int i = 0; i < t.points.Count(); ++i) {
    const Point3& p = t.points[i];
    EXPECT_GT(std::hypot(p.x, p.y), 6.5f);
  }
}

// Two boxes side by side; the first one's walls are fanned around a vertex
// at height z in the middle of each wall, that vertex being the middle corner
// (P1) of the faces that span z. Geometrically the same as two plain boxes.
TestMesh TwoBoxes(bool fanned, double z) {
  TestMesh m;
  if (!fanned) {
    m = MakeBox(0, 0, 0, 10, 10, 10);
  } else {
    const double c[4][2] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    int32_t b[4], t[4], mid[4];
    for (int i = 0; i < 4; ++i) b[i] = m.AddVertex(c[i][0], c[i][1], 0);
    for (int i = 0; i < 4; ++i) t[i] = m.AddVertex(c[i][0], c[i][1], 10);
    for (int i = 0; i < 4; ++i) {
      const int n = (i + 1) % 4;
      mid[i] = m.AddVertex((c[i][0] + c[n][0]) / 2, (c[i][1] + c[n][1]) / 2, z);
    }
    m.AddFace(b[0], b[3], b[2]);
    m.AddFace(b[0], b[2], b[1]);
    m.AddFace(t[0], t[1], t[2]);
    m.AddFace(t[0], t[2], t[3]);
    for (int i = 0; i < 4; ++i) {
      const int n = (i + 1) % 4;
      // Outward wall fan b[i] -> b[n] -> t[n] -> t[i] around mid[i].
      m.AddFace(b[i], b[n], mid[i]);
      m.AddFace(t[n], mid[i], b[n]);  // mid is P1, t[n] above, b[n] below
      m.AddFace(t[n], t[i], mid[i]);
      m.AddFace(b[i], mid[i], t[i]);  // mid is P1 again
    }
  }
  m.Append(MakeBox(14, 0, 0, 24, 10, 10));
  return m;
}

TEST(FillObject, VerticesExactlyAtLayerHeights) {
  // The lattice depends only on the box, so find the layer heights first.
  TestMesh plain = TwoBoxes(false, 0);
  auto pe = MakeSolid(plain);
  ASSERT_NE(pe, nullptr);
  int32_t layers;
  double first, last, dz;
  ASSERT_TRUE(pe->SetupLayers(1.0, layers, first, last, dz));
  const double z3 = first + 3 * dz;

  TestMesh fanned = TwoBoxes(true, z3);
  ASSERT_EQ(fanned.v[8][2], z3);
  Result a, b;
  Fill(plain, 1.0, 0.0f, a);
  Fill(fanned, 1.0, 0.0f, b);
  ASSERT_GT(a.points.Count(), 0);
  EXPECT_EQ(b.points.Count(), a.points.Count());
  EXPECT_EQ(Table(b), Table(a));

  // A double cone whose rim vertices lie exactly at a layer height: every face
  // touching the rim gives the rim edge, once from above and once from below.
  // The rim's height does not change the box, so the layers are found first.
  TestMesh cone;
  const int32_t bottom = cone.AddVertex(0, 0, 0);
  const int32_t top = cone.AddVertex(0, 0, 10);
  const int rim = 8;
  for (int i = 0; i < rim; ++i) {
    const double ph = 2 * 3.14159265358979 * i / rim;
    cone.AddVertex(6 * std::cos(ph), 6 * std::sin(ph), 5);
  }
  for (int i = 0; i < rim; ++i) {
    const int32_t p = 2 + i, q = 2 + (i + 1) % rim;
    cone.AddFace(bottom, q, p);
    cone.AddFace(top, p, q);
  }
  auto ce = MakeSolid(cone);
  ASSERT_NE(ce, nullptr);
  ASSERT_TRUE(ce->SetupLayers(0.5, layers, first, last, dz));
  for (int i = 0; i < rim; ++i) cone.v[static_cast<size_t>(2 + i)][2] = first + 3 * dz;
  Result c;
  Fill(cone, 0.5, 0.1f, c);
  ExpectAllInside(cone, c);
  ExpectRunningTotals(c);
  // The layer through the rim keeps the widest section of all.
  auto cs = MakeSolid(cone);
  ASSERT_NE(cs, nullptr);
  ASSERT_TRUE(cs->SetupLayers(0.5, layers, first, last, dz));
  int32_t rimCount = 0, below = 0;
  ASSERT_TRUE(cs->ComputeLayer(3, rimCount));
  ASSERT_TRUE(cs->ComputeLayer(2, below));
  EXPECT_GT(rimCount, below);
}

TEST(FillObject, RingsAtAndWithinATolOfLayerHeightsLoseAndAddNoPoint) {
  // A sphere whose rings are moved onto layer heights, each vertex at the
  // height or up to 1e-8 above or below it: every fill point lies inside, and
  // every lattice point inside and clear of the surface comes out.
  TestMesh sphere = MakeSphere(0, 0, 0, 10, 40, 21);
  const double r = 0.5;
  const float clearance = 0.05f;
  auto solid = MakeSolid(sphere);
  ASSERT_NE(solid, nullptr);
  int32_t layers;
  double first, last, dz;
  ASSERT_TRUE(solid->SetupLayers(r, layers, first, last, dz));
  LatticeLayout L;
  ASSERT_TRUE(solid->LatticeParams(L));
  for (size_t i = 1; i + 1 < sphere.v.size(); ++i) {
    double& z = sphere.v[i][2];
    const double k = std::round((z - first) / dz);
    // A third exactly at the height, the others scattered over +-1e-8.
    const uint64_t u = i;
    const double off = (2654435761u * (u + 7)) % 3 == 0 ? 0.0 : (double((40503u * (u + 3)) % 2001) - 1000) * 1e-11;
    z = first + k * dz + off;
  }
  Result out;
  Fill(sphere, r, clearance, out);
  ExpectRunningTotals(out);
  std::set<std::array<float, 3>> got;
  for (int i = 0; i < out.points.Count(); ++i) {
    const Point3& p = out.points[i];
    EXPECT_GT(sphere.Winding(p.x, p.y, p.z), 0.5) << p.x << " " << p.y << " " << p.z;
    got.insert({p.x, p.y, p.z});
  }
  int expected = 0, lost = 0;
  for (int32_t k = 0; k < layers; ++k) {
    const bool odd = k % 2 != 0;
    const double z = first + k * dz;
    for (int32_t j = 0; j < solid->RowCount(); ++j) {
      const double y = L.yStart + (odd ? L.layerShift : 0.0) + L.dy * j;
      const bool shifted = odd == (j % 2 == 0);
      for (int32_t i = 0; i < solid->ColumnCount(); ++i) {
        const double x = L.xStart + (shifted ? L.rowShift : 0.0) + 2 * r * i;
        if (sphere.Winding(x, y, z) < 0.5) continue;
        const float p[3] = {float(x), float(y), float(z)};
        if (PointNearSurface(sphere.nv(), sphere.verts(), sphere.nf(), sphere.faces(), p, clearance))
          continue;
        ++expected;
        if (!got.count({p[0], p[1], p[2]})) ++lost;
      }
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(out.points.Count(), expected);
}

TEST(FillObject, ALimitStopsAfterTheLayerThatReachesIt) {
  // The limited fill is the unlimited one's first layers, up to the first
  // layer that brings the count to the limit, whichever pass gets there.
  TestMesh sphere = MakeSphere(0, 0, 0, 10, 40, 21);
  Result all;
  Fill(sphere, 0.5, 0.25f, all);
  ASSERT_GT(all.table.Count(), 4);
  for (int64_t limit : {int64_t(1), int64_t(all.table[2]), int64_t(all.table[2]) + 1,
                        int64_t(all.points.Count()), int64_t(all.points.Count()) * 10}) {
    Result part;
    FillHooks hooks = part.rec.Hooks();
    hooks.maxPoints = limit;
    FillObjectWithParticles(1.0f, 0.5, 0.25f, part.points, part.table, sphere.nv(), sphere.verts(), sphere.nf(),
                            sphere.faces(), "Sphere", true, hooks);
    int layers = 0;
    while (layers < all.table.Count() && all.table[layers] < limit) ++layers;
    layers = std::min(layers + 1, all.table.Count());
    ASSERT_EQ(part.table.Count(), layers) << limit;
    EXPECT_EQ(part.points.Count(), all.table[layers - 1]) << limit;
    for (int i = 0; i < part.points.Count(); ++i)
      ASSERT_EQ(part.points[i], all.points[i]) << limit << " " << i;
  }
}

TEST(FillObject, RefusedAndEmptyMeshesGiveNoParticles) {
  auto expectNothing = [](Result& r) {
    EXPECT_EQ(r.points.Count(), 0);
    EXPECT_EQ(r.table.Count(), 0);
    ASSERT_FALSE(r.rec.prompts.empty());
    EXPECT_EQ(r.rec.Last(), "no particles in filled object <<--");
    EXPECT_EQ(r.rec.prompts.back().second, 2000u);
  };
  TestMesh open = MakeBox(0, 0, 0, 10, 10, 10);
  open.f.pop_back();
  open.f.pop_back();
  Result a;
  a.points.Append(Point3(1, 2, 3));  // outputs are emptied first
  a.table.Append(7);
  Fill(open, 1.0, 0.5f, a);
  expectNothing(a);

  TestMesh empty;
  Result b;
  Fill(empty, 1.0, 0.5f, b);
  expectNothing(b);

  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  Result c;
  Fill(cube, 5e-9, 0.0f, c);
  expectNothing(c);

  TestMesh close = MakeBox(0, 0, 0, 10, 10, 10);
  close.AddVertex(1e-9, 0, 0);
  Result d;
  Fill(close, 1.0, 0.0f, d);
  expectNothing(d);

  TestMesh degenerate = MakeBox(0, 0, 0, 10, 10, 10);
  degenerate.AddVertex(5, 0, 0);  // on the edge from vertex 0 to vertex 1
  degenerate.AddFace(0, 1, 8);
  Result dg;
  Fill(degenerate, 1.0, 0.0f, dg);
  expectNothing(dg);

  TestMesh flipped = MakeBox(0, 0, 0, 10, 10, 10);
  std::swap(flipped.f[0][1], flipped.f[0][2]);
  Result e;
  Fill(flipped, 1.0, 0.0f, e);
  expectNothing(e);

  TestMesh big = MakeBox(0, 0, 0, 100, 100, 100);  // grid too large for r
  Result g;
  Fill(big, 0.01, 0.0f, g);
  expectNothing(g);
  EXPECT_EQ(g.rec.prompts.size(), 1u);

  // Everything within the clearance: candidates but nothing kept.
  Result h;
  Fill(cube, 1.0, 50.0f, h);
  expectNothing(h);
}

TEST(FillObject, CancelLeavesBothListsEmpty) {
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  for (int call : {1, 3, 7, 8, 10, 14}) {  // first pass: calls 1..7, second: 8..14
    Result r;
    r.rec.abortAtCall = call;
    Fill(cube, 1.0, 0.5f, r);
    EXPECT_EQ(r.points.Count(), 0) << call;
    EXPECT_EQ(r.table.Count(), 0) << call;
    EXPECT_EQ(r.rec.Last(), "Cancelled by user") << call;
    EXPECT_EQ(r.rec.prompts.back().second, 2000u);
    EXPECT_EQ(r.rec.abortCalls, call);
    for (const auto& p : r.rec.prompts) EXPECT_EQ(p.first.find("Fill complete"), std::string::npos);
  }
}

TEST(FillObject, HostPromptLineAndEscapeByDefault) {
  vorel::host::ResetInteraction();
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  Tab<Point3> points;
  Tab<int> table;
  FillObjectWithParticles(1.0f, 1.0, 0.5f, points, table, cube.nv(), cube.verts(), cube.nf(), cube.faces(),
                          "Box01", true);
  EXPECT_EQ(points.Count(), 113);
  EXPECT_EQ(vorel::host::PromptLog().back().text, "Fill complete. 113 particles in 4 layers.");

  vorel::host::PressEscapeAtPoll(2);  // down at the second layer's test
  FillObjectWithParticles(1.0f, 1.0, 0.5f, points, table, cube.nv(), cube.verts(), cube.nf(), cube.faces(),
                          "Box01", true);
  EXPECT_EQ(points.Count(), 0);
  EXPECT_EQ(table.Count(), 0);
  const auto log = vorel::host::PromptLog();
  EXPECT_EQ(log.back().text, "Cancelled by user");
  EXPECT_EQ(log.back().ms, 2000u);
  EXPECT_EQ(log[log.size() - 2].text, "Filling Box01-> 16%. numParts->61. ESC to cancel.");

  // The host closing cancels as well.
  vorel::host::ResetInteraction();
  vorel::host::CloseHostAtPoll(1);
  FillObjectWithParticles(1.0f, 1.0, 0.5f, points, table, cube.nv(), cube.verts(), cube.nf(), cube.faces(),
                          "Box01", true);
  EXPECT_EQ(points.Count(), 0);
  EXPECT_EQ(vorel::host::PromptLog().back().text, "Cancelled by user");
  vorel::host::ResetInteraction();
}

TEST(FillObject, SingleLayerAndLongNames) {
  TestMesh slab = MakeBox(0, 0, 0, 10, 10, 0.5);
  const std::string name(1000, 'n');
  Result r;
  Fill(slab, 1.0, 0.0f, r, true, name.c_str());
  ASSERT_GT(r.points.Count(), 0);
  EXPECT_EQ(Table(r), (std::vector<int>{r.points.Count()}));
  // One layer: the first pass shows 100% rather than dividing by zero.
  EXPECT_EQ(r.rec.prompts[0].first.rfind("Filling " + name + "-> 100%. numParts->", 0), 0u);
  EXPECT_EQ(r.rec.Last(), "Fill complete. " + std::to_string(r.points.Count()) + " particles in 0 layers.");
}

TEST(PointNearSurface, WithinTheClearanceOfAFaceAnEdgeOrACorner) {
  TestMesh cube = MakeBox(0, 0, 0, 10, 10, 10);
  const float p[3] = {5, 5, 0.3f};
  EXPECT_TRUE(PointNearSurface(cube.nv(), cube.verts(), cube.nf(), cube.faces(), p, 0.5f));
  EXPECT_FALSE(PointNearSurface(cube.nv(), cube.verts(), cube.nf(), cube.faces(), p, 0.2f));
  // Off the side of a lone triangle, its projection outside the triangle:
  // near by its edge (0.112 away) or corner (0.173), not beyond.
  TestMesh tri;
  tri.AddVertex(0, 0, 0);
  tri.AddVertex(1, 0, 0);
  tri.AddVertex(0, 1, 0);
  tri.AddFace(0, 1, 2);
  const float beside[3] = {0.5f, -0.05f, 0.1f};
  const float corner[3] = {-0.1f, -0.1f, 0.1f};
  const float over[3] = {0.2f, 0.2f, 0.1f};
  EXPECT_TRUE(PointNearSurface(tri.nv(), tri.verts(), tri.nf(), tri.faces(), beside, 0.5f));
  EXPECT_FALSE(PointNearSurface(tri.nv(), tri.verts(), tri.nf(), tri.faces(), beside, 0.11f));
  EXPECT_TRUE(PointNearSurface(tri.nv(), tri.verts(), tri.nf(), tri.faces(), corner, 0.18f));
  EXPECT_FALSE(PointNearSurface(tri.nv(), tri.verts(), tri.nf(), tri.faces(), corner, 0.17f));
  EXPECT_TRUE(PointNearSurface(tri.nv(), tri.verts(), tri.nf(), tri.faces(), over, 0.5f));

  // The inner corner of an L-shaped solid: a floor reaching +x and a wall
  // reaching down meet along y (x = z = 0); a point inside the solid across
  // that edge from both projects onto neither face, yet lies 0.424 from the
  // edge.
  TestMesh wedge;
  wedge.AddVertex(0, 0, 0);
  wedge.AddVertex(0, 1, 0);
  wedge.AddVertex(1, 0, 0);
  wedge.AddVertex(1, 1, 0);
  wedge.AddVertex(0, 0, -1);
  wedge.AddVertex(0, 1, -1);
  wedge.AddFace(0, 2, 1);
  wedge.AddFace(1, 2, 3);
  wedge.AddFace(0, 1, 4);
  wedge.AddFace(1, 5, 4);
  const float inWedge[3] = {-0.3f, 0.5f, 0.3f};
  EXPECT_TRUE(PointNearSurface(wedge.nv(), wedge.verts(), wedge.nf(), wedge.faces(), inWedge, 0.5f));
  EXPECT_FALSE(PointNearSurface(wedge.nv(), wedge.verts(), wedge.nf(), wedge.faces(), inWedge, 0.4f));
}

TEST(PointNearSurface, FillKeepsExactlyThePointsTheLinearTestKeeps) {
  // The fill bins faces to skip most of them; its choice must match the
  // plain test over every face for every candidate: on an ordinary mesh, on
  // one with slender faces round the poles, one far from the origin where
  // single precision is coarse, and a tiny one.
  struct Case {
    TestMesh mesh;
    double r;
    float clearance;
  } cases[4] = {{MakeSphere(0, 0, 0, 8, 24, 13), 0.4, 0.6f},
                {MakeSphere(1, -2, 3, 8, 160, 9), 0.4, 0.6f},
                {MakeSphere(1000, 1000, 1000, 8, 24, 13), 0.4, 0.6f},
                {MakeSphere(0, 0, 0, 0.08, 24, 13), 0.004, 0.006f}};
  for (Case& c : cases) {
    TestMesh& sphere = c.mesh;
    const float clearance = c.clearance;
    Result all;
    Fill(sphere, c.r, 0.0f, all);
    Result kept;
    Fill(sphere, c.r, clearance, kept);
    int j = 0;
    for (int i = 0; i < all.points.Count(); ++i) {
      const Point3& p = all.points[i];
      const float pt[3] = {p.x, p.y, p.z};
      if (PointNearSurface(sphere.nv(), sphere.verts(), sphere.nf(), sphere.faces(), pt, clearance)) continue;
      ASSERT_LT(j, kept.points.Count());
      EXPECT_EQ(kept.points[j], p);
      ++j;
    }
    EXPECT_EQ(j, kept.points.Count());
    EXPECT_GT(j, 0);
    EXPECT_LT(j, all.points.Count());
  }
}

}  // namespace
