// CacheDirectory: where a GPU fluid object keeps its cache. Finds the data
// root (ini, registry, temporary folder), composes and creates the cache
// directory, names its frame and surface files, scans it for the last solved
// frame, deletes frames and solver inputs, proposes free cache names, and
// reads and writes solver presets. The only channel between the plug-in and
// the solver program, which writes its frames into the same folder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vorel_gpufe {

// Paths are held to the platform limit: a composed path of more than
// kMaxPathLength characters is never valid, and the names built from such a
// directory come back empty (so every open or create on them fails).
constexpr size_t kPathBufferSize = 260;
constexpr size_t kMaxPathLength = kPathBufferSize - 1;
constexpr const char* kGpuRegistryKey = "SOFTWARE\\Kestrane\\Vorel_GPU";
constexpr const char* kDefaultCacheName = "default";

// The string value `name` of `key` under the current user, read into a path
// buffer. False, with out untouched, when the key or the value is missing,
// the value is not a string or it does not end inside the buffer.
bool ReadRegistryText(const char* key, const char* name, std::string& out);

class CacheDirectory {
 public:
  CacheDirectory();

  // Set by the owner before InitRoots ("<host root>/plugcfg/Vorel_GPU.ini").
  char iniPath[kPathBufferSize];
  char registryKey[kPathBufferSize];
  std::string cacheDir;    // cachesRoot + "/" + cacheName; empty while either is empty
  std::string dataRoot;    // the root InitRoots found
  std::string cachesRoot;  // the folder that holds the caches
  std::string cacheName;   // "default" when set empty through SetCacheName
  std::string presetsDir;  // dataRoot + "/presets"

  // A path is valid when something (file or folder) exists there, it is
  // none of "", "/" and "\", and it fits the path limit.
  static bool IsPathValid(const std::string& path);
  // A name that can only be one folder directly under the caches root: not
  // empty, no "..", no separator, drive colon, wildcard or control
  // character. Any other name would send the solve, and CLEAN's deletions,
  // somewhere else.
  static bool IsUsableName(const std::string& name);
  bool IsCacheDirValid() const { return IsPathValid(cacheDir); }
  bool IsCachesRootValid() const { return IsPathValid(cachesRoot); }

  // Each setter recomposes cacheDir and answers IsCacheDirValid.
  bool ComposeCacheDir();
  bool SetCachesRoot(const std::string& root);
  bool SetCacheName(const std::string& name);  // empty becomes "default"
  bool SetRootAndName(const std::string& root, const std::string& name);  // empty stays empty

  // Root discovery steps; each answers IsCachesRootValid afterwards.
  // ReadIni: the last "CachesDir=" line of iniPath (trailing CR/LF dropped).
  bool ReadIni();
  // ReadRegistry: value "dataPath" of registryKey under the current user. A
  // value that does not fit the path buffer is ignored.
  bool ReadRegistry();
  // UseTempRoot: <temp>/Vorel, created; false at once without a temp folder.
  bool UseTempRoot();
  // Ini, then registry, then the temporary folder name the data root; then
  // dataRoot, presetsDir and cachesRoot (<root>/caches, created) follow.
  // False only when all three fail (dataRoot and presetsDir unchanged) or
  // the caches folder cannot be made.
  bool InitRoots();
  // Selects root/name; a cache that does not exist under root lands under
  // the freshly discovered caches root. Creates the cache's folder tree.
  // False when no valid cache directory results.
  bool SelectCache(const std::string& root, const std::string& name);
  // Creates cacheDir and, when that worked, its objects, sources and surface
  // folders. Failures show in the validity tests that follow.
  void MakeCacheTree();

  // cacheDir + "/%05d.Vorel" and cacheDir + "/surface/m%05d.bin"; empty when
  // the result would not fit the path limit.
  std::string FramePath(int frame) const;
  std::string MeshPath(int frame) const;

  // Stamp, particle count and particles per unit volume of a frame's
  // header; false (outputs untouched) when the file is missing, unreadable
  // or shorter than its header.
  bool ReadFrameHeader(int frame, int32_t* stamp, int32_t* count, float* density) const;
  // The highest frame whose file is complete (named exactly "%05d.Vorel",
  // whole header of this solver's frames, non-negative count and every
  // particle record present); -1 when there is none or cacheDir is not
  // valid. A file still being written or cut short does not count. Five
  // non-digits count as frame 0.
  int lastSolvedFrame() const;
  // Whether the file of frame is complete, as lastSolvedFrame counts it.
  bool IsFrameSolved(int frame) const;
  // The lowest frame whose header is another system's (see
  // IsSolverFrameTag); -1 when there is none.
  int FirstForeignFrame() const;
  // Particle count of the last solved frame; 0 when there is none.
  int LastFrameParticleCount() const;

  // Deletes frame files numbered n and above, the surface meshes numbered n
  // and above (they belong to the frames being replaced), then always the
  // solver input files (sources, colliders, kill box). PRT files stay.
  // Returns the number of frame files deleted.
  int DeleteFramesFrom(int n);
  // Counts of files actually deleted; 0, touching nothing, while cacheDir
  // is not valid (an empty one would name folders at the file-system root).
  int DeleteSourceFiles();    // sources/*.fll, sources/*.srp
  int DeleteColliderFiles();  // objects/*.geom
  int DeleteKillBoxFiles();   // *.killparts
  int DeletePrtFiles();       // PRTs/*.PRT
  int DeleteSurfaceFiles();   // surface/*.bin
  // Creates cacheDir/PRTs and empties it; the count deleted, 0 when
  // cacheDir is not valid.
  int PreparePrtDir();

  // A cache name no folder under cachesRoot uses yet: the current name
  // without a trailing "_NNN", then "_" and one above the highest number in
  // use (000 when none).
  void NextCacheName(std::string* name) const;

  // Appends the names of presetsDir's "*.Vorel_preset" files (without the
  // ending) to names, in listing order.
  void ListPresets(std::vector<std::string>* names) const;
  // Reads up to five floats in order; values beyond the end of a short file
  // keep their values. False when the file cannot be opened.
  bool ReadPreset(const std::string& name, float* v1, float* v2, float* v3, float* v4, float* v5) const;
  // Writes the five floats (Source LOD, gravity, viscosity, bounce,
  // friction), whole or not at all; false when the file cannot be written.
  bool WritePreset(const std::string& name, float v1, float v2, float v3, float v4, float v5) const;
};

}  // namespace vorel_gpufe
