// What the machine's cores give at once, beside the solver's and the
// mesher's speed-ups: on a virtual machine the host may run other work on
// the same cores, which no load average inside shows.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/bench.h"

namespace vorel_bench {
namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Eight independent multiply-add chains: arithmetic only, no memory
// traffic. The factors come through a volatile so that nothing is folded.
__attribute__((noinline)) float Arithmetic(long rounds) {
  static volatile float factor = 0.9999f, offset = 0.0001f;
  const float m = factor, c = offset;
  float a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (long r = 0; r < rounds; ++r)
    for (float& x : a) x = x * m + c;
  float sum = 0;
  for (float x : a) sum += x;
  return sum;
}

}  // namespace

CoreCapacity MeasureCores(int threads) {
  constexpr long kRounds = 4000000;  // about 30 ms on one core
  constexpr int kTrials = 5;
  std::vector<CoreCapacity> trials;
  volatile float sink = 0;
  for (int k = 0; k < kTrials; ++k) {
    const double t0 = Now();
    sink = sink + Arithmetic(kRounds);
    const double one = Now() - t0;
    std::vector<double> each(size_t(threads), 0.0);
#pragma omp parallel num_threads(threads)
    {
#pragma omp barrier
      const double s = Now();
      const float v = Arithmetic(kRounds);
      each[size_t(omp_get_thread_num())] = Now() - s;
      if (v == 0.0f) sink = v;
    }
    CoreCapacity c{0.0, 0.0};
    double slowest = 0.0;
    for (double t : each) {
      slowest = std::max(slowest, t);
      c.capacity += one / t;
    }
    c.slowest = threads * one / slowest;
    trials.push_back(c);
  }
  // The trial of median capacity.
  std::sort(trials.begin(), trials.end(),
            [](const CoreCapacity& a, const CoreCapacity& b) { return a.capacity < b.capacity; });
  return trials[trials.size() / 2];
}

void PrintCores(const std::string& prefix, int threads) {
  const CoreCapacity c = MeasureCores(threads);
  Print(prefix + "slowest_speedup", c.slowest);
  Print(prefix + "capacity", c.capacity);
}

}  // namespace vorel_bench

VOREL_BENCH("cores", [] { vorel_bench::PrintCores("cores_", omp_get_max_threads()); });
