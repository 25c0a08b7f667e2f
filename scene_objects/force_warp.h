// The skeleton both force fields (object attractor, path follow) are built
// on: the space-warp object with its picked node as reference 1, its icon,
// bounds, creation, rollout bracket, saving and cloning; the per-node force
// evaluator's state; and the binding modifier that hands a particle system
// its embedded field. What differs (descriptor, material, dialog procedure,
// pick mode, what a new pick does, the force itself) comes from hooks.
#pragma once
#include "host/sdk/max.h"
#include "host/ui/ui.h"
#include "scene_objects/force_field_common.h"
#include "scene_objects/force_params.h"

// The rollout controls both warps place alike: the pick button and the
// picked node's name.
enum ForceWarpControl : int {
  kIdcWarpPick = 1200,
  kIdcWarpPickedName = 1201,
};

class ForceWarpObject : public SimpleWSMObject2 {
 public:
  ~ForceWarpObject() override = default;

  // Stores the picked node as reference 1 and shows its name in the rollout.
  void SetPicked(INode* node);
  // The picked node's name in the open rollout, or the text for none.
  void ShowPickedName();
  // The force a field found, plus the turbulence around the icon at
  // `iconTm` (nothing added without turbulence).
  Point3 WithTurbulence(TimeValue t, const Point3& pos, const Matrix3& iconTm, const Point3& force);

  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  IParamBlock2* GetParamBlockByID(short id) override;

  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  IOResult Load(ILoad* iload) override;
  // A copy of the block; the copy has no picked node (nor what came of it).
  ReferenceTarget* Clone(RemapDir& remap) override;

  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;
  CreateMouseCallBack* GetCreateMouseCallBack() override;
  void BuildMesh(TimeValue t) override;
  void InvalidateUI();

  Interface* editIp = nullptr;  // while the rollout is open
  HWND rollout = nullptr;

 protected:
  virtual ClassDesc2* WarpDesc() = 0;
  // An empty object of the same class, as a load makes it.
  virtual ForceWarpObject* NewEmpty() = 0;
  virtual Material& IconMaterial() = 0;
  // Readies the rollout's template and points the dialog procedure at this
  // object; answers the procedure.
  virtual ParamMap2UserDlgProc* OpenRollout() = 0;
  // Ends this object's pick mode, if it runs.
  virtual void ClosePickMode(Interface* ip) = 0;
  // Reference 1: the picked node (target or path).
  virtual INode* PickedNode() = 0;
  virtual void SetPickedNode(INode* node) = 0;
  // What the name field shows with nothing picked.
  virtual const char* NothingPickedText() = 0;
};

// The pick mode a warp's pick button starts: nodes the filter takes become
// the warp's picked node; the button stays checked while the mode runs.
template <class Filter>
class ForceWarpPickMode : public PickModeCallback {
 public:
  ForceWarpObject* obj = nullptr;
  BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) override {
    (void)vpt; (void)flags;
    return ip->PickNode(hWnd, m, &filter_) ? TRUE : FALSE;
  }
  BOOL Pick(IObjParam* ip, ViewExp* vpt) override {
    (void)ip;
    INode* node = vpt ? vpt->GetClosestHitNode() : nullptr;
    if (node && obj) obj->SetPicked(node);
    return TRUE;
  }
  void EnterMode(IObjParam*) override { SetPickCheck(TRUE); }
  void ExitMode(IObjParam*) override { SetPickCheck(FALSE); }
  PickNodeCallback* GetFilter() override { return &filter_; }

 private:
  void SetPickCheck(BOOL on) {
    if (!obj || !obj->rollout) return;
    if (ICustButton* b = GetICustButton(GetDlgItem(obj->rollout, kIdcWarpPick))) {
      b->SetCheck(on);
      ReleaseICustButton(b);
    }
  }
  Filter filter_;
};

// Force evaluator of one bound node. Not safe to call from several threads
// at once: it keeps the icon transform and the last force.
template <class Obj>
class ForceWarpField : public ForceField {
 public:
  ForceWarpField(Obj* obj, INode* node, bool ownedByModifier) : obj(obj), node(node), ownedByModifier_(ownedByModifier) {}
  // The modifier's embedded field is not freed by whoever held it.
  void DeleteThis() override {
    if (!ownedByModifier_) delete this;
  }

  Obj* obj;
  INode* node;
  force_fields::IconTransformCache icon;
  Point3 force{0.0f, 0.0f, 0.0f};  // last computed, without turbulence
  Interval fValid = NEVER;

 private:
  bool ownedByModifier_;
};

// The binding modifier's deformer: it moves nothing.
class ForceWarpDeformer : public Deformer {
 public:
  Point3 Map(int i, Point3 p) override {
    (void)i;
    return p;
  }
};

// Binds a particle system to the warp: hands it the embedded field. Derived
// is the modifier class itself (for Clone).
template <class Derived, class Obj, class Field>
class ForceWarpMod : public SimpleWSMMod {
 public:
  ForceWarpMod() : field(nullptr, nullptr, true) {}
  ForceWarpMod(INode* node, Obj* obj) : field(obj, node, true) { ReplaceReference(1, node); }

  void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) override {
    (void)mc; (void)node;
    if (!os || !os->obj) return;
    auto* particles = static_cast<ParticleObject*>(os->obj->GetInterface(I_PARTICLEOBJ));
    if (!particles) return;
    field.obj = dynamic_cast<Obj*>(GetWSMObject(t));
    field.node = nodeRef;
    field.icon.valid.SetEmpty();
    field.fValid.SetEmpty();
    if (field.obj) particles->AddForceField(&field);
  }
  Interval GetValidity(TimeValue t) override {
    if (!nodeRef) return FOREVER;
    Interval valid = FOREVER;
    if (auto* obj = dynamic_cast<Obj*>(GetWSMObject(t))) {
      float strength = 0.0f;
      if (obj->pblock2) obj->pblock2->GetValue(kForceStrength, t, strength, valid);
    }
    nodeRef->GetObjectTM(t, &valid);
    return valid;
  }
  ReferenceTarget* Clone(RemapDir& remap) override {
    auto* copy = new Derived();
    copy->SimpleWSMModClone(this, remap);
    return copy;
  }
  Deformer& GetDeformer(TimeValue t, ModContext& mc, ObjectState* os, INode* node) {
    (void)t; (void)mc; (void)os; (void)node;
    return deformer_;
  }

  Field field;

 private:
  ForceWarpDeformer deformer_;
};
