// Starting programs, named events and the command line, with the Win32
// names the plug-ins and the solver program call.
#pragma once
#include <string>
#include <vector>

#include "host/core/win32.h"

struct STARTUPINFOA {
  DWORD cb = 0;
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
};
struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

// Starts a program and does not wait for it. Without an application name the
// first token of the command line names the program (split as in
// vorel::host::SplitCommandLine; a name without "/" is looked up in PATH).
// Every start is recorded, failed ones too. Programs started by name that a desktop would
// open (the help viewer "hh", the text editor "notepad", the media player
// "wmplayer.exe") are only recorded, never run, and report success.
// hProcess (when info is given) is a handle to close with CloseHandle;
// hThread stays null.
BOOL CreateProcessA(const char* application, char* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    void* environment, const char* currentDirectory, STARTUPINFOA* startup,
                    PROCESS_INFORMATION* info);

// A named event exists while some process holds a handle to it and vanishes
// when the last holder closes it or dies, crashes included (an flock on a
// file in the runtime folder). Creating one that exists elsewhere returns a
// handle that holds nothing and sets ERROR_ALREADY_EXISTS; otherwise the
// last error is ERROR_SUCCESS. The event is never signalled here: the
// plug-ins use it only to mark a running program. Null on failure.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, const wchar_t* name);

// This process's command line: the arguments joined by blanks, each holding
// blanks or tabs (or empty) wrapped in double quotes.
char* GetCommandLineA();

typedef STARTUPINFOA STARTUPINFO;
inline BOOL CreateProcess(const char* application, char* commandLine, void* processAttributes,
                          void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                          void* environment, const char* currentDirectory, STARTUPINFOA* startup,
                          PROCESS_INFORMATION* info) {
  return CreateProcessA(application, commandLine, processAttributes, threadAttributes,
                        inheritHandles, creationFlags, environment, currentDirectory, startup, info);
}
inline char* GetCommandLine() { return GetCommandLineA(); }
inline HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState, const char* name) {
  return CreateEventA(security, manualReset, initialState, name);
}

namespace vorel::host {

// One program start as recorded by CreateProcessA.
struct StartedProgram {
  enum Outcome { kRecorded, kRan, kFailed };
  std::string commandLine;
  std::vector<std::string> args;  // after splitting
  Outcome outcome = kRecorded;    // kRecorded: not run (by name, or record-only mode)
  int pid = 0;                    // 0 when not run
  int exitCode = -1;              // once it has ended and was waited for
};
std::vector<StartedProgram> StartedPrograms();
void ClearStartedPrograms();
// With on, CreateProcessA runs nothing: every start is recorded and reports
// success (tests of code that starts other programs).
void SetRecordOnlyProcesses(bool on);
// True when the program token (path and ".exe" ignored, case-insensitive)
// names one of the desktop programs that are recorded instead of run.
bool IsProgramStartedByName(const std::string& program);

// Splits a command line: blanks and tabs separate tokens; a token that
// starts with a double quote runs to the next double quote followed by
// white space or the end (quotes removed); quotes inside an unquoted token
// are kept.
std::vector<std::string> SplitCommandLine(const std::string& line);
// Joins arguments the way GetCommandLineA does.
std::string JoinCommandLine(const std::vector<std::string>& args);

// Folder of the named-event lock files: $XDG_RUNTIME_DIR/vorel, else
// <temp>/vorel-<uid>; tests may point it elsewhere (empty = default).
void SetRuntimeFolder(const std::string& folder);
std::string RuntimeFolder();
// True when some process (this one included) holds the named event; leaves
// nothing behind.
bool NamedEventExists(const std::string& name);
// Waits for a process started by CreateProcessA (its handle) to end; its
// exit code, or -1 when the handle is not such a process.
int WaitForProcess(HANDLE process);
// Waits for a program that CreateProcessA started (by its pid, whether or
// not its handle was closed) to end; its exit code, -1 when no such program
// of this process is left to wait for (never started here, or waited for
// already).
int WaitForStartedProgram(int pid);
// True while a program that CreateProcessA started (by its pid) has not
// ended; false for any other pid.
bool StartedProgramRunning(int pid);
// The exit code of a program that CreateProcessA started (by its pid) once
// it has ended, whoever waited for it; -1 while it runs, and for any other
// pid. Never waits.
int StartedProgramExitCode(int pid);

}  // namespace vorel::host
