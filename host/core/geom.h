// Value types of the host's geometry layer: points, the 4x3 transform,
// boxes. Transforms use the row-vector convention: a point p maps to p * M,
// rows 0-2 are the images of the x, y and z axes and row 3 the translation.
#pragma once
#include <cmath>
#include <cstdint>

struct Point2 {
  float x = 0, y = 0;
  Point2() = default;
  Point2(float x_, float y_) : x(x_), y(y_) {}
  float& operator[](int i) { return i == 0 ? x : y; }
  float operator[](int i) const { return i == 0 ? x : y; }
  Point2 operator+(const Point2& o) const { return {x + o.x, y + o.y}; }
  Point2 operator-(const Point2& o) const { return {x - o.x, y - o.y}; }
  Point2 operator*(float s) const { return {x * s, y * s}; }
  bool operator==(const Point2& o) const { return x == o.x && y == o.y; }
  bool operator!=(const Point2& o) const { return !(*this == o); }
};

struct Point3 {
  float x = 0, y = 0, z = 0;
  Point3() = default;
  Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  Point3(double x_, double y_, double z_) : x(float(x_)), y(float(y_)), z(float(z_)) {}
  Point3(int x_, int y_, int z_) : x(float(x_)), y(float(y_)), z(float(z_)) {}
  explicit Point3(const float* v) : x(v[0]), y(v[1]), z(v[2]) {}
  static Point3 Origin() { return {0.0f, 0.0f, 0.0f}; }
  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  Point3 operator-() const { return {-x, -y, -z}; }
  Point3 operator+(const Point3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Point3 operator-(const Point3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Point3 operator/(float s) const { return {x / s, y / s, z / s}; }
  // Component-wise product, as the host's Point3 defines it.
  Point3 operator*(const Point3& o) const { return {x * o.x, y * o.y, z * o.z}; }
  Point3& operator+=(const Point3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  Point3& operator-=(const Point3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  Point3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  Point3& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
  bool operator==(const Point3& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const Point3& o) const { return !(*this == o); }
  float Length() const { return std::sqrt(x * x + y * y + z * z); }
  float LengthSquared() const { return x * x + y * y + z * z; }
  Point3 Normalize() const {
    float l = Length();
    return l > 0.0f ? *this / l : *this;
  }
};
inline Point3 operator*(float s, const Point3& p) { return p * s; }
inline float DotProd(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3 CrossProd(const Point3& a, const Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Point3& p) { return p.Length(); }
inline Point3 Normalize(const Point3& p) { return p.Normalize(); }

class Matrix3 {
 public:
  // Identity by default: a transform nobody set must not collapse geometry.
  Matrix3() { IdentityMatrix(); }
  explicit Matrix3(int /*init*/) { IdentityMatrix(); }
  Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& r3) {
    m_[0] = r0; m_[1] = r1; m_[2] = r2; m_[3] = r3;
  }
  void IdentityMatrix() {
    m_[0] = {1.0f, 0.0f, 0.0f}; m_[1] = {0.0f, 1.0f, 0.0f};
    m_[2] = {0.0f, 0.0f, 1.0f}; m_[3] = {0.0f, 0.0f, 0.0f};
  }
  bool IsIdentity() const {
    return m_[0] == Point3(1.0f, 0.0f, 0.0f) && m_[1] == Point3(0.0f, 1.0f, 0.0f) &&
           m_[2] == Point3(0.0f, 0.0f, 1.0f) && m_[3] == Point3(0.0f, 0.0f, 0.0f);
  }
  Point3& operator[](int i) { return m_[i]; }
  const Point3& operator[](int i) const { return m_[i]; }
  Point3 GetRow(int i) const { return m_[i]; }
  void SetRow(int i, const Point3& p) { m_[i] = p; }
  Point3 GetTrans() const { return m_[3]; }
  void SetTrans(const Point3& p) { m_[3] = p; }
  void NoTrans() { m_[3] = Point3(0.0f, 0.0f, 0.0f); }
  // Rescales the axis rows to unit length, keeping their directions.
  void NoScale() { for (int i = 0; i < 3; ++i) m_[i] = m_[i].Normalize(); }
  void NoRot() {
    for (int i = 0; i < 3; ++i) {
      float l = m_[i].Length();
      m_[i] = Point3(0.0f, 0.0f, 0.0f);
      m_[i][i] = l;
    }
  }
  // Post-multiplies by a translation / rotation / scale (applied after this).
  void Translate(const Point3& p) { m_[3] += p; }
  void RotateX(float a) { *this = *this * RotateXMatrix(a); }
  void RotateY(float a) { *this = *this * RotateYMatrix(a); }
  void RotateZ(float a) { *this = *this * RotateZMatrix(a); }
  void Scale(const Point3& s) { *this = *this * ScaleMatrix(s); }
  // Pre-multiplies: the rotation acts in this matrix's local frame.
  void PreRotateX(float a) { *this = RotateXMatrix(a) * *this; }
  void PreRotateY(float a) { *this = RotateYMatrix(a) * *this; }
  void PreRotateZ(float a) { *this = RotateZMatrix(a) * *this; }
  void PreTranslate(const Point3& p) { m_[3] += VectorTransform(p); }

  Point3 PointTransform(const Point3& p) const {
    return m_[0] * p.x + m_[1] * p.y + m_[2] * p.z + m_[3];
  }
  Point3 VectorTransform(const Point3& p) const { return m_[0] * p.x + m_[1] * p.y + m_[2] * p.z; }

  Matrix3 operator*(const Matrix3& b) const {
    Matrix3 r;
    for (int i = 0; i < 3; ++i) r.m_[i] = b.VectorTransform(m_[i]);
    r.m_[3] = b.PointTransform(m_[3]);
    return r;
  }
  Matrix3& operator*=(const Matrix3& b) { return *this = *this * b; }
  bool operator==(const Matrix3& o) const {
    return m_[0] == o.m_[0] && m_[1] == o.m_[1] && m_[2] == o.m_[2] && m_[3] == o.m_[3];
  }
  bool operator!=(const Matrix3& o) const { return !(*this == o); }

  float Determinant3() const { return DotProd(m_[0], CrossProd(m_[1], m_[2])); }
  // Inverse of the affine map; a singular matrix yields the identity rather
  // than infinities so that callers never spread NaNs through a scene.
  Matrix3 Inverse() const {
    float det = Determinant3();
    Matrix3 r;
    if (det == 0.0f || !std::isfinite(det)) return r;
    Point3 c0 = CrossProd(m_[1], m_[2]) / det;
    Point3 c1 = CrossProd(m_[2], m_[0]) / det;
    Point3 c2 = CrossProd(m_[0], m_[1]) / det;
    // Columns of the inverse are the cross products above.
    r.m_[0] = Point3(c0.x, c1.x, c2.x);
    r.m_[1] = Point3(c0.y, c1.y, c2.y);
    r.m_[2] = Point3(c0.z, c1.z, c2.z);
    r.m_[3] = -r.VectorTransform(m_[3]);
    return r;
  }
  static Matrix3 RotateXMatrix(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Matrix3({1.0f, 0.0f, 0.0f}, {0.0f, c, s}, {0.0f, -s, c}, {0.0f, 0.0f, 0.0f});
  }
  static Matrix3 RotateYMatrix(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Matrix3({c, 0.0f, -s}, {0.0f, 1.0f, 0.0f}, {s, 0.0f, c}, {0.0f, 0.0f, 0.0f});
  }
  static Matrix3 RotateZMatrix(float a) {
    float c = std::cos(a), s = std::sin(a);
    return Matrix3({c, s, 0.0f}, {-s, c, 0.0f}, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.0f});
  }
  static Matrix3 TransMatrix(const Point3& p) {
    Matrix3 m; m.m_[3] = p; return m;
  }
  static Matrix3 ScaleMatrix(const Point3& s) {
    return Matrix3({s.x, 0.0f, 0.0f}, {0.0f, s.y, 0.0f}, {0.0f, 0.0f, s.z}, {0.0f, 0.0f, 0.0f});
  }

 private:
  Point3 m_[4];
};
inline Point3 operator*(const Point3& p, const Matrix3& m) { return m.PointTransform(p); }
inline Point3 VectorTransform(const Matrix3& m, const Point3& p) { return m.VectorTransform(p); }
inline Matrix3 Inverse(const Matrix3& m) { return m.Inverse(); }
inline Matrix3 RotateXMatrix(float a) { return Matrix3::RotateXMatrix(a); }
inline Matrix3 RotateYMatrix(float a) { return Matrix3::RotateYMatrix(a); }
inline Matrix3 RotateZMatrix(float a) { return Matrix3::RotateZMatrix(a); }
inline Matrix3 TransMatrix(const Point3& p) { return Matrix3::TransMatrix(p); }
inline Matrix3 ScaleMatrix(const Point3& s) { return Matrix3::ScaleMatrix(s); }

class Box3 {
 public:
  Point3 pmin, pmax;
  Box3() { Init(); }
  Box3(const Point3& a, const Point3& b) : pmin(a), pmax(b) {}
  void Init() {
    pmin = Point3(1e30f, 1e30f, 1e30f);
    pmax = Point3(-1e30f, -1e30f, -1e30f);
  }
  bool IsEmpty() const { return pmin.x > pmax.x || pmin.y > pmax.y || pmin.z > pmax.z; }
  Box3& operator+=(const Point3& p) {
    for (int i = 0; i < 3; ++i) {
      if (p[i] < pmin[i]) pmin[i] = p[i];
      if (p[i] > pmax[i]) pmax[i] = p[i];
    }
    return *this;
  }
  Box3& operator+=(const Box3& b) {
    if (!b.IsEmpty()) { *this += b.pmin; *this += b.pmax; }
    return *this;
  }
  Point3 Min() const { return pmin; }
  Point3 Max() const { return pmax; }
  Point3 Center() const { return (pmin + pmax) * 0.5f; }
  Point3 Width() const { return IsEmpty() ? Point3(0.0f, 0.0f, 0.0f) : pmax - pmin; }
  bool Contains(const Point3& p) const {
    return p.x >= pmin.x && p.x <= pmax.x && p.y >= pmin.y && p.y <= pmax.y && p.z >= pmin.z &&
           p.z <= pmax.z;
  }
  void EnlargeBy(float s) {
    pmin -= Point3(s, s, s);
    pmax += Point3(s, s, s);
  }
  // Corner i (bit 0 x, bit 1 y, bit 2 z: 0 = min, 1 = max).
  Point3 operator[](int i) const {
    return {(i & 1) ? pmax.x : pmin.x, (i & 2) ? pmax.y : pmin.y, (i & 4) ? pmax.z : pmin.z};
  }
  // Bounding box of this box transformed by tm (all eight corners).
  Box3 operator*(const Matrix3& tm) const {
    Box3 r;
    if (IsEmpty()) return r;
    for (int i = 0; i < 8; ++i) r += (*this)[i] * tm;
    return r;
  }
};

// Time in ticks: 4800 ticks a second.
typedef int TimeValue;
constexpr TimeValue TIME_TICKSPERSEC = 4800;
constexpr TimeValue TIME_NegInfinity = int(0x80000000);
constexpr TimeValue TIME_PosInfinity = 0x7fffffff;

class Interval {
 public:
  Interval() : start_(TIME_NegInfinity), end_(TIME_PosInfinity) {}  // forever
  Interval(TimeValue s, TimeValue e) : start_(s), end_(e) {}
  static Interval Forever() { return Interval(); }
  static Interval Never() { return Interval(TIME_NegInfinity, TIME_NegInfinity); }
  TimeValue Start() const { return start_; }
  TimeValue End() const { return end_; }
  void Set(TimeValue s, TimeValue e) { start_ = s; end_ = e; }
  void SetStart(TimeValue s) { start_ = s; }
  void SetEnd(TimeValue e) { end_ = e; }
  void SetInfinite() { *this = Forever(); }
  void SetEmpty() { *this = Never(); }
  void SetInstant(TimeValue t) { start_ = end_ = t; }
  bool Empty() const { return start_ == TIME_NegInfinity && end_ == TIME_NegInfinity; }
  bool InInterval(TimeValue t) const { return !Empty() && t >= start_ && t <= end_; }
  // Intersection.
  Interval operator&(const Interval& o) const {
    if (Empty() || o.Empty()) return Never();
    TimeValue s = start_ > o.start_ ? start_ : o.start_;
    TimeValue e = end_ < o.end_ ? end_ : o.end_;
    return s > e ? Never() : Interval(s, e);
  }
  Interval& operator&=(const Interval& o) { return *this = *this & o; }
  bool operator==(const Interval& o) const { return start_ == o.start_ && end_ == o.end_; }
  bool operator!=(const Interval& o) const { return !(*this == o); }

 private:
  TimeValue start_, end_;
};
#define FOREVER Interval()
#define NEVER Interval::Never()

typedef uint32_t SClass_ID;

class Class_ID {
 public:
  Class_ID() = default;
  Class_ID(uint32_t a, uint32_t b) : a_(a), b_(b) {}
  uint32_t PartA() const { return a_; }
  uint32_t PartB() const { return b_; }
  bool operator==(const Class_ID& o) const { return a_ == o.a_ && b_ == o.b_; }
  bool operator!=(const Class_ID& o) const { return !(*this == o); }
  bool operator<(const Class_ID& o) const { return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_); }

 private:
  uint32_t a_ = 0xFFFFFFFF, b_ = 0xFFFFFFFF;
};

class Interface_ID {
 public:
  Interface_ID() = default;
  Interface_ID(uint32_t a, uint32_t b) : a_(a), b_(b) {}
  uint32_t PartA() const { return a_; }
  uint32_t PartB() const { return b_; }
  bool operator==(const Interface_ID& o) const { return a_ == o.a_ && b_ == o.b_; }
  bool operator!=(const Interface_ID& o) const { return !(*this == o); }
  bool operator<(const Interface_ID& o) const { return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_); }

 private:
  uint32_t a_ = 0, b_ = 0;
};
