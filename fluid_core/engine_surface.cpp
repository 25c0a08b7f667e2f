// FluidEngine: surface mesh files of stored frames and the render mesh of
// the particles the sources show.
#include "fluid_core/engine.h"

bool FluidEngine::BuildSurfaceFrame(int n) { (void)n; return false; }
void FluidEngine::BuildRenderMesh(TimeValue t, Mesh& mesh) { (void)t; mesh.setNumVerts(0); mesh.setNumFaces(0); }
