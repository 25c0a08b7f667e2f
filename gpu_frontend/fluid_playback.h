// The GPU fluid object's evaluation: the particles and the surface of the
// frame the host asks for, read from the cache directory the solver program
// writes into (the object's BuildMesh, GetRenderMesh and Display use these).
#pragma once
#include "host/sdk/max.h"

namespace vorel_gpufe {

class BlobNode;

// Particles (when shown or meshed) and surface of t into mesh. A viewport
// evaluation returns at once when neither frame nor fraction changed.
void UpdateAtTime(BlobNode& fluid, TimeValue t, Mesh& mesh, bool viewport);
// The display arrays for t: the frame, paired with the next one, placed
// between the two; at "SolverStart" without a frame, the fill preview.
void UpdateParticles(BlobNode& fluid, TimeValue t);
// Reads frame (thinned to fraction) into the display arrays; the count.
int ReadFrameParticles(BlobNode& fluid, int frame, float fraction);
// Reads frame and pairs it with frame + 1; the count.
int ReadFrameParticlesInterpolated(BlobNode& fluid, float frame, float fraction);
// Places the shown particles at frameF between the frame and the next.
void SetSubFrame(BlobNode& fluid, float frameF);
// The filled objects' points at rest, and the sources' lattice preview.
void ShowFillPreview(BlobNode& fluid);
// Every display array to n entries; the displayed frame becomes stale.
void ClearParticles(BlobNode& fluid, int n);
// An empty surface; the surface frame becomes stale.
void ClearMesh(BlobNode& fluid, Mesh& mesh);

}  // namespace vorel_gpufe
