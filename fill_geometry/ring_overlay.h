// Internal: cutting rings at each other and relinking the kept edges, the
// common ground of merging outlines and cutting holes out of regions.
#pragma once

#include <cstdint>
#include <utility>
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

// The points where segment q0-q1 meets segment a-b, appended to `ins` with
// their parameter along a-b: q0 and q1 where they lie within tol of a-b,
// and a proper crossing; points within tol of a or b are left out.
void AddMeetings(const RingPoint& a, const RingPoint& b, const RingPoint& q0, const RingPoint& q1,
                 double tol, std::vector<std::pair<double, RingPoint>>& ins);

}  // namespace fillgeo
