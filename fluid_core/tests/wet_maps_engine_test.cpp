// The engine's wet-map list: registration, resizing to the objects'
// settings, the repaint of one frame and the files it names.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fluid_core/engine.h"
#include "fluid_core/frame_cache.h"
#include "fluid_core/wet_maps.h"
#include "host/core/files.h"
#include "host/sdk/primitives.h"
#include "mesher/mesh_record.h"

namespace {

// Per-object settings held in a map instead of the plug-in's attribute.
struct FakeAccess : ObjectParamsAccess {
  std::map<INode*, WetmapParams> wet;
  std::vector<INode*> removed;
  bool GetObjectParams(INode* node, ObjectParams& out) override {
    if (!wet.count(node)) return false;
    out = ObjectParams();
    return true;
  }
  bool GetWetmapParams(INode* node, WetmapParams& out) override {
    auto it = wet.find(node);
    if (it == wet.end()) return false;
    out = it->second;
    return true;
  }
  bool HasObjectParams(INode* node) override { return wet.count(node) != 0; }
  void AddObjectParams(FluidEngine*, INode*, const ObjectSettings&) override {}
  void RemoveObjectParams(INode* node) override { removed.push_back(node); }
};

class WetMapsEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCOREInterface()->ResetScene();
    SetObjectParamsAccess(&access);
    SetWetMapImageWriter([this](const char* path, HBITMAP, HDC) {
      written.push_back(path);
      return true;
    });
    engine = std::make_unique<FluidEngine>();
    root = vorel::host::TempPath() + "wetmaps_engine";
    CreateDirectoryA(root.c_str(), nullptr);
    engine->SetCacheRoot(root);
    engine->SetSystemName("sys");
  }
  void TearDown() override {
    engine.reset();
    SetWetMapImageWriter(nullptr);
    SetObjectParamsAccess(nullptr);
    GetCOREInterface()->ResetScene();
  }
  INode* Box(const char* name) {
    Interface* ip = GetCOREInterface();
    return ip->CreateObjectNode(static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID())),
                                name);
  }

  FakeAccess access;
  std::vector<std::string> written;
  std::unique_ptr<FluidEngine> engine;
  std::string root;
};

}  // namespace

TEST_F(WetMapsEngineTest, RegisteringANodeTwiceKeepsOneRecord) {
  INode* box = Box("box");
  engine->AddWetMap(box);
  engine->AddWetMap(box);
  engine->AddWetMap(nullptr);
  ASSERT_EQ(engine->wetMaps.size(), 1u);
  EXPECT_STREQ(engine->wetMaps[0]->name, "box");
  EXPECT_EQ(engine->wetMaps[0]->width, 256);
}

TEST_F(WetMapsEngineTest, ResizeTakesEachObjectsSettingsAndClampsTheSize) {
  INode* a = Box("a");
  INode* b = Box("b");
  engine->AddWetMap(a);
  engine->AddWetMap(b);
  access.wet[a] = WetmapParams{1, 0, "prefA", 2.5f};  // size 0 would give no bitmap at all
  engine->ResizeWetMaps();
  EXPECT_STREQ(engine->wetMaps[0]->name, "prefA");
  EXPECT_EQ(engine->wetMaps[0]->width, 32);
  EXPECT_FLOAT_EQ(engine->wetMaps[0]->dryingTime, 2.5f);
  // No attribute: left as it was.
  EXPECT_STREQ(engine->wetMaps[1]->name, "b");
  EXPECT_EQ(engine->wetMaps[1]->width, 256);
  access.wet[a].mapRes = 1048576;
  engine->ResizeWetMaps();
  EXPECT_EQ(engine->wetMaps[0]->width, 2048);
}

TEST_F(WetMapsEngineTest, AnEmptyPrefixKeepsEachMapUnderItsNodesName) {
  // Attributes made without a prefix: were the maps renamed to it, both
  // objects would write the same "_" files and one would lose its maps.
  INode* a = Box("a");
  INode* b = Box("b");
  engine->AddWetMap(a);
  engine->AddWetMap(b);
  access.wet[a] = WetmapParams{1, 64, "", 1.0f};
  access.wet[b] = WetmapParams{1, 64, "", 1.0f};
  engine->ResizeWetMaps();
  EXPECT_STREQ(engine->wetMaps[0]->name, "a");
  EXPECT_STREQ(engine->wetMaps[1]->name, "b");
  EXPECT_EQ(engine->wetMaps[0]->width, 64);
}

TEST_F(WetMapsEngineTest, FrameZeroOnlyDriesAndSavesEveryTracedMap) {
  INode* a = Box("a");
  INode* b = Box("b");
  engine->AddWetMap(a);
  engine->AddWetMap(b);
  access.wet[a] = WetmapParams{1, 64, "pa", 1.0f};
  access.wet[b] = WetmapParams{0, 64, "pb", 1.0f};  // tracer off: skipped
  engine->ResizeWetMaps();
  {
    // One white pixel, written the way the map itself is.
    WetMap& m = *engine->wetMaps[0];
    std::vector<uint32_t> px(size_t(m.width) * size_t(m.height), 0u);
    px[0] = 0x00FFFFFFu;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = m.width;
    info.bmiHeader.biHeight = -m.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    ASSERT_EQ(SetDIBits(m.dc, m.bitmap, 0, UINT(m.height), px.data(), &info, DIB_RGB_COLORS), m.height);
  }
  engine->RepaintWetMaps(0);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0], engine->solver->frameCache.SystemFolder() + "maps/pa/pa0000.bmp");
  EXPECT_TRUE(vorel::host::DirectoryExists(engine->solver->frameCache.SystemFolder() + "maps/pa"));
  // 4800 / 160 = 30 fps, drying time 1: step 8.
  EXPECT_EQ(GetBValue(COLORREF(vorel::host::BitmapPixel(engine->wetMaps[0]->bitmap, 0, 0))), 255 - 8);
}

TEST_F(WetMapsEngineTest, RecordsFreeTheirBitmapsWithTheEngine) {
  const int before = vorel::host::LiveGdiObjects();
  engine->AddWetMap(Box("a"));
  engine->AddWetMap(Box("b"));
  EXPECT_GT(vorel::host::LiveGdiObjects(), before);
  engine->FreeWetMaps();
  EXPECT_EQ(vorel::host::LiveGdiObjects(), before);
  engine->AddWetMap(Box("c"));
  engine.reset();
  EXPECT_EQ(vorel::host::LiveGdiObjects(), before);
}

TEST_F(WetMapsEngineTest, APlaneUnderTheLastSurfacePaintsWhereItIsTouched) {
  // A 20 x 20 plane (object space) with texture u = x / 20, v = y / 20, at (100, 0, 0).
  auto* tri = new TriObject();
  Mesh& m = tri->GetMesh();
  m.setNumVerts(4);
  m.setVert(0, 0, 0, 0);
  m.setVert(1, 20, 0, 0);
  m.setVert(2, 20, 20, 0);
  m.setVert(3, 0, 20, 0);
  m.setNumFaces(2);
  m.faces[0].setVerts(0, 1, 2);
  m.faces[1].setVerts(0, 2, 3);
  m.setNumTVerts(4);
  for (int i = 0; i < 4; ++i) m.setTVert(i, m.getVert(i) / 20.0f);
  m.setNumTVFaces(2);
  m.tvFace[0] = TVFace(0, 1, 2);
  m.tvFace[1] = TVFace(0, 2, 3);
  INode* plane = GetCOREInterface()->CreateObjectNode(tri, "plane");
  plane->SetNodeTM(0, TransMatrix(Point3(100, 0, 0)));
  engine->AddWetMap(plane);
  access.wet[plane] = WetmapParams{1, 64, "plane", 1.0f};
  engine->ResizeWetMaps();

  // The surface of frame 0 (solver units): a triangle lying on the plane
  // around object point (5, 5), texture (0.25, 0.25), and one far above it.
  const float S = engine->FrameScale(), h = engine->solver->h;
  const float x0 = 105.0f / S, y0 = 5.0f / S, d = 2.0f / S;
  MeshRecord surface;
  surface.vertices = {Point3(x0, y0, 0.1f * h), Point3(x0 + d, y0, 0.1f * h), Point3(x0, y0 + d, 0.1f * h),
                      Point3(x0, y0, 50.0f * h)};
  surface.secondVertices.assign(4, Point3());
  surface.faces = {{0, 1, 2}, {0, 1, 3}};
  vorel::host::MakeDirectories(engine->solver->frameCache.SurfaceFolder());
  ASSERT_TRUE(surface.WriteSurfaceCache(engine->solver->frameCache.MeshPath(0), 0, 0));

  engine->RepaintWetMaps(1);  // paints from the surface of frame 0
  ASSERT_EQ(written.size(), 1u);
  HBITMAP bm = engine->wetMaps[0]->bitmap;
  auto blue = [&](int x, int y) { return GetBValue(COLORREF(vorel::host::BitmapPixel(bm, x, y))); };
  // Map point (0.25, 0.75) of 64: texel (16, 48); the triangle runs up and right from there.
  EXPECT_EQ(blue(17, 47), 255);
  EXPECT_EQ(blue(40, 20), 0);
  // The next frame without a surface file of frame 1: it only dries (30 fps, step 8).
  engine->RepaintWetMaps(2);
  EXPECT_EQ(blue(17, 47), 247);
}

TEST_F(WetMapsEngineTest, AttributesComeOffEveryMeshNodeButTheSystemsOwn) {
  INode* a = Box("a");
  INode* b = Box("b");
  Box("VorelClipLike");
  engine->RemoveObjectParamsFromScene();
  EXPECT_EQ(access.removed, (std::vector<INode*>{a, b}));
}
