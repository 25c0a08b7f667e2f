// Neighbour grid and pair lists: cell indices, which pairs are found, in
// which order, and the kernel terms they carry.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "solver_test_util.h"

using solver_test::MakeSolver;
using solver_test::Put;

namespace {

// A cloud of particles of two spacings with random velocities.
void FillCloud(FluidSolver& s, int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(-0.6f, 0.6f), vel(-1.0f, 1.0f);
  for (int i = 0; i < n; ++i) {
    float sp = (i % 3 == 0) ? 0.15f : 0.1f;
    Put(s, Vec3f(pos(rng), pos(rng), pos(rng) * 0.5f), sp, Vec3f(vel(rng), vel(rng), vel(rng)));
  }
}

// The pair walk written out the plain way: ordered maps of cells, visited
// flags, PairKernel on each pair as the walk meets it.
void ReferenceWalk(FluidSolver& s) {
  for (int i = 0; i < s.count; ++i) {
    FluidParticle& p = s.particles[i];
    s.ClearPairList(i);
    p.density = s.SelfDensity(p);
    p.cohesion = Vec3f();
    p.isNew = 0;
    p.dtLimit = 1e6f;
  }
  struct Cell { int i, j, k; std::vector<int> members; bool visited[27] = {}; };
  std::map<int, std::map<int, std::map<int, Cell>>> cells;
  for (int i = 0; i < s.count; ++i) {
    if (s.particles[i].dead) continue;
    int ci, cj, ck;
    s.grid->CellIndex(s.particles[i].pos, ci, cj, ck);
    Cell& c = cells[ck][cj][ci];
    c.i = ci; c.j = cj; c.k = ck;
    c.members.push_back(i);
  }
  auto find = [&](int i, int j, int k) -> Cell* {
    auto a = cells.find(k); if (a == cells.end()) return nullptr;
    auto b = a->second.find(j); if (b == a->second.end()) return nullptr;
    auto c = b->second.find(i); return c == b->second.end() ? nullptr : &c->second;
  };
  for (auto& kk : cells)
    for (auto& jj : kk.second)
      for (auto& ii : jj.second) {
        Cell& G = ii.second;
        for (int di = -1; di <= 1; ++di)
          for (int dj = -1; dj <= 1; ++dj)
            for (int dk = -1; dk <= 1; ++dk) {
              int off = ((di + 1) * 3 + (dj + 1)) * 3 + (dk + 1);
              if (off == 13) {
                for (size_t x = 0; x < G.members.size(); ++x)
                  for (size_t y = x + 1; y < G.members.size(); ++y) s.PairKernel(G.members[x], G.members[y]);
                continue;
              }
              Cell* N = find(G.i + di, G.j + dj, G.k + dk);
              if (!N || N->members.empty() || G.visited[off]) continue;
              N->visited[26 - off] = true;
              G.visited[off] = true;
              for (int a : G.members)
                for (int b : N->members) s.PairKernel(a, b);
            }
      }
}

void ExpectSameLists(const FluidSolver& a, const FluidSolver& b) {
  ASSERT_EQ(a.count, b.count);
  for (int i = 0; i < a.count; ++i) {
    const FluidParticle& p = a.particles[i];
    const FluidParticle& q = b.particles[i];
    ASSERT_EQ(a.Neighbours(i), b.Neighbours(i)) << "slot " << i;
    ASSERT_EQ(p.neighbourCount, a.PairCount(i)) << "slot " << i;
    ASSERT_EQ(q.neighbourCount, b.PairCount(i)) << "slot " << i;
    for (int k = 0; k < a.PairCount(i); ++k) {
      float muA, muB;
      Vec3f gA, gB;
      ASSERT_EQ(a.PairTerms(i, k, muA, gA), b.PairTerms(i, k, muB, gB));
      ASSERT_EQ(muA, muB) << "slot " << i;
      ASSERT_EQ(gA, gB) << "slot " << i;
    }
    ASSERT_EQ(p.density, q.density) << "slot " << i;
    ASSERT_EQ(p.cohesion, q.cohesion) << "slot " << i;
    ASSERT_EQ(p.dtLimit, q.dtLimit) << "slot " << i;
  }
}

}  // namespace

TEST(CellGrid, IndexTruncatesTowardZeroAndClampsFarPositions) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  const float c = s->cellSize;
  int i, j, k;
  s->grid->CellIndex(Vec3f(-0.5f * c, 0.5f * c, 0.0f), i, j, k);
  EXPECT_EQ(i, 0); EXPECT_EQ(j, 0); EXPECT_EQ(k, 0);
  s->grid->CellIndex(Vec3f(-1.5f * c, 1.5f * c, 2.5f * c), i, j, k);
  EXPECT_EQ(i, -1); EXPECT_EQ(j, 1); EXPECT_EQ(k, 2);
  s->grid->CellIndex(Vec3f(1e30f, -1e30f, NAN), i, j, k);
  EXPECT_EQ(i, 1000000); EXPECT_EQ(j, -1000000); EXPECT_EQ(k, -1000000);
}

TEST(CellGrid, CellsComeInKJIOrderAndGetOrCreateKeepsIt) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  CellGrid& g = *s->grid;
  g.GetOrCreate(5, 0, 1);
  g.GetOrCreate(-3, 2, 0);
  g.GetOrCreate(0, 0, 1);
  g.GetOrCreate(0, 0, 1)->members.push_back(7);
  ASSERT_EQ(g.CellCount(), 3);
  EXPECT_EQ(g.CellAt(0).i, -3);
  EXPECT_EQ(g.CellAt(1).i, 0);
  EXPECT_EQ(g.CellAt(2).i, 5);
  EXPECT_EQ(g.Find(0, 0, 1)->members.size(), 1u);
  EXPECT_EQ(g.Find(1, 1, 1), nullptr);
  g.Clear();
  EXPECT_EQ(g.CellCount(), 0);
  EXPECT_EQ(g.Find(0, 0, 1), nullptr);
}

TEST(CellGrid, BuildGivesTheOrderedMapCellsAtAnyThreadCount) {
  // Cells on both sides of zero, far ones at the clamp (the widest sort
  // keys) and dead slots, which no cell holds.
  std::unique_ptr<FluidSolver> s(MakeSolver());
  FillCloud(*s, 4000, 11);
  s->particles[5].pos = Vec3f(1e30f, -1e30f, 0.0f);
  s->particles[6].pos = Vec3f(-1e30f, 1e30f, -1e30f);
  for (int i = 0; i < s->count; i += 7) s->particles[i].dead = 1;
  std::map<std::tuple<int, int, int>, std::vector<int>> ref;  // (k, j, i)
  for (int i = 0; i < s->count; ++i) {
    if (s->particles[i].dead) continue;
    int ci, cj, ck;
    s->grid->CellIndex(s->particles[i].pos, ci, cj, ck);
    ref[std::make_tuple(ck, cj, ci)].push_back(i);
  }
  const int threads = omp_get_max_threads();
  for (int t : {1, threads}) {
    omp_set_num_threads(t);
    s->RebuildNeighbourGrid(0.0f);
    omp_set_num_threads(threads);
    CellGrid& g = *s->grid;
    ASSERT_EQ(g.CellCount(), int(ref.size())) << t << " threads";
    int c = 0;
    for (const auto& cell : ref) {
      const GridCell& G = g.CellAt(c);
      EXPECT_EQ(std::make_tuple(G.k, G.j, G.i), cell.first) << "cell " << c;
      EXPECT_EQ(G.members, cell.second) << "cell " << c;
      for (int m : G.members) EXPECT_EQ(g.SlotCells()[size_t(m)], c);
      ++c;
    }
    EXPECT_EQ(g.SlotCells()[0], -1);
  }
  // One cell holding every live slot (its members run past every run of
  // the sorted slots), then no live slot at all.
  std::vector<int> live;
  for (int i = 0; i < s->count; ++i) {
    s->particles[i].pos = Vec3f(0.01f, 0.01f, 0.01f);
    if (!s->particles[i].dead) live.push_back(i);
  }
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_EQ(s->grid->CellCount(), 1);
  EXPECT_EQ(s->grid->CellAt(0).members, live);
  for (int i = 0; i < s->count; ++i) s->particles[i].dead = 1;
  s->RebuildNeighbourGrid(0.0f);
  EXPECT_EQ(s->grid->CellCount(), 0);
}

TEST(PairLists, DiagonalCellsArePairedOnceAndDeadParticlesNever) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  const float c = s->cellSize;  // 0.13333 for n = 1000
  int a = Put(*s, Vec3f(0.95f * c, 0.95f * c, 0.95f * c), 0.1f);
  int b = Put(*s, Vec3f(1.05f * c, 1.05f * c, 1.05f * c), 0.1f);
  int d = Put(*s, Vec3f(1.0f * c, 1.0f * c, 0.9f * c), 0.1f);
  s->particles[d].dead = 1;
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  EXPECT_EQ(s->Neighbours(a), std::vector<int>{b});
  EXPECT_EQ(s->Neighbours(b), std::vector<int>{a});
  EXPECT_EQ(s->PairCount(d), 0);
  EXPECT_EQ(s->particles[d].neighbourCount, 0);
  EXPECT_EQ(s->grid->Find(1, 1, 1)->members, std::vector<int>{b});
}

TEST(PairLists, InRangePairInNonAdjacentCellsIsNotFound) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  const float c = s->cellSize;
  // Spacing 0.3 each: in range up to 0.6, but cells 0 and 2 are not adjacent.
  int a = Put(*s, Vec3f(0.5f * c, 0.0f, 0.0f), 0.3f);
  int b = Put(*s, Vec3f(2.2f * c, 0.0f, 0.0f), 0.3f);
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  EXPECT_EQ(s->PairCount(a), 0);
  EXPECT_EQ(s->PairCount(b), 0);
}

TEST(PairLists, ParallelBuildIsTheSerialWalkBitForBit) {
  std::unique_ptr<FluidSolver> fast(MakeSolver()), ref(MakeSolver());
  FillCloud(*fast, 3000, 7);
  FillCloud(*ref, 3000, 7);
  fast->particles[10].dead = ref->particles[10].dead = 1;
  fast->particles[11].active = ref->particles[11].active = 0;  // paired like any other
  fast->RebuildNeighbourGrid(0.0f);
  ref->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(fast->BuildNeighbourPairs());
  ReferenceWalk(*ref);
  ExpectSameLists(*fast, *ref);
  EXPECT_GT(fast->PairCount(11), 0);

  int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  std::unique_ptr<FluidSolver> one(MakeSolver());
  FillCloud(*one, 3000, 7);
  one->particles[10].dead = 1;
  one->particles[11].active = 0;
  one->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(one->BuildNeighbourPairs());
  omp_set_num_threads(threads);
  ExpectSameLists(*fast, *one);
}

TEST(PairLists, LaterSubStepUpdateMatchesRebuildAndNewPairsCountOnce) {
  std::unique_ptr<FluidSolver> s(MakeSolver()), fresh(MakeSolver());
  for (FluidSolver* x : {s.get(), fresh.get()}) {
    Put(*x, Vec3f(0.0f, 0.0f, 0.0f), 0.1f);
    Put(*x, Vec3f(0.08f, 0.0f, 0.0f), 0.1f);
  }
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  // Two particles emitted next to each other on a later sub-step.
  for (FluidSolver* x : {s.get(), fresh.get()}) {
    Put(*x, Vec3f(0.04f, 0.05f, 0.0f), 0.1f);
    Put(*x, Vec3f(0.04f, 0.09f, 0.0f), 0.1f);
  }
  s->particles[2].isNew = s->particles[3].isNew = 1;
  s->RebuildNeighbourGrid(0.0f);
  s->ComputePairsSerial();
  s->ComputeDensityAndForces();
  fresh->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(fresh->BuildNeighbourPairs());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s->PairCount(i), fresh->PairCount(i)) << i;
    EXPECT_EQ(s->particles[i].neighbourCount, fresh->particles[i].neighbourCount) << i;
    EXPECT_NEAR(s->particles[i].density, fresh->particles[i].density, 1e-3f) << i;
    EXPECT_EQ(s->particles[i].isNew, 0);
  }
  const std::vector<int32_t> l2 = s->Neighbours(2);
  EXPECT_EQ(std::count(l2.begin(), l2.end(), 3), 1);
}

TEST(PairLists, KilledNeighbourStopsPushing) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(0.0f, 0.0f, 0.0f), 0.1f);
  int b = Put(*s, Vec3f(0.05f, 0.0f, 0.0f), 0.1f, Vec3f(-1.0f, 0.0f, 0.0f));
  s->RebuildNeighbourGrid(0.0f);
  ASSERT_TRUE(s->BuildNeighbourPairs());
  s->particles[b].dead = 1;
  s->ComputeDensityAndForces();
  s->ComputePressure();
  s->ComputePairForces();
  ASSERT_EQ(s->Neighbours(a), std::vector<int>{b});  // still listed (the file keeps the length)
  EXPECT_EQ(s->particles[a].neighbourCount, 1);
  float mu;
  Vec3f grad;
  EXPECT_FALSE(s->PairTerms(a, 0, mu, grad));
  EXPECT_EQ(mu, 0.0f);
  EXPECT_EQ(grad, Vec3f());
  EXPECT_EQ(s->particles[a].accel, Vec3f());
  EXPECT_FLOAT_EQ(s->particles[a].density, s->SelfDensity(s->particles[a]));
}
