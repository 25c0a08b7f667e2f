// Small helpers shared by the mesher's grids.
#pragma once
#include <omp.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <vector>

#include "host/core/large_buffer.h"

namespace mesher_util {

// Mixes three integer coordinates into a hash for open addressing.
inline uint64_t HashCoords(int32_t x, int32_t y, int32_t z) {
  uint64_t h = uint64_t(uint32_t(x)) * 0x9E3779B97F4A7C15ull;
  h ^= uint64_t(uint32_t(y)) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
  h ^= uint64_t(uint32_t(z)) * 0x165667B19E3779F9ull + (h >> 31);
  return h ^ (h >> 32);
}

// Float to i32 truncating toward zero; values beyond +-2^30 (a huge
// coordinate, a vanishing cell size) are clamped and NaN gives 0, where a
// plain conversion would be undefined.
inline int32_t ClampedTrunc(float t) {
  constexpr float kLimit = 1073741824.0f;
  if (!(t > -kLimit)) return t != t ? 0 : -int32_t(kLimit);
  if (!(t < kLimit)) return int32_t(kLimit);
  return int32_t(t);
}

inline double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Arrays from kKeptBytes up to the host's mapped size come from the heap
// and are kept when freed, by size class (powers of two, kKeptTotal bytes
// in all), for the next build's arrays of about their size: the heap gave
// their pages back between builds, and a build of 100,000 particles then
// took a thousand faults on fresh 4 KB pages, each some microseconds on
// the virtual machines this runs on (a sixth of its time on eight
// threads). Not under AddressSanitizer, which must see each block freed.
constexpr size_t kKeptBytes = size_t(64) << 10;
constexpr size_t kKeptTotal = size_t(64) << 20;
inline bool IsKeptBlock(size_t bytes) {
  return vorel::host::kLargeBlocksMapped && bytes >= kKeptBytes && !vorel::host::IsMappedBlock(bytes);
}
// A block of at least `bytes` (IsKeptBlock), zeroed when asked, else
// whatever it held; throws std::bad_alloc when none can be had.
void* TakeKeptBlock(size_t bytes, bool zero);
// Gives back a block TakeKeptBlock gave for the same `bytes`.
void KeepBlock(void* p, size_t bytes) noexcept;
// Frees every kept block (a build that ran out of memory).
void ReleaseKeptBlocks() noexcept;

// vorel::host::LargeBufferAllocator with the middle-sized blocks kept
// (see kKeptBytes): for the mesher's own arrays that a build fills afresh.
template <class T>
struct KeptAllocator {
  using value_type = T;
  KeptAllocator() noexcept = default;
  template <class U>
  KeptAllocator(const KeptAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    return static_cast<T*>(IsKeptBlock(bytes) ? TakeKeptBlock(bytes, false)
                                              : vorel::host::AllocateLargeBlock(bytes));
  }
  void deallocate(T* p, size_t n) noexcept {
    const size_t bytes = n * sizeof(T);
    if (IsKeptBlock(bytes))
      KeepBlock(p, bytes);
    else
      vorel::host::FreeLargeBlock(p, bytes);
  }
  template <class U>
  bool operator==(const KeptAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const KeptAllocator<U>&) const noexcept { return false; }
};
template <class T>
using KeptVector = std::vector<T, KeptAllocator<T>>;

// Room for n trivially copyable values, left uninitialised (or zero), in
// a block from vorel::host::AllocateLargeBlock: large arrays are mapped on
// their own with 2 MB pages (filling 4 KB pages costs far more than
// computing their values on the virtual machines this runs on), and those
// of middle size are kept from build to build (see kKeptBytes). Throws
// std::bad_alloc when no memory is left.
template <class T>
class BigArray {
  static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                "BigArray leaves its values uninitialised");

 public:
  static constexpr size_t kMappedBytes = vorel::host::kHugePage;
  BigArray() = default;
  explicit BigArray(size_t n, bool zero = false) { Reset(n, zero); }
  ~BigArray() { Release(); }
  BigArray(const BigArray&) = delete;
  BigArray& operator=(const BigArray&) = delete;
  BigArray(BigArray&& o) noexcept { Take(o); }
  BigArray& operator=(BigArray&& o) noexcept {
    if (this != &o) {
      Release();
      Take(o);
    }
    return *this;
  }

  // Drops the old contents and makes room for n values, all bits zero
  // when `zero` is set, else whatever the block held before.
  void Reset(size_t n, bool zero = false) {
    Release();
    if (n == 0) return;
    if (n > (SIZE_MAX >> 1) / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    data_ = static_cast<T*>(IsKeptBlock(bytes) ? TakeKeptBlock(bytes, zero)
                                               : vorel::host::AllocateLargeBlock(bytes, zero));
    size_ = n;
  }
  void Release() {
    const size_t bytes = size_ * sizeof(T);
    if (data_ && IsKeptBlock(bytes))
      KeepBlock(data_, bytes);
    else
      vorel::host::FreeLargeBlock(data_, bytes);
    data_ = nullptr;
    size_ = 0;
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  void Take(BigArray& o) {
    data_ = o.data_;
    size_ = o.size_;
    o.data_ = nullptr;
    o.size_ = 0;
  }
  T* data_ = nullptr;
  size_t size_ = 0;
};

// A span of memory whose pages are to be mapped ahead (see ReserveMapped).
struct MappedRoom {
  uintptr_t begin = 0, end = 0;
};

// Makes room for n values in v, an output array that callers hold as a
// std::vector, and returns the room that was new: the part of it that
// spans whole 2 MB pages is marked for large pages. Nothing when v had
// room already.
template <class V>
MappedRoom ReserveRoom(V& v, size_t n) {
  if (n <= v.capacity()) return {};
  v.reserve(n);
  const uintptr_t b = reinterpret_cast<uintptr_t>(v.data()), e = b + n * sizeof(typename V::value_type);
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLarge = uintptr_t(2) << 20;
  const uintptr_t lb = (b + kLarge - 1) & ~(kLarge - 1), le = e & ~(kLarge - 1);
  if (le > lb) madvise(reinterpret_cast<void*>(lb), le - lb, MADV_HUGEPAGE);
#endif
  return {b, e};
}

// Has the system map the pages of the rooms ahead, on several threads at
// once where there are many: a serial resize would take one fault per
// 4 KB page on the calling thread (on the virtual machines this runs on,
// some microseconds each: 3 ms for the vertices and faces of 100,000
// particles). Only a hint: where the system refuses, the pages come as
// they would have.
void MapRooms(const MappedRoom* rooms, int count);

// ReserveRoom for one array, its new room mapped ahead (see MapRooms).
template <class V>
void ReserveMapped(V& v, size_t n) {
  const MappedRoom room = ReserveRoom(v, n);
  MapRooms(&room, 1);
}

// Fewer values than this are sorted serially.
constexpr size_t kParallelSortMin = 4096;

// Of the first d values of the merge of a[0, na) and b[0, nb), how many
// come from a (a's first where two compare equal, as std::merge takes them).
template <class T, class Less>
size_t MergeSplit(size_t d, const T* a, size_t na, const T* b, size_t nb, Less& less) {
  size_t lo = d > nb ? d - nb : 0, hi = std::min(d, na);
  while (lo < hi) {
    const size_t i = lo + (hi - lo) / 2;
    if (less(b[d - i - 1], a[i]))
      hi = i;
    else
      lo = i + 1;
  }
  return lo;
}

// Sorts [first, first + n) by `less`, which must tell every two values apart
// (a strict total order): the result is then the one sorted order on any
// number of threads. Runs are sorted in parallel and merged pairwise, each
// merge split into equal parts of its output. The buffer is taken before any
// parallel region, so running out of memory throws std::bad_alloc on the
// calling thread with the values merely permuted; the library's parallel
// sorts allocate inside their regions, where an exception ends the process.
template <class T, class Less>
void ParallelSort(T* first, size_t n, Less less) {
  const int threads = omp_get_max_threads();
  if (n < kParallelSortMin || threads == 1) {
    std::sort(first, first + n, less);
    return;
  }
  int runs = 1;
  while (runs < threads && runs < 64) runs *= 2;
  BigArray<T> buffer(n);
  auto bound = [n, runs](int r) { return size_t(uint64_t(n) * uint64_t(r) / uint64_t(runs)); };
  // Each merge round moves the values between the array and the buffer:
  // with an odd number of rounds the runs are sorted in the buffer, so that
  // the last round ends in the array without a pass to copy them back.
  int rounds = 0;
  for (int width = 1; width < runs; width *= 2) ++rounds;
  T* from = rounds % 2 ? buffer.data() : first;
  T* to = rounds % 2 ? first : buffer.data();
#pragma omp parallel for schedule(static, 1)
  for (int r = 0; r < runs; ++r) {
    if (from != first) std::copy(first + bound(r), first + bound(r + 1), from + bound(r));
    std::sort(from + bound(r), from + bound(r + 1), less);
  }
  for (int width = 1; width < runs; width *= 2) {
    const int merges = runs / (2 * width);
    const int parts = std::max(1, threads / merges);
#pragma omp parallel for schedule(static, 1)
    for (int task = 0; task < merges * parts; ++task) {
      const int m = task / parts, part = task % parts;
      const size_t lo = bound(2 * m * width), mid = bound((2 * m + 1) * width), hi = bound((2 * m + 2) * width);
      const T* a = from + lo;
      const T* b = from + mid;
      const size_t na = mid - lo, nb = hi - mid;
      const size_t d0 = (na + nb) * size_t(part) / size_t(parts), d1 = (na + nb) * size_t(part + 1) / size_t(parts);
      const size_t i0 = MergeSplit(d0, a, na, b, nb, less), i1 = MergeSplit(d1, a, na, b, nb, less);
      std::merge(a + i0, a + i1, b + (d0 - i0), b + (d1 - i1), to + lo + d0, less);
    }
    std::swap(from, to);
  }
}

// For each of `blocks` blocks, count(b) items (in parallel); returns where
// each block's output starts, summed in block order, and the total after
// the last: the same on any number of threads.
template <class Count>
std::vector<int64_t> BlockStarts(int64_t blocks, Count&& count) {
  std::vector<int64_t> at(size_t(blocks) + 1, 0);
#pragma omp parallel for schedule(dynamic, 4) if (blocks > 1)
  for (int64_t b = 0; b < blocks; ++b) at[size_t(b) + 1] = count(b);
  for (size_t b = 0; b < size_t(blocks); ++b) at[b + 1] += at[b];
  return at;
}

}  // namespace mesher_util
