// The object skeleton that the particle wrapper and the cache baker share:
// a simple object with a flat icon mesh drawn beside the surface it builds,
// the copy of a mesher result into the host mesh, and the create-panel hook
// that makes one object per click.
#pragma once
#include <vector>

#include "host/sdk/max.h"
#include "mesher/mesh_record.h"

namespace blob_skeleton {

// A flat icon: vertex rows (x, y, z) and face rows (three indices), with a
// row of three edge-visibility flags per face.
struct IconTables {
  std::vector<Point3> vertices;
  std::vector<MeshFace> faces;
  std::vector<MeshFace> edgeVisible;
};

// The wrapper's lobed blob and the baker's plaque, built once on first use.
// Faces wind counter-clockwise seen from +z and only outline edges are
// visible.
const IconTables& WrapperIcon();
const IconTables& BakerIcon();

// Fills mesh from the tables: vertices and texture vertices from the same
// rows, faces and texture faces with the same indices, smoothing flags 1,
// auto-smooth and bounding box.
void BuildIconMesh(Mesh& mesh, const IconTables& tables);

// Empties the mesh (faces, vertices, texture vertices) and its caches.
void EmptyMesh(Mesh& mesh);

// Copies a built surface into the host mesh, each vertex mapped by toObject
// (the inverse of the node's object transform): one vertex and one texture
// vertex per mesher vertex, one face and texture face per triangle with
// every edge visible, smoothing flags 1, everything smoothed together.
void CopyOutMesh(const MeshRecord& surface, Mesh& mesh, const Matrix3& toObject);

// The inverse of the object transform of obj's node at t; identity when the
// object has no node.
Matrix3 InverseNodeTM(ReferenceTarget* obj, TimeValue t);

// A simple object with an icon mesh. Display, HitTest and GetWorldBoundBox
// handle the icon and then the built mesh. Each derived class names its own
// one-shot creation flag, which its creation hook sets and the next Display
// of any object of the class clears.
class BlobSkeleton : public SimpleObject2 {
 public:
  Mesh iconMesh;
  // The node this object was last drawn with (the surface's frame).
  INode* lastNode = nullptr;

  void DeleteThis() override { delete this; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }

  virtual bool& CreationFlag() = 0;
  virtual const IconTables& Icon() = 0;
  void BuildIcon() { BuildIconMesh(iconMesh, Icon()); }

  // The two builds differ per object only in these: the parameter holding
  // the level of detail of a viewport or a render build, and the build of
  // the surface at t into mesh with that detail.
  virtual ParamID DetailParam(bool viewport) = 0;
  virtual void UpdateMesh(TimeValue t, Mesh& mesh, float detail, bool viewport) = 0;

  // The viewport build into the object's own mesh, valid at t only.
  void BuildMesh(TimeValue t) override;
  // A new mesh built for rendering; the caller deletes it.
  Mesh* GetRenderMesh(TimeValue t, INode* inode, View& view, bool& needDelete) override;
  void InvalidateUI() override;

  // Draws the icon (not in box mode), sets the text colour, leaves the
  // create mode a creation click started, then draws the built mesh.
  // Answers 0.
  int Display(TimeValue t, INode* inode, ViewExp* vpt, int flags) override;
  // A hit on the built mesh first; else the icon is tested in a 4-pixel
  // region. The window's render limits are as they were on return.
  int HitTest(TimeValue t, INode* inode, int type, int crossing, int flags, IPoint2* p,
              ViewExp* vpt) override;
  // The built mesh's world box grown by the eight corners of the icon's
  // box carried by the node's object transform.
  void GetWorldBoundBox(TimeValue t, INode* inode, ViewExp* vpt, Box3& box) override;

 protected:
  // Clone's shared part: c (a new object of this class, which it returns)
  // takes the remapped clone of the parameter block, an empty mesh validity
  // and a copy of the icon, then the host's clone step.
  ReferenceTarget* CloneInto(BlobSkeleton* c, RemapDir& remap);
};

// The text colour drawn with both objects' labels, in the 0..1 components
// the graphics window takes.
Point3 LabelColour();

// The create-panel hook of both plug-ins: unless the class's flag is set, the
// host makes one object of the class and a node at the origin, the icon is
// built, views redrawn and the flag set. Always answers 1 (the host starts
// no creation mode of its own).
int CreateFromPanel(Interface* ip, ClassDesc* cd, bool& creating);

// The class descriptor of both plug-ins' objects (Obj has a
// `Obj(bool loading)` constructor and BuildIcon): a new object gets its icon
// and, unless it is being loaded, redrawn views; the create button goes
// through CreateFromPanel with the plug-in's own creation flag.
template <class Obj>
class BlobClassDesc : public ClassDesc2 {
 public:
  BlobClassDesc(const char* name, Class_ID id, bool& creationFlag, void* instance)
      : name_(name), id_(id), creationFlag_(creationFlag), instance_(instance) {}
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading) override {
    auto* obj = new Obj(loading);
    obj->BuildIcon();
    if (!loading) GetCOREInterface()->RedrawViews(GetCOREInterface()->GetTime(), REDRAW_NORMAL);
    return obj;
  }
  int BeginCreate(Interface* ip) override { return CreateFromPanel(ip, this, creationFlag_); }
  int EndCreate(Interface*) override { return 0; }
  const char* ClassName() override { return name_; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return "Vorel pouring system"; }
  const char* InternalName() override { return "BlobNode"; }
  void* HInstance() override { return instance_; }

 private:
  const char* name_;
  Class_ID id_;
  bool& creationFlag_;
  void* instance_;
};

}  // namespace blob_skeleton
