// The host's reference system: every scene entity is an Animatable; makers
// hold numbered references to targets, and targets know their dependents so
// that a change or a deletion reaches everything that depends on it.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/core/geom.h"

// Super class ids the plug-ins and the host's own classes report.
constexpr SClass_ID GEN_DERIVOB_CLASS_ID = 0x2;
constexpr SClass_ID DERIVOB_CLASS_ID = 0x2;
constexpr SClass_ID WSM_DERIVOB_CLASS_ID = 0x3;
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x10;
constexpr SClass_ID CAMERA_CLASS_ID = 0x20;
constexpr SClass_ID LIGHT_CLASS_ID = 0x30;
constexpr SClass_ID SHAPE_CLASS_ID = 0x40;
constexpr SClass_ID HELPER_CLASS_ID = 0x50;
constexpr SClass_ID BASENODE_CLASS_ID = 0x1;
constexpr SClass_ID OSM_CLASS_ID = 0x810;
constexpr SClass_ID WSM_CLASS_ID = 0x820;
constexpr SClass_ID WSM_OBJECT_CLASS_ID = 0x830;
constexpr SClass_ID MATERIAL_CLASS_ID = 0xC00;
constexpr SClass_ID CUST_ATTRIB_CLASS_ID = 0x1160;
constexpr SClass_ID PARAMETER_BLOCK2_CLASS_ID = 0x82;
constexpr SClass_ID REF_TARGET_CLASS_ID = 0x900;

// Class ids of the host's own classes.
inline Class_ID triObjectClassID() { return Class_ID(9, 0); }
inline Class_ID defObjectClassID() { return Class_ID(0xAA, 0); }  // any deformable object
inline Class_ID mapObjectClassID() { return Class_ID(0xBB, 0); }
inline Class_ID genericShapeClassID() { return Class_ID(0x1060, 0); }
inline Class_ID splineShapeClassID() { return Class_ID(10, 0); }
inline Class_ID rectangleClassID() { return Class_ID(0x1065, 0); }
inline Class_ID boxObjectClassID() { return Class_ID(16, 0); }
inline Class_ID sphereClassID() { return Class_ID(17, 0); }
inline Class_ID derivObjClassID() { return Class_ID(0xD1, 0); }
inline Class_ID WSMDerivObjClassID() { return Class_ID(0xD2, 0); }
inline Class_ID nodeClassID() { return Class_ID(1, 0); }
inline Class_ID standardMtlClassID() { return Class_ID(2, 0); }
inline Class_ID paramBlock2ClassID() { return Class_ID(0x82, 0); }
#define TRIOBJ_CLASS_ID 9
#define BOXOBJ_CLASS_ID 16
#define SPHERE_CLASS_ID 17

typedef uintptr_t PartID;  // wide enough for the pointer some messages carry
typedef uint32_t RefMessage;
typedef int RefResult;

constexpr RefResult REF_FAIL = 0;
constexpr RefResult REF_SUCCEED = 1;
constexpr RefResult REF_DONTCARE = 2;
constexpr RefResult REF_STOP = 3;

// Reference messages.
constexpr RefMessage REFMSG_LOOPTEST = 0x10;
constexpr RefMessage REFMSG_TARGET_DELETED = 0x20;
constexpr RefMessage REFMSG_MODAPP_DELETING = 0x21;
constexpr RefMessage REFMSG_CHANGE = 0x50;
constexpr RefMessage REFMSG_FLAGDEPENDENTS = 0x70;
constexpr RefMessage REFMSG_SUBANIM_STRUCTURE_CHANGED = 0xB0;
constexpr RefMessage REFMSG_NODE_NAMECHANGE = 0xF8;
constexpr RefMessage REFMSG_OBREF_CHANGE = 0xC0;
constexpr RefMessage REFMSG_TEST_DEPENDENCY = 0x105;  // 261
constexpr RefMessage REFMSG_GET_NODE_HANDLE = 0x220;

// Parts of an object a change message concerns.
constexpr PartID PART_TOPO = 1 << 0;
constexpr PartID PART_GEOM = 1 << 1;
constexpr PartID PART_TEXMAP = 1 << 2;
constexpr PartID PART_MTL = 1 << 3;
constexpr PartID PART_SELECT = 1 << 4;
constexpr PartID PART_SUBSEL_TYPE = 1 << 5;
constexpr PartID PART_DISPLAY = 1 << 6;
constexpr PartID PART_VERTCOLOR = 1 << 7;
constexpr PartID PART_GFX_DATA = 1 << 8;
constexpr PartID PART_TM_CHAN = 1 << 10;
constexpr PartID PART_OBJECT_TYPE = 1 << 11;
constexpr PartID PART_TM = 1 << 12;  // 0x1000: a node transform changed
constexpr PartID PART_OBJ = PART_TOPO | PART_GEOM;
constexpr PartID PART_ALL = 0xFFFFFFFF;

// REFMSG_GET_NODE_HANDLE carries a pointer to a uint32_t in partID; a node
// among the dependents writes its handle there.

// Animatable flag bits.
constexpr uint32_t A_WORK1 = 0x1000;  // scratch bit for dependency tests
constexpr uint32_t A_IS_DELETED = 0x4000;
constexpr uint32_t A_OBJ_CREATING = 0x2000;
constexpr uint32_t A_PLUGIN1 = 1u << 28;
constexpr uint32_t A_PLUGIN2 = 1u << 29;

class Animatable;
class ReferenceMaker;
class ReferenceTarget;
class INode;
class IParamBlock2;
class ISave;
class ILoad;
class BaseInterface;
class FPInterface;
class ICustAttribContainer;
class Interface;
typedef ReferenceTarget* RefTargetHandle;
typedef ReferenceMaker* RefMakerHandle;

typedef int IOResult;
constexpr IOResult IO_OK = 0;
constexpr IOResult IO_END = 1;
constexpr IOResult IO_ERROR = 2;

class Animatable {
 public:
  Animatable();
  virtual ~Animatable();
  Animatable(const Animatable&) = delete;
  Animatable& operator=(const Animatable&) = delete;

  virtual Class_ID ClassID() { return Class_ID(0, 0); }
  virtual SClass_ID SuperClassID() { return 0; }
  virtual void GetClassName(std::string& s) { s = "Animatable"; }
  virtual void DeleteThis() { delete this; }

  // Mixin interfaces by id; the base knows none.
  virtual BaseInterface* GetInterface(Interface_ID id);
  virtual void* GetInterface(uint32_t id) { (void)id; return nullptr; }

  virtual int NumParamBlocks() { return 0; }
  virtual IParamBlock2* GetParamBlock(int i) { (void)i; return nullptr; }
  virtual IParamBlock2* GetParamBlockByID(short id);

  virtual void BeginEditParams(Interface* ip, uint32_t flags, Animatable* prev) {
    (void)ip; (void)flags; (void)prev;
  }
  virtual void EndEditParams(Interface* ip, uint32_t flags, Animatable* next) {
    (void)ip; (void)flags; (void)next;
  }

  void SetAFlag(uint32_t mask) { aflag_ |= mask; }
  void ClearAFlag(uint32_t mask) { aflag_ &= ~mask; }
  bool TestAFlag(uint32_t mask) const { return (aflag_ & mask) != 0; }

  // Custom attributes hang off any animatable.
  ICustAttribContainer* GetCustAttribContainer() { return cust_attribs_; }
  void AllocCustAttribContainer();
  void DeleteCustAttribContainer();

  // True while the object exists: lets the host walk lists of raw pointers
  // that notifications may have shortened.
  static bool IsAlive(const Animatable* a);

 protected:
  uint32_t aflag_ = 0;
  ICustAttribContainer* cust_attribs_ = nullptr;
};

class RemapDir;

// Maps times (key scaling).
class TimeMap {
 public:
  virtual ~TimeMap() = default;
  virtual TimeValue map(TimeValue t) = 0;
  virtual TimeValue prevmap(TimeValue t) { return t; }
};

class ReferenceMaker : public Animatable {
 public:
  virtual int NumRefs() { return 0; }
  virtual RefTargetHandle GetReference(int i) { (void)i; return nullptr; }
  // Assigns the reference and keeps the dependent lists right. i may equal
  // NumRefs() when the maker grows its table to take the new reference.
  RefResult ReplaceReference(int i, RefTargetHandle target, bool delOld = true);
  // Drops every reference the maker holds.
  void DeleteAllRefs();
  void DeleteAllRefsFromMe() { DeleteAllRefs(); }
  // Called on the maker when a target it references changed or is deleted.
  virtual RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) {
    (void)changeInt; (void)hTarget; (void)partID; (void)message;
    return REF_SUCCEED;
  }
  virtual bool IsRefTarget() { return false; }
  virtual bool IsNode() { return false; }
  // Render bracket around a sequence of rendered frames.
  virtual int RenderBegin(TimeValue t, uint32_t flags = 0) { (void)t; (void)flags; return 0; }
  virtual int RenderEnd(TimeValue t) { (void)t; return 0; }
  // The maker's own chunks in a saved scene.
  virtual IOResult Save(ISave* isave) { (void)isave; return IO_OK; }
  virtual IOResult Load(ILoad* iload) { (void)iload; return IO_OK; }
  // Deletes the maker; a target first tells its dependents.
  void DeleteMe();

  // Only the reference machinery calls this: it stores the pointer.
  virtual void SetReference(int i, RefTargetHandle rtarg) { (void)i; (void)rtarg; }

  // Releases what the maker still references (targets left without
  // dependents may delete themselves).
  ~ReferenceMaker() override;

 protected:
  // For makers that keep references outside numbered slots' ReplaceReference
  // (parameter-block node entries): record / drop one reference to t.
  void HoldTarget(ReferenceTarget* t);
  void ReleaseTarget(ReferenceTarget* t);

 private:
  friend class ReferenceTarget;
  std::vector<ReferenceTarget*> held_;  // one entry per reference made
};

// Results of a DependentEnumProc.
constexpr int DEP_ENUM_CONTINUE = 0;
constexpr int DEP_ENUM_HALT = 1;
constexpr int DEP_ENUM_SKIP = 2;  // do not descend below this dependent

// Dependents enumeration callback.
class DependentEnumProc {
 public:
  virtual ~DependentEnumProc() = default;
  // Return 1 to stop the walk.
  virtual int proc(ReferenceMaker* rmaker) = 0;
};

class ReferenceTarget : public ReferenceMaker {
 public:
  bool IsRefTarget() override { return true; }
  // Sends a message to every maker that references this target.
  RefResult NotifyDependents(Interval changeInt, PartID partID, RefMessage message,
                             SClass_ID sclass = 0, bool propagate = true,
                             RefTargetHandle hTarg = nullptr);
  // Makers that reference this target, in the order their references were
  // made (a maker referencing it twice is listed twice).
  const std::vector<ReferenceMaker*>& Dependents() const { return dependents_; }
  // Visits the dependents, and theirs, depth first, each maker once.
  int DoEnumDependents(DependentEnumProc* dep);
  void EnumDependents(DependentEnumProc* dep) { DoEnumDependents(dep); }
  bool HasDependents() const { return !dependents_.empty(); }

  virtual ReferenceTarget* Clone(RemapDir& remap) { (void)remap; return nullptr; }
  // Copies what every target shares (custom attributes) from one clone source.
  void BaseClone(ReferenceTarget* from, ReferenceTarget* to, RemapDir& remap);

  // Called when the last dependent let go; deletes the target unless a
  // subclass owns its lifetime otherwise (nodes belong to the scene).
  virtual void MaybeAutoDelete();
  // Tells the dependents (REFMSG_TARGET_DELETED), clears their references
  // to this target and deletes it.
  void DeleteReferenceTarget();

  // Bookkeeping of the reference machinery (one entry per reference).
  void AddDependent(ReferenceMaker* m);
  bool RemoveDependent(ReferenceMaker* m);

  // Clears the references dependents hold on this target without messages.
  ~ReferenceTarget() override;

 protected:
  std::vector<ReferenceMaker*> dependents_;
};

// Clone bookkeeping: one clone per original, so shared targets stay shared.
class RemapDir {
 public:
  ReferenceTarget* CloneRef(ReferenceTarget* oldTarg);
  ReferenceTarget* FindMapping(ReferenceTarget* from);
  void AddEntry(ReferenceTarget* hfrom, ReferenceTarget* hto) { map_[hfrom] = hto; }
  void DeleteThis() { delete this; }

 private:
  std::map<ReferenceTarget*, ReferenceTarget*> map_;
};
RemapDir& NoRemap();
