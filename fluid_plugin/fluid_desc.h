// The fluid system's class descriptor. Creating a fluid system from the
// create panel runs the "New Vorel" action instead of a creation mouse
// procedure: the action makes the object, its node, clip box and first emitter.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/actions.h"

inline Class_ID TetraProcObjClassID() { return Class_ID(0x2B7C693E, 0x07443541); }
// The plug-in's action table and the action that makes a new fluid system.
constexpr ActionTableId kVorelActionTableId = 0x2B8C643E;
constexpr int kActionNewVorel = 40005;

class TetraProcObjClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  // A new fluid system that knows whether it is being loaded.
  Animatable* Create(bool loading = false) override;
  // Suspends set-key mode and runs "New Vorel"; answers 1 (handled).
  int BeginCreate(Interface* ip) override;
  // Resumes set-key mode; answers 1.
  int EndCreate(Interface* ip) override;
  const char* ClassName() override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return TetraProcObjClassID(); }
  const char* Category() override;
  int OkToCreate(Interface* ip) override { (void)ip; return 1; }
  int NumActionTables() override { return 1; }
  // The plug-in's action table (the host takes it); binds the action callback.
  ActionTable* GetActionTable(int i) override;
  const char* InternalName() override { return "Vorel"; }
  void* HInstance() override;
};

// The one descriptor, built with its parameter block on first use.
TetraProcObjClassDesc* GetTetraProcObjDesc();
