// Small classes the object-model tests build scenes from.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/max.h"

namespace sdktest {

enum { P_RATE = 0, P_COUNT = 1, P_FLAG = 2, P_NAME = 3, P_NODES = 4, P_MODE = 5 };

class TestObject;

class TestObjectDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading) override;
  const char* ClassName() override { return "TestObject"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x7E570001, 0x1); }
  const char* Category() override { return "Tests"; }
  const char* InternalName() override { return "TestObject"; }
};
TestObjectDesc* GetTestObjectDesc();
ParamBlockDesc2* GetTestBlockDesc();

// A simple object with a block, a mesh of one triangle sized by "rate",
// references to extra nodes at k + 1, and its own chunks.
class TestObject : public SimpleObject2 {
 public:
  explicit TestObject(bool loading = false);
  Class_ID ClassID() override { return GetTestObjectDesc()->ClassID(); }
  void GetClassName(std::string& s) override { s = "TestObject"; }
  const char* GetObjectName() override { return "TestObject"; }
  void BuildMesh(TimeValue t) override;
  int NumRefs() override { return 1 + int(extra.size()); }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle r) override;
  RefResult NotifyRefChanged(Interval iv, RefTargetHandle h, PartID& part, RefMessage msg) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;
  ReferenceTarget* Clone(RemapDir& remap) override;

  bool loaded = false;
  int builds = 0;
  std::string label = "none";
  std::vector<INode*> extra;
  std::vector<std::string> log;  // messages received: "change part=..", "deleted", ...
};

}  // namespace sdktest
