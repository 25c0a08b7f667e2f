// The fluid system object: naming, references, reactions to parameter
// changes, the pre-delete cascade, bounding box, conversion and the render
// notifications.
#include <fstream>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "fluid_core/stamp_text.h"
#include "fluid_plugin/pour_scene.h"
#include "plugin_test_util.h"

namespace {
using FluidSystem = FluidSystemTest;

// Writes cache frame n of the system with `count` particles in a cube.
void WriteParticles(TetraProcObj* s, int n, int count) {
  FluidSolver& sv = *s->engine.solver;
  std::vector<Vec3f> pts;
  for (int i = 0; i < count; ++i) pts.push_back(Vec3f(0.05f * (i % 5), 0.05f * ((i / 5) % 5), 0.05f * (i / 25)));
  sv.AddParticles(20.0f, 0, pts, count, 0.0f, 0, 1);
  s->engine.frameParticleCount[size_t(n)] = sv.count;
  sv.WriteFrame(n);
  s->engine.lastSolved = std::max(s->engine.lastSolved, n);
}
}  // namespace

TEST_F(FluidSystem, DefaultNamesFollowTheSceneAndNeverComeBack) {
  EXPECT_EQ(TetraProcObj::DefaultSystemName("", 1), "aux001");
  EXPECT_EQ(TetraProcObj::DefaultSystemName("pour", 3), "pour_aux003");
  TetraProcObj* a = MakeSystem();
  TetraProcObj* b = MakeSystem();
  const int na = std::atoi(a->engine.systemName.c_str() + 3);
  EXPECT_EQ(b->engine.systemName, TetraProcObj::DefaultSystemName("", na + 1));
  // Deleting a system frees no number: the next one never shares a live folder.
  ip()->DeleteNode(a->node);
  TetraProcObj* c = MakeSystem();
  EXPECT_EQ(c->engine.systemName, TetraProcObj::DefaultSystemName("", na + 2));
  EXPECT_EQ(SystemCount, 2);
}

// A stale cache under a default name may be another scene's (one whose save
// had to keep the name, one not yet saved, one of another process): a new
// system passes over that name, and neither it nor a loading one deletes
// anything there.
TEST_F(FluidSystem, NewSystemPassesOverAStaleCacheUnderItsDefaultNameAndNoSystemDeletesIt) {
  // Default folders under this test's own root: no other test process
  // numbers its systems there.
  std::ofstream(scratch() + "/install/plugcfg/Vorel.ini") << "[TempDir]=" << scratch() << "\n";
  // Stamped as this minute's solves are: an earlier system of the same name
  // solved these frames a moment ago.
  vorel::host::FixSystemTime(1765280000);
  FrameCache stale;
  int number = 0;
  {
    TetraProcObj probe(false);
    stale = probe.engine.solver->frameCache;
    number = std::atoi(probe.engine.systemName.c_str() + 3);
  }
  auto writeStale = [&](int k) {
    stale.systemName = TetraProcObj::DefaultSystemName("", k);
    vorel::host::MakeDirectories(stale.SurfaceFolder());
    FluidSolver solver(216.0, 1000.0f, 1.0f / 30.0f);
    solver.particles.resize(8);
    for (int n = 0; n < 4; ++n) ASSERT_GT(stale.WriteFrame(n, 8, CurrentSimulationStamp(), 216.0, solver), 0);
    std::ofstream(stale.MeshPath(2)) << "stale";
  };
  auto staleLeft = [&] {
    std::vector<std::string> left;
    for (int n = 0; n < 4; ++n)
      if (vorel::host::FileExists(stale.FramePath(n))) left.push_back(stale.FramePath(n));
    if (vorel::host::FileExists(stale.MeshPath(2))) left.push_back(stale.MeshPath(2));
    return left;
  };
  writeStale(number + 1);
  int made = 0;
  {
    TetraProcObj system(false);
    system.engine.owner = &system;
    made = std::atoi(system.engine.systemName.c_str() + 3);
    EXPECT_EQ(system.engine.systemName, TetraProcObj::DefaultSystemName("", number + 2));
    // None of them shows as this system's, even once it reads its folder again.
    system.engine.Reset();
    system.engine.ReloadCache();
    EXPECT_EQ(system.engine.lastSolved, 0);
    EXPECT_EQ(system.engine.frameMeshed[2], 0);
  }
  EXPECT_EQ(staleLeft().size(), 5u);
  // The scene being loaded may own that folder: its save could not rename it.
  writeStale(made + 1);
  {
    TetraProcObj loaded(true);
    EXPECT_EQ(loaded.engine.systemName, stale.systemName);
  }
  EXPECT_EQ(staleLeft().size(), 5u);
  vorel::host::UnfixSystemTime();
}

TEST_F(FluidSystem, ReferencesCountEverySlotAndDeletedSourcesLeaveHoles) {
  TetraProcObj* s = MakeSystem();
  Object* o1 = static_cast<Object*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(16, 0)));
  Object* o2 = static_cast<Object*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(16, 0)));
  INode* n1 = ip()->CreateObjectNode(o1, "src1");
  INode* n2 = ip()->CreateObjectNode(o2, "src2");
  s->ReferenceSourceNode(0, n1);
  s->ReferenceSourceNode(1, n2);
  EXPECT_EQ(s->NumRefs(), 3);
  EXPECT_EQ(s->GetReference(2), n2);
  ip()->DeleteNode(n1);
  EXPECT_EQ(s->NumRefs(), 3);
  EXPECT_EQ(s->GetReference(1), nullptr);
  EXPECT_EQ(s->GetReference(2), n2);
}

TEST_F(FluidSystem, SurfaceParameterChangeRemeshesTheShownFrameOnlyWithShowMesh) {
  TetraProcObj* s = MakeSystem();
  WriteParticles(s, 0, 60);
  const std::string mesh0 = s->engine.solver->frameCache.MeshPath(0);
  std::remove(mesh0.c_str());
  s->pblock2->SetValue(kFluidShowMesh, 0, 0);
  s->pblock2->SetValue(kFluidDropSize, 0, 5.0f);
  EXPECT_FALSE(vorel::host::FileExists(mesh0));
  s->pblock2->SetValue(kFluidShowMesh, 0, 1);  // no surface value changed
  EXPECT_FALSE(vorel::host::FileExists(mesh0));
  s->pblock2->SetValue(kFluidDropSize, 0, 6.0f);
  EXPECT_TRUE(vorel::host::FileExists(mesh0));
  EXPECT_EQ(s->engine.frameMeshed[0], 1);
  EXPECT_GT(s->mesh.getNumFaces(), 0);
  // Outside the mesher's range nothing is built.
  std::remove(mesh0.c_str());
  s->pblock2->SetValue(kFluidEntireAnimationRange, 0, 0);
  s->pblock2->SetValue(kFluidStartFrameMesher, 0, 5);
  s->pblock2->SetValue(kFluidDropSize, 0, 7.0f);
  EXPECT_FALSE(vorel::host::FileExists(mesh0));
}

TEST_F(FluidSystem, DeletingTheSystemTakesItsHelpersAndKeepsOtherSystemsSettings) {
  TetraProcObj* s = MakeSystem("Vorel_one");
  TetraProcObj* t = MakeSystem("Vorel_two");
  s->engine.CreateClipBox();
  s->engine.CreateFloor();
  Object* box = static_cast<Object*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(16, 0)));
  INode* collider = ip()->CreateObjectNode(box, "wall");
  s->engine.AddDefaultObjectParams();
  ASSERT_NE(ip()->GetINodeByName("Vorelclip"), nullptr);
  ASSERT_NE(ip()->GetINodeByName("floorVorel"), nullptr);
  ASSERT_NE(GetObjectParamsAccess(), nullptr);
  ASSERT_TRUE(GetObjectParamsAccess()->HasObjectParams(collider));
  // Deleting only a helper leaves the systems alone.
  t->engine.CreateTextureGizmo();
  ip()->DeleteNode(ip()->GetINodeByName("VorelTextureGizmo"));
  EXPECT_NE(ip()->GetINodeByName("Vorel_two"), nullptr);
  // The clip box, the floor and the settings serve the system left...
  ip()->DeleteNode(s->node);
  EXPECT_NE(ip()->GetINodeByName("Vorelclip"), nullptr);
  EXPECT_NE(ip()->GetINodeByName("floorVorel"), nullptr);
  EXPECT_TRUE(GetObjectParamsAccess()->HasObjectParams(collider));
  // ...and go with the last one.
  ip()->DeleteNode(t->node);
  EXPECT_EQ(ip()->GetINodeByName("Vorelclip"), nullptr);
  EXPECT_EQ(ip()->GetINodeByName("floorVorel"), nullptr);
  EXPECT_FALSE(GetObjectParamsAccess()->HasObjectParams(collider));
  // A deleted collider leaves the wet-map list: a repaint never reaches it.
  TetraProcObj* u = MakeSystem("Vorel_three");
  Object* tray = static_cast<Object*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(16, 0)));
  INode* puddle = ip()->CreateObjectNode(tray, "puddle");
  const size_t maps = u->engine.wetMaps.size();
  u->engine.AddWetMap(puddle);
  ASSERT_EQ(u->engine.wetMaps.size(), maps + 1);
  ip()->DeleteNode(puddle);
  EXPECT_EQ(u->engine.wetMaps.size(), maps);
}

TEST_F(FluidSystem, GravityAndScaleReachTheEmittersAndTheFrameScaleHoweverTheyChange) {
  TetraProcObj* s = MakeSystem();
  ASSERT_TRUE(s->engine.CreateSource());
  FluidSource* source = s->engine.sourceObjects[0];
  ASSERT_NE(source, nullptr);
  s->pblock2->SetValue(kFluidGravity, 0, 12.5f);
  EXPECT_EQ(source->gravity, 12.5f);
  // A script, a key or a preset sets the parameter, not the rollout spinner.
  s->pblock2->SetValue(kFluidScale, 0, 2.0f);
  EXPECT_EQ(s->engine.FrameScale(), 40.0f);
  EXPECT_EQ(s->scaleValue, 2.0f);
  // A new system, in this scene or the next, starts from its own scale.
  ip()->ResetScene();
  TetraProcObj* t = MakeSystem("scaled");
  EXPECT_EQ(t->engine.FrameScale(), 20.0f);
  t->pblock2->SetValue(kFluidScale, 0, 3.0f);
  const std::string scene = scratch() + "/scaled.scene";
  ASSERT_TRUE(ip()->SaveToFile(scene));
  ip()->ResetScene();
  MakeSystem();
  ASSERT_TRUE(ip()->LoadFromFile(scene));
  INode* loaded = ip()->GetINodeByName("scaled");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(static_cast<TetraProcObj*>(loaded->GetObjectRef()->FindBaseObject())->engine.FrameScale(), 60.0f);
}

TEST_F(FluidSystem, TwoSystemsSolveAndShowEachAtItsOwnScale) {
  // Emitters far from the origin, inside the clip box: a position taken at
  // the other system's scale lands some 60 units away or outside the box.
  PourScene a = BuildPourScene(scratch(), 4, PourSettings());
  PourScene b = BuildPourScene(scratch(), 4, PourSettings());
  ASSERT_TRUE(a.system && b.system);
  ASSERT_NE(a.system, b.system);
  b.system->pblock2->SetValue(kFluidScale, 0, 2.0f);
  const Point3 places[2] = {Point3(80.0f, -70.0f, 80.0f), Point3(-70.0f, 80.0f, 80.0f)};
  PourScene* scenes[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    Matrix3 tm = scenes[k]->emitter->GetNodeTM(0);
    tm.SetTrans(places[k]);
    scenes[k]->emitter->SetNodeTM(0, tm);
    scenes[k]->system->engine.Reset();
  }
  // Solved in either order, shown in either order.
  RunGo(b.system);
  RunGo(a.system);
  for (int k : {1, 0}) {
    FluidEngine& e = scenes[k]->system->engine;
    ASSERT_EQ(e.lastSolved, 3) << k;
    FrameCache hostUnits = e.solver->frameCache;
    hostUnits.SetScale(1.0f);  // the file's own numbers
    std::vector<Vec3f> pos;
    const int n = hostUnits.ReadFramePositions(3, pos);
    ASSERT_GT(n, 0) << k;
    int live = 0;
    for (int i = 0; i < n; ++i) {
      const Point3 p(pos[size_t(i)].x, pos[size_t(i)].y, pos[size_t(i)].z);
      if (p == Point3(0.0f, 0.0f, 0.0f)) continue;  // a free slot, parked
      ++live;
      ASSERT_LT(Length(p - places[k]), 40.0f) << "system " << k << " particle " << i;
    }
    EXPECT_GT(live, 0) << k;
    ip()->SetTime(3 * 160, false);
    ParticleObject* shown = e.sourceObjects[0]->SourceParticles();
    shown->UpdateParticles(3 * 160, e.sourceNodes[0]);
    ASSERT_GT(shown->NumParticles(), 0) << k;
    for (int i = 0; i < shown->NumParticles(); ++i) {
      const Point3 p = shown->ParticlePosition(3 * 160, i);
      if (p != Point3(0.0f, 0.0f, 0.0f)) {
        ASSERT_LT(Length(p - places[k]), 40.0f) << "system " << k << " shown " << i;
      }
    }
  }
}

TEST_F(FluidSystem, BoundingBoxCoversTheIconAndTheFramesClipBox) {
  TetraProcObj* s = MakeSystem();
  s->engine.frameClipBox[0] = Box3(Point3(-100, -5, 0), Point3(10, 80, 40));
  Box3 b;
  s->GetLocalBoundBox(0, s->node, nullptr, b);
  EXPECT_LE(b.pmin.x, -100.0f);
  EXPECT_GE(b.pmax.y, 80.0f);
  EXPECT_GE(b.pmax.x, 36.0f);
  EXPECT_LE(b.pmin.y, 5.0f);
}

TEST_F(FluidSystem, RenderNotificationsTrackTheFrame) {
  TetraProcObj* s = MakeSystem();
  RenderGlobalContext rc;
  rc.time = 0;
  BroadcastNotification(NOTIFY_PRE_RENDER, nullptr);
  EXPECT_TRUE(s->rendering);
  BroadcastNotification(NOTIFY_PRE_RENDERFRAME, &rc);
  EXPECT_EQ(s->renderFrame, -999);
  rc.time = 3200;
  BroadcastNotification(NOTIFY_PRE_RENDERFRAME, &rc);
  EXPECT_EQ(s->renderFrame, 21);
  BroadcastNotification(NOTIFY_POST_RENDER, nullptr);
  EXPECT_FALSE(s->rendering);
  EXPECT_EQ(s->renderFrame, -999);
}

TEST_F(FluidSystem, ConversionBetweenFramesBuildsFromParticles) {
  TetraProcObj* s = BuildPourScene(scratch(), 4, PourSettings()).system;
  ASSERT_NE(s, nullptr);
  RunGo(s);
  ASSERT_EQ(s->engine.lastSolved, 3);
  // Without "ShowMesh" a whole frame shows no cached surface, while a time
  // between frames is meshed from the particles the emitter shows.
  s->pblock2->SetValue(kFluidShowMesh, 0, 0);
  auto facesAt = [s](TimeValue t) {
    Object* o = s->ConvertToType(t, triObjectClassID());
    EXPECT_NE(o, nullptr);
    const int faces = o ? static_cast<TriObject*>(o)->mesh.getNumFaces() : -1;
    if (o && o != s) o->DeleteThis();
    return faces;
  };
  ip()->SetTime(2 * 160, false);
  EXPECT_EQ(facesAt(2 * 160), 0);
  EXPECT_GT(facesAt(2 * 160 + 80), 0);
}
