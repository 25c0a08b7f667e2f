// vorel-host drives the user interface through its "ui" commands.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string RunHost(const std::string& script, int& status) {
  std::string host = std::string(VOREL_BINARY_DIR) + "/host/vorel-host";
  std::string plugins = std::string(VOREL_BINARY_DIR) + "/test_plugins";
  fs::path file = fs::temp_directory_path() / ("vorel_ui_" + std::to_string(::getpid()) + ".vhs");
  std::ofstream(file) << script;
  std::string cmd = "'" + host + "' --plugins '" + plugins + "' '" + file.string() + "' 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  std::array<char, 512> buf;
  while (p && fgets(buf.data(), int(buf.size()), p)) out += buf.data();
  status = p ? pclose(p) : -1;
  fs::remove(file);
  return out;
}

TEST(HostScript, UiCommandsRunInVorelHost) {
  if (!fs::exists(std::string(VOREL_BINARY_DIR) + "/host/vorel-host") ||
      !fs::exists(std::string(VOREL_BINARY_DIR) + "/test_plugins"))
    GTEST_SKIP() << "vorel-host or the test plug-ins are not built";
  int status = 0;
  std::string out = RunHost(
      "create PlugBlob blob1\n"
      "ui redraw\n"
      "ui select-answer blob1\n"
      "ui dialogs\n"
      "ui pick blob1\n",
      status);
  EXPECT_NE(out.find("1 drawn"), std::string::npos) << out;
  EXPECT_NE(out.find("no pick mode is active"), std::string::npos) << out;
  EXPECT_NE(status, 0);
}

}  // namespace
