// The action table, the action callback, current-system resolution, the
// Escape test and the long runs with their progress dialogs.
#include "fluid_plugin/vor_actions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "fluid_core/host_link.h"
#include "fluid_plugin/fluid_desc.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/host_helpers.h"
#include "fluid_plugin/progress_dialog.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "host/core/clock.h"
#include "host/core/interaction.h"
#include "host/ui/ui.h"
#include "scene_objects/vorel_strings.h"

HWND ProgressDialog = nullptr;

const ActionRow kActionRows[kActionCount] = {
    {kCmdGo, 31286},
    {kCmdAddSource, 31287},
    {kCmdRandomEmission, 31289},
    {kCmdFlushAnimation, 31285},
    {kCmdRebuildSurface, 31284},
    {kCmdFlushSurface, 31340},
    {kCmdHoldTime, 31280},
    {kCmdStartStopEmitting, 31288},
    {kCmdNewVorel, 31283},
    {kCmdClipBox, 31290},
    {kCmdLookDrops, 31291},
    {kCmdLookDots, 31292},
    {kCmdLookTicks, 31293},
    {kCmdLookInstances, 31346},
    {kCmdRenderTetrahedron, 31294},
    {kCmdRenderFacing, 31298},
    {kCmdRenderNothing, 31299},
    {kCmdFacingCamera, 31300},
    {kCmdFacingSpeed, 31301},
    {kCmdFacingSurface, 31302},
    {kCmdSizeOnSolitude, 31303},
    {kCmdEnableSurface, 31304},
    {kCmdToolbar, 31328},
    {kCmdRepaintWetmaps, 1028},
    {kCmdObjectManager, 31343},
    {kCmdRenderInstanced, 31344},
    {kCmdObjectManagerNote, 1079},
    {kCmdHelp, 1080},
    {kCmdOpenLog, 1081},
    {kCmdNewPelliqor, 30012},
};

namespace {
VorActionCB* TheCallback = nullptr;
Interface* EditIp = nullptr;
EditActionHandler EditHandler = nullptr;
ToolbarStateHook ToolbarHook = nullptr;
HWND RunBar = nullptr;      // progress bar of the open dialog
HWND RunSecond = nullptr;   // second progress control (surface builder)

constexpr int kActionPromptMs = 15000;
constexpr int kCtlBar = 1063;
constexpr int kCtlTotalParticles = 1064;
constexpr int kCtlElapsed = 1065;
constexpr int kCtlFrameTime = 1066;
constexpr int kCtlStartedAt = 1068;
constexpr int kCtlSecond = 1068;
constexpr int kCtlEstimate = 1069;
constexpr int kCtlBuilding = 1069;
constexpr int kCtlFrames = 1070;
constexpr int kCtlBar2 = 1071;
constexpr int kCtlEstimate2 = 1072;

const char* kAllSolved = "Vorel-> All animation playback range is already solved!";
const char* kAllMeshed = "Vorel-> All solved frames are already meshed!";
const char* kNothing = "Vorel-> Nothing to compute!";
const char* kRangeFull = "Vorel-> The cache holds 10000 frames: solving stops at the last one.";

Interface* Ip() { return GetCOREInterface(); }
int Tpf() { return Ip()->GetTicksPerFrame(); }

// An interactive run must not start while the host plays the animation.
bool HostRefusesRun() { return Ip()->IsAnimPlaying(); }

void SetText(int control, const std::string& text) {
  if (ProgressDialog) SetDlgItemText(ProgressDialog, control, text.c_str());
}
void SetNumber(int control, long long n) { SetText(control, std::to_string(n)); }

void OpenRunDialog(int templateId, TetraProcObj* system, int barControl, int secondControl) {
  ProgressDialog = CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(templateId),
                                     Ip()->GetMAXHWnd(), ProgressDlgProc, LPARAM(system));
  RunBar = ProgressDialog ? GetDlgItem(ProgressDialog, barControl) : nullptr;
  RunSecond = ProgressDialog && secondControl ? GetDlgItem(ProgressDialog, secondControl) : nullptr;
}

void CloseRunDialog() {
  if (ProgressDialog) DestroyWindow(ProgressDialog);
  ProgressDialog = nullptr;
  RunBar = nullptr;
  RunSecond = nullptr;
}

std::string StartedAt() {
  char buf[16] = {0};
  _strtime(buf);
  return buf;
}

long long Elapsed(const TetraProcObj* system) {
  return (long long)(GetTickCount() - system->solveStartClock);
}

// The common close of GO!, the rebuild and the wet-map repaint: step back
// when stopped, statistics, redraw.
void FinishRun(TetraProcObj* system, int stopFrame, bool statistics) {
  CloseRunDialog();
  system->isSolving = false;
  if (SolveStopFlag) Ip()->SetTime(TimeValue(stopFrame - 2) * Tpf(), true);
  SolveStopFlag = 0;
  if (statistics) system->engine.ShowStatistics(system->cacheRollout);
  Ip()->RedrawViews(Ip()->GetTime());
  GetTetraProcObjDesc()->InvalidateUI();
}

// The run's system is gone: only the dialog and the run flags are left to
// put back.
void AbandonRun() {
  CloseRunDialog();
  SolveStopFlag = 0;
}

// A long run pumps messages, so the user may delete the system (or load
// another scene) in the middle of it; the run then ends at once.
struct RunGuard {
  TetraProcObj* system;
  uint64_t serial;
  explicit RunGuard(TetraProcObj* s) : system(s), serial(s->Serial()) {}
  bool Alive() const { return IsLiveSystem(system, serial); }
};

bool IsFluidSystem(Object* o) { return o && o->ClassID() == TetraProcObjClassID(); }

TetraProcObj* SystemOfEmitter(Object* o) {
  FluidSource* s = AsFluidSource(o ? o->FindBaseObject() : nullptr);
  if (!s || !s->engine || !s->engine->owner) return nullptr;
  for (TetraProcObj* sys : LiveSystems())
    if (&sys->engine == s->engine) return sys;
  return nullptr;
}
}  // namespace

BatchTimes& BatchRunStats() {
  static BatchTimes times;
  return times;
}

std::string FrameTimeText(long long ms) {
  if (ms < 0) ms = 0;
  char buf[64];
  const int hundredths = int((double(ms) / 1000.0 - double(ms / 1000)) * 100.0);
  std::snprintf(buf, sizeof buf, "%s.%02d", FormatElapsedMs(ms).c_str(), hundredths);
  return buf;
}

ActionTable* BuildActionTable() {
  const char* name = VorelString(kActionTableNameString);
  std::vector<ActionDescription> descs;
  for (const ActionRow& r : kActionRows)
    descs.push_back({r.command, r.stringId, r.stringId, kActionTableNameString});
  ActionTable* table =
      new ActionTable(kVorelActionTableId, kVorelActionContextId, name ? name : "Vorel_af",
                      kActionAcceleratorTable, kActionCount, descs.data(), VorelModuleHandle(),
                      [](int id) {
                        const char* s = VorelString(id);
                        return std::string(s ? s : "");
                      });
  // The default keys as the accelerator resource gives them: several
  // commands share Ctrl+Shift+Alt+G and +Q there; only one of each can work.
  const int csa = ACCEL_CONTROL | ACCEL_SHIFT | ACCEL_ALT, ca = ACCEL_CONTROL | ACCEL_ALT;
  std::vector<ActionAccelerator> keys = {{65, csa, 40005}, {67, ca, 40003}, {68, ca, 40004},
                                         {70, csa, 40029}};
  for (int cmd : {40016, 40017, 40018, 40001, 40014, 40015, 40013, 40022, 40009, 40020, 40021,
                  40019, 40011, 40010, 40026, 40012, 40027, 40031})
    keys.push_back({71, csa, cmd});
  keys.push_back({73, ACCEL_CONTROL, 40002});
  keys.push_back({74, csa, 40030});
  keys.push_back({75, ACCEL_CONTROL, 40008});
  keys.push_back({75, csa, 40007});
  for (int cmd : {40006, 40024, 40023, 40025}) keys.push_back({81, csa, cmd});
  table->SetAccelerators(keys);
  if (IActionManager* am = GetActionManager())
    am->RegisterActionContext(kVorelActionContextId, table->GetName().c_str());
  return table;
}

VorActionCB* GetVorActionCB() {
  if (!TheCallback) {
    TheCallback = new VorActionCB();
    solver_host::SetAbortTest(&CheckUserAbort);
    // Bound now or, while the table has not arrived, as soon as it does.
    if (IActionManager* am = ::GetActionManager()) am->ActivateActionTable(TheCallback, kVorelActionTableId);
  }
  return TheCallback;
}

TetraProcObj* CurrentSystem() { return TheCallback ? TheCallback->currentSystem : nullptr; }
void SetCurrentSystem(TetraProcObj* system) {
  if (TheCallback) TheCallback->currentSystem = system;
}

void SetEditInterface(Interface* ip) { EditIp = ip; }
Interface* EditInterface() { return EditIp; }
void SetEditActionHandler(EditActionHandler handler) { EditHandler = handler; }
void SetToolbarStateHook(ToolbarStateHook hook) { ToolbarHook = hook; }
void RunToolbarStateHook(TetraProcObj* system, bool newSystem) {
  if (ToolbarHook) ToolbarHook(system, newSystem);
}

TetraProcObj* ResolveCurrentSystem() {
  VorActionCB* cb = GetVorActionCB();
  Interface* ip = Ip();
  const TimeValue t = ip->GetTime();
  for (int i = 0; i < ip->GetSelNodeCount(); ++i) {
    INode* n = ip->GetSelNode(i);
    if (!n) continue;
    const std::string name = n->GetName();
    TetraProcObj* found = nullptr;
    if (name.compare(0, 6, "Vorel_") == 0) {
      Object* o = n->EvalWorldState(t).obj;
      // The name alone proves nothing: only a real fluid system is taken.
      if (IsFluidSystem(o)) found = static_cast<TetraProcObj*>(o);
      else if (!IsFluidSystem(o ? o->FindBaseObject() : nullptr)) continue;
      else found = static_cast<TetraProcObj*>(o->FindBaseObject());
    } else if (name.compare(0, 11, "VorelSource") == 0) {
      found = SystemOfEmitter(n->EvalWorldState(t).obj);
      if (!found) continue;
    } else if (name.compare(0, 13, "VorelParticle") == 0) {
      found = SystemOfEmitter(n->GetObjectRef());
      if (!found) continue;
    } else {
      continue;
    }
    cb->currentSystem = found && found->pblock2 ? found : nullptr;
    return cb->currentSystem;
  }
  return cb->currentSystem;
}

void ShowRunProgress(int position, int rangeLow, int rangeHigh) {
  if (!RunBar) return;
  SendMessage(RunBar, PBM_SETRANGE32, WPARAM(rangeLow), LPARAM(rangeHigh));
  SendMessage(RunBar, PBM_SETPOS, WPARAM(position), 0);
}

void ShowRunElapsed(const char* text) {
  if (text) SetText(kCtlElapsed, text);
}

bool CheckUserAbort() {
  if (!vorel::host::ProcessPendingMessages()) return true;
  if (!(GetAsyncKeyState(VK_ESCAPE) & 0x8000)) return false;
  return HostWindowIsForeground() || (ProgressDialog && GetForegroundWindow() == ProgressDialog);
}

BOOL VorActionCB::ExecuteAction(int id) {
  if (id == kCmdNewVorel) {
    RunNewVorel();
    return TRUE;
  }
  TetraProcObj* system = ResolveCurrentSystem();
  switch (id) {
    case kCmdGo:
      RunGo(system);
      break;
    case kCmdHoldTime:
      RunHoldTime(system);
      break;
    case kCmdRebuildSurface:
      RunRebuildSurface(system);
      break;
    case kCmdRepaintWetmaps:
      RunRepaintWetmaps(system);
      break;
    case kCmdObjectManagerNote:
      break;
    default:
      if (EditHandler) EditHandler(id, system);
      break;
  }
  return TRUE;
}

// ---------------------------------------------------------------------------

// GO! on frames solved at another Scale would mix two scales in one cache:
// the particles in memory are in the old solver units, the colliders and
// the next frames in the new ones. Converting the particles would not mend
// it: the spacing and mass of the particles, and every frame already
// solved, belong to the old scale. So the user chooses: the cache solved
// again from the start at the new Scale, or nothing solved. False when
// nothing is to be solved.
bool AgreeOnScale(TetraProcObj* system) {
  FluidEngine& e = system->engine;
  if (!e.ScaleChangedSinceSolve()) return true;
  const std::string text = "Vorel-> " + e.ScaleChangeText() +
                           ". One cache holds one Scale: solve again from the start at the new "
                           "Scale (the frames solved so far are deleted)?";
  if (MessageBoxA(Ip()->GetMAXHWnd(), text.c_str(), "Vorel Warning!", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    ShowTempPrompt(("Vorel-> GO! solved nothing: " + e.ScaleChangeText() + "; set Scale back to go on.").c_str(),
                   kActionPromptMs);
    return false;
  }
  // The system's own frames and surfaces (its tables name them) go; the
  // reset starts the cache again at an empty first frame.
  const FrameCache& cache = e.solver->frameCache;
  for (int i = 0; i <= e.lastSolved && i < FluidEngine::kMaxFrames; ++i) {
    std::remove(cache.FramePath(i).c_str());
    std::remove(cache.MeshPath(i).c_str());
  }
  e.Reset();
  return true;
}

void RunGo(TetraProcObj* system) {
  if (!system) return;
  FluidEngine& e = system->engine;
  const int tpf = Tpf();
  int f0 = e.lastSolved == -1 ? e.startFrame : e.startFrame + e.lastSolved;
  const int fEnd = Ip()->GetAnimRange().End() / tpf;
  if (f0 >= fEnd) {
    ShowTempPrompt(kAllSolved, kActionPromptMs);
    return;
  }
  if (HostRefusesRun() || system->isSolving) return;
  if (!AgreeOnScale(system)) return;
  f0 = e.lastSolved == -1 ? e.startFrame : e.startFrame + e.lastSolved;

  system->isSolving = true;
  SolveStopFlag = 0;
  e.cacheFailure.clear();
  e.solveFailure.clear();
  OpenRunDialog(kDlgSolver, system, kCtlBar, 0);
  system->solveStartClock = GetTickCount();
  SetText(kCtlStartedAt, StartedAt());
  e.LogStart();
  IParamBlock2* pb = system->pblock2;
  const TimeValue now = Ip()->GetTime();
  const int entire = ReadIntParam(pb, kFluidEntireAnimationRange, now, 1);
  const int startMesher = ReadIntParam(pb, kFluidStartFrameMesher, now, 0);
  const int stopMesher = ReadIntParam(pb, kFluidStopFrameMesher, now, 100);

  RunGuard guard(system);
  int f = f0;
  unsigned lastPassEnd = system->solveStartClock;
  for (int k = 0; f <= fEnd; ++f, ++k) {
    const int n = f - e.startFrame;
    if (n >= FluidEngine::kMaxFrames) {
      ShowTempPrompt(kRangeFull, kActionPromptMs);
      break;
    }
    SetNumber(kCtlFrames, k - 1);
    SetNumber(kCtlTotalParticles, e.solver->LiveCount());
    const TimeValue ft = TimeValue(f) * tpf;
    const int showParticles = ReadIntParam(system->pblock2, kFluidShowParticles, ft, 1);
    const int surfaceAlso = ReadIntParam(system->pblock2, kFluidCalculateSurfaceAlso, ft, 1);
    if (SolveStopFlag) break;
    const unsigned passStart = GetTickCount();
    Ip()->SetTime(ft, showParticles != 0);
    if (!guard.Alive()) return AbandonRun();
    // The frame's file was not written, or its solve could not go on.
    if (!e.cacheFailure.empty() || !e.solveFailure.empty()) break;
    if (surfaceAlso && n >= 0 && n <= e.lastSolved && !e.frameMeshed[size_t(n)] &&
        (entire || (startMesher <= f && f <= stopMesher))) {
      const auto meshStart = std::chrono::steady_clock::now();
      const bool meshed = e.BuildSurfaceFrame(n);
      BatchRunStats().meshMs +=
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - meshStart).count();
      if (!meshed) {
        SolveStopFlag = 1;
        break;
      }
      e.frameMeshed[size_t(n)] = 1;
      e.lastMeshed = n;
    }
    lastPassEnd = GetTickCount();
    const long long elapsed = Elapsed(system);
    SetText(kCtlFrameTime, FrameTimeText((long long)(lastPassEnd - passStart)));
    SetText(kCtlEstimate, FormatElapsedMs((long long)(fEnd - f) * (elapsed / std::max(k + 1, 1))));
    SetText(kCtlElapsed, FormatElapsedMs(elapsed));
    if (CheckUserAbort()) {
      if (!guard.Alive()) return AbandonRun();
      SolveStopFlag = 1;
      break;
    }
    if (!guard.Alive()) return AbandonRun();
  }
  const std::string solveFailure = e.solveFailure;
  e.ReleaseCacheFolder();
  FinishRun(system, f, true);
  if (!e.cacheFailure.empty()) e.LogFailure(e.cacheFailure);
  if (!solveFailure.empty()) e.LogFailure(solveFailure);
  e.LogEnd((long long)(lastPassEnd - system->solveStartClock),
           e.lastSolved - (f0 - e.startFrame) - 1);
  if (!e.cacheFailure.empty()) {
    const std::string text = "Vorel-> The solve stopped, a cache file failed: " + e.cacheFailure +
                             ". Frames solved: " + std::to_string(e.lastSolved) + ".";
    MessageBoxA(Ip()->GetMAXHWnd(), text.c_str(), "Vorel Warning!", MB_OK | MB_ICONERROR);
  }
  if (!solveFailure.empty()) {
    const std::string text = "Vorel-> The solve stopped: " + solveFailure + ". Frames solved: " +
                             std::to_string(e.lastSolved) + ".";
    MessageBoxA(Ip()->GetMAXHWnd(), text.c_str(), "Vorel Warning!", MB_OK | MB_ICONERROR);
  }
}

void RunHoldTime(TetraProcObj* system) {
  if (!system || HostRefusesRun() || system->isSolving) return;
  FluidEngine& e = system->engine;
  const int tpf = Tpf();
  const int f = e.lastSolved == -1 ? e.startFrame : e.startFrame + e.lastSolved;
  system->isSolving = true;
  e.isHoldingTime = true;
  OpenRunDialog(kDlgSolver, system, kCtlBar, 0);
  RunGuard guard(system);
  Ip()->SetTime(TimeValue(f) * tpf, true);
  if (!guard.Alive()) return AbandonRun();
  system->solveStartClock = GetTickCount();
  SetText(kCtlStartedAt, StartedAt());
  for (int k = 0; !SolveStopFlag; ++k) {
    SetNumber(kCtlFrames, k);
    SetNumber(kCtlTotalParticles, e.solver->LiveCount());
    const unsigned passStart = GetTickCount();
    Ip()->SetTime(TimeValue(f) * tpf, true);
    if (!guard.Alive()) return AbandonRun();
    if (!SolveStopFlag && f - e.startFrame >= 0) e.SolveFrame(f - e.startFrame);
    for (int i = 0; i < e.sourceCount && i < FluidEngine::kMaxSources; ++i)
      if (e.sourceNodes[size_t(i)] && e.sourceObjects[size_t(i)]) {
        e.lastEvalFrame = -1;
        SourcesNeedRefresh = 1;
      }
    Ip()->SetTime(TimeValue(f + 1) * tpf, true);
    if (!guard.Alive()) return AbandonRun();
    const bool stop = CheckUserAbort();
    if (!guard.Alive()) return AbandonRun();
    SetText(kCtlFrameTime, FrameTimeText((long long)(GetTickCount() - passStart)));
    SetText(kCtlElapsed, FormatElapsedMs(Elapsed(system)));
    if (stop) break;
  }
  CloseRunDialog();
  system->isSolving = false;
  e.ReleaseCacheFolder();
  SolveStopFlag = 0;
  e.isHoldingTime = false;
}

void RunRebuildSurface(TetraProcObj* system) {
  if (!system || HostRefusesRun() || system->isSolving) return;
  FluidEngine& e = system->engine;
  int first = e.lastMeshed >= 1 ? e.lastMeshed : 0;
  int last = std::min(e.lastSolved, FluidEngine::kMaxFrames - 1);
  if (first >= last) {
    ShowTempPrompt(kAllMeshed, kActionPromptMs);
    return;
  }
  OpenRunDialog(kDlgSurfaceBuilder, system, kCtlBar2, kCtlSecond);
  system->solveStartClock = GetTickCount();
  system->isSolving = true;
  SolveStopFlag = 0;
  e.solveFailure.clear();
  ShowRunProgress(0, 1, last);
  const TimeValue now = Ip()->GetTime();
  if (!ReadIntParam(system->pblock2, kFluidEntireAnimationRange, now, 1)) {
    first = std::max(first, ReadIntParam(system->pblock2, kFluidStartFrameMesher, now, 0));
    last = std::min(last, ReadIntParam(system->pblock2, kFluidStopFrameMesher, now, 100));
  }
  first = std::max(first, 0);
  const int tpf = Tpf();
  RunGuard guard(system);
  int n = first;
  for (int done = 0; n <= last; ++n, ++done) {
    ShowRunProgress(n, 1, last);
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", n, last);
    SetText(kCtlBuilding, text);
    const int showParticles = ReadIntParam(system->pblock2, kFluidShowParticles, now, 1);
    if (SolveStopFlag) {
      e.lastEvalFrame = n - 1;
      break;
    }
    const unsigned passStart = GetTickCount();
    bool ok = true;
    if (!e.frameMeshed[size_t(n)]) {
      if (n == 0) {
        e.frameMeshed[0] = 1;  // frame 0 holds no particles to mesh
      } else {
        ok = e.BuildSurfaceFrame(n);
        if (ok) e.frameMeshed[size_t(n)] = 1;
      }
    }
    Ip()->SetTime(TimeValue(e.startFrame + n) * tpf, showParticles != 0);
    if (!guard.Alive()) return AbandonRun();
    if (ok) e.lastMeshed = n;
    const long long elapsed = Elapsed(system);
    SetText(kCtlElapsed, FormatElapsedMs(elapsed));
    SetText(kCtlEstimate2,
            FormatElapsedMs((long long)(last - n) * (elapsed / (done > 1 ? done : 1))));
    SetText(kCtlFrameTime, FrameTimeText((long long)(GetTickCount() - passStart)));
    SetNumber(kCtlFrames, done);
    const bool stop = CheckUserAbort();
    if (!guard.Alive()) return AbandonRun();
    if (stop) SolveStopFlag = 1;
    if (stop || !ok) break;
  }
  const std::string failure = e.solveFailure;
  FinishRun(system, e.startFrame + n, true);
  if (!failure.empty()) {
    e.LogFailure(failure);
    const std::string text = "Vorel-> The surface build stopped: " + failure + ".";
    MessageBoxA(Ip()->GetMAXHWnd(), text.c_str(), "Vorel Warning!", MB_OK | MB_ICONERROR);
  }
}

void RunRepaintWetmaps(TetraProcObj* system) {
  if (!system || HostRefusesRun() || system->isSolving) return;
  FluidEngine& e = system->engine;
  const int n = std::min(e.lastSolved, FluidEngine::kMaxFrames - 1);
  if (n < 1) {
    ShowTempPrompt(kNothing, kActionPromptMs);
    return;
  }
  OpenRunDialog(kDlgMapTracer, system, kCtlBar2, 0);
  system->solveStartClock = GetTickCount();
  e.ResizeWetMaps();
  system->isSolving = true;
  SolveStopFlag = 0;
  ShowRunProgress(0, 1, n);
  RunGuard guard(system);
  int frame = 0;
  for (; frame <= n; ++frame) {
    ShowRunProgress(frame, 1, n);
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", frame, n);
    SetText(kCtlBuilding, text);
    if (SolveStopFlag) break;
    const unsigned passStart = GetTickCount();
    e.RepaintWetMaps(frame);
    SetText(kCtlElapsed, FormatElapsedMs(Elapsed(system)));
    SetText(kCtlFrameTime, FrameTimeText((long long)(GetTickCount() - passStart)));
    SetNumber(kCtlFrames, frame);
    const bool stop = CheckUserAbort();
    if (!guard.Alive()) return AbandonRun();
    if (stop) {
      SolveStopFlag = 1;
      break;
    }
  }
  FinishRun(system, frame, false);
}

TetraProcObj* RunNewVorel() {
  Interface* ip = Ip();
  GetVorActionCB();
  Animatable* made = ip->CreateInstance(GEOMOBJECT_CLASS_ID, TetraProcObjClassID());
  if (!made) return nullptr;
  TetraProcObj* system = static_cast<TetraProcObj*>(made);
  // The host numbers the object's node name: "Vorel_001", "Vorel_002"...
  std::string nodeName;
  for (int k = 1; nodeName.empty() || ip->GetINodeByName(nodeName.c_str()); ++k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Vorel_%03d", k);
    nodeName = buf;
  }
  INode* n = ip->CreateObjectNode(system, nodeName.c_str());
  SetCurrentSystem(system);
  FluidEngine& e = system->engine;
  const PluginDefaults& d = e.defaults;
  system->lastSurfaceLod = d.surfaceLod;
  system->lastDropSize = d.dropSize;
  system->lastMeltingForce = d.meltingThreshold;
  system->lastShrinkWrap = d.shrinkWrap;
  IParamBlock2* pb = system->pblock2;
  const TimeValue t = ip->GetTime();
  if (pb) {
    pb->SetValue(kFluidGravity, t, d.gravity);
    pb->SetValue(kFluidSurfaceLod, t, d.surfaceLod);
    pb->SetValue(kFluidDropSize, t, d.dropSize);
    pb->SetValue(kFluidMeltingForce, t, d.meltingThreshold);
    pb->SetValue(kFluidShowMesh, t, d.showMeshSurface);
    pb->SetValue(kFluidShowParticles, t, d.enableViewportUpdate);
    pb->SetValue(kFluidOutOfRangeAction, t, d.endActions);
    pb->SetValue(kFluidCollisionGap, t, d.objectCollisionGap);
    pb->SetValue(kFluidObjectBounce, t, d.objectBounce);
    pb->SetValue(kFluidObjectFriction, t, d.objectFriction);
    pb->SetValue(kFluidObjectCollide, t, d.objectCollide);
    pb->SetValue(kFluidObjectAdherence, t, d.objectCoandaEffect);
    pb->SetValue(kFluidSubSample, t, 1);
    pb->SetValue(kFluidScale, t, 1.0f);
  }
  if (e.sourceCount == 0) {
    e.owner = system;
    e.CreateClipBox();
    // The parameter says whether the (new or shared) clip box is shown from
    // the start, so the rollout's tick and the box agree.
    if (INode* box = ip->GetINodeByName(kClipBoxNodeName))
      if (pb) pb->SetValue(kFluidShowClipBox, t, box->IsHidden() ? 0 : 1);
    e.CreateSource();
    e.CreateFloor();
    e.CreateTextureGizmo();
  }
  e.owner = system;
  if (n) n->SetNodeTM(0, Matrix3());
  system->node = n;
  e.systemNode = n;
  e.Reset();
  RunToolbarStateHook(system, true);
  return system;
}
