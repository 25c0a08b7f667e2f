#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "gpu_solver/radixsort.h"

using namespace vorel_gpu;

namespace {

std::vector<KeyValuePair> Sorted(std::vector<KeyValuePair> v) {
  std::vector<KeyValuePair> buffer(v.size());
  SortParticleHashesEmulated(v.data(), buffer.data(), uint32_t(v.size()), 32);
  return v;
}

void ExpectStable(const std::vector<KeyValuePair>& in) {
  std::vector<KeyValuePair> want = in;
  std::stable_sort(want.begin(), want.end(),
                   [](const KeyValuePair& a, const KeyValuePair& b) { return a.key < b.key; });
  std::vector<KeyValuePair> got = Sorted(in);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].key, want[i].key) << i;
    ASSERT_EQ(got[i].value, want[i].value) << i;
  }
}

std::vector<KeyValuePair> Random(size_t n, uint32_t keyRange, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<KeyValuePair> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = {uint32_t(rng() % keyRange), uint32_t(i)};
  return v;
}

}  // namespace

TEST(RadixSort, RoundsToWholeGroups) {
  EXPECT_EQ(RoundedTo3072(1), 3072u);
  EXPECT_EQ(RoundedTo3072(3072), 3072u);
  EXPECT_EQ(RoundedTo3072(3073), 6144u);
}

TEST(RadixSort, MatchesStableSortAtTheRoundingEdges) {
  ExpectStable({{42, 0}});
  for (size_t n : {size_t(3071), size_t(3072), size_t(3073), size_t(10000)}) ExpectStable(Random(n, 1u << 21, 7));
}

TEST(RadixSort, KeepsInputOrderOfEqualKeysOverAllDigits) {
  // Few distinct keys, spread over all four bytes, with values not in order.
  std::vector<KeyValuePair> v = Random(7000, 5, 3);
  const uint32_t keys[5] = {0x00000001u, 0x01000000u, 0x00FF00FFu, 0xFFFFFFFFu, 0x00010000u};
  std::mt19937 rng(11);
  for (auto& e : v) {
    e.key = keys[e.key];
    e.value = rng();
  }
  ExpectStable(v);
}

TEST(RadixSort, OutsideKeysSortLastInIndexOrder) {
  std::vector<KeyValuePair> v = Random(5000, 1000, 5);
  for (size_t i = 0; i < v.size(); i += 3) v[i].key = kNumCells;
  std::vector<KeyValuePair> got = Sorted(v);
  size_t first = 0;
  while (got[first].key != kNumCells) ++first;
  for (size_t i = first; i < got.size(); ++i) {
    ASSERT_EQ(got[i].key, kNumCells);
    if (i > first) {
      ASSERT_LT(got[i - 1].value, got[i].value);
    }
  }
  ExpectStable(v);
}
