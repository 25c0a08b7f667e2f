// The fluid system's six rollouts: their dialog templates and the user dialog
// procedures that add to the parameter maps what the maps cannot do alone
// (custom buttons, prompt-line help, buttons that run actions, the source and
// collider lists, collider settings, surface repair, the cache's folder, pack
// and load), with the collider pick mode and select-by-name dialog.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/max.h"
#include "host/ui/ui.h"

class TetraProcObj;

// Dialog templates of the rollouts (map index in the comment).
enum FluidRolloutDialog : int {
  kDlgAnimationControl = 101,  // 0
  kDlgDynamicsParams = 180,    // 1
  kDlgSurfaceParams = 181,     // 2
  kDlgSourceCreation = 174,    // 3
  kDlgPerObjectParams = 175,   // 4
  kDlgCacheParams = 173,       // 5
};

// Private message the "GO!" button posts to its own rollout, so that the
// batch solve starts once the click has been handled.
constexpr UINT kMsgStartSolve = 1026;

// Custom button highlight: the fixed colour, or the host colour-manager
// colour kButtonHostColour.
constexpr COLORREF kButtonHighlight = 0xC0C0FF;
constexpr int kButtonHostColour = 38;

// Controls the procedures handle (each rollout's own ids; dialogs reuse numbers).
namespace fluid_ctl {
enum : int {
  // animation (101)
  kGo = 1014, kShowClipBox = 1029, kShowLog = 1110, kHideAll = 1040, kKeepLast = 1041,
  kLoop = 1042, kOffsetEdit = 1051, kOffsetSpin = 1052, kVersion = 1101,
  // dynamics (180)
  kFlushParticles = 1006, kSubSampleEdit = 1025, kKeepUntilEdit = 1012, kGravityEdit = 1496,
  kScaleEdit = 1027, kScaleSpin = 1028,
  // surface (181)
  kFlushSurface = 1013, kTextureGizmo = 1022, kEnableSurface = 1019, kApplyMapping = 1021,
  kBuildSurface = 1027, kRepairSurface = 1029, kCreateWetmaps = 1028, kEntireRange = 1109,
  kMaxValueSpin = 1083, kMinValueSpin = 1085,
  // sources (174) and colliders (175)
  kNodeList = 1080, kNewSource = 1007, kSelectSource = 1015,
  kCollide = 1057, kSelectObjects = 1077, kPick = 1076, kApply = 1060, kDelete = 1078,
  kObjectManager = 1079,
  // cache (173)
  kLoad = 1017, kSave = 1019, kSet = 1018, kPath = 3077, kParticleCount = 1053,
  kFramesSolved = 1054, kMeshesSolved = 1055,
};
}  // namespace fluid_ctl

// Registers the six dialog templates with the plug-in's module and hands
// TetraProcObj the factory of their procedures. Idempotent.
void InstallFluidRollouts();
// The procedure of map 0..5 for a system (null for another map).
ParamMap2UserDlgProc* MakeFluidRolloutProc(int map, TetraProcObj* system);
// The collider rollout's window while one is open (the pick and select
// tools append to its list), else null.
HWND ColliderRollout();

// ---- what the controls do, callable without the dialogs ----

// "Scale" into the system's scale copy and the frame files' position scale
// (20 x "Scale", with its reciprocal).
void UpdateSystemScale(TetraProcObj& system, TimeValue t);
// "Enable surface" was clicked (the map has written "ShowMesh"): toolbar
// button and surface state both follow the new value; frame N of t is meshed
// when the surface is on, N is solved and unmeshed and lies in the mesher's range.
void EnableSurfaceClicked(TetraProcObj& system, TimeValue t);
// Rebuilds the current frame's surface with the texture gizmo's projection;
// nothing for an unsolved frame.
void ApplyMapping(TetraProcObj& system, TimeValue t);
// Every frame 0..lastSolved whose surface file does not open or whose meshed
// flag is clear loses its flag, and lastMeshed drops below the first of them;
// answers that first frame (-1 when every surface is there). The caller runs
// the surface rebuild.
int MarkMissingSurfaces(TetraProcObj& system);
// Shows the node "VorelTextureGizmo" when hidden and hides it when shown;
// false when there is no such node.
bool ToggleTextureGizmo();

// List box rows (the collider and source lists): appends text unless a row
// holds exactly that text; answers whether it appended.
bool AppendUniqueRow(HWND list, const char* text);
std::vector<std::string> ListRows(HWND list);
// Deletes the highlighted row; the highlight moves to the row that took its
// place, or to the one before when it was the last. False without a highlight.
bool DeleteHighlightedRow(HWND list);

// The collider settings the rollout holds at t, with the fallbacks of a read
// that gives nothing (friction 1.0, bounce 5.0, gap 0.1, collide 1,
// adherence 0.65).
struct RolloutObjectSettings {
  float friction = 1.0f, bounce = 5.0f, gap = 0.1f, adherence = 0.65f;
  int collide = 1;
};
RolloutObjectSettings ReadColliderSettings(IParamBlock2* pb, TimeValue t);
// Gives every named node (in order; unknown names skipped) the per-object
// attribute with these settings; its wet-map settings and particle killer
// are the node's own when it has the attribute already, else the engine's
// ini defaults (killer off). Answers the number of nodes given it.
int ApplyColliderSettings(TetraProcObj& system, const std::vector<std::string>& names,
                          const RolloutObjectSettings& s);

// Makes root the cache root and moves the system's cache there. Nothing
// (false) for an empty root, the current root, or a root where the system's
// folder cannot be made (a prompt says so, the cache stays where it is).
bool MoveCacheRoot(TetraProcObj& system, const std::string& root);
// Packs the cache into path; the prompt or the warning box reports.
bool SaveCacheFile(TetraProcObj& system, const std::string& path, const std::string& title);
// Loads a ".Vor" packed file, or the unpacked cache in the folder of any
// other file (its "*.Vorel" frames and "surface/*.bin" meshes copied over
// the system's, then reloaded); reports as the load button does.
bool LoadCacheFile(TetraProcObj& system, const std::string& path, const std::string& title);
// The cache rollout's dialogs (save, load, directory chooser), as the buttons run them.
void SaveCacheDialog(TetraProcObj& system, HWND owner);
void LoadCacheDialog(TetraProcObj& system, HWND owner);
void ChooseCacheRootDialog(TetraProcObj& system, HWND owner);

// ---- the collider pick and select tools ----

// Accepts nodes whose object converts to a triangle mesh at the current time
// and whose names do not start with "Vorel" (the system's own helpers never
// collide).
class VorelPickNodeCallback : public PickNodeCallback {
 public:
  BOOL Filter(INode* node) override;
};

// The module-wide pick mode of the collider rollout's "Pick" button: every
// pick appends the node's name to the list once; the mode stays until the
// user leaves it, and then releases the button.
class VorelPickModeCallback : public PickModeCallback {
 public:
  void Bind(TetraProcObj* system, HWND rollout);
  BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) override;
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override;
  void ExitMode(IObjParam* ip) override;
  PickNodeCallback* GetFilter() override { return &filter_; }

 private:
  TetraProcObj* system_ = nullptr;
  HWND rollout_ = nullptr;
  VorelPickNodeCallback filter_;
};
VorelPickModeCallback& ColliderPickMode();

// The collider rollout's select-by-name dialog.
class CSelectObjectsCallback : public HitByNameDlgCallback {
 public:
  explicit CSelectObjectsCallback(TetraProcObj* system) : system_(system) {}
  const char* dialogTitle() override { return "Vorel Object Selection"; }
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;

 private:
  TetraProcObj* system_;
};
