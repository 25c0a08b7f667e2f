#include "fluid_plugin/edit_actions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fluid_core/engine.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/host_helpers.h"
#include "fluid_plugin/menu_toolbar.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/interaction.h"
#include "scene_objects/object_manager.h"

namespace {

constexpr const char* kBoxCaption = "Vorel";
constexpr const char* kEmitterPrefix = "VorelParticle";
constexpr size_t kEmitterPrefixLength = 13;

Interface* Ip() { return GetCOREInterface(); }
void Redraw() { Ip()->RedrawViews(Ip()->GetTime()); }

bool AskOkCancel(const char* text) {
  return MessageBox(GetActiveWindow(), text, kBoxCaption, MB_OKCANCEL) == IDOK;
}

std::string Numbered(const char* format, int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, n);
  return buf;
}

// Visits the selected emitter nodes in selection order: `fn(node, block)`.
// A matching node without an object ends the walk. Only a node whose base
// object really is an emitter counts: a modifier on the node or a user
// object that merely carries the name is not one.
template <class Fn>
void ForSelectedEmitters(Fn fn) {
  Interface* ip = Ip();
  for (int i = 0, n = ip->GetSelNodeCount(); i < n; ++i) {
    INode* node = ip->GetSelNode(i);
    if (!node || std::strncmp(node->GetName(), kEmitterPrefix, kEmitterPrefixLength) != 0) continue;
    Object* ref = node->GetObjectRef();
    if (!ref) return;
    Object* base = ref->FindBaseObject();
    if (!base || base->ClassID() != SourceClassID()) continue;
    FluidSource* source = AsFluidSource(base);
    fn(node, source ? source->SourceParamBlock() : nullptr);
    Redraw();
  }
}

}  // namespace

bool ParseFrameFileName(const std::string& name, int& number) {
  static const char kExt[] = ".Vorel";
  if (name.size() != 5 + sizeof kExt - 1 || name.compare(5, std::string::npos, kExt) != 0)
    return false;
  int n = 0;
  for (int i = 0; i < 5; ++i) {
    const char c = name[size_t(i)];
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  number = n;
  return true;
}

// ---------------------------------------------------------------------------

void FlushAnimation(TetraProcObj* system) {
  if (!system) return;
  FluidEngine& e = system->engine;
  if (e.isHoldingTime) return;
  Interface* ip = Ip();
  IParamBlock2* pb = system->pblock2;
  int k = ReadIntParam(pb, kFluidKeepUntil, ip->GetTime(), -1);
  // Below -1 means "keep nothing"; keeping the last solved frame or more
  // leaves nothing to flush (and no frame beyond the tables to restart from).
  if (k < -1) k = -1;
  const bool nothingToFlush = k != -1 && k >= e.lastSolved;
  if (!nothingToFlush) {
    char text[96];
    if (k == -1)
      std::snprintf(text, sizeof text, "All cached data will be deleted!");
    else
      std::snprintf(text, sizeof text, "Calculation results beyond frame #%d will be flushed!", k);
    if (AskOkCancel(text)) {
      const FrameCache& cache = e.solver->frameCache;
      const std::string folder = cache.SystemFolder();
      const std::string surface = cache.SurfaceFolder();
      for (const std::string& name : vorel::host::ListFiles(folder, "*.Vorel")) {
        int n = 0;
        if (!ParseFrameFileName(name, n) || n <= k) continue;
        DeleteFileA((folder + name).c_str());
        DeleteFileA((surface + Numbered("m%05d.bin", n)).c_str());
      }
      if (k != -1) {
        // A frame that no longer reads leaves the cache at the last one that does.
        if (!e.RestartFromFrame(k)) e.ResumeFromCache();
        if (pb) pb->SetValue(kFluidKeepUntil, ip->GetTime(), -1);
        ip->SetTime(TimeValue(e.startFrame) * ip->GetTicksPerFrame(), true);
      } else {
        e.Reset();
      }
    }
  }
  e.ShowStatistics(system->cacheRollout);
  SourcesNeedRefresh = 1;
  ip->SetTime(0, true);
}

void FlushSurfaceCache(TetraProcObj* system) {
  if (!system) return;
  FluidEngine& e = system->engine;
  if (e.isHoldingTime) return;
  Interface* ip = Ip();
  IParamBlock2* pb = system->pblock2;
  const TimeValue now = ip->GetTime();
  const int entire = ReadIntParam(pb, kFluidEntireAnimationRange, now, 1);
  const int startMesher = ReadIntParam(pb, kFluidStartFrameMesher, now, 0);
  const int stopMesher = ReadIntParam(pb, kFluidStopFrameMesher, now, 100);
  char text[96];
  int from = 0, to = e.lastMeshed;
  if (entire) {
    std::snprintf(text, sizeof text, "All cached surface data will be deleted!");
  } else {
    from = std::max(startMesher, 0);
    to = std::min(e.lastMeshed, stopMesher);
    std::snprintf(text, sizeof text, "Surface data from frame %d to frame %d will be deleted!", from, to);
  }
  // Cancel changes nothing, the record of meshed frames included.
  if (AskOkCancel(text)) {
    if (entire) e.lastMeshed = -1;
    const int last = std::min(to, FluidEngine::kMaxFrames - 1);
    for (int n = from; n <= last; ++n) e.frameMeshed[size_t(n)] = 0;
    const std::string surface = e.solver->frameCache.SurfaceFolder();
    for (int n = from; n <= last; ++n) DeleteFileA((surface + Numbered("m%05d.bin", n)).c_str());
  }
  if (system->cacheRollout) {
    // What is left on disk: a flush of part of the range keeps the rest.
    e.ComputeSurfaceCacheSize();
    e.ShowStatistics(system->cacheRollout);
  }
  Redraw();
}

void AddSource(TetraProcObj* system) {
  if (!system) return;
  system->engine.CreateSource();
  Redraw();
}

void ToggleSelectedSources(TetraProcObj* system, int paramId) {
  if (!system) return;
  FluidEngine& e = system->engine;
  Interface* ip = Ip();
  const TimeValue t = ip->GetTime();
  for (int s = 0, n = ip->GetSelNodeCount(); s < n; ++s) {
    INode* node = ip->GetSelNode(s);
    if (!node) continue;
    for (int i = 0; i < e.sourceCount && i < FluidEngine::kMaxSources; ++i) {
      if (e.sourceNodes[size_t(i)] != node || !e.sourceObjects[size_t(i)]) continue;
      IParamBlock2* pb = e.sourceObjects[size_t(i)]->SourceParamBlock();
      if (!pb) continue;
      pb->SetValue(paramId, t, ReadIntParam(pb, paramId, t, 0) ? 0 : 1);
    }
  }
}

void ToggleClipBox(TetraProcObj* system) {
  Interface* ip = Ip();
  INode* box = ip->GetINodeByName(kClipBoxNodeName);
  if (box) {
    box->Hide(!box->IsHidden());
    if (system && system->pblock2)
      system->pblock2->SetValue(kFluidShowClipBox, ip->GetTime(), box->IsHidden() ? 0 : 1);
  } else if (system) {
    system->engine.CreateClipBox();
    // The new box decides the button and the parameter, so a second press
    // hides it again.
    box = ip->GetINodeByName(kClipBoxNodeName);
    if (box && system->pblock2) system->pblock2->SetValue(kFluidShowClipBox, ip->GetTime(), 1);
  }
  if (box)
    SetToolbarButtonCheck(kTbClipBox, !box->IsHidden());
  else
    SetToolbarButtonCheck(kTbClipBox, !ToolbarButtonChecked(kTbClipBox));
  Redraw();
  SourcesNeedRefresh = 1;
}

void SetSelectedEmitters(int paramId, int value, bool facingSteps) {
  ForSelectedEmitters([&](INode*, IParamBlock2* pb) {
    if (pb) pb->SetValue(paramId, 0, value);
    if (!facingSteps) return;
    const int facing = ReadIntParam(pb, kEmitFacingOrientation, 0, 1);
    ShowFacingToolbarButton(facing);
    SourcesNeedRefresh = 1;
    SetFacingButtonState(facing);
  });
}

void ToggleSizeOnSolitude(TetraProcObj* system) {
  if (!system) return;
  FluidEngine& e = system->engine;
  e.sizeOnSolitude = e.sizeOnSolitude ? 0 : 1;
  const int on = e.sizeOnSolitude;
  const TimeValue t = Ip()->GetTime();
  ForSelectedEmitters([&](INode*, IParamBlock2* pb) {
    if (pb) pb->SetValue(kEmitSizeOnSolitude, t, on);
  });
  SetToolbarButtonCheck(kTbSolitude, on != 0);
}

void ToggleSurface(TetraProcObj* system) {
  if (!system) return;
  FluidEngine& e = system->engine;
  IParamBlock2* pb = system->pblock2;
  Interface* ip = Ip();
  const TimeValue now = ip->GetTime();
  const int shown = ReadIntParam(pb, kFluidShowMesh, now, 0) ? 0 : 1;
  SetToolbarButtonCheck(kTbSurface, shown != 0);
  if (pb) pb->SetValue(kFluidShowMesh, now, shown);
  e.lastEvalFrame = -999;
  const int entire = ReadIntParam(pb, kFluidEntireAnimationRange, now, 1);
  const int startMesher = ReadIntParam(pb, kFluidStartFrameMesher, now, 0);
  const int stopMesher = ReadIntParam(pb, kFluidStopFrameMesher, now, 100);
  const int n = e.FrameFromTime(now);
  // The frame is tested against the tables before its flag is read.
  if (shown && n >= 0 && n <= e.lastSolved && n < FluidEngine::kMaxFrames &&
      !e.frameMeshed[size_t(n)] && (entire || (startMesher <= n && n <= stopMesher))) {
    if (e.BuildSurfaceFrame(n)) e.frameMeshed[size_t(n)] = 1;
  }
  Redraw();
}

// ---------------------------------------------------------------------------

void SetToolbarForNewSystem(TetraProcObj* system) {
  if (!system) return;
  const PluginDefaults& d = system->engine.defaults;
  if (!d.showToolbar) return;
  CreateToolbar(d.toolbarPosition);
  Interface* ip = Ip();
  SetToolbarButtonCheck(kTbSolitude, d.sizeDependsOnSolitude != 0);
  SetToolbarButtonCheck(kTbSurface, ReadIntParam(system->pblock2, kFluidShowMesh, ip->GetTime(), 0) != 0);
  if (INode* box = ip->GetINodeByName(kClipBoxNodeName)) SetToolbarButtonCheck(kTbClipBox, !box->IsHidden());
  SetRenderTypeButtonState(d.renderType);
  SetParticleLookButtonState(d.particleLook);
  if (d.renderType == 1) {
    ShowFacingToolbarButton(0);
    SetFacingButtonState(0);
  } else {
    HideFacingToolbarButton();
  }
}

void SetToolbarAfterLoad(TetraProcObj* system) {
  if (!system) return;
  if (system->toolbarShown) CreateToolbar(system->engine.defaults.toolbarPosition);
  else HideToolbar();
  const TimeValue t = Ip()->GetTime();
  SetToolbarButtonCheck(kTbClipBox, ReadIntParam(system->pblock2, kFluidShowClipBox, t, 0) != 0);
  SetToolbarButtonCheck(kTbSurface, ReadIntParam(system->pblock2, kFluidShowMesh, t, 0) != 0);
}

bool RunEditAction(int id, TetraProcObj* current) {
  switch (id) {
    case kCmdFlushAnimation: FlushAnimation(current); return true;
    case kCmdFlushSurface: FlushSurfaceCache(current); return true;
    case kCmdAddSource: AddSource(current); return true;
    case kCmdStartStopEmitting: ToggleSelectedSources(current, kEmitDisableSource); return true;
    case kCmdRandomEmission: ToggleSelectedSources(current, kEmitRandomEmission); return true;
    case kCmdClipBox: ToggleClipBox(current); return true;
    case kCmdSizeOnSolitude: ToggleSizeOnSolitude(current); return true;
    case kCmdEnableSurface: ToggleSurface(current); return true;
    case kCmdToolbar: CreateToolbar(0); return true;
    case kCmdNewPelliqor: NewWrapperFromSelection(); return true;
    case kCmdObjectManager:
      if (current && !ObjectManagerDialog()) OpenObjectManager(current);
      return true;
    case kCmdOpenLog:
      if (current) OpenSolveLog(current->engine.cacheRoot, current->engine.systemName);
      return true;
    case kCmdHelp:
      if (current) OpenHelp();
      return true;
    default: break;
  }
  // The per-emitter settings: a current system is needed, but only the
  // selected emitters change.
  struct EmitterSetting {
    int command, param, value;
    bool facing;
  };
  static const EmitterSetting kSettings[] = {
      {kCmdLookDrops, kEmitDisplayType, 0, false},       {kCmdLookDots, kEmitDisplayType, 1, false},
      {kCmdLookTicks, kEmitDisplayType, 2, false},       {kCmdLookInstances, kEmitDisplayType, 3, false},
      {kCmdRenderTetrahedron, kEmitRenderType, 0, false}, {kCmdRenderFacing, kEmitRenderType, 1, true},
      {kCmdRenderNothing, kEmitRenderType, 2, true},     {kCmdRenderInstanced, kEmitRenderType, 3, true},
      {kCmdFacingCamera, kEmitFacingOrientation, 0, false}, {kCmdFacingSpeed, kEmitFacingOrientation, 1, false},
      {kCmdFacingSurface, kEmitFacingOrientation, 2, false},
  };
  for (const EmitterSetting& s : kSettings) {
    if (s.command != id) continue;
    if (current) SetSelectedEmitters(s.param, s.value, s.facing);
    return true;
  }
  return false;
}
