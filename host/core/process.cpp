#include "host/core/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "host/core/files.h"
#include "host/core/handles.h"

extern char** environ;

namespace {

std::mutex g_mutex;
std::vector<vorel::host::StartedProgram> g_started;
std::string g_runtimeOverride;
bool g_recordOnly = false;

void RecordStart(const vorel::host::StartedProgram& rec) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_started.push_back(rec);
}

// Keeps the exit code of a started program that was waited for, for
// StartedProgramExitCode (a wait takes it from the system once only).
void NoteExit(pid_t pid, int code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (vorel::host::StartedProgram& p : g_started)
    if (p.outcome == vorel::host::StartedProgram::kRan && p.pid == int(pid) && p.exitCode < 0) p.exitCode = code;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

bool RecordOnly() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_recordOnly;
}

struct ProcessHandle : vorel::host::detail::HandleObject {
  pid_t pid = 0;
  bool reaped = false;
  int exitCode = -1;
  ~ProcessHandle() override {
    // Reap it if it has already ended so it leaves no zombie behind; a
    // running child stays a child of ours and is reaped when we exit.
    int status = 0;
    if (!reaped && pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) NoteExit(pid, ExitCodeOf(status));
  }
};

// A held named event: the open, flocked lock file.
struct EventHandle : vorel::host::detail::HandleObject {
  int fd = -1;
  std::string path;
  ~EventHandle() override {
    if (fd >= 0) {
      // Unlink while still holding the lock: a process that opened the old
      // file re-checks the inode after locking and starts over.
      ::unlink(path.c_str());
      ::close(fd);
    }
  }
};

// A handle to an event some other holder keeps alive; it holds nothing.
struct EventAlias : vorel::host::detail::HandleObject {};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Lock file name: the event name with anything outside [A-Za-z0-9_.-] as %XX.
std::string EventFile(const std::string& name) {
  std::string safe;
  static const char* hex = "0123456789ABCDEF";
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '_' || c == '-' || c == '.') {
      safe += char(c);
    } else {
      safe += '%';
      safe += hex[c >> 4];
      safe += hex[c & 15];
    }
  }
  return vorel::host::RuntimeFolder() + "/event-" + safe;
}

// Tries to become the holder of the event: the locked fd, -1 when another
// holder has it, -2 on an error.
int AcquireEvent(const std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -2;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      ::close(fd);
      return e == EWOULDBLOCK ? -1 : -2;
    }
    // The holder may have unlinked the file between our open and our lock.
    struct stat a, b;
    if (::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
        a.st_dev == b.st_dev)
      return fd;
    ::close(fd);
  }
  return -2;
}

HANDLE CreateNamedEvent(const std::string& name) {
  if (name.empty()) {
    // An unnamed event exists only through its handle.
    SetLastError(DWORD(ERROR_SUCCESS));
    return vorel::host::detail::AddHandle(new EventAlias);
  }
  std::string folder = vorel::host::RuntimeFolder();
  if (!vorel::host::MakeDirectories(folder)) {
    SetLastError(DWORD(ERROR_PATH_NOT_FOUND));
    return nullptr;
  }
  std::string path = EventFile(name);
  int fd = AcquireEvent(path);
  if (fd == -2) {
    SetLastError(DWORD(ERROR_ACCESS_DENIED));
    return nullptr;
  }
  if (fd == -1) {
    HANDLE h = vorel::host::detail::AddHandle(new EventAlias);
    SetLastError(DWORD(ERROR_ALREADY_EXISTS));
    return h;
  }
  auto* e = new EventHandle;
  e->fd = fd;
  e->path = path;
  HANDLE h = vorel::host::detail::AddHandle(e);
  SetLastError(DWORD(ERROR_SUCCESS));
  return h;
}

std::string FindInPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string cand = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(cand.c_str(), X_OK) == 0) return cand;
    start = end + 1;
  }
  return program;
}

}  // namespace

BOOL CreateProcessA(const char* application, char* commandLine, void*, void*, BOOL, DWORD,
                    void*, const char* currentDirectory, STARTUPINFOA*,
                    PROCESS_INFORMATION* info) {
  if (info) *info = PROCESS_INFORMATION();
  vorel::host::StartedProgram rec;
  rec.commandLine = commandLine ? commandLine : "";
  rec.args = vorel::host::SplitCommandLine(rec.commandLine);
  std::string program = application ? vorel::host::NormalizePath(application)
                                     : (rec.args.empty() ? "" : vorel::host::NormalizePath(rec.args[0]));
  if (program.empty()) {
    rec.outcome = vorel::host::StartedProgram::kFailed;
    RecordStart(rec);
    SetLastError(DWORD(ERROR_FILE_NOT_FOUND));
    return FALSE;
  }
  if (RecordOnly() || vorel::host::IsProgramStartedByName(program)) {
    RecordStart(rec);
    return TRUE;
  }
  std::vector<std::string> args = rec.args;
  if (args.empty()) args.push_back(program);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string cwd = currentDirectory ? vorel::host::NormalizePath(currentDirectory) : "";
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
#endif
  pid_t pid = 0;
  std::string exe = FindInPath(program);
  int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    rec.outcome = vorel::host::StartedProgram::kFailed;
    RecordStart(rec);
    SetLastError(DWORD(rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED));
    return FALSE;
  }
  rec.outcome = vorel::host::StartedProgram::kRan;
  rec.pid = int(pid);
  RecordStart(rec);
  auto* ph = new ProcessHandle;
  ph->pid = pid;
  HANDLE h = vorel::host::detail::AddHandle(ph);
  if (info) {
    info->hProcess = h;
    info->dwProcessId = DWORD(pid);
  } else {
    CloseHandle(h);
  }
  return TRUE;
}

HANDLE CreateEventA(void*, BOOL, BOOL, const char* name) {
  return CreateNamedEvent(name ? name : "");
}

HANDLE CreateEventW(void*, BOOL, BOOL, const wchar_t* name) {
  // Event names are ASCII in practice; wider characters are kept as UTF-8.
  std::string n;
  for (const wchar_t* c = name; c && *c; ++c) {
    uint32_t u = uint32_t(*c);
    if (u < 0x80) {
      n += char(u);
    } else if (u < 0x800) {
      n += char(0xC0 | (u >> 6)); n += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      n += char(0xE0 | (u >> 12)); n += char(0x80 | ((u >> 6) & 0x3F)); n += char(0x80 | (u & 0x3F));
    } else {
      n += char(0xF0 | (u >> 18)); n += char(0x80 | ((u >> 12) & 0x3F));
      n += char(0x80 | ((u >> 6) & 0x3F)); n += char(0x80 | (u & 0x3F));
    }
  }
  return CreateNamedEvent(n);
}

char* GetCommandLineA() {
  static std::string line;
  static std::once_flag once;
  std::call_once(once, [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i < raw.size(); ++i)
      if (raw[i] == '\0') { args.push_back(raw.substr(start, i - start)); start = i + 1; }
    if (start < raw.size()) args.push_back(raw.substr(start));
    line = vorel::host::JoinCommandLine(args);
  });
  return &line[0];
}

namespace vorel::host {

std::vector<StartedProgram> StartedPrograms() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_started;
}

void ClearStartedPrograms() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_started.clear();
}

void SetRecordOnlyProcesses(bool on) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_recordOnly = on;
}

bool IsProgramStartedByName(const std::string& program) {
  std::string p = NormalizePath(program);
  size_t slash = p.rfind('/');
  std::string base = Lower(slash == std::string::npos ? p : p.substr(slash + 1));
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".exe") == 0)
    base.resize(base.size() - 4);
  return base == "hh" || base == "notepad" || base == "wmplayer";
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  size_t i = 0, n = line.size();
  while (true) {
    while (i < n && blank(line[i])) ++i;
    if (i >= n) break;
    if (line[i] == '"') {
      size_t j = i + 1;
      while (j < n && !(line[j] == '"' && (j + 1 == n || blank(line[j + 1])))) ++j;
      out.push_back(line.substr(i + 1, j - i - 1));
      if (j >= n) break;  // no closing quote: the token ran to the end
      i = j + 2;
    } else {
      size_t j = i;
      while (j < n && !blank(line[j])) ++j;
      out.push_back(line.substr(i, j - i));
      i = j;
    }
  }
  return out;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) line += ' ';
    const std::string& a = args[i];
    bool quote = a.empty() || a.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + a + "\"" : a;
  }
  return line;
}

void SetRuntimeFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_runtimeOverride = folder;
}

std::string RuntimeFolder() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_runtimeOverride.empty()) return g_runtimeOverride;
  }
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg && DirectoryExists(xdg)) return std::string(xdg) + "/vorel";
  return TempPath() + "vorel-" + std::to_string(unsigned(::getuid()));
}

bool NamedEventExists(const std::string& name) {
  std::string path = EventFile(name);
  if (!FileExists(path)) return false;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (!held) {
    // Nobody holds it: a leftover from a holder that died before unlinking.
    struct stat a, b;
    if (::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino)
      ::unlink(path.c_str());
  }
  ::close(fd);
  return held;
}

int WaitForStartedProgram(int pid) {
  if (pid <= 0) return -1;
  bool ours = false;
  for (const StartedProgram& p : StartedPrograms()) ours = ours || (p.outcome == StartedProgram::kRan && p.pid == pid);
  if (!ours) return -1;
  int status = 0;
  pid_t r;
  do { r = ::waitpid(pid_t(pid), &status, 0); } while (r < 0 && errno == EINTR);
  if (r != pid_t(pid)) return -1;
  NoteExit(r, ExitCodeOf(status));
  return ExitCodeOf(status);
}

int StartedProgramExitCode(int pid) {
  if (pid <= 0) return -1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    // The latest start with the pid: an earlier one may have had it before.
    const auto it = std::find_if(g_started.rbegin(), g_started.rend(), [pid](const StartedProgram& p) {
      return p.outcome == StartedProgram::kRan && p.pid == pid;
    });
    if (it == g_started.rend()) return -1;
    if (it->exitCode >= 0) return it->exitCode;
  }
  int status = 0;
  pid_t r;
  do { r = ::waitpid(pid_t(pid), &status, WNOHANG); } while (r < 0 && errno == EINTR);
  if (r != pid_t(pid)) return -1;
  NoteExit(r, ExitCodeOf(status));
  return ExitCodeOf(status);
}

bool StartedProgramRunning(int pid) {
  if (pid <= 0) return false;
  bool ours = false;
  for (const StartedProgram& p : StartedPrograms()) ours = ours || (p.outcome == StartedProgram::kRan && p.pid == pid);
  if (!ours) return false;
  // An ended child that nobody has waited for yet stays listed as a zombie.
  std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (!f) return false;
  char buf[512] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  const std::string stat(buf, n);
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  const char state = stat[close + 2];
  return state != 'Z' && state != 'X';
}

int WaitForProcess(HANDLE process) {
  auto* ph = detail::HandleAs<ProcessHandle>(process);
  if (!ph) return -1;
  if (!ph->reaped) {
    int status = 0;
    pid_t r;
    do { r = ::waitpid(ph->pid, &status, 0); } while (r < 0 && errno == EINTR);
    ph->reaped = true;
    if (r == ph->pid) {
      ph->exitCode = ExitCodeOf(status);
      NoteExit(r, ph->exitCode);
    }
  }
  return ph->exitCode;
}

}  // namespace vorel::host
