// Collisions with collider meshes, adhesion, friction, integration and the
// domain kill; the point-to-face distance family.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <omp.h>

#include "fluid_core/solver.h"

namespace {
// A particle's density-pass copy, written past the caches where it can be:
// the next sub-step reads it long after, and an ordinary store first
// fetches each line (and takes it from the cores that read it last), which
// made the closing pass a tenth slower on eight threads. Callers fence
// (StreamFence) before another thread may read it.
inline void StreamInput(PairInput* to, const FluidParticle& p) {
#if defined(__SSE2__)
  static_assert(sizeof(PairInput) == 32, "two aligned 16-byte stores");
  float* d = reinterpret_cast<float*>(to);
  if ((reinterpret_cast<uintptr_t>(d) & 15) == 0) {
    _mm_stream_ps(d, _mm_setr_ps(p.pos.x, p.pos.y, p.pos.z, p.spacing));
    _mm_stream_ps(d + 4, _mm_setr_ps(p.vel.x, p.vel.y, p.vel.z, p.mass));
    return;
  }
#endif
  *to = InputOf(p);
}
inline void StreamFence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}
// Spacings over which adherence's hold grows from nothing at the edge of
// the gap. Grown over a quarter of a spacing, the layer of liquid at a
// wall shook on its own at rest at LOD 4 and 5, where few particles span
// the gap: the neighbour lists, made afresh at each frame's first
// sub-step, kicked it at every frame, and its stored velocity ran to four
// times the interior's against its motion (to 40 host units/s while the
// hold was a pull that drew the liquid in, packing that layer to some 2.7
// times the rest density).
constexpr float kPullRamp = 0.5f;
// Sub-steps a pushed particle needs to cross the gap under the push alone.
constexpr float kPushStepDivisor = 10.0f;
// Bounds of a collider's face index: cells per axis, and list entries
// beyond one a face (the cells grow until the lists fit).
constexpr int kFaceIndexMaxDim = 256;
constexpr int64_t kFaceIndexMaxEntries = int64_t(1) << 22;

struct V3d {
  double x, y, z;
};
V3d D3(const Vec3f& v) { return {v.x, v.y, v.z}; }
V3d D3(const Point3& v) { return {v.x, v.y, v.z}; }
V3d Sub(const V3d& a, const V3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double CrossLen(const V3d& a, const V3d& b) {
  double x = a.y * b.z - a.z * b.y, y = a.z * b.x - a.x * b.z, z = a.x * b.y - a.y * b.x;
  return std::sqrt(x * x + y * y + z * z);
}

bool FaceValid(const ColliderMesh& mesh, int f) {
  if (f < 0 || f >= mesh.FaceCount() || f >= (int)mesh.faceNormal.size() ||
      f >= (int)mesh.faceArea2.size())
    return false;
  const MeshFace& face = mesh.mesh.faces[f];
  const int nv = mesh.mesh.VertexCount();
  for (int v : face)
    if (v < 0 || v >= nv) return false;
  return mesh.faceArea2[f] > 0.0f;
}

// How far p lies from face f's plane, positive on the side its normal
// points to (f's corners valid).
float PlaneOffset(const ColliderMesh& mesh, int f, const Vec3f& p) {
  const Point3& V0 = mesh.mesh.vertices[mesh.mesh.faces[f][0]];
  const Vec3f& N = mesh.faceNormal[f];
  return N.x * (p.x - V0.x) + N.y * (p.y - V0.y) + N.z * (p.z - V0.z);
}

// Distance from p to the face's plane, the vector to the foot, and whether
// the foot lies within the face. The inside test sums the doubled areas of
// the three triangles the foot makes with the edges, in double precision and
// with a tolerance that grows with the face, so large ground polygons hold.
void FaceQuery(const ColliderMesh& mesh, int f, const Vec3f& p, float maxDistance, float& distance,
               bool& hit, Vec3f& toPlane) {
  hit = false;
  distance = 0.0f;
  toPlane = Vec3f();
  if (!FaceValid(mesh, f)) {
    distance = 1e30f;
    return;
  }
  const MeshFace& face = mesh.mesh.faces[f];
  const Vec3f& N = mesh.faceNormal[f];
  const Point3& V0 = mesh.mesh.vertices[face[0]];
  const float e = PlaneOffset(mesh, f, p);
  distance = std::fabs(e);
  toPlane = N * (-e);
  if (distance > maxDistance) return;
  V3d P = D3(p), n = D3(N);
  double ed = n.x * (P.x - V0.x) + n.y * (P.y - V0.y) + n.z * (P.z - V0.z);
  V3d foot{P.x - ed * n.x, P.y - ed * n.y, P.z - ed * n.z};
  V3d a = D3(mesh.mesh.vertices[face[0]]), b = D3(mesh.mesh.vertices[face[1]]),
      c = D3(mesh.mesh.vertices[face[2]]);
  double sum = CrossLen(Sub(a, c), Sub(foot, c)) + CrossLen(Sub(foot, a), Sub(b, a)) +
               CrossLen(Sub(foot, b), Sub(c, b));
  double area2 = mesh.faceArea2[f];
  double tol = std::max(0.001, 1e-5 * area2);
  hit = std::fabs(sum - area2) < tol;
}

// Edges where the neighbouring face bends away by more than this are rims
// (the sides of a box; not the seams of a flat side or of a round mesh).
const float kRimFoldCos = 0.866f;  // 30 degrees

// A seam whose faces bend by less than this (in the sine of the angle) is
// flat: a floor split into triangles has no ridge.
const float kRidgeSine = 1e-3f;

// Which edges of each face are rims: edges of one face only (or of more
// than two), or where the next face folds away; and which seams are ridges
// seen from either side. Corners are matched by position, since meshes
// often repeat a corner for each side.
void FindRims(const ColliderMesh& mesh, int nf, std::vector<uint16_t>& rims, std::vector<Vec3f>& across) {
  rims.assign(size_t(nf), 0);
  across.assign(size_t(nf) * 3, Vec3f());
  const std::vector<Point3>& vs = mesh.mesh.vertices;
  std::vector<int> order(vs.size());
  for (size_t v = 0; v < vs.size(); ++v) order[v] = int(v);
  auto less = [&](int a, int b) {
    const Point3 &p = vs[size_t(a)], &q = vs[size_t(b)];
    return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.z < q.z;
  };
  std::sort(order.begin(), order.end(), less);
  std::vector<int> corner(vs.size());
  for (size_t k = 0; k < order.size(); ++k)
    corner[size_t(order[k])] = k > 0 && !less(order[k - 1], order[k]) ? corner[size_t(order[k - 1])] : int(k);
  struct Edge {
    int lo, hi, face, k;
  };
  std::vector<Edge> edges;
  edges.reserve(size_t(nf) * 3);
  for (int f = 0; f < nf; ++f) {
    if (!FaceValid(mesh, f)) continue;
    const MeshFace& face = mesh.mesh.faces[size_t(f)];
    for (int k = 0; k < 3; ++k) {
      const int a = corner[size_t(face[k])], b = corner[size_t(face[(k + 1) % 3])];
      edges.push_back({std::min(a, b), std::max(a, b), f, k});
    }
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
    return a.lo != b.lo ? a.lo < b.lo : a.hi != b.hi ? a.hi < b.hi : a.face != b.face ? a.face < b.face : a.k < b.k;
  });
  // The direction from the edge into the face, in the face's plane.
  auto inward = [&](const Edge& e) {
    const MeshFace& face = mesh.mesh.faces[size_t(e.face)];
    const Point3 &a = vs[size_t(face[e.k])], &b = vs[size_t(face[(e.k + 1) % 3])],
                 &c = vs[size_t(face[(e.k + 2) % 3])];
    Vec3f along(b.x - a.x, b.y - a.y, b.z - a.z), in(c.x - a.x, c.y - a.y, c.z - a.z);
    Vec3NormalizeSafe(along);
    in -= along * Vec3Dot(in, along);
    Vec3NormalizeSafe(in);
    return in;
  };
  for (size_t k = 0; k < edges.size();) {
    size_t end = k + 1;
    while (end < edges.size() && edges[end].lo == edges[k].lo && edges[end].hi == edges[k].hi) ++end;
    // Two faces going on from each other in about one plane point away
    // from the edge in opposite directions.
    const bool seam = end - k == 2 && Vec3Dot(inward(edges[k]), inward(edges[k + 1])) < -kRimFoldCos;
    if (!seam)
      for (size_t e = k; e < end; ++e) rims[size_t(edges[e].face)] |= uint16_t(1u << edges[e].k);
    else
      for (size_t e = k; e < k + 2; ++e) {
        // Where the other face goes, seen from this one's plane.
        const Vec3f other = inward(edges[e == k ? k + 1 : k]);
        const float bend = Vec3Dot(mesh.faceNormal[size_t(edges[e].face)], other);
        if (bend < -kRidgeSine) rims[size_t(edges[e].face)] |= uint16_t(1u << (3 + edges[e].k));
        if (bend > kRidgeSine) rims[size_t(edges[e].face)] |= uint16_t(1u << (6 + edges[e].k));
        across[size_t(edges[e].face) * 3 + size_t(edges[e].k)] = other;
      }
    k = end;
  }
}

// Beyond a rim the push follows the nearest point of the face, so that it
// grows from nothing as a particle comes round the rim: switched on at full
// strength as the particle passes the plane of the side below a rim (a
// particle flowing over the edge of a ramp or a box), it threw the particle
// off at many times its speed. Beyond the line of a seam the next face
// pushes instead, unless the two bend away from the particle's side (a
// `ridges` edge) and it lies beyond the edge on both: then no other face is
// nearer. False where neither holds; otherwise the vector to the nearest
// point of the face and its length. `toPlane` is the vector from p to the
// face's plane.
bool RimQuery(const ColliderMesh& mesh, int f, unsigned rims, unsigned ridges, const Vec3f& p,
              const Vec3f& toPlane, Vec3f& toFace, float& distance) {
  const MeshFace& face = mesh.mesh.faces[size_t(f)];
  const Vec3f& N = mesh.faceNormal[size_t(f)];
  Vec3f v[3];
  for (int k = 0; k < 3; ++k) {
    const Point3& c = mesh.mesh.vertices[size_t(face[k])];
    v[k] = Vec3f(c.x, c.y, c.z);
  }
  const Vec3f q = p + toPlane;  // in the face's plane
  bool beyond = false;
  for (int k = 0; k < 3; ++k) {
    const Vec3f& a = v[k];
    if (Vec3Dot(Vec3Cross(v[(k + 1) % 3] - a, q - a), N) >= 0.0f) continue;  // inside this edge
    const bool ridge = (ridges & (1u << k)) && Vec3Dot(p - a, mesh.faceIndex.across[size_t(f) * 3 + size_t(k)]) < 0.0f;
    if (!(rims & (1u << k)) && !ridge) return false;
    beyond = true;
  }
  if (!beyond) return false;
  float best = 1e30f;
  Vec3f nearest;
  for (int k = 0; k < 3; ++k) {
    const Vec3f& a = v[k];
    const Vec3f ab = v[(k + 1) % 3] - a;
    const float l2 = Vec3LengthSq(ab);
    const float t = l2 > 0.0f ? std::min(1.0f, std::max(0.0f, Vec3Dot(q - a, ab) / l2)) : 0.0f;
    const Vec3f c = a + ab * t;
    const float d2 = Vec3LengthSq(q - c);
    if (d2 < best) {
      best = d2;
      nearest = c;
    }
  }
  toFace = nearest - p;
  distance = Vec3Length(toFace);
  return true;
}

// How fast the size of AdhesionForce(n * D, radius, D) grows as D falls.
float PushStiffness(float radius, float D) {
  float s = radius == 0.0f ? 0.27f : radius;
  const float t = 2.0f - D / s;
  return t > 0.0f ? 2.0f * t * 3.0f / (s * s * s * 12.566371f * s * s) : 0.0f;
}

// The limit of AdhesionForce(n * D, s, D) as D goes to 0.
Vec3f AdhesionAtContact(const Vec3f& n, float radius) {
  float s = radius == 0.0f ? 0.27f : radius;
  return n * (1.0f / (s * s * s * 12.566371f) * 4.0f * (1.0f / s) * -3.0f);
}
}  // namespace

void ColliderMesh::BuildFaceIndex() {
  FaceIndex& x = faceIndex;
  const int nf = std::min<int>(FaceCount(), int(faceBox.size() / 6));
  // The planes follow the faces as they are now, whatever the boxes say.
  x.planes.assign(size_t(nf), FaceIndex::Plane());
  for (int f = 0; f < nf; ++f) {
    if (!FaceValid(*this, f)) continue;
    const Point3& v0 = mesh.vertices[size_t(mesh.faces[size_t(f)][0])];
    x.planes[size_t(f)] = {faceNormal[size_t(f)], Vec3f(v0.x, v0.y, v0.z)};
  }
  // The frame driver rebuilds a still collider with the same boxes every
  // sub-step: an index (and rims) built from exactly these boxes stands.
  if (x.boxes.size() == size_t(nf) * 6 && x.rims.size() == size_t(nf) &&
      std::equal(x.boxes.begin(), x.boxes.end(), faceBox.begin()))
    return;
  FindRims(*this, nf, x.rims, x.across);
  x.used = false;
  x.boxes.clear();
  if (nf < 32) {  // a plain scan is as quick
    x.boxes.assign(faceBox.begin(), faceBox.begin() + std::ptrdiff_t(nf) * 6);
    return;
  }
  float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
  double extent = 0.0;
  int boxes = 0;
  for (int f = 0; f < nf; ++f) {
    const float* b = &faceBox[size_t(f) * 6];
    if (!(b[0] <= b[3] && b[1] <= b[4] && b[2] <= b[5])) continue;
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], b[a]);
      hi[a] = std::max(hi[a], b[a + 3]);
    }
    extent += std::max({b[3] - b[0], b[4] - b[1], b[5] - b[2]});
    ++boxes;
  }
  if (boxes == 0 || !std::isfinite(extent)) return;
  // Cells a quarter of a typical box: a cell then lists little more than the
  // faces whose boxes hold a point of it. A cell as large as a box listed
  // some eight times as many, and every particle tested all of them (a
  // round bowl's pole gathers dozens of thin faces).
  const float span = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  float cell = std::max(float(extent / boxes) / 4.0f, span / float(kFaceIndexMaxDim));
  if (!(cell > 0.0f) || !std::isfinite(cell)) return;
  int dims[3];
  std::vector<int> c0(size_t(nf) * 3), c1(size_t(nf) * 3);
  auto axisCell = [&](int a, float v, float inv) {
    int c = int(std::floor((v - lo[a]) * inv));
    return std::max(0, std::min(dims[a] - 1, c));
  };
  // A few large faces among small ones would be listed in very many cells:
  // the cells grow until the lists stay within a bound.
  for (;;) {
    const float inv = 1.0f / cell;
    for (int a = 0; a < 3; ++a) dims[a] = std::max(1, std::min(kFaceIndexMaxDim, int((hi[a] - lo[a]) * inv) + 1));
    int64_t entries = 0;
    for (int f = 0; f < nf; ++f) {
      const float* b = &faceBox[size_t(f) * 6];
      if (!(b[0] <= b[3] && b[1] <= b[4] && b[2] <= b[5])) {
        c0[size_t(f) * 3] = 1;  // empty range: listed nowhere
        c1[size_t(f) * 3] = 0;
        continue;
      }
      int64_t n = 1;
      for (int a = 0; a < 3; ++a) {
        c0[size_t(f) * 3 + a] = axisCell(a, b[a], inv);
        c1[size_t(f) * 3 + a] = axisCell(a, b[a + 3], inv);
        n *= c1[size_t(f) * 3 + a] - c0[size_t(f) * 3 + a] + 1;
      }
      entries += n;
    }
    if (entries <= kFaceIndexMaxEntries + int64_t(nf) * 64 || cell >= span) break;
    cell *= 2.0f;
  }
  x.invCell = 1.0f / cell;
  size_t total = 1;
  for (int a = 0; a < 3; ++a) {
    x.lo[a] = lo[a];
    x.dims[a] = dims[a];
    total *= size_t(dims[a]);
  }
  auto visit = [&](int f, auto&& fn) {
    const int* a = &c0[size_t(f) * 3];
    const int* b = &c1[size_t(f) * 3];
    for (int k = a[2]; k <= b[2]; ++k)
      for (int j = a[1]; j <= b[1]; ++j)
        for (int i = a[0]; i <= b[0]; ++i) fn((size_t(k) * size_t(dims[1]) + size_t(j)) * size_t(dims[0]) + size_t(i));
  };
  std::vector<int>& counts = x.cellStart;
  counts.assign(total + 1, 0);
  for (int f = 0; f < nf; ++f) visit(f, [&](size_t c) { ++counts[c + 1]; });
  for (size_t c = 0; c < total; ++c) counts[c + 1] += counts[c];
  x.faces.resize(size_t(counts[total]));
  // Filled from the back, face by face downwards: each cell ends up with its
  // faces in ascending order and its start where the prefix sum put it.
  std::vector<int> fill(counts.begin() + 1, counts.end());
  for (int f = nf - 1; f >= 0; --f) visit(f, [&](size_t c) { x.faces[size_t(--fill[c])] = f; });
  x.boxes.assign(faceBox.begin(), faceBox.begin() + std::ptrdiff_t(nf) * 6);
  x.used = true;
}

bool ColliderMesh::FaceCandidates(const Vec3f& p, const int*& begin, const int*& end) const {
  begin = end = nullptr;
  const FaceIndex& x = faceIndex;
  if (!x.used) return true;
  int c[3];
  const float v[3] = {p.x, p.y, p.z};
  for (int a = 0; a < 3; ++a) {
    float t = std::floor((v[a] - x.lo[a]) * x.invCell);
    if (!(t >= 0.0f)) {
      // Below the grid (or NaN): no box can hold p, except on the edge itself.
      if (!(v[a] >= x.lo[a])) return false;
      t = 0.0f;
    }
    c[a] = std::min(x.dims[a] - 1, int(std::min(t, 1e9f)));
  }
  size_t cell = (size_t(c[2]) * x.dims[1] + c[1]) * x.dims[0] + c[0];
  begin = x.faces.data() + x.cellStart[cell];
  end = x.faces.data() + x.cellStart[cell + 1];
  return true;
}

void FaceDistance(const ColliderMesh& mesh, int f, const Vec3f& p, float maxDistance,
                  float& distance, bool& hit, Vec3f& foot) {
  Vec3f toPlane;
  FaceQuery(mesh, f, p, maxDistance, distance, hit, toPlane);
  foot = p + toPlane;
}

void FluidSolver::ColliderFaceDistance(const ColliderMesh& mesh, int f, const Vec3f& p,
                                       float maxDistance, float& distance, bool& hit,
                                       Vec3f& toPlane) {
  FaceQuery(mesh, f, p, maxDistance, distance, hit, toPlane);
}

bool FirstFaceWithin(const ColliderMesh& mesh, const Vec3f& p, float maxDistance, int& face,
                     Vec3f& foot) {
  for (int f = 0; f < mesh.FaceCount(); ++f) {
    float d;
    bool hit;
    Vec3f ft;
    FaceDistance(mesh, f, p, maxDistance, d, hit, ft);
    if (hit && d < maxDistance) {
      face = f;
      foot = ft;
      return true;
    }
  }
  return false;
}

void NearestFace(const ColliderMesh& mesh, const Vec3f& p, int& face, Vec3f& foot) {
  face = 0;
  foot = Vec3f();
  float best = 1e6f;
  bool found = false;
  for (int f = 0; f < mesh.FaceCount(); ++f) {
    float d;
    bool hit;
    Vec3f ft;
    FaceDistance(mesh, f, p, 1e6f, d, hit, ft);
    if (hit && (!found || d < best)) {
      best = d;
      face = f;
      foot = ft;
      found = true;
    }
  }
}

// How far p lay from face f's plane where the face stood when the step
// began (its `stepStartVertices`), or `now` when the face was flat then.
float StartPlaneOffset(const ColliderMesh& mesh, int f, const Vec3f& p, float now) {
  const MeshFace& face = mesh.mesh.faces[f];
  const Vec3f& A = mesh.stepStartVertices[face[0]];
  Vec3f n = Vec3Cross(mesh.stepStartVertices[face[1]] - A, mesh.stepStartVertices[face[2]] - A);
  if (!Vec3NormalizeSafe(n)) return now;
  return Vec3Dot(n, p - A);
}

// How fast face f's plane moves along its normal at p, in units a second
// (f's corners valid): 0 for a collider that stands still.
float PlaneSpeedAt(const ColliderMesh& mesh, int f, const Vec3f& p) {
  if (mesh.vertexVelocity.size() != mesh.mesh.vertices.size()) return 0.0f;
  const MeshFace& face = mesh.mesh.faces[f];
  for (int v : face)
    if (v < 0 || v >= mesh.mesh.VertexCount()) return 0.0f;
  const Point3 &A = mesh.mesh.vertices[face[0]], &B = mesh.mesh.vertices[face[1]], &C = mesh.mesh.vertices[face[2]];
  const Vec3f a(A.x, A.y, A.z), ab = Vec3f(B.x, B.y, B.z) - a, ac = Vec3f(C.x, C.y, C.z) - a, ap = p - a;
  const Vec3f n = Vec3Cross(ab, ac);
  const float nn = Vec3Dot(n, n);
  if (!(nn > 0.0f)) return 0.0f;
  // Barycentric weights of p's foot, outside the face too: there the
  // affine velocity of a rigid motion still holds.
  const float wb = Vec3Dot(Vec3Cross(ap, ac), n) / nn, wc = Vec3Dot(Vec3Cross(ab, ap), n) / nn;
  const Vec3f u = mesh.vertexVelocity[face[0]] * (1.0f - wb - wc) + mesh.vertexVelocity[face[1]] * wb +
                  mesh.vertexVelocity[face[2]] * wc;
  return Vec3Dot(u, mesh.faceNormal[f]);
}

// How fast face f moves along its normal at p: the speed at p on a collider
// whose vertices carry velocities (one that turns moves unevenly), else the
// face's own; 0 where none is known.
float FaceSpeedAt(const ColliderMesh& mesh, int f, const Vec3f& p) {
  if (!mesh.vertexVelocity.empty()) return PlaneSpeedAt(mesh, f, p);
  return size_t(f) < mesh.faceNormalSpeed.size() ? mesh.faceNormalSpeed[size_t(f)] : 0.0f;
}

bool FaceSide(const ColliderMesh& mesh, const Vec3f& p, int f) { return PlaneOffset(mesh, f, p) > 0.0f; }

void ReflectAcrossFace(const ColliderMesh& mesh, Vec3f& p, int f, bool /*side*/) {
  // Mirror back across the plane whichever side the particle ended on.
  p += mesh.faceNormal[f] * (PlaneOffset(mesh, f, p) * -2.0f);
}

float FluidSolver::CollisionReach(float spacing) { return 1.3333f * spacing; }

float FluidSolver::ContactGap(float gap, float spacing) {
  const float lo = 0.66f * spacing, hi = CollisionReach(spacing);
  // Beyond the reach the distance term d + R - gap goes negative: the push
  // then grows far past its contact value and the step bound it sets is the
  // root of a negative number.
  if (!(gap > lo)) return lo;  // NaN too
  return gap < hi ? gap : hi;
}

void FluidSolver::Park(FluidParticle& p, const Vec3f& parking) {
  // A parked particle is no longer moving: its frames show it at rest.
  p.pos = parking;
  p.vel = Vec3f();
  p.dead = 1;
}

Vec3f FluidSolver::AdhesionForce(const Vec3f& v, float radius, float D) {
  if (D == 0.0f) return Vec3f();  // no direction to take from v = 0
  float s = radius == 0.0f ? 0.27f : radius;
  float t = 2.0f - D / s;
  return v * (1.0f / (s * s * s * 12.566371f)) * (t * t) * (1.0f / s) * (-3.0f / D);
}

namespace {
// Where face f of K reaches a particle at p: the unit vector toward the face
// and the distance term D = d + R - gap, d being the distance to the face's
// plane, or beyond a rim to the face's nearest point (`over` false). False
// when the face does not reach p.
// Whether a face box (min xyz, max xyz) holds p: all six tests before one
// branch, since which of them fails is hard to predict.
bool InBox(const float* box, const Vec3f& p) {
  return (p.x >= box[0]) & (p.x <= box[3]) & (p.y >= box[1]) & (p.y <= box[4]) & (p.z >= box[2]) &
         (p.z <= box[5]);
}

bool FaceContact(const ColliderMesh& K, int f, const Vec3f& p, float R, float gap, Vec3f& nrm, float& D,
                 bool& over, float* planeDistance = nullptr) {
  if (!InBox(&K.faceBox[size_t(f) * 6], p)) return false;
  const float e = K.faceIndex.PlaneDistance(f, p);
  if (planeDistance) *planeDistance = e;
  if (e > R) return false;  // no hit
  float d;
  Vec3f toPlane;
  FaceQuery(K, f, p, R, d, over, toPlane);
  if (!over) {
    // A killer parks what reaches its faces; beyond its rims nothing. Beyond
    // a ridge on the particle's side the face's nearest point reaches it
    // too: over a ball's gentle folds no face lies under a particle.
    const std::vector<uint16_t>& rims = K.faceIndex.rims;
    const unsigned all = K.particleKiller || size_t(f) >= rims.size() ? 0u : rims[size_t(f)];
    if (!all) return false;
    const bool front = Vec3Dot(toPlane, K.faceNormal[size_t(f)]) < 0.0f;
    const unsigned rim = all & 7u, ridges = (all >> (front ? 3 : 6)) & 7u;
    if (!(rim | ridges) || !RimQuery(K, f, rim, ridges, p, toPlane, toPlane, d)) return false;
  }
  D = d + R - gap;
  float len = Vec3Length(toPlane);
  if (!(len > 0.0f)) return false;  // on the plane: no direction to push along
  nrm = toPlane * (1.0f / len);
  return true;
}

// Calls fn(f) for each face of K whose box may hold p, in ascending order,
// until fn returns false.
template <class Fn>
void ForFacesAt(const ColliderMesh& K, const Vec3f& p, Fn&& fn) {
  const int nf = std::min<int>(K.FaceCount(), int(K.faceBox.size() / 6));
  const int* cand = nullptr;
  const int* candEnd = nullptr;
  if (!K.FaceCandidates(p, cand, candEnd)) return;  // outside every face box
  const bool indexed = cand != nullptr;
  const int steps = indexed ? int(candEnd - cand) : nf;
  for (int step = 0; step < steps; ++step)
    if (!fn(indexed ? cand[step] : step)) return;
}

// ForFacesAt for a point that stays where it is during the walk. Without an
// index (few faces) every box is tested first, branch-free, and fn sees only
// the faces whose box holds p, which are few: the faces fn would have
// passed over at once are skipped, in the same order.
template <class Fn>
void ForFacesHolding(const ColliderMesh& K, const Vec3f& p, Fn&& fn) {
  const int nf = std::min<int>(K.FaceCount(), int(K.faceBox.size() / 6));
  if (K.faceIndex.used || nf > 32) {
    ForFacesAt(K, p, fn);
    return;
  }
  uint32_t holds = 0;
#if defined(__SSE2__)
  // InBox four lanes at a time: the lower corner against (x, y, z, -), the
  // upper one against (-, x, y, z), loaded from the box's floats 0..3 and
  // 2..5. Every particle tests every face here, most of them far from any.
  const __m128 lower = _mm_setr_ps(p.x, p.y, p.z, 0.0f), upper = _mm_setr_ps(0.0f, p.x, p.y, p.z);
  const float* box = K.faceBox.data();
  for (int f = 0; f < nf; ++f, box += 6) {
    const int above = _mm_movemask_ps(_mm_cmpge_ps(lower, _mm_loadu_ps(box)));
    const int below = _mm_movemask_ps(_mm_cmple_ps(upper, _mm_loadu_ps(box + 2)));
    holds |= uint32_t(((above & 7) == 7) & ((below & 14) == 14)) << f;
  }
#else
  for (int f = 0; f < nf; ++f) holds |= uint32_t(InBox(&K.faceBox[size_t(f) * 6], p)) << f;
#endif
  for (; holds; holds &= holds - 1)
    if (!fn(__builtin_ctz(holds))) return;
}

// A face's push on one particle, kept until every face has been seen (plain
// floats: most particles meet no face, and they make no list): its
// direction (toward the face), force, depth term and how fast the force
// grows with depth; the face, its adherence, and whether the particle is
// over it (rather than beyond a rim or seam).
struct Push {
  float n[3], force[3];
  float D, accel, stiffness;
  ColliderMesh* K;
  int face;
  float adherence;
  bool over, acts;
};

// The pushes a particle meets, in the order of their faces: a few on the
// stack, more (round a fine mesh's pole) in a list of their own.
class PushList {
 public:
  void Add(const Push& q) {
    if (n_ < kLocal) {
      local_[n_++] = q;
      return;
    }
    Spill(q);
  }
  Push* begin() { return n_ <= kLocal ? local_ : more_.data(); }
  Push* end() { return begin() + n_; }
  size_t size() const { return n_; }

 private:
  static constexpr size_t kLocal = 16;
  void Spill(const Push& q) {
    if (n_ == kLocal) more_.assign(local_, local_ + kLocal);
    more_.push_back(q);
    n_ = more_.size();
  }
  Push local_[kLocal];
  size_t n_ = 0;
  std::vector<Push> more_;
};

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Of pushes along about one direction (within the fold of a seam) only the
// strongest acts: faces that meet at a ridge or around a ball's pole each
// reach a particle there, and their sum threw the liquid off many times
// harder than a flat face would. Pushes at larger angles (a floor and a
// wall) all act. Taken from the strongest (least D; the earlier face on a
// tie) down, each acts unless one that acts already points about its way.
void KeepStrongest(PushList& pushes) {
  const size_t n = pushes.size();
  if (n < 2) return;
  Push* q = pushes.begin();
  uint32_t few[16];
  std::vector<uint32_t> many(n > 16 ? n : 0);
  uint32_t* order = n > 16 ? many.data() : few;
  for (size_t a = 0; a < n; ++a) order[a] = uint32_t(a);
  for (size_t a = 1; a < n; ++a)  // few: insertion keeps equal D in face order
    for (size_t b = a; b > 0 && q[order[b]].D < q[order[b - 1]].D; --b) std::swap(order[b], order[b - 1]);
  for (size_t a = 1; a < n; ++a) {
    Push& weaker = q[order[a]];
    for (size_t b = 0; b < a && weaker.acts; ++b)
      if (q[order[b]].acts && Dot(weaker.n, q[order[b]].n) > kRimFoldCos) weaker.acts = false;
  }
}
}  // namespace

bool FluidSolver::CollideOne(int i, const Vec3f& parking, float* clearanceOut, FacePushes* pushesOut) {
  FluidParticle& p = particles[i];
  p.collided = 0;
  if (pushesOut) pushesOut->count = 0;
  if (p.dead || !p.active) return false;
  float clearance = std::numeric_limits<float>::max();
  const SolverSource* src = SourceOf(p);
  const bool over = src && src->overridesObjectParams != 0;
  const float s = p.spacing;
  PushList pushes;
  // The pushes act in the order of their faces, as they were found; on a
  // particle that a killer parks, all of them (it moves no more).
  auto act = [&](bool strongest) {
    if (strongest) KeepStrongest(pushes);
    const Push* holds = nullptr;
    for (const Push& q : pushes) {
      if (!q.acts) continue;
      p.accel += Vec3f(q.force[0], q.force[1], q.force[2]);
      if (q.accel > 0.0f) p.dtLimit = std::min(p.dtLimit, std::sqrt(2.0f * q.D / q.accel) / kPushStepDivisor);
      if (pushesOut) {
        // A moving face's speed along the push: along its normal, as the
        // collider list keeps it.
        const Vec3f toward(q.n[0], q.n[1], q.n[2]);
        pushesOut->Add(toward, q.stiffness,
                       FaceSpeedAt(*q.K, q.face, p.pos) * Vec3Dot(q.K->faceNormal[size_t(q.face)], toward));
      }
      if (q.adherence > 0.0f && (!holds || q.D < holds->D)) holds = &q;
    }
    // Adherence, friction and bounce act where a face pushes, toward that
    // face on the particle's side, and from the strongest push that
    // sticks. Over a wider reach, or along the face's normal whichever side
    // the particle is on, a particle held where push and pull balance was
    // thrown off as it passed a rim or seam (the pull ended there while the
    // push went on), and inside a closed mesh the pull pushed the liquid
    // off every wall.
    // The pull grows from nothing at the edge of the gap, over half a
    // spacing (`kPullRamp`): switched on at full strength there, it was on or
    // off by turns for the layer of liquid at that edge, whose stored
    // velocity then shook at many times its motion. `adhesion` keeps its
    // direction (away from the face) and that share.
    if (holds) {
      const Vec3f toward(holds->n[0], holds->n[1], holds->n[2]);
      p.face = holds->face;
      p.collider = holds->K;
      p.adhesion = toward * -std::min(1.0f, (CollisionReach(s) - holds->D) / (kPullRamp * s));
      p.collided = holds->over ? 1 : 2;
    }
  };
  bool parked = false;
  for (ColliderMesh* K : colliders) {
    const float gap = ContactGap(over ? src->collisionGap : K->collisionGap, s);
    if (!K->collide) continue;
    const float R = CollisionReach(s);
    const float adherence = over ? src->adherence : K->adherence;
    ForFacesHolding(*K, p.pos, [&](int f) {
      Vec3f nrm;
      float D;
      bool hit;
      float plane = std::numeric_limits<float>::max();
      const bool contact = FaceContact(*K, f, p.pos, R, gap, nrm, D, hit, &plane);
      if (!K->particleKiller) clearance = std::min(clearance, plane);
      if (!contact) return true;
      if (D >= 2.0f * R) return true;
      float tHit = D / Vec3Dot(nrm, p.vel);
      if (tHit > 0.0f) p.dtLimit = std::min(p.dtLimit, tHit / 25.0f);
      if (D >= R) return true;
      // The push grows from zero at the edge of the gap rather than
      // switching on at full strength there: a force that jumps while the
      // step is evaluated at its start does work on every crossing, and a
      // particle resting on a face was kicked off it again and again. For
      // the same reason the step is kept short while the push acts, also
      // when the particle moves away from the face (the limit above only
      // holds while it approaches).
      const Vec3f A = D != 0.0f ? AdhesionForce(nrm * D, s, D) : AdhesionAtContact(nrm, s);
      const Vec3f force = (A - AdhesionForce(nrm * R, s, R)) * (p.mass * 1.855f);
      Push q{{nrm.x, nrm.y, nrm.z}, {force.x, force.y, force.z}, D, Vec3Length(force),
             PushStiffness(s, D) * p.mass * 1.855f, K, f, adherence, hit, true};
      pushes.Add(q);
      if (K->particleKiller) {
        act(false);
        Park(p, parking);
        parked = true;
        return false;  // counted once, and no further face sees the parking spot
      }
      return true;
    });
    if (parked) return true;
  }
  if (pushes.size()) act(true);
  if (clearanceOut) *clearanceOut = clearance;
  return false;
}

bool FluidSolver::StartClearOfFaces(Vec3f& pos, const Vec3f& vel, const SolverSource& source) const {
  // A particle that starts inside the push of a face leaves with all the
  // work of the push from there, up to some 37 solver units/s: an emitter a
  // few units from a wall threw its nearest particles across the tank. One
  // that moves across the face (30 degrees or more from it, to or from it)
  // starts where the push begins instead, as if it had come that far; one
  // that moves along the face would be piled onto its neighbours by that,
  // and is not emitted: the face holds that space. Killers park what they
  // reach.
  const float s = source.spacing, R = CollisionReach(s);
  const float speed = Vec3Length(vel);
  bool clear = true;
  for (const ColliderMesh* K : colliders) {
    if (!K->collide || K->particleKiller) continue;
    const float gap = ContactGap(source.overridesObjectParams ? source.collisionGap : K->collisionGap, s);
    ForFacesAt(*K, pos, [&](int f) {
      Vec3f nrm;
      float D;
      bool hit;
      if (!FaceContact(*K, f, pos, R, gap, nrm, D, hit) || !(D < R)) return true;
      if (!(std::fabs(Vec3Dot(vel, nrm)) >= 0.5f * speed && speed > 0.0f)) {
        clear = false;
        return false;
      }
      pos -= nrm * (R - D);
      return true;
    });
    if (!clear) return false;
  }
  return true;
}

void FacePushes::Add(const Vec3f& dir, float k, float speed) {
  int at = count;
  if (count == kMost) {
    at = 0;
    for (int j = 1; j < kMost; ++j)
      if (stiffness[j] < stiffness[at]) at = j;
    if (!(k > stiffness[at])) return;
  } else {
    ++count;
  }
  toward[at] = dir;
  stiffness[at] = k;
  faceSpeed[at] = speed;
}

void FluidSolver::PrepareColliders() {
  facesMove_ = false;
  for (ColliderMesh* K : colliders) {
    K->BuildFaceIndex();
    facesMove_ = facesMove_ || (K->collide && !K->stepStartVertices.empty());
  }
}

void FluidSolver::CollideWithObjects() {
  RecordsChanged();
  const int n = count;
  int killed = 0;
  const Vec3f parking = parkingPos;
  PrepareColliders();
  if (facePushes_.size() < size_t(n)) facePushes_.resize(size_t(n));
  // Dynamic, so particles that touch many faces do not hold up a thread;
  // chunks of 64 rather than 1, since handing out 100000 single slots
  // through one shared counter costs more than the collisions themselves.
#pragma omp parallel for schedule(dynamic, 64) reduction(+ : killed) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) killed += CollideOne(i, parking, nullptr, &facePushes_[size_t(i)]) ? 1 : 0;
  killedCount += killed;
}

void FluidSolver::FrictionOne(FluidParticle& p) const {
  if (p.dead || !p.active || !p.collided) return;
  const SolverSource* src = SourceOf(p);
  float friction;
  if (src && src->overridesObjectParams)
    friction = src->friction;
  else if (p.collider)
    friction = p.collider->friction;
  else
    return;
  // Beyond 0..100 the factor would reverse or amplify the velocity.
  friction = std::min(100.0f, std::max(0.0f, friction));
  p.vel *= (100.0f - friction * 0.15f) * 0.01f;
}

namespace {
// Points of a long step whose faces are tested; a step longer than this
// many reaches leaves any scene's clip box.
constexpr float kMaxStepSamples = 4096.0f;
// How far from a face's plane, in particle spacings, a step that would end
// on it or beyond ends at least.
constexpr float kLeastClearance = 1e-4f;
}  // namespace

void FluidSolver::KeepOnItsSide(Vec3f& pos, Vec3f& vel, float spacing, const Vec3f& from,
                                float stepTime) const {
  // The push grows from nothing at its reach: a jet fast enough went on
  // through a tank's walls, and was then pushed on away from them. A step
  // that crosses a face therefore ends mirrored back on the side it came
  // from, its speed along the face turned round, as a push strong enough
  // would have done. A face box (grown by more than the reach) holds the
  // end of a step shorter than the reach that crosses its face, and one of
  // the points a reach apart along a longer one.
  for (const ColliderMesh* K : colliders) {
    if (!K->collide || K->particleKiller) continue;
    Vec3f at = pos;
    auto test = [&](int f) {
      if (!InBox(&K->faceBox[size_t(f) * 6], at) || !FaceValid(*K, f)) return true;
      const Vec3f& N = K->faceNormal[f];
      // A moving face is taken where it stood when the step began: one that
      // swept over a particle standing still is crossed as well, else the
      // particle ended inside the collider.
      const bool moved = stepTime > 0.0f && K->stepStartVertices.size() == K->mesh.vertices.size();
      const float e1 = PlaneOffset(*K, f, pos), now0 = PlaneOffset(*K, f, from);
      const float e0 = moved ? StartPlaneOffset(*K, f, from, now0) : now0;
      const float w = moved ? (e0 - now0) / stepTime : 0.0f;
      // Ending on the plane counts as crossing it: from there a particle's
      // side is lost, and one that hovered at a wall drifted out.
      if (!((e0 > 0.0f && e1 <= 0.0f) || (e0 < 0.0f && e1 >= 0.0f))) return true;
      float d;
      bool over;
      Vec3f toPlane;
      FaceQuery(*K, f, from + (pos - from) * (e0 / (e0 - e1)), 1.0f, d, over, toPlane);
      if (!over) return true;
      const float side = e0 > 0.0f ? 1.0f : -1.0f;
      pos += N * (side * std::max(std::fabs(e1), kLeastClearance * spacing) - e1);
      const float vn = Vec3Dot(vel, N);
      if (w != 0.0f) {
        // Carried, as the push of a face that moves would have: mirrored
        // in the face's frame a particle standing still left at twice the
        // face's speed.
        if ((vn - w) * side < 0.0f) vel += N * (w - vn);
      } else if (vn * side < 0.0f) {
        vel -= N * (2.0f * vn);
      }
      return true;
    };
    const Vec3f to = pos;
    ForFacesHolding(*K, at, test);
    const float reach = CollisionReach(spacing), length = Vec3Length(to - from);
    if (!(length > reach)) continue;
    const int samples = int(std::min(kMaxStepSamples, std::ceil(length / reach)));
    for (int k = samples - 1; k >= 0; --k) {
      at = from + (to - from) * (float(k) / float(samples));
      ForFacesHolding(*K, at, test);
    }
  }
}

void FluidSolver::IntegrateOne(int i, float t1, const std::vector<Vec3f>& forces, float gravity, float clearance,
                               const FacePushes* pushes) {
  FluidParticle& p = particles[i];
  if (p.dead) return;
  const Vec3f from = p.pos;
  const float dti = t1 - p.clock;
  // A step shorter than the way to the nearest face plane crosses none
  // (while no face moves).
  auto guardStep = [&] {
    const float least = std::min(clearance, CollisionReach(p.spacing));
    const Vec3f step = p.pos - from;
    if (Vec3Dot(step, step) >= least * least || facesMove_) KeepOnItsSide(p.pos, p.vel, p.spacing, from, dti);
  };
  const SolverSource* src = SourceOf(p);
  const bool over = src && src->overridesObjectParams != 0;
  const float g = over ? src->gravity : gravity;
  if (zUp)
    p.accel.z += -g;
  else
    p.accel.y += -g;
  if (i < (int)forces.size()) p.accel += forces[i];
  // The face pushes are stiff springs: taken at the start of the step, as
  // the other forces are, each contact sent the particle off faster than it
  // came (a lone drop rebounded higher every time, and steps that shrink as
  // the push grows add to it). Along each push the velocity is that of the
  // end of the step with the push grown as the step goes deeper (backward
  // Euler, linear in the depth), which gives back at most what the
  // approach put in. Against a moving face it is the speed relative to the
  // face that the push takes in, so that the face still carries the liquid.
  auto settle = [&] {
    if (!pushes || !(dti > 0.0f)) return;
    for (int k = 0; k < pushes->count; ++k) {
      const float c = dti * dti * pushes->stiffness[k];
      const Vec3f& u = pushes->toward[k];
      p.vel -= u * ((Vec3Dot(p.vel, u) - pushes->faceSpeed[k]) * (c / (1.0f + c)));
    }
  };
  ColliderMesh* K = p.collider;
  const int f = p.face;
  const float held = Vec3Length(p.adhesion);
  if (!p.collided || !K || f < 0 || f >= (int)K->faceNormal.size() || f >= K->FaceCount() || !(held > 0.0f)) {
    p.vel += p.accel * dti;
    settle();
    p.pos += p.vel * dti;
    guardStep();
    return;
  }
  // Toward the face on the particle's side, or toward the nearest point of
  // its rim beyond it.
  const Vec3f toward = p.adhesion * (-1.0f / held);
  const Vec3f N = K->faceNormal[f];
  const float a = over ? src->adherence : K->adherence;
  const bool side0 = FaceSide(*K, p.pos, f);
  p.vel += p.accel * dti;
  settle();
  // Adherence holds the particle against leaving the face (relative to the
  // face, as the push takes it), taking up to its strength's worth of the
  // speed away from the face; it never draws a particle in. As a force
  // toward the face it gave every particle that came within the gap the
  // pull's work over it: the liquid a piston drove into a tank's floor and
  // far wall ran up the wall, over 1% of it faster than twice the piston.
  const float faceSpeed = FaceSpeedAt(*K, f, p.pos);  // along N, where the particle is
  const float leaving = faceSpeed * Vec3Dot(N, toward) - Vec3Dot(p.vel, toward);
  if (leaving > 0.0f)
    p.vel += toward * std::min(leaving, a * 10000.0f * adherenceScale * std::min(held, 1.0f) * dti);
  if (!skipFrictionAndBounce) {
    const float vn = Vec3Dot(p.vel, toward);
    if (vn > 0.0f) {  // approaching
      float b = over ? src->bounce : std::min(K->bounce, 100.0f);
      if (b < 0.0f) b = 0.0f;
      p.vel -= toward * vn * 0.05f * ((100.0f - b) * 0.01f);
    }
    if (f < (int)K->faceNormalSpeed.size()) {
      // A face that moves toward the particle's side carries it: its speed
      // along the normal is raised to the face's, never beyond (adding the
      // face's speed at every sub-step threw the liquid off a paddle at
      // many times the paddle's speed).
      const float w = faceSpeed;
      const float vn = Vec3Dot(p.vel, N);
      if (Vec3Dot(p.adhesion, N) * w > 0.0f && (w > 0.0f ? vn < w : vn > w)) p.vel += N * (w - vn);
    }
  }
  p.pos += p.vel * dti;
  // Beyond a rim the face's plane is no wall: the particle may pass it.
  if (p.collided == 1) {
    const bool side1 = FaceSide(*K, p.pos, f);
    if (side1 != side0) ReflectAcrossFace(*K, p.pos, f, side1);
  }
  guardStep();
}

bool FluidSolver::KillOne(FluidParticle& p) const {
  if (p.dead) return false;
  const Vec3f& lo = domainMin;
  const Vec3f& hi = domainMax;
  if (p.pos.x < lo.x || p.pos.y < lo.y || p.pos.z < lo.z || p.pos.x > hi.x || p.pos.y > hi.y ||
      p.pos.z > hi.z) {
    Park(p, parkingPos);
    return true;
  }
  return false;
}

void FluidSolver::ApplyFriction() {
  RecordsChanged();
  const int n = count;
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) FrictionOne(particles[i]);
}

void FluidSolver::Integrate(float t1, const std::vector<Vec3f>& forces, float gravity) {
  RecordsChanged();
  const int n = count;
  const bool pushes = facePushes_.size() >= size_t(n);
  // Each iteration touches only its own particle: the loop may run on any
  // number of threads with the same result.
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) IntegrateOne(i, t1, forces, gravity, 0.0f, pushes ? &facePushes_[size_t(i)] : nullptr);
}

void FluidSolver::KillOutsideDomain() {
  RecordsChanged();
  const int n = count;
  int killed = 0;
#pragma omp parallel for schedule(static) reduction(+ : killed) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) killed += KillOne(particles[i]) ? 1 : 0;
  killedCount += killed;
}

void FluidSolver::FinishTotals::Merge(const FinishTotals& o) {
  killed += o.killed;
  flags |= o.flags;
  forceNs += o.forceNs;
  allNs += o.allNs;
  bad += o.bad;
  bound = std::min(bound, o.bound);
  for (int a = 0; a < 3; ++a) {
    lo[a] = std::min(lo[a], o.lo[a]);
    hi[a] = std::max(hi[a], o.hi[a]);
  }
}

void FluidSolver::FinishPrepare() {
  PrepareColliders();
  if ((int)pairInput_.size() < count) pairInput_.resize(count);
  if ((int)pairFlags_.size() < count) pairFlags_.resize(count);
  finishShares_.Reset((count + kFinishChunk - 1) / kFinishChunk, omp_get_max_threads());
}

void FluidSolver::FinishChunks(float t1, const std::vector<Vec3f>& forces, float gravity,
                               const float* clockT0, FinishTotals& totals) {
  // Forces, collisions, friction, integration, the domain kill and the
  // bounds each look at one particle only (the forces read the other
  // particles from the compact copies the density pass made, which nothing
  // here changes), so one pass does all six in their order. With each
  // record at hand it also keeps what the next sub-step reads of it: the
  // density pass's copies (which nothing here reads) and the step bound.
  const int n = count;
  const bool friction = !skipFrictionAndBounce;
  const Vec3f parking = parkingPos;
  const double root = std::sqrt(particlesPerVolume);
  FinishTotals mine;
  // Each thread takes the particles whose density its thread number took,
  // then helps with others' chunks, so that particles that touch many
  // faces do not hold up a thread (the totals are sums of integers, minima
  // and maxima: the same in any order).
  const int thread = omp_get_thread_num();
  for (int64_t c; (c = finishShares_.Next(thread)) >= 0;) {
    const auto start = std::chrono::steady_clock::now();
    const int begin = int(c) * kFinishChunk, end = std::min(n, begin + kFinishChunk);
    mine.forceNs += ForceChunk(begin, end, root);
    for (int i = begin; i < end; ++i) {
      FluidParticle& p = particles[i];
      if (clockT0 && !p.isNew) p.clock = *clockT0;
      float clearance = 0.0f;
      FacePushes pushes;
      mine.killed += CollideOne(i, parking, &clearance, &pushes) ? 1 : 0;
      if (friction) FrictionOne(p);
      IntegrateOne(i, t1, forces, gravity, clearance, &pushes);
      mine.killed += KillOne(p) ? 1 : 0;
      StreamInput(&pairInput_[size_t(i)], p);
      pairFlags_[size_t(i)] = PairFlagsOf(p);
      mine.flags |= pairFlags_[size_t(i)];
      if (p.dtLimit >= 0.0f)  // as MaxStableStep takes it
        mine.bound = std::min(mine.bound, p.dtLimit);
      else
        ++mine.bad;
      if (p.dead) continue;
      for (int a = 0; a < 3; ++a) {
        mine.lo[a] = std::min(mine.lo[a], p.pos[a]);
        mine.hi[a] = std::max(mine.hi[a], p.pos[a]);
      }
    }
    StreamFence();
    mine.allNs += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  }
#pragma omp critical(vorel_finish_totals)
  totals.Merge(mine);
}

double FluidSolver::FinishClose(const FinishTotals& totals) {
  killedCount += totals.killed;
  for (int a = 0; a < 3; ++a) {
    bounds[a] = totals.lo[a];
    bounds[a + 3] = totals.hi[a];
  }
  keptCount_ = count;
  keptFlags_ = totals.flags;
  keptBound_ = totals.bound;
  keptBad_ = totals.bad;
  return totals.allNs > 0 ? double(totals.forceNs) / double(totals.allNs) : 0.0;
}
