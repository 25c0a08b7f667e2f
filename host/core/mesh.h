// The host's triangle mesh: vertices, faces of three vertex indices with a
// smoothing group, edge visibility and material id, texture and vertex-colour
// channels (each with its own faces, one per geometry face), selections, and
// the bounding box and normals derived from them.
//
// The arrays are std::vectors named as on the host (verts, faces, tVerts,
// tvFace, vertCol, vcFace), so mesh.verts[i] and mesh.faces[f].v[k] read as
// in plug-in code; counts always come from the vectors (getNumVerts()...).
#pragma once
#include <cstdint>
#include <vector>

#include "host/core/bitarray.h"
#include "host/core/geom.h"
#include "host/core/win32.h"

typedef Point3 UVVert;
typedef Point3 VertColor;
typedef uint16_t MtlID;

// Face flag bits: the edge visibility of edges A (v0-v1), B (v1-v2) and
// C (v2-v0), a hidden bit, and the material id in the upper 16 bits.
constexpr DWORD EDGE_A = 1u << 0;
constexpr DWORD EDGE_B = 1u << 1;
constexpr DWORD EDGE_C = 1u << 2;
constexpr DWORD EDGE_ALL = EDGE_A | EDGE_B | EDGE_C;
constexpr DWORD FACE_HIDDEN = 1u << 3;
constexpr int FACE_MATID_SHIFT = 16;
constexpr DWORD FACE_MATID_MASK = 0xFFFFu;
constexpr int EDGE_INVIS = 0;
constexpr int EDGE_VIS = 1;

class Face {
 public:
  DWORD v[3] = {0, 0, 0};
  DWORD smGroup = 0;
  DWORD flags = 0;

  void setVerts(int a, int b, int c) { v[0] = DWORD(a); v[1] = DWORD(b); v[2] = DWORD(c); }
  void setVerts(const int* vv) { setVerts(vv[0], vv[1], vv[2]); }
  DWORD getVert(int i) const { return v[i]; }
  DWORD* getAllVerts() { return v; }
  void setSmGroup(DWORD g) { smGroup = g; }
  DWORD getSmGroup() const { return smGroup; }
  void setMatID(MtlID id) {
    flags = (flags & ~(FACE_MATID_MASK << FACE_MATID_SHIFT)) | (DWORD(id) << FACE_MATID_SHIFT);
  }
  MtlID getMatID() const { return MtlID((flags >> FACE_MATID_SHIFT) & FACE_MATID_MASK); }
  // Visibility of edge 0 (A), 1 (B) or 2 (C).
  void setEdgeVis(int edge, int visFlag) {
    DWORD bit = 1u << edge;
    flags = visFlag ? (flags | bit) : (flags & ~bit);
  }
  int getEdgeVis(int edge) const { return (flags >> edge) & 1u; }
  void setEdgeVisFlags(int va, int vb, int vc) {
    setEdgeVis(0, va); setEdgeVis(1, vb); setEdgeVis(2, vc);
  }
  void Hide() { flags |= FACE_HIDDEN; }
  void Show() { flags &= ~FACE_HIDDEN; }
  bool Hidden() const { return (flags & FACE_HIDDEN) != 0; }
  // Index (0..2) of vertex vert in this face, -1 when absent.
  int GetVertIndex(DWORD vert) const {
    for (int i = 0; i < 3; ++i) if (v[i] == vert) return i;
    return -1;
  }
};

// A face of the texture or vertex-colour channel: indices into tVerts/vertCol.
class TVFace {
 public:
  DWORD t[3] = {0, 0, 0};
  TVFace() = default;
  TVFace(DWORD a, DWORD b, DWORD c) { t[0] = a; t[1] = b; t[2] = c; }
  void setTVerts(int a, int b, int c) { t[0] = DWORD(a); t[1] = DWORD(b); t[2] = DWORD(c); }
  void setTVerts(const int* vv) { setTVerts(vv[0], vv[1], vv[2]); }
  DWORD getTVert(int i) const { return t[i]; }
  DWORD* getAllTVerts() { return t; }
};

class GraphicsWindow;
class Material;
class HitRegion;

class Mesh {
 public:
  std::vector<Point3> verts;
  std::vector<Face> faces;
  std::vector<UVVert> tVerts;
  std::vector<TVFace> tvFace;
  std::vector<VertColor> vertCol;
  std::vector<TVFace> vcFace;
  BitArray vertSel, faceSel;

  Mesh() = default;

  int getNumVerts() const { return int(verts.size()); }
  int getNumFaces() const { return int(faces.size()); }
  int getNumTVerts() const { return int(tVerts.size()); }
  int getNumTVFaces() const { return int(tvFace.size()); }
  int getNumVertCol() const { return int(vertCol.size()); }
  int getNumVCFaces() const { return int(vcFace.size()); }

  // Resizers. With keep the existing entries stay and new ones are zero;
  // without it every entry is zero. All return true (the host's signature).
  BOOL setNumVerts(int n, BOOL keep = FALSE, BOOL synchSel = TRUE);
  BOOL setNumFaces(int n, BOOL keep = FALSE, BOOL synchSel = TRUE);
  BOOL setNumTVerts(int n, BOOL keep = FALSE);
  BOOL setNumTVFaces(int n, BOOL keep = FALSE, int oldCt = 0);
  BOOL setNumVertCol(int n, BOOL keep = FALSE);
  BOOL setNumVCFaces(int n, BOOL keep = FALSE, int oldCt = 0);

  void setVert(int i, const Point3& p) { verts[size_t(i)] = p; }
  void setVert(int i, float x, float y, float z) { verts[size_t(i)] = Point3(x, y, z); }
  Point3& getVert(int i) { return verts[size_t(i)]; }
  const Point3& getVert(int i) const { return verts[size_t(i)]; }
  Point3* getVertPtr(int i) { return &verts[size_t(i)]; }
  void setTVert(int i, const UVVert& p) { tVerts[size_t(i)] = p; }
  void setTVert(int i, float u, float v, float w) { tVerts[size_t(i)] = UVVert(u, v, w); }
  UVVert& getTVert(int i) { return tVerts[size_t(i)]; }
  const UVVert& getTVert(int i) const { return tVerts[size_t(i)]; }

  // Mesh-wide smoothing flag the display uses (1 = smooth by groups).
  void setSmoothFlags(int f) { smoothFlags_ = f; }
  int getSmoothFlags() const { return smoothFlags_; }

  // Empties every channel and cache.
  void FreeAll();
  void Init() { FreeAll(); }
  // Copies geometry and channels from another mesh (the host's channel mask
  // is accepted and ignored: everything is copied).
  void DeepCopy(const Mesh* from, DWORD channels = 0xFFFFFFFFu);

  // Bounding box of the vertices; with tm, of the transformed vertices
  // (computed on the spot, the cached box stays as it is). An empty mesh
  // gives an empty box.
  void buildBoundingBox();
  Box3 getBoundingBox(const Matrix3* tm = nullptr);

  // Face normals (unit, zero for a face without area) and vertex normals
  // (normalised sum of the area-weighted normals of the faces around).
  void buildNormals();
  Point3 getFaceNormal(int f);
  Point3 getNormal(int v);
  // The same, computed without touching the caches.
  Point3 FaceNormal(int f) const;

  // Headless meshes keep no strips or edge lists: nothing to build.
  void BuildStripsAndEdges() {}

  // Drop the cached box and normals after vertices moved / topology changed.
  void InvalidateGeomCache();
  void InvalidateTopologyCache();
  bool BoundingBoxValid() const { return bbValid_; }

  // Gives every face smoothing groups: two faces that share an edge and
  // whose normals differ by at most angle (radians; any angle of pi or more
  // smooths every neighbour pair) get a common group, faces across a sharper
  // edge none. With useSel only selected faces change. With
  // preventIndirectSmoothing a region never holds two faces that meet at a
  // sharp edge, so no face is smoothed into a sharp neighbour through others.
  void AutoSmooth(float angle, BOOL useSel = FALSE, BOOL preventIndirectSmoothing = FALSE);

  // Barycentric coordinates of p (taken in the plane of face f) in that
  // face's corners; (1/3, 1/3, 1/3) for a face without area or out of range.
  Point3 BaryCoords(DWORD face, Point3 p) const;

  // Removes faces that use a vertex twice; true when any went.
  bool RemoveDegenerateFaces();
  // Removes faces with a vertex index outside the vertex array, and texture /
  // colour faces with an index outside their vertex arrays are reset to 0;
  // true when anything changed.
  bool RemoveIllegalFaces();

  // Deletes the faces in set (and their texture and colour faces).
  void DeleteFaceSet(const BitArray& set);
  // Deletes the vertices in set, every face that uses one of them, and
  // renumbers the indices of the remaining faces.
  void DeleteVertSet(const BitArray& set);
  void DeleteVert(int v);
  // Reverses the winding of face f (v0 and v1 swap, with the matching
  // texture / colour indices and edge flags).
  void FlipNormal(int f);

  // Drawing and hit testing belong to the viewport layer, which installs the
  // implementations (vorel::host::SetMeshDrawHooks); without it render does
  // nothing and select hits nothing.
  void render(GraphicsWindow* gw, Material* ma, RECT* rp, int compFlags, int numMat = 1);
  BOOL select(GraphicsWindow* gw, Material* ma, HitRegion* hr, int abortOnHit = FALSE,
              int numMat = 1);

 private:
  int smoothFlags_ = 0;
  bool bbValid_ = false;
  Box3 bb_;
  bool normalsValid_ = false;
  std::vector<Point3> faceNormals_, vertNormals_;
};

// out = a followed by b (b's indices offset). Texture / colour channels are
// kept when either mesh has them; a mesh without one gets a single zero
// texture vertex for its faces.
void CombineMeshes(Mesh& out, const Mesh& a, const Mesh& b);

namespace vorel::host {
typedef void (*MeshRenderFn)(Mesh& mesh, GraphicsWindow* gw, Material* ma, RECT* rp,
                             int compFlags, int numMat);
typedef BOOL (*MeshSelectFn)(Mesh& mesh, GraphicsWindow* gw, Material* ma, HitRegion* hr,
                             int abortOnHit, int numMat);
void SetMeshDrawHooks(MeshRenderFn render, MeshSelectFn select);
}  // namespace vorel::host
