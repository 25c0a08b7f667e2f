#include "mesher/mesh_check.h"

#include <algorithm>
#include <numeric>
#include <vector>

MeshCheck CheckMesh(const MeshRecord& mesh) {
  MeshCheck r;
  const int64_t nV = int64_t(mesh.vertices.size());
  struct HalfEdge {
    int32_t lo, hi;
    int32_t face;
    bool forward;  // runs lo -> hi
  };
  std::vector<HalfEdge> he;
  he.reserve(mesh.faces.size() * 3);
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const MeshFace& t = mesh.faces[f];
    bool bad = false;
    for (int s = 0; s < 3; ++s) bad |= t[s] < 0 || t[s] >= nV;
    if (bad || t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
      ++r.degenerateFaces;
      continue;
    }
    const Point3 &a = mesh.vertices[size_t(t[0])], &b = mesh.vertices[size_t(t[1])], &c = mesh.vertices[size_t(t[2])];
    const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z, cx = c.x, cy = c.y, cz = c.z;
    r.volume += (ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)) / 6.0;
    const double ux = bx - ax, uy = by - ay, uz = bz - az, vx = cx - ax, vy = cy - ay, vz = cz - az;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    r.area += 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
    for (int s = 0; s < 3; ++s) {
      int32_t p = t[s], q = t[(s + 1) % 3];
      he.push_back({std::min(p, q), std::max(p, q), int32_t(f), p < q});
    }
  }
  std::sort(he.begin(), he.end(), [](const HalfEdge& x, const HalfEdge& y) {
    return x.lo != y.lo ? x.lo < y.lo : x.hi < y.hi;
  });
  // Union-find over faces joined by edges.
  std::vector<int32_t> parent(mesh.faces.size());
  std::iota(parent.begin(), parent.end(), 0);
  auto find = [&](int32_t x) {
    while (parent[size_t(x)] != x) x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
    return x;
  };
  for (size_t s = 0; s < he.size();) {
    size_t e = s;
    while (e < he.size() && he[e].lo == he[s].lo && he[e].hi == he[s].hi) ++e;
    ++r.edges;
    const size_t n = e - s;
    if (n == 1) ++r.boundaryEdges;
    if (n > 2) ++r.nonManifoldEdges;
    if (n == 2 && he[s].forward == he[s + 1].forward) ++r.misorientedEdges;
    const int32_t root = find(he[s].face);
    for (auto it = he.begin() + long(s) + 1; it != he.begin() + long(e); ++it) {
      const int32_t other = find(it->face);
      if (other != root) parent[size_t(other)] = root;
    }
    s = e;
  }
  std::vector<uint8_t> used(mesh.faces.size(), 0);
  for (const HalfEdge& h : he) used[size_t(h.face)] = 1;
  for (size_t f = 0; f < mesh.faces.size(); ++f)
    if (used[f] && find(int32_t(f)) == int32_t(f)) ++r.components;
  return r;
}
