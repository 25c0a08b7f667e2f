#include "host/core/interaction.h"
#include "test_support.h"

using namespace pelliqor;

namespace {

GatherSettings LifeSettings(bool decreasing) {
  GatherSettings s;
  s.lifeAffectsSize = true;
  s.decreasing = decreasing;
  return s;
}

ScriptedParticle Part(float x, TimeValue age, TimeValue life, float scale = 1.0f, int born = 0) {
  ScriptedParticle p;
  p.pos = Point3(x, 0.0f, 0.0f);
  p.age = age;
  p.life = life;
  p.scale = scale;
  p.born = born;
  return p;
}

}  // namespace

TEST(ParticleSize, AgeAgainstOwnLifeWithinClampedRange) {
  const GatherSettings inc = LifeSettings(false), dec = LifeSettings(true);
  EXPECT_FLOAT_EQ(ClassicParticleSize(0, 4800, inc), 0.01f);     // newborn
  EXPECT_FLOAT_EQ(ClassicParticleSize(4800, 4800, inc), 1.0f);   // reached its life
  EXPECT_FLOAT_EQ(ClassicParticleSize(9600, 4800, inc), 1.0f);   // clamped
  EXPECT_FLOAT_EQ(ClassicParticleSize(2400, 4800, dec), 0.5f);
  EXPECT_FLOAT_EQ(ClassicParticleSize(9600, 4800, dec), 0.001f);  // past its life
  EXPECT_FLOAT_EQ(ClassicParticleSize(-50, 4800, inc), 0.01f);    // unborn counts as newborn
  EXPECT_FLOAT_EQ(ClassicParticleSize(100, 0, inc), 1.0f);        // no life of its own
  EXPECT_FLOAT_EQ(ClassicParticleSize(100, -5, dec), 1.0f);
  // Unguarded, these two would divide by a life of 0 or less and clamp to
  // the smallest size.
  EXPECT_FLOAT_EQ(ClassicParticleSize(100, 0, dec), 1.0f);
  EXPECT_FLOAT_EQ(ClassicParticleSize(100, -5, inc), 1.0f);
  GatherSettings off;
  EXPECT_FLOAT_EQ(ClassicParticleSize(100, 4800, off), 1.0f);
}

TEST(ParticleSize, OverriddenLifespanIsInFrames) {
  GatherSettings s = LifeSettings(true);
  s.overrideLifespan = true;
  s.lifespanFrames = 30;
  s.ticksPerFrame = 160;  // 30 frames = 4800 ticks
  EXPECT_FLOAT_EQ(ClassicParticleSize(2400, 1, s), 0.5f);
  EXPECT_FLOAT_EQ(ExtendedParticleSize(1200, 1.0f, s), 0.75f);
  s.lifespanFrames = 0;  // never below one tick
  EXPECT_FLOAT_EQ(ExtendedParticleSize(0, 1.0f, s), 1.0f);
}

TEST(ParticleSize, ExtendedParticlesMeasureAgainstOneSecondAndScale) {
  EXPECT_FLOAT_EQ(ExtendedParticleSize(0, 1.0f, LifeSettings(false)), 0.01f);
  EXPECT_FLOAT_EQ(ExtendedParticleSize(2400, 0.5f, LifeSettings(true)), 0.25f);
  GatherSettings off;
  EXPECT_FLOAT_EQ(ExtendedParticleSize(100, 0.4f, off), 0.4f);
  EXPECT_FLOAT_EQ(ExtendedParticleSize(100, 3.0f, off), 1.0f);
  EXPECT_FLOAT_EQ(ExtendedParticleSize(100, 0.0f, off), 0.001f);
}

class GatherTest : public wrapper_test::HostTest {};

TEST_F(GatherTest, ClassicParticlesAreAllCountedUnbornOnesSkipped) {
  INode* node = nullptr;
  ScriptedParticleObject* ps = NewClassic("classic", &node);
  ps->SetParticlesAt(0, {Part(1, 0, 4800), Part(2, -10, 4800), Part(3, 2400, 4800)});
  std::vector<GatheredParticle> out;
  GatherNode(node, 0, GatherSettings(), out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].skip, 0);
  EXPECT_EQ(out[1].skip, 1);
  EXPECT_EQ(out[2].position.x, 3.0f);
  for (const GatheredParticle& p : out) EXPECT_EQ(p.size, 1.0f);
  EXPECT_EQ(ps->UpdateCount(), 1);
}

TEST_F(GatherTest, EventSystemsLeaveOutDeadAndUnchosenEventParticles) {
  auto* sys = new EventParticleSystem();
  INode* sysNode = ip->CreateObjectNode(sys, "flow");
  ParticleEventObject *evA = nullptr, *evB = nullptr;
  INode* a = sys->AddEvent("EventA", &evA);
  INode* b = sys->AddEvent("EventB", &evB);
  evA->SetParticlesAt(0, {Part(1, 100, 0, 1.0f, 0), Part(2, -1, 0, 1.0f, 1)});
  evB->SetParticlesAt(0, {Part(3, 200, 0, 0.5f, 2)});

  std::vector<GatheredParticle> all;
  GatherNode(sysNode, 0, GatherSettings(), all);
  ASSERT_EQ(all.size(), 2u);  // the dead one is neither counted nor added
  EXPECT_EQ(all[0].position.x, 1.0f);
  EXPECT_EQ(all[1].position.x, 3.0f);
  EXPECT_EQ(all[1].size, 0.5f);

  GatherSettings only;
  only.useAllEvents = false;
  only.events = {b};
  std::vector<GatheredParticle> some;
  GatherNode(sysNode, 0, only, some);
  ASSERT_EQ(some.size(), 1u);
  EXPECT_EQ(some[0].position.x, 3.0f);
  (void)a;
}

// The events a wrapper was limited to are deleted: it wraps every event
// again and says so once, rather than showing nothing.
TEST_F(GatherTest, AFilterOfDeletedEventsIsDroppedWithAWord) {
  auto* sys = new EventParticleSystem();
  INode* sysNode = ip->CreateObjectNode(sys, "flow");
  ParticleEventObject *evA = nullptr, *evB = nullptr;
  INode* a = sys->AddEvent("EventA", &evA);
  sys->AddEvent("EventB", &evB);
  evA->SetParticlesAt(0, {Part(1, 100, 0, 1.0f, 0)});
  evB->SetParticlesAt(0, {Part(3, 200, 0, 1.0f, 1), Part(4, 200, 0, 1.0f, 2)});
  pelliqor::BlobNode* w = NewWrapper();
  w->addNode(sysNode);
  w->pblock->SetValue(kUseAllPFEvents, 0, 0);
  w->addPFnode(a);
  EXPECT_EQ(w->CountParticles(0), 1);
  vorel::host::ClearPromptLog();
  ip->DeleteNode(a);
  EXPECT_EQ(w->CountParticles(0), 2);
  EXPECT_EQ(w->CountParticles(0), 2);
  ASSERT_EQ(vorel::host::PromptLog().size(), 1u);
  EXPECT_EQ(vorel::host::PromptLog()[0].text,
            "Pelliqor: the events it was limited to were deleted; it wraps every event again");
}

TEST_F(GatherTest, NodesThatAreNoParticleSystemAddNothing) {
  auto* box = ip->CreateInstance(GEOMOBJECT_CLASS_ID, boxObjectClassID());
  INode* n = ip->CreateObjectNode(static_cast<Object*>(box), "box");
  std::vector<GatheredParticle> out;
  GatherNode(n, 0, GatherSettings(), out);
  GatherNode(nullptr, 0, GatherSettings(), out);
  EXPECT_TRUE(out.empty());
}

TEST_F(GatherTest, CountMatchesWhatIsAddedEvenWhenTheSystemChangesBetween) {
  INode* node = nullptr;
  ScriptedParticleObject* ps = NewClassic("classic", &node);
  ps->SetParticlesAt(0, {Part(1, 0, 0), Part(2, 0, 0)});
  pelliqor::BlobNode* w = NewWrapper();
  w->addNode(node);
  const int count = w->CountParticles(0);
  ASSERT_EQ(count, 2);
  w->Builder().BeginParticles(count, 4.0f);
  // The system answers differently by the time the particles are added.
  ps->SetParticlesAt(0, {Part(1, 0, 0), Part(2, 0, 0), Part(3, 0, 0), Part(4, 0, 0)});
  EXPECT_EQ(w->FillParticles(0), 2);
  EXPECT_EQ(w->Builder().Count(), 2);

  // A fill without a count of its own never overruns the batch either.
  w->Builder().BeginParticles(3, 4.0f);
  EXPECT_EQ(w->FillParticles(0), 3);
  EXPECT_EQ(w->Builder().particles.size(), 3u);
}

TEST_F(GatherTest, DisabledWrapperCountsNothing) {
  INode* node = nullptr;
  NewClassic("classic", &node)->SetParticlesAt(0, {Part(1, 0, 0)});
  pelliqor::BlobNode* w = NewWrapper();
  w->addNode(node);
  w->pblock->SetValue(kDisable, 0, 1);
  EXPECT_EQ(w->CountParticles(0), 0);
}
