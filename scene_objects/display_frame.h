// Which cache frame an emitter or a ghost source shows for an engine frame,
// when the frame lies beyond what has been solved.
#pragma once
#include "fluid_core/param_ids.h"


// What the mapping needs of the system at one time.
struct SolvedRange {
  int lastSolved = -1;
  bool solving = false;  // a batch solve is running
  int action = kOutOfRangeHide;
  int loopFrames = 1;  // "framestoloopfor"; below 1 counts as 1
};

// The emitter's frame for engine frame F: F itself when it is the start
// frame or within the solved range; beyond it the last solved frame while
// solving or holding, ((F - last) mod N) - N + last when looping, none when
// hiding. -1 means "show nothing": also for any frame that maps below 0
// (nothing solved yet, or a loop longer than the solved range).
int MapEmitterFrame(int F, int startFrame, const SolvedRange& range);
// The ghost's frame: as the emitter's, except that frames beyond
// `stopFrame` count as out of range too, and holding (or solving) shows
// min(last solved, stopFrame).
int MapGhostFrame(int F, int stopFrame, const SolvedRange& range);
