// A plug-in whose LibInitialize fails: the loader must refuse it and take
// back the class it registered for the initialisation to see.
#include "host/sdk/interface.h"

namespace {
class FailDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool) override { return nullptr; }
  const char* ClassName() override { return "InitFailClass"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x1F1F1F, 1); }
  const char* Category() override { return ""; }
};
FailDesc failDesc;
bool sawOwnClass = false;
}  // namespace

VOREL_PLUGIN_EXPORT const char* LibDescription() { return "fails to initialise"; }
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 1; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &failDesc : nullptr; }
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return VOREL_HOST_SDK_VERSION; }
VOREL_PLUGIN_EXPORT int LibInitialize() {
  sawOwnClass = ClassDirectory::Get().FindClass(failDesc.ClassID()) == &failDesc;
  return 0;
}
VOREL_PLUGIN_EXPORT int LibShutdown() { return 1; }
// For tests: whether LibInitialize found its class registered.
VOREL_PLUGIN_EXPORT int TestInitFailSawOwnClass() { return sawOwnClass ? 1 : 0; }
