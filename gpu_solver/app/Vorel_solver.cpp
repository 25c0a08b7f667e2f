// Vorel_solver: simulates the particles of one cache directory and writes
// one particle frame per frame (see solver_program.h).
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "gpu_solver/device.h"
#include "gpu_solver/solver_program.h"

namespace {

// The CPU back-end's OpenMP threads spin at every barrier by default. When
// the machine is busy (the host application, other jobs) the spinning
// threads take the cores from the ones doing the work, and a run gets
// several times slower; sleeping threads avoid that. The OpenMP runtime
// reads its wait policy once, while it loads, so the program restarts its
// own image with the policy set, unless the user chose one.
//
// The restart keeps the process (same pid, so signals and the exit code
// reach whoever started it), its arguments (the command line the program
// reads is unchanged) and its environment plus the one variable. It is
// skipped where /proc/self/exe is not the program itself: started through
// the dynamic loader by hand, /proc/self/exe is the loader, which would
// take the first option for the program to run. A failed restart runs on
// as is.
void UsePassiveOpenMpWaits(char** argv) {
  if (std::strcmp(vorel_gpu::BackendName(), "cpu") != 0 || std::getenv("OMP_WAIT_POLICY")) return;
  if (getauxval(AT_BASE) == 0) return;  // no interpreter loaded this image: see above
  if (::setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;  // set, or no restart (no loop)
  ::execv("/proc/self/exe", argv);
}

}  // namespace

int main(int, char** argv) {
  UsePassiveOpenMpWaits(argv);
  return vorel_gpu::SolverProgramMain();
}
