#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "host/core/hostmath.h"
#include "test_classes.h"

using namespace sdktest;

namespace {

class PBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassDirectory::Get().AddClass(GetTestObjectDesc());
    GetCOREInterface()->ResetScene();
    GetCOREInterface()->SetAnimateMode(false);
    obj = new TestObject();
    node = GetCOREInterface()->CreateObjectNode(obj);
    pb = obj->pblock2;
  }
  void TearDown() override { GetCOREInterface()->ResetScene(); }
  TestObject* obj = nullptr;
  INode* node = nullptr;
  IParamBlock2* pb = nullptr;
};

TEST_F(PBlock, DefaultsAreNotClampedButWritesAre) {
  Interval iv;
  int count = 99;
  ASSERT_TRUE(pb->GetValue(P_COUNT, 0, count, iv));
  EXPECT_EQ(count, -3);  // the declared default, outside its range
  EXPECT_TRUE(pb->SetValue(P_COUNT, 0, 42));
  EXPECT_EQ(pb->GetInt(P_COUNT), 10);
  EXPECT_TRUE(pb->SetValue(P_RATE, 0, -7.5f));
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE), 0.0f);
  EXPECT_TRUE(pb->SetValue(P_RATE, 0, 1e9f));
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE), 100.0f);
}

TEST_F(PBlock, FailedReadsLeaveTheOutputAlone) {
  Interval iv;
  float f = 123.0f;
  int i = 456;
  const char* s = "untouched";
  INode* n = node;
  EXPECT_FALSE(pb->GetValue(P_COUNT, 0, f, iv));   // int read as float
  EXPECT_FALSE(pb->GetValue(P_RATE, 0, i, iv));    // float read as int
  EXPECT_FALSE(pb->GetValue(77, 0, i, iv));        // unknown id
  EXPECT_FALSE(pb->GetValue(P_RATE, 0, s, iv));
  EXPECT_FALSE(pb->GetValue(P_NODES, 0, n, iv, 3));  // past the table
  EXPECT_EQ(f, 123.0f);
  EXPECT_EQ(i, 456);
  EXPECT_STREQ(s, "untouched");
  EXPECT_EQ(n, node);
  EXPECT_FALSE(pb->SetValue(P_NAME, 0, 3.0f));
  EXPECT_FALSE(pb->SetValue(77, 0, 1));
}

TEST_F(PBlock, ChangeNotifiesOwnerWithParamIdOnlyWhenValueChanges) {
  obj->log.clear();
  pb->SetValue(P_RATE, 0, 9.0f);
  ASSERT_EQ(obj->log.size(), 1u);
  EXPECT_EQ(obj->log[0], "change pblock part=" + std::to_string(PART_ALL) + " id=0");
  pb->SetValue(P_RATE, 0, 9.0f);
  EXPECT_EQ(obj->log.size(), 1u);
  pb->SetValue(P_NAME, 0, "other");
  EXPECT_EQ(pb->LastNotifyParamID(), P_NAME);
  EXPECT_STREQ(pb->GetStr(P_NAME), "other");
  // The mesh rebuilds after the change.
  obj->Eval(0);
  EXPECT_FLOAT_EQ(obj->mesh.verts[1].x, 9.0f);
}

TEST_F(PBlock, StepKeysGiveValuesPerTimeWithValidity) {
  pb->SetKey(P_RATE, 0, 2.0f);
  pb->SetKey(P_RATE, 800, 4.0f);
  pb->SetKey(P_RATE, 1600, 6.0f);
  Interval iv = FOREVER;
  float v = 0;
  ASSERT_TRUE(pb->GetValue(P_RATE, 400, v, iv));
  EXPECT_FLOAT_EQ(v, 2.0f);
  EXPECT_EQ(iv, Interval(TIME_NegInfinity, 799));
  iv = FOREVER;
  pb->GetValue(P_RATE, 1000, v, iv);
  EXPECT_FLOAT_EQ(v, 4.0f);
  EXPECT_EQ(iv, Interval(800, 1599));
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE, 5000), 6.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE, -100), 2.0f);
  // Animate mode adds keys; outside it the key in effect changes.
  GetCOREInterface()->SetAnimateMode(true);
  pb->SetValue(P_RATE, 1200, 5.0f);
  GetCOREInterface()->SetAnimateMode(false);
  EXPECT_EQ(pb->NumKeys(P_RATE), 4);
  pb->SetValue(P_RATE, 1300, 7.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE, 1250), 7.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE, 1000), 4.0f);
}

TEST_F(PBlock, NodeTablesAppendDeleteAndLoseDeletedNodes) {
  INode* a = GetCOREInterface()->CreateObjectNode(new TestObject(), "a");
  INode* b = GetCOREInterface()->CreateObjectNode(new TestObject(), "b");
  INode* both[2] = {a, b};
  pb->Append(P_NODES, 2, both);
  pb->Append(P_NODES, 1, &a);
  EXPECT_EQ(pb->Count(P_NODES), 3);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 1), b);
  pb->SetValue(P_RATE, 0, 1.0f);
  obj->log.clear();
  b->SetNodeTM(0, TransMatrix(Point3(1.0f, 0.0f, 0.0f)));  // a table node moves
  ASSERT_EQ(obj->log.size(), 1u);
  EXPECT_EQ(obj->log[0], "change pblock part=" + std::to_string(PART_TM) + " id=4");
  obj->log.clear();
  GetCOREInterface()->DeleteNode(a);
  // Both entries of a are now null and the owner heard of each.
  EXPECT_EQ(pb->Count(P_NODES), 3);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 0), nullptr);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 1), b);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 2), nullptr);
  int changes = 0;
  for (auto& l : obj->log) changes += l.rfind("change pblock", 0) == 0 && l.find("id=4") != std::string::npos;
  EXPECT_EQ(changes, 2);
  pb->Delete(P_NODES, 0, 1);
  EXPECT_EQ(pb->Count(P_NODES), 2);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 0), b);
  EXPECT_EQ(pb->Delete(P_NODES, 5, 1), 2);  // out of range: nothing
  pb->SetValue(P_NODES, 0, static_cast<INode*>(nullptr), 0);
  EXPECT_EQ(pb->GetINode(P_NODES, 0, 0), nullptr);
}

TEST_F(PBlock, LookupByInternalNameIsCaseInsensitive) {
  EXPECT_EQ(pb->GetDesc()->FindParamByName("emission rate")->id, P_RATE);
  EXPECT_EQ(pb->GetDesc()->FindParamByName("nope"), nullptr);
  EXPECT_EQ(pb->GetDesc()->FindRollout(1)->flags, APPENDROLL_CLOSED);
}

TEST_F(PBlock, UndoRestoresValuesAndTables) {
  INode* a = GetCOREInterface()->CreateObjectNode(new TestObject(), "a");
  theHold.Begin();
  pb->SetValue(P_RATE, 0, 50.0f);
  pb->Append(P_NODES, 1, &a);
  theHold.Accept("Add selected");
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add selected");
  ASSERT_TRUE(theHold.Undo());
  EXPECT_FLOAT_EQ(pb->GetFloat(P_RATE), 5.0f);
  EXPECT_EQ(pb->Count(P_NODES), 0);
  theHold.Begin();
  pb->SetValue(P_COUNT, 0, 4);
  theHold.Cancel();
  EXPECT_EQ(pb->GetInt(P_COUNT), -3);
}

}  // namespace

// Float values too large for an int (an "unbounded" range end, a typed 3e9,
// a saved scene holding one) keep their int shadow at the int limits instead
// of wrapping to INT_MIN.
TEST_F(PBlock, FloatValuesBeyondTheIntRangeSaturateTheirIntReading) {
  Interface* ip = GetCOREInterface();
  auto* sphere = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, sphereClassID()));
  ASSERT_NE(sphere, nullptr);
  const ParamDef& radius = sphere->GetParamBlock(0)->GetDesc()->GetParamDef(SPHERE_RADIUS);
  EXPECT_EQ(radius.range_hi_i, INT_MAX);
  EXPECT_EQ(radius.range_lo_i, 0);
  sphere->DeleteThis();

  auto* box = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  IParamBlock2* bp = box->GetParamBlock(0);
  EXPECT_TRUE(bp->SetValue(BOXOBJ_HEIGHT, 0, 3e9f));
  EXPECT_EQ(bp->GetInt(BOXOBJ_HEIGHT), INT_MAX);
  EXPECT_TRUE(bp->SetValue(BOXOBJ_HEIGHT, 0, -3e9f));
  EXPECT_EQ(bp->GetInt(BOXOBJ_HEIGHT), INT_MIN);
  box->DeleteThis();
  EXPECT_TRUE(pb->SetValue(P_COUNT, 0, 1e20f));  // clamped to the int range's top
  EXPECT_EQ(pb->GetInt(P_COUNT), 10);
  EXPECT_EQ(SaturateToInt(std::nan("")), 0);
  EXPECT_EQ(SaturateToInt(-7.9), -7);
}
