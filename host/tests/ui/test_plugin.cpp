#include "test_plugin.h"

#include <cmath>

#include "host/sdk/interface.h"
#include "host/ui/actions.h"
#include "host/ui/creation.h"
#include "host/ui/custctrl.h"
#include "host/ui/window.h"

namespace uitest {
namespace {

const Class_ID kClassID(0x51A7E001, 0x0BADCAFE);


class TestDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool) override { return new TestObject; }
  const char* ClassName() override { return "UiTestObject"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return kClassID; }
  const char* Category() override { return "Vorel tests"; }
  const char* InternalName() override { return "UiTestObject"; }
  int NumActionTables() override { return 1; }
  // A new table per request, as plug-ins build them.
  ActionTable* GetActionTable(int) override {
    static const ActionDescription descs[] = {{40006, 1, 1, 2}, {-25512, 3, 3, 2}};
    return new ActionTable(kActionTable, kActionTable, "UiTest_af", 0, 2, descs, nullptr,
                           [](int id) -> std::string {
                             return id == 1 ? "GO!" : id == 2 ? "UiTest_af" : "Object manager";
                           });
  }
};

// Two clicks: the first places the object, the second ends the creation
// (or aborts it when the mouse moved less than 3 pixels).
class TestCreateCallback : public CreateMouseCallBack {
 public:
  int proc(ViewExp* vpt, int msg, int point, int, IPoint2 m, Matrix3& mat) override {
    Log().creationMessages.push_back(msg);
    if (msg == MOUSE_ABORT) return CREATE_ABORT;
    if (msg != MOUSE_POINT && msg != MOUSE_MOVE) return CREATE_CONTINUE;
    if (point == 0) {
      first = m;
      mat.SetTrans(vpt->GetPointOnCP(m));
      return CREATE_CONTINUE;
    }
    if (msg == MOUSE_MOVE) return CREATE_CONTINUE;
    return std::abs(m.x - first.x) + std::abs(m.y - first.y) < 3 ? CREATE_ABORT : CREATE_STOP;
  }
  IPoint2 first;
};

TestDesc& Desc() {
  static TestDesc d;
  return d;
}

ParamBlockDesc2& Block() {
  static ParamBlockDesc2 pb(
      0, "params", 0, &Desc(), P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
      {RolloutDef{0, 500, 0, 0, nullptr}, RolloutDef{1, 501, 0, APPENDROLL_CLOSED, nullptr}},
      {ParamDef(kRate, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE)
           .Default(10.0f).Range(0.0f, 100.0f).Spinner(0, EDITTYPE_FLOAT, 1001, 1002, 0.1f),
       ParamDef(kShow, "ShowMesh", TYPE_INT, P_ANIMATABLE).Default(0).CheckButton(0, 1019),
       ParamDef(kMode, "outofrangeaction", TYPE_INT, 0).Default(1).Radio(1, {1040, 1041, 1042}),
       ParamDef(kDir, "Directory", TYPE_STRING, 0).Default("cache").EditBox(1, 3077),
       ParamDef(kLoop, "framestoloopfor", TYPE_INT, 0)
           .Default(1).Range(1, 1000).Spinner(1, EDITTYPE_INT, 1003, 1004, 1.0f),
       ParamDef(kNodes, "nodeList", TYPE_INODE_TAB, P_VARIABLE_SIZE)
           .NodeListBox(1, 1080, 1081, 1083, 1082)});
  return pb;
}

}  // namespace

ClassDesc2* TestClassDesc() { return &Desc(); }
ParamBlockDesc2* TestBlockDesc() { return &Block(); }

void RegisterTestPlugin() {
  Block();
  static bool classAdded = false;
  if (!classAdded) {
    ClassDirectory::Get().AddClass(&Desc());
    classAdded = true;
  }
  vorel_ui::DialogTemplate a;
  a.id = 500;
  a.title = "Animation";
  a.controls = {{1000, vorel_ui::Kind::Static, "status"},
                {1001, vorel_ui::Kind::CustEdit, ""},
                {1002, vorel_ui::Kind::Spinner, ""},
                {1019, vorel_ui::Kind::CustButton, "Enable surface"},
                {1014, vorel_ui::Kind::CustButton, "GO!"},
                {1021, vorel_ui::Kind::Button, "Close"}};
  vorel_ui::RegisterDialogTemplate(nullptr, a);
  vorel_ui::DialogTemplate b;
  b.id = 501;
  b.title = "Cache";
  b.controls = {{1040, vorel_ui::Kind::RadioButton, "Hide all"},
                {1041, vorel_ui::Kind::RadioButton, "Keep last"},
                {1042, vorel_ui::Kind::RadioButton, "Loop"},
                {3077, vorel_ui::Kind::CustEdit, ""},
                {1003, vorel_ui::Kind::CustEdit, ""},
                {1004, vorel_ui::Kind::Spinner, ""},
                {1080, vorel_ui::Kind::ListBox, ""},
                {1081, vorel_ui::Kind::CustButton, "Add"},
                {1082, vorel_ui::Kind::CustButton, "Remove"},
                {1083, vorel_ui::Kind::CustButton, "Replace"}};
  vorel_ui::RegisterDialogTemplate(nullptr, b);
}

Class_ID TestObject::ClassID() { return kClassID; }

CreateMouseCallBack* TestObject::GetCreateMouseCallBack() {
  static TestCreateCallback cb;
  return &cb;
}

void TestObject::BuildMesh(TimeValue) {
  // One triangle of 10 units in the z = 0 plane.
  mesh.setNumVerts(3);
  mesh.setNumFaces(1);
  mesh.setVert(0, 0.0f, 0.0f, 0.0f);
  mesh.setVert(1, 10.0f, 0.0f, 0.0f);
  mesh.setVert(2, 0.0f, 10.0f, 0.0f);
  mesh.faces[0].setVerts(0, 1, 2);
  ivalid = FOREVER;
}

void TestObject::BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
  Desc().BeginEditParams(ip, this, flags, prev);
  // As the plug-ins do: a fresh procedure per editing session, handed over
  // after the rollouts are open.
  Block().SetUserDlgProc(0, new TestDlgProc(this));
}

void TestObject::EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
  Desc().EndEditParams(ip, this, flags, next);
}

ProcLog& Log() {
  static ProcLog l;
  return l;
}

INT_PTR TestDlgProc::DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam,
                             LPARAM) {
  ProcLog& log = Log();
  log.messages.push_back(msg);
  IParamBlock2* pb = map->GetParamBlock();
  Interval iv = FOREVER;
  switch (msg) {
    case WM_INITDIALOG:
      if (ICustButton* b = GetICustButton(GetDlgItem(hWnd, 1014))) {
        b->SetType(CBT_PUSH);
        b->SetTooltip(TRUE, "Launch the solver.");
        ReleaseICustButton(b);
      }
      break;
    case WM_COMMAND:
      log.commands.push_back(LOWORD(wParam));
      if (LOWORD(wParam) == 1019) pb->GetValue(kShow, t, log.showMeshAtCommand, iv);
      if (LOWORD(wParam) == 1021) GetCOREInterface()->EndEditParams();
      if (LOWORD(wParam) == 1014) {
        SetDlgItemText(hWnd, 1000, "pressed");
        map->Enable(kRate, FALSE);
      }
      break;
    case CC_SPINNER_CHANGE:
      pb->GetValue(kRate, t, log.rateAtSpinner, iv);
      break;
    default:
      break;
  }
  return FALSE;
}

void TestDlgProc::DeleteThis() {
  ++Log().deleted;
  delete this;
}

}  // namespace uitest
