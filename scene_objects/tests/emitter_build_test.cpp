// What the emitter draws and emits from: the outline and the predicted
// stream in its mesh, shape rows and emission points of a picked shape, and
// the fill of a picked object.
#include <gtest/gtest.h>

#include <algorithm>

#include "emitter_test_support.h"
#include "fill_geometry/fill_object.h"
#include "fluid_core/solver.h"
#include "host/core/interaction.h"
#include "host/sdk/primitives.h"

using emitter_test::EngineFixture;

namespace {
class FixedGap : public ObjectParamsAccess {
 public:
  explicit FixedGap(float g) : gap(g) {}
  bool GetObjectParams(INode*, ObjectParams& out) override {
    out.collisionGap = gap;
    return true;
  }
  bool GetWetmapParams(INode*, WetmapParams&) override { return false; }
  bool HasObjectParams(INode*) override { return true; }
  void AddObjectParams(FluidEngine*, INode*, const ObjectSettings&) override {}
  void RemoveObjectParams(INode*) override {}
  float gap;
};

int FillCount(RainParticle* e) { return int(e->fillPoints.size()); }

// The host's own primitives, made as the host makes them.
RectangleShape* MakeRect() {
  return static_cast<RectangleShape*>(GetCOREInterface()->CreateInstance(SHAPE_CLASS_ID, rectangleClassID()));
}
GenBoxObject* MakeBox(float size) {
  auto* b = static_cast<GenBoxObject*>(GetCOREInterface()->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  b->SetParams(size, size, size);
  return b;
}
}  // namespace

TEST(EmitterMesh, CircleOutlineAloneWhateverTheTrajectorySwitch) {
  RainParticle e;
  e.pblock2->SetValue(kEmitRadius, 0, 2.0f);
  Mesh m;
  e.BuildEmitter(0, m);
  EXPECT_EQ(m.getNumVerts(), 25);
  EXPECT_EQ(m.getNumFaces(), 24);
  EXPECT_NEAR(m.verts[0].x, 2.0f, 1e-6f);
  // Without a stream there is nothing to hide but the outline stays.
  e.pblock2->SetValue(kEmitHideTrajectory, 0, 1);
  e.BuildEmitter(0, m);
  EXPECT_EQ(m.getNumVerts(), 25);
  e.pblock2->SetValue(kEmitHideSource, 0, 1);
  e.BuildEmitter(0, m);
  EXPECT_EQ(m.getNumVerts(), 0);
  EXPECT_EQ(e.emissionShape.SplineCount(), 1);
}

TEST_F(EngineFixture, StartFrameDrawsThePredictedStreamAfterTheOutline) {
  emitter->pblock2->SetValue(kEmitTrajectoryLength, 0, 30);
  Mesh m;
  emitter->BuildEmitter(0, m);
  ASSERT_EQ(emitter->emissionShape.SplineCount(), 2);
  EXPECT_EQ(emitter->emissionShape.GetSpline(1)->KnotCount(), 29);
  EXPECT_FALSE(emitter->emissionShape.GetSpline(1)->Closed());
  EXPECT_TRUE(emitter->trajectory.empty());  // emptied after the start frame
  EXPECT_EQ(m.getNumVerts(), 25 + 28 * 6);
  EXPECT_EQ(m.getNumFaces(), 24 + 28 * 6 - 1);
  // The back of the stream (last knot) is the emitter.
  EXPECT_NEAR(emitter->emissionShape.GetSpline(1)->GetKnotPoint(28).Length(), 0.0f, 1e-4f);
  emitter->pblock2->SetValue(kEmitHideTrajectory, 0, 1);
  emitter->BuildEmitter(0, m);
  EXPECT_EQ(m.getNumVerts(), 25);
}

TEST_F(EngineFixture, LaterFramesGrowAMovingStreamWhileNothingIsSolved) {
  emitter->pblock2->SetValue(kEmitDisplayType, 0, 1);
  emitter->pblock2->SetValue(kEmitTrajectoryLength, 0, 3);
  engine->lastSolved = engine->startFrame;
  node->SetNodeTM(0, TransMatrix(Point3(500.0f, 0.0f, 0.0f)));
  Mesh m;
  emitter->BuildEmitter(5 * 160, m);
  ASSERT_EQ(emitter->trajectory.size(), 3u);
  EXPECT_EQ(emitter->trajectory.front().frame, 5);
  // The emitter stood still: no velocity from the first position known.
  EXPECT_NEAR(emitter->trajectory.back().vel.x, 0.0f, 1e-4f);
  emitter->pblock2->SetValue(kEmitDisplayType, 0, 0);
  emitter->BuildEmitter(7 * 160, m);
  EXPECT_EQ(emitter->trajectory.front().frame, 5);  // drops: no growth
}

TEST_F(EngineFixture, CircleAndImportDropAPickedNode) {
  RectangleShape* rect = MakeRect();
  INode* shapeNode = ip->CreateObjectNode(rect, "rect");
  emitter->ReplaceReference(1, shapeNode);
  emitter->pblock2->SetValue(kEmitEmissionType, 0, kEmissionShape);
  Mesh m;
  emitter->BuildEmitter(160, m);
  EXPECT_EQ(emitter->emissionNode, shapeNode);
  emitter->pblock2->SetValue(kEmitEmissionType, 0, kEmissionPflow);
  emitter->BuildEmitter(160, m);
  EXPECT_EQ(emitter->emissionNode, nullptr);
}

TEST_F(EngineFixture, PickedShapeGivesRowsAndStableEmissionPoints) {
  RectangleShape* rect = MakeRect();
  rect->pblock2->SetValue(RECTANGLE_WIDTH, 0, 40.0f);
  rect->pblock2->SetValue(RECTANGLE_LENGTH, 0, 20.0f);
  INode* shapeNode = ip->CreateObjectNode(rect, "rect");
  emitter->pblock2->SetValue(kEmitEmissionType, 0, kEmissionShape);
  emitter->pblock2->SetValue(kEmitSourceLod, 0, 4.0f);
  emitter->ReplaceReference(1, shapeNode);
  Mesh m;
  emitter->BuildEmitter(160, m);
  ASSERT_EQ(emitter->shapeRows.Count(), 1);
  EXPECT_EQ(emitter->shapeRows.Get(0)->Count(), 17);
  const std::vector<Point3> first = emitter->emissionPoints;
  ASSERT_GT(first.size(), 10u);
  for (const Point3& p : first) {
    EXPECT_LE(std::fabs(p.x), 1.0f + 1e-5f);  // 20 / S
    EXPECT_LE(std::fabs(p.y), 0.5f + 1e-5f);
  }
  // The emitter's jitter lifts each point above its layer by a 15-bit draw:
  // at most 0.95 x 0.45 spacings (1 / LOD), and not all by nothing.
  std::vector<Point3> flat;
  BuildShapeEmissionPoints(emitter->shapeRows, 0.25, [] { return 0; }, flat);
  ASSERT_EQ(flat.size(), first.size());
  float highest = 0.0f;
  for (size_t i = 0; i < first.size(); ++i) {
    const float lift = first[i].z - flat[i].z;
    EXPECT_GE(lift, 0.0f);
    EXPECT_LE(lift, 0.95f * 0.45f * 0.25f + 1e-6f);
    highest = std::max(highest, lift);
  }
  EXPECT_GT(highest, 0.0f);
  emitter->mvalid.SetEmpty();
  emitter->BuildEmitter(320, m);
  EXPECT_TRUE(emitter->emissionPoints == first);  // unchanged shape: no new jitter
  rect->pblock2->SetValue(RECTANGLE_WIDTH, 0, 60.0f);
  emitter->BuildEmitter(320, m);
  EXPECT_GT(emitter->emissionPoints.size(), first.size());

  // An object fill never builds rows nor a stream.
  RainParticle* other = static_cast<RainParticle*>(GetRainDesc()->Create(false));
  INode* otherNode = ip->CreateObjectNode(other, "VorelParticle");
  other->engine = engine.get();
  other->node = otherNode;
  other->pblock2->SetValue(kEmitEmissionType, 0, kEmissionObjectFill);
  other->BuildEmitter(0, m);
  EXPECT_EQ(other->shapeRows.Count(), 0);
  EXPECT_EQ(other->emissionShape.SplineCount(), 1);
}

TEST_F(EngineFixture, FillingABoxCountsLayersOnceAndShowsItsProgress) {
  GenBoxObject* box = MakeBox(40.0f);
  INode* boxNode = ip->CreateObjectNode(box, "box");
  emitter->pblock2->SetValue(kEmitSourceLod, 0, 4.0f);
  emitter->pblock2->SetValue(kEmitFillingPercentage, 0, 0);
  emitter->ReplaceReference(1, boxNode);
  vorel::host::ClearPromptLog();
  SourcesNeedRefresh = 0;
  engine->lastEvalFrame = 3;
  emitter->FillFromObject();
  const int n = FillCount(emitter);
  ASSERT_GT(n, 0);
  const int layers = int(emitter->layerTable.size());
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitFillingPercentage), layers);
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitParticlesFilled), n);
  EXPECT_EQ(emitter->fillPending, 1);
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_EQ(engine->lastEvalFrame, -1);
  // The final text counts one layer fewer than the table holds.
  const std::string done = "Fill complete. " + std::to_string(n) + " particles in " +
                           std::to_string(layers - 1) + " layers.";
  bool sawLayer = false, sawDone = false;
  for (const auto& r : vorel::host::PromptLog()) {
    sawLayer |= r.text.rfind("Filling box-> ", 0) == 0;
    sawDone |= r.text == done;
  }
  EXPECT_TRUE(sawLayer);
  EXPECT_TRUE(sawDone);
  // Points lie inside the box (solver units: host / 20).
  for (const Vec3f& p : emitter->fillPoints) {
    ASSERT_LE(std::fabs(p.x), 1.0f);
    ASSERT_GE(p.z, 0.0f);
    ASSERT_LE(p.z, 2.0f);
  }
  // A second fill keeps the layer count once set.
  emitter->pblock2->SetValue(kEmitFillingPercentage, 0, 2);
  emitter->FillFromObject();
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitFillingPercentage), 2);
}

TEST_F(EngineFixture, FillGapIsAtLeastOnePointThreeSpacingsAndAtMostTheReach) {
  GenBoxObject* box = MakeBox(40.0f);
  INode* boxNode = ip->CreateObjectNode(box, "box");
  emitter->pblock2->SetValue(kEmitSourceLod, 0, 4.0f);  // d = 0.25: least gap 0.325, reach 0.333
  emitter->ReplaceReference(1, boxNode);
  auto fillWith = [&](float gap) {
    FixedGap access(gap);
    SetObjectParamsAccess(&access);
    emitter->FillFromObject();
    SetObjectParamsAccess(nullptr);
    return FillCount(emitter);
  };
  const int nTiny = fillWith(0.005f);
  EXPECT_EQ(fillWith(0.3f), nTiny);
  // The attribute's widest gaps keep what the solver keeps: the reach (a
  // 40-unit box kept 5 units from every wall held nothing).
  const int nReach = fillWith(FluidSolver::CollisionReach(0.25f));
  EXPECT_GT(nReach, 0);
  EXPECT_LE(nReach, nTiny);
  EXPECT_EQ(fillWith(0.5f), nReach);
  EXPECT_EQ(fillWith(5.0f), nReach);
  emitter->FillFromObject();  // no attribute: 0.01, raised as well
  EXPECT_EQ(FillCount(emitter), nTiny);
}

TEST_F(EngineFixture, SystemObjectsAndShapesAreNeverFilled) {
  GenBoxObject* box = MakeBox(40.0f);
  INode* boxNode = ip->CreateObjectNode(box, "box");
  emitter->ReplaceReference(1, boxNode);
  emitter->FillFromObject();
  const int before = FillCount(emitter);
  ASSERT_GT(before, 0);
  emitter->fillPending = 0;
  GenBoxObject* own = MakeBox(40.0f);
  emitter->ReplaceReference(1, ip->CreateObjectNode(own, "Vorelclip"));
  emitter->FillFromObject();
  EXPECT_EQ(FillCount(emitter), before);
  EXPECT_EQ(emitter->fillPending, 0);
  emitter->ReplaceReference(1, ip->CreateObjectNode(MakeRect(), "flat"));
  emitter->FillFromObject();
  EXPECT_EQ(FillCount(emitter), before);
  emitter->ReplaceReference(1, nullptr);
  emitter->FillFromObject();
  EXPECT_EQ(FillCount(emitter), before);
}

namespace {
int g_fieldsMade = 0, g_fieldsDeleted = 0;
class PushField : public ForceField {
 public:
  Point3 Force(TimeValue, const Point3&, const Point3&, int) override { return Point3(1e-6f, 0.0f, 0.0f); }
  void DeleteThis() override {
    ++g_fieldsDeleted;
    delete this;
  }
};
class PushWarp : public WSMObject {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E57E111, 0x9); }
  ForceField* GetForceField(INode*) override {
    ++g_fieldsMade;
    return new PushField();
  }
};
class PushBinding : public SimpleWSMMod {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E57E111, 0xA); }
};
}  // namespace

TEST_F(EngineFixture, StreamFeelsBoundSpaceWarpsAndFreesTheirFields) {
  INode* warpNode = ip->CreateObjectNode(new PushWarp(), "push");
  PushBinding* binding = new PushBinding();
  binding->ReplaceReference(1, warpNode);
  IDerivedObject* ws = CreateWSDerivedObject(emitter);
  ws->AddModifier(binding);
  node->SetObjectRef(ws);
  g_fieldsMade = g_fieldsDeleted = 0;
  emitter->pblock2->SetValue(kEmitTrajectoryLength, 0, 10);
  Mesh m;
  emitter->BuildEmitter(0, m);
  EXPECT_GT(g_fieldsMade, 0);
  EXPECT_EQ(g_fieldsDeleted, g_fieldsMade);  // every field made for the stream is freed
  ASSERT_EQ(emitter->emissionShape.SplineCount(), 2);
  // The front of the stream was pushed along +x.
  EXPECT_GT(emitter->emissionShape.GetSpline(1)->GetKnotPoint(0).x, 1.0f);
}
