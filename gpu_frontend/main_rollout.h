// The main rollout of the GPU fluid object: its dialog and the procedure
// behind its solve button.
#pragma once
#include "host/ui/ui.h"

namespace vorel_gpufe {

class BlobNode;

constexpr int kMainRolloutDialog = 185;
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

// Registers the main rollout's dialog and hands the fluid's block its
// procedure; called before the rollouts open.
void PrepareMainRollout(BlobNode* fluid);

}  // namespace vorel_gpufe
