#include "host/sdk/primitives.h"

#include <algorithm>
#include <cmath>

#include "host/sdk/interface.h"
#include "host/sdk/particles.h"

namespace {

// A descriptor for one of the host's own classes.
template <class T>
class HostClassDesc : public ClassDesc2 {
 public:
  HostClassDesc(const char* name, const char* internal, SClass_ID super, Class_ID cid,
                const char* category, int isPublic = 1)
      : name_(name), internal_(internal), super_(super), cid_(cid), category_(category),
        public_(isPublic) {}
  int IsPublic() override { return public_; }
  Animatable* Create(bool loading) override {
    (void)loading;
    return new T();
  }
  const char* ClassName() override { return name_; }
  SClass_ID SuperClassID() override { return super_; }
  Class_ID ClassID() override { return cid_; }
  const char* Category() override { return category_; }
  const char* InternalName() override { return internal_; }

 private:
  const char* name_;
  const char* internal_;
  SClass_ID super_;
  Class_ID cid_;
  const char* category_;
  int public_;
};

HostClassDesc<GenBoxObject>& BoxDesc() {
  static auto* d = new HostClassDesc<GenBoxObject>("Box", "Box", GEOMOBJECT_CLASS_ID,
                                                    boxObjectClassID(), "Standard Primitives");
  return *d;
}
HostClassDesc<GenSphere>& SphereDesc() {
  static auto* d = new HostClassDesc<GenSphere>("Sphere", "Sphere", GEOMOBJECT_CLASS_ID,
                                                 sphereClassID(), "Standard Primitives");
  return *d;
}
HostClassDesc<RectangleShape>& RectDesc() {
  static auto* d = new HostClassDesc<RectangleShape>("Rectangle", "Rectangle", SHAPE_CLASS_ID,
                                                      rectangleClassID(), "Splines");
  return *d;
}

ParamBlockDesc2& BoxBlock() {
  static auto* d = new ParamBlockDesc2(
      0, "BoxParameters", 0, &BoxDesc(), P_AUTO_CONSTRUCT, 0, {},
      {ParamDef(BOXOBJ_LENGTH, "length", TYPE_WORLD, P_ANIMATABLE).Default(0.0f).LocalName("Length"),
       ParamDef(BOXOBJ_WIDTH, "width", TYPE_WORLD, P_ANIMATABLE).Default(0.0f).LocalName("Width"),
       ParamDef(BOXOBJ_HEIGHT, "height", TYPE_WORLD, P_ANIMATABLE).Default(0.0f).LocalName("Height"),
       ParamDef(BOXOBJ_WSEGS, "widthsegs", TYPE_INT, P_ANIMATABLE).Default(1).Range(1, 200),
       ParamDef(BOXOBJ_LSEGS, "lengthsegs", TYPE_INT, P_ANIMATABLE).Default(1).Range(1, 200),
       ParamDef(BOXOBJ_HSEGS, "heightsegs", TYPE_INT, P_ANIMATABLE).Default(1).Range(1, 200),
       ParamDef(BOXOBJ_GENUVS, "mapcoords", TYPE_BOOL, 0).Default(1)});
  return *d;
}
ParamBlockDesc2& SphereBlock() {
  static auto* d = new ParamBlockDesc2(
      0, "SphereParameters", 0, &SphereDesc(), P_AUTO_CONSTRUCT, 0, {},
      {ParamDef(SPHERE_RADIUS, "radius", TYPE_WORLD, P_ANIMATABLE).Default(0.0f).Range(0.0f, 1e30f),
       ParamDef(SPHERE_SEGS, "segs", TYPE_INT, P_ANIMATABLE).Default(32).Range(4, 200),
       ParamDef(SPHERE_SMOOTH, "smooth", TYPE_BOOL, 0).Default(1),
       ParamDef(SPHERE_HEMI, "hemisphere", TYPE_FLOAT, P_ANIMATABLE).Default(0.0f).Range(0.0f, 1.0f),
       ParamDef(SPHERE_SQUASH, "chop", TYPE_INT, 0).Default(0),
       ParamDef(SPHERE_RECENTER, "recenter", TYPE_BOOL, 0).Default(0),
       ParamDef(SPHERE_GENUVS, "mapcoords", TYPE_BOOL, 0).Default(1)});
  return *d;
}
ParamBlockDesc2& RectBlock() {
  static auto* d = new ParamBlockDesc2(
      0, "RectangleParameters", 0, &RectDesc(), P_AUTO_CONSTRUCT, 0, {},
      {ParamDef(RECTANGLE_LENGTH, "length", TYPE_WORLD, P_ANIMATABLE).Default(0.0f),
       ParamDef(RECTANGLE_WIDTH, "width", TYPE_WORLD, P_ANIMATABLE).Default(0.0f),
       ParamDef(RECTANGLE_FILLET, "cornerRadius", TYPE_WORLD, P_ANIMATABLE).Default(0.0f)});
  return *d;
}

class TriObjectDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool) override { return CreateNewTriObject(); }
  const char* ClassName() override { return "Editable Mesh"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return triObjectClassID(); }
  const char* Category() override { return ""; }
  const char* InternalName() override { return "Editable_Mesh"; }
};
class SplineShapeDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 0; }
  Animatable* Create(bool) override { return new SplineShape(); }
  const char* ClassName() override { return "Editable Spline"; }
  SClass_ID SuperClassID() override { return SHAPE_CLASS_ID; }
  Class_ID ClassID() override { return splineShapeClassID(); }
  const char* Category() override { return ""; }
  const char* InternalName() override { return "SplineShape"; }
};
class MtlDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool) override { return new Mtl(); }
  const char* ClassName() override { return "Standard"; }
  SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
  Class_ID ClassID() override { return standardMtlClassID(); }
  const char* Category() override { return ""; }
  const char* InternalName() override { return "Standardmaterial"; }
};

void AddTri(Mesh& m, int f, int a, int b, int c, DWORD sm) {
  m.faces[size_t(f)].setVerts(a, b, c);
  m.faces[size_t(f)].setEdgeVisFlags(1, 1, 0);
  m.faces[size_t(f)].setSmGroup(sm);
}

}  // namespace

// ------------------------------------------------------------------- box

GenBoxObject::GenBoxObject() { BoxDesc().MakeAutoParamBlocks(this); }

void GenBoxObject::SetParams(float width, float height, float length, int wsegs, int lsegs,
                             int hsegs, bool genUV) {
  pblock2->SetValue(BOXOBJ_WIDTH, 0, width);
  pblock2->SetValue(BOXOBJ_HEIGHT, 0, height);
  pblock2->SetValue(BOXOBJ_LENGTH, 0, length);
  pblock2->SetValue(BOXOBJ_WSEGS, 0, wsegs);
  pblock2->SetValue(BOXOBJ_LSEGS, 0, lsegs);
  pblock2->SetValue(BOXOBJ_HSEGS, 0, hsegs);
  pblock2->SetValue(BOXOBJ_GENUVS, 0, int(genUV));
}

void GenBoxObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  float l = 0, w = 0, h = 0;
  pblock2->GetValue(BOXOBJ_LENGTH, t, l, ivalid);
  pblock2->GetValue(BOXOBJ_WIDTH, t, w, ivalid);
  pblock2->GetValue(BOXOBJ_HEIGHT, t, h, ivalid);
  float x = w * 0.5f, y = l * 0.5f;
  mesh.setNumVerts(8);
  // Bottom ring (z = 0) then top ring (z = h), counter-clockwise from -x -y.
  const float xs[4] = {-x, x, x, -x}, ys[4] = {-y, -y, y, y};
  for (int i = 0; i < 4; ++i) {
    mesh.setVert(i, xs[i], ys[i], 0.0f);
    mesh.setVert(4 + i, xs[i], ys[i], h);
  }
  mesh.setNumFaces(12);
  AddTri(mesh, 0, 0, 2, 1, 2);  // bottom
  AddTri(mesh, 1, 2, 0, 3, 2);
  AddTri(mesh, 2, 4, 5, 6, 4);  // top
  AddTri(mesh, 3, 6, 7, 4, 4);
  for (int s = 0; s < 4; ++s) {  // sides
    int a = s, b = (s + 1) % 4;
    AddTri(mesh, 4 + 2 * s, a, b, 4 + b, DWORD(8) << s);
    AddTri(mesh, 5 + 2 * s, 4 + b, 4 + a, a, DWORD(8) << s);
  }
  int genUV = 1;
  pblock2->GetValue(BOXOBJ_GENUVS, t, genUV, ivalid);
  if (genUV) {
    // Each side carries the whole map, as the host's own box does: the four
    // corners of the unit square, shared by the side's two triangles.
    mesh.setNumTVerts(4);
    mesh.setTVert(0, 0.0f, 0.0f, 0.0f);
    mesh.setTVert(1, 1.0f, 0.0f, 0.0f);
    mesh.setTVert(2, 1.0f, 1.0f, 0.0f);
    mesh.setTVert(3, 0.0f, 1.0f, 0.0f);
    mesh.setNumTVFaces(12);
    for (int f = 0; f < 12; ++f) {
      const DWORD* v = mesh.faces[size_t(f)].v;
      int corner[3];
      for (int k = 0; k < 3; ++k) {
        const int ring = int(v[k]) / 4, i = int(v[k]) % 4;
        if (f < 4) {
          corner[k] = i;  // bottom and top: the ring's own corner
        } else {
          // Sides: along the side (first or second corner of it), then up.
          const int s = (f - 4) / 2;
          const bool along = i == (s + 1) % 4;
          corner[k] = ring == 0 ? (along ? 1 : 0) : (along ? 2 : 3);
        }
      }
      mesh.tvFace[size_t(f)].setTVerts(corner[0], corner[1], corner[2]);
    }
  } else {
    mesh.setNumTVerts(0);
    mesh.setNumTVFaces(0);
  }
  mesh.InvalidateGeomCache();
  mesh.InvalidateTopologyCache();
}

ReferenceTarget* GenBoxObject::Clone(RemapDir& remap) {
  auto* c = new GenBoxObject();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  BaseClone(this, c, remap);
  return c;
}

// ---------------------------------------------------------------- sphere

GenSphere::GenSphere() { SphereDesc().MakeAutoParamBlocks(this); }

void GenSphere::SetParams(float rad, int segs, bool smooth, bool genUV, float hemi, bool squash,
                          bool recenter) {
  pblock2->SetValue(SPHERE_RADIUS, 0, rad);
  pblock2->SetValue(SPHERE_SEGS, 0, segs);
  pblock2->SetValue(SPHERE_SMOOTH, 0, int(smooth));
  pblock2->SetValue(SPHERE_GENUVS, 0, int(genUV));
  pblock2->SetValue(SPHERE_HEMI, 0, hemi);
  pblock2->SetValue(SPHERE_SQUASH, 0, int(squash));
  pblock2->SetValue(SPHERE_RECENTER, 0, int(recenter));
}

void GenSphere::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  float r = 0, hemi = 0;
  int segs = 32, smooth = 1, squash = 0, recenter = 0, uv = 1;
  pblock2->GetValue(SPHERE_RADIUS, t, r, ivalid);
  pblock2->GetValue(SPHERE_SEGS, t, segs, ivalid);
  pblock2->GetValue(SPHERE_SMOOTH, t, smooth, ivalid);
  pblock2->GetValue(SPHERE_HEMI, t, hemi, ivalid);
  pblock2->GetValue(SPHERE_SQUASH, t, squash, ivalid);
  pblock2->GetValue(SPHERE_RECENTER, t, recenter, ivalid);
  pblock2->GetValue(SPHERE_GENUVS, t, uv, ivalid);
  segs = std::max(4, segs);
  hemi = std::clamp(hemi, 0.0f, 0.99f);
  const float pi = 3.14159265358979f;
  int rings = std::max(2, segs / 2);
  float cut = std::acos(1.0f - 2.0f * hemi);  // polar angle of the cut (pi: none)
  bool cap = hemi > 0.0f;
  // Polar angles of the rings below the top pole.
  std::vector<float> theta;
  if (!cap) {
    for (int i = 1; i < rings; ++i) theta.push_back(pi * float(i) / float(rings));
  } else if (squash) {
    for (int i = 1; i <= rings; ++i) theta.push_back(cut * float(i) / float(rings));
  } else {
    for (int i = 1; i < rings && pi * float(i) / float(rings) < cut; ++i)
      theta.push_back(pi * float(i) / float(rings));
    theta.push_back(cut);
  }
  int nr = int(theta.size());
  int nv = 1 + nr * segs + 1;  // top pole, rings, bottom pole or cap centre
  float zshift = recenter && cap ? -r * std::cos(cut) : 0.0f;
  mesh.setNumVerts(nv);
  mesh.setVert(0, 0.0f, 0.0f, r + zshift);
  for (int i = 0; i < nr; ++i)
    for (int j = 0; j < segs; ++j) {
      float phi = 2.0f * pi * float(j) / float(segs);
      float s = std::sin(theta[size_t(i)]);
      mesh.setVert(1 + i * segs + j, r * s * std::cos(phi), r * s * std::sin(phi),
                   r * std::cos(theta[size_t(i)]) + zshift);
    }
  int last = nv - 1;
  mesh.setVert(last, 0.0f, 0.0f, (cap ? r * std::cos(cut) : -r) + zshift);
  int nf = segs + 2 * segs * (nr - 1) + segs;
  mesh.setNumFaces(nf);
  DWORD sm = smooth ? 1 : 0;
  int f = 0;
  for (int j = 0; j < segs; ++j) AddTri(mesh, f++, 0, 1 + j, 1 + (j + 1) % segs, sm);
  for (int i = 0; i + 1 < nr; ++i)
    for (int j = 0; j < segs; ++j) {
      int a = 1 + i * segs + j, b = 1 + i * segs + (j + 1) % segs;
      int c = a + segs, d = b + segs;
      AddTri(mesh, f++, a, c, d, sm);
      AddTri(mesh, f++, d, b, a, sm);
    }
  DWORD capSm = cap ? (smooth ? 2 : 0) : sm;
  for (int j = 0; j < segs; ++j) {
    int a = 1 + (nr - 1) * segs + j, b = 1 + (nr - 1) * segs + (j + 1) % segs;
    AddTri(mesh, f++, a, last, b, capSm);
  }
  if (uv) {
    mesh.setNumTVerts(nv);
    for (int v = 0; v < nv; ++v) {
      Point3 p = mesh.verts[size_t(v)];
      float u = std::atan2(p.y, p.x) / (2.0f * pi) + 0.5f;
      float w = r > 0 ? (p.z - zshift) / (2.0f * r) + 0.5f : 0.0f;
      mesh.setTVert(v, u, w, 0.0f);
    }
    mesh.setNumTVFaces(nf);
    for (int k = 0; k < nf; ++k) {
      const Face& fc = mesh.faces[size_t(k)];
      mesh.tvFace[size_t(k)].setTVerts(int(fc.v[0]), int(fc.v[1]), int(fc.v[2]));
    }
  } else {
    mesh.setNumTVerts(0);
    mesh.setNumTVFaces(0);
  }
  mesh.InvalidateGeomCache();
  mesh.InvalidateTopologyCache();
}

ReferenceTarget* GenSphere::Clone(RemapDir& remap) {
  auto* c = new GenSphere();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  BaseClone(this, c, remap);
  return c;
}

// -------------------------------------------------------------- rectangle

RectangleShape::RectangleShape() { RectDesc().MakeAutoParamBlocks(this); }

void RectangleShape::MakeBezier(TimeValue t, BezierShape& shape) {
  shape.NewShape();
  float l = 0, w = 0;
  Interval iv;
  pblock2->GetValue(RECTANGLE_LENGTH, t, l, iv);
  pblock2->GetValue(RECTANGLE_WIDTH, t, w, iv);
  float x = w * 0.5f, y = l * 0.5f;
  Spline3D* s = shape.NewSpline();
  const Point3 pts[4] = {Point3(-x, -y, 0.0f), Point3(x, -y, 0.0f), Point3(x, y, 0.0f),
                         Point3(-x, y, 0.0f)};
  for (const Point3& p : pts) s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
  s->SetClosed(true);
  s->ComputeBezPoints();
}

ReferenceTarget* RectangleShape::Clone(RemapDir& remap) {
  auto* c = new RectangleShape();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  BaseClone(this, c, remap);
  return c;
}

void RegisterHostClasses(ClassDirectory& dir) {
  BoxBlock();
  SphereBlock();
  RectBlock();
  dir.AddClass(&BoxDesc());
  dir.AddClass(&SphereDesc());
  dir.AddClass(&RectDesc());
  // The scripted particle systems, so that scenes holding them save.
  dir.AddClass(new HostClassDesc<ScriptedParticleObject>("ScriptedParticles", "ScriptedParticles",
                                                         GEOMOBJECT_CLASS_ID,
                                                         ScriptedParticleObject::ClassID_(), "", 0));
  dir.AddClass(new HostClassDesc<EventParticleSystem>("ScriptedEventSystem", "ScriptedEventSystem",
                                                      GEOMOBJECT_CLASS_ID,
                                                      EventParticleSystem::ClassID_(), "", 0));
  dir.AddClass(new HostClassDesc<ParticleEventObject>("ScriptedEvent", "ScriptedEvent",
                                                      HELPER_CLASS_ID, ParticleEventObject::ClassID_(),
                                                      "", 0));
  dir.AddClass(new TriObjectDesc());
  dir.AddClass(new SplineShapeDesc());
  dir.AddClass(new MtlDesc());
}
