// The menus and the floating toolbar: menu contents without duplicates,
// toolbar items and sizes, re-showing, the facing button, commands and
// tooltips by flyout state.
#include <gtest/gtest.h>

#include <string>

#include "fluid_plugin/menu_toolbar.h"
#include "fluid_plugin/vor_actions.h"
#include "fluid_plugin/vorel_classes.h"

namespace {

class MenuToolbar : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildVorelClasses();
    for (int i = 0; i < kVorelClassCount; ++i)
      if (ClassDesc* d = VorelClassDesc(i))
        if (!ClassDirectory::Get().FindClass(d->SuperClassID(), d->ClassID()))
          ClassDirectory::Get().AddClass(d);
    ResetToolbarState();
    vorel_ui::ResetCUI();
    GetCUIFrameMgr()->SetImageSize(16);
  }
  void TearDown() override {
    if (HWND tb = ToolbarWindow()) DestroyWindow(GetParent(tb));
    ResetToolbarState();
    vorel_ui::ResetCUI();
    GetCUIFrameMgr()->SetImageSize(16);
  }
  static int Count(const char* title) {
    IMenu* m = GetMenuManager()->FindMenu(title);
    return m ? m->NumItems() : -1;
  }
  static ICustToolbar* Toolbar() { return GetICustToolbar(ToolbarWindow()); }
  static std::string Tooltip(int id) {
    TOOLTIPTEXTA t;
    t.hdr.code = TTN_NEEDTEXTA;
    t.hdr.idFrom = UINT_PTR(id);
    TBMsgHandler h;
    h.ProcessMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t));
    return t.lpszText ? t.lpszText : "";
  }
};

TEST_F(MenuToolbar, MenusHoldExactlyTheirItemsAfterEveryBuild) {
  // Earlier tests of this process may have reset the host's tables.
  if (!GetActionManager()->FindTable(kVorelActionContextId))
    GetActionManager()->RegisterActionTable(BuildActionTable());
  ASSERT_NE(GetActionManager()->FindTable(kVorelActionContextId), nullptr);
  BuildVorelMenus();
  BuildVorelMenus();
  EXPECT_EQ(Count("Vorel"), 10);
  EXPECT_EQ(Count("Sources"), 3);
  EXPECT_EQ(Count("Vorel-Surface"), 4);
  EXPECT_EQ(Count("Vorel-Particles"), 6);
  EXPECT_EQ(Count("Display Type"), 4);
  EXPECT_EQ(Count("Render Type"), 4);
  EXPECT_EQ(Count("Facing Orientation"), 3);
  IMenu* vorel = GetMenuManager()->FindMenu("Vorel");
  EXPECT_EQ(vorel->GetItem(0)->GetActionItem()->GetId(), kCmdGo);
  EXPECT_EQ(vorel->GetItem(2)->GetSubMenu(), GetMenuManager()->FindMenu("Sources"));
  EXPECT_EQ(vorel->GetItem(9)->GetActionItem()->GetId(), kCmdNewPelliqor);
  IMenu* render = GetMenuManager()->FindMenu("Render Type");
  EXPECT_EQ(render->GetItem(2)->GetActionItem()->GetId(), kCmdRenderInstanced);
  // A command the table does not hold adds nothing.
  EXPECT_FALSE(AddActionMenuItem(GetActionManager()->FindTable(kVorelActionContextId), render, 12345));
  EXPECT_EQ(render->NumItems(), 4);
}

TEST_F(MenuToolbar, BuildsTheToolbarOnceAndShowsItAgain) {
  CreateToolbar(2);
  HWND tbw = ToolbarWindow();
  ASSERT_NE(tbw, nullptr);
  ICustToolbar* tb = Toolbar();
  ASSERT_EQ(tb->GetNumItems(), 27);
  EXPECT_EQ(tb->GetItemID(0), kTbClipBox);
  EXPECT_EQ(tb->GetItem(0)->type, CTB_CHECKBUTTON);
  EXPECT_EQ(tb->GetItem(0)->width, 23);
  EXPECT_EQ(tb->GetItem(0)->height, 22);
  EXPECT_EQ(tb->GetItem(1)->type, CTB_SEPARATOR);
  EXPECT_EQ(tb->GetItem(1)->width, 8);
  EXPECT_EQ(tb->GetItemID(26), kTbHelp);
  ReleaseICustToolbar(tb);
  ICUIFrame* f = GetCUIFrameMgr()->GetICUIFrame(kToolbarFrameName);
  ASSERT_NE(f, nullptr);
  f->Hide(TRUE);
  ReleaseICUIFrame(f);
  CreateToolbar(0);
  EXPECT_EQ(ToolbarWindow(), tbw);
  f = GetCUIFrameMgr()->GetICUIFrame(kToolbarFrameName);
  EXPECT_FALSE(f->IsHidden());
  ReleaseICUIFrame(f);

  EXPECT_EQ(ToolbarDockCode(1), 2);
  EXPECT_EQ(ToolbarDockCode(2), 4);
  EXPECT_EQ(ToolbarDockCode(0), 8);
}

TEST_F(MenuToolbar, LargeIconsMakeLargeButtons) {
  GetCUIFrameMgr()->SetImageSize(24);
  CreateToolbar(0);
  ICustToolbar* tb = Toolbar();
  ASSERT_NE(tb, nullptr);
  EXPECT_EQ(tb->GetItem(0)->width, 32);
  EXPECT_EQ(tb->GetItem(0)->height, 31);
  ReleaseICustToolbar(tb);
}

TEST_F(MenuToolbar, FacingButtonComesAndGoesOnce) {
  ShowFacingToolbarButton(1);  // no toolbar: nothing
  EXPECT_FALSE(FacingButtonPresent());
  CreateToolbar(0);
  ShowFacingToolbarButton(2);
  ShowFacingToolbarButton(0);
  ICustToolbar* tb = Toolbar();
  EXPECT_EQ(tb->GetNumItems(), 29);
  EXPECT_EQ(tb->GetItemID(6), kTbFacing);
  EXPECT_EQ(tb->GetItem(7)->type, CTB_SEPARATOR);
  EXPECT_EQ(tb->GetItemID(8), kTbSolitude);
  EXPECT_EQ(Tooltip(kTbFacing).substr(0, 7), "SURFACE");
  HideFacingToolbarButton();
  HideFacingToolbarButton();
  EXPECT_EQ(tb->GetNumItems(), 27);
  EXPECT_EQ(tb->GetItemID(6), kTbSolitude);
  ReleaseICustToolbar(tb);
}

TEST_F(MenuToolbar, CommandsAndTooltipsFollowTheFlyoutState) {
  EXPECT_EQ(ToolbarCommand(kTbLook, 3), kCmdLookInstances);
  EXPECT_EQ(ToolbarCommand(kTbRender, 3), kCmdRenderInstanced);
  EXPECT_EQ(ToolbarCommand(kTbFacing, 2), kCmdFacingSurface);
  EXPECT_EQ(ToolbarCommand(kTbGo, 0), kCmdGo);
  EXPECT_EQ(ToolbarCommand(10007, 0), 0);
  CreateToolbar(0);
  TBMsgHandler h;
  EXPECT_EQ(h.ProcessMessage(WM_COMMAND, 10007, 0), 0);
  EXPECT_EQ(h.ProcessMessage(WM_COMMAND, 9999, 0), 0);
  EXPECT_EQ(Tooltip(kTbRender).substr(0, 24), "Render type: TETRAHEDRON");
  SetRenderTypeButtonState(2);
  EXPECT_EQ(Tooltip(kTbRender), "Render type: NOTHING. Particles are hidden in render");
  SetRenderTypeButtonState(3);
  EXPECT_EQ(Tooltip(kTbRender), "Render type: INSTANCED OBJECT");
  SetParticleLookButtonState(1);
  EXPECT_EQ(Tooltip(kTbLook), "Particle look: POINTS");
  EXPECT_EQ(Tooltip(kTbNewVorel), "NEW Vorel instance.");
  EXPECT_EQ(Tooltip(10007), "");
  SetToolbarButtonCheck(kTbSurface, true);
  ICustToolbar* tb = Toolbar();
  ICustButton* b = tb->GetICustButton(kTbSurface);
  EXPECT_TRUE(b->IsChecked());
  ReleaseICustButton(b);
  ReleaseICustToolbar(tb);
  EXPECT_EQ(FrameFromTicks(160 * 7 + 159), 7);
}

TEST_F(MenuToolbar, WrapperCommandMakesNothingWithoutTheWrapperPlugin) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  int before = ip->GetRootNode()->NumberOfChildren();
  NewWrapperFromSelection();
  GetVorActionCB()->ExecuteAction(kCmdNewPelliqor);
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), before);
}

}  // namespace
