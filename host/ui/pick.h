// Pick modes, node picking, select-by-name dialogs, file dialogs and the
// directory chooser. Headless, a person's answer comes from a script: the
// node to pick, the names to choose, the file or folder to give; without a
// queued answer every dialog is cancelled.
#pragma once
#include <string>
#include <vector>

#include "host/sdk/inode.h"
#include "host/ui/viewport.h"
#include "host/ui/win_types.h"

class Interface;
typedef Interface IObjParam;

class PickNodeCallback {
 public:
  virtual ~PickNodeCallback() = default;
  virtual BOOL Filter(INode* node) = 0;
};

class PickModeCallback {
 public:
  virtual ~PickModeCallback() = default;
  // Asks the host (PickNode) whether a node lies under m.
  virtual BOOL HitTest(IObjParam* ip, HWND hWnd, ViewExp* vpt, IPoint2 m, int flags) = 0;
  // A hit was clicked: TRUE ends the mode, FALSE stays in it.
  virtual BOOL Pick(IObjParam* ip, ViewExp* vpt) = 0;
  // TRUE ends the mode.
  virtual BOOL RightClick(IObjParam* ip, ViewExp* vpt) { (void)ip; (void)vpt; return TRUE; }
  virtual void EnterMode(IObjParam* ip) { (void)ip; }
  virtual void ExitMode(IObjParam* ip) { (void)ip; }
  virtual PickNodeCallback* GetFilter() { return nullptr; }
  virtual BOOL AllowMultiSelect() { return FALSE; }
};

class HitByNameDlgCallback {
 public:
  virtual ~HitByNameDlgCallback() = default;
  virtual const char* dialogTitle() { return ""; }
  virtual const char* buttonText() { return ""; }
  virtual BOOL singleSelect() { return FALSE; }
  virtual BOOL useFilter() { return TRUE; }
  virtual int filter(INode* node) { (void)node; return TRUE; }
  virtual BOOL useProc() { return TRUE; }
  virtual void proc(INodeTab& nodeTab) { (void)nodeTab; }
  virtual BOOL doCustomHilite() { return FALSE; }
  virtual BOOL doHilite(INode* node) { (void)node; return FALSE; }
  virtual BOOL showHiddenAndFrozen() { return FALSE; }
};

// The host's node pick at a screen point: hit-tests every visible node (its
// object's HitTest) and logs each hit the filter accepts in the viewport's
// hit list; answers the closest. While a scripted pick runs, the scripted
// node is the answer (when the filter accepts it) wherever the point is.
INode* PickNode(HWND hWnd, IPoint2 pt, PickNodeCallback* filter = nullptr);

// Select-by-name: lists the scene's nodes (hidden and frozen ones only when
// the callback asks), those the filter accepts when it uses one; answers
// with the next scripted choice: proc gets the chosen nodes (only the first
// with single selection), or they are selected when the callback has no
// proc. FALSE when cancelled.
BOOL DoHitByNameDialog(HitByNameDlgCallback* cb);

// File dialogs.
struct OPENFILENAME {
  DWORD lStructSize = sizeof(OPENFILENAME);
  HWND hwndOwner = nullptr;
  HINSTANCE hInstance = nullptr;
  const char* lpstrFilter = nullptr;  // pairs of texts, ending with an empty one
  char* lpstrCustomFilter = nullptr;
  DWORD nMaxCustFilter = 0;
  DWORD nFilterIndex = 0;             // 1-based
  char* lpstrFile = nullptr;          // in: initial name; out: the full path
  DWORD nMaxFile = 0;
  char* lpstrFileTitle = nullptr;     // out: the name without its folder
  DWORD nMaxFileTitle = 0;
  const char* lpstrInitialDir = nullptr;
  const char* lpstrTitle = nullptr;
  DWORD Flags = 0;
  WORD nFileOffset = 0;
  WORD nFileExtension = 0;
  const char* lpstrDefExt = nullptr;
  LPARAM lCustData = 0;
};
typedef OPENFILENAME OPENFILENAMEA;
enum : DWORD {
  OFN_READONLY = 0x1,
  OFN_OVERWRITEPROMPT = 0x2,
  OFN_HIDEREADONLY = 0x4,
  OFN_NOCHANGEDIR = 0x8,
  OFN_PATHMUSTEXIST = 0x800,
  OFN_FILEMUSTEXIST = 0x1000,
  OFN_CREATEPROMPT = 0x2000,
  OFN_EXPLORER = 0x80000,
};
// The scripted answer: a path (relative ones are taken from the initial
// folder) and optionally the filter chosen. An answer that breaks the
// dialog's rules (a file that must exist and does not, a missing folder)
// is refused as a person's would be: the dialog ends cancelled. A save over
// an existing file with the overwrite prompt asks a message box (yes goes on).
BOOL GetOpenFileName(OPENFILENAME* ofn);
BOOL GetSaveFileName(OPENFILENAME* ofn);
inline BOOL GetOpenFileNameA(OPENFILENAME* ofn) { return GetOpenFileName(ofn); }
inline BOOL GetSaveFileNameA(OPENFILENAME* ofn) { return GetSaveFileName(ofn); }

// The directory chooser: dir (at least 260 characters) holds the start
// folder and receives the chosen one, or "" when cancelled. Only an
// existing folder can be chosen.
void ChooseDirectory(HWND owner, const char* title, char* dir, const char* desc = nullptr);

namespace vorel_ui {

// ---- the scripted user of these dialogs ----
// Picks node in the current pick mode: HitTest at the node's screen
// position (PickNode answers the node), then Pick; the mode ends when Pick
// says so. False without a pick mode or when the hit test fails.
bool ScriptPickNode(INode* node);
// A real click at a screen point in the current pick mode.
bool ScriptPickAt(IPoint2 pt);
// Right click in the current pick mode (ends it when the mode agrees).
bool ScriptRightClick();

void QueueHitByNameAnswer(const std::vector<std::string>& names);
void QueueHitByNameCancel();
struct HitByNameRecord {
  std::string title, button;
  std::vector<std::string> listed, chosen;
  bool ok = false;
};
std::vector<HitByNameRecord> HitByNameLog();

void QueueFileAnswer(const std::string& path, int filterIndex = 0);
void QueueFileCancel();
void QueueDirectoryAnswer(const std::string& path);
void QueueDirectoryCancel();
struct FileDialogRecord {
  std::string kind;  // "open", "save", "directory"
  std::string title, initialDir, defExt, answer;
  std::vector<std::string> filters;  // description, pattern, ...
  bool ok = false;
};
std::vector<FileDialogRecord> FileDialogLog();

// Pick mode state (the host interface's SetPickMode / ClearPickMode).
void SetPickModeImpl(PickModeCallback* pc);
void ClearPickModeImpl();
PickModeCallback* CurrentPickMode();

// Clears every queue, log and the pick mode.
void ResetPickAndFileDialogs();

}  // namespace vorel_ui
