#include <gtest/gtest.h>

#include "test_classes.h"

using namespace sdktest;

namespace {

void ExpectNear(const Point3& a, const Point3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-4f);
  EXPECT_NEAR(a.y, b.y, 1e-4f);
  EXPECT_NEAR(a.z, b.z, 1e-4f);
}

TEST(Splines, AutoKnotsAreSmoothAndOpenEndsStraight) {
  Spline3D s;
  for (Point3 p : {Point3(0, 0, 0), Point3(10, 0, 0), Point3(10, 10, 0)})
    s.AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, p, p, p));
  s.ComputeBezPoints();
  EXPECT_EQ(s.Segments(), 2);
  // The middle knot's handles lie on the chord through its neighbours.
  ExpectNear(s.GetOutVec(1) - s.GetKnotPoint(1), Point3(10, 10, 0) * (1.0f / 6.0f));
  ExpectNear(s.GetInVec(1) - s.GetKnotPoint(1), Point3(-10, -10, 0) * (1.0f / 6.0f));
  // Ends: a third of the way to the neighbour.
  ExpectNear(s.GetOutVec(0), Point3(10.0f / 3.0f, 0.0f, 0.0f));
  ExpectNear(s.InterpBezier3D(0, 0.0f), Point3(0, 0, 0));
  ExpectNear(s.InterpBezier3D(1, 1.0f), Point3(10, 10, 0));
  // The tangent is the raw derivative: three times the first handle at u = 0.
  ExpectNear(s.TangentBezier3D(0, 0.0f), Point3(10, 0, 0));
  s.SetClosed(true);
  EXPECT_EQ(s.Segments(), 3);
  s.Reverse();
  ExpectNear(s.GetKnotPoint(0), Point3(10, 10, 0));
  Spline3D one;
  one.AddKnot(SplineKnot());
  EXPECT_EQ(one.Segments(), 0);
  ExpectNear(one.InterpBezier3D(3, 0.5f), Point3());
}

class Warp : public WSMObject {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E570003, 1); }
  ForceField* GetForceField(INode*) override {
    struct Up : ForceField {
      Point3 Force(TimeValue, const Point3&, const Point3&, int) override { return Point3(0, 0, 1); }
    };
    return new Up();
  }
};
class Binding : public SimpleWSMMod {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E570004, 1); }
  void ModifyObject(TimeValue t, ModContext&, ObjectState* os, INode*) override {
    WSMObject* w = GetWSMObject(t);
    if (w && os->obj) os->obj->AddForceField(w->GetForceField(nodeRef));
  }
};
class Particles : public ParticleObject {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E570005, 1); }
  ~Particles() override {
    for (ForceField* f : fields) f->DeleteThis();
  }
};

TEST(SpaceWarps, BindingsGiveParticlesTheWarpsForce) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  INode* warpNode = ip->CreateObjectNode(new Warp(), "warp");
  auto* ps = new Particles();
  IDerivedObject* d = CreateWSDerivedObject(ps);
  auto* bind = new Binding();
  bind->ReplaceReference(1, warpNode);
  d->AddModifier(bind);
  INode* psNode = ip->CreateObjectNode(d, "particles");
  EXPECT_EQ(bind->GetWSMObject(0), warpNode->GetObjectRef());
  const ObjectState& os = psNode->EvalWorldState(0);
  ASSERT_EQ(os.obj, ps);
  ASSERT_EQ(ps->fields.size(), 1u);
  EXPECT_EQ(ps->fields[0]->Force(0, Point3(), Point3(), 0), Point3(0, 0, 1));
  EXPECT_EQ(ps->GetInterface(I_PARTICLEOBJ), static_cast<void*>(ps));
  // The warp goes: the binding loses its node and finds no warp.
  ip->DeleteNode(warpNode);
  EXPECT_EQ(bind->nodeRef, nullptr);
  EXPECT_EQ(bind->GetWSMObject(0), nullptr);
  ip->ResetScene();
  EXPECT_FALSE(Animatable::IsAlive(ps));
}

TEST(Descriptors, AutoBlocksAndDescriptions) {
  ClassDesc2* cd = GetTestObjectDesc();
  EXPECT_EQ(cd->GetParamBlockDescByID(0), GetTestBlockDesc());
  EXPECT_EQ(cd->GetParamBlockDescByName("PARAMS"), GetTestBlockDesc());
  EXPECT_EQ(cd->GetParamBlockDesc(3), nullptr);
  auto* o = new TestObject();
  ASSERT_NE(o->pblock2, nullptr);
  EXPECT_EQ(o->pblock2->GetOwner(), o);
  EXPECT_EQ(o->GetParamBlockByID(0), o->pblock2);
  EXPECT_EQ(o->GetParamBlockByID(1), nullptr);
  const ParamBlockDesc2* d = GetTestBlockDesc();
  EXPECT_EQ(d->IDtoIndex(P_NODES), 4);
  EXPECT_EQ(d->IndextoID(9), -1);
  EXPECT_EQ(d->GetParamDef(P_RATE).ctrl_ids, (std::vector<int>{1000, 1001}));
  EXPECT_EQ(d->GetParamDef(P_MODE).ctrl_type, TYPE_RADIO);
  EXPECT_EQ(d->GetParamDef(99).id, -1);
  // A user procedure is kept per map.
  auto* proc = reinterpret_cast<ParamMap2UserDlgProc*>(0x10);
  GetTestBlockDesc()->SetUserDlgProc(1, proc);
  EXPECT_EQ(GetTestBlockDesc()->GetUserDlgProc(1), proc);
  EXPECT_EQ(GetTestBlockDesc()->GetUserDlgProc(0), nullptr);
  GetTestBlockDesc()->SetUserDlgProc(1, nullptr);
  o->DeleteThis();
}

struct Counter {
  int calls = 0;
};
void SelfRemoving(void* param, NotifyInfo*) {
  ++static_cast<Counter*>(param)->calls;
  UnRegisterNotification(SelfRemoving, param, NOTIFY_TIME_CHANGED);
}

TEST(Notifications, HandlersMayUnregisterWhileCalled) {
  Counter a, b;
  RegisterNotification(SelfRemoving, &a, NOTIFY_TIME_CHANGED);
  RegisterNotification(SelfRemoving, &b, NOTIFY_TIME_CHANGED);
  RegisterNotification(SelfRemoving, &b, NOTIFY_TIME_CHANGED);  // once only
  GetCOREInterface()->SetTime(0, false);
  GetCOREInterface()->SetTime(160, false);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 1);
}

TEST(Clone, SharedTargetsStaySharedAndNodeEntriesAreKept) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  ClassDirectory::Get().AddClass(GetTestObjectDesc());
  INode* n = ip->CreateObjectNode(new TestObject(), "n");
  auto* o = new TestObject();
  o->pblock2->Append(P_NODES, 1, &n);
  o->pblock2->SetValue(P_RATE, 0, 42.0f);
  RemapDir remap;
  auto* c = static_cast<TestObject*>(remap.CloneRef(o));
  EXPECT_FLOAT_EQ(c->pblock2->GetFloat(P_RATE), 42.0f);
  EXPECT_EQ(c->pblock2->GetINode(P_NODES, 0, 0), n);
  EXPECT_EQ(remap.FindMapping(o->pblock2), c->pblock2);
  c->pblock2->SetValue(P_RATE, 0, 1.0f);
  EXPECT_FLOAT_EQ(o->pblock2->GetFloat(P_RATE), 42.0f);
  ip->DeleteNode(n);
  EXPECT_EQ(c->pblock2->GetINode(P_NODES, 0, 0), nullptr);
  EXPECT_EQ(o->pblock2->GetINode(P_NODES, 0, 0), nullptr);
  c->DeleteThis();
  o->DeleteThis();
}

}  // namespace
