// Neighbour grid, pair lists and the pair kernel (density, gradient,
// viscosity term, stable step, cohesion).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <omp.h>

#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"
#include "fluid_core/solver_pair_terms.h"
#include "host/core/parallel_failure.h"

namespace {
using namespace solver_pairs;
constexpr int kBias = 1 << 20;
constexpr float kIndexLimit = 1e6f;  // below kBias, so +/-1 offsets stay encodable
constexpr int kSameCell = 13;
// The grid build's passes run over at most this many runs of their arrays,
// and its radix sort takes at most this many bits a pass.
constexpr int kMaxRuns = 64;
constexpr int kDigitBits = 11;
// Entries of one segment of the pair build's list storage.
constexpr size_t kPairSegment = size_t(1) << 16;
// Cells and particles a thread takes at a time in the pair walk and the
// density pass.
constexpr int kPairCells = 16;
constexpr int kDensityChunk = 512;

uint64_t CellKey(int i, int j, int k) {
  return (uint64_t(uint32_t(k + kBias)) << 42) | (uint64_t(uint32_t(j + kBias)) << 21) |
         uint64_t(uint32_t(i + kBias));
}

int AxisIndex(float v) {
  if (!(v >= -kIndexLimit)) v = -kIndexLimit;  // also catches NaN
  if (v > kIndexLimit) v = kIndexLimit;
  return int(v);  // truncation toward zero: cell 0 is twice as wide
}

// Grows v to n items. Where that moves it, it takes room for `room` (the
// most it can need while the particle count stands): moving the grid's
// arrays as the fluid spreads, into fresh pages, costs several
// milliseconds a time during the steps.
template <class V>
void GrowTo(V& v, size_t n, size_t room) {
  if (v.size() >= n) return;
  if (v.capacity() < n) v.reserve(std::max(n, room));
  v.resize(n);
}

// A neighbour cell at offset index o lies before the cell in (k, j, i) order
// exactly when its offset (dk, dj, di) is lexicographically negative.
bool OffsetIsEarlier(int o) {
  int di = o / 9 - 1, dj = (o / 3) % 3 - 1, dk = o % 3 - 1;
  if (dk != 0) return dk < 0;
  if (dj != 0) return dj < 0;
  return di < 0;
}

struct OffsetOrder {
  int earlier[13];  // earlier neighbours in ascending (k, j, i) order
  OffsetOrder() {
    int n = 0;
    for (int dk = -1; dk <= 1; ++dk)
      for (int dj = -1; dj <= 1; ++dj)
        for (int di = -1; di <= 1; ++di) {
          int o = ((di + 1) * 3 + (dj + 1)) * 3 + (dk + 1);
          if (OffsetIsEarlier(o)) earlier[n++] = o;
        }
  }
};
const OffsetOrder kOrder;


#if defined(VOREL_WIDE_PAIRS)
// DensityOver's four-lane loop eight lanes wide over the whole list (the
// sums and limits carried on in its registers); returns the list's length.
template <typename Counts>
VOREL_AVX2 int DensityWide(int i, const int32_t* list, int m, const PairInput* in, const Counts& counts,
                           __m128& sums, __m128& limits128) {
  const PairInput A = in[i];
  const __m256 ax = _mm256_set1_ps(A.pos.x), ay = _mm256_set1_ps(A.pos.y), az = _mm256_set1_ps(A.pos.z);
  const __m256 avx = _mm256_set1_ps(A.vel.x), avy = _mm256_set1_ps(A.vel.y), avz = _mm256_set1_ps(A.vel.z);
  const __m256 as = _mm256_set1_ps(A.spacing);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 noTerm = _mm256_set1_ps(-0.0f);
  const __m256 noLimit = _mm256_set1_ps(INFINITY);
  const bool cohesive = A.spacing > 0.0f;
  const __m256 eOwn = _mm256_div_ps(_mm256_set1_ps(2.0f), _mm256_add_ps(as, as));
  const __m256 ratioOwn = _mm256_div_ps(as, as);
  __m256 limits = noLimit;
  int k = 0;
  for (; k < m; k += 8) {
    const int valid = counts.Mask(list + k, std::min(8, m - k));  // lanes past the end: none
    if (!valid) continue;
    int idx[8];
    for (int l = 0; l < 8; ++l) idx[l] = (valid >> l) & 1 ? list[k + l] : i;  // others read self
    __m256 b[8];
    for (int l = 0; l < 8; ++l) b[l] = _mm256_loadu_ps(&in[idx[l]].pos.x);
    Transpose8(b);
    const __m256 bs = b[3], bm = b[7];
    const __m256 dx = _mm256_sub_ps(ax, b[0]), dy = _mm256_sub_ps(ay, b[1]), dz = _mm256_sub_ps(az, b[2]);
    const __m256 r2 =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)), _mm256_mul_ps(dz, dz));
    const __m256 S = _mm256_add_ps(as, bs);
    const __m256 r = _mm256_sqrt_ps(r2);
    const __m256 acts = _mm256_and_ps(_mm256_cmp_ps(r, S, _CMP_LT_OS), LaneMask8(valid));
    const __m256 dvx = _mm256_sub_ps(avx, b[4]), dvy = _mm256_sub_ps(avy, b[5]), dvz = _mm256_sub_ps(avz, b[6]);
    const __m256 u =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dvx, dx), _mm256_mul_ps(dvy, dy)), _mm256_mul_ps(dvz, dz));
    const __m256 limit = _mm256_mul_ps(_mm256_div_ps(S, _mm256_div_ps(u, r)), _mm256_set1_ps(0.025f));
    const bool own = AllBits(bs, as);
    const __m256 e = own ? eOwn : _mm256_div_ps(_mm256_set1_ps(2.0f), S);
    const __m256 q = _mm256_sub_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(e, r));
    const __m256 w = _mm256_mul_ps(
        _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(q, q), e), e), e), _mm256_set1_ps(0.07958f));
    const __m256 t0 = Select8(acts, _mm256_mul_ps(_mm256_mul_ps(w, q), bm), noTerm);
    __m256 t1 = noTerm, t2 = noTerm, t3 = noTerm;
    if (cohesive) {
      const __m256 ratio = own ? ratioOwn : _mm256_div_ps(bs, as);
      t1 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(dx, ratio), noTerm), noTerm);
      t2 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(dy, ratio), noTerm), noTerm);
      t3 = Select8(acts, _mm256_xor_ps(_mm256_mul_ps(dz, ratio), noTerm), noTerm);
    }
    sums = AddColumns8(sums, t0, t1, t2, t3);
    limits = _mm256_min_ps(
        Select8(_mm256_and_ps(acts, _mm256_cmp_ps(u, zero, _CMP_GT_OS)), limit, noLimit), limits);
  }
  // Minima hold no NaN (a NaN limit never replaces one), so any order will do.
  limits128 = _mm_min_ps(_mm_min_ps(_mm256_castps256_ps128(limits), _mm256_extractf128_ps(limits, 1)),
                         limits128);
  return m;
}
#endif

// One particle's side of the density pass over its list: each pair's terms
// are computed exactly as DensitySide would (the same IEEE operations in the
// same order, four pairs at a time where SSE is there) and added one by one
// in list order, so the sums are the scalar sums bit for bit.
// `counts(j)`: whether the pair with j is evaluated at all; `counts.Mask(js,
// lanes)`: the same for js[0..lanes) as the bits of those that are.
template <typename Counts>
void DensityOver(int i, const int32_t* list, int m, const PairInput* in, const Counts& counts,
                 float& density, Vec3f& cohesion, float& dtLimit) {
  const PairInput A = in[i];
  int k = 0;
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(A.pos.x), ay = _mm_set1_ps(A.pos.y), az = _mm_set1_ps(A.pos.z);
  const __m128 avx = _mm_set1_ps(A.vel.x), avy = _mm_set1_ps(A.vel.y), avz = _mm_set1_ps(A.vel.z);
  const __m128 as = _mm_set1_ps(A.spacing);
  const __m128 zero = _mm_setzero_ps();
  const __m128 noTerm = _mm_set1_ps(-0.0f);
  const __m128 noLimit = _mm_set1_ps(INFINITY);
  const bool cohesive = A.spacing > 0.0f;
  // The spacing terms of a partner of the particle's own spacing (every
  // partner, with one source), computed once as each lane would.
  const __m128 eOwn = _mm_div_ps(_mm_set1_ps(2.0f), _mm_add_ps(as, as));
  const __m128 ratioOwn = _mm_div_ps(as, as);
  // Density and cohesion side by side: each acting pair adds its column of
  // terms in list order, the order of the scalar sums; a lane that does not
  // act adds -0, which leaves every sum as it is. The step limit is a
  // minimum, the same in any order.
  __m128 sums = _mm_setr_ps(density, cohesion.x, cohesion.y, cohesion.z);
  __m128 limits = noLimit;
#if defined(VOREL_WIDE_PAIRS)
  if (WidePairs()) k = DensityWide(i, list, m, in, counts, sums, limits);
#endif
  for (; k + 4 <= m; k += 4) {
    const int valid = counts.Mask(list + k, 4);
    if (!valid) continue;
    int idx[4];
    for (int l = 0; l < 4; ++l) idx[l] = (valid >> l) & 1 ? list[k + l] : i;  // others read self
    const float* q0 = reinterpret_cast<const float*>(&in[idx[0]]);
    const float* q1 = reinterpret_cast<const float*>(&in[idx[1]]);
    const float* q2 = reinterpret_cast<const float*>(&in[idx[2]]);
    const float* q3 = reinterpret_cast<const float*>(&in[idx[3]]);
    __m128 bx = _mm_loadu_ps(q0), by = _mm_loadu_ps(q1), bz = _mm_loadu_ps(q2), bs = _mm_loadu_ps(q3);
    _MM_TRANSPOSE4_PS(bx, by, bz, bs);
    __m128 bvx = _mm_loadu_ps(q0 + 4), bvy = _mm_loadu_ps(q1 + 4), bvz = _mm_loadu_ps(q2 + 4),
           bm = _mm_loadu_ps(q3 + 4);
    _MM_TRANSPOSE4_PS(bvx, bvy, bvz, bm);
    const __m128 dx = _mm_sub_ps(ax, bx), dy = _mm_sub_ps(ay, by), dz = _mm_sub_ps(az, bz);
    const __m128 r2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    const __m128 S = _mm_add_ps(as, bs);
    const __m128 r = _mm_sqrt_ps(r2);
    const __m128 acts = _mm_and_ps(_mm_cmplt_ps(r, S), LaneMask(valid));
    const __m128 dvx = _mm_sub_ps(avx, bvx), dvy = _mm_sub_ps(avy, bvy), dvz = _mm_sub_ps(avz, bvz);
    const __m128 u = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dvx, dx), _mm_mul_ps(dvy, dy)), _mm_mul_ps(dvz, dz));
    const __m128 limit = _mm_mul_ps(_mm_div_ps(S, _mm_div_ps(u, r)), _mm_set1_ps(0.025f));
    const bool own = AllBits(bs, as);
    const __m128 e = own ? eOwn : _mm_div_ps(_mm_set1_ps(2.0f), S);
    const __m128 q = _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(e, r));
    const __m128 w = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(q, q), e), e), e),
                                _mm_set1_ps(0.07958f));
    __m128 t0 = Select(acts, _mm_mul_ps(_mm_mul_ps(w, q), bm), noTerm);
    __m128 t1 = noTerm, t2 = noTerm, t3 = noTerm;
    if (cohesive) {
      const __m128 ratio = own ? ratioOwn : _mm_div_ps(bs, as);
      t1 = Select(acts, _mm_xor_ps(_mm_mul_ps(dx, ratio), noTerm), noTerm);
      t2 = Select(acts, _mm_xor_ps(_mm_mul_ps(dy, ratio), noTerm), noTerm);
      t3 = Select(acts, _mm_xor_ps(_mm_mul_ps(dz, ratio), noTerm), noTerm);
    }
    sums = AddColumns(sums, t0, t1, t2, t3);
    limits = _mm_min_ps(Select(_mm_and_ps(acts, _mm_cmpgt_ps(u, zero)), limit, noLimit), limits);
  }
  alignas(16) float v[4];
  _mm_store_ps(v, sums);
  density = v[0];
  cohesion = Vec3f(v[1], v[2], v[3]);
  _mm_store_ps(v, limits);
  for (int l = 0; l < 4; ++l)
    if (v[l] < dtLimit) dtLimit = v[l];
#endif
  SpacingTerms terms;
  for (; k < m; ++k) {
    const int j = list[k];
    if (counts(j)) DensitySide(A, in[j], terms, density, cohesion, dtLimit);
  }
}

// The partners of i among the candidates (i itself left out) that lie
// within reach, in candidate order, by DensityOver's own range test (the
// rounded root below the summed spacings): a pass of DensityOver over them
// finds every one acting. Most of a cell's candidates are out of reach, and
// this test costs a root where the full terms cost four divisions.
#if defined(VOREL_WIDE_PAIRS)
// InReach's four-lane loop eight lanes wide over the candidates' groups of
// eight, appending to out[kept..]; the index of the first candidate left.
VOREL_AVX2 int InReachWide(int i, const int32_t* cand, int m, const PairInput* in, int32_t* out, int& kept) {
  const PairInput A = in[i];
  const __m256 ax = _mm256_set1_ps(A.pos.x), ay = _mm256_set1_ps(A.pos.y), az = _mm256_set1_ps(A.pos.z);
  const __m256 as = _mm256_set1_ps(A.spacing);
  int k = 0;
  for (; k + 8 <= m; k += 8) {
    __m128 r[8];
    for (int l = 0; l < 8; ++l) r[l] = _mm_loadu_ps(&in[cand[k + l]].pos.x);
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
    _MM_TRANSPOSE4_PS(r[4], r[5], r[6], r[7]);
    const __m256 dx = _mm256_sub_ps(ax, _mm256_set_m128(r[4], r[0]));
    const __m256 dy = _mm256_sub_ps(ay, _mm256_set_m128(r[5], r[1]));
    const __m256 dz = _mm256_sub_ps(az, _mm256_set_m128(r[6], r[2]));
    const __m256 r2 =
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)), _mm256_mul_ps(dz, dz));
    const __m256 S = _mm256_add_ps(as, _mm256_set_m128(r[7], r[3]));
    const int near = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_sqrt_ps(r2), S, _CMP_LT_OS));
    for (int l = 0; l < 8; ++l) {
      const int j = cand[k + l];
      out[kept] = j;  // kept only when it counts: room for every candidate
      kept += ((near >> l) & 1) & (j != i ? 1 : 0);
    }
  }
  return k;
}
#endif

int InReach(int i, const int32_t* cand, int m, const PairInput* in, int32_t* out) {
  const PairInput A = in[i];
  int kept = 0;
  int k = 0;
#if defined(VOREL_WIDE_PAIRS)
  if (WidePairs()) k = InReachWide(i, cand, m, in, out, kept);
#endif
#if defined(__SSE2__)
  const __m128 ax = _mm_set1_ps(A.pos.x), ay = _mm_set1_ps(A.pos.y), az = _mm_set1_ps(A.pos.z);
  const __m128 as = _mm_set1_ps(A.spacing);
  for (; k + 4 <= m; k += 4) {
    __m128 bx = _mm_loadu_ps(&in[cand[k]].pos.x), by = _mm_loadu_ps(&in[cand[k + 1]].pos.x),
           bz = _mm_loadu_ps(&in[cand[k + 2]].pos.x), bs = _mm_loadu_ps(&in[cand[k + 3]].pos.x);
    _MM_TRANSPOSE4_PS(bx, by, bz, bs);
    const __m128 dx = _mm_sub_ps(ax, bx), dy = _mm_sub_ps(ay, by), dz = _mm_sub_ps(az, bz);
    const __m128 r2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    const int near = _mm_movemask_ps(_mm_cmplt_ps(_mm_sqrt_ps(r2), _mm_add_ps(as, bs)));
    for (int l = 0; l < 4; ++l) {
      const int j = cand[k + l];
      out[kept] = j;  // kept only when it counts: room for every candidate
      kept += ((near >> l) & 1) & (j != i ? 1 : 0);
    }
  }
#endif
  for (; k < m; ++k) {
    const int j = cand[k];
    const Vec3f d = A.pos - in[j].pos;
    const float r2 = d.x * d.x + d.y * d.y + d.z * d.z;
    const float S = A.spacing + in[j].spacing;
    if (j != i && !BeyondReach(r2, S) && std::sqrt(r2) < S) out[kept++] = j;
  }
  return kept;
}

// The pair build's rule: every partner but the particle itself.
struct AllButSelf {
  int i;
  bool operator()(int j) const { return j != i; }
  int Mask(const int32_t* js, int lanes) const {
    int bits = 0;
    for (int l = 0; l < lanes; ++l) bits |= int(js[l] != i) << l;
    return bits;
  }
};

// The later sub-steps' rule: a pair counts when its partner is live and its
// lower slot not new. `clean`: no slot is dead or new (no flag to look up).
struct LiveAndOld {
  int i, n;
  const uint8_t* flags;
  bool selfNew;
  bool clean;
  bool operator()(int j) const {
    if (j < 0 || j >= n || j == i) return false;
    const uint8_t f = flags[j];
    if (f & 1) return false;
    const bool lowerIsNew = i < j ? selfNew : (f & 2) != 0;
    return !lowerIsNew;
  }
  // Without a branch a lane where no partner is dead or new and the
  // particle is not new either, which is nearly always so.
  int Mask(const int32_t* js, int lanes) const {
    int listed = 0;
    unsigned any = selfNew ? 2u : 0u;
    for (int l = 0; l < lanes; ++l) {
      const int j = js[l];
      const bool ok = unsigned(j) < unsigned(n) && j != i;
      listed |= int(ok) << l;
      if (!clean) any |= flags[ok ? j : i];
    }
    if (!(any & 3u)) return listed;
    int bits = 0;
    for (int l = 0; l < lanes; ++l) bits |= int((*this)(js[l])) << l;
    return bits;
  }
};

void ListDensity(int i, int n, const int32_t* list, int m, const PairInput* in, const uint8_t* flags,
                 bool clean, float& density, Vec3f& cohesion, float& dtLimit) {
  DensityOver(i, list, m, in, LiveAndOld{i, n, flags, (flags[i] & 2) != 0, clean}, density, cohesion, dtLimit);
}
}  // namespace

// ---------------------------------------------------------------- CellGrid

CellGrid::CellGrid(const Vec3f& o, float size, FluidSolver* s) : origin(o), solver(s) {
  SetCellSize(size);
}

void CellGrid::SetCellSize(float size) {
  cellSize = size;
  invCellSize = size > 0.0f ? 1.0f / size : 0.0f;
}

void CellGrid::CellIndex(const Vec3f& p, int& i, int& j, int& k) const {
  i = AxisIndex((p.x - origin.x) * invCellSize);
  j = AxisIndex((p.y - origin.y) * invCellSize);
  k = AxisIndex((p.z - origin.z) * invCellSize);
}

int CellGrid::FindIndex(int i, int j, int k) const {
  uint64_t key = CellKey(i, j, k);
  auto end = keys_.begin() + cellCount_;
  auto it = std::lower_bound(keys_.begin(), end, key);
  return (it != end && *it == key) ? int(it - keys_.begin()) : -1;
}

GridCell* CellGrid::Find(int i, int j, int k) {
  int c = FindIndex(i, j, k);
  return c < 0 ? nullptr : &cells_[c];
}

GridCell* CellGrid::GetOrCreate(int i, int j, int k) {
  uint64_t key = CellKey(i, j, k);
  auto end = keys_.begin() + cellCount_;
  auto it = std::lower_bound(keys_.begin(), end, key);
  int pos = int(it - keys_.begin());
  if (it != end && *it == key) return &cells_[pos];
  if ((int)cells_.size() == cellCount_) cells_.emplace_back();
  if ((int)keys_.size() == cellCount_) keys_.push_back(0);
  // Move the spare record at the end into place; it keeps its capacity.
  std::rotate(cells_.begin() + pos, cells_.begin() + cellCount_, cells_.begin() + cellCount_ + 1);
  std::rotate(keys_.begin() + pos, keys_.begin() + cellCount_, keys_.begin() + cellCount_ + 1);
  ++cellCount_;
  keys_[pos] = key;
  GridCell& cell = cells_[pos];
  cell.i = i; cell.j = j; cell.k = k;
  cell.members.clear();
  std::memset(cell.visited, 0, sizeof cell.visited);
  tableValid_ = false;
  slotCell_.clear();  // cell indices moved
  return &cell;
}

void CellGrid::Clear() {
  // The records keep their member lists (and storage) for the next build,
  // which sizes each anew: clearing them would walk every cell each step.
  cellCount_ = 0;
  tableValid_ = false;
  slotCell_.clear();
}

void CellGrid::Reset() {
  Clear();
  decltype(cells_)().swap(cells_);
  decltype(keys_)().swap(keys_);
  decltype(slotCell_)().swap(slotCell_);
  decltype(neighbourTable_)().swap(neighbourTable_);
  for (auto& scratch : sortScratch_) vorel::host::LargeVector<SortEntry>().swap(scratch);
  decltype(histScratch_)().swap(histScratch_);
  decltype(keyScratch_)().swap(keyScratch_);
  decltype(startScratch_)().swap(startScratch_);
}

void CellGrid::Build(std::vector<FluidParticle>& particles, int count, const float* clockT0) {
  Clear();
  // Every pass below runs over fixed runs of its array, the same for any
  // thread count; a run's result depends only on its own items and on the
  // prefix sums over the runs before it, so the grid is the same for one
  // thread or many.
  const int runs = count >= kParallelMin ? std::max(1, std::min(omp_get_max_threads(), kMaxRuns)) : 1;
  auto runBegin = [runs](size_t n, int r) { return size_t(uint64_t(n) * uint64_t(r) / uint64_t(runs)); };
  struct alignas(64) RunBox {
    int lo[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
    int hi[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
    uint32_t live = 0;   // live slots
    uint32_t opens = 0;  // cells that begin in the run of the sorted slots
  };
  RunBox box[kMaxRuns];
  // Room for what the passes write, made before the team starts: no pass
  // waits for one thread to allocate it. A build sorts at most `count`
  // slots, at most kMaxPasses digits of at most kDigitBits bits.
  constexpr int kMaxPasses = (63 + kDigitBits - 1) / kDigitBits;
  keyScratch_.resize(size_t(count));
  slotCell_.resize(size_t(count));
  for (auto& b : sortScratch_)
    if (b.size() < size_t(count)) b.resize(size_t(count));
  std::vector<uint32_t>& hist = histScratch_;  // per pass, per run, per digit
  const size_t histSize = size_t(kMaxPasses) * size_t(runs) << kDigitBits;
  if (hist.size() < histSize) hist.resize(histSize);
  int nc = 0;  // cells, once counted
  // Pass p sorts into buffer p % 2 (the first pass reads the keys).
  vorel::host::LargeVector<SortEntry>* const buffer[2] = {&sortScratch_[0], &sortScratch_[1]};
  vorel::host::ParallelFailure failure;
  // One thread team for every pass, each ending at a barrier. What the
  // serial steps between passes decide (the box of the occupied cells, the
  // digits, where each run's items go) every thread works out for itself
  // from the runs' small totals, instead of one thread while the others
  // wait at a second barrier: starting a team or waking one costs more
  // than a pass over 100,000 particles here.
#pragma omp parallel if (runs > 1)
  {
#pragma omp for schedule(static, 1)
    for (int r = 0; r < runs; ++r) {
      RunBox b;
      for (size_t s = runBegin(size_t(count), r); s < runBegin(size_t(count), r + 1); ++s) {
        const FluidParticle& p = particles[s];
        if (clockT0 && !p.isNew) particles[s].clock = *clockT0;
        if (p.dead) {
          keyScratch_[s] = ~uint64_t(0);
          slotCell_[s] = -1;
          continue;
        }
        int c[3];
        CellIndex(p.pos, c[0], c[1], c[2]);
        keyScratch_[s] = CellKey(c[0], c[1], c[2]);
        ++b.live;
        for (int a = 0; a < 3; ++a) {
          b.lo[a] = std::min(b.lo[a], c[a]);
          b.hi[a] = std::max(b.hi[a], c[a]);
        }
      }
      box[r] = b;
    }
    RunBox all;
    size_t live = 0;
    for (int r = 0; r < runs; ++r) {
      live += box[r].live;
      for (int a = 0; a < 3; ++a) {
        all.lo[a] = std::min(all.lo[a], box[r].lo[a]);
        all.hi[a] = std::max(all.hi[a], box[r].hi[a]);
      }
    }
    if (live > 0) {
      // Cells numbered densely within the box of the occupied ones, in
      // (k, j, i) order: at most (2e6 + 1)^3 < 2^64 numbers.
      uint64_t span[3];
      for (int a = 0; a < 3; ++a) span[a] = uint64_t(int64_t(all.hi[a]) - all.lo[a] + 1);
      const uint64_t last = span[0] * span[1] * span[2] - 1;
      const int bits = last == 0 ? 0 : 64 - __builtin_clzll(last);
      const int passes = std::max(1, (bits + kDigitBits - 1) / kDigitBits);
      const int digitBits = (bits + passes - 1) / passes;
      const int radix = 1 << digitBits;
      auto denseOf = [&](uint64_t key) {
        const uint64_t i = uint64_t(int64_t(key & 0x1FFFFF) - kBias - all.lo[0]);
        const uint64_t j = uint64_t(int64_t((key >> 21) & 0x1FFFFF) - kBias - all.lo[1]);
        const uint64_t k = uint64_t(int64_t(key >> 42) - kBias - all.lo[2]);
        return (k * span[1] + j) * span[0] + i;
      };
      // Stable LSD radix sort of the live slots by dense cell number, one
      // digit a pass: the slots of a cell end up in ascending order. The
      // first pass reads the slots straight from the keys (dead ones
      // skipped).
      for (int pass = 0; pass < passes; ++pass) {
        const int shift = pass * digitBits;
        const uint64_t mask = uint64_t(radix) - 1;
        const bool firstPass = pass == 0;
        const size_t n = firstPass ? size_t(count) : live;
        const SortEntry* from = firstPass ? nullptr : buffer[(pass + 1) % 2]->data();
        uint32_t* const passHist = &hist[size_t(pass) * size_t(runs) * size_t(radix)];
#pragma omp for schedule(static, 1)
        for (int r = 0; r < runs; ++r) {
          uint32_t* h = passHist + size_t(r) * size_t(radix);
          std::fill(h, h + radix, 0u);
          for (size_t e = runBegin(n, r); e < runBegin(n, r + 1); ++e) {
            if (firstPass) {
              if (keyScratch_[e] == ~uint64_t(0)) continue;
              ++h[(denseOf(keyScratch_[e]) >> shift) & mask];
            } else {
              ++h[(from[e].key >> shift) & mask];
            }
          }
        }
        SortEntry* const to = buffer[pass % 2]->data();
#pragma omp for schedule(static, 1)
        for (int r = 0; r < runs; ++r) {
          // Where the run's items of each digit go: after every item of a
          // lower digit, and after the earlier runs' items of this one.
          uint32_t at[1 << kDigitBits];
          uint32_t total = 0;
          for (int d = 0; d < radix; ++d)
            for (int q = 0; q < runs; ++q) {
              if (q == r) at[d] = total;
              total += passHist[size_t(q) * size_t(radix) + size_t(d)];
            }
          for (size_t e = runBegin(n, r); e < runBegin(n, r + 1); ++e) {
            SortEntry x;
            if (firstPass) {
              if (keyScratch_[e] == ~uint64_t(0)) continue;
              x = SortEntry{denseOf(keyScratch_[e]), int32_t(e)};
            } else {
              x = from[e];
            }
            to[at[(x.key >> shift) & mask]++] = x;
          }
        }
      }
      const SortEntry* const sorted = buffer[(passes + 1) % 2]->data();
      auto opens = [sorted](size_t e) { return e == 0 || sorted[e].key != sorted[e - 1].key; };
      // Cells: each run counts the cells that begin within it, a prefix sum
      // numbers them, each run then makes its own (members past its end
      // included).
#pragma omp for schedule(static, 1)
      for (int r = 0; r < runs; ++r) {
        uint32_t c = 0;
        for (size_t e = runBegin(live, r); e < runBegin(live, r + 1); ++e) c += opens(e) ? 1 : 0;
        box[r].opens = c;
      }
#pragma omp single
      {
        for (int r = 0; r < runs; ++r) nc += int(box[r].opens);
        failure.Run([&] {
          GrowTo(cells_, size_t(nc), size_t(count));  // a cell holds one slot at least
          GrowTo(keys_, size_t(nc), size_t(count));
        });
      }
      // A member list that cannot grow fails the build after the loop. The
      // team's end is the loop's barrier.
#pragma omp for schedule(static, 1) nowait
      for (int r = 0; r < runs; ++r) {
        if (failure.Failed()) continue;
        int c = 0;
        for (int q = 0; q < r; ++q) c += int(box[q].opens);
        const size_t end = runBegin(live, r + 1);
        size_t e = runBegin(live, r);
        while (e < end && !opens(e)) ++e;
        for (; e < end && !failure.Failed(); ++c) {
          size_t f = e + 1;
          while (f < live && !opens(f)) ++f;
          failure.Run([&] {
            const uint64_t key = keyScratch_[size_t(sorted[e].slot)];
            keys_[size_t(c)] = key;
            GridCell& cell = cells_[size_t(c)];
            cell.i = int(key & 0x1FFFFF) - kBias;
            cell.j = int((key >> 21) & 0x1FFFFF) - kBias;
            cell.k = int(key >> 42) - kBias;
            std::memset(cell.visited, 0, sizeof cell.visited);
            cell.members.resize(f - e);
            for (size_t m = e; m < f; ++m) {
              const int32_t slot = sorted[m].slot;
              cell.members[m - e] = slot;
              slotCell_[size_t(slot)] = c;
            }
          });
          e = f;
        }
      }
    }
  }
  failure.Rethrow();
  cellCount_ = nc;
}

const vorel::host::LargeVector<int>& CellGrid::NeighbourTable() {
  if (PrepareNeighbourTable()) {
#pragma omp parallel if (cellCount_ >= kParallelMin)
    FillNeighbourTable();
  }
  return neighbourTable_;
}

bool CellGrid::PrepareNeighbourTable() {
  if (tableValid_) return false;
  GrowTo(neighbourTable_, size_t(cellCount_) * 27, std::max(size_t(cellCount_), slotCell_.size()) * 27);
  const int nc = cellCount_;
  // The cells of one (j, k) row are consecutive and ascend in i: each row
  // finds its nine neighbouring rows once and walks each of them beside
  // itself, so every cell's neighbours cost a few steps, not searches.
  vorel::host::LargeVector<int>& rows = startScratch_;  // first cell of each row, then nc
  rows.clear();
  for (int c = 0; c < nc; ++c)
    if (c == 0 || (keys_[size_t(c)] >> 21) != (keys_[size_t(c) - 1] >> 21)) rows.push_back(c);
  rows.push_back(nc);
  tableValid_ = true;  // once the rows are filled
  return true;
}

int64_t CellGrid::CandidatePairs(int c) const {
  const int* row = &neighbourTable_[size_t(c) * 27];
  int64_t around = 0;
  for (int o = 0; o < 27; ++o) {
    const int nb = o == kSameCell ? c : row[o];
    if (nb >= 0) around += int64_t(cells_[size_t(nb)].members.size());
  }
  return around * int64_t(cells_[size_t(c)].members.size());
}

void CellGrid::FillNeighbourTable(int64_t* candidates) {
  const vorel::host::LargeVector<int>& rows = startScratch_;
  const int nr = int(rows.size()) - 1;
  auto rowKey = [this](int c) { return keys_[size_t(c)] >> 21; };
  int64_t mine = 0;  // candidate pairs of the rows this thread filled
  // Each row is filled by its own iteration: no serial pass over the table.
#pragma omp for schedule(dynamic, 16) nowait
  for (int r = 0; r < nr; ++r) {
    const int a = rows[size_t(r)], b = rows[size_t(r) + 1];
    std::fill(neighbourTable_.begin() + size_t(a) * 27, neighbourTable_.begin() + size_t(b) * 27, -1);
    const GridCell& first = cells_[size_t(a)];
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        // The neighbouring row, if occupied: [na, nb).
        const uint64_t want = CellKey(0, first.j + dj, first.k + dk) >> 21;
        const auto found = std::lower_bound(rows.begin(), rows.begin() + nr, want,
                                            [&](int c, uint64_t key) { return rowKey(c) < key; });
        if (found == rows.begin() + nr || rowKey(*found) != want) continue;
        int q = *found;
        const int nb = *(found + 1);
        for (int c = a; c < b; ++c) {
          const int ci = cells_[size_t(c)].i;
          while (q < nb && cells_[size_t(q)].i < ci - 1) ++q;
          int* row = &neighbourTable_[size_t(c) * 27];
          for (int t = q; t < nb && cells_[size_t(t)].i <= ci + 1; ++t) {
            const int di = cells_[size_t(t)].i - ci;
            row[((di + 1) * 3 + (dj + 1)) * 3 + (dk + 1)] = t;
          }
        }
      }
    if (candidates)
      for (int c = a; c < b; ++c) mine += CandidatePairs(c);
  }
  if (candidates) {
#pragma omp atomic
    *candidates += mine;
  }
#pragma omp barrier
}

// ---------------------------------------------------------------- pair lists

void FluidSolver::SyncPairSlots() {
  if (pairSpans_.size() < particles.size()) pairSpans_.resize(particles.size());
  if (pairBlocks_.empty()) pairBlocks_.resize(1);
}

int32_t* FluidSolver::PairRoom(int b, size_t more) {
  PairBlock& block = pairBlocks_[size_t(b)];
  if (block.data.size() < block.used + more)
    block.data.resize(std::max(block.used + more, block.data.size() + block.data.size() / 4 + 1024));
  return block.data.data() + block.used;
}

int FluidSolver::PairCount(int i) const {
  return i >= 0 && size_t(i) < pairSpans_.size() ? pairSpans_[size_t(i)].count : 0;
}

const int32_t* FluidSolver::PairList(int i) const {
  if (PairCount(i) == 0) return nullptr;
  const PairSpan& L = pairSpans_[size_t(i)];
  return pairBlocks_[size_t(L.block)].data.data() + L.offset;
}

std::vector<int32_t> FluidSolver::Neighbours(int i) const {
  const int32_t* list = PairList(i);
  return list ? std::vector<int32_t>(list, list + PairCount(i)) : std::vector<int32_t>();
}

void FluidSolver::ClearPairList(int i) {
  SyncPairSlots();
  if (i < 0 || size_t(i) >= particles.size()) return;
  pairSpans_[size_t(i)] = PairSpan();
  particles[size_t(i)].neighbourCount = 0;
}

void FluidSolver::AppendPair(int i, int b) {
  SyncPairSlots();
  if (i < 0 || size_t(i) >= particles.size()) return;
  PairSpan& L = pairSpans_[size_t(i)];
  PairBlock& spill = pairBlocks_[0];
  // A list not at the end of block 0 moves there first; it then grows in place.
  if (L.count == 0 || L.block != 0 || size_t(L.offset + L.count) != spill.used) {
    int32_t* to = PairRoom(0, size_t(L.count) + 1);
    if (L.count > 0) std::memmove(to, pairBlocks_[size_t(L.block)].data.data() + L.offset, size_t(L.count) * 4);
    L.block = 0;
    L.offset = int64_t(spill.used);
    spill.used += size_t(L.count);
  } else {
    PairRoom(0, 1);
  }
  spill.data[spill.used++] = b;
  ++L.count;
  particles[size_t(i)].neighbourCount = L.count;
}

void FluidSolver::ReleaseStepStorage() {
  RecordsChanged();
  grid->Reset();
  std::vector<PairBlock>().swap(pairBlocks_);
  decltype(pairSpans_)().swap(pairSpans_);
  decltype(pairInput_)().swap(pairInput_);
  decltype(pairFlags_)().swap(pairFlags_);
  decltype(forceInput_)().swap(forceInput_);
  decltype(densitySums_)().swap(densitySums_);
  // Blocks kept for reuse would stand in the way of what comes next.
  vorel::host::ReleaseRetainedLargeBlocks();
}

bool FluidSolver::PairTerms(int i, int k, float& mu, Vec3f& grad) const {
  mu = 0.0f;
  grad = Vec3f();
  if (k < 0 || k >= PairCount(i) || i >= count) return false;
  const int j = PairList(i)[k];
  if (j < 0 || j >= count || j == i || particles[size_t(j)].dead) return false;
  SpacingTerms t;
  if (TermsSide(InputOf(particles[size_t(i)]), InputOf(particles[size_t(j)]), t, mu, grad)) return true;
  mu = 0.0f;
  grad = Vec3f();
  return false;
}

// ---------------------------------------------------------------- pairs

void FluidSolver::RebuildNeighbourGrid(float t0) {
  grid->Build(particles, count, &t0);
}

void FluidSolver::PairKernel(int a, int b) {
  RecordsChanged();
  FluidParticle& pa = particles[a];
  FluidParticle& pb = particles[b];
  PairInput A = InputOf(pa), B = InputOf(pb);
  SpacingTerms ta, tb;
  if (!DensitySide(A, B, ta, pa.density, pa.cohesion, pa.dtLimit)) return;
  DensitySide(B, A, tb, pb.density, pb.cohesion, pb.dtLimit);
  AppendPair(a, b);
  AppendPair(b, a);
}

bool FluidSolver::BuildNeighbourPairs() {
  RecordsChanged();
  return BuildPairs(false);
}

bool FluidSolver::BuildPairs(bool fused) {
  const int n = count;
  SyncPairSlots();
  if ((int)pairInput_.size() < n) pairInput_.resize(n);
  if (fused && (int)forceInput_.size() < n) forceInput_.resize(n);
  if (fused && (int)densitySums_.size() < n) densitySums_.resize(n);
  // Slots beyond the count keep their list lengths (a frame written now
  // stores them) but no longer their storage, which is reused below.
  for (size_t i = size_t(n); i < pairSpans_.size(); ++i)
    if (pairSpans_[i].count) pairSpans_[i] = PairSpan();
  for (PairBlock& b : pairBlocks_) b.used = 0;
  const bool fillTable = grid->PrepareNeighbourTable();
  const vorel::host::LargeVector<int>& table = grid->FilledNeighbourTable();
  const int nc = grid->CellCount();
  const int threads = omp_get_max_threads();
  int64_t room = 0;
  bool asked = false;
  std::atomic<int> nextSegment{1};  // block 0 is the spill block

  // Each particle's list is rebuilt on its own, in the order in which the
  // serial walk over the cells (k, j, i ascending; each pair of cells joined
  // at the earlier one) would have appended to it. Lists, their order and
  // every accumulated sum are therefore those of the walk, bit for bit,
  // whatever the thread count, and no particle is written by two threads.
  // Each thread writes the lists it builds into a block of its own.
  // All members of a cell share one candidate list in walk order (the
  // earlier neighbours' members, then the own cell's and the later
  // neighbours' in offset order); each member skips itself in it.
  // Each thread's candidate buffer header on a cache line of its own.
  struct alignas(64) Candidates {
    std::vector<int32_t> list;
  };
  std::vector<Candidates> candidates(static_cast<size_t>(threads));
  auto buildCell = [&](int c, std::vector<int32_t>& cand, int& block) {
    const int* row = &table[size_t(c) * 27];
    cand.clear();
    for (int o : kOrder.earlier) {
      const int nb = row[o];
      if (nb < 0) continue;
      const std::vector<int32_t>& m = grid->CellAt(nb).members;
      cand.insert(cand.end(), m.begin(), m.end());
    }
    for (int o = 0; o < 27; ++o) {
      if (o != kSameCell && OffsetIsEarlier(o)) continue;
      const int nb = o == kSameCell ? c : row[o];
      if (nb < 0) continue;
      const std::vector<int32_t>& m = grid->CellAt(nb).members;
      cand.insert(cand.end(), m.begin(), m.end());
    }
    for (int a : grid->CellAt(c).members) {
      // As the loop above left the record (which is not read again here).
      const PairInput& in = pairInput_[size_t(a)];
      float density = SelfDensity(in.mass, in.spacing);
      Vec3f cohesion;
      float dtLimit = 1e6f;
      if (block == 0 || pairBlocks_[size_t(block)].used + cand.size() > pairBlocks_[size_t(block)].data.size()) {
        block = nextSegment.fetch_add(1);
        PairBlock& fresh = pairBlocks_[size_t(block)];
        fresh.used = 0;
        if (fresh.data.size() < std::max(cand.size(), kPairSegment))
          fresh.data.resize(std::max(cand.size(), kPairSegment));
      }
      PairBlock& B = pairBlocks_[size_t(block)];
      int32_t* const first = B.data.data() + B.used;
      const int kept = InReach(a, cand.data(), int(cand.size()), pairInput_.data(), first);
      DensityOver(a, first, kept, pairInput_.data(), AllButSelf{a}, density, cohesion, dtLimit);
      PairSpan& L = pairSpans_[size_t(a)];
      L.block = block;
      L.offset = int64_t(B.used);
      L.count = int32_t(kept);
      B.used += size_t(kept);
      particles[size_t(a)].neighbourCount = kept;
      StoreDensity(a, density, cohesion, dtLimit, fused);
    }
  };

  // Escape is polled by the calling thread (the only one that may ask the
  // host): once after the lists are emptied, then before every kPollCells
  // cells it takes in the walk; once asked, every thread skips the cells
  // left. Storage that cannot grow ends the walk the same way, and the
  // build throws after it.
  constexpr int kPollCells = 2048;
  pairShares_.Reset((nc + kPairCells - 1) / kPairCells, threads);
  std::atomic<bool> stopped{false};
  vorel::host::ParallelFailure failure;
  // One thread team for the whole build.
#pragma omp parallel if (n >= kParallelMin || nc >= 256)
  {
#pragma omp for schedule(static) nowait
    for (int i = 0; i < n; ++i) {
      FluidParticle& p = particles[i];
      pairSpans_[i] = PairSpan();
      p.neighbourCount = 0;
      p.density = SelfDensity(p);
      p.cohesion = Vec3f();
      p.isNew = 0;
      p.dtLimit = 1e6f;
      pairInput_[i] = InputOf(p);
      if (fused) {
        SetForceInput(i, p);  // live ones get their sums in the walk below
        densitySums_[size_t(i)] = DensitySums{Vec3f(), 1e6f};
      }
    }
    // Asked while the others empty the lists and count the candidate
    // pairs (filling the table if it must be): the walk waits for all
    // three at the end of that loop.
    //
    // The lists go into segments of kPairSegment entries that the threads
    // take in turn as they fill them, so the storage follows the number of
    // pairs however unevenly the cells fall to the threads. A member
    // reserves room for all its candidates; a segment too full for them is
    // left, so each candidate's room counts at most twice towards the
    // segments taken: their headers are made beforehand (none is added
    // while the threads run).
#pragma omp master
    asked = solver_host::AbortRequested();
    if (fillTable) {
      grid->FillNeighbourTable(&room);
    } else {
#pragma omp for schedule(static) reduction(+ : room)
      for (int c = 0; c < nc; ++c) room += grid->CandidatePairs(c);
    }
    if (!asked) {
      // Every thread sees the same total: the team waits for one thread
      // to make headers only when the last builds' are too few (and only
      // once every thread has compared, so all take the same way).
      const size_t headers = 1 + size_t(threads) + size_t(2 * room / kPairSegment + 1);
      if (pairBlocks_.size() < headers) {
#pragma omp barrier
#pragma omp single
        failure.Run([&] { pairBlocks_.resize(headers); });
      }
      if (!failure.Failed()) {
        int block = 0;  // none taken yet
        const bool polls = omp_get_thread_num() == 0;
        std::vector<int32_t>& cand = candidates[size_t(omp_get_thread_num())].list;
        int sincePoll = kPollCells;
        auto walk = [&](int c) {
          if (stopped.load(std::memory_order_relaxed)) return;
          if (polls && ++sincePoll > kPollCells) {
            sincePoll = 1;
            if (solver_host::AbortRequested()) {
              stopped.store(true, std::memory_order_relaxed);
              return;
            }
          }
          if (!failure.Run([&] { buildCell(c, cand, block); })) stopped.store(true, std::memory_order_relaxed);
        };
        // Each thread takes the cells of its own share first (their members
        // are about the particles its share of the closing pass handled).
        const int thread = omp_get_thread_num();
        for (int64_t chunk; (chunk = pairShares_.Next(thread)) >= 0;)
          for (int c = int(chunk) * kPairCells, end = std::min(nc, c + kPairCells); c < end; ++c) walk(c);
      }
    }
  }
  if (asked) return false;
  failure.Rethrow();
  return !stopped.load();
}

void FluidSolver::ComputePairsSerial() {
  RecordsChanged();
  SyncPairSlots();
  std::vector<int> fresh;
  for (int i = 0; i < count; ++i) {
    FluidParticle& p = particles[i];
    if (!p.isNew) continue;
    fresh.push_back(i);
    ClearPairList(i);
    p.density = SelfDensity(p);
    p.cohesion = Vec3f();
  }
  // A pair of two new particles is offered once, from its lower slot; the
  // other still carries isNew until all are done.
  for (int i : fresh) {
    int ci, cj, ck;
    grid->CellIndex(particles[i].pos, ci, cj, ck);
    for (int di = -1; di <= 1; ++di)
      for (int dj = -1; dj <= 1; ++dj)
        for (int dk = -1; dk <= 1; ++dk) {
          GridCell* cell = grid->Find(ci + di, cj + dj, ck + dk);
          if (!cell) continue;
          for (int b : cell->members) {
            if (b == i || b >= count) continue;
            const FluidParticle& pb = particles[b];
            if (pb.dead) continue;
            if (pb.isNew && b < i) continue;
            PairKernel(i, b);
          }
        }
  }
  for (int i : fresh) particles[i].isNew = 0;
}

void FluidSolver::ComputeDensityAndForces() {
  RecordsChanged();
  DensityPass(false);
}

void FluidSolver::DensityPass(bool fused) {
  DensityPrepare(fused, -1);
#pragma omp parallel if (count >= kParallelMin)
  DensityChunks(fused);
}

void FluidSolver::DensityPrepare(bool fused, int kept) {
  const int n = count;
  SyncPairSlots();
  if ((int)pairInput_.size() < n) pairInput_.resize(n);
  if ((int)pairFlags_.size() < n) pairFlags_.resize(n);
  if (fused && (int)forceInput_.size() < n) forceInput_.resize(n);
  if (fused && (int)densitySums_.size() < n) densitySums_.resize(n);
  // Slots from `from` on are copied here; those before it were copied by
  // the closing pass of the step before, from the records as they stand.
  const int from = fused && kept >= 0 && kept <= n ? kept : 0;
  // The flags of all slots together (an integer OR: the same for any thread
  // count); without a dead or new slot the density pass looks none up.
  unsigned flagsOr = from > 0 ? keptFlags_ : 0u;
#pragma omp parallel for schedule(static) reduction(| : flagsOr) if (n - from >= kParallelMin)
  for (int i = from; i < n; ++i) {
    const FluidParticle& p = particles[i];
    pairInput_[i] = InputOf(p);
    pairFlags_[i] = PairFlagsOf(p);
    flagsOr |= pairFlags_[i];
  }
  densityClean_ = (flagsOr & 3u) == 0;
  densityShares_.Reset((n + kDensityChunk - 1) / kDensityChunk, omp_get_max_threads());
}

void FluidSolver::DensityChunks(bool fused) {
  const int n = count;
  // Every particle updates its own side of each listed pair; the other side
  // is updated by the other particle's iteration with bitwise the same
  // terms. A pair counts when its lower slot is live and not new and its
  // higher slot is live; a pair with a dead partner (or out of range) adds
  // nothing, and the force pass skips it as well, so that a particle killed
  // during the frame pushes nobody. Handed out in chunks, each thread its
  // own share first (those the closing pass before gave it, whose copies
  // its caches hold): particles at the surface have fewer pairs than those
  // inside. Fused, each iteration also makes its own particle's force
  // inputs.
  auto one = [&](int i) {
    const uint8_t flags = pairFlags_[i];
    if (flags & 1) {
      if (fused) forceInput_[size_t(i)].dead = 1;
      return;
    }
    const PairSpan L = pairSpans_[i];
    const int32_t* list = L.count ? pairBlocks_[size_t(L.block)].data.data() + L.offset : nullptr;
    float density = SelfDensity(pairInput_[i].mass, pairInput_[i].spacing);
    Vec3f cohesion;
    float dtLimit = 1e6f;
    ListDensity(i, n, list, L.count, pairInput_.data(), pairFlags_.data(), densityClean_, density, cohesion,
                dtLimit);
    if (fused) {
      ForceInput& f = forceInput_[size_t(i)];
      f.in = pairInput_[i];
      f.dead = 0;
      f.active = (flags & 4) ? 0 : 1;
      // An inactive particle's pressure term is never computed: the
      // record's stands (read here, as the copy did).
      if (!f.active) f.pressureTerm = particles[size_t(i)].pressureTerm;
    }
    StoreDensity(i, density, cohesion, dtLimit, fused);
  };
  const int thread = omp_get_thread_num();
  for (int64_t c; (c = densityShares_.Next(thread)) >= 0;)
    for (int i = int(c) * kDensityChunk, end = std::min(n, i + kDensityChunk); i < end; ++i) one(i);
}

void FluidSolver::StoreDensity(int i, float density, const Vec3f& cohesion, float dtLimit, bool fused) {
  if (fused) {
    ForceInput& f = forceInput_[size_t(i)];
    f.density = density;
    if (f.active) f.pressureTerm = PressureTermOf(density);
    densitySums_[size_t(i)] = DensitySums{cohesion, dtLimit};
    return;
  }
  FluidParticle& p = particles[size_t(i)];
  p.density = density;
  p.cohesion = cohesion;
  p.dtLimit = dtLimit;
}

void FluidSolver::StoreDensities(bool pressure, const float* clockT0) {
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[size_t(i)];
    if (clockT0 && !p.isNew) p.clock = *clockT0;
    const ForceInput& f = forceInput_[size_t(i)];
    if (f.dead) continue;  // the density passes skip dead slots
    p.density = f.density;
    p.cohesion = densitySums_[size_t(i)].cohesion;
    p.dtLimit = densitySums_[size_t(i)].dtLimit;
    if (pressure && f.active) p.pressureTerm = f.pressureTerm;
  }
}
