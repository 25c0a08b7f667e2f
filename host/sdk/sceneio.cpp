// Scene files: "VORELSCN", a version word, then one chunk tree holding the
// scene settings, every object reachable from the nodes (its class, its
// references by number, its custom attributes and its data: a parameter
// block's values as saved by the host, any other object's own chunks) and
// the nodes in tree order. Loading builds everything aside and replaces the
// current scene only when the whole file has been read.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>

#include <cmath>
#include "host/core/hostmath.h"
#include "host/sdk/interface.h"

namespace {

constexpr char kMagic[8] = {'V', 'O', 'R', 'E', 'L', 'S', 'C', 'N'};
constexpr uint32_t kVersion = 1;

enum : uint16_t {
  CH_SCENE = 0x0001,
  CH_OBJECTS = 0x0100,
  CH_OBJECT = 0x0110,
  CH_OBJ_HEADER = 0x0111,
  CH_OBJ_REFS = 0x0113,
  CH_OBJ_CUSTATTRIBS = 0x0114,
  CH_OBJ_DATA = 0x0120,
  CH_NODES = 0x0200,
  CH_NODE = 0x0210,
  CH_NODE_TMKEYS = 0x0211,  // after its node's chunk: handle, then (time, transform) per key
  CH_SELECTION = 0x0300,
  CH_PB_PARAM = 0x0500,
};

enum : uint8_t { KIND_CLASS = 0, KIND_PBLOCK = 1, KIND_DERIVED = 2, KIND_WSDERIVED = 3 };

struct NodeRecord {
  uint32_t handle = 0, parent = 0;
  std::string name;
  Matrix3 tm, offset;
  uint32_t flags = 0;
  DWORD wire = 0;
  int32_t obj = -1, mtl = -1, self = -1;
  std::vector<std::pair<TimeValue, Matrix3>> keys;
};
enum NodeFlag : uint32_t {
  NF_HIDDEN = 1, NF_FROZEN = 2, NF_XRAY = 4, NF_BOX = 8, NF_ALLEDGES = 16, NF_BACKCULL = 32,
  NF_RENDERABLE = 64
};

void PutMatrix(ISave* s, const Matrix3& m) {
  for (int r = 0; r < 4; ++r) s->Write(&m[r], sizeof(Point3));
}
IOResult GetMatrix(ILoad* l, Matrix3& m) {
  for (int r = 0; r < 4; ++r)
    if (l->Read(&m[r], sizeof(Point3)) != IO_OK) return IO_ERROR;
  return IO_OK;
}
bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool Finite(const Matrix3& m) {
  for (int r = 0; r < 4; ++r)
    if (!Finite(m[r])) return false;
  return true;
}
template <class T>
void Put(ISave* s, const T& v) {
  s->Write(&v, sizeof(T));
}
template <class T>
bool Get(ILoad* l, T& v) {
  return l->Read(&v, sizeof(T)) == IO_OK;
}

bool IsFloatTypeForIO(ParamType2 t) { return t == TYPE_FLOAT || t == TYPE_WORLD || t == TYPE_ANGLE; }

// The save: numbers every target reachable from the nodes.
class SceneSaver : public ISave {
 public:
  int GetRefID(ReferenceTarget* rt) override {
    auto it = ids.find(rt);
    return it == ids.end() ? -1 : it->second;
  }
  void Collect(ReferenceTarget* t) {
    if (!t || ids.count(t)) return;
    ids[t] = int(order.size());
    order.push_back(t);
    if (t->IsNode()) return;  // nodes are numbered up front
    for (int i = 0; i < t->NumRefs(); ++i) Collect(t->GetReference(i));
    if (ICustAttribContainer* c = t->GetCustAttribContainer())
      for (int i = 0; i < c->GetNumCustAttribs(); ++i) Collect(c->GetCustAttrib(i));
  }
  std::map<ReferenceTarget*, int> ids;
  std::vector<ReferenceTarget*> order;
};

// The load: records of the file, then the objects made from them.
class SceneLoader : public ILoad {
 public:
  explicit SceneLoader(std::vector<uint8_t> b) : ILoad(std::move(b)) {}
  ReferenceTarget* GetRefTarget(int id) override {
    return id >= 0 && id < int(targets.size()) ? targets[size_t(id)] : nullptr;
  }
  std::vector<ReferenceTarget*> targets;
};

struct ObjRecord {
  int32_t id = -1;
  uint8_t kind = 0;
  SClass_ID super = 0;
  Class_ID cid;
  int16_t block = 0;
  std::vector<int32_t> refs, attribs;
  size_t data_begin = 0, data_end = 0;
  bool has_data = false;
};

}  // namespace

// The host side of scene files (a friend of Interface).
class SceneIO {
 public:
  static bool Save(Interface& ip, const std::string& path, std::string& err);
  static bool Load(Interface& ip, const std::string& path, std::string& err);
};

// ----------------------------------------------------- block values

IOResult IParamBlock2::SaveValues(ISave* isave) {
  for (const ParamDef& d : desc_->Params()) {
    const Slot& s = slots_[d.id];
    isave->BeginChunk(CH_PB_PARAM);
    int16_t id = d.id;
    int32_t type = d.type;
    Put(isave, id);
    Put(isave, type);
    auto putValue = [&](const PB2Value& v) {
      switch (d.type) {
        case TYPE_FLOAT: case TYPE_WORLD: case TYPE_ANGLE: Put(isave, v.f); break;
        case TYPE_POINT3: isave->Write(&v.p, sizeof(Point3)); break;
        case TYPE_STRING: case TYPE_FILENAME: {
          uint8_t has = v.has_string;
          int32_t len = int32_t(v.s.size());
          Put(isave, has);
          Put(isave, len);
          isave->Write(v.s.data(), uint32_t(len));
          break;
        }
        case TYPE_INODE: case TYPE_INODE_TAB: break;  // references
        default: Put(isave, v.i); break;
      }
    };
    putValue(s.v);
    int32_t nkeys = int32_t(s.keys.size());
    Put(isave, nkeys);
    for (const auto& k : s.keys) {
      Put(isave, k.first);
      putValue(k.second);
    }
    int32_t tab = int32_t(s.tab.size());
    Put(isave, tab);
    isave->EndChunk();
  }
  return IO_OK;
}

IOResult IParamBlock2::LoadValues(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() == CH_PB_PARAM) {
      int16_t id = 0;
      int32_t type = 0;
      if (!Get(iload, id) || !Get(iload, type)) return IO_ERROR;
      const ParamDef* d = desc_->FindParam(id);
      // A parameter the class no longer has, or of another type, is dropped.
      if (d && d->type == type) {
        Slot& s = slots_[id];
        auto getValue = [&](PB2Value& v) -> bool {
          switch (d->type) {
            case TYPE_FLOAT: case TYPE_WORLD: case TYPE_ANGLE: return Get(iload, v.f);
            case TYPE_POINT3: return iload->Read(&v.p, sizeof(Point3)) == IO_OK;
            case TYPE_STRING: case TYPE_FILENAME: {
              uint8_t has = 0;
              int32_t len = 0;
              if (!Get(iload, has) || !Get(iload, len)) return false;
              if (len < 0 || uint32_t(len) > iload->CurChunkLength()) return false;
              v.has_string = has != 0;
              v.s.assign(size_t(len), '\0');
              return len == 0 || iload->Read(&v.s[0], uint32_t(len)) == IO_OK;
            }
            case TYPE_INODE: case TYPE_INODE_TAB: return true;
            default: return Get(iload, v.i);
          }
        };
        // A number that a script's set would refuse (NaN, infinity) means
        // a damaged file: it would reach every particle the value drives.
        auto check = [&](const PB2Value& x) {
          if ((IsFloatTypeForIO(d->type) && !std::isfinite(x.f)) || (d->type == TYPE_POINT3 && !Finite(x.p))) {
            iload->SetRefusal("parameter \"" + d->int_name + "\" holds a value that is not a finite number");
            return false;
          }
          return true;
        };
        PB2Value v = d->def;
        if (!getValue(v) || !check(v)) return IO_ERROR;
        v.node = nullptr;
        auto sync = [&](PB2Value& x) {
          if (IsFloatTypeForIO(d->type)) x.i = SaturateToInt(x.f); else x.f = float(x.i);
        };
        sync(v);
        int32_t nkeys = 0;
        if (!Get(iload, nkeys) || nkeys < 0 || uint32_t(nkeys) > iload->CurChunkLength())
          return IO_ERROR;
        std::map<TimeValue, PB2Value> keys;
        for (int k = 0; k < nkeys; ++k) {
          TimeValue t = 0;
          PB2Value kv = v;
          if (!Get(iload, t) || !getValue(kv) || !check(kv)) return IO_ERROR;
          sync(kv);
          keys[t] = kv;
        }
        int32_t tab = 0;
        if (!Get(iload, tab) || tab < 0 || tab > (1 << 24)) return IO_ERROR;
        for (INode*& n : s.tab) SetNodeEntry(n, nullptr);
        SetNodeEntry(s.v.node, nullptr);
        s.v = v;
        s.keys = keys;
        s.tab.assign(size_t(tab), nullptr);
      }
    }
    iload->CloseChunk();
  }
  return res == IO_END ? IO_OK : res;
}

// ------------------------------------------------------------------ save

bool SceneIO::Save(Interface& ip, const std::string& path, std::string& err) {
  SceneSaver s;
  std::vector<INode*> nodes = ip.AllNodes();
  for (INode* n : nodes) s.Collect(n);
  for (INode* n : nodes) {
    s.Collect(n->GetObjectRef());
    s.Collect(n->GetMtl());
  }
  // Objects first, so that a reader knows every class before the nodes.
  for (ReferenceTarget* t : s.order) {
    if (t->IsNode() || dynamic_cast<IParamBlock2*>(t) || dynamic_cast<IDerivedObject*>(t)) continue;
    if (!ClassDirectory::Get().FindClass(t->SuperClassID(), t->ClassID())) {
      std::string cn;
      t->GetClassName(cn);
      err = "cannot save the scene: no class is registered for " + cn;
      return false;
    }
  }
  s.BeginChunk(CH_SCENE);
  int32_t info[4] = {ip.GetTime(), ip.GetTicksPerFrame(), ip.GetAnimRange().Start(),
                     ip.GetAnimRange().End()};
  s.Write(info, sizeof info);
  s.EndChunk();

  s.BeginChunk(CH_OBJECTS);
  for (ReferenceTarget* t : s.order) {
    if (t->IsNode()) continue;
    s.BeginChunk(CH_OBJECT);
    s.BeginChunk(CH_OBJ_HEADER);
    int32_t id = s.GetRefID(t);
    uint8_t kind = KIND_CLASS;
    SClass_ID super = t->SuperClassID();
    Class_ID cid = t->ClassID();
    int16_t block = 0;
    if (auto* pb = dynamic_cast<IParamBlock2*>(t)) {
      kind = KIND_PBLOCK;
      ClassDesc2* cd = pb->GetDesc()->cd;
      if (!cd) {
        err = "cannot save the scene: a parameter block has no class";
        return false;
      }
      super = cd->SuperClassID();
      cid = cd->ClassID();
      block = pb->ID();
    } else if (auto* d = dynamic_cast<IDerivedObject*>(t)) {
      kind = d->IsWorldSpace() ? KIND_WSDERIVED : KIND_DERIVED;
    }
    uint32_t a = cid.PartA(), b = cid.PartB();
    Put(&s, id);
    Put(&s, kind);
    Put(&s, super);
    Put(&s, a);
    Put(&s, b);
    Put(&s, block);
    s.EndChunk();
    s.BeginChunk(CH_OBJ_REFS);
    int32_t n = t->NumRefs();
    Put(&s, n);
    for (int i = 0; i < n; ++i) {
      int32_t r = s.GetRefID(t->GetReference(i));
      Put(&s, r);
    }
    s.EndChunk();
    if (ICustAttribContainer* c = t->GetCustAttribContainer()) {
      s.BeginChunk(CH_OBJ_CUSTATTRIBS);
      int32_t m = c->GetNumCustAttribs();
      Put(&s, m);
      for (int i = 0; i < m; ++i) {
        int32_t r = s.GetRefID(c->GetCustAttrib(i));
        Put(&s, r);
      }
      s.EndChunk();
    }
    s.BeginChunk(CH_OBJ_DATA);
    IOResult res = IO_OK;
    if (auto* pb = dynamic_cast<IParamBlock2*>(t)) res = pb->SaveValues(&s);
    else if (kind == KIND_CLASS) res = t->Save(&s);
    // An object that leaves chunks open is closed here.
    while (s.CurChunkDepth() > 3) s.EndChunk();
    s.EndChunk();
    if (res != IO_OK) {
      std::string cn;
      t->GetClassName(cn);
      err = "cannot save the scene: " + cn + " failed to write its data";
      return false;
    }
    s.EndChunk();
  }
  s.EndChunk();

  s.BeginChunk(CH_NODES);
  for (INode* n : nodes) {
    s.BeginChunk(CH_NODE);
    uint32_t h = n->GetHandle();
    INode* p = n->GetParentNode();
    uint32_t parent = (p && !p->IsRootNode()) ? p->GetHandle() : 0;
    int32_t self = s.GetRefID(n), obj = s.GetRefID(n->GetObjectRef()), mtl = s.GetRefID(n->GetMtl());
    auto bit = [](bool on, uint32_t f) { return on ? f : 0u; };
    uint32_t flags = bit(n->IsHidden(), NF_HIDDEN) | bit(n->IsFrozen(), NF_FROZEN) |
                     bit(n->HasObjXRayMtl(), NF_XRAY) | bit(n->GetBoxMode(), NF_BOX) |
                     bit(n->GetAllEdges(), NF_ALLEDGES) | bit(n->GetBackCull(), NF_BACKCULL) |
                     bit(n->Renderable(), NF_RENDERABLE);
    DWORD wire = n->GetWireColor();
    Put(&s, h);
    Put(&s, parent);
    Put(&s, self);
    Put(&s, obj);
    Put(&s, mtl);
    Put(&s, flags);
    Put(&s, wire);
    PutMatrix(&s, n->GetNodeTM(ip.GetTime()));
    PutMatrix(&s, n->GetObjOffsetTM());
    s.Write(n->GetName(), uint32_t(std::strlen(n->GetName())));
    s.EndChunk();
    // A chunk of its own, so that files without keys read as they always did.
    if (n->NumTMKeys() > 0) {
      s.BeginChunk(CH_NODE_TMKEYS);
      Put(&s, h);
      for (int k = 0; k < n->NumTMKeys(); ++k) {
        const int32_t kt = n->GetTMKeyTime(k);
        Put(&s, kt);
        PutMatrix(&s, n->GetTMKeyValue(k));
      }
      s.EndChunk();
    }
  }
  s.EndChunk();

  s.BeginChunk(CH_SELECTION);
  for (int i = 0; i < ip.GetSelNodeCount(); ++i) {
    uint32_t h = ip.GetSelNode(i)->GetHandle();
    Put(&s, h);
  }
  s.EndChunk();

  // Written aside and renamed: a failed save never damages the old file.
  std::string tmp = path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) {
      err = "cannot write " + path;
      return false;
    }
    f.write(kMagic, sizeof kMagic);
    f.write(reinterpret_cast<const char*>(&kVersion), 4);
    f.write(reinterpret_cast<const char*>(s.Bytes().data()), std::streamsize(s.Bytes().size()));
    f.flush();
    if (!f) {
      f.close();
      std::remove(tmp.c_str());
      err = "cannot write " + path;
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    err = "cannot write " + path;
    return false;
  }
  return true;
}

bool Interface::SaveToFile(const std::string& path) {
  file_error_.clear();
  BroadcastNotification(NOTIFY_FILE_PRE_SAVE, const_cast<char*>(path.c_str()));
  std::string old = file_path_;
  file_path_ = path;  // objects that rename themselves after the file see it
  if (!SceneIO::Save(*this, path, file_error_)) {
    file_path_ = old;
    return false;
  }
  BroadcastNotification(NOTIFY_FILE_POST_SAVE, const_cast<char*>(path.c_str()));
  return true;
}

// ------------------------------------------------------------------ load

namespace {

bool ReadHeaderChunk(ILoad& l, ObjRecord& r) {
  uint32_t a = 0, b = 0;
  if (!Get(&l, r.id) || !Get(&l, r.kind) || !Get(&l, r.super) || !Get(&l, a) || !Get(&l, b) ||
      !Get(&l, r.block))
    return false;
  r.cid = Class_ID(a, b);
  return true;
}

bool ReadIdList(ILoad& l, std::vector<int32_t>& out) {
  int32_t n = 0;
  if (!Get(&l, n) || n < 0 || uint64_t(n) * 4 + 4 != l.CurChunkLength()) return false;
  out.resize(size_t(n));
  for (int32_t& v : out)
    if (!Get(&l, v)) return false;
  return true;
}

std::string ClassText(const ObjRecord& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "(0x%08X, 0x%08X)", r.cid.PartA(), r.cid.PartB());
  return buf;
}

}  // namespace

bool SceneIO::Load(Interface& ip, const std::string& path, std::string& err) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    err = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (!CheckChunkFileHeader(all, kMagic, kVersion, path, "a Vorel scene file", "scene file", err)) return false;
  SceneLoader l(std::vector<uint8_t>(all.begin() + 12, all.end()));
  if (!l.StructureValid()) {
    err = path + " is truncated or corrupt";
    return false;
  }
  const std::string corrupt = path + " is truncated or corrupt";

  // 1. Records.
  int32_t info[4] = {0, 160, 0, 16000};
  bool haveInfo = false;
  // The saver writes all four top-level chunks, the selection last: a file
  // missing one was cut at a chunk boundary, which the structure check
  // cannot see, and loading it would replace the scene with part of one.
  bool haveObjects = false, haveNodes = false, haveSelection = false;
  std::vector<ObjRecord> objs;
  std::vector<NodeRecord> nodes;
  std::vector<uint32_t> sel;
  IOResult res;
  while ((res = l.OpenChunk()) == IO_OK) {
    switch (l.CurChunkID()) {
      case CH_SCENE:
        if (l.Read(info, sizeof info) != IO_OK) { err = corrupt; return false; }
        haveInfo = true;
        break;
      case CH_OBJECTS:
        haveObjects = true;
        while ((res = l.OpenChunk()) == IO_OK) {
          if (l.CurChunkID() == CH_OBJECT) {
            ObjRecord r;
            bool header = false;
            while ((res = l.OpenChunk()) == IO_OK) {
              bool ok = true;
              switch (l.CurChunkID()) {
                case CH_OBJ_HEADER: ok = header = ReadHeaderChunk(l, r); break;
                case CH_OBJ_REFS: ok = ReadIdList(l, r.refs); break;
                case CH_OBJ_CUSTATTRIBS: ok = ReadIdList(l, r.attribs); break;
                case CH_OBJ_DATA:
                  r.has_data = true;
                  r.data_begin = l.CurChunkBegin();
                  r.data_end = l.CurChunkEnd();
                  break;
                default: break;
              }
              l.CloseChunk();
              if (!ok) { err = corrupt; return false; }
            }
            if (res == IO_ERROR || !header) { err = corrupt; return false; }
            objs.push_back(std::move(r));
          }
          l.CloseChunk();
        }
        if (res == IO_ERROR) { err = corrupt; return false; }
        break;
      case CH_NODES:
        haveNodes = true;
        while ((res = l.OpenChunk()) == IO_OK) {
          if (l.CurChunkID() == CH_NODE) {
            NodeRecord n;
            if (!Get(&l, n.handle) || !Get(&l, n.parent) || !Get(&l, n.self) || !Get(&l, n.obj) ||
                !Get(&l, n.mtl) || !Get(&l, n.flags) || !Get(&l, n.wire) ||
                GetMatrix(&l, n.tm) != IO_OK || GetMatrix(&l, n.offset) != IO_OK ||
                l.ReadCStringChunk(n.name) != IO_OK) {
              err = corrupt;
              return false;
            }
            // The checks a move gives a node: a transform that is not finite
            // would put everything that follows the node nowhere.
            if (!Finite(n.tm) || !Finite(n.offset)) {
              err = path + ": node \"" + n.name + "\" has a transform that is not finite";
              return false;
            }
            nodes.push_back(std::move(n));
          } else if (l.CurChunkID() == CH_NODE_TMKEYS) {
            // The keys follow their node's chunk; times in order, each once.
            constexpr uint32_t kKeyBytes = 4 + 4 * sizeof(Point3);
            uint32_t h = 0;
            if (nodes.empty() || l.CurChunkLength() < 4 || (l.CurChunkLength() - 4) % kKeyBytes != 0 ||
                !Get(&l, h) || h != nodes.back().handle || !nodes.back().keys.empty()) {
              err = corrupt;
              return false;
            }
            NodeRecord& n = nodes.back();
            for (uint32_t k = 0, count = (l.CurChunkLength() - 4) / kKeyBytes; k < count; ++k) {
              int32_t kt = 0;
              Matrix3 m;
              if (!Get(&l, kt) || GetMatrix(&l, m) != IO_OK ||
                  (!n.keys.empty() && kt <= n.keys.back().first)) {
                err = corrupt;
                return false;
              }
              if (!Finite(m) || !(std::fabs(m.Determinant3()) > 1e-12f)) {
                err = path + ": node \"" + n.name + "\" has a transform key that is not finite or flat";
                return false;
              }
              n.keys.push_back({TimeValue(kt), m});
            }
          }
          l.CloseChunk();
        }
        if (res == IO_ERROR) { err = corrupt; return false; }
        break;
      case CH_SELECTION: {
        haveSelection = true;
        if (l.CurChunkLength() % 4 != 0) { err = corrupt; return false; }
        uint32_t n = l.CurChunkLength() / 4;
        sel.resize(n);
        for (uint32_t& h : sel)
          if (!Get(&l, h)) { err = corrupt; return false; }
        break;
      }
      default: break;
    }
    l.CloseChunk();
  }
  if (res == IO_ERROR || !haveInfo || !haveObjects || !haveNodes || !haveSelection) {
    err = corrupt;
    return false;
  }

  // 2. Numbering: every number used exactly once, every reference in range.
  size_t count = objs.size() + nodes.size();
  l.targets.assign(count, nullptr);
  std::vector<bool> used(count, false);
  auto claim = [&](int32_t id) {
    if (id < 0 || size_t(id) >= count || used[size_t(id)]) return false;
    used[size_t(id)] = true;
    return true;
  };
  for (const ObjRecord& r : objs)
    if (!claim(r.id)) { err = corrupt; return false; }
  std::map<uint32_t, int> byHandle;
  for (const NodeRecord& n : nodes) {
    if (!claim(n.self) || n.handle == 0 || byHandle.count(n.handle)) { err = corrupt; return false; }
    byHandle[n.handle] = 1;
  }
  auto inRange = [&](int32_t id) { return id >= -1 && id < int32_t(count); };
  for (const ObjRecord& r : objs)
    for (const auto* list : {&r.refs, &r.attribs})
      for (int32_t id : *list)
        if (!inRange(id)) { err = corrupt; return false; }
  for (const NodeRecord& n : nodes)
    if (!inRange(n.obj) || !inRange(n.mtl)) { err = corrupt; return false; }

  // 3. Objects, still outside the scene. On failure everything made so far goes.
  std::vector<Animatable*> made;
  auto fail = [&](const std::string& why) {
    for (Animatable* a : made)
      if (Animatable::IsAlive(a)) a->DeleteThis();
    err = why;
    return false;
  };
  for (const ObjRecord& r : objs) {
    ReferenceTarget* t = nullptr;
    if (r.kind == KIND_PBLOCK) {
      auto* cd = dynamic_cast<ClassDesc2*>(ClassDirectory::Get().FindClass(r.super, r.cid));
      ParamBlockDesc2* pbd = cd ? cd->GetParamBlockDescByID(r.block) : nullptr;
      if (!pbd)
        return fail(path + ": the parameter block of class " + ClassText(r) +
                    " is not available (a plug-in is missing)");
      t = new IParamBlock2(pbd, nullptr);
    } else if (r.kind == KIND_DERIVED || r.kind == KIND_WSDERIVED) {
      t = new IDerivedObject(r.kind == KIND_WSDERIVED);
    } else if (r.kind == KIND_CLASS) {
      ClassDesc* cd = ClassDirectory::Get().FindClass(r.super, r.cid);
      Animatable* a = cd ? cd->Create(true) : nullptr;
      t = dynamic_cast<ReferenceTarget*>(a);
      if (!t) {
        if (a) a->DeleteThis();
        return fail(path + ": class " + ClassText(r) + " is not available (a plug-in is missing)");
      }
    } else {
      return fail(corrupt);
    }
    made.push_back(t);
    l.targets[size_t(r.id)] = t;
  }
  std::vector<INode*> newNodes;
  for (const NodeRecord& n : nodes) {
    auto* node = new INode();
    made.push_back(node);
    newNodes.push_back(node);
    l.targets[size_t(n.self)] = node;
  }

  // 4. Data. Objects see the file being loaded as the scene file.
  std::string oldPath = ip.file_path_;
  ip.file_path_ = path;
  for (const ObjRecord& r : objs) {
    if (!r.has_data) continue;
    ReferenceTarget* t = l.targets[size_t(r.id)];
    ILoad sub(&l, r.data_begin, r.data_end);
    IOResult ok = r.kind == KIND_PBLOCK ? static_cast<IParamBlock2*>(t)->LoadValues(&sub)
                  : r.kind == KIND_CLASS ? t->Load(&sub)
                                         : IO_OK;
    if (ok != IO_OK) {
      ip.file_path_ = oldPath;
      for (auto& cb : l.PostLoadCallbacks()) delete cb.second;
      std::string cn;
      t->GetClassName(cn);
      return fail(path + ": " + (cn.empty() ? ClassText(r) : cn) + " could not read its data" +
                  (l.Refusal().empty() ? std::string() : ": " + l.Refusal()));
    }
  }
  ip.file_path_ = oldPath;

  // 5. References (cannot fail: every number was checked).
  for (const ObjRecord& r : objs) {
    ReferenceTarget* t = l.targets[size_t(r.id)];
    for (size_t i = 0; i < r.refs.size(); ++i) {
      ReferenceTarget* target = r.refs[i] >= 0 ? l.targets[size_t(r.refs[i])] : nullptr;
      if (target || t->GetReference(int(i))) t->ReplaceReference(int(i), target);
      if (auto* pb = dynamic_cast<IParamBlock2*>(target))
        if (!pb->GetOwner()) pb->SetOwner(t);
    }
    if (!r.attribs.empty()) {
      t->AllocCustAttribContainer();
      for (int32_t id : r.attribs)
        if (auto* ca = dynamic_cast<CustAttrib*>(id >= 0 ? l.targets[size_t(id)] : nullptr))
          t->GetCustAttribContainer()->AppendCustAttrib(ca);
    }
  }

  // 6. The new scene replaces the old one.
  BroadcastNotification(NOTIFY_FILE_PRE_OPEN, const_cast<char*>(path.c_str()));
  ip.ResetScene();
  std::map<uint32_t, INode*> placed;
  for (size_t k = 0; k < nodes.size(); ++k) {
    const NodeRecord& n = nodes[k];
    INode* node = newNodes[k];
    ip.RegisterNode(node, n.handle);
    INode* parent = ip.root_;
    auto p = placed.find(n.parent);
    if (n.parent && p != placed.end()) parent = p->second;
    parent->AttachChild(node, 0);
    placed[n.handle] = node;
    node->SetName(n.name.c_str());
    node->RestoreState(n.tm, n.flags & NF_HIDDEN);
    node->RestoreTMKeys(n.keys);  // checked as SetTMKey checks them when read
    node->SetObjOffsetTM(n.offset);
    node->Freeze(n.flags & NF_FROZEN);
    node->XRayMtl(n.flags & NF_XRAY);
    node->BoxMode(n.flags & NF_BOX);
    node->AllEdges(n.flags & NF_ALLEDGES);
    node->BackCull(n.flags & NF_BACKCULL);
    node->SetRenderable(n.flags & NF_RENDERABLE);
    node->SetWireColor(n.wire);
    if (n.obj >= 0) node->ReplaceReference(0, l.targets[size_t(n.obj)]);
    if (n.mtl >= 0) node->ReplaceReference(1, l.targets[size_t(n.mtl)]);
  }
  ip.time_ = info[0];
  ip.SetTicksPerFrame(info[1]);
  ip.range_ = Interval(info[2], info[3]);
  ip.file_path_ = path;
  for (uint32_t h : sel)
    if (INode* n = ip.GetINodeByHandle(h)) ip.SelectNode(n, 0);

  // Objects of the file that nothing references (a damaged or hand-made
  // file) would only leak.
  for (Animatable* a : made)
    if (Animatable::IsAlive(a)) {
      auto* t = static_cast<ReferenceTarget*>(a);
      if (!t->IsNode() && !t->HasDependents()) t->MaybeAutoDelete();
    }

  // 7. Post-load work, lowest priority number first, in registration order.
  auto cbs = l.PostLoadCallbacks();
  std::stable_sort(cbs.begin(), cbs.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& cb : cbs) cb.second->proc(&l);
  BroadcastNotification(NOTIFY_FILE_POST_OPEN, const_cast<char*>(path.c_str()));
  return true;
}

bool Interface::LoadFromFile(const std::string& path) {
  file_error_.clear();
  return SceneIO::Load(*this, path, file_error_);
}
