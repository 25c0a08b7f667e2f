// The emitter's and the ghost source's rollouts, pick modes and
// select-by-name dialogs.
#include "scene_objects/emitter_rollouts.h"

#include <cstring>

#include "fluid_core/object_params.h"
#include "host/core/interaction.h"
#include "scene_objects/emitter_desc.h"
#include "scene_objects/emitter_params.h"
#include "scene_objects/ghost.h"
#include "scene_objects/ghost_desc.h"
#include "scene_objects/ghost_params.h"
#include "scene_objects/vorel_strings.h"

using namespace emitter_ctl;

namespace {

EmitterShellHooks& Hooks() {
  static EmitterShellHooks hooks;
  return hooks;
}

TimeValue Now() { return GetCOREInterface()->GetTime(); }

Interface* EditInterface() {
  return RainParticle::editInterface ? RainParticle::editInterface : GetCOREInterface();
}

struct Prompt {
  int id;
  const char* text;
};
const Prompt kPrompts[] = {
    {1000, "Source Radius."},
    {1001, "Emission rate speed."},
    {1002, "This source starts emitting at this frame."},
    {1003, "This source stops emitting at this frame."},
    {1011, "Particle level of detail."},
    {1023, "Rate variation in %."},
    {1493, "Particle resistance to flow."},
    {1503, "Container will be filled with the number of layers selected."},
    {1508, "Length of the trayectory in frames."},
    {3042, "Total life of each particle (in frames)"},
    {3038, "Maximum particle size before collapsing."},
    {3040, "Minimum number of neighbors to begin collapsing."},
    {3046, "This is the particle age percentage to begin collapsing."},
    {3048, "Final particle size once collapsed."},
};

// Shows the help of an edit the user entered; true when it has one.
bool PromptOnFocus(WPARAM wParam, std::initializer_list<int> ids = {}) {
  if (HIWORD(wParam) != EN_SETFOCUS) return false;
  const int id = LOWORD(wParam);
  if (ids.size() > 0) {
    bool listed = false;
    for (int i : ids) listed = listed || i == id;
    if (!listed) return false;
  }
  const char* text = EmitterPromptText(id);
  if (!text) return false;
  ShowTempPrompt(text, kEmitterPromptMs);
  return true;
}

void SetupButton(HWND dlg, int id, int type, COLORREF highlight, const char* tip) {
  ICustButton* b = GetICustButton(GetDlgItem(dlg, id));
  if (!b) return;
  b->SetType(type);
  b->SetHighlightColor(highlight);
  if (tip) b->SetTooltip(TRUE, tip);
  ReleaseICustButton(b);
}

void SetButtonCheck(HWND dlg, int id, BOOL on) {
  if (!dlg) return;
  if (ICustButton* b = GetICustButton(GetDlgItem(dlg, id))) {
    b->SetCheck(on);
    ReleaseICustButton(b);
  }
}

void EnableSpinner(HWND dlg, int id, bool on) {
  if (!dlg) return;
  if (ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, id))) {
    s->Enable(on ? TRUE : FALSE);
    ReleaseISpinner(s);
  }
}

void ShowText(HWND dlg, int id, const char* text) {
  if (!dlg) return;
  HWND h = GetDlgItem(dlg, id);
  if (ICustEdit* e = GetICustEdit(h)) {
    e->SetText(text ? text : "");
    ReleaseICustEdit(e);
  } else {
    SetWindowText(h, text ? text : "");
  }
}

const char* NodeName(INode* node) { return node ? node->GetName() : ""; }

// The engine evaluates its current frame again.
void InvalidateSolvedRange(FluidEngine* engine) {
  if (engine) engine->lastEvalFrame = -1;
}

Object* ObjectAt(INode* node, TimeValue t) {
  return node ? node->EvalWorldState(t).obj : nullptr;
}

bool ConvertsToMesh(INode* node, TimeValue t) {
  Object* o = ObjectAt(node, t);
  return o && o->CanConvertToType(triObjectClassID());
}

// The emitter's node: the one the engine gave it, else the one the host
// shows it in.
INode* EmitterNode(GenParticle& e) { return e.node ? e.node : e.FindOwnNode(); }

// ---- pick modes (one of each: the host runs one mode at a time) ----

VorelPickInstanceModeCallback& InstanceMode() {
  static VorelPickInstanceModeCallback mode;
  return mode;
}
PickMapperModeCallback& MapperMode() {
  static PickMapperModeCallback mode;
  return mode;
}

// ---- rollout procedures ----

// A procedure serving one object of class T (emitter or ghost); the host
// hands it another object of that class through SetThing.
template <typename T, typename Base = ParamMap2UserDlgProc>
class ObjectDlgProc : public Base {
 public:
  explicit ObjectDlgProc(T* object) : object_(object) {}
  void DeleteThis() override { delete this; }
  void SetThing(ReferenceTarget* m) override {
    if (auto* o = dynamic_cast<T*>(m)) object_ = o;
  }

 protected:
  T* object_;
};

class SourceDlgProc : public ObjectDlgProc<GenParticle> {
 public:
  using ObjectDlgProc::ObjectDlgProc;
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    GenParticle* e = object_;
    if (!e) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: Opened(*e, hWnd, t); return TRUE;
      case WM_DESTROY:
        if (e->sourceRollout == hWnd) e->sourceRollout = nullptr;
        return FALSE;
      case CC_SPINNER_CHANGE:
        SourcesNeedRefresh = 1;
        if (LOWORD(wParam) == kTrajectorySpin) ReadTrajectoryLength(*e, t);
        return FALSE;
      case WM_CUSTEDIT_ENTER:
        if (int(wParam) == kTrajectoryEdit) ReadTrajectoryLength(*e, t);
        return FALSE;
      case WM_COMMAND: break;
      default: return FALSE;
    }
    if (PromptOnFocus(wParam)) return FALSE;
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    Interface* ip = EditInterface();
    switch (LOWORD(wParam)) {
      case kSelect: {
        const int type = e->pblock2 ? e->pblock2->GetInt(kEmitEmissionType, t) : 0;
        if (type == kEmissionShape) {
          CSelectShapeSourcesCallback cb(e);
          if (ip->DoHitByNameDialog(&cb)) ShowText(hWnd, kEmissionName, NodeName(e->emissionNode));
        } else if (type == kEmissionObjectFill) {
          CSelectEmittingObjectsCallback cb(e);
          if (ip->DoHitByNameDialog(&cb)) ShowText(hWnd, kEmissionName, NodeName(e->emissionNode));
        }
        e->mvalid.SetEmpty();
        SourcesNeedRefresh = 1;
        InvalidateSolvedRange(e->engine);
        break;
      }
      case kEmitCircle: EmitFromCircle(*e); break;
      case kEmitShape: EmitFromShape(*e); break;
      case kEmitFilled: EmitFromFilledObject(*e); break;
      case kSettle:
        if (Hooks().runCommand) Hooks().runCommand(kHoldTimeCommand);
        break;
      case kChooseFolder:
        if (ChooseSourceFolder(*e, hWnd) && map) map->Invalidate();
        break;
      case kNewGhost:
        if (CreateGhostSource(e, EmitterNode(*e))) ip->RedrawViews(t);
        break;
      case kMapper:
        MapperMode().emitter = e;
        MapperMode().ip = ip;
        ip->SetPickMode(&MapperMode());
        break;
      case kHideSource:
      case kLodPreview:
      case kHideTrajectory:
        SourcesNeedRefresh = 1;
        break;
      default: break;
    }
    return FALSE;
  }

 private:
  static void Opened(GenParticle& e, HWND hWnd, TimeValue t) {
    e.sourceRollout = hWnd;
    SetupButton(hWnd, kSelect, CBT_PUSH, kEmitterPickHighlight,
                "Press here to select a plain shape or an object to emit from or fill with particles.");
    SetupButton(hWnd, kMapper, CBT_CHECK, kEmitterPickHighlight,
                "Pick an object from scene viewport to adopt object's mapping");
    SetupButton(hWnd, kSettle, CBT_PUSH, ColorMan()->GetColor(38),
                "Fill and settle. Ensures that at the end of the process container is filled until the "
                "desired percentage and settled down.");
    SetupButton(hWnd, kChooseFolder, CBT_PUSH, ColorMan()->GetColor(38),
                "Select a directory path to read particle positions/speeds from PFLOW.");
    SetupButton(hWnd, kNewGhost, CBT_PUSH, kEmitterPickHighlight,
                "New ghost source: this source's particles shown again where the ghost is moved.");
    EnableWindow(GetDlgItem(hWnd, kNewGhost), e.ghostCount < GenParticle::kMaxGhosts ? TRUE : FALSE);
    ShowText(hWnd, kEmissionName, NodeName(e.emissionNode));
    ShowText(hWnd, kMapperLabel, NodeName(e.mapperNode));
    ShowText(hWnd, kFolderField, e.SourceFolder().c_str());
    if (e.pblock2 && e.pblock2->GetInt(kEmitEmissionType, t) == kEmissionObjectFill)
      e.SetFillSpinnersEnabled(e.fillPending != 0);
  }
  static void ReadTrajectoryLength(GenParticle& e, TimeValue t) {
    if (e.pblock2) e.trajectoryLengthSeen = e.pblock2->GetInt(kEmitTrajectoryLength, t);
  }
};

// The display rollout, shared by emitter and ghost.
class DisplayDlgProc : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    if (!Alive()) return FALSE;
    switch (msg) {
      case WM_INITDIALOG: Opened(hWnd); return TRUE;
      case WM_DESTROY: Closed(hWnd); return FALSE;
      case CC_SPINNER_CHANGE: Refresh(); return FALSE;
      case WM_COMMAND: break;
      default: return FALSE;
    }
    if (PromptOnFocus(wParam)) {
      if (PromptsRefresh()) Refresh();
      return FALSE;
    }
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    const EmitterShellHooks& h = Hooks();
    const int id = LOWORD(wParam);
    const int looks[] = {kLookDrops, kLookDots, kLookTicks, kLookRenderView};
    for (int s = 0; s < 4; ++s)
      if (id == looks[s]) {
        Refresh();
        if (h.setLookState) h.setLookState(s);
      }
    const int renders[] = {kRenderTetrahedron, kRenderFacing, kRenderNothing, kRenderInstanced};
    for (int s = 0; s < 4; ++s) {
      if (id != renders[s]) continue;
      if (h.setRenderTypeState) h.setRenderTypeState(s);
      // The facing flyout is there only for the render types it affects.
      if (s == 0) {
        if (h.hideFacingButton) h.hideFacingButton();
      } else {
        IParamBlock2* pb = map ? map->GetParamBlock() : nullptr;
        const int facing = pb ? pb->GetInt(kEmitFacingOrientation, t) : 0;
        if (h.showFacingButton) h.showFacingButton(facing);
        if (h.setFacingState) h.setFacingState(facing);
      }
    }
    const int facings[] = {kFacingCamera, kFacingSpeed, kFacingSurface};
    for (int s = 0; s < 3; ++s)
      if (id == facings[s]) {
        Refresh();
        if (h.setFacingState) h.setFacingState(s);
      }
    if (id == kPickInstance) PickInstance();
    return FALSE;
  }

 protected:
  virtual bool Alive() = 0;
  virtual void Opened(HWND hWnd) = 0;
  virtual void Closed(HWND hWnd) = 0;
  virtual void Refresh() = 0;
  virtual bool PromptsRefresh() = 0;
  virtual void PickInstance() = 0;
};

class ParticleDlgProc : public ObjectDlgProc<GenParticle, DisplayDlgProc> {
 public:
  using ObjectDlgProc::ObjectDlgProc;

 protected:
  bool Alive() override { return object_ != nullptr; }
  void Opened(HWND hWnd) override {
    object_->displayRollout = hWnd;
    SetupButton(hWnd, kPickInstance, CBT_CHECK, kEmitterPickHighlight, "Pick an object in viewport to instantiate.");
    ShowText(hWnd, kInstanceName, NodeName(object_->instanceNode));
  }
  void Closed(HWND hWnd) override {
    if (object_->displayRollout == hWnd) object_->displayRollout = nullptr;
  }
  void Refresh() override { SourcesNeedRefresh = 1; }
  bool PromptsRefresh() override { return false; }
  void PickInstance() override {
    Interface* ip = EditInterface();
    InstanceMode().emitter = object_;
    InstanceMode().ip = ip;
    ip->SetPickMode(&InstanceMode());
  }
};

class ParticleGhostDlgProc : public ObjectDlgProc<GenGhostParticle, DisplayDlgProc> {
 public:
  using ObjectDlgProc::ObjectDlgProc;

 protected:
  bool Alive() override { return object_ != nullptr; }
  // A ghost shows its parent's stream and holds no instanced geometry of its
  // own: its "Instanced geometry" renders as facing quads, and the pick
  // button has nothing to set.
  void Opened(HWND hWnd) override {
    SetupButton(hWnd, kPickInstance, CBT_CHECK, kEmitterPickHighlight, nullptr);
    EnableWindow(GetDlgItem(hWnd, kPickInstance), FALSE);
  }
  void Closed(HWND) override {}
  void Refresh() override {
    SourcesNeedRefresh = 1;
    object_->RequestRefresh();
  }
  bool PromptsRefresh() override { return true; }
  void PickInstance() override {}
};

class SourceGhostDlgProc : public ObjectDlgProc<GenGhostParticle> {
 public:
  using ObjectDlgProc::ObjectDlgProc;
  INT_PTR DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    GenGhostParticle* g = object_;
    if (!g) return FALSE;
    if (msg == WM_INITDIALOG) {
      ShowText(hWnd, kGhostParentName, NodeName(g->parent ? g->parentNode : nullptr));
      return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    if (PromptOnFocus(wParam, {1002, 1003})) return FALSE;
    if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kHideSource) {
      SourcesNeedRefresh = 1;
      InvalidateSolvedRange(g->engine);
      g->RequestRefresh();
    }
    return FALSE;
  }
};

// ---- templates ----

using vorel_ui::ControlTemplate;
using vorel_ui::Kind;

void AddSpinner(std::vector<ControlTemplate>& c, int edit, int spin, const char* label) {
  c.push_back({-1, Kind::Static, label});
  c.push_back({edit, Kind::CustEdit, ""});
  c.push_back({spin, Kind::Spinner, ""});
}

void AddMissing(vorel_ui::DialogTemplate& t, int id, Kind kind, const char* text) {
  for (const ControlTemplate& c : t.controls)
    if (c.id == id) return;
  t.controls.push_back({id, kind, text});
}
void AddMissingSpinner(vorel_ui::DialogTemplate& t, int edit, int spin, const char* label) {
  for (const ControlTemplate& c : t.controls)
    if (c.id == edit) return;
  AddSpinner(t.controls, edit, spin, label);
}

vorel_ui::DialogTemplate SourceTemplate() {
  vorel_ui::DialogTemplate t;
  t.id = kSourceParamsDialog;
  const char* title = VorelString(kStrSourceParams);
  t.title = title ? title : "Source params";
  t.height = 420;
  std::vector<ControlTemplate>& c = t.controls;
  c.push_back({kEmitCircle, Kind::RadioButton, "Circle", true});
  c.push_back({kEmitShape, Kind::RadioButton, "Emit from a plain shape"});
  c.push_back({kEmitFilled, Kind::RadioButton, "Object filled"});
  c.push_back({1026, Kind::RadioButton, "import from PFLOW"});
  c.push_back({kSelect, Kind::CustButton, "Select"});
  c.push_back({kEmissionName, Kind::Static, ""});
  AddSpinner(c, 1503, kFillLayersSpin, "Filled layers:");
  AddSpinner(c, 1506, kFillCountSpin, "# particles:");
  c.push_back({kSettle, Kind::CustButton, "Settle"});
  c.push_back({kChooseFolder, Kind::CustButton, "Select directory"});
  c.push_back({kFolderField, Kind::CustEdit, ""});
  AddSpinner(c, 1000, 1005, "Radius:");
  AddSpinner(c, 1001, 1006, "Rate:");
  AddSpinner(c, 1023, 1016, "Rate variation %:");
  AddSpinner(c, 1011, 1010, "LOD:");
  AddSpinner(c, 1493, 1012, "Thickness:");
  AddSpinner(c, 3042, 3043, "Life time:");
  AddSpinner(c, 1002, 1007, "Start:");
  AddSpinner(c, 1003, 1008, "Stop:");
  c.push_back({1013, Kind::CheckBox, "Random Emission"});
  c.push_back({1014, Kind::CheckBox, "Disable source"});
  c.push_back({1028, Kind::CheckBox, "p-p Interaction"});
  c.push_back({kHideSource, Kind::CheckBox, "Hide source"});
  c.push_back({kLodPreview, Kind::CheckBox, "part LOD preview"});
  c.push_back({kHideTrajectory, Kind::CheckBox, "Hide trajectory"});
  AddSpinner(c, kTrajectoryEdit, kTrajectorySpin, "Length:");
  c.push_back({kNewGhost, Kind::CustButton, "New ghost"});
  c.push_back({kMapper, Kind::CustButton, "Mapper Object"});
  c.push_back({kMapperLabel, Kind::Static, ""});
  AddSpinner(c, 1004, 1009, "Apply mapping at frame:");
  return t;
}

vorel_ui::DialogTemplate DisplayTemplate() {
  vorel_ui::DialogTemplate t;
  t.id = kParticleDisplayDialog;
  const char* title = VorelString(kStrParticleDisplayParams);
  t.title = title ? title : "Particle display params";
  t.height = 360;
  std::vector<ControlTemplate>& c = t.controls;
  c.push_back({-1, Kind::GroupBox, "Viewport Particles"});
  c.push_back({kLookDrops, Kind::RadioButton, "Drops", true});
  c.push_back({kLookDots, Kind::RadioButton, "Dots"});
  c.push_back({kLookTicks, Kind::RadioButton, "Ticks"});
  c.push_back({kLookRenderView, Kind::RadioButton, "Render view"});
  AddSpinner(c, 3044, 3045, "% in viewport:");
  c.push_back({-1, Kind::GroupBox, "Particle Type in Render View"});
  c.push_back({kRenderTetrahedron, Kind::RadioButton, "Tetrahedron", true});
  c.push_back({kRenderFacing, Kind::RadioButton, "Facing"});
  c.push_back({kRenderNothing, Kind::RadioButton, "Nothing"});
  c.push_back({kRenderInstanced, Kind::RadioButton, "Instanced geometry:"});
  c.push_back({kPickInstance, Kind::CustButton, "Pick"});
  c.push_back({kInstanceName, Kind::Static, ""});
  c.push_back({-1, Kind::GroupBox, "Facing orientation"});
  c.push_back({kFacingCamera, Kind::RadioButton, "Camera", true});
  c.push_back({kFacingSpeed, Kind::RadioButton, "Speed direction"});
  c.push_back({kFacingSurface, Kind::RadioButton, "surface"});
  AddSpinner(c, 3050, 3051, "% in render view:");
  AddSpinner(c, 3038, 3039, "Drop Size:");
  c.push_back({1028, Kind::CheckBox, "Size depends on solitude"});
  AddSpinner(c, 3040, 3041, "Min. neighbors:");
  AddSpinner(c, 3046, 3047, "% Life to collapse:");
  AddSpinner(c, 3048, 3049, "Min. size:");
  return t;
}

vorel_ui::DialogTemplate GhostTemplate() {
  vorel_ui::DialogTemplate t;
  t.id = kGhostParamsDialog;
  const char* title = VorelString(kStrGhostParams);
  t.title = title ? title : "Source ghost params";
  std::vector<ControlTemplate>& c = t.controls;
  c.push_back({-1, Kind::Static, "ghost from source:"});
  c.push_back({kGhostParentName, Kind::Static, ""});
  AddSpinner(c, 1002, 1007, "Start:");
  AddSpinner(c, 1003, 1008, "Stop:");
  c.push_back({1014, Kind::CheckBox, "Disable source"});
  c.push_back({kHideSource, Kind::CheckBox, "Hide source"});
  c.push_back({1029, Kind::CheckBox, "Exclude from surface"});
  return t;
}

}  // namespace

// ---------------------------------------------------------------- hooks

void SetEmitterShellHooks(const EmitterShellHooks& hooks) { Hooks() = hooks; }
const EmitterShellHooks& EmitterShell() { return Hooks(); }

const char* EmitterPromptText(int editId) {
  for (const Prompt& p : kPrompts)
    if (p.id == editId) return p.text;
  return nullptr;
}

void RegisterEmitterDialogs(HINSTANCE instance) {
  // The "Presets" rollout belongs to the preset code; the emitter's block
  // binds its per-source settings there, so they are added when missing.
  if (const vorel_ui::DialogTemplate* known = vorel_ui::FindDialogTemplate(instance, kPresetsDialog)) {
    vorel_ui::DialogTemplate t = *known;
    const size_t before = t.controls.size();
    AddMissing(t, 1031, Kind::CheckBox, "Override common params");
    AddMissingSpinner(t, 1132, 1032, "Friction:");
    AddMissingSpinner(t, 1133, 1033, "Adherence:");
    AddMissingSpinner(t, 1135, 1034, "Bounce:");
    AddMissingSpinner(t, 1137, 1035, "Collision GAP:");
    AddMissingSpinner(t, 1138, 1036, "Gravity:");
    AddMissing(t, 1136, Kind::CustEdit, "");
    if (t.controls.size() != before) vorel_ui::RegisterDialogTemplate(instance, t);
  }
  if (!vorel_ui::FindDialogTemplate(instance, kSourceParamsDialog))
    vorel_ui::RegisterDialogTemplate(instance, SourceTemplate());
  if (!vorel_ui::FindDialogTemplate(instance, kParticleDisplayDialog))
    vorel_ui::RegisterDialogTemplate(instance, DisplayTemplate());
  if (!vorel_ui::FindDialogTemplate(instance, kGhostParamsDialog))
    vorel_ui::RegisterDialogTemplate(instance, GhostTemplate());
}

void PrepareEmitterRollouts(GenParticle* emitter) {
  RegisterEmitterDialogs(VorelModuleHandle());
  ParamBlockDesc2* d = EmitterParamBlock();
  d->SetUserDlgProc(kEmitMapSource, new SourceDlgProc(emitter));
  d->SetUserDlgProc(kEmitMapDisplay, new ParticleDlgProc(emitter));
  if (EmitterPresetsProc()) d->SetUserDlgProc(kEmitMapPresets, EmitterPresetsProc());
}

void PrepareGhostRollouts(GenGhostParticle* ghost) {
  RegisterEmitterDialogs(VorelModuleHandle());
  ParamBlockDesc2* d = GhostParamBlock();
  d->SetUserDlgProc(kGhostMapSource, new SourceGhostDlgProc(ghost));
  d->SetUserDlgProc(kGhostMapDisplay, new ParticleGhostDlgProc(ghost));
}

void GenParticle::SetFillSpinnersEnabled(bool on) {
  EnableSpinner(sourceRollout, kFillLayersSpin, on);
  EnableSpinner(sourceRollout, kFillCountSpin, on);
}

// ------------------------------------------------------------ pick modes

BOOL VorelPickInstanceCallback::Filter(INode* node) {
  if (!node || IsSystemNodeName(node->GetName())) return FALSE;
  return ConvertsToMesh(node, Now()) ? TRUE : FALSE;
}

BOOL EmitterNodePickMode::HitTest(IObjParam* host, HWND hWnd, ViewExp*, IPoint2 m, int) {
  return host && host->PickNode(hWnd, m, filter_) ? TRUE : FALSE;
}

INode* EmitterNodePickMode::PickedNode(ViewExp* vpt) {
  INode* node = vpt ? vpt->GetClosestHitNode() : nullptr;
  return node && emitter && filter_->Filter(node) ? node : nullptr;
}

void EmitterNodePickMode::EnterMode(IObjParam*) {
  if (emitter) SetButtonCheck(emitter->*rollout_, button_, TRUE);
}
void EmitterNodePickMode::ExitMode(IObjParam*) {
  if (emitter) SetButtonCheck(emitter->*rollout_, button_, FALSE);
}

BOOL VorelPickInstanceModeCallback::Pick(IObjParam*, ViewExp* vpt) {
  INode* node = PickedNode(vpt);
  if (!node) return FALSE;
  emitter->ReplaceReference(2, node);
  ShowText(emitter->displayRollout, kInstanceName, node->GetName());
  emitter->mvalid.SetEmpty();
  SourcesNeedRefresh = 1;
  // Back to the host's standard command mode: the mode ends here.
  return TRUE;
}

BOOL PickMapperNodeCallback::Filter(INode* node) {
  return node && ConvertsToMesh(node, Now()) ? TRUE : FALSE;
}

BOOL PickMapperModeCallback::Pick(IObjParam*, ViewExp* vpt) {
  INode* node = PickedNode(vpt);
  if (!node) return FALSE;
  emitter->ReplaceReference(3, node);
  ShowText(emitter->sourceRollout, kMapperLabel, node->GetName());
  return TRUE;
}

// -------------------------------------------------------- select by name

int CSelectShapeSourcesCallback::filter(INode* node) {
  if (!node || IsSystemNodeName(node->GetName())) return FALSE;
  Object* o = ObjectAt(node, Now());
  if (!o || o->SuperClassID() != SHAPE_CLASS_ID) return FALSE;
  const Class_ID id = o->ClassID();
  return id == Class_ID(0x1994, 0) || id == Class_ID(0x1996, 0) ? FALSE : TRUE;
}

void CSelectShapeSourcesCallback::proc(INodeTab& nodes) {
  if (!emitter_) return;
  GenParticle& e = *emitter_;
  INode* chosen = nodes.Count() > 0 ? nodes[0] : nullptr;
  if (!chosen) {
    e.ReplaceReference(1, nullptr);
    picked_.clear();
    return;
  }
  const TimeValue t = Now();
  e.ReplaceReference(1, chosen);
  if (INode* own = EmitterNode(e)) {
    own->SetNodeTM(t, chosen->GetNodeTM(t));
    e.storedTM = own->GetObjectTM(t);
    e.storedPos = e.storedTM.GetTrans();
  }
  // An outline to emit from is no obstacle.
  if (HasObjectParams(chosen)) SetObjectCollide(chosen, 0);
  picked_ = chosen->GetName();
  e.shapeRows.DeleteAll();
}

int CSelectEmittingObjectsCallback::filter(INode* node) {
  if (!node || node->IsHidden() || IsSystemNodeName(node->GetName())) return FALSE;
  Object* o = ObjectAt(node, Now());
  if (!o || o->SuperClassID() == SHAPE_CLASS_ID) return FALSE;
  return o->CanConvertToType(triObjectClassID()) ? TRUE : FALSE;
}

void CSelectEmittingObjectsCallback::proc(INodeTab& nodes) {
  if (!emitter_) return;
  INode* chosen = nodes.Count() > 0 ? nodes[0] : nullptr;
  emitter_->ReplaceReference(1, chosen);
  if (!chosen) return;
  emitter_->FillFromObject();
  emitter_->fillPending = 1;
}

// --------------------------------------------------- source rollout steps

void EmitFromCircle(GenParticle& e) {
  EnableSpinner(e.sourceRollout, kFillLayersSpin, false);
  ShowText(e.sourceRollout, kEmissionName, "");
  e.lastEmissionType = kEmissionCircle;
  e.shapeRows.DeleteAll();
  SourcesNeedRefresh = 1;
  InvalidateSolvedRange(e.engine);
}

namespace {
// The common steps of the two picked emission types.
bool EmitFromPicked(GenParticle& e, int type) {
  const bool fill = type == kEmissionObjectFill;
  EnableSpinner(e.sourceRollout, kFillLayersSpin, fill);
  e.ReplaceReference(1, nullptr);
  Interface* ip = EditInterface();
  const TimeValue t = Now();
  bool chosen = false;
  if (fill) {
    CSelectEmittingObjectsCallback cb(&e);
    chosen = ip->DoHitByNameDialog(&cb) && e.emissionNode;
  } else {
    CSelectShapeSourcesCallback cb(&e);
    chosen = ip->DoHitByNameDialog(&cb) && e.emissionNode;
  }
  if (chosen) {
    if (fill && e.pblock2) e.pblock2->SetValue(kEmitEmissionType, t, kEmissionObjectFill);
    e.lastEmissionType = type;
    SourcesNeedRefresh = 1;
    InvalidateSolvedRange(e.engine);
    e.UpdateParticles(t, EmitterNode(e));
    ShowText(e.sourceRollout, kEmissionName, e.emissionNode->GetName());
  } else {
    e.ReplaceReference(1, nullptr);
    if (e.pblock2) e.pblock2->SetValue(kEmitEmissionType, t, kEmissionCircle);
    ShowText(e.sourceRollout, kEmissionName, "");
    e.lastEmissionType = kEmissionCircle;
    e.shapeRows.DeleteAll();
    EnableSpinner(e.sourceRollout, kFillLayersSpin, false);
  }
  SourcesNeedRefresh = 1;
  InvalidateSolvedRange(e.engine);
  e.mvalid.SetEmpty();
  return chosen;
}
}  // namespace

bool EmitFromShape(GenParticle& e) { return EmitFromPicked(e, kEmissionShape); }
bool EmitFromFilledObject(GenParticle& e) { return EmitFromPicked(e, kEmissionObjectFill); }

bool ChooseSourceFolder(GenParticle& e, HWND owner) {
  // The chooser starts in the cache root; the process's own current folder
  // is left alone.
  char dir[MAX_PATH] = {};
  if (e.engine) {
    const std::string start = e.engine->cacheRoot + "/";
    if (start.size() < sizeof dir) std::memcpy(dir, start.c_str(), start.size() + 1);
  }
  EditInterface()->ChooseDirectory(owner, "Select source directory...", dir);
  dir[sizeof dir - 1] = '\0';
  if (!dir[0]) return false;
  e.SetSourceFolder(dir);
  ShowText(e.sourceRollout, kFolderField, e.SourceFolder().c_str());
  return true;
}
