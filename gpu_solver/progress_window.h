// Headless stand-in for the solver's progress dialog: the controls keep
// their texts and bar positions, status changes are printed as lines, and
// the STOP and PAUSE buttons arrive as posted clicks (from signals or from
// another thread) that the loop takes with Pump between iterations.
#pragma once
#include <atomic>
#include <cstdio>
#include <map>
#include <string>

namespace vorel_gpu {

enum ProgressControl : int {
  kStatusText = 1000,
  kCountsText = 1001,
  kCacheDirText = 1002,
  kFramesBar = 1003,
  kTicksBar = 1004,
  kTimeText = 1006,
  kStopButton = 1007,
  kPauseButton = 1008,
  kLastFrameText = 1011,
};

class ProgressWindow {
 public:
  // out: where text changes are printed (nullptr prints nothing).
  explicit ProgressWindow(std::FILE* out = nullptr) : out_(out) {}

  void SetText(int id, const std::string& text);
  std::string Text(int id) const;

  struct Bar {
    int lo = 0, hi = 100, step = 10, pos = 0;
  };
  void SetRange(int id, int lo, int hi);
  void SetStep(int id, int step);
  void SetPos(int id, int pos);
  void StepIt(int id);
  Bar GetBar(int id) const;

  // Safe from signal handlers and other threads.
  void PostClick(int button);

  // Takes every waiting click without waiting: STOP sets the cancel flag,
  // PAUSE toggles the pause flag; both set the status text.
  void Pump();
  // Pump that waits a moment first, for loops that only wait while paused.
  void PumpIdle();

  bool Cancelled() const { return cancel_; }
  bool Paused() const { return pause_; }

  // SIGINT and SIGTERM click STOP, SIGUSR1 clicks PAUSE.
  void InstallSignalHandlers();
  static void RemoveSignalHandlers();

 private:
  std::FILE* out_;
  std::map<int, std::string> texts_;
  std::map<int, Bar> bars_;
  bool boundary_ = false;
  bool cancel_ = false;
  bool pause_ = false;
  std::atomic<int> stopClicks_{0};
  std::atomic<int> pauseClicks_{0};
};

}  // namespace vorel_gpu
