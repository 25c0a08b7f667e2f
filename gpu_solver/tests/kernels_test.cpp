// The kernel bodies run here as plain host functions over small arrays.
#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "gpu_solver/particles_kernel.h"

using namespace vorel_gpu;

namespace {

SimParams Params(float r, uint32_t n) {
  SimParams p;
  std::memset(&p, 0, sizeof p);
  p.particleRadius = p.h = r;
  for (int a = 0; a < 3; ++a) {
    p.gridSize[a] = kGridSide;
    p.cellSize[a] = 1.99f * r;
    p.killMin[a] = -kUnboundedBox;
    p.killMax[a] = kUnboundedBox;
  }
  p.numCells = kNumCells;
  p.numParticles = p.capacity = n;
  p.restDensity = 1000.0f;
  p.mass = 1000.0f * r * r * r;
  p.ppuv = 1.0f / (r * r * r);
  p.selfDensity = p.mass * 8.0f / (kFourPi * r * r * r);
  p.viscosity = 5.0f;
  p.collisionStrength = 1.0f;
  p.bounce = 1.0f;
  return p;
}

// Hash, sort, cell starts, cell-ordered copies and density, as one step does.
struct Grid {
  SimParams p;
  std::vector<F4> pos, vel, sPos, sVel, acc;
  std::vector<KeyValuePair> hash;
  std::vector<uint32_t> cellStart;
  std::vector<float> rho, ts;

  Grid(const SimParams& params, std::vector<F4> positions, std::vector<F4> velocities = {})
      : p(params), pos(std::move(positions)), vel(std::move(velocities)) {
    const uint32_t n = uint32_t(pos.size());
    p.numParticles = n;
    if (vel.empty()) vel.assign(n, F4{0, 0, 0, 0});
    hash.resize(n);
    for (uint32_t i = 0; i < n; ++i) CalcHash{p, pos.data(), hash.data()}(i);
    std::stable_sort(hash.begin(), hash.end(), [](auto a, auto b) { return a.key < b.key; });
    cellStart.assign(kNumCells + 1, kEmptyCell);
    sPos.assign(n, F4{0, 0, 0, 0});
    sVel = sPos;
    acc = sPos;
    rho.assign(n, 0.0f);
    ts.assign(n, kFirstTimeStep);
    for (uint32_t i = 0; i < n; ++i)
      ReorderDataAndFindCellStart{p, hash.data(), pos.data(), vel.data(), sPos.data(), sVel.data(), cellStart.data()}(i);
    for (uint32_t i = 0; i < n; ++i) ComputeDensity{p, rho.data(), sPos.data(), hash.data(), cellStart.data()}(i);
  }
  void Collide() {
    for (uint32_t i = 0; i < p.numParticles; ++i)
      CollideParts{p, acc.data(), rho.data(), ts.data(), sPos.data(), sVel.data(), hash.data(), cellStart.data()}(i);
  }
  // Density of slot k.
  float Density(uint32_t k) const {
    for (size_t i = 0; i < hash.size(); ++i)
      if (hash[i].value == k) return rho[i];
    return -1;
  }
  float TimeStepOf(uint32_t k) const {
    for (size_t i = 0; i < hash.size(); ++i)
      if (hash[i].value == k) return ts[i];
    return -1;
  }
};

}  // namespace

TEST(Kernels, CellHashShiftsMirrorsAndWraps) {
  const float cs = 0.199f;
  EXPECT_EQ(CellCoord(-133.0f, cs, 128), 0u);
  EXPECT_EQ(CellCoord(-133.0f - 1.5f * cs, cs, 128), 2u);  // floor -2, mirrored
  EXPECT_EQ(CellCoord(-133.0f + 128.5f * cs, cs, 128), 0u);
  EXPECT_EQ(CellCoord(-1e6f, cs, 128), CellCoord(-1e6f, cs, 128));  // far away stays defined
  // A NaN position lands in cell 0 instead of an undefined conversion.
  EXPECT_EQ(CellCoord(std::nanf(""), cs, 128), 0u);
  EXPECT_LT(CellCoord(3e38f, cs, 128), 128u);
  EXPECT_LT(CellCoord(-3e38f, cs, 128), 128u);
  SimParams p = Params(0.1f, 2);
  p.killMax[1] = 5.0f;
  std::vector<F4> pos = {{0, 0, 0, 0}, {0, 6, 0, 0}};
  std::vector<KeyValuePair> h(3, KeyValuePair{7, 7});
  for (uint32_t i = 0; i < 3; ++i) CalcHash{p, pos.data(), h.data()}(i);
  const uint32_t c = uint32_t(133.0f / (1.99f * 0.1f)) % 128;
  EXPECT_EQ(h[0].key, (c * 128 + c) * 128 + c);
  EXPECT_EQ(h[1].key, kNumCells);  // outside the kill box
  EXPECT_EQ(h[2].key, kNumCells);  // beyond the live count
  EXPECT_EQ(h[2].value, 2u);
}

TEST(Kernels, DensityOfIsolatedAndPairedParticles) {
  const float r = 0.05f;
  Grid lone(Params(r, 1), {{0.3f, 0.3f, 0.3f, 0}});
  EXPECT_NEAR(lone.rho[0], 8000.0f / 12.566371f, 0.01f);
  Grid pair(Params(r, 2), {{0.3f, 0.3f, 0.3f, 0}, {0.3f + r, 0.3f, 0.3f, 0}});
  EXPECT_NEAR(pair.Density(0), 636.62f + 79.58f, 0.05f);
  // Coincident particles add no density to each other.
  Grid same(Params(r, 2), {{0.3f, 0.3f, 0.3f, 0}, {0.3f, 0.3f, 0.3f, 0}});
  EXPECT_NEAR(same.rho[0], 636.62f, 0.01f);
  EXPECT_NEAR(same.rho[1], 636.62f, 0.01f);
}

TEST(Kernels, DensityMatchesBruteForce) {
  const float r = 0.1f;
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<F4> pos;
  for (int i = 0; i < 400; ++i) pos.push_back(F4{u(rng), u(rng), u(rng), 0});
  SimParams p = Params(r, uint32_t(pos.size()));
  Grid g(p, pos);
  for (uint32_t k = 0; k < pos.size(); ++k) {
    double want = p.selfDensity;
    for (uint32_t j = 0; j < pos.size(); ++j) {
      const F4 e = pos[j] - pos[k];
      const double d = std::sqrt(double(Dot4(e, e)));
      // Pairs just under 2h can sit two cells apart (cells are 1.99h): their
      // weight is tiny, so they are covered by the tolerance.
      if (j != k && d > 1e-8 && d < 2 * r) want += p.mass * 0.07958 * std::pow((2 - d / r) / r, 3);
    }
    ASSERT_NEAR(g.Density(k), want, 1e-3 * want) << k;
  }
}

TEST(Kernels, NeighbourRunsEndAtTheLiveCount) {
  // Two particles in one cell; a stale sort entry of the same cell follows
  // the live entries and must not be visited.
  const float r = 0.1f;
  SimParams p = Params(r, 2);
  std::vector<F4> pos = {{0.3f, 0.3f, 0.3f, 0}, {0.3f + r, 0.3f, 0.3f, 0}, {0.3f, 0.3f + 0.5f * r, 0.3f, 0}};
  Grid g(p, {pos[0], pos[1]});
  std::vector<KeyValuePair> hash = g.hash;
  hash.push_back(KeyValuePair{hash[1].key, 1});
  std::vector<F4> sPos = g.sPos;
  sPos.push_back(pos[2]);
  std::vector<float> rho(3, 0.0f);
  for (uint32_t i = 0; i < 2; ++i) ComputeDensity{p, rho.data(), sPos.data(), hash.data(), g.cellStart.data()}(i);
  EXPECT_EQ(rho[0], g.rho[0]);
  EXPECT_EQ(rho[1], g.rho[1]);
}

TEST(Kernels, PairForcesAndTimeStepLimits) {
  const float r = 0.1f, d = 0.15f;
  SimParams p = Params(r, 2);
  p.viscosity = 0.0f;
  // The limit takes pairs with r_ij . v_ij > 0 (moving apart), at relative
  // speed 200 here.
  Grid out(p, {{0.5f, 0.5f, 0.5f, 0}, {0.5f + d, 0.5f, 0.5f, 0}}, {{-100, 0, 0, 0}, {100, 0, 0, 0}});
  out.Collide();
  EXPECT_NEAR(out.TimeStepOf(0), 0.125f * d / 200.0f, 1e-8f);
  EXPECT_NEAR(out.TimeStepOf(1), 0.125f * d / 200.0f, 1e-8f);
  // Approaching pairs get no limit, and the artificial viscosity pushes
  // them apart equally and oppositely.
  Grid in(p, {{0.5f, 0.5f, 0.5f, 0}, {0.5f + d, 0.5f, 0.5f, 0}}, {{100, 0, 0, 0}, {-100, 0, 0, 0}});
  in.Collide();
  EXPECT_EQ(in.TimeStepOf(0), kFirstTimeStep);
  const F4 a0 = in.acc[0], a1 = in.acc[1];
  EXPECT_NEAR(a0.x, -a1.x, 1e-4f * std::fabs(a0.x));
  EXPECT_EQ(a0.y, 0.0f);
  // At rest the pair adds no force, but cohesion still pulls by viscosity.
  p.viscosity = 5.0f;
  Grid rest(p, {{0.5f, 0.5f, 0.5f, 0}, {0.5f + d, 0.5f, 0.5f, 0}});
  rest.Collide();
  const float pull = 5.0f * 0.01f * std::sqrt(p.ppuv) * d;
  EXPECT_NEAR(rest.acc[0].x, pull, 1e-4f);
  EXPECT_NEAR(rest.acc[1].x, -pull, 1e-4f);
}

TEST(Kernels, IntegrateParksKilledParticlesAndStartsNewOnes) {
  SimParams p = Params(0.1f, 3);
  p.gravity[1] = -10.0f;
  p.emittedThisStep = 1;
  std::vector<F4> pos = {{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}};
  std::vector<F4> oldVel = {{0, 0, 0, 0}, {1, 1, 1, kKillMarker}, {0, 0, 0, 0}};
  std::vector<F4> newVel(3);
  std::vector<float> ts = {0.001f, 0.5f, 0.0005f};
  for (uint32_t i = 0; i < 3; ++i) Integrate{p, newVel.data(), pos.data(), oldVel.data(), ts.data(), nullptr}(i);
  EXPECT_NEAR(newVel[0].y, -0.01f, 1e-7f);
  EXPECT_NEAR(pos[0].y, 2.0f - 0.001f * 0.01f, 1e-6f);
  EXPECT_EQ(pos[1].x, kParkedX);
  EXPECT_EQ(pos[1].y, 2.0f);
  EXPECT_EQ(newVel[1].x, 0.0f);
  EXPECT_EQ(newVel[1].w, 0.0f);
  EXPECT_NEAR(newVel[2].y, -0.005f, 1e-7f);  // the newcomer uses its own time
}

namespace {
// A floor triangle in the y = 0 plane covering x, z in [0, 4].
std::vector<F4> Floor(float y0 = 0.0f, float speed = 0.0f) {
  return {{0, y0, 0, speed}, {0, y0, 8, 0}, {8, y0, 0, 0}};
}
}  // namespace

TEST(Kernels, AStepThroughAColliderFaceEndsOnItsOwnSide) {
  SimParams p = Params(0.1f, 3);
  p.numFaces = 1;
  p.numVerts = 3;
  const std::vector<F4> floor = Floor();
  // Falling onto the floor, beside it, and at rest on it.
  std::vector<F4> pos = {{1, 0.01f, 1, 0}, {9, 0.01f, 9, 0}, {1, 0.01f, 1, 0}};
  std::vector<F4> oldVel = {{1, -30, 0, 0}, {0, -30, 0, 0}, {0, 0, 0, 0}};
  std::vector<F4> newVel(3);
  std::vector<float> ts = {0.001f, 0.001f, 0.001f};
  for (uint32_t i = 0; i < 3; ++i) Integrate{p, newVel.data(), pos.data(), oldVel.data(), ts.data(), floor.data()}(i);
  EXPECT_NEAR(pos[0].y, 0.02f, 1e-6f);
  EXPECT_FLOAT_EQ(pos[0].x, 1.001f);
  EXPECT_FLOAT_EQ(newVel[0].y, 30.0f);
  EXPECT_FLOAT_EQ(newVel[0].x, 1.0f);
  EXPECT_NEAR(pos[1].y, -0.02f, 1e-6f);
  EXPECT_FLOAT_EQ(newVel[1].y, -30.0f);
  EXPECT_FLOAT_EQ(pos[2].y, 0.01f);
  // A step that ends on the plane (all exact in binary).
  std::vector<F4> onto = {{1, 0.0078125f, 1, 0}}, ontoVel = {{0, -8, 0, 0}}, ontoNew(1);
  std::vector<float> ontoTs = {0.0009765625f};
  Integrate{p, ontoNew.data(), onto.data(), ontoVel.data(), ontoTs.data(), floor.data()}(0);
  EXPECT_GT(onto[0].y, 0.0f);
  EXPECT_FLOAT_EQ(ontoNew[0].y, 8.0f);
}

TEST(Kernels, ColliderPushesAndLimitsTheStep) {
  const float r = 0.1f;
  SimParams p = Params(r, 1);
  p.numFaces = 1;
  p.numVerts = 3;
  std::vector<F4> verts = Floor();
  Grid g(p, {{1.0f, 0.05f, 1.0f, 0}}, {{0, -200, 0, 0}});
  CollideObjects{p, g.acc.data(), g.ts.data(), g.sPos.data(), g.sVel.data(), verts.data(), g.hash.data(), nullptr}(0);
  const float c = 1.0f - 0.5f;
  const float push = 1.855f * 3.0f * p.mass * c * c * c / (kFourPi * r * r * r * r);
  EXPECT_NEAR(std::fabs(g.acc[0].y), push, 1e-3f * push);
  EXPECT_GT(g.acc[0].y * 0.05f, 0.0f);  // away from the wall, on the particle's side
  EXPECT_NEAR(g.ts[0], 0.125f * 0.05f / 200.0f, 1e-8f);
  // Degenerate triangles and far particles are left alone.
  std::vector<F4> flat = {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}};
  Grid h(p, {{1.0f, 0.05f, 1.0f, 0}}, {{0, -2, 0, 0}});
  CollideObjects{p, h.acc.data(), h.ts.data(), h.sPos.data(), h.sVel.data(), flat.data(), h.hash.data(), nullptr}(0);
  EXPECT_EQ(h.acc[0].y, 0.0f);
  EXPECT_EQ(h.ts[0], kFirstTimeStep);
}

// Over a convex fold or pole no face lies under the particle, round a pole
// every face reaches it, and on a floor's seam both halves do: each must push
// as one flat face at the same distance, and a flat seam nearby not at all.
TEST(Kernels, FoldsPolesAndSeamsPushAsOneFlatFace) {
  const float r = 0.1f, h0 = 0.05f;
  SimParams p = Params(r, 1);
  auto pushOf = [&](const std::vector<F4>& verts, F4 at) {
    p.numFaces = int32_t(verts.size() / 3);
    p.numVerts = p.numFaces * 3;
    Grid g(p, {at});
    CollideObjects{p, g.acc.data(), g.ts.data(), g.sPos.data(), g.sVel.data(), verts.data(), g.hash.data(), nullptr}(0);
    return g.acc[0];
  };
  const float flat = pushOf(Floor(), F4{1.0f, h0, 1.0f, 0}).y;
  ASSERT_GT(flat, 0.0f);
  // A pole of 16 faces sloping 10 degrees away, seen from just above it.
  std::vector<F4> pole;
  const float drop = std::tan(10.0f * float(M_PI) / 180.0f);
  for (int s = 0; s < 16; ++s) {
    const float a0 = 2.0f * float(M_PI) * s / 16, a1 = 2.0f * float(M_PI) * (s + 1) / 16;
    pole.push_back({0, 0, 0, 0});
    pole.push_back({std::cos(a1), -drop, std::sin(a1), 0});
    pole.push_back({std::cos(a0), -drop, std::sin(a0), 0});
  }
  F4 a = pushOf(pole, F4{0, h0, 0, 0});
  EXPECT_NEAR(a.y, flat, 1e-4f * flat);
  EXPECT_NEAR(a.x, 0.0f, 1e-4f * flat);
  // Just above the middle of one of its seams.
  const F4 mid = (pole[1] + pole[2]) * 0.5f;
  const float len = Length3(F4{mid.x, 0, mid.z, 0});
  const F4 out = Cross3(F4{-mid.z / len, 0, mid.x / len, 0}, mid - pole[0]);  // square to the seam, outward
  const F4 over = mid + out * (h0 / Length3(out)) * (out.y > 0 ? 1.0f : -1.0f);
  a = pushOf(pole, F4{over.x, over.y, over.z, 0});
  EXPECT_NEAR(Length3(a), flat, 1e-3f * flat);
  // A floor's two halves at their seam, and beside it.
  const std::vector<F4> floor2 = {{0, 0, 0, 0}, {0, 0, 4, 0}, {4, 0, 0, 0}, {4, 0, 0, 0}, {0, 0, 4, 0}, {4, 0, 4, 0}};
  a = pushOf(floor2, F4{2.0f, h0, 2.0f, 0});
  EXPECT_NEAR(a.y, flat, 1e-4f * flat);
  a = pushOf(floor2, F4{2.0f, 0.2f * h0, 2.06f, 0});
  EXPECT_EQ(a.x, 0.0f);
  EXPECT_EQ(a.z, 0.0f);
  // A floor of faces smaller than the reach: the nearer edges of the faces
  // around the one under the particle are no folds.
  std::vector<F4> fine;
  const float step = 0.06f;
  for (int x = 0; x < 8; ++x)
    for (int z = 0; z < 8; ++z) {
      const float x0 = x * step, z0 = z * step, x1 = x0 + step, z1 = z0 + step;
      for (F4 v : {F4{x0, 0, z0, 0}, F4{x0, 0, z1, 0}, F4{x1, 0, z0, 0}, F4{x1, 0, z0, 0}, F4{x0, 0, z1, 0},
                   F4{x1, 0, z1, 0}})
        fine.push_back(v);
    }
  a = pushOf(fine, F4{4.3f * step, 0.3f * h0, 4.6f * step, 0});
  const float flatLow = pushOf(Floor(), F4{1.0f, 0.3f * h0, 1.0f, 0}).y;
  EXPECT_NEAR(a.y, flatLow, 1e-4f * flatLow);
  EXPECT_EQ(a.x, 0.0f);
  EXPECT_EQ(a.z, 0.0f);
  // A floor's open edge still holds a particle just beyond it.
  a = pushOf(Floor(), F4{-0.5f * h0, 0.0f, 1.0f, 0});
  EXPECT_LT(a.x, 0.0f);
}

TEST(Kernels, InterpolatedVertsCarryTheirNormalSpeed) {
  std::vector<F4> origin = Floor(0.0f), end = Floor(0.2f), cur(3);
  InterpolateVerts{origin.data(), end.data(), cur.data(), 0.5f, 30}(0);
  EXPECT_FLOAT_EQ(cur[1].y, 0.1f);
  EXPECT_NEAR(cur[0].w, 30 * 0.2f, 1e-5f);
  EXPECT_EQ(cur[1].w, 0.0f);
  InterpolateVerts{origin.data(), origin.data(), cur.data(), 0.5f, 30}(0);
  EXPECT_EQ(cur[0].w, 0.0f);  // a static wall has no normal speed
}

TEST(Kernels, UpdateVelBouncesRubsAndMarks) {
  const float r = 0.1f;
  SimParams p = Params(r, 1);
  p.numFaces = 1;
  std::vector<F4> verts = Floor();
  std::vector<float> ts = {0.0f};  // no acceleration this test
  auto run = [&](const SimParams& q, KeyValuePair h) {
    std::vector<F4> sPos = {{1.0f, 0.1f, 1.0f, 0}}, sVel = {{1, -2, 0, 0}}, nv = {{0, 0, 0, 0}};
    UpdateVel{q, nv.data(), ts.data(), sPos.data(), sVel.data(), &h, verts.data(), nullptr}(0);
    return nv[0];
  };
  const KeyValuePair in{5, 0};
  F4 v = run(p, in);  // bounce 1, friction 0: untouched
  EXPECT_EQ(v.y, -2.0f);
  p.bounce = 0.25f;
  v = run(p, in);
  EXPECT_NEAR(v.y, -2.0f * 0.25f, 1e-6f);  // removes (1 - bounce) of the normal part
  EXPECT_NEAR(v.x, 1.0f, 1e-6f);
  p.bounce = 1.0f;
  p.friction = 100.0f;
  v = run(p, in);
  EXPECT_NEAR(v.x, 0.99f, 1e-6f);
  EXPECT_EQ(v.w, 0.0f);
  v = run(p, KeyValuePair{kNumCells, 0});
  EXPECT_EQ(v.w, kKillMarker);
}

// A lone drop on a floor, with nothing but gravity and the wall push, through
// the kernels in a step's order: the push gives back at most what the
// approach put in, so each rebound peaks lower than the one before, at both
// ends of the collision strength's range, dropped from low and from high.
TEST(Kernels, ALoneDropReboundsLowerEachTime) {
  SimParams p = Params(0.1f, 1);
  p.numFaces = 1;
  p.numVerts = 3;
  p.gravity[1] = -9.8f;
  const std::vector<F4> floor = Floor();
  const KeyValuePair hash{0, 0};
  for (float strength : {1.0f, 2.0f})
    for (float height : {0.5f, 5.0f}) {
      SCOPED_TRACE(testing::Message() << "strength " << strength << ", dropped from " << height);
      p.collisionStrength = strength;
      F4 pos{1.0f, height, 1.0f, 0}, vel{0, 0, 0, 0};
      float ts = kFirstTimeStep;
      std::vector<float> peaks = {height};
      for (int step = 0; step < 200000 && peaks.size() < 5; ++step) {
        F4 moved{0, 0, 0, 0}, acc{0, 0, 0, 0};
        Integrate{p, &moved, &pos, &vel, &ts, floor.data()}(0);
        float limit = kFirstTimeStep;
        PushSprings springs;
        CollideObjects{p, &acc, &limit, &pos, &moved, floor.data(), &hash, &springs}(0);
        ts = std::max(limit, kMinTimeStep);
        UpdateVel{p, &acc, &ts, &pos, &moved, &hash, floor.data(), &springs}(0);
        ASSERT_GT(pos.y, 0.0f);
        if (vel.y > 0.0f && moved.y <= 0.0f) peaks.push_back(pos.y);  // the top of a rebound
        vel = acc;
      }
      ASSERT_EQ(peaks.size(), 5u);
      for (size_t j = 1; j < peaks.size(); ++j) EXPECT_LT(peaks[j], peaks[j - 1]) << "rebound " << j;
    }
}
