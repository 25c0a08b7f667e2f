// The plug-in ini file ("plugcfg/Vorel.ini"): hand-edited defaults for new
// systems, sources and per-object settings, and the cache root.
#pragma once
#include <string>

// Process-wide defaults of a new system's surface parameters; every ini read
// writes the values it ends with back into them.
struct SurfaceDefaults {
  float surfaceLod = 8.0f;
  float dropSize = 4.0f;
  float meltingThreshold = 4.0f;
  float shrinkWrap = 0.66f;
};
extern SurfaceDefaults ProcessSurfaceDefaults;

struct PluginDefaults {
  float lod = 6.0f;
  float thickness = 5.0f;
  float gravity = 20.1f;
  float surfaceLod = 8.0f;
  float dropSize = 4.0f;
  float meltingThreshold = 4.0f;
  float shrinkWrap = 0.66f;
  int showMeshSurface = 0;
  int enableViewportUpdate = 1;
  float sourceRadius = 0.3f;
  float sourceRate = 8.0f;
  int randomEmission = 1;
  int disableSource = 0;
  int particleLook = 1;
  float sourceDropSize = 0.2f;
  float minDropSize = 0.0f;
  float ageToCollapse = 0.75f;
  int sizeDependsOnSolitude = 0;
  int minNeighbours = 10;
  int renderType = 0;
  int facingOrientation = 0;
  int lifeInFrames = 9999;
  int showClipBox = 0;
  int endActions = 0;
  float objectFriction = 1.0f;
  float objectBounce = 50.0f;
  float objectCollisionGap = 0.01f;
  float objectCoandaEffect = 0.33f;
  int objectCollide = 1;
  int objectHasWetmap = 1;
  int wetmapSize = 256;
  float dryingTime = 1.0f;
  int showToolbar = 1;
  int toolbarPosition = 2;
  int useScenePath = 1;
  int hideSourceTrajectory = 0;
  int hideSource = 0;
};

class PluginIniFile {
 public:
  // "<install folder>/plugcfg/Vorel.ini".
  static std::string PathFor(const std::string& installFolder);
  // Sets every default (the surface ones from the process-wide values),
  // then applies the file's lines; a missing file leaves the defaults.
  // `tempDir` starts as systemTemp and takes "[TempDir]=" only when that
  // names an existing folder. Writes the surface defaults back last.
  static void Read(const std::string& path, const std::string& systemTemp, PluginDefaults& out,
                   std::string& tempDir);
};

// The engine's read at construction: the host's install folder and temp path.
void readPluginIni(PluginDefaults& defaults, std::string& tempDir);
