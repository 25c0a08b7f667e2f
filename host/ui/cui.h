// Floating and docked toolbars: CUI frames (named windows that float or dock
// at an edge), custom toolbars linked to a frame (buttons at indices, check
// states, flyouts), image lists, and the frame's message handler that
// receives its toolbar's WM_COMMAND and tooltip WM_NOTIFY messages.
#pragma once
#include <string>
#include <vector>

#include "host/ui/custctrl.h"
#include "host/ui/win_types.h"

// Content and position types of a frame.
enum : DWORD {
  CUI_TOOLBAR = 1 << 0,
  CUI_MENU = 1 << 1,
  CUI_HWND = 1 << 2,
  CUI_TOP_DOCK = 1 << 0,
  CUI_BOTTOM_DOCK = 1 << 1,
  CUI_LEFT_DOCK = 1 << 2,
  CUI_RIGHT_DOCK = 1 << 3,
  CUI_ALL_DOCK = CUI_TOP_DOCK | CUI_BOTTOM_DOCK | CUI_LEFT_DOCK | CUI_RIGHT_DOCK,
  CUI_FLOATABLE = 1 << 4,
  CUI_FLOATING = 1 << 4,
  CUI_DONT_SAVE = 1 << 6,
  CUI_SM_HANDLES = 1 << 7,
  CUI_HORIZ_DOCK = CUI_TOP_DOCK | CUI_BOTTOM_DOCK,
  CUI_VERT_DOCK = CUI_LEFT_DOCK | CUI_RIGHT_DOCK,
};

class CUIFrameMsgHandler {
 public:
  virtual ~CUIFrameMsgHandler() = default;
  virtual int ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

class ICUIFrame {
 public:
  explicit ICUIFrame(HWND h) : hwnd_(h) {}
  HWND GetHwnd() const { return hwnd_; }
  void SetName(const char* name);
  std::string GetName() const;
  void SetContentType(DWORD t);
  DWORD GetContentType() const;
  void SetPosType(DWORD t);
  DWORD GetPosType() const;
  void Hide(BOOL hide);
  BOOL IsHidden() const;
  BOOL IsFloating() const;
  // The dock edge (CUI_*_DOCK) or CUI_FLOATING.
  int GetCurPosition() const;
  // The frame deletes the handler when the frame goes or a new one comes.
  void InstallMsgHandler(CUIFrameMsgHandler* h);
  CUIFrameMsgHandler* GetMsgHandler() const;

 private:
  HWND hwnd_;
};

ICUIFrame* GetICUIFrame(HWND frame);
void ReleaseICUIFrame(ICUIFrame* f);
HWND CreateCUIFrameWindow(HWND parent, const char* title, int x, int y, int cx, int cy);

class ICUIFrameMgr {
 public:
  int GetImageSize() const { return imageSize_; }
  void SetImageSize(int px) { imageSize_ = px; }  // 16 or 24; tests switch it
  // The frame whose name matches (case-sensitive), or null; release it.
  ICUIFrame* GetICUIFrame(const char* name);
  int GetFlyOffTime() const { return 300; }
  void RecalcLayout(BOOL entireApp = FALSE);
  int LayoutCount() const { return layouts_; }
  // Docks the frame at an edge (CUI_BOTTOM_DOCK 2, CUI_LEFT_DOCK 4, ...).
  void DockCUIWindow(HWND frame, int panel, RECT* rect = nullptr);
  void FloatCUIWindow(HWND frame, RECT* rect = nullptr);

 private:
  int imageSize_ = 16;
  int layouts_ = 0;
};

typedef ICUIFrameMgr CUIFrameMgr;
ICUIFrameMgr* GetCUIFrameMgr();

// Toolbar items.
enum ToolItemType { CTB_PUSHBUTTON = 0, CTB_CHECKBUTTON = 1, CTB_SEPARATOR = 3 };

struct ToolItem {
  ToolItemType type = CTB_PUSHBUTTON;
  int images[4] = {0, 0, 0, 0};
  int width = 0, height = 0;
  int id = 0;
};

struct ToolButtonItem : ToolItem {
  ToolButtonItem(ToolItemType t, int iOutEn, int iInEn, int iOutDis, int iInDis, int w, int h,
                 int cmdId) {
    type = t;
    images[0] = iOutEn; images[1] = iInEn; images[2] = iOutDis; images[3] = iInDis;
    width = w;
    height = h;
    id = cmdId;
  }
};

struct ToolSeparatorItem : ToolItem {
  explicit ToolSeparatorItem(int w) {
    type = CTB_SEPARATOR;
    width = w;
    id = -1;
  }
};

class ICustToolbar : public ICustomControl {
 public:
  using ICustomControl::ICustomControl;
  // Makes the toolbar the frame's content: its commands and notifications go
  // to the frame's message handler.
  void LinkToCUIFrame(HWND frame, CUIFrameMsgHandler* handler);
  void SetTopBorder(BOOL on);
  void SetBottomBorder(BOOL on);
  void SetImage(HIMAGELIST list);
  // Inserts at pos (-1 or past the end: appends).
  void AddTool(const ToolItem& item, int pos = -1);
  // Deletes num items from start (num -1: to the end).
  void DeleteTools(int start, int num = -1);
  int GetNumItems() const;
  const ToolItem* GetItem(int index) const;
  int GetItemID(int index) const;
  int FindItem(int id) const;
  HWND GetItemHwnd(int id) const;
  // The button of a command id, or null (separators have none).
  ICustButton* GetICustButton(int id) const;
};

ICustToolbar* GetICustToolbar(HWND h);
void ReleaseICustToolbar(ICustToolbar* t);

// Image lists.
enum : UINT { ILC_MASK = 0x0001, ILC_COLOR24 = 0x0018, ILC_COLOR32 = 0x0020 };
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
// Adds count images (headless: records them); returns the first index.
int ImageList_AddImages(HIMAGELIST list, int count);
int ImageList_GetIconSize(HIMAGELIST list);
// Loads the host's icon file of that name into the list: the file's image
// count comes from RegisterIconFile (0 when unknown); the name is recorded.
BOOL LoadMAXFileIcon(const char* file, HIMAGELIST list, int kind, BOOL disabled);
std::vector<std::string> ImageList_LoadedFiles(HIMAGELIST list);

namespace vorel_ui {
void RegisterIconFile(const std::string& name, int images);
// Forgets every frame registration and image list (windows go with ResetWindows).
void ResetCUI();
}  // namespace vorel_ui
