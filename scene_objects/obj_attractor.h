// The object attractor: a space warp that steers each particle towards its
// own sample of a picked target object (its vertices, or points filling its
// volume), or without a target pushes along the icon's z axis. The fluid
// engine asks it for forces through GetForceField; host particle systems
// reach it through its binding modifier.
#pragma once
#include <vector>

#include "host/sdk/max.h"
#include "host/ui/ui.h"
#include "scene_objects/force_field_common.h"

class ObjAttractorObject;

// Dialog 218's controls that no parameter maps.
enum AttractorControl : int {
  kIdcAttractorPick = 1200,      // "Pick object"
  kIdcAttractorTarget = 1201,    // the target's name
  kIdcAttractorResample = 1202,  // "Resample object"
  kIdcAttractorInfo = 1203,
};

// Force evaluator of one bound node. Not safe to call from several threads
// at once: it keeps the icon transform and the last force, and in Surface
// mode re-samples the target when the time changes.
class ObjAttractorField : public ForceField {
 public:
  ObjAttractorField(ObjAttractorObject* obj, INode* node, bool ownedByModifier = false)
      : obj(obj), node(node), ownedByModifier_(ownedByModifier) {}
  Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) override;
  // The modifier's embedded field is not freed by whoever held it.
  void DeleteThis() override {
    if (!ownedByModifier_) delete this;
  }

  ObjAttractorObject* obj;
  INode* node;
  force_fields::IconTransformCache icon;
  Point3 force{0.0f, 0.0f, 0.0f};  // last computed, without turbulence
  Interval fValid = NEVER;
  bool sampled = false;  // whether sampleTime holds a time
  TimeValue sampleTime = 0;

 private:
  bool ownedByModifier_;
};

class ObjAttractorObject : public SimpleWSMObject2 {
 public:
  explicit ObjAttractorObject(bool loading = false);
  ~ObjAttractorObject() override;

  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelobjAttr"; }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  IParamBlock2* GetParamBlockByID(short id) override;

  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  IOResult Load(ILoad* iload) override;
  ReferenceTarget* Clone(RemapDir& remap) override;

  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  CreateMouseCallBack* GetCreateMouseCallBack() override;
  Modifier* CreateWSMMod(INode* node) override;
  ForceField* GetForceField(INode* node) override;
  void BuildMesh(TimeValue t) override;
  void InvalidateUI();

  // Rebuilds the samples from the target at the host's current time: its
  // vertices (Surface) or a volume fill (Volume). Leaves them as they are
  // without a target, for a target named "Vorel..." or one without object.
  void SampleTarget();
  // Picks a target: stores it as reference 1 (which samples it).
  void SetTarget(INode* node);

  INode* target = nullptr;                 // reference 1
  std::vector<Point3> samples;             // target's own coordinates
  std::vector<int> layerCounts;            // volume fill: points per layer
  Interface* editIp = nullptr;             // while the rollout is open
  HWND rollout = nullptr;
};

class ObjAttractorDeformer : public Deformer {
 public:
  Point3 Map(int i, Point3 p) override {
    (void)i;
    return p;
  }
};

// Binds a particle system to the attractor: hands it the embedded field.
class ObjAttractorMod : public SimpleWSMMod {
 public:
  ObjAttractorMod();
  ObjAttractorMod(INode* node, ObjAttractorObject* obj);
  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelObjAttractorBind"; }
  void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) override;
  Interval GetValidity(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  Deformer& GetDeformer(TimeValue t, ModContext& mc, ObjectState* os, INode* node);

  ObjAttractorField field;

 private:
  ObjAttractorDeformer deformer_;
};
