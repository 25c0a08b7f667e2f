// What the emitter draws and emits from: its mesh (outline and predicted
// stream), the shape rows and emission points, and the fill of a picked
// object.
#include <algorithm>
#include <memory>

#include "fill_geometry/fill_object.h"
#include "fluid_core/solver.h"
#include "scene_objects/emitter.h"
#include "scene_objects/emitter_params.h"

uint8_t SourceShapeChanged = 1;

namespace {
constexpr float kDefaultLod = 6.0f;
constexpr float kDefaultRate = 20.0f;
constexpr float kDefaultCollisionGap = 0.01f;
// Fill lattice spacing and the least gap to the surface, per particle spacing.
constexpr double kFillRadius = 0.43;
constexpr double kFillMinGap = 1.3;
// The top of "#particlesFilled": no more fill points than this are emitted.
constexpr int64_t kMaxFillPoints = 1000000;

int TicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }
TimeValue SceneTime() { return GetCOREInterface()->GetTime(); }

// The force fields of the space warps bound to a node, deleted with this
// holder: each GetForceField makes a new field.
class BoundFields {
 public:
  explicit BoundFields(INode* node) { CollectForceFields(node, fields_); }
  ~BoundFields() {
    for (ForceField* f : fields_)
      if (f) f->DeleteThis();
  }
  BoundFields(const BoundFields&) = delete;
  BoundFields& operator=(const BoundFields&) = delete;
  ForceSum Sum() const {
    if (fields_.empty()) return ForceSum();
    return [this](TimeValue t, const Point3& pos, const Point3& vel) {
      Point3 a;
      for (ForceField* f : fields_)
        if (f) a += f->Force(t, pos, vel, 0);
      return a;
    };
  }

 private:
  std::vector<ForceField*> fields_;
};

float FloatAt(IParamBlock2* pb, int id, TimeValue t, float fallback) {
  Interval iv;
  float v = fallback;
  if (!pb || !pb->GetValue(ParamID(id), t, v, iv)) return fallback;
  return v;
}
int IntAt(IParamBlock2* pb, int id, TimeValue t, int fallback) {
  Interval iv;
  int v = fallback;
  if (!pb || !pb->GetValue(ParamID(id), t, v, iv)) return fallback;
  return v;
}
}  // namespace

void GenParticle::BuildEmitter(TimeValue t, Mesh& amesh) {
  mvalid = FOREVER;
  const bool hideSource = IntAt(pblock2, kEmitHideSource, t, 0) != 0;
  BuildEmissionShape(t, emissionShape);
  amesh.FreeAll();
  if (hideSource) return;
  const bool hideTrajectory = IntAt(pblock2, kEmitHideTrajectory, t, 0) != 0;
  // The stream is the last spline, and open; only a stream that was built
  // is hidden, so an emitter without one keeps its outline.
  const int outlines = emissionShape.SplineCount() - (trajectoryShown_ ? 1 : 0);
  const int count = (trajectoryShown_ && hideTrajectory) ? outlines : emissionShape.SplineCount();
  for (int i = 0; i < count; ++i) {
    const Spline3D* s = emissionShape.GetSpline(i);
    if (s->Segments() < 1) continue;
    AppendPolylineMesh(*s, i < outlines, amesh);
  }
  amesh.InvalidateGeomCache();
}

void GenParticle::BuildEmissionShape(TimeValue t, BezierShape& shape) {
  mvalid.SetInstant(t);
  shape.NewShape();
  trajectoryShown_ = false;
  const float radius = FloatAt(pblock2, kEmitRadius, t, 4.0f);
  const int type = IntAt(pblock2, kEmitEmissionType, 0, kEmissionCircle);
  const int displayType = IntAt(pblock2, kEmitDisplayType, t, 0);
  if (type != lastEmissionType) {
    lastEmissionType = type;
    if (type == kEmissionCircle || type == kEmissionPflow) ReplaceReference(1, nullptr);
  }
  emissionType = type;

  ShapeObject* picked = nullptr;
  if (emissionNode && type != kEmissionCircle && type != kEmissionObjectFill) {
    Object* o = emissionNode->EvalWorldState(t).obj;
    if (o && o->SuperClassID() == SHAPE_CLASS_ID) picked = dynamic_cast<ShapeObject*>(o);
  }
  if (!picked) {
    AddCircleSpline(shape, radius);
  } else {
    BezierShape copy;
    picked->MakeBezier(t, copy);
    for (int i = 0; i < copy.SplineCount(); ++i) {
      Spline3D* s = shape.NewSpline();
      *s = *copy.GetSpline(i);
      s->SetClosed(true);
      s->ComputeBezPoints();
      if (i == 1 && picked->ClassID() == genericShapeClassID()) s->Reverse();
    }
  }

  if (node && engine && type != kEmissionObjectFill) {
    UpdateShapeRows(shape);
    const int tpf = TicksPerFrame();
    if (t == engine->startFrame * tpf) {
      BuildTrajectory(t);
      AddTrajectorySpline(t, shape);
      trajectory.clear();
    } else {
      ExtendTrajectory(t, t / tpf, displayType);
      AddTrajectorySpline(t, shape);
    }
  }
  shape.UpdateSels();
  shape.InvalidateGeomCache();
  shapeBox = shape.BuildBoundingBox();
}

float GenParticle::FrameScale() const {
  return engine && engine->solver ? engine->FrameScale() : kDefaultFrameScale;
}

void GenParticle::UpdateShapeRows(BezierShape& shape) {
  if (!engine) return;
  const TimeValue now = SceneTime();
  float sx = 1.0f, sy = 1.0f;
  if (node) {
    const Matrix3 tm = node->GetNodeTM(now);
    sx = tm.GetRow(0).Length();
    sy = tm.GetRow(1).Length();
  }
  if (shapeRows.Count() > 0 && RowsMatchShape(shape, sx, sy, FrameScale(), shapeRows)) return;
  shapeRows.DeleteAll();
  SourceShapeChanged = 1;
  SampleShapeRows(shape, sx, sy, FrameScale(), shapeRows);
  SourceShapeChanged = 0;
  const float lod = FloatAt(pblock2, kEmitSourceLod, now, kDefaultLod);
  const double d = 1.0 / double(lod > 0.0f ? lod : kDefaultLod);
  fillPoints.clear();
  layerTable.clear();
  HostSRand(unsigned(GetTickCount()));
  BuildShapeEmissionPoints(shapeRows, d, [] { return HostRand(); }, emissionPoints);
}

void GenParticle::FillFromObject() {
  const TimeValue t = SceneTime();
  if (!emissionNode || IsSystemNodeName(emissionNode->GetName())) return;
  Object* obj = emissionNode->EvalWorldState(t).obj;
  if (!obj || !obj->CanConvertToType(triObjectClassID())) return;
  const Matrix3 tm = emissionNode->GetObjectTM(t);
  TriObject* tri = dynamic_cast<TriObject*>(obj->ConvertToType(t, triObjectClassID()));
  if (!tri) return;
  ObjectParams params;
  float gap = kDefaultCollisionGap;
  if (ObjectParamsAccess* access = GetObjectParamsAccess())
    if (access->GetObjectParams(emissionNode, params)) gap = params.collisionGap;

  const Mesh& mesh = tri->GetMesh();
  const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
  const double inv = 1.0 / double(FrameScale());
  std::vector<double> vstore(size_t(nv) * 3);
  std::vector<double*> verts(static_cast<size_t>(nv), nullptr);
  for (int i = 0; i < nv; ++i) {
    const Point3 p = mesh.verts[size_t(i)] * tm;
    double* v = &vstore[size_t(i) * 3];
    v[0] = p.x * inv;
    v[1] = p.y * inv;
    v[2] = p.z * inv;
    verts[size_t(i)] = v;
  }
  std::vector<int32_t> fstore(size_t(nf) * 3);
  std::vector<int32_t*> faces(static_cast<size_t>(nf), nullptr);
  for (int f = 0; f < nf; ++f) {
    int32_t* fv = &fstore[size_t(f) * 3];
    for (int k = 0; k < 3; ++k) fv[k] = int32_t(mesh.faces[size_t(f)].v[k]);
    faces[size_t(f)] = fv;
  }
  ReleaseTriObject(obj, tri);

  const float lod = FloatAt(pblock2, kEmitSourceLod, t, kDefaultLod);
  const double d = 1.0 / double(lod > 0.0f ? lod : kDefaultLod);
  // The solver keeps particles no farther from a face than its collision
  // reach, whatever gap the attribute asks: a fill that kept the attribute's
  // gap from every wall (up to 5 units against a reach of about a quarter
  // unit) left small objects empty.
  const float kept = FluidSolver::ContactGap(gap, float(d));
  const float g = kept > float(kFillMinGap * d) ? kept : float(kFillMinGap * d);

  emissionPoints.clear();
  fillPoints.clear();
  layerTable.clear();
  Tab<Point3> points;
  Tab<int> layers;
  // The fill stops at what "#particlesFilled" can ask for: a large object
  // at a fine LOD would otherwise build a lattice many times that size.
  FillHooks hooks;
  hooks.maxPoints = kMaxFillPoints;
  FillObjectWithParticles(1.0f, kFillRadius * d, g, points, layers, nv, verts.data(), nf,
                          faces.data(), emissionNode->GetName(), true, hooks);
  fillPoints.reserve(size_t(points.Count()));
  for (int i = 0; i < points.Count(); ++i) fillPoints.emplace_back(points[i].x, points[i].y, points[i].z);
  for (int i = 0; i < layers.Count(); ++i) layerTable.push_back(layers[i]);

  if (pblock2 && IntAt(pblock2, kEmitFillingPercentage, t, 1) == 0) {
    pblock2->SetValue(kEmitFillingPercentage, t, int(layerTable.size()));
    pblock2->SetValue(kEmitParticlesFilled, t, int(fillPoints.size()));
  }
  fillPending = 1;
  mvalid.SetEmpty();
  // The system evaluates its frame again.
  if (engine) engine->lastEvalFrame = -1;
  SourcesNeedRefresh = 1;
}

void GenParticle::BuildTrajectory(TimeValue t) {
  (void)t;
  if (!node || !engine) return;
  const TimeValue now = SceneTime();
  const float rate = FloatAt(pblock2, kEmitEmissionRate, now, kDefaultRate);
  trajectoryLengthSeen = IntAt(pblock2, kEmitTrajectoryLength, now, 30);
  const Matrix3 tm = node->GetNodeTM(now);
  const Point3 n = CrossProd(tm.GetRow(0), tm.GetRow(1)).Normalize();
  const float speed = rate * tm.GetRow(2).Length() * FrameScale();
  trajectory.clear();
  BoundFields fields(node);
  StreamPhysics phys;
  phys.gravity = trajectoryGravity * FrameScale();
  phys.ticksPerFrame = TicksPerFrame();
  phys.force = fields.Sum();
  trajectory = PredictStream(tm.GetTrans(), n * speed, trajectoryLengthSeen, phys);
}

void GenParticle::ExtendTrajectory(TimeValue t, int F, int displayType) {
  (void)t;
  if (!node || !engine || engine->lastSolved != engine->startFrame || displayType == 0) return;
  const int tpf = TicksPerFrame();
  const int first = trajectory.empty() ? engine->startFrame : trajectory.front().frame;
  for (int k = first; k < F; ++k) {
    const TimeValue tk = TimeValue(k) * tpf;
    Matrix3 tm = node->GetNodeTM(tk);
    tm.NoScale();
    const Point3 n = CrossProd(tm.GetRow(0), tm.GetRow(1)).Normalize();
    const Point3 p = tm.GetTrans();
    // The emitter's own motion carries into the stream; the first frame
    // has nothing to compare with and adds none.
    const Point3 u = streamPosKnown ? (p - streamPos) * (4800.0f / float(tpf)) : Point3();
    streamPos = p;
    streamPosKnown = true;
    const int length = IntAt(pblock2, kEmitTrajectoryLength, tk, 30);
    const float speed = FloatAt(pblock2, kEmitEmissionRate, tk, kDefaultRate) * FrameScale();
    const bool disabled = IntAt(pblock2, kEmitDisableSource, tk, 0) != 0;
    BoundFields fields(node);
    StreamPhysics phys;
    phys.gravity = trajectoryGravity * FrameScale();
    phys.ticksPerFrame = tpf;
    phys.force = fields.Sum();
    ExtendStream(trajectory, p, u + n * speed, disabled, length, engine->startFrame, phys);
  }
}

void GenParticle::AddTrajectorySpline(TimeValue t, BezierShape& shape) {
  if (!node) return;
  const Matrix3 inv = Inverse(node->GetNodeTM(t));
  Spline3D* s = shape.NewSpline();
  for (const TrajectoryPoint& e : trajectory) {
    const Point3 p = e.pos * inv;
    s->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, p, p, p));
  }
  s->ComputeBezPoints();
  trajectoryShown_ = true;
}
