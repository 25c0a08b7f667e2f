#include "host/ui/creation.h"

#include "host/sdk/iparamb2.h"
#include "host/sdk/object.h"

namespace vorel_ui {

INode* ScriptCreate(ClassDesc* cd, const std::vector<IPoint2>& clicks) {
  Interface* ip = GetCOREInterface();
  if (!cd || clicks.empty()) return nullptr;
  if (cd->BeginCreate(ip) == 1) return nullptr;
  Object* obj = dynamic_cast<Object*>(cd->Create(false));
  if (!obj) {
    cd->EndCreate(ip);
    return nullptr;
  }
  if (auto* cd2 = dynamic_cast<ClassDesc2*>(cd)) cd2->MakeAutoParamBlocks(obj);
  INode* node = ip->CreateObjectNode(obj);
  if (!node) {
    obj->DeleteThis();
    cd->EndCreate(ip);
    return nullptr;
  }
  ViewExp* vpt = ActiveViewport();
  Matrix3 mat;
  CreateMouseCallBack* cb = obj->GetCreateMouseCallBack();
  int result = CREATE_STOP;
  if (!cb) {
    mat.SetTrans(vpt->GetPointOnCP(clicks[0]));
  } else {
    IPoint2 m = clicks[0];
    cb->proc(vpt, MOUSE_FREEMOVE, 0, 0, m, mat);
    result = CREATE_CONTINUE;
    for (size_t k = 0; k < clicks.size() && result == CREATE_CONTINUE; ++k) {
      m = clicks[k];
      if (k > 0) result = cb->proc(vpt, MOUSE_MOVE, int(k), 0, m, mat);
      if (result == CREATE_CONTINUE) result = cb->proc(vpt, MOUSE_POINT, int(k), 0, m, mat);
    }
    if (result == CREATE_CONTINUE) {
      cb->proc(vpt, MOUSE_ABORT, int(clicks.size()), 0, m, mat);
      result = CREATE_ABORT;
    }
  }
  if (result == CREATE_ABORT) {
    ip->DeleteNode(node, false);
    cd->EndCreate(ip);
    return nullptr;
  }
  node->SetNodeTM(ip->GetTime(), mat);
  cd->EndCreate(ip);
  return node;
}

}  // namespace vorel_ui
