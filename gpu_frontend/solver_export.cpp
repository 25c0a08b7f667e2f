#include "gpu_frontend/solver_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/frame_playback.h"
#include "gpu_frontend/gpu_source.h"
#include "gpu_frontend/plugin_shell.h"
#include "gpu_frontend/solve_driver.h"
#include "gpu_frontend/solver_inputs.h"
#include "host/core/interaction.h"

namespace vorel_gpufe {
namespace {

std::vector<INode*> NodeList(IParamBlock2* pb, ParamID id) {
  std::vector<INode*> nodes;
  if (!pb) return nodes;
  for (int i = 0; i < pb->Count(id); ++i) nodes.push_back(pb->GetINode(id, 0, i));
  return nodes;
}

VorSourceObj* SourceAt(INode* node, TimeValue t) {
  if (!node) return nullptr;
  return dynamic_cast<VorSourceObj*>(node->EvalWorldState(t).obj);
}

// The node's scale along its x and y axes (1 without a node).
void NodeScale(VorSourceObj& source, TimeValue t, float* sx, float* sy) {
  *sx = *sy = 1.0f;
  if (INode* node = source.FindOwnNode()) {
    const Matrix3 tm = node->GetNodeTM(t);
    *sx = tm.GetRow(0).Length();
    *sy = tm.GetRow(1).Length();
  }
}

// The nodes that show node's object, node itself included.
std::vector<INode*> Instances(INode* node) {
  INodeTab tab;
  if (IInstanceMgr* mgr = IInstanceMgr::GetInstanceMgr()) mgr->GetInstances(*node, tab);
  if (tab.Count() == 0) tab.AppendNode(node);
  return tab.vec();
}

}  // namespace

void EmitPoints(VorSourceObj& source, float dt, TimeValue t) {
  IParamBlock2* pb = source.pblock2;
  const float speed = pb ? pb->GetFloat(source_param::kSpeed, t) : 0.0f;
  const bool disabled = pb ? pb->GetInt(source_param::kDisableSource, t) != 0 : true;
  EmitLayers(source.basePoints, source.creationScale, speed, dt, disabled, &source.emitAccumulator,
             &source.emitPoints, ClockSeededRand01());
}

bool OutlineUnchanged(VorSourceObj& source, BezierShape& shape, TimeValue t) {
  float sx, sy;
  NodeScale(source, t, &sx, &sy);
  return OutlineMatches(source.rows, shape, sx, sy);
}

void RebuildEmitterPoints(VorSourceObj& source, float spacing, TimeValue t) {
  if (source.rows.Count() > 0 && OutlineUnchanged(source, source.shape, t)) return;
  source.rows.DeleteAll();
  float sx, sy;
  NodeScale(source, t, &sx, &sy);
  SampleOutline(source.shape, sx, sy, &source.rows);
  BuildBasePoints(source.rows, spacing, &source.basePoints);
}

bool WriteEmissionFile(BlobNode& fluid, const std::string& cacheDir, float, int endFrame, ExportFailure* failure) {
  fluid.ReadParams(0);
  const float spacing = 1.0f / fluid.SourceLOD;
  const std::vector<INode*> sources = NodeList(fluid.pblock2, blob_param::kSourcesNodeList);
  for (INode* node : sources)
    if (VorSourceObj* s = SourceAt(node, 0)) s->emitAccumulator = 0.0f;

  auto sample = [&](int tick, float dt) {
    const TimeValue t = TimeValue(tick);
    std::vector<EmissionGroup> groups;
    std::map<VorSourceObj*, size_t> groupOf;
    // Each node shows its source once per step, however many entries of the
    // list reach it (instances list each other), so no particle is emitted
    // twice at the same place.
    std::set<INode*> written;
    for (INode* node : sources) {
      VorSourceObj* src = SourceAt(node, t);
      if (!src) continue;
      auto found = groupOf.find(src);
      if (found == groupOf.end()) {
        src->creationScale = spacing;
        src->UpdateShape(t);
        const float radius = src->pblock2 ? src->pblock2->GetFloat(source_param::kRadius, t) : 0.0f;
        if (2.0f * spacing < radius) RebuildEmitterPoints(*src, spacing, t);
        EmitPoints(*src, dt, t);
        found = groupOf.emplace(src, groups.size()).first;
        groups.emplace_back();
        groups.back().points = src->emitPoints;
      }
      EmissionGroup& g = groups[found->second];
      if (g.points.empty()) continue;
      const float speed = src->pblock2 ? src->pblock2->GetFloat(source_param::kSpeed, t) : 0.0f;
      for (INode* inst : Instances(node)) {
        if (!inst || !inst->EvalWorldState(t).obj || !written.insert(inst).second) continue;
        EmissionInstance e;
        e.objectTM = inst->GetObjectTM(t);
        e.objectTM.NoScale();
        e.velocity = inst->GetNodeTM(t).GetRow(2).Normalize() * speed;
        g.instances.push_back(e);
      }
    }
    return groups;
  };
  return WriteEmissionRecords(cacheDir, GetCOREInterface()->GetTicksPerFrame(), endFrame, sample, failure);
}

bool WriteColliderFiles(BlobNode& fluid, int firstFrame, int frameCount, ExportFailure* failure) {
  if (!fluid.cache.IsCacheDirValid()) return false;
  const std::vector<INode*> colliders = NodeList(fluid.pblock2, blob_param::kCollidersNodeList);
  auto corners = [&](int tick) {
    const TimeValue t = TimeValue(tick);
    std::vector<Point3> pts;
    for (INode* node : colliders) {
      if (!node) continue;
      const Matrix3 tm = node->GetObjectTM(t);
      Object* obj = node->EvalWorldState(t).obj;
      if (!obj || !obj->CanConvertToType(triObjectClassID())) continue;
      auto* tri = dynamic_cast<TriObject*>(obj->ConvertToType(t, triObjectClassID()));
      if (!tri) continue;
      const Mesh& mesh = tri->GetMesh();
      for (const Face& f : mesh.faces)
        for (int k = 0; k < 3; ++k) pts.push_back(tm.PointTransform(mesh.verts[size_t(f.v[k])]));
      if (tri != obj) tri->DeleteThis();
    }
    return pts;
  };
  return WriteColliderFrames(fluid.cache.cacheDir, GetCOREInterface()->GetTicksPerFrame(), firstFrame, frameCount,
                             corners, failure);
}

bool WriteKillBoxFile(BlobNode& fluid, int firstFrame, int frameCount, ExportFailure* failure) {
  if (!fluid.cache.IsCacheDirValid()) return false;
  INode* clip = GetCOREInterface()->GetINodeByName(kClipBoxName);
  if (!clip || clip->IsHidden()) return false;
  return WriteKillBoxRows(fluid.cache.cacheDir, GetCOREInterface()->GetTicksPerFrame(), firstFrame, frameCount,
                          [&](int tick, Point3* lo, Point3* hi) {
                            BlobNode::GetClipBoxAtTime(clip, TimeValue(tick), lo, hi);
                          },
                          failure);
}

void RunSolve(BlobNode& fluid, int requestedStart) {
  Interface* ip = GetCOREInterface();
  const int tpf = ip->GetTicksPerFrame();
  const int frameRate = SolverFrameRate(tpf);
  if (BlobNode::IsSolverRunning()) {
    ShowTempPrompt("One solver instance is running at this time...", 6000);
    return;
  }
  fluid.ReadParams(0);
  CacheDirectory& cache = fluid.cache;
  if (!cache.IsCacheDirValid()) return;
  // Nothing is deleted or written for a solve that cannot start.
  std::string appPath;
  if (!ReadAppPath(appPath)) {
    WarnSolverNotInstalled();
    return;
  }
  // Frames of another system are not this solver's to continue from, nor
  // to delete and write over.
  const int foreign = cache.FirstForeignFrame();
  if (foreign >= 0) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "Nothing to solve: frame %d of cache '%.200s' is not a frame of the GPU solver (another system "
                  "wrote it); choose another cache",
                  foreign, cache.cacheName.c_str());
    ShowTempPrompt(text, 6000);
    return;
  }
  const SolvePlan plan = PlanSolve(fluid.SolverStart, fluid.SolverEnd, cache.lastSolvedFrame(), requestedStart,
                                   fluid.SettleBefore != 0, fluid.settleframes);
  const int S = plan.startFrame, E = fluid.SolverEnd;
  if (plan.maxFrames <= 0) {
    char text[256];
    if (E <= fluid.SolverStart)
      std::snprintf(text, sizeof text, "Nothing to solve: Stop frame (%d) must be after Start frame (%d)", E,
                    fluid.SolverStart);
    else
      std::snprintf(text, sizeof text,
                    "Nothing to solve: frames up to Stop frame (%d) are solved; CLEAN to solve them again", E);
    ShowTempPrompt(text, 6000);
    return;
  }
  cache.DeleteFramesFrom(S + 1);
  ip->SetTime(TimeValue(S) * tpf, true);

  // The run starts from frame S as the solver wrote it, every particle and
  // its velocity, whatever the display shows (thinned, offset in time or
  // switched off); without frame S from the filled objects at rest.
  float ppuv = 0.0f;
  std::vector<Point3> positions, velocities;
  const std::string framePath = cache.FramePath(S);
  if (!framePath.empty() && ReadStartFrame(framePath, &ppuv, &positions, &velocities)) {
    // The resolution goes through the same rounding as every frame read.
    const float resolution = std::pow(ppuv, kResolutionExponent);
    ppuv = resolution * resolution * resolution;
  } else {
    positions.clear();
    for (const FillRecord& r : fluid.fillRecords) {
      if (r.layersUsed < 1 || r.layerTable.empty()) continue;
      const int layer = std::min<int>(r.layersUsed - 1, int(r.layerTable.size()) - 1);
      const size_t n = std::min<size_t>(size_t(std::max(r.layerTable[size_t(layer)], 0)), r.points.size());
      for (size_t i = 0; i < n; ++i) positions.push_back(r.points[i] * kSolverUnitScale);
    }
    velocities.assign(positions.size(), Point3(0, 0, 0));
    ppuv = fluid.SourceLOD * fluid.SourceLOD * fluid.SourceLOD;
  }
  fluid.ReadParams(0);  // the evaluation at S may have left other mirrors
  ExportFailure failure;
  bool ok = WriteFillFile(cache.cacheDir, ppuv, int(positions.size()), positions, velocities, kToSolverUnits,
                          &failure);
  ok = ok && WriteEmissionFile(fluid, cache.cacheDir, ppuv, E, &failure);
  ok = ok && WriteColliderFiles(fluid, 0, E, &failure);
  // Without a clip box there is no kill-box file to write; one that cannot
  // be written fails the export like the others.
  if (ok && !WriteKillBoxFile(fluid, 0, E, &failure)) ok = failure.path.empty();
  if (!ok) {
    std::string text = "Couldn't export data to Vorel GPU solver!";
    if (!failure.path.empty()) text += " " + DescribeFailure(failure);
    MessageBoxA(GetActiveWindow(), text.c_str(), kWarningCaption, MB_OKCANCEL);
    return;
  }
  SolverOptions o;
  o.maxFrames = plan.maxFrames;
  o.fromFrame = S;
  o.frameRate = frameRate;
  o.collisionStrength = fluid.collStrength;
  o.gravity = fluid.gravity;
  o.viscosity = fluid.viscosity;
  o.bounce = fluid.bounce;
  o.friction = fluid.friction;
  o.settleFrames = plan.settleFrames;
  StartSolver(cache.cacheDir, o);
}

}  // namespace vorel_gpufe
