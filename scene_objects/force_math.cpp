// The space warps' arithmetic: strides, forces, turbulence and the icon.
#include "scene_objects/force_math.h"

#include <cmath>

#include "host/core/hostmath.h"
#include "host/sdk/object.h"

namespace force_math {

Point3 SafeNormalize(const Point3& v) {
  float l = v.Length();
  if (!(l > 0.0f) || !std::isfinite(l)) return Point3(0.0f, 0.0f, 0.0f);
  return v / l;
}

int PrimeTest(int x) {
  int r = int(std::floor(std::sqrt(double(x))));
  if (r < 3) return x;
  for (int d = 2; d < r; ++d)
    if (x % d == 0) return d;
  return x;
}

int SampleStride(int n, bool ordered) {
  if (ordered || n < 1) return 1;
  int s = int(std::floor(std::sqrt(double(n) + 1.0)));
  while (PrimeTest(s) != s) ++s;
  return s;
}

int SampleIndex(int stride, int index, int n) {
  // The product wraps as a 32-bit signed value would, then is read as an
  // unsigned 64-bit one (sign-extended); done without signed overflow.
  int64_t wide = int64_t(stride) * int64_t(index);
  uint32_t low = uint32_t(uint64_t(wide) & 0xFFFFFFFFu);
  int64_t wrapped = low >= 0x80000000u ? int64_t(low) - int64_t(0x100000000) : int64_t(low);
  return int(uint64_t(wrapped) % uint64_t(n));
}

Point3 GoalForce(const Point3& goal, const Point3& pos, const Point3& vel, float strength) {
  Point3 u = SafeNormalize(goal - pos);
  Point3 v = SafeNormalize(vel);
  return (u - v) * (strength * kGoalFactor * kForceScale);
}

Point3 PlanarForce(const Matrix3& iconTM, const Point3& pos, float strength) {
  Point3 a = SafeNormalize(iconTM.GetRow(2));
  float d = std::fabs(DotProd(pos - iconTM.GetTrans(), a));
  return a * (strength * std::exp(-kDecay * d) * kPlanarFactor * kForceScale);
}

Point3 TurbulenceTerm(TimeValue t, const Point3& pos, const Point3& iconPos, float turbulence,
                      float frequency, float scale) {
  if (turbulence == 0.0f) return Point3(0.0f, 0.0f, 0.0f);
  float f = frequency * kFrequencyFactor;
  float T = float(t) * f;
  Point3 d = pos - iconPos;
  float k = turbulence * kTurbulenceFactor;
  float nx = noise3(Point3(T, d.y, d.z) * scale);
  float ny = noise3(Point3(d.x, T, d.z) * scale);
  float nz = noise3(Point3(d.x, d.y, T) * scale);
  return Point3(nx, ny, nz) * k;
}

PathForce PathFollowForce(const Spline3D& spline, const Matrix3& nodeTM, const Point3& pos,
                          const Point3& vel, float strength, float strength2, bool reverse,
                          Point3& force) {
  const float sigma = reverse ? -1.0f : 1.0f;
  const int segments = spline.Segments();
  float best = 1e9f;
  bool atEnd = false;
  Point3 q, tc, to, dt;
  for (int s = 0; s < segments; ++s) {
    for (int k = 0; k < kPathSamplesPerSegment; ++k) {
      float u = float(k) / float(kPathSamplesPerSegment);
      Point3 p = spline.InterpBezier3D(s, u) * nodeTM;
      float delta = (p - pos).Length();
      if (!(delta < best)) continue;  // ties keep the earlier sample
      best = delta;
      q = p;
      atEnd = s == segments - 1 && k == kPathSamplesPerSegment - 1;
      tc = spline.TangentBezier3D(s, u) * sigma;
      if (k < kPathSamplesPerSegment - 1) {
        to = spline.TangentBezier3D(s, float(k + 1) / float(kPathSamplesPerSegment)) * sigma;
        dt = (to - tc) * sigma;
      } else {
        to = spline.TangentBezier3D(s, float(k - 1) / float(kPathSamplesPerSegment)) * sigma;
        dt = (tc - to) * sigma;
      }
    }
  }
  if (segments < 1 || best > kPathReach || atEnd) {
    force = Point3(0.0f, 0.0f, 0.0f);
    return PathForce::kZero;
  }
  Point3 n = SafeNormalize(q - pos);
  float away = DotProd(n, vel) < 0.0f ? kPathAwayBoost : 1.0f;
  float s2 = vel.Length() < kPathSlowSpeed ? strength2 * kPathSlowBoost : strength2;
  Point3 f = n * ((1.0f - std::exp(-kDecay * best)) * away * strength * kGoalFactor * kForceScale);
  f += SafeNormalize(tc) * (s2 * kPlanarFactor * kForceScale);
  f += dt * (strength * kBendFactor * kForceScale);
  f += (SafeNormalize(to) - SafeNormalize(vel)) * (strength * kGoalFactor * kForceScale);
  force = f;
  return PathForce::kApplied;
}

void BuildForceIcon(Mesh& mesh, float s) {
  static const int kCube[12][3] = {{0, 1, 3}, {1, 2, 3}, {1, 0, 4}, {5, 1, 4},
                                   {5, 2, 1}, {5, 6, 2}, {2, 6, 3}, {6, 7, 3},
                                   {0, 3, 7}, {4, 0, 7}, {6, 4, 7}, {6, 5, 4}};
  static const float kCorner[8][3] = {{-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                                      {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
  static const float kStreamerOffset[4][3] = {
      {0, 0, 0}, {0, -0.8f, -0.8f}, {0, -0.5f, 0.4f}, {0, 0.6f, 0.1f}};
  static const float kStreamer[9][3] = {{-1, 0, 0},          {-0.8f, 0.1f, 0},    {-0.6f, 0.1f, 0},
                                        {-0.2f, 0.3f, 0.2f}, {0, 0.3f, 0.2f},     {0.4f, 0.1f, 0.3f},
                                        {0.6f, 0.1f, 0.3f},  {0.8f, 0.2f, 0.25f}, {1, 0.3f, 0.2f}};
  mesh.setNumVerts(45);
  mesh.setNumFaces(28);
  for (int i = 0; i < 8; ++i)
    mesh.setVert(i, kCorner[i][0] * s, kCorner[i][1] * s, kCorner[i][2] * s);
  mesh.setVert(8, 0.0f, 0.0f, 0.0f);
  for (int f = 0; f < 12; ++f) {
    Face& face = mesh.faces[size_t(f)];
    face.setVerts(kCube[f][0], kCube[f][1], kCube[f][2]);
    // Only the cube's edges are drawn, not the diagonals of its sides.
    for (int e = 0; e < 3; ++e) {
      const float* a = kCorner[kCube[f][e]];
      const float* b = kCorner[kCube[f][(e + 1) % 3]];
      int differing = (a[0] != b[0]) + (a[1] != b[1]) + (a[2] != b[2]);
      face.setEdgeVis(e, differing == 1);
    }
  }
  for (int k = 0; k < 4; ++k) {
    int b = 9 + 9 * k;
    for (int i = 0; i < 9; ++i)
      mesh.setVert(b + i, (kStreamerOffset[k][0] + kStreamer[i][0]) * s,
                   (kStreamerOffset[k][1] + kStreamer[i][1]) * s,
                   (kStreamerOffset[k][2] + kStreamer[i][2]) * s);
    const int faces[4][3] = {{b, b + 2, b + 1}, {b + 2, b + 4, b + 3}, {b + 4, b + 5, b + 6},
                             {b + 6, b + 7, b + 8}};
    for (int j = 0; j < 4; ++j) {
      Face& face = mesh.faces[size_t(12 + 4 * k + j)];
      face.setVerts(faces[j][0], faces[j][1], faces[j][2]);
      face.setEdgeVisFlags(1, 1, 1);
    }
  }
  mesh.InvalidateGeomCache();
}

}  // namespace force_math
