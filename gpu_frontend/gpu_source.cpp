// The pouring source: parameters, shape (circle and trajectory preview),
// line mesh, display and hit testing.
#include "gpu_frontend/gpu_source.h"

#include <cmath>
#include <set>

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/gpu_rollouts.h"
#include "gpu_frontend/plugin_shell.h"
#include "host/ui/viewport.h"

namespace vorel_gpufe {

namespace {

constexpr float kTwoPi = 6.28318530717958f;
constexpr float kDefaultGravity = 10.0f;
constexpr float kGravityScale = 10.0f;

// Every source alive, so that a fluid object that goes away can clear the
// owner pointer of each source that still names it (sources are separate
// scene nodes and outlive their fluid).
std::set<VorSourceObj*>& LiveSources() {
  static std::set<VorSourceObj*> live;
  return live;
}

bool Finite(const Matrix3& m) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(m[r][c])) return false;
  return true;
}

}  // namespace

Interface* VorSourceObj::editInterface = nullptr;

void ForgetSourceOwner(BlobNode* owner) {
  for (VorSourceObj* s : LiveSources())
    if (s->owner == owner) s->owner = nullptr;
}

VorSourceObj::VorSourceObj() {
  LiveSources().insert(this);
  GetVorSourceObjDesc()->MakeAutoParamBlocks(this);
}

VorSourceObj::~VorSourceObj() {
  LiveSources().erase(this);
  emitPoints.clear();
  basePoints.clear();
  rows.DeleteAll();
  shape.NewShape();
}

void VorSourceObj::GetClassName(std::string& s) {
  const char* name = StableString(3);
  s = name ? name : "";
}

void VorSourceObj::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  editInterface = ip;
  RegisterRolloutTemplates();
  // The simple object's default opens the descriptor's parameter maps.
  SimpleObject2::BeginEditParams(ip, flags, prev);
}

void VorSourceObj::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  SimpleObject2::EndEditParams(ip, flags, next);
  editInterface = nullptr;
}

void VorSourceObj::SetReference(int i, RefTargetHandle rtarg) { SimpleObject2::SetReference(i, rtarg); }

IParamBlock2* VorSourceObj::GetParamBlockByID(short id) {
  return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
}

ReferenceTarget* VorSourceObj::Clone(RemapDir& remap) {
  auto* c = new VorSourceObj();
  c->pendingRegister = 1;
  c->owner = owner;
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  c->ivalid.SetEmpty();
  BaseClone(this, c, remap);
  return c;
}

int VorSourceObj::CanConvertToType(Class_ID obtype) {
  if (obtype == defObjectClassID() || obtype == triObjectClassID()) return 1;
  return SimpleObject2::CanConvertToType(obtype);
}

Interval VorSourceObj::ObjectValidity(TimeValue) { return FOREVER; }

INode* VorSourceObj::FindOwnNode() {
  uint32_t handle = 0;
  NotifyDependents(FOREVER, reinterpret_cast<PartID>(&handle), REFMSG_GET_NODE_HANDLE);
  INode* n = handle ? GetCOREInterface()->GetINodeByHandle(handle) : nullptr;
  return n ? n : FindNodeOf(this);
}

void VorSourceObj::UpdateShape(TimeValue t) {
  INode* n = FindOwnNode();
  if (!n || !pblock2) return;
  Interval iv = FOREVER;
  float radius = 5.0f, speed = 8.5f;
  pblock2->GetValue(source_param::kRadius, t, radius, iv);
  pblock2->GetValue(source_param::kSpeed, t, speed, iv);
  speedCache = speed;
  const Matrix3 tm = n->GetNodeTM(t);
  IParamBlock2* ownerBlock = owner ? owner->pblock2 : nullptr;
  if (ownerBlock && pendingRegister) {
    bool listed = false;
    for (int i = 0, k = ownerBlock->Count(blob_param::kSourcesNodeList); i < k && !listed; ++i)
      listed = ownerBlock->GetINode(blob_param::kSourcesNodeList, 0, i) == n;
    if (!listed) {
      INode* entry = n;
      ownerBlock->Append(blob_param::kSourcesNodeList, 1, &entry);
      pendingRegister = 0;
    }
  }
  int drawTrajectory = 1;
  if (!pblock2->GetValue(source_param::kDrawTrajectory, t, drawTrajectory, iv)) drawTrajectory = 1;
  float g = kDefaultGravity;
  if (ownerBlock) ownerBlock->GetValue(blob_param::kGravity, t, g, iv);
  g *= kGravityScale;
  shape.NewShape();
  MakeSourceCircle(shape, radius);
  if (t == 0 && drawTrajectory) MakeTrajectory(shape, speedCache, g, tm, kTrajectoryKnots);
}

void VorSourceObj::MakeSourceCircle(BezierShape& shape, float r) {
  Spline3D* spline = shape.NewSpline();
  const float k = r * kQuarterCircleHandle;
  for (int i = 0; i < 4; ++i) {
    const float a = float(i) * kTwoPi * 0.25f;
    const Point3 p(r * std::cos(a), r * std::sin(a), 0.0f);
    const Point3 tangent(-std::sin(a), std::cos(a), 0.0f);
    spline->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - tangent * k, p + tangent * k));
  }
  spline->SetClosed();
  spline->ComputeBezPoints();
}

bool VorSourceObj::MakeTrajectory(BezierShape& shape, float speed, float g, const Matrix3& T, int n) {
  const float dt = (float(GetTicksPerFrame()) / 4800.0f) / float(kTrajectorySubSteps);
  const Point3 X = T.GetRow(0), Y = T.GetRow(1), Z = T.GetRow(2), P = T.GetRow(3);
  const float L = Length(Z);
  const Point3 cross = CrossProd(X, Y);
  const float crossLen = Length(cross);
  // A flattened node has no object space to draw the path in.
  if (!(crossLen > 0.0f) || !std::isfinite(crossLen)) return false;
  const Point3 d = cross / crossLen;
  const Matrix3 toObject = Matrix3(X, Y, d, P).Inverse();
  if (!Finite(toObject) || std::fabs(Matrix3(X, Y, d, P).Determinant3()) < 1e-30f) return false;
  Spline3D* spline = shape.NewSpline();
  Point3 p = P;
  Point3 first = toObject.PointTransform(p);
  spline->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, first, first, first));
  Point3 v = d * (kSolverScale * speed * L);
  const Point3 a(0.0f, 0.0f, -kSolverScale * g);
  for (int knot = 1; knot < n; ++knot) {
    for (int s = 0; s < kTrajectorySubSteps; ++s) {
      v = v + a * dt;
      p = p + v * dt;
    }
    const Point3 q = toObject.PointTransform(p);
    spline->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, q, q, q));
  }
  spline->ComputeBezPoints();
  spline->SetOpen();
  return true;
}

void VorSourceObj::SplineToLineMesh(Spline3D& spline, Mesh& mesh, bool close) {
  std::vector<Point3> samples;
  for (int s = 0, segs = spline.Segments(); s < segs; ++s)
    for (int j = 0; j < kLineSamplesPerSegment; ++j)
      samples.push_back(spline.InterpBezier3D(s, float(j) / float(kLineSamplesPerSegment)));
  if (!samples.empty() && close) samples.push_back(samples.front());
  const int n = int(samples.size());
  mesh.setNumVerts(n);
  for (int i = 0; i < n; ++i) mesh.setVert(i, samples[size_t(i)]);
  mesh.setNumFaces(n > 0 ? n - 1 : 0);
  for (int k = 0; k + 1 < n; ++k) {
    Face& f = mesh.faces[size_t(k)];
    f.setVerts(k, k + 1, k);
    f.setEdgeVisFlags(1, 1, 1);
    f.setSmGroup(0);
  }
}

void VorSourceObj::BuildMesh(TimeValue t) {
  mesh = Mesh();
  Interval iv = FOREVER;
  int drawSource = 1;
  if (pblock2) pblock2->GetValue(source_param::kDrawSource, t, drawSource, iv);
  if (drawSource) {
    UpdateShape(t);
    const int count = shape.SplineCount();
    for (int i = 0; i < count; ++i) {
      Spline3D* spline = shape.GetSpline(i);
      if (spline->Segments() < 1) continue;
      Mesh line;
      SplineToLineMesh(*spline, line, i == 0 || i < count - 1);
      Mesh merged;
      CombineMeshes(merged, mesh, line);
      mesh = merged;
    }
  }
  mesh.InvalidateGeomCache();
  mesh.buildBoundingBox();
}

int VorSourceObj::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  UpdateMesh(t);
  if (vpt && inode) {
    GraphicsWindow* gw = vpt->getGW();
    const DWORD limits = gw->getRndLimits();
    gw->setRndLimits((limits | GW_WIREFRAME | GW_EDGES_ONLY) & ~GW_TEXTURE);
    gw->setTransform(inode->GetObjectTM(t));
    if (!(gw->getRndMode() & GW_BOX_MODE) && mesh.getNumFaces() > 0) {
      RECT damage = vpt->GetDamageRect();
      mesh.render(gw, inode->Mtls(), (flags & USE_DAMAGE_RECT) ? &damage : nullptr,
                  COMP_ALL | (inode->Selected() ? COMP_OBJSELECTED : 0), inode->NumMtls());
    }
    gw->setRndLimits(limits);
  }
  return SimpleObject2::Display(t, inode, vpt, flags);
}

int VorSourceObj::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                          ViewExp* vpt) {
  if (int hit = SimpleObject2::HitTest(t, inode, type, crossing, flags, p, vpt)) return hit;
  if (!vpt || !inode || !p) return 0;
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  HitRegion region;
  MakeHitRegion(region, type, crossing, kSourcePickSize, p);
  gw->setHitRegion(&region);
  gw->setTransform(inode->GetObjectTM(t));
  gw->setRndLimits(limits | GW_PICK);
  int hit = 0;
  if (mesh.getNumFaces() > 0 && mesh.select(gw, inode->Mtls(), &region, flags & HIT_ABORTONHIT)) hit = 1;
  if (!hit) {
    gw->clearHitCode();
    for (const Point3& e : emitPoints) {
      Point3 m = e * kSolverScale;
      gw->marker(&m, POINT_MRKR);
      if (gw->checkHitCode()) {
        hit = 1;
        break;
      }
    }
  }
  gw->setRndLimits(limits);
  return hit;
}

}  // namespace vorel_gpufe
