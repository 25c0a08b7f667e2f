// The emitter's ("source") block "params": its description and rows. The ids
// (EmitterParam) live with the engine, which reads them too.
#pragma once
#include "fluid_core/param_ids.h"
#include "host/sdk/iparamb2.h"

// The emitter's block description (owned by the emitter's class descriptor).
ParamBlockDesc2* EmitterParamBlock();

// The description's rows, in declaration order (used to build it).
std::vector<RolloutDef> EmitterRollouts();
std::vector<ParamDef> EmitterParamDefs();
// The particle display rollout's rows (map 1, ids 0-9), which the ghost
// source shares; only the "RenderType" default differs.
std::vector<ParamDef> ParticleDisplayParamDefs(int renderTypeDefault);

// The procedure of the "Presets" rollout, handed to the block each time the
// emitter's rollouts open (the plug-in shell installs it; null: none).
void SetEmitterPresetsProc(ParamMap2UserDlgProc* proc);
ParamMap2UserDlgProc* EmitterPresetsProc();
