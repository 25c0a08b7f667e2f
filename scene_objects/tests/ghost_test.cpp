// Ghost sources: binding to the parent emitter, the stream carried to the
// ghost's own place, its own window and switch, and copies of ghosts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "emitter_test_support.h"
#include "scene_objects/ghost.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/ghost_params.h"

using emitter_test::EngineFixture;

namespace {
class GhostFixture : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    for (int f = 0; f <= 30; ++f) WriteFrame(f, 2, 10.0f * f);
    ghostNode = CreateGhostSource(emitter, node);
    ASSERT_NE(ghostNode, nullptr);
    ghost = dynamic_cast<RainGhostParticle*>(ghostNode->GetObjectRef());
    ASSERT_NE(ghost, nullptr);
  }
  void ShowBoth(int frame) {
    ip->SetTime(frame * 160, false);
    SourcesNeedRefresh = 1;
    emitter->UpdateParticles(frame * 160, node);
    ghost->RequestRefresh();
    ghost->UpdateParticles(frame * 160, ghostNode);
  }
  INode* ghostNode = nullptr;
  RainGhostParticle* ghost = nullptr;
};
}  // namespace

TEST(Ghost, DescriptorCreatesAGhostWithItsDefaults) {
  Animatable* a = GetRainGhostDesc()->Create(false);
  RainGhostParticle* g = dynamic_cast<RainGhostParticle*>(a);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->ClassID(), RainGhostClassID());
  EXPECT_STREQ(g->GetObjectName(), "Vorel");
  EXPECT_EQ(g->NumRefs(), 1);
  EXPECT_EQ(g->pblock2->GetInt(kGhostStartFrame), -100);
  EXPECT_EQ(g->pblock2->GetInt(kGhostStopFrame), 10000);
  EXPECT_EQ(g->pblock2->GetInt(kGhostParticlesShown), 100);
  EXPECT_EQ(g->ParticleLife(0, 0), 9999 * GetCOREInterface()->GetTicksPerFrame());
  ISave save;
  EXPECT_EQ(g->Save(&save), IO_OK);
  EXPECT_TRUE(save.Bytes().empty());
  g->refresh = false;
  ILoad load(save.Bytes());
  EXPECT_EQ(g->Load(&load), IO_OK);
  EXPECT_TRUE(g->refresh);
  g->DeleteThis();
}

TEST_F(GhostFixture, IsBoundAsTheEmittersNextGhostReference) {
  EXPECT_EQ(emitter->ghostCount, 1);
  EXPECT_EQ(emitter->NumRefs(), 5);
  EXPECT_EQ(emitter->GetReference(4), ghostNode);
  EXPECT_EQ(emitter->ghostObjects[0], ghost);
  EXPECT_EQ(ghost->parent, emitter);
  EXPECT_EQ(ghost->engine, engine.get());
  EXPECT_EQ(ghost->parentNode, node);
  EXPECT_EQ(ghost->slot, 0);
}

TEST_F(GhostFixture, MovingTheGhostCarriesTheStreamRigidly) {
  ghostNode->SetNodeTM(0, TransMatrix(Point3(10.0f, 0.0f, 0.0f)));
  ShowBoth(3);
  ASSERT_EQ(ghost->parts.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ghost->parts.points[i], emitter->parts.points[i] + Point3(10.0f, 0.0f, 0.0f));
    EXPECT_EQ(ghost->parts.vels[i], emitter->parts.vels[i]);
  }
  Matrix3 turn = RotateZMatrix(float(M_PI / 2));
  ghostNode->SetNodeTM(0, turn);
  ShowBoth(3);
  const Point3 p = emitter->parts.points[1], q = ghost->parts.points[1];
  EXPECT_NEAR(q.x, -p.y, 1e-4f);
  EXPECT_NEAR(q.y, p.x, 1e-4f);
  EXPECT_EQ(ghost->parts.vels[1], emitter->parts.vels[1]);  // tails keep the parent's direction
}

TEST_F(GhostFixture, DisabledOrNotYetStartedShowsNothing) {
  ShowBoth(3);
  ASSERT_EQ(ghost->parts.Count(), 2);
  ghost->pblock2->SetValue(kGhostDisableSource, 0, 1);
  ShowBoth(3);
  EXPECT_EQ(ghost->parts.Count(), 0);
  EXPECT_EQ(ghost->frameLastShown, -1);
  ghost->pblock2->SetValue(kGhostDisableSource, 0, 0);
  ghost->pblock2->SetValue(kGhostStartFrame, 0, 5);
  ShowBoth(3);
  EXPECT_EQ(ghost->parts.Count(), 0);
  ShowBoth(6);
  EXPECT_EQ(ghost->parts.Count(), 2);
}

TEST_F(GhostFixture, HoldsAtItsStopFrameAndLoopsInTheSolvedRange) {
  ghost->pblock2->SetValue(kGhostStopFrame, 0, 20);
  SetSystem(kOutOfRangeKeepLast, 10);
  ShowBoth(25);
  ASSERT_EQ(ghost->parts.Count(), 2);
  EXPECT_EQ(ghost->parts.points[0].x, 200.0f);
  ShowBoth(40);
  EXPECT_EQ(ghost->parts.points[0].x, 200.0f);
  ghost->pblock2->SetValue(kGhostStopFrame, 0, 10000);
  SetSystem(kOutOfRangeLoop, 10);
  ShowBoth(35);
  EXPECT_EQ(ghost->parts.points[0].x, 250.0f);
}

TEST_F(GhostFixture, LeavesTheSharedRefreshAlone) {
  SourcesNeedRefresh = 1;
  ghost->UpdateParticles(160, ghostNode);
  EXPECT_EQ(SourcesNeedRefresh, 1);
  SourcesNeedRefresh = 0;
  ghost->RequestRefresh();
  ghost->UpdateParticles(320, ghostNode);
  EXPECT_EQ(SourcesNeedRefresh, 0);
  ghost->MouseCycleCompleted(0);
  EXPECT_EQ(SourcesNeedRefresh, 0);
  EXPECT_TRUE(ghost->refresh);
}

TEST_F(GhostFixture, CopiesMadeTogetherKeepTheirOwnSlots) {
  RemapDir remap;
  RainGhostParticle* a = static_cast<RainGhostParticle*>(ghost->Clone(remap));
  RainGhostParticle* b = static_cast<RainGhostParticle*>(ghost->Clone(remap));
  EXPECT_EQ(emitter->ghostCount, 3);
  EXPECT_EQ(a->slot, 1);
  EXPECT_EQ(b->slot, 2);
  INode* na = ip->CreateObjectNode(a, "ghostA");
  INode* nb = ip->CreateObjectNode(b, "ghostB");
  // Shown in the other order: each still binds its own slot.
  b->Display(0, nb, vorel_ui::ActiveViewport(), 0);
  a->Display(0, na, vorel_ui::ActiveViewport(), 0);
  EXPECT_EQ(emitter->ghostNodes[1], na);
  EXPECT_EQ(emitter->ghostNodes[2], nb);
  na->SetNodeTM(0, TransMatrix(Point3(0.0f, 50.0f, 0.0f)));
  ShowBoth(2);
  a->RequestRefresh();
  a->UpdateParticles(320, na);
  b->RequestRefresh();
  b->UpdateParticles(320, nb);
  ASSERT_EQ(a->parts.Count(), 2);
  ASSERT_EQ(b->parts.Count(), 2);
  EXPECT_EQ(a->parts.points[0], b->parts.points[0] + Point3(0.0f, 50.0f, 0.0f));
  // A full parent takes no more.
  emitter->ghostCount = GenParticle::kMaxGhosts;
  RainGhostParticle* c = static_cast<RainGhostParticle*>(ghost->Clone(remap));
  EXPECT_EQ(c->parent, nullptr);
  EXPECT_EQ(c->slot, -1);
  c->DeleteThis();
  emitter->ghostCount = 3;
}

TEST_F(GhostFixture, MovingTheGhostAsksForARefetch) {
  ghost->refresh = false;
  ghostNode->SetNodeTM(0, TransMatrix(Point3(0.0f, 0.0f, 5.0f)));
  EXPECT_TRUE(ghost->refresh);
}

TEST_F(GhostFixture, GoesWithItsParent) {
  ShowBoth(2);
  RemapDir remap;
  auto* copy = static_cast<RainGhostParticle*>(ghost->Clone(remap));
  INode* copyNode = ip->CreateObjectNode(copy, "VorelGhost001");
  copy->Display(320, copyNode, vorel_ui::ActiveViewport(), 0);
  INode* other = ip->CreateObjectNode(static_cast<RainGhostParticle*>(GetRainGhostDesc()->Create(false)), "Lone");
  ip->DeleteNode(node, false);
  EXPECT_EQ(ip->GetINodeByName("VorelGhost"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("VorelGhost001"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("Lone"), other);  // a ghost of no emitter is not touched
  // A ghost that outlives its parent by other means uses nothing of it.
  auto* emitter2 = static_cast<RainParticle*>(GetRainDesc()->Create(false));
  auto* kept = static_cast<RainGhostParticle*>(GetRainGhostDesc()->Create(false));
  kept->BindToParent(emitter2, 0, nullptr);
  emitter2->ghostObjects[0] = kept;
  emitter2->DeleteThis();
  EXPECT_EQ(kept->parent, nullptr);
  kept->UpdateParticles(320, nullptr);
  EXPECT_EQ(kept->parts.Count(), 0);
  kept->DeleteThis();
}

TEST_F(GhostFixture, DrawsAndRendersWithItsOwnDisplayParameters) {
  ghostNode->SetNodeTM(0, TransMatrix(Point3(0.0f, 100.0f, 0.0f)));
  ShowBoth(2);
  ghost->pblock2->SetValue(kGhostDisplayType, 0, 1);
  GraphicsWindow* gw = vorel_ui::ActiveViewport()->getGW();
  gw->ClearRecords();
  ghost->Display(320, ghostNode, vorel_ui::ActiveViewport(), 0);
  int markers = 0;
  for (const DrawRecord& r : gw->Records())
    if (r.kind == DrawRecord::kMarker) {
      ++markers;
      EXPECT_NEAR(r.points[0].y, 101.0f, 1e-4f);
    }
  EXPECT_EQ(markers, 2);
  ghost->pblock2->SetValue(kGhostRenderType, 0, 0);
  NullView view;
  bool del = false;
  std::unique_ptr<Mesh> m(ghost->GetRenderMesh(320, ghostNode, view, del));
  EXPECT_TRUE(del);
  EXPECT_EQ(m->getNumVerts(), 8);
  EXPECT_EQ(ghost->ParticleCenter(0, 0), PARTCENTER_HEAD);
  ghost->pblock2->SetValue(kGhostHideSource, 0, 1);
  Mesh outline;
  ghost->BuildEmitter(0, outline);
  EXPECT_EQ(outline.getNumVerts(), 0);
  ghost->pblock2->SetValue(kGhostHideSource, 0, 0);
  ghost->BuildEmitter(0, outline);
  EXPECT_EQ(outline.getNumVerts(), 25);
}

TEST_F(GhostFixture, AClickOnItsParticlesOrItsRenderMeshHitsIt) {
  ghostNode->SetNodeTM(0, TransMatrix(Point3(0.0f, 100.0f, 0.0f)));
  ShowBoth(2);
  ViewExp* vpt = vorel_ui::ActiveViewport();
  const Point2 s = vpt->WorldToScreen(Point3(20.0f, 101.0f, 0.0f));  // a particle, off the outline
  IPoint2 on{int(s.x), int(s.y)}, off{int(s.x), int(s.y) + 100};
  EXPECT_EQ(ghost->HitTest(320, ghostNode, HITTYPE_POINT, 0, 0, &on, vpt), 1);
  EXPECT_EQ(ghost->HitTest(320, ghostNode, HITTYPE_POINT, 0, 0, &off, vpt), 0);
  ghost->pblock2->SetValue(kGhostDisplayType, 0, 3);
  ghost->pblock2->SetValue(kGhostRenderType, 0, 1);
  EXPECT_EQ(ghost->HitTest(320, ghostNode, HITTYPE_POINT, 0, 0, &on, vpt), 1);
  EXPECT_EQ(ghost->HitTest(320, ghostNode, HITTYPE_POINT, 0, 0, &off, vpt), 0);
}

TEST_F(GhostFixture, MidFrameRenderKeepsShowingTheWholeFrame) {
  ShowBoth(2);
  ghost->MouseCycleStarted(400);  // the interpolated state is asked for
  NullView view;
  bool del = false;
  std::unique_ptr<Mesh> m(ghost->GetRenderMesh(400, ghostNode, view, del));
  EXPECT_TRUE(del);
  EXPECT_EQ(ghost->tvalid, 320);
  ASSERT_GE(ghost->parts.Count(), 2);
  EXPECT_NEAR(ghost->parts.points[0].x, 20.0f, 1e-4f);
  EXPECT_NEAR(ghost->parts.points[1].x, 21.0f, 1e-4f);
}

TEST_F(GhostFixture, ItsOwnSwitchesShowAtTheSameFrame) {
  ShowBoth(3);
  ASSERT_EQ(ghost->parts.Count(), 2);
  ghost->refresh = false;
  // Set as the rollout would; no other refresh request comes.
  ghost->pblock2->SetValue(kGhostDisableSource, 0, 1);
  EXPECT_TRUE(ghost->refresh);
  ghost->UpdateParticles(3 * 160, ghostNode);
  EXPECT_EQ(ghost->parts.Count(), 0);
  ghost->pblock2->SetValue(kGhostDisableSource, 0, 0);
  ghost->UpdateParticles(3 * 160, ghostNode);
  EXPECT_EQ(ghost->parts.Count(), 2);
}

TEST(GhostScene, BindingSurvivesASaveAndALoad) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  const bool hadEmitter = ClassDirectory::Get().FindClass(GEOMOBJECT_CLASS_ID, RainClassID()) != nullptr;
  if (!hadEmitter) ClassDirectory::Get().AddClass(GetRainDesc());
  const bool hadGhost = ClassDirectory::Get().FindClass(GEOMOBJECT_CLASS_ID, RainGhostClassID()) != nullptr;
  if (!hadGhost) ClassDirectory::Get().AddClass(GetRainGhostDesc());
  auto* e = static_cast<RainParticle*>(GetRainDesc()->Create(false));
  INode* en = ip->CreateObjectNode(e, "VorelParticle");
  e->node = en;
  ASSERT_NE(CreateGhostSource(e, en), nullptr);
  ASSERT_NE(CreateGhostSource(e, en), nullptr);
  const std::string scene = emitter_test::ScratchDir("ghost_scene") + "/ghosts.vsc";
  ASSERT_TRUE(ip->SaveToFile(scene)) << ip->LastFileError();
  ip->ResetScene();
  ASSERT_TRUE(ip->LoadFromFile(scene)) << ip->LastFileError();
  INode* loadedNode = ip->GetINodeByName("VorelParticle");
  ASSERT_NE(loadedNode, nullptr);
  auto* loaded = dynamic_cast<RainParticle*>(loadedNode->GetObjectRef());
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->ghostCount, 2);
  for (int k = 0; k < 2; ++k) {
    INode* gn = loaded->ghostNodes[size_t(k)];
    ASSERT_NE(gn, nullptr);
    auto* g = dynamic_cast<RainGhostParticle*>(gn->GetObjectRef());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->parent, loaded);
    EXPECT_EQ(g->slot, k);
    EXPECT_EQ(g->ownNode, gn);
    EXPECT_EQ(loaded->ghostObjects[size_t(k)], g);
  }
  EXPECT_EQ(std::string(loaded->ghostNodes[1]->GetName()), "VorelGhost001");

  // The saved count damaged in the file: the ghosts the references bind
  // count, and a ghost can still be added and saved.
  std::string bytes;
  {
    std::ifstream f(scene, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), {});
  }
  const std::string chunk("\xB7\x07\x04\x00\x00\x00\x02\x00\x00\x00", 10);
  const size_t at = bytes.find(chunk);
  ASSERT_NE(at, std::string::npos);
  for (int32_t damaged : {-7, 0, 1, 5000}) {
    std::string patched = bytes;
    std::memcpy(&patched[at + 6], &damaged, 4);
    const std::string damagedScene = scene + ".damaged";
    std::ofstream(damagedScene, std::ios::binary) << patched;
    ASSERT_TRUE(ip->LoadFromFile(damagedScene)) << ip->LastFileError();
    loadedNode = ip->GetINodeByName("VorelParticle");
    loaded = dynamic_cast<RainParticle*>(loadedNode->GetObjectRef());
    ASSERT_EQ(loaded->ghostCount, 2) << damaged;
    EXPECT_EQ(loaded->NumRefs(), 6) << damaged;
    for (int k = 0; k < 2; ++k) {
      auto* g = dynamic_cast<RainGhostParticle*>(loaded->ghostNodes[size_t(k)]->GetObjectRef());
      EXPECT_EQ(g->parent, loaded) << damaged;
    }
    ASSERT_NE(CreateGhostSource(loaded, loadedNode), nullptr) << damaged;
    ASSERT_TRUE(ip->SaveToFile(damagedScene)) << ip->LastFileError();
    ASSERT_TRUE(ip->LoadFromFile(damagedScene)) << ip->LastFileError();
    loaded = dynamic_cast<RainParticle*>(ip->GetINodeByName("VorelParticle")->GetObjectRef());
    EXPECT_EQ(loaded->ghostCount, 3) << damaged;
  }
  ip->ResetScene();
  if (!hadGhost) ClassDirectory::Get().RemoveClass(GetRainGhostDesc());
  if (!hadEmitter) ClassDirectory::Get().RemoveClass(GetRainDesc());
}
