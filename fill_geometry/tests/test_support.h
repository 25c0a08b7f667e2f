// Small builders shared by the fill geometry tests.
#pragma once

#include <initializer_list>
#include <memory>
#include <utility>

#include "fill_geometry/cadena.h"
#include "fill_geometry/hilera.h"

inline std::unique_ptr<Hilera> MakeRow(std::initializer_list<std::pair<double, double>> pts) {
  auto r = std::make_unique<Hilera>();
  for (const auto& p : pts) r->AddPoint(p.first, p.second);
  return r;
}

inline std::unique_ptr<Cadena> MakeChain(std::initializer_list<std::pair<double, double>> pts) {
  auto row = MakeRow(pts);
  auto c = std::make_unique<Cadena>();
  c->SetFromHilera(*row);
  return c;
}

// Axis square [x0, x0 + s] x [y0, y0 + s], clockwise (positive) or not.
inline std::unique_ptr<Hilera> SquareRow(double x0, double y0, double s, bool clockwise) {
  auto r = std::make_unique<Hilera>();
  if (clockwise) {
    r->AddPoint(x0, y0);
    r->AddPoint(x0, y0 + s);
    r->AddPoint(x0 + s, y0 + s);
    r->AddPoint(x0 + s, y0);
  } else {
    r->AddPoint(x0, y0);
    r->AddPoint(x0 + s, y0);
    r->AddPoint(x0 + s, y0 + s);
    r->AddPoint(x0, y0 + s);
  }
  r->AddPoint(x0, y0);
  return r;
}

inline std::unique_ptr<Cadena> Square(double x0, double y0, double s, bool clockwise) {
  auto row = SquareRow(x0, y0, s, clockwise);
  auto c = std::make_unique<Cadena>();
  c->SetFromHilera(*row);
  return c;
}
