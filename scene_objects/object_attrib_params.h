// The per-object collision attribute's block "Vorel object parameters": its
// description and rows. The ids (ObjectAttribParam) live with the engine.
#pragma once
#include "fluid_core/param_ids.h"
#include "host/sdk/iparamb2.h"

// The attribute's rollout dialog.
constexpr int kObjectAttribDialog = 178;

// The block description (owned by the attribute's class descriptor).
ParamBlockDesc2* ObjectAttribParamBlock();

std::vector<RolloutDef> ObjectAttribRollouts();
std::vector<ParamDef> ObjectAttribParamDefs();
