#include "host/ui/viewport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "host/sdk/interface.h"
#include "host/sdk/object.h"
#include "host/ui/window.h"

namespace {

double SegDist(const Point2& p, const Point2& a, const Point2& b) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double len2 = dx * dx + dy * dy;
  double u = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
  u = std::max(0.0, std::min(1.0, u));
  double qx = a.x + u * dx - p.x, qy = a.y + u * dy - p.y;
  return std::sqrt(qx * qx + qy * qy);
}

bool InTriangle(const Point2& p, const Point2& a, const Point2& b, const Point2& c) {
  auto cross = [](const Point2& o, const Point2& u, const Point2& v) {
    return double(u.x - o.x) * (v.y - o.y) - double(u.y - o.y) * (v.x - o.x);
  };
  // A triangle without area on screen (an edge seen end-on, a polyline's
  // degenerate face) holds no point: only its edges can be near one.
  if (cross(a, b, c) == 0.0) return false;
  double d1 = cross(p, a, b), d2 = cross(p, b, c), d3 = cross(p, c, a);
  bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
  return !(neg && pos);
}

bool InRect(const Point2& p, const RECT& r) {
  return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
}

bool SegCrossesRect(const Point2& a, const Point2& b, const RECT& r) {
  if (InRect(a, r) || InRect(b, r)) return true;
  // Liang-Barsky clip of the segment against the rectangle.
  double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
  double p[4] = {-dx, dx, -dy, dy};
  double q[4] = {a.x - double(r.left), double(r.right) - a.x, a.y - double(r.top),
                 double(r.bottom) - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  return true;
}

std::map<int, Point3>& UIColors() {
  static std::map<int, Point3> m;
  return m;
}

}  // namespace

void MakeHitRegion(HitRegion& hr, int type, int crossing, int epsilon, IPoint2* p) {
  hr.crossing = crossing;
  hr.epsilon = epsilon;
  if (!p) return;
  if (type == 2) {
    hr.type = RECT_RGN;
    hr.rect = {std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
               std::max(p[0].y, p[1].y)};
  } else {
    hr.type = POINT_RGN;
    hr.pt = p[0];
  }
}

void GraphicsWindow::setColor(ColorType t, float r, float g, float b) { colors_[t & 3] = Point3(r, g, b); }

void GraphicsWindow::setMaterial(const Material& m, int) { material_ = m; }

void GraphicsWindow::SetView(const Matrix3& worldToView, float pixelsPerUnit) {
  view_ = worldToView;
  scale_ = pixelsPerUnit > 0 ? pixelsPerUnit : 1.0f;
}

Point2 GraphicsWindow::WorldToScreen(const Point3& w) const {
  Point3 v = view_.PointTransform(w);
  return Point2(320.0f + v.x * scale_, 240.0f - v.y * scale_);
}

void GraphicsWindow::transPoint(const Point3* in, IPoint3* out) const {
  if (!in || !out) return;
  Point3 w = tm_.PointTransform(*in);
  Point2 s = WorldToScreen(w);
  out->x = int(std::lround(s.x));
  out->y = int(std::lround(s.y));
  out->z = int(std::lround(view_.PointTransform(w).z));
}

void GraphicsWindow::wTransPoint(const Point3* in, IPoint3* out) const {
  if (!in || !out) return;
  Point2 s = WorldToScreen(*in);
  out->x = int(std::lround(s.x));
  out->y = int(std::lround(s.y));
  out->z = int(std::lround(view_.PointTransform(*in).z));
}

GraphicsWindow::DrawState GraphicsWindow::CurrentState(DrawRecord::Kind k) const {
  DrawState s;
  s.node = node_;
  s.tm = tm_;
  s.rndLimits = limits_;
  s.rndMode = getRndMode();
  s.color = k == DrawRecord::kText ? colors_[TEXT_COLOR] : colors_[LINE_COLOR];
  s.material = material_;
  return s;
}

void GraphicsWindow::StartRecord(DrawRecord& r, DrawRecord::Kind k, const DrawState& s) {
  r.kind = k;
  r.node = s.node;
  r.tm = s.tm;
  r.rndLimits = s.rndLimits;
  r.rndMode = s.rndMode;
  r.color = s.color;
  r.material = s.material;
}

DrawRecord& GraphicsWindow::Record(DrawRecord::Kind k) {
  DrawEntry e;
  e.pending = int32_t(pending_.size());
  entries_.push_back(e);
  pending_.emplace_back();
  StartRecord(pending_.back(), k, CurrentState(k));
  return pending_.back();
}

namespace {
// Bitwise, so that a state is only shared where its records would be
// identical (-0 and 0 or two NaNs are not merged, padding at worst
// splits a state).
template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
}  // namespace

const std::vector<DrawRecord>& GraphicsWindow::Records() const {
  while (madeEntries_ < entries_.size()) {
    const DrawEntry& e = entries_[madeEntries_];
    if (e.pending >= 0) {
      records_.push_back(pending_[size_t(e.pending)]);
    } else {
      for (; madeInRun_ < e.count; ++madeInRun_) {
        records_.emplace_back();
        DrawRecord& r = records_.back();
        StartRecord(r, DrawRecord::kMarker, markerStates_[e.state]);
        r.points.push_back(markerPoints_[e.first + madeInRun_]);
        r.markerType = e.markerType;
      }
      // The last run may still grow.
      if (madeEntries_ + 1 == entries_.size()) break;
    }
    ++madeEntries_;
    madeInRun_ = 0;
  }
  return records_;
}

void GraphicsWindow::ClearRecords() {
  entries_.clear();
  markerStates_.clear();
  markerPoints_.clear();
  pending_.clear();
  records_.clear();
  madeEntries_ = 0;
  madeInRun_ = 0;
}

void GraphicsWindow::setHitRegion(HitRegion* hr) {
  hasRegion_ = hr != nullptr;
  if (hr) region_ = *hr;
}

void GraphicsWindow::clearHitCode() {
  hit_ = FALSE;
  hitDist_ = 0xFFFFFFFF;
}

void GraphicsWindow::Hit(double dist) {
  hit_ = TRUE;
  DWORD d = DWORD(std::max(0.0, std::min(dist, 1e9)));
  hitDist_ = std::min(hitDist_, d);
}

void GraphicsWindow::TestPoints(const std::vector<Point2>& pts, bool closed, bool segments) {
  if (!hasRegion_ || pts.empty()) return;
  if (region_.type == POINT_RGN) {
    Point2 p(float(region_.pt.x), float(region_.pt.y));
    double best = 1e30;
    if (!segments || pts.size() == 1) {
      for (const Point2& q : pts)
        best = std::min(best, double(std::max(std::fabs(q.x - p.x), std::fabs(q.y - p.y))));
    } else {
      size_t n = pts.size();
      for (size_t i = 0; i + 1 < n; ++i) best = std::min(best, SegDist(p, pts[i], pts[i + 1]));
      if (closed && n > 2) best = std::min(best, SegDist(p, pts[n - 1], pts[0]));
    }
    if (best <= region_.epsilon) Hit(best);
    return;
  }
  const RECT& r = region_.rect;
  if (region_.crossing) {
    bool any = false;
    if (!segments || pts.size() == 1) {
      for (const Point2& q : pts) any = any || InRect(q, r);
    } else {
      size_t n = pts.size();
      for (size_t i = 0; i + 1 < n && !any; ++i) any = SegCrossesRect(pts[i], pts[i + 1], r);
      if (closed && n > 2 && !any) any = SegCrossesRect(pts[n - 1], pts[0], r);
    }
    if (any) Hit(0);
  } else if (std::all_of(pts.begin(), pts.end(), [&](const Point2& q) { return InRect(q, r); })) {
    Hit(0);
  }
}

void GraphicsWindow::TestTriangles(const std::vector<Point2>& s, const Mesh& mesh) {
  if (!hasRegion_ || s.empty()) return;
  if (region_.type == POINT_RGN) {
    Point2 p(float(region_.pt.x), float(region_.pt.y));
    double best = 1e30;
    for (const Face& f : mesh.faces) {
      if (f.v[0] >= s.size() || f.v[1] >= s.size() || f.v[2] >= s.size()) continue;
      const Point2 &a = s[f.v[0]], &b = s[f.v[1]], &c = s[f.v[2]];
      if (InTriangle(p, a, b, c)) {
        best = 0;
        break;
      }
      best = std::min({best, SegDist(p, a, b), SegDist(p, b, c), SegDist(p, c, a)});
    }
    if (best <= region_.epsilon) Hit(best);
    return;
  }
  const RECT& r = region_.rect;
  if (region_.crossing) {
    Point2 corner(float(r.left), float(r.top));
    for (const Face& f : mesh.faces) {
      if (f.v[0] >= s.size() || f.v[1] >= s.size() || f.v[2] >= s.size()) continue;
      const Point2 &a = s[f.v[0]], &b = s[f.v[1]], &c = s[f.v[2]];
      if (SegCrossesRect(a, b, r) || SegCrossesRect(b, c, r) || SegCrossesRect(c, a, r) ||
          InTriangle(corner, a, b, c)) {
        Hit(0);
        return;
      }
    }
  } else if (std::all_of(s.begin(), s.end(), [&](const Point2& q) { return InRect(q, r); })) {
    Hit(0);
  }
}

uint32_t GraphicsWindow::MarkerState() {
  const DrawState* last = markerStates_.empty() ? nullptr : &markerStates_.back();
  if (!last || last->node != node_ || !SameBits(last->tm, tm_) || last->rndLimits != limits_ ||
      last->rndMode != getRndMode() || !SameBits(last->color, colors_[LINE_COLOR]) ||
      !SameBits(last->material, material_))
    markerStates_.push_back(CurrentState(DrawRecord::kMarker));
  return uint32_t(markerStates_.size() - 1);
}

void GraphicsWindow::OpenMarkerRun(MarkerType type, uint32_t state, size_t more) {
  // A batch of particles is drawn into room taken once: grown a marker at a
  // time, the list is copied over and over, and every copy lands on fresh
  // pages. Doubling at the least keeps many small batches linear.
  const size_t size = markerPoints_.size();
  if (markerPoints_.capacity() - size < more)
    markerPoints_.reserve(std::max(size + more, 2 * markerPoints_.capacity()));
  if (!entries_.empty()) {
    const DrawEntry& last = entries_.back();
    if (last.pending < 0 && last.markerType == type && last.state == state) return;
  }
  DrawEntry e;
  e.markerType = type;
  e.state = state;
  e.first = uint32_t(markerPoints_.size());
  entries_.push_back(e);
}

void GraphicsWindow::marker(Point3* xyz, MarkerType type) {
  if (!xyz) return;
  Point3 w = tm_.PointTransform(*xyz);
  if (Recording()) {
    OpenMarkerRun(type, MarkerState(), 0);
    markerPoints_.push_back(w);
    ++entries_.back().count;
  }
  if (hasRegion_) TestPoints({WorldToScreen(w)}, false, false);
}

void GraphicsWindow::polyline(int ct, Point3* xyz, Point3* rgb, int closed, int* es) {
  (void)rgb;
  (void)es;
  if (!xyz || ct <= 0) return;
  std::vector<Point3> w;
  std::vector<Point2> s;
  for (int i = 0; i < ct; ++i) {
    w.push_back(tm_.PointTransform(xyz[i]));
    s.push_back(WorldToScreen(w.back()));
  }
  if (Recording()) {
    DrawRecord& r = Record(DrawRecord::kPolyline);
    r.points = w;
    r.closed = closed != 0;
  }
  TestPoints(s, closed != 0, true);
}

void GraphicsWindow::polyline(int ct, Point3* xyz, Point3* rgb, Point3*, int closed, int* es) {
  polyline(ct, xyz, rgb, closed, es);
}

void GraphicsWindow::segment(Point3* xyz, int) { polyline(2, xyz, nullptr, 0, nullptr); }

void GraphicsWindow::text(Point3* xyz, const char* s) {
  if (!xyz) return;
  Point3 w = tm_.PointTransform(*xyz);
  if (Recording()) {
    DrawRecord& r = Record(DrawRecord::kText);
    r.points.push_back(w);
    r.text = s ? s : "";
  }
}

void GraphicsWindow::triangle(Point3* xyz, Point3*) {
  if (!xyz) return;
  std::vector<Point3> w;
  std::vector<Point2> s;
  for (int i = 0; i < 3; ++i) {
    w.push_back(tm_.PointTransform(xyz[i]));
    s.push_back(WorldToScreen(w.back()));
  }
  if (Recording()) {
    DrawRecord& r = Record(DrawRecord::kTriangle);
    r.points = w;
    r.faces = 1;
  }
  TestPoints(s, true, true);
}

void GraphicsWindow::RenderMesh(Mesh& mesh, Material* mtl, int compFlags, int numMat) {
  if (!Recording()) return;
  DrawRecord& r = Record(DrawRecord::kMesh);
  r.points.reserve(mesh.verts.size());
  for (const Point3& v : mesh.verts) r.points.push_back(tm_.PointTransform(v));
  r.faces = mesh.getNumFaces();
  r.compFlags = compFlags;
  r.numMaterials = numMat;
  if (mtl) r.material = *mtl;
}

BOOL GraphicsWindow::SelectMesh(Mesh& mesh, HitRegion* hr, int abortOnHit) {
  (void)abortOnHit;
  HitRegion saved = region_;
  bool had = hasRegion_;
  if (hr) setHitRegion(hr);
  BOOL before = hit_;
  hit_ = FALSE;
  std::vector<Point2> s;
  s.reserve(mesh.verts.size());
  for (const Point3& v : mesh.verts) s.push_back(WorldToScreen(tm_.PointTransform(v)));
  TestTriangles(s, mesh);
  BOOL got = hit_;
  hit_ = before || got;
  if (hr) {
    region_ = saved;
    hasRegion_ = had;
  }
  return got;
}

int GraphicsWindow::CountRecords(DrawRecord::Kind k, INode* node) const {
  const std::vector<DrawRecord>& records = Records();
  return int(std::count_if(records.begin(), records.end(), [&](const DrawRecord& r) {
    return r.kind == k && (!node || r.node == node);
  }));
}

Point3 ViewExp::GetPointOnCP(const IPoint2& p) const {
  Point3 v((float(p.x) - 320.0f) / scale_, (240.0f - float(p.y)) / scale_, 0.0f);
  return view_.Inverse().PointTransform(v);
}

Point3 ViewExp::SnapPoint(const IPoint2& in, IPoint2& out, Matrix3*, DWORD) {
  out = in;
  return GetPointOnCP(in);
}

void ViewExp::SnapPreview(const IPoint2& in, IPoint2& out, Matrix3*, DWORD) { out = in; }

void ViewExp::LogHit(INode* node, ModContext* mc, DWORD dist, unsigned long info, HitData* hd) {
  HitRecord h;
  h.nodeRef = node;
  h.modContext = mc;
  h.distance = dist;
  h.hitInfo = info;
  h.hitData = hd;
  hits_.push_back(h);
}

HitRecord* ViewExp::GetClosestHit() {
  HitRecord* best = nullptr;
  for (HitRecord& h : hits_)
    if (!best || h.distance < best->distance) best = &h;
  return best;
}

void ViewExp::SetView(const Matrix3& worldToView, float pixelsPerUnit) {
  view_ = worldToView;
  scale_ = pixelsPerUnit > 0 ? pixelsPerUnit : 1.0f;
  gw_.SetView(worldToView, pixelsPerUnit);
}

Point3 GetUIColor(int index) {
  auto it = UIColors().find(index);
  if (it != UIColors().end()) return it->second;
  float g = float(40 + (index * 53) % 200) / 255.0f;
  return Point3(g, 1.0f - g, 0.5f);
}

void SetUIColor(int index, const Point3& c) { UIColors()[index] = c; }

namespace vorel_ui {

ViewExp* ActiveViewport() {
  static ViewExp v;
  return &v;
}

HWND ViewportWindow() {
  static HWND h = nullptr;
  if (!IsWindow(h))
    h = CreateHeadlessWindow(Kind::Window, "Viewport", "Perspective", nullptr, 0,
                             RECT{0, 0, 640, 480});
  return h;
}

int RedrawAllViews(TimeValue t) {
  Interface* ip = GetCOREInterface();
  ViewExp* vpt = ActiveViewport();
  GraphicsWindow* gw = vpt->getGW();
  gw->ClearRecords();
  int shown = 0;
  for (INode* node : ip->AllNodes()) {
    if (!node || node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t).obj;
    if (!obj) continue;
    gw->SetCurrentNode(node);
    gw->setRndLimits(GW_Z_BUFFER | GW_ILLUM);
    gw->setRndMode(node->GetBoxMode() ? DWORD(GW_BOX_MODE) : DWORD(0));
    gw->setTransform(node->GetObjectTM(t));
    gw->clearHitRegion();
    obj->Display(t, node, vpt, 0);
    ++shown;
  }
  gw->SetCurrentNode(nullptr);
  return shown;
}

namespace {
void RenderHook(Mesh& mesh, GraphicsWindow* gw, Material* ma, RECT*, int compFlags, int numMat) {
  if (gw) gw->RenderMesh(mesh, ma, compFlags, numMat);
}
BOOL SelectHook(Mesh& mesh, GraphicsWindow* gw, Material*, HitRegion* hr, int abortOnHit, int) {
  return gw ? gw->SelectMesh(mesh, hr, abortOnHit) : FALSE;
}
}  // namespace

// Meshes of simple objects and the particles of particle systems, drawn and
// hit-tested through the viewport's graphics window.
class ViewportDrawHooks : public ObjectDrawHooks {
 public:
  int DisplayMesh(Mesh& mesh, TimeValue t, INode* inode, ViewExp* vpt, int) override {
    if (!vpt) return 0;
    GraphicsWindow* gw = vpt->getGW();
    gw->setTransform(inode ? inode->GetObjectTM(t) : Matrix3());
    Material m;
    if (inode) {
      DWORD c = inode->GetWireColor();
      m.Kd = Point3(GetRValue(c) / 255.0f, GetGValue(c) / 255.0f, GetBValue(c) / 255.0f);
    }
    mesh.render(gw, &m, nullptr, COMP_ALL, 1);
    return 0;
  }
  int HitTestMesh(Mesh& mesh, TimeValue t, INode* inode, int type, int crossing, int,
                  IPoint2* p, ViewExp* vpt) override {
    if (!vpt || !p) return 0;
    GraphicsWindow* gw = vpt->getGW();
    gw->setTransform(inode ? inode->GetObjectTM(t) : Matrix3());
    HitRegion hr;
    MakeHitRegion(hr, type, crossing, 4, p);
    return mesh.select(gw, nullptr, &hr, TRUE, 1) ? 1 : 0;
  }
  int DisplayParticles(SimpleParticle* ps, TimeValue, INode*, ViewExp* vpt, int) override {
    if (!vpt || !ps) return 0;
    GraphicsWindow* gw = vpt->getGW();
    gw->setTransform(Matrix3());
    if (CustomParticleDisplay* custom = ps->cdraw) {
      for (int i = 0; i < ps->parts.Count(); ++i)
        if (ps->parts.Alive(i) && custom->DrawParticle(gw, ps->parts, i)) break;
      return 0;
    }
    const ParticleSys& parts = ps->parts;
    gw->markers(parts.points.data(), parts.Count(), MarkerType(ps->GetMarkerType()),
                [&parts](int i) { return parts.Alive(i); });
    return 0;
  }
};

void InstallMeshDrawHooks() {
  static ViewportDrawHooks hooks;
  vorel::host::SetMeshDrawHooks(RenderHook, SelectHook);
  SetObjectDrawHooks(&hooks);
}

}  // namespace vorel_ui
