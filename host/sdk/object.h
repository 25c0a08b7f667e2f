// Scene objects: the base classes plug-in objects derive from (geometric and
// simple objects, shapes, particle systems, space warps and their modifiers,
// force fields, custom attributes), derived objects with their modifier
// stacks, and evaluation to an object state.
#pragma once
#include <string>
#include <vector>

#include "host/core/mesh.h"
#include "host/core/win32.h"
#include "host/sdk/iparamb2.h"

class Object;
class ViewExp;               // viewport, defined by the UI layer
class GraphicsWindow;        // defined by the UI layer
class CreateMouseCallBack;   // defined by the UI layer
class ForceField;
class Modifier;
class WSMObject;
class Mtl;
typedef POINT IPoint2;

// The result of evaluating a node: the object at the end of its pipeline.
class ObjectState {
 public:
  ObjectState() = default;
  explicit ObjectState(Object* o) : obj(o) {}
  Object* obj = nullptr;
  Interval Validity(TimeValue t) const;
};

// What a render view tells the object that builds a render mesh.
class View {
 public:
  virtual ~View() = default;
  Matrix3 worldToView;
  Matrix3 affineTM;
  Point3 campos;
  int screenW = 640, screenH = 480;
  int projType = 0;
  float fov = 0.785398f;
  virtual Point2 ViewToScreen(Point3 p) { return Point2(p.x, p.y); }
  virtual int CheckForRenderAbort() { return 0; }
};
class NullView : public View {};

// Drawing and hit testing of meshes belong to the viewport layer, which
// installs its implementation; headless, nothing is drawn and nothing is hit.
class ObjectDrawHooks {
 public:
  virtual ~ObjectDrawHooks() = default;
  virtual int DisplayMesh(Mesh& mesh, TimeValue t, INode* inode, ViewExp* vpt, int flags) {
    (void)mesh; (void)t; (void)inode; (void)vpt; (void)flags;
    return 0;
  }
  virtual int HitTestMesh(Mesh& mesh, TimeValue t, INode* inode, int type, int crossing, int flags,
                          IPoint2* p, ViewExp* vpt) {
    (void)mesh; (void)t; (void)inode; (void)type; (void)crossing; (void)flags; (void)p; (void)vpt;
    return 0;
  }
  // The viewport materials of a node (INode::Mtls / NumMtls): null, one, by default.
  virtual Material* NodeMaterials(INode* inode, int& count) {
    (void)inode;
    count = 1;
    return nullptr;
  }
  // Particles of a simple particle system (markers or the system's own drawing).
  virtual int DisplayParticles(class SimpleParticle* ps, TimeValue t, INode* inode, ViewExp* vpt,
                               int flags) {
    (void)ps; (void)t; (void)inode; (void)vpt; (void)flags;
    return 0;
  }
};
void SetObjectDrawHooks(ObjectDrawHooks* hooks);
ObjectDrawHooks* GetObjectDrawHooks();  // never null

// Flags passed to HitTest / Display.
constexpr int HITTYPE_POINT = 1;
constexpr int HITTYPE_BOX = 2;
constexpr int USE_DAMAGE_RECT = 1 << 0;

class BaseObject : public ReferenceTarget {
 public:
  virtual int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags);
  virtual int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                      ViewExp* vpt);
  virtual void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box);
  virtual void GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box);
  virtual CreateMouseCallBack* GetCreateMouseCallBack() { return nullptr; }
  virtual const char* GetObjectName() { return ""; }
  // The base name of new nodes of this object (the host makes it unique).
  virtual void InitNodeName(std::string& s) { s = GetObjectName(); }
};

class Object : public BaseObject {
 public:
  // Evaluates the object at t; the state's object is this one for a plain object.
  virtual ObjectState Eval(TimeValue t) { (void)t; return ObjectState(this); }
  virtual Interval ObjectValidity(TimeValue t) { (void)t; return FOREVER; }
  virtual int IsParticleSystem() { return 0; }
  virtual int IsShapeObject() { return 0; }
  virtual int IsWorldSpaceObject() { return 0; }
  // True for triObjectClassID when the object can give a triangle mesh, and
  // always for its own class id.
  virtual int CanConvertToType(Class_ID obtype) { return obtype == ClassID(); }
  // The object converted; may be this object itself or a new object that the
  // caller deletes (DeleteThis) when it differs from this one.
  virtual Object* ConvertToType(TimeValue t, Class_ID obtype) {
    (void)t;
    return obtype == ClassID() ? this : nullptr;
  }
  // Bounding box at t in object space (transformed by tm when given).
  virtual void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false);
  // The object at the bottom of a derived-object chain.
  virtual Object* FindBaseObject() { return this; }
  // Retained-mode viewports' render items; this host's viewports draw
  // through Display alone and never call it.
  virtual void UpdateDisplay() {}
  // Force fields of space-warp objects and particle interplay.
  virtual void AddForceField(ForceField* ff) { (void)ff; }
};

class GeomObject : public Object {
 public:
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  // A render mesh; needDelete tells the caller to delete it.
  virtual Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete);
  virtual int IsInstanceDependent() { return 0; }
};

// The host's triangle-mesh object.
class TriObject : public GeomObject {
 public:
  Mesh mesh;
  Interval geomValid = FOREVER;
  Class_ID ClassID() override { return triObjectClassID(); }
  void GetClassName(std::string& s) override { s = "Editable Mesh"; }
  const char* GetObjectName() override { return "Mesh"; }
  Mesh& GetMesh() { return mesh; }
  int CanConvertToType(Class_ID obtype) override;
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;
  void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
};
TriObject* CreateNewTriObject();

// An object that builds its mesh from parameters: BuildMesh(t) runs lazily
// whenever the mesh is needed at a time outside ivalid.
class SimpleObject : public GeomObject {
 public:
  Mesh mesh;
  Interval ivalid = NEVER;
  virtual void BuildMesh(TimeValue t) = 0;
  virtual bool OKtoDisplay(TimeValue t) { (void)t; return true; }
  virtual void InvalidateUI() {}
  void UpdateMesh(TimeValue t);

  ObjectState Eval(TimeValue t) override;
  Interval ObjectValidity(TimeValue t) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false) override;
  int CanConvertToType(Class_ID obtype) override;
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;
};

// A simple object whose parameters live in one ParamBlock2 at reference 0.
class SimpleObject2 : public SimpleObject {
 public:
  IParamBlock2* pblock2 = nullptr;
  IParamBlock2*& pblock = pblock2;  // the name plug-in code uses

  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pblock2 : nullptr; }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
};

// Splines.
constexpr int KTYPE_AUTO = 0;
constexpr int KTYPE_CORNER = 1;
constexpr int KTYPE_BEZIER = 2;
constexpr int KTYPE_BEZIER_CORNER = 3;
constexpr int LTYPE_CURVE = 0;
constexpr int LTYPE_LINE = 1;

class SplineKnot {
 public:
  SplineKnot() = default;
  SplineKnot(int k, int l, Point3 p, Point3 in, Point3 out)
      : ktype(k), ltype(l), point(p), inVec(in), outVec(out) {}
  int ktype = KTYPE_CORNER;
  int ltype = LTYPE_CURVE;
  Point3 point, inVec, outVec;
};

// A Bezier spline: knots with in/out handles; segment i runs from knot i to
// knot i + 1 (the last segment of a closed spline back to knot 0).
class Spline3D {
 public:
  int AddKnot(const SplineKnot& k, int where = -1);
  void DeleteKnot(int i);
  int KnotCount() const { return int(knots_.size()); }
  int Segments() const;
  void SetClosed(bool closed = true) { closed_ = closed; }
  void SetOpen() { closed_ = false; }
  bool Closed() const { return closed_; }
  // Recomputes the handles of auto and corner knots from their neighbours.
  void ComputeBezPoints();
  Point3 GetKnotPoint(int i) const { return knots_[size_t(i)].point; }
  Point3 GetInVec(int i) const { return knots_[size_t(i)].inVec; }
  Point3 GetOutVec(int i) const { return knots_[size_t(i)].outVec; }
  void SetKnotPoint(int i, const Point3& p) { knots_[size_t(i)].point = p; }
  void SetInVec(int i, const Point3& p) { knots_[size_t(i)].inVec = p; }
  void SetOutVec(int i, const Point3& p) { knots_[size_t(i)].outVec = p; }
  int GetKnotType(int i) const { return knots_[size_t(i)].ktype; }
  const SplineKnot& GetKnot(int i) const { return knots_[size_t(i)]; }
  // Point and (unnormalised) derivative of segment seg at u in [0, 1].
  Point3 InterpBezier3D(int seg, float u) const;
  Point3 TangentBezier3D(int seg, float u) const;
  void Reverse();
  Box3 GetBoundingBox() const;
  void NewSpline() { knots_.clear(); closed_ = false; }

 private:
  std::vector<SplineKnot> knots_;
  bool closed_ = false;
};

class BezierShape {
 public:
  BezierShape() = default;
  BezierShape(const BezierShape& o) { *this = o; }
  BezierShape& operator=(const BezierShape& o);
  ~BezierShape() { NewShape(); }
  void NewShape();
  Spline3D* NewSpline();
  Spline3D* GetSpline(int i) { return splines[size_t(i)]; }
  int SplineCount() const { return int(splines.size()); }
  void UpdateSels() {}
  void InvalidateGeomCache() {}
  Box3 BuildBoundingBox() const;
  std::vector<Spline3D*> splines;
};

class ShapeObject : public GeomObject {
 public:
  SClass_ID SuperClassID() override { return SHAPE_CLASS_ID; }
  int IsShapeObject() override { return 1; }
  // The shape's splines at t.
  virtual void MakeBezier(TimeValue t, BezierShape& shape) = 0;
  int CanConvertToType(Class_ID obtype) override;
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false) override;
  int NumberOfCurves(TimeValue t);
  bool CurveClosed(TimeValue t, int curve);
};

// The host's editable spline object.
class SplineShape : public ShapeObject {
 public:
  BezierShape shape;
  Class_ID ClassID() override { return splineShapeClassID(); }
  void GetClassName(std::string& s) override { s = "Editable Spline"; }
  const char* GetObjectName() override { return "Shape"; }
  void MakeBezier(TimeValue t, BezierShape& s) override { (void)t; s = shape; }
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
};

// A shape built from a parameter block (the host's rectangle).
class SimpleShape : public ShapeObject {
 public:
  IParamBlock2* pblock2 = nullptr;
  IParamBlock2*& pblock = pblock2;
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pblock2 : nullptr; }
  void SetReference(int i, RefTargetHandle rtarg) override;
  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pblock2 : nullptr; }
};

// Maps points of a deformed object.
class Deformer {
 public:
  virtual ~Deformer() = default;
  virtual Point3 Map(int i, Point3 p) = 0;
};

// Modifiers and derived objects.
class ModContext;
class Modifier : public BaseObject {
 public:
  virtual Interval LocalValidity(TimeValue t) { (void)t; return FOREVER; }
  virtual void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) {
    (void)t; (void)mc; (void)os; (void)node;
  }
  virtual Class_ID InputType() { return defObjectClassID(); }
};
class ModContext {
 public:
  Matrix3* tm = nullptr;
  Box3* box = nullptr;
};

// A derived object: a base object with a stack of modifiers. The generic
// kind holds object-space modifiers; the world-space kind holds space-warp
// bindings. Modifier 0 is the top of the stack (applied last).
class IDerivedObject : public Object {
 public:
  explicit IDerivedObject(bool worldSpace) : ws_(worldSpace) {}
  Class_ID ClassID() override { return ws_ ? WSMDerivObjClassID() : derivObjClassID(); }
  SClass_ID SuperClassID() override { return ws_ ? WSM_DERIVOB_CLASS_ID : GEN_DERIVOB_CLASS_ID; }
  void GetClassName(std::string& s) override { s = ws_ ? "WSM Derived Object" : "Derived Object"; }
  int NumModifiers() const { return int(mods_.size()); }
  Modifier* GetModifier(int i) const { return mods_[size_t(i)]; }
  void AddModifier(Modifier* mod, int index = 0);
  void DeleteModifier(int index = 0);
  Object* GetObjRef() const { return obj_; }
  void ReferenceObject(Object* obj);
  Object* FindBaseObject() override { return obj_ ? obj_->FindBaseObject() : nullptr; }
  ObjectState Eval(TimeValue t) override;
  int CanConvertToType(Class_ID obtype) override;
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  int IsWorldSpace() const { return ws_; }

  int NumRefs() override { return 1 + int(mods_.size()); }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;

 private:
  bool ws_;
  Object* obj_ = nullptr;
  std::vector<Modifier*> mods_;
};
IDerivedObject* CreateDerivedObject(Object* pob = nullptr);
IDerivedObject* CreateWSDerivedObject(Object* pob = nullptr);

// Space warps.
class ForceField {
 public:
  virtual ~ForceField() = default;
  // Force at pos (host units per tick squared) on particle index at t.
  virtual Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) = 0;
  virtual void DeleteThis() { delete this; }
};

class WSMObject : public Object {
 public:
  SClass_ID SuperClassID() override { return WSM_OBJECT_CLASS_ID; }
  int IsWorldSpaceObject() override { return 1; }
  // The modifier that binds a node to this space warp.
  virtual Modifier* CreateWSMMod(INode* node) { (void)node; return nullptr; }
  // A new force field for the warp's node; the caller owns and deletes it.
  virtual ForceField* GetForceField(INode* node) { (void)node; return nullptr; }
  virtual bool SupportsDynamics() { return false; }
};

// A space-warp object with an icon mesh and a parameter block at ref 0.
class SimpleWSMObject : public WSMObject {
 public:
  Mesh mesh;
  Interval ivalid = NEVER;
  virtual void BuildMesh(TimeValue t) = 0;
  void UpdateMesh(TimeValue t);
  ObjectState Eval(TimeValue t) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false) override;
};
class SimpleWSMObject2 : public SimpleWSMObject {
 public:
  IParamBlock2* pblock2 = nullptr;
  IParamBlock2*& pblock = pblock2;
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pblock2 : nullptr; }
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pblock2 : nullptr; }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
};

// The modifier that binds a node to a space warp: reference 0 is the warp's
// own parameter block (unused by default), reference 1 the warp's node.
class SimpleWSMMod : public Modifier {
 public:
  INode* nodeRef = nullptr;
  Interval ivalid = NEVER;
  SClass_ID SuperClassID() override { return WSM_CLASS_ID; }
  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  ReferenceTarget* obRef = nullptr;  // reference 0
  // The warp object of the bound node evaluated at t, or null.
  WSMObject* GetWSMObject(TimeValue t);
  virtual Interval GetValidity(TimeValue t) { (void)t; return FOREVER; }
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  // Copies the node reference into a clone.
  void SimpleWSMModClone(SimpleWSMMod* smodSource, RemapDir& remap);
};

// Particle objects.
constexpr uint32_t I_PARTICLEOBJ = 0x1055;
constexpr int PARTCENTER_HEAD = 1;
constexpr int PARTCENTER_CENTER = 2;

class ParticleObject : public GeomObject {
 public:
  int IsParticleSystem() override { return 1; }
  void* GetInterface(uint32_t id) override { return id == I_PARTICLEOBJ ? this : nullptr; }
  using GeomObject::GetInterface;
  virtual void UpdateParticles(TimeValue t, INode* node) { (void)t; (void)node; }
  virtual int NumParticles() { return 0; }
  virtual Point3 ParticlePosition(TimeValue t, int i) { (void)t; (void)i; return Point3(); }
  virtual Point3 ParticleVelocity(TimeValue t, int i) { (void)t; (void)i; return Point3(); }
  virtual float ParticleSize(TimeValue t, int i) { (void)t; (void)i; return 0.0f; }
  virtual TimeValue ParticleAge(TimeValue t, int i) { (void)t; (void)i; return -1; }
  virtual TimeValue ParticleLife(TimeValue t, int i) { (void)t; (void)i; return 0; }
  // Where a particle's drawn size is anchored: PARTCENTER_HEAD (its
  // position is the head of its shape) or PARTCENTER_CENTER.
  virtual int ParticleCenter(TimeValue t, int i) { (void)t; (void)i; return PARTCENTER_HEAD; }
  void AddForceField(ForceField* ff) override { fields.push_back(ff); }
  std::vector<ForceField*> fields;
};

// The particle table of a simple particle system.
class ParticleSys {
 public:
  std::vector<Point3> points, vels;
  std::vector<TimeValue> ages;
  float size = 0.0f;
  int Count() const { return int(points.size()); }
  void SetCount(int n);
  bool Alive(int i) const { return ages[size_t(i)] >= 0; }
};

// Draws one particle of a system in its own way; true stops the drawing.
class CustomParticleDisplay {
 public:
  virtual ~CustomParticleDisplay() = default;
  virtual bool DrawParticle(GraphicsWindow* gw, ParticleSys& parts, int i) = 0;
};

// A particle system that keeps its particles in a ParticleSys and updates
// them lazily per time (UpdateParticles).
class SimpleParticle : public ParticleObject {
 public:
  ParticleSys parts;
  CustomParticleDisplay* cdraw = nullptr;  // custom drawing, or markers
  TimeValue tvalid = TIME_NegInfinity;
  bool valid = false;
  Interval mvalid = NEVER;
  Mesh mesh;
  IParamBlock2* pblock2 = nullptr;
  IParamBlock2*& pblock = pblock2;
  virtual void UpdateParticles(TimeValue t, INode* node) override = 0;
  virtual void BuildEmitter(TimeValue t, Mesh& amesh) = 0;
  virtual Interval GetValidity(TimeValue t) { (void)t; return Interval(t, t); }
  virtual int GetMarkerType() { return 0; }
  virtual bool EmitterVisible() { return true; }
  virtual void FreeCaches() {}
  int NumParticles() override { return parts.Count(); }
  Point3 ParticlePosition(TimeValue t, int i) override;
  Point3 ParticleVelocity(TimeValue t, int i) override;
  float ParticleSize(TimeValue t, int i) override;
  TimeValue ParticleAge(TimeValue t, int i) override;
  ObjectState Eval(TimeValue t) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pblock2 : nullptr; }
  void SetReference(int i, RefTargetHandle rtarg) override;
  int NumParamBlocks() override { return 1; }
  IParamBlock2* GetParamBlock(int i) override { return i == 0 ? pblock2 : nullptr; }
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
};

// Custom attributes: parameter sets attached to any object.
class CustAttrib : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return CUST_ATTRIB_CLASS_ID; }
  virtual const char* GetName() { return ""; }
  virtual bool CheckCopyAttribTo(ICustAttribContainer* to) { (void)to; return true; }
};

// Appending and removing record undo steps while theHold is holding.
class ICustAttribContainer : public ReferenceTarget {
 public:
  explicit ICustAttribContainer(Animatable* owner) : owner_(owner) {}
  Class_ID ClassID() override { return Class_ID(0x5DDB604F, 0x1B706E1F); }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int GetNumCustAttribs() const { return int(attribs_.size()); }
  CustAttrib* GetCustAttrib(int i) const;
  void AppendCustAttrib(CustAttrib* attribute);
  void InsertCustAttrib(int i, CustAttrib* attribute);
  void SetCustAttrib(int i, CustAttrib* attribute);
  void RemoveCustAttrib(int i);
  Animatable* GetOwner() const { return owner_; }
  int NumRefs() override { return int(attribs_.size()); }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  void MaybeAutoDelete() override {}  // owned by its animatable

 private:
  Animatable* owner_;
  std::vector<CustAttrib*> attribs_;
};

// Materials: a named target with sub-materials (nodes reference one).
class Mtl : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
  Class_ID ClassID() override { return standardMtlClassID(); }
  void GetClassName(std::string& s) override { s = "Standard"; }
  std::string name;
  Point3 diffuse = Point3(0.5f, 0.5f, 0.5f);
  const std::string& GetName() const { return name; }
  void SetName(const std::string& n) { name = n; }
  virtual int NumSubMtls() { return 0; }
  virtual Mtl* GetSubMtl(int i) { (void)i; return nullptr; }
  ReferenceTarget* Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
};
