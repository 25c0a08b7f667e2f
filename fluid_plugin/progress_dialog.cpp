#include "fluid_plugin/progress_dialog.h"

#include "fluid_core/engine.h"

namespace {

RECT g_savedRect;  // all zeros: no dialog closed yet
HWND g_open = nullptr;

bool IsZero(const RECT& r) { return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0; }

}  // namespace

INT_PTR CALLBACK ProgressDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtr(hWnd, GWLP_USERDATA, lParam);
      SendDlgItemMessage(hWnd, kProgressBarId, PBM_SETPOS, 0, 0);
      SendDlgItemMessage(hWnd, kProgressBarId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
      if (!IsZero(g_savedRect)) {
        SetWindowPos(hWnd, nullptr, g_savedRect.left, g_savedRect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(hWnd, SW_SHOW);
      }
      g_open = hWnd;
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kProgressStopId) SolveStopFlag = 1;
      return TRUE;
    case WM_DESTROY: {
      RECT r;
      if (GetWindowRect(hWnd, &r)) g_savedRect = r;
      if (g_open == hWnd) g_open = nullptr;
      return TRUE;
    }
    default:
      return FALSE;
  }
}

HWND OpenProgressDialog() { return g_open; }
RECT SavedProgressDialogRect() { return g_savedRect; }
void ResetProgressDialogPosition() { g_savedRect = RECT(); }

void RegisterProgressDialogs(HINSTANCE instance) {
  using vorel_ui::ControlTemplate;
  using vorel_ui::DialogTemplate;
  using vorel_ui::Kind;
  auto make = [&](int id, const char* title, const char* button) {
    DialogTemplate t;
    t.id = id;
    t.title = title;
    t.width = 220;
    t.height = 80;
    ControlTemplate bar;
    bar.id = kProgressBarId;
    bar.kind = Kind::ProgressBar;
    bar.rect = RECT{10, 10, 210, 24};
    ControlTemplate stop;
    stop.id = kProgressStopId;
    stop.kind = Kind::Button;
    stop.text = button;
    stop.rect = RECT{80, 40, 140, 56};
    t.controls = {bar, stop};
    vorel_ui::RegisterDialogTemplate(instance, t);
  };
  make(kSolverProgressDialog, "Vorel dynamic solver", "STOP");
  make(kSurfaceProgressDialog, "Vorel surface builder", "STOP");
  make(kMissingCacheDialog, "Vorel missing cache dialog", "OK");
}
