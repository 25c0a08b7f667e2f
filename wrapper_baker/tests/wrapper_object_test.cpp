#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include "host/core/interaction.h"
#include "host/ui/script.h"
#include "host/ui/user.h"
#include "mesher/mesh_record.h"
#include "test_support.h"
#include "wrapper_baker/pelliqor/wrapper_cache.h"

using namespace pelliqor;
using wrapper_test::Exists;

namespace {

std::vector<ScriptedParticle> Cluster(float x0, int n) {
  std::vector<ScriptedParticle> v;
  for (int i = 0; i < n; ++i) {
    ScriptedParticle p;
    p.pos = Point3(x0 + 2.0f * float(i % 3), 2.0f * float((i / 3) % 3), 2.0f * float(i / 9));
    p.born = i;
    v.push_back(p);
  }
  return v;
}

class WrapperTest : public wrapper_test::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    ps = NewClassic("spray", &psNode);
    ps->SetParticlesAt(0, Cluster(0.0f, 12));
    w = NewWrapper(&wNode);
    w->addNode(psNode);
  }
  std::string Instance() const { return scratch / "default"; }

  ScriptedParticleObject* ps = nullptr;
  INode* psNode = nullptr;
  BlobNode* w = nullptr;
  INode* wNode = nullptr;
};

}  // namespace

TEST(WrapperTimeMapping, MappedFrameCurrentFrameAndCacheFrame) {
  const Interval range(0, 100 * 160);
  struct Case {
    const char* what;
    TimeValue t;
    float scale, offset;
    int mapped, current, cache;
  } cases[] = {
      {"identity", 10 * 160, 1.0f, 0.0f, 10, 10, 10},
      {"double speed", 10 * 160, 2.0f, 0.0f, 20, 10, 20},
      {"offset below start", 2 * 160, 1.0f, -5.0f, 0, 2, 0},
      {"offset in frames", 2 * 160, 1.0f, 3.0f, 5, 2, 5},
      {"negative scale", 10 * 160, -1.0f, 0.0f, 0, 10, 0},
      {"last frame of the range keeps its own files", 100 * 160, 1.0f, 0.0f, 100, 100, 100},
      {"wraps past the range", 10 * 160, 20.0f, 0.0f, 200, 10, 200 % 101},
  };
  for (const Case& c : cases) {
    const CacheFrames f = MapCacheFrames(c.t, c.scale, c.offset, 160, range);
    EXPECT_EQ(f.mapped, c.mapped) << c.what;
    EXPECT_EQ(f.current, c.current) << c.what;
    EXPECT_EQ(f.cacheFrame, c.cache) << c.what;
  }
  // A range of one frame never divides by zero.
  EXPECT_EQ(MapCacheFrames(5 * 160, 1.0f, 0.0f, 160, Interval(0, 0)).cacheFrame, 0);
}

TEST_F(WrapperTest, SurfaceWrapsTheParticlesInTheNodesFrame) {
  Matrix3 tm;
  tm.SetTrans(Point3(10.0f, 0.0f, 0.0f));
  wNode->SetNodeTM(0, tm);
  Mesh m;
  w->UpdateSurface(0, m, 12.0f, false);
  ASSERT_GT(m.getNumFaces(), 0);
  EXPECT_EQ(m.getNumTVerts(), m.getNumVerts());
  EXPECT_EQ(m.getNumTVFaces(), m.getNumFaces());
  EXPECT_EQ(m.getNumFaces(), w->Builder().mesh.FaceCount());
  const Point3 built = w->Builder().mesh.vertices[0];
  EXPECT_FLOAT_EQ(m.verts[0].x, built.x - 10.0f);
  EXPECT_FLOAT_EQ(m.tVerts[0].x, m.verts[0].x);
  EXPECT_EQ(m.faces[0].flags & 7u, 7u);
  // No cache switch: no folder.
  EXPECT_FALSE(Exists(Instance()));
}

TEST_F(WrapperTest, DisableEmptiesBothBuildsHideOnlyTheViewport) {
  Mesh m;
  w->pblock->SetValue(kHideInViewports, 0, 1);
  w->UpdateSurface(0, m, 12.0f, true);
  EXPECT_EQ(m.getNumFaces(), 0);
  w->UpdateSurface(0, m, 12.0f, false);
  EXPECT_GT(m.getNumFaces(), 0);
  w->pblock->SetValue(kDisable, 0, 1);
  w->UpdateSurface(0, m, 12.0f, false);
  EXPECT_EQ(m.getNumFaces(), 0);
  EXPECT_EQ(m.getNumVerts(), 0);
}

TEST_F(WrapperTest, CachesAreWrittenAtTheCurrentFrameAndReadBack) {
  w->pblock->SetValue(kUseCache, 0, 1);
  w->pblock->SetValue(kUsePartCache, 0, 1);
  Mesh first;
  w->UpdateSurface(0, first, 12.0f, false);
  ASSERT_TRUE(Exists(Instance() + "/m00000.bin"));
  ASSERT_TRUE(Exists(Instance() + "/p00000.ern"));
  EXPECT_EQ(wrapper_test::ReadBytes(Instance() + "/p00000.ern").size(), 264u + 21u * 12u);

  // With the surface cache whole, nothing is gathered.
  const int updates = ps->UpdateCount();
  Mesh again;
  w->UpdateSurface(0, again, 12.0f, false);
  EXPECT_EQ(ps->UpdateCount(), updates);
  ASSERT_EQ(again.getNumFaces(), first.getNumFaces());
  for (int v = 0; v < again.getNumVerts(); ++v) EXPECT_EQ(again.verts[size_t(v)].z, first.verts[size_t(v)].z);

  // Without it, the particle cache stands in for the gathering.
  std::remove((Instance() + "/m00000.bin").c_str());
  w->UpdateSurface(0, again, 12.0f, false);
  EXPECT_EQ(ps->UpdateCount(), updates);
  EXPECT_EQ(again.getNumFaces(), first.getNumFaces());
}

// An export directory cleared by the user (or a registry key without its
// value) leaves the caches off for this build, with a word, once.
TEST_F(WrapperTest, EmptyExportDirectoryCachesNothingAndSaysSo) {
  w->pblock->SetValue(kExportDirectory, 0, "");
  w->pblock->SetValue(kUseCache, 0, 1);
  w->pblock->SetValue(kUsePartCache, 0, 1);
  vorel::host::ClearPromptLog();
  Mesh m;
  w->UpdateSurface(0, m, 12.0f, false);
  EXPECT_GT(m.getNumFaces(), 0);
  w->UpdateSurface(0, m, 12.0f, false);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "Pelliqor: no export directory is set; caches are neither read nor written");
  w->FlushCaches("*.bin");  // nothing to flush, nowhere
}

// The name is one folder in the export directory: set or loaded, any other
// is refused with a word, and Flush never reaches the user's own files.
TEST_F(WrapperTest, NameThatLeavesTheExportDirectoryIsRefused) {
  wrapper_test::WriteBytes(scratch / "keep.bin", {1});
  wrapper_test::WriteBytes(scratch / "keep.ern", {1});
  w->pblock->SetValue(kName, 0, "take2");
  for (const char* bad : {"..", ".", "", "a/b", "a\\b"}) {
    vorel::host::ClearPromptLog();
    w->pblock->SetValue(kName, 0, bad);
    EXPECT_EQ(std::string(w->pblock->GetStr(kName, 0)), "take2") << bad;
    ASSERT_EQ(vorel::host::PromptLog().size(), 1u) << bad;
    EXPECT_NE(vorel::host::PromptLog()[0].text.find("refused"), std::string::npos) << bad;
  }
  w->FlushCaches("*.bin");
  w->FlushCaches("*.ern");
  EXPECT_TRUE(Exists(scratch / "keep.bin"));
  EXPECT_TRUE(Exists(scratch / "keep.ern"));

  // "default" and "../../x" have the same length: the saved string is
  // swapped in place.
  w->pblock->SetValue(kName, 0, "default");
  const std::string scene = scratch / "wrap.scene";
  ASSERT_TRUE(ip->SaveToFile(scene)) << ip->LastFileError();
  std::vector<uint8_t> bytes = wrapper_test::ReadBytes(scene);
  const std::string from = "default", to = "../../x";
  auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
  ASSERT_NE(at, bytes.end());
  std::copy(to.begin(), to.end(), at);
  wrapper_test::WriteBytes(scene, bytes);
  vorel::host::ClearPromptLog();
  ASSERT_TRUE(ip->LoadFromFile(scene)) << ip->LastFileError();
  auto* loaded = dynamic_cast<BlobNode*>(ip->GetINodeByName("wrap")->GetObjectRef());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(std::string(loaded->pblock->GetStr(kName, 0)), "default");
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "Pelliqor: name '../../x' refused: the caches are one folder in the export directory; 'default' is kept");
}

// A cache that cannot be written says which file and why; the earlier
// whole file stays and no piece of the new one is left.
TEST_F(WrapperTest, FailedCacheWritesAreSaidAndKeepTheEarlierFiles) {
  w->pblock->SetValue(kUseCache, 0, 1);
  w->pblock->SetValue(kUsePartCache, 0, 1);
  // Earlier files the wrapper cannot read, so that both are written anew,
  // on a disk with no room left (a file size limit of 0 stands in for it and
  // holds for root too): neither can be written.
  const std::string parts = Instance() + "/p00000.ern", surface = Instance() + "/m00000.bin";
  std::filesystem::create_directories(Instance());
  wrapper_test::WriteBytes(parts, {1, 2, 3});
  wrapper_test::WriteBytes(surface, {4, 5, 6});
  vorel::host::ClearPromptLog();
  Mesh m;
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit full = old;
  full.rlim_cur = 0;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  w->UpdateSurface(0, m, 12.0f, false);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_GT(m.getNumFaces(), 0);
  EXPECT_EQ(wrapper_test::ReadBytes(parts), std::vector<uint8_t>({1, 2, 3}));
  EXPECT_EQ(wrapper_test::ReadBytes(surface), std::vector<uint8_t>({4, 5, 6}));
  ASSERT_EQ(vorel::host::PromptLog().size(), 2u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "Pelliqor: the particle cache " + parts + " could not be written (File too large); any earlier file stays");
  EXPECT_EQ(vorel::host::PromptLog()[1].text,
            "Pelliqor: the surface cache " + surface + " could not be written (File too large); any earlier file stays");
  for (const auto& e : std::filesystem::directory_iterator(Instance()))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(WrapperTest, MappedFramesReadOtherFilesButNeverWriteThem) {
  w->pblock->SetValue(kUseCache, 0, 1);
  w->pblock->SetValue(kTimeScale, 0, 2.0f);
  ip->SetTime(10 * 160, false);
  Mesh m;
  w->UpdateSurface(10 * 160, m, 12.0f, false);
  EXPECT_GT(m.getNumFaces(), 0);
  EXPECT_FALSE(Exists(Instance() + "/m00020.bin"));
  EXPECT_FALSE(Exists(Instance() + "/m00010.bin"));

  // A stored frame 20 is what frame 10 shows.
  MeshRecord tri;
  tri.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  tri.secondVertices.assign(3, Point3());
  tri.faces = {{0, 1, 2}};
  ASSERT_TRUE(tri.WriteSurfaceCache(Instance() + "/m00020.bin", 20, 0));
  w->UpdateSurface(10 * 160, m, 12.0f, false);
  EXPECT_EQ(m.getNumFaces(), 1);
}

TEST_F(WrapperTest, DamagedSurfaceCacheIsRebuiltFromParticles) {
  w->pblock->SetValue(kUseCache, 0, 1);
  Mesh m;
  w->UpdateSurface(0, m, 12.0f, false);
  const int faces = m.getNumFaces();
  std::vector<uint8_t> bytes = wrapper_test::ReadBytes(Instance() + "/m00000.bin");
  bytes.resize(bytes.size() / 2);
  wrapper_test::WriteBytes(Instance() + "/m00000.bin", bytes);
  const int updates = ps->UpdateCount();
  Mesh again;
  w->UpdateSurface(0, again, 12.0f, false);
  EXPECT_EQ(ps->UpdateCount(), updates + 1);
  EXPECT_EQ(again.getNumFaces(), faces);
}

TEST_F(WrapperTest, LastFrameOfTheRangeKeepsFrameZerosCache) {
  ip->SetAnimRange(Interval(0, 10 * 160));
  w->pblock->SetValue(kUseCache, 0, 1);
  Mesh m;
  w->UpdateSurface(0, m, 12.0f, false);
  const std::vector<uint8_t> frameZero = wrapper_test::ReadBytes(Instance() + "/m00000.bin");
  ps->SetParticlesAt(10 * 160, Cluster(50.0f, 5));
  w->UpdateSurface(10 * 160, m, 12.0f, false);
  EXPECT_TRUE(Exists(Instance() + "/m00010.bin"));
  EXPECT_EQ(wrapper_test::ReadBytes(Instance() + "/m00000.bin"), frameZero);
}

TEST_F(WrapperTest, StatisticsShowInTheOpenMainRollout) {
  ip->BeginEditParams(w);
  HWND main = vorel_ui::FindDialog("#101");
  ASSERT_NE(main, nullptr);
  Mesh m;
  w->UpdateSurface(0, m, 12.0f, false);
  char buf[64];
  GetDlgItemText(main, kParticlesText, buf, sizeof buf);
  EXPECT_STREQ(buf, "Number of Particles: 12");
  GetDlgItemText(main, kFacesText, buf, sizeof buf);
  EXPECT_EQ(std::string(buf), "Number of Faces: " + std::to_string(m.getNumFaces()));
  GetDlgItemText(main, kVersionText, buf, sizeof buf);
  EXPECT_STREQ(buf, "version: 1.0.15.422");
  ip->EndEditParams();
  // Closed rollouts are not written to.
  w->UpdateSurface(0, m, 12.0f, false);
}

TEST_F(WrapperTest, ConstructorTakesTheRegistryRootWhenTheKeyExists) {
  EXPECT_STREQ(static_cast<BlobNode*>(GetBlobNodeDesc()->Create(false))->pblock->GetStr(kExportDirectory),
               "C:\\temp");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Kestrane\\Pelliqor", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto* noValue = static_cast<BlobNode*>(GetBlobNodeDesc()->Create(false));
  EXPECT_STREQ(noValue->pblock->GetStr(kExportDirectory), "");
  const char value[] = "/srv/cache";
  RegSetValueExA(key, "dataPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
  auto* withValue = static_cast<BlobNode*>(GetBlobNodeDesc()->Create(false));
  EXPECT_STREQ(withValue->pblock->GetStr(kExportDirectory), "/srv/cache");
  EXPECT_EQ(theHold.NumSteps(), 1);  // only the addNode of SetUp
}

TEST_F(WrapperTest, CreationClicksMakeOneWrapperUntilItIsDrawn) {
  const int before = ip->NodeCount();
  ClassDesc2* cd = GetBlobNodeDesc();
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(ip->NodeCount(), before + 1);
  INode* made = ip->GetINodeByName("Pelliqor_");
  ASSERT_NE(made, nullptr);
  auto* obj = static_cast<BlobNode*>(made->GetObjectRef());
  EXPECT_EQ(obj->iconMesh.getNumVerts(), int(blob_skeleton::WrapperIcon().vertices.size()));
  obj->Display(0, made, ip->GetActiveViewport(), 0);
  EXPECT_EQ(ip->GetStdCommandMode(), 6);
  ip->SetStdCommandMode(0);
  obj->Display(0, made, ip->GetActiveViewport(), 0);
  EXPECT_EQ(ip->GetStdCommandMode(), 0);
  cd->BeginCreate(ip);
  EXPECT_EQ(ip->NodeCount(), before + 2);
  made = ip->AllNodes().back();
  static_cast<BlobNode*>(made->GetObjectRef())->Display(0, made, ip->GetActiveViewport(), 0);
}

TEST_F(WrapperTest, IconIsHitWithAnEmptySurfaceAndLimitsComeBack) {
  w->pblock->SetValue(kDisable, 0, 1);
  w->BuildIcon();
  ViewExp* vpt = ip->GetActiveViewport();
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  const Point2 s = vpt->WorldToScreen(blob_skeleton::WrapperIcon().vertices[0]);
  IPoint2 p{LONG(std::lround(s.x)), LONG(std::lround(s.y))};
  EXPECT_NE(w->HitTest(0, wNode, HITTYPE_POINT, 0, 0, &p, vpt), 0);
  EXPECT_EQ(gw->getRndLimits(), limits);
  IPoint2 far{2, 2};
  EXPECT_EQ(w->HitTest(0, wNode, HITTYPE_POINT, 0, 0, &far, vpt), 0);
  EXPECT_EQ(gw->getRndLimits(), limits);
}

TEST_F(WrapperTest, BoxModeDrawsNoIcon) {
  w->BuildIcon();
  ViewExp* vpt = ip->GetActiveViewport();
  GraphicsWindow* gw = vpt->getGW();
  gw->ClearRecords();
  w->Display(0, wNode, vpt, 0);
  const int withIcon = gw->CountRecords(DrawRecord::kMesh);
  gw->ClearRecords();
  gw->setRndMode(GW_BOX_MODE);
  w->Display(0, wNode, vpt, 0);
  EXPECT_EQ(gw->CountRecords(DrawRecord::kMesh), withIcon - 1);
  gw->setRndMode(0);
  const Point3 c = gw->getColor(TEXT_COLOR);
  EXPECT_LE(c.y, 1.0f);
}

TEST_F(WrapperTest, BoundsHoldTheTurnedIcon) {
  w->pblock->SetValue(kDisable, 0, 1);
  w->BuildIcon();
  // A turn of 45 degrees, where the box of two transformed corners leaves
  // parts of the icon out: the bounds hold every icon vertex.
  Matrix3 tm = RotateZMatrix(float(M_PI / 4.0));
  wNode->SetNodeTM(0, tm);
  Box3 box;
  w->GetWorldBoundBox(0, wNode, nullptr, box);
  const Box3 icon = w->iconMesh.getBoundingBox();
  Box3 want;
  for (int c = 0; c < 8; ++c)
    want += Point3(c & 1 ? icon.pmax.x : icon.pmin.x, c & 2 ? icon.pmax.y : icon.pmin.y,
                   c & 4 ? icon.pmax.z : icon.pmin.z) * tm;
  for (const Point3& v : w->iconMesh.verts) {
    const Point3 p = v * tm;
    EXPECT_TRUE(p.x >= box.pmin.x && p.x <= box.pmax.x && p.y >= box.pmin.y && p.y <= box.pmax.y);
  }
  EXPECT_FLOAT_EQ(box.pmin.x, want.pmin.x);
  EXPECT_FLOAT_EQ(box.pmax.x, want.pmax.x);
  EXPECT_FLOAT_EQ(box.pmin.y, want.pmin.y);
  EXPECT_FLOAT_EQ(box.pmax.y, want.pmax.y);
}

TEST_F(WrapperTest, CloneCopiesBlockAndIcon) {
  w->BuildIcon();
  w->pblock->SetValue(kDropSize, 0, 2.5f);
  RemapDir remap;
  auto* c = static_cast<BlobNode*>(w->Clone(remap));
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c->pblock, w->pblock);
  EXPECT_EQ(c->pblock->GetFloat(kDropSize), 2.5f);
  EXPECT_EQ(c->pblock->Count(kNodeList), 1);
  EXPECT_EQ(c->iconMesh.getNumFaces(), w->iconMesh.getNumFaces());
  c->DeleteThis();
}
