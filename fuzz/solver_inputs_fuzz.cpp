// The solver program's four input files, each read by its own reader from
// the same bytes: fill particles, emission records, collider geometry and
// kill boxes.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "gpu_solver/solver_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorel_fuzz;
  using namespace vorel_gpu;
  const std::string path = WriteInput("input", data, size);
  FillHeader h;
  std::vector<Vec3f> pos, vel;
  if (ReadFillFile(path, 1u << 20, &h, &pos, &vel)) {
    Require(h.tag == kFillTag && h.count >= 0 && pos.size() == vel.size());
    for (const Vec3f& p : pos) Require(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
  }
  EmissionReader in(path);
  EmissionRecord r;
  size_t bytes = 0;
  bool whole = true;
  while (in.Next(&r)) {
    Require(r.positions.size() == r.velocities.size());
    bytes += 8 + 24 * r.positions.size();
    for (const Vec3f& p : r.positions) whole = whole && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    for (const Vec3f& v : r.velocities) whole = whole && std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
  }
  // The program runs only on emission files that are whole.
  Require(CheckEmissionFile(path) == (whole && bytes == size));
  ColliderGeometry g;
  if (ReadColliderFile(path, &g)) Require(g.vertices.size() == g.vertexCount);
  std::vector<KillBoxRow> rows;
  if (ReadKillBoxFile(path, &rows)) Require(4 + 28 * rows.size() == size);
  return 0;
}
