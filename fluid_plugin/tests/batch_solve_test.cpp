// The action table and the long runs: GO! solves the range through the
// host's evaluation, stops on Escape only with the host in front, survives
// the deletion of its system, and the rebuild marks frames meshed.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "plugin_test_util.h"

namespace {
using BatchSolve = FluidSystemTest;

int ReadSolved(TetraProcObj* s) { return s->engine.lastSolved; }
}  // namespace

TEST(ActionTable, HoldsThirtyCommandsWithTheirTextsAndNegativeIds) {
  ActionTable* t = BuildActionTable();
  ASSERT_EQ(t->Count(), 30);
  EXPECT_EQ(t->GetId(), 0x2B8C643Eu);
  EXPECT_EQ(t->GetContextId(), 0x2B8C643Eu);
  EXPECT_EQ(t->GetName(), "Vorel_af");
  EXPECT_EQ((*t)[0]->GetId(), 40006);
  EXPECT_EQ((*t)[0]->GetMenuText(), "GO!");
  EXPECT_EQ(t->GetAction(40005)->GetMenuText(), "New Vorel");
  EXPECT_EQ(t->GetAction(-25513)->GetMenuText(), "Re-paint wetmaps sequence.");
  EXPECT_EQ(t->GetAction(40032)->GetCategoryText(), "Vorel_af");
  EXPECT_EQ(t->GetAction(40023), nullptr);  // only its 16-bit reading stands in the table
  std::set<int> ids;
  for (int i = 0; i < t->Count(); ++i) {
    ids.insert((*t)[i]->GetId());
    EXPECT_FALSE((*t)[i]->GetMenuText().empty()) << (*t)[i]->GetId();
    EXPECT_EQ((*t)[i]->GetDescription(), (*t)[i]->GetMenuText());
  }
  EXPECT_EQ(ids.size(), 30u);
  delete t;
}

TEST_F(BatchSolve, GoSolvesTheWholeRangeFrameByFrame) {
  TetraProcObj* s = MakeSystem();
  ip()->SelectNode(s->node);
  EXPECT_TRUE(GetVorActionCB()->ExecuteAction(kCmdGo));
  EXPECT_EQ(ReadSolved(s), 10);
  EXPECT_FALSE(s->isSolving);
  EXPECT_EQ(ProgressDialog, nullptr);
  EXPECT_EQ(SolveStopFlag, 0);
  for (int i = 0; i <= 10; ++i) EXPECT_TRUE(vorel::host::FileExists(s->engine.solver->frameCache.FramePath(i))) << i;
  EXPECT_TRUE(vorel::host::FileExists(s->engine.LogPath()));
  // Everything solved: only the prompt, no dialog.
  vorel::host::ClearPromptLog();
  GetVorActionCB()->ExecuteAction(kCmdGo);
  EXPECT_TRUE(Prompted("Vorel-> All animation playback range is already solved!"));
  EXPECT_EQ(ReadSolved(s), 10);
}

TEST_F(BatchSolve, AFrameOrSurfaceThatCannotBeWrittenStopsTheRunAndSaysWhichAndWhy) {
  TetraProcObj* s = MakeSystem();
  const FrameCache& fc = s->engine.solver->frameCache;
  s->pblock2->SetValue(kFluidCalculateSurfaceAlso, 0, 1);
  // A folder under the frame's name: its file cannot be put in place.
  vorel::host::MakeDirectories(fc.FramePath(6));
  RunGo(s);
  EXPECT_EQ(s->engine.lastSolved, 5);
  EXPECT_EQ(s->engine.lastMeshed, 5);
  EXPECT_FALSE(s->isSolving);
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  const vorel::host::MessageBoxRecord box = vorel::host::MessageBoxLog()[0];
  EXPECT_EQ(box.type & 0xF0u, MB_ICONERROR);
  EXPECT_NE(box.text.find(fc.FramePath(6) + ": Is a directory"), std::string::npos) << box.text;
  EXPECT_NE(box.text.find("Frames solved: 5"), std::string::npos) << box.text;
  std::ifstream log(s->engine.LogPath());
  const std::string logText((std::istreambuf_iterator<char>(log)), {});
  EXPECT_NE(logText.find("Stopped:\t " + fc.FramePath(6)), std::string::npos) << logText;

  // With room again the next run solves the lost frame; a surface that
  // cannot be written stops it in turn, its frame solved but not meshed.
  std::filesystem::remove(fc.FramePath(6));
  vorel::host::MakeDirectories(fc.MeshPath(8));
  vorel::host::ClearMessageBoxLog();
  RunGo(s);
  EXPECT_EQ(s->engine.lastSolved, 8);
  EXPECT_EQ(s->engine.lastMeshed, 7);
  EXPECT_EQ(s->engine.frameMeshed[8], 0);
  ParticleFrameHeader h;
  EXPECT_TRUE(fc.ReadHeader(6, h));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_NE(vorel::host::MessageBoxLog()[0].text.find(fc.MeshPath(8)), std::string::npos);
}

TEST_F(BatchSolve, EscapeStopsOnlyWithTheHostOrTheDialogInFront) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  HWND other = HWND(0x7777);
  vorel::host::SetForeground(other);
  vorel::host::PressEscapeAtPoll(1);
  RunGo(s);
  EXPECT_EQ(ReadSolved(s), 10);  // another application in front: Escape is not ours
  vorel::host::SetForeground(vorel::host::MainWindow());
  vorel::host::PressEscapeAtPoll(0);

  TetraProcObj* t = MakeSystem();
  ip()->SetAnimRange(Interval(0, 40 * 160));
  vorel::host::PressEscapeAtPoll(1);
  RunGo(t);
  vorel::host::PressEscapeAtPoll(0);
  EXPECT_GT(ReadSolved(t), -1);
  EXPECT_LT(ReadSolved(t), 40);
  EXPECT_FALSE(t->isSolving);
  EXPECT_EQ(SolveStopFlag, 0);
}

TEST_F(BatchSolve, HostClosingEndsTheRun) {
  TetraProcObj* s = MakeSystem();
  ip()->SetAnimRange(Interval(0, 40 * 160));
  vorel::host::CloseHostAtPoll(3);
  RunGo(s);
  EXPECT_LT(ReadSolved(s), 40);
  EXPECT_FALSE(s->isSolving);
}

TEST_F(BatchSolve, RunEndsWhenItsSystemIsDeletedMidway) {
  TetraProcObj* s = MakeSystem("Vorel_doomed");
  ip()->SetAnimRange(Interval(0, 30 * 160));
  static INode* doomed;
  doomed = s->node;
  auto killer = [](void*, NotifyInfo* info) {
    if (doomed && *static_cast<TimeValue*>(info->callParam) == 3 * 160) {
      INode* n = doomed;
      doomed = nullptr;
      GetCOREInterface()->DeleteNode(n);
    }
  };
  RegisterNotification(killer, nullptr, NOTIFY_TIME_CHANGED);
  RunGo(s);  // must not touch the deleted object again
  UnRegisterNotification(killer, nullptr, NOTIFY_TIME_CHANGED);
  EXPECT_EQ(ip()->GetINodeByName("Vorel_doomed"), nullptr);
  EXPECT_EQ(ProgressDialog, nullptr);
}

TEST_F(BatchSolve, RunsRefuseASecondStartAndANothingToDoRange) {
  TetraProcObj* s = MakeSystem();
  s->isSolving = true;
  RunGo(s);
  EXPECT_EQ(ReadSolved(s), -1);
  s->isSolving = false;
  RunRebuildSurface(s);
  EXPECT_TRUE(Prompted("Vorel-> All solved frames are already meshed!"));
  RunRepaintWetmaps(s);
  EXPECT_TRUE(Prompted("Vorel-> Nothing to compute!"));
}

TEST_F(BatchSolve, RebuildMarksFrameZeroWithoutBuildingIt) {
  TetraProcObj* s = MakeSystem();
  s->pblock2->SetValue(kFluidCalculateSurfaceAlso, 0, 0);
  RunGo(s);
  ASSERT_EQ(ReadSolved(s), 10);
  EXPECT_EQ(s->engine.frameMeshed[0], 0);
  RunRebuildSurface(s);
  EXPECT_EQ(s->engine.frameMeshed[0], 1);
  EXPECT_FALSE(vorel::host::FileExists(s->engine.solver->frameCache.MeshPath(0)));
  EXPECT_FALSE(s->isSolving);
}

TEST_F(BatchSolve, CurrentSystemComesFromARealFluidSystemOnly) {
  TetraProcObj* s = MakeSystem();
  SetCurrentSystem(s);
  Object* box = static_cast<Object*>(ip()->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(16, 0)));
  ASSERT_NE(box, nullptr);
  INode* impostor = ip()->CreateObjectNode(box, "Vorel_box");
  ip()->SelectNode(impostor);
  EXPECT_EQ(ResolveCurrentSystem(), s);  // the name alone is no fluid system
  TetraProcObj* t = MakeSystem();
  ip()->SelectNode(t->node, 0);
  EXPECT_EQ(ResolveCurrentSystem(), t);
  ip()->ClearNodeSelection();
  EXPECT_EQ(ResolveCurrentSystem(), t);  // no match keeps the last one
}

TEST(FrameTimeText, ShowsHundredths) {
  EXPECT_EQ(FrameTimeText(3723250), "01:02:03.25");
  EXPECT_EQ(FrameTimeText(59500), "00:00:59.50");
  EXPECT_EQ(FrameTimeText(0), "00:00:00.00");
}
