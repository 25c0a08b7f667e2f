// The fluid object's solve and evaluation in a scene: inputs written from
// the scene, the start frame read whole, the solver started (recorded, not
// run), and frames played back and meshed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <set>

#include "frontend_fixture.h"
#include "gpu_frontend/fluid_playback.h"
#include "gpu_frontend/frame_playback.h"
#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/gpu_source.h"
#include "gpu_frontend/solver_export.h"
#include "gpu_solver/solver_formats.h"
#include "host/core/process.h"
#include "mesher/mesh_record.h"

namespace {

using vorel_gpufe::BlobNode;
using vorel_gpufe::FillRecord;
using vorel_gpufe::VorSourceObj;
namespace bp = vorel_gpufe::blob_param;

class GpuSolveTest : public gpufe_test::FrontendTest {
 protected:
  void SetUp() override {
    FrontendTest::SetUp();
    vorel::host::SetRecordOnlyProcesses(true);
    vorel::host::ClearStartedPrograms();
    vorel::host::ClearPromptLog();
    ASSERT_TRUE(vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "appPath",
                                               "/opt/vorel"));
  }
  void TearDown() override {
    vorel::host::SetRecordOnlyProcesses(false);
    vorel::host::ClearStartedPrograms();
    FrontendTest::TearDown();
  }
  // The creation hook's set-up: a fluid, its first source, a collider box.
  BlobNode* CreateSetUp() {
    BlobNode::creationPending = false;
    GetCOREInterface()->SetTicksPerFrame(160);
    vorel_gpufe::GetBlobNodeDesc()->BeginCreate(GetCOREInterface());
    BlobNode::creationPending = false;
    INode* n = GetCOREInterface()->GetINodeByName("Vorel_GPU_");
    return n ? static_cast<BlobNode*>(n->GetObjectRef()) : nullptr;
  }
  static void WriteFrame(const BlobNode& b, int frame, int n, float dz = 0.0f) {
    std::vector<int32_t> ids;
    std::vector<vorel_gpu::Vec3f> pos, vel;
    for (int k = 0; k < n; ++k) {
      ids.push_back(k);
      pos.push_back({float(k) / 20.0f, 0.5f, 1.0f + dz});
      vel.push_back({0.0f, 0.0f, float(k)});
    }
    ASSERT_TRUE(vorel_gpu::WriteSolverFrame(b.cache.FramePath(frame), 27000.0f, ids, pos, vel));
  }
};

TEST_F(GpuSolveTest, SolveWritesTheSceneAndStartsTheSolver) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  b->pblock2->SetValue(bp::kSolverEnd, 0, 3);
  FillRecord r;
  r.points = {Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9)};
  r.layerTable = {2, 3};
  r.layersUsed = 1;  // the first layer only: two points
  b->fillRecords.push_back(r);

  vorel_gpufe::RunSolve(*b, -1000);
  const std::string dir = b->cache.cacheDir;
  vorel_gpu::FillHeader h;
  std::vector<vorel_gpu::Vec3f> p, v;
  ASSERT_TRUE(vorel_gpu::ReadFillFile(vorel_gpu::FillFilePath(dir), 100, &h, &p, &v));
  ASSERT_EQ(h.count, 2);
  EXPECT_FLOAT_EQ(h.ppuv, 8000.0f);  // "Source LOD" 20, cubed
  EXPECT_NEAR(p[1].z, 6.0f, 1e-5f);  // fill points are solver units already
  EXPECT_EQ(v[1].z, 0.0f);

  // Ten records a frame for three frames; the first source pours.
  vorel_gpu::EmissionReader in(vorel_gpu::EmissionFilePath(dir));
  vorel_gpu::EmissionRecord rec;
  int records = 0;
  size_t points = 0;
  while (in.Next(&rec)) {
    EXPECT_EQ(rec.tick, 16 * records);
    ++records;
    points += rec.positions.size();
  }
  EXPECT_EQ(records, 30);
  EXPECT_GT(points, 0u);
  // The collider box at frames 0..3, twelve triangles each.
  for (int f = 0; f <= 3; ++f) {
    vorel_gpu::ColliderGeometry g;
    ASSERT_TRUE(vorel_gpu::ReadColliderFile(vorel_gpu::ColliderFilePath(dir, f * 160), &g)) << f;
    EXPECT_EQ(g.triangleCount, 12u);
  }
  EXPECT_FALSE(gpufe_test::Exists(vorel_gpu::KillBoxFilePath(dir)));  // no clip box
  ASSERT_EQ(vorel::host::StartedPrograms().size(), 1u);
  const std::string line = vorel::host::StartedPrograms()[0].commandLine;
  EXPECT_NE(line.find("\"/opt/vorel\\bin/x86/Vorel_solver.exe\" -cacheDir \"" + dir + "\" -maxFrames 3 -fromFrame 0"
                      " -frameRate 30"),
            std::string::npos)
      << line;
  EXPECT_TRUE(gpufe_test::Exists(dir + "/soveit.bat"));
}

TEST_F(GpuSolveTest, AResumeStartsFromTheWholeFrameWhateverTheDisplayShows) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  for (int f = 0; f <= 5; ++f) WriteFrame(*b, f, 10);
  // Thinned, offset in time, particles off: none of it changes the start.
  b->pblock2->SetValue(bp::kDisplayPercentage, 0, 50);
  b->pblock2->SetValue(bp::kTimeOffset, 0, 2);
  b->pblock2->SetValue(bp::kShowParticles, 0, 0);
  vorel_gpufe::RunSolve(*b, 3);
  EXPECT_TRUE(gpufe_test::Exists(b->cache.FramePath(3)));
  EXPECT_FALSE(gpufe_test::Exists(b->cache.FramePath(4)));
  EXPECT_FALSE(gpufe_test::Exists(b->cache.FramePath(5)));
  vorel_gpu::FillHeader h;
  std::vector<vorel_gpu::Vec3f> p, v;
  ASSERT_TRUE(vorel_gpu::ReadFillFile(vorel_gpu::FillFilePath(b->cache.cacheDir), 100, &h, &p, &v));
  ASSERT_EQ(h.count, 10);
  EXPECT_NEAR(p[9].x, 9.0f / 20.0f, 1e-6f);
  EXPECT_EQ(v[9].z, 9.0f);
  const float res = std::pow(27000.0f, 0.333f);
  EXPECT_FLOAT_EQ(h.ppuv, res * res * res);
  ASSERT_EQ(vorel::host::StartedPrograms().size(), 1u);
  EXPECT_NE(vorel::host::StartedPrograms()[0].commandLine.find("-maxFrames 97 -fromFrame 3"), std::string::npos);
}

TEST_F(GpuSolveTest, NothingHappensWhileASolverRunsOrWhenNothingIsLeft) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  HANDLE solver = CreateEventW(nullptr, TRUE, FALSE, L"Vorel_GPU_SOLVER");
  vorel_gpufe::RunSolve(*b, -1000);
  CloseHandle(solver);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, "One solver instance is running at this time...");
  EXPECT_FALSE(gpufe_test::Exists(vorel_gpu::FillFilePath(b->cache.cacheDir)));
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());

  // End frame already solved, or no frame between start and stop: nothing
  // is touched or started, and the prompt says why.
  WriteFrame(*b, 4, 3);
  b->pblock2->SetValue(bp::kSolverEnd, 0, 4);
  vorel_gpufe::RunSolve(*b, -1000);
  EXPECT_EQ(vorel::host::PromptLog().back().text,
            "Nothing to solve: frames up to Stop frame (4) are solved; CLEAN to solve them again");
  b->pblock2->SetValue(bp::kSolverStart, 0, 4);
  vorel_gpufe::RunSolve(*b, -1000);
  EXPECT_EQ(vorel::host::PromptLog().back().text, "Nothing to solve: Stop frame (4) must be after Start frame (4)");
  EXPECT_TRUE(gpufe_test::Exists(b->cache.FramePath(4)));
  EXPECT_FALSE(gpufe_test::Exists(vorel_gpu::FillFilePath(b->cache.cacheDir)));
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  // No installation folder in the registry: nothing deleted or started,
  // and a message says why.
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "appPath", "");
  b->pblock2->SetValue(bp::kSolverStart, 0, 0);
  b->pblock2->SetValue(bp::kSolverEnd, 0, 8);
  vorel_gpufe::RunSolve(*b, 0);
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_NE(vorel::host::MessageBoxLog()[0].text.find("Nothing was solved"), std::string::npos);
  EXPECT_TRUE(gpufe_test::Exists(b->cache.FramePath(4)));
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());

  // Inputs that cannot be written (a file where the sources folder goes):
  // the message says which and why, and nothing starts.
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "appPath", "/opt/vorel");
  const std::string sources = b->cache.cacheDir + "/sources";
  std::system(("rm -rf '" + sources + "'").c_str());
  gpufe_test::WriteBytes(sources, "not a folder");
  vorel::host::ClearMessageBoxLog();
  vorel_gpufe::RunSolve(*b, 0);
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].text,
            "Couldn't export data to Vorel GPU solver! " + sources + "/Vorel.fll: Not a directory");
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());

  // A disk that fills up during the export (a file-size limit that the fill
  // file passes and the emission records do not): no cut file is left, and
  // the message says why.
  std::remove(sources.c_str());
  vorel::host::MakeDirectories(sources);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2048;
  ::setrlimit(RLIMIT_FSIZE, &small);
  vorel::host::ClearMessageBoxLog();
  vorel_gpufe::RunSolve(*b, 0);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  const std::string emission = vorel_gpu::EmissionFilePath(b->cache.cacheDir);
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].text,
            "Couldn't export data to Vorel GPU solver! " + emission + ": File too large");
  EXPECT_TRUE(gpufe_test::Exists(vorel_gpu::FillFilePath(b->cache.cacheDir)));
  EXPECT_FALSE(gpufe_test::Exists(emission));
  EXPECT_FALSE(gpufe_test::Exists(emission + ".part"));
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
}

TEST_F(GpuSolveTest, InstancesOfOneSourceEmitOncePerNode) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  b->pblock2->SetValue(bp::kSolverEnd, 0, 2);
  INode* first = GetCOREInterface()->GetINodeByName("Vorel_source_");
  ASSERT_NE(first, nullptr);
  INode* second = GetCOREInterface()->CreateObjectNode(first->GetObjectRef(), "second");
  Matrix3 tm = first->GetNodeTM(0);
  tm.SetTrans(tm.GetTrans() + Point3(0, 0, 10));
  second->SetNodeTM(0, tm);
  INode* add[1] = {second};
  b->pblock2->Append(bp::kSourcesNodeList, 1, add);
  ASSERT_TRUE(vorel_gpufe::WriteEmissionFile(*b, b->cache.cacheDir, 0.0f, 2));
  vorel_gpu::EmissionReader in(vorel_gpu::EmissionFilePath(b->cache.cacheDir));
  vorel_gpu::EmissionRecord rec;
  size_t total = 0;
  while (in.Next(&rec)) {
    // No particle is emitted twice at one place.
    std::set<std::tuple<float, float, float>> seen;
    for (const auto& p : rec.positions) EXPECT_TRUE(seen.insert({p.x, p.y, p.z}).second);
    EXPECT_EQ(rec.positions.size() % 2, 0u);  // both nodes, the same points
    total += rec.positions.size();
  }
  EXPECT_GT(total, 0u);
}

TEST_F(GpuSolveTest, PlaybackReadsPairsAndMeshesTheFrames) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  WriteFrame(*b, 1, 40);
  WriteFrame(*b, 2, 40, -0.05f);  // one host unit lower
  b->pblock2->SetValue(bp::kGenerateSurface, 0, 1);
  Mesh mesh;
  // At other speeds frame 1's surface is meshed from frame 10's particles
  // (there are none) or frame 0's: it is not frame 1's, and is not stored
  // or kept as frame 1's.
  for (float speed : {1000.0f, -100.0f, 50.0f}) {
    b->pblock2->SetValue(bp::kPlaybackSpeed, 0, speed);
    vorel_gpufe::UpdateAtTime(*b, 160, mesh, false);
    EXPECT_FALSE(gpufe_test::Exists(b->cache.MeshPath(1))) << speed;
    EXPECT_EQ(b->meshFrame, -1) << speed;
  }
  b->pblock2->SetValue(bp::kPlaybackSpeed, 0, 100.0f);
  vorel_gpufe::UpdateAtTime(*b, 240, mesh, false);  // frame 1.5
  EXPECT_EQ(b->particleCount, 40);
  EXPECT_NEAR(b->shownPositions[3].z, 19.5f, 1e-4f);
  EXPECT_NEAR(b->shownPositions[3].x, 3.0f, 1e-4f);
  EXPECT_GT(mesh.getNumFaces(), 0);
  EXPECT_TRUE(gpufe_test::Exists(b->cache.MeshPath(1)));
  EXPECT_EQ(b->meshFrame, 1);
  EXPECT_NEAR(b->SourceLOD, std::pow(27000.0f, 0.333f), 1e-4f);

  // A frame whose header cannot be read leaves "Source LOD" as it is.
  b->particleFrame = -1;
  vorel_gpufe::UpdateParticles(*b, 7 * 160);
  EXPECT_EQ(b->SourceLOD, 20.0f);
  EXPECT_EQ(b->particleCount, 0);
}

// The evaluation's ways through: a frame not solved yet is shown but never
// stored; a viewport evaluation of an unchanged frame returns at once, a
// render one always rebuilds the host mesh; a stored surface without
// vertices shows nothing; hiding in viewports leaves renders alone; a
// damaged frame says so and stores nothing.
TEST_F(GpuSolveTest, SurfaceEvaluationPaths) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  b->pblock2->SetValue(bp::kGenerateSurface, 0, 1);
  Mesh mesh;
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, true);
  EXPECT_FALSE(gpufe_test::Exists(b->cache.MeshPath(3)));
  EXPECT_EQ(b->meshFrame, -1);
  WriteFrame(*b, 3, 40);  // the solver gets there
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, true);
  EXPECT_EQ(b->particleCount, 40);
  EXPECT_GT(mesh.getNumFaces(), 0);
  EXPECT_TRUE(gpufe_test::Exists(b->cache.MeshPath(3)));

  const int faces = mesh.getNumFaces();
  vorel_gpufe::ClearHostMesh(&mesh);
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, true);
  EXPECT_EQ(mesh.getNumFaces(), 0);  // nothing changed: the viewport keeps its mesh
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, false);
  EXPECT_EQ(mesh.getNumFaces(), faces);

  WriteFrame(*b, 4, 40);
  ASSERT_TRUE(MeshRecord().WriteSurfaceCache(b->cache.MeshPath(4), 4, 0));
  vorel_gpufe::UpdateAtTime(*b, 4 * 160, mesh, false);
  EXPECT_EQ(mesh.getNumFaces(), 0);
  MeshRecord stored;
  ASSERT_TRUE(stored.ReadSurfaceCache(b->cache.MeshPath(4)));
  EXPECT_EQ(stored.VertexCount(), 0);

  b->pblock2->SetValue(bp::kHideInViewports, 0, 1);
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, true);
  EXPECT_EQ(mesh.getNumFaces(), 0);
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, false);
  EXPECT_EQ(mesh.getNumFaces(), faces);

  WriteFrame(*b, 5, 40);
  std::FILE* f = std::fopen(b->cache.FramePath(5).c_str(), "r+b");
  const float far = 1e30f;
  std::fseek(f, 272 + 4 * 40 + 12 * 7, SEEK_SET);  // particle 7's x
  std::fwrite(&far, 4, 1, f);
  std::fclose(f);
  vorel::host::ClearPromptLog();
  vorel_gpufe::UpdateAtTime(*b, 5 * 160, mesh, false);
  EXPECT_EQ(mesh.getNumFaces(), 0);
  EXPECT_FALSE(gpufe_test::Exists(b->cache.MeshPath(5)));
  ASSERT_FALSE(vorel::host::PromptLog().empty());
  EXPECT_NE(vorel::host::PromptLog().back().text.find("Frame 5 of cache"), std::string::npos);
  EXPECT_NE(vorel::host::PromptLog().back().text.find("is damaged"), std::string::npos);

  // Another system's frame under this cache's name (the main plug-in's tag)
  // is not read as this solver's: nothing shown or stored, not solved, and
  // no solve continues from it or replaces it.
  WriteFrame(*b, 6, 40);
  f = std::fopen(b->cache.FramePath(6).c_str(), "r+b");
  const uint32_t otherTag = 0x5E1379D3;
  std::fwrite(&otherTag, 4, 1, f);
  std::fclose(f);
  vorel_gpufe::UpdateAtTime(*b, 6 * 160, mesh, false);
  EXPECT_EQ(b->particleCount, 0);
  EXPECT_EQ(mesh.getNumFaces(), 0);
  EXPECT_FALSE(gpufe_test::Exists(b->cache.MeshPath(6)));
  EXPECT_NE(vorel::host::PromptLog().back().text.find("Frame 6 of cache"), std::string::npos);
  EXPECT_NE(vorel::host::PromptLog().back().text.find("not a frame of the GPU solver"), std::string::npos);
  EXPECT_FALSE(b->cache.IsFrameSolved(6));
  EXPECT_EQ(b->cache.lastSolvedFrame(), 5);
  vorel_gpufe::RunSolve(*b, -1000);
  EXPECT_NE(vorel::host::PromptLog().back().text.find("Nothing to solve: frame 6 of cache"), std::string::npos);
  EXPECT_TRUE(gpufe_test::Exists(b->cache.FramePath(6)));
  EXPECT_TRUE(vorel::host::StartedPrograms().empty());
}

// A solver program that fails (here at once, after writing frame 1) writes
// no later frame: those frames say where the solve stopped, also after the
// host has waited for the program, instead of showing nothing silently.
TEST_F(GpuSolveTest, FramesAfterAFailedSolveSayWhereItStopped) {
  BlobNode* b = CreateSetUp();
  ASSERT_NE(b, nullptr);
  b->pblock2->SetValue(bp::kSolverEnd, 0, 4);
  b->pblock2->SetValue(bp::kGenerateSurface, 0, 1);
  const std::string app = root_ + "/app";
  vorel::host::MakeDirectories(app + "/bin/x86");
  {
    std::ofstream f(app + "/bin/x86/Vorel_solver.exe");
    f << "#!/bin/sh\nsleep 0.2\nexit 1\n";  // still running when the start lets go of it
  }
  ASSERT_EQ(::chmod((app + "/bin/x86/Vorel_solver.exe").c_str(), 0755), 0);
  ASSERT_TRUE(vorel::host::RegistrySetString(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Vorel_GPU", "appPath", app));
  vorel::host::SetRecordOnlyProcesses(false);
  vorel_gpufe::RunSolve(*b, -1000);
  ASSERT_EQ(vorel::host::StartedPrograms().size(), 1u);
  EXPECT_EQ(vorel::host::WaitForStartedProgram(vorel::host::StartedPrograms()[0].pid), 1);
  WriteFrame(*b, 1, 40);

  vorel::host::ClearPromptLog();
  Mesh mesh;
  vorel_gpufe::UpdateAtTime(*b, 1 * 160, mesh, false);
  EXPECT_GT(mesh.getNumFaces(), 0);
  EXPECT_TRUE(vorel::host::PromptLog().empty());
  vorel_gpufe::UpdateAtTime(*b, 3 * 160, mesh, false);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "Frame 3 of cache '" + b->cache.cacheName +
                "' is not solved: the solve stopped at frame 2 (the solver ended with exit code 1); nothing is "
                "shown for it");
}

}  // namespace
