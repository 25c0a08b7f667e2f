// The cross-section points of a source's two emission layers, built from
// the emitter's shape outlines by the fill geometry.
#pragma once
#include <vector>

#include "fluid_core/vec3.h"

class Hileras;

// Fills `layers` with the lattice points (x, y in the outline plane, z 0) of
// the region the outlines bound; false with both layers empty when there is
// no region (or no region builder in this build).
bool BuildEmissionLayers(const Hileras* region, double size, double tolerance,
                         std::vector<Vec3f> layers[2]);
