// vorel-bench batch [--radius R] [--rate E] [--frames F] [--out DIR]
// The demo scene (an emitter pouring into a bowl) solved with "GO!" through
// the fluid system object of the Vorel plug-in, the host stand-in setting the
// time frame after frame; prints the time per frame and the share spent
// outside the frame solve and the surface mesher.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "bench/bench.h"
#include "fluid_plugin/pour_scene.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"

namespace {
void RunBatch() {
  const float radius = float(vorel_bench::OptionDouble("radius", 6.0));
  const float rate = float(vorel_bench::OptionDouble("rate", 8.0));
  const int frames = int(std::max(2L, vorel_bench::OptionLong("frames", 48)));
  std::string out = vorel_bench::Option("out", "");
  if (out.empty()) out = vorel::host::TempPath() + "vorel_bench_batch_" + std::to_string(getpid());
  vorel::host::MakeDirectories(out + "/install/plugcfg");
  vorel::host::SetInstallRoot(out + "/install");

  PourScene scene = BuildPourScene(out, frames, radius, rate);
  if (!scene.system) {
    vorel_bench::Print("batch_error", "the fluid system could not be made");
    return;
  }
  BatchRunStats().Clear();
  const auto t0 = std::chrono::steady_clock::now();
  RunGo(scene.system);
  const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const BatchTimes& s = BatchRunStats();
  const int solved = std::max(1, s.framesSolved);
  vorel_bench::Print("batch_frames", s.framesSolved);
  vorel_bench::Print("batch_particles", scene.system->engine.solver->LiveCount());
  vorel_bench::Print("batch_ms_per_frame", total / solved);
  vorel_bench::Print("batch_solve_ms_per_frame", s.solveMs / solved);
  vorel_bench::Print("batch_mesh_ms_per_frame", s.meshMs / solved);
  const double outside = std::max(0.0, total - s.solveMs - s.meshMs);
  vorel_bench::Print("batch_outside_ms_per_frame", outside / solved);
  vorel_bench::Print("batch_outside_share", total > 0.0 ? outside / total : 0.0);
  vorel_bench::Print("batch_out", out);
}
vorel_bench::Register reg("batch", RunBatch);
}  // namespace
