// Surface file to display mesh, the empty mesh and the icon outline.
#include "fluid_plugin/surface_display.h"

#include <cmath>

namespace {
// Angle arguments of the smoothing: beyond pi every neighbour pair shares a
// group, so the liquid never shows facets; the icon keeps its folds.
constexpr float kSurfaceSmoothAngle = 185.28f;
constexpr float kIconSmoothAngle = 89.0f;
constexpr float kGreyCap = 0.99f;
}  // namespace

float SurfaceGrey(float u, float v, const SurfaceGreyParams& grey) {
  float d = grey.maxValue - grey.minValue;
  if (d == 0.0f) d = 1.0f;
  float g = grey.perVertexInfo == 0 ? u / d : v * 0.01f / d;
  return g > kGreyCap ? kGreyCap : g;
}

void ClearSurfaceMesh(Mesh& mesh) {
  mesh.setNumVerts(0);
  mesh.setNumTVerts(0);
  mesh.setNumVertCol(0);
  mesh.setSmoothFlags(1);
  mesh.setNumFaces(0);
  mesh.setNumTVFaces(0);
  mesh.setNumVCFaces(0);
  mesh.InvalidateGeomCache();
}

void FillSurfaceDisplayMesh(Mesh& mesh, const SurfaceFrameArrays& file, float scale,
                            const Matrix3& toLocal, const SurfaceGreyParams& grey) {
  const int n = int(file.vertices.size());
  if (n == 0) {
    ClearSurfaceMesh(mesh);
    return;
  }
  mesh.setNumVerts(n);
  mesh.setNumTVerts(n);
  mesh.setNumVertCol(n);
  mesh.setSmoothFlags(1);
  for (int i = 0; i < n; ++i) {
    const Vec3f& p = file.vertices[size_t(i)];
    mesh.setVert(i, toLocal.PointTransform(Point3(scale * p.x, scale * p.y, scale * p.z)));
    if (size_t(i) < file.secondVertices.size()) {
      const Vec3f& t = file.secondVertices[size_t(i)];
      mesh.setTVert(i, t.x, t.y, t.z);
    }
    float u = 0.0f, v = 0.0f;
    if (size_t(i) < file.mapPoints.size()) {
      u = file.mapPoints[size_t(i)].x;
      v = file.mapPoints[size_t(i)].y;
    }
    const float g = SurfaceGrey(u, v, grey);
    mesh.vertCol[size_t(i)] = VertColor(g, g, g);
  }
  const int nf = int(file.faces.size());
  mesh.setNumFaces(nf);
  mesh.setNumTVFaces(nf);
  mesh.setNumVCFaces(nf);
  for (int f = 0; f < nf; ++f) {
    const auto& idx = file.faces[size_t(f)];
    // Negative indices read as huge unsigned ones and are dropped as illegal.
    mesh.faces[size_t(f)].setVerts(idx[0], idx[1], idx[2]);
    mesh.faces[size_t(f)].setEdgeVisFlags(EDGE_VIS, EDGE_VIS, EDGE_VIS);
    mesh.tvFace[size_t(f)].setTVerts(idx[0], idx[1], idx[2]);
    mesh.vcFace[size_t(f)].setTVerts(idx[0], idx[1], idx[2]);
  }
  mesh.RemoveDegenerateFaces();
  mesh.RemoveIllegalFaces();
  mesh.AutoSmooth(kSurfaceSmoothAngle, FALSE, FALSE);
  mesh.BuildStripsAndEdges();
  mesh.InvalidateGeomCache();
  mesh.buildBoundingBox();
}

void BuildFluidIconMesh(Mesh& mesh) {
  // A wave: a band under a sine crest, from x = -33 to x = 34, its bottom at
  // y = 4 and its crest between y = 20 and y = 33. Each column of the band is
  // two vertices; each quad two faces with the diagonal hidden.
  constexpr int kColumns = 25;
  constexpr float kLeft = -33.0f, kRight = 34.0f, kBottom = 4.0f;
  mesh.setNumVerts(2 * kColumns);
  mesh.setNumTVerts(2 * kColumns);
  mesh.setSmoothFlags(1);
  for (int c = 0; c < kColumns; ++c) {
    const float s = float(c) / float(kColumns - 1);
    const float x = kLeft + s * (kRight - kLeft);
    const float top = 26.5f + 6.5f * std::sin(s * 6.2831853f * 1.25f);
    mesh.setVert(2 * c, x, kBottom, 0.0f);
    mesh.setVert(2 * c + 1, x, top, 0.0f);
    mesh.setTVert(2 * c, s, 0.0f, 0.0f);
    mesh.setTVert(2 * c + 1, s, 1.0f, 0.0f);
  }
  const int nf = 2 * (kColumns - 1);
  mesh.setNumFaces(nf);
  mesh.setNumTVFaces(nf);
  for (int c = 0; c + 1 < kColumns; ++c) {
    const int a = 2 * c, b = 2 * c + 1, d = 2 * c + 2, e = 2 * c + 3;
    Face& lower = mesh.faces[size_t(2 * c)];
    lower.setVerts(a, d, e);
    lower.setEdgeVisFlags(EDGE_VIS, c + 2 == kColumns ? EDGE_VIS : EDGE_INVIS, EDGE_INVIS);
    Face& upper = mesh.faces[size_t(2 * c + 1)];
    upper.setVerts(a, e, b);
    upper.setEdgeVisFlags(EDGE_INVIS, EDGE_VIS, c == 0 ? EDGE_VIS : EDGE_INVIS);
    mesh.tvFace[size_t(2 * c)].setTVerts(a, d, e);
    mesh.tvFace[size_t(2 * c + 1)].setTVerts(a, e, b);
  }
  mesh.AutoSmooth(kIconSmoothAngle, FALSE, FALSE);
  mesh.InvalidateGeomCache();
  mesh.buildBoundingBox();
}
