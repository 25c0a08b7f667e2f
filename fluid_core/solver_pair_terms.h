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
// GCC 12 takes the undefined vectors inside AVX-512 intrinsics
// (_mm512_undefined_ps) for uninitialised reads wherever they are inlined.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
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

// Sixteen pairs at a time where the processor has AVX-512 (the same IEEE
// operations in every lane again, no fused multiply-adds, the terms added
// one by one in list order): half the instructions a pair of the eight-lane
// loops, whose lanes spend most of theirs moving each partner's values into
// place. Tests may set it false to compare with the narrower loops.
inline bool& WidestPairs() {
  static bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx2");
  }();
  return wide;
}
#define VOREL_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl")))
// The lanes of the first `lanes` of sixteen.
inline __mmask16 FirstLanes16(int lanes) {
  return lanes >= 16 ? __mmask16(0xFFFF) : lanes <= 0 ? __mmask16(0) : __mmask16((1u << lanes) - 1u);
}
// rows[l][0..8) for sixteen rows become eight columns: c[f] lane l = rows[l][f]
// (each 256-bit half as Transpose8 moves it, the halves then put in order).
VOREL_AVX512 inline void Columns16x8(const float* const rows[16], __m512 c[8]) {
  __m512 r[8], t[8], u[8];
  for (int l = 0; l < 8; ++l)
    r[l] = _mm512_insertf32x8(_mm512_castps256_ps512(_mm256_loadu_ps(rows[l])), _mm256_loadu_ps(rows[l + 8]), 1);
  for (int a = 0; a < 8; a += 2) {
    t[a] = _mm512_unpacklo_ps(r[a], r[a + 1]);
    t[a + 1] = _mm512_unpackhi_ps(r[a], r[a + 1]);
  }
  for (int a = 0; a < 8; a += 4) {
    u[a] = _mm512_shuffle_ps(t[a], t[a + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[a + 1] = _mm512_shuffle_ps(t[a], t[a + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[a + 2] = _mm512_shuffle_ps(t[a + 1], t[a + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[a + 3] = _mm512_shuffle_ps(t[a + 1], t[a + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  const __m512i low = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 8, 9, 10, 11, 24, 25, 26, 27);
  const __m512i high = _mm512_setr_epi32(4, 5, 6, 7, 20, 21, 22, 23, 12, 13, 14, 15, 28, 29, 30, 31);
  for (int a = 0; a < 4; ++a) {
    c[a] = _mm512_permutex2var_ps(u[a], low, u[a + 4]);
    c[a + 4] = _mm512_permutex2var_ps(u[a], high, u[a + 4]);
  }
}
// The 4x4 transpose of _MM_TRANSPOSE4_PS in each 128-bit lane.
VOREL_AVX512 inline void Transpose4x4Lanes(__m512& a, __m512& b, __m512& c, __m512& d) {
  const __m512 t0 = _mm512_unpacklo_ps(a, b), t1 = _mm512_unpackhi_ps(a, b);
  const __m512 t2 = _mm512_unpacklo_ps(c, d), t3 = _mm512_unpackhi_ps(c, d);
  a = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
  b = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
  c = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
  d = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
}
// rows[l][0..4) for sixteen rows become four columns.
VOREL_AVX512 inline void Columns16x4(const float* const rows[16], __m512 c[4]) {
  for (int q = 0; q < 4; ++q) {
    __m512 z = _mm512_castps128_ps512(_mm_loadu_ps(rows[q]));
    z = _mm512_insertf32x4(z, _mm_loadu_ps(rows[q + 4]), 1);
    z = _mm512_insertf32x4(z, _mm_loadu_ps(rows[q + 8]), 2);
    c[q] = _mm512_insertf32x4(z, _mm_loadu_ps(rows[q + 12]), 3);
  }
  // Lane L of c[q] holds row q + 4L: the transpose puts row 4L + q in lane q.
  Transpose4x4Lanes(c[0], c[1], c[2], c[3]);
}
// Adds the sixteen columns of rows a..d to sums in lane order.
VOREL_AVX512 inline __m128 AddColumns16(__m128 sums, __m512 a, __m512 b, __m512 c, __m512 d) {
  Transpose4x4Lanes(a, b, c, d);  // lane L of a..d: columns 4L..4L+3
  sums = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sums, _mm512_castps512_ps128(a)), _mm512_castps512_ps128(b)),
                               _mm512_castps512_ps128(c)),
                    _mm512_castps512_ps128(d));
  sums = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sums, _mm512_extractf32x4_ps(a, 1)), _mm512_extractf32x4_ps(b, 1)),
                               _mm512_extractf32x4_ps(c, 1)),
                    _mm512_extractf32x4_ps(d, 1));
  sums = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sums, _mm512_extractf32x4_ps(a, 2)), _mm512_extractf32x4_ps(b, 2)),
                               _mm512_extractf32x4_ps(c, 2)),
                    _mm512_extractf32x4_ps(d, 2));
  return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sums, _mm512_extractf32x4_ps(a, 3)), _mm512_extractf32x4_ps(b, 3)),
                               _mm512_extractf32x4_ps(c, 3)),
                    _mm512_extractf32x4_ps(d, 3));
}
// The rows of sixteen slots of an array of `Row`s: the slot of each lane of
// js where `lanes` is set, `self` elsewhere. The byte offsets are worked out
// in the vector unit and taken out lane by lane: sixteen scalar address
// computations, each behind a test of its lane, cost about a third of the
// pair terms. The offsets are 32-bit: callers keep the slots below
// kWidestSlots.
template <typename Row>
constexpr int64_t kWidestSlots = int64_t(UINT32_MAX / sizeof(Row));
template <typename Row>
VOREL_AVX512 inline void FourRows(const char* base, __m128i offsets, const Row** rows) {
  rows[0] = reinterpret_cast<const Row*>(base + uint32_t(_mm_cvtsi128_si32(offsets)));
  rows[1] = reinterpret_cast<const Row*>(base + uint32_t(_mm_extract_epi32(offsets, 1)));
  rows[2] = reinterpret_cast<const Row*>(base + uint32_t(_mm_extract_epi32(offsets, 2)));
  rows[3] = reinterpret_cast<const Row*>(base + uint32_t(_mm_extract_epi32(offsets, 3)));
}
// sizeof(Row) is 1 << kShift, plus 1 << kShift2 where that is not negative.
template <int kShift, int kShift2 = -1, typename Row>
VOREL_AVX512 inline void RowsOf(const Row* base, __m512i js, int self, __mmask16 lanes, const Row* rows[16]) {
  const __m512i slot = _mm512_mask_blend_epi32(lanes, _mm512_set1_epi32(self), js);
  __m512i off = _mm512_slli_epi32(slot, kShift);
  if (kShift2 >= 0) off = _mm512_add_epi32(off, _mm512_slli_epi32(slot, kShift2 < 0 ? 0 : kShift2));
  const char* b = reinterpret_cast<const char*>(base);
  FourRows(b, _mm512_castsi512_si128(off), rows);
  FourRows(b, _mm512_extracti32x4_epi32(off, 1), rows + 4);
  FourRows(b, _mm512_extracti32x4_epi32(off, 2), rows + 8);
  FourRows(b, _mm512_extracti32x4_epi32(off, 3), rows + 12);
}
// True when all sixteen lanes hold the bits of `own`.
VOREL_AVX512 inline bool AllBits(__m512 v, __m512 own) {
  return _mm512_cmpeq_epi32_mask(_mm512_castps_si512(v), _mm512_castps_si512(own)) == 0xFFFF;
}
#endif

}  // namespace solver_pairs
