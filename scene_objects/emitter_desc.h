// The emitter's ("source") class descriptor. Emitters are made by the fluid
// system, never from the create panel.
#pragma once
#include "host/sdk/iparamb2.h"

inline Class_ID RainClassID() { return Class_ID(0x2BC6692F, 0x4CB67E0B); }

class RainClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  // A new emitter (RainParticle) with its block and particle display.
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return RainClassID(); }
  const char* Category() override { return "Vorel pouring system"; }
  void* HInstance() override;
};

// The one descriptor, built with its parameter block on first use.
RainClassDesc* GetRainDesc();
