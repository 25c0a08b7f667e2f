// Imported source frames (%05d.source) read into the solver. One solver
// serves every input (building one costs more than reading a file): its
// particles are dropped after each.
#include "fluid_core/solver.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  static FluidSolver solver(1000.0, 1000.0f, 1.0f / 30.0f);
  WriteInput("00003.source", data, size);
  solver.count = 0;
  const int got = solver.ReadSourceFile(6.0f, 0.0f, 3, 0, ScratchFolder());
  Require(got >= 0 && got == solver.count);
  Require(size < 140 || int64_t(got) * 24 <= int64_t(size) - 140);
  solver.count = 0;
  return 0;
}
