#include "host/sdk/ref.h"

#include <algorithm>
#include <unordered_set>

#include "host/sdk/object.h"

namespace {
std::unordered_set<const Animatable*>& Alive() {
  static auto* s = new std::unordered_set<const Animatable*>();
  return *s;
}
// Targets whose dependents are being told of a change: a propagation that
// comes back to one of them stops there (reference loops).
thread_local std::vector<const ReferenceTarget*> g_propagating;
}  // namespace

Animatable::Animatable() { Alive().insert(this); }
Animatable::~Animatable() {
  DeleteCustAttribContainer();
  Alive().erase(this);
}
bool Animatable::IsAlive(const Animatable* a) { return a && Alive().count(a) != 0; }

BaseInterface* Animatable::GetInterface(Interface_ID id) {
  (void)id;
  return nullptr;
}

IParamBlock2* Animatable::GetParamBlockByID(short id) {
  for (int i = 0; i < NumParamBlocks(); ++i) {
    IParamBlock2* pb = GetParamBlock(i);
    if (pb && pb->ID() == id) return pb;
  }
  return nullptr;
}

void Animatable::AllocCustAttribContainer() {
  if (!cust_attribs_) cust_attribs_ = new ICustAttribContainer(this);
}
void Animatable::DeleteCustAttribContainer() {
  ICustAttribContainer* c = cust_attribs_;
  cust_attribs_ = nullptr;
  if (c) c->DeleteMe();
}

// ---------------------------------------------------------------- makers

RefResult ReferenceMaker::ReplaceReference(int i, RefTargetHandle target, bool delOld) {
  if (i < 0 || target == this) return REF_FAIL;
  RefTargetHandle old = i < NumRefs() ? GetReference(i) : nullptr;
  if (old == target) {
    SetReference(i, target);
    return REF_SUCCEED;
  }
  SetReference(i, target);
  if (target) {
    target->AddDependent(this);
    held_.push_back(target);
  }
  if (old && IsAlive(old)) {
    auto it = std::find(held_.begin(), held_.end(), old);
    if (it != held_.end()) held_.erase(it);
    old->RemoveDependent(this);
    if (delOld && !old->HasDependents()) old->MaybeAutoDelete();
  }
  return REF_SUCCEED;
}

void ReferenceMaker::DeleteAllRefs() {
  for (int i = 0; i < NumRefs(); ++i) {
    RefTargetHandle t = GetReference(i);
    if (t) ReplaceReference(i, nullptr);
  }
}

void ReferenceMaker::HoldTarget(ReferenceTarget* t) {
  if (!t) return;
  t->AddDependent(this);
  held_.push_back(t);
}

void ReferenceMaker::ReleaseTarget(ReferenceTarget* t) {
  if (!t) return;
  auto it = std::find(held_.begin(), held_.end(), t);
  if (it != held_.end()) held_.erase(it);
  if (IsAlive(t)) t->RemoveDependent(this);
}

void ReferenceMaker::DeleteMe() {
  if (IsRefTarget()) {
    static_cast<ReferenceTarget*>(this)->DeleteReferenceTarget();
    return;
  }
  DeleteThis();
}

ReferenceMaker::~ReferenceMaker() {
  // The subclass is gone: its slots cannot be cleared, but the targets must
  // forget this maker.
  std::vector<ReferenceTarget*> held;
  held.swap(held_);
  for (ReferenceTarget* t : held) {
    if (!IsAlive(t)) continue;
    t->RemoveDependent(this);
    if (!t->HasDependents()) t->MaybeAutoDelete();
  }
}

// --------------------------------------------------------------- targets

void ReferenceTarget::AddDependent(ReferenceMaker* m) { dependents_.push_back(m); }

bool ReferenceTarget::RemoveDependent(ReferenceMaker* m) {
  auto it = std::find(dependents_.begin(), dependents_.end(), m);
  if (it == dependents_.end()) return false;
  dependents_.erase(it);
  return true;
}

RefResult ReferenceTarget::NotifyDependents(Interval changeInt, PartID partID, RefMessage message,
                                            SClass_ID sclass, bool propagate,
                                            RefTargetHandle hTarg) {
  std::vector<ReferenceMaker*> deps = dependents_;
  std::vector<ReferenceMaker*> seen;
  g_propagating.push_back(this);
  for (ReferenceMaker* m : deps) {
    if (!IsAlive(m) || !IsAlive(this)) continue;
    if (std::find(dependents_.begin(), dependents_.end(), m) == dependents_.end()) continue;
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;  // told once
    seen.push_back(m);
    if (sclass && m->SuperClassID() != sclass) continue;
    if (message == REFMSG_TEST_DEPENDENCY) m->SetAFlag(A_WORK1);
    PartID p = partID;
    RefResult r = m->NotifyRefChanged(changeInt, hTarg ? hTarg : this, p, message);
    if (r == REF_STOP || !propagate || !IsAlive(m) || !m->IsRefTarget()) continue;
    if (message == REFMSG_TARGET_DELETED || message == REFMSG_GET_NODE_HANDLE) continue;
    if (r != REF_SUCCEED && message != REFMSG_TEST_DEPENDENCY) continue;
    auto* mt = static_cast<ReferenceTarget*>(m);
    if (std::find(g_propagating.begin(), g_propagating.end(), mt) != g_propagating.end()) continue;
    mt->NotifyDependents(changeInt, p, message, sclass, propagate, nullptr);
  }
  g_propagating.pop_back();
  return REF_SUCCEED;
}

namespace {
int EnumRec(ReferenceTarget* t, DependentEnumProc* dep, std::vector<ReferenceMaker*>& seen) {
  std::vector<ReferenceMaker*> deps = t->Dependents();
  for (ReferenceMaker* m : deps) {
    if (!Animatable::IsAlive(m)) continue;
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
    seen.push_back(m);
    int r = dep->proc(m);
    if (r == DEP_ENUM_HALT) return DEP_ENUM_HALT;
    if (r == DEP_ENUM_SKIP || !m->IsRefTarget()) continue;
    if (EnumRec(static_cast<ReferenceTarget*>(m), dep, seen) == DEP_ENUM_HALT) return DEP_ENUM_HALT;
  }
  return DEP_ENUM_CONTINUE;
}
}  // namespace

int ReferenceTarget::DoEnumDependents(DependentEnumProc* dep) {
  std::vector<ReferenceMaker*> seen;
  return EnumRec(this, dep, seen);
}

void ReferenceTarget::BaseClone(ReferenceTarget* from, ReferenceTarget* to, RemapDir& remap) {
  (void)this;
  if (!from || !to) return;
  ICustAttribContainer* src = from->GetCustAttribContainer();
  if (!src || src->GetNumCustAttribs() == 0) return;
  to->AllocCustAttribContainer();
  ICustAttribContainer* dst = to->GetCustAttribContainer();
  for (int i = 0; i < src->GetNumCustAttribs(); ++i) {
    CustAttrib* ca = src->GetCustAttrib(i);
    auto* c = ca ? static_cast<CustAttrib*>(remap.CloneRef(ca)) : nullptr;
    if (c) dst->AppendCustAttrib(c);
  }
}

void ReferenceTarget::MaybeAutoDelete() {
  if (dependents_.empty()) DeleteThis();
}

void ReferenceTarget::DeleteReferenceTarget() {
  NotifyDependents(FOREVER, PART_ALL, REFMSG_TARGET_DELETED);
  if (!IsAlive(this)) return;
  // Whatever the dependents did not drop themselves goes now.
  std::vector<ReferenceMaker*> deps = dependents_;
  for (ReferenceMaker* m : deps) {
    if (!IsAlive(m)) continue;
    for (int i = 0; i < m->NumRefs(); ++i)
      if (m->GetReference(i) == this) m->ReplaceReference(i, nullptr, false);
  }
  DeleteThis();
}

ReferenceTarget::~ReferenceTarget() {
  std::vector<ReferenceMaker*> deps;
  deps.swap(dependents_);
  for (ReferenceMaker* m : deps) {
    if (!IsAlive(m)) continue;
    auto it = std::find(m->held_.begin(), m->held_.end(), this);
    if (it != m->held_.end()) m->held_.erase(it);
    for (int i = 0; i < m->NumRefs(); ++i)
      if (m->GetReference(i) == this) m->SetReference(i, nullptr);
  }
}

// ----------------------------------------------------------------- remap

ReferenceTarget* RemapDir::CloneRef(ReferenceTarget* oldTarg) {
  if (!oldTarg) return nullptr;
  auto it = map_.find(oldTarg);
  if (it != map_.end()) return it->second;
  ReferenceTarget* c = oldTarg->Clone(*this);
  if (c) map_[oldTarg] = c;
  return c;
}

ReferenceTarget* RemapDir::FindMapping(ReferenceTarget* from) {
  auto it = map_.find(from);
  return it == map_.end() ? nullptr : it->second;
}

RemapDir& NoRemap() {
  thread_local RemapDir r;
  r = RemapDir();
  return r;
}
