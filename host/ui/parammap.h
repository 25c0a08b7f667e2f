// Rollouts and parameter maps. The rollup panel holds rollout pages in
// order, each open or closed. A parameter map (IParamMap2) makes a rollout
// from a block's descriptor: it binds each parameter of its map id to the
// controls the descriptor names and keeps controls and block in step both
// ways. A control change sets the block value first (clamped by the block)
// and then calls the map's user dialog procedure, so the procedure reads
// the new value; a block change refreshes the controls.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/iparamb2.h"
#include "host/ui/win_types.h"

class IParamMap2;

class ParamMap2UserDlgProc {
 public:
  virtual ~ParamMap2UserDlgProc() = default;
  virtual INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam,
                          LPARAM lParam) = 0;
  // The host calls it when the map lets go of the procedure (map closed or
  // another procedure set); procedures shared across maps do nothing here.
  virtual void DeleteThis() {}
  virtual void SetThing(ReferenceTarget* m) { (void)m; }
  virtual void Update(TimeValue t) { (void)t; }
};

class IParamMap2 {
 public:
  virtual ~IParamMap2() = default;
  virtual IParamBlock2* GetParamBlock() = 0;
  virtual MapID GetMapID() = 0;
  virtual HWND GetHWnd() = 0;
  // Attaches a user procedure; an open rollout sends it WM_INITDIALOG.
  virtual void SetUserDlgProc(ParamMap2UserDlgProc* proc) = 0;
  virtual ParamMap2UserDlgProc* GetUserDlgProc() = 0;
  // Enables or disables every control of a parameter.
  virtual void Enable(ParamID id, BOOL onOff, int tabIndex = -1) = 0;
  // Writes the block's values at the current time into the controls (-1: all).
  virtual void Invalidate(ParamID id = -1, int tabIndex = -1) = 0;
  virtual void UpdateUI(TimeValue t) = 0;
  virtual void SetThing(ReferenceTarget* m) = 0;
  virtual void SetParamBlock(IParamBlock2* pb) = 0;
};

// A parameter map in the command panel: the dialog from the template,
// title as its caption. Null when the dialog template is unknown.
IParamMap2* CreateCPParamMap2(MapID map, IParamBlock2* pb, Interface* ip, HINSTANCE inst,
                              const char* dlgTemplate, const char* title, DWORD flags,
                              ParamMap2UserDlgProc* proc = nullptr, HWND oldRollup = nullptr,
                              int category = ROLLUP_CAT_STANDARD);
IParamMap2* CreateCPParamMap2(IParamBlock2* pb, Interface* ip, HINSTANCE inst,
                              const char* dlgTemplate, const char* title, DWORD flags,
                              ParamMap2UserDlgProc* proc = nullptr);
void DestroyCPParamMap2(IParamMap2* map);
// The map that owns a rollout window, or null.
IParamMap2* ParamMapOfWindow(HWND hwnd);

// Rollup pages.
HWND AddRollupPage(HINSTANCE inst, const char* dlgTemplate, DLGPROC proc, const char* title,
                   LPARAM param = 0, DWORD flags = 0, int category = ROLLUP_CAT_STANDARD);
void DeleteRollupPage(HWND page);
void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

namespace vorel_ui {
struct RollupPage {
  HWND hwnd = nullptr;
  std::string title;
  bool open = true;
  int category = ROLLUP_CAT_STANDARD;
};
// The pages of the command panel, in display order.
std::vector<RollupPage> RollupPages();
bool SetRollupOpen(HWND page, bool open);
// The hooks the parameter blocks call (installed with the headless UI).
void InstallParamUIHooks();
// Hands each open map the user procedure its descriptor got since the map
// opened (plug-ins attach procedures after the rollouts open); the new
// procedure gets WM_INITDIALOG. The host runs this after BeginEditParams, on
// redraws and in the message pump.
void SyncParamMapProcs();
// Closes every map (used between tests).
void CloseAllParamMaps();
}  // namespace vorel_ui
