#include "fluid_plugin/menu_toolbar.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "fluid_plugin/edit_actions.h"
#include "fluid_plugin/tetra_proc_obj.h"
#include "fluid_plugin/vor_actions.h"
#include "wrapper_baker/pelliqor_interface.h"
#include "scene_objects/object_manager.h"

namespace {

struct ToolDef {
  int id;  // -1: separator
  ToolItemType type;
  int image;
  int command;
};
// In toolbar order.
const ToolDef kTools[] = {
    {kTbClipBox, CTB_CHECKBUTTON, 6, kCmdClipBox},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbLook, CTB_PUSHBUTTON, 7, 0},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbRender, CTB_PUSHBUTTON, 10, 0},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbSolitude, CTB_CHECKBUTTON, 16, kCmdSizeOnSolitude},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbStartStop, CTB_PUSHBUTTON, 3, kCmdStartStopEmitting},
    {kTbRandom, CTB_PUSHBUTTON, 4, kCmdRandomEmission},
    {kTbAddSource, CTB_PUSHBUTTON, 5, kCmdAddSource},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbSurface, CTB_CHECKBUTTON, 17, kCmdEnableSurface},
    {kTbRebuildSurface, CTB_PUSHBUTTON, 18, kCmdRebuildSurface},
    {kTbFlushSurface, CTB_PUSHBUTTON, 20, kCmdFlushSurface},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbGo, CTB_PUSHBUTTON, 1, kCmdGo},
    {kTbHoldTime, CTB_PUSHBUTTON, 2, kCmdHoldTime},
    {kTbFlushAnimation, CTB_PUSHBUTTON, 0, kCmdFlushAnimation},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbNewVorel, CTB_PUSHBUTTON, 19, kCmdNewVorel},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbObjectManager, CTB_PUSHBUTTON, 22, kCmdObjectManager},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbLog, CTB_PUSHBUTTON, 23, kCmdOpenLog},
    {-1, CTB_SEPARATOR, 0, 0},
    {kTbHelp, CTB_PUSHBUTTON, 24, kCmdHelp},
};

const int kLookImages[] = {7, 8, 9, 21};
const int kLookCommands[] = {kCmdLookDrops, kCmdLookDots, kCmdLookTicks, kCmdLookInstances};
const int kRenderImages[] = {10, 11, 12, 21};
const int kRenderCommands[] = {kCmdRenderTetrahedron, kCmdRenderFacing, kCmdRenderNothing,
                               kCmdRenderInstanced};
const int kFacingCommands[] = {kCmdFacingCamera, kCmdFacingSpeed, kCmdFacingSurface};
constexpr int kFlyoutDirection = 6;
constexpr int kFacingIndex = 6;

const char* const kLookTips[] = {"Particle look: DROPS ", "Particle look: POINTS",
                                 "Particle look: TICS", "Particle look: INSTANCES"};
const char* const kRenderTips[] = {
    "Render type: TETRAHEDRON. Particles are represented with a tetrahedron oriented following "
    "particle speed. Tetrahedron size is the particle length.",
    "Render type: FACING. Particles are represented using a square. Square side is the particle "
    "length. ",
    "Render type: NOTHING. Particles are hidden in render", "Render type: INSTANCED OBJECT"};
const char* const kFacingTips[] = {
    "CAMERA. Square sprites are oriented to camera direction",
    "SPEED orientation. Square sprites are oriented following particle speed vector.",
    "SURFACE orientation. Sprite squares are oriented following liquid surface. "};

struct FixedTip {
  int id;
  const char* text;
};
const FixedTip kTips[] = {
    {kTbFlushAnimation, "Flush dynamics cache files. This action is not undoable. You can save "
                        "the cache before flushing it."},
    {kTbGo, "calculates Vorel scene from the last calculated time to the end of the animation "
            "playback range. "},
    {kTbHoldTime, "HOLD TIME hold animation time. This is useful to settle down liquid in a "
                  "container."},
    {kTbStartStop, "Open/close selected sources"},
    {kTbRandom, "Toggles random particle emission in selected sources."},
    {kTbAddSource, "Creates a new circular source. Go to source command panel to change source "
                   "type to any of the other types available. "},
    {kTbClipBox, "Show/hide particle clipping-box. Outside Vorel clipping-box particles die. It "
                 "is possible to show that box in order to XYZ scale or translate it. "},
    {kTbSolitude, "Make particle size dependent on the number of adjacent particles."},
    {kTbSurface, "Hide/Show mesh surface in viewport and render"},
    {kTbRebuildSurface, "Build surface from the start of the playback range"},
    {kTbNewVorel, "NEW Vorel instance."},
    {kTbFlushSurface, "Flush surface mesh cache."},
    {kTbObjectManager, "Open Vorel object Manager to control per-obejct attributes."},
    {kTbLog, "Open Vorel.log file in a text window"},
    {kTbHelp, "Open Vorel UI help .chm document"},
};

struct ToolbarState {
  HWND frame = nullptr;
  HWND toolbar = nullptr;
  HIMAGELIST images = nullptr;
  bool facingPresent = false;
};
ToolbarState& TB() {
  static ToolbarState s;
  return s;
}

bool ToolbarAlive() {
  ToolbarState& s = TB();
  if (s.toolbar && !IsWindow(s.toolbar)) s = ToolbarState();
  return s.toolbar != nullptr;
}

int IconSize() {
  ICUIFrameMgr* m = GetCUIFrameMgr();
  return m && m->GetImageSize() == 24 ? 24 : 16;
}

int FlyoutState(int id) {
  if (!ToolbarAlive()) return 0;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return 0;
  ICustButton* b = tb->GetICustButton(id);
  int state = b ? b->GetCurFlyOff() : 0;
  if (b) ReleaseICustButton(b);
  ReleaseICustToolbar(tb);
  return state;
}

void SetFlyout(int id, const int* images, int count, int state, int direction) {
  if (!ToolbarAlive()) return;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return;
  ICustButton* b = tb->GetICustButton(id);
  if (b) {
    FlyOffData data[4];
    for (int i = 0; i < count; ++i)
      data[i].iOutEn = data[i].iInEn = data[i].iOutDis = data[i].iInDis = images[i];
    ICUIFrameMgr* m = GetCUIFrameMgr();
    b->SetFlyOff(count, data, m ? m->GetFlyOffTime() : 300, state, direction, 1);
    ReleaseICustButton(b);
  }
  ReleaseICustToolbar(tb);
}

void RecalcLayout() {
  if (ICUIFrameMgr* m = GetCUIFrameMgr()) m->RecalcLayout(TRUE);
}

HWND HostWindow() {
  Interface* ip = GetCOREInterface();
  return ip ? ip->GetMAXHWnd() : nullptr;
}

}  // namespace

bool AddActionMenuItem(ActionTable* table, IMenu* menu, int command) {
  if (!table || !menu) return false;
  ActionItem* a = table->GetAction(command);
  if (!a) return false;
  IMenuItem* item = GetIMenuItem();
  item->SetActionItem(a);
  menu->AddItem(item, -1);
  return true;
}

void BuildVorelMenus() {
  IActionManager* am = GetActionManager();
  GetVorActionCB();  // binds the callback to the table
  ActionTable* table = am ? am->FindTable(kVorelActionContextId) : nullptr;
  IMenuManager* mm = GetMenuManager();
  if (!mm) return;
  const char* titles[] = {"Vorel", "Sources", "Vorel-Surface", "Vorel-Particles",
                          "Display Type", "Render Type", "Facing Orientation"};
  IMenu* menus[7];
  for (int i = 0; i < 7; ++i) {
    menus[i] = mm->FindMenu(titles[i]);
    if (!menus[i]) {
      menus[i] = GetIMenu();
      menus[i]->SetTitle(titles[i]);
      mm->RegisterMenu(menus[i], 0);
    }
  }
  if (!table) return;
  for (IMenu* m : menus)
    while (m->NumItems() > 0) m->RemoveItem(0);
  IMenu *vorel = menus[0], *sources = menus[1], *surface = menus[2], *particles = menus[3],
        *display = menus[4], *render = menus[5], *facing = menus[6];
  auto sub = [](IMenu* parent, IMenu* child) {
    IMenuItem* item = GetIMenuItem();
    item->SetSubMenu(child);
    item->SetTitle(child->GetTitle());
    parent->AddItem(item, -1);
  };
  for (int c : {kCmdStartStopEmitting, kCmdRandomEmission, kCmdAddSource})
    AddActionMenuItem(table, sources, c);
  for (int c : {kCmdEnableSurface, kCmdRebuildSurface, kCmdFlushSurface, kCmdRepaintWetmaps})
    AddActionMenuItem(table, surface, c);
  for (int c : {kCmdLookDrops, kCmdLookDots, kCmdLookTicks, kCmdLookInstances})
    AddActionMenuItem(table, display, c);
  for (int c : {kCmdRenderTetrahedron, kCmdRenderFacing, kCmdRenderInstanced, kCmdRenderNothing})
    AddActionMenuItem(table, render, c);
  for (int c : {kCmdFacingCamera, kCmdFacingSpeed, kCmdFacingSurface})
    AddActionMenuItem(table, facing, c);
  for (int c : {kCmdFlushAnimation, kCmdClipBox, kCmdSizeOnSolitude})
    AddActionMenuItem(table, particles, c);
  sub(particles, display);
  sub(particles, render);
  sub(particles, facing);
  AddActionMenuItem(table, vorel, kCmdGo);
  AddActionMenuItem(table, vorel, kCmdFlushAnimation);
  sub(vorel, sources);
  sub(vorel, surface);
  sub(vorel, particles);
  for (int c : {kCmdHoldTime, kCmdNewVorel, kCmdObjectManager, kCmdToolbar, kCmdNewPelliqor})
    AddActionMenuItem(table, vorel, c);
}

int ToolbarDockCode(int position) {
  if (position == 1) return CUI_BOTTOM_DOCK;
  if (position == 2) return CUI_LEFT_DOCK;
  return CUI_RIGHT_DOCK;
}

void PlaceToolbarWindow(HWND window, int dx, int dy, HWND host) {
  int x = dx, y = dy;
  RECT r;
  if (host && GetWindowRect(host, &r)) {
    x += r.left;
    y += r.top;
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int FrameFromTicks(TimeValue t) {
  Interface* ip = GetCOREInterface();
  int tpf = ip ? ip->GetTicksPerFrame() : 160;
  return tpf > 0 ? t / tpf : 0;
}

void CreateToolbar(int position) {
  ToolbarState& s = TB();
  ICUIFrameMgr* mgr = GetCUIFrameMgr();
  if (!mgr) return;
  const int size = IconSize();
  if (ICUIFrame* existing = mgr->GetICUIFrame(kToolbarFrameName)) {
    existing->Hide(FALSE);
    if (!existing->IsFloating()) mgr->FloatCUIWindow(existing->GetHwnd());
    ReleaseICUIFrame(existing);
    mgr->RecalcLayout(TRUE);
    return;
  }
  // Nothing is made without a host window to hold it.
  HWND host = HostWindow();
  if (!host) return;
  if (s.images) ImageList_Destroy(s.images);
  s.images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 5, 0);
  char iconFile[32];
  snprintf(iconFile, sizeof iconFile, "Vorel_%d", size);
  LoadMAXFileIcon(iconFile, s.images, 0, FALSE);

  HWND frame = CreateCUIFrameWindow(host, kToolbarFrameName, 0, 0, 250, 100);
  ICUIFrame* f = GetICUIFrame(frame);
  if (!f) return;
  f->SetContentType(CUI_TOOLBAR);
  f->SetPosType(CUI_ALL_DOCK | CUI_FLOATABLE | CUI_SM_HANDLES);
  HWND toolbar = CreateWindow("CustToolbar", "", WS_CHILD | WS_VISIBLE, 0, 0, 250, 100, frame,
                              nullptr, nullptr, nullptr);
  ICustToolbar* tb = GetICustToolbar(toolbar);
  TBMsgHandler* handler = new TBMsgHandler();
  tb->LinkToCUIFrame(frame, handler);
  tb->SetBottomBorder(FALSE);
  tb->SetTopBorder(FALSE);
  tb->SetImage(s.images);
  PlaceToolbarWindow(frame, 150, 110, host);
  f->InstallMsgHandler(handler);
  ReleaseICUIFrame(f);

  const int w = size == 24 ? 32 : 23, h = size == 24 ? 31 : 22;
  for (const ToolDef& t : kTools) {
    if (t.id < 0)
      tb->AddTool(ToolSeparatorItem(8));
    else
      tb->AddTool(ToolButtonItem(t.type, t.image, t.image, t.image, t.image, w, h, t.id));
  }
  ReleaseICustToolbar(tb);
  s.frame = frame;
  s.toolbar = toolbar;
  s.facingPresent = false;
  SetFlyout(kTbLook, kLookImages, 4, 0, kFlyoutDirection);
  SetFlyout(kTbRender, kRenderImages, 4, 0, kFlyoutDirection);
  mgr->DockCUIWindow(frame, ToolbarDockCode(position));
  mgr->RecalcLayout(TRUE);
}

HWND ToolbarWindow() { return ToolbarAlive() ? TB().toolbar : nullptr; }
bool FacingButtonPresent() { return ToolbarAlive() && TB().facingPresent; }

void ShowFacingToolbarButton(int state) {
  if (!ToolbarAlive() || TB().facingPresent) return;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return;
  const int size = IconSize();
  const int w = size == 24 ? 32 : 23, h = size == 24 ? 31 : 22;
  tb->AddTool(ToolSeparatorItem(8), kFacingIndex);
  tb->AddTool(ToolButtonItem(CTB_PUSHBUTTON, 13, 13, 13, 13, w, h, kTbFacing), kFacingIndex);
  ReleaseICustToolbar(tb);
  TB().facingPresent = true;
  int direction = kFlyoutDirection;
  if (ICUIFrame* f = GetCUIFrameMgr()->GetICUIFrame(kToolbarFrameName)) {
    int pos = f->GetCurPosition();
    if (pos == 1 || pos == 2) direction = 3;
    ReleaseICUIFrame(f);
  }
  const int images[] = {13, 14, 15};
  SetFlyout(kTbFacing, images, 3, state, direction);
  RecalcLayout();
}

void HideFacingToolbarButton() {
  if (!ToolbarAlive() || !TB().facingPresent) return;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return;
  tb->DeleteTools(kFacingIndex, 2);
  ReleaseICustToolbar(tb);
  TB().facingPresent = false;
  RecalcLayout();
}

void SetParticleLookButtonState(int state) {
  SetFlyout(kTbLook, kLookImages, 4, state, kFlyoutDirection);
}
void SetRenderTypeButtonState(int state) {
  SetFlyout(kTbRender, kRenderImages, 4, state, kFlyoutDirection);
}
void SetFacingButtonState(int state) {
  if (!FacingButtonPresent()) return;
  const int images[] = {13, 14, 15};
  SetFlyout(kTbFacing, images, 3, state, kFlyoutDirection);
}

bool ToolbarButtonChecked(int id) {
  if (!ToolbarAlive()) return false;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return false;
  bool on = false;
  if (ICustButton* b = tb->GetICustButton(id)) {
    on = b->IsChecked() != 0;
    ReleaseICustButton(b);
  }
  ReleaseICustToolbar(tb);
  return on;
}

void HideToolbar() {
  ICUIFrameMgr* mgr = GetCUIFrameMgr();
  if (!mgr) return;
  if (ICUIFrame* f = mgr->GetICUIFrame(kToolbarFrameName)) {
    f->Hide(TRUE);
    ReleaseICUIFrame(f);
    mgr->RecalcLayout(TRUE);
  }
}

void SetToolbarButtonCheck(int id, bool on) {
  if (!ToolbarAlive()) return;
  ICustToolbar* tb = GetICustToolbar(TB().toolbar);
  if (!tb) return;
  if (ICustButton* b = tb->GetICustButton(id)) {
    b->SetCheck(on);
    ReleaseICustButton(b);
  }
  ReleaseICustToolbar(tb);
}

int ToolbarCommand(int id, int state) {
  auto pick = [state](const int* table, int n) { return state >= 0 && state < n ? table[state] : 0; };
  if (id == kTbLook) return pick(kLookCommands, 4);
  if (id == kTbRender) return pick(kRenderCommands, 4);
  if (id == kTbFacing) return pick(kFacingCommands, 3);
  for (const ToolDef& t : kTools)
    if (t.id == id) return t.command;
  return 0;
}

const char* ToolbarTooltip(int id, int state) {
  auto pick = [state](const char* const* table, int n) -> const char* {
    return state >= 0 && state < n ? table[state] : nullptr;
  };
  if (id == kTbLook) return pick(kLookTips, 4);
  if (id == kTbRender) return pick(kRenderTips, 4);
  if (id == kTbFacing) return pick(kFacingTips, 3);
  for (const FixedTip& t : kTips)
    if (t.id == id) return t.text;
  return nullptr;
}

int TBMsgHandler::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    int id = LOWORD(wParam);
    if (id < 10000 || id > 10025) return 0;
    int command = ToolbarCommand(id, FlyoutState(id));
    if (!command) return 0;
    GetVorActionCB()->ExecuteAction(command);
    return 1;
  }
  if (message == WM_NOTIFY) {
    auto* tip = reinterpret_cast<TOOLTIPTEXTA*>(lParam);
    if (!tip || tip->hdr.code != TTN_NEEDTEXTA) return 0;
    int id = int(tip->hdr.idFrom);
    if (id < 10000 || id > 10025) return 0;
    if (const char* text = ToolbarTooltip(id, FlyoutState(id)))
      tip->lpszText = const_cast<char*>(text);
    return 0;
  }
  return 0;
}

void ResetToolbarState() {
  ToolbarState& s = TB();
  if (s.images) ImageList_Destroy(s.images);
  s = ToolbarState();
}

void NewWrapperFromSelection() {
  Interface* ip = GetCOREInterface();
  if (!ip) return;
  std::vector<INode*> nodes;
  for (int i = 0, n = ip->GetSelNodeCount(); i < n; ++i) nodes.push_back(ip->GetSelNode(i));
  // The wrapper is a separate plug-in: without it the host makes nothing.
  Object* obj = dynamic_cast<Object*>(ip->CreateInstance(GEOMOBJECT_CLASS_ID, PELLIQOR_CLASS_ID()));
  if (!obj || !ip->CreateObjectNode(obj)) return;
  if (IBlobNode* blob = GetBlobNodeInterface(obj))
    for (INode* n : nodes) blob->addNode(n);
  ip->RedrawViews(ip->GetTime());
}

void InstallShellActions() {
  SetObjectManagerEngineResolver([](ReferenceTarget* system) -> FluidEngine* {
    auto* s = dynamic_cast<TetraProcObj*>(system);
    return s ? &s->engine : nullptr;
  });
  SetEditActionHandler(&RunEditAction);
  SetToolbarStateHook([](TetraProcObj* system, bool newSystem) {
    if (newSystem) SetToolbarForNewSystem(system);
    else SetToolbarAfterLoad(system);
  });
}
