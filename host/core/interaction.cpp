#include "host/core/interaction.h"

#include <deque>
#include <map>
#include <mutex>

#include "host/core/clock.h"

namespace {

// The main window's handle: the address of an object of ours, so no other
// handle can equal it.
char g_mainWindowTag;

struct State {
  // prompt line
  std::vector<vorel::host::PromptRecord> promptLog;
  std::vector<std::string> promptStack;
  std::string tempText;
  int64_t tempUntil = 0;
  bool tempShown = false;
  // message boxes
  std::deque<int> answers;
  std::vector<vorel::host::MessageBoxRecord> boxLog;
  vorel::host::EchoFn echo;
  // windows and keys
  HWND mainWindow = reinterpret_cast<HWND>(&g_mainWindowTag);
  HWND foreground = nullptr;  // null: the main window
  HWND active = nullptr;
  std::map<int, bool> keysDown;
  int escapePolls = 0;
  int escapeFrom = 0;   // poll number (1-based) where Escape goes down; 0 none
  int escapeCount = 0;  // polls it stays down; <= 0 until released
  // message pump
  std::function<void()> pump;
  bool closing = false;
  int pumpPolls = 0;
  int closeAtPoll = 0;
};

std::recursive_mutex g_mutex;
State& S() {
  static State* s = new State;
  return *s;
}

void Echo(const std::string& kind, const std::string& text) {
  vorel::host::EchoFn fn;
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    fn = S().echo;
  }
  if (fn) fn(kind, text);
}

void Record(vorel::host::PromptRecord::Kind kind, const std::string& text, uint32_t ms) {
  vorel::host::PromptRecord r;
  r.kind = kind;
  r.text = text;
  r.ms = ms;
  r.atMs = vorel::host::ClockMs();
  S().promptLog.push_back(r);
}

int DefaultAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

}  // namespace

void ShowTempPrompt(const char* text, uint32_t ms) {
  vorel::host::DisplayTempPrompt(text ? text : "", ms);
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  vorel::host::MessageBoxRecord r;
  r.owner = owner;
  r.text = text ? text : "";
  r.caption = caption ? caption : "Error";
  r.type = type;
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    State& s = S();
    if (!s.answers.empty()) {
      r.answer = s.answers.front();
      s.answers.pop_front();
    } else {
      r.answer = DefaultAnswer(type);
    }
    s.boxLog.push_back(r);
  }
  Echo("messagebox", r.caption + ": " + r.text + " -> " + std::to_string(r.answer));
  return r.answer;
}

SHORT GetAsyncKeyState(int vkey) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  State& s = S();
  bool down = s.keysDown.count(vkey) && s.keysDown[vkey];
  if (vkey == VK_ESCAPE) {
    int poll = ++s.escapePolls;
    if (s.escapeFrom > 0 && poll >= s.escapeFrom &&
        (s.escapeCount <= 0 || poll < s.escapeFrom + s.escapeCount))
      down = true;
  }
  return down ? SHORT(0x8000) : SHORT(0);
}

HWND GetForegroundWindow() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().foreground ? S().foreground : S().mainWindow;
}

HWND GetActiveWindow() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().active ? S().active : S().mainWindow;
}

BOOL SetForegroundWindow(HWND w) {
  vorel::host::SetForeground(w);
  return w ? TRUE : FALSE;
}

namespace vorel::host {

void DisplayTempPrompt(const std::string& text, uint32_t ms) {
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    State& s = S();
    s.tempText = text;
    s.tempUntil = ClockMs() + int64_t(ms);
    s.tempShown = true;
    Record(PromptRecord::kTemp, text, ms);
  }
  Echo("prompt", text);
}

void RemoveTempPrompt() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().tempShown = false;
}

void PushPrompt(const std::string& text) {
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    S().promptStack.push_back(text);
    Record(PromptRecord::kPush, text, 0);
  }
  Echo("push", text);
}

void PopPrompt() {
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    if (!S().promptStack.empty()) S().promptStack.pop_back();
    Record(PromptRecord::kPop, "", 0);
  }
  Echo("pop", "");
}

void ReplacePrompt(const std::string& text) {
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    State& s = S();
    if (s.promptStack.empty()) s.promptStack.push_back(text);
    else s.promptStack.back() = text;
    Record(PromptRecord::kReplace, text, 0);
  }
  Echo("replace", text);
}

std::string CurrentPrompt() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  State& s = S();
  if (s.tempShown && ClockMs() < s.tempUntil) return s.tempText;
  return s.promptStack.empty() ? std::string() : s.promptStack.back();
}

std::vector<PromptRecord> PromptLog() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().promptLog;
}

void ClearPromptLog() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().promptLog.clear();
}

void QueueMessageBoxAnswer(int answer) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().answers.push_back(answer);
}

void ClearMessageBoxAnswers() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().answers.clear();
}

std::vector<MessageBoxRecord> MessageBoxLog() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().boxLog;
}

void ClearMessageBoxLog() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().boxLog.clear();
}

void EchoSeen(const std::string& kind, const std::string& text) { Echo(kind, text); }

void SetEcho(EchoFn fn) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().echo = std::move(fn);
}

HWND MainWindow() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().mainWindow;
}

void SetMainWindow(HWND w) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().mainWindow = w ? w : reinterpret_cast<HWND>(&g_mainWindowTag);
}

void SetForeground(HWND w) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().foreground = w;
}

void SetActive(HWND w) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().active = w;
}

void PressEscapeAtPoll(int nth, int count) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  State& s = S();
  s.escapeFrom = nth > 0 ? s.escapePolls + nth : 0;
  s.escapeCount = count;
}

void SetKeyDown(int vkey, bool down) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().keysDown[vkey] = down;
  if (vkey == VK_ESCAPE && !down) S().escapeFrom = 0;
}

int EscapePolls() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().escapePolls;
}

bool ProcessPendingMessages() {
  std::function<void()> pump;
  {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    State& s = S();
    int poll = ++s.pumpPolls;
    if (s.closeAtPoll > 0 && poll >= s.closeAtPoll) s.closing = true;
    if (s.closing) return false;
    pump = s.pump;
  }
  // The pump runs unlocked: dialog procedures it reaches may show prompts.
  if (pump) pump();
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return !S().closing;
}

void SetMessagePump(std::function<void()> pump) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().pump = std::move(pump);
}

void SetHostClosing(bool closing) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  S().closing = closing;
  if (!closing) S().closeAtPoll = 0;
}

void CloseHostAtPoll(int nth) {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  State& s = S();
  s.closeAtPoll = nth > 0 ? s.pumpPolls + nth : 0;
}

int PendingMessagePolls() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  return S().pumpPolls;
}

void ResetInteraction() {
  std::lock_guard<std::recursive_mutex> lock(g_mutex);
  State& s = S();
  HWND main = s.mainWindow;
  auto pump = s.pump;
  auto echo = s.echo;
  s = State();
  // The UI layer's main window, pump and the echo are wiring, not state.
  s.mainWindow = main;
  s.pump = pump;
  s.echo = echo;
}

}  // namespace vorel::host
