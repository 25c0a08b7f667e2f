#include "fluid_core/emission_layers.h"

#include <algorithm>

#include "fill_geometry/hilera.h"
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

const char* EmissionRefusalReason(const Hileras* region, double size, double tolerance) {
  if (!region) return nullptr;
  uint32_t n0 = 0, n1 = 0;
  double** p0 = nullptr;
  double** p1 = nullptr;
  ShapeLatticeStatus why = ShapeLatticeStatus::kBuilt;
  BuildRegionsFromChains(*region, size, n0, p0, n1, p1, tolerance, kNotGiven, kNotGiven, &why);
  std::vector<Vec3f> dropped;
  TakeLayer(n0, p0, dropped);
  TakeLayer(n1, p1, dropped);
  if (why == ShapeLatticeStatus::kBuilt || why == ShapeLatticeStatus::kTooSmall) return nullptr;
  return ShapeLatticeStatusText(why);
}

double SmallestEmittingScale(const Hileras* region, double size, double tolerance, double maxFactor) {
  if (!region || region->Count() == 0) return 0.0;
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (int r = 0; r < region->Count(); ++r)
    for (int i = 0; region->Get(r) && i < region->Get(r)->Count(); ++i) {
      const Punto2D* p = region->Get(r)->Get(i);
      lo[0] = std::min(lo[0], p->X()), hi[0] = std::max(hi[0], p->X());
      lo[1] = std::min(lo[1], p->Y()), hi[1] = std::max(hi[1], p->Y());
    }
  if (!(lo[0] <= hi[0] && lo[1] <= hi[1])) return 0.0;
  const double cx = 0.5 * (lo[0] + hi[0]), cy = 0.5 * (lo[1] + hi[1]);
  std::vector<Vec3f> layers[2];
  for (double k = 1.0; k <= maxFactor; k *= 1.01) {
    Hileras scaled;
    for (int r = 0; r < region->Count(); ++r) {
      Hilera* row = new Hilera();
      for (int i = 0; region->Get(r) && i < region->Get(r)->Count(); ++i) {
        const Punto2D* p = region->Get(r)->Get(i);
        row->AddPoint(cx + k * (p->X() - cx), cy + k * (p->Y() - cy));
      }
      scaled.Add(row);
    }
    BuildEmissionLayers(&scaled, size, tolerance, layers);
    if (!layers[0].empty() || !layers[1].empty()) return k;
  }
  return 0.0;
}
