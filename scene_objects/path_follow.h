// The path-follow force ("Wind" classes): a space warp that pulls particles
// onto a picked spline, pushes them along it, bends them with its curve and
// steers their travel into its direction; without a path it pushes along the
// icon's z axis like the object attractor.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/ui.h"
#include "scene_objects/force_warp.h"

class WindObject;

// Dialog 138's controls that no parameter maps.
enum PathFollowControl : int {
  kIdcPathPick = kIdcWarpPick,        // "Pick spline"
  kIdcPathName = kIdcWarpPickedName,  // the path's name
  kIdcPathInfo = 1203,
};

// Force evaluator of one bound node; the path is read anew on every call.
// Not safe to call from several threads at once (it keeps the icon
// transform and the last force).
class WindField : public ForceWarpField<WindObject> {
 public:
  WindField(WindObject* obj, INode* node, bool ownedByModifier = false) : ForceWarpField(obj, node, ownedByModifier) {}
  Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) override;
};

class WindObject : public ForceWarpObject {
 public:
  explicit WindObject(bool loading = false);
  ~WindObject() override;

  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelpathFollow"; }
  Modifier* CreateWSMMod(INode* node) override;
  ForceField* GetForceField(INode* node) override;

  // Every index but the path's (1) stands for the block.
  RefTargetHandle GetReference(int i) override { return i == 1 ? static_cast<RefTargetHandle>(path) : pblock2; }
  void SetReference(int i, RefTargetHandle rtarg) override { ForceWarpObject::SetReference(i == 1 ? 1 : 0, rtarg); }

  // Picks a path: stores it as reference 1 and shows its name.
  void SetPath(INode* node);

  INode* path = nullptr;  // reference 1

 protected:
  ClassDesc2* WarpDesc() override;
  ForceWarpObject* NewEmpty() override { return new WindObject(true); }
  Material& IconMaterial() override;
  ParamMap2UserDlgProc* OpenRollout() override;
  void ClosePickMode(Interface* ip) override;
  INode* PickedNode() override { return path; }
  const char* NothingPickedText() override { return "< No path selected >"; }
  void SetPickedNode(INode* node) override { path = node; }
};

using WindDeformer = ForceWarpDeformer;

class WindMod : public ForceWarpMod<WindMod, WindObject, WindField> {
 public:
  using ForceWarpMod::ForceWarpMod;
  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelpathFollow Binding"; }
};
