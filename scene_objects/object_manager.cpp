#include "scene_objects/object_manager.h"

#include <cstdio>
#include <vector>

#include "fluid_core/object_params.h"
#include "fluid_core/wet_maps.h"
#include "scene_objects/vorel_strings.h"

namespace {

constexpr COLORREF kCheckHighlight = 0xC0C0FF;

struct ManagerState {
  HWND window = nullptr;
  ReferenceTarget* system = nullptr;
  RECT rect{0, 0, 0, 0};
  ObjectManagerEngineResolver resolver;
};
ManagerState& State() {
  static ManagerState s;
  return s;
}

FluidEngine* EngineOf(ReferenceTarget* system) {
  ManagerState& s = State();
  return system && s.resolver ? s.resolver(system) : nullptr;
}

std::function<void(INode*)> WetMapRegistrar(FluidEngine* engine) {
  if (!engine) return {};
  return [engine](INode* n) { engine->AddWetMap(n); };
}

struct SpinSpec {
  int spin, edit;
  ObjectSetting setting;
  float lo, hi;
  bool isInt;
};
// The wet-map size and the gap keep to the attribute's own ranges: a map
// of 0 or a million pixels a side cannot be allocated, a gap of 0 is not
// a gap the attribute accepts.
const SpinSpec kSpins[] = {
    {kOmGapSpin, kOmGapEdit, ObjectSetting::Gap, 0.0001f, 5.0f, false},
    {kOmBounceSpin, kOmBounceEdit, ObjectSetting::Bounce, 0.0f, 100.0f, false},
    {kOmFrictionSpin, kOmFrictionEdit, ObjectSetting::Friction, 0.0f, 100.0f, false},
    {kOmAdherenceSpin, kOmAdherenceEdit, ObjectSetting::Adherence, 0.0f, 1.0f, false},
    {kOmMapResSpin, kOmMapResEdit, ObjectSetting::MapRes, 32.0f, 2048.0f, true},
    {kOmDryingSpin, kOmDryingEdit, ObjectSetting::Drying, 0.0f, 1000.0f, false},
};

const struct {
  const char* title;
  int width;
} kColumns[kObjectManagerColumns] = {
    {"Name", 80},       {"CollisionGAP", 75}, {"Bounce", 60},         {"Friction", 60},
    {"Adherence", 75},  {"Wetmap", 55},       {"Map prefix", 100},    {"Map resolution", 100},
    {"Drying time", 70}, {"Part.Killer", 70},
};

float SpinValue(HWND dlg, int spin) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, spin));
  if (!s) return 0.0f;
  float v = s->GetEditType() == EDITTYPE_POS_INT ? float(s->GetIVal()) : s->GetFVal();
  ReleaseISpinner(s);
  return v;
}

bool CheckState(HWND dlg, int id) {
  ICustButton* b = GetICustButton(GetDlgItem(dlg, id));
  if (!b) return false;
  bool on = b->IsChecked();
  ReleaseICustButton(b);
  return on;
}

void SetSpin(HWND dlg, int spin, float v) {
  ISpinnerControl* s = GetISpinner(GetDlgItem(dlg, spin));
  if (!s) return;
  if (s->GetEditType() == EDITTYPE_POS_INT)
    s->SetValue(int(v), FALSE);
  else
    s->SetValue(v, FALSE);
  ReleaseISpinner(s);
}

void SetCheckState(HWND dlg, int id, bool on) {
  ICustButton* b = GetICustButton(GetDlgItem(dlg, id));
  if (!b) return;
  b->SetCheck(on);
  ReleaseICustButton(b);
}

// A row holds its node's handle: names repeat and change, so a row found
// by name could edit another node. A deleted node's row reaches nothing.
INode* RowNode(HWND list, int row) {
  LVITEM item;
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessage(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) || !item.lParam)
    return nullptr;
  Interface* ip = GetCOREInterface();
  return ip ? ip->GetINodeByHandle(uint32_t(item.lParam)) : nullptr;
}

std::vector<int> HighlightedRows(HWND list) {
  std::vector<int> rows;
  for (int r = ListView_GetNextItem(list, -1, LVNI_SELECTED); r >= 0;
       r = ListView_GetNextItem(list, r, LVNI_SELECTED))
    rows.push_back(r);
  return rows;
}

void RememberRect(HWND hwnd) {
  RECT r;
  if (GetWindowRect(hwnd, &r)) State().rect = r;
}

void Layout(HWND hwnd) {
  RECT c{0, 0, 0, 0};
  GetClientRect(hwnd, &c);
  int w = c.right - c.left, h = c.bottom - c.top;
  MoveWindow(GetDlgItem(hwnd, kOmList), 0, 0, w > 200 ? w - 200 : 0, h > 100 ? h - 100 : 0, TRUE);
  RECT b{0, 0, 0, 0};
  HWND close = GetDlgItem(hwnd, kOmClose);
  GetWindowRect(close, &b);
  int bw = b.right - b.left, bh = b.bottom - b.top;
  MoveWindow(close, w - 30 - bw, h - 40 - bh, bw, bh, TRUE);
  HWND del = GetDlgItem(hwnd, kOmDeleteHighlighted);
  GetWindowRect(del, &b);
  int dw = b.right - b.left, dh = b.bottom - b.top;
  MoveWindow(del, 30, h - 40 - dh, dw, dh, TRUE);
  HWND add = GetDlgItem(hwnd, kOmAddSelection);
  GetWindowRect(add, &b);
  MoveWindow(add, 30 + dw + 10, h - 40 - (b.bottom - b.top), b.right - b.left, b.bottom - b.top,
             TRUE);
}

void FillRow(HWND list, int row, INode* node) {
  std::string cells[kObjectManagerColumns];
  if (!ObjectRowTexts(node, cells)) return;
  for (int c = 0; c < kObjectManagerColumns; ++c) ListView_SetItemText(list, row, c, cells[c].c_str());
}

void Refresh(HWND hwnd, ReferenceTarget* system) {
  ManagerState& s = State();
  if (system) s.system = system;
  SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s.system));
  FluidEngine* engine = EngineOf(s.system);
  if (engine) engine->RebuildWetMapList();
  for (const SpinSpec& sp : kSpins) {
    ISpinnerControl* spin = GetISpinner(GetDlgItem(hwnd, sp.spin));
    if (!spin) continue;
    spin->LinkToEdit(GetDlgItem(hwnd, sp.edit), sp.isInt ? EDITTYPE_POS_INT : EDITTYPE_POS_FLOAT);
    if (sp.isInt) {
      spin->SetLimits(int(sp.lo), int(sp.hi), TRUE);
      spin->SetScale(32.0f);
    } else {
      spin->SetLimits(sp.lo, sp.hi, TRUE);
      spin->SetAutoScale(TRUE);
    }
    ReleaseISpinner(spin);
  }
  for (int id : {kOmTracer, kOmPartKiller}) {
    ICustButton* b = GetICustButton(GetDlgItem(hwnd, id));
    if (!b) continue;
    b->SetType(CBT_CHECK);
    b->SetHighlightColor(kCheckHighlight);
    ReleaseICustButton(b);
  }
  HWND list = GetDlgItem(hwnd, kOmList);
  if (ListView_GetColumnCount(list) == 0) {
    for (int c = 0; c < kObjectManagerColumns; ++c) {
      LVCOLUMN col;
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = kColumns[c].width;
      std::string t = kColumns[c].title;
      col.pszText = &t[0];
      ListView_InsertColumn(list, c, &col);
    }
  }
  if (engine) {
    for (WetMap* m : engine->wetMaps) {
      std::string cells[kObjectManagerColumns];
      if (!m || !ObjectRowTexts(m->node, cells)) continue;
      LVITEM item;
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = ListView_GetItemCount(list);
      item.pszText = &cells[0][0];
      item.lParam = LPARAM(m->node->GetHandle());
      int row = ListView_InsertItem(list, &item);
      for (int c = 1; c < kObjectManagerColumns; ++c)
        ListView_SetItemText(list, row, c, cells[c].c_str());
    }
  }
  const RECT& r = s.rect;
  if (r.left || r.top || r.right || r.bottom)
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  Layout(hwnd);
}

void EditHighlighted(HWND hwnd, ObjectSetting which, float value) {
  HWND list = GetDlgItem(hwnd, kOmList);
  FluidEngine* engine = EngineOf(State().system);
  std::vector<int> rows = HighlightedRows(list);
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    INode* node = RowNode(list, *it);
    // The row shows what was set at once.
    if (EditObjectSetting(node, which, value, engine)) FillRow(list, *it, node);
  }
}

ColliderSettings SettingsFromControls(HWND hwnd) {
  ColliderSettings s;
  s.collisionGap = SpinValue(hwnd, kOmGapSpin);
  s.bounce = SpinValue(hwnd, kOmBounceSpin);
  s.friction = SpinValue(hwnd, kOmFrictionSpin);
  s.adherence = SpinValue(hwnd, kOmAdherenceSpin);
  s.mapRes = int(SpinValue(hwnd, kOmMapResSpin));
  s.dryingTime = SpinValue(hwnd, kOmDryingSpin);
  s.tracer = CheckState(hwnd, kOmTracer) ? 1 : 0;
  s.partKiller = CheckState(hwnd, kOmPartKiller);
  return s;
}

void ClearAndRefresh(HWND hwnd) {
  ListView_DeleteAllItems(GetDlgItem(hwnd, kOmList));
  Refresh(hwnd, nullptr);
}

}  // namespace

void SetObjectManagerEngineResolver(ObjectManagerEngineResolver resolver) {
  State().resolver = std::move(resolver);
}

bool ReadObjectSettings(INode* node, ColliderSettings& out) {
  if (!node) return false;
  ColliderSettings s;
  const char* prefix = nullptr;
  if (!GetObjectParams(node, s.collide, s.collisionGap, s.bounce, s.friction, s.adherence,
                       s.partKiller) ||
      !GetWetmapParams(node, s.tracer, s.mapRes, prefix, s.dryingTime))
    return false;
  s.mapPrefix = prefix ? prefix : "";
  out = s;
  return true;
}

bool WriteObjectSettings(INode* node, const ColliderSettings& s, FluidEngine* engine) {
  if (!node) return false;
  std::string prefix;
  bool hadPrefix = false;
  {
    const char* p = nullptr;
    int tracer, res;
    float drying;
    if (GetWetmapParams(node, tracer, res, p, drying) && p && p[0]) {
      prefix = p;
      hadPrefix = true;
    }
  }
  if (!AddObjectParams(WetMapRegistrar(engine), node, 1, s.collisionGap, s.bounce, s.friction,
                       s.tracer, s.mapRes, s.dryingTime, s.adherence, s.partKiller))
    return false;
  // Writing the settings names the map after the node; a prefix the user
  // gave the node's wet maps is kept.
  if (hadPrefix) {
    CustAttrib* ca = FindObjectParams(node);
    IParamBlock2* pb = ca ? ca->GetParamBlock(0) : nullptr;
    if (pb) pb->SetValue(kObjMapPrefix, 0, prefix.c_str());
  }
  return true;
}

bool ObjectRowTexts(INode* node, std::string cells[kObjectManagerColumns]) {
  ColliderSettings s;
  if (!ReadObjectSettings(node, s)) return false;
  char buf[300];
  cells[0] = node->GetName() ? node->GetName() : "";
  snprintf(buf, sizeof buf, "%3.3f", double(s.collisionGap));
  cells[1] = buf;
  snprintf(buf, sizeof buf, "%3.2f", double(s.bounce));
  cells[2] = buf;
  snprintf(buf, sizeof buf, "%3.2f", double(s.friction));
  cells[3] = buf;
  snprintf(buf, sizeof buf, "%3.2f", double(s.adherence));
  cells[4] = buf;
  cells[5] = s.tracer ? "Yes" : "No";
  cells[6] = s.mapPrefix;
  snprintf(buf, sizeof buf, "%d pix.", s.mapRes);
  cells[7] = buf;
  snprintf(buf, sizeof buf, "%3.2f s.", double(s.dryingTime));
  cells[8] = buf;
  snprintf(buf, sizeof buf, "%d", s.partKiller ? 1 : 0);
  cells[9] = buf;
  return true;
}

bool EditObjectSetting(INode* node, ObjectSetting which, float value, FluidEngine* engine) {
  ColliderSettings s;
  if (!ReadObjectSettings(node, s)) return false;
  switch (which) {
    case ObjectSetting::Gap: s.collisionGap = value; break;
    case ObjectSetting::Bounce: s.bounce = value; break;
    case ObjectSetting::Friction: s.friction = value; break;
    case ObjectSetting::Adherence: s.adherence = value; break;
    case ObjectSetting::MapRes: s.mapRes = int(value); break;
    case ObjectSetting::Drying: s.dryingTime = value; break;
    case ObjectSetting::Tracer: s.tracer = value != 0.0f ? 1 : 0; break;
    case ObjectSetting::PartKiller: s.partKiller = value != 0.0f; break;
  }
  return WriteObjectSettings(node, s, engine);
}

INT_PTR CALLBACK ObjectManagerDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ManagerState& st = State();
  switch (msg) {
    case WM_INITDIALOG:
      Refresh(hwnd, reinterpret_cast<ReferenceTarget*>(lParam));
      return TRUE;
    case WM_SIZE:
      Layout(hwnd);
      return TRUE;
    case WM_DESTROY:
      RememberRect(hwnd);
      if (st.window == hwnd) st.window = nullptr;
      return FALSE;
    case WM_NOTIFY: {
      const NMHDR* h = reinterpret_cast<const NMHDR*>(lParam);
      if (!h || h->idFrom != UINT_PTR(kOmList) || h->code != NM_CLICK) return FALSE;
      HWND list = GetDlgItem(hwnd, kOmList);
      int row = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
      if (row < 0 || ListView_GetSelectedCount(list) != 1) return TRUE;
      ColliderSettings s;
      if (!ReadObjectSettings(RowNode(list, row), s)) return TRUE;
      SetSpin(hwnd, kOmGapSpin, s.collisionGap);
      SetSpin(hwnd, kOmBounceSpin, s.bounce);
      SetSpin(hwnd, kOmFrictionSpin, s.friction);
      SetSpin(hwnd, kOmAdherenceSpin, s.adherence);
      SetSpin(hwnd, kOmMapResSpin, float(s.mapRes));
      SetSpin(hwnd, kOmDryingSpin, s.dryingTime);
      SetCheckState(hwnd, kOmTracer, s.tracer != 0);
      SetCheckState(hwnd, kOmPartKiller, s.partKiller);
      return TRUE;
    }
    case CC_SPINNER_CHANGE: {
      // Only value changes write: entering a field must not copy a value
      // shown for another row onto the highlighted ones.
      int id = LOWORD(wParam);
      for (const SpinSpec& sp : kSpins)
        if (sp.spin == id) EditHighlighted(hwnd, sp.setting, SpinValue(hwnd, id));
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      HWND list = GetDlgItem(hwnd, kOmList);
      FluidEngine* engine = EngineOf(st.system);
      switch (id) {
        case kOmTracer:
          EditHighlighted(hwnd, ObjectSetting::Tracer, CheckState(hwnd, id) ? 1.0f : 0.0f);
          break;
        case kOmPartKiller:
          EditHighlighted(hwnd, ObjectSetting::PartKiller, CheckState(hwnd, id) ? 1.0f : 0.0f);
          break;
        case kOmApply: {
          ColliderSettings s = SettingsFromControls(hwnd);
          for (int row : HighlightedRows(list)) WriteObjectSettings(RowNode(list, row), s, engine);
          RememberRect(hwnd);
          for (int row = 0, n = ListView_GetItemCount(list); row < n; ++row) {
            INode* node = RowNode(list, row);
            if (node) FillRow(list, row, node);
          }
          break;
        }
        case kOmAddSelection: {
          RememberRect(hwnd);
          Interface* ip = GetCOREInterface();
          int n = ip ? ip->GetSelNodeCount() : 0;
          for (int i = 0; i < n; ++i) {
            INode* node = ip->GetSelNode(i);
            if (!node) continue;
            if (HasObjectParams(node)) {
              SetObjectCollide(node, 1);
            } else {
              PluginDefaults d;
              if (engine) d = engine->defaults;
              AddObjectParams(WetMapRegistrar(engine), node, 1, d.objectCollisionGap,
                              d.objectBounce, d.objectFriction, d.objectHasWetmap, d.wetmapSize,
                              d.dryingTime, d.objectCoandaEffect, false);
            }
          }
          ClearAndRefresh(hwnd);
          break;
        }
        case kOmDeleteHighlighted: {
          RememberRect(hwnd);
          std::vector<int> rows = HighlightedRows(list);
          for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            INode* node = RowNode(list, *it);
            if (node) SetObjectCollide(node, 0);
          }
          ClearAndRefresh(hwnd);
          break;
        }
        case kOmClose:
        case IDCANCEL:
          DestroyWindow(hwnd);
          break;
      }
      return TRUE;
    }
  }
  return FALSE;
}

HWND ObjectManagerDialog() { return State().window; }
RECT ObjectManagerRect() { return State().rect; }

HWND OpenObjectManager(ReferenceTarget* system) {
  ManagerState& s = State();
  if (!system || (s.window && IsWindow(s.window))) return s.window;
  Interface* ip = GetCOREInterface();
  s.window = CreateDialogParam(VorelModuleHandle(), MAKEINTRESOURCE(kObjectManagerDialog),
                               ip ? ip->GetMAXHWnd() : nullptr, ObjectManagerDlgProc,
                               reinterpret_cast<LPARAM>(system));
  return s.window;
}

void ObjectManagerSystemDeleted(ReferenceTarget* system) {
  ManagerState& s = State();
  if (!system || s.system != system) return;
  if (s.window) DestroyWindow(s.window);
  s.window = nullptr;
  s.system = nullptr;
}

void RegisterObjectManagerDialog(HINSTANCE instance) {
  using vorel_ui::Kind;
  vorel_ui::DialogTemplate t;
  t.id = kObjectManagerDialog;
  t.title = "Vorel Obejct Manager";
  t.width = 800;
  t.height = 400;
  t.controls = {{kOmList, Kind::ListView, "", false, true, {0, 0, 600, 300}},
                {kOmClose, Kind::Button, "CLOSE", false, false, {0, 0, 60, 20}},
                {kOmAddSelection, Kind::Button, "Add selection to list", false, false, {0, 0, 120, 20}},
                {kOmDeleteHighlighted, Kind::Button, "Delete highlighted", false, false, {0, 0, 110, 20}},
                {kOmApply, Kind::Button, "Apply to highlighted", false, false, {0, 0, 120, 20}},
                {kOmGapEdit, Kind::CustEdit, ""}, {kOmGapSpin, Kind::Spinner, ""},
                {kOmBounceEdit, Kind::CustEdit, ""}, {kOmBounceSpin, Kind::Spinner, ""},
                {kOmFrictionEdit, Kind::CustEdit, ""}, {kOmFrictionSpin, Kind::Spinner, ""},
                {kOmAdherenceEdit, Kind::CustEdit, ""}, {kOmAdherenceSpin, Kind::Spinner, ""},
                {kOmMapResEdit, Kind::CustEdit, ""}, {kOmMapResSpin, Kind::Spinner, ""},
                {kOmDryingEdit, Kind::CustEdit, ""}, {kOmDryingSpin, Kind::Spinner, ""},
                {kOmTracer, Kind::CustButton, "Add wetmap sequence"},
                {kOmPartKiller, Kind::CustButton, "Kill parts on collide"}};
  vorel_ui::RegisterDialogTemplate(instance, t);
}
