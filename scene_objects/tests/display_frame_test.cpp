// Frame mapping of emitters and ghosts beyond the solved range.
#include <gtest/gtest.h>

#include "scene_objects/display_frame.h"

namespace {
SolvedRange Range(int last, int action, int loop = 10, bool solving = false) {
  SolvedRange r;
  r.lastSolved = last;
  r.action = action;
  r.loopFrames = loop;
  r.solving = solving;
  return r;
}
}  // namespace

TEST(DisplayFrame, EmitterHoldsLoopsOrHidesBeyondTheSolvedRange) {
  EXPECT_EQ(MapEmitterFrame(35, 0, Range(30, kOutOfRangeLoop)), 25);  // (5 mod 10) - 10 + 30
  EXPECT_EQ(MapEmitterFrame(40, 0, Range(30, kOutOfRangeLoop)), 20);
  EXPECT_EQ(MapEmitterFrame(35, 0, Range(30, kOutOfRangeKeepLast)), 30);
  EXPECT_EQ(MapEmitterFrame(35, 0, Range(30, kOutOfRangeHide)), -1);
  EXPECT_EQ(MapEmitterFrame(35, 0, Range(30, kOutOfRangeHide, 10, true)), 30);
  EXPECT_EQ(MapEmitterFrame(12, 0, Range(30, kOutOfRangeHide)), 12);
  EXPECT_EQ(MapEmitterFrame(30, 0, Range(30, kOutOfRangeHide)), 30);
  // The start frame is shown as it is even before anything is solved.
  EXPECT_EQ(MapEmitterFrame(5, 5, Range(-1, kOutOfRangeHide)), 5);
}

TEST(DisplayFrame, NoFrameBelowZeroIsEverAskedFor) {
  // A loop longer than the solved range, or holding / solving with nothing
  // solved, would ask for a negative frame.
  EXPECT_EQ(MapEmitterFrame(7, 0, Range(5, kOutOfRangeLoop, 10)), -1);
  EXPECT_EQ(MapEmitterFrame(3, 0, Range(-1, kOutOfRangeKeepLast)), -1);
  EXPECT_EQ(MapEmitterFrame(3, 0, Range(-1, kOutOfRangeHide, 1, true)), -1);
  EXPECT_EQ(MapEmitterFrame(-4, 0, Range(30, kOutOfRangeKeepLast)), -1);
  EXPECT_EQ(MapEmitterFrame(31, 0, Range(30, kOutOfRangeLoop, 0)), 29);  // N below 1 counts as 1, no division by 0
  EXPECT_EQ(MapGhostFrame(7, 100, Range(5, kOutOfRangeLoop, 10)), -1);
  EXPECT_EQ(MapGhostFrame(3, 100, Range(-1, kOutOfRangeKeepLast)), -1);
}

TEST(DisplayFrame, GhostStopsAtItsStopFrame) {
  EXPECT_EQ(MapGhostFrame(25, 20, Range(30, kOutOfRangeKeepLast)), 20);
  EXPECT_EQ(MapGhostFrame(35, 20, Range(30, kOutOfRangeKeepLast)), 20);
  EXPECT_EQ(MapGhostFrame(35, 20, Range(30, kOutOfRangeHide, 1, true)), 20);
  EXPECT_EQ(MapGhostFrame(15, 20, Range(30, kOutOfRangeKeepLast)), 15);
  EXPECT_EQ(MapGhostFrame(35, 100, Range(30, kOutOfRangeLoop)), 25);
  EXPECT_EQ(MapGhostFrame(25, 20, Range(30, kOutOfRangeHide)), -1);
  EXPECT_EQ(MapGhostFrame(35, 40, Range(30, kOutOfRangeKeepLast)), 30);
}
