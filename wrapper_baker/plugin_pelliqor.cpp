// Entry points of the Pelliqor plug-in library.
#include "wrapper_baker/pelliqor/blob_node.h"

VOREL_PLUGIN_EXPORT const char* LibDescription() {
  return "Creates a blob wrapper object based on particle positions";
}
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? pelliqor::GetBlobNodeDesc() : nullptr; }
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return VOREL_HOST_SDK_VERSION; }
VOREL_PLUGIN_EXPORT int LibInitialize() { return 1; }
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
