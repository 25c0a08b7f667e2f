// The GPU fluid object's data and life: construction and cache set-up, the
// creation hook, clone, save and load with the post-load repair, and the
// small services (parameters, presets, cache parameters, clip box, solver
// test, source creation, pick filters).
#include "gpu_frontend/gpu_fluid.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gpu_frontend/gpu_rollouts.h"
#include "gpu_frontend/gpu_source.h"
#include "gpu_frontend/main_rollout.h"
#include "gpu_frontend/plugin_shell.h"
#include "gpu_frontend/solve_driver.h"
#include "host/core/interaction.h"
#include "host/core/process.h"
#include "host/sdk/primitives.h"
#include "host/ui/window.h"
#include "mesher/surface_builder.h"

namespace vorel_gpufe {

using namespace blob_param;

namespace {

constexpr uint16_t kChunkFillRecords = 1975;
constexpr uint16_t kChunkCacheHistory = 1976;
constexpr uint16_t kChunkSourcePreview = 1977;
constexpr int kPostLoadPriority = 4;
constexpr unsigned kCacheNoticeMs = 6000;
constexpr int kMainCacheHistoryCombo = 1034;
constexpr int kMainLastFrameText = 1011;
constexpr int kMainParticlesText = 1012;
// The first source pours at this speed for this many frames.
constexpr float kFirstSourceSpeed = 13.0f;
constexpr int kFirstSourcePourFrames = 13;
constexpr float kDegrees35 = 0.610865f;
constexpr float kDegrees135 = 2.3561945f;

const char* const kNoCacheDirText =
    "Unable to locate a valid cache directory from Vorel_GPU.ini file or windows registry.\n"
    "Browse for a valid cache directory from Vorel command panel (particle cache section)\n"
    " or edit Vorel_GPU.ini file (CachesDir entry) with a default directory for Vorel caches.";

std::string StrParam(IParamBlock2* pb, ParamID id) {
  const char* s = pb ? pb->GetStr(id, 0) : nullptr;
  return s ? s : "";
}

// Reads one little-endian 32-bit field of a chunk.
template <typename T>
bool ReadField(ILoad* iload, T* v) {
  static_assert(sizeof(T) == 4, "32-bit fields");
  return iload->Read(v, 4) == IO_OK;
}

}  // namespace

bool BlobNode::creationPending = false;

BlobNode::BlobNode(bool loading, bool cloning) {
  GetBlobNodeDesc()->MakeAutoParamBlocks(this);
  const std::string root = GetCOREInterface()->GetDir(APP_MAX_SYS_ROOT_DIR);
  if (std::snprintf(cache.iniPath, sizeof cache.iniPath, "%s/plugcfg/Vorel_GPU.ini", root.c_str()) >=
      int(sizeof cache.iniPath))
    cache.iniPath[0] = '\0';  // no ini file fits: the registry and temp folder remain
  cache.InitRoots();
  if (!loading && !cloning && cache.IsCachesRootValid() &&
      CacheDirectory::IsPathValid(cache.cachesRoot + "/" + kDefaultCacheName)) {
    // "default" is in use (by another object, or a session before): a new
    // object starts in a fresh cache instead of clearing that one.
    CacheDirectory probe = cache;
    probe.SetCacheName(kDefaultCacheName);
    std::string fresh;
    probe.NextCacheName(&fresh);
    pblock2->SetValue(kCachePath, 0, fresh);
  }
  if (!SyncCacheParams())
    MessageBoxA(GetActiveWindow(), kNoCacheDirText, kWarningCaption, MB_OKCANCEL);
  if (!loading && !cloning) AddCacheHistory(cache.cacheName);
  builder = std::make_unique<SurfaceBuilder>(kBuilderDensity);
}

BlobNode::~BlobNode() { ForgetSourceOwner(this); }

void BlobNode::GetClassName(std::string& s) {
  const char* name = StableString(3);
  s = name ? name : "";
}

void BlobNode::SetReference(int i, RefTargetHandle rtarg) { SimpleObject2::SetReference(i, rtarg); }

void BlobNode::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  editInterface = ip;
  PrepareRollouts(this);
  PrepareMainRollout(this);
  // The simple object's default opens the descriptor's parameter maps.
  SimpleObject2::BeginEditParams(ip, flags, prev);
}

void BlobNode::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  SimpleObject2::EndEditParams(ip, flags, next);
  editInterface = nullptr;
}

void BlobNode::InvalidateUI() { GetBlobNodeDesc()->InvalidateUI(&BlobNodeBlockDesc()); }

void BlobNode::ReadParams(TimeValue t) {
  if (!pblock2) return;
  Interval iv = FOREVER;
  IParamBlock2* pb = pblock2;
  pb->GetValue(kSolverEnd, t, SolverEnd, iv);
  pb->GetValue(kSolverStart, t, SolverStart, iv);
  pb->GetValue(kSettleFrames, t, settleframes, iv);
  pb->GetValue(kDisplayPercentage, t, DisplayPercentage, iv);
  pb->GetValue(kTimeOffset, t, TimeOffset, iv);
  pb->GetValue(kKeepFrames, t, keepframes, iv);
  pb->GetValue(kShowParticles, t, ShowParticles, iv);
  pb->GetValue(kHideInViewports, t, HideInViewports, iv);
  pb->GetValue(kGenerateSurface, t, GenerateSurface, iv);
  pb->GetValue(kUseCache, t, UseCache, iv);
  pb->GetValue(kPreciseMotionBlur, t, PreciseMotionBlur, iv);
  pb->GetValue(kSettleBefore, t, SettleBefore, iv);
  pb->GetValue(kShowClipBox, t, ShowClipBoxOn, iv);
  pb->GetValue(kPlaybackSpeed, t, PlaybackSpeed, iv);
  float lod = 6.0f;
  pb->GetValue(kSurfaceLOD, t, lod, iv);
  pb->GetValue(kMeltingForce, t, MeltingForce, iv);
  pb->GetValue(kShrinkWrap, t, ShrinkWrap, iv);
  pb->GetValue(kDropSize, t, DropSize, iv);
  pb->GetValue(kSourceLOD, t, SourceLOD, iv);
  pb->GetValue(kGravity, t, gravity, iv);
  pb->GetValue(kViscosity, t, viscosity, iv);
  pb->GetValue(kBounce, t, bounce, iv);
  pb->GetValue(kFriction, t, friction, iv);
  pb->GetValue(kCollStrength, t, collStrength, iv);
  detail = 3.0f / (lod + 1.0f);
}

bool BlobNode::SyncCacheParams() {
  const std::string root = StrParam(pblock2, kCachesDirectoryPath);
  const std::string name = StrParam(pblock2, kCachePath);
  std::string use = name;
  if (!name.empty() && !CacheDirectory::IsUsableName(name)) {
    // A script or a scene file may hold any text here; the rollout's name
    // box refuses the same names.
    char text[640];
    std::snprintf(text, sizeof text, "Cache name '%.300s' refused: a cache is one folder in the caches directory",
                  name.c_str());
    ShowTempPrompt(text, kCacheNoticeMs);
    use = CacheDirectory::IsUsableName(cache.cacheName) ? cache.cacheName : kDefaultCacheName;
  }
  if (!cache.SelectCache(root, use)) return false;
  // Copies: each write below may bring the change handler back here.
  const std::string newRoot = cache.cachesRoot, newName = cache.cacheName;
  if (newRoot != root) pblock2->SetValue(kCachesDirectoryPath, 0, newRoot);
  if (newName != name) pblock2->SetValue(kCachePath, 0, newName);
  return true;
}

void BlobNode::RefreshCacheInfo() {
  if (!hMainRollout) return;
  char text[64];
  const int last = cache.lastSolvedFrame();
  if (last < 0)
    std::snprintf(text, sizeof text, "Last frame solved: NONE");
  else
    std::snprintf(text, sizeof text, "Last frame solved: %d", last);
  SetDlgItemText(hMainRollout, kMainLastFrameText, text);
  std::snprintf(text, sizeof text, "Total particles: %d", cache.LastFrameParticleCount());
  SetDlgItemText(hMainRollout, kMainParticlesText, text);
}

bool BlobNode::AddCacheHistory(const std::string& name) {
  if (std::find(cacheHistory.begin(), cacheHistory.end(), name) != cacheHistory.end()) return false;
  cacheHistory.push_back(name);
  if (hMainRollout)
    SendDlgItemMessage(hMainRollout, kMainCacheHistoryCombo, CB_INSERTSTRING, 0,
                       reinterpret_cast<LPARAM>(name.c_str()));
  return true;
}

void BlobNode::ShowClipBox(bool show) {
  INode* box = GetCOREInterface()->GetINodeByName(kClipBoxName);
  if (box)
    box->Hide(!show);
  else if (show)
    CreateClipBox();
}

void BlobNode::CreateClipBox() {
  Interface* ip = GetCOREInterface();
  if (ip->GetINodeByName(kClipBoxName)) return;
  auto* box = dynamic_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  if (!box) return;
  INode* node = ip->CreateObjectNode(box, kClipBoxName);
  if (!node) return;
  node->SetNodeTM(0, Matrix3());
  node->XRayMtl(true);
  node->BackCull(false);
  node->Hide(false);
  Matrix3 tm;
  tm.SetTrans(Point3(0.0f, 0.0f, -50.0f));
  node->SetNodeTM(0, tm);
  box->pblock2->SetValue(BOXOBJ_LENGTH, 0, 200.0f);
  box->pblock2->SetValue(BOXOBJ_WIDTH, 0, 200.0f);
  box->pblock2->SetValue(BOXOBJ_HEIGHT, 0, 200.0f);
  node->SetWireColor(0x0000FF);
}

void BlobNode::GetClipBoxAtTime(INode* node, TimeValue t, Point3* boxMin, Point3* boxMax) {
  *boxMin = Point3(-kUnboundedBox, -kUnboundedBox, -kUnboundedBox);
  *boxMax = Point3(kUnboundedBox, kUnboundedBox, kUnboundedBox);
  if (!node || node->IsHidden()) return;
  Object* obj = node->EvalWorldState(t).obj;
  if (!obj) return;
  Box3 box;
  obj->GetDeformBBox(t, box);
  const Matrix3 tm = node->GetNodeTM(t);
  *boxMin = tm.PointTransform(box.pmin) * kInvSolverScale;
  *boxMax = tm.PointTransform(box.pmax) * kInvSolverScale;
}

bool BlobNode::IsSolverRunning() {
  SetLastError(0);
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, kSolverRunningEventW);
  const bool running = GetLastError() == DWORD(ERROR_ALREADY_EXISTS);
  if (probe) CloseHandle(probe);
  // A solver just started holds no event yet; it runs all the same.
  return running || StartedSolverRunning();
}

VorSourceObj* BlobNode::CreateSourceObjectNode(Interface* ip) {
  if (!ip) ip = GetCOREInterface();
  auto* source = dynamic_cast<VorSourceObj*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, VorSourceObjClassID()));
  if (!source) return nullptr;
  ReadParams(0);
  particleSpacing = 1.0f / SourceLOD;
  source->creationScale = particleSpacing;
  source->owner = this;
  std::string name = kSourceNodeName;
  ip->MakeNameUnique(name);
  INode* node = ip->CreateObjectNode(source, name.c_str());
  if (!node) {
    source->DeleteThis();
    return nullptr;
  }
  source->node = node;
  const int n = pblock2->Count(kSourcesNodeList);
  Matrix3 tm;
  tm.RotateX(kDegrees35);
  tm.SetTrans(Point3(0.0f, 15.0f, 32.0f));
  tm.RotateZ(float(n) * kDegrees135);
  node->SetNodeTM(0, tm);
  pblock2->Append(kSourcesNodeList, 1, &node);
  particleFrame = -1;
  return source;
}

bool BlobNode::AcceptsForList(INode* node, ParamID list) {
  if (!node || !pblock2) return false;
  Object* obj = node->EvalWorldState(GetCOREInterface()->GetTime()).obj;
  if (!obj || !obj->CanConvertToType(triObjectClassID())) return false;
  if (obj->ClassID() == VorSourceObjClassID()) return false;
  for (int i = 0, n = pblock2->Count(list); i < n; ++i)
    if (pblock2->GetINode(list, 0, i) == node) return false;
  // A node that depends on this object (its own node, for one) would feed
  // the fluid back into itself.
  node->ClearAFlag(A_WORK1);
  NotifyDependents(FOREVER, 0, REFMSG_TEST_DEPENDENCY);
  return !node->TestAFlag(A_WORK1);
}

bool BlobNode::AcceptsCollider(INode* node) { return AcceptsForList(node, kCollidersNodeList); }
bool BlobNode::AcceptsFiller(INode* node) { return AcceptsForList(node, kFillingNodeList); }

void BlobNode::BuildIconMesh() {
  // A drop: a cone on a four-sided cap, 10 units tall.
  static const float kVerts[][3] = {{0, 0, 10}, {3, 0, 3}, {0, 3, 3}, {-3, 0, 3}, {0, -3, 3}, {0, 0, 0}};
  static const int kFaces[][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                                  {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}};
  iconMesh = Mesh();
  iconMesh.setNumVerts(6);
  iconMesh.setNumTVerts(6);
  for (int i = 0; i < 6; ++i) iconMesh.setVert(i, kVerts[i][0], kVerts[i][1], kVerts[i][2]);
  iconMesh.setNumFaces(8);
  for (int f = 0; f < 8; ++f) {
    iconMesh.faces[size_t(f)].setVerts(kFaces[f][0], kFaces[f][1], kFaces[f][2]);
    iconMesh.faces[size_t(f)].setEdgeVisFlags(1, 1, 1);
    iconMesh.faces[size_t(f)].setSmGroup(1);
  }
  iconMesh.AutoSmooth(89.0f * 3.14159265f / 180.0f);
  iconMesh.buildBoundingBox();
}

// ---- creation

void BlobNode::CreationHook(Interface* ip) {
  if (creationPending) return;
  if (!ip) ip = GetCOREInterface();
  auto* fluid = dynamic_cast<BlobNode*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, BlobNodeClassID()));
  if (!fluid) return;
  INode* node = ip->CreateObjectNode(fluid);
  if (!node) return;
  node->SetNodeTM(0, Matrix3());
  fluid->BuildIconMesh();

  const int tpf = ip->GetTicksPerFrame();
  if (VorSourceObj* source = fluid->CreateSourceObjectNode(ip)) {
    source->pblock2->SetValue(source_param::kSpeed, 0, kFirstSourceSpeed);
    const bool animate = ip->GetAnimateMode();
    ip->SetAnimateMode(true);
    source->pblock2->SetKey(source_param::kDisableSource, 0, 0);
    source->pblock2->SetKey(source_param::kDisableSource, kFirstSourcePourFrames * tpf, 1);
    ip->SetAnimateMode(animate);
    Matrix3 tm;
    tm.RotateX(1.6694f);
    tm.SetTrans(Point3(0.0f, 15.0f, 6.147f));
    if (source->node) source->node->SetNodeTM(0, tm);
  }

  if (auto* box = dynamic_cast<GenBoxObject*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()))) {
    if (INode* boxNode = ip->CreateObjectNode(box)) {
      fluid->pblock2->Append(kCollidersNodeList, 1, &boxNode);
      boxNode->XRayMtl(true);
      boxNode->SetNodeTM(0, Matrix3());
      box->SetParams(20.0f, 50.0f, 44.0f, 1, 1, 1);
    }
  }

  creationPending = true;
  fluid->particleFrame = -1;
  fluid->ivalid.SetEmpty();
  // Evaluate the new set-up without drawing it: the draw is what re-arms
  // creation, and it belongs to the host's next redraw.
  ip->SetTime(tpf, false);
  ip->SetTime(0, false);
}

// ---- clone, save, load

ReferenceTarget* BlobNode::Clone(RemapDir& remap) {
  auto* c = new BlobNode(false, true);
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  c->iconMesh = iconMesh;
  // The copy reads the same cache as its original until it is given another.
  c->SyncCacheParams();
  c->AddCacheHistory(c->cache.cacheName);
  BaseClone(this, c, remap);
  return c;
}

IOResult BlobNode::Save(ISave* isave) {
  isave->BeginChunk(kChunkFillRecords);
  int32_t count = int32_t(fillRecords.size());
  isave->Write(&count, 4);
  for (const FillRecord& r : fillRecords) {
    int32_t layers = r.layersUsed, n = int32_t(r.layerTable.size()), m = int32_t(r.points.size());
    isave->Write(&layers, 4);
    isave->Write(&n, 4);
    if (n) isave->Write(r.layerTable.data(), uint32_t(4 * n));
    isave->Write(&m, 4);
    for (const Point3& p : r.points) {
      const float xyz[3] = {p.x, p.y, p.z};
      isave->Write(xyz, 12);
    }
  }
  isave->EndChunk();

  isave->BeginChunk(kChunkCacheHistory);
  count = int32_t(cacheHistory.size());
  isave->Write(&count, 4);
  for (const std::string& name : cacheHistory) {
    int32_t len = int32_t(name.size() + 1);
    isave->Write(&len, 4);
    isave->Write(name.c_str(), uint32_t(len));
  }
  isave->EndChunk();

  ComputeSourcePreview(GetCOREInterface()->GetTime());
  isave->BeginChunk(kChunkSourcePreview);
  count = std::min<int32_t>(sourcePointCount, int32_t(sourcePoints.size()));
  if (count < 0) count = 0;
  isave->Write(&count, 4);
  for (int32_t i = 0; i < count; ++i) {
    const Point3& p = sourcePoints[size_t(i)];
    const float xyz[3] = {p.x, p.y, p.z};
    isave->Write(xyz, 12);
  }
  isave->EndChunk();
  return IO_OK;
}

bool BlobNode::LoadFillRecords(ILoad* iload) {
  uint32_t left = iload->CurChunkLength();
  int32_t count = 0;
  if (!ReadField(iload, &count) || count < 0) return false;
  left -= 4;
  // Every record takes at least 12 bytes: a count that promises more than
  // the chunk holds is damage, not data.
  if (uint64_t(count) * 12 > left) return false;
  std::vector<FillRecord> records(static_cast<size_t>(count));
  for (FillRecord& r : records) {
    int32_t n = 0, m = 0;
    if (!ReadField(iload, &r.layersUsed) || !ReadField(iload, &n) || n < 0) return false;
    left -= 8;
    if (uint64_t(n) * 4 + 4 > left) return false;
    r.layerTable.resize(size_t(n));
    if (n && iload->Read(r.layerTable.data(), uint32_t(4 * n)) != IO_OK) return false;
    left -= uint32_t(4 * n);
    if (!ReadField(iload, &m) || m < 0) return false;
    left -= 4;
    if (uint64_t(m) * 12 > left) return false;
    std::vector<float> xyz(size_t(m) * 3);
    if (m && iload->Read(xyz.data(), uint32_t(12 * m)) != IO_OK) return false;
    left -= uint32_t(12 * m);
    r.points.resize(size_t(m));
    for (int32_t i = 0; i < m; ++i) r.points[size_t(i)] = Point3(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
  }
  fillRecords = std::move(records);
  return true;
}

bool BlobNode::LoadCacheHistory(ILoad* iload) {
  uint32_t left = iload->CurChunkLength();
  int32_t count = 0;
  if (!ReadField(iload, &count) || count < 0 || uint64_t(count) * 4 > left - 4) return false;
  left -= 4;
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i) {
    int32_t len = 0;
    if (!ReadField(iload, &len) || len < 1) return false;
    left -= 4;
    if (uint32_t(len) > left) return false;
    std::string text(size_t(len), '\0');
    if (iload->Read(&text[0], uint32_t(len)) != IO_OK) return false;
    left -= uint32_t(len);
    text.resize(std::strlen(text.c_str()));  // up to its terminating zero
    names.push_back(text);
  }
  cacheHistory.clear();
  for (const std::string& name : names) AddCacheHistory(name);
  return true;
}

bool BlobNode::LoadSourcePreview(ILoad* iload) {
  const uint32_t left = iload->CurChunkLength();
  int32_t count = 0;
  if (!ReadField(iload, &count) || count < 0 || uint64_t(count) * 12 > left - 4) return false;
  std::vector<float> xyz(size_t(count) * 3);
  if (count && iload->Read(xyz.data(), uint32_t(12 * count)) != IO_OK) return false;
  sourcePoints.resize(size_t(count));
  for (int32_t i = 0; i < count; ++i)
    sourcePoints[size_t(i)] = Point3(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
  sourcePointCount = count;
  return true;
}

IOResult BlobNode::Load(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    // A damaged chunk is dropped whole: the scene still opens, without the
    // part that could not be read (no partial records are kept).
    switch (iload->CurChunkID()) {
      case kChunkFillRecords:
        if (!LoadFillRecords(iload)) fillRecords.clear();
        break;
      case kChunkCacheHistory:
        if (!LoadCacheHistory(iload)) cacheHistory.clear();
        break;
      case kChunkSourcePreview:
        if (!LoadSourcePreview(iload)) {
          sourcePoints.clear();
          sourcePointCount = 0;
        }
        break;
      default:
        break;
    }
    iload->CloseChunk();
  }
  if (res == IO_ERROR) return res;
  iload->RegisterPostLoadCallback(new MemberPostLoadCallback<BlobNode>(this, &BlobNode::PostLoadRepair),
                                  kPostLoadPriority);
  return IO_OK;
}

void BlobNode::PostLoadRepair() {
  // Fill records and list entries pair by position; a record with no entry
  // to pair with has lost its object and goes.
  const int entries = pblock2->Count(kFillingNodeList);
  if (int(fillRecords.size()) > entries) fillRecords.resize(size_t(std::max(entries, 0)));
  for (size_t i = 0; i < fillRecords.size(); ++i)
    fillRecords[i].node = pblock2->GetINode(kFillingNodeList, 0, int(i));

  for (int i = 0, n = pblock2->Count(kSourcesNodeList); i < n; ++i) {
    INode* node = pblock2->GetINode(kSourcesNodeList, 0, i);
    Object* obj = node ? node->GetObjectRef() : nullptr;
    if (auto* source = dynamic_cast<VorSourceObj*>(obj ? obj->FindBaseObject() : nullptr)) source->owner = this;
  }

  const std::string root = StrParam(pblock2, kCachesDirectoryPath);
  const std::string name = StrParam(pblock2, kCachePath);
  // An empty name is no lost cache: it is "default", which the sync below
  // selects.
  if (CacheDirectory::IsUsableName(name) && !cache.SetRootAndName(root, name)) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "Cache '%s' directory path not found!\n%s \nAn Empty dir has been created. Try to find missed "
                  "cache yourself.",
                  name.c_str(), root.c_str());
    MessageBoxA(GetActiveWindow(), text, kWarningCaption, MB_OKCANCEL);
  }
  SyncCacheParams();
}

}  // namespace vorel_gpufe
