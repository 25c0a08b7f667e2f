// How the emitter shows its particles: viewport marks, the render mesh, the
// "Render view" display, hit testing and the host's particle queries.
#include <memory>

#include "host/core/interaction.h"
#include "host/ui/ui.h"
#include "scene_objects/emitter.h"
#include "scene_objects/emitter_params.h"

namespace {
int TicksPerFrame() { return GetCOREInterface()->GetTicksPerFrame(); }

// A view for building the render mesh outside a render: identity
// world-to-view unless the viewport gives its own, 640 x 480.
NullView ViewportNullView(ViewExp* vpt) {
  NullView v;
  if (vpt) vpt->GetAffineTM(v.affineTM);
  v.worldToView = v.affineTM;
  v.campos = Inverse(v.affineTM).GetTrans();
  v.screenW = 640;
  v.screenH = 480;
  return v;
}
}  // namespace

// ------------------------------------------------------------ drop drawing

void RainParticleDraw::BeginPass(const ParticleLook& look, int displayType, bool instanced,
                                 const std::vector<int>* neighbours) {
  look_ = look;
  look_.life = life_;
  displayType_ = displayType;
  instanced_ = instanced;
  neighbours_ = neighbours;
  drawn_ = 0;
}

bool RainParticleDraw::DrawParticle(GraphicsWindow* gw, ParticleSys& parts, int i) {
  if (!gw || i < 0 || i >= parts.Count()) return false;
  if (!(displayType_ != 0 && instanced_)) {
    static const std::vector<int> kNone;
    const float s = ParticleSizeOf(look_, float(parts.ages[size_t(i)]),
                                   NeighbourOf(neighbours_ ? *neighbours_ : kNone, i, kDefaultNeighbours));
    Point3 p = parts.points[size_t(i)];
    if (look_.facing < 2) {
      Point3 line[2] = {p, p - parts.vels[size_t(i)] * (kTailFactor * s)};
      gw->polyline(2, line, nullptr, 0, nullptr);
    } else {
      gw->marker(&p, POINT_MRKR);
    }
  }
  // Escape by its key state only, now and then: pumping the host's messages
  // from inside a redraw could re-enter the drawing.
  if (++drawn_ % kEscapeStride == 0) return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
  return false;
}

// ------------------------------------------------------ particle queries

ParticleLook GenParticle::LookAt(TimeValue t) {
  ParticleLook l;
  IParamBlock2* pb = pblock2;
  if (!pb) return l;
  Interval iv;
  pb->GetValue(kEmitDropSize, t, l.dropSize, iv);
  pb->GetValue(kEmitMinSize, t, l.minSize, iv);
  pb->GetValue(kEmitSizeOnAgePercentage, t, l.agePercent, iv);
  pb->GetValue(kEmitSizeOnSolitudeRadius, t, l.minNeighbours, iv);
  int solitude = l.solitude ? 1 : 0;
  pb->GetValue(kEmitSizeOnSolitude, t, solitude, iv);
  l.solitude = solitude != 0;
  pb->GetValue(kEmitLifeTime, t, l.life, iv);
  if (l.life < 1) l.life = 1;
  pb->GetValue(kEmitRenderType, t, l.renderType, iv);
  pb->GetValue(kEmitFacingOrientation, t, l.facing, iv);
  return l;
}

float GenParticle::ParticleSize(TimeValue t, int i) {
  if (i < 0 || i >= parts.Count()) return 0.0f;
  return ShownParticleSize(LookAt(t), parts, neighbourCounts, i);
}

int GenParticle::ParticleCenter(TimeValue t, int i) {
  (void)i;
  return pblock2 && pblock2->GetInt(kEmitRenderType, t) == 1 ? PARTCENTER_CENTER : PARTCENTER_HEAD;
}

int GenParticle::GetMarkerType() {
  const int type = pblock2 ? pblock2->GetInt(kEmitDisplayType, 0) : 0;
  switch (type) {
    case 0:
    case 3:
      draw.Install(pblock2 ? pblock2->GetInt(kEmitLifeTime, 0) : 1);
      cdraw = &draw;
      return POINT_MRKR;
    case 1:
      cdraw = nullptr;
      return POINT_MRKR;
    default:
      cdraw = nullptr;
      return PLUS_SIGN_MRKR;
  }
}

// ------------------------------------------------------------ render mesh

void GenParticle::BuildRenderMesh(TimeValue t, INode* inode, View& view, Mesh& out) {
  out.FreeAll();
  const Matrix3 toMesh = inode ? Inverse(inode->GetObjectTM(t)) : Matrix3();
  ParticleLook look = LookAt(t);
  const Point3 camera = view.campos;
  switch (look.renderType) {
    case 0:
      BuildTetrahedraMesh(parts, neighbourCounts, look, toMesh, out);
      break;
    case 1:
      BuildFacingMesh(parts, neighbourCounts, look, toMesh, camera, out);
      break;
    case 3:
      if (!instanceNode) {
        BuildFacingMesh(parts, neighbourCounts, look, toMesh, camera, out);
      } else if (Object* o = instanceNode->EvalWorldState(t).obj) {
        if (o->CanConvertToType(triObjectClassID())) {
          TriObject* tri = dynamic_cast<TriObject*>(o->ConvertToType(t, triObjectClassID()));
          if (tri) BuildInstancedMesh(parts, neighbourCounts, look, toMesh, camera, tri->GetMesh(), out);
          ReleaseTriObject(o, tri);
        }
      }
      break;
    default:
      break;
  }
  FlipWhenMirrored(toMesh, out);
}

Mesh* RenderMeshKeepingWholeFrame(SimpleParticle& obj, std::vector<int>& neighbours, TimeValue t,
                                  INode* inode, const std::function<void(Mesh&)>& build) {
  const int r = t % TicksPerFrame();
  Mesh* m = new Mesh();
  if (r == 0) {
    obj.UpdateParticles(t, inode);
    build(*m);
    return m;
  }
  obj.UpdateParticles(t - r, inode);
  const ParticleSys kept = obj.parts;
  const std::vector<int> keptNeighbours = neighbours;
  const TimeValue keptTime = obj.tvalid;
  obj.UpdateParticles(t, inode);
  build(*m);
  obj.parts = kept;
  neighbours = keptNeighbours;
  obj.tvalid = keptTime;
  return m;
}

Mesh* GenParticle::GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) {
  needDelete = true;
  return RenderMeshKeepingWholeFrame(*this, neighbourCounts, t, inode,
                                     [&](Mesh& m) { BuildRenderMesh(t, inode, view, m); });
}

// ---------------------------------------------------------------- display

int GenParticle::Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) {
  (void)flags;
  if (!inode || !vpt || inode->IsHidden()) return 0;
  if (!node) {
    // A copy the host made joins its system the first time it is shown.
    node = inode;
    if (engine && engine->owner && engine->sourceCount >= 0 &&
        engine->sourceCount < FluidEngine::kMaxSources) {
      engine->owner->ReferenceSourceNode(engine->sourceCount, inode);
      ++engine->sourceCount;
    }
  }
  const Matrix3 objTM = inode->GetObjectTM(t);
  storedTM = objTM;
  UpdateParticles(t, inode);
  if (!mvalid.InInterval(t)) {
    BuildEmitter(t, mesh);
    mvalid.SetInstant(t);
  }

  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  gw->setRndLimits((limits & GW_BACKCULL) | GW_WIREFRAME | GW_Z_BUFFER);
  if (inode->Selected()) gw->setColor(LINE_COLOR, GetUIColor(0));
  else if (!inode->IsFrozen()) gw->setColor(LINE_COLOR, GetUIColor(29));

  if (EmitterVisible()) {
    gw->setTransform(objTM);
    mesh.render(gw, gw->getMaterial(), nullptr, COMP_ALL, 1);
  }
  const int displayType = pblock2 ? pblock2->GetInt(kEmitDisplayType, t) : 0;
  ParticleLook look = LookAt(t);
  if (displayType == 0) {
    draw.Install(look.life);
    cdraw = &draw;
    draw.BeginPass(look, displayType, instanceNode != nullptr, &neighbourCounts);
    GetObjectDrawHooks()->DisplayParticles(this, t, inode, vpt, flags);
  } else if (displayType == 3) {
    draw.Install(look.life);
    cdraw = &draw;
    NullView view = ViewportNullView(vpt);
    BuildRenderMesh(t, inode, view, viewMesh_);
    gw->setTransform(objTM);
    viewMesh_.render(gw, inode->Mtls(), nullptr, COMP_ALL, inode->NumMtls());
  } else {
    GetMarkerType();
    cdraw = nullptr;
    GetObjectDrawHooks()->DisplayParticles(this, t, inode, vpt, flags);
  }
  gw->setRndLimits(limits);
  return 0;
}

int HitTestParticleObject(SimpleParticle& obj, TimeValue t, INode* inode, int type, int crossing,
                          int flags, IPoint2* p, ViewExp* vpt, bool renderView,
                          const std::function<void(NullView&, Mesh&)>& buildView,
                          Mesh& viewMesh) {
  if (!vpt || !p) return 0;
  GraphicsWindow* gw = vpt->getGW();
  HitRegion hr;
  MakeHitRegion(hr, type, crossing, 10, p);
  const DWORD limits = gw->getRndLimits();
  gw->setRndLimits(limits | GW_PICK);
  gw->setHitRegion(&hr);
  gw->clearHitCode();
  const bool abortOnHit = (flags & HIT_ABORTONHIT) != 0;
  int hit = 0;
  if (!renderView) {
    obj.UpdateParticles(t, inode);
    gw->setTransform(Matrix3());
    for (int i = 0; i < obj.parts.Count() && !hit; ++i) {
      if (!obj.parts.Alive(i)) continue;
      gw->marker(&obj.parts.points[size_t(i)], POINT_MRKR);
      if (gw->checkHitCode()) hit = 1;
    }
    if (!hit) {
      if (!obj.mvalid.InInterval(t)) {
        obj.BuildEmitter(t, obj.mesh);
        obj.mvalid.SetInstant(t);
      }
      gw->setTransform(inode ? inode->GetObjectTM(t) : Matrix3());
      hit = obj.mesh.select(gw, gw->getMaterial(), &hr, abortOnHit) ? 1 : 0;
    }
  } else {
    NullView view = ViewportNullView(vpt);
    buildView(view, viewMesh);
    gw->setTransform(inode ? inode->GetObjectTM(t) : Matrix3());
    hit = viewMesh.select(gw, gw->getMaterial(), &hr, abortOnHit) ? 1 : 0;
  }
  gw->clearHitRegion();
  gw->setRndLimits(limits);
  return hit;
}

int GenParticle::HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
                         ViewExp* vpt) {
  const bool renderView = pblock2 && pblock2->GetInt(kEmitDisplayType, t) == 3;
  return HitTestParticleObject(
      *this, t, inode, type, crossing, flags, p, vpt, renderView,
      [&](NullView& view, Mesh& m) { BuildRenderMesh(t, inode, view, m); }, viewMesh_);
}
