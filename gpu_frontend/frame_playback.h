// Playback of the particle frames the solver program writes: host time to
// frame, the frame readers with thinning, pairing with the next frame,
// placement between frames, the surface feed and the copy of a surface into
// the host mesh. Plain functions over the fluid object's display arrays
// (PlaybackArrays); the object's evaluation (playback_object.cpp) calls them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/core/geom.h"
#include "host/core/mesh.h"
#include "gpu_solver/solver_formats.h"
#include "mesher/mesh_record.h"

class SurfaceBuilder;

namespace vorel_gpufe {

// Shown particles whose successor is gone are moved out of sight here
// (host units); the solver parks killed particles at -1e6 solver units.
constexpr float kParkedX = 1e6f;
// First field of a frame whose particles pair by their place in the file.
constexpr uint32_t kPairByPositionTag = 0x6DD41E2E;
using vorel_gpu::kResolutionExponent;
using vorel_gpu::kSolverFrameTag;
// Whether a "%05d.Vorel" file with this first field belongs to a cache of
// this solver; another system's frames share the name but not the layout.
inline bool IsSolverFrameTag(uint32_t tag) { return tag == kSolverFrameTag || tag == kPairByPositionTag; }

// Host time to cache frames.
struct FrameMapping {
  float meshF = 0;  // surface frame, fractional
  int meshN = 0;    // surface frame, whole
  float partF = 0;  // particle frame, fractional
  int partN = 0;    // particle frame, whole
  float speed = 1;  // playback speed / 100
  float frac = 0;   // sub-frame fraction of the particles at the surface frame
};
FrameMapping MapTime(int t, int ticksPerFrame, int timeOffset, float playbackSpeed);

// The display arrays of one frame, index-aligned over count entries: host
// units, world frame; velocities as the frame stores them (solver units).
struct PlaybackArrays {
  int count = 0;
  std::vector<Point3> shown;       // what is drawn and meshed
  std::vector<Point3> framePos;    // position at the whole frame
  std::vector<Point3> steps;       // displacement to the next frame
  std::vector<Point3> fileVel;     // velocity as stored
  std::vector<uint8_t> noSuccessor;  // 1: not in the next frame
  std::vector<int32_t> ids;        // ids of this frame's shown particles
  std::vector<int32_t> nextIds;    // every id of the next frame
  Box3 box;                        // box of the shown particles
  bool damaged = false;            // the last frame read was refused
  bool foreign = false;            // ... as another system's frame (damaged is set too)

  // Every array to n entries: points (0,0,0), ids -1, bits clear; entries
  // below n keep their values.
  void Resize(int n);
};

// Header fields of a particle frame file.
struct FrameFileHeader {
  uint32_t tag = 0;
  int32_t stamp = 0;
  int32_t count = 0;
  float ppuv = 0;
};
bool ReadFrameFileHeader(const std::string& path, FrameFileHeader* header);

// Reads one frame (path of "%05d.Vorel"), keeping the fraction of its
// records (record k becomes particle i when trunc(k x fraction) = i), with
// positions x 20 into framePos and shown; steps zero, no bits. Returns the
// particle count (0 for a missing file). spacing, when given, gets
// 20 / ppuv^0.333 of the frame. A frame whose particles per volume is not
// usable, or with a position that is infinite or beyond
// kMaxSolverCoordinate (both fluid_core/frame_cache.h), is damaged: no
// particle is kept, damaged is set, spacing is untouched. So is a frame
// whose first field is not IsSolverFrameTag, which also sets foreign. (NaN
// positions are left to the feeds, which skip them.)
int ReadFrameParticles(const std::string& path, float fraction, PlaybackArrays* a, float* spacing = nullptr);

// Reads frame n and pairs its particles with frame n + 1 (nextPath): by id
// (both lists ascending), or by place in the file when the next frame's
// first field is kPairByPositionTag. Next-frame positions a frame could not
// hold (as above) pair with nothing. Particles without a partner get their
// noSuccessor bit; when the next frame is missing (or another system's)
// none is set and every step stays zero. Returns the particle count.
int ReadFrameParticlesInterpolated(const std::string& path, const std::string& nextPath, float fraction,
                                   PlaybackArrays* a, float* spacing = nullptr);

// Places the shown particles at the fraction of frameF between the frame
// and the next; particles without successor are parked (x = kParkedX) once
// the fraction reaches 1e-6. Rebuilds the box.
void SetSubFrame(float frameF, PlaybackArrays* a);

// Feeds the builder for a surface and returns the per-particle velocity
// list: with precise motion blur the shown positions (not NaN, not parked)
// and zero velocities; otherwise the particles with a successor at frac of
// the way, with velocity steps x speed.
std::vector<Point3> FeedSurfaceBuilder(const PlaybackArrays& a, bool preciseMotionBlur, float frac, float speed,
                                       SurfaceBuilder* builder);

// Copies a surface into the host mesh in the object's space: vertex i =
// (record vertex i + fraction x its velocity) x toObject. A record whose
// second list does not hold one entry per vertex moves nothing.
void BuildHostMesh(const MeshRecord& rec, float fraction, const Matrix3& toObject, Mesh* mesh);
// An empty host mesh.
void ClearHostMesh(Mesh* mesh);

}  // namespace vorel_gpufe
