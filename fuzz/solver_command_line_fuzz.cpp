// The solver program's command line, split and parsed.
#include <cmath>
#include <string>

#include "fuzz/fuzz_support.h"
#include "gpu_solver/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  using namespace vorel_gpu;
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> tokens;
  std::string error;
  if (!SplitCommandLine(line, &tokens, &error)) return 0;
  for (const std::string& t : tokens) Require(t.size() <= kMaxTokenLength);
  RunSettings s;
  if (!ParseOptions(tokens, &s, &error)) {
    Require(!error.empty());
    return 0;
  }
  // What the parser lets through is a run the solver can make.
  Require(!s.cacheDir.empty() && s.frameRate >= 1 && s.frameRate <= 4800);
  Require(s.maxFrames >= 0 && s.fromFrame >= 0);
  for (float v : {s.gravity, s.viscosity, s.bounce, s.friction, s.collisionStrength}) Require(std::isfinite(v));
  return 0;
}
