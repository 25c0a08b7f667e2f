#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/solver_presets.h"

#include <cmath>

#include "frontend_fixture.h"
#include "gpu_frontend/gpu_source.h"
#include "host/core/process.h"
#include "host/sdk/primitives.h"
#include "host/ui/window.h"

namespace {

using gpufe_test::Exists;
using gpufe_test::WriteFrame;
using vorel_gpufe::BlobNode;
using vorel_gpufe::FillRecord;
using vorel_gpufe::VorSourceObj;
namespace bp = vorel_gpufe::blob_param;
namespace sp = vorel_gpufe::source_param;

class GpuFluidTest : public gpufe_test::FrontendTest {
 protected:
  BlobNode* NewFluid(const char* name = "fluid", INode** nodeOut = nullptr) {
    auto* b = new BlobNode(false);
    INode* n = GetCOREInterface()->CreateObjectNode(b, name);
    if (nodeOut) *nodeOut = n;
    return b;
  }
  INode* NewBox(const char* name, float size = 10.0f) {
    auto* box = new GenBoxObject();
    box->SetParams(size, size, size);
    return GetCOREInterface()->CreateObjectNode(box, name);
  }
  // Saves the object's chunks and loads them into a fresh object (loading),
  // running the post-load callbacks as the host would.
  BlobNode* RoundTrip(BlobNode* from, const std::vector<uint8_t>* bytesOverride = nullptr) {
    ISave save;
    from->Save(&save);
    EXPECT_TRUE(save.Balanced());
    bytes_ = bytesOverride ? *bytesOverride : save.Bytes();
    ILoad load(bytes_);
    EXPECT_TRUE(load.StructureValid());
    auto* to = new BlobNode(true);
    EXPECT_EQ(to->Load(&load), IO_OK);
    // The host sets the references before the post-load callbacks run.
    to->ReplaceReference(0, NoRemap().CloneRef(from->pblock2));
    for (auto& cb : load.PostLoadCallbacks()) {
      EXPECT_EQ(cb.first, 4);
      cb.second->proc(&load);
    }
    return to;
  }
  static std::vector<uint8_t> Chunk(uint16_t id, const std::vector<int32_t>& words) {
    std::vector<uint8_t> b(6 + 4 * words.size());
    const uint32_t len = uint32_t(4 * words.size());
    std::memcpy(&b[0], &id, 2);
    std::memcpy(&b[2], &len, 4);
    if (!words.empty()) std::memcpy(&b[6], words.data(), len);
    return b;
  }
  std::vector<uint8_t> bytes_;
};

TEST_F(GpuFluidTest, ChunksRoundTripWithEmptyAndFullRecords) {
  BlobNode* a = NewFluid();
  EXPECT_EQ(a->cacheHistory, (std::vector<std::string>{"default"}));
  FillRecord empty;
  FillRecord full;
  full.layersUsed = 2;
  full.layerTable = {3, 5};
  full.points = {Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9), Point3(1, 1, 1), Point3(2, 2, 2)};
  a->fillRecords = {empty, full};
  INode* boxes[2] = {NewBox("b1"), NewBox("b2")};
  a->pblock2->Append(bp::kFillingNodeList, 2, boxes);
  a->cacheHistory.push_back("shot_001");
  a->sourcePoints = {Point3(0.5f, 0.25f, 2.0f)};
  a->sourcePointCount = 1;

  BlobNode* b = RoundTrip(a);
  ASSERT_EQ(b->fillRecords.size(), 2u);
  EXPECT_EQ(b->fillRecords[0].layersUsed, -1);
  EXPECT_TRUE(b->fillRecords[0].points.empty());
  EXPECT_EQ(b->fillRecords[1].layerTable, full.layerTable);
  EXPECT_EQ(b->fillRecords[1].points, full.points);
  EXPECT_EQ(b->fillRecords[1].node, boxes[1]);
  EXPECT_EQ(b->cacheHistory, (std::vector<std::string>{"default", "shot_001"}));
  // The preview is recomputed when saved: without sources it holds nothing.
  EXPECT_EQ(b->sourcePointCount, 0);
  EXPECT_TRUE(b->sourcePoints.empty());

  // Chunk 1976 spells each name with its terminating zero, counted.
  ISave save;
  a->Save(&save);
  const std::vector<uint8_t>& bytes = save.Bytes();
  const std::string wanted = std::string("\x08\0\0\0default\0", 12);
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()), bytes.end());
  b->DeleteThis();
}

TEST_F(GpuFluidTest, DamagedChunksAreDroppedWholeAndTheRestLoads) {
  BlobNode* a = NewFluid();
  const std::vector<std::vector<int32_t>> badFill = {
      {0x7FFFFFFF},               // a count far beyond the chunk
      {1, 2, 0x40000000, 1, 2},   // a layer table beyond the chunk
      {2, 1, 0, 0, 1},            // the second record is missing
      {-5},                       // negative count
      {},                         // no count at all
  };
  for (const auto& words : badFill) {
    std::vector<uint8_t> bytes = Chunk(1975, words);
    const std::vector<uint8_t> history = Chunk(1976, {1, 3, 0x00006261});  // "ab\0"
    bytes.insert(bytes.end(), history.begin(), history.end());
    const std::vector<uint8_t> preview = Chunk(1977, {3, 0, 0, 0});  // three points promised, one given
    bytes.insert(bytes.end(), preview.begin(), preview.end());
    BlobNode* b = RoundTrip(a, &bytes);
    EXPECT_TRUE(b->fillRecords.empty());
    EXPECT_EQ(b->cacheHistory, (std::vector<std::string>{"ab"}));
    EXPECT_EQ(b->sourcePointCount, 0);
    EXPECT_TRUE(b->sourcePoints.empty());
    b->DeleteThis();
  }
  std::vector<uint8_t> names = Chunk(1976, {2, 0x7FFFFFF0});
  BlobNode* c = RoundTrip(a, &names);
  EXPECT_TRUE(c->cacheHistory.empty());
  c->DeleteThis();
}

TEST_F(GpuFluidTest, PostLoadPairsRecordsWithListEntriesOnlyAsFarAsBothGo) {
  BlobNode* a = NewFluid();
  INode* box1 = NewBox("b1");
  a->fillRecords.resize(3);
  a->pblock2->Append(bp::kFillingNodeList, 1, &box1);
  BlobNode* b = RoundTrip(a);  // three records, one entry
  ASSERT_EQ(b->fillRecords.size(), 1u);
  EXPECT_EQ(b->fillRecords[0].node, box1);

  INode* box2 = NewBox("b2");
  b->pblock2->Append(bp::kFillingNodeList, 1, &box2);
  // Records follow the list: the new entry gets an unfilled record of its
  // own, so that pairing by position stays right through the repair.
  b->PostLoadRepair();
  ASSERT_EQ(b->fillRecords.size(), 2u);
  EXPECT_EQ(b->fillRecords[1].node, box2);
  EXPECT_EQ(b->fillRecords[1].layersUsed, -1);
  b->DeleteThis();
}

TEST_F(GpuFluidTest, PostLoadRecreatesAMissingCacheWarnsOnceAndSyncs) {
  BlobNode* a = NewFluid();
  a->pblock2->SetValue(bp::kCachePath, 0, "lost");
  ASSERT_TRUE(a->SyncCacheParams());
  ASSERT_EQ(a->cache.cacheName, "lost");
  ASSERT_EQ(a->cache.cacheDir, TempCaches() + "/lost");
  const std::string dir = TempCaches() + "/lost";
  ASSERT_TRUE(Exists(dir));
  std::system(("rm -rf '" + dir + "'").c_str());
  vorel::host::ClearMessageBoxLog();

  BlobNode* b = RoundTrip(a);
  const auto boxes = vorel::host::MessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Vorel Warning!");
  EXPECT_EQ(boxes[0].text, "Cache 'lost' directory path not found!\n" + TempCaches() +
                               " \nAn Empty dir has been created. Try to find missed cache yourself.");
  EXPECT_TRUE(Exists(dir + "/surface"));
  EXPECT_EQ(std::string(b->pblock2->GetStr(bp::kCachePath)), "lost");
  EXPECT_EQ(b->cache.cacheDir, dir);

  // An empty name is the "default" cache, and the parameters follow.
  b->pblock2->SetValue(bp::kCachePath, 0, "");
  vorel::host::ClearMessageBoxLog();
  b->PostLoadRepair();
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
  EXPECT_EQ(std::string(b->pblock2->GetStr(bp::kCachePath)), "default");
  EXPECT_EQ(std::string(b->pblock2->GetStr(bp::kCachesDirectoryPath)), TempCaches());
  b->DeleteThis();
}

TEST_F(GpuFluidTest, NewObjectsNeverClearAnotherObjectsCache) {
  BlobNode* first = NewFluid("f1");
  ASSERT_EQ(first->cache.cacheName, "default");
  for (int f = 0; f <= 3; ++f) WriteFrame(first->cache.FramePath(f), 2);

  BlobNode* second = NewFluid("f2");
  EXPECT_EQ(second->cache.cacheName, "default_000");
  EXPECT_EQ(std::string(second->pblock2->GetStr(bp::kCachePath)), "default_000");
  EXPECT_EQ(second->cacheHistory, (std::vector<std::string>{"default_000"}));
  EXPECT_EQ(first->cache.lastSolvedFrame(), 3);

  auto* clone = static_cast<BlobNode*>(first->Clone(NoRemap()));
  EXPECT_EQ(clone->cache.cacheDir, first->cache.cacheDir);  // same cache, untouched
  EXPECT_EQ(first->cache.lastSolvedFrame(), 3);
  EXPECT_EQ(clone->pblock2->GetFloat(bp::kGravity), 9.8f);
  clone->DeleteThis();
  EXPECT_EQ(NewFluid("f3")->cache.cacheName, "default_001");
}

TEST_F(GpuFluidTest, ReadParamsMirrorsTheBlock) {
  BlobNode* a = NewFluid();
  a->pblock2->SetValue(bp::kSurfaceLOD, 0, 2.0f);
  a->pblock2->SetValue(bp::kSolverEnd, 0, 250);
  a->pblock2->SetValue(bp::kShowClipBox, 0, 1);
  a->SourceLOD = 1.0f;  // an evaluation's leftover is restored
  a->ReadParams(0);
  EXPECT_EQ(a->detail, 1.0f);
  EXPECT_EQ(a->SolverEnd, 250);
  EXPECT_EQ(a->ShowClipBoxOn, 1);
  EXPECT_EQ(a->SourceLOD, 20.0f);
  EXPECT_EQ(a->gravity, 9.8f);
}

TEST_F(GpuFluidTest, ClipBoxIsUnboundedUnlessShownAndSpansItsTwoCorners) {
  Point3 lo, hi;
  BlobNode::GetClipBoxAtTime(nullptr, 0, &lo, &hi);
  EXPECT_EQ(lo, Point3(-1e23f, -1e23f, -1e23f));
  EXPECT_EQ(hi, Point3(1e23f, 1e23f, 1e23f));

  BlobNode* a = NewFluid();
  a->ShowClipBox(true);
  INode* clip = GetCOREInterface()->GetINodeByName("Vorel_clipbox");
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->HasObjXRayMtl());
  EXPECT_EQ(clip->GetWireColor(), DWORD(0x0000FF));
  BlobNode::GetClipBoxAtTime(clip, 0, &lo, &hi);
  EXPECT_EQ(lo, Point3(-5.0f, -5.0f, -2.5f));  // 200 wide, base at z = -50, in solver units
  EXPECT_EQ(hi, Point3(5.0f, 5.0f, 7.5f));
  a->ShowClipBox(false);
  EXPECT_TRUE(clip->IsHidden());
  BlobNode::GetClipBoxAtTime(clip, 0, &lo, &hi);
  EXPECT_EQ(hi.x, 1e23f);
  a->ShowClipBox(true);
  EXPECT_FALSE(clip->IsHidden());
  EXPECT_EQ(GetCOREInterface()->NodeCount(), 2);  // no second box

  // Rotated a quarter turn about z: the corners turn, the box they span is kept.
  Matrix3 turn;
  turn.RotateZ(1.57079632679f);
  clip->SetNodeTM(0, turn);
  BlobNode::GetClipBoxAtTime(clip, 0, &lo, &hi);
  EXPECT_NEAR(lo.x, 5.0f, 1e-5f);
  EXPECT_NEAR(lo.y, -5.0f, 1e-5f);
  EXPECT_NEAR(hi.x, -5.0f, 1e-5f);
  EXPECT_NEAR(hi.y, 5.0f, 1e-5f);
}

TEST_F(GpuFluidTest, SourcesStandAroundTheOrigin) {
  BlobNode* a = NewFluid();
  for (int n = 0; n < 3; ++n) {
    VorSourceObj* s = a->CreateSourceObjectNode(GetCOREInterface());
    ASSERT_NE(s, nullptr);
    Matrix3 want;
    want.RotateX(0.610865f);
    want.SetTrans(Point3(0, 15, 32));
    want.RotateZ(float(n) * 2.3561945f);
    const Matrix3 got = s->node->GetNodeTM(0);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[r][c], want[r][c], 1e-5f) << n << " " << r << c;
    EXPECT_EQ(a->pblock2->GetINode(bp::kSourcesNodeList, 0, n), s->node);
  }
  EXPECT_EQ(std::string(a->pblock2->GetINode(bp::kSourcesNodeList, 0, 0)->GetName()), "Vorel_source_");
  EXPECT_EQ(std::string(a->pblock2->GetINode(bp::kSourcesNodeList, 0, 1)->GetName()), "Vorel_source_001");
  EXPECT_EQ(a->particleFrame, -1);
}

TEST_F(GpuFluidTest, CreationHookMakesOneSetUntilAFluidIsDrawn) {
  Interface* ip = GetCOREInterface();
  ClassDesc* cd = vorel_gpufe::GetBlobNodeDesc();
  BlobNode::creationPending = false;
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(ip->NodeCount(), 3);
  INode* fluidNode = ip->GetINodeByName("Vorel_GPU_");
  INode* sourceNode = ip->GetINodeByName("Vorel_source_");
  ASSERT_NE(fluidNode, nullptr);
  ASSERT_NE(sourceNode, nullptr);
  auto* fluid = static_cast<BlobNode*>(fluidNode->GetObjectRef());
  auto* source = static_cast<VorSourceObj*>(sourceNode->GetObjectRef());
  EXPECT_EQ(source->owner, fluid);
  EXPECT_EQ(source->pblock2->GetFloat(sp::kSpeed), 13.0f);
  EXPECT_EQ(source->pblock2->GetInt(sp::kDisableSource, 12 * 160), 0);
  EXPECT_EQ(source->pblock2->GetInt(sp::kDisableSource, 13 * 160), 1);
  EXPECT_FALSE(ip->GetAnimateMode());
  EXPECT_NEAR(sourceNode->GetNodeTM(0).GetTrans().z, 6.147f, 1e-5f);
  ASSERT_EQ(fluid->pblock2->Count(bp::kCollidersNodeList), 1);
  INode* box = fluid->pblock2->GetINode(bp::kCollidersNodeList, 0, 0);
  EXPECT_TRUE(box->HasObjXRayMtl());
  auto* boxObj = static_cast<GenBoxObject*>(box->GetObjectRef());
  EXPECT_EQ(boxObj->pblock2->GetFloat(BOXOBJ_LENGTH), 44.0f);
  EXPECT_EQ(boxObj->pblock2->GetFloat(BOXOBJ_WIDTH), 20.0f);
  EXPECT_EQ(boxObj->pblock2->GetFloat(BOXOBJ_HEIGHT), 50.0f);
  EXPECT_EQ(ip->GetTime(), 0);

  ip->SetStdCommandMode(0);
  fluid->Display(0, fluidNode, nullptr, 0);  // re-arms creation
  EXPECT_EQ(ip->GetStdCommandMode(), 6);     // once: the create tool is left
  ip->SetStdCommandMode(0);
  fluid->Display(0, fluidNode, nullptr, 0);
  EXPECT_EQ(ip->GetStdCommandMode(), 0);
  EXPECT_EQ(cd->BeginCreate(ip), 1);
  EXPECT_EQ(ip->NodeCount(), 6);
  EXPECT_EQ(cd->EndCreate(ip), TRUE);  // nothing suspended: harmless
  BlobNode::creationPending = false;
}

TEST_F(GpuFluidTest, SolverProbeSeesAHeldEventAndLeavesNoneBehind) {
  EXPECT_FALSE(BlobNode::IsSolverRunning());
  EXPECT_FALSE(BlobNode::IsSolverRunning());  // the probe held nothing
  HANDLE solver = CreateEventW(nullptr, TRUE, FALSE, L"Vorel_GPU_SOLVER");
  ASSERT_NE(solver, nullptr);
  EXPECT_TRUE(BlobNode::IsSolverRunning());
  EXPECT_TRUE(BlobNode::IsSolverRunning());
  CloseHandle(solver);
  EXPECT_FALSE(BlobNode::IsSolverRunning());
}

TEST_F(GpuFluidTest, PickFiltersTakeMeshesNotSourcesNorItself) {
  INode* fluidNode = nullptr;
  BlobNode* a = NewFluid("fluid", &fluidNode);
  INode* box = NewBox("b");
  VorSourceObj* s = a->CreateSourceObjectNode(GetCOREInterface());
  EXPECT_TRUE(a->AcceptsCollider(box));
  EXPECT_TRUE(a->AcceptsFiller(box));
  EXPECT_FALSE(a->AcceptsCollider(s->node));
  EXPECT_FALSE(a->AcceptsCollider(fluidNode));
  EXPECT_FALSE(a->AcceptsCollider(nullptr));
  a->pblock2->Append(bp::kCollidersNodeList, 1, &box);
  EXPECT_FALSE(a->AcceptsCollider(box));
  EXPECT_TRUE(a->AcceptsFiller(box));
}

TEST_F(GpuFluidTest, PresetsApplyOrWarn) {
  BlobNode* a = NewFluid();
  vorel::host::MakeDirectories(a->cache.presetsDir);
  ASSERT_TRUE(a->cache.WritePreset("thick", 10.0f, 5.0f, 3.0f, 0.5f, 7.0f));
  ASSERT_TRUE(vorel_gpufe::LoadPreset(*a, "thick"));
  a->ReadParams(0);
  EXPECT_EQ(a->SourceLOD, 10.0f);
  EXPECT_EQ(a->gravity, 5.0f);
  EXPECT_EQ(a->viscosity, 3.0f);
  EXPECT_EQ(a->bounce, 0.5f);
  EXPECT_EQ(a->friction, 7.0f);
  vorel::host::ClearMessageBoxLog();
  EXPECT_FALSE(vorel_gpufe::LoadPreset(*a, "nothing"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(a->pblock2->GetFloat(bp::kGravity), 5.0f);
}

TEST_F(GpuFluidTest, MainRolloutShowsTheCacheStateAndHistory) {
  BlobNode* a = NewFluid();
  vorel_ui::DialogTemplate t;
  t.id = 9185;
  t.controls = {{1011, vorel_ui::Kind::Static, ""}, {1012, vorel_ui::Kind::Static, ""},
                {1034, vorel_ui::Kind::ComboBox, ""}};
  vorel_ui::RegisterDialogTemplate(nullptr, t);
  HWND dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(9185), nullptr,
                               [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
  ASSERT_NE(dlg, nullptr);
  char text[64];
  a->RefreshCacheInfo();  // closed rollout: nothing written
  GetDlgItemText(dlg, 1011, text, sizeof text);
  EXPECT_STREQ(text, "");
  a->hMainRollout = dlg;
  a->RefreshCacheInfo();
  GetDlgItemText(dlg, 1011, text, sizeof text);
  EXPECT_STREQ(text, "Last frame solved: NONE");
  GetDlgItemText(dlg, 1012, text, sizeof text);
  EXPECT_STREQ(text, "Total particles: 0");
  WriteFrame(a->cache.FramePath(4), 6);
  a->RefreshCacheInfo();
  GetDlgItemText(dlg, 1011, text, sizeof text);
  EXPECT_STREQ(text, "Last frame solved: 4");
  GetDlgItemText(dlg, 1012, text, sizeof text);
  EXPECT_STREQ(text, "Total particles: 6");

  EXPECT_TRUE(a->AddCacheHistory("shot_000"));
  EXPECT_FALSE(a->AddCacheHistory("shot_000"));
  EXPECT_EQ(a->cacheHistory, (std::vector<std::string>{"default", "shot_000"}));
  EXPECT_EQ(SendDlgItemMessage(dlg, 1034, CB_GETCOUNT, 0, 0), 1);
  SendDlgItemMessage(dlg, 1034, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "shot_000");
  a->hMainRollout = nullptr;
  DestroyWindow(dlg);
}

TEST_F(GpuFluidTest, NoUsableCacheFolderIsReportedAndTheObjectStillWorks) {
  // The temporary folder is a plain file: nothing can be made below it.
  gpufe_test::WriteBytes(root_ + "/notadir", "x");
  ::setenv("TMPDIR", (root_ + "/notadir").c_str(), 1);
  vorel::host::ClearMessageBoxLog();
  BlobNode* a = NewFluid();
  const auto boxes = vorel::host::MessageBoxLog();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Vorel Warning!");
  EXPECT_EQ(boxes[0].text.rfind("Unable to locate a valid cache directory from Vorel_GPU.ini file", 0), 0u);
  EXPECT_FALSE(a->cache.IsCacheDirValid());
  EXPECT_EQ(a->cache.lastSolvedFrame(), -1);
  EXPECT_EQ(a->cache.DeleteFramesFrom(0), 0);
  a->ReadParams(0);
  EXPECT_EQ(a->SolverEnd, 100);
}

}  // namespace
