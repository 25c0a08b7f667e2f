// The GPU fluid object's rollouts: the procedures behind the colliders,
// fillers, sources, surface and display rollouts and the main rollout's
// cache, preset, clean and export controls; the select-by-name dialogs that
// fill the node lists; filling a picked object with particles; the cache
// history; and the object's reaction to parameter changes.
#pragma once
#include <string>

#include "gpu_frontend/gpu_fluid.h"
#include "host/ui/ui.h"

namespace vorel_gpufe {

// Dialog templates of the rollouts.
constexpr int kMainDialogId = 185;
constexpr int kCollidersDialog = 101;
constexpr int kFillersDialog = 186;
constexpr int kSourcesDialog = 188;
constexpr int kSurfaceDialog = 190;
constexpr int kDisplayDialog = 191;
constexpr int kSourceParamsDialog = 189;  // the source object's own rollout

// Main rollout controls handled here.
namespace main_ctl {
enum : int {
  kClean = 1029,
  kExportPrts = 1037,
  kBrowseCache = 1145,
  kNewCache = 1146,
  kCacheName = 3077,
  kCacheHistory = 1034,
  kPresetList = 1036,
  kPresetName = 3078,
  kVersion = 1010,
};
}

constexpr const char* kAddSelectedText = "Add selected";
constexpr const char* kAddSourceUndoText = "Add existing source to the source list";

// Registers the dialog templates of the five rollouts besides the main one
// and of the source object's rollout, and adds the main rollout's cache,
// preset and export controls to its template (when registered). Idempotent.
void RegisterRolloutTemplates();
// Hands the block descriptor the five rollouts' procedures for fluid.
void PrepareRollouts(BlobNode* fluid);

// The main rollout's share handled here: its opening (combo boxes, names,
// tooltips) and its commands and Return presses. Both answer whether they
// handled the message.
void MainRolloutOpened(BlobNode& fluid, HWND hWnd);
bool MainRolloutMessage(BlobNode& fluid, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The main rollout's actions, callable without the dialog.
void CleanCache(BlobNode& fluid);
bool NewCache(BlobNode& fluid);
// Renames the current cache to name, or switches to it when a cache of that
// name exists. False (nothing changed, "Unable to change cache name..." on
// the prompt line) for unusable names and failed renames.
bool RenameOrSwitchCache(BlobNode& fluid, const std::string& name);
// Saves the preset typed as name; on success it becomes the object's
// preset name, else the prompt line says "Unable to change preset name".
bool SavePresetNamed(BlobNode& fluid, const std::string& name);
// Uses root + "/" + name as cache (the chosen folder of the "..." button),
// resolving the cache once.
bool UseCacheFolder(BlobNode& fluid, const std::string& path);
// Exports PRT files of the object through the frame playback.
void ExportPrts(BlobNode& fluid);

// Removes name from the cache history and its own entry of the main
// rollout's combo box (whole-name match); false when it is not listed.
bool RemoveCacheHistory(BlobNode& fluid, const std::string& name);

// Fills record from node's mesh at the current time: radius (1/lod) x 0.37,
// clearance (1/lod) x collStrength x 0.858, solver units, world frame.
void FillObject(BlobNode& fluid, INode* node, FillRecord& record);
// The layers of record that go to the solver, within [0, table size].
int ClampedLayers(const FillRecord& record);
// The particle count of the first `layers` layers of record.
int ParticlesInLayers(const FillRecord& record, int layers);
// Refills every record, keeping each one's chosen layer count where the new
// fill still has that many layers.
void RefillAll(BlobNode& fluid);
// Records follow the filling list: one per listed node, in list order
// (existing fills kept, new entries unfilled), none for unlisted nodes.
void ReconcileFillRecords(BlobNode& fluid);

// Select-by-name dialogs of the three node lists, titled and buttoned "Add
// selected"; each is made for one dialog and deleted by its caller.
class NodePickDialog : public HitByNameDlgCallback {
 public:
  explicit NodePickDialog(BlobNode* fluid) : fluid_(fluid) {}
  const char* dialogTitle() override { return kAddSelectedText; }
  const char* buttonText() override { return kAddSelectedText; }

 protected:
  BlobNode* fluid_;
};

class CollidersHitDialog : public NodePickDialog {
 public:
  using NodePickDialog::NodePickDialog;
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;
};

class SourcesHitDialog : public NodePickDialog {
 public:
  using NodePickDialog::NodePickDialog;
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;
};

class DumpHitDialog : public NodePickDialog {
 public:
  using NodePickDialog::NodePickDialog;
  int filter(INode* node) override;
  void proc(INodeTab& nodes) override;
};

// The fluid object's change handling (its NotifyRefChanged body for changes
// of its own block).
void FluidBlockChanged(BlobNode& fluid);

}  // namespace vorel_gpufe
