// Pick modes, select-by-name, file dialogs and the directory chooser
// answered from a script; viewport drawing and hit testing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/core/interaction.h"
#include "host/ui/script.h"
#include "host/ui/ui_host.h"
#include "test_plugin.h"

using namespace vorel_ui;

namespace fs = std::filesystem;

namespace {

// Accepts nodes whose name does not begin with "Vorel", as the plug-ins do.
class NameFilter : public PickNodeCallback {
 public:
  BOOL Filter(INode* n) override { return std::strncmp(n->GetName(), "Vorel", 5) != 0; }
};

class ListPickMode : public PickModeCallback {
 public:
  BOOL HitTest(IObjParam*, HWND hWnd, ViewExp*, IPoint2 m, int) override {
    return PickNode(hWnd, m, &filter) != nullptr;
  }
  BOOL Pick(IObjParam*, ViewExp* vpt) override {
    picked.emplace_back(vpt->GetClosestHit()->nodeRef->GetName());
    return stopAfter > 0 && int(picked.size()) >= stopAfter;
  }
  void EnterMode(IObjParam*) override { ++entered; }
  void ExitMode(IObjParam*) override { ++exited; }
  PickNodeCallback* GetFilter() override { return &filter; }
  NameFilter filter;
  std::vector<std::string> picked;
  int stopAfter = 0, entered = 0, exited = 0;
};

class Chooser : public HitByNameDlgCallback {
 public:
  const char* dialogTitle() override { return "Vorel Object Selection"; }
  int filter(INode* n) override { return std::strncmp(n->GetName(), "Vorel", 5) != 0; }
  BOOL singleSelect() override { return single; }
  void proc(INodeTab& t) override {
    for (int i = 0; i < t.Count(); ++i) got.emplace_back(t[i]->GetName());
  }
  bool single = false;
  std::vector<std::string> got;
};

// Three particles, the middle one not born yet.
class Drops : public SimpleParticle {
 public:
  void UpdateParticles(TimeValue, INode*) override {
    parts.SetCount(3);
    for (int i = 0; i < 3; ++i) {
      parts.points[size_t(i)] = Point3(float(i) * 10.0f, 0.0f, 0.0f);
      parts.ages[size_t(i)] = i == 1 ? -1 : 0;
    }
  }
  void BuildEmitter(TimeValue, Mesh& m) override { m.setNumVerts(0); }
  Class_ID ClassID() override { return Class_ID(0x51A7E002, 1); }
  int GetMarkerType() override { return PLUS_SIGN_MRKR; }
  bool EmitterVisible() override { return false; }
};

// Draws a tick per particle and stops after the first.
class Ticks : public CustomParticleDisplay {
 public:
  bool DrawParticle(GraphicsWindow* gw, ParticleSys& parts, int i) override {
    Point3 line[2] = {parts.points[size_t(i)], parts.points[size_t(i)] + Point3(0.0f, 1.0f, 0.0f)};
    gw->polyline(2, line, nullptr, 0, nullptr);
    return true;
  }
};

class PickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetUI();
    uitest::RegisterTestPlugin();
    ip = UI();
    for (const char* name : {"Box01", "VorelSource01", "Box02"}) {
      auto* o = static_cast<uitest::TestObject*>(uitest::TestClassDesc()->Create(false));
      uitest::TestClassDesc()->MakeAutoParamBlocks(o);
      nodes.push_back(ip->CreateObjectNode(o, name));
    }
    // Box02 stands at x = 100, away from the other two.
    Matrix3 tm;
    tm.SetTrans(Point3(100.0f, 0.0f, 0.0f));
    nodes[2]->SetNodeTM(0, tm);
  }
  void TearDown() override {
    for (INode* n : nodes) ip->DeleteNode(n);
  }
  UIInterface* ip = nullptr;
  std::vector<INode*> nodes;
};

TEST_F(PickTest, ScriptedPicksGoThroughHitTestFilterAndPick) {
  ListPickMode mode;
  mode.stopAfter = 2;
  ip->SetPickMode(&mode);
  EXPECT_EQ(mode.entered, 1);
  EXPECT_EQ(ip->GetCurPickMode(), &mode);
  EXPECT_TRUE(ScriptPickNode(nodes[0]));
  EXPECT_FALSE(ScriptPickNode(nodes[1]));  // refused by the filter
  EXPECT_EQ(ip->GetCurPickMode(), &mode);
  EXPECT_TRUE(ScriptPickNode(nodes[2]));
  EXPECT_EQ(mode.picked, (std::vector<std::string>{"Box01", "Box02"}));
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);  // Pick ended it
  EXPECT_EQ(mode.exited, 1);
  EXPECT_FALSE(ScriptPickNode(nodes[0]));

  // A right click leaves the mode.
  ip->SetPickMode(&mode);
  EXPECT_TRUE(ScriptRightClick());
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  EXPECT_EQ(mode.exited, 2);
}

TEST_F(PickTest, ClicksHitTestDrawnMeshesOnScreen) {
  ListPickMode mode;
  ip->SetPickMode(&mode);
  // Box01's triangle covers screen (320..330, 230..240) in the top view.
  IPoint2 inside{322, 238}, outside{200, 100}, nearEdge{333, 239};
  EXPECT_TRUE(ScriptPickAt(inside));
  EXPECT_FALSE(ScriptPickAt(outside));
  EXPECT_TRUE(ScriptPickAt(nearEdge));  // within the 4-pixel epsilon
  IPoint2 second{421, 238};
  EXPECT_TRUE(ScriptPickAt(second));
  EXPECT_EQ(mode.picked, (std::vector<std::string>{"Box01", "Box01", "Box02"}));
  nodes[2]->Hide(true);
  EXPECT_FALSE(ScriptPickAt(second));
  EXPECT_EQ(PickNode(nullptr, inside, nullptr), nodes[0]);
  // Plug-ins ask through the core interface.
  Interface* core = GetCOREInterface();
  NameFilter noVorel;
  EXPECT_EQ(core->PickNode(nullptr, inside, &noVorel), nodes[0]);
  nodes[0]->SetName("VorelBox");
  EXPECT_EQ(core->PickNode(nullptr, inside, &noVorel), nullptr);
  EXPECT_EQ(core->GetActiveViewport(), ActiveViewport());
  core->ReleaseViewport(core->GetActiveViewport());
  ip->ClearPickMode();
  EXPECT_EQ(mode.exited, 1);
}

TEST_F(PickTest, RedrawRecordsEveryVisibleNode) {
  nodes[1]->Hide(true);
  nodes[2]->BoxMode(true);
  ip->RedrawViews(0);
  GraphicsWindow* gw = ActiveViewport()->getGW();
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMesh), 2);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMesh, nodes[1]), 0);
  for (const DrawRecord& r : gw->Records()) {
    ASSERT_EQ(r.points.size(), 3u);
    if (r.node == nodes[2]) {
      EXPECT_FLOAT_EQ(r.points[1].x, 110.0f);  // world space
      EXPECT_TRUE(r.rndMode & GW_BOX_MODE);
    }
  }
  std::ostringstream out;
  EXPECT_TRUE(RunUiCommand("redraw", out));
  EXPECT_EQ(out.str(), "2 drawn\n");
}

TEST_F(PickTest, ParticlesDrawAsMarkersOrTheirOwnWay) {
  auto* drops = new Drops;
  INode* n = ip->CreateObjectNode(drops, "Drops01");
  nodes[0]->Hide(true);
  nodes[1]->Hide(true);
  nodes[2]->Hide(true);
  ip->RedrawViews(0);
  GraphicsWindow* gw = ActiveViewport()->getGW();
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMarker, n), 2);
  EXPECT_EQ(gw->Records().back().markerType, int(PLUS_SIGN_MRKR));
  EXPECT_FLOAT_EQ(gw->Records().back().points[0].x, 20.0f);
  Ticks ticks;
  drops->cdraw = &ticks;
  ip->RedrawViews(0);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMarker), 0);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline, n), 1);
  drops->cdraw = nullptr;
  ip->DeleteNode(n);
}

TEST_F(PickTest, MarkersKeepTheirOrderAndTheStateTheyWereDrawnIn) {
  GraphicsWindow* gw = ActiveViewport()->getGW();
  gw->ClearRecords();
  gw->setRndLimits(GW_Z_BUFFER);
  gw->setTransform(Matrix3());
  gw->setColor(LINE_COLOR, 1.0f, 0.0f, 0.0f);
  Point3 p(1.0f, 2.0f, 3.0f);
  Point3 line[2] = {Point3(0.0f, 0.0f, 0.0f), Point3(1.0f, 0.0f, 0.0f)};
  gw->marker(&p, POINT_MRKR);
  gw->polyline(2, line, nullptr, 0, nullptr);
  gw->setColor(LINE_COLOR, 0.0f, 1.0f, 0.0f);
  gw->marker(&p, X_MRKR);
  ASSERT_EQ(gw->Records().size(), 3u);  // read half-way: later calls still follow
  Matrix3 moved;
  moved.SetTrans(Point3(10.0f, 0.0f, 0.0f));
  gw->setTransform(moved);
  gw->marker(&p, X_MRKR);
  gw->getMaterial()->opacity = 0.5f;  // changed without a setter
  gw->marker(&p, X_MRKR);
  const std::vector<DrawRecord>& r = gw->Records();
  ASSERT_EQ(r.size(), 5u);
  const DrawRecord::Kind kinds[5] = {DrawRecord::kMarker, DrawRecord::kPolyline, DrawRecord::kMarker,
                                     DrawRecord::kMarker, DrawRecord::kMarker};
  const float red[5] = {1, 1, 0, 0, 0}, x[5] = {1, 0, 1, 11, 11}, opacity[5] = {1, 1, 1, 1, 0.5f};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r[i].kind, kinds[i]);
    EXPECT_EQ(r[i].color.x, red[i]);
    EXPECT_EQ(r[i].points[0].x, x[i]);
    EXPECT_EQ(r[i].material.opacity, opacity[i]);
    EXPECT_EQ(r[i].rndLimits, DWORD(GW_Z_BUFFER));
  }
  EXPECT_EQ(r[0].markerType, int(POINT_MRKR));
  EXPECT_EQ(r[4].markerType, int(X_MRKR));
  EXPECT_EQ(r[3].tm.GetTrans().x, 10.0f);
  gw->ClearRecords();
  EXPECT_TRUE(gw->Records().empty());
}

TEST_F(PickTest, AMarkerBatchRecordsAndHitsAsItsMarkersOneByOne) {
  GraphicsWindow* gw = ActiveViewport()->getGW();
  Matrix3 moved;
  moved.SetTrans(Point3(10.0f, 0.0f, 0.0f));
  const Point3 pts[5] = {Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9), Point3(-1, 0, 1), Point3(2, 2, 2)};
  auto odd = [](int i) { return i % 2 == 1; };
  Point3 single = pts[0];
  // Each way: a marker, a batch, a read half-way, the state changed, a
  // second batch that joins nothing before it.
  auto draw = [&](bool batched) {
    gw->ClearRecords();
    gw->setRndLimits(GW_Z_BUFFER);
    gw->setTransform(Matrix3());
    gw->setColor(LINE_COLOR, 1.0f, 0.0f, 0.0f);
    gw->marker(&single, X_MRKR);
    for (int pass = 0; pass < 2; ++pass) {
      if (batched) {
        gw->markers(pts, 5, X_MRKR, [](int) { return true; });
      } else {
        for (int i = 0; i < 5; ++i) gw->marker(const_cast<Point3*>(&pts[i]), X_MRKR);
      }
      if (pass == 0) {
        EXPECT_EQ(gw->Records().size(), 6u);
        gw->setTransform(moved);
      }
    }
    if (batched) {
      gw->markers(pts, 5, POINT_MRKR, odd);
    } else {
      for (int i = 0; i < 5; ++i)
        if (odd(i)) gw->marker(const_cast<Point3*>(&pts[i]), POINT_MRKR);
    }
    return gw->Records();
  };
  const std::vector<DrawRecord> one = draw(false), batch = draw(true);
  ASSERT_EQ(one.size(), 13u);
  ASSERT_EQ(batch.size(), one.size());
  for (size_t i = 0; i < one.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(batch[i].markerType, one[i].markerType);
    EXPECT_EQ(batch[i].tm.GetTrans().x, one[i].tm.GetTrans().x);
    ASSERT_EQ(batch[i].points.size(), 1u);
    EXPECT_EQ(batch[i].points[0].x, one[i].points[0].x);
    EXPECT_EQ(batch[i].points[0].y, one[i].points[0].y);
  }
  EXPECT_EQ(batch[11].points[0].x, 14.0f);
  // With a region, a batch hits where one of its shown markers would.
  IPoint2 corners[2] = {{335, 230}, {340, 234}};  // around (17, 8), the third point moved
  HitRegion box;
  MakeHitRegion(box, HITTYPE_BOX, 0, 0, corners);
  gw->setTransform(moved);
  gw->setHitRegion(&box);
  gw->clearHitCode();
  gw->markers(pts, 5, POINT_MRKR, [](int i) { return i != 2; });
  EXPECT_FALSE(gw->checkHitCode());
  gw->markers(pts, 5, POINT_MRKR, [](int i) { return i == 2; });
  EXPECT_TRUE(gw->checkHitCode());
  gw->clearHitRegion();
  gw->ClearRecords();
}

TEST_F(PickTest, GraphicsWindowMarkersPolylinesAndRegions) {
  GraphicsWindow* gw = ActiveViewport()->getGW();
  gw->ClearRecords();
  gw->setTransform(Matrix3());
  Point3 p(5.0f, 5.0f, 0.0f);
  IPoint2 corners[2] = {{300, 200}, {340, 250}};
  HitRegion box;
  MakeHitRegion(box, HITTYPE_BOX, 0, 0, corners);
  gw->setHitRegion(&box);
  gw->clearHitCode();
  gw->marker(&p, POINT_MRKR);
  EXPECT_TRUE(gw->checkHitCode());
  Point3 line[2] = {Point3(0.0f, 0.0f, 0.0f), Point3(100.0f, 0.0f, 0.0f)};
  gw->clearHitCode();
  gw->polyline(2, line, nullptr, 0, nullptr);
  EXPECT_FALSE(gw->checkHitCode());  // a window region needs the whole line
  box.crossing = 1;
  gw->setHitRegion(&box);
  gw->polyline(2, line, nullptr, 0, nullptr);
  EXPECT_TRUE(gw->checkHitCode());
  gw->clearHitRegion();
  gw->setColor(TEXT_COLOR, 1.0f, 0.0f, 0.0f);
  gw->text(&p, "frame 3");
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMarker), 1);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kPolyline), 2);
  ASSERT_EQ(gw->Records().back().text, "frame 3");
  EXPECT_FLOAT_EQ(gw->Records().back().color.x, 1.0f);
  // In pick mode nothing is recorded.
  gw->setRndLimits(gw->getRndLimits() | GW_PICK);
  gw->marker(&p, POINT_MRKR);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMarker), 1);
}

TEST_F(PickTest, FacesWithoutScreenAreaHitOnlyNearTheirEdges) {
  GraphicsWindow* gw = ActiveViewport()->getGW();
  gw->setTransform(Matrix3());
  // A vertical polyline seen from the top: every vertex on one screen point.
  Mesh line;
  line.setNumVerts(3);
  line.verts = {Point3(0.0f, 0.0f, 0.0f), Point3(0.0f, 0.0f, 5.0f), Point3(0.0f, 0.0f, 10.0f)};
  line.setNumFaces(2);
  line.faces[0].setVerts(0, 1, 0);
  line.faces[1].setVerts(1, 2, 1);
  const Point2 at = gw->WorldToScreen(Point3(0.0f, 0.0f, 0.0f));
  IPoint2 far{int(at.x) + 100, int(at.y) + 60};
  HitRegion hr;
  MakeHitRegion(hr, HITTYPE_POINT, 0, 4, &far);
  EXPECT_FALSE(gw->SelectMesh(line, &hr, TRUE));
  IPoint2 near{int(at.x) + 2, int(at.y)};
  MakeHitRegion(hr, HITTYPE_POINT, 0, 4, &near);
  EXPECT_TRUE(gw->SelectMesh(line, &hr, TRUE));
  // A proper triangle still holds the points inside it.
  Mesh tri;
  tri.setNumVerts(3);
  tri.verts = {Point3(-50.0f, -50.0f, 0.0f), Point3(50.0f, -50.0f, 0.0f), Point3(0.0f, 50.0f, 0.0f)};
  tri.setNumFaces(1);
  tri.faces[0].setVerts(0, 1, 2);
  IPoint2 inside{int(at.x), int(at.y)};
  MakeHitRegion(hr, HITTYPE_POINT, 0, 0, &inside);
  EXPECT_TRUE(gw->SelectMesh(tri, &hr, TRUE));
}

TEST_F(PickTest, SelectByNameListsFilteredNodesAndTakesScriptedChoices) {
  Chooser c;
  EXPECT_FALSE(ip->DoHitByNameDialog(&c));  // nothing queued: cancelled
  EXPECT_TRUE(c.got.empty());
  QueueHitByNameAnswer({"box02", "VorelSource01", "Box01"});
  EXPECT_TRUE(ip->DoHitByNameDialog(&c));
  EXPECT_EQ(c.got, (std::vector<std::string>{"Box02", "Box01"}));
  std::vector<HitByNameRecord> log = HitByNameLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].title, "Vorel Object Selection");
  EXPECT_EQ(log[1].listed, (std::vector<std::string>{"Box01", "Box02"}));
  c.got.clear();
  c.single = true;
  QueueHitByNameAnswer({"Box02", "Box01"});
  EXPECT_TRUE(ip->DoHitByNameDialog(&c));
  EXPECT_EQ(c.got, (std::vector<std::string>{"Box02"}));
  QueueHitByNameCancel();
  EXPECT_FALSE(ip->DoHitByNameDialog(&c));
}

TEST_F(PickTest, FileDialogsFollowTheirRules) {
  fs::path dir = fs::temp_directory_path() / ("vorel_ui_files_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "old.Vor") << "x";
  char file[260] = "";
  char title[64] = "";
  OPENFILENAME ofn;
  ofn.lpstrFilter = "Vorel\0*.Vor\0\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = sizeof title;
  std::string initial = dir.string();
  ofn.lpstrInitialDir = initial.c_str();
  ofn.lpstrDefExt = "Vor";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

  EXPECT_FALSE(GetOpenFileName(&ofn));  // nothing queued
  QueueFileAnswer("missing.Vor");
  EXPECT_FALSE(GetOpenFileName(&ofn));  // must exist
  QueueFileAnswer("old");
  ASSERT_TRUE(GetOpenFileName(&ofn));
  EXPECT_EQ(std::string(file), (dir / "old.Vor").string());
  EXPECT_STREQ(title, "old.Vor");
  EXPECT_STREQ(file + ofn.nFileExtension, "Vor");

  ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
  vorel::host::QueueMessageBoxAnswer(IDNO);
  QueueFileAnswer("old.Vor");
  EXPECT_FALSE(GetSaveFileName(&ofn));
  vorel::host::QueueMessageBoxAnswer(IDYES);
  QueueFileAnswer("old.Vor");
  EXPECT_TRUE(GetSaveFileName(&ofn));
  QueueFileAnswer("new.Vor");
  EXPECT_TRUE(GetSaveFileName(&ofn));  // no prompt for a new file
  QueueFileAnswer((dir / "nofolder" / "x.Vor").string());
  EXPECT_FALSE(GetSaveFileName(&ofn));
  std::vector<FileDialogRecord> log = FileDialogLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].filters, (std::vector<std::string>{"Vorel", "*.Vor"}));

  char chosen[260];
  std::strcpy(chosen, initial.c_str());
  ChooseDirectory(nullptr, "Select", chosen);
  EXPECT_STREQ(chosen, "");  // cancelled
  QueueDirectoryAnswer((dir / "nofolder").string());
  std::strcpy(chosen, initial.c_str());
  ip->ChooseDirectory(nullptr, "Select", chosen);
  EXPECT_STREQ(chosen, "");  // only existing folders
  QueueDirectoryAnswer(initial);
  GetCOREInterface()->ChooseDirectory(nullptr, "Select", chosen);  // as plug-ins call it
  EXPECT_EQ(std::string(chosen), initial);
  fs::remove_all(dir);
}

TEST_F(PickTest, ScriptCommandsAnswerDialogs) {
  std::ostringstream out;
  std::string err;
  ListPickMode mode;
  EXPECT_FALSE(RunUiCommand("pick Box01", out, &err));
  EXPECT_EQ(err, "no pick mode is active");
  ip->SetPickMode(&mode);
  EXPECT_TRUE(RunUiCommand("pick Box01", out, &err)) << err;
  EXPECT_FALSE(RunUiCommand("pick VorelSource01", out, &err));
  EXPECT_FALSE(RunUiCommand("pick Nobody", out, &err));
  EXPECT_TRUE(RunUiCommand("rightclick", out, &err));
  Chooser c;
  EXPECT_TRUE(RunUiCommand("select-answer Box02", out, &err));
  EXPECT_TRUE(ip->DoHitByNameDialog(&c));
  EXPECT_EQ(c.got, (std::vector<std::string>{"Box02"}));
}

}  // namespace
