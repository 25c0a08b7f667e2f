// A plug-in in miniature for the UI tests: one class whose parameter block
// has two rollouts (dialogs 500 and 501), registered with the class
// directory, and a user dialog procedure that records what it sees.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/iparamb2.h"
#include "host/sdk/object.h"
#include "host/ui/actions.h"
#include "host/ui/parammap.h"

namespace uitest {

constexpr ActionTableId kActionTable = 0x51A7E0A1;

enum ParamIds { kRate = 0, kShow = 1, kMode = 2, kDir = 3, kLoop = 4, kNodes = 5 };

ClassDesc2* TestClassDesc();
ParamBlockDesc2* TestBlockDesc();
// Registers the class and its dialog templates (idempotent).
void RegisterTestPlugin();

class TestObject : public SimpleObject2 {
 public:
  Class_ID ClassID() override;
  void GetClassName(std::string& s) override { s = "UiTestObject"; }
  const char* GetObjectName() override { return "UiTest"; }
  void BuildMesh(TimeValue t) override;
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  CreateMouseCallBack* GetCreateMouseCallBack() override;
};

// What the user procedure of rollout 0 saw.
struct ProcLog {
  std::vector<UINT> messages;
  std::vector<int> commands;
  int showMeshAtCommand = -1;  // "ShowMesh" when the 1019 command arrived
  float rateAtSpinner = -1.0f;
  int deleted = 0;
  std::vector<int> creationMessages;
};
ProcLog& Log();

class TestDlgProc : public ParamMap2UserDlgProc {
 public:
  explicit TestDlgProc(TestObject* o) : obj(o) {}
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam,
                  LPARAM lParam) override;
  void DeleteThis() override;
  TestObject* obj;
};

}  // namespace uitest
