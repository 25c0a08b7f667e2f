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
  std::remove((file + ".lock").c_str());
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

TEST(ScriptCommands, FilesListsThePlainFilesOfAFolderOnOneLine) {
  const std::string dir = std::string(VOREL_BINARY_DIR) + "/script_files." + std::to_string(::getpid());
  ASSERT_TRUE(vorel::host::MakeDirectories(dir + "/sub.Vorel"));
  for (const char* name : {"00001.Vorel", "b.txt", "00000.Vorel"})
    if (FILE* f = std::fopen((dir + "/" + name).c_str(), "wb")) std::fclose(f);
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("files " + dir + " *.vorel")) << s.Error();
  ASSERT_TRUE(s.RunLine("files " + dir));
  ASSERT_TRUE(s.RunLine("files " + dir + " *.bin"));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "2 file(s): 00000.Vorel 00001.Vorel");  // the folder is no file
  EXPECT_EQ(out[1], "3 file(s): 00000.Vorel 00001.Vorel b.txt");
  EXPECT_EQ(out[2], "0 file(s):");
  EXPECT_FALSE(s.RunLine("files " + dir + "/missing"));
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(ScriptCommands, CompareChecksNamesAndBytesAndRemoveDeletesOnePlainFile) {
  const std::string dir = vorel::host::TempPath() + "script_compare." + std::to_string(::getpid());
  ASSERT_TRUE(vorel::host::MakeDirectories(dir + "/sub"));
  ASSERT_TRUE(vorel::host::MakeDirectories(dir + "/copy"));
  auto write = [&](const char* name, const std::string& bytes) {
    FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  write("b.Vorel", "a");
  write("a.Vorel", "");
  write("c.bin", "xyz");
  for (const char* n : {"a.Vorel", "b.Vorel"})
    ASSERT_TRUE(CopyFileA((dir + "/" + n).c_str(), (dir + "/copy/" + n).c_str(), FALSE));
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("compare " + dir + " " + dir + "/copy *.Vorel")) << s.Error();
  EXPECT_EQ(out.back(), "2 files the same in " + dir + " and " + dir + "/copy");
  EXPECT_FALSE(s.RunLine("compare " + dir + " " + dir + "/copy"));  // c.bin only in one
  EXPECT_EQ(s.Error(), "c.bin is only in " + dir);
  write("copy/b.Vorel", "b");  // same length, other byte
  EXPECT_FALSE(s.RunLine("compare " + dir + " " + dir + "/copy *.Vorel"));
  EXPECT_EQ(s.Error(), "b.Vorel differs");
  EXPECT_FALSE(s.RunLine("compare " + dir + " " + dir + "/none"));
  // remove deletes one plain file, never a folder.
  ASSERT_TRUE(s.RunLine("remove " + dir + "/c.bin"));
  EXPECT_FALSE(vorel::host::FileExists(dir + "/c.bin"));
  EXPECT_FALSE(s.RunLine("remove " + dir + "/c.bin"));
  EXPECT_FALSE(s.RunLine("remove " + dir + "/sub"));
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(ScriptCommands, ProgramsListsEveryStartWithItsOutcome) {
  vorel::host::ClearStartedPrograms();
  char help[] = "hh \"/opt/help/Vor formax.chm\"";
  PROCESS_INFORMATION pi;
  STARTUPINFOA si{};
  ASSERT_TRUE(CreateProcessA(nullptr, help, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi));
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("programs"));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "program recorded: hh \"/opt/help/Vor formax.chm\"");
  vorel::host::ClearStartedPrograms();
}
