#include "scene_objects/emitter_desc.h"

#include "scene_objects/emitter.h"

#include "scene_objects/emitter_params.h"
#include "scene_objects/vorel_strings.h"

Animatable* RainClassDesc::Create(bool loading) {
  (void)loading;
  return new RainParticle();
}

const char* RainClassDesc::ClassName() { return VorelString(kStrEmitterClassName); }
void* RainClassDesc::HInstance() { return VorelModuleHandle(); }

RainClassDesc* GetRainDesc() {
  static RainClassDesc desc;
  static ParamBlockDesc2 block(0, "params", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
                               EmitterRollouts(), EmitterParamDefs());
  return &desc;
}
