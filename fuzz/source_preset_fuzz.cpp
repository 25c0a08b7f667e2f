// Source presets (".VorPreset" text files) as the preset loader parses them.
#include "fluid_plugin/source_presets.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  PresetValues v;
  std::string error;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!ParsePresetText(text, v, error)) {
    Require(!error.empty());
    return 0;
  }
  // What was read is written back as a preset that reads again.
  PresetValues again;
  Require(ParsePresetText(FormatPresetText(v), again, error));
  return 0;
}
