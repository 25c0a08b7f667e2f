// The ghost source's class descriptor. Ghost sources are made from an
// emitter's rollout, never from the create panel.
#pragma once
#include "host/sdk/iparamb2.h"

inline Class_ID RainGhostClassID() { return Class_ID(0x79D8207B, 0x59FD35A9); }

class RainGhostClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  // A new ghost source (RainGhostParticle), bound to no emitter yet.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return RainGhostClassID(); }
  const char* Category() override { return "Vorel pouring system"; }
  void* HInstance() override;
};

// The one descriptor, built with its parameter block on first use.
RainGhostClassDesc* GetRainGhostDesc();
