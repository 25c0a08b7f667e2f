#include "host/ui/custctrl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/ui/window_impl.h"

using namespace vorel_ui;

namespace vorel_ui {

std::string FormatSpinnerValue(const Window& s) {
  char buf[64];
  switch (s.spinType) {
    case EDITTYPE_INT:
    case EDITTYPE_POS_INT:
    case EDITTYPE_TIME:
      std::snprintf(buf, sizeof buf, "%d", int(std::lround(s.spinValue)));
      break;
    default:
      std::snprintf(buf, sizeof buf, "%.3f", s.spinValue);
  }
  return buf;
}

}  // namespace vorel_ui

namespace {

bool IsIntSpinner(const Window& w) {
  return w.spinType == EDITTYPE_INT || w.spinType == EDITTYPE_POS_INT || w.spinType == EDITTYPE_TIME;
}

double ClampSpin(const Window& w, double v) {
  double lo = w.spinMin, hi = w.spinMax;
  // Positive edit types never go below zero whatever the limits say.
  if (w.spinType == EDITTYPE_POS_INT || w.spinType == EDITTYPE_POS_FLOAT ||
      w.spinType == EDITTYPE_POS_UNIVERSE)
    lo = std::max(lo, 0.0);
  v = std::max(lo, std::min(hi, v));
  if (IsIntSpinner(w)) v = double(std::lround(v));
  return v;
}

void UpdateLinkedEdit(Window& s) {
  if (Window* e = Find(s.linkedEdit)) e->text = FormatSpinnerValue(s);
}

void SetSpin(HWND h, double v, BOOL notify) {
  Window* w = Find(h);
  if (!w || w->kind != Kind::Spinner) return;
  w->spinValue = ClampSpin(*w, v);
  UpdateLinkedEdit(*w);
  if (notify) NotifyParent(h, CC_SPINNER_CHANGE, MAKEWPARAM(unsigned(w->id), FALSE), LPARAM(h));
}

template <class T>
T* Get(HWND h, Kind k) {
  Window* w = Find(h);
  if (!w || w->kind != k) return nullptr;
  return new T(h);
}

}  // namespace

BOOL ICustomControl::IsEnabled() const { return IsWindowEnabled(hwnd_); }

void ICustomControl::Enable(BOOL onOff) {
  EnableWindow(hwnd_, onOff);
  // A spinner and its edit are one control to the user.
  Window* w = Find(hwnd_);
  if (w && w->kind == Kind::Spinner) EnableWindow(w->linkedEdit, onOff);
}

void ICustomControl::SetTooltip(BOOL onOff, const char* text) {
  Window* w = Find(hwnd_);
  if (!w) return;
  w->tooltipOn = onOff != 0;
  w->tooltip = text ? text : "";
}

void ICustButton::SetType(int type) {
  if (Window* w = Find(hwnd_)) w->buttonType = type;
}
int ICustButton::GetType() const {
  Window* w = Find(hwnd_);
  return w ? w->buttonType : CBT_PUSH;
}
void ICustButton::SetCheck(BOOL checked) {
  if (Window* w = Find(hwnd_)) w->check = checked ? 1 : 0;
}
BOOL ICustButton::IsChecked() const {
  Window* w = Find(hwnd_);
  return w && w->check;
}
void ICustButton::SetHighlightColor(COLORREF c) {
  if (Window* w = Find(hwnd_)) w->highlight = c;
}
COLORREF ICustButton::GetHighlightColor() const {
  Window* w = Find(hwnd_);
  return w ? w->highlight : 0;
}
void ICustButton::SetText(const char* text) { SetWindowText(hwnd_, text); }
void ICustButton::GetText(char* buf, int max) const { GetWindowText(hwnd_, buf, max); }
void ICustButton::SetImage(HIMAGELIST list, int outEn, int, int, int, int, int) {
  if (Window* w = Find(hwnd_)) {
    w->imageList = list;
    w->image = outEn;
  }
}
void ICustButton::SetFlyOff(int count, const FlyOffData* data, int timeOut, int init, int dir,
                            int columns) {
  Window* w = Find(hwnd_);
  if (!w) return;
  w->flyOff.clear();
  for (int i = 0; i < count && data; ++i)
    w->flyOff.push_back({{data[i].iOutEn, data[i].iInEn, data[i].iOutDis, data[i].iInDis}});
  w->flyOffTime = timeOut;
  w->flyOffDir = dir;
  w->flyOffColumns = columns;
  w->curFlyOff = (init >= 0 && init < count) ? init : 0;
}
void ICustButton::SetCurFlyOff(int state, BOOL notify) {
  Window* w = Find(hwnd_);
  if (!w || state < 0 || state >= int(w->flyOff.size())) return;
  w->curFlyOff = state;
  if (notify) SendCommand(hwnd_, BN_CLICKED);
}
int ICustButton::GetCurFlyOff() const {
  Window* w = Find(hwnd_);
  return w ? w->curFlyOff : 0;
}
int ICustButton::GetFlyOffCount() const {
  Window* w = Find(hwnd_);
  return w ? int(w->flyOff.size()) : 0;
}

float ISpinnerControl::GetFVal() const {
  Window* w = Find(hwnd_);
  return w ? float(w->spinValue) : 0.0f;
}
int ISpinnerControl::GetIVal() const {
  Window* w = Find(hwnd_);
  return w ? int(std::lround(w->spinValue)) : 0;
}
void ISpinnerControl::SetValue(float v, BOOL notify) { SetSpin(hwnd_, v, notify); }
void ISpinnerControl::SetValue(int v, BOOL notify) { SetSpin(hwnd_, v, notify); }
void ISpinnerControl::SetLimits(float min, float max, BOOL limitCurValue) {
  Window* w = Find(hwnd_);
  if (!w) return;
  w->spinMin = std::min(min, max);
  w->spinMax = std::max(min, max);
  if (limitCurValue) {
    w->spinValue = ClampSpin(*w, w->spinValue);
    UpdateLinkedEdit(*w);
  }
}
void ISpinnerControl::SetLimits(int min, int max, BOOL limitCurValue) {
  SetLimits(float(min), float(max), limitCurValue);
}
float ISpinnerControl::GetMin() const {
  Window* w = Find(hwnd_);
  return w ? float(w->spinMin) : 0.0f;
}
float ISpinnerControl::GetMax() const {
  Window* w = Find(hwnd_);
  return w ? float(w->spinMax) : 0.0f;
}
void ISpinnerControl::SetScale(float s) {
  if (Window* w = Find(hwnd_)) w->spinScale = s;
}
void ISpinnerControl::SetAutoScale(BOOL on) {
  if (Window* w = Find(hwnd_)) w->spinAutoScale = on != 0;
}
void ISpinnerControl::SetResetValue(float v) {
  if (Window* w = Find(hwnd_)) w->spinReset = v;
}
void ISpinnerControl::SetResetValue(int v) { SetResetValue(float(v)); }
void ISpinnerControl::LinkToEdit(HWND edit, EditSpinnerType type) {
  Window* w = Find(hwnd_);
  if (!w) return;
  if (Window* old = Find(w->linkedEdit)) old->linkedSpinner = nullptr;
  w->spinType = type;
  w->linkedEdit = edit;
  if (Window* e = Find(edit)) e->linkedSpinner = hwnd_;
  w->spinValue = ClampSpin(*w, w->spinValue);
  UpdateLinkedEdit(*w);
}
EditSpinnerType ISpinnerControl::GetEditType() const {
  Window* w = Find(hwnd_);
  return w ? EditSpinnerType(w->spinType) : EDITTYPE_FLOAT;
}

void ICustEdit::GetText(char* buf, int max) const { GetWindowText(hwnd_, buf, max); }
std::string ICustEdit::GetText() const {
  Window* w = Find(hwnd_);
  return w ? w->text : std::string();
}
void ICustEdit::SetText(const char* text) { SetWindowText(hwnd_, text); }
void ICustEdit::SetText(int v) { SetWindowText(hwnd_, std::to_string(v).c_str()); }
void ICustEdit::SetText(float v, int precision) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", std::max(0, std::min(precision, 20)), double(v));
  SetWindowText(hwnd_, buf);
}
int ICustEdit::GetInt(BOOL* valid) const {
  std::string t = GetText();
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 10);
  if (valid) *valid = end != t.c_str();
  return int(v);
}
float ICustEdit::GetFloat(BOOL* valid) const {
  std::string t = GetText();
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (valid) *valid = end != t.c_str();
  return float(v);
}
void ICustEdit::WantReturn(BOOL yes) {
  if (Window* w = Find(hwnd_)) w->wantReturn = yes != 0;
}
BOOL ICustEdit::GotReturn() {
  Window* w = Find(hwnd_);
  if (!w || !w->gotReturn) return FALSE;
  w->gotReturn = false;
  return TRUE;
}

COLORREF IColorSwatch::GetColor() const {
  Window* w = Find(hwnd_);
  return w ? w->color : 0;
}
COLORREF IColorSwatch::SetColor(COLORREF c, BOOL notify) {
  Window* w = Find(hwnd_);
  if (!w) return 0;
  COLORREF prev = w->color;
  w->color = c;
  if (notify) NotifyParent(hwnd_, CC_COLOR_CHANGE, MAKEWPARAM(unsigned(w->id), TRUE), LPARAM(hwnd_));
  return prev;
}

ICustButton* GetICustButton(HWND h) { return Get<ICustButton>(h, Kind::CustButton); }
void ReleaseICustButton(ICustButton* b) { delete b; }
ISpinnerControl* GetISpinner(HWND h) { return Get<ISpinnerControl>(h, Kind::Spinner); }
void ReleaseISpinner(ISpinnerControl* s) { delete s; }
ICustEdit* GetICustEdit(HWND h) { return Get<ICustEdit>(h, Kind::CustEdit); }
void ReleaseICustEdit(ICustEdit* e) { delete e; }
IColorSwatch* GetIColorSwatch(HWND h, COLORREF col, const char*) {
  IColorSwatch* s = Get<IColorSwatch>(h, Kind::ColorSwatch);
  if (s && col) s->SetColor(col, FALSE);
  return s;
}
void ReleaseIColorSwatch(IColorSwatch* s) { delete s; }

ISpinnerControl* SetupIntSpinner(HWND dlg, int spinId, int editId, int min, int max, int val) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, spinId));
  if (!s) return nullptr;
  s->LinkToEdit(GetDlgItem(dlg, editId), EDITTYPE_INT);
  s->SetLimits(min, max, FALSE);
  s->SetValue(val, FALSE);
  return s;
}

ISpinnerControl* SetupFloatSpinner(HWND dlg, int spinId, int editId, float min, float max,
                                   float val, float scale) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, spinId));
  if (!s) return nullptr;
  s->LinkToEdit(GetDlgItem(dlg, editId), EDITTYPE_FLOAT);
  s->SetLimits(min, max, FALSE);
  s->SetScale(scale);
  s->SetValue(val, FALSE);
  return s;
}

namespace {
std::map<int, COLORREF>& ColorOverrides() {
  static std::map<int, COLORREF> m;
  return m;
}
}  // namespace

COLORREF IColorManager::GetColor(int id) const {
  auto it = ColorOverrides().find(id);
  if (it != ColorOverrides().end()) return it->second;
  // A stable grey ramp: headless colours only need to be distinct and fixed.
  unsigned g = 96u + unsigned((id * 37) % 128);
  return RGB(g, g, (g + 32u) & 0xFF);
}
void IColorManager::SetColor(int id, COLORREF c) { ColorOverrides()[id] = c; }

IColorManager* ColorMan() {
  static IColorManager m;
  return &m;
}

COLORREF GetCustSysColor(int index) { return ColorMan()->GetColor(1000 + index); }
