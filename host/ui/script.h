// What a vorel-host script (or a test) uses to drive the headless user
// interface: find an open dialog or rollout, set a control, press a button,
// read texts back, list a dialog's controls, and one entry point that runs a
// whole UI command line (RunUiCommand; commands in host/README.md).
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "host/ui/win_types.h"

namespace vorel_ui {

// Every open dialog, rollout and frame, top-level first, then children that
// are dialogs or frames.
std::vector<HWND> OpenDialogs();
// An open dialog or rollout by its title (case-insensitive), or by its
// template id written "#101" or "101"; the most recently opened on ties.
HWND FindDialog(const std::string& key);
// A control of a dialog by id; in a toolbar frame, a toolbar button by id.
HWND FindControl(HWND dlg, int id);

// Sets a control as a user would: spinner (number), edit (text, then
// Return), check box / check button ("1"/"0", "on"/"off"), radio ("1"),
// list or combo box (an item's text, or "#index"), list view ("#row" or a
// row's first cell), slider (position), colour swatch (0xBBGGRR).
bool SetControl(HWND ctrl, const std::string& value, std::string* err = nullptr);
// Presses a push button, toggles a check box or check button, checks a radio.
bool PressControl(HWND ctrl, std::string* err = nullptr);
// A control's state as text: the spinner's value, a check state "0"/"1",
// the selected item of a list ("" when none), a progress bar "pos/min..max",
// the text otherwise.
std::string ReadControl(HWND ctrl);
// One line per control: id, kind, enabled, and its state.
std::string DescribeDialog(HWND dlg);

// Runs one UI command (without the leading "ui"); out gets what the command
// prints. False on an unknown command or a failure, with the reason in err.
bool RunUiCommand(const std::string& line, std::ostream& out, std::string* err = nullptr);
// Splits a command line into words; double quotes group words.
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace vorel_ui
