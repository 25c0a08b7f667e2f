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

// Why outlines that bound no emission point refuse it, as a clause ("an
// outline crosses itself"): null when they bound points or are merely too
// small for the step (SmallestEmittingScale then says by how much).
const char* EmissionRefusalReason(const Hileras* region, double size, double tolerance);

// The smallest factor, from 1 up in steps of 1 %, by which the outlines,
// scaled about the centre of their box, bound lattice points (as
// BuildEmissionLayers makes them); 0 when no factor up to maxFactor does, or
// there are no outlines. What a source that emits nothing needs to grow by.
double SmallestEmittingScale(const Hileras* region, double size, double tolerance, double maxFactor);
