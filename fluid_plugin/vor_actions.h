// The plug-in's commands: the action table that the fluid system's class
// descriptor hands to the host, the one action callback that runs every
// command, how a command finds the fluid system it works on, the long runs
// (batch solve, hold time, surface rebuild, wet-map repaint) with their
// progress dialogs, and the Escape test of every long loop.
#pragma once
#include <cstdint>

#include "host/sdk/max.h"
#include "host/ui/actions.h"

class TetraProcObj;

// Command ids. 40023..40025 stand in the table, the menus and the toolbar
// as their signed 16-bit readings; the accelerators hold the positive ones.
enum VorelCommand : int {
  kCmdHoldTime = 40001,
  kCmdRebuildSurface = 40002,
  kCmdAddSource = 40003,
  kCmdFlushAnimation = 40004,
  kCmdNewVorel = 40005,
  kCmdGo = 40006,
  kCmdStartStopEmitting = 40007,
  kCmdRandomEmission = 40008,
  kCmdClipBox = 40009,
  kCmdLookDrops = 40010,
  kCmdLookDots = 40011,
  kCmdLookTicks = 40012,
  kCmdRenderTetrahedron = 40013,
  kCmdRenderFacing = 40014,
  kCmdRenderNothing = 40015,
  kCmdFacingCamera = 40016,
  kCmdFacingSpeed = 40017,
  kCmdFacingSurface = 40018,
  kCmdSizeOnSolitude = 40019,
  kCmdEnableSurface = 40020,
  kCmdToolbar = 40021,
  kCmdFlushSurface = 40022,
  kCmdRepaintWetmaps = -25513,
  kCmdObjectManager = -25512,
  kCmdRenderInstanced = -25511,
  kCmdLookInstances = 40026,
  kCmdObjectManagerNote = 40029,
  kCmdHelp = 40031,
  kCmdOpenLog = 40030,
  kCmdNewPelliqor = 40032,
};

constexpr ActionTableId kVorelActionContextId = 0x2B8C643E;
constexpr int kActionTableNameString = 31276;  // "Vorel_af", also the category
constexpr int kActionAcceleratorTable = 101;
constexpr int kActionCount = 30;

struct ActionRow {
  int command;
  int stringId;  // description and short name
};
// The table's rows in order.
extern const ActionRow kActionRows[kActionCount];

// The action table (the host takes it); registers the action context too.
ActionTable* BuildActionTable();

// Progress dialog templates.
constexpr int kDlgSolver = 144;        // "Vorel dynamic solver"
constexpr int kDlgSurfaceBuilder = 176;  // "Vorel surface builder"
constexpr int kDlgMapTracer = 179;     // "Vorel raster map tracer"

class VorActionCB : public ActionCallback {
 public:
  // Runs a command; always TRUE. Ids the table does not hold, and 40029, do nothing.
  BOOL ExecuteAction(int id) override;
  TetraProcObj* currentSystem = nullptr;
};

// The one callback, made on first use; it is also the solver's Escape test.
VorActionCB* GetVorActionCB();
TetraProcObj* CurrentSystem();
void SetCurrentSystem(TetraProcObj* system);
// Re-resolves the current system from the selection (first selected node
// named "Vorel_", "VorelSource" or "VorelParticle" whose object really is a
// fluid system or an emitter of one); no match keeps the previous one.
TetraProcObj* ResolveCurrentSystem();

// The host interface remembered while a fluid system's parameters are edited.
void SetEditInterface(Interface* ip);
Interface* EditInterface();

// Hooks for the user-interface commands of another module: the short
// editing commands (a handler answers true when it ran the command) and the
// toolbar states after a scene load and after "New Vorel" (newSystem).
typedef bool (*EditActionHandler)(int id, TetraProcObj* current);
void SetEditActionHandler(EditActionHandler handler);
typedef void (*ToolbarStateHook)(TetraProcObj* system, bool newSystem);
void SetToolbarStateHook(ToolbarStateHook hook);
void RunToolbarStateHook(TetraProcObj* system, bool newSystem = false);

// The open progress dialog of a long run (null otherwise).
extern HWND ProgressDialog;
// Progress bar and elapsed text of the open run's dialog; nothing without one.
void ShowRunProgress(int position, int rangeLow, int rangeHigh);
void ShowRunElapsed(const char* text);

// True when the host is closing or Escape is down while the host's main
// window or the progress dialog is in front. Lets the host process pending
// window messages first, so a STOP button is serviced in every long loop.
bool CheckUserAbort();

// The long runs and "New Vorel" on a system (the actions call these).
void RunGo(TetraProcObj* system);
void RunHoldTime(TetraProcObj* system);
void RunRebuildSurface(TetraProcObj* system);
void RunRepaintWetmaps(TetraProcObj* system);
TetraProcObj* RunNewVorel();

// Where the last long run spent its time: frames solved by the host's
// evaluation and the milliseconds in those solves and in surface builds.
struct BatchTimes {
  int framesSolved = 0;
  double solveMs = 0.0;
  double meshMs = 0.0;
  void Clear() { *this = BatchTimes(); }
};
BatchTimes& BatchRunStats();

// Host frame-time texts: "%02d:%02d:%02d" and, for one frame, ".%02d"
// hundredths after it.
std::string FrameTimeText(long long ms);
