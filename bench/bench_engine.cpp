// vorel-bench engine [--particles N] [--frames F] [--faces K] [--out DIR]
// A fluid system as the plug-in drives it: one source whose object fill
// drops a block of N particles into a bowl collider of about K faces; the
// engine solves and meshes F frames (after one warm-up frame) and reports
// where each frame's time goes.
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fluid_core/engine.h"
#include "fluid_core/host_link.h"
#include "host/core/files.h"

namespace {

enum { kRate = kEmitEmissionRate };

ParamBlockDesc2* BenchSourceBlock() {
  static ParamBlockDesc2 d(0, "params", 0, nullptr, 0, 0, {},
                           {ParamDef(kEmitSourceLod, "Source LOD", TYPE_FLOAT, 0).Default(10.0f),
                            ParamDef(kEmitEmissionType, "EmissionType", TYPE_INT, 0).Default(2),
                            ParamDef(kEmitEmissionRate, "Emission Rate", TYPE_FLOAT, 0).Default(6.0f),
                            ParamDef(kEmitParticlesFilled, "#particlesFilled", TYPE_INT, 0).Default(100000),
                            ParamDef(kEmitStartFrame, "startFrame", TYPE_INT, 0).Default(-100),
                            ParamDef(kEmitStopFrame, "stopFrame", TYPE_INT, 0).Default(1000),
                            ParamDef(kEmitLifeTime, "lifeTime", TYPE_INT, 0).Default(9999),
                            ParamDef(kEmitThickness, "Thickness", TYPE_FLOAT, 0).Default(5.0f)});
  return &d;
}

// A source whose object fill is a block of particles (solver units).
class BenchSource : public SimpleParticle, public FluidSource {
 public:
  BenchSource() : block_(new IParamBlock2(BenchSourceBlock())) {}
  Class_ID ClassID() override { return SourceClassID(); }
  void* GetInterface(uint32_t id) override {
    return id == I_FLUIDSOURCE ? static_cast<FluidSource*>(this) : SimpleParticle::GetInterface(id);
  }
  using SimpleParticle::GetInterface;
  void UpdateParticles(TimeValue, INode*) override {}
  void BuildEmitter(TimeValue, Mesh&) override {}
  IParamBlock2* SourceParamBlock() override { return block_.get(); }
  bool HasPickedObject() override { return true; }
  const std::vector<Vec3f>& FillPoints() override { return fill; }
  std::vector<Vec3f> fill;

 private:
  std::unique_ptr<IParamBlock2> block_;
};

class BenchSettings : public ObjectParamsAccess {
 public:
  bool GetObjectParams(INode*, ObjectParams& out) override {
    out.collide = 1;
    out.bounce = 20.0f;
    out.friction = 5.0f;
    out.collisionGap = 0.01f;
    out.adherence = 0.0f;
    return true;
  }
  bool GetWetmapParams(INode*, WetmapParams&) override { return false; }
  bool HasObjectParams(INode*) override { return true; }
  void AddObjectParams(FluidEngine*, INode*, const ObjectSettings&) override {}
  void RemoveObjectParams(INode*) override {}
};

// A bowl z = r^2 / (2 R) over a square grid of side 2R host units, about
// `faces` triangles, normals up (towards the liquid).
TriObject* MakeBowl(int faces, float R) {
  const int n = std::max(2, int(std::lround(std::sqrt(faces / 2.0))));
  TriObject* tri = CreateNewTriObject();
  Mesh& m = tri->mesh;
  m.setNumVerts((n + 1) * (n + 1));
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float x = -R + 2 * R * i / n, y = -R + 2 * R * j / n;
      m.setVert(j * (n + 1) + i, x, y, (x * x + y * y) / (2 * R));
    }
  m.setNumFaces(2 * n * n);
  int f = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
      m.faces[size_t(f++)].setVerts(a, b, c);
      m.faces[size_t(f++)].setVerts(a, c, d);
    }
  return tri;
}

// Passive OpenMP waits for this area (see RestartWithPassiveWaitsFor).
const bool kPassiveWait = vorel_bench::RestartWithPassiveWaitsFor("engine");

}  // namespace

VOREL_BENCH("engine", [] {
  using vorel_bench::Print;
  const long particles = std::max(1L, vorel_bench::OptionLong("particles", 100000));
  const int frames = int(std::max(1L, vorel_bench::OptionLong("frames", 3)));
  const int faces = int(std::max(2L, vorel_bench::OptionLong("faces", 10000)));
  std::string out = vorel_bench::Option("out", "");
  const bool keep = !out.empty();
  if (out.empty()) out = vorel::host::TempPath() + "vorel_bench_engine_" + std::to_string(getpid());
  vorel::host::MakeDirectories(out);

  solver_host::SetAbortTest([] { return false; });
  BenchSettings settings;
  SetObjectParamsAccess(&settings);
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  ip->SetTicksPerFrame(160);
  ip->SetAnimRange(Interval(0, 1000 * 160));

  // The block: spacing 0.1 (LOD 10), proportions 1 : 1 : 1.2, above the bowl.
  const float a = 0.095f;
  const int side = std::max(1, int(std::cbrt(double(particles) / 1.2)));
  const int layers = int((particles + side * side - 1) / (side * side));
  auto* src = new BenchSource();
  src->fill.reserve(size_t(particles));
  for (int k = 0; k < layers && (long)src->fill.size() < particles; ++k)
    for (int j = 0; j < side && (long)src->fill.size() < particles; ++j)
      for (int i = 0; i < side && (long)src->fill.size() < particles; ++i)
        src->fill.emplace_back((i - side / 2) * a, (j - side / 2) * a, 0.6f + k * a);
  src->SourceParamBlock()->SetValue(kEmitParticlesFilled, 0, int(particles));
  const float R = 20.0f * std::max(3.0f, side * a);  // host units
  ip->CreateObjectNode(MakeBowl(faces, R), "bowl");
  INode* srcNode = ip->CreateObjectNode(src, "source");

  std::unique_ptr<FluidEngine> engine(new FluidEngine());
  FluidEngine& e = *engine;
  e.SetCacheRoot(out);
  e.SetSystemName("bench");
  vorel::host::MakeDirectories(e.solver->frameCache.SurfaceFolder());
  e.sourceNodes[0] = srcNode;
  e.sourceObjects[0] = src;
  e.sourceCount = 1;
  e.Reset();
  e.solver->stamp = 1;

  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); };
  double total = 0.0;
  long substeps = 0;
  EngineTimings sum;
  FluidSolver::PhaseSeconds phases;
  int faceCount = 0;
  for (int f = 0; f <= frames + 1; ++f) {
    ip->SetTime(f * 160, false);
    const EngineTimings before = e.timings;
    const FluidSolver::PhaseSeconds phasesBefore = e.solver->phaseSeconds;
    const long stepsBefore = e.timings.substeps;
    auto t0 = Clock::now();
    e.SolveFrame(f);
    if (f >= 1) e.BuildSurfaceFrame(f);
    const double wall = seconds(t0);
    if (f >= 2) {  // frame 0 is empty, frame 1 the warm-up
      total += wall;
      substeps += e.timings.substeps - stepsBefore;
      sum.solver += e.timings.solver - before.solver;
      sum.colliders += e.timings.colliders - before.colliders;
      sum.forces += e.timings.forces - before.forces;
      sum.sources += e.timings.sources - before.sources;
      sum.frameWrites += e.timings.frameWrites - before.frameWrites;
      sum.frameReads += e.timings.frameReads - before.frameReads;
      sum.mesher += e.timings.mesher - before.mesher;
      sum.meshWrites += e.timings.meshWrites - before.meshWrites;
      const FluidSolver::PhaseSeconds& now = e.solver->phaseSeconds;
      phases.grid += now.grid - phasesBefore.grid;
      phases.pairs += now.pairs - phasesBefore.pairs;
      phases.forces += now.forces - phasesBefore.forces;
      phases.collide += now.collide - phasesBefore.collide;
    }
  }
  if (!e.solver->colliders.empty()) faceCount = e.solver->colliders[0]->FaceCount();
  const double per = 1.0 / frames;
  Print("particles", double(e.solver->count));
  Print("live_particles", double(e.solver->LiveCount()));
  Print("collider_faces", faceCount);
  Print("frames", frames);
  Print("warmup_frames", 1);
  Print("substeps_per_frame", double(substeps) * per);
  Print("frame_s", total * per);
  Print("solver_s_per_frame", sum.solver * per);
  Print("solver_grid_s_per_frame", phases.grid * per);
  Print("solver_pairs_s_per_frame", phases.pairs * per);
  Print("solver_forces_s_per_frame", phases.forces * per);
  Print("solver_collide_s_per_frame", phases.collide * per);
  // The collision pass also applies friction and integrates (one pass over
  // the particles); with the collider rebuilds it is what the collider costs.
  Print("collision_share_of_solver", sum.solver > 0 ? phases.collide / sum.solver : 0.0);
  Print("collision_share_of_frame", total > 0 ? (phases.collide + sum.colliders) / total : 0.0);
  Print("collider_rebuild_s_per_frame", sum.colliders * per);
  Print("space_warp_s_per_frame", sum.forces * per);
  Print("source_setup_s_per_frame", sum.sources * per);
  Print("mesher_s_per_frame", sum.mesher * per);
  Print("frame_write_s_per_frame", sum.frameWrites * per);
  Print("frame_read_s_per_frame", sum.frameReads * per);
  Print("mesh_write_s_per_frame", sum.meshWrites * per);
  Print("file_io_s_per_frame", (sum.frameWrites + sum.frameReads + sum.meshWrites) * per);
  const double outside = total - sum.solver - sum.mesher;
  Print("outside_solver_and_mesher_share", total > 0 ? outside / total : 0.0);
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  Print("omp_wait_policy", policy ? policy : "default");
  engine.reset();
  ip->ResetScene();
  SetObjectParamsAccess(nullptr);
  if (keep)
    Print("out", out);
  else
    std::system(("rm -rf '" + out + "'").c_str());
});
