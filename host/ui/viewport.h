// The headless viewport: a graphics window that records what objects draw
// (transform, render limits and mode, meshes with their materials, markers,
// polylines, text) and hit-tests what is drawn against a hit region in
// screen space. The view is an orthographic camera: a world-to-view matrix
// and a scale in pixels per unit around the centre of a 640 x 480 window
// (by default the top view, x right and y up, one pixel per unit).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/core/geom.h"
#include "host/core/mesh.h"
#include "host/ui/win_types.h"

class INode;
class ModContext;
class HitData;

// Render limit and mode bits.
enum : DWORD {
  GW_WIREFRAME = 0x000001,
  GW_ILLUM = 0x000002,
  GW_FLAT = 0x000004,
  GW_SPECULAR = 0x000008,
  GW_TEXTURE = 0x000010,
  GW_Z_BUFFER = 0x000020,
  GW_PERSP_CORRECT = 0x000040,
  GW_POLY_EDGES = 0x000080,
  GW_BACKCULL = 0x000100,
  GW_TWO_SIDED = 0x000200,
  GW_COLOR_VERTS = 0x000400,
  GW_SHADE_CVERTS = 0x000800,
  GW_PICK = 0x001000,
  GW_BOX_MODE = 0x002000,
  GW_ALL_EDGES = 0x004000,
  GW_VERT_TICKS = 0x008000,
  GW_SHADE_SEL_FACES = 0x010000,
  GW_TRANSPARENCY = 0x020000,
  GW_TRANSPARENT_PASS = 0x040000,
  GW_EMISSIVE_VERTS = 0x080000,
  GW_ALL_OPAQUE = 0x100000,
  GW_EDGES_ONLY = 0x200000,
  GW_LIGHTING = GW_ILLUM,
};

// Colour slots of setColor.
enum ColorType { LINE_COLOR = 0, FILL_COLOR = 1, TEXT_COLOR = 2, CLEAR_COLOR = 3 };

enum MarkerType {
  POINT_MRKR = 0, HOLLOW_BOX_MRKR = 1, PLUS_SIGN_MRKR = 2, ASTERISK_MRKR = 3, X_MRKR = 4,
  BIG_BOX_MRKR = 5, CIRCLE_MRKR = 6, TRIANGLE_MRKR = 7, DIAMOND_MRKR = 8, SM_HOLLOW_BOX_MRKR = 9,
  SM_CIRCLE_MRKR = 10, SM_TRIANGLE_MRKR = 11, SM_DIAMOND_MRKR = 12, DOT_MRKR = 13,
  SM_DOT_MRKR = 14, BOX2_MRKR = 15,
};

// Mesh component flags of Mesh::render.
enum : int { COMP_TRANSFORM = 0x0001, COMP_HIDE = 0x0002, COMP_ALL = 0x00FF, COMP_OBJSELECTED = 0x0100 };

// Hit region types (MakeHitRegion takes HITTYPE_POINT 1 / HITTYPE_BOX 2).
enum : int { POINT_RGN = 0x0001, RECT_RGN = 0x0002, CIRCLE_RGN = 0x0004 };
// Hit-test flags of HitTest.
enum : int { HIT_SELONLY = 1 << 1, HIT_UNSELONLY = 1 << 2, HIT_ABORTONHIT = 1 << 3 };

struct IPoint3 {
  int x = 0, y = 0, z = 0;
};

class Material {
 public:
  Point3 Ka, Kd{0.5f, 0.5f, 0.5f}, Ks;
  float shininess = 0.0f, shinStrength = 0.0f, opacity = 1.0f, selfIllum = 0.0f;
  int dblSided = 0;
  int shadeLimit = GW_Z_BUFFER | GW_ILLUM;
};

class HitRegion {
 public:
  int type = POINT_RGN;
  int crossing = 1;
  int epsilon = 4;
  IPoint2 pt;
  RECT rect;
};

// type HITTYPE_POINT (1): a point with epsilon; HITTYPE_BOX (2): the
// rectangle from p[0] to p[1] (crossing: touching counts, else the whole
// primitive must lie inside).
void MakeHitRegion(HitRegion& hr, int type, int crossing, int epsilon, IPoint2* p);

// One recorded drawing call, in world coordinates.
struct DrawRecord {
  enum Kind { kMesh, kMarker, kPolyline, kText, kTriangle } kind = kMesh;
  INode* node = nullptr;        // the node being displayed, if any
  Matrix3 tm;                   // object-to-world transform in force
  DWORD rndLimits = 0, rndMode = 0;
  Point3 color;                 // line colour (text colour for text)
  std::vector<Point3> points;   // world-space points (mesh: vertices)
  int faces = 0;                // mesh faces
  int markerType = 0;
  bool closed = false;
  int numMaterials = 0;
  int compFlags = 0;
  Material material;
  std::string text;
};

class GraphicsWindow {
 public:
  void setTransform(const Matrix3& m) { tm_ = m; }
  Matrix3 getTransform() const { return tm_; }
  void setRndLimits(DWORD l) { limits_ = l; }
  DWORD getRndLimits() const { return limits_; }
  DWORD getRndMode() const { return mode_ | limits_; }
  void setRndMode(DWORD m) { mode_ = m; }
  void setColor(ColorType t, float r, float g, float b);
  void setColor(ColorType t, const Point3& c) { setColor(t, c.x, c.y, c.z); }
  Point3 getColor(ColorType t) const { return colors_[t & 3]; }
  void setMaterial(const Material& m, int index = 0);
  Material* getMaterial() { return &material_; }
  int getWinSizeX() const { return 640; }
  int getWinSizeY() const { return 480; }

  void marker(Point3* xyz, MarkerType type);
  // marker(&xyz[i], type) for each i in 0..count-1 with shown(i) true, in
  // that order and with the same records and hit tests; the drawing state is
  // read once, as nothing can change it between the markers of one call.
  template <typename Shown>
  void markers(const Point3* xyz, int count, MarkerType type, const Shown& shown);
  void polyline(int ct, Point3* xyz, Point3* rgb, int closed, int* es);
  void polyline(int ct, Point3* xyz, Point3* rgb, Point3* uvw, int closed, int* es);
  void text(Point3* xyz, const char* s);
  void triangle(Point3* xyz, Point3* rgb);
  void startMarkers() {}
  void endMarkers() {}
  void startSegments() {}
  void segment(Point3* xyz, int vis);
  void endSegments() {}

  // Hit testing: with a region set, every primitive drawn is tested and the
  // hit code set when it meets the region.
  void setHitRegion(HitRegion* hr);
  HitRegion* getHitRegion() { return hasRegion_ ? &region_ : nullptr; }
  void clearHitRegion() { hasRegion_ = false; }
  void clearHitCode();
  BOOL checkHitCode() const { return hit_; }
  void setHitCode(BOOL h) { hit_ = h; }
  DWORD getHitDistance() const { return hitDist_; }

  // Object space (after setTransform) and world space to the screen.
  void transPoint(const Point3* in, IPoint3* out) const;
  void wTransPoint(const Point3* in, IPoint3* out) const;

  // Headless: mesh drawing and testing (what Mesh::render / select run).
  void RenderMesh(Mesh& mesh, Material* mtl, int compFlags, int numMat);
  BOOL SelectMesh(Mesh& mesh, HitRegion* hr, int abortOnHit);

  // The view.
  void SetView(const Matrix3& worldToView, float pixelsPerUnit);
  Point2 WorldToScreen(const Point3& w) const;

  // What was drawn since the last ClearRecords, in drawing order, and the
  // node being drawn. The list is brought up to date by each call: what is
  // drawn after one shows at the next.
  const std::vector<DrawRecord>& Records() const;
  void ClearRecords();
  void SetCurrentNode(INode* n) { node_ = n; }
  int CountRecords(DrawRecord::Kind k, INode* node = nullptr) const;

 private:
  // The drawing state a record is made in.
  struct DrawState {
    INode* node = nullptr;
    Matrix3 tm;
    DWORD rndLimits = 0, rndMode = 0;
    Point3 color;
    Material material;
  };
  // Drawing calls in order: a run of markers of one type and state, their
  // points markerPoints_[first .. first+count), or anything else as the
  // index of its full record in pending_.
  struct DrawEntry {
    int32_t pending = -1;
    int32_t markerType = 0;
    uint32_t state = 0;  // markers: index into markerStates_
    uint32_t first = 0, count = 0;
  };
  DrawRecord& Record(DrawRecord::Kind k);
  // The index in markerStates_ of the state in force, appended when it
  // differs from the last one.
  uint32_t MarkerState();
  // Starts a marker run (or goes on with the last one) of `type` in
  // `state`, with room for `more` points.
  void OpenMarkerRun(MarkerType type, uint32_t state, size_t more);
  DrawState CurrentState(DrawRecord::Kind k) const;
  static void StartRecord(DrawRecord& r, DrawRecord::Kind k, const DrawState& s);
  bool Recording() const { return !(limits_ & GW_PICK); }
  void TestPoints(const std::vector<Point2>& pts, bool closed, bool segments);
  void TestTriangles(const std::vector<Point2>& pts, const Mesh& mesh);
  void Hit(double dist);

  Matrix3 tm_;
  Matrix3 view_;
  float scale_ = 1.0f;
  DWORD limits_ = GW_Z_BUFFER | GW_ILLUM;
  DWORD mode_ = 0;
  Point3 colors_[4];
  Material material_;
  HitRegion region_;
  bool hasRegion_ = false;
  BOOL hit_ = FALSE;
  DWORD hitDist_ = 0xFFFFFFFF;
  INode* node_ = nullptr;
  // A redraw shows one marker per particle: a full record each (a heap
  // block and some 200 bytes, written to fresh pages at the first large
  // redraw) cost more than the plug-in's own display work, so markers are
  // kept as compact entries and the full records are made when read.
  std::vector<DrawEntry> entries_;
  std::vector<DrawState> markerStates_;
  std::vector<Point3> markerPoints_;  // world space, in drawing order
  std::vector<DrawRecord> pending_;
  // The records made so far: every entry before entries_[madeEntries_], and
  // the first madeInRun_ markers of that one.
  mutable std::vector<DrawRecord> records_;
  mutable size_t madeEntries_ = 0, madeInRun_ = 0;
};

template <typename Shown>
void GraphicsWindow::markers(const Point3* xyz, int count, MarkerType type, const Shown& shown) {
  if (!xyz || count <= 0) return;
  // Hit tests go point by point, as marker() makes them.
  if (!Recording() || hasRegion_) {
    for (int i = 0; i < count; ++i)
      if (shown(i)) marker(const_cast<Point3*>(&xyz[i]), type);
    return;
  }
  OpenMarkerRun(type, MarkerState(), size_t(count));
  const size_t before = markerPoints_.size();
  for (int i = 0; i < count; ++i)
    if (shown(i)) markerPoints_.push_back(tm_.PointTransform(xyz[i]));
  entries_.back().count += uint32_t(markerPoints_.size() - before);
}

class HitRecord {
 public:
  INode* nodeRef = nullptr;
  ModContext* modContext = nullptr;
  DWORD distance = 0;
  unsigned long hitInfo = 0;
  HitData* hitData = nullptr;
};

class ViewExp {
 public:
  GraphicsWindow* getGW() { return &gw_; }
  int GetViewID() const { return 0; }
  RECT GetDamageRect() const { return RECT{0, 0, 640, 480}; }
  BOOL IsWire() const { return (gw_.getRndLimits() & GW_WIREFRAME) != 0; }
  void GetAffineTM(Matrix3& tm) const { tm = view_; }
  float NonScalingObjectSize() const { return 1.0f; }
  // The world point under a screen point on the construction plane (z = 0
  // of the view).
  Point3 GetPointOnCP(const IPoint2& p) const;
  Point3 SnapPoint(const IPoint2& in, IPoint2& out, Matrix3* plane2d = nullptr, DWORD flags = 0);
  void SnapPreview(const IPoint2& in, IPoint2& out, Matrix3* plane2d = nullptr, DWORD flags = 0);
  float GetVPWorldWidth(const Point3& wPoint) const { (void)wPoint; return 640.0f / scale_; }

  // Hits logged by a node hit test; the closest (smallest distance, first
  // logged on ties) answers GetClosestHit.
  void LogHit(INode* node, ModContext* mc, DWORD dist, unsigned long info, HitData* hd = nullptr);
  void ClearHitList() { hits_.clear(); }
  int NumHits() const { return int(hits_.size()); }
  HitRecord* GetClosestHit();
  INode* GetClosestHitNode() {
    HitRecord* h = GetClosestHit();
    return h ? h->nodeRef : nullptr;
  }

  void SetView(const Matrix3& worldToView, float pixelsPerUnit);
  Point2 WorldToScreen(const Point3& w) const { return gw_.WorldToScreen(w); }

 private:
  GraphicsWindow gw_;
  Matrix3 view_;
  float scale_ = 1.0f;
  std::vector<HitRecord> hits_;
};

// The interface colours of the viewport by index (0, 18, 29, 40 ... ).
Point3 GetUIColor(int index);
void SetUIColor(int index, const Point3& c);

namespace vorel_ui {
// The one headless viewport.
ViewExp* ActiveViewport();
HWND ViewportWindow();
// Runs Display of every visible node's object at t into the active viewport
// (the records are cleared first). Returns the number of nodes displayed.
int RedrawAllViews(TimeValue t);
// Installs the viewport's Mesh::render / Mesh::select implementations.
void InstallMeshDrawHooks();
}  // namespace vorel_ui
