// What the fluid system's rollout controls do, apart from the dialogs: the
// scale update, the surface switches and repair, list rows, collider
// settings, and the cache's folder, pack and load.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "fluid_core/cache_folders.h"
#include "fluid_core/frame_cache.h"
#include "fluid_core/packed_cache.h"
#include "fluid_plugin/fluid_rollouts.h"
#include "fluid_plugin/menu_toolbar.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "host/core/files.h"
#include "host/core/interaction.h"

namespace {

constexpr uint32_t kNoticeMs = 5000;
constexpr uint32_t kLoadedNoticeMs = 2000;
constexpr uint32_t kMoveRefusedMs = 3000;
constexpr const char* kWarningCaption = "Vorel Warning!";

bool InTables(int frame) { return frame >= 0 && frame < FluidEngine::kMaxFrames; }

std::string TrimmedRoot(const std::string& root) {
  std::string r = vorel::host::NormalizePath(root);
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string SystemFolderOf(const std::string& root, const std::string& name) {
  return TrimmedRoot(root) + "/Vorel/" + name;
}

void SetStringParam(TetraProcObj& system, ParamID id, const std::string& text) {
  if (system.pblock2) system.pblock2->SetValue(id, 0, text.c_str());
}

bool HasExtension(const std::string& path, const char* ext) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return strcasecmp(path.c_str() + dot + 1, ext) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Dynamics and surface

void UpdateSystemScale(TetraProcObj& system, TimeValue t) { system.FollowScale(t); }

void EnableSurfaceClicked(TetraProcObj& system, TimeValue t) {
  FluidEngine& e = system.engine;
  IParamBlock2* pb = system.pblock2;
  // The map wrote the click into "ShowMesh" before this runs: one reading
  // serves the toolbar button and the surface state alike.
  const bool on = ReadIntParam(pb, kFluidShowMesh, t, 0) != 0;
  SetToolbarButtonCheck(kTbSurface, on);
  e.lastEvalFrame = -999;
  const bool entire = ReadIntParam(pb, kFluidEntireAnimationRange, t, 1) != 0;
  const int start = ReadIntParam(pb, kFluidStartFrameMesher, t, 0);
  const int stop = ReadIntParam(pb, kFluidStopFrameMesher, t, 100);
  const int n = e.FrameFromTime(t);
  if (on && InTables(n) && n <= e.lastSolved && !e.frameMeshed[size_t(n)] &&
      (entire || (n >= start && n <= stop))) {
    if (e.BuildSurfaceFrame(n)) e.frameMeshed[size_t(n)] = 1;
  }
  GetCOREInterface()->RedrawViews(t);
}

void ApplyMapping(TetraProcObj& system, TimeValue t) {
  FluidEngine& e = system.engine;
  e.lastEvalFrame = -1;
  e.lastEvalTime = -1;
  // The cache frame shown at t (the host frame would miss it whenever the
  // cache does not start at frame 0).
  const int n = e.FrameFromTime(t);
  if (InTables(n) && n <= e.lastSolved) e.BuildSurfaceFrame(n);
  GetCOREInterface()->RedrawViews(t);
}

int MarkMissingSurfaces(TetraProcObj& system) {
  FluidEngine& e = system.engine;
  if (!e.solver) return -1;
  e.solver->frameCache.cacheRoot = e.cacheRoot;
  int first = -1;
  // The last solved frame has a surface too.
  const int last = std::min(e.lastSolved, FluidEngine::kMaxFrames - 1);
  for (int n = 0; n <= last; ++n) {
    bool present = false;
    if (FILE* f = vorel::host::OpenFile(e.solver->frameCache.MeshPath(n), "rb")) {
      present = true;
      std::fclose(f);
    }
    if (present && e.frameMeshed[size_t(n)]) continue;
    e.frameMeshed[size_t(n)] = 0;
    if (n - 1 < e.lastMeshed) e.lastMeshed = n - 1;
    if (first < 0) first = n;
  }
  return first;
}

bool ToggleTextureGizmo() {
  INode* gizmo = GetCOREInterface()->GetINodeByName(kTextureGizmoNodeName);
  if (!gizmo) return false;
  gizmo->Hide(!gizmo->IsHidden());
  return true;
}

// ---------------------------------------------------------------------------
// List rows

bool AppendUniqueRow(HWND list, const char* text) {
  if (!list || !text) return false;
  if (SendMessage(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(text)) != LB_ERR) return false;
  SendMessage(list, LB_ADDSTRING, 0, LPARAM(text));
  return true;
}

std::vector<std::string> ListRows(HWND list) {
  std::vector<std::string> rows;
  const int n = int(SendMessage(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char text[256] = {};
    SendMessage(list, LB_GETTEXT, WPARAM(i), LPARAM(text));
    rows.emplace_back(text);
  }
  return rows;
}

bool DeleteHighlightedRow(HWND list) {
  const int sel = int(SendMessage(list, LB_GETCURSEL, 0, 0));
  if (sel < 0) return false;
  SendMessage(list, LB_DELETESTRING, WPARAM(sel), 0);
  const int n = int(SendMessage(list, LB_GETCOUNT, 0, 0));
  if (n > 0) SendMessage(list, LB_SETCURSEL, WPARAM(std::min(sel, n - 1)), 0);
  return true;
}

// ---------------------------------------------------------------------------
// Colliders

RolloutObjectSettings ReadColliderSettings(IParamBlock2* pb, TimeValue t) {
  RolloutObjectSettings s;
  s.friction = ReadFloatParam(pb, kFluidObjectFriction, t, s.friction);
  s.bounce = ReadFloatParam(pb, kFluidObjectBounce, t, s.bounce);
  s.gap = ReadFloatParam(pb, kFluidCollisionGap, t, s.gap);
  s.collide = ReadIntParam(pb, kFluidObjectCollide, t, s.collide);
  s.adherence = ReadFloatParam(pb, kFluidObjectAdherence, t, s.adherence);
  return s;
}

int ApplyColliderSettings(TetraProcObj& system, const std::vector<std::string>& names,
                          const RolloutObjectSettings& s) {
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return 0;
  const PluginDefaults& d = system.engine.defaults;
  int given = 0;
  for (const std::string& name : names) {
    INode* node = GetCOREInterface()->GetINodeByName(name.c_str());
    if (!node) continue;
    ObjectSettings o;
    o.collide = s.collide;
    o.collisionGap = s.gap;
    o.bounce = s.bounce;
    o.friction = s.friction;
    o.adherence = s.adherence;
    WetmapParams w;
    if (access->GetWetmapParams(node, w)) {
      o.tracer = w.tracer;
      o.mapRes = w.mapRes;
      o.dryingTime = w.dryingTime;
    } else {
      o.tracer = d.objectHasWetmap;
      o.mapRes = d.wetmapSize;
      o.dryingTime = d.dryingTime;
    }
    // The rollout has no particle-killer control: a node keeps its own.
    ObjectParams current;
    o.partKiller = access->GetObjectParams(node, current) ? current.partKiller : false;
    access->AddObjectParams(&system.engine, node, o);
    ++given;
  }
  return given;
}

// ---------------------------------------------------------------------------
// Cache folder, pack and load

bool MoveCacheRoot(TetraProcObj& system, const std::string& root) {
  FluidEngine& e = system.engine;
  if (root.find_first_not_of(" \t") == std::string::npos) {
    // A blank field names no folder: it shows the root in force again.
    char text[700];
    std::snprintf(text, sizeof text, "Vorel-> no cache folder given; the cache stays in %s",
                  SystemFolderOf(e.cacheRoot, e.systemName).c_str());
    ShowTempPrompt(text, kMoveRefusedMs);
    SetStringParam(system, kFluidTempDirPath, e.cacheRoot);
    return false;
  }
  if (TrimmedRoot(root) == TrimmedRoot(e.cacheRoot) || SameFolder(root, e.cacheRoot)) return false;
  const std::string oldRoot = e.cacheRoot;
  const std::string oldFolder = SystemFolderOf(oldRoot, e.systemName);
  // A root that cannot hold the folders would leave the system pointing at
  // nothing while its frames stay behind.
  const std::string target = SystemFolderOf(root, e.systemName);
  if (!vorel::host::MakeDirectories(target + "/surface")) {
    char text[700];
    std::snprintf(text, sizeof text, "Vorel-> cannot create %s; the cache stays in %s", target.c_str(),
                  oldFolder.c_str());
    ShowTempPrompt(text, kMoveRefusedMs);
    SetStringParam(system, kFluidTempDirPath, oldRoot);
    return false;
  }
  e.SetCacheRoot(root);
  if (!e.SetCacheDirectory(oldFolder)) {
    // Nothing was moved: the system stays on its whole cache.
    e.SetCacheRoot(oldRoot);
    SetStringParam(system, kFluidTempDirPath, oldRoot);
    return false;
  }
  SetStringParam(system, kFluidTempDirPath, root);
  return true;
}

bool SaveCacheFile(TetraProcObj& system, const std::string& path, const std::string& title) {
  char text[600];
  if (system.engine.PackCache(path)) {
    std::snprintf(text, sizeof text, "Vorel cache saved successfully as-> %s", title.c_str());
    ShowTempPrompt(text, kNoticeMs);
    return true;
  }
  std::snprintf(text, sizeof text, "Failed to save -> %s", path.c_str());
  MessageBoxA(GetCOREInterface()->GetMAXHWnd(), text, kWarningCaption, MB_OK);
  return false;
}

bool LoadCacheFile(TetraProcObj& system, const std::string& path, const std::string& title) {
  FluidEngine& e = system.engine;
  char text[600];
  vorel::host::PushPrompt("Loading Vorel cache...");
  bool ok = true;
  if (HasExtension(path, "Vor")) {
    std::string why;
    PackedCacheStatus status = PackedCacheStatus::kOk;
    ok = e.UnpackCache(path, &status, &why);
    vorel::host::PopPrompt();
    if (ok) {
      std::snprintf(text, sizeof text, "%s-> loaded successfully.", title.c_str());
      ShowTempPrompt(text, kNoticeMs);
    } else {
      // A file that cannot be written is no fault of the .Vor file.
      if (status == PackedCacheStatus::kDamagedEntry)
        std::snprintf(text, sizeof text, "%s-> seems to be an invalid .Vor file: %s; the cache stays as it was.",
                      title.c_str(), why.c_str());
      else if (status != PackedCacheStatus::kCannotWrite)
        std::snprintf(text, sizeof text, "%s-> seems to be an invalid .Vor file.", title.c_str());
      else
        std::snprintf(text, sizeof text, "%s-> could not be unpacked (%s); the cache stays as it was.",
                      title.c_str(), why.c_str());
      MessageBoxA(GetCOREInterface()->GetMAXHWnd(), text, kWarningCaption, MB_OK);
    }
  } else {
    std::string folder = vorel::host::NormalizePath(path);
    const size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    const std::string own = SystemFolderOf(e.cacheRoot, e.systemName);
    // The system's own folder is already in place: copying files onto
    // themselves could only damage them.
    std::string why;
    if (SameFolder(folder, own)) e.ReloadCache();
    else ok = e.LoadCacheFolder(folder, &why);
    vorel::host::PopPrompt();
    if (ok) {
      ShowTempPrompt("Cache successfully loaded.", kLoadedNoticeMs);
    } else {
      std::snprintf(text, sizeof text, "%s-> could not be loaded (%s); the cache stays as it was.", title.c_str(),
                    why.c_str());
      MessageBoxA(GetCOREInterface()->GetMAXHWnd(), text, kWarningCaption, MB_OK);
    }
  }
  GetCOREInterface()->RedrawViews(GetCOREInterface()->GetTime());
  return ok;
}

namespace {
// Asks for a cache file in the cache root through the host's open or save
// dialog; false when the user cancels. `path` gets the full path, `title`
// the file name shown in messages.
bool AskCacheFile(TetraProcObj& system, HWND owner, bool save, const char* filter, DWORD filterIndex, DWORD flags,
                  std::string& path, std::string& title) {
  char file[MAX_PATH] = {};
  char name[MAX_PATH] = {};
  OPENFILENAME ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = filterIndex;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrFileTitle = name;
  ofn.nMaxFileTitle = MAX_PATH;
  ofn.lpstrInitialDir = system.engine.cacheRoot.c_str();
  ofn.lpstrDefExt = "Vor";
  ofn.Flags = flags;
  if (!(save ? GetSaveFileName(&ofn) : GetOpenFileName(&ofn))) return false;
  path = file;
  if (name[0]) {
    title = name;
  } else {
    const char* slash = std::strrchr(file, '/');
    title = slash ? slash + 1 : file;
  }
  return true;
}
}  // namespace

void SaveCacheDialog(TetraProcObj& system, HWND owner) {
  std::string path, title;
  // A new file must be allowed; an existing one is overwritten only when
  // the user agrees.
  if (!AskCacheFile(system, owner, true, "Vorel\0*.Vor\0\0", 1, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT, path, title))
    return;
  SaveCacheFile(system, path, title);
}

void LoadCacheDialog(TetraProcObj& system, HWND owner) {
  std::string path, title;
  if (!AskCacheFile(system, owner, false,
                    "select a single .Vor packed file\0*.Vor\0.Vorel unpacked cache files\0*.Vorel\0\0", 2,
                    OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, path, title))
    return;
  LoadCacheFile(system, path, title);
}

void ChooseCacheRootDialog(TetraProcObj& system, HWND owner) {
  (void)owner;
  char dir[MAX_PATH + 1] = {};
  if (!vorel::host::CopyToBuffer(system.engine.cacheRoot, dir, MAX_PATH, "cache root")) dir[0] = '\0';
  Interface* ip = GetCOREInterface();
  ip->ChooseDirectory(ip->GetMAXHWnd(), "Select Directory for temporary scene cache", dir);
  if (!dir[0] || TrimmedRoot(dir) == TrimmedRoot(system.engine.cacheRoot)) return;
  if (MessageBoxA(ip->GetMAXHWnd(), "Do you agree to move scene's cache to the new selected location?",
                  "Vorel", MB_OKCANCEL) != IDOK)
    return;
  SetStringParam(system, kFluidTempDirPath, dir);
  MoveCacheRoot(system, dir);
}
