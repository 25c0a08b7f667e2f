#include <gtest/gtest.h>

#include "host/core/clock.h"
#include "host/core/interaction.h"
#include "host/core/strings.h"

namespace vh = vorel::host;

namespace {

class Interaction : public ::testing::Test {
 protected:
  void SetUp() override {
    vh::ResetInteraction();
    vh::FixClockMs(1000);
  }
  void TearDown() override {
    vh::ResetInteraction();
    vh::UnfixClock();
    vh::UnfixSystemTime();
  }
};

// The abort test plug-ins build from these pieces: host closing, or Escape
// while the host (or its progress dialog) is in front.
bool AbortPoll(HWND progress) {
  if (!vh::ProcessPendingMessages()) return true;
  HWND fg = GetForegroundWindow();
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) && (fg == vh::MainWindow() || fg == progress);
}

TEST_F(Interaction, MessageBoxesTakeScriptedAnswersInOrderThenTheFirstButton) {
  vh::QueueMessageBoxAnswer(IDCANCEL);
  vh::QueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Overwrite existing preset file?", "Vorel Warning!", MB_OKCANCEL),
            IDCANCEL);
  EXPECT_EQ(MessageBox(GetActiveWindow(), "Go on?", "Vorel", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "a", "Vorel", MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "b", "Vorel", MB_YESNOCANCEL), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "c", nullptr, MB_ICONWARNING), IDOK);
  auto log = vh::MessageBoxLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].text, "Overwrite existing preset file?");
  EXPECT_EQ(log[0].caption, "Vorel Warning!");
  EXPECT_EQ(log[0].type, MB_OKCANCEL);
  EXPECT_EQ(log[1].owner, vh::MainWindow());
  EXPECT_EQ(log[4].caption, "Error");
}

TEST_F(Interaction, EscapeTurnsTrueOnTheNthPoll) {
  vh::PressEscapeAtPoll(3);
  EXPECT_FALSE(AbortPoll(nullptr));
  EXPECT_FALSE(AbortPoll(nullptr));
  EXPECT_TRUE(AbortPoll(nullptr));
  EXPECT_TRUE(AbortPoll(nullptr));  // stays down until released
  vh::SetKeyDown(VK_ESCAPE, false);
  EXPECT_FALSE(AbortPoll(nullptr));
  EXPECT_EQ(vh::EscapePolls(), 5);

  // Down for one poll only, and only counted while the host is in front.
  HWND other = reinterpret_cast<HWND>(0x1234);
  vh::PressEscapeAtPoll(1, 1);
  vh::SetForeground(other);
  EXPECT_FALSE(AbortPoll(nullptr));
  vh::PressEscapeAtPoll(1, 1);
  EXPECT_TRUE(AbortPoll(other));  // the progress dialog is in front
  EXPECT_FALSE(AbortPoll(other));
}

TEST_F(Interaction, HostClosingAbortsAndThePumpRuns) {
  int pumped = 0;
  vh::SetMessagePump([&pumped] { ++pumped; });
  vh::CloseHostAtPoll(2);
  EXPECT_FALSE(AbortPoll(nullptr));
  EXPECT_TRUE(AbortPoll(nullptr));
  EXPECT_TRUE(AbortPoll(nullptr));
  EXPECT_EQ(pumped, 1);
  vh::SetHostClosing(false);
  EXPECT_FALSE(AbortPoll(nullptr));
  vh::SetMessagePump(nullptr);
}

TEST_F(Interaction, PromptLineRecordsAndTimesOut) {
  std::vector<std::string> echoed;
  vh::SetEcho([&echoed](const std::string& kind, const std::string& text) {
    echoed.push_back(kind + ":" + text);
  });
  vh::PushPrompt("Pick a node");
  ShowTempPrompt("Layer 3 of 10", 1000);
  EXPECT_EQ(vh::CurrentPrompt(), "Layer 3 of 10");
  vh::AdvanceClockMs(999);
  EXPECT_EQ(vh::CurrentPrompt(), "Layer 3 of 10");
  vh::AdvanceClockMs(1);
  EXPECT_EQ(vh::CurrentPrompt(), "Pick a node");
  vh::PopPrompt();
  vh::PopPrompt();  // more pops than pushes are harmless
  EXPECT_EQ(vh::CurrentPrompt(), "");
  auto log = vh::PromptLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].kind, vh::PromptRecord::kTemp);
  EXPECT_EQ(log[1].ms, 1000u);
  EXPECT_EQ(log[1].atMs, 1000);
  ASSERT_EQ(echoed.size(), 4u);
  EXPECT_EQ(echoed[1], "prompt:Layer 3 of 10");
  vh::SetEcho(nullptr);
}

TEST(Clock, FixedClocksAndUtcDate) {
  vh::FixClockMs(5000);
  EXPECT_EQ(GetTickCount(), 5000u);
  vh::AdvanceClockMs(250);
  EXPECT_EQ(vh::ClockMs(), 5250);
  vh::UnfixClock();
  DWORD a = GetTickCount(), b = GetTickCount();
  EXPECT_LE(a, b);

  SYSTEMTIME st;
  vh::FixSystemTime(951782400 + 23 * 3600 + 59 * 60 + 58, 7);  // 2000-02-29 23:59:58.007
  GetSystemTime(&st);
  EXPECT_EQ(st.wYear, 2000);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wDayOfWeek, 2);  // a Tuesday
  EXPECT_EQ(st.wHour, 23);
  EXPECT_EQ(st.wMinute, 59);
  EXPECT_EQ(st.wSecond, 58);
  EXPECT_EQ(st.wMilliseconds, 7);
  SYSTEMTIME back;
  vh::FixSystemTime(st);
  GetSystemTime(&back);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wSecond, 58);
  char t[9];
  EXPECT_EQ(std::string(_strtime(t)).size(), 8u);
  vh::UnfixSystemTime();
}

TEST(Clock, RandIsFifteenBitAndSeedable) {
  HostSRand(42);
  std::vector<int> first;
  int lo = HOST_RAND_MAX, hi = 0;
  for (int i = 0; i < 20000; ++i) {
    int r = HostRand();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, HOST_RAND_MAX);
    lo = std::min(lo, r);
    hi = std::max(hi, r);
    if (i < 10) first.push_back(r);
  }
  EXPECT_LT(lo, 100);
  EXPECT_GT(hi, HOST_RAND_MAX - 100);
  HostSRand(42);
  for (int v : first) EXPECT_EQ(HostRand(), v);
  HostSRand(1);
  EXPECT_EQ(HostRand(), 41);  // the classic sequence from seed 1 starts 41, 18467
  EXPECT_EQ(HostRand(), 18467);
}

const vh::StringResource kStrings[] = {
    {1, "Vorel"},
    {2, ""},
    {40036, "A text of more than two hundred and fifty-five characters: "
            "0123456789012345678901234567890123456789012345678901234567890123456789"
            "0123456789012345678901234567890123456789012345678901234567890123456789"
            "0123456789012345678901234567890123456789012345678901234567890123456789"},
};
VOREL_STRING_TABLE(kStrings);

TEST(Strings, EachLibraryReadsItsOwnTable) {
  ASSERT_NE(GetString(1), nullptr);
  EXPECT_STREQ(GetString(1), "Vorel");
  EXPECT_STREQ(GetString(2), "");
  EXPECT_EQ(GetString(3), nullptr);
  const char* longText = GetString(40036);
  ASSERT_NE(longText, nullptr);
  EXPECT_EQ(std::string(longText).size(), 255u);
  // Each id keeps its own text: a caption and a message may be held at once.
  const char* a = GetString(1);
  EXPECT_NE(a, longText);
  EXPECT_STREQ(a, "Vorel");
  EXPECT_EQ(std::string(longText).size(), 255u);
  EXPECT_EQ(GetString(1), a);

  HINSTANCE self = vh::ModuleOf(kStrings);
  char small[4];
  EXPECT_EQ(LoadStringA(self, 1, small, sizeof(small)), 3);
  EXPECT_STREQ(small, "Vor");
  EXPECT_EQ(LoadStringA(self, 99, small, sizeof(small)), 0);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(vh::ModuleString(self, 1), a);
  // Another library (the core itself) registered nothing: its texts are not ours.
  HINSTANCE core = vh::ModuleOf(reinterpret_cast<const void*>(&GetTickCount));
  ASSERT_NE(core, self);
  EXPECT_EQ(LoadStringA(core, 1, small, sizeof(small)), 0);
  EXPECT_EQ(vh::ModuleString(core, 1), nullptr);
}

}  // namespace
