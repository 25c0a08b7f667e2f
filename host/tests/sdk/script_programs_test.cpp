#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/core/files.h"
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

TEST(ScriptCommands, FilesListsAndRemoveDeletesPlainFiles) {
  const std::string dir = vorel::host::TempPath() + "script_files." + std::to_string(::getpid());
  ASSERT_TRUE(vorel::host::MakeDirectories(dir + "/sub"));
  auto write = [&](const char* name, const std::string& bytes) {
    FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  write("b.Vorel", "a");
  write("a.Vorel", "");
  write("c.bin", "xyz");
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("files " + dir + " *.Vorel")) << s.Error();
  // FNV-1a of no bytes is the offset basis; of "a" the published 0xe40c292c.
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "a.Vorel 0 811c9dc5");
  EXPECT_EQ(out[1], "b.Vorel 1 e40c292c");
  EXPECT_EQ(out[2], "2 files in " + dir);
  out.clear();
  // Folders are not listed; a missing folder fails.
  ASSERT_TRUE(s.RunLine("files " + dir));
  EXPECT_EQ(out.back(), "3 files in " + dir);
  EXPECT_FALSE(s.RunLine("files " + dir + "/none"));
  // compare: same names and bytes in both folders.
  ASSERT_TRUE(vorel::host::MakeDirectories(dir + "/copy"));
  for (const char* n : {"a.Vorel", "b.Vorel"})
    ASSERT_TRUE(CopyFileA((dir + "/" + n).c_str(), (dir + "/copy/" + n).c_str(), FALSE));
  out.clear();
  ASSERT_TRUE(s.RunLine("compare " + dir + " " + dir + "/copy *.Vorel")) << s.Error();
  EXPECT_EQ(out.back(), "2 files the same in " + dir + " and " + dir + "/copy");
  EXPECT_FALSE(s.RunLine("compare " + dir + " " + dir + "/copy"));  // c.bin only in one
  write("copy/b.Vorel", "b");
  EXPECT_FALSE(s.RunLine("compare " + dir + " " + dir + "/copy *.Vorel"));
  EXPECT_EQ(s.Error(), "b.Vorel differs");
  // remove deletes one plain file, never a folder.
  ASSERT_TRUE(s.RunLine("remove " + dir + "/c.bin"));
  EXPECT_FALSE(vorel::host::FileExists(dir + "/c.bin"));
  EXPECT_FALSE(s.RunLine("remove " + dir + "/c.bin"));
  EXPECT_FALSE(s.RunLine("remove " + dir + "/sub"));
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}
