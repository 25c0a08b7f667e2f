// vorel-bench batch [--fill SIDE] [--lod L] [--radius R] [--rate E] [--frames F] [--bowl sphere|box|tank] [--out DIR]
// The demo scene (an emitter pouring into a bowl) solved with "GO!" through
// the fluid system object of the Vorel plug-in, the host stand-in setting the
// time frame after frame; prints the time per frame and the share spent
// outside the frame solve and the surface mesher. By default the emitter
// fills a box in the bowl at the first frame (about 100,000 particles at
// LOD 15) instead of pouring, which would add only a disc of the emission
// lattice a frame; --fill 0 pours. --bowl box puts the liquid in a closed
// box as wide as the bowl, with the bowl's small collision gap; --bowl tank
// in the same box with the collision attribute's own defaults (gap 4, kept
// at the collision reach), as a user who attaches it gets them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench.h"
#include "fluid_core/engine.h"
#include "fluid_plugin/pour_scene.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "scene_objects/object_attrib_params.h"

namespace {
// Passive OpenMP waits for this area (see RestartWithPassiveWaitsFor).
const bool kPassiveWait = vorel_bench::RestartWithPassiveWaitsFor("batch");

// The collision attribute's settings as it makes them, switched on as a
// collider and not a particle killer.
ObjectSettings AttributeDefaults() {
  ObjectSettings s;
  for (const ParamDef& d : ObjectAttribParamDefs()) {
    if (d.id == kObjCollisionGap) s.collisionGap = d.def.f;
    if (d.id == kObjBounce) s.bounce = d.def.f;
    if (d.id == kObjFriction) s.friction = d.def.f;
    if (d.id == kObjAdherence) s.adherence = d.def.f;
  }
  s.collide = 1;
  s.partKiller = false;
  return s;
}

void RunBatch() {
  const float radius = float(vorel_bench::OptionDouble("radius", 6.0));
  const float rate = float(vorel_bench::OptionDouble("rate", 8.0));
  const int frames = int(std::max(2L, vorel_bench::OptionLong("frames", 6)));
  PourSettings settings;
  settings.radius = radius;
  settings.rate = rate;
  settings.fillSide = float(vorel_bench::OptionDouble("fill", 51.0));
  const std::string bowl = vorel_bench::Option("bowl", "sphere");
  if (bowl != "sphere" && bowl != "box" && bowl != "tank") {
    vorel_bench::Print("batch_error", "--bowl takes sphere, box or tank");
    return;
  }
  settings.boxBowl = bowl != "sphere";
  // A pour keeps the emitter's own LOD; the fill packs the box finer.
  settings.lod = float(vorel_bench::OptionDouble("lod", settings.fillSide > 0.0f ? 15.0 : 6.0));
  std::string out = vorel_bench::Option("out", "");
  // A folder of our own goes when the run ends (a 100,000-particle run
  // leaves some 100 MB of frames); one given is kept.
  const bool removeOut = out.empty();
  if (out.empty()) out = vorel::host::TempPath() + "vorel_bench_batch_" + std::to_string(getpid());
  vorel::host::MakeDirectories(out + "/install/plugcfg");
  vorel::host::SetInstallRoot(out + "/install");

  PourScene scene = BuildPourScene(out, frames, settings);
  if (!scene.system) {
    vorel_bench::Print("batch_error", "the fluid system could not be made");
    return;
  }
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (bowl == "tank" && access) {
    const ObjectSettings tank = AttributeDefaults();
    access->AddObjectParams(&scene.system->engine, scene.bowl, tank);
    vorel_bench::Print("batch_tank_gap", double(tank.collisionGap));
  }
  BatchRunStats().Clear();
  const auto t0 = std::chrono::steady_clock::now();
  RunGo(scene.system);
  const double total = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const BatchTimes& s = BatchRunStats();
  const int solved = std::max(1, s.framesSolved);
  vorel_bench::Print("batch_fill_side", double(settings.fillSide));
  vorel_bench::Print("batch_lod", double(settings.lod));
  vorel_bench::Print("batch_bowl", bowl);
  std::string faces;  // of each collider of the last sub-step, the bowl among them
  for (const ColliderMesh* c : scene.system->engine.solver->colliders)
    faces += (faces.empty() ? "" : ",") + std::to_string(c->FaceCount());
  vorel_bench::Print("batch_collider_faces", faces);
  vorel_bench::Print("batch_frames", s.framesSolved);
  vorel_bench::Print("batch_particles", scene.system->engine.solver->LiveCount());
  // Inside the frame solve: the solver's own steps and the engine's work
  // around them (colliders rebuilt from the scene, frame files written).
  const EngineTimings& et = scene.system->engine.timings;
  vorel_bench::Print("batch_substeps_per_frame", double(et.substeps) / solved);
  vorel_bench::Print("batch_step_ms_per_frame", et.solver * 1000.0 / solved);
  vorel_bench::Print("batch_collider_ms_per_frame", et.colliders * 1000.0 / solved);
  vorel_bench::Print("batch_frame_write_ms_per_frame", et.frameWrites * 1000.0 / solved);
  vorel_bench::Print("batch_space_warp_ms_per_frame", et.forces * 1000.0 / solved);
  // Of the surface builds, the frame taken for the mesher; outside both, the
  // frame taken for the viewport's particles at each redraw.
  vorel_bench::Print("batch_frame_read_ms_per_frame", et.frameReads * 1000.0 / solved);
  vorel_bench::Print("batch_display_read_ms_per_frame", et.displayReads * 1000.0 / solved);
  vorel_bench::Print("batch_ms_per_frame", total / solved);
  vorel_bench::Print("batch_solve_ms_per_frame", s.solveMs / solved);
  vorel_bench::Print("batch_mesh_ms_per_frame", s.meshMs / solved);
  const double outside = std::max(0.0, total - s.solveMs - s.meshMs);
  vorel_bench::Print("batch_outside_ms_per_frame", outside / solved);
  vorel_bench::Print("batch_outside_share", total > 0.0 ? outside / total : 0.0);
  vorel_bench::Print("batch_out", removeOut ? "(removed)" : out);
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  vorel_bench::Print("omp_wait_policy", policy ? policy : "default");
  (void)kPassiveWait;
  if (removeOut) {
    std::error_code ignored;
    std::filesystem::remove_all(out, ignored);
  }
}
vorel_bench::Register reg("batch", RunBatch);
}  // namespace
