// The string resources of the Vorel plug-in (class names, categories, rollout
// titles, prompts) and its module handle. Every unit of the plug-in reads its
// texts through VorelString so that the table is linked wherever a text is used.
#pragma once
#include "host/core/win32.h"

// Resource ids that several units name.
enum VorelStringId : int {
  kStrLibDescription = 1,
  kStrCategory = 2,
  kStrFluidClassName = 3,
  kStrCustAttribSubAnim = 21,
  kStrCustAttribClassName = 22,
  kStrObjectParamsRollout = 27,
  kStrAnimationControl = 36,
  kStrCacheRollout = 37,
  kStrDynamicsParams = 38,
  kStrPerObjectParams = 40,
  kStrSourceCreation = 41,
  kStrSurfaceParams = 42,
  kStrForcesCategory = 175,
  kStrPresetsRollout = 30011,
  kStrForceParamsRollout = 30028,
  kStrSupportsObjects = 30287,
  kStrEmitterClassName = 30491,
  kStrPathFollowModName = 30573,
  kStrPathFollowClassName = 40036,
  kStrAttractorClassName = 40537,
  kStrAttractorModName = 40538,
  kStrParticleDisplayParams = 40551,
  kStrSourceParams = 40552,
  kStrGhostParams = 40567,
};

// The text of a string resource of the plug-in, or null when there is none.
// Unlike the host's single-buffer loader each id keeps its own storage, so two
// texts may be held at once (a message and its caption, a label and its
// tooltip); the pointer stays valid while the process runs.
const char* VorelString(int id);

// The module handle of the library that holds the plug-in (the HInstance of
// its descriptors and the instance of its dialog templates).
HINSTANCE VorelModuleHandle();
