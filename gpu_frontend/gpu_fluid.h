// BlobNode: the GPU fluid object, one per liquid set-up of the GPU route. It
// holds every setting of a GPU simulation in its parameter block, owns its
// cache directory manager, the fill records of its filled objects, the
// particle arrays of the frame on show and the surface builder that meshes
// them. This unit holds its data, its life (construction, creation hook,
// clone, save, load, post-load repair) and its small services; evaluation
// and display, the solve and the rollouts live in their own units.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gpu_frontend/cache_directory.h"
#include "host/sdk/max.h"

class SurfaceBuilder;
class HitByNameDlgCallback;

namespace vorel_gpufe {

class VorSourceObj;

inline Class_ID BlobNodeClassID() { return Class_ID(0x52C04769, 0x3E707205); }

// Parameter ids of the fluid object's block (block 0, reference 0). 21 and
// 23 are not used.
namespace blob_param {
enum : ParamID {
  kDisable = 0,
  kHideInViewports = 1,
  kCachePath = 2,  // the current cache's name
  kTimeOffset = 3,
  kPlaybackSpeed = 4,
  kGenerateSurface = 5,
  kSurfaceLOD = 6,
  kDropSize = 7,
  kMeltingForce = 8,
  kShrinkWrap = 9,
  kShowParticles = 10,
  kDisplayPercentage = 11,
  kFillingNodeList = 12,
  kSourceLOD = 13,
  kFillingPercentage = 14,
  kParticlesFilled = 15,
  kCollidersNodeList = 16,
  kSourcesNodeList = 17,
  kCollStrength = 18,
  kUseCache = 19,
  kCachesDirectoryPath = 20,  // the folder that holds the caches
  kGravity = 22,
  kSolverStart = 24,
  kSolverEnd = 25,
  kSettleFrames = 26,
  kSettleBefore = 27,
  kKeepFrames = 28,
  kViscosity = 29,
  kBounce = 30,
  kFriction = 31,
  kPresetName = 32,
  kShowClipBox = 33,
  kPreciseMotionBlur = 34,
};
}  // namespace blob_param

// Parameter maps (rollouts) of the block.
namespace blob_map {
enum : MapID { kMain = 0, kColliders = 1, kFillers = 2, kSources = 3, kSurface = 4, kDisplay = 5 };
}

constexpr const char* kClipBoxName = "Vorel_clipbox";
constexpr const char* kSourceNodeName = "Vorel_source_";
constexpr const char* kWarningCaption = "Vorel Warning!";
// The solver program holds this event for its whole run.
constexpr const wchar_t* kSolverRunningEventW = L"Vorel_GPU_SOLVER";
// Host lengths are solver lengths times 20.
constexpr float kSolverScale = 20.0f;
constexpr float kInvSolverScale = 1.0f / 20.0f;
// The surface builder's particle density: one per 12^3.
constexpr float kBuilderDensity = 1.0f / 1728.0f;
// Clip box of no clipping (host GetClipBoxAtTime).
constexpr float kUnboundedBox = 1e23f;

// One object picked for filling: its fill points (solver units, world), the
// running point count per layer, the node (not owned) and the number of
// layers that go to the solver (-1 until filled).
struct FillRecord {
  std::vector<Point3> points;
  std::vector<int32_t> layerTable;
  INode* node = nullptr;
  int32_t layersUsed = -1;
};

class BlobNode : public SimpleObject2 {
 public:
  // loading: made by a scene load (the post-load callback sets the cache
  // up). A new object (neither loading nor cloning) takes a cache of its
  // own, so that it never clears frames another object or session solved.
  explicit BlobNode(bool loading, bool cloning = false);
  ~BlobNode() override;

  // ---- data (pblock2 is the simple object's reference 0)
  std::unique_ptr<SurfaceBuilder> builder;
  int32_t meshFrame = -1;         // frame of the last surface built
  float meshFrameF = -1.0f;
  int32_t particleFrame = -1;     // frame of the particles last read; -1 = stale
  float particleFrameF = -1.0f;
  float particleSpacing = 1.0f;
  float lastGravity = 25.0f;      // the last gravity the change handler saw
  int32_t particleCount = 0;
  bool particlesDamaged = false;  // the frame of the particles shown was refused
  // What is shown stands for a frame the solver has not written yet: the
  // next evaluation builds again rather than keep it.
  bool awaitingFrame = false;
  int32_t sourcePointCount = 0;
  // Display arrays, host units, world frame, particleCount entries.
  std::vector<Point3> shownPositions;
  std::vector<Point3> framePositions;
  std::vector<Point3> frameSteps;
  std::vector<Point3> fileVelocities;  // as stored in the frame (solver units)
  std::vector<Point3> sourcePoints;    // sourcePointCount entries
  std::vector<uint8_t> noSuccessor;
  std::vector<int32_t> frameIds;
  std::vector<int32_t> nextFrameIds;
  Box3 particleBox;
  std::vector<FillRecord> fillRecords;  // picking order
  Mesh iconMesh;
  std::vector<std::string> cacheHistory;
  CacheDirectory cache;
  INode* lastNode = nullptr;  // node of the last Display; not owned
  Interface* editInterface = nullptr;
  HWND hMainRollout = nullptr;
  HWND hDisplayRollout = nullptr;
  HWND hSourcesRollout = nullptr;
  HWND hCollidersRollout = nullptr;
  HWND hFillersRollout = nullptr;

  // Parameter mirrors (ReadParams). detail is 3 / (Surface LOD + 1).
  int32_t SolverEnd = 100, SolverStart = 0, settleframes = 50, DisplayPercentage = 100, TimeOffset = 0,
          keepframes = 0;
  int32_t ShowParticles = 1, HideInViewports = 0, GenerateSurface = 0, UseCache = 1, PreciseMotionBlur = 0,
          SettleBefore = 0, ShowClipBoxOn = 0;  // ShowClipBoxOn: the "ShowClipBox" parameter
  float PlaybackSpeed = 100.0f, detail = 3.0f / 7.0f, MeltingForce = 4.0f, ShrinkWrap = 0.5f, DropSize = 1.0f,
        SourceLOD = 20.0f, gravity = 9.8f, viscosity = 0.0f, bounce = 1.0f, friction = 0.0f, collStrength = 2.0f;

  // ---- services
  // Reads every mirrored parameter at t, then detail.
  void ReadParams(TimeValue t);
  // Hands "Caches directory path" and "Cache path" to the cache manager's
  // selection and writes back what it settled on; false when no valid cache
  // directory results (parameters untouched).
  bool SyncCacheParams();
  // Last solved frame and its particle count in the main rollout, when open.
  void RefreshCacheInfo();
  // Appends name to cacheHistory (and on top of the main rollout's combo
  // box when open); false, nothing changed, when it is listed already.
  bool AddCacheHistory(const std::string& name);
  void ShowClipBox(bool show);
  void CreateClipBox();
  // The clip box of node at t in solver units: the two corners of its box
  // transformed by its node transform; -/+kUnboundedBox when node is null
  // or hidden.
  static void GetClipBoxAtTime(INode* node, TimeValue t, Point3* boxMin, Point3* boxMax);
  // Whether a solver program runs: one holds the named event, or the one
  // this plug-in started last still runs. The probe leaves nothing held.
  static bool IsSolverRunning();
  // A new source node placed around the origin and listed; null when the
  // host refuses the object.
  VorSourceObj* CreateSourceObjectNode(Interface* ip);
  // Pick filters of the colliders and fillers dialogs.
  bool AcceptsCollider(INode* node);
  bool AcceptsFiller(INode* node);
  // Builds the icon mesh (any fixed mesh; replaces iconMesh).
  void BuildIconMesh();
  // Marks the displayed frame stale.
  void MarkStale() { particleFrame = -1; }
  // The post-load repair: fill records to list entries, owners of sources,
  // the cache folder (recreated with a warning when missing).
  void PostLoadRepair();
  // The creation hook of the class descriptor: one fluid object, one keyed
  // source, one collider box; nothing while the one-shot flag is set.
  static void CreationHook(Interface* ip);
  // The one-shot creation flag (cleared by the next Display of any fluid).
  static bool creationPending;

  // ---- host object interface
  void DeleteThis() override { delete this; }
  void GetClassName(std::string& s) override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return BlobNodeClassID(); }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  // Changes of the block: list clean-up, cache re-resolution, staleness
  // (defined with the rollouts).
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  const char* GetObjectName() override { return "Vorel_GPU"; }
  void InitNodeName(std::string& s) override { s = "Vorel_GPU_"; }
  Interval ObjectValidity(TimeValue t) override { return Interval(t, t); }
  void InvalidateUI() override;
  // Evaluation and display (playback unit).
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;
  void BuildMesh(TimeValue t) override;
  // Builds again while awaitingFrame, at the same time too.
  ObjectState Eval(TimeValue t) override;
  // Recomputes sourcePoints / sourcePointCount (playback unit).
  void ComputeSourcePreview(TimeValue t);

 private:
  // Reads one of the object's chunks; false on a short or inconsistent one.
  bool LoadFillRecords(ILoad* iload);
  bool LoadCacheHistory(ILoad* iload);
  bool LoadSourcePreview(ILoad* iload);
  bool AcceptsForList(INode* node, ParamID list);
};

// The class descriptor's automatic block description (built at load).
ParamBlockDesc2& BlobNodeBlockDesc();

}  // namespace vorel_gpufe
