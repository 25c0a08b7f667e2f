// FluidEngine: the system's helper nodes (sources, floor, texture gizmo,
// clip box), the scene walks, object mesh snapshots and mapping coordinates.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fluid_core/engine.h"
#include "host/core/interaction.h"
#include "host/sdk/primitives.h"

// ---------------------------------------------------------------------------
// Solver-side pieces

void ColliderMesh::FreeArrays() {
  mesh.vertices.clear();
  mesh.secondVertices.clear();
  mesh.faces.clear();
  vertexOffset.clear();
  faceArea2.clear();
  faceNormal.clear();
  faceBox.clear();
  faceExtraA.clear();
  faceExtraB.clear();
  faceNormalSpeed.clear();
  vertexVelocity.clear();
  stepStartVertices.clear();
  faceIndex = FaceIndex();
}

void FluidSolver::SetTextureGizmoBox(const Vec3f& axisX, const Vec3f& axisY, const Vec3f& axisZ,
                                     const Vec3f& centre) {
  const float k = frameCache.InvScale() * 10.0f;
  texAxisU = axisX * k;
  texAxisV = axisY * k;
  texAxisW = axisZ * k;
  texOrigin = centre * frameCache.InvScale();
  texOrigin.x -= Vec3Length(texAxisU) * 0.5f;
  texOrigin.y -= Vec3Length(texAxisV) * 0.5f;
  texOrigin.z -= Vec3Length(texAxisW) * 0.5f;
}

// ---------------------------------------------------------------------------
// Scene walks

void CollectMeshNodes(INode* node, std::vector<INode*>& list) {
  if (!node) return;
  const TimeValue t = GetCOREInterface()->GetTime();
  if (!node->IsRootNode()) {
    const ObjectState& os = node->EvalWorldState(t);
    if (!node->IsHidden() && os.obj && os.obj->CanConvertToType(triObjectClassID()) &&
        !IsSystemNodeName(node->GetName()))
      list.push_back(node);
  }
  for (int c = 0; c < node->NumberOfChildren(); ++c) CollectMeshNodes(node->GetChildNode(c), list);
}

void CollectSourceNodes(INode* node, std::vector<INode*>& list) {
  if (!node) return;
  Object* ref = node->GetObjectRef();
  Object* base = ref ? ref->FindBaseObject() : nullptr;
  if (base && base->CanConvertToType(SourceClassID())) list.push_back(node);
  for (int c = 0; c < node->NumberOfChildren(); ++c) CollectSourceNodes(node->GetChildNode(c), list);
}

// ---------------------------------------------------------------------------
// Helper nodes

namespace {
ObjectSettings DefaultObjectSettings(const PluginDefaults& d) {
  ObjectSettings s;
  s.collide = 1;
  s.collisionGap = d.objectCollisionGap;
  s.bounce = d.objectBounce;
  s.friction = d.objectFriction;
  s.tracer = d.objectHasWetmap;
  s.mapRes = d.wetmapSize;
  s.dryingTime = d.dryingTime;
  s.adherence = d.objectCoandaEffect;
  s.partKiller = false;
  return s;
}

template <typename T>
T* CreateHostObject(SClass_ID super, Class_ID id) {
  Animatable* a = GetCOREInterface()->CreateInstance(super, id);
  T* obj = dynamic_cast<T*>(a);
  if (a && !obj) a->DeleteThis();
  return obj;
}
}  // namespace

bool FluidEngine::CreateSource() {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  const int k = sourceCount;
  if (k < 0 || k >= kMaxSources) {
    MessageBoxA(nullptr, "This Vorel system already has the largest number of sources (2048).",
                "Vorel Warning!", MB_OK);
    return false;
  }
  Animatable* made = ip->CreateInstance(GEOMOBJECT_CLASS_ID, SourceClassID());
  FluidSource* src = AsFluidSource(made);
  Object* obj = dynamic_cast<Object*>(made);
  if (!src || !obj) {
    if (made) made->DeleteThis();
    return false;
  }
  INode* node = ip->CreateObjectNode(obj);
  sourceNodes[k] = node;
  sourceObjects[k] = src;
  src->engine = this;

  if (IParamBlock2* pb = src->SourceParamBlock()) {
    const PluginDefaults& d = defaults;
    pb->SetValue(kEmitDropSize, t, d.sourceDropSize);
    pb->SetValue(kEmitMinSize, t, 0.01f);
    pb->SetValue(kEmitDisplayType, t, d.particleLook);
    pb->SetValue(kEmitSizeOnAgePercentage, t, d.ageToCollapse);
    pb->SetValue(kEmitSizeOnSolitude, t, d.sizeDependsOnSolitude);
    sizeOnSolitude = d.sizeDependsOnSolitude;
    pb->SetValue(kEmitSizeOnSolitudeRadius, t, d.minNeighbours);
    pb->SetValue(kEmitRenderType, t, d.renderType);
    pb->SetValue(kEmitFacingOrientation, t, d.facingOrientation);
    pb->SetValue(kEmitLifeTime, t, d.lifeInFrames);
    pb->SetValue(kEmitParticlesShown, t, 100);
    pb->SetValue(kEmitParticlesShownInRender, t, 100);
    pb->SetValue(kEmitRadius, t, d.sourceRadius);
    pb->SetValue(kEmitEmissionRate, t, d.sourceRate);
    pb->SetValue(kEmitRandomEmission, t, d.randomEmission);
    pb->SetValue(kEmitInterParticleInteraction, t, 1);
    pb->SetValue(kEmitDisableSource, t, d.disableSource);
    pb->SetValue(kEmitTrajectoryLength, t, 30);
    pb->SetValue(kEmitSourceLod, t, d.lod);
    pb->SetValue(kEmitEmissionType, t, 0);
    pb->SetValue(kEmitThickness, t, d.thickness);
    pb->SetValue(kEmitApplyMappingAtFrame, t, 30);
    pb->SetValue(kEmitHideSource, t, d.hideSource);
    pb->SetValue(kEmitHideTrajectory, t, d.hideSourceTrajectory);
  }
  src->lifeFrames = defaults.lifeInFrames;

  std::string name = kSourceNodeName;
  ip->MakeNameUnique(name);
  node->SetName(name.c_str());

  Matrix3 tm;
  tm.RotateX(0.61086524f);
  tm.SetTrans(newSourcePlacement);
  tm.RotateZ(float(k) * newSourceAngle);
  node->SetNodeTM(t, tm);
  src->storedTM = tm;
  src->storedPos = tm.GetTrans();
  src->gravity = gravity;
  src->sourceIndex = k;
  src->node = node;

  if (owner) owner->ReferenceSourceNode(k, node);
  sourceCount = k + 1;
  solver->AddSource(Vec3f());
  return true;
}

void FluidEngine::CreateFloor() {
  Interface* ip = GetCOREInterface();
  if (ip->GetINodeByName(kFloorNodeName)) return;
  GenSphere* sphere = CreateHostObject<GenSphere>(GEOMOBJECT_CLASS_ID, sphereClassID());
  if (!sphere) return;
  sphere->SetParams(45.0f, 10, true, true, 0.5f, true, false);
  TriObject* tri = CreateNewTriObject();
  Object* converted = sphere->ConvertToType(0, triObjectClassID());
  if (TriObject* ct = dynamic_cast<TriObject*>(converted)) tri->mesh.DeepCopy(&ct->mesh);
  if (converted && converted != sphere) converted->DeleteThis();
  // The sphere only lent its mesh: it never enters the scene.
  sphere->DeleteThis();
  if (tri->mesh.getNumVerts() > 41) tri->mesh.DeleteVert(41);
  INode* node = ip->CreateObjectNode(tri, kFloorNodeName);
  Matrix3 tm;
  tm.RotateX(3.14159265f);
  tm.SetTrans(Point3(0.0f, 0.0f, 37.5f));
  node->SetNodeTM(0, tm);
  if (ObjectParamsAccess* access = GetObjectParamsAccess())
    access->AddObjectParams(this, node, DefaultObjectSettings(defaults));
  AddWetMap(node);
}

void FluidEngine::CreateTextureGizmo() {
  Interface* ip = GetCOREInterface();
  if (ip->GetINodeByName(kTextureGizmoNodeName)) return;
  Object* rect = CreateHostObject<Object>(SHAPE_CLASS_ID, rectangleClassID());
  if (!rect) return;
  INode* node = ip->CreateObjectNode(rect, kTextureGizmoNodeName);
  node->SetNodeTM(0, Matrix3());
  if (IParamBlock2* pb = rect->GetParamBlock(0)) {
    pb->SetValue(RECTANGLE_LENGTH, 0, 10.0f);
    pb->SetValue(RECTANGLE_WIDTH, 0, 10.0f);
  }
  node->AllEdges(true);
}

void FluidEngine::CreateClipBox() {
  Interface* ip = GetCOREInterface();
  if (ip->GetINodeByName(kClipBoxNodeName)) return;
  Object* box = CreateHostObject<Object>(GEOMOBJECT_CLASS_ID, boxObjectClassID());
  if (!box) return;
  INode* node = ip->CreateObjectNode(box, kClipBoxNodeName);
  Matrix3 tm;
  node->SetNodeTM(0, tm);
  // Seen through, kept out of renders, drawn as a frame.
  node->XRayMtl(true);
  node->SetRenderable(false);
  node->AllEdges(true);
  tm.SetTrans(Point3(0.0f, 0.0f, -50.0f));
  node->SetNodeTM(0, tm);
  if (IParamBlock2* pb = box->GetParamBlock(0)) {
    pb->SetValue(BOXOBJ_LENGTH, 0, 200.0f);
    pb->SetValue(BOXOBJ_WIDTH, 0, 200.0f);
    pb->SetValue(BOXOBJ_HEIGHT, 0, 200.0f);
  }
  node->SetWireColor(255);
}

void FluidEngine::UpdateClipBox() {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  INode* node = ip->GetINodeByName(kClipBoxNodeName);
  Vec3f lo(-1e9f, -1e9f, -1e9f), hi(1e9f, 1e9f, 1e9f);
  if (node && !node->IsHidden()) {
    const ObjectState& os = node->EvalWorldState(t);
    if (os.obj) {
      Matrix3 tm = node->GetNodeTM(t);
      Box3 box;
      os.obj->GetDeformBBox(t, box);
      if (!box.IsEmpty()) {
        // All eight corners: a turned box must still give lower <= upper.
        lo = Vec3f(1e30f, 1e30f, 1e30f);
        hi = Vec3f(-1e30f, -1e30f, -1e30f);
        for (int c = 0; c < 8; ++c) {
          Point3 q((c & 1) ? box.pmax.x : box.pmin.x, (c & 2) ? box.pmax.y : box.pmin.y,
                   (c & 4) ? box.pmax.z : box.pmin.z);
          Point3 w = tm.PointTransform(q) * InvFrameScale();
          for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], w[a]);
            hi[a] = std::max(hi[a], w[a]);
          }
        }
      }
    }
  }
  solver->domainMin = lo;
  solver->domainMax = hi;
}

void FluidEngine::UpdateTextureGizmo() {
  Interface* ip = GetCOREInterface();
  INode* node = ip->GetINodeByName(kTextureGizmoNodeName);
  Matrix3 tm = node ? node->GetNodeTM(ip->GetTime()) : Matrix3();
  auto v = [&](int r) {
    Point3 p = tm.GetRow(r);
    return Vec3f(p.x, p.y, p.z);
  };
  solver->SetTextureGizmoBox(v(0), v(1), v(2), v(3));
}

void FluidEngine::AddDefaultObjectParams() {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  std::vector<INode*> nodes;
  CollectMeshNodes(ip->GetRootNode(), nodes);
  ObjectParamsAccess* access = GetObjectParamsAccess();
  for (INode* node : nodes) {
    if (node == systemNode || IsSystemNodeName(node->GetName())) continue;
    bool picked = false;
    for (int i = 0; i < sourceCount && i < kMaxSources && !picked; ++i) {
      if (!SlotUsable(i)) continue;
      picked = ReadIntParam(SourceBlock(i), kEmitEmissionType, t, 0) == 1 &&
               sourceObjects[i]->PickedNode() == node;
    }
    if (!picked && access && !access->HasObjectParams(node))
      access->AddObjectParams(this, node, DefaultObjectSettings(defaults));
    AddWetMap(node);
  }
}

// ---------------------------------------------------------------------------
// Object snapshots and mapping coordinates

bool FluidEngine::BuildObjectMesh(INode* node, ColliderMesh& mesh, TriObject*& triObject) {
  triObject = nullptr;
  if (!node) return false;
  const TimeValue t = GetCOREInterface()->GetTime();
  const ObjectState& os = node->EvalWorldState(t);
  if (!os.obj || !os.obj->CanConvertToType(triObjectClassID())) return false;
  triObject = dynamic_cast<TriObject*>(os.obj->ConvertToType(t, triObjectClassID()));
  if (!triObject) return false;
  const Matrix3 tm = node->GetObjectTM(t);
  const Mesh& m = triObject->mesh;
  mesh.mesh.vertices.clear();
  mesh.mesh.faces.clear();
  mesh.vertexOffset.clear();
  mesh.mesh.vertices.reserve(size_t(m.getNumVerts()));
  for (const Point3& v : m.verts) mesh.mesh.vertices.push_back(tm.PointTransform(v) * InvFrameScale());
  for (const UVVert& uv : m.tVerts) mesh.vertexOffset.emplace_back(uv.x, uv.y, uv.z);
  mesh.mesh.faces.reserve(size_t(m.getNumFaces()));
  for (const Face& f : m.faces) mesh.mesh.faces.push_back({int32_t(f.v[0]), int32_t(f.v[1]), int32_t(f.v[2])});
  mesh.ComputeFaceData(1.3333f * solver->h);
  return true;
}

void FluidEngine::ApplySourceMapping() {
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  const int frame = t / ip->GetTicksPerFrame();
  for (int i = 0; i < sourceCount && i < kMaxSources; ++i) {
    if (!SlotUsable(i)) continue;
    INode* mapper = sourceObjects[i]->MapperNode();
    if (!mapper || ReadIntParam(SourceBlock(i), kEmitApplyMappingAtFrame, t, -1) != frame)
      continue;
    ColliderMesh snapshot;
    TriObject* tri = nullptr;
    Object* evaluated = mapper->EvalWorldState(t).obj;
    if (!BuildObjectMesh(mapper, snapshot, tri)) {
      ReleaseTriObject(evaluated, tri);
      continue;
    }
    const Mesh& m = tri->mesh;
    // Without texture vertices, or without faces to search, there is
    // nothing to map from.
    if (m.getNumTVerts() > 0 && snapshot.FaceCount() > 0 && m.getNumTVFaces() >= m.getNumFaces()) {
      const Matrix3 inv = mapper->GetObjectTM(t).Inverse();
      for (int p = 0; p < solver->count; ++p) {
        FluidParticle& q = solver->particles[size_t(p)];
        if (q.sourceIndex != i || Vec3Equal(q.pos, solver->parkingPos)) continue;
        int face = 0;
        Vec3f foot;
        NearestFace(snapshot, q.pos, face, foot);
        if (face < 0 || face >= m.getNumFaces()) continue;
        Point3 local = inv.PointTransform(Point3(foot.x, foot.y, foot.z) * FrameScale());
        Point3 b = m.BaryCoords(DWORD(face), local);
        const TVFace& tf = m.tvFace[size_t(face)];
        Point3 uvw(0.0f, 0.0f, 0.0f);
        for (int c = 0; c < 3; ++c) {
          const DWORD tv = tf.t[c];
          if (tv < DWORD(m.getNumTVerts())) uvw += m.tVerts[tv] * b[c];
        }
        q.texCoord = Vec3f(uvw.x, uvw.y, uvw.z);
      }
    }
    ReleaseTriObject(evaluated, tri);
    snapshot.FreeArrays();
  }
}
