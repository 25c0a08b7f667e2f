// Small 3-vector of floats used throughout the particle solver (host axis
// order, z up) and the helper family the solver is written with.
#pragma once
#include <cmath>

struct Vec3f {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  Vec3f() = default;
  Vec3f(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  Vec3f operator+(const Vec3f& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3f operator-(const Vec3f& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3f operator-() const { return {-x, -y, -z}; }
  Vec3f operator*(float s) const { return {x * s, y * s, z * s}; }
  Vec3f& operator+=(const Vec3f& o) { x += o.x; y += o.y; z += o.z; return *this; }
  Vec3f& operator-=(const Vec3f& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  Vec3f& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  bool operator==(const Vec3f& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const Vec3f& o) const { return !(*this == o); }
  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline void Vec3Zero(Vec3f& a) { a = Vec3f(); }
inline void Vec3Copy(Vec3f& out, const Vec3f& a) { out = a; }
// Exact comparison: parked particles are recognised by their exact position.
inline bool Vec3Equal(const Vec3f& a, const Vec3f& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline void Vec3Add(Vec3f& out, const Vec3f& a, const Vec3f& b) { out = a + b; }
inline void Vec3Sub(Vec3f& out, const Vec3f& a, const Vec3f& b) { out = a - b; }
inline void Vec3Scale(Vec3f& out, const Vec3f& a, float s) { out = a * s; }
inline void Vec3ScaleInPlace(Vec3f& a, float s) { a *= s; }
inline void Vec3DivInPlace(Vec3f& a, float s) { a.x /= s; a.y /= s; a.z /= s; }
// Leaves a unchanged when s is 0.
inline void Vec3DivSafe(Vec3f& a, float s) {
  if (s != 0.0f) Vec3DivInPlace(a, s);
}
inline void Vec3AddInPlace(Vec3f& a, const Vec3f& b) { a += b; }
inline void Vec3SubInPlace(Vec3f& a, const Vec3f& b) { a -= b; }
inline float Vec3Dot(const Vec3f& a, const Vec3f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3f Vec3Cross(const Vec3f& a, const Vec3f& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Vec3LengthSq(const Vec3f& a) { return Vec3Dot(a, a); }
// Square root taken in double precision.
inline float Vec3Length(const Vec3f& a) {
  return (float)std::sqrt((double)a.x * a.x + (double)a.y * a.y + (double)a.z * a.z);
}
// No zero check here: callers that may see a zero vector use Vec3NormalizeSafe.
inline void Vec3Normalize(Vec3f& a) { Vec3DivInPlace(a, Vec3Length(a)); }
// Returns false and leaves a unchanged when a has no length.
inline bool Vec3NormalizeSafe(Vec3f& a) {
  float l = Vec3Length(a);
  if (!(l > 0.0f) || !std::isfinite(l)) return false;
  Vec3DivInPlace(a, l);
  return true;
}
inline void Vec3BoundsInit(float* b) {
  b[0] = b[1] = b[2] = 1e6f;
  b[3] = b[4] = b[5] = -1e6f;
}
inline void Vec3ArraySet(float* array, int i, const Vec3f& v) {
  array[3 * i] = v.x;
  array[3 * i + 1] = v.y;
  array[3 * i + 2] = v.z;
}
