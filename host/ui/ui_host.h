// The host interface with the headless user interface behind it: viewport
// redraws, the main window, pick modes, select-by-name, the action, menu and
// toolbar managers and the action runner. Linking vorel_host_ui installs it
// as the core interface when the library loads (InstallHeadlessUI), together
// with the parameter-map hooks, the mesh drawing hooks and the message pump.
#pragma once
#include <string>

#include "host/sdk/interface.h"
#include "host/ui/actions.h"
#include "host/ui/cui.h"
#include "host/ui/menus.h"
#include "host/ui/parammap.h"
#include "host/ui/pick.h"
#include "host/ui/viewport.h"
#include "host/ui/window.h"

class UIInterface : public Interface {
 public:
  void RedrawViews(TimeValue t, int vpFlags = REDRAW_NORMAL, ReferenceTarget* change = nullptr) override;
  HWND GetMAXHWnd() override;
  void SetPickMode(PickModeCallback* pc) override;
  void ClearPickMode() override;
  PickModeCallback* GetCurPickMode() override;
  bool DoHitByNameDialog(HitByNameDlgCallback* hbncb) override;
  IActionManager* GetActionManager() override;
  IMenuManager* GetMenuManager() override;
  ICUIFrameMgr* GetCUIFrameMgr() override;
  // "table:action" (table by name or id, action by name or command id) or
  // "action" (a name or command id of any table).
  bool RunAction(int tableId, int cmdId) override;
  bool RunActionByName(const std::string& name) override;
  // Opens the object's rollouts and hands them the procedures it attached.
  void BeginEditParams(Animatable* obj) override;

  // The free functions of pick.h, parammap.h and viewport.h.
  INode* PickNode(HWND hWnd, IPoint2 pt, PickNodeCallback* filter = nullptr) override;
  HWND AddRollupPage(HINSTANCE inst, const char* dlgTemplate, DLGPROC proc, const char* title,
                     LPARAM param = 0, DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) override;
  void DeleteRollupPage(HWND page) override;
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) override;
  void ChooseDirectory(HWND owner, const char* title, char* dir, const char* desc = nullptr) override;
  ViewExp* GetActiveViewport() override;
  // The viewport lives as long as the UI.
  void ReleaseViewport(ViewExp*) override {}
};

namespace vorel_ui {
// Installs the UI interface and the hooks (idempotent); returns it.
UIInterface* InstallHeadlessUI();
UIInterface* UI();
// Registers the action tables the loaded class descriptors offer (each
// descriptor is asked once); returns the number registered now.
int SyncClassActionTables();
// Closes every window, rollout, pick mode and scripted answer, and empties
// the action, menu and toolbar managers: a fresh UI for tests.
void ResetUI();
}  // namespace vorel_ui
