// The force fields' parameter tables. Spinners use the host's automatic step;
// "windtype" has no control and only its range limits it.
#include "scene_objects/force_params.h"

#include "scene_objects/attractor_desc.h"
#include "scene_objects/path_follow_desc.h"

ParamBlockDesc2* AttractorParamBlock() { return GetObjAttractorDesc()->GetParamBlockDescByID(0); }
ParamBlockDesc2* PathFollowParamBlock() { return GetWindDesc()->GetParamBlockDescByID(0); }

namespace {

constexpr int kAnimReset = P_ANIMATABLE | P_RESET_DEFAULT;
constexpr float kBig = 9999999.0f;

// The first seven rows of both blocks in declaration order (strength, decay,
// windtype, turbulence, frequency, scale, iconsize).
std::vector<ParamDef> CommonHead() {
  return {
      ParamDef(kForceStrength, "strength", TYPE_FLOAT, kAnimReset).LocalName("Strength")
          .Default(1.0f).ScriptDefault(1.0f).Range(-kBig, kBig)
          .Spinner(0, EDITTYPE_FLOAT, 1163, 1164, 0.0f, true),
      ParamDef(kForceDecay, "decay", TYPE_FLOAT, kAnimReset).LocalName("Decay")
          .Default(0.0f).ScriptDefault(1.0f).Range(0.0f, kBig),
      ParamDef(kForceWindType, "windtype", TYPE_RADIOBTN_INDEX, 0).LocalName("VorelpathFollow Type")
          .Default(0).Range(0, 1),
      ParamDef(kForceTurbulence, "turbulence", TYPE_FLOAT, kAnimReset).LocalName("Turbulence")
          .Default(0.0f).ScriptDefault(1.0f).Range(0.0f, kBig)
          .Spinner(0, EDITTYPE_FLOAT, 1170, 1169, 0.0f, true),
      ParamDef(kForceFrequency, "frequency", TYPE_FLOAT, kAnimReset).LocalName("Frequency")
          .Default(0.0f).ScriptDefault(1.0f).Range(0.0f, kBig)
          .Spinner(0, EDITTYPE_FLOAT, 2172, 2171, 0.0f, true),
      ParamDef(kForceScale, "scale", TYPE_FLOAT, kAnimReset).LocalName("Scale")
          .Default(1.0f).ScriptDefault(1.0f).Range(0.0f, kBig)
          .Spinner(0, EDITTYPE_FLOAT, 2174, 2173, 0.0f, true),
      ParamDef(kForceIconSize, "iconsize", TYPE_FLOAT, kAnimReset).LocalName("Icon Size")
          .Default(10.0f).ScriptDefault(10.0f).Range(0.0f, kBig)
          .Spinner(0, EDITTYPE_UNIVERSE, 1161, 1162, 0.0f, true),
      ParamDef(kForceHoopsOn, "hoopson", TYPE_BOOL, 0).LocalName("Hoops On").Default(0).CheckBox(0, 1734),
  };
}

ParamDef Reverse() {
  return ParamDef(kForceReverse, "reverse", TYPE_BOOL, 0)
      .LocalName("Particles will follow selected path in reverse direction.")
      .Default(0).CheckBox(0, 1735);
}

}  // namespace

std::vector<ParamDef> AttractorParamDefs() {
  std::vector<ParamDef> d = CommonHead();
  d.push_back(ParamDef(kAttrOrdered, "ordered", TYPE_BOOL, 0)
                  .LocalName("Attract particles in an ordered way").Default(0).CheckBox(0, 1126));
  d.push_back(Reverse());
  d.push_back(ParamDef(kAttrSampleDensity, "sampleDensity", TYPE_FLOAT, kAnimReset)
                  .LocalName("Tangencial strength").Default(6.0f).ScriptDefault(6.0f).Range(0.3f, 100.0f)
                  .Spinner(0, EDITTYPE_FLOAT, 1165, 1166, 0.0f, true));
  d.push_back(ParamDef(kAttrAttractionType, "AttractionType", TYPE_INT, 0).LocalName("AttractionType")
                  .Default(0).Radio(0, {1127, 1129}));
  return d;
}

std::vector<ParamDef> PathFollowParamDefs() {
  std::vector<ParamDef> d = CommonHead();
  d.push_back(Reverse());
  d.push_back(ParamDef(kPathStrength2, "strength2", TYPE_FLOAT, kAnimReset).LocalName("Tangencial strength")
                  .Default(1.0f).ScriptDefault(1.0f).Range(-kBig, kBig)
                  .Spinner(0, EDITTYPE_FLOAT, 1165, 1166, 0.0f, true));
  return d;
}
