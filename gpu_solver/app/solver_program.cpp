#include "gpu_solver/solver_program.h"

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "gpu_solver/command_line.h"
#include "gpu_solver/device.h"
#include "gpu_solver/particleSystem.h"
#include "gpu_solver/progress_window.h"
#include "gpu_solver/solver_shell.h"
#include "host/core/clock.h"
#include "host/core/files.h"
#include "host/core/process.h"

namespace vorel_gpu {
namespace {

// Thrown by the allocation failure handler.
struct WinException {
  DWORD code;
  const char* message;
};

void OnOutOfMemory() { throw WinException{GetLastError(), "Out of memory"}; }

// The message boxes of the program, headless: caption and text on stderr.
void Alert(const char* caption, const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", caption, text.c_str());
}

// Holds "Vorel_GPU_SOLVER" for the program's lifetime.
class RunningMarker {
 public:
  bool Acquire() {
    handle_ = CreateEventW(nullptr, TRUE, FALSE, L"Vorel_GPU_SOLVER");
    if (handle_ && GetLastError() == DWORD(ERROR_ALREADY_EXISTS)) {
      Release();
      return false;
    }
    return handle_ != nullptr;
  }
  void Release() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }
  ~RunningMarker() { Release(); }

 private:
  HANDLE handle_ = nullptr;
};

int Run() {
  const int64_t start = vorel::host::ClockMs();
  std::vector<std::string> tokens;
  std::string error;
  if (!SplitCommandLine(GetCommandLineA(), &tokens, &error)) {
    Alert("Vorel_GPU: Alert", error);
    return 1;
  }
  RunningMarker marker;
  if (!marker.Acquire()) {
    Alert("Vorel_GPU: Alert", "Another Vorel_solver is running; only one solve runs at a time");
    return 1;
  }

  if (DeviceCount() == 0) {
    Alert("Vorel_GPU: Alert", "No GPU device found on your system");
    return 1;
  }
  int driver = 0, runtime = 0;
  DriverAndRuntimeVersions(&driver, &runtime);
  if (driver < runtime) {
    Alert("Vorel_GPU: Alert",
          "Installed display driver is not updated and it is incompatible with this program.\n"
          "Update your display driver by visiting:\nhttps://www.nvidia.com/Download/index.aspx\n\n"
          "Installed Driver version:  " + std::to_string(driver) + "\nRuntime version: " + std::to_string(runtime));
  }

  ProgressWindow window(stdout);
  RunSettings settings;
  if (!ParseOptions(tokens, &settings, &error)) {
    Alert("Vorel_GPU: Alert", error);
    return 1;
  }
  // The front-end composes its cache paths with "\" as well as "/".
  settings.cacheDir = vorel::host::NormalizePath(settings.cacheDir);
  // Without its folder the run would idle through every frame, write nothing
  // and still report success.
  if (!vorel::host::DirectoryExists(settings.cacheDir)) {
    Alert("Vorel_GPU: Alert", "Cache directory not found: " + settings.cacheDir);
    return 1;
  }
  // Inputs that are there but damaged end the run: solving without them
  // would write frames of another scene and report success.
  {
    const std::string fill = FillFilePath(settings.cacheDir);
    FillHeader h;
    std::vector<Vec3f> pos, vel;
    if (vorel::host::FileSize(fill) >= 0 && !ReadFillFile(fill, UINT32_MAX, &h, &pos, &vel)) {
      Alert("Vorel_GPU: Alert", "Fill file " + fill + " is damaged");
      return 1;
    }
    const std::string emission = EmissionFilePath(settings.cacheDir);
    if (vorel::host::FileSize(emission) >= 0 && !CheckEmissionFile(emission)) {
      Alert("Vorel_GPU: Alert", "Emission file " + emission + " is damaged");
      return 1;
    }
    const std::string kill = KillBoxFilePath(settings.cacheDir);
    std::vector<KillBoxRow> rows;
    if (vorel::host::FileSize(kill) >= 0 && !ReadKillBoxFile(kill, &rows)) {
      Alert("Vorel_GPU: Alert", "Kill-box file " + kill + " is damaged");
      return 1;
    }
    // Read as "no collider", a damaged one would let the fluid fall through
    // the floor: every collider file the run reads, the next frame's included.
    for (int64_t f = settings.fromFrame; f <= int64_t(settings.fromFrame) + settings.maxFrames + 1; ++f) {
      const std::string geom = ColliderFilePath(settings.cacheDir, f * int64_t(settings.ticksPerFrame));
      ColliderGeometry g;
      if (vorel::host::FileSize(geom) >= 0 && !ReadColliderFile(geom, &g)) {
        Alert("Vorel_GPU: Alert", "Collider file " + geom + " is damaged");
        return 1;
      }
    }
  }
  SolverSetup setup;
  setup.cacheDir = settings.cacheDir;
  setup.ticksPerFrame = settings.ticksPerFrame;
  setup.frameRate = settings.frameRate;
  ParticleSystem system(setup, settings.fromFrame, settings.maxFrames);
  if (!system.IsInitialized()) {
    Alert("Vorel_GPU: Alert", "The particle system could not be set up");
    return 1;
  }
  if (system.Capacity() == 0) {
    Alert("Vorel_GPU: Alert", "Nothing to solve: " + settings.cacheDir +
                                  " holds no fill particles and no emission for frames " +
                                  std::to_string(settings.fromFrame + 1) + " to " +
                                  std::to_string(settings.fromFrame + settings.maxFrames));
    return 1;
  }

  window.InstallSignalHandlers();
  SolverLoops<ParticleSystem> loops(settings, system, window,
                                    [start] { return vorel::host::ClockMs() - start; });
  const int code = loops.Run();
  ProgressWindow::RemoveSignalHandlers();
  // The last line of a headless run says how much work it did.
  std::printf("Simulation steps: %lld\n", (long long)loops.Steps());
  system.Finalize();
  return code;
}

}  // namespace

int SolverProgramMain() {
  std::set_new_handler(OnOutOfMemory);
  try {
    return Run();
  } catch (const WinException& e) {
    Alert("Exception", e.message);
  } catch (const std::bad_alloc&) {
    Alert("Exception", "Out of memory");
  }
  return 1;
}

}  // namespace vorel_gpu
