// The arithmetic of the two space warps (object attractor and path follow):
// sample strides, goal and path forces, the planar fall-back, turbulence and
// the icon mesh. Pure functions of their arguments, so that the warp classes
// (obj_attractor.h, path_follow.h) stay glue and the numbers can be checked by
// hand.
#pragma once
#include <cstdint>

#include "host/core/geom.h"
#include "host/core/mesh.h"

class Spline3D;

namespace force_math {

// Every force is scaled by (1200 / 4800)^2: the warps were tuned for a host
// running at 1200 ticks a second.
constexpr float kForceScale = 0.0625f;
constexpr float kGoalFactor = 0.0004f;     // attractor goal and path pull / steering
constexpr float kPlanarFactor = 0.0001f;   // planar fall-back and tangent push
constexpr float kBendFactor = 0.0002f * 2.4f;
constexpr float kTurbulenceFactor = 6.25e-6f;  // 0.0001 x 0.0625
constexpr float kFrequencyFactor = 0.01f;
constexpr float kDecay = 0.01f;               // per unit of distance
// Where e^(-0.01 d) halves: the hoops sit there; the bounding box reaches twice as far.
constexpr float kHoopZ = 69.31472f;
constexpr float kHoopBoxZ = 138.62944f;
constexpr int kPathSamplesPerSegment = 12;
constexpr float kPathReach = 30.0f;
constexpr float kPathAwayBoost = 15.0f;
constexpr float kPathSlowSpeed = 100.0f;
constexpr float kPathSlowBoost = 10.0f;

// A unit vector along v, or the zero vector when v has no (finite) length:
// particles at rest or sitting on their goal must not turn into NaNs that
// would then spread through the whole solver state.
Point3 SafeNormalize(const Point3& v);

// x itself when floor(sqrt(x)) < 3 or no divisor 2 .. floor(sqrt(x)) - 1
// divides it; otherwise the smallest such divisor.
int PrimeTest(int x);
// Stride through n samples: 1 when ordered (or n < 1); otherwise the first
// s >= floor(sqrt(n + 1)) that PrimeTest answers with itself.
int SampleStride(int n, bool ordered);
// Sample of particle `index`: (stride x index) wrapped to a signed 32-bit
// product, read as an unsigned 64-bit value, modulo n. n must be > 0.
int SampleIndex(int stride, int index, int n);

// Steering towards a world goal: (normalize(goal - pos) - normalize(vel)) x
// strength x 0.0004 x 0.0625.
Point3 GoalForce(const Point3& goal, const Point3& pos, const Point3& vel, float strength);
// Without a target: along the icon's z axis (third row of its transform),
// decaying as e^(-0.01 d) with the distance d from the icon's plane.
Point3 PlanarForce(const Matrix3& iconTM, const Point3& pos, float strength);
// The noise added on top of a stored force (never stored itself); zero when
// turbulence is 0. t in ticks; iconPos the translation of the icon.
Point3 TurbulenceTerm(TimeValue t, const Point3& pos, const Point3& iconPos, float turbulence,
                      float frequency, float scale);

// Outcome of the path force for one particle.
enum class PathForce {
  kApplied,   // `force` holds the new force, to be stored
  kZero,      // no segments, farther than 30 from every sample, or nearest the
              // last sample: the force is zero and no turbulence is added
};
// Path-follow force of spline (sampled 12 times a segment, points mapped by
// nodeTM, tangents taken in the spline's own frame) on a particle.
PathForce PathFollowForce(const Spline3D& spline, const Matrix3& nodeTM, const Point3& pos,
                          const Point3& vel, float strength, float strength2, bool reverse,
                          Point3& force);

// The warps' icon: a cube of half-size s and four streamers; 45 vertices
// (vertex 8 at the origin, used by no face) and 28 faces.
void BuildForceIcon(Mesh& mesh, float s);

}  // namespace force_math
