// The Vorel plug-in library's entry points. The descriptors and their
// parameter blocks are built while the library loads, before the host calls
// any of these.
#include "fluid_plugin/menu_toolbar.h"
#include "fluid_plugin/vorel_classes.h"
#include "host/sdk/max.h"

namespace {
struct BuildAtLoad {
  BuildAtLoad() { BuildVorelClasses(); }
} buildAtLoad;
}  // namespace

VOREL_PLUGIN_EXPORT const char* LibDescription() { return VorelLibDescription(); }
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return kVorelClassCount; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return VorelClassDesc(i); }
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return kVorelLibVersion; }
// Menus and the action binding are set up once, after the classes are
// registered, on the host thread: never from the loader or worker threads.
VOREL_PLUGIN_EXPORT int LibInitialize() {
  BuildVorelMenus();
  return 1;
}
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
