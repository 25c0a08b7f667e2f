#include <gtest/gtest.h>

#include <utility>

#include "mesher/vertex_influence.h"

namespace {

// List v holds v entries (particle v * 1000 + k, weight k), filled from
// two pools in turn: far more than a first block, so the pools grow.
VertexInfluenceLists Filled(size_t n) {
  VertexInfluenceLists lists;
  lists.Reset(n, 2);
  for (size_t v = 0; v < n; ++v) {
    VertexInfluence* out = lists.Fill(int(v % 2), v, v);
    for (size_t k = 0; k < v; ++k) out[k] = {int32_t(v * 1000 + k), float(k)};
  }
  return lists;
}

bool Holds(const VertexInfluenceLists& lists, size_t n) {
  if (lists.size() != n) return false;
  for (size_t v = 0; v < n; ++v) {
    if (lists[v].size() != v) return false;
    for (size_t k = 0; k < v; ++k)
      if (lists[v][k].particle != int32_t(v * 1000 + k) || lists[v][k].weight != float(k)) return false;
  }
  return true;
}

}  // namespace

TEST(VertexInfluenceLists, PooledListsCopyMoveAndChangeInPlaceApart) {
  const size_t n = 600;  // 180,000 entries
  VertexInfluenceLists lists = Filled(n);
  ASSERT_TRUE(Holds(lists, n));
  VertexInfluenceLists copy(lists);
  for (auto& list : lists)
    for (VertexInfluence& e : list) e.particle = -1;  // as the engine rewrites them
  EXPECT_EQ(lists[n - 1][0].particle, -1);
  EXPECT_TRUE(Holds(copy, n));
  VertexInfluenceLists moved(std::move(copy));
  EXPECT_TRUE(Holds(moved, n));
  VertexInfluenceLists assigned;
  assigned = moved;
  EXPECT_TRUE(Holds(assigned, n));
  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_TRUE(Holds(assigned, n));
  VertexInfluenceLists sized(3);
  ASSERT_EQ(sized.size(), 3u);
  EXPECT_TRUE(sized[2].empty());
}
