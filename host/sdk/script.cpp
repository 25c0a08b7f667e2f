#include "host/sdk/script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <csignal>
#include <sys/resource.h>

#include "host/core/bmp_info.h"
#include "host/core/files.h"
#include "host/core/interaction.h"
#include "host/core/process.h"
#include "host/core/registry.h"
#include "host/sdk/frame_check.h"
#include "host/sdk/hold.h"
#include "host/sdk/interface.h"
#include "host/sdk/mtllib.h"
#include "host/sdk/particles.h"
#include "host/sdk/util.h"

namespace vorel_sdk {

namespace {

bool SameBytes(const std::string& a, const std::string& b) {
  if (vorel::host::FileSize(a) != vorel::host::FileSize(b)) return false;
  FILE* fa = vorel::host::OpenFile(a, "rb");
  FILE* fb = vorel::host::OpenFile(b, "rb");
  bool same = fa && fb;
  static char bufA[65536], bufB[65536];
  while (same) {
    const size_t na = std::fread(bufA, 1, sizeof bufA, fa);
    const size_t nb = std::fread(bufB, 1, sizeof bufB, fb);
    if (na != nb || std::memcmp(bufA, bufB, na) != 0) same = false;
    if (na == 0) break;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

bool ParseFloat(const std::string& s, float& v) {
  char* end = nullptr;
  v = std::strtof(s.c_str(), &end);
  return !s.empty() && end && *end == '\0' && std::isfinite(v);
}

bool ParseInt(const std::string& s, int& v) {
  std::string l = Lower(s);
  if (l == "true" || l == "on" || l == "yes") { v = 1; return true; }
  if (l == "false" || l == "off" || l == "no") { v = 0; return true; }
  char* end = nullptr;
  long x = std::strtol(s.c_str(), &end, 0);
  if (s.empty() || !end || *end != '\0' || x < INT32_MIN || x > INT32_MAX) return false;
  v = int(x);
  return true;
}

std::string FormatFloat(float f) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", double(f));
  return buf;
}

// A parameter of any block of the node's object (base object first, then
// the object on top of it, then the base object's custom attributes).
struct ParamRef {
  IParamBlock2* pb = nullptr;
  const ParamDef* def = nullptr;
};

ParamRef FindParam(INode* node, const std::string& name) {
  ParamRef r;
  Object* o = node->GetObjectRef();
  std::vector<Animatable*> owners;
  if (o) {
    owners.push_back(o->FindBaseObject());
    owners.push_back(o);
    // Then the custom attributes of the base object.
    Object* base = o->FindBaseObject();
    if (ICustAttribContainer* c = base ? base->GetCustAttribContainer() : nullptr)
      for (int i = 0; i < c->GetNumCustAttribs(); ++i) owners.push_back(c->GetCustAttrib(i));
  }
  for (Animatable* a : owners) {
    if (!a) continue;
    for (int i = 0; i < a->NumParamBlocks(); ++i) {
      IParamBlock2* pb = a->GetParamBlock(i);
      const ParamDef* d = pb ? pb->GetDesc()->FindParamByName(name) : nullptr;
      if (d) return {pb, d};
    }
  }
  return r;
}

std::string ValueText(IParamBlock2* pb, const ParamDef& d, TimeValue t) {
  Interval iv;
  switch (d.type) {
    case TYPE_FLOAT: case TYPE_WORLD: case TYPE_ANGLE: {
      float f = 0;
      pb->GetValue(d.id, t, f, iv);
      return FormatFloat(f);
    }
    case TYPE_STRING: case TYPE_FILENAME: {
      const char* s = pb->GetStr(d.id, t);
      return s ? "\"" + std::string(s) + "\"" : "undefined";
    }
    case TYPE_INODE: {
      INode* n = pb->GetINode(d.id, t);
      return n ? n->GetName() : "undefined";
    }
    case TYPE_INODE_TAB: {
      std::string s = "#(";
      for (int i = 0; i < pb->Count(d.id); ++i) {
        INode* n = pb->GetINode(d.id, t, i);
        s += (i ? ", " : "") + std::string(n ? n->GetName() : "undefined");
      }
      return s + ")";
    }
    case TYPE_POINT3: {
      Point3 p = pb->GetPoint3(d.id, t);
      return "[" + FormatFloat(p.x) + "," + FormatFloat(p.y) + "," + FormatFloat(p.z) + "]";
    }
    default: {
      int v = 0;
      pb->GetValue(d.id, t, v, iv);
      return std::to_string(v);
    }
  }
}

int AnswerCode(const std::string& w) {
  static const std::map<std::string, int> names = {
      {"ok", IDOK}, {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
      {"ignore", IDIGNORE}, {"yes", IDYES}, {"no", IDNO}};
  auto it = names.find(Lower(w));
  if (it != names.end()) return it->second;
  int v = 0;
  return ParseInt(w, v) ? v : -1;
}

// Replaces each ${NAME} of a word by that environment variable; false (and
// the name in err) for a variable that is not set.
bool ExpandEnvironment(std::string& word, std::string& err) {
  for (size_t at = word.find("${"); at != std::string::npos; at = word.find("${", at)) {
    size_t close = word.find('}', at + 2);
    if (close == std::string::npos) return true;
    const std::string name = word.substr(at + 2, close - at - 2);
    const char* value = std::getenv(name.c_str());
    if (!value) {
      err = "no environment variable " + name;
      return false;
    }
    word.replace(at, close + 1 - at, value);
    at += std::strlen(value);
  }
  return true;
}

// One scripted particle from "x,y,z[,age[,life[,scale[,born]]]]" (age and
// life in frames).
bool ParseParticle(const std::string& text, int tpf, int index, ScriptedParticle& p) {
  std::vector<float> v;
  std::stringstream ss(text);
  for (std::string item; std::getline(ss, item, ',');) {
    float f = 0;
    if (!ParseFloat(item, f)) return false;
    v.push_back(f);
  }
  if (v.size() < 3 || v.size() > 7) return false;
  p.pos = Point3(v[0], v[1], v[2]);
  p.age = v.size() > 3 ? TimeValue(std::lround(v[3] * float(tpf))) : 0;
  p.life = v.size() > 4 ? TimeValue(std::lround(v[4] * float(tpf))) : 0;
  p.scale = v.size() > 5 ? v[5] : 1.0f;
  p.born = v.size() > 6 ? int(v[6]) : index;
  return true;
}

}  // namespace

bool ExportNodeObj(INode* node, TimeValue t, const std::string& path, int& verts, int& faces) {
  verts = faces = 0;
  if (!node) return false;
  const ObjectState& os = node->EvalWorldState(t);
  Object* o = os.obj;
  if (!o || !o->CanConvertToType(triObjectClassID())) return false;
  Object* conv = o->ConvertToType(t, triObjectClassID());
  auto* tri = dynamic_cast<TriObject*>(conv);
  if (!tri) {
    if (conv && conv != o) conv->DeleteThis();
    return false;
  }
  Matrix3 tm = node->GetObjectTM(t);
  std::ofstream f(path);
  bool ok = bool(f);
  if (ok) {
    f << "# " << node->GetName() << " at tick " << t << "\n";
    char buf[128];
    for (const Point3& p : tri->mesh.verts) {
      Point3 w = p * tm;
      std::snprintf(buf, sizeof buf, "v %.6g %.6g %.6g\n", double(w.x), double(w.y), double(w.z));
      f << buf;
    }
    for (const Face& fc : tri->mesh.faces)
      f << "f " << fc.v[0] + 1 << " " << fc.v[1] + 1 << " " << fc.v[2] + 1 << "\n";
    ok = bool(f);
    verts = tri->mesh.getNumVerts();
    faces = tri->mesh.getNumFaces();
  }
  if (conv != o) conv->DeleteThis();
  return ok;
}

SceneScript::SceneScript(std::function<void(const std::string&)> out) : out_(std::move(out)) {}

void SceneScript::AddCommand(const std::string& name, Handler h) {
  extra_.emplace_back(Lower(name), std::move(h));
}

bool SceneScript::Fail(const std::string& why) {
  error_ = why;
  return false;
}

namespace {
// The text after the first word of a line, as written.
std::string AfterFirstWord(const std::string& line) {
  size_t at = line.find_first_not_of(" \t");
  at = at == std::string::npos ? at : line.find_first_of(" \t", at);
  at = at == std::string::npos ? at : line.find_first_not_of(" \t", at);
  return at == std::string::npos ? "" : line.substr(at);
}
}  // namespace

bool SceneScript::RunLine(const std::string& line) {
  error_.clear();
  std::vector<std::string> w;
  std::string err;
  if (SplitWords(line, w, err) && !w.empty() && Lower(w[0]) == "fails") {
    const std::string inner = AfterFirstWord(line);
    if (inner.empty()) return Fail("usage: fails <command...>");
    if (RunLine(inner)) return Fail("the command did not fail: " + inner);
    Print("failed as expected: " + error_);
    error_.clear();
    return true;
  }
  // A command during which the plug-ins showed an error box failed, whatever
  // it answered: the user was told that what they asked for did not happen.
  const size_t boxesBefore = vorel::host::MessageBoxLog().size();
  if (!RunCommand(line)) return false;
  const std::vector<vorel::host::MessageBoxRecord> boxes = vorel::host::MessageBoxLog();
  for (size_t i = std::min(boxesBefore, boxes.size()); i < boxes.size(); ++i)
    if ((boxes[i].type & 0xF0u) == MB_ICONERROR) return Fail("error reported: " + boxes[i].text);
  return true;
}

bool SceneScript::RunCommand(const std::string& line) {
  std::vector<std::string> w;
  std::string err;
  if (!SplitWords(line, w, err)) return Fail(err);
  if (w.empty()) return true;
  for (std::string& word : w)
    if (!ExpandEnvironment(word, err)) return Fail(err);
  Interface* ip = GetCOREInterface();
  const std::string cmd = Lower(w[0]);
  auto need = [&](size_t n, const char* usage) {
    if (w.size() < n) {
      error_ = std::string("usage: ") + usage;
      return false;
    }
    return true;
  };
  auto node = [&](const std::string& name) -> INode* {
    INode* n = ip->GetINodeByName(name.c_str());
    if (!n) error_ = "no node named \"" + name + "\"";
    return n;
  };
  auto frame = [&](const std::string& s, TimeValue& t) {
    float f = 0;
    if (!ParseFloat(s, f)) {
      error_ = "not a frame number: " + s;
      return false;
    }
    t = TimeValue(std::lround(f * float(ip->GetTicksPerFrame())));
    return true;
  };

  for (auto& ex : extra_) {
    if (ex.first != cmd) continue;
    const std::string rest = AfterFirstWord(line);
    std::ostringstream os;
    std::string e;
    bool ok = ex.second(rest, os, e);
    std::istringstream lines(os.str());
    for (std::string l; std::getline(lines, l);) Print(l);
    return ok ? true : Fail(e.empty() ? cmd + " failed" : e);
  }
  if (cmd == "filelimit") {
    // A full disk as a process sees it: writes past the limit fail (EFBIG)
    // instead of killing the process.
    int bytes = 0;
    const bool off = w.size() == 2 && Lower(w[1]) == "off";
    if (w.size() != 2 || (!off && (!ParseInt(w[1], bytes) || bytes < 0)))
      return Fail("usage: filelimit <bytes>|off");
    struct rlimit r;
    if (getrlimit(RLIMIT_FSIZE, &r) != 0) return Fail("cannot read the file size limit");
    r.rlim_cur = off ? r.rlim_max : std::min<rlim_t>(rlim_t(bytes), r.rlim_max);
    std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &r) != 0) return Fail("cannot set the file size limit");
    Print(off ? std::string("no file size limit") : "file size limit " + w[1] + " bytes");
    return true;
  }
  if (cmd == "echo") {
    std::string s;
    for (size_t i = 1; i < w.size(); ++i) s += (i > 1 ? " " : "") + w[i];
    Print(s);
    return true;
  }
  if (cmd == "env") {
    if (!need(2, "env <name>")) return false;
    const char* v = std::getenv(w[1].c_str());
    Print(w[1] + (v ? "=" + std::string(v) : " is not set"));
    return true;
  }
  if (cmd == "registry") {
    if (!need(4, "registry <key> <value name> <text>")) return false;
    const std::string& text = w[3];
    if (!vorel::host::RegistrySetString(HKEY_CURRENT_USER, w[1], w[2], text))
      return Fail("cannot write the registry value " + w[2]);
    return true;
  }
  if (cmd == "waitprograms") {
    // Programs the plug-ins started run on their own; a script that needs
    // their results waits here for every one still running.
    for (const vorel::host::StartedProgram& p : vorel::host::StartedPrograms()) {
      if (p.outcome != vorel::host::StartedProgram::kRan) continue;
      const int code = vorel::host::WaitForStartedProgram(p.pid);
      if (code < 0) continue;
      std::string name = p.args.empty() ? p.commandLine : p.args[0];
      const size_t slash = name.find_last_of("/\\");
      if (slash != std::string::npos) name = name.substr(slash + 1);
      Print("program " + name + " ended with exit code " + std::to_string(code));
    }
    return true;
  }
  if (cmd == "programs") {
    // Every start so far, the recorded ones (help, log, previews) included.
    static const char* const kOutcome[] = {"recorded", "ran", "failed"};
    for (const vorel::host::StartedProgram& p : vorel::host::StartedPrograms())
      Print(std::string("program ") + kOutcome[p.outcome] + ": " + p.commandLine);
    return true;
  }
  if (cmd == "plugins") {
    if (!need(2, "plugins <folder>")) return false;
    std::vector<std::string> errs;
    int n = PluginManager::Get().LoadFolder(w[1], errs);
    for (const std::string& e : errs) Print("plug-in: " + e);
    Print("loaded " + std::to_string(n) + " plug-in(s) from " + w[1]);
    return true;
  }
  if (cmd == "create") {
    if (!need(2, "create <class> [<node name>]")) return false;
    ClassDesc* cd = ClassDirectory::Get().FindClassByName(w[1]);
    if (!cd) {
      unsigned a = 0, b = 0;
      if (std::sscanf(w[1].c_str(), "%x:%x", &a, &b) == 2) cd = ClassDirectory::Get().FindClass(Class_ID(a, b));
    }
    if (!cd) return Fail("no class named \"" + w[1] + "\"");
    if (!cd->OkToCreate(ip)) return Fail(std::string(cd->ClassName()) + " cannot be created now");
    std::vector<INode*> before = ip->AllNodes();
    INode* made = nullptr;
    if (!cd->BeginCreate(ip)) {
      auto* obj = dynamic_cast<Object*>(cd->Create(false));
      if (!obj) return Fail(std::string(cd->ClassName()) + " made no scene object");
      made = ip->CreateObjectNode(obj, w.size() > 2 ? w[2].c_str() : nullptr);
      ip->SelectNode(made);
    }
    cd->EndCreate(ip);
    // The descriptor may have made its own nodes: name the first of them.
    for (INode* n : ip->AllNodes()) {
      if (std::find(before.begin(), before.end(), n) != before.end()) continue;
      if (!made && w.size() > 2) {
        made = n;
        std::string unique = w[2];
        if (!vorel_sdk::EqualNoCase(n->GetName(), unique)) {
          ip->MakeNameUnique(unique);
          n->SetName(unique.c_str());
        }
      }
      Print(std::string("created ") + n->GetName() + " (" + cd->ClassName() + ")");
    }
    return true;
  }
  if (cmd == "set" || cmd == "get" || cmd == "key") {
    if (cmd == "set" && !need(4, "set <node> <parameter> <value...>")) return false;
    if (cmd == "get" && !need(3, "get <node> <parameter> [<frame>]")) return false;
    if (cmd == "key" && !need(5, "key <node> <parameter> <frame> <value>")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    ParamRef p = FindParam(n, w[2]);
    if (!p.pb) return Fail(std::string(n->GetName()) + " has no parameter \"" + w[2] + "\"");
    const ParamDef& d = *p.def;
    TimeValue t = ip->GetTime();
    if (cmd == "get") {
      if (w.size() > 3 && !frame(w[3], t)) return false;
      Print(std::string(n->GetName()) + "." + d.int_name + " = " + ValueText(p.pb, d, t));
      return true;
    }
    size_t vi = 3;
    if (cmd == "key") {
      if (!frame(w[3], t)) return false;
      vi = 4;
    }
    bool ok = false;
    bool isFloat = d.type == TYPE_FLOAT || d.type == TYPE_WORLD || d.type == TYPE_ANGLE;
    if (isFloat || d.type == TYPE_INT || d.type == TYPE_BOOL || d.type == TYPE_RADIOBTN_INDEX) {
      float f = 0;
      int i = 0;
      if (isFloat ? !ParseFloat(w[vi], f) : !ParseInt(w[vi], i))
        return Fail("not a value for " + d.int_name + ": " + w[vi]);
      if (cmd == "key") ok = isFloat ? p.pb->SetKey(d.id, t, f) : p.pb->SetKey(d.id, t, i);
      else ok = isFloat ? p.pb->SetValue(d.id, t, f) : p.pb->SetValue(d.id, t, i);
    } else if (cmd == "key") {
      return Fail(d.int_name + " cannot be keyed");
    } else if (d.type == TYPE_STRING || d.type == TYPE_FILENAME) {
      std::string s;
      for (size_t i = vi; i < w.size(); ++i) s += (i > vi ? " " : "") + w[i];
      ok = p.pb->SetValue(d.id, t, s.c_str());
    } else if (d.type == TYPE_INODE) {
      INode* target = Lower(w[vi]) == "undefined" ? nullptr : node(w[vi]);
      if (!target && Lower(w[vi]) != "undefined") return false;
      ok = p.pb->SetValue(d.id, t, target);
    } else if (d.type == TYPE_INODE_TAB) {
      std::vector<INode*> tab;
      for (size_t i = vi; i < w.size(); ++i) {
        if (Lower(w[i]) == "undefined") { tab.push_back(nullptr); continue; }
        INode* x = node(w[i]);
        if (!x) return false;
        tab.push_back(x);
      }
      p.pb->SetCount(d.id, 0);
      ok = tab.empty() || p.pb->Append(d.id, int(tab.size()), tab.data()) == int(tab.size());
    }
    if (!ok) return Fail("cannot set " + d.int_name);
    Print(std::string(n->GetName()) + "." + d.int_name + " = " + ValueText(p.pb, d, t));
    return true;
  }
  if (cmd == "move" || cmd == "rotate" || cmd == "keymove" || cmd == "keyrotate" || cmd == "keyscale") {
    // The key forms name the frame after the node and set a transform key
    // there (position, rotation or scale changed from the node's transform
    // at that frame); the others change the transform at the current time,
    // which animate mode also keys.
    const bool keyed = cmd.compare(0, 3, "key") == 0;
    const std::string op = keyed ? cmd.substr(3) : cmd;
    const std::string at = keyed ? " <frame>" : "";
    if (op == "move" && !need(keyed ? 6 : 5, (cmd + " <node>" + at + " <x> <y> <z>").c_str())) return false;
    if (op == "rotate" && !need(keyed ? 5 : 4, (cmd + " <node>" + at + " <x|y|z> <degrees>").c_str()))
      return false;
    if (op == "scale" && !need(6, "keyscale <node> <frame> <sx> <sy> <sz>")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    TimeValue t = ip->GetTime();
    if (keyed && !frame(w[2], t)) return false;
    const size_t a = keyed ? 3 : 2;
    Matrix3 tm = n->GetNodeTM(t);
    if (op == "move") {
      float x, y, z;
      if (!ParseFloat(w[a], x) || !ParseFloat(w[a + 1], y) || !ParseFloat(w[a + 2], z)) return Fail("not a position");
      tm.SetTrans(Point3(x, y, z));
    } else if (op == "rotate") {
      float deg;
      std::string ax = Lower(w[a]);
      if (!ParseFloat(w[a + 1], deg) || (ax != "x" && ax != "y" && ax != "z")) return Fail("not a rotation");
      float r = deg * 3.14159265358979f / 180.0f;
      Point3 pos = tm.GetTrans();
      tm.NoTrans();
      tm = tm * (ax == "x" ? RotateXMatrix(r) : ax == "y" ? RotateYMatrix(r) : RotateZMatrix(r));
      tm.SetTrans(pos);
    } else {
      // The scale along the node's own axes, whatever it was before.
      float x, y, z;
      if (!ParseFloat(w[a], x) || !ParseFloat(w[a + 1], y) || !ParseFloat(w[a + 2], z) || x == 0.0f ||
          y == 0.0f || z == 0.0f)
        return Fail("not a scale (three non-zero factors)");
      tm.SetRow(0, tm.GetRow(0).Normalize() * x);
      tm.SetRow(1, tm.GetRow(1).Normalize() * y);
      tm.SetRow(2, tm.GetRow(2).Normalize() * z);
    }
    if (keyed) {
      if (!n->SetTMKey(t, tm)) return Fail("not a transform a key can hold (not finite, or flat)");
    } else {
      n->SetNodeTM(t, tm);
    }
    return true;
  }
  if (cmd == "where") {
    if (!need(2, "where <node> [<frame>]")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    TimeValue t = ip->GetTime();
    if (w.size() > 2 && !frame(w[2], t)) return false;
    const Matrix3 tm = n->GetNodeTM(t);
    auto row = [](const Point3& p) {
      return "[" + FormatFloat(p.x) + "," + FormatFloat(p.y) + "," + FormatFloat(p.z) + "]";
    };
    Print(std::string(n->GetName()) + " at " + row(tm.GetTrans()) + " axes " + row(tm.GetRow(0)) + " " +
          row(tm.GetRow(1)) + " " + row(tm.GetRow(2)));
    return true;
  }
  if (cmd == "hide" || cmd == "unhide" || cmd == "delete" || cmd == "select") {
    if (!need(2, (cmd + " <node>").c_str())) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    if (cmd == "hide") n->Hide(true);
    else if (cmd == "unhide") n->Hide(false);
    else if (cmd == "select") ip->SelectNode(n, 1);
    else {
      std::string name = n->GetName();
      ip->DeleteNode(n);
      Print("deleted " + name);
    }
    return true;
  }
  if (cmd == "deselect") {
    ip->ClearNodeSelection();
    return true;
  }
  if (cmd == "bind") {
    // The host's "bind to space warp": the warp's binding modifier goes on
    // top of the node's space-warp stack (made when the node has none).
    if (!need(3, "bind <node> <space warp node>")) return false;
    INode* n = node(w[1]);
    INode* warpNode = node(w[2]);
    if (!n || !warpNode) return false;
    Object* warpObj = warpNode->GetObjectRef() ? warpNode->GetObjectRef()->FindBaseObject() : nullptr;
    auto* warp = dynamic_cast<WSMObject*>(warpObj);
    if (!warp) return Fail(std::string(warpNode->GetName()) + " is not a space warp");
    Object* obj = n->GetObjectRef();
    if (!obj) return Fail(std::string(n->GetName()) + " has no object");
    Modifier* mod = warp->CreateWSMMod(warpNode);
    if (!mod) return Fail(std::string(warpNode->GetName()) + " binds nothing");
    auto* derived = obj->ClassID() == WSMDerivObjClassID() ? static_cast<IDerivedObject*>(obj) : nullptr;
    if (!derived) {
      derived = CreateWSDerivedObject(obj);
      n->SetObjectRef(derived);
    }
    derived->AddModifier(mod);
    Print(std::string("bound ") + n->GetName() + " to " + warpNode->GetName());
    return true;
  }
  if (cmd == "range") {
    TimeValue a, b;
    if (!need(3, "range <start frame> <end frame>") || !frame(w[1], a) || !frame(w[2], b)) return false;
    if (b < a) return Fail("the range ends before it starts");
    ip->SetAnimRange(Interval(a, b));
    return true;
  }
  if (cmd == "tpf") {
    int v = 0;
    if (!need(2, "tpf <ticks per frame>")) return false;
    if (!ParseInt(w[1], v) || v <= 0 || TIME_TICKSPERSEC % v != 0)
      return Fail("ticks per frame must divide 4800");
    ip->SetTicksPerFrame(v);
    return true;
  }
  if (cmd == "time") {
    TimeValue t;
    if (!need(2, "time <frame> [noredraw]") || !frame(w[1], t)) return false;
    ip->SetTime(t, !(w.size() > 2 && Lower(w[2]) == "noredraw"));
    return true;
  }
  if (cmd == "play") {
    ip->StartAnimPlayback(0);
    return true;
  }
  if (cmd == "animate") {
    if (!need(2, "animate on|off")) return false;
    ip->SetAnimateMode(Lower(w[1]) == "on");
    return true;
  }
  if (cmd == "action") {
    if (!need(2, "action <table id> <command id> | action <name>")) return false;
    int table = 0, id = 0;
    bool ok = w.size() > 2 && ParseInt(w[1], table) && ParseInt(w[2], id)
                  ? ip->RunAction(table, id)
                  : ip->RunActionByName(w[1]);
    if (!ok) return Fail("no action " + w[1] + (w.size() > 2 ? " " + w[2] : ""));
    return true;
  }
  if (cmd == "answer") {
    if (!need(2, "answer <OK|Cancel|Yes|No|Abort|Retry|Ignore|number>...")) return false;
    for (size_t i = 1; i < w.size(); ++i) {
      int a = AnswerCode(w[i]);
      if (a < 0) return Fail("not a message box answer: " + w[i]);
      vorel::host::QueueMessageBoxAnswer(a);
    }
    return true;
  }
  if (cmd == "escape") {
    int n = 0;
    if (!need(2, "escape <poll>") || !ParseInt(w[1], n) || n < 0) return Fail("usage: escape <poll>");
    vorel::host::PressEscapeAtPoll(n);
    return true;
  }
  if (cmd == "mkdir") {
    if (!need(2, "mkdir <folder>")) return false;
    if (!vorel::host::MakeDirectories(w[1])) return Fail("cannot make folder " + w[1]);
    return true;
  }
  if (cmd == "compare") {
    if (!need(3, "compare <folder> <folder> [<pattern>]")) return false;
    const std::string pattern = w.size() > 3 ? w[3] : "*";
    auto plainFiles = [&](const std::string& folder) {
      std::vector<std::string> names;
      for (const std::string& n : vorel::host::ListFiles(folder, pattern))
        if (vorel::host::FileExists(folder + "/" + n)) names.push_back(n);
      return names;
    };
    const std::string a = vorel::host::NormalizePath(w[1]), b = vorel::host::NormalizePath(w[2]);
    if (!vorel::host::DirectoryExists(a) || !vorel::host::DirectoryExists(b))
      return Fail("no folder " + (vorel::host::DirectoryExists(a) ? w[2] : w[1]));
    const std::vector<std::string> left = plainFiles(a), right = plainFiles(b);
    for (const std::string& n : right)
      if (std::find(left.begin(), left.end(), n) == left.end()) return Fail(n + " is only in " + w[2]);
    for (const std::string& n : left) {
      if (std::find(right.begin(), right.end(), n) == right.end()) return Fail(n + " is only in " + w[1]);
      if (!SameBytes(a + "/" + n, b + "/" + n)) return Fail(n + " differs");
    }
    Print(std::to_string(left.size()) + " files the same in " + w[1] + " and " + w[2]);
    return true;
  }
  if (cmd == "remove") {
    if (!need(2, "remove <file>")) return false;
    if (!vorel::host::FileExists(w[1]) || std::remove(vorel::host::NormalizePath(w[1]).c_str()) != 0)
      return Fail("cannot remove " + w[1]);
    return true;
  }
  if (cmd == "image") {
    if (!need(2, "image <file.bmp>")) return false;
    vorel::host::BmpInfo bmp;
    std::string why;
    if (!vorel::host::ReadBmpInfo(w[1], bmp, why)) return Fail(w[1] + ": " + why);
    Print("image " + w[1] + ": " + std::to_string(bmp.width) + " x " + std::to_string(bmp.height) + ", " +
          std::to_string(bmp.bitsPerPixel) + " bits, grey " + std::to_string(bmp.darkest) + " to " +
          std::to_string(bmp.brightest) + (bmp.litPixels > 0 ? ", lit" : ", black"));
    return true;
  }
  if (cmd == "files") {
    // One line, so that an expectation can say exactly what a folder holds.
    if (!need(2, "files <folder> [<pattern>]")) return false;
    if (!vorel::host::DirectoryExists(w[1])) return Fail("no folder " + w[1]);
    std::vector<std::string> names;
    for (const std::string& n : vorel::host::ListFiles(w[1], w.size() > 2 ? w[2] : "*"))
      if (vorel::host::FileExists(w[1] + "/" + n)) names.push_back(n);
    std::string s = std::to_string(names.size()) + " file(s):";
    for (const std::string& n : names) s += " " + n;
    Print(s);
    return true;
  }
  if (cmd == "framecheck") {
    // Solved frames differ from run to run (emission is seeded by the
    // clock): a script states the limits every frame must keep.
    const char* usage =
        "framecheck <folder> <first> <last> [scale=<s>] [inside=<x0,y0,z0,x1,y1,z1>] [speed<=<v>] "
        "[parked<=<n>] [count>=<n>] [outside=<node>] [moved<=<v>[,<percent>]] [reach=<x0,y0,z0,x1,y1,z1>] "
        "[lowest<=<z>] [falling] [wallmotion<=<k> band=<w> fps=<f>]";
    int first = 0, last = 0;
    if (!need(4, usage)) return false;
    if (!ParseInt(w[2], first) || !ParseInt(w[3], last) || first < 0 || last < first)
      return Fail("not a frame range: " + w[2] + " " + w[3]);
    FrameCheckLimits limits;
    for (size_t k = 4; k < w.size(); ++k) {
      const std::string c = Lower(w[k]);
      const size_t eq = c.find('=');
      const std::string key = eq == std::string::npos ? c : c.substr(0, eq);
      const std::string value = eq == std::string::npos ? "" : c.substr(eq + 1);
      bool ok = false;
      // A box x0,y0,z0,x1,y1,z1 into lo and hi.
      auto box = [&](float* lo, float* hi) {
        std::vector<float> v;
        std::stringstream in(value);
        float x = 0;
        for (std::string part; std::getline(in, part, ',');) {
          if (!ParseFloat(part, x)) break;
          v.push_back(x);
        }
        const bool whole = v.size() == 6 && v[0] <= v[3] && v[1] <= v[4] && v[2] <= v[5];
        for (int a = 0; a < 3 && whole; ++a) {
          lo[a] = v[size_t(a)];
          hi[a] = v[size_t(a) + 3];
        }
        return whole;
      };
      if (key == "scale") {
        ok = ParseFloat(value, limits.scale) && limits.scale > 0.0f;
      } else if (key == "inside") {
        ok = limits.box = box(limits.lo, limits.hi);
      } else if (key == "reach") {
        ok = limits.reach = box(limits.reachLo, limits.reachHi);
      } else if (key == "lowest<") {
        ok = limits.lowest = ParseFloat(value, limits.lowestZ);
      } else if (key == "falling") {
        ok = limits.falling = value.empty();
      } else if (key == "wallmotion<") {
        ok = ParseFloat(value, limits.wallMotion) && limits.wallMotion >= 0.0f;
      } else if (key == "band") {
        ok = ParseFloat(value, limits.band) && limits.band >= 0.0f;
      } else if (key == "fps") {
        ok = ParseFloat(value, limits.fps) && limits.fps > 0.0f;
      } else if (key == "speed<") {
        ok = ParseFloat(value, limits.maxSpeed) && limits.maxSpeed >= 0.0f;
      } else if (key == "parked<") {
        ok = ParseInt(value, limits.maxParked) && limits.maxParked >= 0;
      } else if (key == "count>") {
        ok = ParseInt(value, limits.minCount);
      } else if (key == "moved<") {
        const size_t comma = value.find(',');
        ok = ParseFloat(value.substr(0, comma), limits.maxMotion) && limits.maxMotion >= 0.0f;
        if (ok && comma != std::string::npos)
          ok = ParseFloat(value.substr(comma + 1), limits.motionShare) && limits.motionShare > 0.0f &&
               limits.motionShare <= 100.0f;
        limits.framesPerSecond = float(TIME_TICKSPERSEC) / float(ip->GetTicksPerFrame());
      } else if (key == "outside") {
        // Cache frame f is host frame f: the node's object box where its
        // transform puts it then (a moving collider's inside).
        INode* n = ip->GetINodeByName(w[k].substr(eq + 1).c_str());
        ok = n != nullptr;
        if (ok) {
          limits.clearName = n->GetName();
          const TimeValue tpf = ip->GetTicksPerFrame();
          limits.keepClear = [n, tpf](int f, const float p[3]) {
            const TimeValue t = TimeValue(f) * tpf;
            Object* o = n->EvalWorldState(t).obj;
            if (!o) return false;
            Box3 b;
            o->GetDeformBBox(t, b);
            if (b.IsEmpty()) return false;
            const Point3 q = Point3(p[0], p[1], p[2]) * n->GetObjectTM(t).Inverse();
            // Strictly inside: a particle resting on a face is not in.
            const float e = 1e-4f;
            return q.x > b.pmin.x + e && q.y > b.pmin.y + e && q.z > b.pmin.z + e && q.x < b.pmax.x - e &&
                   q.y < b.pmax.y - e && q.z < b.pmax.z - e;
          };
        }
      }
      if (!ok) return Fail("not a limit: " + w[k] + " (" + usage + ")");
    }
    if (limits.wallMotion >= 0.0f && !limits.box)
      return Fail(std::string("wallmotion needs the box of its walls (inside=) (") + usage + ")");
    FrameCheckSummary sum;
    std::string why;
    const bool held = CheckParticleFrames(w[1], first, last, limits, sum, why);
    char text[300];
    std::snprintf(text, sizeof text, "framecheck %d..%d: %d frame(s), up to %d particle(s), %d parked, fastest %.4g",
                  first, last, sum.frames, sum.mostParticles, sum.mostParked, double(sum.fastest));
    if (limits.maxMotion >= 0.0f)
      std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), ", moving at most %.4g",
                    double(sum.fastestMotion));
    Print(text);
    if (limits.wallMotion >= 0.0f && sum.wallSamples && sum.innerSamples && (held || why.rfind("velocity", 0) == 0)) {
      std::snprintf(text, sizeof text, "framecheck velocity against motion: rms %.3g at the walls, %.3g farther in",
                    sum.wallRms, sum.innerRms);
      Print(text);
    }
    return held ? true : Fail(why);
  }
  if (cmd == "save" || cmd == "load") {
    if (!need(2, (cmd + " <file>").c_str())) return false;
    bool ok = cmd == "save" ? ip->SaveToFile(w[1]) : ip->LoadFromFile(w[1]);
    if (!ok) return Fail(ip->LastFileError());
    Print((cmd == "save" ? "saved " : "loaded ") + w[1]);
    return true;
  }
  if (cmd == "reset") {
    ip->ResetScene();
    return true;
  }
  if (cmd == "undo") {
    if (!theHold.Undo()) return Fail("nothing to undo");
    return true;
  }
  if (cmd == "export") {
    TimeValue t;
    if (!need(4, "export <node> <frame> <file.obj>") || !frame(w[2], t)) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    int v = 0, f = 0;
    if (!ExportNodeObj(n, t, w[3], v, f)) return Fail("cannot write the mesh of " + std::string(n->GetName()) + " to " + w[3]);
    Print("wrote " + w[3] + ": " + std::to_string(v) + " vertices, " + std::to_string(f) + " faces");
    return true;
  }
  if (cmd == "force") {
    // The force a space warp's field gives a particle at a point (the
    // particle's velocity and index optional), at the current time.
    if (!need(5, "force <warp node> <x> <y> <z> [<vx> <vy> <vz>] [<index>]")) return false;
    INode* warpNode = node(w[1]);
    if (!warpNode) return false;
    Object* warpObj = warpNode->GetObjectRef() ? warpNode->GetObjectRef()->FindBaseObject() : nullptr;
    auto* warp = dynamic_cast<WSMObject*>(warpObj);
    if (!warp) return Fail(std::string(warpNode->GetName()) + " is not a space warp");
    float v[6] = {0, 0, 0, 0, 0, 0};
    for (size_t k = 2; k < w.size() && k < 8; ++k)
      if (!ParseFloat(w[k], v[k - 2])) return Fail("not a number: " + w[k]);
    int index = 0;  // a particle index is a whole number, never a float cast down
    if (w.size() > 8 && (!ParseInt(w[8], index) || index < 0)) return Fail("not a particle index: " + w[8]);
    ForceField* field = warp->GetForceField(warpNode);
    if (!field) return Fail(std::string(warpNode->GetName()) + " has no force field");
    Point3 f = field->Force(ip->GetTime(), Point3(v[0], v[1], v[2]), Point3(v[3], v[4], v[5]), index);
    field->DeleteThis();
    char text[160];
    std::snprintf(text, sizeof text, "force %s = %.4g %.4g %.4g", warpNode->GetName(), double(f.x), double(f.y),
                  double(f.z));
    Print(text);
    return true;
  }
  if (cmd == "render") {
    TimeValue a, b;
    if (!need(3, "render <start frame> <end frame>") || !frame(w[1], a) || !frame(w[2], b)) return false;
    int meshes = ip->RenderFrames(a, b, ip->GetTicksPerFrame());
    Print("rendered " + std::to_string(meshes) + " mesh(es)");
    return true;
  }
  if (cmd == "classes") {
    // Every registered class: class name, internal name, super class, id,
    // category and whether the create panel offers it.
    ClassDirectory& dir = ClassDirectory::Get();
    for (int i = 0; i < dir.Count(); ++i) {
      ClassDesc* cd = dir[i];
      if (!cd) continue;
      Class_ID id = cd->ClassID();
      const char* cn = cd->ClassName();
      const char* in = cd->InternalName();
      const char* cat = cd->Category();
      char ids[64];
      std::snprintf(ids, sizeof ids, "0x%X 0x%08X:0x%08X", unsigned(cd->SuperClassID()), id.PartA(),
                    id.PartB());
      Print(std::string("class \"") + (cn ? cn : "") + "\" (" + (in ? in : "-") + ") " + ids +
            " \"" + (cat ? cat : "") + "\"" + (cd->IsPublic() ? " public" : ""));
    }
    return true;
  }
  if (cmd == "attrib") {
    // The host's "add custom attribute": an attribute of a class (by name or
    // id) appended to the node's base object in one undo step.
    if (!need(3, "attrib <node> <class>")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    ClassDesc* cd = ClassDirectory::Get().FindClassByName(w[2]);
    if (!cd) {
      unsigned a = 0, b = 0;
      if (std::sscanf(w[2].c_str(), "%x:%x", &a, &b) == 2) cd = ClassDirectory::Get().FindClass(Class_ID(a, b));
    }
    if (!cd || cd->SuperClassID() != CUST_ATTRIB_CLASS_ID) return Fail("no attribute class named \"" + w[2] + "\"");
    Object* base = n->GetObjectRef() ? n->GetObjectRef()->FindBaseObject() : nullptr;
    if (!base) return Fail(std::string(n->GetName()) + " has no object");
    auto* ca = dynamic_cast<CustAttrib*>(cd->Create(false));
    if (!ca) return Fail(std::string(cd->ClassName()) + " made no attribute");
    theHold.Begin();
    base->AllocCustAttribContainer();
    base->GetCustAttribContainer()->AppendCustAttrib(ca);
    theHold.Accept("Add Custom Attribute");
    Print(std::string("added ") + cd->ClassName() + " to " + n->GetName());
    return true;
  }
  if (cmd == "particles") {
    if (!need(3, "particles <node> <frame> [<x,y,z[,age[,life[,scale[,born]]]]>...]")) return false;
    INode* n = node(w[1]);
    TimeValue t;
    if (!n || !frame(w[2], t)) return false;
    std::vector<ScriptedParticle> parts;
    for (size_t i = 3; i < w.size(); ++i) {
      ScriptedParticle p;
      if (!ParseParticle(w[i], ip->GetTicksPerFrame(), int(i - 3), p)) return Fail("not a particle: " + w[i]);
      parts.push_back(p);
    }
    const size_t count = parts.size();
    Object* o = n->GetObjectRef();
    if (auto* sp = dynamic_cast<ScriptedParticleObject*>(o)) sp->SetParticlesAt(t, std::move(parts));
    else if (auto* ev = dynamic_cast<ParticleEventObject*>(o)) ev->SetParticlesAt(t, std::move(parts));
    else return Fail(std::string(n->GetName()) + " is no scripted particle system or event");
    Print(std::string(n->GetName()) + ": " + std::to_string(count) + " particle(s) from frame " + w[2]);
    return true;
  }
  if (cmd == "centroid") {
    // Where a particle system's living particles are at a frame. Solved
    // particles differ from run to run (emission is seeded by the clock), so
    // a script states what must hold ("x>10", "count>=50") instead of
    // matching the printed numbers.
    if (!need(3, "centroid <node> <frame> [<x|y|z|count><op><value>]...")) return false;
    INode* n = node(w[1]);
    TimeValue t;
    if (!n || !frame(w[2], t)) return false;
    Object* o = n->EvalWorldState(t).obj;
    auto* ps = o ? static_cast<ParticleObject*>(o->GetInterface(I_PARTICLEOBJ)) : nullptr;
    if (!ps) return Fail(std::string(n->GetName()) + " is no particle system");
    ps->UpdateParticles(t, n);
    double sum[3] = {0, 0, 0};
    int count = 0;
    for (int i = 0; i < ps->NumParticles(); ++i) {
      if (ps->ParticleAge(t, i) < 0) continue;
      const Point3 p = ps->ParticlePosition(t, i);
      sum[0] += p.x;
      sum[1] += p.y;
      sum[2] += p.z;
      ++count;
    }
    double value[4] = {0, 0, 0, double(count)};
    for (int k = 0; k < 3 && count > 0; ++k) value[k] = sum[k] / count;
    char text[200];
    std::snprintf(text, sizeof text, "centroid %s %s: %d particle(s) at %.4g %.4g %.4g", n->GetName(),
                  w[2].c_str(), count, value[0], value[1], value[2]);
    Print(text);
    for (size_t k = 3; k < w.size(); ++k) {
      const std::string c = Lower(w[k]);
      const size_t at = c.find_first_of("<>");
      static const char* const kWhat[4] = {"x", "y", "z", "count"};
      int what = -1;
      for (int q = 0; q < 4 && at != std::string::npos; ++q)
        if (c.compare(0, at, kWhat[q]) == 0) what = q;
      const bool orEqual = at != std::string::npos && at + 1 < c.size() && c[at + 1] == '=';
      const std::string op = at == std::string::npos ? "" : c.substr(at, orEqual ? 2 : 1);
      float limit = 0;
      if (what < 0 || !ParseFloat(c.substr(at + op.size()), limit))
        return Fail("not a condition: " + w[k] + " (x, y, z or count, then <, <=, > or >=, then a number)");
      // With no particle there is no centre: only the count can be asked.
      const double v = value[what];
      const bool holds = (what < 3 && count == 0) ? false
                         : op == "<"              ? v < limit
                         : op == "<="             ? v <= limit
                         : op == ">"              ? v > limit
                                                  : v >= limit;
      if (!holds) {
        char why[200];
        std::snprintf(why, sizeof why, "%s at frame %s: %s = %.4g, not %s %g", n->GetName(), w[2].c_str(),
                      kWhat[what], v, op.c_str(), double(limit));
        return Fail(why);
      }
    }
    return true;
  }
  if (cmd == "spline") {
    // An editable spline of closed outlines with straight edges: each outline
    // is its corner points, "x,y" words, the outlines parted by "|".
    if (!need(5, "spline <node name> <x,y> <x,y> <x,y>... [| <x,y>...]...")) return false;
    auto* obj = new SplineShape();
    Spline3D* spline = nullptr;
    for (size_t i = 2; i < w.size(); ++i) {
      if (w[i] == "|") {
        spline = nullptr;
        continue;
      }
      float x = 0, y = 0;
      const size_t comma = w[i].find(',');
      if (comma == std::string::npos || !ParseFloat(w[i].substr(0, comma), x) ||
          !ParseFloat(w[i].substr(comma + 1), y)) {
        delete obj;
        return Fail("not a point: " + w[i]);
      }
      if (!spline) {
        spline = obj->shape.NewSpline();
        spline->SetClosed(true);
      }
      spline->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, Point3(x, y, 0.0f), Point3(x, y, 0.0f), Point3(x, y, 0.0f)));
    }
    for (int k = 0; k < obj->shape.SplineCount(); ++k) {
      if (obj->shape.GetSpline(k)->KnotCount() < 3) {
        delete obj;
        return Fail("an outline needs at least 3 points");
      }
      obj->shape.GetSpline(k)->ComputeBezPoints();
    }
    INode* made = ip->CreateObjectNode(obj, w[1].c_str());
    Print(std::string("created ") + made->GetName() + " (" + std::to_string(obj->shape.SplineCount()) +
          " outline(s))");
    return true;
  }
  if (cmd == "inshape") {
    // Whether every living particle lies inside a shape's outlines (taken as
    // straight edges between knots) seen along the shape's own z axis: odd
    // winding parity over all outlines, so a hole's inside is outside.
    // Particles within <tol> of an edge count as inside either way.
    if (!need(4, "inshape <particle node> <frame> <shape node> [<tol>]")) return false;
    INode* n = node(w[1]);
    INode* shapeNode = node(w[3]);
    TimeValue t;
    if (!n || !shapeNode || !frame(w[2], t)) return false;
    float tol = 0;
    if (w.size() > 4 && (!ParseFloat(w[4], tol) || tol < 0)) return Fail("not a tolerance: " + w[4]);
    auto* shapeObj = dynamic_cast<SplineShape*>(shapeNode->GetObjectRef());
    if (!shapeObj) return Fail(std::string(shapeNode->GetName()) + " is no editable spline");
    Object* o = n->EvalWorldState(t).obj;
    auto* ps = o ? static_cast<ParticleObject*>(o->GetInterface(I_PARTICLEOBJ)) : nullptr;
    if (!ps) return Fail(std::string(n->GetName()) + " is no particle system");
    ps->UpdateParticles(t, n);
    const Matrix3 toShape = Inverse(shapeNode->GetObjectTM(t));
    std::vector<std::vector<Point3>> rings;
    for (int k = 0; k < shapeObj->shape.SplineCount(); ++k) {
      const Spline3D* sp = shapeObj->shape.GetSpline(k);
      std::vector<Point3> ring;
      for (int q = 0; q < sp->KnotCount(); ++q) ring.push_back(sp->GetKnotPoint(q));
      ring.push_back(ring.front());
      rings.push_back(ring);
    }
    int count = 0, outside = 0;
    double worst = 0;
    Point3 worstAt;
    for (int i = 0; i < ps->NumParticles(); ++i) {
      if (ps->ParticleAge(t, i) < 0) continue;
      ++count;
      const Point3 p = ps->ParticlePosition(t, i) * toShape;
      int winding = 0;
      double nearest = 1e300;
      for (const auto& ring : rings)
        for (size_t k = 0; k + 1 < ring.size(); ++k) {
          const double ax = ring[k].x, ay = ring[k].y, bx = ring[k + 1].x, by = ring[k + 1].y;
          const double side = (bx - ax) * (p.y - ay) - (p.x - ax) * (by - ay);
          if (ay <= p.y) {
            if (by > p.y && side > 0) ++winding;
          } else if (by <= p.y && side < 0) {
            --winding;
          }
          const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
          double u = len2 > 0 ? ((p.x - ax) * dx + (p.y - ay) * dy) / len2 : 0.0;
          u = std::min(1.0, std::max(0.0, u));
          nearest = std::min(nearest, std::hypot(p.x - ax - u * dx, p.y - ay - u * dy));
        }
      if (winding % 2 != 0 || nearest <= tol) continue;
      ++outside;
      if (nearest > worst) {
        worst = nearest;
        worstAt = p;
      }
    }
    char text[300];
    std::snprintf(text, sizeof text, "inshape %s %s: %d particle(s), %d outside %s", n->GetName(), w[2].c_str(),
                  count, outside, shapeNode->GetName());
    if (outside > 0)
      std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), " (up to %.4g, at %.4g %.4g)", worst,
                    double(worstAt.x), double(worstAt.y));
    Print(text);
    if (outside > 0) return Fail(std::to_string(outside) + " particle(s) outside the shape");
    return true;
  }
  if (cmd == "pfevent") {
    if (!need(3, "pfevent <event system node> <event node name>")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    auto* sys = dynamic_cast<EventParticleSystem*>(n->GetObjectRef());
    if (!sys) return Fail(std::string(n->GetName()) + " is no scripted event system");
    INode* e = sys->AddEvent(w[2].c_str());
    Print(std::string("created ") + e->GetName() + " (event of " + n->GetName() + ")");
    return true;
  }
  if (cmd == "call") {
    if (!need(4, "call <node> <interface> <function> [<argument>...]")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    Object* o = n->GetObjectRef() ? n->GetObjectRef()->FindBaseObject() : nullptr;
    ClassDesc2* cd = o ? FindClassDesc2(o) : nullptr;
    FPInterface* fi = nullptr;
    for (int i = 0; cd && i < cd->NumInterfaces() && !fi; ++i) {
      FPInterfaceDesc* d = cd->GetInterfaceAt(i) ? cd->GetInterfaceAt(i)->GetDesc() : nullptr;
      if (d && EqualNoCase(d->internal_name, w[2]))
        fi = (d->flags & FP_MIXIN) ? GetFPInterface(o, d->ID) : d;
    }
    if (!fi) return Fail(std::string(n->GetName()) + " has no interface \"" + w[2] + "\"");
    const FPFunctionDef* f = fi->GetDesc()->FindFunction(w[3]);
    if (!f) return Fail(w[2] + " has no function \"" + w[3] + "\"");
    if (w.size() - 4 != f->params.size())
      return Fail(w[2] + "." + f->internal_name + " takes " + std::to_string(f->params.size()) + " argument(s)");
    FPParams params;
    for (size_t i = 0; i < f->params.size(); ++i) {
      const std::string& a = w[4 + i];
      FPValue v;
      switch (f->params[i].type) {
        case TYPE_INODE: {
          INode* target = Lower(a) == "undefined" ? nullptr : node(a);
          if (!target && Lower(a) != "undefined") return false;
          v = FPValue(target);
          break;
        }
        case TYPE_FLOAT: case TYPE_WORLD: case TYPE_ANGLE: {
          float x = 0;
          if (!ParseFloat(a, x)) return Fail("not a number: " + a);
          v = FPValue(x);
          v.type = f->params[i].type;
          break;
        }
        case TYPE_INT: case TYPE_BOOL: {
          int x = 0;
          if (!ParseInt(a, x)) return Fail("not an integer: " + a);
          v = FPValue(x);
          v.type = f->params[i].type;
          break;
        }
        case TYPE_STRING: case TYPE_FILENAME:
          v = FPValue(a);
          v.type = f->params[i].type;
          break;
        default:
          return Fail("cannot pass an argument of " + f->internal_name + " from a script");
      }
      params.params.push_back(v);
    }
    FPValue result;
    FPStatus st = fi->Invoke(f->ID, ip->GetTime(), result, &params);
    if (st != FPS_OK) return Fail(w[2] + "." + f->internal_name + " failed (status " + std::to_string(st) + ")");
    Print("called " + w[2] + "." + f->internal_name);
    return true;
  }
  if (cmd == "matlib") {
    // A material library as a person keeps one: standard materials by name.
    if (!need(3, "matlib <file> <material name>...")) return false;
    MtlBaseLib lib;
    for (size_t i = 2; i < w.size(); ++i) {
      Mtl* m = new Mtl();
      m->SetName(w[i]);
      lib.Add(m);
    }
    if (!ip->SaveMaterialLib(w[1].c_str(), &lib)) return Fail(ip->LastFileError());
    Print("material library " + w[1] + ": " + std::to_string(lib.Count()) + " material(s)");
    return true;
  }
  if (cmd == "material") {
    if (!need(2, "material <node>")) return false;
    INode* n = node(w[1]);
    if (!n) return false;
    Print(std::string(n->GetName()) + (n->GetMtl() ? " material: " + n->GetMtl()->GetName() : " has no material"));
    return true;
  }
  if (cmd == "nodes") {
    for (INode* n : ip->AllNodes()) {
      std::string cn = "-";
      if (n->GetObjectRef()) n->GetObjectRef()->GetClassName(cn);
      int depth = 0;
      for (INode* p = n->GetParentNode(); p && !p->IsRootNode(); p = p->GetParentNode()) ++depth;
      Print(std::string(size_t(2 * depth), ' ') + n->GetName() + " (" + cn + ")" +
            (n->IsHidden() ? " hidden" : "") + (n->Selected() ? " selected" : ""));
    }
    return true;
  }
  return Fail("unknown command \"" + w[0] + "\"");
}

bool SceneScript::Run(std::istream& in, const std::string& sourceName) {
  std::string line;
  int no = 0;
  while (std::getline(in, line)) {
    ++no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!RunLine(line)) {
      error_ = sourceName + ":" + std::to_string(no) + ": " + error_;
      return false;
    }
  }
  return true;
}

}  // namespace vorel_sdk
