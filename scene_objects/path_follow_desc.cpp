#include "scene_objects/path_follow_desc.h"

#include "scene_objects/force_params.h"
#include "scene_objects/path_follow.h"
#include "scene_objects/vorel_strings.h"

Animatable* WindClassDesc::Create(bool loading) { return new WindObject(loading); }
const char* WindClassDesc::ClassName() { return VorelString(kStrPathFollowClassName); }
const char* WindClassDesc::Category() { return VorelString(kStrForcesCategory); }
void* WindClassDesc::HInstance() { return VorelModuleHandle(); }

Animatable* WindModClassDesc::Create(bool loading) {
  (void)loading;
  return new WindMod();
}
const char* WindModClassDesc::ClassName() { return VorelString(kStrPathFollowModName); }

WindClassDesc* GetWindDesc() {
  static WindClassDesc desc;
  static ParamBlockDesc2 block(0, "WindParameters", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI, 0,
                               {RolloutDef{0, 138, kStrForceParamsRollout, 0}}, PathFollowParamDefs());
  return &desc;
}

WindModClassDesc* GetWindModDesc() {
  static WindModClassDesc desc;
  return &desc;
}
