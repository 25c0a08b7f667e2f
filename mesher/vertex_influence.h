// VertexInfluenceLists: per vertex of a built surface, the particles that
// reach it and their weights, in the order the shrink wrap meets them. The
// fluid engine turns them into the sources behind each vertex.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/core/large_buffer.h"
#include "mesher/mesher_util.h"

struct VertexInfluence {
  int32_t particle;
  float weight;
};

// The lists lie in a few large pooled blocks rather than one heap block
// each: a surface has hundreds of thousands of vertices, and that many
// small blocks grew the heap page by page, a fault each. Read like a vector
// of vectors (size, [], range-for); entries may be changed in place, and a
// list's length is set once, by Fill.
class VertexInfluenceLists {
 public:
  class List {
   public:
    VertexInfluence* begin() const { return data_; }
    VertexInfluence* end() const { return data_ + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    VertexInfluence& operator[](size_t k) const { return data_[k]; }

   private:
    friend class VertexInfluenceLists;
    VertexInfluence* data_ = nullptr;
    size_t size_ = 0;
  };

  VertexInfluenceLists() = default;
  // n empty lists.
  explicit VertexInfluenceLists(size_t n) : lists_(n) {}
  VertexInfluenceLists(const VertexInfluenceLists& o) { CopyFrom(o); }
  VertexInfluenceLists& operator=(const VertexInfluenceLists& o) {
    if (this != &o) {
      VertexInfluenceLists copy(o);
      swap(copy);
    }
    return *this;
  }
  // Moves keep every entry where it is (blocks change owner, not place).
  VertexInfluenceLists(VertexInfluenceLists&&) noexcept = default;
  VertexInfluenceLists& operator=(VertexInfluenceLists&&) noexcept = default;

  size_t size() const { return lists_.size(); }
  bool empty() const { return lists_.empty(); }
  const List& operator[](size_t v) const { return lists_[v]; }
  const List* begin() const { return lists_.data(); }
  const List* end() const { return lists_.data() + lists_.size(); }
  // No lists, and their storage freed.
  void clear() {
    lists_ = mesher_util::KeptVector<List>();
    pools_.clear();
  }
  void swap(VertexInfluenceLists& o) noexcept {
    lists_.swap(o.lists_);
    pools_.swap(o.pools_);
    std::swap(firstBlock_, o.firstBlock_);
  }

  // n empty lists and `pools` pools to fill them from (one per thread of a
  // parallel fill); all earlier entries are dropped. Throws std::bad_alloc.
  void Reset(size_t n, int pools) {
    clear();
    lists_.resize(n);
    pools_.resize(size_t(std::max(pools, 1)));
    // A vertex has a few dozen entries: a pool that will fill a huge page
    // starts with one, instead of growing through small heap blocks first.
    firstBlock_ = std::min(std::max(n * kTypicalEntries / pools_.size(), kFirstBlock), kLastBlock);
  }
  // Room for the n entries of list v (empty until now) from pool p, which
  // no other thread uses meanwhile; the caller writes them. Throws
  // std::bad_alloc, leaving list v empty.
  VertexInfluence* Fill(int p, size_t v, size_t n) {
    if (n == 0) return nullptr;
    Pool& pool = pools_[size_t(p)];
    if (pool.blocks.empty() || pool.blocks.back().size() - pool.used < n) {
      // Blocks double up to one huge page each: small surfaces stay small.
      size_t cap = pool.blocks.empty() ? firstBlock_ : std::min(2 * pool.blocks.back().size(), kLastBlock);
      pool.blocks.emplace_back(std::max(cap, n));
      pool.used = 0;
    }
    VertexInfluence* out = pool.blocks.back().data() + pool.used;
    pool.used += n;
    lists_[v].data_ = out;
    lists_[v].size_ = n;
    return out;
  }

 private:
  static constexpr size_t kFirstBlock = 1024;
  static constexpr size_t kTypicalEntries = 16;
  static constexpr size_t kLastBlock = vorel::host::kHugePage / sizeof(VertexInfluence);
  struct Pool {
    std::vector<mesher_util::BigArray<VertexInfluence>> blocks;
    size_t used = 0;  // entries taken from the last block
  };

  void CopyFrom(const VertexInfluenceLists& o) {
    Reset(o.size(), 1);
    for (size_t v = 0; v < o.size(); ++v) {
      const List& from = o.lists_[v];
      if (!from.empty()) std::copy(from.begin(), from.end(), Fill(0, v, from.size()));
    }
  }

  mesher_util::KeptVector<List> lists_;
  std::vector<Pool> pools_;
  size_t firstBlock_ = kFirstBlock;
};
