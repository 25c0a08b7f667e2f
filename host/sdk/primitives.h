// The host's own classes that plug-ins create by class id: the box, the
// sphere, the rectangle shape, the triangle-mesh object, the editable spline
// and the standard material. Their meshes are this host's own (see
// host/README.md, "Object model").
#pragma once
#include "host/sdk/object.h"

class ClassDirectory;

// Box parameters (block 0).
enum { BOXOBJ_LENGTH = 0, BOXOBJ_WIDTH, BOXOBJ_HEIGHT, BOXOBJ_WSEGS, BOXOBJ_LSEGS, BOXOBJ_HSEGS,
       BOXOBJ_GENUVS };
// Sphere parameters (block 0).
enum { SPHERE_RADIUS = 0, SPHERE_SEGS, SPHERE_SMOOTH, SPHERE_HEMI, SPHERE_SQUASH, SPHERE_RECENTER,
       SPHERE_GENUVS };
// Rectangle parameters (block 0).
enum { RECTANGLE_LENGTH = 0, RECTANGLE_WIDTH, RECTANGLE_FILLET };

// The box: width along x, length along y, height along z from the pivot at
// the centre of its base; 8 vertices and 12 faces whatever the segments.
class GenBoxObject : public SimpleObject2 {
 public:
  GenBoxObject();
  Class_ID ClassID() override { return boxObjectClassID(); }
  void GetClassName(std::string& s) override { s = "Box"; }
  const char* GetObjectName() override { return "Box"; }
  void SetParams(float width, float height, float length, int wsegs = 1, int lsegs = 1,
                 int hsegs = 1, bool genUV = true);
  void BuildMesh(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
};

// The sphere around its pivot. hemisphere h in [0, 1) cuts the part below
// z = r (1 - 2h); squash keeps every ring and packs them into the part left,
// chop keeps the rings above the cut. The cut is closed by a fan around a
// centre vertex. Rings: segments / 2 (at least 2). Recentre moves the pivot
// to the base of the cut.
class GenSphere : public SimpleObject2 {
 public:
  GenSphere();
  Class_ID ClassID() override { return sphereClassID(); }
  void GetClassName(std::string& s) override { s = "Sphere"; }
  const char* GetObjectName() override { return "Sphere"; }
  void SetParams(float rad, int segs, bool smooth = true, bool genUV = true, float hemi = 0.0f,
                 bool squash = false, bool recenter = false);
  void BuildMesh(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
};

// The rectangle shape: one closed spline of four corner knots around the
// pivot, width along x and length along y.
class RectangleShape : public SimpleShape {
 public:
  RectangleShape();
  Class_ID ClassID() override { return rectangleClassID(); }
  void GetClassName(std::string& s) override { s = "Rectangle"; }
  const char* GetObjectName() override { return "Rectangle"; }
  void MakeBezier(TimeValue t, BezierShape& shape) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
};

// Registers the classes above (and the scripted particle systems of
// particles.h) with the class directory.
void RegisterHostClasses(ClassDirectory& dir);
