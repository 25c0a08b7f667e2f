// vorel-bench [area ...]: runs the registered measurements (all, or those
// whose name is given) and prints key: value lines.
#include <cstring>
#include <omp.h>

#include "bench/bench.h"

int main(int argc, char** argv) {
  vorel_bench::Print("threads", omp_get_max_threads());
  int ran = 0;
  for (const auto& e : vorel_bench::Registry()) {
    bool wanted = argc < 2;
    for (int i = 1; i < argc; ++i)
      if (std::strcmp(argv[i], e.name.c_str()) == 0) wanted = true;
    if (!wanted) continue;
    e.run();
    ++ran;
  }
  vorel_bench::Print("benchmarks", ran);
  return 0;
}
