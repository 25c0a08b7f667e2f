#include "host/core/thread_shares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace vh = vorel::host;

namespace {
std::vector<int64_t> Drain(vh::ThreadShares& s, int thread) {
  std::vector<int64_t> got;
  for (int64_t c; (c = s.Next(thread)) >= 0;) got.push_back(c);
  return got;
}
}  // namespace

TEST(ThreadShares, AThreadTakesItsOwnShareInOrderThenTheOthersFromTheirEnds) {
  vh::ThreadShares s;
  s.Reset(10, 3);  // shares [0, 3), [3, 6), [6, 10)
  EXPECT_EQ(Drain(s, 0), (std::vector<int64_t>{0, 1, 2, 5, 4, 3, 9, 8, 7, 6}));
  EXPECT_EQ(s.Next(1), -1);
  s.Reset(10, 3);  // the same runs again
  EXPECT_EQ(Drain(s, 2), (std::vector<int64_t>{6, 7, 8, 9, 2, 1, 0, 5, 4, 3}));
  s.Reset(0, 4);
  EXPECT_EQ(s.Next(0), -1);
  vh::ThreadShares never;
  EXPECT_EQ(never.Next(0), -1);
}

TEST(ThreadShares, EveryChunkGoesOutOnceWhateverTheTeamSize) {
  struct Case {
    int32_t chunks;
    int shares, team;
  };
  for (const Case& c : {Case{1, 8, 8}, Case{7, 8, 8}, Case{100000, 8, 8}, Case{100000, 8, 3}, Case{100000, 3, 8}}) {
    vh::ThreadShares s;
    s.Reset(c.chunks, c.shares);
    std::vector<std::vector<int64_t>> got(size_t(c.team));
    std::vector<std::thread> team;
    for (int t = 0; t < c.team; ++t) team.emplace_back([&, t] { got[size_t(t)] = Drain(s, t); });
    for (std::thread& t : team) t.join();
    std::vector<int64_t> all;
    for (const auto& g : got) all.insert(all.end(), g.begin(), g.end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), size_t(c.chunks)) << c.chunks << " chunks, " << c.shares << " shares, team " << c.team;
    for (int64_t k = 0; k < c.chunks; ++k) ASSERT_EQ(all[size_t(k)], k);
  }
}
