// The object manager: rows and cell texts, edits of highlighted rows,
// adding and taking out colliders, ranges, and the system going away.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fluid_core/object_params.h"
#include "host/sdk/primitives.h"
#include "host/ui/user.h"
#include "scene_objects/object_manager.h"
#include "scene_objects/object_params_access.h"
#include "scene_objects/simple_cust_attrib.h"
#include "scene_objects/vorel_strings.h"

namespace {

class SystemStub : public ReferenceTarget {
 public:
  Class_ID ClassID() override { return Class_ID(0x51, 0x52); }
};

class ObjectManager : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    if (!ClassDirectory::Get().FindClass(CUST_ATTRIB_CLASS_ID, SimpleCustAttribClassID()))
      ClassDirectory::Get().AddClass(GetSimpleAttribDesc());
    InstallVorelObjectParamsAccess();
    RegisterObjectManagerDialog(VorelModuleHandle());
    engine = std::make_unique<FluidEngine>();
    FluidEngine* e = engine.get();
    SetObjectManagerEngineResolver([e](ReferenceTarget*) { return e; });
  }
  void TearDown() override {
    if (ObjectManagerDialog()) DestroyWindow(ObjectManagerDialog());
    ObjectManagerSystemDeleted(&system);
    engine->FreeWetMaps();
    SetObjectManagerEngineResolver({});
    ip->ResetScene();
  }
  INode* Box(const char* name) { return ip->CreateObjectNode(new GenBoxObject(), name); }
  INode* Collider(const char* name, float gap, int tracer, int res, float drying) {
    INode* n = Box(name);
    AddObjectParams({}, n, 1, gap, 10.0f, 2.0f, tracer, res, drying, 0.5f, false);
    return n;
  }
  std::string Cell(HWND list, int row, int col) {
    char buf[300] = {};
    ListView_GetItemText(list, row, col, buf, sizeof buf);
    return buf;
  }
  void Highlight(HWND list, std::initializer_list<int> rows) {
    for (int r = 0, n = ListView_GetItemCount(list); r < n; ++r) ListView_SetItemState(list, r, 0, LVIS_SELECTED);
    for (int r : rows) ListView_SetItemState(list, r, LVIS_SELECTED, LVIS_SELECTED);
  }
  int RowOf(HWND list, const char* name) {
    for (int r = 0, n = ListView_GetItemCount(list); r < n; ++r)
      if (Cell(list, r, 0) == name) return r;
    return -1;
  }
  Interface* ip = nullptr;
  std::unique_ptr<FluidEngine> engine;
  SystemStub system;
};

TEST_F(ObjectManager, ShowsEveryColliderWithItsCellTexts) {
  HWND empty = OpenObjectManager(&system);
  ASSERT_NE(empty, nullptr);
  HWND list = GetDlgItem(empty, kOmList);
  EXPECT_EQ(ListView_GetColumnCount(list), kObjectManagerColumns);
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  EXPECT_EQ(OpenObjectManager(&system), empty);  // one manager at a time
  SendMessage(empty, WM_COMMAND, kOmClose, 0);
  EXPECT_EQ(ObjectManagerDialog(), nullptr);

  Collider("Rock", 0.0123f, 1, 256, 1.0f);
  INode* off = Collider("Off", 0.5f, 0, 64, 2.0f);
  SetObjectCollide(off, 0);
  Box("Plain");
  HWND dlg = OpenObjectManager(&system);
  list = GetDlgItem(dlg, kOmList);
  EXPECT_EQ(ListView_GetColumnCount(list), kObjectManagerColumns);
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  const char* expected[] = {"Rock", "0.012", "10.00", "2.00", "0.50", "Yes", "Rock", "256 pix.",
                            "1.00 s.", "0"};
  for (int c = 0; c < kObjectManagerColumns; ++c) EXPECT_EQ(Cell(list, 0, c), expected[c]) << c;
  EXPECT_EQ(OpenObjectManager(nullptr), dlg);
}

TEST_F(ObjectManager, EditsGoToEveryHighlightedRowAndKeepThePrefix) {
  INode* a = Collider("A", 0.1f, 0, 256, 1.0f);
  INode* b = Collider("B", 0.2f, 0, 256, 1.0f);
  INode* c = Collider("C", 0.3f, 0, 256, 1.0f);
  // A user-given wet-map prefix.
  FindObjectParams(a)->GetParamBlock(0)->SetValue(kObjMapPrefix, 0, "wetA");
  HWND dlg = OpenObjectManager(&system);
  HWND list = GetDlgItem(dlg, kOmList);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  Highlight(list, {RowOf(list, "A"), RowOf(list, "B")});

  // Several rows highlighted: a click loads nothing into the controls.
  ISpinnerControl* gapSpin = GetISpinner(GetDlgItem(dlg, kOmGapSpin));
  const float gapShown = gapSpin->GetFVal();
  vorel_ui::ClickRow(list, RowOf(list, "C"), false, true);
  EXPECT_EQ(ListView_GetSelectedCount(list), 3u);
  EXPECT_FLOAT_EQ(gapSpin->GetFVal(), gapShown);
  ReleaseISpinner(gapSpin);
  Highlight(list, {RowOf(list, "A"), RowOf(list, "B")});
  vorel_ui::SetSpinner(GetDlgItem(dlg, kOmBounceSpin), 42.0);
  float gap, bounce, friction, adherence;
  int collide;
  bool killer = false;
  for (INode* n : {a, b}) {
    ASSERT_TRUE(GetObjectParams(n, collide, gap, bounce, friction, adherence, killer));
    EXPECT_FLOAT_EQ(bounce, 42.0f);
    EXPECT_EQ(Cell(list, RowOf(list, n->GetName()), 2), "42.00");  // shown at once
  }
  EXPECT_EQ(Cell(list, RowOf(list, "C"), 2), "10.00");
  ASSERT_TRUE(GetObjectParams(c, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FLOAT_EQ(bounce, 10.0f);
  EXPECT_FLOAT_EQ(gap, 0.3f);
  ASSERT_TRUE(GetObjectParams(a, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FLOAT_EQ(gap, 0.1f);  // the other settings stay the node's own
  int tracer, res;
  float drying;
  const char* prefix = nullptr;
  ASSERT_TRUE(GetWetmapParams(a, tracer, res, prefix, drying));
  EXPECT_STREQ(prefix, "wetA");

  // Entering a field writes nothing.
  vorel_ui::FocusEdit(GetDlgItem(dlg, kOmGapEdit));
  ASSERT_TRUE(GetObjectParams(b, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FLOAT_EQ(gap, 0.2f);

  // The wet-map size keeps to sizes a map can have.
  vorel_ui::SetSpinner(GetDlgItem(dlg, kOmMapResSpin), 0.0);
  ASSERT_TRUE(GetWetmapParams(b, tracer, res, prefix, drying));
  EXPECT_EQ(res, 32);
  vorel_ui::SetSpinner(GetDlgItem(dlg, kOmMapResSpin), 1048576.0);
  ASSERT_TRUE(GetWetmapParams(b, tracer, res, prefix, drying));
  EXPECT_EQ(res, 2048);

  // One row: a click loads its settings.
  Highlight(list, {});
  vorel_ui::ClickRow(list, RowOf(list, "C"));
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, kOmGapSpin));
  EXPECT_FLOAT_EQ(s->GetFVal(), 0.3f);
  ReleaseISpinner(s);

  // A row reaches its own node, renamed or not, and never another node of
  // the name it showed.
  c->SetName("Renamed");
  INode* plain = Box("C");
  vorel_ui::SetSpinner(GetDlgItem(dlg, kOmFrictionSpin), 7.0);
  EXPECT_FALSE(HasObjectParams(plain));
  ASSERT_TRUE(GetObjectParams(c, collide, gap, bounce, friction, adherence, killer));
  EXPECT_FLOAT_EQ(friction, 7.0f);
  EXPECT_EQ(RowOf(list, "Renamed"), 2);
  EXPECT_EQ(Cell(list, 2, 3), "7.00");
}

TEST_F(ObjectManager, ApplyWritesEveryControlToTheHighlightedRowsOfTwins) {
  INode* first = Collider("Twin", 0.1f, 0, 256, 1.0f);
  INode* second = Collider("Twin", 0.2f, 0, 256, 1.0f);
  HWND dlg = OpenObjectManager(&system);
  HWND list = GetDlgItem(dlg, kOmList);
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  Highlight(list, {1});
  // The controls set without editing, as a click on another row leaves them.
  const struct {
    int spin;
    float value;
  } controls[] = {{kOmGapSpin, 0.5f},   {kOmBounceSpin, 20.0f}, {kOmFrictionSpin, 3.0f},
                  {kOmAdherenceSpin, 0.25f}, {kOmMapResSpin, 512.0f}, {kOmDryingSpin, 4.0f}};
  for (const auto& c : controls) {
    ISpinnerControl* spin = GetISpinner(GetDlgItem(dlg, c.spin));
    if (c.spin == kOmMapResSpin) spin->SetValue(int(c.value), FALSE);
    else spin->SetValue(c.value, FALSE);
    ReleaseISpinner(spin);
  }
  for (int id : {kOmTracer, kOmPartKiller}) {
    ICustButton* b = GetICustButton(GetDlgItem(dlg, id));
    b->SetCheck(true);
    ReleaseICustButton(b);
  }
  SendMessage(dlg, WM_COMMAND, kOmApply, 0);
  ColliderSettings s;
  ASSERT_TRUE(ReadObjectSettings(second, s));
  EXPECT_FLOAT_EQ(s.collisionGap, 0.5f);
  EXPECT_FLOAT_EQ(s.bounce, 20.0f);
  EXPECT_FLOAT_EQ(s.friction, 3.0f);
  EXPECT_FLOAT_EQ(s.adherence, 0.25f);
  EXPECT_EQ(s.mapRes, 512);
  EXPECT_FLOAT_EQ(s.dryingTime, 4.0f);
  EXPECT_EQ(s.tracer, 1);
  EXPECT_TRUE(s.partKiller);
  ASSERT_TRUE(ReadObjectSettings(first, s));
  EXPECT_FLOAT_EQ(s.collisionGap, 0.1f);
  EXPECT_FALSE(s.partKiller);
  const char* shown[] = {"Twin", "0.500", "20.00", "3.00", "0.25", "Yes", "Twin", "512 pix.",
                         "4.00 s.", "1"};
  for (int c = 0; c < kObjectManagerColumns; ++c) EXPECT_EQ(Cell(list, 1, c), shown[c]) << c;
  EXPECT_EQ(Cell(list, 0, 1), "0.100");
}

TEST_F(ObjectManager, DeleteKeepsTheAttributeAndAddRestoresIt) {
  INode* a = Collider("A", 0.25f, 1, 512, 3.0f);
  HWND dlg = OpenObjectManager(&system);
  HWND list = GetDlgItem(dlg, kOmList);
  Highlight(list, {0});
  SendMessage(dlg, WM_COMMAND, kOmDeleteHighlighted, 0);
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  EXPECT_TRUE(HasObjectParams(a));
  ColliderSettings s;
  ASSERT_TRUE(ReadObjectSettings(a, s));
  EXPECT_EQ(s.collide, 0);

  INode* fresh = Box("Fresh");
  ip->SelectNode(a, 1);
  ip->SelectNode(fresh, 0);
  SendMessage(dlg, WM_COMMAND, kOmAddSelection, 0);
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  ASSERT_TRUE(ReadObjectSettings(a, s));
  EXPECT_EQ(s.collide, 1);
  EXPECT_FLOAT_EQ(s.collisionGap, 0.25f);
  EXPECT_EQ(s.mapRes, 512);
  ASSERT_TRUE(ReadObjectSettings(fresh, s));
  EXPECT_FLOAT_EQ(s.collisionGap, engine->defaults.objectCollisionGap);
  EXPECT_FLOAT_EQ(s.bounce, engine->defaults.objectBounce);
  EXPECT_EQ(s.mapRes, engine->defaults.wetmapSize);
  EXPECT_FALSE(s.partKiller);
}

TEST_F(ObjectManager, ClosesWhenItsSystemGoesAway) {
  Collider("A", 0.25f, 1, 512, 3.0f);
  HWND dlg = OpenObjectManager(&system);
  ASSERT_NE(dlg, nullptr);
  SystemStub other;
  ObjectManagerSystemDeleted(&other);
  EXPECT_TRUE(IsWindow(dlg));
  ObjectManagerSystemDeleted(&system);
  EXPECT_FALSE(IsWindow(dlg));
  EXPECT_EQ(ObjectManagerDialog(), nullptr);
  EXPECT_EQ(OpenObjectManager(nullptr), nullptr);  // no system: nothing opens
}

}  // namespace
