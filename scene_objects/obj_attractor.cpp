// The object attractor space warp: force, target sampling, icon, binding
// modifier and rollout.
#include "scene_objects/obj_attractor.h"

#include <cstring>

#include "fill_geometry/fill_object.h"
#include "fluid_core/engine.h"
#include "scene_objects/attractor_desc.h"
#include "scene_objects/force_math.h"
#include "scene_objects/force_params.h"
#include "scene_objects/supports_objects_rollout.h"
#include "scene_objects/vorel_strings.h"

namespace {

constexpr int kRolloutDialog = 218;
constexpr double kVolumeSpacingBase = 20.0;
constexpr double kVolumeSpacingFactor = 0.46;
constexpr float kVolumeTolerance = 0.01f;
constexpr COLORREF kPickHighlight = 0xC0C0FF;

bool IsSystemNode(INode* node) { return node && std::strncmp(node->GetName(), "Vorel", 5) == 0; }

Material& AttractorMtl() {
  static Material m = force_fields::IconMaterial();
  return m;
}

// ---- rollout -----------------------------------------------------------

void RegisterRolloutTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate t;
  t.id = kRolloutDialog;
  t.title = "Parameters";
  t.controls = {
      {1163, Kind::CustEdit, "Strength"},        {1164, Kind::Spinner, ""},
      {1161, Kind::CustEdit, "Icon Size:"},      {1162, Kind::Spinner, ""},
      {1170, Kind::CustEdit, "Turbulence:"},     {1169, Kind::Spinner, ""},
      {2172, Kind::CustEdit, "Frequency:"},      {2171, Kind::Spinner, ""},
      {2174, Kind::CustEdit, "Scale:"},          {2173, Kind::Spinner, ""},
      {kIdcAttractorPick, Kind::CustButton, "Pick object"},
      {kIdcAttractorTarget, Kind::Static, "< No object selected >"},
      {kIdcAttractorResample, Kind::Button, "Resample object"},
      {1126, Kind::CustButton, "ordered"},
      {1165, Kind::CustEdit, "Sample density"},  {1166, Kind::Spinner, ""},
      {1127, Kind::RadioButton, "Surface", true},
      {1129, Kind::RadioButton, "Volume"},
      {kIdcAttractorInfo, Kind::Static,
       "This Vorel force effect attract particles towards a reference object. Select an object with "
       "the pick object button."},
  };
  vorel_ui::RegisterDialogTemplate(VorelModuleHandle(), t);
}

class PickAttractorNodeCallback : public PickNodeCallback {
 public:
  BOOL Filter(INode* node) override {
    if (!node) return FALSE;
    const ObjectState& os = node->EvalWorldState(GetCOREInterface()->GetTime());
    return os.obj && os.obj->CanConvertToType(triObjectClassID()) ? TRUE : FALSE;
  }
};

using PickAttractorModeCallback = ForceWarpPickMode<PickAttractorNodeCallback>;

PickAttractorModeCallback& PickMode() {
  static PickAttractorModeCallback mode;
  return mode;
}

class ObjAttractorObjectDlgProc : public ParamMap2UserDlgProc {
 public:
  ObjAttractorObject* obj = nullptr;
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
    (void)t; (void)map; (void)lParam;
    if (!obj) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: {
        obj->rollout = hWnd;
        if (ICustButton* b = GetICustButton(GetDlgItem(hWnd, kIdcAttractorPick))) {
          b->SetType(CBT_CHECK);
          b->SetHighlightColor(kPickHighlight);
          ReleaseICustButton(b);
        }
        obj->ShowPickedName();
        return TRUE;
      }
      case WM_DESTROY:
        if (obj->rollout == hWnd) obj->rollout = nullptr;
        return FALSE;
      case CC_SPINNER_CHANGE:
        if (LOWORD(wParam) == 1164 || LOWORD(wParam) == 1166) force_fields::InvalidateFluidSources();
        return FALSE;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kIdcAttractorPick:
            SourcesNeedRefresh = 1;
            PickMode().obj = obj;
            if (obj->editIp) obj->editIp->SetPickMode(&PickMode());
            return TRUE;
          case kIdcAttractorResample:
            SourcesNeedRefresh = 1;
            obj->SampleTarget();
            return TRUE;
          case 1163:
          case 1165:
            force_fields::InvalidateFluidSources();
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
  }
};

ObjAttractorObjectDlgProc& DlgProcInstance() {
  static ObjAttractorObjectDlgProc proc;
  return proc;
}

}  // namespace

// ---- force ----------------------------------------------------------------

Point3 ObjAttractorField::Force(TimeValue t, const Point3& pos, const Point3& vel, int index) {
  if (!obj || !obj->pblock2) return force;
  IParamBlock2* pb = obj->pblock2;
  const int type = pb->GetInt(kAttrAttractionType, t);
  if (type == kAttractSurface && (!sampled || sampleTime != t)) {
    obj->SampleTarget();
    sampled = true;
    sampleTime = t;
  }
  fValid = FOREVER;
  const Matrix3& tm = icon.At(node, t, fValid);
  const float strength = pb->GetFloat(kForceStrength, t);

  if (INode* target = obj->target) {
    const Matrix3 m = target->GetNodeTM(t);
    const ObjectState& os = target->EvalWorldState(t, true);
    if (os.obj) {
      // The goal is a sample in the target's own frame; without samples its
      // origin, so that the world goal is the pivot.
      Point3 goal(0.0f, 0.0f, 0.0f);
      const int n = int(obj->samples.size());
      if (n > 0) {
        int s = force_math::SampleStride(n, pb->GetInt(kAttrOrdered, t) != 0);
        goal = obj->samples[size_t(force_math::SampleIndex(s, index, n))];
      }
      force = force_math::GoalForce(goal * m, pos, vel, strength);
    }
  } else {
    force = force_math::PlanarForce(tm, pos, strength);
  }

  return obj->WithTurbulence(t, pos, tm, force);
}

// ---- object -------------------------------------------------------------

ObjAttractorObject::ObjAttractorObject(bool loading) {
  (void)loading;
  GetObjAttractorDesc()->MakeAutoParamBlocks(this);
}

ObjAttractorObject::~ObjAttractorObject() {
  if (PickMode().obj == this) PickMode().obj = nullptr;
  if (DlgProcInstance().obj == this) DlgProcInstance().obj = nullptr;
  DeleteAllRefs();
}

Class_ID ObjAttractorObject::ClassID() { return ObjAttractorClassID(); }
void ObjAttractorObject::GetClassName(std::string& s) { s = "objAttractor"; }

ClassDesc2* ObjAttractorObject::WarpDesc() { return GetObjAttractorDesc(); }
Material& ObjAttractorObject::IconMaterial() { return AttractorMtl(); }

void ObjAttractorObject::SetPickedNode(INode* node) {
  target = node;
  SampleTarget();
}

Modifier* ObjAttractorObject::CreateWSMMod(INode* node) { return new ObjAttractorMod(node, this); }

ForceField* ObjAttractorObject::GetForceField(INode* node) { return new ObjAttractorField(this, node); }

ParamMap2UserDlgProc* ObjAttractorObject::OpenRollout() {
  RegisterRolloutTemplate();
  DlgProcInstance().obj = this;
  return &DlgProcInstance();
}

void ObjAttractorObject::ClosePickMode(Interface* ip) {
  if (PickMode().obj == this) ip->ClearPickMode();
}

void ObjAttractorObject::SetTarget(INode* node) { SetPicked(node); }

void ObjAttractorObject::SampleTarget() {
  Interface* ip = GetCOREInterface();
  const TimeValue tc = ip->GetTime();
  if (!target || IsSystemNode(target)) return;
  const ObjectState& os = target->EvalWorldState(tc);
  Object* evaluated = os.obj;
  if (!evaluated || !evaluated->CanConvertToType(triObjectClassID())) return;
  Object* converted = evaluated->ConvertToType(tc, triObjectClassID());
  auto* tri = dynamic_cast<TriObject*>(converted);
  if (!tri) {
    if (converted && converted != evaluated) converted->DeleteThis();
    return;
  }
  const Mesh& m = tri->GetMesh();
  const int nv = m.getNumVerts(), nf = m.getNumFaces();
  std::vector<double> coords(static_cast<size_t>(nv) * 3);
  std::vector<double*> verts(static_cast<size_t>(nv));
  for (int i = 0; i < nv; ++i) {
    const Point3& p = m.getVert(i);
    coords[size_t(i) * 3] = p.x;
    coords[size_t(i) * 3 + 1] = p.y;
    coords[size_t(i) * 3 + 2] = p.z;
    verts[size_t(i)] = &coords[size_t(i) * 3];
  }
  std::vector<int32_t> indices(static_cast<size_t>(nf) * 3);
  std::vector<int32_t*> faces(static_cast<size_t>(nf));
  for (int f = 0; f < nf; ++f) {
    for (int k = 0; k < 3; ++k) indices[size_t(f) * 3 + size_t(k)] = int32_t(m.faces[size_t(f)].v[k]);
    faces[size_t(f)] = &indices[size_t(f) * 3];
  }
  samples.clear();
  layerCounts.clear();
  const int type = pblock2 ? pblock2->GetInt(kAttrAttractionType, tc) : kAttractSurface;
  if (type == kAttractSurface) samples.assign(m.verts.begin(), m.verts.end());
  if (converted != evaluated) converted->DeleteThis();

  const float density = pblock2 ? pblock2->GetFloat(kAttrSampleDensity, tc) : 6.0f;
  if (type == kAttractVolume && density > 0.0f && nf > 0) {
    Tab<Point3> points;
    Tab<int> layers;
    FillObjectWithParticles(1.0f, kVolumeSpacingBase / density * kVolumeSpacingFactor, kVolumeTolerance, points,
                            layers, nv, verts.data(), nf, faces.data(), target->GetName(), true);
    samples.assign(points.Addr(0), points.Addr(0) + points.Count());
    layerCounts.assign(layers.Addr(0), layers.Addr(0) + layers.Count());
  }
}

// ---- binding modifier -------------------------------------------------------

Class_ID ObjAttractorMod::ClassID() { return ObjAttractorModClassID(); }
void ObjAttractorMod::GetClassName(std::string& s) { s = "VorelObjAttractorMod"; }
