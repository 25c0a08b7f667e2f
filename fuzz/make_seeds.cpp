// vorel-fuzz-seeds <corpus folder>: writes the seed corpus of every fuzz
// driver with the system's own writers, plus the reproducers of faults the
// readers once let through. tools/fuzz.sh runs it; its output is committed
// under fuzz/corpus/ so that CTest replays the same files everywhere.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "gpu_solver/solver_formats.h"
#include "host/sdk/max.h"
#include "mesher/mesh_record.h"
#include "mesher/surface_builder.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Put(const fs::path& p, const std::vector<uint8_t>& b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void PutText(const fs::path& p, const std::string& s) { Put(p, std::vector<uint8_t>(s.begin(), s.end())); }

std::vector<uint8_t> Cut(std::vector<uint8_t> b, size_t n) {
  b.resize(std::min(n, b.size()));
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vorel-fuzz-seeds <corpus folder>\n");
    return 2;
  }
  const fs::path out = argv[1];
  // A fixed folder: the solver frame records its own path, and the seeds should
  // come out the same on every run.
  const fs::path work = fs::temp_directory_path() / "vorel-fuzz-seeds";
  fs::remove_all(work);
  fs::create_directories(work);

  // Particle frames: a few particles, an empty frame, a fill file of the
  // same length (another tag), a frame cut by one byte.
  {
    FluidSolver s(1000.0, 1000.0f, 1.0f / 30.0f);
    std::vector<Vec3f> pts = {Vec3f(0, 0, 0), Vec3f(0.1f, 0, 0), Vec3f(0, 0.2f, 0.3f)};
    s.AddParticles(10.0f, 0, pts, 3, 0.0f, 0, 1);
    s.frameCache.folderOverride = work.string() + "/";
    s.WriteFrame(1);
    s.WriteEmptyFrame(2);
    std::vector<uint8_t> f = Slurp(work / "00001.Vorel");
    Put(out / "frame_file/three_particles", f);
    Put(out / "frame_file/empty", Slurp(work / "00002.Vorel"));
    Put(out / "frame_file/cut_by_one", Cut(f, f.size() - 1));
    std::vector<uint8_t> fill = f;
    const uint32_t fillTag = vorel_gpu::kFillTag;
    std::memcpy(fill.data(), &fillTag, 4);
    Put(out / "frame_file/fill_tag_same_length", fill);
    // A frame whole but for one NaN mass (damaged: a NaN spreads).
    std::vector<uint8_t> nanMass = f;
    const float nan = std::nanf("");
    std::memcpy(nanMass.data() + ParticleFrameFile::MassOffset(3) + 4, &nan, 4);
    Put(out / "frame_file/nan_mass", nanMass);
    // A packed cache of frames 1 and 2 (frame 0 missing: an empty entry).
    // Frames of other counts, so that the fuzzer starts from several
    // layouts (every array's offset follows the count).
    for (int n : {1, 17, 40}) {
      FluidSolver m(1000.0, 1000.0f, 1.0f / 30.0f);
      std::vector<Vec3f> grid;
      for (int i = 0; i < n; ++i) grid.push_back(Vec3f(0.1f * float(i % 4), 0.1f * float(i / 4), 0.05f));
      m.AddParticles(10.0f, 3, grid, n, 0.0f, n % 3, 1);
      m.frameCache.folderOverride = work.string() + "/";
      m.WriteFrame(5);
      Put(out / ("frame_file/particles_" + std::to_string(n)), Slurp(work / "00005.Vorel"));
    }
    s.frameCache.Pack((work / "cache.Vor").string(), 2, 0);
    std::vector<uint8_t> pack = Slurp(work / "cache.Vor");
    Put(out / "packed_cache/two_frames", pack);
    Put(out / "packed_cache/cut", Cut(pack, pack.size() - 5));
  }
  // Surface meshes: one triangle, an empty mesh, a mesh cut in its faces.
  {
    MeshRecord m;
    m.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
    m.secondVertices = m.vertices;
    m.faces = {MeshFace{0, 1, 2}};
    m.WriteSurfaceCache((work / "m1.bin").string(), 1, 77);
    MeshRecord().WriteSurfaceCache((work / "m0.bin").string(), 0, 77);
    std::vector<uint8_t> b = Slurp(work / "m1.bin");
    Put(out / "mesh_file/one_triangle", b);
    Put(out / "mesh_file/empty", Slurp(work / "m0.bin"));
    Put(out / "mesh_file/cut_in_faces", Cut(b, b.size() - 6));
  }
  // Imported source frames: a 140-byte header (id, count, 0, ...), then
  // records of six floats; one whole, one with a count beyond the file.
  {
    std::vector<uint8_t> b(140, 0);
    const int32_t head[3] = {1, 2, 0};
    std::memcpy(b.data(), head, sizeof head);
    const float rec[12] = {1, 2, 3, 0, 0, -1, 4, 5, 6, 0, 1, 0};
    b.insert(b.end(), reinterpret_cast<const uint8_t*>(rec), reinterpret_cast<const uint8_t*>(rec) + sizeof rec);
    Put(out / "source_frame/two_records", b);
    std::vector<uint8_t> lying = b;
    const int32_t huge = 1 << 30;
    std::memcpy(lying.data() + 4, &huge, 4);
    Put(out / "source_frame/count_beyond_file", lying);
  }
  // The ini file: every kind of line, and a file cut inside a number.
  PutText(out / "plugin_ini/keys",
          "[LOD]=6\n[Thickness]=5\n[Gravity]=20.1\r\n[TempDir]=/tmp\n[Min#_Neighbours]=10\n"
          "[particle_LOOK: DROPS/DOTS/TICKS]=1\n[age_%_to_Collapse]=0.75\n");
  PutText(out / "plugin_ini/cut_number", "[Thickness]=5\n[Gravity]=2");
  // Solver inputs: each writer's file, a fill file holding NaN, a solver frame
  // of a fill file's length, a cut kill-box file.
  {
    using namespace vorel_gpu;
    using V = vorel_gpu::Vec3f;
    const std::vector<V> p = {{0, 0, 0}, {1, 2, 3}}, v = {{0, 0, 0}, {0, -1, 0}};
    WriteFillFile((work / "fill").string(), 216.0f, p, v);
    Put(out / "solver_inputs/fill", Slurp(work / "fill"));
    WriteFillFile((work / "nan").string(), 216.0f, std::vector<V>{{0, 0, 0}, {std::nanf(""), 0, 0}}, v);
    Put(out / "solver_inputs/fill_nan", Slurp(work / "nan"));
    WriteSolverFrame((work / "frame").string(), 216.0f, {0, 1}, p, v);
    Put(out / "solver_inputs/solver_frame", Slurp(work / "frame"));
    WriteEmissionFile((work / "srp").string(), std::vector<EmissionRecord>{{0, p, v}, {16, {}, {}}});
    Put(out / "solver_inputs/emission", Slurp(work / "srp"));
    WriteColliderFile((work / "geom").string(), std::vector<V>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    Put(out / "solver_inputs/collider", Slurp(work / "geom"));
    KillBoxRow r;
    r.tick = 160;
    WriteKillBoxFile((work / "kill").string(), {r, r});
    std::vector<uint8_t> k = Slurp(work / "kill");
    Put(out / "solver_inputs/kill_boxes", k);
    Put(out / "solver_inputs/kill_boxes_cut", Cut(k, 4 + 28 + 10));
  }
  // Command lines: the front-end's own, and values that are no numbers.
  PutText(out / "solver_command_line/front_end",
          "Vorel_solver -cacheDir \"C:\\my cache\" -maxFrames 100 -fromFrame 0 -frameRate 30 "
          "-collisionStrength 1 -gravity 98 -settleFrames 2 -viscosity 5 -bounce 1 -friction 0");
  PutText(out / "solver_command_line/not_a_number", "Vorel_solver -cacheDir d -maxFrames abc");
  PutText(out / "solver_command_line/nan_gravity", "Vorel_solver -cacheDir d -gravity nan");
  // Scene files: a saved scene, and the same cut after its settings chunk.
  {
    Interface* ip = GetCOREInterface();
    ip->ResetScene();
    auto* box = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
    box->GetParamBlock(0)->SetValue(BOXOBJ_HEIGHT, 0, 12.5f);
    INode* n = ip->CreateObjectNode(box, "b1");
    ip->SelectNode(n);
    ip->SaveToFile((work / "scene.vsc").string());
    std::vector<uint8_t> b = Slurp(work / "scene.vsc");
    Put(out / "scene_file/box", b);
    Put(out / "scene_file/cut_after_settings", Cut(b, 34));
    Put(out / "scene_file/cut_before_end", Cut(b, b.size() - 4));
    ip->ResetScene();
  }
  // Scene scripts: the commands a scene uses, and a float beyond the int range.
  PutText(out / "scene_script/box",
          "create box b1\nset b1 height 12.5\nmove b1 1 2 3\nrotate b1 z 45\nget b1 height\n"
          "time 3\nselect b1\nnodes\nsave s.vsc\nreset\nload s.vsc\nundo\necho done\n");
  PutText(out / "scene_script/height_3e9", "create box b\nset b height 3e9\nget b height\n");
  // Source presets, whole and cut inside a value; solver presets, whole and short.
  PutText(out / "source_preset/whole",
          "[NAME]=water\n[LOD]=6.000\n[THICKNESS]=5.000\n[FRICTION]=1.000\n[GRAVITY]=34.000\n");
  PutText(out / "source_preset/cut", "[NAME]=water\n[LOD]=6.0");
  {
    const float v[5] = {6, 98, 5, 1, 0};
    std::vector<uint8_t> b(reinterpret_cast<const uint8_t*>(v), reinterpret_cast<const uint8_t*>(v) + 20);
    Put(out / "solver_preset/five", b);
    Put(out / "solver_preset/ten_bytes", Cut(b, 10));
  }
  // Wrapper particle caches: a few particles, and the same cut short.
  {
    SurfaceBuilder b(1.0f);
    b.BeginParticles(3, 1.0f);
    for (int i = 0; i < 3; ++i) b.AddParticle(Point3(float(i), 0.0f, 0.0f), false, 1.0f, 0);
    pelliqor::WriteParticleCache(b, (work / "p.ern").string());
    std::vector<uint8_t> c = Slurp(work / "p.ern");
    Put(out / "wrapper_cache/three_particles", c);
    Put(out / "wrapper_cache/cut", Cut(c, c.size() - 3));
    for (int n : {0, 1, 25}) {
      SurfaceBuilder m(1.0f);
      m.BeginParticles(n, 1.0f);
      for (int i = 0; i < n; ++i) m.AddParticle(Point3(float(i % 5), float(i / 5), 0.5f), i % 7 == 3, 0.5f + 0.1f * float(i % 3), 0);
      pelliqor::WriteParticleCache(m, (work / "n.ern").string());
      Put(out / ("wrapper_cache/particles_" + std::to_string(n)), Slurp(work / "n.ern"));
    }
  }
  // Scenes and scripts with the plug-ins' objects: the scene tests' scripts
  // that make a fluid system with its emitter, a ghost, force fields, the GPU
  // fluid and the wrapper, and the scenes those tests save (found when the
  // scene tests have run in this build).
  for (const char* name : {"emitter", "ghost_ui", "force_fields", "gpu_fluid", "pelliqor_guards"}) {
    // Without the solves (the driver runs no action) the checks on solved
    // frames would end each script early: left out.
    std::ifstream script(fs::path(VOREL_SOURCE_DIR) / "scenes" / (std::string(name) + ".vhs"));
    std::string text;
    for (std::string line; std::getline(script, line);)
      if (line.rfind("centroid", 0) != 0) text += line + "\n";
    PutText(out / "scene_script" / name, text);
  }
  for (const char* saved : {"emitter/emitter_scene.vsc", "ghost_ui/ghost_scene.vsc", "force_fields/force_fields.scene",
                            "gpu_fluid/gpu_fluid.scene", "pelliqor_guards/guards.vsc"}) {
    const fs::path scene = fs::path(VOREL_BINARY_DIR) / "scenes" / saved;
    if (fs::exists(scene))
      Put(out / "scene_file" / fs::path(saved).filename(), Slurp(scene));
    else
      std::printf("%s missing: run the scene tests first\n", scene.c_str());
  }
  fs::remove_all(work);
  std::printf("seeds written to %s\n", out.c_str());
  return 0;
}
