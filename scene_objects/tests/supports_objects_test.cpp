// The force fields' "Supports Objects of Type" rollout hands drags to the host.
#include <gtest/gtest.h>

#include <vector>

#include "scene_objects/supports_objects_rollout.h"
#include "scene_objects/vorel_strings.h"

namespace {

// Records the mouse messages the rollout passes on.
class RecordingHost : public Interface {
 public:
  void RollupMouseMessage(HWND hDlg, UINT message, WPARAM, LPARAM lParam) override {
    got.push_back({hDlg, message, lParam});
  }
  struct Msg {
    HWND dlg;
    UINT msg;
    LPARAM lParam;
  };
  std::vector<Msg> got;
};

TEST(SupportsObjectsRollout, PassesMouseMessagesToTheInterfaceItWasGiven) {
  RegisterSupportsObjectsDialog(VorelModuleHandle());
  RecordingHost host;
  HWND dlg = CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(kSupportsObjectsDialog), nullptr,
                               SupportsObjectsDlgProc, reinterpret_cast<LPARAM>(&host));
  ASSERT_NE(dlg, nullptr);
  char title[64] = {};
  GetWindowText(dlg, title, sizeof title);
  EXPECT_STREQ(title, "Supports Objects of Type");
  for (UINT m : {UINT(WM_MOUSEMOVE), UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONUP)})
    EXPECT_EQ(SupportsObjectsDlgProc(dlg, m, 0, 42), FALSE);
  EXPECT_EQ(SupportsObjectsDlgProc(dlg, WM_COMMAND, 0, 0), FALSE);
  ASSERT_EQ(host.got.size(), 3u);
  EXPECT_EQ(host.got[0].msg, UINT(WM_MOUSEMOVE));
  EXPECT_EQ(host.got[2].msg, UINT(WM_LBUTTONUP));
  EXPECT_EQ(host.got[1].dlg, dlg);
  EXPECT_EQ(host.got[1].lParam, 42);
  DestroyWindow(dlg);

  // Without an interface the messages go nowhere.
  HWND bare = CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(kSupportsObjectsDialog), nullptr,
                                SupportsObjectsDlgProc, 0);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(SupportsObjectsDlgProc(bare, WM_MOUSEMOVE, 0, 0), FALSE);
  EXPECT_EQ(host.got.size(), 3u);
  DestroyWindow(bare);
}

}  // namespace
