#include "gpu_frontend/solve_driver.h"

#include <cstdio>

#include "gpu_frontend/frame_playback.h"
#include "gpu_frontend/plugin_shell.h"
#include "host/core/files.h"
#include "host/core/interaction.h"
#include "host/core/process.h"

namespace vorel_gpufe {

SolvePlan PlanSolve(int solverStart, int solverEnd, int lastSolvedFrame, int requestedStart, bool settleBefore,
                    int settleFrames) {
  SolvePlan plan;
  plan.startFrame = std::max(solverStart, lastSolvedFrame);
  if (requestedStart >= solverStart && requestedStart < plan.startFrame) plan.startFrame = requestedStart;
  plan.maxFrames = solverEnd - plan.startFrame;
  plan.settleFrames = settleBefore && plan.startFrame <= 0 ? settleFrames : 0;
  return plan;
}

int SolverFrameRate(int ticksPerFrame) { return ticksPerFrame > 0 ? 4800 / ticksPerFrame : 0; }

std::string SolverProgramPath(const std::string& appPath) { return appPath + "\\bin" + "/x86/Vorel_solver.exe"; }

bool FormatSolverCommandLine(const std::string& appPath, const std::string& cacheDir, const SolverOptions& o,
                             std::string* line) {
  // The gravity is scaled in single precision, so 9.8 goes out as 98.000000.
  const float gravity = o.gravity * 10.0f;
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                " -maxFrames %d -fromFrame %d -frameRate %d -collisionStrength %f -gravity %f -viscosity %f"
                " -bounce %f -friction %f -settleFrames %d",
                o.maxFrames, o.fromFrame, o.frameRate, double(o.collisionStrength), double(gravity),
                double(o.viscosity), double(o.bounce), double(o.friction), o.settleFrames);
  *line = "\"" + SolverProgramPath(appPath) + "\" -cacheDir \"" + cacheDir + "\"" + numbers;
  return line->size() <= kCommandLineMax;
}

namespace {

// The last solver program started: a second solve right after a start
// would otherwise find no named event yet and rewrite the inputs under
// the starting program.
int gLastSolverPid = 0;
// Where that program solves, and from which frame.
std::string gLastSolverCacheDir;
int gLastSolverFromFrame = 0;

// Written aside and renamed: a link planted at the name is replaced, never
// followed into the file it names.
void WriteBatchFile(const std::string& cacheDir, const std::string& line) {
  vorel::host::WriteFileAside(vorel::host::NormalizePath(cacheDir + "/soveit.bat"), line.data(), line.size());
}

void WarnNotStarted() {
  MessageBoxA(GetActiveWindow(), "Unable to call Vorel_GPU solver!", "Vorel_GPU Warning!", MB_OKCANCEL);
}

}  // namespace

void WarnSolverNotInstalled() {
  MessageBoxA(GetActiveWindow(),
              "Vorel_GPU solver not found: the registry value \"appPath\" of SOFTWARE\\Kestrane\\Vorel_GPU names "
              "no installation folder. Nothing was solved.",
              "Vorel_GPU Warning!", MB_OKCANCEL);
}

StartResult StartSolver(const std::string& cacheDir, const SolverOptions& o) {
  std::string appPath;
  if (!ReadAppPath(appPath)) {
    WarnSolverNotInstalled();
    return StartResult::kNoAppPath;
  }
  std::string line;
  StartResult result = StartResult::kStarted;
  if (!FormatSolverCommandLine(appPath, cacheDir, o, &line)) {
    result = StartResult::kTooLong;
  } else {
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si,
                       &pi)) {
      gLastSolverPid = int(pi.dwProcessId);
      gLastSolverCacheDir = cacheDir;
      gLastSolverFromFrame = o.fromFrame;
      // The run does not depend on these handles; nothing waits on them.
      if (pi.hProcess) CloseHandle(pi.hProcess);
      if (pi.hThread) CloseHandle(pi.hThread);
    } else {
      result = StartResult::kFailed;
    }
  }
  if (result != StartResult::kStarted) WarnNotStarted();
  WriteBatchFile(cacheDir, line);
  return result;
}

bool StartedSolverRunning() { return vorel::host::StartedProgramRunning(gLastSolverPid); }

int StartedSolverExitCode(const std::string& cacheDir, int* fromFrame) {
  if (gLastSolverPid <= 0 || cacheDir != gLastSolverCacheDir) return -1;
  if (fromFrame) *fromFrame = gLastSolverFromFrame;
  return vorel::host::StartedProgramExitCode(gLastSolverPid);
}

bool ReadStartFrame(const std::string& framePath, float* particlesPerVolume, std::vector<Point3>* positions,
                    std::vector<Point3>* velocities) {
  FrameFileHeader h;
  if (!ReadFrameFileHeader(framePath, &h)) return false;
  PlaybackArrays a;
  const int n = ReadFrameParticles(framePath, 1.0f, &a);
  *particlesPerVolume = h.ppuv;
  positions->assign(a.framePos.begin(), a.framePos.begin() + n);
  velocities->assign(a.fileVel.begin(), a.fileVel.begin() + n);
  return true;
}

}  // namespace vorel_gpufe
