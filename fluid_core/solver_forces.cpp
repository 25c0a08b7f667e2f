// Equation of state, pressure and viscosity acceleration, cohesion.
#include <chrono>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fluid_core/solver.h"
#include "fluid_core/solver_pair_terms.h"

using solver_pairs::SpacingTerms;
using solver_pairs::TermsSide;
#if defined(__SSE2__)
using solver_pairs::AddColumns;
using solver_pairs::AllBits;
using solver_pairs::LaneMask;
using solver_pairs::Select;
#endif
#if defined(VOREL_WIDE_PAIRS)
using solver_pairs::AddColumns8;
using solver_pairs::LaneMask8;
using solver_pairs::Select8;
using solver_pairs::Transpose8;
using solver_pairs::WidePairs;
#endif

void FluidSolver::ComputePressure() {
  RecordsChanged();
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead || !p.active) continue;
    p.pressureTerm = PressureTermOf(p.density);
  }
}

void FluidSolver::SetForceInput(int i, const FluidParticle& p) {
  ForceInput& f = forceInput_[size_t(i)];
  f.in = PairInput{p.pos, p.spacing, p.vel, p.mass};
  f.density = p.density;
  f.pressureTerm = p.pressureTerm;
  f.dead = p.dead;
  f.active = p.active;
}

void FluidSolver::RefreshForceInputs() {
  const int n = count;
  if ((int)forceInput_.size() < n) forceInput_.resize(n);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) SetForceInput(i, particles[i]);
}

namespace {
#if defined(VOREL_WIDE_PAIRS)
// ListForce's four-lane loop eight lanes wide over the whole list (the sums
// carried on in its register); returns the list's length.
VOREL_AVX2 int ForceWide(int i, int n, const int32_t* list, int m, const ForceInput* in, float rhoI,
                         float presI, __m128& sums) {
  const PairInput A = in[i].in;
  const __m256 ax = _mm256_set1_ps(A.pos.x), ay = _mm256_set1_ps(A.pos.y), az = _mm256_set1_ps(A.pos.z);
  const __m256 avx = _mm256_set1_ps(A.vel.x), avy = _mm256_set1_ps(A.vel.y), avz = _mm256_set1_ps(A.vel.z);
  const __m256 as = _mm256_set1_ps(A.spacing), rho = _mm256_set1_ps(rhoI), pres = _mm256_set1_ps(presI);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 noTerm = _mm256_set1_ps(-0.0f);
  const __m256 eOwn = _mm256_div_ps(_mm256_set1_ps(2.0f), _mm256_add_ps(as, as));
  const __m256i deadByte = _mm256_set1_epi32(0xFF);
  int k = 0;
  for (; k < m; k += 8) {
    // Slots in range and not self here (lanes past the end: none); dead
    // partners below, from their rows.
    int listed = 0;
    int idx[8];
    for (int l = 0; l < 8; ++l) {
      const int j = k + l < m ? list[k + l] : i;
      const bool ok = unsigned(j) < unsigned(n) && j != i;
      listed |= int(ok) << l;
      idx[l] = ok ? j : i;  // a lane that adds nothing reads self
    }
    if (!listed) continue;
    __m256 b[8];
    __m128 c[8];
    for (int l = 0; l < 8; ++l) {
      b[l] = _mm256_loadu_ps(&in[idx[l]].in.pos.x);
      c[l] = _mm_load_ps(&in[idx[l]].density);
    }
    Transpose8(b);
    _MM_TRANSPOSE4_PS(c[0], c[1], c[2], c[3]);
    _MM_TRANSPOSE4_PS(c[4], c[5], c[6], c[7]);
    const __m256 bs = b[3], bm = b[7];
    const __m256 brho = _mm256_set_m128(c[4], c[0]), bpres = _mm256_set_m128(c[5], c[1]);
    const __m256i flags = _mm256_castps_si256(_mm256_set_m128(c[6], c[2]));  // dead in the low byte
    const __m256 live = _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(flags, deadByte), _mm256_setzero_si256()));
    const __m256 dx = _mm256_sub_ps(ax, b[0]), dy = _mm256_sub_ps(ay, b[1]), dz = _mm256_sub_ps(az, b[2]);
    const __m256 r2 =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)), _mm256_mul_ps(dz, dz));
    const __m256 S = _mm256_add_ps(as, bs);
    const __m256 r = _mm256_sqrt_ps(r2);
    const __m256 inRange = _mm256_cmp_ps(r, S, _CMP_LT_OS);
    const __m256 dvx = _mm256_sub_ps(avx, b[4]), dvy = _mm256_sub_ps(avy, b[5]), dvz = _mm256_sub_ps(avz, b[6]);
    const __m256 u =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dvx, dx), _mm256_mul_ps(dvy, dy)), _mm256_mul_ps(dvz, dz));
    const __m256 product = _mm256_mul_ps(as, bs);
    const __m256 D = _mm256_add_ps(r2, _mm256_mul_ps(_mm256_set1_ps(0.01f), product));
    const __m256 mu = _mm256_div_ps(_mm256_mul_ps(bs, u), D);
    const __m256 e = AllBits(bs, as) ? eOwn : _mm256_div_ps(_mm256_set1_ps(2.0f), S);
    const __m256 q = _mm256_sub_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(e, r));
    const __m256 w = _mm256_mul_ps(
        _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(q, q), e), e), e), _mm256_set1_ps(0.07958f));
    __m256 g = _mm256_div_ps(_mm256_mul_ps(_mm256_mul_ps(w, e), _mm256_set1_ps(-3.0f)), r);
    g = _mm256_and_ps(g, _mm256_cmp_ps(r, _mm256_set1_ps(1e-15f), _CMP_GT_OS));
    const __m256 gx = _mm256_mul_ps(dx, g), gy = _mm256_mul_ps(dy, g), gz = _mm256_mul_ps(dz, g);
    // Neither term: the pair adds nothing (mu == 0 also for -0).
    const __m256 none = _mm256_and_ps(
        _mm256_and_ps(_mm256_cmp_ps(mu, zero, _CMP_EQ_OQ), _mm256_cmp_ps(gx, zero, _CMP_EQ_OQ)),
        _mm256_and_ps(_mm256_cmp_ps(gy, zero, _CMP_EQ_OQ), _mm256_cmp_ps(gz, zero, _CMP_EQ_OQ)));
    const __m256 visc = _mm256_mul_ps(
        _mm256_xor_ps(
            _mm256_div_ps(_mm256_set1_ps(25.0f), _mm256_mul_ps(_mm256_add_ps(rho, brho), _mm256_set1_ps(0.5f))),
            noTerm),
        mu);
    const __m256 pi = _mm256_and_ps(visc, _mm256_cmp_ps(mu, zero, _CMP_LT_OS));
    const __m256 f = _mm256_mul_ps(_mm256_add_ps(_mm256_add_ps(pi, bpres), pres), bm);
    const __m256 acts = _mm256_and_ps(_mm256_and_ps(_mm256_andnot_ps(none, inRange), live), LaneMask8(listed));
    const __m256 c0 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(gx, f), noTerm), noTerm);
    const __m256 c1 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(gy, f), noTerm), noTerm);
    const __m256 c2 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(gz, f), noTerm), noTerm);
    sums = AddColumns8(sums, c0, c1, c2, noTerm);
  }
  return m;
}
#endif

// One particle's pressure and viscosity acceleration from its list. Each
// pair's contribution is computed exactly as TermsSide and the scalar loop
// below would (the same IEEE operations in the same order, four pairs at a
// time where SSE is there), and the contributions are summed one by one in
// list order, so the result is the scalar result bit for bit.
Vec3f ListForce(int i, int n, const int32_t* list, int m, const ForceInput* in, float rhoI,
                float presI) {
  const PairInput A = in[i].in;
  Vec3f acc;
  int k = 0;
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(A.pos.x), ay = _mm_set1_ps(A.pos.y), az = _mm_set1_ps(A.pos.z);
  const __m128 avx = _mm_set1_ps(A.vel.x), avy = _mm_set1_ps(A.vel.y), avz = _mm_set1_ps(A.vel.z);
  const __m128 as = _mm_set1_ps(A.spacing), rho = _mm_set1_ps(rhoI), pres = _mm_set1_ps(presI);
  const __m128 zero = _mm_setzero_ps();
  const __m128 noTerm = _mm_set1_ps(-0.0f);
  // e of a partner of the particle's own spacing (every partner, with one
  // source), computed once as each lane would.
  const __m128 eOwn = _mm_div_ps(_mm_set1_ps(2.0f), _mm_add_ps(as, as));
  // The three sums side by side: each acting pair adds its column of terms
  // in list order, the order of the scalar sums; a lane that does not act
  // adds -0, which leaves every sum as it is.
  __m128 sums = zero;
#if defined(VOREL_WIDE_PAIRS)
  if (WidePairs()) k = ForceWide(i, n, list, m, in, rhoI, presI, sums);
#endif
  for (; k + 4 <= m; k += 4) {
    int idx[4];
    int valid = 0;
    for (int l = 0; l < 4; ++l) {
      const int j = list[k + l];
      const bool ok = j >= 0 && j < n && j != i && !in[j].dead;
      idx[l] = ok ? j : i;  // a lane that adds nothing reads self
      valid |= ok ? (1 << l) : 0;
    }
    if (!valid) continue;
    const float* q0 = reinterpret_cast<const float*>(&in[idx[0]]);
    const float* q1 = reinterpret_cast<const float*>(&in[idx[1]]);
    const float* q2 = reinterpret_cast<const float*>(&in[idx[2]]);
    const float* q3 = reinterpret_cast<const float*>(&in[idx[3]]);
    __m128 bx = _mm_load_ps(q0), by = _mm_load_ps(q1), bz = _mm_load_ps(q2), bs = _mm_load_ps(q3);
    _MM_TRANSPOSE4_PS(bx, by, bz, bs);
    __m128 bvx = _mm_load_ps(q0 + 4), bvy = _mm_load_ps(q1 + 4), bvz = _mm_load_ps(q2 + 4),
           bm = _mm_load_ps(q3 + 4);
    _MM_TRANSPOSE4_PS(bvx, bvy, bvz, bm);
    __m128 brho = _mm_load_ps(q0 + 8), bpres = _mm_load_ps(q1 + 8), t2 = _mm_load_ps(q2 + 8),
           t3 = _mm_load_ps(q3 + 8);
    _MM_TRANSPOSE4_PS(brho, bpres, t2, t3);
    const __m128 dx = _mm_sub_ps(ax, bx), dy = _mm_sub_ps(ay, by), dz = _mm_sub_ps(az, bz);
    const __m128 r2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    const __m128 S = _mm_add_ps(as, bs);
    const __m128 r = _mm_sqrt_ps(r2);
    const __m128 inRange = _mm_cmplt_ps(r, S);
    const __m128 dvx = _mm_sub_ps(avx, bvx), dvy = _mm_sub_ps(avy, bvy), dvz = _mm_sub_ps(avz, bvz);
    const __m128 u = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dvx, dx), _mm_mul_ps(dvy, dy)), _mm_mul_ps(dvz, dz));
    const __m128 product = _mm_mul_ps(as, bs);
    const __m128 D = _mm_add_ps(r2, _mm_mul_ps(_mm_set1_ps(0.01f), product));
    const __m128 mu = _mm_div_ps(_mm_mul_ps(bs, u), D);
    const bool own = AllBits(bs, as);
    const __m128 e = own ? eOwn : _mm_div_ps(_mm_set1_ps(2.0f), S);
    const __m128 q = _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(e, r));
    const __m128 w = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(q, q), e), e), e),
                                _mm_set1_ps(0.07958f));
    __m128 g = _mm_div_ps(_mm_mul_ps(_mm_mul_ps(w, e), _mm_set1_ps(-3.0f)), r);
    g = _mm_and_ps(g, _mm_cmpgt_ps(r, _mm_set1_ps(1e-15f)));
    const __m128 gx = _mm_mul_ps(dx, g), gy = _mm_mul_ps(dy, g), gz = _mm_mul_ps(dz, g);
    // Neither term: the pair adds nothing (mu == 0 also for -0).
    const __m128 none = _mm_and_ps(_mm_and_ps(_mm_cmpeq_ps(mu, zero), _mm_cmpeq_ps(gx, zero)),
                                   _mm_and_ps(_mm_cmpeq_ps(gy, zero), _mm_cmpeq_ps(gz, zero)));
    const __m128 visc = _mm_mul_ps(
        _mm_xor_ps(_mm_div_ps(_mm_set1_ps(25.0f), _mm_mul_ps(_mm_add_ps(rho, brho), _mm_set1_ps(0.5f))),
                   _mm_set1_ps(-0.0f)),
        mu);
    const __m128 pi = _mm_and_ps(visc, _mm_cmplt_ps(mu, zero));
    const __m128 f = _mm_mul_ps(_mm_add_ps(_mm_add_ps(pi, bpres), pres), bm);
    const __m128 acts = _mm_and_ps(_mm_andnot_ps(none, inRange), LaneMask(valid));
    __m128 c0 = Select(acts, _mm_xor_ps(_mm_mul_ps(gx, f), noTerm), noTerm);
    __m128 c1 = Select(acts, _mm_xor_ps(_mm_mul_ps(gy, f), noTerm), noTerm);
    __m128 c2 = Select(acts, _mm_xor_ps(_mm_mul_ps(gz, f), noTerm), noTerm);
    __m128 c3 = noTerm;
    sums = AddColumns(sums, c0, c1, c2, c3);
  }
  alignas(16) float v[4];
  _mm_store_ps(v, sums);
  acc = Vec3f(v[0], v[1], v[2]);
#endif
  SpacingTerms terms;
  for (; k < m; ++k) {
    const int j = list[k];
    if (j < 0 || j >= n || j == i) continue;
    const ForceInput& q = in[j];
    if (q.dead) continue;  // a particle killed this frame no longer pushes
    float mu;
    Vec3f grad;
    if (!TermsSide(A, q.in, terms, mu, grad)) continue;  // out of range
    // An in-range pair with no radial relative speed (a block at rest)
    // still feels the pressure; one with neither term adds nothing.
    if (mu == 0.0f && grad.x == 0.0f && grad.y == 0.0f && grad.z == 0.0f) continue;
    float pi = mu < 0.0f ? -(25.0f / ((rhoI + q.density) * 0.5f)) * mu : 0.0f;
    float f = (pi + q.pressureTerm + presI) * q.in.mass;
    acc -= grad * f;
  }
  return acc;
}
}  // namespace

void FluidSolver::ComputePairForces() {
  RecordsChanged();
  SyncPairSlots();
  RefreshForceInputs();
  const int n = count;
  // Handed out in chunks: particles at the surface have fewer pairs than
  // those inside (each iteration writes only its own particle).
#pragma omp parallel for schedule(dynamic, 512) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead) continue;
    p.accel = Vec3f();
    if (!p.active) continue;
    const PairSpan L = pairSpans_[i];
    const int32_t* list = L.count ? pairBlocks_[size_t(L.block)].data.data() + L.offset : nullptr;
    const Vec3f acc = ListForce(i, n, list, L.count, forceInput_.data(), p.density, p.pressureTerm);
    p.accel = acc;
    p.pairAccel = acc;
  }
}

int64_t FluidSolver::ForceChunk(int begin, int end, double root) {
  const auto start = std::chrono::steady_clock::now();
  const int n = count;
  Vec3f acc[kFinishChunk];
  // The forces first, from the compact arrays only; then each record once.
  for (int i = begin; i < end; ++i) {
    const ForceInput& f = forceInput_[size_t(i)];
    if (f.dead || !f.active) continue;
    const PairSpan L = pairSpans_[size_t(i)];
    const int32_t* list = L.count ? pairBlocks_[size_t(L.block)].data.data() + L.offset : nullptr;
    acc[i - begin] = ListForce(i, n, list, L.count, forceInput_.data(), f.density, f.pressureTerm);
  }
  for (int i = begin; i < end; ++i) {
    const ForceInput& f = forceInput_[size_t(i)];
    if (f.dead) continue;
    FluidParticle& p = particles[size_t(i)];
    p.density = f.density;
    p.cohesion = densitySums_[size_t(i)].cohesion;
    p.dtLimit = densitySums_[size_t(i)].dtLimit;
    p.accel = Vec3f();
    if (!f.active) continue;
    p.pressureTerm = f.pressureTerm;
    p.accel = acc[i - begin];
    p.pairAccel = acc[i - begin];
    CohesionOne(p, root);
  }
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

void FluidSolver::CohesionOne(FluidParticle& p, double root) const {
  const SolverSource* s = SourceOf(p);  // files may carry any source index
  if (!s) return;
  double factor = root * s->thickness * 0.14285714285714285;
  p.accel.x = (float)(p.accel.x + p.cohesion.x * factor);
  p.accel.y = (float)(p.accel.y + p.cohesion.y * factor);
  p.accel.z = (float)(p.accel.z + p.cohesion.z * factor);
}

void FluidSolver::ApplyCohesion() {
  RecordsChanged();
  const int n = count;
  const double root = std::sqrt(particlesPerVolume);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead || !p.active) continue;
    CohesionOne(p, root);
  }
}
