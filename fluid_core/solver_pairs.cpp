// Neighbour grid, pair lists and the pair kernel (density, gradient,
// viscosity term, stable step, cohesion).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <parallel/algorithm>

#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"

namespace {
constexpr int kBias = 1 << 20;
constexpr float kIndexLimit = 1e6f;  // below kBias, so +/-1 offsets stay encodable
constexpr int kSameCell = 13;

uint64_t CellKey(int i, int j, int k) {
  return (uint64_t(uint32_t(k + kBias)) << 42) | (uint64_t(uint32_t(j + kBias)) << 21) |
         uint64_t(uint32_t(i + kBias));
}

int AxisIndex(float v) {
  if (!(v >= -kIndexLimit)) v = -kIndexLimit;  // also catches NaN
  if (v > kIndexLimit) v = kIndexLimit;
  return int(v);  // truncation toward zero: cell 0 is twice as wide
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

// One side of the pair terms: self's density, cohesion and step limit grow,
// and (mu, grad) are self's list entry. Computed from values that are
// symmetric in the two particles (r, u, S, s_a s_b), so both sides agree
// bitwise with a single shared evaluation.
inline bool PairSide(const PairInput& A, const PairInput& B, SpacingTerms& t, float& density,
                     Vec3f& cohesion, float& dtLimit, float& mu, Vec3f& grad) {
  Vec3f d = A.pos - B.pos;
  float r2 = d.x * d.x + d.y * d.y + d.z * d.z;
  float r = std::sqrt(r2);
  t.For(A, B);
  const float S = t.S;
  if (!(r < S)) return false;
  Vec3f dv = A.vel - B.vel;
  float u = dv.x * d.x + dv.y * d.y + dv.z * d.z;
  if (u > 0.0f) {
    float L = S / (u / r) * 0.025f;
    if (L < dtLimit) dtLimit = L;
  }
  float D = r2 + 0.01f * t.product;
  mu = B.spacing * u / D;
  const float e = t.e;
  float q = 2.0f - e * r;
  float w = q * q * e * e * e * 0.07958f;
  float W = w * q;
  // Two particles at one position have no direction between them: no
  // gradient rather than 0/0.
  float g = r > 1e-15f ? w * e * (-3.0f) / r : 0.0f;
  grad = d * g;
  density += W * B.mass;
  if (A.spacing > 0.0f) cohesion -= d * t.ratio;
  return true;
}

inline bool PairSide(const PairInput& A, const PairInput& B, float& density, Vec3f& cohesion,
                     float& dtLimit, float& mu, Vec3f& grad) {
  SpacingTerms t;
  return PairSide(A, B, t, density, cohesion, dtLimit, mu, grad);
}

PairInput InputOf(const FluidParticle& p) { return PairInput{p.pos, p.spacing, p.vel, p.mass}; }
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
  for (int c = 0; c < cellCount_; ++c) cells_[c].members.clear();
  cellCount_ = 0;
  tableValid_ = false;
  slotCell_.clear();
}

void CellGrid::Reset() {
  Clear();
  std::vector<GridCell>().swap(cells_);
  std::vector<uint64_t>().swap(keys_);
  std::vector<int>().swap(slotCell_);
  std::vector<int>().swap(neighbourTable_);
  std::vector<std::pair<uint64_t, int32_t>>().swap(scratch_);
  std::vector<uint64_t>().swap(keyScratch_);
  std::vector<int>().swap(startScratch_);
}

void CellGrid::Build(const std::vector<FluidParticle>& particles, int count) {
  Clear();
  // Scratch kept between builds: fresh large buffers cost page faults.
  std::vector<uint64_t>& keyOf = keyScratch_;
  keyOf.resize(count);
#pragma omp parallel for schedule(static) if (count >= kParallelMin)
  for (int s = 0; s < count; ++s) {
    const FluidParticle& p = particles[s];
    if (p.dead) {
      keyOf[s] = ~uint64_t(0);
      continue;
    }
    int i, j, k;
    CellIndex(p.pos, i, j, k);
    keyOf[s] = CellKey(i, j, k);
  }
  scratch_.clear();
  for (int s = 0; s < count; ++s)
    if (keyOf[s] != ~uint64_t(0)) scratch_.emplace_back(keyOf[s], s);
  // (key, slot) order: cells ascending, members in ascending slot order.
  if (scratch_.size() > 50000)
    __gnu_parallel::sort(scratch_.begin(), scratch_.end());
  else
    std::sort(scratch_.begin(), scratch_.end());

  std::vector<int>& start = startScratch_;
  start.clear();
  for (size_t e = 0; e < scratch_.size(); ++e)
    if (e == 0 || scratch_[e].first != scratch_[e - 1].first) start.push_back(int(e));
  const int nc = int(start.size());
  start.push_back(int(scratch_.size()));
  if ((int)cells_.size() < nc) cells_.resize(nc);
  if ((int)keys_.size() < nc) keys_.resize(nc);
  slotCell_.assign(count, -1);
#pragma omp parallel for schedule(static) if (nc >= kParallelMin)
  for (int c = 0; c < nc; ++c) {
    uint64_t key = scratch_[start[c]].first;
    keys_[c] = key;
    GridCell& cell = cells_[c];
    cell.i = int(key & 0x1FFFFF) - kBias;
    cell.j = int((key >> 21) & 0x1FFFFF) - kBias;
    cell.k = int(key >> 42) - kBias;
    cell.members.clear();
    std::memset(cell.visited, 0, sizeof cell.visited);
    for (int e = start[c]; e < start[c + 1]; ++e) {
      cell.members.push_back(scratch_[e].second);
      slotCell_[scratch_[e].second] = c;
    }
  }
  cellCount_ = nc;
}

const std::vector<int>& CellGrid::NeighbourTable() {
  if (tableValid_) return neighbourTable_;
  neighbourTable_.assign(size_t(cellCount_) * 27, -1);
  const int nc = cellCount_;
#pragma omp parallel for schedule(static) if (nc >= kParallelMin)
  for (int c = 0; c < nc; ++c) {
    const GridCell& g = cells_[c];
    int* row = &neighbourTable_[size_t(c) * 27];
    // The three cells of an x-row are consecutive keys: one search per row.
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        uint64_t first = CellKey(g.i - 1, g.j + dj, g.k + dk);
        auto end = keys_.begin() + nc;
        auto it = std::lower_bound(keys_.begin(), end, first);
        for (int di = -1; di <= 1 && it != end; ++di) {
          uint64_t key = CellKey(g.i + di, g.j + dj, g.k + dk);
          while (it != end && *it < key) ++it;
          if (it != end && *it == key) row[((di + 1) * 3 + (dj + 1)) * 3 + (dk + 1)] = int(it - keys_.begin());
        }
      }
  }
  tableValid_ = true;
  return neighbourTable_;
}

// ---------------------------------------------------------------- pairs

float FluidSolver::SelfDensity(const FluidParticle& p) const {
  return p.mass * 8.0f / (p.spacing * p.spacing * p.spacing * 12.566371f);
}

void FluidSolver::RebuildNeighbourGrid(float t0) {
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i)
    if (!particles[i].isNew) particles[i].clock = t0;
  grid->Build(particles, count);
}

void FluidSolver::PairKernel(int a, int b) {
  FluidParticle& pa = particles[a];
  FluidParticle& pb = particles[b];
  PairInput A = InputOf(pa), B = InputOf(pb);
  float muA, muB;
  Vec3f gA, gB;
  if (!PairSide(A, B, pa.density, pa.cohesion, pa.dtLimit, muA, gA)) return;
  PairSide(B, A, pb.density, pb.cohesion, pb.dtLimit, muB, gB);
  pa.neighbours.push_back(b); pa.pairMu.push_back(muA); pa.pairGrad.push_back(gA);
  pb.neighbours.push_back(a); pb.pairMu.push_back(muB); pb.pairGrad.push_back(gB);
}

void FluidSolver::PairDensityForce(int a, int b, int slotInA, int slotInB) {
  FluidParticle& pa = particles[a];
  FluidParticle& pb = particles[b];
  bool slotA = slotInA >= 0 && slotInA < (int)pa.neighbours.size();
  bool slotB = slotInB >= 0 && slotInB < (int)pb.neighbours.size();
  PairInput A = InputOf(pa), B = InputOf(pb);
  float muA = 0.0f, muB = 0.0f;
  Vec3f gA, gB;
  if (PairSide(A, B, pa.density, pa.cohesion, pa.dtLimit, muA, gA))
    PairSide(B, A, pb.density, pb.cohesion, pb.dtLimit, muB, gB);
  if (slotA) { pa.pairMu[slotInA] = muA; pa.pairGrad[slotInA] = gA; }
  if (slotB) { pb.pairMu[slotInB] = muB; pb.pairGrad[slotInB] = gB; }
}

bool FluidSolver::BuildNeighbourPairs() {
  const int n = count;
  if ((int)pairInput_.size() < n) pairInput_.resize(n);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    p.neighbours.clear();
    p.pairMu.clear();
    p.pairGrad.clear();
    p.density = SelfDensity(p);
    p.cohesion = Vec3f();
    p.isNew = 0;
    p.dtLimit = 1e6f;
    pairInput_[i] = InputOf(p);
  }
  if (solver_host::AbortRequested()) return false;
  const std::vector<int>& table = grid->NeighbourTable();
  const int nc = grid->CellCount();

  // Each particle's list is rebuilt on its own, in the order in which the
  // serial walk over the cells (k, j, i ascending; each pair of cells joined
  // at the earlier one) would have appended to it. Lists, their order and
  // every accumulated sum are therefore those of the walk, bit for bit,
  // whatever the thread count, and no particle is written by two threads.
  auto buildFor = [&](int a, int c) {
    FluidParticle& pa = particles[a];
    const PairInput A = pairInput_[a];
    const int* row = &table[size_t(c) * 27];
    SpacingTerms terms;
    auto offer = [&](int b) {
      float mu;
      Vec3f g;
      if (PairSide(A, pairInput_[b], terms, pa.density, pa.cohesion, pa.dtLimit, mu, g)) {
        pa.neighbours.push_back(b);
        pa.pairMu.push_back(mu);
        pa.pairGrad.push_back(g);
      }
    };
    // Room for every candidate at once: one allocation per list instead of
    // a chain of doublings the first time a list outgrows its reserve.
    size_t candidates = 0;
    for (int o = 0; o < 27; ++o)
      if (row[o] >= 0) candidates += grid->CellAt(row[o]).members.size();
    if (pa.neighbours.capacity() < candidates) {
      pa.neighbours.reserve(candidates);
      pa.pairMu.reserve(candidates);
      pa.pairGrad.reserve(candidates);
    }
    for (int o : kOrder.earlier) {
      int nb = row[o];
      if (nb < 0) continue;
      for (int b : grid->CellAt(nb).members) offer(b);
    }
    for (int o = 0; o < 27; ++o) {
      if (o == kSameCell) {
        for (int b : grid->CellAt(c).members)
          if (b != a) offer(b);
      } else if (!OffsetIsEarlier(o)) {
        int nb = row[o];
        if (nb < 0) continue;
        for (int b : grid->CellAt(nb).members) offer(b);
      }
    }
  };

  // The walk is cut into runs of whole k-layers; Escape is polled before each.
  int c = 0;
  while (c < nc) {
    if (solver_host::AbortRequested()) return false;
    int end = c;
    int cellsInRun = 0;
    while (end < nc && cellsInRun < 2048) {
      int k = grid->CellAt(end).k;
      while (end < nc && grid->CellAt(end).k == k) { ++end; ++cellsInRun; }
    }
#pragma omp parallel for schedule(dynamic, 16) if (end - c >= 256)
    for (int cc = c; cc < end; ++cc)
      for (int a : grid->CellAt(cc).members) buildFor(a, cc);
    c = end;
  }
  return true;
}

void FluidSolver::ComputePairsSerial() {
  std::vector<int> fresh;
  for (int i = 0; i < count; ++i) {
    FluidParticle& p = particles[i];
    if (!p.isNew) continue;
    fresh.push_back(i);
    p.neighbours.clear();
    p.pairMu.clear();
    p.pairGrad.clear();
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
  const int n = count;
  if ((int)pairInput_.size() < n) pairInput_.resize(n);
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    pairInput_[i] = InputOf(p);
    if (p.dead) continue;
    p.density = SelfDensity(p);
    p.cohesion = Vec3f();
    p.dtLimit = 1e6f;
  }
  // Every particle updates its own side of each listed pair; the other side
  // is updated by the other particle's iteration with bitwise the same
  // terms. A pair counts when its lower slot is live and not new and its
  // higher slot is live; a pair with a dead partner is zeroed so that a
  // particle killed during the frame pushes nobody.
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[i];
    if (p.dead) continue;
    const PairInput A = pairInput_[i];
    SpacingTerms terms;
    const int m = int(p.neighbours.size());
    for (int k = 0; k < m; ++k) {
      int j = p.neighbours[k];
      if (j < 0 || j >= n || j == i) {
        p.pairMu[k] = 0.0f;
        p.pairGrad[k] = Vec3f();
        continue;
      }
      const FluidParticle& q = particles[j];
      if (q.dead) {
        p.pairMu[k] = 0.0f;
        p.pairGrad[k] = Vec3f();
        continue;
      }
      const bool lowerIsNew = i < j ? p.isNew : q.isNew;
      if (lowerIsNew) continue;
      float mu;
      Vec3f g;
      if (PairSide(A, pairInput_[j], terms, p.density, p.cohesion, p.dtLimit, mu, g)) {
        p.pairMu[k] = mu;
        p.pairGrad[k] = g;
      } else {
        p.pairMu[k] = 0.0f;
        p.pairGrad[k] = Vec3f();
      }
    }
  }
}
