#include "gpu_solver/progress_window.h"

#include <chrono>
#include <csignal>
#include <pthread.h>
#include <signal.h>
#include <thread>

namespace vorel_gpu {
namespace {

std::atomic<ProgressWindow*> g_signalWindow{nullptr};

extern "C" void OnStopSignal(int) {
  if (ProgressWindow* w = g_signalWindow.load()) w->PostClick(kStopButton);
}

extern "C" void OnPauseSignal(int) {
  if (ProgressWindow* w = g_signalWindow.load()) w->PostClick(kPauseButton);
}

}  // namespace

void ProgressWindow::SetText(int id, const std::string& text) {
  std::string& cur = texts_[id];
  const bool changed = cur != text;
  cur = text;
  if (!out_) return;
  // Time texts change every iteration: print them once per frame boundary.
  if (id == kTimeText) {
    if (!boundary_) return;
    boundary_ = false;
  } else if (!changed) {
    return;
  }
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

std::string ProgressWindow::Text(int id) const {
  auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void ProgressWindow::SetRange(int id, int lo, int hi) {
  Bar& b = bars_[id];
  b.lo = lo;
  b.hi = hi;
}

void ProgressWindow::SetStep(int id, int step) { bars_[id].step = step; }

void ProgressWindow::SetPos(int id, int pos) { bars_[id].pos = pos; }

void ProgressWindow::StepIt(int id) {
  Bar& b = bars_[id];
  b.pos += b.step;
  if (b.pos > b.hi) b.pos = b.lo + (b.pos - b.hi);  // progress bars wrap
  if (id == kFramesBar) boundary_ = true;
}

ProgressWindow::Bar ProgressWindow::GetBar(int id) const {
  auto it = bars_.find(id);
  return it == bars_.end() ? Bar() : it->second;
}

void ProgressWindow::PostClick(int button) {
  if (button == kStopButton) stopClicks_.fetch_add(1);
  if (button == kPauseButton) pauseClicks_.fetch_add(1);
}

void ProgressWindow::Pump() {
  while (pauseClicks_.load() > 0) {
    pauseClicks_.fetch_sub(1);
    SetText(kStatusText, "Solver process paused. Press PAUSE button to resume.");
    pause_ = !pause_;
  }
  while (stopClicks_.load() > 0) {
    stopClicks_.fetch_sub(1);
    SetText(kStatusText, "Solver process was cancelled by user...");
    cancel_ = true;
  }
}

void ProgressWindow::PumpIdle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Pump();
}

void ProgressWindow::InstallSignalHandlers() {
  g_signalWindow.store(this);
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGUSR1, OnPauseSignal);
  // A started program inherits its starter's blocked signals; the buttons
  // must work whatever the starter had blocked.
  sigset_t buttons;
  sigemptyset(&buttons);
  sigaddset(&buttons, SIGINT);
  sigaddset(&buttons, SIGTERM);
  sigaddset(&buttons, SIGUSR1);
  pthread_sigmask(SIG_UNBLOCK, &buttons, nullptr);
}

void ProgressWindow::RemoveSignalHandlers() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGUSR1, SIG_DFL);
  g_signalWindow.store(nullptr);
}

}  // namespace vorel_gpu
