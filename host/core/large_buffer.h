// LargeBufferAllocator: storage for the big arrays the solver and the mesher
// fill afresh on every build (grids, pair lists, lattices). Used through
// `LargeVector`.
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace vorel::host {

// Blocks of kLargeBlock bytes and more are mapped on their own, aligned to
// and rounded up to kHugePage, and marked for transparent huge pages: the
// first touch of fresh memory then costs one fault per 2 MiB instead of one
// per 4 KiB page, which on virtual machines costs several microseconds each
// (a build that grows its arrays spent a tenth of its time in them). Where
// the kernel has no huge page to give, the block is an ordinary mapping.
// Smaller blocks, and every block under AddressSanitizer (which must see
// the heap to check it), come from operator new. Failure throws
// std::bad_alloc, as operator new does; the contents are what std::vector
// puts there.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kLargeBlock = size_t(1) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLargeBlocksMapped = false;
#else
constexpr bool kLargeBlocksMapped = true;
#endif

// True when a block of `bytes` is mapped on its own (its pages then come
// zeroed).
inline bool IsMappedBlock(size_t bytes) { return kLargeBlocksMapped && bytes >= kLargeBlock; }

// No block can be larger than a process's address space (47 bits on the
// processors this runs on); such a request fails here, alike in every
// build (AddressSanitizer's heap ends the process on one).
constexpr size_t kLargestBlock = size_t(1) << 47;
inline void* AllocateLargeBlock(size_t bytes) {
  if (bytes > kLargestBlock) throw std::bad_alloc();
  if (!IsMappedBlock(bytes)) return ::operator new(bytes);
  const size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  if (size < bytes || size > SIZE_MAX - kHugePage) throw std::bad_alloc();
  // Over-map by one huge page, then give back what lies outside the
  // aligned block.
  void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const size_t tail = (start + size + kHugePage) - (aligned + size);
  if (tail) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* block = reinterpret_cast<void*>(aligned);
  ::madvise(block, size, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
  return block;
}

inline void FreeLargeBlock(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (!IsMappedBlock(bytes)) {
    ::operator delete(p);
    return;
  }
  ::munmap(p, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

template <class T>
struct LargeBufferAllocator {
  using value_type = T;
  LargeBufferAllocator() noexcept = default;
  template <class U>
  LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLargeBlock(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { FreeLargeBlock(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const LargeBufferAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const LargeBufferAllocator<U>&) const noexcept { return false; }
};

template <class T>
using LargeVector = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace vorel::host
