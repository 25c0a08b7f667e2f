#include "fluid_core/plugin_ini.h"

#include <cstdio>
#include <cstring>

#include "fluid_core/host_link.h"
#include "host/core/files.h"

SurfaceDefaults ProcessSurfaceDefaults;

namespace {
enum class Form { Float, Int };
struct Key {
  const char* text;
  Form form;
  float PluginDefaults::*f;
  int PluginDefaults::*i;
};
#define FKEY(text, field) Key{text, Form::Float, &PluginDefaults::field, nullptr}
#define IKEY(text, field) Key{text, Form::Int, nullptr, &PluginDefaults::field}
// In file order; a key that is a prefix of a later one must come first.
const Key kKeys[] = {
    FKEY("[LOD]=", lod),
    FKEY("[Thickness]=", thickness),
    FKEY("[Gravity]=", gravity),
    FKEY("[Surface_LOD]=", surfaceLod),
    FKEY("[Drop_Size]=", dropSize),
    FKEY("[Melting_Threshold]=", meltingThreshold),
    FKEY("[Shrink_Wrap]=", shrinkWrap),
    IKEY("[Show_Mesh_Surface]=", showMeshSurface),
    IKEY("[enable_Viewport_update]=", enableViewportUpdate),
    FKEY("[Source_Radius]=", sourceRadius),
    FKEY("[Source_Rate]=", sourceRate),
    IKEY("[Random_Emission]=", randomEmission),
    IKEY("[Disable_Source]=", disableSource),
    IKEY("[particle_LOOK: DROPS/DOTS/TICKS]=", particleLook),
    FKEY("[drop_Size]=", sourceDropSize),
    FKEY("[min_Drop_Size]=", minDropSize),
    FKEY("[age_%_to_Collapse]=", ageToCollapse),
    IKEY("[Size_Depends_On_Solitude]=", sizeDependsOnSolitude),
    IKEY("[Min#_Neighbours]=", minNeighbours),
    IKEY("[Render_Type: TETRAHEDRON/FACING/NOTHING]=", renderType),
    IKEY("[Facing_Orientation: CAMERA/SPEED/SURFACE]=", facingOrientation),
    IKEY("[life_in_frames]=", lifeInFrames),
    IKEY("[show_clip_box]=", showClipBox),
    IKEY("[end_actions: HIDE/KEEP_LAST/LOOP]=", endActions),
    FKEY("[Object_friction]=", objectFriction),
    FKEY("[Object_bounce]=", objectBounce),
    FKEY("[Object_collision_Gap]=", objectCollisionGap),
    FKEY("[Object_Coanda_Effect]=", objectCoandaEffect),
    IKEY("[Object_collide]=", objectCollide),
    IKEY("[Object_has_wetmap]=", objectHasWetmap),
    IKEY("[wetmap_size]=", wetmapSize),
    FKEY("[drying_time]=", dryingTime),
    IKEY("[show_Vorel_toolbar]=", showToolbar),
    IKEY("[toolbar_position]=", toolbarPosition),
    IKEY("[Use_always_scene's_directory_path]=", useScenePath),
    IKEY("[Hide_source's_trajectory]=", hideSourceTrajectory),
    IKEY("[Hide_source]=", hideSource),
};
#undef FKEY
#undef IKEY


bool StartsWith(const char* line, const char* key) { return std::strncmp(line, key, std::strlen(key)) == 0; }
}  // namespace

std::string PluginIniFile::PathFor(const std::string& installFolder) {
  return installFolder + "/plugcfg/Vorel.ini";
}

void PluginIniFile::Read(const std::string& path, const std::string& systemTemp,
                         PluginDefaults& out, std::string& tempDir) {
  tempDir = systemTemp;
  out = PluginDefaults();
  out.surfaceLod = ProcessSurfaceDefaults.surfaceLod;
  out.dropSize = ProcessSurfaceDefaults.dropSize;
  out.meltingThreshold = ProcessSurfaceDefaults.meltingThreshold;
  out.shrinkWrap = ProcessSurfaceDefaults.shrinkWrap;

  if (std::FILE* f = std::fopen(path.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
      // A line without its line end was cut (a write that stopped short) or
      // is longer than any the plug-in writes: "[Gravity]=20.1" cut to
      // "[Gravity]=2" would read as another value, so such a line is ignored.
      if (!std::strchr(line, '\n')) {
        const bool cut = std::feof(f) != 0;
        int c;
        while (!cut && (c = std::fgetc(f)) != EOF && c != '\n') {
        }
        std::fprintf(stderr, "%s: %s line ignored: %.60s\n", path.c_str(),
                     cut ? "unterminated last" : "over-long", line);
        continue;
      }
      if (StartsWith(line, "[TempDir]=")) {
        // The rest of the line, without the line end of either convention;
        // tested for existence without touching the working directory.
        std::string dir(line + std::strlen("[TempDir]="));
        while (!dir.empty() && (dir.back() == '\n' || dir.back() == '\r')) dir.pop_back();
        if (!dir.empty() && vorel::host::DirectoryExists(dir)) tempDir = dir;
        continue;
      }
      for (const Key& k : kKeys) {
        if (!StartsWith(line, k.text)) continue;
        // The key is compared as text and only the value is scanned, so a
        // key holding '%' cannot act as a conversion.
        const char* value = line + std::strlen(k.text);
        if (k.form == Form::Float) {
          float v;
          if (std::sscanf(value, "%f", &v) == 1) out.*(k.f) = v;
        } else {
          int v;
          if (std::sscanf(value, "%d", &v) == 1) out.*(k.i) = v;
        }
        break;
      }
    }
    std::fclose(f);
  }
  ProcessSurfaceDefaults.surfaceLod = out.surfaceLod;
  ProcessSurfaceDefaults.dropSize = out.dropSize;
  ProcessSurfaceDefaults.meltingThreshold = out.meltingThreshold;
}

void readPluginIni(PluginDefaults& defaults, std::string& tempDir) {
  PluginIniFile::Read(PluginIniFile::PathFor(solver_host::InstallFolder()), solver_host::TempPath(),
                      defaults, tempDir);
}
