#include <gtest/gtest.h>

#include "gpu_solver/command_line.h"

using namespace vorel_gpu;

namespace {
std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> t;
  std::string err;
  EXPECT_TRUE(SplitCommandLine(line, &t, &err)) << err;
  return t;
}
bool Parse(const std::string& line, RunSettings* s, std::string* err) {
  std::vector<std::string> t;
  return SplitCommandLine(line, &t, err) && ParseOptions(t, s, err);
}
}  // namespace

TEST(CommandLine, SplitsOnWhiteSpaceWithQuotedTokens) {
  EXPECT_EQ(Split("prog \"C:\\my cache\" -maxFrames 10"),
            (std::vector<std::string>{"prog", "C:\\my cache", "-maxFrames", "10"}));
  EXPECT_EQ(Split("p \"a\"b c\""), (std::vector<std::string>{"p", "a\"b c"}));
  EXPECT_EQ(Split("p \"\" x"), (std::vector<std::string>{"p", "", "x"}));
  EXPECT_EQ(Split("p a\"b"), (std::vector<std::string>{"p", "a\"b"}));
  EXPECT_EQ(Split("  p\t x  "), (std::vector<std::string>{"p", "x"}));
  EXPECT_EQ(Split("p \"open ended"), (std::vector<std::string>{"p", "open ended"}));
  // A closing quote that ends the line ends the splitting there.
  EXPECT_EQ(Split("p \"last\""), (std::vector<std::string>{"p", "last"}));
  EXPECT_EQ(Split("p \"\""), (std::vector<std::string>{"p", ""}));
}

TEST(CommandLine, RefusesOverlongTokens) {
  std::vector<std::string> t;
  std::string err;
  EXPECT_TRUE(SplitCommandLine("p " + std::string(259, 'x'), &t, &err));
  EXPECT_FALSE(SplitCommandLine("p " + std::string(260, 'x'), &t, &err));
  EXPECT_FALSE(SplitCommandLine("p \"" + std::string(300, 'x') + "\"", &t, &err));
  EXPECT_FALSE(err.empty());
}

TEST(CommandLine, ParsesOptionsAsWholeCaseSensitiveTokens) {
  RunSettings s;
  std::string err;
  ASSERT_TRUE(Parse("p -cacheDir d -maxframes 7 7 -fromFrame 3 -gravity 9.5 -friction 0.25", &s, &err)) << err;
  EXPECT_EQ(s.cacheDir, "d");
  EXPECT_EQ(s.maxFrames, 50);
  EXPECT_EQ(s.fromFrame, 3);
  EXPECT_FLOAT_EQ(s.gravity, 9.5f);
  EXPECT_EQ(s.bounce, 1.0f);
  EXPECT_FLOAT_EQ(s.friction, 0.25f);
  EXPECT_EQ(s.frameRate, 30);
  EXPECT_EQ(s.ticksPerFrame, 160u);
  EXPECT_FLOAT_EQ(s.viscosity, 5.0f);
  EXPECT_FLOAT_EQ(s.collisionStrength, 1.0f);
  // The value token is visited like any other.
  RunSettings t;
  ASSERT_TRUE(Parse("p -cacheDir -maxFrames 5", &t, &err)) << err;
  EXPECT_EQ(t.cacheDir, "-maxFrames");
  EXPECT_EQ(t.maxFrames, 5);
}

TEST(CommandLine, FrameRateGivesTicksPerFrame) {
  for (auto [rate, tpf] : {std::pair{25, 192u}, {24, 200u}, {30, 160u}, {4800, 1u}, {1, 4800u}}) {
    RunSettings s;
    std::string err;
    ASSERT_TRUE(Parse("p -cacheDir d -frameRate " + std::to_string(rate), &s, &err)) << err;
    EXPECT_EQ(s.ticksPerFrame, tpf) << rate;
  }
}

TEST(CommandLine, RefusesSettingsTheRunCannotUse) {
  for (const char* line : {"p -cacheDir d -frameRate 0", "p -cacheDir d -frameRate -5", "p -cacheDir d -frameRate 4801",
                           "p -cacheDir d -maxFrames -1", "p -cacheDir d -fromFrame -2", "p -maxFrames 3",
                           "p -cacheDir d -maxFrames", "p -cacheDir d -maxFrames 2000000000"}) {
    RunSettings s;
    std::string err;
    EXPECT_FALSE(Parse(line, &s, &err)) << line;
    EXPECT_FALSE(err.empty()) << line;
  }
}

// A value that is not a whole (or finite) number is refused with the usage
// text, instead of being read as 0 or NaN and run.
TEST(CommandLine, RefusesValuesThatAreNotNumbers) {
  for (const char* line : {"p -cacheDir d -maxFrames abc", "p -cacheDir d -maxFrames 1.5",
                           "p -cacheDir d -maxFrames 12x", "p -cacheDir d -fromFrame \"\"",
                           "p -cacheDir d -frameRate 99999999999", "p -cacheDir d -gravity nan",
                           "p -cacheDir d -gravity inf", "p -cacheDir d -viscosity 1e40",
                           "p -cacheDir d -bounce 0.5y", "p -cacheDir d -friction -"}) {
    RunSettings s;
    std::string err;
    EXPECT_FALSE(Parse(line, &s, &err)) << line;
    EXPECT_NE(err.find("Usage: Vorel_solver"), std::string::npos) << line << ": " << err;
  }
  RunSettings s;
  std::string err;
  ASSERT_TRUE(Parse("p -cacheDir d -maxFrames +7 -gravity -9.5e1 -friction 0", &s, &err)) << err;
  EXPECT_EQ(s.maxFrames, 7);
  EXPECT_EQ(s.gravity, -95.0f);
}

// Values the front-end never sends are refused with the usage text: they
// threw every particle out of the scene or through the colliders.
TEST(CommandLine, RefusesValuesOutsideTheirRanges) {
  for (const char* line : {"p -cacheDir d -gravity 1e30", "p -cacheDir d -gravity -1000.5", "p -cacheDir d -bounce 100",
                           "p -cacheDir d -bounce -0.1", "p -cacheDir d -viscosity -500", "p -cacheDir d -viscosity 251",
                           "p -cacheDir d -friction -1", "p -cacheDir d -collisionStrength 0.5",
                           "p -cacheDir d -collisionStrength 3", "p -cacheDir d -settleFrames -5",
                           "p -cacheDir d -settleFrames 2501", "p -cacheDir d -maxFrames 0"}) {
    RunSettings s;
    std::string err;
    EXPECT_FALSE(Parse(line, &s, &err)) << line;
    EXPECT_NE(err.find(" must be between "), std::string::npos) << line << ": " << err;
    EXPECT_NE(err.find("Usage: Vorel_solver"), std::string::npos) << line << ": " << err;
  }
  RunSettings s;
  std::string err;
  ASSERT_TRUE(Parse("p -cacheDir d -gravity 1000 -bounce 0 -viscosity 250 -friction 1000 -collisionStrength 2"
                    " -settleFrames 2500 -maxFrames 20000 -fromFrame 20000",
                    &s, &err))
      << err;
  EXPECT_EQ(s.gravity, 1000.0f);
  EXPECT_EQ(s.settleFrames, 2500);
}

TEST(CommandLine, FormatsTimes) {
  EXPECT_EQ(FormatElapsed(3723000), "01:02:03");
  EXPECT_EQ(FormatElapsed(0), "00:00:00");
  EXPECT_EQ(FormatRemaining(0), "00 h 01 min");
  EXPECT_EQ(FormatRemaining(3599999), "00 h 60 min");
  EXPECT_EQ(FormatRemaining(3600000 + 120000), "01 h 03 min");
}
