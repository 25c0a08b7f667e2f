// The plug-in ini file: defaults, keys, values, the temp folder and the
// process-wide surface defaults.
#include <gtest/gtest.h>
#include <unistd.h>

#include "fluid_core/plugin_ini.h"
#include "solver_test_util.h"

namespace {
struct Ini {
  PluginDefaults d;
  std::string temp;
};

Ini ReadText(const std::string& name, const std::string& text) {
  std::string dir = solver_test::ScratchDir("ini_" + name);
  std::string path = dir + "/Vorel.ini";
  solver_test::WriteAll(path, std::vector<unsigned char>(text.begin(), text.end()));
  Ini r;
  PluginIniFile::Read(path, "/sys/temp/", r.d, r.temp);
  return r;
}
}  // namespace

TEST(PluginIni, EmptyOrMissingFileGivesTheDefaults) {
  ProcessSurfaceDefaults = SurfaceDefaults();
  Ini r = ReadText("empty", "");
  PluginDefaults d;
  EXPECT_EQ(r.temp, "/sys/temp/");
  EXPECT_EQ(r.d.lod, 6.0f);
  EXPECT_EQ(r.d.thickness, 5.0f);
  EXPECT_EQ(r.d.gravity, 20.1f);
  EXPECT_EQ(r.d.surfaceLod, 8.0f);
  EXPECT_EQ(r.d.dropSize, 4.0f);
  EXPECT_EQ(r.d.meltingThreshold, 4.0f);
  EXPECT_EQ(r.d.shrinkWrap, 0.66f);
  EXPECT_EQ(r.d.enableViewportUpdate, 1);
  EXPECT_EQ(r.d.sourceRadius, 0.3f);
  EXPECT_EQ(r.d.sourceRate, 8.0f);
  EXPECT_EQ(r.d.particleLook, 1);
  EXPECT_EQ(r.d.sourceDropSize, 0.2f);
  EXPECT_EQ(r.d.ageToCollapse, 0.75f);
  EXPECT_EQ(r.d.minNeighbours, 10);
  EXPECT_EQ(r.d.lifeInFrames, 9999);
  EXPECT_EQ(r.d.objectFriction, 1.0f);
  EXPECT_EQ(r.d.objectBounce, 50.0f);
  EXPECT_EQ(r.d.objectCollisionGap, 0.01f);
  EXPECT_EQ(r.d.objectCoandaEffect, 0.33f);
  EXPECT_EQ(r.d.objectCollide, 1);
  EXPECT_EQ(r.d.objectHasWetmap, 1);
  EXPECT_EQ(r.d.wetmapSize, 256);
  EXPECT_EQ(r.d.dryingTime, 1.0f);
  EXPECT_EQ(r.d.showToolbar, 1);
  EXPECT_EQ(r.d.toolbarPosition, 2);
  EXPECT_EQ(r.d.useScenePath, 1);
  EXPECT_EQ(r.d.hideSource + r.d.hideSourceTrajectory + r.d.showMeshSurface + r.d.disableSource +
                r.d.sizeDependsOnSolitude + r.d.renderType + r.d.facingOrientation + r.d.showClipBox +
                r.d.endActions,
            0);
  PluginDefaults missing;
  std::string temp;
  PluginIniFile::Read("/no/such/folder/Vorel.ini", "/t/", missing, temp);
  EXPECT_EQ(missing.lod, 6.0f);
  EXPECT_EQ(temp, "/t/");
}

TEST(PluginIni, KeysAreExactAndLaterLinesWin) {
  Ini r = ReadText("keys",
                   "[drop_Size]=0.5\n[Hide_source's_trajectory]=1\n[Hide_source]=0\n"
                   "[Random_Emission]=1\n[Disable_Source]=1\n[LOD]=abc\n[Thickness]=7\n[Thickness]=9\n"
                   "[age_%_to_Collapse]=0.5\n[lod]=3\n[Min#_Neighbours]=4\r\n"
                   "[particle_LOOK: DROPS/DOTS/TICKS]=2\n");
  EXPECT_EQ(r.d.sourceDropSize, 0.5f);
  EXPECT_EQ(r.d.dropSize, ProcessSurfaceDefaults.dropSize);
  EXPECT_EQ(r.d.hideSourceTrajectory, 1);
  EXPECT_EQ(r.d.hideSource, 0);
  EXPECT_EQ(r.d.randomEmission, 1);
  EXPECT_EQ(r.d.disableSource, 1);
  EXPECT_EQ(r.d.lod, 6.0f);
  EXPECT_EQ(r.d.thickness, 9.0f);
  EXPECT_EQ(r.d.ageToCollapse, 0.5f);
  EXPECT_EQ(r.d.minNeighbours, 4);
  EXPECT_EQ(r.d.particleLook, 2);
}

TEST(PluginIni, TempDirNeedsAnExistingFolderAndTakesCrlfFiles) {
  std::string dir = solver_test::ScratchDir("ini_tempdir_target");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  Ini r = ReadText("tempdir", "[TempDir]=" + dir + "\r\n");
  EXPECT_EQ(r.temp, dir);
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(cwd, after);  // the working directory is left alone
  Ini m = ReadText("tempdir_missing", "[TempDir]=" + dir + "/not_there\n");
  EXPECT_EQ(m.temp, "/sys/temp/");
  Ini l = ReadText("tempdir_long", "[TempDir]=" + std::string(400, 'x') + "\n");
  EXPECT_EQ(l.temp, "/sys/temp/");
}

TEST(PluginIni, SurfaceDefaultsCarryToTheNextRead) {
  ProcessSurfaceDefaults = SurfaceDefaults();
  Ini a = ReadText("surface_a", "[Surface_LOD]=3\n[Melting_Threshold]=2.5\n");
  EXPECT_EQ(a.d.surfaceLod, 3.0f);
  Ini b = ReadText("surface_b", "[Gravity]=9\n");
  EXPECT_EQ(b.d.surfaceLod, 3.0f);
  EXPECT_EQ(b.d.meltingThreshold, 2.5f);
  EXPECT_EQ(b.d.dropSize, 4.0f);
  EXPECT_EQ(ProcessSurfaceDefaults.surfaceLod, 3.0f);
  ProcessSurfaceDefaults = SurfaceDefaults();
}

// A file cut inside its last line ("[Gravity]=20.1" cut to "[Gravity]=2")
// must not give a different value; an over-long line is ignored whole, its
// tail never read as a line of its own.
TEST(PluginIni, CutOrOverlongLinesAreIgnored) {
  Ini r = ReadText("cut", "[Thickness]=7\n[Gravity]=2");
  EXPECT_EQ(r.d.thickness, 7.0f);
  EXPECT_EQ(r.d.gravity, PluginDefaults().gravity);
  Ini t = ReadText("cut_tempdir", "[TempDir]=" + solver_test::ScratchDir("ini_cut_target"));
  EXPECT_EQ(t.temp, "/sys/temp/");
  Ini l = ReadText("overlong", "[LOD]=" + std::string(600, '1') + "[Thickness]=3\n[Gravity]=5\n");
  EXPECT_EQ(l.d.lod, 6.0f);
  EXPECT_EQ(l.d.thickness, 5.0f);
  EXPECT_EQ(l.d.gravity, 5.0f);
}
