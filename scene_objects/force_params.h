// Parameter ids of the two force fields' blocks: the object attractor's
// "ObjAttractorParameters" and the path-follow force's "WindParameters".
// Their first nine parameters share ids, names, types, defaults and controls.
#pragma once
#include "host/sdk/iparamb2.h"

enum ForceParam : ParamID {
  kForceStrength = 0,
  kForceDecay = 1,
  kForceWindType = 2,
  kForceIconSize = 3,
  kForceTurbulence = 4,
  kForceFrequency = 5,
  kForceScale = 6,
  kForceHoopsOn = 7,
  kForceReverse = 8,
};

enum AttractorParam : ParamID {
  kAttrSampleDensity = 9,
  kAttrOrdered = 10,
  kAttrAttractionType = 11,
};
constexpr int kAttractorParamCount = 12;

enum PathFollowParam : ParamID {
  kPathStrength2 = 9,
};
constexpr int kPathFollowParamCount = 10;

// "AttractionType" values.
enum AttractionType : int { kAttractSurface = 0, kAttractVolume = 1 };

// The blocks' descriptions (owned by the attractor's and the path-follow
// force's class descriptors).
ParamBlockDesc2* AttractorParamBlock();
ParamBlockDesc2* PathFollowParamBlock();

std::vector<ParamDef> AttractorParamDefs();
std::vector<ParamDef> PathFollowParamDefs();
