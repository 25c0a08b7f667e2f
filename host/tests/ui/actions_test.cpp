// Action tables, menus and the floating toolbar: one action runs alike from
// its table, its menu item and its toolbar button.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/ui/actions.h"
#include "host/ui/cui.h"
#include "host/ui/menus.h"
#include "host/ui/user.h"
#include "ui_test_util.h"

using namespace vorel_ui;

namespace {

constexpr ActionTableId kTable = 0x2B8C643E;

class RecordingCB : public ActionCallback {
 public:
  BOOL ExecuteAction(int id) override {
    ran.push_back(id);
    return TRUE;
  }
  std::vector<int> ran;
};

ActionTable* MakeTable() {
  static const ActionDescription descs[] = {
      {40006, 1, 1, 9}, {40001, 2, 2, 9}, {-25512, 3, 3, 9}};
  auto strings = [](int id) -> std::string {
    switch (id) {
      case 1: return "GO!";
      case 2: return "Hold time";
      case 3: return "Object manager";
      case 9: return "Vorel_af";
      default: return "";
    }
  };
  auto* t = new ActionTable(kTable, kTable, "Vorel_af", 101, 3, descs, nullptr, strings);
  t->SetAccelerators({{65, ACCEL_CONTROL | ACCEL_ALT, 40006}, {81, ACCEL_ALT, 40024}});
  return t;
}

// The frame handler a plug-in installs: commands 10000.. map to actions.
class FrameHandler : public CUIFrameMsgHandler {
 public:
  explicit FrameHandler(ActionCallback* cb) : cb_(cb) {}
  int ProcessMessage(UINT msg, WPARAM w, LPARAM l) override {
    if (msg == WM_COMMAND && LOWORD(w) == 10001) return cb_->ExecuteAction(40006);
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(l)->code == TTN_NEEDTEXTA) {
      auto* tt = reinterpret_cast<TOOLTIPTEXTA*>(l);
      std::strcpy(tt->szText, tt->hdr.idFrom == 10001 ? "GO tip" : "other");
    }
    return 0;
  }

 private:
  ActionCallback* cb_;
};

class ActionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetForTest(); }
  RecordingCB cb;
};

TEST_F(ActionsTest, TableItemsTextsAndNegativeIds) {
  ActionTable* t = MakeTable();
  EXPECT_EQ(t->Count(), 3);
  ASSERT_NE(t->GetAction(-25512), nullptr);
  EXPECT_EQ(t->GetAction(-25512)->GetMenuText(), "Object manager");
  EXPECT_EQ(t->GetAction(40006)->GetCategoryText(), "Vorel_af");
  EXPECT_EQ(t->GetAction(40023), nullptr);
  EXPECT_FALSE(t->GetAction(40006)->ExecuteAction());  // no callback yet
  delete t;
}

TEST_F(ActionsTest, ActivationBeforeRegistrationIsKept) {
  IActionManager* am = GetActionManager();
  EXPECT_FALSE(am->ActivateActionTable(&cb, kTable));
  EXPECT_EQ(am->FindTable(kTable), nullptr);
  EXPECT_TRUE(am->RegisterActionTable(MakeTable()));
  EXPECT_TRUE(am->RegisterActionContext(kTable, "Vorel_af"));
  EXPECT_FALSE(am->RegisterActionContext(kTable, "again"));
  ASSERT_NE(am->FindTable(kTable), nullptr);
  EXPECT_TRUE(am->ExecuteAction(kTable, -25512));
  EXPECT_TRUE(am->PressShortcut(65, ACCEL_CONTROL | ACCEL_ALT));
  // The accelerator holds the unsigned reading of -25512.
  EXPECT_TRUE(am->PressShortcut(81, ACCEL_ALT));
  EXPECT_FALSE(am->ExecuteAction(kTable, 12345));
  EXPECT_EQ(cb.ran, (std::vector<int>{-25512, 40006, -25512}));
  EXPECT_TRUE(am->DeactivateActionTable(&cb, kTable));
  EXPECT_FALSE(am->ExecuteAction(kTable, 40006));
}

TEST_F(ActionsTest, MenusFindCreateFillAndRunPaths) {
  IActionManager* am = GetActionManager();
  am->RegisterActionTable(MakeTable());
  am->ActivateActionTable(&cb, kTable);
  IMenuManager* mm = GetMenuManager();
  EXPECT_EQ(mm->FindMenu("Vorel"), nullptr);
  IMenu* top = GetIMenu();
  top->SetTitle("Vorel");
  EXPECT_TRUE(mm->RegisterMenu(top));
  EXPECT_FALSE(mm->RegisterMenu(top));
  IMenu* sub = GetIMenu();
  sub->SetTitle("Sources");
  mm->RegisterMenu(sub);
  ActionTable* t = am->FindTable(kTable);
  for (int cmd : {40006, 40001}) {
    IMenuItem* it = GetIMenuItem();
    it->SetActionItem(t->GetAction(cmd));
    top->AddItem(it, -1);
  }
  IMenuItem* subItem = GetIMenuItem();
  subItem->SetSubMenu(sub);
  top->AddItem(subItem, 1);
  IMenuItem* om = GetIMenuItem();
  om->SetActionItem(t->GetAction(-25512));
  sub->AddItem(om);
  ASSERT_EQ(top->NumItems(), 3);
  EXPECT_EQ(top->GetItem(1)->GetTitle(), "Sources");
  EXPECT_EQ(mm->FindMenu("Vorel"), top);

  EXPECT_TRUE(mm->RunMenuPath("Vorel/Hold time"));
  EXPECT_TRUE(mm->RunMenuPath("Vorel/Sources/Object manager"));
  EXPECT_FALSE(mm->RunMenuPath("Vorel/Nothing"));
  EXPECT_FALSE(mm->RunMenuPath("Vorel/Sources"));
  EXPECT_EQ(cb.ran, (std::vector<int>{40001, -25512}));
  // A title with a slash in it is still one step of the path.
  IMenu* slashed = GetIMenu();
  slashed->SetTitle("Start/Stop");
  IMenuItem* slashedItem = GetIMenuItem();
  slashedItem->SetSubMenu(slashed);
  top->AddItem(slashedItem, -1);
  IMenuItem* go = GetIMenuItem();
  go->SetActionItem(t->GetAction(40006));
  slashed->AddItem(go);
  EXPECT_TRUE(mm->RunMenuPath("Vorel/Start/Stop/GO!"));
  EXPECT_FALSE(mm->RunMenuPath("Vorel/Start/GO!"));
  EXPECT_EQ(cb.ran, (std::vector<int>{40001, -25512, 40006}));

  // Emptying a menu the way a second load does leaves no duplicates.
  while (top->NumItems() > 0) top->RemoveItem(0);
  EXPECT_EQ(top->NumItems(), 0);
}

TEST_F(ActionsTest, ToolbarButtonsReachTheFrameHandler) {
  HWND main = CreateHeadlessWindow(Kind::Window, "HostMain", "host", nullptr, 0, RECT{0, 0, 800, 600});
  ICUIFrameMgr* fm = GetCUIFrameMgr();
  fm->SetImageSize(24);
  HIMAGELIST il = ImageList_Create(24, 24, ILC_COLOR24 | ILC_MASK, 5, 0);
  RegisterIconFile("Vorel_24", 25);
  EXPECT_TRUE(LoadMAXFileIcon("Vorel_24", il, 0, FALSE));
  EXPECT_EQ(ImageList_GetImageCount(il), 25);
  EXPECT_FALSE(LoadMAXFileIcon("missing_24", il, 0, FALSE));

  HWND frame = CreateCUIFrameWindow(main, "Vorel Toolbar", 0, 0, 250, 100);
  ICUIFrame* f = GetICUIFrame(frame);
  f->SetContentType(CUI_TOOLBAR);
  f->SetPosType(CUI_ALL_DOCK | CUI_FLOATABLE | CUI_SM_HANDLES);
  HWND tbw = CreateWindow("CustToolbar", "", WS_CHILD | WS_VISIBLE, 0, 0, 250, 100, frame, nullptr,
                          nullptr, nullptr);
  ICustToolbar* tb = GetICustToolbar(tbw);
  ASSERT_NE(tb, nullptr);
  // Linking and installing the same handler leaves the frame one handler.
  auto* handler = new FrameHandler(&cb);
  tb->LinkToCUIFrame(frame, handler);
  tb->SetImage(il);
  f->InstallMsgHandler(handler);
  EXPECT_EQ(f->GetMsgHandler(), handler);
  tb->AddTool(ToolButtonItem(CTB_CHECKBUTTON, 6, 6, 6, 6, 32, 31, 10006));
  tb->AddTool(ToolSeparatorItem(8));
  tb->AddTool(ToolButtonItem(CTB_PUSHBUTTON, 1, 1, 1, 1, 32, 31, 10001));
  // Insert a button with its separator in front of index 2.
  tb->AddTool(ToolSeparatorItem(8), 2);
  tb->AddTool(ToolButtonItem(CTB_PUSHBUTTON, 13, 13, 13, 13, 32, 31, 10013), 2);
  EXPECT_EQ(tb->GetNumItems(), 5);
  EXPECT_EQ(tb->GetItemID(2), 10013);
  EXPECT_EQ(tb->GetItemID(4), 10001);
  EXPECT_EQ(tb->GetItem(2)->width, 32);

  EXPECT_TRUE(Click(tb->GetItemHwnd(10001)));
  EXPECT_EQ(cb.ran, (std::vector<int>{40006}));
  EXPECT_EQ(RequestTooltip(frame, 10001), "GO tip");
  ICustButton* check = tb->GetICustButton(10006);
  check->SetCheck(TRUE);
  EXPECT_TRUE(check->IsChecked());
  ReleaseICustButton(check);
  EXPECT_EQ(tb->GetICustButton(-1), nullptr);

  tb->DeleteTools(2, 2);
  EXPECT_EQ(tb->GetNumItems(), 3);
  EXPECT_EQ(tb->FindItem(10013), -1);

  // Found by name, hidden and shown again, floated and docked.
  ICUIFrame* again = fm->GetICUIFrame("Vorel Toolbar");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetHwnd(), frame);
  again->Hide(TRUE);
  EXPECT_TRUE(again->IsHidden());
  again->Hide(FALSE);
  EXPECT_FALSE(again->IsHidden());
  EXPECT_TRUE(again->IsFloating());
  fm->DockCUIWindow(frame, CUI_LEFT_DOCK);
  EXPECT_FALSE(again->IsFloating());
  EXPECT_EQ(again->GetCurPosition(), int(CUI_LEFT_DOCK));
  int layouts = fm->LayoutCount();
  fm->RecalcLayout(TRUE);
  EXPECT_EQ(fm->LayoutCount(), layouts + 1);
  ReleaseICUIFrame(again);
  ReleaseICUIFrame(f);
  ReleaseICustToolbar(tb);

  // Destroying the frame takes its toolbar and handler with it.
  DestroyWindow(frame);
  EXPECT_EQ(fm->GetICUIFrame("Vorel Toolbar"), nullptr);
  EXPECT_FALSE(IsWindow(tbw));
}

}  // namespace
