// State behind a window handle, shared by the files of the headless user
// interface (and readable by its tests). Plug-in code never includes this.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/ui/window.h"

namespace vorel_ui {

struct ListEntry {
  std::string text;
  LPARAM data = 0;
  bool selected = false;
};

struct ListViewColumn {
  std::string text;
  int width = 0;
  int fmt = 0;
};

struct ListViewRow {
  std::vector<std::string> cells;  // cell 0 is the item text
  LPARAM param = 0;
  UINT state = 0;                  // LVIS_SELECTED / LVIS_FOCUSED
};

struct FlyOffEntry {
  int images[4] = {0, 0, 0, 0};
};

struct Window {
  uintptr_t handle = 0;
  Kind kind = Kind::Window;
  std::string className;
  int id = -1;
  HWND parent = nullptr;
  HWND owner = nullptr;
  HINSTANCE inst = nullptr;
  int templateId = -1;
  std::vector<HWND> children;
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool focused = false;
  RECT rect{0, 0, 0, 0};
  LONG_PTR userData = 0;
  LONG_PTR dlgUser = 0;
  LONG_PTR msgResult = 0;
  DLGPROC dlgProc = nullptr;
  WindowHandler handler;
  bool modal = false;
  bool ended = false;
  INT_PTR modalResult = 0;
  bool destroying = false;

  // Buttons, check boxes, radio buttons, custom buttons.
  int check = 0;
  bool groupStart = false;
  // List box / combo box.
  std::vector<ListEntry> items;
  int curSel = -1;
  bool multiSelect = false;
  // List view.
  std::vector<ListViewColumn> columns;
  std::vector<ListViewRow> rows;
  DWORD exStyle = 0;
  // Progress bar, slider.
  int rangeMin = 0, rangeMax = 100, pos = 0, step = 10;
  // Animation control.
  std::string animSource;
  bool animOpen = false, animPlaying = false;
  int animRepeat = 0;

  // Custom button.
  int buttonType = 0;  // CBT_PUSH / CBT_CHECK
  COLORREF highlight = 0;
  bool tooltipOn = false;
  std::string tooltip;
  std::vector<FlyOffEntry> flyOff;
  int curFlyOff = 0, flyOffTime = 0, flyOffDir = 0, flyOffColumns = 1;
  int image = -1;
  HIMAGELIST imageList = nullptr;
  // Spinner.
  int spinType = 0;  // EDITTYPE_*
  double spinMin = -1e30, spinMax = 1e30, spinValue = 0.0, spinReset = 0.0, spinScale = 0.1;
  bool spinAutoScale = false;
  HWND linkedEdit = nullptr;
  HWND linkedSpinner = nullptr;
  // Custom edit.
  bool wantReturn = false;
  bool gotReturn = false;
  // Colour swatch.
  COLORREF color = 0;
};

// The window behind a handle, or null when it is unknown or destroyed.
Window* Find(HWND hwnd);
HWND HandleOf(const Window* w);
// Sends a message to the parent dialog of a control (WM_COMMAND or WM_NOTIFY).
LRESULT NotifyParent(HWND ctrl, UINT msg, WPARAM wParam, LPARAM lParam);
// Sends WM_COMMAND with the control's id and a notification code to its parent.
LRESULT SendCommand(HWND ctrl, UINT code);
// Formats a spinner value for its linked edit.
std::string FormatSpinnerValue(const Window& spinner);
// Unchecks the other radio buttons of a radio button's group.
void ClearRadioGroup(HWND radio);

}  // namespace vorel_ui
