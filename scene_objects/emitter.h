// The emitter ("source") scene object: a host particle object that never
// simulates. Its parameter block tells the fluid engine how to emit; for
// display it copies its own source's particles out of the engine, draws its
// emission shape and the predicted stream, and renders its particles.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fill_geometry/hilera.h"
#include "fluid_core/engine.h"
#include "host/sdk/max.h"
#include "host/ui/creation.h"
#include "scene_objects/emission_shape.h"
#include "scene_objects/particle_display.h"

class GenParticle;
class GenGhostParticle;
class GraphicsWindow;

// Draws one particle of an emitter or ghost as a drop (a line along its
// motion) or, with surface orientation, a marker. The look is taken once per
// drawing pass (BeginPass), not once per particle. Escape is tested every
// kEscapeStride particles, by the key state alone: the drawing must not
// pump the host's messages.
class RainParticleDraw : public CustomParticleDisplay {
 public:
  static constexpr int kEscapeStride = 1024;
  explicit RainParticleDraw(GenParticle* owner = nullptr) : owner_(owner) {}
  // `life` is kept at least 1.
  void Install(int life) { life_ = life < 1 ? 1 : life; }
  int Life() const { return life_; }
  // The parameters of this pass and the particles' neighbour counts.
  void BeginPass(const ParticleLook& look, int displayType, bool instanced,
                 const std::vector<int>* neighbours);
  bool DrawParticle(GraphicsWindow* gw, ParticleSys& parts, int i) override;

 private:
  GenParticle* owner_;
  int life_ = 1;
  ParticleLook look_;
  int displayType_ = 0;
  bool instanced_ = false;
  const std::vector<int>* neighbours_ = nullptr;
  int drawn_ = 0;
};

// Shared by all emitters: raised while an emitter's shape rows are being
// rebuilt, lowered when they are.
extern uint8_t SourceShapeChanged;

class GenParticle : public SimpleParticle, public FluidSource {
 public:
  static constexpr int kMaxGhosts = 2048;
  static constexpr int kResetTableSize = 6000;
  static constexpr uint16_t kGhostCountChunk = 0x07B7;
  // Flag-word bits: inside a mouse cycle; already rescaled.
  static constexpr uint32_t kInteractiveBit = A_PLUGIN2;
  static constexpr uint32_t kRescaledBit = A_PLUGIN1;
  static constexpr int kFillPercentDefault = 100;
  static constexpr int kFillCountDefault = 100000;
  // Longest folder text of the imported source frames (the scene keeps 260
  // bytes with the terminator).
  static constexpr size_t kSourceFolderMax = 259;

  GenParticle();
  ~GenParticle() override;

  // --- state ---
  std::vector<int> neighbourCounts;  // one per fetched particle
  // What the engine hands over for each shown frame, kept from one frame to
  // the next so that their room (megabytes at 100,000 particles) is not
  // taken fresh from the system at every redraw.
  struct Fetched {
    std::vector<Vec3f> pos, vel, surf;
    std::vector<int32_t> ages, nb;
    std::vector<Point3> emitted;  // where a first release would come from
  };
  Fetched fetched;
  Hileras shapeRows;
  Box3 particleBox;
  std::vector<Point3> emissionPoints;  // shape region points, solver units, node space
  std::vector<Vec3f> fillPoints;       // fill points of a filled object, solver units
  std::vector<int> layerTable;         // per filled layer, running totals of fillPoints
  float trajectoryGravity = kTrajectoryGravity;
  std::deque<TrajectoryPoint> trajectory;
  INode* emissionNode = nullptr;  // reference 1
  INode* instanceNode = nullptr;  // reference 2
  INode* mapperNode = nullptr;    // reference 3
  int lastEmissionType = 0;
  int trajectoryLengthSeen = 0;
  int sourceIndexCopy = 0;
  int frameLastShown = -1;
  BezierShape emissionShape;
  Box3 shapeBox;  // of the emission shape as last built
  int ghostCount = 0;
  std::vector<GenGhostParticle*> ghostObjects;  // kMaxGhosts entries
  std::vector<INode*> ghostNodes;               // kMaxGhosts entries: references 4 + k
  int storedTicksPerFrame = 0;
  // The open rollouts "Source params" and "Particle display params" (null
  // while closed).
  HWND sourceRollout = nullptr;
  HWND displayRollout = nullptr;
  // The stream extension's emitter position of the previous frame.
  bool streamPosKnown = false;
  Point3 streamPos;

  // The folder of the imported "%05d.source" frames; a longer text is cut.
  void SetSourceFolder(const std::string& folder);
  const std::string& SourceFolder() const { return sourceFolder_; }

  // --- own operations ---
  virtual int DisplayRolloutId() { return 169; }
  virtual int ExtraRolloutCount() { return 0; }

  // --- host object ---
  void DeleteThis() override { delete this; }
  void GetClassName(std::string& s) override { s = GetObjectName(); }
  const char* GetObjectName() override;
  void InitNodeName(std::string& s) override { s = GetObjectName(); }
  void* GetInterface(uint32_t id) override;
  using SimpleParticle::GetInterface;

  virtual void MouseCycleStarted(TimeValue t);
  virtual void MouseCycleCompleted(TimeValue t);
  virtual void MapKeys(TimeMap* map, uint32_t flags);
  virtual void RescaleWorldUnits(float factor);
  virtual int GetParameterDim(int i);  // 1 world units, 2 time, 0 default
  virtual std::string GetParameterName(int i);
  // Aligns the emitter's -z with a picked surface normal.
  virtual bool NormalAlignVector(TimeValue t, Point3& pt, Point3& norm);
  void FreeCaches() override { valid = false; }

  IParamBlock2* GetParamBlockByID(short id) override;
  int NumRefs() override { return 4 + ghostCount; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Point3 ParticlePosition(TimeValue t, int i) override;
  Point3 ParticleVelocity(TimeValue t, int i) override;
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
  CreateMouseCallBack* GetCreateMouseCallBack() override;

  // --- emission (shape, fill, trajectory) ---
  // Fills the emission shape for t and, as side effects, the rows, the
  // emission points and the trajectory.
  void BuildEmissionShape(TimeValue t, BezierShape& shape);
  // Fills the picked object with particles (emission type 2).
  void FillFromObject() override;
  // Rebuilds the shape rows and emission points when the shape changed.
  void UpdateShapeRows(BezierShape& shape);
  // The position scale of the system this emitter is bound to (its frame
  // cache's); the default 20 while it is bound to none.
  float FrameScale() const;

  // --- FluidSource ---
  IParamBlock2* SourceParamBlock() override { return pblock2; }
  ParticleObject* SourceParticles() override { return this; }
  bool HasPickedObject() override { return emissionNode != nullptr; }
  INode* PickedNode() override { return emissionNode; }
  INode* MapperNode() override { return mapperNode; }
  const Hileras* ShapeRows() override { return &shapeRows; }
  const std::vector<Point3>& ShapePoints() override { return emissionPoints; }
  const std::vector<Vec3f>& FillPoints() override { return fillPoints; }
  const std::vector<int>& FillLayerCounts() override { return layerTable; }
  void SetFillSpinnersEnabled(bool on) override;
  std::string SourceFileFolder() override { return sourceFolder_; }
  void SetSourceFileFolder(const std::string& folder) override { SetSourceFolder(folder); }
  // This emitter alone fetches again at its next update, even at the frame
  // it shows.
  void RequestRefresh() { refresh_ = true; }
  // The particles are fetched again at the next update (the fluid system
  // changed the gravity or reloaded the scene).
  void InvalidateSource() override {
    valid = false;
    mvalid = NEVER;
  }
  // The node moved: the shape rows follow the new transform (unless a run
  // holds them), and the particles are fetched again for t.
  void SourceMoved(TimeValue t, INode* node, bool keepShapeRows) override {
    if (!keepShapeRows) shapeRows.DeleteAll();
    InvalidateSource();
    UpdateParticles(t, node);
  }

  // --- shared by the display ---
  // The display parameters at t.
  ParticleLook LookAt(TimeValue t);
  // Drops the displayed particles: the table is sized to the engine
  // solver's particle vector (kResetTableSize without one), all dead.
  void ResetParticleTable(TimeValue t);
  // The node the host shows this object in (asked of the dependents).
  INode* FindOwnNode();
  // Removes an object-space modifier stack from the node; space-warp
  // bindings stay.
  void StripModifiers(INode* node);
  // Binds a new ghost source node to the next ghost reference; false when
  // the emitter holds kMaxGhosts ghosts already.
  bool AddGhostNode(INode* ghostNode);
  // Binds the ghost behind each ghost reference to this emitter (after a
  // load, once the nodes hold their objects); the ghost count becomes one
  // past the last slot bound, and references past it are let go.
  void BindGhosts();

  RainParticleDraw draw;

 protected:
  // The particle table's render mesh at t, into `out`.
  void BuildRenderMesh(TimeValue t, INode* inode, View& view, Mesh& out);
  void ExtendTrajectory(TimeValue t, int F, int displayType);
  void BuildTrajectory(TimeValue t);
  void AddTrajectorySpline(TimeValue t, BezierShape& shape);

  // Whether this emitter must fetch again: its own request, or a raise of
  // the shared SourcesNeedRefresh it has not taken up yet. True once taken.
  bool TakeRefresh();

  std::string sourceFolder_;
  bool refresh_ = true;
  uint32_t refreshSeen_ = 0;  // the shared raises taken up so far
  bool trajectoryShown_ = false;  // the shape's last spline is the stream
  // The "Render view" mesh, kept between redraws so that its arrays are
  // not allocated again for every redraw.
  Mesh viewMesh_;
};

// The concrete emitter the host creates.
class RainParticle : public GenParticle {
 public:
  RainParticle();
  Class_ID ClassID() override;
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  ReferenceTarget* Clone(RemapDir& remap) override;

  // The host interface while the rollouts are open.
  static Interface* editInterface;
};

// The render mesh of a particle object (emitter or ghost) at t, built by
// `build` from the object's particle table. Between frames the table is
// updated to t for the mesh only: afterwards it holds the whole frame below
// t again (with its neighbour counts and update time), as the viewports show.
Mesh* RenderMeshKeepingWholeFrame(SimpleParticle& obj, std::vector<int>& neighbours, TimeValue t,
                                  INode* inode, const std::function<void(Mesh&)>& build);

// Hit test of a particle object (emitter or ghost) as it is drawn at t: its
// living particles as points, then its outline (rebuilt when out of date);
// in "Render view" (renderView) the render mesh that `buildView` makes
// into `viewMesh` instead. 1 when the region hits it, else 0.
int HitTestParticleObject(SimpleParticle& obj, TimeValue t, INode* inode, int type, int crossing,
                          int flags, IPoint2* p, ViewExp* vpt, bool renderView,
                          const std::function<void(NullView&, Mesh&)>& buildView,
                          Mesh& viewMesh);

// Cuts object-space modifier stacks out of the node's object chain, keeping
// a world-space one (the node's space-warp bindings) over the base object.
// True when anything was removed.
bool StripObjectModifiers(INode* node);

// Creation of an emitter by two clicks: the first places it, the second
// (released) confirms it unless it lies within 3 pixels or 0.1 units.
class EmitterCreateCallback : public CreateMouseCallBack {
 public:
  int proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) override;

 private:
  IPoint2 start_{};
  Point3 startPoint_;
};
