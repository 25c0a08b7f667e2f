#include "gpu_solver/sample_scene.h"

#include <sys/stat.h>

#include <cerrno>

#include <vector>

#include "gpu_solver/solver_formats.h"

namespace vorel_gpu {
namespace {

bool MakeDir(const std::string& d) { return ::mkdir(d.c_str(), 0777) == 0 || errno == EEXIST; }

// Twelve triangles of an axis-aligned box.
std::vector<Vec3f> BoxCorners(const float lo[3], const float hi[3]) {
  auto corner = [&](int i) { return Vec3f{i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]}; };
  static const int faces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                   {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  std::vector<Vec3f> out;
  for (const auto& f : faces)
    for (int c : f) out.push_back(corner(c));
  return out;
}

}  // namespace

bool WriteSampleCache(const std::string& dir, const SampleScene& s) {
  if (!MakeDir(dir) || !MakeDir(dir + "/sources") || !MakeDir(dir + "/objects")) return false;
  const float step = s.spacing / s.resolution;
  std::vector<Vec3f> pos, vel;
  pos.reserve(size_t(SampleParticleCount(s)));
  for (int32_t k = 0; k < s.nz; ++k)
    for (int32_t j = 0; j < s.ny; ++j)
      for (int32_t i = 0; i < s.nx; ++i)
        pos.push_back(Vec3f{s.fillMin[0] + i * step, s.fillMin[1] + j * step, s.fillMin[2] + k * step});
  vel.assign(pos.size(), Vec3f{0, 0, 0});
  const float ppuv = s.resolution * s.resolution * s.resolution;
  if (!WriteFillFile(FillFilePath(dir), ppuv, pos, vel)) return false;
  const std::vector<Vec3f> box = BoxCorners(s.boxMin, s.boxMax);
  for (int32_t f = 0; f <= s.frames; ++f)
    if (!WriteColliderFile(ColliderFilePath(dir, int64_t(f) * s.ticksPerFrame), box)) return false;
  std::vector<KillBoxRow> rows(size_t(s.frames));
  for (int32_t f = 0; f < s.frames; ++f) {
    KillBoxRow& r = rows[size_t(f)];
    r.tick = int32_t(f * int32_t(s.ticksPerFrame));
    // Rows are in solver axes: x, host z, host y.
    const int order[3] = {0, 2, 1};
    for (int a = 0; a < 3; ++a) {
      r.min[a] = s.boxMin[order[a]] - s.killMargin;
      r.max[a] = s.boxMax[order[a]] + s.killMargin;
    }
  }
  return WriteKillBoxFile(KillBoxFilePath(dir), rows);
}

}  // namespace vorel_gpu
