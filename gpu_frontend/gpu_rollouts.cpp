#include "gpu_frontend/gpu_rollouts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fill_geometry/fill_object.h"
#include "gpu_frontend/fluid_playback.h"
#include "gpu_frontend/gpu_source.h"
#include "gpu_frontend/plugin_shell.h"
#include "gpu_frontend/prt_export.h"
#include "gpu_frontend/solver_presets.h"
#include "host/core/files.h"
#include "host/core/hostdirs.h"
#include "host/core/interaction.h"

namespace vorel_gpufe {

using namespace blob_param;

namespace {

constexpr unsigned kNoticeMs = 6000;
constexpr const char* kBadCacheNameText = "Unable to change cache name. Use a different cache name.";
constexpr const char* kRenameFailedText = "Unable to change cache name";
constexpr const char* kPresetNameFailedText = "Unable to change preset name";
constexpr const char* kCleanWhileSolvingText =
    "The solver is running in this cache: CLEAN would delete the frames it writes. Stop the solver first.";
constexpr const char* kRenameWhileSolvingText =
    "The solver is running: the cache cannot be renamed under it. Stop the solver first.";
constexpr const char* kNewCacheText = "Previous cache was kept untouched. A new empty cache was created.";
constexpr float kFillRadiusFactor = 0.37f;
constexpr float kFillClearanceFactor = 0.858f;
// The top of the fluid's "#particlesFilled": no more fill points than this
// go to the solver.
constexpr int64_t kMaxFillPoints = 10000000;

// Fillers rollout controls.
constexpr int kFillList = 1336, kFillAdd = 1332, kFillRemove = 1333, kFillLayersEdit = 1503,
              kFillLayersSpin = 1504, kRefill = 1031, kFilledCountEdit = 1506, kFilledCountSpin = 1505;
// Colliders, sources, surface rollouts.
constexpr int kColliderList = 1015, kColliderAdd = 1334, kColliderRemove = 1018;
constexpr int kSourceList = 1337, kSourceAdd = 1017, kSourceRemove = 1016, kSourceNew = 1018, kSourceSelect = 1019;
constexpr int kSurfaceClean = 1021;
constexpr int kDisplayParticles = 1015;

struct Tip {
  int id;
  const char* text;
};

const Tip kMainTips[] = {
    {1146, "Creates a new cache directory to work with; keeps previous cache untouched."},
    {1029, "Deletes all cache files. Use this before re-computing simulation."},
    {1027, "Run the simulation from the last computed frame."},
    {1014, "Simulation level of detail. The more LOD the more precise simulation."},
    {1019, "Simulation gravity force. The more gravity the fastest simulation. That is less scene scale."},
    {1022, "Beginning of the simulation time range. Simulation will start at this frame."},
    {1024, "End of the simulation time range. Simulation will stop at this frame."},
    {1026, "Number of time-freeze iteration frames to settle particles before simulating."},
    {1031, "Clean cache files from the selected frame. Keeps cache files before selected frame."},
    {3078,
     "Type the name of the fluid preset to be saved with the fluid parameter values. This will allow recovering "
     "the value set for future use."},
    {1016, "Particle attraction force that makes particles be together making groups."},
    {1028,
     "If bounce is 1, particles keep their bounce energy after collisions with objects boundaries. Cero value of "
     "bounce means that particles loose their normal speed after collisions."},
    {1032,
     "With no friction, particles keep their energy after being in contact with objects boundaries. A high value "
     "of friction means that particles in contact with the object surface will loose their energy."},
    {3077, "Rename cache directory by editing this text."},
};
const Tip kDisplayTips[] = {
    {1492, "Animation playback offset frames. Number of frames before animation playback starts."},
    {1490, "Animation playback time scale percentage. The bigger value, the fastest playback."},
    {1495, "Percentage of particles displayed. Use it for high particle simulations to improve view port redraw."},
};
const Tip kSurfaceTips[] = {
    {1021, "Deletes all surface mesh files in the surface cache directory."},
    {1011, "Polygonal surface level of detail. The more LOD the more polygons in the surface mesh."},
    {1491, "Radius of the sphere blob primitive that creates the liquid volume."},
    {1493, "Attractive melting force distance between blob primitives."},
    {1494, "Shring-wrap force to be applied to the resulting surface mesh."},
};
const Tip kFillerTips[] = {
    {1031,
     "Delete previous filled positions and fills objects with particles again. It doens't delete any cache "
     "file, just filled positions."},
    {1503, "Number of particle layers to be used. To modify the value, first select an object from list."},
    {1506, "Number of particles for the selected filled layers."},
};

// Tooltips reach only the host's custom edits and buttons.
void SetTip(HWND dlg, int id, const char* text) {
  HWND h = GetDlgItem(dlg, id);
  if (ICustEdit* e = GetICustEdit(h)) {
    e->SetTooltip(TRUE, text);
    ReleaseICustEdit(e);
  } else if (ICustButton* b = GetICustButton(h)) {
    b->SetTooltip(TRUE, text);
    ReleaseICustButton(b);
  }
}
template <size_t N>
void SetTips(HWND dlg, const Tip (&tips)[N]) {
  for (const Tip& t : tips) SetTip(dlg, t.id, t.text);
}

void SetEditText(HWND dlg, int id, const std::string& text) {
  if (ICustEdit* e = GetICustEdit(GetDlgItem(dlg, id))) {
    e->SetText(text.c_str());
    ReleaseICustEdit(e);
  }
}
std::string EditText(HWND dlg, int id) {
  std::string s;
  if (ICustEdit* e = GetICustEdit(GetDlgItem(dlg, id))) {
    s = e->GetText();
    ReleaseICustEdit(e);
  }
  return s;
}
void WantReturn(HWND dlg, int id) {
  if (ICustEdit* e = GetICustEdit(GetDlgItem(dlg, id))) {
    e->WantReturn(TRUE);
    ReleaseICustEdit(e);
  }
}

std::string StrParam(BlobNode& fluid, ParamID id) {
  const char* s = fluid.pblock2 ? fluid.pblock2->GetStr(id, 0) : nullptr;
  return s ? s : "";
}

void RenewCacheTip(BlobNode& fluid) {
  if (fluid.hMainRollout) SetTip(fluid.hMainRollout, main_ctl::kBrowseCache, fluid.cache.cacheDir.c_str());
}
void ShowCacheName(BlobNode& fluid, const std::string& name) {
  if (fluid.hMainRollout) SetEditText(fluid.hMainRollout, main_ctl::kCacheName, name);
}

std::string ComboSelection(HWND dlg, int id) {
  const LRESULT sel = SendDlgItemMessage(dlg, id, CB_GETCURSEL, 0, 0);
  if (sel < 0) return "";
  char text[256] = {};
  SendDlgItemMessage(dlg, id, CB_GETLBTEXT, WPARAM(sel), reinterpret_cast<LPARAM>(text));
  return text;
}

int ListSelection(HWND dlg, int id) {
  const LRESULT sel = SendDlgItemMessage(dlg, id, LB_GETCURSEL, 0, 0);
  return sel < 0 ? 0 : int(sel);
}

// A name that can be a folder directly under the caches root.
bool IsUsableCacheName(const BlobNode& fluid, const std::string& name) {
  if (name == "_" || !CacheDirectory::IsUsableName(name)) return false;
  return fluid.cache.cachesRoot.size() + 1 + name.size() <= kMaxPathLength;
}

// Cache parameters set while this is the fluid are not resolved one by one.
BlobNode* gCacheSyncSuspended = nullptr;

bool ListHolds(IParamBlock2* pb, ParamID list, INode* node) {
  for (int i = 0, n = pb->Count(list); i < n; ++i)
    if (pb->GetINode(list, 0, i) == node) return true;
  return false;
}

void AfterPick(BlobNode* fluid) {
  fluid->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  Interface* ip = GetCOREInterface();
  ip->RedrawViews(ip->GetTime());
}

void ShowFillSelection(BlobNode& fluid, HWND dlg) {
  const int i = ListSelection(dlg, kFillList);
  if (i >= int(fluid.fillRecords.size())) return;
  const FillRecord& r = fluid.fillRecords[size_t(i)];
  const int layers = ClampedLayers(r);
  fluid.pblock2->SetValue(kFillingPercentage, 0, layers);
  fluid.pblock2->SetValue(kParticlesFilled, 0, ParticlesInLayers(r, layers));
}

void ChangeFillLayers(BlobNode& fluid, HWND dlg) {
  const int i = ListSelection(dlg, kFillList);
  if (i >= int(fluid.fillRecords.size())) return;
  FillRecord& r = fluid.fillRecords[size_t(i)];
  int wanted = fluid.pblock2->GetInt(kFillingPercentage, 0);
  wanted = std::max(0, std::min(wanted, int(r.layerTable.size())));
  r.layersUsed = wanted;
  fluid.pblock2->SetValue(kFillingPercentage, 0, wanted);
  fluid.pblock2->SetValue(kParticlesFilled, 0, ParticlesInLayers(r, wanted));
}

template <typename Dialog>
void RunPickDialog(BlobNode* fluid) {
  // Made for one dialog: the host does not delete it.
  Dialog* dlg = new Dialog(fluid);
  DoHitByNameDialog(dlg);
  delete dlg;
}

// ---- rollout procedures

class RolloutProc : public ParamMap2UserDlgProc {
 public:
  explicit RolloutProc(BlobNode* fluid) : fluid_(fluid) {}
  void DeleteThis() override { delete this; }
  void SetThing(ReferenceTarget* m) override {
    if (auto* b = dynamic_cast<BlobNode*>(m)) fluid_ = b;
  }

 protected:
  BlobNode* fluid_;
};

class SurfaceParamsDlgProc : public RolloutProc {
 public:
  using RolloutProc::RolloutProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    if (!fluid_) return FALSE;
    if (msg == WM_INITDIALOG) SetTips(hWnd, kSurfaceTips);
    if (msg == WM_COMMAND && LOWORD(wParam) == kSurfaceClean && fluid_->cache.IsCacheDirValid())
      fluid_->cache.DeleteSurfaceFiles();
    return FALSE;
  }
};

class DisplayParamsDlgProc : public RolloutProc {
 public:
  using RolloutProc::RolloutProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM, LPARAM) override {
    if (!fluid_) return FALSE;
    fluid_->hDisplayRollout = msg == WM_DESTROY ? nullptr : hWnd;
    if (msg == WM_INITDIALOG) {
      SetTips(hWnd, kDisplayTips);
      char text[64];
      std::snprintf(text, sizeof text, "Particles: %d", fluid_->particleCount);
      SetDlgItemText(hWnd, kDisplayParticles, text);
    }
    return FALSE;
  }
};

// What the three node-list rollouts share: the fluid keeps the rollout's
// window while it is open, "Add" runs the list's pick dialog and "Remove"
// (the parameter map has taken the entry out before this sees it) tells the
// fluid.
struct NodeListRollout {
  HWND BlobNode::*window;
  int addButton, removeButton;
  void (*add)(BlobNode&);
  void (*removed)(BlobNode&);
};

void NodeListMessage(BlobNode& fluid, const NodeListRollout& r, HWND hWnd, UINT msg, WPARAM wParam) {
  if (msg == WM_INITDIALOG) fluid.*r.window = hWnd;
  if (msg == WM_DESTROY && fluid.*r.window == hWnd) fluid.*r.window = nullptr;
  if (msg != WM_COMMAND) return;
  if (LOWORD(wParam) == r.addButton) r.add(fluid);
  if (LOWORD(wParam) == r.removeButton) r.removed(fluid);
}

void MarkStale(BlobNode& fluid) { fluid.MarkStale(); }

const NodeListRollout kCollidersList{&BlobNode::hCollidersRollout, kColliderAdd, kColliderRemove,
                                     [](BlobNode& f) { RunPickDialog<CollidersHitDialog>(&f); }, MarkStale};
const NodeListRollout kSourcesList{&BlobNode::hSourcesRollout, kSourceAdd, kSourceRemove,
                                   [](BlobNode& f) {
                                     RunPickDialog<SourcesHitDialog>(&f);
                                     f.MarkStale();
                                   },
                                   MarkStale};
const NodeListRollout kFillersList{&BlobNode::hFillersRollout, kFillAdd, kFillRemove,
                                   [](BlobNode& f) { RunPickDialog<DumpHitDialog>(&f); },
                                   [](BlobNode& f) {
                                     ReconcileFillRecords(f);
                                     f.MarkStale();
                                   }};

class CollidersParamsDlgProc : public RolloutProc {
 public:
  using RolloutProc::RolloutProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    if (fluid_) NodeListMessage(*fluid_, kCollidersList, hWnd, msg, wParam);
    return FALSE;
  }
};

class SourcesParamsDlgProc : public RolloutProc {
 public:
  using RolloutProc::RolloutProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    if (!fluid_) return FALSE;
    NodeListMessage(*fluid_, kSourcesList, hWnd, msg, wParam);
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
      case kSourceNew:
        fluid_->CreateSourceObjectNode(fluid_->editInterface);
        fluid_->MarkStale();
        break;
      case kSourceSelect: {
        const int i = ListSelection(hWnd, kSourceList);
        if (i < fluid_->pblock2->Count(kSourcesNodeList)) {
          if (INode* node = fluid_->pblock2->GetINode(kSourcesNodeList, 0, i)) {
            Interface* ip = GetCOREInterface();
            ip->ClearNodeSelection(false);
            ip->SelectNode(node);
          }
        }
        break;
      }
      default:
        break;
    }
    return FALSE;
  }
};

class FillersParamsDlgProc : public RolloutProc {
 public:
  using RolloutProc::RolloutProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    if (!fluid_) return FALSE;
    NodeListMessage(*fluid_, kFillersList, hWnd, msg, wParam);
    switch (msg) {
      case WM_INITDIALOG:
        SetTips(hWnd, kFillerTips);
        // The count follows the chosen layers; it is shown, not edited.
        EnableWindow(GetDlgItem(hWnd, kFilledCountEdit), FALSE);
        ShowWindow(GetDlgItem(hWnd, kFilledCountSpin), SW_HIDE);
        break;
      case WM_COMMAND:
        if (LOWORD(wParam) == kRefill) RefillAll(*fluid_);
        if (LOWORD(wParam) == kFillList) ShowFillSelection(*fluid_, hWnd);
        break;
      case CC_SPINNER_CHANGE:
        if (LOWORD(wParam) == kFillLayersSpin) ChangeFillLayers(*fluid_, hWnd);
        break;
      case WM_CUSTEDIT_ENTER:
        if (int(wParam) == kFillLayersEdit) ChangeFillLayers(*fluid_, hWnd);
        break;
      default:
        break;
    }
    return FALSE;
  }
};

void AddControl(vorel_ui::DialogTemplate* d, int id, vorel_ui::Kind kind, const char* text) {
  for (const auto& c : d->controls)
    if (c.id == id && id != -1) return;
  d->controls.push_back({id, kind, text});
}
void AddSpinner(vorel_ui::DialogTemplate* d, int edit, int spin, const char* label) {
  AddControl(d, -1, vorel_ui::Kind::Static, label);
  AddControl(d, edit, vorel_ui::Kind::CustEdit, "");
  AddControl(d, spin, vorel_ui::Kind::Spinner, "");
}

}  // namespace

// ---- templates

void RegisterRolloutTemplates() {
  using vorel_ui::Kind;
  HINSTANCE inst = ModuleHandle();
  vorel_ui::DialogTemplate main;
  if (const vorel_ui::DialogTemplate* known = vorel_ui::FindDialogTemplate(inst, kMainDialogId)) {
    main = *known;
  } else {
    main.id = kMainDialogId;
    main.title = "Main controls and params";
    AddSpinner(&main, 1014, 1013, "LOD:");
    AddSpinner(&main, 1019, 1018, "Gravity:");
    AddSpinner(&main, 1035, 1033, "Collision strength:");
    AddSpinner(&main, 1016, 1015, "Viscosity:");
    AddSpinner(&main, 1028, 1021, "Bounce:");
    AddSpinner(&main, 1032, 1017, "Friction:");
    AddSpinner(&main, 1022, 1020, "Start frame: ");
    AddSpinner(&main, 1024, 1023, "Stop frame: ");
    AddSpinner(&main, 1026, 1030, "Frames to settle:");
    AddControl(&main, 1095, Kind::CheckBox, "Settle before calculating");
    AddSpinner(&main, 1031, 1025, "Clean from frame:");
    AddControl(&main, 1027, Kind::CustButton, "GO!");
    AddControl(&main, 1011, Kind::Static, "Frames solved: ");
    AddControl(&main, 1012, Kind::Static, "Total particles: ");
  }
  AddControl(&main, main_ctl::kClean, Kind::CustButton, "CLEAN");
  AddControl(&main, main_ctl::kExportPrts, Kind::CustButton, "Export PRTs");
  AddControl(&main, main_ctl::kBrowseCache, Kind::CustButton, "...");
  AddControl(&main, main_ctl::kNewCache, Kind::CustButton, "+");
  AddControl(&main, main_ctl::kCacheName, Kind::CustEdit, "");
  AddControl(&main, -1, Kind::GroupBox, "Cache history stack");
  AddControl(&main, main_ctl::kCacheHistory, Kind::ComboBox, "");
  AddControl(&main, -1, Kind::GroupBox, "Fluid presets");
  AddControl(&main, main_ctl::kPresetList, Kind::ComboBox, "");
  AddControl(&main, -1, Kind::Static, "Name:");
  AddControl(&main, main_ctl::kPresetName, Kind::CustEdit, "");
  AddControl(&main, main_ctl::kVersion, Kind::Static, "Vorel GPU v1.0.54");
  vorel_ui::RegisterDialogTemplate(inst, main);

  vorel_ui::DialogTemplate d;
  d.id = kCollidersDialog;
  d.title = "Colliding geometry";
  AddControl(&d, kColliderList, Kind::ListBox, "");
  AddControl(&d, kColliderAdd, Kind::CustButton, "Add");
  AddControl(&d, kColliderRemove, Kind::CustButton, "Remove");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kFillersDialog;
  d.title = "Filled Objects";
  AddControl(&d, kFillList, Kind::ListBox, "");
  AddControl(&d, kFillAdd, Kind::CustButton, "Add");
  AddControl(&d, kFillRemove, Kind::CustButton, "Remove");
  AddSpinner(&d, kFillLayersEdit, kFillLayersSpin, "Filled layers:");
  AddSpinner(&d, kFilledCountEdit, kFilledCountSpin, "Total parts: ");
  AddControl(&d, kRefill, Kind::CustButton, "REFILL");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kSourcesDialog;
  d.title = "Sources";
  AddControl(&d, kSourceList, Kind::ListBox, "");
  AddControl(&d, kSourceAdd, Kind::CustButton, "Add");
  AddControl(&d, kSourceRemove, Kind::CustButton, "Remove");
  AddControl(&d, kSourceNew, Kind::CustButton, "New");
  AddControl(&d, kSourceSelect, Kind::CustButton, "Select");
  vorel_ui::RegisterDialogTemplate(inst, d);

  // The source's parameter map drives every control; the rollout has no
  // procedure of its own.
  d = {};
  d.id = kSourceParamsDialog;
  d.title = "Source Parameters";
  AddControl(&d, -1, Kind::GroupBox, "Source Parameters");
  AddSpinner(&d, 1490, 1496, "Radius");
  AddSpinner(&d, 1491, 1497, "Speed");
  AddControl(&d, 1040, Kind::CheckBox, "Disable");
  AddControl(&d, 1041, Kind::CheckBox, "Draw trajectory");
  AddControl(&d, 1042, Kind::CheckBox, "Draw source");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kSurfaceDialog;
  d.title = "Surface Mesh parameters";
  AddControl(&d, 1092, Kind::CheckBox, "Hide in viewports");
  AddSpinner(&d, 1011, 1012, "Surface LOD");
  AddSpinner(&d, 1491, 1497, "Drop Size");
  AddSpinner(&d, 1493, 1499, "Melting threshold");
  AddSpinner(&d, 1494, 1500, "Shrink wrap");
  AddControl(&d, 1093, Kind::CheckBox, "Add surface mesh");
  AddControl(&d, 1017, Kind::CheckBox, "Use surface cache");
  AddControl(&d, 1094, Kind::CheckBox, "Precise motion blur");
  AddControl(&d, kSurfaceClean, Kind::CustButton, "CLEAN");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDisplayDialog;
  d.title = "Display, stast and playback";
  AddSpinner(&d, 1490, 1496, "Scale");
  AddSpinner(&d, 1492, 1498, "Offset");
  AddSpinner(&d, 1495, 1501, "% display");
  AddControl(&d, 1094, Kind::CheckBox, "Show particles");
  AddControl(&d, 1095, Kind::CheckBox, "Use killing clip box");
  AddControl(&d, kDisplayParticles, Kind::Static, "Particles: ");
  AddControl(&d, 1009, Kind::Static, "Number of vertices: ");
  AddControl(&d, 1008, Kind::Static, "Number of faces");
  vorel_ui::RegisterDialogTemplate(inst, d);
}

void PrepareRollouts(BlobNode* fluid) {
  RegisterRolloutTemplates();
  ParamBlockDesc2& desc = BlobNodeBlockDesc();
  desc.SetUserDlgProc(blob_map::kSurface, new SurfaceParamsDlgProc(fluid));
  desc.SetUserDlgProc(blob_map::kSources, new SourcesParamsDlgProc(fluid));
  desc.SetUserDlgProc(blob_map::kColliders, new CollidersParamsDlgProc(fluid));
  desc.SetUserDlgProc(blob_map::kDisplay, new DisplayParamsDlgProc(fluid));
  desc.SetUserDlgProc(blob_map::kFillers, new FillersParamsDlgProc(fluid));
}

// ---- main rollout

void MainRolloutOpened(BlobNode& fluid, HWND hWnd) {
  fluid.hMainRollout = hWnd;
  SendDlgItemMessage(hWnd, main_ctl::kCacheHistory, CB_RESETCONTENT, 0, 0);
  for (const std::string& name : fluid.cacheHistory)
    SendDlgItemMessage(hWnd, main_ctl::kCacheHistory, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  WantReturn(hWnd, main_ctl::kCacheName);
  SetEditText(hWnd, main_ctl::kCacheName, fluid.cache.cacheName);
  WantReturn(hWnd, main_ctl::kPresetName);
  SetEditText(hWnd, main_ctl::kPresetName, StrParam(fluid, kPresetName));
  SendDlgItemMessage(hWnd, main_ctl::kPresetList, CB_RESETCONTENT, 0, 0);
  std::vector<std::string> presets;
  fluid.cache.ListPresets(&presets);
  for (const std::string& name : presets)
    SendDlgItemMessage(hWnd, main_ctl::kPresetList, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  fluid.RefreshCacheInfo();
  RenewCacheTip(fluid);
  SetTips(hWnd, kMainTips);
}

bool MainRolloutMessage(BlobNode& fluid, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) {
    MainRolloutOpened(fluid, hWnd);
    return true;
  }
  if (msg == WM_CUSTEDIT_ENTER) {
    if (int(wParam) == main_ctl::kCacheName) {
      RenameOrSwitchCache(fluid, EditText(hWnd, main_ctl::kCacheName));
      return true;
    }
    if (int(wParam) == main_ctl::kPresetName) {
      SavePresetNamed(fluid, EditText(hWnd, main_ctl::kPresetName));
      return true;
    }
    return false;
  }
  if (msg != WM_COMMAND) return false;
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case main_ctl::kClean:
      CleanCache(fluid);
      return true;
    case main_ctl::kExportPrts:
      ExportPrts(fluid);
      return true;
    case main_ctl::kNewCache:
      NewCache(fluid);
      return true;
    case main_ctl::kBrowseCache: {
      char dir[kPathBufferSize] = {};
      const std::string start = fluid.cache.IsCachesRootValid() ? fluid.cache.cachesRoot
                                                                 : GetCOREInterface()->GetDir(APP_BITMAP_DIR);
      std::snprintf(dir, sizeof dir, "%s", start.c_str());
      ChooseDirectory(hWnd, "Select", dir);
      if (dir[0]) UseCacheFolder(fluid, dir);
      return true;
    }
    case main_ctl::kCacheHistory:
      if (code == CBN_SELENDOK) {
        const std::string name = ComboSelection(hWnd, id);
        if (name.empty()) return true;
        fluid.pblock2->SetValue(kCachePath, 0, name);
        ShowCacheName(fluid, fluid.cache.cacheName);
        RenewCacheTip(fluid);
        fluid.RefreshCacheInfo();
      }
      return true;
    case main_ctl::kPresetList:
      if (code == CBN_SELENDOK) {
        const std::string name = ComboSelection(hWnd, id);
        if (name.empty()) return true;
        LoadPreset(fluid, name);
        fluid.pblock2->SetValue(kPresetName, 0, name);
        SetEditText(hWnd, main_ctl::kPresetName, name);
      }
      return true;
    default:
      return false;
  }
}

void CleanCache(BlobNode& fluid) {
  if (!fluid.cache.IsCacheDirValid()) return;
  if (BlobNode::IsSolverRunning()) {
    ShowTempPrompt(kCleanWhileSolvingText, kNoticeMs);
    return;
  }
  Interface* ip = GetCOREInterface();
  fluid.ReadParams(ip->GetTime());
  fluid.cache.DeleteFramesFrom(fluid.keepframes);
  fluid.MarkStale();
  const int start = fluid.SolverStart;
  ip->SetTime(TimeValue(start) * GetTicksPerFrame(), true);
  fluid.pblock2->SetValue(kSolverStart, 0, start);
  fluid.RefreshCacheInfo();
}

bool NewCache(BlobNode& fluid) {
  std::string name;
  fluid.cache.NextCacheName(&name);
  fluid.pblock2->SetValue(kCachePath, 0, name);
  if (!fluid.cache.IsCacheDirValid()) return false;
  fluid.AddCacheHistory(name);
  RenewCacheTip(fluid);
  ShowCacheName(fluid, name);
  ShowTempPrompt(kNewCacheText, kNoticeMs);
  return true;
}

bool RenameOrSwitchCache(BlobNode& fluid, const std::string& name) {
  const std::string oldName = fluid.cache.cacheName;
  if (!IsUsableCacheName(fluid, name)) {
    ShowCacheName(fluid, oldName);
    ShowTempPrompt(kBadCacheNameText, kNoticeMs);
    return false;
  }
  const std::string oldPath = fluid.cache.cachesRoot + "/" + oldName;
  const std::string newPath = fluid.cache.cachesRoot + "/" + name;
  char text[640];
  if (CacheDirectory::IsPathValid(newPath)) {
    std::snprintf(text, sizeof text, "Cache switched. Now reading from cache: '%s'", name.c_str());
    ShowTempPrompt(text, kNoticeMs);
    fluid.AddCacheHistory(name);
  } else if (BlobNode::IsSolverRunning()) {
    ShowCacheName(fluid, oldName);
    ShowTempPrompt(kRenameWhileSolvingText, kNoticeMs);
    return false;
  } else if (MoveFileA(oldPath.c_str(), newPath.c_str())) {
    std::snprintf(text, sizeof text, "Cache '%s' was renamed as '%s'", oldName.c_str(), name.c_str());
    ShowTempPrompt(text, kNoticeMs);
    RemoveCacheHistory(fluid, oldName);
  } else {
    ShowCacheName(fluid, oldName);
    ShowTempPrompt(kRenameFailedText, kNoticeMs);
    return false;
  }
  fluid.pblock2->SetValue(kCachePath, 0, name);
  RenewCacheTip(fluid);
  ShowCacheName(fluid, fluid.cache.cacheName);
  return true;
}

bool SavePresetNamed(BlobNode& fluid, const std::string& name) {
  if (SavePreset(fluid, name)) {
    fluid.pblock2->SetValue(kPresetName, 0, name);
    if (fluid.hMainRollout) SetEditText(fluid.hMainRollout, main_ctl::kPresetName, name);
    return true;
  }
  if (fluid.hMainRollout) SetEditText(fluid.hMainRollout, main_ctl::kPresetName, StrParam(fluid, kPresetName));
  ShowTempPrompt(kPresetNameFailedText, kNoticeMs);
  return false;
}

bool UseCacheFolder(BlobNode& fluid, const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  if (cut == std::string::npos || cut + 1 >= path.size()) return false;
  const std::string root = path.substr(0, cut), name = path.substr(cut + 1);
  // Both parameters change before the cache is resolved, so that no cache
  // tree is made for the half-changed pair.
  gCacheSyncSuspended = &fluid;
  fluid.pblock2->SetValue(kCachePath, 0, name);
  fluid.pblock2->SetValue(kCachesDirectoryPath, 0, root);
  gCacheSyncSuspended = nullptr;
  const bool ok = fluid.SyncCacheParams();
  fluid.MarkStale();
  fluid.AddCacheHistory(fluid.cache.cacheName);
  ShowCacheName(fluid, fluid.cache.cacheName);
  fluid.RefreshCacheInfo();
  RenewCacheTip(fluid);
  return ok;
}

void ExportPrts(BlobNode& fluid) {
  ExportPrtFrames(fluid, UpdateParticles);
}

bool RemoveCacheHistory(BlobNode& fluid, const std::string& name) {
  auto it = std::find(fluid.cacheHistory.begin(), fluid.cacheHistory.end(), name);
  if (it == fluid.cacheHistory.end()) return false;
  if (fluid.hMainRollout) {
    HWND combo = GetDlgItem(fluid.hMainRollout, main_ctl::kCacheHistory);
    const LRESULT n = SendMessage(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[256] = {};
      SendMessage(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
      if (name == text) {
        SendMessage(combo, CB_DELETESTRING, WPARAM(i), 0);
        break;
      }
    }
  }
  fluid.cacheHistory.erase(it);
  return true;
}

// ---- filling

int ClampedLayers(const FillRecord& record) {
  return std::max(0, std::min(int(record.layersUsed), int(record.layerTable.size())));
}

int ParticlesInLayers(const FillRecord& record, int layers) {
  layers = std::max(0, std::min(layers, int(record.layerTable.size())));
  return layers == 0 ? 0 : record.layerTable[size_t(layers - 1)];
}

void FillObject(BlobNode& fluid, INode* node, FillRecord& record) {
  if (!node) return;
  const TimeValue t = GetCOREInterface()->GetTime();
  Object* obj = node->EvalWorldState(t).obj;
  if (!obj || !obj->CanConvertToType(triObjectClassID())) return;
  const Matrix3 tm = node->GetObjectTM(t);
  auto* tri = static_cast<TriObject*>(obj->ConvertToType(t, triObjectClassID()));
  if (!tri) return;
  const Mesh& mesh = tri->GetMesh();
  const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
  std::vector<double> v(size_t(nv) * 3);
  std::vector<double*> vp(static_cast<size_t>(nv));
  for (int i = 0; i < nv; ++i) {
    const Point3 w = tm.PointTransform(mesh.verts[size_t(i)]) * kInvSolverScale;
    double* p = &v[size_t(i) * 3];
    p[0] = w.x, p[1] = w.y, p[2] = w.z;
    vp[size_t(i)] = p;
  }
  std::vector<int32_t> f(size_t(nf) * 3);
  std::vector<int32_t*> fp(static_cast<size_t>(nf));
  for (int i = 0; i < nf; ++i) {
    int32_t* q = &f[size_t(i) * 3];
    for (int k = 0; k < 3; ++k) q[k] = int32_t(mesh.faces[size_t(i)].v[k]);
    fp[size_t(i)] = q;
  }
  if (tri != obj) tri->DeleteThis();
  fluid.ReadParams(t);
  const float lod = fluid.SourceLOD;
  if (!(lod > 0.0f)) return;
  const float radius = (1.0f / lod) * kFillRadiusFactor;
  const float clearance = (1.0f / lod) * fluid.collStrength * kFillClearanceFactor;
  Tab<Point3> points;
  Tab<int> layers;
  FillHooks hooks;
  hooks.abort = [] { return false; };
  hooks.maxPoints = kMaxFillPoints;
  FillObjectWithParticles(1.0f, double(radius), clearance, points, layers, nv, vp.data(), nf, fp.data(),
                          node->GetName(), true, hooks);
  record.points.assign(points.Addr(0), points.Addr(0) + points.Count());
  record.layerTable.assign(layers.Addr(0), layers.Addr(0) + layers.Count());
  record.layersUsed = int32_t(record.layerTable.size());
  fluid.pblock2->SetValue(kFillingPercentage, 0, int(record.layersUsed));
  fluid.pblock2->SetValue(kParticlesFilled, 0, int(record.points.size()));
  fluid.MarkStale();
}

void RefillAll(BlobNode& fluid) {
  for (FillRecord& r : fluid.fillRecords) {
    const int kept = r.layersUsed;
    FillObject(fluid, r.node, r);
    // A record never filled before takes its whole fill; one with a chosen
    // count keeps it as far as the new fill reaches.
    if (kept >= 0) r.layersUsed = std::min(kept, int(r.layerTable.size()));
  }
  for (int i = 0, n = fluid.pblock2->Count(kSourcesNodeList); i < n; ++i) {
    INode* node = fluid.pblock2->GetINode(kSourcesNodeList, 0, i);
    Object* obj = node ? node->GetObjectRef() : nullptr;
    if (auto* source = dynamic_cast<VorSourceObj*>(obj)) source->rows.DeleteAll();
  }
  GetCOREInterface()->SetTime(0, true);
  fluid.MarkStale();
}

void ReconcileFillRecords(BlobNode& fluid) {
  // Records not yet paired with their nodes (a scene still loading) are
  // left to the post-load repair.
  for (const FillRecord& r : fluid.fillRecords)
    if (!r.node) return;
  std::vector<FillRecord> old;
  old.swap(fluid.fillRecords);
  std::vector<bool> used(old.size(), false);
  for (int i = 0, n = fluid.pblock2->Count(kFillingNodeList); i < n; ++i) {
    INode* node = fluid.pblock2->GetINode(kFillingNodeList, 0, i);
    if (!node) continue;
    FillRecord rec;
    rec.node = node;
    for (size_t k = 0; k < old.size(); ++k) {
      if (!used[k] && old[k].node == node) {
        rec = std::move(old[k]);
        used[k] = true;
        break;
      }
    }
    fluid.fillRecords.push_back(std::move(rec));
  }
}

// ---- pick dialogs

int CollidersHitDialog::filter(INode* node) { return fluid_->AcceptsCollider(node) ? TRUE : FALSE; }

namespace {
// Appends each picked node to the list, leaving out those `skip` answers
// true for.
template <typename Skip>
void AppendPicked(IParamBlock2* pb, ParamID list, INodeTab& nodes, Skip skip) {
  for (int i = 0; i < nodes.Count(); ++i) {
    INode* node = nodes[i];
    if (!skip(node)) pb->Append(list, 1, &node);
  }
}

// A pick's changes as one undo step named undoText, then dependents told
// and views redrawn; an empty pick changes nothing.
template <typename Body>
void PickStep(BlobNode* fluid, INodeTab& nodes, const char* undoText, Body body) {
  if (nodes.Count() == 0) return;
  theHold.Begin();
  body();
  theHold.Accept(undoText);
  AfterPick(fluid);
}
}  // namespace

void CollidersHitDialog::proc(INodeTab& nodes) {
  PickStep(fluid_, nodes, kAddSelectedText,
           [&] { AppendPicked(fluid_->pblock2, kCollidersNodeList, nodes, [](INode*) { return false; }); });
}

namespace {
// The nodes sharing node's object, node included.
bool AnyInstanceListed(IParamBlock2* pb, INode* node) {
  INodeTab instances;
  if (IInstanceMgr* mgr = IInstanceMgr::GetInstanceMgr()) mgr->GetInstances(*node, instances);
  if (ListHolds(pb, kSourcesNodeList, node)) return true;
  for (int i = 0; i < instances.Count(); ++i)
    if (ListHolds(pb, kSourcesNodeList, instances[i])) return true;
  return false;
}
}  // namespace

int SourcesHitDialog::filter(INode* node) {
  if (!node || !fluid_->pblock2) return FALSE;
  Object* obj = node->EvalWorldState(GetCOREInterface()->GetTime()).obj;
  if (!obj || !obj->CanConvertToType(VorSourceObjClassID())) return FALSE;
  if (AnyInstanceListed(fluid_->pblock2, node)) return FALSE;
  node->ClearAFlag(A_WORK1);
  fluid_->NotifyDependents(FOREVER, 0, REFMSG_TEST_DEPENDENCY);
  return node->TestAFlag(A_WORK1) ? FALSE : TRUE;
}

void SourcesHitDialog::proc(INodeTab& nodes) {
  IParamBlock2* pb = fluid_->pblock2;
  PickStep(fluid_, nodes, kAddSourceUndoText, [&] {
    AppendPicked(pb, kSourcesNodeList, nodes, [pb](INode* node) { return AnyInstanceListed(pb, node); });
  });
}

int DumpHitDialog::filter(INode* node) { return fluid_->AcceptsFiller(node) ? TRUE : FALSE; }

void DumpHitDialog::proc(INodeTab& nodes) {
  // One undo step holds the filling list and the colliders added with it;
  // the records follow the list by node whenever it changes.
  IParamBlock2* pb = fluid_->pblock2;
  PickStep(fluid_, nodes, kAddSelectedText, [&] {
    for (int i = 0; i < nodes.Count(); ++i) {
      INode* node = nodes[i];
      pb->Append(kFillingNodeList, 1, &node);
      ReconcileFillRecords(*fluid_);
      for (FillRecord& r : fluid_->fillRecords)
        if (r.node == node) {
          FillObject(*fluid_, node, r);
          break;
        }
    }
    AppendPicked(pb, kCollidersNodeList, nodes, [pb](INode* node) { return ListHolds(pb, kCollidersNodeList, node); });
  });
}

// ---- change handling

void FluidBlockChanged(BlobNode& fluid) {
  IParamBlock2* pb = fluid.pblock2;
  if (!pb) return;
  const ParamID id = pb->LastNotifyParamID();
  // The list being cleared: each deletion comes back here, and clearing it
  // again from there nested one call deeper per empty entry (a scene with
  // thousands of them overflowed the stack).
  static const BlobNode* clearing = nullptr;
  if ((id == kFillingNodeList || id == kCollidersNodeList || id == kSourcesNodeList) && clearing != &fluid) {
    // Entries of deleted nodes go, a run of them at a time and from the
    // end, so that a deletion moves no entry still to be looked at (one
    // deletion per entry and a fresh look after each took minutes for a list
    // of thousands).
    const BlobNode* const outer = clearing;
    clearing = &fluid;
    for (int i = pb->Count(id) - 1; i >= 0; --i) {
      if (pb->GetINode(id, 0, i)) continue;
      int first = i;
      while (first > 0 && !pb->GetINode(id, 0, first - 1)) --first;
      pb->Delete(id, first, i - first + 1);
      i = first;
    }
    clearing = outer;
    if (id == kFillingNodeList) ReconcileFillRecords(fluid);
  }
  fluid.ReadParams(GetCOREInterface()->GetTime());
  switch (id) {
    case kSurfaceLOD:
    case kDropSize:
    case kMeltingForce:
    case kShrinkWrap:
      fluid.meshFrame = -1;
      break;
    case kShowClipBox:
      fluid.ShowClipBox(fluid.ShowClipBoxOn != 0);
      break;
    case kCachePath:
    case kCachesDirectoryPath:
      if (gCacheSyncSuspended != &fluid) {
        fluid.SyncCacheParams();
        RenewCacheTip(fluid);
      }
      break;
    default:
      break;
  }
  fluid.MarkStale();
  if (fluid.gravity != fluid.lastGravity) {
    for (int i = 0, n = pb->Count(kSourcesNodeList); i < n; ++i) {
      INode* node = pb->GetINode(kSourcesNodeList, 0, i);
      Object* obj = node ? node->GetObjectRef() : nullptr;
      if (auto* source = dynamic_cast<VorSourceObj*>(obj)) source->ivalid = NEVER;
    }
    fluid.lastGravity = fluid.gravity;
  }
}

RefResult BlobNode::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) {
  if (hTarget == pblock2 && message == REFMSG_CHANGE) FluidBlockChanged(*this);
  return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message);
}

}  // namespace vorel_gpufe
