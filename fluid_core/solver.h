// The CPU particle solver of a fluid system: particle slots, source records,
// collider meshes, the neighbour grid, and the time step that advances them.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "fluid_core/frame_cache.h"
#include "fluid_core/vec3.h"
#include "host/core/large_buffer.h"
#include "host/core/thread_shares.h"
#include "mesher/mesh_record.h"

class Hileras;  // shape outlines of an emitter (fill geometry)

// Loops over fewer items than this run on the calling thread: waking the
// team costs more than the work (the result is the same either way).
constexpr int kParallelMin = 1024;
// Particles a thread takes at a time in the closing pass of a step.
constexpr int kFinishChunk = 64;
class FluidSolver;
struct DisplayThinning;
struct ColliderMesh;

// One particle slot. Its pair list is kept by the solver (flat arrays the
// pair passes stream through); the slot keeps only the list's length, which
// the frame files store.
struct FluidParticle {
  // What every sub-step pass reads or writes comes first, together (64
  // bytes), so that a pass touches as few cache lines of a slot as it can.
  Vec3f pos;
  Vec3f vel;
  Vec3f accel;
  float density = 0.0f;
  float pressureTerm = 0.0f;
  float spacing = 0.0f;
  float mass = 0.0f;
  float clock = 0.0f;
  float dtLimit = 0.0f;  // 1e6 = no limit
  uint8_t dead = 0;
  uint8_t isNew = 0;
  uint8_t active = 1;
  uint8_t collided = 0;  // 1: over `face`; 2: beyond one of its rims or seams
  int32_t sourceIndex = 0;
  Vec3f cohesion;
  Vec3f pairAccel;
  Vec3f adhesion;
  ColliderMesh* collider = nullptr;  // not owned; valid while `collided`
  int32_t face = 0;
  Vec3f texCoord;
  int32_t neighbourCount = 0;  // length of the pair list
  int32_t age = 0;
  int32_t fileNeighbourCount = 0;
  uint32_t tag = 0;
};
static_assert(sizeof(FluidParticle) == 144, "the particle record stays small: hot loops stride over it");

// The collider faces that push one particle, as its integration takes them:
// the direction of each (unit, toward the face), how fast its push grows
// with depth (acceleration per unit length) and the face's own speed along
// that direction (a moving collider's); the stiffest few.
struct FacePushes {
  static constexpr int kMost = 4;
  Vec3f toward[kMost];
  float stiffness[kMost] = {};
  float faceSpeed[kMost] = {};
  int count = 0;
  // Keeps the stiffest kMost.
  void Add(const Vec3f& dir, float k, float speed);
};

// The solver's record of one emitter.
struct SolverSource {
  Vec3f pos;
  Vec3f prevPos;
  Vec3f emitterVel;
  Vec3f dir;
  float pressure = 0.0f;  // 0 = off; emission speed sqrt(2 pressure / rho0)
  float speedVariation = 0.0f;
  FluidSolver* solver = nullptr;
  const Hileras* region = nullptr;  // not owned
  int32_t layerPointCounts[2] = {0, 0};
  std::vector<Vec3f> layerPoints[2];  // cross-section points of the two layers
  int32_t randomEmission = 1;
  uint8_t pointsStale = 1;
  uint8_t emitFlag = 1;
  uint8_t activeParticles = 1;
  int32_t overridesObjectParams = 0;
  float phase = 0.0f;
  std::vector<Vec3f> emissionPoints;
  int32_t sourceIndex = 0;
  int32_t lifeFrames = 2000;
  float spacing = 0.16666667f;
  float mass = 0.0f;
  float thickness = 0.0f;
  float friction = 0.0f;
  float adherence = 0.0f;
  float bounce = 0.0f;
  float collisionGap = 0.0f;
  float gravity = 0.0f;
  float tm[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};  // three axis rows, translation
  uint32_t tag = 0;
};

// A scene object the particles collide with, rebuilt by the frame driver.
struct ColliderMesh {
  MeshRecord mesh;
  std::vector<Vec3f> vertexOffset;  // not used by collisions
  std::vector<float> faceArea2;     // twice the face area
  std::vector<Vec3f> faceNormal;    // unit normals
  std::vector<float> faceBox;       // six floats a face: min xyz, max xyz
  std::vector<float> faceExtraA;
  std::vector<float> faceExtraB;
  std::vector<float> faceNormalSpeed;  // face speed along its normal this sub-step
  // Each vertex's velocity this sub-step (units a second); empty for a
  // collider that stands still. A rigid motion's velocity is affine in
  // space, so the vertices' give it anywhere on a face's plane.
  std::vector<Vec3f> vertexVelocity;
  // Where the vertices stood when the sub-step began, for a collider that
  // moved since then (else empty): a face that sweeps over a particle
  // crosses it as a particle that steps through the face does.
  std::vector<Vec3f> stepStartVertices;
  float bounds[6] = {1e6f, 1e6f, 1e6f, -1e6f, -1e6f, -1e6f};
  int32_t reservedA = 0;
  int32_t reservedB = 0;
  int32_t collide = 1;
  float friction = 1.0f;
  float bounce = 5.0f;
  float collisionGap = 0.1f;
  float adherence = 0.65f;
  int32_t reservedC = 0;
  uint8_t particleKiller = 0;

  ColliderMesh();
  int FaceCount() const { return int(mesh.faces.size()); }
  // Frees the per-face and per-vertex arrays and zeroes their sizes.
  void FreeArrays();
  // Fills normals, doubled areas and boxes (grown by `margin` on every side,
  // the collision reach) of every face, and the bounds from the boxes; a
  // degenerate face gets a zero normal and can never be hit.
  void ComputeFaceData(float margin);

  // Uniform grid over the face boxes, built from `faceBox` before each
  // collision pass (kept while the boxes stay the same): a particle visits
  // only the faces listed for its cell, in ascending order, which are all
  // the faces whose box can hold it.
  struct FaceIndex {
    float lo[3] = {0, 0, 0};
    float invCell = 0.0f;
    int dims[3] = {0, 0, 0};
    std::vector<int> cellStart;  // dims product + 1 entries
    std::vector<int> faces;
    std::vector<float> boxes;  // the face boxes it was built from
    bool used = false;  // false: scan every face
    // Per face its unit normal and first vertex (zeros for a face the
    // distance query refuses), side by side: most faces whose box holds a
    // particle lie beyond its reach from their plane, and this says so
    // without the query's walk through the face's vertex list.
    struct Plane {
      Vec3f n, v0;
    };
    std::vector<Plane> planes;
    // Per face, bit k: its edge from corner k to corner k + 1 is a rim (no
    // other face goes on from it in about its plane); bit 3 + k: the face
    // that goes on from it bends away behind the face's front (the side its
    // normal points to), bit 6 + k: behind its back. Seen from that side the
    // two faces form a ridge, over which neither face lies.
    std::vector<uint16_t> rims;
    // Per face and edge (3 f + k), at a ridge: the direction from the edge
    // into the face that goes on from it, in that face's plane.
    std::vector<Vec3f> across;
    // How far p lies from face f's plane, computed as the distance query
    // computes it (which finds no hit where this exceeds the reach).
    float PlaneDistance(int f, const Vec3f& p) const {
      const Plane& q = planes[size_t(f)];
      return std::fabs(q.n.x * (p.x - q.v0.x) + q.n.y * (p.y - q.v0.y) + q.n.z * (p.z - q.v0.z));
    }
  };
  FaceIndex faceIndex;
  void BuildFaceIndex();
  // Faces whose box may hold p: [begin, end) into faceIndex.faces, or all
  // faces when the index is not used (begin = end = nullptr then).
  bool FaceCandidates(const Vec3f& p, const int*& begin, const int*& end) const;
};

// One occupied cell of the neighbour grid.
struct GridCell {
  int32_t i = 0, j = 0, k = 0;
  std::vector<int32_t> members;  // ascending slot order
  uint8_t visited[27] = {};
};

// Sparse grid of cubic cells, rebuilt every step. Cells are kept sorted by
// (k, j, i) so a walk in storage order is the walk in ascending map order.
class CellGrid {
 public:
  Vec3f origin;
  float cellSize = 1.0f;
  float invCellSize = 1.0f;
  FluidSolver* solver = nullptr;

  CellGrid(const Vec3f& origin, float cellSize, FluidSolver* solver);
  void SetCellSize(float size);
  GridCell* Find(int i, int j, int k);
  GridCell* GetOrCreate(int i, int j, int k);
  void Clear();
  void Reset();
  int CellCount() const { return cellCount_; }
  GridCell& CellAt(int c) { return cells_[c]; }
  // Cell index of a position on each axis, truncated toward zero and kept
  // within +/-1e6 so far particles cannot overflow the conversion.
  void CellIndex(const Vec3f& p, int& i, int& j, int& k) const;
  // Rebuilds the cells from the live slots 0..count-1 of `particles`; with
  // `clockT0`, also sets the clock of every slot that is not new (the same
  // pass over the records).
  void Build(std::vector<FluidParticle>& particles, int count, const float* clockT0 = nullptr);
  // Index of cell (i, j, k), or -1.
  int FindIndex(int i, int j, int k) const;
  // For every cell the index of each of its 27 neighbours (-1 when absent),
  // offset index ((di + 1) * 3 + (dj + 1)) * 3 + (dk + 1); rows beyond
  // CellCount() are left over from larger grids.
  const vorel::host::LargeVector<int>& NeighbourTable();
  // NeighbourTable in two parts, for a caller with a thread team of its
  // own: true when the table must be filled, then FillNeighbourTable (a
  // worksharing loop: every thread of the team calls it) fills it. With
  // `candidates`, it also adds every cell's CandidatePairs to it (once the
  // team is past the loop's end).
  bool PrepareNeighbourTable();
  void FillNeighbourTable(int64_t* candidates = nullptr);
  // Cell c's members times the members of its 27 neighbourhood cells (its
  // own included): the pairs a pair build may list for them. Reads the
  // table's row of c.
  int64_t CandidatePairs(int c) const;
  const vorel::host::LargeVector<int>& FilledNeighbourTable() const { return neighbourTable_; }
  // Cell index of each slot built from (-1 for dead slots).
  const vorel::host::LargeVector<int>& SlotCells() const { return slotCell_; }

 private:
  vorel::host::LargeVector<GridCell> cells_;
  vorel::host::LargeVector<uint64_t> keys_;
  vorel::host::LargeVector<int> slotCell_;
  vorel::host::LargeVector<int> neighbourTable_;
  // Scratch kept between builds: fresh large buffers cost page faults.
  struct SortEntry {
    uint64_t key;  // cell number within the box of the occupied cells
    int32_t slot;
  };
  vorel::host::LargeVector<SortEntry> sortScratch_[2];
  std::vector<uint32_t> histScratch_;
  vorel::host::LargeVector<uint64_t> keyScratch_;
  vorel::host::LargeVector<int> startScratch_;
  int cellCount_ = 0;
  bool tableValid_ = false;
};

// Compact copy of what the pair passes read from a neighbour, so the hot
// loops touch 32 (density) or 48 (forces) bytes per neighbour instead of a
// whole particle record.
struct PairInput {
  Vec3f pos;
  float spacing;
  Vec3f vel;
  float mass;
};
inline PairInput InputOf(const FluidParticle& p) { return PairInput{p.pos, p.spacing, p.vel, p.mass}; }
inline uint8_t PairFlagsOf(const FluidParticle& p) {
  return uint8_t((p.dead ? 1 : 0) | (p.isNew ? 2 : 0) | (p.active ? 0 : 4));
}
struct alignas(16) ForceInput {
  PairInput in;
  float density;
  float pressureTerm;
  uint8_t dead;
  uint8_t active;
};

// Where a particle's pair list lies: `count` slots from `offset` in block
// `block` of the solver's pair storage.
struct PairSpan {
  int32_t block = 0;
  int32_t count = 0;
  int64_t offset = 0;
};

class FluidSolver {
 public:
  static constexpr int kGrowStep = 16384;
  static constexpr uint32_t kFrameTag = 0x5E1379D3u;

  std::vector<FluidParticle> particles;
  std::vector<FluidParticle> displayParticles;
  std::vector<SolverSource*> sources;
  std::vector<ColliderMesh*> colliders;
  ColliderMesh workMesh;
  FrameCache frameCache;
  Vec3f texOrigin, texAxisU, texAxisV, texAxisW;
  float bounds[6] = {1e6f, 1e6f, 1e6f, -1e6f, -1e6f, -1e6f};
  Vec3f domainMin{-1e9f, -1e9f, -1e9f};
  Vec3f domainMax{1e9f, 1e9f, 1e9f};
  Vec3f parkingPos;
  double particlesPerVolume = 0.0;
  CellGrid* grid = nullptr;
  int32_t count = 0;
  int32_t stamp = 0;
  uint32_t frameTag = kFrameTag;
  int32_t neighbourReserve = 25;
  int32_t killedCount = 0;
  // The most particles the solver holds: what one frame file can store and
  // what half the machine's memory holds at kSolveBytesPerParticle each
  // (records, pair lists, grid, forces, the frame being written; the other
  // half is left to the host, the scene and the mesher).
  // Emission that would pass it is refused whole before anything is
  // allocated for it (nothing is emitted), and `refusedEmission` then holds
  // the most particles one source asked for in a step; it stays until its
  // reader clears it.
  static constexpr int64_t kSolveBytesPerParticle = 1024;
  static int64_t DefaultParticleCap();
  int64_t particleCap = DefaultParticleCap();
  int64_t refusedEmission = 0;
  int64_t badStepLimits = 0;  // NaN or negative step limits met since set-up
  float h = 0.0f;
  float cellSize = 0.0f;
  float restDensity = 1000.0f;
  float invRestDensity = 0.001f;
  float dt = 0.0f;
  float frameLength = 0.0f;
  uint8_t zUp = 1;
  uint8_t skipFrictionAndBounce = 0;
  // Wall seconds each phase of Step has taken since construction (the
  // benchmarks print them): emission, the grid, pairs and densities,
  // pressures and forces, and the pass that collides, applies friction and
  // integrates.
  struct PhaseSeconds {
    double emit = 0, grid = 0, pairs = 0, forces = 0, collide = 0;
  };
  PhaseSeconds phaseSeconds;
  // Kernel constants derived from particlesPerVolume with h.
  float hSquared = 0.0f;
  float invH = 0.0f;
  float kernelNorm = 0.0f;    // 1 / (4 pi h^3)
  float particleMass = 0.0f;  // restDensity / n
  float adherenceScale = 0.0f;  // (n * 0.001)^(1/3) * 0.3

  FluidSolver(double particlesPerVolume, float restDensity, float frameLength);
  ~FluidSolver();
  FluidSolver(const FluidSolver&) = delete;
  FluidSolver& operator=(const FluidSolver&) = delete;

  // --- state ---
  void Setup(double particlesPerVolume, float restDensity, float frameLength, bool zUp);
  void SetParticleDensity(double particlesPerVolume);
  // The frame's particles become the solver's; false, with the particles in
  // use left as they were, for a frame no solve can go on from
  // (FrameCache::FrameReadsWhole).
  bool ReloadFrame(int frame, int storedCount);
  void AddSource(const Vec3f& position);
  void DeleteSources();
  void GrowParticles();
  void AgeParticles();
  void ComputeBounds();
  // Expired (older than their source's life) and parked records are marked dead.
  void MarkExpiredParticles(std::vector<FluidParticle>& list, int n) const;
  // The rule MarkExpiredParticles applies to one record.
  bool Expired(int32_t sourceIndex, int32_t age, const Vec3f& pos) const;
  int LiveCount() const;

  // --- frames ---
  // `written` as FrameCache::WriteFrame's.
  int WriteFrame(int frame, std::vector<unsigned char>* written = nullptr);
  int WriteEmptyFrame(int frame);

  // --- display playback (frame_playback.cpp) ---
  // One source's particles (all sources for -1) at a cache frame, thinned to
  // displayPercent (1..100), for display: positions and velocities in host
  // units, ages (99999 for a parked particle), pairAccel and the stored
  // neighbour counts. `flag` is not read. False (outputs empty) when the
  // frame cannot be read. `held`, for a whole frame, lends the bytes of its
  // file that the caller holds and knows to be the file's (the engine's
  // frame just written): they are taken instead of reading the file.
  // Without `withAuxVectors` auxVectors is left empty (a display that does
  // not show pairAccel need not take its megabytes).
  struct HeldFrame {
    int frame = -1;
    const std::vector<unsigned char>* bytes = nullptr;
    FrameFileIdentity identity;  // of the file the bytes are
    bool accepted = false;       // as FrameCache::ViewFrameBytes takes it
  };
  bool LoadSourceFrame(int sourceIndex, float frame, int expectedCount, int displayPercent,
                       int smoothFrames, float smoothDistance, int flag,
                       std::vector<Vec3f>& positions, std::vector<Vec3f>& velocities,
                       std::vector<int32_t>& ages, std::vector<Vec3f>& auxVectors,
                       std::vector<int32_t>& neighbourCounts, const HeldFrame* held = nullptr,
                       bool withAuxVectors = true);
  // The positions of `frame` (solver units) averaged over frames frame-w ..
  // frame+w-1 (no lower than 1), each taken only where it lies within
  // `threshold` of the centre; `out` holds one entry per particle of the
  // centre frame. False when the centre frame cannot be read.
  bool SmoothPositions(int frame, std::vector<Vec3f>& out, int smoothFrames, float threshold) const;

  // --- time step ---
  bool Step(float t0, float t1, const std::vector<Vec3f>& forces, float gravity,
            bool skipFrictionAndBounce, bool firstSubStep);
  // The largest sub-step the particles allow: min(frameLength / 6, the
  // smallest step limit of slots 0..count-1). A limit that is NaN or below
  // 0 is a fault of the pass that set it: it bounds nothing and is counted
  // in `badStepLimits`, so it can never pass unseen.
  float MaxStableStep();
  // Code that writes particle records between steps, other than through
  // the solver's own calls, calls this before the next step or
  // MaxStableStep: both then read the records afresh rather than what the
  // last step's closing pass kept of them.
  void RecordsChanged() { keptCount_ = -1; }

  // --- neighbour grid and pairs ---
  void RebuildNeighbourGrid(float t0);
  // False when Escape stopped the walk (the lists are then incomplete).
  bool BuildNeighbourPairs();
  void ComputePairsSerial();
  void ComputeDensityAndForces();

  // --- pair lists ---
  // A particle's list: its neighbours' slots in the order the pairs were
  // found (nullptr when empty).
  int PairCount(int i) const;
  const int32_t* PairList(int i) const;
  std::vector<int32_t> Neighbours(int i) const;
  // The viscosity term and kernel gradient of entry k of i's list as the
  // force pass sees them (from the particles as they stand); false, with
  // both zero, when the pair acts not: out of range, a dead or unknown
  // partner, the particle itself.
  bool PairTerms(int i, int k, float& mu, Vec3f& grad) const;
  void ClearPairList(int i);
  void AppendPair(int i, int b);
  // Frees what the sub-steps keep between them (the neighbour grid, every
  // list, the passes' compact copies), and the freed large blocks kept for
  // reuse, after a step that ran out of memory part-way; the next step
  // builds them afresh.
  void ReleaseStepStorage();

  // --- density, pressure, viscosity, cohesion ---
  float SelfDensity(const FluidParticle& p) const { return SelfDensity(p.mass, p.spacing); }
  static float SelfDensity(float mass, float spacing) {
    return mass * 8.0f / (spacing * spacing * spacing * 12.566371f);
  }
  // Adds the pair to both lists and both densities when in range.
  void PairKernel(int a, int b);
  void ComputePressure();
  void ComputePairForces();
  void ApplyCohesion();

  // --- collisions and integration ---
  void CollideWithObjects();
  // Face indexes built, and whether any collider moved in this sub-step.
  void PrepareColliders();
  static Vec3f AdhesionForce(const Vec3f& v, float radius, float D);
  // How far from a face's plane a particle of this spacing feels the face.
  static float CollisionReach(float spacing);
  // The gap a particle of this spacing keeps from a face for a collision gap
  // as set: raised to 0.66 x spacing (a NaN gap too) and capped at the
  // reach, so the push stays within its contact range for any setting.
  static float ContactGap(float gap, float spacing);
  static void ColliderFaceDistance(const ColliderMesh& mesh, int f, const Vec3f& p,
                                   float maxDistance, float& distance, bool& hit, Vec3f& toPlane);
  void ApplyFriction();
  void Integrate(float t1, const std::vector<Vec3f>& forces, float gravity);
  void KillOutsideDomain();

  // --- texture projection ---
  // The gizmo's axis rows and centre (host units) become the projection
  // box: axes x 10 / S (the gizmo is a 10 x 10 shape), origin = centre / S
  // less half of each axis length on x, y and z.
  void SetTextureGizmoBox(const Vec3f& axisX, const Vec3f& axisY, const Vec3f& axisZ,
                          const Vec3f& centre);

  // --- emission ---
  void PrepareSourceForFrame(SolverSource& source, float thickness, float lod, uint32_t tag,
                             const Vec3f& position, const Vec3f& direction, float pressure,
                             float frameDuration, int sourceIndex, const float* tm,
                             int randomEmission, const Hileras* region, uint8_t emitFlag,
                             int lifeFrames, float speedVariation, uint8_t activeParticles);
  void UpdateSourceSubStep(SolverSource& source, const float* tm, const Vec3f& direction,
                           const Vec3f& position, float subStepLength, float pressure);
  bool EmitSources(float t1, float dt);
  void EmitFromSource(SolverSource& source, float dt, std::vector<int>& newSlots);
  void AddParticles(float lod, uint32_t tag, const std::vector<Vec3f>& points, int n, float time,
                    int sourceIndex, uint8_t active);
  // Number of particles added (0 for a missing file or a flag other than 0).
  int ReadSourceFile(float lod, float time, int frame, int sourceIndex, const std::string& directory);

 private:
  // The positions (solver units, as ReadFramePositions gives them) of the
  // whole frame the display showed last, with its file's identity and the
  // scale they were read at. The smoothing window of the next frame holds
  // that frame: it takes them while the file is still the one read, instead
  // of reading the file again.
  struct KeptPositions {
    int frame = -1;
    std::string path;
    FrameFileIdentity identity;
    float invScale = 0.0f;
    std::vector<Vec3f> positions;
  };
  KeptPositions displayKept_;
  // Room LoadWholeSourceFrame works in, kept between redraws.
  std::vector<Vec3f> displaySpare_;
  // LoadSourceFrame of a whole frame (0 <= frame < kMaxFrames): the outputs,
  // of any size on entry, replaced when it returns true and left as they
  // were when false.
  bool LoadWholeSourceFrame(int sourceIndex, int frame, const DisplayThinning& thin, int smoothFrames,
                            float smoothDistance, std::vector<Vec3f>& positions, std::vector<Vec3f>& velocities,
                            std::vector<int32_t>& ages, std::vector<Vec3f>& auxVectors,
                            std::vector<int32_t>& neighbourCounts, const HeldFrame* held, bool withAuxVectors);
  // Clears every field of a slot that a new particle is placed in (lists
  // keep their capacity), so nothing of an earlier simulation leaks in.
  void PlaceParticle(int slot);
  // Appends a slot; grows both vectors when the last one is taken.
  int TakeSlot();
  void ReserveSlots(int n);
  void FrictionOne(FluidParticle& p) const;
  // `clearance`: how far the particle was from the nearest plane of a face
  // whose box held it, as CollideOne found (0: not known); `pushes`: the
  // face pushes it found, taken implicitly (null: none).
  void IntegrateOne(int i, float t1, const std::vector<Vec3f>& forces, float gravity, float clearance = 0.0f,
                    const FacePushes* pushes = nullptr);
  // A particle that moved from `from` to pos through a collider face: back
  // on its side, mirrored, its velocity along the face turned round. With a
  // `stepTime` (the step's length, s), a face that moved in it counts from
  // where it stood when the step began (`stepStartVertices`), and a particle
  // it swept over ends on the face's side moving along the normal at least
  // as fast as the face moved.
  void KeepOnItsSide(Vec3f& pos, Vec3f& vel, float spacing, const Vec3f& from, float stepTime = 0.0f) const;
  // Parks a live particle outside the domain; true when it did.
  bool KillOne(FluidParticle& p) const;
  // Puts a particle at the parking spot, dead and at rest.
  static void Park(FluidParticle& p, const Vec3f& parking);
  // One particle's collision pass; true when a killer face parked it. Where
  // `clearance` is given it receives how far the particle is from the
  // nearest plane of a face whose box holds it (its integration then tests
  // only a step that long for faces crossed); where `pushes` is given it
  // receives the face pushes that act on it (for IntegrateOne).
  bool CollideOne(int i, const Vec3f& parking, float* clearance = nullptr, FacePushes* pushes = nullptr);
  // A new particle of `source` at pos moving at vel, where a face pushes
  // it: moved to where the push begins, or false (not to be emitted).
  bool StartClearOfFaces(Vec3f& pos, const Vec3f& vel, const SolverSource& source) const;
  // Step's closing pass: forces from the fused density pass's results, then
  // collisions, friction (unless skipped), integration, domain kill and
  // bounds, a chunk of particles at a time, in three parts so that a step
  // can run its chunks in the thread team of its density pass: what the
  // chunks need made first; the chunks (a worksharing loop: every thread of
  // the team calls it, or one thread outside any), which with `clockT0`
  // first set the clocks of the particles that are not new (nothing reads
  // them before) and add what they found to `totals`; and the pass's
  // totals into the solver, which returns the share of the pass's time the
  // forces took.
  struct FinishTotals {
    int killed = 0;
    unsigned flags = 0;  // the OR of the pair flags kept
    int64_t forceNs = 0, allNs = 0, bad = 0;
    float bound = INFINITY;  // smallest step limit
    float lo[3] = {1e6f, 1e6f, 1e6f}, hi[3] = {-1e6f, -1e6f, -1e6f};
    void Merge(const FinishTotals& other);
  };
  // FinishPrepare, outside the team, readies what FinishChunks, run by
  // every thread of the team, shares out.
  void FinishPrepare();
  void FinishChunks(float t1, const std::vector<Vec3f>& forces, float gravity, const float* clockT0,
                    FinishTotals& totals);
  double FinishClose(const FinishTotals& totals);
  // Step's Escape polls after the density pass, each where its phase would
  // begin: 0 when none asked, else which phase did not run (1 pressures,
  // 2 forces, 3 cohesion); EndEarly leaves the records as the phases before
  // it would have and returns false.
  int PollsAfterDensity();
  bool EndEarly(int stopped, const float* clockT0);
  // The forces of slots [begin, end) (ForcePass with cohesion) from the
  // fused density pass's results, stored into the records together with
  // those results (ComputePressure's pressure terms included); the
  // nanoseconds it took.
  int64_t ForceChunk(int begin, int end, double root);
  // The fused density pass's results into the records, as the separate
  // phases leave them; with `pressure` also the pressure terms (for a step
  // that Escape ends before its closing pass).
  void StoreDensities(bool pressure, const float* clockT0 = nullptr);
  void RefreshForceInputs();
  // The density passes as Step runs them: `fused` leaves the sums in the
  // compact arrays (force inputs with pressure terms, `densitySums_`) rather
  // than in the records, which the closing pass then fills: the records are
  // walked twice a sub-step instead of five times.
  bool BuildPairs(bool fused);
  void DensityPass(bool fused);
  // DensityPass in two parts: the copies, then the sums (shared out among
  // the threads of the calling team, called as FinishChunks is; the sums
  // are all in only after the team's next barrier). `kept`: slots
  // [0, kept) of the compact copies still hold their records (the closing
  // pass of the step before made them), so only later slots are copied; -1
  // copies all. Fused only.
  void DensityPrepare(bool fused, int kept);
  void DensityChunks(bool fused);
  // A particle's sums from either density pass into its record or, fused,
  // into its force inputs (with the pressure term) and `densitySums_`.
  void StoreDensity(int i, float density, const Vec3f& cohesion, float dtLimit, bool fused);
  // Pressure term of a live, active particle from its density.
  float PressureTermOf(float density) const {
    double x = (double)(density * invRestDensity);
    double x7 = x * x * x * x * x * x * x;
    float pressure = (float)(100.0 * (x7 - 1.0));
    return pressure / (density * density);
  }
  void CohesionOne(FluidParticle& p, double root) const;
  // The force inputs of particle i from its record.
  void SetForceInput(int i, const FluidParticle& p);
  const SolverSource* SourceOf(const FluidParticle& p) const {
    const int s = p.sourceIndex;
    return (s >= 0 && s < (int)sources.size()) ? sources[size_t(s)] : nullptr;
  }

  // Span slots for every particle slot (a slot not yet seen has none).
  void SyncPairSlots();
  // Room for `more` entries at the end of block b; returns the first.
  int32_t* PairRoom(int b, size_t more);

  // What CollideWithObjects found of the face pushes, for Integrate.
  std::vector<FacePushes> facePushes_;
  vorel::host::LargeVector<PairInput> pairInput_;
  // The density pass's view of a particle: 1 dead, 2 new, 4 inactive.
  vorel::host::LargeVector<uint8_t> pairFlags_;
  // Slots [0, keptCount_) of pairInput_ and pairFlags_ hold their records
  // as the last step's closing pass left them, which also found their
  // smallest step limit `keptBound_` (+inf for none) and `keptBad_` faulty
  // ones; -1 when there is no such pass or a call since may have changed
  // the records. Every sub-step of a frame but the first starts from them,
  // saving a pass over the records and MaxStableStep's own.
  int keptCount_ = -1;
  // Some collider moved in this sub-step (`stepStartVertices`): every step
  // is tested for faces crossed, however short (set by the collision pass).
  bool facesMove_ = false;
  float keptBound_ = 0.0f;
  int64_t keptBad_ = 0;
  // The OR of the kept slots' pair flags, and whether the density pass's
  // flags hold no dead or new slot (DensityPrepare).
  unsigned keptFlags_ = 0;
  bool densityClean_ = false;
  vorel::host::LargeVector<ForceInput> forceInput_;
  // What the fused density passes leave besides the force inputs.
  struct DensitySums {
    Vec3f cohesion;
    float dtLimit;
  };
  vorel::host::LargeVector<DensitySums> densitySums_;
  // The pair walk's cells, the density pass's particles and the closing
  // pass's particles, each thread taking the same share in every step.
  vorel::host::ThreadShares pairShares_, densityShares_, finishShares_;
  // Pair storage: block 0 takes lists grown after the build (new particles
  // on later sub-steps), blocks 1.. are the segments the build's threads
  // fill, one thread each at a time.
  // One cache line each: the threads update their own blocks' fill marks
  // for every particle, and neighbouring blocks on one line would make the
  // threads that own them take turns with it.
  struct alignas(64) PairBlock {
    std::vector<int32_t> data;
    size_t used = 0;
  };
  std::vector<PairBlock> pairBlocks_;
  vorel::host::LargeVector<PairSpan> pairSpans_;
};

// A point's distance to a face of any collider mesh and the foot on the
// face's plane; `hit` when the foot lies within the face.
void FaceDistance(const ColliderMesh& mesh, int f, const Vec3f& p, float maxDistance,
                  float& distance, bool& hit, Vec3f& foot);
bool FirstFaceWithin(const ColliderMesh& mesh, const Vec3f& p, float maxDistance, int& face,
                     Vec3f& foot);
void NearestFace(const ColliderMesh& mesh, const Vec3f& p, int& face, Vec3f& foot);
bool FaceSide(const ColliderMesh& mesh, const Vec3f& p, int f);
// Mirrors p across the face's plane, back to the side it came from.
void ReflectAcrossFace(const ColliderMesh& mesh, Vec3f& p, int f, bool side);
