// The wrapper's particle gathering: the particles of every listed particle
// system at one time, with their skip flags and age-dependent sizes.
#include <algorithm>

#include "host/core/interaction.h"
#include "wrapper_baker/pelliqor/blob_node.h"

namespace pelliqor {

namespace {

// The life an extended particle's age is measured against: one second.
constexpr TimeValue kExtendedLife = 4800;
constexpr float kMinSize = 0.001f;

float AgeSize(float age, float life, bool decreasing) {
  const float e = std::max(age, 0.0f);
  return decreasing ? 1.0f - e / life : e * 0.99f / life + 0.01f;
}

float Clamp(float s) { return std::min(1.0f, std::max(kMinSize, s)); }

}  // namespace

float ClassicParticleSize(TimeValue age, TimeValue ownLife, const GatherSettings& s) {
  if (!s.lifeAffectsSize) return 1.0f;
  const float life = s.overrideLifespan ? float(s.lifespanFrames) * float(s.ticksPerFrame) : float(ownLife);
  // A particle without a life of its own keeps its full size.
  if (!(life > 0.0f)) return 1.0f;
  return Clamp(AgeSize(float(age), life, s.decreasing));
}

float ExtendedParticleSize(TimeValue age, float scale, const GatherSettings& s) {
  float size = 1.0f;
  if (s.lifeAffectsSize) {
    float life = float(kExtendedLife);
    if (s.overrideLifespan) life = std::max(1.0f, float(s.lifespanFrames) * float(s.ticksPerFrame));
    size = AgeSize(float(age), life, s.decreasing);
  }
  return Clamp(size * scale);
}

void GatherNode(INode* node, TimeValue t, const GatherSettings& s, std::vector<GatheredParticle>& out) {
  if (!node) return;
  Object* obj = node->EvalWorldState(t).obj;
  if (!obj || !obj->IsParticleSystem()) return;
  // An event-driven system also answers the classic interface; its own
  // interface is the one that knows events, so it is asked first.
  if (auto* ext = dynamic_cast<IParticleObjectExt*>(obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE))) {
    ext->UpdateParticles(node, t);
    const int n = ext->NumParticles();
    for (int i = 0; i < n; ++i) {
      const int id = ext->GetParticleBornIndex(i);
      const TimeValue age = ext->GetParticleAgeByBornIndex(id);
      const float scale = ext->GetParticleScaleByBornIndex(id);
      INode* event = ext->GetParticleGroup(i);
      const Point3* pos = ext->GetParticlePositionByIndex(i);
      if (age == -1 || !pos) continue;
      if (!s.useAllEvents && std::find(s.events.begin(), s.events.end(), event) == s.events.end()) continue;
      out.push_back({*pos, uint8_t(age < 0 ? 1 : 0), ExtendedParticleSize(age, scale, s)});
    }
    return;
  }
  auto* classic = static_cast<ParticleObject*>(obj->GetInterface(I_PARTICLEOBJ));
  if (!classic) return;
  classic->UpdateParticles(t, node);
  const int n = classic->NumParticles();
  for (int i = 0; i < n; ++i) {
    const TimeValue age = classic->ParticleAge(t, i);
    const TimeValue life = s.lifeAffectsSize && !s.overrideLifespan ? classic->ParticleLife(t, i) : 0;
    out.push_back({classic->ParticlePosition(t, i), uint8_t(age < 0 ? 1 : 0), ClassicParticleSize(age, life, s)});
  }
}

void BlobNode::Gather(TimeValue t) {
  gathered_.clear();
  gatheredValid_ = true;
  gatheredAt_ = t;
  Interval iv = FOREVER;
  int disable = 0;
  if (!pblock || (pblock->GetValue(kDisable, t, disable, iv) && disable)) return;
  GatherSettings s;
  int v = 0;
  if (pblock->GetValue(kParticleLifeAffectsSize, t, v, iv)) s.lifeAffectsSize = v != 0;
  if (pblock->GetValue(kOverrideLifespan, t, v, iv)) s.overrideLifespan = v != 0;
  pblock->GetValue(kLifespan, t, s.lifespanFrames, iv);
  if (pblock->GetValue(kParticleAgeBehavior, t, v, iv)) s.decreasing = v == 1;
  if (pblock->GetValue(kUseAllPFEvents, t, v, iv)) s.useAllEvents = v != 0;
  for (int i = 0; i < pblock->Count(kPfEventList); ++i)
    if (INode* e = pblock->GetINode(kPfEventList, t, i)) s.events.push_back(e);
  // Deleted events stay in the list as empty entries (and so through a save
  // and a load). A filter of nothing but deleted events would pass nothing:
  // it is dropped, with a word, until an event is chosen again.
  const bool deadFilter = !s.useAllEvents && s.events.empty() && pblock->Count(kPfEventList) > 0;
  if (deadFilter) {
    s.useAllEvents = true;
    if (!warnedDeadEvents_)
      ShowTempPrompt("Pelliqor: the events it was limited to were deleted; it wraps every event again", 6000);
  }
  warnedDeadEvents_ = deadFilter;
  s.ticksPerFrame = GetCOREInterface()->GetTicksPerFrame();
  for (int i = 0; i < pblock->Count(kNodeList); ++i) GatherNode(pblock->GetINode(kNodeList, t, i), t, s, gathered_);
}

int BlobNode::CountParticles(TimeValue t) {
  // The particles are gathered once here and added from this list, so the
  // count that sizes the batch and the particles added cannot disagree.
  Gather(t);
  return int(gathered_.size());
}

int BlobNode::FillParticles(TimeValue t) {
  if (!gatheredValid_ || gatheredAt_ != t) Gather(t);
  SurfaceBuilder& b = *builder_;
  b.SetCount(0);
  int added = 0;
  for (const GatheredParticle& p : gathered_) {
    if (!b.AddParticle(p.position, p.skip, p.size, 0)) break;
    ++added;
  }
  // The list answers one build; a later fill gathers afresh.
  gatheredValid_ = false;
  return added;
}

}  // namespace pelliqor
