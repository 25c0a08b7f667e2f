// The per-object collision attribute and the node accessors that find it on
// a node's base object: stacks, foreign attributes, adding, removing, undo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fluid_core/object_params.h"
#include "host/sdk/primitives.h"
#include "scene_objects/object_attrib_params.h"
#include "scene_objects/object_params_access.h"
#include "scene_objects/simple_cust_attrib.h"

namespace {

// A custom attribute of another plug-in, with or without a block.
class ForeignAttrib : public CustAttrib {
 public:
  explicit ForeignAttrib(IParamBlock2* pb = nullptr) : pb_(pb) {}
  Class_ID ClassID() override { return Class_ID(0x1234, 0x5678); }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pb_ : nullptr; }
  int NumParamBlocks() override { return pb_ ? 1 : 0; }

 private:
  IParamBlock2* pb_;
};

// A descriptor whose class name differs from ours only in case.
class LookAlikeDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool) override { return nullptr; }
  const char* ClassName() override { return "Vorel ca"; }
  SClass_ID SuperClassID() override { return CUST_ATTRIB_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x1234, 0x9999); }
  const char* Category() override { return ""; }
};

// Records the ids of the parameters a block reports changed, in order.
class ChangeRecorder : public ReferenceMaker {
 public:
  explicit ChangeRecorder(IParamBlock2* pb) { ReplaceReference(0, pb); }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pb_ : nullptr; }
  void SetReference(int i, RefTargetHandle r) override {
    if (i == 0) pb_ = static_cast<IParamBlock2*>(r);
  }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage msg) override {
    if (msg == REFMSG_CHANGE && pb_) ids.push_back(pb_->LastNotifyParamID());
    return REF_SUCCEED;
  }
  std::vector<int> ids;

 private:
  IParamBlock2* pb_ = nullptr;
};

class ObjectParams : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    if (!ClassDirectory::Get().FindClass(CUST_ATTRIB_CLASS_ID, SimpleCustAttribClassID()))
      ClassDirectory::Get().AddClass(GetSimpleAttribDesc());
  }
  void TearDown() override { ip->ResetScene(); }

  INode* Box(const char* name) {
    box = new GenBoxObject();
    return ip->CreateObjectNode(box, name);
  }
  int Steps() const { return int(theHold.AcceptedNames().size()); }
  bool Add(INode* n, int collide = 1, float gap = 0.01f) {
    return AddObjectParams([this](INode* w) { wetMaps.push_back(w); }, n, collide, gap, 50.0f, 1.0f, 1, 256,
                           1.0f, 0.33f, false);
  }

  Interface* ip = nullptr;
  Object* box = nullptr;
  std::vector<INode*> wetMaps;
};

TEST_F(ObjectParams, AddingMakesOneUndoStepAndRegistersAWetMap) {
  INode* n = Box("crate");
  int before = Steps();
  ASSERT_TRUE(Add(n, 1, 0.25f));
  EXPECT_EQ(Steps(), before + 1);
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add Custom Attribute");
  EXPECT_EQ(wetMaps, std::vector<INode*>{n});
  ASSERT_TRUE(HasObjectParams(n));
  EXPECT_EQ(box->GetCustAttribContainer()->GetNumCustAttribs(), 1);

  int collide = -1, mapRes = -1, tracer = -1;
  float gap = -1, bounce = -1, friction = -1, adherence = -1, drying = -1;
  bool killer = true;
  const char* prefix = nullptr;
  ASSERT_TRUE(GetObjectParams(n, collide, gap, bounce, friction, adherence, killer));
  EXPECT_EQ(collide, 1);
  EXPECT_FLOAT_EQ(gap, 0.25f);
  EXPECT_FLOAT_EQ(bounce, 50.0f);
  EXPECT_FLOAT_EQ(friction, 1.0f);
  EXPECT_FLOAT_EQ(adherence, 0.33f);
  EXPECT_FALSE(killer);
  ASSERT_TRUE(GetWetmapParams(n, tracer, mapRes, prefix, drying));
  EXPECT_EQ(tracer, 1);
  EXPECT_EQ(mapRes, 256);
  EXPECT_STREQ(prefix, "crate");
  EXPECT_FLOAT_EQ(drying, 1.0f);

  // The one step takes the attribute away again.
  ASSERT_TRUE(theHold.Undo());
  EXPECT_FALSE(HasObjectParams(n));
}

TEST_F(ObjectParams, AddingAgainOverwritesInOrderWithoutUndoOrWetMap) {
  INode* n = Box("crate");
  ASSERT_TRUE(Add(n));
  IParamBlock2* pb = FindObjectParams(n)->GetParamBlock(0);
  pb->SetValue(kObjMapPrefix, 0, "renamed");
  pb->SetValue(kObjCollide, 0, 0);
  pb->SetValue(kObjPartKiller, 0, 1);
  wetMaps.clear();
  n->SetName("barrel");
  auto* rec = new ChangeRecorder(pb);
  int before = Steps();
  ASSERT_TRUE(AddObjectParams(nullptr, n, 1, 0.5f, 7.0f, 8.0f, 0, 512, 3.0f, 0.9f, false));
  EXPECT_EQ(Steps(), before);
  EXPECT_TRUE(wetMaps.empty());
  EXPECT_EQ(box->GetCustAttribContainer()->GetNumCustAttribs(), 1);
  EXPECT_EQ(rec->ids, (std::vector<int>{0, 1, 2, 3, 4, 6, 5, 7, 8, 9}));
  EXPECT_EQ(pb->GetInt(kObjCollide), 1);
  EXPECT_FLOAT_EQ(pb->GetFloat(kObjCollisionGap), 0.5f);
  EXPECT_FLOAT_EQ(pb->GetFloat(kObjBounce), 7.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(kObjFriction), 8.0f);
  EXPECT_EQ(pb->GetInt(kObjTracer), 0);
  EXPECT_EQ(pb->GetInt(kObjMapRes), 512);
  EXPECT_STREQ(pb->GetStr(kObjMapPrefix), "barrel");
  EXPECT_FLOAT_EQ(pb->GetFloat(kObjDryingTime), 3.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(kObjAdherence), 0.9f);
  EXPECT_EQ(pb->GetInt(kObjPartKiller), 0);
  rec->DeleteAllRefs();
  delete rec;
}

TEST_F(ObjectParams, ReadsWithoutTheAttributeLeaveOutputsAndLeaveAnEmptyContainer) {
  INode* n = Box("crate");
  ASSERT_EQ(box->GetCustAttribContainer(), nullptr);
  int collide = 7, tracer = 7, mapRes = 7;
  float gap = 7, bounce = 7, friction = 7, adherence = 7, drying = 7;
  bool killer = true;
  const char* prefix = "kept";
  EXPECT_FALSE(GetObjectParams(n, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FALSE(GetWetmapParams(n, tracer, mapRes, prefix, drying));
  EXPECT_EQ(collide, 7);
  EXPECT_EQ(gap, 7.0f);
  EXPECT_EQ(adherence, 7.0f);
  EXPECT_TRUE(killer);
  EXPECT_STREQ(prefix, "kept");
  EXPECT_EQ(mapRes, 7);
  ASSERT_NE(box->GetCustAttribContainer(), nullptr);
  EXPECT_EQ(box->GetCustAttribContainer()->GetNumCustAttribs(), 0);
  EXPECT_FALSE(HasObjectParams(n));
  EXPECT_FALSE(SetObjectCollide(n, 1));
  EXPECT_FALSE(RemoveObjectParams(n));

  // No node, or a node without object: nothing at all.
  INode* empty = ip->CreateObjectNode(nullptr, "empty");
  for (INode* none : {static_cast<INode*>(nullptr), empty}) {
    EXPECT_FALSE(GetObjectParams(none, collide, gap, bounce, friction, adherence, killer));
    EXPECT_FALSE(HasObjectParams(none));
    EXPECT_FALSE(Add(none));
    EXPECT_FALSE(SetObjectCollide(none, 1));
    EXPECT_FALSE(RemoveObjectParams(none));
  }
  EXPECT_TRUE(wetMaps.empty());
}

TEST_F(ObjectParams, TheAttributeLivesOnTheBottomOfModifierAndSpaceWarpStacks) {
  INode* n = Box("crate");
  IDerivedObject* warps = CreateWSDerivedObject(box);
  IDerivedObject* mods = CreateDerivedObject(warps);
  n->SetObjectRef(mods);
  EXPECT_EQ(FindObjectParamsBase(n), box);
  // One attached at the modifier level is not ours to find.
  mods->AllocCustAttribContainer();
  mods->GetCustAttribContainer()->AppendCustAttrib(static_cast<CustAttrib*>(GetSimpleAttribDesc()->Create(false)));
  EXPECT_FALSE(HasObjectParams(n));
  ASSERT_TRUE(Add(n));
  ASSERT_NE(box->GetCustAttribContainer(), nullptr);
  EXPECT_EQ(box->GetCustAttribContainer()->GetNumCustAttribs(), 1);
  EXPECT_TRUE(SetObjectCollide(n, 0));
  EXPECT_EQ(box->GetCustAttribContainer()->GetCustAttrib(0)->GetParamBlock(0)->GetInt(kObjCollide), 0);
}

TEST_F(ObjectParams, ForeignAttributesAheadOfOursAreSkipped) {
  INode* n = Box("crate");
  LookAlikeDesc lookAlike;
  ParamBlockDesc2 lookAlikeBlock(0, "other", 0, &lookAlike, P_AUTO_CONSTRUCT, 0, {},
                                 {ParamDef(0, "collide", TYPE_INT, 0).Default(5)});
  box->AllocCustAttribContainer();
  ICustAttribContainer* c = box->GetCustAttribContainer();
  // One without any block (would have been dereferenced as null), one whose
  // descriptor's name differs only in case.
  c->AppendCustAttrib(new ForeignAttrib());
  auto* other = new ForeignAttrib(CreateParameterBlock2(&lookAlikeBlock, nullptr));
  c->AppendCustAttrib(other);
  EXPECT_FALSE(HasObjectParams(n));
  ASSERT_TRUE(Add(n, 1));
  ASSERT_EQ(c->GetNumCustAttribs(), 3);
  EXPECT_EQ(FindObjectParams(n), c->GetCustAttrib(2));
  EXPECT_TRUE(SetObjectCollide(n, 0));
  EXPECT_EQ(other->GetParamBlock(0)->GetInt(0), 5);
  int collide = -1;
  float f = 0;
  bool k = false;
  ASSERT_TRUE(GetObjectParams(n, collide, f, f, f, f, k));
  EXPECT_EQ(collide, 0);
  ASSERT_TRUE(RemoveObjectParams(n));
  EXPECT_EQ(theHold.AcceptedNames().back(), "Custom Attribute Removed");
  EXPECT_EQ(c->GetNumCustAttribs(), 2);
  EXPECT_EQ(c->GetCustAttrib(1), other);
  other->GetParamBlock(0)->DeleteThis();
  while (c->GetNumCustAttribs()) c->RemoveCustAttrib(0);
}

TEST_F(ObjectParams, TheAttributeAnswersItsIdentityAndClonesItsBlock) {
  auto* ca = static_cast<SimpleCustAttrib*>(GetSimpleAttribDesc()->Create(false));
  ASSERT_NE(ca, nullptr);
  EXPECT_EQ(ca->SuperClassID(), CUST_ATTRIB_CLASS_ID);
  EXPECT_EQ(ca->ClassID(), Class_ID(0x773149F6, 0x796A4273));
  EXPECT_STREQ(ca->GetName(), "Vorel per-object params");
  EXPECT_EQ(ca->SubAnimName(0), "Vorel Custom Attribute");
  EXPECT_EQ(ca->NumSubs(), 1);
  ASSERT_NE(ca->GetParamBlock(0), nullptr);
  EXPECT_EQ(ca->GetParamBlockByID(0), ca->GetParamBlock(0));
  EXPECT_EQ(ca->GetParamBlockByID(1), nullptr);
  EXPECT_EQ(ca->GetParamBlock(0)->GetDesc(), ObjectAttribParamBlock());
  ca->GetParamBlock(0)->SetValue(kObjBounce, 0, 9.0f);
  RemapDir remap;
  auto* copy = static_cast<SimpleCustAttrib*>(ca->Clone(remap));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->GetParamBlock(0), nullptr);
  EXPECT_NE(copy->GetParamBlock(0), ca->GetParamBlock(0));
  EXPECT_FLOAT_EQ(copy->GetParamBlock(0)->GetFloat(kObjBounce), 9.0f);
  copy->DeleteMe();
  ca->DeleteMe();
}

TEST_F(ObjectParams, TheEnginesAccessorReachesTheSameAttribute) {
  InstallVorelObjectParamsAccess();
  ObjectParamsAccess* access = GetObjectParamsAccess();
  ASSERT_NE(access, nullptr);
  INode* n = Box("crate");
  ::ObjectParams got;
  got.bounce = -3.0f;
  EXPECT_FALSE(access->GetObjectParams(n, got));
  EXPECT_EQ(got.bounce, -3.0f);
  ObjectSettings s;
  s.collisionGap = 0.2f;
  s.partKiller = true;
  access->AddObjectParams(nullptr, n, s);
  ASSERT_TRUE(access->HasObjectParams(n));
  ASSERT_TRUE(access->GetObjectParams(n, got));
  EXPECT_EQ(got.collide, 1);
  EXPECT_FLOAT_EQ(got.collisionGap, 0.2f);
  EXPECT_FLOAT_EQ(got.bounce, 50.0f);
  EXPECT_TRUE(got.partKiller);
  WetmapParams wet;
  ASSERT_TRUE(access->GetWetmapParams(n, wet));
  EXPECT_EQ(wet.mapPrefix, "crate");
  EXPECT_EQ(wet.mapRes, 256);
  access->RemoveObjectParams(n);
  EXPECT_FALSE(access->HasObjectParams(n));
}

}  // namespace
