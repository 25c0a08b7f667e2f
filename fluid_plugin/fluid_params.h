// The fluid system's block "params": its description and rows. The ids
// (FluidParam) live with the engine, which reads them too.
#pragma once
#include "fluid_core/param_ids.h"
#include "host/sdk/iparamb2.h"

// The surface defaults the block starts from ("Surface LOD", "Drop Size",
// "Melting Force", "Shrink Wrap"); the object's last-seen surface values
// start from them too.
constexpr float kDefaultSurfaceLod = 8.0f;
constexpr float kDefaultDropSize = 4.0f;
constexpr float kDefaultMeltingForce = 4.0f;
constexpr float kDefaultShrinkWrap = 0.66f;

// The block description (owned by the fluid system's class descriptor).
ParamBlockDesc2* FluidParamBlock();

std::vector<RolloutDef> FluidRollouts();
std::vector<ParamDef> FluidParamDefs();
