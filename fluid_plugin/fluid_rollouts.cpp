// The fluid system's rollouts: dialog templates, the six user dialog
// procedures, and the collider pick mode and select-by-name dialog.
#include "fluid_plugin/fluid_rollouts.h"

#include <cstdio>
#include <cstring>

#include "fluid_core/engine.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/interaction.h"
#include "scene_objects/vorel_strings.h"

using namespace fluid_ctl;

namespace {

constexpr uint32_t kLongHelpMs = 15000;
constexpr uint32_t kShortHelpMs = 5000;
constexpr int kVersionParts = 4;
const char* const kVersionText[kVersionParts] = {"1", "3", "38", "208"};

HWND gColliderRollout = nullptr;

// ---- dialog templates

void Add(vorel_ui::DialogTemplate& d, int id, vorel_ui::Kind kind, const char* text, bool group = false) {
  vorel_ui::ControlTemplate c;
  c.id = id;
  c.kind = kind;
  c.text = text;
  c.group = group;
  d.controls.push_back(c);
}
void AddSpinner(vorel_ui::DialogTemplate& d, int edit, int spin, const char* label) {
  Add(d, -1, vorel_ui::Kind::Static, label);
  Add(d, edit, vorel_ui::Kind::CustEdit, "");
  Add(d, spin, vorel_ui::Kind::Spinner, "");
}

void RegisterTemplates(HINSTANCE inst) {
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate d;
  d.id = kDlgAnimationControl;
  d.title = "Animation Control";
  Add(d, kGo, Kind::CustButton, "GO!");
  Add(d, 1024, Kind::CheckBox, "Show particles while solving");
  Add(d, 1091, Kind::CheckBox, "Calculate surface also");
  Add(d, kShowClipBox, Kind::CheckBox, "Show clip-box");
  Add(d, -1, Kind::GroupBox, "Out of range");
  Add(d, kHideAll, Kind::RadioButton, "Hide all", true);
  Add(d, kKeepLast, Kind::RadioButton, "Keep last positions");
  Add(d, kLoop, Kind::RadioButton, "Loop");
  AddSpinner(d, 1017, 1023, "Frames to loop:");
  AddSpinner(d, kOffsetEdit, kOffsetSpin, "Offset:");
  Add(d, kShowLog, Kind::Button, "Show log file");
  Add(d, kVersion, Kind::Static, "version:");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDlgDynamicsParams;
  d.title = "Dynamics Params";
  AddSpinner(d, kGravityEdit, 1502, "Gravity:");
  AddSpinner(d, kSubSampleEdit, 1026, "Sub-samples:");
  AddSpinner(d, kKeepUntilEdit, 1015, "Keep until frame:");
  AddSpinner(d, kScaleEdit, kScaleSpin, "Scale:");
  AddSpinner(d, 1029, 1030, "Flickering filter:");
  AddSpinner(d, 1031, 1032, "Filter samples:");
  Add(d, kFlushParticles, Kind::CustButton, "Flush particle cache");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDlgSurfaceParams;
  d.title = "Surface Params";
  Add(d, kEnableSurface, Kind::CustButton, "Enable surface");
  AddSpinner(d, 1008, 1009, "Surface LOD:");
  AddSpinner(d, 1491, 1497, "Drop size:");
  AddSpinner(d, 1492, 1498, "Melting force:");
  AddSpinner(d, 1494, 1500, "Shrink wrap:");
  Add(d, kEntireRange, Kind::CheckBox, "Entire animation range");
  AddSpinner(d, 1106, 1108, "Start frame:");
  AddSpinner(d, 1107, 1010, "Stop frame:");
  Add(d, kBuildSurface, Kind::CustButton, "Build Surface");
  Add(d, kRepairSurface, Kind::CustButton, "Repair Surface");
  Add(d, kFlushSurface, Kind::CustButton, "Flush surface cache");
  Add(d, -1, Kind::GroupBox, "Per-vertex info");
  Add(d, 1045, Kind::RadioButton, "Speed", true);
  Add(d, 1046, Kind::RadioButton, "Pressure");
  Add(d, 1048, Kind::RadioButton, "Color");
  AddSpinner(d, 1082, kMaxValueSpin, "Max. value:");
  AddSpinner(d, 1084, kMinValueSpin, "Min. value:");
  Add(d, kTextureGizmo, Kind::CustButton, "Show texture gizmo");
  Add(d, kApplyMapping, Kind::CustButton, "Apply mapping");
  AddSpinner(d, 1086, 1087, "Wetmaps radius:");
  AddSpinner(d, 1088, 1089, "Wetmaps distance:");
  Add(d, kCreateWetmaps, Kind::CustButton, "Create wetmaps");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDlgSourceCreation;
  d.title = "Source Creation";
  Add(d, kNodeList, Kind::ListBox, "");
  Add(d, kNewSource, Kind::CustButton, "New");
  Add(d, kSelectSource, Kind::CustButton, "Select");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDlgPerObjectParams;
  d.title = "Per-object params";
  Add(d, kCollide, Kind::CustButton, "COLLIDE");
  AddSpinner(d, 1055, 1056, "Collision gap:");
  AddSpinner(d, 1053, 1054, "Bounce:");
  AddSpinner(d, 1058, 1059, "Friction:");
  AddSpinner(d, 1495, 1010, "Adherence:");
  Add(d, kNodeList, Kind::ListBox, "");
  Add(d, kSelectObjects, Kind::CustButton, "Select");
  Add(d, kPick, Kind::CustButton, "Pick");
  Add(d, kDelete, Kind::CustButton, "Delete");
  Add(d, kApply, Kind::CustButton, "Apply");
  Add(d, kObjectManager, Kind::CustButton, "Object Manager");
  vorel_ui::RegisterDialogTemplate(inst, d);

  d = {};
  d.id = kDlgCacheParams;
  d.title = "Cache ";
  Add(d, -1, Kind::Static, "Cache directory:");
  Add(d, kPath, Kind::CustEdit, "");
  Add(d, kSet, Kind::CustButton, "SET");
  Add(d, -1, Kind::Static, "System:");
  Add(d, 3076, Kind::CustEdit, "");
  Add(d, kLoad, Kind::CustButton, "Load");
  Add(d, kSave, Kind::CustButton, "Save");
  Add(d, 1087, Kind::Static, "Surface cache:");
  Add(d, 1088, Kind::Static, "Particle cache:");
  Add(d, kParticleCount, Kind::Static, "Particle count:");
  Add(d, kFramesSolved, Kind::Static, "Frames solved:");
  Add(d, kMeshesSolved, Kind::Static, "Meshes solved:");
  vorel_ui::RegisterDialogTemplate(inst, d);
}

// ---- shared pieces of the procedures

struct ButtonSpec {
  int id;
  int type;           // CBT_PUSH or CBT_CHECK
  bool hostColour;    // colour-manager colour 38 instead of the fixed one
  const char* tooltip;
};

void SetUpButtons(HWND dlg, const ButtonSpec* specs, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    ICustButton* b = GetICustButton(GetDlgItem(dlg, specs[i].id));
    if (!b) continue;
    b->SetType(specs[i].type);
    b->SetHighlightColor(specs[i].hostColour ? ColorMan()->GetColor(kButtonHostColour) : kButtonHighlight);
    b->SetTooltip(TRUE, specs[i].tooltip);
    ReleaseICustButton(b);
  }
}
template <size_t N>
void SetUpButtons(HWND dlg, const ButtonSpec (&specs)[N]) {
  SetUpButtons(dlg, specs, N);
}

struct HelpText {
  int id;
  const char* text;
  bool reloadsMesh;  // the shown surface is reloaded after it
};

// The user entered a field (focus) or chose a radio button.
bool Entered(WPARAM wParam) {
  const UINT code = HIWORD(wParam);
  return code == EN_SETFOCUS || code == BN_CLICKED;
}

template <size_t N>
const HelpText* FindHelp(const HelpText (&texts)[N], int id) {
  for (const HelpText& h : texts)
    if (h.id == id) return &h;
  return nullptr;
}

void RunAction(int id) { GetVorActionCB()->ExecuteAction(id); }

void Redraw() {
  Interface* ip = GetCOREInterface();
  ip->RedrawViews(ip->GetTime());
}

// Base of the six procedures: the system they serve and the window field
// the system keeps for the rollout.
class FluidRolloutProc : public ParamMap2UserDlgProc {
 public:
  FluidRolloutProc(TetraProcObj* system, HWND TetraProcObj::*field) : system_(system), field_(field) {}
  void DeleteThis() override { delete this; }
  void SetThing(ReferenceTarget* m) override {
    if (auto* s = dynamic_cast<TetraProcObj*>(m)) system_ = s;
  }
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) final {
    if (!system_) return 0;
    if (msg == WM_INITDIALOG) system_->*field_ = hWnd;
    if (msg == WM_DESTROY) {
      if (system_->*field_ == hWnd) system_->*field_ = nullptr;
      Closed(hWnd);
      return 0;
    }
    Handle(t, map, hWnd, msg, wParam, lParam);
    return 0;
  }

 protected:
  virtual void Handle(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  virtual void Closed(HWND hWnd) { (void)hWnd; }
  TetraProcObj* system_;

 private:
  HWND TetraProcObj::*field_;
};

// ---- animation (101)

class AnimationControlDlgProc : public FluidRolloutProc {
 public:
  explicit AnimationControlDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::animationRollout) {}

 protected:
  void Handle(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    switch (msg) {
      case WM_INITDIALOG: {
        static const ButtonSpec kButtons[] = {{kGo, CBT_PUSH, false, "Launch Vorel dynmic solver."}};
        SetUpButtons(hWnd, kButtons);
        const int action = ReadIntParam(system_->pblock2, kFluidOutOfRangeAction, t, 0);
        map->Enable(kFluidFramesToLoopFor, action == kOutOfRangeLoop);
        char text[64];
        std::snprintf(text, sizeof text, "version: %s.%s.%s.%s", kVersionText[0], kVersionText[1], kVersionText[2],
                      kVersionText[3]);
        SetDlgItemText(hWnd, kVersion, text);
        break;
      }
      case kMsgStartSolve:
        RunAction(kCmdGo);
        break;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kGo:
            PostMessage(hWnd, kMsgStartSolve, 0, 0);
            break;
          case kShowClipBox:
            RunAction(kCmdClipBox);
            break;
          case kShowLog:
            RunAction(kCmdOpenLog);
            break;
          case kHideAll:
          case kKeepLast:
            map->Enable(kFluidFramesToLoopFor, FALSE);
            break;
          case kLoop:
            ShowTempPrompt(
                "Set loop duration in frames. The last # frames will be repeated in a endless loop",
                kLongHelpMs);
            map->Enable(kFluidFramesToLoopFor, TRUE);
            break;
          case kOffsetEdit:
            if (HIWORD(wParam) == EN_SETFOCUS)
              ShowTempPrompt("Set animation offset in frames. If you set it to 10 for example, first "
                             "displayed frame will be frame number 10.",
                             kLongHelpMs);
            break;
          default:
            break;
        }
        break;
      case CC_SPINNER_CHANGE:
        if (LOWORD(wParam) == kOffsetSpin) {
          system_->engine.timeOffset = ReadIntParam(system_->pblock2, kFluidOffset, t, 0);
          Redraw();
        }
        break;
      default:
        break;
    }
  }
};

// ---- dynamics (180)

class DynamicParamsDlgProc : public FluidRolloutProc {
 public:
  explicit DynamicParamsDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::dynamicsRollout) {}

 protected:
  void Handle(TimeValue t, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    static const HelpText kHelp[] = {
        {kSubSampleEdit, "Time step subdivisions. High vaules increases accuracy ( and solving time too).",
         false},
        {kKeepUntilEdit,
         "Set the last preserved frame. Re-start calculations from given frame and keep dynamic results "
         "until that frame. Only results beyond that frame are flushed. ",
         false},
        {kGravityEdit, "Gravity force.", false},
        {kScaleEdit, "Vorel system scale to better adapt to scene dimensions.", false},
    };
    if (msg == WM_INITDIALOG) {
      static const ButtonSpec kButtons[] = {
          {kFlushParticles, CBT_PUSH, false, "Flush previous animation cache data."}};
      SetUpButtons(hWnd, kButtons);
    } else if (msg == WM_COMMAND) {
      const int id = LOWORD(wParam);
      if (id == kFlushParticles) {
        RunAction(kCmdFlushAnimation);
      } else if (const HelpText* h = FindHelp(kHelp, id)) {
        if (HIWORD(wParam) == EN_SETFOCUS) {
          ShowTempPrompt(h->text, kLongHelpMs);
          if (id == kScaleEdit) UpdateSystemScale(*system_, t);
        }
      }
    } else if (msg == CC_SPINNER_CHANGE && LOWORD(wParam) == kScaleSpin) {
      UpdateSystemScale(*system_, t);
    }
  }
};

// ---- surface (181)

void EnableMesherRange(IParamMap2* map, IParamBlock2* pb, TimeValue t) {
  const bool entire = ReadIntParam(pb, kFluidEntireAnimationRange, t, 1) == 1;
  map->Enable(kFluidStartFrameMesher, !entire);
  map->Enable(kFluidStopFrameMesher, !entire);
}

class SurfaceParamsDlgProc : public FluidRolloutProc {
 public:
  explicit SurfaceParamsDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::surfaceRollout) {}

 protected:
  void Handle(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    static const char* const kMinText =
        "Set min. magnitude value. Vertices with values of the selected magnitude less than selected "
        "here, will have 0.0 color value.";
    static const HelpText kHelp[] = {
        {1008, "Surface detail. Modify resolution in resulting polySurface sequence.", false},
        {1491, "Size of the isolated particles.", false},
        {1492, "Blending distance. Makes particles blend when they are distant", false},
        {1494, "Surface mesh is modified to fit better particle set.", false},
        {1082,
         "Set max. magnitude value. Vertices with values of the selected magnitude more than selected "
         "here, will have 1.0 color value.",
         true},
        {1045, kMinText, true},
        {1046, kMinText, true},
        {1048, kMinText, true},
        {1084, kMinText, true},
        {1086, "Percentage of particle's radius to raster wetpams.", true},
        {1088, "Percentage of particle's radius to be considered in distance computations while rastering "
               "wetmaps.",
         true},
    };
    FluidEngine& e = system_->engine;
    switch (msg) {
      case WM_INITDIALOG: {
        static const ButtonSpec kButtons[] = {
            {kFlushSurface, CBT_PUSH, false,
             "Flush surface cache. Mesh surface can be re-built by pressing 'build surface button'."},
            {kTextureGizmo, CBT_CHECK, false, "Show/hide the Vorel texture gizmo."},
            {kEnableSurface, CBT_CHECK, false, "Hide/Show mesh surface in viewport and render"},
            {kApplyMapping, CBT_PUSH, false, "Apply the texture gizmo's mapping to the current surface."},
            {kBuildSurface, CBT_PUSH, false, "Build surface from the start of the playback range"},
            {kRepairSurface, CBT_PUSH, false, "Rebuild the missing surfaces of the solved frames."},
            {kCreateWetmaps, CBT_PUSH, false, "Re-paint wetmaps sequence."},
        };
        SetUpButtons(hWnd, kButtons);
        EnableMesherRange(map, system_->pblock2, t);
        break;
      }
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        switch (id) {
          case kFlushSurface:
            RunAction(kCmdFlushSurface);
            return;
          case kBuildSurface:
            RunAction(kCmdRebuildSurface);
            return;
          case kCreateWetmaps:
            RunAction(kCmdRepaintWetmaps);
            return;
          case kEnableSurface:
            EnableSurfaceClicked(*system_, t);
            return;
          case kApplyMapping:
            ApplyMapping(*system_, t);
            return;
          case kTextureGizmo:
            if (ToggleTextureGizmo()) Redraw();
            return;
          case kRepairSurface:
            MarkMissingSurfaces(*system_);
            RunAction(kCmdRebuildSurface);
            return;
          case kEntireRange:
            EnableMesherRange(map, system_->pblock2, t);
            return;
          default:
            break;
        }
        if (const HelpText* h = FindHelp(kHelp, id)) {
          if (!Entered(wParam)) return;
          ShowTempPrompt(h->text, kShortHelpMs);
          if (h->reloadsMesh) e.lastEvalFrame = -999;
        }
        break;
      }
      case CC_SPINNER_CHANGE:
        if (LOWORD(wParam) == kMaxValueSpin || LOWORD(wParam) == kMinValueSpin) e.lastEvalFrame = -999;
        break;
      default:
        break;
    }
  }
};

// ---- sources (174)

class SourcesParamsDlgProc : public FluidRolloutProc {
 public:
  explicit SourcesParamsDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::sourcesRollout) {}

 protected:
  void Handle(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    FluidEngine& e = system_->engine;
    HWND list = GetDlgItem(hWnd, kNodeList);
    if (msg == WM_INITDIALOG) {
      static const ButtonSpec kButtons[] = {
          {kNewSource, CBT_PUSH, false, "Add a new source to this Vorel system."},
          {kSelectSource, CBT_PUSH, false, "Select highlighted source."},
      };
      SetUpButtons(hWnd, kButtons);
      SendMessage(list, LB_RESETCONTENT, 0, 0);
      for (int i = 0; i < e.sourceCount && i < FluidEngine::kMaxSources; ++i)
        if (e.SlotUsable(i)) SendMessage(list, LB_ADDSTRING, 0, LPARAM(e.sourceNodes[size_t(i)]->GetName()));
      return;
    }
    if (msg != WM_COMMAND) return;
    if (LOWORD(wParam) == kNewSource) {
      if (!e.CreateSource()) return;
      const int k = e.sourceCount - 1;
      if (k >= 0 && k < FluidEngine::kMaxSources && e.sourceNodes[size_t(k)])
        SendMessage(list, LB_ADDSTRING, 0, LPARAM(e.sourceNodes[size_t(k)]->GetName()));
    } else if (LOWORD(wParam) == kSelectSource) {
      const int sel = int(SendMessage(list, LB_GETCURSEL, 0, 0));
      if (sel >= 0) {
        char name[256] = {};
        SendMessage(list, LB_GETTEXT, WPARAM(sel), LPARAM(name));
        Interface* ip = GetCOREInterface();
        if (INode* node = ip->GetINodeByName(name)) ip->SelectNode(node, 1);
      }
      Redraw();
    }
  }
};

// ---- colliders (175)

class ObjectParamsDlgProc : public FluidRolloutProc {
 public:
  explicit ObjectParamsDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::objectsRollout) {}

 protected:
  void Closed(HWND hWnd) override {
    if (gColliderRollout == hWnd) gColliderRollout = nullptr;
  }
  void Handle(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    static const HelpText kHelp[] = {
        {1053, "Particle bounce. This parameter takes values in a % scale from 0 to 100", false},
        {1055, "Margin of impact. It controls the distance from impact point to collision object surface.",
         false},
        {1058, "Friction force. This parameter takes values in a % scale from 0 ( no friciton) to 100 ( full "
               "friction)",
         false},
    };
    if (msg == WM_INITDIALOG) {
      gColliderRollout = hWnd;
      static const ButtonSpec kButtons[] = {
          {kCollide, CBT_CHECK, false, "Make this object collide with Vorel fluid particles."},
          {kSelectObjects, CBT_PUSH, false, "Select object list to apply these parameters."},
          {kPick, CBT_CHECK, false, "Pick objects in viewport to apply these parameters."},
          {kApply, CBT_PUSH, true, "Apply these parameters to selection list."},
          {kDelete, CBT_PUSH, true, "Delete highlithed node from selection list."},
          {kObjectManager, CBT_PUSH, true, "Opens Vorel object manager panel with all colliding objects."},
      };
      SetUpButtons(hWnd, kButtons);
      return;
    }
    if (msg != WM_COMMAND) return;
    Interface* ip = GetCOREInterface();
    const int id = LOWORD(wParam);
    switch (id) {
      case kApply:
        ApplyColliderSettings(*system_, ListRows(GetDlgItem(hWnd, kNodeList)),
                              ReadColliderSettings(system_->pblock2, ip->GetTime()));
        break;
      case kPick: {
        // A second click on the checked button leaves the mode.
        bool checked = true;
        if (ICustButton* b = GetICustButton(GetDlgItem(hWnd, kPick))) {
          checked = b->IsChecked();
          ReleaseICustButton(b);
        }
        if (!checked) {
          ip->ClearPickMode();
          break;
        }
        ColliderPickMode().Bind(system_, hWnd);
        ip->SetPickMode(&ColliderPickMode());
        break;
      }
      case kSelectObjects: {
        CSelectObjectsCallback select(system_);
        ip->DoHitByNameDialog(&select);
        break;
      }
      case kDelete:
        DeleteHighlightedRow(GetDlgItem(hWnd, kNodeList));
        break;
      case kObjectManager:
        RunAction(kCmdObjectManager);
        break;
      default:
        if (const HelpText* h = FindHelp(kHelp, id))
          if (HIWORD(wParam) == EN_SETFOCUS) ShowTempPrompt(h->text, kShortHelpMs);
        break;
    }
  }
};

// ---- cache (173)

void ShowCacheState(TetraProcObj& system, IParamMap2* map, HWND hWnd) {
  FluidEngine& e = system.engine;
  if (system.pblock2) {
    system.pblock2->SetValue(kFluidTempDirPath, 0, e.cacheRoot.c_str());
    system.pblock2->SetValue(kFluidDirectory, 0, e.systemName.c_str());
  }
  if (map) map->Invalidate();
  // One set of statistics texts for every path (solve, load, unpack).
  e.ShowStatistics(hWnd);
}

class CacheParamsDlgProc : public FluidRolloutProc {
 public:
  explicit CacheParamsDlgProc(TetraProcObj* s) : FluidRolloutProc(s, &TetraProcObj::cacheRollout) {}

 protected:
  void Handle(TimeValue, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    switch (msg) {
      case WM_INITDIALOG: {
        static const ButtonSpec kButtons[] = {
            {kLoad, CBT_PUSH, true, "Load a pre-calculated dynamics cache. Current cache will be overwritten."},
            {kSave, CBT_PUSH, true,
             "Save current cache into a .Vor packed file. Current cache won't be affected"},
            {kSet, CBT_PUSH, true,
             "Select directory path for temporary scene data cache. Cache directory and files will be moved "
             "to the new location."},
        };
        SetUpButtons(hWnd, kButtons);
        if (ICustEdit* edit = GetICustEdit(GetDlgItem(hWnd, kPath))) {
          edit->WantReturn(TRUE);
          ReleaseICustEdit(edit);
        }
        ShowCacheState(*system_, map, hWnd);
        break;
      }
      case WM_CUSTEDIT_ENTER:
        if (int(wParam) == kPath) {
          char text[MAX_PATH + 1] = {};
          GetWindowText(GetDlgItem(hWnd, kPath), text, MAX_PATH + 1);
          MoveCacheRoot(*system_, text);
          if (map) map->Invalidate();
        }
        break;
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case kSet:
            ChooseCacheRootDialog(*system_, hWnd);
            if (map) map->Invalidate();
            break;
          case kSave:
            SaveCacheDialog(*system_, hWnd);
            break;
          case kLoad:
            LoadCacheDialog(*system_, hWnd);
            if (map) map->Invalidate();
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }
};

ParamMap2UserDlgProc* Factory(int map, TetraProcObj* system) { return MakeFluidRolloutProc(map, system); }

}  // namespace

void InstallFluidRollouts() {
  RegisterTemplates(VorelModuleHandle());
  SetFluidRolloutProcFactory(&Factory);
}

ParamMap2UserDlgProc* MakeFluidRolloutProc(int map, TetraProcObj* system) {
  switch (map) {
    case kFluidMapAnimation: return new AnimationControlDlgProc(system);
    case kFluidMapDynamics: return new DynamicParamsDlgProc(system);
    case kFluidMapSurface: return new SurfaceParamsDlgProc(system);
    case kFluidMapSourceCreation: return new SourcesParamsDlgProc(system);
    case kFluidMapPerObject: return new ObjectParamsDlgProc(system);
    case kFluidMapCache: return new CacheParamsDlgProc(system);
    default: return nullptr;
  }
}

HWND ColliderRollout() { return gColliderRollout; }

// ---------------------------------------------------------------------------
// Pick and select

namespace {
bool ConvertsToMesh(INode* node) {
  if (!node) return false;
  const ObjectState& os = node->EvalWorldState(GetCOREInterface()->GetTime());
  return os.obj && os.obj->CanConvertToType(triObjectClassID());
}
}  // namespace

BOOL VorelPickNodeCallback::Filter(INode* node) {
  // The system's own helpers (clip box, floor, gizmo, emitters) never
  // collide, whichever tool offers them.
  return ConvertsToMesh(node) && !IsSystemNodeName(node->GetName()) ? TRUE : FALSE;
}

void VorelPickModeCallback::Bind(TetraProcObj* system, HWND rollout) {
  system_ = system;
  rollout_ = rollout;
}

BOOL VorelPickModeCallback::HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) {
  (void)vpt;
  (void)flags;
  return ip->PickNode(hWnd, m, &filter_) ? TRUE : FALSE;
}

BOOL VorelPickModeCallback::Pick(IObjParam* ip, ViewExp* vpt) {
  (void)ip;
  INode* node = vpt ? vpt->GetClosestHitNode() : nullptr;
  if (node && rollout_ && IsWindow(rollout_)) AppendUniqueRow(GetDlgItem(rollout_, kNodeList), node->GetName());
  return FALSE;
}

void VorelPickModeCallback::ExitMode(IObjParam* ip) {
  (void)ip;
  if (!rollout_) return;
  if (ICustButton* b = GetICustButton(GetDlgItem(rollout_, kPick))) {
    b->SetCheck(FALSE);
    ReleaseICustButton(b);
  }
}

VorelPickModeCallback& ColliderPickMode() {
  static VorelPickModeCallback mode;
  return mode;
}

int CSelectObjectsCallback::filter(INode* node) {
  if (!ConvertsToMesh(node)) return FALSE;
  const char* name = node->GetName();
  return name && std::strncmp(name, "VorelSource", 11) != 0 && std::strncmp(name, "Vorel", 5) != 0;
}

void CSelectObjectsCallback::proc(INodeTab& nodes) {
  (void)system_;
  HWND rollout = ColliderRollout();
  if (!rollout) return;
  HWND list = GetDlgItem(rollout, kNodeList);
  for (int i = 0; i < nodes.Count(); ++i)
    if (INode* n = nodes[i]) AppendUniqueRow(list, n->GetName());
}
