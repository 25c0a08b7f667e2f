#include "host/core/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
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
