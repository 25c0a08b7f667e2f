// The Vorel_GPU library shell: its two class descriptors, the library entry
// and the small utilities the front-end's units share (strings, scene time,
// file tests, the registry's installation path).
#pragma once
#include <cstddef>
#include <string>

#include "host/sdk/max.h"

namespace vorel_gpufe {

// The version word: host release 12000, plug-in API 33, revision 0.
constexpr unsigned long kLibVersion = 0x2EE02100UL;

class BlobNodeClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading = false) override;
  int BeginCreate(Interface* i) override;
  int EndCreate(Interface* i) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override;
  const char* Category() override;
  const char* InternalName() override { return "BlobNode"; }
  void* HInstance() override;
};

class VorSourceObjClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override;
  const char* Category() override;
  const char* InternalName() override { return "VorSourceObj"; }
  void* HInstance() override;
};

BlobNodeClassDesc* GetBlobNodeDesc();
VorSourceObjClassDesc* GetVorSourceObjDesc();

// The library entry (attach, detach): stores the module handle every time,
// initialises the common controls once per process. Always true.
BOOL LibraryEntry(HINSTANCE instance, DWORD reason, void* reserved);
HINSTANCE ModuleHandle();
// Times the common controls were initialised (once per process).
int CommonControlsInitCount();

// The text of a string id of this library's table, valid for the life of
// the process (two texts may be held at once). Null when the module handle
// is not set yet or the id is missing.
const char* StableString(int id);
// The host's current time in ticks.
TimeValue GetSceneTime();
// True when something (file or folder) exists at path.
bool FileExists(const std::string& path);
// The largest whole number not above x.
float FloorF(float x);
// The registry value "appPath" of the plug-in's key; false and empty when
// the key or value is missing, or the value does not fit 259 characters.
bool ReadAppPath(std::string& out);

}  // namespace vorel_gpufe
