#include "mesher/polygonizer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <omp.h>
#include <sched.h>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "mesher/cube_tables.h"
#include "mesher/mesher_util.h"
#include "mesher/surface_builder.h"
#include "host/core/parallel_failure.h"

using namespace cube_tables;

namespace {
using mesher_util::ClampedTrunc;
using mesher_util::BigArray;
using mesher_util::KeptVector;
inline double Now() { return mesher_util::NowSeconds(); }
// Lattice batches smaller than this are evaluated serially: not worth a fork.
constexpr size_t kParallelBatch = 64;
// Other parallel passes over fewer items than this run serially.
constexpr int64_t kParallelItems = 4096;
// Passes whose output has varying length count in fixed blocks of items,
// sum the blocks' counts serially and fill in parallel: the blocks, and so
// the output, are the same on any number of threads.
constexpr int64_t kBlockItems = 4096;

// Prefix sums over fewer items than this are taken on one thread: each
// parallel region costs a wake-up of the team (tens of microseconds on a
// virtual machine, more under load), more than summing them.
constexpr int64_t kSerialPrefixItems = int64_t(1) << 17;

// out[0] = 0 and out[v + 1] = count(0) + ... + count(v) for v < n, summed
// in blocks of kBlockItems in order (serially where n is small: the same
// sums). count(v) may read out[v + 1]: each is read before it is written.
template <class T, class Count>
void BlockPrefix(int64_t n, Count&& count, T* out) {
  if (n <= kSerialPrefixItems) {
    int64_t sum = 0;
    for (int64_t v = 0; v < n; ++v) {
      sum += int64_t(count(v));
      out[v + 1] = T(sum);
    }
    out[0] = 0;
    return;
  }
  const int64_t blocks = (n + kBlockItems - 1) / kBlockItems;
  const std::vector<int64_t> at = mesher_util::BlockStarts(blocks, [&](int64_t b) {
    int64_t sum = 0;
    for (int64_t v = b * kBlockItems, e = std::min(n, v + kBlockItems); v < e; ++v) sum += int64_t(count(v));
    return sum;
  });
#pragma omp parallel for schedule(static) if (blocks > 1)
  for (int64_t b = 0; b < blocks; ++b) {
    int64_t sum = at[size_t(b)];
    for (int64_t v = b * kBlockItems, e = std::min(n, v + kBlockItems); v < e; ++v) {
      sum += int64_t(count(v));
      out[v + 1] = T(sum);
    }
  }
  out[0] = 0;
}

// *slot = v unless it holds a smaller value other than 0 (none yet).
inline void AtomicMinNonZero(uint32_t* slot, uint32_t v) {
  uint32_t cur = __atomic_load_n(slot, __ATOMIC_RELAXED);
  while ((cur == 0 || cur > v) &&
         !__atomic_compare_exchange_n(slot, &cur, v, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
  }
}

// The six directions from an outside lattice point to its neighbours, as
// axis * 2 + (1 when up the axis); a crossing is named by its edge's
// outside end and this direction.
constexpr int32_t kDirections = 6;
struct EdgeDirections {
  // d[e][n]: the direction of edge e when its corner n is the outside one.
  uint8_t d[12][2];
};
const EdgeDirections directions = [] {
  EdgeDirections t{};
  for (int e = 0; e < 12; ++e)
    for (int n = 0; n < 2; ++n) {
      const int* o = kCornerOffset[kEdgeCorners[e][n]];
      const int* q = kCornerOffset[kEdgeCorners[e][1 - n]];
      for (int a = 0; a < 3; ++a)
        if (q[a] != o[a]) t.d[e][n] = uint8_t(2 * a + (q[a] > o[a] ? 1 : 0));
    }
  return t;
}();

// Vertex clustering as edge collapses on the marching-cubes surface, which
// is a closed 2-manifold. Merging every crossing of an outside point into
// one vertex at once can press two sheets onto one edge or one vertex (the
// two inside corners of a cube face cut off separately, two bodies a cell
// apart); here the crossings of a point merge one surface edge at a time,
// and only where the two ends share exactly the two vertices opposite the
// edge (the link condition), which keeps the surface a closed 2-manifold.
// A point whose crossings cannot all merge keeps several groups. Points are
// taken in cluster order, each until no merge is left.
class SurfaceClusters {
 public:
  // corners: per triangle corner, kDirections * cluster + direction,
  // written here as cornerOf(c) gives them (the pass that counts each
  // cluster's triangles reads them anyway).
  template <class CornerOf>
  SurfaceClusters(BigArray<int32_t>& corners, int32_t clusterCount, CornerOf&& cornerOf)
      : corners_(corners), clusterCount_(clusterCount), rep_(size_t(clusterCount) * kDirections) {
    // Triangles touching each cluster, each listed once per cluster, in
    // triangle order: counted, placed in any order, then each short list
    // sorted. A list holds each triangle once, so the sorted lists are the
    // same whatever the order of placing, and no array grows with the
    // thread count.
    const int64_t nT = int64_t(corners.size() / 3);
    const size_t nV = size_t(clusterCount);
    auto each = [&](int64_t t, auto&& visit) {
      const int32_t a = corners[size_t(3 * t)] / kDirections, b = corners[size_t(3 * t + 1)] / kDirections,
                    c = corners[size_t(3 * t + 2)] / kDirections;
      visit(a);
      if (b != a) visit(b);
      if (c != a && c != b) visit(c);
    };
    BigArray<uint32_t> left(nV, true);  // per cluster: triangles not placed yet
    // One thread needs no atomic updates, which cost it more than the rest.
    const bool shared = nT > kParallelItems && omp_get_max_threads() > 1;
#pragma omp parallel for schedule(dynamic, kBlockItems) if (shared)
    for (int64_t t = 0; t < nT; ++t) {
      for (int64_t c = 3 * t; c < 3 * t + 3; ++c) corners[size_t(c)] = cornerOf(c);
      each(t, [&](int32_t v) {
        if (shared)
          __atomic_fetch_add(&left[size_t(v)], 1u, __ATOMIC_RELAXED);
        else
          ++left[size_t(v)];
      });
    }
    start_.Reset(nV + 1);
    BlockPrefix(int64_t(nV), [&](int64_t v) { return left[size_t(v)]; }, start_.data());
    list_.Reset(size_t(start_[nV]));
#pragma omp parallel for schedule(dynamic, kBlockItems) if (shared)
    for (int64_t t = 0; t < nT; ++t)
      each(t, [&](int32_t v) {
        // Ascending within a run of triangles: mostly sorted already.
        const uint32_t n = shared ? __atomic_sub_fetch(&left[size_t(v)], 1u, __ATOMIC_RELAXED) : --left[size_t(v)];
        list_[start_[size_t(v) + 1] - 1 - n] = uint32_t(t);
      });
    // The parallel merge needs to know ahead which clusters change (see
    // Merge); found here, with each list sorted and the groups started.
    parallelMerge_ = omp_get_max_threads() > 1 && int64_t(nV) > kParallelItems;
    if (parallelMerge_) changes_.Reset(nV);
#pragma omp parallel for schedule(dynamic, kBlockItems) if (shared)
    for (int64_t v = 0; v < int64_t(nV); ++v) {
      uint32_t* const first = list_.data() + start_[size_t(v)];
      uint32_t* const last = list_.data() + start_[size_t(v) + 1];
      for (uint32_t* x = first + 1; x < last; ++x)  // a dozen at most, as a rule
        for (uint32_t* y = x; y > first && y[-1] > y[0]; --y) std::swap(y[-1], y[0]);
      for (int d = 0; d < kDirections; ++d) rep_[size_t(v) * kDirections + size_t(d)] = uint8_t(d);
      if (parallelMerge_) changes_[size_t(v)] = HoldingOf(int32_t(v)).inner;
    }
  }

  // The triangles touching cluster v, ascending.
  const uint32_t* begin(int32_t v) const { return list_.data() + start_[size_t(v)]; }
  const uint32_t* end(int32_t v) const { return list_.data() + start_[size_t(v) + 1]; }

  // The group of a corner (kDirections * cluster + direction): the same
  // form, with the lowest direction in the group.
  int32_t Group(int32_t corner) const { return corner - corner % kDirections + rep_[size_t(corner)]; }

  // Merges as taking the clusters one by one in order would, and calls
  // settled(v) once for each cluster v when its groups are final (from any
  // thread, in any order). Only a cluster with an edge inside it changes
  // its groups, and its merges read the groups of the clusters sharing its
  // triangles: a changing cluster is merged once the changing ones before
  // it that it touches are done (and the later ones it touches wait for
  // it), so it reads what the serial order leaves it. A thread sets aside
  // a cluster not ready yet and goes on; the lowest cluster not done is
  // always ready, so the waits end.
  template <class Settled>
  void Merge(Settled&& settled) {
    const int64_t nV = clusterCount_;
    if (!parallelMerge_) {
      Scratch scratch;
      for (int32_t v = 0; v < clusterCount_; ++v) {
        MergeCluster(v, scratch);
        settled(v);
      }
      return;
    }
    const BigArray<uint8_t>& changes = changes_;
    BigArray<uint8_t> done{size_t(nV), true};
    auto ready = [&](int32_t v) {
      for (const uint32_t* t = begin(v); t != end(v); ++t)
        for (int s = 0; s < 3; ++s) {
          const int32_t w = corners_[3 * *t + s] / kDirections;
          if (w < v && changes[size_t(w)] && !__atomic_load_n(&done[size_t(w)], __ATOMIC_ACQUIRE)) return false;
        }
      return true;
    };
    vorel::host::ParallelFailure failure;
#pragma omp parallel
    {
      Scratch scratch;
      std::vector<int32_t> waiting;
      auto merge = [&](int32_t v) {
        MergeCluster(v, scratch);
        __atomic_store_n(&done[size_t(v)], uint8_t(1), __ATOMIC_RELEASE);
        settled(v);
      };
      // Merges those set aside that have become ready; whether any has.
      auto retry = [&] {
        size_t kept = 0;
        for (int32_t v : waiting)
          if (ready(v))
            merge(v);
          else
            waiting[kept++] = v;
        const bool progressed = kept < waiting.size();
        waiting.resize(kept);
        return progressed;
      };
#pragma omp for schedule(dynamic, 256) nowait
      for (int64_t v = 0; v < nV; ++v) {
        if (failure.Failed()) continue;
        failure.Run([&] {
          if (!changes[size_t(v)]) {
            settled(int32_t(v));
            return;
          }
          if (!waiting.empty()) retry();
          if (waiting.empty() && ready(int32_t(v)))
            merge(int32_t(v));
          else
            waiting.push_back(int32_t(v));
        });
      }
      while (!waiting.empty() && !failure.Failed())
        if (!failure.Run([&] {
              if (!retry()) sched_yield();
            }))
          break;
    }
    failure.Rethrow();
  }

 private:
  struct Scratch {
    std::vector<int32_t> nearA, nearB;
  };

  // How cluster v's triangles hold its corners: `inner`, some triangle has
  // two (an edge inside the cluster: only then can its groups change);
  // `alone`, every triangle has all three.
  struct Holding {
    bool inner = false, alone = true;
  };
  Holding HoldingOf(int32_t v) const {
    Holding h;
    for (const uint32_t* t = begin(v); t != end(v); ++t) {
      const bool in0 = corners_[3 * *t] / kDirections == v, in1 = corners_[3 * *t + 1] / kDirections == v,
                 in2 = corners_[3 * *t + 2] / kDirections == v;
      h.alone &= in0 && in1 && in2;
      h.inner |= (in0 && in1) || (in1 && in2) || (in0 && in2);
    }
    return h;
  }

  void MergeCluster(int32_t v, Scratch& scratch) {
    const uint32_t* begin = list_.data() + start_[size_t(v)];
    const uint32_t* end = list_.data() + start_[size_t(v) + 1];
    // A closed piece of surface around this point alone (an outside point
    // enclosed by inside ones) collapses whole, as the points' clustering
    // has it.
    const Holding h = HoldingOf(v);
    if (!h.inner) return;
    if (h.alone) {
      uint8_t* r = &rep_[size_t(v) * kDirections];
      const uint8_t lowest = *std::min_element(r, r + kDirections);
      for (int d = 0; d < kDirections; ++d) r[d] = lowest;
      return;
    }
    // A merge refused early may pass once others are done: go round again
    // while both happen.
    for (bool again = true; again;) {
      bool merged = false, refused = false;
      for (const uint32_t* t = begin; t != end; ++t)
        for (int s = 0; s < 3; ++s) {
          const int32_t a = corners_[3 * *t + s], b = corners_[3 * *t + (s + 1) % 3];
          if (a / kDirections != v || b / kDirections != v) continue;
          const int32_t ga = Group(a), gb = Group(b);
          if (ga == gb) continue;
          if (!LinkCondition(begin, end, ga, gb, scratch)) {
            refused = true;
            continue;
          }
          const uint8_t keep = uint8_t(std::min(ga, gb) % kDirections), gone = uint8_t(std::max(ga, gb) % kDirections);
          uint8_t* r = &rep_[size_t(v) * kDirections];
          for (int d = 0; d < kDirections; ++d)
            if (r[d] == gone) r[d] = keep;
          merged = true;
        }
      again = merged && refused;
    }
  }

  // Whether the surface edge between groups a and b (of one cluster, whose
  // triangles are [begin, end)) may collapse: it has two triangles, and
  // the vertices next to both ends are only the two opposite it. A
  // tetrahedron (both ends with three triangles) would fold flat and stays.
  bool LinkCondition(const uint32_t* begin, const uint32_t* end, int32_t a, int32_t b, Scratch& scratch) {
    std::vector<int32_t>& nearA = scratch.nearA;
    std::vector<int32_t>& nearB = scratch.nearB;
    nearA.clear();
    nearB.clear();
    int32_t opposite[2];
    int shared = 0, aroundA = 0, aroundB = 0;
    for (const uint32_t* t = begin; t != end; ++t) {
      const int32_t k0 = Group(corners_[3 * *t]), k1 = Group(corners_[3 * *t + 1]), k2 = Group(corners_[3 * *t + 2]);
      if (k0 == k1 || k1 == k2 || k0 == k2) continue;  // collapsed already
      const bool hasA = k0 == a || k1 == a || k2 == a, hasB = k0 == b || k1 == b || k2 == b;
      if (hasA && hasB) {
        if (shared == 2) return false;
        opposite[shared++] = k0 + k1 + k2 - a - b;
        ++aroundA;
        ++aroundB;
      } else if (hasA || hasB) {
        std::vector<int32_t>& near = hasA ? nearA : nearB;
        ++(hasA ? aroundA : aroundB);
        const int32_t self = hasA ? a : b;
        for (int32_t k : {k0, k1, k2})
          if (k != self) near.push_back(k);
      }
    }
    if (shared != 2 || opposite[0] == opposite[1] || (aroundA == 3 && aroundB == 3)) return false;
    for (int32_t k : nearA)
      if (k != opposite[0] && k != opposite[1] && std::find(nearB.begin(), nearB.end(), k) != nearB.end())
        return false;
    return true;
  }

  const BigArray<int32_t>& corners_;
  int32_t clusterCount_;
  bool parallelMerge_ = false;
  // Arrays every entry of which is written before it is read.
  BigArray<uint8_t> rep_;  // per corner name: the lowest direction in its group
  BigArray<uint32_t> start_, list_;
  BigArray<uint8_t> changes_;  // per cluster, for the parallel merge: whether its groups can change
};
}  // namespace

// ---------------------------------------------------------------- RecordPool

static_assert(sizeof(LatticeRecord) == 128, "a lattice record fills two cache lines");

RecordPool::RecordPool() { NewChunk(); }
RecordPool::~RecordPool() { FreeAll(); }

void RecordPool::NewChunk() {
  chunks_.push_back(std::make_unique<mesher_util::BigArray<LatticeRecord>>(kChunkRecords, true));
}

LatticeRecord* RecordPool::Allocate() { return AllocateRun(1); }

LatticeRecord* RecordPool::AllocateRun(size_t n) {
  if (kChunkRecords - used_ < n) {
    // The chunk is there before the pool moves to it: a chunk that cannot
    // be had leaves the pool as it was, for the threads that go on taking
    // records until the failure stops them.
    if (current_ + 1 == chunks_.size()) NewChunk();
    ++current_;
    used_ = 0;
  }
  allocated_ += n;
  LatticeRecord* r = &(*chunks_[current_])[used_];
  used_ += n;
  return r;
}

void RecordPool::FreeAll() {
  chunks_.clear();
  current_ = used_ = allocated_ = 0;
}

// --------------------------------------------------------------- LatticeHash

LatticeHash::LatticeHash(int32_t sliceCount) : sliceCount_(sliceCount) {
  table_.assign(1 << 10, Slot{0, 0, 0, nullptr});
}

uint32_t LatticeHash::Bucket(int32_t i, int32_t j) {
  uint32_t v = i > j ? uint32_t(i) * 7759u + uint32_t(j) : uint32_t(j) * 7759u + uint32_t(i);
  return v % kBucketCount;
}

namespace {
// 2 MB: one large page (see BigArray).
constexpr size_t kBlocksPerChunk = 4096;
}

LatticeHash::Block* LatticeHash::FindBlock(int32_t bi, int32_t bj, int32_t bk) const {
  if (last_ && last_->bi == bi && last_->bj == bj && last_->bk == bk) return last_->block;
  const size_t m = table_.size() - 1;
  for (size_t s = mesher_util::HashCoords(bi, bj, bk) & m;; s = (s + 1) & m) {
    const Slot& slot = table_[s];
    if (!slot.block) return nullptr;
    if (slot.bi == bi && slot.bj == bj && slot.bk == bk) {
      last_ = &slot;
      return slot.block;
    }
  }
}

void LatticeHash::Rehash(size_t slots) {
  KeptVector<Slot> old;
  old.swap(table_);
  table_.assign(slots, Slot{0, 0, 0, nullptr});
  const size_t m = table_.size() - 1;
  for (const Slot& slot : old) {
    if (!slot.block) continue;
    size_t s = mesher_util::HashCoords(slot.bi, slot.bj, slot.bk) & m;
    while (table_[s].block) s = (s + 1) & m;
    table_[s] = slot;
  }
  last_ = nullptr;
}

LatticeHash::Block* LatticeHash::NewBlock() {
  if (blockChunks_.empty() || blockChunkUsed_ == kBlocksPerChunk) {
    blockChunks_.push_back(std::make_unique<mesher_util::BigArray<Block>>(kBlocksPerChunk, true));
    blockChunkUsed_ = 0;
  }
  return &(*blockChunks_.back())[blockChunkUsed_++];
}

LatticeHash::Block* LatticeHash::FindOrAddBlock(int32_t bi, int32_t bj, int32_t bk) {
  if (Block* b = FindBlock(bi, bj, bk)) return b;
  if ((stored_ + 1) * 2 > table_.size()) Rehash(table_.size() * 2);
  Block* b = NewBlock();
  const size_t m = table_.size() - 1;
  size_t s = mesher_util::HashCoords(bi, bj, bk) & m;
  while (table_[s].block) s = (s + 1) & m;
  table_[s] = Slot{bi, bj, bk, b};
  last_ = &table_[s];
  ++stored_;
  return b;
}

namespace {
// Placed in a slot being filled by another thread until it is published.
template <class T>
T* Claimed() {
  return reinterpret_cast<T*>(uintptr_t(1));
}
// The value of a slot once another thread has published it.
template <class T>
T* Published(T* const* slot) {
  T* v = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  while (v == Claimed<T>()) v = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  return v;
}
// Runs each thread of a parallel pass takes at a time.
constexpr size_t kThreadRecordRun = RecordPool::kChunkRecords / 2;  // 1 MB
constexpr size_t kThreadBlockRun = 256;                              // 128 KB
}  // namespace

void LatticeHash::PrepareShared(int threads) {
  if (stores_.size() < size_t(threads)) stores_.resize(size_t(threads));
  // Never more than three quarters full while threads add blocks (see
  // FindOrAddBlockShared), and half full when they start.
  while (stored_ * 2 > table_.size()) Rehash(table_.size() * 2);
}

LatticeHash::Block* LatticeHash::FindOrAddBlockShared(int32_t bi, int32_t bj, int32_t bk, Cache* cache) {
  const Slot* last = static_cast<const Slot*>(cache->slot);
  if (last && last->bi == bi && last->bj == bj && last->bk == bk) return last->block;
  const size_t m = table_.size() - 1;
  for (size_t s = mesher_util::HashCoords(bi, bj, bk) & m;; s = (s + 1) & m) {
    Slot& slot = table_[s];
    Block* b = Published(&slot.block);
    if (!b) {
      // Room is checked before a slot is taken: at most one block per
      // thread passes the check together, so the table never fills up.
      if ((__atomic_load_n(&stored_, __ATOMIC_RELAXED) + 1) * 4 > table_.size() * 3) return nullptr;
      // Room for the block is made before the slot is taken: running out
      // of memory leaves no slot claimed that others would wait on.
      ThreadStore& st = stores_[size_t(omp_get_thread_num())];
      if (st.blocks == 0) {
        std::lock_guard<std::mutex> lock(storeLock_);
        if (blockChunks_.empty() || kBlocksPerChunk - blockChunkUsed_ < kThreadBlockRun) {
          blockChunks_.push_back(std::make_unique<mesher_util::BigArray<Block>>(kBlocksPerChunk, true));
          blockChunkUsed_ = 0;
        }
        st.block = &(*blockChunks_.back())[blockChunkUsed_];
        blockChunkUsed_ += kThreadBlockRun;
        st.blocks = kThreadBlockRun;
      }
      if (__atomic_compare_exchange_n(&slot.block, &b, Claimed<Block>(), false, __ATOMIC_ACQUIRE,
                                      __ATOMIC_ACQUIRE)) {
        slot.bi = bi;
        slot.bj = bj;
        slot.bk = bk;
        b = st.block++;
        --st.blocks;
        __atomic_fetch_add(&stored_, size_t(1), __ATOMIC_RELAXED);
        __atomic_store_n(&slot.block, b, __ATOMIC_RELEASE);
        cache->slot = &slot;
        return b;
      }
      b = Published(&slot.block);  // another thread took the slot first
    }
    if (slot.bi == bi && slot.bj == bj && slot.bk == bk) {
      cache->slot = &slot;
      return b;
    }
  }
}

LatticeRecord* LatticeHash::ReserveShared(int32_t i, int32_t j, int32_t k, Cache* cache) {
  Block* b = FindOrAddBlockShared(i >> kBlockShift, j >> kBlockShift, k >> kBlockShift, cache);
  if (!b) return nullptr;
  LatticeRecord** slot = &b->records[Local(i, j, k)];
  LatticeRecord* r = Published(slot);
  if (r) return r;
  ThreadStore& st = stores_[size_t(omp_get_thread_num())];
  if (st.records == 0) {  // before the slot is taken, as for blocks
    std::lock_guard<std::mutex> lock(storeLock_);
    st.record = pool_.AllocateRun(kThreadRecordRun);
    st.records = kThreadRecordRun;
  }
  if (!__atomic_compare_exchange_n(slot, &r, Claimed<LatticeRecord>(), false, __ATOMIC_ACQUIRE,
                                   __ATOMIC_ACQUIRE))
    return Published(slot);
  r = st.record++;
  --st.records;
  r->i = i;
  r->j = j;
  r->k = k;
  __atomic_store_n(slot, r, __ATOMIC_RELEASE);
  return r;
}

LatticeRecord* LatticeHash::Lookup(int32_t i, int32_t j, int32_t k) const {
  const Block* b = FindBlock(i >> kBlockShift, j >> kBlockShift, k >> kBlockShift);
  return b ? b->records[Local(i, j, k)] : nullptr;
}

LatticeRecord* LatticeHash::Find(int32_t i, int32_t j, int32_t k) const {
  LatticeRecord* r = Lookup(i, j, k);
  return r && r->created ? r : nullptr;
}

LatticeRecord* LatticeHash::Reserve(int32_t i, int32_t j, int32_t k, bool* fresh) {
  Block* b = FindOrAddBlock(i >> kBlockShift, j >> kBlockShift, k >> kBlockShift);
  LatticeRecord*& r = b->records[Local(i, j, k)];
  if (fresh) *fresh = (r == nullptr);
  if (r) return r;
  r = pool_.Allocate();
  r->i = i;
  r->j = j;
  r->k = k;
  return r;
}

LatticeRecord* LatticeHash::Create(int32_t i, int32_t j, int32_t k) {
  LatticeRecord* r = Reserve(i, j, k, nullptr);
  if (!r->created) r->created = ++createdCount_;
  return r;
}

// -------------------------------------------------------- SurfacePolygonizer

SurfacePolygonizer::SurfacePolygonizer(SurfaceBuilder* builder, MeshRecord* mesh) : builder_(builder), mesh_(mesh) {
  b = 4.0f;
  N = 1.0f / std::pow(1.0f - 0.25f * 0.25f, 3.0f);
}

SurfacePolygonizer::~SurfacePolygonizer() = default;

void SurfacePolygonizer::SetFieldParameters(float melting, float radiusFactor) {
  b = melting > 1.1f ? melting : 1.1f;
  const float ib = 1.0f / b;
  const float base = 1.0f - ib * ib;
  N = 1.0f / (base * base * base);
  r0 = radiusFactor * builder_->h;
  R = r0 * b;
  R2 = R * R;
  invR2 = 1.0f / R2;
  RRR = Point3(R, R, R);
  invCell = builder_->grid.InverseCellSize();
}

namespace {
// Candidates are taken this many at a time.
constexpr int kTermChunk = 64;

// Terms at p of the particles [0, n) of the arrays: N(1 - d^2/(s R^2))^3
// for those inside the box [lo, hi] and closer than sqrt(s) R, and exactly
// 0 for the others, so that a plain sum in order equals the sum of the
// counted terms alone; ok[k] tells which counted. No lane depends on
// another, so the loop runs several candidates at once with results equal
// to one at a time.
inline void FieldTerms(const float* X, const float* Y, const float* Z, const float* S, int n, const Point3& p,
                       const float* lo, const float* hi, float R2, float N, float* term, int32_t* ok) {
  const float px = p.x, py = p.y, pz = p.z;
  const float lx = lo[0], ly = lo[1], lz = lo[2], hx = hi[0], hy = hi[1], hz = hi[2];
#pragma omp simd
  for (int k = 0; k < n; ++k) {
    const float qx = X[k], qy = Y[k], qz = Z[k];
    const float dx = qx - px, dy = qy - py, dz = qz - pz;
    const float d2 = dx * dx + dy * dy + dz * dz;
    const float lim = S[k] * R2;
    const float t = 1.0f - d2 / lim;
    const float v = N * (t * t * t);
    // All ones where counted; the term is masked bitwise (a select would
    // keep the compiler from running lanes side by side).
    const int32_t in = -(int32_t(qx >= lx) & int32_t(qx <= hx) & int32_t(qy >= ly) & int32_t(qy <= hy) &
                         int32_t(qz >= lz) & int32_t(qz <= hz) & int32_t(d2 < lim));
    int32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits &= in;
    std::memcpy(&term[k], &bits, sizeof bits);
    ok[k] = in;
  }
}
}  // namespace

namespace {
// A lattice point gets its vertex from the first triangle corner that names
// it, also in a triangle the clustering then drops; a point named only by
// dropped triangles left a vertex that no face used (a pool of 4,000
// particles had one, a spread-out set seven), and the surface was no longer
// one closed sheet of used points. Such vertices go; the others keep their
// order and the faces theirs.
// Nearly every build drops none: whether any is unused is found in
// parallel (a per-vertex flag, set to the same value by whichever faces
// name it, and an integer count), and only a build that drops some
// renumbers, serially.
void DropUnusedVertices(MeshRecord& m) {
  const size_t nV = m.vertices.size();
  const int64_t nF = int64_t(m.faces.size()), nVs = int64_t(nV);
  BigArray<uint8_t> used(nV, true);
// Both passes run serially below kSerialPrefixItems: they take a fraction
// of a millisecond there, less than waking the team twice.
#pragma omp parallel for schedule(static) if (nF > kSerialPrefixItems)
  for (int64_t f = 0; f < nF; ++f)
    for (int c = 0; c < 3; ++c) __atomic_store_n(&used[size_t(m.faces[size_t(f)][c])], uint8_t(1), __ATOMIC_RELAXED);
  int64_t usedCount = 0;
#pragma omp parallel for schedule(static) reduction(+ : usedCount) if (nVs > kSerialPrefixItems)
  for (int64_t v = 0; v < nVs; ++v) usedCount += used[size_t(v)];
  if (usedCount == nVs) return;
  std::vector<int32_t> index(nV, -1);
  int32_t kept = 0;
  for (size_t v = 0; v < nV; ++v)
    if (used[v]) {
      index[v] = kept;
      m.vertices[size_t(kept++)] = m.vertices[v];
    }
  m.vertices.resize(size_t(kept));
  for (MeshFace& f : m.faces)
    for (int c = 0; c < 3; ++c) f[c] = index[size_t(f[c])];
}

// Where the seed pass tests the field between two neighbours: the point
// between them weighted by the other's size. The same bits either way round.
inline Point3 JoinPoint(const Point3& a, float sizeA, const Point3& m, float sizeM) {
  return (m * sizeA + a * sizeM) / (sizeA + sizeM);
}

// A union-find that several threads join at once. Roots only merge, and
// the larger of two roots hangs below the smaller, so a component's root is
// its lowest member whatever order its pairs are joined in.
class SharedForest {
 public:
  explicit SharedForest(int32_t* parent) : parent_(parent) {}
  int32_t Parent(int32_t x) const { return __atomic_load_n(&parent_[size_t(x)], __ATOMIC_RELAXED); }
  void SetParent(int32_t x, int32_t p) { __atomic_store_n(&parent_[size_t(x)], p, __ATOMIC_RELAXED); }
  int32_t Find(int32_t x) {
    for (;;) {
      int32_t p = Parent(x);
      if (p == x) return x;
      int32_t gp = Parent(p);
      if (gp != p)
        __atomic_compare_exchange_n(&parent_[size_t(x)], &p, gp, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
      x = gp;
    }
  }
  void Unite(int32_t x, int32_t y) {
    for (;;) {
      x = Find(x);
      y = Find(y);
      if (x == y) return;
      if (x < y) std::swap(x, y);
      int32_t expected = x;
      if (__atomic_compare_exchange_n(&parent_[size_t(x)], &expected, y, false, __ATOMIC_RELAXED,
                                      __ATOMIC_RELAXED))
        return;
    }
  }

 private:
  int32_t* parent_;
};

// How far into each run of a cell's pair walk (run 0 the cell itself, then
// runs of neighbour cells) every member is joined to the cell's first
// member. Roots only merge, so the prefixes only grow, and a member joined
// to the first has no pair left to test in them: particles packed into one
// cell are all joined by the first member's own pairs, and every later
// member then skips them whole instead of testing each pair again (time
// quadratic in the members of the cell).
template <int kRuns>
struct JoinedPrefixes {
  explicit JoinedPrefixes(const int32_t (*runs)[2]) : runs_(runs) {
    first_ = runs[0][0];
    end[0] = runs[0][0] + 1;
    for (int r = 1; r < kRuns; ++r) end[r] = runs[r][0];
  }
  // Whether the member whose root is `root` is joined to the first.
  template <class Find>
  bool JoinedToFirst(int32_t root, Find& find) const {
    return root == find(first_);
  }
  // Grows the prefixes of the runs whose bit in `done` is clear (the cell's
  // own run always); returns the bits of the runs now wholly joined to
  // every member of the cell, none until the cell's own run is.
  template <class Find>
  uint32_t Advance(Find& find, uint32_t done) {
    const int32_t root = find(first_);
    done &= ~1u;
    for (int r = 0; r < kRuns; ++r) {
      if (done & (1u << r)) continue;
      while (end[r] < runs_[r][1] && find(end[r]) == root) ++end[r];
    }
    if (end[0] < runs_[0][1]) return 0;
    uint32_t bits = 0;
    for (int r = 0; r < kRuns; ++r)
      if (end[r] >= runs_[r][1]) bits |= 1u << r;
    return bits;
  }
  int32_t end[kRuns];  // run r's members before end[r] are joined to the first

 private:
  const int32_t (*runs_)[2];
  int32_t first_;
};

// close[k] = 1 where particle k of the arrays is a neighbour of p (the
// builder's test: not beyond the cheap rejection, and sqrt(d2) below the
// neighbour distance), else 0. Four at a time where SSE is there: each lane
// rounds exactly as the one-at-a-time test.
inline void CloseMask(const float* X, const float* Y, const float* Z, int n, float px, float py, float pz,
                      float reject, float radius, int32_t* close) {
  int k = 0;
#if defined(__SSE2__)
  const __m128 vx = _mm_set1_ps(px), vy = _mm_set1_ps(py), vz = _mm_set1_ps(pz);
  const __m128 vr = _mm_set1_ps(reject), vrad = _mm_set1_ps(radius);
  for (; k + 4 <= n; k += 4) {
    const __m128 dx = _mm_sub_ps(vx, _mm_loadu_ps(X + k));
    const __m128 dy = _mm_sub_ps(vy, _mm_loadu_ps(Y + k));
    const __m128 dz = _mm_sub_ps(vz, _mm_loadu_ps(Z + k));
    const __m128 d2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    const __m128 ok = _mm_and_ps(_mm_cmple_ps(d2, vr), _mm_cmplt_ps(_mm_sqrt_ps(d2), vrad));
    const int bits = _mm_movemask_ps(ok);
    close[k] = bits & 1;
    close[k + 1] = (bits >> 1) & 1;
    close[k + 2] = (bits >> 2) & 1;
    close[k + 3] = (bits >> 3) & 1;
  }
#endif
  for (; k < n; ++k) {
    const float dx = px - X[k], dy = py - Y[k], dz = pz - Z[k];
    const float d2 = dx * dx + dy * dy + dz * dz;
    close[k] = int32_t(!(d2 > reject) && std::sqrt(d2) < radius);
  }
}
}  // namespace

template <class Visit>
bool SurfacePolygonizer::ScanField(const Point3& p, Visit&& visit) const {
  // Cells in x, y, z order and each cell's particles in list order; the
  // positions are finite, so "not below lo and not above hi" is the box.
  const ParticleCellGrid& g = builder_->grid;
  const ParticleCellGrid::Packed& pk = g.packed();
  if (pk.index.empty()) return true;
  const float lo[3] = {p.x - R, p.y - R, p.z - R};
  const float hi[3] = {p.x + R, p.y + R, p.z + R};
  const int32_t x0 = g.CellCoord(lo[0], 0), x1 = g.CellCoord(hi[0], 0);
  const int32_t y0 = g.CellCoord(lo[1], 1), y1 = g.CellCoord(hi[1], 1);
  const int32_t z0 = g.CellCoord(lo[2], 2), z1 = g.CellCoord(hi[2], 2);
  float term[kTermChunk];
  int32_t ok[kTermChunk];
  auto run = [&](const float* X, const float* Y, const float* Z, const float* S, const int32_t* I, int32_t b,
                 int32_t e) {
    for (int32_t s = b; s < e; s += kTermChunk) {
      const int n = int(std::min<int32_t>(kTermChunk, e - s));
      FieldTerms(X + s, Y + s, Z + s, S + s, n, p, lo, hi, R2, N, term, ok);
      if (!visit(static_cast<const float*>(term), static_cast<const int32_t*>(ok), I + s, n)) return false;
    }
    return true;
  };
  if (g.HasColumns()) {
    // The cells z0..z1 of one (x, y) column are one run of the column copy.
    const ParticleCellGrid::Columns& col = g.columns();
    for (int32_t x = x0; x <= x1; ++x)
      for (int32_t y = y0; y <= y1; ++y) {
        int32_t b, e;
        g.ColumnRun(x, y, z0, z1, &b, &e);
        if (b < e && !run(col.x.data(), col.y.data(), col.z.data(), col.size.data(), col.index.data(), b, e))
          return false;
      }
    return true;
  }
  for (int32_t x = x0; x <= x1; ++x)
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t z = z0; z <= z1; ++z) {
        const int32_t c = g.LookupPacked(x, y, z);
        if (c < 0) continue;
        if (!run(pk.x.data(), pk.y.data(), pk.z.data(), pk.size.data(), pk.index.data(), pk.start[size_t(c)],
                 pk.start[size_t(c) + 1]))
          return false;
      }
  return true;
}

float SurfacePolygonizer::FieldValue(const Point3& p) const {
  float sum = 0.0f;
  ScanField(p, [&](const float* term, const int32_t*, const int32_t*, int n) {
    for (int k = 0; k < n; ++k) sum += term[k];
    return true;
  });
  return sum - 1.0f;
}

bool SurfacePolygonizer::FieldAbove(const Point3& p, float threshold) const {
  // Every term is positive and rounding is monotone, so once the partial
  // sum clears the threshold the full sum does too.
  float sum = 0.0f;
  bool finished = ScanField(p, [&](const float* term, const int32_t*, const int32_t*, int n) {
    for (int k = 0; k < n; ++k) sum += term[k];
    return !(sum - 1.0f > threshold);
  });
  return !finished || sum - 1.0f > threshold;
}

void SurfacePolygonizer::GatherNeighbours(const Point3& p, std::vector<FieldTerm>& out) const {
  out.clear();
  ScanField(p, [&](const float* term, const int32_t* ok, const int32_t* index, int n) {
    for (int k = 0; k < n; ++k)
      if (ok[k]) out.push_back({index[k], term[k]});
    return true;
  });
}

void SurfacePolygonizer::Evaluate(LatticeRecord* r) const {
  r->position = Point3(float(r->i) * L + latticeMin.x, float(r->j) * L + latticeMin.y, float(r->k) * L + latticeMin.z);
  r->value = FieldValue(r->position);
  r->inside = r->value > 0.0f;
  // Other threads of a parallel level test the flag while this is set.
  __atomic_store_n(&r->evaluated, uint8_t(1), __ATOMIC_RELEASE);
}

LatticeRecord* SurfacePolygonizer::FindOrCreate(int32_t i, int32_t j, int32_t k) {
  // Create hands back the record when it exists already: one lookup.
  LatticeRecord* r = hash->Create(i, j, k);
  if (r->evaluated != 1) {
    Evaluate(r);
    ++fieldEvaluations;
  }
  return r;
}

void SurfacePolygonizer::LatticePointOf(const Point3& p, int32_t& i, int32_t& j, int32_t& k) const {
  i = ClampedTrunc((p.x - latticeMin.x) * invL) + 1;
  j = ClampedTrunc((p.y - latticeMin.y) * invL) + 1;
  k = ClampedTrunc((p.z - latticeMin.z) * invL) + 1;
}

void SurfacePolygonizer::Polygonize(float detail, float melting, float radiusFactor) {
  mesh_->Clear();
  SetFieldParameters(melting, radiusFactor);
  L = detail * R;
  invL = 1.0f / L;
  latticeMin = builder_->boundsMin - RRR;
  latticeMax = builder_->boundsMax + RRR;
  mesh_->boundsMin = latticeMin;
  mesh_->boundsMax = latticeMax;
  fieldEvaluations = 0;
  processedCubes = 0;
  timings.neighbours = timings.flood = timings.emitCrossings = timings.emitMerge = 0;
  queue.clear();
  queueHead = 0;
  seedCubes.clear();
  seedParticles.clear();
  // No unskipped particle: the bounds are still the inverted start values.
  // A lattice cell that is not a positive finite length cannot be walked.
  if (builder_->boundsMin.x > builder_->boundsMax.x || !(L > 0.0f) || !std::isfinite(invL) ||
      !std::isfinite(L)) {
    timings.seeds = timings.propagate = timings.emit = 0;
    return;
  }
  // Slices are informational here (the hash takes any k); the count is
  // computed in double and bounded so that a far-off particle cannot ask
  // for an absurd table.
  double slices = std::floor(double(latticeMax.z - latticeMin.z) * double(invL)) + 25.0;
  sliceCount = int32_t(std::max(25.0, std::min(slices, 1e8)));
  hash.reset(new LatticeHash(sliceCount));
  parallelBatch_ = kParallelBatch;
  serialPointCost_ = 0;

  double t0 = Now();
  SeedFromParticles();
  double tc = Now();
  bool found = SeedCrossings();
  double t1 = Now();
  timings.seeds = t1 - t0;
  timings.crossings = t1 - tc;
  if (!found) {
    ReleaseLattice();
    timings.propagate = timings.emit = 0;
    return;
  }
  Propagate();
  double t2 = Now();
  EmitTriangles();
  double t3 = Now();
  timings.propagate = t2 - t1;
  timings.emit = t3 - t2;
  ReleaseLattice();
}

void SurfacePolygonizer::ReleaseLattice(bool freeScratch) {
  // The records go with the hash; nothing may keep pointing at them.
  queue.clear();
  queueHead = 0;
  seedCubes.clear();
  levelTodo_.clear();
  floodThreads_.clear();
  hash.reset();
  if (freeScratch) {
    KeptVector<LatticeRecord*>().swap(queue);
    KeptVector<LatticeRecord*>().swap(seedCubes);
    KeptVector<LatticeRecord*>().swap(levelTodo_);
  }
}

void SurfacePolygonizer::SeedFromParticles() {
  // The serial walk (members in order, each testing its not yet visited
  // neighbours at the weighted point) makes each group exactly one
  // connected component of the pairs that pass the test, started at its
  // lowest index. The components are found here in parallel with a
  // union-find that skips pairs already connected; the group order of the
  // serial walk is only needed where the lowest z is shared by several
  // members, and only those groups are walked serially.
  seedParticles.clear();
  const int32_t n = builder_->count;
  const vorel::host::LargeVector<SurfaceParticle>& ps = builder_->particles;
  const float threshold = builder_->groupJoin;
  // Each particle's component, as its lowest particle (see the sweep
  // below). Set by the first loop, in parallel: a value-initialised array
  // would be cleared (and its pages faulted in) on one thread first.
  BigArray<int32_t> rootOf(static_cast<size_t>(n));
#pragma omp parallel for schedule(static) if (n > 2048)
  for (int32_t i = 0; i < n; ++i) rootOf[size_t(i)] = i;
  auto passes = [&](int32_t a, int32_t m) {
    const SurfaceParticle& pa = ps[size_t(a)];
    const SurfaceParticle& pm = ps[size_t(m)];
    return FieldAbove(JoinPoint(pa.position, pa.size, pm.position, pm.size), threshold);
  };
  // Every pair of neighbours (same or adjacent cell, closer than the
  // neighbour distance) once, from the cell pairs: each cell with itself and
  // with its 13 neighbours of higher offset. The components do not depend
  // on the order in which the pairs are joined.
  const double tSweep = Now();
  const ParticleCellGrid& grid = builder_->grid;
  const ParticleCellGrid::Packed& pk = grid.packed();
  const KeptVector<ParticleCell>& cells = grid.Cells();
  const int64_t nCells = int64_t(cells.size());
  const float reject = builder_->NeighbourReject();
  const float blobRadius = builder_->blobRadius;
  const bool packed = pk.start.size() == cells.size() + 1;
  const bool byColumns = packed && grid.HasColumns();
  // The sweep joins places in the grid's cell-ordered copy of the
  // particles, not the particles themselves: a place's neighbours, and the
  // forest entries of the pairs it tests, lie near it in memory, where a
  // particle's lie anywhere. The components are carried over to the
  // particles after it.
  const ParticleCellGrid::Columns& col = grid.columns();
  const float* const X = byColumns ? col.x.data() : pk.x.data();
  const float* const Y = byColumns ? col.y.data() : pk.y.data();
  const float* const Z = byColumns ? col.z.data() : pk.z.data();
  const float* const S = byColumns ? col.size.data() : pk.size.data();
  const int32_t* const particleAt = byColumns ? col.index.data() : pk.index.data();
  const int32_t places = packed ? int32_t(byColumns ? col.index.size() : pk.index.size()) : 0;
  // Each component's lowest particle, kept at its root place (see below).
  BigArray<int32_t> placeParent(static_cast<size_t>(places)), lowest(static_cast<size_t>(places));
  SharedForest forest(placeParent.data());
#pragma omp parallel for schedule(static) if (places > 2048)
  for (int32_t q = 0; q < places; ++q) {
    forest.SetParent(q, q);
    lowest[size_t(q)] = INT32_MAX;
  }
  auto findPlace = [&](int32_t x) { return forest.Find(x); };
  // The test `passes` makes, from the copy (the same floats).
  auto placesPass = [&](int32_t a, int32_t m) {
    return FieldAbove(JoinPoint(Point3(X[a], Y[a], Z[a]), S[a], Point3(X[m], Y[m], Z[m]), S[m]), threshold);
  };
  int64_t tests = 0;
  // Joins a and b unless already joined or the field between them fails.
  auto pair = [&](int32_t a, int32_t b2, int64_t& count) {
    const int32_t lo = std::min(a, b2), hi = std::max(a, b2);
    if (findPlace(lo) == findPlace(hi)) return;
    ++count;
    if (placesPass(lo, hi)) forest.Unite(lo, hi);
  };
  if (byColumns) {
    // With the column copy the 13 neighbour cells of higher offset are five
    // runs: (x, y, z+1), (x, y+1, z-1..z+1) and (x+1, y-1..y+1, z-1..z+1).
    // The distances of a run are tested several at a time and the
    // neighbours gathered without a branch per candidate.
    // Two passes: each cell's own pairs and those along z first, which
    // joins the columns of the liquid; then the pairs across columns, which
    // then mostly find both sides joined (see below). Components do not
    // depend on the order in which pairs are joined.
    for (const uint32_t passRuns : {3u, 60u}) {
#pragma omp parallel for schedule(dynamic, 64) reduction(+ : tests) if (n > 2048)
      for (int64_t c = 0; c < nCells; ++c) {
        const ParticleCell& cell = cells[size_t(c)];
        int32_t runs[6][2];
        grid.ColumnRun(cell.x, cell.y, cell.z, cell.z, &runs[0][0], &runs[0][1]);
        grid.ColumnRun(cell.x, cell.y, cell.z + 1, cell.z + 1, &runs[1][0], &runs[1][1]);
        grid.ColumnRun(cell.x, cell.y + 1, cell.z - 1, cell.z + 1, &runs[2][0], &runs[2][1]);
        for (int d = -1; d <= 1; ++d)
          grid.ColumnRun(cell.x + 1, cell.y + d, cell.z - 1, cell.z + 1, &runs[4 + d][0], &runs[4 + d][1]);
        // A run whose members are all joined to every member of this cell
        // has no pair left to test (roots only merge: joined stays joined).
        // Inside the liquid most runs are, and a root per member is far
        // cheaper than the distances of every pair.
        uint32_t joined = ~passRuns & 63u;  // bit per run; other passes' runs count as done
        if (runs[0][0] >= runs[0][1]) continue;
        JoinedPrefixes<6> prefix(runs);
        joined |= prefix.Advance(findPlace, joined);
        for (int32_t q = runs[0][0]; q < runs[0][1] && joined != 63; ++q) {
          const float px = X[q], py = Y[q], pz = Z[q];
          // q's root, refreshed only when b's differs: roots only merge, so
          // b under a root that q once had is joined to q already.
          int32_t rootA = findPlace(q);
          const bool withFirst = prefix.JoinedToFirst(rootA, findPlace);
          const int64_t testsBefore = tests;
          for (int run = 0; run < 6; ++run) {
            if (joined & (1u << run)) continue;
            // Within the own cell, each pair once: the members after q; a
            // member joined to the cell's first skips the run's prefix.
            int32_t rb = run == 0 ? q + 1 : runs[run][0];
            if (withFirst) rb = std::max(rb, prefix.end[run]);
            const int32_t re = runs[run][1];
            for (int32_t s = rb; s < re; s += kTermChunk) {
              const int m = int(std::min<int32_t>(kTermChunk, re - s));
              int32_t close[kTermChunk];
              CloseMask(X + s, Y + s, Z + s, m, px, py, pz, reject, blobRadius, close);
              int32_t list[kTermChunk];
              int found = 0;
              for (int k = 0; k < m; ++k) {
                list[found] = k;
                found += close[k];
              }
              for (int f = 0; f < found; ++f) {
                const int32_t b2 = s + list[f];
                if (findPlace(b2) == rootA) continue;
                pair(q, b2, tests);
                rootA = findPlace(q);
              }
            }
          }
          // Only a member that tested a pair can have joined more.
          if (tests != testsBefore) joined |= prefix.Advance(findPlace, joined);
        }
      }
    }
  } else if (packed) {
#pragma omp parallel for schedule(dynamic, 64) reduction(+ : tests) if (n > 2048)
    for (int64_t c = 0; c < nCells; ++c) {
      const ParticleCell& cell = cells[size_t(c)];
      const int32_t qb = pk.start[size_t(c)], qe = pk.start[size_t(c) + 1];
      if (qb >= qe) continue;
      // The cell itself, then its 13 neighbours of higher offset.
      constexpr int kRuns = 14;
      int32_t runs[kRuns][2];
      int o = 0;
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
          for (int dz = -1; dz <= 1; ++dz, ++o) {
            if (o < 13) continue;
            const int32_t c2 = o == 13 ? int32_t(c) : grid.LookupPacked(cell.x + dx, cell.y + dy, cell.z + dz);
            runs[o - 13][0] = c2 < 0 ? 0 : pk.start[size_t(c2)];
            runs[o - 13][1] = c2 < 0 ? 0 : pk.start[size_t(c2) + 1];
          }
      JoinedPrefixes<kRuns> prefix(runs);
      uint32_t joined = prefix.Advance(findPlace, 0);
      for (int run = 0; run < kRuns; ++run) {
        const int32_t re = runs[run][1];
        for (int32_t q = qb; q < qe && !(joined & (1u << run)); ++q) {
          const float px = X[q], py = Y[q], pz = Z[q];
          int32_t rb = run == 0 ? q + 1 : runs[run][0];
          if (prefix.JoinedToFirst(findPlace(q), findPlace)) rb = std::max(rb, prefix.end[run]);
          const int64_t testsBefore = tests;
          for (int32_t r = rb; r < re; ++r) {
            const float ddx = px - X[r], ddy = py - Y[r], ddz = pz - Z[r];
            const float d2 = ddx * ddx + ddy * ddy + ddz * ddz;
            if (d2 > reject || !(std::sqrt(d2) < blobRadius)) continue;
            pair(q, r, tests);
          }
          if (tests != testsBefore) joined |= prefix.Advance(findPlace, ~((1u << run) | 1u));
        }
      }
    }
  }
  constexpr size_t kStripes = 256;
  std::unique_ptr<std::mutex[]> stripe(new std::mutex[kStripes]);
  constexpr int32_t kMembersPerBlock = 4096;
  {
    // Each component's root among the particles is its lowest index (the
    // root that joining the particles themselves gives). Blocks of places
    // take the least index of each run of one root and fold it into the
    // root's entry, a minimum: the same in any order.
#pragma omp parallel for schedule(static) if (places > 2048)
    for (int32_t q = 0; q < places; ++q) forest.SetParent(q, findPlace(q));
    const int32_t placeBlocks = (places + kMembersPerBlock - 1) / kMembersPerBlock;
#pragma omp parallel for schedule(dynamic, 4) if (places > 2048)
    for (int32_t blk = 0; blk < placeBlocks; ++blk) {
      int32_t root = -1, least = INT32_MAX;
      auto fold = [&]() {
        if (root < 0) return;
        std::lock_guard<std::mutex> lock(stripe[size_t(root) % kStripes]);
        lowest[size_t(root)] = std::min(lowest[size_t(root)], least);
      };
      for (int32_t q = blk * kMembersPerBlock, e = std::min(places, q + kMembersPerBlock); q < e; ++q) {
        const int32_t r = forest.Parent(q);
        if (r != root) {
          fold();
          root = r;
          least = INT32_MAX;
        }
        least = std::min(least, particleAt[q]);
      }
      fold();
    }
    // Each thread sets the particles of a range of its own, reading every
    // place: a thread per run of places would write all over the array, and
    // the threads would take its lines from each other at every write.
#pragma omp parallel if (places > 2048)
    {
      const int64_t threads = omp_get_num_threads(), t = omp_get_thread_num();
      const int32_t lo = int32_t(int64_t(n) * t / threads), hi = int32_t(int64_t(n) * (t + 1) / threads);
      for (int32_t q = 0; q < places; ++q) {
        const int32_t i = particleAt[q];
        if (i >= lo && i < hi) rootOf[size_t(i)] = lowest[size_t(forest.Parent(q))];
      }
    }
  }
  timings.neighbours = Now() - tSweep;
  fieldEvaluations += tests;

  // Per component, kept at its root (its lowest member index): the lowest
  // z below 1e6, the lowest index holding it and how many members share
  // it. Blocks of members sum their runs of one root and fold them into the
  // root's entry; the fold is the minimum with ties counted, the same in
  // any order.
  struct Group {
    int32_t lowest, ties;
    float minZ;
  };
  const Group none{-1, 0, 1e6f};
  auto combine = [](const Group& a, const Group& b) {
    if (a.lowest < 0) return b;
    if (b.lowest < 0 || a.minZ < b.minZ) return a;
    if (b.minZ < a.minZ) return b;
    return Group{std::min(a.lowest, b.lowest), a.ties + b.ties, a.minZ};
  };
  const bool parallelGroups = n > 2048;
  mesher_util::BigArray<Group> groups(static_cast<size_t>(n));
#pragma omp parallel for schedule(static) if (parallelGroups)
  for (int32_t i = 0; i < n; ++i) groups[size_t(i)] = none;
  const int32_t memberBlocks = (n + kMembersPerBlock - 1) / kMembersPerBlock;
#pragma omp parallel for schedule(dynamic, 4) if (parallelGroups)
  for (int32_t blk = 0; blk < memberBlocks; ++blk) {
    int32_t root = -1;
    Group run = none;
    auto fold = [&]() {
      if (root < 0 || run.lowest < 0) return;
      std::lock_guard<std::mutex> lock(stripe[size_t(root) % kStripes]);
      groups[size_t(root)] = combine(groups[size_t(root)], run);
    };
    for (int32_t i = blk * kMembersPerBlock, e = std::min(n, i + kMembersPerBlock); i < e; ++i) {
      if (ps[size_t(i)].skip) continue;
      const int32_t r = rootOf[size_t(i)];
      if (r != root) {
        fold();
        root = r;
        run = none;
      }
      const float z = ps[size_t(i)].position.z;
      if (z < 1e6f) run = combine(run, Group{i, 1, z});
    }
    fold();
  }
  std::vector<int32_t> roots;
  for (int32_t i = 0; i < n; ++i)
    if (!ps[size_t(i)].skip && rootOf[size_t(i)] == i) roots.push_back(i);
  KeptVector<uint8_t> visited;
  std::vector<int32_t> walk, rank, nb;
  for (int32_t r : roots) {
    const Group& g = groups[size_t(r)];
    if (g.lowest < 0) {
      seedParticles.push_back(r);  // no member below 1e6
      continue;
    }
    if (g.ties == 1) {
      seedParticles.push_back(g.lowest);
      continue;
    }
    // Shared lowest z: the first of them in the serial walk's order wins.
    if (visited.empty()) visited.assign(size_t(n), 0);
    walk.clear();
    walk.push_back(r);
    visited[size_t(r)] = 1;
    // Members join the walk in group order, so the first to join at the
    // lowest z is the seed: the walk stops there, not once it reaches it
    // (every member before it would list its neighbours, each all the
    // others where particles are packed).
    int32_t seed = ps[size_t(r)].position.z == g.minZ ? r : -1;
    for (size_t w = 0; w < walk.size() && seed < 0; ++w) {
      const int32_t a = walk[w];
      if (rank.empty()) rank = builder_->CellRanks();
      builder_->NeighboursOf(a, rank, nb);
      for (const int32_t m : nb) {
        if (visited[size_t(m)]) continue;
        ++fieldEvaluations;
        if (passes(a, m)) {
          walk.push_back(m);
          visited[size_t(m)] = 1;
          if (ps[size_t(m)].position.z == g.minZ) {
            seed = m;
            break;
          }
        }
      }
    }
    seedParticles.push_back(seed >= 0 ? seed : g.lowest);
  }
}

bool SurfacePolygonizer::SeedCrossings() {
  seedCubes.clear();
  for (int32_t s : seedParticles) {
    const Point3 p = builder_->particles[size_t(s)].position;
    ++fieldEvaluations;
    const bool inside0 = FieldValue(p) > 0.0f;
    int32_t i, j, k;
    LatticePointOf(p, i, j, k);
    LatticeRecord* r = FindOrCreate(i, j, k);
    while (r->position.z > latticeMin.z) {
      --k;
      r = FindOrCreate(i, j, k);
      if (bool(r->inside) != inside0) {
        seedCubes.push_back(hash->Find(i, j, k + 1));
        break;
      }
    }
  }
  return !seedCubes.empty();
}


void SurfacePolygonizer::EvaluateAll(KeptVector<LatticeRecord*>& list) {
  if (list.empty()) return;
  const double t0 = Now();
  const bool parallel = list.size() >= parallelBatch_;
  if (!parallel) {
    for (LatticeRecord* r : list) Evaluate(r);
  } else {
#pragma omp parallel for schedule(dynamic, 16)
    for (int64_t t = 0; t < int64_t(list.size()); ++t) Evaluate(list[size_t(t)]);
  }
  // A fork per batch pays only while the cores are free. When a parallel
  // batch costs twice as much per point as serial ones (a machine busy with
  // other work), only larger batches are forked from then on. The values
  // are the same either way.
  const double perPoint = (Now() - t0) / double(list.size());
  if (!parallel)
    serialPointCost_ = serialPointCost_ > 0 ? 0.9 * serialPointCost_ + 0.1 * perPoint : perPoint;
  else if (serialPointCost_ > 0 && perPoint > 2.0 * serialPointCost_ && parallelBatch_ < (size_t(1) << 20))
    parallelBatch_ *= 2;
  fieldEvaluations += int64_t(list.size());
  list.clear();
}

void SurfacePolygonizer::Propagate() {
  // The walk takes the seeds in order, each cube by cube in queue order
  // (first in, first out) until its queue runs dry: each cube creates its
  // corners and the neighbours across the faces it crosses, and queues
  // those not queued yet. A neighbour's own value is found when its turn
  // comes, as a corner. On several threads the cubes, corners and values
  // are found first by a parallel flood, and the walk then only replays
  // the order.
  const bool flooded = omp_get_max_threads() > 1 && builder_->count >= floodParticles;
  floodCubes_ = 0;
  if (flooded) {
    const double t0 = Now();
    Flood();
    timings.flood = Now() - t0;
  }
  // Room for every cube the walk queues (the flood has counted them), and
  // never less than a mapped block: growing it cube by cube on the walk's
  // one thread cost copies and a fault per fresh page, and a block that
  // size is kept for the next build (see LargeBufferAllocator).
  queue.reserve(std::max(size_t(floodCubes_), vorel::host::kLargeBlock / sizeof(LatticeRecord*)));
  for (LatticeRecord* seed : seedCubes) {
    if (seed->queued) continue;
    seed->queued = 1;
    queue.push_back(seed);
    while (queueHead < queue.size()) {
      const size_t begin = queueHead, end = queue.size();
      if (flooded)
        ReplayLevel(begin, end);
      else
        SerialLevel(begin, end);
      queueHead = end;
    }
  }
  // The neighbour sets are not read again: their pages go before the
  // clustering needs room.
  floodThreads_.clear();
}

void SurfacePolygonizer::SerialLevel(size_t begin, size_t end) {
  // The level's corners are looked up (and reserved when new) in queue
  // order, their values found (in parallel when there are enough: values
  // depend on the point alone), and then the cubes are processed in queue
  // order, each creating its corners and the neighbours across the faces
  // it crosses.
  KeptVector<LatticeRecord*>& todo = levelTodo_;
  for (size_t c = begin; c < end; ++c) {
    LatticeRecord* cube = queue[c];
    for (int n = 0; n < 8; ++n) {
      LatticeRecord*& r = cube->corners[n];
      if (!r)
        r = hash->Reserve(cube->i + kCornerOffset[n][0], cube->j + kCornerOffset[n][1],
                          cube->k + kCornerOffset[n][2], nullptr);
      if (!r->evaluated) {
        r->evaluated = 2;  // listed; its value follows below
        todo.push_back(r);
      }
    }
  }
  EvaluateAll(todo);
  for (size_t c = begin; c < end; ++c) {
    LatticeRecord* cube = queue[c];
    ++processedCubes;
    uint32_t mask = 0;
    for (int n = 0; n < 8; ++n) {
      hash->MarkCreated(cube->corners[n]);
      if (cube->corners[n]->inside) mask |= 1u << n;
    }
    cube->insideMask = mask;
    for (int f = 0; f < 6; ++f) {
      const uint32_t m = kFaceMask[f] & mask;
      if (m == 0 || m == kFaceMask[f]) continue;
      LatticeRecord* nb = hash->Reserve(cube->i + kFaceOffset[f][0], cube->j + kFaceOffset[f][1],
                                        cube->k + kFaceOffset[f][2], nullptr);
      hash->MarkCreated(nb);
      if (nb->queued) continue;
      nb->queued = 1;
      queue.push_back(nb);
      for (const auto& pr : kFaceShared[f]) nb->corners[pr[0]] = cube->corners[pr[1]];
    }
  }
}

namespace {
// How many cubes ahead each stage of the replay's prefetch runs.
constexpr size_t kReplayAhead = 8;
}  // namespace

void SurfacePolygonizer::ReplayLevel(size_t begin, size_t end) {
  // SerialLevel on cubes the flood has processed: corners, values, masks
  // and neighbours are known. Each step waits on records scattered over
  // memory; the cubes queued further on are fetched ahead in stages (the
  // cube, then its corners and neighbour set, then its neighbours), so
  // that their lines are in cache by their turn.
  auto lineOfFlags = [](const LatticeRecord* r) { return reinterpret_cast<const char*>(&r->created); };
  for (size_t c = begin; c < end; ++c) {
    const size_t queued = queue.size();
    if (c + 3 * kReplayAhead < queued) {
      const LatticeRecord* r = queue[c + 3 * kReplayAhead];
      __builtin_prefetch(r);
      __builtin_prefetch(lineOfFlags(r));
    }
    if (c + 2 * kReplayAhead < queued) {
      const LatticeRecord* r = queue[c + 2 * kReplayAhead];
      for (int n = 0; n < 8; ++n) __builtin_prefetch(lineOfFlags(r->corners[n]), 1);
      if (r->across) __builtin_prefetch(r->across);
    }
    if (c + kReplayAhead < queued) {
      const LatticeRecord* r = queue[c + kReplayAhead];
      for (int f = 0; f < 6; ++f) {
        const uint32_t m = kFaceMask[f] & r->insideMask;
        if (m != 0 && m != kFaceMask[f]) __builtin_prefetch(lineOfFlags(Across(r, f)), 1);
      }
    }
    LatticeRecord* cube = queue[c];
    ++processedCubes;
    for (int n = 0; n < 8; ++n) hash->MarkCreated(cube->corners[n]);
    for (int f = 0; f < 6; ++f) {
      const uint32_t m = kFaceMask[f] & cube->insideMask;
      if (m == 0 || m == kFaceMask[f]) continue;
      LatticeRecord* nb = Across(cube, f);
      hash->MarkCreated(nb);
      if (nb->queued) continue;
      nb->queued = 1;
      queue.push_back(nb);
    }
  }
}

namespace {
// Cubes a thread of the flood processes in one round before it hands the
// rest of what it found to the next round. Each round costs a fork and a
// wait for the slowest thread: at a quarter of this a million particles
// took 15-20 rounds, and the flood a quarter more time.
constexpr size_t kFloodRound = 16384;
// The first round's limit, doubled each round up to kFloodRound: the first
// rounds start from the few seeds, one thread each, and at the full limit
// the other threads idled while one or two processed the first 16,384
// cubes of a seed (a sixth of all at 100,000 particles).
constexpr size_t kFloodFirstRound = 256;
// The neighbour across a face below the cube's own point is one of its
// corners; those across the other three are kept in its `across` set.
constexpr int kAcrossSet = 3;
struct FaceNeighbour {
  int8_t corner[6];  // the corner that is the neighbour, or -1
  int8_t slot[6];    // else its place in the set
};
const FaceNeighbour faceNeighbour = [] {
  FaceNeighbour t{};
  int8_t slots = 0;
  for (int f = 0; f < 6; ++f) {
    t.corner[f] = t.slot[f] = -1;
    for (int n = 0; n < 8; ++n)
      if (kCornerOffset[n][0] == kFaceOffset[f][0] && kCornerOffset[n][1] == kFaceOffset[f][1] &&
          kCornerOffset[n][2] == kFaceOffset[f][2])
        t.corner[f] = int8_t(n);
    if (t.corner[f] < 0) t.slot[f] = slots++;
  }
  return t;
}();
// Neighbour sets per page of a thread's store (one large page).
constexpr size_t kAcrossPage = mesher_util::BigArray<LatticeRecord*>::kMappedBytes / sizeof(LatticeRecord*);
constexpr size_t kAcrossPerPage = kAcrossPage / kAcrossSet;
}  // namespace

LatticeRecord* SurfacePolygonizer::Across(const LatticeRecord* cube, int f) {
  return faceNeighbour.corner[f] >= 0 ? cube->corners[faceNeighbour.corner[f]] : cube->across[faceNeighbour.slot[f]];
}

bool SurfacePolygonizer::FloodCube(LatticeRecord* cube, LatticeHash::Cache* cache, FloodThread& t) {
  for (int n = 0; n < 8; ++n) {
    LatticeRecord*& r = cube->corners[n];
    if (!r) {
      r = hash->ReserveShared(cube->i + kCornerOffset[n][0], cube->j + kCornerOffset[n][1],
                              cube->k + kCornerOffset[n][2], cache);
      if (!r) return false;
    }
    uint8_t state = __atomic_load_n(&r->evaluated, __ATOMIC_ACQUIRE);
    if (state == 0 && __atomic_compare_exchange_n(&r->evaluated, &state, uint8_t(2), false, __ATOMIC_ACQUIRE,
                                                  __ATOMIC_ACQUIRE)) {
      Evaluate(r);
      ++t.evaluated;
    } else {
      // Another thread is finding this value now: a wait of one evaluation.
      while (__atomic_load_n(&r->evaluated, __ATOMIC_ACQUIRE) != 1) sched_yield();
    }
  }
  uint32_t mask = 0;
  for (int n = 0; n < 8; ++n)
    if (cube->corners[n]->inside) mask |= 1u << n;
  cube->insideMask = mask;
  if (!cube->across) {
    // Not zeroed: the replay reads only the entries of crossed faces.
    if (t.used == kAcrossPerPage) {
      ++t.page;
      t.used = 0;
    }
    if (t.page == t.pages.size()) t.pages.push_back(std::make_unique<mesher_util::BigArray<LatticeRecord*>>(kAcrossPage));
    cube->across = t.pages[t.page]->data() + kAcrossSet * t.used++;
  }
  for (int f = 0; f < 6; ++f) {
    const uint32_t m = kFaceMask[f] & mask;
    if (m == 0 || m == kFaceMask[f]) continue;
    LatticeRecord* nb = faceNeighbour.corner[f] >= 0 ? cube->corners[faceNeighbour.corner[f]] : nullptr;
    if (!nb) {
      nb = hash->ReserveShared(cube->i + kFaceOffset[f][0], cube->j + kFaceOffset[f][1],
                               cube->k + kFaceOffset[f][2], cache);
      if (!nb) return false;
      cube->across[faceNeighbour.slot[f]] = nb;
    }
    uint8_t unseen = 0;
    if (__atomic_load_n(&nb->reached, __ATOMIC_RELAXED) == 0 &&
        __atomic_compare_exchange_n(&nb->reached, &unseen, uint8_t(1), false, __ATOMIC_RELAXED,
                                    __ATOMIC_RELAXED)) {
      // Only the thread that reaches a cube first fills in its corners.
      for (const auto& pr : kFaceShared[f]) nb->corners[pr[0]] = cube->corners[pr[1]];
      t.todo.push_back(nb);
      ++t.reached;
    }
  }
  return true;
}

void SurfacePolygonizer::Flood() {
  // Every cube that the walk queues is reached through crossed faces from
  // a seed; which thread finds it, and when, changes nothing that the walk
  // reads. Rounds end at a barrier: the table of blocks only grows there.
  const int threads = omp_get_max_threads();
  floodThreads_.resize(size_t(threads));
  for (FloodThread& t : floodThreads_) t.page = t.used = 0;
  KeptVector<LatticeRecord*> frontier;
  for (LatticeRecord* seed : seedCubes)
    if (!seed->reached) {
      seed->reached = 1;
      frontier.push_back(seed);
    }
  int64_t evaluated = 0;
  floodCubes_ = int64_t(frontier.size());
  for (FloodThread& t : floodThreads_) t.reached = 0;
  size_t round = kFloodFirstRound;
  while (!frontier.empty()) {
    hash->PrepareShared(threads);
    const int64_t nF = int64_t(frontier.size());
    for (FloodThread& t : floodThreads_) {
      t.todo.clear();
      t.evaluated = 0;
    }
    // Out of memory: a record or block is never left half claimed (see
    // ReserveShared), so the others finish their cube and stop.
    vorel::host::ParallelFailure failure;
#pragma omp parallel num_threads(threads)
    {
      FloodThread& t = floodThreads_[size_t(omp_get_thread_num())];
      size_t head = 0, done = 0;
      LatticeHash::Cache cache;
#pragma omp for schedule(dynamic, 1) nowait
      for (int64_t f = 0; f < nF; ++f)
        failure.Run([&] {
          t.todo.push_back(frontier[size_t(f)]);
          for (; head < t.todo.size() && done < round; ++head, ++done)
            if (!FloodCube(t.todo[head], &cache, t)) {
              // The table is full: this cube is done again next round.
              done = round;
              break;
            }
        });
      t.todo.erase(t.todo.begin(), t.todo.begin() + std::ptrdiff_t(head));
    }
    failure.Rethrow();
    frontier.clear();
    for (FloodThread& t : floodThreads_) {
      frontier.insert(frontier.end(), t.todo.begin(), t.todo.end());
      evaluated += t.evaluated;
    }
    round = std::min(2 * round, kFloodRound);
  }
  fieldEvaluations += evaluated;
  for (const FloodThread& t : floodThreads_) floodCubes_ += t.reached;
}

uint32_t SurfacePolygonizer::JoinedFaces(const LatticeRecord* cube, uint32_t ambiguous) const {
  // An ambiguous face joins its two inside corners when the field at the
  // face centre, taken as the mean of its four corners, is inside. The sum
  // runs over the corners in lattice order, so the two cubes that share the
  // face always decide alike, in every run.
  uint32_t joined = 0;
  for (int f = 0; f < 6; ++f) {
    if (!(ambiguous & (1u << f))) continue;
    const LatticeRecord* c[4];
    int n = 0;
    for (int k = 0; k < 8; ++k)
      if (kFaceMask[f] & (1u << k)) c[n++] = cube->corners[k];
    std::sort(c, c + 4, [](const LatticeRecord* x, const LatticeRecord* y) {
      if (x->k != y->k) return x->k < y->k;
      if (x->j != y->j) return x->j < y->j;
      return x->i < y->i;
    });
    const float centre = (c[0]->value + c[1]->value) + (c[2]->value + c[3]->value);
    if (centre > 0.0f) joined |= 1u << f;
  }
  return joined;
}

void SurfacePolygonizer::EmitTriangles() {
  // Every pass below that runs on several threads costs a wake-up of the
  // team (tens of microseconds on a virtual machine, far more while other
  // work holds cores), and a build of 100,000 particles has only some
  // milliseconds of work here: passes that read the same items are taken
  // together, and short ones run on the calling thread.
  //
  // The walk order of the lattice: slices k ascending, buckets 0..100, i
  // ascending, equal i in creation order. Creation ranks are unique, so the
  // keys are, and any sort gives the one order.
  struct WalkKey {
    uint64_t hi, lo;  // (k, bucket), (i, creation rank)
    uint32_t cube;    // place in the queue
  };
  const double t0 = Now();
  const size_t nQ = queue.size();
  const int64_t nCubes = int64_t(nQ);
  BigArray<WalkKey> walk(nQ);
  // The rows and crossing points depend on each cube alone and are found in
  // parallel, in queue order: the cubes and their corners were allocated in
  // about that order, where the walk order scatters over memory. Each
  // cube's crossings go to its place in walk order.
  BigArray<const int8_t*> rows(nQ);
  BigArray<uint8_t> rowLength(nQ);
#pragma omp parallel for schedule(dynamic, 512) if (nCubes > kParallelItems)
  for (int64_t t = 0; t < nCubes; ++t) {
    const LatticeRecord* cube = queue[size_t(t)];
    WalkKey& w = walk[size_t(t)];
    w.hi = (uint64_t(uint32_t(cube->k) ^ 0x80000000u) << 32) | LatticeHash::Bucket(cube->i, cube->j);
    w.lo = (uint64_t(uint32_t(cube->i) ^ 0x80000000u) << 32) | uint32_t(cube->created);
    w.cube = uint32_t(t);
    const uint32_t mask = cube->insideMask;
    const int8_t* row = nullptr;
    if (mask != 0 && mask != 255) {
      const uint32_t amb = AmbiguousFaces(mask);
      row = amb ? ResolvedRow(mask, JoinedFaces(cube, amb)) : kTriangleTable[mask];
    }
    rows[size_t(t)] = row;
    int n = 0;
    if (row)
      while (row[n] != 12) ++n;
    rowLength[size_t(t)] = uint8_t(n);
  }
  auto before = [](const WalkKey& x, const WalkKey& y) { return x.hi != y.hi ? x.hi < y.hi : x.lo < y.lo; };
  mesher_util::ParallelSort(walk.data(), walk.size(), before);
  // first[q]: where cube q's crossings start, summed in walk order.
  BigArray<int64_t> first(nQ);
  const int64_t cubeBlocks = (nCubes + kBlockItems - 1) / kBlockItems;
  int64_t nCrossings64 = 0;
  if (nCubes <= kSerialPrefixItems) {
    for (int64_t t = 0; t < nCubes; ++t) {
      first[walk[size_t(t)].cube] = nCrossings64;
      nCrossings64 += rowLength[walk[size_t(t)].cube];
    }
  } else {
    const std::vector<int64_t> cubeStart = mesher_util::BlockStarts(cubeBlocks, [&](int64_t b) {
      int64_t n = 0;
      for (int64_t t = b * kBlockItems, e = std::min(nCubes, t + kBlockItems); t < e; ++t)
        n += rowLength[walk[size_t(t)].cube];
      return n;
    });
#pragma omp parallel for schedule(static) if (cubeBlocks > 1)
    for (int64_t b = 0; b < cubeBlocks; ++b) {
      int64_t at = cubeStart[size_t(b)];
      for (int64_t t = b * kBlockItems, e = std::min(nCubes, t + kBlockItems); t < e; ++t) {
        first[walk[size_t(t)].cube] = at;
        at += rowLength[walk[size_t(t)].cube];
      }
    }
    nCrossings64 = cubeStart[size_t(cubeBlocks)];
  }
  walk.Release();
  struct Crossing {
    LatticeRecord* outside;
    float x, y, z;
    uint8_t direction;  // from the outside end of the edge to the inside one
  };
  // Left uninitialised: the parallel loop writes every entry.
  const size_t nCrossings = size_t(nCrossings64);
  const int64_t nX = int64_t(nCrossings);
  mesher_util::BigArray<Crossing> crossings(nCrossings);
  // Cluster numbers in walk order: an outside point's number is its
  // vertex's index, given in the order the points are first met. Each
  // point keeps its first crossing, the least of those naming it, whatever
  // order they are written in.
#pragma omp parallel for schedule(dynamic, 512) if (nCubes > kParallelItems)
  for (int64_t t = 0; t < nCubes; ++t) {
    const int8_t* row = rows[size_t(t)];
    if (!row) continue;
    const LatticeRecord* cube = queue[size_t(t)];
    const int64_t at = first[size_t(t)];
    Crossing* out = crossings.data() + at;
    for (int s = 0; row[s] != 12; ++s) {
      const int e = row[s];
      LatticeRecord* ca = cube->corners[kEdgeCorners[e][0]];
      LatticeRecord* cb = cube->corners[kEdgeCorners[e][1]];
      LatticeRecord* o = ca->inside ? cb : ca;
      LatticeRecord* q = ca->inside ? ca : cb;
      const float d = std::fabs(q->value - o->value);
      const Point3 x = o->position * (1.0f - std::fabs(o->value) / d) + q->position * (1.0f - std::fabs(q->value) / d);
      out[s] = {o, x.x, x.y, x.z, directions.d[e][ca->inside ? 1 : 0]};
      AtomicMinNonZero(&o->firstCrossing, uint32_t(at + s + 1));
    }
  }
  first.Release();
  auto isFirst = [&](int64_t c) { return crossings[size_t(c)].outside->firstCrossing == uint32_t(c + 1); };
  const int64_t crossingBlocks = (nX + kBlockItems - 1) / kBlockItems;
  const std::vector<int64_t> clusterStart = mesher_util::BlockStarts(crossingBlocks, [&](int64_t b) {
    int64_t n = 0;
    for (int64_t c = b * kBlockItems, e = std::min(nX, c + kBlockItems); c < e; ++c) n += isFirst(c);
    return n;
  });
  const int32_t vertexCount = int32_t(clusterStart[size_t(crossingBlocks)]);
  BigArray<uint8_t> firstDirection(static_cast<size_t>(vertexCount));
  BigArray<int32_t> corners(nCrossings);
#pragma omp parallel for schedule(static) if (crossingBlocks > 1)
  for (int64_t b = 0; b < crossingBlocks; ++b) {
    int32_t v = int32_t(clusterStart[size_t(b)]);
    for (int64_t c = b * kBlockItems, e = std::min(nX, c + kBlockItems); c < e; ++c)
      if (isFirst(c)) {
        crossings[size_t(c)].outside->vertexIndex = v;
        firstDirection[size_t(v++)] = crossings[size_t(c)].direction;
      }
  }
  const double t1 = Now();
  timings.emitCrossings = t1 - t0;
  // Each triangle corner is named by its crossing, the cluster and the
  // direction of the crossing's edge.
  SurfaceClusters clusters(corners, vertexCount, [&](int64_t c) {
    return kDirections * crossings[size_t(c)].outside->vertexIndex + crossings[size_t(c)].direction;
  });
  // A cluster's first group keeps its number; every other group is a vertex
  // of its own, numbered after all clusters in the order its corners are
  // first met. Each vertex lies at the mean of its corners' crossings, summed
  // in crossing order. A cluster's triangles are listed in crossing order,
  // and every vertex belongs to one cluster: the clusters are worked on in
  // parallel, each summing its own vertices in that order.
  auto primary = [&](int32_t v) { return clusters.Group(kDirections * v + firstDirection[size_t(v)]); };
  // The other groups of each cluster, with the crossing that first meets
  // each: counted as each cluster's groups settle, then listed.
  struct Extra {
    uint32_t firstCrossing;
    int32_t group, vertex;
  };
  auto extrasOf = [&](int32_t v, Extra* out) {
    const int32_t main = primary(v);
    int n = 0;
    for (const uint32_t* t = clusters.begin(v); t != clusters.end(v); ++t)
      for (uint32_t c = 3 * *t; c < 3 * *t + 3; ++c) {
        if (corners[c] / kDirections != v) continue;
        const int32_t g = clusters.Group(corners[c]);
        if (g == main) continue;
        bool known = false;
        for (int k = 0; k < n; ++k) known |= out[k].group == g;
        if (!known) out[n++] = {c, g, 0};
      }
    return n;
  };
  const int64_t nV = vertexCount;
  BigArray<uint32_t> extraStart(size_t(nV) + 1);
  extraStart[0] = 0;
  clusters.Merge([&](int32_t v) {
    Extra found[kDirections];
    extraStart[size_t(v) + 1] = uint32_t(extrasOf(v, found));
  });
  BlockPrefix(nV, [&](int64_t v) { return extraStart[size_t(v) + 1]; }, extraStart.data());
  KeptVector<Extra> extras(extraStart[size_t(nV)]);
  if (!extras.empty()) {
#pragma omp parallel for schedule(dynamic, 1024) if (nV > kParallelItems)
    for (int64_t v = 0; v < nV; ++v)
      if (extraStart[size_t(v) + 1] > extraStart[size_t(v)]) extrasOf(int32_t(v), &extras[extraStart[size_t(v)]]);
    KeptVector<uint32_t> order(extras.size());
    for (size_t e = 0; e < order.size(); ++e) order[e] = uint32_t(e);
    std::sort(order.begin(), order.end(),
              [&](uint32_t x, uint32_t y) { return extras[x].firstCrossing < extras[y].firstCrossing; });
    for (size_t e = 0; e < order.size(); ++e) extras[order[e]].vertex = int32_t(nV + int64_t(e));
  }
  timings.emitMerge = Now() - t1;
  auto vertexOf = [&](uint32_t c) {
    const int32_t g = clusters.Group(corners[c]);
    const int32_t v = g / kDirections;
    if (g == primary(v)) return v;
    for (uint32_t e = extraStart[size_t(v)];; ++e)
      if (extras[e].group == g) return extras[e].vertex;
  };
  const size_t nVertices = size_t(nV) + extras.size();
  // The mesh's arrays are mapped ahead on all threads; the faces at most
  // one per triangle, the second array beside the vertices (the shrink
  // wrap fills it).
  const int64_t nT = nX / 3;
  std::vector<Point3>& verts = mesh_->vertices;
  std::vector<MeshFace>& faces = mesh_->faces;
  const mesher_util::MappedRoom rooms[3] = {mesher_util::ReserveRoom(verts, nVertices),
                                            mesher_util::ReserveRoom(faces, size_t(nT)),
                                            mesher_util::ReserveRoom(mesh_->secondVertices, nVertices)};
  mesher_util::MapRooms(rooms, 3);
  verts.resize(nVertices);
  // Faces in triangle order, without those that the merging collapsed:
  // counted in blocks beside the vertices' sums (both read only the final
  // groups), then written.
  const int64_t triangleBlocks = (nT + kBlockItems - 1) / kBlockItems;
  auto faceOf = [&](int64_t t, int32_t idx[3]) {
    for (int s = 0; s < 3; ++s) idx[s] = vertexOf(uint32_t(3 * t + s));
    return idx[0] != idx[1] && idx[1] != idx[2] && idx[0] != idx[2];
  };
  std::vector<int64_t> faceStart(size_t(triangleBlocks) + 1, 0);
#pragma omp parallel if (nV > kParallelItems)
  {
#pragma omp for schedule(dynamic, 1024) nowait
    for (int64_t v = 0; v < nV; ++v) {
      // Sums and uses of the cluster's first group and of its others.
      const uint32_t e0 = extraStart[size_t(v)], ne = extraStart[size_t(v) + 1] - e0;
      Point3 sum[kDirections];
      int32_t uses[kDirections] = {};
      for (uint32_t k = 0; k <= ne; ++k) sum[k] = Point3(0.0f, 0.0f, 0.0f);
      const int32_t main = primary(int32_t(v));
      for (const uint32_t* t = clusters.begin(int32_t(v)); t != clusters.end(int32_t(v)); ++t)
        for (uint32_t c = 3 * *t; c < 3 * *t + 3; ++c) {
          if (corners[c] / kDirections != v) continue;
          const int32_t g = clusters.Group(corners[c]);
          uint32_t k = 0;
          if (g != main)
            while (extras[e0 + k++].group != g) {
            }
          const Crossing& x = crossings[c];
          sum[k] += Point3(x.x, x.y, x.z);
          ++uses[k];
        }
      verts[size_t(v)] = sum[0] / float(uses[0]);
      for (uint32_t k = 1; k <= ne; ++k) verts[size_t(extras[e0 + k - 1].vertex)] = sum[k] / float(uses[k]);
    }
#pragma omp for schedule(dynamic, 4)
    for (int64_t b = 0; b < triangleBlocks; ++b) {
      int64_t n = 0;
      int32_t idx[3];
      for (int64_t t = b * kBlockItems, e = std::min(nT, t + kBlockItems); t < e; ++t) n += faceOf(t, idx);
      faceStart[size_t(b) + 1] = n;
    }
  }
  for (size_t b = 0; b < size_t(triangleBlocks); ++b) faceStart[b + 1] += faceStart[b];
  faces.resize(size_t(faceStart[size_t(triangleBlocks)]));
#pragma omp parallel for schedule(static) if (triangleBlocks > 1)
  for (int64_t b = 0; b < triangleBlocks; ++b) {
    MeshFace* out = faces.data() + faceStart[size_t(b)];
    int32_t idx[3];
    for (int64_t t = b * kBlockItems, e = std::min(nT, t + kBlockItems); t < e; ++t)
      if (faceOf(t, idx)) *out++ = {idx[0], idx[1], idx[2]};
  }
}

void SurfacePolygonizer::BuildAndShrinkWrap(float detail, float melting, float radiusFactor, float shrink,
                                            VertexInfluenceLists* lists, const std::vector<Point3>* velocities) {
  Polygonize(detail, melting, radiusFactor);
  double t0 = Now();
  DropUnusedVertices(*mesh_);
  const size_t nV = mesh_->vertices.size();
  mesher_util::ReserveMapped(mesh_->secondVertices, nV);
  mesh_->secondVertices.assign(nV, Point3(0.0f, 0.0f, 0.0f));
  if (lists) lists->Reset(nV, omp_get_max_threads());
  std::vector<Point3>& verts = mesh_->vertices;
  std::vector<Point3>& second = mesh_->secondVertices;
  vorel::host::ParallelFailure failure;  // a list that cannot grow
#pragma omp parallel if (nV > 1024)
  {
    std::vector<FieldTerm> terms;
#pragma omp for schedule(dynamic, 256)
    for (int64_t v = 0; v < int64_t(nV); ++v) failure.Run([&] {
      GatherNeighbours(verts[size_t(v)], terms);
      Point3 A(0.0f, 0.0f, 0.0f), Vel(0.0f, 0.0f, 0.0f);
      float W = 0.0f;
      for (const FieldTerm& t : terms) {
        A += builder_->particles[size_t(t.particle)].position * t.term;
        W += t.term;
        if (velocities && size_t(t.particle) < velocities->size()) Vel += (*velocities)[size_t(t.particle)] * t.term;
      }
      if (lists) {
        VertexInfluence* l = lists->Fill(omp_get_thread_num(), size_t(v), terms.size());
        for (const FieldTerm& t : terms) *l++ = {t.particle, t.term};
      }
      if (W == 0.0f) return;
      const float inv = 1.0f / W;
      const Point3 M = A * inv;
      verts[size_t(v)] = verts[size_t(v)] * (1.0f - shrink) + M * shrink;
      if (velocities) second[size_t(v)] = Vel * inv;
    });
  }
  failure.Rethrow();
  timings.shrink = Now() - t0;
}
