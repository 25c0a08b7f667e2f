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
// Binds the wrapper command (40032), the toolbar command (40021) and the object manager (-25512) to the
// action table, and the object manager to the fluid system's engine.
void InstallShellActions();
