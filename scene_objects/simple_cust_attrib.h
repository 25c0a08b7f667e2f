// The per-object collision attribute: a custom attribute that holds the
// block "Vorel object parameters" on a collider's base object, and its class
// descriptor. Other code reaches it through the node accessors of
// scene_objects/object_params.h.
#pragma once
#include "fluid_core/object_params.h"
#include "host/sdk/max.h"

inline Class_ID SimpleCustAttribClassID() { return ObjectParamsClassID(); }
// The descriptor's class name: how the accessors tell our attribute apart.
constexpr const char* kSimpleAttribClassName = kObjectParamsClassName;

class SimpleCustAttrib : public CustAttrib {
 public:
  // Builds its parameter block from the block description's defaults.
  SimpleCustAttrib();
  ~SimpleCustAttrib() override = default;

  void DeleteThis() override { delete this; }
  SClass_ID SuperClassID() override { return CUST_ATTRIB_CLASS_ID; }
  Class_ID ClassID() override { return SimpleCustAttribClassID(); }
  void GetClassName(std::string& s) override { s = kSimpleAttribClassName; }

  // The attribute's rollout, opened and closed through its descriptor.
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;

  int NumSubs() { return 1; }
  Animatable* SubAnim(int i) { return i == 0 ? pblock : nullptr; }
  // "Vorel Custom Attribute" for sub-animatable 0, else empty.
  std::string SubAnimName(int i);

  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pblock : nullptr; }
  // The block when its id is the one asked for, else null.
  IParamBlock2* GetParamBlockByID(short id) override;

  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pblock : nullptr; }
  void SetReference(int i, RefTargetHandle rtarg) override;

  // A new attribute whose block is the remap's clone of this one's.
  ReferenceTarget* Clone(RemapDir& remap) override;
  const char* GetName() override { return "Vorel per-object params"; }
  bool CheckCopyAttribTo(ICustAttribContainer* to) override { (void)to; return true; }

  IParamBlock2* pblock = nullptr;
};

class SimpleAttribClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading = false) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return CUST_ATTRIB_CLASS_ID; }
  Class_ID ClassID() override { return SimpleCustAttribClassID(); }
  const char* Category() override { return "Vorel pouring system"; }
  const char* InternalName() override { return "SimpleCustAttrib"; }
  void* HInstance() override;
};

// The one descriptor, built with its parameter block on first use.
SimpleAttribClassDesc* GetSimpleAttribDesc();
