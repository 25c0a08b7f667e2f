// vorel-bench display [--particles N] [--repeats R]: an emitter showing N
// particles (100,000 by default) at a time between two cached frames, as a
// mouse cycle shows it (interpolated): wall time per viewport redraw (drops,
// dots, render view) and per render mesh (tetrahedra, facing quads).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "fluid_core/engine.h"
#include "host/core/files.h"
#include "host/ui/ui.h"
#include "scene_objects/emitter.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"

namespace {

class BenchSystem : public FluidEngineOwner {};

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

template <typename F>
double MedianMs(int repeats, F&& f) {
  std::vector<double> t;
  for (int r = 0; r < repeats; ++r) {
    auto a = std::chrono::steady_clock::now();
    f();
    t.push_back(Ms(a, std::chrono::steady_clock::now()));
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void WriteBlock(FluidSolver& s, int frame, int n, float shift) {
  s.count = 0;
  std::vector<Vec3f> pts;
  pts.reserve(size_t(n));
  const int side = int(std::cbrt(double(n))) + 1;
  for (int i = 0; i < n; ++i)
    pts.emplace_back(0.05f * (i % side) + shift, 0.05f * ((i / side) % side) + 0.01f, 0.05f * (i / (side * side)));
  s.AddParticles(20.0f, 0, pts, n, 0.0f, 0, 1);
  for (int i = 0; i < n; ++i) {
    s.particles[size_t(i)].vel = Vec3f(0.1f, 0.0f, -0.2f);
    s.particles[size_t(i)].age = i % 40;
  }
  s.WriteFrame(frame);
}

void Run() {
  const int n = std::atoi(vorel_bench::Option("particles", "100000").c_str());
  const int repeats = std::max(1, std::atoi(vorel_bench::Option("repeats", "5").c_str()));
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  ip->SetTicksPerFrame(160);
  BenchSystem system;
  auto engine = std::make_unique<FluidEngine>();
  engine->owner = &system;
  const std::string root = vorel::host::TempPath() + "vorel_bench_display_" + std::to_string(getpid());
  vorel::host::MakeDirectories(root);
  engine->SetCacheRoot(root);
  engine->SetSystemName("bench");
  vorel::host::MakeDirectories(engine->solver->frameCache.SystemFolder());
  engine->startFrame = 0;
  WriteBlock(*engine->solver, 0, n, 0.0f);
  WriteBlock(*engine->solver, 1, n, 0.5f);
  engine->frameParticleCount[0] = engine->frameParticleCount[1] = n;
  engine->lastSolved = 1;

  RainParticle* e = static_cast<RainParticle*>(GetRainDesc()->Create(false));
  INode* node = ip->CreateObjectNode(e, "VorelParticle");
  e->engine = engine.get();
  e->node = node;
  e->sourceIndex = 0;
  engine->sourceObjects[0] = e;
  engine->sourceNodes[0] = node;
  engine->sourceCount = 1;
  e->pblock2->SetValue(kEmitLodPreview, 0, 0);
  const TimeValue t = 80;  // half-way between frames 0 and 1
  ip->SetTime(t, false);
  e->MouseCycleStarted(t);

  ViewExp* vpt = vorel_ui::ActiveViewport();
  GraphicsWindow* gw = vpt->getGW();
  auto redraw = [&](int displayType) {
    e->pblock2->SetValue(kEmitDisplayType, 0, displayType);
    return MedianMs(repeats, [&] {
      gw->ClearRecords();
      SourcesNeedRefresh = 1;
      e->Display(t, node, vpt, 0);
    });
  };
  e->pblock2->SetValue(kEmitRenderType, 0, 0);
  const double drops = redraw(0);
  const int shown = e->parts.Count();
  const double dots = redraw(1);
  const double renderView = redraw(3);
  gw->ClearRecords();
  NullView view;
  auto render = [&](int renderType) {
    e->pblock2->SetValue(kEmitRenderType, 0, renderType);
    return MedianMs(repeats, [&] {
      SourcesNeedRefresh = 1;
      bool del = false;
      std::unique_ptr<Mesh> m(e->GetRenderMesh(t, node, view, del));
    });
  };
  const double tetra = render(0);
  const double facing = render(1);
  // The fetch alone, for comparison: what every redraw above includes.
  const double fetch = MedianMs(repeats, [&] {
    SourcesNeedRefresh = 1;
    e->UpdateParticles(t, node);
  });

  vorel_bench::Print("display_particles", shown);
  vorel_bench::Print("display_fetch_interpolated_ms", fetch);
  vorel_bench::Print("display_redraw_drops_ms", drops);
  vorel_bench::Print("display_redraw_dots_ms", dots);
  vorel_bench::Print("display_redraw_render_view_ms", renderView);
  vorel_bench::Print("display_render_mesh_tetrahedra_ms", tetra);
  vorel_bench::Print("display_render_mesh_facing_ms", facing);
  ip->ResetScene();
  engine.reset();
  std::string cmd = "rm -rf '" + root + "'";
  if (std::system(cmd.c_str()) != 0) std::printf("display: scratch folder left at %s\n", root.c_str());
}

}  // namespace

VOREL_BENCH("display", Run);
