// Shape lattice and chain operations of the fill geometry.
#include <cmath>
#include <memory>

#include "bench/bench.h"
#include "fill_geometry/fill_geometry.h"

namespace {

std::unique_ptr<Hilera> Ring(double cx, double cy, double radius, int n, bool clockwise) {
  auto row = std::make_unique<Hilera>();
  for (int k = 0; k <= n; ++k) {
    double a = (clockwise ? -1 : 1) * 2 * M_PI * (k % n) / n;
    // A wavy rim keeps the outline from being trivially convex.
    double rad = radius * (1 + 0.05 * std::sin(7 * a));
    row->AddPoint(cx + rad * std::cos(a), cy + rad * std::sin(a));
  }
  return row;
}

void BenchShapeLattice() {
  Hileras shape;
  shape.Add(Ring(0, 0, 50, 2048, true).release());
  shape.Add(Ring(10, 0, 15, 512, false).release());
  uint32_t n1 = 0, n2 = 0;
  double ms = vorel_bench::TimeMs([&] {
    double** p1 = nullptr;
    double** p2 = nullptr;
    BuildRegionsFromChains(shape, 0.05, n1, p1, n2, p2, 0.0001, fillgeo::kUnset, fillgeo::kUnset);
    for (uint32_t i = 0; i < n1; ++i) delete[] p1[i];
    for (uint32_t i = 0; i < n2; ++i) delete[] p2[i];
    delete[] p1;
    delete[] p2;
  });
  vorel_bench::Print("shape_lattice.points", n1 + n2);
  vorel_bench::Print("shape_lattice.ms", ms);

  auto big = Ring(0, 0, 100, 50000, true);
  double finishMs = vorel_bench::TimeMs([&] {
    Cadena c;
    c.SetFromHilera(*big);
  });
  vorel_bench::Print("chain_finish_50k.ms", finishMs);

  auto a = Ring(0, 0, 100, 20000, true);
  auto b = Ring(0, 0, 60, 20000, false);
  Cadena ca, cb;
  ca.SetFromHilera(*a);
  cb.SetFromHilera(*b);
  int16_t rel = 0;
  double relMs = vorel_bench::TimeMs([&] { rel = ca.Relation(cb, true, 1e-8); });
  vorel_bench::Print("relation_20k.code", rel);
  vorel_bench::Print("relation_20k.ms", relMs);
}

}  // namespace

VOREL_BENCH("shape_lattice", BenchShapeLattice);
