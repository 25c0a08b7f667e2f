// vorel-bench as a program: a benchmark killed in the middle of the solver
// program's run takes the solver with it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// Pids whose command line mentions text (the solver's cache folder).
std::vector<pid_t> ProcessesMentioning(const std::string& text, pid_t except) {
  std::vector<pid_t> found;
  DIR* d = ::opendir("/proc");
  if (!d) return found;
  while (dirent* e = ::readdir(d)) {
    const pid_t pid = pid_t(std::atoi(e->d_name));
    if (pid <= 0 || pid == except) continue;
    // A process may end while it is read: plain reads that just come back short.
    std::string cmd;
    const int fd = ::open((std::string("/proc/") + e->d_name + "/cmdline").c_str(), O_RDONLY);
    if (fd < 0) continue;
    char buf[4096];
    ssize_t got;
    while ((got = ::read(fd, buf, sizeof buf)) > 0) cmd.append(buf, size_t(got));
    ::close(fd);
    if (cmd.find(text) != std::string::npos && cmd.find("Vorel_solver") != std::string::npos)
      found.push_back(pid);
  }
  ::closedir(d);
  return found;
}

template <class Pred>
bool WaitFor(Pred pred, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace

TEST(BenchProcess, KillingTheGpuSolverBenchmarkEndsTheSolver) {
  // On a machine too busy to start the programs within the waits below, the
  // test fails instead of hanging.
  ::alarm(240);
  const std::string out = std::filesystem::temp_directory_path() /
                          ("vorel-bench-kill-" + std::to_string(::getpid()));
  std::filesystem::remove_all(out);
  const pid_t bench = ::fork();
  if (bench == 0) {
    // Nothing of the test's output pipes stays open in the benchmark or the
    // solver, whatever happens to them.
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(VOREL_BENCH_EXE, VOREL_BENCH_EXE, "gpu-solver", "--particles", "500", "--frames", "100000", "--out",
            out.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(bench, 0);
  const bool started = WaitFor([&] { return !ProcessesMentioning(out, bench).empty(); }, 120);
  ::kill(bench, SIGKILL);
  int status = 0;
  ::waitpid(bench, &status, 0);
  EXPECT_TRUE(started);
  // The solver is no child of this test: it is gone when /proc no longer has it.
  EXPECT_TRUE(WaitFor([&] { return ProcessesMentioning(out, bench).empty(); }, 100));
  for (pid_t p : ProcessesMentioning(out, bench)) ::kill(p, SIGKILL);
  std::filesystem::remove_all(out);
}
