// Loose slice segments to regions: matching, linking, classification.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"
#include "test_support.h"

namespace {

// The ring's edges as two-point chains, shuffled and randomly reversed.
void AddSegments(Cadenas& set, std::vector<std::pair<double, double>> ring, std::mt19937& rng) {
  std::vector<std::unique_ptr<Cadena>> segs;
  for (size_t k = 0; k + 1 < ring.size(); ++k) {
    auto a = ring[k], b = ring[k + 1];
    if (rng() % 2) std::swap(a, b);
    segs.push_back(MakeChain({a, b}));
  }
  std::shuffle(segs.begin(), segs.end(), rng);
  for (auto& s : segs) set.Add(s.release());
}

std::vector<std::pair<double, double>> SquarePts(double x0, double y0, double s, bool cw) {
  if (cw) return {{x0, y0}, {x0, y0 + s}, {x0 + s, y0 + s}, {x0 + s, y0}, {x0, y0}};
  return {{x0, y0}, {x0 + s, y0}, {x0 + s, y0 + s}, {x0, y0 + s}, {x0, y0}};
}

struct Result {
  Recintos* regions = nullptr;
  Cadenas* freeHoles = nullptr;
  Cadenas* rejects = nullptr;
  bool ok = false;
  ~Result() {
    delete regions;
    delete freeHoles;
    delete rejects;
  }
};

}  // namespace

TEST(Assembly, SquareSliceSegments) {
  std::mt19937 rng(1);
  Cadenas set;
  // Eight segments: each side cut in two.
  AddSegments(set, {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 0}, {0, 0}}, rng);
  Result r;
  r.ok = set.AssembleRegions(r.regions, r.freeHoles, r.rejects, 1e-8);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.regions->Count(), 1);
  EXPECT_EQ(r.regions->Get(0)->ChainCount(), 1);
  EXPECT_NEAR(r.regions->Get(0)->GetChain(0)->Area(), 4.0, 1e-12);
  // The linker walks every segment both ways: the reversed ring is a hole
  // that no outer takes, handed back reversed.
  ASSERT_NE(r.freeHoles, nullptr);
  ASSERT_EQ(r.freeHoles->Count(), 1);
  EXPECT_NEAR(r.freeHoles->Get(0)->Area(), 4.0, 1e-12);
  EXPECT_EQ(set.Count(), 8);  // the input is not changed
}

// Regions that a later region repeats (relation 51) are dropped by the
// slicing code; this mirrors that step.
void DropRepeated(Recintos& regions) {
  std::vector<int32_t> order;
  for (int32_t i = 0; i < regions.Count(); ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return regions.Get(a)->xmin() < regions.Get(b)->xmin();
  });
  std::vector<uint8_t> drop(order.size(), 0);
  for (size_t a = 0; a < order.size(); ++a) {
    if (drop[order[a]]) continue;
    for (size_t b = a + 1; b < order.size(); ++b) {
      int32_t ha, hb;
      if (!drop[order[b]] &&
          regions.Get(order[a])->Relation(*regions.Get(order[b]), ha, hb, 1e-8) == 51)
        drop[order[b]] = 1;
    }
  }
  for (int32_t i = regions.Count() - 1; i >= 0; --i)
    if (drop[i]) regions.Remove(i);
}

TEST(Assembly, SquareWithHoleAndIsland) {
  std::mt19937 rng(2);
  Cadenas set;
  AddSegments(set, SquarePts(0, 0, 10, true), rng);
  AddSegments(set, SquarePts(2, 2, 6, false), rng);
  Result r;
  r.ok = set.AssembleRegions(r.regions, r.freeHoles, r.rejects, 1e-8);
  ASSERT_TRUE(r.ok);
  // The ring, and the hole walked backwards as an outline of its own.
  ASSERT_EQ(r.regions->Count(), 2);
  DropRepeated(*r.regions);
  ASSERT_EQ(r.regions->Count(), 1);
  ASSERT_EQ(r.regions->Get(0)->ChainCount(), 2);
  EXPECT_NEAR(r.regions->Get(0)->GetChain(0)->Area(), 100, 1e-9);
  EXPECT_NEAR(r.regions->Get(0)->GetChain(1)->Area(), -36, 1e-9);

  AddSegments(set, SquarePts(3, 3, 4, true), rng);
  AddSegments(set, SquarePts(4, 4, 2, false), rng);
  Result s;
  s.ok = set.AssembleRegions(s.regions, s.freeHoles, s.rejects, 1e-8);
  ASSERT_TRUE(s.ok);
  DropRepeated(*s.regions);
  ASSERT_EQ(s.regions->Count(), 2);
  // Holes go to the smallest outline around them: the island owns the
  // innermost hole, not the big outer.
  for (int32_t i = 0; i < 2; ++i) {
    const Recinto* g = s.regions->Get(i);
    ASSERT_EQ(g->ChainCount(), 2);
    double outer = g->GetChain(0)->Area(), hole = g->GetChain(1)->Area();
    if (outer < 50) EXPECT_NEAR(hole, -4, 1e-9);
    else EXPECT_NEAR(hole, -36, 1e-9);
  }
}

TEST(Assembly, RejectsAndFreeHoles) {
  // An empty chain has no ends: it is rejected, not dereferenced.
  std::mt19937 rng(3);
  Cadenas withEmpty;
  withEmpty.Add(new Cadena());
  AddSegments(withEmpty, SquarePts(0, 0, 1, true), rng);
  Result e;
  e.ok = withEmpty.AssembleRegions(e.regions, e.freeHoles, e.rejects, 1e-8);
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.rejects->Count(), 1);

  Cadenas lone;
  lone.Add(MakeChain({{0, 0}, {1, 0}, {1, 1}}).release());
  Result r;
  r.ok = lone.AssembleRegions(r.regions, r.freeHoles, r.rejects, 1e-8);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.regions, nullptr);
  ASSERT_NE(r.rejects, nullptr);
  EXPECT_EQ(r.rejects->Count(), 1);

  // Classify without any outer outline rejects every chain of its own set.
  Cadenas none, holesOnly, self2;
  holesOnly.Add(Square(0, 0, 1, false).release());
  self2.Add(MakeChain({{0, 0}, {1, 0}}).release());
  self2.Add(Square(0, 0, 1, false).release());
  Result h;
  h.ok = self2.Classify(none, holesOnly, h.regions, h.freeHoles, h.rejects, 1e-8);
  EXPECT_FALSE(h.ok);
  EXPECT_EQ(h.regions, nullptr);
  EXPECT_EQ(h.rejects->Count(), 2);

  // A hole outside every outer comes back reversed.
  Cadenas a, b;
  a.Add(Square(0, 0, 1, true).release());
  b.Add(Square(5, 5, 1, false).release());
  Cadenas self;
  Result c;
  c.ok = self.Classify(a, b, c.regions, c.freeHoles, c.rejects, 1e-8);
  EXPECT_TRUE(c.ok);
  ASSERT_NE(c.freeHoles, nullptr);
  EXPECT_GT(c.freeHoles->Get(0)->Area(), 0);
}

TEST(Assembly, JunctionPicksSmallestTurn) {
  // Two squares touching at one corner (four ends meet at (1, 1)).
  std::mt19937 rng(4);
  Cadenas set;
  AddSegments(set, SquarePts(0, 0, 1, true), rng);
  AddSegments(set, SquarePts(1, 1, 1, true), rng);
  Result r;
  r.ok = set.AssembleRegions(r.regions, r.freeHoles, r.rejects, 1e-8);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.regions->Count(), 2);
  for (int32_t i = 0; i < r.regions->Count(); ++i)
    EXPECT_NEAR(r.regions->Get(i)->GetChain(0)->Area(), 1.0, 1e-12);
}

TEST(Assembly, TinyOutlineMergedIntoNeighbour) {
  auto big = Square(0, 0, 10, true);
  auto tiny = Square(10, 5, 5e-7, true);
  EXPECT_EQ(big->Relation(*tiny, true, 1e-8), 3);
  Cadenas* merged = nullptr;
  ASSERT_EQ(big->Merge(*tiny, merged, 1e-8, true), -8888);
  std::unique_ptr<Cadenas> m(merged);
  ASSERT_EQ(merged->Count(), 1);
  EXPECT_EQ(merged->Get(0)->Kind(), Cadena::kClosed);
  EXPECT_NEAR(merged->Get(0)->Area(), 100 + 25e-14, 1e-9);
  auto apart = Square(20, 0, 1, true);
  EXPECT_EQ(big->Merge(*apart, merged, 1e-8, false), -991);
  EXPECT_EQ(merged, nullptr);
  auto open = MakeChain({{0, 0}, {1, 0}});
  EXPECT_EQ(big->Merge(*open, merged, 1e-8, false), -991);

  // Classification merges the tiny outline into its neighbour.
  Cadenas A, B, self;
  A.Add(Square(0, 0, 10, true).release());
  A.Add(Square(10, 5, 5e-7, true).release());
  Result r;
  r.ok = self.Classify(A, B, r.regions, r.freeHoles, r.rejects, 1e-8);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.regions->Count(), 1);
  EXPECT_NEAR(r.regions->Get(0)->TotalArea(), 100 + 25e-14, 1e-9);
  // A tiny outline touching nothing is dropped.
  Cadenas A2, B2;
  A2.Add(Square(0, 0, 10, true).release());
  A2.Add(Square(20, 5, 5e-7, true).release());
  Result q;
  q.ok = self.Classify(A2, B2, q.regions, q.freeHoles, q.rejects, 1e-8);
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(q.regions->Count(), 1);
}

TEST(Assembly, RandomSegmentSoupNeverCrashes) {
  std::mt19937 rng(33);
  for (int trial = 0; trial < 60; ++trial) {
    Cadenas set;
    int n = 3 + static_cast<int>(rng() % 20);
    std::vector<std::pair<double, double>> pts;
    for (int i = 0; i < n; ++i)
      pts.push_back({static_cast<double>(rng() % 6), static_cast<double>(rng() % 6)});
    for (int i = 0; i < n; ++i) {
      auto c = MakeChain({pts[i], pts[(i + 1 + rng() % 3) % n]});
      if (c->Count() == 2) set.Add(c.release());
    }
    Result r;
    r.ok = set.AssembleRegions(r.regions, r.freeHoles, r.rejects, 1e-8);
    if (r.ok) {
      ASSERT_NE(r.regions, nullptr);
      for (int32_t i = 0; i < r.regions->Count(); ++i)
        EXPECT_GT(r.regions->Get(i)->GetChain(0)->Area(), 0);
    }
  }
}
