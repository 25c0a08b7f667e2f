#include "host/sdk/particles.h"

#include "host/sdk/interface.h"

namespace {
const std::vector<ScriptedParticle>& StepAt(const std::map<TimeValue, std::vector<ScriptedParticle>>& f,
                                             TimeValue t) {
  static const std::vector<ScriptedParticle> none;
  auto it = f.upper_bound(t);
  if (it == f.begin()) return none;
  return std::prev(it)->second;
}
}  // namespace

const std::vector<ScriptedParticle>& ScriptedParticleObject::At(TimeValue t) const {
  return StepAt(frames_, t);
}
void ScriptedParticleObject::UpdateParticles(TimeValue t, INode* node) {
  (void)node;
  ++updates_;
  cur_ = At(t);
}
Point3 ScriptedParticleObject::ParticlePosition(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].pos : Point3();
}
Point3 ScriptedParticleObject::ParticleVelocity(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].vel : Point3();
}
float ScriptedParticleObject::ParticleSize(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].scale : 0.0f;
}
TimeValue ScriptedParticleObject::ParticleAge(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].age : -1;
}
TimeValue ScriptedParticleObject::ParticleLife(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].life : 0;
}

namespace {
FPInterfaceDesc& EventDesc() {
  static auto* d = new FPInterfaceDesc(PFEVENT_INTERFACE_ID(), "event", 0, nullptr, FP_MIXIN, {});
  return *d;
}
FPInterfaceDesc& ExtDesc() {
  static auto* d =
      new FPInterfaceDesc(PARTICLEOBJECTEXT_INTERFACE_ID(), "particleObjectExt", 0, nullptr, FP_MIXIN, {});
  return *d;
}
}  // namespace

BaseInterface* ParticleEventObject::GetInterface(Interface_ID id) {
  return id == PFEVENT_INTERFACE_ID() ? static_cast<IPFEvent*>(this) : Object::GetInterface(id);
}
FPInterfaceDesc* ParticleEventObject::GetDesc() { return &EventDesc(); }
const std::vector<ScriptedParticle>& ParticleEventObject::At(TimeValue t) const {
  return StepAt(frames_, t);
}

BaseInterface* EventParticleSystem::GetInterface(Interface_ID id) {
  return id == PARTICLEOBJECTEXT_INTERFACE_ID() ? static_cast<IParticleObjectExt*>(this)
                                                 : ParticleObject::GetInterface(id);
}
FPInterfaceDesc* EventParticleSystem::GetDesc() { return &ExtDesc(); }

INode* EventParticleSystem::AddEvent(const char* name, ParticleEventObject** obj) {
  auto* ev = new ParticleEventObject();
  ev->ReplaceReference(0, this);
  INode* n = GetCOREInterface()->CreateObjectNode(ev, name);
  events_.push_back(n->GetHandle());
  if (obj) *obj = ev;
  return n;
}

INode* EventParticleSystem::GetEventNode(int i) const {
  if (i < 0 || i >= int(events_.size())) return nullptr;
  return GetCOREInterface()->GetINodeByHandle(events_[size_t(i)]);
}

bool EventParticleSystem::UpdateParticles(INode* node, TimeValue t) {
  (void)node;
  cur_.clear();
  group_.clear();
  for (int e = 0; e < NumEvents(); ++e) {
    INode* n = GetEventNode(e);
    auto* ev = n ? dynamic_cast<ParticleEventObject*>(n->GetObjectRef()) : nullptr;
    if (!ev) continue;
    for (const ScriptedParticle& p : ev->At(t)) {
      cur_.push_back(p);
      group_.push_back(n);
    }
  }
  return true;
}
int EventParticleSystem::GetParticleBornIndex(int i) {
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].born : -1;
}
TimeValue EventParticleSystem::GetParticleAgeByBornIndex(int bornIndex) {
  for (const ScriptedParticle& p : cur_)
    if (p.born == bornIndex) return p.age;
  return -1;
}
float EventParticleSystem::GetParticleScaleByBornIndex(int bornIndex) {
  for (const ScriptedParticle& p : cur_)
    if (p.born == bornIndex) return p.scale;
  return 0.0f;
}
INode* EventParticleSystem::GetParticleGroup(int i) {
  return i >= 0 && i < NumParticles() ? group_[size_t(i)] : nullptr;
}
Point3* EventParticleSystem::GetParticlePositionByIndex(int i) {
  return i >= 0 && i < NumParticles() ? &cur_[size_t(i)].pos : nullptr;
}
Point3* EventParticleSystem::GetParticleSpeedByIndex(int i) {
  return i >= 0 && i < NumParticles() ? &cur_[size_t(i)].vel : nullptr;
}
Point3 EventParticleSystem::ParticlePosition(TimeValue t, int i) {
  (void)t;
  Point3* p = GetParticlePositionByIndex(i);
  return p ? *p : Point3();
}
TimeValue EventParticleSystem::ParticleAge(TimeValue t, int i) {
  (void)t;
  return i >= 0 && i < NumParticles() ? cur_[size_t(i)].age : -1;
}
