#include "scene_objects/supports_objects_rollout.h"

#include "scene_objects/vorel_strings.h"

INT_PTR CALLBACK SupportsObjectsDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtr(hWnd, GWLP_USERDATA, lParam);
      return TRUE;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      if (auto* ip = reinterpret_cast<Interface*>(GetWindowLongPtr(hWnd, GWLP_USERDATA)))
        ip->RollupMouseMessage(hWnd, msg, wParam, lParam);
      return FALSE;
    default:
      return FALSE;
  }
}

void RegisterSupportsObjectsDialog(HINSTANCE instance) {
  vorel_ui::DialogTemplate t;
  t.id = kSupportsObjectsDialog;
  const char* title = VorelString(kStrSupportsObjects);
  t.title = title ? title : "";
  t.width = 108;
  t.height = 40;
  vorel_ui::RegisterDialogTemplate(instance, t);
}
