// The solver program's loops: an optional settle phase, then the frame
// phase, one simulation iteration at a time with the progress window served
// between iterations. Written against the particle system's interface so
// that the frame arithmetic can be exercised with a stand-in system.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "gpu_solver/command_line.h"
#include "gpu_solver/progress_window.h"

namespace vorel_gpu {

inline std::string Printf(const char* fmt, long long a, long long b) {
  char buf[128];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}
inline std::string Printf(const char* fmt, long long a) {
  char buf[128];
  std::snprintf(buf, sizeof buf, fmt, a);
  return buf;
}

// Milliseconds since the program started.
using ElapsedClock = std::function<int64_t()>;

// The simulated clock of one phase: seconds summed in double, whole ticks
// (4800 a second) and frame boundaries from them. A float sum drifted by
// several percent from about frame 7,680 at 30 fps and stood still at frame
// 61,440, where a 0.1 ms step no longer changed it; in double a run of any
// length the command line allows (under 2^31 ticks) stays within a
// millionth of a tick per step.
class PhaseClock {
 public:
  explicit PhaseClock(uint32_t ticksPerFrame) : tpf_(ticksPerFrame == 0 ? 1 : ticksPerFrame) {}
  void Reset() { seconds_ = 0.0; }
  void Advance(float dt) { seconds_ += double(dt); }
  double Seconds() const { return seconds_; }
  // Whole ticks since the phase began.
  uint32_t Ticks() const { return uint32_t(4800.0 * seconds_); }
  // Frames whose end the clock has passed.
  uint32_t FramesPassed() const { return Ticks() / tpf_; }
  // Part of the current frame gone, in [0, 1).
  float FrameFraction() const { return float(Ticks() % tpf_) / float(tpf_); }

 private:
  uint32_t tpf_;
  double seconds_ = 0.0;
};

template <class System>
class SolverLoops {
 public:
  SolverLoops(const RunSettings& s, System& sys, ProgressWindow& w, ElapsedClock clock)
      : s_(s), sys_(sys), w_(w), clock_(std::move(clock)), sim_(s.ticksPerFrame) {}

  // Loads the run, then settles and simulates; returns the exit code: 1
  // when a frame could not be written (the run stops there, since every
  // later frame would be missing from the cache too), else 0.
  int Run() {
    const uint32_t tpf = s_.ticksPerFrame;
    sys_.LoadParticles(s_.fromFrame, s_.maxFrames);
    sys_.LoadColliderFrame(uint32_t(s_.fromFrame) * tpf, true, 1);
    w_.SetRange(kFramesBar, 0, s_.settleFrames);
    w_.SetStep(kFramesBar, 1);
    w_.SetPos(kFramesBar, 0);
    w_.SetRange(kTicksBar, 0, int(tpf));
    w_.SetPos(kTicksBar, 0);
    w_.SetText(kStatusText, Printf("Settle particles - Processing frame: %lld / %lld", counter_ + 1, s_.settleFrames));
    w_.SetText(kCountsText, Printf("Particles - Current: %lld - Max: %lld", sys_.LiveCount(), sys_.Capacity()));
    counter_ = 0;
    sim_.Reset();
    if (s_.settleFrames >= 1) {
      while (!w_.Cancelled() && !writeFailed_ && counter_ < s_.settleFrames) {
        Iteration(false);
        w_.Pump();
      }
      if (writeFailed_) return 1;
      if (w_.Cancelled()) return 0;
    }
    w_.SetRange(kFramesBar, 0, s_.maxFrames);
    w_.SetStep(kFramesBar, 1);
    w_.SetPos(kFramesBar, 0);
    w_.SetRange(kTicksBar, 0, int(tpf));
    counter_ = 0;
    sim_.Reset();
    w_.SetText(kStatusText, Printf("Processing frame: %lld / %lld", counter_ + 1, s_.maxFrames));
    w_.SetText(kLastFrameText, Printf("Last processed frame: %lld", s_.fromFrame + counter_));
    w_.SetText(kCountsText, Printf("Particles - Current: %lld - Max: %lld", sys_.LiveCount(), sys_.Capacity()));
    sys_.ResetColliderFrame();
    while (counter_ < s_.maxFrames && !w_.Cancelled() && !writeFailed_) {
      if (!w_.Paused())
        Iteration(true);
      else
        w_.PumpIdle();  // waits a moment instead of spinning while paused
      w_.Pump();
    }
    return writeFailed_ ? 1 : 0;
  }

  int32_t Counter() const { return counter_; }
  // Time steps run in both phases.
  int64_t Steps() const { return steps_; }

 private:
  void Iteration(bool framePhase) {
    const uint32_t tpf = s_.ticksPerFrame;
    const uint32_t base = uint32_t(s_.fromFrame) * tpf;
    const uint32_t ticks = sim_.Ticks();
    auto& p = sys_.Params();
    p.gravity[0] = 0.0f;
    p.gravity[1] = -s_.gravity;
    p.gravity[2] = 0.0f;
    p.viscosity = s_.viscosity;
    p.bounce = s_.bounce;
    p.friction = s_.friction;
    p.frameFraction = sim_.FrameFraction();
    p.collisionStrength = s_.collisionStrength;
    if (framePhase) {
      sys_.LoadColliderFrame(ticks + base, false, 1);
      sys_.AdvanceEmission(ticks, s_.maxFrames, 10);
      sys_.UpdateKillBox(ticks + base);
    }
    float dt = lastDt_;
    if (sys_.LiveCount() != 0) {
      sys_.Step(ticks + base, s_.maxFrames, 10);
      ++steps_;
      dt = lastDt_ = sys_.LastTimeStep();
    }
    sim_.Advance(dt);
    const int32_t total = framePhase ? s_.maxFrames : s_.settleFrames;
    if (uint32_t(counter_) < sim_.FramesPassed()) {
      ++counter_;
      if (framePhase) {
        w_.SetText(kStatusText, Printf("Processing frame: %lld / %lld", counter_ + 1, s_.maxFrames));
        w_.SetText(kLastFrameText, Printf("Last processed frame: %lld", s_.fromFrame + counter_));
        w_.SetText(kCountsText, Printf("Particles - Current: %lld - Maximum: %lld", sys_.LiveCount(), sys_.Capacity()));
        w_.SetText(kCacheDirText, s_.cacheDir);
      } else {
        w_.SetText(kStatusText, Printf("Settle particles - Processing frame: %lld / %lld", counter_ + 1, s_.settleFrames));
        w_.SetText(kCountsText, Printf("Particles - Current: %lld - Max: %lld", sys_.LiveCount(), sys_.Capacity()));
      }
      w_.StepIt(kFramesBar);
      if (sys_.LiveCount() != 0 && !sys_.WriteFrame(framePhase ? s_.fromFrame + counter_ : s_.fromFrame)) {
        writeFailed_ = true;
        return;
      }
    }
    const int64_t elapsed = clock_();
    const int64_t remaining = elapsed / (counter_ + 1) * (total - counter_);
    const char* fmt = framePhase ? "Elapsed: %s - Remaining: %s" : "Elapsed: %s - Remaining (settle): %s";
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, FormatElapsed(elapsed).c_str(), FormatRemaining(remaining).c_str());
    w_.SetText(kTimeText, buf);
    w_.SetPos(kTicksBar, int(ticks % tpf));
  }

  const RunSettings& s_;
  System& sys_;
  ProgressWindow& w_;
  ElapsedClock clock_;
  int32_t counter_ = 0;
  PhaseClock sim_;
  float lastDt_ = 0.001f;
  int64_t steps_ = 0;
  bool writeFailed_ = false;
};

}  // namespace vorel_gpu
