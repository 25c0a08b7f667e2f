// The scene as the solver program reads it: the fill particles, the
// particles each pouring source emits per sub-step, the collider triangles
// of each frame and the clip box of each frame. These functions work on
// plain data (points, matrices, outlines); the fluid object gathers that
// data from the scene and calls them (solver_export.cpp). Every file goes
// through the solver's own readers and writers (gpu_solver/solver_formats.h).
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fill_geometry/hilera.h"
#include "gpu_solver/solver_formats.h"
#include "host/core/geom.h"

class BezierShape;

namespace vorel_gpufe {

// Every input file is written aside and put in place only when whole, so a
// failed export (a full disk) leaves each file as it was. Where one cannot be
// written, the writers that take an ExportFailure say which file and why.
struct ExportFailure {
  std::string path;
  int error = 0;  // errno of the call that failed
};
// "<path>: <reason>" for a message.
std::string DescribeFailure(const ExportFailure& failure);

// Host lengths are solver lengths times 20.
constexpr float kSolverUnitScale = 20.0f;
constexpr float kToSolverUnits = 1.0f / 20.0f;
constexpr int kTicksPerSecond = 4800;
// Emission records per frame that the solver counts on.
constexpr int kEmissionSubSamples = 10;
// Layer step of the emitted lattice as a multiple of the spacing, and the
// jitter that breaks the lattice up (x and y, then z).
constexpr float kEmitLayerStep = 1.633f;
constexpr float kEmitJitterXY = 0.33f;
constexpr float kEmitJitterZ = 1.6321834f;

// Ticks between two emission records: a tenth of a frame, at least one tick
// (the solver steps its emission by the same rule, so both agree when a
// frame has fewer than ten ticks).
int EmissionStepTicks(int ticksPerFrame);

// Host points to the solver's file points (host axis order kept), scaled.
vorel_gpu::Vec3f ToFilePoint(const Point3& p, float scale);

// Writes <cacheDir>/sources/Vorel.fll: count particles, positions times
// scale, velocities unchanged, every id 0. False when the lists hold fewer
// than count entries, count is negative or the file cannot be written.
bool WriteFillFile(const std::string& cacheDir, float particlesPerVolume, int count,
                   const std::vector<Point3>& positions, const std::vector<Point3>& velocities, float scale,
                   ExportFailure* failure = nullptr);

// One emission sub-step of a source: the distance travelled (speed x dt
// plus what the last sub-step carried) leaves as whole layers of the base
// pattern, each at the distance it has travelled since it left the source
// plane, jittered; the rest is carried to the next sub-step. A disabled
// source emits nothing and keeps its carried distance. rand01 gives values
// in [0, 1].
void EmitLayers(const std::vector<Point3>& basePoints, float spacing, float speed, float dt, bool disabled,
                float* accumulator, std::vector<Point3>* emitPoints, const std::function<float()>& rand01);

// The jitter generator of one emission sub-step: seeded from the wall clock
// in whole seconds (so calls within one second repeat their jitter), values
// in [0, 1] whatever the platform's rand() range.
std::function<float()> ClockSeededRand01();

// Samples the closed splines of an outline shape: 4 points per Bezier
// segment (u = 0, .25, .5, .75) plus the first point again, in solver units
// and scaled by the node's sx, sy. Open splines are left out.
void SampleOutline(BezierShape& shape, float sx, float sy, Hileras* rows);
// True when rows holds exactly what SampleOutline would produce now (same
// rows, same point counts, bit-equal coordinates). Empty rows never match.
bool OutlineMatches(const Hileras& rows, BezierShape& shape, float sx, float sy);
// The two lattice layers of the outlines (particle radius half the spacing),
// first layer at z = 0; empty when the outlines yield no lattice.
void BuildBasePoints(const Hileras& rows, float spacing, std::vector<Point3>* basePoints);

// One distinct node that shows a source object at a sub-step.
struct EmissionInstance {
  Matrix3 objectTM;  // the node's object transform with its scale removed
  Point3 velocity;   // the source's speed along the node's local z
};
// The points one source object emits at a sub-step and the nodes showing it.
struct EmissionGroup {
  std::vector<Point3> points;  // emitPoints: solver units, source frame
  std::vector<EmissionInstance> instances;
};
// Builds one emission record: every group's points through each of its
// instances (in solver units, world), and the instance's velocity for each.
vorel_gpu::EmissionRecord MakeEmissionRecord(int tick, const std::vector<EmissionGroup>& groups);

// Writes <cacheDir>/sources/Vorel.srp: one record per emission step from
// tick 0 while below endFrame x ticksPerFrame; sample(tick, dt) gives the
// groups of that step (dt in seconds). False when the file cannot be
// written.
using EmissionSampler = std::function<std::vector<EmissionGroup>(int tick, float dt)>;
bool WriteEmissionRecords(const std::string& cacheDir, int ticksPerFrame, int endFrame,
                          const EmissionSampler& sample, ExportFailure* failure = nullptr);

// The collider triangles of one frame: corners in host units, world, three
// per triangle. Writes <cacheDir>/objects/Vorel_<ticks>.geom in solver units;
// no file (and true) when there is no triangle.
bool WriteColliderFrame(const std::string& cacheDir, int ticks, const std::vector<Point3>& corners,
                        ExportFailure* failure = nullptr);

// Collider files of frames first .. first + count inclusive; corners(tick)
// gives a frame's triangle corners. False at the first file that cannot be
// written (the earlier ones stay).
bool WriteColliderFrames(const std::string& cacheDir, int ticksPerFrame, int first, int count,
                         const std::function<std::vector<Point3>(int tick)>& corners,
                         ExportFailure* failure = nullptr);

// A kill-box row from the clip box's corners in solver units, host axes:
// the rows are stored in the solver's axis order (x, host z, host y).
vorel_gpu::KillBoxRow MakeKillBoxRow(int tick, const Point3& boxMin, const Point3& boxMax);

// Writes <cacheDir>/Vorel.killparts with count rows, frames first ..
// first + count - 1; box(tick, min, max) gives the clip box in solver units.
bool WriteKillBoxRows(const std::string& cacheDir, int ticksPerFrame, int first, int count,
                      const std::function<void(int tick, Point3* boxMin, Point3* boxMax)>& box,
                      ExportFailure* failure = nullptr);

}  // namespace vorel_gpufe
