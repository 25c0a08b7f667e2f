// Starting the solver program on a cache directory: which frames a run
// solves, its command line, the start itself and the batch file that keeps
// the last command line. The fluid object's solve (solver_export.cpp) writes
// the inputs and calls these.
#pragma once
#include <string>
#include <vector>

#include "host/core/geom.h"

namespace vorel_gpufe {

// Longest command line the program start takes (its buffer holds 780).
constexpr size_t kCommandLineMax = 779;

// The frames a run solves.
struct SolvePlan {
  int startFrame = 0;    // S: the run continues from this frame
  int maxFrames = 0;     // frames to solve after S; 0 or less: nothing to start
  int settleFrames = 0;  // settling only before a run from the beginning
};
// A run resumes after the last solved frame (or starts at solverStart); a
// requested start at or above solverStart and below that frame wins.
SolvePlan PlanSolve(int solverStart, int solverEnd, int lastSolvedFrame, int requestedStart, bool settleBefore,
                    int settleFrames);

// Frames per second the solver is told: 4800 / ticks per frame.
int SolverFrameRate(int ticksPerFrame);

// Every setting on the solver's command line.
struct SolverOptions {
  int maxFrames = 0;
  int fromFrame = 0;
  int frameRate = 30;
  float collisionStrength = 2.0f;
  float gravity = 9.8f;  // the parameter: the line carries ten times it
  float viscosity = 0.0f;
  float bounce = 1.0f;
  float friction = 0.0f;
  int settleFrames = 0;
};

// The program the front-end starts, below the installation directory.
std::string SolverProgramPath(const std::string& appPath);
// Composes the command line; false (line still composed) when it is longer
// than kCommandLineMax, so that no cut line is ever started.
bool FormatSolverCommandLine(const std::string& appPath, const std::string& cacheDir, const SolverOptions& o,
                             std::string* line);

// Says that no solver program can be started: the registry names no
// installation folder.
void WarnSolverNotInstalled();

enum class StartResult {
  kNoAppPath,  // nothing started, message, no batch file
  kTooLong,    // the line does not fit: not started, message, batch file
  kFailed,     // the start failed: message, batch file
  kStarted,    // running, batch file written
};
// Starts the solver (below the installation folder that the registry value
// "appPath" names) on the cache directory without waiting, then writes the
// command line into <cacheDir>/soveit.bat.
StartResult StartSolver(const std::string& cacheDir, const SolverOptions& o);

// True while the solver program this plug-in started last is still running,
// also before it has taken the named event that marks a running solver.
bool StartedSolverRunning();

// How the solver program this plug-in started last ended, when it was
// started on cacheDir: its exit code (0 for a run that finished or was
// stopped by the user, else the run failed and said why on its error
// stream), and the frame its run started from; -1 while it runs, or when
// the last start was on another cache or none ran.
int StartedSolverExitCode(const std::string& cacheDir, int* fromFrame = nullptr);

// The particles a run continues from when the cache holds its start frame:
// every particle of the frame (host units, world) with its stored velocity,
// whatever the display settings; false when the frame cannot be read.
bool ReadStartFrame(const std::string& framePath, float* particlesPerVolume, std::vector<Point3>* positions,
                    std::vector<Point3>* velocities);

}  // namespace vorel_gpufe
