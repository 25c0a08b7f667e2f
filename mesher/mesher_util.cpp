// The kept middle-sized blocks of mesher_util::BigArray.
#include "mesher/mesher_util.h"

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

}  // namespace mesher_util
