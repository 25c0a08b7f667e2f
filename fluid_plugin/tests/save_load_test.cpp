// Scene save and load of a fluid system: the chunks' round trip, the rename
// after the scene file, finding the cache again, refusing impossible chunk
// values; and the engine's cache moves, packing and unpacking.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "fluid_core/cache_folders.h"
#include "fluid_core/packed_cache.h"
#include "fluid_core/tests/solver_test_util.h"
#include "fluid_plugin/fluid_rollouts.h"
#include "fluid_plugin/pour_scene.h"
#include "fluid_plugin/save_load.h"
#include "mesher/mesh_record.h"
#include "plugin_test_util.h"

namespace {
using SceneSaveLoad = FluidSystemTest;
using CacheCommands = FluidSystemTest;

std::vector<char> Bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

TetraProcObj* OnlySystem() {
  std::vector<TetraProcObj*> live = LiveSystems();
  return live.empty() ? nullptr : live.back();
}
}  // namespace

TEST(SaveLoadRules, RenameFollowsTheSceneFileOnlyForAutoNames) {
  EXPECT_EQ(SceneRenamedSystem("pour", "aux001"), "pour_aux001");
  EXPECT_EQ(SceneRenamedSystem("pour", "aux0123"), "pouraux0123");  // 7 characters: no "_"
  EXPECT_EQ(SceneRenamedSystem("pour", "aux1000"), "aux1000");      // not "aux0..."
  EXPECT_EQ(SceneRenamedSystem("", "aux001"), "aux001");
  EXPECT_EQ(SceneRenamedSystem("pour", "pour_aux001"), "pour_aux001");
  EXPECT_EQ(SceneRenamedSystem("pour", "mine"), "mine");
}

TEST(SaveLoadRules, LoadedStateMustFitTheTables) {
  EXPECT_TRUE(ValidChunk1967({0, -1, -1, 0.0f}));
  EXPECT_TRUE(ValidChunk1967({2048, 9999, 12000, 0.0f}));  // lastMeshed is clamped instead
  EXPECT_FALSE(ValidChunk1967({2049, 10, 10, 0.0f}));
  EXPECT_FALSE(ValidChunk1967({-1, 10, 10, 0.0f}));
  EXPECT_FALSE(ValidChunk1967({1, 10000, 0, 0.0f}));
  EXPECT_FALSE(ValidChunk1967({1, -2, 0, 0.0f}));
}

TEST_F(SceneSaveLoad, SavedSceneFindsItsCacheAndRenamesTheSystem) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  RunGo(s);
  ASSERT_EQ(s->engine.lastSolved, 10);
  const std::string oldName = s->engine.systemName;
  const std::string scene = scratch() + "/pour.scene";
  // A full disk: the system keeps its name, and the cut copies that would
  // keep the disk full are gone.
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small = {100, 100};
    setrlimit(RLIMIT_FSIZE, &small);
    ip()->SaveToFile(scene);
    _exit(s->engine.systemName == oldName ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::exists(scratch() + "/Vorel/pour_" + oldName));
  ASSERT_TRUE(ip()->SaveToFile(scene)) << ip()->LastFileError();
  EXPECT_EQ(s->engine.systemName, "pour_" + oldName);
  EXPECT_TRUE(vorel::host::FileExists(s->engine.solver->frameCache.FramePath(10)));
  FrameCache old = s->engine.solver->frameCache;
  old.systemName = oldName;
  EXPECT_TRUE(vorel::host::FileExists(old.FramePath(10)));  // the old folder stays
  const std::vector<char> frame5 = Bytes(s->engine.solver->frameCache.FramePath(5));
  // Saving again renames nothing.
  ASSERT_TRUE(ip()->SaveToFile(scene));
  EXPECT_EQ(s->engine.systemName, "pour_" + oldName);

  ip()->ResetScene();
  ASSERT_TRUE(ip()->LoadFromFile(scene)) << ip()->LastFileError();
  TetraProcObj* loaded = OnlySystem();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.systemName, "pour_" + oldName);
  EXPECT_EQ(loaded->engine.cacheRoot, scratch());
  EXPECT_EQ(loaded->engine.lastSolved, 10);
  EXPECT_EQ(loaded->node, ip()->GetINodeByName("Vorel_001"));
  EXPECT_EQ(Bytes(loaded->engine.solver->frameCache.FramePath(5)), frame5);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
}

TEST_F(SceneSaveLoad, MovedSceneFindsTheCacheBesideItAndALostCacheStartsOver) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  RunGo(s);
  const std::string scene = scratch() + "/pour.scene";
  ASSERT_TRUE(ip()->SaveToFile(scene));
  const std::string name = s->engine.systemName;
  ip()->ResetScene();
  // The scene and its Vorel folder move together.
  const std::string moved = scratch() + "/moved";
  vorel::host::MakeDirectories(moved);
  std::string cmd = "mv '" + scratch() + "/Vorel' '" + scene + "' '" + moved + "/'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(ip()->LoadFromFile(moved + "/pour.scene"));
  TetraProcObj* loaded = OnlySystem();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.cacheRoot, moved);
  EXPECT_EQ(loaded->engine.systemName, name);
  EXPECT_EQ(loaded->engine.lastSolved, 10);

  ip()->ResetScene();
  cmd = "rm -rf '" + moved + "/Vorel'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(ip()->LoadFromFile(moved + "/pour.scene"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].caption, "Vorel Warning!");
  EXPECT_NE(vorel::host::MessageBoxLog()[0].text.find("Cache's name: " + name), std::string::npos);
  loaded = OnlySystem();
  ASSERT_NE(loaded, nullptr);
  EXPECT_NE(loaded->engine.systemName, name);  // a fresh cache under the constructor's name
  EXPECT_TRUE(vorel::host::DirectoryExists(loaded->engine.solver->frameCache.SurfaceFolder()));
  // Shown at the saved time (frame 10), nothing is solved from an empty
  // state there; GO! starts over from the start frame.
  EXPECT_EQ(ip()->GetTime(), 10 * 160);
  EXPECT_EQ(loaded->engine.lastSolved, -1);
  RunGo(loaded);
  EXPECT_EQ(loaded->engine.lastSolved, 10);
  for (int i = 0; i <= 10; ++i)
    EXPECT_TRUE(vorel::host::FileExists(loaded->engine.solver->frameCache.FramePath(i))) << i;
}

TEST_F(SceneSaveLoad, SystemThatKeptItsDefaultNameLoadsItsWholeCache) {
  // New systems, the loading one among them, keep their caches here too.
  std::ofstream(scratch() + "/install/plugcfg/Vorel.ini") << "[TempDir]=" << scratch() << "\n";
  TetraProcObj* s = MakeSystem("Vorel_001");
  RunGo(s);
  // The name the loading constructor will give: the cache is moved there so
  // that the loaded system and its constructor share one default name.
  const std::string name =
      TetraProcObj::DefaultSystemName("", std::atoi(s->engine.systemName.c_str() + 3) + 1);
  const std::string vorel = scratch() + "/Vorel/";
  ASSERT_EQ(std::rename((vorel + s->engine.systemName).c_str(), (vorel + name).c_str()), 0);
  s->engine.SetSystemName(name);
  // A file where the renamed folder would go: the save keeps the default name.
  std::ofstream(vorel + "pour_" + name) << "x";
  const std::string scene = scratch() + "/pour.scene";
  ASSERT_TRUE(ip()->SaveToFile(scene));
  ASSERT_EQ(s->engine.systemName, name);
  const std::vector<char> frame0 = Bytes(s->engine.solver->frameCache.FramePath(0));
  ASSERT_FALSE(frame0.empty());

  ip()->ResetScene();
  ASSERT_TRUE(ip()->LoadFromFile(scene));
  TetraProcObj* loaded = OnlySystem();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.systemName, name);
  EXPECT_EQ(loaded->engine.lastSolved, 10);
  EXPECT_EQ(Bytes(loaded->engine.solver->frameCache.FramePath(0)), frame0);
}

namespace {
// Every frame file of a system folder, by name.
std::map<std::string, std::vector<char>> FrameFiles(const std::string& folder) {
  std::map<std::string, std::vector<char>> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".Vorel") files[it->path().filename().string()] = Bytes(it->path().string());
  return files;
}

void CopyFolder(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}
}  // namespace

// A scene whose cache is lost starts over in a folder of its own: the
// caches under the default names its constructor would take (a scene whose
// save had to keep such a name, a scene not yet saved) keep every frame.
TEST_F(SceneSaveLoad, ALoadThatCannotFindItsCacheDeletesNoOtherCache) {
  std::ofstream(scratch() + "/install/plugcfg/Vorel.ini") << "[TempDir]=" << scratch() << "\n";
  TetraProcObj* s = MakeSystem("Vorel_001");
  const int number = std::atoi(s->engine.systemName.c_str() + 3);
  ASSERT_GT(number, 0) << s->engine.systemName;
  RunGo(s);
  const std::string scene = scratch() + "/pour.scene";
  ASSERT_TRUE(ip()->SaveToFile(scene));
  const std::string vorel = scratch() + "/Vorel/";
  const std::string own = vorel + s->engine.systemName;
  std::vector<std::string> others;
  for (int k = 1; k <= 3; ++k) {
    others.push_back(vorel + TetraProcObj::DefaultSystemName("", number + k));
    CopyFolder(own, others.back());
  }
  const auto frames = FrameFiles(own);
  ASSERT_EQ(frames.size(), 11u);
  std::filesystem::remove_all(own);
  ip()->ResetScene();
  ASSERT_TRUE(ip()->LoadFromFile(scene));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  TetraProcObj* loaded = OnlySystem();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.lastSolved, -1);
  RunGo(loaded);
  EXPECT_EQ(loaded->engine.lastSolved, 10);
  for (const std::string& other : others) {
    EXPECT_EQ(FrameFiles(other), frames) << other;
    EXPECT_NE(loaded->engine.solver->frameCache.SystemFolder(), other + "/");
  }
}

// Two scenes of one file name in two folders, solved and saved in the same
// minute by two processes sharing a cache root: each keeps its own cache.
TEST_F(SceneSaveLoad, SameNamedScenesOfTwoProcessesKeepTheirOwnCaches) {
  std::ofstream(scratch() + "/install/plugcfg/Vorel.ini") << "[TempDir]=" << scratch() << "\n";
  vorel::host::MakeDirectories(scratch() + "/a");
  vorel::host::MakeDirectories(scratch() + "/b");
  int done[2];
  ASSERT_EQ(pipe(done), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    TetraProcObj* first = BuildPourScene(scratch(), 11, PourSettings()).system;
    if (!first) _exit(2);
    RunGo(first);
    const bool saved = ip()->SaveToFile(scratch() + "/a/pour.scene");
    const std::string name = first->engine.systemName + "\n";
    _exit(saved && write(done[1], name.data(), name.size()) == ssize_t(name.size()) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  char text[256] = {};
  ASSERT_GT(read(done[0], text, sizeof text - 1), 0);
  close(done[0]);
  close(done[1]);
  const std::string firstName = std::string(text).substr(0, std::string(text).find('\n'));
  const std::string firstFolder = scratch() + "/Vorel/" + firstName;
  const auto firstFrames = FrameFiles(firstFolder);
  ASSERT_EQ(firstFrames.size(), 11u) << firstFolder;

  // This process numbered its systems as the other did; its pour falls
  // differently.
  PourSettings faster;
  faster.rate = 12.0f;
  TetraProcObj* second = BuildPourScene(scratch(), 11, faster).system;
  ASSERT_NE(second, nullptr);
  RunGo(second);
  ASSERT_TRUE(ip()->SaveToFile(scratch() + "/b/pour.scene"));
  EXPECT_NE(second->engine.systemName, firstName);
  EXPECT_EQ(FrameFiles(firstFolder), firstFrames);
  const auto secondFrames = FrameFiles(second->engine.solver->frameCache.SystemFolder());
  EXPECT_NE(secondFrames, firstFrames);

  for (const auto& [file, frames] : {std::make_pair(scratch() + "/a/pour.scene", firstFrames),
                                     std::make_pair(scratch() + "/b/pour.scene", secondFrames)}) {
    ip()->ResetScene();
    ASSERT_TRUE(ip()->LoadFromFile(file)) << file;
    TetraProcObj* loaded = OnlySystem();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->engine.lastSolved, 10) << file;
    EXPECT_EQ(FrameFiles(loaded->engine.solver->frameCache.SystemFolder()), frames) << file;
  }
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
}

// A cache move to another root killed at any of its steps, or finished
// without the scene saved again: the scene saved before it loads a whole
// cache, the old one or the new one, and says which when a move was under
// way.
TEST_F(SceneSaveLoad, SceneFindsAWholeCacheAfterAMoveKilledAtAnyStep) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  RunGo(s);
  ASSERT_TRUE(ip()->SaveToFile(scratch() + "/pour.scene"));  // the name is the scene's now
  const std::string name = s->engine.systemName;
  const FluidEngine& e = s->engine;
  const int files = (e.lastSolved + 1) + (e.lastMeshed + 1);
  const std::string pristine = scratch() + "/pristine";
  CopyFolder(e.solver->frameCache.SystemFolder(), pristine);
  const auto frames = FrameFiles(pristine);
  ASSERT_EQ(frames.size(), 11u);
  const int steps = 2 + files + 2 + files;
  for (int k = 0; k <= steps; ++k) {
    s = OnlySystem();
    ASSERT_NE(s, nullptr);
    const std::string from = scratch() + "/from" + std::to_string(k);
    const std::string to = scratch() + "/to" + std::to_string(k);
    CopyFolder(pristine, from + "/Vorel/" + name);
    s->engine.SetCacheRoot(from);
    const std::string scene = scratch() + "/pour" + std::to_string(k) + ".scene";
    ASSERT_TRUE(ip()->SaveToFile(scene));
    ASSERT_EQ(s->engine.systemName, name);
    static int killAt;
    killAt = k;
    const pid_t pid = fork();
    if (pid == 0) {
      SetCacheMoveHook([](int step) {
        if (step == killAt) raise(SIGKILL);
      });
      _exit(MoveCacheRoot(*s, to) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(k < steps, WIFSIGNALED(status)) << k;
    ASSERT_TRUE(k < steps || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;

    vorel::host::ClearPromptLog();
    ip()->ResetScene();
    ASSERT_TRUE(ip()->LoadFromFile(scene)) << k;
    TetraProcObj* loaded = OnlySystem();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->engine.systemName, name);
    EXPECT_EQ(loaded->engine.lastSolved, 10) << "killed at " << k;
    EXPECT_EQ(FrameFiles(loaded->engine.solver->frameCache.SystemFolder()), frames) << "killed at " << k;
    const bool moved = loaded->engine.cacheRoot == to;
    EXPECT_EQ(moved, k > 2 + files + 1) << k;
    bool said = false;
    for (const auto& p : vorel::host::PromptLog())
      said = said || p.text.find(moved ? "was moved" : "did not finish") != std::string::npos;
    EXPECT_EQ(said, k > 2 + files) << k;
    EXPECT_TRUE(vorel::host::MessageBoxLog().empty()) << k;
  }
}

// A second process solving into a cache folder in use is refused with a
// message naming the folder; once that process is killed, its lock is
// taken over.
TEST_F(CacheCommands, SolveIntoAFolderInUseByAnotherProcessIsRefused) {
  TetraProcObj* s = MakeSystem();
  ip()->SetAnimRange(Interval(0, 4 * 160));
  RunGo(s);
  ASSERT_EQ(s->engine.lastSolved, 4);
  const std::string folder = s->engine.solver->frameCache.SystemFolder();
  const pid_t holder = solver_test::HoldCacheLockInChild(folder);
  ASSERT_GT(holder, 0);
  ip()->SetAnimRange(Interval(0, 10 * 160));
  RunGo(s);
  EXPECT_EQ(s->engine.lastSolved, 4);
  EXPECT_FALSE(vorel::host::FileExists(s->engine.solver->frameCache.FramePath(5)));
  EXPECT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  // No assertion may end the test before the holder is killed.
  const std::string said = vorel::host::MessageBoxLog().empty() ? "" : vorel::host::MessageBoxLog()[0].text;
  EXPECT_NE(said.find("the cache folder " + folder.substr(0, folder.size() - 1) +
                      " is in use by another solve (process " + std::to_string(holder) + ")"),
            std::string::npos) << said;
  solver_test::EndLockHolder(holder);
  RunGo(s);
  EXPECT_EQ(s->engine.lastSolved, 10);
  EXPECT_EQ(vorel::host::MessageBoxLog().size(), 1u);
}

TEST_F(SceneSaveLoad, ChunksHoldTheirFieldsInOrderByteForByte) {
  TetraProcObj* s = MakeSystem();
  FluidEngine& e = s->engine;
  ASSERT_TRUE(e.CreateSource());
  ASSERT_TRUE(e.wetMaps.empty());
  e.lastSolved = 1;
  e.lastMeshed = 0;
  e.frameParticleCount[0] = 0;
  e.frameParticleCount[1] = 5;
  e.solverClock = 0.5;
  e.startFrame = 3;
  s->scaleValue = 1.0f;
  std::vector<uint8_t> want;
  auto put = [&want](const void* p, size_t n) {
    want.insert(want.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  auto i32 = [&put](int32_t v) { put(&v, 4); };
  auto f32 = [&put](float v) { put(&v, 4); };
  auto text = [&](const std::string& t, size_t record) {
    std::vector<char> b(record ? record : t.size() + 1, 0);
    std::memcpy(b.data(), t.data(), std::min(t.size(), b.size() - 1));
    put(b.data(), b.size());
  };
  size_t open = 0;
  auto begin = [&](uint16_t id) {
    open = want.size();
    put(&id, 2);
    i32(0);
  };
  auto end = [&] {
    const uint32_t n = uint32_t(want.size() - open - 6);
    std::memcpy(want.data() + open + 2, &n, 4);
  };
  begin(1974), f32(1.0f), end();
  begin(1967), i32(1), i32(1), i32(0), f32(0.5f), i32(0), i32(5);
  i32(int32_t(e.systemName.size() + 1)), text(e.systemName, 0), i32(3);
  const double density = e.solver->particlesPerVolume;
  put(&density, 8), f32(20.0f), end();
  begin(1968), end();
  begin(1969), i32(int32_t(e.cacheRoot.size() + 1)), text(e.cacheRoot, 0), end();
  begin(1970), i32(1), end();
  begin(1971), i32(0), end();
  begin(1972), text(e.sourceNodes[0]->GetName(), 256), end();
  begin(1973), text("", 260), end();
  ISave save;
  ASSERT_EQ(s->Save(&save), IO_OK);
  EXPECT_EQ(save.Bytes(), want);
}

TEST_F(SceneSaveLoad, ImpossibleChunkValuesSizeNothing) {
  TetraProcObj* s = MakeSystem();
  ISave save;
  save.BeginChunk(kChunkState);
  const int32_t head[3] = {3, 20000, 20000};  // lastSolved beyond the tables
  save.Write(head, sizeof head);
  const float clock = 1.0f;
  save.Write(&clock, 4);
  save.EndChunk();
  save.BeginChunk(kChunkSourceNames);  // 0 sources: nothing read
  save.EndChunk();
  save.BeginChunk(kChunkScale);
  const float scale = 2.5f;
  save.Write(&scale, 4);
  save.EndChunk();
  ILoad load(save.Bytes());
  EXPECT_EQ(s->Load(&load), IO_OK);
  // Outside a scene load nobody runs the post-load callback: it is freed here.
  for (const auto& cb : load.PostLoadCallbacks()) delete cb.second;
  EXPECT_EQ(s->engine.lastSolved, -1);
  EXPECT_EQ(s->engine.sourceCount, 0);
  EXPECT_EQ(s->scaleValue, 2.5f);
}

TEST_F(SceneSaveLoad, ALoadedFillSourceFillsAgainOnlyAtFrameZero) {
  PourSettings settings;
  settings.fillSide = 20.0f;
  TetraProcObj* s = BuildPourScene(scratch(), 4, settings).system;
  ASSERT_NE(s, nullptr);
  const std::string scene = scratch() + "/fill.scene";
  auto reload = [&] {
    EXPECT_TRUE(ip()->SaveToFile(scene));
    ip()->ResetScene();
    EXPECT_TRUE(ip()->LoadFromFile(scene));
    TetraProcObj* loaded = OnlySystem();
    return loaded && loaded->engine.sourceObjects[0] ? loaded : nullptr;
  };
  // Saved with nothing solved, away from the start frame: the loaded scene
  // still fills its box when it is solved.
  ip()->SetTime(3 * 160, false);
  ASSERT_EQ(s->engine.lastSolved, -1);
  TetraProcObj* loaded = reload();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.sourceObjects[0]->fillPending, 1);
  RunGo(loaded);
  ASSERT_EQ(loaded->engine.lastSolved, 3);
  EXPECT_GT(loaded->engine.frameParticleCount[1], 50);
  // Saved at frame 0: filled again, to be emitted.
  ip()->ResetScene();
  s = BuildPourScene(scratch(), 4, settings).system;
  s->engine.UpdateToTime(0);
  ASSERT_EQ(s->engine.lastSolved, 0);
  loaded = reload();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.sourceObjects[0]->fillPending, 1);
  // Solved past frame 0: the fill is in the cache and is not made again.
  for (int n = 1; n <= 2; ++n) loaded->engine.SaveFrame(n);
  loaded->engine.lastSolved = 2;
  loaded = reload();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->engine.sourceObjects[0]->fillPending, 0);
}

// Numbers a damaged chunk 1967 holds that the engine would multiply into
// host times or run its clock from are not taken, nor a start frame that
// puts the whole cache before the scene's range, nor a name leading out of
// the cache root.
TEST_F(SceneSaveLoad, DamagedStartFrameClockAndNameAreNotTaken) {
  TetraProcObj* s = MakeSystem();
  s->engine.startFrame = 7;
  ISave save;
  ASSERT_EQ(s->Save(&save), IO_OK);
  const std::vector<uint8_t> saved = save.Bytes();
  // The payload of chunk 1967 among the top-level chunks (u16 id, u32 length).
  size_t state = 0;
  for (size_t at = 0; at + 6 <= saved.size();) {
    uint16_t id;
    uint32_t len;
    std::memcpy(&id, &saved[at], 2);
    std::memcpy(&len, &saved[at + 2], 4);
    if (id == kChunkState) state = at + 6;
    at += 6 + len;
  }
  ASSERT_NE(state, 0u);
  ASSERT_EQ(s->engine.lastSolved, -1);  // no per-frame counts: the name follows the clock
  int32_t nameLength;
  std::memcpy(&nameLength, &saved[state + 16], 4);
  const size_t startAt = state + 20 + size_t(nameLength);
  int32_t stored;
  std::memcpy(&stored, &saved[startAt], 4);
  ASSERT_EQ(stored, 7);
  const struct {
    size_t offset;
    uint32_t bits;
    bool said;  // a value that reads but lies far outside any use is said
  } damage[] = {{startAt, 0x7FFFFFFFu, true}, {startAt, 0x80000000u, true}, {startAt, 437393u, true},
                {startAt, uint32_t(-100000), true}, {state + 12, 0x7FC00000u, false},  // a NaN clock
                {startAt, 437392u, true}, {startAt, 20000u, true}, {state + 12, 0x7F61B1E6u, true}};  // 3e38 s
  for (const auto& d : damage) {
    std::vector<uint8_t> bytes = saved;
    std::memcpy(&bytes[d.offset], &d.bits, 4);
    TetraProcObj* t = MakeSystem();
    const int before = t->engine.startFrame;
    ILoad load(bytes);
    EXPECT_EQ(t->Load(&load), IO_OK);
    for (const auto& cb : load.PostLoadCallbacks()) cb.second->proc(&load);
    // A clock that reads but does not fit keeps the chunk's start frame.
    EXPECT_EQ(t->engine.startFrame, d.offset != startAt && d.said ? 7 : before) << d.bits;
    EXPECT_TRUE(std::isfinite(t->engine.solverClock)) << d.bits;
    EXPECT_FLOAT_EQ(float(t->engine.solverClock), float(t->engine.FrameTime(0))) << d.bits;
    bool prompted = false;
    for (const auto& r : vorel::host::PromptLog()) prompted = prompted || r.text.find("Vorel-> The scene's") == 0;
    EXPECT_EQ(prompted, d.said) << d.bits;
    vorel::host::ClearPromptLog();
  }
  for (const std::string name : {"..", ".", "../Vorel"}) {
    std::vector<uint8_t> bytes(saved.begin(), saved.begin() + long(state) + 16);
    const int32_t length = int32_t(name.size() + 1);
    bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&length), reinterpret_cast<const uint8_t*>(&length) + 4);
    bytes.insert(bytes.end(), name.c_str(), name.c_str() + length);
    bytes.insert(bytes.end(), saved.begin() + long(startAt), saved.end());
    // The chunk's length, in the 6-byte head before its payload.
    uint32_t oldLength;
    std::memcpy(&oldLength, &saved[state - 4], 4);
    const uint32_t newLength = oldLength + uint32_t(length) - uint32_t(nameLength);
    std::memcpy(&bytes[state - 4], &newLength, 4);
    TetraProcObj* t = MakeSystem();
    const std::string own = t->engine.systemName;
    ILoad load(bytes);
    EXPECT_EQ(t->Load(&load), IO_OK);
    for (const auto& cb : load.PostLoadCallbacks()) cb.second->proc(&load);
    EXPECT_EQ(t->engine.systemName, own) << name;
  }
}

// GO! after a load whose last frame the frame reader refuses goes on from
// the last frame that reads whole, and says so; it never goes on from no
// particle at all.
TEST_F(SceneSaveLoad, AResumeFromALastFrameThatDoesNotReadGoesBackToTheLastWholeOne) {
  TetraProcObj* s = BuildPourScene(scratch(), 11, PourSettings()).system;
  ASSERT_NE(s, nullptr);
  RunGo(s);
  ASSERT_EQ(s->engine.lastSolved, 10);
  const std::string scene = scratch() + "/pour.scene";
  ASSERT_TRUE(ip()->SaveToFile(scene));
  const std::string frame10 = s->engine.solver->frameCache.FramePath(10);
  const int n9 = s->engine.frameParticleCount[9];
  const std::vector<char> whole = Bytes(frame10);
  const int32_t n = s->engine.frameParticleCount[10];
  ASSERT_GT(n9, 20);
  ASSERT_EQ(int64_t(whole.size()), ParticleFrameFile::Size(n));
  auto withFloats = [&](int64_t at, int64_t count, float v) {
    std::vector<char> b = whole;
    for (int64_t i = 0; i < count; ++i) std::memcpy(&b[size_t(at + 4 * i)], &v, 4);
    return b;
  };
  const struct {
    const char* what;
    std::vector<char> bytes;
  } damage[] = {
      {"one NaN position", withFloats(ParticleFrameFile::PosOffset(n) + 12 * (n / 2), 1, std::nanf(""))},
      {"a count one over", [&] { auto b = whole; const int32_t c = n + 1; std::memcpy(&b[8], &c, 4); return b; }()},
      {"a count one under", [&] { auto b = whole; const int32_t c = n - 1; std::memcpy(&b[8], &c, 4); return b; }()},
      {"a cut file", std::vector<char>(whole.begin(), whole.end() - 5)},
      {"every spacing 0", withFloats(ParticleFrameFile::SpacingOffset(n), n, 0.0f)},
      {"every mass 0", withFloats(ParticleFrameFile::MassOffset(n), n, 0.0f)},
      {"one negative mass", withFloats(ParticleFrameFile::MassOffset(n), 1, -1.0f)},
  };
  // A load rewrites no cache file, and what it writes later carries the
  // cache's stamp.
  const std::string mesh0 = s->engine.solver->frameCache.MeshPath(0);
  const std::vector<char> mesh0Bytes = Bytes(mesh0);
  ASSERT_FALSE(mesh0Bytes.empty());
  ParticleFrameHeader head0;
  ASSERT_TRUE(s->engine.solver->frameCache.ReadHeader(0, head0));
  const std::string said = "Vorel-> Frame 10 of the cache cannot be read (" + frame10 +
                           "); the solve goes on from frame 9, the last one that reads whole.";
  for (const auto& d : damage) {
    ip()->ResetScene();
    std::ofstream(frame10, std::ios::binary).write(d.bytes.data(), std::streamsize(d.bytes.size()));
    vorel::host::ClearPromptLog();
    ASSERT_TRUE(ip()->LoadFromFile(scene)) << d.what;
    TetraProcObj* loaded = OnlySystem();
    ASSERT_NE(loaded, nullptr) << d.what;
    EXPECT_EQ(loaded->engine.lastSolved, 9) << d.what;
    EXPECT_EQ(loaded->engine.solver->count, n9) << d.what;
    EXPECT_TRUE(Prompted(said)) << d.what;
    EXPECT_EQ(Bytes(mesh0), mesh0Bytes) << d.what;
    RunGo(loaded);
    ParticleFrameHeader head10;
    ASSERT_TRUE(loaded->engine.solver->frameCache.ReadHeader(10, head10)) << d.what;
    EXPECT_EQ(head10.stamp, head0.stamp) << d.what;
    int32_t meshStamp = 0;
    ASSERT_TRUE(ReadMeshFrameStamp(loaded->engine.solver->frameCache.MeshPath(10), meshStamp)) << d.what;
    EXPECT_EQ(meshStamp, head0.stamp) << d.what;
    ASSERT_EQ(loaded->engine.lastSolved, 10) << d.what;
    // Frame 10 solved again from frame 9's particles: none went missing.
    EXPECT_GE(loaded->engine.frameParticleCount[10], n9) << d.what;
    EXPECT_TRUE(loaded->engine.solver->frameCache.FrameReadsWhole(10)) << d.what;
  }
}

TEST_F(SceneSaveLoad, FailedClockReadFailsTheLoad) {
  TetraProcObj* s = MakeSystem();
  ISave save;
  save.BeginChunk(kChunkState);
  const int32_t head[3] = {0, -1, -1};
  save.Write(head, sizeof head);  // the chunk ends before the clock
  save.EndChunk();
  ILoad load(save.Bytes());
  EXPECT_NE(s->Load(&load), IO_OK);
}

TEST_F(CacheCommands, PackAndUnpackGiveTheSameFilesAndADamagedFileChangesNothing) {
  TetraProcObj* s = MakeSystem();
  RunGo(s);
  ASSERT_EQ(s->engine.lastSolved, 10);
  const std::string packed = scratch() + "/all.Vor";
  ASSERT_TRUE(s->engine.PackCache(packed));

  TetraProcObj* t = MakeSystem();
  ASSERT_TRUE(t->engine.UnpackCache(packed));
  EXPECT_EQ(t->engine.lastSolved, 10);
  for (int i = 0; i <= 10; ++i)
    EXPECT_EQ(Bytes(t->engine.solver->frameCache.FramePath(i)),
              Bytes(s->engine.solver->frameCache.FramePath(i))) << i;
  EXPECT_EQ(t->engine.solver->stamp, s->engine.solver->stamp);

  // Whole tables, one damaged frame: refused, naming the frame.
  {
    std::vector<char> damaged = Bytes(packed);
    int64_t at = PackedCacheFile::kHeaderSize;
    int32_t frames = 0, meshes = 0;
    std::memcpy(&frames, &damaged[4], 4);
    std::memcpy(&meshes, &damaged[8], 4);
    at += 4 * int64_t(frames + meshes);
    for (int i = 0; i < 5; ++i) {
      int32_t length;
      std::memcpy(&length, &damaged[size_t(PackedCacheFile::kHeaderSize + 4 * i)], 4);
      at += length;
    }
    // Its count one over what its length holds.
    int32_t n5 = 0;
    std::memcpy(&n5, &damaged[size_t(at + 8)], 4);
    ++n5;
    std::memcpy(&damaged[size_t(at + 8)], &n5, 4);
    const std::string bad = scratch() + "/damaged.Vor";
    std::ofstream(bad, std::ios::binary).write(damaged.data(), std::streamsize(damaged.size()));
    const std::vector<char> frame5 = Bytes(t->engine.solver->frameCache.FramePath(5));
    PackedCacheStatus status = PackedCacheStatus::kOk;
    std::string why;
    EXPECT_FALSE(t->engine.UnpackCache(bad, &status, &why));
    EXPECT_EQ(status, PackedCacheStatus::kDamagedEntry);
    EXPECT_EQ(why.compare(0, 13, "frame 5 does "), 0) << why;
    EXPECT_EQ(t->engine.lastSolved, 10);
    EXPECT_EQ(Bytes(t->engine.solver->frameCache.FramePath(5)), frame5);
  }

  std::vector<char> cut = Bytes(packed);
  cut.resize(cut.size() - 3);
  std::ofstream(packed, std::ios::binary).write(cut.data(), std::streamsize(cut.size()));
  const std::vector<char> before = Bytes(t->engine.solver->frameCache.FramePath(0));
  EXPECT_FALSE(t->engine.UnpackCache(packed));
  EXPECT_EQ(t->engine.lastSolved, 10);  // not reset
  EXPECT_EQ(Bytes(t->engine.solver->frameCache.FramePath(0)), before);
}

TEST_F(CacheCommands, UnpackThatCannotFinishLeavesTheCacheWholeAndTheNextOneClearsItsLeftovers) {
  TetraProcObj* s = MakeSystem();
  RunGo(s);
  const FrameCache& fc = s->engine.solver->frameCache;
  vorel::host::MakeDirectories(fc.SystemFolder() + "maps");
  std::ofstream(fc.SystemFolder() + "maps/wet0001.bmp") << "BM";
  // Another simulation's pack: frames of another stamp, so no byte matches.
  TetraProcObj* t = MakeSystem();
  RunGo(t);
  t->engine.solver->stamp = s->engine.solver->stamp + 1;
  for (int i = 0; i <= 10; ++i) ASSERT_GT(t->engine.SaveFrame(i), 0);
  const std::string packed = scratch() + "/other.Vor";
  ASSERT_TRUE(t->engine.PackCache(packed));
  std::vector<std::vector<char>> old;
  for (int i = 0; i <= 10; ++i) old.push_back(Bytes(fc.FramePath(i)));
  auto oldCacheWhole = [&] {
    bool same = true;
    for (int i = 0; i <= 10; ++i) same = same && Bytes(fc.FramePath(i)) == old[size_t(i)];
    return same;
  };
  auto inChild = [](const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  };
  // A full disk: nothing of the cache is touched, and the failure names the
  // file that did not fit rather than the .Vor file.
  const int full = inChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small = {100, 100};
    setrlimit(RLIMIT_FSIZE, &small);
    PackedCacheStatus status = PackedCacheStatus::kOk;
    std::string why;
    const bool ok = s->engine.UnpackCache(packed, &status, &why);
    const bool said = why == fc.FramePath(0) + ": File too large";
    return !ok && status == PackedCacheStatus::kCannotWrite && said && s->engine.lastSolved == 10 ? 0 : 1;
  });
  EXPECT_TRUE(WIFEXITED(full) && WEXITSTATUS(full) == 0) << full;
  EXPECT_TRUE(oldCacheWhole());
  // A kill -9 part-way through the files.
  const int killed = inChild([&] {
    SetUnpackFileHook([](int step) {
      if (step == 3) raise(SIGKILL);
    });
    s->engine.UnpackCache(packed);
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(killed) && WTERMSIG(killed) == SIGKILL) << killed;
  EXPECT_TRUE(oldCacheWhole());

  // The next unpack clears what the killed one left and swaps in whole,
  // with no file of the old cache mixed in; the wet maps stay.
  ASSERT_TRUE(s->engine.UnpackCache(packed));
  for (int i = 0; i <= 10; ++i)
    EXPECT_EQ(Bytes(fc.FramePath(i)), Bytes(t->engine.solver->frameCache.FramePath(i))) << i;
  EXPECT_EQ(s->engine.solver->stamp, t->engine.solver->stamp);
  EXPECT_EQ(Bytes(fc.SystemFolder() + "maps/wet0001.bmp"), (std::vector<char>{'B', 'M'}));
  std::set<std::string> folders;
  for (const auto& e : std::filesystem::directory_iterator(scratch() + "/Vorel"))
    folders.insert(e.path().filename().string());
  EXPECT_EQ(folders, (std::set<std::string>{s->engine.systemName, t->engine.systemName}));
}

TEST_F(CacheCommands, MovingTheCacheKeepsEveryByteAndTheSameFolderIsLeftAlone) {
  TetraProcObj* s = MakeSystem();
  RunGo(s);
  const std::string oldFolder = s->engine.solver->frameCache.SystemFolder();
  const std::vector<char> frame7 = Bytes(s->engine.solver->frameCache.FramePath(7));
  EXPECT_TRUE(s->engine.SetCacheDirectory(oldFolder));  // same root again
  EXPECT_EQ(Bytes(s->engine.solver->frameCache.FramePath(7)), frame7);

  s->engine.SetCacheRoot(scratch() + "/elsewhere");
  EXPECT_TRUE(s->engine.SetCacheDirectory(oldFolder));
  EXPECT_EQ(Bytes(s->engine.solver->frameCache.FramePath(7)), frame7);
  EXPECT_FALSE(vorel::host::FileExists(oldFolder + "00007.Vorel"));
  EXPECT_TRUE(vorel::host::DirectoryExists(s->engine.solver->frameCache.SystemFolder() + "maps"));
  EXPECT_EQ(s->engine.CountMeshedFrames(), s->engine.lastMeshed + 1);
}

TEST_F(CacheCommands, ResumeWalksBackToTheLastFrameOnDisk) {
  TetraProcObj* s = MakeSystem();
  RunGo(s);
  std::remove(s->engine.solver->frameCache.FramePath(10).c_str());
  std::remove(s->engine.solver->frameCache.FramePath(9).c_str());
  s->engine.ResumeFromCache();
  EXPECT_EQ(s->engine.lastSolved, 8);
  for (int i = 0; i <= 8; ++i) std::remove(s->engine.solver->frameCache.FramePath(i).c_str());
  s->engine.ResumeFromCache();
  EXPECT_EQ(s->engine.lastSolved, -1);
}
