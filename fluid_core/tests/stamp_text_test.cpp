// The simulation stamp and elapsed-time texts at their edges.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fluid_core/stamp_text.h"

namespace {

SYSTEMTIME At(int month, int day, int hour, int minute) {
  SYSTEMTIME t;
  t.wYear = 2026;
  t.wMonth = WORD(month);
  t.wDay = WORD(day);
  t.wHour = WORD(hour);
  t.wMinute = WORD(minute);
  return t;
}

class StampText : public ::testing::Test {
 protected:
  void TearDown() override { vorel::host::UnfixSystemTime(); }
};

TEST_F(StampText, ValueSpansTheYear) {
  EXPECT_EQ(SimulationStampValue(At(1, 1, 0, 0)), (30 + 1) * 24 * 60);
  EXPECT_EQ(SimulationStampValue(At(1, 1, 0, 0)), 44640);
  EXPECT_EQ(SimulationStampValue(At(12, 31, 23, 59)), ((12 * 30 + 31) * 24 + 23) * 60 + 59);
  EXPECT_EQ(SimulationStampValue(At(12, 31, 23, 59)), 564479);
  EXPECT_EQ(SimulationStampValue(At(2, 9, 10, 39)), 99999);
  EXPECT_EQ(SimulationStampValue(At(2, 9, 10, 40)), 100000);
}

TEST_F(StampText, TextIsAlwaysTerminatedAndReadsBackAsTheValue) {
  // From 9 February 10:40 the value has six digits and the text, with its
  // blank, seven characters: it must still end where it ends.
  struct Case {
    SYSTEMTIME t;
    const char* text;
  } cases[] = {{At(1, 1, 0, 0), "44640 "},
               {At(2, 9, 10, 39), "99999 "},
               {At(2, 9, 10, 40), "100000 "},
               {At(12, 31, 23, 59), "564479 "}};
  for (const Case& c : cases) {
    vorel::host::FixSystemTime(c.t);
    char buf[kStampTextSize];
    std::memset(buf, 'x', sizeof buf);
    FormatSimulationStamp(buf, sizeof buf);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(std::atoi(buf), SimulationStampValue(c.t));
  }
}

TEST_F(StampText, ShortBuffersGetATerminatedPrefix) {
  vorel::host::FixSystemTime(At(12, 31, 23, 59));
  char buf[4] = {'x', 'x', 'x', 'x'};
  FormatSimulationStamp(buf, sizeof buf);
  EXPECT_STREQ(buf, "564");
  FormatSimulationStamp(buf, 0);  // nothing written
  EXPECT_STREQ(buf, "564");
}

TEST(ElapsedText, HoursMinutesSecondsTruncated) {
  struct Case {
    int ms;
    const char* text;
  } cases[] = {{0, "00:00:00"},
               {-5, "00:00:00"},  // a clock that went back reads as nothing elapsed
               {999, "00:00:00"},
               {59999, "00:00:59"},
               {60000, "00:01:00"},
               {3723000, "01:02:03"},
               {3599999, "00:59:59"},
               {360000000, "100:00:00"},
               {2147483647, "596:31:23"}};
  for (const Case& c : cases) {
    char buf[kElapsedTextSize];
    FormatElapsedTime(c.ms, buf, sizeof buf);
    EXPECT_STREQ(buf, c.text) << c.ms;
  }
  char small[6];
  FormatElapsedTime(360000000, small, sizeof small);
  EXPECT_STREQ(small, "100:0");
}

}  // namespace
