// The demo scene made in-process: a fluid system whose first emitter pours
// into a closed round bowl (a host sphere with the per-object collision
// settings). The batch benchmark and the end-to-end test build it the same
// way the demo script does.
#pragma once
#include <string>

#include "host/sdk/max.h"

class TetraProcObj;

struct PourScene {
  TetraProcObj* system = nullptr;  // null when the plug-in could not make it
  INode* emitter = nullptr;
  INode* bowl = nullptr;
  INode* fillBox = nullptr;  // the box the emitter fills, when it fills one
  Point3 bowlCentre;
  float bowlRadius = 0.0f;
};

// What the emitter does. A pour adds particles a disc at a time, so reaching
// a large count takes many frames; a fill puts every particle of a box into
// the bowl at the first solved frame, and the liquid then falls and settles.
struct PourSettings {
  float radius = 6.0f;  // the emitter's "Radius" (host units)
  float rate = 8.0f;    // "Emission Rate"
  float lod = 6.0f;     // "Source LOD": particles per solver unit along a line
  // Above 0: the side (host units) of a box centred in the bowl that the
  // emitter fills (emission type "Object filled") instead of pouring. The
  // box does not collide.
  float fillSide = 0.0f;
  // The bowl as a closed box as wide as the sphere (12 faces where the
  // 32-segment sphere has about 1,000): the benchmark compares the two.
  bool boxBowl = false;
};

// Registers the plug-in's classes when they are not yet, then builds the
// scene over host frames 0..frames-1 with the caches under cacheRoot; the
// surface is built with every solved frame.
PourScene BuildPourScene(const std::string& cacheRoot, int frames, const PourSettings& settings);
