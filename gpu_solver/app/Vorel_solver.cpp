// Vorel_solver: simulates the particles of one cache directory and writes
// one particle frame per frame (see solver_program.h).
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "gpu_solver/device.h"
#include "gpu_solver/solver_program.h"

int main(int, char** argv) {
  // The CPU back-end's OpenMP threads would otherwise spin at every barrier;
  // next to a busy host application that costs far more than it saves. The
  // runtime reads its wait policy once at load, so the program restarts
  // itself (same process) with the policy set, unless the user chose one.
  if (std::strcmp(vorel_gpu::BackendName(), "cpu") == 0 && !std::getenv("OMP_WAIT_POLICY")) {
    ::setenv("OMP_WAIT_POLICY", "passive", 1);
    ::execv("/proc/self/exe", argv);  // returns only on failure: run as is
  }
  return vorel_gpu::SolverProgramMain();
}
