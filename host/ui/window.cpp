#include "host/ui/window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <strings.h>

#include "host/ui/window_impl.h"

namespace vorel_ui {
namespace {

struct Posted {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  TIMERPROC proc;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  unsigned period;
  uint64_t next;
  TIMERPROC proc;
};

struct TemplateKey {
  HINSTANCE inst;
  int id;
  bool operator<(const TemplateKey& o) const {
    return inst != o.inst ? std::less<HINSTANCE>()(inst, o.inst) : id < o.id;
  }
};

struct State {
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  std::vector<HWND> topLevel;
  uintptr_t nextHandle = 0x10000;
  std::map<TemplateKey, DialogTemplate> templates;
  std::deque<Posted> posted;
  std::vector<Timer> timers;
  uint64_t clockMs = 0;
  HWND focus = nullptr;
  std::deque<std::pair<int, ModalAnswer>> modalAnswers;
  DialogCloseObserver closeObserver;
};

State& S() {
  static State s;
  return s;
}

HWND ToHandle(uintptr_t h) { return reinterpret_cast<HWND>(h); }

int CopyOut(const std::string& s, char* buf, int max) {
  if (!buf || max <= 0) return 0;
  int n = std::min<int>(int(s.size()), max - 1);
  std::memcpy(buf, s.data(), size_t(n));
  buf[n] = '\0';
  return n;
}

std::string TextArg(LPARAM l) {
  const char* p = reinterpret_cast<const char*>(l);
  return p ? std::string(p) : std::string();
}

Window* NewWindow(Kind kind, HWND parent) {
  State& s = S();
  auto w = std::make_unique<Window>();
  w->handle = s.nextHandle;
  s.nextHandle += 0x10;
  w->kind = kind;
  w->parent = parent;
  Window* raw = w.get();
  s.windows[raw->handle] = std::move(w);
  if (Window* p = Find(parent)) {
    p->children.push_back(ToHandle(raw->handle));
  } else {
    raw->parent = nullptr;
    s.topLevel.push_back(ToHandle(raw->handle));
  }
  return raw;
}

int FindInList(const std::vector<ListEntry>& items, WPARAM startAfter, const std::string& key,
               bool exact) {
  int n = int(items.size());
  if (n == 0) return LB_ERR;
  int start = int(intptr_t(startAfter));
  if (start < -1 || start >= n) start = -1;
  for (int k = 1; k <= n; ++k) {
    int i = (start + k) % n;
    const std::string& t = items[size_t(i)].text;
    if (exact ? strcasecmp(t.c_str(), key.c_str()) == 0
              : strncasecmp(t.c_str(), key.c_str(), key.size()) == 0)
      return i;
  }
  return LB_ERR;
}

LRESULT ListMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool combo = w.kind == Kind::ComboBox;
  int n = int(w.items.size());
  int idx = int(intptr_t(wParam));
  auto valid = [&](int i) { return i >= 0 && i < n; };
  switch (msg) {
    case LB_ADDSTRING:
    case CB_ADDSTRING:
      w.items.push_back({TextArg(lParam), 0, false});
      return n;
    case LB_INSERTSTRING:
    case CB_INSERTSTRING: {
      int at = (idx < 0 || idx > n) ? n : idx;
      w.items.insert(w.items.begin() + at, {TextArg(lParam), 0, false});
      if (w.curSel >= at) ++w.curSel;
      return at;
    }
    case LB_DELETESTRING:
    case CB_DELETESTRING:
      if (!valid(idx)) return LB_ERR;
      w.items.erase(w.items.begin() + idx);
      if (w.curSel == idx) w.curSel = -1;
      else if (w.curSel > idx) --w.curSel;
      return n - 1;
    case LB_RESETCONTENT:
    case CB_RESETCONTENT:
      w.items.clear();
      w.curSel = -1;
      return 0;
    case LB_GETCOUNT:
    case CB_GETCOUNT:
      return n;
    case LB_SETCURSEL:
    case CB_SETCURSEL:
      for (auto& e : w.items) e.selected = false;
      if (!valid(idx)) {
        w.curSel = -1;
        return idx == -1 ? 0 : LB_ERR;
      }
      w.curSel = idx;
      w.items[size_t(idx)].selected = true;
      if (combo) w.text = w.items[size_t(idx)].text;
      return idx;
    case LB_GETCURSEL:
    case CB_GETCURSEL:
      return w.curSel;
    case LB_SETSEL: {
      int i = int(intptr_t(lParam));
      if (i == -1) {
        for (auto& e : w.items) e.selected = wParam != 0;
        return 0;
      }
      if (!valid(i)) return LB_ERR;
      w.items[size_t(i)].selected = wParam != 0;
      if (wParam) w.curSel = i;
      return 0;
    }
    case LB_GETSEL:
      if (!valid(idx)) return LB_ERR;
      return w.multiSelect ? (w.items[size_t(idx)].selected ? 1 : 0) : (w.curSel == idx ? 1 : 0);
    case LB_GETSELCOUNT: {
      if (!w.multiSelect) return LB_ERR;
      return std::count_if(w.items.begin(), w.items.end(), [](const ListEntry& e) { return e.selected; });
    }
    case LB_GETSELITEMS: {
      if (!w.multiSelect) return LB_ERR;
      int* out = reinterpret_cast<int*>(lParam);
      int k = 0;
      for (int i = 0; i < n && k < idx; ++i)
        if (w.items[size_t(i)].selected) {
          if (out) out[k] = i;
          ++k;
        }
      return k;
    }
    case LB_GETTEXT:
    case CB_GETLBTEXT:
      if (!valid(idx)) return LB_ERR;
      // The message carries no buffer size; plug-ins pass fixed buffers of
      // 256 characters or more, so longer texts are cut to 255.
      return CopyOut(w.items[size_t(idx)].text, reinterpret_cast<char*>(lParam), 256);
    case LB_GETTEXTLEN:
    case CB_GETLBTEXTLEN:
      if (!valid(idx)) return LB_ERR;
      return LRESULT(w.items[size_t(idx)].text.size());
    case LB_GETITEMDATA:
      if (!valid(idx)) return LB_ERR;
      return w.items[size_t(idx)].data;
    case LB_SETITEMDATA:
      if (!valid(idx)) return LB_ERR;
      w.items[size_t(idx)].data = lParam;
      return 0;
    case LB_FINDSTRINGEXACT:
    case CB_FINDSTRINGEXACT:
      return FindInList(w.items, wParam, TextArg(lParam), true);
    case LB_FINDSTRING:
    case CB_FINDSTRING:
      return FindInList(w.items, wParam, TextArg(lParam), false);
    case LB_SELECTSTRING:
    case CB_SELECTSTRING: {
      int i = FindInList(w.items, wParam, TextArg(lParam), false);
      if (i != LB_ERR) ListMessage(w, combo ? UINT(CB_SETCURSEL) : UINT(LB_SETCURSEL), WPARAM(i), 0);
      return i;
    }
    default:
      return 0;
  }
}

LRESULT ProgressMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto clampPos = [&](int p) { return std::max(w.rangeMin, std::min(w.rangeMax, p)); };
  switch (msg) {
    case PBM_SETRANGE: {
      LRESULT prev = MAKELPARAM(unsigned(w.rangeMin), unsigned(w.rangeMax));
      w.rangeMin = LOWORD(uintptr_t(lParam));
      w.rangeMax = HIWORD(uintptr_t(lParam));
      w.pos = clampPos(w.pos);
      return prev;
    }
    case PBM_SETRANGE32: {
      LRESULT prev = MAKELPARAM(unsigned(w.rangeMin), unsigned(w.rangeMax));
      w.rangeMin = int(intptr_t(wParam));
      w.rangeMax = int(lParam);
      w.pos = clampPos(w.pos);
      return prev;
    }
    case PBM_SETPOS: {
      int prev = w.pos;
      w.pos = clampPos(int(intptr_t(wParam)));
      return prev;
    }
    case PBM_DELTAPOS: {
      int prev = w.pos;
      w.pos = clampPos(w.pos + int(intptr_t(wParam)));
      return prev;
    }
    case PBM_SETSTEP: {
      int prev = w.step;
      w.step = int(intptr_t(wParam));
      return prev;
    }
    case PBM_STEPIT: {
      int prev = w.pos;
      int next = w.pos + w.step;
      // The bar starts over when a step passes its end.
      w.pos = next > w.rangeMax ? w.rangeMin + (next - w.rangeMax) : clampPos(next);
      return prev;
    }
    case PBM_GETPOS:
      return w.pos;
    case PBM_GETRANGE:
      return wParam ? w.rangeMin : w.rangeMax;
    default:
      return 0;
  }
}

LRESULT SliderMessage(Window& w, UINT msg, LPARAM lParam) {
  auto clampPos = [&](int p) { return std::max(w.rangeMin, std::min(w.rangeMax, p)); };
  switch (msg) {
    case TBM_GETPOS: return w.pos;
    case TBM_GETRANGEMIN: return w.rangeMin;
    case TBM_GETRANGEMAX: return w.rangeMax;
    case TBM_SETPOS: w.pos = clampPos(int(lParam)); return 0;
    case TBM_SETRANGE:
      w.rangeMin = int16_t(LOWORD(uintptr_t(lParam)));
      w.rangeMax = int16_t(HIWORD(uintptr_t(lParam)));
      w.pos = clampPos(w.pos);
      return 0;
    case TBM_SETRANGEMIN: w.rangeMin = int(lParam); w.pos = clampPos(w.pos); return 0;
    case TBM_SETRANGEMAX: w.rangeMax = int(lParam); w.pos = clampPos(w.pos); return 0;
    default: return 0;
  }
}

LRESULT AnimationMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case ACM_OPENA:
      w.animPlaying = false;
      if (lParam == 0) {
        w.animOpen = false;
        w.animSource.clear();
        return TRUE;
      }
      w.animOpen = true;
      if (IS_INTRESOURCE(reinterpret_cast<const char*>(lParam)))
        w.animSource = "#" + std::to_string(int(lParam));
      else
        w.animSource = TextArg(lParam);
      return TRUE;
    case ACM_PLAY:
      if (!w.animOpen) return FALSE;
      w.animPlaying = true;
      w.animRepeat = int(intptr_t(wParam));
      return TRUE;
    case ACM_STOP:
      w.animPlaying = false;
      return TRUE;
    default:
      return 0;
  }
}

void EnsureCells(Window& w, ListViewRow& r, size_t n) {
  size_t want = std::max<size_t>({n, w.columns.size(), size_t(1)});
  if (r.cells.size() < want) r.cells.resize(want);
}

LRESULT ListViewMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  int n = int(w.rows.size());
  auto valid = [&](int i) { return i >= 0 && i < n; };
  switch (msg) {
    case LVM_GETITEMCOUNT:
      return n;
    case LVM_INSERTCOLUMNA: {
      const LVCOLUMN* c = reinterpret_cast<const LVCOLUMN*>(lParam);
      if (!c) return -1;
      int at = int(intptr_t(wParam));
      if (at < 0 || at > int(w.columns.size())) at = int(w.columns.size());
      ListViewColumn col;
      if ((c->mask & LVCF_TEXT) && c->pszText) col.text = c->pszText;
      if (c->mask & LVCF_WIDTH) col.width = c->cx;
      if (c->mask & LVCF_FMT) col.fmt = c->fmt;
      w.columns.insert(w.columns.begin() + at, col);
      for (auto& r : w.rows) EnsureCells(w, r, w.columns.size());
      return at;
    }
    case LVM_GETCOLUMNA: {
      int i = int(intptr_t(wParam));
      LVCOLUMN* c = reinterpret_cast<LVCOLUMN*>(lParam);
      if (i < 0 || i >= int(w.columns.size()) || !c) return FALSE;
      if (c->mask & LVCF_WIDTH) c->cx = w.columns[size_t(i)].width;
      if (c->mask & LVCF_FMT) c->fmt = w.columns[size_t(i)].fmt;
      if ((c->mask & LVCF_TEXT) && c->pszText) CopyOut(w.columns[size_t(i)].text, c->pszText, c->cchTextMax);
      return TRUE;
    }
    case LVM_SETCOLUMNA: {
      int i = int(intptr_t(wParam));
      const LVCOLUMN* c = reinterpret_cast<const LVCOLUMN*>(lParam);
      if (i < 0 || i >= int(w.columns.size()) || !c) return FALSE;
      if ((c->mask & LVCF_TEXT) && c->pszText) w.columns[size_t(i)].text = c->pszText;
      if (c->mask & LVCF_WIDTH) w.columns[size_t(i)].width = c->cx;
      return TRUE;
    }
    case LVM_DELETECOLUMN: {
      int i = int(intptr_t(wParam));
      if (i < 0 || i >= int(w.columns.size())) return FALSE;
      w.columns.erase(w.columns.begin() + i);
      for (auto& r : w.rows)
        if (size_t(i) < r.cells.size() && r.cells.size() > 1) r.cells.erase(r.cells.begin() + i);
      return TRUE;
    }
    case LVM_GETCOLUMNWIDTH: {
      int i = int(intptr_t(wParam));
      if (i < 0 || i >= int(w.columns.size())) return 0;
      return w.columns[size_t(i)].width;
    }
    case LVM_INSERTITEMA: {
      const LVITEM* it = reinterpret_cast<const LVITEM*>(lParam);
      if (!it) return -1;
      int at = (it->iItem < 0 || it->iItem > n) ? n : it->iItem;
      ListViewRow r;
      EnsureCells(w, r, 1);
      if ((it->mask & LVIF_TEXT) && it->pszText) r.cells[0] = it->pszText;
      if (it->mask & LVIF_PARAM) r.param = it->lParam;
      if (it->mask & LVIF_STATE) r.state = it->state & it->stateMask;
      w.rows.insert(w.rows.begin() + at, r);
      return at;
    }
    case LVM_SETITEMA: {
      const LVITEM* it = reinterpret_cast<const LVITEM*>(lParam);
      if (!it || !valid(it->iItem) || it->iSubItem < 0) return FALSE;
      ListViewRow& r = w.rows[size_t(it->iItem)];
      EnsureCells(w, r, size_t(it->iSubItem) + 1);
      if ((it->mask & LVIF_TEXT) && it->pszText) r.cells[size_t(it->iSubItem)] = it->pszText;
      if (it->mask & LVIF_PARAM) r.param = it->lParam;
      if (it->mask & LVIF_STATE) r.state = (r.state & ~it->stateMask) | (it->state & it->stateMask);
      return TRUE;
    }
    case LVM_GETITEMA: {
      LVITEM* it = reinterpret_cast<LVITEM*>(lParam);
      if (!it || !valid(it->iItem)) return FALSE;
      ListViewRow& r = w.rows[size_t(it->iItem)];
      if ((it->mask & LVIF_TEXT) && it->pszText) {
        size_t s = size_t(std::max(0, it->iSubItem));
        CopyOut(s < r.cells.size() ? r.cells[s] : std::string(), it->pszText, it->cchTextMax);
      }
      if (it->mask & LVIF_PARAM) it->lParam = r.param;
      if (it->mask & LVIF_STATE) it->state = r.state & it->stateMask;
      return TRUE;
    }
    case LVM_SETITEMTEXTA: {
      const LVITEM* it = reinterpret_cast<const LVITEM*>(lParam);
      int i = int(intptr_t(wParam));
      if (!it || !valid(i) || it->iSubItem < 0) return FALSE;
      ListViewRow& r = w.rows[size_t(i)];
      EnsureCells(w, r, size_t(it->iSubItem) + 1);
      r.cells[size_t(it->iSubItem)] = it->pszText ? it->pszText : "";
      return TRUE;
    }
    case LVM_GETITEMTEXTA: {
      LVITEM* it = reinterpret_cast<LVITEM*>(lParam);
      int i = int(intptr_t(wParam));
      if (!it || !valid(i)) return 0;
      const ListViewRow& r = w.rows[size_t(i)];
      size_t s = size_t(std::max(0, it->iSubItem));
      return CopyOut(s < r.cells.size() ? r.cells[s] : std::string(), it->pszText, it->cchTextMax);
    }
    case LVM_DELETEITEM: {
      int i = int(intptr_t(wParam));
      if (!valid(i)) return FALSE;
      w.rows.erase(w.rows.begin() + i);
      return TRUE;
    }
    case LVM_DELETEALLITEMS:
      w.rows.clear();
      return TRUE;
    case LVM_GETNEXTITEM: {
      int start = int(intptr_t(wParam));
      UINT flags = UINT(lParam);
      for (int i = std::max(start + 1, 0); i < n; ++i) {
        UINT st = w.rows[size_t(i)].state;
        bool ok = true;
        if ((flags & LVNI_SELECTED) && !(st & LVIS_SELECTED)) ok = false;
        if ((flags & LVNI_FOCUSED) && !(st & LVIS_FOCUSED)) ok = false;
        if (ok) return i;
      }
      return -1;
    }
    case LVM_SETITEMSTATE: {
      const LVITEM* it = reinterpret_cast<const LVITEM*>(lParam);
      if (!it) return FALSE;
      int i = int(intptr_t(wParam));
      if (i != -1 && !valid(i)) return FALSE;
      // Only one row holds the focus.
      if ((it->stateMask & LVIS_FOCUSED) && (it->state & LVIS_FOCUSED))
        for (auto& r : w.rows) r.state &= ~UINT(LVIS_FOCUSED);
      for (int k = (i == -1 ? 0 : i); k < (i == -1 ? n : i + 1); ++k) {
        UINT& st = w.rows[size_t(k)].state;
        st = (st & ~it->stateMask) | (it->state & it->stateMask);
      }
      return TRUE;
    }
    case LVM_GETITEMSTATE: {
      int i = int(intptr_t(wParam));
      if (!valid(i)) return 0;
      return w.rows[size_t(i)].state & UINT(lParam);
    }
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(w.rows.begin(), w.rows.end(),
                           [](const ListViewRow& r) { return (r.state & LVIS_SELECTED) != 0; });
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD prev = w.exStyle;
      DWORD mask = wParam ? DWORD(wParam) : ~DWORD(0);
      w.exStyle = (w.exStyle & ~mask) | (DWORD(lParam) & mask);
      return prev;
    }
    default:
      return 0;
  }
}

LRESULT ControlMessage(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (w.kind) {
    case Kind::Button:
    case Kind::CheckBox:
    case Kind::RadioButton:
    case Kind::CustButton:
      if (msg == BM_GETCHECK) return w.check;
      if (msg == BM_SETCHECK) {
        w.check = int(wParam);
        return 0;
      }
      return 0;
    case Kind::ListBox:
    case Kind::ComboBox:
      return ListMessage(w, msg, wParam, lParam);
    case Kind::ProgressBar:
      return ProgressMessage(w, msg, wParam, lParam);
    case Kind::Slider:
      return SliderMessage(w, msg, lParam);
    case Kind::Animation:
      return AnimationMessage(w, msg, wParam, lParam);
    case Kind::ListView:
      return ListViewMessage(w, msg, wParam, lParam);
    default:
      return 0;
  }
}

Kind KindFromClass(const std::string& cls) {
  static const std::pair<const char*, Kind> names[] = {
      {"CustToolbar", Kind::CustToolbar}, {"SysAnimate32", Kind::Animation},
      {"msctls_progress32", Kind::ProgressBar}, {"SysListView32", Kind::ListView},
      {"ListBox", Kind::ListBox}, {"ComboBox", Kind::ComboBox}, {"Edit", Kind::Edit},
      {"Static", Kind::Static}, {"Button", Kind::Button}, {"msctls_trackbar32", Kind::Slider},
      {"CustButton", Kind::CustButton}, {"CustEdit", Kind::CustEdit},
      {"SpinnerControl", Kind::Spinner}, {"ColorSwatch", Kind::ColorSwatch},
      {"CustStatus", Kind::CustStatus}, {"CustImage", Kind::CustImage}};
  for (const auto& p : names)
    if (strcasecmp(p.first, cls.c_str()) == 0) return p.second;
  return Kind::Window;
}

void DropTimersAndMessages(HWND h) {
  State& s = S();
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                [&](const Timer& t) { return t.hwnd == h; }),
                 s.timers.end());
  s.posted.erase(std::remove_if(s.posted.begin(), s.posted.end(),
                                [&](const Posted& p) { return p.hwnd == h; }),
                 s.posted.end());
}

HWND MakeDialog(HINSTANCE inst, const char* name, HWND owner, DLGPROC proc, bool modal) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const DialogTemplate* t = FindDialogTemplate(inst, int(reinterpret_cast<uintptr_t>(name)));
  if (!t) return nullptr;
  Window* d = NewWindow(Kind::Dialog, nullptr);
  d->className = "#32770";
  d->id = 0;
  d->inst = inst;
  d->owner = owner;
  d->templateId = t->id;
  d->text = t->title;
  d->rect = {0, 0, t->width, t->height};
  d->dlgProc = proc;
  d->modal = modal;
  HWND dh = HandleOf(d);
  Kind prev = Kind::Window;
  for (const ControlTemplate& c : t->controls) {
    Window* w = NewWindow(c.kind, dh);
    w->id = c.id;
    w->inst = inst;
    w->text = c.text;
    w->rect = c.rect;
    w->multiSelect = c.multiSelect;
    w->groupStart = c.group || prev != Kind::RadioButton;
    if (c.kind == Kind::Spinner) w->spinType = 2;  // float until told otherwise
    prev = c.kind;
  }
  return dh;
}

}  // namespace

const char* KindName(Kind k) {
  static const char* names[] = {"window", "dialog", "static", "edit", "button", "checkbox",
                                "radio", "group", "listbox", "combobox", "listview",
                                "progress", "slider", "animation", "custbutton", "custedit",
                                "spinner", "colorswatch", "custtoolbar", "custstatus",
                                "custimage"};
  size_t i = size_t(k);
  return i < sizeof(names) / sizeof(names[0]) ? names[i] : "?";
}

Window* Find(HWND hwnd) {
  if (!hwnd) return nullptr;
  State& s = S();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == s.windows.end() ? nullptr : it->second.get();
}

HWND HandleOf(const Window* w) { return w ? ToHandle(w->handle) : nullptr; }

LRESULT NotifyParent(HWND ctrl, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(ctrl);
  if (!w || !w->parent) return 0;
  return SendMessage(w->parent, msg, wParam, lParam);
}

LRESULT SendCommand(HWND ctrl, UINT code) {
  Window* w = Find(ctrl);
  if (!w) return 0;
  return NotifyParent(ctrl, WM_COMMAND, MAKEWPARAM(unsigned(w->id), code), LPARAM(ctrl));
}

void ClearRadioGroup(HWND radio) {
  Window* r = Find(radio);
  if (!r) return;
  Window* p = Find(r->parent);
  if (!p) return;
  auto& ch = p->children;
  auto pos = std::find(ch.begin(), ch.end(), radio);
  if (pos == ch.end()) return;
  size_t i = size_t(pos - ch.begin());
  size_t first = i;
  while (first > 0) {
    Window* w = Find(ch[first]);
    if (!w || w->groupStart) break;
    Window* before = Find(ch[first - 1]);
    if (!before || before->kind != Kind::RadioButton) break;
    --first;
  }
  for (size_t k = first; k < ch.size(); ++k) {
    Window* w = Find(ch[k]);
    if (!w || w->kind != Kind::RadioButton || (k > first && w->groupStart)) break;
    if (k != i) w->check = 0;
  }
}

void RegisterDialogTemplate(HINSTANCE inst, const DialogTemplate& t) {
  S().templates[{inst, t.id}] = t;
}

const DialogTemplate* FindDialogTemplate(HINSTANCE inst, int id) {
  State& s = S();
  auto it = s.templates.find({inst, id});
  if (it == s.templates.end()) it = s.templates.find({nullptr, id});
  return it == s.templates.end() ? nullptr : &it->second;
}

void ClearDialogTemplates() { S().templates.clear(); }

HWND CreateHeadlessWindow(Kind kind, const std::string& className, const std::string& title,
                          HWND parent, int id, RECT rect) {
  Window* w = NewWindow(kind, parent);
  w->className = className;
  w->text = title;
  w->id = id;
  w->rect = rect;
  return HandleOf(w);
}

void SetWindowHandler(HWND hwnd, WindowHandler handler) {
  if (Window* w = Find(hwnd)) w->handler = std::move(handler);
}

std::vector<HWND> TopLevelWindows() { return S().topLevel; }

std::vector<HWND> ChildWindows(HWND hwnd) {
  Window* w = Find(hwnd);
  return w ? w->children : std::vector<HWND>();
}

Kind GetKind(HWND hwnd) {
  Window* w = Find(hwnd);
  return w ? w->kind : Kind::Window;
}

int GetDialogTemplateId(HWND hwnd) {
  Window* w = Find(hwnd);
  return w ? w->templateId : -1;
}

bool IsModal(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && w->modal;
}

int PumpMessages() {
  State& s = S();
  int delivered = 0;
  // A handler that posts to itself on every message would never let the
  // pump return; the bound keeps one pump call finite.
  while (!s.posted.empty() && delivered < 100000) {
    Posted p = s.posted.front();
    s.posted.pop_front();
    ++delivered;
    if (p.msg == WM_TIMER && p.proc && !p.hwnd) {
      p.proc(nullptr, WM_TIMER, UINT_PTR(p.wParam), DWORD(s.clockMs));
      continue;
    }
    if (!Find(p.hwnd)) continue;
    if (p.msg == WM_TIMER && p.proc)
      p.proc(p.hwnd, WM_TIMER, UINT_PTR(p.wParam), DWORD(s.clockMs));
    else
      SendMessage(p.hwnd, p.msg, p.wParam, p.lParam);
  }
  return delivered;
}

void AdvanceTimers(unsigned ms) {
  State& s = S();
  s.clockMs += ms;
  for (Timer& t : s.timers) {
    int fired = 0;
    while (t.next <= s.clockMs && fired < 1000) {
      s.posted.push_back({t.hwnd, WM_TIMER, WPARAM(t.id), 0, t.proc});
      t.next += std::max(1u, t.period);
      ++fired;
    }
    if (t.next <= s.clockMs) t.next = s.clockMs + std::max(1u, t.period);
  }
}

size_t PendingMessageCount() { return S().posted.size(); }

void QueueModalAnswer(int dialogId, ModalAnswer answer) {
  S().modalAnswers.emplace_back(dialogId, std::move(answer));
}

void ClearModalAnswers() { S().modalAnswers.clear(); }

void SetDialogCloseObserver(DialogCloseObserver observer) { S().closeObserver = std::move(observer); }

void ResetWindows() {
  State& s = S();
  s.windows.clear();
  s.topLevel.clear();
  s.templates.clear();
  s.posted.clear();
  s.timers.clear();
  s.focus = nullptr;
  s.modalAnswers.clear();
}

}  // namespace vorel_ui

using namespace vorel_ui;

bool IS_INTRESOURCE(const char* p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }

HWND CreateDialogParam(HINSTANCE inst, const char* name, HWND owner, DLGPROC proc, LPARAM param) {
  HWND d = MakeDialog(inst, name, owner, proc, false);
  if (!d) return nullptr;
  std::vector<HWND> ch = ChildWindows(d);
  SendMessage(d, WM_INITDIALOG, WPARAM(ch.empty() ? nullptr : ch.front()), param);
  return IsWindow(d) ? d : nullptr;
}

HWND CreateDialog(HINSTANCE inst, const char* name, HWND owner, DLGPROC proc) {
  return CreateDialogParam(inst, name, owner, proc, 0);
}

INT_PTR DialogBoxParam(HINSTANCE inst, const char* name, HWND owner, DLGPROC proc, LPARAM param) {
  HWND d = MakeDialog(inst, name, owner, proc, true);
  if (!d) return -1;
  int id = GetDialogTemplateId(d);
  std::vector<HWND> ch = ChildWindows(d);
  SendMessage(d, WM_INITDIALOG, WPARAM(ch.empty() ? nullptr : ch.front()), param);
  State& s = S();
  Window* w = Find(d);
  if (w && !w->ended) {
    for (auto it = s.modalAnswers.begin(); it != s.modalAnswers.end(); ++it) {
      if (it->first == id || it->first == -1) {
        ModalAnswer a = std::move(it->second);
        s.modalAnswers.erase(it);
        a(d);
        break;
      }
    }
  }
  w = Find(d);
  if (w && !w->ended) SendMessage(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  w = Find(d);
  INT_PTR result = IDCANCEL;
  if (w) {
    if (w->ended) result = w->modalResult;
    DestroyWindow(d);
  }
  return result;
}

BOOL EndDialog(HWND dlg, INT_PTR result) {
  Window* w = Find(dlg);
  if (!w) return FALSE;
  w->ended = true;
  w->modalResult = result;
  if (!w->modal) w->visible = false;
  return TRUE;
}

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                    int x, int y, int w, int h, HWND parent, HMENU menuOrId, HINSTANCE inst,
                    void* param) {
  (void)exStyle;
  (void)param;
  std::string cls = className ? className : "";
  HWND hw = CreateHeadlessWindow(KindFromClass(cls), cls, title ? title : "", parent,
                                 int(reinterpret_cast<intptr_t>(menuOrId)), RECT{x, y, x + w, y + h});
  Window* win = Find(hw);
  win->inst = inst;
  win->visible = (style & WS_VISIBLE) != 0 || parent == nullptr;
  win->enabled = (style & WS_DISABLED) == 0;
  SendMessage(hw, WM_CREATE, 0, 0);
  return hw;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w || w->destroying) return FALSE;
  w->destroying = true;
  if (w->templateId >= 0 && S().closeObserver) {
    const DialogCloseObserver observer = S().closeObserver;
    observer(hwnd);
  }
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  w = Find(hwnd);
  if (!w) return TRUE;
  std::vector<HWND> kids = w->children;
  for (HWND k : kids) DestroyWindow(k);
  State& s = S();
  if (Window* p = Find(w->parent)) {
    auto& ch = p->children;
    ch.erase(std::remove(ch.begin(), ch.end(), hwnd), ch.end());
  }
  s.topLevel.erase(std::remove(s.topLevel.begin(), s.topLevel.end(), hwnd), s.topLevel.end());
  if (s.focus == hwnd) s.focus = nullptr;
  DropTimersAndMessages(hwnd);
  s.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  if (msg == WM_SETTEXT) {
    w->text = TextArg(lParam);
    if (w->kind != Kind::Dialog && !w->handler) return TRUE;
  } else if (msg == WM_GETTEXT) {
    return CopyOut(w->text, reinterpret_cast<char*>(lParam), int(wParam));
  } else if (msg == WM_GETTEXTLENGTH) {
    return LRESULT(w->text.size());
  }
  if (w->handler) {
    WindowHandler h = w->handler;  // the handler may destroy its window
    return h(hwnd, msg, wParam, lParam);
  }
  if (w->kind == Kind::Dialog) {
    if (!w->dlgProc) return 0;
    return w->dlgProc(hwnd, msg, wParam, lParam);
  }
  return ControlMessage(*w, msg, wParam, lParam);
}

LRESULT SendDlgItemMessage(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessage(GetDlgItem(dlg, id), msg, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!Find(hwnd)) return FALSE;
  S().posted.push_back({hwnd, msg, wParam, lParam, nullptr});
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc) {
  if (hwnd && !Find(hwnd)) return 0;
  State& s = S();
  for (Timer& t : s.timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.period = ms;
      t.next = s.clockMs + std::max(1u, ms);
      t.proc = proc;
      return id ? id : 1;
    }
  s.timers.push_back({hwnd, id, ms, s.clockMs + std::max(1u, ms), proc});
  return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  State& s = S();
  size_t before = s.timers.size();
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
                 s.timers.end());
  return s.timers.size() != before;
}

HWND GetDlgItem(HWND dlg, int id) {
  Window* d = Find(dlg);
  if (!d) return nullptr;
  for (HWND c : d->children) {
    Window* w = Find(c);
    if (w && w->id == id) return c;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Window* w = Find(hwnd);
  return w ? w->id : 0;
}

HWND GetParent(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  return w->parent ? w->parent : w->owner;
}

HWND SetParent(HWND child, HWND parent) {
  Window* w = Find(child);
  if (!w) return nullptr;
  HWND old = w->parent;
  State& s = S();
  if (Window* p = Find(old)) {
    auto& ch = p->children;
    ch.erase(std::remove(ch.begin(), ch.end(), child), ch.end());
  } else {
    s.topLevel.erase(std::remove(s.topLevel.begin(), s.topLevel.end(), child), s.topLevel.end());
  }
  if (Window* p = Find(parent)) {
    p->children.push_back(child);
    w->parent = parent;
  } else {
    w->parent = nullptr;
    s.topLevel.push_back(child);
  }
  return old;
}

BOOL SetWindowText(HWND hwnd, const char* text) {
  if (!Find(hwnd)) return FALSE;
  SendMessage(hwnd, WM_SETTEXT, 0, LPARAM(text ? text : ""));
  return TRUE;
}

int GetWindowText(HWND hwnd, char* buf, int max) {
  Window* w = Find(hwnd);
  if (!w) {
    if (buf && max > 0) buf[0] = '\0';
    return 0;
  }
  return CopyOut(w->text, buf, max);
}

int GetWindowTextLength(HWND hwnd) {
  Window* w = Find(hwnd);
  return w ? int(w->text.size()) : 0;
}

BOOL SetDlgItemText(HWND dlg, int id, const char* text) {
  return SetWindowText(GetDlgItem(dlg, id), text);
}

UINT GetDlgItemText(HWND dlg, int id, char* buf, int max) {
  return UINT(GetWindowText(GetDlgItem(dlg, id), buf, max));
}

BOOL SetDlgItemInt(HWND dlg, int id, UINT value, BOOL isSigned) {
  std::string t = isSigned ? std::to_string(int(value)) : std::to_string(value);
  return SetDlgItemText(dlg, id, t.c_str());
}

UINT GetDlgItemInt(HWND dlg, int id, BOOL* ok, BOOL isSigned) {
  Window* w = Find(GetDlgItem(dlg, id));
  if (ok) *ok = FALSE;
  if (!w) return 0;
  const char* s = w->text.c_str();
  char* end = nullptr;
  long long v = std::strtoll(s, &end, 10);
  if (end == s) return 0;
  while (*end == ' ') ++end;
  if (*end != '\0' || (!isSigned && v < 0)) return 0;
  if (ok) *ok = TRUE;
  return UINT(v);
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  BOOL wasDisabled = !w->enabled;
  w->enabled = enable != 0;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* w = Find(hwnd);
  return w && w->enabled;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  BOOL was = w->visible;
  w->visible = cmd != SW_HIDE;
  return was;
}

BOOL IsWindowVisible(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  for (Window* p = w; p; p = Find(p->parent))
    if (!p->visible) return FALSE;
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* r) {
  Window* w = Find(hwnd);
  if (!w || !r) return FALSE;
  *r = w->rect;
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* r) {
  Window* w = Find(hwnd);
  if (!w || !r) return FALSE;
  *r = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  (void)after;
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
  if (!(flags & SWP_NOSIZE)) {
    width = cx;
    height = cy;
  }
  if (!(flags & SWP_NOMOVE)) {
    w->rect.left = x;
    w->rect.top = y;
  }
  w->rect.right = w->rect.left + width;
  w->rect.bottom = w->rect.top + height;
  if (flags & SWP_SHOWWINDOW) w->visible = true;
  if (flags & SWP_HIDEWINDOW) w->visible = false;
  if (!(flags & SWP_NOSIZE)) SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(unsigned(width), unsigned(height)));
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL repaint) {
  (void)repaint;
  return SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER);
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) { return IsWindow(hwnd); }
BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

HWND SetFocus(HWND hwnd) {
  State& s = S();
  HWND prev = s.focus;
  if (Window* p = Find(prev)) p->focused = false;
  s.focus = Find(hwnd) ? hwnd : nullptr;
  if (Window* w = Find(s.focus)) w->focused = true;
  return prev;
}

HWND GetFocus() { return S().focus; }

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  LONG_PTR* slot = index == GWLP_USERDATA ? &w->userData
                   : index == DWLP_USER   ? &w->dlgUser
                   : index == DWLP_MSGRESULT ? &w->msgResult
                                          : nullptr;
  if (!slot) return 0;
  LONG_PTR prev = *slot;
  *slot = value;
  return prev;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
  Window* w = Find(hwnd);
  if (!w) return 0;
  if (index == GWLP_USERDATA) return w->userData;
  if (index == DWLP_USER) return w->dlgUser;
  if (index == DWLP_MSGRESULT) return w->msgResult;
  return 0;
}

BOOL CheckDlgButton(HWND dlg, int id, UINT check) {
  Window* w = Find(GetDlgItem(dlg, id));
  if (!w) return FALSE;
  w->check = int(check);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dlg, int id) {
  Window* w = Find(GetDlgItem(dlg, id));
  return w ? UINT(w->check) : 0;
}

BOOL CheckRadioButton(HWND dlg, int first, int last, int check) {
  Window* d = Find(dlg);
  if (!d) return FALSE;
  for (HWND c : d->children) {
    Window* w = Find(c);
    if (w && w->id >= first && w->id <= last) w->check = w->id == check ? 1 : 0;
  }
  return TRUE;
}

void InitCommonControls() {}

int ListView_InsertColumn(HWND lv, int index, const LVCOLUMN* col) {
  return int(SendMessage(lv, LVM_INSERTCOLUMNA, WPARAM(index), LPARAM(col)));
}
int ListView_InsertItem(HWND lv, const LVITEM* item) {
  return int(SendMessage(lv, LVM_INSERTITEMA, 0, LPARAM(item)));
}
BOOL ListView_SetItem(HWND lv, const LVITEM* item) {
  return BOOL(SendMessage(lv, LVM_SETITEMA, 0, LPARAM(item)));
}
void ListView_SetItemText(HWND lv, int item, int sub, const char* text) {
  LVITEM it;
  it.iSubItem = sub;
  it.pszText = const_cast<char*>(text);
  SendMessage(lv, LVM_SETITEMTEXTA, WPARAM(item), LPARAM(&it));
}
void ListView_GetItemText(HWND lv, int item, int sub, char* buf, int max) {
  LVITEM it;
  it.iSubItem = sub;
  it.pszText = buf;
  it.cchTextMax = max;
  if (buf && max > 0) buf[0] = '\0';
  SendMessage(lv, LVM_GETITEMTEXTA, WPARAM(item), LPARAM(&it));
}
int ListView_GetItemCount(HWND lv) { return int(SendMessage(lv, LVM_GETITEMCOUNT, 0, 0)); }
BOOL ListView_DeleteItem(HWND lv, int item) { return BOOL(SendMessage(lv, LVM_DELETEITEM, WPARAM(item), 0)); }
BOOL ListView_DeleteAllItems(HWND lv) { return BOOL(SendMessage(lv, LVM_DELETEALLITEMS, 0, 0)); }
int ListView_GetNextItem(HWND lv, int start, UINT flags) {
  return int(SendMessage(lv, LVM_GETNEXTITEM, WPARAM(intptr_t(start)), LPARAM(flags)));
}
UINT ListView_GetSelectedCount(HWND lv) { return UINT(SendMessage(lv, LVM_GETSELECTEDCOUNT, 0, 0)); }
void ListView_SetItemState(HWND lv, int item, UINT state, UINT mask) {
  LVITEM it;
  it.state = state;
  it.stateMask = mask;
  SendMessage(lv, LVM_SETITEMSTATE, WPARAM(intptr_t(item)), LPARAM(&it));
}
UINT ListView_GetItemState(HWND lv, int item, UINT mask) {
  return UINT(SendMessage(lv, LVM_GETITEMSTATE, WPARAM(item), LPARAM(mask)));
}
int ListView_GetColumnCount(HWND lv) {
  Window* w = Find(lv);
  return w ? int(w->columns.size()) : 0;
}
