#include "fill_geometry/punto.h"

#include "fill_geometry/geometry.h"

bool Punto2D::Set(double x, double y) {
  if (set_) return false;
  x_ = x;
  y_ = y;
  set_ = true;
  return true;
}

double Punto2D::Distance(const Punto2D& other) const {
  return fillgeo::Distance2D(x_, y_, other.x_, other.y_);
}

bool Punto3D::Set(double x, double y, double z) {
  if (set_) return false;
  x_ = x;
  y_ = y;
  z_ = z;
  set_ = true;
  return true;
}
