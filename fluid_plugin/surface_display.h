// The fluid system's shown surface: a cached surface file turned into the
// host mesh that the object draws, the empty mesh, and the viewport icon.
// TetraProcObj calls these; they touch nothing but the mesh they are given.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "fluid_core/vec3.h"
#include "host/core/geom.h"
#include "host/core/mesh.h"

// How the per-vertex map values become grey vertex colours ("prevertexInfo",
// "MaxValuePV", "MinValuePV").
struct SurfaceGreyParams {
  int perVertexInfo = 0;  // 0: the first map value, otherwise the second x 0.01
  float maxValue = 1.0f;
  float minValue = 0.0f;
};

// The arrays of one surface mesh file as the frame cache reads them.
struct SurfaceFrameArrays {
  std::vector<Vec3f> vertices;        // solver units
  std::vector<Vec3f> secondVertices;  // become the texture vertices as stored
  std::vector<Vec3f> mapPoints;       // (u, v) per vertex
  std::vector<std::array<int32_t, 3>> faces;
};

// Fills `mesh` from a surface file's arrays: vertex i = (scale x p_i) by
// toLocal, texture vertex i = second vector i, grey colour from the map
// values (capped at 0.99), every edge visible; faces that use a vertex twice
// or index beyond the vertices are dropped; every face smoothed with its
// neighbours. No vertices gives the empty mesh.
void FillSurfaceDisplayMesh(Mesh& mesh, const SurfaceFrameArrays& file, float scale,
                            const Matrix3& toLocal, const SurfaceGreyParams& grey);

// Grey of one vertex from its map values.
float SurfaceGrey(float u, float v, const SurfaceGreyParams& grey);

// The empty surface: no vertices, texture vertices or faces, smoothing on.
void ClearSurfaceMesh(Mesh& mesh);

// The flat viewport icon in the plane z = 0, within x -33.38..34.22 and
// y 3.33..33.37 of the system's local space.
void BuildFluidIconMesh(Mesh& mesh);
