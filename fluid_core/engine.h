// FluidEngine: the simulation state of one fluid system, embedded in the
// fluid system object. It owns the solver, keeps the source tables, the
// per-frame tables of the cache and the solver's clock, and turns the scene
// (sources, colliders, space warps) into solved, cached and meshed frames.
#pragma once
#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fluid_core/cache_folders.h"
#include "fluid_core/engine_links.h"
#include "fluid_core/param_ids.h"
#include "fluid_core/plugin_ini.h"
#include "fluid_core/solver.h"
#include "fluid_core/stamp_text.h"
#include "host/sdk/max.h"
#include "mesher/polygonizer.h"

struct WetMap;  // one per registered object (wet maps)
enum class PackedCacheStatus;  // packed_cache.h

// Process-wide: set at the end of every engine reset; emitters and rollouts
// test it before they use an engine.
extern uint8_t EngineReadyFlag;
// Process-wide: ends a long run. Set by the progress dialog's STOP button
// and by the frame solve on Escape or a failed step; cleared when a run or a
// frame's simulation starts.
extern uint8_t SolveStopFlag;
// Process-wide: raised by whatever changes what emitters must show; the
// next emitter update refetches its particles and lowers it.
extern uint8_t SourcesNeedRefresh;

// Class ids of the scene objects the engine creates or looks for.
inline Class_ID SourceClassID() { return Class_ID(0x2BC6692F, 0x4CB67E0B); }

// Names of the system's own nodes; scans skip every node whose name starts
// with the first five characters of these ("Vorel", case-sensitive).
constexpr const char* kSourceNodeName = "VorelParticle";
constexpr const char* kFloorNodeName = "floorVorel";
constexpr const char* kTextureGizmoNodeName = "VorelTextureGizmo";
constexpr const char* kClipBoxNodeName = "Vorelclip";
// True when the name starts with "Vorel" (case-sensitive).
bool IsSystemNodeName(const char* name);

// Scene walks from `node` (scene time): visible nodes whose object converts
// to a triangle mesh and whose names do not start with "Vorel"; nodes whose
// base object is an emitter. Both append in depth-first child order.
void CollectMeshNodes(INode* node, std::vector<INode*>& list);
void CollectSourceNodes(INode* node, std::vector<INode*>& list);
// The force fields of the space warps bound to the node; the caller owns
// them (DeleteThis each). The list is emptied first.
void CollectForceFields(INode* node, std::vector<ForceField*>& list);

// Per face: (centroid of the second vertex set - centroid of the first) .
// unit normal x 4800 / ticks per frame, in units a second, as the particles'
// speeds are (the second set lies one frame later); 0 for faces without both
// sets. Per vertex, `vertexVelocity` likewise (empty without both sets).
void ComputeFaceNormalSpeeds(ColliderMesh& mesh, int ticksPerFrame);

// Seconds the engine spent in each kind of work (and sub-steps run) since
// construction; the engine benchmark reads them.
struct EngineTimings {
  double solver = 0.0;       // FluidSolver::Step
  double colliders = 0.0;    // collider meshes rebuilt from the scene
  double forces = 0.0;       // space-warp forces
  double sources = 0.0;      // frame set-up of the sources
  double frameWrites = 0.0;  // particle frame files written
  double frameReads = 0.0;   // particle frame files read for meshing
  double mesher = 0.0;       // surface builds
  double meshWrites = 0.0;   // surface mesh files written
  double displayReads = 0.0; // particle frames taken for the display
  long substeps = 0;
};

// What the frame driver built a collider from: when all of it is the same
// at the next sub-step (node, transforms at both times read, settings, face
// box margin, scale, the mesh as evaluated), a build would give the same
// bits, and the collider already built is kept.
struct ColliderSource {
  const ColliderMesh* collider = nullptr;  // the list entry it describes
  INode* node = nullptr;
  Point3 rows[4], nextRows[4];  // object transform at the tick, at tick + T (with motion)
  Point3 startRows[4];          // and where the sub-step began (with motion)
  bool withMotion = false;
  int ticksPerFrame = 0;
  float invScale = 0.0f, margin = 0.0f;
  ObjectParams params;
  std::vector<Point3> verts;   // object space
  std::vector<int32_t> faces;  // three corners a face
};

class FluidEngine {
 public:
  static constexpr int kMaxFrames = 10000;
  static constexpr int kMaxSources = 2048;
  // How long a prompt that a surface was not built or not shown (out of
  // memory) stays up.
  static constexpr unsigned kFailurePromptMs = 15000;

  FluidSolver* solver = nullptr;
  std::string cacheRoot;
  std::string systemName;
  INode* systemNode = nullptr;
  std::vector<INode*> sourceNodes;          // kMaxSources entries
  std::vector<FluidSource*> sourceObjects;  // kMaxSources entries
  FluidEngineOwner* owner = nullptr;
  std::vector<uint8_t> frameMeshed;           // kMaxFrames flags
  std::vector<int32_t> frameParticleCount;    // kMaxFrames counts
  std::vector<Box3> frameClipBox;             // kMaxFrames boxes; Reset keeps them
  // Wet maps: records owned here, filled and freed by the wet-map code.
  std::vector<WetMap*> wetMaps;
  std::vector<std::string> savedWetMapNames;
  // Per-vertex source lists of the last built surface (source indices).
  VertexInfluenceLists vertexSources;
  // Point vector lent to the frame reader of the display feed.
  std::vector<Vec3f> feedPoints;
  double surfaceCacheBytes = 0.0;
  double particleCacheBytes = 0.0;
  int32_t sourceCount = 0;
  float gravity = 40.0f;
  int32_t startFrame = 0;
  bool isHoldingTime = false;
  int32_t timeOffset = 0;
  float minSourceLod = 1e33f;
  std::string tempDir;
  PluginDefaults defaults;
  int sizeOnSolitude = 0;       // copy of the last new source's setting
  Point3 newSourcePlacement;    // (0, 15, 32): 0.75 and 1.6 x the default frame scale
  float newSourceAngle = 2.3561945f;
  int32_t lastEvalTime = -1;
  int32_t lastEvalFrame = -1;
  int32_t lastSolved = -1;
  int32_t lastMeshed = -1;
  // The last cache file that could not be written (or read back to mesh)
  // and why, "<path>: <reason>"; empty until then. A run clears it first.
  std::string cacheFailure;
  // Why the last frame solve ended before its frame was done, where neither
  // a cache file nor the user stopped it: the memory ran out, or emission
  // asked for more particles than the solver holds; or why the last surface
  // build failed: the memory ran out. Empty otherwise; a run and each frame
  // solve clear it first.
  std::string solveFailure;
  // The position scale (FrameScale) the frames 0..lastSolved were written
  // at; 0 while no frame was. A cache holds frames of one scale only.
  float cacheScale = 0.0f;
  // Simulated time the solver has reached, seconds. Kept in double so that
  // sub-steps far below a float's resolution at large times still advance.
  double solverClock = 0.0;
  EngineTimings timings;

  FluidEngine();
  ~FluidEngine();
  FluidEngine(const FluidEngine&) = delete;
  FluidEngine& operator=(const FluidEngine&) = delete;

  // This system's position scale between solver and host units, and its
  // reciprocal: its frame cache's (FrameCache::Scale), never another system's.
  float FrameScale() const;
  float InvFrameScale() const;

  // Sets the names in both the engine and the solver's frame cache.
  void SetCacheRoot(const std::string& root);
  void SetSystemName(const std::string& name);

  // Clean start; keeps the frames on disk when frames 0 and 1 carry one
  // stamp, else writes an empty frame 0 with the new stamp.
  void Reset();

  // --- time mapping ---
  // Cache frame of host time t (0 for times before the start frame).
  int FrameFromTime(TimeValue t) const;
  // Seconds of cache frame n: ticks x (startFrame + n) / 4800.
  double FrameTime(int n) const;
  void UpdateToTime(TimeValue t);
  // Makes stored frame n the solver state; false (nothing changed) when n is
  // outside 0..lastSolved or no solve can go on from the frame
  // (FrameCache::FrameReadsWhole: it does not read, or a spacing or mass in
  // it is not above 0).
  bool RestartFromFrame(int n);

  // --- frame solve ---
  // Solves cache frame n at the host's current time; aborts are reported
  // through SolveStopFlag and the owner's flags. A frame file that cannot be
  // written stops the run the same way (cacheFailure says which and why) and
  // leaves lastSolved at the last frame on disk. Out of memory, or emission
  // beyond what the solver holds, ends the run the same way, before the
  // frame is taken as solved, with solveFailure saying why. False only when
  // the call was refused (n outside the tables, or a solve already running).
  //
  // A frame is not solved (solveFailure says why, the stop flag is raised)
  // when the cache folder is in use by a solve of another process, or when
  // the Scale changed since the stored frames were solved (below). The
  // folder stays locked until the run ends (ReleaseCacheFolder); a frame
  // solved outside a run locks it for that frame only.
  bool SolveFrame(int n);
  // True when frames 0..lastSolved hold particles solved at another scale
  // than the present one: going on from them would mix two scales in one
  // cache (and put the particles in memory, in the old solver units, among
  // colliders of the new ones).
  bool ScaleChangedSinceSolve() const;
  // "the Scale changed from <old> to <new> after frames were solved at <old>".
  std::string ScaleChangeText() const;
  // Gives the cache folder's lock back at the end of a run.
  void ReleaseCacheFolder() { cacheLock_.Release(); }
  void BuildColliderMeshes();
  void UpdateColliderMeshes(TimeValue tick);
  // forces: one per particle, solver units.
  void ComputeSpaceWarpForces(std::vector<Vec3f>& forces, TimeValue t);
  // Whether any source node has a space warp bound that gives a force
  // field; without one every particle's space-warp force is zero.
  bool HasSpaceWarps();

  // --- surfaces ---
  // Meshes stored frame n into surface/m%05d.bin; false (with cacheFailure
  // set) when the frame cannot be read or the mesh file cannot be written,
  // and false (with solveFailure set and a prompt) when the memory runs
  // out, the mesh file left as it was.
  bool BuildSurfaceFrame(int n);
  // The sources' particles as one surface; empty (and a prompt) when the
  // memory runs out.
  void BuildRenderMesh(TimeValue t, Mesh& mesh);

  // --- helper nodes and scans ---
  // False (with a message) when every source slot is taken.
  bool CreateSource();
  void CreateFloor();
  void CreateTextureGizmo();
  void CreateClipBox();
  void UpdateClipBox();
  void UpdateTextureGizmo();
  void AddDefaultObjectParams();

  // --- display feed, frames and statistics ---
  void GetSourceEmitterPoints(int i, std::vector<Point3>& points, Point3& direction);
  // Source i's particles at cache frame n as FluidSolver::LoadSourceFrame
  // gives them: the outputs, of any size on entry, replaced; empty and
  // false when the frame is not stored or cannot be read. Without
  // `withAccels`, accels is left empty.
  bool GetSourceParticlesAtFrame(int i, int n, std::vector<Vec3f>& positions,
                                 std::vector<Vec3f>& velocities, std::vector<int32_t>& ages,
                                 std::vector<Vec3f>& accels, std::vector<int32_t>& neighbourCounts,
                                 int flag, bool renderFlag, bool withAccels = true);
  bool GetSourceParticlesAtTime(int i, TimeValue t, std::vector<Vec3f>& positions,
                                std::vector<Vec3f>& velocities, std::vector<int32_t>& ages,
                                std::vector<Vec3f>& accels, std::vector<int32_t>& neighbourCounts,
                                bool renderFlag, bool withAccels = true);
  // Writes cache frame n from the solver; the file length, 0 on failure
  // (cacheFailure set).
  int SaveFrame(int n);
  // The statistics texts, written into the cache rollout after every solve,
  // load and unpack alike.
  void ShowStatistics(HWND dialog);
  // The five statistics texts (controls 1087, 1088, 1053, 1054, 1055).
  // Cache frames count from the start frame: "Frames solved" is lastSolved,
  // never lastSolved less the start frame.
  std::vector<std::string> StatisticsTexts();
  // Sums the surface files of frames 0..lastSolved on disk.
  void ComputeSurfaceCacheSize();
  void EstimateParticleCacheSize();

  // --- object snapshots and mapping ---
  // Fills `mesh` with the node's world-space triangles at the current time in
  // solver units (texture vertices in vertexOffset); `triObject` receives
  // the converted object (owned by the caller when it differs from the
  // evaluated one; see ReleaseTriObject). False when the node has no mesh.
  bool BuildObjectMesh(INode* node, ColliderMesh& mesh, TriObject*& triObject);
  void ApplySourceMapping();

  // --- solve log ---
  std::string LogPath() const;
  void LogStart();
  void LogEnd(long long elapsedMs, int lastFrameOffset);
  // A line saying why a run stopped.
  void LogFailure(const std::string& text);
  // Writes a line into the log (and onto the prompt line when `prompt` is
  // set) the first time it comes in a solve: from LogStart on, or since the
  // engine was made. `key`, when given, stands for the text in telling what
  // was said already (Noted). False when it was said already.
  bool LogNote(const std::string& text, bool prompt = false, const std::string& key = std::string());
  bool Noted(const std::string& key) const { return notes_.count(key) != 0; }

  // --- wet maps (filled by the wet-map code) ---
  void AddWetMap(INode* node);
  void ResizeWetMaps();
  void RebuildWetMapList();
  void RestoreWetMaps();
  void FreeWetMaps();
  // A node about to be deleted leaves the wet-map list, so that no repaint
  // or resize reaches it (the source slots follow their references).
  void ForgetNode(INode* node);
  // Dries, paints (from the surface mesh of frame - 1) and saves every
  // map for cache frame `frame`.
  void RepaintWetMaps(int frame);
  // Takes the per-object attribute off every mesh node of the scene.
  void RemoveObjectParamsFromScene();

  // --- cache folders and the packed cache ---
  // Moves frames and meshes from oldFolder (the system folder until now)
  // into the folders of the current root, made when missing: the old files
  // are deleted only once every copy is whole, and the same folder is left
  // alone. False (with a prompt saying which file failed and why) when any
  // file could not be copied: the old folder then holds the whole cache and
  // the caller points the engine back at it.
  bool SetCacheDirectory(const std::string& oldFolder);
  // Reset, then the tables from the frames on disk, then RefreshAfterLoad.
  void ReloadCache();
  // Position scale from "Scale", the stamp of the cache's frame 0 (else 1)
  // for what is written from now on, the last solved frame back into the
  // solver (none when nothing is solved; a frame the reader refuses goes back
  // as ResumeFromCache does), frame 0 meshed again unless its surface file
  // carries that stamp, statistics.
  void RefreshAfterLoad();
  // Walks lastSolved back to the last frame that the frame reader takes
  // whole (LastFrameOnDisk) and restarts there; -1 (with lastMeshed -1 and
  // no particle in the solver) when none is left. A frame passed over that
  // is on disk but refused is said on the prompt line, naming it and the
  // frame the solve goes on from.
  void ResumeFromCache();
  int CountMeshedFrames() const;
  // The whole cache in one file; false when it cannot be written.
  bool PackCache(const std::string& path);
  // Replaces the cache folder with a packed file's frames and meshes. A file
  // that is not whole and consistent, or that cannot be unpacked whole
  // (a full disk: kCannotWrite), or one of whose frames or surfaces the
  // readers of a load refuse (kDamagedEntry), is refused (false; `status`
  // says which, `failure` says why: the status text, "<file>: <reason>" or
  // the first damaged entry) and leaves the cache and the engine as they were.
  bool UnpackCache(const std::string& path, PackedCacheStatus* status = nullptr,
                   std::string* failure = nullptr);
  // Loads an unpacked cache (another system folder's frames and meshes) the
  // same way: copied aside whole, then in the system folder's place, so the
  // system holds exactly the loaded frames. A file that cannot be copied
  // whole is refused (false, `failure` = "<file>: <reason>") and leaves the
  // cache and the engine as they were.
  bool LoadCacheFolder(const std::string& folder, std::string* failure = nullptr);

  // The parameter block of source slot i when the slot is usable, else null.
  IParamBlock2* SourceBlock(int i) const;
  bool SlotUsable(int i) const;

 private:
  void ValidateCache();
  // Both loads' last step: the engine reset, the cache made aside put in the
  // system folder's place; false (`failure` set, the old cache reloaded)
  // when the swap fails.
  bool ResetAndSwapIn(const std::string& aside, std::string* failure);
  void NoteCacheFailure(const std::string& path, int err);
  void ShowStatisticsIfOpen();
  void BuildColliders(TimeValue tick, bool withMotion);
  // The tick the sub-step whose colliders UpdateColliderMeshes builds began
  // at (kNoStepStart outside the sub-step loop: no sweep is known).
  static constexpr TimeValue kNoStepStart = TIME_NegInfinity;
  TimeValue colliderStepStart_ = kNoStepStart;
  // The node of each of the solver's colliders, in list order.
  std::vector<INode*> colliderNodes_;
 public:
  // Once per solve and pair: a collider around the source's position whose
  // walls, each holding the particles off by the collision reach at the
  // source's spacing, leave no room for one particle between them (emission
  // then places nothing). Says which, the room, and the LOD or Scale that
  // gives room; false when nothing was said.
  bool NoteContainerTooSmall(int source, const Vec3f& at);
 private:
  // SolveFrame's work, out-of-memory failures let through.
  bool SolveFrameSteps(int n);
  // Ends a run that cannot go on: the solver goes back to the last frame on
  // disk (lastSolved), the stop flag is raised. Answers true (SolveFrame's
  // answer: the call was taken).
  bool EndSolve();
  // Whether what the shaped sources (index, jet speed in solver units a
  // second) emit over `seconds` of frame n, with the particles held, fits
  // the solver's particleCap; false with solveFailure naming the first
  // source that passes it and its count against the cap.
  bool ShapesFitTheSolver(const std::vector<std::pair<int, double>>& shapeSpeeds, int n, double seconds);
  // BuildRenderMesh's work; out-of-memory failures let through.
  void BuildRenderMeshOf(TimeValue t, Mesh& mesh);
  // Bytes of each frame's surface file as counted in surfaceCacheBytes, so
  // that a frame meshed again replaces its count instead of adding to it.
  std::vector<int64_t> meshBytesCounted_;
  // The bytes of the frame file SaveFrame wrote last, kept for the surface
  // build of that frame (which would otherwise read the file straight back),
  // with what identifies the file as written: device, inode, length and
  // change time. WrittenFrameOnDisk says whether frame n's file is still it.
  // The buffer is the one every frame file is built in, and keeps its room
  // and its bytes (which frame -1 names as no frame's).
  struct WrittenFrame {
    int frame = -1;
    std::string path;
    std::vector<unsigned char> bytes;
    FrameFileIdentity identity;
    // A read of the bytes has taken them: the next need not search their
    // arrays for non-finite values again.
    bool accepted = false;
  };
  WrittenFrame written_;
  // Room for what BuildSurfaceFrame takes of each particle and for the
  // bytes of the surface file it writes, kept from frame to frame.
  struct SurfaceInputs {
    std::vector<Vec3f> positions;
    std::vector<int32_t> sourceIndexes, ages;
    std::vector<unsigned char> fileBytes;
  };
  SurfaceInputs surfaceInputs_;
  // The space-warp forces of a sub-step, one per particle slot.
  std::vector<Vec3f> stepForces_;
  // What each collider of the solver's list was built from, in list order:
  // a collider whose inputs are all as they were is kept, not rebuilt.
  std::vector<ColliderSource> colliderSources_;
  bool WrittenFrameOnDisk(int n) const;
  // Forgets the frame, keeping the buffer's room for the next write.
  void ForgetWrittenFrame();
  CacheFolderLock cacheLock_;  // held while this engine solves into its folder
  bool solving_ = false;    // inside SolveFrame: no second one starts
  bool resetting_ = false;  // inside Reset: evaluations solve nothing
  std::set<std::string> notes_;  // LogNote texts of this solve
};

// Adds the seconds of its own lifetime to `sink`.
class ScopedSeconds {
 public:
  explicit ScopedSeconds(double& sink);
  ~ScopedSeconds();
  ScopedSeconds(const ScopedSeconds&) = delete;
  ScopedSeconds& operator=(const ScopedSeconds&) = delete;

 private:
  double& sink_;
  std::chrono::steady_clock::time_point start_;
};

// Parameter reads that accept the value stored as int or float, with a
// fallback when the block or the id is missing.
float ReadFloatParam(IParamBlock2* pb, int id, TimeValue t, float fallback);
int ReadIntParam(IParamBlock2* pb, int id, TimeValue t, int fallback);
// Releases a converted object when it is not the evaluated one.
void ReleaseTriObject(Object* evaluated, TriObject* converted);
