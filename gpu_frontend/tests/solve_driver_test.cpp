#include "gpu_frontend/solve_driver.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_solver/command_line.h"
#include "gpu_solver/solver_formats.h"
#include "gpufe_test_support.h"
#include "host/core/interaction.h"
#include "host/core/process.h"
#include "host/core/registry.h"

using namespace vorel_gpufe;
using gpufe_test::ScratchCache;

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A registry file and record-only program starts for one test.
class StartEnv {
 public:
  StartEnv() {
    file_ = std::string(VOREL_BINARY_DIR) + "/gpufe_registry." + std::to_string(::getpid());
    vorel::host::SetRegistryFile(file_);
    vorel::host::SetRecordOnlyProcesses(true);
    vorel::host::ClearStartedPrograms();
    vorel::host::ClearMessageBoxLog();
  }
  ~StartEnv() {
    vorel::host::SetRecordOnlyProcesses(false);
    vorel::host::ClearStartedPrograms();
    vorel::host::SetRegistryFile("");
    std::remove(file_.c_str());
    std::remove((file_ + ".lock").c_str());
  }
  void SetAppPath(const std::string& p) {
    ASSERT_TRUE(vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "appPath", p));
  }

 private:
  std::string file_;
};

}  // namespace

TEST(SolveDriver, StartFrameResumesAfterTheLastSolvedFrame) {
  // Frames 0..40 solved, range 0..100: resume at 40 for 60 frames, no settling.
  SolvePlan p = PlanSolve(0, 100, 40, -1000, true, 50);
  EXPECT_EQ(p.startFrame, 40);
  EXPECT_EQ(p.maxFrames, 60);
  EXPECT_EQ(p.settleFrames, 0);
  // Empty cache: from the start, settling as asked.
  p = PlanSolve(0, 100, -1, -1000, true, 50);
  EXPECT_EQ(p.startFrame, 0);
  EXPECT_EQ(p.settleFrames, 50);
  EXPECT_EQ(PlanSolve(0, 100, -1, -1000, false, 50).settleFrames, 0);
  // Settling only before a run from the beginning.
  p = PlanSolve(10, 100, -1, -1000, true, 50);
  EXPECT_EQ(p.startFrame, 10);
  EXPECT_EQ(p.settleFrames, 0);
  // A request between the start and the last solved frame wins; others not.
  EXPECT_EQ(PlanSolve(5, 100, 40, 20, false, 0).startFrame, 20);
  EXPECT_EQ(PlanSolve(5, 100, 40, 2, false, 0).startFrame, 40);
  EXPECT_EQ(PlanSolve(5, 100, 40, 40, false, 0).startFrame, 40);
  // Nothing left to solve.
  EXPECT_EQ(PlanSolve(0, 40, 40, -1000, false, 0).maxFrames, 0);
}

TEST(SolveDriver, FrameRates) {
  EXPECT_EQ(SolverFrameRate(160), 30);
  EXPECT_EQ(SolverFrameRate(192), 25);
  EXPECT_EQ(SolverFrameRate(200), 24);
  EXPECT_EQ(SolverFrameRate(1000), 4);
  EXPECT_EQ(SolverFrameRate(0), 0);
}

TEST(SolveDriver, CommandLineIsWhatTheSolverParses) {
  SolverOptions o;
  o.maxFrames = 60;
  o.fromFrame = 40;
  o.frameRate = 25;
  o.collisionStrength = 1.5f;
  o.gravity = 9.8f;
  o.viscosity = 0.25f;
  o.bounce = 0.5f;
  o.friction = 2.0f;
  o.settleFrames = 0;
  std::string line;
  ASSERT_TRUE(FormatSolverCommandLine("/opt/vorel app", "/caches root\\my cache%d", o, &line));
  EXPECT_EQ(line,
            "\"/opt/vorel app\\bin/x86/Vorel_solver.exe\" -cacheDir \"/caches root\\my cache%d\" -maxFrames 60"
            " -fromFrame 40 -frameRate 25 -collisionStrength 1.500000 -gravity 98.000000 -viscosity 0.250000"
            " -bounce 0.500000 -friction 2.000000 -settleFrames 0");
  std::vector<std::string> tokens;
  std::string error;
  ASSERT_TRUE(vorel_gpu::SplitCommandLine(line, &tokens, &error));
  vorel_gpu::RunSettings s;
  ASSERT_TRUE(vorel_gpu::ParseOptions(tokens, &s, &error)) << error;
  EXPECT_EQ(tokens[0], "/opt/vorel app\\bin/x86/Vorel_solver.exe");
  EXPECT_EQ(s.cacheDir, "/caches root\\my cache%d");
  EXPECT_EQ(s.maxFrames, 60);
  EXPECT_EQ(s.fromFrame, 40);
  EXPECT_EQ(s.ticksPerFrame, 192u);
  EXPECT_FLOAT_EQ(s.gravity, 98.0f);
  EXPECT_FLOAT_EQ(s.friction, 2.0f);
  EXPECT_EQ(s.settleFrames, 0);

  // A line beyond 779 characters is refused, never cut; 779 fit.
  ASSERT_TRUE(FormatSolverCommandLine("/opt", "", o, &line));
  const std::string fits(kCommandLineMax - line.size(), 'c');
  ASSERT_TRUE(FormatSolverCommandLine("/opt", fits, o, &line));
  EXPECT_EQ(line.size(), kCommandLineMax);
  EXPECT_FALSE(FormatSolverCommandLine("/opt", fits + "c", o, &line));
  EXPECT_EQ(line.size(), kCommandLineMax + 1);
}

TEST(SolveDriver, StartWritesTheBatchFileAfterEveryAttempt) {
  ScratchCache dir("start");
  StartEnv env;
  SolverOptions o;
  o.maxFrames = 3;
  // No installation folder: nothing started, no batch file, and a word why.
  EXPECT_EQ(StartSolver(dir.path(), o), StartResult::kNoAppPath);
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
  EXPECT_FALSE(gpufe_test::Exists(dir / "soveit.bat"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_NE(vorel::host::MessageBoxLog()[0].text.find("Nothing was solved"), std::string::npos);
  vorel::host::ClearMessageBoxLog();

  env.SetAppPath("/opt/vorel");
  const std::string cache = dir.path() + "/100%";  // a "%" goes out unchanged
  ::mkdir(cache.c_str(), 0777);
  EXPECT_EQ(StartSolver(cache, o), StartResult::kStarted);
  ASSERT_EQ(vorel::host::StartedPrograms().size(), 1u);
  const std::string line = vorel::host::StartedPrograms()[0].commandLine;
  EXPECT_EQ(vorel::host::StartedPrograms()[0].args[2], cache);
  EXPECT_EQ(ReadText(cache + "/soveit.bat"), line);  // verbatim, no line end
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  // A link planted at the batch file's name, to a file or a folder outside
  // or to nothing, is replaced; what it names stays as it was.
  const std::string outside = dir.path() + "/outside";
  ::mkdir(outside.c_str(), 0777);
  std::ofstream(outside + "/file") << "keep";
  for (const std::string& target : {outside + "/file", outside, outside + "/missing"}) {
    std::remove((cache + "/soveit.bat").c_str());
    ASSERT_EQ(::symlink(target.c_str(), (cache + "/soveit.bat").c_str()), 0);
    vorel::host::ClearStartedPrograms();
    EXPECT_EQ(StartSolver(cache, o), StartResult::kStarted);
    EXPECT_EQ(ReadText(cache + "/soveit.bat"), line) << target;
    EXPECT_EQ(ReadText(outside + "/file"), "keep") << target;
    EXPECT_FALSE(gpufe_test::Exists(outside + "/missing")) << target;
  }

  // A start that fails still leaves the batch file, and says so.
  vorel::host::SetRecordOnlyProcesses(false);
  std::remove((cache + "/soveit.bat").c_str());
  EXPECT_EQ(StartSolver(cache, o), StartResult::kFailed);
  EXPECT_TRUE(gpufe_test::Exists(cache + "/soveit.bat"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].text, "Unable to call Vorel_GPU solver!");
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].caption, "Vorel_GPU Warning!");

  // A line that does not fit is not started.
  vorel::host::SetRecordOnlyProcesses(true);
  vorel::host::ClearStartedPrograms();
  EXPECT_EQ(StartSolver(dir.path() + "/" + std::string(720, 'x'), o), StartResult::kTooLong);
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
}

TEST(SolveDriver, StartFrameIsReadWholeWhateverIsShown) {
  ScratchCache dir("startframe");
  std::vector<int32_t> ids;
  std::vector<vorel_gpu::Vec3f> pos, vel;
  for (int k = 0; k < 7; ++k) {
    ids.push_back(k);
    pos.push_back({float(k), 0.5f, 0.25f});
    vel.push_back({0.0f, float(k), 0.0f});
  }
  const std::string path = vorel_gpu::FrameFilePath(dir.path(), 12);
  ASSERT_TRUE(vorel_gpu::WriteSolverFrame(path, 27000.0f, ids, pos, vel));
  float ppuv = 0.0f;
  std::vector<Point3> p, v;
  ASSERT_TRUE(ReadStartFrame(path, &ppuv, &p, &v));
  EXPECT_EQ(ppuv, 27000.0f);
  ASSERT_EQ(p.size(), 7u);
  EXPECT_FLOAT_EQ(p[6].x, 120.0f);  // host units
  EXPECT_FLOAT_EQ(p[0].y, 10.0f);
  EXPECT_FLOAT_EQ(v[6].y, 6.0f);
  EXPECT_FALSE(ReadStartFrame(dir / "00013.Vorel", &ppuv, &p, &v));
}

// A solver that has started but not yet taken its named event counts as
// running: a second solve then cannot rewrite the inputs under it.
TEST(SolveDriver, AJustStartedSolverCountsAsRunning) {
  ScratchCache dir("starting");
  StartEnv env;
  vorel::host::SetRecordOnlyProcesses(false);
  const std::string app = dir / "app";
  ASSERT_EQ(std::system(("mkdir -p '" + app + "/bin/x86'").c_str()), 0);
  {
    std::ofstream f(app + "/bin/x86/Vorel_solver.exe");
    f << "#!/bin/sh\nexec sleep 300\n";
  }
  ASSERT_EQ(::chmod((app + "/bin/x86/Vorel_solver.exe").c_str(), 0755), 0);
  env.SetAppPath(app);
  SolverOptions o;
  o.maxFrames = 1;
  ASSERT_EQ(StartSolver(dir.path(), o), StartResult::kStarted);
  EXPECT_TRUE(StartedSolverRunning());
  EXPECT_TRUE(BlobNode::IsSolverRunning());  // the one probe a solve asks
  const int pid = vorel::host::StartedPrograms().back().pid;
  ::kill(pid, SIGKILL);
  vorel::host::WaitForStartedProgram(pid);
  EXPECT_FALSE(StartedSolverRunning());
  EXPECT_FALSE(BlobNode::IsSolverRunning());
}
