// Marching-cubes tables of the polygonizer: corner and face layout of a
// lattice cube, the twelve edges, and the 256-row triangle table.
#pragma once
#include <cstdint>

namespace cube_tables {

// Offset of corner n from the cube's own record (its highest corner).
extern const int kCornerOffset[8][3];
// Neighbouring cube across face f, the corners on that face, and the four
// corners the neighbour shares: pairs (corner of neighbour, corner of this).
extern const int kFaceOffset[6][3];
extern const uint32_t kFaceMask[6];
extern const int kFaceShared[6][4][2];
// Edge e joins corners kEdgeCorners[e][0] and kEdgeCorners[e][1].
extern const int kEdgeCorners[12][2];
// Rows of edge triples, ended by 12; indexed by the inside mask.
extern const int8_t kTriangleTable[256][15];

// Faces of `mask` with exactly two diagonal corners inside (bit f).
uint32_t AmbiguousFaces(uint32_t mask);
// For the ambiguous faces of `mask`, the faces on which the table row joins
// the two inside corners through the face (bit f set) rather than cutting
// each off on its own.
uint32_t TableJoinedFaces(uint32_t mask);
// Room of a resolved row: up to ten triangles and the closing 12.
constexpr int kResolvedRowLength = 32;
// The triangles (edge triples, ended by 12) of `mask` with each ambiguous
// face resolved as `joined` says: the table row itself when it already
// agrees, otherwise a triangulation of the loops that the faces define.
const int8_t* ResolvedRow(uint32_t mask, uint32_t joined);

}  // namespace cube_tables
