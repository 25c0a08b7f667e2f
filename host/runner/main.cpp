// vorel-host: the headless host. Loads the plug-ins of a folder and runs a
// scene script (a file, or standard input), printing what the script prints
// and what the prompt line and message boxes show.
//   vorel-host [--plugins <folder>] [<script.vhs> | -]
#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "host/core/interaction.h"
#include "host/sdk/interface.h"
#include "host/sdk/script.h"
#include "host/ui/script.h"
#include "host/ui/ui_host.h"

namespace {
constexpr const char* kUsage = "usage: vorel-host [--plugins <folder>] [<script.vhs> | -]\n";
// A usage mistake: the usage on standard error, exit code 2.
int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// The plug-ins' solvers run parallel loops whose threads wait for each
// other at every phase. Left to spin there, they take the cores from the
// threads doing the work as soon as anything else runs on the machine, and
// a frame costs many times its work; sleeping threads do not. The OpenMP
// runtime reads its wait policy once, when it loads, and the plug-ins
// bring it in, so setting the policy before they load is enough; should the
// runtime be in the process already, the host starts its own image again
// with the setting (same pid, arguments and input). A policy the user chose
// is kept.
void UsePassiveOpenMpWaits(char** argv) {
  if (std::getenv("OMP_WAIT_POLICY") || ::setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
  void* loaded = ::dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD);
  if (!loaded) return;
  ::dlclose(loaded);
  // Started through the dynamic loader by hand, /proc/self/exe is the
  // loader: no restart then (the wait policy stays the runtime's default).
  if (getauxval(AT_BASE) != 0) ::execv("/proc/self/exe", argv);
}
}  // namespace

int main(int argc, char** argv) {
  UsePassiveOpenMpWaits(argv);
  std::string plugins = VOREL_DEFAULT_PLUGIN_DIR;
  std::string script = "-";
  bool haveScript = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--plugins" && i + 1 < argc) {
      plugins = argv[++i];
    } else if (a == "-h" || a == "--help") {
      // Asked for: the usage once on standard output, and success.
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "vorel-host: unknown option %s\n", a.c_str());
      return Usage();
    } else if (!haveScript) {
      script = a;
      haveScript = true;
    } else {
      return Usage();
    }
  }
  vorel_ui::InstallHeadlessUI();
  vorel::host::SetEcho([](const std::string& kind, const std::string& text) {
    std::printf("[%s] %s\n", kind.c_str(), text.c_str());
    std::fflush(stdout);
  });
  std::vector<std::string> errs;
  int n = PluginManager::Get().LoadFolder(plugins, errs);
  for (const std::string& e : errs) std::fprintf(stderr, "vorel-host: %s\n", e.c_str());
  std::printf("vorel-host: %d plug-in(s) loaded from %s\n", n, plugins.c_str());

  vorel_sdk::SceneScript run([](const std::string& s) {
    std::printf("%s\n", s.c_str());
    std::fflush(stdout);
  });
  vorel_ui::SyncClassActionTables();
  run.AddCommand("ui", [](const std::string& rest, std::ostream& out, std::string& err) {
    return vorel_ui::RunUiCommand(rest, out, &err);
  });
  bool ok;
  if (script == "-") {
    ok = run.Run(std::cin, "stdin");
  } else {
    std::ifstream f(script);
    if (!f) {
      std::fprintf(stderr, "vorel-host: cannot open %s\n", script.c_str());
      return 1;
    }
    ok = run.Run(f, script);
  }
  if (!ok) std::fprintf(stderr, "vorel-host: %s\n", run.Error().c_str());
  std::fflush(stdout);
  // Objects of plug-in classes may outlive the libraries' static data at
  // exit: leave without tearing the scene down.
  std::_Exit(ok ? 0 : 1);
}
