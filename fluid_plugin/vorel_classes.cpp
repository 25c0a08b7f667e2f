#include "fluid_plugin/vorel_classes.h"

#include "fluid_core/frame_cache.h"
#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/fluid_rollouts.h"
#include "fluid_plugin/progress_dialog.h"
#include "fluid_plugin/menu_toolbar.h"
#include "fluid_plugin/source_presets.h"
#include "fluid_plugin/vor_actions.h"
#include "scene_objects/attractor_desc.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"
#include "scene_objects/emitter_rollouts.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/object_attrib_rollout.h"
#include "scene_objects/object_manager.h"
#include "scene_objects/object_params_access.h"
#include "scene_objects/path_follow_desc.h"
#include "scene_objects/simple_cust_attrib.h"
#include "scene_objects/supports_objects_rollout.h"
#include "scene_objects/vorel_strings.h"

ClassDesc* VorelClassDesc(int i) {
  switch (i) {
    case 0: return GetTetraProcObjDesc();
    case 1: return GetRainDesc();
    case 2: return GetSimpleAttribDesc();
    case 3: return GetWindDesc();
    case 4: return GetWindModDesc();
    case 5: return GetObjAttractorDesc();
    case 6: return GetObjAttractorModDesc();
    case 7: return GetRainGhostDesc();
    default: return nullptr;
  }
}

const char* VorelLibDescription() { return VorelString(kStrLibDescription); }

namespace {
// The emitter rollouts keep the toolbar in step and run "Hold time".
void InstallEmitterShellHooks() {
  EmitterShellHooks h;
  h.setLookState = SetParticleLookButtonState;
  h.setRenderTypeState = SetRenderTypeButtonState;
  h.setFacingState = SetFacingButtonState;
  h.showFacingButton = ShowFacingToolbarButton;
  h.hideFacingButton = HideFacingToolbarButton;
  h.runCommand = [](int command) { GetVorActionCB()->ExecuteAction(command); };
  SetEmitterShellHooks(h);
}
}  // namespace

void BuildVorelClasses() {
  GetSimpleAttribDesc();
  GetObjAttractorDesc();
  GetRainDesc();
  GetRainGhostDesc();
  GetTetraProcObjDesc();
  GetWindDesc();
  InstallVorelObjectParamsAccess();
  RegisterProgressDialogs(VorelModuleHandle());
  RegisterSupportsObjectsDialog(VorelModuleHandle());
  RegisterObjectAttribDialog(VorelModuleHandle());
  RegisterPresetDialogs(VorelModuleHandle());
  SetEmitterPresetsProc(GetPresetDlgProc());
  InstallEmitterShellHooks();
  InstallShellActions();
  RegisterObjectManagerDialog(VorelModuleHandle());
  InstallFluidRollouts();
}
