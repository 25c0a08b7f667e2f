#include <gtest/gtest.h>

#include <cmath>

#include "test_classes.h"

using namespace sdktest;

namespace {

class Scene : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassDirectory::Get().AddClass(GetTestObjectDesc());
    ip = GetCOREInterface();
    ip->ResetScene();
  }
  void TearDown() override { ip->ResetScene(); }
  INode* Make(const char* name) { return ip->CreateObjectNode(new TestObject(), name); }
  Interface* ip = nullptr;
};

void ExpectNear(const Point3& a, const Point3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-4f);
  EXPECT_NEAR(a.y, b.y, 1e-4f);
  EXPECT_NEAR(a.z, b.z, 1e-4f);
}

TEST_F(Scene, NamesLookupIsCaseInsensitiveAndUniqueNamesKeepThePrefix) {
  INode* clip = Make("Vorelclip");
  EXPECT_EQ(ip->GetINodeByName("VorelClip"), clip);
  EXPECT_EQ(ip->GetINodeByName("vorelclip"), clip);
  EXPECT_EQ(ip->GetINodeByName("Vorelclip2"), nullptr);
  std::string n = "VorelParticle";
  ip->MakeNameUnique(n);
  EXPECT_EQ(n, "VorelParticle");  // unused: unchanged
  Make("VorelParticle");
  Make("VorelParticle001");
  ip->MakeNameUnique(n);
  EXPECT_EQ(n, "VorelParticle002");
  // Objects name their nodes; duplicates get numbered.
  INode* a = ip->CreateObjectNode(new TestObject());
  INode* b = ip->CreateObjectNode(new TestObject());
  EXPECT_STREQ(a->GetName(), "TestObject");
  EXPECT_STREQ(b->GetName(), "TestObject001");
}

TEST_F(Scene, HandlesAreUniqueAndFindNodes) {
  INode* a = Make("a");
  INode* b = Make("b");
  EXPECT_NE(a->GetHandle(), b->GetHandle());
  EXPECT_EQ(ip->GetINodeByHandle(b->GetHandle()), b);
  uint32_t h = a->GetHandle();
  ip->DeleteNode(a);
  EXPECT_EQ(ip->GetINodeByHandle(h), nullptr);
  INode* c = Make("c");
  EXPECT_NE(c->GetHandle(), h);  // never reused
  // The object finds its node through its dependents, or by message.
  Object* o = c->GetObjectRef();
  EXPECT_EQ(FindNodeOf(o), c);
  uint32_t got = 0;
  static_cast<ReferenceTarget*>(o)->NotifyDependents(FOREVER, reinterpret_cast<PartID>(&got),
                                                     REFMSG_GET_NODE_HANDLE);
  EXPECT_EQ(got, c->GetHandle());
}

TEST_F(Scene, ObjectTransformAppliesOffsetBeforeNodeTransform) {
  INode* n = Make("n");
  Matrix3 tm = RotateZMatrix(float(M_PI / 2));
  tm.SetTrans(Point3(10.0f, 0.0f, 0.0f));
  n->SetNodeTM(0, tm);
  n->SetObjOffsetPos(Point3(1.0f, 0.0f, 0.0f));
  ExpectNear(Point3(0.0f, 0.0f, 0.0f) * n->GetNodeTM(0), Point3(10.0f, 0.0f, 0.0f));
  // The offset moves the object along the node's local x, which is world y.
  ExpectNear(Point3(0.0f, 0.0f, 0.0f) * n->GetObjectTM(0), Point3(10.0f, 1.0f, 0.0f));
  // A child keeps its place relative to a parent that moves.
  INode* c = Make("c");
  c->SetNodeTM(0, TransMatrix(Point3(0.0f, 5.0f, 0.0f)));
  n->AttachChild(c);
  n->SetNodeTM(0, TransMatrix(Point3(0.0f, 0.0f, 2.0f)) * tm);
  ExpectNear(c->GetNodeTM(0).GetTrans(), Point3(0.0f, 5.0f, 2.0f));
}

TEST_F(Scene, TransformKeysInterpolateBetweenAndHoldOutside) {
  INode* n = Make("n");
  n->SetNodeTM(0, TransMatrix(Point3(1.0f, 0.0f, 0.0f)));
  Matrix3 turned = RotateZMatrix(float(M_PI / 2)) * ScaleMatrix(Point3(3.0f, 3.0f, 3.0f));
  turned.SetTrans(Point3(1.0f, 0.0f, 10.0f));
  ASSERT_TRUE(n->SetTMKey(1600, turned));
  ASSERT_EQ(n->NumTMKeys(), 2);  // the transform so far pinned at 0
  Interval valid;
  ExpectNear(n->GetNodeTM(-500, &valid).GetTrans(), Point3(1.0f, 0.0f, 0.0f));  // before the first
  EXPECT_EQ(valid, Interval(-500, -500));
  ExpectNear(n->GetNodeTM(9000).GetTrans(), Point3(1.0f, 0.0f, 10.0f));  // after the last
  ExpectNear(n->GetNodeTM(9000).GetRow(0), Point3(0.0f, 3.0f, 0.0f));
  // Halfway: position and scale halfway, the turn halfway along its arc.
  const Matrix3 mid = n->GetNodeTM(800);
  ExpectNear(mid.GetTrans(), Point3(1.0f, 0.0f, 5.0f));
  const float h = 2.0f * std::sqrt(0.5f);
  ExpectNear(mid.GetRow(0), Point3(h, h, 0.0f));
  ExpectNear(mid.GetRow(2), Point3(0.0f, 0.0f, 2.0f));
  // A turn of 270 degrees is the shorter one of 90 the other way round.
  ASSERT_TRUE(n->SetTMKey(1600, RotateZMatrix(float(3 * M_PI / 2))));
  ExpectNear(n->GetNodeTM(800).GetRow(0), Point3(std::sqrt(0.5f), -std::sqrt(0.5f), 0.0f));
  // A mirror survives as a key; a flat or broken transform is no key.
  ASSERT_TRUE(n->SetTMKey(3200, ScaleMatrix(Point3(1.0f, -1.0f, 1.0f))));
  EXPECT_LT(n->GetNodeTM(4000).Determinant3(), 0.0f);
  ExpectNear(Point3(0.0f, 1.0f, 0.0f) * n->GetNodeTM(4000), Point3(0.0f, -1.0f, 0.0f));
  EXPECT_FALSE(n->SetTMKey(100, ScaleMatrix(Point3(1.0f, 0.0f, 1.0f))));
  EXPECT_FALSE(n->SetTMKey(100, TransMatrix(Point3(NAN, 0.0f, 0.0f))));
  EXPECT_EQ(n->NumTMKeys(), 3);
  // Outside animate mode a move shifts the whole track; in it, it keys.
  n->SetNodeTM(0, TransMatrix(Point3(1.0f, 0.0f, 2.0f)));
  EXPECT_EQ(n->NumTMKeys(), 3);
  ExpectNear(n->GetNodeTM(9000).GetTrans(), Point3(0.0f, 0.0f, 2.0f));
  ip->SetAnimateMode(true);
  n->SetNodeTM(4800, TransMatrix(Point3(0.0f, 0.0f, 4.0f)));
  ip->SetAnimateMode(false);
  EXPECT_EQ(n->NumTMKeys(), 4);
  ExpectNear(n->GetNodeTM(4000).GetTrans(), Point3(0.0f, 0.0f, 3.0f));
}

TEST_F(Scene, MovingAReferencedNodeSendsATransformChange) {
  INode* src = Make("source");
  INode* sys = Make("system");
  auto* o = static_cast<TestObject*>(sys->GetObjectRef());
  o->ReplaceReference(1, src);  // the system references its source at k + 1
  o->log.clear();
  src->SetNodeTM(0, TransMatrix(Point3(1.0f, 2.0f, 3.0f)));
  ASSERT_FALSE(o->log.empty());
  EXPECT_EQ(o->log[0], "change source part=" + std::to_string(PART_TM));
  // Deleting it tells the system and empties the slot.
  ip->DeleteNode(src);
  EXPECT_EQ(o->log.back(), "deleted source");
  EXPECT_EQ(o->extra[0], nullptr);
}

struct DeleteLog {
  std::vector<std::string> events;
  INode* extra = nullptr;
};
void OnPreDelete(void* param, NotifyInfo* info) {
  auto* log = static_cast<DeleteLog*>(param);
  auto* tab = static_cast<INodeTab*>(info->callParam);
  log->events.push_back("pre-delete " + std::to_string(tab->Count()));
  if (log->extra) tab->AppendNode(log->extra);  // handlers may add nodes
}

TEST_F(Scene, DeletionBroadcastsFirstWithAnExtensibleTableThenTellsDependents) {
  INode* a = Make("a");
  INode* helper = Make("helper");
  INode* sys = Make("sys");
  auto* o = static_cast<TestObject*>(sys->GetObjectRef());
  o->ReplaceReference(1, a);
  o->ReplaceReference(2, helper);
  DeleteLog log;
  log.extra = helper;
  RegisterNotification(OnPreDelete, &log, NOTIFY_SEL_NODES_PRE_DELETE);
  o->log.clear();
  ip->DeleteNode(a);
  UnRegisterNotification(OnPreDelete, &log, NOTIFY_SEL_NODES_PRE_DELETE);
  ASSERT_EQ(log.events.size(), 1u);
  EXPECT_EQ(log.events[0], "pre-delete 1");
  EXPECT_EQ(ip->GetINodeByName("a"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("helper"), nullptr);
  EXPECT_EQ(o->log, (std::vector<std::string>{"deleted a", "deleted helper"}));
  EXPECT_EQ(ip->NodeCount(), 1);
}

TEST_F(Scene, DependencyTestFlagsNodesThatDependOnTheObject) {
  INode* sys = Make("sys");
  INode* other = Make("other");
  sys->ClearAFlag(A_WORK1);
  other->ClearAFlag(A_WORK1);
  static_cast<ReferenceTarget*>(sys->GetObjectRef())
      ->NotifyDependents(FOREVER, PART_ALL, REFMSG_TEST_DEPENDENCY);
  EXPECT_TRUE(sys->TestAFlag(A_WORK1));
  EXPECT_FALSE(other->TestAFlag(A_WORK1));
}

TEST_F(Scene, InstanceManagerListsNodesSharingAnObject) {
  auto* o = new TestObject();
  INode* a = ip->CreateObjectNode(o, "a");
  INode* b = ip->CreateObjectNode(o, "b");
  Make("c");
  auto* mgr = static_cast<IInstanceMgr*>(GetCOREInterface(INSTANCE_MGR_INTERFACE));
  ASSERT_NE(mgr, nullptr);
  INodeTab tab;
  EXPECT_EQ(mgr->GetInstances(*b, tab), 2u);
  EXPECT_TRUE(tab.Contains(a) && tab.Contains(b));
  // The shared object survives until its last node goes.
  ip->DeleteNode(a);
  EXPECT_TRUE(Animatable::IsAlive(o));
  ip->DeleteNode(b);
  EXPECT_FALSE(Animatable::IsAlive(o));
}

TEST_F(Scene, SelectionKeepsOrderAndForgetsDeletedNodes) {
  INode* a = Make("a");
  INode* b = Make("b");
  ip->SelectNode(b);
  ip->SelectNode(a, 0);
  ASSERT_EQ(ip->GetSelNodeCount(), 2);
  EXPECT_EQ(ip->GetSelNode(0), b);
  EXPECT_TRUE(a->Selected());
  ip->DeleteNode(b);
  EXPECT_EQ(ip->GetSelNodeCount(), 1);
  ip->SelectNode(a);
  EXPECT_EQ(ip->GetSelNode(0), a);
  EXPECT_EQ(ip->GetSelNode(5), nullptr);
}

// An object whose evaluation changes the scene: it re-enters SetTime and
// may delete another node.
class SideEffectObject : public TestObject {
 public:
  void BuildMesh(TimeValue t) override {
    TestObject::BuildMesh(t);
    evals.push_back(t);
    if (reenter) {
      reenter = false;
      GetCOREInterface()->SetTime(t + 160, false);
    }
    if (victim) {
      GetCOREInterface()->DeleteNode(victim);
      victim = nullptr;
    }
    ivalid = Interval(t, t);
  }
  std::vector<TimeValue> evals;
  bool reenter = false;
  INode* victim = nullptr;
};

struct TimeLog {
  std::vector<TimeValue> times;
};
void OnTime(void* param, NotifyInfo* info) {
  static_cast<TimeLog*>(param)->times.push_back(*static_cast<TimeValue*>(info->callParam));
}

TEST_F(Scene, SetTimeEvaluatesVisibleObjectsWithoutRedrawThenNotifies) {
  auto* o = new SideEffectObject();
  ip->CreateObjectNode(o, "sys");
  INode* hidden = Make("hidden");
  hidden->Hide(true);
  auto* ho = static_cast<TestObject*>(hidden->GetObjectRef());
  TimeLog tl;
  RegisterNotification(OnTime, &tl, NOTIFY_TIME_CHANGED);
  int redraws = ip->RedrawCount();
  ip->SetTime(480, false);
  EXPECT_EQ(o->evals, std::vector<TimeValue>{480});
  EXPECT_EQ(ho->builds, 0);
  EXPECT_EQ(ip->RedrawCount(), redraws);
  ip->SetTime(640, true);
  EXPECT_EQ(ip->RedrawCount(), redraws + 1);
  UnRegisterNotification(OnTime, &tl, NOTIFY_TIME_CHANGED);
  EXPECT_EQ(tl.times, (std::vector<TimeValue>{480, 640}));
}

TEST_F(Scene, NodeDeletedOrTimeChangedDuringEvaluationIsSafe) {
  auto* first = new SideEffectObject();
  ip->CreateObjectNode(first, "first");
  INode* victim = Make("victim");
  auto* vo = static_cast<TestObject*>(victim->GetObjectRef());
  first->victim = victim;
  first->reenter = true;
  ip->SetTime(160, false);
  EXPECT_EQ(ip->GetINodeByName("victim"), nullptr);
  EXPECT_FALSE(Animatable::IsAlive(vo));
  // The inner SetTime left the time where it set it; the outer evaluation
  // finished without evaluating the first object again recursively.
  EXPECT_EQ(ip->GetTime(), 320);
  EXPECT_EQ(first->evals, std::vector<TimeValue>{160});
}

struct RenderLog {
  std::vector<std::string> events;
};
void OnRender(void* param, NotifyInfo* info) {
  auto* log = static_cast<RenderLog*>(param);
  std::string e = std::to_string(info->intcode);
  if (info->intcode == NOTIFY_PRE_RENDERFRAME)
    e += "@" + std::to_string(static_cast<RenderGlobalContext*>(info->callParam)->time);
  log->events.push_back(e);
}

TEST_F(Scene, RenderBracketRunsFramesBetweenStartAndEnd) {
  Make("a");
  RenderLog log;
  for (int c : {NOTIFY_PRE_RENDER, NOTIFY_POST_RENDER, NOTIFY_PRE_RENDERFRAME})
    RegisterNotification(OnRender, &log, c);
  EXPECT_EQ(ip->RenderFrames(0, 320, 160), 3);
  UnRegisterNotification(OnRender, &log);
  EXPECT_EQ(log.events, (std::vector<std::string>{"20", "22@0", "22@160", "22@320", "21"}));
}

TEST_F(Scene, HostPrimitivesBuildTheirMeshes) {
  auto* box = static_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  ASSERT_NE(box, nullptr);
  box->GetParamBlock(0)->SetValue(BOXOBJ_LENGTH, 0, 200.0f);
  box->GetParamBlock(0)->SetValue(BOXOBJ_WIDTH, 0, 100.0f);
  box->GetParamBlock(0)->SetValue(BOXOBJ_HEIGHT, 0, 50.0f);
  Box3 bb;
  box->GetDeformBBox(0, bb);
  ExpectNear(bb.pmin, Point3(-50.0f, -100.0f, 0.0f));
  ExpectNear(bb.pmax, Point3(50.0f, 100.0f, 50.0f));
  // Conversion gives a new triangle object the caller deletes.
  Object* tri = box->ConvertToType(0, triObjectClassID());
  ASSERT_NE(tri, box);
  const Mesh& m = static_cast<TriObject*>(tri)->mesh;
  EXPECT_EQ(m.getNumFaces(), 12);
  // Mapping on (the default): every side spans the whole map, so a texture
  // painted from it (a wet map) covers each side once, corner to corner.
  ASSERT_EQ(m.getNumTVFaces(), 12);
  for (int f = 0; f < 12; ++f) {
    float area = 0;
    Point3 c[3];
    for (int k = 0; k < 3; ++k) c[k] = m.tVerts[size_t(m.tvFace[size_t(f)].t[k])];
    area = 0.5f * std::fabs((c[1].x - c[0].x) * (c[2].y - c[0].y) - (c[2].x - c[0].x) * (c[1].y - c[0].y));
    EXPECT_FLOAT_EQ(area, 0.5f) << "face " << f;
  }
  tri->DeleteThis();
  box->GetParamBlock(0)->SetValue(BOXOBJ_GENUVS, 0, 0);
  tri = box->ConvertToType(0, triObjectClassID());
  EXPECT_EQ(static_cast<TriObject*>(tri)->mesh.getNumTVFaces(), 0);
  tri->DeleteThis();
  box->DeleteThis();

  auto* sphere = static_cast<GenSphere*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, sphereClassID()));
  sphere->SetParams(45.0f, 10, true, true, 0.5f, true, false);
  sphere->GetDeformBBox(0, bb);
  EXPECT_NEAR(bb.pmin.z, 0.0f, 1e-3f);  // the lower half is cut away
  EXPECT_NEAR(bb.pmax.z, 45.0f, 1e-3f);
  EXPECT_GT(sphere->mesh.getNumVerts(), 41);
  sphere->DeleteThis();

  EXPECT_EQ(ip->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(0x5944D962, 0x369BB1C6)), nullptr);
  auto* rect = static_cast<ShapeObject*>(ip->CreateInstance(SHAPE_CLASS_ID, rectangleClassID()));
  rect->GetParamBlock(0)->SetValue(RECTANGLE_LENGTH, 0, 10.0f);
  rect->GetParamBlock(0)->SetValue(RECTANGLE_WIDTH, 0, 10.0f);
  BezierShape shape;
  rect->MakeBezier(0, shape);
  ASSERT_EQ(shape.SplineCount(), 1);
  EXPECT_TRUE(shape.GetSpline(0)->Closed());
  EXPECT_EQ(shape.GetSpline(0)->Segments(), 4);
  ExpectNear(shape.GetSpline(0)->InterpBezier3D(0, 0.5f), Point3(0.0f, -5.0f, 0.0f));
  ExpectNear(shape.GetSpline(0)->TangentBezier3D(0, 0.5f), Point3(10.0f, 0.0f, 0.0f));
  rect->DeleteThis();
}

class PushMod : public Modifier {
 public:
  explicit PushMod(float dz) : dz_(dz) {}
  void ModifyObject(TimeValue, ModContext&, ObjectState* os, INode*) override {
    if (auto* t = dynamic_cast<TriObject*>(os->obj))
      for (Point3& p : t->mesh.verts) p.z += dz_;
  }
  float dz_;
};

TEST_F(Scene, DerivedObjectsEvaluateTheirStackBottomFirst) {
  TriObject* tri = CreateNewTriObject();
  tri->mesh.setNumVerts(1);
  IDerivedObject* d = CreateDerivedObject(tri);
  d->AddModifier(new PushMod(1.0f));
  d->AddModifier(new PushMod(10.0f), 1);  // below the first
  INode* n = ip->CreateObjectNode(d, "d");
  EXPECT_EQ(d->NumModifiers(), 2);
  EXPECT_EQ(d->GetObjRef(), tri);
  EXPECT_EQ(d->FindBaseObject(), tri);
  const ObjectState& os = n->EvalWorldState(0);
  EXPECT_EQ(os.obj, tri);
  EXPECT_FLOAT_EQ(tri->mesh.verts[0].z, 11.0f);
  EXPECT_EQ(FindNodeOf(tri), n);
  EXPECT_EQ(CreateWSDerivedObject()->SuperClassID(), WSM_DERIVOB_CLASS_ID);
}

}  // namespace
