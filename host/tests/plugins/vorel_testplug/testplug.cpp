// A plug-in for the loader and vorel-host tests: "PlugBlob", a simple object
// with a parameter block, its own chunks and a post-load callback, and
// "PlugWind", a space warp with a constant force. Everything the objects hear
// goes to a log that tests read through TestPlugLog and the prompt line.
// LibInitialize looks up the action table PlugBlob offers, as plug-ins set up
// their menus and toolbars there; TestPlugInitReport says what it found.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "host/core/interaction.h"
#include "host/sdk/max.h"
#include "host/ui/actions.h"

namespace {

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}
void Note(const std::string& s) {
  Log().push_back(s);
  ShowTempPrompt(s.c_str(), 1000);
}

enum { PB_SIZE = 0, PB_SEGS = 1, PB_LABEL = 2, PB_TARGETS = 3, PB_SHOW = 4 };
constexpr ActionTableId kBlobActions = 0x51A0B1A7;

class BlobDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading) override;
  const char* ClassName() override { return "PlugBlob"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x51A0B10B, 0x00000001); }
  const char* Category() override { return "Vorel tests"; }
  const char* InternalName() override { return "PlugBlob"; }
  int NumActionTables() override { return 1; }
  ActionTable* GetActionTable(int) override {
    static const ActionDescription descs[] = {{1, 1, 1, 2}};
    return new ActionTable(kBlobActions, kBlobActions, "PlugBlob actions", 0, 1, descs, nullptr,
                           [](int id) -> std::string { return id == 1 ? "Blob action" : "Vorel tests"; });
  }
};
BlobDesc blobDesc;

ParamBlockDesc2 blobBlock(
    0, "params", 0, &blobDesc, P_AUTO_CONSTRUCT | P_AUTO_UI, 0, {RolloutDef{0, 101, 1, 0, nullptr}},
    {ParamDef(PB_SIZE, "size", TYPE_WORLD, P_ANIMATABLE).Default(10.0f).Range(0.1f, 1000.0f)
         .Spinner(0, EDITTYPE_UNIVERSE, 1000, 1001, 0.1f),
     ParamDef(PB_SEGS, "segments", TYPE_INT, 0).Default(4).Range(1, 64)
         .Spinner(0, EDITTYPE_INT, 1002, 1003, 1.0f),
     ParamDef(PB_LABEL, "label", TYPE_STRING, 0).Default("blob").EditBox(0, 1004),
     ParamDef(PB_TARGETS, "targets", TYPE_INODE_TAB, P_VARIABLE_SIZE).NodeListBox(0, 1005, 1006, 0, 1007),
     ParamDef(PB_SHOW, "show", TYPE_BOOL, 0).Default(1).CheckBox(0, 1008)});

class Blob;

class BlobPostLoad : public PostLoadCallback {
 public:
  explicit BlobPostLoad(Blob* b) : blob_(b) {}
  void proc(ILoad* iload) override;

 private:
  Blob* blob_;
};

// A flat fan of "segments" triangles of radius "size" around the pivot.
class Blob : public SimpleObject2 {
 public:
  explicit Blob(bool loading) : loading_(loading) { blobDesc.MakeAutoParamBlocks(this); }
  ~Blob() override { Note("blob destroyed"); }
  Class_ID ClassID() override { return blobDesc.ClassID(); }
  void GetClassName(std::string& s) override { s = "PlugBlob"; }
  const char* GetObjectName() override { return "PlugBlob"; }
  void BuildMesh(TimeValue t) override {
    ivalid = FOREVER;
    float r = 1.0f;
    int segs = 4;
    pblock2->GetValue(PB_SIZE, t, r, ivalid);
    pblock2->GetValue(PB_SEGS, t, segs, ivalid);
    mesh.setNumVerts(segs + 1);
    mesh.setVert(0, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < segs; ++i) {
      float a = 6.2831853f * float(i) / float(segs);
      mesh.setVert(i + 1, r * std::cos(a), r * std::sin(a), 0.0f);
    }
    mesh.setNumFaces(segs);
    for (int i = 0; i < segs; ++i) mesh.faces[size_t(i)].setVerts(0, 1 + i, 1 + (i + 1) % segs);
    mesh.InvalidateGeomCache();
    ++builds_;
    if (GetAsyncKeyState(VK_ESCAPE) & 0x8000) Note("escape pressed");
    char buf[96];
    std::snprintf(buf, sizeof buf, "blob built at %d (size %g)", t, double(r));
    Note(buf);
  }
  RefResult NotifyRefChanged(Interval iv, RefTargetHandle h, PartID& part, RefMessage msg) override {
    if (msg == REFMSG_CHANGE && h == pblock2) {
      Note("blob param " + std::to_string(pblock2->LastNotifyParamID()) + " changed");
      const char* label = pblock2->GetStr(PB_LABEL);
      if (pblock2->LastNotifyParamID() == PB_LABEL && label && std::string(label) == "ask") {
        int a = MessageBox(GetActiveWindow(), "Keep the label?", "Blob", MB_OKCANCEL);
        Note(a == IDOK ? "answer OK" : "answer Cancel");
      }
    }
    if (msg == REFMSG_TARGET_DELETED) Note("blob target deleted");
    return SimpleObject2::NotifyRefChanged(iv, h, part, msg);
  }
  IOResult Save(ISave* isave) override {
    isave->BeginChunk(0x100);
    int32_t b = builds_;
    isave->Write(&b, 4);
    isave->EndChunk();
    isave->BeginChunk(0x101);
    isave->WriteCString(note_.c_str());
    isave->EndChunk();
    return IO_OK;
  }
  IOResult Load(ILoad* iload) override {
    IOResult res;
    while ((res = iload->OpenChunk()) == IO_OK) {
      IOResult r = IO_OK;
      if (iload->CurChunkID() == 0x100) {
        int32_t b = 0;
        r = iload->Read(&b, 4);
        saved_builds_ = b;
      } else if (iload->CurChunkID() == 0x101) {
        r = iload->ReadCStringChunk(note_);
      }
      iload->CloseChunk();
      if (r != IO_OK) return r;
    }
    if (res == IO_ERROR) return res;
    iload->RegisterPostLoadCallback(new BlobPostLoad(this));
    return IO_OK;
  }
  ReferenceTarget* Clone(RemapDir& remap) override {
    auto* c = new Blob(false);
    c->ReplaceReference(0, remap.CloneRef(pblock2));
    BaseClone(this, c, remap);
    return c;
  }
  void PostLoad() {
    char buf[128];
    std::snprintf(buf, sizeof buf, "blob loaded (loading=%d, saved builds %d, note %s, %d targets)",
                  int(loading_), saved_builds_, note_.c_str(), pblock2->Count(PB_TARGETS));
    Note(buf);
  }

 private:
  bool loading_;
  int builds_ = 0, saved_builds_ = -1;
  std::string note_ = "hello";
};

void BlobPostLoad::proc(ILoad*) {
  if (Animatable::IsAlive(blob_)) blob_->PostLoad();
  delete this;
}

Animatable* BlobDesc::Create(bool loading) { return new Blob(loading); }

// A space warp with a constant force along -z of magnitude "strength".
class WindDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  Animatable* Create(bool loading) override;
  const char* ClassName() override { return "PlugWind"; }
  SClass_ID SuperClassID() override { return WSM_OBJECT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x51A0B10B, 0x00000002); }
  const char* Category() override { return "Vorel tests"; }
  const char* InternalName() override { return "PlugWind"; }
};
WindDesc windDesc;

ParamBlockDesc2 windBlock(0, "WindParameters", 0, &windDesc, P_AUTO_CONSTRUCT, 0, {},
                          {ParamDef(0, "strength", TYPE_FLOAT, P_ANIMATABLE | P_RESET_DEFAULT)
                               .Default(1.0f).ScriptDefault(1.0f).Range(-100.0f, 100.0f)});

class WindForce : public ForceField {
 public:
  WindForce(IParamBlock2* pb) : pb_(pb) {}
  Point3 Force(TimeValue t, const Point3&, const Point3&, int) override {
    return Point3(0.0f, 0.0f, -pb_->GetFloat(0, t));
  }

 private:
  IParamBlock2* pb_;
};

class Wind : public SimpleWSMObject2 {
 public:
  Wind() { windDesc.MakeAutoParamBlocks(this); }
  Class_ID ClassID() override { return windDesc.ClassID(); }
  void GetClassName(std::string& s) override { s = "PlugWind"; }
  void BuildMesh(TimeValue) override {
    ivalid = FOREVER;
    mesh.setNumVerts(3);
    mesh.setVert(1, 1.0f, 0.0f, 0.0f);
    mesh.setVert(2, 0.0f, 1.0f, 0.0f);
    mesh.setNumFaces(1);
    mesh.faces[0].setVerts(0, 1, 2);
  }
  ForceField* GetForceField(INode*) override { return new WindForce(pblock2); }
};

Animatable* WindDesc::Create(bool) { return new Wind(); }

}  // namespace

VOREL_PLUGIN_EXPORT const char* LibDescription() { return "Vorel test plug-in"; }
VOREL_PLUGIN_EXPORT int LibNumberClasses() { return 2; }
VOREL_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) {
  switch (i) {
    case 0: return &blobDesc;
    case 1: return &windDesc;
    default: return nullptr;
  }
}
VOREL_PLUGIN_EXPORT unsigned long LibVersion() { return VOREL_HOST_SDK_VERSION; }
static void OnPreDelete(void*, NotifyInfo* info) {
  auto* tab = static_cast<INodeTab*>(info->callParam);
  Note("pre-delete " + std::to_string(tab->Count()) + " node(s)");
}

static std::string& InitReport() {
  static std::string report = "not initialised";
  return report;
}

VOREL_PLUGIN_EXPORT int LibInitialize() {
  RegisterNotification(OnPreDelete, nullptr, NOTIFY_SEL_NODES_PRE_DELETE);
  bool cls = ClassDirectory::Get().FindClass(GEOMOBJECT_CLASS_ID, blobDesc.ClassID()) == &blobDesc;
  IActionManager* am = GetCOREInterface()->GetActionManager();
  bool table = am && am->FindTable(kBlobActions) != nullptr;
  InitReport() = std::string(cls ? "class" : "no class") + ", " + (table ? "table" : "no table");
  return 1;
}
VOREL_PLUGIN_EXPORT int LibShutdown() {
  UnRegisterNotification(OnPreDelete, nullptr, NOTIFY_SEL_NODES_PRE_DELETE);
  return 1;
}
// For tests: everything the plug-in's objects noted, in order.
VOREL_PLUGIN_EXPORT std::vector<std::string>* TestPlugLog() { return &Log(); }
// For tests: what LibInitialize found of its own class and action table.
VOREL_PLUGIN_EXPORT const char* TestPlugInitReport() { return InitReport().c_str(); }
