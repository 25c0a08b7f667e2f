// The command-panel user interface of the emitter and of the ghost source:
// the dialog templates and procedures of their rollouts, the pick modes that
// set the emitter's instanced-geometry and mapper nodes, and the
// select-by-name dialogs that choose the shape to emit from or the object to
// fill.
#pragma once
#include <string>

#include "host/ui/ui.h"
#include "scene_objects/emitter.h"

class GenGhostParticle;

// Dialog templates.
constexpr int kSourceParamsDialog = 220;
constexpr int kParticleDisplayDialog = 169;
constexpr int kGhostParamsDialog = 222;
constexpr int kPresetsDialog = 223;

// Controls with their own handling.
namespace emitter_ctl {
enum : int {
  // dialog 169
  kPickInstance = 1076,
  kInstanceName = 1089,
  kLookDrops = 3052, kLookDots = 1023, kLookTicks = 1024, kLookRenderView = 1025,
  kRenderTetrahedron = 3071, kRenderFacing = 3072, kRenderNothing = 3073, kRenderInstanced = 3074,
  kFacingCamera = 3077, kFacingSpeed = 3078, kFacingSurface = 3079,
  // dialog 220
  kSelect = 1015,
  kEmissionName = 1025,
  kSettle = 1018,
  kChooseFolder = 1020,
  kFolderField = 3077,
  kEmitCircle = 1021, kEmitShape = 1022, kEmitFilled = 1024,
  kMapper = 1102,
  kNewGhost = 1129,
  kMapperLabel = 1103,
  kHideSource = 1019, kLodPreview = 1030, kHideTrajectory = 1128,
  kFillLayersSpin = 1504, kFillCountSpin = 1507,
  kTrajectoryEdit = 1508, kTrajectorySpin = 1509,
  // dialog 222
  kGhostParentName = 1025,
};
}  // namespace emitter_ctl

// Highlight of the pick and select buttons (a COLORREF).
constexpr COLORREF kEmitterPickHighlight = 0xC0C0FF;
// How long a focused edit's help stays on the prompt line.
constexpr unsigned kEmitterPromptMs = 5000;
// The command that "Settle" runs ("Hold time").
constexpr int kHoldTimeCommand = 40001;

// What the rollouts ask of the plug-in shell: the floating toolbar's states
// and running a command of its action table. Each entry may be missing
// (nothing happens then).
struct EmitterShellHooks {
  void (*setLookState)(int state) = nullptr;
  void (*setRenderTypeState)(int state) = nullptr;
  void (*setFacingState)(int state) = nullptr;
  void (*showFacingButton)(int state) = nullptr;
  void (*hideFacingButton)() = nullptr;
  void (*runCommand)(int command) = nullptr;
};
void SetEmitterShellHooks(const EmitterShellHooks& hooks);
const EmitterShellHooks& EmitterShell();

// Registers the templates of dialogs 220, 169 and 222, and adds the
// emitter's per-source settings to the "Presets" rollout's template when it
// lacks them (idempotent).
void RegisterEmitterDialogs(HINSTANCE instance);
// Hands the descriptors the rollout procedures of one emitter / ghost.
void PrepareEmitterRollouts(GenParticle* emitter);
void PrepareGhostRollouts(GenGhostParticle* ghost);

// The help text a focused edit of these rollouts shows (null: none).
const char* EmitterPromptText(int editId);

// ---- pick modes ----

// What the two emitter pick modes share: the filter offers the nodes, and
// one of the emitter's rollout buttons stays checked while the mode runs.
class EmitterNodePickMode : public PickModeCallback {
 public:
  GenParticle* emitter = nullptr;
  Interface* ip = nullptr;
  BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) override;
  void EnterMode(IObjParam* ip) override;
  void ExitMode(IObjParam* ip) override;
  PickNodeCallback* GetFilter() override { return filter_; }

 protected:
  EmitterNodePickMode(PickNodeCallback* filter, HWND GenParticle::*rollout, int button)
      : filter_(filter), rollout_(rollout), button_(button) {}
  EmitterNodePickMode(const EmitterNodePickMode&) = delete;
  EmitterNodePickMode& operator=(const EmitterNodePickMode&) = delete;
  // The node under the cursor when there is an emitter and the filter takes
  // it, else null.
  INode* PickedNode(ViewExp* vpt);

 private:
  PickNodeCallback* filter_;
  HWND GenParticle::*rollout_;
  int button_;
};

// Instanced geometry: a node that converts to a triangle mesh and is none
// of the system's own ("Vorel..." names).
class VorelPickInstanceCallback : public PickNodeCallback {
 public:
  BOOL Filter(INode* node) override;
};
class VorelPickInstanceModeCallback : public EmitterNodePickMode {
 public:
  VorelPickInstanceModeCallback()
      : EmitterNodePickMode(&filter_, &GenParticle::displayRollout, emitter_ctl::kPickInstance) {}
  // The node becomes reference 2 and field 1089 shows its name.
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override;

 private:
  VorelPickInstanceCallback filter_;
};

// Mapper: any node that converts to a triangle mesh.
class PickMapperNodeCallback : public PickNodeCallback {
 public:
  BOOL Filter(INode* node) override;
};
class PickMapperModeCallback : public EmitterNodePickMode {
 public:
  PickMapperModeCallback() : EmitterNodePickMode(&filter_, &GenParticle::sourceRollout, emitter_ctl::kMapper) {}
  // The node becomes reference 3 and label 1103 shows its name.
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override;

 private:
  PickMapperNodeCallback filter_;
};

// ---- select-by-name ----

// A shape to emit from: shapes other than the two excluded shape classes,
// none of the system's own. The chosen node becomes the emission node; the
// emitter moves onto its transform and the shape stops colliding.
class CSelectShapeSourcesCallback : public HitByNameDlgCallback {
 public:
  explicit CSelectShapeSourcesCallback(GenParticle* e) : emitter_(e) {}
  const char* dialogTitle() override { return "Vorel Source Shape Selection"; }
  const char* buttonText() override { return "Select"; }
  BOOL singleSelect() override { return TRUE; }
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;
  const std::string& PickedName() const { return picked_; }

 private:
  GenParticle* emitter_;
  std::string picked_;
};

// An object to fill: shown, converts to a triangle mesh, not a shape, none of
// the system's own. The chosen node becomes the emission node and is filled.
class CSelectEmittingObjectsCallback : public HitByNameDlgCallback {
 public:
  explicit CSelectEmittingObjectsCallback(GenParticle* e) : emitter_(e) {}
  const char* dialogTitle() override { return "Vorel Emitting Objects Selection"; }
  const char* buttonText() override { return "Select"; }
  BOOL singleSelect() override { return TRUE; }
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;

 private:
  GenParticle* emitter_;
};

// ---- what the source rollout's buttons do, callable without it ----

// "Circle": no shape rows, field 1025 emptied.
void EmitFromCircle(GenParticle& e);
// "Emit from a plain shape" / "Object filled": the emission node is cleared
// and the selection opens; a cancelled selection leaves a circle emitter
// (EmissionType 0, no node, no rows). True when a node was chosen.
bool EmitFromShape(GenParticle& e);
bool EmitFromFilledObject(GenParticle& e);
// The directory chooser, starting in the system's cache root; a chosen
// folder becomes the emitter's source folder (cut to the field's length),
// a cancel changes nothing. True when a folder was chosen.
bool ChooseSourceFolder(GenParticle& e, HWND owner);
