// Scratch folders that tests make in the shared temporary folder. Each is
// removed when the test that made it passes or is skipped; a failing test's
// stay to be looked at. Their names carry the process id, so without this
// every run of the suites left some hundreds of them (about 80 MB) behind.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/core/files.h"

namespace vorel::test {

inline void RemoveWhenPassed(const std::string& dir) {
  class Sweep : public ::testing::EmptyTestEventListener {
   public:
    std::vector<std::string> dirs;
    void OnTestEnd(const ::testing::TestInfo& info) override {
      std::error_code ec;
      if (!info.result()->Failed())
        for (const std::string& d : dirs) std::filesystem::remove_all(d, ec);
      dirs.clear();
    }
  };
  // The listener list owns it from here on.
  static Sweep* const sweep = [] {
    Sweep* s = new Sweep;
    ::testing::UnitTest::GetInstance()->listeners().Append(s);
    return s;
  }();
  sweep->dirs.push_back(dir);
}

// An empty folder `prefix`<pid>_`name` in the temporary folder, made afresh
// and removed when the test passes (left unmade when the old one cannot go).
inline std::string FreshScratchDir(const std::string& prefix, const std::string& name) {
  std::string dir = vorel::host::TempPath() + prefix + std::to_string(getpid()) + "_" + name;
  std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) return dir;
  vorel::host::MakeDirectories(dir);
  RemoveWhenPassed(dir);
  return dir;
}

}  // namespace vorel::test
