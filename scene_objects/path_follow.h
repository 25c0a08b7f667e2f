// The path-follow force ("Wind" classes): a space warp that pulls particles
// onto a picked spline, pushes them along it, bends them with its curve and
// steers their travel into its direction; without a path it pushes along the
// icon's z axis like the object attractor.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/ui.h"
#include "scene_objects/force_field_common.h"

class WindObject;

// Dialog 138's controls that no parameter maps.
enum PathFollowControl : int {
  kIdcPathPick = 1200,  // "Pick spline"
  kIdcPathName = 1201,  // the path's name
  kIdcPathInfo = 1203,
};

// Force evaluator of one bound node; the path is read anew on every call.
// Not safe to call from several threads at once (it keeps the icon
// transform and the last force).
class WindField : public ForceField {
 public:
  WindField(WindObject* obj, INode* node, bool ownedByModifier = false)
      : obj(obj), node(node), ownedByModifier_(ownedByModifier) {}
  Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) override;
  void DeleteThis() override {
    if (!ownedByModifier_) delete this;
  }

  WindObject* obj;
  INode* node;
  force_fields::IconTransformCache icon;
  Point3 force{0.0f, 0.0f, 0.0f};  // last computed, without turbulence
  Interval fValid = NEVER;

 private:
  bool ownedByModifier_;
};

class WindObject : public SimpleWSMObject2 {
 public:
  explicit WindObject(bool loading = false);
  ~WindObject() override;

  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelpathFollow"; }
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

  // Picks a path: stores it as reference 1 and shows its name.
  void SetPath(INode* node);

  INode* path = nullptr;  // reference 1
  Interface* editIp = nullptr;
  HWND rollout = nullptr;
};

class WindDeformer : public Deformer {
 public:
  Point3 Map(int i, Point3 p) override {
    (void)i;
    return p;
  }
};

class WindMod : public SimpleWSMMod {
 public:
  WindMod();
  WindMod(INode* node, WindObject* obj);
  Class_ID ClassID() override;
  void GetClassName(std::string& s) override;
  const char* GetObjectName() override { return "VorelpathFollow Binding"; }
  void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) override;
  Interval GetValidity(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  Deformer& GetDeformer(TimeValue t, ModContext& mc, ObjectState* os, INode* node);

  WindField field;

 private:
  WindDeformer deformer_;
};
