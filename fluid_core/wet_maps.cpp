// FluidEngine: the wet-map records of the scene objects the liquid touches
// (registration, resizing, rebuilding, restoring after a load) and the
// repaint of one frame.
#include <algorithm>
#include <cstring>

#include "fluid_core/engine.h"
#include "fluid_core/frame_cache.h"
#include "fluid_core/wet_maps.h"
#include "host/core/files.h"

namespace {

constexpr int kWetmapsDistanceFactor = 31;  // fluid system block 0

bool StartsWithVorel(const char* name) { return name && std::strncmp(name, "Vorel", 5) == 0; }

}  // namespace

void FluidEngine::AddWetMap(INode* node) {
  if (!node) return;
  for (WetMap* w : wetMaps)
    if (w->node == node) return;
  wetMaps.push_back(new WetMap(node, node->GetName()));
}

void FluidEngine::ResizeWetMaps() {
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return;
  for (WetMap* w : wetMaps) {
    WetmapParams p;
    if (!w->node || !access->GetWetmapParams(w->node, p)) continue;
    // An empty prefix would name every such map's files "_0000.bmp" in one
    // folder, each object overwriting the others' maps: keep the node's name.
    if (!p.mapPrefix.empty()) w->SetName(p.mapPrefix.c_str());
    w->dryingTime = p.dryingTime;
    w->Resize(p.mapRes);
  }
}

void FluidEngine::RebuildWetMapList() {
  std::vector<INode*> nodes;
  CollectMeshNodes(GetCOREInterface()->GetRootNode(), nodes);
  FreeWetMaps();
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return;
  for (INode* n : nodes) {
    ObjectParams p;
    if (access->GetObjectParams(n, p) && p.collide) AddWetMap(n);
  }
}

void FluidEngine::RestoreWetMaps() {
  std::vector<INode*> nodes;
  CollectMeshNodes(GetCOREInterface()->GetRootNode(), nodes);
  for (INode* n : nodes) {
    if (n == systemNode || StartsWithVorel(n->GetName())) continue;
    if (std::find(savedWetMapNames.begin(), savedWetMapNames.end(), n->GetName()) != savedWetMapNames.end())
      AddWetMap(n);
  }
}

void FluidEngine::RemoveObjectParamsFromScene() {
  ObjectParamsAccess* access = GetObjectParamsAccess();
  if (!access) return;
  std::vector<INode*> nodes;
  CollectMeshNodes(GetCOREInterface()->GetRootNode(), nodes);
  for (INode* n : nodes) access->RemoveObjectParams(n);
}

void FluidEngine::ForgetNode(INode* node) {
  if (!node) return;
  for (auto it = wetMaps.begin(); it != wetMaps.end();) {
    if ((*it)->node != node) {
      ++it;
      continue;
    }
    delete *it;
    it = wetMaps.erase(it);
  }
}

void FluidEngine::FreeWetMaps() {
  for (WetMap* w : wetMaps) delete w;
  wetMaps.clear();
}

void FluidEngine::RepaintWetMaps(int frame) {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  // The liquid's surface of the frame before: frame 0 has none, so it only
  // dries and saves.
  std::vector<Vec3f> verts, second, mapPoints;
  std::vector<std::array<int32_t, 3>> faces;
  int vertexCount = 0, faceCount = 0;
  const bool haveSurface = frame >= 1 && solver &&
                           solver->frameCache.ReadMeshFrame(frame - 1, vertexCount, faceCount, verts, second,
                                                            mapPoints, faces);
  const float factor = ReadFloatParam(owner ? owner->SystemParamBlock() : nullptr, kWetmapsDistanceFactor, t, 1.0f);
  const float wetDistance = factor * (solver ? solver->h : 0.0f);
  ObjectParamsAccess* access = GetObjectParamsAccess();
  const std::string mapsFolder = (solver ? solver->frameCache.SystemFolder() : std::string()) + "maps";
  for (WetMap* w : wetMaps) {
    if (!w->node || !access) continue;
    WetmapParams p;
    if (!access->GetWetmapParams(w->node, p) || !p.tracer) continue;
    std::vector<WetTriangle> triangles;
    if (haveSurface) {
      ColliderMesh mesh;
      TriObject* tri = nullptr;
      const ObjectState& os = w->node->EvalWorldState(t);
      if (BuildObjectMesh(w->node, mesh, tri) && tri) {
        Matrix3 inverse = Inverse(w->node->GetObjectTM(t));
        BuildWetTriangles(mesh, tri->GetMesh(), inverse, FrameScale(), verts, faces, wetDistance, triangles);
      }
      ReleaseTriObject(os.obj, tri);
    }
    const std::string name = WetMapFolderName(w->name);
    const std::string folder = mapsFolder + "/" + name;
    // Each level, so that a system whose cache folder is not there yet still gets its maps.
    if (solver) {
      CreateDirectoryA((solver->frameCache.cacheRoot + "/Vorel").c_str(), nullptr);
      CreateDirectoryA(solver->frameCache.SystemFolder().c_str(), nullptr);
    }
    CreateDirectoryA(mapsFolder.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    const int dryStep = WetMapDryStep(ip->GetTicksPerFrame(), p.dryingTime);
    DumpWetMap(w->dc, w->bitmap, w->width, w->height, frame, dryStep, int(triangles.size()), triangles.data(),
               folder + "/" + name);
  }
}
