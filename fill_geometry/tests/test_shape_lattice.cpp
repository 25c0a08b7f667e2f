// Shape outlines to two lattice layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>
#include <random>

#include "fill_geometry/geometry.h"
#include "fill_geometry/shape_lattice.h"
#include "test_support.h"

namespace {

struct Lattice {
  uint8_t ok = 0;
  uint32_t n1 = 0, n2 = 0;
  double** p1 = nullptr;
  double** p2 = nullptr;
  ~Lattice() {
    for (uint32_t i = 0; i < n1; ++i) delete[] p1[i];
    for (uint32_t i = 0; i < n2; ++i) delete[] p2[i];
    delete[] p1;
    delete[] p2;
  }
};

void Fill(const Hileras& h, double r, Lattice& L, double margin = fillgeo::kUnset,
         double ox = fillgeo::kUnset, double oy = fillgeo::kUnset) {
  L.ok = BuildRegionsFromChains(h, r, L.n1, L.p1, L.n2, L.p2, margin, ox, oy);
}

void ExpectFailed(const Lattice& L) {
  EXPECT_EQ(L.ok, 0);
  EXPECT_EQ(L.n1, 0u);
  EXPECT_EQ(L.n2, 0u);
  EXPECT_EQ(L.p1, nullptr);
  EXPECT_EQ(L.p2, nullptr);
}

}  // namespace

TEST(ShapeLattice, TenBySquareCountsAndSpacing) {
  for (bool cw : {false, true}) {
    Hileras h;
    h.Add(SquareRow(0, 0, 10, cw).release());
    Lattice L;
    Fill(h, 0.45, L, 0.0001);
    ASSERT_EQ(L.ok, 1);
    EXPECT_EQ(L.n1, 149u);
    EXPECT_EQ(L.n2, 150u);
    EXPECT_NEAR(L.p1[0][0], 0.5, 1e-12);  // origin -0.4 lies outside
    EXPECT_NEAR(L.p1[0][1], 0.323462819564023, 1e-12);
    EXPECT_NEAR(L.p1[1][0] - L.p1[0][0], 0.9, 1e-12);
    EXPECT_NEAR(L.p1[11][1] - L.p1[0][1], 0.7794228634, 1e-9);
    EXPECT_NEAR(L.p2[0][1] - L.p1[0][1], 0.2598076211, 1e-9);
    EXPECT_NEAR(L.p2[0][2], 0.7348469228, 1e-9);
    EXPECT_EQ(L.p1[0][2], 0.0);
  }
}

TEST(ShapeLattice, RingDisjointAndNested) {
  // A ring: no point inside the hole grown by the margin.
  Hileras ring;
  ring.Add(SquareRow(0, 0, 10, true).release());
  ring.Add(SquareRow(3, 3, 4, false).release());
  Lattice L;
  Fill(ring, 0.45, L, 0.2);
  ASSERT_EQ(L.ok, 1);
  ASSERT_GT(L.n1, 0u);
  for (uint32_t i = 0; i < L.n1; ++i) {
    double x = L.p1[i][0], y = L.p1[i][1];
    EXPECT_FALSE(x > 2.8 && x < 7.2 && y > 2.8 && y < 7.2) << x << " " << y;
    EXPECT_TRUE(x >= 0.2 - 1e-7 && x <= 9.8 + 1e-7 && y >= 0.2 - 1e-7 && y <= 9.8 + 1e-7);
  }
  // Two disjoint squares both get points.
  Hileras two;
  two.Add(SquareRow(0, 0, 5, false).release());
  two.Add(SquareRow(10, 0, 5, false).release());
  Lattice T;
  Fill(two, 0.45, T, 0.0001);
  ASSERT_EQ(T.ok, 1);
  bool left = false, right = false;
  for (uint32_t i = 0; i < T.n1; ++i) (T.p1[i][0] < 7 ? left : right) = true;
  EXPECT_TRUE(left && right);
  // Nested outlines of one orientation relate by 71: refused.
  Hileras nested;
  nested.Add(SquareRow(0, 0, 10, true).release());
  nested.Add(SquareRow(3, 3, 4, true).release());
  Lattice N;
  Fill(nested, 0.45, N, 0.0001);
  ExpectFailed(N);
}

TEST(ShapeLattice, RefusalsNeverCrashOrHang) {
  Hileras sq;
  sq.Add(SquareRow(0, 0, 10, true).release());
  for (double r : {0.0, -1.0, 1e-9, double(NAN), 6.0}) {
    Lattice L;
    Fill(sq, r, L, 0.0001);
    ExpectFailed(L);
  }
  Lattice negMargin;
  Fill(sq, 0.45, negMargin, -1);
  ExpectFailed(negMargin);
  Hileras empty;
  Lattice E;
  Fill(empty, 0.45, E, 0.0001);
  ExpectFailed(E);
  Hileras open;
  open.Add(MakeRow({{0, 0}, {10, 0}, {10, 10}, {0, 10}}).release());
  Lattice O;
  Fill(open, 0.45, O, 0.0001);
  ExpectFailed(O);
  Hileras few;
  few.Add(MakeRow({{0, 0}, {10, 0}, {0, 0}}).release());
  Lattice F;
  Fill(few, 0.45, F, 0.0001);
  ExpectFailed(F);
  Hileras eight;
  eight.Add(MakeRow({{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}).release());
  Lattice G;
  Fill(eight, 0.45, G, 0.0001);
  ExpectFailed(G);
  // A thin shape: smaller side below 2 (r - margin).
  Hileras thin;
  thin.Add(MakeRow({{0, 0}, {0, 0.5}, {10, 0.5}, {10, 0}, {0, 0}}).release());
  Lattice H;
  Fill(thin, 0.45, H, 0.0001);
  ExpectFailed(H);
  // Huge coordinates and a tiny radius relative to them: refused or bounded.
  Hileras huge;
  huge.Add(SquareRow(1e12, 1e12, 1e6, true).release());
  Lattice U;
  Fill(huge, 0.45, U, 0.0001);
  EXPECT_EQ(U.n1 + U.n2, 0u);
}

TEST(ShapeLattice, GivenOriginAndDisc) {
  Hileras sq;
  sq.Add(SquareRow(0, 0, 10, true).release());
  Lattice L;
  Fill(sq, 0.5, L, 0.0001, 5.0, 5.0);
  ASSERT_EQ(L.ok, 1);
  ASSERT_GT(L.n1, 0u);
  // Every point lies on the lattice through the given origin, on both sides.
  double minx = 1e9;
  for (uint32_t i = 0; i < L.n1; ++i) {
    double kx = (L.p1[i][0] - 5.0) / 0.5;
    EXPECT_NEAR(kx, std::round(kx), 1e-9);
    minx = std::min(minx, L.p1[i][0]);
  }
  EXPECT_LT(minx, 1.0);
  // A disc of radius 5 (a 64-gon) holds about area / cell area points.
  Hileras disc;
  auto row = std::make_unique<Hilera>();
  for (int k = 0; k <= 64; ++k) {
    double a = -2 * M_PI * (k % 64) / 64;
    row->AddPoint(5 * std::cos(a), 5 * std::sin(a));
  }
  disc.Add(row.release());
  Lattice D;
  Fill(disc, 0.25, D, 0.0001);
  ASSERT_EQ(D.ok, 1);
  double cell = 2 * 0.25 * 1.73205080756888 * 0.25;
  double expect = M_PI * 25 * std::cos(M_PI / 64) / cell;
  EXPECT_NEAR(D.n1, expect, 0.05 * expect);
  for (uint32_t i = 0; i < D.n1; ++i)
    EXPECT_LE(std::hypot(D.p1[i][0], D.p1[i][1]), 5 + 1e-9);
}

TEST(ShapeLattice, RandomOutlinesNeverCrash) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-5, 5);
  Hileras withEmpty;
  withEmpty.Add(new Hilera());
  Lattice E;
  Fill(withEmpty, 0.3, E, 0.0001);
  ExpectFailed(E);
  int built = 0;
  for (int trial = 0; trial < 150; ++trial) {
    Hileras h;
    int rings = 1 + trial % 3;
    for (int k = 0; k < rings; ++k) {
      auto row = std::make_unique<Hilera>();
      int n = 3 + static_cast<int>(rng() % 10);
      bool star = trial % 3 != 0;
      for (int i = 0; i < n; ++i) {
        // Star outlines are simple; free points often cross. Snapped
        // coordinates make collinear and coincident vertices common.
        double a = 2 * M_PI * i / n, rad = 1 + std::fabs(u(rng)) / (k + 1);
        double x = star ? 15 * k + rad * std::cos(a) : u(rng);
        double y = star ? rad * std::sin(a) : u(rng);
        if (trial % 2) {
          x = std::round(x * 2) / 2;
          y = std::round(y * 2) / 2;
        }
        row->AddPoint(x, y);
      }
      row->AddPoint(row->Get(0)->x(), row->Get(0)->y());
      h.Add(row.release());
    }
    Lattice L;
    Fill(h, 0.1 + 0.4 * (trial % 5) / 4.0, L, trial % 4 == 0 ? 0.0 : 0.05);
    if (L.ok == 0) ExpectFailed(L);
    else ++built;
    EXPECT_LE(L.n1 + L.n2, 20000u);
  }
  EXPECT_GT(built, 10);
}

namespace {

// Winding number of a closed row around (x, y), counter-clockwise positive.
int Winding(const std::vector<std::pair<double, double>>& ring, double x, double y) {
  int w = 0;
  for (size_t k = 0; k + 1 < ring.size(); ++k) {
    auto [ax, ay] = ring[k];
    auto [bx, by] = ring[k + 1];
    double side = (bx - ax) * (y - ay) - (x - ax) * (by - ay);
    if (ay <= y) {
      if (by > y && side > 0) ++w;
    } else if (by <= y && side < 0) {
      --w;
    }
  }
  return w;
}

double RingDistance(const std::vector<std::pair<double, double>>& ring, double x, double y) {
  double best = 1e300;
  for (size_t k = 0; k + 1 < ring.size(); ++k) {
    auto [ax, ay] = ring[k];
    auto [bx, by] = ring[k + 1];
    double dx = bx - ax, dy = by - ay;
    double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
  }
  return best;
}

std::unique_ptr<Hilera> RowOf(const std::vector<std::pair<double, double>>& pts) {
  auto row = std::make_unique<Hilera>();
  for (auto [x, y] : pts) row->AddPoint(x, y);
  return row;
}

}  // namespace

TEST(ShapeLattice, HolesOnOrNearTheOutlineKeepTheirShapeFromEveryStartVertex) {
  // A 60 x 60 square with a diamond hole whose lowest vertex lies on the
  // bottom edge (or 0.0001 above it, within twice the margin), listed from
  // each of its vertices. The answer is the hole-free square's lattice less
  // every point inside the hole or within the margin of it.
  const std::vector<std::pair<double, double>> outer = {{0, 0}, {0, 60}, {60, 60}, {60, 0}, {0, 0}};
  const double r = 0.45, margin = 0.0001;
  Hileras plain;
  plain.Add(RowOf(outer).release());
  Lattice P;
  Fill(plain, r, P, margin);
  ASSERT_EQ(P.ok, 1);
  for (double lift : {0.0, 0.0001}) {
    std::vector<std::pair<double, double>> diamond = {
        {30, lift}, {40, 10}, {30, 20}, {20, 10}};  // counter-clockwise: a hole
    for (size_t start = 0; start < diamond.size(); ++start) {
      std::vector<std::pair<double, double>> hole;
      for (size_t k = 0; k <= diamond.size(); ++k) hole.push_back(diamond[(start + k) % 4]);
      Hileras h;
      h.Add(RowOf(outer).release());
      h.Add(RowOf(hole).release());
      Lattice L;
      Fill(h, r, L, margin);
      ASSERT_EQ(L.ok, 1) << lift << " " << start;
      for (int layer = 0; layer < 2; ++layer) {
        const uint32_t n = layer ? L.n2 : L.n1, pn = layer ? P.n2 : P.n1;
        double** pts = layer ? L.p2 : L.p1;
        double** ref = layer ? P.p2 : P.p1;
        std::set<std::pair<double, double>> got;
        for (uint32_t i = 0; i < n; ++i) {
          const double x = pts[i][0], y = pts[i][1];
          EXPECT_NE(Winding(outer, x, y), 0) << x << " " << y;
          EXPECT_EQ(Winding(hole, x, y), 0) << x << " " << y;
          EXPECT_GT(RingDistance(hole, x, y), margin - 1e-6) << x << " " << y;
          got.insert({x, y});
        }
        uint32_t expected = 0;
        for (uint32_t i = 0; i < pn; ++i) {
          const double x = ref[i][0], y = ref[i][1];
          if (Winding(hole, x, y) != 0 || RingDistance(hole, x, y) < margin + 1e-6) continue;
          ++expected;
          EXPECT_EQ(got.count({x, y}), 1u) << "lost " << x << " " << y;
        }
        EXPECT_EQ(n, expected) << lift << " " << start << " layer " << layer;
      }
    }
  }
}

TEST(ShapeLattice, EachRefusalSaysWhy) {
  using S = ShapeLatticeStatus;
  const std::vector<std::pair<double, double>> sq = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};
  const std::vector<std::pair<double, double>> inner = {{3, 3}, {3, 6}, {6, 6}, {6, 3}, {3, 3}};
  const std::vector<std::pair<double, double>> shifted = {{5, 5}, {5, 15}, {15, 15}, {15, 5}, {5, 5}};
  struct Case {
    const char* label;
    std::vector<std::vector<std::pair<double, double>>> rows;
    double r;
    S want;
  };
  const std::vector<Case> cases = {
      {"square", {sq}, 0.45, S::kBuilt},
      {"no radius", {sq}, 0.0, S::kBadRadius},
      {"no outline", {}, 0.45, S::kNoOutline},
      {"open", {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}}, 0.45, S::kNotClosed},
      {"figure eight", {{{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}}, 0.45, S::kSelfCrossing},
      {"crossing outlines", {sq, shifted}, 0.45, S::kOverlapping},
      {"drawn twice", {sq, sq}, 0.45, S::kOverlapping},
      {"nested", {sq, inner}, 0.45, S::kNested},
      {"too small", {sq}, 6.0, S::kTooSmall},
      {"too large", {sq}, 1e-3, S::kTooLarge},
  };
  for (const Case& c : cases) {
    Hileras h;
    for (const auto& row : c.rows) h.Add(RowOf(row).release());
    S got = S::kBadRadius;
    uint32_t n1 = 0, n2 = 0;
    double** p1 = nullptr;
    double** p2 = nullptr;
    const uint8_t ok = BuildRegionsFromChains(h, c.r, n1, p1, n2, p2, 0.0001, fillgeo::kUnset, fillgeo::kUnset, &got);
    EXPECT_EQ(got, c.want) << c.label << ": " << ShapeLatticeStatusText(got);
    EXPECT_EQ(ok != 0, c.want == S::kBuilt) << c.label;
    for (uint32_t i = 0; i < n1; ++i) delete[] p1[i];
    for (uint32_t i = 0; i < n2; ++i) delete[] p2[i];
    delete[] p1;
    delete[] p2;
  }
}
