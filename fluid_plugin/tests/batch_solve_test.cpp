// The action table and the long runs: GO! solves the range through the
// host's evaluation, stops on Escape only with the host in front, survives
// the deletion of its system, and the rebuild marks frames meshed.
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
