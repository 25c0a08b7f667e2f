#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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

TEST(ParallelSort, GivesTheSerialOrderOnEveryRunCount) {
  // 1, 2, 4 and 8 runs: merge rounds of either parity, so the result ends
  // in the array whichever way the runs were sorted.
  std::vector<uint64_t> values(3 * mesher_util::kParallelSortMin + 7);
  uint64_t x = 88172645463325252ull;
  for (uint64_t& v : values) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    v = x % 1000003;
  }
  std::vector<uint64_t> expected = values;
  std::sort(expected.begin(), expected.end());
  const int before = omp_get_max_threads();
  for (int threads : {1, 2, 3, 4, 8}) {
    omp_set_num_threads(threads);
    std::vector<uint64_t> got = values;
    mesher_util::ParallelSort(got.data(), got.size(), [](uint64_t a, uint64_t b) { return a < b; });
    EXPECT_EQ(got, expected) << threads << " threads";
  }
  omp_set_num_threads(before);
}
