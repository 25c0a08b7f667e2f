// The object attractor force field's class descriptors: the space-warp
// object (public) and the modifier it binds to particle systems.
#pragma once
#include "host/sdk/iparamb2.h"

inline Class_ID ObjAttractorClassID() { return Class_ID(0x439C181A, 0x1C543B39); }
inline Class_ID ObjAttractorModClassID() { return Class_ID(0x6A6F7C85, 0x7C462C2A); }

class ObjAttractorClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  // A new attractor; null until the attractor object is wired in.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return WSM_OBJECT_CLASS_ID; }
  Class_ID ClassID() override { return ObjAttractorClassID(); }
  const char* Category() override;
  const char* InternalName() override { return "ObjAttractor"; }
  void* HInstance() override;
};

class ObjAttractorModClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  // A new attractor modifier; null until the modifier is wired in.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return WSM_CLASS_ID; }
  Class_ID ClassID() override { return ObjAttractorModClassID(); }
  const char* Category() override { return "Vorel pouring system"; }
};

// The attractor's descriptor, built with its parameter block on first use.
ObjAttractorClassDesc* GetObjAttractorDesc();
ObjAttractorModClassDesc* GetObjAttractorModDesc();
