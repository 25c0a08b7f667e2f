// The fluid system's rollouts, driven as a user would: buttons, tooltips and
// help texts, enable rules, the surface switches and repair, the collider
// list with its pick and select tools, collider settings, and the cache's
// folder, pack and load.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "fluid_core/frame_cache.h"
#include "fluid_core/object_params.h"
#include "fluid_plugin/fluid_rollouts.h"
#include "fluid_plugin/menu_toolbar.h"
#include "host/sdk/primitives.h"
#include "host/ui/script.h"
#include "host/ui/user.h"
#include "plugin_test_util.h"

using namespace fluid_ctl;

namespace {

class FluidRollouts : public FluidSystemTest {
 protected:
  void SetUp() override {
    FluidSystemTest::SetUp();
    vorel_ui::InstallHeadlessUI();
    InstallFluidRollouts();
    vorel_ui::ResetPickAndFileDialogs();
  }
  void TearDown() override {
    vorel_ui::UI()->EndEditParams();
    vorel_ui::ResetPickAndFileDialogs();
    if (HWND tb = ToolbarWindow()) DestroyWindow(GetParent(tb));
    ResetToolbarState();
    FluidSystemTest::TearDown();
  }

  // A system with its rollouts open.
  TetraProcObj* Open() {
    TetraProcObj* s = MakeSystem("Vorel_001");
    vorel_ui::UI()->BeginEditParams(s);
    return s;
  }
  static HWND Dlg(int id) { return vorel_ui::FindDialog("#" + std::to_string(id)); }
  static HWND Ctl(int dlg, int id) { return GetDlgItem(Dlg(dlg), id); }
  static void Press(int dlg, int id) { ASSERT_TRUE(vorel_ui::Click(Ctl(dlg, id))) << dlg << "/" << id; }
  static void Focus(int dlg, int id) { ASSERT_TRUE(vorel_ui::FocusEdit(Ctl(dlg, id))) << dlg << "/" << id; }
  static std::vector<std::string> Rows(int dlg) { return ListRows(Ctl(dlg, kNodeList)); }

  INode* Box(const char* name) {
    auto* box = static_cast<GenBoxObject*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    return ip()->CreateObjectNode(box, name);
  }
  // Cache frame n of the system with a small cube of particles.
  static void SolveFrame(TetraProcObj* s, int n) {
    FluidSolver& sv = *s->engine.solver;
    if (sv.count == 0) {
      std::vector<Vec3f> pts;
      for (int i = 0; i < 27; ++i) pts.push_back(Vec3f(0.05f * (i % 3), 0.05f * ((i / 3) % 3), 0.05f * (i / 9)));
      sv.AddParticles(20.0f, 0, pts, 27, 0.0f, 0, 1);
    }
    s->engine.frameParticleCount[size_t(n)] = sv.count;
    sv.WriteFrame(n);
    s->engine.lastSolved = std::max(s->engine.lastSolved, n);
  }
  static void SolveAndMesh(TetraProcObj* s, int frames) {
    for (int n = 0; n < frames; ++n) {
      SolveFrame(s, n);
      ASSERT_TRUE(s->engine.BuildSurfaceFrame(n));
      s->engine.frameMeshed[size_t(n)] = 1;
      s->engine.lastMeshed = n;
    }
  }
  static bool Enabled(int dlg, int id) { return IsWindowEnabled(Ctl(dlg, id)) != FALSE; }
  static std::string Text(int dlg, int id) {
    char buf[300] = {};
    GetWindowText(Ctl(dlg, id), buf, sizeof buf);
    return buf;
  }
  static std::string LastMessage() {
    auto log = vorel::host::MessageBoxLog();
    return log.empty() ? std::string() : log.back().caption + ": " + log.back().text;
  }
};

TEST_F(FluidRollouts, EachRolloutTakesItsWindowAndButtonsGetKindColourAndTooltip) {
  TetraProcObj* s = Open();
  EXPECT_EQ(s->animationRollout, Dlg(kDlgAnimationControl));
  EXPECT_EQ(s->dynamicsRollout, Dlg(kDlgDynamicsParams));
  EXPECT_EQ(s->surfaceRollout, Dlg(kDlgSurfaceParams));
  EXPECT_EQ(s->sourcesRollout, Dlg(kDlgSourceCreation));
  EXPECT_EQ(s->objectsRollout, Dlg(kDlgPerObjectParams));
  EXPECT_EQ(s->cacheRollout, Dlg(kDlgCacheParams));
  EXPECT_EQ(ColliderRollout(), s->objectsRollout);
  const COLORREF host = ColorMan()->GetColor(kButtonHostColour);
  struct Row {
    int dlg, id, type;
    COLORREF colour;
    const char* tip;
  };
  const Row rows[] = {
      {kDlgAnimationControl, kGo, CBT_PUSH, kButtonHighlight, "Launch Vorel dynmic solver."},
      {kDlgDynamicsParams, kFlushParticles, CBT_PUSH, kButtonHighlight, "Flush previous animation cache data."},
      {kDlgSurfaceParams, kFlushSurface, CBT_PUSH, kButtonHighlight,
       "Flush surface cache. Mesh surface can be re-built by pressing 'build surface button'."},
      {kDlgSurfaceParams, kEnableSurface, CBT_CHECK, kButtonHighlight, "Hide/Show mesh surface in viewport and render"},
      {kDlgSurfaceParams, kTextureGizmo, CBT_CHECK, kButtonHighlight, nullptr},
      {kDlgSurfaceParams, kBuildSurface, CBT_PUSH, kButtonHighlight, "Build surface from the start of the playback range"},
      {kDlgSurfaceParams, kCreateWetmaps, CBT_PUSH, kButtonHighlight, "Re-paint wetmaps sequence."},
      {kDlgSourceCreation, kNewSource, CBT_PUSH, kButtonHighlight, "Add a new source to this Vorel system."},
      {kDlgSourceCreation, kSelectSource, CBT_PUSH, kButtonHighlight, "Select highlighted source."},
      {kDlgPerObjectParams, kCollide, CBT_CHECK, kButtonHighlight, "Make this object collide with Vorel fluid particles."},
      {kDlgPerObjectParams, kPick, CBT_CHECK, kButtonHighlight, "Pick objects in viewport to apply these parameters."},
      {kDlgPerObjectParams, kSelectObjects, CBT_PUSH, kButtonHighlight, "Select object list to apply these parameters."},
      {kDlgPerObjectParams, kApply, CBT_PUSH, host, "Apply these parameters to selection list."},
      {kDlgPerObjectParams, kDelete, CBT_PUSH, host, "Delete highlithed node from selection list."},
      {kDlgPerObjectParams, kObjectManager, CBT_PUSH, host, "Opens Vorel object manager panel with all colliding objects."},
      {kDlgCacheParams, kLoad, CBT_PUSH, host, "Load a pre-calculated dynamics cache. Current cache will be overwritten."},
      {kDlgCacheParams, kSave, CBT_PUSH, host, "Save current cache into a .Vor packed file. Current cache won't be affected"},
      {kDlgCacheParams, kSet, CBT_PUSH, host,
       "Select directory path for temporary scene data cache. Cache directory and files will be moved to the new "
       "location."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.dlg) + "/" + std::to_string(r.id));
    ICustButton* b = GetICustButton(Ctl(r.dlg, r.id));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetType(), r.type);
    EXPECT_EQ(b->GetHighlightColor(), r.colour);
    ReleaseICustButton(b);
    if (r.tip) {
      EXPECT_EQ(vorel_ui::ControlTooltip(Ctl(r.dlg, r.id)), r.tip);
    }
  }
  EXPECT_EQ(Text(kDlgAnimationControl, kVersion), "version: 1.3.38.208");
  vorel_ui::UI()->EndEditParams();
  EXPECT_EQ(s->cacheRollout, nullptr);
  EXPECT_EQ(s->objectsRollout, nullptr);
  EXPECT_EQ(ColliderRollout(), nullptr);
}

TEST_F(FluidRollouts, LoopLengthFieldFollowsTheOutOfRangeChoice) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  s->pblock2->SetValue(kFluidOutOfRangeAction, 0, int(kOutOfRangeLoop));
  vorel_ui::UI()->BeginEditParams(s);
  EXPECT_TRUE(Enabled(kDlgAnimationControl, 1023));
  Press(kDlgAnimationControl, kKeepLast);
  EXPECT_FALSE(Enabled(kDlgAnimationControl, 1017));
  EXPECT_FALSE(Enabled(kDlgAnimationControl, 1023));
  Press(kDlgAnimationControl, kLoop);
  EXPECT_TRUE(Enabled(kDlgAnimationControl, 1023));
  EXPECT_TRUE(Prompted("Set loop duration in frames. The last # frames will be repeated in a endless loop"));
  Press(kDlgAnimationControl, kHideAll);
  EXPECT_FALSE(Enabled(kDlgAnimationControl, 1023));
  EXPECT_EQ(ReadIntParam(s->pblock2, kFluidOutOfRangeAction, 0, -1), kOutOfRangeHide);
  // Reopened with "Hide all", the field starts disabled.
  vorel_ui::UI()->EndEditParams();
  vorel_ui::UI()->BeginEditParams(s);
  EXPECT_FALSE(Enabled(kDlgAnimationControl, 1023));
}

TEST_F(FluidRollouts, SpinnersCopyOffsetAndScaleIntoTheSystem) {
  TetraProcObj* s = Open();
  ASSERT_TRUE(vorel_ui::SetSpinner(Ctl(kDlgAnimationControl, kOffsetSpin), 12));
  EXPECT_EQ(s->engine.timeOffset, 12);
  ASSERT_TRUE(vorel_ui::SetSpinner(Ctl(kDlgDynamicsParams, kScaleSpin), 2.5));
  EXPECT_FLOAT_EQ(s->scaleValue, 2.5f);
  EXPECT_FLOAT_EQ(s->engine.FrameScale(), 50.0f);
  EXPECT_FLOAT_EQ(s->engine.InvFrameScale(), 1.0f / 50.0f);
  // Typing in the scale field does the same, through the field's spinner.
  ASSERT_TRUE(vorel_ui::TypeText(Ctl(kDlgDynamicsParams, kScaleEdit), "0.5", true));
  EXPECT_FLOAT_EQ(s->scaleValue, 0.5f);
  EXPECT_FLOAT_EQ(s->engine.FrameScale(), 10.0f);
  EXPECT_TRUE(Prompted("Vorel system scale to better adapt to scene dimensions."));
}

TEST_F(FluidRollouts, FieldsShowTheirHelpAndSomeReloadTheSurface) {
  TetraProcObj* s = Open();
  struct Row {
    int dlg, id;
    uint32_t ms;
    bool reload;
    const char* text;
  };
  const char* minText =
      "Set min. magnitude value. Vertices with values of the selected magnitude less than selected here, will "
      "have 0.0 color value.";
  const Row rows[] = {
      {kDlgAnimationControl, kOffsetEdit, 15000, false,
       "Set animation offset in frames. If you set it to 10 for example, first displayed frame will be frame number 10."},
      {kDlgDynamicsParams, kSubSampleEdit, 15000, false,
       "Time step subdivisions. High vaules increases accuracy ( and solving time too)."},
      {kDlgDynamicsParams, kKeepUntilEdit, 15000, false,
       "Set the last preserved frame. Re-start calculations from given frame and keep dynamic results until that "
       "frame. Only results beyond that frame are flushed. "},
      {kDlgDynamicsParams, kGravityEdit, 15000, false, "Gravity force."},
      {kDlgSurfaceParams, 1008, 5000, false, "Surface detail. Modify resolution in resulting polySurface sequence."},
      {kDlgSurfaceParams, 1491, 5000, false, "Size of the isolated particles."},
      {kDlgSurfaceParams, 1492, 5000, false, "Blending distance. Makes particles blend when they are distant"},
      {kDlgSurfaceParams, 1494, 5000, false, "Surface mesh is modified to fit better particle set."},
      {kDlgSurfaceParams, 1082, 5000, true,
       "Set max. magnitude value. Vertices with values of the selected magnitude more than selected here, will "
       "have 1.0 color value."},
      {kDlgSurfaceParams, 1084, 5000, true, minText},
      {kDlgSurfaceParams, 1046, 5000, true, minText},
      {kDlgSurfaceParams, 1086, 5000, true, "Percentage of particle's radius to raster wetpams."},
      {kDlgSurfaceParams, 1088, 5000, true,
       "Percentage of particle's radius to be considered in distance computations while rastering wetmaps."},
      {kDlgPerObjectParams, 1053, 5000, false,
       "Particle bounce. This parameter takes values in a % scale from 0 to 100"},
      {kDlgPerObjectParams, 1055, 5000, false,
       "Margin of impact. It controls the distance from impact point to collision object surface."},
      {kDlgPerObjectParams, 1058, 5000, false,
       "Friction force. This parameter takes values in a % scale from 0 ( no friciton) to 100 ( full friction)"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    vorel::host::ClearPromptLog();
    s->engine.lastEvalFrame = 7;
    if (vorel_ui::GetKind(Ctl(r.dlg, r.id)) == vorel_ui::Kind::RadioButton) Press(r.dlg, r.id);
    else Focus(r.dlg, r.id);
    auto log = vorel::host::PromptLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, r.text);
    EXPECT_EQ(log[0].ms, r.ms);
    EXPECT_EQ(s->engine.lastEvalFrame, r.reload ? -999 : 7);
  }
  s->engine.lastEvalFrame = 7;
  ASSERT_TRUE(vorel_ui::SetSpinner(Ctl(kDlgSurfaceParams, kMinValueSpin), 0.5));
  EXPECT_EQ(s->engine.lastEvalFrame, -999);
}

TEST_F(FluidRollouts, MesherRangeIsEditableOnlyWithoutTheEntireRange) {
  TetraProcObj* s = Open();
  EXPECT_FALSE(Enabled(kDlgSurfaceParams, 1106));
  EXPECT_FALSE(Enabled(kDlgSurfaceParams, 1010));
  Press(kDlgSurfaceParams, kEntireRange);
  EXPECT_EQ(ReadIntParam(s->pblock2, kFluidEntireAnimationRange, 0, -1), 0);
  EXPECT_TRUE(Enabled(kDlgSurfaceParams, 1106));
  EXPECT_TRUE(Enabled(kDlgSurfaceParams, 1107));
  Press(kDlgSurfaceParams, kEntireRange);
  EXPECT_FALSE(Enabled(kDlgSurfaceParams, 1108));
}

TEST_F(FluidRollouts, EnableSurfaceKeepsToolbarAndSurfaceStateTogether) {
  TetraProcObj* s = Open();
  SolveFrame(s, 0);
  SolveFrame(s, 1);
  CreateToolbar(0);
  ICustToolbar* tb = GetICustToolbar(ToolbarWindow());
  ASSERT_NE(tb, nullptr);
  ICustButton* button = tb->GetICustButton(kTbSurface);
  ASSERT_NE(button, nullptr);
  ip()->SetTime(160, false);
  Press(kDlgSurfaceParams, kEnableSurface);
  EXPECT_EQ(ReadIntParam(s->pblock2, kFluidShowMesh, 0, -1), 1);
  EXPECT_TRUE(button->IsChecked());
  // Switching on meshes the current frame once.
  EXPECT_EQ(s->engine.frameMeshed[1], 1);
  EXPECT_TRUE(vorel::host::FileExists(s->engine.solver->frameCache.MeshPath(1)));
  EXPECT_EQ(s->engine.frameMeshed[0], 0);
  Press(kDlgSurfaceParams, kEnableSurface);
  EXPECT_EQ(ReadIntParam(s->pblock2, kFluidShowMesh, 0, -1), 0);
  EXPECT_FALSE(button->IsChecked());
  ReleaseICustButton(button);
  ReleaseICustToolbar(tb);
}

TEST_F(FluidRollouts, EnableSurfaceBeyondTheTablesOrTheMesherRangeMeshesNothing) {
  TetraProcObj* s = Open();
  SolveFrame(s, 0);
  s->pblock2->SetValue(kFluidShowMesh, 0, 1);
  // A cache claiming every frame solved, at a time beyond the tables.
  s->engine.lastSolved = FluidEngine::kMaxFrames + 5;
  ip()->SetTime(160 * (FluidEngine::kMaxFrames + 2), false);
  EnableSurfaceClicked(*s, ip()->GetTime());
  EXPECT_EQ(s->engine.CountMeshedFrames(), 0);
  // Outside the mesher's own range.
  s->engine.lastSolved = 0;
  ip()->SetTime(0, false);
  s->pblock2->SetValue(kFluidEntireAnimationRange, 0, 0);
  s->pblock2->SetValue(kFluidStartFrameMesher, 0, 5);
  EnableSurfaceClicked(*s, 0);
  EXPECT_EQ(s->engine.frameMeshed[0], 0);
  s->pblock2->SetValue(kFluidStartFrameMesher, 0, 0);
  EnableSurfaceClicked(*s, 0);
  EXPECT_EQ(s->engine.frameMeshed[0], 1);
}

TEST_F(FluidRollouts, RepairClearsEveryMissingSurfaceUpToTheLastSolvedFrame) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 6);
  const FrameCache& fc = s->engine.solver->frameCache;
  EXPECT_EQ(MarkMissingSurfaces(*s), -1);
  EXPECT_EQ(s->engine.lastMeshed, 5);
  // The last solved frame's surface counts too.
  ASSERT_EQ(std::remove(fc.MeshPath(5).c_str()), 0);
  EXPECT_EQ(MarkMissingSurfaces(*s), 5);
  EXPECT_EQ(s->engine.frameMeshed[5], 0);
  EXPECT_EQ(s->engine.lastMeshed, 4);
  ASSERT_EQ(std::remove(fc.MeshPath(3).c_str()), 0);
  s->engine.frameMeshed[1] = 0;  // a flag cleared with its file still there
  EXPECT_EQ(MarkMissingSurfaces(*s), 1);
  EXPECT_EQ(s->engine.lastMeshed, 0);
  const std::vector<uint8_t> want = {1, 0, 1, 0, 1, 0};
  EXPECT_EQ(std::vector<uint8_t>(s->engine.frameMeshed.begin(), s->engine.frameMeshed.begin() + 6), want);
  // The button rebuilds what is missing.
  s->pblock2->SetValue(kFluidShowMesh, 0, 1);
  Press(kDlgSurfaceParams, kRepairSurface);
  EXPECT_TRUE(vorel::host::FileExists(fc.MeshPath(3)));
  EXPECT_TRUE(vorel::host::FileExists(fc.MeshPath(5)));
  EXPECT_EQ(s->engine.lastMeshed, 5);
}

TEST_F(FluidRollouts, ApplyMappingRebuildsTheCacheFrameShownNow) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 3);
  const FrameCache& fc = s->engine.solver->frameCache;
  // The cache starts at host frame 10: host frame 11 shows cache frame 1.
  s->engine.startFrame = 10;
  ip()->SetTime(11 * 160, false);
  ASSERT_EQ(std::remove(fc.MeshPath(1).c_str()), 0);
  Press(kDlgSurfaceParams, kApplyMapping);
  EXPECT_TRUE(vorel::host::FileExists(fc.MeshPath(1)));
  EXPECT_FALSE(vorel::host::FileExists(fc.MeshPath(11)));
  // Beyond the solved frames there is nothing to rebuild.
  ip()->SetTime(40 * 160, false);
  ApplyMapping(*s, ip()->GetTime());
  EXPECT_FALSE(vorel::host::FileExists(fc.MeshPath(30)));
}

TEST_F(FluidRollouts, TextureGizmoButtonShowsAndHidesTheGizmo) {
  Open();
  Press(kDlgSurfaceParams, kTextureGizmo);  // no gizmo: nothing happens
  INode* gizmo = Box("VorelTextureGizmo");
  Press(kDlgSurfaceParams, kTextureGizmo);
  EXPECT_TRUE(gizmo->IsHidden());
  Press(kDlgSurfaceParams, kTextureGizmo);
  EXPECT_FALSE(gizmo->IsHidden());
}

TEST_F(FluidRollouts, GoStartsTheSolveOnceTheClickIsHandled) {
  TetraProcObj* s = Open();
  ip()->SetAnimRange(Interval(0, 3 * 160));
  Press(kDlgAnimationControl, kGo);
  EXPECT_EQ(s->engine.lastSolved, -1);
  EXPECT_GT(vorel_ui::PendingMessageCount(), 0u);
  vorel_ui::PumpMessages();
  EXPECT_EQ(s->engine.lastSolved, 3);
  EXPECT_FALSE(s->isSolving);
}

TEST_F(FluidRollouts, RepairOfACacheClaimingMoreFramesThanTheTablesStaysInThem) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 2);
  s->engine.lastSolved = FluidEngine::kMaxFrames + 50;
  s->engine.lastMeshed = FluidEngine::kMaxFrames + 50;
  EXPECT_EQ(MarkMissingSurfaces(*s), 2);
  EXPECT_EQ(s->engine.lastMeshed, 1);
  EXPECT_EQ(s->engine.CountMeshedFrames(), 2);
}

TEST_F(FluidRollouts, ListRowsAreUniqueAndDeleteMovesTheHighlight) {
  Open();
  HWND list = Ctl(kDlgPerObjectParams, kNodeList);
  EXPECT_TRUE(AppendUniqueRow(list, "a"));
  EXPECT_FALSE(AppendUniqueRow(list, "a"));
  EXPECT_TRUE(AppendUniqueRow(list, "b"));
  EXPECT_TRUE(AppendUniqueRow(list, "c"));
  EXPECT_FALSE(DeleteHighlightedRow(list));  // nothing highlighted
  ASSERT_TRUE(vorel_ui::SelectItem(list, 2));
  Press(kDlgPerObjectParams, kDelete);
  EXPECT_EQ(Rows(kDlgPerObjectParams), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);
  ASSERT_TRUE(vorel_ui::SelectItem(list, 0));
  Press(kDlgPerObjectParams, kDelete);
  EXPECT_EQ(Rows(kDlgPerObjectParams), (std::vector<std::string>{"b"}));
  EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 0);
  Press(kDlgPerObjectParams, kDelete);
  EXPECT_TRUE(Rows(kDlgPerObjectParams).empty());
}

TEST_F(FluidRollouts, PickAddsEachColliderOnceAndNeverTheSystemsHelpers) {
  Open();
  INode* wall = Box("wall");
  INode* helper = Box("VorelHelperBox");
  Press(kDlgPerObjectParams, kPick);
  ASSERT_EQ(vorel_ui::CurrentPickMode(), &ColliderPickMode());
  EXPECT_TRUE(vorel_ui::ScriptPickNode(wall));
  EXPECT_TRUE(vorel_ui::ScriptPickNode(wall));
  vorel_ui::ScriptPickNode(helper);
  EXPECT_EQ(Rows(kDlgPerObjectParams), (std::vector<std::string>{"wall"}));
  // Still picking, button held; a right click leaves and releases it.
  EXPECT_EQ(vorel_ui::CurrentPickMode(), &ColliderPickMode());
  EXPECT_EQ(vorel_ui::ReadControl(Ctl(kDlgPerObjectParams, kPick)), "1");
  EXPECT_TRUE(vorel_ui::ScriptRightClick());
  EXPECT_EQ(vorel_ui::CurrentPickMode(), nullptr);
  EXPECT_EQ(vorel_ui::ReadControl(Ctl(kDlgPerObjectParams, kPick)), "0");
  // A second click on the held button leaves the mode too.
  Press(kDlgPerObjectParams, kPick);
  Press(kDlgPerObjectParams, kPick);
  EXPECT_EQ(vorel_ui::CurrentPickMode(), nullptr);
}

TEST_F(FluidRollouts, SelectByNameOffersNoVorelNodesAndAddsEachOnce) {
  Open();
  Box("wall");
  Box("shelf");
  Box("VorelSourceShape");
  vorel_ui::QueueHitByNameAnswer({"wall", "shelf"});
  Press(kDlgPerObjectParams, kSelectObjects);
  vorel_ui::QueueHitByNameAnswer({"wall"});
  Press(kDlgPerObjectParams, kSelectObjects);
  EXPECT_EQ(Rows(kDlgPerObjectParams), (std::vector<std::string>{"wall", "shelf"}));
  auto log = vorel_ui::HitByNameLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].title, "Vorel Object Selection");
  for (const std::string& name : log[0].listed) EXPECT_NE(name.compare(0, 5, "Vorel"), 0) << name;
  EXPECT_NE(std::find(log[0].listed.begin(), log[0].listed.end(), "shelf"), log[0].listed.end());
}

TEST_F(FluidRollouts, ApplyGivesListedNodesTheSettingsAndKeepsTheirWetMaps) {
  TetraProcObj* s = Open();
  INode* wall = Box("wall");
  INode* shelf = Box("shelf");
  ASSERT_TRUE(AddObjectParams({}, shelf, 1, 0.2f, 10.0f, 2.0f, 0, 512, 3.0f, 0.1f, true));
  s->pblock2->SetValue(kFluidObjectBounce, 0, 70.0f);
  s->pblock2->SetValue(kFluidCollisionGap, 0, 0.3f);
  s->pblock2->SetValue(kFluidObjectCollide, 0, 0);
  HWND list = Ctl(kDlgPerObjectParams, kNodeList);
  AppendUniqueRow(list, "wall");
  AppendUniqueRow(list, "gone");  // no such node: skipped
  AppendUniqueRow(list, "shelf");
  Press(kDlgPerObjectParams, kApply);
  int collide = -1, tracer = -1, res = -1;
  float gap = 0, bounce = 0, friction = 0, adherence = 0, drying = 0;
  bool killer = false;
  const char* prefix = nullptr;
  ASSERT_TRUE(GetObjectParams(wall, collide, gap, bounce, friction, adherence, killer));
  EXPECT_EQ(collide, 0);
  EXPECT_FLOAT_EQ(gap, 0.3f);
  EXPECT_FLOAT_EQ(bounce, 70.0f);
  EXPECT_FLOAT_EQ(friction, 1.0f);
  EXPECT_FLOAT_EQ(adherence, 0.35f);
  EXPECT_FALSE(killer);
  ASSERT_TRUE(GetWetmapParams(wall, tracer, res, prefix, drying));
  EXPECT_EQ(tracer, s->engine.defaults.objectHasWetmap);
  EXPECT_EQ(res, s->engine.defaults.wetmapSize);
  ASSERT_TRUE(GetObjectParams(shelf, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FLOAT_EQ(bounce, 70.0f);
  EXPECT_TRUE(killer);
  ASSERT_TRUE(GetWetmapParams(shelf, tracer, res, prefix, drying));
  EXPECT_EQ(tracer, 0);
  EXPECT_EQ(res, 512);
  EXPECT_FLOAT_EQ(drying, 3.0f);
  // Reads that give nothing fall back.
  const RolloutObjectSettings none = ReadColliderSettings(nullptr, 0);
  EXPECT_FLOAT_EQ(none.friction, 1.0f);
  EXPECT_FLOAT_EQ(none.bounce, 5.0f);
  EXPECT_FLOAT_EQ(none.gap, 0.1f);
  EXPECT_EQ(none.collide, 1);
  EXPECT_FLOAT_EQ(none.adherence, 0.65f);
}

TEST_F(FluidRollouts, SourceListShowsEmittersAndSelectPicksTheHighlightedOne) {
  TetraProcObj* s = Open();
  EXPECT_TRUE(Rows(kDlgSourceCreation).empty());
  Press(kDlgSourceCreation, kNewSource);
  Press(kDlgSourceCreation, kNewSource);
  ASSERT_EQ(s->engine.sourceCount, 2);
  const std::vector<std::string> names = {s->engine.sourceNodes[0]->GetName(), s->engine.sourceNodes[1]->GetName()};
  EXPECT_EQ(Rows(kDlgSourceCreation), names);
  ASSERT_TRUE(vorel_ui::SelectItem(Ctl(kDlgSourceCreation, kNodeList), 1));
  Press(kDlgSourceCreation, kSelectSource);
  ASSERT_EQ(ip()->GetSelNodeCount(), 1);
  EXPECT_EQ(ip()->GetSelNode(0), s->engine.sourceNodes[1]);
  // Reopened, the list is rebuilt from the slots.
  vorel_ui::UI()->EndEditParams();
  vorel_ui::UI()->BeginEditParams(s);
  EXPECT_EQ(Rows(kDlgSourceCreation), names);
}

TEST_F(FluidRollouts, CacheRolloutShowsRootNameAndCounts) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  SolveAndMesh(s, 3);
  vorel_ui::UI()->BeginEditParams(s);
  EXPECT_EQ(Text(kDlgCacheParams, kPath), s->engine.cacheRoot);
  EXPECT_EQ(Text(kDlgCacheParams, 3076), s->engine.systemName);
  EXPECT_EQ(Text(kDlgCacheParams, kFramesSolved), "Frames solved: 2");
  EXPECT_EQ(Text(kDlgCacheParams, kMeshesSolved), "Meshes solved: 2");
  EXPECT_EQ(Text(kDlgCacheParams, kParticleCount), "Particle count: 27");
}

TEST_F(FluidRollouts, PathFieldMovesTheCacheOnlyToAnotherUsableRoot) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 3);
  const std::string oldRoot = s->engine.cacheRoot;
  const std::string oldFolder = s->engine.solver->frameCache.SystemFolder();
  HWND path = Ctl(kDlgCacheParams, kPath);
  // The current root again (with a trailing separator): nothing moves.
  ASSERT_TRUE(vorel_ui::TypeText(path, oldRoot + "/", true));
  EXPECT_EQ(s->engine.cacheRoot, oldRoot);
  EXPECT_FALSE(Prompted("Cache successfully set. Save your scene."));
  // A root below a plain file cannot hold the cache: refused, nothing lost.
  const std::string file = scratch() + "/plain";
  FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_TRUE(vorel_ui::TypeText(path, file + "/cache", true));
  EXPECT_EQ(s->engine.cacheRoot, oldRoot);
  EXPECT_EQ(Text(kDlgCacheParams, kPath), oldRoot);
  EXPECT_TRUE(vorel::host::FileExists(oldFolder + "00002.Vorel"));
  // A blank field names no folder: the field shows the root in force.
  ASSERT_TRUE(vorel_ui::TypeText(path, "", true));
  EXPECT_EQ(s->engine.cacheRoot, oldRoot);
  EXPECT_EQ(std::string(s->pblock2->GetStr(kFluidTempDirPath, 0)), oldRoot);
  EXPECT_EQ(Text(kDlgCacheParams, kPath), oldRoot);
  // A file that cannot be copied there (a folder holds its name): nothing
  // moves and the system stays on its whole cache.
  const std::string moved = scratch() + "/moved";
  FrameCache blocked = s->engine.solver->frameCache;
  blocked.cacheRoot = moved;
  vorel::host::MakeDirectories(blocked.FramePath(1) + "/x");
  ASSERT_TRUE(vorel_ui::TypeText(path, moved, true));
  EXPECT_EQ(s->engine.cacheRoot, oldRoot);
  EXPECT_EQ(std::string(s->pblock2->GetStr(kFluidTempDirPath, 0)), oldRoot);
  for (int n = 0; n < 3; ++n) EXPECT_TRUE(vorel::host::FileExists(oldFolder + "0000" + std::to_string(n) + ".Vorel"));
  EXPECT_FALSE(vorel::host::FileExists(blocked.FramePath(0)));
  EXPECT_EQ(vorel::host::CurrentPrompt().rfind("Vorel-> The cache could not be copied (" + blocked.FramePath(1), 0), 0u)
      << vorel::host::CurrentPrompt();
  std::filesystem::remove_all(blocked.FramePath(1));
  // Another folder: frames and meshes move there.
  ASSERT_TRUE(vorel_ui::TypeText(path, moved, true));
  EXPECT_EQ(s->engine.cacheRoot, moved);
  EXPECT_EQ(std::string(s->pblock2->GetStr(kFluidTempDirPath, 0)), moved);
  const FrameCache& fc = s->engine.solver->frameCache;
  for (int n = 0; n < 3; ++n) {
    EXPECT_TRUE(vorel::host::FileExists(fc.FramePath(n))) << n;
    EXPECT_TRUE(vorel::host::FileExists(fc.MeshPath(n))) << n;
  }
  EXPECT_FALSE(vorel::host::FileExists(oldFolder + "00000.Vorel"));
  EXPECT_TRUE(Prompted("Cache successfully set. Save your scene."));
}

TEST_F(FluidRollouts, SetAsksBeforeMovingAndCancelMovesNothing) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 2);
  const std::string oldRoot = s->engine.cacheRoot;
  const std::string target = scratch() + "/chosen";
  ASSERT_TRUE(vorel::host::MakeDirectories(target));
  vorel_ui::QueueDirectoryAnswer(target);
  vorel::host::QueueMessageBoxAnswer(IDCANCEL);
  Press(kDlgCacheParams, kSet);
  EXPECT_EQ(s->engine.cacheRoot, oldRoot);
  EXPECT_EQ(LastMessage(), "Vorel: Do you agree to move scene's cache to the new selected location?");
  auto dialogs = vorel_ui::FileDialogLog();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, "Select Directory for temporary scene cache");
  EXPECT_EQ(dialogs[0].initialDir, oldRoot);
  vorel_ui::QueueDirectoryAnswer(target);
  vorel::host::QueueMessageBoxAnswer(IDOK);
  Press(kDlgCacheParams, kSet);
  EXPECT_EQ(s->engine.cacheRoot, target);
  EXPECT_EQ(Text(kDlgCacheParams, kPath), target);
  EXPECT_TRUE(vorel::host::FileExists(s->engine.solver->frameCache.FramePath(1)));
}

TEST_F(FluidRollouts, SaveWritesANewPackedFileAndAsksBeforeOverwriting) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 2);
  const std::string pack = s->engine.cacheRoot + "/take1.Vor";
  vorel_ui::QueueFileAnswer("take1");
  Press(kDlgCacheParams, kSave);
  ASSERT_TRUE(vorel::host::FileExists(pack));
  EXPECT_TRUE(Prompted("Vorel cache saved successfully as-> take1.Vor"));
  auto dialogs = vorel_ui::FileDialogLog();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, "save");
  EXPECT_EQ(dialogs[0].defExt, "Vor");
  EXPECT_EQ(dialogs[0].filters, (std::vector<std::string>{"Vorel", "*.Vor"}));
  // Saving over it asks first; No keeps the file as it was.
  const int64_t size = vorel::host::FileSize(pack);
  SolveFrame(s, 2);
  vorel_ui::QueueFileAnswer("take1.Vor");
  vorel::host::QueueMessageBoxAnswer(IDNO);
  Press(kDlgCacheParams, kSave);
  EXPECT_EQ(vorel::host::FileSize(pack), size);
  vorel_ui::QueueFileAnswer("take1.Vor");
  vorel::host::QueueMessageBoxAnswer(IDYES);
  Press(kDlgCacheParams, kSave);
  EXPECT_GT(vorel::host::FileSize(pack), size);
  // A folder that does not exist ends the dialog: nothing is written.
  vorel_ui::QueueFileAnswer(scratch() + "/none/take2.Vor");
  Press(kDlgCacheParams, kSave);
  EXPECT_FALSE(vorel::host::FileExists(scratch() + "/none/take2.Vor"));
}

TEST_F(FluidRollouts, LoadUnpacksAPackedFileAndRefusesABrokenOne) {
  // Cache frames count from the start frame: the statistics after an
  // unpack read as they did after the solve, whatever frame the range
  // starts at.
  ip()->SetAnimRange(Interval(10 * 160, 20 * 160));
  TetraProcObj* s = Open();
  ASSERT_EQ(s->engine.startFrame, 10);
  SolveAndMesh(s, 3);
  s->engine.ShowStatistics(s->cacheRollout);
  const std::vector<std::string> solved = {Text(kDlgCacheParams, kParticleCount), Text(kDlgCacheParams, kFramesSolved),
                                           Text(kDlgCacheParams, kMeshesSolved)};
  EXPECT_EQ(solved, (std::vector<std::string>{"Particle count: 27", "Frames solved: 2", "Meshes solved: 2"}));
  const std::string pack = scratch() + "/take.Vor";
  ASSERT_TRUE(s->engine.PackCache(pack));
  // Forget the cache on disk, then load it back.
  const FrameCache& fc = s->engine.solver->frameCache;
  for (int n = 0; n < 3; ++n) {
    std::remove(fc.FramePath(n).c_str());
    std::remove(fc.MeshPath(n).c_str());
  }
  vorel_ui::QueueFileAnswer(pack, 1);
  Press(kDlgCacheParams, kLoad);
  EXPECT_TRUE(Prompted("take.Vor-> loaded successfully."));
  EXPECT_EQ(s->engine.lastSolved, 2);
  for (int n = 0; n < 3; ++n) EXPECT_TRUE(vorel::host::FileExists(fc.FramePath(n))) << n;
  EXPECT_EQ(s->engine.startFrame, 10);
  EXPECT_EQ(Text(kDlgCacheParams, kParticleCount), solved[0]);
  EXPECT_EQ(Text(kDlgCacheParams, kFramesSolved), solved[1]);
  EXPECT_EQ(Text(kDlgCacheParams, kMeshesSolved), solved[2]);
  auto dialogs = vorel_ui::FileDialogLog();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].filters, (std::vector<std::string>{"select a single .Vor packed file", "*.Vor",
                                                          ".Vorel unpacked cache files", "*.Vorel"}));
  // A cut-off file is refused and the cache stays.
  const std::string cut = scratch() + "/cut.Vor";
  {
    FILE* in = std::fopen(pack.c_str(), "rb");
    FILE* out = std::fopen(cut.c_str(), "wb");
    char buf[64];
    std::fwrite(buf, 1, std::fread(buf, 1, sizeof buf, in), out);
    std::fclose(in);
    std::fclose(out);
  }
  vorel_ui::QueueFileAnswer(cut, 1);
  Press(kDlgCacheParams, kLoad);
  EXPECT_EQ(LastMessage(), "Vorel Warning!: cut.Vor-> seems to be an invalid .Vor file.");
  EXPECT_EQ(s->engine.lastSolved, 2);
  EXPECT_TRUE(vorel::host::FileExists(fc.FramePath(2)));
}

TEST_F(FluidRollouts, LoadCopiesAnUnpackedCacheAndReloads) {
  TetraProcObj* s = Open();
  SolveAndMesh(s, 4);
  const FrameCache& fc = s->engine.solver->frameCache;
  // Another folder holds the cache; the system's own is emptied.
  const std::string other = scratch() + "/other";
  ASSERT_TRUE(vorel::host::MakeDirectories(other + "/surface"));
  for (int n = 0; n < 4; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "/%05d.Vorel", n);
    ASSERT_TRUE(CopyFileA(fc.FramePath(n).c_str(), (other + name).c_str(), FALSE));
    std::snprintf(name, sizeof name, "/surface/m%05d.bin", n);
    ASSERT_TRUE(CopyFileA(fc.MeshPath(n).c_str(), (other + name).c_str(), FALSE));
    std::remove(fc.FramePath(n).c_str());
    std::remove(fc.MeshPath(n).c_str());
  }
  s->engine.ReloadCache();
  ASSERT_LE(s->engine.lastSolved, 0);
  vorel_ui::QueueFileAnswer(other + "/00002.Vorel");
  Press(kDlgCacheParams, kLoad);
  EXPECT_TRUE(Prompted("Cache successfully loaded."));
  EXPECT_EQ(s->engine.lastSolved, 3);
  EXPECT_EQ(s->engine.CountMeshedFrames(), 4);
  for (int n = 0; n < 4; ++n) EXPECT_TRUE(vorel::host::FileExists(fc.MeshPath(n))) << n;
  // Choosing a frame of the system's own folder reloads without copying.
  const int64_t size = vorel::host::FileSize(fc.FramePath(1));
  vorel_ui::QueueFileAnswer(fc.FramePath(1));
  Press(kDlgCacheParams, kLoad);
  EXPECT_EQ(vorel::host::FileSize(fc.FramePath(1)), size);
  EXPECT_EQ(s->engine.lastSolved, 3);

  // The system solves on; a full disk then refuses the load, names the file
  // that did not fit and leaves every frame as it was.
  SolveFrame(s, 4);
  SolveFrame(s, 5);
  std::vector<int64_t> sizes;
  for (int n = 0; n <= 5; ++n) sizes.push_back(vorel::host::FileSize(fc.FramePath(n)));
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small = {100, 100};
    setrlimit(RLIMIT_FSIZE, &small);
    vorel::host::ClearPromptLog();
    const bool ok = LoadCacheFile(*s, other + "/00002.Vorel", "00002.Vorel");
    const bool said = LastMessage().find("00002.Vorel-> could not be loaded (" + fc.SystemFolder()) !=
                      std::string::npos && LastMessage().find(": File too large)") != std::string::npos;
    _exit(!ok && said && !Prompted("Cache successfully loaded.") && s->engine.lastSolved == 5 ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (int n = 0; n <= 5; ++n) EXPECT_EQ(vorel::host::FileSize(fc.FramePath(n)), sizes[size_t(n)]) << n;
  // With room the loaded cache replaces the whole one: no later frame of
  // the old simulation stays beside it.
  vorel_ui::QueueFileAnswer(other + "/00002.Vorel");
  Press(kDlgCacheParams, kLoad);
  EXPECT_EQ(s->engine.lastSolved, 3);
  EXPECT_FALSE(vorel::host::FileExists(fc.FramePath(4)));
  EXPECT_FALSE(vorel::host::FileExists(fc.FramePath(5)));
}

}  // namespace
