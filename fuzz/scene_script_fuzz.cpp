// Scene scripts as vorel-host runs them, plug-ins loaded. Lines that would
// reach outside the scratch folder (paths with separators, loading
// plug-ins), change the process (file size limits) or run for as long as
// the script asks (playback, renders, actions such as a solve) are left
// out: they are the user's own requests, not input the reader could
// refuse. Every input runs on a three-frame range.
#include <unistd.h>

#include <sstream>

#include "fuzz/plugin_host.h"
#include "host/sdk/max.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  LoadPlugins();
  static const bool inScratch = ::chdir(ScratchFolder().c_str()) == 0;
  Require(inScratch);
  std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::ostringstream kept;
  kept << "range 0 2\n";
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string cmd;
    words >> cmd;
    for (char& c : cmd) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (cmd == "plugins" || cmd == "play" || cmd == "render" || cmd == "range" || cmd == "tpf" ||
        cmd == "action" || cmd == "filelimit" || line.find('/') != std::string::npos ||
        line.find('\\') != std::string::npos)
      continue;
    kept << line << '\n';
  }
  GetCOREInterface()->ResetScene();
  vorel_sdk::SceneScript script = HostScript();
  std::istringstream run(kept.str());
  if (!script.Run(run, "fuzz")) Require(!script.Error().empty());
  GetCOREInterface()->ResetScene();
  return 0;
}
