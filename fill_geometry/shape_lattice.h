// Shape outlines to two layers of a close-packed lattice of particle centres.
#pragma once

#include <cstdint>

#include "fill_geometry/hilera.h"

// Returns 1 when the lattice was built (counts may still be 0), 0 when not;
// on failure both counts are 0 and both arrays null. Each point is a new
// double[3]; the caller frees the points and the arrays (delete[]). margin
// and originX/originY take 7051939.756202 for "not given".
uint8_t BuildRegionsFromChains(const Hileras& outlines, double r, uint32_t& count1,
                               double**& points1, uint32_t& count2, double**& points2,
                               double margin, double originX, double originY);
