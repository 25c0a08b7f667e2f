// The host's custom controls: spinner, custom button (push or check, with
// flyouts), custom edit, colour swatch, and the colour manager. Each getter
// returns a new interface object bound to the control's handle (null when the
// window is not a control of that kind); the caller gives it back with the
// matching Release call. Calls on a handle whose window is gone do nothing.
#pragma once
#include <string>

#include "host/sdk/iparamb2.h"  // EditSpinnerType
#include "host/ui/win_types.h"

// Messages custom controls send to their dialog.
enum : UINT {
  CC_SPINNER_CHANGE = 1624,      // wParam: MAKEWPARAM(id, dragging), lParam: spinner handle
  CC_SPINNER_BUTTONDOWN = 1625,
  CC_SPINNER_BUTTONUP = 1626,    // wParam: MAKEWPARAM(id, accepted)
  CC_COLOR_CHANGE = 1650,        // wParam: MAKEWPARAM(id, buttonUp), lParam: swatch handle
  WM_CUSTEDIT_ENTER = 1709,      // wParam: edit id, lParam: edit handle
  CC_COMMAND = 1750,
};

enum CustButType { CBT_PUSH = 0, CBT_CHECK = 1 };

// One flyout state: the four image indices (out, in, disabled out, disabled in).
struct FlyOffData {
  int iOutEn = 0, iInEn = 0, iOutDis = 0, iInDis = 0;
};

class ICustomControl {
 public:
  explicit ICustomControl(HWND h) : hwnd_(h) {}
  virtual ~ICustomControl() = default;
  HWND GetHwnd() const { return hwnd_; }
  BOOL IsEnabled() const;
  void Enable(BOOL onOff = TRUE);
  void Disable() { Enable(FALSE); }
  void SetTooltip(BOOL onOff, const char* text);

 protected:
  HWND hwnd_;
};

class ICustButton : public ICustomControl {
 public:
  using ICustomControl::ICustomControl;
  void SetType(int type);
  int GetType() const;
  void SetCheck(BOOL checked);
  BOOL IsChecked() const;
  void SetHighlightColor(COLORREF c);
  COLORREF GetHighlightColor() const;
  void SetText(const char* text);
  void GetText(char* buf, int max) const;
  void SetImage(HIMAGELIST list, int outEn, int inEn, int outDis, int inDis, int w, int h);
  // Flyout: count states, each with its images; timeOut in ms, the starting
  // state, the direction value and the number of columns are kept as given.
  void SetFlyOff(int count, const FlyOffData* data, int timeOut, int init, int dir = 0,
                 int columns = 1);
  void SetCurFlyOff(int state, BOOL notify = FALSE);
  int GetCurFlyOff() const;
  int GetFlyOffCount() const;
};

class ISpinnerControl : public ICustomControl {
 public:
  using ICustomControl::ICustomControl;
  float GetFVal() const;
  int GetIVal() const;
  // Sets the value (clamped to the limits); notify sends CC_SPINNER_CHANGE.
  void SetValue(float v, BOOL notify);
  void SetValue(int v, BOOL notify);
  void SetLimits(float min, float max, BOOL limitCurValue = TRUE);
  void SetLimits(int min, int max, BOOL limitCurValue = TRUE);
  float GetMin() const;
  float GetMax() const;
  void SetScale(float s);
  void SetAutoScale(BOOL on = TRUE);
  void SetResetValue(float v);
  void SetResetValue(int v);
  void LinkToEdit(HWND edit, EditSpinnerType type);
  EditSpinnerType GetEditType() const;
};

class ICustEdit : public ICustomControl {
 public:
  using ICustomControl::ICustomControl;
  void GetText(char* buf, int max) const;
  std::string GetText() const;
  void SetText(const char* text);
  void SetText(int v);
  void SetText(float v, int precision = 3);
  int GetInt(BOOL* valid = nullptr) const;
  float GetFloat(BOOL* valid = nullptr) const;
  void WantReturn(BOOL yes);
  // True once after Return was pressed in the field.
  BOOL GotReturn();
};

class IColorSwatch : public ICustomControl {
 public:
  using ICustomControl::ICustomControl;
  COLORREF GetColor() const;
  COLORREF SetColor(COLORREF c, BOOL notify = FALSE);
};

ICustButton* GetICustButton(HWND h);
void ReleaseICustButton(ICustButton* b);
ISpinnerControl* GetISpinner(HWND h);
void ReleaseISpinner(ISpinnerControl* s);
ICustEdit* GetICustEdit(HWND h);
void ReleaseICustEdit(ICustEdit* e);
IColorSwatch* GetIColorSwatch(HWND h, COLORREF col = 0, const char* name = nullptr);
void ReleaseIColorSwatch(IColorSwatch* s);

// Links a spinner to its edit with limits and a value, as the host's helpers do.
ISpinnerControl* SetupIntSpinner(HWND dlg, int spinId, int editId, int min, int max, int val);
ISpinnerControl* SetupFloatSpinner(HWND dlg, int spinId, int editId, float min, float max,
                                   float val, float scale = 0.1f);

// The host's colour manager: fixed interface colours by index.
class IColorManager {
 public:
  virtual ~IColorManager() = default;
  virtual COLORREF GetColor(int id) const;
  virtual void SetColor(int id, COLORREF c);
};
IColorManager* ColorMan();
COLORREF GetCustSysColor(int index);
