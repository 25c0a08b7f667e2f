// Regions, row crossings and region assembly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"
#include "test_support.h"

namespace {

std::unique_ptr<Recinto> Region(std::vector<std::unique_ptr<Cadena>> chains) {
  Cadenas set;
  for (auto& c : chains) set.Add(c.release());
  auto r = std::make_unique<Recinto>();
  EXPECT_EQ(r->SetChains(set), Recinto::kAccepted);
  return r;
}

std::vector<std::unique_ptr<Cadena>> Chains(std::unique_ptr<Cadena> a,
                                            std::unique_ptr<Cadena> b = nullptr) {
  std::vector<std::unique_ptr<Cadena>> v;
  v.push_back(std::move(a));
  if (b) v.push_back(std::move(b));
  return v;
}

std::vector<double> RowXs(const Recintos& set, double y) {
  Hilera* row = nullptr;
  set.RowCrossings(-100, y, 100, y, row);
  std::unique_ptr<Hilera> h(row);
  std::vector<double> xs;
  for (int32_t i = 0; i < row->Count(); ++i) xs.push_back(row->Get(i)->x());
  std::sort(xs.begin(), xs.end());
  return xs;
}

}  // namespace

TEST(Region, SetChainsCodes) {
  Recinto r;
  Cadenas empty;
  EXPECT_EQ(r.SetChains(empty), Recinto::kEmpty);
  Cadenas one;
  one.Add(Square(0, 0, 1, true).release());
  EXPECT_EQ(r.SetChains(one), Recinto::kAccepted);
  EXPECT_EQ(r.ChainCount(), 1);
  EXPECT_DOUBLE_EQ(r.TotalArea(), 1.0);
  Cadenas rev;
  rev.Add(Square(0, 0, 1, false).release());
  EXPECT_EQ(r.SetChains(rev), Recinto::kNoPositive);
  Cadenas twoPos;
  twoPos.Add(Square(0, 0, 1, true).release());
  twoPos.Add(Square(3, 0, 1, true).release());
  EXPECT_EQ(r.SetChains(twoPos), Recinto::kManyPositive);
  Cadenas withOpen;
  withOpen.Add(Square(0, 0, 1, true).release());
  withOpen.Add(MakeChain({{0, 0}, {1, 1}}).release());
  EXPECT_EQ(r.SetChains(withOpen), Recinto::kNotClosed);
  Cadenas holeOutside;
  holeOutside.Add(Square(0, 0, 1, true).release());
  holeOutside.Add(Square(5, 5, 1, false).release());
  EXPECT_EQ(r.SetChains(holeOutside), Recinto::kBadHole);
  Cadenas holesCross;
  holesCross.Add(Square(0, 0, 10, true).release());
  holesCross.Add(Square(1, 1, 3, false).release());
  holesCross.Add(Square(2, 2, 3, false).release());
  EXPECT_EQ(r.SetChains(holesCross), Recinto::kBadHolePair);
  Cadenas ring;
  ring.Add(Square(0, 0, 10, true).release());
  ring.Add(Square(2, 2, 3, false).release());
  EXPECT_EQ(r.SetChains(ring), Recinto::kAccepted);
  EXPECT_TRUE(r.ContainsPoint(1, 1));
  EXPECT_FALSE(r.ContainsPoint(3, 3));
  EXPECT_FALSE(r.ContainsPoint(11, 3));
}

TEST(Region, RowCrossingsAtVerticesAndEdges) {
  Recintos set;
  set.Add(Region(Chains(Square(0, 0, 1, true))).release());
  EXPECT_EQ(RowXs(set, 0.5), (std::vector<double>{0, 1}));
  // A diamond: the row through its top corner adds nothing, through a side
  // vertex adds one point per side.
  Recintos d;
  d.Add(Region(Chains(MakeChain({{0, 0}, {-1, 1}, {0, 2}, {1, 1}, {0, 0}}))).release());
  EXPECT_TRUE(RowXs(d, 2).empty());
  EXPECT_EQ(RowXs(d, 1), (std::vector<double>{-1, 1}));
  // A step: the row runs along a horizontal edge between a rise and a rise.
  Recintos s;
  s.Add(Region(Chains(MakeChain({{0, 0}, {0, 3}, {4, 3}, {4, 2}, {2, 2}, {2, 1}, {4, 1}, {4, 0},
                                 {0, 0}})))
            .release());
  std::vector<double> xs = RowXs(s, 1);
  EXPECT_EQ(xs.size() % 2, 0u);
  xs = RowXs(s, 2);
  EXPECT_EQ(xs.size() % 2, 0u);
  Recintos stair;
  stair.Add(Region(Chains(MakeChain({{0, 0}, {0, 2}, {2, 2}, {2, 1}, {3, 1}, {3, 0}, {0, 0}})))
                .release());
  EXPECT_EQ(RowXs(stair, 1).size() % 2, 0u);
  Caja* box = nullptr;
  Recintos none;
  none.BoundingBox(box);
  EXPECT_EQ(box->xmin(), 1e20);
  EXPECT_EQ(box->xmax(), -1e20);
  delete box;
}

TEST(Region, RowParityMatchesWindingOnRandomPolygons) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  int ran = 0;
  for (int trial = 0; trial < 30; ++trial) {
    // A star-shaped outer ring (clockwise) and a small star hole inside it.
    auto star = [&](double cx, double cy, double r0, double r1, int n, bool cw) {
      auto row = std::make_unique<Hilera>();
      for (int k = 0; k < n; ++k) {
        double a = (cw ? -1 : 1) * 2 * M_PI * k / n;
        double rad = r0 + (r1 - r0) * u(rng);
        // Snap some vertices to the lattice of rows so rows run through them.
        double y = cy + rad * std::sin(a);
        if (k % 3 == 0) y = std::round(y * 4) / 4;
        row->AddPoint(cx + rad * std::cos(a), y);
      }
      row->AddPoint(row->Get(0)->x(), row->Get(0)->y());
      auto c = std::make_unique<Cadena>();
      c->SetFromHilera(*row);
      return c;
    };
    auto outer = star(0, 0, 6, 10, 24, true);
    auto hole = star(0.3, 0.2, 1, 2.5, 12, false);
    if (outer->Kind() != Cadena::kClosed || hole->Kind() != Cadena::kClosed) continue;
    Cadenas set;
    set.Add(outer.release());
    set.Add(hole.release());
    auto reg = std::make_unique<Recinto>();
    if (reg->SetChains(set) != Recinto::kAccepted) continue;
    Recintos rs;
    rs.Add(reg.release());
    const Recinto* r = rs.Get(0);
    ++ran;
    for (double y = -10.5; y <= 10.5; y += 0.25) {
      std::vector<double> xs = RowXs(rs, y);
      ASSERT_EQ(xs.size() % 2, 0u) << trial << " y " << y;
      for (double x = -11; x <= 11; x += 0.173) {
        bool near = false;
        for (double c : xs) near |= std::fabs(c - x) < 1e-6;
        if (near) continue;
        size_t left = std::lower_bound(xs.begin(), xs.end(), x) - xs.begin();
        // Brute-force winding test of the point against both rings.
        bool inside = true;
        for (int32_t ci = 0; ci < r->ChainCount(); ++ci) {
          const Cadena* c = r->GetChain(ci);
          double wind = 0;
          for (int32_t k = 0; k + 1 < c->Count(); ++k) {
            double a0 = std::atan2(c->Point(k)->y() - y, c->Point(k)->x() - x);
            double a1 = std::atan2(c->Point(k + 1)->y() - y, c->Point(k + 1)->x() - x);
            double da = a1 - a0;
            while (da > M_PI) da -= 2 * M_PI;
            while (da < -M_PI) da += 2 * M_PI;
            wind += da;
          }
          bool in = std::fabs(wind) > M_PI;
          if (ci == 0 ? !in : in) inside = false;
        }
        EXPECT_EQ(left % 2 == 1, inside) << trial << " " << x << " " << y;
      }
    }
  }
  EXPECT_GT(ran, 20);
}

TEST(Region, RelationCodes) {
  auto a = Region(Chains(Square(0, 0, 1, true)));
  auto far = Region(Chains(Square(1 + 2e-8, 0, 1, true)));
  int32_t ha, hb;
  EXPECT_EQ(a->Relation(*far, ha, hb, 1e-8), 0);
  auto ring = Region(Chains(Square(0, 0, 10, true), Square(2, 2, 3, false)));
  Recinto* copy = nullptr;
  ring->Copy(copy);
  std::unique_ptr<Recinto> c(copy);
  EXPECT_EQ(ring->Relation(*copy, ha, hb, 1e-8), 9);
  auto inner = Region(Chains(Square(6, 6, 2, true)));
  EXPECT_EQ(ring->Relation(*inner, ha, hb, 1e-8), 431);
  auto inHole = Region(Chains(Square(2.5, 2.5, 1, true)));
  EXPECT_EQ(ring->Relation(*inHole, ha, hb, 1e-8), 81);
  EXPECT_EQ(ha, 1);
  auto crossing = Region(Chains(Square(5, 5, 10, true)));
  EXPECT_EQ(ring->Relation(*crossing, ha, hb, 1e-8), 3);
}

TEST(Region, Rebuild) {
  auto sq = Region(Chains(Square(0, 0, 1, true)));
  Recintos* out = nullptr;
  ASSERT_TRUE(sq->Rebuild(-0.1, out));
  std::unique_ptr<Recintos> o(out);
  ASSERT_EQ(out->Count(), 1);
  EXPECT_NEAR(out->Get(0)->GetChain(0)->Area(), 0.64, 1e-12);
  // A hole that vanishes under growth leaves the region without it.
  auto ring = Region(Chains(Square(0, 0, 10, true), Square(4, 4, 0.2, false)));
  ASSERT_TRUE(ring->Rebuild(0.2, out));
  std::unique_ptr<Recintos> g(out);
  ASSERT_EQ(out->Count(), 1);
  EXPECT_EQ(out->Get(0)->ChainCount(), 1);
  // A shrink that splits a dumbbell gives two regions.
  auto bell = Region(Chains(MakeChain({{0, 0}, {0, 2}, {2, 2}, {2, 1.1}, {3, 1.1}, {3, 2}, {5, 2},
                                      {5, 0}, {3, 0}, {3, 0.9}, {2, 0.9}, {2, 0}, {0, 0}})));
  ASSERT_TRUE(bell->Rebuild(-0.3, out));
  std::unique_ptr<Recintos> b(out);
  EXPECT_EQ(out->Count(), 2);
  EXPECT_FALSE(sq->Rebuild(-0.6, out));
}

TEST(Region, SplitByChain) {
  auto sq = Region(Chains(Square(0, 0, 10, true)));
  Recintos* out = nullptr;
  auto open = MakeChain({{0, 0}, {1, 1}});
  EXPECT_EQ(sq->SplitByChain(*open, 1e-8, out), -999);
  EXPECT_EQ(out, nullptr);
  auto far = Square(20, 20, 1, false);
  EXPECT_EQ(sq->SplitByChain(*far, 1e-8, out), 0);
  auto inside = Square(2, 2, 2, false);
  ASSERT_EQ(sq->SplitByChain(*inside, 1e-8, out), 2);
  std::unique_ptr<Recintos> a(out);
  ASSERT_EQ(out->Count(), 1);
  EXPECT_EQ(out->Get(0)->ChainCount(), 2);
  // A hole over the right edge notches the region.
  auto notch = Square(8, 4, 4, false);
  ASSERT_EQ(sq->SplitByChain(*notch, 1e-8, out), 2);
  std::unique_ptr<Recintos> b(out);
  ASSERT_EQ(out->Count(), 1);
  EXPECT_NEAR(out->Get(0)->TotalArea(), 100 - 8, 1e-9);
  // A band across the middle cuts the region in two.
  auto band = MakeChain({{-1, 4}, {11, 4}, {11, 6}, {-1, 6}, {-1, 4}});
  ASSERT_LT(band->Area(), 0);
  ASSERT_EQ(sq->SplitByChain(*band, 1e-8, out), 2);
  std::unique_ptr<Recintos> c(out);
  ASSERT_EQ(out->Count(), 2);
  EXPECT_NEAR(out->Get(0)->TotalArea() + out->Get(1)->TotalArea(), 80, 1e-9);
  // A hole covering the whole region leaves nothing.
  auto all = Square(-1, -1, 12, false);
  ASSERT_EQ(sq->SplitByChain(*all, 1e-8, out), 2);
  std::unique_ptr<Recintos> d(out);
  EXPECT_EQ(out->Count(), 0);
}

TEST(Region, BuildRegionsFromOffsetOutlines) {
  Recintos* out = nullptr;
  Cadenas holesOnly;
  holesOnly.Add(Square(0, 0, 1, false).release());
  EXPECT_FALSE(holesOnly.BuildRegions(out, 1e-8));
  EXPECT_EQ(out, nullptr);
  Cadenas outers;
  outers.Add(Square(0, 0, 1, true).release());
  outers.Add(Square(5, 0, 2, true).release());
  outers.Add(Square(9, 9, 1, false).release());
  ASSERT_TRUE(outers.BuildRegions(out, 1e-8));
  std::unique_ptr<Recintos> a(out);
  ASSERT_EQ(out->Count(), 2);
  EXPECT_NEAR(out->Get(0)->TotalArea(), 1, 1e-12);
  EXPECT_NEAR(out->Get(1)->TotalArea(), 4, 1e-12);
  // Two holes: one inside, one cutting the outer in two.
  Cadenas cut;
  cut.Add(Square(0, 0, 10, true).release());
  cut.Add(MakeChain({{-1, 4}, {11, 4}, {11, 6}, {-1, 6}, {-1, 4}}).release());
  cut.Add(Square(1, 1, 1, false).release());
  ASSERT_TRUE(cut.BuildRegions(out, 1e-8));
  std::unique_ptr<Recintos> b(out);
  ASSERT_EQ(out->Count(), 2);
  double total = 0;
  for (int32_t i = 0; i < out->Count(); ++i) total += out->Get(i)->TotalArea();
  EXPECT_NEAR(total, 100 - 20 - 1, 1e-9);
}
