// Display playback: thinning, one frame or two interpolated, smoothing over
// neighbouring frames, parked particles and stale read buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

#include "fluid_core/frame_playback.h"
#include "solver_test_util.h"

using solver_test::MakeSolver;
using solver_test::Put;

namespace {

std::unique_ptr<FluidSolver> PlaybackSolver(const std::string& name) {
  std::unique_ptr<FluidSolver> s(MakeSolver(216.0));
  s->frameCache.cacheRoot = solver_test::ScratchDir("playback_" + name);
  s->frameCache.systemName = "sys";
  vorel::host::MakeDirectories(s->frameCache.SystemFolder());
  return s;
}

// Writes frame f with one particle per position (source index per entry, or 0).
void WriteFrameOf(FluidSolver& s, int f, const std::vector<Vec3f>& pos,
                  const std::vector<int>& sources = {}) {
  s.count = 0;
  for (size_t i = 0; i < pos.size(); ++i) {
    int k = Put(s, pos[i], 0.1f, Vec3f(0.5f, 0.0f, 0.0f));
    s.particles[k].sourceIndex = sources.empty() ? 0 : sources[i];
    s.particles[k].age = int(10 + i);
    s.particles[k].pairAccel = Vec3f(1.0f, 2.0f, float(i));
  }
  ASSERT_GT(s.WriteFrame(f), 0);
}

std::vector<Vec3f> Row(int n, float x0, float dx) {
  std::vector<Vec3f> v;
  for (int i = 0; i < n; ++i) v.emplace_back(x0 + dx * i, 0.25f, 0.0f);
  return v;
}

struct Out {
  std::vector<Vec3f> pos, vel, aux;
  std::vector<int32_t> ages, neighbours;
  bool Load(FluidSolver& s, int source, float frame, int expected, int percent, int w = 0,
            float d = 0.0f) {
    return s.LoadSourceFrame(source, frame, expected, percent, w, d, 1, pos, vel, ages, aux,
                             neighbours);
  }
};

}  // namespace

TEST(DisplayThinning, KeepsAndSkipsByPercentInDoublePrecision) {
  struct Case {
    int percent, keepEvery, skipEvery;
  } cases[] = {{100, 1, 1}, {50, 2, 1}, {25, 4, 1}, {75, 1, 4}, {67, 1, 3},
               {80, 1, 5},  {90, 1, 10}, {95, 1, 20}, {1, 100, 1}, {0, 100, 1}, {150, 1, 1}};
  for (const Case& c : cases) {
    DisplayThinning t(c.percent);
    EXPECT_EQ(t.keepEvery, c.keepEvery) << c.percent;
    EXPECT_EQ(t.skipEvery, c.skipEvery) << c.percent;
  }
  std::vector<int> shown;
  DisplayThinning half(50), most(75), all(100);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(half.Shows(i), i % 2 == 0);
    EXPECT_EQ(most.Shows(i), i % 4 != 0);
    EXPECT_TRUE(all.Shows(i));
  }
}

TEST(FramePlayback, WholeFrameInHostUnitsThinnedAndFilteredBySource) {
  auto s = PlaybackSolver("whole");
  WriteFrameOf(*s, 2, Row(6, 0.5f, 0.25f), {0, 1, 0, 1, 0, 0});
  Out o;
  ASSERT_TRUE(o.Load(*s, -1, 2.0f, 6, 100));
  ASSERT_EQ(o.pos.size(), 6u);
  EXPECT_EQ(o.pos[1], Vec3f(15.0f, 5.0f, 0.0f));  // 0.75 x 20
  EXPECT_EQ(o.vel[0], Vec3f(10.0f, 0.0f, 0.0f));
  EXPECT_EQ(o.ages, (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(o.aux[3], Vec3f(1.0f, 2.0f, 3.0f));

  ASSERT_TRUE(o.Load(*s, 0, 2.0f, 6, 50));  // even slots of source 0: 0, 2, 4
  EXPECT_EQ(o.ages, (std::vector<int32_t>{10, 12, 14}));
  ASSERT_TRUE(o.Load(*s, 1, 2.0f, 6, 100));
  EXPECT_EQ(o.ages, (std::vector<int32_t>{11, 13}));

  // Outputs of another size on entry are replaced; pairAccel only when asked.
  ASSERT_TRUE(s->LoadSourceFrame(-1, 2.0f, 6, 100, 0, 0.0f, 1, o.pos, o.vel, o.ages, o.aux, o.neighbours,
                                 nullptr, false));
  ASSERT_EQ(o.pos.size(), 6u);
  EXPECT_EQ(o.pos[1], Vec3f(15.0f, 5.0f, 0.0f));
  EXPECT_EQ(o.ages, (std::vector<int32_t>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(o.neighbours.size(), 6u);
  EXPECT_TRUE(o.aux.empty());
}

TEST(FramePlayback, MissingFrameAnswersFalseWithEmptyOutputs) {
  auto s = PlaybackSolver("missing");
  WriteFrameOf(*s, 1, Row(3, 0.0f, 1.0f));
  Out o;
  ASSERT_TRUE(o.Load(*s, -1, 1.0f, 3, 100));
  EXPECT_FALSE(o.Load(*s, -1, 7.0f, 3, 100));
  EXPECT_TRUE(o.pos.empty());
  EXPECT_TRUE(o.ages.empty());
  EXPECT_FALSE(o.Load(*s, -1, -1.0f, 3, 100));
  EXPECT_FALSE(o.Load(*s, -1, 1.5f, 3, 100));  // frame 2 is missing
}

TEST(FramePlayback, StaleExpectedCountShowsOnlyTheRecordsRead) {
  auto s = PlaybackSolver("stale");
  WriteFrameOf(*s, 1, Row(10, 0.0f, 0.1f));
  WriteFrameOf(*s, 2, Row(4, 5.0f, 0.1f));
  Out o;
  ASSERT_TRUE(o.Load(*s, -1, 1.0f, 10, 100));
  ASSERT_EQ(o.pos.size(), 10u);
  ASSERT_TRUE(o.Load(*s, -1, 2.0f, 10, 100));  // the caller still expects 10
  ASSERT_EQ(o.pos.size(), 4u);
  for (const Vec3f& p : o.pos) EXPECT_GE(p.x, 100.0f);
}

TEST(FramePlayback, ParkedParticleShowsWithAge99999) {
  auto s = PlaybackSolver("parked");
  WriteFrameOf(*s, 1, {Vec3f(1, 1, 1), Vec3f(0, 0, 0), Vec3f(2, 2, 2)});
  Out o;
  ASSERT_TRUE(o.Load(*s, -1, 1.0f, 3, 100));
  EXPECT_EQ(o.ages, (std::vector<int32_t>{10, 99999, 12}));
}

TEST(FramePlayback, InterpolatesBySlotOverTheSmallerCount) {
  auto s = PlaybackSolver("lerp");
  WriteFrameOf(*s, 3, Row(4, 0.0f, 1.0f));
  WriteFrameOf(*s, 4, Row(3, 4.0f, 1.0f));
  std::vector<FluidParticle> parts(10);
  ASSERT_EQ(s->frameCache.ReadInterpolatedFrame(3.25f, parts), 3);
  ASSERT_EQ(parts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(parts[i].pos.x, i + 1.0f);  // i + (i + 4 - i) x 0.25
    EXPECT_EQ(parts[i].age, 10 + i);
  }
  EXPECT_EQ(s->frameCache.ReadInterpolatedFrame(4.5f, parts), -1);

  // Smoothing reads the whole frame below and always succeeds when it reads,
  // so the playback shows frame 3's positions at 3.25, over frame 4's count.
  Out o;
  ASSERT_TRUE(o.Load(*s, -1, 3.25f, 4, 100));
  ASSERT_EQ(o.pos.size(), 3u);
  EXPECT_EQ(o.pos[2], Vec3f(40.0f, 5.0f, 0.0f));
}

TEST(FramePlayback, SmoothingWindowExcludesItsUpperEndAndCountsTheCentreTwice) {
  auto s = PlaybackSolver("smooth");
  WriteFrameOf(*s, 4, {Vec3f(0.3f, 0, 0), Vec3f(9.0f, 0, 0)});
  WriteFrameOf(*s, 5, {Vec3f(0.0f, 0, 0), Vec3f(1.0f, 0, 0)});
  WriteFrameOf(*s, 6, {Vec3f(0.6f, 0, 0), Vec3f(1.6f, 0, 0)});
  std::vector<Vec3f> out;
  ASSERT_TRUE(s->SmoothPositions(5, out, 1, 1.0f));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_FLOAT_EQ(out[0].x, 0.1f);  // (0 + 0 + 0.3) / 3; frame 6 not in the window
  EXPECT_FLOAT_EQ(out[1].x, 1.0f);  // frame 4 too far: (1 + 1) / 2

  ASSERT_TRUE(s->SmoothPositions(5, out, 1, 0.0f));
  EXPECT_EQ(out[0].x, 0.0f);
  EXPECT_EQ(out[1].x, 1.0f);
  ASSERT_TRUE(s->SmoothPositions(5, out, 0, 1.0f));
  EXPECT_EQ(out[0].x, 0.0f);
  EXPECT_FALSE(s->SmoothPositions(7, out, 1, 1.0f));
}

TEST(FramePlayback, SmoothingWindowCutBeforeTheCentreShowsTheCentre) {
  auto s = PlaybackSolver("cut");
  WriteFrameOf(*s, 3, {Vec3f(0.2f, 0, 0)});
  WriteFrameOf(*s, 5, {Vec3f(0.0f, 0, 0)});
  WriteFrameOf(*s, 6, {Vec3f(0.1f, 0, 0)});
  std::vector<Vec3f> out;
  ASSERT_TRUE(s->SmoothPositions(5, out, 2, 1.0f));  // window 3..6 ends at missing 4
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, 0.0f);
  // Through the playback, with the threshold in particle spacings.
  Out o;
  s->h = 0.5f;
  ASSERT_TRUE(o.Load(*s, -1, 6.0f, 1, 100, 1, 1.0f));  // (2 x 0.1 + 0) / 3 at frame 6
  EXPECT_FLOAT_EQ(o.pos[0].x, 20.0f * (0.2f / 3.0f));
}

TEST(FramePlayback, ExpiryUsesTheSourceLifeAndToleratesUnknownSources) {
  auto s = PlaybackSolver("expiry");
  s->AddSource(Vec3f());
  s->sources[0]->lifeFrames = 12;
  std::vector<FluidParticle> parts(4);
  parts[0].age = 12;
  parts[1].age = 13;
  parts[2].age = 500;
  parts[2].sourceIndex = 7;  // written by a system with more sources
  parts[3].pos = s->parkingPos;
  for (auto& p : parts) if (&p != &parts[3]) p.pos = Vec3f(1, 1, 1);
  s->MarkExpiredParticles(parts, 4);
  EXPECT_EQ(parts[0].dead, 0);
  EXPECT_EQ(parts[1].dead, 1);
  EXPECT_EQ(parts[2].dead, 0);
  EXPECT_EQ(parts[3].dead, 1);
}

// The frame just written, lent as its bytes, and the positions the display
// kept of the frame before show what reading the files shows; a file
// replaced since is read again.
TEST(FramePlayback, HeldBytesAndKeptPositionsShowWhatTheFilesShow) {
  auto s = PlaybackSolver("held");
  s->h = 0.5f;
  WriteFrameOf(*s, 4, {Vec3f(0.3f, 0, 0), Vec3f(9.0f, 0, 0), Vec3f(0, 0, 0)});
  s->count = 0;
  for (const Vec3f& p : {Vec3f(0.1f, 0, 0), Vec3f(1.0f, 0, 0), Vec3f(0, 0, 0)}) Put(*s, p, 0.1f, Vec3f(0.5f, 0, 0));
  FluidSolver::HeldFrame held;
  std::vector<unsigned char> bytes;
  ASSERT_GT(s->WriteFrame(5, &bytes), 0);
  held.frame = 5;
  held.bytes = &bytes;
  ASSERT_TRUE(FileIdentityOf(s->frameCache.FramePath(5), held.identity));

  auto fromFiles = [&](Out& o) {
    auto r = PlaybackSolver("held_reference");
    r->h = s->h;
    r->frameCache.cacheRoot = s->frameCache.cacheRoot;
    return o.Load(*r, -1, 5.0f, 3, 100, 1, 1.0f);
  };
  auto same = [](const Out& a, const Out& b) {
    EXPECT_EQ(a.pos, b.pos);
    EXPECT_EQ(a.vel, b.vel);
    EXPECT_EQ(a.aux, b.aux);
    EXPECT_EQ(a.ages, b.ages);
    EXPECT_EQ(a.neighbours, b.neighbours);
  };
  Out before, reference, shown;
  ASSERT_TRUE(before.Load(*s, -1, 4.0f, 3, 100, 1, 1.0f));  // keeps frame 4's positions
  ASSERT_TRUE(fromFiles(reference));
  ASSERT_TRUE(s->LoadSourceFrame(-1, 5.0f, 3, 100, 1, 1.0f, 1, shown.pos, shown.vel, shown.ages, shown.aux,
                                 shown.neighbours, &held));
  same(shown, reference);
  EXPECT_FLOAT_EQ(shown.pos[0].x, 20.0f * 0.5f / 3.0f);  // (0.1 + 0.3 + 0.1) / 3
  EXPECT_EQ(shown.ages[2], 99999);

  // Frame 4 replaced: its new positions are the ones averaged.
  auto s4 = PlaybackSolver("held_rewrite");
  s4->frameCache.cacheRoot = s->frameCache.cacheRoot;
  WriteFrameOf(*s4, 4, {Vec3f(0.5f, 0, 0), Vec3f(1.5f, 0, 0), Vec3f(0, 0, 0)});
  ASSERT_TRUE(before.Load(*s, -1, 4.0f, 3, 100));  // frame 4 kept as it now is
  WriteFrameOf(*s4, 4, {Vec3f(0.7f, 0, 0), Vec3f(1.1f, 0, 0), Vec3f(0, 0, 0)});
  ASSERT_TRUE(fromFiles(reference));
  ASSERT_TRUE(s->LoadSourceFrame(-1, 5.0f, 3, 100, 1, 1.0f, 1, shown.pos, shown.vel, shown.ages, shown.aux,
                                 shown.neighbours, &held));
  same(shown, reference);
  EXPECT_FLOAT_EQ(shown.pos[1].x, 20.0f * 3.1f / 3.0f);  // (1 + 1.1 + 1) / 3

  // Bytes that are no frame are refused as the file would be: a position
  // that is not finite, a length that is not the count's.
  std::vector<unsigned char> whole = bytes;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::memcpy(&bytes[size_t(ParticleFrameFile::PosOffset(3) + 12)], &nan, 4);
  EXPECT_FALSE(s->LoadSourceFrame(-1, 5.0f, 3, 100, 1, 1.0f, 1, shown.pos, shown.vel, shown.ages, shown.aux,
                                  shown.neighbours, &held));
  bytes = whole;
  bytes.resize(bytes.size() - 1);
  EXPECT_FALSE(s->LoadSourceFrame(-1, 5.0f, 3, 100, 1, 1.0f, 1, shown.pos, shown.vel, shown.ages, shown.aux,
                                  shown.neighbours, &held));
  EXPECT_TRUE(shown.pos.empty());
}
