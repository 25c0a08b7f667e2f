// Writes the small main-plug-in cache folder that the cache baker's scene
// replays: three particle frames of a block of liquid dropping, each with
// the surface mesh the mesher builds from it.
//   vorel-make-baker-cache <folder>
#include <cstdio>
#include <string>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "host/core/files.h"
#include "mesher/surface_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vorel-make-baker-cache <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  vorel::host::MakeDirectories(folder + "/surface");
  const float ppuv = 1.0f;  // spacing 1 host unit
  const int side = 4;
  for (int frame = 0; frame < 3; ++frame) {
    // The frames go through a solver's own cache, as the fluid system
    // writes them (its frame tag included).
    FluidSolver solver(ppuv, 1000.0f, 1.0f / 30.0f);
    FrameCache& cache = solver.frameCache;
    cache.folderOverride = folder + "/";
    solver.particles.resize(size_t(side * side * side));
    SurfaceBuilder builder(ppuv);
    builder.groupJoin = kGroupJoinWrapper;
    builder.BeginParticles(side * side * side, 1.6f);
    int i = 0;
    for (int x = 0; x < side; ++x)
      for (int y = 0; y < side; ++y)
        for (int z = 0; z < side; ++z, ++i) {
          const Vec3f p(float(x), float(y), 10.0f + float(z) - 1.5f * float(frame));
          solver.particles[size_t(i)].pos = p;
          builder.AddParticle(Point3(p.x, p.y, p.z), 0, 1.0f, 0);
        }
    if (cache.WriteFrame(frame, i, 0, ppuv, solver) <= 0) {
      std::fprintf(stderr, "cannot write frame %d\n", frame);
      return 1;
    }
    // The baker's defaults: Surface LOD 8, Melting Force 4, Drop Size 4.
    MeshRecord& mesh = builder.Build(3.0f / 9.0f, 4.0f, 0.4f, 0.66f, 0, 2000);
    if (!mesh.WriteSurfaceCache(cache.MeshPath(frame), frame, 0)) {
      std::fprintf(stderr, "cannot write mesh %d\n", frame);
      return 1;
    }
    std::printf("frame %d: %d particles, %d faces\n", frame, i, mesh.FaceCount());
  }
  return 0;
}
