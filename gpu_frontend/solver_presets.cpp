#include "gpu_frontend/solver_presets.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gpu_frontend/gpu_fluid.h"
#include "host/core/files.h"
#include "host/core/interaction.h"

namespace vorel_gpufe {

namespace {

constexpr const char* kPresetFileEnding = ".Vorel_preset";
constexpr const char* kPresetNotFoundText =
    "Preset file not found!\nUnable to locate a valid preset directory from Vorel_GPU.ini file or windows "
    "registry.";

}  // namespace

bool IsUsablePresetName(const std::string& presetsDir, const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  const size_t pathLength = presetsDir.size() + 1 + name.size() + std::strlen(kPresetFileEnding);
  return pathLength <= kMaxPathLength;
}

bool SavePreset(BlobNode& fluid, const std::string& name) {
  if (name == kReservedPresetName) return false;
  if (!IsUsablePresetName(fluid.cache.presetsDir, name)) return false;
  fluid.ReadParams(0);
  std::vector<std::string> names;
  fluid.cache.ListPresets(&names);
  if (std::find(names.begin(), names.end(), name) != names.end()) {
    if (MessageBoxA(GetActiveWindow(), kOverwritePresetText, kWarningCaption, MB_OKCANCEL) != IDOK) return false;
  }
  if (fluid.cache.WritePreset(name, fluid.SourceLOD, fluid.gravity, fluid.viscosity, fluid.bounce,
                              fluid.friction))
    return true;
  MessageBoxA(GetActiveWindow(), kCannotSavePresetText, kWarningCaption, MB_OKCANCEL);
  return false;
}

bool LoadPreset(BlobNode& fluid, const std::string& name) {
  fluid.ReadParams(0);
  const float current[5] = {fluid.SourceLOD, fluid.gravity, fluid.viscosity, fluid.bounce, fluid.friction};
  float v[5];
  std::copy(current, current + 5, v);
  if (!IsUsablePresetName(fluid.cache.presetsDir, name) ||
      !fluid.cache.ReadPreset(name, &v[0], &v[1], &v[2], &v[3], &v[4])) {
    MessageBoxA(GetActiveWindow(), kPresetNotFoundText, kWarningCaption, MB_OKCANCEL);
    return false;
  }
  // A file shorter than one value, or one holding values that are no
  // numbers, would set nothing sensible: refuse it whole.
  const int64_t size = vorel::host::FileSize(fluid.cache.presetsDir + "/" + name + kPresetFileEnding);
  const bool finite = std::all_of(v, v + 5, [](float x) { return std::isfinite(x); });
  if (size < 4 || !finite) {
    MessageBoxA(GetActiveWindow(), kDamagedPresetText, kWarningCaption, MB_OKCANCEL);
    return false;
  }
  const ParamID ids[5] = {blob_param::kSourceLOD, blob_param::kGravity, blob_param::kViscosity,
                          blob_param::kBounce, blob_param::kFriction};
  for (int i = 0; i < 5; ++i) fluid.pblock2->SetValue(ids[i], 0, v[i]);
  return true;
}

}  // namespace vorel_gpufe
