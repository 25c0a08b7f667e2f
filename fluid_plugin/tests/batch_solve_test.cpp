// The action table and the long runs: GO! solves the range through the
// host's evaluation, stops on Escape only with the host in front, survives
// the deletion of its system, and the rebuild marks frames meshed.
#include <omp.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "fluid_plugin/pour_scene.h"
#include "mesher/mesh_record.h"
#include "host/tests/core/memory_limit.h"
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
  // The reset's first frame was lost (a full disk then): the run writes it.
  std::remove(fc.FramePath(0).c_str());
  // A folder under the frame's name: its file cannot be put in place.
  vorel::host::MakeDirectories(fc.FramePath(6));
  RunGo(s);
  EXPECT_TRUE(vorel::host::FileExists(fc.FramePath(0)));
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

// Emission far beyond what the solver holds, and memory that runs out
// anyway: the run ends with a message instead of ending the host, the
// frames on disk stay the solved ones, and at a sane rate the next run goes
// on from them. In a child with little address space, so that a run
// without these guards fails at once rather than taking the machine's memory.
TEST_F(BatchSolve, EmissionBeyondTheSolverAndOutOfMemoryEndTheRunWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#else
  PourScene scene = BuildPourScene(scratch(), 3, PourSettings());
  ASSERT_NE(scene.system, nullptr);
  TetraProcObj* s = scene.system;
  FluidEngine& e = s->engine;
  auto child = [&]() -> int {
    omp_set_num_threads(1);  // a forked child has no thread pool of its own
    RunGo(s);
    if (e.lastSolved != 2) return 10;
    ip()->SetAnimRange(Interval(0, 5 * 160));
    e.SourceBlock(0)->SetValue(kEmitEmissionRate, 0, 1e8f);
    vorel::test::AddressSpaceLimit limit;
    if (!limit.Cap(rlim_t(64) << 20)) return 11;
    const int kept = e.frameParticleCount[2];
    auto stoppedSaying = [&](const char* what) {
      const auto& boxes = vorel::host::MessageBoxLog();
      const bool said = boxes.size() == 1 && (boxes[0].type & 0xF0u) == MB_ICONERROR &&
                        boxes[0].text.find(what) != std::string::npos &&
                        boxes[0].text.find("Frames solved: 2.") != std::string::npos;
      vorel::host::ClearMessageBoxLog();
      const FrameCache& fc = e.solver->frameCache;
      ParticleFrameHeader h;
      return said && e.lastSolved == 2 && e.solver->count == kept && !s->isSolving && fc.ReadHeader(2, h) &&
             h.count == kept && !vorel::host::FileExists(fc.FramePath(3)) && ip()->GetINodeByName(s->node->GetName());
    };
    // 25 lattice points a layer, a layer every 0.4 solver units at 1e8 units
    // a second: refused whole before anything is allocated.
    e.solver->particleCap = 1000000;
    RunGo(s);
    if (!stoppedSaying(" held, more than the 1000000 particles the solver holds at most")) return 12;
    // Let through, the step's allocations fail.
    e.solver->particleCap = INT64_MAX;
    RunGo(s);
    if (!stoppedSaying("out of memory at frame 3")) return 13;
    limit.Lift();
    e.solver->particleCap = FluidSolver::DefaultParticleCap();
    e.SourceBlock(0)->SetValue(kEmitEmissionRate, 0, 8.0f);
    RunGo(s);
    return e.lastSolved == 5 && vorel::host::MessageBoxLog().empty() ? 0 : 14;
  };
  const pid_t pid = fork();
  if (pid == 0) {
    // What escapes ends the child here, not in the test runner's hands.
    int code = 20;
    try {
      code = child();
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  // Exit codes: 10 the first run, 11 the limit, 12 the refusal, 13 out of
  // memory, 14 the run after, 20 an exception that nobody caught.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

// Memory that runs out inside the solver's parallel pair build on several
// threads, and in the surface build of a frame just solved: the run ends
// with a message naming the frame instead of ending the host, the frames on
// disk stay the solved ones, and the next run goes on; and while a stored
// surface is read for the display. In a child process with little address
// space.
TEST_F(BatchSolve, OutOfMemoryInParallelPassesOrTheSurfaceBuildEndsTheRunWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under an address-space limit";
#else
  if (vorel::test::RanInChildProcess()) return;
  omp_set_num_threads(4);
  PourScene scene = BuildPourScene(scratch(), 3, PourSettings());
  ASSERT_NE(scene.system, nullptr);
  TetraProcObj* s = scene.system;
  FluidEngine& e = s->engine;
  RunGo(s);
  ASSERT_EQ(e.lastSolved, 2);
  ip()->SetAnimRange(Interval(0, 5 * 160));
  vorel::test::AddressSpaceLimit limit;
  const rlim_t kRoom = rlim_t(64) << 20;
  auto stoppedSaying = [&](const std::string& what, int solved) {
    const auto& boxes = vorel::host::MessageBoxLog();
    EXPECT_EQ(boxes.size(), 1u);
    const std::string text = boxes.empty() ? std::string() : boxes[0].text;
    vorel::host::ClearMessageBoxLog();
    ParticleFrameHeader h;
    const FrameCache& fc = e.solver->frameCache;
    EXPECT_NE(text.find(what), std::string::npos) << text;
    EXPECT_NE(text.find("Frames solved: " + std::to_string(solved) + "."), std::string::npos) << text;
    EXPECT_EQ(e.lastSolved, solved);
    EXPECT_TRUE(fc.ReadHeader(solved, h));
    EXPECT_FALSE(vorel::host::FileExists(fc.FramePath(solved + 1)));
    EXPECT_FALSE(s->isSolving);
  };

  // A lump of particles in one cell beside a few hundred cells of one
  // particle each: the lump's pair lists take far more than is left.
  const Vec3f at = e.solver->particles[0].pos;
  const float cell = e.solver->grid->cellSize;
  std::vector<Vec3f> points;
  for (int i = 0; i < 27000; ++i)
    points.push_back(at + Vec3f(float(i % 30), float(i / 30 % 30), float(i / 900)) * (cell * 0.02f));
  for (int i = 0; i < 343; ++i)
    points.push_back(at + Vec3f(float(i % 7), float(i / 7 % 7), float(i / 49) + 2.0f) * (cell * 2.0f));
  e.solver->AddParticles(6.0f, 0, points, int(points.size()), float(e.solverClock), 0, 1);
  ASSERT_TRUE(limit.Cap(kRoom));
  RunGo(s);
  stoppedSaying("out of memory at frame 3", 2);
  EXPECT_EQ(e.solver->count, e.frameParticleCount[2]);

  // A surface far finer than the memory left allows: frame 3 is solved and
  // kept, its surface is not built.
  ASSERT_TRUE(limit.Lift());
  s->pblock2->SetValue(kFluidSurfaceLod, 0, 250.0f);
  s->pblock2->SetValue(kFluidDropSize, 0, 0.1f);
  ASSERT_TRUE(limit.Cap(kRoom));
  RunGo(s);
  stoppedSaying("out of memory meshing frame 3", 3);
  EXPECT_EQ(e.frameMeshed[3], 0);
  EXPECT_FALSE(vorel::host::FileExists(e.solver->frameCache.MeshPath(3)));

  ASSERT_TRUE(limit.Lift());
  s->pblock2->SetValue(kFluidSurfaceLod, 0, kDefaultSurfaceLod);
  s->pblock2->SetValue(kFluidDropSize, 0, kDefaultDropSize);
  RunGo(s);
  EXPECT_EQ(e.lastSolved, 5);
  EXPECT_EQ(e.lastMeshed, 5);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  // A stored surface too large to read in the memory left: the display is
  // cleared and the prompt says so (the host's scene evaluation used to end
  // on it); the file stays. Its 48 MB read cannot come from the heap's free
  // room.
  MeshRecord big;
  big.vertices.assign(1500000, Point3(0.0f, 0.0f, 0.0f));
  big.secondVertices = big.vertices;
  big.faces.push_back({0, 1, 2});
  ASSERT_TRUE(big.WriteSurfaceCache(e.solver->frameCache.MeshPath(5), 5, e.solver->stamp));
  big = MeshRecord();
  ip()->SetTime(4 * 160, false);
  ASSERT_GT(s->mesh.getNumFaces(), 0);
  vorel::host::ClearPromptLog();
  ASSERT_TRUE(limit.Cap(rlim_t(8) << 20));
  ip()->SetTime(5 * 160, false);
  ASSERT_TRUE(limit.Lift());
  EXPECT_EQ(s->mesh.getNumFaces(), 0);
  const std::vector<vorel::host::PromptRecord> prompts = vorel::host::PromptLog();
  ASSERT_FALSE(prompts.empty());
  EXPECT_NE(prompts.back().text.find("The surface of frame 5 is not shown: out of memory"), std::string::npos);
  EXPECT_TRUE(vorel::host::FileExists(e.solver->frameCache.MeshPath(5)));
#endif
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

TEST_F(BatchSolve, StopStepsBackTwoFramesAndTheLogCountsTheFramesOfTheRun) {
  TetraProcObj* s = MakeSystem();
  ip()->SetAnimRange(Interval(0, 20 * 160));
  // STOP pressed while frame 5 is shown: the run leaves at the next pass.
  auto stopAtFive = [](void*, NotifyInfo* info) {
    if (*static_cast<TimeValue*>(info->callParam) == 5 * 160 && ProgressDialog)
      SendMessage(ProgressDialog, WM_COMMAND, 1067, 0);
  };
  RegisterNotification(stopAtFive, nullptr, NOTIFY_TIME_CHANGED);
  RunGo(s);
  UnRegisterNotification(stopAtFive, nullptr, NOTIFY_TIME_CHANGED);
  EXPECT_EQ(ReadSolved(s), 5);
  EXPECT_EQ(ip()->GetTime(), 4 * 160);  // two frames before the pass at 6
  EXPECT_EQ(SolveStopFlag, 0);
  // A run continued from frame 5 to 20 solved 15 frames.
  RunGo(s);
  ASSERT_EQ(ReadSolved(s), 20);
  std::ifstream log(s->engine.LogPath());
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Frames solved:\t 15\n"), std::string::npos) << text;
}

TEST_F(BatchSolve, GoStopsAtTheLastFrameTheTablesHold) {
  TetraProcObj* s = MakeSystem();
  FluidEngine& e = s->engine;
  ip()->SetAnimRange(Interval(0, 10005 * 160));
  e.lastSolved = 9998;
  e.solverClock = e.FrameTime(9998);
  RunGo(s);
  EXPECT_EQ(e.lastSolved, 9999);
  EXPECT_TRUE(Prompted("Vorel-> The cache holds 10000 frames: solving stops at the last one."));
  EXPECT_FALSE(vorel::host::FileExists(e.solver->frameCache.FramePath(10000)));
  EXPECT_FALSE(s->isSolving);
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

TEST_F(BatchSolve, ProgressDialogsShowEveryLineTheirRunWrites) {
  TetraProcObj* s = BuildPourScene(scratch(), 11, PourSettings()).system;
  ASSERT_NE(s, nullptr);
  // Each pass of a run takes 1.5 s on the clock; what the dialog showed last
  // is read as it closes.
  vorel::host::FixClockMs(1000);
  auto slowFrames = [](void*, NotifyInfo*) { vorel::host::AdvanceClockMs(1500); };
  RegisterNotification(slowFrames, nullptr, NOTIFY_TIME_CHANGED);
  static std::map<int, std::string> shown;
  static std::string title;
  static int rebuildBar = -1;
  vorel_ui::SetDialogCloseObserver([](HWND d) {
    char text[256];
    GetWindowText(d, text, sizeof text);
    title = text;
    shown.clear();
    for (int id : {1064, 1065, 1066, 1068, 1069, 1070, 1072})
      if (HWND c = GetDlgItem(d, id)) {
        GetWindowText(c, text, sizeof text);
        shown[id] = text;
      }
    rebuildBar = int(SendMessage(GetDlgItem(d, 1071), PBM_GETPOS, 0, 0));
  });
  s->pblock2->SetValue(kFluidCalculateSurfaceAlso, 0, 0);
  RunGo(s);
  EXPECT_EQ(title, "Vorel dynamic solver");
  EXPECT_GT(std::atoi(shown[1064].c_str()), 0);  // live particles
  EXPECT_EQ(shown[1065], "00:00:16");             // 11 passes of 1.5 s
  EXPECT_EQ(shown[1066], "00:00:01.50");
  EXPECT_EQ(shown[1068].size(), 8u);  // "hh:mm:ss" of the start
  EXPECT_EQ(shown[1069], "00:00:00");  // nothing left after the last frame
  EXPECT_EQ(shown[1070], "9");         // frames done before the last pass

  RunRebuildSurface(s);
  EXPECT_EQ(title, "Vorel surface builder");
  EXPECT_EQ(shown[1069], "10/10");
  EXPECT_EQ(shown[1070], "10");
  EXPECT_EQ(shown[1065], "00:00:16");
  EXPECT_EQ(shown[1072], "00:00:00");
  EXPECT_EQ(shown[1066].substr(0, 9), "00:00:01.");
  EXPECT_EQ(rebuildBar, 10);
  vorel_ui::SetDialogCloseObserver(nullptr);
  UnRegisterNotification(slowFrames, nullptr, NOTIFY_TIME_CHANGED);
  vorel::host::UnfixClock();
}

TEST_F(BatchSolve, HoldTimeSolvesItsOwnFrameOnlyAndGoCarriesOnFromIt) {
  TetraProcObj* s = MakeSystem();
  ip()->SelectNode(s->node);
  vorel::host::PressEscapeAtPoll(40);
  GetVorActionCB()->ExecuteAction(kCmdHoldTime);
  vorel::host::PressEscapeAtPoll(0);
  FluidEngine& e = s->engine;
  EXPECT_EQ(e.lastSolved, 0);
  EXPECT_TRUE(vorel::host::FileExists(e.solver->frameCache.FramePath(0)));
  EXPECT_FALSE(vorel::host::FileExists(e.solver->frameCache.FramePath(1)));
  EXPECT_FALSE(s->isSolving);
  EXPECT_FALSE(e.isHoldingTime);
  GetVorActionCB()->ExecuteAction(kCmdGo);
  EXPECT_EQ(e.lastSolved, 10);
  EXPECT_TRUE(vorel::host::FileExists(e.solver->frameCache.FramePath(1)));
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
