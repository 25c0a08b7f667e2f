#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <map>
#include <new>
#include <omp.h>
#include <random>
#include <vector>

#include "host/tests/core/memory_limit.h"
#include "mesher/mesh_check.h"
#include "mesher/surface_builder.h"

namespace {

// The neighbour pass as a plain serial scan with pairDone flags, written
// from the rules alone (cells of the grid's size and origin, the bucket scan
// order, the strict blob-radius test) without the builder's or the grid's
// own functions: the lists the builder makes in parallel must come out
// identical, order included.
std::vector<std::vector<int32_t>> ReferenceNeighbours(const SurfaceBuilder& b) {
  struct Cell {
    int32_t x, y, z;
    std::vector<int32_t> members;
  };
  std::vector<Cell> cells;
  std::map<std::array<int32_t, 3>, int32_t> index;
  const float inv = 1.0f / b.grid.CellSize();
  const Point3 origin = b.grid.Origin();
  for (int32_t i = 0; i < b.count; ++i) {
    const SurfaceParticle& p = b.particles[size_t(i)];
    if (p.skip) continue;
    const std::array<int32_t, 3> key = {int32_t((p.position.x - origin.x) * inv),
                                        int32_t((p.position.y - origin.y) * inv),
                                        int32_t((p.position.z - origin.z) * inv)};
    auto it = index.find(key);
    if (it == index.end()) {
      it = index.emplace(key, int32_t(cells.size())).first;
      cells.push_back(Cell{key[0], key[1], key[2], {}});
    }
    cells[size_t(it->second)].members.push_back(i);
  }
  auto bucket = [](const Cell& c) {
    return ((uint32_t(c.x) * 3u + uint32_t(c.y)) * 9u + uint32_t(c.z)) % 255u;
  };
  std::vector<int32_t> order(cells.size());
  for (size_t c = 0; c < order.size(); ++c) order[c] = int32_t(c);
  std::stable_sort(order.begin(), order.end(), [&](int32_t l, int32_t r) {
    const Cell &a = cells[size_t(l)], &c = cells[size_t(r)];
    return bucket(a) != bucket(c) ? bucket(a) < bucket(c) : a.x < c.x;
  });
  std::vector<std::vector<int32_t>> lists(size_t(b.count));
  std::vector<std::array<uint8_t, 27>> pairDone(cells.size());
  for (auto& p : pairDone) p.fill(0);
  auto link = [&](int32_t i, int32_t j) {
    const Point3 &a = b.particles[size_t(i)].position, &c = b.particles[size_t(j)].position;
    const float dx = a.x - c.x, dy = a.y - c.y, dz = a.z - c.z;
    if (std::sqrt(dx * dx + dy * dy + dz * dz) < b.blobRadius) {
      lists[size_t(i)].push_back(j);
      lists[size_t(j)].push_back(i);
    }
  };
  for (int32_t c : order) {
    const Cell& cell = cells[size_t(c)];
    int o = 0;
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz, ++o) {
          if (o == 13) {
            for (size_t a = 0; a < cell.members.size(); ++a)
              for (size_t k = a + 1; k < cell.members.size(); ++k) link(cell.members[a], cell.members[k]);
            continue;
          }
          auto it = index.find({cell.x + dx, cell.y + dy, cell.z + dz});
          if (it == index.end() || pairDone[size_t(c)][size_t(o)]) continue;
          const int32_t n = it->second;
          pairDone[size_t(n)][size_t(26 - o)] = 1;
          pairDone[size_t(c)][size_t(o)] = 1;
          for (int32_t a : cell.members)
            for (int32_t bb : cells[size_t(n)].members) link(a, bb);
        }
  }
  return lists;
}

}  // namespace

TEST(SurfaceBuilder, DensityAndBatch) {
  SurfaceBuilder b(1.0f / 1728.0f);
  EXPECT_NEAR(b.h, 12.0f, 1e-3f);
  EXPECT_FLOAT_EQ(b.blobRadius, 2.0f * b.h);
  EXPECT_FLOAT_EQ(b.grid.CellSize(), 2.0f * b.h);
  b.BeginParticles(2, 1.6f);
  EXPECT_FLOAT_EQ(b.grid.CellSize(), 1.6f * b.h);
  EXPECT_TRUE(b.AddParticle(Point3(1.0f, 2.0f, 3.0f), 0, 0.5f, 77u));
  EXPECT_TRUE(b.AddParticle(Point3(4.0f, 5.0f, 6.0f), 1, 1.0f, 78u));
  EXPECT_FALSE(b.AddParticle(Point3(0.0f, 0.0f, 0.0f), 0, 1.0f, 0u));  // full: refused, not written
  EXPECT_EQ(b.count, 2);
  EXPECT_EQ(b.particles[0].tag, 77u);
  EXPECT_FLOAT_EQ(b.particles[0].size, 0.5f);
  EXPECT_EQ(b.particles[1].skip, 1);
  // A factor that is not positive cannot make a grid.
  b.BeginParticles(1, 0.0f);
  EXPECT_FLOAT_EQ(b.grid.CellSize(), b.h);
  b.SetDensity(1.0f);
  EXPECT_EQ(b.count, 0);
}

TEST(SurfaceBuilder, NeighbourDistanceIsStrict) {
  SurfaceBuilder b(1.0f);
  const float d2h = b.blobRadius;
  b.BeginParticles(4, 2.0f);
  b.AddParticle(Point3(0.5f, 0.5f, 0.5f), 0, 1.0f, 0);
  b.AddParticle(Point3(0.5f + d2h, 0.5f, 0.5f), 0, 1.0f, 0);  // exactly 2h: not a neighbour
  b.AddParticle(Point3(0.5f, 0.5f + d2h * 0.999f, 0.5f), 0, 1.0f, 0);
  b.AddParticle(Point3(0.5f, 0.5f, 0.5f + 0.5f), 1, 1.0f, 0);  // skipped
  b.ComputeBounds();
  EXPECT_EQ(b.boundsMax.y, 0.5f + d2h * 0.999f);
  EXPECT_EQ(b.boundsMax.z, 0.5f);  // the skipped particle is not in the bounds
  b.grid.Clear();
  for (int32_t i = 0; i < b.count; ++i)
    if (!b.particles[size_t(i)].skip) b.grid.Insert(i);
  b.FindNeighbours();
  ASSERT_EQ(b.NeighbourCount(0), 1);
  EXPECT_EQ(b.Neighbours(0)[0], 2);
  ASSERT_EQ(b.NeighbourCount(2), 1);
  EXPECT_EQ(b.Neighbours(2)[0], 0);
  EXPECT_EQ(b.NeighbourCount(1), 0);
  EXPECT_EQ(b.NeighbourCount(3), 0);
  // A build keeps no lists: every particle then has none, beyond the end too.
  b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.5f);
  for (int32_t i = -1; i <= b.count; ++i) EXPECT_EQ(b.NeighbourCount(i), 0) << i;
}

TEST(SurfaceBuilder, NeighbourListsMatchSerialScan) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-6.0f, 6.0f);
  SurfaceBuilder b(1.0f);
  const int n = 3000;
  b.BeginParticles(n, 1.6f);  // cell below 2h: some close pairs are not linked
  for (int i = 0; i < n; ++i) b.AddParticle(Point3(u(rng), u(rng), u(rng) * 0.5f), i % 17 == 0, 1.0f, 0);
  b.grid.Clear();
  for (int32_t i = 0; i < b.count; ++i)
    if (!b.particles[size_t(i)].skip) b.grid.Insert(i);
  b.FindNeighbours();
  auto ref = ReferenceNeighbours(b);
  for (int i = 0; i < n; ++i) {
    std::vector<int32_t> got(b.Neighbours(i), b.Neighbours(i) + b.NeighbourCount(i));
    ASSERT_EQ(got, ref[size_t(i)]) << i;
  }
}

TEST(SurfaceBuilder, UnfilledEntriesAndBadPositionsAreNotMeshed) {
  // Room for ten, two added: the eight untouched entries at the origin must
  // not become a blob there; a position that is not a number is left out.
  SurfaceBuilder b(1.0f);
  b.BeginParticles(10, 1.6f);
  b.AddParticle(Point3(20.0f, 20.0f, 20.0f), 0, 1.0f, 0);
  b.AddParticle(Point3(NAN, 0.0f, 0.0f), 0, 1.0f, 0);
  MeshRecord& m = b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.0f, 0, 2000, nullptr);
  ASSERT_GT(m.VertexCount(), 0);
  for (const Point3& v : m.vertices) EXPECT_LT((v - Point3(20.0f, 20.0f, 20.0f)).Length(), 1.0f);
}

TEST(SurfaceBuilder, BuildTwiceIsIdentical) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(0.0f, 8.0f);
  SurfaceBuilder b(1.0f);
  b.BeginParticles(600, 1.6f);
  for (int i = 0; i < 600; ++i) b.AddParticle(Point3(u(rng), u(rng), u(rng) * 0.4f), 0, 1.0f, uint32_t(i));
  VertexInfluenceLists l1, l2;
  MeshRecord first = b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.5f, 0, 2000, &l1);
  MeshRecord second = b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.5f, 0, 2000, &l2);
  EXPECT_EQ(first.vertices, second.vertices);
  EXPECT_EQ(first.faces, second.faces);
  ASSERT_EQ(l1.size(), l2.size());
  ASSERT_EQ(l1.size(), first.vertices.size());
  for (size_t v = 0; v < l1.size(); ++v) {
    ASSERT_EQ(l1[v].size(), l2[v].size());
    for (size_t k = 0; k < l1[v].size(); ++k) EXPECT_EQ(l1[v][k].particle, l2[v][k].particle);
  }
  // The same on one thread: the parallel phases change nothing.
  int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  MeshRecord serial = b.Build(1.0f / 3.0f, 4.0f, 0.4f, 0.5f, 0, 2000, nullptr);
  omp_set_num_threads(threads);
  EXPECT_EQ(serial.vertices, first.vertices);
  EXPECT_EQ(serial.faces, first.faces);
}

// Memory that runs out inside the parallel passes (here the influence
// lists of the shrink pass, on several threads) leaves an empty mesh and
// empty lists, says so, and the builder builds again once memory is back.
// In a child process with little address space.
TEST(SurfaceBuilder, OutOfMemoryInAParallelPassLeavesAnEmptyMeshAndAUsableBuilder) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#else
  if (vorel::test::RanInChildProcess()) return;
  omp_set_num_threads(4);
  // A ball of particles that every vertex of a fine surface reaches whole.
  SurfaceBuilder b(1.0f);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  b.BeginParticles(500, 40.0f);
  for (int i = 0; i < 500; ++i) b.AddParticle(Point3(u(rng), u(rng), u(rng)), 0, 1.0f, 0);
  VertexInfluenceLists lists;
  vorel::test::AddressSpaceLimit limit;
  ASSERT_TRUE(limit.Cap(rlim_t(64) << 20));
  EXPECT_THROW(b.Build(0.02f, 40.0f, 0.5f, 0.5f, 0, 2000, &lists), std::bad_alloc);
  const MeshRecord& m = b.mesh;
  EXPECT_TRUE(m.vertices.empty() && m.faces.empty() && lists.empty());
  ASSERT_TRUE(limit.Lift());
  EXPECT_NO_THROW(b.Build(1.0f / 3.0f, 40.0f, 0.5f, 0.5f, 0, 2000, &lists));
  EXPECT_FALSE(m.faces.empty());
  EXPECT_EQ(lists.size(), m.vertices.size());
#endif
}

// A chunk of lattice records that cannot be had leaves the pool as it was:
// the flood's threads go on taking records until the failure stops them,
// and they must be refused again, never handed one beyond the last chunk.
TEST(SurfaceBuilder, ARecordChunkThatCannotBeHadLeavesThePoolAsItWas) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#else
  if (vorel::test::RanInChildProcess()) return;
  RecordPool pool;
  const size_t run = RecordPool::kChunkRecords / 2;
  vorel::test::AddressSpaceLimit limit;
  ASSERT_TRUE(limit.Cap(rlim_t(16) << 20));
  bool refused = false;
  for (int k = 0; k < 1000 && !refused; ++k) {
    try {
      pool.AllocateRun(run);
    } catch (const std::bad_alloc&) {
      refused = true;
    }
  }
  ASSERT_TRUE(refused);
  const size_t chunks = pool.ChunkCount();
  EXPECT_THROW(pool.AllocateRun(run), std::bad_alloc);
  EXPECT_THROW(pool.Allocate(), std::bad_alloc);
  EXPECT_EQ(pool.ChunkCount(), chunks);
  ASSERT_TRUE(limit.Lift());
  LatticeRecord* r = pool.AllocateRun(run);
  r[run - 1].i = 7;  // the run lies in a chunk of the pool
  EXPECT_EQ(pool.ChunkCount(), chunks + 1);
#endif
}
