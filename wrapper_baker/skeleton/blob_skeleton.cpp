#include "wrapper_baker/skeleton/blob_skeleton.h"

#include <cmath>

#include "host/ui/viewport.h"

namespace blob_skeleton {

namespace {

// Angles handed to AutoSmooth as the host's own values: both exceed a half
// turn, so every neighbouring pair of faces shares a smoothing group.
constexpr float kIconSmoothAngle = 89.0f;
constexpr float kSurfaceSmoothAngle = 9996.28f;
// Standard command mode the host returns to after a creation click.
constexpr int kStdSelectMode = 6;
constexpr int kHitEpsilonPixels = 4;

// A star-shaped outline around centre, triangulated as a fan: vertex 0 is the
// centre, the rim runs counter-clockwise, and only rim edges are visible.
IconTables Fan(const Point3& centre, const std::vector<Point3>& rim) {
  IconTables t;
  t.vertices.push_back(centre);
  t.vertices.insert(t.vertices.end(), rim.begin(), rim.end());
  const int n = int(rim.size());
  for (int k = 0; k < n; ++k) {
    t.faces.push_back({0, 1 + k, 1 + (k + 1) % n});
    t.edgeVisible.push_back({0, 1, 0});
  }
  return t;
}

}  // namespace

const IconTables& WrapperIcon() {
  // A blob with five lobes inside x -19.62..11.56, y -3.87..32.32.
  static const IconTables icon = [] {
    const Point3 c(-4.03f, 14.225f, 0.0f);
    const float rx = 15.59f / 1.18f, ry = 18.095f / 1.18f;
    std::vector<Point3> rim;
    const int n = 90;
    for (int k = 0; k < n; ++k) {
      const double a = 6.28318530717958 * k / n;
      const double r = 1.0 + 0.18 * std::sin(5.0 * a);
      rim.push_back(Point3(c.x + float(rx * r * std::cos(a)), c.y + float(ry * r * std::sin(a)), 0.0f));
    }
    return Fan(c, rim);
  }();
  return icon;
}

const IconTables& BakerIcon() {
  // A rounded plaque inside x -89.25..-34.14, y 21.75..34.26.
  static const IconTables icon = [] {
    const Point3 c(-61.695f, 28.005f, 0.0f);
    const double hx = 27.555, hy = 6.255;
    std::vector<Point3> rim;
    const int n = 96;
    for (int k = 0; k < n; ++k) {
      const double a = 6.28318530717958 * k / n;
      const double ca = std::cos(a), sa = std::sin(a);
      // A superellipse of exponent 6: nearly straight sides, round corners.
      const double x = hx * (ca < 0 ? -1 : 1) * std::pow(std::fabs(ca), 1.0 / 3.0);
      const double y = hy * (sa < 0 ? -1 : 1) * std::pow(std::fabs(sa), 1.0 / 3.0);
      rim.push_back(Point3(c.x + float(x), c.y + float(y), 0.0f));
    }
    return Fan(c, rim);
  }();
  return icon;
}

void BuildIconMesh(Mesh& mesh, const IconTables& t) {
  const int nv = int(t.vertices.size());
  const int nf = int(t.faces.size());
  mesh.setNumVerts(nv);
  mesh.setNumTVerts(nv);
  mesh.setSmoothFlags(1);
  for (int i = 0; i < nv; ++i) {
    mesh.setVert(i, t.vertices[size_t(i)]);
    mesh.setTVert(i, t.vertices[size_t(i)]);
  }
  mesh.setNumFaces(nf);
  mesh.setNumTVFaces(nf);
  for (int f = 0; f < nf; ++f) {
    const MeshFace& v = t.faces[size_t(f)];
    const MeshFace& e = t.edgeVisible[size_t(f)];
    mesh.faces[size_t(f)].setVerts(v[0], v[1], v[2]);
    mesh.faces[size_t(f)].setEdgeVisFlags(e[0], e[1], e[2]);
    mesh.tvFace[size_t(f)].setTVerts(v[0], v[1], v[2]);
  }
  mesh.AutoSmooth(kIconSmoothAngle, FALSE, FALSE);
  mesh.buildBoundingBox();
}

void EmptyMesh(Mesh& mesh) {
  mesh.setNumFaces(0);
  mesh.setNumVerts(0);
  mesh.setNumTVerts(0);
  mesh.setNumTVFaces(0);
  mesh.InvalidateGeomCache();
  mesh.InvalidateTopologyCache();
  mesh.buildBoundingBox();
}

void CopyOutMesh(const MeshRecord& surface, Mesh& mesh, const Matrix3& toObject) {
  const int nv = surface.VertexCount();
  const int nf = surface.FaceCount();
  mesh.setNumVerts(nv);
  mesh.setNumTVerts(nv);
  for (int v = 0; v < nv; ++v) {
    const Point3 p = surface.vertices[size_t(v)] * toObject;
    mesh.setVert(v, p);
    mesh.setTVert(v, p);
  }
  mesh.setNumFaces(nf);
  mesh.setNumTVFaces(nf);
  for (int f = 0; f < nf; ++f) {
    const MeshFace& tri = surface.faces[size_t(f)];
    mesh.faces[size_t(f)].setVerts(tri[0], tri[1], tri[2]);
    mesh.faces[size_t(f)].setEdgeVisFlags(1, 1, 1);
    mesh.tvFace[size_t(f)].setTVerts(tri[0], tri[1], tri[2]);
  }
  mesh.setSmoothFlags(1);
  mesh.AutoSmooth(kSurfaceSmoothAngle, FALSE, FALSE);
  mesh.InvalidateGeomCache();
  mesh.InvalidateTopologyCache();
  mesh.buildBoundingBox();
}

Matrix3 InverseNodeTM(ReferenceTarget* obj, TimeValue t) {
  INode* node = obj ? FindNodeOf(obj) : nullptr;
  return node ? Inverse(node->GetObjectTM(t)) : Matrix3(1);
}

Point3 LabelColour() { return Point3(152.0f / 255.0f, 236.0f / 255.0f, 180.0f / 255.0f); }

int BlobSkeleton::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  if (vpt && inode) {
    GraphicsWindow* gw = vpt->getGW();
    gw->setTransform(inode->GetObjectTM(t));
    lastNode = inode;
    if (!(gw->getRndMode() & GW_BOX_MODE) && iconMesh.getNumVerts() > 0) {
      RECT damage = vpt->GetDamageRect();
      const int comp = COMP_ALL | (inode->Selected() ? COMP_OBJSELECTED : 0);
      iconMesh.render(gw, inode->Mtls(), (flags & USE_DAMAGE_RECT) ? &damage : nullptr, comp,
                      inode->NumMtls());
    }
    gw->setColor(TEXT_COLOR, LabelColour());
  }
  bool& creating = CreationFlag();
  if (creating) {
    GetCOREInterface()->SetStdCommandMode(kStdSelectMode);
    creating = false;
  }
  SimpleObject2::Display(t, inode, vpt, flags);
  return 0;
}

int BlobSkeleton::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                          ViewExp* vpt) {
  if (int hit = SimpleObject2::HitTest(t, inode, type, crossing, flags, p, vpt)) return hit;
  if (!vpt || !inode) return 0;
  GraphicsWindow* gw = vpt->getGW();
  gw->setTransform(inode->GetObjectTM(t));
  HitRegion region;
  MakeHitRegion(region, type, crossing, kHitEpsilonPixels, p);
  const DWORD savedLimits = gw->getRndLimits();
  gw->setRndLimits((savedLimits | GW_PICK) & ~DWORD(GW_ILLUM));
  gw->setHitRegion(&region);
  gw->clearHitCode();
  const int hit = iconMesh.select(gw, nullptr, &region, FALSE, 1);
  gw->setRndLimits(savedLimits);
  return hit;
}

void BlobSkeleton::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  SimpleObject2::GetWorldBoundBox(t, inode, vpt, box);
  if (!inode || iconMesh.getNumVerts() == 0) return;
  // Every corner of the icon's box: two of them span the turned icon only
  // when the turn is a multiple of 90 degrees.
  const Box3 icon = iconMesh.getBoundingBox();
  const Matrix3 tm = inode->GetObjectTM(t);
  for (int c = 0; c < 8; ++c)
    box += Point3(c & 1 ? icon.pmax.x : icon.pmin.x, c & 2 ? icon.pmax.y : icon.pmin.y,
                  c & 4 ? icon.pmax.z : icon.pmin.z) * tm;
}

namespace {
// The detail a build uses when its parameter cannot be read.
constexpr float kFallbackDetail = 20.0f;

float DetailAt(IParamBlock2* pb, ParamID id, TimeValue t) {
  float lod = kFallbackDetail;
  Interval iv = FOREVER;
  if (!pb || !pb->GetValue(id, t, lod, iv)) lod = kFallbackDetail;
  return lod;
}
}  // namespace

void BlobSkeleton::BuildMesh(TimeValue t) {
  UpdateMesh(t, mesh, DetailAt(pblock, DetailParam(true), t), true);
  ivalid = Interval(t, t);
}

Mesh* BlobSkeleton::GetRenderMesh(TimeValue t, INode*, View&, bool& needDelete) {
  auto* m = new Mesh();
  UpdateMesh(t, *m, DetailAt(pblock, DetailParam(false), t), false);
  needDelete = true;
  return m;
}

void BlobSkeleton::InvalidateUI() {
  if (pblock) pblock->InvalidateUI();
}

ReferenceTarget* BlobSkeleton::CloneInto(BlobSkeleton* c, RemapDir& remap) {
  c->ReplaceReference(0, remap.CloneRef(pblock));
  c->ivalid.SetEmpty();
  c->iconMesh.DeepCopy(&iconMesh);
  BaseClone(this, c, remap);
  return c;
}

int CreateFromPanel(Interface* ip, ClassDesc* cd, bool& creating) {
  if (!ip || !cd || creating) return 1;
  auto* obj = dynamic_cast<BlobSkeleton*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, cd->ClassID()));
  if (!obj) return 1;
  ip->CreateObjectNode(obj);
  obj->BuildIcon();
  ip->RedrawViews(ip->GetTime(), REDRAW_NORMAL);
  creating = true;
  return 1;
}

}  // namespace blob_skeleton
