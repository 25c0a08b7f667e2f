#include "gpu_solver/command_line.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vorel_gpu {
namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// A whole token that is a whole number within int32; anything else (text, a
// fraction, trailing characters, overflow) is no number.
bool ToInt(const std::string& s, int32_t* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v > INT32_MAX || v < INT32_MIN) return false;
  *out = int32_t(v);
  return true;
}

// A whole token that is a finite number that a float holds.
bool ToReal(const std::string& s, float* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || std::fabs(v) > double(FLT_MAX)) return false;
  *out = float(v);
  return true;
}

}  // namespace

bool SplitCommandLine(const std::string& line, std::vector<std::string>* tokens, std::string* error) {
  tokens->clear();
  const size_t end = line.size();
  size_t i = 0;
  bool more = true;
  while (more) {
    while (i < end && IsSpace(line[i])) ++i;
    if (i >= end) break;
    size_t start, stop;
    if (line[i] == '"') {
      start = i + 1;
      stop = start;
      while (stop < end && !(line[stop] == '"' && (stop + 1 == end || IsSpace(line[stop + 1])))) ++stop;
      // A closing quote at the very end of the line ends the splitting too.
      more = stop + 1 < end;
      i = stop + 2;
    } else {
      start = i;
      stop = i;
      while (stop < end && !IsSpace(line[stop])) ++stop;
      more = stop < end;
      i = stop + 1;
    }
    if (stop - start > kMaxTokenLength) {
      *error = "Command-line argument longer than " + std::to_string(kMaxTokenLength) + " characters";
      return false;
    }
    tokens->push_back(line.substr(start, stop - start));
  }
  return true;
}

bool ParseOptions(const std::vector<std::string>& tokens, RunSettings* s, std::string* error) {
  enum Kind { kString, kInt, kReal };
  // Ranges of the liquid's settings are those the front-end's parameters
  // can send (gravity goes out as ten times its parameter; either sign is a
  // direction). Values beyond them do not make a slower or odder liquid:
  // they throw the particles out of the scene or through the colliders.
  // Frame counts are bounded by the tick range below.
  struct Option {
    const char* name;
    Kind kind;
    void* target;
    double least, most;
  };
  const Option options[] = {
      {"-cacheDir", kString, &s->cacheDir, 0, 0},
      {"-maxFrames", kInt, &s->maxFrames, 1, INT32_MAX},
      {"-fromFrame", kInt, &s->fromFrame, 0, INT32_MAX},
      {"-frameRate", kInt, &s->frameRate, 1, 4800},
      {"-collisionStrength", kReal, &s->collisionStrength, 1.0, 2.0},
      {"-gravity", kReal, &s->gravity, -1000.0, 1000.0},
      {"-settleFrames", kInt, &s->settleFrames, 0, 2500},
      {"-viscosity", kReal, &s->viscosity, 0.0, 250.0},
      {"-bounce", kReal, &s->bounce, 0.0, 1.0},
      {"-friction", kReal, &s->friction, 0.0, 1000.0},
  };
  for (size_t i = 1; i < tokens.size(); ++i) {
    for (const Option& o : options) {
      if (tokens[i] != o.name) continue;
      if (i + 1 >= tokens.size()) {
        *error = std::string("Option ") + o.name + " needs a value";
        return false;
      }
      const std::string& v = tokens[i + 1];
      if (o.kind == kString) {
        *static_cast<std::string*>(o.target) = v;
        continue;
      }
      double value = 0.0;
      bool ok = true;
      if (o.kind == kInt) {
        ok = ToInt(v, static_cast<int32_t*>(o.target));
        if (ok) value = *static_cast<int32_t*>(o.target);
      } else {
        ok = ToReal(v, static_cast<float*>(o.target));
        if (ok) value = *static_cast<float*>(o.target);
      }
      if (!ok) {
        *error = std::string("Option ") + o.name + (o.kind == kInt ? " needs a whole number" : " needs a finite number") +
                 ", not \"" + v + "\"\n" + kUsage;
        return false;
      }
      if (value < o.least || value > o.most) {
        char range[96];
        std::snprintf(range, sizeof range, " must be between %.10g and %.10g", o.least, o.most);
        *error = std::string("Option ") + o.name + range + ", not " + v + "\n" + kUsage;
        return false;
      }
    }
  }
  if (s->cacheDir.empty()) {
    *error = "No cache directory given (-cacheDir)";
    return false;
  }
  s->ticksPerFrame = 4800u / uint32_t(s->frameRate);
  if ((int64_t(s->fromFrame) + s->maxFrames + 2) * s->ticksPerFrame > INT32_MAX) {
    *error = "-fromFrame and -maxFrames reach past the longest time the solver can count";
    return false;
  }
  return true;
}

std::string FormatElapsed(int64_t ms) {
  const int64_t hours = ms / 3600000, rest = ms % 3600000;
  const int64_t minutes = rest / 1000 / 60;
  const int64_t seconds = (rest - minutes * 60000) / 1000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", (long long)hours, (long long)minutes, (long long)seconds);
  return buf;
}

std::string FormatRemaining(int64_t ms) {
  const int64_t hours = ms / 3600000;
  const int64_t minutes = (ms % 3600000) / 1000 / 60 + 1;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld h %02lld min", (long long)hours, (long long)minutes);
  return buf;
}

}  // namespace vorel_gpu
