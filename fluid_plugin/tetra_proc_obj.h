// TetraProcObj, the fluid system object: the scene object that the host
// creates, evaluates, draws, renders, saves and loads. It embeds the fluid
// engine for its whole life and is the engine's owner; every other part of
// the plug-in reaches a fluid system through it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fluid_core/engine.h"
#include "host/sdk/max.h"

class ParamMap2UserDlgProc;
class TetraProcObj;

// Process-wide state shared by every fluid system.
extern int SystemCount;           // fluid system objects alive
extern bool RenderInProgress;     // between RenderBegin and RenderEnd
extern bool RedrawRequested;      // the next Display asks the host to redraw

// Object flag that RenderBegin clears and RenderEnd sets again.
constexpr uint32_t kNotRenderingFlag = 0x00800000u;

// Whether `system` still names a live fluid system with this serial number
// (long runs keep both, since a deleted object's address may be reused).
bool IsLiveSystem(const TetraProcObj* system, uint64_t serial);
// The live fluid systems, in construction order.
std::vector<TetraProcObj*> LiveSystems();

// The rollouts' dialog procedures are made by the user-interface code, one
// per map of "params" (0..5); without a factory the rollouts stay automatic.
typedef ParamMap2UserDlgProc* (*FluidRolloutProcFactory)(int map, TetraProcObj* system);
void SetFluidRolloutProcFactory(FluidRolloutProcFactory factory);

class TetraProcObj : public SimpleObject2, public FluidEngineOwner {
 public:
  INode* node = nullptr;
  FluidEngine engine;
  Mesh iconMesh;
  Mesh* renderMesh = nullptr;  // last mesh handed out by GetRenderMesh (the host owns it)
  float lastSurfaceLod, lastMeltingForce, lastDropSize, lastShrinkWrap;
  int lastShowMesh = -1;  // "ShowMesh" at the last parameter change; -1 before one
  float scaleValue = 1.0f;
  bool loading = false;
  bool isSolving = false;
  bool solveRunning = false;
  // Set by a loading construction, cleared by the engine's Reset once it
  // kept the loaded start frame and restored the wet maps.
  bool justLoaded = false;
  unsigned solveStartClock = 0;
  Point3 systemOrigin;     // translation of the node's object transform at the last Display
  float lastGravity = -1e30f;
  bool rendering = false;
  int renderFrame = -999;  // -999: no frame is being rendered
  // The rollouts' windows while they are open (set by the rollout code).
  HWND cacheRollout = nullptr;
  HWND animationRollout = nullptr;
  HWND dynamicsRollout = nullptr;
  HWND surfaceRollout = nullptr;
  HWND sourcesRollout = nullptr;
  HWND objectsRollout = nullptr;
  // What a load brings for the post-load step: source node names (256-byte
  // records) and each source's source-file folder (260-byte records).
  std::vector<std::string> savedSourceNames;
  std::vector<std::string> savedSourceFolders;
  bool toolbarShown = false;

  explicit TetraProcObj(bool loading);
  ~TetraProcObj() override;

  uint64_t Serial() const { return serial_; }
  // The system's folder name for a new, unloaded system in the current scene.
  static std::string DefaultSystemName(const std::string& sceneFile, int number);

  // --- surface display ---
  void LoadSurfaceFrame(int frame) override;
  void ClearMesh() override;
  void BuildIconMesh() override;

  // --- FluidEngineOwner ---
  IParamBlock2* SystemParamBlock() override { return pblock2; }
  bool IsSolving() override { return isSolving; }
  bool SolveRunning() override { return solveRunning; }
  void SetSolveRunning(bool on) override { solveRunning = on; }
  bool JustLoaded() override { return justLoaded; }
  void ClearJustLoaded() override { justLoaded = false; }
  unsigned SolveStartClock() override { return solveStartClock; }
  void InvalidateMeshCaches() override;
  void InvalidateValidity() override { ivalid = NEVER; }
  void ReferenceSourceNode(int slot, INode* n) override;
  HWND CacheRollout() override { return cacheRollout; }
  void SetDialogText(HWND dialog, int control, const char* text) override;
  void SetSolveProgress(int position, int rangeLow, int rangeHigh) override;
  void SetSolveElapsedText(const char* text) override;

  // --- host object ---
  void DeleteThis() override { delete this; }
  void GetClassName(std::string& s) override;
  Class_ID ClassID() override;
  void BeginEditParams(IObjParam* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(IObjParam* ip, uint32_t flags, Animatable* next) override;
  int RenderBegin(TimeValue t, uint32_t flags = 0) override;
  int RenderEnd(TimeValue t) override;
  IParamBlock2* GetParamBlock(int i) override { (void)i; return pblock2; }
  IParamBlock2* GetParamBlockByID(BlockID id);
  int NumRefs() override { return engine.sourceCount + 1; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle target, PartID& partID,
                             RefMessage message) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  // Render items for retained-mode viewports. This host has none and never
  // asks: its viewports draw through Display, which shows the icon and the
  // surface mesh, so there is nothing for this to build.
  void UpdateDisplay() override {}
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  void GetLocalBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  const char* GetObjectName() override { return "Vorel"; }
  void InitNodeName(std::string& s) override { s = "Vorel_"; }
  ObjectState Eval(TimeValue t) override;
  void GetDeformBBox(TimeValue t, Box3& box, Matrix3* tm = nullptr, bool useSel = false) override;
  int CanConvertToType(Class_ID obtype) override;
  Object* ConvertToType(TimeValue t, Class_ID obtype) override;
  Interval ObjectValidity(TimeValue t) override { return Interval(t, t); }
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;
  void BuildMesh(TimeValue t) override;

  // Brings the engine to t (solving on the fly when a run asks for it) and
  // counts the time of a frame solve in the run's statistics.
  void UpdateEngine(TimeValue t);
  // The position scale of the frame files follows this system's "Scale" at
  // t (scaleValue with it), whoever changed it: rollout, script, key, preset.
  void FollowScale(TimeValue t);
  // The system's own node, found through its dependents; null when none.
  INode* FindOwnNode();
  // Creates the system folder, surface/ and maps/ under the cache root, for
  // a caller that chose the root and takes the folder as the system's own.
  void CreateCacheFolders();
  // The post-load fix-up (run by VorelPostLoadCB once the scene is loaded).
  void PostLoadFixup();
  // Host notifications registered by every system.
  static void NotifyProc(void* param, NotifyInfo* info);

 private:
  void OnParamsChanged();
  void OnSourceMoved(INode* sourceNode);
  void OnNodesPreDelete(INodeTab* nodes);
  void BindSource(int slot, INode* target);
  // Save and load helpers.
  void RenameForScene();
  void FindCacheFolder(const std::string& savedRoot, const std::string& savedName);
  // Gives the system a default name ("aux%03d", or "<scene>_aux%03d" with a
  // scene base name) whose folder it creates itself under the cache root,
  // from `number` on: a name whose folder anything already holds (another
  // scene's cache, a cache of another process) is skipped, never emptied.
  void ClaimDefaultName(const std::string& sceneBase, int number);

  uint64_t serial_ = 0;
  int number_ = 0;  // the number of the default name the constructor gave
  std::string claimedFolder_;  // the system folder this object made itself
  // Values read from chunk 1967 until chunk 1969 names the cache folder.
  std::string loadedName_;
};

// The post-load callback a Load registers; it deletes itself after its proc.
class VorelPostLoadCB : public PostLoadCallback {
 public:
  explicit VorelPostLoadCB(TetraProcObj* system) : system_(system) {}
  void proc(ILoad* iload) override;

 private:
  TetraProcObj* system_;
};
