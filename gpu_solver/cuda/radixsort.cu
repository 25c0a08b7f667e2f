// Device radix sort of (hash, index) pairs: per 8-bit digit, RadixSum counts
// per group of 16 threads, RadixPrefixSum turns the digit-major counts into
// output offsets, and RadixAddOffsetsAndShuffle scatters. Threads of a group
// take turns, so no atomics are needed and each pass is stable. Every thread
// reaches every barrier: elements past the end only skip their work.
#include <utility>

#include "gpu_solver/radixsort.h"

namespace vorel_gpu {

__device__ uint32_t dRadixSum[kRadixDigits * kRadixGroups];
__device__ uint32_t dRadixBlockSum[kRadixScanBlocks];

__global__ void RadixSum(const KeyValuePair* pData, uint32_t elements, uint32_t rounded, uint32_t shift) {
  extern __shared__ uint32_t sCounters[];  // digit * 4 + group
  const uint32_t tid = threadIdx.x, group = tid / 16, lane = tid % 16;
  for (uint32_t q = tid; q < kRadixDigits * 4; q += blockDim.x) sCounters[q] = 0;
  __syncthreads();
  const uint32_t per = rounded / kRadixGroups;
  const uint32_t start = (blockIdx.x * 4 + group) * per;
  for (uint32_t base = start; base < start + per; base += 16) {
    const uint32_t e = base + lane;
    const bool valid = e < elements;
    const uint32_t digit = valid ? (pData[e].key >> shift) & 255u : 0u;
    for (uint32_t turn = 0; turn < 16; ++turn) {
      if (turn == lane && valid) ++sCounters[digit * 4 + group];
      __syncthreads();
    }
  }
  __syncthreads();
  for (uint32_t q = tid; q < kRadixDigits * 4; q += blockDim.x)
    dRadixSum[(q / 4) * kRadixGroups + blockIdx.x * 4 + q % 4] = sCounters[q];
}

__global__ void RadixPrefixSum() {
  extern __shared__ uint32_t s[];  // rows of 16 values plus a total word
  const uint32_t t = threadIdx.x, rows = kRadixSlice / 16;
  uint32_t* slice = dRadixSum + blockIdx.x * kRadixSlice;
  for (uint32_t k = 0; k < 16; ++k) s[t * 17 + k] = slice[t * 16 + k];
  __syncthreads();
  uint32_t sum = 0;
  for (uint32_t k = 0; k < 16; ++k) s[t * 17 + k] = sum += s[t * 17 + k];
  s[t * 17 + 16] = sum;
  __syncthreads();
  for (uint32_t off = 1; off < rows; off <<= 1) {
    const uint32_t add = t >= off ? s[(t - off) * 17 + 16] : 0u;
    __syncthreads();
    s[t * 17 + 16] += add;
    __syncthreads();
  }
  const uint32_t earlier = t > 0 ? s[(t - 1) * 17 + 16] : 0u;
  for (uint32_t k = 0; k < 16; ++k) s[t * 17 + k] += earlier;
  __syncthreads();
  for (uint32_t k = 0; k < 16; ++k) {
    const uint32_t j = t * 16 + k;
    if (j + 1 < kRadixSlice) slice[j + 1] = s[t * 17 + k];
  }
  if (t == 0) {
    slice[0] = 0;
    dRadixBlockSum[blockIdx.x] = s[(rows - 1) * 17 + 15];
  }
}

__global__ void RadixAddOffsetsAndShuffle(const KeyValuePair* pSrc, KeyValuePair* pDst, uint32_t elements,
                                          uint32_t rounded, uint32_t shift) {
  extern __shared__ uint32_t s[];  // 1024 offsets, then 16 slice prefixes
  const uint32_t tid = threadIdx.x, group = tid / 16, lane = tid % 16;
  if (tid < kRadixScanBlocks) s[1024 + tid] = tid == 0 ? 0u : dRadixBlockSum[tid - 1];
  __syncthreads();
  for (uint32_t off = 1; off < kRadixScanBlocks; off <<= 1) {
    const uint32_t add = (tid < kRadixScanBlocks && tid >= off) ? s[1024 + tid - off] : 0u;
    __syncthreads();
    if (tid < kRadixScanBlocks) s[1024 + tid] += add;
    __syncthreads();
  }
  for (uint32_t q = tid; q < kRadixDigits * 4; q += blockDim.x) {
    const uint32_t idx = (q / 4) * kRadixGroups + blockIdx.x * 4 + q % 4;
    s[q] = dRadixSum[idx] + s[1024 + idx / kRadixSlice];
  }
  __syncthreads();
  const uint32_t per = rounded / kRadixGroups;
  const uint32_t start = (blockIdx.x * 4 + group) * per;
  for (uint32_t base = start; base < start + per; base += 16) {
    const uint32_t e = base + lane;
    const bool valid = e < elements;
    KeyValuePair kv{0u, 0u};
    if (valid) kv = pSrc[e];
    const uint32_t digit = (kv.key >> shift) & 255u;
    for (uint32_t turn = 0; turn < 16; ++turn) {
      if (turn == lane && valid) pDst[s[digit * 4 + group]++] = kv;
      __syncthreads();
    }
  }
}

void SortParticleHashes(KeyValuePair* data, KeyValuePair* buffer, uint32_t elements, uint32_t bits) {
  const uint32_t rounded = RoundedTo3072(elements);
  for (uint32_t shift = 0; shift < bits; shift += 8) {
    RadixSum<<<kRadixBlocks, kRadixThreads, kRadixSumBytes>>>(data, elements, rounded, shift);
    RadixPrefixSum<<<kRadixScanBlocks, kRadixSlice / 16, kRadixScanBytes>>>();
    RadixAddOffsetsAndShuffle<<<kRadixBlocks, kRadixThreads, kRadixShuffleBytes>>>(data, buffer, elements, rounded,
                                                                                   shift);
    std::swap(data, buffer);
  }
}

}  // namespace vorel_gpu
