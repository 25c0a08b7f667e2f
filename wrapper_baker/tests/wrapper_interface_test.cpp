#include "host/core/interaction.h"
#include "host/ui/script.h"
#include "host/ui/user.h"
#include "test_support.h"

using namespace pelliqor;
using wrapper_test::Exists;

namespace {

class InterfaceTest : public wrapper_test::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    NewClassic("spray", &spray);
    NewClassic("mist", &mist);
    w = NewWrapper(&wNode);
    namesBefore = theHold.AcceptedNames().size();
  }
  // The undo steps named since SetUp.
  std::vector<std::string> NewSteps() const {
    const auto& all = theHold.AcceptedNames();
    return std::vector<std::string>(all.begin() + long(namesBefore), all.end());
  }
  size_t namesBefore = 0;
  std::vector<INode*> List(ParamID id) {
    std::vector<INode*> v;
    for (int i = 0; i < w->pblock->Count(id); ++i) v.push_back(w->pblock->GetINode(id, 0, i));
    return v;
  }
  INode *spray = nullptr, *mist = nullptr, *wNode = nullptr;
  BlobNode* w = nullptr;
};

// An event system with two events, listed in the wrapper.
struct Flow {
  EventParticleSystem* sys = nullptr;
  INode* node = nullptr;
  INode* a = nullptr;
  INode* b = nullptr;
};

Flow MakeFlow(Interface* ip, const char* name) {
  Flow f;
  f.sys = new EventParticleSystem();
  f.node = ip->CreateObjectNode(f.sys, name);
  f.a = f.sys->AddEvent((std::string(name) + "_A").c_str());
  f.b = f.sys->AddEvent((std::string(name) + "_B").c_str());
  return f;
}

}  // namespace

TEST_F(InterfaceTest, HostMadeWrapperAnswersItsNodeInterface) {
  Animatable* made = ip->CreateInstance(GEOMOBJECT_CLASS_ID, PELLIQOR_CLASS_ID());
  ASSERT_NE(made, nullptr);
  ip->CreateObjectNode(static_cast<Object*>(made));
  IBlobNode* nodes = GetBlobNodeInterface(made);
  ASSERT_NE(nodes, nullptr);
  EXPECT_EQ(nodes->GetDesc()->internal_name, "pelliqorNodeOps");
  EXPECT_EQ(nodes->GetDesc(), GetBlobNodeDesc()->GetInterface(BLOBNODE_INTERFACE_ID()));
  nodes->addNode(spray);
  EXPECT_EQ(static_cast<BlobNode*>(made)->pblock->Count(kNodeList), 1);
  EXPECT_EQ(GetBlobNodeInterface(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID())), nullptr);
  EXPECT_EQ(GetBlobNodeInterface(nullptr), nullptr);
}

TEST_F(InterfaceTest, AddNodeOnceAsOneNamedStep) {
  const int redraws = ip->RedrawCount();
  // A node without particles (a fluid system's own node, a box) is refused
  // with a word instead of being wrapped as nothing.
  vorel::host::ClearPromptLog();
  w->addNode(ip->CreateObjectNode(static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID())),
                                  "box"));
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text, "Pelliqor: 'box' holds no particles to wrap; it was not added");
  w->addNode(nullptr);
  w->addNode(spray);
  w->addNode(spray);
  EXPECT_EQ(List(kNodeList), std::vector<INode*>{spray});
  EXPECT_EQ(NewSteps(), std::vector<std::string>{"Add a particle node to this pelliqor instance"});
  EXPECT_EQ(ip->RedrawCount(), redraws + 1);
  ASSERT_TRUE(theHold.Undo());
  EXPECT_TRUE(List(kNodeList).empty());
}

TEST_F(InterfaceTest, RemoveNodeOnlyWhenListed) {
  w->addNode(spray);
  w->removeNode(mist);
  w->removeNode(nullptr);
  EXPECT_EQ(NewSteps().size(), 1u);
  w->removeNode(spray);
  EXPECT_TRUE(List(kNodeList).empty());
  EXPECT_EQ(theHold.AcceptedNames().back(), "Delete from this pelliqor instance");
}

TEST_F(InterfaceTest, EventNodeListTakesTheSameRules) {
  Flow f = MakeFlow(ip, "flow");
  w->addPFnode(f.a);
  w->addPFnode(f.a);
  w->addPFnode(nullptr);
  EXPECT_EQ(List(kPfEventList), std::vector<INode*>{f.a});
  w->removePFnode(f.b);
  EXPECT_EQ(List(kPfEventList).size(), 1u);
  w->removePFnode(f.a);
  EXPECT_TRUE(List(kPfEventList).empty());
  EXPECT_EQ(NewSteps(),
            (std::vector<std::string>{"Add a particle node to this pelliqor instance", "Delete from this pelliqor instance"}));
}

TEST_F(InterfaceTest, DispatcherRunsEveryIdAndRefusesUnknownOnes) {
  FPParams one;
  one.params.push_back(FPValue(spray));
  FPParams none;
  FPValue r;
  EXPECT_EQ(w->Invoke(IBlobNode::kAddNode, 0, r, &one), FPS_OK);
  EXPECT_EQ(List(kNodeList), std::vector<INode*>{spray});
  EXPECT_EQ(w->Invoke(IBlobNode::kRemoveNode, 0, r, &one), FPS_OK);
  EXPECT_EQ(w->Invoke(IBlobNode::kAddPFnode, 0, r, &one), FPS_OK);
  EXPECT_EQ(w->Invoke(IBlobNode::kRemovePFnode, 0, r, &one), FPS_OK);
  EXPECT_EQ(w->Invoke(IBlobNode::kPick, 0, r, &none), FPS_OK);
  EXPECT_EQ(w->Invoke(IBlobNode::kPick, 0, r, &none), FPS_OK);  // leaves the mode again
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  EXPECT_EQ(w->Invoke(IBlobNode::kAdd, 0, r, &none), FPS_OK);
  EXPECT_EQ(w->Invoke(IBlobNode::kAddPF, 0, r, &none), FPS_OK);
  EXPECT_EQ(w->Invoke(7, 0, r, &none), FPS_NO_SUCH_FUNCTION);
  const std::vector<std::string> names = {"addNode", "removeNode", "addPFnode", "removePFnode", "pick", "add", "addPF"};
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(w->FindFn(names[i]), FunctionID(i)) << names[i];
}

TEST_F(InterfaceTest, PickAndSelectOfferOnlyUnlistedParticleSystems) {
  auto* box = static_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID()));
  INode* boxNode = ip->CreateObjectNode(box, "box");
  EXPECT_FALSE(w->QualifiesForList(boxNode));
  EXPECT_TRUE(w->QualifiesForList(spray));
  w->addNode(spray);
  EXPECT_FALSE(w->QualifiesForList(spray));

  vorel_ui::QueueHitByNameAnswer({"mist"});
  w->add();
  EXPECT_EQ(List(kNodeList), (std::vector<INode*>{spray, mist}));
  const auto log = vorel_ui::HitByNameLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().listed, std::vector<std::string>{"mist"});

  w->removeNode(mist);
  w->pick();
  EXPECT_NE(ip->GetCurPickMode(), nullptr);
  EXPECT_FALSE(vorel_ui::ScriptPickNode(boxNode));
  EXPECT_TRUE(vorel_ui::ScriptPickNode(mist));
  EXPECT_EQ(List(kNodeList), (std::vector<INode*>{spray, mist}));
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add a particle node to this pelliqor instance");
}

TEST_F(InterfaceTest, PickModeEndsWithTheRolloutsAndTheObject) {
  ip->BeginEditParams(w);
  w->pick();
  HWND main = vorel_ui::FindDialog("#101");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(vorel_ui::ReadControl(GetDlgItem(main, kPickButton)), "1");  // shown pressed
  EXPECT_NE(ip->GetCurPickMode(), nullptr);
  ip->EndEditParams();
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);

  w->pick();
  ASSERT_NE(ip->GetCurPickMode(), nullptr);
  ip->DeleteNode(wNode);
  EXPECT_EQ(ip->GetCurPickMode(), nullptr);
}

TEST_F(InterfaceTest, AddPFOffersEachEventOfListedSystemsOnce) {
  w->addPF();  // no event-driven system listed: no dialog
  EXPECT_TRUE(w->EventCandidates().empty());

  Flow f = MakeFlow(ip, "flow");
  w->addNode(f.node);
  w->addNode(spray);
  w->addNode(ip->CreateObjectNode(f.sys, "flow_copy"));  // a second system sharing the events
  const std::vector<INode*> candidates = w->CollectEventCandidates();
  EXPECT_EQ(candidates, (std::vector<INode*>{f.a, f.b}));

  // Cancel adds nothing.
  const int steps = theHold.NumSteps();
  vorel_ui::QueueModalAnswer(kPFEventsDialog, [](HWND dlg) { vorel_ui::SendDialogCommand(dlg, 2); });
  w->addPF();
  EXPECT_TRUE(List(kPfEventList).empty());
  EXPECT_EQ(theHold.NumSteps(), steps);

  auto chooseBoth = [](HWND dlg) {
    HWND list = GetDlgItem(dlg, kPFEventListBox);
    SendMessage(list, LB_SETSEL, TRUE, 0);
    SendMessage(list, LB_SETSEL, TRUE, 1);
    vorel_ui::SendDialogCommand(dlg, 1);
  };
  vorel_ui::QueueModalAnswer(kPFEventsDialog, chooseBoth);
  w->addPF();
  EXPECT_EQ(List(kPfEventList), (std::vector<INode*>{f.a, f.b}));
  EXPECT_EQ(theHold.AcceptedNames().back(), "Add pFlow events to list");

  // Chosen again: events already listed are not repeated.
  vorel_ui::QueueModalAnswer(kPFEventsDialog, chooseBoth);
  w->addPF();
  EXPECT_EQ(List(kPfEventList).size(), 2u);
}

TEST_F(InterfaceTest, CacheSwitchesEnableTheirControls) {
  ip->BeginEditParams(w);
  HWND main = vorel_ui::FindDialog("#101");
  HWND cache = vorel_ui::FindDialog("#211");
  ASSERT_TRUE(main && cache);
  auto on = [](HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; };
  // Both off when the rollout opens.
  EXPECT_FALSE(on(cache, kFlushMeshButton));
  EXPECT_FALSE(on(cache, kFlushPartButton));
  EXPECT_FALSE(on(cache, 3078));
  EXPECT_TRUE(on(main, 1492));

  ASSERT_TRUE(vorel_ui::SetControl(GetDlgItem(cache, kUsePartCacheCheck), "on"));
  EXPECT_TRUE(Exists(scratch / "default"));  // made even with the mesh cache off
  EXPECT_TRUE(on(cache, kFlushPartButton));
  EXPECT_FALSE(on(cache, kFlushMeshButton));
  EXPECT_TRUE(on(cache, 3078));
  EXPECT_FALSE(on(cache, 1495));
  EXPECT_FALSE(on(cache, 1502));

  ASSERT_TRUE(vorel_ui::SetControl(GetDlgItem(cache, kUseMeshCacheCheck), "on"));
  for (int id : {1492, 1498, 1490, 1496, 1491, 1497, 1494, 1500, 1493, 1499}) EXPECT_FALSE(on(main, id)) << id;
  EXPECT_TRUE(on(cache, 1495));
  EXPECT_TRUE(on(cache, 1503));
  EXPECT_TRUE(on(cache, kFlushMeshButton));
}

TEST_F(InterfaceTest, CreatePanelDisablesTheListButtons) {
  ip->SetCommandPanelTaskMode(TASK_MODE_CREATE);
  ip->BeginEditParams(w);
  HWND main = vorel_ui::FindDialog("#101");
  HWND pf = vorel_ui::FindDialog("#102");
  ASSERT_TRUE(main && pf);
  for (int id : {kAddButton, kPickButton, kRemoveButton}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, id))) << id;
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(pf, kPFAddButton)));
}

TEST_F(InterfaceTest, FlushDeletesOneKindAndReplaysTheRange) {
  NewClassic("drops", &spray);
  w->addNode(spray);
  ip->SetAnimRange(Interval(0, 3 * 160));
  w->pblock->SetValue(kUseCache, 0, 1);
  w->pblock->SetValue(kUsePartCache, 0, 1);
  const std::string inst = scratch / "default";
  std::filesystem::create_directories(inst);
  wrapper_test::WriteBytes(inst + "/m00050.bin", {1, 2, 3});
  wrapper_test::WriteBytes(inst + "/p00050.ern", {1, 2, 3});
  ip->BeginEditParams(w);
  HWND cache = vorel_ui::FindDialog("#211");
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(cache, kFlushMeshButton)));
  EXPECT_FALSE(Exists(inst + "/m00050.bin"));
  EXPECT_TRUE(Exists(inst + "/p00050.ern"));
  EXPECT_FALSE(ip->GetRealTimePlayback());
  for (int f = 0; f <= 3; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "/m%05d.bin", f);
    EXPECT_TRUE(Exists(inst + name)) << name;
  }
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(cache, kFlushPartButton)));
  EXPECT_FALSE(Exists(inst + "/p00050.ern"));
  ip->EndEditParams();
  EXPECT_TRUE(ip->GetRealTimePlayback());
}

TEST_F(InterfaceTest, ResetPutsTheTimeTransformBack) {
  w->pblock->SetValue(kTimeOffset, 0, 5.0f);
  w->pblock->SetValue(kTimeScale, 0, 2.0f);
  ip->BeginEditParams(w);
  // Reset is only offered while a cache is in use.
  EXPECT_FALSE(vorel_ui::PressControl(GetDlgItem(vorel_ui::FindDialog("#211"), kResetButton)));
  w->pblock->SetValue(kUseCache, 0, 1);
  w->ApplyCacheEnabling(true, true, true);
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(vorel_ui::FindDialog("#211"), kResetButton)));
  EXPECT_EQ(w->pblock->GetFloat(kTimeOffset), 0.0f);
  EXPECT_EQ(w->pblock->GetFloat(kTimeScale), 1.0f);
}

TEST_F(InterfaceTest, BrowseChoosesTheExportDirectoryAndTheStatusFollows) {
  w->pblock->SetValue(kUseCache, 0, 1);
  ip->BeginEditParams(w);
  HWND cache = vorel_ui::FindDialog("#211");
  ASSERT_NE(cache, nullptr);
  char shown[260];
  GetDlgItemText(cache, kExportDirText, shown, sizeof shown);
  EXPECT_EQ(std::string(shown), scratch.path());
  const std::string chosen = scratch / "chosen";
  std::filesystem::create_directories(chosen);
  vorel_ui::QueueDirectoryAnswer(chosen);
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(cache, kBrowseButton)));
  EXPECT_EQ(std::string(w->pblock->GetStr(kExportDirectory)), chosen);
  EXPECT_EQ(vorel_ui::FileDialogLog().back().title, "Select Directory for temporary scene cache");
  GetDlgItemText(cache, kExportDirText, shown, sizeof shown);
  EXPECT_EQ(std::string(shown), chosen);
  // A cancelled choice keeps the folder; a script's change shows too.
  vorel_ui::QueueDirectoryCancel();
  ASSERT_TRUE(vorel_ui::PressControl(GetDlgItem(cache, kBrowseButton)));
  EXPECT_EQ(std::string(w->pblock->GetStr(kExportDirectory)), chosen);
  w->pblock->SetValue(kExportDirectory, 0, "elsewhere");
  GetDlgItemText(cache, kExportDirText, shown, sizeof shown);
  EXPECT_STREQ(shown, "elsewhere");
}
