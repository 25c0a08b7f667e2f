#include "fluid_plugin/host_helpers.h"

#include <vector>

#include "fluid_plugin/progress_dialog.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"
#include "host/core/process.h"

namespace {

// Starts a program by its command line: no inherited handles, default
// flags, no wait; the result is ignored as the launchers are silent.
void Launch(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA si;
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) &&
      pi.hProcess)
    CloseHandle(pi.hProcess);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

std::string GetSceneFilePath() { return GetCOREInterface()->GetCurFilePath(); }

TimeValue GetSceneTime() { return GetCOREInterface()->GetTime(); }

bool HostWindowIsForeground() {
  HWND fg = GetForegroundWindow();
  if (!fg) return false;
  if (fg == GetCOREInterface()->GetMAXHWnd() || fg == vorel::host::MainWindow()) return true;
  return fg == OpenProgressDialog();
}

std::string SolveLogCommandLine(const std::string& cacheRoot, const std::string& systemName) {
  return "notepad " + Quoted(cacheRoot + "/Vorel/" + systemName + "/Vorel.log");
}

std::string HelpCommandLine() {
  return "hh " + Quoted(GetCOREInterface()->GetDir(APP_HELP_DIR) + "/Vorformax.chm");
}

void OpenSolveLog(const std::string& cacheRoot, const std::string& systemName) {
  Launch(SolveLogCommandLine(cacheRoot, systemName));
}

void OpenHelp() { Launch(HelpCommandLine()); }
