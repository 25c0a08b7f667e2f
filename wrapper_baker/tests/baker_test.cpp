#include <cmath>
#include <cstring>

#include <fstream>

#include "fluid_core/frame_cache.h"
#include "fluid_core/solver.h"
#include "gpu_solver/solver_formats.h"
#include "host/core/interaction.h"
#include "host/ui/script.h"
#include "mesher/mesh_record.h"
#include "mesher/surface_builder.h"
#include "test_support.h"

using namespace vorbaker;

namespace {

// Writes particle frame `frame` of a main plug-in cache folder through a
// solver's own cache, as the fluid system does; positions in solver units.
void WriteParticleFrame(const std::string& folder, int frame, const std::vector<Point3>& pos, float ppuv) {
  FluidSolver solver(ppuv, 1000.0f, 1.0f / 30.0f);
  solver.particles.resize(pos.size());
  for (size_t i = 0; i < pos.size(); ++i) solver.particles[i].pos = Vec3f(pos[i].x, pos[i].y, pos[i].z);
  solver.frameCache.folderOverride = folder + "/";
  ASSERT_GT(solver.frameCache.WriteFrame(frame, int(pos.size()), 0, ppuv, solver), 0);
}

MeshRecord Triangle(float z) {
  MeshRecord m;
  m.vertices = {Point3(0.0f, 0.0f, z), Point3(1.0f, 0.0f, z), Point3(0.0f, 1.0f, z)};
  m.secondVertices.assign(3, Point3());
  m.faces = {{0, 1, 2}};
  return m;
}

void WriteMeshFrame(const std::string& folder, int frame, const MeshRecord& m) {
  std::filesystem::create_directories(folder + "/surface");
  char name[32];
  std::snprintf(name, sizeof name, "/surface/m%05d.bin", frame);
  ASSERT_TRUE(m.WriteSurfaceCache(folder + name, frame, 0));
}

std::vector<Point3> Block(int n, float spacing, Point3 origin) {
  std::vector<Point3> v;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k)
        v.push_back(origin + Point3(float(i), float(j), float(k)) * spacing);
  return v;
}

class BakerTest : public wrapper_test::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    b = static_cast<BlobNode*>(GetBlobNodeDesc()->Create(false));
    node = ip->CreateObjectNode(b, "baker");
    folder = scratch / "cache";
    std::filesystem::create_directories(folder);
  }
  BlobNode* b = nullptr;
  INode* node = nullptr;
  std::string folder;
};

}  // namespace

TEST(BakerReplayFrame, OffsetThenSpeedTruncatedAtLeastZero) {
  struct Case {
    const char* what;
    TimeValue t;
    int offset;
    float speed;
    int want;
  } cases[] = {
      {"plain", 7 * 160, 0, 100.0f, 7},     {"half speed", 10 * 160, 0, 50.0f, 5},
      {"offset", 2 * 160, 3, 100.0f, 0},    {"offset inside", 10 * 160, 3, 100.0f, 7},
      {"truncated", 3 * 160, 0, 50.0f, 1},  {"backwards", 10 * 160, 0, -100.0f, 0},
      {"between frames", 7 * 160 + 80, 0, 100.0f, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplayFrame(c.t, 160, c.offset, c.speed), c.want) << c.what;
}

TEST(BakerCacheReader, FoldersAndHeader) {
  BakerCacheReader r;
  r.systemName = "Pour";
  EXPECT_EQ(r.ParticleFolder(), "c:\\temp/Vorel/Pour/");
  r.explicitFolder = "/x/y/";
  EXPECT_EQ(r.ParticleFolder(), "/x/y/");
  EXPECT_EQ(r.SurfaceFolder(), "/x/y/surface/");

  wrapper_test::ScratchDir dir;
  r.explicitFolder = dir.path() + "/";
  WriteParticleFrame(dir.path(), 3, {Point3(1, 2, 3), Point3(4, 5, 6)}, 27.0f);
  int32_t stamp = -1, count = -1;
  float ppuv = 0.0f;
  ASSERT_TRUE(r.ReadFrameHeader(3, stamp, count, ppuv));
  EXPECT_EQ(stamp, 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ppuv, 27.0f);
  EXPECT_FALSE(r.ReadFrameHeader(4, stamp, count, ppuv));
  std::vector<Point3> pos;
  ASSERT_EQ(r.ReadFramePositions(3, pos), 2);
  EXPECT_FLOAT_EQ(pos[1].x, 4.0f);
  EXPECT_FLOAT_EQ(pos[1].z, 6.0f);
  EXPECT_EQ(r.ReadFramePositions(4, pos), -1);
  EXPECT_TRUE(pos.empty());
}

TEST_F(BakerTest, EmptyCachePathLeavesTheMeshAlone) {
  Mesh m;
  m.setNumVerts(3);
  m.setNumFaces(1);
  b->UpdateFromCache(0, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 1);
  EXPECT_EQ(m.getNumVerts(), 3);
}

TEST_F(BakerTest, StoredMeshesComeWithTheirTextureCoordinates) {
  WriteMeshFrame(folder, 2, Triangle(5.0f));
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  Mesh m;
  b->UpdateFromCache(2 * 160, m, 8.0f, false);
  ASSERT_EQ(m.getNumFaces(), 1);
  EXPECT_EQ(m.getNumVerts(), 3);
  EXPECT_EQ(m.getNumTVerts(), 3);
  EXPECT_EQ(m.faces[0].v[1], 1u);
  EXPECT_FLOAT_EQ(m.verts[1].x, 1.0f);
  EXPECT_FLOAT_EQ(m.verts[1].z, 5.0f);
  // A frame without a stored mesh shows nothing rather than the last one.
  b->UpdateFromCache(3 * 160, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
}

TEST_F(BakerTest, DamagedStoredMeshesAreSaidAndNotShown) {
  MeshRecord bad = Triangle(0.0f);
  bad.faces = {{0, 1, 7}};
  WriteMeshFrame(folder, 0, bad);
  MeshRecord nan = Triangle(0.0f);
  nan.vertices[1].y = std::nanf("");
  WriteMeshFrame(folder, 1, nan);
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  Mesh m;
  vorel::host::ClearPromptLog();
  b->UpdateFromCache(0, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
  EXPECT_EQ(m.getNumVerts(), 0);
  b->UpdateFromCache(160, m, 8.0f, false);
  EXPECT_EQ(m.getNumVerts(), 0);
  ASSERT_EQ(vorel::host::PromptLog().size(), 2u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "VorBaker: the stored surface of frame 0 is damaged (surface mesh file has a face index out of range); "
            "nothing shown");
  EXPECT_EQ(vorel::host::PromptLog()[1].text,
            "VorBaker: the stored surface of frame 1 is damaged (surface mesh file has a value that is no finite "
            "number); nothing shown");
}

TEST_F(BakerTest, GeneratedSurfaceSkipsParticlesAtTheOrigin) {
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  b->pblock->SetValue(kGenerateSurface, 0, 1);
  WriteParticleFrame(folder, 0, Block(3, 0.5f, Point3(2, 2, 2)), 8.0f);
  Mesh m;
  b->UpdateFromCache(0, m, 8.0f, false);
  EXPECT_GT(m.getNumFaces(), 0);
  EXPECT_EQ(b->Builder().Count(), 27);

  WriteParticleFrame(folder, 1, std::vector<Point3>(20, Point3(0, 0, 0)), 8.0f);
  b->UpdateFromCache(160, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
  EXPECT_EQ(b->Builder().Count(), 20);
}

// A frame as the fluid system's engine writes it (its solver's live count,
// stamp and density): the baker reads its header and meshes its particles
// as the mesher meshes them itself. A bare cache's frame (another tag) is
// no frame of a fluid system and shows nothing.
TEST_F(BakerTest, GeneratesTheSurfaceOfTheFramesTheFluidSystemWrites) {
  const std::vector<Point3> block = Block(5, 1.0f / 6.0f, Point3(0.2f, -0.3f, 0.5f));
  {
    FluidSolver solver(216.0, 1000.0f, 1.0f / 30.0f);
    solver.frameCache.folderOverride = folder + "/";
    solver.particles.resize(block.size());
    for (size_t i = 0; i < block.size(); ++i) solver.particles[i].pos = Vec3f(block[i].x, block[i].y, block[i].z);
    solver.count = int32_t(block.size());
    solver.stamp = 77;
    ASSERT_GT(solver.WriteFrame(2), 0);
  }
  BakerCacheReader r;
  r.explicitFolder = folder + "/";
  int32_t stamp = 0, count = 0;
  float ppuv = 0.0f;
  ASSERT_TRUE(r.ReadFrameHeader(2, stamp, count, ppuv));
  EXPECT_EQ(stamp, 77);
  EXPECT_EQ(count, int32_t(block.size()));
  EXPECT_FLOAT_EQ(ppuv, 216.0f);

  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  b->pblock->SetValue(kGenerateSurface, 0, 1);
  Mesh m;
  b->UpdateFromCache(2 * 160, m, 8.0f, false);
  SurfaceBuilder own(216.0f);
  own.groupJoin = kGroupJoinWrapper;
  own.BeginParticles(int32_t(block.size()), 1.6f);
  for (const Point3& p : block) own.AddParticle(p, 0, 1.0f, 0);
  const MeshRecord& want = own.Build(3.0f / 9.0f, 4.0f, 0.4f, 0.66f, 0, 2000);
  ASSERT_GT(want.FaceCount(), 0);
  EXPECT_EQ(m.getNumFaces(), want.FaceCount());
  EXPECT_EQ(m.getNumVerts(), want.VertexCount());

  FluidSolver other(216.0, 1000.0f, 1.0f / 30.0f);
  FrameCache bare;
  bare.folderOverride = folder + "/";
  other.particles.resize(block.size());
  for (size_t i = 0; i < block.size(); ++i) other.particles[i].pos = Vec3f(block[i].x, block[i].y, block[i].z);
  ASSERT_GT(bare.WriteFrame(3, int(block.size()), 0, 216.0, other), 0);
  EXPECT_FALSE(r.ReadFrameHeader(3, stamp, count, ppuv));
  b->UpdateFromCache(3 * 160, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
}

// A cache of the GPU route holds the GPU solver's frames (its own tag and
// layout, solver units): they are meshed in host units, converted as the GPU
// front-end converts them, like the fluid system's frame of the same
// particles. A file that is neither, and a time before the first frame, are
// said rather than shown as an empty mesh without a word.
TEST_F(BakerTest, GeneratesFromGpuFramesAndSaysWhyNothingShows) {
  // Dyadic positions: 20 times each is exact.
  const std::vector<Point3> solverBlock = Block(4, 1.0f / 64.0f, Point3(1.0f, 1.0f, 1.0f) / 32.0f);
  std::vector<Point3> block;
  for (const Point3& p : solverBlock) block.push_back(p * 20.0f);
  const float ppuv = std::pow(64.0f, 1.0f / 0.333f);
  const float spacing = vorel_gpu::HostParticleSpacing(ppuv);
  EXPECT_NEAR(spacing, 0.3125f, 1e-4f);
  WriteParticleFrame(folder, 1, block, 1.0f / (spacing * spacing * spacing));
  std::string gpu(272, '\0');
  const uint32_t tag = 0x6DD41E00u;
  const int32_t n = int32_t(solverBlock.size());
  std::memcpy(&gpu[0], &tag, 4);
  std::memcpy(&gpu[8], &n, 4);
  std::memcpy(&gpu[12], &ppuv, 4);
  for (int32_t i = 0; i < n; ++i) gpu.append(reinterpret_cast<const char*>(&i), 4);
  for (const Point3& p : solverBlock) gpu.append(reinterpret_cast<const char*>(&p.x), 12);
  gpu.append(size_t(n) * 12, '\0');
  std::ofstream(folder + "/00002.Vorel", std::ios::binary) << gpu;
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  b->pblock->SetValue(kGenerateSurface, 0, 1);
  Mesh fluid, fromGpu;
  b->UpdateFromCache(1 * 160, fluid, 8.0f, false);
  b->UpdateFromCache(2 * 160, fromGpu, 8.0f, false);
  ASSERT_GT(fluid.getNumFaces(), 0);
  ASSERT_EQ(fromGpu.getNumVerts(), fluid.getNumVerts());
  EXPECT_EQ(fromGpu.getNumFaces(), fluid.getNumFaces());
  for (int v = 0; v < fluid.getNumVerts(); v += 7) {
    EXPECT_NEAR(fromGpu.verts[size_t(v)].x, fluid.verts[size_t(v)].x, 1e-3f) << v;
    EXPECT_NEAR(fromGpu.verts[size_t(v)].z, fluid.verts[size_t(v)].z, 1e-3f) << v;
  }

  vorel::host::ClearPromptLog();
  std::ofstream(folder + "/00003.Vorel", std::ios::binary) << std::string(300, 'x');
  Mesh m;
  b->UpdateFromCache(3 * 160, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, "VorBaker: frame 3 is no particle frame of a fluid system; nothing shown");

  b->pblock->SetValue(kPlaybackSpeed, 0, -100.0f);
  b->UpdateFromCache(5 * 160, m, 8.0f, false);
  ASSERT_EQ(vorel::host::PromptLog().size(), 2u);
  EXPECT_EQ(vorel::host::PromptLog()[1].text,
            "VorBaker: playback speed -100% and offset 0 land before the cache's first frame; frame 0 is shown");
}

// A whole frame holding a density or a position that no solver writes is
// damaged: it is said, and no surface is meshed at a stand-in density.
TEST_F(BakerTest, MissingFrameShowsNothingAndDamagedFramesAreSaid) {
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  b->pblock->SetValue(kGenerateSurface, 0, 1);
  Mesh m;
  vorel::host::ClearPromptLog();
  b->UpdateFromCache(5 * 160, m, 8.0f, false);  // no frame file
  EXPECT_EQ(m.getNumFaces(), 0);
  EXPECT_NEAR(b->Builder().h, 1.0f / std::cbrt(12.0f), 1e-5f);
  EXPECT_TRUE(vorel::host::PromptLog().empty());
  const std::vector<Point3> block = Block(3, 0.4f, Point3(1, 1, 1));
  struct Case {
    float ppuv;
    Point3 last;
  };
  const float nan = std::nanf("");
  int frame = 6;
  for (const Case& c : {Case{0.0f, block.back()}, Case{-3.0f, block.back()}, Case{nan, block.back()},
                        Case{1e-30f, block.back()}, Case{1e30f, block.back()}, Case{64.0f, Point3(1.0f, nan, 1.0f)},
                        Case{64.0f, Point3(1.0f, 1.0f, 1e30f)}}) {
    std::vector<Point3> pos = block;
    pos.back() = c.last;
    WriteParticleFrame(folder, frame, pos, c.ppuv);
    vorel::host::ClearPromptLog();
    b->UpdateFromCache(frame * 160, m, 8.0f, false);
    EXPECT_EQ(m.getNumFaces(), 0) << frame;
    ASSERT_EQ(vorel::host::PromptLog().size(), 1u) << frame;
    EXPECT_EQ(vorel::host::PromptLog()[0].text,
              "VorBaker: frame " + std::to_string(frame) +
                  " is damaged (a particle out of any scene, or no particle density); nothing shown");
    ++frame;
  }
  // The GPU solver's frames by the same rule.
  std::string gpu(272, '\0');
  const uint32_t tag = 0x6DD41E00u;
  const int32_t n = int32_t(block.size());
  std::memcpy(&gpu[0], &tag, 4);
  std::memcpy(&gpu[8], &n, 4);
  for (int32_t i = 0; i < n; ++i) gpu.append(reinterpret_cast<const char*>(&i), 4);
  for (const Point3& p : block) gpu.append(reinterpret_cast<const char*>(&p.x), 12);
  gpu.append(size_t(n) * 12, '\0');
  std::ofstream(folder + "/00020.Vorel", std::ios::binary) << gpu;  // particles per volume 0
  vorel::host::ClearPromptLog();
  b->UpdateFromCache(20 * 160, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "VorBaker: frame 20 is damaged (a particle out of any scene, or no particle density); nothing shown");
}

TEST_F(BakerTest, ViewportSkipsTheFrameItShowsUntilAParameterChanges) {
  WriteMeshFrame(folder, 1, Triangle(1.0f));
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  Mesh m;
  b->UpdateFromCache(160, m, 8.0f, true);
  ASSERT_EQ(m.getNumFaces(), 1);
  EXPECT_EQ(b->LastBuiltFrame(), 1);
  m.setNumFaces(0);  // a rebuild would bring the face back
  b->UpdateFromCache(160 + 50, m, 8.0f, true);
  EXPECT_EQ(m.getNumFaces(), 0);
  b->pblock->SetValue(kShrinkWrap, 0, 0.5f);
  EXPECT_EQ(b->LastBuiltFrame(), -1);
  b->UpdateFromCache(160 + 50, m, 8.0f, true);
  EXPECT_EQ(m.getNumFaces(), 1);
}

TEST_F(BakerTest, RenderBuildDoesNotStopTheViewportFromCatchingUp) {
  WriteMeshFrame(folder, 0, Triangle(0.0f));
  WriteMeshFrame(folder, 4, MeshRecord());
  MeshRecord two = Triangle(0.0f);
  two.vertices.push_back(Point3(1, 1, 0));
  two.secondVertices.push_back(Point3());
  two.faces.push_back({1, 3, 2});
  WriteMeshFrame(folder, 4, two);
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  Mesh viewport, render;
  b->UpdateFromCache(0, viewport, 8.0f, true);
  ASSERT_EQ(viewport.getNumFaces(), 1);
  b->UpdateFromCache(4 * 160, render, 8.0f, false);
  ASSERT_EQ(render.getNumFaces(), 2);
  b->UpdateFromCache(4 * 160, viewport, 8.0f, true);
  EXPECT_EQ(viewport.getNumFaces(), 2);
}

TEST_F(BakerTest, DisableAndHide) {
  WriteMeshFrame(folder, 0, Triangle(0.0f));
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  b->pblock->SetValue(kHideInViewports, 0, 1);
  Mesh m;
  b->UpdateFromCache(0, m, 8.0f, true);
  EXPECT_EQ(m.getNumFaces(), 0);
  b->UpdateFromCache(0, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 1);
  b->pblock->SetValue(kDisable, 0, 1);
  b->UpdateFromCache(0, m, 8.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
}

TEST_F(BakerTest, MeshesStayInWorldSpaceWhereverTheNodeIs) {
  WriteMeshFrame(folder, 0, Triangle(0.0f));
  b->pblock->SetValue(kCachePath, 0, folder.c_str());
  Matrix3 tm;
  tm.SetTrans(Point3(0, 0, 10));
  node->SetNodeTM(0, tm);
  Mesh m;
  b->UpdateFromCache(0, m, 8.0f, false);
  ASSERT_EQ(m.getNumVerts(), 3);
  EXPECT_FLOAT_EQ(m.verts[0].z, -10.0f);
}

TEST_F(BakerTest, BrowseStoresTheChosenFolder) {
  ip->BeginEditParams(b);
  HWND dlg = vorel_ui::FindDialog("#101");
  ASSERT_NE(dlg, nullptr);
  vorel_ui::QueueDirectoryAnswer(folder);
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(dlg, kBrowseButton)));
  EXPECT_EQ(std::string(b->pblock->GetStr(kCachePath)), folder);
  EXPECT_EQ(vorel_ui::FileDialogLog().back().title, "Select cache directory.");
}

TEST_F(BakerTest, CreationClicksMakeOneBakerUntilItIsDrawn) {
  const int before = ip->NodeCount();
  GetBlobNodeDesc()->BeginCreate(ip);
  GetBlobNodeDesc()->BeginCreate(ip);
  EXPECT_EQ(ip->NodeCount(), before + 1);
  INode* made = ip->GetINodeByName("VorBaker_");
  ASSERT_NE(made, nullptr);
  static_cast<BlobNode*>(made->GetObjectRef())->Display(0, made, ip->GetActiveViewport(), 0);
  EXPECT_EQ(ip->GetStdCommandMode(), 6);
  GetBlobNodeDesc()->BeginCreate(ip);
  EXPECT_EQ(ip->NodeCount(), before + 2);
  made = ip->AllNodes().back();
  static_cast<BlobNode*>(made->GetObjectRef())->Display(0, made, ip->GetActiveViewport(), 0);
}
