// Scene nodes: a node places one object (reference 0) in the scene with a
// transform, a name, a handle, display state and a material (reference 1).
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "host/core/win32.h"
#include "host/sdk/ifnpub.h"
#include "host/sdk/object.h"

class INode;
typedef std::vector<INode*> INodeTabBase;

// A table of nodes (the host's INodeTab).
class INodeTab {
 public:
  int Count() const { return int(v_.size()); }
  INode*& operator[](int i) { return v_[size_t(i)]; }
  INode* operator[](int i) const { return v_[size_t(i)]; }
  int Append(int n, INode** el) {
    int at = Count();
    for (int i = 0; i < n; ++i) v_.push_back(el[i]);
    return at;
  }
  int AppendNode(INode* n) { v_.push_back(n); return Count() - 1; }
  void SetCount(int n) { v_.resize(size_t(n > 0 ? n : 0), nullptr); }
  void ZeroCount() { v_.clear(); }
  int Delete(int start, int num);
  int IndexOf(INode* n) const;
  bool Contains(INode* n) const { return IndexOf(n) >= 0; }
  std::vector<INode*>& vec() { return v_; }

 private:
  std::vector<INode*> v_;
};

class INode : public ReferenceTarget {
 public:
  INode();
  ~INode() override;

  Class_ID ClassID() override { return nodeClassID(); }
  SClass_ID SuperClassID() override { return BASENODE_CLASS_ID; }
  void GetClassName(std::string& s) override { s = "Node"; }
  bool IsNode() override { return true; }
  // Nodes belong to the scene: losing their last dependent does not delete them.
  void MaybeAutoDelete() override {}

  const char* GetName() const { return name_.c_str(); }
  void SetName(const char* s);
  uint32_t GetHandle() const { return handle_; }
  bool IsRootNode() const { return is_root_; }

  INode* GetParentNode() const { return parent_; }
  int NumberOfChildren() const { return int(children_.size()); }
  INode* GetChildNode(int i) const;
  // Makes child a child of this node (keeping its world transform).
  void AttachChild(INode* child, int keepTM = 1);

  Object* GetObjectRef() const { return obj_; }
  Object* GetObjOrWSMRef() const { return obj_; }
  void SetObjectRef(Object* o);
  // The object at the end of the node's pipeline at t; obj may be null.
  // A node evaluated again while its own evaluation runs gets the state of
  // the running evaluation (no recursion).
  const ObjectState& EvalWorldState(TimeValue t, bool evalHidden = true);

  // Transforms, row-vector convention (p * TM). The node transform places
  // the node's pivot; the object transform adds the object offset:
  // objectTM = offsetTM * nodeTM.
  // A node holds one transform at every time until it gets keys; then
  // GetNodeTM answers the keys' transform at t (see SetTMKey) and its
  // validity narrows to t. SetNodeTM in animate mode sets a key at t;
  // outside it, it moves every key by the change at t, so an animated node
  // keeps its motion. Either way the children move along.
  Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr);
  void SetNodeTM(TimeValue t, const Matrix3& tm);
  // Sets or replaces the key at t with the world transform tm. The first key
  // at a time other than 0 also pins the transform so far at time 0, as a
  // parameter's first key does. Between two keys the position and the scale
  // run linearly and the rotation along the shorter arc at an even rate;
  // before the first key the first holds, after the last the last. A key
  // holds position, rotation and scale along the rotated axes (a shear is
  // not kept; a mirrored transform keeps its mirror in the x scale). False,
  // and nothing changed, when tm is not finite or flattens space. Sends
  // REFMSG_CHANGE with PART_TM like SetNodeTM; the children do not follow.
  bool SetTMKey(TimeValue t, const Matrix3& tm);
  int NumTMKeys() const { return int(keys_.size()); }
  // Key i in time order (0 and the identity for an index out of range).
  TimeValue GetTMKeyTime(int i) const;
  Matrix3 GetTMKeyValue(int i) const;
  void ClearTMKeys();
  Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr);
  Matrix3 GetObjTMBeforeWSM(TimeValue t, Interval* valid = nullptr) { return GetObjectTM(t, valid); }
  Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid = nullptr) { return GetObjectTM(t, valid); }
  Matrix3 GetObjOffsetTM() const { return offset_; }
  void SetObjOffsetTM(const Matrix3& m) { offset_ = m; }
  Point3 GetObjOffsetPos() const { return offset_.GetTrans(); }
  void SetObjOffsetPos(const Point3& p) { offset_.SetTrans(p); }

  void Hide(bool onOff);
  bool IsHidden() const { return hidden_; }
  bool IsObjectHidden() const { return hidden_; }
  void Freeze(bool onOff) { frozen_ = onOff; }
  bool IsFrozen() const { return frozen_; }
  bool Selected() const;

  // Display settings: see-through, box mode, all edges, back-face culling.
  void XRayMtl(bool on) { xray_ = on; }
  bool HasObjXRayMtl() const { return xray_; }
  void BoxMode(bool on) { box_mode_ = on; }
  bool GetBoxMode() const { return box_mode_; }
  void AllEdges(bool on) { all_edges_ = on; }
  bool GetAllEdges() const { return all_edges_; }
  void BackCull(bool on) { back_cull_ = on; }
  bool GetBackCull() const { return back_cull_; }
  void SetRenderable(bool on) { renderable_ = on; }
  bool Renderable() const { return renderable_; }
  void SetWireColor(DWORD c) { wire_ = c; }
  DWORD GetWireColor() const { return wire_; }

  void SetMtl(Mtl* m);
  Mtl* GetMtl() const { return mtl_; }
  // The viewport materials to draw the node's mesh with (from the viewport layer).
  Material* Mtls();
  int NumMtls();

  // Removes the node from the scene (see Interface::DeleteNode).
  void Delete(TimeValue t, int keepChildPosition = 1);

  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;

  // Scene bookkeeping (the host's).
  void SetHandle(uint32_t h) { handle_ = h; }
  void MarkRoot() { is_root_ = true; }
  void DetachFromParent();
  // Transform and hidden state from a scene file, without notifications.
  void RestoreState(const Matrix3& tm, bool hidden) { tm_ = tm; hidden_ = hidden; }
  // Keys from a scene file (as GetTMKeyTime / GetTMKeyValue gave them), without
  // notifications; false, keeping none, when one is refused as SetTMKey would.
  bool RestoreTMKeys(const std::vector<std::pair<TimeValue, Matrix3>>& keys);
  std::vector<INode*>& Children() { return children_; }

 private:
  std::string name_;
  uint32_t handle_ = 0;
  bool is_root_ = false;
  INode* parent_ = nullptr;
  std::vector<INode*> children_;
  Object* obj_ = nullptr;
  Mtl* mtl_ = nullptr;
  struct TMKey {
    TimeValue t = 0;
    Point3 pos, scale;
    float q[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // unit rotation quaternion x, y, z, w
  };
  bool AddKey(TimeValue t, const Matrix3& tm);
  Matrix3 tm_, offset_;
  std::vector<TMKey> keys_;  // in time order, one per time
  bool hidden_ = false, frozen_ = false, xray_ = false, box_mode_ = false, all_edges_ = false;
  bool back_cull_ = true, renderable_ = true;
  DWORD wire_ = 0x00808080;
  ObjectState os_;
  int evaluating_ = 0;
};

// The instance manager: nodes that share one object.
class IInstanceMgr : public BaseInterface {
 public:
  static Interface_ID ID() { return Interface_ID(0x5ECD70B5, 0x59092257); }
  Interface_ID GetID() override { return ID(); }
  // Every node whose object reference is node's object, node included.
  virtual unsigned long GetInstances(INode& node, INodeTab& nodes);
  static IInstanceMgr* GetInstanceMgr();
};
#define INSTANCE_MGR_INTERFACE IInstanceMgr::ID()

// The first node whose object (directly, or through derived objects) is obj.
INode* FindNodeOf(ReferenceTarget* obj);
