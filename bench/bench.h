// vorel-bench registry: each area adds a bench_<area>.cpp that registers its
// measurements; every measurement prints "key: value" lines.
#pragma once
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vorel_bench {

struct Entry {
  std::string name;
  std::function<void()> run;
};

inline std::vector<Entry>& Registry() {
  static std::vector<Entry> r;
  return r;
}

struct Register {
  Register(const char* name, std::function<void()> fn) { Registry().push_back({name, std::move(fn)}); }
};

inline void Print(const std::string& key, double value) { std::printf("%s: %.6g\n", key.c_str(), value); }
inline void Print(const std::string& key, const std::string& value) {
  std::printf("%s: %s\n", key.c_str(), value.c_str());
}

// Best of `repeats` wall-clock runs, in milliseconds.
inline double TimeMs(const std::function<void()>& fn, int repeats = 3) {
  double best = 1e300;
  for (int i = 0; i < repeats; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (ms < best) best = ms;
  }
  return best;
}

}  // namespace vorel_bench

#define VOREL_BENCH_CAT2(a, b) a##b
#define VOREL_BENCH_CAT(a, b) VOREL_BENCH_CAT2(a, b)
#define VOREL_BENCH(name, fn) static ::vorel_bench::Register VOREL_BENCH_CAT(vorel_bench_reg_, __LINE__)(name, fn)
