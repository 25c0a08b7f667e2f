// Preset files: exact layout, round trip, partial and damaged files, the
// browser's record and list, the preview argument bound, and the material a
// preset brings its system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "fluid_core/engine.h"
#include "fluid_core/frame_cache.h"
#include "fluid_plugin/fluid_params.h"
#include "fluid_plugin/source_presets.h"
#include "fluid_plugin/vorel_classes.h"
#include "plugin_test_util.h"
#include "host/core/core.h"
#include "scene_objects/emitter_params.h"
#include "scene_objects/vorel_strings.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}
// Selects one item of the open browser's list and clicks it, as a user does.
void ClickPreset(HWND browser, int item) {
  HWND list = GetDlgItem(browser, kPresetBrowserList);
  for (int i = 0; i < ListView_GetItemCount(list); ++i) ListView_SetItemState(list, i, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  NMITEMACTIVATE click;
  click.hdr.hwndFrom = list;
  click.hdr.idFrom = kPresetBrowserList;
  click.hdr.code = NM_CLICK;
  click.iItem = item;
  SendMessage(browser, WM_NOTIFY, kPresetBrowserList, reinterpret_cast<LPARAM>(&click));
}
void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

class Presets : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorel-presets-XXXXXX";
    dir_ = mkdtemp(tmpl);
    vorel::host::SetHostDirectory(APP_PLUGCFG_DIR, dir_);
    vorel::host::MakeDirectories(SourcePresetFolder());
    src_ = CreateParameterBlock2(EmitterParamBlock(), nullptr);
    sys_ = CreateParameterBlock2(FluidParamBlock(), nullptr);
    dst_ = CreateParameterBlock2(EmitterParamBlock(), nullptr);
    dstSys_ = CreateParameterBlock2(FluidParamBlock(), nullptr);
    vorel::host::ClearMessageBoxLog();
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)system(cmd.c_str());
  }
  std::string Path(const std::string& name) { return SourcePresetFolder() + "/" + name; }
  void FillSource() {
    src_->SetValue(kEmitPresetName, 0, "Honey");
    src_->SetValue(kEmitSourceLod, 0, 7.25f);
    src_->SetValue(kEmitThickness, 0, 12.5f);
    src_->SetValue(kEmitOverrideObjParams, 0, 1);
    src_->SetValue(kEmitSourceFriction, 0, 3.125f);
    src_->SetValue(kEmitSourceAdherence, 0, 0.45f);
    src_->SetValue(kEmitSourceBounce, 0, 9.5f);
    src_->SetValue(kEmitSourceCollisionGap, 0, 0.0123f);
    src_->SetValue(kEmitSourceGravity, 0, 40.0f);
    src_->SetValue(kEmitEmissionRate, 0, 2.5f);
    sys_->SetValue(kFluidScale, 0, 1.5f);
  }
  std::string dir_;
  IParamBlock2 *src_, *sys_, *dst_, *dstSys_;
};

TEST_F(Presets, WritesEveryKeyInOrderAndReadsBackToThreeDecimals) {
  FillSource();
  std::string p = Path("Honey.VorPreset");
  ASSERT_EQ(writeSourcePreset({src_, sys_}, p.c_str()), 0);
  EXPECT_EQ(ReadText(p),
            "[NAME]=Honey\n[LOD]=7.250\n[THICKNESS]=12.500\n[OVERRIDES_OBJ_PARAMS]=1\n"
            "[OBJECT_FRICTION]=3.125\n[OBJECT_ADHERENCE]=0.450\n[OBJECT_BOUNCE]=9.500\n"
            "[OBJECT_COLGAP]=0.012\n[GRAVITY]=40.000\n[RATE]=2.500\n[SCALE]=1.500\n");
  SourcesNeedRefresh = 0;
  ASSERT_TRUE(readSourcePreset({dst_, dstSys_}, p.c_str()));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_STREQ(dst_->GetStr(kEmitPresetName, 0), "Honey");
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceLod, 0), 7.25f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitThickness, 0), 12.5f, 5e-4);
  EXPECT_EQ(dst_->GetInt(kEmitOverrideObjParams, 0), 1);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceFriction, 0), 3.125f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceAdherence, 0), 0.45f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceBounce, 0), 9.5f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceCollisionGap, 0), 0.012f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceGravity, 0), 40.0f, 5e-4);
  EXPECT_NEAR(dst_->GetFloat(kEmitEmissionRate, 0), 2.5f, 5e-4);
  EXPECT_NEAR(dstSys_->GetFloat(kFluidScale, 0), 1.5f, 5e-4);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
}

TEST_F(Presets, PartialFilesSetOnlyTheirKeysAndNamesKeepTheirBlanks) {
  FillSource();
  dst_->SetValue(kEmitThickness, 0, 33.0f);
  std::string p = Path("part.VorPreset");
  std::string longWord(300, 'n');
  // A hand-edited file: no end of line after its last line.
  WriteText(p, "comment line\n[RATE]=7.5\n[LODX]=99\n[NAME]= My Syrup \r\n[LOD]=3");
  ASSERT_TRUE(readSourcePreset({dst_, dstSys_}, p.c_str()));
  EXPECT_STREQ(dst_->GetStr(kEmitPresetName, 0), "My Syrup");
  EXPECT_NEAR(dst_->GetFloat(kEmitEmissionRate, 0), 7.5f, 1e-6);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceLod, 0), 3.0f, 1e-6);
  EXPECT_FLOAT_EQ(dst_->GetFloat(kEmitThickness, 0), 33.0f);
  EXPECT_FLOAT_EQ(dstSys_->GetFloat(kFluidScale, 0), 1.0f);

  // A name longer than the browser's field is cut to 235 characters.
  PresetValues v;
  std::string err;
  ASSERT_TRUE(ParsePresetText("[NAME]=" + longWord + "\n", v, err));
  EXPECT_EQ(v.name.size(), size_t(kPresetNameSize - 1));
  PresetBrowserRecord rec;
  WriteText(p, "[NAME]=" + longWord + "\n[GRAVITY]=5\n");
  ASSERT_TRUE(readSystemPreset(p.c_str(), rec, nullptr));
  EXPECT_EQ(std::string(rec.name), longWord.substr(0, kPresetNameSize - 1));
  EXPECT_FLOAT_EQ(rec.gravity, 5.0f);
}

// Whatever name a preset holds, the text written for it reads back to the
// name that was read: names of blanks and carriage returns, and long names
// whose cut falls in such a run, once made a file the reader refused.
TEST(PresetText, AnyNameReadsBackAsTheNameThatWasRead) {
  const std::string cut = std::string(kPresetNameSize - 1, 'a');
  const struct { const char* label; std::string line, name; } cases[] = {
      {"blanks and returns", "[NAME]=" + std::string(120, '\r') + std::string(130, ' ') + "x\n", ""},
      {"cut inside a run of returns", "[NAME]=ab" + std::string(300, '\r') + "x\n", "ab"},
      {"cut inside a run of blanks", "[NAME]=" + cut.substr(4) + std::string(8, ' ') + "z\n", cut.substr(4)},
      {"a return inside", "[NAME]= \r x \r\n", "\r x"},
      {"an empty name after one", "[NAME]=kept\n[NAME]= \r\n", "kept"},
  };
  for (const auto& c : cases) {
    PresetValues v;
    std::string err;
    const std::string text = c.line + "[LOD]=2\n";
    ASSERT_TRUE(ParsePresetText(text, v, err)) << c.label << ": " << err;
    EXPECT_EQ(v.name, c.name) << c.label;
    PresetValues again;
    ASSERT_TRUE(ParsePresetText(FormatPresetText(v), again, err)) << c.label << ": " << err;
    EXPECT_EQ(again.name, c.name) << c.label;
    // Only the name: the text written must still be a preset.
    PresetValues alone;
    if (!ParsePresetText(c.line, alone, err)) continue;
    ASSERT_TRUE(ParsePresetText(FormatPresetText(alone), again, err)) << c.label << ": " << err;
    EXPECT_EQ(again.name, c.name) << c.label;
  }
  // A name given by an emitter, with a line end inside, writes one name line.
  PresetValues given;
  given.has[kKeyName] = given.has[kKeyLod] = true;
  given.name = "  two\n[LOD]=9";
  given.lod = 2;
  PresetValues read;
  std::string err;
  ASSERT_TRUE(ParsePresetText(FormatPresetText(given), read, err)) << err;
  EXPECT_EQ(read.name, "two");
  EXPECT_FLOAT_EQ(read.lod, 2.0f);
}

TEST_F(Presets, DamagedOrMissingFilesChangeNothing) {
  FillSource();
  std::string good = Path("good.VorPreset");
  ASSERT_EQ(writeSourcePreset({src_, sys_}, good.c_str()), 0);
  std::string text = ReadText(good);
  const std::string damaged[] = {
      text.substr(0, text.size() - 6),                 // cut after the last key's "="
      "",                                              // empty
      "[LOD]=abc\n[RATE]=4\n",                         // a value that does not read
      "[RATE]=4 apples\n",                             // trailing garbage
      std::string("[RATE]=4\n\0[LOD]=2\n", 18),        // binary data
      "[RATE]=4\n" + std::string(600, 'x') + "\n",     // an over-long line
      "just words\n",                                  // no key at all
  };
  std::string p = Path("bad.VorPreset");
  for (const std::string& d : damaged) {
    WriteText(p, d);
    SourcesNeedRefresh = 0;
    vorel::host::ClearMessageBoxLog();
    EXPECT_FALSE(readSourcePreset({dst_, dstSys_}, p.c_str())) << d;
    EXPECT_EQ(SourcesNeedRefresh, 1);
    EXPECT_FLOAT_EQ(dst_->GetFloat(kEmitEmissionRate, 0), 6.0f) << d;
    EXPECT_FLOAT_EQ(dst_->GetFloat(kEmitSourceLod, 0), 4.0f) << d;
    ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u) << d;
    EXPECT_EQ(vorel::host::MessageBoxLog()[0].caption, "Vorel Warning!");
  }
  // A file that cannot be opened: nothing applied, no box, emitters refresh.
  SourcesNeedRefresh = 0;
  vorel::host::ClearMessageBoxLog();
  EXPECT_FALSE(readSourcePreset({dst_, dstSys_}, Path("missing.VorPreset").c_str()));
  EXPECT_EQ(SourcesNeedRefresh, 1);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  // The browser's record never keeps the values of the preset shown before.
  for (const char* name : {"bad.VorPreset", "missing.VorPreset"}) {
    PresetBrowserRecord rec;
    ASSERT_TRUE(readSystemPreset(good.c_str(), rec, nullptr));
    WriteText(p, damaged[0]);
    EXPECT_FALSE(readSystemPreset(Path(name).c_str(), rec, nullptr)) << name;
    EXPECT_FLOAT_EQ(rec.rate, 0.0f) << name;
    EXPECT_STREQ(rec.name, "") << name;
    EXPECT_FALSE(rec.has[kKeyRate]) << name;
  }

  // Writing into a folder that does not exist creates nothing.
  EXPECT_EQ(writeSourcePreset({src_, sys_}, (dir_ + "/no/such/x.VorPreset").c_str()), -1);
  EXPECT_EQ(writeSourcePreset({nullptr, sys_}, Path("y.VorPreset").c_str()), -1);
}

TEST_F(Presets, ScaleTravelsOnlyWithASystemAndValuesOutOfRangeAreRefused) {
  FillSource();
  std::string p = Path("lone.VorPreset");
  ASSERT_EQ(writeSourcePreset({src_, nullptr}, p.c_str()), 0);
  EXPECT_EQ(ReadText(p).find("[SCALE]"), std::string::npos);
  ASSERT_TRUE(readSourcePreset({dst_, dstSys_}, p.c_str()));
  EXPECT_FLOAT_EQ(dstSys_->GetFloat(kFluidScale, 0), 1.0f);
  EXPECT_NEAR(dst_->GetFloat(kEmitEmissionRate, 0), 2.5f, 5e-4);
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());

  // As an older writer left it without a system, and values no parameter
  // takes: each is refused by name, the rest applies.
  WriteText(p, "[RATE]=3.5\n[LOD]=500\n[OVERRIDES_OBJ_PARAMS]=7\n[GRAVITY]=inf\n[SCALE]=0.000\n");
  ASSERT_TRUE(readSourcePreset({dst_, dstSys_}, p.c_str()));
  EXPECT_FLOAT_EQ(dstSys_->GetFloat(kFluidScale, 0), 1.0f);
  EXPECT_FLOAT_EQ(dst_->GetFloat(kEmitEmissionRate, 0), 3.5f);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceLod, 0), 7.25f, 5e-4);  // as the first preset left them
  EXPECT_EQ(dst_->GetInt(kEmitOverrideObjParams, 0), 1);
  EXPECT_NEAR(dst_->GetFloat(kEmitSourceGravity, 0), 40.0f, 5e-4);
  ASSERT_EQ(vorel::host::MessageBoxLog().size(), 1u);
  const std::string box = vorel::host::MessageBoxLog()[0].text;
  for (const char* named : {"[SCALE]=0 (takes 0.001 to 1000)", "[LOD]=500 (takes 0.001 to 128)",
                            "[OVERRIDES_OBJ_PARAMS]=7 (takes 0 or 1)", "[GRAVITY]=inf"})
    EXPECT_NE(box.find(named), std::string::npos) << named << " in " << box;
}

TEST_F(Presets, AFailedWriteSaysWhyAndLeavesTheOlderFileWhole) {
  FillSource();
  std::string p = Path("x.VorPreset");
  ASSERT_EQ(writeSourcePreset({src_, sys_}, p.c_str()), 0);
  const std::string before = ReadText(p);
  src_->SetValue(kEmitEmissionRate, 0, 9.0f);
  // A disk that fills up after a few bytes.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string why;
  const int r = writeSourcePreset({src_, sys_}, p.c_str(), &why);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(r, -1);
  EXPECT_NE(why.find("could not be written"), std::string::npos) << why;
  EXPECT_EQ(ReadText(p), before);
  EXPECT_EQ(vorel::host::ListFiles(SourcePresetFolder(), "*"), std::vector<std::string>{"x.VorPreset"});
  EXPECT_EQ(writeSourcePreset({src_, sys_}, (dir_ + "/no/such/y.VorPreset").c_str(), &why), -1);
  EXPECT_NE(why.find("cannot be created"), std::string::npos) << why;
}

TEST_F(Presets, BrowserListsShowsAndAppliesPresets) {
  RegisterPresetDialogs(VorelModuleHandle());
  FillSource();
  ASSERT_EQ(writeSourcePreset({src_, sys_}, Path("x.VorPreset").c_str()), 0);
  WriteText(Path("notes.txt"), "not a preset\n");
  EXPECT_EQ(ListSourcePresets(), std::vector<std::string>{"x"});
  // Listed whatever the case of its extension, and loaded as listed; a
  // partial file shows only what it holds.
  WriteText(Path("Lower.vorpreset"), "[NAME]=Lower\n[THICKNESS]=2.25\n");
  WriteText(Path("Part.VorPreset"), "[RATE]=1\n");
  EXPECT_EQ(ListSourcePresets(), (std::vector<std::string>{"Lower", "Part", "x"}));

  HWND b = OpenPresetBrowser(nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(OpenPresetBrowser(nullptr), b);  // one browser at a time
  HWND list = GetDlgItem(b, kPresetBrowserList);
  EXPECT_EQ(ListView_GetColumnCount(list), 1);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  char buf[64];
  auto show = [&](int item, const char* thickness) {
    ClickPreset(b, item);
    GetDlgItemText(b, kPresetShowThickness, buf, sizeof buf);
    EXPECT_STREQ(buf, thickness) << item;
  };
  show(0, "2.250");
  show(2, "12.500");
  show(1, "");
  GetDlgItemText(b, kPresetShowRate, buf, sizeof buf);
  EXPECT_STREQ(buf, "1.000");
  show(2, "12.500");
  GetDlgItemText(b, kPresetShowScale, buf, sizeof buf);
  EXPECT_STREQ(buf, "1.500");
  GetDlgItemText(b, kPresetBrowserName, buf, sizeof buf);
  EXPECT_STREQ(buf, "x");
  SendMessage(b, WM_COMMAND, kPresetBrowserClose, 0);
  EXPECT_EQ(PresetBrowserWindow(), nullptr);
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(Presets, PreviewAllStopsBeforeTheCommandLineLimit) {
  std::vector<std::string> names(2000, std::string(40, 'p'));
  std::string args = PreviewAllArguments(names, "/presets");
  EXPECT_LT(args.size(), kCommandLineLimit);
  EXPECT_GT(args.size(), kCommandLineLimit / 2);
  EXPECT_EQ(PreviewAllArguments({"a", "b"}, "/f"), "/f/a.avi /f/b.avi ");
}

}  // namespace

// Applying a preset through the browser, as a user does, on a system's own
// emitter: the system gets the material its library holds, and a library
// that is missing, damaged or without the material leaves it as it was.
class PresetMaterials : public FluidSystemTest {
 protected:
  void SetUp() override {
    FluidSystemTest::SetUp();
    vorel::host::SetHostDirectory(APP_PLUGCFG_DIR, "");  // the install root's, as the host has it
    RegisterPresetDialogs(VorelModuleHandle());
    vorel::host::MakeDirectories(SourcePresetFolder());
  }
  void TearDown() override {
    if (HWND b = PresetBrowserWindow()) SendMessage(b, WM_COMMAND, kPresetBrowserClose, 0);
    FluidSystemTest::TearDown();
  }
  static std::string Path(const std::string& name) { return SourcePresetFolder() + "/" + name; }
  void Library(const std::string& file, const std::vector<std::string>& names) {
    MtlBaseLib lib;
    for (const std::string& n : names) {
      Mtl* m = new Mtl();
      m->SetName(n);
      lib.Add(m);
    }
    ASSERT_EQ(ip()->SaveMaterialLib(Path(file).c_str(), &lib), 1);
  }
  // Opens the browser on the emitter (it lists the presets as they are
  // then), clicks the preset, presses SELECT and closes the browser.
  void Apply(ReferenceTarget* emitter, const std::string& name) {
    HWND b = OpenPresetBrowser(emitter);
    ASSERT_NE(b, nullptr);
    HWND list = GetDlgItem(b, kPresetBrowserList);
    const std::vector<std::string> names = ListSourcePresets();
    const int item = int(std::find(names.begin(), names.end(), name) - names.begin());
    ASSERT_LT(item, ListView_GetItemCount(list)) << name;
    ClickPreset(b, item);
    SendMessage(b, WM_COMMAND, kPresetBrowserSelect, 0);
    SendMessage(b, WM_COMMAND, kPresetBrowserClose, 0);
  }
};

TEST_F(PresetMaterials, ApplyingAPresetGivesItsSystemTheLibrarysMaterialAndABadLibraryChangesNothing) {
  TetraProcObj* s = MakeSystem("Vorel_001");
  ASSERT_TRUE(s->engine.CreateSource());
  ReferenceTarget* emitter = s->engine.sourceNodes[0]->GetObjectRef()->FindBaseObject();
  IParamBlock2* source = emitter->GetParamBlock(0);
  WriteText(Path("Syrup.VorPreset"), "[NAME]=Syrup\n[RATE]=2.5\n[SCALE]=2\n");
  Library("Syrup.mat", {"Water", "Syrup"});
  Apply(emitter, "Syrup");
  ASSERT_NE(s->node->GetMtl(), nullptr);
  EXPECT_EQ(s->node->GetMtl()->GetName(), "Syrup");
  EXPECT_FLOAT_EQ(source->GetFloat(kEmitEmissionRate, 0), 2.5f);
  EXPECT_FLOAT_EQ(s->engine.FrameScale(), 40.0f);  // the system follows the preset's scale
  EXPECT_TRUE(vorel::host::MessageBoxLog().empty());
  Mtl* given = s->node->GetMtl();

  struct Case {
    const char* preset;
    const char* says;
  } cases[] = {
      {"Plain", "No material library "},   // the usual preset: no library beside it
      {"Damaged", "is truncated or corrupt"},
      {"Lacking", "\"Lacking.mat\" holds no material named \"Lacking\""},
  };
  Library("Damaged.mat", {"Damaged"});
  std::string cut = ReadText(Path("Damaged.mat"));
  WriteText(Path("Damaged.mat"), cut.substr(0, cut.size() - 3));
  Library("Lacking.mat", {"Syrup"});
  float rate = 3.0f;
  for (const Case& c : cases) {
    WriteText(Path(std::string(c.preset) + ".VorPreset"), "[RATE]=" + std::to_string(rate) + "\n");
    vorel::host::ClearMessageBoxLog();
    vorel::host::ClearPromptLog();
    Apply(emitter, c.preset);
    EXPECT_EQ(s->node->GetMtl(), given) << c.preset;
    EXPECT_FLOAT_EQ(source->GetFloat(kEmitEmissionRate, 0), rate) << c.preset;  // the preset applies
    std::string said;
    for (const auto& r : vorel::host::MessageBoxLog()) said += r.text;
    for (const auto& r : vorel::host::PromptLog()) said += r.text;
    EXPECT_NE(said.find(c.says), std::string::npos) << c.preset << ": " << said;
    EXPECT_NE(said.find("applied without its material"), std::string::npos) << c.preset;
    rate += 1.0f;
  }
  // A preset that does not apply brings no material.
  WriteText(Path("Broken.VorPreset"), std::string("[RATE]=\0", 8));
  Library("Broken.mat", {"Broken"});
  Apply(emitter, "Broken");
  EXPECT_EQ(s->node->GetMtl(), given);
}
