// Closed triangle meshes for the fill tests and vorel-bench, as the vertex
// and face pointer arrays the fill takes, plus a winding-number inside test
// that shares nothing with the fill's own slicing.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "fill_geometry/poliedro.h"

struct TestMesh {
  std::vector<std::array<double, 3>> v;
  std::vector<std::array<int32_t, 3>> f;

  int32_t AddVertex(double x, double y, double z) {
    v.push_back({x, y, z});
    return static_cast<int32_t>(v.size()) - 1;
  }
  void AddFace(int32_t a, int32_t b, int32_t c) { f.push_back({a, b, c}); }
  // Appends another mesh (its indices shifted).
  void Append(const TestMesh& o) {
    const int32_t base = static_cast<int32_t>(v.size());
    v.insert(v.end(), o.v.begin(), o.v.end());
    for (const auto& t : o.f) f.push_back({t[0] + base, t[1] + base, t[2] + base});
  }

  int32_t nv() const { return static_cast<int32_t>(v.size()); }
  int32_t nf() const { return static_cast<int32_t>(f.size()); }
  // Pointer views (valid until the mesh changes).
  double** verts() {
    vp_.clear();
    for (auto& p : v) vp_.push_back(p.data());
    return vp_.data();
  }
  int32_t** faces() {
    fp_.clear();
    for (auto& t : f) fp_.push_back(t.data());
    return fp_.data();
  }

  // Generalised winding number of the closed mesh around (x, y, z): about 1
  // inside, 0 outside (sum of the faces' signed solid angles / 4 pi).
  double Winding(double x, double y, double z) const {
    double total = 0;
    for (const auto& t : f) {
      double a[3], b[3], c[3];
      for (int k = 0; k < 3; ++k) {
        a[k] = v[static_cast<size_t>(t[0])][static_cast<size_t>(k)] - (k == 0 ? x : k == 1 ? y : z);
        b[k] = v[static_cast<size_t>(t[1])][static_cast<size_t>(k)] - (k == 0 ? x : k == 1 ? y : z);
        c[k] = v[static_cast<size_t>(t[2])][static_cast<size_t>(k)] - (k == 0 ? x : k == 1 ? y : z);
      }
      const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
      const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
      const double lc = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
      const double det = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                         a[2] * (b[0] * c[1] - b[1] * c[0]);
      const double ab = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
      const double bc = b[0] * c[0] + b[1] * c[1] + b[2] * c[2];
      const double ca = c[0] * a[0] + c[1] * a[1] + c[2] * a[2];
      total += 2.0 * std::atan2(det, la * lb * lc + ab * lc + bc * la + ca * lb);
    }
    return total / (4.0 * 3.14159265358979323846);
  }

 private:
  std::vector<double*> vp_;
  std::vector<int32_t*> fp_;
};

// Axis-aligned box, outward faces counter-clockwise seen from outside.
inline TestMesh MakeBox(double x0, double y0, double z0, double x1, double y1, double z1) {
  TestMesh m;
  for (int i = 0; i < 8; ++i) m.AddVertex(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
  const int32_t q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& s : q) {
    m.AddFace(s[0], s[1], s[2]);
    m.AddFace(s[0], s[2], s[3]);
  }
  return m;
}

// Sphere of radius R around c with `slices` around and `stacks` from pole to
// pole: 2 x slices x (stacks - 1) faces (100 x 51 gives 10,000).
inline TestMesh MakeSphere(double cx, double cy, double cz, double R, int slices, int stacks) {
  TestMesh m;
  const double pi = 3.14159265358979323846;
  const int32_t north = m.AddVertex(cx, cy, cz + R);
  for (int i = 1; i < stacks; ++i) {
    const double th = pi * i / stacks;
    for (int j = 0; j < slices; ++j) {
      const double ph = 2.0 * pi * j / slices;
      m.AddVertex(cx + R * std::sin(th) * std::cos(ph), cy + R * std::sin(th) * std::sin(ph),
                  cz + R * std::cos(th));
    }
  }
  const int32_t south = m.AddVertex(cx, cy, cz - R);
  auto ring = [&](int i, int j) { return 1 + (i - 1) * slices + ((j % slices) + slices) % slices; };
  for (int j = 0; j < slices; ++j) m.AddFace(north, ring(1, j), ring(1, j + 1));
  for (int i = 1; i < stacks - 1; ++i)
    for (int j = 0; j < slices; ++j) {
      m.AddFace(ring(i, j), ring(i + 1, j), ring(i + 1, j + 1));
      m.AddFace(ring(i, j), ring(i + 1, j + 1), ring(i, j + 1));
    }
  for (int j = 0; j < slices; ++j) m.AddFace(south, ring(stacks - 1, j + 1), ring(stacks - 1, j));
  return m;
}

// Torus around the z axis through c: tube radius a at distance R, `u`
// segments around the axis and `w` around the tube (2 u w faces).
inline TestMesh MakeTorus(double cx, double cy, double cz, double R, double a, int u, int w) {
  TestMesh m;
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < u; ++i) {
    const double ph = 2.0 * pi * i / u;
    for (int j = 0; j < w; ++j) {
      const double th = 2.0 * pi * j / w;
      const double rr = R + a * std::cos(th);
      m.AddVertex(cx + rr * std::cos(ph), cy + rr * std::sin(ph), cz + a * std::sin(th));
    }
  }
  auto id = [&](int i, int j) { return ((i % u) * w) + (j % w); };
  for (int i = 0; i < u; ++i)
    for (int j = 0; j < w; ++j) {
      m.AddFace(id(i, j), id(i + 1, j), id(i + 1, j + 1));
      m.AddFace(id(i, j), id(i + 1, j + 1), id(i, j + 1));
    }
  return m;
}

// Volume enclosed by a closed, consistently oriented mesh (absolute value).
inline double MeshVolume(const TestMesh& m) {
  double vol = 0;
  for (const auto& t : m.f) {
    const auto& a = m.v[static_cast<size_t>(t[0])];
    const auto& b = m.v[static_cast<size_t>(t[1])];
    const auto& c = m.v[static_cast<size_t>(t[2])];
    vol += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return std::fabs(vol) / 6.0;
}

// The mesh as faces, ready for SetupLayers; null when SetMesh refuses it.
inline std::unique_ptr<PoliedroEstructurado> MakeSolid(TestMesh& m) {
  PoliedroMatricial pm;
  if (pm.SetMesh(m.nv(), m.verts(), m.nf(), m.faces()) != PoliedroMatricial::kAccepted) return nullptr;
  auto s = std::make_unique<PoliedroEstructurado>();
  s->SetFaces(pm);
  return s;
}
