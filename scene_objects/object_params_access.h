// The plug-in's answer to the engine's per-object settings interface: the
// engine reads and attaches the collision attribute through it, and it goes
// to the node accessors of fluid_core/object_params.h.
#pragma once
#include "fluid_core/engine_links.h"

class VorelObjectParamsAccess : public ObjectParamsAccess {
 public:
  bool GetObjectParams(INode* node, ObjectParams& out) override;
  bool GetWetmapParams(INode* node, WetmapParams& out) override;
  bool HasObjectParams(INode* node) override;
  void AddObjectParams(FluidEngine* engine, INode* node, const ObjectSettings& s) override;
  void RemoveObjectParams(INode* node) override;
};

// Installs the one accessor process-wide (done when the library loads).
void InstallVorelObjectParamsAccess();
