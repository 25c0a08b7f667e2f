// Rollouts bound to a parameter block: both directions of the binding, the
// user procedure, enabling, and the procedure's life.
#include <gtest/gtest.h>

#include <sstream>

#include "host/ui/custctrl.h"
#include "host/ui/script.h"
#include "host/ui/ui_host.h"
#include "host/ui/user.h"
#include "test_plugin.h"

using namespace vorel_ui;
using namespace uitest;

namespace {

class ParamMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetUI();
    RegisterTestPlugin();
    Log() = ProcLog();
    ip = UI();
    obj = static_cast<TestObject*>(TestClassDesc()->Create(false));
    TestClassDesc()->MakeAutoParamBlocks(obj);
    node = ip->CreateObjectNode(obj, "Fluid01");
    ip->BeginEditParams(obj);
    anim = FindDialog("#500");
    cache = FindDialog("Cache");
  }
  void TearDown() override {
    ip->EndEditParams();
    ip->DeleteNode(node);
  }
  UIInterface* ip = nullptr;
  TestObject* obj = nullptr;
  INode* node = nullptr;
  HWND anim = nullptr, cache = nullptr;
};

TEST_F(ParamMapTest, RolloutsOpenInOrderWithTheUserProcInitialised) {
  ASSERT_NE(anim, nullptr);
  ASSERT_NE(cache, nullptr);
  std::vector<RollupPage> pages = RollupPages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].hwnd, anim);
  EXPECT_TRUE(pages[0].open);
  EXPECT_FALSE(pages[1].open);
  EXPECT_EQ(obj->pblock->GetMap(0)->GetHWnd(), anim);
  // The procedure arrived after the rollout opened and still got its init.
  ASSERT_FALSE(Log().messages.empty());
  EXPECT_EQ(Log().messages.front(), UINT(WM_INITDIALOG));
  EXPECT_EQ(ControlTooltip(GetDlgItem(anim, 1014)), "Launch the solver.");
  // Controls show the defaults.
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1002)), "10.000");
  EXPECT_EQ(IsDlgButtonChecked(cache, 1041), 1u);
  EXPECT_EQ(ReadControl(GetDlgItem(cache, 3077)), "cache");
}

TEST_F(ParamMapTest, SpinnerChangeClampsAndReachesTheBlockBeforeTheProc) {
  EXPECT_TRUE(SetSpinner(GetDlgItem(anim, 1002), 250.0));
  EXPECT_FLOAT_EQ(obj->pblock->GetFloat(kRate), 100.0f);
  EXPECT_FLOAT_EQ(Log().rateAtSpinner, 100.0f);
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1001)), "100.000");
  // Typing into the spinner's edit does the same.
  EXPECT_TRUE(TypeText(GetDlgItem(cache, 1003), "5000"));
  EXPECT_EQ(obj->pblock->GetInt(kLoop), 1000);
}

TEST_F(ParamMapTest, BlockChangesReachTheControls) {
  obj->pblock->SetValue(kRate, 0, 42.5f);
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1002)), "42.500");
  obj->pblock->SetValue(kMode, 0, 2);
  EXPECT_EQ(IsDlgButtonChecked(cache, 1042), 1u);
  EXPECT_EQ(IsDlgButtonChecked(cache, 1041), 0u);
  obj->pblock->SetValue(kShow, 0, 1);
  ICustButton* b = GetICustButton(GetDlgItem(anim, 1019));
  EXPECT_TRUE(b->IsChecked());
  EXPECT_EQ(b->GetType(), CBT_CHECK);
  ReleaseICustButton(b);
  obj->pblock->SetValue(kDir, 0, "other");
  EXPECT_EQ(ReadControl(GetDlgItem(cache, 3077)), "other");
}

TEST_F(ParamMapTest, ATimeChangeShowsTheAnimatedValueOfTheNewTime) {
  obj->pblock->SetKey(kRate, 0, 5.0f);
  obj->pblock->SetKey(kRate, 1600, 7.0f);
  ip->SetTime(1600, false);
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1002)), "7.000");
  ip->SetTime(0, false);
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1002)), "5.000");
}

TEST_F(ParamMapTest, ButtonRunsTheProcWhichChangesAnotherControl) {
  EXPECT_TRUE(Click(GetDlgItem(anim, 1014)));
  ASSERT_FALSE(Log().commands.empty());
  EXPECT_EQ(Log().commands.back(), 1014);
  EXPECT_EQ(ReadControl(GetDlgItem(anim, 1000)), "pressed");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(anim, 1002)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(anim, 1001)));
  EXPECT_FALSE(SetSpinner(GetDlgItem(anim, 1002), 3.0));
  obj->pblock->GetMap(0)->Enable(kRate, TRUE);
  EXPECT_TRUE(SetSpinner(GetDlgItem(anim, 1002), 3.0));
}

TEST_F(ParamMapTest, CheckRadioAndEditControlsWriteTheBlock) {
  EXPECT_TRUE(Click(GetDlgItem(anim, 1019)));
  EXPECT_EQ(obj->pblock->GetInt(kShow), 1);
  EXPECT_EQ(Log().showMeshAtCommand, 1);  // the procedure sees the new value
  EXPECT_TRUE(Click(GetDlgItem(cache, 1042)));
  EXPECT_EQ(obj->pblock->GetInt(kMode), 2);
  EXPECT_TRUE(TypeText(GetDlgItem(cache, 3077), "/tmp/vorel cache"));
  EXPECT_STREQ(obj->pblock->GetStr(kDir), "/tmp/vorel cache");
}

TEST_F(ParamMapTest, NodeListRemoveButtonDeletesTheHighlightedEntry) {
  TestObject* other = static_cast<TestObject*>(TestClassDesc()->Create(false));
  TestClassDesc()->MakeAutoParamBlocks(other);
  INode* a = ip->CreateObjectNode(other, "Box01");
  INode* b = ip->CreateObjectNode(CreateNewTriObject(), "Box02");
  obj->pblock->Append(kNodes, 1, &a);
  obj->pblock->Append(kNodes, 1, &b);
  HWND list = GetDlgItem(cache, 1080);
  ASSERT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 2);
  EXPECT_TRUE(SelectItem(list, 0));
  EXPECT_TRUE(Click(GetDlgItem(cache, 1082)));
  EXPECT_EQ(obj->pblock->Count(kNodes), 1);
  EXPECT_EQ(obj->pblock->GetINode(kNodes, 0, 0), b);
  EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 1);
  // The add button picks nodes into the table.
  EXPECT_TRUE(Click(GetDlgItem(cache, 1081)));
  EXPECT_NE(ip->GetCurPickMode(), nullptr);
  EXPECT_TRUE(ScriptPickNode(a));
  EXPECT_EQ(obj->pblock->Count(kNodes), 2);
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  ip->DeleteNode(a);
  ip->DeleteNode(b);
}

TEST_F(ParamMapTest, NodeListReplaceButtonPicksOverTheHighlightedEntry) {
  INode* a = ip->CreateObjectNode(CreateNewTriObject(), "Box01");
  INode* b = ip->CreateObjectNode(CreateNewTriObject(), "Box02");
  INode* c = ip->CreateObjectNode(CreateNewTriObject(), "Box03");
  obj->pblock->Append(kNodes, 1, &a);
  obj->pblock->Append(kNodes, 1, &b);
  HWND list = GetDlgItem(cache, 1080);
  HWND replace = GetDlgItem(cache, 1083);
  // Nothing highlighted: nothing to replace.
  SendMessage(list, LB_SETCURSEL, WPARAM(-1), 0);
  EXPECT_TRUE(Click(replace));
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  EXPECT_TRUE(SelectItem(list, 1));
  EXPECT_TRUE(Click(replace));
  ASSERT_NE(ip->GetCurPickMode(), nullptr);
  EXPECT_FALSE(ScriptPickNode(a));  // already another entry of the table
  EXPECT_TRUE(ScriptPickNode(c));
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  ASSERT_EQ(obj->pblock->Count(kNodes), 2);
  EXPECT_EQ(obj->pblock->GetINode(kNodes, 0, 0), a);
  EXPECT_EQ(obj->pblock->GetINode(kNodes, 0, 1), c);
  char row[256] = {};
  SendMessage(list, LB_GETTEXT, 1, LPARAM(row));
  EXPECT_STREQ(row, "Box03");
  for (INode* n : {a, b, c}) ip->DeleteNode(n);
}

TEST_F(ParamMapTest, ClosingDeletesTheProcAndForgetsIt) {
  ip->EndEditParams();
  EXPECT_EQ(Log().deleted, 1);
  EXPECT_EQ(TestBlockDesc()->GetUserDlgProc(0), nullptr);
  EXPECT_FALSE(IsWindow(anim));
  EXPECT_TRUE(RollupPages().empty());
  EXPECT_EQ(obj->pblock->GetMap(0), nullptr);
  // Opening again gives a fresh procedure and no stale one.
  ip->BeginEditParams(obj);
  EXPECT_NE(FindDialog("Animation"), nullptr);
  EXPECT_TRUE(Click(GetDlgItem(FindDialog("Animation"), 1014)));
}

TEST_F(ParamMapTest, AProcThatClosesItsOwnRolloutIsDeletedAfterItReturns) {
  EXPECT_TRUE(Click(GetDlgItem(anim, 1021)));
  EXPECT_FALSE(IsWindow(anim));
  EXPECT_FALSE(IsWindow(cache));
  EXPECT_EQ(Log().deleted, 1);
  EXPECT_EQ(Log().commands.back(), 1021);
}

TEST_F(ParamMapTest, ANodePickFromTheRolloutEndsWithIt) {
  EXPECT_TRUE(Click(GetDlgItem(cache, 1081)));
  ASSERT_NE(ip->GetCurPickMode(), nullptr);
  ip->EndEditParams();
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
}

TEST_F(ParamMapTest, AProcSharedByTwoMapsIsDeletedOnceWithTheLast) {
  ParamMap2UserDlgProc* p = obj->pblock->GetMap(0)->GetUserDlgProc();
  ASSERT_NE(p, nullptr);
  obj->pblock->GetMap(1)->SetUserDlgProc(p);
  DestroyCPParamMap2(obj->pblock->GetMap(0));
  EXPECT_EQ(Log().deleted, 0);
  EXPECT_TRUE(IsWindow(cache));
  ip->EndEditParams();
  EXPECT_EQ(Log().deleted, 1);
}

LPARAM g_pageParam = 0;
INT_PTR PageProc(HWND, UINT msg, WPARAM, LPARAM l) {
  if (msg == WM_INITDIALOG) g_pageParam = l;
  return FALSE;
}

TEST_F(ParamMapTest, PlainRollupPagesTakeTheirCategoryPlace) {
  // Plug-ins reach the panel through the core interface.
  Interface* core = GetCOREInterface();
  HWND page = core->AddRollupPage(nullptr, MAKEINTRESOURCE(501), PageProc, "Supports Objects of Type",
                                1234, APPENDROLL_CLOSED, ROLLUP_CAT_SYSTEM);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(g_pageParam, 1234);
  std::vector<RollupPage> pages = RollupPages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].hwnd, page);  // the system category comes first
  EXPECT_FALSE(pages[0].open);
  EXPECT_EQ(pages[0].title, "Supports Objects of Type");
  EXPECT_EQ(AddRollupPage(nullptr, MAKEINTRESOURCE(777), PageProc, "none"), nullptr);
  core->RollupMouseMessage(page, WM_LBUTTONDOWN, 0, 0);
  core->DeleteRollupPage(page);
  EXPECT_FALSE(IsWindow(page));
  EXPECT_EQ(RollupPages().size(), 2u);
}

TEST_F(ParamMapTest, ScriptCommandsDriveTheRollouts) {
  std::ostringstream out;
  std::string err;
  EXPECT_TRUE(RunUiCommand("set Animation 1002 55", out, &err)) << err;
  EXPECT_FLOAT_EQ(obj->pblock->GetFloat(kRate), 55.0f);
  EXPECT_TRUE(RunUiCommand("set Cache 1040 1", out, &err)) << err;
  EXPECT_EQ(obj->pblock->GetInt(kMode), 0);
  EXPECT_TRUE(RunUiCommand("set Cache 3077 \"my dir\"", out, &err)) << err;
  EXPECT_STREQ(obj->pblock->GetStr(kDir), "my dir");
  EXPECT_TRUE(RunUiCommand("press #500 1014", out, &err)) << err;
  EXPECT_TRUE(RunUiCommand("read Animation 1000", out, &err)) << err;
  EXPECT_EQ(out.str(), "pressed\n");
  out.str("");
  EXPECT_TRUE(RunUiCommand("show Animation", out, &err));
  EXPECT_NE(out.str().find("1002 spinner (disabled): 55.000"), std::string::npos) << out.str();
  EXPECT_FALSE(RunUiCommand("set Animation 1002 abc", out, &err));
  EXPECT_FALSE(RunUiCommand("press Nowhere 1", out, &err));
  EXPECT_EQ(err, "no open dialog \"Nowhere\"");
  EXPECT_FALSE(RunUiCommand("frobnicate", out, &err));
  out.str("");
  EXPECT_TRUE(RunUiCommand("dialogs", out, &err));
  EXPECT_EQ(out.str(), "\"Animation\" #500 (rollout)\n\"Cache\" #501 (rollout, closed)\n");
  EXPECT_TRUE(RunUiCommand("close", out, &err));
  EXPECT_EQ(FindDialog("Animation"), nullptr);
  EXPECT_TRUE(RunUiCommand("open Fluid01", out, &err)) << err;
  EXPECT_NE(FindDialog("Animation"), nullptr);
}

}  // namespace
