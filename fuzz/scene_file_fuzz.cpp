// Scene files, with the plug-ins loaded: a load restores the whole file or
// refuses and leaves the scene as it was.
#include "fuzz/plugin_host.h"
#include "host/sdk/max.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  LoadPlugins();
  const std::string path = WriteInput("scene.vsc", data, size);
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  auto* box = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  ip->CreateObjectNode(box, "keep");
  if (!ip->LoadFromFile(path)) {
    Require(ip->NodeCount() == 1 && ip->GetINodeByName("keep") != nullptr);
    Require(!ip->LastFileError().empty());
  }
  ip->ResetScene();
  return 0;
}
