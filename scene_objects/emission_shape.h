// What an emitter emits from and draws: the circle outline, a picked shape's
// outlines cut into rows of points, the emission points inside them, the
// wireframe of the outlines, and the predicted stream of its liquid (the
// trajectory) under gravity and space-warp forces.
#pragma once
#include <deque>
#include <functional>
#include <vector>

#include "fill_geometry/hilera.h"
#include "host/sdk/max.h"

// Handle length of a four-knot Bezier circle, per unit of radius.
constexpr float kCircleHandle = 0.5517862f;
// Gravity of the predicted stream, host units per second squared per unit
// of the position scale.
constexpr float kTrajectoryGravity = 31.0f;

// Appends a closed four-knot circle of radius r in the XY plane, knots at
// angles k pi / 2 with tangent handles r x kCircleHandle long.
void AddCircleSpline(BezierShape& shape, float radius);

// Appends the wireframe of a spline to `out`: six samples per segment (u = 0,
// 1/6 .. 5/6), the first repeated at the end when `close`, joined by
// degenerate faces (k, k+1, k) with every edge visible. A spline without
// segments adds nothing.
void AppendPolylineMesh(const Spline3D& spline, bool close, Mesh& out);

// Outline rows of a shape: per spline one row with the points at u = 0,
// 0.25, 0.5, 0.75 of every segment, scaled (x sx / S, y sy / S), closed by
// the first point again.
void SampleShapeRows(BezierShape& shape, float sx, float sy, float scale, Hileras& rows);
// True when `rows` are exactly what SampleShapeRows would make now.
bool RowsMatchShape(BezierShape& shape, float sx, float sy, float scale, const Hileras& rows);

// The emission points of the region the rows bound, on the close-packed
// lattice of step 0.45 d, both layers in turn, each lifted by a random
// 0..0.95 x 0.45 d along z. `rand15` gives 0..32767. Empty when the rows
// bound nothing.
void BuildShapeEmissionPoints(const Hileras& rows, double spacing, const std::function<int()>& rand15,
                              std::vector<Point3>& points);

// One point of the predicted stream: where a drop is, how fast it goes, and
// the frame it belongs to.
struct TrajectoryPoint {
  Point3 pos;
  Point3 vel;
  int frame = 0;
};
// Sum of the raw forces of the space warps on a point (host units per tick
// squared, as ForceField::Force gives them) at a host time.
using ForceSum = std::function<Point3(TimeValue t, const Point3& pos, const Point3& vel)>;

// How the stream moves: gravity g (host units / s^2, along -z), the ticks
// per frame, and the forces (none when empty).
struct StreamPhysics {
  float gravity = 0.0f;
  int ticksPerFrame = 160;
  ForceSum force;
};

// Advances a point by `dt` seconds `steps` times; sub-step i samples the
// forces at ticksPerFrame x (i x dt + frame) and scales them by
// ticksPerFrame x 200000.
void AdvanceStreamPoint(TrajectoryPoint& e, float dt, int steps, int frame, const StreamPhysics& phys);

// The path of one drop leaving `origin` at `velocity`: length - 1 points,
// the front the farthest along (frame length - 1), the back the origin
// (frame 1). Fewer than two frames make an empty list.
std::deque<TrajectoryPoint> PredictStream(const Point3& origin, const Point3& velocity, int length,
                                          const StreamPhysics& phys);

// One frame of the moving stream: unless `disabled`, a new point at the
// emitter (`origin`, `velocity`) joins the back with the next frame number
// (front frame + 1, or firstFrame + 1 for an empty list) and the front drops
// off beyond `length` points; every older point flies one frame (5
// sub-steps) and all take the new frame number.
void ExtendStream(std::deque<TrajectoryPoint>& stream, const Point3& origin, const Point3& velocity,
                  bool disabled, int length, int firstFrame, const StreamPhysics& phys);
