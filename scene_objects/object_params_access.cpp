#include "scene_objects/object_params_access.h"

#include "fluid_core/engine.h"
#include "fluid_core/object_params.h"

bool VorelObjectParamsAccess::GetObjectParams(INode* node, ObjectParams& out) {
  ObjectParams v = out;
  if (!::GetObjectParams(node, v.collide, v.collisionGap, v.bounce, v.friction, v.adherence, v.partKiller))
    return false;
  out = v;
  return true;
}

bool VorelObjectParamsAccess::GetWetmapParams(INode* node, WetmapParams& out) {
  int tracer = out.tracer, mapRes = out.mapRes;
  float drying = out.dryingTime;
  const char* prefix = nullptr;
  if (!::GetWetmapParams(node, tracer, mapRes, prefix, drying)) return false;
  out.tracer = tracer;
  out.mapRes = mapRes;
  out.mapPrefix = prefix ? prefix : "";
  out.dryingTime = drying;
  return true;
}

bool VorelObjectParamsAccess::HasObjectParams(INode* node) { return ::HasObjectParams(node); }

void VorelObjectParamsAccess::AddObjectParams(FluidEngine* engine, INode* node, const ObjectSettings& s) {
  auto registerWetMap = [engine](INode* n) {
    if (engine) engine->AddWetMap(n);
  };
  ::AddObjectParams(registerWetMap, node, s.collide, s.collisionGap, s.bounce, s.friction, s.tracer, s.mapRes,
                    s.dryingTime, s.adherence, s.partKiller);
}

void VorelObjectParamsAccess::RemoveObjectParams(INode* node) { ::RemoveObjectParams(node); }

void InstallVorelObjectParamsAccess() {
  static VorelObjectParamsAccess access;
  SetObjectParamsAccess(&access);
}
