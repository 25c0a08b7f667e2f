#include "gpu_frontend/main_rollout.h"

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/gpu_rollouts.h"
#include "gpu_frontend/solver_export.h"

namespace vorel_gpufe {

void MainParamsDlgProc::SetThing(ReferenceTarget* m) {
  if (auto* fluid = dynamic_cast<BlobNode*>(m)) fluid_ = fluid;
}

INT_PTR MainParamsDlgProc::DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!fluid_) return FALSE;
  if (msg == WM_DESTROY && fluid_->hMainRollout == hWnd) fluid_->hMainRollout = nullptr;
  if (msg == WM_COMMAND && LOWORD(wParam) == kSolveButton && HIWORD(wParam) == BN_CLICKED) {
    RunSolve(*fluid_, kNoRequestedStart);
    fluid_->RefreshCacheInfo();
    return FALSE;
  }
  // The cache, preset, clean and export controls.
  MainRolloutMessage(*fluid_, hWnd, msg, wParam, lParam);
  return FALSE;
}

void PrepareMainRollout(BlobNode* fluid) {
  BlobNodeBlockDesc().SetUserDlgProc(blob_map::kMain, new MainParamsDlgProc(fluid));
}

}  // namespace vorel_gpufe
