// The host's custom controls: spinner, custom edit, custom button, swatch.
#include <gtest/gtest.h>

#include <vector>

#include "host/ui/custctrl.h"
#include "host/ui/user.h"
#include "host/ui/window.h"
#include "ui_test_util.h"

using namespace vorel_ui;

namespace {

struct Msg {
  UINT msg;
  int id;
  int hi;
};
std::vector<Msg> g_msgs;

INT_PTR Proc(HWND, UINT msg, WPARAM w, LPARAM) {
  if (msg == CC_SPINNER_CHANGE || msg == CC_SPINNER_BUTTONUP || msg == WM_CUSTEDIT_ENTER ||
      msg == WM_COMMAND || msg == CC_COLOR_CHANGE)
    g_msgs.push_back({msg, LOWORD(w), HIWORD(w)});
  return FALSE;
}

class CustCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetForTest();
    g_msgs.clear();
    DialogTemplate t;
    t.id = 220;
    t.title = "Source params";
    t.controls = {{1503, Kind::CustEdit, ""},    {1504, Kind::Spinner, ""},
                  {3077, Kind::CustEdit, ""},    {1015, Kind::CustButton, "Select"},
                  {1102, Kind::CustButton, ""},  {1200, Kind::ColorSwatch, ""},
                  {1300, Kind::Edit, ""}};
    RegisterDialogTemplate(nullptr, t);
    dlg = CreateDialogParam(nullptr, MAKEINTRESOURCE(220), nullptr, Proc, 0);
    ASSERT_NE(dlg, nullptr);
  }
  HWND dlg = nullptr;
};

TEST_F(CustCtrlTest, SpinnerClampsLinksItsEditAndNotifies) {
  ISpinnerControl* s = SetupIntSpinner(dlg, 1504, 1503, 1, 20, 5);
  ASSERT_NE(s, nullptr);
  char buf[32];
  GetDlgItemText(dlg, 1503, buf, sizeof buf);
  EXPECT_STREQ(buf, "5");
  EXPECT_TRUE(g_msgs.empty());  // setting up sends nothing
  EXPECT_TRUE(SetSpinner(GetDlgItem(dlg, 1504), 50));
  EXPECT_EQ(s->GetIVal(), 20);
  GetDlgItemText(dlg, 1503, buf, sizeof buf);
  EXPECT_STREQ(buf, "20");
  ASSERT_GE(g_msgs.size(), 2u);
  EXPECT_EQ(g_msgs[0].msg, UINT(CC_SPINNER_CHANGE));
  EXPECT_EQ(g_msgs[0].id, 1504);
  EXPECT_EQ(g_msgs.back().msg, UINT(CC_SPINNER_BUTTONUP));

  // Typing into the linked edit drives the spinner; junk restores the value.
  g_msgs.clear();
  EXPECT_TRUE(TypeText(GetDlgItem(dlg, 1503), "-7"));
  EXPECT_EQ(s->GetIVal(), 1);
  EXPECT_TRUE(TypeText(GetDlgItem(dlg, 1503), "abc"));
  EXPECT_EQ(s->GetIVal(), 1);
  GetDlgItemText(dlg, 1503, buf, sizeof buf);
  EXPECT_STREQ(buf, "1");
  bool sawChange = false;
  for (const Msg& m : g_msgs) sawChange = sawChange || m.msg == CC_SPINNER_CHANGE;
  EXPECT_TRUE(sawChange);

  // Disabling the spinner disables its edit; a disabled spinner takes nothing.
  s->Disable();
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, 1503)));
  EXPECT_FALSE(SetSpinner(GetDlgItem(dlg, 1504), 3));
  ReleaseISpinner(s);
}

TEST_F(CustCtrlTest, FloatSpinnerAndPositiveTypes) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, 1504));
  s->LinkToEdit(GetDlgItem(dlg, 1503), EDITTYPE_POS_FLOAT);
  s->SetLimits(-10.0f, 10.0f);
  s->SetValue(-3.0f, FALSE);
  EXPECT_FLOAT_EQ(s->GetFVal(), 0.0f);  // positive types never go below zero
  s->SetValue(2.5f, TRUE);
  EXPECT_FLOAT_EQ(s->GetFVal(), 2.5f);
  EXPECT_EQ(g_msgs.back().msg, UINT(CC_SPINNER_CHANGE));
  ReleaseISpinner(s);
}

TEST_F(CustCtrlTest, GettersRefuseOtherKindsAndGoneWindows) {
  EXPECT_EQ(GetISpinner(GetDlgItem(dlg, 1300)), nullptr);
  EXPECT_EQ(GetICustEdit(GetDlgItem(dlg, 1300)), nullptr);
  EXPECT_EQ(GetICustButton(GetDlgItem(dlg, 1503)), nullptr);
  ICustButton* b = GetICustButton(GetDlgItem(dlg, 1015));
  ASSERT_NE(b, nullptr);
  DestroyWindow(dlg);
  b->SetCheck(TRUE);  // harmless on a gone window
  EXPECT_FALSE(b->IsChecked());
  ReleaseICustButton(b);
}

TEST_F(CustCtrlTest, CustomEditReportsReturnOnlyWhenAsked) {
  ICustEdit* e = GetICustEdit(GetDlgItem(dlg, 3077));
  EXPECT_TRUE(TypeText(GetDlgItem(dlg, 3077), "/tmp/cache"));
  for (const Msg& m : g_msgs) EXPECT_NE(m.msg, UINT(WM_CUSTEDIT_ENTER));
  EXPECT_TRUE(e->GotReturn());
  EXPECT_FALSE(e->GotReturn());
  e->WantReturn(TRUE);
  g_msgs.clear();
  TypeText(GetDlgItem(dlg, 3077), "/tmp/other");
  bool enter = false;
  for (const Msg& m : g_msgs) enter = enter || (m.msg == WM_CUSTEDIT_ENTER && m.id == 3077);
  EXPECT_TRUE(enter);
  EXPECT_EQ(e->GetText(), "/tmp/other");
  e->SetText(2.5f, 2);
  EXPECT_EQ(e->GetText(), "2.50");
  BOOL ok = FALSE;
  EXPECT_FLOAT_EQ(e->GetFloat(&ok), 2.5f);
  EXPECT_TRUE(ok);
  ReleaseICustEdit(e);
}

TEST_F(CustCtrlTest, CustomButtonCheckTooltipAndFlyouts) {
  HWND h = GetDlgItem(dlg, 1102);
  ICustButton* b = GetICustButton(h);
  b->SetType(CBT_CHECK);
  b->SetHighlightColor(RGB(0xFF, 0xC0, 0xC0));
  b->SetTooltip(TRUE, "Pick an object from scene viewport to adopt object's mapping");
  EXPECT_TRUE(Click(h));
  EXPECT_TRUE(b->IsChecked());
  EXPECT_TRUE(Click(h));
  EXPECT_FALSE(b->IsChecked());
  EXPECT_EQ(b->GetHighlightColor(), COLORREF(0xC0C0FF));
  EXPECT_EQ(ControlTooltip(h), "Pick an object from scene viewport to adopt object's mapping");
  b->SetTooltip(FALSE, "");
  EXPECT_EQ(ControlTooltip(h), "");

  FlyOffData fly[3] = {{13, 13, 13, 13}, {14, 14, 14, 14}, {15, 15, 15, 15}};
  b->SetType(CBT_PUSH);
  b->SetFlyOff(3, fly, 300, 1, 6, 1);
  EXPECT_EQ(b->GetCurFlyOff(), 1);
  EXPECT_EQ(b->GetFlyOffCount(), 3);
  g_msgs.clear();
  EXPECT_TRUE(ChooseFlyOff(h, 2));
  EXPECT_EQ(b->GetCurFlyOff(), 2);
  EXPECT_EQ(g_msgs.back().msg, UINT(WM_COMMAND));
  EXPECT_FALSE(ChooseFlyOff(h, 3));
  b->SetFlyOff(2, fly, 300, 7);  // a start outside the states falls back to 0
  EXPECT_EQ(b->GetCurFlyOff(), 0);
  ReleaseICustButton(b);
}

TEST_F(CustCtrlTest, ColourSwatchAndColourManager) {
  EXPECT_TRUE(PickColor(GetDlgItem(dlg, 1200), RGB(1, 2, 3)));
  EXPECT_EQ(g_msgs.back().msg, UINT(CC_COLOR_CHANGE));
  IColorSwatch* s = GetIColorSwatch(GetDlgItem(dlg, 1200));
  EXPECT_EQ(s->GetColor(), RGB(1, 2, 3));
  ReleaseIColorSwatch(s);
  EXPECT_EQ(ColorMan()->GetColor(38), ColorMan()->GetColor(38));
  ColorMan()->SetColor(38, RGB(9, 9, 9));
  EXPECT_EQ(ColorMan()->GetColor(38), RGB(9, 9, 9));
}

}  // namespace
