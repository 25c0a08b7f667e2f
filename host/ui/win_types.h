// Window-system value types and message numbers of the headless user
// interface. The numbers are the ones plug-in code compares against
// (WM_COMMAND is 273, a tooltip request is -520, ...), so they keep their
// customary values; the types are plain integers and opaque handles.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/core/win32.h"

struct HIMAGELIST__;
typedef HIMAGELIST__* HIMAGELIST;
struct HMENU__;
typedef HMENU__* HMENU;
typedef char MCHAR;

inline constexpr WORD LOWORD(uintptr_t v) { return WORD(v & 0xFFFF); }
inline constexpr WORD HIWORD(uintptr_t v) { return WORD((v >> 16) & 0xFFFF); }
inline constexpr WPARAM MAKEWPARAM(unsigned lo, unsigned hi) {
  return WPARAM((lo & 0xFFFFu) | ((hi & 0xFFFFu) << 16));
}
inline constexpr LPARAM MAKELPARAM(unsigned lo, unsigned hi) {
  return LPARAM(int32_t((lo & 0xFFFFu) | ((hi & 0xFFFFu) << 16)));
}

typedef POINT IPoint2;

// Header of every WM_NOTIFY payload.
struct NMHDR {
  HWND hwndFrom = nullptr;
  UINT_PTR idFrom = 0;
  int code = 0;
};

typedef NMHDR* LPNMHDR;

// Calling-convention annotations of window procedures mean nothing here.
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef WINAPI
#define WINAPI
#endif

// ---- window messages -------------------------------------------------------
enum : UINT {
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_GETTEXTLENGTH = 0x000E,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_SHOWWINDOW = 0x0018,
  WM_NOTIFY = 0x004E,
  WM_SETICON = 0x0080,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_USER = 0x0400,
};

// Buttons.
enum : UINT {
  BN_CLICKED = 0,
  BN_DOUBLECLICKED = 5,
  BM_GETCHECK = 0x00F0,
  BM_SETCHECK = 0x00F1,
  BST_UNCHECKED = 0,
  BST_CHECKED = 1,
};

// Edits.
enum : UINT { EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300, EN_UPDATE = 0x0400 };

// List boxes.
enum : UINT {
  LBN_SELCHANGE = 1,
  LBN_DBLCLK = 2,
  LB_ADDSTRING = 0x0180,
  LB_INSERTSTRING = 0x0181,
  LB_DELETESTRING = 0x0182,
  LB_RESETCONTENT = 0x0184,
  LB_SETSEL = 0x0185,
  LB_SETCURSEL = 0x0186,
  LB_GETSEL = 0x0187,
  LB_GETCURSEL = 0x0188,
  LB_GETTEXT = 0x0189,
  LB_GETTEXTLEN = 0x018A,
  LB_GETCOUNT = 0x018B,
  LB_SELECTSTRING = 0x018C,
  LB_FINDSTRING = 0x018F,
  LB_GETSELCOUNT = 0x0190,
  LB_GETSELITEMS = 0x0191,
  LB_GETITEMDATA = 0x0199,
  LB_SETITEMDATA = 0x019A,
  LB_FINDSTRINGEXACT = 0x01A2,
};
enum : int { LB_ERR = -1, CB_ERR = -1 };

// Combo boxes.
enum : UINT {
  CBN_SELCHANGE = 1,
  CBN_DBLCLK = 2,
  CBN_EDITCHANGE = 5,
  CBN_SELENDOK = 9,
  CB_ADDSTRING = 0x0143,
  CB_DELETESTRING = 0x0144,
  CB_GETCOUNT = 0x0146,
  CB_GETCURSEL = 0x0147,
  CB_GETLBTEXT = 0x0148,
  CB_GETLBTEXTLEN = 0x0149,
  CB_INSERTSTRING = 0x014A,
  CB_RESETCONTENT = 0x014B,
  CB_FINDSTRING = 0x014C,
  CB_SELECTSTRING = 0x014D,
  CB_SETCURSEL = 0x014E,
  CB_FINDSTRINGEXACT = 0x0158,
};

// Progress bars, track bars (sliders), the animation control.
enum : UINT {
  PBM_SETRANGE = WM_USER + 1,
  PBM_SETPOS = WM_USER + 2,
  PBM_DELTAPOS = WM_USER + 3,
  PBM_SETSTEP = WM_USER + 4,
  PBM_STEPIT = WM_USER + 5,
  PBM_SETRANGE32 = WM_USER + 6,
  PBM_GETRANGE = WM_USER + 7,
  PBM_GETPOS = WM_USER + 8,
  TBM_GETPOS = WM_USER,
  TBM_GETRANGEMIN = WM_USER + 1,
  TBM_GETRANGEMAX = WM_USER + 2,
  TBM_SETPOS = WM_USER + 5,
  TBM_SETRANGE = WM_USER + 6,
  TBM_SETRANGEMIN = WM_USER + 7,
  TBM_SETRANGEMAX = WM_USER + 8,
  ACM_OPENA = WM_USER + 100,
  ACM_PLAY = WM_USER + 101,
  ACM_STOP = WM_USER + 102,
};
constexpr UINT ACM_OPEN = ACM_OPENA;

// List views.
enum : UINT {
  LVM_FIRST = 0x1000,
  LVM_GETITEMCOUNT = LVM_FIRST + 4,
  LVM_GETITEMA = LVM_FIRST + 5,
  LVM_SETITEMA = LVM_FIRST + 6,
  LVM_INSERTITEMA = LVM_FIRST + 7,
  LVM_DELETEITEM = LVM_FIRST + 8,
  LVM_DELETEALLITEMS = LVM_FIRST + 9,
  LVM_GETNEXTITEM = LVM_FIRST + 12,
  LVM_GETCOLUMNA = LVM_FIRST + 25,
  LVM_SETCOLUMNA = LVM_FIRST + 26,
  LVM_INSERTCOLUMNA = LVM_FIRST + 27,
  LVM_DELETECOLUMN = LVM_FIRST + 28,
  LVM_GETCOLUMNWIDTH = LVM_FIRST + 29,
  LVM_SETITEMSTATE = LVM_FIRST + 43,
  LVM_GETITEMSTATE = LVM_FIRST + 44,
  LVM_GETITEMTEXTA = LVM_FIRST + 45,
  LVM_SETITEMTEXTA = LVM_FIRST + 46,
  LVM_GETSELECTEDCOUNT = LVM_FIRST + 50,
  LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54,
};
constexpr UINT LVM_GETITEM = LVM_GETITEMA;
constexpr UINT LVM_SETITEM = LVM_SETITEMA;
constexpr UINT LVM_INSERTITEM = LVM_INSERTITEMA;
constexpr UINT LVM_GETCOLUMN = LVM_GETCOLUMNA;
constexpr UINT LVM_SETCOLUMN = LVM_SETCOLUMNA;
constexpr UINT LVM_INSERTCOLUMN = LVM_INSERTCOLUMNA;
constexpr UINT LVM_GETITEMTEXT = LVM_GETITEMTEXTA;
constexpr UINT LVM_SETITEMTEXT = LVM_SETITEMTEXTA;

enum : UINT {
  LVIF_TEXT = 0x1, LVIF_IMAGE = 0x2, LVIF_PARAM = 0x4, LVIF_STATE = 0x8,
  LVIS_FOCUSED = 0x1, LVIS_SELECTED = 0x2,
  LVNI_ALL = 0x0, LVNI_FOCUSED = 0x1, LVNI_SELECTED = 0x2,
  LVCF_FMT = 0x1, LVCF_WIDTH = 0x2, LVCF_TEXT = 0x4, LVCF_SUBITEM = 0x8,
  LVS_EX_FULLROWSELECT = 0x20, LVS_EX_GRIDLINES = 0x1,
};

// Notification codes (WM_NOTIFY).
enum : int {
  NM_CLICK = -2,
  NM_DBLCLK = -3,
  NM_RETURN = -4,
  NM_RCLICK = -5,
  NM_SETFOCUS = -7,
  NM_KILLFOCUS = -8,
  LVN_ITEMCHANGED = -101,
  LVN_COLUMNCLICK = -108,
  LVN_KEYDOWN = -155,
  TTN_NEEDTEXTA = -520,
  TTN_GETDISPINFOA = -520,
};
constexpr int TTN_NEEDTEXT = TTN_NEEDTEXTA;

struct LVCOLUMNA {
  UINT mask = 0;
  int fmt = 0;
  int cx = 0;
  char* pszText = nullptr;
  int cchTextMax = 0;
  int iSubItem = 0;
};
typedef LVCOLUMNA LVCOLUMN;

struct LVITEMA {
  UINT mask = 0;
  int iItem = 0;
  int iSubItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  char* pszText = nullptr;
  int cchTextMax = 0;
  int iImage = 0;
  LPARAM lParam = 0;
};
typedef LVITEMA LVITEM;

// NM_CLICK / NM_DBLCLK payload of a list view (the row under the cursor).
struct NMITEMACTIVATE {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
};
typedef NMITEMACTIVATE* LPNMITEMACTIVATE;
struct NMLISTVIEW {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
};
typedef NMLISTVIEW* LPNMLISTVIEW;
struct NMLVKEYDOWN {
  NMHDR hdr;
  WORD wVKey = 0;
  UINT flags = 0;
};

// Tooltip text request: the handler fills szText or points lpszText at text
// that outlives the call.
struct TOOLTIPTEXTA {
  NMHDR hdr;
  char* lpszText = nullptr;
  char szText[80] = {};
  HINSTANCE hinst = nullptr;
  UINT uFlags = 0;
  LPARAM lParam = 0;
};
typedef TOOLTIPTEXTA NMTTDISPINFOA;
typedef TOOLTIPTEXTA* LPTOOLTIPTEXT;
typedef TOOLTIPTEXTA* LPTOOLTIPTEXTA;
typedef TOOLTIPTEXTA TOOLTIPTEXT;

// Window styles.
enum : DWORD {
  WS_OVERLAPPED = 0x00000000u,
  WS_TABSTOP = 0x00010000u,
  WS_GROUP = 0x00020000u,
  WS_BORDER = 0x00800000u,
  WS_DISABLED = 0x08000000u,
  WS_VISIBLE = 0x10000000u,
  WS_CHILD = 0x40000000u,
  WS_POPUP = 0x80000000u,
};
// SetWindowPos's insert-after handles.
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(intptr_t(1));
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t(-2));

// Window long slots.
enum : int { GWLP_USERDATA = -21, GWL_USERDATA = -21, DWLP_USER = 16, DWLP_MSGRESULT = 0 };

// ShowWindow and SetWindowPos.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWNA = 8, SW_RESTORE = 9 };
enum : UINT {
  SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002, SWP_NOZORDER = 0x0004, SWP_NOACTIVATE = 0x0010,
  SWP_SHOWWINDOW = 0x0040, SWP_HIDEWINDOW = 0x0080,
};

// Keys the list-view key notification reports.
enum : WORD { VK_RETURN = 0x0D, VK_DELETE = 0x2E };
