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
  Point3 bowlCentre;
  float bowlRadius = 0.0f;
};

// Registers the plug-in's classes when they are not yet, then builds the
// scene over host frames 0..frames-1 with the caches under cacheRoot.
// `radius` and `rate` are the emitter's "Radius" and "Emission Rate"; the
// surface is built with every solved frame.
PourScene BuildPourScene(const std::string& cacheRoot, int frames, float radius, float rate);
