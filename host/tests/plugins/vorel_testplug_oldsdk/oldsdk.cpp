// A plug-in built for an SDK release this host does not load: the loader
// must refuse it without registering anything.
#include "host/sdk/interface.h"

namespace {
class OldDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool) override { return nullptr; }
  const char* ClassName() override { return "OldClass"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x01D01D, 1); }
  const char* Category() override { return ""; }
};
OldDesc oldDesc;
}  // namespace

VOREL_PLUGIN_EXPORT const char* LibDescription() { return nullptr; }
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &oldDesc : nullptr; }
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return 0x1F400000UL; }  // release 8000
VOREL_PLUGIN_EXPORT int LibInitialize() { return 1; }
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
