// The ghost source: a display-only copy of a parent emitter's stream at
// another place. It shows the particles of the parent's source index carried
// rigidly from the parent's node to its own; it emits nothing. Its binding
// to the parent lives in the parent's references 4 + k.
#pragma once
#include <vector>

#include "scene_objects/emitter.h"

class GenGhostParticle : public SimpleParticle {
 public:
  static constexpr int kGhostLife = 9999;  // frames: ghosts never age out

  GenGhostParticle();
  ~GenGhostParticle() override;

  // --- binding (set by the parent's SetReference) ---
  GenParticle* parent = nullptr;
  INode* parentNode = nullptr;
  FluidEngine* engine = nullptr;
  int sourceIndex = 0;
  INode* ownNode = nullptr;
  // The parent's ghost slot this ghost is bound to (-1: none), fixed when the
  // ghost is made so that clones made together keep their own slots.
  int slot = -1;
  bool refresh = true;  // the ghost's own refetch request

  std::vector<int> neighbourCounts;
  Box3 particleBox;
  BezierShape emissionShape;
  int frameLastShown = -1;
  RainParticleDraw draw;

  void BindToParent(GenParticle* p, int slotIndex, INode* ghostNode);
  // Takes the parent's current engine, source index and node.
  void FollowParent();
  // The parent is going away: nothing of it may be used again, and the
  // ghost's node is deleted once the host's deletion that took the parent
  // is over.
  void ForgetParent(GenParticle* p);
  void RequestRefresh() {
    refresh = true;
    mvalid.SetEmpty();
  }

  void DeleteThis() override { delete this; }
  void GetClassName(std::string& s) override { s = GetObjectName(); }
  const char* GetObjectName() override;
  void InitNodeName(std::string& s) override { s = GetObjectName(); }
  virtual void MouseCycleStarted(TimeValue t);
  virtual void MouseCycleCompleted(TimeValue t);
  IParamBlock2* GetParamBlockByID(short id) override;
  int NumRefs() override { return 1; }
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  TimeValue ParticleLife(TimeValue t, int i) override;
  float ParticleSize(TimeValue t, int i) override;
  int ParticleCenter(TimeValue t, int i) override;
  int GetMarkerType() override;
  Interval GetValidity(TimeValue t) override { (void)t; return FOREVER; }

  void UpdateParticles(TimeValue t, INode* node) override;
  void BuildEmitter(TimeValue t, Mesh& amesh) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;

  ParticleLook LookAt(TimeValue t);

 protected:
  // Takes the node as the ghost's own and writes it into its parent slot.
  void AdoptNode(INode* node);
  void BuildRenderMesh(TimeValue t, INode* inode, View& view, Mesh& out);
  Mesh viewMesh_;  // the "Render view" mesh, kept between redraws
};

class RainGhostParticle : public GenGhostParticle {
 public:
  Class_ID ClassID() override;
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  // A ghost bound to the same parent at the parent's next free slot; an
  // unbound ghost when the parent holds its full count of ghosts.
  ReferenceTarget* Clone(RemapDir& remap) override;
};

// A first ghost for an emitter: a new ghost object in a node of its own at
// the emitter's place ("VorelGhost", made unique), bound as the emitter's
// next ghost reference. Null when the emitter cannot take another ghost.
constexpr const char* kGhostNodeName = "VorelGhost";
INode* CreateGhostSource(GenParticle* emitter, INode* emitterNode);
