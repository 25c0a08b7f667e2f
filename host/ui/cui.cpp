#include "host/ui/cui.h"

#include <algorithm>
#include <map>
#include <memory>

#include "host/ui/window_impl.h"

using namespace vorel_ui;

namespace {

struct FrameState {
  std::string name;
  DWORD contentType = 0;
  DWORD posType = 0;
  bool floating = true;
  int dockPos = CUI_FLOATING;
  std::unique_ptr<CUIFrameMsgHandler> handler;
};

struct ToolbarState {
  std::vector<ToolItem> items;
  std::vector<HWND> buttons;  // one per item, null for separators
  HWND frame = nullptr;
  HIMAGELIST images = nullptr;
  bool topBorder = true, bottomBorder = true;
};

struct ImageListState {
  int cx = 16, cy = 16;
  int count = 0;
  std::vector<std::string> files;
};

struct CuiState {
  std::map<HWND, FrameState> frames;
  std::map<HWND, ToolbarState> toolbars;
  std::map<uintptr_t, ImageListState> imageLists;
  uintptr_t nextImageList = 0x100;
  std::map<std::string, int> iconFiles;
};

CuiState& C() {
  static CuiState s;
  return s;
}

FrameState* FindFrame(HWND h) {
  auto it = C().frames.find(h);
  return (it == C().frames.end() || !IsWindow(h)) ? nullptr : &it->second;
}

ToolbarState* FindToolbar(HWND h) {
  auto it = C().toolbars.find(h);
  return (it == C().toolbars.end() || !IsWindow(h)) ? nullptr : &it->second;
}

LRESULT FrameProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    C().frames.erase(h);
    return 0;
  }
  FrameState* f = FindFrame(h);
  if (!f || !f->handler) return 0;
  if (msg == WM_COMMAND || msg == WM_NOTIFY) return f->handler->ProcessMessage(msg, wParam, lParam);
  return 0;
}

LRESULT ToolbarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    C().toolbars.erase(h);
    return 0;
  }
  ToolbarState* t = FindToolbar(h);
  if (!t) return 0;
  if (msg == WM_COMMAND || msg == WM_NOTIFY) {
    HWND target = IsWindow(t->frame) ? t->frame : GetParent(h);
    return SendMessage(target, msg, wParam, lParam);
  }
  return 0;
}

ToolbarState* EnsureToolbar(HWND h) {
  Window* w = Find(h);
  if (!w || w->kind != Kind::CustToolbar) return nullptr;
  auto it = C().toolbars.find(h);
  if (it == C().toolbars.end()) {
    it = C().toolbars.emplace(h, ToolbarState()).first;
    SetWindowHandler(h, ToolbarProc);
  }
  return &it->second;
}

}  // namespace

void ICUIFrame::SetName(const char* name) {
  if (FrameState* f = FindFrame(hwnd_)) f->name = name ? name : "";
}
std::string ICUIFrame::GetName() const {
  FrameState* f = FindFrame(hwnd_);
  return f ? f->name : std::string();
}
void ICUIFrame::SetContentType(DWORD t) {
  if (FrameState* f = FindFrame(hwnd_)) f->contentType = t;
}
DWORD ICUIFrame::GetContentType() const {
  FrameState* f = FindFrame(hwnd_);
  return f ? f->contentType : 0;
}
void ICUIFrame::SetPosType(DWORD t) {
  if (FrameState* f = FindFrame(hwnd_)) f->posType = t;
}
DWORD ICUIFrame::GetPosType() const {
  FrameState* f = FindFrame(hwnd_);
  return f ? f->posType : 0;
}
void ICUIFrame::Hide(BOOL hide) { ShowWindow(hwnd_, hide ? SW_HIDE : SW_SHOW); }
BOOL ICUIFrame::IsHidden() const { return IsWindow(hwnd_) && !IsWindowVisible(hwnd_); }
BOOL ICUIFrame::IsFloating() const {
  FrameState* f = FindFrame(hwnd_);
  return f && f->floating;
}
int ICUIFrame::GetCurPosition() const {
  FrameState* f = FindFrame(hwnd_);
  return f ? f->dockPos : int(CUI_FLOATING);
}
void ICUIFrame::InstallMsgHandler(CUIFrameMsgHandler* h) {
  FrameState* f = FindFrame(hwnd_);
  if (!f) {
    delete h;
    return;
  }
  if (f->handler.get() != h) f->handler.reset(h);
}
CUIFrameMsgHandler* ICUIFrame::GetMsgHandler() const {
  FrameState* f = FindFrame(hwnd_);
  return f ? f->handler.get() : nullptr;
}

ICUIFrame* GetICUIFrame(HWND frame) { return FindFrame(frame) ? new ICUIFrame(frame) : nullptr; }
void ReleaseICUIFrame(ICUIFrame* f) { delete f; }

HWND CreateCUIFrameWindow(HWND parent, const char* title, int x, int y, int cx, int cy) {
  HWND h = CreateHeadlessWindow(Kind::Window, "CUIFrame", title ? title : "", parent, 0,
                                RECT{x, y, x + cx, y + cy});
  FrameState& f = C().frames[h];
  f.name = title ? title : "";
  SetWindowHandler(h, FrameProc);
  return h;
}

ICUIFrame* ICUIFrameMgr::GetICUIFrame(const char* name) {
  std::string n = name ? name : "";
  for (auto& [h, f] : C().frames)
    if (IsWindow(h) && f.name == n) return new ICUIFrame(h);
  return nullptr;
}

void ICUIFrameMgr::RecalcLayout(BOOL) { ++layouts_; }

void ICUIFrameMgr::DockCUIWindow(HWND frame, int panel, RECT*) {
  FrameState* f = FindFrame(frame);
  if (!f) return;
  f->floating = false;
  f->dockPos = panel;
}

void ICUIFrameMgr::FloatCUIWindow(HWND frame, RECT* rect) {
  FrameState* f = FindFrame(frame);
  if (!f) return;
  f->floating = true;
  f->dockPos = CUI_FLOATING;
  if (rect) MoveWindow(frame, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
}

ICUIFrameMgr* GetCUIFrameMgr() {
  static ICUIFrameMgr m;
  return &m;
}

void ICustToolbar::LinkToCUIFrame(HWND frame, CUIFrameMsgHandler* handler) {
  ToolbarState* t = EnsureToolbar(hwnd_);
  if (!t) return;
  t->frame = frame;
  if (handler)
    if (FrameState* f = FindFrame(frame))
      if (f->handler.get() != handler) f->handler.reset(handler);
}
void ICustToolbar::SetTopBorder(BOOL on) {
  if (ToolbarState* t = EnsureToolbar(hwnd_)) t->topBorder = on != 0;
}
void ICustToolbar::SetBottomBorder(BOOL on) {
  if (ToolbarState* t = EnsureToolbar(hwnd_)) t->bottomBorder = on != 0;
}
void ICustToolbar::SetImage(HIMAGELIST list) {
  if (ToolbarState* t = EnsureToolbar(hwnd_)) t->images = list;
}

void ICustToolbar::AddTool(const ToolItem& item, int pos) {
  ToolbarState* t = EnsureToolbar(hwnd_);
  if (!t) return;
  int n = int(t->items.size());
  if (pos < 0 || pos > n) pos = n;
  HWND button = nullptr;
  if (item.type != CTB_SEPARATOR) {
    button = CreateHeadlessWindow(Kind::CustButton, "CustButton", "", hwnd_, item.id,
                                  RECT{0, 0, item.width, item.height});
    Window* b = Find(button);
    b->buttonType = item.type == CTB_CHECKBUTTON ? CBT_CHECK : CBT_PUSH;
    b->image = item.images[0];
    b->imageList = t->images;
  }
  t->items.insert(t->items.begin() + pos, item);
  t->buttons.insert(t->buttons.begin() + pos, button);
}

void ICustToolbar::DeleteTools(int start, int num) {
  ToolbarState* t = EnsureToolbar(hwnd_);
  if (!t) return;
  int n = int(t->items.size());
  if (start < 0 || start >= n) return;
  int end = (num < 0) ? n : std::min(n, start + num);
  for (int i = start; i < end; ++i)
    if (t->buttons[size_t(i)]) DestroyWindow(t->buttons[size_t(i)]);
  t = EnsureToolbar(hwnd_);
  if (!t) return;
  t->items.erase(t->items.begin() + start, t->items.begin() + end);
  t->buttons.erase(t->buttons.begin() + start, t->buttons.begin() + end);
}

int ICustToolbar::GetNumItems() const {
  ToolbarState* t = FindToolbar(hwnd_);
  return t ? int(t->items.size()) : 0;
}
const ToolItem* ICustToolbar::GetItem(int index) const {
  ToolbarState* t = FindToolbar(hwnd_);
  if (!t || index < 0 || index >= int(t->items.size())) return nullptr;
  return &t->items[size_t(index)];
}
int ICustToolbar::GetItemID(int index) const {
  const ToolItem* i = GetItem(index);
  return i ? i->id : -1;
}
int ICustToolbar::FindItem(int id) const {
  ToolbarState* t = FindToolbar(hwnd_);
  if (!t) return -1;
  for (size_t i = 0; i < t->items.size(); ++i)
    if (t->items[i].type != CTB_SEPARATOR && t->items[i].id == id) return int(i);
  return -1;
}
HWND ICustToolbar::GetItemHwnd(int id) const {
  int i = FindItem(id);
  ToolbarState* t = FindToolbar(hwnd_);
  return (t && i >= 0) ? t->buttons[size_t(i)] : nullptr;
}
ICustButton* ICustToolbar::GetICustButton(int id) const { return ::GetICustButton(GetItemHwnd(id)); }

ICustToolbar* GetICustToolbar(HWND h) {
  return EnsureToolbar(h) ? new ICustToolbar(h) : nullptr;
}
void ReleaseICustToolbar(ICustToolbar* t) { delete t; }

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int, int) {
  CuiState& c = C();
  uintptr_t id = c.nextImageList++;
  ImageListState& s = c.imageLists[id];
  s.cx = cx;
  s.cy = cy;
  return reinterpret_cast<HIMAGELIST>(id);
}

namespace {
ImageListState* FindList(HIMAGELIST l) {
  auto it = C().imageLists.find(reinterpret_cast<uintptr_t>(l));
  return it == C().imageLists.end() ? nullptr : &it->second;
}
}  // namespace

BOOL ImageList_Destroy(HIMAGELIST list) {
  return C().imageLists.erase(reinterpret_cast<uintptr_t>(list)) ? TRUE : FALSE;
}
int ImageList_GetImageCount(HIMAGELIST list) {
  ImageListState* s = FindList(list);
  return s ? s->count : 0;
}
int ImageList_AddImages(HIMAGELIST list, int count) {
  ImageListState* s = FindList(list);
  if (!s || count < 0) return -1;
  int first = s->count;
  s->count += count;
  return first;
}
int ImageList_GetIconSize(HIMAGELIST list) {
  ImageListState* s = FindList(list);
  return s ? s->cx : 0;
}
BOOL LoadMAXFileIcon(const char* file, HIMAGELIST list, int, BOOL) {
  ImageListState* s = FindList(list);
  if (!s || !file) return FALSE;
  s->files.push_back(file);
  auto it = C().iconFiles.find(file);
  if (it == C().iconFiles.end()) return FALSE;
  s->count += it->second;
  return TRUE;
}
std::vector<std::string> ImageList_LoadedFiles(HIMAGELIST list) {
  ImageListState* s = FindList(list);
  return s ? s->files : std::vector<std::string>();
}

namespace vorel_ui {
void RegisterIconFile(const std::string& name, int images) { C().iconFiles[name] = images; }
void ResetCUI() {
  CuiState& c = C();
  c.frames.clear();
  c.toolbars.clear();
  c.imageLists.clear();
  c.iconFiles.clear();
  *GetCUIFrameMgr() = ICUIFrameMgr();
}
}  // namespace vorel_ui
