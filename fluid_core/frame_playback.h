// Playback of cached particle frames for display: which particles a display
// percentage keeps. The frame reading, interpolation and smoothing live on
// FluidSolver and FrameCache (frame_playback.cpp).
#pragma once

// Thinning of a frame's particles to a display percentage p (1..100; values
// outside are clamped): p <= 50 keeps every trunc(100/p)-th particle
// (index 0 included), 50 < p < 100 drops every trunc(1/(1 - p/100))-th
// (index 0 dropped), 100 keeps all. Computed in double precision: in single
// precision 80, 90 and 95 would drop every 4th, 9th and 19th instead of every
// 5th, 10th and 20th.
struct DisplayThinning {
  int percent = 100;
  int keepEvery = 1;
  int skipEvery = 1;

  explicit DisplayThinning(int displayPercent);
  bool Shows(int i) const {
    if (percent >= 100) return true;
    if (keepEvery >= 2) return i % keepEvery == 0;
    return i % skipEvery != 0;
  }
};
