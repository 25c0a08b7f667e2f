// FluidEngine: the system's helper nodes (sources, floor, texture gizmo,
// clip box), the scene walks, object mesh snapshots and mapping coordinates.
#include "fluid_core/engine.h"

void ColliderMesh::FreeArrays() {}
void FluidSolver::SetTextureGizmoBox(const Vec3f&, const Vec3f&, const Vec3f&, const Vec3f&) {}
bool FluidEngine::CreateSource() { return false; }
void FluidEngine::CreateFloor() {}
void FluidEngine::CreateTextureGizmo() {}
void FluidEngine::CreateClipBox() {}
void FluidEngine::UpdateClipBox() {}
void FluidEngine::UpdateTextureGizmo() {}
void FluidEngine::AddDefaultObjectParams() {}
void CollectMeshNodes(INode*, std::vector<INode*>&) {}
void CollectSourceNodes(INode*, std::vector<INode*>&) {}
bool FluidEngine::BuildObjectMesh(INode*, ColliderMesh&, TriObject*& triObject) { triObject = nullptr; return false; }
void FluidEngine::ApplySourceMapping() {}
