// vorel-bench [area ...] [--option value ...]: runs the registered
// measurements (all, or the areas named) and prints key: value lines.
#include <omp.h>

#include <set>

#include "bench/bench.h"

int main(int argc, char** argv) {
  std::set<std::string> areas;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    vorel_bench::Args().push_back(a);
    if (a.rfind("--", 0) == 0) {
      // An option's value is never an area name.
      if (i + 1 < argc) vorel_bench::Args().push_back(argv[++i]);
    } else {
      areas.insert(a);
    }
  }
  vorel_bench::Print("threads", omp_get_max_threads());
  int ran = 0;
  for (const auto& e : vorel_bench::Registry()) {
    if (!areas.empty() && !areas.count(e.name)) continue;
    e.run();
    ++ran;
  }
  vorel_bench::Print("benchmarks", ran);
  return ran > 0 || areas.empty() ? 0 : 1;
}
