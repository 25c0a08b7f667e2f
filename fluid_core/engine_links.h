// What the fluid engine needs of the objects around it, as small interfaces
// of its own: the fluid system object that embeds it (owner), its emitters
// (sources) and the per-object collision settings of scene objects. The
// plug-in implements them; tests use fakes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fluid_core/vec3.h"
#include "host/sdk/max.h"

class FluidEngine;
class Hileras;

// ---------------------------------------------------------------------------
// Owner: the fluid system object. Every call has a harmless default so that a
// partial owner (or a test fake) only overrides what it uses.
class FluidEngineOwner {
 public:
  virtual ~FluidEngineOwner() = default;

  // The system's parameter block 0, or null (defaults then apply).
  virtual IParamBlock2* SystemParamBlock() { return nullptr; }

  // Flags kept in the object: a long run is going on (`isSolving`), a frame
  // solve is running inside it (`solveRunning`), the scene was just loaded.
  virtual bool IsSolving() { return false; }
  virtual bool SolveRunning() { return false; }
  virtual void SetSolveRunning(bool on) { (void)on; }
  virtual bool JustLoaded() { return false; }
  virtual void ClearJustLoaded() {}
  // GetTickCount() when the running solve began (elapsed-time display).
  virtual unsigned SolveStartClock() { return 0; }

  // Surface display: load cache frame g's stored surface mesh into the
  // object, or empty it; rebuild the icon; invalidate both meshes' caches.
  virtual void LoadSurfaceFrame(int frame) { (void)frame; }
  virtual void ClearMesh() {}
  virtual void BuildIconMesh() {}
  virtual void InvalidateMeshCaches() {}
  // The object's cached validity is dropped so that the host evaluates it again.
  virtual void InvalidateValidity() {}
  // A new source node takes reference index slot + 1 on the object.
  virtual void ReferenceSourceNode(int slot, INode* node) { (void)slot; (void)node; }

  // The cache rollout's window, null while it is closed; statistics texts
  // are written into it through SetDialogText.
  virtual HWND CacheRollout() { return nullptr; }
  virtual void SetDialogText(HWND dialog, int control, const char* text) {
    (void)dialog; (void)control; (void)text;
  }
  // The running solve's progress dialog (may be absent: then nothing).
  virtual void SetSolveProgress(int position, int rangeLow, int rangeHigh) {
    (void)position; (void)rangeLow; (void)rangeHigh;
  }
  virtual void SetSolveElapsedText(const char* text) { (void)text; }
};

// ---------------------------------------------------------------------------
// Source: an emitter object. The fields are the state the engine reads and
// writes on the emitter; the virtual calls are what only the emitter can do.
// An emitter answers `GetInterface(I_FLUIDSOURCE)` with its FluidSource.
constexpr uint32_t I_FLUIDSOURCE = 0x56F1A5E1u;

class FluidSource {
 public:
  virtual ~FluidSource() = default;

  // The emitter's parameter block 0, or null.
  virtual IParamBlock2* SourceParamBlock() = 0;
  // The host particle object behind the emitter (display particles), or null.
  virtual ParticleObject* SourceParticles() { return nullptr; }
  // A fill / emission object has been picked on the emitter.
  virtual bool HasPickedObject() { return false; }
  // The picked object's node (emission type 1 or 2), or null.
  virtual INode* PickedNode() { return nullptr; }
  // The mapper object's node, or null.
  virtual INode* MapperNode() { return nullptr; }
  // Fills the picked object with particles again (fill points, layer counts).
  virtual void FillFromObject() {}
  // Enables or disables the two fill spinners; nothing while the rollout is closed.
  virtual void SetFillSpinnersEnabled(bool on) { (void)on; }
  // Shape outlines of a shape emitter (null for none).
  virtual const Hileras* ShapeRows() { return nullptr; }
  // Shape points in the emitter's own units (host units / S).
  virtual const std::vector<Point3>& ShapePoints() { return noPoints_; }
  // Fill points (solver units) and per-layer running totals of them.
  virtual const std::vector<Vec3f>& FillPoints() { return noFill_; }
  virtual const std::vector<int>& FillLayerCounts() { return noLayers_; }
  // Folder of the imported "%05d.source" files (emission type 3).
  virtual std::string SourceFileFolder() { return std::string(); }
  // A loaded scene hands the emitter its saved source-file folder back.
  virtual void SetSourceFileFolder(const std::string& folder) { (void)folder; }
  // Empties the emitter's validity so that the host evaluates it again.
  virtual void InvalidateSource() {}
  // The emitter's node moved at t: its cached shape rows are emptied unless
  // keepShapeRows, its validity emptied and its particles updated for t.
  virtual void SourceMoved(TimeValue t, INode* node, bool keepShapeRows) {
    (void)t; (void)node; (void)keepShapeRows;
  }

  FluidEngine* engine = nullptr;
  INode* node = nullptr;
  int32_t sourceIndex = 0;
  int32_t emissionType = 0;  // as last read
  float gravity = 0.0f;
  int32_t lifeFrames = 9999;
  uint8_t fillPending = 0;
  uint8_t changed = 0;
  int32_t fillLayer = 0;
  int32_t fillCount = 0;
  Matrix3 storedTM;  // set when the source is created
  Point3 storedPos;

 private:
  std::vector<Point3> noPoints_;
  std::vector<Vec3f> noFill_;
  std::vector<int> noLayers_;
};

// The emitter behind an object, or null.
FluidSource* AsFluidSource(Animatable* object);

// ---------------------------------------------------------------------------
// Per-object collision settings of a scene object (the plug-in's custom
// attribute). The plug-in installs its accessor; without one no object has
// settings, so nothing collides.
struct ObjectParams {
  int collide = 1;
  float collisionGap = 0.1f;
  float bounce = 5.0f;
  float friction = 1.0f;
  float adherence = 0.65f;
  bool partKiller = false;
};
struct WetmapParams {
  int tracer = 0;
  int mapRes = 256;
  std::string mapPrefix;
  float dryingTime = 1.0f;
};
// What a new attribute is given.
struct ObjectSettings {
  int collide = 1;
  float collisionGap = 0.01f;
  float bounce = 50.0f;
  float friction = 1.0f;
  int tracer = 1;
  int mapRes = 256;
  float dryingTime = 1.0f;
  float adherence = 0.33f;
  bool partKiller = false;
};

class ObjectParamsAccess {
 public:
  virtual ~ObjectParamsAccess() = default;
  // True and the values at the current time, or false with `out` untouched.
  virtual bool GetObjectParams(INode* node, ObjectParams& out) = 0;
  virtual bool GetWetmapParams(INode* node, WetmapParams& out) = 0;
  virtual bool HasObjectParams(INode* node) = 0;
  // Attaches (or overwrites) the attribute; a new one registers a wet map
  // with the engine.
  virtual void AddObjectParams(FluidEngine* engine, INode* node, const ObjectSettings& s) = 0;
  virtual void RemoveObjectParams(INode* node) = 0;
};
// Process-wide accessor (null: none installed).
void SetObjectParamsAccess(ObjectParamsAccess* access);
ObjectParamsAccess* GetObjectParamsAccess();
