#include "scene_objects/ghost_desc.h"

#include "scene_objects/ghost.h"

#include "scene_objects/ghost_params.h"
#include "scene_objects/vorel_strings.h"

Animatable* RainGhostClassDesc::Create(bool loading) {
  (void)loading;
  return new RainGhostParticle();
}

const char* RainGhostClassDesc::ClassName() { return VorelString(kStrEmitterClassName); }
void* RainGhostClassDesc::HInstance() { return VorelModuleHandle(); }

RainGhostClassDesc* GetRainGhostDesc() {
  static RainGhostClassDesc desc;
  static ParamBlockDesc2 block(0, "params", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
                               GhostRollouts(), GhostParamDefs());
  return &desc;
}
