// The engine's wet-map list: registration, resizing to the objects'
// settings, the repaint of one frame and the files it names.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fluid_core/engine.h"
#include "fluid_core/wet_maps.h"
#include "host/core/files.h"
#include "host/sdk/primitives.h"

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
  INode* Box(const char* name) { return GetCOREInterface()->CreateObjectNode(new GenBoxObject(), name); }

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
