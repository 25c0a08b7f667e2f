// The force fields' shared space-warp object.
#include "scene_objects/force_warp.h"

#include "scene_objects/force_math.h"

namespace {
force_fields::IconCreateCallback& CreateCallback() {
  static force_fields::IconCreateCallback cb;
  return cb;
}
}  // namespace

void ForceWarpObject::SetPicked(INode* node) {
  ReplaceReference(1, node);
  ShowPickedName();
}

void ForceWarpObject::ShowPickedName() {
  if (!rollout) return;
  INode* picked = PickedNode();
  SetWindowText(GetDlgItem(rollout, kIdcWarpPickedName), picked ? picked->GetName() : NothingPickedText());
}

Point3 ForceWarpObject::WithTurbulence(TimeValue t, const Point3& pos, const Matrix3& iconTm, const Point3& force) {
  const float turbulence = pblock2 ? pblock2->GetFloat(kForceTurbulence, t) : 0.0f;
  if (turbulence == 0.0f) return force;
  return force + force_math::TurbulenceTerm(t, pos, iconTm.GetTrans(), turbulence, pblock2->GetFloat(kForceFrequency, t),
                                            pblock2->GetFloat(kForceScale, t));
}

IParamBlock2* ForceWarpObject::GetParamBlockByID(short id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

RefTargetHandle ForceWarpObject::GetReference(int i) {
  if (i == 0) return pblock2;
  if (i == 1) return PickedNode();
  return nullptr;
}

void ForceWarpObject::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) {
    SimpleWSMObject2::SetReference(0, rtarg);
    return;
  }
  if (i == 1) SetPickedNode(rtarg && rtarg->IsNode() ? static_cast<INode*>(rtarg) : nullptr);
}

RefResult ForceWarpObject::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                            RefMessage message) {
  if (hTarget && hTarget == PickedNode()) return REF_SUCCEED;
  return SimpleWSMObject2::NotifyRefChanged(changeInt, hTarget, partID, message);
}

IOResult ForceWarpObject::Load(ILoad* iload) {
  static const int kOldVersions[2] = {0, 1};
  iload->RegisterPostLoadCallback(new ParamBlock2PLCB(kOldVersions, 2, WarpDesc()->GetParamBlockDesc(0), this, 0));
  return IO_OK;
}

ReferenceTarget* ForceWarpObject::Clone(RemapDir& remap) {
  ForceWarpObject* copy = NewEmpty();
  copy->ReplaceReference(0, remap.CloneRef(pblock2));
  BaseClone(this, copy, remap);
  return copy;
}

int ForceWarpObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  (void)flags;
  UpdateMesh(t);
  const bool hoops = pblock2 && pblock2->GetInt(kForceHoopsOn, t) != 0;
  const float size = pblock2 ? pblock2->GetFloat(kForceIconSize, t) : 0.0f;
  return force_fields::DisplayIcon(mesh, IconMaterial(), t, inode, vpt, hoops, size);
}

void ForceWarpObject::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  SimpleWSMObject2::GetWorldBoundBox(t, inode, vpt, box);
  if (pblock2 && pblock2->GetInt(kForceHoopsOn, t) != 0) {
    Matrix3 tm = inode ? inode->GetObjectTM(t) : Matrix3();
    force_fields::AddHoopsBox(box, tm, pblock2->GetFloat(kForceIconSize, t));
  }
}

CreateMouseCallBack* ForceWarpObject::GetCreateMouseCallBack() {
  CreateCallback().SetObj(this, pblock2, WarpDesc());
  return &CreateCallback();
}

void ForceWarpObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  float size = 0.0f;
  if (pblock2) pblock2->GetValue(kForceIconSize, t, size, ivalid);
  force_math::BuildForceIcon(mesh, size);
}

void ForceWarpObject::InvalidateUI() {
  if (pblock2) pblock2->InvalidateUI();
}

void ForceWarpObject::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  editIp = ip;
  ParamMap2UserDlgProc* proc = OpenRollout();
  force_fields::AddSupportsObjectsRollup(ip);
  WarpDesc()->BeginEditParams(ip, this, flags, prev);
  WarpDesc()->GetParamBlockDesc(0)->SetUserDlgProc(proc);
}

void ForceWarpObject::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  if (ip) ClosePickMode(ip);
  WarpDesc()->EndEditParams(ip, this, flags, next);
  if (flags & END_EDIT_REMOVEUI) force_fields::RemoveSupportsObjectsRollup(ip);
  rollout = nullptr;
  editIp = nullptr;
}
