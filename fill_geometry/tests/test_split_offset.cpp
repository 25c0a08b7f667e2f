// Splitting self-crossing chains and the arc offset.
#include <gtest/gtest.h>

#include <cmath>

#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"
#include "test_support.h"

namespace {

void ExpectPoints(const Cadena& c, std::initializer_list<std::pair<double, double>> pts) {
  ASSERT_EQ(c.Count(), static_cast<int32_t>(pts.size()));
  int32_t i = 0;
  for (const auto& p : pts) {
    EXPECT_NEAR(c.Point(i)->x(), p.first, 1e-12) << i;
    EXPECT_NEAR(c.Point(i)->y(), p.second, 1e-12) << i;
    ++i;
  }
}

}  // namespace

TEST(SplitSelfCrossing, OpenChainWalk) {
  auto c = MakeChain({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, -1}});
  ASSERT_EQ(c->Kind(), Cadena::kSelfCrossing);
  Cadena* start = nullptr;
  Cadenas* pieces = nullptr;
  ASSERT_TRUE(c->SplitSelfCrossing(start, pieces));
  std::unique_ptr<Cadena> s(start);
  std::unique_ptr<Cadenas> p(pieces);
  ASSERT_NE(start, nullptr);
  ExpectPoints(*start, {{0, 0}, {1, 0}, {1, -1}});
  ASSERT_EQ(pieces->Count(), 1);
  ExpectPoints(*pieces->Get(0), {{1, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0}});
}

TEST(SplitSelfCrossing, TouchingLoopsAndBowTie) {
  auto ring = MakeChain({{0, 0}, {1, 0}, {2, 1}, {3, 0}, {2, -1}, {1, 0}, {0, -1}, {0, 0}});
  Cadenas* loops = nullptr;
  ASSERT_TRUE(ring->SplitLoops(loops));
  std::unique_ptr<Cadenas> l(loops);
  ASSERT_EQ(loops->Count(), 2);
  ExpectPoints(*loops->Get(0), {{0, 0}, {1, 0}, {0, -1}, {0, 0}});
  ExpectPoints(*loops->Get(1), {{1, 0}, {2, 1}, {3, 0}, {2, -1}, {1, 0}});

  Cadena* start = nullptr;
  Cadenas* pieces = nullptr;
  ASSERT_TRUE(ring->SplitSelfCrossing(start, pieces));
  std::unique_ptr<Cadena> s(start);
  std::unique_ptr<Cadenas> p(pieces);
  ExpectPoints(*start, {{0, 0}, {1, 0}, {0, -1}, {0, 0}});
  ASSERT_EQ(pieces->Count(), 1);
  EXPECT_EQ(pieces->Get(0)->Count(), 5);

  auto bow = MakeChain({{0, 0}, {2, 2}, {2, 0}, {0, 2}, {0, 0}});
  Cadenas* none = nullptr;
  EXPECT_FALSE(bow->SplitLoops(none));
  EXPECT_EQ(none, nullptr);
  ASSERT_TRUE(bow->SplitSelfCrossing(start, pieces));
  std::unique_ptr<Cadena> s2(start);
  std::unique_ptr<Cadenas> p2(pieces);
  ASSERT_NE(start, nullptr);
  ExpectPoints(*start, {{0, 0}, {1, 1}, {0, 2}, {0, 0}});
  ASSERT_EQ(pieces->Count(), 1);
  ExpectPoints(*pieces->Get(0), {{1, 1}, {2, 2}, {2, 0}, {1, 1}});
  // The two lobes of a bow-tie have opposite orientation.
  EXPECT_LT(start->Area() * pieces->Get(0)->Area(), 0);

  auto simple = Square(0, 0, 1, true);
  EXPECT_FALSE(simple->SplitSelfCrossing(start, pieces));
  EXPECT_EQ(start, nullptr);
  EXPECT_EQ(pieces, nullptr);
}

TEST(SplitSelfCrossing, NestedAndInterleavedTouches) {
  // Two lobes hanging off the ring at separate vertices.
  auto two = MakeChain({{0, 0}, {1, 0}, {1.5, 1}, {2, 0}, {2.5, 1}, {3, 0}, {2.5, -1}, {2, 0},
                        {1.5, -1}, {1, 0}, {0, -2}, {0, 0}});
  ASSERT_EQ(two->Kind(), Cadena::kSelfCrossing);
  Cadenas* loops = nullptr;
  ASSERT_TRUE(two->SplitLoops(loops));
  std::unique_ptr<Cadenas> l(loops);
  double total = 0;
  for (int32_t i = 0; i < loops->Count(); ++i) {
    EXPECT_EQ(loops->Get(i)->Kind(), Cadena::kClosed);
    total += std::fabs(loops->Get(i)->Area());
  }
  EXPECT_EQ(loops->Count(), 3);
  EXPECT_NEAR(total, 1 + 1 + 1, 1e-9);
}

TEST(SampleArcs, SquareGrowAndShrink) {
  auto sq = Square(0, 0, 1, true);
  Cadena* out = nullptr;
  ASSERT_TRUE(sq->SampleArcs(0.1, out));
  std::unique_ptr<Cadena> grown(out);
  EXPECT_EQ(grown->Kind(), Cadena::kClosed);
  EXPECT_EQ(grown->Count(), 4 * 9 + 1);
  for (int32_t i = 0; i < grown->Count(); ++i) {
    double x = grown->Point(i)->x(), y = grown->Point(i)->y();
    double dx = std::max({0.0 - x, 0.0, x - 1.0}), dy = std::max({0.0 - y, 0.0, y - 1.0});
    EXPECT_NEAR(std::hypot(dx, dy), 0.1, 1e-9) << i;
  }
  EXPECT_GT(grown->Area(), 1.0);

  ASSERT_TRUE(sq->SampleArcs(-0.1, out));
  std::unique_ptr<Cadena> shrunk(out);
  EXPECT_EQ(shrunk->Count(), 5);
  EXPECT_NEAR(shrunk->Area(), 0.64, 1e-12);
  EXPECT_NEAR(shrunk->MinX(), 0.1, 1e-12);

  ASSERT_TRUE(sq->SampleArcs(-0.4, out));
  std::unique_ptr<Cadena> tiny(out);
  EXPECT_NEAR(tiny->Area(), 0.04, 1e-12);
  EXPECT_FALSE(sq->SampleArcs(-0.6, out));
  EXPECT_EQ(out, nullptr);

  // A hole grows its material by moving its edges inwards.
  auto hole = Square(0, 0, 1, false);
  ASSERT_TRUE(hole->SampleArcs(0.1, out));
  std::unique_ptr<Cadena> h(out);
  EXPECT_NEAR(h->Area(), -0.64, 1e-12);
}

TEST(SampleArcs, OpenChainsMitresAndSpikes) {
  auto seg = MakeChain({{0, 0}, {1, 0}});
  Cadena* out = nullptr;
  ASSERT_TRUE(seg->SampleArcs(0.5, out));
  std::unique_ptr<Cadena> o(out);
  EXPECT_EQ(o->Kind(), Cadena::kOpen);
  EXPECT_NEAR(o->Point(0)->y(), 0.5, 1e-12);
  EXPECT_NEAR(o->Point(1)->y(), 0.5, 1e-12);
  // A corner that turns less than 2 half turns / 15 gets only the mitre.
  auto flat = MakeChain({{0, 0}, {0, 1}, {2, 1.1}, {4, 1}, {4, 0}, {0, 0}});
  ASSERT_GT(flat->Area(), 0);
  ASSERT_TRUE(flat->SampleArcs(0.05, out));
  std::unique_ptr<Cadena> f(out);
  EXPECT_EQ(f->Count(), 4 * 9 + 1 + 1);
  // A thin U folds over itself when grown a lot.
  auto u = MakeChain({{0, 0}, {0, 3}, {0.2, 3}, {0.2, 0.2}, {0.8, 0.2}, {0.8, 3}, {1, 3}, {1, 0},
                      {0, 0}});
  ASSERT_GT(u->Area(), 0);
  if (u->SampleArcs(0.5, out)) {
    std::unique_ptr<Cadena> g(out);
    EXPECT_TRUE(g->Kind() == Cadena::kSelfCrossing || g->Kind() == Cadena::kClosed);
  }
  // Degenerate distances never crash.
  EXPECT_FALSE(u->SampleArcs(NAN, out));
  auto spike = MakeChain({{0, 0}, {0, 1}, {1, 1}, {1, 0.5}, {3, 0.5}, {1, 0.5 + 1e-7}, {1, 0},
                          {0, 0}});
  if (spike->Kind() == Cadena::kClosed && spike->SampleArcs(-0.1, out)) delete out;
}

TEST(Offset, CornerDistanceAndRounding) {
  using namespace fillgeo;
  EXPECT_DOUBLE_EQ(CornerOffsetDistance(1, 1, kHalfTurn), 1.0);
  EXPECT_NEAR(CornerOffsetDistance(1, 1, kQuarterTurn), std::sqrt(2.0), 1e-12);
  // Spikes stay bounded.
  EXPECT_LE(std::fabs(CornerOffsetDistance(1, 1, 1e-12)), 1.0);
  EXPECT_LE(std::fabs(CornerOffsetDistance(1, 1, kFullTurn - 1e-12)), 1.0);
  Hilera row;
  EXPECT_TRUE(Cadena::RoundCorner(0, kQuarterTurn, 5 * kHalfTurn / 4, 0, 0, -0.1, -0.1, 0.1, 0.1,
                                  row));
  EXPECT_EQ(row.Count(), 12);
  EXPECT_NEAR(row.Get(0)->y(), -0.1, 1e-12);
  EXPECT_NEAR(row.Get(11)->x(), -0.1, 1e-12);
  Hilera small;
  EXPECT_FALSE(Cadena::RoundCorner(0, kHalfTurn - kQuarterTurn * 2 + 0.05, 0, 0, 0, 0, 0, 1, 1,
                                   small));
  EXPECT_EQ(small.Count(), 0);
}

TEST(Offset, SquaresAndRefusals) {
  auto sq = Square(0, 0, 1, true);
  double grow[4] = {0.1, 0.1, 0.1, 0.1};
  Cadenas* out = nullptr;
  ASSERT_TRUE(sq->Offset(grow, out));
  std::unique_ptr<Cadenas> o(out);
  ASSERT_EQ(out->Count(), 1);
  const Cadena* g = out->Get(0);
  EXPECT_EQ(g->Kind(), Cadena::kClosed);
  EXPECT_GT(g->Area(), 1.2);
  EXPECT_LT(g->Area(), 1.44);
  EXPECT_NEAR(g->MinX(), -0.1, 1e-9);

  double shrink[4] = {-0.1, -0.1, -0.1, -0.1};
  ASSERT_TRUE(sq->Offset(shrink, out));
  std::unique_ptr<Cadenas> s(out);
  ASSERT_EQ(out->Count(), 1);
  EXPECT_NEAR(out->Get(0)->Area(), 0.64, 1e-9);

  double mixed[4] = {0.1, -0.1, 0.1, 0.1};
  EXPECT_FALSE(sq->Offset(mixed, out));
  EXPECT_EQ(out, nullptr);
  double flip[4] = {-0.7, -0.7, -0.7, -0.7};
  if (sq->Offset(flip, out)) {
    std::unique_ptr<Cadenas> f(out);
    for (int32_t i = 0; i < out->Count(); ++i) EXPECT_GE(out->Get(i)->Area(), 0);
  } else {
    EXPECT_EQ(out, nullptr);
  }
  // An open chain moves to the left of its direction.
  auto seg = MakeChain({{0, 0}, {1, 0}, {2, 0.5}});
  double d2[2] = {0.2, 0.2};
  ASSERT_TRUE(seg->Offset(d2, out));
  std::unique_ptr<Cadenas> os(out);
  EXPECT_NEAR(out->Get(0)->Point(0)->y(), 0.2, 1e-12);
  // A short edge between two long ones vanishes under a large shrink and
  // the merged distance is written back.
  auto notch = MakeChain({{0, 0}, {0, 4}, {2, 4}, {2, 4.05}, {4, 4.05}, {4, 0}, {0, 0}});
  ASSERT_GT(notch->Area(), 0);
  double dn[6] = {-0.5, -0.5, -0.5, -0.5, -0.5, -0.5};
  ASSERT_TRUE(notch->Offset(dn, out));
  std::unique_ptr<Cadenas> on(out);
  ASSERT_GE(out->Count(), 1);
  EXPECT_GT(out->Get(0)->Area(), 0);
}

TEST(SplitSelfCrossing, LobesFarApartOnALongRing) {
  // Two lobes hang off the top edge with more than 30000 vertices between
  // them; the outer piece must still pass over both touch points.
  Hilera row;
  auto lobe = [&](double x) {
    row.AddPoint(x, 0);
    row.AddPoint(x - 1, 1);
    row.AddPoint(x + 1, 1);
  };
  row.AddPoint(0, 0);
  lobe(10);
  const int n = 31000;
  for (int k = 0; k <= n; ++k) row.AddPoint(10 + 80.0 * k / n, 0);
  lobe(90);
  row.AddPoint(90, 0);
  row.AddPoint(100, 0);
  row.AddPoint(100, -50);
  row.AddPoint(0, -50);
  row.AddPoint(0, 0);
  Cadena c;
  ASSERT_TRUE(c.SetFromHilera(row));
  ASSERT_EQ(c.Kind(), Cadena::kSelfCrossing);
  Cadenas* loops = nullptr;
  ASSERT_TRUE(c.SplitLoops(loops));
  std::unique_ptr<Cadenas> l(loops);
  ASSERT_EQ(loops->Count(), 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(loops->Get(i)->Kind(), Cadena::kClosed) << i;
  EXPECT_NEAR(std::fabs(loops->Get(0)->Area()), 5000, 1e-6);
}
