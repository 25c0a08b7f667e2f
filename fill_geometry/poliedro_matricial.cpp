#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "fill_geometry/geometry.h"
#include "fill_geometry/poliedro.h"

using namespace fillgeo;

namespace {

uint64_t MixHash(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

struct CellKey {
  int64_t x, y, z;
  bool operator==(const CellKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct CellKeyHash {
  size_t operator()(const CellKey& k) const {
    return static_cast<size_t>(MixHash(static_cast<uint64_t>(k.x) * 0x9E3779B97F4A7C15ULL ^
                                       MixHash(static_cast<uint64_t>(k.y)) ^
                                       MixHash(static_cast<uint64_t>(k.z) + 0x632BE59BD9B4E019ULL)));
  }
};
struct U64Hash {
  size_t operator()(uint64_t v) const { return static_cast<size_t>(MixHash(v)); }
};

// True when two vertices lie closer than 1e-8. Vertices are binned in a
// uniform hash grid whose cell is at least 1e-8, so every close pair shares a
// cell or sits in neighbouring cells; the cell grows with the coordinates so
// that the cell indices stay well inside 64 bits.
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
  std::unordered_map<CellKey, std::vector<int32_t>, CellKeyHash> grid;
  grid.reserve(static_cast<size_t>(nv) * 2);
  std::vector<CellKey> keys(static_cast<size_t>(nv));
  std::vector<uint8_t> used(static_cast<size_t>(nv), 0);
  for (int32_t i = 0; i < nv; ++i) {
    if (!finite(i)) continue;
    used[static_cast<size_t>(i)] = 1;
    CellKey k{static_cast<int64_t>(std::floor(v[i][0] / cell)),
              static_cast<int64_t>(std::floor(v[i][1] / cell)),
              static_cast<int64_t>(std::floor(v[i][2] / cell))};
    keys[static_cast<size_t>(i)] = k;
    grid[k].push_back(i);
  }
  for (int32_t i = 0; i < nv; ++i) {
    if (!used[static_cast<size_t>(i)]) continue;
    const CellKey& k = keys[static_cast<size_t>(i)];
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz) {
          auto it = grid.find(CellKey{k.x + dx, k.y + dy, k.z + dz});
          if (it == grid.end()) continue;
          for (int32_t j : it->second) {
            if (j <= i) continue;
            if (Distance3D(v[i][0], v[i][1], v[i][2], v[j][0], v[j][1], v[j][2]) < kTol) return true;
          }
        }
  }
  return false;
}

uint64_t EdgeKey(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

struct TripleHash {
  size_t operator()(const std::array<int32_t, 3>& t) const {
    return static_cast<size_t>(MixHash(EdgeKey(t[0], t[1]) ^ MixHash(static_cast<uint64_t>(t[2]))));
  }
};

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
    std::unordered_set<std::array<int32_t, 3>, TripleHash> seen;
    seen.reserve(static_cast<size_t>(nf) * 2);
    for (int32_t f = 0; f < nf; ++f) {
      std::array<int32_t, 3> t{faces[f][0], faces[f][1], faces[f][2]};
      std::sort(t.begin(), t.end());
      if (!seen.insert(t).second) return kRepeatedFace;
    }
  }
  {
    std::unordered_set<uint64_t, U64Hash> edges;
    edges.reserve(static_cast<size_t>(nf) * 6);
    for (int32_t f = 0; f < nf; ++f) {
      const int32_t* t = faces[f];
      for (int e = 0; e < 3; ++e) {
        // The edges of one face are distinct (no repeated index), so a
        // repeat can only come from another face.
        if (!edges.insert(EdgeKey(t[e], t[(e + 1) % 3])).second) return kOppositeOrientation;
      }
    }
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
