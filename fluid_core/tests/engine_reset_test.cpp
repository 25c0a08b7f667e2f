// Engine construction and reset: the cache root, the cache check of frames 0
// and 1, the log truncation, the state a reset leaves, the solve log.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "engine_test_util.h"
#include "fluid_core/cache_folders.h"

using engine_test::EngineTest;
using solver_test::ReadAll;

namespace {
// A frame file of `count` particles with the given stamp.
void WriteFrameFile(FluidEngine& e, int frame, int32_t stamp, int count) {
  std::vector<unsigned char> b(size_t(ParticleFrameFile::Size(count)), 0);
  ParticleFrameHeader h;
  h.tag = 0x5E1379D3u;
  h.stamp = stamp;
  h.count = count;
  h.particlesPerVolume = 216.0f;
  std::memcpy(b.data(), &h, sizeof h);
  solver_test::WriteAll(e.solver->frameCache.FramePath(frame), b);
}
int32_t StampOf(const std::vector<unsigned char>& b) {
  int32_t s = 0;
  if (b.size() >= 8) std::memcpy(&s, b.data() + 4, 4);
  return s;
}
}  // namespace

TEST_F(EngineTest, ResetWritesAnEmptyFrameZeroWhenNoneExists) {
  vorel::host::FixSystemTime(1700000000);
  auto e = MakeEngine();
  auto b = ReadAll(e->solver->frameCache.FramePath(0));
  ASSERT_EQ(b.size(), 272u);
  EXPECT_EQ(StampOf(b), e->solver->stamp);
  EXPECT_EQ(e->solver->stamp, CurrentSimulationStamp());
  vorel::host::UnfixSystemTime();
}

TEST_F(EngineTest, ResetKeepsFramesThatShareOneStampAndRewritesADisagreeingCache) {
  auto e = MakeEngine();
  // Same stamp on frames 0 and 1: both kept byte for byte.
  WriteFrameFile(*e, 0, 111, 3);
  WriteFrameFile(*e, 1, 111, 4);
  auto before0 = ReadAll(e->solver->frameCache.FramePath(0));
  auto before1 = ReadAll(e->solver->frameCache.FramePath(1));
  e->Reset();
  EXPECT_EQ(ReadAll(e->solver->frameCache.FramePath(0)), before0);
  EXPECT_EQ(ReadAll(e->solver->frameCache.FramePath(1)), before1);

  // Frame 1 missing: frame 0 untouched.
  std::remove(e->solver->frameCache.FramePath(1).c_str());
  e->Reset();
  EXPECT_EQ(ReadAll(e->solver->frameCache.FramePath(0)), before0);

  // A cut frame 1 of the same solve keeps the cache; one of another solve,
  // cut or whole, has frame 0 rewritten empty with the new stamp.
  WriteFrameFile(*e, 1, 111, 4);
  auto cut = ReadAll(e->solver->frameCache.FramePath(1));
  cut.resize(100);
  solver_test::WriteAll(e->solver->frameCache.FramePath(1), cut);
  e->Reset();
  EXPECT_EQ(ReadAll(e->solver->frameCache.FramePath(0)), before0);
  WriteFrameFile(*e, 1, 222, 4);
  cut = ReadAll(e->solver->frameCache.FramePath(1));
  cut.resize(100);
  solver_test::WriteAll(e->solver->frameCache.FramePath(1), cut);
  e->Reset();
  auto after = ReadAll(e->solver->frameCache.FramePath(0));
  EXPECT_EQ(after.size(), 272u);
  EXPECT_EQ(StampOf(after), e->solver->stamp);

  // A damaged frame 0 (length disagrees with its count) counts as unreadable.
  WriteFrameFile(*e, 0, 111, 3);
  auto bad = ReadAll(e->solver->frameCache.FramePath(0));
  bad.resize(300);
  solver_test::WriteAll(e->solver->frameCache.FramePath(0), bad);
  e->Reset();
  EXPECT_EQ(ReadAll(e->solver->frameCache.FramePath(0)).size(), 272u);
}

TEST_F(EngineTest, ResetLeavesACleanStartAndKeepsTheClipBoxes) {
  GetCOREInterface()->SetAnimRange(Interval(10 * 160, 100 * 160));
  auto e = MakeEngine();
  e->lastSolved = 7;
  e->lastMeshed = 5;
  e->lastEvalFrame = 3;
  e->lastEvalTime = 480;
  e->timeOffset = 4;
  e->frameParticleCount[9999] = 5;
  e->frameMeshed[4] = 1;
  e->frameClipBox[2] = Box3(Point3(1, 2, 3), Point3(4, 5, 6));
  e->particleCacheBytes = 10;
  e->Reset();
  EXPECT_EQ(e->startFrame, 10);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 1600);
  EXPECT_EQ(e->lastSolved, -1);
  EXPECT_EQ(e->lastMeshed, -1);
  EXPECT_EQ(e->lastEvalFrame, -1);
  EXPECT_EQ(e->lastEvalTime, -1);
  EXPECT_EQ(e->timeOffset, 0);
  EXPECT_EQ(e->frameParticleCount[9999], 0);
  EXPECT_EQ(e->frameMeshed[4], 0);
  EXPECT_EQ(e->frameClipBox[2].pmax.z, 6.0f);
  EXPECT_EQ(e->particleCacheBytes, 0.0);
  EXPECT_DOUBLE_EQ(e->solverClock, 1600.0 / 4800.0);
  EXPECT_EQ(e->solverClock, e->FrameTime(0));
}

TEST_F(EngineTest, AJustLoadedOwnerKeepsItsStartFrameAndLosesTheFlag) {
  auto e = MakeEngine();
  e->startFrame = 7;
  owner.justLoaded = true;
  e->Reset();
  EXPECT_EQ(e->startFrame, 7);
  EXPECT_FALSE(owner.justLoaded);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 7 * 160);
}

TEST_F(EngineTest, WithoutAUsableSourceTheSolverTakesTheDefaultDensity) {
  auto e = MakeEngine();
  EXPECT_EQ(e->minSourceLod, 6.0f);
  EXPECT_DOUBLE_EQ(e->solver->particlesPerVolume, 216.0);
  EXPECT_TRUE(std::isfinite(e->solver->h));
  ASSERT_TRUE(e->CreateSource());
  e->SourceBlock(0)->SetValue(kEmitSourceLod, 0, 4.0f);
  ASSERT_TRUE(e->CreateSource());
  e->SourceBlock(1)->SetValue(kEmitSourceLod, 0, 9.0f);
  e->Reset();
  EXPECT_EQ(e->minSourceLod, 4.0f);
  EXPECT_DOUBLE_EQ(e->solver->particlesPerVolume, 64.0);
  EXPECT_EQ(e->solver->sources.size(), 2u);
}

TEST_F(EngineTest, ResetRefillsObjectFillSourcesAndEnablesTheirSpinners) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  auto* s = SourceOf(*e, 0);
  e->SourceBlock(0)->SetValue(kEmitEmissionType, 0, 2);
  s->hasPick = true;
  s->emissionType = 2;
  e->Reset();
  EXPECT_EQ(s->fills, 1);
  EXPECT_EQ(s->fillPending, 1);
  EXPECT_GE(s->updates, 1);
  ASSERT_EQ(s->spinners.size(), 1u);
  EXPECT_TRUE(s->spinners[0]);
}

TEST_F(EngineTest, AnEvaluationDuringResetSolvesNothing) {
  auto e = MakeEngine();
  ASSERT_TRUE(e->CreateSource());
  auto* s = SourceOf(*e, 0);
  e->SourceBlock(0)->SetValue(kEmitEmissionType, 0, 2);
  s->hasPick = true;
  // The host evaluates the fluid object while the reset is half done.
  s->onUpdate = [&] { e->UpdateToTime(0); };
  owner.runningLog.clear();
  e->Reset();
  EXPECT_GE(s->updates, 1);
  EXPECT_TRUE(owner.runningLog.empty());
  EXPECT_EQ(e->lastSolved, -1);
  EXPECT_EQ(e->lastEvalFrame, -1);
}

// A link planted at the log's name (to a file or a folder outside, or to
// nothing) is never written through: neither the reset's truncation nor the
// solve's lines reach what it names.
TEST_F(EngineTest, TheLogNeverFollowsALink) {
  auto e = MakeEngine();
  const std::string log = e->LogPath();
  const std::string outside = solver_test::ScratchDir("log_outside");
  solver_test::WriteAll(outside + "/file", {'k', 'e', 'e', 'p'});
  for (const std::string& target : {outside + "/file", outside, outside + "/missing"}) {
    std::remove(log.c_str());
    ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
    e->Reset();
    e->LogStart();
    e->LogNote("a note");
    e->LogEnd(1, 1);
    EXPECT_EQ(ReadAll(outside + "/file").size(), 4u) << target;
    EXPECT_LT(vorel::host::FileSize(outside + "/missing"), 0) << target;
    // The reset put a log of its own in the link's place.
    EXPECT_GT(vorel::host::FileSize(log), 0) << target;
  }
  std::remove(log.c_str());
}

TEST_F(EngineTest, TheLogIsTruncatedOnlyForANamedSystem) {
  auto e = MakeEngine();
  const std::string log = e->LogPath();
  solver_test::WriteAll(log, {'o', 'l', 'd'});
  e->Reset();
  EXPECT_EQ(ReadAll(log).size(), 0u);

  // Unnamed: no log touched, no frame written, but the engine is ready.
  EngineReadyFlag = 0;
  solver_test::WriteAll(log, {'o', 'l', 'd'});
  e->SetSystemName("");
  std::remove(e->solver->frameCache.FramePath(0).c_str());
  e->Reset();
  EXPECT_EQ(ReadAll(log).size(), 3u);
  EXPECT_LT(vorel::host::FileSize(e->solver->frameCache.FramePath(0)), 0);
  EXPECT_EQ(EngineReadyFlag, 1);
}

TEST_F(EngineTest, TheCacheRootFollowsTheSavedSceneUnlessTheIniSaysOtherwise) {
  // An install folder of this test's own: the default one is shared by every
  // test process on the machine, and this test writes its ini.
  vorel::host::SetInstallRoot(root + "/install");
  Interface* ip = GetCOREInterface();
  {
    FluidEngine e;  // unsaved scene: the temporary folder
    EXPECT_EQ(e.cacheRoot + "/", vorel::host::NormalizePath(e.tempDir));
  }
  const std::string scene = root + "/scenes/pour.vscn";
  vorel::host::MakeDirectories(root + "/scenes");
  ASSERT_TRUE(ip->SaveToFile(scene));
  {
    FluidEngine e;
    EXPECT_EQ(e.cacheRoot, root + "/scenes");
    struct stat st;
    EXPECT_EQ(::stat((root + "/scenes/Vorel").c_str(), &st), 0);
  }
  // A scene saved under a relative name lies in the working folder, and so
  // does its cache (never "/Vorel" at the root of the file system).
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir((root + "/scenes").c_str()), 0);
  const bool savedRelative = ip->SaveToFile("pour.vscn");
  std::string relativeRoot;
  {
    FluidEngine e;
    relativeRoot = e.cacheRoot;
  }
  ASSERT_EQ(chdir(cwd), 0);
  ASSERT_TRUE(savedRelative);
  EXPECT_TRUE(SameFolder(relativeRoot, root + "/scenes")) << relativeRoot;
  // An ini that turns the rule off keeps the temporary folder.
  const std::string cfg = vorel::host::HostDirectory(APP_MAX_SYS_ROOT_DIR) + "/plugcfg";
  vorel::host::MakeDirectories(cfg);
  { std::ofstream(cfg + "/Vorel.ini") << "[Use_always_scene's_directory_path]=0\n"; }
  {
    FluidEngine e;
    EXPECT_NE(e.cacheRoot, root + "/scenes");
  }
  vorel::host::SetInstallRoot("");
}

TEST_F(EngineTest, TheSolveLogAppendsBlocksInOrder) {
  auto e = MakeEngine();
  e->LogStart();
  e->LogEnd(3723000, 9);
  e->LogStart();
  e->LogEnd(59999, -1);
  std::ifstream in(e->LogPath());
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  const std::string sep(42, '-');
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(ss, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], sep);
  EXPECT_EQ(lines[1].rfind("Started at:\t ", 0), 0u);
  EXPECT_EQ(lines[2].rfind("Ended at:\t ", 0), 0u);
  EXPECT_EQ(lines[3], "Elapsed time:\t 01:02:03");
  EXPECT_EQ(lines[4], "Frames solved:\t 10");
  EXPECT_EQ(lines[5], sep);
  EXPECT_EQ(lines[9], "Elapsed time:\t 00:00:59");
  EXPECT_EQ(lines[10], "Frames solved:\t 0");

  // A folder that cannot be opened leaves the solve alone.
  e->SetSystemName("missing/deeper");
  e->LogStart();
  e->LogEnd(1, 1);
  EXPECT_LT(vorel::host::FileSize(e->LogPath()), 0);
}

TEST(EngineHelpers, StampAndElapsedTexts) {
  SYSTEMTIME st;
  st.wYear = 2026; st.wMonth = 2; st.wDay = 9; st.wHour = 10; st.wMinute = 40;
  vorel::host::FixSystemTime(st);
  EXPECT_EQ(CurrentSimulationStamp(), ((2 * 30 + 9) * 24 + 10) * 60 + 40);
  vorel::host::UnfixSystemTime();
  EXPECT_EQ(FormatElapsedMs(3723000), "01:02:03");
  EXPECT_EQ(FormatElapsedMs(-5), "00:00:00");
  EXPECT_TRUE(IsSystemNodeName("Vorel"));
  EXPECT_TRUE(IsSystemNodeName("VorelBox"));
  EXPECT_TRUE(IsSystemNodeName("Vorel_x"));
  EXPECT_FALSE(IsSystemNodeName("vorelBox"));
  EXPECT_FALSE(IsSystemNodeName("Vore"));
}
