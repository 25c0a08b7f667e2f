// vorel-bench fill [--shape sphere|torus|slab|parts] [--points N] [--parts P] [--max-points M]:
// fills a closed sphere of 10,000 faces and a torus at the spacing that gives
// about N points (1,000,000 by default), a 2000 x 2000 x 200 host-unit slab at
// the object-filled source's default LOD (Scale 1), and a mesh of P separate
// boxes side by side (20,000 by default); prints points, layers, wall time,
// peak memory and the longest gap between two Escape polls. --max-points
// passes the caller's limit (the object-filled source's is 1,000,000).
#include <chrono>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fill_geometry/fill_object.h"
#include "fill_geometry/tests/test_poliedro_meshes.h"

namespace {

// The object-filled source at its default LOD 6 in a system of Scale 1:
// radius 0.43 / 6 in solver units of 20 host units.
constexpr double kSourceRadius = 0.43 / 6.0;
constexpr double kSourceClearance = 1.3 / 6.0;

// P boxes of side 1 on a square grid, 0.5 apart: one layer meets them all.
TestMesh Parts(int count) {
  TestMesh m;
  const int side = static_cast<int>(std::ceil(std::sqrt(double(count))));
  for (int k = 0; k < count; ++k) {
    const double x = 1.5 * (k % side), y = 1.5 * (k / side);
    m.Append(MakeBox(x, y, 0, x + 1, y + 1, 1));
  }
  return m;
}

void RunShape(const std::string& shape, double wantedPoints) {
  TestMesh m;
  double r = 0;
  float clearance = 0;
  if (shape == "slab") {
    m = MakeBox(0, 0, 0, 100, 100, 10);
    r = kSourceRadius;
    clearance = static_cast<float>(kSourceClearance);
  } else if (shape == "parts") {
    m = Parts(static_cast<int>(vorel_bench::OptionLong("parts", 20000)));
    r = 0.1;
    clearance = 0.05f;
  } else {
    m = shape == "torus" ? MakeTorus(0, 0, 0, 70, 30, 100, 50) : MakeSphere(0, 0, 0, 100, 100, 51);
    // Close packing: each point takes (4/3 pi r^3) / 0.7405 of the volume.
    const double pi = 3.14159265358979323846;
    r = std::cbrt(MeshVolume(m) * 0.7405 / (wantedPoints * 4.0 / 3.0 * pi));
    clearance = static_cast<float>(0.5 * r);
  }

  {
    std::ofstream reset("/proc/self/clear_refs");  // restart the peak for this shape
    reset << "5";
  }
  Tab<Point3> points;
  Tab<int> table;
  FillHooks quiet;
  quiet.prompt = [](const char*, uint32_t) {};
  quiet.maxPoints = vorel_bench::OptionLong("max-points", 0);
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  auto lastPoll = t0;
  double longestGapMs = 0;
  int64_t polls = 0;
  quiet.abort = [&] {
    const auto now = Clock::now();
    longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - lastPoll).count());
    lastPoll = now;
    ++polls;
    return false;
  };
  FillObjectWithParticles(1.0f, r, clearance, points, table, m.nv(), m.verts(), m.nf(), m.faces(),
                          shape.c_str(), true, quiet);
  const auto t1 = Clock::now();
  const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(t1 - lastPoll).count());

  const std::string p = "fill." + shape + ".";
  vorel_bench::Print(p + "faces", m.nf());
  vorel_bench::Print(p + "radius", r);
  vorel_bench::Print(p + "points", points.Count());
  vorel_bench::Print(p + "layers", table.Count());
  vorel_bench::Print(p + "wall_ms", ms);
  vorel_bench::Print(p + "peak_rss_mib", vorel_bench::PeakRssMb());
  vorel_bench::Print(p + "escape_polls", static_cast<double>(polls));
  vorel_bench::Print(p + "longest_poll_gap_ms", longestGapMs);
}

}  // namespace

VOREL_BENCH("fill", [] {
  const std::string shape = vorel_bench::Option("shape", "");
  double wanted = vorel_bench::OptionDouble("points", 1e6);
  if (!(wanted >= 1)) wanted = 1e6;
  if (shape == "sphere" || shape == "torus" || shape == "slab" || shape == "parts") {
    RunShape(shape, wanted);
  } else {
    RunShape("sphere", wanted);
    RunShape("torus", wanted);
    RunShape("slab", wanted);
    RunShape("parts", wanted);
  }
});
