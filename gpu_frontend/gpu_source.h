// VorSourceObj: the pouring source of the GPU route. A small scene object
// that marks where liquid enters (a circle of its radius) and previews the
// ballistic path of what leaves it; the GPU fluid object creates it and
// lists its node, and the emission export samples it.
#pragma once
#include <cstdint>
#include <vector>

#include "fill_geometry/hilera.h"
#include "host/sdk/max.h"

namespace vorel_gpufe {

class BlobNode;

inline Class_ID VorSourceObjClassID() { return Class_ID(0x430E10C6, 0x7280BD61); }

// Parameter ids of the source's block (block 0).
namespace source_param {
enum : ParamID { kRadius = 0, kSpeed = 1, kDisableSource = 2, kDrawTrajectory = 3, kDrawSource = 4 };
}

// Knots of the trajectory preview: the start and one per frame for 14 frames.
constexpr int kTrajectoryKnots = 15;
// Sub-steps per frame of the trajectory preview.
constexpr int kTrajectorySubSteps = 5;
// Samples per spline segment of the line mesh.
constexpr int kLineSamplesPerSegment = 6;
// Handle length of a quarter-circle Bezier arc per unit radius.
constexpr float kQuarterCircleHandle = 0.5517861843109131f;
// Pick size of the emit-point markers, in pixels.
constexpr int kSourcePickSize = 8;

class VorSourceObj : public SimpleObject2 {
 public:
  VorSourceObj();
  ~VorSourceObj() override;

  // pblock2 (reference 0) is the simple object's own member.
  BezierShape shape;                 // spline 0: circle; spline 1: trajectory (object space)
  Hileras rows;                      // outline rows of the emission sampling
  std::vector<Point3> emitPoints;    // points of one sub-step, solver units
  std::vector<Point3> basePoints;    // the shape's lattice, two layers
  float creationScale = 0.0f;
  BlobNode* owner = nullptr;         // not owned; cleared when the owner goes
  INode* node = nullptr;             // not owned
  uint8_t pendingRegister = 0;       // join the owner's list at the next shape update
  float emitAccumulator = 0.0f;
  float speedCache = 10.0f;

  // Rebuilds shape at t (circle; trajectory only at t == 0 when drawn).
  // Without a node or block the shape keeps its content.
  void UpdateShape(TimeValue t);
  // Adds a closed four-knot Bezier circle of radius r in the xy plane.
  static void MakeSourceCircle(BezierShape& shape, float r);
  // Adds the open n-knot ballistic preview from T's origin along T's z
  // (speed in solver units per second, g the fluid's gravity x 10). A
  // transform whose x and y rows are parallel or zero has no object space to
  // draw in: nothing is added and false is returned.
  static bool MakeTrajectory(BezierShape& shape, float speed, float g, const Matrix3& T, int n);
  // Polyline mesh of a spline: 6 samples per segment (plus the first again
  // when closed), faces (k, k+1, k).
  static void SplineToLineMesh(Spline3D& spline, Mesh& mesh, bool close);
  // The node that shows this object (dependents first, then the scene).
  INode* FindOwnNode();

  // Host object interface.
  void DeleteThis() override { delete this; }
  void GetClassName(std::string& s) override;
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return VorSourceObjClassID(); }
  void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) override;
  void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  IParamBlock2* GetParamBlockByID(short id) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  int CanConvertToType(Class_ID obtype) override;
  Interval ObjectValidity(TimeValue t) override;
  void BuildMesh(TimeValue t) override;

  // The host interface of the open rollout (one for every source).
  static Interface* editInterface;
};

// Clears the owner of every source that names owner (the fluid object is
// going away; its sources stay in the scene).
void ForgetSourceOwner(BlobNode* owner);

}  // namespace vorel_gpufe
