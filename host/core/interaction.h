// What a user sees and does outside dialogs: the prompt line, message boxes,
// the Escape key, the window in front and the host's message pump. Headless,
// all of it is state that tests and vorel-host scripts set and read back.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/core/win32.h"

// Shows text on the prompt line for ms milliseconds and returns at once.
void ShowTempPrompt(const char* text, uint32_t ms);

// Message box: records the box and returns the next scripted answer (see
// vorel::host::QueueMessageBoxAnswer); with none queued, the box's first
// button (IDOK, IDYES, IDABORT, IDRETRY).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
inline int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return MessageBoxA(owner, text, caption, type);
}

// Key state: the high bit (0x8000) set while the key is down.
SHORT GetAsyncKeyState(int vkey);
HWND GetForegroundWindow();
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND w);

namespace vorel::host {

// ---- prompt line ----
struct PromptRecord {
  enum Kind { kTemp, kPush, kPop, kReplace };
  Kind kind = kTemp;
  std::string text;     // empty for kPop
  uint32_t ms = 0;      // kTemp only
  int64_t atMs = 0;     // host clock when shown
};
// Temporary prompt (what ShowTempPrompt does).
void DisplayTempPrompt(const std::string& text, uint32_t ms);
void RemoveTempPrompt();
// The persistent prompt stack.
void PushPrompt(const std::string& text);
void PopPrompt();  // harmless on an empty stack
void ReplacePrompt(const std::string& text);
// What the prompt line shows now: the temporary prompt until its time
// (host clock) runs out, else the top of the stack, else "".
std::string CurrentPrompt();
std::vector<PromptRecord> PromptLog();
void ClearPromptLog();

// ---- message boxes ----
struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string text, caption;
  UINT type = 0;
  int answer = 0;
};
// Answers for the next boxes, in order.
void QueueMessageBoxAnswer(int answer);
void ClearMessageBoxAnswers();
std::vector<MessageBoxRecord> MessageBoxLog();
void ClearMessageBoxLog();

// Observer of what the user would see, for vorel-host's output: kind is
// "prompt", "push", "pop", "replace" or "messagebox" (text is then
// "caption: text -> answer").
typedef std::function<void(const std::string& kind, const std::string& text)> EchoFn;
void SetEcho(EchoFn fn);
// Hands the observer one more thing the user saw (the UI layer's watched
// dialogs use kind "closed").
void EchoSeen(const std::string& kind, const std::string& text);

// ---- keyboard, windows, message pump ----
// The host's main window (a fixed handle unless the UI layer sets its own).
HWND MainWindow();
void SetMainWindow(HWND w);
// Foreground / active window; both start as the main window.
void SetForeground(HWND w);
void SetActive(HWND w);
// Escape: down from the nth poll of GetAsyncKeyState(VK_ESCAPE) (1 = the
// next poll) for count polls (count <= 0: until released), counted from
// now. 0 releases the key.
void PressEscapeAtPoll(int nth, int count = 0);
void SetKeyDown(int vkey, bool down);  // any key, no poll counting
int EscapePolls();                     // polls of VK_ESCAPE since the last reset
// The host's "process pending messages": runs the pump (installed by the UI
// layer, which delivers posted messages) and returns false once the host is
// closing. CloseHostAtPoll makes the nth call from now return false.
bool ProcessPendingMessages();
void SetMessagePump(std::function<void()> pump);
void SetHostClosing(bool closing);
void CloseHostAtPoll(int nth);
int PendingMessagePolls();

// Resets every piece of state above (and the scripted answers) to start-up.
void ResetInteraction();

}  // namespace vorel::host
