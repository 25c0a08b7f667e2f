// Helpers for tests that run out of memory on purpose: the test runs itself
// again in a child process (a fresh thread pool: a forked child has none
// where the parent used OpenMP), and the child limits its address space.
#pragma once
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace vorel::test {

// In the test runner: runs the current test in a child process of its own,
// expects it to pass, and answers true (the caller returns). In that child:
// false, and the caller does the work.
inline bool RanInChildProcess() {
  static const char* kChild = "VOREL_TEST_CHILD";
  if (std::getenv(kChild)) return false;
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name();
  const pid_t pid = fork();
  if (pid == 0) {
    setenv(kChild, "1", 1);
    execl("/proc/self/exe", "child", filter.c_str(), static_cast<char*>(nullptr));
    _exit(30);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return true;
}

// Limits the address space to what the process holds now plus `room`
// bytes (Cap), or lifts the limit again (Lift); false when refused.
class AddressSpaceLimit {
 public:
  AddressSpaceLimit() { getrlimit(RLIMIT_AS, &as_); unlimited_ = as_.rlim_cur; }
  bool Cap(rlim_t room) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    as_.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + room;
    return setrlimit(RLIMIT_AS, &as_) == 0;
  }
  bool Lift() {
    as_.rlim_cur = unlimited_;
    return setrlimit(RLIMIT_AS, &as_) == 0;
  }

 private:
  rlimit as_{};
  rlim_t unlimited_ = 0;
};

}  // namespace vorel::test
