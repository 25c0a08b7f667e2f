// Size function and render meshes of emitter particles.
#include "scene_objects/particle_display.h"

#include <algorithm>
#include <cmath>

#include "host/core/hostmath.h"

namespace {

// Below this many particles the mesh is filled on the calling thread.
constexpr int kParallelParticles = 2048;

// Table indices of the live particles, in table order.
std::vector<int> LiveParticles(const ParticleSys& parts) {
  std::vector<int> live;
  live.reserve(size_t(parts.Count()));
  for (int i = 0; i < parts.Count(); ++i)
    if (parts.ages[size_t(i)] >= 0) live.push_back(i);
  return live;
}

// A unit vector across `dir`, from dir x reference; when dir has no length
// or lies (nearly) along the reference, another axis takes its place.
Point3 AcrossDirection(const Point3& reference, const Point3& dir, const Point3& spare) {
  Point3 c = CrossProd(reference, dir);
  const float len = dir.Length();
  if (!(len > 0.0f) || !(c.Length() > 1e-6f * len)) c = CrossProd(spare, len > 0.0f ? dir : reference);
  return c.Normalize();
}

// The direction a quad or an instance faces; the world z axis when the
// particle has none (camera on the particle, particle at rest).
Point3 FacingDirection(const ParticleLook& look, const Point3& p, const Point3& vel,
                       const Point3& camera) {
  Point3 f = look.facing == 0 ? camera - p : vel;
  return f.Length() > 0.0f ? f.Normalize() : Point3(0.0f, 0.0f, 1.0f);
}

void FinishFace(Face& f, int index) {
  f.setSmGroup(1);
  f.setMatID(MtlID(index & 0xFFFF));
  f.setEdgeVisFlags(EDGE_VIS, EDGE_VIS, EDGE_VIS);
}

float SizeOf(const ParticleSys& parts, const std::vector<int>& neighbours, const ParticleLook& look,
             int i, int fallback) {
  return ParticleSizeOf(look, float(parts.ages[size_t(i)]), NeighbourOf(neighbours, i, fallback));
}

}  // namespace

float ParticleSizeOf(const ParticleLook& look, float age, int neighbours) {
  const float life = float(std::max(look.life, 1));
  const float share = look.agePercent / 100.0f;
  float k = 1.0f;
  if (std::min(age / life, 1.0f) > share) k = 1.0f - smoothstep(life * share, life, age);
  if (look.solitude) k *= smoothstep(0.0f, float(look.minNeighbours), float(neighbours));
  return (look.dropSize - look.minSize) * k + look.minSize;
}

float ShownParticleSize(const ParticleLook& look, const ParticleSys& parts,
                        const std::vector<int>& neighbourCounts, int i) {
  if (i < 0 || i >= parts.Count()) return 0.0f;
  const float s = ParticleSizeOf(look, float(parts.ages[size_t(i)]), NeighbourOf(neighbourCounts, i, kDefaultNeighbours));
  if (look.renderType == 1) return s;
  if (look.renderType == 2) return 0.0f;
  return parts.vels[size_t(i)].Length() * kTailFactor * s;
}

void BuildTetrahedraMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                         const ParticleLook& look, const Matrix3& toMesh, Mesh& out) {
  const std::vector<int> live = LiveParticles(parts);
  const int n = int(live.size());
  out.FreeAll();
  out.setNumVerts(4 * n);
  out.setNumFaces(4 * n);
  out.setNumTVerts(9 * n);
  out.setNumTVFaces(4 * n);
  static const float kTV[9][2] = {{0, 0},         {1.0f / 3, 0}, {1.0f / 6, 1},
                                  {1.0f / 3, 0},  {2.0f / 3, 0}, {0.5f, 1},
                                  {2.0f / 3, 0},  {1, 0},        {5.0f / 6, 1}};
  // Each particle writes only its own block of vertices and faces.
#pragma omp parallel for schedule(static) if (n >= kParallelParticles)
  for (int k = 0; k < n; ++k) {
    const int i = live[size_t(k)];
    const Point3 p = parts.points[size_t(i)];
    const float s = SizeOf(parts, neighbours, look, i, kDefaultNeighbours);
    const Point3 d = parts.vels[size_t(i)] * (kTailFactor * s);
    const float w = 0.05f * d.Length();
    const Point3 a = d == Point3(0.0f, 1.0f, 0.0f)
                         ? Point3(0.0f, 0.0f, w)
                         : AcrossDirection(Point3(0.0f, -1.0f, 0.0f), d, Point3(1.0f, 0.0f, 0.0f)) * w;
    const Point3 b = CrossProd(d, a).Normalize();
    const int v = 4 * k;
    out.verts[size_t(v)] = (p - d) * toMesh;
    out.verts[size_t(v + 1)] = (p + a) * toMesh;
    out.verts[size_t(v + 2)] = (p + b * w - a) * toMesh;
    out.verts[size_t(v + 3)] = (p - b * w - a) * toMesh;
    const int fv[4][3] = {{v + 2, v + 1, v}, {v + 3, v + 2, v}, {v + 1, v + 3, v}, {v + 3, v + 1, v + 2}};
    for (int f = 0; f < 4; ++f) {
      Face& face = out.faces[size_t(v + f)];
      face.setVerts(fv[f][0], fv[f][1], fv[f][2]);
      FinishFace(face, i);
    }
    const int t = 9 * k;
    for (int j = 0; j < 9; ++j) out.tVerts[size_t(t + j)] = UVVert(kTV[j][0], kTV[j][1], 0.0f);
    out.tvFace[size_t(v)].setTVerts(t, t + 1, t + 2);
    out.tvFace[size_t(v + 1)].setTVerts(t + 3, t + 4, t + 5);
    out.tvFace[size_t(v + 2)].setTVerts(t + 6, t + 7, t + 8);
    out.tvFace[size_t(v + 3)].setTVerts(t, t + 1, t + 2);
  }
  out.InvalidateGeomCache();
}

void BuildFacingMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                     const ParticleLook& look, const Matrix3& toMesh, const Point3& camera,
                     Mesh& out) {
  const std::vector<int> live = LiveParticles(parts);
  const int n = int(live.size());
  out.FreeAll();
  out.setNumVerts(4 * n);
  out.setNumFaces(2 * n);
  out.setNumTVerts(4 * n);
  out.setNumTVFaces(2 * n);
#pragma omp parallel for schedule(static) if (n >= kParallelParticles)
  for (int k = 0; k < n; ++k) {
    const int i = live[size_t(k)];
    const Point3 p = parts.points[size_t(i)];
    const float s = SizeOf(parts, neighbours, look, i, kDefaultFacingNeighbours);
    const Point3 f = FacingDirection(look, p, parts.vels[size_t(i)], camera);
    const Point3 u = AcrossDirection(Point3(0.0f, 0.0f, 1.0f), f, Point3(0.0f, 1.0f, 0.0f)) * s;
    const Point3 v = CrossProd(u, f).Normalize() * s;
    const int b = 4 * k;
    out.verts[size_t(b)] = (p + u + v) * toMesh;
    out.verts[size_t(b + 1)] = (p - u + v) * toMesh;
    out.verts[size_t(b + 2)] = (p - u - v) * toMesh;
    out.verts[size_t(b + 3)] = (p + u - v) * toMesh;
    out.tVerts[size_t(b)] = UVVert(1.0f, 1.0f, 0.0f);
    out.tVerts[size_t(b + 1)] = UVVert(0.0f, 1.0f, 0.0f);
    out.tVerts[size_t(b + 2)] = UVVert(0.0f, 0.0f, 0.0f);
    out.tVerts[size_t(b + 3)] = UVVert(1.0f, 0.0f, 0.0f);
    Face& f0 = out.faces[size_t(2 * k)];
    Face& f1 = out.faces[size_t(2 * k + 1)];
    f0.setVerts(b + 1, b, b + 2);
    f1.setVerts(b + 3, b + 2, b);
    FinishFace(f0, i);
    FinishFace(f1, i);
    out.tvFace[size_t(2 * k)].setTVerts(b + 1, b, b + 2);
    out.tvFace[size_t(2 * k + 1)].setTVerts(b + 3, b + 2, b);
  }
  out.InvalidateGeomCache();
}

void BuildInstancedMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                        const ParticleLook& look, const Matrix3& toMesh, const Point3& camera,
                        const Mesh& instance, Mesh& out) {
  const std::vector<int> live = LiveParticles(parts);
  const int n = int(live.size());
  const int nv = instance.getNumVerts(), nf = instance.getNumFaces(), nt = instance.getNumTVerts();
  const bool textured = nt > 0 && instance.getNumTVFaces() == nf;
  out.FreeAll();
  out.setNumVerts(nv * n);
  out.setNumFaces(nf * n);
  out.setNumTVerts(textured ? nt * n : 0);
  out.setNumTVFaces(textured ? nf * n : 0);
#pragma omp parallel for schedule(static) if (n >= kParallelParticles / 8)
  for (int k = 0; k < n; ++k) {
    const int i = live[size_t(k)];
    const Point3 p = parts.points[size_t(i)];
    const float s = SizeOf(parts, neighbours, look, i, kDefaultNeighbours);
    const Point3 f = FacingDirection(look, p, parts.vels[size_t(i)], camera);
    const Point3 u = AcrossDirection(Point3(0.0f, 0.0f, 1.0f), f, Point3(0.0f, 1.0f, 0.0f));
    const Point3 v = CrossProd(f, u).Normalize();
    const Matrix3 m(u * s, v * s, f * s, Point3(0.0f, 0.0f, 0.0f));
    const size_t vb = size_t(k) * size_t(nv), fb = size_t(k) * size_t(nf);
    for (int j = 0; j < nv; ++j) out.verts[vb + size_t(j)] = (p + instance.verts[size_t(j)] * m) * toMesh;
    for (int j = 0; j < nf; ++j) {
      const Face& src = instance.faces[size_t(j)];
      Face& dst = out.faces[fb + size_t(j)];
      dst.setVerts(int(src.v[0] + vb), int(src.v[1] + vb), int(src.v[2] + vb));
      FinishFace(dst, i);
    }
    if (textured) {
      const size_t tb = size_t(k) * size_t(nt);
      for (int j = 0; j < nt; ++j) out.tVerts[tb + size_t(j)] = instance.tVerts[size_t(j)];
      for (int j = 0; j < nf; ++j) {
        const TVFace& src = instance.tvFace[size_t(j)];
        out.tvFace[fb + size_t(j)].setTVerts(int(src.t[0] + tb), int(src.t[1] + tb), int(src.t[2] + tb));
      }
    }
  }
  out.InvalidateGeomCache();
}

void FlipWhenMirrored(const Matrix3& toMesh, Mesh& mesh) {
  if (DotProd(CrossProd(toMesh.GetRow(0), toMesh.GetRow(1)), toMesh.GetRow(2)) >= 0.0f) return;
  for (int f = 0; f < mesh.getNumFaces(); ++f) mesh.FlipNormal(f);
}
