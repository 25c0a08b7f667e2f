// The space warps' shared skeleton: transform cache, material, icon and
// hoops display, creation by mouse, the "Supports Objects of Type" rollup.
#include "scene_objects/force_field_common.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "fluid_core/engine.h"
#include "scene_objects/force_math.h"
#include "scene_objects/supports_objects_rollout.h"
#include "scene_objects/vorel_strings.h"

namespace force_fields {

namespace {

constexpr int kUiColorSelected = 0;
constexpr int kUiColorUnfrozen = 18;
constexpr int kUiColorHoops = 40;
constexpr float kHoopWidthPerIconSize = 3.0f;

// The rollup page while some force field's parameters are open.
HWND& SupportsPage() {
  static HWND page = nullptr;
  return page;
}

void DrawSquare(ModDrawLineProc& lp, float half, float z) {
  Point3 pts[5] = {{-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z}, {-half, -half, z}};
  lp.proc(pts, 5);
}

}  // namespace

const Matrix3& IconTransformCache::At(INode* node, TimeValue t, Interval& forceValid) {
  if (!valid.InInterval(t)) {
    valid = FOREVER;
    tm = node ? node->GetObjectTM(t, &valid) : Matrix3();
    forceValid &= valid;
  }
  return tm;
}

void InitIconMaterial(Material& m) {
  m.Kd = Point3(0.7f, 0.0f, 0.0f);
  m.Ks = Point3(0.7f, 0.0f, 0.0f);
  m.shininess = 0.0f;
  m.shinStrength = 0.0f;
  m.opacity = 1.0f;
  m.selfIllum = 1.0f;
  m.shadeLimit = GW_WIREFRAME | GW_BACKCULL;
}

int ModDrawLineProc::proc(Point3* p, int n) {
  // Closed figures repeat their first point; the window draws the open polyline.
  gw_->polyline(n, p, nullptr, 0, nullptr);
  return 0;
}

void ModDrawLineProc::SetLineColor(float r, float g, float b) { gw_->setColor(LINE_COLOR, r, g, b); }

int DisplayIcon(Mesh& mesh, Material& mtl, TimeValue t, INode* node, ViewExp* vpt, bool hoops,
                float iconSize) {
  if (!vpt || !node) return 0;
  GraphicsWindow* gw = vpt->getGW();
  DWORD limits = gw->getRndLimits();
  gw->setTransform(node->GetObjectTM(t));
  gw->setRndLimits(GW_WIREFRAME | GW_BACKCULL | (limits & GW_Z_BUFFER));
  if (node->Selected())
    gw->setColor(LINE_COLOR, GetUIColor(kUiColorSelected));
  else if (!node->IsFrozen())
    gw->setColor(LINE_COLOR, GetUIColor(kUiColorUnfrozen));
  mesh.render(gw, &mtl, nullptr, 0);
  if (hoops) {
    ModDrawLineProc lp(gw);
    lp.SetLineColor(GetUIColor(kUiColorHoops));
    float half = kHoopWidthPerIconSize * iconSize;
    DrawSquare(lp, half, force_math::kHoopZ);
    DrawSquare(lp, half, -force_math::kHoopZ);
  }
  gw->setRndLimits(limits);
  return 0;
}

void AddHoopsBox(Box3& box, const Matrix3& tm, float iconSize) {
  float half = kHoopWidthPerIconSize * iconSize;
  Box3 hoops(Point3(-half, -half, -force_math::kHoopBoxZ), Point3(half, half, force_math::kHoopBoxZ));
  box += hoops * tm;
}

int IconCreateCallback::proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) {
  (void)flags;
  if (!vpt) return CREATE_ABORT;
  if (msg == MOUSE_FREEMOVE) {
    IPoint2 out;
    vpt->SnapPreview(m, out);
    return CREATE_CONTINUE;
  }
  if (msg == MOUSE_ABORT) return CREATE_ABORT;
  if (msg != MOUSE_POINT && msg != MOUSE_MOVE) return CREATE_CONTINUE;
  IPoint2 snapped;
  Point3 p = vpt->SnapPoint(m, snapped);
  if (point == 0) {
    sp0_ = m;
    p0_ = p;
    mat.SetTrans(p);
    return CREATE_CONTINUE;
  }
  if (pb_) pb_->SetValue(3, 0, (p - p0_).Length() * 0.5f);
  if (desc_ && pb_) desc_->InvalidateUI(pb_->GetDesc());
  if (msg == MOUSE_POINT)
    return std::abs(m.x - sp0_.x) + std::abs(m.y - sp0_.y) < 3 ? CREATE_ABORT : CREATE_STOP;
  return CREATE_CONTINUE;
}

void AddSupportsObjectsRollup(Interface* ip) {
  if (!ip || SupportsPage()) return;
  SupportsPage() = ip->AddRollupPage(VorelModuleHandle(), MAKEINTRESOURCE(kSupportsObjectsDialog),
                                     SupportsObjectsDlgProc, VorelString(kStrSupportsObjects),
                                     LPARAM(ip), APPENDROLL_CLOSED, ROLLUP_CAT_STANDARD);
}

void RemoveSupportsObjectsRollup(Interface* ip) {
  if (!ip || !SupportsPage()) return;
  ip->DeleteRollupPage(SupportsPage());
  SupportsPage() = nullptr;
}

void InvalidateFluidSources() {
  Interface* ip = GetCOREInterface();
  std::vector<INode*> sources;
  CollectSourceNodes(ip->GetRootNode(), sources);
  for (INode* n : sources) {
    Object* obj = n ? n->GetObjectRef() : nullptr;
    auto* ps = dynamic_cast<SimpleParticle*>(obj ? obj->FindBaseObject() : nullptr);
    if (!ps) continue;
    ps->valid = false;
    ps->tvalid = TIME_NegInfinity;
    ps->mvalid.SetEmpty();
  }
}

}  // namespace force_fields
