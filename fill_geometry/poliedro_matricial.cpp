#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fill_geometry/geometry.h"
#include "fill_geometry/poliedro.h"

using namespace fillgeo;

namespace {

using CellKey = std::array<int64_t, 3>;

// True when two vertices lie closer than 1e-8. Vertices are binned in a
// uniform grid whose cell is at least 1e-8 (growing with the coordinates so
// that cell indices stay well inside 64 bits), so every close pair shares a
// cell or sits in neighbouring cells. The vertices are sorted by cell; for a
// fixed neighbour offset in x and y the three cells z-1 .. z+1 are adjacent
// in that order and move forward with the vertex, so nine sweeps with one
// cursor each find every neighbour.
bool HasCoincidentVertices(int32_t nv, const double* const* v) {
  // A vertex with a NaN or infinite coordinate is never closer than 1e-8 to
  // another one (the distance is NaN or infinite), so it is left out.
  auto finite = [&](int32_t i) {
    return std::isfinite(v[i][0]) && std::isfinite(v[i][1]) && std::isfinite(v[i][2]);
  };
  double maxAbs = 0;
  for (int32_t i = 0; i < nv; ++i)
    if (finite(i))
      for (int a = 0; a < 3; ++a) maxAbs = std::max(maxAbs, std::fabs(v[i][a]));
  const double cell = std::max(kTol, std::ldexp(maxAbs, -40));
  std::vector<std::pair<CellKey, int32_t>> sorted;
  sorted.reserve(static_cast<size_t>(nv));
  for (int32_t i = 0; i < nv; ++i) {
    if (!finite(i)) continue;
    sorted.push_back(
        {{static_cast<int64_t>(std::floor(v[i][0] / cell)), static_cast<int64_t>(std::floor(v[i][1] / cell)),
          static_cast<int64_t>(std::floor(v[i][2] / cell))},
         i});
  }
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  for (int64_t dx = -1; dx <= 1; ++dx)
    for (int64_t dy = -1; dy <= 1; ++dy) {
      size_t cursor = 0;
      for (size_t k = 0; k < n; ++k) {
        const CellKey& c = sorted[k].first;
        const CellKey from{c[0] + dx, c[1] + dy, c[2] - 1};
        const CellKey to{c[0] + dx, c[1] + dy, c[2] + 1};
        while (cursor < n && sorted[cursor].first < from) ++cursor;
        const double* a = v[sorted[k].second];
        for (size_t q = cursor; q < n && !(to < sorted[q].first); ++q) {
          if (q == k) continue;
          const double* b = v[sorted[q].second];
          if (Distance3D(a[0], a[1], a[2], b[0], b[1], b[2]) < kTol) return true;
        }
      }
    }
  return false;
}

uint64_t EdgeKey(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

template <class T>
bool HasRepeat(std::vector<T>& items) {
  std::sort(items.begin(), items.end());
  return std::adjacent_find(items.begin(), items.end()) != items.end();
}

}  // namespace

int16_t PoliedroMatricial::SetMesh(int32_t nv, const double* const* verts, int32_t nf,
                                   const int32_t* const* faces) {
  verts_.clear();
  faces_.clear();
  if (nv < 3 || verts == nullptr) return kTooFewVertices;
  if (nf > 0 && faces == nullptr) return kBadFaces;
  for (int32_t f = 0; f < nf; ++f)
    for (int c = 0; c < 3; ++c)
      if (faces[f][c] < 0 || faces[f][c] >= nv) return kTooFewVertices;
  if (nf < 1) return kBadFaces;
  if (HasCoincidentVertices(nv, verts)) return kCoincidentVertices;

  for (int32_t f = 0; f < nf; ++f) {
    const int32_t* t = faces[f];
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) return kBadFaces;
    Cara probe;
    const double* a = verts[t[0]];
    const double* b = verts[t[1]];
    const double* c = verts[t[2]];
    if (!probe.Set(a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2])) return kBadFaces;
  }

  {
    std::vector<std::array<int32_t, 3>> triples(static_cast<size_t>(nf));
    for (int32_t f = 0; f < nf; ++f) {
      triples[static_cast<size_t>(f)] = {faces[f][0], faces[f][1], faces[f][2]};
      std::sort(triples[static_cast<size_t>(f)].begin(), triples[static_cast<size_t>(f)].end());
    }
    if (HasRepeat(triples)) return kRepeatedFace;
  }
  {
    // The edges of one face are distinct (no repeated index), so a repeated
    // directed edge can only come from two faces.
    std::vector<uint64_t> edges;
    edges.reserve(static_cast<size_t>(nf) * 3);
    for (int32_t f = 0; f < nf; ++f)
      for (int e = 0; e < 3; ++e) edges.push_back(EdgeKey(faces[f][e], faces[f][(e + 1) % 3]));
    if (HasRepeat(edges)) return kOppositeOrientation;
  }

  verts_.assign(static_cast<size_t>(nv), {});
  for (int32_t i = 0; i < nv; ++i) verts_[static_cast<size_t>(i)] = {verts[i][0], verts[i][1], verts[i][2]};
  faces_.assign(static_cast<size_t>(nf), {});
  for (int32_t f = 0; f < nf; ++f) faces_[static_cast<size_t>(f)] = {faces[f][0], faces[f][1], faces[f][2]};
  return kAccepted;
}

bool PoliedroMatricial::GetFace(int32_t i, Cara*& face) const {
  face = nullptr;
  if (i < 0 || i >= FaceCount()) return false;
  const auto& t = faces_[static_cast<size_t>(i)];
  const auto& a = verts_[static_cast<size_t>(t[0])];
  const auto& b = verts_[static_cast<size_t>(t[1])];
  const auto& c = verts_[static_cast<size_t>(t[2])];
  Cara* f = new Cara();
  if (!f->Set(a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2])) {
    delete f;
    return false;
  }
  face = f;
  return true;
}
