#include "mesher/mesh_check.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {
// Union-find over 0..n-1 with path halving.
struct Roots {
  std::vector<int32_t> parent;
  explicit Roots(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
  int32_t Find(int32_t x) {
    while (parent[size_t(x)] != x) x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
    return x;
  }
  void Join(int32_t a, int32_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) parent[size_t(std::max(a, b))] = std::min(a, b);
  }
};
}  // namespace

MeshCheck CheckMesh(const MeshRecord& mesh) {
  MeshCheck r;
  const int64_t nV = int64_t(mesh.vertices.size());
  const size_t nF = mesh.faces.size();
  struct HalfEdge {
    int32_t lo, hi;
    int32_t cornerLo, cornerHi;  // face * 3 + slot of each end
    bool forward;                // runs lo -> hi
  };
  std::vector<HalfEdge> he;
  he.reserve(nF * 3);
  // The volume of a closed mesh is the same about any point; about one of
  // its own vertices the products stay small far from the origin, where
  // about the origin they cancelled to nothing but rounding.
  const Point3 ref = nV > 0 ? mesh.vertices[0] : Point3(0.0f, 0.0f, 0.0f);
  for (size_t f = 0; f < nF; ++f) {
    const MeshFace& t = mesh.faces[f];
    bool bad = false;
    for (int s = 0; s < 3; ++s) bad |= t[s] < 0 || t[s] >= nV;
    if (bad || t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
      ++r.degenerateFaces;
      continue;
    }
    const Point3 &a = mesh.vertices[size_t(t[0])], &b = mesh.vertices[size_t(t[1])], &c = mesh.vertices[size_t(t[2])];
    const double ax = double(a.x) - ref.x, ay = double(a.y) - ref.y, az = double(a.z) - ref.z;
    const double bx = double(b.x) - ref.x, by = double(b.y) - ref.y, bz = double(b.z) - ref.z;
    const double cx = double(c.x) - ref.x, cy = double(c.y) - ref.y, cz = double(c.z) - ref.z;
    r.volume += (ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)) / 6.0;
    const double ux = bx - ax, uy = by - ay, uz = bz - az, vx = cx - ax, vy = cy - ay, vz = cz - az;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    r.area += 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
    // Differences of floats, and their products for a face of nearby
    // corners, are exact in double: a zero here
    // is a face that has no area in the stored vertices.
    if (nx == 0.0 && ny == 0.0 && nz == 0.0) ++r.zeroAreaFaces;
    for (int s = 0; s < 3; ++s) {
      const int32_t p = t[s], q = t[(s + 1) % 3];
      const int32_t cp = int32_t(3 * f) + s, cq = int32_t(3 * f) + (s + 1) % 3;
      if (p < q)
        he.push_back({p, q, cp, cq, true});
      else
        he.push_back({q, p, cq, cp, false});
    }
  }
  std::sort(he.begin(), he.end(), [](const HalfEdge& x, const HalfEdge& y) {
    return x.lo != y.lo ? x.lo < y.lo : x.hi < y.hi;
  });
  // Faces join into components through any shared edge; the corners of one
  // vertex join into one fan only through its edges with exactly two faces.
  Roots faces(nF), corners(nF * 3);
  std::vector<uint8_t> pinched(size_t(nV), 0);  // on an edge with more than two faces
  for (size_t s = 0; s < he.size();) {
    size_t e = s;
    int64_t forward = 0;
    while (e < he.size() && he[e].lo == he[s].lo && he[e].hi == he[s].hi) forward += he[e++].forward;
    ++r.edges;
    const int64_t n = int64_t(e - s), backward = n - forward;
    if (n == 1) ++r.boundaryEdges;
    if (n > 2) {
      ++r.nonManifoldEdges;
      pinched[size_t(he[s].lo)] = pinched[size_t(he[s].hi)] = 1;
    }
    r.misorientedEdges += int64_t(forward > 1) + int64_t(backward > 1);
    if (n == 2) {
      corners.Join(he[s].cornerLo, he[s + 1].cornerLo);
      corners.Join(he[s].cornerHi, he[s + 1].cornerHi);
    }
    for (size_t k = s + 1; k < e; ++k) faces.Join(he[s].cornerLo / 3, he[k].cornerLo / 3);
    s = e;
  }
  std::vector<uint8_t> used(nF, 0), fans(size_t(nV), 0), named(size_t(nV), 0);
  for (const HalfEdge& h : he) {
    used[size_t(h.cornerLo / 3)] = 1;
    named[size_t(h.lo)] = named[size_t(h.hi)] = 1;
  }
  for (int64_t v = 0; v < nV; ++v) r.unusedVertices += !named[size_t(v)];
  for (size_t f = 0; f < nF; ++f) {
    if (!used[f]) continue;
    if (faces.Find(int32_t(f)) == int32_t(f)) ++r.components;
    for (int s = 0; s < 3; ++s) {
      const int32_t c = int32_t(3 * f) + s;
      uint8_t& k = fans[size_t(mesh.faces[f][size_t(s)])];
      if (corners.Find(c) == c && k < 2) ++k;
    }
  }
  for (int64_t v = 0; v < nV; ++v) r.nonManifoldVertices += fans[size_t(v)] > 1 || pinched[size_t(v)];
  return r;
}
