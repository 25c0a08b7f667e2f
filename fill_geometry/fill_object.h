// Filling a closed triangle mesh with particle positions on a close-packed
// lattice, layer by layer, with progress on the prompt line and a cancel test
// once per layer.
#pragma once

#include <cstdint>
#include <functional>

#include "host/core/geom.h"
#include "host/core/tab.h"

// What the fill needs of its host. An empty member falls back to the host:
// the prompt line (ShowTempPrompt) and the host's Escape test (host closing,
// or Escape down while the main window is in front). The GPU front-end passes
// an abort test that never fires; tests pass their own.
//
// `maxPoints` (0: no limit) is the most points the caller can use: the fill
// stops after the layer that brings it there, so a large object costs the
// time and memory of what is kept, not of the whole lattice. Memory stays
// within about 40 bytes per kept point plus one layer's candidates (24
// bytes each) and the mesh; a fill that runs out of memory anyway says so
// ("Not enough memory to fill <name>"), apart from "no particles in filled
// object <<--", which means the mesh bounds no lattice point.
struct FillHooks {
  std::function<void(const char* text, uint32_t ms)> prompt;
  std::function<bool()> abort;
  int64_t maxPoints = 0;
};

// Empties `points` and `layerTable`, then appends the lattice points of
// radius `radius` that lie inside the mesh and farther than `clearance` from
// its surface, in lattice order (z, then y, then x ascending), as (x, y, z)
// or, with `axisFlag` clear, as (x, z, y). `layerTable` gets one running
// total per layer that kept points: the points of the k-th listed layer run
// from the previous entry (0 for the first) up to this entry.
// `unused` has no effect (callers pass 1.0). On a cancel both lists are left
// empty and "Cancelled by user" is shown.
void FillObjectWithParticles(float unused, double radius, float clearance, Tab<Point3>& points,
                             Tab<int>& layerTable, int32_t nv, double** verts, int32_t nf, int32_t** faces,
                             const char* name, bool axisFlag);
void FillObjectWithParticles(float unused, double radius, float clearance, Tab<Point3>& points,
                             Tab<int>& layerTable, int32_t nv, double** verts, int32_t nf, int32_t** faces,
                             const char* name, bool axisFlag, const FillHooks& hooks);

// True when the point lies within `clearance` of one of the mesh's triangles:
// of its inside, an edge or a corner (so points beside a concave edge,
// over neither face, count too). The corners are taken in single precision,
// the distance measured in double. False for a negative or NaN clearance.
// `nv` is not used.
bool PointNearSurface(int32_t nv, double** verts, int32_t nf, int32_t** faces, const float point[3],
                      float clearance);
