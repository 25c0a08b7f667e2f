// Where two polylines meet: true crossings (mode 1) or contacts (mode 2).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fill_geometry/hilera.h"

namespace fillgeo {

// One crossing row: x, y, tQ, j (Q segment), tP, i (P segment), sense.
using CrossingRow = std::array<double, 7>;
using CrossingRows = std::vector<CrossingRow>;

enum CrossingMode : uint16_t { kCrossings = 1, kContacts = 2 };

// Rows sorted by i then j (stable). flag: mode 1, a candidate pair lies on
// one line; mode 2, two or more rows remain. True when rows were produced.
bool FindChainCrossings(const Hilera& P, const Hilera& Q, uint16_t mode, CrossingRows& rows,
                        uint32_t& count, uint8_t& flag, double tol);

}  // namespace fillgeo
