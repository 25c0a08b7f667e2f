// Frame mapping of emitters and ghost sources beyond the solved range.
#include "scene_objects/display_frame.h"

#include <algorithm>

namespace {
int Beyond(int F, int holdFrame, const SolvedRange& r) {
  int g = -1;
  if (r.solving) {
    g = holdFrame;
  } else if (r.action == kOutOfRangeLoop) {
    const int n = std::max(r.loopFrames, 1);
    g = ((F - r.lastSolved) % n) - n + r.lastSolved;
  } else if (r.action == kOutOfRangeKeepLast) {
    g = holdFrame;
  }
  return g < 0 ? -1 : g;
}
}  // namespace

int MapEmitterFrame(int F, int startFrame, const SolvedRange& range) {
  if (F != startFrame && F > range.lastSolved) F = Beyond(F, range.lastSolved, range);
  return F < 0 ? -1 : F;
}

int MapGhostFrame(int F, int stopFrame, const SolvedRange& range) {
  if (F > range.lastSolved || F > stopFrame) F = Beyond(F, std::min(range.lastSolved, stopFrame), range);
  return F < 0 ? -1 : F;
}
