// FluidEngine: the wet-map records of the scene objects the liquid touches.
// The registration, resizing and painting belong to the wet-map code; until
// it lands here, no object is registered and nothing is painted.
#include "fluid_core/engine.h"

struct WetMap {
  INode* node = nullptr;
};

void FluidEngine::AddWetMap(INode* node) { (void)node; }
void FluidEngine::ResizeWetMaps() {}
void FluidEngine::RebuildWetMapList() {}
void FluidEngine::RestoreWetMaps() {}
void FluidEngine::FreeWetMaps() {
  for (WetMap* w : wetMaps) delete w;
  wetMaps.clear();
}
