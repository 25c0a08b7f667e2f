#include "host/ui/pick.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <strings.h>

#include "host/core/interaction.h"
#include "host/sdk/interface.h"
#include "host/sdk/object.h"

namespace fs = std::filesystem;

namespace vorel_ui {
namespace {

struct NameAnswer {
  bool cancel = false;
  std::vector<std::string> names;
};

struct FileAnswer {
  bool cancel = false;
  std::string path;
  int filterIndex = 0;
};

struct PickState {
  PickModeCallback* mode = nullptr;
  INode* scripted = nullptr;
  std::deque<NameAnswer> names;
  std::deque<FileAnswer> files;
  std::deque<FileAnswer> dirs;
  std::vector<HitByNameRecord> nameLog;
  std::vector<FileDialogRecord> fileLog;
};

PickState& P() {
  static PickState s;
  return s;
}

std::string Normal(std::string p) {
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

bool IsAbsolute(const std::string& p) {
  return !p.empty() && (p[0] == '/' || p[0] == '\\' || (p.size() > 1 && p[1] == ':'));
}

void CopyBounded(const std::string& s, char* buf, size_t max) {
  if (!buf || max == 0) return;
  size_t n = std::min(s.size(), max - 1);
  std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
}

std::vector<std::string> SplitFilter(const char* f) {
  std::vector<std::string> out;
  if (!f) return out;
  while (*f) {
    out.emplace_back(f);
    f += std::strlen(f) + 1;
  }
  return out;
}

IPoint2 ScreenOf(INode* node) {
  Interface* ip = GetCOREInterface();
  Point2 s = ActiveViewport()->WorldToScreen(node->GetObjectTM(ip->GetTime()).GetTrans());
  IPoint2 p;
  p.x = int(std::lround(s.x));
  p.y = int(std::lround(s.y));
  return p;
}

bool RunPick(IPoint2 pt) {
  PickModeCallback* mode = P().mode;
  if (!mode) return false;
  Interface* ip = GetCOREInterface();
  ViewExp* vpt = ActiveViewport();
  vpt->ClearHitList();
  if (!mode->HitTest(ip, ViewportWindow(), vpt, pt, 0)) return false;
  // Pick may end the mode (and delete its callback) itself.
  if (P().mode == mode && mode->Pick(ip, vpt) && P().mode == mode) ClearPickModeImpl();
  return true;
}

BOOL FileDialog(OPENFILENAME* ofn, bool save) {
  PickState& s = P();
  FileDialogRecord rec;
  rec.kind = save ? "save" : "open";
  if (!ofn) return FALSE;
  rec.title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
  rec.initialDir = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";
  rec.defExt = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
  rec.filters = SplitFilter(ofn->lpstrFilter);
  auto finish = [&](bool ok) {
    rec.ok = ok;
    s.fileLog.push_back(rec);
    return ok ? TRUE : FALSE;
  };
  if (s.files.empty() || s.files.front().cancel) {
    if (!s.files.empty()) s.files.pop_front();
    return finish(false);
  }
  FileAnswer a = s.files.front();
  s.files.pop_front();
  std::string path = a.path;
  if (!IsAbsolute(path) && !rec.initialDir.empty()) {
    std::string dir = rec.initialDir;
    if (dir.back() != '/' && dir.back() != '\\') dir += '/';
    path = dir + path;
  }
  fs::path p(Normal(path));
  if (!p.has_extension() && !rec.defExt.empty()) path += "." + rec.defExt;
  rec.answer = path;
  fs::path np(Normal(path));
  std::error_code ec;
  fs::path folder = np.parent_path();
  if ((ofn->Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !folder.empty() &&
      !fs::is_directory(folder, ec))
    return finish(false);
  if ((ofn->Flags & OFN_FILEMUSTEXIST) && !fs::is_regular_file(np, ec)) return finish(false);
  if (!ofn->lpstrFile || ofn->nMaxFile <= path.size()) return finish(false);
  if (save && (ofn->Flags & OFN_OVERWRITEPROMPT) && fs::exists(np, ec)) {
    std::string q = np.filename().string() + " already exists.\nDo you want to replace it?";
    int answer = MessageBoxA(ofn->hwndOwner, q.c_str(), rec.title.empty() ? "Save As" : rec.title.c_str(),
                             MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES) return finish(false);
  }
  CopyBounded(path, ofn->lpstrFile, ofn->nMaxFile);
  size_t slash = path.find_last_of("/\\");
  size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  std::string title = path.substr(nameAt);
  if (ofn->lpstrFileTitle) CopyBounded(title, ofn->lpstrFileTitle, ofn->nMaxFileTitle);
  ofn->nFileOffset = WORD(nameAt);
  size_t dot = title.find_last_of('.');
  ofn->nFileExtension = WORD(dot == std::string::npos ? path.size() : nameAt + dot + 1);
  if (a.filterIndex > 0) ofn->nFilterIndex = DWORD(a.filterIndex);
  return finish(true);
}

}  // namespace

bool ScriptPickNode(INode* node) {
  if (!P().mode || !node) return false;
  P().scripted = node;
  bool ok = RunPick(ScreenOf(node));
  P().scripted = nullptr;
  return ok;
}

bool ScriptPickAt(IPoint2 pt) { return RunPick(pt); }

bool ScriptRightClick() {
  PickModeCallback* mode = P().mode;
  if (!mode) return false;
  if (mode->RightClick(GetCOREInterface(), ActiveViewport()) && P().mode == mode) ClearPickModeImpl();
  return true;
}

void QueueHitByNameAnswer(const std::vector<std::string>& names) { P().names.push_back({false, names}); }
void QueueHitByNameCancel() { P().names.push_back({true, {}}); }
std::vector<HitByNameRecord> HitByNameLog() { return P().nameLog; }

void QueueFileAnswer(const std::string& path, int filterIndex) {
  P().files.push_back({false, path, filterIndex});
}
void QueueFileCancel() { P().files.push_back({true, "", 0}); }
void QueueDirectoryAnswer(const std::string& path) { P().dirs.push_back({false, path, 0}); }
void QueueDirectoryCancel() { P().dirs.push_back({true, "", 0}); }
std::vector<FileDialogRecord> FileDialogLog() { return P().fileLog; }

void SetPickModeImpl(PickModeCallback* pc) {
  if (P().mode == pc) return;
  ClearPickModeImpl();
  if (!pc) return;
  P().mode = pc;
  pc->EnterMode(GetCOREInterface());
}

void ClearPickModeImpl() {
  PickModeCallback* m = P().mode;
  if (!m) return;
  // Cleared before ExitMode so that a mode that starts another from its
  // ExitMode is not cleared again.
  P().mode = nullptr;
  m->ExitMode(GetCOREInterface());
}

PickModeCallback* CurrentPickMode() { return P().mode; }

void ResetPickAndFileDialogs() {
  PickState& s = P();
  s.mode = nullptr;
  s.scripted = nullptr;
  s.names.clear();
  s.files.clear();
  s.dirs.clear();
  s.nameLog.clear();
  s.fileLog.clear();
}

}  // namespace vorel_ui

using namespace vorel_ui;

INode* PickNode(HWND, IPoint2 pt, PickNodeCallback* filter) {
  Interface* ip = GetCOREInterface();
  ViewExp* vpt = ActiveViewport();
  if (INode* n = P().scripted) {
    if (filter && !filter->Filter(n)) return nullptr;
    vpt->LogHit(n, nullptr, 0, 0);
    return n;
  }
  TimeValue t = ip->GetTime();
  GraphicsWindow* gw = vpt->getGW();
  DWORD saved = gw->getRndLimits();
  INode* best = nullptr;
  DWORD bestDist = 0xFFFFFFFF;
  for (INode* node : ip->AllNodes()) {
    if (!node || node->IsHidden() || node->IsFrozen()) continue;
    Object* obj = node->EvalWorldState(t).obj;
    if (!obj) continue;
    gw->setRndLimits(saved | GW_PICK);
    gw->setTransform(node->GetObjectTM(t));
    gw->SetCurrentNode(node);
    HitRegion hr;
    MakeHitRegion(hr, HITTYPE_POINT, 1, 4, &pt);
    gw->setHitRegion(&hr);
    gw->clearHitCode();
    int hit = obj->HitTest(t, node, HITTYPE_POINT, 1, 0, &pt, vpt);
    DWORD dist = gw->checkHitCode() ? gw->getHitDistance() : 0;
    gw->clearHitRegion();
    if (!hit || (filter && !filter->Filter(node))) continue;
    vpt->LogHit(node, nullptr, dist, 0);
    if (!best || dist < bestDist) {
      best = node;
      bestDist = dist;
    }
  }
  gw->setRndLimits(saved);
  gw->SetCurrentNode(nullptr);
  return best;
}

BOOL DoHitByNameDialog(HitByNameDlgCallback* cb) {
  if (!cb) return FALSE;
  PickState& s = P();
  Interface* ip = GetCOREInterface();
  HitByNameRecord rec;
  rec.title = cb->dialogTitle() ? cb->dialogTitle() : "";
  rec.button = cb->buttonText() ? cb->buttonText() : "";
  std::vector<INode*> listed;
  for (INode* n : ip->AllNodes()) {
    if (!n) continue;
    if (!cb->showHiddenAndFrozen() && (n->IsHidden() || n->IsFrozen())) continue;
    if (cb->useFilter() && !cb->filter(n)) continue;
    listed.push_back(n);
    rec.listed.emplace_back(n->GetName());
  }
  NameAnswer a;
  a.cancel = true;
  if (!s.names.empty()) {
    a = s.names.front();
    s.names.pop_front();
  }
  if (a.cancel) {
    s.nameLog.push_back(rec);
    return FALSE;
  }
  INodeTab chosen;
  for (const std::string& name : a.names) {
    // Only what the dialog lists can be chosen; the list is matched
    // case-insensitively, as the host's name lookup is.
    for (INode* n : listed)
      if (strcasecmp(n->GetName(), name.c_str()) == 0 && !chosen.Contains(n)) {
        chosen.AppendNode(n);
        rec.chosen.emplace_back(n->GetName());
        break;
      }
    if (cb->singleSelect() && chosen.Count() > 0) break;
  }
  rec.ok = true;
  s.nameLog.push_back(rec);
  if (cb->useProc()) {
    cb->proc(chosen);
  } else {
    ip->ClearNodeSelection(false);
    for (int i = 0; i < chosen.Count(); ++i) ip->SelectNode(chosen[i], 0);
  }
  return TRUE;
}

BOOL GetOpenFileName(OPENFILENAME* ofn) { return FileDialog(ofn, false); }
BOOL GetSaveFileName(OPENFILENAME* ofn) { return FileDialog(ofn, true); }

void ChooseDirectory(HWND, const char* title, char* dir, const char*) {
  PickState& s = P();
  FileDialogRecord rec;
  rec.kind = "directory";
  rec.title = title ? title : "";
  rec.initialDir = dir ? dir : "";
  FileAnswer a;
  a.cancel = true;
  if (!s.dirs.empty()) {
    a = s.dirs.front();
    s.dirs.pop_front();
  }
  std::error_code ec;
  bool ok = !a.cancel && !a.path.empty() && fs::is_directory(Normal(a.path), ec) &&
            a.path.size() < 260;
  rec.answer = a.path;
  rec.ok = ok;
  s.fileLog.push_back(rec);
  if (dir) CopyBounded(ok ? a.path : std::string(), dir, 260);
}
