// The frame solve driver: emission per sub-step, fills, sub-sampling,
// Escape, holding time, the clock, and a short pour solved end to end.
#include <cmath>
#include <fstream>
#include <map>

#include "engine_test_util.h"
#include "fluid_core/emission_layers.h"
#include "host/core/clock.h"
#include "host/core/interaction.h"
#include "mesher/mesh_record.h"

using engine_test::EngineTest;
using engine_test::TestSource;
using solver_test::Put;

namespace {
// A source at host (x, y, z) pouring straight down from a disc of radius r.
TestSource* PouringSource(FluidEngine& e, Point3 at, double r) {
  EXPECT_TRUE(e.CreateSource());
  const int i = e.sourceCount - 1;
  auto* s = static_cast<TestSource*>(e.sourceObjects[i]);
  s->SetDisc(r);
  Matrix3 tm;
  tm.RotateX(3.14159265f);
  tm.SetTrans(at);
  e.sourceNodes[i]->SetNodeTM(0, tm);
  IParamBlock2* pb = e.SourceBlock(i);
  pb->SetValue(kEmitStartFrame, 0, -100);
  pb->SetValue(kEmitStopFrame, 0, 1000);
  return s;
}

// Solves host frames first..last the way a batch solve drives them.
void Drive(FluidEngine& e, engine_test::FakeOwner& owner, int first, int last) {
  owner.solving = true;
  for (int f = first; f <= last; ++f) {
    GetCOREInterface()->SetTime(f * 160, false);
    e.UpdateToTime(f * 160);
  }
  owner.solving = false;
}
}  // namespace

TEST_F(EngineTest, AFrameAlreadyReachedStoresNothingNew) {
  auto e = MakeEngine();
  std::remove(e->solver->frameCache.FramePath(0).c_str());
  EXPECT_TRUE(e->SolveFrame(0));
  EXPECT_EQ(e->lastSolved, 0);
  // Nothing simulated, but a frame taken as solved is on disk again.
  EXPECT_EQ(vorel::host::FileSize(e->solver->frameCache.FramePath(0)), ParticleFrameFile::Size(0));
  EXPECT_TRUE(owner.progress.empty());  // no sub-step ran
  EXPECT_FALSE(owner.running);
}

TEST_F(EngineTest, EmissionFollowsRateDisableAndTheEmissionWindow) {
  auto e = MakeEngine();
  PouringSource(*e, Point3(0, 0, 40), 0.3);
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitEmissionRate, 0, 8.0f);
  e->Reset();  // the solver's record starts where the node now stands
  GetCOREInterface()->SetTime(160, false);
  e->SolveFrame(1);
  EXPECT_EQ(e->solver->sources[0]->pressure, 32000.0f);
  ASSERT_GT(e->solver->count, 0);
  const FluidParticle& p = e->solver->particles[0];
  EXPECT_EQ(p.sourceIndex, 0);
  EXPECT_EQ(p.tag, e->sourceNodes[0]->GetHandle());
  EXPECT_LT(p.pos.z, 2.0f + 1e-3f);  // below the emitter: poured down
  EXPECT_LT(p.vel.z, 0.0f);

  struct Case {
    const char* what;
    int disable, start, stop;
  } cases[] = {{"disabled", 1, -100, 1000}, {"before its start", 0, 5, 1000}, {"after its stop", 0, -100, 2}};
  for (const Case& c : cases) {
    pb->SetValue(kEmitDisableSource, 0, c.disable);
    pb->SetValue(kEmitStartFrame, 0, c.start);
    pb->SetValue(kEmitStopFrame, 0, c.stop);
    const int before = e->solver->count;
    const int f = e->lastSolved + 1;
    GetCOREInterface()->SetTime(f * 160, false);
    e->SolveFrame(f);
    EXPECT_EQ(e->solver->sources[0]->pressure, 0.0f) << c.what;
    EXPECT_EQ(e->solver->count, before) << c.what;
  }
}

TEST_F(EngineTest, AShapeThatWouldPassTheSolversCapIsRefusedBeforeEmitting) {
  // The count said is the frame's emission: what the frame emits once let
  // through lies close to it. The emission's random numbers come from the
  // clock: fixed, so the handful emitted is the same on every run.
  vorel::host::FixClockMs(98765);
  struct Unfix {
    ~Unfix() { vorel::host::UnfixClock(); }
  } unfix;
  auto e = MakeEngine();
  PouringSource(*e, Point3(0, 0, 40), 0.3);
  e->SourceBlock(0)->SetValue(kEmitEmissionRate, 0, 8.0f);
  e->Reset();
  e->solver->particleCap = 10;
  const int solved = e->lastSolved;
  GetCOREInterface()->SetTime(160, false);
  e->SolveFrame(1);
  EXPECT_EQ(e->solver->count, 0);
  EXPECT_EQ(e->lastSolved, solved);
  const std::string name = e->sourceNodes[0]->GetName();
  const std::string& said = e->solveFailure;
  ASSERT_EQ(said.rfind(name + " would emit ", 0), 0u) << said;
  EXPECT_NE(said.find(" particles in frame 1: with the 0 held, more than the 10 particles the solver holds at most"),
            std::string::npos)
      << said;
  const double forecast = std::stod(said.substr(name.size() + 12));

  e->solver->particleCap = FluidSolver::DefaultParticleCap();
  e->SolveFrame(1);
  EXPECT_TRUE(e->solveFailure.empty()) << e->solveFailure;
  EXPECT_EQ(e->lastSolved, 1);
  EXPECT_GT(forecast, 0.8 * e->solver->count);
  EXPECT_LT(forecast, 1.25 * e->solver->count);
}

TEST_F(EngineTest, AFillIsEmittedOnceAndRestoresThePreviousFrame) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  auto* s = SourceOf(*e, 0);
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitEmissionType, 0, 2);
  pb->SetValue(kEmitParticlesFilled, 0, 2);
  s->hasPick = true;
  s->fill = {Vec3f(0, 0, 1), Vec3f(0.5f, 0, 1), Vec3f(1, 0, 1)};
  e->Reset();
  ASSERT_EQ(s->fillPending, 1);
  e->SolveFrame(0);  // frame 0, not holding: no fill yet
  EXPECT_EQ(e->solver->count, 0);
  GetCOREInterface()->SetTime(160, false);
  e->SolveFrame(1);
  EXPECT_EQ(s->fillPending, 0);
  EXPECT_EQ(e->solver->count, 2);
  EXPECT_EQ(e->frameParticleCount[0], 2);
  ParticleFrameHeader h;
  ASSERT_TRUE(e->solver->frameCache.ReadHeader(0, h));
  EXPECT_EQ(h.count, 2);
  ASSERT_FALSE(s->spinners.empty());
  EXPECT_FALSE(s->spinners.back());
  GetCOREInterface()->SetTime(320, false);
  e->SolveFrame(2);
  EXPECT_EQ(e->solver->count, 2);
}

TEST_F(EngineTest, SubSamplesSkipFrictionAndBounceBetweenFullSteps) {
  auto e = MakeEngine();
  owner.block->SetValue(kFluidSubSample, 0, 3);
  Put(*e->solver, Vec3f(0, 0, 1));
  std::map<int, bool> skipAt;
  FluidSolver* solver = e->solver;
  solver_host::SetAbortTest([&] {
    skipAt[int(owner.progress.size()) - 1] = solver->skipFrictionAndBounce != 0;
    return false;
  });
  GetCOREInterface()->SetTime(160, false);
  e->SolveFrame(1);
  ASSERT_GE(skipAt.size(), 6u);
  EXPECT_FALSE(skipAt[1]);
  EXPECT_TRUE(skipAt[2]);
  EXPECT_TRUE(skipAt[3]);
  EXPECT_FALSE(skipAt[4]);
  EXPECT_TRUE(skipAt[5]);
  EXPECT_TRUE(skipAt[6]);
  // The loop ends on or up to one sub-step past the frame's time.
  EXPECT_GE(e->solverClock, e->FrameTime(1));
  EXPECT_LE(e->solverClock, e->FrameTime(1) + (160 / 4800.0) / 6 / 3 + 1e-9);
  EXPECT_EQ(e->solver->particles[0].age, 1);
  EXPECT_EQ(e->lastSolved, 1);
}

TEST_F(EngineTest, EscapeMidFrameStoresNothingAndKeepsLastSolved) {
  auto e = MakeEngine();
  Put(*e->solver, Vec3f(0, 0, 1));
  int polls = 0;
  solver_host::SetAbortTest([&] { return ++polls >= 8; });  // inside the second sub-step
  GetCOREInterface()->SetTime(160, false);
  const double before = e->solverClock;
  EXPECT_TRUE(e->SolveFrame(1));
  EXPECT_EQ(SolveStopFlag, 1);
  EXPECT_FALSE(owner.running);
  EXPECT_EQ(e->lastSolved, -1);
  EXPECT_LT(vorel::host::FileSize(e->solver->frameCache.FramePath(1)), 0);
  // The step that was cut short took no time.
  EXPECT_GT(e->solverClock, before);
  EXPECT_LT(e->solverClock, e->FrameTime(1));
  EXPECT_EQ(e->solver->particles[0].age, 0);
  // Stopped in its very first sub-step, the frame leaves the clock where it was.
  polls = 0;
  solver_host::SetAbortTest([&] { return ++polls >= 1; });
  const double reached = e->solverClock;
  EXPECT_TRUE(e->SolveFrame(1));
  EXPECT_EQ(SolveStopFlag, 1);
  EXPECT_EQ(e->solverClock, reached);
}

TEST_F(EngineTest, HoldingTimeSimulatesTheSameFrameAgainWithoutAgeing) {
  auto e = MakeEngine();
  Put(*e->solver, Vec3f(0, 0, 1));
  e->isHoldingTime = true;
  for (int pass = 0; pass < 2; ++pass) {
    std::remove(e->solver->frameCache.FramePath(0).c_str());
    e->frameParticleCount[0] = 0;
    EXPECT_TRUE(e->SolveFrame(0));
    EXPECT_EQ(e->lastSolved, 0);
    EXPECT_EQ(e->solverClock, e->FrameTime(0));
    EXPECT_EQ(e->frameParticleCount[0], 1);
    EXPECT_GT(vorel::host::FileSize(e->solver->frameCache.FramePath(0)), 272);
    EXPECT_EQ(e->solver->particles[0].age, 0);
  }
  EXPECT_LT(e->solver->particles[0].pos.z, 1.0f);  // it kept falling
}

TEST_F(EngineTest, FramesFarIntoTheTimelineStillAdvanceWithTinySubSteps) {
  GetCOREInterface()->SetAnimRange(Interval(400000 * 160, 400100 * 160));
  auto e = MakeEngine();
  owner.block->SetValue(kFluidSubSample, 0, 50);
  Put(*e->solver, Vec3f(0, 0, 1));
  // Sub-steps of about 1e-4 s at about 13333 s: below a float's resolution.
  GetCOREInterface()->SetTime(400001 * 160, false);
  EXPECT_TRUE(e->SolveFrame(1));
  EXPECT_EQ(e->lastSolved, 1);
  EXPECT_GE(e->solverClock, e->FrameTime(1));
}

TEST_F(EngineTest, APourIntoABoxIsSolvedCachedAndMeshed) {
  auto e = MakeEngine();
  // An open box 40 x 40 x 40 host units (2 solver units) with inward faces.
  TriObject* tri = CreateNewTriObject();
  Mesh& m = tri->mesh;
  m.setNumVerts(8);
  for (int c = 0; c < 8; ++c)
    m.setVert(c, (c & 1) ? 20.0f : -20.0f, (c & 2) ? 20.0f : -20.0f, (c & 4) ? 40.0f : 0.0f);
  const int quads[5][4] = {{0, 1, 3, 2}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  m.setNumFaces(10);
  for (int q = 0; q < 5; ++q) {
    m.faces[size_t(2 * q)].setVerts(quads[q][0], quads[q][1], quads[q][2]);
    m.faces[size_t(2 * q + 1)].setVerts(quads[q][0], quads[q][2], quads[q][3]);
  }
  INode* box = GetCOREInterface()->CreateObjectNode(tri, "box");
  ObjectParams settings;
  settings.bounce = 20.0f;
  settings.friction = 5.0f;
  settings.collisionGap = 0.01f;
  settings.adherence = 0.0f;
  objects.params[box] = settings;

  PouringSource(*e, Point3(0, 0, 30), 0.3);
  e->SourceBlock(0)->SetValue(kEmitEmissionRate, 0, 4.0f);
  class Sideways : public ForceField {
   public:
    Point3 Force(TimeValue, const Point3&, const Point3&, int) override { return Point3(2e-7f, 0.0f, 0.0f); }
  };
  class Warp : public WSMObject {
   public:
    Class_ID ClassID() override { return Class_ID(0x7E57F003, 1); }
    ForceField* GetForceField(INode*) override { return new Sideways(); }
  };
  class Mod : public SimpleWSMMod {
   public:
    Class_ID ClassID() override { return Class_ID(0x7E57F004, 1); }
  };
  INode* warp = GetCOREInterface()->CreateObjectNode(new Warp(), "warp");
  IDerivedObject* d = CreateWSDerivedObject(e->sourceNodes[0]->GetObjectRef());
  Mod* mod = new Mod();
  mod->ReplaceReference(1, warp);
  d->AddModifier(mod);
  e->sourceNodes[0]->SetObjectRef(d);
  e->Reset();

  Drive(*e, owner, 0, 19);
  ASSERT_EQ(e->lastSolved, 19);
  int previous = 0;
  for (int f = 0; f <= 19; ++f) {
    ParticleFrameHeader h;
    ASSERT_TRUE(e->solver->frameCache.ReadHeader(f, h)) << f;
    EXPECT_EQ(h.count, e->frameParticleCount[f]) << f;
    EXPECT_EQ(h.stamp, e->solver->stamp);
    EXPECT_GE(h.count, previous) << f;
    previous = h.count;
  }
  EXPECT_GT(previous, 50);

  // Everything poured stays inside the box.
  std::vector<FluidParticle> last;
  ASSERT_EQ(e->solver->frameCache.ReadFrame(19, last, 1.0f), previous);
  int inside = 0;
  for (int i = 0; i < previous; ++i) {
    const Vec3f& p = last[size_t(i)].pos;
    if (p == Vec3f()) continue;  // parked
    EXPECT_GE(p.x, -1.02f);
    EXPECT_LE(p.x, 1.02f);
    EXPECT_GE(p.y, -1.02f);
    EXPECT_LE(p.y, 1.02f);
    EXPECT_GE(p.z, -0.02f);
    ++inside;
  }
  EXPECT_GT(inside, 50);

  // Surface files of the stored frames.
  for (int f : {5, 19}) {
    ASSERT_TRUE(e->BuildSurfaceFrame(f)) << f;
    MeshFrameData mesh;
    ASSERT_EQ(ReadMeshFrameFile(e->solver->frameCache.MeshPath(f), mesh), MeshFileStatus::Ok);
    EXPECT_GT(mesh.faces.size(), 10u) << f;
    for (const Point3& v : mesh.vertices) {
      EXPECT_GE(v.z, -0.6f);
      EXPECT_LE(std::fabs(v.x), 1.6f);
    }
  }
  EXPECT_GT(e->surfaceCacheBytes, 0.0);
}

TEST_F(EngineTest, AGapBeyondTheReachIsLoggedOncePerSolveWithTheGapKeptAndLikeObjectsCounted) {
  auto e = MakeEngine();
  auto floorAt = [&](const char* name, float z, float gap) {
    TriObject* tri = CreateNewTriObject();
    Mesh& m = tri->mesh;
    m.setNumVerts(3);
    m.setVert(0, -100.0f, -100.0f, z);
    m.setVert(1, 100.0f, -100.0f, z);
    m.setVert(2, 0.0f, 100.0f, z);
    m.setNumFaces(1);
    m.faces[0].setVerts(0, 1, 2);
    INode* n = GetCOREInterface()->CreateObjectNode(tri, name);
    ObjectParams settings;
    settings.collisionGap = gap;
    objects.params[n] = settings;
  };
  floorAt("deep", 0.0f, 4.0f);
  floorAt("shallow", -10.0f, 0.1f);
  // More colliders of the same gap make no more lines: one counts them.
  floorAt("deeper", -1.0f, 4.0f);
  floorAt("deepest", -2.0f, 4.0f);
  PouringSource(*e, Point3(0, 0, 30), 0.3);
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitEmissionRate, 0, 4.0f);
  pb->SetValue(kEmitSourceLod, 0, 6.0f);
  pb->SetValue(kEmitOverrideObjParams, 0, 1);
  pb->SetValue(kEmitSourceCollisionGap, 0, 5.0f);
  e->Reset();
  e->LogStart();
  Drive(*e, owner, 0, 3);
  e->LogStart();  // a second solve says it again
  Drive(*e, owner, 4, 5);
  std::ifstream in(e->LogPath());
  std::map<std::string, int> seen;
  for (std::string line; std::getline(in, line);)
    if (line.find("collision reach") != std::string::npos) ++seen[line];
  const std::string kept = " is beyond the collision reach of LOD 6 particles: they keep 0.2222 from it";
  EXPECT_EQ(seen, (std::map<std::string, int>{{"Collision gap of \"deep\" and 2 more objects alike 4" + kept, 2},
                                              {"Source collision gap of \"" +
                                                   std::string(e->sourceNodes[0]->GetName()) + "\" 5" + kept,
                                               2}}));
}

TEST_F(EngineTest, ASourceTooSmallToEmitSaysSoAndHowLargeItMustBe) {
  // A new emitter's Radius 0.3 at LOD 6 holds no point of the emission
  // lattice: the log and the prompt say so, once, with the smallest Radius
  // that emits (which does emit).
  auto e = MakeEngine();
  TestSource* src = PouringSource(*e, Point3(0, 0, 30), 0.3 / 20.0);
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitRadius, 0, 0.3f);
  pb->SetValue(kEmitSourceLod, 0, 6.0f);
  pb->SetValue(kEmitEmissionRate, 0, 8.0f);
  e->Reset();
  vorel::host::ClearPromptLog();
  e->LogStart();
  Drive(*e, owner, 0, 3);
  EXPECT_EQ(e->solver->count, 0);
  const std::string said = std::string(e->sourceNodes[0]->GetName()) +
                           " emits nothing: its Radius 0.3 is smaller than one emission step at LOD 6; "
                           "the smallest Radius that emits at LOD 6 is ";
  std::vector<std::string> lines;
  std::ifstream in(e->LogPath());
  for (std::string line; std::getline(in, line);)
    if (line.rfind(said, 0) == 0) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1u);
  int prompts = 0;
  for (const auto& p : vorel::host::PromptLog()) prompts += p.text == lines[0] ? 1 : 0;
  EXPECT_EQ(prompts, 1);
  const double radius = std::stod(lines[0].substr(said.size()));
  EXPECT_GT(radius, 0.3);
  src->SetDisc(radius / 20.0);
  std::vector<Vec3f> layers[2];
  BuildEmissionLayers(src->ShapeRows(), 0.45 / 6.0, 0.0001 / 6.0, layers);
  EXPECT_GT(layers[0].size() + layers[1].size(), 0u);
}

TEST_F(EngineTest, AContainerTooSmallForTheWallsReachSaysSoOncePerSolve) {
  // A closed 5-unit box around an emitter of Radius 1.5 at LOD 12 and S 20:
  // 0.25 solver units across, of which each wall holds particles off by
  // 1.3333 / 12, which leaves no room for one particle between them: the log
  // and the prompt say so once in a solve, with the LOD (3.6667 / 0.25) and the Scale (5 x 12 / 3.6667
  // / 20) that leave room for one particle.
  auto e = MakeEngine();
  PouringSource(*e, Point3(0, 0, 30), 1.5 / 20.0);
  IParamBlock2* pb = e->SourceBlock(0);
  pb->SetValue(kEmitRadius, 0, 1.5f);
  pb->SetValue(kEmitSourceLod, 0, 12.0f);
  pb->SetValue(kEmitEmissionRate, 0, 8.0f);
  TriObject* tri = CreateNewTriObject();
  Mesh& m = tri->mesh;
  m.setNumVerts(8);
  for (int v = 0; v < 8; ++v)
    m.setVert(v, (v & 1) ? 2.5f : -2.5f, (v & 2) ? 2.5f : -2.5f, (v & 4) ? 32.5f : 27.5f);
  const int faces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                            {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  m.setNumFaces(12);
  for (int f = 0; f < 12; ++f) m.faces[size_t(f)].setVerts(faces[f][0], faces[f][1], faces[f][2]);
  objects.params[GetCOREInterface()->CreateObjectNode(tri, "tank")] = ObjectParams();
  e->Reset();
  vorel::host::ClearPromptLog();
  e->LogStart();
  Drive(*e, owner, 0, 3);
  const std::string said = "tank is too small for the particles of " + std::string(e->sourceNodes[0]->GetName()) +
                           " at Source LOD 12 and Scale 1: 5 host units across inside, its walls hold particles "
                           "2.222 off each, which leaves 0.5557 where one particle needs 1.667; a Source LOD of "
                           "14.7 or more, or a Scale of 0.818 or less, gives it room";
  int logged = 0, prompts = 0;
  std::ifstream in(e->LogPath());
  for (std::string line; std::getline(in, line);) logged += line.find(said) != std::string::npos ? 1 : 0;
  for (const auto& p : vorel::host::PromptLog()) prompts += p.text == said ? 1 : 0;
  EXPECT_EQ(logged, 1);
  EXPECT_EQ(prompts, 1);
}
