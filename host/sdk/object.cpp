#include "host/sdk/object.h"

#include <algorithm>
#include <cstring>

#include "host/sdk/hold.h"
#include "host/sdk/inode.h"
#include "host/sdk/interface.h"
#include "host/sdk/ioapi.h"

namespace {
ObjectDrawHooks g_no_draw;
ObjectDrawHooks* g_draw = &g_no_draw;
}  // namespace
void SetObjectDrawHooks(ObjectDrawHooks* hooks) { g_draw = hooks ? hooks : &g_no_draw; }
ObjectDrawHooks* GetObjectDrawHooks() { return g_draw; }

Interval ObjectState::Validity(TimeValue t) const {
  return obj ? obj->ObjectValidity(t) : FOREVER;
}

// ------------------------------------------------------------ BaseObject

int BaseObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  (void)t; (void)inode; (void)vpt; (void)flags;
  return 0;
}
int BaseObject::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                        ViewExp* vpt) {
  (void)t; (void)inode; (void)type; (void)crossing; (void)flags; (void)p; (void)vpt;
  return 0;
}
void BaseObject::GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)inode; (void)vpt;
  box.Init();
  if (auto* o = dynamic_cast<Object*>(this)) o->GetDeformBBox(t, box, nullptr, false);
}
void BaseObject::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  Box3 local;
  GetLocalBoundBox(t, inode, vpt, local);
  box = inode ? local * inode->GetObjectTM(t) : local;
}

void Object::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)t; (void)tm; (void)useSel;
  box.Init();
}

Mesh* GeomObject::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  (void)inode; (void)view;
  needDelete = false;
  if (!CanConvertToType(triObjectClassID())) return nullptr;
  Object* o = ConvertToType(t, triObjectClassID());
  auto* tri = dynamic_cast<TriObject*>(o);
  if (!tri) return nullptr;
  Mesh* m = new Mesh(tri->mesh);
  if (o != this) o->DeleteThis();
  needDelete = true;
  return m;
}

// ------------------------------------------------------------- TriObject

TriObject* CreateNewTriObject() { return new TriObject(); }

int TriObject::CanConvertToType(Class_ID obtype) {
  return obtype == triObjectClassID() || obtype == defObjectClassID() ||
         obtype == mapObjectClassID();
}
Object* TriObject::ConvertToType(TimeValue t, Class_ID obtype) {
  (void)t;
  return CanConvertToType(obtype) ? this : nullptr;
}
Mesh* TriObject::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  (void)t; (void)inode; (void)view;
  needDelete = false;
  return &mesh;
}
void TriObject::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)t; (void)useSel;
  box = mesh.getBoundingBox(tm);
}
int TriObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  return GetObjectDrawHooks()->DisplayMesh(mesh, t, inode, vpt, flags);
}
int TriObject::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                       ViewExp* vpt) {
  return GetObjectDrawHooks()->HitTestMesh(mesh, t, inode, type, crossing, flags, p, vpt);
}
ReferenceTarget* TriObject::Clone(RemapDir& remap) {
  TriObject* c = CreateNewTriObject();
  c->mesh = mesh;
  BaseClone(this, c, remap);
  return c;
}

namespace {
template <class T>
IOResult WriteVec(ISave* s, uint16_t id, const std::vector<T>& v) {
  s->BeginChunk(id);
  uint32_t n = uint32_t(v.size());
  s->Write(&n, 4);
  if (n) s->Write(v.data(), uint32_t(sizeof(T) * n));
  s->EndChunk();
  return IO_OK;
}
template <class T>
IOResult ReadVec(ILoad* l, std::vector<T>& v) {
  uint32_t n = 0;
  if (l->Read(&n, 4) != IO_OK) return IO_ERROR;
  if (uint64_t(n) * sizeof(T) != uint64_t(l->CurChunkLength()) - 4) return IO_ERROR;
  v.resize(n);
  if (n && l->Read(v.data(), uint32_t(sizeof(T) * n)) != IO_OK) return IO_ERROR;
  return IO_OK;
}
}  // namespace

IOResult TriObject::Save(ISave* isave) {
  WriteVec(isave, 0x4100, mesh.verts);
  WriteVec(isave, 0x4110, mesh.faces);
  WriteVec(isave, 0x4120, mesh.tVerts);
  WriteVec(isave, 0x4130, mesh.tvFace);
  return IO_OK;
}
IOResult TriObject::Load(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    switch (iload->CurChunkID()) {
      case 0x4100: res = ReadVec(iload, mesh.verts); break;
      case 0x4110: res = ReadVec(iload, mesh.faces); break;
      case 0x4120: res = ReadVec(iload, mesh.tVerts); break;
      case 0x4130: res = ReadVec(iload, mesh.tvFace); break;
      default: break;
    }
    iload->CloseChunk();
    if (res != IO_OK) return res;
  }
  if (res == IO_ERROR) return res;
  // A face may not point outside the vertex array.
  for (const Face& f : mesh.faces)
    for (int k = 0; k < 3; ++k)
      if (f.v[k] >= DWORD(mesh.verts.size())) return IO_ERROR;
  mesh.InvalidateGeomCache();
  mesh.InvalidateTopologyCache();
  return IO_OK;
}

// ---------------------------------------------------------- SimpleObject

void SimpleObject::UpdateMesh(TimeValue t) {
  if (ivalid.InInterval(t)) return;
  BuildMesh(t);
  if (!ivalid.InInterval(t)) ivalid.SetInstant(t);
}
ObjectState SimpleObject::Eval(TimeValue t) {
  UpdateMesh(t);
  return ObjectState(this);
}
Interval SimpleObject::ObjectValidity(TimeValue t) {
  UpdateMesh(t);
  return ivalid;
}
int SimpleObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  if (!OKtoDisplay(t)) return 0;
  UpdateMesh(t);
  return GetObjectDrawHooks()->DisplayMesh(mesh, t, inode, vpt, flags);
}
int SimpleObject::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                          ViewExp* vpt) {
  UpdateMesh(t);
  return GetObjectDrawHooks()->HitTestMesh(mesh, t, inode, type, crossing, flags, p, vpt);
}
void SimpleObject::GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)inode; (void)vpt;
  UpdateMesh(t);
  box = mesh.getBoundingBox();
}
void SimpleObject::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)vpt;
  UpdateMesh(t);
  if (inode) {
    Matrix3 tm = inode->GetObjectTM(t);
    box = mesh.getBoundingBox(&tm);
  } else {
    box = mesh.getBoundingBox();
  }
}
void SimpleObject::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)useSel;
  UpdateMesh(t);
  box = mesh.getBoundingBox(tm);
}
int SimpleObject::CanConvertToType(Class_ID obtype) {
  return obtype == ClassID() || obtype == triObjectClassID() || obtype == defObjectClassID() ||
         obtype == mapObjectClassID();
}
Object* SimpleObject::ConvertToType(TimeValue t, Class_ID obtype) {
  if (obtype == ClassID() || obtype == defObjectClassID() || obtype == mapObjectClassID())
    return this;
  if (obtype != triObjectClassID()) return nullptr;
  UpdateMesh(t);
  TriObject* tri = CreateNewTriObject();
  tri->mesh = mesh;
  tri->geomValid = ivalid;
  return tri;
}
Mesh* SimpleObject::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  (void)inode; (void)view;
  UpdateMesh(t);
  needDelete = false;
  return &mesh;
}

RefTargetHandle SimpleObject2::GetReference(int i) { return i == 0 ? pblock2 : nullptr; }
void SimpleObject2::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) pblock2 = dynamic_cast<IParamBlock2*>(rtarg);
}
RefResult SimpleObject2::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget,
                                          PartID& partID, RefMessage message) {
  (void)changeInt; (void)partID;
  if (message == REFMSG_CHANGE && hTarget == pblock2) ivalid.SetEmpty();
  if (message == REFMSG_TARGET_DELETED && hTarget == pblock2) ivalid.SetEmpty();
  return REF_SUCCEED;
}
void SimpleObject2::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  if (ClassDesc2* cd = FindClassDesc2(this)) cd->BeginEditParams(ip, this, flags, prev);
}
void SimpleObject2::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  if (ClassDesc2* cd = FindClassDesc2(this)) cd->EndEditParams(ip, this, flags, next);
}

// ---------------------------------------------------------------- Splines

int Spline3D::AddKnot(const SplineKnot& k, int where) {
  if (where < 0 || where > KnotCount()) where = KnotCount();
  knots_.insert(knots_.begin() + where, k);
  return where;
}
void Spline3D::DeleteKnot(int i) {
  if (i >= 0 && i < KnotCount()) knots_.erase(knots_.begin() + i);
}
int Spline3D::Segments() const {
  int n = KnotCount();
  if (n < 2) return 0;
  return closed_ ? n : n - 1;
}
void Spline3D::ComputeBezPoints() {
  int n = KnotCount();
  for (int i = 0; i < n; ++i) {
    SplineKnot& k = knots_[size_t(i)];
    if (k.ktype == KTYPE_BEZIER || k.ktype == KTYPE_BEZIER_CORNER) continue;
    bool hasPrev = closed_ || i > 0, hasNext = closed_ || i < n - 1;
    Point3 prev = hasPrev ? knots_[size_t((i + n - 1) % n)].point : k.point;
    Point3 next = hasNext ? knots_[size_t((i + 1) % n)].point : k.point;
    if (k.ktype == KTYPE_AUTO && hasPrev && hasNext) {
      // Smooth: handles along the chord through the neighbours.
      Point3 d = (next - prev) * (1.0f / 6.0f);
      k.inVec = k.point - d;
      k.outVec = k.point + d;
    } else {
      // Corner (and the ends of an open auto spline): straight to the neighbours.
      k.inVec = k.point + (prev - k.point) * (1.0f / 3.0f);
      k.outVec = k.point + (next - k.point) * (1.0f / 3.0f);
    }
  }
}
Point3 Spline3D::InterpBezier3D(int seg, float u) const {
  int n = KnotCount();
  if (n == 0) return Point3();
  if (seg < 0 || seg >= Segments()) return knots_[size_t(std::clamp(seg, 0, n - 1))].point;
  const SplineKnot& a = knots_[size_t(seg)];
  const SplineKnot& b = knots_[size_t((seg + 1) % n)];
  float s = 1.0f - u;
  return a.point * (s * s * s) + a.outVec * (3.0f * s * s * u) + b.inVec * (3.0f * s * u * u) +
         b.point * (u * u * u);
}
Point3 Spline3D::TangentBezier3D(int seg, float u) const {
  int n = KnotCount();
  if (seg < 0 || seg >= Segments()) return Point3();
  const SplineKnot& a = knots_[size_t(seg)];
  const SplineKnot& b = knots_[size_t((seg + 1) % n)];
  float s = 1.0f - u;
  return (a.outVec - a.point) * (3.0f * s * s) + (b.inVec - a.outVec) * (6.0f * s * u) +
         (b.point - b.inVec) * (3.0f * u * u);
}
void Spline3D::Reverse() {
  std::reverse(knots_.begin(), knots_.end());
  for (SplineKnot& k : knots_) std::swap(k.inVec, k.outVec);
}
Box3 Spline3D::GetBoundingBox() const {
  Box3 b;
  for (const SplineKnot& k : knots_) {
    b += k.point;
    b += k.inVec;
    b += k.outVec;
  }
  return b;
}

BezierShape& BezierShape::operator=(const BezierShape& o) {
  if (this == &o) return *this;
  NewShape();
  for (Spline3D* s : o.splines) splines.push_back(new Spline3D(*s));
  return *this;
}
void BezierShape::NewShape() {
  for (Spline3D* s : splines) delete s;
  splines.clear();
}
Spline3D* BezierShape::NewSpline() {
  splines.push_back(new Spline3D());
  return splines.back();
}
Box3 BezierShape::BuildBoundingBox() const {
  Box3 b;
  for (Spline3D* s : splines) b += s->GetBoundingBox();
  return b;
}

int ShapeObject::CanConvertToType(Class_ID obtype) {
  return obtype == ClassID() || obtype == splineShapeClassID();
}
Object* ShapeObject::ConvertToType(TimeValue t, Class_ID obtype) {
  if (obtype == ClassID()) return this;
  if (obtype != splineShapeClassID()) return nullptr;
  auto* ss = new SplineShape();
  MakeBezier(t, ss->shape);
  return ss;
}
void ShapeObject::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)useSel;
  BezierShape s;
  MakeBezier(t, s);
  box = s.BuildBoundingBox();
  if (tm) box = box * *tm;
}
int ShapeObject::NumberOfCurves(TimeValue t) {
  BezierShape s;
  MakeBezier(t, s);
  return s.SplineCount();
}
bool ShapeObject::CurveClosed(TimeValue t, int curve) {
  BezierShape s;
  MakeBezier(t, s);
  return curve >= 0 && curve < s.SplineCount() && s.GetSpline(curve)->Closed();
}

Object* SplineShape::ConvertToType(TimeValue t, Class_ID obtype) {
  (void)t;
  return obtype == splineShapeClassID() ? this : nullptr;
}
ReferenceTarget* SplineShape::Clone(RemapDir& remap) {
  auto* c = new SplineShape();
  c->shape = shape;
  BaseClone(this, c, remap);
  return c;
}
IOResult SplineShape::Save(ISave* isave) {
  for (Spline3D* s : shape.splines) {
    isave->BeginChunk(0x4200);
    int32_t closed = s->Closed() ? 1 : 0;
    isave->Write(&closed, 4);
    for (int i = 0; i < s->KnotCount(); ++i) {
      const SplineKnot& k = s->GetKnot(i);
      int32_t kl[2] = {k.ktype, k.ltype};
      isave->Write(kl, 8);
      isave->Write(&k.point, sizeof(Point3));
      isave->Write(&k.inVec, sizeof(Point3));
      isave->Write(&k.outVec, sizeof(Point3));
    }
    isave->EndChunk();
  }
  return IO_OK;
}
IOResult SplineShape::Load(ILoad* iload) {
  shape.NewShape();
  IOResult res;
  constexpr uint32_t kKnot = 8 + 3 * sizeof(Point3);
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() == 0x4200) {
      uint32_t len = iload->CurChunkLength();
      if (len < 4 || (len - 4) % kKnot != 0) return IO_ERROR;
      Spline3D* s = shape.NewSpline();
      int32_t closed = 0;
      if (iload->Read(&closed, 4) != IO_OK) return IO_ERROR;
      s->SetClosed(closed != 0);
      for (uint32_t i = 0; i < (len - 4) / kKnot; ++i) {
        int32_t kl[2];
        SplineKnot k;
        if (iload->Read(kl, 8) != IO_OK || iload->Read(&k.point, sizeof(Point3)) != IO_OK ||
            iload->Read(&k.inVec, sizeof(Point3)) != IO_OK ||
            iload->Read(&k.outVec, sizeof(Point3)) != IO_OK)
          return IO_ERROR;
        k.ktype = kl[0];
        k.ltype = kl[1];
        s->AddKnot(k);
      }
    }
    iload->CloseChunk();
  }
  return res == IO_END ? IO_OK : res;
}

void SimpleShape::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) pblock2 = dynamic_cast<IParamBlock2*>(rtarg);
}

// -------------------------------------------------------- derived objects

void IDerivedObject::AddModifier(Modifier* mod, int index) {
  index = std::clamp(index, 0, int(mods_.size()));
  mods_.insert(mods_.begin() + index, nullptr);
  ReplaceReference(1 + index, mod);
}
void IDerivedObject::DeleteModifier(int index) {
  if (index < 0 || index >= int(mods_.size())) return;
  ReplaceReference(1 + index, nullptr);
  mods_.erase(mods_.begin() + index);
}
void IDerivedObject::ReferenceObject(Object* obj) { ReplaceReference(0, obj); }
RefTargetHandle IDerivedObject::GetReference(int i) {
  if (i == 0) return obj_;
  return i - 1 < int(mods_.size()) ? mods_[size_t(i - 1)] : nullptr;
}
void IDerivedObject::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) {
    obj_ = dynamic_cast<Object*>(rtarg);
    return;
  }
  if (i - 1 >= int(mods_.size())) mods_.resize(size_t(i), nullptr);
  mods_[size_t(i - 1)] = dynamic_cast<Modifier*>(rtarg);
}
ObjectState IDerivedObject::Eval(TimeValue t) {
  if (!obj_) return ObjectState();
  ObjectState os = obj_->Eval(t);
  ModContext mc;
  // The stack applies bottom (last index) first.
  for (int i = int(mods_.size()) - 1; i >= 0; --i)
    if (mods_[size_t(i)] && os.obj) mods_[size_t(i)]->ModifyObject(t, mc, &os, nullptr);
  return os;
}
int IDerivedObject::CanConvertToType(Class_ID obtype) {
  return obj_ ? obj_->CanConvertToType(obtype) : 0;
}
Object* IDerivedObject::ConvertToType(TimeValue t, Class_ID obtype) {
  if (!obj_) return nullptr;
  ObjectState os = Eval(t);
  return os.obj ? os.obj->ConvertToType(t, obtype) : nullptr;
}
IDerivedObject* CreateDerivedObject(Object* pob) {
  auto* d = new IDerivedObject(false);
  if (pob) d->ReferenceObject(pob);
  return d;
}
IDerivedObject* CreateWSDerivedObject(Object* pob) {
  auto* d = new IDerivedObject(true);
  if (pob) d->ReferenceObject(pob);
  return d;
}

// ------------------------------------------------------------- space warps

void SimpleWSMObject::UpdateMesh(TimeValue t) {
  if (ivalid.InInterval(t)) return;
  BuildMesh(t);
  if (!ivalid.InInterval(t)) ivalid.SetInstant(t);
}
ObjectState SimpleWSMObject::Eval(TimeValue t) {
  UpdateMesh(t);
  return ObjectState(this);
}
int SimpleWSMObject::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  UpdateMesh(t);
  return GetObjectDrawHooks()->DisplayMesh(mesh, t, inode, vpt, flags);
}
int SimpleWSMObject::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags,
                             IPoint2* p, ViewExp* vpt) {
  UpdateMesh(t);
  return GetObjectDrawHooks()->HitTestMesh(mesh, t, inode, type, crossing, flags, p, vpt);
}
void SimpleWSMObject::GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)inode; (void)vpt;
  UpdateMesh(t);
  box = mesh.getBoundingBox();
}
void SimpleWSMObject::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)vpt;
  UpdateMesh(t);
  Matrix3 tm = inode ? inode->GetObjectTM(t) : Matrix3();
  box = mesh.getBoundingBox(&tm);
}
void SimpleWSMObject::GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm, bool useSel) {
  (void)useSel;
  UpdateMesh(t);
  box = mesh.getBoundingBox(tm);
}

void SimpleWSMObject2::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) pblock2 = dynamic_cast<IParamBlock2*>(rtarg);
}
RefResult SimpleWSMObject2::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget,
                                             PartID& partID, RefMessage message) {
  (void)changeInt; (void)partID;
  if ((message == REFMSG_CHANGE || message == REFMSG_TARGET_DELETED) && hTarget == pblock2)
    ivalid.SetEmpty();
  return REF_SUCCEED;
}
void SimpleWSMObject2::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  if (ClassDesc2* cd = FindClassDesc2(this)) cd->BeginEditParams(ip, this, flags, prev);
}
void SimpleWSMObject2::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  if (ClassDesc2* cd = FindClassDesc2(this)) cd->EndEditParams(ip, this, flags, next);
}

RefTargetHandle SimpleWSMMod::GetReference(int i) {
  return i == 0 ? obRef : i == 1 ? nodeRef : nullptr;
}
void SimpleWSMMod::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) obRef = rtarg;
  if (i == 1) nodeRef = (rtarg && rtarg->IsNode()) ? static_cast<INode*>(rtarg) : nullptr;
}
WSMObject* SimpleWSMMod::GetWSMObject(TimeValue t) {
  if (!nodeRef) return nullptr;
  const ObjectState& os = nodeRef->EvalWorldState(t);
  if (!os.obj || os.obj->SuperClassID() != WSM_OBJECT_CLASS_ID) return nullptr;
  return static_cast<WSMObject*>(os.obj);
}
RefResult SimpleWSMMod::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget,
                                         PartID& partID, RefMessage message) {
  (void)changeInt; (void)partID;
  if (message == REFMSG_CHANGE && hTarget == nodeRef) ivalid.SetEmpty();
  return REF_SUCCEED;
}
void SimpleWSMMod::SimpleWSMModClone(SimpleWSMMod* smodSource, RemapDir& remap) {
  if (!smodSource) return;
  ReplaceReference(1, smodSource->nodeRef);
  BaseClone(smodSource, this, remap);
}

// --------------------------------------------------------------- particles

void ParticleSys::SetCount(int n) {
  n = std::max(0, n);
  points.resize(size_t(n));
  vels.resize(size_t(n));
  ages.resize(size_t(n), -1);
}

Point3 SimpleParticle::ParticlePosition(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < parts.Count() ? parts.points[size_t(i)] : Point3();
}
Point3 SimpleParticle::ParticleVelocity(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < parts.Count() ? parts.vels[size_t(i)] : Point3();
}
float SimpleParticle::ParticleSize(TimeValue t, int i) {
  (void)t; (void)i;
  return parts.size;
}
TimeValue SimpleParticle::ParticleAge(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < parts.Count() ? parts.ages[size_t(i)] : -1;
}
ObjectState SimpleParticle::Eval(TimeValue t) {
  if (!mvalid.InInterval(t)) {
    BuildEmitter(t, mesh);
    mvalid.SetInstant(t);
  }
  return ObjectState(this);
}
int SimpleParticle::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  UpdateParticles(t, inode);
  if (!mvalid.InInterval(t)) {
    BuildEmitter(t, mesh);
    mvalid.SetInstant(t);
  }
  int r = EmitterVisible() ? GetObjectDrawHooks()->DisplayMesh(mesh, t, inode, vpt, flags) : 0;
  return GetObjectDrawHooks()->DisplayParticles(this, t, inode, vpt, flags) | r;
}
void SimpleParticle::GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)vpt;
  UpdateParticles(t, inode);
  box = mesh.getBoundingBox();
  Matrix3 inv = inode ? inode->GetObjectTM(t).Inverse() : Matrix3();
  for (const Point3& p : parts.points) box += p * inv;
}
void SimpleParticle::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  (void)vpt;
  UpdateParticles(t, inode);
  Matrix3 tm = inode ? inode->GetObjectTM(t) : Matrix3();
  box = mesh.getBoundingBox(&tm);
  for (const Point3& p : parts.points) box += p;
}
void SimpleParticle::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) pblock2 = dynamic_cast<IParamBlock2*>(rtarg);
}
RefResult SimpleParticle::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget,
                                           PartID& partID, RefMessage message) {
  (void)changeInt; (void)partID;
  if (message == REFMSG_CHANGE && hTarget == pblock2) {
    valid = false;
    mvalid.SetEmpty();
  }
  return REF_SUCCEED;
}

// ------------------------------------------------------ custom attributes

namespace {
// Keeps a removed attribute alive for undo.
class CAHolder : public ReferenceMaker {
 public:
  explicit CAHolder(CustAttrib* ca) { ReplaceReference(0, ca); }
  ~CAHolder() override { DeleteAllRefs(); }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? ca_ : nullptr; }
  void SetReference(int i, RefTargetHandle r) override {
    if (i == 0) ca_ = static_cast<CustAttrib*>(r);
  }
  CustAttrib* ca_ = nullptr;
};

class CARestore : public RestoreObj {
 public:
  CARestore(ICustAttribContainer* c, int index, CustAttrib* ca, bool added)
      : c_(c), index_(index), hold_(ca), added_(added) {}
  void Restore(int) override { Apply(!added_); }
  void Redo() override { Apply(added_); }
  const char* Description() override { return "Custom attribute"; }

 private:
  void Apply(bool add) {
    if (!Animatable::IsAlive(c_) || !hold_.ca_) return;
    theHold.Suspend();
    if (add) {
      c_->InsertCustAttrib(index_, hold_.ca_);
    } else {
      for (int i = 0; i < c_->GetNumCustAttribs(); ++i)
        if (c_->GetCustAttrib(i) == hold_.ca_) {
          c_->RemoveCustAttrib(i);
          break;
        }
    }
    theHold.Resume();
  }
  ICustAttribContainer* c_;
  int index_;
  CAHolder hold_;
  bool added_;
};
}  // namespace

CustAttrib* ICustAttribContainer::GetCustAttrib(int i) const {
  return i >= 0 && i < int(attribs_.size()) ? attribs_[size_t(i)] : nullptr;
}
void ICustAttribContainer::AppendCustAttrib(CustAttrib* attribute) {
  InsertCustAttrib(int(attribs_.size()), attribute);
}
void ICustAttribContainer::InsertCustAttrib(int i, CustAttrib* attribute) {
  if (!attribute) return;
  i = std::clamp(i, 0, int(attribs_.size()));
  if (theHold.Holding()) theHold.Put(new CARestore(this, i, attribute, true));
  attribs_.insert(attribs_.begin() + i, nullptr);
  ReplaceReference(i, attribute);
}
void ICustAttribContainer::SetCustAttrib(int i, CustAttrib* attribute) {
  if (i >= 0 && i < int(attribs_.size())) ReplaceReference(i, attribute);
}
void ICustAttribContainer::RemoveCustAttrib(int i) {
  if (i < 0 || i >= int(attribs_.size())) return;
  if (theHold.Holding()) theHold.Put(new CARestore(this, i, attribs_[size_t(i)], false));
  ReplaceReference(i, nullptr);
  attribs_.erase(attribs_.begin() + i);
}
RefTargetHandle ICustAttribContainer::GetReference(int i) { return GetCustAttrib(i); }
void ICustAttribContainer::SetReference(int i, RefTargetHandle rtarg) {
  if (i < 0) return;
  if (i >= int(attribs_.size())) attribs_.resize(size_t(i + 1), nullptr);
  attribs_[size_t(i)] = dynamic_cast<CustAttrib*>(rtarg);
}

ReferenceTarget* Mtl::Clone(RemapDir& remap) {
  auto* m = new Mtl();
  m->name = name;
  m->diffuse = diffuse;
  BaseClone(this, m, remap);
  return m;
}

IOResult Mtl::Save(ISave* isave) {
  isave->BeginChunk(0x4300);
  isave->WriteCString(name.c_str());
  isave->EndChunk();
  isave->BeginChunk(0x4301);
  isave->Write(&diffuse, sizeof(Point3));
  isave->EndChunk();
  return IO_OK;
}

IOResult Mtl::Load(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    IOResult r = IO_OK;
    if (iload->CurChunkID() == 0x4300) r = iload->ReadCStringChunk(name);
    else if (iload->CurChunkID() == 0x4301) r = iload->Read(&diffuse, sizeof(Point3));
    iload->CloseChunk();
    if (r != IO_OK) return r;
  }
  return res == IO_END ? IO_OK : res;
}
