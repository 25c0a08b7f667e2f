// Small host services of the plug-in: the scene file, the current time, the
// foreground test behind the Escape check, and starting the log viewer and
// the help viewer. (The prompt line's ShowTempPrompt and the string loader
// come from the host layer; the stamp and elapsed-time texts from
// fluid_core/stamp_text.h.)
#pragma once
#include <string>

#include "host/sdk/max.h"

// The current scene's file path with its name; empty for a scene never saved.
std::string GetSceneFilePath();
// The host's current time in ticks.
TimeValue GetSceneTime();

// True when the foreground window is the host's main window or the open
// progress dialog (fluid_plugin/progress_dialog.h); Escape counts only then.
bool HostWindowIsForeground();

// The command lines the launchers start: the path is quoted, so that folders
// with blanks stay one argument.
std::string SolveLogCommandLine(const std::string& cacheRoot, const std::string& systemName);
std::string HelpCommandLine();

// Opens "<cacheRoot>/Vorel/<systemName>/Vorel.log" in "notepad" without
// waiting; a failed start is silent.
void OpenSolveLog(const std::string& cacheRoot, const std::string& systemName);
// Opens "<help folder>/Vorformax.chm" in "hh" without waiting; silent on failure.
void OpenHelp();
