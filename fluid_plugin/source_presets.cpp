#include "fluid_plugin/source_presets.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "fluid_core/engine.h"
#include "fluid_core/engine_links.h"
#include "fluid_core/frame_cache.h"
#include "fluid_core/param_ids.h"
#include "host/core/core.h"
#include "scene_objects/vorel_strings.h"

namespace {

struct KeyInfo {
  const char* prefix;  // the key with its "="
  ParamID param;       // in the emitter's block (the scale: the system's)
};
// In write order; the index is the PresetKey.
const KeyInfo kKeys[kPresetKeyCount] = {
    {"[NAME]=", kEmitPresetName},
    {"[LOD]=", kEmitSourceLod},
    {"[THICKNESS]=", kEmitThickness},
    {"[OVERRIDES_OBJ_PARAMS]=", kEmitOverrideObjParams},
    {"[OBJECT_FRICTION]=", kEmitSourceFriction},
    {"[OBJECT_ADHERENCE]=", kEmitSourceAdherence},
    {"[OBJECT_BOUNCE]=", kEmitSourceBounce},
    {"[OBJECT_COLGAP]=", kEmitSourceCollisionGap},
    {"[GRAVITY]=", kEmitSourceGravity},
    {"[RATE]=", kEmitEmissionRate},
    {"[SCALE]=", kFluidScale},
};
constexpr size_t kMaxLine = 511;
constexpr WORD kKeyUp = 0x26, kKeyDown = 0x28;

float* FloatSlot(PresetValues& v, int key) {
  switch (key) {
    case kKeyLod: return &v.lod;
    case kKeyThickness: return &v.thickness;
    case kKeyFriction: return &v.friction;
    case kKeyAdherence: return &v.adherence;
    case kKeyBounce: return &v.bounce;
    case kKeyColGap: return &v.colGap;
    case kKeyGravity: return &v.gravity;
    case kKeyRate: return &v.rate;
    case kKeyScale: return &v.scale;
    default: return nullptr;
  }
}

bool OnlyBlanks(const char* p) {
  for (; *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  return true;
}

PresetSystemResolver& Resolver() {
  static PresetSystemResolver r;
  return r;
}

struct BrowserState {
  HWND window = nullptr;
  ReferenceTarget* emitter = nullptr;
  HWND animation = nullptr;
  std::string presetPath, materialPath, name;
  PresetBrowserRecord record;
  std::vector<std::string> files;  // the listed presets' file names, in list order
};
BrowserState& Browser() {
  static BrowserState s;
  return s;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  FILE* f = vorel::host::OpenFile(path, "rt");
  if (!f) return false;
  char buf[4096];
  size_t n;
  text.clear();
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    text.append(buf, n);
    if (text.size() > (1u << 20)) break;  // far beyond any preset: parsing refuses it
  }
  fclose(f);
  return true;
}

bool FileReadable(const std::string& path) {
  FILE* f = vorel::host::OpenFile(path, "rb");
  if (!f) return false;
  fclose(f);
  return true;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Extension(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot + 1);
}

}  // namespace

void SetPresetSystemResolver(PresetSystemResolver resolver) { Resolver() = std::move(resolver); }

PresetTarget PresetTargetOf(ReferenceTarget* emitter) {
  PresetTarget t;
  if (!emitter) return t;
  t.source = emitter->GetParamBlock(0);
  if (Resolver()) {
    t.system = Resolver()(emitter);
  } else {
    // An emitter reaches its system through the engine it is bound to.
    auto* src = static_cast<FluidSource*>(emitter->GetInterface(I_FLUIDSOURCE));
    if (src && src->engine && src->engine->owner) t.system = src->engine->owner->SystemParamBlock();
  }
  return t;
}

std::string PresetNameAsRead(const std::string& value) {
  size_t b = 0;
  while (b < value.size() && (value[b] == ' ' || value[b] == '\t')) ++b;
  size_t e = std::min(value.find_first_of("\n", b), value.size());
  // Cut to the field first, then trimmed: a long name whose kept part ends
  // in blanks must not keep them, or it reads back as another name.
  e = std::min(e, b + size_t(kPresetNameSize - 1));
  while (e > b && (value[e - 1] == ' ' || value[e - 1] == '\t' || value[e - 1] == '\r')) --e;
  return value.substr(b, e - b);
}

bool ParsePresetText(const std::string& text, PresetValues& out, std::string& error) {
  PresetValues v;
  if (text.find('\0') != std::string::npos) {
    error = "it holds binary data";
    return false;
  }
  // A last line without its end of line (a hand-edited file) is read as a
  // line: the writer replaces a preset whole, so it leaves no cut file.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() > kMaxLine) {
      error = "a line is too long";
      return false;
    }
    for (int k = 0; k < kPresetKeyCount; ++k) {
      size_t len = strlen(kKeys[k].prefix);
      if (line.compare(0, len, kKeys[k].prefix) != 0) continue;
      const char* value = line.c_str() + len;
      if (k == kKeyName) {
        // An empty value leaves the name as it is.
        std::string name = PresetNameAsRead(value);
        if (name.empty()) break;
        v.name = std::move(name);
        v.has[k] = true;
      } else if (k == kKeyOverrides) {
        char* after = nullptr;
        long n = strtol(value, &after, 10);
        if (after == value || !OnlyBlanks(after)) {
          error = std::string("the value of ") + kKeys[k].prefix + " does not read";
          return false;
        }
        v.overrides = static_cast<int>(n);
        v.has[k] = true;
      } else {
        char* after = nullptr;
        float f = strtof(value, &after);
        if (after == value || !OnlyBlanks(after) || f != f) {
          error = std::string("the value of ") + kKeys[k].prefix + " does not read";
          return false;
        }
        *FloatSlot(v, k) = f;
        v.has[k] = true;
      }
      break;
    }
  }
  bool any = false;
  for (bool h : v.has) any = any || h;
  if (!any) {
    error = "it holds no preset value";
    return false;
  }
  out = v;
  return true;
}

std::string FormatPresetText(const PresetValues& v) {
  std::string s;
  // The name as the reader will see it: blanks around it and line ends
  // would otherwise read back as another name, or as none.
  const std::string name = PresetNameAsRead(v.name);
  if (v.has[kKeyName] && !name.empty()) s = std::string(kKeys[kKeyName].prefix) + name + "\n";
  char line[128];
  for (int k = kKeyLod; k < kPresetKeyCount; ++k) {
    if (!v.has[k]) continue;
    if (k == kKeyOverrides)
      snprintf(line, sizeof line, "%s%d\n", kKeys[k].prefix, v.overrides);
    else
      snprintf(line, sizeof line, "%s%3.3f\n", kKeys[k].prefix,
               static_cast<double>(*FloatSlot(const_cast<PresetValues&>(v), k)));
    s += line;
  }
  return s;
}

std::string SourcePresetFolder() {
  return vorel::host::HostDirectory(APP_PLUGCFG_DIR) + "/Vorel/presets";
}

std::vector<std::string> ListSourcePresetFiles() {
  std::vector<std::string> files;
  for (const std::string& file : vorel::host::ListFiles(SourcePresetFolder(), "*.VorPreset"))
    if (file.size() > 10) files.push_back(file);
  return files;
}

std::vector<std::string> ListSourcePresets() {
  std::vector<std::string> names;
  for (const std::string& file : ListSourcePresetFiles())
    names.push_back(file.substr(0, file.size() - 10));
  return names;
}

int writeSourcePreset(const PresetTarget& target, const char* path, std::string* why) {
  auto fail = [why](const std::string& reason) {
    if (why) *why = reason;
    return -1;
  };
  if (!target.source) return fail("the emitter has no parameters");
  if (!path || !path[0]) return fail("no file was named");
  PresetValues v;
  const char* name = target.source->GetStr(kEmitPresetName, 0);
  v.name = name ? name : "";
  v.has[kKeyName] = true;
  for (int k = kKeyLod; k < kKeyScale; ++k) {
    if (k == kKeyOverrides)
      v.overrides = target.source->GetInt(kEmitOverrideObjParams, 0);
    else
      *FloatSlot(v, k) = target.source->GetFloat(kKeys[k].param, 0);
    v.has[k] = true;
  }
  // An emitter without a system has no scale to give: the preset carries
  // none rather than one nobody set.
  if (target.system) {
    v.scale = target.system->GetFloat(kFluidScale, 0);
    v.has[kKeyScale] = true;
  }
  const std::string text = FormatPresetText(v);
  // Written aside and renamed over the file: a failed write leaves an older
  // preset of that name whole.
  std::string file = path;
  for (char& c : file)
    if (c == '\\') c = '/';
  const vorel::host::AsideWrite w = vorel::host::WriteFileAside(file, text.data(), text.size());
  if (!w.created) return fail(std::string("it cannot be created (") + strerror(w.error) + ")");
  if (w.error != 0) return fail(std::string("it could not be written (") + strerror(w.error) + ")");
  return 0;
}

namespace {

// Whether a loaded value lies in what its parameter takes, to the writer's
// three decimals (a switch: 0 or 1); `range` names what it takes otherwise.
// The block's own default counts even where it lies outside the range: the
// preset of an untouched emitter carries it.
bool InParamRange(IParamBlock2* pb, ParamID id, double value, std::string& range) {
  constexpr double kWrittenPrecision = 0.0005;
  const ParamDef& d = pb->GetDesc()->GetParamDef(id);
  char buf[96];
  if (d.type == TYPE_BOOL) {
    if (value == 0.0 || value == 1.0) return true;
    range = "0 or 1";
    return false;
  }
  if (!std::isfinite(value)) {
    range = "a finite number";
    return false;
  }
  if (!d.has_range || value == double(d.def.f) ||
      (value >= d.range_lo_f - kWrittenPrecision && value <= d.range_hi_f + kWrittenPrecision))
    return true;
  snprintf(buf, sizeof buf, "%g to %g", double(d.range_lo_f), double(d.range_hi_f));
  range = buf;
  return false;
}

}  // namespace

bool readSourcePreset(const PresetTarget& target, const char* path) {
  SourcesNeedRefresh = 1;
  std::string text;
  if (!path || !ReadWholeFile(path, text)) return false;
  PresetValues v;
  std::string error;
  if (!ParsePresetText(text, v, error)) {
    std::string msg = std::string(path) + "-> is not a valid Vorel preset file (" + error +
                      "); nothing was loaded.";
    MessageBox(GetActiveWindow(), msg.c_str(), "Vorel Warning!", MB_OK);
    return false;
  }
  if (!target.source) return false;
  IParamBlock2* pb = target.source;
  // A value its parameter cannot take is refused, not clamped into some
  // other value; the rest of the preset applies.
  std::string refused, range;
  auto check = [&](int k, IParamBlock2* block, ParamID id, double value) {
    if (!v.has[k] || InParamRange(block, id, value, range)) return;
    v.has[k] = false;
    char shown[64];
    snprintf(shown, sizeof shown, "%g", value);
    refused += std::string("\n") + kKeys[k].prefix + shown + " (takes " + range + ")";
  };
  check(kKeyOverrides, pb, kEmitOverrideObjParams, v.overrides);
  for (int k = kKeyLod; k < kKeyScale; ++k)
    if (k != kKeyOverrides) check(k, pb, kKeys[k].param, *FloatSlot(v, k));
  if (target.system) check(kKeyScale, target.system, kFluidScale, v.scale);
  if (!refused.empty()) {
    std::string msg = std::string(path) +
                      "-> holds values outside what their parameters take; they were not loaded:" +
                      refused;
    MessageBox(GetActiveWindow(), msg.c_str(), "Vorel Warning!", MB_OK);
  }
  if (v.has[kKeyName]) pb->SetValue(kEmitPresetName, 0, v.name.c_str());
  if (v.has[kKeyOverrides]) pb->SetValue(kEmitOverrideObjParams, 0, v.overrides);
  for (int k = kKeyLod; k < kKeyScale; ++k)
    if (k != kKeyOverrides && v.has[k]) pb->SetValue(kKeys[k].param, 0, *FloatSlot(v, k));
  if (v.has[kKeyScale] && target.system) {
    // The system follows its own "Scale" into its frame scale.
    target.system->SetValue(kFluidScale, 0, v.scale);
  }
  SourcesNeedRefresh = 1;
  bool applied = false;
  for (int k = 0; k < kPresetKeyCount; ++k)
    applied = applied || (v.has[k] && (k != kKeyScale || target.system));
  return applied;
}

bool readSystemPreset(const char* path, PresetBrowserRecord& record, HWND browser) {
  std::string text, error;
  PresetValues v;
  const bool opened = path && ReadWholeFile(path, text);
  const bool ok = opened && ParsePresetText(text, v, error);
  // The record shows this file alone: what it lacks, or a file that does not
  // read, shows nothing rather than the values of the preset shown before.
  record = PresetBrowserRecord();
  const int keys[] = {kKeyLod, kKeyThickness, kKeyFriction, kKeyAdherence, kKeyBounce,
                      kKeyColGap, kKeyGravity, kKeyRate, kKeyScale};
  float* dst[] = {&record.lod, &record.thickness, &record.friction, &record.adherence,
                  &record.bounce, &record.colGap, &record.gravity, &record.rate, &record.scale};
  if (ok) {
    if (v.has[kKeyName]) snprintf(record.name, sizeof record.name, "%s", v.name.c_str());
    for (int i = 0; i < 9; ++i)
      if (v.has[keys[i]]) *dst[i] = *FloatSlot(v, keys[i]);
    if (v.has[kKeyOverrides]) record.overrides = v.overrides;
    for (int k = 0; k < kPresetKeyCount; ++k) record.has[k] = v.has[k];
  } else {
    const std::string why = opened ? "Not a valid Vorel preset file (" + error + ")"
                                   : "The Vorel preset file cannot be read";
    ShowTempPrompt(why.c_str(), 3000);
  }
  if (browser) {
    const int ids[] = {kPresetShowLod, kPresetShowThickness, kPresetShowFriction,
                       kPresetShowAdherence, kPresetShowBounce, kPresetShowColGap,
                       kPresetShowGravity, kPresetShowRate, kPresetShowScale};
    char buf[64];
    for (int i = 0; i < 9; ++i) {
      buf[0] = '\0';
      if (record.has[keys[i]]) snprintf(buf, sizeof buf, "%.03f", static_cast<double>(*dst[i]));
      SetDlgItemText(browser, ids[i], buf);
    }
  }
  return ok;
}

bool launchMediaPlayer(ReferenceTarget* emitter, const std::string& arguments) {
  (void)emitter;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  char dir[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;  // one byte kept for the terminator a value may lack
  DWORD type = 0;
  LONG r = RegQueryValueExA(key, "Installation Directory", nullptr, &type,
                            reinterpret_cast<BYTE*>(dir), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return false;
  dir[size < MAX_PATH ? size : MAX_PATH] = '\0';
  std::string cmd = std::string(dir) + "/wmplayer.exe " + arguments;
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &si, &pi))
    return false;
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return true;
}

std::string PreviewAllArguments(const std::vector<std::string>& names, const std::string& folder) {
  std::string args;
  // Room for the player's own path in front of the arguments.
  const size_t limit = kCommandLineLimit - MAX_PATH - 16;
  for (const std::string& n : names) {
    std::string one = folder + "/" + n + ".avi ";
    if (args.size() + one.size() > limit) break;
    args += one;
  }
  return args;
}

HWND CreatePreviewAnimation(HWND dialog, const char* path) {
  RECT r{0, 0, 0, 0}, d{0, 0, 0, 0};
  GetWindowRect(GetDlgItem(dialog, kPresetBrowserName), &r);
  GetWindowRect(dialog, &d);
  int x = r.left - d.left, y = r.bottom - d.top;
  HWND anim = CreateWindowEx(0, "SysAnimate32", "", WS_CHILD | WS_BORDER, x, y + 10, 32, 24,
                             dialog, reinterpret_cast<HMENU>(uintptr_t(1080)), nullptr, nullptr);
  if (anim) {
    SendMessage(anim, ACM_OPEN, 0, reinterpret_cast<LPARAM>(path));
    ShowWindow(anim, SW_SHOW);
  }
  Browser().animation = anim;
  return anim;
}

void PreviewAnimationCommand(int command) {
  HWND a = Browser().animation;
  if (!a) return;
  if (command == 0)
    SendMessage(a, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
  else if (command == 1)
    SendMessage(a, ACM_STOP, 0, 0);
  else if (command == 2)
    SendMessage(a, ACM_OPEN, 0, 0);
}

HWND PresetBrowserWindow() { return Browser().window; }
ReferenceTarget* PresetBrowserEmitter() { return Browser().emitter; }

namespace {

void ShowPreset(HWND hwnd, int item) {
  HWND list = GetDlgItem(hwnd, kPresetBrowserList);
  if (item < 0 || item >= ListView_GetItemCount(list)) return;
  char name[257] = {};
  ListView_GetItemText(list, item, 0, name, 256);
  BrowserState& b = Browser();
  SetDlgItemText(hwnd, kPresetBrowserName, name);
  std::string folder = SourcePresetFolder() + "/";
  // The file as listed: its extension may differ from ".VorPreset" in case.
  b.presetPath = folder + (size_t(item) < b.files.size() ? b.files[size_t(item)]
                                                        : std::string(name) + ".VorPreset");
  b.materialPath = folder + name + ".mat";
  b.name = name;
  readSystemPreset(b.presetPath.c_str(), b.record, hwnd);
  if (b.animation) {
    PreviewAnimationCommand(2);
    DestroyWindow(b.animation);
    b.animation = nullptr;
  }
  std::string clip = folder + name + ".avi";
  if (!FileReadable(clip)) clip = folder + "none.avi";
  CreatePreviewAnimation(hwnd, clip.c_str());
  PreviewAnimationCommand(0);
}

// The node of the fluid system whose block the preset's scale goes to.
INode* SystemNodeOf(const PresetTarget& target) {
  if (!target.system) return nullptr;
  return FindNodeOf(dynamic_cast<ReferenceTarget*>(target.system->GetOwner()));
}

// Gives the system the material named after the preset from the library
// beside it. Looked up in the library itself: the scene's materials hold
// it only once some node uses it. A library that is missing, does not load
// or lacks the material leaves the system's material as it was, and says so.
void GivePresetMaterial(const PresetTarget& target, const std::string& library, const std::string& name) {
  INode* node = SystemNodeOf(target);
  if (!node) return;
  const std::string keeps = "; the preset was applied without its material.";
  const size_t slash = library.find_last_of('/');
  const std::string file = slash == std::string::npos ? library : library.substr(slash + 1);
  if (!vorel::host::FileExists(library)) {
    ShowTempPrompt(("No material library \"" + file + "\" beside the preset" + keeps).c_str(), 3000);
    return;
  }
  Interface* ip = GetCOREInterface();
  MtlBaseLib lib;
  if (!ip->LoadMaterialLib(library.c_str(), &lib)) {
    MessageBox(GetActiveWindow(), (ip->LastFileError() + keeps).c_str(), "Vorel Warning!", MB_OK);
    return;
  }
  const int i = lib.FindMtlByName(name);
  if (i < 0) {
    ShowTempPrompt(("\"" + file + "\" holds no material named \"" + name + "\"" + keeps).c_str(), 3000);
    return;
  }
  node->SetMtl(lib[i]);
}

void ApplyShownPreset() {
  BrowserState& b = Browser();
  if (b.presetPath.empty()) return;
  const PresetTarget target = PresetTargetOf(b.emitter);
  // A preset that does not apply brings no material either.
  if (readSourcePreset(target, b.presetPath.c_str())) GivePresetMaterial(target, b.materialPath, b.name);
}

void CloseBrowser(HWND hwnd) {
  BrowserState& b = Browser();
  b.animation = nullptr;
  b.window = nullptr;
  DestroyWindow(hwnd);
}

}  // namespace

INT_PTR CALLBACK PresetBrowserDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BrowserState& b = Browser();
  switch (msg) {
    case WM_INITDIALOG: {
      if (lParam) b.emitter = reinterpret_cast<ReferenceTarget*>(lParam);
      SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(b.emitter));
      HWND list = GetDlgItem(hwnd, kPresetBrowserList);
      if (ListView_GetColumnCount(list) == 0) {
        LVCOLUMN col;
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = 120;
        char title[] = "Name";
        col.pszText = title;
        ListView_InsertColumn(list, 0, &col);
      }
      int i = 0;
      b.files = ListSourcePresetFiles();
      for (const std::string& file : b.files) {
        const std::string n = file.substr(0, file.size() - 10);
        LVITEM item;
        item.mask = LVIF_TEXT;
        item.iItem = i++;
        std::vector<char> text(n.begin(), n.end());
        text.push_back('\0');
        item.pszText = text.data();
        ListView_InsertItem(list, &item);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      const NMHDR* h = reinterpret_cast<const NMHDR*>(lParam);
      if (!h || h->idFrom != UINT_PTR(kPresetBrowserList)) return FALSE;
      HWND list = GetDlgItem(hwnd, kPresetBrowserList);
      if (h->code == NM_CLICK) {
        if (ListView_GetSelectedCount(list) == 1)
          ShowPreset(hwnd, ListView_GetNextItem(list, -1, LVNI_SELECTED));
      } else if (h->code == NM_DBLCLK) {
        int item = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
        if (item >= 0) ShowPreset(hwnd, item);
        ApplyShownPreset();
        CloseBrowser(hwnd);
      } else if (h->code == LVN_KEYDOWN) {
        WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
        int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
        if (key == kKeyUp) ShowPreset(hwnd, focused - 1);
        if (key == kKeyDown) ShowPreset(hwnd, focused + 1);
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kPresetBrowserSelect: ApplyShownPreset(); break;
        case kPresetBrowserClose:
        case IDCANCEL: CloseBrowser(hwnd); break;
      }
      return TRUE;
    case WM_DESTROY:
      if (b.window == hwnd) b.window = nullptr;
      b.animation = nullptr;
      return FALSE;
  }
  return FALSE;
}

HWND OpenPresetBrowser(ReferenceTarget* emitter) {
  BrowserState& b = Browser();
  if (b.window && IsWindow(b.window)) return b.window;
  Interface* ip = GetCOREInterface();
  b.window = CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(kPresetBrowserDialog),
                               ip ? ip->GetMAXHWnd() : nullptr, PresetBrowserDlgProc,
                               reinterpret_cast<LPARAM>(emitter));
  return b.window;
}

namespace {

class PresetDlgProcImpl : public ParamMap2UserDlgProc {
 public:
  INT_PTR DlgProc(TimeValue, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam,
                  LPARAM) override {
    IParamBlock2* pb = map ? map->GetParamBlock() : nullptr;
    ReferenceTarget* emitter =
        pb ? dynamic_cast<ReferenceTarget*>(pb->GetOwner()) : nullptr;
    if (msg == WM_INITDIALOG) {
      SetupButton(hWnd, kPresetLoad, "Load an existing particle profile.");
      SetupButton(hWnd, kPresetSave, "Save current particle profile to a file.");
      return 0;
    }
    if (msg != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
      case kPresetSave: Save(hWnd, emitter); break;
      case kPresetLoad: OpenPresetBrowser(emitter); break;
      case kPresetPreview: {
        const char* name = pb ? pb->GetStr(kEmitPresetName, 0) : nullptr;
        std::string clip = SourcePresetFolder() + "/" + (name ? name : "") + ".avi";
        if (FileReadable(clip))
          launchMediaPlayer(emitter, clip);
        else
          ShowTempPrompt(" Preset preview not found", 3000);
        break;
      }
      case kPresetPreviewAll:
        launchMediaPlayer(emitter, PreviewAllArguments(ListSourcePresets(), SourcePresetFolder()));
        break;
    }
    return 0;
  }

 private:
  static void SetupButton(HWND dlg, int id, const char* tip) {
    ICustButton* b = GetICustButton(GetDlgItem(dlg, id));
    if (!b) return;
    b->SetType(CBT_PUSH);
    b->SetHighlightColor(ColorMan()->GetColor(38));
    b->SetTooltip(TRUE, tip);
    ReleaseICustButton(b);
  }

  static void Save(HWND hWnd, ReferenceTarget* emitter) {
    PresetTarget target = PresetTargetOf(emitter);
    if (!target.source) return;
    std::string folder = SourcePresetFolder();
    vorel::host::MakeDirectories(folder);
    const char* name = target.source->GetStr(kEmitPresetName, 0);
    char file[MAX_PATH] = {};
    snprintf(file, sizeof file, "%s.VorPreset", name ? name : "");
    static const char filter[] = "Vorel preset files .VorPreset\0*.VorPreset\0\0";
    OPENFILENAME ofn;
    ofn.hwndOwner = hWnd;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder.c_str();
    ofn.lpstrTitle = "Saving a Vorel preset file...";
    ofn.lpstrDefExt = "VorPreset";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileName(&ofn) || !file[0]) return;
    // Presets are listed by their extension: a name given another one
    // keeps it and gets the preset's added.
    std::string path = file;
    if (!SameTextNoCase(Extension(path), "VorPreset")) {
      path += ".VorPreset";
      const std::string ask = path + " already exists.\nDo you want to replace it?";
      if (FileReadable(path) && MessageBox(hWnd, ask.c_str(), "Vorel", MB_YESNO) != IDYES) return;
    }
    ShowTempPrompt("Saving a Vorel source preset file...", 3000);
    std::string why;
    if (writeSourcePreset(target, path.c_str(), &why) != 0) {
      const std::string msg = path + "-> was not saved: " + why + ".";
      MessageBox(hWnd, msg.c_str(), "Vorel Warning!", MB_OK);
    }
  }
};

}  // namespace

ParamMap2UserDlgProc* GetPresetDlgProc() {
  static PresetDlgProcImpl proc;
  return &proc;
}

void RegisterPresetDialogs(HINSTANCE instance) {
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate r;
  r.id = kPresetRolloutDialog;
  const char* title = VorelString(kStrPresetsRollout);
  r.title = title ? title : "Presets";
  r.controls = {{kPresetLoad, Kind::CustButton, "LOAD"},
                {kPresetSave, Kind::CustButton, "SAVE"},
                {kPresetPreview, Kind::Button, "Preview"},
                {kPresetPreviewAll, Kind::Button, "Preview all"}};
  vorel_ui::RegisterDialogTemplate(instance, r);

  vorel_ui::DialogTemplate b;
  b.id = kPresetBrowserDialog;
  b.title = "Vorel preset browser";
  b.width = 400;
  b.height = 300;
  b.controls = {{kPresetBrowserList, Kind::ListView, "", false, false, {10, 10, 150, 280}},
                {kPresetBrowserName, Kind::Static, "", false, false, {170, 10, 390, 24}},
                {kPresetShowLod, Kind::Static, ""},
                {kPresetShowThickness, Kind::Static, ""},
                {kPresetShowFriction, Kind::Static, ""},
                {kPresetShowAdherence, Kind::Static, ""},
                {kPresetShowBounce, Kind::Static, ""},
                {kPresetShowColGap, Kind::Static, ""},
                {kPresetShowGravity, Kind::Static, ""},
                {kPresetShowRate, Kind::Static, ""},
                {kPresetShowScale, Kind::Static, ""},
                {kPresetBrowserSelect, Kind::Button, "SELECT"},
                {kPresetBrowserClose, Kind::Button, "CLOSE"}};
  vorel_ui::RegisterDialogTemplate(instance, b);
}
