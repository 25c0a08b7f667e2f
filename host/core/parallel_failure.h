// ParallelFailure: carries an exception out of an OpenMP parallel region,
// which no exception may leave (the runtime ends the process). Used by the
// solver's and the mesher's parallel passes that allocate.
#pragma once
#include <atomic>
#include <exception>

namespace vorel::host {

// One per parallel pass, made before the region. Each iteration runs its
// work through Run, which keeps the first exception thrown and swallows the
// rest; once one is kept, Failed() lets the other iterations skip their
// work. After the region, Rethrow() throws the kept exception on the
// calling thread, so the pass fails as its serial form would. The try block
// costs nothing while nothing throws; Failed() is one relaxed load.
class ParallelFailure {
 public:
  bool Failed() const { return state_.load(std::memory_order_relaxed) != kNone; }

  // f() unless a failure is kept already; false when f threw or was skipped.
  template <class F>
  bool Run(F&& f) noexcept {
    if (Failed()) return false;
    try {
      f();
      return true;
    } catch (...) {
      int none = kNone;
      if (state_.compare_exchange_strong(none, kTaking, std::memory_order_acq_rel)) {
        first_ = std::current_exception();
        state_.store(kKept, std::memory_order_release);
      }
      return false;
    }
  }

  // Throws the kept exception, if any. Only after the region has joined.
  void Rethrow() {
    if (state_.load(std::memory_order_acquire) == kKept) std::rethrow_exception(first_);
  }

 private:
  static constexpr int kNone = 0, kTaking = 1, kKept = 2;
  std::atomic<int> state_{kNone};
  std::exception_ptr first_;
};

}  // namespace vorel::host
