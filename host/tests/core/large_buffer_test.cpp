#include "host/core/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>
#include <new>

namespace vh = vorel::host;

TEST(LargeBuffer, GrowsAcrossTheMappedSizeKeepingItsContentsAndFreesBothKinds) {
  vh::LargeVector<int32_t> v;
  for (int32_t i = 0; i < 3 * int32_t(vh::kHugePage / sizeof(int32_t)) + 7; ++i) v.push_back(i * 3);
  for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], int32_t(i) * 3) << i;
  if (vh::kLargeBlocksMapped) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % vh::kHugePage, 0u);
  }
  v.resize(10);
  v.shrink_to_fit();  // back to a small block from the heap
  EXPECT_EQ(v[9], 27);
  vh::LargeVector<int32_t>().swap(v);
  EXPECT_EQ(v.capacity(), 0u);
}

TEST(LargeBuffer, ARequestBeyondAnyMemoryThrowsBadAlloc) {
  vh::LargeBufferAllocator<double> a;
  EXPECT_THROW(a.allocate(SIZE_MAX / 4), std::bad_alloc);
  EXPECT_THROW(a.allocate(SIZE_MAX / 32), std::bad_alloc);  // too big to map
}

TEST(LargeBuffer, FreedBlocksServeLaterRequestsOfAboutTheirSizeZeroedWhenAskedUpToTheLimit) {
  constexpr size_t kMiB = size_t(1) << 20;
  if (!vh::kLargeBlocksMapped) {  // heap blocks: only the zeroing is ours
    void* p = vh::AllocateLargeBlock(3 * kMiB, true);
    for (size_t i = 0; i < 3 * kMiB; ++i) ASSERT_EQ(static_cast<unsigned char*>(p)[i], 0) << i;
    vh::FreeLargeBlock(p, 3 * kMiB);
    return;
  }
  vh::ReleaseRetainedLargeBlocks();
  ASSERT_EQ(vh::RetainedLargeBytes(), 0u);
  void* p = vh::AllocateLargeBlock(3 * kMiB);
  std::memset(p, 0x5a, 3 * kMiB);
  vh::FreeLargeBlock(p, 3 * kMiB);
  EXPECT_EQ(vh::RetainedLargeBytes(), 4 * kMiB);  // whole huge pages
  void* q = vh::AllocateLargeBlock(4 * kMiB, true);
  ASSERT_EQ(q, p);
  for (size_t i = 0; i < 4 * kMiB; ++i) ASSERT_EQ(static_cast<unsigned char*>(q)[i], 0) << i;
  EXPECT_EQ(vh::RetainedLargeBytes(), 0u);
  vh::FreeLargeBlock(q, 4 * kMiB);
  // A request a quarter smaller than a kept block maps its own, and the
  // kept block makes way for it.
  void* small = vh::AllocateLargeBlock(2 * kMiB);
  EXPECT_NE(small, p);
  EXPECT_EQ(vh::RetainedLargeBytes(), 0u);
  vh::FreeLargeBlock(small, 2 * kMiB);
  vh::ReleaseRetainedLargeBlocks();
  // Freeing more than the limit keeps the newest up to it.
  std::vector<void*> blocks;
  for (size_t b = 0; b < vh::kRetainedLargeBytes / (8 * kMiB) + 4; ++b) blocks.push_back(vh::AllocateLargeBlock(8 * kMiB));
  for (void* b : blocks) vh::FreeLargeBlock(b, 8 * kMiB);
  EXPECT_EQ(vh::RetainedLargeBytes(), vh::kRetainedLargeBytes);
  EXPECT_EQ(vh::AllocateLargeBlock(8 * kMiB), blocks.back());  // the newest serves first
  vh::FreeLargeBlock(blocks.back(), 8 * kMiB);
  vh::ReleaseRetainedLargeBlocks();
  EXPECT_EQ(vh::RetainedLargeBytes(), 0u);
}
