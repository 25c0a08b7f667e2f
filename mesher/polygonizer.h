// SurfacePolygonizer: blob field, lattice, seeds, continuation marching
// cubes, vertex clustering and shrink wrap.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/core/geom.h"
#include "host/core/large_buffer.h"
#include "mesher/mesh_record.h"
#include "mesher/mesher_util.h"
#include "mesher/vertex_influence.h"

class SurfaceBuilder;

struct FieldTerm {
  int32_t particle;
  float term;
};

// One lattice point, and the cube whose highest corner it is; a record
// fills exactly two cache lines.
struct LatticeRecord {
  Point3 position;
  // 1 + the first crossing (in walk order) that has this point as its
  // outside end; 0 while none. Kept as an atomic minimum, so the crossings
  // may be visited in any order.
  uint32_t firstCrossing;
  // Once the parallel flood has processed the cube: its neighbours across
  // the crossed faces that are not corners (see Across); null before.
  LatticeRecord** across;
  LatticeRecord* corners[8];
  int32_t i, j, k;
  float value;
  int32_t vertexIndex;
  uint32_t insideMask;
  int32_t spare2;
  uint8_t inside;
  uint8_t queued;
  uint8_t reached;  // the parallel flood has found this cube
  uint8_t evaluated;  // 1: value computed (maybe ahead of creation); 2: queued for it
  int32_t created;    // 1 + creation rank; 0 until created
};

// Records come zero-filled out of chunks and are freed in one sweep. The
// chunks are mapped zeroed, in large pages (see BigArray), so handing a
// record out writes nothing.
class RecordPool {
 public:
  static constexpr size_t kChunkRecords = 16384;
  RecordPool();
  ~RecordPool();
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;
  LatticeRecord* Allocate();
  // n <= kChunkRecords zeroed records in a row, from a chunk of their own
  // when the current one has not room for them all.
  LatticeRecord* AllocateRun(size_t n);
  void NewChunk();
  void FreeAll();
  size_t ChunkCount() const { return chunks_.size(); }
  size_t Allocated() const { return allocated_; }

 private:
  std::vector<std::unique_ptr<mesher_util::BigArray<LatticeRecord>>> chunks_;
  size_t current_ = 0;  // chunk in use
  size_t used_ = 0;     // records handed out from it
  size_t allocated_ = 0;
};

// The sparse lattice of one run. Lookups go through one hash over (i, j, k);
// the slice/bucket order in which the lattice is walked is kept by the
// creation rank (see SurfacePolygonizer::EmitTriangles).
class LatticeHash {
 public:
  static constexpr uint32_t kBucketCount = 101;
  explicit LatticeHash(int32_t sliceCount);
  // Bucket within a slice: (max*7759 + min) in wrapping u32, mod 101.
  static uint32_t Bucket(int32_t i, int32_t j);
  // The created record at (i, j, k), or null.
  LatticeRecord* Find(int32_t i, int32_t j, int32_t k) const;
  // Creates the record at (i, j, k), giving it the next creation rank; a
  // record reserved earlier keeps the value computed ahead, and one created
  // earlier is returned as it is.
  LatticeRecord* Create(int32_t i, int32_t j, int32_t k);
  // The record at (i, j, k), allocated but not created when new; `fresh`
  // tells whether it was just allocated.
  LatticeRecord* Reserve(int32_t i, int32_t j, int32_t k, bool* fresh);
  // Gives a reserved record its creation rank (no-op once created).
  void MarkCreated(LatticeRecord* r) {
    if (!r->created) r->created = ++createdCount_;
  }
  // Reserve for several threads at once, between PrepareShared and the end
  // of the parallel pass (no other member may run meanwhile). Null when
  // the table is too full: the caller grows it with PrepareShared and asks
  // again. `cache` is the calling thread's last block (null at first).
  struct Cache {
    const void* slot = nullptr;
  };
  LatticeRecord* ReserveShared(int32_t i, int32_t j, int32_t k, Cache* cache);
  // Makes room for at least as many blocks again as are stored, and a
  // record and block store for each of `threads` threads.
  void PrepareShared(int threads);
  int32_t SliceCount() const { return sliceCount_; }
  int32_t CreatedCount() const { return createdCount_; }
  RecordPool& pool() { return pool_; }

 private:
  LatticeRecord* Lookup(int32_t i, int32_t j, int32_t k) const;

  int32_t sliceCount_;
  int32_t createdCount_ = 0;
  RecordPool pool_;
  // Records are kept in blocks of 4x4x4 lattice points, found through an
  // open-addressed table of block coordinates: the lattice walk asks for
  // neighbouring points, which then share a block (one probe, one cache
  // line or two) instead of scattering over a table of every point.
  static constexpr int kBlockShift = 2;
  static constexpr int32_t kBlockMask = (1 << kBlockShift) - 1;
  static constexpr size_t kBlockPoints = size_t(1) << (3 * kBlockShift);
  struct Block {
    LatticeRecord* records[kBlockPoints];
  };
  struct Slot {
    int32_t bi, bj, bk;
    Block* block;
  };
  static size_t Local(int32_t i, int32_t j, int32_t k) {
    return size_t(i & kBlockMask) | (size_t(j & kBlockMask) << kBlockShift) |
           (size_t(k & kBlockMask) << (2 * kBlockShift));
  }
  Block* FindBlock(int32_t bi, int32_t bj, int32_t bk) const;
  Block* FindOrAddBlock(int32_t bi, int32_t bj, int32_t bk);
  Block* FindOrAddBlockShared(int32_t bi, int32_t bj, int32_t bk, Cache* cache);
  void Rehash(size_t slots);
  Block* NewBlock();
  // Each thread of a parallel pass takes records and blocks from a run of
  // its own, so that the pages they lie in are first written (and zeroed
  // by the system) by many threads at once; runs are handed out under the
  // lock.
  struct alignas(128) ThreadStore {
    LatticeRecord* record = nullptr;
    size_t records = 0;
    Block* block = nullptr;
    size_t blocks = 0;
  };
  std::vector<ThreadStore> stores_;
  std::mutex storeLock_;
  mesher_util::KeptVector<Slot> table_;
  std::vector<std::unique_ptr<mesher_util::BigArray<Block>>> blockChunks_;
  size_t blockChunkUsed_ = 0;
  size_t stored_ = 0;  // blocks
  // The block of the last lookup: walks ask for the same one again and again.
  mutable const Slot* last_ = nullptr;
};

// Phase timings of the last build, in seconds (the benchmark prints them);
// `neighbours` is the pair sweep, part of `seeds`; `flood` the parallel
// flood, part of `propagate` (the rest is the walk's order, on one
// thread); `emitCrossings` (rows, walk order, crossing points, cluster
// numbers) and `emitMerge` (cluster lists and merges) are parts of `emit`
// (the rest is vertices and faces).
struct MesherTimings {
  double grid = 0, neighbours = 0, seeds = 0, crossings = 0, propagate = 0, flood = 0, emit = 0,
         emitCrossings = 0, emitMerge = 0, shrink = 0;
};

class SurfacePolygonizer {
 public:
  SurfacePolygonizer(SurfaceBuilder* builder, MeshRecord* mesh);
  ~SurfacePolygonizer();

  void Polygonize(float detail, float melting, float radiusFactor);
  void SeedFromParticles();
  bool SeedCrossings();
  void Propagate();
  void EmitTriangles();
  void BuildAndShrinkWrap(float detail, float melting, float radiusFactor, float shrink,
                          VertexInfluenceLists* lists, const std::vector<Point3>* velocities = nullptr);
  // Frees the lattice and empties everything that points into it (queue,
  // seeds, level lists, the flood's neighbour sets): after a build, whole
  // or failed. The lists keep their room for the next build unless
  // `freeScratch` (a build that ran out of memory gives it all back).
  void ReleaseLattice(bool freeScratch = false);

  // The blob field: sum of N(1 - d^2/(s R^2))^3 over the unskipped particles
  // within the box [p - R, p + R] and closer than sqrt(s) R, minus 1.
  float FieldValue(const Point3& p) const;
  // Whether FieldValue(p) > threshold; stops summing once it is certain.
  bool FieldAbove(const Point3& p, float threshold) const;
  void GatherNeighbours(const Point3& p, std::vector<FieldTerm>& out) const;
  // Field parameters from the build arguments (also run by Polygonize).
  void SetFieldParameters(float melting, float radiusFactor);

  // Field parameters.
  float R = 0, r0 = 0, b = 4.0f, N = 0, R2 = 0, invR2 = 0;
  Point3 RRR;
  float invCell = 1.0f;
  // Lattice.
  float L = 0, invL = 0;
  int32_t sliceCount = 0;
  Point3 latticeMin, latticeMax;
  mesher_util::KeptVector<LatticeRecord*> queue;  // first in, first out from queueHead
  size_t queueHead = 0;
  mesher_util::KeptVector<LatticeRecord*> seedCubes;
  std::vector<int32_t> seedParticles;
  std::unique_ptr<LatticeHash> hash;
  MesherTimings timings;
  // Counters of the last run (tests and the benchmark read them).
  int64_t fieldEvaluations = 0;
  int32_t processedCubes = 0;
  // On several threads and from this many particles, the lattice walk's
  // cubes and values are found by a parallel flood (the same mesh; tests
  // lower it).
  int32_t floodParticles = 16384;

 private:
  template <class Visit>
  bool ScanField(const Point3& p, Visit&& visit) const;
  LatticeRecord* FindOrCreate(int32_t i, int32_t j, int32_t k);
  void Evaluate(LatticeRecord* r) const;
  void LatticePointOf(const Point3& p, int32_t& i, int32_t& j, int32_t& k) const;
  // Values of the records listed, in parallel where the list is long enough.
  void EvaluateAll(mesher_util::KeptVector<LatticeRecord*>& list);
  uint32_t JoinedFaces(const LatticeRecord* cube, uint32_t ambiguous) const;
  // One level of the walk, the queue's [begin, end): finding corners and
  // values, or replaying what the flood found.
  void SerialLevel(size_t begin, size_t end);
  void ReplayLevel(size_t begin, size_t end);
  struct alignas(128) FloodThread {
    mesher_util::KeptVector<LatticeRecord*> todo;
    // Neighbour sets (see Across), freed once the walk is replayed.
    std::vector<std::unique_ptr<mesher_util::BigArray<LatticeRecord*>>> pages;
    size_t page = 0, used = 0;  // sets taken from pages[page]
    int64_t evaluated = 0;
    int64_t reached = 0;  // cubes this thread reached first
  };
  // The neighbour across crossed face f of a cube the flood processed.
  static LatticeRecord* Across(const LatticeRecord* cube, int f);
  // Finds every cube the walk will queue, its corners, their values and
  // its crossed neighbours, on all threads.
  void Flood();
  // False when the table of blocks is too full (the cube is done again).
  bool FloodCube(LatticeRecord* cube, LatticeHash::Cache* cache, FloodThread& t);
  std::vector<FloodThread> floodThreads_;
  int64_t floodCubes_ = 0;  // cubes the last flood reached (the walk queues as many)

  SurfaceBuilder* builder_;
  MeshRecord* mesh_;
  // Scratch of the walk's levels, kept from level to level.
  mesher_util::KeptVector<LatticeRecord*> levelTodo_;
  size_t parallelBatch_ = 0;            // smallest batch evaluated in parallel
  double serialPointCost_ = 0;          // seconds per point, serial batches
};
