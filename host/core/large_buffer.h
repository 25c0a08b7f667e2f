// LargeBufferAllocator: storage for the big arrays the solver and the mesher
// fill afresh on every build (grids, pair lists, lattices). Used through
// `LargeVector`.
#pragma once
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
// puts there (a block may have served an earlier array).
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kLargeBlock = size_t(1) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLargeBlocksMapped = false;
#else
constexpr bool kLargeBlocksMapped = true;
#endif

// True when a block of `bytes` is mapped on its own.
inline bool IsMappedBlock(size_t bytes) { return kLargeBlocksMapped && bytes >= kLargeBlock; }

// No block can be larger than a process's address space (47 bits on the
// processors this runs on); such a request fails here, alike in every
// build (AddressSanitizer's heap ends the process on one).
constexpr size_t kLargestBlock = size_t(1) << 47;

// Freed mapped blocks are kept, up to this many bytes in all, for the next
// request of about their size: a fresh mapping costs a fault and a page
// cleared by the system per 2 MiB (more where a virtual machine has handed
// the idle memory back to its host), and the solver and the mesher ask for
// the same big arrays build after build. The oldest go back first.
constexpr size_t kRetainedLargeBytes = size_t(256) << 20;

// A block of at least `bytes`; all bits zero when `zeroed` is set, else
// whatever a freed block held. Throws std::bad_alloc when none can be had
// (the kept blocks are given back to the system first).
void* AllocateLargeBlock(size_t bytes, bool zeroed = false);
// Frees a block AllocateLargeBlock gave for the same `bytes`.
void FreeLargeBlock(void* p, size_t bytes) noexcept;
// The bytes of freed blocks kept for reuse now.
size_t RetainedLargeBytes();
// Gives every kept block back to the system.
void ReleaseRetainedLargeBlocks() noexcept;

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
