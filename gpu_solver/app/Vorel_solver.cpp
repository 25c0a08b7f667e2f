// Vorel_solver: simulates the particles of one cache directory and writes
// one particle frame per frame (see solver_program.h).
#include "gpu_solver/solver_program.h"

int main() { return vorel_gpu::SolverProgramMain(); }
