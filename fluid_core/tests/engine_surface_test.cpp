// Surface mesh files of stored frames and the render mesh of what the
// sources show.
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>

#include "engine_test_util.h"
#include "mesher/mesh_record.h"

using engine_test::EngineTest;
using solver_test::Put;

namespace {
// A ball of particles of radius 0.6 (spacing 1/6) around c, source s.
void Ball(FluidSolver& solver, Vec3f c, int source) {
  const float a = 1.0f / 6.0f;
  for (int i = -4; i <= 4; ++i)
    for (int j = -4; j <= 4; ++j)
      for (int k = -4; k <= 4; ++k) {
        Vec3f p(i * a, j * a, k * a);
        if (Vec3Length(p) > 0.6f) continue;
        int slot = Put(solver, c + p, a);
        solver.particles[size_t(slot)].sourceIndex = source;
      }
}
void Store(FluidEngine& e, int n) {
  e.frameParticleCount[n] = e.solver->count;
  e.SaveFrame(n);
}
size_t VertexCountOf(FluidEngine& e, int n) {
  MeshFrameData d;
  return ReadMeshFrameFile(e.solver->frameCache.MeshPath(n), d) == MeshFileStatus::Ok ? d.vertices.size() : 0;
}
}  // namespace

TEST_F(EngineTest, SurfaceFramesSkipParkedParticlesAndListSourcesPerVertex) {
  auto e = MakeEngine();
  Ball(*e->solver, Vec3f(2, 0, 1), 0);
  Ball(*e->solver, Vec3f(-2, 0, 1), 3);
  for (int k = 0; k < 30; ++k) Put(*e->solver, Vec3f());  // parked at the origin
  // A ball of source 1 that outlived its source's life.
  while (e->solver->sources.size() < 4) e->solver->AddSource(Vec3f());
  e->solver->sources[1]->lifeFrames = 5;
  const int expiredFrom = e->solver->count;
  Ball(*e->solver, Vec3f(0, 3, 1), 1);
  for (int k = expiredFrom; k < e->solver->count; ++k) e->solver->particles[size_t(k)].age = 6;
  Store(*e, 4);
  ASSERT_TRUE(e->BuildSurfaceFrame(4));
  MeshFrameData d;
  ASSERT_EQ(ReadMeshFrameFile(e->solver->frameCache.MeshPath(4), d), MeshFileStatus::Ok);
  ASSERT_GT(d.vertices.size(), 20u);
  for (const Point3& v : d.vertices) {
    EXPECT_GT(std::fabs(v.x), 0.8f) << "a vertex near the parked particles";
    EXPECT_LT(v.y, 2.0f) << "a vertex of the expired particles";
  }
  EXPECT_EQ(d.stamp, e->solver->stamp);
  std::set<int> sources;
  for (const auto& list : e->vertexSources)
    for (const VertexInfluence& vi : list) sources.insert(vi.particle);
  EXPECT_EQ(sources, (std::set<int>{0, 3}));
  EXPECT_EQ(e->surfaceCacheBytes, double(vorel::host::FileSize(e->solver->frameCache.MeshPath(4))));
  EXPECT_EQ(e->frameMeshed[4], 0);  // the caller records it
  // Meshed again (a parameter change): the frame still counts once.
  ASSERT_TRUE(e->BuildSurfaceFrame(4));
  EXPECT_EQ(e->surfaceCacheBytes, double(vorel::host::FileSize(e->solver->frameCache.MeshPath(4))));
}

TEST_F(EngineTest, TheFrameJustWrittenMeshesAsItsFileDoesUntilTheFileIsReplaced) {
  auto e = MakeEngine();
  Ball(*e->solver, Vec3f(2, 0, 1), 0);
  Store(*e, 3);
  auto meshBytes = [&]() {
    std::ifstream in(e->solver->frameCache.MeshPath(3), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  ASSERT_TRUE(e->BuildSurfaceFrame(3));  // from the bytes just written
  const std::vector<char> written = meshBytes();
  ASSERT_TRUE(e->BuildSurfaceFrame(3));  // from the file
  EXPECT_EQ(meshBytes(), written);
  ASSERT_GT(VertexCountOf(*e, 3), 20u);

  // Written again by another hand after the engine wrote it: the file wins.
  Store(*e, 3);
  for (int i = 0; i < e->solver->count; ++i) e->solver->particles[size_t(i)].pos.y += 5.0f;
  ASSERT_GT(e->solver->WriteFrame(3), 0);
  ASSERT_TRUE(e->BuildSurfaceFrame(3));
  MeshFrameData d;
  ASSERT_EQ(ReadMeshFrameFile(e->solver->frameCache.MeshPath(3), d), MeshFileStatus::Ok);
  ASSERT_FALSE(d.vertices.empty());
  for (const Point3& v : d.vertices) EXPECT_GT(v.y, 3.0f);

  // A frame that a read would refuse (a velocity not a number) gives no
  // surface from the bytes either.
  e->solver->particles[0].vel.x = NAN;
  Store(*e, 5);
  EXPECT_FALSE(e->BuildSurfaceFrame(5));
  EXPECT_LT(vorel::host::FileSize(e->solver->frameCache.MeshPath(5)), 0);
}

TEST_F(EngineTest, AFrameThatCannotBeReadGivesNoSurface) {
  auto e = MakeEngine();
  EXPECT_FALSE(e->BuildSurfaceFrame(6));
  EXPECT_LT(vorel::host::FileSize(e->solver->frameCache.MeshPath(6)), 0);
  // An older surface file of that frame is still counted.
  solver_test::WriteAll(e->solver->frameCache.MeshPath(6), std::vector<unsigned char>(50, 0));
  EXPECT_FALSE(e->BuildSurfaceFrame(6));
  EXPECT_EQ(e->surfaceCacheBytes, 50.0);
  EXPECT_FALSE(e->BuildSurfaceFrame(10000));
}

TEST_F(EngineTest, SurfaceParametersAreReadAtTheFramesOwnHostTime) {
  GetCOREInterface()->SetAnimRange(Interval(10 * 160, 100 * 160));
  auto e = MakeEngine();
  ASSERT_EQ(e->startFrame, 10);
  Ball(*e->solver, Vec3f(0, 0, 1), 0);
  Store(*e, 5);
  IParamBlock2* pb = owner.block.get();
  pb->SetValue(kFluidSurfaceLod, 0, 0.0f);
  ASSERT_TRUE(e->BuildSurfaceFrame(5));
  const size_t coarse = VertexCountOf(*e, 5);
  pb->SetValue(kFluidSurfaceLod, 0, 8.0f);
  ASSERT_TRUE(e->BuildSurfaceFrame(5));
  const size_t fine = VertexCountOf(*e, 5);
  ASSERT_NE(coarse, fine);
  // Coarse until host frame 15, fine from there: frame 5 is read at 5 x T.
  pb->SetKey(kFluidSurfaceLod, 0, 0.0f);
  pb->SetKey(kFluidSurfaceLod, 15 * 160, 8.0f);
  ASSERT_TRUE(e->BuildSurfaceFrame(5));
  EXPECT_EQ(VertexCountOf(*e, 5), coarse);
}

TEST_F(EngineTest, TheRenderMeshHoldsTheBornParticlesInTheSystemsSpace) {
  auto e = MakeEngine();
  Mesh empty;
  e->BuildRenderMesh(0, empty);
  EXPECT_EQ(empty.getNumVerts(), 0);
  EXPECT_EQ(empty.getNumFaces(), 0);

  ASSERT_TRUE(e->CreateSource());
  auto* s = SourceOf(*e, 0);
  const float a = 20.0f / 6.0f;  // host units
  for (int i = -3; i <= 3; ++i)
    for (int j = -3; j <= 3; ++j)
      for (int k = -3; k <= 3; ++k) {
        s->shown.push_back(Point3(40.0f + i * a, j * a, k * a));
        s->shownAges.push_back(0);
      }
  // Not yet born: far away, must not appear.
  s->shown.push_back(Point3(-200, 0, 0));
  s->shownAges.push_back(-1);
  INode* sys = GetCOREInterface()->CreateObjectNode(CreateNewTriObject(), "system");
  Matrix3 tm;
  tm.SetTrans(Point3(10, 0, 0));
  sys->SetNodeTM(0, tm);
  e->systemNode = sys;
  Mesh mesh;
  e->BuildRenderMesh(0, mesh);
  ASSERT_GT(mesh.getNumVerts(), 20);
  ASSERT_EQ(mesh.getNumTVerts(), mesh.getNumVerts());
  ASSERT_EQ(mesh.getNumTVFaces(), mesh.getNumFaces());
  for (int v = 0; v < mesh.getNumVerts(); ++v) {
    EXPECT_GT(mesh.verts[size_t(v)].x, 10.0f);  // near host x 40, less the node's 10
    EXPECT_LT(mesh.verts[size_t(v)].x, 50.0f);
    EXPECT_EQ(mesh.tVerts[size_t(v)], mesh.verts[size_t(v)]);
  }
  for (const Face& f : mesh.faces) EXPECT_EQ(f.flags & 7u, 7u);
}
