// The progress and notice dialogs of long runs ("Vorel dynamic solver",
// "Vorel surface builder", "Vorel raster map tracer", "Vorel missing cache
// dialog") and their one dialog procedure: progress bars and labelled texts
// that the runs fill, a STOP (or OK) button that asks the run to end, and a
// position that the next dialog reopens at.
#pragma once
#include "host/ui/ui.h"

enum ProgressDialogId : int {
  kSolverProgressDialog = 144,
  kSurfaceProgressDialog = 176,
  kMissingCacheDialog = 177,
  kMapTracerDialog = 179,
};
constexpr int kProgressBarId = 1063;
// STOP on the two progress dialogs, OK on the missing cache notice.
constexpr int kProgressStopId = 1067;

// The dialog procedure of the four dialogs. On the initialising message it
// keeps its creation parameter as the window's user data, sets the progress
// bar to 0 of 0..100 and, once a dialog has been closed before, moves to
// where that one was (size unchanged) and shows itself. A command from 1067
// sets SolveStopFlag (fluid_core/solve_stop.h). On destruction it saves its
// window rectangle for the next one. TRUE for these three messages (every
// command included), FALSE for the rest.
INT_PTR CALLBACK ProgressDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The progress dialog now open (initialised and not yet destroyed), or null.
HWND OpenProgressDialog();
// Where the last closed dialog was; all zeros until one has been closed.
RECT SavedProgressDialogRect();
// Forgets the saved position (as at library load).
void ResetProgressDialogPosition();

// Registers the four dialogs' templates under the plug-in's instance, each
// with every control its run writes and the label before it.
void RegisterProgressDialogs(HINSTANCE instance);
