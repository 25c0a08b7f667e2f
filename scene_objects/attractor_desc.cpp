#include "scene_objects/attractor_desc.h"

#include "scene_objects/force_params.h"
#include "scene_objects/obj_attractor.h"
#include "scene_objects/vorel_strings.h"

Animatable* ObjAttractorClassDesc::Create(bool loading) { return new ObjAttractorObject(loading); }
const char* ObjAttractorClassDesc::ClassName() { return VorelString(kStrAttractorClassName); }
const char* ObjAttractorClassDesc::Category() { return VorelString(kStrForcesCategory); }
void* ObjAttractorClassDesc::HInstance() { return VorelModuleHandle(); }

Animatable* ObjAttractorModClassDesc::Create(bool loading) {
  (void)loading;
  return new ObjAttractorMod();
}
const char* ObjAttractorModClassDesc::ClassName() { return VorelString(kStrAttractorModName); }

ObjAttractorClassDesc* GetObjAttractorDesc() {
  static ObjAttractorClassDesc desc;
  static ParamBlockDesc2 block(0, "ObjAttractorParameters", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI, 0,
                               {RolloutDef{0, 218, kStrForceParamsRollout, 0}}, AttractorParamDefs());
  return &desc;
}

ObjAttractorModClassDesc* GetObjAttractorModDesc() {
  static ObjAttractorModClassDesc desc;
  return &desc;
}
