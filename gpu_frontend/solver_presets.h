// Solver presets: the five liquid settings of a GPU fluid object (Source LOD,
// gravity, viscosity, bounce, friction) saved under a name in the presets
// folder and applied back to an object. The file itself is written and read
// by CacheDirectory; this unit holds the object's side: name checks, the
// overwrite question and the messages.
#pragma once
#include <string>

namespace vorel_gpufe {

class BlobNode;

constexpr const char* kReservedPresetName = "default";
constexpr const char* kOverwritePresetText = "Overwrite existing preset file?";
constexpr const char* kCannotSavePresetText = "Could not save preset on presets dir.";
constexpr const char* kDamagedPresetText = "Preset file is damaged: it holds no valid settings.";

// A name that can become a file of the presets folder: not empty, no path
// separator, no character a file name cannot hold, not "." or "..", not
// ending in a dot or blank, and short enough that the whole path fits.
bool IsUsablePresetName(const std::string& presetsDir, const std::string& name);

// Saves the object's current settings as preset name. False without a
// message for "default" and for names that cannot be file names; false when
// the user declines to replace an existing preset; false with a message box
// when the file cannot be written.
bool SavePreset(BlobNode& fluid, const std::string& name);

// Applies preset name to the object (Source LOD, gravity, viscosity, bounce,
// friction, at time 0, in that order). A short file sets the values it
// holds and keeps the others. A missing file, one that holds not even one
// whole value, or one holding a value that is not a finite number changes
// nothing and shows a message box. Answers whether the preset was applied.
bool LoadPreset(BlobNode& fluid, const std::string& name);

}  // namespace vorel_gpufe
