// Particle interfaces other particle systems offer (the classic interface
// of ParticleObject, the extended interface of event-driven systems and the
// event interface), and scripted stand-ins of such systems for tests: their
// particles are given per time rather than simulated.
#pragma once
#include <map>
#include <vector>

#include "host/sdk/ifnpub.h"
#include "host/sdk/object.h"

inline Interface_ID PARTICLEOBJECTEXT_INTERFACE_ID() { return Interface_ID(0x66C2429A, 0x38D60A0B); }
inline Interface_ID PFEVENT_INTERFACE_ID() { return Interface_ID(0x2C712D9F, 0x7BC54CB0); }
#define PARTICLEOBJECTEXT_INTERFACE PARTICLEOBJECTEXT_INTERFACE_ID()
#define PFEVENT_INTERFACE PFEVENT_INTERFACE_ID()

// The extended particle interface: particles by index, with a born index
// that stays with a particle for its life.
class IParticleObjectExt : public FPMixinInterface {
 public:
  virtual bool UpdateParticles(INode* node, TimeValue t) = 0;
  virtual int NumParticles() = 0;
  virtual int GetParticleBornIndex(int i) = 0;
  // Age in ticks of the particle with that born index; -1 when not alive.
  virtual TimeValue GetParticleAgeByBornIndex(int bornIndex) = 0;
  virtual float GetParticleScaleByBornIndex(int bornIndex) = 0;
  // The event node that holds particle i.
  virtual INode* GetParticleGroup(int i) = 0;
  virtual Point3* GetParticlePositionByIndex(int i) = 0;
  virtual Point3* GetParticleSpeedByIndex(int i) = 0;
};

// Answered by the objects of event nodes.
class IPFEvent : public FPMixinInterface {};

// One scripted particle.
struct ScriptedParticle {
  int born = 0;  // born index
  Point3 pos, vel;
  TimeValue age = 0;
  TimeValue life = 0;
  float scale = 1.0f;
};

// A classic particle system whose particles are given per time: the set
// given for the latest time at or before t applies.
class ScriptedParticleObject : public ParticleObject {
 public:
  static Class_ID ClassID_() { return Class_ID(0x5C7A1001, 0x00000001); }
  Class_ID ClassID() override { return ClassID_(); }
  void GetClassName(std::string& s) override { s = "ScriptedParticles"; }
  void SetParticlesAt(TimeValue t, std::vector<ScriptedParticle> parts) { frames_[t] = std::move(parts); }
  void UpdateParticles(TimeValue t, INode* node) override;
  int NumParticles() override { return int(cur_.size()); }
  Point3 ParticlePosition(TimeValue t, int i) override;
  Point3 ParticleVelocity(TimeValue t, int i) override;
  float ParticleSize(TimeValue t, int i) override;
  TimeValue ParticleAge(TimeValue t, int i) override;
  TimeValue ParticleLife(TimeValue t, int i) override;
  int UpdateCount() const { return updates_; }

 protected:
  const std::vector<ScriptedParticle>& At(TimeValue t) const;
  std::map<TimeValue, std::vector<ScriptedParticle>> frames_;
  std::vector<ScriptedParticle> cur_;
  int updates_ = 0;
};

// An event of an event-driven system: a container of particles, scripted
// per time. Its object references the system (reference 0), so the event's
// node is found among the system's dependents.
class ParticleEventObject : public Object, public IPFEvent {
 public:
  static Class_ID ClassID_() { return Class_ID(0x5C7A1001, 0x00000003); }
  Class_ID ClassID() override { return ClassID_(); }
  SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
  void GetClassName(std::string& s) override { s = "ScriptedEvent"; }
  BaseInterface* GetInterface(Interface_ID id) override;
  using Object::GetInterface;
  FPInterfaceDesc* GetDesc() override;
  void SetParticlesAt(TimeValue t, std::vector<ScriptedParticle> parts) { frames_[t] = std::move(parts); }
  const std::vector<ScriptedParticle>& At(TimeValue t) const;
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? system_ : nullptr; }
  void SetReference(int i, RefTargetHandle r) override { if (i == 0) system_ = r; }

 private:
  std::map<TimeValue, std::vector<ScriptedParticle>> frames_;
  ReferenceTarget* system_ = nullptr;
};

// The event-driven system: particles of all its events, event by event.
class EventParticleSystem : public ParticleObject, public IParticleObjectExt {
 public:
  static Class_ID ClassID_() { return Class_ID(0x5C7A1001, 0x00000002); }
  Class_ID ClassID() override { return ClassID_(); }
  void GetClassName(std::string& s) override { s = "ScriptedEventSystem"; }
  BaseInterface* GetInterface(Interface_ID id) override;
  using ParticleObject::GetInterface;
  FPInterfaceDesc* GetDesc() override;
  // A new event with its own node (named name) in the core interface's scene.
  INode* AddEvent(const char* name, ParticleEventObject** obj = nullptr);
  int NumEvents() const { return int(events_.size()); }
  INode* GetEventNode(int i) const;  // null once deleted

  bool UpdateParticles(INode* node, TimeValue t) override;
  void UpdateParticles(TimeValue t, INode* node) override { UpdateParticles(node, t); }
  int NumParticles() override { return int(cur_.size()); }
  int GetParticleBornIndex(int i) override;
  TimeValue GetParticleAgeByBornIndex(int bornIndex) override;
  float GetParticleScaleByBornIndex(int bornIndex) override;
  INode* GetParticleGroup(int i) override;
  Point3* GetParticlePositionByIndex(int i) override;
  Point3* GetParticleSpeedByIndex(int i) override;
  Point3 ParticlePosition(TimeValue t, int i) override;
  TimeValue ParticleAge(TimeValue t, int i) override;

 private:
  std::vector<uint32_t> events_;  // node handles
  std::vector<ScriptedParticle> cur_;
  std::vector<INode*> group_;
};
