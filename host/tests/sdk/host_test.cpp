#include <dlfcn.h>
#include <sys/wait.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/core/interaction.h"
#include "host/sdk/script.h"
#include "test_classes.h"

using namespace sdktest;

namespace {

const std::string kPlugDir = VOREL_TEST_PLUGIN_DIR;
const std::string kPlug = kPlugDir + "/vorel_testplug.so";

// An entry point of a test plug-in the loader has mapped, or null.
template <class Fn>
Fn PlugFunction(const std::string& lib, const char* name) {
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return nullptr;
  auto fn = reinterpret_cast<Fn>(dlsym(h, name));
  dlclose(h);
  return fn;
}

std::vector<std::string>* PlugLog() {
  auto fn = PlugFunction<std::vector<std::string>* (*)()>(kPlug, "TestPlugLog");
  return fn ? fn() : nullptr;
}

void LoadTestPlugins() {
  static bool done = false;
  if (done) return;
  done = true;
  std::vector<std::string> errs;
  EXPECT_EQ(PluginManager::Get().LoadFolder(kPlugDir, errs), 1);
  ASSERT_EQ(errs.size(), 2u);  // in name order
  EXPECT_NE(errs[0].find("vorel_testplug_initfail.so: LibInitialize failed"), std::string::npos);
  EXPECT_NE(errs[1].find("0x1F400000"), std::string::npos);  // the old plug-in, refused
}

TEST(Plugins, LoaderRegistersClassesAndRefusesOtherSdkReleases) {
  LoadTestPlugins();
  const auto& libs = PluginManager::Get().Libraries();
  ASSERT_EQ(libs.size(), 1u);
  EXPECT_EQ(libs[0].description, "Vorel test plug-in");
  EXPECT_EQ(libs[0].classes.size(), 2u);
  EXPECT_EQ(ClassDirectory::Get().FindClass(Class_ID(0x01D01D, 1)), nullptr);
  EXPECT_NE(ClassDirectory::Get().FindClassByName("plugblob"), nullptr);
  std::string err;
  EXPECT_FALSE(PluginManager::Get().LoadPlugin(kPlug, err));  // already loaded
  EXPECT_FALSE(PluginManager::Get().LoadPlugin(kPlugDir + "/none.so", err));
  EXPECT_NE(err.find("cannot open"), std::string::npos);
  std::vector<std::string> errs;
  EXPECT_EQ(PluginManager::Get().LoadFolder(kPlugDir + "/missing", errs), 0);
  EXPECT_EQ(errs.size(), 1u);
  EXPECT_TRUE(SdkVersionAccepted(0x2EE02100UL));
  EXPECT_TRUE(SdkVersionAccepted(0x36B02600UL));
}

TEST(Plugins, TheInterfacesUICallsAreHarmlessWithoutAUI) {
  Interface plain;  // what a plug-in holds when no UI layer is linked
  char dir[MAX_PATH] = "/tmp";
  plain.ChooseDirectory(nullptr, "Select", dir);
  EXPECT_STREQ(dir, "");  // as if cancelled
  EXPECT_EQ(plain.PickNode(nullptr, IPoint2{}), nullptr);
  EXPECT_EQ(plain.AddRollupPage(nullptr, "101", nullptr, "Page"), nullptr);
  plain.DeleteRollupPage(nullptr);
  plain.RollupMouseMessage(nullptr, 0x201, 0, 0);
  EXPECT_EQ(plain.GetActiveViewport(), nullptr);
}

TEST(Plugins, ClassesAreRegisteredBeforeLibInitialize) {
  LoadTestPlugins();
  // The plug-in finds its class and the action table it offers from LibInitialize.
  auto report = PlugFunction<const char* (*)()>(kPlug, "TestPlugInitReport");
  ASSERT_NE(report, nullptr);
  EXPECT_STREQ(report(), "class, table");
  // A library whose LibInitialize fails saw its class, which is then taken back.
  auto saw = PlugFunction<int (*)()>(kPlugDir + "/vorel_testplug_initfail.so", "TestInitFailSawOwnClass");
  ASSERT_NE(saw, nullptr);
  EXPECT_EQ(saw(), 1);
  EXPECT_EQ(ClassDirectory::Get().FindClass(Class_ID(0x1F1F1F, 1)), nullptr);
  for (const PluginLibrary& l : PluginManager::Get().Libraries())
    EXPECT_EQ(l.path.find("initfail"), std::string::npos);
}

TEST(Plugins, PluginObjectLivesThroughTimeSaveLoadAndDeletion) {
  LoadTestPlugins();
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  Animatable* a = ip->CreateInstance(GEOMOBJECT_CLASS_ID, Class_ID(0x51A0B10B, 1));
  ASSERT_NE(a, nullptr);
  auto* blob = static_cast<Object*>(a);
  INode* n = ip->CreateObjectNode(blob, "blob");
  std::vector<std::string>* log = PlugLog();
  ASSERT_NE(log, nullptr);
  log->clear();
  blob->GetParamBlock(0)->SetKey(0, 160, 20.0f);  // "size"
  for (TimeValue t : {0, 160, 320}) ip->SetTime(t, false);
  int built = 0;
  for (auto& l : *log) built += l.rfind("blob built", 0) == 0;
  EXPECT_EQ(built, 2);  // the keyed size changes the mesh once
  std::string path = std::string(VOREL_BINARY_DIR) + "/sdk_plug.vsc";
  ASSERT_TRUE(ip->SaveToFile(path));
  log->clear();
  ASSERT_TRUE(ip->LoadFromFile(path)) << ip->LastFileError();
  ASSERT_GE(log->size(), 2u);
  EXPECT_EQ((*log)[0], "blob destroyed");  // the old scene goes before post-load work
  EXPECT_EQ(log->back(), "blob loaded (loading=1, saved builds 2, note hello, 0 targets)");
  n = ip->GetINodeByName("blob");
  ASSERT_NE(n, nullptr);
  EXPECT_FLOAT_EQ(n->GetObjectRef()->GetParamBlock(0)->GetFloat(0, 200), 20.0f);
  log->clear();
  ip->DeleteNode(n);
  EXPECT_EQ(*log, (std::vector<std::string>{"pre-delete 1 node(s)", "blob destroyed"}));
  // The space warp gives a force field its caller owns.
  auto* wind = static_cast<WSMObject*>(ip->CreateInstance(WSM_OBJECT_CLASS_ID, Class_ID(0x51A0B10B, 2)));
  ForceField* ff = wind->GetForceField(nullptr);
  EXPECT_EQ(ff->Force(0, Point3(), Point3(), 0), Point3(0.0f, 0.0f, -1.0f));
  ff->DeleteThis();
  wind->DeleteThis();
}

std::string RunHost(const std::string& script, int& rc) {
  // One script file a test: CTest runs the tests of this file as processes
  // side by side, and one shared name let them run each other's scripts.
  const std::string spath = std::string(VOREL_BINARY_DIR) + "/sdk_host_script_" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".vhs";
  std::ofstream(spath) << script;
  std::string cmd = std::string(VOREL_HOST_EXE) + " --plugins " + kPlugDir + " " + spath + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  rc = p ? pclose(p) : -1;
  return out;
}

TEST(VorelHost, ScriptDrivesAPluginObjectEndToEnd) {
  std::string dir = VOREL_BINARY_DIR;
  int rc = 0;
  std::string out = RunHost(
      "# a scene of the test plug-in\n"
      "create PlugBlob b1\n"
      "create box \"clip box\"\n"
      "set \"clip box\" height 30\n"
      "set b1 size 5000          # clamped\n"
      "set b1 segments 3\n"
      "set b1 targets \"clip box\"\n"
      "answer cancel\n"
      "set b1 label ask\n"
      "range 0 5\n"
      "escape 1\n"
      "time 2 noredraw\n"
      "move b1 0 0 10\n"
      "export b1 2 " + dir + "/sdk_b1.obj\n"
      "save " + dir + "/sdk_host.vsc\n"
      "reset\n"
      "load " + dir + "/sdk_host.vsc\n"
      "get b1 size\n"
      "get b1 targets\n"
      "delete \"clip box\"\n"
      "get b1 targets\n"
      "nodes\n"
      "get b1 nothing\n"
      "echo not reached\n",
      rc);
  EXPECT_NE(rc, 0) << out;
  auto has = [&](const std::string& s) { return out.find(s) != std::string::npos; };
  EXPECT_TRUE(has("created b1 (PlugBlob)")) << out;
  EXPECT_TRUE(has("created clip box (Box)")) << out;
  EXPECT_TRUE(has("b1.size = 1000")) << out;
  EXPECT_TRUE(has("b1.targets = #(clip box)")) << out;
  EXPECT_TRUE(has("[messagebox] Blob: Keep the label? -> 2")) << out;
  EXPECT_TRUE(has("answer Cancel")) << out;
  EXPECT_TRUE(has("escape pressed")) << out;
  EXPECT_TRUE(has("wrote " + dir + "/sdk_b1.obj: 4 vertices, 3 faces")) << out;
  EXPECT_TRUE(has("blob loaded (loading=1")) << out;
  EXPECT_TRUE(has("pre-delete 1 node(s)")) << out;
  EXPECT_TRUE(has("b1.targets = #(undefined)")) << out;
  EXPECT_TRUE(has(":23: b1 has no parameter \"nothing\"")) << out;
  EXPECT_FALSE(has("not reached")) << out;
  std::ifstream obj(dir + "/sdk_b1.obj");
  std::string first, v0;
  std::getline(obj, first);
  std::getline(obj, v0);
  EXPECT_EQ(v0, "v 0 0 10");  // the pivot vertex, moved with the node
}

// Output of a command line (its standard output only) and its exit code.
std::string RunCommand(const std::string& cmd, int& code) {
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  int rc = p ? pclose(p) : -1;
  code = rc >= 0 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// A surface mesh file of a tetrahedron (layout of the mesher's files);
// `turned` winds every face the other way, `extra` adds an unused vertex.
void WriteTetrahedron(const std::string& path, bool turned, bool extra) {
  std::vector<float> v = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (extra) v.insert(v.end(), {5, 5, 5});
  std::vector<int32_t> f = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};
  if (turned)
    for (size_t t = 0; t < f.size(); t += 3) std::swap(f[t], f[t + 1]);
  std::ofstream out(path, std::ios::binary);
  auto word = [&](uint32_t w) { out.write(reinterpret_cast<const char*>(&w), 4); };
  auto real = [&](float x) { out.write(reinterpret_cast<const char*>(&x), 4); };
  const uint32_t nV = uint32_t(v.size() / 3);
  word(0);
  word(2);
  word(0xBACABACAu);
  word(nV);
  for (float x : v) real(x);
  word(nV);
  for (uint32_t i = 0; i < 3 * nV; ++i) real(0);
  for (uint32_t i = 0; i < 2 * nV; ++i) real(0);
  word(uint32_t(f.size() / 3));
  for (int32_t i : f) word(uint32_t(i));
  word(0xDEDEDEDEu);
}

// A surface turned inside out or with a vertex no face uses is closed and
// oriented, yet not a surface of liquid: meshcheck names it and fails.
TEST(VorelHost, MeshcheckFailsOnSurfacesThatEncloseNothing) {
  const std::string dir = std::string(VOREL_BINARY_DIR) + "/sdk_meshcheck";
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  WriteTetrahedron(dir + "/m00000.bin", false, false);
  WriteTetrahedron(dir + "/turned.bin", true, false);
  WriteTetrahedron(dir + "/extra.bin", false, true);
  int rc = 0;
  std::string out = RunHost("meshcheck " + dir + "\n"
                            "fails meshcheck " + dir + "/turned.bin\n"
                            "fails meshcheck " + dir + "/extra.bin\n",
                            rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("meshcheck: 1 of 1 surface files are closed 2-manifolds"), std::string::npos) << out;
  EXPECT_NE(out.find("turned.bin: not a closed 2-manifold enclosing a volume"), std::string::npos) << out;
  EXPECT_NE(out.find("volume -0.166667"), std::string::npos) << out;
  EXPECT_NE(out.find("0 faces of zero area, 1 unused vertices"), std::string::npos) << out;
  EXPECT_NE(out.find("failed as expected: 1 of 1 surface files are not closed 2-manifolds enclosing a volume"),
            std::string::npos)
      << out;
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(VorelHost, HelpPrintsTheUsageOnceAndSucceeds) {
  const std::string usage = "usage: vorel-host [--plugins <folder>] [<script.vhs> | -]\n";
  int code = -1;
  EXPECT_EQ(RunCommand(std::string(VOREL_HOST_EXE) + " --help 2>/dev/null", code), usage);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(RunCommand(std::string(VOREL_HOST_EXE) + " -h 2>/dev/null", code), usage);
  EXPECT_EQ(code, 0);
  // A wrong option is a mistake: the usage goes to standard error.
  std::string err = RunCommand(std::string(VOREL_HOST_EXE) + " --bogus 2>&1 >/dev/null", code);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(err, "vorel-host: unknown option --bogus\n" + usage);
}

TEST(VorelHost, OpenMpThreadsWaitPassivelyUnlessTheUserChose) {
  // Spinning waits take the cores from the solver's working threads on a
  // busy machine; the plug-ins' OpenMP runtime reads the policy as it loads.
  std::string spath = std::string(VOREL_BINARY_DIR) + "/sdk_host_env.vhs";
  std::ofstream(spath) << "env OMP_WAIT_POLICY\n";
  int code = -1;
  const std::string host = std::string(VOREL_HOST_EXE) + " --plugins " + kPlugDir + " " + spath;
  std::string out = RunCommand("env -u OMP_WAIT_POLICY " + host, code);
  EXPECT_NE(out.find("OMP_WAIT_POLICY=passive\n"), std::string::npos) << out;
  EXPECT_EQ(code, 0);
  out = RunCommand("OMP_WAIT_POLICY=active " + host, code);
  EXPECT_NE(out.find("OMP_WAIT_POLICY=active\n"), std::string::npos) << out;
}

TEST(VorelHost, ScriptListsClassesAndAddsCustomAttributes) {
  LoadTestPlugins();
  GetCOREInterface()->ResetScene();
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  ASSERT_TRUE(s.RunLine("classes"));
  bool listed = false;
  for (const std::string& l : out)
    listed = listed || l == "class \"PlugBlob\" (PlugBlob) 0x10 0x51A0B10B:0x00000001 \"Vorel tests\" public";
  EXPECT_TRUE(listed);
  ASSERT_TRUE(s.RunLine("create box crate"));
  // Only custom attribute classes can be added, and only to a node with an object.
  EXPECT_FALSE(s.RunLine("attrib crate PlugBlob"));
  EXPECT_EQ(s.Error(), "no attribute class named \"PlugBlob\"");
  EXPECT_FALSE(s.RunLine("attrib nobody PlugBlob"));
  EXPECT_FALSE(s.RunLine("attrib crate"));
  GetCOREInterface()->ResetScene();
}

TEST(VorelHost, ScriptCommandsInProcess) {
  LoadTestPlugins();
  GetCOREInterface()->ResetScene();
  std::vector<std::string> out;
  vorel_sdk::SceneScript s([&](const std::string& l) { out.push_back(l); });
  EXPECT_TRUE(s.RunLine("create sphere ball"));
  EXPECT_TRUE(s.RunLine("set ball radius 45"));
  EXPECT_TRUE(s.RunLine("set ball hemisphere 0.5"));
  EXPECT_TRUE(s.RunLine("key ball radius 10 20"));
  EXPECT_TRUE(s.RunLine("get ball radius 12"));
  EXPECT_EQ(out.back(), "ball.radius = 20");
  EXPECT_TRUE(s.RunLine("tpf 160"));
  EXPECT_FALSE(s.RunLine("tpf 7"));
  EXPECT_FALSE(s.RunLine("range 5 1"));
  EXPECT_FALSE(s.RunLine("time abc"));
  EXPECT_FALSE(s.RunLine("set ball radius big"));
  EXPECT_FALSE(s.RunLine("create NoSuchClass"));
  EXPECT_FALSE(s.RunLine("frobnicate"));
  EXPECT_FALSE(s.RunLine("set \"ball radius 4"));
  EXPECT_FALSE(s.RunLine("action 1 2"));  // no action tables without the UI layer
  EXPECT_TRUE(s.RunLine("hide ball"));
  EXPECT_TRUE(GetCOREInterface()->GetINodeByName("ball")->IsHidden());
  EXPECT_TRUE(s.RunLine("rotate ball x 90"));
  // A particle index is an integer: one beyond int is refused, never cast.
  EXPECT_TRUE(s.RunLine("create 0x51A0B10B:2 wind"));
  EXPECT_TRUE(s.RunLine("force wind 0 0 0 0 0 0 2147483647"));
  EXPECT_FALSE(s.RunLine("force wind 0 0 0 0 0 0 1e10"));
  EXPECT_FALSE(s.RunLine("force wind 0 0 0 0 0 0 2.5"));
  EXPECT_TRUE(s.RunLine("   # only a comment"));
  s.AddCommand("ui", [](const std::string& rest, std::ostream& o, std::string& err) {
    o << "got " << rest << "\nsecond line\n";
    err = "refused";
    return rest != "fail";
  });
  EXPECT_TRUE(s.RunLine("  UI  show \"Dyn params\" 12"));
  EXPECT_EQ(out[out.size() - 2], "got show \"Dyn params\" 12");
  EXPECT_FALSE(s.RunLine("ui fail"));
  EXPECT_EQ(s.Error(), "refused");
  std::istringstream in("select ball\nundo\n");
  EXPECT_FALSE(s.Run(in, "t.vhs"));
  EXPECT_EQ(s.Error(), "t.vhs:2: nothing to undo");
  GetCOREInterface()->ResetScene();
}

}  // namespace
