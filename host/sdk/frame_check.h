// What scene tests check in the particle frame files ("%05d.Vorel") that the
// solvers write into a cache folder: parked particles, speeds, particles
// outside a box. Used by vorel-host's "framecheck" command.
#pragma once
#include <functional>
#include <string>

namespace vorel_sdk {

// The frame files this reads: a 16-byte header (tag, a word, the particle
// count n, a float), a 256-byte block, then per particle an int, and from
// byte 272 + 4n the positions and from 272 + 16n the velocities (three
// floats each); the whole file 272 + 72n bytes (the CPU solver's frames) or
// 272 + 28n (the GPU solver's). A particle is parked when its position is
// (0, 0, 0) or a coordinate reaches 1e6: where the two solvers put the dead.
struct FrameCheckLimits {
  float scale = 1.0f;  // file units to the units below (20 for the GPU solver's)
  bool box = false;    // every live particle within [lo, hi]
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  float maxSpeed = -1.0f;  // live particles no faster; < 0: no limit
  // Live particles move no further from one frame to the next than this
  // per second at `framesPerSecond` (a particle is the same index in both
  // frames; one parked in either is left out); < 0: no limit. The first
  // frame is compared with the one before it when that one is there. With
  // `motionShare` below 100 the limit holds for that percentage of each
  // frame's particles (the liquid's speed, not that of a lone drop).
  float maxMotion = -1.0f;
  float motionShare = 100.0f;
  float framesPerSecond = 30.0f;
  int maxParked = -1;      // per frame; < 0: no limit
  int minCount = 0;        // particles in the last frame
  // Where no live particle may lie in a frame (true for a position, in the
  // units above, inside it); empty: nowhere is kept clear. `clearName`
  // names the place in the fault.
  std::function<bool(int frame, const float p[3])> keepClear;
  std::string clearName;
  // Some frame has a live particle within [reachLo, reachHi].
  bool reach = false;
  float reachLo[3] = {0, 0, 0}, reachHi[3] = {0, 0, 0};
  bool lowest = false;  // every frame's lowest live particle at or below lowestZ
  float lowestZ = 0.0f;
  // The highest live particle's height, frame by frame: each peak lower than
  // the one before (a frame higher than both its neighbours, and by more
  // than 0.01 than the lowest point since the last peak, is a peak).
  bool falling = false;
  // The stored velocity against the motion between frames (the particle's
  // positions in the frames before and after, `fps` frames a second): the
  // root mean square of their difference over live particles within `band`
  // of the faces of the box given with `box`, at most `wallMotion` times
  // that of the particles farther in. < 0: not checked.
  float wallMotion = -1.0f;
  float band = 0.0f, fps = 30.0f;
};

struct FrameCheckSummary {
  int frames = 0;
  int mostParticles = 0;
  int mostParked = 0;
  float fastest = 0.0f;
  float fastestMotion = 0.0f;  // from frame to frame, when maxMotion is set
  // With `wallMotion`: the two root mean squares (host units/s) and how
  // many particle frames each covers.
  double wallRms = 0.0, innerRms = 0.0;
  long wallSamples = 0, innerSamples = 0;
};

// Checks frames first..last of the folder (every one must be there and
// whole). False with the first fault in `error` (frame, particle and what
// broke the limit); `summary` covers the frames read until then.
bool CheckParticleFrames(const std::string& folder, int first, int last, const FrameCheckLimits& limits,
                         FrameCheckSummary& summary, std::string& error);

}  // namespace vorel_sdk
