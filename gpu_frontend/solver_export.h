// The fluid object's side of a solve: the scene sampled into the solver's
// input files (sources at every emission step, colliders and clip box at
// every frame) and the solve itself, which prepares the cache directory and
// starts the solver program on it.
#pragma once
#include <string>

#include "gpu_frontend/solver_inputs.h"
#include "host/sdk/max.h"

class BezierShape;

namespace vorel_gpufe {

class BlobNode;
class VorSourceObj;

// A source's emission sampling (its rows, basePoints, emitPoints and
// emitAccumulator members).
// Fills emitPoints with the layers the source emits in one step of dt
// seconds at t.
void EmitPoints(VorSourceObj& source, float dt, TimeValue t);
// Rebuilds rows and basePoints from the source's shape when its outline
// changed since the last build (spacing in solver units).
void RebuildEmitterPoints(VorSourceObj& source, float spacing, TimeValue t);
// Whether the shape's closed splines, sampled at t with the node's scale,
// are exactly the stored rows.
bool OutlineUnchanged(VorSourceObj& source, BezierShape& shape, TimeValue t);

// The input files of one solve (false when the file cannot be written, said
// in *failure when given; colliders and kill box also when the cache
// directory is not valid, and the kill box when there is no visible clip box,
// failure then untouched).
bool WriteEmissionFile(BlobNode& fluid, const std::string& cacheDir, float particlesPerVolume, int endFrame,
                       ExportFailure* failure = nullptr);
bool WriteColliderFiles(BlobNode& fluid, int firstFrame, int frameCount, ExportFailure* failure = nullptr);
bool WriteKillBoxFile(BlobNode& fluid, int firstFrame, int frameCount, ExportFailure* failure = nullptr);

// The solve button: resumes after the last solved frame (or starts at
// "SolverStart"; requestedStart -1000 asks for nothing else), writes the
// inputs and starts the solver program without waiting.
void RunSolve(BlobNode& fluid, int requestedStart);

}  // namespace vorel_gpufe
