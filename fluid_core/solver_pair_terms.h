// The pair terms both pair passes evaluate (density pass, force pass),
// shared so that each side of a pair is computed by exactly the same
// operations wherever it is needed.
#pragma once
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
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
#endif

}  // namespace solver_pairs
