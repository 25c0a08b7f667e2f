// Headless windows and dialogs. A window handle names an in-memory window:
// a dialog made from a dialog template that the plug-in registers (its id and
// its controls by id, kind and initial text), one of the dialog's controls,
// or a free-standing window (toolbar frame, custom toolbar). Messages are
// dispatched synchronously to the dialog procedure; posted messages and due
// timers wait in a queue until the message pump runs. Handles are never
// reused, so a stale handle is merely unknown: every call on it fails softly.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "host/ui/win_types.h"

namespace vorel_ui {

// What a control is. The host's custom controls (spinner, custom button,
// custom edit, colour swatch, custom toolbar) sit beside the standard ones.
enum class Kind {
  Window, Dialog, Static, Edit, Button, CheckBox, RadioButton, GroupBox, ListBox,
  ComboBox, ListView, ProgressBar, Slider, Animation, CustButton, CustEdit, Spinner,
  ColorSwatch, CustToolbar, CustStatus, CustImage,
};
const char* KindName(Kind k);

struct ControlTemplate {
  int id = -1;
  Kind kind = Kind::Static;
  std::string text;
  // Starts a new radio group even when the previous control is a radio button.
  bool group = false;
  // List boxes that allow several highlighted rows.
  bool multiSelect = false;
  RECT rect{0, 0, 60, 14};
};

struct DialogTemplate {
  int id = 0;
  std::string title;
  int width = 220, height = 160;
  std::vector<ControlTemplate> controls;
};

// Registers a dialog template of a plug-in (replacing one of the same
// instance and id). Templates are looked up by (instance, id) first and then
// by id among the templates registered with a null instance.
void RegisterDialogTemplate(HINSTANCE inst, const DialogTemplate& t);
const DialogTemplate* FindDialogTemplate(HINSTANCE inst, int id);
void ClearDialogTemplates();

// Handler of a free-standing window (frames, toolbars): the window procedure.
using WindowHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a window of the given kind outside any template (child of parent
// when given). Used by the frame manager and by CreateWindow below.
HWND CreateHeadlessWindow(Kind kind, const std::string& className, const std::string& title,
                          HWND parent, int id, RECT rect);
void SetWindowHandler(HWND hwnd, WindowHandler handler);

// Every live top-level window (dialogs and frames), oldest first.
std::vector<HWND> TopLevelWindows();
// Children of a window in creation (template) order.
std::vector<HWND> ChildWindows(HWND hwnd);
Kind GetKind(HWND hwnd);
// The template id a dialog was made from, -1 for other windows.
int GetDialogTemplateId(HWND hwnd);
bool IsModal(HWND hwnd);

// Posted messages and timers.
// Delivers every queued message and due timer (also those queued while
// delivering, up to a bound that stops self-reposting loops); returns the
// number delivered.
int PumpMessages();
// Moves the headless timer clock forward; each timer whose period elapsed
// queues one WM_TIMER per elapsed period (at most 1000 per call).
void AdvanceTimers(unsigned ms);
size_t PendingMessageCount();

// Modal dialogs are answered by a script: the answer for a dialog template id
// (or -1 for any) runs once, after WM_INITDIALOG, with the dialog window; it
// usually sets controls and presses a button. When it does not end the
// dialog, IDCANCEL is pressed for it.
using ModalAnswer = std::function<void(HWND)>;
void QueueModalAnswer(int dialogId, ModalAnswer answer);
void ClearModalAnswers();

// Forgets every window (without WM_DESTROY), template, timer and queued
// message: a fresh headless session for tests.
void ResetWindows();

// Called with each dialog made from a template just before it is destroyed
// (its controls still hold what it showed last); null removes it.
using DialogCloseObserver = std::function<void(HWND)>;
void SetDialogCloseObserver(DialogCloseObserver observer);

}  // namespace vorel_ui

// ---- Win32-style calls used by plug-in code ---------------------------------

// Integer resource ids travel as fake pointers, as in the resource calls.
inline const char* MAKEINTRESOURCE(int id) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<uint16_t>(id)));
}
inline const char* MAKEINTRESOURCEA(int id) { return MAKEINTRESOURCE(id); }
bool IS_INTRESOURCE(const char* p);

HWND CreateDialogParam(HINSTANCE inst, const char* templateName, HWND owner, DLGPROC proc,
                       LPARAM param);
HWND CreateDialog(HINSTANCE inst, const char* templateName, HWND owner, DLGPROC proc);
INT_PTR DialogBoxParam(HINSTANCE inst, const char* templateName, HWND owner, DLGPROC proc,
                       LPARAM param);
BOOL EndDialog(HWND dlg, INT_PTR result);
// Window classes known: "CustToolbar", "SysAnimate32", "msctls_progress32",
// "SysListView32", "ListBox", "ComboBox", "Edit", "Static", "Button",
// "msctls_trackbar32"; any other name gives a plain window.
HWND CreateWindowEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                    int x, int y, int w, int h, HWND parent, HMENU menuOrId, HINSTANCE inst,
                    void* param);
inline HWND CreateWindow(const char* className, const char* title, DWORD style, int x, int y,
                         int w, int h, HWND parent, HMENU menuOrId, HINSTANCE inst, void* param) {
  return CreateWindowEx(0, className, title, style, x, y, w, h, parent, menuOrId, inst, param);
}
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessage(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

HWND GetDlgItem(HWND dlg, int id);
int GetDlgCtrlID(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND SetParent(HWND child, HWND parent);

BOOL SetWindowText(HWND hwnd, const char* text);
int GetWindowText(HWND hwnd, char* buf, int max);
int GetWindowTextLength(HWND hwnd);
BOOL SetDlgItemText(HWND dlg, int id, const char* text);
UINT GetDlgItemText(HWND dlg, int id, char* buf, int max);
BOOL SetDlgItemInt(HWND dlg, int id, UINT value, BOOL isSigned);
UINT GetDlgItemInt(HWND dlg, int id, BOOL* ok, BOOL isSigned);

BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL IsWindowVisible(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* r);
BOOL GetClientRect(HWND hwnd, RECT* r);
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL repaint);
BOOL InvalidateRect(HWND hwnd, const RECT* r, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
inline LONG_PTR SetWindowLong(HWND hwnd, int index, LONG_PTR value) {
  return SetWindowLongPtr(hwnd, index, value);
}
inline LONG_PTR GetWindowLong(HWND hwnd, int index) { return GetWindowLongPtr(hwnd, index); }

BOOL CheckDlgButton(HWND dlg, int id, UINT check);
UINT IsDlgButtonChecked(HWND dlg, int id);
BOOL CheckRadioButton(HWND dlg, int first, int last, int check);

void InitCommonControls();

// Progress bar, list box, combo box and list view shorthands (the common
// control macros plug-in code uses).
int ListView_InsertColumn(HWND lv, int index, const LVCOLUMN* col);
int ListView_InsertItem(HWND lv, const LVITEM* item);
BOOL ListView_SetItem(HWND lv, const LVITEM* item);
void ListView_SetItemText(HWND lv, int item, int sub, const char* text);
void ListView_GetItemText(HWND lv, int item, int sub, char* buf, int max);
int ListView_GetItemCount(HWND lv);
BOOL ListView_DeleteItem(HWND lv, int item);
BOOL ListView_DeleteAllItems(HWND lv);
int ListView_GetNextItem(HWND lv, int start, UINT flags);
UINT ListView_GetSelectedCount(HWND lv);
void ListView_SetItemState(HWND lv, int item, UINT state, UINT mask);
UINT ListView_GetItemState(HWND lv, int item, UINT mask);
int ListView_GetColumnCount(HWND lv);
