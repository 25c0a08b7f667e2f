#include "fill_geometry/cara.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {
constexpr double kHorizontalNz = 0.995;
}  // namespace

bool Cara::Set(double x0, double y0, double z0, double x1, double y1, double z1, double x2, double y2,
               double z2) {
  if (set_) return false;
  if (Distance3D(x0, y0, z0, x1, y1, z1) < kTol || Distance3D(x1, y1, z1, x2, y2, z2) < kTol ||
      Distance3D(x2, y2, z2, x0, y0, z0) < kTol)
    return false;
  double cx, cy, cz;
  Cross3D(x1 - x0, y1 - y0, z1 - z0, x2 - x1, y2 - y1, z2 - z1, cx, cy, cz);
  double area = Length3D(cx, cy, cz) / 2.0;
  if (!(area >= kTol)) {  // also refuses a NaN area
    area_ = 0;
    return false;
  }
  area_ = area;
  set_ = true;
  p_[0].Set(x0, y0, z0);
  p_[1].Set(x1, y1, z1);
  p_[2].Set(x2, y2, z2);
  xmin_ = std::min({x0, x1, x2});
  xmax_ = std::max({x0, x1, x2});
  ymin_ = std::min({y0, y1, y2});
  ymax_ = std::max({y0, y1, y2});
  zmin_ = std::min({z0, z1, z2});
  zmax_ = std::max({z0, z1, z2});
  return true;
}

const Punto3D* Cara::Corner(int i) const { return i >= 0 && i < 3 ? &p_[i] : nullptr; }

void Cara::Plane(double& nx, double& ny, double& nz, double& d) const {
  nx = ny = nz = 0;
  for (int i = 0; i < 3; ++i) {
    const Punto3D& a = p_[i];
    const Punto3D& b = p_[(i + 1) % 3];
    nx += (a.z() + b.z()) * (a.y() - b.y());
    ny += (a.x() + b.x()) * (a.z() - b.z());
    nz += (a.x() - b.x()) * (a.y() + b.y());
  }
  double len = Length3D(nx, ny, nz);
  if (len > 0) {
    nx /= len;
    ny /= len;
    nz /= len;
  }
  d = -(nx * p_[0].x() + ny * p_[0].y() + nz * p_[0].z());
}

bool Cara::IsHorizontal() const {
  double nx, ny, nz, d;
  Plane(nx, ny, nz, d);
  return std::fabs(nz) > kHorizontalNz;
}

int16_t Cara::SharedCorners(const Cara& other) const {
  int16_t n = 0;
  for (const Punto3D& a : p_) {
    for (const Punto3D& b : other.p_) {
      if (Distance3D(a.x(), a.y(), a.z(), b.x(), b.y(), b.z()) <= kTol) {
        ++n;
        break;
      }
    }
  }
  return n;
}

bool Cara::CutAtHeight(double z, double& x1, double& y1, double& x2, double& y2, uint8_t& touch) const {
  touch = 0;
  if (z < zmin_ || z > zmax_) return false;
  int found = 0;
  bool corner[2] = {false, false};
  double px[2] = {0, 0}, py[2] = {0, 0};
  for (int e = 0; e < 3 && found < 2; ++e) {
    const Punto3D* lo = &p_[e];
    const Punto3D* hi = &p_[(e + 1) % 3];
    if (std::fabs(hi->z() - lo->z()) <= kTol) continue;
    if (lo->z() > hi->z()) std::swap(lo, hi);
    if (z < lo->z() || z > hi->z()) continue;
    double t = (z - lo->z()) / (hi->z() - lo->z());
    double x = lo->x() + t * (hi->x() - lo->x());
    double y = lo->y() + t * (hi->y() - lo->y());
    if (found == 1 && Distance2D(x, y, px[0], py[0]) <= kTol) continue;
    px[found] = x;
    py[found] = y;
    corner[found] = (t == 0.0 || t == 1.0);
    ++found;
  }
  if (found < 2) return false;
  x1 = px[0];
  y1 = py[0];
  x2 = px[1];
  y2 = py[1];
  touch = (corner[0] && corner[1]) ? 1 : 0;
  return true;
}

Caras::~Caras() {
  for (Cara* f : faces_) delete f;
  faces_.clear();
}

Cara* Caras::Get(int32_t i) const { return i >= 0 && i < Count() ? faces_[static_cast<size_t>(i)] : nullptr; }
