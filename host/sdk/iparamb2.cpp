#include "host/sdk/iparamb2.h"

#include <algorithm>
#include <cstring>

#include "host/core/hostmath.h"
#include "host/sdk/hold.h"
#include "host/sdk/ifnpub.h"
#include "host/sdk/inode.h"
#include "host/sdk/interface.h"
#include "host/sdk/ioapi.h"
#include "host/sdk/util.h"

// ------------------------------------------------------------- ParamDef

ParamDef::ParamDef(ParamID id_, const char* intName, ParamType2 type_, int flags_, int localNameId)
    : id(id_), int_name(intName ? intName : ""), type(type_), flags(flags_),
      local_name_id(localNameId) {}

ParamDef& ParamDef::Default(float v) {
  def.f = v;
  def.i = SaturateToInt(v);
  return *this;
}
ParamDef& ParamDef::Default(int v) {
  def.i = v;
  def.f = float(v);
  return *this;
}
ParamDef& ParamDef::Default(const char* s) {
  def.has_string = s != nullptr;
  def.s = s ? s : "";
  return *this;
}
ParamDef& ParamDef::Default(const Point3& p) {
  def.p = p;
  return *this;
}
ParamDef& ParamDef::Range(float lo, float hi) {
  has_range = true;
  range_lo_f = lo; range_hi_f = hi;
  range_lo_i = SaturateToInt(lo); range_hi_i = SaturateToInt(hi);
  return *this;
}
ParamDef& ParamDef::Range(int lo, int hi) {
  has_range = true;
  range_lo_i = lo; range_hi_i = hi;
  range_lo_f = float(lo); range_hi_f = float(hi);
  return *this;
}
ParamDef& ParamDef::Spinner(MapID map, int editType, int editId, int spinId, float step, bool autoScale) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_SPINNER;
  edit_type = editType;
  ctrl_ids = {editId, spinId};
  spin_step = step;
  spin_auto = autoScale;
  return *this;
}
ParamDef& ParamDef::Radio(MapID map, std::vector<int> buttonIds) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_RADIO;
  ctrl_ids = std::move(buttonIds);
  return *this;
}
ParamDef& ParamDef::CheckBox(MapID map, int cid) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_SINGLECHEKBOX;
  ctrl_ids = {cid};
  return *this;
}
ParamDef& ParamDef::CheckButton(MapID map, int cid) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_CHECKBUTTON;
  ctrl_ids = {cid};
  return *this;
}
ParamDef& ParamDef::EditBox(MapID map, int cid) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_EDITBOX;
  ctrl_ids = {cid};
  return *this;
}
ParamDef& ParamDef::NodeListBox(MapID map, int listId, int addId, int replaceId, int deleteId) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_NODELISTBOX;
  ctrl_ids = {listId, addId, replaceId, deleteId};
  return *this;
}
ParamDef& ParamDef::PickNodeButton(MapID map, int cid) {
  if (map >= 0) map_id = map;
  ctrl_type = TYPE_PICKNODEBUTTON;
  ctrl_ids = {cid};
  return *this;
}

// ------------------------------------------------------ ParamBlockDesc2

ParamBlockDesc2::ParamBlockDesc2(BlockID id, const char* intName, int localNameId, ClassDesc2* cd_,
                                 int flags_, int refNo, std::vector<RolloutDef> rollouts,
                                 std::vector<ParamDef> params)
    : ID(id), int_name(intName ? intName : ""), local_name_id(localNameId), cd(cd_),
      flags(flags_), ref_no(refNo), rollouts_(std::move(rollouts)), params_(std::move(params)) {
  if (cd) cd->AddParamBlockDesc(this);
}

ParamBlockDesc2::~ParamBlockDesc2() {
  if (cd) cd->RemoveParamBlockDesc(this);
}

const ParamDef* ParamBlockDesc2::FindParam(ParamID id) const {
  for (const ParamDef& d : params_)
    if (d.id == id) return &d;
  return nullptr;
}

const ParamDef& ParamBlockDesc2::GetParamDef(ParamID id) const {
  static const ParamDef empty;
  const ParamDef* d = FindParam(id);
  return d ? *d : empty;
}

const ParamDef* ParamBlockDesc2::FindParamByName(const std::string& name) const {
  for (const ParamDef& d : params_)
    if (vorel_sdk::EqualNoCase(d.int_name, name)) return &d;
  return nullptr;
}

int ParamBlockDesc2::IDtoIndex(ParamID id) const {
  for (size_t i = 0; i < params_.size(); ++i)
    if (params_[i].id == id) return int(i);
  return -1;
}

ParamID ParamBlockDesc2::IndextoID(int idx) const {
  return idx >= 0 && idx < Count() ? params_[size_t(idx)].id : ParamID(-1);
}

const RolloutDef* ParamBlockDesc2::FindRollout(MapID map) const {
  for (const RolloutDef& r : rollouts_)
    if (r.map_id == map) return &r;
  return nullptr;
}

void ParamBlockDesc2::SetUserDlgProc(MapID map, ParamMap2UserDlgProc* proc) {
  for (RolloutDef& r : rollouts_)
    if (r.map_id == map) {
      r.user_proc = proc;
      return;
    }
  // A single-rollout block declared without a rollout list still takes a proc.
  RolloutDef r;
  r.map_id = map;
  r.user_proc = proc;
  rollouts_.push_back(r);
}

ParamMap2UserDlgProc* ParamBlockDesc2::GetUserDlgProc(MapID map) const {
  const RolloutDef* r = FindRollout(map);
  return r ? r->user_proc : nullptr;
}

// ---------------------------------------------------------- IParamBlock2

namespace {
bool IsIntType(ParamType2 t) {
  return t == TYPE_INT || t == TYPE_BOOL || t == TYPE_RADIOBTN_INDEX;
}
bool IsFloatType(ParamType2 t) {
  return t == TYPE_FLOAT || t == TYPE_WORLD || t == TYPE_ANGLE;
}
bool IsStringType(ParamType2 t) { return t == TYPE_STRING || t == TYPE_FILENAME; }

// Undo of one block value.
class PBRestore : public RestoreObj {
 public:
  PBRestore(IParamBlock2* pb, ParamID id, const IParamBlock2::Slot& before)
      : pb_(pb), id_(id), undo_(before) {}
  void Restore(int isUndo) override {
    IParamBlock2::Slot* s = Alive() ? pb_->FindSlot(id_) : nullptr;
    if (!s) return;
    if (isUndo) redo_ = *s;
    Apply(undo_);
  }
  void Redo() override {
    if (Alive() && pb_->FindSlot(id_)) Apply(redo_);
  }
  const char* Description() override { return "ParamBlock2 value"; }

 private:
  bool Alive() const { return Animatable::IsAlive(pb_); }
  void Apply(const IParamBlock2::Slot& v) {
    // Node entries go through SetValue so references stay right.
    IParamBlock2::Slot* s = pb_->FindSlot(id_);
    const ParamDef& d = pb_->GetDesc()->GetParamDef(id_);
    if (d.type == TYPE_INODE_TAB) {
      pb_->SetCount(id_, int(v.tab.size()));
      for (size_t i = 0; i < v.tab.size(); ++i) pb_->SetValue(id_, 0, v.tab[i], int(i));
    } else if (d.type == TYPE_INODE) {
      pb_->SetValue(id_, 0, v.v.node);
    } else {
      s->v = v.v;
      s->keys = v.keys;
      pb_->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    }
  }
  IParamBlock2* pb_;
  ParamID id_;
  IParamBlock2::Slot undo_, redo_;
};
}  // namespace

IParamBlock2::IParamBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner)
    : desc_(desc), owner_(owner) {
  for (const ParamDef& d : desc_->Params()) {
    Slot& s = slots_[d.id];
    s.v = d.def;
    if (d.type == TYPE_INODE_TAB) s.tab.assign(size_t(std::max(0, d.tab_size)), nullptr);
  }
}

IParamBlock2::~IParamBlock2() {
  if (ParamUIHooks* h = GetParamUIHooks()) h->BlockDeleted(this);
  // Release the node entries (nodes outlive blocks).
  for (auto& kv : slots_) {
    for (INode*& n : kv.second.tab) SetNodeEntry(n, nullptr);
    SetNodeEntry(kv.second.v.node, nullptr);
  }
}

IParamBlock2::Slot* IParamBlock2::FindSlot(ParamID id) {
  auto it = slots_.find(id);
  return it == slots_.end() ? nullptr : &it->second;
}
const IParamBlock2::Slot* IParamBlock2::FindSlot(ParamID id) const {
  auto it = slots_.find(id);
  return it == slots_.end() ? nullptr : &it->second;
}

ParamType2 IParamBlock2::GetParameterType(ParamID id) const {
  const ParamDef* d = desc_->FindParam(id);
  return d ? d->type : ParamType2(-1);
}

const PB2Value* IParamBlock2::ValueAt(const ParamDef& d, const Slot& s, TimeValue t,
                                      Interval& valid) const {
  (void)d;
  if (s.keys.empty()) return &s.v;
  // Step keys: the key at or before t applies; before the first, the first.
  auto next = s.keys.upper_bound(t);
  auto cur = next == s.keys.begin() ? next : std::prev(next);
  if (next == s.keys.begin()) ++next;
  TimeValue start = cur == s.keys.begin() ? TIME_NegInfinity : cur->first;
  TimeValue end = next == s.keys.end() ? TIME_PosInfinity : next->first - 1;
  valid &= Interval(start, end);
  return &cur->second;
}

#define PB_LOOKUP(ok_types)                            \
  const ParamDef* d = desc_->FindParam(id);            \
  Slot* s = FindSlot(id);                              \
  if (!d || !s || !(ok_types)) return false;

bool IParamBlock2::GetValue(ParamID id, TimeValue t, float& v, Interval& valid, int tabIndex) {
  (void)tabIndex;
  PB_LOOKUP(IsFloatType(d->type))
  v = ValueAt(*d, *s, t, valid)->f;
  return true;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, int& v, Interval& valid, int tabIndex) {
  (void)tabIndex;
  PB_LOOKUP(IsIntType(d->type))
  v = ValueAt(*d, *s, t, valid)->i;
  return true;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, Point3& v, Interval& valid, int tabIndex) {
  (void)tabIndex;
  PB_LOOKUP(d->type == TYPE_POINT3)
  v = ValueAt(*d, *s, t, valid)->p;
  return true;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, const char*& v, Interval& valid, int tabIndex) {
  (void)tabIndex; (void)t; (void)valid;
  PB_LOOKUP(IsStringType(d->type))
  v = s->v.has_string ? s->v.s.c_str() : nullptr;
  return true;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, std::string& v, Interval& valid, int tabIndex) {
  const char* c = nullptr;
  if (!GetValue(id, t, c, valid, tabIndex)) return false;
  v = c ? c : "";
  return true;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, INode*& v, Interval& valid, int tabIndex) {
  (void)t; (void)valid;
  PB_LOOKUP(d->type == TYPE_INODE || d->type == TYPE_INODE_TAB)
  if (d->type == TYPE_INODE) {
    v = s->v.node;
    return true;
  }
  if (tabIndex < 0 || tabIndex >= int(s->tab.size())) return false;
  v = s->tab[size_t(tabIndex)];
  return true;
}

void IParamBlock2::Notify(ParamID id, int tabIndex) {
  last_notify_ = id;
  last_notify_tab_ = tabIndex;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  if (Animatable::IsAlive(this)) InvalidateUI(id);
}

bool IParamBlock2::SetScalar(ParamID id, TimeValue t, const PB2Value& nv, int tabIndex) {
  const ParamDef* d = desc_->FindParam(id);
  Slot* s = FindSlot(id);
  if (!d || !s) return false;
  PB2Value v = nv;
  if (d->has_range) {
    if (IsIntType(d->type)) v.i = std::clamp(v.i, d->range_lo_i, d->range_hi_i);
    if (IsFloatType(d->type)) v.f = std::clamp(v.f, d->range_lo_f, d->range_hi_f);
  }
  bool keyed = !s->keys.empty() ||
               ((d->flags & P_ANIMATABLE) && GetCOREInterface()->GetAnimateMode() && t != 0);
  PB2Value* target;
  if (keyed) {
    if (s->keys.empty()) s->keys[0] = s->v;  // the value so far holds at frame 0
    auto it = s->keys.find(t);
    if (it == s->keys.end() && !GetCOREInterface()->GetAnimateMode()) {
      // Outside animate mode the key in effect at t changes.
      auto next = s->keys.upper_bound(t);
      it = next == s->keys.begin() ? next : std::prev(next);
    }
    target = &s->keys[it == s->keys.end() ? t : it->first];
  } else {
    target = &s->v;
  }
  bool same = IsIntType(d->type)     ? target->i == v.i
              : IsFloatType(d->type) ? target->f == v.f
              : d->type == TYPE_POINT3 ? target->p == v.p
                                       : (target->has_string == v.has_string && target->s == v.s);
  if (same) return true;
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  if (IsIntType(d->type)) { target->i = v.i; target->f = float(v.i); }
  else if (IsFloatType(d->type)) { target->f = v.f; target->i = SaturateToInt(v.f); }
  else if (d->type == TYPE_POINT3) target->p = v.p;
  else { target->s = v.s; target->has_string = v.has_string; }
  Notify(id, tabIndex);
  return true;
}

bool IParamBlock2::SetValue(ParamID id, TimeValue t, float v, int tabIndex) {
  const ParamDef* d = desc_->FindParam(id);
  if (!d) return false;
  PB2Value nv;
  if (IsFloatType(d->type)) nv.f = v;
  else if (IsIntType(d->type)) nv.i = SaturateToInt(v);
  else return false;
  return SetScalar(id, t, nv, tabIndex);
}

bool IParamBlock2::SetValue(ParamID id, TimeValue t, int v, int tabIndex) {
  const ParamDef* d = desc_->FindParam(id);
  if (!d) return false;
  PB2Value nv;
  if (IsIntType(d->type)) nv.i = v;
  else if (IsFloatType(d->type)) nv.f = float(v);
  else return false;
  return SetScalar(id, t, nv, tabIndex);
}

bool IParamBlock2::SetValue(ParamID id, TimeValue t, const Point3& v, int tabIndex) {
  const ParamDef* d = desc_->FindParam(id);
  if (!d || d->type != TYPE_POINT3) return false;
  PB2Value nv;
  nv.p = v;
  return SetScalar(id, t, nv, tabIndex);
}

bool IParamBlock2::SetValue(ParamID id, TimeValue t, const char* v, int tabIndex) {
  const ParamDef* d = desc_->FindParam(id);
  if (!d || !IsStringType(d->type)) return false;
  PB2Value nv;
  nv.has_string = v != nullptr;
  nv.s = v ? v : "";
  return SetScalar(id, t, nv, tabIndex);
}

void IParamBlock2::SetNodeEntry(INode*& entry, INode* node) {
  if (entry == node) return;
  INode* old = entry;
  entry = node;
  HoldTarget(node);
  ReleaseTarget(old);
}

bool IParamBlock2::SetValue(ParamID id, TimeValue t, INode* v, int tabIndex) {
  (void)t;
  const ParamDef* d = desc_->FindParam(id);
  Slot* s = FindSlot(id);
  if (!d || !s) return false;
  INode** entry = nullptr;
  if (d->type == TYPE_INODE) entry = &s->v.node;
  else if (d->type == TYPE_INODE_TAB && tabIndex >= 0 && tabIndex < int(s->tab.size()))
    entry = &s->tab[size_t(tabIndex)];
  if (!entry) return false;
  if (*entry == v) return true;
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  SetNodeEntry(*entry, v);
  Notify(id, tabIndex);
  return true;
}

float IParamBlock2::GetFloat(ParamID id, TimeValue t, int tabIndex) {
  float v = 0.0f;
  Interval iv;
  if (!GetValue(id, t, v, iv, tabIndex)) {
    int i = 0;
    if (GetValue(id, t, i, iv, tabIndex)) v = float(i);
  }
  return v;
}
int IParamBlock2::GetInt(ParamID id, TimeValue t, int tabIndex) {
  int v = 0;
  Interval iv;
  if (!GetValue(id, t, v, iv, tabIndex)) {
    float f = 0.0f;
    if (GetValue(id, t, f, iv, tabIndex)) v = SaturateToInt(f);
  }
  return v;
}
const char* IParamBlock2::GetStr(ParamID id, TimeValue t, int tabIndex) {
  const char* v = nullptr;
  Interval iv;
  GetValue(id, t, v, iv, tabIndex);
  return v;
}
INode* IParamBlock2::GetINode(ParamID id, TimeValue t, int tabIndex) {
  INode* v = nullptr;
  Interval iv;
  GetValue(id, t, v, iv, tabIndex);
  return v;
}
Point3 IParamBlock2::GetPoint3(ParamID id, TimeValue t, int tabIndex) {
  Point3 v;
  Interval iv;
  GetValue(id, t, v, iv, tabIndex);
  return v;
}

bool IParamBlock2::SetKey(ParamID id, TimeValue t, float v) {
  const ParamDef* d = desc_->FindParam(id);
  Slot* s = FindSlot(id);
  if (!d || !s || !(IsFloatType(d->type) || IsIntType(d->type))) return false;
  PB2Value nv = s->keys.empty() ? s->v : s->keys.begin()->second;
  nv.f = v;
  nv.i = SaturateToInt(v);
  if (d->has_range) {
    nv.f = std::clamp(nv.f, d->range_lo_f, d->range_hi_f);
    nv.i = std::clamp(nv.i, d->range_lo_i, d->range_hi_i);
  }
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  if (s->keys.empty()) s->keys[0] = s->v;  // the value so far holds at frame 0
  s->keys[t] = nv;
  Notify(id, 0);
  return true;
}

bool IParamBlock2::SetKey(ParamID id, TimeValue t, int v) {
  const ParamDef* d = desc_->FindParam(id);
  if (!d) return false;
  if (IsIntType(d->type)) {
    Slot* s = FindSlot(id);
    PB2Value nv = s->keys.empty() ? s->v : s->keys.begin()->second;
    nv.i = d->has_range ? std::clamp(v, d->range_lo_i, d->range_hi_i) : v;
    nv.f = float(nv.i);
    if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
    if (s->keys.empty()) s->keys[0] = s->v;
    s->keys[t] = nv;
    Notify(id, 0);
    return true;
  }
  return SetKey(id, t, float(v));
}

int IParamBlock2::NumKeys(ParamID id) const {
  const Slot* s = FindSlot(id);
  return s ? int(s->keys.size()) : 0;
}

void IParamBlock2::ClearKeys(ParamID id) {
  Slot* s = FindSlot(id);
  if (!s || s->keys.empty()) return;
  s->v = s->keys.begin()->second;
  s->keys.clear();
  Notify(id, 0);
}

int IParamBlock2::Count(ParamID id) const {
  const Slot* s = FindSlot(id);
  const ParamDef* d = desc_->FindParam(id);
  if (!s || !d || !IsTabType(d->type)) return 0;
  return int(s->tab.size());
}

bool IParamBlock2::SetCount(ParamID id, int n) {
  Slot* s = FindSlot(id);
  const ParamDef* d = desc_->FindParam(id);
  if (!s || !d || !IsTabType(d->type) || n < 0) return false;
  if (n == int(s->tab.size())) return true;
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  for (size_t i = size_t(n); i < s->tab.size(); ++i) SetNodeEntry(s->tab[i], nullptr);
  s->tab.resize(size_t(n), nullptr);
  Notify(id, 0);
  return true;
}

int IParamBlock2::Append(ParamID id, int num, INode** el, int allocExtra) {
  (void)allocExtra;
  return Insert(id, Count(id), num, el);
}

int IParamBlock2::Insert(ParamID id, int start, int num, INode** el) {
  Slot* s = FindSlot(id);
  const ParamDef* d = desc_->FindParam(id);
  if (!s || !d || d->type != TYPE_INODE_TAB || num <= 0) return Count(id);
  start = std::clamp(start, 0, int(s->tab.size()));
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  s->tab.insert(s->tab.begin() + start, size_t(num), nullptr);
  for (int i = 0; i < num; ++i) SetNodeEntry(s->tab[size_t(start + i)], el ? el[i] : nullptr);
  Notify(id, start);
  return int(s->tab.size());
}

int IParamBlock2::Delete(ParamID id, int start, int num) {
  Slot* s = FindSlot(id);
  const ParamDef* d = desc_->FindParam(id);
  if (!s || !d || d->type != TYPE_INODE_TAB) return Count(id);
  if (start < 0 || start >= int(s->tab.size()) || num <= 0) return int(s->tab.size());
  int end = std::min(int(s->tab.size()), start + num);
  if (theHold.Holding()) theHold.Put(new PBRestore(this, id, *s));
  for (int i = start; i < end; ++i) SetNodeEntry(s->tab[size_t(i)], nullptr);
  s->tab.erase(s->tab.begin() + start, s->tab.begin() + end);
  Notify(id, start);
  return int(s->tab.size());
}

void IParamBlock2::Reset(ParamID id) {
  const ParamDef* d = desc_->FindParam(id);
  Slot* s = FindSlot(id);
  if (!d || !s) return;
  s->keys.clear();
  if (d->type == TYPE_INODE_TAB) {
    SetCount(id, std::max(0, d->tab_size));
    for (INode*& n : s->tab) SetNodeEntry(n, nullptr);
  } else if (d->type == TYPE_INODE) {
    SetNodeEntry(s->v.node, nullptr);
  } else {
    s->v = d->def;
  }
  Notify(id, 0);
}

void IParamBlock2::ResetAll(bool updateUI, bool callSetHandlers) {
  (void)updateUI; (void)callSetHandlers;
  for (const ParamDef& d : desc_->Params()) Reset(d.id);
}

IParamMap2* IParamBlock2::GetMap(MapID map) const {
  auto it = maps_.find(map);
  return it == maps_.end() ? nullptr : it->second;
}

void IParamBlock2::SetMap(IParamMap2* m, MapID map) {
  if (m) maps_[map] = m;
  else maps_.erase(map);
}

void IParamBlock2::InvalidateUI(ParamID id) {
  if (ParamUIHooks* h = GetParamUIHooks()) h->InvalidateUI(this, id);
}

int IParamBlock2::NumRefs() {
  int n = 0;
  for (const ParamDef& d : desc_->Params()) {
    if (d.type == TYPE_INODE) ++n;
    else if (d.type == TYPE_INODE_TAB) n += int(slots_[d.id].tab.size());
  }
  return n;
}

namespace {
template <class F>
bool ForRef(std::vector<ParamDef> const& defs, std::map<ParamID, IParamBlock2::Slot>& slots, int i,
            F f) {
  for (const ParamDef& d : defs) {
    IParamBlock2::Slot& s = slots[d.id];
    if (d.type == TYPE_INODE) {
      if (i == 0) return f(s.v.node, d.id, 0);
      --i;
    } else if (d.type == TYPE_INODE_TAB) {
      if (i < int(s.tab.size())) return f(s.tab[size_t(i)], d.id, i);
      i -= int(s.tab.size());
    }
  }
  return false;
}
}  // namespace

RefTargetHandle IParamBlock2::GetReference(int i) {
  INode* r = nullptr;
  ForRef(desc_->Params(), slots_, i, [&](INode*& e, ParamID, int) { r = e; return true; });
  return r;
}

void IParamBlock2::SetReference(int i, RefTargetHandle rtarg) {
  // Only the reference machinery comes here (dependents already updated).
  ForRef(desc_->Params(), slots_, i, [&](INode*& e, ParamID, int) {
    e = (rtarg && rtarg->IsNode()) ? static_cast<INode*>(rtarg) : nullptr;
    return true;
  });
}

RefResult IParamBlock2::NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                         RefMessage message) {
  (void)changeInt; (void)partID;
  if (message == REFMSG_CHANGE) {
    // A node of a table changed (moved): the owner hears it from this block
    // with that parameter as the last notified one.
    for (const ParamDef& d : desc_->Params()) {
      Slot& s = slots_[d.id];
      auto it = std::find(s.tab.begin(), s.tab.end(), hTarget);
      if ((d.type == TYPE_INODE && s.v.node == hTarget) || it != s.tab.end()) {
        last_notify_ = d.id;
        last_notify_tab_ = it != s.tab.end() ? int(it - s.tab.begin()) : 0;
        break;
      }
    }
    return REF_SUCCEED;
  }
  if (message != REFMSG_TARGET_DELETED) return REF_SUCCEED;
  // A node in a table was deleted: its entries become null and the owner
  // hears of each with that parameter as the last notified one.
  for (const ParamDef& d : desc_->Params()) {
    Slot& s = slots_[d.id];
    if (d.type == TYPE_INODE && s.v.node == hTarget) {
      SetNodeEntry(s.v.node, nullptr);
      Notify(d.id, 0);
    } else if (d.type == TYPE_INODE_TAB) {
      for (size_t k = 0; k < s.tab.size(); ++k)
        if (s.tab[k] == hTarget) {
          SetNodeEntry(s.tab[k], nullptr);
          Notify(d.id, int(k));
          if (!Animatable::IsAlive(this)) return REF_STOP;
        }
    }
  }
  return REF_STOP;
}

ReferenceTarget* IParamBlock2::Clone(RemapDir& remap) {
  auto* c = new IParamBlock2(desc_, nullptr);
  for (auto& kv : slots_) {
    Slot& dst = c->slots_[kv.first];
    dst.v = kv.second.v;
    dst.v.node = nullptr;
    dst.keys = kv.second.keys;
    dst.tab.assign(kv.second.tab.size(), nullptr);
    for (size_t i = 0; i < kv.second.tab.size(); ++i) c->SetNodeEntry(dst.tab[i], kv.second.tab[i]);
    c->SetNodeEntry(dst.v.node, kv.second.v.node);
  }
  BaseClone(this, c, remap);
  return c;
}

IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* pdesc, ReferenceMaker* owner) {
  return pdesc ? new IParamBlock2(pdesc, owner) : nullptr;
}

// ------------------------------------------------------------ UI hooks

namespace {
ParamUIHooks*& Hooks() {
  static ParamUIHooks* h = nullptr;
  return h;
}
}  // namespace
void SetParamUIHooks(ParamUIHooks* hooks) { Hooks() = hooks; }
ParamUIHooks* GetParamUIHooks() { return Hooks(); }

// ------------------------------------------------------------ ClassDesc

ClassDesc::~ClassDesc() { ClassDirectory::Get().RemoveClass(this); }

ClassDesc2::~ClassDesc2() {
  // Block descriptions that outlive their descriptor forget it.
  for (ParamBlockDesc2* d : pbdescs_) d->cd = nullptr;
}

void ClassDesc2::MakeAutoParamBlocks(ReferenceMaker* owner) {
  if (!owner) return;
  for (ParamBlockDesc2* pbd : pbdescs_) {
    if (!(pbd->flags & P_AUTO_CONSTRUCT)) continue;
    IParamBlock2* pb = CreateParameterBlock2(pbd, owner);
    owner->ReplaceReference(pbd->ref_no, pb);
  }
}

void ClassDesc2::BeginEditParams(IObjParam* ip, ReferenceMaker* obj, uint32_t flags,
                                 Animatable* prev) {
  edited_ = obj;
  if (ParamUIHooks* h = GetParamUIHooks()) h->BeginEditParams(this, ip, obj, flags, prev);
}

void ClassDesc2::EndEditParams(IObjParam* ip, ReferenceMaker* obj, uint32_t flags,
                               Animatable* next) {
  if (ParamUIHooks* h = GetParamUIHooks()) h->EndEditParams(this, ip, obj, flags, next);
  if (edited_ == obj) edited_ = nullptr;
}

void ClassDesc2::InvalidateUI(ParamBlockDesc2* pbd, ParamID id) {
  ParamUIHooks* h = GetParamUIHooks();
  if (!h || !edited_ || !Animatable::IsAlive(edited_)) return;
  for (int i = 0; i < edited_->NumParamBlocks(); ++i) {
    IParamBlock2* pb = edited_->GetParamBlock(i);
    if (pb && (!pbd || pb->GetDesc() == pbd)) h->InvalidateUI(pb, id);
  }
}

IParamMap2* ClassDesc2::GetParamMap(ParamBlockDesc2* pbd, MapID map) {
  if (!edited_ || !Animatable::IsAlive(edited_)) return nullptr;
  for (int i = 0; i < edited_->NumParamBlocks(); ++i) {
    IParamBlock2* pb = edited_->GetParamBlock(i);
    if (pb && pb->GetDesc() == pbd) return pb->GetMap(map);
  }
  return nullptr;
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDesc(int i) const {
  return i >= 0 && i < int(pbdescs_.size()) ? pbdescs_[size_t(i)] : nullptr;
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDescByID(BlockID id) const {
  for (ParamBlockDesc2* d : pbdescs_)
    if (d->ID == id) return d;
  return nullptr;
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDescByName(const std::string& name) const {
  for (ParamBlockDesc2* d : pbdescs_)
    if (vorel_sdk::EqualNoCase(d->int_name, name)) return d;
  return nullptr;
}

void ClassDesc2::AddParamBlockDesc(ParamBlockDesc2* pbd) {
  if (std::find(pbdescs_.begin(), pbdescs_.end(), pbd) == pbdescs_.end()) pbdescs_.push_back(pbd);
}

void ClassDesc2::RemoveParamBlockDesc(ParamBlockDesc2* pbd) {
  pbdescs_.erase(std::remove(pbdescs_.begin(), pbdescs_.end(), pbd), pbdescs_.end());
}

FPInterface* ClassDesc2::GetInterfaceAt(int i) const {
  return i >= 0 && i < int(interfaces_.size()) ? interfaces_[size_t(i)] : nullptr;
}

FPInterface* ClassDesc2::GetInterface(Interface_ID id) const {
  for (FPInterface* f : interfaces_)
    if (f->GetID() == id) return f;
  return nullptr;
}

void ClassDesc2::AddInterface(FPInterface* fpi) {
  if (fpi && std::find(interfaces_.begin(), interfaces_.end(), fpi) == interfaces_.end())
    interfaces_.push_back(fpi);
}
