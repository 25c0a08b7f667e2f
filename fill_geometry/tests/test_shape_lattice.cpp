// Shape outlines to two lattice layers.
#include <gtest/gtest.h>

#include <cmath>

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
