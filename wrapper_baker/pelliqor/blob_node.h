// Pelliqor, the particle wrapper: a geometric object that wraps the
// particles of other particle systems of the scene (classic ones and
// event-driven ones with their events) in a blob surface, rebuilt on every
// evaluation, optionally through per-frame particle and surface caches.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/sdk/max.h"
#include "host/sdk/particles.h"
#include "mesher/surface_builder.h"
#include "wrapper_baker/pelliqor_interface.h"
#include "wrapper_baker/skeleton/blob_skeleton.h"

class ParamMap2UserDlgProc;

namespace pelliqor {

// Parameter ids of the block "params".
enum : ParamID {
  kViewportLOD = 0,
  kDropSize = 1,
  kMeltingForce = 2,
  kShrinkage = 3,
  kRenderLOD = 4,
  kDisable = 5,
  kNodeList = 6,
  kUseAllPFEvents = 7,
  kPfEventList = 8,
  kHideInViewports = 9,
  kParticleLifeAffectsSize = 10,
  kOverrideLifespan = 11,
  kLifespan = 12,
  kExportDirectory = 13,
  kName = 14,
  kUseCache = 15,
  kUsePartCache = 16,
  kTimeOffset = 17,
  kTimeScale = 18,
  kParticleAgeBehavior = 19,
};

// Rollout maps and their dialogs.
enum : MapID { kMainMap = 0, kPFMap = 1, kCacheMap = 2 };
enum : int { kMainDialog = 101, kPFDialog = 102, kCacheDialog = 211, kPFEventsDialog = 209 };

// Controls the object and its rollouts write or enable by hand.
enum : int {
  kFacesText = 1008,
  kParticlesText = 1009,
  kVersionText = 1010,
  kAddButton = 1332,
  kRemoveButton = 1333,
  kPickButton = 1334,
  kPFAddButton = 1001,
  kPFEventListBox = 1265,
  kExportDirText = 3077,
  kBrowseButton = 1018,
  kUseMeshCacheCheck = 1016,
  kUsePartCacheCheck = 1017,
  kFlushMeshButton = 1021,
  kFlushPartButton = 1022,
  kResetButton = 1023,
};

// The class id of systems the particle filter never offers.
inline Class_ID ExcludedParticleClassID() { return Class_ID(0x6DD2653D, 0x37F82C03); }

// One gathered particle, in world space.
struct GatheredParticle {
  Point3 position;
  uint8_t skip = 0;
  float size = 1.0f;
};

// The gathering settings read from the block at one time.
struct GatherSettings {
  bool lifeAffectsSize = false;
  bool overrideLifespan = false;
  int lifespanFrames = 30;
  bool decreasing = false;  // "Particle Age behavior" 1
  bool useAllEvents = true;
  std::vector<INode*> events;  // the non-empty entries of pfEventList
  int ticksPerFrame = 160;
};

// Gathers the particles of one particle-system node at t. A system offering
// the extended (event-driven) interface is read through it, even when it
// also answers the classic one; a node whose object is no particle system
// adds nothing.
void GatherNode(INode* node, TimeValue t, const GatherSettings& s, std::vector<GatheredParticle>& out);

// Size factors of a classic particle (age and own life in ticks) and of an
// extended one (age and scale); both in [0.001, 1].
float ClassicParticleSize(TimeValue age, TimeValue ownLife, const GatherSettings& s);
float ExtendedParticleSize(TimeValue age, float scale, const GatherSettings& s);

// The frames a time maps to: F chooses the cache files, c is the host's own
// frame (caches are written only while c == F), cacheFrame is F wrapped into
// the animation range.
struct CacheFrames {
  int mapped = 0;      // F, at least 0
  int current = 0;     // c
  int cacheFrame = 0;  // the number in the cache file names
};
CacheFrames MapCacheFrames(TimeValue t, float timeScale, float timeOffsetFrames, int ticksPerFrame,
                           Interval animRange);

class BlobNode : public blob_skeleton::BlobSkeleton, public IBlobNode {
 public:
  explicit BlobNode(bool loading = false);
  ~BlobNode() override;

  BaseInterface* GetInterface(Interface_ID id) override;
  using BlobSkeleton::GetInterface;
  void GetClassName(std::string& s) override { s = "Pelliqor"; }
  Class_ID ClassID() override { return PELLIQOR_CLASS_ID(); }
  const char* GetObjectName() override { return "Pelliqor"; }
  void InitNodeName(std::string& s) override { s = "Pelliqor_"; }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  IOResult Load(ILoad* iload) override;
  // A "Name" that is no single folder name (set by a script, typed, or
  // loaded from a scene) is refused with a prompt and the last usable name
  // (else "default") put back.
  void RefuseUnusableName();
  ParamID DetailParam(bool viewport) override;
  void UpdateMesh(TimeValue t, Mesh& mesh, float detail, bool viewport) override {
    UpdateSurface(t, mesh, detail, viewport);
  }

  bool& CreationFlag() override;
  const blob_skeleton::IconTables& Icon() override { return blob_skeleton::WrapperIcon(); }

  // Builds the surface at t into mesh (object space of this object's node).
  void UpdateSurface(TimeValue t, Mesh& mesh, float detail, bool viewport);
  // The number of particles the gathering adds at t (0 when disabled).
  int CountParticles(TimeValue t);
  // Builder count := 0, then the particles of t are added; never more than
  // the batch holds. Returns how many were added.
  int FillParticles(TimeValue t);

  // The scripting interface (see IBlobNode).
  FPInterfaceDesc* GetDesc() override;
  void addNode(INode* node) override;
  void removeNode(INode* node) override;
  void addPFnode(INode* node) override;
  void removePFnode(INode* node) override;
  void pick() override;
  void add() override;
  void addPF() override;

  // Rollout behaviour (see wrapper_ui.cpp).
  // Qualifies a node for the node list: a particle system at the current
  // time, not of the excluded class, not listed yet.
  bool QualifiesForList(INode* node);
  // Appends nodes to nodeList as one undo step, notifies and redraws;
  // nodes that do not qualify (or repeat) are left out. Returns how many.
  int AppendParticleNodes(const std::vector<INode*>& nodes);
  // The event nodes of the listed event-driven systems (no repeats), and the
  // table the event dialog chose from them.
  std::vector<INode*> CollectEventCandidates();
  // Deletes the cache files of one kind in the instance folder and replays
  // the animation range so that they are written again.
  void FlushCaches(const char* pattern);
  // Enables the rollouts' controls after the cache switches (parts 1-3 of
  // the rule, each where its rollout is open).
  void ApplyCacheEnabling(bool cacheRollout, bool mainRollout, bool timeControls);
  std::string InstanceFolderAt(TimeValue t);
  HWND RolloutWindow(MapID map);
  void SetStatusText(int control, const char* fmt, int value);
  void SetPickButton(bool on);
  void LeavePickMode();

  SurfaceBuilder& Builder() { return *builder_; }
  Interface* EditInterface() const { return ip_; }
  const std::vector<INode*>& EventCandidates() const { return eventCandidates_; }

  // The pick-mode callback the viewport pick runs (owned by the object).
  class PickMode;

 protected:
  FPStatus _dispatch_fn(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) override;

 private:
  void Gather(TimeValue t);

  std::unique_ptr<SurfaceBuilder> builder_;
  bool warnedNoCacheFolder_ = false;  // the missing cache folder was said
  std::string keptName_ = "default";  // the last usable "Name"
  bool warnedDeadEvents_ = false;     // the dropped event filter was said
  std::vector<INode*> eventCandidates_;
  std::vector<int> chosenEvents_;
  Interface* ip_ = nullptr;
  bool keptRealTime_ = true;
  bool editing_ = false;
  std::vector<GatheredParticle> gathered_;
  TimeValue gatheredAt_ = 0;
  bool gatheredValid_ = false;
  PickMode* pickMode_ = nullptr;  // made by the first pick, deleted by LeavePickMode
};

// The class descriptor and its parts (blob_node.cpp).
ClassDesc2* GetBlobNodeDesc();
ParamBlockDesc2* GetBlobNodeBlockDesc();
// The plug-in's instance handle: dialog templates are registered under it.
HINSTANCE PluginInstance();
// Registers the dialog templates of the three rollouts and the event dialog.
void RegisterDialogs();
// The rollout procedures (wrapper_ui.cpp).
ParamMap2UserDlgProc* MainDlgProc();
ParamMap2UserDlgProc* PFDlgProc();
ParamMap2UserDlgProc* ExportDlgProc();

}  // namespace pelliqor
