// What the emitter draws in the viewport for each display type, its render
// meshes, hit testing and the particle queries of the host interface.
#include <gtest/gtest.h>

#include "emitter_test_support.h"
#include "host/core/interaction.h"
#include "host/ui/ui.h"

using emitter_test::EngineFixture;

namespace {
class DisplayFixture : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    vorel::host::ResetInteraction();
    vpt = vorel_ui::ActiveViewport();
    gw = vpt->getGW();
    gw->ClearRecords();
  }
  void Show(int displayType, int count) {
    WriteFrame(0, count, 0.0f);
    emitter->pblock2->SetValue(kEmitDisplayType, 0, displayType);
    SourcesNeedRefresh = 1;
    gw->ClearRecords();
    emitter->Display(0, node, vpt, 0);
  }
  int Markers(int type) const {
    int n = 0;
    for (const DrawRecord& r : gw->Records()) n += r.kind == DrawRecord::kMarker && r.markerType == type;
    return n;
  }
  ViewExp* vpt = nullptr;
  GraphicsWindow* gw = nullptr;
};
}  // namespace

TEST_F(DisplayFixture, DropsDrawATailPerParticleBesideTheOutline) {
  Show(0, 5);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline), 5);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMesh), 1);  // the emitter's outline
  // A drop runs from the particle back along its motion: 40 x size x v.
  const DrawRecord* line = nullptr;
  for (const DrawRecord& r : gw->Records())
    if (r.kind == DrawRecord::kPolyline) { line = &r; break; }
  ASSERT_NE(line, nullptr);
  ASSERT_EQ(line->points.size(), 2u);
  EXPECT_EQ(line->points[0], Point3(0.0f, 1.0f, 0.0f));
  const float s = ParticleSizeOf(emitter->LookAt(0), float(emitter->parts.ages[0]), emitter->neighbourCounts[0]);
  EXPECT_GT(s, 0.0f);
  EXPECT_NEAR(line->points[1].z, -40.0f * s * 160.0f / 4800.0f, 1e-5f);
  EXPECT_EQ(emitter->cdraw, &emitter->draw);
  EXPECT_TRUE(gw->getRndLimits() == (GW_Z_BUFFER | GW_ILLUM));  // restored
}

TEST_F(DisplayFixture, DotsAndTicksAreHostMarkers) {
  Show(1, 4);
  EXPECT_EQ(Markers(POINT_MRKR), 4);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline), 0);
  EXPECT_EQ(emitter->cdraw, nullptr);
  Show(2, 4);
  EXPECT_EQ(Markers(PLUS_SIGN_MRKR), 4);
  EXPECT_EQ(emitter->GetMarkerType(), PLUS_SIGN_MRKR);
}

TEST_F(DisplayFixture, RenderViewDrawsTheRenderMesh) {
  emitter->pblock2->SetValue(kEmitRenderType, 0, 0);
  Show(3, 3);
  ASSERT_EQ(gw->CountRecords(DrawRecord::kMesh), 2);
  EXPECT_EQ(gw->Records().back().faces, 12);  // four faces per tetrahedron
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline), 0);
}

TEST_F(DisplayFixture, EscapeStopsTheDropsWithoutPumpingMessages) {
  WriteFrame(0, 3000, 0.0f);
  SourcesNeedRefresh = 1;
  emitter->UpdateParticles(0, node);
  const int pumps = vorel::host::PendingMessagePolls();
  vorel::host::PressEscapeAtPoll(1);
  gw->ClearRecords();
  emitter->Display(0, node, vpt, 0);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline), RainParticleDraw::kEscapeStride);
  EXPECT_EQ(vorel::host::PendingMessagePolls(), pumps);
  vorel::host::PressEscapeAtPoll(0);
}

TEST_F(DisplayFixture, HitsAParticleOrNothing) {
  WriteFrame(0, 1, 100.0f);
  SourcesNeedRefresh = 1;
  emitter->UpdateParticles(0, node);
  const Point2 s = vpt->WorldToScreen(Point3(100.0f, 1.0f, 0.0f));
  IPoint2 on{int(s.x), int(s.y)};
  EXPECT_EQ(emitter->HitTest(0, node, HITTYPE_POINT, 0, 0, &on, vpt), 1);
  IPoint2 off{int(s.x), int(s.y) + 100};
  EXPECT_EQ(emitter->HitTest(0, node, HITTYPE_POINT, 0, 0, &off, vpt), 0);
  EXPECT_EQ(gw->getHitRegion(), nullptr);
}

TEST_F(DisplayFixture, RenderMeshFollowsTheRenderType) {
  WriteFrame(0, 4, 0.0f);
  NullView view;
  bool del = false;
  struct Case {
    int type;
    int verts, faces;
  } cases[] = {{0, 16, 16}, {1, 16, 8}, {2, 0, 0}, {3, 16, 8}};  // 3 without a node: quads
  for (const Case& c : cases) {
    emitter->pblock2->SetValue(kEmitRenderType, 0, c.type);
    SourcesNeedRefresh = 1;
    Mesh* m = emitter->GetRenderMesh(0, node, view, del);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(del);
    EXPECT_EQ(m->getNumVerts(), c.verts) << c.type;
    EXPECT_EQ(m->getNumFaces(), c.faces) << c.type;
    delete m;
  }
  emitter->pblock2->SetValue(kEmitRenderType, 0, 1);
  EXPECT_EQ(emitter->ParticleCenter(0, 0), PARTCENTER_CENTER);
  const float facing = emitter->ParticleSize(0, 1);
  EXPECT_GT(facing, 0.0f);
  emitter->pblock2->SetValue(kEmitRenderType, 0, 2);
  EXPECT_EQ(emitter->ParticleSize(0, 1), 0.0f);
  EXPECT_EQ(emitter->ParticleCenter(0, 0), PARTCENTER_HEAD);
  emitter->pblock2->SetValue(kEmitRenderType, 0, 0);
  EXPECT_FLOAT_EQ(emitter->ParticleSize(0, 1), facing * 40.0f * (160.0f / 4800.0f));
  EXPECT_EQ(emitter->ParticleLife(0, 0), 9999 * 160);
}

TEST_F(DisplayFixture, InstancedGeometryCopiesThePickedObject) {
  WriteFrame(0, 2, 0.0f);
  auto* box = static_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  box->SetParams(1.0f, 1.0f, 1.0f);
  emitter->ReplaceReference(2, ip->CreateObjectNode(box, "drop"));
  emitter->pblock2->SetValue(kEmitRenderType, 0, 3);
  NullView view;
  bool del = false;
  std::unique_ptr<Mesh> m(emitter->GetRenderMesh(0, node, view, del));
  EXPECT_EQ(m->getNumVerts(), 16);
  EXPECT_EQ(m->getNumFaces(), 24);
}

TEST_F(DisplayFixture, MidFrameRenderKeepsShowingTheWholeFrame) {
  WriteFrame(0, 2, 0.0f);
  WriteFrame(1, 2, 10.0f);
  ip->SetTime(80, false);
  SourcesNeedRefresh = 1;
  emitter->UpdateParticles(0, node);
  NullView view;
  bool del = false;
  emitter->MouseCycleStarted(80);  // the interpolated state is asked for
  std::unique_ptr<Mesh> m(emitter->GetRenderMesh(80, node, view, del));
  EXPECT_EQ(emitter->parts.points[0], Point3(0.0f, 1.0f, 0.0f));
  EXPECT_EQ(emitter->tvalid, 0);
}
