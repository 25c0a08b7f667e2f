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
  Require(s.maxFrames >= 1 && s.fromFrame >= 0);
  Require(s.settleFrames >= 0 && s.settleFrames <= 2500 && std::fabs(s.gravity) <= 1000.0f);
  Require(s.bounce >= 0.0f && s.bounce <= 1.0f && s.viscosity >= 0.0f && s.viscosity <= 250.0f);
  Require(s.friction >= 0.0f && s.friction <= 1000.0f && s.collisionStrength >= 1.0f && s.collisionStrength <= 2.0f);
  return 0;
}
