// Chains and chain collections.
#include <gtest/gtest.h>

#include <cmath>

#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"
#include "test_support.h"

TEST(Chain, AreaSignKindAndReverse) {
  auto ccw = MakeChain({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}});
  EXPECT_EQ(ccw->Kind(), Cadena::kClosed);
  EXPECT_DOUBLE_EQ(ccw->Area(), -1.0);
  auto cw = Square(0, 0, 1, true);
  EXPECT_DOUBLE_EQ(cw->Area(), 1.0);
  EXPECT_DOUBLE_EQ(cw->Length(), 4.0);
  EXPECT_TRUE(cw->Reverse());
  EXPECT_DOUBLE_EQ(cw->Area(), -1.0);
  EXPECT_DOUBLE_EQ(cw->Length(), 4.0);
  EXPECT_EQ(cw->MaxX(), 1.0);
  cw->Invalidate();
  EXPECT_FALSE(cw->Reverse());

  auto tri3 = MakeChain({{0, 0}, {1, 0}, {0, 1}});
  EXPECT_EQ(tri3->Kind(), Cadena::kOpen);
  EXPECT_EQ(tri3->Area(), 0.0);
  auto tri4 = MakeChain({{0, 0}, {1, 0}, {0, 1}, {0, 0}});
  EXPECT_EQ(tri4->Kind(), Cadena::kClosed);

  auto eight = MakeChain({{0, 0}, {2, 2}, {2, 0}, {0, 2}, {0, 0}});
  EXPECT_EQ(eight->Kind(), Cadena::kSelfCrossing);
  EXPECT_EQ(eight->CrossingCount(), 1);
  EXPECT_EQ(eight->Area(), 0.0);
  // Far from the origin the area is measured about the box centre.
  auto far = Square(1e7, 1e7, 1, true);
  EXPECT_NEAR(far->Area(), 1.0, 1e-9);
  // Beyond the reset box of 1e10 the box still holds every vertex.
  auto huge = Square(2e10, 3e10, 1000, true);
  EXPECT_EQ(huge->MinX(), 2e10);
  EXPECT_EQ(huge->MinY(), 3e10);
  EXPECT_NEAR(huge->Area(), 1e6, 1e-3);
}

TEST(Chain, ConstructionFromRows) {
  auto c = MakeChain({{0, 0}, {1e-9, 0}, {1, 0}});
  ASSERT_EQ(c->Count(), 2);
  EXPECT_EQ(c->Point(0)->x(), 0.0);
  EXPECT_EQ(c->Point(2), nullptr);
  Cadena d;
  EXPECT_FALSE(d.SetFromHilera(*MakeRow({{1, 1}, {1, 1}})));
  EXPECT_EQ(d.Count(), 0);
  EXPECT_FALSE(d.SetFromHilera(*MakeRow({{1, 1}})));
  // A spike: collinear segments lying on one another.
  EXPECT_FALSE(d.SetFromHilera(*MakeRow({{0, 0}, {2, 0}, {1, 0}})));
  // A closed ring touching itself at a vertex crosses itself.
  auto touch = MakeChain({{0, 0}, {1, 0}, {2, 1}, {3, 0}, {2, -1}, {1, 0}, {0, -1}, {0, 0}});
  EXPECT_EQ(touch->Kind(), Cadena::kSelfCrossing);
  // A spike whose two directions fold to opposite ends of the angle axis
  // (0 and just below a half turn) is still found.
  EXPECT_FALSE(d.SetFromHilera(*MakeRow({{0, 0}, {2, 0}, {1, 1e-12}})));
  EXPECT_FALSE(d.SetFromHilera(*MakeRow({{0, 0}, {3, 0}, {3, 2}, {1, 2}, {1, 1e-12}, {2, 0}})));
}

TEST(Chain, InnerSide) {
  auto sq = Square(0, 0, 2, true);
  EXPECT_TRUE(sq->InnerSide(1, 1));
  EXPECT_FALSE(sq->InnerSide(3, 1));
  EXPECT_TRUE(sq->InnerSide(0, 1));  // on a vertical edge
  auto hole = Square(0, 0, 2, false);
  EXPECT_TRUE(hole->InnerSide(3, 1));
  EXPECT_FALSE(hole->InnerSide(1, 1));
  // The L shape, clockwise: the vertical x = 2 passes the turning-back vertex.
  auto L = MakeChain({{0, 0}, {0, 2}, {1, 2}, {1, 1}, {2, 1}, {2, 0}, {0, 0}});
  ASSERT_GT(L->Area(), 0);
  EXPECT_FALSE(L->InnerSide(2, 1.5));
  EXPECT_TRUE(L->InnerSide(1.5, 0.5));
  EXPECT_FALSE(L->InnerSide(1.5, 1.5));
  EXPECT_TRUE(L->InnerSide(1, 0.5));  // vertical through a vertex with a crossing
  auto open = MakeChain({{0, 0}, {1, 0}, {1, 1}});
  EXPECT_FALSE(open->InnerSide(0.5, 0.5));
}

TEST(Chain, NearestOnChainJoinCopy) {
  auto one = std::make_unique<Cadena>();
  int32_t seg = -5;
  Punto2D* foot = nullptr;
  EXPECT_EQ(one->NearestPoint(0, 0, seg, foot), 1e20);
  EXPECT_EQ(seg, -5);
  EXPECT_EQ(foot, nullptr);
  auto sq = Square(0, 0, 1, true);
  double d = sq->NearestPoint(0.5, 2, seg, foot);
  EXPECT_DOUBLE_EQ(d, 1.0);
  EXPECT_EQ(seg, 1);
  ASSERT_NE(foot, nullptr);
  EXPECT_DOUBLE_EQ(foot->x(), 0.5);
  delete foot;
  EXPECT_FALSE(sq->OnChain(0.5, 1.2, 0.1, seg, foot));
  EXPECT_EQ(foot, nullptr);
  EXPECT_TRUE(sq->OnChain(0.5, 1.05, -0.1, seg, foot));
  delete foot;

  auto a = MakeChain({{0, 0}, {1, 0}});
  auto b = MakeChain({{1, 0}, {1, 1}});
  Cadena* j = nullptr;
  ASSERT_TRUE(a->Join(*b, j));
  EXPECT_EQ(j->Count(), 3);
  delete j;
  Cadena copy;
  copy.CopyFrom(*sq);
  EXPECT_EQ(copy.Area(), sq->Area());
  EXPECT_NE(copy.Point(0), sq->Point(0));
  Hilera* row = nullptr;
  Cadena empty;
  empty.CopyToHilera(row);
  EXPECT_EQ(row->Count(), 0);
  delete row;
}

TEST(ChainSet, OwnershipAndEditing) {
  Cadenas set;
  auto bad = Square(0, 0, 1, true);
  bad->Invalidate();
  set.Add(bad.get());
  EXPECT_EQ(set.Count(), 0);
  set.Add(Square(0, 0, 1, true).release());
  set.Add(Square(5, 0, 2, true).release());
  EXPECT_FALSE(set.Remove(2));
  std::vector<std::array<double, 2>> table;
  set.AreaTable(table);
  EXPECT_EQ(table[0][1], 0.0);
  EXPECT_EQ(table[1][0], 4.0);
  int32_t ci, seg;
  Cadena* c = nullptr;
  Punto2D* foot = nullptr;
  EXPECT_TRUE(set.FindNearChain(6, 2, 1e-8, ci, c, seg, foot));
  EXPECT_EQ(ci, 1);
  delete foot;
  {
    // A detached set leaves its chains alive.
    Cadenas* tmp = new Cadenas();
    tmp->AddAll(set);
    tmp->Detach();
    delete tmp;
  }
  EXPECT_EQ(set.Get(1)->Count(), 5);
  set.Seal();
  set.Add(Square(0, 0, 1, true).get());  // refused, not owned
  EXPECT_EQ(set.Count(), 2);
  EXPECT_FALSE(set.Remove(0));
  EXPECT_FALSE(set.Get(0)->IsValid());
}

TEST(ChainSet, RemoveDuplicates) {
  Cadenas one;
  one.Add(Square(0, 0, 1, true).release());
  one.RemoveDuplicates();
  EXPECT_EQ(one.Count(), 1);
  Cadenas twins;
  twins.Add(Square(0, 0, 1, true).release());
  auto rev = Square(0, 0, 1, true);
  rev->Reverse();
  twins.Add(rev.release());
  twins.Add(Square(0, 0, 1, true).release());  // same direction: kept
  twins.RemoveDuplicates();
  EXPECT_EQ(twins.Count(), 2);
}

TEST(ChainSet, MatchEnds) {
  std::vector<std::array<uint8_t, 2>> t;
  bool done = false;
  Cadenas closed;
  closed.Add(Square(0, 0, 1, true).release());
  closed.MatchEnds(1e-8, t, done);
  EXPECT_TRUE(done);
  Cadenas two;
  two.Add(MakeChain({{0, 0}, {1, 0}}).release());
  two.Add(MakeChain({{1, 0}, {0, 0}}).release());
  two.MatchEnds(1e-8, t, done);
  EXPECT_TRUE(done);
  Cadenas lone;
  lone.Add(MakeChain({{0, 0}, {1, 0}}).release());
  lone.MatchEnds(1e-8, t, done);
  EXPECT_FALSE(done);
  EXPECT_EQ(t[0][0], 0);
  EXPECT_EQ(t[0][1], 0);
  // Ends one ulp apart on either side of a cell boundary still match.
  for (int trial = 0; trial < 40; ++trial) {
    double x = 0.1 * trial + 0.013;
    Cadenas s;
    s.Add(MakeChain({{0, 0}, {x, 1}}).release());
    s.Add(MakeChain({{std::nextafter(x, 10.0), 1}, {4.1, 3}}).release());
    s.Add(MakeChain({{4.1, 3}, {0, 0}}).release());
    s.MatchEnds(1e-8, t, done);
    EXPECT_TRUE(done) << x;
  }
}
