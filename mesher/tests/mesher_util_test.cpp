#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "mesher/mesher_util.h"

using mesher_util::BigArray;

TEST(KeptBlocks, ABlockComesBackForItsClassWholeAndZeroedWhenAsked) {
  const size_t small = mesher_util::kKeptBytes + 1, whole = 2 * mesher_util::kKeptBytes;
  if (!mesher_util::IsKeptBlock(small)) GTEST_SKIP() << "blocks are not kept in this build";
  void* first = nullptr;
  {
    BigArray<uint8_t> a(small);
    std::memset(a.data(), 0xAB, small);
    first = a.data();
  }
  {
    // The kept block serves the largest request of its class, every byte.
    BigArray<uint8_t> b(whole);
    EXPECT_EQ(b.data(), static_cast<void*>(first));
    std::memset(b.data(), 0xCD, whole);
  }
  BigArray<uint8_t> c(small, true);
  EXPECT_EQ(c.data(), static_cast<void*>(first));
  for (size_t k = 0; k < small; ++k) ASSERT_EQ(c[k], 0) << k;
  mesher_util::ReleaseKeptBlocks();
}
