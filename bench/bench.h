// vorel-bench registry: each area adds a bench_<area>.cpp that registers its
// measurements; every measurement prints "key: value" lines.
#pragma once
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// The command line after the program name; main() fills it before any area
// runs. Areas read their own "--name value" options from it.
inline std::vector<std::string>& Args() {
  static std::vector<std::string> a;
  return a;
}

// The value after the last "--name" on the command line, or `fallback`.
inline std::string Option(const std::string& name, const std::string& fallback) {
  std::string v = fallback;
  const auto& a = Args();
  for (size_t i = 0; i + 1 < a.size(); ++i)
    if (a[i] == "--" + name) v = a[i + 1];
  return v;
}
inline long OptionLong(const std::string& name, long fallback) {
  std::string v = Option(name, "");
  return v.empty() ? fallback : std::atol(v.c_str());
}
inline double OptionDouble(const std::string& name, double fallback) {
  std::string v = Option(name, "");
  return v.empty() ? fallback : std::atof(v.c_str());
}

// The process's peak resident memory so far, in MiB.
inline double PeakRssMb() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

inline void Print(const std::string& key, double value) {
  // Counts print whole; measurements keep six significant digits.
  if (value == static_cast<double>(static_cast<long long>(value)) && value < 1e15 && value > -1e15)
    std::printf("%s: %lld\n", key.c_str(), static_cast<long long>(value));
  else
    std::printf("%s: %.6g\n", key.c_str(), value);
  std::fflush(stdout);
}
inline void Print(const std::string& key, const std::string& value) {
  std::printf("%s: %s\n", key.c_str(), value.c_str());
  std::fflush(stdout);
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

// What `threads` threads of plain arithmetic (no memory traffic) gain here
// over one, each doing the work one did: `slowest` by the slowest thread's
// time, the most a loop that waits for all its threads can gain on this
// machine now; `capacity`, the sum of the threads' rates, the most perfectly
// balanced work can gain. Both fall below the thread count where the host
// of a virtual machine runs other work on its cores, which the load average
// inside does not show.
struct CoreCapacity {
  double slowest, capacity;
};
CoreCapacity MeasureCores(int threads);
// Prints both, as <prefix>slowest_speedup and <prefix>capacity.
void PrintCores(const std::string& prefix, int threads);

// Threads that spin at the phase barriers lose badly once other work shares
// the cores (8 threads then run slower than one), and the OpenMP runtime
// reads its wait policy only at start-up: a run that asks for `area` starts
// itself again with a passive policy unless one was chosen. Answers false
// when it carries on as it is (no restart wanted, or it could not restart).
inline bool RestartWithPassiveWaitsFor(const char* area) {
  if (std::getenv("OMP_WAIT_POLICY")) return false;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string a;
  while (std::getline(in, a, '\0')) args.push_back(a);
  bool asked = false;
  for (size_t i = 1; i < args.size(); ++i) asked = asked || args[i] == area;
  if (!asked) return false;
  setenv("OMP_WAIT_POLICY", "passive", 1);
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  execv("/proc/self/exe", argv.data());
  return false;
}

}  // namespace vorel_bench

#define VOREL_BENCH_CAT2(a, b) a##b
#define VOREL_BENCH_CAT(a, b) VOREL_BENCH_CAT2(a, b)
#define VOREL_BENCH(name, fn) static ::vorel_bench::Register VOREL_BENCH_CAT(vorel_bench_reg_, __LINE__)(name, fn)
