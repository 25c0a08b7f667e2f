// Particle sizes and the three render meshes.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_objects/particle_display.h"

namespace {

ParticleSys Table(const std::vector<Point3>& pts, const std::vector<Point3>& vels,
                  const std::vector<int>& ages) {
  ParticleSys p;
  p.SetCount(int(pts.size()));
  for (size_t i = 0; i < pts.size(); ++i) {
    p.points[i] = pts[i];
    p.vels[i] = vels[i];
    p.ages[i] = ages[i];
  }
  return p;
}

ParticleLook Plain(float size) {
  ParticleLook l;
  l.dropSize = size;
  l.solitude = false;
  l.life = 100;
  return l;
}

bool Finite(const Mesh& m) {
  for (const Point3& v : m.verts)
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
  return true;
}

// Signed volume of a closed mesh (positive when its faces point outward).
double Volume(const Mesh& m, int firstFace, int faces) {
  double v = 0;
  for (int f = firstFace; f < firstFace + faces; ++f) {
    const Point3 a = m.verts[m.faces[f].v[0]], b = m.verts[m.faces[f].v[1]], c = m.verts[m.faces[f].v[2]];
    v += DotProd(a, CrossProd(b, c)) / 6.0;
  }
  return v;
}

}  // namespace

TEST(ParticleSize, ShrinksWithAgeAfterTheSharedLifePercentage) {
  ParticleLook l = Plain(2.0f);
  l.agePercent = 50;
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 75.0f, 10), 1.0f);  // 1 - smoothstep(50, 100, 75) = 0.5
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 50.0f, 10), 2.0f);
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 10.0f, 10), 2.0f);
  // Past its life only the minimum is left; division in floating point:
  // age 99 of 100 has begun shrinking.
  l.minSize = 0.25f;
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 150.0f, 10), 0.25f);
  EXPECT_LT(ParticleSizeOf(l, 99.0f, 10), 0.3f);
  l.agePercent = 100;
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 150.0f, 10), 2.0f);
  l.agePercent = 0;
  l.minSize = 0.0f;
  EXPECT_NEAR(ParticleSizeOf(l, 50.0f, 10), 1.0f, 1e-6f);  // 1 - smoothstep(0, 100, 50)
  EXPECT_LT(ParticleSizeOf(l, 1.0f, 10), 2.0f);
}

TEST(ParticleSize, SolitudeNeedsEnoughNeighboursAndNeverDividesByZero) {
  ParticleLook l = Plain(2.0f);
  l.solitude = true;
  l.minNeighbours = 10;
  l.minSize = 0.5f;
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 0.0f, 0), 0.5f);
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 0.0f, 10), 2.0f);
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 0.0f, 40), 2.0f);
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 0.0f, 5), 0.5f + 1.5f * 0.5f);
  l.minNeighbours = 0;
  EXPECT_FLOAT_EQ(ParticleSizeOf(l, 0.0f, 0), 2.0f);
  l.life = 0;  // taken as 1
  EXPECT_TRUE(std::isfinite(ParticleSizeOf(l, 5.0f, 3)));
}

TEST(RenderMesh, TetrahedraHaveFixedCountsTexturesAndPointOutward) {
  // Particle 1 is dead and contributes nothing.
  ParticleSys p = Table({Point3(0.0f, 0.0f, 0.0f), Point3(5.0f, 5.0f, 5.0f), Point3(10.0f, 0.0f, 0.0f)},
                        {Point3(0.01f, 0.0f, 0.0f), Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 0.02f, 0.01f)}, {0, -1, 3});
  Mesh m;
  BuildTetrahedraMesh(p, {}, Plain(2.0f), Matrix3(), m);
  ASSERT_EQ(m.getNumVerts(), 8);
  ASSERT_EQ(m.getNumFaces(), 8);
  ASSERT_EQ(m.getNumTVerts(), 18);
  ASSERT_EQ(m.getNumTVFaces(), 8);
  EXPECT_NEAR((m.verts[0] - Point3(-0.8f, 0.0f, 0.0f)).Length(), 0.0f, 1e-6f);  // tail p - v x 40 x s
  EXPECT_EQ(m.faces[4].v[0], 6u);
  EXPECT_EQ(m.faces[4].v[2], 4u);
  EXPECT_EQ(m.faces[0].getMatID(), 0);
  EXPECT_EQ(m.faces[4].getMatID(), 2);
  EXPECT_EQ(m.faces[5].getSmGroup(), 1u);
  EXPECT_EQ(m.faces[5].getEdgeVis(2), 1);
  const float tv[9][2] = {{0, 0}, {1.f / 3, 0}, {1.f / 6, 1}, {1.f / 3, 0}, {2.f / 3, 0},
                          {0.5f, 1}, {2.f / 3, 0}, {1, 0}, {5.f / 6, 1}};
  for (int j = 0; j < 9; ++j) EXPECT_EQ(m.tVerts[9 + j], UVVert(tv[j][0], tv[j][1], 0.0f)) << j;
  EXPECT_EQ(m.tvFace[7].t[0], 9u);
  EXPECT_EQ(m.tvFace[7].t[2], 11u);
  EXPECT_GT(Volume(m, 0, 4), 0.0);
  EXPECT_GT(Volume(m, 4, 4), 0.0);

  // A mirrored node: vertices go through its inverse, and the flip keeps
  // the faces outward.
  Matrix3 mirror;
  mirror.SetRow(0, Point3(-1.0f, 0.0f, 0.0f));
  BuildTetrahedraMesh(p, {}, Plain(2.0f), mirror, m);
  EXPECT_LT(Volume(m, 0, 4), 0.0);
  FlipWhenMirrored(mirror, m);
  EXPECT_GT(Volume(m, 0, 4), 0.0);
  FlipWhenMirrored(Matrix3(), m);
  EXPECT_GT(Volume(m, 0, 4), 0.0);
}

TEST(RenderMesh, TetrahedraAlongTheYAxisOrAtRestStayFinite) {
  ParticleSys p = Table({Point3(0.0f, 0.0f, 0.0f), Point3(1.0f, 0.0f, 0.0f), Point3(2.0f, 0.0f, 0.0f), Point3(3.0f, 0.0f, 0.0f)},
                        {Point3(0.0f, 0.025f, 0.0f), Point3(0.0f, -0.05f, 0.0f), Point3(0.0f, 0.0f, 0.0f), Point3(0.0f, 1e-9f, 0.0f)},
                        {0, 0, 0, 0});
  Mesh m;
  BuildTetrahedraMesh(p, {}, Plain(1.0f), Matrix3(), m);  // d = (0, 1, 0) exactly for the first
  ASSERT_TRUE(Finite(m));
  EXPECT_EQ(m.verts[1], Point3(0.0f, 0.0f, 0.05f));
  EXPECT_GT(std::fabs(Volume(m, 0, 4)), 0.0);
  EXPECT_GT(std::fabs(Volume(m, 4, 4)), 0.0);
}

TEST(RenderMesh, FacingQuadsFaceTheCameraWithTheirOwnLayout) {
  ParticleSys p = Table({Point3(0.0f, 0.0f, 0.0f)}, {Point3(0.0f, 0.0f, 0.0f)}, {0});
  ParticleLook l = Plain(1.0f);
  l.renderType = 1;
  Mesh m;
  BuildFacingMesh(p, {}, l, Matrix3(), Point3(0.0f, -10.0f, 0.0f), m);  // camera on -y
  ASSERT_EQ(m.getNumVerts(), 4);
  ASSERT_EQ(m.getNumFaces(), 2);
  // f = (0, -1, 0): u = z x f = (1, 0, 0), v = u x f = (0, 0, -1).
  EXPECT_EQ(m.verts[0], Point3(1.0f, 0.0f, -1.0f));
  EXPECT_EQ(m.verts[1], Point3(-1.0f, 0.0f, -1.0f));
  EXPECT_EQ(m.verts[2], Point3(-1.0f, 0.0f, 1.0f));
  EXPECT_EQ(m.verts[3], Point3(1.0f, 0.0f, 1.0f));
  EXPECT_EQ(m.faces[0].v[0], 1u);
  EXPECT_EQ(m.faces[0].v[1], 0u);
  EXPECT_EQ(m.faces[0].v[2], 2u);
  EXPECT_EQ(m.faces[1].v[0], 3u);
  EXPECT_EQ(m.tVerts[1], UVVert(0.0f, 1.0f, 0.0f));
  EXPECT_EQ(m.tvFace[1].t[0], 3u);
  // The face normal points at the camera.
  EXPECT_LT(m.FaceNormal(0).y, 0.0f);

  // Camera straight above, or moving straight up: still a proper square.
  BuildFacingMesh(p, {}, l, Matrix3(), Point3(0.0f, 0.0f, 50.0f), m);
  ASSERT_TRUE(Finite(m));
  EXPECT_FLOAT_EQ((m.verts[0] - m.verts[1]).Length(), 2.0f);
  l.facing = 1;
  ParticleSys up = Table({Point3(0.0f, 0.0f, 0.0f), Point3(1.0f, 1.0f, 1.0f)}, {Point3(0.0f, 0.0f, 3.0f), Point3()}, {0, 0});
  BuildFacingMesh(up, {}, l, Matrix3(), Point3(), m);
  ASSERT_TRUE(Finite(m));
  EXPECT_FLOAT_EQ((m.verts[4] - m.verts[5]).Length(), 2.0f);
}

TEST(RenderMesh, InstancesCopyTheObjectPerLiveParticleWithShiftedIndices) {
  Mesh tri;
  tri.setNumVerts(3);
  tri.setNumFaces(1);
  tri.verts = {Point3(0.0f, 0.0f, 0.0f), Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 1.0f, 0.0f)};
  tri.faces[0].setVerts(0, 1, 2);
  ParticleSys p = Table({Point3(10.0f, 0.0f, 0.0f), Point3(), Point3(20.0f, 0.0f, 0.0f)},
                        {Point3(0.0f, 0.0f, 1.0f), Point3(), Point3(0.0f, 0.0f, 1.0f)}, {0, -1, 0});
  ParticleLook l = Plain(2.0f);
  l.facing = 1;
  Mesh m;
  BuildInstancedMesh(p, {}, l, Matrix3(), Point3(), tri, m);
  ASSERT_EQ(m.getNumVerts(), 6);
  ASSERT_EQ(m.getNumFaces(), 2);
  EXPECT_EQ(m.getNumTVerts(), 0);
  EXPECT_EQ(m.getNumTVFaces(), 0);
  EXPECT_EQ(m.verts[3], Point3(20.0f, 0.0f, 0.0f));
  EXPECT_EQ(m.faces[1].v[0], 3u);
  EXPECT_EQ(m.faces[1].v[2], 5u);
  EXPECT_EQ(m.faces[1].getMatID(), 2);
  ASSERT_TRUE(Finite(m));
  EXPECT_FLOAT_EQ((m.verts[4] - m.verts[3]).Length(), 2.0f);

  tri.setNumTVerts(3, TRUE);
  tri.setNumTVFaces(1, TRUE);
  tri.tvFace[0].setTVerts(2, 1, 0);
  BuildInstancedMesh(p, {}, l, Matrix3(), Point3(), tri, m);
  ASSERT_EQ(m.getNumTVerts(), 6);
  ASSERT_EQ(m.getNumTVFaces(), 2);
  EXPECT_EQ(m.tvFace[1].t[0], 5u);
}

TEST(RenderMesh, ManyParticlesGiveTheSameMeshAsOneThread) {
  ParticleSys p;
  p.SetCount(5000);
  for (int i = 0; i < 5000; ++i) {
    p.points[i] = Point3(i * 0.1f, std::sin(i * 0.3f), 0.0f);
    p.vels[i] = Point3(std::cos(i * 0.7f), 0.01f * (i % 7), std::sin(i * 0.1f)) * 0.03f;
    p.ages[i] = (i % 11 == 0) ? -1 : i % 50;
  }
  ParticleLook l = Plain(1.5f);
  l.agePercent = 40;
  l.life = 40;
  Mesh serial;
  for (int i = 0; i < 5000; ++i) {
    if (p.ages[i] < 0) continue;
    ParticleSys one = Table({p.points[i]}, {p.vels[i]}, {p.ages[i]});
    Mesh m1;
    BuildTetrahedraMesh(one, {}, l, Matrix3(), m1);
    for (const Point3& v : m1.verts) serial.verts.push_back(v);
  }
  Mesh all;
  BuildTetrahedraMesh(p, {}, l, Matrix3(), all);
  ASSERT_EQ(all.verts.size(), serial.verts.size());
  EXPECT_TRUE(all.verts == serial.verts);
}
