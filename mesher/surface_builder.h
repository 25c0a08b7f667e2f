// SurfaceBuilder: the front of the surface mesher. A caller fills it with
// particles, builds, and receives a closed triangle mesh of the liquid.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "host/core/geom.h"
#include "host/core/large_buffer.h"
#include "mesher/mesh_record.h"
#include "mesher/particle_grid.h"
#include "mesher/polygonizer.h"

struct SurfaceParticle {
  Point3 position;
  float size = 1.0f;       // multiplier of this particle's squared influence radius
  uint8_t skip = 0;        // set: takes no part in the surface
  int32_t limitCount = 0;  // kept for the wrapper's particle cache; not read here
  uint32_t tag = 0;        // carried through, never read
};

// Group-join thresholds of the seed pass: the main plug-in and the GPU
// front-end use 2.0, the particle wrapper and the cache baker 0.5.
constexpr float kGroupJoinMain = 2.0f;
constexpr float kGroupJoinWrapper = 0.5f;

class SurfaceBuilder {
 public:
  explicit SurfaceBuilder(float density);
  SurfaceBuilder(const SurfaceBuilder&) = delete;
  SurfaceBuilder& operator=(const SurfaceBuilder&) = delete;

  // h = 1 / d^0.333333, neighbour distance 2h, grid cell 2h; clears the
  // batch and every skip flag.
  void SetDensity(float d, uint8_t flag = 0);
  // Starts a batch of room for n particles with grid cell factor x h. A
  // factor that is not positive would make the cell size meaningless; it is
  // taken as 1.
  void BeginParticles(int32_t n, float factor);
  // Fills the next entry; false (and nothing stored) when the batch is full.
  bool AddParticle(const Point3& position, uint8_t skip, float size, uint32_t tag);
  // Builds the surface of the unskipped particles added so far. `lists`
  // (optional) receives per output vertex the particles that reach it and
  // their weights; `velocities` (optional, one per added particle) turns
  // the second per-vertex array into the weighted particle velocity. The
  // two integers change nothing (callers pass 0 and 2000). When the memory
  // runs out the mesh and `lists` are left empty, what the build took is
  // freed (the large blocks kept for reuse too), and std::bad_alloc goes on
  // to the caller; the builder builds again as before.
  MeshRecord& Build(float detail, float melting, float radiusFactor, float shrink, int32_t unusedA = 0,
                    int32_t unusedB = 2000, VertexInfluenceLists* lists = nullptr,
                    const std::vector<Point3>* velocities = nullptr);

  void ComputeBounds();
  // Rebuilds every particle's neighbour list: the unskipped particles of
  // the same or adjacent grid cells closer than the neighbour distance, in
  // the order of the grid's scan (buckets, then cells, then 27 offsets).
  // Build keeps no lists (the seed pass sweeps the cell pairs itself and
  // asks for single lists where their order matters); tests call it.
  void FindNeighbours();
  // Each grid cell's place in the grid's scan order (input of NeighboursOf).
  std::vector<int32_t> CellRanks() const;
  // Particle a's neighbour list as FindNeighbours leaves it, built alone;
  // `rank` from CellRanks of the current grid. Empty for a particle the
  // grid does not hold.
  void NeighboursOf(int32_t a, const std::vector<int32_t>& rank, std::vector<int32_t>& out) const;
  // Whether particles i and j are neighbours (distance strictly below the
  // neighbour distance).
  bool LinkIfClose(int32_t i, int32_t j) const;
  // Squared distances above this are no neighbours for certain; the exact
  // test (sqrt(d2) < blobRadius) decides the rest.
  float NeighbourReject() const { return blobRadius * blobRadius * 1.001f + 1e-30f; }
  // Neighbour list of particle i after FindNeighbours; empty (count 0)
  // for a particle that no list was built for, and after a Build.
  const int32_t* Neighbours(int32_t i) const {
    return HasList(i) ? neighbourIndex_.get() + neighbourStart_[size_t(i)] : nullptr;
  }
  int32_t NeighbourCount(int32_t i) const {
    return HasList(i) ? neighbourStart_[size_t(i) + 1] - neighbourStart_[size_t(i)] : 0;
  }

  int32_t Count() const { return count; }
  // Sets how many entries count as added (the wrapper's particle cache
  // fills entries directly); clamped to the array size.
  void SetCount(int32_t n);

  // Fields the plug-ins read or set.
  ParticleCellGrid grid;
  Point3 boundsMin{1e6f, 1e6f, 1e6f};
  Point3 boundsMax{-1e6f, -1e6f, -1e6f};
  MeshRecord mesh;
  vorel::host::LargeVector<SurfaceParticle> particles;
  int32_t count = 0;
  SurfacePolygonizer polygonizer;
  float density = 0.0f;
  float h = 1.0f, h2 = 1.0f, invH = 1.0f;
  float blobRadius = 2.0f;  // neighbour distance; 2h after SetDensity
  uint8_t flag = 0;
  float groupJoin = kGroupJoinMain;

 private:
  // Cell c's neighbour cells (itself included) in the order its members'
  // lists visit them; returns how many.
  int VisitCells(int32_t c, const std::vector<int32_t>& rank, int32_t out[27]) const;
  template <class Fn>
  void ForNeighbours(int32_t a, const int32_t* visit, int nVisit, Fn&& fn) const;

  bool HasList(int32_t i) const { return i >= 0 && size_t(i) + 1 < neighbourStart_.size(); }

  // Empty but for the leading 0 while no lists are built: a build keeps
  // none, and a count of zeros per particle cost it a serial fill.
  mesher_util::KeptVector<int32_t> neighbourStart_{0};
  // Left uninitialised until filled: the parallel fill touches it first.
  std::unique_ptr<int32_t[]> neighbourIndex_;
};
