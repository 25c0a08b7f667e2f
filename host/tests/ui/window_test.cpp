// Dialogs from templates, message dispatch and the standard controls.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/ui/script.h"
#include "host/ui/user.h"
#include "host/ui/window.h"
#include "ui_test_util.h"

using namespace vorel_ui;

namespace {

struct Seen {
  UINT msg;
  int id;
  int code;
  LPARAM lParam;
};
std::vector<Seen> g_seen;

INT_PTR RecordingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_INITDIALOG) SetWindowLongPtr(h, GWLP_USERDATA, l);
  if (msg == WM_COMMAND || msg == WM_INITDIALOG || msg == WM_DESTROY || msg == WM_TIMER ||
      msg == WM_NOTIFY || msg == WM_USER + 2)
    g_seen.push_back({msg, LOWORD(w), HIWORD(w), l});
  if (msg == WM_NOTIFY) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(l);
    g_seen.back().code = hdr->code;
    if (hdr->code == NM_CLICK) g_seen.back().id = reinterpret_cast<const NMITEMACTIVATE*>(l)->iItem;
  }
  if (msg == WM_COMMAND && LOWORD(w) == 1014) PostMessage(h, WM_USER + 2, 0, 0);
  return FALSE;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetForTest();
    g_seen.clear();
    DialogTemplate t;
    t.id = 300;
    t.title = "Test dialog";
    t.controls = {{1000, Kind::Static, "label"},   {1001, Kind::Edit, "start"},
                  {1014, Kind::Button, "GO!"},     {1020, Kind::CheckBox, "check"},
                  {1040, Kind::RadioButton, "a"},  {1041, Kind::RadioButton, "b"},
                  {1042, Kind::RadioButton, "c"},  {1050, Kind::RadioButton, "x", true},
                  {1080, Kind::ListBox, ""},       {1034, Kind::ComboBox, ""},
                  {1063, Kind::ProgressBar, ""},   {1090, Kind::ListView, ""},
                  {1100, Kind::Animation, ""}};
    RegisterDialogTemplate(nullptr, t);
    dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(300), nullptr, RecordingProc, 77);
    ASSERT_NE(dlg, nullptr);
  }
  HWND dlg = nullptr;
};

TEST_F(WindowTest, DialogFromTemplateGetsInitParamAndControls) {
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen[0].msg, UINT(WM_INITDIALOG));
  EXPECT_EQ(GetWindowLongPtr(dlg, GWLP_USERDATA), 77);
  char buf[64];
  GetWindowText(dlg, buf, sizeof buf);
  EXPECT_STREQ(buf, "Test dialog");
  GetDlgItemText(dlg, 1001, buf, sizeof buf);
  EXPECT_STREQ(buf, "start");
  EXPECT_TRUE(SetDlgItemText(dlg, 1000, "Particle count: 12"));
  GetDlgItemText(dlg, 1000, buf, 10);
  EXPECT_STREQ(buf, "Particle ");  // truncated to the buffer, terminated
  EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dlg, 1020)), 1020);
  EXPECT_EQ(GetParent(GetDlgItem(dlg, 1020)), dlg);
  EXPECT_EQ(GetDlgItem(dlg, 9999), nullptr);
  // An unknown template makes no dialog.
  EXPECT_EQ(CreateDialogParam(nullptr, MAKEINTRESOURCE(301), nullptr, RecordingProc, 0), nullptr);
}

TEST_F(WindowTest, ClicksSendCommandsAndKeepState) {
  HWND check = GetDlgItem(dlg, 1020);
  EXPECT_TRUE(Click(check));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1020), 1u);
  EXPECT_EQ(g_seen.back().msg, UINT(WM_COMMAND));
  EXPECT_EQ(g_seen.back().id, 1020);
  EXPECT_EQ(g_seen.back().code, int(BN_CLICKED));
  EXPECT_EQ(g_seen.back().lParam, LPARAM(check));

  // Radio buttons: one of a group, a new group starts at 1050.
  CheckDlgButton(dlg, 1050, BST_CHECKED);
  Click(GetDlgItem(dlg, 1040));
  Click(GetDlgItem(dlg, 1042));
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1040), 0u);
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1042), 1u);
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1050), 1u);
  CheckRadioButton(dlg, 1040, 1042, 1041);
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1041), 1u);
  EXPECT_EQ(IsDlgButtonChecked(dlg, 1042), 0u);

  // A disabled control takes no click and sends nothing.
  size_t before = g_seen.size();
  EnableWindow(check, FALSE);
  EXPECT_FALSE(IsWindowEnabled(check));
  EXPECT_FALSE(Click(check));
  EXPECT_EQ(g_seen.size(), before);
}

TEST_F(WindowTest, PostedMessagesWaitForThePump) {
  Click(GetDlgItem(dlg, 1014));
  EXPECT_EQ(g_seen.back().msg, UINT(WM_COMMAND));
  EXPECT_EQ(PendingMessageCount(), 1u);
  EXPECT_EQ(PumpMessages(), 1);
  EXPECT_EQ(g_seen.back().msg, UINT(WM_USER + 2));
  EXPECT_EQ(PumpMessages(), 0);
}

TEST_F(WindowTest, TimersFirePerPeriodThroughThePump) {
  SetTimer(dlg, 5, 100, nullptr);
  AdvanceTimers(250);
  EXPECT_EQ(PumpMessages(), 2);
  EXPECT_EQ(g_seen.back().msg, UINT(WM_TIMER));
  EXPECT_EQ(g_seen.back().id, 5);
  EXPECT_TRUE(KillTimer(dlg, 5));
  AdvanceTimers(1000);
  EXPECT_EQ(PumpMessages(), 0);
}

int g_procTicks = 0;
void TickProc(HWND, UINT, UINT_PTR, DWORD) { ++g_procTicks; }

TEST_F(WindowTest, TimerProceduresRunWithOrWithoutAWindow) {
  g_procTicks = 0;
  SetTimer(nullptr, 9, 50, TickProc);
  SetTimer(dlg, 10, 50, TickProc);
  AdvanceTimers(50);
  EXPECT_EQ(PumpMessages(), 2);
  EXPECT_EQ(g_procTicks, 2);
  KillTimer(nullptr, 9);
}

TEST_F(WindowTest, ListTextsWithoutBufferSizeStopAt255) {
  HWND lb = GetDlgItem(dlg, 1080);
  std::string longText(400, 'n');
  SendMessage(lb, LB_ADDSTRING, 0, LPARAM(longText.c_str()));
  std::vector<char> buf(300, 'x');
  EXPECT_EQ(SendMessage(lb, LB_GETTEXT, 0, LPARAM(buf.data())), 255);
  EXPECT_EQ(buf[255], '\0');
  EXPECT_EQ(buf[256], 'x');
  EXPECT_EQ(SendMessage(lb, LB_GETTEXTLEN, 0, 0), 400);
}

TEST_F(WindowTest, DestroySendsDestroyAndStaleHandlesAreHarmless) {
  HWND edit = GetDlgItem(dlg, 1001);
  PostMessage(dlg, WM_USER + 2, 0, 0);
  EXPECT_TRUE(DestroyWindow(dlg));
  EXPECT_EQ(g_seen.back().msg, UINT(WM_DESTROY));
  EXPECT_FALSE(IsWindow(dlg));
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(PumpMessages(), 0);  // the posted message went with the window
  char buf[8] = "x";
  EXPECT_EQ(GetWindowText(edit, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(SetDlgItemText(dlg, 1000, "late"));
  EXPECT_EQ(SendMessage(dlg, WM_COMMAND, 0, 0), 0);
  EXPECT_FALSE(DestroyWindow(dlg));
}

TEST_F(WindowTest, ListBoxAddFindSelectDelete) {
  HWND lb = GetDlgItem(dlg, 1080);
  EXPECT_EQ(SendMessage(lb, LB_ADDSTRING, 0, LPARAM("Box01")), 0);
  EXPECT_EQ(SendMessage(lb, LB_ADDSTRING, 0, LPARAM("Sphere01")), 1);
  EXPECT_EQ(SendMessage(lb, LB_ADDSTRING, 0, LPARAM("Box02")), 2);
  EXPECT_EQ(SendMessage(lb, LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessage(lb, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("sphere01")), 1);
  EXPECT_EQ(SendMessage(lb, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("Box")), LB_ERR);
  EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_TRUE(SelectItem(lb, 2));
  EXPECT_EQ(g_seen.back().code, int(LBN_SELCHANGE));
  char buf[32];
  EXPECT_EQ(SendMessage(lb, LB_GETTEXT, 2, LPARAM(buf)), 5);
  EXPECT_STREQ(buf, "Box02");
  EXPECT_EQ(SendMessage(lb, LB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 1);  // the selection follows its row
  EXPECT_EQ(SendMessage(lb, LB_DELETESTRING, 5, 0), LB_ERR);
  EXPECT_EQ(SendMessage(lb, LB_GETTEXT, 7, LPARAM(buf)), LB_ERR);
  EXPECT_FALSE(SelectItem(lb, 9));
}

TEST_F(WindowTest, ComboBoxInsertsAtTopAndFindsPrefixes) {
  HWND cb = GetDlgItem(dlg, 1034);
  SendMessage(cb, CB_INSERTSTRING, 0, LPARAM("cache_a"));
  SendMessage(cb, CB_INSERTSTRING, 0, LPARAM("cache_b"));
  char buf[32];
  SendMessage(cb, CB_GETLBTEXT, 0, LPARAM(buf));
  EXPECT_STREQ(buf, "cache_b");
  EXPECT_EQ(SendMessage(cb, CB_FINDSTRING, WPARAM(-1), LPARAM("CACHE_A")), 1);
  EXPECT_EQ(SendMessage(cb, CB_FINDSTRING, WPARAM(-1), LPARAM("ca")), 0);
  EXPECT_TRUE(SelectItem(cb, 1));
  EXPECT_EQ(g_seen.back().code, int(CBN_SELENDOK));
  EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), 1);
  SendMessage(cb, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(cb, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessage(cb, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(WindowTest, ProgressBarRangesAndClamping) {
  HWND pb = GetDlgItem(dlg, 1063);
  SendMessage(pb, PBM_SETRANGE, 0, MAKELPARAM(1, 24));
  EXPECT_EQ(SendMessage(pb, PBM_GETRANGE, TRUE, 0), 1);
  EXPECT_EQ(SendMessage(pb, PBM_GETRANGE, FALSE, 0), 24);
  SendMessage(pb, PBM_SETPOS, 30, 0);
  EXPECT_EQ(SendMessage(pb, PBM_GETPOS, 0, 0), 24);
  // The 32-bit range holds values a 16-bit one cannot.
  SendMessage(pb, PBM_SETRANGE32, 1, 100000);
  SendMessage(pb, PBM_SETPOS, 70000, 0);
  EXPECT_EQ(SendMessage(pb, PBM_GETPOS, 0, 0), 70000);
  SendMessage(pb, PBM_SETPOS, WPARAM(-5), 0);
  EXPECT_EQ(SendMessage(pb, PBM_GETPOS, 0, 0), 1);
}

TEST_F(WindowTest, ListViewColumnsRowsSelectionAndNotifications) {
  HWND lv = GetDlgItem(dlg, 1090);
  const char* names[] = {"Name", "Bounce", "Friction"};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMN c;
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<char*>(names[i]);
    c.cx = 60 + i;
    EXPECT_EQ(ListView_InsertColumn(lv, i, &c), i);
  }
  EXPECT_EQ(ListView_GetColumnCount(lv), 3);
  LVCOLUMN probe;
  probe.mask = LVCF_WIDTH;
  EXPECT_TRUE(SendMessage(lv, LVM_GETCOLUMN, 2, LPARAM(&probe)));
  EXPECT_EQ(probe.cx, 62);
  EXPECT_FALSE(SendMessage(lv, LVM_GETCOLUMN, 3, LPARAM(&probe)));
  for (int r = 0; r < 3; ++r) {
    LVITEM it;
    it.mask = LVIF_TEXT;
    it.iItem = r;
    std::string n = "Box0" + std::to_string(r);
    it.pszText = const_cast<char*>(n.c_str());
    EXPECT_EQ(ListView_InsertItem(lv, &it), r);
    ListView_SetItemText(lv, r, 1, "0.50");
  }
  char buf[8];
  ListView_GetItemText(lv, 1, 1, buf, sizeof buf);
  EXPECT_STREQ(buf, "0.50");
  ListView_GetItemText(lv, 1, 2, buf, sizeof buf);
  EXPECT_STREQ(buf, "");
  EXPECT_TRUE(ClickRow(lv, 1));
  EXPECT_EQ(g_seen.back().msg, UINT(WM_NOTIFY));
  EXPECT_EQ(g_seen.back().code, NM_CLICK);
  EXPECT_EQ(g_seen.back().id, 1);
  EXPECT_TRUE(ClickRow(lv, 2, false, true));
  EXPECT_EQ(ListView_GetSelectedCount(lv), 2u);
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_SELECTED), 1);
  EXPECT_EQ(ListView_GetNextItem(lv, 1, LVNI_SELECTED), 2);
  EXPECT_EQ(ListView_GetNextItem(lv, 2, LVNI_SELECTED), -1);
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_FOCUSED), 2);
  EXPECT_TRUE(ClickRow(lv, 0, true));
  EXPECT_EQ(g_seen.back().code, NM_DBLCLK);
  EXPECT_EQ(ListView_GetSelectedCount(lv), 1u);
  EXPECT_TRUE(PressListKey(lv, VK_DELETE));
  EXPECT_EQ(g_seen.back().code, LVN_KEYDOWN);
  EXPECT_TRUE(ListView_DeleteItem(lv, 0));
  EXPECT_EQ(ListView_GetItemCount(lv), 2);
  ListView_DeleteAllItems(lv);
  EXPECT_EQ(ListView_GetItemCount(lv), 0);
  EXPECT_EQ(ListView_GetColumnCount(lv), 3);
}

TEST_F(WindowTest, AnimationControlOpensPlaysAndStops) {
  HWND an = GetDlgItem(dlg, 1100);
  EXPECT_FALSE(SendMessage(an, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF)));
  EXPECT_TRUE(SendMessage(an, ACM_OPEN, 0, LPARAM(MAKEINTRESOURCE(150))));
  EXPECT_TRUE(SendMessage(an, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF)));
  SendMessage(an, ACM_STOP, 0, 0);
  SendMessage(an, ACM_OPEN, 0, 0);
  EXPECT_FALSE(SendMessage(an, ACM_PLAY, 1, 0));
}

TEST_F(WindowTest, WindowRectsMoveAndKeepTheirSize) {
  RECT r;
  ASSERT_TRUE(GetWindowRect(dlg, &r));
  int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(dlg, nullptr, 150, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(dlg, &r);
  EXPECT_EQ(r.left, 150);
  EXPECT_EQ(r.top, 110);
  EXPECT_EQ(r.right - r.left, w);
  EXPECT_EQ(r.bottom - r.top, h);
  MoveWindow(dlg, 1, 2, 30, 40, TRUE);
  GetClientRect(dlg, &r);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 40);
  ShowWindow(dlg, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, 1001)));
}

INT_PTR ModalProc(HWND h, UINT msg, WPARAM w, LPARAM) {
  if (msg == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
    int sel = int(SendDlgItemMessage(h, 1080, LB_GETCURSEL, 0, 0));
    EndDialog(h, LOWORD(w) == IDOK ? 100 + sel : IDCANCEL);
  }
  if (msg == WM_INITDIALOG) {
    SendDlgItemMessage(h, 1080, LB_ADDSTRING, 0, LPARAM("first"));
    SendDlgItemMessage(h, 1080, LB_ADDSTRING, 0, LPARAM("second"));
  }
  return FALSE;
}

TEST_F(WindowTest, ModalDialogsTakeScriptedAnswersElseCancel) {
  QueueModalAnswer(300, [](HWND h) {
    SelectItem(GetDlgItem(h, 1080), 1);
    SendDialogCommand(h, IDOK);
  });
  EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(300), nullptr, ModalProc, 0), 101);
  EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(300), nullptr, ModalProc, 0), IDCANCEL);
  EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(999), nullptr, ModalProc, 0), -1);
  // The same answer written as a script command.
  std::ostringstream out;
  std::string err;
  EXPECT_TRUE(RunUiCommand("modal-answer 300 set 1080 second; command 1", out, &err)) << err;
  EXPECT_FALSE(RunUiCommand("modal-answer 300 jump 3", out, &err));
  EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(300), nullptr, ModalProc, 0), 101);
  // Only the modeless dialog of the fixture is left.
  int dialogs = 0;
  for (HWND h : TopLevelWindows()) dialogs += GetKind(h) == Kind::Dialog;
  EXPECT_EQ(dialogs, 1);
}

}  // namespace
