#include "host/core/mesh.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

vorel::host::MeshRenderFn g_render = nullptr;
vorel::host::MeshSelectFn g_select = nullptr;

template <class T>
void Resize(std::vector<T>& v, int n, BOOL keep) {
  size_t count = n > 0 ? size_t(n) : 0;
  if (keep) v.resize(count, T());
  else v.assign(count, T());
}

// Keeps the entries of v whose index is not marked in drop (v may be shorter
// than drop when a channel is missing).
template <class T>
void Compact(std::vector<T>& v, const std::vector<char>& drop) {
  size_t out = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i < drop.size() && drop[i]) continue;
    v[out++] = v[i];
  }
  v.resize(out);
}

}  // namespace

BOOL Mesh::setNumVerts(int n, BOOL keep, BOOL synchSel) {
  Resize(verts, n, keep);
  if (synchSel) vertSel.SetSize(getNumVerts(), keep);
  InvalidateGeomCache();
  return TRUE;
}

BOOL Mesh::setNumFaces(int n, BOOL keep, BOOL synchSel) {
  Resize(faces, n, keep);
  if (synchSel) faceSel.SetSize(getNumFaces(), keep);
  InvalidateTopologyCache();
  return TRUE;
}

BOOL Mesh::setNumTVerts(int n, BOOL keep) { Resize(tVerts, n, keep); return TRUE; }
BOOL Mesh::setNumTVFaces(int n, BOOL keep, int) { Resize(tvFace, n, keep); return TRUE; }
BOOL Mesh::setNumVertCol(int n, BOOL keep) { Resize(vertCol, n, keep); return TRUE; }
BOOL Mesh::setNumVCFaces(int n, BOOL keep, int) { Resize(vcFace, n, keep); return TRUE; }

void Mesh::FreeAll() {
  verts.clear(); faces.clear(); tVerts.clear(); tvFace.clear(); vertCol.clear(); vcFace.clear();
  vertSel.SetSize(0); faceSel.SetSize(0);
  smoothFlags_ = 0;
  InvalidateTopologyCache();
}

void Mesh::DeepCopy(const Mesh* from, DWORD) {
  if (from && from != this) *this = *from;
}

void Mesh::InvalidateGeomCache() {
  bbValid_ = false;
  normalsValid_ = false;
}

void Mesh::InvalidateTopologyCache() {
  InvalidateGeomCache();
  faceNormals_.clear();
  vertNormals_.clear();
}

void Mesh::buildBoundingBox() {
  bb_.Init();
  for (const Point3& p : verts) bb_ += p;
  bbValid_ = true;
}

Box3 Mesh::getBoundingBox(const Matrix3* tm) {
  if (tm) {
    Box3 b;
    for (const Point3& p : verts) b += p * *tm;
    return b;
  }
  if (!bbValid_) buildBoundingBox();
  return bb_;
}

Point3 Mesh::FaceNormal(int f) const {
  const Face& fc = faces[size_t(f)];
  int n = getNumVerts();
  for (int k = 0; k < 3; ++k)
    if (fc.v[k] >= DWORD(n)) return Point3(0.0f, 0.0f, 0.0f);
  const Point3& a = verts[fc.v[0]];
  return Normalize(CrossProd(verts[fc.v[1]] - a, verts[fc.v[2]] - a));
}

void Mesh::buildNormals() {
  int nf = getNumFaces(), nv = getNumVerts();
  faceNormals_.assign(size_t(nf), Point3());
  vertNormals_.assign(size_t(nv), Point3());
  for (int f = 0; f < nf; ++f) {
    const Face& fc = faces[size_t(f)];
    if (fc.v[0] >= DWORD(nv) || fc.v[1] >= DWORD(nv) || fc.v[2] >= DWORD(nv)) continue;
    const Point3& a = verts[fc.v[0]];
    Point3 c = CrossProd(verts[fc.v[1]] - a, verts[fc.v[2]] - a);  // twice the area
    faceNormals_[size_t(f)] = Normalize(c);
    for (int k = 0; k < 3; ++k) vertNormals_[fc.v[k]] += c;
  }
  for (Point3& n : vertNormals_) n = Normalize(n);
  normalsValid_ = true;
}

Point3 Mesh::getFaceNormal(int f) {
  if (!normalsValid_) buildNormals();
  return faceNormals_[size_t(f)];
}

Point3 Mesh::getNormal(int v) {
  if (!normalsValid_) buildNormals();
  return vertNormals_[size_t(v)];
}

void Mesh::AutoSmooth(float angle, BOOL useSel, BOOL preventIndirect) {
  const int nf = getNumFaces();
  const int nv = getNumVerts();
  if (nf == 0) return;
  std::vector<char> active(static_cast<size_t>(nf), 1);
  if (useSel)
    for (int f = 0; f < nf; ++f) active[size_t(f)] = faceSel[f] ? 1 : 0;

  std::vector<Point3> normal(static_cast<size_t>(nf));
  for (int f = 0; f < nf; ++f) normal[size_t(f)] = FaceNormal(f);
  const bool everything = !(angle < float(M_PI));
  const float cosLimit = std::cos(angle);
  auto smoothPair = [&](int a, int b) {
    const Point3& na = normal[size_t(a)];
    const Point3& nb = normal[size_t(b)];
    // A face without area has no direction to compare: it smooths with nobody.
    if (na.LengthSquared() == 0.0f || nb.LengthSquared() == 0.0f) return false;
    return everything || DotProd(na, nb) >= cosLimit;
  };

  // Faces around each undirected edge, bucketed by the edge's lower vertex
  // (linear time; each bucket is short and sorted on its own).
  std::vector<int> eStart(static_cast<size_t>(nv) + 1, 0);
  auto forEdges = [&](auto&& fn) {
    for (int f = 0; f < nf; ++f) {
      if (!active[size_t(f)]) continue;
      const Face& fc = faces[size_t(f)];
      for (int k = 0; k < 3; ++k) {
        DWORD a = fc.v[k], b = fc.v[(k + 1) % 3];
        if (a != b && a < DWORD(nv) && b < DWORD(nv)) fn(std::min(a, b), std::max(a, b), f);
      }
    }
  };
  forEdges([&](DWORD lo, DWORD, int) { ++eStart[size_t(lo) + 1]; });
  for (int v = 0; v < nv; ++v) eStart[size_t(v) + 1] += eStart[size_t(v)];
  std::vector<std::pair<DWORD, int>> edges(static_cast<size_t>(eStart[size_t(nv)]));
  {
    std::vector<int> fill(eStart.begin(), eStart.end() - 1);
    forEdges([&](DWORD lo, DWORD hi, int f) { edges[size_t(fill[lo]++)] = {hi, f}; });
  }
  std::vector<std::pair<int, int>> smooth, sharp;
  smooth.reserve(edges.size() / 2);
  for (int v = 0; v < nv; ++v) {
    auto b = edges.begin() + eStart[size_t(v)], e = edges.begin() + eStart[size_t(v) + 1];
    std::sort(b, e);
    for (auto i = b; i != e;) {
      auto j = i;
      while (j != e && j->first == i->first) ++j;
      for (auto x = i; x != j; ++x)
        for (auto y = x + 1; y != j; ++y)
          if (x->second != y->second)
            (smoothPair(x->second, y->second) ? smooth : sharp).push_back({x->second, y->second});
      i = j;
    }
  }

  // Regions of faces joined by smooth edges, numbered in face order.
  std::vector<int> region(static_cast<size_t>(nf), -1);
  int nr = 0;
  if (!preventIndirect) {
    std::vector<int> parent(static_cast<size_t>(nf));
    for (int f = 0; f < nf; ++f) parent[size_t(f)] = f;
    auto find = [&parent](int x) {
      while (parent[size_t(x)] != x) x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
      return x;
    };
    for (const auto& p : smooth) {
      int a = find(p.first), b = find(p.second);
      if (a != b) parent[size_t(std::max(a, b))] = std::min(a, b);
    }
    for (int f = 0; f < nf; ++f) {
      if (!active[size_t(f)]) continue;
      int root = find(f);
      region[size_t(f)] = root == f ? nr++ : region[size_t(root)];
    }
  } else {
    // Flood fill that never lets a face into a region holding one of its
    // sharp neighbours.
    auto csr = [nf](const std::vector<std::pair<int, int>>& pairs, std::vector<int>& start,
                    std::vector<int>& list) {
      start.assign(size_t(nf) + 1, 0);
      for (const auto& p : pairs) { ++start[size_t(p.first) + 1]; ++start[size_t(p.second) + 1]; }
      for (int f = 0; f < nf; ++f) start[size_t(f) + 1] += start[size_t(f)];
      list.assign(pairs.size() * 2, 0);
      std::vector<int> fill(start.begin(), start.end() - 1);
      for (const auto& p : pairs) {
        list[size_t(fill[size_t(p.first)]++)] = p.second;
        list[size_t(fill[size_t(p.second)]++)] = p.first;
      }
    };
    std::vector<int> smStart, smList, shStart, shList;
    csr(smooth, smStart, smList);
    csr(sharp, shStart, shList);
    std::vector<int> stack;
    for (int f = 0; f < nf; ++f) {
      if (!active[size_t(f)] || region[size_t(f)] >= 0) continue;
      int r = nr++;
      region[size_t(f)] = r;
      stack.assign(1, f);
      while (!stack.empty()) {
        int cur = stack.back();
        stack.pop_back();
        for (int i = smStart[size_t(cur)]; i < smStart[size_t(cur) + 1]; ++i) {
          int nb = smList[size_t(i)];
          if (region[size_t(nb)] >= 0) continue;
          bool blocked = false;
          for (int k = shStart[size_t(nb)]; k < shStart[size_t(nb) + 1] && !blocked; ++k)
            blocked = region[size_t(shList[size_t(k)])] == r;
          if (blocked) continue;
          region[size_t(nb)] = r;
          stack.push_back(nb);
        }
      }
    }
  }
  std::vector<int> regionSize(static_cast<size_t>(nr), 0);
  for (int f = 0; f < nf; ++f)
    if (region[size_t(f)] >= 0) ++regionSize[size_t(region[size_t(f)])];

  // One group bit per region, different from every region it touches at a
  // vertex (vertex normals mix the faces that share a bit at that vertex)
  // and from the groups of unselected faces there.
  // Regions at each vertex, deduplicated per vertex.
  std::vector<size_t> vStart(static_cast<size_t>(nv) + 1, 0);
  for (int f = 0; f < nf; ++f)
    if (region[size_t(f)] >= 0)
      for (DWORD v : faces[size_t(f)].v)
        if (v < DWORD(nv)) ++vStart[size_t(v) + 1];
  for (int v = 0; v < nv; ++v) vStart[size_t(v) + 1] += vStart[size_t(v)];
  std::vector<int> vertRegion(vStart[size_t(nv)]);
  {
    std::vector<size_t> fill(vStart.begin(), vStart.end() - 1);
    for (int f = 0; f < nf; ++f)
      if (region[size_t(f)] >= 0)
        for (DWORD v : faces[size_t(f)].v)
          if (v < DWORD(nv)) vertRegion[fill[v]++] = region[size_t(f)];
    size_t out = 0;
    for (int v = 0; v < nv; ++v) {
      auto b = vertRegion.begin() + long(vStart[size_t(v)]);
      auto e = vertRegion.begin() + long(vStart[size_t(v) + 1]);
      std::sort(b, e);
      e = std::unique(b, e);
      vStart[size_t(v)] = out;
      for (auto it = b; it != e; ++it) vertRegion[out++] = *it;
    }
    vStart[size_t(nv)] = out;
    vertRegion.resize(out);
  }
  auto regionAt = [&vertRegion](size_t i) { return vertRegion[i]; };

  std::vector<DWORD> used(static_cast<size_t>(nr), 0);
  for (int f = 0; f < nf; ++f) {
    if (active[size_t(f)]) continue;
    for (DWORD v : faces[size_t(f)].v)
      if (v < DWORD(nv))
        for (size_t i = vStart[v]; i < vStart[v + 1]; ++i)
          used[size_t(regionAt(i))] |= faces[size_t(f)].smGroup;
  }
  std::vector<uint64_t> touch;  // (region << 32) | other region
  for (int v = 0; v < nv; ++v)
    for (size_t i = vStart[size_t(v)]; i < vStart[size_t(v) + 1]; ++i)
      for (size_t j = vStart[size_t(v)]; j < vStart[size_t(v) + 1]; ++j)
        if (i != j) touch.push_back((uint64_t(regionAt(i)) << 32) | uint32_t(regionAt(j)));
  std::sort(touch.begin(), touch.end());
  touch.erase(std::unique(touch.begin(), touch.end()), touch.end());

  std::vector<DWORD> bit(static_cast<size_t>(nr), 0);
  size_t t = 0;
  for (int r = 0; r < nr; ++r) {
    DWORD taken = used[size_t(r)];
    for (; t < touch.size() && int(touch[t] >> 32) == r; ++t)
      taken |= bit[size_t(uint32_t(touch[t]))];
    if (regionSize[size_t(r)] < 2) continue;  // a lone face smooths with nobody
    DWORD b = 1;
    while (b && (taken & b)) b <<= 1;
    // More than 32 neighbours: reuse a bit rather than fail.
    bit[size_t(r)] = b ? b : (1u << (r % 32));
  }
  for (int f = 0; f < nf; ++f)
    if (region[size_t(f)] >= 0) faces[size_t(f)].smGroup = bit[size_t(region[size_t(f)])];
  InvalidateGeomCache();
}

void Mesh::DeleteFaceSet(const BitArray& set) {
  std::vector<char> drop(faces.size(), 0);
  bool any = false;
  for (size_t f = 0; f < faces.size(); ++f) {
    drop[f] = set[int(f)] ? 1 : 0;
    any = any || drop[f];
  }
  if (!any) return;
  bool tvMatch = tvFace.size() == faces.size(), vcMatch = vcFace.size() == faces.size();
  Compact(faces, drop);
  if (tvMatch) Compact(tvFace, drop);
  if (vcMatch) Compact(vcFace, drop);
  BitArray sel(getNumFaces());
  int out = 0;
  for (size_t f = 0; f < drop.size(); ++f)
    if (!drop[f]) sel.Set(out++, faceSel[int(f)]);
  faceSel = sel;
  InvalidateTopologyCache();
}

bool Mesh::RemoveDegenerateFaces() {
  BitArray bad(getNumFaces());
  for (int f = 0; f < getNumFaces(); ++f) {
    const Face& fc = faces[size_t(f)];
    if (fc.v[0] == fc.v[1] || fc.v[1] == fc.v[2] || fc.v[2] == fc.v[0]) bad.Set(f);
  }
  if (bad.IsEmpty()) return false;
  DeleteFaceSet(bad);
  return true;
}

bool Mesh::RemoveIllegalFaces() {
  bool changed = false;
  BitArray bad(getNumFaces());
  const DWORD nv = DWORD(getNumVerts());
  for (int f = 0; f < getNumFaces(); ++f) {
    const Face& fc = faces[size_t(f)];
    if (fc.v[0] >= nv || fc.v[1] >= nv || fc.v[2] >= nv) bad.Set(f);
  }
  // Channel faces beyond the face count are dropped too.
  if (tvFace.size() > faces.size()) { tvFace.resize(faces.size()); changed = true; }
  if (vcFace.size() > faces.size()) { vcFace.resize(faces.size()); changed = true; }
  auto fixChannel = [&changed](std::vector<TVFace>& fs, size_t count) {
    for (TVFace& t : fs)
      for (DWORD& i : t.t)
        if (i >= count) { i = 0; changed = true; }
  };
  fixChannel(tvFace, tVerts.size());
  fixChannel(vcFace, vertCol.size());
  if (!bad.IsEmpty()) {
    DeleteFaceSet(bad);
    changed = true;
  }
  return changed;
}

void Mesh::DeleteVertSet(const BitArray& set) {
  const int nv = getNumVerts();
  std::vector<DWORD> newIndex(static_cast<size_t>(nv));
  std::vector<char> drop(size_t(nv), 0);
  DWORD next = 0;
  bool any = false;
  for (int v = 0; v < nv; ++v) {
    drop[size_t(v)] = set[v] ? 1 : 0;
    any = any || drop[size_t(v)];
    newIndex[size_t(v)] = next;
    if (!drop[size_t(v)]) ++next;
  }
  if (!any) return;
  BitArray deadFaces(getNumFaces());
  for (int f = 0; f < getNumFaces(); ++f)
    for (DWORD v : faces[size_t(f)].v)
      if (v < DWORD(nv) && drop[v]) deadFaces.Set(f);
  DeleteFaceSet(deadFaces);
  for (Face& fc : faces)
    for (DWORD& v : fc.v)
      if (v < DWORD(nv)) v = newIndex[v];
  Compact(verts, drop);
  BitArray sel(getNumVerts());
  for (int v = 0, out = 0; v < nv; ++v)
    if (!drop[size_t(v)]) sel.Set(out++, vertSel[v]);
  vertSel = sel;
  InvalidateTopologyCache();
}

void Mesh::DeleteVert(int v) {
  if (v < 0 || v >= getNumVerts()) return;
  BitArray set(getNumVerts());
  set.Set(v);
  DeleteVertSet(set);
}

void Mesh::FlipNormal(int f) {
  if (f < 0 || f >= getNumFaces()) return;
  Face& fc = faces[size_t(f)];
  std::swap(fc.v[0], fc.v[1]);
  // Edge A (v0-v1) stays the same edge; B and C trade places.
  int b = fc.getEdgeVis(1), c = fc.getEdgeVis(2);
  fc.setEdgeVis(1, c);
  fc.setEdgeVis(2, b);
  if (size_t(f) < tvFace.size()) std::swap(tvFace[size_t(f)].t[0], tvFace[size_t(f)].t[1]);
  if (size_t(f) < vcFace.size()) std::swap(vcFace[size_t(f)].t[0], vcFace[size_t(f)].t[1]);
  InvalidateGeomCache();
}

void Mesh::render(GraphicsWindow* gw, Material* ma, RECT* rp, int compFlags, int numMat) {
  if (g_render) g_render(*this, gw, ma, rp, compFlags, numMat);
}

BOOL Mesh::select(GraphicsWindow* gw, Material* ma, HitRegion* hr, int abortOnHit, int numMat) {
  return g_select ? g_select(*this, gw, ma, hr, abortOnHit, numMat) : FALSE;
}

void CombineMeshes(Mesh& out, const Mesh& a, const Mesh& b) {
  Mesh r;
  r.verts = a.verts;
  r.verts.insert(r.verts.end(), b.verts.begin(), b.verts.end());
  const DWORD offV = DWORD(a.getNumVerts());
  r.faces = a.faces;
  for (Face f : b.faces) {
    for (DWORD& v : f.v) v += offV;
    r.faces.push_back(f);
  }
  // A channel survives when either input has one; faces of a mesh without it
  // point at one added zero vertex of that channel.
  auto channel = [](const std::vector<Point3>& va, const std::vector<TVFace>& fa, size_t nfa,
                    const std::vector<Point3>& vb, const std::vector<TVFace>& fb, size_t nfb,
                    std::vector<Point3>& vo, std::vector<TVFace>& fo) {
    bool ha = !fa.empty(), hb = !fb.empty();
    if (!ha && !hb) return;
    auto append = [&](const std::vector<Point3>& vs, const std::vector<TVFace>& fs, size_t nf,
                      bool has) {
      DWORD off = DWORD(vo.size());
      if (has) {
        vo.insert(vo.end(), vs.begin(), vs.end());
        for (size_t i = 0; i < nf; ++i) {
          TVFace t = i < fs.size() ? fs[i] : TVFace();
          for (DWORD& k : t.t) k += off;
          fo.push_back(t);
        }
      } else {
        vo.push_back(Point3());
        for (size_t i = 0; i < nf; ++i) fo.push_back(TVFace(off, off, off));
      }
    };
    append(va, fa, nfa, ha);
    append(vb, fb, nfb, hb);
  };
  channel(a.tVerts, a.tvFace, a.faces.size(), b.tVerts, b.tvFace, b.faces.size(), r.tVerts,
          r.tvFace);
  channel(a.vertCol, a.vcFace, a.faces.size(), b.vertCol, b.vcFace, b.faces.size(), r.vertCol,
          r.vcFace);
  r.vertSel.SetSize(r.getNumVerts());
  r.faceSel.SetSize(r.getNumFaces());
  r.setSmoothFlags(a.getSmoothFlags() | b.getSmoothFlags());
  out = std::move(r);
  out.InvalidateTopologyCache();
}

namespace vorel::host {
void SetMeshDrawHooks(MeshRenderFn render, MeshSelectFn select) {
  g_render = render;
  g_select = select;
}
}  // namespace vorel::host

Point3 Mesh::BaryCoords(DWORD face, Point3 p) const {
  const Point3 third(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f);
  if (face >= DWORD(faces.size())) return third;
  const Face& f = faces[face];
  const size_t nv = verts.size();
  if (f.v[0] >= nv || f.v[1] >= nv || f.v[2] >= nv) return third;
  const Point3 a = verts[f.v[0]], b = verts[f.v[1]], c = verts[f.v[2]];
  const double e0[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
  const double e1[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
  const double e2[3] = {p.x - a.x, p.y - a.y, p.z - a.z};
  auto dot = [](const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
  const double d00 = dot(e0, e0), d01 = dot(e0, e1), d11 = dot(e1, e1);
  const double d20 = dot(e2, e0), d21 = dot(e2, e1);
  const double den = d00 * d11 - d01 * d01;
  if (!(den > 0.0)) return third;
  const double v = (d11 * d20 - d01 * d21) / den;
  const double w = (d00 * d21 - d01 * d20) / den;
  return Point3(float(1.0 - v - w), float(v), float(w));
}
