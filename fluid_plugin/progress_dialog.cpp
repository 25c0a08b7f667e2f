#include "fluid_plugin/progress_dialog.h"

#include <initializer_list>

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

namespace {
// One row of a progress dialog: a label (none for a bar) and the control
// that the run writes.
struct ProgressRow {
  int id;
  vorel_ui::Kind kind;
  const char* label;
};

void RegisterProgressDialog(HINSTANCE instance, int id, const char* title, const char* button,
                            std::initializer_list<ProgressRow> rows) {
  using vorel_ui::ControlTemplate;
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate t;
  t.id = id;
  t.title = title;
  t.width = 220;
  int top = 10;
  for (const ProgressRow& r : rows) {
    ControlTemplate c;
    c.id = r.id;
    c.kind = r.kind;
    if (r.label) {
      ControlTemplate label;
      label.text = r.label;
      label.rect = RECT{10, top, 110, top + 14};
      t.controls.push_back(label);
      c.rect = RECT{115, top, 210, top + 14};
    } else {
      c.rect = RECT{10, top, 210, top + 14};
    }
    t.controls.push_back(c);
    top += 16;
  }
  ControlTemplate stop;
  stop.id = kProgressStopId;
  stop.kind = Kind::Button;
  stop.text = button;
  stop.rect = RECT{80, top + 6, 140, top + 22};
  t.controls.push_back(stop);
  t.height = top + 30;
  vorel_ui::RegisterDialogTemplate(instance, t);
}
}  // namespace

void RegisterProgressDialogs(HINSTANCE instance) {
  using vorel_ui::Kind;
  RegisterProgressDialog(instance, kSolverProgressDialog, "Vorel dynamic solver", "STOP",
                         {{kProgressBarId, Kind::ProgressBar, nullptr},
                          {1064, Kind::Static, "Total particles:"},
                          {1065, Kind::Static, "Elapsed Time:"},
                          {1066, Kind::Static, "Last frame time:"},
                          {1068, Kind::Static, "Solver started at:"},
                          {1069, Kind::Static, "Estimated time left:"},
                          {1070, Kind::Static, "Frames Solved:"}});
  RegisterProgressDialog(instance, kSurfaceProgressDialog, "Vorel surface builder", "STOP",
                         {{1065, Kind::Static, "Elapsed Time:"},
                          {1066, Kind::Static, "Last frame time:"},
                          {1068, Kind::ProgressBar, nullptr},
                          {1069, Kind::Static, "Building frame:"},
                          {1070, Kind::Static, "Frames solved:"},
                          {1071, Kind::ProgressBar, nullptr},
                          {1072, Kind::Static, "Estimated time left:"}});
  RegisterProgressDialog(instance, kMapTracerDialog, "Vorel raster map tracer", "STOP",
                         {{1065, Kind::Static, "Elapsed Time:"},
                          {1066, Kind::Static, "Last frame time:"},
                          {1069, Kind::Static, "Building map:"},
                          {1070, Kind::Static, "Frames solved:"},
                          {1071, Kind::ProgressBar, nullptr}});
  RegisterProgressDialog(instance, kMissingCacheDialog, "Vorel missing cache dialog", "OK",
                         {{kProgressBarId, Kind::ProgressBar, nullptr}});
}
