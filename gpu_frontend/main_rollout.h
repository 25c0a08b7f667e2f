// The procedure of the GPU fluid object's main rollout: the solve button,
// and the cache, preset, clean and export controls (gpu_rollouts.h).
#pragma once
#include "host/ui/ui.h"

namespace vorel_gpufe {

class BlobNode;

constexpr int kSolveButton = 1027;
// The solve button asks for no particular start frame.
constexpr int kNoRequestedStart = -1000;

class MainParamsDlgProc : public ParamMap2UserDlgProc {
 public:
  explicit MainParamsDlgProc(BlobNode* fluid) : fluid_(fluid) {}
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DeleteThis() override { delete this; }
  void SetThing(ReferenceTarget* m) override;

 private:
  BlobNode* fluid_;
};

// Hands the fluid's block the main rollout's procedure; called after the
// rollouts' templates and other procedures are prepared, before they open.
void PrepareMainRollout(BlobNode* fluid);

}  // namespace vorel_gpufe
