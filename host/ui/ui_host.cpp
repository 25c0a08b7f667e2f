#include "host/ui/ui_host.h"

#include <cstdlib>
#include <set>
#include <strings.h>

#include "host/core/interaction.h"
#include "host/ui/window.h"

namespace {

std::set<ClassDesc*>& SeenDescs() {
  static std::set<ClassDesc*> s;
  return s;
}

bool ParseInt(const std::string& s, int& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0') return false;
  out = int(v);
  return true;
}

ActionItem* FindInTable(ActionTable* t, const std::string& key) {
  int cmd = 0;
  if (ParseInt(key, cmd)) return t->GetAction(cmd);
  for (int i = 0; i < t->Count(); ++i) {
    ActionItem* a = (*t)[i];
    if (strcasecmp(a->GetMenuText().c_str(), key.c_str()) == 0 ||
        strcasecmp(a->GetDescription().c_str(), key.c_str()) == 0)
      return a;
  }
  return nullptr;
}

}  // namespace

void UIInterface::BeginEditParams(Animatable* obj) {
  Interface::BeginEditParams(obj);
  vorel_ui::SyncParamMapProcs();
}

void UIInterface::RedrawViews(TimeValue t, int vpFlags, ReferenceTarget* change) {
  vorel_ui::SyncParamMapProcs();
  Interface::RedrawViews(t, vpFlags, change);
  vorel_ui::RedrawAllViews(t);
}

HWND UIInterface::GetMAXHWnd() {
  static HWND main = nullptr;
  if (!IsWindow(main)) {
    main = vorel_ui::CreateHeadlessWindow(vorel_ui::Kind::Window, "HostMain", "Vorel Host", nullptr,
                                          0, RECT{0, 0, 1280, 1024});
    vorel::host::SetMainWindow(main);
    vorel::host::SetForeground(main);
    vorel::host::SetActive(main);
  }
  return main;
}

void UIInterface::SetPickMode(PickModeCallback* pc) { vorel_ui::SetPickModeImpl(pc); }
void UIInterface::ClearPickMode() { vorel_ui::ClearPickModeImpl(); }
PickModeCallback* UIInterface::GetCurPickMode() { return vorel_ui::CurrentPickMode(); }
bool UIInterface::DoHitByNameDialog(HitByNameDlgCallback* cb) { return ::DoHitByNameDialog(cb) != FALSE; }

IActionManager* UIInterface::GetActionManager() {
  vorel_ui::SyncClassActionTables();
  return ::GetActionManager();
}
IMenuManager* UIInterface::GetMenuManager() { return ::GetMenuManager(); }
ICUIFrameMgr* UIInterface::GetCUIFrameMgr() { return ::GetCUIFrameMgr(); }

bool UIInterface::RunAction(int tableId, int cmdId) {
  return GetActionManager()->ExecuteAction(ActionTableId(tableId), cmdId) != FALSE;
}

bool UIInterface::RunActionByName(const std::string& name) {
  IActionManager* am = GetActionManager();
  size_t colon = name.find(':');
  if (colon != std::string::npos) {
    std::string tname = name.substr(0, colon), aname = name.substr(colon + 1);
    int tid = 0;
    for (int i = 0; i < am->NumActionTables(); ++i) {
      ActionTable* t = am->GetTable(i);
      bool match = ParseInt(tname, tid) ? t->GetId() == ActionTableId(tid)
                                        : strcasecmp(t->GetName().c_str(), tname.c_str()) == 0;
      if (!match) continue;
      ActionItem* a = FindInTable(t, aname);
      return a && a->ExecuteAction();
    }
    return false;
  }
  for (int i = 0; i < am->NumActionTables(); ++i)
    if (ActionItem* a = FindInTable(am->GetTable(i), name)) return a->ExecuteAction() != FALSE;
  return false;
}

INode* UIInterface::PickNode(HWND hWnd, IPoint2 pt, PickNodeCallback* filter) {
  return ::PickNode(hWnd, pt, filter);
}
HWND UIInterface::AddRollupPage(HINSTANCE inst, const char* dlgTemplate, DLGPROC proc,
                                const char* title, LPARAM param, DWORD flags, int category) {
  return ::AddRollupPage(inst, dlgTemplate, proc, title, param, flags, category);
}
void UIInterface::DeleteRollupPage(HWND page) { ::DeleteRollupPage(page); }
void UIInterface::RollupMouseMessage(HWND h, UINT m, WPARAM w, LPARAM l) { ::RollupMouseMessage(h, m, w, l); }
void UIInterface::ChooseDirectory(HWND owner, const char* title, char* dir, const char* desc) {
  ::ChooseDirectory(owner, title, dir, desc);
}
ViewExp* UIInterface::GetActiveViewport() { return vorel_ui::ActiveViewport(); }

namespace vorel_ui {

UIInterface* UI() {
  static UIInterface* ui = nullptr;
  if (!ui) {
    ui = new UIInterface;
    SetCOREInterface(ui);
  }
  return ui;
}

UIInterface* InstallHeadlessUI() {
  UIInterface* ui = UI();
  if (GetCOREInterface() != ui) SetCOREInterface(ui);
  InstallParamUIHooks();
  InstallMeshDrawHooks();
  vorel::host::SetMessagePump([] {
    SyncParamMapProcs();
    PumpMessages();
  });
  ui->GetMAXHWnd();
  return ui;
}

int SyncClassActionTables() {
  int added = 0;
  ClassDirectory& dir = ClassDirectory::Get();
  for (int i = 0; i < dir.Count(); ++i) {
    ClassDesc* cd = dir[i];
    if (!cd || SeenDescs().count(cd)) continue;
    SeenDescs().insert(cd);
    for (int k = 0; k < cd->NumActionTables(); ++k)
      if (ActionTable* t = cd->GetActionTable(k)) {
        ::GetActionManager()->RegisterActionTable(t);
        ++added;
      }
  }
  return added;
}

void ResetUI() {
  // The pick mode is forgotten, not exited: its callback may be gone.
  ResetPickAndFileDialogs();
  CloseAllParamMaps();
  for (HWND h : TopLevelWindows()) DestroyWindow(h);
  ResetWindows();
  ResetCUI();
  ::GetActionManager()->Reset();
  ::GetMenuManager()->Reset();
  SeenDescs().clear();
  ActiveViewport()->getGW()->ClearRecords();
  ActiveViewport()->ClearHitList();
  InstallHeadlessUI();
}

namespace {
// Linking the library gives the program the headless user interface.
struct AutoInstall {
  AutoInstall() { InstallHeadlessUI(); }
} autoInstall;
}  // namespace

}  // namespace vorel_ui
