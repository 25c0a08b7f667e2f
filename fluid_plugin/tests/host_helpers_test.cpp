// The progress dialog procedure, the foreground test and the launchers.
#include <gtest/gtest.h>

#include <string>

#include "fluid_core/engine.h"
#include "fluid_plugin/host_helpers.h"
#include "fluid_plugin/progress_dialog.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"
#include "host/core/process.h"
#include "scene_objects/vorel_strings.h"

namespace {

class ProgressDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterProgressDialogs(VorelModuleHandle());
    ResetProgressDialogPosition();
    SolveStopFlag = 0;
  }
  void TearDown() override {
    ResetProgressDialogPosition();
    SolveStopFlag = 0;
    SetForegroundWindow(vorel::host::MainWindow());
  }
  HWND Open(int id, LPARAM param = 0) {
    return CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(id), nullptr, ProgressDlgProc, param);
  }
};

TEST_F(ProgressDialog, StartsAtZeroOfAHundredAndKeepsItsParameter) {
  int owner = 0;
  HWND dlg = Open(kSolverProgressDialog, reinterpret_cast<LPARAM>(&owner));
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(GetWindowLongPtr(dlg, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&owner));
  HWND bar = GetDlgItem(dlg, kProgressBarId);
  EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(OpenProgressDialog(), dlg);
  DestroyWindow(dlg);
  EXPECT_EQ(OpenProgressDialog(), nullptr);
}

TEST_F(ProgressDialog, StopAndOkAskTheRunToEndOtherCommandsDoNot) {
  for (int id : {kSolverProgressDialog, kSurfaceProgressDialog, kMissingCacheDialog}) {
    SolveStopFlag = 0;
    HWND dlg = Open(id);
    ASSERT_NE(dlg, nullptr) << id;
    EXPECT_EQ(ProgressDlgProc(dlg, WM_COMMAND, MAKEWPARAM(1, 0), 0), TRUE);
    EXPECT_EQ(SolveStopFlag, 0) << id;
    EXPECT_EQ(ProgressDlgProc(dlg, WM_MOUSEMOVE, 0, 0), FALSE);
    SendMessage(dlg, WM_COMMAND, MAKEWPARAM(kProgressStopId, BN_CLICKED), 0);
    EXPECT_EQ(SolveStopFlag, 1) << id;
    DestroyWindow(dlg);
  }
}

TEST_F(ProgressDialog, ReopensWhereTheLastOneWasClosed) {
  HWND first = Open(kSolverProgressDialog);
  RECT placed;
  ASSERT_TRUE(GetWindowRect(first, &placed));
  RECT r0 = SavedProgressDialogRect();
  EXPECT_EQ(r0.left | r0.top | r0.right | r0.bottom, 0);
  const int w = placed.right - placed.left, h = placed.bottom - placed.top;
  MoveWindow(first, 300, 200, w, h, TRUE);
  DestroyWindow(first);
  RECT saved = SavedProgressDialogRect();
  EXPECT_EQ(saved.left, 300);
  EXPECT_EQ(saved.top, 200);

  HWND second = Open(kSurfaceProgressDialog);
  RECT r;
  ASSERT_TRUE(GetWindowRect(second, &r));
  EXPECT_EQ(r.left, 300);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right - r.left, w);  // size unchanged
  EXPECT_TRUE(IsWindowVisible(second));
  DestroyWindow(second);
}

TEST_F(ProgressDialog, EscapeCountsOnlyOverTheHostOrTheOpenDialog) {
  SetForegroundWindow(vorel::host::MainWindow());
  EXPECT_TRUE(HostWindowIsForeground());
  HWND dlg = Open(kSolverProgressDialog);
  SetForegroundWindow(dlg);
  EXPECT_TRUE(HostWindowIsForeground());
  HWND other = CreateWindowEx(0, "Static", "elsewhere", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  EXPECT_FALSE(HostWindowIsForeground());
  DestroyWindow(dlg);
  DestroyWindow(other);
}

TEST(Launchers, QuotePathsSoBlanksStayOneArgument) {
  vorel::host::ClearStartedPrograms();
  OpenSolveLog("/tmp/my scenes", "Pour one");
  auto started = vorel::host::StartedPrograms();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].commandLine, "notepad \"/tmp/my scenes/Vorel/Pour one/Vorel.log\"");
  EXPECT_EQ(started[0].args,
            (std::vector<std::string>{"notepad", "/tmp/my scenes/Vorel/Pour one/Vorel.log"}));
  EXPECT_EQ(started[0].outcome, vorel::host::StartedProgram::kRecorded);

  vorel::host::ClearStartedPrograms();
  OpenHelp();
  started = vorel::host::StartedPrograms();
  ASSERT_EQ(started.size(), 1u);
  const std::string chm = GetCOREInterface()->GetDir(APP_HELP_DIR) + "/Vorformax.chm";
  EXPECT_EQ(started[0].args, (std::vector<std::string>{"hh", chm}));
  vorel::host::ClearStartedPrograms();
}

TEST(SceneInfo, PathAndTimeComeFromTheHost) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  EXPECT_EQ(GetSceneFilePath(), "");
  ip->SetTime(3 * ip->GetTicksPerFrame(), false);
  EXPECT_EQ(GetSceneTime(), 3 * ip->GetTicksPerFrame());
  ip->SetTime(0, false);
}

}  // namespace
