// ThreadShares: hands out the chunks of a parallel pass so that each thread
// of a team takes the same share of them in every pass over the same count,
// and helps with the others' shares only once its own is done. Used by the
// solver's passes over the particles, each of which reads what the pass
// before wrote: on machines whose cores sit far apart (a virtual machine's
// cores spread over several core complexes of its host), a line written by
// one core and read by another costs a few hundred nanoseconds, and passes
// handed out first come, first served moved most lines every time.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

namespace vorel::host {

class ThreadShares {
 public:
  // Outside the parallel region: chunks [0, chunks) split into `shares`
  // runs of consecutive chunks (the same runs for the same arguments).
  // May throw std::bad_alloc when it needs more shares than before.
  void Reset(int32_t chunks, int shares);

  // Inside the region, by the thread numbered `thread`: the next chunk of
  // its own share in ascending order, then chunks taken from the ends of
  // the others' shares; -1 once every chunk is taken. Each chunk is handed
  // out exactly once, whatever the team's size.
  int64_t Next(int thread) {
    if (count_ == 0) return -1;
    const int own = thread % count_;
    Share& mine = shares_[size_t(own)];
    uint64_t r = mine.range.load(std::memory_order_relaxed);
    while (Front(r) < Back(r))
      if (mine.range.compare_exchange_weak(r, r + (uint64_t(1) << 32), std::memory_order_relaxed))
        return Front(r);
    for (int k = 1; k < count_; ++k) {
      Share& other = shares_[size_t((own + k) % count_)];
      r = other.range.load(std::memory_order_relaxed);
      while (Front(r) < Back(r))
        if (other.range.compare_exchange_weak(r, r - 1, std::memory_order_relaxed)) return Back(r) - 1;
    }
    return -1;
  }

 private:
  // First and end of the chunks still to take, in one word so that the
  // owner (from the front) and helpers (from the back) never both take the
  // last one.
  struct alignas(64) Share {
    std::atomic<uint64_t> range{0};
  };
  static int64_t Front(uint64_t r) { return int64_t(r >> 32); }
  static int64_t Back(uint64_t r) { return int64_t(r & 0xFFFFFFFFu); }

  std::unique_ptr<Share[]> shares_;
  int count_ = 0, capacity_ = 0;
};

inline void ThreadShares::Reset(int32_t chunks, int shares) {
  if (shares < 1) shares = 1;
  if (chunks < 0) chunks = 0;
  if (shares > capacity_) {
    shares_.reset(new Share[size_t(shares)]);
    capacity_ = shares;
  }
  count_ = shares;
  for (int s = 0; s < shares; ++s) {
    const uint64_t first = uint64_t(int64_t(chunks) * s / shares), end = uint64_t(int64_t(chunks) * (s + 1) / shares);
    shares_[size_t(s)].range.store((first << 32) | end, std::memory_order_relaxed);
  }
}

}  // namespace vorel::host
