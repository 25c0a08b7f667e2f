#include "gpu_solver/radixsort.h"

#include <utility>
#include <vector>

namespace vorel_gpu {
namespace {

// dRadixSum: digit-major counts, entry d * 192 + group.
using RadixSums = std::vector<uint32_t>;

// Within a group the 16 threads take turns per stride of 16 elements, so the
// group visits its range in plain index order.
template <class Fn>
void WalkGroup(uint32_t group, uint32_t rounded, Fn&& fn) {
  const uint32_t per = rounded / kRadixGroups;
  const uint32_t start = group * per;
  for (uint32_t base = start; base < start + per; base += 16)
    for (uint32_t lane = 0; lane < 16; ++lane) fn(base + lane);
}

void RadixSum(const KeyValuePair* src, uint32_t elements, uint32_t rounded, uint32_t shift, RadixSums& sums) {
  for (uint32_t block = 0; block < kRadixBlocks; ++block) {
    uint32_t counters[kRadixDigits * 4] = {};
    for (uint32_t g = 0; g < 4; ++g) {
      WalkGroup(block * 4 + g, rounded, [&](uint32_t e) {
        if (e < elements) ++counters[((src[e].key >> shift) & 255u) * 4 + g];
      });
    }
    for (uint32_t q = 0; q < kRadixDigits * 4; ++q) sums[(q / 4) * kRadixGroups + block * 4 + q % 4] = counters[q];
  }
}

// Exclusive scan in 16 slices of 3072 values, laid out in rows of 16 with a
// padding word per row that carries the row total.
void RadixPrefixSum(RadixSums& sums, uint32_t blockSum[kRadixScanBlocks]) {
  const uint32_t rows = kRadixSlice / 16;  // 192, one per thread
  for (uint32_t b = 0; b < kRadixScanBlocks; ++b) {
    uint32_t* slice = sums.data() + b * kRadixSlice;
    std::vector<uint32_t> s(kRadixScanBytes / 4, 0);
    for (uint32_t j = 0; j < kRadixSlice; ++j) s[(j / 16) * 17 + j % 16] = slice[j];
    for (uint32_t t = 0; t < rows; ++t) {
      uint32_t sum = 0;
      for (uint32_t k = 0; k < 16; ++k) s[t * 17 + k] = sum += s[t * 17 + k];
      s[t * 17 + 16] = sum;
    }
    for (uint32_t off = 1; off < rows; off <<= 1) {
      std::vector<uint32_t> before(s);  // the block barrier between read and write
      for (uint32_t t = off; t < rows; ++t) s[t * 17 + 16] = before[t * 17 + 16] + before[(t - off) * 17 + 16];
    }
    for (uint32_t t = 0; t < rows; ++t) {
      const uint32_t earlier = t > 0 ? s[(t - 1) * 17 + 16] : 0;
      for (uint32_t k = 0; k < 16; ++k) s[t * 17 + k] += earlier;
    }
    for (uint32_t j = 0; j + 1 < kRadixSlice; ++j) slice[j + 1] = s[(j / 16) * 17 + j % 16];
    slice[0] = 0;
    blockSum[b] = s[(rows - 1) * 17 + 15];
  }
}

void RadixAddOffsetsAndShuffle(const KeyValuePair* src, KeyValuePair* dst, uint32_t elements, uint32_t rounded,
                               uint32_t shift, const RadixSums& sums, const uint32_t blockSum[kRadixScanBlocks]) {
  uint32_t slicePrefix[kRadixScanBlocks] = {};
  for (uint32_t s = 1; s < kRadixScanBlocks; ++s) slicePrefix[s] = slicePrefix[s - 1] + blockSum[s - 1];
  for (uint32_t block = 0; block < kRadixBlocks; ++block) {
    uint32_t offset[kRadixDigits * 4];
    for (uint32_t q = 0; q < kRadixDigits * 4; ++q) {
      const uint32_t idx = (q / 4) * kRadixGroups + block * 4 + q % 4;
      offset[q] = sums[idx] + slicePrefix[idx / kRadixSlice];
    }
    for (uint32_t g = 0; g < 4; ++g) {
      WalkGroup(block * 4 + g, rounded, [&](uint32_t e) {
        if (e < elements) dst[offset[((src[e].key >> shift) & 255u) * 4 + g]++] = src[e];
      });
    }
  }
}

}  // namespace

void SortParticleHashesEmulated(KeyValuePair* data, KeyValuePair* buffer, uint32_t elements, uint32_t bits) {
  const uint32_t rounded = RoundedTo3072(elements);
  RadixSums sums(kRadixDigits * kRadixGroups);
  uint32_t blockSum[kRadixScanBlocks];
  for (uint32_t shift = 0; shift < bits; shift += 8) {
    RadixSum(data, elements, rounded, shift, sums);
    RadixPrefixSum(sums, blockSum);
    RadixAddOffsetsAndShuffle(data, buffer, elements, rounded, shift, sums, blockSum);
    std::swap(data, buffer);
  }
}

}  // namespace vorel_gpu
