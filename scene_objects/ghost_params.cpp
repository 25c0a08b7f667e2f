// The ghost source's parameter table. Its dialog has no radius or rate
// controls: those two parameters exist for scripts and presets only.
#include "scene_objects/ghost_params.h"

#include "scene_objects/emitter_params.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/vorel_strings.h"

ParamBlockDesc2* GhostParamBlock() { return GetRainGhostDesc()->GetParamBlockDescByID(0); }

std::vector<RolloutDef> GhostRollouts() {
  return {RolloutDef{kGhostMapSource, 222, kStrGhostParams, 0},
          RolloutDef{kGhostMapDisplay, 169, kStrParticleDisplayParams, 0}};
}

std::vector<ParamDef> GhostParamDefs() {
  const MapID S = kGhostMapSource;
  std::vector<ParamDef> d = {
      ParamDef(kGhostRadius, "Radius", TYPE_FLOAT, P_ANIMATABLE).LocalName("Radius")
          .Default(4.0f).Range(0.0001f, 100000000.0f).Spinner(S, EDITTYPE_UNIVERSE, 1000, 1005, 0.1f),
      ParamDef(kGhostEmissionRate, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE).LocalName("EmissionRate")
          .Default(4.0f).Range(0.0001f, 100000000.0f).Spinner(S, EDITTYPE_UNIVERSE, 1001, 1006, 0.1f),
      ParamDef(kGhostDisableSource, "DisableSource", TYPE_BOOL, P_ANIMATABLE).LocalName("Disable source")
          .Default(0).CheckBox(S, 1014),
      ParamDef(kGhostStartFrame, "startFrame", TYPE_INT, P_ANIMATABLE).LocalName("Start Time")
          .Default(-100).Range(-1000, 100000).Spinner(S, EDITTYPE_INT, 1002, 1007, 1.0f),
      ParamDef(kGhostStopFrame, "stopFrame", TYPE_INT, P_ANIMATABLE).LocalName("Stop emission time")
          .Default(10000).Range(-1000, 100000).Spinner(S, EDITTYPE_INT, 1003, 1008, 1.0f),
      ParamDef(kGhostHideSource, "HideSource", TYPE_BOOL, 0).LocalName("Hide source")
          .Default(0).CheckBox(S, 1019),
      ParamDef(kGhostExcludeFromMeshing, "ExcludeFromMeshing", TYPE_BOOL, 0).LocalName("Avoid meshing")
          .Default(0).CheckBox(S, 1029),
  };
  for (ParamDef& p : ParticleDisplayParamDefs(0)) d.push_back(p);
  return d;
}
