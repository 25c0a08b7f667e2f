#include "host/ui/parammap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/core/strings.h"
#include "host/sdk/interface.h"
#include "host/ui/custctrl.h"
#include "host/ui/pick.h"
#include "host/ui/window.h"

namespace {

class ParamMap;

struct MapRegistry {
  std::map<HWND, ParamMap*> byWindow;
  std::vector<ParamMap*> all;
  std::vector<vorel_ui::RollupPage> pages;
  // Procedures running now (with their depth) and those to delete once
  // they return: a procedure whose command closes its own rollout must not
  // be deleted under its feet.
  std::map<ParamMap2UserDlgProc*, int> running;
  std::vector<ParamMap2UserDlgProc*> doomed;
};

MapRegistry& R() {
  static MapRegistry r;
  return r;
}

// Puts a rollout window into the panel: after the pages of its category and
// lower ones, captioned with the title when one is given.
void AddPage(HWND h, const char* title, DWORD flags, int category) {
  if (title && *title) SetWindowText(h, title);
  char caption[256];
  GetWindowText(h, caption, sizeof caption);
  vorel_ui::RollupPage page;
  page.hwnd = h;
  page.title = caption;
  page.open = !(flags & APPENDROLL_CLOSED);
  page.category = category;
  auto& pages = R().pages;
  auto at = std::find_if(pages.begin(), pages.end(),
                         [&](const vorel_ui::RollupPage& p) { return p.category > category; });
  pages.insert(at, page);
}

void RemovePage(HWND h) {
  auto& pages = R().pages;
  pages.erase(std::remove_if(pages.begin(), pages.end(),
                             [&](const vorel_ui::RollupPage& p) { return p.hwnd == h; }),
              pages.end());
}

bool IsFloatType(ParamType2 t) { return t == TYPE_FLOAT || t == TYPE_WORLD || t == TYPE_ANGLE; }
bool IsStringType(ParamType2 t) { return t == TYPE_STRING || t == TYPE_FILENAME; }

TimeValue Now() { return GetCOREInterface()->GetTime(); }

// Pick mode of a node button or a node list's add or replace button: the
// pick sets the node parameter, appends to the table or replaces the entry
// that was highlighted when the button was pressed, through the block.
class NodeParamPick : public PickModeCallback, public PickNodeCallback {
 public:
  static constexpr int kAppend = -1;
  // entry: kAppend, or the table index the pick sets (0 for a single node).
  NodeParamPick(IParamBlock2* pb, ParamID id, int entry, HWND button)
      : pb_(pb), id_(id), entry_(entry), button_(button) {}
  BOOL HitTest(IObjParam*, HWND hWnd, ViewExp*, IPoint2 m, int) override {
    return PickNode(hWnd, m, this) != nullptr;
  }
  BOOL Pick(IObjParam*, ViewExp* vpt) override {
    INode* n = vpt->GetClosestHitNode();
    if (!n) return FALSE;
    // An entry that went away meanwhile is left alone (SetValue refuses it).
    if (entry_ == kAppend) pb_->Append(id_, 1, &n);
    else pb_->SetValue(id_, Now(), n, entry_);
    return TRUE;
  }
  void ExitMode(IObjParam*) override {
    if (ICustButton* b = GetICustButton(button_)) {
      b->SetCheck(FALSE);
      ReleaseICustButton(b);
    }
    delete this;
  }
  // A table takes no node twice (the replaced entry may be picked again).
  BOOL Filter(INode* node) override {
    if (!IsTab()) return TRUE;
    for (int i = 0; i < pb_->Count(id_); ++i)
      if (i != entry_ && pb_->GetINode(id_, 0, i) == node) return FALSE;
    return TRUE;
  }
  PickNodeCallback* GetFilter() override { return this; }
  IParamBlock2* Block() const { return pb_; }

 private:
  bool IsTab() const {
    const ParamDef* d = pb_->GetDesc()->FindParam(id_);
    return d && d->type == TYPE_INODE_TAB;
  }
  IParamBlock2* pb_;
  ParamID id_;
  int entry_;
  HWND button_;
};

class ParamMap : public IParamMap2 {
 public:
  ParamMap(IParamBlock2* pb, MapID map, ParamMap2UserDlgProc* proc)
      : pb_(pb), map_(map), proc_(proc) {
    if (pb_) lastDescProc_ = pb_->GetDesc()->GetUserDlgProc(map_);
    R().all.push_back(this);
  }
  ~ParamMap() override {
    auto& all = R().all;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
  }

  IParamBlock2* GetParamBlock() override { return pb_; }
  MapID GetMapID() override { return map_; }
  HWND GetHWnd() override { return hwnd_; }

  void SetUserDlgProc(ParamMap2UserDlgProc* proc) override {
    if (proc == proc_) return;
    ParamMap2UserDlgProc* old = proc_;
    proc_ = proc;
    Release(old);
    if (proc_ && hwnd_) {
      proc_->SetThing(thing_);
      CallProc(proc_, this, hwnd_, WM_INITDIALOG, 0, 0);
    }
  }
  ParamMap2UserDlgProc* GetUserDlgProc() override { return proc_; }

  void Enable(ParamID id, BOOL onOff, int) override {
    const ParamDef* d = Def(id);
    if (!d || !hwnd_) return;
    for (int cid : d->ctrl_ids) EnableWindow(GetDlgItem(hwnd_, cid), onOff);
  }

  void Invalidate(ParamID id, int) override {
    if (!hwnd_ || !pb_ || refreshing_) return;
    refreshing_ = true;
    for (const ParamDef& d : pb_->GetDesc()->Params())
      if (d.map_id == map_ && d.ctrl_type != TYPE_NONE_CTRL && (id < 0 || d.id == id)) Refresh(d);
    refreshing_ = false;
  }
  void UpdateUI(TimeValue) override { Invalidate(-1, -1); }
  void SetThing(ReferenceTarget* m) override {
    thing_ = m;
    if (proc_) proc_->SetThing(m);
  }
  void SetParamBlock(IParamBlock2* pb) override {
    pb_ = pb;
    Invalidate(-1, -1);
  }

  void Open(HINSTANCE inst, const char* tmpl, const char* title, DWORD flags, int category) {
    HWND h = CreateDialogParam(inst, tmpl, GetCOREInterface()->GetMAXHWnd(), &ParamMap::Proc,
                               reinterpret_cast<LPARAM>(this));
    if (h) AddPage(h, title, flags, category);
  }

  void Close() {
    // A node pick started from this rollout ends with it.
    if (auto* pick = dynamic_cast<NodeParamPick*>(vorel_ui::CurrentPickMode()))
      if (pick->Block() == pb_) vorel_ui::ClearPickModeImpl();
    if (hwnd_) {
      HWND h = hwnd_;
      RemovePage(h);
      DestroyWindow(h);
    }
    if (pb_ && pb_->GetMap(map_) == this) pb_->SetMap(nullptr, map_);
    // The descriptor must not keep a procedure the host is about to delete.
    if (pb_ && proc_ && pb_->GetDesc()->GetUserDlgProc(map_) == proc_)
      pb_->GetDesc()->SetUserDlgProc(map_, nullptr);
    ParamMap2UserDlgProc* old = proc_;
    proc_ = nullptr;
    Release(old);
  }

  void BlockGone() { pb_ = nullptr; }
  static bool Alive(const ParamMap* m) {
    return std::find(R().all.begin(), R().all.end(), m) != R().all.end();
  }

  // Picks up a procedure handed to the descriptor while the map is open.
  void SyncProc() {
    if (!pb_) return;
    ParamMap2UserDlgProc* dp = pb_->GetDesc()->GetUserDlgProc(map_);
    if (dp == lastDescProc_) return;
    lastDescProc_ = dp;
    if (dp) SetUserDlgProc(dp);
  }

 private:
  static void Release(ParamMap2UserDlgProc* p) {
    if (!p) return;
    // A procedure shared by several open maps goes with the last of them.
    for (const ParamMap* m : R().all)
      if (m->proc_ == p) return;
    if (R().running.count(p)) R().doomed.push_back(p);
    else p->DeleteThis();
  }

 public:
  static INT_PTR CallProc(ParamMap2UserDlgProc* p, IParamMap2* map, HWND h, UINT msg,
                          WPARAM wParam, LPARAM lParam) {
    ++R().running[p];
    INT_PTR r = p->DlgProc(Now(), map, h, msg, wParam, lParam);
    if (--R().running[p] == 0) {
      R().running.erase(p);
      auto& d = R().doomed;
      auto it = std::find(d.begin(), d.end(), p);
      if (it != d.end()) {
        d.erase(it);
        p->DeleteThis();
      }
    }
    return r;
  }

 private:

  const ParamDef* Def(ParamID id) const {
    if (!pb_) return nullptr;
    const ParamDef* d = pb_->GetDesc()->FindParam(id);
    return (d && d->map_id == map_) ? d : nullptr;
  }

  HWND Ctrl(const ParamDef& d, size_t k) const {
    return k < d.ctrl_ids.size() ? GetDlgItem(hwnd_, d.ctrl_ids[k]) : nullptr;
  }

  void Bind() {
    for (const ParamDef& d : pb_->GetDesc()->Params()) {
      if (d.map_id != map_) continue;
      if (d.ctrl_type == TYPE_SPINNER) {
        ISpinnerControl* s = GetISpinner(Ctrl(d, 1));
        if (!s) continue;
        s->LinkToEdit(Ctrl(d, 0), EditSpinnerType(d.edit_type ? d.edit_type : EDITTYPE_FLOAT));
        bool isInt = !IsFloatType(d.type);
        if (d.has_range) {
          if (isInt) s->SetLimits(d.range_lo_i, d.range_hi_i, FALSE);
          else s->SetLimits(d.range_lo_f, d.range_hi_f, FALSE);
        } else {
          s->SetLimits(-1e30f, 1e30f, FALSE);
        }
        s->SetScale(d.spin_step);
        s->SetAutoScale(d.spin_auto);
        ReleaseISpinner(s);
      } else if (d.ctrl_type == TYPE_CHECKBUTTON || d.ctrl_type == TYPE_PICKNODEBUTTON) {
        if (ICustButton* b = GetICustButton(Ctrl(d, 0))) {
          b->SetType(CBT_CHECK);
          ReleaseICustButton(b);
        }
      } else if (d.ctrl_type == TYPE_EDITBOX) {
        if (ICustEdit* e = GetICustEdit(Ctrl(d, 0))) {
          e->WantReturn(TRUE);
          ReleaseICustEdit(e);
        }
      }
    }
  }

  void Refresh(const ParamDef& d) {
    TimeValue t = Now();
    Interval iv = FOREVER;
    switch (d.ctrl_type) {
      case TYPE_SPINNER: {
        ISpinnerControl* s = GetISpinner(Ctrl(d, 1));
        if (!s) return;
        if (IsFloatType(d.type)) {
          float v = 0;
          if (pb_->GetValue(d.id, t, v, iv)) s->SetValue(v, FALSE);
        } else {
          int v = 0;
          if (pb_->GetValue(d.id, t, v, iv)) s->SetValue(v, FALSE);
        }
        ReleaseISpinner(s);
        return;
      }
      case TYPE_RADIO: {
        int v = 0;
        if (!pb_->GetValue(d.id, t, v, iv)) return;
        for (size_t k = 0; k < d.ctrl_ids.size(); ++k)
          CheckDlgButton(hwnd_, d.ctrl_ids[k], int(k) == v ? BST_CHECKED : BST_UNCHECKED);
        return;
      }
      case TYPE_SINGLECHEKBOX:
      case TYPE_CHECKBUTTON: {
        int v = 0;
        if (!pb_->GetValue(d.id, t, v, iv)) return;
        CheckDlgButton(hwnd_, d.ctrl_ids.empty() ? -1 : d.ctrl_ids[0], v ? BST_CHECKED : BST_UNCHECKED);
        return;
      }
      case TYPE_EDITBOX: {
        std::string text;
        if (IsStringType(d.type)) {
          const char* s = nullptr;
          if (pb_->GetValue(d.id, t, s, iv)) text = s ? s : "";
        } else if (IsFloatType(d.type)) {
          float v = 0;
          if (!pb_->GetValue(d.id, t, v, iv)) return;
          char buf[64];
          std::snprintf(buf, sizeof buf, "%g", double(v));
          text = buf;
        } else {
          int v = 0;
          if (!pb_->GetValue(d.id, t, v, iv)) return;
          text = std::to_string(v);
        }
        SetWindowText(Ctrl(d, 0), text.c_str());
        return;
      }
      case TYPE_NODELISTBOX: {
        HWND list = Ctrl(d, 0);
        if (!list) return;
        int sel = int(SendMessage(list, LB_GETCURSEL, 0, 0));
        SendMessage(list, LB_RESETCONTENT, 0, 0);
        int n = pb_->Count(d.id);
        // One row per entry (an empty row for a deleted node) so that rows
        // and table entries keep the same index.
        for (int i = 0; i < n; ++i) {
          INode* node = pb_->GetINode(d.id, t, i);
          SendMessage(list, LB_ADDSTRING, 0, LPARAM(node ? node->GetName() : ""));
        }
        if (sel >= n) sel = n - 1;
        SendMessage(list, LB_SETCURSEL, WPARAM(sel), 0);
        return;
      }
      case TYPE_PICKNODEBUTTON: {
        INode* node = nullptr;
        pb_->GetValue(d.id, t, node, iv);
        SetWindowText(Ctrl(d, 0), node ? node->GetName() : "None");
        return;
      }
      default:
        return;
    }
  }

  void SetFromText(const ParamDef& d, const std::string& text) {
    TimeValue t = Now();
    if (IsStringType(d.type)) {
      pb_->SetValue(d.id, t, text.c_str());
    } else {
      char* end = nullptr;
      double v = std::strtod(text.c_str(), &end);
      if (end != text.c_str()) {
        if (IsFloatType(d.type)) pb_->SetValue(d.id, t, float(v));
        else pb_->SetValue(d.id, t, int(v));
      }
    }
    Invalidate(d.id, -1);
  }

  void OnCommand(int id, int code) {
    TimeValue t = Now();
    for (const ParamDef& d : pb_->GetDesc()->Params()) {
      if (d.map_id != map_ || d.ctrl_ids.empty()) continue;
      auto pos = std::find(d.ctrl_ids.begin(), d.ctrl_ids.end(), id);
      if (pos == d.ctrl_ids.end()) continue;
      size_t k = size_t(pos - d.ctrl_ids.begin());
      switch (d.ctrl_type) {
        case TYPE_SINGLECHEKBOX:
        case TYPE_CHECKBUTTON:
          if (code == BN_CLICKED && k == 0)
            pb_->SetValue(d.id, t, int(IsDlgButtonChecked(hwnd_, id) ? 1 : 0));
          break;
        case TYPE_RADIO:
          if (code == BN_CLICKED) pb_->SetValue(d.id, t, int(k));
          break;
        case TYPE_EDITBOX:
          if (k == 0 && code == EN_KILLFOCUS) {
            char buf[1024];
            GetWindowText(Ctrl(d, 0), buf, sizeof buf);
            SetFromText(d, buf);
          }
          break;
        case TYPE_NODELISTBOX:
          if (code != BN_CLICKED) break;
          if (k == 3) {
            HWND list = Ctrl(d, 0);
            int sel = int(SendMessage(list, LB_GETCURSEL, 0, 0));
            if (sel >= 0 && sel < pb_->Count(d.id)) {
              pb_->Delete(d.id, sel, 1);
              Invalidate(d.id, -1);
              int n = pb_->Count(d.id);
              SendMessage(list, LB_SETCURSEL, WPARAM(sel < n ? sel : n - 1), 0);
            }
          } else if (k == 1) {
            vorel_ui::SetPickModeImpl(new NodeParamPick(pb_, d.id, NodeParamPick::kAppend, Ctrl(d, 1)));
          } else if (k == 2 && id != 0) {  // 0: the list has no replace button
            // Replace needs a highlighted entry.
            int sel = int(SendMessage(Ctrl(d, 0), LB_GETCURSEL, 0, 0));
            if (sel >= 0 && sel < pb_->Count(d.id))
              vorel_ui::SetPickModeImpl(new NodeParamPick(pb_, d.id, sel, Ctrl(d, 2)));
          }
          break;
        case TYPE_PICKNODEBUTTON:
          if (code == BN_CLICKED && k == 0)
            vorel_ui::SetPickModeImpl(new NodeParamPick(pb_, d.id, 0, Ctrl(d, 0)));
          break;
        default:
          break;
      }
      // A value change may have closed this rollout.
      if (!Alive(this) || !pb_) return;
    }
  }

  void OnSpinner(int id) {
    for (const ParamDef& d : pb_->GetDesc()->Params()) {
      if (d.map_id != map_ || d.ctrl_type != TYPE_SPINNER || d.ctrl_ids.size() < 2 ||
          d.ctrl_ids[1] != id)
        continue;
      ISpinnerControl* s = GetISpinner(Ctrl(d, 1));
      if (!s) continue;
      if (IsFloatType(d.type)) pb_->SetValue(d.id, Now(), s->GetFVal());
      else pb_->SetValue(d.id, Now(), s->GetIVal());
      ReleaseISpinner(s);
      if (!Alive(this) || !pb_) return;
      // The block may have clamped tighter than the spinner's limits.
      Invalidate(d.id, -1);
    }
  }

  void OnEditEnter(int id) {
    for (const ParamDef& d : pb_->GetDesc()->Params()) {
      if (d.map_id != map_ || d.ctrl_type != TYPE_EDITBOX || d.ctrl_ids.empty() || d.ctrl_ids[0] != id)
        continue;
      char buf[1024];
      GetWindowText(Ctrl(d, 0), buf, sizeof buf);
      SetFromText(d, buf);
      if (!Alive(this) || !pb_) return;
    }
  }

  static INT_PTR Proc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    ParamMap* m = nullptr;
    if (msg == WM_INITDIALOG) {
      m = reinterpret_cast<ParamMap*>(lParam);
      R().byWindow[h] = m;
      m->hwnd_ = h;
      if (m->pb_) {
        m->Bind();
        m->Invalidate(-1, -1);
      }
    } else {
      auto it = R().byWindow.find(h);
      if (it == R().byWindow.end()) return FALSE;
      m = it->second;
    }
    if (m->pb_) {
      if (msg == WM_COMMAND) m->OnCommand(LOWORD(wParam), HIWORD(wParam));
      else if (msg == CC_SPINNER_CHANGE) m->OnSpinner(LOWORD(wParam));
      else if (msg == WM_CUSTEDIT_ENTER) m->OnEditEnter(int(wParam));
    }
    // The map's own handling may have closed the rollout (and the map).
    auto still = [&] {
      auto it = R().byWindow.find(h);
      return it != R().byWindow.end() && it->second == m;
    };
    if (!still()) return FALSE;
    m->SyncProc();
    INT_PTR r = FALSE;
    if (m->proc_) r = CallProc(m->proc_, m, h, msg, wParam, lParam);
    if (msg == WM_DESTROY && still()) {
      R().byWindow.erase(h);
      m->hwnd_ = nullptr;
    }
    return r;
  }

  IParamBlock2* pb_;
  MapID map_;
  ParamMap2UserDlgProc* proc_;
  ParamMap2UserDlgProc* lastDescProc_ = nullptr;
  ReferenceTarget* thing_ = nullptr;
  HWND hwnd_ = nullptr;
  bool refreshing_ = false;
};

// The parameter blocks of an object that belong to a descriptor.
IParamBlock2* BlockOf(ReferenceMaker* obj, ParamBlockDesc2* desc) {
  if (!obj) return nullptr;
  for (int i = 0; i < obj->NumRefs(); ++i) {
    ReferenceTarget* r = obj->GetReference(i);
    if (r && r->SuperClassID() == PARAMETER_BLOCK2_CLASS_ID) {
      IParamBlock2* pb = static_cast<IParamBlock2*>(r);
      if (pb->GetDesc() == desc) return pb;
    }
  }
  return nullptr;
}

std::string RolloutTitle(ClassDesc2* cd, const ParamBlockDesc2* desc, const RolloutDef& r) {
  char buf[256] = {0};
  if (r.title_id && LoadStringA(reinterpret_cast<HINSTANCE>(cd->HInstance()), UINT(r.title_id), buf, sizeof buf) > 0)
    return buf;
  // Without a title string the dialog keeps its template's caption.
  (void)desc;
  return std::string();
}

class Hooks : public ParamUIHooks {
 public:
  void BeginEditParams(ClassDesc2* cd, IObjParam* ip, ReferenceMaker* obj, uint32_t, Animatable*) override {
    if (!cd) return;
    for (int i = 0; i < cd->NumParamBlockDescs(); ++i) {
      ParamBlockDesc2* desc = cd->GetParamBlockDesc(i);
      if (!desc || !(desc->flags & P_AUTO_UI)) continue;
      IParamBlock2* pb = BlockOf(obj, desc);
      if (!pb) continue;
      for (const RolloutDef& r : desc->Rollouts()) {
        if (pb->GetMap(r.map_id)) continue;
        std::string title = RolloutTitle(cd, desc, r);
        IParamMap2* m = CreateCPParamMap2(r.map_id, pb, ip, reinterpret_cast<HINSTANCE>(cd->HInstance()),
                                          MAKEINTRESOURCE(r.dialog_id), title.empty() ? nullptr : title.c_str(), DWORD(r.flags),
                                          desc->GetUserDlgProc(r.map_id));
        if (m) m->SetThing(dynamic_cast<ReferenceTarget*>(obj));
      }
    }
  }
  void EndEditParams(ClassDesc2* cd, IObjParam*, ReferenceMaker* obj, uint32_t, Animatable*) override {
    if (!cd) return;
    for (int i = 0; i < cd->NumParamBlockDescs(); ++i) {
      ParamBlockDesc2* desc = cd->GetParamBlockDesc(i);
      IParamBlock2* pb = desc ? BlockOf(obj, desc) : nullptr;
      if (!pb) continue;
      for (const RolloutDef& r : desc->Rollouts())
        if (IParamMap2* m = pb->GetMap(r.map_id)) DestroyCPParamMap2(m);
    }
  }
  void InvalidateUI(IParamBlock2* pb, ParamID id) override {
    for (ParamMap* m : std::vector<ParamMap*>(R().all))
      if (m->GetParamBlock() == pb) m->Invalidate(id, -1);
  }
  void BlockDeleted(IParamBlock2* pb) override {
    if (auto* pick = dynamic_cast<NodeParamPick*>(vorel_ui::CurrentPickMode()))
      if (pick->Block() == pb) vorel_ui::ClearPickModeImpl();
    for (ParamMap* m : std::vector<ParamMap*>(R().all))
      if (m->GetParamBlock() == pb) {
        m->BlockGone();
        m->Close();
        delete m;
      }
  }
};

}  // namespace

IParamMap2* CreateCPParamMap2(MapID map, IParamBlock2* pb, Interface*, HINSTANCE inst,
                              const char* dlgTemplate, const char* title, DWORD flags,
                              ParamMap2UserDlgProc* proc, HWND, int category) {
  if (!pb) return nullptr;
  ParamMap* m = new ParamMap(pb, map, proc);
  pb->SetMap(m, map);
  m->Open(inst, dlgTemplate, title, flags, category);
  if (!m->GetHWnd()) {
    m->Close();
    delete m;
    return nullptr;
  }
  return m;
}

IParamMap2* CreateCPParamMap2(IParamBlock2* pb, Interface* ip, HINSTANCE inst,
                              const char* dlgTemplate, const char* title, DWORD flags,
                              ParamMap2UserDlgProc* proc) {
  return CreateCPParamMap2(0, pb, ip, inst, dlgTemplate, title, flags, proc);
}

void DestroyCPParamMap2(IParamMap2* map) {
  auto& all = R().all;
  auto it = std::find(all.begin(), all.end(), map);
  if (it == all.end()) return;
  ParamMap* m = *it;
  m->Close();
  delete m;
}

IParamMap2* ParamMapOfWindow(HWND hwnd) {
  auto it = R().byWindow.find(hwnd);
  return it == R().byWindow.end() ? nullptr : it->second;
}

HWND AddRollupPage(HINSTANCE inst, const char* dlgTemplate, DLGPROC proc, const char* title,
                   LPARAM param, DWORD flags, int category) {
  HWND h = CreateDialogParam(inst, dlgTemplate, GetCOREInterface()->GetMAXHWnd(), proc, param);
  if (h) AddPage(h, title, flags, category);
  return h;
}

void DeleteRollupPage(HWND page) {
  RemovePage(page);
  DestroyWindow(page);
}

void RollupMouseMessage(HWND, UINT, WPARAM, LPARAM) {}

namespace vorel_ui {

std::vector<RollupPage> RollupPages() {
  std::vector<RollupPage> out;
  for (const RollupPage& p : R().pages)
    if (IsWindow(p.hwnd)) out.push_back(p);
  return out;
}

bool SetRollupOpen(HWND page, bool open) {
  for (RollupPage& p : R().pages)
    if (p.hwnd == page) {
      p.open = open;
      return true;
    }
  return false;
}

namespace {
// Animated values change with the time: the rollouts show the new time's.
void RefreshOnTimeChange(void*, NotifyInfo*) {
  for (ParamMap* m : std::vector<ParamMap*>(R().all)) m->Invalidate(-1, -1);
}
}  // namespace

void InstallParamUIHooks() {
  static Hooks hooks;
  SetParamUIHooks(&hooks);
  static bool registered = false;
  if (!registered) {
    RegisterNotification(RefreshOnTimeChange, nullptr, NOTIFY_TIME_CHANGED);
    registered = true;
  }
}

void SyncParamMapProcs() {
  for (ParamMap* m : std::vector<ParamMap*>(R().all)) m->SyncProc();
}

void CloseAllParamMaps() {
  for (ParamMap* m : std::vector<ParamMap*>(R().all)) DestroyCPParamMap2(m);
  R().pages.clear();
}

}  // namespace vorel_ui
