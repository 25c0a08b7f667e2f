#include "host/sdk/frame_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/core/files.h"

namespace vorel_sdk {

namespace {
constexpr int64_t kArrays = 272;

std::string FramePath(const std::string& folder, int frame) {
  char name[32];
  std::snprintf(name, sizeof name, "/%05d.Vorel", frame);
  return folder + name;
}

// The whole file, when it is a frame of either layout; false otherwise.
bool ReadFrame(const std::string& path, std::vector<unsigned char>& bytes, int& count, std::string& error) {
  const int64_t size = vorel::host::FileSize(path);
  if (size < kArrays) {
    error = size < 0 ? "no frame file " + path : path + " is shorter than a frame header";
    return false;
  }
  bytes.assign(size_t(size), 0);
  FILE* f = vorel::host::OpenFile(path, "rb");
  const bool read = f && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) std::fclose(f);
  if (!read) {
    error = "cannot read " + path;
    return false;
  }
  int32_t n = 0;
  std::memcpy(&n, bytes.data() + 8, 4);
  if (n < 0 || (size != kArrays + 72 * int64_t(n) && size != kArrays + 28 * int64_t(n))) {
    error = path + " is no particle frame (its length does not match its count)";
    return false;
  }
  count = n;
  return true;
}

std::string Fault(int frame, int particle, const char* what) {
  char text[300];
  std::snprintf(text, sizeof text, "frame %d particle %d: %s", frame, particle, what);
  return text;
}
}  // namespace

bool CheckParticleFrames(const std::string& folder, int first, int last, const FrameCheckLimits& limits,
                         FrameCheckSummary& summary, std::string& error) {
  summary = FrameCheckSummary();
  std::vector<unsigned char> bytes;
  int n = 0;
  for (int frame = first; frame <= last; ++frame) {
    if (!ReadFrame(FramePath(folder, frame), bytes, n, error)) return false;
    ++summary.frames;
    summary.mostParticles = std::max(summary.mostParticles, n);
    const unsigned char* pos = bytes.data() + kArrays + 4 * int64_t(n);
    const unsigned char* vel = bytes.data() + kArrays + 16 * int64_t(n);
    int parked = 0;
    for (int i = 0; i < n; ++i) {
      float p[3], v[3];
      std::memcpy(p, pos + 12 * int64_t(i), sizeof p);
      std::memcpy(v, vel + 12 * int64_t(i), sizeof v);
      if ((p[0] == 0.0f && p[1] == 0.0f && p[2] == 0.0f) || std::fabs(p[0]) >= 1e6f ||
          std::fabs(p[1]) >= 1e6f || std::fabs(p[2]) >= 1e6f) {
        ++parked;
        continue;
      }
      char what[200];
      const float s = limits.scale;
      const double speed = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]) * s;
      if (!std::isfinite(speed) || (limits.maxSpeed >= 0.0f && speed > limits.maxSpeed)) {
        std::snprintf(what, sizeof what, "speed %g above %g", speed, double(limits.maxSpeed));
        error = Fault(frame, i, what);
        return false;
      }
      summary.fastest = std::max(summary.fastest, float(speed));
      for (int a = 0; a < 3 && limits.box; ++a) {
        const float x = p[a] * s;
        if (!(x >= limits.lo[a] && x <= limits.hi[a])) {
          std::snprintf(what, sizeof what, "at %g %g %g, outside the box", double(p[0] * s), double(p[1] * s),
                        double(p[2] * s));
          error = Fault(frame, i, what);
          return false;
        }
      }
    }
    summary.mostParked = std::max(summary.mostParked, parked);
    if (limits.maxParked >= 0 && parked > limits.maxParked) {
      char what[100];
      std::snprintf(what, sizeof what, "frame %d: %d of %d particle(s) parked, more than %d", frame, parked, n,
                    limits.maxParked);
      error = what;
      return false;
    }
  }
  if (n < limits.minCount) {
    error = "frame " + std::to_string(last) + ": " + std::to_string(n) + " particle(s), fewer than " +
            std::to_string(limits.minCount);
    return false;
  }
  return true;
}

}  // namespace vorel_sdk
