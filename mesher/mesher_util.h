// Small helpers shared by the mesher's grids.
#pragma once
#include <chrono>
#include <cstdint>

namespace mesher_util {

// Mixes three integer coordinates into a hash for open addressing.
inline uint64_t HashCoords(int32_t x, int32_t y, int32_t z) {
  uint64_t h = uint64_t(uint32_t(x)) * 0x9E3779B97F4A7C15ull;
  h ^= uint64_t(uint32_t(y)) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
  h ^= uint64_t(uint32_t(z)) * 0x165667B19E3779F9ull + (h >> 31);
  return h ^ (h >> 32);
}

// Float to i32 truncating toward zero; values beyond +-2^30 (a huge
// coordinate, a vanishing cell size) are clamped and NaN gives 0, where a
// plain conversion would be undefined.
inline int32_t ClampedTrunc(float t) {
  constexpr float kLimit = 1073741824.0f;
  if (!(t > -kLimit)) return t != t ? 0 : -int32_t(kLimit);
  if (!(t < kLimit)) return int32_t(kLimit);
  return int32_t(t);
}

inline double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace mesher_util
