// What the object attractor and the path-follow force share around their
// forces: the icon transform cached in a field, the icon's material, the
// drawing of the icon and its hoops, the hoops' bounding box, creation by
// mouse, the "Supports Objects of Type" rollup, and telling the fluid
// sources that a force changed.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/ui.h"

namespace force_fields {

// The bound node's object transform, kept with its validity.
struct IconTransformCache {
  Matrix3 tm;
  Interval valid = NEVER;
  // The transform at t, taken again (and `forceValid` narrowed by its
  // validity) when the kept one is not valid at t. Identity without a node.
  const Matrix3& At(INode* node, TimeValue t, Interval& forceValid);
};

// The icon's viewport material: diffuse and specular (0.7, 0, 0), shininess
// 0, self-illumination 1, wireframe with back-face culling.
void InitIconMaterial(Material& m);
inline Material IconMaterial() {
  Material m;
  InitIconMaterial(m);
  return m;
}

// Draws polylines and sets their colour through a graphics window.
class ModDrawLineProc : public PolyLineProc {
 public:
  explicit ModDrawLineProc(GraphicsWindow* gw) : gw_(gw) {}
  int proc(Point3* p, int n) override;
  using PolyLineProc::SetLineColor;
  void SetLineColor(float r, float g, float b) override;

 private:
  GraphicsWindow* gw_;
};

// Draws the icon mesh in the node's object frame (UI colour 0 when selected,
// 18 when not frozen) and, with hoops, the two squares of half-width
// 3 x iconSize at z = +-69.31472 in UI colour 40.
int DisplayIcon(Mesh& mesh, Material& mtl, TimeValue t, INode* node, ViewExp* vpt, bool hoops,
                float iconSize);
// Grows a world box by the hoops' reach (+-3 iconSize, +-3 iconSize,
// +-138.62944) in the icon's frame.
void AddHoopsBox(Box3& box, const Matrix3& tm, float iconSize);

// Creation by mouse: the first click places the icon, dragging sets
// "iconsize" (id 3) to half the distance between the snapped points,
// releasing ends (or aborts under 3 pixels), a right click aborts.
class IconCreateCallback : public CreateMouseCallBack {
 public:
  void SetObj(ReferenceTarget* obj, IParamBlock2* pb, ClassDesc2* desc) {
    obj_ = obj;
    pb_ = pb;
    desc_ = desc;
  }
  int proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) override;

 private:
  ReferenceTarget* obj_ = nullptr;
  IParamBlock2* pb_ = nullptr;
  ClassDesc2* desc_ = nullptr;
  IPoint2 sp0_;
  Point3 p0_;
};

// The "Supports Objects of Type" rollup: added once (closed, in the system
// category) while a force field's parameters are edited, removed when the
// host asks for the interface to go.
void AddSupportsObjectsRollup(Interface* ip);
void RemoveSupportsObjectsRollup(Interface* ip);

// Empties the validity of every fluid source object of the scene, so that the
// sources evaluate again with the changed force.
void InvalidateFluidSources();

}  // namespace force_fields
