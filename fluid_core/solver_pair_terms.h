// The pair terms both pair passes evaluate (density pass, force pass),
// shared so that each side of a pair is computed by exactly the same
// operations wherever it is needed.
#pragma once
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VOREL_WIDE_PAIRS 1
#endif

#include "fluid_core/solver.h"

namespace solver_pairs {

// Terms that depend only on the partner's spacing, kept while consecutive
// partners share it (one source: always), so the divisions run once.
struct SpacingTerms {
  float partner = -1.0f;
  float S = 0.0f, e = 0.0f, ratio = 0.0f, product = 0.0f;
  void For(const PairInput& A, const PairInput& B) {
    if (B.spacing == partner) return;
    partner = B.spacing;
    S = A.spacing + B.spacing;
    e = 2.0f / S;
    ratio = A.spacing > 0.0f ? B.spacing / A.spacing : 0.0f;
    product = A.spacing * B.spacing;
  }
};

// The two sides of a pair are computed from values that are symmetric in
// the two particles (r, u, S, s_a s_b), so both agree bitwise.
//
// sqrt is monotonic and correctly rounded, so a squared distance of at least
// S^2 (exact in double) can never give r < S: the root is skipped there.
inline bool BeyondReach(float r2, float S) { return double(r2) >= double(S) * double(S); }

// The density pass's side of a pair: self's density, cohesion and step
// limit grow; false when out of range.
inline bool DensitySide(const PairInput& A, const PairInput& B, SpacingTerms& t, float& density,
                        Vec3f& cohesion, float& dtLimit) {
  Vec3f d = A.pos - B.pos;
  float r2 = d.x * d.x + d.y * d.y + d.z * d.z;
  t.For(A, B);
  const float S = t.S;
  if (BeyondReach(r2, S)) return false;
  float r = std::sqrt(r2);
  if (!(r < S)) return false;
  Vec3f dv = A.vel - B.vel;
  float u = dv.x * d.x + dv.y * d.y + dv.z * d.z;
  if (u > 0.0f) {
    float L = S / (u / r) * 0.025f;
    if (L < dtLimit) dtLimit = L;
  }
  const float e = t.e;
  float q = 2.0f - e * r;
  float w = q * q * e * e * e * 0.07958f;
  float W = w * q;
  density += W * B.mass;
  if (A.spacing > 0.0f) cohesion -= d * t.ratio;
  return true;
}

// The force pass's side of a pair: the viscosity term and the kernel
// gradient seen from self, recomputed from the same inputs the density pass
// had (cheaper than storing 16 bytes a pair and reading them back).
inline bool TermsSide(const PairInput& A, const PairInput& B, SpacingTerms& t, float& mu,
                      Vec3f& grad) {
  Vec3f d = A.pos - B.pos;
  float r2 = d.x * d.x + d.y * d.y + d.z * d.z;
  t.For(A, B);
  const float S = t.S;
  if (BeyondReach(r2, S)) return false;
  float r = std::sqrt(r2);
  if (!(r < S)) return false;
  Vec3f dv = A.vel - B.vel;
  float u = dv.x * d.x + dv.y * d.y + dv.z * d.z;
  float D = r2 + 0.01f * t.product;
  mu = B.spacing * u / D;
  const float e = t.e;
  float q = 2.0f - e * r;
  float w = q * q * e * e * e * 0.07958f;
  // Two particles at one position have no direction between them: no
  // gradient rather than 0/0.
  float g = r > 1e-15f ? w * e * (-3.0f) / r : 0.0f;
  grad = d * g;
  return true;
}

#if defined(__SSE2__)
// All ones in lane l where bit l of `bits` is set.
inline __m128 LaneMask(int bits) {
  const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
  return _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(bits), lane), lane));
}
// a where mask is set, b elsewhere.
inline __m128 Select(__m128 mask, __m128 a, __m128 b) {
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}
// True when all four lanes hold the bits of `own`.
inline bool AllBits(__m128 v, __m128 own) {
  return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(v), _mm_castps_si128(own))) == 0xFFFF;
}
// Adds the four columns of rows a..d to sums, column by column (column l
// holds lane l of each row).
inline __m128 AddColumns(__m128 sums, __m128 a, __m128 b, __m128 c, __m128 d) {
  _MM_TRANSPOSE4_PS(a, b, c, d);
  return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sums, a), b), c), d);
}
#endif

#if defined(VOREL_WIDE_PAIRS)
// Eight pairs at a time where the processor has AVX2: each lane runs the
// very operations of the four-lane loops (no fused multiply-adds), so the
// results are the same bits on any processor.
// True where the processor has AVX2; tests may set it false to compare the
// four-lane loops with the eight-lane ones.
inline bool& WidePairs() {
  static bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return wide;
}
#define VOREL_AVX2 __attribute__((target("avx2")))
VOREL_AVX2 inline __m256 LaneMask8(int bits) {
  const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  return _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(bits), lane), lane));
}
VOREL_AVX2 inline __m256 Select8(__m256 mask, __m256 a, __m256 b) {
  return _mm256_or_ps(_mm256_and_ps(mask, a), _mm256_andnot_ps(mask, b));
}
// Rows r[0..7] of eight floats become columns: r[c] lane l = old r[l] lane c.
VOREL_AVX2 inline void Transpose8(__m256 r[8]) {
  __m256 t[8], u[8];
  for (int a = 0; a < 8; a += 2) {
    t[a] = _mm256_unpacklo_ps(r[a], r[a + 1]);
    t[a + 1] = _mm256_unpackhi_ps(r[a], r[a + 1]);
  }
  for (int a = 0; a < 8; a += 4) {
    u[a] = _mm256_shuffle_ps(t[a], t[a + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[a + 1] = _mm256_shuffle_ps(t[a], t[a + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[a + 2] = _mm256_shuffle_ps(t[a + 1], t[a + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[a + 3] = _mm256_shuffle_ps(t[a + 1], t[a + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  for (int a = 0; a < 4; ++a) {
    r[a] = _mm256_permute2f128_ps(u[a], u[a + 4], 0x20);
    r[a + 4] = _mm256_permute2f128_ps(u[a], u[a + 4], 0x31);
  }
}
// Adds the eight columns of rows a..d to sums in lane order.
VOREL_AVX2 inline __m128 AddColumns8(__m128 sums, __m256 a, __m256 b, __m256 c, __m256 d) {
  sums = AddColumns(sums, _mm256_castps256_ps128(a), _mm256_castps256_ps128(b), _mm256_castps256_ps128(c),
                    _mm256_castps256_ps128(d));
  return AddColumns(sums, _mm256_extractf128_ps(a, 1), _mm256_extractf128_ps(b, 1), _mm256_extractf128_ps(c, 1),
                    _mm256_extractf128_ps(d, 1));
}
// True when all eight lanes hold the bits of `own`.
VOREL_AVX2 inline bool AllBits(__m256 v, __m256 own) {
  return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_castps_si256(v), _mm256_castps_si256(own))) == -1;
}
#endif

}  // namespace solver_pairs
