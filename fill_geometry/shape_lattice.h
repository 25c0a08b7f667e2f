// Shape outlines to two layers of a close-packed lattice of particle centres.
#pragma once

#include <cstdint>

#include "fill_geometry/hilera.h"

// Why BuildRegionsFromChains built no lattice (kBuilt when it did).
enum class ShapeLatticeStatus : uint8_t {
  kBuilt,
  kBadRadius,     // radius or margin not positive and finite
  kNoOutline,     // no outline, or none bounding material
  kNotClosed,     // an outline that is open or has too few points
  kSelfCrossing,  // an outline that crosses itself
  kOverlapping,   // two outlines that cross or overlap, or a hole crossing its outline
  kNested,        // an outline inside another drawn the same way round
  kTooSmall,      // narrower than the radius allows, or nothing left inside the margin
  kTooLarge,      // more lattice points than the builder makes
};
const char* ShapeLatticeStatusText(ShapeLatticeStatus status);

// Returns 1 when the lattice was built (counts may still be 0), 0 when not;
// on failure both counts are 0 and both arrays null. Each point is a new
// double[3]; the caller frees the points and the arrays (delete[]). margin
// and originX/originY take 7051939.756202 for "not given". `status`, when
// given, gets why nothing was built.
uint8_t BuildRegionsFromChains(const Hileras& outlines, double r, uint32_t& count1,
                               double**& points1, uint32_t& count2, double**& points2,
                               double margin, double originX, double originY,
                               ShapeLatticeStatus* status = nullptr);
