// Evaluation and display of the GPU fluid object: until frame playback
// arrives the object shows its icon and no particles.
#include "gpu_frontend/gpu_fluid.h"

namespace vorel_gpufe {

void BlobNode::BuildMesh(TimeValue t) {
  mesh = iconMesh;
  ivalid.SetInstant(t);
}

int BlobNode::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  lastNode = inode;
  // The next creation may run once any fluid object has been drawn.
  creationPending = false;
  return SimpleObject2::Display(t, inode, vpt, flags);
}

int BlobNode::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p, ViewExp* vpt) {
  return SimpleObject2::HitTest(t, inode, type, crossing, flags, p, vpt);
}

void BlobNode::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  SimpleObject2::GetWorldBoundBox(t, inode, vpt, box);
}

Mesh* BlobNode::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  return SimpleObject2::GetRenderMesh(t, inode, view, needDelete);
}

void BlobNode::ComputeSourcePreview(TimeValue) { sourcePointCount = int32_t(sourcePoints.size()); }

}  // namespace vorel_gpufe
