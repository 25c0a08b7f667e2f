// The path-follow force field's class descriptors: the space-warp object
// (public, internal name "Wind") and the modifier it binds.
#pragma once
#include "host/sdk/iparamb2.h"

inline Class_ID WindClassID() { return Class_ID(0x0D603F24, 0x339F43CA); }
inline Class_ID WindModClassID() { return Class_ID(0x7EAB1B51, 0x02F14E4A); }

class WindClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  // A new path-follow force; null until the force object is wired in.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return WSM_OBJECT_CLASS_ID; }
  Class_ID ClassID() override { return WindClassID(); }
  const char* Category() override;
  const char* InternalName() override { return "Wind"; }
  void* HInstance() override;
};

class WindModClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  // A new path-follow modifier; null until the modifier is wired in.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return WSM_CLASS_ID; }
  Class_ID ClassID() override { return WindModClassID(); }
  const char* Category() override { return "Vorel pouring system"; }
};

// The force's descriptor, built with its parameter block on first use.
WindClassDesc* GetWindDesc();
WindModClassDesc* GetWindModDesc();
