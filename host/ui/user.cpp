#include "host/ui/user.h"

#include <cstdlib>

#include "host/ui/custctrl.h"
#include "host/ui/window_impl.h"

namespace vorel_ui {
namespace {

Window* Usable(HWND h) {
  Window* w = Find(h);
  if (!w || !w->enabled) return nullptr;
  return w;
}

void SetSpinnerValue(Window& s, HWND h, double v, bool announce) {
  ISpinnerControl* sp = GetISpinner(h);
  if (!sp) return;
  if (announce) NotifyParent(h, CC_SPINNER_BUTTONDOWN, MAKEWPARAM(unsigned(s.id), 0), LPARAM(h));
  sp->SetValue(float(v), TRUE);
  if (announce) NotifyParent(h, CC_SPINNER_BUTTONUP, MAKEWPARAM(unsigned(s.id), TRUE), LPARAM(h));
  ReleaseISpinner(sp);
}

}  // namespace

bool Click(HWND ctrl) {
  Window* w = Usable(ctrl);
  if (!w) return false;
  switch (w->kind) {
    case Kind::Button:
      break;
    case Kind::CheckBox:
      w->check = w->check ? 0 : 1;
      break;
    case Kind::RadioButton:
      w->check = 1;
      ClearRadioGroup(ctrl);
      break;
    case Kind::CustButton:
      if (w->buttonType == CBT_CHECK) w->check = w->check ? 0 : 1;
      break;
    default:
      return false;
  }
  SendCommand(ctrl, BN_CLICKED);
  return true;
}

bool ChooseFlyOff(HWND ctrl, int state) {
  Window* w = Usable(ctrl);
  if (!w || w->kind != Kind::CustButton || state < 0 || state >= int(w->flyOff.size()))
    return false;
  w->curFlyOff = state;
  return Click(ctrl);
}

bool FocusEdit(HWND edit) {
  Window* w = Usable(edit);
  if (!w || (w->kind != Kind::Edit && w->kind != Kind::CustEdit)) return false;
  SetFocus(edit);
  SendCommand(edit, EN_SETFOCUS);
  return true;
}

bool TypeText(HWND edit, const std::string& text, bool pressReturn) {
  if (!FocusEdit(edit)) return false;
  Window* w = Find(edit);
  if (!w) return true;
  w->text = text;
  SendCommand(edit, EN_CHANGE);
  w = Find(edit);
  if (w && w->linkedSpinner) {
    HWND sh = w->linkedSpinner;
    Window* s = Find(sh);
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (s) {
      // Text that is no number puts the spinner's value back into the edit.
      if (end == text.c_str()) v = s->spinValue;
      SetSpinnerValue(*s, sh, v, false);
    }
  }
  w = Find(edit);
  if (w && pressReturn && w->kind == Kind::CustEdit) {
    w->gotReturn = true;
    if (w->wantReturn) NotifyParent(edit, WM_CUSTEDIT_ENTER, WPARAM(w->id), LPARAM(edit));
  }
  if (Find(edit)) {
    SendCommand(edit, EN_KILLFOCUS);
    if (GetFocus() == edit) SetFocus(nullptr);
  }
  return true;
}

bool SetSpinner(HWND spinner, double value) {
  Window* w = Usable(spinner);
  if (!w || w->kind != Kind::Spinner) return false;
  SetSpinnerValue(*w, spinner, value, true);
  return true;
}

bool SelectItem(HWND list, int index, bool doubleClick, bool additive) {
  Window* w = Usable(list);
  if (!w || index < 0 || index >= int(w->items.size())) return false;
  if (w->kind == Kind::ListBox) {
    if (w->multiSelect && additive) {
      w->items[size_t(index)].selected = !w->items[size_t(index)].selected;
      w->curSel = index;
    } else {
      for (auto& e : w->items) e.selected = false;
      w->items[size_t(index)].selected = true;
      w->curSel = index;
    }
    SendCommand(list, LBN_SELCHANGE);
    if (doubleClick && Find(list)) SendCommand(list, LBN_DBLCLK);
    return true;
  }
  if (w->kind == Kind::ComboBox) {
    SendMessage(list, CB_SETCURSEL, WPARAM(index), 0);
    SendCommand(list, CBN_SELCHANGE);
    if (Find(list)) SendCommand(list, CBN_SELENDOK);
    return true;
  }
  return false;
}

bool ClickRow(HWND listView, int index, bool doubleClick, bool additive) {
  Window* w = Usable(listView);
  if (!w || w->kind != Kind::ListView || index < -1 || index >= int(w->rows.size())) return false;
  if (!additive)
    for (auto& r : w->rows) r.state &= ~UINT(LVIS_SELECTED);
  if (index >= 0) {
    for (auto& r : w->rows) r.state &= ~UINT(LVIS_FOCUSED);
    UINT& st = w->rows[size_t(index)].state;
    st = (additive ? (st ^ LVIS_SELECTED) : (st | LVIS_SELECTED)) | LVIS_FOCUSED;
  }
  NMITEMACTIVATE nm;
  nm.hdr = {listView, UINT_PTR(w->id), NM_CLICK};
  nm.iItem = index;
  NotifyParent(listView, WM_NOTIFY, WPARAM(w->id), LPARAM(&nm));
  if (doubleClick && Find(listView)) {
    nm.hdr.code = NM_DBLCLK;
    NotifyParent(listView, WM_NOTIFY, WPARAM(nm.hdr.idFrom), LPARAM(&nm));
  }
  return true;
}

bool PressListKey(HWND listView, WORD vkey) {
  Window* w = Usable(listView);
  if (!w || w->kind != Kind::ListView) return false;
  NMLVKEYDOWN nm;
  nm.hdr = {listView, UINT_PTR(w->id), LVN_KEYDOWN};
  nm.wVKey = vkey;
  NotifyParent(listView, WM_NOTIFY, WPARAM(w->id), LPARAM(&nm));
  return true;
}

bool SetSlider(HWND slider, int pos) {
  Window* w = Usable(slider);
  if (!w || w->kind != Kind::Slider) return false;
  SendMessage(slider, TBM_SETPOS, TRUE, LPARAM(pos));
  // SB_THUMBPOSITION with the position in the high word.
  NotifyParent(slider, WM_HSCROLL, MAKEWPARAM(4, unsigned(w->pos)), LPARAM(slider));
  return true;
}

bool PickColor(HWND swatch, COLORREF c) {
  Window* w = Usable(swatch);
  if (!w || w->kind != Kind::ColorSwatch) return false;
  IColorSwatch* s = GetIColorSwatch(swatch);
  s->SetColor(c, TRUE);
  ReleaseIColorSwatch(s);
  return true;
}

bool SendDialogCommand(HWND dlg, int id) {
  if (!Find(dlg)) return false;
  HWND ctrl = GetDlgItem(dlg, id);
  if (ctrl && !IsWindowEnabled(ctrl)) return false;
  SendMessage(dlg, WM_COMMAND, MAKEWPARAM(unsigned(id), BN_CLICKED), LPARAM(ctrl));
  return true;
}

std::string RequestTooltip(HWND target, int toolId) {
  if (!Find(target)) return std::string();
  TOOLTIPTEXTA tt;
  tt.hdr = {nullptr, UINT_PTR(toolId), TTN_NEEDTEXTA};
  SendMessage(target, WM_NOTIFY, WPARAM(toolId), LPARAM(&tt));
  if (tt.lpszText && !IS_INTRESOURCE(tt.lpszText)) return tt.lpszText;
  return tt.szText;
}

std::string ControlTooltip(HWND ctrl) {
  Window* w = Find(ctrl);
  return (w && w->tooltipOn) ? w->tooltip : std::string();
}

}  // namespace vorel_ui
