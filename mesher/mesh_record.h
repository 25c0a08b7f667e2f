// MeshRecord: the triangle mesh that the surface builder produces, that the
// solver's collider meshes start from, and that the per-frame surface mesh
// file ("m%05d.bin") stores.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/core/geom.h"

// One face: three vertex indices, counter-clockwise seen from outside.
using MeshFace = std::array<int32_t, 3>;

// Outcome of reading or writing a surface mesh file.
enum class MeshFileStatus {
  Ok,
  Missing,        // the file cannot be opened
  Truncated,      // shorter than its counts say
  BadMarker,      // a marker or the version is not what the writer puts there
  BadCount,       // a negative count, or a file longer than its counts say
  BadFaceIndex,   // a face names a vertex that is not in the file
  BadValue,       // a stored value (point or texture pair) is no finite number
  WriteFailed,    // the file could not be created or written completely
};
const char* MeshFileStatusText(MeshFileStatus s);

struct MeshRecord {
  static constexpr int32_t kFileVersion = 2;
  static constexpr uint32_t kHeadMarker = 0xBACABACAu;
  static constexpr uint32_t kEndMarker = 0xDEDEDEDEu;

  std::vector<Point3> vertices;
  // One triple per vertex: zeros from the mesher (readers show it as vertex
  // colour), per-vertex velocities when a build is given particle velocities.
  std::vector<Point3> secondVertices;
  std::vector<MeshFace> faces;
  Point3 boundsMin{1e6f, 1e6f, 1e6f};
  Point3 boundsMax{-1e6f, -1e6f, -1e6f};

  MeshRecord();
  // Empties the three arrays; the bounds stay.
  void Clear();
  int VertexCount() const { return int(vertices.size()); }
  int FaceCount() const { return int(faces.size()); }

  // Writes the record as a surface mesh file. `frame` is not stored. The
  // file is written beside the target and renamed over it, so a failed write
  // leaves any earlier file in place; false when nothing could be written
  // (error, when given, gets the errno that says why). `buffer`, when given,
  // holds the file's bytes and keeps its room for the next write.
  bool WriteSurfaceCache(const std::string& path, int frame, int32_t stamp, int* error = nullptr,
                         std::vector<unsigned char>* buffer = nullptr) const;
  // Reads a surface mesh file into the three arrays (the texture pairs are
  // not kept). On any refusal the record is left empty and false returned.
  bool ReadSurfaceCache(const std::string& path, MeshFileStatus* status = nullptr);
};

// Everything a surface mesh file holds, for readers that need the stamp and
// the texture pairs as well (the frame cache, the baker).
struct MeshFrameData {
  int32_t stamp = 0;
  std::vector<Point3> vertices;
  std::vector<Point3> secondVertices;
  std::vector<Point2> mapPoints;  // one (u, v) per second-array entry
  std::vector<MeshFace> faces;
};

// Reads and validates a whole surface mesh file: both markers, the version,
// every count against the file size, every face index, and every stored
// value finite. `out` is emptied on refusal.
MeshFileStatus ReadMeshFrameFile(const std::string& path, MeshFrameData& out);
// Reads the stamp at offset 0 of a file whose markers, counts and length
// agree, without reading its arrays (cache scans); false for a missing, cut
// or malformed file (face indices are not checked).
bool ReadMeshFrameStamp(const std::string& path, int32_t& stamp);
// File size of a surface mesh with these counts.
inline int64_t MeshFrameFileSize(int64_t nV, int64_t nC, int64_t nF) {
  return 28 + 12 * nV + 20 * nC + 12 * nF;
}
