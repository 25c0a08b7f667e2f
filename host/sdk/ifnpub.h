// Function publishing: interfaces an object or a class offers to scripts by
// Interface_ID, described by a table of functions that a dispatcher calls by
// function id.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/iparamb2.h"

typedef short FunctionID;
constexpr ParamType2 TYPE_VOID = ParamType2(0x7FF);

typedef int FPStatus;
constexpr FPStatus FPS_FAIL = 0;
constexpr FPStatus FPS_OK = 1;
constexpr FPStatus FPS_NO_SUCH_FUNCTION = -1;
constexpr FPStatus FPS_ACTION_DISABLED = -2;

// Interface flags.
constexpr int FP_ACTIONS = 0x1;
constexpr int FP_MIXIN = 0x2;
constexpr int FP_CORE = 0x4;
constexpr int FP_STATIC_METHODS = 0x8;

class BaseInterface {
 public:
  virtual ~BaseInterface() = default;
  virtual Interface_ID GetID() { return Interface_ID(0, 0); }
};

// One argument or result of a published function.
struct FPValue {
  ParamType2 type = TYPE_VOID;
  int i = 0;
  float f = 0.0f;
  std::string s;
  INode* n = nullptr;
  FPValue() = default;
  explicit FPValue(int v) : type(TYPE_INT), i(v) {}
  explicit FPValue(float v) : type(TYPE_FLOAT), f(v) {}
  explicit FPValue(INode* v) : type(TYPE_INODE), n(v) {}
  explicit FPValue(const std::string& v) : type(TYPE_STRING), s(v) {}
};

struct FPParams {
  std::vector<FPValue> params;
  int Count() const { return int(params.size()); }
};

struct FPParamDef {
  std::string internal_name;
  ParamType2 type = TYPE_VOID;
};

struct FPFunctionDef {
  FunctionID ID = -1;
  std::string internal_name;
  ParamType2 result_type = TYPE_VOID;
  std::vector<FPParamDef> params;
};

class FPInterfaceDesc;

class FPInterface : public BaseInterface {
 public:
  virtual FPInterfaceDesc* GetDesc() = 0;
  Interface_ID GetID() override;
  // Calls the function fid: checks it against the description first.
  FPStatus Invoke(FunctionID fid, TimeValue t, FPValue& result, FPParams* p = nullptr);
  FPStatus Invoke(FunctionID fid, FPParams* p = nullptr) {
    FPValue r;
    return Invoke(fid, 0, r, p);
  }
  FunctionID FindFn(const std::string& name);

 protected:
  // The implementation's switch over function ids.
  virtual FPStatus _dispatch_fn(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) {
    (void)fid; (void)t; (void)result; (void)p;
    return FPS_NO_SUCH_FUNCTION;
  }
};

// The static description of an interface: id, internal name, owning class,
// flags and the function table in declaration order.
class FPInterfaceDesc : public FPInterface {
 public:
  FPInterfaceDesc(Interface_ID id, const char* intName, int localNameId, ClassDesc* cd, int flags,
                  std::vector<FPFunctionDef> functions);
  ~FPInterfaceDesc() override;
  FPInterfaceDesc* GetDesc() override { return this; }
  Interface_ID GetID() override { return ID; }
  const FPFunctionDef* FindFunction(FunctionID fid) const;
  const FPFunctionDef* FindFunction(const std::string& name) const;  // case-insensitive

  Interface_ID ID;
  std::string internal_name;
  int local_name_id;
  ClassDesc* cd;
  int flags;
  std::vector<FPFunctionDef> functions;
};

// An interface mixed into an object's class; the object answers it from
// GetInterface(Interface_ID).
class FPMixinInterface : public FPInterface {};

// The function-published interface of an object or its class, by id.
FPInterface* GetFPInterface(Animatable* obj, Interface_ID id);
