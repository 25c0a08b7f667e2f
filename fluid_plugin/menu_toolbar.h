// The plug-in's menus (registered with the host's menu manager) and its
// floating, dockable "Vorel Toolbar", whose buttons run the action table's
// commands.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/ui.h"

// Toolbar button ids.
enum ToolbarButton : int {
  kTbFlushAnimation = 10000, kTbGo = 10001, kTbHoldTime = 10002, kTbStartStop = 10003,
  kTbRandom = 10004, kTbAddSource = 10005, kTbClipBox = 10006, kTbLook = 10008,
  kTbRender = 10010, kTbFacing = 10013, kTbSolitude = 10016, kTbSurface = 10017,
  kTbRebuildSurface = 10018, kTbNewVorel = 10019, kTbFlushSurface = 10020,
  kTbObjectManager = 10023, kTbLog = 10024, kTbHelp = 10025,
};
constexpr const char* kToolbarFrameName = "Vorel Toolbar";

// Finds or makes and registers the seven menus and, when the action table
// is registered, fills each with exactly its items (a second call leaves no
// duplicates). Runs once the library is loaded, on the host's thread.
void BuildVorelMenus();
// Appends the table's action with that command id to the menu; false (and
// nothing) when the table holds no such action.
bool AddActionMenuItem(ActionTable* table, IMenu* menu, int command);

// Builds the toolbar, or shows it again when its frame exists. position:
// 1 bottom dock, 2 left dock, anything else right dock.
void CreateToolbar(int position);
// The toolbar window (null until built, and after its frame is destroyed).
HWND ToolbarWindow();
void ShowFacingToolbarButton(int state);
void HideFacingToolbarButton();
bool FacingButtonPresent();
void SetParticleLookButtonState(int state);
void SetRenderTypeButtonState(int state);
void SetFacingButtonState(int state);
void SetToolbarButtonCheck(int id, bool on);
// Whether a check button is down (false without the toolbar or the button).
bool ToolbarButtonChecked(int id);
// Hides the toolbar's frame when it exists (a later CreateToolbar shows it).
void HideToolbar();
int FrameFromTicks(TimeValue t);
void PlaceToolbarWindow(HWND window, int dx, int dy, HWND host);
// The host dock code of a toolbar position.
int ToolbarDockCode(int position);
// The command a toolbar button runs in a flyout state (0: none).
int ToolbarCommand(int id, int flyoutState);
// The tooltip of a button in a flyout state (null: none).
const char* ToolbarTooltip(int id, int flyoutState);

class TBMsgHandler : public CUIFrameMsgHandler {
 public:
  int ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Forgets the toolbar (tests start a fresh headless session).
void ResetToolbarState();

// A particle wrapper holding the selected nodes, made through the host by
// its class (nothing when the wrapper plug-in is not installed).
void NewWrapperFromSelection();
// Binds the short editing commands (edit_actions.h) and the toolbar states
// after "New Vorel" and after a load to the action callback, and the object
// manager to the fluid system's engine.
void InstallShellActions();
