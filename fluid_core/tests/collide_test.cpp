// Collisions, adhesion, friction, bounce, integration and the domain kill.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "solver_test_util.h"

using solver_test::Floor;
using solver_test::MakeSolver;
using solver_test::Put;
using solver_test::Triangle;

namespace {
// A solver whose only collider is K, for one particle at a time.
FluidSolver* AloneWith(ColliderMesh* K) {
  FluidSolver* s = MakeSolver();
  s->AddSource(Vec3f());
  s->colliders.push_back(K);
  return s;
}
// The push on a particle of spacing 0.5 at rest at `at`, alone in s.
Vec3f PushAt(FluidSolver& s, const Vec3f& at) {
  s.count = 0;
  int a = Put(s, at, 0.5f);
  s.particles[a].accel = Vec3f();
  s.particles[a].dtLimit = 1e6f;
  s.CollideWithObjects();
  return s.particles[a].accel;
}
}  // namespace

TEST(Adhesion, KernelValueAndDefaultRadius) {
  Vec3f A = FluidSolver::AdhesionForce(Vec3f(0.1f, 0.0f, 0.0f), 0.2f, 0.1f);
  EXPECT_NEAR(A.x, -335.717f, 0.01f);
  EXPECT_EQ(A.y, 0.0f);
  Vec3f B = FluidSolver::AdhesionForce(Vec3f(0.1f, 0.0f, 0.0f), 0.0f, 0.1f);
  Vec3f C = FluidSolver::AdhesionForce(Vec3f(0.1f, 0.0f, 0.0f), 0.27f, 0.1f);
  EXPECT_EQ(B, C);
  Vec3f Z = FluidSolver::AdhesionForce(Vec3f(), 0.2f, 0.0f);
  EXPECT_TRUE(std::isfinite(Z.x));
}

TEST(FaceDistance, HitsOnlyAboveTheFaceAndWithinReach) {
  std::unique_ptr<ColliderMesh> t(Triangle(Vec3f(0, 0, 0), Vec3f(1, 0, 0), Vec3f(0, 1, 0)));
  float d;
  bool hit;
  Vec3f toPlane;
  FluidSolver::ColliderFaceDistance(*t, 0, Vec3f(0.2f, 0.2f, 0.1f), 0.2f, d, hit, toPlane);
  EXPECT_TRUE(hit);
  EXPECT_NEAR(d, 0.1f, 1e-6f);
  EXPECT_NEAR(toPlane.z, -0.1f, 1e-6f);
  FluidSolver::ColliderFaceDistance(*t, 0, Vec3f(0.8f, 0.8f, 0.1f), 0.2f, d, hit, toPlane);
  EXPECT_FALSE(hit);  // inside the box, foot outside the triangle
  FluidSolver::ColliderFaceDistance(*t, 0, Vec3f(0.2f, 0.2f, 0.3f), 0.2f, d, hit, toPlane);
  EXPECT_FALSE(hit);
  int face = 7;
  Vec3f foot(9, 9, 9);
  NearestFace(*t, Vec3f(5, 5, 1), face, foot);
  EXPECT_EQ(face, 0);
  EXPECT_EQ(foot, Vec3f());
  ASSERT_TRUE(FirstFaceWithin(*t, Vec3f(0.2f, 0.2f, -0.05f), 0.1f, face, foot));
  EXPECT_NEAR(foot.z, 0.0f, 1e-7f);
}

TEST(FaceDistance, LargeGroundPolygonStillHolds) {
  std::unique_ptr<ColliderMesh> g(Floor(0.0f, 100.0f));
  float d;
  bool hit;
  Vec3f toPlane;
  // Every point above the floor lies over one of its two triangles (over
  // both only on the diagonal), 0.05 above it, however far from the origin.
  for (int i = 0; i < 50; ++i) {
    Vec3f p(-97.3f + 3.9f * i, 61.7f - 2.3f * i, 0.05f);
    int hits = 0;
    for (int f = 0; f < 2; ++f) {
      FluidSolver::ColliderFaceDistance(*g, f, p, 0.2f, d, hit, toPlane);
      if (!hit) continue;
      ++hits;
      EXPECT_NEAR(d, 0.05f, 1e-4f) << i;
    }
    EXPECT_GE(hits, 1) << i;
    EXPECT_LE(hits, 2) << i;
  }
}

TEST(Collide, GapIsRaisedToTwoThirdsSpacingAndAdherenceZeroNeverSticks) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->AddSource(Vec3f());
  ColliderMesh* floor = Floor(0.0f, 10.0f, 1.0f);
  floor->collisionGap = 0.1f;
  floor->adherence = 0.0f;
  s->colliders.push_back(floor);
  int a = Put(*s, Vec3f(0.3f, 0.2f, 0.3f), 0.5f, Vec3f(0, 0, -1));
  s->particles[a].accel = Vec3f();
  s->particles[a].dtLimit = 1e6f;
  s->CollideWithObjects();
  const FluidParticle& p = s->particles[a];
  EXPECT_EQ(p.collided, 0);
  // gap 0.33: D = 0.3 + 0.66665 - 0.33 < R, so the particle is pushed up.
  EXPECT_GT(p.accel.z, 0.0f);
  EXPECT_LT(p.dtLimit, 1e6f);
  // The same particle with the collider's gap at 0.5 x 0.66 exactly is not pushed further.
  s->particles[a].accel = Vec3f();
  s->particles[a].pos.z = 0.9f;  // D = 0.9 + 0.6667 - 0.33 >= R
  s->CollideWithObjects();
  EXPECT_EQ(s->particles[a].accel, Vec3f());
}

TEST(Collide, PushGrowsFromZeroAtTheEdgeOfTheGapAndShortensTheStep) {
  // Spacing 0.5: R = 0.66665, gap 0.33. Without adherence the push is the
  // only force, and the particle is at rest.
  auto pushAt = [](float z, float& dtLimit) {
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    ColliderMesh* floor = Floor(0.0f, 10.0f, 1.0f);
    floor->adherence = 0.0f;
    s->colliders.push_back(floor);
    int a = Put(*s, Vec3f(0.3f, 0.2f, z), 0.5f);
    s->particles[a].accel = Vec3f();
    s->particles[a].dtLimit = 1e6f;
    s->CollideWithObjects();
    dtLimit = s->particles[a].dtLimit;
    return s->particles[a].accel;
  };
  float lim0, lim1, lim2;
  Vec3f edge = pushAt(0.3299f, lim0), mid = pushAt(0.2f, lim1), deep = pushAt(0.01f, lim2);
  // Continuous at the edge: no jump of the full kernel value there.
  EXPECT_NEAR(edge.z, 0.0f, 2.0f);
  EXPECT_EQ(edge.x, 0.0f);
  EXPECT_GT(mid.z, 50.0f);
  EXPECT_GT(deep.z, mid.z);  // stronger the deeper it sits
  // A particle at rest gets no limit from its approach speed, but the push
  // bounds its step: sqrt(2D / a) / 10.
  const float D = 0.2f + 1.3333f * 0.5f - 0.33f;
  EXPECT_NEAR(lim1, std::sqrt(2.0f * D / mid.z) / 10.0f, 1e-4f);
  EXPECT_LT(lim2, lim1);
}

TEST(Collide, GapBeyondTheReachPushesAsTheReachWithAFiniteStepLimit) {
  // Spacing 1/6 (LOD 6): R = 0.2222. The attribute allows gaps up to 5 (4 by
  // default); beyond R the distance term went negative, the push grew far
  // past its contact value and its step bound was the root of a negative
  // number. Approaching and resting particles, deep and shallow.
  const float s6 = 1.0f / 6.0f, R = FluidSolver::CollisionReach(s6);
  auto collide = [&](float gap, float z, float vz) {
    std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
    s->AddSource(Vec3f());
    ColliderMesh* floor = Floor(0.0f, 10.0f, 1.0f);
    floor->collisionGap = gap;
    s->colliders.push_back(floor);
    int a = Put(*s, Vec3f(0.3f, 0.2f, z), s6, Vec3f(0, 0, vz));
    s->particles[a].accel = Vec3f();
    s->particles[a].dtLimit = 1e6f;
    s->CollideWithObjects();
    EXPECT_GE(s->MaxStableStep(), 0.0f);
    EXPECT_EQ(s->badStepLimits, 0);
    return s->particles[a];
  };
  for (float z : {0.01f, 0.1f, 0.2f})
    for (float vz : {0.0f, -2.0f}) {
      const FluidParticle atReach = collide(R, z, vz);
      EXPECT_GT(atReach.accel.z, 0.0f) << z;
      for (float gap : {0.3f, 4.0f, 5.0f}) {
        const FluidParticle p = collide(gap, z, vz);
        EXPECT_EQ(p.accel, atReach.accel) << gap << " " << z << " " << vz;
        EXPECT_EQ(p.dtLimit, atReach.dtLimit) << gap << " " << z << " " << vz;
        EXPECT_TRUE(p.dtLimit > 0.0f && p.dtLimit < 1e6f) << gap << " " << z << " " << vz;
      }
    }
  EXPECT_FLOAT_EQ(FluidSolver::ContactGap(4.0f, s6), R);
  EXPECT_FLOAT_EQ(FluidSolver::ContactGap(0.1f, s6), 0.66f * s6);
  EXPECT_FLOAT_EQ(FluidSolver::ContactGap(std::nanf(""), s6), 0.66f * s6);
}

TEST(Collide, PushComesRoundARimWithoutAJumpAndASeamPushesOnce) {
  // A slab 2 x 2 x 0.2 (12 faces, outward normals, corners shared), spacing
  // 0.5: R = 0.66665, gap 0.33. Passing round the rim where its top meets a
  // side, a particle met the side's push at full strength at once; a ramp
  // made of such a slab threw the liquid flowing over its edge at three
  // times its speed.
  ColliderMesh* slab = new ColliderMesh();
  for (float z : {0.0f, 0.2f})
    for (float y : {-1.0f, 1.0f})
      for (float x : {-1.0f, 1.0f}) slab->mesh.vertices.emplace_back(x, y, z);
  // Corner index: x + 2y + 4z (each 0 or 1).
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    slab->mesh.faces.push_back({q[0], q[1], q[2]});
    slab->mesh.faces.push_back({q[0], q[2], q[3]});
  }
  slab->adherence = 0.0f;
  slab->ComputeFaceData(1.0f);
  std::unique_ptr<FluidSolver> s(AloneWith(slab));
  auto pushAt = [&](const Vec3f& at) { return PushAt(*s, at); };
  // Beside the +x side, just below and just above the line of its rim.
  const Vec3f below = pushAt(Vec3f(1.05f, 0.3f, 0.19f)), above = pushAt(Vec3f(1.05f, 0.3f, 0.21f));
  EXPECT_GT(below.x, 100.0f);
  EXPECT_NEAR(above.x, below.x, 0.05f * below.x);
  EXPECT_GT(above.z, 0.0f);  // away from the rim, not only from the side
  // Round the rim the push points away from it and fades with the distance.
  const Vec3f diagonal = pushAt(Vec3f(1.2f, 0.3f, 0.4f));
  EXPECT_NEAR(diagonal.x, diagonal.z, 1e-3f * diagonal.x);
  EXPECT_LT(diagonal.x, below.x);
  EXPECT_EQ(pushAt(Vec3f(1.0f + 0.7f, 0.3f, 0.2f + 0.7f)), Vec3f());  // beyond the reach
  // The top's two faces meet at a seam along its diagonal: near it the top
  // pushes as it does anywhere, once.
  const Vec3f seam = pushAt(Vec3f(0.05f, 0.0f, 0.4f)), clear = pushAt(Vec3f(0.6f, -0.3f, 0.4f));
  EXPECT_GT(clear.z, 100.0f);
  EXPECT_NEAR(seam.z, clear.z, 1e-4f * clear.z);
  EXPECT_NEAR(seam.x, 0.0f, 1e-3f);
}

namespace {
// A closed UV sphere of radius r round the origin: segs faces round,
// segs / 2 rings, a single vertex at each pole.
ColliderMesh* UvBall(float r, int segs) {
  const int rings = segs / 2;
  const float pi = 3.14159265f;
  ColliderMesh* ball = new ColliderMesh();
  ball->mesh.vertices.emplace_back(0.0f, 0.0f, r);
  for (int k = 1; k < rings; ++k)
    for (int j = 0; j < segs; ++j) {
      const float t = pi * k / rings, f = 2.0f * pi * j / segs;
      ball->mesh.vertices.emplace_back(r * std::sin(t) * std::cos(f), r * std::sin(t) * std::sin(f), r * std::cos(t));
    }
  ball->mesh.vertices.emplace_back(0.0f, 0.0f, -r);
  const int south = 1 + (rings - 1) * segs;
  auto at = [&](int k, int j) { return 1 + (k - 1) * segs + (j % segs); };
  for (int j = 0; j < segs; ++j) {
    ball->mesh.faces.push_back({0, at(1, j), at(1, j + 1)});
    for (int k = 1; k + 1 < rings; ++k) {
      ball->mesh.faces.push_back({at(k, j), at(k + 1, j), at(k + 1, j + 1)});
      ball->mesh.faces.push_back({at(k, j), at(k + 1, j + 1), at(k, j + 1)});
    }
    ball->mesh.faces.push_back({south, at(rings - 1, j + 1), at(rings - 1, j)});
  }
  return ball;
}
}  // namespace

TEST(Collide, ABallPushesRoundItsFoldsAndPolesAsAFlatFaceDoes) {
  // A ball of radius 2, 16 segments by 8 rings (faces about as wide as the
  // reach), spacing 0.5. Over its gentle folds no face lies under a
  // particle, which fell in unpushed and was then thrown off; around a pole
  // sixteen faces pushed at once. A particle h from the ball, above a
  // corner or the middle of an edge, is pushed as h above a floor.
  const float r = 2.0f;
  ColliderMesh* ball = UvBall(r, 16);
  ball->adherence = 0.0f;
  ball->ComputeFaceData(1.0f);
  std::unique_ptr<FluidSolver> s(AloneWith(ball));
  const float h = 0.2f;
  ColliderMesh* floor = Floor(0.0f, 10.0f, 1.0f);
  floor->adherence = 0.0f;
  std::unique_ptr<FluidSolver> f(AloneWith(floor));
  const float flat = Vec3Length(PushAt(*f, Vec3f(0.3f, 0.2f, h)));
  ASSERT_GT(flat, 50.0f);
  auto above = [&](const Point3& q) {
    Vec3f v(q.x, q.y, q.z);
    Vec3f out = v;
    Vec3NormalizeSafe(out);
    return v + out * h;
  };
  std::vector<Vec3f> points;
  for (const Point3& v : ball->mesh.vertices) points.push_back(above(v));
  for (const MeshFace& face : ball->mesh.faces)
    for (int k = 0; k < 3; ++k) {
      const Point3 &u = ball->mesh.vertices[size_t(face[k])], &w = ball->mesh.vertices[size_t(face[(k + 1) % 3])];
      points.push_back(above(Point3((u.x + w.x) * 0.5f, (u.y + w.y) * 0.5f, (u.z + w.z) * 0.5f)));
    }
  for (const Vec3f& p : points) {
    const Vec3f push = PushAt(*s, p);
    const float along = Vec3Dot(push, p) / Vec3Length(p);  // outward
    EXPECT_GT(along, 0.75f * flat) << p.x << " " << p.y << " " << p.z;
    EXPECT_LT(Vec3Length(push), 1.5f * flat) << p.x << " " << p.y << " " << p.z;
  }
}

TEST(StepLimit, NotANumberOrNegativeIsCountedNeverTaken) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  for (int i = 0; i < 4; ++i) s->particles[size_t(Put(*s, Vec3f(float(i), 0, 0)))].dtLimit = 1e6f;
  s->particles[0].dtLimit = std::nanf("");
  s->particles[1].dtLimit = -0.001f;
  s->particles[2].dtLimit = 0.002f;
  EXPECT_EQ(s->MaxStableStep(), 0.002f);
  EXPECT_EQ(s->badStepLimits, 2);
  s->particles[2].dtLimit = 1e6f;
  EXPECT_EQ(s->MaxStableStep(), s->frameLength * 0.16666667f);
  EXPECT_EQ(s->badStepLimits, 4);
}

TEST(Collide, BounceFrictionAndTheOverrideRule) {
  auto run = [](float bounce, float friction, bool skip, bool override) {
    std::unique_ptr<FluidSolver> s(MakeSolver());
    s->AddSource(Vec3f());
    s->sources[0]->overridesObjectParams = override ? 1 : 0;
    s->sources[0]->bounce = bounce;
    s->sources[0]->friction = friction;
    s->sources[0]->adherence = 1e-12f;
    s->sources[0]->collisionGap = 0.0f;
    ColliderMesh* floor = Floor(0.0f, 10.0f);
    floor->bounce = bounce;
    floor->friction = friction;
    floor->adherence = 1e-12f;  // sticks (collided) with no measurable pull
    s->colliders.push_back(floor);
    int a = Put(*s, Vec3f(0.3f, 0.2f, 0.03f), 0.1f, Vec3f(1.0f, 0.0f, -1.0f));  // within the gap
    s->particles[a].dtLimit = 1e6f;
    s->particles[a].clock = 0.0f;
    s->skipFrictionAndBounce = skip ? 1 : 0;
    s->CollideWithObjects();
    EXPECT_EQ(s->particles[a].collided, 1);
    s->particles[a].accel = Vec3f();
    if (!skip) s->ApplyFriction();
    s->Integrate(0.0f, {}, 0.0f);  // zero time: only the velocity rules act
    return s->particles[a].vel;
  };
  Vec3f v = run(100.0f, 0.0f, false, false);
  EXPECT_FLOAT_EQ(v.x, 1.0f);
  EXPECT_FLOAT_EQ(v.z, -1.0f);
  v = run(0.0f, 0.0f, false, false);
  EXPECT_FLOAT_EQ(v.z, -0.95f);
  v = run(150.0f, 0.0f, false, false);  // a collider bounce above 100 counts as 100
  EXPECT_FLOAT_EQ(v.z, -1.0f);
  v = run(0.0f, 100.0f, false, false);
  EXPECT_FLOAT_EQ(v.x, 0.85f);
  v = run(0.0f, 100.0f, true, false);  // skipped sub-step: neither rule
  EXPECT_FLOAT_EQ(v.x, 1.0f);
  EXPECT_FLOAT_EQ(v.z, -1.0f);
  v = run(0.0f, 5000.0f, false, false);  // clamped: no reversal
  EXPECT_FLOAT_EQ(v.x, 0.85f);
  v = run(150.0f, 0.0f, false, true);  // a source's bounce is taken as it stands
  EXPECT_FLOAT_EQ(v.z, -1.025f);
}

// (Domain edges are covered by the Domain tests below.)
TEST(Collide, KillerColliderParksOnceAndParkedParticlesStayPut) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  ColliderMesh* a = Floor(0.0f, 10.0f);
  a->particleKiller = 1;
  s->colliders.push_back(a);
  ColliderMesh* b = Floor(0.0f, 10.0f);  // a second face set under the first
  b->particleKiller = 1;
  s->colliders.push_back(b);
  s->parkingPos = Vec3f();
  int k = Put(*s, Vec3f(0.3f, 0.2f, 0.05f), 0.1f);
  s->CollideWithObjects();
  EXPECT_EQ(s->particles[k].dead, 1);
  EXPECT_EQ(s->particles[k].pos, Vec3f());
  EXPECT_EQ(s->killedCount, 1);
  Vec3f before = s->particles[k].pos;
  s->Integrate(1.0f, {}, 10.0f);
  EXPECT_EQ(s->particles[k].pos, before);
}

TEST(Park, ParkedParticlesAreAtRestInTheFrameFile) {
  // Parked by a killer face and by the domain edge, both while moving fast.
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->frameCache.folderOverride = solver_test::ScratchDir("parked") + "/";
  ColliderMesh* killer = Floor(0.0f, 1.0f);
  killer->particleKiller = 1;
  s->colliders.push_back(killer);
  s->domainMax = Vec3f(5, 5, 5);
  const int k = Put(*s, Vec3f(0.3f, 0.2f, 0.05f), 0.1f, Vec3f(40, 0, -80));
  const int d = Put(*s, Vec3f(3, 3, 4.99f), 0.1f, Vec3f(0, 0, 900));
  const int live = Put(*s, Vec3f(3, 3, 2), 0.1f, Vec3f(1, 2, 3));
  ASSERT_TRUE(s->Step(0.0f, 0.01f, {}, 0.0f, false, true));
  EXPECT_EQ(s->particles[size_t(k)].dead, 1);
  EXPECT_EQ(s->particles[size_t(d)].dead, 1);
  ASSERT_GT(s->WriteFrame(1), 0);
  const std::vector<unsigned char> bytes = solver_test::ReadAll(s->frameCache.FramePath(1));
  ASSERT_EQ(int64_t(bytes.size()), ParticleFrameFile::Size(3));
  float vel[9];
  std::memcpy(vel, bytes.data() + ParticleFrameFile::VelOffset(3), sizeof vel);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(vel[3 * k + c], 0.0f) << c;
    EXPECT_EQ(vel[3 * d + c], 0.0f) << c;
  }
  EXPECT_NE(vel[3 * live + 2], 0.0f);
}

TEST(Domain, ParticlesOnTheBoxStayAndOutsideAreCountedExactly) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  s->domainMin = Vec3f(-1, -1, -1);
  s->domainMax = Vec3f(1, 1, 1);
  const int n = 20000;
  std::vector<Vec3f> pts;
  for (int i = 0; i < n; ++i) pts.emplace_back((i % 2) ? 1.0f : std::nextafter(1.0f, 2.0f), -1.0f, 0.5f);
  s->AddParticles(10.0f, 0, pts, n, 0.0f, 0, 1);
  s->parkingPos = Vec3f(0, 0, 0);
  s->KillOutsideDomain();
  EXPECT_EQ(s->killedCount, n / 2);
  EXPECT_EQ(s->particles[0].dead, 1);
  EXPECT_EQ(s->particles[0].pos, Vec3f());
  EXPECT_EQ(s->particles[1].dead, 0);
}

TEST(Integrate, ReflectsBackToTheSideItCameFrom) {
  std::unique_ptr<ColliderMesh> f(Floor(0.0f, 10.0f));
  Vec3f below(0.1f, 0.1f, -0.2f);
  ReflectAcrossFace(*f, below, 0, false);
  EXPECT_NEAR(below.z, 0.2f, 1e-6f);
  Vec3f above(0.1f, 0.1f, 0.2f);
  ReflectAcrossFace(*f, above, 0, true);
  EXPECT_NEAR(above.z, -0.2f, 1e-6f);
  EXPECT_TRUE(FaceSide(*f, Vec3f(0, 0, 0.01f), 0));
  EXPECT_FALSE(FaceSide(*f, Vec3f(0, 0, 0.0f), 0));
}

// A jet faster than the push can stop went through a tank's walls: a step
// through a face, short or many reaches long, or onto its plane, ends on
// its side, moving away; one beside the face goes on.
TEST(Integrate, AStepThroughAFaceEndsMirroredOnItsSide) {
  std::unique_ptr<FluidSolver> s(AloneWith(Floor(0.0f, 10.0f)));
  const int shortStep = Put(*s, Vec3f(1, 1, 0.1f), 0.1f, Vec3f(2, 0, -10));
  const int longStep = Put(*s, Vec3f(1, 1, 5.0f), 0.1f, Vec3f(0, 0, -100));
  const int beside = Put(*s, Vec3f(11, 1, 0.1f), 0.1f, Vec3f(0, 0, -10));
  const int onto = Put(*s, Vec3f(2, 1, 0.1f), 0.1f, Vec3f(0, 0, -2));  // ends on the plane
  s->particles[longStep].clock = -0.05f;  // a step of 0.1 s; the others' is 0.05 s
  s->Integrate(0.05f, {}, 0.0f);
  EXPECT_NEAR(s->particles[shortStep].pos.z, 0.4f, 1e-5f);
  EXPECT_FLOAT_EQ(s->particles[shortStep].pos.x, 1.1f);
  EXPECT_FLOAT_EQ(s->particles[shortStep].vel.z, 10.0f);
  EXPECT_FLOAT_EQ(s->particles[shortStep].vel.x, 2.0f);
  EXPECT_NEAR(s->particles[longStep].pos.z, 5.0f, 1e-4f);
  EXPECT_FLOAT_EQ(s->particles[longStep].vel.z, 100.0f);
  EXPECT_NEAR(s->particles[beside].pos.z, -0.4f, 1e-5f);
  EXPECT_GT(s->particles[onto].pos.z, 0.0f);
  EXPECT_FLOAT_EQ(s->particles[onto].vel.z, 2.0f);
}

TEST(Integrate, GravityAxisForcesAndOwnClock) {
  std::unique_ptr<FluidSolver> s(MakeSolver());
  int a = Put(*s, Vec3f(), 0.1f);
  int b = Put(*s, Vec3f(), 0.1f);
  s->particles[a].clock = 0.0f;
  s->particles[b].clock = 1.0f;  // emitted at t1: not moved
  s->Integrate(1.0f, {Vec3f(1.0f, 0.0f, 0.0f)}, 10.0f);
  EXPECT_FLOAT_EQ(s->particles[a].vel.z, -10.0f);
  EXPECT_FLOAT_EQ(s->particles[a].vel.x, 1.0f);
  EXPECT_FLOAT_EQ(s->particles[a].pos.z, -10.0f);
  EXPECT_EQ(s->particles[b].pos, Vec3f());
  s->zUp = 0;
  s->particles[a].accel = Vec3f();
  s->particles[a].vel = Vec3f();
  s->Integrate(2.0f, {}, 10.0f);
  EXPECT_FLOAT_EQ(s->particles[a].vel.y, -20.0f);
}

TEST(Collide, FaceGridVisitsTheFacesAPlainScanWould) {
  // A bumpy 10 x 10 terrain: 200 faces in one collider (looked up through
  // its face grid) against the same faces cut into ten colliders of 20
  // (scanned one by one), same order.
  auto height = [](int i, int j) { return 0.05f * float((i * 7 + j * 3) % 5); };
  auto quads = [&](int row0, int rows) {
    ColliderMesh* m = new ColliderMesh();
    for (int j = row0; j <= row0 + rows; ++j)
      for (int i = 0; i <= 10; ++i) m->mesh.vertices.emplace_back(i * 0.2f, j * 0.2f, height(i, j));
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < 10; ++i) {
        int v = j * 11 + i;
        m->mesh.faces.push_back({v, v + 1, v + 12});
        m->mesh.faces.push_back({v, v + 12, v + 11});
      }
    m->ComputeFaceData(0.1333f);
    return m;
  };
  std::unique_ptr<FluidSolver> one(MakeSolver()), many(MakeSolver());
  one->colliders.push_back(quads(0, 10));
  for (int r = 0; r < 10; ++r) many->colliders.push_back(quads(r, 1));
  for (FluidSolver* s : {one.get(), many.get()})
    for (int k = 0; k < 3000; ++k) {
      Vec3f p(-0.1f + 2.2f * float((k * 37) % 1000) / 1000.0f, -0.1f + 2.2f * float((k * 91) % 997) / 997.0f,
              -0.05f + 0.35f * float((k * 13) % 101) / 101.0f);
      int i = Put(*s, p, 0.1f, Vec3f(0.0f, 0.0f, -1.0f));
      s->particles[i].dtLimit = 1e6f;
    }
  // Then once more after the terrain has moved by more than a grid cell:
  // the grid kept from the first pass must not serve the moved faces.
  for (float shift : {0.0f, 0.35f}) {
    for (FluidSolver* s : {one.get(), many.get()})
      for (ColliderMesh* m : s->colliders) {
        for (Point3& v : m->mesh.vertices) v.x += shift;
        m->ComputeFaceData(0.1333f);
        m->BuildFaceIndex();
      }
    // Where the strips meet is a seam of the one mesh, not a rim of two.
    const ColliderMesh::FaceIndex& whole = one->colliders[0]->faceIndex;
    for (size_t r = 0; r < many->colliders.size(); ++r) {
      ColliderMesh::FaceIndex& strip = many->colliders[r]->faceIndex;
      std::copy(whole.rims.begin() + std::ptrdiff_t(r * 20), whole.rims.begin() + std::ptrdiff_t(r * 20 + 20),
                strip.rims.begin());
      std::copy(whole.across.begin() + std::ptrdiff_t(r * 60), whole.across.begin() + std::ptrdiff_t(r * 60 + 60),
                strip.across.begin());
    }
    for (FluidSolver* s : {one.get(), many.get()})
      for (int i = 0; i < s->count; ++i) s->particles[i].accel = Vec3f();
    one->CollideWithObjects();
    many->CollideWithObjects();
    ASSERT_TRUE(one->colliders[0]->faceIndex.used);
    int touched = 0;
    for (int i = 0; i < one->count; ++i) {
      const FluidParticle& a = one->particles[i];
      const FluidParticle& b = many->particles[i];
      ASSERT_EQ(a.accel, b.accel) << i << " " << shift;
      ASSERT_EQ(a.dtLimit, b.dtLimit) << i;
      ASSERT_EQ(a.collided, b.collided) << i << " " << shift;
      if (!a.collided) continue;
      ++touched;
      int k = int(std::find(many->colliders.begin(), many->colliders.end(), b.collider) - many->colliders.begin());
      EXPECT_EQ(a.face, b.face + 20 * k) << i;
      EXPECT_EQ(a.adhesion, b.adhesion) << i;
    }
    EXPECT_GT(touched, 400) << shift;
  }
}

TEST(Collide, AdherencePullsTowardTheFaceOnTheParticlesSideWhereItPushesAndAMovingFaceCarries) {
  // Spacing 0.1: R = 0.1333, gap 0.066. The pull (0.5 x 10000 x L, L = 0.3)
  // acts where the face pushes, toward the face on either side of it: the
  // velocity a short step gives, less that of the same step without
  // adherence. Behind a face (inside a closed mesh) the pull along the
  // normal pushed the liquid off every wall.
  auto step = [](float z, float adherence, uint8_t& collided) {
    std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));
    ColliderMesh* floor = Floor(0.0f, 10.0f);
    floor->adherence = adherence;
    floor->bounce = 100.0f;
    floor->friction = 0.0f;
    s->colliders.push_back(floor);
    int a = Put(*s, Vec3f(0.3f, 0.2f, z), 0.1f);
    s->particles[a].clock = 0.0f;
    s->particles[a].dtLimit = 1e6f;
    s->CollideWithObjects();
    collided = s->particles[a].collided;
    s->Integrate(0.001f, {}, 0.0f);
    return s->particles[a].vel.z;
  };
  const float pull = 0.5f * 10000.0f * 0.3f * 0.001f;
  for (float side : {1.0f, -1.0f}) {
    uint8_t held, free;
    const float dv = step(0.03f * side, 0.5f, held) - step(0.03f * side, 0.0f, free);
    EXPECT_EQ(held, 1);
    EXPECT_EQ(free, 0);
    // The push along the face is taken at the step's end, which takes a
    // little of the pull's speed too.
    EXPECT_LT(dv * side, -0.85f * pull) << side;
    EXPECT_GE(dv * side, -pull) << side;
    EXPECT_EQ(step(0.1f * side, 0.5f, held), 0.0f);  // within reach, beyond the gap: no pull
    EXPECT_EQ(held, 0);
  }

  // It holds, and never draws a particle in: one coming down onto a floor
  // goes no deeper, and leaves no faster, than with adherence 0. Drawn in,
  // the liquid had the pull's work over the gap (what a piston drove into a
  // floor and a wall was thrown up the wall at twice the piston's speed).
  auto drop = [](float adherence, float& lowest, float& fastestUp) {
    std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));
    s->AddSource(Vec3f());
    ColliderMesh* floor = Floor(0.0f, 10.0f);
    floor->adherence = adherence;
    s->colliders.push_back(floor);
    const int a = Put(*s, Vec3f(0.3f, 0.2f, 0.2f), 0.1f);
    s->particles[a].vel = Vec3f(0.0f, 0.0f, -1.0f);
    float clock = 0.0f;
    lowest = 1.0f;
    fastestUp = 0.0f;
    for (int k = 0; k < 400; ++k) {
      ASSERT_TRUE(s->Step(clock, clock + 0.0005f, {}, 0.0f, false, k % 10 == 0));
      clock += 0.0005f;
      lowest = std::min(lowest, s->particles[a].pos.z);
      fastestUp = std::max(fastestUp, s->particles[a].vel.z);
    }
  };
  float freeLowest, freeUp;
  drop(0.0f, freeLowest, freeUp);
  ASSERT_LT(freeLowest, 0.1333f);
  for (float adherence : {0.65f, 1.0f}) {
    float lowest, up;
    drop(adherence, lowest, up);
    EXPECT_GE(lowest, freeLowest - 1e-6f) << adherence;
    EXPECT_LE(up, freeUp + 1e-6f) << adherence;
  }

  std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));
  ColliderMesh* floor = Floor(0.0f, 10.0f);
  floor->adherence = 0.5f;
  floor->bounce = 100.0f;
  floor->friction = 0.0f;
  s->colliders.push_back(floor);
  int a = Put(*s, Vec3f(0.3f, 0.2f, 0.03f), 0.1f);
  floor->faceNormalSpeed.assign(2, 2.0f);  // the floor moves up at 2 units/s
  s->particles[a].clock = 0.0f;
  s->CollideWithObjects();
  ASSERT_EQ(s->particles[a].collided, 1);
  EXPECT_GT(s->particles[a].adhesion.z, 0.0f);  // points away from the face
  s->particles[a].accel = Vec3f();
  s->Integrate(0.0f, {}, 0.0f);  // zero time: only the velocity rules act
  EXPECT_FLOAT_EQ(s->particles[a].vel.z, 2.0f);
  s->Integrate(0.0f, {}, 0.0f);  // carried at the face's speed, not sped up again
  EXPECT_FLOAT_EQ(s->particles[a].vel.z, 2.0f);

  // Without adherence a floor rising at 2 units/s carries a particle that
  // rises with it: the push, taken implicitly, damps the speed relative to
  // the floor, not the particle's own.
  float carried[2], push = 0.0f;
  for (int moving : {1, 0}) {
    const float speed = moving ? 2.0f : 0.0f;
    floor->adherence = 0.0f;
    floor->faceNormalSpeed.assign(2, speed);
    s->particles[a].pos = Vec3f(0.3f, 0.2f, 0.03f);
    s->particles[a].vel = Vec3f(0.0f, 0.0f, 2.0f);
    s->particles[a].clock = 0.0f;
    s->particles[a].accel = Vec3f();
    s->CollideWithObjects();
    push = s->particles[a].accel.z;
    ASSERT_GT(push, 0.0f);
    s->Integrate(0.01f, {}, 0.0f);
    carried[moving] = s->particles[a].vel.z;
    EXPECT_GT(carried[moving], 2.0f);
    EXPECT_LT(carried[moving], 2.0f + push * 0.01f);
  }
  // On a still floor the push, taken at the step's end, also takes in the
  // particle's own 2 units/s.
  EXPECT_GT(carried[1], carried[0]);
}

// A floor that rose 0.3 in a step of 0.01 s past a particle at rest: the
// particle ends above it, moving up at the floor's 30 units/s, not inside
// (nor thrown at twice that, as a mirror in the floor's frame would).
TEST(Collide, AFaceThatSweepsOverAParticleLeavesItOnTheFaceSideMovingWithIt) {
  for (const bool bounce : {false, true}) {
    std::unique_ptr<FluidSolver> s(MakeSolver(1000.0));
    ColliderMesh* floor = Floor(0.0f, 10.0f);
    floor->bounce = bounce ? 100.0f : 0.0f;
    floor->adherence = 0.0f;
    floor->stepStartVertices.clear();
    for (const Point3& v : floor->mesh.vertices) floor->stepStartVertices.push_back(Vec3f(v.x, v.y, v.z - 0.3f));
    floor->vertexVelocity.assign(4, Vec3f(0.0f, 0.0f, 30.0f));
    floor->faceNormalSpeed.assign(2, 30.0f);
    s->colliders.push_back(floor);
    const int a = Put(*s, Vec3f(0.3f, 0.2f, -0.1f), 0.1f);
    s->particles[a].clock = 0.0f;
    s->particles[a].dtLimit = 1e6f;
    s->CollideWithObjects();
    s->Integrate(0.01f, {}, 0.0f);
    EXPECT_GT(s->particles[a].pos.z, 0.0f) << bounce;
    EXPECT_NEAR(s->particles[a].vel.z, 30.0f, 1e-3f) << bounce;
    // A floor that stands still leaves one behind it there.
    floor->stepStartVertices.clear();
    floor->vertexVelocity.clear();
    floor->faceNormalSpeed.assign(2, 0.0f);
    s->particles[a].pos = Vec3f(0.3f, 0.2f, -0.1f);
    s->particles[a].vel = Vec3f();
    s->particles[a].clock = 0.0f;
    s->CollideWithObjects();
    s->Integrate(0.01f, {}, 0.0f);
    EXPECT_LT(s->particles[a].pos.z, 0.0f) << bounce;
  }
}

namespace {
// The point of triangle abc nearest p.
Vec3f NearestOnTriangle(const Vec3f& p, const Vec3f& a, const Vec3f& b, const Vec3f& c) {
  const Vec3f ab = b - a, ac = c - a, ap = p - a;
  const float d1 = Vec3Dot(ab, ap), d2 = Vec3Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3f bp = p - b;
  const float d3 = Vec3Dot(ab, bp), d4 = Vec3Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const Vec3f cp = p - c;
  const float d5 = Vec3Dot(ab, cp), d6 = Vec3Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const float den = 1.0f / (va + vb + vc);
  return a + ab * (vb * den) + ac * (vc * den);
}

float MeshDistance(const ColliderMesh& K, const Vec3f& p) {
  float best = 1e30f;
  for (const MeshFace& f : K.mesh.faces) {
    const Point3 &a = K.mesh.vertices[size_t(f[0])], &b = K.mesh.vertices[size_t(f[1])],
                 &c = K.mesh.vertices[size_t(f[2])];
    best = std::min(best, Vec3Length(p - NearestOnTriangle(p, Vec3f(a.x, a.y, a.z), Vec3f(b.x, b.y, b.z),
                                                            Vec3f(c.x, c.y, c.z))));
  }
  return best;
}

// Quads a b c d as two faces.
void AddQuad(ColliderMesh& K, const Vec3f& a, const Vec3f& b, const Vec3f& c, const Vec3f& d) {
  const int v = int(K.mesh.vertices.size());
  for (const Vec3f& q : {a, b, c, d}) K.mesh.vertices.emplace_back(q.x, q.y, q.z);
  K.mesh.faces.push_back({v, v + 1, v + 2});
  K.mesh.faces.push_back({v, v + 2, v + 3});
}

}  // namespace

TEST(Contact, NoParticleLeavesAFaceFasterThanItCameOverARimASeamOrAPole) {
  // One particle at LOD 6 (spacing 1/6, as the frame driver steps it) with
  // the attribute's defaults (adherence 0.65, friction 4, bounce 4, gap 4)
  // and with adherence 0, dropped with a few speeds along a box's top over
  // its rim, over a ridge where two faces fold by 20 degrees and off its
  // far rim, onto a 32-segment ball's pole, and onto a floor. Whenever it is
  // clear of every face (beyond the reach and the gap), its energy (with
  // gravity's potential) is at most what it was when last clear: a particle
  // creeping over a wall's top left at 200 units/s, a ball threw the liquid
  // to twice its height, and a lone drop rebounded higher every time.
  const float s6 = 1.0f / 6.0f, g = 20.1f;
  const float reach = FluidSolver::CollisionReach(s6) + FluidSolver::ContactGap(4.0f, s6);
  const float margin = 1.01f * reach;
  struct Shape {
    const char* name;
    std::function<ColliderMesh*()> make;
    Vec3f start;
    float leavesFrom;  // without adherence, from this speed on, it comes clear again
  };
  const float fold = std::tan(20.0f * 3.14159265f / 180.0f);
  const std::vector<Shape> shapes = {
      {"rim", [] {
         ColliderMesh* K = new ColliderMesh();
         const Vec3f lo(-1, -1, -2), hi(1, 1, 0);
         AddQuad(*K, Vec3f(lo.x, lo.y, hi.z), Vec3f(hi.x, lo.y, hi.z), Vec3f(hi.x, hi.y, hi.z), Vec3f(lo.x, hi.y, hi.z));
         AddQuad(*K, Vec3f(hi.x, lo.y, lo.z), Vec3f(hi.x, hi.y, lo.z), Vec3f(hi.x, hi.y, hi.z), Vec3f(hi.x, lo.y, hi.z));
         AddQuad(*K, Vec3f(lo.x, lo.y, lo.z), Vec3f(lo.x, lo.y, hi.z), Vec3f(lo.x, hi.y, hi.z), Vec3f(lo.x, hi.y, lo.z));
         AddQuad(*K, Vec3f(lo.x, lo.y, lo.z), Vec3f(hi.x, lo.y, lo.z), Vec3f(hi.x, lo.y, hi.z), Vec3f(lo.x, lo.y, hi.z));
         AddQuad(*K, Vec3f(lo.x, hi.y, lo.z), Vec3f(lo.x, hi.y, hi.z), Vec3f(hi.x, hi.y, hi.z), Vec3f(hi.x, hi.y, lo.z));
         AddQuad(*K, Vec3f(lo.x, lo.y, lo.z), Vec3f(lo.x, hi.y, lo.z), Vec3f(hi.x, hi.y, lo.z), Vec3f(hi.x, lo.y, lo.z));
         return K;
       }, Vec3f(0.4f, 0.0f, 0.4f), 0.1f},
      {"seam", [fold] {
         ColliderMesh* K = new ColliderMesh();
         AddQuad(*K, Vec3f(-1, -1, -fold), Vec3f(0, -1, 0), Vec3f(0, 1, 0), Vec3f(-1, 1, -fold));
         AddQuad(*K, Vec3f(0, -1, 0), Vec3f(1, -1, -fold), Vec3f(1, 1, -fold), Vec3f(0, 1, 0));
         return K;
       }, Vec3f(-0.5f, 0.0f, 0.3f), 0.0f},
      {"pole", [] { return UvBall(1.0f, 32); }, Vec3f(0.01f, 0.0f, 1.4f), 0.0f},
      {"floor", [] { return Floor(0.0f, 10.0f); }, Vec3f(0.3f, 0.2f, 0.6f), 1e9f},
  };
  for (const Shape& shape : shapes)
    for (float adherence : {0.65f, 0.0f})
      for (float speed : {0.0f, 0.6f, 2.0f, 8.0f}) {
        std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
        s->AddSource(Vec3f());
        ColliderMesh* K = shape.make();
        K->ComputeFaceData(margin);
        K->adherence = adherence;
        K->friction = 4.0f;
        K->bounce = 4.0f;
        K->collisionGap = 4.0f;
        s->colliders.push_back(K);
        const int a = Put(*s, shape.start, s6, Vec3f(speed, 0.0f, 0.0f));
        const FluidParticle& p = s->particles[a];
        auto energy = [&] { return 0.5f * Vec3LengthSq(p.vel) + g * p.pos.z; };
        float last = energy(), clock = 0.0f;
        bool touched = false, cameClear = false;
        const std::vector<Vec3f> none;
        for (int k = 0; clock < 1.5f && !p.dead; ++k) {
          const float h = s->MaxStableStep();
          ASSERT_TRUE(s->Step(clock, clock + h, none, g, false, k % 10 == 0));
          clock += h;
          if (MeshDistance(*K, p.pos) < reach) {
            touched = true;
            continue;
          }
          cameClear |= touched;
          const float e = energy();
          ASSERT_LE(e, last + 1e-4f * std::fabs(last) + 1e-4f)
              << shape.name << " adherence " << adherence << " speed " << speed << " at " << clock;
          last = e;
        }
        EXPECT_TRUE(touched) << shape.name << " " << adherence << " " << speed;
        if (adherence == 0.0f && speed >= shape.leavesFrom) {
          EXPECT_TRUE(cameClear) << shape.name << " " << speed;
        }
      }
}
