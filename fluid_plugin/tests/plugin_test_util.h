// Fixture of the fluid system tests: the plug-in's classes registered with
// the headless host, a scratch folder for the caches, and an empty scene.
#pragma once
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fluid_core/host_link.h"
#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "fluid_plugin/vorel_classes.h"
#include "host/core/clock.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"
#include "host/ui/ui.h"
#include "host/tests/core/scratch_dirs.h"

class FluidSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = vorel::host::TempPath() + "vorel_fsys_" + std::to_string(getpid()) + "_" +
               info->test_suite_name() + "_" + info->name();
    std::string cmd = "rm -rf '" + scratch_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    vorel::host::MakeDirectories(scratch_ + "/install/plugcfg");
    vorel::test::RemoveWhenPassed(scratch_);
    vorel::host::SetInstallRoot(scratch_ + "/install");
    // New systems keep their caches here, not among the folders that other
    // tests (and their default names) leave in the shared temporary folder.
    std::ofstream(scratch_ + "/install/plugcfg/Vorel.ini") << "[TempDir]=" << scratch_ << "\n";
    static bool registered = false;
    if (!registered) {
      BuildVorelClasses();
      for (int i = 0; i < kVorelClassCount; ++i)
        if (ClassDesc* d = VorelClassDesc(i)) ClassDirectory::Get().AddClass(d);
      registered = true;
    }
    ip()->ResetScene();
    ip()->SetAnimRange(Interval(0, 10 * 160));
    ip()->SetTime(0, false);
    GetVorActionCB();
    vorel::host::PressEscapeAtPoll(0);
    vorel::host::SetHostClosing(false);
    vorel::host::SetForeground(vorel::host::MainWindow());
    vorel::host::ClearPromptLog();
    vorel::host::ClearMessageBoxLog();
    vorel::host::ClearMessageBoxAnswers();
    SolveStopFlag = 0;
  }
  void TearDown() override {
    ip()->ResetScene();
    vorel::host::PressEscapeAtPoll(0);
    vorel::host::SetHostClosing(false);
    SetCurrentSystem(nullptr);
  }

  static Interface* ip() { return GetCOREInterface(); }
  const std::string& scratch() const { return scratch_; }

  // A fluid system in the scene with its cache under the scratch folder.
  TetraProcObj* MakeSystem(const char* nodeName = nullptr) {
    TetraProcObj* s = new TetraProcObj(false);
    s->engine.owner = s;
    s->engine.SetCacheRoot(scratch_);
    s->CreateCacheFolders();
    INode* n = ip()->CreateObjectNode(s, nodeName);
    s->node = n;
    s->engine.systemNode = n;
    s->engine.Reset();
    return s;
  }

  bool Prompted(const std::string& text) {
    for (const auto& r : vorel::host::PromptLog())
      if (r.text == text) return true;
    return false;
  }

 private:
  std::string scratch_;
};
