// The solver's physics as per-element functors. Each functor body is the body
// of one GPU kernel: under nvcc it runs one thread per element, on the CPU
// back-end it runs as a host function over an OpenMP loop. Every functor
// writes only its own element's entries, so the parallel order never matters.
#pragma once
#include <cmath>
#include <cstdint>

#include "gpu_solver/sim_params.h"

#if defined(__CUDACC__)
#define VOREL_HD __host__ __device__
#else
#define VOREL_HD
#endif

namespace vorel_gpu {

struct alignas(16) F4 {
  float x, y, z, w;
};

// (cell hash, particle slot); the sort orders by key and carries the value.
struct alignas(8) KeyValuePair {
  uint32_t key;
  uint32_t value;
};

VOREL_HD inline F4 MakeF4(float x, float y, float z, float w) { return F4{x, y, z, w}; }
VOREL_HD inline F4 operator+(F4 a, F4 b) { return F4{a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
VOREL_HD inline F4 operator-(F4 a, F4 b) { return F4{a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
VOREL_HD inline F4 operator*(F4 a, float s) { return F4{a.x * s, a.y * s, a.z * s, a.w * s}; }
VOREL_HD inline F4 operator*(float s, F4 a) { return a * s; }
VOREL_HD inline float Dot3(F4 a, F4 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
VOREL_HD inline float Length3(F4 a) { return sqrtf(Dot3(a, a)); }
VOREL_HD inline F4 Cross3(F4 a, F4 b) {
  return F4{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}
VOREL_HD inline float Dot4(F4 a, F4 b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
VOREL_HD inline float MinF(float a, float b) { return a < b ? a : b; }

// True when the squared distance d2 is certainly at or beyond `reach`; pairs
// that pass still get the exact test on the square root, so skipping the
// far ones changes no result.
VOREL_HD inline bool CertainlyBeyond(float d2, float reach) { return d2 > reach * reach * 1.0001f; }
VOREL_HD inline float MaxF(float a, float b) { return a > b ? a : b; }

// Cell coordinate on one axis: coordinates are shifted by 133 so that the
// region down to -133 lands in positive cells; the grid wraps (mirrored below).
VOREL_HD inline uint32_t CellCoord(float p, float cellSize, uint32_t side) {
  float c = floorf((p + 133.0f) / cellSize);
  // Parked or runaway particles can sit far away; keep the integer sane. A
  // NaN fails every comparison, so it is caught first and lands in cell 0
  // rather than in an undefined conversion.
  if (!(c == c)) c = 0.0f;
  if (c > 2.0e9f) c = 2.0e9f;
  if (c < -2.0e9f) c = -2.0e9f;
  int32_t ci = (int32_t)c;
  uint32_t a = (uint32_t)(ci < 0 ? -ci : ci);
  return a % side;
}

VOREL_HD inline uint32_t CellHash(const SimParams& p, uint32_t cx, uint32_t cy, uint32_t cz) {
  return (cz * p.gridSize[1] * p.gridSize[0] + cy * p.gridSize[0] + cx) % p.numCells;
}

VOREL_HD inline bool InsideKillBox(const SimParams& p, F4 pos) {
  return !(pos.x < p.killMin[0] || pos.y < p.killMin[1] || pos.z < p.killMin[2] || pos.x > p.killMax[0] ||
           pos.y > p.killMax[1] || pos.z > p.killMax[2]);
}

// Triangle helpers shared by the collider loops.
struct TriangleHit {
  F4 n;       // unit normal
  float d;    // signed distance of the point from the plane
  bool ok;
};

VOREL_HD inline bool InGrownBox(F4 p, F4 a, F4 b, F4 c, float grow) {
  return p.x >= MinF(a.x, MinF(b.x, c.x)) - grow && p.x <= MaxF(a.x, MaxF(b.x, c.x)) + grow &&
         p.y >= MinF(a.y, MinF(b.y, c.y)) - grow && p.y <= MaxF(a.y, MaxF(b.y, c.y)) + grow &&
         p.z >= MinF(a.z, MinF(b.z, c.z)) - grow && p.z <= MaxF(a.z, MaxF(b.z, c.z)) + grow;
}

// Unit normal and plane distance of p; ok is false for a degenerate triangle.
VOREL_HD inline TriangleHit TrianglePlane(F4 p, F4 v0, F4 v1, F4 v2, float* twiceArea) {
  TriangleHit t;
  F4 n = Cross3(v1 - v0, v2 - v0);
  float len = Length3(n);
  *twiceArea = len;
  t.ok = len >= 1e-8f;
  if (!t.ok) {
    t.n = F4{0, 0, 0, 0};
    t.d = 0.0f;
    return t;
  }
  t.n = n * (1.0f / len);
  t.n.w = 0.0f;
  t.d = Dot3(t.n, p - v0);
  return t;
}

// The projection q lies in the triangle when the three sub-triangle areas add
// up to the whole (twice-areas compared with a 0.001 tolerance).
VOREL_HD inline bool ProjectionInside(F4 q, F4 v0, F4 v1, F4 v2, float twiceArea) {
  float s = Length3(Cross3(v0 - q, v1 - q)) + Length3(Cross3(v1 - q, v2 - q)) + Length3(Cross3(v2 - q, v0 - q));
  return fabsf(twiceArea - s) < 0.001f;
}

// Walks the 27 cells around sorted particle i and calls fn(j) for every
// other particle of those cells. The run of a cell ends where the hash
// changes or at the live count, whichever comes first.
template <class Fn>
VOREL_HD inline void ForEachNeighbour(const SimParams& p, const KeyValuePair* hashes, const uint32_t* cellStart,
                                      F4 pos, uint32_t i, uint32_t n, Fn&& fn) {
  const uint32_t gx = p.gridSize[0], gy = p.gridSize[1], gz = p.gridSize[2];
  uint32_t cx = CellCoord(pos.x, p.cellSize[0], gx);
  uint32_t cy = CellCoord(pos.y, p.cellSize[1], gy);
  uint32_t cz = CellCoord(pos.z, p.cellSize[2], gz);
  for (int dz = -1; dz <= 1; ++dz) {
    uint32_t z = (cz + gz + dz) % gz;
    for (int dy = -1; dy <= 1; ++dy) {
      uint32_t y = (cy + gy + dy) % gy;
      for (int dx = -1; dx <= 1; ++dx) {
        uint32_t x = (cx + gx + dx) % gx;
        uint32_t cell = CellHash(p, x, y, z);
        uint32_t s = cellStart[cell];
        if (s == kEmptyCell) continue;
        for (uint32_t j = s; j < n && hashes[j].key == cell; ++j) {
          if (j != i) fn(j);
        }
      }
    }
  }
}

// A step from x to *to that passes through a collider face is mirrored back
// across the face's plane, its velocity's part along the normal turned round:
// the wall push grows from nothing at its reach, and at the lowest collision
// strength it could not stop a pour, which went through a tank's walls and
// was then pushed on away from them.
VOREL_HD inline void KeepOnItsSide(const SimParams& p, const F4* verts, F4 x, F4* to, F4* vel) {
  for (int32_t t = 0; t < p.numFaces; ++t) {
    const F4 v0 = verts[3 * t], v1 = verts[3 * t + 1], v2 = verts[3 * t + 2];
    const F4 y = *to;
    if (MaxF(x.x, y.x) < MinF(v0.x, MinF(v1.x, v2.x)) || MinF(x.x, y.x) > MaxF(v0.x, MaxF(v1.x, v2.x)) ||
        MaxF(x.y, y.y) < MinF(v0.y, MinF(v1.y, v2.y)) || MinF(x.y, y.y) > MaxF(v0.y, MaxF(v1.y, v2.y)) ||
        MaxF(x.z, y.z) < MinF(v0.z, MinF(v1.z, v2.z)) || MinF(x.z, y.z) > MaxF(v0.z, MaxF(v1.z, v2.z)))
      continue;
    float area;
    const TriangleHit hit = TrianglePlane(x, v0, v1, v2, &area);
    if (!hit.ok || hit.d == 0.0f) continue;
    // Ending on the plane counts as crossing it: from there the side is lost.
    const float d1 = Dot3(hit.n, y - v0);
    if (d1 != 0.0f && (d1 > 0.0f) == (hit.d > 0.0f)) continue;
    if (!ProjectionInside(x + (y - x) * (hit.d / (hit.d - d1)), v0, v1, v2, area)) continue;
    const float side = hit.d > 0.0f ? 1.0f : -1.0f;
    *to = y + hit.n * (side * MaxF(fabsf(d1), 1e-4f * p.h) - d1);
    const float vn = Dot3(*vel, hit.n);
    if (vn * side < 0.0f) *vel = *vel - hit.n * (2.0f * vn);
  }
}

// Kernel 1 (slot order): gravity and the position update; parks particles
// that were marked for killing. `verts` are the collider faces of the last
// step (null without any).
struct Integrate {
  SimParams p;
  F4* newVel;
  F4* oldPos;
  const F4* oldVel;
  const float* timeSteps;
  const F4* verts;
  VOREL_HD void operator()(uint32_t i) const {
    F4 v = oldVel[i];
    if (v.w == kKillMarker) {
      oldPos[i].x = kParkedX;
      newVel[i] = F4{0, 0, 0, 0};
      return;
    }
    float dt = (i >= p.numParticles - p.emittedThisStep) ? timeSteps[i] : timeSteps[0];
    F4 v2 = F4{v.x + p.gravity[0] * dt, v.y + p.gravity[1] * dt, v.z + p.gravity[2] * dt, 0.0f};
    F4 x = oldPos[i];
    F4 to = F4{x.x + dt * v2.x, x.y + dt * v2.y, x.z + dt * v2.z, 0.0f};
    if (verts && p.numFaces > 0) KeepOnItsSide(p, verts, x, &to, &v2);
    oldPos[i] = to;
    newVel[i] = v2;
  }
};

// Kernel 2: cell hash of every live particle; numCells for particles outside
// the kill box so that they sort last and take no part in the step.
struct CalcHash {
  SimParams p;
  const F4* pos;
  KeyValuePair* particleHash;
  VOREL_HD void operator()(uint32_t i) const {
    uint32_t hash = p.numCells;
    if (i < p.numParticles) {
      F4 x = pos[i];
      if (InsideKillBox(p, x)) {
        hash = CellHash(p, CellCoord(x.x, p.cellSize[0], p.gridSize[0]), CellCoord(x.y, p.cellSize[1], p.gridSize[1]),
                        CellCoord(x.z, p.cellSize[2], p.gridSize[2]));
      }
    }
    particleHash[i] = KeyValuePair{hash, i};
  }
};

// Kernel 3 (sorted order): first index of each cell's run, and the particle
// data gathered into cell order. The previous entry is read from memory, so
// no block barrier is needed.
struct ReorderDataAndFindCellStart {
  SimParams p;
  const KeyValuePair* particleHash;
  const F4* oldPos;
  const F4* oldVel;
  F4* sortedPos;
  F4* sortedVel;
  uint32_t* cellStart;
  VOREL_HD void operator()(uint32_t i) const {
    KeyValuePair e = particleHash[i];
    if (e.value >= p.numParticles || e.key == p.numCells) return;
    if (i == 0 || particleHash[i - 1].key != e.key) cellStart[e.key] = i;
    sortedPos[i] = oldPos[e.value];
    sortedVel[i] = oldVel[e.value];
  }
};

// Kernel 4 (sorted order): density from the neighbours within 2r.
struct ComputeDensity {
  SimParams p;
  float* vorData;
  const F4* sortedPos;
  const KeyValuePair* particleHash;
  const uint32_t* cellStart;
  VOREL_HD void operator()(uint32_t i) const {
    KeyValuePair e = particleHash[i];
    if (e.value >= p.numParticles || e.key == p.numCells) return;
    F4 pi = sortedPos[i];
    float rho = p.selfDensity;
    const float h = p.h, r2 = 2.0f * p.particleRadius, m = p.mass;
    ForEachNeighbour(p, particleHash, cellStart, pi, i, p.numParticles, [&](uint32_t j) {
      const F4 rij = sortedPos[j] - pi;
      const float d2 = Dot4(rij, rij);
      if (CertainlyBeyond(d2, r2)) return;
      float d = sqrtf(d2);
      if (d > 1e-8f && d < r2) {
        float q = (2.0f - d / h) / h;
        rho += m * 0.07958f * q * q * q;
      }
    });
    vorData[i] = rho;
  }
};

// Kernel 6 (sorted order): pressure, artificial viscosity and cohesion from
// the neighbours, as an acceleration in the particle's slot, and the
// per-particle time-step limit of approaching pairs.
struct CollideParts {
  SimParams p;
  F4* newVel;
  const float* vorData;
  float* timeSteps;
  const F4* sortedPos;
  const F4* sortedVel;
  const KeyValuePair* particleHash;
  const uint32_t* cellStart;
  VOREL_HD void operator()(uint32_t i) const {
    KeyValuePair e = particleHash[i];
    if (e.value >= p.numParticles || e.key == p.numCells) return;
    const uint32_t k = e.value;
    const F4 pi = sortedPos[i], vi = sortedVel[i];
    const float rhoI = vorData[i];
    const float h = p.h, rho0 = p.restDensity, m = p.mass;
    F4 acc = F4{0, 0, 0, 0}, cohesion = F4{0, 0, 0, 0};
    float ts = timeSteps[i];
    const float wallFactor = 3.0f / (kFourPi * h * h * h * h);
    ForEachNeighbour(p, particleHash, cellStart, pi, i, p.numParticles, [&](uint32_t j) {
      F4 rij = pi - sortedPos[j];
      const float d2 = Dot4(rij, rij);
      if (CertainlyBeyond(d2, 2.0f * h)) return;
      float d = sqrtf(d2);
      if (!(d < 2.0f * h)) return;
      cohesion = cohesion + rij;
      F4 vij = vi - sortedVel[j];
      float rv = Dot3(rij, vij);
      float mu = h * rv / (d * d + 0.01f * h * h);
      float rhoJ = vorData[j];
      if (mu == 0.0f || rhoI == 0.0f || rhoJ == 0.0f || rho0 == 0.0f) return;
      if (rv > 0.0f && d != 0.0f) {
        float s = rv / d;
        if (s != 0.0f) ts = MinF(ts, 0.125f * d / s);
      }
      float mean = (rhoI + rhoJ) * 0.5f;
      float visc = (mu < 0.0f && mean != 0.0f) ? -25.0f * mu / mean : 0.0f;
      if (d < 1e-8f) return;
      float ri = rhoI / rho0, rj = rhoJ / rho0;
      float pI = 100.0f * (ri * ri * ri * ri * ri - 1.0f);
      float pJ = 100.0f * (rj * rj * rj * rj * rj - 1.0f);
      float q = 2.0f - d / h;
      float f = m * (pI / (rhoI * rhoI) + pJ / (rhoJ * rhoJ) + visc) * q * q * wallFactor / d;
      acc = acc + rij * f;
    });
    acc = acc - cohesion * (p.viscosity * 0.01f * sqrtf(p.ppuv));
    newVel[k] = acc;
    timeSteps[i] = ts;
  }
};

// A wall's push on one particle: along `dir` (unit, away from the wall), from
// a face or an edge `ad` away; how fast it grows with depth (acceleration
// per unit length) and the wall's own speed along dir.
struct WallPush {
  F4 dir;
  float ad, size, stiffness, wallSpeed;
  bool acts;
};

// The pushes one particle's velocity update takes in, as CollideObjects left
// them: the stiffest kMost, unused ones with stiffness 0.
struct alignas(16) PushSprings {
  static constexpr int kMost = 4;
  F4 dir[kMost];
  float stiffness[kMost];
  float wallSpeed[kMost];
  // Keeps the stiffest kMost.
  VOREL_HD void Add(F4 d, float k, float speed) {
    int at = 0;
    for (int j = 1; j < kMost; ++j)
      if (stiffness[j] < stiffness[at]) at = j;
    if (!(k > stiffness[at])) return;
    dir[at] = d;
    stiffness[at] = k;
    wallSpeed[at] = speed;
  }
};

// The nearest edge or corner of faces whose planes hold no projection of the
// particle inside them: ends a and b (equal for a corner), and how many faces
// found it their nearest.
struct WallFeature {
  F4 a, b, dir;
  float dist;
  int32_t face, nearestOf;
};

VOREL_HD inline bool SamePoint(F4 a, F4 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The point nearest p on segment a-b; `end` is 0 or 1 where that point is
// a or b, else -1.
VOREL_HD inline F4 NearestOnSegment(F4 p, F4 a, F4 b, int* end) {
  const F4 ab = b - a;
  const float len2 = Dot3(ab, ab);
  float t = len2 > 0.0f ? Dot3(p - a, ab) / len2 : 0.0f;
  *end = -1;
  if (t <= 0.0f) {
    *end = 0;
    return a;
  }
  if (t >= 1.0f) {
    *end = 1;
    return b;
  }
  return a + ab * t;
}

// Kernel 7 (sorted order): wall push from collider triangles near the
// particle, stronger for walls moving along their normal, and the time-step
// limit against them. A particle over no face but near a fold that bends
// away from it (a ball's gentle seams, its poles, a cube's edges) or beyond
// a mesh's open edge is pushed from that edge or corner: it would otherwise
// fall unpushed into the wedge and be thrown out at full depth. An edge or
// corner pushes only where it is the nearest point of every face that has
// it: one of them under the particle pushes itself (a flat or hollow seam).
// Of pushes along about one direction (within 30 degrees) only the strongest
// acts: faces round a pole, the two halves of a floor at their seam, or the
// two faces of a fold each reach the particle, and their sum threw it off
// many times harder than one face. Each push that acts is left in `springs`
// (per sorted index) for UpdateVel to integrate implicitly.
struct CollideObjects {
  SimParams p;
  F4* newVel;
  float* timeSteps;
  const F4* sortedPos;
  const F4* sortedVel;
  const F4* verts;
  const KeyValuePair* particleHash;
  PushSprings* springs;  // null: none kept
  static constexpr int kPushes = 16, kFeatures = 8;
  VOREL_HD void operator()(uint32_t i) const {
    KeyValuePair e = particleHash[i];
    if (e.value >= p.numParticles || e.key == p.numCells || p.numFaces <= 0) return;
    PushSprings kept = {};
    const uint32_t k = e.value;
    const F4 pos = sortedPos[i], vel = sortedVel[i];
    const float h = p.h, cs = p.collisionStrength, reach = cs * h;
    const float push = 1.855f * 3.0f * p.mass / (kFourPi * h * h * h * h);
    F4 acc = newVel[k];
    float ts = timeSteps[i];
    WallPush pushes[kPushes];
    int nPush = 0;
    // A push that finds the list full acts at once, as every push once did:
    // none is ever lost.
    auto add = [&](F4 dir, float ad, float size, float stiffness, float along) {
      if (nPush < kPushes) {
        pushes[nPush++] = WallPush{dir, ad, size, stiffness, along, true};
      } else {
        acc = acc + dir * size;
        kept.Add(dir, stiffness, along);
      }
    };
    // A face or edge `dist` away along dir: its push where it `pushes`, and
    // the step limit of a particle moving at u towards it, or of the wall
    // moving at wallSpeed (its signed speed along dir is `along`).
    auto contact = [&](F4 dir, float dist, float u, float wallSpeed, float along, bool pushes) {
      if (pushes) {
        const float w = wallSpeed != 0.0f ? u + wallSpeed : 0.0f;
        const float c = cs - dist / h;
        const float grows = push * (1.0f + fabsf(w));
        add(dir, dist, grows * c * c * c, grows * 3.0f * c * c / h, along);
      }
      const float speed = u + wallSpeed;
      if (speed != 0.0f) ts = MinF(ts, 0.125f * dist / speed);
    };
    // The nearest few edges and corners (a farther one gives way).
    WallFeature features[kFeatures];
    int nFeatures = 0;
    auto same = [](const WallFeature& f, F4 a, F4 b) {
      return (SamePoint(f.a, a) && SamePoint(f.b, b)) || (SamePoint(f.a, b) && SamePoint(f.b, a));
    };
    for (int32_t t = 0; t < p.numFaces; ++t) {
      const F4 v0 = verts[3 * t], v1 = verts[3 * t + 1], v2 = verts[3 * t + 2];
      if (!InGrownBox(pos, v0, v1, v2, 2.0f * h)) continue;
      float area;
      TriangleHit hit = TrianglePlane(pos, v0, v1, v2, &area);
      if (!hit.ok) continue;
      F4 q = pos - hit.n * hit.d;
      if (!ProjectionInside(q, v0, v1, v2, area)) {
        const F4 ends[4] = {v0, v1, v2, v0};
        float best = 1e30f;
        F4 nearest{0, 0, 0, 0}, fa{0, 0, 0, 0}, fb{0, 0, 0, 0};
        for (int s = 0; s < 3; ++s) {
          int end;
          const F4 c = NearestOnSegment(pos, ends[s], ends[s + 1], &end);
          const F4 r = pos - c;
          const float d2 = Dot3(r, r);
          if (d2 < best) {
            best = d2;
            nearest = c;
            fa = end == 1 ? ends[s + 1] : ends[s];
            fb = end < 0 ? ends[s + 1] : fa;
          }
        }
        const float dist = sqrtf(best);
        if (!(dist < reach) || dist == 0.0f) continue;
        int f = 0;
        while (f < nFeatures && !same(features[f], fa, fb)) ++f;
        if (f < nFeatures) {
          ++features[f].nearestOf;
          continue;
        }
        if (nFeatures == kFeatures) {
          f = 0;
          for (int g = 1; g < kFeatures; ++g)
            if (features[g].dist > features[f].dist) f = g;
          if (!(dist < features[f].dist)) continue;
        } else {
          f = nFeatures++;
        }
        F4 dir = (pos - nearest) * (1.0f / dist);
        dir.w = 0.0f;
        features[f] = WallFeature{fa, fb, dir, dist, t, 1};
        continue;
      }
      const float ad = fabsf(hit.d), side = hit.d > 0.0f ? 1.0f : -1.0f;
      contact(hit.n * side, ad, fabsf(Dot3(hit.n, vel)), fabsf(v0.w), v0.w * side, ad < reach && hit.d != 0.0f);
    }
    if (nFeatures > 0) {
      // Every face that has a feature lies within the grown box: the
      // feature is within reach.
      int32_t having[kFeatures] = {};
      for (int32_t t = 0; t < p.numFaces; ++t) {
        const F4 v0 = verts[3 * t], v1 = verts[3 * t + 1], v2 = verts[3 * t + 2];
        float area;
        if (!InGrownBox(pos, v0, v1, v2, 2.0f * h) || !TrianglePlane(pos, v0, v1, v2, &area).ok) continue;
        for (int f = 0; f < nFeatures; ++f) {
          const WallFeature& x = features[f];
          const bool hasA = SamePoint(v0, x.a) || SamePoint(v1, x.a) || SamePoint(v2, x.a);
          const bool hasB = SamePoint(v0, x.b) || SamePoint(v1, x.b) || SamePoint(v2, x.b);
          if (hasA && hasB) ++having[f];
        }
      }
      for (int f = 0; f < nFeatures; ++f) {
        const WallFeature& x = features[f];
        if (having[f] != x.nearestOf) continue;
        const F4* v = verts + 3 * x.face;
        const F4 n = Cross3(v[1] - v[0], v[2] - v[0]);
        const float len = Length3(n);
        const float along = len > 0.0f ? v[0].w * Dot3(n, x.dir) / len : 0.0f;
        contact(x.dir, x.dist, fabsf(Dot3(x.dir, vel)), fabsf(v[0].w), along, true);
      }
    }
    // Strongest first (least distance; the earlier on a tie): each acts
    // unless one that acts already points within 30 degrees of it.
    int order[kPushes];
    for (int a = 0; a < nPush; ++a) {
      int b = a;
      for (; b > 0 && pushes[order[b - 1]].ad > pushes[a].ad; --b) order[b] = order[b - 1];
      order[b] = a;
    }
    for (int a = 1; a < nPush; ++a) {
      WallPush& weaker = pushes[order[a]];
      for (int b = 0; b < a && weaker.acts; ++b)
        if (pushes[order[b]].acts && Dot3(weaker.dir, pushes[order[b]].dir) > 0.8660254f) weaker.acts = false;
    }
    for (int a = 0; a < nPush; ++a)
      if (pushes[a].acts) {
        acc = acc + pushes[a].dir * pushes[a].size;
        kept.Add(pushes[a].dir, pushes[a].stiffness, pushes[a].wallSpeed);
      }
    if (springs) springs[i] = kept;
    newVel[k] = acc;
    timeSteps[i] = ts;
  }
};

// Kernel 5 (one per triangle): collider vertices at the current sub-frame,
// and the triangle's speed along its normal in the first vertex's w: that
// of its vertex moving most along the normal, signed along the normal.
struct InterpolateVerts {
  const F4* m_dVertsOrigin;
  const F4* m_dVerstEnd;
  F4* m_dVerts;
  float frameFraction;
  int32_t frameRate;
  VOREL_HD void operator()(uint32_t t) const {
    F4 o[3], e[3], v[3];
    for (int c = 0; c < 3; ++c) {
      o[c] = m_dVertsOrigin[3 * t + c];
      e[c] = m_dVerstEnd[3 * t + c];
      v[c] = o[c] + (e[c] - o[c]) * frameFraction;
      m_dVerts[3 * t + c] = v[c];
    }
    F4 n = Cross3(v[1] - v[0], v[2] - v[0]);
    float len = Length3(n);
    if (len < 1e-8f) return;
    n = n * (1.0f / len);
    float most = 0.0f;
    for (int c = 0; c < 3; ++c) {
      const float along = Dot3(n, e[c] - o[c]);
      if (fabsf(along) > fabsf(most)) most = along;
    }
    m_dVerts[3 * t].w = (float)frameRate * most;
  }
};

// Kernel 8 (sorted order): velocity from the acceleration with friction and
// bounce against nearby collider triangles; marks particles that left the
// kill box. The wall pushes are stiff springs: taken explicitly, each
// contact sent the particle off faster than it came (a lone drop rebounded
// higher every time, and steps that shrink as the push grows add to it).
// Along each push in `springs` the velocity is that of the end of the step
// with the push grown as the step goes deeper (backward Euler, linear in
// the depth), which gives back at most what the approach put in; against a
// moving wall it is the speed relative to the wall, so that it still carries
// the liquid.
struct UpdateVel {
  SimParams p;
  F4* newVel;
  const float* timeSteps;
  const F4* sortedPos;
  const F4* sortedVel;
  const KeyValuePair* particleHash;
  const F4* verts;
  const PushSprings* springs;  // null: none
  VOREL_HD void operator()(uint32_t i) const {
    KeyValuePair e = particleHash[i];
    const uint32_t k = e.value;
    if (k >= p.numParticles) return;
    if (e.key == p.numCells) {
      newVel[k].w = kKillMarker;
      return;
    }
    const float dt = timeSteps[0];
    F4 v = sortedVel[i] + newVel[k] * dt;
    if (springs && p.numFaces > 0) {
      const PushSprings& s = springs[i];
      for (int j = 0; j < PushSprings::kMost; ++j) {
        if (!(s.stiffness[j] > 0.0f)) continue;
        const float c = dt * dt * s.stiffness[j];
        v = v - s.dir[j] * ((Dot3(v, s.dir[j]) - s.wallSpeed[j]) * (c / (1.0f + c)));
      }
    }
    if (p.numFaces > 0 && (p.bounce < 1.0f || p.friction != 0.0f)) {
      const F4 pos = sortedPos[i];
      const float h = p.h;
      for (int32_t t = 0; t < p.numFaces; ++t) {
        const F4 v0 = verts[3 * t], v1 = verts[3 * t + 1], v2 = verts[3 * t + 2];
        if (!InGrownBox(pos, v0, v1, v2, 2.0f * h)) continue;
        float area;
        TriangleHit hit = TrianglePlane(pos, v0, v1, v2, &area);
        if (!hit.ok || fabsf(hit.d) > 3.0f * h) continue;
        if (!ProjectionInside(pos - hit.n * hit.d, v0, v1, v2, area)) continue;
        v = v * (1.0f - p.friction * 0.0001f);
        v = v - hit.n * ((1.0f - p.bounce) * Dot3(v, hit.n));
      }
    }
    newVel[k] = F4{v.x, v.y, v.z, 0.0f};
  }
};

}  // namespace vorel_gpu
