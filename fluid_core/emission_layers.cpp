#include "fluid_core/emission_layers.h"

#include "fill_geometry/shape_lattice.h"

namespace {
constexpr double kNotGiven = 7051939.756202;

void TakeLayer(uint32_t n, double** pts, std::vector<Vec3f>& out) {
  out.clear();
  if (!pts) return;
  out.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (pts[i]) out.emplace_back(float(pts[i][0]), float(pts[i][1]), 0.0f);
    delete[] pts[i];
  }
  delete[] pts;
}
}  // namespace

bool BuildEmissionLayers(const Hileras* region, double size, double tolerance,
                         std::vector<Vec3f> layers[2]) {
  layers[0].clear();
  layers[1].clear();
  if (!region) return false;
  uint32_t n0 = 0, n1 = 0;
  double** p0 = nullptr;
  double** p1 = nullptr;
  bool ok = BuildRegionsFromChains(*region, size, n0, p0, n1, p1, tolerance, kNotGiven, kNotGiven) != 0;
  TakeLayer(n0, p0, layers[0]);
  TakeLayer(n1, p1, layers[1]);
  return ok;
}
