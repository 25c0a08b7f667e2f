// Chain crossings, overlay of shared stretches and chain relations.
#include <gtest/gtest.h>

#include <random>

#include "fill_geometry/cadenas.h"
#include "fill_geometry/chain_crossings.h"
#include "fill_geometry/geometry.h"
#include "test_support.h"

using namespace fillgeo;

namespace {

CrossingRows Cross(const Hilera& P, const Hilera& Q, uint16_t mode, uint8_t& flag) {
  CrossingRows rows;
  uint32_t n = 0;
  FindChainCrossings(P, Q, mode, rows, n, flag, 1e-8);
  EXPECT_EQ(n, rows.size());
  return rows;
}

}  // namespace

TEST(ChainCrossings, ModeOne) {
  uint8_t flag = 0;
  auto a = SquareRow(0, 0, 2, true), b = SquareRow(1, 1, 2, true);
  auto rows = Cross(*a, *b, kCrossings, flag);
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& r : rows) {
    EXPECT_GT(r[2], 0);
    EXPECT_LT(r[2], 1);
    EXPECT_GT(r[4], 0);
    EXPECT_LT(r[4], 1);
  }
  EXPECT_LE(rows[0][5], rows[1][5]);
  // Touching at a vertex and going back: nothing.
  auto v = MakeRow({{-1, 3}, {1, 2}, {3, 3}});
  EXPECT_TRUE(Cross(*a, *v, kCrossings, flag).empty());
  // Passing through a vertex of the other: one row.
  auto through = MakeRow({{-1, 3}, {1, 1}});
  EXPECT_EQ(Cross(*a, *through, kCrossings, flag).size(), 1u);
  auto both = MakeRow({{-1, 3}, {3, -1}});
  EXPECT_EQ(Cross(*a, *both, kCrossings, flag).size(), 2u);
  // A free end on the other polyline.
  auto end = MakeRow({{1, -1}, {1, 0}});
  EXPECT_EQ(Cross(*a, *end, kCrossings, flag).size(), 1u);
  // Collinear overlap: no row, flag set.
  auto along = MakeRow({{0.5, 0}, {1.5, 0}});
  EXPECT_TRUE(Cross(*a, *along, kCrossings, flag).empty());
  EXPECT_EQ(flag, 1);
}

TEST(ChainCrossings, ModeTwoContacts) {
  uint8_t flag = 0;
  auto P = MakeRow({{0, 0}, {4, 0}});
  EXPECT_TRUE(Cross(*P, *MakeRow({{1, 0}, {2, 0}}), kContacts, flag).empty());  // mask 12
  auto rows = Cross(*P, *MakeRow({{1, 0}, {1, 1}}), kContacts, flag);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][6], 1.0);  // mask 4
  EXPECT_DOUBLE_EQ(rows[0][4], 0.25);
  EXPECT_EQ(flag, 0);
}

TEST(ChainCrossings, SortedSearchMatchesBruteForce) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 10);
  for (int trial = 0; trial < 30; ++trial) {
    Hilera P, Q;
    for (int k = 0; k < 25; ++k) P.AddPoint(u(rng), u(rng));
    for (int k = 0; k < 25; ++k) Q.AddPoint(u(rng), u(rng));
    uint8_t flag;
    CrossingRows rows = Cross(P, Q, kCrossings, flag);
    // Brute force: proper crossings strictly inside both segments.
    size_t expect = 0;
    for (int i = 0; i + 1 < P.Count(); ++i)
      for (int j = 0; j + 1 < Q.Count(); ++j) {
        double x, y, tA = kNoParameter, tB = kNoParameter;
        int16_t s;
        IntersectSegments(Q.Get(j)->x(), Q.Get(j)->y(), Q.Get(j + 1)->x(), Q.Get(j + 1)->y(),
                          P.Get(i)->x(), P.Get(i)->y(), P.Get(i + 1)->x(), P.Get(i + 1)->y(), x,
                          y, tB, tA, s, 1e-8);
        if (tA > 1e-6 && tA < 1 - 1e-6 && tB > 1e-6 && tB < 1 - 1e-6) ++expect;
      }
    EXPECT_EQ(rows.size(), expect) << trial;
  }
}

TEST(Overlay, SharedStretches) {
  auto S = Square(0, 0, 2, true);
  int16_t dir = 0;
  bool cross = true;
  {
    Cadenas pieces;
    auto apart = Square(5, 5, 1, true);
    S->OverlayPieces(S->Count() - 1, apart->Count() - 1, *apart, dir, pieces, cross, 1e-8);
    EXPECT_EQ(pieces.Count(), 0);
    EXPECT_FALSE(cross);
  }
  {
    Cadenas pieces;
    auto same = Square(0, 0, 2, true);
    S->OverlayPieces(S->Count() - 1, same->Count() - 1, *same, dir, pieces, cross, 1e-8);
    ASSERT_EQ(pieces.Count(), 1);
    EXPECT_EQ(pieces.Get(0)->Kind(), Cadena::kClosed);
    EXPECT_FALSE(cross);
  }
  {
    // Against S from outside along part of its right edge.
    Cadenas pieces;
    auto out = Square(2, 0.5, 1, true);
    S->OverlayPieces(S->Count() - 1, out->Count() - 1, *out, dir, pieces, cross, 1e-8);
    ASSERT_EQ(pieces.Count(), 1);
    EXPECT_FALSE(cross);
  }
  {
    // Comes from outside, runs along the bottom edge, leaves into S.
    Cadenas pieces;
    auto o = MakeChain({{-1, -1}, {0.5, 0}, {1.5, 0}, {1, 1}, {-1, 1}, {-1, -1}});
    S->OverlayPieces(S->Count() - 1, o->Count() - 1, *o, dir, pieces, cross, 1e-8);
    EXPECT_EQ(pieces.Count(), 1);
    EXPECT_TRUE(cross);
  }
  {
    // Two consecutive O segments inside one S segment: joined into one piece.
    Cadenas pieces;
    auto o = MakeChain({{0.5, 0}, {1, 0}, {1.5, 0}, {1, -1}, {0.5, 0}});
    S->OverlayPieces(S->Count() - 1, o->Count() - 1, *o, dir, pieces, cross, 1e-8);
    ASSERT_EQ(pieces.Count(), 1);
    EXPECT_EQ(pieces.Get(0)->Count(), 3);
  }
}

TEST(Relation, CodesForApartNestedCrossingEqual) {
  auto outer = Square(0, 0, 10, true);
  auto outerFar = Square(20, 0, 1, true);
  auto holeFar = Square(20, 0, 1, false);
  EXPECT_EQ(outer->Relation(*outerFar, true, 1e-8), 1);
  EXPECT_EQ(outer->Relation(*outerFar, false, 1e-8), 1);
  EXPECT_EQ(outer->Relation(*holeFar, true, 1e-8), 72);
  EXPECT_EQ(holeFar->Relation(*outer, true, 1e-8), 71);
  auto holeA = Square(0, 0, 1, false), holeB = Square(5, 5, 1, false);
  EXPECT_EQ(holeA->Relation(*holeB, true, 1e-8), 62);

  auto holeIn = Square(2, 2, 3, false), outerIn = Square(2, 2, 3, true);
  for (bool F : {false, true}) {
    EXPECT_EQ(outer->Relation(*holeIn, F, 1e-8), 62) << F;
    EXPECT_EQ(outer->Relation(*outerIn, F, 1e-8), 71) << F;
    EXPECT_EQ(outerIn->Relation(*outer, F, 1e-8), 72) << F;
  }
  auto crossing = Square(5, 5, 10, true);
  EXPECT_EQ(outer->Relation(*crossing, true, 1e-8), 61);
  auto same = Square(0, 0, 10, true), rev = Square(0, 0, 10, false);
  EXPECT_EQ(outer->Relation(*same, true, 1e-8), 81);
  EXPECT_EQ(outer->Relation(*rev, true, 1e-8), 82);
  // An island inside a hole of S's ring.
  auto bigHole = Square(-5, -5, 30, false);
  EXPECT_EQ(outer->Relation(*bigHole, true, 1e-8), 1);

  auto open = MakeChain({{0, 0}, {1, 0}, {1, 1}});
  auto eight = MakeChain({{0, 0}, {2, 2}, {2, 0}, {0, 2}, {0, 0}});
  EXPECT_EQ(outer->Relation(*open, true, 1e-8), -9999);
  EXPECT_EQ(open->Relation(*outer, true, 1e-8), -9999);
  EXPECT_EQ(outer->Relation(*eight, true, 1e-8), -9999);
  EXPECT_EQ(eight->Relation(*outer, true, 1e-8), -9999);
}

TEST(Relation, TouchingRings) {
  auto outer = Square(0, 0, 10, true);
  // A hole sharing part of the outer's bottom edge: touch, O inside S.
  auto hole = MakeChain({{2, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 0}});
  ASSERT_LT(hole->Area(), 0);
  EXPECT_EQ(outer->Relation(*hole, true, 1e-8), 64);
  // An outer ring sharing an edge from outside: touch, O outside.
  auto side = Square(10, 2, 3, true);
  EXPECT_EQ(outer->Relation(*side, true, 1e-8), 3);
  // A hole touching the outer at one vertex only (onS, no shared stretch).
  auto tip = MakeChain({{5, 0}, {6, 1}, {5, 2}, {4, 1}, {5, 0}});
  ASSERT_LT(tip->Area(), 0);
  EXPECT_EQ(outer->Relation(*tip, true, 1e-8), 63);
}
