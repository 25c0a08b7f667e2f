#include "fluid_core/object_params.h"

#include <cstring>

namespace {

bool IsOurs(CustAttrib* ca) {
  if (!ca) return false;
  IParamBlock2* pb = ca->GetParamBlock(0);
  ParamBlockDesc2* desc = pb ? pb->GetDesc() : nullptr;
  ClassDesc2* cd = desc ? desc->cd : nullptr;
  const char* name = cd ? cd->ClassName() : nullptr;
  return name && std::strcmp(name, kObjectParamsClassName) == 0;
}

IParamBlock2* BlockOf(INode* node) {
  CustAttrib* ca = FindObjectParams(node);
  return ca ? ca->GetParamBlock(0) : nullptr;
}

// Writes the ten values in the order saved scenes expect them set.
void WriteAll(IParamBlock2* pb, INode* node, int collide, float gap, float bounce, float friction,
              int tracer, int mapRes, float drying, float adherence, bool partKiller) {
  pb->SetValue(kObjCollide, 0, collide);
  pb->SetValue(kObjCollisionGap, 0, gap);
  pb->SetValue(kObjBounce, 0, bounce);
  pb->SetValue(kObjFriction, 0, friction);
  pb->SetValue(kObjTracer, 0, tracer);
  pb->SetValue(kObjMapPrefix, 0, node->GetName());
  pb->SetValue(kObjMapRes, 0, mapRes);
  pb->SetValue(kObjDryingTime, 0, drying);
  pb->SetValue(kObjAdherence, 0, adherence);
  pb->SetValue(kObjPartKiller, 0, partKiller ? 1 : 0);
}

}  // namespace

Object* FindObjectParamsBase(INode* node) {
  Object* o = node ? node->GetObjectRef() : nullptr;
  while (o && (o->SuperClassID() == GEN_DERIVOB_CLASS_ID || o->ClassID() == WSMDerivObjClassID())) {
    auto* d = dynamic_cast<IDerivedObject*>(o);
    if (!d) break;
    o = d->GetObjRef();
  }
  return o;
}

CustAttrib* FindObjectParams(INode* node) {
  Object* base = FindObjectParamsBase(node);
  if (!base) return nullptr;
  base->AllocCustAttribContainer();
  ICustAttribContainer* c = base->GetCustAttribContainer();
  if (!c) return nullptr;
  for (int i = 0; i < c->GetNumCustAttribs(); ++i)
    if (IsOurs(c->GetCustAttrib(i))) return c->GetCustAttrib(i);
  return nullptr;
}

bool GetObjectParams(INode* node, int& collide, float& collisionGap, float& bounce, float& friction,
                     float& adherence, bool& partKiller) {
  IParamBlock2* pb = BlockOf(node);
  if (!pb) return false;
  TimeValue t = GetCOREInterface()->GetTime();
  Interval valid = FOREVER;
  int killer = partKiller ? 1 : 0;
  pb->GetValue(kObjCollide, t, collide, valid);
  pb->GetValue(kObjCollisionGap, t, collisionGap, valid);
  pb->GetValue(kObjBounce, t, bounce, valid);
  pb->GetValue(kObjFriction, t, friction, valid);
  pb->GetValue(kObjAdherence, t, adherence, valid);
  pb->GetValue(kObjPartKiller, t, killer, valid);
  partKiller = killer != 0;
  return true;
}

bool GetWetmapParams(INode* node, int& tracer, int& mapRes, const char*& mapPrefix, float& dryingTime) {
  IParamBlock2* pb = BlockOf(node);
  if (!pb) return false;
  TimeValue t = GetCOREInterface()->GetTime();
  Interval valid = FOREVER;
  pb->GetValue(kObjTracer, t, tracer, valid);
  pb->GetValue(kObjMapRes, t, mapRes, valid);
  pb->GetValue(kObjMapPrefix, t, mapPrefix, valid);
  pb->GetValue(kObjDryingTime, t, dryingTime, valid);
  return true;
}

bool HasObjectParams(INode* node) { return FindObjectParams(node) != nullptr; }

bool RemoveObjectParams(INode* node) {
  Object* base = FindObjectParamsBase(node);
  CustAttrib* ca = FindObjectParams(node);
  if (!ca) return false;
  ICustAttribContainer* c = base->GetCustAttribContainer();
  for (int i = 0; i < c->GetNumCustAttribs(); ++i) {
    if (c->GetCustAttrib(i) != ca) continue;
    theHold.Begin();
    c->RemoveCustAttrib(i);
    theHold.Accept(kUndoRemoveObjectParams);
    return true;
  }
  return false;
}

bool AddObjectParams(const std::function<void(INode*)>& registerWetMap, INode* node, int collide,
                     float collisionGap, float bounce, float friction, int tracer, int mapRes,
                     float dryingTime, float adherence, bool partKiller) {
  Object* base = FindObjectParamsBase(node);
  if (!base) return false;
  if (CustAttrib* ca = FindObjectParams(node)) {
    IParamBlock2* pb = ca->GetParamBlock(0);
    WriteAll(pb, node, collide, collisionGap, bounce, friction, tracer, mapRes, dryingTime, adherence,
             partKiller);
    return true;
  }
  auto* ca = dynamic_cast<CustAttrib*>(
      GetCOREInterface()->CreateInstance(CUST_ATTRIB_CLASS_ID, ObjectParamsClassID()));
  IParamBlock2* pb = ca ? ca->GetParamBlock(0) : nullptr;
  if (!pb) {
    if (ca) ca->DeleteThis();
    return false;
  }
  theHold.Begin();
  if (registerWetMap) registerWetMap(node);
  WriteAll(pb, node, collide, collisionGap, bounce, friction, tracer, mapRes, dryingTime, adherence,
           partKiller);
  base->GetCustAttribContainer()->AppendCustAttrib(ca);
  theHold.Accept(kUndoAddObjectParams);
  return true;
}

bool SetObjectCollide(INode* node, int collide) {
  IParamBlock2* pb = BlockOf(node);
  if (!pb) return false;
  pb->SetValue(kObjCollide, 0, collide);
  return true;
}
