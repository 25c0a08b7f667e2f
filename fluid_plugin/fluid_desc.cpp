#include "fluid_plugin/fluid_desc.h"

#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "scene_objects/vorel_strings.h"

Animatable* TetraProcObjClassDesc::Create(bool loading) { return new TetraProcObj(loading); }

ActionTable* TetraProcObjClassDesc::GetActionTable(int i) {
  (void)i;
  GetVorActionCB();  // the callback is bound to the table as it arrives
  return BuildActionTable();
}

int TetraProcObjClassDesc::BeginCreate(Interface* ip) {
  if (!ip) return 1;
  ip->SuspendSetKeyMode();
  if (IActionManager* am = ip->GetActionManager()) am->ExecuteAction(kVorelActionTableId, kActionNewVorel);
  return 1;
}

int TetraProcObjClassDesc::EndCreate(Interface* ip) {
  if (ip) ip->ResumeSetKeyMode();
  return 1;
}

const char* TetraProcObjClassDesc::ClassName() { return VorelString(kStrFluidClassName); }
const char* TetraProcObjClassDesc::Category() { return VorelString(kStrCategory); }
void* TetraProcObjClassDesc::HInstance() { return VorelModuleHandle(); }

TetraProcObjClassDesc* GetTetraProcObjDesc() {
  static TetraProcObjClassDesc desc;
  static ParamBlockDesc2 block(0, "params", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
                               FluidRollouts(), FluidParamDefs());
  return &desc;
}
