// The plug-in ini file (plugcfg/Vorel.ini).
#include "fluid_core/plugin_ini.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  const std::string path = WriteInput("Vorel.ini", data, size);
  PluginDefaults d;
  std::string temp;
  PluginIniFile::Read(path, "/fallback/", d, temp);
  Require(!temp.empty());
  return 0;
}
