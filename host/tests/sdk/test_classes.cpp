#include "test_classes.h"

namespace sdktest {

TestObjectDesc* GetTestObjectDesc() {
  static TestObjectDesc d;
  return &d;
}

ParamBlockDesc2* GetTestBlockDesc() {
  static ParamBlockDesc2 d(
      0, "params", 0, GetTestObjectDesc(), P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,
      {RolloutDef{0, 101, 1, 0, nullptr}, RolloutDef{1, 102, 2, APPENDROLL_CLOSED, nullptr}},
      {ParamDef(P_RATE, "Emission Rate", TYPE_FLOAT, P_ANIMATABLE)
           .Default(5.0f).Range(0.0f, 100.0f).Spinner(0, EDITTYPE_FLOAT, 1000, 1001, 0.1f),
       ParamDef(P_COUNT, "count", TYPE_INT, 0).Default(-3).Range(0, 10),
       ParamDef(P_FLAG, "flag", TYPE_BOOL, 0).Default(1).CheckBox(0, 1002),
       ParamDef(P_NAME, "label", TYPE_STRING, 0).Default("start").EditBox(1, 1003),
       ParamDef(P_NODES, "nodes", TYPE_INODE_TAB, P_VARIABLE_SIZE).NodeListBox(1, 1004, 1005, 0, 1006),
       ParamDef(P_MODE, "mode", TYPE_RADIOBTN_INDEX, 0).Default(0).Radio(0, {1010, 1011, 1012})});
  return &d;
}

Animatable* TestObjectDesc::Create(bool loading) { return new TestObject(loading); }

TestObject::TestObject(bool l) : loaded(l) {
  GetTestBlockDesc();
  GetTestObjectDesc()->MakeAutoParamBlocks(this);
}

void TestObject::BuildMesh(TimeValue t) {
  ++builds;
  ivalid = FOREVER;
  float s = 1.0f;
  pblock2->GetValue(P_RATE, t, s, ivalid);
  mesh.setNumVerts(3);
  mesh.setVert(0, 0.0f, 0.0f, 0.0f);
  mesh.setVert(1, s, 0.0f, 0.0f);
  mesh.setVert(2, 0.0f, s, 0.0f);
  mesh.setNumFaces(1);
  mesh.faces[0].setVerts(0, 1, 2);
  mesh.InvalidateGeomCache();
}

RefTargetHandle TestObject::GetReference(int i) {
  if (i == 0) return pblock2;
  return i - 1 < int(extra.size()) ? extra[size_t(i - 1)] : nullptr;
}

void TestObject::SetReference(int i, RefTargetHandle r) {
  if (i == 0) {
    SimpleObject2::SetReference(0, r);
    return;
  }
  if (i - 1 >= int(extra.size())) extra.resize(size_t(i), nullptr);
  extra[size_t(i - 1)] = r && r->IsNode() ? static_cast<INode*>(r) : nullptr;
}

RefResult TestObject::NotifyRefChanged(Interval iv, RefTargetHandle h, PartID& part, RefMessage msg) {
  if (msg == REFMSG_CHANGE) {
    std::string who = h == pblock2 ? "pblock" : (h && h->IsNode() ? static_cast<INode*>(h)->GetName() : "?");
    log.push_back("change " + who + " part=" + std::to_string(part) +
                  (h == pblock2 ? " id=" + std::to_string(pblock2->LastNotifyParamID()) : ""));
  }
  if (msg == REFMSG_TARGET_DELETED && h && h->IsNode())
    log.push_back(std::string("deleted ") + static_cast<INode*>(h)->GetName());
  return SimpleObject2::NotifyRefChanged(iv, h, part, msg);
}

IOResult TestObject::Save(ISave* isave) {
  isave->BeginChunk(0x7B1);
  isave->WriteCString(label.c_str());
  isave->EndChunk();
  isave->BeginChunk(0x7B0);
  int32_t b = builds;
  isave->Write(&b, 4);
  isave->EndChunk();
  return IO_OK;
}

IOResult TestObject::Load(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() == 0x7B1) {
      if (iload->ReadCStringChunk(label) != IO_OK) return IO_ERROR;
    } else if (iload->CurChunkID() == 0x7B0) {
      int32_t b = 0;
      if (iload->Read(&b, 4) != IO_OK) return IO_ERROR;
      log.push_back("saved builds " + std::to_string(b));
    }
    iload->CloseChunk();
  }
  return res == IO_END ? IO_OK : res;
}

ReferenceTarget* TestObject::Clone(RemapDir& remap) {
  auto* c = new TestObject();
  c->ReplaceReference(0, remap.CloneRef(pblock2));
  c->label = label;
  BaseClone(this, c, remap);
  return c;
}

}  // namespace sdktest
