// Internal: cutting rings at each other and relinking the kept edges, the
// common ground of merging outlines and cutting holes out of regions.
#pragma once

#include <cstdint>
#include <vector>

#include "fill_geometry/cadena.h"

namespace fillgeo {

struct RingPoint {
  double x, y;
};

struct RingEdge {
  RingPoint a, b;
  bool used = false;
};

// The ring's points (last = first) with every crossing with the other chains
// and every vertex of theirs lying on one of its segments inserted in order.
std::vector<RingPoint> SplitRing(const Cadena& ring, const std::vector<const Cadena*>& others,
                                 double tol);

// Appends the directed edges of a split ring (zero-length ones skipped).
void AppendEdges(const std::vector<RingPoint>& ring, std::vector<RingEdge>& edges, double tol);

// Links the unused edges into closed rings; at a junction the sharpest turn
// (smallest angle from the way back) wins. False when an edge chain does not
// close.
bool LinkEdges(std::vector<RingEdge>& edges, double tol,
               std::vector<std::vector<RingPoint>>& rings);

bool NearPoints(const RingPoint& a, const RingPoint& b, double tol);

}  // namespace fillgeo
