#include "gpu_frontend/solver_presets.h"

#include <cstring>

#include "frontend_fixture.h"
#include "gpu_frontend/gpu_fluid.h"

namespace {

using gpufe_test::Exists;
using gpufe_test::WriteBytes;
using vorel_gpufe::BlobNode;
namespace bp = vorel_gpufe::blob_param;

class SolverPresetsTest : public gpufe_test::FrontendTest {
 protected:
  BlobNode* NewFluid() {
    auto* b = new BlobNode(false);
    GetCOREInterface()->CreateObjectNode(b, "fluid");
    vorel::host::MakeDirectories(b->cache.presetsDir);
    return b;
  }
  static void SetFive(BlobNode* b, float lod, float g, float visc, float bounce, float fric) {
    b->pblock2->SetValue(bp::kSourceLOD, 0, lod);
    b->pblock2->SetValue(bp::kGravity, 0, g);
    b->pblock2->SetValue(bp::kViscosity, 0, visc);
    b->pblock2->SetValue(bp::kBounce, 0, bounce);
    b->pblock2->SetValue(bp::kFriction, 0, fric);
  }
  static std::vector<float> Five(BlobNode* b) {
    return {b->pblock2->GetFloat(bp::kSourceLOD, 0), b->pblock2->GetFloat(bp::kGravity, 0),
            b->pblock2->GetFloat(bp::kViscosity, 0), b->pblock2->GetFloat(bp::kBounce, 0),
            b->pblock2->GetFloat(bp::kFriction, 0)};
  }
  static std::string Bytes(const std::string& path) {
    std::string s;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }
  static std::string Floats(std::initializer_list<float> v) {
    std::string s(v.size() * 4, '\0');
    std::memcpy(&s[0], v.begin(), s.size());
    return s;
  }
  std::string PresetFile(BlobNode* b, const std::string& name) {
    return b->cache.presetsDir + "/" + name + ".Vorel_preset";
  }
};

TEST_F(SolverPresetsTest, SaveWritesTwentyBytesInOrderAndLoadsBack) {
  BlobNode* a = NewFluid();
  SetFive(a, 12.5f, 3.0f, 0.25f, 0.75f, 1.5f);
  ASSERT_TRUE(vorel_gpufe::SavePreset(*a, "honey"));
  EXPECT_EQ(Bytes(PresetFile(a, "honey")), Floats({12.5f, 3.0f, 0.25f, 0.75f, 1.5f}));
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  SetFive(a, 20.0f, 9.8f, 0.0f, 1.0f, 0.0f);
  ASSERT_TRUE(vorel_gpufe::LoadPreset(*a, "honey"));
  EXPECT_EQ(Five(a), (std::vector<float>{12.5f, 3.0f, 0.25f, 0.75f, 1.5f}));
}

TEST_F(SolverPresetsTest, ReservedAndUnusableNamesAreRefusedWithoutWriting) {
  BlobNode* a = NewFluid();
  EXPECT_FALSE(vorel_gpufe::SavePreset(*a, "default"));
  EXPECT_FALSE(Exists(PresetFile(a, "default")));
  EXPECT_TRUE(vorel_gpufe::SavePreset(*a, "Default"));
  const std::vector<std::string> bad = {"", "..", "../escape", "a/b", "a\\b", "x:y", "tail.", std::string(300, 'n')};
  for (const std::string& name : bad)
    EXPECT_FALSE(vorel_gpufe::SavePreset(*a, name)) << name;
  EXPECT_FALSE(Exists(a->cache.presetsDir + "/../escape.Vorel_preset"));
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
}

TEST_F(SolverPresetsTest, ExistingNameAsksAndOnlyOkReplaces) {
  BlobNode* a = NewFluid();
  SetFive(a, 1, 2, 3, 0.5f, 4);
  ASSERT_TRUE(vorel_gpufe::SavePreset(*a, "shot"));
  SetFive(a, 5, 6, 7, 0.25f, 8);
  vorel::host::QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_FALSE(vorel_gpufe::SavePreset(*a, "shot"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].text, "Overwrite existing preset file?");
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].caption, "Vorel Warning!");
  EXPECT_EQ(Bytes(PresetFile(a, "shot")), Floats({1, 2, 3, 0.5f, 4}));
  vorel::host::QueueMessageBoxAnswer(IDOK);
  EXPECT_TRUE(vorel_gpufe::SavePreset(*a, "shot"));
  EXPECT_EQ(Bytes(PresetFile(a, "shot")), Floats({5, 6, 7, 0.25f, 8}));
}

TEST_F(SolverPresetsTest, UnwritableFolderReportsOnSave) {
  BlobNode* a = NewFluid();
  a->cache.presetsDir = root_ + "/no/such/folder";
  EXPECT_FALSE(vorel_gpufe::SavePreset(*a, "lost"));
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  EXPECT_EQ(vorel::host::MessageBoxLog()[0].text, "Could not save preset on presets dir.");
}

TEST_F(SolverPresetsTest, ShortFilesSetWholeValuesOnly) {
  BlobNode* a = NewFluid();
  SetFive(a, 20, 9.8f, 0.5f, 0.5f, 0.5f);
  WriteBytes(PresetFile(a, "eight"), Floats({30, 4}));
  ASSERT_TRUE(vorel_gpufe::LoadPreset(*a, "eight"));
  EXPECT_EQ(Five(a), (std::vector<float>{30, 4, 0.5f, 0.5f, 0.5f}));
  // Ten bytes: the third value is cut and must not be half-read.
  WriteBytes(PresetFile(a, "ten"), Floats({40, 5}) + std::string("\x01\x02", 2));
  ASSERT_TRUE(vorel_gpufe::LoadPreset(*a, "ten"));
  EXPECT_EQ(Five(a), (std::vector<float>{40, 5, 0.5f, 0.5f, 0.5f}));
}

TEST_F(SolverPresetsTest, MissingTruncatedOrCorruptPresetChangesNothing) {
  BlobNode* a = NewFluid();
  SetFive(a, 20, 9.8f, 0.5f, 0.5f, 0.5f);
  const std::vector<float> before = Five(a);
  WriteBytes(PresetFile(a, "stub"), "ab");
  const float nan = std::nanf("");
  WriteBytes(PresetFile(a, "nan"), Floats({10, nan, 1, 1, 1}));
  EXPECT_FALSE(vorel_gpufe::LoadPreset(*a, "missing"));
  EXPECT_FALSE(vorel_gpufe::LoadPreset(*a, "stub"));
  EXPECT_FALSE(vorel_gpufe::LoadPreset(*a, "nan"));
  EXPECT_EQ(Five(a), before);
  const auto log = vorel::host::MessageBoxLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].text,
            "Preset file not found!\nUnable to locate a valid preset directory from Vorel_GPU.ini file or "
            "windows registry.");
  EXPECT_EQ(log[1].text, vorel_gpufe::kDamagedPresetText);
  EXPECT_EQ(log[2].text, vorel_gpufe::kDamagedPresetText);
}

}  // namespace
