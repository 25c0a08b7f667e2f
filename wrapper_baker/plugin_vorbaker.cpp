// Entry points of the VorBaker plug-in library.
#include "wrapper_baker/vorbaker/baker_node.h"

VOREL_PLUGIN_EXPORT const char* LibDescription() { return "Replays Vorel cache folders as a surface"; }
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? vorbaker::GetBlobNodeDesc() : nullptr; }
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return VOREL_HOST_SDK_VERSION; }
VOREL_PLUGIN_EXPORT int LibInitialize() { return 1; }
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
