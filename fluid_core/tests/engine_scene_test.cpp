// Helper nodes, scene walks, default per-object settings, collider meshes,
// space-warp forces, the texture gizmo and mapping coordinates.
#include <cmath>

#include "engine_test_util.h"
#include "host/sdk/primitives.h"

using engine_test::EngineTest;
using solver_test::Put;

namespace {
// A triangle-mesh node: a square of side 2*half at height z in its own
// space, with texture vertices when asked.
INode* SquareNode(const char* name, float half, float z, bool uv = false) {
  TriObject* tri = CreateNewTriObject();
  Mesh& m = tri->mesh;
  m.setNumVerts(4);
  m.setVert(0, -half, -half, z);
  m.setVert(1, half, -half, z);
  m.setVert(2, half, half, z);
  m.setVert(3, -half, half, z);
  m.setNumFaces(2);
  m.faces[0].setVerts(0, 1, 2);
  m.faces[1].setVerts(0, 2, 3);
  if (uv) {
    m.setNumTVerts(4);
    m.setTVert(0, 0, 0, 0);
    m.setTVert(1, 1, 0, 0);
    m.setTVert(2, 1, 1, 0);
    m.setTVert(3, 0, 1, 0);
    m.setNumTVFaces(2);
    m.tvFace[0].setTVerts(0, 1, 2);
    m.tvFace[1].setTVerts(0, 2, 3);
  }
  return GetCOREInterface()->CreateObjectNode(tri, name);
}

std::vector<std::string> Names(const std::vector<INode*>& nodes) {
  std::vector<std::string> out;
  for (INode* n : nodes) out.push_back(n->GetName());
  return out;
}

// A space warp whose field pushes with a constant force, counting the
// fields it hands out and the ones deleted.
struct Counts {
  int made = 0, deleted = 0;
};
class ConstantField : public ForceField {
 public:
  ConstantField(Point3 f, Counts* c) : force_(f), counts_(c) { ++c->made; }
  Point3 Force(TimeValue, const Point3&, const Point3&, int) override { return force_; }
  void DeleteThis() override {
    ++counts_->deleted;
    delete this;
  }

 private:
  Point3 force_;
  Counts* counts_;
};
class ConstantWarp : public WSMObject {
 public:
  ConstantWarp(Point3 f, Counts* c) : force(f), counts(c) {}
  Class_ID ClassID() override { return Class_ID(0x7E57F001, 1); }
  ForceField* GetForceField(INode*) override { return new ConstantField(force, counts); }
  Point3 force;
  Counts* counts;
};
class BindMod : public SimpleWSMMod {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E57F002, 1); }
};

// Binds the warp node to the source node (a world-space derived object on
// top of the source's object).
void Bind(INode* sourceNode, INode* warpNode) {
  IDerivedObject* d = CreateWSDerivedObject(sourceNode->GetObjectRef());
  BindMod* mod = new BindMod();
  mod->ReplaceReference(1, warpNode);
  d->AddModifier(mod);
  sourceNode->SetObjectRef(d);
}
}  // namespace

TEST_F(EngineTest, NewSourcesAreTurnedAboutTheVerticalAndTakeTheIniDefaults) {
  auto e = MakeEngine();
  e->defaults.lod = 7.0f;
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(e->CreateSource());
  EXPECT_EQ(e->sourceCount, 3);
  EXPECT_EQ(e->solver->sources.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const Point3 p = e->sourceNodes[k]->GetNodeTM(0).GetTrans();
    const float a = float(k) * 2.3561945f;
    EXPECT_NEAR(p.x, -15.0f * std::sin(a), 1e-4) << k;
    EXPECT_NEAR(p.y, 15.0f * std::cos(a), 1e-4) << k;
    EXPECT_NEAR(p.z, 32.0f, 1e-4) << k;
    EXPECT_EQ(owner.refs[k + 1], e->sourceNodes[k]);
    EXPECT_EQ(e->sourceObjects[k]->sourceIndex, k);
    EXPECT_EQ(e->sourceObjects[k]->engine, e.get());
  }
  // The third is turned 3 pi / 2 from the first: its x axis is the first's
  // turned a quarter the other way.
  const Point3 x0 = e->sourceNodes[0]->GetNodeTM(0).GetRow(0);
  const Point3 x2 = e->sourceNodes[2]->GetNodeTM(0).GetRow(0);
  EXPECT_NEAR(x2.x, 0.0f, 1e-5);
  EXPECT_NEAR(x2.y, -x0.x, 1e-5);
  EXPECT_EQ(std::string(e->sourceNodes[0]->GetName()), "VorelParticle");
  EXPECT_EQ(std::string(e->sourceNodes[1]->GetName()), "VorelParticle001");
  IParamBlock2* pb = e->SourceBlock(2);
  EXPECT_EQ(pb->GetFloat(kEmitSourceLod), 7.0f);
  EXPECT_EQ(pb->GetInt(kEmitParticlesShown), 100);
  EXPECT_EQ(pb->GetFloat(kEmitEmissionRate), 8.0f);
  EXPECT_EQ(pb->GetInt(kEmitApplyMappingAtFrame), 30);
  EXPECT_EQ(pb->GetInt(kEmitLifeTime), 9999);
  EXPECT_EQ(e->sourceObjects[2]->lifeFrames, 9999);
}

TEST_F(EngineTest, ASourceBeyondTheLastSlotIsRefused) {
  auto e = MakeEngine();
  e->sourceCount = FluidEngine::kMaxSources;
  const size_t before = vorel::host::MessageBoxLog().size();
  EXPECT_FALSE(e->CreateSource());
  EXPECT_EQ(e->sourceCount, FluidEngine::kMaxSources);
  EXPECT_EQ(vorel::host::MessageBoxLog().size(), before + 1);
}

TEST_F(EngineTest, HelpersAreMadeOnceAndTheClipBoxBoundsTheDomain) {
  auto e = MakeEngine();
  Interface* ip = GetCOREInterface();
  e->UpdateClipBox();
  EXPECT_EQ(e->solver->domainMin, Vec3f(-1e9f, -1e9f, -1e9f));
  EXPECT_EQ(e->solver->domainMax, Vec3f(1e9f, 1e9f, 1e9f));
  for (int twice = 0; twice < 2; ++twice) {
    e->CreateClipBox();
    e->CreateFloor();
    e->CreateTextureGizmo();
  }
  EXPECT_EQ(ip->NodeCount(), 3);
  INode* floor = ip->GetINodeByName("floorVorel");
  ASSERT_NE(floor, nullptr);
  ASSERT_EQ(objects.added.size(), 1u);
  EXPECT_EQ(objects.params[floor].bounce, 50.0f);
  EXPECT_EQ(objects.params[floor].collisionGap, 0.01f);
  EXPECT_GT(floor->GetObjectRef()->ClassID() == triObjectClassID(), 0);

  e->UpdateClipBox();
  EXPECT_EQ(e->solver->domainMin, Vec3f(-5.0f, -5.0f, -2.5f));
  EXPECT_EQ(e->solver->domainMax, Vec3f(5.0f, 5.0f, 7.5f));

  // Turned a quarter about z and made narrow: still lower <= upper.
  INode* clip = ip->GetINodeByName("Vorelclip");
  clip->GetObjectRef()->GetParamBlock(0)->SetValue(BOXOBJ_WIDTH, 0, 40.0f);
  Matrix3 tm = clip->GetNodeTM(0);
  tm.RotateZ(1.5707964f);
  clip->SetNodeTM(0, tm);
  e->UpdateClipBox();
  EXPECT_NEAR(e->solver->domainMin.x, -5.0f, 1e-4);
  EXPECT_NEAR(e->solver->domainMax.x, 5.0f, 1e-4);
  EXPECT_NEAR(e->solver->domainMin.y, -1.0f, 1e-4);
  EXPECT_NEAR(e->solver->domainMax.y, 1.0f, 1e-4);

  clip->Hide(true);
  e->UpdateClipBox();
  EXPECT_EQ(e->solver->domainMax, Vec3f(1e9f, 1e9f, 1e9f));
}

TEST_F(EngineTest, TheTextureGizmoSetsTheProjectionBox) {
  auto e = MakeEngine();
  e->UpdateTextureGizmo();  // no gizmo: the identity
  EXPECT_FLOAT_EQ(Vec3Length(e->solver->texAxisU), 0.5f);
  e->CreateTextureGizmo();
  INode* g = GetCOREInterface()->GetINodeByName("VorelTextureGizmo");
  Matrix3 tm;
  tm.SetTrans(Point3(40, 0, 0));
  g->SetNodeTM(0, tm);
  e->UpdateTextureGizmo();
  EXPECT_FLOAT_EQ(Vec3Length(e->solver->texAxisU), 0.5f);
  EXPECT_FLOAT_EQ(e->solver->texOrigin.x, 40.0f / 20.0f - 0.25f);
  EXPECT_FLOAT_EQ(e->solver->texOrigin.z, -0.25f);
}

TEST_F(EngineTest, ScansSkipTheSystemsOwnNodesAndHiddenOnes) {
  auto e = MakeEngine();
  SquareNode("Vorel", 1, 0);
  SquareNode("VorelBox", 1, 0);
  SquareNode("Vorel_x", 1, 0);
  INode* lower = SquareNode("vorelBox", 1, 0);
  INode* hidden = SquareNode("hidden", 1, 0);
  hidden->Hide(true);
  INode* child = SquareNode("child", 1, 0);
  lower->AttachChild(child);
  ASSERT_TRUE(e->CreateSource());
  std::vector<INode*> meshes, sources;
  CollectMeshNodes(GetCOREInterface()->GetRootNode(), meshes);
  EXPECT_EQ(Names(meshes), (std::vector<std::string>{"vorelBox", "child"}));
  CollectSourceNodes(GetCOREInterface()->GetRootNode(), sources);
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0], e->sourceNodes[0]);
}

TEST_F(EngineTest, DefaultSettingsSkipPickedObjectsAndKeepExistingOnes) {
  auto e = MakeEngine();
  INode* a = SquareNode("a", 1, 0);
  INode* picked = SquareNode("picked", 1, 0);
  INode* own = SquareNode("own", 1, 0);
  SquareNode("VorelBowl", 1, 0);
  ObjectParams mine;
  mine.bounce = 3.0f;
  objects.params[own] = mine;
  ASSERT_TRUE(e->CreateSource());
  e->SourceBlock(0)->SetValue(kEmitEmissionType, 0, 1);
  SourceOf(*e, 0)->picked = picked;
  objects.added.clear();
  e->AddDefaultObjectParams();
  EXPECT_EQ(Names(objects.added), (std::vector<std::string>{"a"}));
  EXPECT_EQ(objects.params[own].bounce, 3.0f);
  EXPECT_EQ(objects.params[a].bounce, 50.0f);

  // With [Object_collide]=0 a reset gives nobody settings.
  objects.params.clear();
  objects.added.clear();
  e->defaults.objectCollide = 0;
  e->Reset();
  EXPECT_TRUE(objects.added.empty());
  e->defaults.objectCollide = 1;
  e->Reset();
  EXPECT_EQ(objects.added.size(), 2u);  // "a" and "own" (picked still skipped)
}

TEST_F(EngineTest, CollidersComeFromSceneObjectsWithTheirSettings) {
  auto e = MakeEngine();
  INode* floor = SquareNode("floor", 20, 0);
  INode* off = SquareNode("off", 20, 5);
  INode* bowl = SquareNode("VorelBowl", 20, 0);
  SquareNode("bare", 20, 0);
  ObjectParams on;
  on.friction = 2.0f;
  on.partKiller = true;
  objects.params[floor] = on;
  objects.params[bowl] = on;
  ObjectParams no;
  no.collide = 0;
  objects.params[off] = no;
  e->BuildColliderMeshes();
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  const ColliderMesh& K = *e->solver->colliders[0];
  EXPECT_EQ(K.friction, 2.0f);
  EXPECT_EQ(K.particleKiller, 1);
  EXPECT_EQ(K.mesh.vertices[1], Point3(1.0f, -1.0f, 0.0f));  // host (20, -20) at S = 20
  ASSERT_EQ(K.FaceCount(), 2);
  EXPECT_EQ(K.faceNormal[0], Vec3f(0, 0, 1));
  EXPECT_FLOAT_EQ(K.faceArea2[0], 4.0f);
  // A flat face still has a box particles can be inside of.
  EXPECT_LT(K.faceBox[2], 0.0f);
  EXPECT_GT(K.faceBox[5], 0.0f);
  e->UpdateColliderMeshes(160);
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  EXPECT_EQ(e->solver->colliders[0]->faceNormalSpeed, (std::vector<float>{0.0f, 0.0f}));
  EXPECT_TRUE(e->solver->colliders[0]->vertexVelocity.empty());
  // Keyed to rise 20 host units over frames 1..3: 10 a frame, 300 a second
  // at 30 frames a second, 15 solver units a second at S = 20; a frame that
  // straddles the last key sees half of it.
  ASSERT_TRUE(floor->SetTMKey(160, Matrix3()));
  ASSERT_TRUE(floor->SetTMKey(480, TransMatrix(Point3(0.0f, 0.0f, 20.0f))));
  e->UpdateColliderMeshes(160);
  EXPECT_NEAR(e->solver->colliders[0]->faceNormalSpeed[0], 15.0f, 1e-3f);
  EXPECT_NEAR(e->solver->colliders[0]->mesh.vertices[0].z, 0.0f, 1e-6f);
  e->UpdateColliderMeshes(400);
  EXPECT_NEAR(e->solver->colliders[0]->faceNormalSpeed[1], 7.5f, 1e-3f);
  EXPECT_NEAR(e->solver->colliders[0]->mesh.vertices[0].z, 0.75f, 1e-5f);
}

TEST_F(EngineTest, AStillColliderIsKeptAndOneWhoseTransformMeshOrSettingsChangedIsRebuilt) {
  auto e = MakeEngine();
  INode* floor = SquareNode("floor", 20, 0);
  objects.params[floor] = ObjectParams();
  e->UpdateColliderMeshes(160);
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  const ColliderMesh* first = e->solver->colliders[0];
  e->UpdateColliderMeshes(320);  // a later sub-step, nothing changed
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  EXPECT_EQ(e->solver->colliders[0], first);

  // Each change gives what a fresh build gives.
  auto rebuiltAs = [&](const char* what, auto check) {
    const ColliderMesh* before = e->solver->colliders[0];
    e->UpdateColliderMeshes(480);
    ASSERT_EQ(e->solver->colliders.size(), 1u) << what;
    EXPECT_NE(e->solver->colliders[0], before) << what;
    check(*e->solver->colliders[0]);
  };
  Matrix3 up;
  up.SetTrans(Point3(0.0f, 0.0f, 20.0f));
  floor->SetNodeTM(0, up);
  rebuiltAs("moved", [](const ColliderMesh& K) { EXPECT_EQ(K.mesh.vertices[1], Point3(1.0f, -1.0f, 1.0f)); });
  static_cast<TriObject*>(floor->GetObjectRef())->mesh.setVert(1, 40.0f, -20.0f, 0.0f);
  rebuiltAs("mesh edited", [](const ColliderMesh& K) { EXPECT_EQ(K.mesh.vertices[1], Point3(2.0f, -1.0f, 1.0f)); });
  objects.params[floor].friction = 3.0f;
  rebuiltAs("settings", [](const ColliderMesh& K) { EXPECT_EQ(K.friction, 3.0f); });
  // A frame's start (a build without motion) takes a still collider as the
  // sub-steps built it, and so does the sub-step after it; one that moves
  // is built again without motion.
  const ColliderMesh* still = e->solver->colliders[0];
  e->BuildColliderMeshes();
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  EXPECT_EQ(e->solver->colliders[0], still);
  e->UpdateColliderMeshes(480);
  EXPECT_EQ(e->solver->colliders[0], still);
  ASSERT_TRUE(floor->SetTMKey(480, up));
  ASSERT_TRUE(floor->SetTMKey(640, TransMatrix(Point3(0.0f, 0.0f, 40.0f))));
  rebuiltAs("keyed", [](const ColliderMesh& K) { EXPECT_FALSE(K.mesh.secondVertices.empty()); });
  const ColliderMesh* moving = e->solver->colliders[0];
  e->BuildColliderMeshes();
  ASSERT_EQ(e->solver->colliders.size(), 1u);
  EXPECT_NE(e->solver->colliders[0], moving);
  EXPECT_TRUE(e->solver->colliders[0]->mesh.secondVertices.empty());
  // A collider switched off leaves the list.
  objects.params[floor].collide = 0;
  e->UpdateColliderMeshes(480);
  EXPECT_TRUE(e->solver->colliders.empty());
}

TEST(EngineColliders, NormalSpeedIsTheCentroidsMoveAlongTheNormalPerSecond) {
  ColliderMesh K;
  K.mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 0)};
  K.mesh.faces = {{0, 1, 2}, {0, 0, 3}};  // the second has no area
  K.ComputeFaceData(0.1f);
  K.mesh.secondVertices = K.mesh.vertices;
  for (Point3& v : K.mesh.secondVertices) v.z += 1.0f / 20.0f;  // one host unit a frame
  ComputeFaceNormalSpeeds(K, 160);
  ASSERT_EQ(K.faceNormalSpeed.size(), 2u);
  EXPECT_NEAR(K.faceNormalSpeed[0], 1.5f, 1e-4);  // 1/20 unit a frame at 30 frames a second
  EXPECT_EQ(K.vertexVelocity, std::vector<Vec3f>(4, Vec3f(0.0f, 0.0f, 1.5f)));
  EXPECT_EQ(K.faceNormalSpeed[1], 0.0f);
  EXPECT_EQ(K.faceNormal[1], Vec3f());  // no NaN from the empty face
}

TEST_F(EngineTest, SpaceWarpsPushOnlyTheParticlesOfTheirSource) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  ASSERT_TRUE(e->CreateSource());
  Counts counts;
  INode* warp = GetCOREInterface()->CreateObjectNode(new ConstantWarp(Point3(1, 0, 0), &counts), "warp");
  Bind(e->sourceNodes[1], warp);
  Put(*e->solver, Vec3f(1, 0, 0));
  Put(*e->solver, Vec3f(2, 0, 0));
  e->solver->particles[1].sourceIndex = 1;
  std::vector<Vec3f> forces(5, Vec3f(7, 7, 7));
  e->ComputeSpaceWarpForces(forces, 0);
  ASSERT_EQ(forces.size(), 2u);
  EXPECT_EQ(forces[0], Vec3f());
  EXPECT_FLOAT_EQ(forces[1].x, 160.0f * 200000.0f / 20.0f);
  EXPECT_EQ(counts.made, 1);
  EXPECT_EQ(counts.deleted, 1);
  std::vector<ForceField*> list;
  CollectForceFields(e->sourceNodes[0], list);
  EXPECT_TRUE(list.empty());
}

TEST_F(EngineTest, ObjectSnapshotsAreWorldSpaceInSolverUnits) {
  auto e = MakeEngine();
  INode* n = SquareNode("plane", 20, 0, true);
  Matrix3 tm;
  tm.SetTrans(Point3(0, 0, 40));
  n->SetNodeTM(0, tm);
  ColliderMesh m;
  TriObject* tri = nullptr;
  ASSERT_TRUE(e->BuildObjectMesh(n, m, tri));
  ASSERT_NE(tri, nullptr);
  EXPECT_EQ(m.mesh.vertices[2], Point3(1, 1, 2));
  EXPECT_EQ(m.vertexOffset.size(), 4u);
  EXPECT_EQ(m.bounds[5], 2.0f + 1.3333f * e->solver->h);
  ReleaseTriObject(n->EvalWorldState(0).obj, tri);
}

TEST_F(EngineTest, MappingCoordinatesComeFromTheMapperAtTheChosenFrame) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  INode* mapper = SquareNode("mapper", 20, 0, true);  // uv 0..1 over -20..20
  SourceOf(*e, 0)->mapper = mapper;
  e->SourceBlock(0)->SetValue(kEmitApplyMappingAtFrame, 0, 10);
  Put(*e->solver, Vec3f(0.5f, 0.0f, 0.1f));  // above host (10, 0)
  Put(*e->solver, Vec3f(0, 0, 0));           // parked
  e->solver->particles[1].texCoord = Vec3f(9, 9, 9);
  e->solver->particles[0].texCoord = Vec3f(5, 5, 5);
  GetCOREInterface()->SetTime(9 * 160, false);
  e->ApplySourceMapping();
  EXPECT_EQ(e->solver->particles[0].texCoord, Vec3f(5, 5, 5));
  GetCOREInterface()->SetTime(10 * 160, false);
  e->ApplySourceMapping();
  EXPECT_NEAR(e->solver->particles[0].texCoord.x, 0.75f, 1e-5);
  EXPECT_NEAR(e->solver->particles[0].texCoord.y, 0.5f, 1e-5);
  EXPECT_EQ(e->solver->particles[1].texCoord, Vec3f(9, 9, 9));

  // A mapper without texture vertices, or with them but without faces,
  // changes nothing.
  SourceOf(*e, 0)->mapper = SquareNode("plain", 20, 0, false);
  e->solver->particles[0].texCoord = Vec3f(5, 5, 5);
  e->ApplySourceMapping();
  EXPECT_EQ(e->solver->particles[0].texCoord, Vec3f(5, 5, 5));
  TriObject* bare = CreateNewTriObject();
  bare->mesh.setNumVerts(3);
  bare->mesh.setNumTVerts(3);
  bare->mesh.setTVert(1, 1, 0, 0);
  SourceOf(*e, 0)->mapper = GetCOREInterface()->CreateObjectNode(bare, "faceless");
  e->ApplySourceMapping();
  EXPECT_EQ(e->solver->particles[0].texCoord, Vec3f(5, 5, 5));
}
