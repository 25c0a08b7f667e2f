// Scene scripts as vorel-host runs them. Lines that would reach outside the
// scratch folder (paths with separators, loading plug-ins) or run for as
// long as the script asks (playback, renders) are left out: they are the
// user's own requests, not input the reader could refuse.
#include <unistd.h>

#include <sstream>

#include "fuzz/fuzz_support.h"
#include "host/sdk/max.h"
#include "host/sdk/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  static const bool inScratch = ::chdir(ScratchFolder().c_str()) == 0;
  Require(inScratch);
  std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::ostringstream kept;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string cmd;
    words >> cmd;
    for (char& c : cmd) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (cmd == "plugins" || cmd == "play" || cmd == "render" || cmd == "range" || cmd == "tpf" ||
        line.find('/') != std::string::npos || line.find('\\') != std::string::npos)
      continue;
    kept << line << '\n';
  }
  GetCOREInterface()->ResetScene();
  vorel_sdk::SceneScript script([](const std::string&) {});
  std::istringstream run(kept.str());
  if (!script.Run(run, "fuzz")) Require(!script.Error().empty());
  GetCOREInterface()->ResetScene();
  return 0;
}
