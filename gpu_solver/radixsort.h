// Stable LSD radix sort of (cell hash, particle index) pairs: 8-bit digits,
// one pass per digit, each pass counting per group of 16 threads, an
// exclusive scan of the counts in digit-major order and a scatter. The CUDA
// back-end runs it on the device; SortParticleHashesEmulated runs the same
// passes serially on the host with the same indexing, block by block.
#pragma once
#include <cstdint>

#include "gpu_solver/particles_kernel.h"

namespace vorel_gpu {

constexpr uint32_t kRadixBlocks = 48;        // counting and scatter blocks
constexpr uint32_t kRadixThreads = 64;       // 4 groups of 16 threads
constexpr uint32_t kRadixGroups = 192;       // kRadixBlocks * 4
constexpr uint32_t kRadixDigits = 256;
constexpr uint32_t kRadixScanBlocks = 16;    // slices of the prefix sum
constexpr uint32_t kRadixSlice = 3072;       // 16 digits * 192 groups
constexpr uint32_t kRadixSumBytes = 4096;    // RadixSum shared memory
constexpr uint32_t kRadixScanBytes = 13824;  // RadixPrefixSum shared memory
constexpr uint32_t kRadixShuffleBytes = 4160;

// Element count rounded up to a multiple of 3072 (16 elements per group).
inline uint32_t RoundedTo3072(uint32_t elements) {
  return elements % 3072u == 0 ? elements : elements - elements % 3072u + 3072u;
}

// Sorts `elements` pairs of data by the low `bits` bits of the key; buffer
// is scratch of the same size. After an even number of passes the result is
// in data (bits = 32 gives four).
void SortParticleHashesEmulated(KeyValuePair* data, KeyValuePair* buffer, uint32_t elements, uint32_t bits);

#if defined(VOREL_SOLVER_CUDA)
// Device pointers; runs the three kernels per pass on the default stream.
void SortParticleHashes(KeyValuePair* data, KeyValuePair* buffer, uint32_t elements, uint32_t bits);
#endif

}  // namespace vorel_gpu
