#include <gtest/gtest.h>

#include <cstdlib>

#include "host/sdk/particles.h"
#include "host/sdk/script.h"
#include "test_classes.h"

using namespace sdktest;

namespace {

// A published interface mixed into an object, with functions in order.
const Interface_ID kOpsID(0xDE17A66A, 0x8A41E45D);
enum { fn_addNode = 0, fn_removeNode = 1, fn_count = 2 };

class IOps : public FPMixinInterface {
 public:
  virtual void addNode(INode* n) = 0;
  virtual void removeNode(INode* n) = 0;
  virtual int count() = 0;
  FPInterfaceDesc* GetDesc() override;

 protected:
  FPStatus _dispatch_fn(FunctionID fid, TimeValue, FPValue& result, FPParams* p) override {
    switch (fid) {
      case fn_addNode: addNode(p->params[0].n); return FPS_OK;
      case fn_removeNode: removeNode(p->params[0].n); return FPS_OK;
      case fn_count: result = FPValue(count()); return FPS_OK;
      default: return FPS_NO_SUCH_FUNCTION;
    }
  }
};

FPInterfaceDesc* IOps::GetDesc() {
  static FPInterfaceDesc d(kOpsID, "testNodeOps", 0, GetTestObjectDesc(), FP_MIXIN,
                           {FPFunctionDef{fn_addNode, "addNode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{fn_removeNode, "removeNode", TYPE_VOID, {{"node", TYPE_INODE}}},
                            FPFunctionDef{fn_count, "count", TYPE_INT, {}}});
  return &d;
}

class OpsObject : public TestObject, public IOps {
 public:
  BaseInterface* GetInterface(Interface_ID id) override {
    return id == kOpsID ? static_cast<IOps*>(this) : TestObject::GetInterface(id);
  }
  using TestObject::GetInterface;
  void addNode(INode* n) override { pblock2->Append(P_NODES, 1, &n); }
  void removeNode(INode* n) override {
    for (int i = pblock2->Count(P_NODES) - 1; i >= 0; --i)
      if (pblock2->GetINode(P_NODES, 0, i) == n) pblock2->Delete(P_NODES, i, 1);
  }
  int count() override { return pblock2->Count(P_NODES); }
};

TEST(FunctionPublishing, MixinFoundByIdAndDispatchedById) {
  GetCOREInterface()->ResetScene();
  auto* o = new OpsObject();
  INode* owner = GetCOREInterface()->CreateObjectNode(o, "owner");
  INode* a = GetCOREInterface()->CreateObjectNode(new TestObject(), "a");
  auto* ops = dynamic_cast<IOps*>(o->GetInterface(kOpsID));
  ASSERT_NE(ops, nullptr);
  EXPECT_EQ(ops->GetID(), kOpsID);
  EXPECT_EQ(ops->GetDesc()->internal_name, "testNodeOps");
  EXPECT_EQ(o->GetInterface(Interface_ID(1, 2)), nullptr);
  ops->addNode(a);  // a direct call, as another library makes it
  FPParams p;
  p.params.push_back(FPValue(a));
  EXPECT_EQ(ops->Invoke(ops->FindFn("addnode"), &p), FPS_OK);
  FPValue r;
  EXPECT_EQ(ops->Invoke(fn_count, 0, r), FPS_OK);
  EXPECT_EQ(r.i, 2);
  EXPECT_EQ(ops->Invoke(9, &p), FPS_NO_SUCH_FUNCTION);
  FPParams wrong;
  wrong.params.push_back(FPValue(3));
  EXPECT_EQ(ops->Invoke(fn_removeNode, &wrong), FPS_FAIL);  // wrong argument type
  EXPECT_EQ(ops->Invoke(fn_removeNode, &p), FPS_OK);
  EXPECT_EQ(ops->count(), 0);
  // The class descriptor lists the interface too.
  EXPECT_EQ(GetTestObjectDesc()->GetInterface(kOpsID), ops->GetDesc());
  EXPECT_EQ(GetFPInterface(o, kOpsID), ops);
  (void)owner;
  GetCOREInterface()->ResetScene();
}

class TestAttrib : public CustAttrib {
 public:
  Class_ID ClassID() override { return Class_ID(0x7E570002, 1); }
  const char* GetName() override { return "Test CA"; }
  ReferenceTarget* Clone(RemapDir&) override { return new TestAttrib(); }
};

TEST(CustomAttributes, ContainerAppendRemoveWithUndoAndClone) {
  auto* o = new TestObject();
  o->AllocCustAttribContainer();
  ICustAttribContainer* c = o->GetCustAttribContainer();
  auto* ca = new TestAttrib();
  theHold.Begin();
  c->AppendCustAttrib(ca);
  theHold.Accept("Add Custom Attribute");
  EXPECT_EQ(c->GetNumCustAttribs(), 1);
  theHold.Begin();
  c->RemoveCustAttrib(0);
  theHold.Accept("Custom Attribute Removed");
  EXPECT_EQ(c->GetNumCustAttribs(), 0);
  EXPECT_TRUE(Animatable::IsAlive(ca));  // kept for undo
  ASSERT_TRUE(theHold.Undo());
  ASSERT_EQ(c->GetNumCustAttribs(), 1);
  EXPECT_EQ(c->GetCustAttrib(0), ca);
  RemapDir remap;
  auto* copy = static_cast<TestObject*>(remap.CloneRef(o));
  ASSERT_NE(copy->GetCustAttribContainer(), nullptr);
  EXPECT_EQ(copy->GetCustAttribContainer()->GetNumCustAttribs(), 1);
  EXPECT_NE(copy->GetCustAttribContainer()->GetCustAttrib(0), ca);
  EXPECT_NE(copy->pblock2, o->pblock2);
  EXPECT_EQ(remap.CloneRef(o), copy);  // one clone per original
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(c->GetNumCustAttribs(), 0);
  copy->DeleteThis();
  o->DeleteThis();
  EXPECT_FALSE(Animatable::IsAlive(ca));
}

TEST(Particles, ScriptedSystemsAnswerBothInterfaces) {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  auto* classic = new ScriptedParticleObject();
  classic->SetParticlesAt(160, {ScriptedParticle{0, Point3(1, 2, 3), Point3(0, 0, 1), 10, 100, 1.0f}});
  ASSERT_EQ(classic->GetInterface(I_PARTICLEOBJ), classic);
  classic->UpdateParticles(0, nullptr);
  EXPECT_EQ(classic->NumParticles(), 0);
  classic->UpdateParticles(200, nullptr);
  EXPECT_EQ(classic->NumParticles(), 1);
  EXPECT_EQ(classic->ParticlePosition(200, 0), Point3(1, 2, 3));
  EXPECT_EQ(classic->ParticleAge(200, 5), -1);
  classic->DeleteThis();

  auto* sys = new EventParticleSystem();
  INode* sysNode = ip->CreateObjectNode(sys, "PF Source 01");
  ParticleEventObject* ev1 = nullptr;
  ParticleEventObject* ev2 = nullptr;
  INode* e1 = sys->AddEvent("Event 01", &ev1);
  INode* e2 = sys->AddEvent("Event 02", &ev2);
  ev1->SetParticlesAt(0, {ScriptedParticle{7, Point3(1, 0, 0), Point3(), 5, 0, 0.5f}});
  ev2->SetParticlesAt(0, {ScriptedParticle{9, Point3(2, 0, 0), Point3(), 6, 0, 2.0f}});
  auto* ext = static_cast<IParticleObjectExt*>(sys->GetInterface(PARTICLEOBJECTEXT_INTERFACE));
  ASSERT_NE(ext, nullptr);
  ext->UpdateParticles(sysNode, 0);
  ASSERT_EQ(ext->NumParticles(), 2);
  EXPECT_EQ(ext->GetParticleBornIndex(1), 9);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(7), 5);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(8), -1);
  EXPECT_FLOAT_EQ(ext->GetParticleScaleByBornIndex(9), 2.0f);
  EXPECT_EQ(ext->GetParticleGroup(1), e2);
  EXPECT_EQ(*ext->GetParticlePositionByIndex(0), Point3(1, 0, 0));
  EXPECT_EQ(ext->GetParticlePositionByIndex(2), nullptr);
  EXPECT_NE(ev1->GetInterface(PFEVENT_INTERFACE), nullptr);
  // The event nodes are found among the system's dependents.
  struct Collect : DependentEnumProc {
    std::vector<INode*> nodes;
    int proc(ReferenceMaker* m) override {
      if (m->IsNode()) nodes.push_back(static_cast<INode*>(m));
      return DEP_ENUM_CONTINUE;
    }
  } collect;
  sys->DoEnumDependents(&collect);
  EXPECT_EQ(collect.nodes, (std::vector<INode*>{sysNode, e1, e2}));
  ip->DeleteNode(e1);
  ext->UpdateParticles(sysNode, 0);
  EXPECT_EQ(ext->NumParticles(), 1);
  ip->ResetScene();
}

}  // namespace

namespace {

TEST(FunctionPublishing, ScriptsCallPublishedFunctionsAndScriptParticles) {
  GetCOREInterface()->ResetScene();
  auto* o = new OpsObject();
  o->GetDesc();  // the description registers with the class on first use
  // Scripts find an object's interfaces through its registered class.
  const bool registered = ClassDirectory::Get().FindClass(o->ClassID()) != nullptr;
  if (!registered) ClassDirectory::Get().AddClass(GetTestObjectDesc());
  GetCOREInterface()->CreateObjectNode(o, "owner");
  INode* a = GetCOREInterface()->CreateObjectNode(new TestObject(), "a");
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  EXPECT_TRUE(s.RunLine("call owner testNodeOps addNode a")) << s.Error();
  EXPECT_EQ(out.back(), "called testNodeOps.addNode");
  EXPECT_EQ(o->count(), 1);
  EXPECT_FALSE(s.RunLine("call owner testNodeOps addNode"));       // argument missing
  EXPECT_FALSE(s.RunLine("call owner testNodeOps addNode nobody"));  // no such node
  EXPECT_FALSE(s.RunLine("call owner otherOps addNode a"));
  EXPECT_FALSE(s.RunLine("call owner testNodeOps frob a"));
  EXPECT_TRUE(s.RunLine("call owner testNodeOps removeNode a"));
  EXPECT_EQ(o->count(), 0);

  EXPECT_TRUE(s.RunLine("create ScriptedParticles spray"));
  EXPECT_TRUE(s.RunLine("particles spray 2 1,2,3 4,5,6,1,3,0.5"));
  EXPECT_EQ(out.back(), "spray: 2 particle(s) from frame 2");
  auto* ps = dynamic_cast<ScriptedParticleObject*>(GetCOREInterface()->GetINodeByName("spray")->GetObjectRef());
  ASSERT_NE(ps, nullptr);
  ps->UpdateParticles(2 * 160, nullptr);
  ASSERT_EQ(ps->NumParticles(), 2);
  EXPECT_EQ(ps->ParticlePosition(0, 1).y, 5.0f);
  EXPECT_EQ(ps->ParticleAge(0, 1), 160);
  EXPECT_EQ(ps->ParticleLife(0, 1), 480);
  EXPECT_EQ(ps->ParticleSize(0, 1), 0.5f);
  EXPECT_FALSE(s.RunLine("particles spray 2 1,2"));
  EXPECT_FALSE(s.RunLine("particles a 0 1,2,3"));
  EXPECT_TRUE(s.RunLine("move a 1 2 3"));
  EXPECT_TRUE(s.RunLine("where a"));  // the node's world transform
  EXPECT_EQ(out.back(), "a at [1,2,3] axes [1,0,0] [0,1,0] [0,0,1]");
  // The centre of the living particles, and conditions on it.
  EXPECT_TRUE(s.RunLine("centroid spray 2 x>2 count>=2 z<=4.5")) << s.Error();
  EXPECT_EQ(out.back(), "centroid spray 2: 2 particle(s) at 2.5 3.5 4.5");
  EXPECT_FALSE(s.RunLine("centroid spray 2 y<3"));
  EXPECT_EQ(s.Error(), "spray at frame 2: y = 3.5, not < 3");
  EXPECT_FALSE(s.RunLine("centroid spray 2 w>1"));
  EXPECT_FALSE(s.RunLine("centroid spray 2 x=1"));
  EXPECT_FALSE(s.RunLine("centroid spray 2 x>"));
  EXPECT_FALSE(s.RunLine("centroid a 2"));
  // Before any particle: no centre to compare, only a count.
  EXPECT_TRUE(s.RunLine("centroid spray 0 count<1")) << s.Error();
  EXPECT_FALSE(s.RunLine("centroid spray 0 x>-1"));

  EXPECT_TRUE(s.RunLine("create ScriptedEventSystem flow"));
  EXPECT_TRUE(s.RunLine("pfevent flow Birth"));
  EXPECT_EQ(out.back(), "created Birth (event of flow)");
  EXPECT_TRUE(s.RunLine("particles Birth 0 0,0,0"));
  EXPECT_FALSE(s.RunLine("pfevent spray Birth2"));

  ::setenv("VOREL_SCRIPT_TEST_WORD", "spray", 1);
  EXPECT_TRUE(s.RunLine("echo ${VOREL_SCRIPT_TEST_WORD}/x"));
  EXPECT_EQ(out.back(), "spray/x");
  ::unsetenv("VOREL_SCRIPT_TEST_WORD");
  EXPECT_FALSE(s.RunLine("echo ${VOREL_SCRIPT_TEST_WORD}"));
  (void)a;
  GetCOREInterface()->ResetScene();
  if (!registered) ClassDirectory::Get().RemoveClass(GetTestObjectDesc());
}

}  // namespace
