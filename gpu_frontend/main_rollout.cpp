#include "gpu_frontend/main_rollout.h"

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/plugin_shell.h"
#include "gpu_frontend/solver_export.h"

namespace vorel_gpufe {
namespace {

void RegisterMainDialog() {
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate d;
  d.id = kMainRolloutDialog;
  d.title = "Main controls and params";
  auto spinner = [&](int edit, int spin, const char* label) {
    d.controls.push_back({-1, Kind::Static, label});
    d.controls.push_back({edit, Kind::CustEdit, ""});
    d.controls.push_back({spin, Kind::Spinner, ""});
  };
  spinner(1014, 1013, "LOD:");
  spinner(1019, 1018, "Gravity:");
  spinner(1035, 1033, "Collision strength:");
  spinner(1016, 1015, "Viscosity:");
  spinner(1028, 1021, "Bounce:");
  spinner(1032, 1017, "Friction:");
  spinner(1022, 1020, "Start frame: ");
  spinner(1024, 1023, "Stop frame: ");
  spinner(1026, 1030, "Frames to settle:");
  d.controls.push_back({1095, Kind::CheckBox, "Settle before calculating"});
  spinner(1031, 1025, "Clean from frame:");
  d.controls.push_back({kSolveButton, Kind::Button, "GO!"});
  d.controls.push_back({1011, Kind::Static, "Frames solved: "});
  d.controls.push_back({1012, Kind::Static, "Total particles: "});
  vorel_ui::RegisterDialogTemplate(ModuleHandle(), d);
}

}  // namespace

void MainParamsDlgProc::SetThing(ReferenceTarget* m) {
  if (auto* fluid = dynamic_cast<BlobNode*>(m)) fluid_ = fluid;
}

INT_PTR MainParamsDlgProc::DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) {
  if (!fluid_) return FALSE;
  switch (msg) {
    case WM_INITDIALOG:
      fluid_->hMainRollout = hWnd;
      fluid_->RefreshCacheInfo();
      break;
    case WM_DESTROY:
      if (fluid_->hMainRollout == hWnd) fluid_->hMainRollout = nullptr;
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == kSolveButton && HIWORD(wParam) == BN_CLICKED) {
        RunSolve(*fluid_, kNoRequestedStart);
        fluid_->RefreshCacheInfo();
      }
      break;
    default:
      break;
  }
  return FALSE;
}

void PrepareMainRollout(BlobNode* fluid) {
  RegisterMainDialog();
  BlobNodeBlockDesc().SetUserDlgProc(blob_map::kMain, new MainParamsDlgProc(fluid));
}

}  // namespace vorel_gpufe
