// The emitter object: creation through its descriptor, references, save and
// load, clone, and the particle update from the engine's display feed.
#include <gtest/gtest.h>

#include <cstring>

#include "emitter_test_support.h"
#include "host/ui/ui.h"
#include "scene_objects/ghost.h"

using emitter_test::EngineFixture;

TEST(Emitter, DescriptorCreatesAnEmitterWithItsDefaults) {
  Animatable* a = GetRainDesc()->Create(false);
  ASSERT_NE(a, nullptr);
  RainParticle* e = dynamic_cast<RainParticle*>(a);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->ClassID(), RainClassID());
  EXPECT_STREQ(e->GetObjectName(), "Vorel");
  std::string name;
  e->InitNodeName(name);
  EXPECT_EQ(name, "Vorel");
  IParamBlock2* pb = e->GetParamBlock(0);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(e->GetParamBlockByID(0), pb);
  EXPECT_EQ(e->GetParamBlockByID(1), nullptr);
  EXPECT_EQ(pb->GetInt(kEmitStartFrame), -100);
  EXPECT_EQ(pb->GetInt(kEmitStopFrame), 45);
  EXPECT_EQ(pb->GetInt(kEmitFillingPercentage), 100);
  EXPECT_EQ(pb->GetInt(kEmitParticlesFilled), 100000);
  EXPECT_EQ(pb->GetInt(kEmitParticlesShown), 100);
  EXPECT_EQ(pb->GetInt(kEmitInterParticleInteraction), 1);
  EXPECT_EQ(e->NumRefs(), 4);
  EXPECT_EQ(e->ghostObjects.size(), 2048u);
  EXPECT_EQ(e->frameLastShown, -1);
  EXPECT_EQ(AsFluidSource(e), static_cast<FluidSource*>(e));
  EXPECT_NE(e->GetInterface(I_PARTICLEOBJ), nullptr);
  EXPECT_EQ(e->GetParameterName(0), "Drop Size");
  EXPECT_EQ(e->GetParameterName(16), "Life Time");
  EXPECT_EQ(e->GetParameterName(12), "");
  EXPECT_EQ(e->GetParameterDim(0), 1);
  EXPECT_EQ(e->GetParameterDim(16), 2);
  Point3 pt, n;
  EXPECT_TRUE(e->NormalAlignVector(0, pt, n));
  EXPECT_EQ(n, Point3(0.0f, 0.0f, -1.0f));
  e->DeleteThis();
}

TEST(Emitter, SourceFolderTextIsBoundedToTheSceneRecord) {
  RainParticle e;
  e.SetSourceFolder(std::string(400, 'a'));
  EXPECT_EQ(e.SourceFileFolder().size(), 259u);
  e.SetSourceFolder("c:/frames");
  EXPECT_EQ(e.SourceFileFolder(), "c:/frames");
}

TEST(Emitter, SavesItsGhostCountAndRefusesADamagedOne) {
  RainParticle e;
  e.ghostCount = 3;
  ISave save;
  ASSERT_EQ(e.Save(&save), IO_OK);
  const std::vector<uint8_t>& b = save.Bytes();
  ASSERT_EQ(b.size(), 6u + 4u);  // 16-bit id, 32-bit length, one int32
  EXPECT_EQ(b[0] | (b[1] << 8), 0x07B7);
  int32_t n = 0;
  std::memcpy(&n, &b[6], 4);
  EXPECT_EQ(n, 3);

  struct Case {
    const char* what;
    int32_t stored;
    int refs;
  } cases[] = {{"three ghosts", 3, 7}, {"negative", -5, 4}, {"beyond the tables", 1 << 30, 4 + 2048}};
  for (const Case& c : cases) {
    ISave s;
    s.BeginChunk(0x1234);  // an unknown chunk is skipped
    s.EndChunk();
    s.BeginChunk(0x07B7);
    s.Write(&c.stored, 4);
    s.EndChunk();
    RainParticle loaded;
    SourcesNeedRefresh = 0;
    ILoad load(s.Bytes());
    ASSERT_EQ(loaded.Load(&load), IO_OK) << c.what;
    EXPECT_EQ(loaded.NumRefs(), c.refs) << c.what;
    // As the host does once everything is loaded (each callback deletes
    // itself): no ghost reference was restored, so none counts.
    EXPECT_EQ(load.PostLoadCallbacks().size(), 1u) << c.what;
    for (const auto& cb : load.PostLoadCallbacks()) cb.second->proc(&load);
    EXPECT_EQ(loaded.NumRefs(), 4) << c.what;
    EXPECT_EQ(SourcesNeedRefresh, 1) << c.what;
  }
  ISave shortChunk;
  shortChunk.BeginChunk(0x07B7);
  shortChunk.Write("ab", 2);
  shortChunk.EndChunk();
  RainParticle broken;
  ILoad load(shortChunk.Bytes());
  EXPECT_EQ(broken.Load(&load), IO_ERROR);
  EXPECT_EQ(broken.NumRefs(), 4);
}

TEST(Emitter, MouseCyclesToggleTheInteractiveStateAndRaiseTheRefresh) {
  RainParticle e;
  e.valid = true;
  e.MouseCycleStarted(0);
  EXPECT_TRUE(e.TestAFlag(GenParticle::kInteractiveBit));
  EXPECT_FALSE(e.valid);
  SourcesNeedRefresh = 0;
  e.valid = true;
  e.MouseCycleCompleted(0);
  EXPECT_FALSE(e.TestAFlag(GenParticle::kInteractiveBit));
  EXPECT_FALSE(e.valid);
  EXPECT_EQ(SourcesNeedRefresh, 1);
}

TEST_F(EngineFixture, WholeFramesShowTheSourcesParticlesAsDirections) {
  WriteFrame(0, 0, 0.0f);
  WriteFrame(1, 4, 10.0f, true);
  ip->SetTime(160, false);
  UpdateAt(1.0f);
  ASSERT_EQ(emitter->parts.Count(), 2);  // source 0 only
  EXPECT_EQ(emitter->parts.points[1], Point3(12.0f, 1.0f, 0.0f));
  const float frameLen = 160.0f / 4800.0f;
  EXPECT_NEAR(emitter->parts.vels[0].z, frameLen, 1e-7f);  // unit direction x frame length
  EXPECT_NEAR(emitter->parts.vels[1].z, frameLen, 1e-7f);
  EXPECT_EQ(emitter->parts.ages[1], 12);
  EXPECT_EQ(emitter->neighbourCounts, (std::vector<int>{20, 22}));
  EXPECT_EQ(emitter->frameLastShown, 1);
  EXPECT_FALSE(engine->frameClipBox[1].IsEmpty());

  // Surface orientation takes the surface directions instead.
  emitter->pblock2->SetValue(kEmitFacingOrientation, 0, 2);
  UpdateAt(1.0f);
  EXPECT_NEAR(emitter->parts.vels[0].x, frameLen, 1e-7f);
  EXPECT_EQ(emitter->parts.vels[0].z, 0.0f);
}

TEST_F(EngineFixture, OldAndParkedParticlesShowAsDead) {
  WriteFrame(0, 3, 0.0f);
  FluidSolver& s = *engine->solver;
  s.particles[0].age = 10000;
  s.particles[1].pos = s.parkingPos;
  ASSERT_GT(s.WriteFrame(0), 0);
  UpdateAt(0.0f);
  ASSERT_EQ(emitter->parts.Count(), 3);
  EXPECT_EQ(emitter->parts.ages[0], -1);
  EXPECT_EQ(emitter->parts.ages[1], -1);
  EXPECT_EQ(emitter->parts.ages[2], 12);
}

TEST_F(EngineFixture, FramesBeyondTheSolvedRangeFollowTheSystem) {
  for (int f = 0; f <= 30; ++f) WriteFrame(f, 1, float(f));
  ip->SetTime(35 * 160, false);
  SetSystem(kOutOfRangeLoop, 10);
  UpdateAt(35.0f);
  ASSERT_EQ(emitter->parts.Count(), 1);
  EXPECT_EQ(emitter->parts.points[0].x, 25.0f);
  EXPECT_EQ(emitter->frameLastShown, 25);
  SetSystem(kOutOfRangeKeepLast, 10);
  UpdateAt(35.0f);
  EXPECT_EQ(emitter->parts.points[0].x, 30.0f);
  SetSystem(kOutOfRangeHide, 10);
  UpdateAt(35.0f);
  EXPECT_EQ(emitter->parts.Count(), 0);
  EXPECT_EQ(emitter->frameLastShown, -1);
  system.solving = true;
  UpdateAt(35.0f);
  EXPECT_EQ(emitter->parts.points[0].x, 30.0f);
}

TEST_F(EngineFixture, LoopLongerThanTheCacheShowsNothingInsteadOfANegativeFrame) {
  for (int f = 0; f <= 5; ++f) WriteFrame(f, 1, float(f));
  SetSystem(kOutOfRangeLoop, 10);
  UpdateAt(7.0f);  // ((7 - 5) mod 10) - 10 + 5 = -3
  EXPECT_EQ(emitter->parts.Count(), 0);
  EXPECT_EQ(emitter->frameLastShown, -1);
}

TEST_F(EngineFixture, SameFrameTwiceFetchesOnceUntilARefreshIsAsked) {
  WriteFrame(0, 1, 0.0f);
  WriteFrame(1, 2, 5.0f);
  UpdateAt(1.0f);
  ASSERT_EQ(emitter->parts.Count(), 2);
  WriteFrame(1, 3, 5.0f);  // the cache changes behind the emitter's back
  emitter->UpdateParticles(160, node);
  EXPECT_EQ(emitter->parts.Count(), 2);  // short cut: nothing fetched
  emitter->MouseCycleCompleted(160);
  emitter->UpdateParticles(160, node);
  EXPECT_EQ(emitter->parts.Count(), 3);
  EXPECT_EQ(SourcesNeedRefresh, 0);
}

TEST_F(EngineFixture, ARefreshReachesEveryEmitterNotOnlyTheFirstToUpdate) {
  RainParticle* second = AddEmitter("VorelParticle001");
  INode* secondNode = second->node;
  WriteFrame(1, 4, 0.0f, true);
  UpdateAt(1.0f);
  second->UpdateParticles(160, secondNode);
  ASSERT_EQ(second->parts.Count(), 2);
  WriteFrame(1, 8, 0.0f, true);  // the frame changes; one refresh is asked
  SourcesNeedRefresh = 1;
  emitter->UpdateParticles(160, node);
  second->UpdateParticles(160, secondNode);
  EXPECT_EQ(emitter->parts.Count(), 4);
  EXPECT_EQ(second->parts.Count(), 4);
  // Taken up once: the same frame again fetches nothing.
  WriteFrame(1, 2, 0.0f, true);
  emitter->UpdateParticles(160, node);
  second->UpdateParticles(160, secondNode);
  EXPECT_EQ(second->parts.Count(), 4);
  // An edit of its own block refetches that emitter alone.
  second->pblock2->SetValue(kEmitFacingOrientation, 0, 1);
  emitter->UpdateParticles(160, node);
  second->UpdateParticles(160, secondNode);
  EXPECT_EQ(emitter->parts.Count(), 4);
  EXPECT_EQ(second->parts.Count(), 1);
}

TEST_F(EngineFixture, BetweenFramesShowsTheFrameBelowUnlessInAMouseCycle) {
  WriteFrame(0, 1, 0.0f);
  WriteFrame(1, 1, 10.0f);
  WriteFrame(2, 1, 20.0f);
  ip->SetTime(200, false);
  UpdateAt(1.25f);
  ASSERT_EQ(emitter->parts.Count(), 1);
  EXPECT_EQ(emitter->parts.points[0].x, 10.0f);
  emitter->MouseCycleStarted(200);
  emitter->UpdateParticles(200, node);
  ASSERT_EQ(emitter->parts.Count(), 1);
  EXPECT_FLOAT_EQ(emitter->parts.points[0].x, 12.5f);
}

TEST_F(EngineFixture, FramesBeforeTheStartDropTheTable) {
  WriteFrame(0, 2, 0.0f);
  engine->startFrame = 5;
  UpdateAt(2.0f);
  EXPECT_EQ(emitter->frameLastShown, -1);
  EXPECT_GT(emitter->parts.Count(), 0);  // the reset table, all dead
  for (int i = 0; i < emitter->parts.Count(); ++i) ASSERT_EQ(emitter->parts.ages[size_t(i)], -1);
  EXPECT_TRUE(emitter->valid);
}

TEST_F(EngineFixture, ResetTableFollowsTheSolverOr6000) {
  emitter->ResetParticleTable(0);
  EXPECT_EQ(emitter->parts.Count(), int(engine->solver->particles.size()) > 0
                                        ? int(engine->solver->particles.size())
                                        : 6000);
  RainParticle lone;
  lone.ResetParticleTable(10);
  EXPECT_EQ(lone.parts.Count(), 6000);
  EXPECT_EQ(lone.parts.ages[5999], -1);
  EXPECT_EQ(lone.tvalid, 10);
}

TEST_F(EngineFixture, CloneTakesTheNextSlotAndJoinsOnFirstDisplay) {
  const size_t sourcesBefore = engine->solver->sources.size();
  RemapDir remap;
  RainParticle* c = static_cast<RainParticle*>(emitter->Clone(remap));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->sourceIndex, 1);
  EXPECT_EQ(engine->sourceObjects[1], static_cast<FluidSource*>(c));
  EXPECT_EQ(engine->solver->sources.size(), sourcesBefore + 1);
  EXPECT_EQ(engine->sourceCount, 1);
  EXPECT_NE(c->pblock2, emitter->pblock2);
  INode* cn = ip->CreateObjectNode(c, "VorelParticle");
  c->Display(0, cn, vorel_ui::ActiveViewport(), 0);
  EXPECT_EQ(engine->sourceCount, 2);
  ASSERT_EQ(system.referenced.size(), 1u);
  EXPECT_EQ(system.referenced[0], std::make_pair(1, cn));
  EXPECT_EQ(c->node, cn);

  // No slot left: the copy stays unbound.
  engine->sourceCount = FluidEngine::kMaxSources;
  RainParticle* full = static_cast<RainParticle*>(emitter->Clone(remap));
  EXPECT_EQ(full->engine, nullptr);
  full->DeleteThis();
}

TEST_F(EngineFixture, ModifierStackIsRemovedButSpaceWarpBindingsStay) {
  WriteFrame(0, 1, 0.0f);
  IDerivedObject* ws = CreateWSDerivedObject(emitter);
  IDerivedObject* os = CreateDerivedObject(emitter);
  ws->ReferenceObject(os);
  node->SetObjectRef(ws);
  UpdateAt(0.0f);
  EXPECT_EQ(node->GetObjectRef(), ws);
  EXPECT_EQ(ws->GetObjRef(), emitter);

  IDerivedObject* os2 = CreateDerivedObject(emitter);
  ws->ReferenceObject(nullptr);
  node->SetObjectRef(os2);
  UpdateAt(0.0f);
  EXPECT_EQ(node->GetObjectRef(), emitter);
}

TEST(Emitter, CreationByTwoClicksNeedsADistance) {
  EmitterCreateCallback cb;
  ViewExp* vpt = vorel_ui::ActiveViewport();
  Matrix3 mat;
  IPoint2 a{320, 240}, b{330, 240}, c{321, 240};
  EXPECT_EQ(cb.proc(vpt, MOUSE_FREEMOVE, 0, 0, a, mat), CREATE_CONTINUE);
  EXPECT_EQ(cb.proc(vpt, MOUSE_POINT, 0, 0, a, mat), CREATE_CONTINUE);
  const Point3 first = mat.GetTrans();
  EXPECT_EQ(cb.proc(vpt, MOUSE_MOVE, 1, 0, b, mat), CREATE_CONTINUE);
  EXPECT_EQ(cb.proc(vpt, MOUSE_POINT, 1, 0, b, mat), CREATE_STOP);
  EXPECT_NEAR((mat.GetTrans() - first).Length(), 5.0f, 1e-4f);  // the midpoint
  EXPECT_TRUE(mat.GetRow(0) == Point3(1.0f, 0.0f, 0.0f));
  cb.proc(vpt, MOUSE_POINT, 0, 0, a, mat);
  EXPECT_EQ(cb.proc(vpt, MOUSE_POINT, 1, 0, c, mat), CREATE_ABORT);  // under 3 pixels
  EXPECT_EQ(cb.proc(vpt, MOUSE_ABORT, 1, 0, c, mat), CREATE_ABORT);
}
