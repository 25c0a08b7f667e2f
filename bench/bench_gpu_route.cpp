// vorel-bench gpu-route [--particles N] [--frames F]
// The GPU front-end's side of a run: the export of a scene (N fill
// particles, default 100,000; a pouring source sampled ten times per frame
// and a box collider for F frames, default 30) into a cache directory, and
// the playback of one frame of N particles (read with its next frame,
// interpolated, meshed and copied into a host mesh).
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "gpu_frontend/frame_playback.h"
#include "gpu_frontend/solver_inputs.h"
#include "gpu_solver/solver_formats.h"
#include "mesher/surface_builder.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

// A block of n particles at one host unit apart (resolution 20), lifted by
// lift host units.
void Block(int64_t n, float lift, std::vector<vorel_gpu::Vec3f>* pos) {
  const int side = std::max(1, int(std::lround(std::cbrt(double(n)))));
  pos->clear();
  for (int64_t i = 0; i < n; ++i) {
    const float x = float(i % side), y = float((i / side) % side), z = float(i / (int64_t(side) * side));
    pos->push_back({x / 20.0f, y / 20.0f, (z + lift) / 20.0f});
  }
}

void RunGpuRouteBench() {
  using namespace vorel_gpufe;
  const int64_t particles = vorel_bench::OptionLong("particles", 100000);
  const int frames = int(vorel_bench::OptionLong("frames", 30));
  const std::string dir = "/tmp/vorel-bench-gpu-route." + std::to_string(::getpid());
  std::system(("mkdir -p '" + dir + "/sources' '" + dir + "/objects' '" + dir + "/surface'").c_str());

  // Export: the fill particles, the emission records, the collider frames.
  std::vector<Point3> pos, vel;
  for (int64_t i = 0; i < particles; ++i) {
    pos.push_back(Point3(float(i % 50), float((i / 50) % 50), float(i / 2500)));
    vel.push_back(Point3(0.0f, 0.0f, -1.0f));
  }
  auto t0 = Clock::now();
  const bool fillOk = WriteFillFile(dir, 8000.0f, int(particles), pos, vel, kToSolverUnits);
  const double fillS = Seconds(t0);

  Hileras rows;
  auto* row = new Hilera;  // a circle of radius 0.25 solver units (5 host units)
  for (int k = 0; k <= 16; ++k) {
    const double a = 6.28318530717958 * double(k % 16) / 16.0;
    row->AddPoint(0.25 * std::cos(a), 0.25 * std::sin(a));
  }
  rows.Add(row);
  std::vector<Point3> base;
  float acc = 0.0f;
  int64_t emitted = 0;
  t0 = Clock::now();
  BuildBasePoints(rows, 0.05f, &base);
  EmissionGroup g;
  g.instances.resize(1);
  g.instances[0].velocity = Point3(0.0f, -8.5f, 0.0f);
  const bool emitOk = WriteEmissionRecords(dir, 160, frames, [&](int, float dt) {
    EmitLayers(base, 0.05f, 8.5f, dt, false, &acc, &g.points, ClockSeededRand01());
    emitted += int64_t(g.points.size());
    return std::vector<EmissionGroup>{g};
  });
  const double emitS = Seconds(t0);

  t0 = Clock::now();
  const bool colliderOk = WriteColliderFrames(dir, 160, 0, frames, [](int tick) {
    std::vector<Point3> corners;
    const float lo = -50.0f, hi = 50.0f + float(tick) * 0.0f;
    for (int f = 0; f < 12; ++f) {  // a box of 12 triangles (corners only matter for the cost)
      corners.push_back(Point3(lo, lo, float(f)));
      corners.push_back(Point3(hi, lo, float(f)));
      corners.push_back(Point3(lo, hi, float(f)));
    }
    return corners;
  });
  const double colliderS = Seconds(t0);

  // Playback: frame 1 and frame 2 (every particle 0.5 host units lower).
  std::vector<int32_t> ids(static_cast<size_t>(particles));
  for (int64_t i = 0; i < particles; ++i) ids[size_t(i)] = int32_t(i);
  std::vector<vorel_gpu::Vec3f> p1, p2, v(static_cast<size_t>(particles), vorel_gpu::Vec3f{0.0f, 0.0f, -1.0f});
  Block(particles, 1.0f, &p1);
  Block(particles, 0.5f, &p2);
  const bool framesOk = vorel_gpu::WriteSolverFrame(vorel_gpu::FrameFilePath(dir, 1), 8000.0f, ids, p1, v) &&
                        vorel_gpu::WriteSolverFrame(vorel_gpu::FrameFilePath(dir, 2), 8000.0f, ids, p2, v);

  PlaybackArrays a;
  t0 = Clock::now();
  const int n = ReadFrameParticlesInterpolated(vorel_gpu::FrameFilePath(dir, 1), vorel_gpu::FrameFilePath(dir, 2),
                                               1.0f, &a);
  SetSubFrame(1.5f, &a);
  const double readS = Seconds(t0);

  // The surface as the fluid object builds it at its defaults: resolution
  // 20, drop size 1, melting force 4, surface LOD 6, shrink wrap 0.5.
  const float x = 1.0f * 0.4f * 20.0f / std::pow(8000.0f, kResolutionExponent);
  SurfaceBuilder builder(1.0f / 1728.0f);
  t0 = Clock::now();
  builder.SetDensity(1.0f / (x * x * x), 1);
  builder.blobRadius = x * 4.0f;
  builder.BeginParticles(a.count, 4.0f);
  const std::vector<Point3> velocities = FeedSurfaceBuilder(a, false, 0.5f, 1.0f, &builder);
  builder.Build(3.0f / 7.0f, 4.0f, 1.0f, 0.5f, 0, 2000, nullptr, &velocities);
  const double meshS = Seconds(t0);
  Mesh host;
  t0 = Clock::now();
  BuildHostMesh(builder.mesh, 0.5f, Matrix3(), &host);
  const double hostS = Seconds(t0);

  vorel_bench::Print("gpu_route_ok", fillOk && emitOk && colliderOk && framesOk ? 1 : 0);
  vorel_bench::Print("gpu_route_fill_particles", double(particles));
  vorel_bench::Print("gpu_route_frames", frames);
  vorel_bench::Print("gpu_route_emitted_particles", double(emitted));
  vorel_bench::Print("gpu_route_export_fill_s", fillS);
  vorel_bench::Print("gpu_route_export_emission_s", emitS);
  vorel_bench::Print("gpu_route_export_colliders_s", colliderS);
  vorel_bench::Print("gpu_route_export_s", fillS + emitS + colliderS);
  vorel_bench::Print("gpu_route_playback_particles", n);
  vorel_bench::Print("gpu_route_playback_read_interpolate_s", readS);
  vorel_bench::Print("gpu_route_playback_mesh_s", meshS);
  vorel_bench::Print("gpu_route_playback_host_mesh_s", hostS);
  vorel_bench::Print("gpu_route_playback_s", readS + meshS + hostS);
  vorel_bench::Print("gpu_route_mesh_vertices", host.getNumVerts());
  vorel_bench::Print("gpu_route_mesh_faces", host.getNumFaces());
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace

VOREL_BENCH("gpu-route", RunGpuRouteBench);
