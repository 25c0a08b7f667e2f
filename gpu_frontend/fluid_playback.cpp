#include "gpu_frontend/fluid_playback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "fluid_core/frame_cache.h"
#include "gpu_frontend/frame_playback.h"
#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/gpu_source.h"
#include "gpu_frontend/solve_driver.h"
#include "gpu_frontend/solver_export.h"
#include "host/core/interaction.h"
#include "host/ui/ui.h"
#include "mesher/surface_builder.h"

namespace vorel_gpufe {
namespace {

// The object's display arrays lent to the playback functions for one call
// (swapped, not copied).
class Lent {
 public:
  explicit Lent(BlobNode& b) : b_(b) { Swap(); }
  ~Lent() { Swap(); }
  PlaybackArrays& a() { return a_; }

 private:
  void Swap() {
    std::swap(a_.count, b_.particleCount);
    a_.shown.swap(b_.shownPositions);
    a_.framePos.swap(b_.framePositions);
    a_.steps.swap(b_.frameSteps);
    a_.fileVel.swap(b_.fileVelocities);
    a_.noSuccessor.swap(b_.noSuccessor);
    a_.ids.swap(b_.frameIds);
    a_.nextIds.swap(b_.nextFrameIds);
    std::swap(a_.box, b_.particleBox);
  }
  BlobNode& b_;
  PlaybackArrays a_;
};

// The host's standard command mode of selecting objects.
constexpr int kSelectCommandMode = 6;

int TicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }

void ShowCount(HWND dlg, int id, const char* format, int n) {
  if (!dlg) return;
  char text[64];
  std::snprintf(text, sizeof text, format, n);
  SetDlgItemText(dlg, id, text);
}

// The frame's resolution into the "Source LOD" mirror; the mirror keeps the
// parameter when the header cannot be read.
void TakeFrameResolution(BlobNode& b, int frame) {
  int32_t stamp = 0, count = 0;
  float ppuv = 0.0f;
  if (b.cache.ReadFrameHeader(frame, &stamp, &count, &ppuv) && UsableParticlesPerVolume(ppuv))
    b.SourceLOD = std::pow(ppuv, kResolutionExponent);
}

// Says once per read that a frame was refused, and keeps the verdict for
// the surface of the same evaluation.
void NoteDamage(BlobNode& b, const PlaybackArrays& a, int frame) {
  b.particlesDamaged = a.damaged;
  if (!a.damaged) return;
  char text[400];
  if (a.foreign)
    std::snprintf(text, sizeof text,
                  "Frame %d of cache '%.200s' is not a frame of the GPU solver (another system wrote it): nothing is "
                  "shown for it",
                  frame, b.cache.cacheName.c_str());
  else
    std::snprintf(text, sizeof text,
                  "Frame %d of cache '%.200s' is damaged (a particle out of any scene, or no particle density): "
                  "nothing is shown for it",
                  frame, b.cache.cacheName.c_str());
  ShowTempPrompt(text, 6000);
}

// A frame past the one where the solver program failed will not arrive:
// said, rather than shown empty without a word.
void NoteStoppedSolve(BlobNode& b, int frame) {
  int from = 0;
  const int code = StartedSolverExitCode(b.cache.cacheDir, &from);
  if (code <= 0) return;
  const int stoppedAt = std::max(b.cache.lastSolvedFrame(), from) + 1;
  if (frame < stoppedAt) return;
  char text[400];
  std::snprintf(text, sizeof text,
                "Frame %d of cache '%.200s' is not solved: the solve stopped at frame %d (the solver ended with exit "
                "code %d); nothing is shown for it",
                frame, b.cache.cacheName.c_str(), stoppedAt, code);
  ShowTempPrompt(text, 6000);
}

}  // namespace

void ClearParticles(BlobNode& b, int n) {
  {
    Lent l(b);
    l.a().Resize(n);
  }
  b.particleFrame = -1;
}

void ClearMesh(BlobNode& b, Mesh& mesh) {
  ClearHostMesh(&mesh);
  b.meshFrameF = -1.0f;
  b.meshFrame = -1;
}

int ReadFrameParticles(BlobNode& b, int frame, float fraction) {
  b.sourcePointCount = 0;
  b.sourcePoints.clear();
  const std::string path = b.cache.IsCacheDirValid() ? b.cache.FramePath(frame) : std::string();
  Lent l(b);
  l.a().box.Init();
  if (path.empty()) {
    l.a().Resize(0);
    return 0;
  }
  float spacing = b.particleSpacing;
  const int n = vorel_gpufe::ReadFrameParticles(path, fraction, &l.a(), &spacing);
  b.particleSpacing = spacing;
  NoteDamage(b, l.a(), frame);
  return n;
}

int ReadFrameParticlesInterpolated(BlobNode& b, float frame, float fraction) {
  ClearParticles(b, 0);
  if (!b.cache.IsCacheDirValid()) return 0;
  const int n = int(frame);
  b.sourcePointCount = 0;
  b.sourcePoints.clear();
  Lent l(b);
  float spacing = b.particleSpacing;
  const int count = vorel_gpufe::ReadFrameParticlesInterpolated(b.cache.FramePath(n), b.cache.FramePath(n + 1),
                                                               fraction, &l.a(), &spacing);
  b.particleSpacing = spacing;
  NoteDamage(b, l.a(), n);
  return count;
}

void SetSubFrame(BlobNode& b, float frameF) {
  Lent l(b);
  vorel_gpufe::SetSubFrame(frameF, &l.a());
}

void ShowFillPreview(BlobNode& b) {
  b.ReadParams(0);
  b.particleSpacing = 1.0f / b.SourceLOD;
  ClearParticles(b, 0);
  {
    Lent l(b);
    PlaybackArrays& a = l.a();
    a.box.Init();
    for (const FillRecord& r : b.fillRecords) {
      if (r.layersUsed < 1 || r.layerTable.empty()) continue;
      const int layer = std::min<int>(r.layersUsed - 1, int(r.layerTable.size()) - 1);
      const int n = std::min<int>(r.layerTable[size_t(layer)], int(r.points.size()));
      if (n <= 0) continue;
      const int at = a.count;
      a.Resize(at + n);
      for (int i = 0; i < n; ++i) {
        a.shown[size_t(at + i)] = r.points[size_t(i)] * kSolverScale;
        a.box += a.shown[size_t(at + i)];
      }
    }
  }
  b.ComputeSourcePreview(0);
}

void BlobNode::ComputeSourcePreview(TimeValue) {
  // Recomputed from scratch every time: appending would pile up a copy of
  // every source's points on each call.
  sourcePoints.clear();
  sourcePointCount = 0;
  if (!pblock2) return;
  for (int i = 0; i < pblock2->Count(blob_param::kSourcesNodeList); ++i) {
    INode* node = pblock2->GetINode(blob_param::kSourcesNodeList, 0, i);
    if (!node) continue;
    auto* src = dynamic_cast<VorSourceObj*>(node->EvalWorldState(0).obj);
    if (!src) continue;
    RebuildEmitterPoints(*src, particleSpacing, 0);
    INodeTab instances;
    if (IInstanceMgr* mgr = IInstanceMgr::GetInstanceMgr()) mgr->GetInstances(*node, instances);
    if (instances.Count() == 0) instances.AppendNode(node);
    for (int k = 0; k < instances.Count(); ++k) {
      Matrix3 tm = instances[k]->GetNodeTM(0);
      tm.NoScale();
      for (const Point3& p : src->basePoints) {
        sourcePoints.push_back(tm.PointTransform(p * kSolverScale));
        particleBox += sourcePoints.back();
      }
      sourcePointCount += int32_t(src->basePoints.size());
    }
  }
}

void UpdateParticles(BlobNode& b, TimeValue t) {
  b.ReadParams(t);
  const FrameMapping m = MapTime(int(t), TicksPerFrame(), b.TimeOffset, b.PlaybackSpeed);
  if (!b.cache.IsCacheDirValid()) return;
  if (b.particleFrame == m.partN && b.particleFrameF == m.partF) return;
  const float fraction = float(b.DisplayPercentage) / 100.0f;
  if (m.partN != b.SolverStart) {
    TakeFrameResolution(b, m.partN);
    if (int(std::floor(m.partF)) != b.particleFrame)
      b.particleCount = ReadFrameParticlesInterpolated(b, float(m.partN), fraction);
    SetSubFrame(b, m.partF);
  } else {
    int32_t stamp = 0, count = 0;
    float ppuv = 0.0f;
    if (b.cache.ReadFrameHeader(b.SolverStart, &stamp, &count, &ppuv)) {
      TakeFrameResolution(b, b.SolverStart);
      b.particleCount = ReadFrameParticles(b, b.SolverStart, fraction);
    } else {
      b.particlesDamaged = false;
      ShowFillPreview(b);
    }
  }
  ShowCount(b.hDisplayRollout, 1015, "Particles: %d", b.particleCount);
  b.particleFrameF = m.partF;
  // A frame the solver has not written yet is read again next time: it may
  // have arrived by then.
  const bool solved = b.cache.IsFrameSolved(m.partN);
  b.particleFrame = solved ? int(std::floor(m.partF)) : -1;
  if (!solved) {
    b.awaitingFrame = true;
    if (m.partN != b.SolverStart) NoteStoppedSolve(b, m.partN);
  }
}

namespace {

void CopySurface(BlobNode& b, TimeValue t, Mesh& mesh, float fraction) {
  const Matrix3 toObject = b.lastNode ? b.lastNode->GetObjectTM(t).Inverse() : Matrix3();
  BuildHostMesh(b.builder->mesh, fraction, toObject, &mesh);
  ShowCount(b.hDisplayRollout, 1008, "Faces: %d", mesh.getNumFaces());
  ShowCount(b.hDisplayRollout, 1009, "Verts: %d", mesh.getNumVerts());
}

}  // namespace

void UpdateAtTime(BlobNode& b, TimeValue t, Mesh& mesh, bool viewport) {
  b.ReadParams(t);
  if (!b.cache.IsCacheDirValid()) return;
  b.awaitingFrame = false;
  const bool hidden = viewport && b.HideInViewports;
  if (b.ShowParticles || (b.GenerateSurface && !hidden)) {
    UpdateParticles(b, t);
  } else {
    b.particleCount = 0;
    ClearParticles(b, 0);
  }
  if (!b.GenerateSurface || hidden) {
    ClearMesh(b, mesh);
    return;
  }
  const FrameMapping m = MapTime(int(t), TicksPerFrame(), b.TimeOffset, b.PlaybackSpeed);
  if (viewport && b.meshFrame == m.meshN && b.meshFrameF == m.meshF) return;
  if (b.particlesDamaged) {  // said when the frame was read
    ClearMesh(b, mesh);
    return;
  }

  // The surface of frame N is the one meshed from frame N's own particles:
  // at another playback speed or part-way between frames the particles come
  // from elsewhere (maybe from a frame there is none of), and that surface
  // may neither stand in for frame N's nor be stood in for by it.
  const bool ownFrame = m.partN == m.meshN && m.frac == 0.0f &&
                        (!b.PreciseMotionBlur || m.partF == float(m.meshN));
  bool fileRead = false;
  if (!b.PreciseMotionBlur && ownFrame) {
    bool available = b.meshFrame == m.meshN;
    if (!available && b.UseCache) {
      const std::string path = b.cache.MeshPath(m.meshN);
      fileRead = !path.empty() && b.builder->mesh.ReadSurfaceCache(path);
      available = fileRead && b.builder->mesh.VertexCount() >= 1;
    }
    if (available) {
      CopySurface(b, t, mesh, m.meshF - float(m.meshN));
      b.meshFrameF = m.meshF;
      b.meshFrame = m.meshN;
      return;
    }
    if (fileRead) {
      ClearMesh(b, mesh);
      return;
    }
  }

  TakeFrameResolution(b, m.meshN);
  const float x = b.DropSize * 0.4f * kSolverScale / b.SourceLOD;
  b.DropSize = x;
  SurfaceBuilder& builder = *b.builder;
  builder.SetDensity(1.0f / (x * x * x), 1);
  builder.blobRadius = x * b.MeltingForce;
  builder.BeginParticles(b.particleCount, b.MeltingForce);
  std::vector<Point3> velocities;
  try {
    {
      Lent l(b);
      velocities = FeedSurfaceBuilder(l.a(), b.PreciseMotionBlur != 0, m.frac, m.speed, &builder);
    }
    builder.Build(b.detail, b.MeltingForce, 1.0f, b.ShrinkWrap, 0, 2000, nullptr, &velocities);
  } catch (const std::bad_alloc&) {
    // No surface: nothing stored for the frame, nothing shown.
    builder.mesh.Clear();
    ClearMesh(b, mesh);
    char text[400];
    std::snprintf(text, sizeof text,
                  "Frame %d of cache '%.200s': out of memory building its surface; nothing is shown for it", m.meshN,
                  b.cache.cacheName.c_str());
    ShowTempPrompt(text, 6000);
    return;
  }
  // A frame the solver has not written (yet) is shown from what there is
  // (the fill preview, or nothing), but that surface is neither stored nor
  // kept: it would stand in for the real frame once it arrives.
  const bool solved = b.cache.IsFrameSolved(m.meshN);
  const bool keep = solved && ownFrame;
  if (b.UseCache && keep) {
    const std::string path = b.cache.MeshPath(m.meshN);
    if (!path.empty()) builder.mesh.WriteSurfaceCache(path, m.meshN, 0);
  }
  CopySurface(b, t, mesh, b.PreciseMotionBlur ? 0.0f : m.meshF - float(m.meshN));
  b.meshFrameF = keep ? m.meshF : -1.0f;
  b.meshFrame = keep ? m.meshN : -1;
  if (!solved) b.awaitingFrame = true;
}

void BlobNode::BuildMesh(TimeValue t) {
  UpdateAtTime(*this, t, mesh, true);
  ivalid.SetInstant(t);
}

ObjectState BlobNode::Eval(TimeValue t) {
  if (awaitingFrame) ivalid.SetEmpty();
  return SimpleObject2::Eval(t);
}

Mesh* BlobNode::GetRenderMesh(TimeValue t, INode*, View&, bool& needDelete) {
  Mesh* m = new Mesh;
  UpdateAtTime(*this, t, *m, false);
  needDelete = true;
  return m;
}

int BlobNode::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  lastNode = inode;
  // The first draw after the creation hook ends the creation: the host
  // leaves the create tool for selection once, and the next creation may run.
  if (creationPending) {
    GetCOREInterface()->SetStdCommandMode(kSelectCommandMode);
    creationPending = false;
  }
  if (!vpt || !inode) return SimpleObject2::Display(t, inode, vpt, flags);
  const bool showParticles = pblock2 && pblock2->GetInt(blob_param::kShowParticles, t) != 0;
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  gw->setTransform(inode->GetObjectTM(t));
  gw->setRndLimits((limits & ~DWORD(0x10)) | DWORD(0x200001));
  if (!(limits & GW_BOX_MODE) && iconMesh.getNumFaces() > 0) {
    RECT damage = vpt->GetDamageRect();
    iconMesh.render(gw, inode->Mtls(), (flags & USE_DAMAGE_RECT) ? &damage : nullptr,
                    COMP_ALL | (inode->Selected() ? COMP_OBJSELECTED : 0), inode->NumMtls());
  }
  if (showParticles) {
    gw->setTransform(Matrix3());
    for (size_t i = 0; i < size_t(particleCount) && i < shownPositions.size(); ++i) {
      Point3 p = shownPositions[i];
      if (p.x != kParkedX) gw->marker(&p, POINT_MRKR);
    }
    for (Point3 p : sourcePoints) gw->marker(&p, POINT_MRKR);
  }
  gw->setRndLimits(limits);
  return SimpleObject2::Display(t, inode, vpt, flags);
}

int BlobNode::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p, ViewExp* vpt) {
  if (SimpleObject2::HitTest(t, inode, type, crossing, flags, p, vpt)) return 1;
  if (!vpt || !inode) return 0;
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  HitRegion hr;
  MakeHitRegion(hr, type, crossing, 8, p);
  gw->setHitRegion(&hr);
  gw->setTransform(inode->GetObjectTM(t));
  gw->setRndLimits(limits | GW_PICK);
  gw->clearHitCode();
  int hit = iconMesh.getNumFaces() > 0 && iconMesh.select(gw, inode->Mtls(), &hr, flags & HIT_ABORTONHIT) ? 1 : 0;
  if (!hit) {
    gw->setTransform(Matrix3());
    gw->clearHitCode();
    for (size_t i = 0; i < size_t(particleCount) && i < shownPositions.size(); ++i) {
      Point3 q = shownPositions[i];
      gw->marker(&q, POINT_MRKR);
    }
    hit = gw->checkHitCode() ? 1 : 0;
  }
  gw->setRndLimits(limits);
  return hit;
}

void BlobNode::GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) {
  SimpleObject2::GetWorldBoundBox(t, inode, vpt, box);
  if (!inode) return;
  const Matrix3 tm = inode->GetObjectTM(t);
  if (iconMesh.getNumVerts() > 0) {
    Box3 icon;
    for (const Point3& v : iconMesh.verts) icon += v;
    box += tm.PointTransform(icon.pmin);
    box += tm.PointTransform(icon.pmax);
  }
  if (!particleBox.IsEmpty()) {
    box += particleBox.pmin;
    box += particleBox.pmax;
  }
  if (!pblock2) return;
  for (int i = 0; i < pblock2->Count(blob_param::kSourcesNodeList); ++i) {
    INode* node = pblock2->GetINode(blob_param::kSourcesNodeList, 0, i);
    if (!node) continue;
    auto* src = dynamic_cast<VorSourceObj*>(node->EvalWorldState(t).obj);
    if (!src) continue;
    Box3 own;
    src->GetDeformBBox(t, own);
    if (own.IsEmpty()) continue;
    const Matrix3 stm = node->GetObjectTM(t);
    box += stm.PointTransform(own.pmin);
    box += stm.PointTransform(own.pmax);
  }
}

}  // namespace vorel_gpufe
