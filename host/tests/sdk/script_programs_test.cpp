#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/core/process.h"
#include "host/core/registry.h"
#include "host/sdk/script.h"

namespace {

std::string ScratchRegistry() {
  return std::string(VOREL_BINARY_DIR) + "/script_registry." + std::to_string(::getpid());
}

}  // namespace

TEST(ScriptCommands, RegistryValueIsSetUnderTheCurrentUser) {
  const std::string file = ScratchRegistry();
  vorel::host::SetRegistryFile(file);
  ::setenv("VOREL_SCRIPT_TEST_DIR", "/opt/build", 1);
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("registry \"SOFTWARE\\Kestrane\\Test\" appPath \"${VOREL_SCRIPT_TEST_DIR}/app $x{\"")) << s.Error();
  std::string v;
  ASSERT_TRUE(vorel::host::RegistryGetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Test", "appPath", &v));
  EXPECT_EQ(v, "/opt/build/app $x{");
  EXPECT_FALSE(s.RunLine("registry onlykey"));
  vorel::host::SetRegistryFile("");
  std::remove(file.c_str());
}

TEST(ScriptCommands, WaitProgramsWaitsForEveryStartedProgramOnce) {
  vorel::host::SetRecordOnlyProcesses(false);
  vorel::host::ClearStartedPrograms();
  char line[] = "/bin/sh -c \"sleep 0.2; exit 3\"";
  PROCESS_INFORMATION pi;
  STARTUPINFOA si{};
  ASSERT_TRUE(CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hProcess);  // the script waits by pid, not by handle
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("waitprograms"));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "program sh ended with exit code 3");
  ASSERT_TRUE(s.RunLine("waitprograms"));  // nothing left to wait for
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(vorel::host::WaitForStartedProgram(12345678), -1);
  vorel::host::ClearStartedPrograms();
}
