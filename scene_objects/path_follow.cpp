// The path-follow space warp: force along the picked spline, icon, binding
// modifier and rollout.
#include "scene_objects/path_follow.h"

#include "fluid_core/engine.h"
#include "scene_objects/force_math.h"
#include "scene_objects/force_params.h"
#include "scene_objects/path_follow_desc.h"
#include "scene_objects/supports_objects_rollout.h"
#include "scene_objects/vorel_strings.h"

namespace {

constexpr int kRolloutDialog = 138;
constexpr COLORREF kPickHighlight = 0xC0C0FF;
constexpr int kPromptMs = 4000;
const char* const kNoPath = "< No path selected >";

Material& PathMtl() {
  static Material m = [] {
    Material mm;
    force_fields::InitIconMaterial(mm);
    return mm;
  }();
  return m;
}

force_fields::IconCreateCallback& CreateCallback() {
  static force_fields::IconCreateCallback cb;
  return cb;
}

void RegisterRolloutTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate t;
  t.id = kRolloutDialog;
  t.title = "Parameters";
  t.controls = {
      {1163, Kind::CustEdit, "Spline attraction"}, {1164, Kind::Spinner, ""},
      {1165, Kind::CustEdit, "Tang. strength"},    {1166, Kind::Spinner, ""},
      {1161, Kind::CustEdit, "Icon Size:"},        {1162, Kind::Spinner, ""},
      {1170, Kind::CustEdit, "Turbulence:"},       {1169, Kind::Spinner, ""},
      {2172, Kind::CustEdit, "Frequency:"},        {2171, Kind::Spinner, ""},
      {2174, Kind::CustEdit, "Scale:"},            {2173, Kind::Spinner, ""},
      {1735, Kind::CustButton, "Reverse Direction"},
      {kIdcPathPick, Kind::CustButton, "Pick spline"},
      {kIdcPathName, Kind::Static, kNoPath},
      {kIdcPathInfo, Kind::Static,
       "This Vorel force effect makes particles follow a spline path. Select a path with the pick "
       "spline button."},
  };
  vorel_ui::RegisterDialogTemplate(VorelModuleHandle(), t);
}

class PickPathNodeCallback : public PickNodeCallback {
 public:
  BOOL Filter(INode* node) override {
    if (!node) return FALSE;
    const ObjectState& os = node->EvalWorldState(GetCOREInterface()->GetTime());
    return os.obj && os.obj->SuperClassID() == SHAPE_CLASS_ID ? TRUE : FALSE;
  }
};

class PickPathModeCallback : public PickModeCallback {
 public:
  WindObject* obj = nullptr;
  BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) override {
    (void)vpt; (void)flags;
    return ip->PickNode(hWnd, m, &filter_) ? TRUE : FALSE;
  }
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override {
    (void)ip;
    INode* node = vpt ? vpt->GetClosestHitNode() : nullptr;
    if (node && obj) obj->SetPath(node);
    return TRUE;
  }
  void EnterMode(IObjParam*) override { SetPickCheck(TRUE); }
  void ExitMode(IObjParam*) override { SetPickCheck(FALSE); }
  PickNodeCallback* GetFilter() override { return &filter_; }

 private:
  void SetPickCheck(BOOL on) {
    if (!obj || !obj->rollout) return;
    if (ICustButton* b = GetICustButton(GetDlgItem(obj->rollout, kIdcPathPick))) {
      b->SetCheck(on);
      ReleaseICustButton(b);
    }
  }
  PickPathNodeCallback filter_;
};

PickPathModeCallback& PickMode() {
  static PickPathModeCallback mode;
  return mode;
}

void ShowPathName(WindObject* obj) {
  if (!obj->rollout) return;
  SetWindowText(GetDlgItem(obj->rollout, kIdcPathName), obj->path ? obj->path->GetName() : kNoPath);
}

class WindObjectDlgProc : public ParamMap2UserDlgProc {
 public:
  WindObject* obj = nullptr;
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    (void)t; (void)map; (void)lParam;
    if (!obj) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: {
        obj->rollout = hWnd;
        if (ICustButton* b = GetICustButton(GetDlgItem(hWnd, kIdcPathPick))) {
          b->SetType(CBT_CHECK);
          b->SetHighlightColor(kPickHighlight);
          b->SetTooltip(TRUE, "Pick a spline from viewport to assign to this Vorel path follow.");
          ReleaseICustButton(b);
        }
        ShowPathName(obj);
        return TRUE;
      }
      case WM_DESTROY:
        if (obj->rollout == hWnd) obj->rollout = nullptr;
        return FALSE;
      case CC_SPINNER_CHANGE:
        return StrengthEdited(LOWORD(wParam) == 1164 ? 1163 : LOWORD(wParam) == 1166 ? 1165 : 0);
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kIdcPathPick:
            SourcesNeedRefresh = 1;
            PickMode().obj = obj;
            if (obj->editIp) obj->editIp->SetPickMode(&PickMode());
            return TRUE;
          case 1163:
          case 1165:
            return StrengthEdited(LOWORD(wParam));
          case 1735:
            force_fields::InvalidateFluidSources();
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
  }

 private:
  static INT_PTR StrengthEdited(int edit) {
    if (edit == 1163)
      ShowTempPrompt("This is the intensity of the force perpendicular to the spline at each point of 3D space.",
                     kPromptMs);
    else if (edit == 1165)
      ShowTempPrompt("This is the intensity of the force tangent to the spline at each point of 3D space.",
                     kPromptMs);
    else
      return FALSE;
    force_fields::InvalidateFluidSources();
    return FALSE;
  }
};

WindObjectDlgProc& DlgProcInstance() {
  static WindObjectDlgProc proc;
  return proc;
}

}  // namespace

// ---- force ----------------------------------------------------------------

Point3 WindField::Force(TimeValue t, const Point3& pos, const Point3& vel, int index) {
  (void)index;
  if (!obj || !obj->pblock2) return force;
  IParamBlock2* pb = obj->pblock2;
  const float turbulence = pb->GetFloat(kForceTurbulence, t);
  const bool reverse = pb->GetInt(kForceReverse, t) != 0;
  fValid = FOREVER;
  const Matrix3& tm = icon.At(node, t, fValid);
  const float strength = pb->GetFloat(kForceStrength, t);
  const float strength2 = pb->GetFloat(kPathStrength2, t);

  if (INode* path = obj->path) {
    const ObjectState& os = path->EvalWorldState(t, true);
    if (os.obj) {
      Object* converted = nullptr;
      BezierShape own;
      BezierShape* shape = nullptr;
      if (os.obj->CanConvertToType(splineShapeClassID())) {
        converted = os.obj->ConvertToType(t, splineShapeClassID());
        if (auto* ss = dynamic_cast<SplineShape*>(converted)) shape = &ss->shape;
      } else if (auto* so = dynamic_cast<ShapeObject*>(os.obj)) {
        so->MakeBezier(t, own);
        shape = &own;
      }
      if (shape && shape->SplineCount() > 0) {
        const Matrix3 m = path->GetNodeTM(t);
        Point3 f;
        if (force_math::PathFollowForce(*shape->GetSpline(0), m, pos, vel, strength, strength2, reverse, f) ==
            force_math::PathForce::kZero) {
          force = Point3(0.0f, 0.0f, 0.0f);
          if (converted && converted != os.obj) converted->DeleteThis();
          return force;  // no turbulence either: the particle has left the path
        }
        force = f;
      }
      if (converted && converted != os.obj) converted->DeleteThis();
    }
  } else {
    force = force_math::PlanarForce(tm, pos, strength);
  }

  if (turbulence == 0.0f) return force;
  return force + force_math::TurbulenceTerm(t, pos, tm.GetTrans(), turbulence, pb->GetFloat(kForceFrequency, t),
                                            pb->GetFloat(kForceScale, t));
}

// ---- object -------------------------------------------------------------

WindObject::WindObject(bool loading) {
  (void)loading;
  GetWindDesc()->MakeAutoParamBlocks(this);
}

WindObject::~WindObject() {
  if (PickMode().obj == this) PickMode().obj = nullptr;
  if (DlgProcInstance().obj == this) DlgProcInstance().obj = nullptr;
  DeleteAllRefs();
}

Class_ID WindObject::ClassID() { return WindClassID(); }
void WindObject::GetClassName(std::string& s) { s = "Vorel-path"; }

IParamBlock2* WindObject::GetParamBlockByID(short id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

RefTargetHandle WindObject::GetReference(int i) { return i == 1 ? static_cast<RefTargetHandle>(path) : pblock2; }

void WindObject::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 1)
    path = rtarg && rtarg->IsNode() ? static_cast<INode*>(rtarg) : nullptr;
  else
    SimpleWSMObject2::SetReference(0, rtarg);
}

RefResult WindObject::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                       RefMessage message) {
  if (hTarget == path) return REF_SUCCEED;
  return SimpleWSMObject2::NotifyRefChanged(changeInt, hTarget, partID, message);
}

IOResult WindObject::Load(ILoad* iload) {
  static const int kOldVersions[2] = {0, 1};
  iload->RegisterPostLoadCallback(new ParamBlock2PLCB(kOldVersions, 2, GetWindDesc()->GetParamBlockDesc(0), this, 0));
  return IO_OK;
}

ReferenceTarget* WindObject::Clone(RemapDir& remap) {
  auto* copy = new WindObject(true);
  copy->ReplaceReference(0, remap.CloneRef(pblock2));
  BaseClone(this, copy, remap);
  return copy;
}

int WindObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  (void)flags;
  UpdateMesh(t);
  bool hoops = pblock2 && pblock2->GetInt(kForceHoopsOn, t) != 0;
  float size = pblock2 ? pblock2->GetFloat(kForceIconSize, t) : 0.0f;
  return force_fields::DisplayIcon(mesh, PathMtl(), t, inode, vpt, hoops, size);
}

void WindObject::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  SimpleWSMObject2::GetWorldBoundBox(t, inode, vpt, box);
  if (pblock2 && pblock2->GetInt(kForceHoopsOn, t) != 0) {
    Matrix3 tm = inode ? inode->GetObjectTM(t) : Matrix3();
    force_fields::AddHoopsBox(box, tm, pblock2->GetFloat(kForceIconSize, t));
  }
}

CreateMouseCallBack* WindObject::GetCreateMouseCallBack() {
  CreateCallback().SetObj(this, pblock2, GetWindDesc());
  return &CreateCallback();
}

Modifier* WindObject::CreateWSMMod(INode* node) { return new WindMod(node, this); }

ForceField* WindObject::GetForceField(INode* node) { return new WindField(this, node); }

void WindObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  float size = 0.0f;
  if (pblock2) pblock2->GetValue(kForceIconSize, t, size, ivalid);
  force_math::BuildForceIcon(mesh, size);
}

void WindObject::InvalidateUI() {
  if (pblock2) pblock2->InvalidateUI();
}

void WindObject::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  editIp = ip;
  RegisterRolloutTemplate();
  force_fields::AddSupportsObjectsRollup(ip);
  DlgProcInstance().obj = this;
  GetWindDesc()->BeginEditParams(ip, this, flags, prev);
  GetWindDesc()->GetParamBlockDesc(0)->SetUserDlgProc(&DlgProcInstance());
}

void WindObject::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  if (ip && PickMode().obj == this) ip->ClearPickMode();
  GetWindDesc()->EndEditParams(ip, this, flags, next);
  if (flags & END_EDIT_REMOVEUI) force_fields::RemoveSupportsObjectsRollup(ip);
  rollout = nullptr;
  editIp = nullptr;
}

void WindObject::SetPath(INode* node) {
  ReplaceReference(1, node);
  ShowPathName(this);
}

// ---- binding modifier -------------------------------------------------------

WindMod::WindMod() : field(nullptr, nullptr, true) {}

WindMod::WindMod(INode* node, WindObject* obj) : field(obj, node, true) { ReplaceReference(1, node); }

Class_ID WindMod::ClassID() { return WindModClassID(); }
void WindMod::GetClassName(std::string& s) { s = "VorelpathFollowMod"; }

void WindMod::ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) {
  (void)mc; (void)node;
  if (!os || !os->obj) return;
  auto* particles = static_cast<ParticleObject*>(os->obj->GetInterface(I_PARTICLEOBJ));
  if (!particles) return;
  field.obj = dynamic_cast<WindObject*>(GetWSMObject(t));
  field.node = nodeRef;
  field.icon.valid.SetEmpty();
  field.fValid.SetEmpty();
  if (field.obj) particles->AddForceField(&field);
}

Interval WindMod::GetValidity(TimeValue t) {
  if (!nodeRef) return FOREVER;
  Interval valid = FOREVER;
  if (auto* obj = dynamic_cast<WindObject*>(GetWSMObject(t))) {
    float strength = 0.0f;
    if (obj->pblock2) obj->pblock2->GetValue(kForceStrength, t, strength, valid);
  }
  nodeRef->GetObjectTM(t, &valid);
  return valid;
}

ReferenceTarget* WindMod::Clone(RemapDir& remap) {
  auto* copy = new WindMod();
  copy->SimpleWSMModClone(this, remap);
  return copy;
}

Deformer& WindMod::GetDeformer(TimeValue t, ModContext& mc, ObjectState* os, INode* node) {
  (void)t; (void)mc; (void)os; (void)node;
  return deformer_;
}
