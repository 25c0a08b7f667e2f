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
  static Material m = force_fields::IconMaterial();
  return m;
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

using PickPathModeCallback = ForceWarpPickMode<PickPathNodeCallback>;

PickPathModeCallback& PickMode() {
  static PickPathModeCallback mode;
  return mode;
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
        obj->ShowPickedName();
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

  return obj->WithTurbulence(t, pos, tm, force);
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

ClassDesc2* WindObject::WarpDesc() { return GetWindDesc(); }
Material& WindObject::IconMaterial() { return PathMtl(); }

Modifier* WindObject::CreateWSMMod(INode* node) { return new WindMod(node, this); }

ForceField* WindObject::GetForceField(INode* node) { return new WindField(this, node); }

ParamMap2UserDlgProc* WindObject::OpenRollout() {
  RegisterRolloutTemplate();
  DlgProcInstance().obj = this;
  return &DlgProcInstance();
}

void WindObject::ClosePickMode(Interface* ip) {
  if (PickMode().obj == this) ip->ClearPickMode();
}

void WindObject::SetPath(INode* node) { SetPicked(node); }

// ---- binding modifier -------------------------------------------------------

Class_ID WindMod::ClassID() { return WindModClassID(); }
void WindMod::GetClassName(std::string& s) { s = "VorelpathFollowMod"; }
