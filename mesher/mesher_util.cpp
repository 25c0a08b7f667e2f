// The kept middle-sized blocks of mesher_util::BigArray.
#include "mesher/mesher_util.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace mesher_util {
namespace {

// Classes 2^16 .. 2^20 bytes; a block's class is the power of two that
// holds it, and it is allocated that large, so any block of a class serves
// any request of it.
constexpr int kFirstClass = 16, kClasses = 5;
constexpr size_t kSlots = 64;
static_assert(kKeptBytes == size_t(1) << kFirstClass, "the first class starts at kKeptBytes");
static_assert(vorel::host::kLargeBlock <= size_t(1) << (kFirstClass + kClasses - 1),
              "the last class holds every block below the mapped size");

struct Kept {
  std::mutex mutex;
  void* blocks[kClasses][kSlots];
  size_t count[kClasses] = {};
  size_t bytes = 0;
};

// Never destroyed: arrays are still freed while other statics go.
Kept& Store() {
  static Kept* kept = new Kept;
  return *kept;
}

int ClassOf(size_t bytes) {
  int c = 0;
  while ((size_t(1) << (kFirstClass + c)) < bytes) ++c;
  return c;
}

}  // namespace

void* TakeKeptBlock(size_t bytes, bool zero) {
  const int c = ClassOf(bytes);
  void* p = nullptr;
  {
    Kept& k = Store();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (k.count[c] > 0) {
      p = k.blocks[c][--k.count[c]];
      k.bytes -= size_t(1) << (kFirstClass + c);
    }
  }
  if (!p) p = ::operator new(size_t(1) << (kFirstClass + c));
  if (zero) std::memset(p, 0, bytes);
  return p;
}

void KeepBlock(void* p, size_t bytes) noexcept {
  const int c = ClassOf(bytes);
  const size_t size = size_t(1) << (kFirstClass + c);
  {
    Kept& k = Store();
    std::lock_guard<std::mutex> lock(k.mutex);
    if (k.count[c] < kSlots && k.bytes + size <= kKeptTotal) {
      k.blocks[c][k.count[c]++] = p;
      k.bytes += size;
      return;
    }
  }
  ::operator delete(p);
}

void ReleaseKeptBlocks() noexcept {
  Kept& k = Store();
  std::lock_guard<std::mutex> lock(k.mutex);
  for (int c = 0; c < kClasses; ++c)
    while (k.count[c] > 0) ::operator delete(k.blocks[c][--k.count[c]]);
  k.bytes = 0;
}

void MapRooms(const MappedRoom* rooms, int count) {
#if defined(MADV_POPULATE_WRITE)
  // Whole 4 KB pages only: the ends may share a page with other blocks.
  constexpr uintptr_t kSmall = uintptr_t(4) << 10;
  // Pages per piece a thread maps; fewer pages in all than this are mapped
  // on the calling thread (a fork costs more than faulting them).
  constexpr uintptr_t kPiecePages = 64;
  uintptr_t begin[8], pages[8], total = 0;
  int n = 0;
  for (int r = 0; r < count && n < 8; ++r) {
    const uintptr_t sb = (rooms[r].begin + kSmall - 1) & ~(kSmall - 1), se = rooms[r].end & ~(kSmall - 1);
    if (se <= sb) continue;
    begin[n] = sb;
    pages[n] = (se - sb) / kSmall;
    total += pages[n++];
  }
  if (n == 0) return;
  const int64_t pieces = int64_t((total + kPiecePages - 1) / kPiecePages);
#pragma omp parallel for schedule(dynamic, 1) if (pieces > 2 && omp_get_max_threads() > 1)
  for (int64_t p = 0; p < pieces; ++p) {
    // Piece p covers pages [p, p + 1) * kPiecePages of the rooms laid end to end.
    uintptr_t first = uintptr_t(p) * kPiecePages, left = kPiecePages;
    for (int r = 0; r < n && left > 0; ++r) {
      if (first >= pages[r]) {
        first -= pages[r];
        continue;
      }
      const uintptr_t take = std::min(left, pages[r] - first);
      madvise(reinterpret_cast<void*>(begin[r] + first * kSmall), take * kSmall, MADV_POPULATE_WRITE);
      left -= take;
      first = 0;
    }
  }
#else
  (void)rooms;
  (void)count;
#endif
}

}  // namespace mesher_util
