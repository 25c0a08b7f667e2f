// Topology and size checks of a triangle mesh: whether it is closed and
// consistently oriented, its components, enclosed volume and area, and the
// degenerate parts a closed mesh can still have (faces of no area, vertices
// no face uses, a surface turned inside out). Used by the tests, by
// vorel-bench and by the host's meshcheck to report what a build produced.
#pragma once
#include <cstdint>

#include "mesher/mesh_record.h"

struct MeshCheck {
  int64_t edges = 0;                // distinct undirected edges
  int64_t boundaryEdges = 0;        // used by one face only
  int64_t nonManifoldEdges = 0;     // used by more than two faces
  int64_t misorientedEdges = 0;     // directed edges that more than one face runs (each counted once)
  int64_t nonManifoldVertices = 0;  // the faces around the vertex are not one fan joined through two-face edges
  int64_t degenerateFaces = 0;      // repeated or out-of-range indices
  int64_t zeroAreaFaces = 0;        // three distinct corners on one line or point (exactly, from the floats)
  int64_t unusedVertices = 0;       // named by no face with valid indices
  int64_t components = 0;           // face-connected pieces
  double volume = 0;                // signed: positive when normals face out
  double area = 0;
  bool Closed() const {
    return boundaryEdges == 0 && nonManifoldEdges == 0 && misorientedEdges == 0 && degenerateFaces == 0;
  }
  // Closed, and every vertex's faces form one disc around it.
  bool Manifold() const { return Closed() && nonManifoldVertices == 0; }
  // A surface that encloses liquid: manifold, no face without area, no
  // vertex left over and a positive volume; or empty (no vertex, no face),
  // as a frame without particles is.
  bool Sound() const {
    if (edges == 0 && degenerateFaces == 0 && unusedVertices == 0) return true;
    return Manifold() && zeroAreaFaces == 0 && unusedVertices == 0 && volume > 0.0;
  }
};

MeshCheck CheckMesh(const MeshRecord& mesh);
