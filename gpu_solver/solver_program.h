// The Vorel_solver program: start-up checks, the run, and the exit code.
// Shared by the CPU and CUDA builds of the program; the back-end comes with
// the particle system the program is linked with.
#pragma once

namespace vorel_gpu {

// Runs the program on this process's command line; returns the exit code.
int SolverProgramMain();

}  // namespace vorel_gpu
