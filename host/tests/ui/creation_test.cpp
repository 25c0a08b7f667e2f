// Creation by mouse and the action tables a class descriptor offers.
#include <gtest/gtest.h>

#include <sstream>

#include "host/ui/creation.h"
#include "host/ui/script.h"
#include "host/ui/ui_host.h"
#include "test_plugin.h"

using namespace vorel_ui;
using namespace uitest;

namespace {

class RecordingCB : public ActionCallback {
 public:
  BOOL ExecuteAction(int id) override {
    ran.push_back(id);
    return TRUE;
  }
  std::vector<int> ran;
};

class CreationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetUI();
    RegisterTestPlugin();
    Log() = ProcLog();
  }
};

TEST_F(CreationTest, TwoClicksPlaceTheNewNode) {
  int before = UI()->NodeCount();
  INode* n = ScriptCreate(TestClassDesc(), {{340, 200}, {360, 200}});
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(UI()->NodeCount(), before + 1);
  Point3 at = n->GetNodeTM(0).GetTrans();
  EXPECT_FLOAT_EQ(at.x, 20.0f);  // screen (340, 200) in the top view
  EXPECT_FLOAT_EQ(at.y, 40.0f);
  EXPECT_EQ(Log().creationMessages,
            (std::vector<int>{MOUSE_FREEMOVE, MOUSE_POINT, MOUSE_MOVE, MOUSE_POINT}));
  ASSERT_NE(static_cast<TestObject*>(n->GetObjectRef())->pblock, nullptr);
  UI()->DeleteNode(n);
}

TEST_F(CreationTest, TooShortADragOrTooFewClicksCreateNothing) {
  int before = UI()->NodeCount();
  EXPECT_EQ(ScriptCreate(TestClassDesc(), {{340, 200}, {341, 200}}), nullptr);
  EXPECT_EQ(ScriptCreate(TestClassDesc(), {{340, 200}}), nullptr);
  EXPECT_EQ(Log().creationMessages.back(), MOUSE_ABORT);
  EXPECT_EQ(ScriptCreate(TestClassDesc(), {}), nullptr);
  EXPECT_EQ(UI()->NodeCount(), before);
}

TEST_F(CreationTest, ClassActionTablesRunByNameAndThroughActivation) {
  RecordingCB cb;
  // The class is registered: activating looks its table up through the
  // descriptor.
  EXPECT_TRUE(::GetActionManager()->ActivateActionTable(&cb, kActionTable));
  IActionManager* am = UI()->GetActionManager();
  ASSERT_NE(am->FindTable(kActionTable), nullptr);
  EXPECT_TRUE(UI()->RunActionByName("GO!"));
  EXPECT_TRUE(UI()->RunActionByName("UiTest_af:-25512"));
  EXPECT_TRUE(UI()->RunAction(int(kActionTable), 40006));
  EXPECT_FALSE(UI()->RunActionByName("UiTest_af:No such"));
  EXPECT_FALSE(UI()->RunActionByName("Nothing"));
  std::ostringstream out;
  std::string err;
  EXPECT_TRUE(RunUiCommand("action Object manager", out, &err)) << err;
  EXPECT_EQ(cb.ran, (std::vector<int>{40006, -25512, 40006, -25512}));
  // The descriptor is asked once: the same table stays registered.
  ActionTable* t = am->FindTable(kActionTable);
  EXPECT_EQ(UI()->GetActionManager()->FindTable(kActionTable), t);
}

}  // namespace
