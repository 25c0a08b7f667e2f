// Source presets: an emitter's particle profile saved to and loaded from a
// small "[KEY]=value" text file (".VorPreset"), the emitter's "Presets"
// rollout (dialog 223) and the preset browser (dialog 224) with previews.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "host/sdk/max.h"
#include "host/ui/ui.h"

// Dialog templates and control ids.
constexpr int kPresetRolloutDialog = 223;
constexpr int kPresetBrowserDialog = 224;
enum PresetControl : int {
  kPresetLoad = 1134,
  kPresetSave = 1016,
  kPresetPreview = 1139,
  kPresetPreviewAll = 1140,
  kPresetBrowserList = 1080,
  kPresetBrowserSelect = 1089,
  kPresetBrowserClose = 1088,
  kPresetBrowserName = 1137,
  kPresetShowLod = 1010,
  kPresetShowThickness = 1493,
  kPresetShowFriction = 1058,
  kPresetShowAdherence = 1141,
  kPresetShowBounce = 1053,
  kPresetShowColGap = 1142,
  kPresetShowGravity = 1496,
  kPresetShowRate = 1001,
  kPresetShowScale = 1027,
};

// The blocks a preset is written from and applied to: the emitter's block
// and its fluid system's block (null when the emitter has no system; the
// preset then carries no scale, and a scale it holds is not applied).
struct PresetTarget {
  IParamBlock2* source = nullptr;
  IParamBlock2* system = nullptr;
};

// How an emitter's fluid system block is found. Without one installed, the
// block of the system that owns the engine the emitter is bound to.
using PresetSystemResolver = std::function<IParamBlock2*(ReferenceTarget* emitter)>;
void SetPresetSystemResolver(PresetSystemResolver resolver);
PresetTarget PresetTargetOf(ReferenceTarget* emitter);

// What a preset file holds; `has` tells which keys the file gave.
enum PresetKey : int {
  kKeyName, kKeyLod, kKeyThickness, kKeyOverrides, kKeyFriction, kKeyAdherence, kKeyBounce,
  kKeyColGap, kKeyGravity, kKeyRate, kKeyScale, kPresetKeyCount
};
constexpr int kPresetNameSize = 236;  // the name field, terminator included
struct PresetValues {
  bool has[kPresetKeyCount] = {};
  std::string name;  // at most kPresetNameSize - 1 characters, blanks inside kept
  float lod = 0, thickness = 0, friction = 0, adherence = 0, bounce = 0, colGap = 0,
        gravity = 0, rate = 0, scale = 0;
  int overrides = 0;
};

// Parses a whole preset text. False, with `error` saying why, for a text that
// is not a preset: a NUL byte, a line over 511 characters, a known key whose
// value does not read, or no known key at all. Unknown lines are ignored; a
// last line without its end of line is read as a line. A name is the rest of
// its line without the blanks around it, cut at 235 characters.
bool ParsePresetText(const std::string& text, PresetValues& out, std::string& error);
// A name as the reader keeps it: up to the first end of line, leading blanks
// and tabs left out, cut at 235 characters, then trailing blanks, tabs and
// carriage returns left out. Empty when nothing else is left.
std::string PresetNameAsRead(const std::string& value);
// The file's text as the writer makes it from these values: each key they
// have, in write order, the name as PresetNameAsRead gives it (no name line
// when that is empty), so that the text reads back to the same name.
std::string FormatPresetText(const PresetValues& v);

// The preset folder (the host's plug-in configuration folder + "/Vorel/presets").
std::string SourcePresetFolder();
// The preset files of the folder (extension ".VorPreset" in any case), in
// listing order, and their names ("x.VorPreset" -> "x").
std::vector<std::string> ListSourcePresetFiles();
std::vector<std::string> ListSourcePresets();

// Writes the target's preset to path (every key; the scale only with a
// system), aside and then renamed over the file. 0 on success; -1 with
// `why` saying what failed when the target has no emitter block or the file
// cannot be created or written whole, an older file of that name then left
// as it was.
int writeSourcePreset(const PresetTarget& target, const char* path, std::string* why = nullptr);

// Applies the preset at path to the target: each key the file has sets its
// parameter at time 0 (a new system scale also becomes the position scale
// the frame files use). A file that cannot be opened or is not a preset
// changes nothing (the latter with a warning box). A value outside what its
// parameter takes is refused, named in a warning box, while the rest
// applies. Always sets SourcesNeedRefresh. True when something was applied.
bool readSourcePreset(const PresetTarget& target, const char* path);

// One open browser's record of the shown preset; `has` tells which keys the
// file gave.
struct PresetBrowserRecord {
  char name[kPresetNameSize] = {};
  float lod = 0, thickness = 0, friction = 0, adherence = 0, bounce = 0, colGap = 0,
        gravity = 0, rate = 0, scale = 0;
  int overrides = 0;
  bool has[kPresetKeyCount] = {};
};
// Reads the preset into the record, which holds this file's keys alone (an
// empty record when the file cannot be read or is not a preset, with the
// prompt saying so), and shows its nine values in the browser's controls
// ("%.03f"; a key the file lacks shows empty). True when the file was read.
bool readSystemPreset(const char* path, PresetBrowserRecord& record, HWND browser);

// Starts the registered media player ("Installation Directory" of
// HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\MediaPlayer" + "/wmplayer.exe "
// + arguments) without waiting; false when none is registered.
bool launchMediaPlayer(ReferenceTarget* emitter, const std::string& arguments);
// The "Preview all" argument string: every preset's clip path and a blank,
// stopping before the string would pass the command-line limit.
std::string PreviewAllArguments(const std::vector<std::string>& names, const std::string& folder);
constexpr size_t kCommandLineLimit = 32767;

// The preview animation window of the open browser.
HWND CreatePreviewAnimation(HWND dialog, const char* path);
void PreviewAnimationCommand(int command);  // 0 play looping, 1 stop, 2 close

// The "Presets" rollout's procedure (one per process; the emitter comes from
// the map's block owner).
ParamMap2UserDlgProc* GetPresetDlgProc();
INT_PTR CALLBACK PresetBrowserDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The open browser (null when closed) and the emitter it applies to.
HWND PresetBrowserWindow();
ReferenceTarget* PresetBrowserEmitter();
// Opens the browser for an emitter unless one is open; the browser window.
HWND OpenPresetBrowser(ReferenceTarget* emitter);

void RegisterPresetDialogs(HINSTANCE instance);
