#include "gpu_frontend/plugin_shell.h"

#include <cstring>

#include "frontend_fixture.h"

extern "C" {
int LibNumberClasses();
ClassDesc* LibClassDesc(int i);
unsigned long LibVersion();
const char* LibDescription();
int LibInitialize();
int LibShutdown();
}

namespace {

using namespace vorel_gpufe;

class PluginShellTest : public gpufe_test::FrontendTest {};

TEST_F(PluginShellTest, EntryPointsOfferTwoClasses) {
  EXPECT_EQ(LibVersion(), 0x2EE02100UL);
  EXPECT_TRUE(SdkVersionAccepted(LibVersion()));
  EXPECT_EQ(LibNumberClasses(), 2);
  EXPECT_EQ(LibClassDesc(0), GetBlobNodeDesc());
  EXPECT_EQ(LibClassDesc(1), GetVorSourceObjDesc());
  EXPECT_EQ(LibClassDesc(2), nullptr);
  EXPECT_EQ(LibClassDesc(-1), nullptr);
  EXPECT_STREQ(LibDescription(), "Creates a blob wrapper object based on particle positions (Kestrane)");
  EXPECT_EQ(LibInitialize(), 1);
  EXPECT_EQ(LibShutdown(), 1);
}

TEST_F(PluginShellTest, DescriptorsDifferOnlyByIdVisibilityAndInternalName) {
  ClassDesc* fluid = GetBlobNodeDesc();
  ClassDesc* source = GetVorSourceObjDesc();
  EXPECT_EQ(fluid->IsPublic(), 1);
  EXPECT_EQ(source->IsPublic(), 0);
  EXPECT_EQ(fluid->ClassID(), Class_ID(0x52C04769, 0x3E707205));
  EXPECT_EQ(source->ClassID(), Class_ID(0x430E10C6, 0x7280BD61));
  EXPECT_EQ(fluid->SuperClassID(), SClass_ID(0x10));
  EXPECT_EQ(source->SuperClassID(), SClass_ID(0x10));
  EXPECT_STREQ(fluid->InternalName(), "BlobNode");
  EXPECT_STREQ(source->InternalName(), "VorSourceObj");
  EXPECT_EQ(fluid->HInstance(), ModuleHandle());
  EXPECT_NE(ModuleHandle(), nullptr);
  // A host that keeps the class name while it asks for the category still
  // reads the class name.
  const char* name = fluid->ClassName();
  const char* category = fluid->Category();
  EXPECT_STREQ(name, "Vorel_GPU");
  EXPECT_STREQ(category, "Vorel pouring system");
  EXPECT_STREQ(source->ClassName(), "Vorel_GPU");
  EXPECT_STREQ(name, "Vorel_GPU");
  EXPECT_EQ(StableString(999), nullptr);
  EXPECT_EQ(source->EndCreate(GetCOREInterface()), 0);
  EXPECT_EQ(source->BeginCreate(GetCOREInterface()), 0);
}

TEST_F(PluginShellTest, LibraryEntryKeepsTheHandleAndSetsControlsUpOnce) {
  const HINSTANCE mine = ModuleHandle();
  const int before = CommonControlsInitCount();
  EXPECT_EQ(before, 1);  // at load
  int marker = 0;
  HINSTANCE other = reinterpret_cast<HINSTANCE>(&marker);
  EXPECT_EQ(LibraryEntry(other, 1, nullptr), TRUE);
  EXPECT_EQ(ModuleHandle(), other);
  EXPECT_EQ(LibraryEntry(mine, 0, nullptr), TRUE);
  EXPECT_EQ(ModuleHandle(), mine);
  EXPECT_EQ(CommonControlsInitCount(), before);
}

TEST_F(PluginShellTest, AppPathComesFromTheRegistryWhole) {
  const char* key = "SOFTWARE\\Kestrane\\Vorel_GPU";
  std::string path = "stale";
  EXPECT_FALSE(ReadAppPath(path));  // no key
  EXPECT_EQ(path, "");
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, key, "dataPath", "/data");
  path = "stale";
  EXPECT_FALSE(ReadAppPath(path));  // key, no value
  EXPECT_EQ(path, "");
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, key, "appPath", "/opt/vorel");
  EXPECT_TRUE(ReadAppPath(path));
  EXPECT_EQ(path, "/opt/vorel");
  const std::string longest(259, 'a');
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, key, "appPath", longest);
  EXPECT_TRUE(ReadAppPath(path));
  EXPECT_EQ(path, longest);
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, key, "appPath", longest + "b");
  EXPECT_FALSE(ReadAppPath(path));  // 260 characters: no room for the end
  EXPECT_EQ(path, "");
  // A value stored without its terminator: a text that fills the whole
  // buffer has no end inside it, a shorter one ends where its size says.
  vorel::host::ServeStringsUnterminated(true);
  EXPECT_FALSE(ReadAppPath(path));
  EXPECT_EQ(path, "");
  vorel::host::RegistrySetString(HKEY_CURRENT_USER, key, "appPath", "/opt/v");
  const bool shortRead = ReadAppPath(path);
  vorel::host::ServeStringsUnterminated(false);
  EXPECT_TRUE(shortRead);
  EXPECT_EQ(path, "/opt/v");
}

TEST_F(PluginShellTest, SmallUtilities) {
  EXPECT_EQ(FloorF(-0.5f), -1.0f);
  EXPECT_EQ(FloorF(3.0f), 3.0f);
  EXPECT_EQ(FloorF(2.9999f), 2.0f);
  EXPECT_TRUE(FileExists(root_));
  EXPECT_FALSE(FileExists(root_ + "/none"));
  GetCOREInterface()->SetTime(480, false);
  EXPECT_EQ(GetSceneTime(), 480);
}

}  // namespace
