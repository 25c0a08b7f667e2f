// The look of an emitter's particles: the size function that shrinks them
// with age and solitude, and the render meshes built from the particle table
// (tetrahedra, facing quads, copies of an instanced object). Emitters and
// ghost sources share it.
#pragma once
#include <vector>

#include "host/sdk/max.h"

// Display parameters of one emitter, read at one time.
struct ParticleLook {
  float dropSize = 1.0f;   // "DropSize": the size of a young, well-surrounded particle
  float minSize = 0.0f;    // "MinSize"
  int agePercent = 100;    // "SizeOnAgePercentage": share of the life before shrinking
  int minNeighbours = 50;  // "SizeOnSolitudeRadius"
  bool solitude = true;    // "SizeOnSolitude"
  int life = 9999;         // "lifeTime" in frames, at least 1
  int renderType = 2;      // 0 tetrahedron, 1 facing, 2 nothing, 3 instanced geometry
  int facing = 0;          // 0 camera, 1 speed direction, 2 surface
};

// Neighbour counts that stand in when the emitter keeps none.
constexpr int kDefaultNeighbours = 10;
constexpr int kDefaultFacingNeighbours = 1000;
// Drop tails and tetrahedra are this many times the display velocity (a
// unit direction times one frame in seconds) times the size.
constexpr float kTailFactor = 40.0f;

// The size of a particle of the given age (frames) and neighbour count:
// (dropSize - minSize) x k + minSize, k falling from 1 to 0 along a
// smoothstep over the last (100 - agePercent) % of the life, and multiplied
// by smoothstep(0, minNeighbours, n) when `solitude` is on.
float ParticleSizeOf(const ParticleLook& look, float age, int neighbours);

// The neighbour count of particle i, or `fallback` beyond the table (an
// empty table, or particles appended after the fetched ones).
inline int NeighbourOf(const std::vector<int>& table, int i, int fallback) {
  return i >= 0 && i < int(table.size()) ? table[size_t(i)] : fallback;
}

// The size the host is given for particle i of `parts` (ParticleSize): the
// size itself for facing quads, nothing when nothing is rendered, and for
// tetrahedra and drops the tail along the velocity; 0 outside the table.
float ShownParticleSize(const ParticleLook& look, const ParticleSys& parts,
                        const std::vector<int>& neighbourCounts, int i);

// The render meshes. Every mesh is built from the live particles (age >= 0)
// in table order, world points taken through `toMesh` (the inverse of the
// node's object transform); faces get smoothing group 1, every edge visible
// and the material id of their particle's table index (low 16 bits). A
// direction without length, or one parallel to the reference axis, falls
// back to another axis so no vertex is ever NaN.

// 4 vertices, 4 faces, 9 texture vertices and 4 texture faces per particle:
// a tetrahedron with its tail along the display velocity.
void BuildTetrahedraMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                         const ParticleLook& look, const Matrix3& toMesh, Mesh& out);
// 4 vertices, 2 faces and 4 texture vertices per particle: a square of half
// side `size` facing the camera (`look.facing` 0, camera in world space) or
// along the display velocity.
void BuildFacingMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                     const ParticleLook& look, const Matrix3& toMesh, const Point3& camera,
                     Mesh& out);
// One copy of `instance` per particle, scaled by its size and turned to face
// as the quads do; texture faces only when the instance has texture vertices.
void BuildInstancedMesh(const ParticleSys& parts, const std::vector<int>& neighbours,
                        const ParticleLook& look, const Matrix3& toMesh, const Point3& camera,
                        const Mesh& instance, Mesh& out);
// Flips every face when the inverse transform mirrors ((r0 x r1) . r2 < 0),
// so the mesh of a mirrored node still faces outward.
void FlipWhenMirrored(const Matrix3& toMesh, Mesh& mesh);
