#include "scene_objects/simple_cust_attrib.h"

#include "scene_objects/object_attrib_params.h"
#include "scene_objects/vorel_strings.h"

SimpleCustAttrib::SimpleCustAttrib() { GetSimpleAttribDesc()->MakeAutoParamBlocks(this); }

void SimpleCustAttrib::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  GetSimpleAttribDesc()->BeginEditParams(ip, this, flags, prev);
}

void SimpleCustAttrib::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  GetSimpleAttribDesc()->EndEditParams(ip, this, flags, next);
}

std::string SimpleCustAttrib::SubAnimName(int i) {
  const char* s = i == 0 ? VorelString(kStrCustAttribSubAnim) : nullptr;
  return s ? s : "";
}

IParamBlock2* SimpleCustAttrib::GetParamBlockByID(short id) {
  return pblock && pblock->ID() == id ? pblock : nullptr;
}

void SimpleCustAttrib::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) pblock = dynamic_cast<IParamBlock2*>(rtarg);
}

ReferenceTarget* SimpleCustAttrib::Clone(RemapDir& remap) {
  auto* c = new SimpleCustAttrib();
  c->ReplaceReference(0, pblock ? remap.CloneRef(pblock) : nullptr);
  BaseClone(this, c, remap);
  return c;
}

Animatable* SimpleAttribClassDesc::Create(bool loading) {
  (void)loading;
  return new SimpleCustAttrib();
}

const char* SimpleAttribClassDesc::ClassName() {
  const char* s = VorelString(kStrCustAttribClassName);
  return s ? s : kSimpleAttribClassName;
}

void* SimpleAttribClassDesc::HInstance() { return VorelModuleHandle(); }

SimpleAttribClassDesc* GetSimpleAttribDesc() {
  static SimpleAttribClassDesc desc;
  static ParamBlockDesc2 block(0, "Vorel object parameters", 0, &desc, P_AUTO_CONSTRUCT | P_AUTO_UI, 0,
                               ObjectAttribRollouts(), ObjectAttribParamDefs());
  return &desc;
}
