#include "host/sdk/inode.h"

#include <algorithm>
#include <cmath>

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

namespace {
bool FiniteTM(const Matrix3& m) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(m[r][c])) return false;
  return true;
}

// Rotation rows (row vectors, p * R) to a unit quaternion and back; the two
// only need to agree with each other.
void QuatFromRows(const Point3 r[3], float q[4]) {
  // m[i][j] = row j, component i: the column-vector form of the rotation.
  auto m = [&](int i, int j) { return r[j][i]; };
  const float tr = m(0, 0) + m(1, 1) + m(2, 2);
  if (tr > 0.0f) {
    const float s = std::sqrt(tr + 1.0f) * 2.0f;
    q[3] = 0.25f * s;
    q[0] = (m(2, 1) - m(1, 2)) / s;
    q[1] = (m(0, 2) - m(2, 0)) / s;
    q[2] = (m(1, 0) - m(0, 1)) / s;
  } else if (m(0, 0) > m(1, 1) && m(0, 0) > m(2, 2)) {
    const float s = std::sqrt(1.0f + m(0, 0) - m(1, 1) - m(2, 2)) * 2.0f;
    q[3] = (m(2, 1) - m(1, 2)) / s;
    q[0] = 0.25f * s;
    q[1] = (m(0, 1) + m(1, 0)) / s;
    q[2] = (m(0, 2) + m(2, 0)) / s;
  } else if (m(1, 1) > m(2, 2)) {
    const float s = std::sqrt(1.0f + m(1, 1) - m(0, 0) - m(2, 2)) * 2.0f;
    q[3] = (m(0, 2) - m(2, 0)) / s;
    q[0] = (m(0, 1) + m(1, 0)) / s;
    q[1] = 0.25f * s;
    q[2] = (m(1, 2) + m(2, 1)) / s;
  } else {
    const float s = std::sqrt(1.0f + m(2, 2) - m(0, 0) - m(1, 1)) * 2.0f;
    q[3] = (m(1, 0) - m(0, 1)) / s;
    q[0] = (m(0, 2) + m(2, 0)) / s;
    q[1] = (m(1, 2) + m(2, 1)) / s;
    q[2] = 0.25f * s;
  }
  const float l = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (int i = 0; i < 4; ++i) q[i] /= l;
}

void RowsFromQuat(const float q[4], Point3 r[3]) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  // Column-vector matrix entries m(i, j), stored as row j component i.
  const float m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                         {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                         {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  for (int j = 0; j < 3; ++j) r[j] = Point3(m[0][j], m[1][j], m[2][j]);
}

// Along the shorter arc at an even rate; nearly equal rotations blend
// linearly, where the arc's sine would lose every digit.
void Slerp(const float a[4], const float b0[4], float u, float out[4]) {
  float b[4] = {b0[0], b0[1], b0[2], b0[3]};
  float c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
  if (c < 0.0f) {
    c = -c;
    for (float& v : b) v = -v;
  }
  float wa = 1.0f - u, wb = u;
  if (c < 0.9995f) {
    const float th = std::acos(c), s = std::sin(th);
    wa = std::sin((1.0f - u) * th) / s;
    wb = std::sin(u * th) / s;
  }
  float l = 0.0f;
  for (int i = 0; i < 4; ++i) {
    out[i] = wa * a[i] + wb * b[i];
    l += out[i] * out[i];
  }
  l = std::sqrt(l);
  for (int i = 0; i < 4; ++i) out[i] /= l;
}
}  // namespace

bool INode::AddKey(TimeValue t, const Matrix3& tm) {
  if (!FiniteTM(tm)) return false;
  const float det = tm.Determinant3();
  if (!(std::fabs(det) > 1e-12f) || !std::isfinite(det)) return false;
  TMKey k;
  k.t = t;
  k.pos = tm.GetTrans();
  // Orthonormal rows by Gram-Schmidt; the lengths along them are the scale.
  Point3 r[3];
  float s[3];
  for (int i = 0; i < 3; ++i) {
    Point3 v = tm.GetRow(i);
    for (int j = 0; j < i; ++j) v -= r[j] * DotProd(v, r[j]);
    s[i] = v.Length();
    if (!(s[i] > 0.0f)) return false;
    r[i] = v / s[i];
  }
  if (det < 0.0f) {
    s[0] = -s[0];
    r[0] = -r[0];
  }
  k.scale = Point3(s[0], s[1], s[2]);
  QuatFromRows(r, k.q);
  auto at = std::lower_bound(keys_.begin(), keys_.end(), t,
                             [](const TMKey& a, TimeValue b) { return a.t < b; });
  if (at != keys_.end() && at->t == t)
    *at = k;
  else
    keys_.insert(at, k);
  return true;
}

bool INode::SetTMKey(TimeValue t, const Matrix3& tm) {
  if (!FiniteTM(tm) || !(std::fabs(tm.Determinant3()) > 1e-12f)) return false;
  if (keys_.empty() && t != 0 && !AddKey(0, tm_)) return false;
  if (!AddKey(t, tm)) return false;
  NotifyDependents(FOREVER, PART_TM, REFMSG_CHANGE);
  return true;
}

TimeValue INode::GetTMKeyTime(int i) const {
  return i >= 0 && i < int(keys_.size()) ? keys_[size_t(i)].t : 0;
}

Matrix3 INode::GetTMKeyValue(int i) const {
  if (i < 0 || i >= int(keys_.size())) return Matrix3();
  const TMKey& k = keys_[size_t(i)];
  Point3 r[3];
  RowsFromQuat(k.q, r);
  return Matrix3(r[0] * k.scale.x, r[1] * k.scale.y, r[2] * k.scale.z, k.pos);
}

void INode::ClearTMKeys() {
  if (keys_.empty()) return;
  tm_ = GetNodeTM(GetCOREInterface()->GetTime());
  keys_.clear();
  NotifyDependents(FOREVER, PART_TM, REFMSG_CHANGE);
}

bool INode::RestoreTMKeys(const std::vector<std::pair<TimeValue, Matrix3>>& keys) {
  keys_.clear();
  for (const auto& k : keys)
    if (!AddKey(k.first, k.second)) {
      keys_.clear();
      return false;
    }
  return true;
}

Matrix3 INode::GetNodeTM(TimeValue t, Interval* valid) {
  if (keys_.empty()) {
    if (valid) *valid &= FOREVER;
    return tm_;
  }
  if (valid) *valid &= keys_.size() == 1 ? FOREVER : Interval(t, t);
  if (t <= keys_.front().t) return GetTMKeyValue(0);
  if (t >= keys_.back().t) return GetTMKeyValue(int(keys_.size()) - 1);
  const size_t b = size_t(std::upper_bound(keys_.begin(), keys_.end(), t,
                                           [](TimeValue a, const TMKey& k) { return a < k.t; }) -
                          keys_.begin());
  const TMKey& k0 = keys_[b - 1];
  const TMKey& k1 = keys_[b];
  // In double: tick counts beyond 2^24 are not exact in float.
  const float u = float(double(t - k0.t) / double(k1.t - k0.t));
  float q[4];
  Slerp(k0.q, k1.q, u, q);
  Point3 r[3];
  RowsFromQuat(q, r);
  const Point3 s = k0.scale + (k1.scale - k0.scale) * u;
  return Matrix3(r[0] * s.x, r[1] * s.y, r[2] * s.z, k0.pos + (k1.pos - k0.pos) * u);
}

void INode::SetNodeTM(TimeValue t, const Matrix3& tm) {
  const Matrix3 old = GetNodeTM(t);
  // Children keep their place relative to this node.
  const Matrix3 delta = old.Inverse() * tm;
  if (GetCOREInterface()->GetAnimateMode() && SetTMKey(t, tm)) {
    // set as a key (SetTMKey notified)
  } else if (!keys_.empty()) {
    std::vector<std::pair<TimeValue, Matrix3>> moved;
    for (int i = 0; i < NumTMKeys(); ++i) moved.push_back({GetTMKeyTime(i), GetTMKeyValue(i) * delta});
    std::vector<TMKey> kept = keys_;
    if (!RestoreTMKeys(moved)) keys_ = kept;
    NotifyDependents(FOREVER, PART_TM, REFMSG_CHANGE);
  } else {
    tm_ = tm;
    NotifyDependents(FOREVER, PART_TM, REFMSG_CHANGE);
  }
  for (INode* c : children_) c->SetNodeTM(t, c->GetNodeTM(t) * delta);
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
