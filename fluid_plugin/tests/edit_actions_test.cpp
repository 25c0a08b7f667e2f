// The short editing commands: the two flushes (file rules, questions,
// Cancel, out-of-range "KeepUntil"), sources, the per-emitter settings with
// their toolbar states, the clip box and surface switches, "New Vorel"'s and
// the load's toolbar states, and the log and help launchers.
#include <cstdio>

#include "fluid_plugin/edit_actions.h"
#include "fluid_plugin/menu_toolbar.h"
#include "host/core/process.h"
#include "host/sdk/primitives.h"
#include "wrapper_baker/pelliqor_interface.h"
#include "plugin_test_util.h"

namespace {

class EditActions : public FluidSystemTest {
 protected:
  void SetUp() override {
    FluidSystemTest::SetUp();
    ResetToolbarState();
    vorel_ui::ResetCUI();
  }
  void TearDown() override {
    if (HWND tb = ToolbarWindow()) DestroyWindow(GetParent(tb));
    ResetToolbarState();
    vorel_ui::ResetCUI();
    FluidSystemTest::TearDown();
  }

  static void Run(int id) { GetVorActionCB()->ExecuteAction(id); }
  static void Touch(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
  }
  static bool Exists(const std::string& path) { return vorel::host::FileExists(path); }
  static int Int(IParamBlock2* pb, int id) { return ReadIntParam(pb, id, ip()->GetTime(), -12345); }

  // A system with frames 0..10 solved (no sources: empty frames) and a
  // surface file for each, selected and current.
  TetraProcObj* SolvedSystem() {
    TetraProcObj* s = MakeSystem();
    ip()->SelectNode(s->node);
    Run(kCmdGo);
    EXPECT_EQ(s->engine.lastSolved, 10);
    for (int i = 0; i <= 10; ++i) Touch(s->engine.solver->frameCache.MeshPath(i));
    vorel::host::ClearMessageBoxLog();
    return s;
  }
  std::string Frame(TetraProcObj* s, int n) { return s->engine.solver->frameCache.FramePath(n); }
  std::string Mesh(TetraProcObj* s, int n) { return s->engine.solver->frameCache.MeshPath(n); }

  static std::string LastBoxText() {
    auto log = vorel::host::MessageBoxLog();
    return log.empty() ? "" : log.back().text;
  }
  static bool Checked(int id) { return ToolbarButtonChecked(id); }
  static int FlyoutOf(int id) {
    ICustToolbar* tb = GetICustToolbar(ToolbarWindow());
    ICustButton* b = tb ? tb->GetICustButton(id) : nullptr;
    int state = b ? b->GetCurFlyOff() : -1;
    if (b) ReleaseICustButton(b);
    if (tb) ReleaseICustToolbar(tb);
    return state;
  }
  static int ClipBoxCount() {
    int n = 0;
    for (INode* node : ip()->AllNodes())
      if (strcasecmp(node->GetName(), "Vorelclip") == 0) ++n;
    return n;
  }
};

TEST(FrameFileNames, OnlyFiveDigitsAndTheExactExtensionCount) {
  int n = -1;
  EXPECT_TRUE(ParseFrameFileName("00007.Vorel", n));
  EXPECT_EQ(n, 7);
  EXPECT_TRUE(ParseFrameFileName("99999.Vorel", n));
  EXPECT_EQ(n, 99999);
  for (const char* bad : {"0001.Vorel", "000001.Vorel", "00001.Vorelx", "00001.vorel", "0000a.Vorel",
                          "-0001.Vorel", " 0001.Vorel", "1e3  .Vorel", ".Vorel", ""})
    EXPECT_FALSE(ParseFrameFileName(bad, n)) << bad;
}

TEST_F(EditActions, FlushKeepsFramesUpToKeepUntilAndRestartsThere) {
  TetraProcObj* s = SolvedSystem();
  const std::string folder = s->engine.solver->frameCache.SystemFolder();
  for (const char* odd : {"0001.Vorel", "000001.Vorel", "00001.Vorelx", "00009.vorel"}) Touch(folder + odd);
  s->pblock2->SetValue(kFluidKeepUntil, 0, 5);
  ip()->SetTime(7 * 160, false);
  SourcesNeedRefresh = 0;
  Run(kCmdFlushAnimation);
  auto log = vorel::host::MessageBoxLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, "Calculation results beyond frame #5 will be flushed!");
  EXPECT_EQ(log[0].caption, "Vorel");
  EXPECT_EQ(log[0].type & 0xF, UINT(MB_OKCANCEL));
  for (int i = 0; i <= 5; ++i) {
    EXPECT_TRUE(Exists(Frame(s, i))) << i;
    EXPECT_TRUE(Exists(Mesh(s, i))) << i;
  }
  for (int i = 6; i <= 10; ++i) {
    EXPECT_FALSE(Exists(Frame(s, i))) << i;
    EXPECT_FALSE(Exists(Mesh(s, i))) << i;
  }
  for (const char* odd : {"0001.Vorel", "000001.Vorel", "00001.Vorelx", "00009.vorel"})
    EXPECT_TRUE(Exists(folder + odd)) << odd;
  EXPECT_EQ(s->engine.lastSolved, 5);
  EXPECT_EQ(Int(s->pblock2, kFluidKeepUntil), -1);
  EXPECT_EQ(ip()->GetTime(), 0);
  EXPECT_EQ(SourcesNeedRefresh, 1);
}

TEST_F(EditActions, FlushToAFrameThatNoLongerReadsKeepsTheLastThatDoes) {
  TetraProcObj* s = SolvedSystem();
  std::remove(Frame(s, 5).c_str());
  s->pblock2->SetValue(kFluidKeepUntil, 0, 5);
  Run(kCmdFlushAnimation);
  EXPECT_EQ(s->engine.lastSolved, 4);  // the tables never claim a frame that is gone
  EXPECT_FALSE(Exists(Frame(s, 6)));
  EXPECT_TRUE(Exists(Frame(s, 4)));
}

TEST_F(EditActions, FlushWithoutKeepUntilDeletesEveryFrameAndResets) {
  TetraProcObj* s = SolvedSystem();
  Run(kCmdFlushAnimation);
  EXPECT_EQ(LastBoxText(), "All cached data will be deleted!");
  for (int i = 1; i <= 10; ++i) EXPECT_FALSE(Exists(Frame(s, i))) << i;
  for (int i = 0; i <= 10; ++i) EXPECT_FALSE(Exists(Mesh(s, i))) << i;
  EXPECT_LE(s->engine.lastSolved, 0);  // the time change may take frame 0 again
  EXPECT_EQ(s->engine.lastMeshed, -1);
}

TEST_F(EditActions, FlushCancelDeletesNothingButStillGoesToTimeZero) {
  TetraProcObj* s = SolvedSystem();
  s->pblock2->SetValue(kFluidKeepUntil, 0, 3);
  ip()->SetTime(8 * 160, false);
  vorel::host::QueueMessageBoxAnswer(IDCANCEL);
  Run(kCmdFlushAnimation);
  EXPECT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  for (int i = 0; i <= 10; ++i) EXPECT_TRUE(Exists(Frame(s, i)) && Exists(Mesh(s, i))) << i;
  EXPECT_EQ(s->engine.lastSolved, 10);
  EXPECT_EQ(Int(s->pblock2, kFluidKeepUntil), 3);
  EXPECT_EQ(ip()->GetTime(), 0);
}

TEST_F(EditActions, KeepUntilOutsideTheSolvedFramesIsSafe) {
  TetraProcObj* s = SolvedSystem();
  // At or beyond the last solved frame (the tables end at 9999): nothing to
  // flush, no question, no restart from a frame that does not exist.
  for (int k : {10, 9999, 50000}) {
    s->pblock2->SetValue(kFluidKeepUntil, 0, k);
    Run(kCmdFlushAnimation);
    EXPECT_TRUE(vorel::host::MessageBoxLog().empty()) << k;
    EXPECT_EQ(s->engine.lastSolved, 10) << k;
    for (int i = 0; i <= 10; ++i) EXPECT_TRUE(Exists(Frame(s, i))) << k << " " << i;
  }
  // Below -1 means what -1 means: everything goes and the engine resets.
  s->pblock2->SetValue(kFluidKeepUntil, 0, -7);
  Run(kCmdFlushAnimation);
  EXPECT_EQ(LastBoxText(), "All cached data will be deleted!");
  EXPECT_LE(s->engine.lastSolved, 0);  // the time change may take frame 0 again
  for (int i = 1; i <= 10; ++i) EXPECT_FALSE(Exists(Frame(s, i))) << i;
}

TEST_F(EditActions, FlushesRefuseWhileTimeIsHeldOrWithoutASystem) {
  TetraProcObj* s = SolvedSystem();
  s->engine.isHoldingTime = true;
  Run(kCmdFlushAnimation);
  Run(kCmdFlushSurface);
  s->engine.isHoldingTime = false;
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
  EXPECT_TRUE(Exists(Frame(s, 10)) && Exists(Mesh(s, 10)));
  FlushAnimation(nullptr);
  FlushSurfaceCache(nullptr);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
}

TEST_F(EditActions, SurfaceFlushOverTheWholeRangeForgetsMeshesOnlyOnOk) {
  TetraProcObj* s = SolvedSystem();
  FluidEngine& e = s->engine;
  for (int i = 0; i <= 10; ++i) e.frameMeshed[size_t(i)] = 1;
  e.lastMeshed = 10;
  vorel::host::QueueMessageBoxAnswer(IDCANCEL);
  Run(kCmdFlushSurface);
  EXPECT_EQ(LastBoxText(), "All cached surface data will be deleted!");
  EXPECT_EQ(e.lastMeshed, 10);  // Cancel changes nothing
  for (int i = 0; i <= 10; ++i) EXPECT_TRUE(e.frameMeshed[size_t(i)] && Exists(Mesh(s, i))) << i;
  Run(kCmdFlushSurface);
  EXPECT_EQ(e.lastMeshed, -1);
  for (int i = 0; i <= 10; ++i) EXPECT_FALSE(e.frameMeshed[size_t(i)] || Exists(Mesh(s, i))) << i;
  for (int i = 0; i <= 10; ++i) EXPECT_TRUE(Exists(Frame(s, i))) << i;
}

TEST_F(EditActions, SurfaceFlushOverALimitedRangeKeepsLastMeshed) {
  TetraProcObj* s = SolvedSystem();
  FluidEngine& e = s->engine;
  for (int i = 0; i <= 10; ++i) e.frameMeshed[size_t(i)] = 1;
  e.lastMeshed = 10;
  s->pblock2->SetValue(kFluidEntireAnimationRange, 0, 0);
  s->pblock2->SetValue(kFluidStartFrameMesher, 0, 3);
  s->pblock2->SetValue(kFluidStopFrameMesher, 0, 6);
  Run(kCmdFlushSurface);
  EXPECT_EQ(LastBoxText(), "Surface data from frame 3 to frame 6 will be deleted!");
  EXPECT_EQ(e.lastMeshed, 10);
  for (int i = 0; i <= 10; ++i) {
    const bool kept = i < 3 || i > 6;
    EXPECT_EQ(Exists(Mesh(s, i)), kept) << i;
    EXPECT_EQ(e.frameMeshed[size_t(i)] != 0, kept) << i;
  }
}

TEST_F(EditActions, SourceTogglesChangeOnlyTheSelectedSlots) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  AddSource(s);
  AddSource(s);
  FluidEngine& e = s->engine;
  ASSERT_EQ(e.sourceCount, 2);
  IParamBlock2* a = e.sourceObjects[0]->SourceParamBlock();
  IParamBlock2* b = e.sourceObjects[1]->SourceParamBlock();
  const int disabledA = Int(a, kEmitDisableSource), disabledB = Int(b, kEmitDisableSource);
  const int randomB = Int(b, kEmitRandomEmission);
  ip()->ClearNodeSelection();
  ip()->SelectNode(e.sourceNodes[1]);
  Run(kCmdStartStopEmitting);
  EXPECT_EQ(Int(a, kEmitDisableSource), disabledA);
  EXPECT_EQ(Int(b, kEmitDisableSource), !disabledB);
  Run(kCmdRandomEmission);
  Run(kCmdRandomEmission);
  Run(kCmdRandomEmission);
  EXPECT_EQ(Int(b, kEmitRandomEmission), !randomB);
  EXPECT_EQ(Int(a, kEmitDisableSource), disabledA);
}

TEST_F(EditActions, EmitterSettingsReachOnlyRealSelectedEmitters) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  AddSource(s);
  AddSource(s);
  FluidEngine& e = s->engine;
  INode* first = e.sourceNodes[0];
  INode* second = e.sourceNodes[1];
  ASSERT_EQ(std::string(first->GetName()).compare(0, 13, "VorelParticle"), 0);
  // A user object carrying the emitter's name, and an emitter under another name.
  INode* impostor = ip()->CreateObjectNode(new GenBoxObject(), "VorelParticleBox");
  second->SetName("MyEmitter");
  ip()->ClearNodeSelection();
  ip()->SelectNode(impostor, 0);
  ip()->SelectNode(first, 0);
  ip()->SelectNode(second, 0);
  Run(kCmdLookTicks);
  Run(kCmdRenderTetrahedron);
  Run(kCmdFacingSurface);
  IParamBlock2* a = e.sourceObjects[0]->SourceParamBlock();
  IParamBlock2* b = e.sourceObjects[1]->SourceParamBlock();
  EXPECT_EQ(Int(a, kEmitDisplayType), 2);
  EXPECT_EQ(Int(a, kEmitRenderType), 0);
  EXPECT_EQ(Int(a, kEmitFacingOrientation), 2);
  EXPECT_NE(Int(b, kEmitDisplayType), 2);
  EXPECT_NE(Int(b, kEmitFacingOrientation), 2);
  Run(kCmdLookInstances);
  EXPECT_EQ(Int(a, kEmitDisplayType), 3);
  // Under a modifier stack the emitter is still found through its base object.
  first->SetObjectRef(CreateDerivedObject(first->GetObjectRef()));
  Run(kCmdLookDots);
  EXPECT_EQ(Int(a, kEmitDisplayType), 1);
  // Without a current system nothing changes.
  SetCurrentSystem(nullptr);
  ip()->ClearNodeSelection();
  ip()->SelectNode(first, 0);
  Run(kCmdLookDrops);  // the selection names the system again
  EXPECT_EQ(Int(a, kEmitDisplayType), 0);
  EXPECT_TRUE(RunEditAction(kCmdLookDots, nullptr));  // its command, but no system: nothing
  EXPECT_EQ(Int(a, kEmitDisplayType), 0);
  EXPECT_FALSE(RunEditAction(kCmdObjectManagerNote, s));
  EXPECT_FALSE(RunEditAction(kCmdGo, s));
}

TEST_F(EditActions, RenderTypesShowTheFacingButtonInTheEmittersOrientation) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  AddSource(s);
  CreateToolbar(0);
  ASSERT_NE(ToolbarWindow(), nullptr);
  IParamBlock2* a = s->engine.sourceObjects[0]->SourceParamBlock();
  a->SetValue(kEmitFacingOrientation, 0, 1);
  ip()->ClearNodeSelection();
  ip()->SelectNode(s->engine.sourceNodes[0]);
  Run(kCmdRenderFacing);
  EXPECT_EQ(Int(a, kEmitRenderType), 1);
  EXPECT_TRUE(FacingButtonPresent());
  EXPECT_EQ(FlyoutOf(kTbFacing), 1);
  a->SetValue(kEmitFacingOrientation, 0, 2);
  Run(kCmdRenderInstanced);
  EXPECT_EQ(Int(a, kEmitRenderType), 3);
  EXPECT_EQ(FlyoutOf(kTbFacing), 2);
  Run(kCmdRenderNothing);
  EXPECT_EQ(Int(a, kEmitRenderType), 2);
  ICustToolbar* tb = GetICustToolbar(ToolbarWindow());
  ASSERT_NE(tb, nullptr);
  EXPECT_EQ(tb->GetNumItems(), 29);  // one facing button, one separator
  ReleaseICustToolbar(tb);
  // The toolbar's flyout runs the same command.
  TBMsgHandler h;
  SetRenderTypeButtonState(1);
  h.ProcessMessage(WM_COMMAND, MAKEWPARAM(kTbRender, 0), 0);
  EXPECT_EQ(Int(a, kEmitRenderType), 1);
}

TEST_F(EditActions, ClipBoxIsCreatedOnceThenShownAndHidden) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  CreateToolbar(0);
  ASSERT_EQ(ClipBoxCount(), 0);
  SourcesNeedRefresh = 0;
  Run(kCmdClipBox);
  ASSERT_EQ(ClipBoxCount(), 1);
  INode* box = ip()->GetINodeByName("VorelClip");
  EXPECT_FALSE(box->IsHidden());
  EXPECT_TRUE(Checked(kTbClipBox));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  Run(kCmdClipBox);
  EXPECT_EQ(ClipBoxCount(), 1);
  EXPECT_TRUE(box->IsHidden());
  EXPECT_FALSE(Checked(kTbClipBox));
  EXPECT_EQ(Int(s->pblock2, kFluidShowClipBox), 0);
  TBMsgHandler().ProcessMessage(WM_COMMAND, MAKEWPARAM(kTbClipBox, 0), 0);
  EXPECT_EQ(ClipBoxCount(), 1);
  EXPECT_FALSE(box->IsHidden());
  EXPECT_TRUE(Checked(kTbClipBox));
  EXPECT_EQ(Int(s->pblock2, kFluidShowClipBox), 1);
}

TEST_F(EditActions, SizeOnSolitudeTogglesOnceForEveryEmitter) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  AddSource(s);
  AddSource(s);
  CreateToolbar(0);
  FluidEngine& e = s->engine;
  const int before = e.sizeOnSolitude;
  ip()->ClearNodeSelection();
  ip()->SelectNode(e.sourceNodes[0], 0);
  ip()->SelectNode(e.sourceNodes[1], 0);
  Run(kCmdSizeOnSolitude);
  EXPECT_EQ(e.sizeOnSolitude, !before);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(Int(e.sourceObjects[size_t(i)]->SourceParamBlock(), kEmitSizeOnSolitude), !before) << i;
  EXPECT_EQ(Checked(kTbSolitude), !before);
  Run(kCmdSizeOnSolitude);
  EXPECT_EQ(e.sizeOnSolitude, before);
  EXPECT_EQ(Checked(kTbSolitude), before != 0);
}

TEST_F(EditActions, EnableSurfaceFlipsShowMeshAndTheButtonTogether) {
  TetraProcObj* s = SolvedSystem();
  CreateToolbar(0);
  const int before = Int(s->pblock2, kFluidShowMesh);
  Run(kCmdEnableSurface);
  EXPECT_EQ(Int(s->pblock2, kFluidShowMesh), !before);
  EXPECT_EQ(Checked(kTbSurface), !before);
  Run(kCmdEnableSurface);
  EXPECT_EQ(Int(s->pblock2, kFluidShowMesh), before);
  EXPECT_EQ(Checked(kTbSurface), before != 0);
}

TEST_F(EditActions, EnableSurfaceBuildsNoFrameOutsideTheSolvedTables) {
  TetraProcObj* s = SolvedSystem();
  s->pblock2->SetValue(kFluidShowMesh, 0, 0);
  ip()->SetAnimRange(Interval(0, 20000 * 160));
  // Beyond the solved frames and beyond the tables' 10000 frames.
  for (int frame : {15, 12000}) {
    ip()->SetTime(frame * 160, false);
    std::remove(Mesh(s, frame < 10000 ? frame : 0).c_str());
    Run(kCmdEnableSurface);
    EXPECT_EQ(Int(s->pblock2, kFluidShowMesh), 1);
    if (frame < 10000) {
      EXPECT_FALSE(s->engine.frameMeshed[size_t(frame)]);
    }
    EXPECT_FALSE(Exists(Mesh(s, frame))) << frame;
    Run(kCmdEnableSurface);
  }
}

TEST_F(EditActions, AddSourceCreatesAnEmitterOfTheCurrentSystem) {
  TetraProcObj* s = MakeSystem();
  ip()->SelectNode(s->node);
  Run(kCmdAddSource);
  ASSERT_EQ(s->engine.sourceCount, 1);
  EXPECT_NE(s->engine.sourceNodes[0], nullptr);
  SetCurrentSystem(nullptr);
  ip()->ClearNodeSelection();
  Run(kCmdAddSource);  // no system: nothing
  EXPECT_EQ(s->engine.sourceCount, 1);
}

TEST_F(EditActions, NewVorelSetsTheToolbarFromTheIniDefaults) {
  TetraProcObj* s = RunNewVorel();
  ASSERT_NE(s, nullptr);
  ASSERT_NE(ToolbarWindow(), nullptr);  // the ini shows the toolbar by default
  EXPECT_TRUE(Checked(kTbClipBox));     // the new clip box is shown
  EXPECT_EQ(Int(s->pblock2, kFluidShowClipBox), 1);  // and its parameter says so
  EXPECT_EQ(Checked(kTbSurface), Int(s->pblock2, kFluidShowMesh) != 0);
  EXPECT_EQ(FlyoutOf(kTbRender), s->engine.defaults.renderType);
  EXPECT_EQ(FlyoutOf(kTbLook), s->engine.defaults.particleLook);
  EXPECT_FALSE(FacingButtonPresent());

  PluginDefaults& d = s->engine.defaults;
  d.renderType = 1;
  d.particleLook = 3;
  d.sizeDependsOnSolitude = 1;
  SetToolbarForNewSystem(s);
  EXPECT_TRUE(FacingButtonPresent());
  EXPECT_EQ(FlyoutOf(kTbFacing), 0);
  EXPECT_EQ(FlyoutOf(kTbRender), 1);
  EXPECT_EQ(FlyoutOf(kTbLook), 3);
  EXPECT_TRUE(Checked(kTbSolitude));
  d.renderType = 2;
  SetToolbarForNewSystem(s);
  EXPECT_FALSE(FacingButtonPresent());
}

TEST_F(EditActions, NewVorelWithoutTheIniToolbarBuildsNone) {
  TetraProcObj* s = MakeSystem();
  s->engine.defaults.showToolbar = 0;
  SetToolbarForNewSystem(s);
  EXPECT_EQ(ToolbarWindow(), nullptr);
}

TEST_F(EditActions, ALoadedSceneSetsTheToolbarFromItsFlagAndParameters) {
  TetraProcObj* s = MakeSystem();
  s->toolbarShown = true;
  s->pblock2->SetValue(kFluidShowClipBox, 0, 1);
  s->pblock2->SetValue(kFluidShowMesh, 0, 0);
  SetToolbarAfterLoad(s);
  ASSERT_NE(ToolbarWindow(), nullptr);
  EXPECT_TRUE(Checked(kTbClipBox));
  EXPECT_FALSE(Checked(kTbSurface));
  s->toolbarShown = false;
  SetToolbarAfterLoad(s);
  ICUIFrame* f = GetCUIFrameMgr()->GetICUIFrame(kToolbarFrameName);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(IsWindowVisible(f->GetHwnd()));
  ReleaseICUIFrame(f);
}

TEST_F(EditActions, LogAndHelpNeedASystem) {
  vorel::host::ClearStartedPrograms();
  SetCurrentSystem(nullptr);
  Run(kCmdOpenLog);
  Run(kCmdHelp);
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
  TetraProcObj* s = MakeSystem();
  ip()->SelectNode(s->node);
  Run(kCmdOpenLog);
  Run(kCmdHelp);
  auto started = vorel::host::StartedPrograms();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].args.at(0), "notepad");
  EXPECT_NE(started[0].commandLine.find("Vorel.log"), std::string::npos);
  EXPECT_EQ(started[1].args.at(0), "hh");
  vorel::host::ClearStartedPrograms();
}

// A stand-in for the separately built particle wrapper: it records the
// nodes handed to it, and may answer no interface at all.
std::vector<INode*> WrapperAdds;
bool WrapperAnswers = true;

class FakeWrapper : public GenBoxObject, public IBlobNode {
 public:
  Class_ID ClassID() override { return PELLIQOR_CLASS_ID(); }
  BaseInterface* GetInterface(Interface_ID id) override {
    if (WrapperAnswers && id == BLOBNODE_INTERFACE_ID()) return static_cast<IBlobNode*>(this);
    return GenBoxObject::GetInterface(id);
  }
  FPInterfaceDesc* GetDesc() override { return nullptr; }
  void addNode(INode* node) override { WrapperAdds.push_back(node); }
  void removeNode(INode*) override {}
  void addPFnode(INode*) override {}
  void removePFnode(INode*) override {}
  void pick() override {}
  void add() override {}
  void addPF() override {}
};

class FakeWrapperDesc : public ClassDesc {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool) override { return new FakeWrapper(); }
  const char* ClassName() override { return "FakeWrapper"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return PELLIQOR_CLASS_ID(); }
  const char* Category() override { return ""; }
};

TEST_F(EditActions, WrapperGetsTheSelectionInOrderThroughItsInterface) {
  FakeWrapperDesc desc;
  ClassDirectory::Get().AddClass(&desc);
  INode* a = ip()->CreateObjectNode(new GenBoxObject(), "sprayA");
  INode* b = ip()->CreateObjectNode(new GenBoxObject(), "sprayB");
  auto wrappers = [] {
    int n = 0;
    for (INode* node : ip()->AllNodes())
      if (node->GetObjectRef() && node->GetObjectRef()->ClassID() == PELLIQOR_CLASS_ID()) ++n;
    return n;
  };
  SetCurrentSystem(nullptr);  // the command needs no fluid system
  WrapperAdds.clear();
  WrapperAnswers = true;
  ip()->SelectNode(b);
  ip()->SelectNode(a, 0);
  Run(kCmdNewPelliqor);
  EXPECT_EQ(wrappers(), 1);
  EXPECT_EQ(WrapperAdds, (std::vector<INode*>{b, a}));
  // An empty selection still makes an (empty) wrapper.
  ip()->ClearNodeSelection();
  Run(kCmdNewPelliqor);
  EXPECT_EQ(wrappers(), 2);
  EXPECT_EQ(WrapperAdds.size(), 2u);
  // An object that does not answer the interface is left alone.
  WrapperAnswers = false;
  ip()->SelectNode(a);
  Run(kCmdNewPelliqor);
  EXPECT_EQ(wrappers(), 3);
  EXPECT_EQ(WrapperAdds.size(), 2u);
  ip()->ResetScene();
  ClassDirectory::Get().RemoveClass(&desc);
  WrapperAnswers = true;
}

}  // namespace
