// The object attractor and the path-follow force as scene objects: their
// descriptors, targets and samples, forces through GetForceField, binding,
// icon box and cloning.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "host/sdk/max.h"
#include "host/sdk/primitives.h"
#include "host/sdk/script.h"
#include "host/ui/script.h"
#include "host/ui/ui.h"
#include "scene_objects/attractor_desc.h"
#include "scene_objects/force_math.h"
#include "scene_objects/force_params.h"
#include "scene_objects/obj_attractor.h"
#include "scene_objects/path_follow.h"
#include "scene_objects/path_follow_desc.h"

namespace {

class ForceFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override { ip()->ResetScene(); }
  void TearDown() override {
    vorel::host::PressEscapeAtPoll(0);
    ip()->ResetScene();
  }
  static Interface* ip() { return GetCOREInterface(); }

  // A 20 x 20 x 20 box standing at `at`.
  INode* Box(const char* name, const Point3& at) {
    auto* box = static_cast<GenBoxObject*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    box->SetParams(20.0f, 20.0f, 20.0f);
    INode* n = ip()->CreateObjectNode(box, name);
    n->SetNodeTM(0, TransMatrix(at));
    return n;
  }
  ObjAttractorObject* Attractor(INode*& node) {
    auto* obj = static_cast<ObjAttractorObject*>(GetObjAttractorDesc()->Create(false));
    node = ip()->CreateObjectNode(obj, "attractor");
    return obj;
  }
  Point3 ForceOf(Object* warp, INode* node, const Point3& pos, const Point3& vel, int index,
                 TimeValue t = 0) {
    ForceField* f = static_cast<WSMObject*>(warp)->GetForceField(node);
    Point3 r = f->Force(t, pos, vel, index);
    f->DeleteThis();
    return r;
  }
};

void ExpectNear(const Point3& a, const Point3& b, float tol = 1e-10f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

}  // namespace

TEST_F(ForceFieldsTest, DescriptorsMakeTheWarpsAndTheirBindings) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(a->pblock2, nullptr);
  EXPECT_EQ(a->ClassID(), Class_ID(0x439C181A, 0x1C543B39));
  EXPECT_STREQ(a->GetObjectName(), "VorelobjAttr");
  EXPECT_EQ(a->NumRefs(), 2);
  EXPECT_FLOAT_EQ(a->pblock2->GetFloat(kForceStrength, 0), 1.0f);
  Modifier* mod = a->CreateWSMMod(node);
  ASSERT_NE(mod, nullptr);
  EXPECT_EQ(mod->ClassID(), Class_ID(0x6A6F7C85, 0x7C462C2A));
  EXPECT_EQ(mod->SuperClassID(), WSM_CLASS_ID);
  EXPECT_EQ(static_cast<SimpleWSMMod*>(mod)->nodeRef, node);
  mod->DeleteThis();
  Animatable* m2 = GetObjAttractorModDesc()->Create(false);
  ASSERT_NE(m2, nullptr);
  m2->DeleteThis();

  auto* w = static_cast<WindObject*>(GetWindDesc()->Create(false));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->ClassID(), Class_ID(0x0D603F24, 0x339F43CA));
  EXPECT_STREQ(w->GetObjectName(), "VorelpathFollow");
  EXPECT_FLOAT_EQ(w->pblock2->GetFloat(kPathStrength2, 0), 1.0f);
  // Any reference but the path answers the block.
  EXPECT_EQ(w->GetReference(5), w->pblock2);
  Animatable* wm = GetWindModDesc()->Create(false);
  ASSERT_NE(wm, nullptr);
  EXPECT_STREQ(static_cast<BaseObject*>(wm)->GetObjectName(), "VorelpathFollow Binding");
  wm->DeleteThis();
  w->DeleteThis();
}

TEST_F(ForceFieldsTest, SurfaceSamplesSteerEachParticleToItsOwnVertex) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  INode* box = Box("target", Point3(100, 0, 0));
  a->SetTarget(box);
  ASSERT_EQ(a->samples.size(), 8u);  // the box's vertices, in its own frame
  const Matrix3 m = box->GetNodeTM(0);
  const Point3 pos(0, 0, 50), vel(0, 5, 0);
  // n = 8: stride 3, particle 5 aims at vertex 15 mod 8 = 7.
  for (int index : {0, 5, 13}) {
    Point3 goal = a->samples[size_t((3 * index) % 8)] * m;
    ExpectNear(ForceOf(a, node, pos, vel, index), force_math::GoalForce(goal, pos, vel, 1.0f));
  }
  a->pblock2->SetValue(kAttrOrdered, 0, 1);
  Point3 goal = a->samples[5] * m;
  ExpectNear(ForceOf(a, node, pos, vel, 13), force_math::GoalForce(goal, pos, vel, 1.0f));
  // Strength 0: nothing, whatever the mode.
  a->pblock2->SetValue(kForceStrength, 0, 0.0f);
  EXPECT_EQ(ForceOf(a, node, pos, vel, 13), Point3(0.0f, 0.0f, 0.0f));
}

TEST_F(ForceFieldsTest, WithoutSamplesTheGoalIsTheTargetsPivot) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  INode* box = Box("VorelBox", Point3(100, 0, 0));
  a->pblock2->SetValue(kAttrAttractionType, 0, int(kAttractVolume));
  a->SetTarget(box);  // a "Vorel..." target is never sampled
  EXPECT_TRUE(a->samples.empty());
  const Point3 pos(0, 0, 0), vel;
  // The pivot itself (100, 0, 0), not the pivot moved once more by the transform.
  ExpectNear(ForceOf(a, node, pos, vel, 3), force_math::GoalForce(Point3(100, 0, 0), pos, vel, 1.0f));
  // Old samples stay when such a target is sampled again.
  box->SetName("target");
  a->SampleTarget();
  const size_t n = a->samples.size();
  ASSERT_GT(n, 0u);
  box->SetName("VorelAgain");
  a->SampleTarget();
  EXPECT_EQ(a->samples.size(), n);
}

TEST_F(ForceFieldsTest, VolumeSamplesFillTheTargetAndEscapeLeavesNone) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  INode* box = Box("target", Point3(0, 0, 0));
  a->pblock2->SetValue(kAttrAttractionType, 0, int(kAttractVolume));
  a->SetTarget(box);
  ASSERT_GT(a->samples.size(), 8u);
  for (const Point3& p : a->samples) {
    EXPECT_GT(p.x, -10.0f);
    EXPECT_LT(p.x, 10.0f);
    EXPECT_GT(p.z, 0.0f);
    EXPECT_LT(p.z, 20.0f);
  }
  EXPECT_FALSE(a->layerCounts.empty());
  // Escape during the fill: empty samples, and the force aims at the pivot.
  vorel::host::PressEscapeAtPoll(1);
  a->SampleTarget();
  vorel::host::PressEscapeAtPoll(0);
  EXPECT_TRUE(a->samples.empty());
  ExpectNear(ForceOf(a, node, Point3(0, 0, 100), Point3(), 0),
             force_math::GoalForce(Point3(0, 0, 0), Point3(0, 0, 100), Point3(), 1.0f));
}

TEST_F(ForceFieldsTest, NoTargetPushesAlongTheIconAxisAndTurbulenceIsNotStored) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  node->SetNodeTM(0, TransMatrix(Point3(0, 0, 10)));
  ForceField* f = a->GetForceField(node);
  Point3 plain = f->Force(0, Point3(0, 0, 110), Point3(1, 0, 0), 0);
  ExpectNear(plain, force_math::PlanarForce(TransMatrix(Point3(0, 0, 10)), Point3(0, 0, 110), 1.0f), 1e-14f);
  a->pblock2->SetValue(kForceTurbulence, 0, 100.0f);
  a->pblock2->SetValue(kForceFrequency, 0, 1.0f);
  Point3 noisy = f->Force(480, Point3(3, 4, 110), Point3(1, 0, 0), 0);
  Point3 stored = static_cast<ObjAttractorField*>(f)->force;
  ExpectNear(noisy - stored,
             force_math::TurbulenceTerm(480, Point3(3, 4, 110), Point3(0, 0, 10), 100.0f, 1.0f, 1.0f), 1e-12f);
  a->pblock2->SetValue(kForceTurbulence, 0, 0.0f);
  EXPECT_EQ(f->Force(480, Point3(3, 4, 110), Point3(1, 0, 0), 0), static_cast<ObjAttractorField*>(f)->force);
  f->DeleteThis();
}

TEST_F(ForceFieldsTest, IconAndHoopsBox) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  a->pblock2->SetValue(kForceIconSize, 0, 5.0f);
  Box3 box;
  a->GetWorldBoundBox(0, node, nullptr, box);
  EXPECT_FLOAT_EQ(box.pmax.x, 5.0f);
  EXPECT_FLOAT_EQ(box.pmax.z, 5.0f);
  a->pblock2->SetValue(kForceHoopsOn, 0, 1);
  a->GetWorldBoundBox(0, node, nullptr, box);
  EXPECT_FLOAT_EQ(box.pmax.x, 15.0f);
  EXPECT_FLOAT_EQ(box.pmin.y, -15.0f);
  EXPECT_FLOAT_EQ(box.pmax.z, 138.62944f);
  a->UpdateMesh(0);
  EXPECT_EQ(a->mesh.getNumVerts(), 45);
  EXPECT_EQ(a->mesh.getNumFaces(), 28);
}

TEST_F(ForceFieldsTest, BindingHandsParticleSystemsTheEmbeddedField) {
  INode* warpNode = nullptr;
  ObjAttractorObject* a = Attractor(warpNode);
  struct Particles : ParticleObject {
    Class_ID ClassID() override { return Class_ID(0x7E570105, 1); }
    ~Particles() override {
      for (ForceField* f : fields) f->DeleteThis();  // must not free the modifier's field
    }
  };
  auto* ps = new Particles();
  IDerivedObject* d = CreateWSDerivedObject(ps);
  Modifier* mod = a->CreateWSMMod(warpNode);
  d->AddModifier(mod);
  INode* psNode = ip()->CreateObjectNode(d, "particles");
  psNode->EvalWorldState(0);
  ASSERT_EQ(ps->fields.size(), 1u);
  EXPECT_EQ(ps->fields[0], &static_cast<ObjAttractorMod*>(mod)->field);
  Point3 f = ps->fields[0]->Force(0, Point3(0, 0, 50), Point3(), 0);
  ExpectNear(f, force_math::PlanarForce(Matrix3(), Point3(0, 0, 50), 1.0f), 1e-14f);
  EXPECT_EQ(static_cast<ObjAttractorMod*>(mod)->GetValidity(0), FOREVER);
  ip()->ResetScene();  // frees the particles, which let go of the field, then the modifier
}

TEST_F(ForceFieldsTest, ScriptBindPutsTheBindingOnTheNodesWarpStack) {
  INode* warpNode = nullptr;
  Attractor(warpNode);
  struct Particles : ParticleObject {
    Class_ID ClassID() override { return Class_ID(0x7E570106, 1); }
  };
  auto* ps = new Particles();
  INode* psNode = ip()->CreateObjectNode(ps, "drops");
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("bind drops attractor")) << s.Error();
  EXPECT_EQ(out.back(), "bound drops to attractor");
  auto* d = dynamic_cast<IDerivedObject*>(psNode->GetObjectRef());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->ClassID(), WSMDerivObjClassID());
  ASSERT_EQ(d->NumModifiers(), 1);
  EXPECT_EQ(d->GetModifier(0)->ClassID(), ObjAttractorModClassID());
  psNode->EvalWorldState(0);
  EXPECT_EQ(ps->fields.size(), 1u);
  EXPECT_FALSE(s.RunLine("bind attractor drops"));  // not a space warp
  ps->fields.clear();
}

TEST_F(ForceFieldsTest, CloneHasNoTargetNorSamples) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  a->SetTarget(Box("target", Point3()));
  a->pblock2->SetValue(kForceStrength, 0, 3.0f);
  RemapDir remap;
  auto* copy = static_cast<ObjAttractorObject*>(a->Clone(remap));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->target, nullptr);
  EXPECT_TRUE(copy->samples.empty());
  ASSERT_NE(copy->pblock2, nullptr);
  EXPECT_NE(copy->pblock2, a->pblock2);
  EXPECT_FLOAT_EQ(copy->pblock2->GetFloat(kForceStrength, 0), 3.0f);
  copy->DeleteThis();
}

TEST_F(ForceFieldsTest, PathFollowReadsThePickedSplineThroughItsNode) {
  auto* w = static_cast<WindObject*>(GetWindDesc()->Create(false));
  INode* node = ip()->CreateObjectNode(w, "path follow");
  // Without a path: the planar push.
  ExpectNear(ForceOf(w, node, Point3(0, 0, 100), Point3(), 0),
             force_math::PlanarForce(Matrix3(), Point3(0, 0, 100), 1.0f), 1e-14f);

  auto* shape = new SplineShape();
  Spline3D* s = shape->shape.NewSpline();
  s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(0, 0, 0), Point3(), Point3()));
  s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(10, 0, 0), Point3(), Point3()));
  s->ComputeBezPoints();
  INode* pathNode = ip()->CreateObjectNode(shape, "line");
  pathNode->SetNodeTM(0, TransMatrix(Point3(0, 0, 7)));
  w->SetPath(pathNode);
  Point3 expected;
  ASSERT_EQ(force_math::PathFollowForce(*s, TransMatrix(Point3(0, 0, 7)), Point3(5, 3, 7), Point3(1, 0, 0), 1.0f,
                                        1.0f, false, expected),
            force_math::PathForce::kApplied);
  ExpectNear(ForceOf(w, node, Point3(5, 3, 7), Point3(1, 0, 0), 0), expected, 1e-12f);
  // Far away: zero, turbulence or not.
  w->pblock2->SetValue(kForceTurbulence, 0, 50.0f);
  EXPECT_EQ(ForceOf(w, node, Point3(5, 40, 7), Point3(1, 0, 0), 0), Point3(0.0f, 0.0f, 0.0f));
  w->pblock2->SetValue(kForceTurbulence, 0, 0.0f);

  // A path without splines keeps the previous force (zero before any).
  shape->shape.NewShape();
  ForceField* f = w->GetForceField(node);
  EXPECT_EQ(f->Force(0, Point3(5, 3, 7), Point3(1, 0, 0), 0), Point3(0.0f, 0.0f, 0.0f));
  static_cast<WindField*>(f)->force = Point3(1, 2, 3);
  EXPECT_EQ(f->Force(0, Point3(5, 3, 7), Point3(1, 0, 0), 0), Point3(1, 2, 3));
  f->DeleteThis();
}

TEST_F(ForceFieldsTest, CreationByMouseSetsTheIconSize) {
  // Two clicks 40 pixels apart in the top view (one unit a pixel): icon size 20.
  INode* n = vorel_ui::ScriptCreate(GetObjAttractorDesc(), {{320, 240}, {360, 240}});
  ASSERT_NE(n, nullptr);
  auto* a = dynamic_cast<ObjAttractorObject*>(n->GetObjectRef());
  ASSERT_NE(a, nullptr);
  EXPECT_NEAR(a->pblock2->GetFloat(kForceIconSize, 0), 20.0f, 1e-4f);
  // A click without moving aborts.
  EXPECT_EQ(vorel_ui::ScriptCreate(GetWindDesc(), {{100, 100}, {101, 100}}), nullptr);
}

TEST_F(ForceFieldsTest, RolloutPicksTheTarget) {
  INode* node = nullptr;
  ObjAttractorObject* a = Attractor(node);
  INode* box = Box("target", Point3(30, 0, 0));
  ip()->SelectNode(node);
  std::ostringstream out;
  std::string err;
  ASSERT_TRUE(vorel_ui::RunUiCommand("open attractor", out, &err)) << err;
  ASSERT_NE(a->rollout, nullptr);
  char text[64] = {};
  GetWindowText(GetDlgItem(a->rollout, kIdcAttractorTarget), text, sizeof(text));
  EXPECT_STREQ(text, "< No object selected >");
  SendMessage(a->rollout, WM_COMMAND, MAKEWPARAM(kIdcAttractorPick, BN_CLICKED), 0);
  ASSERT_TRUE(vorel_ui::ScriptPickNode(box));
  EXPECT_EQ(a->target, box);
  EXPECT_EQ(a->samples.size(), 8u);
  GetWindowText(GetDlgItem(a->rollout, kIdcAttractorTarget), text, sizeof(text));
  EXPECT_STREQ(text, "target");
  ASSERT_TRUE(vorel_ui::RunUiCommand("close", out, &err)) << err;
}
