// Runs the Vorel_solver program as a separate process on generated cache
// directories. Each test gives its runs a private runtime folder, so the
// "Vorel_GPU_SOLVER" marker of one test never meets another's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "gpu_solver/sample_scene.h"
#include "gpu_solver/solver_formats.h"
#include "test_support.h"

using namespace vorel_gpu;
using vorel_gpu_test::Exists;
using vorel_gpu_test::ScratchDir;

namespace {

struct Child {
  pid_t pid = -1;
  std::string out, err;
};

bool g_startBlocked = false;
// A full disk for the child: writes past this many bytes fail (0: no limit).
rlim_t g_fileLimit = 0;

// env: "NAME=value" settings for the child (OMP_WAIT_POLICY is unset unless
// given); loader: a program that starts the solver, such as the dynamic loader.
Child Start(const ScratchDir& d, const std::string& tag, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {}, const std::string& loader = "") {
  Child c;
  c.out = d / (tag + ".out");
  c.err = d / (tag + ".err");
  const std::string runtime = d / "runtime";
  ::mkdir(runtime.c_str(), 0700);
  c.pid = ::fork();
  if (c.pid == 0) {
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("OMP_NUM_THREADS", "2", 1);
    ::unsetenv("OMP_WAIT_POLICY");
    if (g_startBlocked) {  // a starter that blocks the STOP and PAUSE signals
      sigset_t set;
      sigemptyset(&set);
      for (int sig : {SIGINT, SIGTERM, SIGUSR1}) sigaddset(&set, sig);
      ::sigprocmask(SIG_BLOCK, &set, nullptr);
    }
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    int o = ::open(c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = ::open(c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(o, 1);
    ::dup2(e, 2);
    if (g_fileLimit != 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit r{};
      ::getrlimit(RLIMIT_FSIZE, &r);
      r.rlim_cur = g_fileLimit;
      ::setrlimit(RLIMIT_FSIZE, &r);
    }
    std::vector<char*> argv;
    if (!loader.empty()) argv.push_back(const_cast<char*>(loader.c_str()));
    argv.push_back(const_cast<char*>(VOREL_SOLVER_EXE));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return c;
}

int Wait(const Child& c) {
  int status = 0;
  ::waitpid(c.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountFrames(const std::string& dir, int upTo) {
  int n = 0;
  while (n < upTo && Exists(FrameFilePath(dir, n + 1))) ++n;
  return n;
}

// Waits (bounded) until the predicate holds.
template <class Pred>
bool WaitFor(Pred pred, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Every file in the folder is either an input or a whole frame.
void ExpectOnlyWholeFrames(const std::string& dir, int frames) {
  for (int f = 1; f <= frames; ++f) {
    vorel_gpu_test::Frame fr;
    EXPECT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(dir, f), &fr)) << f;
  }
  EXPECT_FALSE(Exists(FrameFilePath(dir, frames + 1)));
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir + "' | grep -v -e '^[0-9]*\\.Vorel$' -e '^sources$' -e "
                         "'^objects$' -e '^Vorel.killparts$')\"").c_str()),
            0);
}

SampleScene SmallScene(int frames) {
  SampleScene s;
  s.nx = s.ny = 6;
  s.nz = 4;
  s.frames = frames;
  return s;
}

}  // namespace

TEST(SolverProgram, SimulatesACacheDirectoryFrameByFrame) {
  ScratchDir d("program_run");
  const std::string cache = d / "my cache";  // a folder name with a blank
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(6)));
  Child c = Start(d, "run", {"-cacheDir", cache, "-maxFrames", "6", "-settleFrames", "1"});
  ASSERT_EQ(Wait(c), 0) << Slurp(c.err);
  ExpectOnlyWholeFrames(cache, 6);
  vorel_gpu_test::Frame first;
  ASSERT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(cache, 0), &first));  // the settle frame
  EXPECT_EQ(first.count, 6 * 6 * 4);
  const std::string out = Slurp(c.out);
  EXPECT_NE(out.find("Settle particles - Processing frame: 2 / 1"), std::string::npos) << out;
  EXPECT_NE(out.find("Last processed frame: 6"), std::string::npos) << out;
  EXPECT_NE(out.find("Elapsed: "), std::string::npos) << out;
  EXPECT_EQ(Slurp(c.err), "");
}

TEST(SolverProgram, SecondStartIsRefusedAndStopLeavesWholeFrames) {
  ScratchDir d("program_single");
  const std::string cache = d / "cache";
  const int frames = 2000;  // far more than the test lets it run
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(frames)));
  Child first = Start(d, "first", {"-cacheDir", cache, "-maxFrames", std::to_string(frames)});
  ASSERT_TRUE(WaitFor([&] { return CountFrames(cache, frames) >= 2; })) << Slurp(first.err);

  ScratchDir other("program_single_other");
  ASSERT_TRUE(WriteSampleCache(other.path(), SmallScene(2)));
  // The second run shares the first one's runtime folder.
  Child second = Start(d, "second", {"-cacheDir", other.path(), "-maxFrames", "2"});
  EXPECT_EQ(Wait(second), 1);
  EXPECT_NE(Slurp(second.err).find("Another Vorel_solver is running"), std::string::npos) << Slurp(second.err);
  EXPECT_FALSE(Exists(FrameFilePath(other.path(), 1)));

  // Frames keep appearing one after another while the first runs.
  const int seen = CountFrames(cache, frames);
  ASSERT_TRUE(WaitFor([&] { return CountFrames(cache, frames) > seen + 1; }));
  ::kill(first.pid, SIGTERM);
  EXPECT_EQ(Wait(first), 0);
  const int written = CountFrames(cache, frames);
  EXPECT_LT(written, frames);
  ExpectOnlyWholeFrames(cache, written);
  EXPECT_NE(Slurp(first.out).find("Solver process was cancelled by user..."), std::string::npos);

  // With the first gone, a new run starts.
  Child third = Start(d, "third", {"-cacheDir", other.path(), "-maxFrames", "2"});
  EXPECT_EQ(Wait(third), 0) << Slurp(third.err);
  EXPECT_TRUE(Exists(FrameFilePath(other.path(), 2)));
}

TEST(SolverProgram, PauseHoldsTheRunUntilResumed) {
  ScratchDir d("program_pause");
  const std::string cache = d / "cache";
  const int frames = 2000;
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(frames)));
  Child c = Start(d, "run", {"-cacheDir", cache, "-maxFrames", std::to_string(frames)});
  ASSERT_TRUE(WaitFor([&] { return CountFrames(cache, frames) >= 1; })) << Slurp(c.err);
  ::kill(c.pid, SIGUSR1);
  ASSERT_TRUE(WaitFor([&] { return Slurp(c.out).find("Solver process paused.") != std::string::npos; }));
  // The pause text is printed after the iteration under way has finished
  // (with any frame it wrote); from then on no frame appears.
  const int paused = CountFrames(cache, frames);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(CountFrames(cache, frames), paused);
  ::kill(c.pid, SIGUSR1);
  EXPECT_TRUE(WaitFor([&] { return CountFrames(cache, frames) > paused + 1; }));
  ::kill(c.pid, SIGINT);
  EXPECT_EQ(Wait(c), 0);
}

TEST(SolverProgram, RefusesUnusableCommandLines) {
  ScratchDir d("program_args");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-maxFrames", "3"}, {"-cacheDir", d.path(), "-frameRate", "0"},
        {"-cacheDir", d.path(), "-maxFrames", "-4"}, {"-cacheDir", d.path(), "-maxFrames"},
        {"-cacheDir", std::string(300, 'x')}, {"-cacheDir", d / "missing"},
        {"-cacheDir", d.path(), "-maxFrames", "abc"}, {"-cacheDir", d.path(), "-gravity", "nan"},
        {"-cacheDir", d.path(), "-bounce", "100"},
        {"-cacheDir", d.path()}}) {  // a folder without inputs: nothing to solve
    Child c = Start(d, "bad", args);
    EXPECT_EQ(Wait(c), 1) << args[0];
    EXPECT_NE(Slurp(c.err).find("Vorel_GPU: Alert: "), std::string::npos) << args[0];
  }
}

// Damaged inputs end the run with exit 1 and no frame: solving without them
// would report a scene that was never simulated as a success.
TEST(SolverProgram, DamagedInputsFailTheRunWithoutFrames) {
  ScratchDir d("program_damaged");
  struct Case {
    const char* what;
    std::string file;
    size_t keep;  // bytes kept; 0 flips the first byte instead
  };
  const std::vector<Case> cases = {
      {"fill cut", "sources/Vorel.fll", 300},
      {"fill tag", "sources/Vorel.fll", 0},
      {"kill box cut", "Vorel.killparts", 10},
      {"emission cut", "sources/Vorel.srp", 30},
      {"collider cut", "objects/Vorel_00160.geom", 100},
      {"collider count", "objects/Vorel_00000.geom", 0},
  };
  for (const Case& k : cases) {
    const std::string cache = d / "cache";
    std::system(("rm -rf '" + cache + "'").c_str());
    ASSERT_TRUE(WriteSampleCache(cache, SmallScene(2)));
    EmissionRecord r{0, {{1, 1, 1}, {1, 1, 1.1f}}, {{0, 0, 0}, {0, 0, 0}}};
    ASSERT_TRUE(WriteEmissionFile(EmissionFilePath(cache), {r, r}));
    std::vector<uint8_t> b = vorel_gpu_test::ReadBytes(cache + "/" + k.file);
    ASSERT_GT(b.size(), k.keep) << k.what;
    if (k.keep) b.resize(k.keep); else b[0] ^= 0xFF;
    vorel_gpu_test::WriteBytes(cache + "/" + k.file, b);
    Child c = Start(d, "damaged", {"-cacheDir", cache, "-maxFrames", "2"});
    EXPECT_EQ(Wait(c), 1) << k.what;
    EXPECT_NE(Slurp(c.err).find("is damaged"), std::string::npos) << k.what << Slurp(c.err);
    EXPECT_FALSE(Exists(FrameFilePath(cache, 0))) << k.what;
    EXPECT_FALSE(Exists(FrameFilePath(cache, 1))) << k.what;
  }
  // A fill position that is NaN is refused the same way.
  const std::string cache = d / "nan";
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(2)));
  FillHeader h;
  std::vector<Vec3f> p, v;
  ASSERT_TRUE(ReadFillFile(FillFilePath(cache), 1u << 30, &h, &p, &v));
  p[5].y = std::nanf("");
  ASSERT_TRUE(WriteFillFile(FillFilePath(cache), h.ppuv, p, v));
  Child c = Start(d, "nan", {"-cacheDir", cache, "-maxFrames", "2"});
  EXPECT_EQ(Wait(c), 1);
  EXPECT_FALSE(Exists(FrameFilePath(cache, 1)));
}

// The CPU program restarts its own image to run OpenMP with sleeping
// threads. The restart must be invisible to whoever started it: same pid
// (signals reach it, its exit code comes back), same arguments.
TEST(SolverProgram, RestartsWithPassiveWaitsInvisiblyToItsStarter) {
  ScratchDir d("program_waits");
  const std::string cache = d / "cache";
  const int frames = 2000;
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(frames)));
  for (const std::string policy : {"", "active"}) {
    for (int f = 1; f <= 2; ++f) std::remove(FrameFilePath(cache, f).c_str());
    std::vector<std::string> env;
    if (!policy.empty()) env.push_back("OMP_WAIT_POLICY=" + policy);
    Child c = Start(d, "run", {"-cacheDir", cache, "-maxFrames", std::to_string(frames)}, env);
    ASSERT_TRUE(WaitFor([&] { return CountFrames(cache, frames) >= 2; })) << Slurp(c.err);
    std::string environ = Slurp("/proc/" + std::to_string(c.pid) + "/environ");
    std::replace(environ.begin(), environ.end(), '\0', '\n');
    const std::string want = "OMP_WAIT_POLICY=" + (policy.empty() ? std::string("passive") : policy) + "\n";
    EXPECT_NE(environ.find(want), std::string::npos) << policy;
    std::string cmdline = Slurp("/proc/" + std::to_string(c.pid) + "/cmdline");
    EXPECT_EQ(cmdline, std::string(VOREL_SOLVER_EXE) + '\0' + "-cacheDir" + '\0' + cache + '\0' + "-maxFrames" +
                           '\0' + std::to_string(frames) + '\0');
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c), 0) << policy;
    EXPECT_EQ(Slurp(c.err), "") << policy;
  }

  // A starter that blocks the signals does not take the buttons away.
  for (int f = 1; f <= 3; ++f) std::remove(FrameFilePath(cache, f).c_str());
  g_startBlocked = true;
  Child blocked = Start(d, "blocked", {"-cacheDir", cache, "-maxFrames", std::to_string(frames)});
  g_startBlocked = false;
  ASSERT_TRUE(WaitFor([&] { return CountFrames(cache, frames) >= 2; })) << Slurp(blocked.err);
  ::kill(blocked.pid, SIGUSR1);
  EXPECT_TRUE(WaitFor([&] { return Slurp(blocked.out).find("Solver process paused.") != std::string::npos; }));
  ::kill(blocked.pid, SIGTERM);
  EXPECT_EQ(Wait(blocked), 0);

  // Started through the dynamic loader, /proc/self/exe is the loader: the
  // program must not restart that, and simply runs.
  const std::string loader = "/lib64/ld-linux-x86-64.so.2";
  if (!Exists(loader)) GTEST_SKIP() << "no " << loader;
  ScratchDir other("program_waits_loader");
  ASSERT_TRUE(WriteSampleCache(other.path(), SmallScene(2)));
  Child c = Start(d, "loader", {"-cacheDir", other.path(), "-maxFrames", "2"}, {}, loader);
  EXPECT_EQ(Wait(c), 0) << Slurp(c.err);
  EXPECT_EQ(Slurp(c.err), "");
  ExpectOnlyWholeFrames(other.path(), 2);
}

// Every frame after one that could not be written would be missing too: the
// run stops there, says which file and why, and fails.
TEST(SolverProgram, StopsAtTheFirstFrameItCannotWriteAndSaysWhy) {
  ScratchDir d("program_unwritable");
  const std::string cache = d / "cache";
  ASSERT_TRUE(WriteSampleCache(cache, SmallScene(3)));
  ASSERT_EQ(::mkdir(FrameFilePath(cache, 2).c_str(), 0777), 0);  // frame 2 cannot take its name
  Child c = Start(d, "run", {"-cacheDir", cache, "-maxFrames", "3"});
  EXPECT_EQ(Wait(c), 1);
  EXPECT_EQ(Slurp(c.err), "Cannot write the frame file " + FrameFilePath(cache, 2) + ": Is a directory\n");
  vorel_gpu_test::Frame fr;
  EXPECT_TRUE(vorel_gpu_test::ReadFrame(FrameFilePath(cache, 1), &fr));
  EXPECT_FALSE(Exists(FrameFilePath(cache, 3)));

  // A full disk (a file-size limit smaller than one frame): no frame, and
  // nothing half-written left behind.
  ScratchDir full("program_full_disk");
  const std::string small = full / "cache";
  ASSERT_TRUE(WriteSampleCache(small, SmallScene(3)));
  g_fileLimit = 4000;
  Child f = Start(full, "run", {"-cacheDir", small, "-maxFrames", "3"});
  g_fileLimit = 0;
  EXPECT_EQ(Wait(f), 1);
  EXPECT_EQ(Slurp(f.err), "Cannot write the frame file " + FrameFilePath(small, 1) + ": File too large\n");
  ExpectOnlyWholeFrames(small, 0);
}
