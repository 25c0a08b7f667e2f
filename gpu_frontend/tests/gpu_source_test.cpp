#include "gpu_frontend/gpu_source.h"

#include <cmath>
#include <sstream>

#include "frontend_fixture.h"
#include "gpu_frontend/gpu_fluid.h"
#include "host/ui/script.h"
#include "host/ui/viewport.h"

namespace {

using vorel_gpufe::BlobNode;
using vorel_gpufe::VorSourceObj;
namespace sp = vorel_gpufe::source_param;
namespace bp = vorel_gpufe::blob_param;

class GpuSourceTest : public gpufe_test::FrontendTest {
 protected:
  // A source on a node of its own at the given transform.
  VorSourceObj* Place(const Matrix3& tm, INode** nodeOut = nullptr) {
    auto* s = new VorSourceObj();
    INode* n = GetCOREInterface()->CreateObjectNode(s, "src");
    n->SetNodeTM(0, tm);
    if (nodeOut) *nodeOut = n;
    return s;
  }
};

TEST_F(GpuSourceTest, CircleKnotsAndHandlesFollowTheRadius) {
  BezierShape shape;
  VorSourceObj::MakeSourceCircle(shape, 5.0f);
  ASSERT_EQ(shape.SplineCount(), 1);
  Spline3D* s = shape.GetSpline(0);
  ASSERT_EQ(s->KnotCount(), 4);
  EXPECT_TRUE(s->Closed());
  const float k = 5.0f * 0.5517861843109131f;
  EXPECT_NEAR(k, 2.7589309f, 1e-6f);
  EXPECT_NEAR(s->GetKnotPoint(1).x, 0.0f, 1e-5f);
  EXPECT_NEAR(s->GetKnotPoint(1).y, 5.0f, 1e-6f);
  EXPECT_NEAR(s->GetInVec(1).x, k, 1e-5f);
  EXPECT_NEAR(s->GetOutVec(1).x, -k, 1e-5f);
  EXPECT_NEAR(s->GetOutVec(1).y, 5.0f, 1e-6f);
  EXPECT_NEAR(s->GetKnotPoint(2).x, -5.0f, 1e-6f);

  BezierShape dot;
  VorSourceObj::MakeSourceCircle(dot, 0.0f);
  Mesh mesh;
  VorSourceObj::SplineToLineMesh(*dot.GetSpline(0), mesh, true);
  EXPECT_EQ(mesh.getNumVerts(), 25);
  EXPECT_EQ(mesh.getNumFaces(), 24);
  for (const Point3& p : mesh.verts) EXPECT_EQ(p, Point3(0, 0, 0));
}

TEST_F(GpuSourceTest, LineMeshesArePolylinesOfSixSamplesPerSegment) {
  BezierShape shape;
  VorSourceObj::MakeSourceCircle(shape, 2.0f);
  ASSERT_TRUE(VorSourceObj::MakeTrajectory(shape, 3.0f, 98.0f, Matrix3(), vorel_gpufe::kTrajectoryKnots));
  ASSERT_EQ(shape.SplineCount(), 2);
  EXPECT_EQ(shape.GetSpline(1)->KnotCount(), 15);
  EXPECT_FALSE(shape.GetSpline(1)->Closed());
  Mesh circle, path;
  VorSourceObj::SplineToLineMesh(*shape.GetSpline(0), circle, true);
  VorSourceObj::SplineToLineMesh(*shape.GetSpline(1), path, false);
  EXPECT_EQ(circle.getNumVerts(), 25);
  EXPECT_EQ(circle.getNumFaces(), 24);
  EXPECT_EQ(circle.verts.front(), circle.verts.back());
  EXPECT_EQ(path.getNumVerts(), 84);
  EXPECT_EQ(path.getNumFaces(), 83);
  for (int k = 0; k < path.getNumFaces(); ++k) {
    const Face& f = path.faces[size_t(k)];
    EXPECT_EQ(f.v[0], DWORD(k));
    EXPECT_EQ(f.v[1], DWORD(k + 1));
    EXPECT_EQ(f.v[2], DWORD(k));
  }
}

TEST_F(GpuSourceTest, TrajectoryFallsBySemiImplicitEulerSteps) {
  ASSERT_EQ(GetTicksPerFrame(), 160);
  const float g = 98.0f;
  BezierShape shape;
  ASSERT_TRUE(VorSourceObj::MakeTrajectory(shape, 0.0f, g, Matrix3(), 15));
  Spline3D* s = shape.GetSpline(0);
  const float dt = (160.0f / 4800.0f) / 5.0f;  // 1/150 s
  for (int knot = 0; knot < 15; ++knot) {
    const float m = float(5 * knot);
    const Point3 p = s->GetKnotPoint(knot);
    EXPECT_NEAR(p.z, -20.0f * g * dt * dt * m * (m + 1.0f) / 2.0f, 2e-3f) << knot;
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
  }
  // The launch follows the node's z axis at 20 x speed x its length; the
  // knots stay in object space.
  BezierShape up;
  Matrix3 tm;
  tm.SetTrans(Point3(10, 0, 0));
  ASSERT_TRUE(VorSourceObj::MakeTrajectory(up, 1.0f, 0.0f, tm, 3));
  EXPECT_NEAR(up.GetSpline(0)->GetKnotPoint(0).z, 0.0f, 1e-6f);
  EXPECT_NEAR(up.GetSpline(0)->GetKnotPoint(2).z, 20.0f * 10 * dt, 1e-4f);
}

TEST_F(GpuSourceTest, FlattenedNodeDrawsNoTrajectory) {
  Matrix3 flat;
  flat.Scale(Point3(1.0f, 0.0f, 1.0f));
  BezierShape shape;
  EXPECT_FALSE(VorSourceObj::MakeTrajectory(shape, 5.0f, 98.0f, flat, 15));
  EXPECT_EQ(shape.SplineCount(), 0);
  // The source itself still builds its circle on such a node.
  VorSourceObj* s = Place(flat);
  s->BuildMesh(0);
  EXPECT_EQ(s->shape.SplineCount(), 1);
  for (const Point3& p : s->mesh.verts) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
}

TEST_F(GpuSourceTest, TrajectoryOnlyAtTimeZeroAndNothingWhenSourceHidden) {
  VorSourceObj* s = Place(Matrix3());
  s->BuildMesh(0);
  EXPECT_EQ(s->shape.SplineCount(), 2);
  EXPECT_EQ(s->mesh.getNumVerts(), 25 + 84);
  s->BuildMesh(160);
  EXPECT_EQ(s->shape.SplineCount(), 1);
  EXPECT_EQ(s->mesh.getNumVerts(), 25);
  s->pblock2->SetValue(sp::kDrawTrajectory, 0, 0);
  s->BuildMesh(0);
  EXPECT_EQ(s->shape.SplineCount(), 1);
  s->pblock2->SetValue(sp::kDrawSource, 0, 0);
  s->BuildMesh(0);
  EXPECT_EQ(s->mesh.getNumVerts(), 0);
  EXPECT_EQ(s->mesh.getNumFaces(), 0);
  // Without a node the shape keeps what it had.
  auto* loose = new VorSourceObj();
  loose->UpdateShape(0);
  EXPECT_EQ(loose->shape.SplineCount(), 0);
  loose->DeleteThis();
}

TEST_F(GpuSourceTest, ClonesJoinTheOwnersListOnce) {
  auto* fluid = new BlobNode(false);
  GetCOREInterface()->CreateObjectNode(fluid, "fluid");
  VorSourceObj* s = fluid->CreateSourceObjectNode(GetCOREInterface());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(fluid->pblock2->Count(bp::kSourcesNodeList), 1);
  EXPECT_EQ(s->owner, fluid);
  EXPECT_NEAR(s->creationScale, 1.0f / 20.0f, 1e-7f);

  // A clone placed on the node already listed: nothing added, still pending.
  auto* c = static_cast<VorSourceObj*>(s->Clone(NoRemap()));
  EXPECT_EQ(c->pendingRegister, 1);
  EXPECT_EQ(c->owner, fluid);
  s->node->SetObjectRef(c);
  c->UpdateShape(0);
  EXPECT_EQ(fluid->pblock2->Count(bp::kSourcesNodeList), 1);
  EXPECT_EQ(c->pendingRegister, 1);

  // A clone on a node of its own joins at its first shape update.
  auto* d = static_cast<VorSourceObj*>(c->Clone(NoRemap()));
  INode* dn = GetCOREInterface()->CreateObjectNode(d, "copy");
  d->BuildMesh(0);
  ASSERT_EQ(fluid->pblock2->Count(bp::kSourcesNodeList), 2);
  EXPECT_EQ(fluid->pblock2->GetINode(bp::kSourcesNodeList, 0, 1), dn);
  EXPECT_EQ(d->pendingRegister, 0);
}

TEST_F(GpuSourceTest, GravityComesFromTheOwnerOrDefaultsToTen) {
  VorSourceObj* alone = Place(Matrix3());
  alone->pblock2->SetValue(sp::kSpeed, 0, 0.0f);
  alone->UpdateShape(0);
  const float dt = (160.0f / 4800.0f) / 5.0f;
  EXPECT_NEAR(alone->shape.GetSpline(1)->GetKnotPoint(1).z, -20.0f * 100.0f * dt * dt * 15.0f, 1e-3f);

  auto* fluid = new BlobNode(false);
  GetCOREInterface()->CreateObjectNode(fluid, "fluid");
  fluid->pblock2->SetValue(bp::kGravity, 0, 2.0f);
  alone->owner = fluid;
  alone->UpdateShape(0);
  EXPECT_NEAR(alone->shape.GetSpline(1)->GetKnotPoint(1).z, -20.0f * 20.0f * dt * dt * 15.0f, 1e-3f);
  EXPECT_EQ(alone->speedCache, 0.0f);
}

TEST_F(GpuSourceTest, DeletedFluidLeavesItsSourcesWithoutOwner) {
  auto* fluid = new BlobNode(false);
  INode* fn = GetCOREInterface()->CreateObjectNode(fluid, "fluid");
  VorSourceObj* s = fluid->CreateSourceObjectNode(GetCOREInterface());
  auto* c = static_cast<VorSourceObj*>(s->Clone(NoRemap()));  // pending, not listed
  GetCOREInterface()->DeleteNode(fn);
  EXPECT_EQ(s->owner, nullptr);
  EXPECT_EQ(c->owner, nullptr);
  s->BuildMesh(0);  // the orphan still draws, with the default gravity
  EXPECT_EQ(s->shape.SplineCount(), 2);
  c->DeleteThis();
}

TEST_F(GpuSourceTest, HiddenSourceIsPickedOnlyThroughItsEmitPoints) {
  VorSourceObj* s = Place(Matrix3());
  s->pblock2->SetValue(sp::kDrawSource, 0, 0);
  INode* n = FindNodeOf(s);
  ViewExp vpt;
  Point2 at = vpt.WorldToScreen(Point3(40, 0, 0));
  IPoint2 p{LONG(at.x), LONG(at.y)};
  EXPECT_EQ(s->HitTest(0, n, HITTYPE_POINT, 1, 0, &p, &vpt), 0);
  s->emitPoints.push_back(Point3(2, 0, 0));  // x 20 = 40 host units
  EXPECT_EQ(s->HitTest(0, n, HITTYPE_POINT, 1, 0, &p, &vpt), 1);
  EXPECT_EQ(vpt.getGW()->getRndLimits() & GW_PICK, 0u);
}

TEST_F(GpuSourceTest, DisplayDrawsTheLinesInWireframeAndRestoresTheWindow) {
  INode* n = nullptr;
  Matrix3 tm;
  tm.SetTrans(Point3(3, 4, 5));
  VorSourceObj* s = Place(tm, &n);
  ViewExp vpt;
  GraphicsWindow* gw = vpt.getGW();
  const DWORD limits = gw->getRndLimits();
  s->Display(0, n, &vpt, 0);
  EXPECT_EQ(gw->getRndLimits(), limits);
  ASSERT_GE(gw->CountRecords(DrawRecord::kMesh), 1);
  const DrawRecord& first = gw->Records().front();
  EXPECT_EQ(first.faces, 24 + 83);
  EXPECT_TRUE(first.rndLimits & GW_WIREFRAME);
  EXPECT_TRUE(first.rndLimits & GW_EDGES_ONLY);
  EXPECT_FALSE(first.rndLimits & GW_TEXTURE);
  EXPECT_EQ(first.tm.GetTrans(), Point3(3.0f, 4.0f, 5.0f));
}

// Opening a source shows its rollout, whose controls write the parameters.
TEST_F(GpuSourceTest, RolloutEditsRadiusSpeedAndSwitches) {
  VorSourceObj* s = Place(Matrix3());
  std::ostringstream out;
  std::string err;
  ASSERT_TRUE(vorel_ui::RunUiCommand("open src", out, &err)) << err;
  for (const char* line : {"set #189 1490 2.5", "set #189 1491 12", "press #189 1040", "press #189 1041",
                           "press #189 1042"})
    EXPECT_TRUE(vorel_ui::RunUiCommand(line, out, &err)) << line << ": " << err;
  EXPECT_EQ(s->pblock2->GetFloat(sp::kRadius, 0), 2.5f);
  EXPECT_EQ(s->pblock2->GetFloat(sp::kSpeed, 0), 12.0f);
  EXPECT_EQ(s->pblock2->GetInt(sp::kDisableSource, 0), 1);
  EXPECT_EQ(s->pblock2->GetInt(sp::kDrawTrajectory, 0), 0);
  EXPECT_EQ(s->pblock2->GetInt(sp::kDrawSource, 0), 0);
  EXPECT_TRUE(vorel_ui::RunUiCommand("close", out, &err)) << err;
}

}  // namespace
