#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/hostmath.h"
#include "host/core/process.h"
#include "host/core/registry.h"
#include "host/core/tab.h"

namespace vh = vorel::host;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorel-core-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    vh::SetRuntimeFolder(dir_ + "/run");
    vh::SetRegistryFile(dir_ + "/config/vorel/registry");
  }
  void TearDown() override {
    vh::SetRuntimeFolder("");
    vh::SetRegistryFile("");
    vh::ClearStartedPrograms();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Touch(const std::string& rel, const std::string& text = "x") {
    std::ofstream(dir_ + "/" + rel) << text;
  }
  std::vector<std::string> Find(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir_ + "\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    EXPECT_TRUE(FindClose(h));
    return names;
  }
  std::string dir_;
};

TEST_F(Platform, TempPathHasTrailingSeparatorAndRefusesSmallBuffers) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  ::setenv("TMPDIR", dir_.c_str(), 1);
  char buf[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, buf);
  EXPECT_EQ(std::string(buf), dir_ + "/");
  EXPECT_EQ(n, DWORD(dir_.size() + 1));
  char tiny[8] = "keep";
  EXPECT_EQ(GetTempPathA(sizeof(tiny), tiny), 0u);
  EXPECT_STREQ(tiny, "");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
}

// Links planted where the writers write, pointing at things of every kind
// outside the folder: a file, a missing file, a folder, a link to a file.
// Nothing outside changes, nothing is made there, and the writes either land
// in the folder itself or are refused.
TEST_F(Platform, WritesNeverFollowALinkOutOfTheirFolder) {
  const std::string out = dir_ + "/outside", in = dir_ + "/cache";
  fs::create_directories(out + "/folder");
  fs::create_directories(in);
  std::ofstream(out + "/file") << "precious";
  fs::create_symlink(out + "/file", out + "/link");
  const struct { const char* kind; std::string target; } targets[] = {
      {"a file", out + "/file"},
      {"a missing file", out + "/missing"},
      {"a folder", out + "/folder"},
      {"a link to a file", out + "/link"},
  };
  auto outsideIntact = [&](const char* what) {
    EXPECT_EQ(vh::FileSize(out + "/file"), 8) << what;
    EXPECT_FALSE(fs::exists(out + "/missing")) << what;
    EXPECT_TRUE(fs::is_empty(out + "/folder")) << what;
  };
  const std::string pid = std::to_string(long(::getpid()));
  for (const auto& t : targets) {
    // The side files of a write: the name of old and the names a process
    // makes (a planted one is passed over, never opened).
    const std::string frame = in + "/00001.Vorel";
    std::error_code ec;
    fs::create_symlink(t.target, frame + ".part", ec);
    for (int k = 0; k < 8; ++k) fs::create_symlink(t.target, frame + ".part" + pid + "-" + std::to_string(k), ec);
    EXPECT_EQ(vh::WriteFileAside(frame, "new", 3).error, 0) << t.kind;
    EXPECT_EQ(vh::FileSize(frame), 3) << t.kind;
    outsideIntact(t.kind);
    // The file itself a link: the write replaces the link.
    const std::string log = in + "/Vorel.log";
    fs::create_symlink(t.target, log, ec);
    EXPECT_EQ(vh::WriteFileAside(log, "log", 3).error, 0) << t.kind;
    EXPECT_FALSE(fs::is_symlink(log)) << t.kind;
    outsideIntact(t.kind);
    // Opened for writing in place: refused.
    fs::remove(log, ec);
    fs::create_symlink(t.target, log, ec);
    for (const char* mode : {"w", "wt", "a+", "wb", "r+"}) {
      std::FILE* f = vh::OpenFile(log, mode);
      EXPECT_EQ(f, nullptr) << t.kind << " " << mode;
      if (f) std::fclose(f);
    }
    outsideIntact(t.kind);
    fs::remove_all(in, ec);
    fs::create_directories(in);
  }
  // Reading through a link is no write: it still works.
  std::error_code ec;
  fs::create_symlink(out + "/file", in + "/read", ec);
  std::FILE* r = vh::OpenFile(in + "/read", "rb");
  ASSERT_NE(r, nullptr);
  std::fclose(r);
}

// With a temporary folder others may write into, the plug-ins get a private
// folder of this user inside it; a name planted there is not taken.
TEST_F(Platform, TheTemporaryFolderIsPrivateWhereOthersMayWrite) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  const std::string uid = std::to_string(unsigned(::geteuid()));
  auto tempPath = [] {
    char buf[MAX_PATH];
    return GetTempPathA(MAX_PATH, buf) > 0 ? std::string(buf) : std::string();
  };
  auto privateMode = [](const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700 &&
           st.st_uid == ::geteuid();
  };
  const struct { const char* kind; std::function<void(const std::string&)> plant; bool kept; } cases[] = {
      {"nothing there", [](const std::string&) {}, true},
      {"an own folder open to all", [](const std::string& p) { ::mkdir(p.c_str(), 0777); ::chmod(p.c_str(), 0777); }, true},
      {"a link to a folder", [&](const std::string& p) { fs::create_symlink(dir_ + "/elsewhere", p); }, false},
      {"a dangling link", [&](const std::string& p) { fs::create_symlink(dir_ + "/nowhere", p); }, false},
      {"a file", [](const std::string& p) { std::ofstream(p) << "x"; }, false},
      {"another user's folder", [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         if (::chown(p.c_str(), 1, 1) != 0) {}
       }, ::geteuid() != 0},
  };
  fs::create_directories(dir_ + "/elsewhere");
  int n = 0;
  for (const auto& c : cases) {
    const std::string shared = dir_ + "/shared" + std::to_string(n++);
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    const std::string own = shared + "/vorel-" + uid;
    c.plant(own);
    ::setenv("TMPDIR", shared.c_str(), 1);
    const std::string t = tempPath();
    ASSERT_FALSE(t.empty()) << c.kind;
    EXPECT_NE(t, shared + "/") << c.kind;
    EXPECT_EQ(t.compare(0, shared.size() + 1, shared + "/"), 0) << c.kind << ": " << t;
    if (c.kept) EXPECT_EQ(t, own + "/") << c.kind;
    else EXPECT_NE(t, own + "/") << c.kind;
    EXPECT_TRUE(privateMode(t.substr(0, t.size() - 1))) << c.kind << ": " << t;
    EXPECT_EQ(tempPath(), t) << c.kind;  // the same folder for the process
  }
  EXPECT_TRUE(fs::is_empty(dir_ + "/elsewhere"));
  EXPECT_FALSE(fs::exists(dir_ + "/nowhere"));
  // A folder only its owner writes into is used as it is.
  ::setenv("TMPDIR", dir_.c_str(), 1);
  EXPECT_EQ(tempPath(), dir_ + "/");
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
}

TEST_F(Platform, FoldersAreMadeAndTestedWithoutChangingTheCurrentFolder) {
  std::string cwd = fs::current_path().string();
  std::string sub = dir_ + "\\a";
  EXPECT_TRUE(CreateDirectoryA(sub.c_str()));
  EXPECT_FALSE(CreateDirectoryA(sub.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA((dir_ + "/x/y").c_str()));  // one level only
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(SetCurrentDirectoryA((dir_ + "/a").c_str()));
  EXPECT_FALSE(SetCurrentDirectoryA((dir_ + "/missing").c_str()));
  EXPECT_EQ(fs::current_path().string(), cwd);
  EXPECT_EQ(GetFileAttributesA(sub.c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA((dir_ + "/none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(vh::MakeDirectories(dir_ + "/p/q/r"));
  EXPECT_TRUE(vh::DirectoryExists(dir_ + "/p/q/r"));
}

TEST_F(Platform, FilesAreCopiedMovedDeletedAndMeasured) {
  Touch("f.txt", "hello");
  std::string f = dir_ + "/f.txt", g = dir_ + "\\g.txt";
  EXPECT_EQ(vh::FileSize(f), 5);
  EXPECT_EQ(vh::FileSize(dir_), -1);
  EXPECT_EQ(vh::FileSize(dir_ + "/none"), -1);
  EXPECT_TRUE(CopyFileA(f.c_str(), g.c_str(), FALSE));
  EXPECT_FALSE(CopyFileA(f.c_str(), g.c_str(), TRUE));
  Touch("f.txt", "longer text");
  EXPECT_TRUE(CopyFileA(f.c_str(), g.c_str(), FALSE));  // overwrites
  EXPECT_EQ(vh::FileSize(g), 11);
  EXPECT_FALSE(MoveFileA(f.c_str(), g.c_str()));  // target exists
  EXPECT_TRUE(MoveFileA(f.c_str(), (dir_ + "/h.txt").c_str()));
  EXPECT_FALSE(vh::FileExists(f));
  ASSERT_TRUE(CreateDirectoryA((dir_ + "/d").c_str()));
  EXPECT_TRUE(MoveFileA((dir_ + "/d").c_str(), (dir_ + "/e").c_str()));  // folders too
  EXPECT_FALSE(DeleteFileA((dir_ + "/e").c_str()));  // never a folder
  EXPECT_TRUE(DeleteFileA(g.c_str()));
  EXPECT_FALSE(DeleteFileA(g.c_str()));
  FILE* fp = vh::OpenFile(dir_ + "\\h.txt", "rt");
  ASSERT_NE(fp, nullptr);
  std::fclose(fp);
  char buf[8];
  EXPECT_TRUE(vh::CopyToBuffer("1234567", buf, sizeof(buf), "a test text"));
  EXPECT_FALSE(vh::CopyToBuffer("12345678", buf, sizeof(buf), "a test text"));
  EXPECT_STREQ(buf, "");
}

TEST_F(Platform, WildcardListingMatchesLikeTheOriginalPlatform) {
  for (const char* n : {"00002.Vorel", "00001.vorel", "x.Vorel_preset", "m00001.bin", "m00002.BIN",
                        "mesh.bin.bak", "a.VorPreset"})
    Touch(n);
  ASSERT_TRUE(CreateDirectoryA((dir_ + "/sub.Vorel").c_str()));
  EXPECT_EQ(Find("*.Vorel"),
            (std::vector<std::string>{"00001.vorel", "00002.Vorel", "sub.Vorel"}));
  EXPECT_EQ(Find("m*.bin"), (std::vector<std::string>{"m00001.bin", "m00002.BIN"}));
  EXPECT_EQ(Find("m0000?.bin"), (std::vector<std::string>{"m00001.bin", "m00002.BIN"}));
  EXPECT_EQ(Find("*.VorPreset"), (std::vector<std::string>{"a.VorPreset"}));
  EXPECT_TRUE(Find("*.prt").empty());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Find("*").size(), 8u);  // no "." or ".."
  WIN32_FIND_DATAA fd;
  EXPECT_EQ(FindFirstFileA((dir_ + "/missing/*.bin").c_str(), &fd), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextFileA(nullptr, &fd));
}

TEST_F(Platform, RegistryRoundTripsThroughItsFile) {
  const char* key = "SOFTWARE\\Kestrane\\Vorel_GPU";
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k), ERROR_FILE_NOT_FOUND);
  DWORD disp = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
  const char path[] = "/data/vorel \"gpu\"\nline two";
  ASSERT_EQ(RegSetValueExA(k, "dataPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           sizeof(path)),
            ERROR_SUCCESS);
  DWORD count = 7;
  ASSERT_EQ(RegSetValueExA(k, "count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  // Read back as another process would: through the file alone.
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software/kestrane/VOREL_GPU", 0, KEY_QUERY_VALUE, &k),
            ERROR_SUCCESS);
  char buf[MAX_PATH];
  DWORD size = sizeof(buf), type = 0;
  ASSERT_EQ(RegQueryValueExA(k, "DATAPATH", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(buf, path);
  EXPECT_EQ(size, DWORD(sizeof(path)));
  char tiny[4];
  size = sizeof(tiny);
  EXPECT_EQ(RegQueryValueExA(k, "dataPath", nullptr, &type, reinterpret_cast<BYTE*>(tiny), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, DWORD(sizeof(path)));
  // The key exists but the value does not: told apart from a missing key.
  size = sizeof(buf);
  EXPECT_EQ(RegQueryValueExA(k, "appPath", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
  DWORD got = 0;
  EXPECT_TRUE(vh::RegistryGetInt(HKEY_CURRENT_USER, key, "count", &got));
  EXPECT_EQ(got, 7u);
  std::string s;
  EXPECT_FALSE(vh::RegistryGetString(HKEY_CURRENT_USER, key, "count", &s));  // other type
  EXPECT_FALSE(vh::RegistryGetString(HKEY_LOCAL_MACHINE, key, "dataPath", &s));
  EXPECT_TRUE(vh::RegistrySetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer",
                                    "Installation Directory", "/opt/player"));
  EXPECT_TRUE(vh::RegistryGetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer",
                                    "Installation Directory", &s));
  EXPECT_EQ(s, "/opt/player");
  // A parent of a stored key opens too, even with a sibling sorting between.
  EXPECT_TRUE(vh::RegistrySetInt(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane X", "n", 1));
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(&got)), ERROR_INVALID_HANDLE);
}

// Runs body in a child process that holds the event until told to go (by
// writing to its pipe) or killed. Returns the child's pid.
pid_t ChildHoldingEvent(const char* name, int* goFd) {
  int ready[2], go[2];
  if (::pipe(ready) != 0 || ::pipe(go) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, name);
    char c = (h && GetLastError() != DWORD(ERROR_ALREADY_EXISTS)) ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(go[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  (void)!::read(ready[0], &c, 1);
  ::close(ready[0]); ::close(ready[1]); ::close(go[0]);
  *goFd = go[1];
  return c == 'y' ? pid : -1;
}

TEST_F(Platform, NamedEventLivesWhileItsHolderLives) {
  const wchar_t* wname = L"Vorel_GPU_SOLVER";
  int go = -1;
  pid_t child = ChildHoldingEvent("Vorel_GPU_SOLVER", &go);
  ASSERT_GT(child, 0);
  // The probe of the front-end: create, read the last error, close at once.
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, wname);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(CloseHandle(probe));
  EXPECT_TRUE(vh::NamedEventExists("Vorel_GPU_SOLVER"));
  char c = 'g';
  (void)!::write(go, &c, 1);
  ::close(go);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(vh::NamedEventExists("Vorel_GPU_SOLVER"));

  // A holder that is killed releases it as well.
  child = ChildHoldingEvent("Vorel_GPU_SOLVER", &go);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(vh::NamedEventExists("Vorel_GPU_SOLVER"));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(go);
  probe = CreateEventW(nullptr, TRUE, FALSE, wname);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  // Held by this process now: a second create in the same process sees it.
  HANDLE second = CreateEventA(nullptr, TRUE, FALSE, "Vorel_GPU_SOLVER");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(second);
  EXPECT_TRUE(CloseHandle(probe));
  EXPECT_FALSE(CloseHandle(probe));
  EXPECT_FALSE(vh::NamedEventExists("Vorel_GPU_SOLVER"));
  // The probes left nothing behind.
  EXPECT_TRUE(vh::ListFiles(dir_ + "/run", "*").empty());
}

TEST_F(Platform, ProgramsByNameAreRecordedOthersRunWithoutWaiting) {
  char help[] = "hh /opt/vorel/help/Vorformax.chm";
  char log[] = "notepad /tmp/Vorel/sys/Vorel.log";
  char media[] = "C:\\Program Files\\Windows Media Player/wmplayer.exe a.avi b.avi ";
  EXPECT_TRUE(CreateProcessA(nullptr, help, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                             nullptr));
  EXPECT_TRUE(CreateProcessA(nullptr, log, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                             nullptr));
  std::string quoted = std::string("\"") + media;
  quoted.insert(quoted.find(" a.avi"), "\"");
  std::vector<char> q(quoted.begin(), quoted.end());
  q.push_back('\0');
  EXPECT_TRUE(CreateProcessA(nullptr, q.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             nullptr, nullptr));
  std::string marker = dir_ + "/ran";
  std::string cmd = "/bin/sh -c \"echo started > '" + marker + "'; exit 3\"";
  std::vector<char> c(cmd.begin(), cmd.end());
  c.push_back('\0');
  STARTUPINFOA si;
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(CreateProcessA(nullptr, c.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                             nullptr, nullptr, &si, &pi));
  EXPECT_EQ(vh::WaitForProcess(pi.hProcess), 3);
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_TRUE(vh::FileExists(marker));
  char missing[] = "/no/such/program -x";
  EXPECT_FALSE(CreateProcessA(nullptr, missing, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              nullptr, nullptr));

  vh::SetRecordOnlyProcesses(true);
  char solver[] = "\"/opt/Vorel_GPU/bin/x86/Vorel_solver.exe\" -cacheDir \"/c d\"";
  EXPECT_TRUE(CreateProcessA(nullptr, solver, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             nullptr, nullptr));
  vh::SetRecordOnlyProcesses(false);

  using SP = vh::StartedProgram;
  auto started = vh::StartedPrograms();
  ASSERT_EQ(started.size(), 6u);
  EXPECT_EQ(started[0].commandLine, help);
  EXPECT_EQ(started[0].outcome, SP::kRecorded);
  EXPECT_EQ(started[1].args, (std::vector<std::string>{"notepad", "/tmp/Vorel/sys/Vorel.log"}));
  EXPECT_EQ(started[2].args[0], "C:\\Program Files\\Windows Media Player/wmplayer.exe");
  EXPECT_EQ(started[2].args.size(), 3u);
  EXPECT_EQ(started[2].outcome, SP::kRecorded);
  EXPECT_EQ(started[3].outcome, SP::kRan);
  EXPECT_GT(started[3].pid, 0);
  EXPECT_EQ(started[4].outcome, SP::kFailed);
  EXPECT_EQ(started[5].outcome, SP::kRecorded);
  EXPECT_EQ(started[5].args[2], "/c d");
}

TEST(CommandLine, SplitsQuotedTokensAndJoinsBack) {
  using V = std::vector<std::string>;
  EXPECT_EQ(vh::SplitCommandLine("  a  b\tc "), (V{"a", "b", "c"}));
  EXPECT_EQ(vh::SplitCommandLine("\"C:/x y/s.exe\" -cacheDir \"d e\""),
            (V{"C:/x y/s.exe", "-cacheDir", "d e"}));
  EXPECT_EQ(vh::SplitCommandLine("\"\" x"), (V{"", "x"}));
  EXPECT_EQ(vh::SplitCommandLine("a\"b c"), (V{"a\"b", "c"}));   // quotes inside stay
  EXPECT_EQ(vh::SplitCommandLine("\"a\"b c\" d"), (V{"a\"b c", "d"}));
  EXPECT_EQ(vh::SplitCommandLine("x \"open end"), (V{"x", "open end"}));
  EXPECT_TRUE(vh::SplitCommandLine("   ").empty());
  V args{"prog", "a b", "", "c"};
  EXPECT_EQ(vh::SplitCommandLine(vh::JoinCommandLine(args)), args);
  EXPECT_NE(std::string(GetCommandLineA()).find("host_core_tests"), std::string::npos);
}

TEST(HostDirs, FoldersFollowTheRootUnlessSet) {
  vh::SetInstallRoot("/opt/vorel/");
  EXPECT_EQ(vh::HostDirectory(APP_MAX_SYS_ROOT_DIR), "/opt/vorel");
  EXPECT_EQ(vh::HostDirectory(APP_PLUGCFG_DIR), "/opt/vorel/plugcfg");
  EXPECT_EQ(vh::HostDirectory(APP_HELP_DIR), "/opt/vorel/help");
  vh::SetHostDirectory(APP_HELP_DIR, "\\srv\\help\\");
  EXPECT_EQ(vh::HostDirectory(APP_HELP_DIR), "/srv/help");
  EXPECT_EQ(vh::HostDirectory(12345), "");
  vh::SetHostDirectory(APP_HELP_DIR, "");
  vh::SetInstallRoot("");
  std::string folder, name, ext;
  vh::SplitFilename("C:\\scenes\\pour.max", &folder, &name, &ext);
  EXPECT_EQ(folder, "C:/scenes");
  EXPECT_EQ(name, "pour");
  EXPECT_EQ(ext, ".max");
}

TEST(Containers, TabZeroesNewEntries) {
  Tab<int> t;
  int three[] = {1, 2, 3};
  EXPECT_EQ(t.Append(3, three), 0);
  t.SetCount(5);
  EXPECT_EQ(t[3], 0);
  EXPECT_EQ(t[4], 0);
  t.Delete(1, 10);
  EXPECT_EQ(t.Count(), 1);
  Tab<Point3*> p;
  p.SetCount(2);
  EXPECT_EQ(p[1], nullptr);
}

TEST(HostMath, NoiseIsDeterministicAndBoundedSmoothstepClamps) {
  float lo = 1, hi = -1;
  for (int i = 0; i < 1000; ++i) {
    Point3 p(i * 0.37f, i * 0.11f - 20.0f, i * 0.053f);
    float n = noise3(p);
    EXPECT_EQ(n, noise3(p));
    lo = std::min(lo, n);
    hi = std::max(hi, n);
  }
  EXPECT_GE(lo, -1.1f);
  EXPECT_LE(hi, 1.1f);
  EXPECT_LT(lo, -0.1f);
  EXPECT_GT(hi, 0.1f);
  EXPECT_EQ(noise3(Point3(1.0f, 2.0f, 3.0f)), 0.0f);  // zero on the lattice
  EXPECT_EQ(smoothstep(0.0f, 1.0f, -1.0f), 0.0f);
  EXPECT_EQ(smoothstep(0.0f, 1.0f, 0.5f), 0.5f);
  EXPECT_EQ(smoothstep(0.0f, 1.0f, 2.0f), 1.0f);
  EXPECT_EQ(smoothstep(1.0f, 1.0f, 1.0f), 1.0f);
}

}  // namespace
