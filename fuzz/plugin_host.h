// For the drivers that read scenes: the host as vorel-host runs it, with the
// headless UI and the build's four plug-ins loaded once (fluid system,
// emitter, ghost, force fields, GPU fluid, wrapper, baker), so that every
// plug-in's chunk readers see the input. Caches and temporary files go to
// the driver's scratch folder.
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/sdk/interface.h"
#include "host/sdk/script.h"
#include "host/ui/script.h"
#include "host/ui/ui_host.h"

namespace vorel_fuzz {

inline void LoadPlugins() {
  static const bool loaded = [] {
    const std::string scratch = ScratchFolder();
    // Read once by the OpenMP runtime, which the plug-ins bring in: one
    // sleeping thread leaves the cores to the fuzzers beside this one.
    ::setenv("OMP_WAIT_POLICY", "passive", 0);
    ::setenv("OMP_NUM_THREADS", "1", 0);
    ::setenv("TMPDIR", scratch.c_str(), 1);
    vorel_ui::InstallHeadlessUI();
    std::vector<std::string> errs;
    const int n = PluginManager::Get().LoadFolder(VOREL_FUZZ_PLUGIN_DIR, errs);
    vorel_ui::SyncClassActionTables();
    return n == 4 && errs.empty();
  }();
  Require(loaded);
}

// A script runner with vorel-host's "ui" command.
inline vorel_sdk::SceneScript HostScript() {
  vorel_sdk::SceneScript script([](const std::string&) {});
  script.AddCommand("ui", [](const std::string& rest, std::ostream& out, std::string& err) {
    return vorel_ui::RunUiCommand(rest, out, &err);
  });
  return script;
}

}  // namespace vorel_fuzz
