// The ghost source's block "params": its description and rows. The ids
// (GhostParam) live with the engine; ids 0-9 are the emitter's display rows.
#pragma once
#include "fluid_core/param_ids.h"
#include "host/sdk/iparamb2.h"

// The ghost source's block description (owned by its class descriptor).
ParamBlockDesc2* GhostParamBlock();

std::vector<RolloutDef> GhostRollouts();
std::vector<ParamDef> GhostParamDefs();
