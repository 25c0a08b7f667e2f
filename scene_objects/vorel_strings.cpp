#include "scene_objects/vorel_strings.h"

#include "host/core/strings.h"

namespace {

const vorel::host::StringResource kVorelStrings[] = {
    {kStrLibDescription, "Vorel pouring liquid system (Vorel project)"},
    {kStrCategory, "Vorel pouring system"},
    {kStrFluidClassName, "Vorel"},
    {kStrCustAttribSubAnim, "Vorel Custom Attribute"},
    {kStrCustAttribClassName, "Vorel CA"},
    {kStrObjectParamsRollout, "Vorel parameters"},
    {kStrAnimationControl, "Animation Control"},
    {kStrCacheRollout, "Cache "},
    {kStrDynamicsParams, "Dynamics Params"},
    {kStrPerObjectParams, "Per-object params"},
    {kStrSourceCreation, "Source Creation"},
    {kStrSurfaceParams, "Surface Params"},
    {kStrForcesCategory, "Vorel Forces"},
    {kStrPresetsRollout, "Presets"},
    {kStrForceParamsRollout, "Parameters"},
    {kStrSupportsObjects, "Supports Objects of Type"},
    {kStrEmitterClassName, "Vorel"},
    {kStrPathFollowModName, "VorelpathFollowMod"},
    {kStrPathFollowClassName, "Vorel-path"},
    {kStrAttractorClassName, "objAttractor"},
    {kStrAttractorModName, "VorelObjAttractorMod"},
    {kStrParticleDisplayParams, "Particle display params"},
    {kStrSourceParams, "Source params"},
    {kStrGhostParams, "Source ghost params"},
    // The action table: its name (also every row's category) and each command.
    {31276, "Vorel_af"},
    {31286, "GO!"},
    {31287, "Add a new Vorel source"},
    {31289, "Toggles random emission in selected Vorel sources"},
    {31285, "Flush animation"},
    {31284, "Rebuild surface"},
    {31340, "Flush surface mesh cache."},
    {31280, "Hold time"},
    {31288, "Start/Stop emitting from selected Vorel sources."},
    {31283, "New Vorel"},
    {31290, "Hide/Shows particle clip box"},
    {31291, "Drops"},
    {31292, "Dots"},
    {31293, "Ticks"},
    {31346, "Particle look: INSTANCES"},
    {31294, "Tetrahedron"},
    {31298, "Facing"},
    {31299, "Nothing"},
    {31300, "Camera"},
    {31301, "Speed"},
    {31302, "Surface"},
    {31303, "Particle size depends on solitude"},
    {31304, "Enable surface"},
    {31328, "Vorel TOOLBAR"},
    {1028, "Re-paint wetmaps sequence."},
    {31343, "Object manager"},
    {31344, "Render type: INSTANCED OBJECT"},
    {1079, "Open Vorel object Manager to control per-obejct attributes."},
    {1080, "Open Vorel UI help .chm document"},
    {1081, "Open Vorel.log file in a text window"},
    {30012, "new Pelliqor with selected particle"},
};
VOREL_STRING_TABLE(kVorelStrings);

}  // namespace

const char* VorelString(int id) { return GetString(id); }

HINSTANCE VorelModuleHandle() { return vorel::host::ModuleOf(kVorelStrings); }
