#include <gtest/gtest.h>

#include <cmath>
#include <omp.h>
#include <vector>

#include "mesher/mesh_check.h"
#include "mesher/surface_builder.h"

namespace {

// A builder holding the given particles (size per particle), built once so
// that the grid and the field parameters are in place. h = 1.
struct Scene {
  SurfaceBuilder b{1.0f};
  Scene(const std::vector<Point3>& pts, const std::vector<float>& sizes, float melting = 4.0f,
        float radiusFactor = 0.4f, float detail = 1.0f / 3.0f, float shrink = 0.0f) {
    b.BeginParticles(int32_t(pts.size()), std::max(melting, 1.1f) * radiusFactor);
    for (size_t i = 0; i < pts.size(); ++i) b.AddParticle(pts[i], 0, sizes.empty() ? 1.0f : sizes[i], 0);
    b.Build(detail, melting, radiusFactor, shrink, 0, 2000, &lists);
  }
  float F(const Point3& p) const { return b.polygonizer.FieldValue(p); }
  VertexInfluenceLists lists;
};

}  // namespace

TEST(CellGrid, BucketsAndCells) {
  EXPECT_EQ(ParticleCellGrid::Bucket(0, 0, 0), 0u);
  EXPECT_EQ(ParticleCellGrid::Bucket(0, 28, 3), 0u);
  EXPECT_EQ(ParticleCellGrid::Bucket(-1, 0, 0), 229u);
  EXPECT_EQ(ParticleCellGrid::Bucket(1, 0, 0), 27u);
  EXPECT_EQ(ParticleCellGrid::Bucket(10, 0, 0), 15u);

  SurfaceBuilder b(1.0f);
  b.BeginParticles(3, 1.0f);
  const float w = b.grid.CellSize();
  b.AddParticle(Point3(-0.5f * w, 0.0f, 0.0f), 0, 1.0f, 0);
  b.AddParticle(Point3(0.5f * w, 0.0f, 0.0f), 0, 1.0f, 0);
  b.AddParticle(Point3(0.5f * w, 28.5f * w, 3.5f * w), 0, 1.0f, 0);
  for (int32_t i = 0; i < 3; ++i) b.grid.Insert(i);
  // Cell 0 spans (-w, w): the first two share it.
  ASSERT_NE(b.grid.Find(0, 0, 0), nullptr);
  const CellMembers first = b.grid.Find(0, 0, 0)->particles;
  EXPECT_EQ(std::vector<int32_t>(first.begin(), first.end()), (std::vector<int32_t>{0, 1}));
  // (0, 28, 3) shares bucket 0 and is told apart by its coordinates.
  ASSERT_NE(b.grid.Find(0, 28, 3), nullptr);
  const CellMembers other = b.grid.Find(0, 28, 3)->particles;
  EXPECT_EQ(std::vector<int32_t>(other.begin(), other.end()), (std::vector<int32_t>{2}));
  EXPECT_EQ(b.grid.Find(1, 0, 0), nullptr);
  // A vanishing cell size or a huge coordinate is clamped, not undefined.
  b.grid.SetCellSize(0.0f);
  EXPECT_EQ(b.grid.CellCoord(1.0f, 0), 1073741824);
  EXPECT_EQ(b.grid.CellCoord(-1.0f, 0), -1073741824);
}

TEST(CellGrid, LargeSetsSortedInParallelGiveTheCellsOfOneByOneInserts) {
  // Enough particles for the parallel fill, on both sides of zero, with
  // shared cells, skipped ones, and a few far off (no dense table there).
  for (bool farOff : {false, true}) {
    SurfaceBuilder serial(1.0f), parallel(1.0f);
    const int32_t n = 50000;
    for (SurfaceBuilder* b : {&serial, &parallel}) {
      b->BeginParticles(n, 1.6f);
      uint32_t s = 7;
      for (int32_t i = 0; i < n; ++i) {
        float c[3];
        for (float& v : c) {
          s = s * 1664525u + 1013904223u;
          v = float(int32_t(s >> 8) % 4000) * 0.01f - 20.0f;
        }
        if (farOff && i % 1000 == 3) c[0] += 5000.0f;
        b->AddParticle(Point3(c[0], c[1], c[2]), i % 13 == 0 ? 1 : 0, 1.0f, 0);
      }
    }
    const int before = omp_get_max_threads();
    omp_set_num_threads(1);
    for (int32_t i = 0; i < n; ++i)
      if (!serial.particles[size_t(i)].skip) serial.grid.Insert(i);
    serial.grid.Pack();
    omp_set_num_threads(8);
    parallel.grid.InsertAll(n);
    parallel.grid.Pack();
    omp_set_num_threads(before);
    const auto& a = serial.grid.Cells();
    const auto& b = parallel.grid.Cells();
    ASSERT_EQ(a.size(), b.size());
    for (size_t c = 0; c < a.size(); ++c) {
      ASSERT_EQ(std::vector<int32_t>({a[c].x, a[c].y, a[c].z}), std::vector<int32_t>({b[c].x, b[c].y, b[c].z}));
      ASSERT_EQ(a[c].particles, b[c].particles) << "cell " << c;
      ASSERT_EQ(parallel.grid.FindIndex(a[c].x, a[c].y, a[c].z), int32_t(c));
    }
    const auto& pa = serial.grid.packed();
    const auto& pb = parallel.grid.packed();
    ASSERT_EQ(pa.index.size(), pb.index.size());
    for (size_t k = 0; k < pa.index.size(); ++k) ASSERT_EQ(pa.index[k], pb.index[k]);
    ASSERT_EQ(serial.grid.HasColumns(), !farOff);
    ASSERT_EQ(parallel.grid.HasColumns(), !farOff);
    if (farOff) continue;
    const auto& ca = serial.grid.columns();
    const auto& cb = parallel.grid.columns();
    ASSERT_EQ(ca.before.size(), cb.before.size());
    for (size_t k = 0; k < ca.before.size(); ++k) ASSERT_EQ(ca.before[k], cb.before[k]);
    for (size_t k = 0; k < ca.index.size(); ++k) ASSERT_EQ(ca.index[k], cb.index[k]);
  }
}

TEST(BlobField, TermsAndBox) {
  const float N4 = 1.0f / std::pow(1.0f - 1.0f / 16.0f, 3.0f);
  Scene one({Point3(0.0f, 0.0f, 0.0f)}, {});
  const float R = one.b.polygonizer.R;
  EXPECT_NEAR(R, 1.6f, 1e-5f);
  EXPECT_NEAR(one.b.polygonizer.N, N4, 1e-5f);
  EXPECT_NEAR(one.F(Point3(0.0f, 0.0f, 0.0f)), N4 - 1.0f, 1e-5f);
  EXPECT_EQ(one.F(Point3(R, 0.0f, 0.0f)), -1.0f);  // exactly R away: nothing
  EXPECT_EQ(one.F(Point3(50.0f, 0.0f, 0.0f)), -1.0f);

  // Size 2: R straight below contributes N (1/2)^3; 1.2R along a diagonal
  // (under R on each axis) contributes; 1.2R along one axis is cut by the box.
  Scene big({Point3(0.0f, 0.0f, 0.0f)}, {2.0f});
  EXPECT_NEAR(big.F(Point3(0.0f, 0.0f, R)), N4 / 8.0f - 1.0f, 1e-5f);
  const float d = 1.2f * R / std::sqrt(2.0f);
  EXPECT_GT(big.F(Point3(d, d, 0.0f)), -1.0f);
  EXPECT_EQ(big.F(Point3(1.2f * R, 0.0f, 0.0f)), -1.0f);
}

TEST(BlobField, LoneParticleSurfaceAtR0WhateverTheMelting) {
  for (float melting : {1.5f, 4.0f, 10.0f}) {
    Scene s({Point3(0.25f, 0.5f, -0.75f)}, {}, melting, 0.4f);
    const float r0 = s.b.polygonizer.r0;
    EXPECT_NEAR(r0, 0.4f, 1e-6f);
    EXPECT_GT(s.F(Point3(0.25f + r0 * 0.99f, 0.5f, -0.75f)), 0.0f) << melting;
    EXPECT_LT(s.F(Point3(0.25f + r0 * 1.01f, 0.5f, -0.75f)), 0.0f) << melting;
  }
  // Melting at or below 1.1 blends with b = 1.1.
  Scene low({Point3(0.0f, 0.0f, 0.0f)}, {}, 0.5f);
  EXPECT_FLOAT_EQ(low.b.polygonizer.b, 1.1f);
}

TEST(Lattice, HashBucketsAndPool) {
  EXPECT_EQ(LatticeHash::Bucket(3, 5), 14u);
  EXPECT_EQ(LatticeHash::Bucket(5, 3), 14u);
  EXPECT_EQ(LatticeHash::Bucket(-1, 0), 67u);
  EXPECT_EQ(LatticeHash::Bucket(0, -1), 67u);

  LatticeHash hash(25);
  EXPECT_EQ(hash.Find(1, 2, 3), nullptr);
  LatticeRecord* r = hash.Create(1, 2, 3);
  EXPECT_EQ(hash.Find(1, 2, 3), r);
  EXPECT_EQ(hash.Find(1, 2, -3), nullptr);
  // Past one chunk of 16384 records: fresh records are still zero.
  for (int i = 0; i < 16400; ++i) {
    LatticeRecord* x = hash.Create(i, -i, 7);
    ASSERT_EQ(x->value, 0.0f);
    ASSERT_EQ(x->queued, 0);
    ASSERT_EQ(x->corners[7], nullptr);
  }
  EXPECT_EQ(hash.pool().ChunkCount(), 2u);
  EXPECT_EQ(hash.Find(16399, -16399, 7)->i, 16399);
}

TEST(Polygonizer, LoneParticleAndSliceCount) {
  Scene s({Point3(1.0f, 2.0f, 3.0f)}, {}, 4.0f, 0.4f, 0.1f);
  const MeshRecord& m = s.b.mesh;
  EXPECT_TRUE(CheckMesh(m).Closed());
  EXPECT_EQ(CheckMesh(m).components, 1);
  // Clustered at the outside lattice points: a little beyond r0.
  const float L = s.b.polygonizer.L;
  for (const Point3& v : m.vertices) {
    const float r = (v - Point3(1.0f, 2.0f, 3.0f)).Length();
    EXPECT_GT(r, 0.4f - 0.5f * L);  // a mean of crossings lies a little inside
    EXPECT_LT(r, 0.4f + 1.8f * L);
  }
  EXPECT_EQ(s.b.polygonizer.sliceCount, int32_t(std::floor(2.0f * 1.6f / L)) + 25);
  EXPECT_EQ(m.boundsMin, Point3(1.0f - 1.6f, 2.0f - 1.6f, 3.0f - 1.6f));
  Scene coarse({Point3(0.0f, 0.0f, 0.0f)}, {}, 4.0f, 0.4f, 3.0f);
  EXPECT_EQ(coarse.b.polygonizer.sliceCount, 25);
}

TEST(Polygonizer, TwoSeedsOneSurfaceAndJoinThreshold) {
  // 1.9h apart: neighbours, but the midpoint field (about 0.84) is not
  // above 2.0, so two groups; with a radius factor of 0.8 the blobs touch.
  std::vector<Point3> pts = {Point3(0.0f, 0.0f, 0.0f), Point3(1.9f, 0.0f, 0.0f)};
  Scene main(pts, {}, 4.0f, 0.8f);
  EXPECT_EQ(main.b.polygonizer.seedParticles.size(), 2u);
  EXPECT_EQ(CheckMesh(main.b.mesh).components, 1);
  EXPECT_TRUE(CheckMesh(main.b.mesh).Closed());

  SurfaceBuilder wrap(1.0f);
  wrap.groupJoin = kGroupJoinWrapper;
  wrap.BeginParticles(2, 3.2f);
  for (const Point3& p : pts) wrap.AddParticle(p, 0, 1.0f, 0);
  wrap.Build(1.0f / 3.0f, 4.0f, 0.8f, 0.0f, 0, 2000, nullptr);
  EXPECT_EQ(wrap.polygonizer.seedParticles.size(), 1u);
  EXPECT_EQ(wrap.mesh.vertices, main.b.mesh.vertices);
  EXPECT_EQ(wrap.mesh.faces, main.b.mesh.faces);
}

// The seed pass skips pairs already joined; for packed particles (all at
// one point, scattered in one cell, several lowest z shared) and clumps
// among loose ones it still finds the seeds of the serial walk over the
// neighbour lists, on one thread and on eight.
TEST(Polygonizer, PackedParticlesGetTheSeedsOfTheSerialWalk) {
  std::vector<std::vector<Point3>> sets;
  sets.push_back(std::vector<Point3>(2100, Point3(0.5f, 0.5f, 0.5f)));
  std::vector<Point3> cell, mixed;
  uint32_t r = 12345;
  auto u = [&r](float lo, float hi) {
    r = r * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(r >> 8) * (1.0f / 16777216.0f);
  };
  for (int i = 0; i < 2100; ++i) cell.push_back(Point3(u(0.1f, 1.5f), u(0.1f, 1.5f), u(0.1f, 1.5f)));
  cell[700].z = cell[1200].z = cell[1900].z = 0.05f;  // a shared lowest z
  sets.push_back(cell);
  for (int i = 0; i < 1200; ++i) mixed.push_back(Point3(-5.0f, 0.0f, 1.0f));
  for (int i = 0; i < 900; ++i) mixed.push_back(Point3(u(4.0f, 5.0f), u(0.0f, 1.0f), u(0.0f, 1.0f)));
  for (int i = 0; i < 40; ++i) mixed.push_back(Point3(u(-8.0f, 8.0f), u(-8.0f, 8.0f), u(-2.0f, 3.0f)));
  sets.push_back(mixed);
  // So far off that the grid keeps no dense table of its cells.
  cell.push_back(Point3(4000.0f, -3000.0f, 0.0f));
  sets.push_back(cell);
  const int before = omp_get_max_threads();
  for (size_t k = 0; k < sets.size(); ++k) {
    std::vector<int32_t> seeds[2];
    for (int t = 0; t < 2; ++t) {
      omp_set_num_threads(t == 0 ? 1 : 8);
      Scene sc(sets[k], {});
      seeds[t] = sc.b.polygonizer.seedParticles;
      if (t == 1) break;
      // The serial walk: groups in index order, members in the order they
      // join, each testing its unvisited neighbours at the midpoint.
      SurfaceBuilder& b = sc.b;
      b.FindNeighbours();
      const int32_t n = b.Count();
      std::vector<uint8_t> visited(size_t(n), 0);
      std::vector<int32_t> expected;
      for (int32_t i = 0; i < n; ++i) {
        if (visited[size_t(i)]) continue;
        std::vector<int32_t> group{i};
        visited[size_t(i)] = 1;
        for (size_t w = 0; w < group.size(); ++w) {
          const int32_t a = group[w];
          for (int32_t m = 0; m < b.NeighbourCount(a); ++m) {
            const int32_t nb = b.Neighbours(a)[m];
            if (visited[size_t(nb)]) continue;
            const Point3 q = (b.particles[size_t(a)].position + b.particles[size_t(nb)].position) * 0.5f;
            if (!(b.polygonizer.FieldValue(q) > b.groupJoin)) continue;
            group.push_back(nb);
            visited[size_t(nb)] = 1;
          }
        }
        int32_t seed = group[0];
        float low = 1e6f;
        for (int32_t m : group)
          if (b.particles[size_t(m)].position.z < low) {
            low = b.particles[size_t(m)].position.z;
            seed = m;
          }
        expected.push_back(seed);
      }
      EXPECT_EQ(seeds[0], expected) << "set " << k;
    }
    EXPECT_EQ(seeds[1], seeds[0]) << "set " << k;
  }
  omp_set_num_threads(before);
}

TEST(Polygonizer, LargeSizesReachBelowTheLattice) {
  // Size 3 lifts the field above zero on the bottom plane of the lattice
  // box: cubes below slice 0 are evaluated like any other.
  Scene s({Point3(0.0f, 0.0f, 0.0f), Point3(0.5f, 0.0f, 0.0f)}, {1.0f, 3.0f}, 1.5f, 0.4f);
  MeshCheck c = CheckMesh(s.b.mesh);
  EXPECT_TRUE(c.Closed());
  EXPECT_GT(c.volume, 0.0);
  float lowest = 1e9f;
  for (const Point3& v : s.b.mesh.vertices) lowest = std::min(lowest, v.z);
  EXPECT_LT(lowest, s.b.mesh.boundsMin.z);
}

TEST(ShrinkWrap, ShrinkListsAndSecondArray) {
  const Point3 c(0.5f, -0.25f, 2.0f);
  Scene none({c}, {}, 4.0f, 0.4f, 0.2f, 0.0f);
  Scene half({c}, {}, 4.0f, 0.4f, 0.2f, 0.5f);
  Scene full({c}, {}, 4.0f, 0.4f, 0.2f, 1.0f);
  const size_t nV = none.b.mesh.vertices.size();
  ASSERT_GT(nV, 0u);
  ASSERT_EQ(half.b.mesh.vertices.size(), nV);
  ASSERT_EQ(none.lists.size(), nV);
  ASSERT_EQ(none.b.mesh.secondVertices.size(), nV);
  for (size_t v = 0; v < nV; ++v) {
    EXPECT_EQ(none.b.mesh.secondVertices[v], Point3(0.0f, 0.0f, 0.0f));
    ASSERT_EQ(none.lists[v].size(), 1u);  // lists filled even without shrinking
    EXPECT_EQ(none.lists[v][0].particle, 0);
    EXPECT_GT(none.lists[v][0].weight, 0.0f);
    // A lone particle's surface is drawn in by (1 - shrink).
    const Point3 expect = none.b.mesh.vertices[v] * 0.5f + c * 0.5f;
    EXPECT_NEAR((half.b.mesh.vertices[v] - expect).Length(), 0.0f, 1e-5f);
    EXPECT_NEAR((full.b.mesh.vertices[v] - c).Length(), 0.0f, 1e-5f);
  }
}

TEST(ShrinkWrap, UnreachedVertexStaysAndVelocities) {
  // With sizes below 1 the box reaches further than the particle's own
  // sphere... the opposite is what leaves vertices unreached: R shrinks
  // only through size, so use a tiny size to park the surface far inside R.
  SurfaceBuilder b(1.0f);
  b.BeginParticles(2, 1.6f);
  b.AddParticle(Point3(0.0f, 0.0f, 0.0f), 0, 1.0f, 0);
  b.AddParticle(Point3(0.3f, 0.0f, 0.0f), 0, 1.0f, 0);
  const std::vector<Point3> vel = {Point3(1.0f, 2.0f, 3.0f), Point3(1.0f, 2.0f, 3.0f)};
  VertexInfluenceLists lists;
  MeshRecord& m = b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.3f, 0, 2000, &lists, &vel);
  ASSERT_GT(m.VertexCount(), 0);
  ASSERT_EQ(m.secondVertices.size(), m.vertices.size());
  for (size_t v = 0; v < m.vertices.size(); ++v) {
    if (lists[v].empty()) {
      EXPECT_EQ(m.secondVertices[v], Point3(0.0f, 0.0f, 0.0f));
      continue;
    }
    EXPECT_NEAR((m.secondVertices[v] - vel[0]).Length(), 0.0f, 1e-5f);
  }
}
