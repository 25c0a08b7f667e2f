// Class descriptors and parameter blocks: the static descriptions a plug-in
// declares for its classes and parameters, and the per-object blocks of values
// built from them.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "host/sdk/ref.h"

class ClassDesc2;
class ParamBlockDesc2;
class IParamMap2;              // defined by the UI layer
class ParamMap2UserDlgProc;    // defined by the UI layer
class ActionTable;             // defined by the UI layer
class FPInterface;
typedef Interface IObjParam;

typedef short BlockID;
typedef short ParamID;
typedef short MapID;

// Parameter types.
enum ParamType2 {
  TYPE_FLOAT = 0,
  TYPE_INT = 1,
  TYPE_POINT3 = 3,
  TYPE_BOOL = 4,
  TYPE_ANGLE = 5,
  TYPE_WORLD = 7,
  TYPE_STRING = 8,
  TYPE_FILENAME = 10,
  TYPE_INODE = 12,
  TYPE_RADIOBTN_INDEX = 14,
  TYPE_INODE_TAB = 12 + 0x800,
  TYPE_TAB = 0x800,
};
inline bool IsTabType(ParamType2 t) { return (t & TYPE_TAB) != 0; }

// Parameter flags.
constexpr int P_ANIMATABLE = 0x1;
constexpr int P_TRANSIENT = 0x2;
constexpr int P_NO_INIT = 0x4;
constexpr int P_INVISIBLE = 0x10;
constexpr int P_RESET_DEFAULT = 0x20;
constexpr int P_VARIABLE_SIZE = 0x40;
constexpr int P_NO_AUTO_LABELS = 0x100;

// Block flags.
constexpr int P_CLASS_PARAMS = 0x1;
constexpr int P_AUTO_CONSTRUCT = 0x2;
constexpr int P_AUTO_UI = 0x4;
constexpr int P_USE_PARAMS = 0x8;
constexpr int P_INCLUDE_PARAMS = 0x10;
constexpr int P_MULTIMAP = 0x20;
constexpr int P_SCRIPTED_CLASS = 0x40;

// Rollout controls a parameter binds.
enum ControlType2 {
  TYPE_NONE_CTRL = 0,
  TYPE_SPINNER,
  TYPE_RADIO,
  TYPE_SINGLECHEKBOX,
  TYPE_CHECKBUTTON,
  TYPE_EDITBOX,
  TYPE_NODELISTBOX,
  TYPE_PICKNODEBUTTON,
};
// Spinner edit kinds.
enum EditSpinnerType {
  EDITTYPE_INT = 1,
  EDITTYPE_FLOAT = 2,
  EDITTYPE_UNIVERSE = 3,
  EDITTYPE_POS_INT = 4,
  EDITTYPE_POS_FLOAT = 5,
  EDITTYPE_POS_UNIVERSE = 6,
  EDITTYPE_TIME = 7,
};
// Rollout start states.
constexpr int APPENDROLL_CLOSED = 0x1;
// Rollup categories: lower ones come first in the panel.
enum : int { ROLLUP_CAT_STANDARD = 4000, ROLLUP_CAT_SYSTEM = 2000, ROLLUP_CAT_CUSTATTRIB = 6000 };

// One value of any parameter type (the store of a block and of defaults).
struct PB2Value {
  int i = 0;
  float f = 0.0f;
  Point3 p;
  std::string s;
  bool has_string = false;  // a string parameter may be "none" (null)
  INode* node = nullptr;
};

// The description of one parameter: id, names, type, flags, default, range
// and the rollout control that shows it. Built with chained setters:
//   ParamDef(1, "Surface LOD", TYPE_FLOAT, P_ANIMATABLE, IDS_LOD)
//       .Default(8.0f).Range(0.0f, 250.0f).Spinner(2, EDITTYPE_FLOAT, 1008, 1009, 0.1f)
class ParamDef {
 public:
  ParamDef() = default;
  ParamDef(ParamID id, const char* intName, ParamType2 type, int flags, int localNameId = 0);

  ParamDef& Default(float v);
  ParamDef& Default(double v) { return Default(float(v)); }
  ParamDef& Default(int v);
  ParamDef& Default(const char* s);
  ParamDef& Default(const Point3& p);
  ParamDef& ScriptDefault(float v) { has_script_default = true; script_def.f = v; script_def.i = int(v); return *this; }
  ParamDef& ScriptDefault(int v) { has_script_default = true; script_def.i = v; script_def.f = float(v); return *this; }
  ParamDef& Range(float lo, float hi);
  ParamDef& Range(double lo, double hi) { return Range(float(lo), float(hi)); }
  ParamDef& Range(int lo, int hi);
  ParamDef& LocalName(const char* s) { local_name = s ? s : ""; return *this; }
  ParamDef& Map(MapID m) { map_id = m; return *this; }
  ParamDef& TabSize(int n) { tab_size = n; return *this; }
  // Controls; a map id of -1 keeps the one already given (single-map blocks: 0).
  ParamDef& Spinner(MapID map, int editType, int editId, int spinId, float step, bool autoScale = false);
  ParamDef& Radio(MapID map, std::vector<int> buttonIds);
  ParamDef& CheckBox(MapID map, int id);
  ParamDef& CheckButton(MapID map, int id);
  ParamDef& EditBox(MapID map, int id);
  ParamDef& NodeListBox(MapID map, int listId, int addId, int replaceId, int deleteId);
  ParamDef& PickNodeButton(MapID map, int id);

  ParamID id = -1;
  std::string int_name;
  ParamType2 type = TYPE_INT;
  int flags = 0;
  int local_name_id = 0;      // string resource of the display name
  std::string local_name;     // or the display name itself
  PB2Value def;               // creation default
  bool has_script_default = false;
  PB2Value script_def;
  bool has_range = false;
  float range_lo_f = 0, range_hi_f = 0;
  int range_lo_i = 0, range_hi_i = 0;
  int tab_size = 0;           // initial entries of a table
  // Control binding.
  MapID map_id = 0;
  ControlType2 ctrl_type = TYPE_NONE_CTRL;
  int edit_type = 0;
  std::vector<int> ctrl_ids;  // spinner: edit, spin; radio: buttons; list box: list, add, replace, delete
  float spin_step = 0.0f;
  bool spin_auto = false;
};

// A rollout of a block: map id, dialog resource, title string, start state.
struct RolloutDef {
  MapID map_id = 0;
  int dialog_id = 0;
  int title_id = 0;
  int flags = 0;  // APPENDROLL_CLOSED
  ParamMap2UserDlgProc* user_proc = nullptr;
};

// The static description of a parameter block.
class ParamBlockDesc2 {
 public:
  ParamBlockDesc2(BlockID id, const char* intName, int localNameId, ClassDesc2* cd, int flags,
                  int refNo, std::vector<RolloutDef> rollouts, std::vector<ParamDef> params);
  ~ParamBlockDesc2();
  ParamBlockDesc2(const ParamBlockDesc2&) = delete;
  ParamBlockDesc2& operator=(const ParamBlockDesc2&) = delete;

  int Count() const { return int(params_.size()); }
  const ParamDef& GetParamDef(ParamID id) const;  // an invalid id gives an empty def
  const ParamDef* FindParam(ParamID id) const;
  const ParamDef* FindParamByName(const std::string& intName) const;  // case-insensitive
  int IDtoIndex(ParamID id) const;
  ParamID IndextoID(int idx) const;
  const std::vector<ParamDef>& Params() const { return params_; }
  const std::vector<RolloutDef>& Rollouts() const { return rollouts_; }
  const RolloutDef* FindRollout(MapID map) const;

  void SetUserDlgProc(MapID map, ParamMap2UserDlgProc* proc);
  void SetUserDlgProc(ParamMap2UserDlgProc* proc) { SetUserDlgProc(0, proc); }
  ParamMap2UserDlgProc* GetUserDlgProc(MapID map = 0) const;

  BlockID ID;
  std::string int_name;
  int local_name_id;
  ClassDesc2* cd;
  int flags;
  int ref_no;

 private:
  std::vector<RolloutDef> rollouts_;
  std::vector<ParamDef> params_;
};

// A block of parameter values owned by one object (through a reference).
class IParamBlock2 : public ReferenceTarget {
 public:
  explicit IParamBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner = nullptr);
  ~IParamBlock2() override;

  Class_ID ClassID() override { return paramBlock2ClassID(); }
  SClass_ID SuperClassID() override { return PARAMETER_BLOCK2_CLASS_ID; }
  void GetClassName(std::string& s) override { s = "ParamBlock2"; }

  BlockID ID() const { return desc_->ID; }
  ParamBlockDesc2* GetDesc() const { return desc_; }
  ReferenceMaker* GetOwner() const { return owner_; }
  void SetOwner(ReferenceMaker* o) { owner_ = o; }
  int NumParams() const { return desc_->Count(); }
  ParamID IndextoID(int i) const { return desc_->IndextoID(i); }
  ParamType2 GetParameterType(ParamID id) const;
  // The parameter id of the last change this block sent.
  ParamID LastNotifyParamID() const { return last_notify_; }
  ParamID LastNotifyParamID(int& tabIndex) const { tabIndex = last_notify_tab_; return last_notify_; }

  // Typed reads at time t; validity is intersected with the value's interval.
  // A read of an unknown id or of the wrong type answers false and leaves
  // the output untouched.
  bool GetValue(ParamID id, TimeValue t, float& v, Interval& valid, int tabIndex = 0);
  bool GetValue(ParamID id, TimeValue t, int& v, Interval& valid, int tabIndex = 0);
  bool GetValue(ParamID id, TimeValue t, Point3& v, Interval& valid, int tabIndex = 0);
  bool GetValue(ParamID id, TimeValue t, const char*& v, Interval& valid, int tabIndex = 0);
  bool GetValue(ParamID id, TimeValue t, std::string& v, Interval& valid, int tabIndex = 0);
  bool GetValue(ParamID id, TimeValue t, INode*& v, Interval& valid, int tabIndex = 0);
  // Writes clamp to the declared range and notify the dependents (REFMSG_CHANGE)
  // when the value changed. In animate mode an animatable value gets a key at t.
  bool SetValue(ParamID id, TimeValue t, float v, int tabIndex = 0);
  bool SetValue(ParamID id, TimeValue t, double v, int tabIndex = 0) { return SetValue(id, t, float(v), tabIndex); }
  bool SetValue(ParamID id, TimeValue t, int v, int tabIndex = 0);
  bool SetValue(ParamID id, TimeValue t, bool v, int tabIndex = 0) { return SetValue(id, t, int(v), tabIndex); }
  bool SetValue(ParamID id, TimeValue t, const Point3& v, int tabIndex = 0);
  bool SetValue(ParamID id, TimeValue t, const char* v, int tabIndex = 0);
  bool SetValue(ParamID id, TimeValue t, const std::string& v, int tabIndex = 0) { return SetValue(id, t, v.c_str(), tabIndex); }
  bool SetValue(ParamID id, TimeValue t, INode* v, int tabIndex = 0);

  // Convenience reads: the value or zero / null.
  float GetFloat(ParamID id, TimeValue t = 0, int tabIndex = 0);
  int GetInt(ParamID id, TimeValue t = 0, int tabIndex = 0);
  const char* GetStr(ParamID id, TimeValue t = 0, int tabIndex = 0);
  INode* GetINode(ParamID id, TimeValue t = 0, int tabIndex = 0);
  Point3 GetPoint3(ParamID id, TimeValue t = 0, int tabIndex = 0);

  // Keys: a keyed parameter holds a step function of time (the key at or
  // before t applies; before the first key, the first key applies).
  bool SetKey(ParamID id, TimeValue t, float v);
  bool SetKey(ParamID id, TimeValue t, int v);
  int NumKeys(ParamID id) const;
  void ClearKeys(ParamID id);

  // Tables (node tables).
  int Count(ParamID id) const;
  bool SetCount(ParamID id, int n);
  int Append(ParamID id, int num, INode** el, int allocExtra = 0);
  int Insert(ParamID id, int start, int num, INode** el);
  int Delete(ParamID id, int start, int num);
  void ZeroCount(ParamID id) { SetCount(id, 0); }

  void ResetAll(bool updateUI = true, bool callSetHandlers = true);
  void Reset(ParamID id);

  // Parameter map slots the UI layer fills.
  IParamMap2* GetMap(MapID map = 0) const;
  void SetMap(IParamMap2* m, MapID map = 0);
  void InvalidateUI(ParamID id = -1);

  // References: the entries of node parameters, in declaration order.
  int NumRefs() override;
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle rtarg) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle hTarget, PartID& partID,
                             RefMessage message) override;
  ReferenceTarget* Clone(RemapDir& remap) override;

  // Raw access for saving and loading by the host.
  struct Slot {
    PB2Value v;                          // constant value
    std::map<TimeValue, PB2Value> keys;  // keys, when animated
    std::vector<INode*> tab;             // node table entries
  };
  Slot* FindSlot(ParamID id);
  const Slot* FindSlot(ParamID id) const;
  // The host's save and load of a block's values (nodes as references).
  IOResult SaveValues(ISave* isave);
  IOResult LoadValues(ILoad* iload);

 private:
  bool SetScalar(ParamID id, TimeValue t, const PB2Value& nv, int tabIndex);
  const PB2Value* ValueAt(const ParamDef& d, const Slot& s, TimeValue t, Interval& valid) const;
  void SetNodeEntry(INode*& entry, INode* node);
  void Notify(ParamID id, int tabIndex);

  ParamBlockDesc2* desc_;
  ReferenceMaker* owner_;
  std::map<ParamID, Slot> slots_;
  std::map<MapID, IParamMap2*> maps_;
  ParamID last_notify_ = -1;
  int last_notify_tab_ = 0;
};

IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* pdesc, ReferenceMaker* owner);

// Hooks of the UI layer into descriptors and blocks; the default does nothing
// (a headless host without the UI library opens no rollouts).
class ParamUIHooks {
 public:
  virtual ~ParamUIHooks() = default;
  virtual void BeginEditParams(ClassDesc2* cd, IObjParam* ip, ReferenceMaker* obj, uint32_t flags,
                               Animatable* prev) {
    (void)cd; (void)ip; (void)obj; (void)flags; (void)prev;
  }
  virtual void EndEditParams(ClassDesc2* cd, IObjParam* ip, ReferenceMaker* obj, uint32_t flags,
                             Animatable* next) {
    (void)cd; (void)ip; (void)obj; (void)flags; (void)next;
  }
  // A value changed: refresh the controls of that parameter (-1: all).
  virtual void InvalidateUI(IParamBlock2* pb, ParamID id) { (void)pb; (void)id; }
  virtual void BlockDeleted(IParamBlock2* pb) { (void)pb; }
};
void SetParamUIHooks(ParamUIHooks* hooks);
ParamUIHooks* GetParamUIHooks();

// Class descriptors.
class ClassDesc {
 public:
  virtual ~ClassDesc();
  virtual int IsPublic() = 0;
  virtual Animatable* Create(bool loading = false) = 0;
  virtual const char* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
  virtual int OkToCreate(Interface* i) { (void)i; return 1; }
  // Creation from the create panel: 1 = the descriptor handled it.
  virtual int BeginCreate(Interface* i) { (void)i; return 0; }
  virtual int EndCreate(Interface* i) { (void)i; return 0; }
  virtual int NumActionTables() { return 0; }
  virtual ActionTable* GetActionTable(int i) { (void)i; return nullptr; }
  virtual const char* InternalName() { return nullptr; }
  virtual void* HInstance() { return nullptr; }
  virtual void DeleteThis() {}
};

class ClassDesc2 : public ClassDesc {
 public:
  ~ClassDesc2() override;
  // Builds every auto-construct block of the class for a new object.
  virtual void MakeAutoParamBlocks(ReferenceMaker* owner);
  // Open and close the automatic rollouts (through the UI layer).
  virtual void BeginEditParams(IObjParam* ip, ReferenceMaker* obj, uint32_t flags, Animatable* prev);
  virtual void EndEditParams(IObjParam* ip, ReferenceMaker* obj, uint32_t flags, Animatable* next);
  virtual void InvalidateUI(ParamBlockDesc2* pbd = nullptr, ParamID id = -1);
  IParamMap2* GetParamMap(ParamBlockDesc2* pbd, MapID map = 0);
  // The object whose parameters are being edited (set by BeginEditParams).
  ReferenceMaker* EditedObject() const { return edited_; }

  int NumParamBlockDescs() const { return int(pbdescs_.size()); }
  ParamBlockDesc2* GetParamBlockDesc(int i) const;
  ParamBlockDesc2* GetParamBlockDescByID(BlockID id) const;
  ParamBlockDesc2* GetParamBlockDescByName(const std::string& name) const;
  void AddParamBlockDesc(ParamBlockDesc2* pbd);
  void RemoveParamBlockDesc(ParamBlockDesc2* pbd);

  // Function-published interfaces the class offers.
  int NumInterfaces() const { return int(interfaces_.size()); }
  FPInterface* GetInterfaceAt(int i) const;
  FPInterface* GetInterface(Interface_ID id) const;
  void AddInterface(FPInterface* fpi);

 protected:
  ReferenceMaker* edited_ = nullptr;

 private:
  std::vector<ParamBlockDesc2*> pbdescs_;
  std::vector<FPInterface*> interfaces_;
};
