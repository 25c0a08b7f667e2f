// A fluid engine with a cache folder and a stand-in fluid system, for the
// emitter and ghost tests.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fluid_core/engine.h"
#include "host/core/files.h"
#include "host/sdk/max.h"
#include "host/tests/core/scratch_dirs.h"
#include "scene_objects/emitter.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"

namespace emitter_test {

// The system parameters the emitters read.
class SystemDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool) override { return nullptr; }
  const char* ClassName() override { return "TestFluidSystem"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x7E57E111, 0x2); }
  const char* Category() override { return "Tests"; }
};
inline SystemDesc* GetSystemDesc() {
  static SystemDesc d;
  static ParamBlockDesc2 block(
      0, "params", 0, &d, P_AUTO_CONSTRUCT, 0, {},
      {ParamDef(kFluidOutOfRangeAction, "outofrangeaction", TYPE_INT, 0).Default(0),
       ParamDef(kFluidFramesToLoopFor, "framestoloopfor", TYPE_INT, 0).Default(1).Range(1, 1000),
       ParamDef(kFluidFlickFilter, "FlickFilter", TYPE_FLOAT, 0).Default(0.0f),
       ParamDef(kFluidFilterSamples, "FilterSamples", TYPE_INT, 0).Default(0)});
  return &d;
}

class TestSystem : public ReferenceTarget, public FluidEngineOwner {
 public:
  TestSystem() { GetSystemDesc()->MakeAutoParamBlocks(this); }
  ~TestSystem() override { DeleteAllRefs(); }
  void MaybeAutoDelete() override {}
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? block : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) block = dynamic_cast<IParamBlock2*>(t);
  }
  IParamBlock2* SystemParamBlock() override { return block; }
  bool IsSolving() override { return solving; }
  void ReferenceSourceNode(int slot, INode* node) override { referenced.push_back({slot, node}); }

  IParamBlock2* block = nullptr;
  bool solving = false;
  std::vector<std::pair<int, INode*>> referenced;
};

inline std::string ScratchDir(const std::string& name) { return vorel::test::FreshScratchDir("vorel_emit_", name); }

// An engine with one emitter in slot 0 and frames written by hand.
class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    ip->SetTicksPerFrame(160);
    ip->SetTime(0, false);
    engine = std::make_unique<FluidEngine>();
    engine->owner = &system;
    const std::string root = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    engine->SetCacheRoot(root);
    engine->SetSystemName("sys");
    vorel::host::MakeDirectories(engine->solver->frameCache.SystemFolder());
    engine->startFrame = 0;
    emitter = AddEmitter("VorelParticle");
    node = emitter->node;
    SourcesNeedRefresh = 1;
  }
  // An emitter of the engine in its next source slot, in a node of its own.
  RainParticle* AddEmitter(const char* name) {
    auto* e = static_cast<RainParticle*>(GetRainDesc()->Create(false));
    const int k = engine->sourceCount++;
    e->node = ip->CreateObjectNode(e, name);
    e->engine = engine.get();
    e->sourceIndex = k;
    engine->sourceObjects[size_t(k)] = e;
    engine->sourceNodes[size_t(k)] = e->node;
    return e;
  }
  void TearDown() override {
    ip->ResetScene();
    engine.reset();
  }

  // Frame f of source 0 (and 1 for odd entries when mixed): particles at
  // (x0 + i, 1, 0), velocity (0, 0, 2 + i) host units, age 10 + i.
  void WriteFrame(int f, int n, float x0, bool mixed = false) {
    FluidSolver& s = *engine->solver;
    s.count = 0;
    std::vector<Vec3f> pts;
    for (int i = 0; i < n; ++i) pts.emplace_back((x0 + i) / engine->FrameScale(), 1.0f / engine->FrameScale(), 0.0f);  // off the parking place
    if (n > 0) s.AddParticles(6.0f, 0, pts, n, 0.0f, 0, 1);
    for (int i = 0; i < n; ++i) {
      FluidParticle& p = s.particles[size_t(i)];
      p.vel = Vec3f(0.0f, 0.0f, (2.0f + i) / engine->FrameScale());
      p.age = 10 + i;
      p.sourceIndex = mixed && (i % 2) ? 1 : 0;
      p.pairAccel = Vec3f(1.0f, 0.0f, 0.0f);
      p.neighbourCount = 20 + i;  // the file keeps the list length
    }
    ASSERT_GT(s.WriteFrame(f), 0);
    engine->frameParticleCount[size_t(f)] = n;
    engine->lastSolved = std::max(engine->lastSolved, f);
  }
  void SetSystem(int action, int loop) {
    system.block->SetValue(kFluidOutOfRangeAction, 0, action);
    system.block->SetValue(kFluidFramesToLoopFor, 0, loop);
  }
  // Updates at frame f (a whole frame unless ticks are given).
  void UpdateAt(float frame) {
    SourcesNeedRefresh = 1;
    emitter->UpdateParticles(TimeValue(frame * 160.0f), node);
  }

  Interface* ip = nullptr;
  TestSystem system;
  std::unique_ptr<FluidEngine> engine;
  RainParticle* emitter = nullptr;
  INode* node = nullptr;
};

}  // namespace emitter_test
