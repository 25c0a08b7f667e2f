#include "host/core/hostmath.h"

#include <array>
#include <climits>
#include <cmath>

namespace {

// A fixed permutation made once from a fixed seed.
const std::array<int, 512>& Perm() {
  static const std::array<int, 512> perm = [] {
    std::array<int, 512> p{};
    for (int i = 0; i < 256; ++i) p[size_t(i)] = i;
    uint32_t s = 0x2545F491u;
    for (int i = 255; i > 0; --i) {
      s = s * 1664525u + 1013904223u;
      int j = int((s >> 8) % uint32_t(i + 1));
      std::swap(p[size_t(i)], p[size_t(j)]);
    }
    for (int i = 0; i < 256; ++i) p[size_t(i + 256)] = p[size_t(i)];
    return p;
  }();
  return perm;
}

float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }
float Lerp(float t, float a, float b) { return a + t * (b - a); }
float Grad(int h, float x, float y, float z) {
  h &= 15;
  float u = h < 8 ? x : y;
  float v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
  return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}

}  // namespace

float noise3(const Point3& pt) {
  const auto& p = Perm();
  float fx = std::floor(pt.x), fy = std::floor(pt.y), fz = std::floor(pt.z);
  int X = int(fx) & 255, Y = int(fy) & 255, Z = int(fz) & 255;
  float x = pt.x - fx, y = pt.y - fy, z = pt.z - fz;
  float u = Fade(x), v = Fade(y), w = Fade(z);
  int A = p[size_t(X)] + Y, AA = p[size_t(A)] + Z, AB = p[size_t(A + 1)] + Z;
  int B = p[size_t(X + 1)] + Y, BA = p[size_t(B)] + Z, BB = p[size_t(B + 1)] + Z;
  float r = Lerp(w,
                 Lerp(v, Lerp(u, Grad(p[size_t(AA)], x, y, z), Grad(p[size_t(BA)], x - 1, y, z)),
                      Lerp(u, Grad(p[size_t(AB)], x, y - 1, z), Grad(p[size_t(BB)], x - 1, y - 1, z))),
                 Lerp(v,
                      Lerp(u, Grad(p[size_t(AA + 1)], x, y, z - 1),
                           Grad(p[size_t(BA + 1)], x - 1, y, z - 1)),
                      Lerp(u, Grad(p[size_t(AB + 1)], x, y - 1, z - 1),
                           Grad(p[size_t(BB + 1)], x - 1, y - 1, z - 1))));
  return r;
}

float smoothstep(float a, float b, float x) {
  if (x <= a) return a == b ? (x < a ? 0.0f : 1.0f) : 0.0f;
  if (x >= b) return 1.0f;
  float t = (x - a) / (b - a);
  return t * t * (3.0f - 2.0f * t);
}

int SaturateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= double(INT_MAX)) return INT_MAX;
  if (v <= double(INT_MIN)) return INT_MIN;
  return int(v);
}
