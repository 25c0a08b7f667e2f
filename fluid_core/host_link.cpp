#include "fluid_core/host_link.h"

#include "host/core/clock.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"

namespace solver_host {
namespace {
std::function<bool()>& AbortHook() {
  static std::function<bool()> hook;
  return hook;
}
}  // namespace

bool AbortRequested() {
  auto& hook = AbortHook();
  if (hook) return hook();
  // The host's own test: let it handle its messages, then Escape counts
  // only while the host's window is in front.
  vorel::host::ProcessPendingMessages();
  if (GetForegroundWindow() != vorel::host::MainWindow()) return false;
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
}

void SetAbortTest(std::function<bool()> test) { AbortHook() = std::move(test); }

int Rand15() { return HostRand(); }

void SeedRand(unsigned seed) { HostSRand(seed); }

unsigned ClockMs() { return unsigned(GetTickCount()); }

std::string InstallFolder() { return vorel::host::HostDirectory(APP_MAX_SYS_ROOT_DIR); }

std::string TempPath() {
  char buf[4096];
  DWORD n = GetTempPathA(sizeof buf, buf);
  return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string("/tmp/");
}
}  // namespace solver_host
