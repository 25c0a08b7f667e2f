#include "gpu_frontend/gpu_rollouts.h"

#include <sstream>

#include "frontend_fixture.h"
#include "gpu_frontend/gpu_source.h"
#include "host/sdk/primitives.h"
#include "host/ui/script.h"

namespace {

using gpufe_test::Exists;
using vorel_gpufe::BlobNode;
using vorel_gpufe::FillRecord;
using vorel_gpufe::VorSourceObj;
namespace bp = vorel_gpufe::blob_param;

class GpuRolloutsTest : public gpufe_test::FrontendTest {
 protected:
  void TearDown() override {
    std::ostringstream out;
    vorel_ui::RunUiCommand("close", out);
    FrontendTest::TearDown();
  }
  BlobNode* NewFluid() {
    auto* b = new BlobNode(false);
    fluidNode_ = GetCOREInterface()->CreateObjectNode(b, "fluid");
    return b;
  }
  INode* NewBox(const char* name, float size = 40.0f) {
    auto* box = new GenBoxObject();
    box->SetParams(size, size, size);
    return GetCOREInterface()->CreateObjectNode(box, name);
  }
  std::string Ui(const std::string& line) {
    std::ostringstream out;
    std::string err;
    EXPECT_TRUE(vorel_ui::RunUiCommand(line, out, &err)) << line << ": " << err;
    return out.str();
  }
  static std::vector<std::string> Combo(HWND dlg, int id) {
    std::vector<std::string> items;
    const LRESULT n = SendDlgItemMessage(dlg, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[256] = {};
      SendDlgItemMessage(dlg, id, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
      items.push_back(text);
    }
    return items;
  }
  static std::string LastPrompt() {
    auto log = vorel::host::PromptLog();
    return log.empty() ? "" : log.back().text;
  }
  static std::vector<INode*> List(BlobNode* b, ParamID id) {
    std::vector<INode*> v;
    for (int i = 0; i < b->pblock2->Count(id); ++i) v.push_back(b->pblock2->GetINode(id, 0, i));
    return v;
  }
  INode* fluidNode_ = nullptr;
};

TEST_F(GpuRolloutsTest, CacheHistoryRemovesOnlyTheWholeName) {
  BlobNode* b = NewFluid();
  b->AddCacheHistory("shot");
  b->AddCacheHistory("shot_001");
  Ui("open fluid");
  ASSERT_NE(b->hMainRollout, nullptr);
  std::vector<std::string> combo = Combo(b->hMainRollout, vorel_gpufe::main_ctl::kCacheHistory);
  ASSERT_EQ(combo.size(), 3u);
  EXPECT_EQ(combo[0], "shot_001");  // newest on top
  EXPECT_TRUE(vorel_gpufe::RemoveCacheHistory(*b, "shot"));
  combo = Combo(b->hMainRollout, vorel_gpufe::main_ctl::kCacheHistory);
  EXPECT_EQ(combo, (std::vector<std::string>{"shot_001", b->cacheHistory[0]}));
  EXPECT_FALSE(vorel_gpufe::RemoveCacheHistory(*b, "shot"));
  EXPECT_FALSE(b->AddCacheHistory("shot_001"));
}

TEST_F(GpuRolloutsTest, CacheNameRenamesSwitchesOrRefuses) {
  BlobNode* b = NewFluid();
  Ui("open fluid");
  const std::string root = b->cache.cachesRoot;
  const std::string first = b->cache.cacheName;
  const std::vector<std::string> bad = {"", "\\", "/", "_", "../out", "a/b", std::string(300, 'c')};
  for (const std::string& name : bad) {
    vorel::host::ClearPromptLog();
    EXPECT_FALSE(vorel_gpufe::RenameOrSwitchCache(*b, name)) << name;
    EXPECT_EQ(LastPrompt(), "Unable to change cache name. Use a different cache name.");
    EXPECT_EQ(b->cache.cacheName, first);
  }
  // A fresh name renames the folder and drops the old name from history.
  ASSERT_TRUE(vorel_gpufe::RenameOrSwitchCache(*b, "pour"));
  EXPECT_EQ(LastPrompt(), "Cache '" + first + "' was renamed as 'pour'");
  EXPECT_FALSE(Exists(root + "/" + first));
  EXPECT_TRUE(Exists(root + "/pour"));
  EXPECT_EQ(b->cache.cacheName, "pour");
  EXPECT_EQ(std::count(b->cacheHistory.begin(), b->cacheHistory.end(), first), 0);
  // An existing folder is switched to, not renamed onto.
  vorel::host::MakeDirectories(root + "/other");
  ASSERT_TRUE(vorel_gpufe::RenameOrSwitchCache(*b, "other"));
  EXPECT_EQ(LastPrompt(), "Cache switched. Now reading from cache: 'other'");
  EXPECT_TRUE(Exists(root + "/pour"));
  EXPECT_EQ(b->cacheHistory.back(), "other");
  // The current folder gone: the rename fails and nothing changes.
  std::system(("rm -rf '" + root + "/other'").c_str());
  const auto history = b->cacheHistory;
  EXPECT_FALSE(vorel_gpufe::RenameOrSwitchCache(*b, "again"));
  EXPECT_EQ(LastPrompt(), "Unable to change cache name");
  EXPECT_EQ(b->cacheHistory, history);
}

TEST_F(GpuRolloutsTest, PresetNameFieldSavesOrRestores) {
  BlobNode* b = NewFluid();
  vorel::host::MakeDirectories(b->cache.presetsDir);
  Ui("open fluid");
  Ui("set \"Main controls and params\" 3078 syrup");
  EXPECT_TRUE(Exists(b->cache.presetsDir + "/syrup.Vorel_preset"));
  EXPECT_STREQ(b->pblock2->GetStr(bp::kPresetName, 0), "syrup");
  Ui("set \"Main controls and params\" 3078 default");
  EXPECT_EQ(LastPrompt(), "Unable to change preset name");
  EXPECT_STREQ(b->pblock2->GetStr(bp::kPresetName, 0), "syrup");
  EXPECT_NE(Ui("read \"Main controls and params\" 3078").find("syrup"), std::string::npos);
}

TEST_F(GpuRolloutsTest, LayerCountsStayWithinTheTable) {
  FillRecord r;
  EXPECT_EQ(vorel_gpufe::ClampedLayers(r), 0);  // never filled
  EXPECT_EQ(vorel_gpufe::ParticlesInLayers(r, 1), 0);
  r.layerTable = {10, 25, 45};
  r.layersUsed = 7;
  EXPECT_EQ(vorel_gpufe::ClampedLayers(r), 3);
  EXPECT_EQ(vorel_gpufe::ParticlesInLayers(r, 0), 0);
  EXPECT_EQ(vorel_gpufe::ParticlesInLayers(r, 2), 25);
  EXPECT_EQ(vorel_gpufe::ParticlesInLayers(r, 9), 45);
}

TEST_F(GpuRolloutsTest, FillersDialogFillsListsCollidersOnceInOneUndoStep) {
  BlobNode* b = NewFluid();
  INode* box = NewBox("tank");
  box->SetNodeTM(0, TransMatrix(Point3(100.0f, 0.0f, 0.0f)));
  INode* wall = NewBox("wall");
  b->pblock2->Append(bp::kCollidersNodeList, 1, &wall);
  Ui("open fluid");
  Ui("select-answer tank wall");
  Ui("press \"Filled Objects\" 1332");
  EXPECT_EQ(List(b, bp::kFillingNodeList), (std::vector<INode*>{box, wall}));
  EXPECT_EQ(List(b, bp::kCollidersNodeList), (std::vector<INode*>{wall, box}));
  ASSERT_EQ(b->fillRecords.size(), 2u);
  const FillRecord& r = b->fillRecords[0];
  EXPECT_EQ(r.node, box);
  ASSERT_FALSE(r.points.empty());
  EXPECT_EQ(r.layersUsed, int(r.layerTable.size()));
  EXPECT_EQ(r.layerTable.back(), int(r.points.size()));
  // World frame, solver units: the tank spans x 80..120 host units.
  for (const Point3& p : r.points) {
    EXPECT_GT(p.x, 80.0f / 20.0f);
    EXPECT_LT(p.x, 120.0f / 20.0f);
  }
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add selected");
  // Undo takes the whole step back, and the records follow the list.
  theHold.Undo();
  EXPECT_TRUE(List(b, bp::kFillingNodeList).empty());
  EXPECT_EQ(List(b, bp::kCollidersNodeList), (std::vector<INode*>{wall}));
  EXPECT_TRUE(b->fillRecords.empty());
}

TEST_F(GpuRolloutsTest, FillLayerSelectionClampsAndRefillKeepsIt) {
  BlobNode* b = NewFluid();
  NewBox("tank");
  Ui("open fluid");
  Ui("select-answer tank");
  Ui("press \"Filled Objects\" 1332");
  ASSERT_EQ(b->fillRecords.size(), 1u);
  const int layers = int(b->fillRecords[0].layerTable.size());
  ASSERT_GE(layers, 2);
  // The count is shown, never typed: its edit is disabled, its spinner hidden.
  ASSERT_NE(b->hFillersRollout, nullptr);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(b->hFillersRollout, 1506)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(b->hFillersRollout, 1505)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(b->hFillersRollout, 1503)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(b->hFillersRollout, 1504)));
  Ui("set \"Filled Objects\" 1336 #0");
  Ui("set \"Filled Objects\" 1504 1");
  EXPECT_EQ(b->fillRecords[0].layersUsed, 1);
  EXPECT_EQ(b->pblock2->GetInt(bp::kParticlesFilled, 0), b->fillRecords[0].layerTable[0]);
  Ui("set \"Filled Objects\" 1504 999");
  EXPECT_EQ(b->fillRecords[0].layersUsed, layers);
  EXPECT_EQ(b->pblock2->GetInt(bp::kFillingPercentage, 0), layers);
  Ui("set \"Filled Objects\" 1504 1");
  Ui("press \"Filled Objects\" 1031");
  EXPECT_EQ(b->fillRecords[0].layersUsed, 1);
}

TEST_F(GpuRolloutsTest, DeletedNodesLeaveNoEmptyEntriesNorRecords) {
  BlobNode* b = NewFluid();
  INode* a = NewBox("a");
  INode* c = NewBox("c");
  INode* keep = NewBox("keep");
  Ui("open fluid");
  Ui("select-answer a c keep");
  Ui("press \"Filled Objects\" 1332");
  ASSERT_EQ(b->fillRecords.size(), 3u);
  GetCOREInterface()->DeleteNode(a);
  GetCOREInterface()->DeleteNode(c);
  EXPECT_EQ(List(b, bp::kFillingNodeList), (std::vector<INode*>{keep}));
  EXPECT_EQ(List(b, bp::kCollidersNodeList), (std::vector<INode*>{keep}));
  ASSERT_EQ(b->fillRecords.size(), 1u);
  EXPECT_EQ(b->fillRecords[0].node, keep);
}

TEST_F(GpuRolloutsTest, PickFiltersRefuseWrongListedAndDependentNodes) {
  BlobNode* b = NewFluid();
  VorSourceObj* s = b->CreateSourceObjectNode(GetCOREInterface());
  ASSERT_NE(s, nullptr);
  INode* sourceNode = s->node;
  INode* twin = GetCOREInterface()->CreateObjectNode(s, "twin");
  INode* box = NewBox("box");
  vorel_gpufe::CollidersHitDialog colliders(b);
  vorel_gpufe::SourcesHitDialog sources(b);
  vorel_gpufe::DumpHitDialog dump(b);
  EXPECT_FALSE(colliders.filter(sourceNode));
  EXPECT_FALSE(dump.filter(sourceNode));
  EXPECT_FALSE(colliders.filter(fluidNode_));  // the fluid's own node depends on it
  EXPECT_TRUE(colliders.filter(box));
  EXPECT_FALSE(sources.filter(box));
  EXPECT_FALSE(sources.filter(sourceNode));  // listed already
  EXPECT_FALSE(sources.filter(twin));        // an instance of a listed source
  INodeTab picked;
  picked.Append(1, &twin);
  sources.proc(picked);
  EXPECT_EQ(List(b, bp::kSourcesNodeList), (std::vector<INode*>{sourceNode}));
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add existing source to the source list");
  INodeTab boxes;
  boxes.Append(1, &box);
  colliders.proc(boxes);
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add selected");
  EXPECT_FALSE(colliders.filter(box));
}

TEST_F(GpuRolloutsTest, GravityChangeInvalidatesSourcesOnce) {
  BlobNode* b = NewFluid();
  VorSourceObj* s = b->CreateSourceObjectNode(GetCOREInterface());
  ASSERT_NE(s, nullptr);
  b->pblock2->SetValue(bp::kGravity, 0, 5.0f);
  EXPECT_EQ(b->lastGravity, 5.0f);
  s->ivalid = FOREVER;
  b->pblock2->SetValue(bp::kViscosity, 0, 0.5f);
  EXPECT_TRUE(s->ivalid == FOREVER);
  b->pblock2->SetValue(bp::kGravity, 0, 7.0f);
  EXPECT_TRUE(s->ivalid == NEVER);
}

TEST_F(GpuRolloutsTest, ChosenCacheFolderResolvesOnceWithoutStrayTrees) {
  BlobNode* b = NewFluid();
  const std::string elsewhere = root_ + "/shots";
  vorel::host::MakeDirectories(elsewhere + "/take1");
  const std::string oldRoot = b->cache.cachesRoot;
  ASSERT_TRUE(vorel_gpufe::UseCacheFolder(*b, elsewhere + "/take1"));
  EXPECT_EQ(b->cache.cacheName, "take1");
  EXPECT_EQ(b->cache.cachesRoot, elsewhere);
  EXPECT_FALSE(Exists(oldRoot + "/take1"));
  EXPECT_EQ(b->cacheHistory.back(), "take1");
}

TEST_F(GpuRolloutsTest, CleanKeepsFramesBelowTheChosenOneAndGoesToTheStart) {
  BlobNode* b = NewFluid();
  for (int i = 0; i <= 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/%05d.Vorel", i);
    gpufe_test::WriteFrame(b->cache.cacheDir + name, 2);
  }
  b->pblock2->SetValue(bp::kKeepFrames, 0, 3);
  b->pblock2->SetValue(bp::kSolverStart, 0, 2);
  GetCOREInterface()->SetTime(40 * GetTicksPerFrame(), false);
  Ui("open fluid");
  Ui("press \"Main controls and params\" 1029");
  EXPECT_EQ(b->cache.lastSolvedFrame(), 2);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 2 * GetTicksPerFrame());
  // An invalid cache folder is left alone.
  b->cache.cacheDir = root_ + "/gone";
  vorel_gpufe::CleanCache(*b);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 2 * GetTicksPerFrame());
}

// The solver writes into the cache while it runs: CLEAN would delete its
// frames and a rename would move the folder from under it.
TEST_F(GpuRolloutsTest, CleanAndRenameWaitForARunningSolver) {
  BlobNode* b = NewFluid();
  gpufe_test::WriteFrame(b->cache.FramePath(3), 2);
  const std::string name = b->cache.cacheName, dir = b->cache.cacheDir;
  Ui("open fluid");
  HANDLE solver = CreateEventW(nullptr, TRUE, FALSE, L"Vorel_GPU_SOLVER");
  ASSERT_NE(solver, nullptr);
  Ui("press \"Main controls and params\" 1029");
  EXPECT_TRUE(Exists(b->cache.FramePath(3)));
  EXPECT_EQ(LastPrompt(),
            "The solver is running in this cache: CLEAN would delete the frames it writes. Stop the solver first.");
  EXPECT_FALSE(vorel_gpufe::RenameOrSwitchCache(*b, "moved"));
  EXPECT_EQ(LastPrompt(), "The solver is running: the cache cannot be renamed under it. Stop the solver first.");
  EXPECT_TRUE(Exists(dir));
  EXPECT_EQ(b->cache.cacheName, name);
  CloseHandle(solver);
  Ui("press \"Main controls and params\" 1029");
  EXPECT_FALSE(Exists(b->cache.FramePath(3)));
  EXPECT_TRUE(vorel_gpufe::RenameOrSwitchCache(*b, "moved"));
}

// A cache name set by a script or loaded from a scene is held to the name
// box's rule: one folder under the caches root.
TEST_F(GpuRolloutsTest, CacheNameParameterOutsideTheCachesRootIsRefused) {
  BlobNode* b = NewFluid();
  const std::string name = b->cache.cacheName, dir = b->cache.cacheDir;
  for (const char* bad : {"../../../escaped2", "a/b", "..", "c:x", "x\\..\\y"}) {
    vorel::host::ClearPromptLog();
    b->pblock2->SetValue(bp::kCachePath, 0, bad);
    EXPECT_EQ(b->cache.cacheDir, dir) << bad;
    EXPECT_EQ(std::string(b->pblock2->GetStr(bp::kCachePath, 0)), name) << bad;
    EXPECT_NE(LastPrompt().find("refused"), std::string::npos) << bad;
  }
  EXPECT_FALSE(Exists(root_ + "/escaped2"));
  b->pblock2->SetValue(bp::kCachePath, 0, "take2");
  EXPECT_EQ(b->cache.cacheName, "take2");
}

TEST_F(GpuRolloutsTest, SourcesRolloutMakesAndSelectsSources) {
  BlobNode* b = NewFluid();
  Ui("open fluid");
  Ui("press Sources 1018");
  Ui("press Sources 1018");
  ASSERT_EQ(b->pblock2->Count(bp::kSourcesNodeList), 2);
  Ui("set Sources 1337 #1");
  Ui("press Sources 1019");
  ASSERT_EQ(GetCOREInterface()->GetSelNodeCount(), 1);
  EXPECT_EQ(GetCOREInterface()->GetSelNode(0), b->pblock2->GetINode(bp::kSourcesNodeList, 0, 1));
}

}  // namespace
