#include "host/core/large_buffer.h"

#include <sys/mman.h>

#include <cstring>
#include <mutex>

namespace vorel::host {
namespace {

struct Retained {
  void* block;
  size_t size;  // mapped bytes, a multiple of kHugePage
};

// The kept blocks, oldest first, in a fixed list so that freeing never
// allocates.
constexpr size_t kRetainedSlots = 256;

struct RetainedBlocks {
  std::mutex mutex;
  Retained blocks[kRetainedSlots];
  size_t count = 0;
  size_t bytes = 0;
  // With the lock held: moves the oldest blocks to `out` while some are
  // left and `more(left)` holds (`bytes` counts without those moved so
  // far), keeping the order of the rest; how many.
  template <class More>
  size_t TakeOldest(Retained* out, More&& more) {
    size_t n = 0;
    while (n < count && more(count - n)) {
      out[n] = blocks[n];
      bytes -= blocks[n].size;
      ++n;
    }
    std::memmove(blocks, blocks + n, (count - n) * sizeof(Retained));
    count -= n;
    return n;
  }
};

// Unmapped outside the lock: other threads go on taking and freeing.
void Unmap(const Retained* out, size_t n) {
  for (size_t b = 0; b < n; ++b) ::munmap(out[b].block, out[b].size);
}

// Never destroyed: blocks are still freed while other statics go.
RetainedBlocks& Kept() {
  static RetainedBlocks* kept = new RetainedBlocks;
  return *kept;
}

size_t MappedSize(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

void* MapBlock(size_t size) {
  // Over-map by one huge page, then give back what lies outside the
  // aligned block.
  void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const size_t tail = (start + size + kHugePage) - (aligned + size);
  if (tail) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* block = reinterpret_cast<void*>(aligned);
  ::madvise(block, size, MADV_HUGEPAGE);  // a hint: refused, the pages stay small
  return block;
}

// The smallest kept block of `size` to a quarter more, the newest of
// equals (its pages are likeliest still in the caches), taken out of the
// list; null when none fits.
void* TakeKept(size_t size) {
  RetainedBlocks& k = Kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  size_t best = k.count;
  for (size_t b = 0; b < k.count; ++b) {
    const size_t s = k.blocks[b].size;
    if (s >= size && s - size <= size / 4 && (best == k.count || s <= k.blocks[best].size)) best = b;
  }
  if (best == k.count) return nullptr;
  void* block = k.blocks[best].block;
  k.bytes -= k.blocks[best].size;
  std::memmove(k.blocks + best, k.blocks + best + 1, (k.count - best - 1) * sizeof(Retained));
  --k.count;
  return block;
}

// Unmaps the oldest kept blocks until `bytes` or all are gone.
void ReleaseOldestKept(size_t bytes) {
  Retained out[kRetainedSlots];
  size_t n = 0;
  {
    RetainedBlocks& k = Kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    const size_t before = k.bytes;
    n = k.TakeOldest(out, [&](size_t) { return before - k.bytes < bytes; });
  }
  Unmap(out, n);
}

}  // namespace

void* AllocateLargeBlock(size_t bytes, bool zeroed) {
  if (bytes > kLargestBlock) throw std::bad_alloc();
  if (!IsMappedBlock(bytes)) {
    void* p = ::operator new(bytes);
    if (zeroed) std::memset(p, 0, bytes);
    return p;
  }
  const size_t size = MappedSize(bytes);
  if (void* kept = TakeKept(size)) {
    if (zeroed) std::memset(kept, 0, bytes);
    return kept;
  }
  // A new mapping takes the place of as many of the oldest kept blocks,
  // which this run of requests has passed over: the kept blocks and those
  // in use then hold no more together than the most either needs alone.
  ReleaseOldestKept(size);
  void* block = MapBlock(size);
  if (!block) {
    // The kept blocks may be what stands in the way (an address-space
    // limit): give them back and try once more.
    ReleaseRetainedLargeBlocks();
    block = MapBlock(size);
  }
  if (!block) throw std::bad_alloc();
  return block;  // fresh pages come zeroed
}

void FreeLargeBlock(void* p, size_t bytes) noexcept {
  if (!p) return;
  if (!IsMappedBlock(bytes)) {
    ::operator delete(p);
    return;
  }
  const size_t size = MappedSize(bytes);
  if (size > kRetainedLargeBytes) {
    ::munmap(p, size);
    return;
  }
  Retained out[kRetainedSlots];
  size_t n = 0;
  {
    RetainedBlocks& k = Kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    n = k.TakeOldest(out, [&](size_t left) { return k.bytes + size > kRetainedLargeBytes || left == kRetainedSlots; });
    k.blocks[k.count++] = Retained{p, size};
    k.bytes += size;
  }
  Unmap(out, n);
}

size_t RetainedLargeBytes() {
  RetainedBlocks& k = Kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  return k.bytes;
}

void ReleaseRetainedLargeBlocks() noexcept {
  Retained out[kRetainedSlots];
  size_t n = 0;
  {
    RetainedBlocks& k = Kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    n = k.TakeOldest(out, [](size_t) { return true; });
  }
  Unmap(out, n);
}

}  // namespace vorel::host
