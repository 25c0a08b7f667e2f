// The emitter's parameter table. "Source_adherence LOD" has no default of its
// own: a new emitter holds 0.0, below its range, and keeps it until set.
#include "scene_objects/emitter_params.h"

#include "scene_objects/emitter_desc.h"
#include "scene_objects/vorel_strings.h"

ParamBlockDesc2* EmitterParamBlock() { return GetRainDesc()->GetParamBlockDescByID(0); }

std::vector<RolloutDef> EmitterRollouts() {
  return {RolloutDef{kEmitMapSource, 220, kStrSourceParams, 0},
          RolloutDef{kEmitMapPresets, 223, kStrPresetsRollout, APPENDROLL_CLOSED},
          RolloutDef{kEmitMapDisplay, 169, kStrParticleDisplayParams, APPENDROLL_CLOSED}};
}

std::vector<ParamDef> EmitterParamDefs() {
  const MapID S = kEmitMapSource, P = kEmitMapPresets;
  std::vector<ParamDef> d = {
      ParamDef(kEmitRadius, "Radius", TYPE_FLOAT, P_ANIMATABLE).LocalName("Radius")
          .Default(4.0f).Range(0.0001f, 100000000.0f).Spinner(S, EDITTYPE_UNIVERSE, 1000, 1005, 0.1f),
      ParamDef(kEmitEmissionRate, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE).LocalName("EmissionRate")
          .Default(6.0f).Range(0.0001f, 100000000.0f).Spinner(S, EDITTYPE_UNIVERSE, 1001, 1006, 0.1f),
      ParamDef(kEmitSourceLod, "Source LOD", TYPE_FLOAT, P_ANIMATABLE).LocalName("LOD-particle density")
          .Default(4.0f).Range(0.001f, 128.0f).Spinner(S, EDITTYPE_FLOAT, 1011, 1010, 0.1f),
      ParamDef(kEmitThickness, "Thickness", TYPE_FLOAT, P_ANIMATABLE).LocalName("Thickness")
          .Default(5.0f).Range(0.001f, 512.0f).Spinner(S, EDITTYPE_FLOAT, 1493, 1012, 0.1f),
      ParamDef(kEmitRandomEmission, "RandomEmission", TYPE_BOOL, P_ANIMATABLE).LocalName("Random Emission")
          .Default(1).CheckBox(S, 1013),
      ParamDef(kEmitDisableSource, "DisableSource", TYPE_BOOL, P_ANIMATABLE).LocalName("Disable source")
          .Default(0).CheckBox(S, 1014),
      ParamDef(kEmitLifeTime, "lifeTime", TYPE_INT, P_ANIMATABLE).LocalName("Life Time")
          .Default(9999).Range(0, 10000).Spinner(S, EDITTYPE_INT, 3042, 3043, 1.0f),
      ParamDef(kEmitStartFrame, "startFrame", TYPE_INT, P_ANIMATABLE).LocalName("Start Time")
          .Default(-100).Range(-1000, 100000).Spinner(S, EDITTYPE_INT, 1002, 1007, 1.0f),
      ParamDef(kEmitStopFrame, "stopFrame", TYPE_INT, P_ANIMATABLE).LocalName("Stop emission time")
          .Default(45).Range(-1000, 100000).Spinner(S, EDITTYPE_INT, 1003, 1008, 1.0f),
      ParamDef(kEmitEmissionType, "EmissionType", TYPE_INT, P_ANIMATABLE).LocalName("EmissionType")
          .Default(0).Radio(S, {1021, 1022, 1024, 1026}),
      ParamDef(kEmitFillingPercentage, "fillingPercentage", TYPE_INT, P_ANIMATABLE).LocalName("Filling %")
          .Default(100).Range(0, 4000).Spinner(S, EDITTYPE_INT, 1503, 1504, 1.0f),
      ParamDef(kEmitParticlesFilled, "#particlesFilled", TYPE_INT, P_ANIMATABLE)
          .LocalName("# particles in filled object")
          .Default(100000).Range(0, 1000000).Spinner(S, EDITTYPE_INT, 1506, 1507, 1.0f),
      ParamDef(kEmitTrajectoryLength, "trajectoryLength", TYPE_INT, P_ANIMATABLE).LocalName("Length")
          .Default(30).Range(0, 500).Spinner(S, EDITTYPE_INT, 1508, 1509, 1.0f),
      ParamDef(kEmitApplyMappingAtFrame, "applyMappingAtFrame", TYPE_INT, P_ANIMATABLE)
          .LocalName("Frame to apply mapping coords.")
          .Default(30).Range(0, 500).Spinner(S, EDITTYPE_INT, 1004, 1009, 1.0f),
      ParamDef(kEmitHideSource, "HideSource", TYPE_BOOL, 0).LocalName("Hide source")
          .Default(0).CheckBox(S, 1019),
      ParamDef(kEmitHideTrajectory, "HideTrajectory", TYPE_BOOL, 0).LocalName("Hide trajectory")
          .Default(0).CheckBox(S, 1128),
  };
  for (ParamDef& p : ParticleDisplayParamDefs(2)) d.push_back(p);
  std::vector<ParamDef> tail = {
      ParamDef(kEmitRateVariation, "rateVariation", TYPE_INT, P_ANIMATABLE).LocalName("rate variation")
          .Default(0).Range(0, 1500).Spinner(S, EDITTYPE_INT, 1023, 1016, 1.0f),
      ParamDef(kEmitInterParticleInteraction, "inter-particleInteraction", TYPE_BOOL, P_ANIMATABLE)
          .LocalName("enables inter-particle interaction for this source").Default(1).CheckBox(S, 1028),
      ParamDef(kEmitLodPreview, "lodPreview", TYPE_BOOL, P_ANIMATABLE).LocalName("First frame lod preview")
          .Default(1).CheckBox(S, 1030),
      ParamDef(kEmitOverrideObjParams, "overrideObjParams", TYPE_BOOL, 0)
          .LocalName("Override object parameters").Default(0).CheckBox(P, 1031),
      ParamDef(kEmitSourceFriction, "Source_Friction", TYPE_FLOAT, P_ANIMATABLE).LocalName("Source friction")
          .Default(4.0f).Range(0.0f, 100.0f).Spinner(P, EDITTYPE_FLOAT, 1132, 1032, 0.1f),
      ParamDef(kEmitSourceAdherence, "Source_adherence LOD", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Source adherence").Range(0.001f, 1.0f).Spinner(P, EDITTYPE_FLOAT, 1133, 1033, 0.05f),
      ParamDef(kEmitPresetName, "PresetName", TYPE_STRING, 0).LocalName("preset name")
          .Default("Nothing").EditBox(P, 1136),
      ParamDef(kEmitSourceBounce, "Source_Bounce", TYPE_FLOAT, P_ANIMATABLE).LocalName("Source bounce")
          .Default(4.0f).Range(0.0f, 100.0f).Spinner(P, EDITTYPE_FLOAT, 1135, 1034, 0.1f),
      ParamDef(kEmitSourceCollisionGap, "Source_collision_gap", TYPE_FLOAT, P_ANIMATABLE)
          .LocalName("Source collision GAP")
          .Default(0.05f).Range(0.0001f, 5.0f).Spinner(P, EDITTYPE_FLOAT, 1137, 1035, 0.05f),
      ParamDef(kEmitSourceGravity, "Source_gravity", TYPE_FLOAT, P_ANIMATABLE).LocalName("Source gravity")
          .Default(34.0f).Range(0.0f, 250.0f).Spinner(P, EDITTYPE_FLOAT, 1138, 1036, 0.1f),
  };
  for (ParamDef& p : tail) d.push_back(p);
  return d;
}

std::vector<ParamDef> ParticleDisplayParamDefs(int renderTypeDefault) {
  const MapID D = 1;
  return {
      ParamDef(kEmitDropSize, "DropSize", TYPE_FLOAT, P_ANIMATABLE).LocalName("Drop Size")
          .Default(1.0f).Range(0.0f, 10000000000.0f).Spinner(D, EDITTYPE_UNIVERSE, 3038, 3039, 0.1f),
      ParamDef(kEmitDisplayType, "DisplayType", TYPE_INT, P_ANIMATABLE).LocalName("Viewport Particles")
          .Default(0).Radio(D, {3052, 1023, 1024, 1025}),
      ParamDef(kEmitRenderType, "RenderType", TYPE_INT, P_ANIMATABLE).LocalName("Particle Type in Render View")
          .Default(renderTypeDefault).Radio(D, {3071, 3072, 3073, 3074}),
      ParamDef(kEmitFacingOrientation, "FacingOrientation", TYPE_INT, P_ANIMATABLE)
          .LocalName("Facing orientation").Default(0).Radio(D, {3077, 3078, 3079}),
      ParamDef(kEmitSizeOnAgePercentage, "SizeOnAgePercentage", TYPE_INT, P_ANIMATABLE)
          .LocalName("% Life to collapse").Default(100).Range(0, 100).Spinner(D, EDITTYPE_INT, 3046, 3047, 1.0f),
      ParamDef(kEmitSizeOnSolitudeRadius, "SizeOnSolitudeRadius", TYPE_INT, P_ANIMATABLE)
          .LocalName("Minimum Neighbors to collapse")
          .Default(50).Range(0, 50).Spinner(D, EDITTYPE_INT, 3040, 3041, 1.0f),
      ParamDef(kEmitSizeOnSolitude, "SizeOnSolitude", TYPE_BOOL, P_ANIMATABLE)
          .LocalName("Particle size depends on the number of neighbours").Default(1).CheckBox(D, 1028),
      ParamDef(kEmitMinSize, "MinSize", TYPE_FLOAT, P_ANIMATABLE).LocalName("Minimum Particle Size")
          .Default(0.0f).Range(0.0f, 10000000000.0f).Spinner(D, EDITTYPE_UNIVERSE, 3048, 3049, 0.01f),
      ParamDef(kEmitParticlesShown, "ParticlesShown", TYPE_INT, P_ANIMATABLE).LocalName("% particles in viewport")
          .Default(100).Range(0, 100).Spinner(D, EDITTYPE_INT, 3044, 3045, 1.0f),
      ParamDef(kEmitParticlesShownInRender, "ParticlesShownInRender", TYPE_INT, P_ANIMATABLE)
          .LocalName("% particles in render view")
          .Default(100).Range(0, 100).Spinner(D, EDITTYPE_INT, 3050, 3051, 1.0f),
  };
}

namespace {
ParamMap2UserDlgProc* presetsProc = nullptr;
}
void SetEmitterPresetsProc(ParamMap2UserDlgProc* proc) { presetsProc = proc; }
ParamMap2UserDlgProc* EmitterPresetsProc() { return presetsProc; }
