// The object attractor: a space warp that steers each particle towards its
// own sample of a picked target object (its vertices, or points filling its
// volume), or without a target pushes along the icon's z axis. The fluid
// engine asks it for forces through GetForceField; host particle systems
// reach it through its binding modifier.
#pragma once
#include <vector>

#include "host/sdk/max.h"
#include "host/ui/ui.h"
#include "scene_objects/force_warp.h"

class ObjAttractorObject;

// Dialog 218's controls that no parameter maps.
enum AttractorControl : int {
  kIdcAttractorPick = kIdcWarpPick,          // "Pick object"
  kIdcAttractorTarget = kIdcWarpPickedName,  // the target's name
  kIdcAttractorResample = 1202,  // "Resample object"
  kIdcAttractorInfo = 1203,
};

// Force evaluator of one bound node. Not safe to call from several threads
// at once: it keeps the icon transform and the last force, and in Surface
// mode re-samples the target when the time changes.
class ObjAttractorField : public ForceWarpField<ObjAttractorObject> {
 public:
  ObjAttractorField(ObjAttractorObject* obj, INode* node, bool ownedByModifier = false)
      : ForceWarpField(obj, node, ownedByModifier) {}
  Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) override;

  bool sampled = false;  // whether sampleTime holds a time
  TimeValue sampleTime = 0;
};

class ObjAttractorObject : public ForceWarpObject {
 public:
  explicit ObjAttractorObject(bool loading = false);
  ~ObjAttractorObject() override;

  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelobjAttr"; }
  Modifier* CreateWSMMod(INode* node) override;
  ForceField* GetForceField(INode* node) override;

  // Rebuilds the samples from the target at the host's current time: its
  // vertices (Surface) or a volume fill (Volume). Leaves them as they are
  // without a target, for a target named "Vorel..." or one without object.
  void SampleTarget();
  // Picks a target: stores it as reference 1 (which samples it).
  void SetTarget(INode* node);

  INode* target = nullptr;                 // reference 1
  std::vector<Point3> samples;             // target's own coordinates
  std::vector<int> layerCounts;            // volume fill: points per layer

 protected:
  ClassDesc2* WarpDesc() override;
  ForceWarpObject* NewEmpty() override { return new ObjAttractorObject(true); }
  Material& IconMaterial() override;
  ParamMap2UserDlgProc* OpenRollout() override;
  void ClosePickMode(Interface* ip) override;
  INode* PickedNode() override { return target; }
  const char* NothingPickedText() override { return "< No object selected >"; }
  void SetPickedNode(INode* node) override;
};

using ObjAttractorDeformer = ForceWarpDeformer;

// Binds a particle system to the attractor: hands it the embedded field.
class ObjAttractorMod : public ForceWarpMod<ObjAttractorMod, ObjAttractorObject, ObjAttractorField> {
 public:
  using ForceWarpMod::ForceWarpMod;
  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelObjAttractorBind"; }
};
