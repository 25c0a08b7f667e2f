// The solver program's command line: one string split by the program's own
// rules (double quotes group a token that may hold spaces), then options
// matched as whole, case-sensitive tokens.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vorel_gpu {

// Run settings with their defaults before parsing.
struct RunSettings {
  std::string cacheDir;
  int32_t maxFrames = 50;
  int32_t fromFrame = 0;
  int32_t frameRate = 30;
  uint32_t ticksPerFrame = 160;
  float collisionStrength = 1.0f;
  float gravity = 98.0f;
  int32_t settleFrames = 0;
  float viscosity = 5.0f;
  float bounce = 1.0f;
  float friction = 0.0f;
};

constexpr size_t kMaxTokenLength = 259;

// The program's usage text, shown with a refused option value.
constexpr const char* kUsage =
    "Usage: Vorel_solver -cacheDir <folder> [-maxFrames n] [-fromFrame n] [-frameRate n] "
    "[-collisionStrength x] [-gravity x] [-settleFrames n] [-viscosity x] [-bounce x] [-friction x]";

// Splits the line into tokens. False, with a message, when a token is longer
// than kMaxTokenLength characters.
bool SplitCommandLine(const std::string& line, std::vector<std::string>* tokens, std::string* error);

// Applies the options among the tokens (the first token is the program and
// matches nothing). False, with a message, for an option without a value, a
// value that is not a whole (or, for real options, finite) number, or one
// outside the option's range (frames to solve at least 1, first frame at least 0, frame rate 1..4800,
// settle frames 0..2500, gravity -1000..1000, collision strength 1..2,
// viscosity 0..250, bounce 0..1, friction 0..1000): the message then ends
// with the usage text. Also false for settings the run cannot use (no cache
// directory, frame times past the tick range).
bool ParseOptions(const std::vector<std::string>& tokens, RunSettings* settings, std::string* error);

// "%02d:%02d:%02d" of a duration in milliseconds.
std::string FormatElapsed(int64_t ms);
// "%02d h %02d min", minutes rounded up by one.
std::string FormatRemaining(int64_t ms);

}  // namespace vorel_gpu
