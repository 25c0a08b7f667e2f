#include "fluid_core/emission_layers.h"

bool BuildEmissionLayers(const Hileras* region, double size, double tolerance,
                         std::vector<Vec3f> layers[2]) {
  layers[0].clear();
  layers[1].clear();
  (void)region;
  (void)size;
  (void)tolerance;
  return false;
}
