// vorel-bench fill [--shape sphere|torus] [--points N]: fills a closed sphere
// of 10,000 faces and a torus at the spacing that gives about N points
// (1,000,000 by default) and prints points, layers, wall time and peak memory.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fill_geometry/fill_object.h"
#include "fill_geometry/tests/test_poliedro_meshes.h"

namespace {

void RunShape(const std::string& shape, double wantedPoints) {
  TestMesh m = shape == "torus" ? MakeTorus(0, 0, 0, 70, 30, 100, 50) : MakeSphere(0, 0, 0, 100, 100, 51);
  // Close packing: each point takes (4/3 pi r^3) / 0.7405 of the volume.
  const double pi = 3.14159265358979323846;
  const double r = std::cbrt(MeshVolume(m) * 0.7405 / (wantedPoints * 4.0 / 3.0 * pi));
  const float clearance = static_cast<float>(0.5 * r);

  {
    std::ofstream reset("/proc/self/clear_refs");  // restart the peak for this shape
    reset << "5";
  }
  Tab<Point3> points;
  Tab<int> table;
  FillHooks quiet;
  quiet.prompt = [](const char*, uint32_t) {};
  quiet.abort = [] { return false; };
  const auto t0 = std::chrono::steady_clock::now();
  FillObjectWithParticles(1.0f, r, clearance, points, table, m.nv(), m.verts(), m.nf(), m.faces(),
                          shape.c_str(), true, quiet);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

  const std::string p = "fill." + shape + ".";
  vorel_bench::Print(p + "faces", m.nf());
  vorel_bench::Print(p + "radius", r);
  vorel_bench::Print(p + "points", points.Count());
  vorel_bench::Print(p + "layers", table.Count());
  vorel_bench::Print(p + "wall_ms", ms);
  vorel_bench::Print(p + "peak_rss_mib", vorel_bench::PeakRssMb());
}

}  // namespace

VOREL_BENCH("fill", [] {
  const std::string shape = vorel_bench::Option("shape", "");
  double wanted = vorel_bench::OptionDouble("points", 1e6);
  if (!(wanted >= 1)) wanted = 1e6;
  if (shape == "sphere" || shape == "torus") {
    RunShape(shape, wanted);
  } else {
    RunShape("sphere", wanted);
    RunShape("torus", wanted);
  }
});
