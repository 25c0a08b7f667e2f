#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "mesher/cube_tables.h"

using namespace cube_tables;

namespace {

bool In(uint32_t mask, int c) { return (mask >> c) & 1u; }

int EdgeOf(int a, int b) {
  for (int e = 0; e < 12; ++e)
    if ((kEdgeCorners[e][0] == a && kEdgeCorners[e][1] == b) || (kEdgeCorners[e][0] == b && kEdgeCorners[e][1] == a))
      return e;
  return -1;
}

// Corners of face f in cyclic order.
std::vector<int> Cycle(int f) {
  std::vector<int> c;
  for (int k = 0; k < 8; ++k)
    if (kFaceMask[f] & (1u << k)) c.push_back(k);
  for (int i = 1; i < 4; ++i)
    for (int j = i; j < 4; ++j)
      if (EdgeOf(c[size_t(i) - 1], c[size_t(j)]) >= 0) {
        std::swap(c[size_t(i)], c[size_t(j)]);
        break;
      }
  return c;
}

using Side = std::pair<int, int>;
Side MakeSide(int a, int b) { return {std::min(a, b), std::max(a, b)}; }

// Sides of a row used by exactly one triangle: the patch boundary.
std::set<Side> Boundary(const int8_t* row) {
  std::map<Side, int> uses;
  for (int t = 0; row[t] != 12; t += 3)
    for (int s = 0; s < 3; ++s) ++uses[MakeSide(row[t + s], row[t + (s + 1) % 3])];
  std::set<Side> b;
  for (auto& u : uses)
    if (u.second == 1) b.insert(u.first);
  return b;
}

// What the faces of a cube demand of its patch boundary.
std::set<Side> Expected(uint32_t mask, uint32_t joined) {
  std::set<Side> want;
  for (int f = 0; f < 6; ++f) {
    std::vector<int> c = Cycle(f);
    int nIn = 0;
    for (int k : c) nIn += In(mask, k);
    if (nIn == 0 || nIn == 4) continue;
    std::vector<int> cross;
    for (int i = 0; i < 4; ++i)
      if (In(mask, c[size_t(i)]) != In(mask, c[size_t(i + 1) % 4])) cross.push_back(EdgeOf(c[size_t(i)], c[size_t(i + 1) % 4]));
    if (cross.size() == 2) {
      want.insert(MakeSide(cross[0], cross[1]));
      continue;
    }
    bool join = (joined >> f) & 1u;
    for (int i = 0; i < 4; ++i) {
      int k = c[size_t(i)];
      if (In(mask, k) == join) continue;  // cut off the corners of the other kind
      want.insert(MakeSide(EdgeOf(c[size_t(i + 3) % 4], k), EdgeOf(k, c[size_t(i + 1) % 4])));
    }
  }
  return want;
}

}  // namespace

TEST(CubeTables, TriangleTableProperties) {
  int perCount[6] = {};
  for (uint32_t m = 0; m < 256; ++m) {
    const int8_t* row = kTriangleTable[m];
    int n = 0;
    while (n < 5 && row[3 * n] != 12) ++n;
    for (int t = 3 * n; t < 15; ++t) EXPECT_EQ(row[t], 12) << m;
    ++perCount[n];
    std::set<int> named;
    for (int t = 0; t < 3 * n; ++t) {
      int e = row[t];
      named.insert(e);
      EXPECT_NE(In(m, kEdgeCorners[e][0]), In(m, kEdgeCorners[e][1])) << "mask " << m << " edge " << e;
    }
    for (int e = 0; e < 12; ++e) {
      if (In(m, kEdgeCorners[e][0]) != In(m, kEdgeCorners[e][1])) {
        EXPECT_TRUE(named.count(e)) << m;
      }
    }
    // Row 255 - m is row m with every triangle reversed.
    const int8_t* inv = kTriangleTable[255 - m];
    for (int t = 0; t < 3 * n; t += 3) {
      EXPECT_EQ(inv[t], row[t + 2]);
      EXPECT_EQ(inv[t + 1], row[t + 1]);
      EXPECT_EQ(inv[t + 2], row[t]);
    }
  }
  EXPECT_EQ(perCount[0], 2);
  EXPECT_EQ(perCount[1], 16);
  EXPECT_EQ(perCount[2], 62);
  EXPECT_EQ(perCount[3], 112);
  EXPECT_EQ(perCount[4], 64);
  EXPECT_EQ(perCount[5], 0);
  // Mask 165: four separate triangles.
  EXPECT_EQ(Boundary(kTriangleTable[165]).size(), 12u);
}

TEST(CubeTables, OutwardWinding) {
  // The right-hand normal of each triangle (edge midpoints) points from the
  // inside corners to the outside ones; in a few rows of saddle cubes it
  // stands edge-on where every other choice would draw a side that the
  // cube across a face draws too.
  auto mid = [](int e, int axis) {
    return 0.5 * (kCornerOffset[kEdgeCorners[e][0]][axis] + kCornerOffset[kEdgeCorners[e][1]][axis]);
  };
  for (uint32_t m = 1; m < 255; ++m)
    for (uint32_t joined = 0; joined < 64; ++joined) {
      if (joined & ~AmbiguousFaces(m)) continue;
      const int8_t* row = ResolvedRow(m, joined);
      for (int t = 0; row[t] != 12; t += 3) {
        double p[3][3];
        for (int s = 0; s < 3; ++s)
          for (int a = 0; a < 3; ++a) p[s][a] = mid(row[t + s], a);
        double u[3], v[3];
        for (int a = 0; a < 3; ++a) {
          u[a] = p[1][a] - p[0][a];
          v[a] = p[2][a] - p[0][a];
        }
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        // Sum over the triangle's edges of (outside - inside corner).
        double dot = 0;
        for (int s = 0; s < 3; ++s) {
          int e = row[t + s];
          int a = kEdgeCorners[e][0], b = kEdgeCorners[e][1];
          int o = In(m, a) ? b : a, q = In(m, a) ? a : b;
          for (int ax = 0; ax < 3; ++ax) dot += n[ax] * (kCornerOffset[o][ax] - kCornerOffset[q][ax]);
        }
        EXPECT_GE(dot, 0.0) << "mask " << m << " joined " << joined << " tri " << t / 3;
      }
    }
}

TEST(CubeTables, ResolvedRowsMatchFaceDecisions) {
  // Whatever the decision on each ambiguous face, the patch boundary of the
  // row is exactly the segments the faces demand, so two cubes that decide
  // a shared face alike meet without a crack.
  for (uint32_t m = 0; m < 256; ++m) {
    const uint32_t amb = AmbiguousFaces(m);
    for (uint32_t joined = 0; joined < 64; ++joined) {
      if (joined & ~amb) continue;
      EXPECT_EQ(Boundary(ResolvedRow(m, joined)), Expected(m, joined)) << "mask " << m << " joined " << joined;
    }
    // The table row itself where it agrees.
    if (amb == 0) {
      EXPECT_EQ(ResolvedRow(m, 0), ResolvedRow(m, 0));
      for (int t = 0; t < 15; ++t) EXPECT_EQ(ResolvedRow(m, 0)[t], kTriangleTable[m][t]);
    }
  }
  EXPECT_EQ(AmbiguousFaces(165), 63u);
  EXPECT_EQ(AmbiguousFaces(1), 0u);
  EXPECT_EQ(AmbiguousFaces(5), 2u);  // corners 0 and 2 lie diagonally on face 1
}

TEST(CubeTables, NeighboursNeverBothDrawASideAcrossTheirFace) {
  // A side between two crossings on one cube face that is not a segment of
  // that face is drawn inside the cube; when the cube across the face draws
  // it too, the edge gets four triangles. Over every row either cube may
  // use, the sides that the lower cube draws across its +x, +y or +z face
  // and the upper one across its -x, -y or -z face never meet, for any
  // state of the shared face.
  struct Key {
    uint32_t corners, joined;  // the face's inside corners, its decision (lower cube's numbering)
    Side side;                 // as two edges of the lower cube
    bool operator<(const Key& o) const {
      return std::tie(corners, joined, side) < std::tie(o.corners, o.joined, o.side);
    }
  };
  const int opposite[6] = {5, 3, 4, 1, 2, 0};
  for (int f : {3, 4, 5}) {
    const int g = opposite[f];
    int toLower[8];  // corner of the upper cube -> the same point's corner of the lower one
    for (const auto& pr : kFaceShared[g]) toLower[pr[1]] = pr[0];
    std::set<Key> sides[2];
    for (int which = 0; which < 2; ++which) {
      const int face = which == 0 ? f : g;
      auto corner = [&](int c) { return which == 0 ? c : toLower[c]; };
      for (uint32_t m = 1; m < 255; ++m)
        for (uint32_t joined = 0; joined < 64; ++joined) {
          if (joined & ~AmbiguousFaces(m)) continue;
          const std::set<Side> segments = Expected(m, joined);
          const int8_t* row = ResolvedRow(m, joined);
          uint32_t faceCorners = 0;
          for (int c = 0; c < 8; ++c)
            if ((kFaceMask[face] >> c & 1u) && In(m, c)) faceCorners |= 1u << corner(c);
          for (int t = 0; row[t] != 12; t += 3)
            for (int s = 0; s < 3; ++s) {
              const int a = row[t + s], b = row[t + (s + 1) % 3];
              const uint32_t ends = (1u << kEdgeCorners[a][0]) | (1u << kEdgeCorners[a][1]) |
                                    (1u << kEdgeCorners[b][0]) | (1u << kEdgeCorners[b][1]);
              if ((ends & ~kFaceMask[face]) || segments.count(MakeSide(a, b))) continue;
              const Side lower = MakeSide(EdgeOf(corner(kEdgeCorners[a][0]), corner(kEdgeCorners[a][1])),
                                          EdgeOf(corner(kEdgeCorners[b][0]), corner(kEdgeCorners[b][1])));
              sides[which].insert(Key{faceCorners, (joined >> face) & 1u, lower});
            }
        }
    }
    for (const Key& k : sides[0]) EXPECT_EQ(sides[1].count(k), 0u) << "face " << f << " corners " << k.corners;
  }
}
