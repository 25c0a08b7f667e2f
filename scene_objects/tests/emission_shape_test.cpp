// Emission outlines, shape rows, emission points and the predicted stream.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_objects/emission_shape.h"

TEST(EmissionShape, CircleHasFourKnotsWithTangentHandles) {
  BezierShape shape;
  AddCircleSpline(shape, 2.0f);
  ASSERT_EQ(shape.SplineCount(), 1);
  const Spline3D* s = shape.GetSpline(0);
  EXPECT_TRUE(s->Closed());
  ASSERT_EQ(s->KnotCount(), 4);
  for (int k = 0; k < 4; ++k) {
    const double a = k * M_PI / 2;
    const Point3 p = s->GetKnotPoint(k);
    EXPECT_NEAR(p.x, 2 * std::cos(a), 1e-6);
    EXPECT_NEAR(p.y, 2 * std::sin(a), 1e-6);
    const Point3 out = s->GetOutVec(k) - p;
    EXPECT_NEAR(out.Length(), 1.1035724, 1e-6);
    EXPECT_NEAR(DotProd(out, p), 0.0, 1e-6);  // along the tangent
    EXPECT_NEAR((s->GetInVec(k) - p + out).Length(), 0.0, 1e-6);
  }
  // The middle of a quarter lies on the circle to a few parts in ten thousand.
  EXPECT_NEAR(s->InterpBezier3D(0, 0.5f).Length(), 2.0f, 1e-3f);
}

TEST(EmissionShape, PolylineMeshSamplesSixPerSegment) {
  BezierShape shape;
  AddCircleSpline(shape, 1.0f);
  Mesh m;
  AppendPolylineMesh(*shape.GetSpline(0), true, m);
  ASSERT_EQ(m.getNumVerts(), 25);
  ASSERT_EQ(m.getNumFaces(), 24);
  EXPECT_EQ(m.verts[24], m.verts[0]);
  for (int k = 0; k < 24; ++k) {
    EXPECT_EQ(m.faces[k].v[0], DWORD(k));
    EXPECT_EQ(m.faces[k].v[1], DWORD(k + 1));
    EXPECT_EQ(m.faces[k].v[2], DWORD(k));
    EXPECT_EQ(m.faces[k].getEdgeVis(0) + m.faces[k].getEdgeVis(1) + m.faces[k].getEdgeVis(2), 3);
  }
  // An open spline of two knots: one segment, six samples, appended after.
  Spline3D open;
  open.AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(0.0f, 0.0f, 0.0f), Point3(), Point3()));
  open.AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(6.0f, 0.0f, 0.0f), Point3(), Point3()));
  open.ComputeBezPoints();
  AppendPolylineMesh(open, false, m);
  ASSERT_EQ(m.getNumVerts(), 31);
  ASSERT_EQ(m.getNumFaces(), 29);
  EXPECT_EQ(m.faces[24].v[0], 25u);
  EXPECT_NEAR(m.verts[26].x, 1.0f, 1e-6f);
  Spline3D lone;
  lone.AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(), Point3(), Point3()));
  AppendPolylineMesh(lone, true, m);
  EXPECT_EQ(m.getNumVerts(), 31);
}

TEST(EmissionShape, RowsFollowTheShapeAndNoticeAnyChange) {
  BezierShape shape;
  AddCircleSpline(shape, 40.0f);
  Hileras rows;
  SampleShapeRows(shape, 2.0f, 1.0f, 20.0f, rows);
  ASSERT_EQ(rows.Count(), 1);
  const Hilera* row = rows.Get(0);
  ASSERT_EQ(row->Count(), 17);
  EXPECT_DOUBLE_EQ(row->Get(0)->X(), 4.0);  // 40 x 2 / 20
  EXPECT_DOUBLE_EQ(row->Get(4)->Y(), 2.0);  // 40 x 1 / 20
  EXPECT_EQ(row->Get(16)->X(), row->Get(0)->X());
  EXPECT_EQ(row->Get(16)->Y(), row->Get(0)->Y());
  EXPECT_TRUE(RowsMatchShape(shape, 2.0f, 1.0f, 20.0f, rows));
  EXPECT_FALSE(RowsMatchShape(shape, 2.0f, 1.5f, 20.0f, rows));
  shape.GetSpline(0)->SetKnotPoint(1, Point3(0.0f, 41.0f, 0.0f));
  EXPECT_FALSE(RowsMatchShape(shape, 2.0f, 1.0f, 20.0f, rows));
  AddCircleSpline(shape, 1.0f);
  EXPECT_FALSE(RowsMatchShape(shape, 2.0f, 1.0f, 20.0f, rows));
}

TEST(EmissionShape, EmissionPointsFillTheOutlineWithBoundedLift) {
  BezierShape shape;
  AddCircleSpline(shape, 20.0f);
  Hileras rows;
  SampleShapeRows(shape, 1.0f, 1.0f, 20.0f, rows);  // a unit circle in solver units
  const double d = 0.25;
  int calls = 0;
  std::vector<Point3> pts;
  BuildShapeEmissionPoints(rows, d, [&] { return (calls++ % 2) ? 32767 : 0; }, pts);
  ASSERT_GT(pts.size(), 20u);
  EXPECT_EQ(int(pts.size()), calls);
  // The second layer lies one layer step above the first; each point is
  // lifted within 0.95 x 0.45 d above its layer.
  std::vector<Point3> flat;
  BuildShapeEmissionPoints(rows, d, [] { return 0; }, flat);
  ASSERT_EQ(flat.size(), pts.size());
  const float lift = 0.95f * 0.45f * float(d);
  for (size_t i = 0; i < pts.size(); ++i) {
    EXPECT_LE(std::hypot(flat[i].x, flat[i].y), 1.0 + 1e-6);
    EXPECT_EQ(pts[i].x, flat[i].x);
    EXPECT_NEAR(pts[i].z - flat[i].z, (i % 2) ? lift : 0.0f, 1e-6f);
  }
  EXPECT_EQ(flat.front().z, 0.0f);
  EXPECT_GT(flat.back().z, 0.0f);
  Hileras none;
  BuildShapeEmissionPoints(none, d, [] { return 0; }, pts);
  EXPECT_TRUE(pts.empty());
}

TEST(Trajectory, PredictedStreamFallsUnderGravityFromTheEmitter) {
  StreamPhysics phys;
  phys.gravity = 31.0f * 20.0f;
  phys.ticksPerFrame = 160;
  const Point3 p0(5, 6, 7), v0(0, 0, 100);
  auto s = PredictStream(p0, v0, 30, phys);
  ASSERT_EQ(s.size(), 29u);
  EXPECT_EQ(s.back().pos, p0);
  EXPECT_EQ(s.back().vel, v0);
  EXPECT_EQ(s.back().frame, 1);
  EXPECT_EQ(s.front().frame, 29);
  // One frame of flight: 12 steps of v += -g dt, p += v dt.
  TrajectoryPoint ref{p0, v0, 1};
  const float dt = 160.0f / 4800.0f / 12.0f;
  for (int i = 0; i < 12; ++i) {
    ref.vel = (Point3() - Point3(0.0f, 0.0f, phys.gravity)) * dt + ref.vel;
    ref.pos = ref.vel * dt + ref.pos;
  }
  EXPECT_EQ(s[s.size() - 2].pos, ref.pos);
  EXPECT_EQ(s[s.size() - 2].vel, ref.vel);
  EXPECT_EQ(s.front().pos.x, 5.0f);
  EXPECT_LT(s.front().vel.z, 100.0f);
  EXPECT_TRUE(PredictStream(p0, v0, 1, phys).empty());
}

TEST(Trajectory, ForcesArePushedAtTheirScaleAndTime) {
  StreamPhysics phys;
  phys.ticksPerFrame = 160;
  std::vector<TimeValue> times;
  phys.force = [&](TimeValue t, const Point3&, const Point3&) {
    times.push_back(t);
    return Point3(1e-6f, 0.0f, 0.0f);
  };
  TrajectoryPoint e{Point3(), Point3(), 0};
  AdvanceStreamPoint(e, 0.01f, 3, 4, phys);
  EXPECT_EQ(times, (std::vector<TimeValue>{640, 641, 643}));  // 160 x (i x 0.01 + 4)
  EXPECT_NEAR(e.vel.x, 3 * 1e-6 * 160 * 200000 * 0.01, 1e-4);
}

TEST(Trajectory, MovingStreamGrowsToItsLengthAndSkipsDisabledFrames) {
  StreamPhysics phys;
  phys.gravity = 10.0f;
  std::deque<TrajectoryPoint> s;
  for (int k = 0; k < 5; ++k) ExtendStream(s, Point3(0.0f, 0.0f, float(k)), Point3(1.0f, 0.0f, 0.0f), false, 3, 10, phys);
  ASSERT_EQ(s.size(), 3u);
  for (const auto& e : s) EXPECT_EQ(e.frame, 15);
  EXPECT_EQ(s.back().pos, Point3(0.0f, 0.0f, 4.0f));  // the newest is at the emitter, not advanced
  EXPECT_GT(s.front().pos.x, s[1].pos.x);     // the oldest flew farthest
  ExtendStream(s, Point3(), Point3(), true, 3, 10, phys);
  EXPECT_EQ(s.size(), 3u);
  EXPECT_EQ(s.back().frame, 16);
  EXPECT_NE(s.back().pos, Point3(0.0f, 0.0f, 4.0f));
  std::deque<TrajectoryPoint> none;
  ExtendStream(none, Point3(), Point3(), true, 3, 10, phys);
  EXPECT_TRUE(none.empty());
}
