#include "host/sdk/ifnpub.h"

#include "host/sdk/interface.h"
#include "host/sdk/util.h"

Interface_ID FPInterface::GetID() {
  FPInterfaceDesc* d = GetDesc();
  return d ? d->ID : Interface_ID(0, 0);
}

FPStatus FPInterface::Invoke(FunctionID fid, TimeValue t, FPValue& result, FPParams* p) {
  FPInterfaceDesc* d = GetDesc();
  const FPFunctionDef* f = d ? d->FindFunction(fid) : nullptr;
  if (!f) return FPS_NO_SUCH_FUNCTION;
  // Arguments must match the declared count and types.
  int given = p ? p->Count() : 0;
  if (given != int(f->params.size())) return FPS_FAIL;
  for (int i = 0; i < given; ++i)
    if (p->params[size_t(i)].type != f->params[size_t(i)].type) return FPS_FAIL;
  return _dispatch_fn(fid, t, result, p);
}

FunctionID FPInterface::FindFn(const std::string& name) {
  FPInterfaceDesc* d = GetDesc();
  const FPFunctionDef* f = d ? d->FindFunction(name) : nullptr;
  return f ? f->ID : FunctionID(-1);
}

FPInterfaceDesc::FPInterfaceDesc(Interface_ID id, const char* intName, int localNameId, ClassDesc* cd_,
                                 int flags_, std::vector<FPFunctionDef> fns)
    : ID(id), internal_name(intName ? intName : ""), local_name_id(localNameId), cd(cd_),
      flags(flags_), functions(std::move(fns)) {
  if (auto* cd2 = dynamic_cast<ClassDesc2*>(cd)) cd2->AddInterface(this);
}

FPInterfaceDesc::~FPInterfaceDesc() = default;

const FPFunctionDef* FPInterfaceDesc::FindFunction(FunctionID fid) const {
  for (const FPFunctionDef& f : functions)
    if (f.ID == fid) return &f;
  return nullptr;
}

const FPFunctionDef* FPInterfaceDesc::FindFunction(const std::string& name) const {
  for (const FPFunctionDef& f : functions)
    if (vorel_sdk::EqualNoCase(f.internal_name, name)) return &f;
  return nullptr;
}

FPInterface* GetFPInterface(Animatable* obj, Interface_ID id) {
  if (!obj) return nullptr;
  if (auto* fp = dynamic_cast<FPInterface*>(obj->GetInterface(id))) return fp;
  if (ClassDesc2* cd = FindClassDesc2(obj)) return cd->GetInterface(id);
  return nullptr;
}
