// The emitter's and the ghost's rollouts driven as a user would: the pick
// and selection filters, choosing (and not choosing) a shape or an object to
// fill, the fill spinners, the instance and mapper picks, the directory
// chooser, the prompts and the toolbar hooks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "emitter_test_support.h"
#include "fluid_core/object_params.h"
#include "host/core/interaction.h"
#include "host/sdk/primitives.h"
#include "host/ui/script.h"
#include "host/ui/user.h"
#include "scene_objects/emitter_rollouts.h"
#include "scene_objects/ghost.h"
#include "scene_objects/ghost_params.h"
#include "scene_objects/object_params_access.h"
#include "scene_objects/simple_cust_attrib.h"

using emitter_test::EngineFixture;
using namespace emitter_ctl;

namespace {

// A shape of one of the two classes the shape selection leaves out.
class ExcludedShape : public RectangleShape {
 public:
  explicit ExcludedShape(unsigned a) : id_(a, 0) {}
  Class_ID ClassID() override { return id_; }

 private:
  Class_ID id_;
};

struct ToolbarCalls {
  std::vector<std::string> calls;
};
ToolbarCalls& Calls() {
  static ToolbarCalls c;
  return c;
}

class RolloutFixture : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    vorel_ui::ResetPickAndFileDialogs();
    if (!ClassDirectory::Get().FindClass(CUST_ATTRIB_CLASS_ID, SimpleCustAttribClassID()))
      ClassDirectory::Get().AddClass(GetSimpleAttribDesc());
    InstallVorelObjectParamsAccess();
    Calls().calls.clear();
    EmitterShellHooks h;
    h.setLookState = [](int s) { Calls().calls.push_back("look " + std::to_string(s)); };
    h.setRenderTypeState = [](int s) { Calls().calls.push_back("render " + std::to_string(s)); };
    h.setFacingState = [](int s) { Calls().calls.push_back("facing " + std::to_string(s)); };
    h.showFacingButton = [](int s) { Calls().calls.push_back("show facing " + std::to_string(s)); };
    h.hideFacingButton = [] { Calls().calls.push_back("hide facing"); };
    h.runCommand = [](int c) { Calls().calls.push_back("run " + std::to_string(c)); };
    SetEmitterShellHooks(h);
  }
  void TearDown() override {
    ip->EndEditParams();
    SetEmitterShellHooks({});
    vorel_ui::ResetPickAndFileDialogs();
    EngineFixture::TearDown();
  }
  void Open(Animatable* obj) {
    ip->EndEditParams();
    ip->BeginEditParams(obj);
  }
  HWND Source() { return emitter->sourceRollout; }
  HWND Display() { return emitter->displayRollout; }
  HWND Ctrl(HWND dlg, int id) { return GetDlgItem(dlg, id); }
  std::string Text(HWND dlg, int id) {
    char buf[300] = {};
    GetWindowText(GetDlgItem(dlg, id), buf, sizeof buf);
    return buf;
  }
  bool SpinnerEnabled(int id) {
    ISpinnerControl* s = GetISpinner(GetDlgItem(Source(), id));
    const bool on = s && s->IsEnabled();
    ReleaseISpinner(s);
    return on;
  }
  INode* Box(const char* name, float size = 20.0f) {
    auto* b = new GenBoxObject();
    b->SetParams(size, size, size);
    return ip->CreateObjectNode(b, name);
  }
  INode* Rect(const char* name) { return ip->CreateObjectNode(new RectangleShape(), name); }
};

}  // namespace

TEST_F(RolloutFixture, FiltersKeepTheSystemsOwnNodesOutExceptForTheMapper) {
  INode* box = Box("crate");
  INode* vorelBox = Box("VorelSource");
  INode* rect = Rect("outline");
  INode* vorelRect = Rect("VorelOutline");
  INode* hidden = Box("hiddenCrate");
  hidden->Hide(true);
  INode* excluded1 = ip->CreateObjectNode(new ExcludedShape(0x1994), "section");
  INode* excluded2 = ip->CreateObjectNode(new ExcludedShape(0x1996), "loft");

  VorelPickInstanceCallback instance;
  EXPECT_TRUE(instance.Filter(box));
  EXPECT_FALSE(instance.Filter(vorelBox));
  EXPECT_FALSE(instance.Filter(nullptr));

  PickMapperNodeCallback mapper;
  EXPECT_TRUE(mapper.Filter(box));
  EXPECT_TRUE(mapper.Filter(vorelBox));  // the mapper pick takes any mesh

  CSelectShapeSourcesCallback shapes(emitter);
  EXPECT_TRUE(shapes.filter(rect));
  EXPECT_FALSE(shapes.filter(vorelRect));
  EXPECT_FALSE(shapes.filter(box));
  EXPECT_FALSE(shapes.filter(excluded1));
  EXPECT_FALSE(shapes.filter(excluded2));
  EXPECT_STREQ(shapes.dialogTitle(), "Vorel Source Shape Selection");
  EXPECT_STREQ(shapes.buttonText(), "Select");
  EXPECT_TRUE(shapes.singleSelect());

  CSelectEmittingObjectsCallback fills(emitter);
  EXPECT_TRUE(fills.filter(box));
  EXPECT_FALSE(fills.filter(vorelBox));
  EXPECT_FALSE(fills.filter(hidden));
  EXPECT_FALSE(fills.filter(rect));       // a shape is no container
  EXPECT_FALSE(fills.filter(excluded1));
  EXPECT_STREQ(fills.dialogTitle(), "Vorel Emitting Objects Selection");
  EXPECT_TRUE(fills.singleSelect());
}

TEST_F(RolloutFixture, CancelledPlainShapeLeavesACircleEmitter) {
  INode* rect = Rect("outline");
  emitter->ReplaceReference(1, rect);
  emitter->shapeRows.Add(new Hilera());
  Open(emitter);
  ASSERT_NE(Source(), nullptr);
  EXPECT_EQ(Text(Source(), kEmissionName), "outline");
  vorel_ui::QueueHitByNameCancel();
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kEmitShape)));
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitEmissionType, 0), kEmissionCircle);
  EXPECT_EQ(emitter->emissionNode, nullptr);
  EXPECT_EQ(emitter->shapeRows.Count(), 0);
  EXPECT_EQ(emitter->lastEmissionType, kEmissionCircle);
  EXPECT_EQ(Text(Source(), kEmissionName), "");
  EXPECT_EQ(IsDlgButtonChecked(Source(), kEmitCircle), 1u);
  // The same for an object to fill.
  vorel_ui::QueueHitByNameCancel();
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kEmitFilled)));
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitEmissionType, 0), kEmissionCircle);
  EXPECT_EQ(emitter->emissionNode, nullptr);
}

TEST_F(RolloutFixture, PickedShapeCarriesTheEmitterAndStopsColliding) {
  INode* rect = Rect("outline");
  Matrix3 tm = RotateXMatrix(0.5f);
  tm.SetTrans(Point3(10.0f, 20.0f, 60.0f));
  rect->SetNodeTM(0, tm);
  AddObjectParams(nullptr, rect, 1, 0.1f, 10.0f, 2.0f, 0, 256, 1.0f, 0.5f, false);
  ObjectParamsAccess* access = GetObjectParamsAccess();
  ASSERT_NE(access, nullptr);
  ObjectParams before;
  ASSERT_TRUE(access->GetObjectParams(rect, before));
  ASSERT_EQ(before.collide, 1);
  INode* bare = Rect("bare");
  Open(emitter);
  vorel_ui::QueueHitByNameAnswer({"outline"});
  SourcesNeedRefresh = 0;
  engine->lastEvalFrame = 7;
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kEmitShape)));
  EXPECT_EQ(emitter->emissionNode, rect);
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitEmissionType, 0), kEmissionShape);
  EXPECT_EQ(emitter->lastEmissionType, kEmissionShape);
  EXPECT_EQ(Text(Source(), kEmissionName), "outline");
  const Matrix3 moved = node->GetNodeTM(0);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(moved.GetRow(r), tm.GetRow(r)) << r;
  EXPECT_EQ(emitter->storedTM.GetTrans(), Point3(10.0f, 20.0f, 60.0f));
  ObjectParams after;
  ASSERT_TRUE(access->GetObjectParams(rect, after));
  EXPECT_EQ(after.collide, 0);
  EXPECT_EQ(engine->lastEvalFrame, -1);
  // A shape without the attribute gets none.
  vorel_ui::QueueHitByNameAnswer({"bare"});
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kSelect)));
  EXPECT_EQ(emitter->emissionNode, bare);
  EXPECT_FALSE(HasObjectParams(bare));
  EXPECT_EQ(Text(Source(), kEmissionName), "bare");
  // Back to a circle: the field empties, the rows go.
  emitter->shapeRows.Add(new Hilera());
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kEmitCircle)));
  EXPECT_EQ(Text(Source(), kEmissionName), "");
  EXPECT_EQ(emitter->shapeRows.Count(), 0);
  EXPECT_FALSE(SpinnerEnabled(kFillLayersSpin));
}

TEST_F(RolloutFixture, FillSpinnersFollowTheFillInProgress) {
  emitter->pblock2->SetValue(kEmitEmissionType, 0, kEmissionObjectFill);
  emitter->fillPending = 0;
  Open(emitter);
  EXPECT_FALSE(SpinnerEnabled(kFillLayersSpin));
  EXPECT_FALSE(SpinnerEnabled(kFillCountSpin));
  emitter->fillPending = 1;
  Open(emitter);
  EXPECT_TRUE(SpinnerEnabled(kFillLayersSpin));
  EXPECT_TRUE(SpinnerEnabled(kFillCountSpin));
  // The engine lowers them when the fill has gone into the solver.
  emitter->SetFillSpinnersEnabled(false);
  EXPECT_FALSE(SpinnerEnabled(kFillLayersSpin));
  ip->EndEditParams();
  emitter->SetFillSpinnersEnabled(true);  // closed: nothing to reach
  EXPECT_EQ(Source(), nullptr);
}

TEST_F(RolloutFixture, ObjectFilledFillsTheChosenObject) {
  Box("tank", 20.0f);
  Open(emitter);
  vorel_ui::QueueHitByNameAnswer({"tank"});
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kEmitFilled)));
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitEmissionType, 0), kEmissionObjectFill);
  EXPECT_EQ(Text(Source(), kEmissionName), "tank");
  EXPECT_FALSE(emitter->fillPoints.empty());
  EXPECT_EQ(emitter->fillPending, 1);
  EXPECT_TRUE(SpinnerEnabled(kFillLayersSpin));
  const std::vector<vorel_ui::HitByNameRecord> log = vorel_ui::HitByNameLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().title, "Vorel Emitting Objects Selection");
  for (const std::string& name : log.back().listed) EXPECT_NE(name.rfind("Vorel", 0), 0u) << name;
}

TEST_F(RolloutFixture, InstanceAndMapperPicksSetTheirReferences) {
  INode* drop = Box("drop", 2.0f);
  INode* vorelBox = Box("VorelGizmo", 2.0f);
  Open(emitter);
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kPickInstance)));
  EXPECT_FALSE(vorel_ui::ScriptPickNode(vorelBox));  // the filter refuses it
  EXPECT_EQ(emitter->instanceNode, nullptr);
  ASSERT_TRUE(vorel_ui::ScriptPickNode(drop));
  EXPECT_EQ(emitter->instanceNode, drop);
  EXPECT_EQ(emitter->GetReference(2), drop);
  EXPECT_EQ(Text(Display(), kInstanceName), "drop");
  EXPECT_EQ(vorel_ui::CurrentPickMode(), nullptr);  // one pick, then back
  ICustButton* b = GetICustButton(Ctrl(Display(), kPickInstance));
  EXPECT_FALSE(b->IsChecked());
  ReleaseICustButton(b);

  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kMapper)));
  ASSERT_TRUE(vorel_ui::ScriptPickNode(vorelBox));  // any mesh maps
  EXPECT_EQ(emitter->mapperNode, vorelBox);
  EXPECT_EQ(emitter->GetReference(3), vorelBox);
  EXPECT_EQ(Text(Source(), kMapperLabel), "VorelGizmo");
  // A right click leaves the mode without a pick.
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kMapper)));
  EXPECT_TRUE(vorel_ui::ScriptRightClick());
  EXPECT_EQ(vorel_ui::CurrentPickMode(), nullptr);
  EXPECT_EQ(emitter->mapperNode, vorelBox);
  // Reopened, the rollouts show the picked names.
  Open(emitter);
  EXPECT_EQ(Text(Display(), kInstanceName), "drop");
  EXPECT_EQ(Text(Source(), kMapperLabel), "VorelGizmo");
  // Closing the rollouts ends a pick mode begun from them.
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kPickInstance)));
  ip->EndEditParams();
  EXPECT_EQ(vorel_ui::CurrentPickMode(), nullptr);
}

TEST_F(RolloutFixture, DirectoryChooserStartsInTheCacheRootAndLeavesTheProcessFolder) {
  char cwdBefore[PATH_MAX] = {};
  ASSERT_NE(getcwd(cwdBefore, sizeof cwdBefore), nullptr);
  const std::string chosen = engine->cacheRoot + "/frames";
  vorel::host::MakeDirectories(chosen);
  emitter->SetSourceFolder("/kept");
  Open(emitter);
  vorel_ui::QueueDirectoryCancel();
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kChooseFolder)));
  EXPECT_EQ(emitter->SourceFolder(), "/kept");
  vorel_ui::QueueDirectoryAnswer(chosen);
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kChooseFolder)));
  EXPECT_EQ(emitter->SourceFolder(), chosen);
  ICustEdit* e = GetICustEdit(Ctrl(Source(), kFolderField));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->GetText(), chosen);
  ReleaseICustEdit(e);
  const std::vector<vorel_ui::FileDialogRecord> log = vorel_ui::FileDialogLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].kind, "directory");
  EXPECT_EQ(log[1].title, "Select source directory...");
  EXPECT_EQ(log[1].initialDir, engine->cacheRoot + "/");
  char cwdAfter[PATH_MAX] = {};
  ASSERT_NE(getcwd(cwdAfter, sizeof cwdAfter), nullptr);
  EXPECT_STREQ(cwdAfter, cwdBefore);
}

TEST_F(RolloutFixture, PromptsRefreshAndToolbarFollowTheControls) {
  Open(emitter);
  vorel::host::ClearPromptLog();
  ASSERT_TRUE(vorel_ui::FocusEdit(Ctrl(Source(), 1000)));
  ASSERT_TRUE(vorel_ui::FocusEdit(Ctrl(Source(), 1508)));
  ASSERT_TRUE(vorel_ui::FocusEdit(Ctrl(Display(), 3046)));
  std::vector<vorel::host::PromptRecord> prompts = vorel::host::PromptLog();
  ASSERT_EQ(prompts.size(), 3u);
  EXPECT_EQ(prompts[0].text, "Source Radius.");
  EXPECT_EQ(prompts[0].ms, kEmitterPromptMs);
  EXPECT_EQ(prompts[1].text, "Length of the trayectory in frames.");
  EXPECT_EQ(prompts[2].text, "This is the particle age percentage to begin collapsing.");

  SourcesNeedRefresh = 0;
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kLookTicks)));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitDisplayType, 0), 2);
  emitter->pblock2->SetValue(kEmitFacingOrientation, 0, 1);
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kRenderNothing)));
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kRenderTetrahedron)));
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kFacingSurface)));
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kSettle)));
  const std::vector<std::string> want = {"look 2",      "render 2", "show facing 1", "facing 1",
                                         "render 0",    "hide facing", "facing 2",   "run 40001"};
  EXPECT_EQ(Calls().calls, want);

  SourcesNeedRefresh = 0;
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kHideTrajectory)));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  SourcesNeedRefresh = 0;
  ASSERT_TRUE(vorel_ui::TypeText(Ctrl(Source(), kTrajectoryEdit), "12"));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_EQ(emitter->trajectoryLengthSeen, 12);

  // Without the shell's hooks the controls still work.
  SetEmitterShellHooks({});
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Display(), kRenderFacing)));
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kSettle)));
  EXPECT_EQ(emitter->pblock2->GetInt(kEmitRenderType, 0), 1);
}

TEST_F(RolloutFixture, GhostRolloutsNameTheParentAndRefreshTheGhost) {
  Matrix3 tm = RotateZMatrix(0.25f);
  tm.SetTrans(Point3(5.0f, 6.0f, 7.0f));
  node->SetNodeTM(0, tm);
  Open(emitter);
  // "New ghost" makes one on the emitter, bound to its next ghost slot.
  ASSERT_TRUE(vorel_ui::Click(Ctrl(Source(), kNewGhost)));
  EXPECT_EQ(emitter->ghostCount, 1);
  INode* ghostNode = ip->GetINodeByName("VorelGhost");
  ASSERT_NE(ghostNode, nullptr);
  EXPECT_EQ(emitter->ghostNodes[0], ghostNode);
  EXPECT_EQ(ghostNode->GetNodeTM(0).GetTrans(), Point3(5.0f, 6.0f, 7.0f));
  auto* ghost = dynamic_cast<RainGhostParticle*>(ghostNode->GetObjectRef());
  ASSERT_NE(ghost, nullptr);
  Open(ghost);
  HWND source = vorel_ui::FindDialog("#222");
  HWND display = vorel_ui::FindDialog("#169");
  ASSERT_NE(source, nullptr);
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(Text(source, kGhostParentName), "VorelParticle");
  EXPECT_EQ(GetDlgItem(source, 1000), nullptr);  // no radius control
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(display, kPickInstance)));

  vorel::host::ClearPromptLog();
  ASSERT_TRUE(vorel_ui::FocusEdit(GetDlgItem(source, 1003)));
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, "This source stops emitting at this frame.");

  ghost->refresh = false;
  SourcesNeedRefresh = 0;
  engine->lastEvalFrame = 4;
  ASSERT_TRUE(vorel_ui::Click(GetDlgItem(source, kHideSource)));
  EXPECT_EQ(ghost->pblock2->GetInt(kGhostHideSource, 0), 1);
  EXPECT_TRUE(ghost->refresh);
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_EQ(engine->lastEvalFrame, -1);

  // The display rollout's prompts refetch too.
  ghost->refresh = false;
  SourcesNeedRefresh = 0;
  ASSERT_TRUE(vorel_ui::FocusEdit(GetDlgItem(display, 3038)));
  EXPECT_TRUE(ghost->refresh);
  EXPECT_EQ(SourcesNeedRefresh, 1);
  ghost->refresh = false;
  ASSERT_TRUE(vorel_ui::Click(GetDlgItem(display, kFacingSpeed)));
  EXPECT_TRUE(ghost->refresh);
  EXPECT_EQ(ghost->pblock2->GetInt(kGhostFacingOrientation, 0), 1);
  EXPECT_EQ(Calls().calls.back(), "facing 1");
  ip->EndEditParams();
}
