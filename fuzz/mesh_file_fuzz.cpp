// Surface mesh files (m%05d.bin): the full reader and the scan's quick one.
#include "fuzz/fuzz_support.h"
#include "mesher/mesh_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  const std::string path = WriteInput("m00000.bin", data, size);
  MeshFrameData d;
  const MeshFileStatus s = ReadMeshFrameFile(path, d);
  int32_t stamp = 0;
  const bool quick = ReadMeshFrameStamp(path, stamp);
  // A file the full reader takes is one the scan counts, with its stamp; the
  // scan never counts one the full reader refuses for its shape.
  if (s == MeshFileStatus::Ok) Require(quick && stamp == d.stamp);
  if (s == MeshFileStatus::Truncated || s == MeshFileStatus::BadMarker) Require(!quick);
  MeshRecord m;
  Require(m.ReadSurfaceCache(path) == (s == MeshFileStatus::Ok));
  return 0;
}
