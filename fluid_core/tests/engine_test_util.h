// Test doubles of the engine's surroundings: an emitter object with the
// emitter's block, an owner with the system's block, per-object settings
// kept in a map, and a fixture that gives each test an empty scene and its
// own cache folder.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fluid_core/engine.h"
#include "fluid_core/host_link.h"
#include "host/core/clock.h"
#include "fill_geometry/hilera.h"
#include "solver_test_util.h"

namespace engine_test {

// The emitter's block (ids, types and defaults the engine relies on).
inline ParamBlockDesc2* SourceBlockDesc(ClassDesc2* cd) {
  static ParamBlockDesc2 d(
      0, "params", 0, cd, P_AUTO_CONSTRUCT, 0, {},
      {ParamDef(kEmitDropSize, "DropSize", TYPE_FLOAT, P_ANIMATABLE).Default(1.0f),
       ParamDef(kEmitDisplayType, "DisplayType", TYPE_INT, P_ANIMATABLE).Default(0),
       ParamDef(kEmitRenderType, "RenderType", TYPE_INT, P_ANIMATABLE).Default(2),
       ParamDef(kEmitFacingOrientation, "FacingOrientation", TYPE_INT, P_ANIMATABLE).Default(0),
       ParamDef(kEmitSizeOnAgePercentage, "SizeOnAgePercentage", TYPE_INT, P_ANIMATABLE).Default(100),
       ParamDef(kEmitSizeOnSolitudeRadius, "SizeOnSolitudeRadius", TYPE_INT, P_ANIMATABLE).Default(50),
       ParamDef(kEmitSizeOnSolitude, "SizeOnSolitude", TYPE_BOOL, P_ANIMATABLE).Default(1),
       ParamDef(kEmitMinSize, "MinSize", TYPE_FLOAT, P_ANIMATABLE).Default(0.0f),
       ParamDef(kEmitParticlesShown, "ParticlesShown", TYPE_INT, P_ANIMATABLE).Default(100),
       ParamDef(kEmitParticlesShownInRender, "ParticlesShownInRender", TYPE_INT, P_ANIMATABLE).Default(100),
       ParamDef(kEmitRadius, "Radius", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kEmitEmissionRate, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE).Default(6.0f),
       ParamDef(kEmitSourceLod, "Source LOD", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kEmitThickness, "Thickness", TYPE_FLOAT, P_ANIMATABLE).Default(5.0f),
       ParamDef(kEmitRandomEmission, "RandomEmission", TYPE_BOOL, P_ANIMATABLE).Default(1),
       ParamDef(kEmitDisableSource, "DisableSource", TYPE_BOOL, P_ANIMATABLE).Default(0),
       ParamDef(kEmitLifeTime, "lifeTime", TYPE_INT, P_ANIMATABLE).Default(9999),
       ParamDef(kEmitStartFrame, "startFrame", TYPE_INT, P_ANIMATABLE).Default(-100),
       ParamDef(kEmitStopFrame, "stopFrame", TYPE_INT, P_ANIMATABLE).Default(45),
       ParamDef(kEmitEmissionType, "EmissionType", TYPE_INT, P_ANIMATABLE).Default(0),
       ParamDef(kEmitFillingPercentage, "fillingPercentage", TYPE_INT, P_ANIMATABLE).Default(100),
       ParamDef(kEmitParticlesFilled, "#particlesFilled", TYPE_INT, P_ANIMATABLE).Default(100000),
       ParamDef(kEmitTrajectoryLength, "trajectoryLength", TYPE_INT, P_ANIMATABLE).Default(30),
       ParamDef(kEmitApplyMappingAtFrame, "applyMappingAtFrame", TYPE_INT, P_ANIMATABLE).Default(30),
       ParamDef(kEmitHideSource, "HideSource", TYPE_BOOL, 0).Default(0),
       ParamDef(kEmitHideTrajectory, "HideTrajectory", TYPE_BOOL, 0).Default(0),
       ParamDef(kEmitRateVariation, "rateVariation", TYPE_INT, P_ANIMATABLE).Default(0),
       ParamDef(kEmitInterParticleInteraction, "inter-particleInteraction", TYPE_BOOL, P_ANIMATABLE).Default(1),
       ParamDef(kEmitOverrideObjParams, "overrideObjParams", TYPE_BOOL, 0).Default(0),
       ParamDef(kEmitSourceFriction, "Source_Friction", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kEmitSourceAdherence, "Source_adherence LOD", TYPE_FLOAT, P_ANIMATABLE).Default(0.0f),
       ParamDef(kEmitSourceBounce, "Source_Bounce", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kEmitSourceCollisionGap, "Source_collision_gap", TYPE_FLOAT, P_ANIMATABLE).Default(0.05f),
       ParamDef(kEmitSourceGravity, "Source_gravity", TYPE_FLOAT, P_ANIMATABLE).Default(34.0f)});
  return &d;
}

// The system's block (the ids the engine reads).
inline ParamBlockDesc2* SystemBlockDesc() {
  static ParamBlockDesc2 d(
      0, "params", 0, nullptr, 0, 0, {},
      {ParamDef(kFluidSurfaceLod, "Surface LOD", TYPE_FLOAT, P_ANIMATABLE).Default(8.0f),
       ParamDef(kFluidDropSize, "Drop Size", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kFluidMeltingForce, "Melting Force", TYPE_FLOAT, P_ANIMATABLE).Default(4.0f),
       ParamDef(kFluidGravity, "Gravity", TYPE_FLOAT, P_ANIMATABLE).Default(33.1f),
       ParamDef(kFluidShowMesh, "ShowMesh", TYPE_INT, P_ANIMATABLE).Default(1),
       ParamDef(kFluidSubSample, "Sub-sample", TYPE_INT, P_ANIMATABLE).Default(1).Range(1, 50),
       ParamDef(kFluidOutOfRangeAction, "outofrangeaction", TYPE_INT, 0).Default(0),
       ParamDef(kFluidFramesToLoopFor, "framestoloopfor", TYPE_INT, P_ANIMATABLE).Default(1),
       ParamDef(kFluidOffset, "offset", TYPE_INT, 0).Default(0),
       ParamDef(kFluidShrinkWrap, "Shrink Wrap", TYPE_FLOAT, P_ANIMATABLE).Default(0.66f),
       ParamDef(kFluidFlickFilter, "FlickFilter", TYPE_FLOAT, P_ANIMATABLE).Default(0.3f),
       ParamDef(kFluidFilterSamples, "FilterSamples", TYPE_INT, 0).Default(3)});
  return &d;
}

class TestSourceDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool loading) override;
  const char* ClassName() override { return "Vorel"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return SourceClassID(); }
  const char* Category() override { return "Tests"; }
  const char* InternalName() override { return "TestSource"; }
};
inline TestSourceDesc* GetTestSourceDesc() {
  static TestSourceDesc d;
  return &d;
}

// An emitter: its block, fill points and layers set by the test, display
// particles copied from `shown` (positions host units, ages).
class TestSource : public SimpleParticle, public FluidSource {
 public:
  TestSource() {
    SourceBlockDesc(GetTestSourceDesc());
    GetTestSourceDesc()->MakeAutoParamBlocks(this);
  }
  Class_ID ClassID() override { return SourceClassID(); }
  void GetClassName(std::string& s) override { s = "Vorel"; }
  void* GetInterface(uint32_t id) override {
    if (id == I_FLUIDSOURCE) return static_cast<FluidSource*>(this);
    return SimpleParticle::GetInterface(id);
  }
  using SimpleParticle::GetInterface;
  void UpdateParticles(TimeValue t, INode*) override {
    ++updates;
    if (onUpdate) onUpdate();
    parts.SetCount(int(shown.size()));
    for (size_t i = 0; i < shown.size(); ++i) {
      parts.points[i] = shown[i];
      parts.ages[i] = i < shownAges.size() ? shownAges[i] : 0;
    }
    tvalid = t;
    valid = true;
  }
  void BuildEmitter(TimeValue, Mesh&) override {}

  IParamBlock2* SourceParamBlock() override { return pblock2; }
  ParticleObject* SourceParticles() override { return this; }
  bool HasPickedObject() override { return picked != nullptr || hasPick; }
  INode* PickedNode() override { return picked; }
  INode* MapperNode() override { return mapper; }
  void FillFromObject() override { ++fills; }
  void SetFillSpinnersEnabled(bool on) override { spinners.push_back(on); }
  const std::vector<Vec3f>& FillPoints() override { return fill; }
  const std::vector<int>& FillLayerCounts() override { return layers; }
  const std::vector<Point3>& ShapePoints() override { return shape; }
  const Hileras* ShapeRows() override { return region.Count() > 0 ? &region : nullptr; }
  // A disc outline of radius r (emitter-local solver units).
  void SetDisc(double r) {
    region.DeleteAll();
    Hilera* ring = new Hilera();
    for (int k = 0; k <= 24; ++k)
      ring->AddPoint(r * std::cos(k * 6.283185307 / 24), r * std::sin(k * 6.283185307 / 24));
    region.Add(ring);
  }

  INode* picked = nullptr;
  INode* mapper = nullptr;
  bool hasPick = false;
  int fills = 0;
  int updates = 0;
  std::vector<bool> spinners;
  std::vector<Vec3f> fill;
  std::vector<int> layers;
  std::vector<Point3> shape;
  std::vector<Point3> shown;
  std::vector<TimeValue> shownAges;
  Hileras region;
  std::function<void()> onUpdate;
};
inline Animatable* TestSourceDesc::Create(bool) { return new TestSource(); }

// The fluid system object as the engine sees it.
class FakeOwner : public FluidEngineOwner {
 public:
  FakeOwner() : block(new IParamBlock2(SystemBlockDesc())) {}
  IParamBlock2* SystemParamBlock() override { return block.get(); }
  bool IsSolving() override { return solving; }
  bool SolveRunning() override { return running; }
  void SetSolveRunning(bool on) override {
    running = on;
    runningLog.push_back(on);
  }
  bool JustLoaded() override { return justLoaded; }
  void ClearJustLoaded() override { justLoaded = false; }
  void LoadSurfaceFrame(int frame) override { shown.push_back(frame); }
  void ClearMesh() override { shown.push_back(-1); }
  void InvalidateValidity() override { ++invalidations; }
  void ReferenceSourceNode(int slot, INode* node) override { refs[slot + 1] = node; }
  HWND CacheRollout() override { return rollout; }
  void SetDialogText(HWND, int control, const char* text) override { texts[control] = text; }
  void SetSolveProgress(int pos, int lo, int hi) override { progress.push_back({pos, lo, hi}); }

  std::unique_ptr<IParamBlock2> block;
  bool solving = false, running = false, justLoaded = false;
  std::vector<bool> runningLog;
  std::vector<int> shown;  // frames loaded, -1 = emptied
  int invalidations = 0;
  std::map<int, INode*> refs;
  HWND rollout = nullptr;
  std::map<int, std::string> texts;
  struct Progress { int pos, lo, hi; };
  std::vector<Progress> progress;
};

// Per-object settings of scene nodes, kept by node.
class FakeObjectParams : public ObjectParamsAccess {
 public:
  bool GetObjectParams(INode* node, ObjectParams& out) override {
    auto it = params.find(node);
    if (it == params.end()) return false;
    out = it->second;
    return true;
  }
  bool GetWetmapParams(INode*, WetmapParams&) override { return false; }
  bool HasObjectParams(INode* node) override { return params.count(node) != 0; }
  void AddObjectParams(FluidEngine*, INode* node, const ObjectSettings& s) override {
    ObjectParams p;
    p.collide = s.collide;
    p.collisionGap = s.collisionGap;
    p.bounce = s.bounce;
    p.friction = s.friction;
    p.adherence = s.adherence;
    p.partKiller = s.partKiller;
    params[node] = p;
    added.push_back(node);
  }
  void RemoveObjectParams(INode* node) override { params.erase(node); }
  std::map<INode*, ObjectParams> params;
  std::vector<INode*> added;
};

// Each test: an empty scene at time 0 (160 ticks a frame, range 0..100),
// S = 20, no Escape, a scratch cache root, the object-settings double.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassDirectory::Get().AddClass(GetTestSourceDesc());
    Interface* ip = GetCOREInterface();
    ip->ResetScene();
    ip->SetTicksPerFrame(160);
    ip->SetAnimRange(Interval(0, 100 * 160));
    ip->SetTime(0, false);
    solver_host::SetAbortTest([] { return false; });
    SetObjectParamsAccess(&objects);
    root = solver_test::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    SolveStopFlag = 0;
  }
  void TearDown() override {
    SetObjectParamsAccess(nullptr);
    solver_host::SetAbortTest(nullptr);
    GetCOREInterface()->ResetScene();
    ClassDirectory::Get().RemoveClass(GetTestSourceDesc());
    std::system(("rm -rf '" + root + "'").c_str());
  }
  // An engine named "sys" with its cache folder under the scratch root,
  // owned by `owner`, reset.
  std::unique_ptr<FluidEngine> MakeEngine(bool withOwner = true) {
    std::unique_ptr<FluidEngine> e(new FluidEngine());
    e->SetCacheRoot(root);
    e->SetSystemName("sys");
    vorel::host::MakeDirectories(e->solver->frameCache.SurfaceFolder());
    if (withOwner) e->owner = &owner;
    e->Reset();
    return e;
  }
  TestSource* SourceOf(FluidEngine& e, int i) { return static_cast<TestSource*>(e.sourceObjects[i]); }

  FakeOwner owner;
  FakeObjectParams objects;
  std::string root;
};

}  // namespace engine_test
