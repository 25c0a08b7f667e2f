#include "host/sdk/inode.h"

#include <algorithm>

#include "host/sdk/interface.h"

int INodeTab::Delete(int start, int num) {
  if (start < 0 || start >= Count() || num <= 0) return Count();
  int end = std::min(Count(), start + num);
  v_.erase(v_.begin() + start, v_.begin() + end);
  return Count();
}

int INodeTab::IndexOf(INode* n) const {
  auto it = std::find(v_.begin(), v_.end(), n);
  return it == v_.end() ? -1 : int(it - v_.begin());
}

INode::INode() = default;

INode::~INode() {
  DetachFromParent();
  for (INode* c : children_) c->parent_ = nullptr;
  children_.clear();
  DeleteAllRefs();
}

void INode::SetName(const char* s) {
  std::string n = s ? s : "";
  if (n == name_) return;
  name_ = n;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_NODE_NAMECHANGE);
}

INode* INode::GetChildNode(int i) const {
  return i >= 0 && i < int(children_.size()) ? children_[size_t(i)] : nullptr;
}

void INode::DetachFromParent() {
  if (!parent_) return;
  auto& sib = parent_->children_;
  sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
  parent_ = nullptr;
}

void INode::AttachChild(INode* child, int keepTM) {
  if (!child || child == this) return;
  // No cycles: a node cannot become a child of its own descendant.
  for (INode* p = this; p; p = p->parent_)
    if (p == child) return;
  TimeValue t = GetCOREInterface()->GetTime();
  Matrix3 world = child->GetNodeTM(t);
  child->DetachFromParent();
  child->parent_ = this;
  children_.push_back(child);
  if (keepTM) child->SetNodeTM(t, world);
}

void INode::SetObjectRef(Object* o) { ReplaceReference(0, o); }

const ObjectState& INode::EvalWorldState(TimeValue t, bool evalHidden) {
  if (evaluating_ > 0) return os_;  // re-entered from its own evaluation
  if (!obj_ || (!evalHidden && hidden_)) {
    os_ = ObjectState();  // nothing evaluated
    return os_;
  }
  ++evaluating_;
  Object* o = obj_;
  ObjectState st = o->Eval(t);
  if (!Animatable::IsAlive(this)) {  // deleted by its own evaluation
    static ObjectState empty;
    return empty;
  }
  --evaluating_;
  os_ = (Animatable::IsAlive(st.obj)) ? st : ObjectState();
  return os_;
}

Matrix3 INode::GetNodeTM(TimeValue t, Interval* valid) {
  (void)t;
  if (valid) *valid &= FOREVER;
  return tm_;
}

void INode::SetNodeTM(TimeValue t, const Matrix3& tm) {
  (void)t;
  Matrix3 old = tm_;
  tm_ = tm;
  // Children keep their place relative to this node.
  Matrix3 delta = old.Inverse() * tm_;
  for (INode* c : children_) c->SetNodeTM(t, c->tm_ * delta);
  NotifyDependents(FOREVER, PART_TM, REFMSG_CHANGE);
}

Matrix3 INode::GetObjectTM(TimeValue t, Interval* valid) {
  return offset_ * GetNodeTM(t, valid);
}

void INode::Hide(bool onOff) {
  if (hidden_ == onOff) return;
  hidden_ = onOff;
  NotifyDependents(FOREVER, PART_DISPLAY, REFMSG_CHANGE);
}

bool INode::Selected() const { return GetCOREInterface()->IsSelected(this); }

void INode::SetMtl(Mtl* m) { ReplaceReference(1, m); }

Material* INode::Mtls() {
  int n = 1;
  return GetObjectDrawHooks()->NodeMaterials(this, n);
}

int INode::NumMtls() {
  int n = 1;
  GetObjectDrawHooks()->NodeMaterials(this, n);
  return n;
}

void INode::Delete(TimeValue t, int keepChildPosition) {
  (void)t; (void)keepChildPosition;
  GetCOREInterface()->DeleteNode(this, false);
}

RefTargetHandle INode::GetReference(int i) {
  return i == 0 ? static_cast<RefTargetHandle>(obj_) : i == 1 ? mtl_ : nullptr;
}

void INode::SetReference(int i, RefTargetHandle rtarg) {
  if (i == 0) {
    obj_ = dynamic_cast<Object*>(rtarg);
    os_ = ObjectState();
  }
  if (i == 1) mtl_ = dynamic_cast<Mtl*>(rtarg);
}

RefResult INode::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                  RefMessage message) {
  (void)changeInt; (void)hTarget;
  if (message == REFMSG_GET_NODE_HANDLE) {
    if (partID) *reinterpret_cast<uint32_t*>(partID) = handle_;
    return REF_STOP;
  }
  if (message == REFMSG_TARGET_DELETED && hTarget == obj_) os_ = ObjectState();
  return REF_SUCCEED;
}

unsigned long IInstanceMgr::GetInstances(INode& node, INodeTab& nodes) {
  nodes.ZeroCount();
  Object* o = node.GetObjectRef();
  if (!o) {
    nodes.AppendNode(&node);
    return 1;
  }
  for (INode* n : GetCOREInterface()->AllNodes())
    if (n->GetObjectRef() == o) nodes.AppendNode(n);
  if (!nodes.Contains(&node)) nodes.AppendNode(&node);
  return (unsigned long)nodes.Count();
}

IInstanceMgr* IInstanceMgr::GetInstanceMgr() {
  static IInstanceMgr mgr;
  return &mgr;
}

namespace {
INode* FindNodeRec(ReferenceTarget* t, int depth) {
  if (!t || depth > 16) return nullptr;
  for (ReferenceMaker* m : t->Dependents()) {
    if (!Animatable::IsAlive(m)) continue;
    if (m->IsNode()) {
      auto* n = static_cast<INode*>(m);
      if (n->GetObjectRef() == t) return n;
    }
  }
  // Through derived objects that hold t as their object.
  for (ReferenceMaker* m : t->Dependents()) {
    auto* d = dynamic_cast<IDerivedObject*>(m);
    if (d && d->GetObjRef() == t)
      if (INode* n = FindNodeRec(d, depth + 1)) return n;
  }
  return nullptr;
}
}  // namespace

INode* FindNodeOf(ReferenceTarget* obj) { return FindNodeRec(obj, 0); }
