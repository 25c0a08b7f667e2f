// The headless user: what a person would do to the controls, each followed
// by the notifications the dialog would receive. Every call refuses (false)
// on an unknown, disabled or wrong-kind control and then sends nothing.
#pragma once
#include <string>

#include "host/ui/win_types.h"

namespace vorel_ui {

// Push button, check box (toggles), radio button (checks it, clears its
// group), custom button (a check button toggles): then WM_COMMAND BN_CLICKED.
bool Click(HWND ctrl);
// Chooses a flyout state of a custom button and clicks it.
bool ChooseFlyOff(HWND ctrl, int state);
// Focuses an edit (EN_SETFOCUS), replaces its text (EN_CHANGE); a spinner's
// linked edit sets the spinner (clamped, CC_SPINNER_CHANGE); Return in a
// custom edit that wants it sends WM_CUSTEDIT_ENTER; then EN_KILLFOCUS.
bool TypeText(HWND edit, const std::string& text, bool pressReturn = true);
// Only the focus notification (the user entered the field).
bool FocusEdit(HWND edit);
// Sets a spinner as a drag would: CC_SPINNER_BUTTONDOWN, the value (clamped),
// CC_SPINNER_CHANGE, CC_SPINNER_BUTTONUP.
bool SetSpinner(HWND spinner, double value);
// Selects row index of a list box (LBN_SELCHANGE, LBN_DBLCLK on a double
// click; additive keeps the other rows of a multi-selection list) or of a
// combo box (CBN_SELCHANGE then CBN_SELENDOK).
bool SelectItem(HWND list, int index, bool doubleClick = false, bool additive = false);
// Clicks row index of a list view (-1: empty space): updates the highlighted
// rows (additive keeps the others) and sends NM_CLICK (and NM_DBLCLK).
bool ClickRow(HWND listView, int index, bool doubleClick = false, bool additive = false);
bool PressListKey(HWND listView, WORD vkey);
bool SetSlider(HWND slider, int pos);
bool PickColor(HWND swatch, COLORREF c);
// A dialog command without a control (IDOK, IDCANCEL, a menu id).
bool SendDialogCommand(HWND dlg, int id);
// Asks a window for the tooltip of a tool id (WM_NOTIFY TTN_NEEDTEXTA).
std::string RequestTooltip(HWND target, int toolId);

// The custom control's own tooltip text (set with SetTooltip), "" when off.
std::string ControlTooltip(HWND ctrl);

}  // namespace vorel_ui
