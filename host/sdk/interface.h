// The core interface: the scene, time, selection, object creation, scene
// files, notifications and the render bracket. The UI layer derives from
// Interface to fill the viewport and dialog calls (no-ops here) and installs
// its instance with SetCOREInterface.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/core/win32.h"
#include "host/sdk/ifnpub.h"
#include "host/sdk/inode.h"
#include "host/sdk/ioapi.h"

class PickModeCallback;       // UI layer
class PickNodeCallback;       // UI layer
class HitByNameDlgCallback;   // UI layer
class CommandMode;            // UI layer
class IActionManager;         // UI layer
class IMenuManager;           // UI layer
class ICUIFrameMgr;           // UI layer
class MtlBaseLib;             // host/sdk/mtllib.h

// Notification codes.
constexpr int NOTIFY_SYSTEM_PRE_RESET = 5;
constexpr int NOTIFY_SYSTEM_POST_RESET = 6;
constexpr int NOTIFY_FILE_PRE_OPEN = 9;
constexpr int NOTIFY_FILE_POST_OPEN = 10;
constexpr int NOTIFY_FILE_PRE_SAVE = 11;
constexpr int NOTIFY_FILE_POST_SAVE = 12;
constexpr int NOTIFY_PRE_RENDER = 20;
constexpr int NOTIFY_POST_RENDER = 21;
constexpr int NOTIFY_PRE_RENDERFRAME = 22;
constexpr int NOTIFY_POST_RENDERFRAME = 23;
constexpr int NOTIFY_TIME_CHANGED = 57;
constexpr int NOTIFY_NODE_CREATED = 69;
constexpr int NOTIFY_SEL_NODES_PRE_DELETE = 70;
constexpr int NOTIFY_SEL_NODES_POST_DELETE = 71;
constexpr int NOTIFY_SELECTIONSET_CHANGED = 72;

struct NotifyInfo {
  int intcode = 0;
  void* callParam = nullptr;
};
typedef void (*NOTIFYPROC)(void* param, NotifyInfo* info);
int RegisterNotification(NOTIFYPROC proc, void* param, int code);
int UnRegisterNotification(NOTIFYPROC proc, void* param, int code);
// Unregisters proc/param from every code.
int UnRegisterNotification(NOTIFYPROC proc, void* param);
void BroadcastNotification(int code, void* callParam = nullptr);

// What a frame-about-to-render notification carries.
class RenderGlobalContext {
 public:
  TimeValue time = 0;
  int devWidth = 640, devHeight = 480;
};

// Redraw flags.
constexpr int REDRAW_BEGIN = 1 << 0;
constexpr int REDRAW_INTERACTIVE = 1 << 1;
constexpr int REDRAW_END = 1 << 2;
constexpr int REDRAW_NORMAL = 1 << 3;

// Command-panel task modes.
constexpr int TASK_MODE_CREATE = 1;
constexpr int TASK_MODE_MODIFY = 2;

class Interface {
 public:
  Interface();
  virtual ~Interface();

  // ---- scene
  INode* GetRootNode();
  // Case-insensitive; the first match in tree order for duplicates.
  INode* GetINodeByName(const char* name);
  INode* GetINodeByHandle(uint32_t handle);
  // Leaves name alone when no node uses it; otherwise appends the smallest
  // three-digit number (001, 002, ...) that makes it unused.
  void MakeNameUnique(std::string& name);
  // A new node for obj under the root, named from the object unless a name is given.
  INode* CreateObjectNode(Object* obj, const char* name = nullptr);
  // A new object of a registered class (loading = false), or null.
  Animatable* CreateInstance(SClass_ID superID, Class_ID classID);
  // Deletes the node: broadcasts NOTIFY_SEL_NODES_PRE_DELETE with an
  // INodeTab* that handlers may extend, then deletes each listed node:
  // dependents get REFMSG_TARGET_DELETED and lose their references,
  // children move to the root.
  void DeleteNode(INode* node, bool redraw = true, bool overrideSlaves = false);
  void DeleteNodes(INodeTab& nodes, bool keepChildTM = true, bool redraw = true);
  // Every node below the root in depth-first child order.
  std::vector<INode*> AllNodes();
  int NodeCount();

  // ---- selection, in selection order
  int GetSelNodeCount();
  INode* GetSelNode(int i);
  void SelectNode(INode* node, int clearSel = 1);
  void DeSelectNode(INode* node);
  void ClearNodeSelection(bool redraw = true);
  bool IsSelected(const INode* node) const;

  // ---- time
  TimeValue GetTime() const { return time_; }
  // Sets the time, evaluates every visible node's object at t (in tree
  // order, whatever redraw says), broadcasts NOTIFY_TIME_CHANGED with a
  // TimeValue*, and redraws the viewports when redraw is set. A SetTime
  // made during another one's evaluation sets the time and evaluates the
  // nodes not already being evaluated.
  virtual void SetTime(TimeValue t, bool redraw = true);
  int GetTicksPerFrame() const { return tpf_; }
  void SetTicksPerFrame(int tpf) { tpf_ = tpf > 0 ? tpf : 160; }
  int GetFrameRate() const { return TIME_TICKSPERSEC / tpf_; }
  Interval GetAnimRange() const { return range_; }
  void SetAnimRange(Interval range) { range_ = range; }
  bool GetAnimateMode() const { return animate_; }
  void SetAnimateMode(bool on) { animate_ = on; }
  void SetAnimateButtonState(bool on) { animate_ = on; }
  bool GetSetKeyMode() const { return setkey_ && setkey_suspend_ == 0; }
  void SetSetKeyMode(bool on) { setkey_ = on; }
  void SuspendSetKeyMode() { ++setkey_suspend_; }
  // Harmless when unpaired.
  void ResumeSetKeyMode() { if (setkey_suspend_ > 0) --setkey_suspend_; }
  bool GetRealTimePlayback() const { return realtime_; }
  void SetRealTimePlayback(bool on) { realtime_ = on; }
  // Headless playback: SetTime for every frame of the range in order.
  virtual void StartAnimPlayback(int selOnly = 0);
  void EndAnimPlayback() {}
  bool IsAnimPlaying() const { return playing_; }

  // ---- scene files
  const std::string& GetCurFilePath() const { return file_path_; }
  std::string GetCurFileName() const;
  // Saves the scene; false (and the reason in LastFileError) on failure.
  bool SaveToFile(const std::string& path);
  // Loads a scene; a file that cannot be read whole leaves the current
  // scene untouched and answers false with the reason.
  bool LoadFromFile(const std::string& path);
  const std::string& LastFileError() const { return file_error_; }
  // Deletes every node and forgets the file name.
  void ResetScene();
  // Material library files (host/sdk/mtllib.h). Loading replaces what lib
  // held with the file's materials; a file that is missing, not a library
  // or damaged leaves lib as it was and answers 0 with the reason in
  // LastFileError(). Saving writes aside then renames; 0 and the reason
  // when the file cannot be written whole (an older file stays as it was).
  int LoadMaterialLib(const char* name, MtlBaseLib* lib);
  int SaveMaterialLib(const char* name, MtlBaseLib* lib);
  // A host folder by id (host/core/hostdirs.h).
  std::string GetDir(int which);

  // ---- render bracket: pre-render, each frame (about-to-render with a
  // RenderGlobalContext*, render meshes of visible nodes), post-render.
  int RenderFrames(TimeValue start, TimeValue end, TimeValue step);
  int LastRenderMeshCount() const { return last_render_meshes_; }

  // ---- core interfaces by id (the instance manager; null for others)
  virtual BaseInterface* GetCOREInterfaceByID(Interface_ID id);

  // ---- prompt line and message pump (host/core/interaction.h)
  void DisplayTempPrompt(const char* text, int msec = 1000);
  void RemoveTempPrompt();
  void PushPrompt(const char* text);
  void PopPrompt();
  void ReplacePrompt(const char* text);
  // False once the host is closing.
  bool CheckMAXMessages();

  // ---- calls the UI layer fills; headless defaults
  virtual void RedrawViews(TimeValue t, int vpFlags = REDRAW_NORMAL, ReferenceTarget* change = nullptr);
  virtual void ForceCompleteRedraw(bool doDisabled = true) { (void)doDisabled; RedrawViews(time_); }
  int RedrawCount() const { return redraws_; }
  virtual HWND GetMAXHWnd() { return nullptr; }
  virtual void SetStdCommandMode(int cid) { std_mode_ = cid; }
  int GetStdCommandMode() const { return std_mode_; }
  virtual int GetCommandPanelTaskMode() { return task_mode_; }
  virtual void SetCommandPanelTaskMode(int mode) { task_mode_ = mode; }
  virtual void SetPickMode(PickModeCallback* pc) { (void)pc; }
  virtual void ClearPickMode() {}
  virtual PickModeCallback* GetCurPickMode() { return nullptr; }
  virtual bool DoHitByNameDialog(HitByNameDlgCallback* hbncb) { (void)hbncb; return false; }
  virtual IActionManager* GetActionManager() { return nullptr; }
  virtual IMenuManager* GetMenuManager() { return nullptr; }
  virtual ICUIFrameMgr* GetCUIFrameMgr() { return nullptr; }
  // Runs an action by table and command id, or by name ("table:action" or
  // "action"); false when no such action (the UI layer owns action tables).
  virtual bool RunAction(int tableId, int cmdId) { (void)tableId; (void)cmdId; return false; }
  virtual bool RunActionByName(const std::string& name) { (void)name; return false; }
  // Picking, rollup pages, the directory chooser and the viewport, as the
  // host interface offers them to plug-ins; the UI layer forwards them to
  // its free functions of the same names. Without it nothing is picked, no
  // page opens, the chooser answers "" (cancelled) and there is no viewport.
  virtual INode* PickNode(HWND hWnd, IPoint2 pt, PickNodeCallback* filter = nullptr) {
    (void)hWnd; (void)pt; (void)filter;
    return nullptr;
  }
  virtual HWND AddRollupPage(HINSTANCE inst, const char* dlgTemplate, DLGPROC proc, const char* title,
                             LPARAM param = 0, DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) {
    (void)inst; (void)dlgTemplate; (void)proc; (void)title; (void)param; (void)flags; (void)category;
    return nullptr;
  }
  virtual void DeleteRollupPage(HWND page) { (void)page; }
  virtual void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)hDlg; (void)message; (void)wParam; (void)lParam;
  }
  // dir (at least MAX_PATH characters) holds the start folder and receives
  // the chosen one, or "" when cancelled.
  virtual void ChooseDirectory(HWND owner, const char* title, char* dir, const char* desc = nullptr) {
    (void)owner; (void)title; (void)desc;
    if (dir) dir[0] = '\0';
  }
  virtual ViewExp* GetActiveViewport() { return nullptr; }
  virtual void ReleaseViewport(ViewExp* vpt) { (void)vpt; }
  // The object whose parameters the command panel shows.
  virtual void BeginEditParams(Animatable* obj);
  virtual void EndEditParams();
  Animatable* EditedObject() const { return edited_; }

  // ---- undo-free housekeeping for tests
  uint32_t NextHandle() const { return next_handle_; }

 protected:
  void EvaluateScene(TimeValue t);
  friend class SceneIO;
  friend class INode;
  INode* root_;
  std::vector<INode*> selection_;
  TimeValue time_ = 0;
  int tpf_ = 160;
  Interval range_ = Interval(0, 100 * 160);
  bool animate_ = false, setkey_ = false, realtime_ = true, playing_ = false;
  int setkey_suspend_ = 0;
  std::string file_path_, file_error_;
  uint32_t next_handle_ = 1;
  int redraws_ = 0;
  int std_mode_ = 0;
  int task_mode_ = TASK_MODE_CREATE;
  int last_render_meshes_ = 0;
  int settime_depth_ = 0;
  Animatable* edited_ = nullptr;
  std::map<uint32_t, INode*> handles_;

 public:
  // Scene bookkeeping used by nodes and the scene reader: a handle of 0
  // gives the node the next free handle.
  void RegisterNode(INode* node, uint32_t handle = 0);
  void UnregisterNode(INode* node);
  void DeleteOneNode(INode* node);
};

Interface* GetCOREInterface();
// Replaces the core interface (the UI layer installs its subclass); the old
// scene goes with the old interface, which the caller deletes if it owns it.
void SetCOREInterface(Interface* ip);
// The instance manager and other core interfaces.
BaseInterface* GetCOREInterface(Interface_ID id);
TimeValue GetTicksPerFrame();
inline bool Animating() { return GetCOREInterface()->GetAnimateMode(); }

// Class directory: every class the host knows (its own and the plug-ins').
class ClassDirectory {
 public:
  static ClassDirectory& Get();
  void AddClass(ClassDesc* cd);
  void RemoveClass(ClassDesc* cd);
  ClassDesc* FindClass(SClass_ID superID, Class_ID classID) const;
  ClassDesc* FindClass(Class_ID classID) const;
  // By internal name, then class name (case-insensitive).
  ClassDesc* FindClassByName(const std::string& name) const;
  int Count() const { return int(classes_.size()); }
  ClassDesc* operator[](int i) const { return classes_[size_t(i)]; }

 private:
  std::vector<ClassDesc*> classes_;
};
ClassDesc2* FindClassDesc2(Animatable* obj);

// Plug-in libraries.
typedef const char* (*LibDescriptionFn)();
typedef int (*LibNumberClassesFn)();
typedef ClassDesc* (*LibClassDescFn)(int i);
typedef unsigned long (*LibVersionFn)();
typedef int (*LibInitializeFn)();
typedef int (*LibShutdownFn)();
// The version word this host answers: release 14000, API 38.
constexpr unsigned long VOREL_HOST_SDK_VERSION = 0x36B02600UL;
// Release field of a version word (its upper 16 bits).
constexpr unsigned long SdkRelease(unsigned long v) { return (v >> 16) & 0xFFFF; }
// Plug-ins built for releases 12000 to 14000 load.
bool SdkVersionAccepted(unsigned long v);

struct PluginLibrary {
  std::string path;
  std::string description;
  unsigned long version = 0;
  void* handle = nullptr;
  std::vector<ClassDesc*> classes;
};

class PluginManager {
 public:
  static PluginManager& Get();
  // Loads one library; false with the reason in err.
  bool LoadPlugin(const std::string& path, std::string& err);
  // Loads every *.so of a folder in name order; answers the number loaded
  // and lists the failures in errs.
  int LoadFolder(const std::string& dir, std::vector<std::string>& errs);
  // Calls LibShutdown and unregisters the classes (libraries stay mapped so
  // that objects still alive keep their code).
  void UnloadAll();
  const std::vector<PluginLibrary>& Libraries() const { return libs_; }

 private:
  std::vector<PluginLibrary> libs_;
};

#define VOREL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
