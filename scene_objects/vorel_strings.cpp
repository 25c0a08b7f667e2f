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
};
VOREL_STRING_TABLE(kVorelStrings);

}  // namespace

const char* VorelString(int id) { return GetString(id); }

HINSTANCE VorelModuleHandle() { return vorel::host::ModuleOf(kVorelStrings); }
