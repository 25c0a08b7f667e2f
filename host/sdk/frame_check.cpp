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

bool Parked(const float p[3]) {
  return (p[0] == 0.0f && p[1] == 0.0f && p[2] == 0.0f) || std::fabs(p[0]) >= 1e6f || std::fabs(p[1]) >= 1e6f ||
         std::fabs(p[2]) >= 1e6f;
}

// A frame's positions and velocities, scaled; parked particles flagged.
struct FrameState {
  std::vector<float> pos, vel;
  std::vector<unsigned char> live;
  void Take(const std::vector<unsigned char>& bytes, int n, float s) {
    pos.assign(size_t(n) * 3, 0.0f);
    vel.assign(size_t(n) * 3, 0.0f);
    live.assign(size_t(n), 0);
    std::memcpy(pos.data(), bytes.data() + kArrays + 4 * int64_t(n), size_t(n) * 12);
    std::memcpy(vel.data(), bytes.data() + kArrays + 16 * int64_t(n), size_t(n) * 12);
    for (int i = 0; i < n; ++i) {
      live[size_t(i)] = !Parked(&pos[size_t(i) * 3]);
      for (int a = 0; a < 3; ++a) {
        pos[size_t(i) * 3 + size_t(a)] *= s;
        vel[size_t(i) * 3 + size_t(a)] *= s;
      }
    }
  }
};

// Adds the velocity-against-motion samples of frame `at` (before and after
// its neighbours) to the summary's sums (kept as sums of squares until the
// end).
void AddMotion(const FrameState& before, const FrameState& at, const FrameState& after,
               const FrameCheckLimits& limits, FrameCheckSummary& sum) {
  const size_t n = std::min({before.live.size(), at.live.size(), after.live.size()});
  for (size_t i = 0; i < n; ++i) {
    if (!before.live[i] || !at.live[i] || !after.live[i]) continue;
    double d2 = 0.0, wall = 1e30;
    for (size_t a = 0; a < 3; ++a) {
      const double motion = (double(after.pos[i * 3 + a]) - before.pos[i * 3 + a]) * 0.5 * limits.fps;
      const double d = double(at.vel[i * 3 + a]) - motion;
      d2 += d * d;
      const double x = at.pos[i * 3 + a];
      wall = std::min({wall, x - limits.lo[a], limits.hi[a] - x});
    }
    if (wall <= limits.band) {
      sum.wallRms += d2;
      ++sum.wallSamples;
    } else {
      sum.innerRms += d2;
      ++sum.innerSamples;
    }
  }
}
}  // namespace

bool CheckParticleFrames(const std::string& folder, int first, int last, const FrameCheckLimits& limits,
                         FrameCheckSummary& summary, std::string& error) {
  summary = FrameCheckSummary();
  std::vector<unsigned char> bytes;
  int n = 0;
  FrameState before;  // for the motion from the frame before
  if (limits.maxMotion >= 0.0f && first > 0) {
    std::string ignored;
    int m = 0;
    if (ReadFrame(FramePath(folder, first - 1), bytes, m, ignored)) before.Take(bytes, m, limits.scale);
  }
  bool reached = false;
  std::vector<float> tops;
  FrameState states[3];  // the frames before, at and after the one whose motion is taken
  for (int frame = first; frame <= last; ++frame) {
    if (!ReadFrame(FramePath(folder, frame), bytes, n, error)) return false;
    ++summary.frames;
    if (limits.wallMotion >= 0.0f) {
      std::swap(states[0], states[1]);
      std::swap(states[1], states[2]);
      states[2].Take(bytes, n, limits.scale);
      if (frame >= first + 2) AddMotion(states[0], states[1], states[2], limits, summary);
    }
    float top = -1e30f, low = 1e30f;
    summary.mostParticles = std::max(summary.mostParticles, n);
    const unsigned char* pos = bytes.data() + kArrays + 4 * int64_t(n);
    const unsigned char* vel = bytes.data() + kArrays + 16 * int64_t(n);
    int parked = 0;
    std::vector<std::pair<double, int>> motions;  // (motion, particle) when a share is checked
    for (int i = 0; i < n; ++i) {
      float p[3], v[3];
      std::memcpy(p, pos + 12 * int64_t(i), sizeof p);
      std::memcpy(v, vel + 12 * int64_t(i), sizeof v);
      if (Parked(p)) {
        ++parked;
        continue;
      }
      char what[200];
      const float s = limits.scale;
      if (limits.maxMotion >= 0.0f && size_t(i) < before.live.size() && before.live[size_t(i)]) {
        double d2 = 0.0;
        for (int a = 0; a < 3; ++a) {
          const double d = double(p[a]) * s - before.pos[size_t(i) * 3 + size_t(a)];
          d2 += d * d;
        }
        const double motion = std::sqrt(d2) * limits.framesPerSecond;
        if (limits.motionShare < 100.0f && std::isfinite(motion)) {
          motions.push_back({motion, i});
        } else if (!std::isfinite(motion) || motion > limits.maxMotion) {
          std::snprintf(what, sizeof what, "moved at %g from the frame before, above %g", motion,
                        double(limits.maxMotion));
          error = Fault(frame, i, what);
          return false;
        }
        summary.fastestMotion = std::max(summary.fastestMotion, float(motion));
      }
      const double speed = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]) * s;
      if (!std::isfinite(speed) || (limits.maxSpeed >= 0.0f && speed > limits.maxSpeed)) {
        std::snprintf(what, sizeof what, "speed %g above %g", speed, double(limits.maxSpeed));
        error = Fault(frame, i, what);
        return false;
      }
      summary.fastest = std::max(summary.fastest, float(speed));
      const float scaled[3] = {p[0] * s, p[1] * s, p[2] * s};
      if (limits.keepClear && limits.keepClear(frame, scaled)) {
        std::snprintf(what, sizeof what, "at %g %g %g, inside %s", double(scaled[0]), double(scaled[1]),
                      double(scaled[2]), limits.clearName.c_str());
        error = Fault(frame, i, what);
        return false;
      }
      top = std::max(top, p[2] * s);
      low = std::min(low, p[2] * s);
      bool in = limits.reach;
      for (int a = 0; a < 3 && in; ++a) in = p[a] * s >= limits.reachLo[a] && p[a] * s <= limits.reachHi[a];
      reached |= in;
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
    if (!motions.empty()) {
      // The share's slowest particles, as many as the share rounds up to.
      const size_t k = size_t(std::ceil(double(motions.size()) * limits.motionShare / 100.0));
      if (k > 0) {
        std::nth_element(motions.begin(), motions.begin() + long(k - 1), motions.end());
        const std::pair<double, int>& at = motions[k - 1];
        if (at.first > limits.maxMotion) {
          char what[200];
          std::snprintf(what, sizeof what, "%g%% of the particles move at up to %g from the frame before, above %g",
                        double(limits.motionShare), at.first, double(limits.maxMotion));
          error = Fault(frame, at.second, what);
          return false;
        }
      }
    }
    if (limits.maxMotion >= 0.0f) before.Take(bytes, n, limits.scale);
    if (limits.maxParked >= 0 && parked > limits.maxParked) {
      char what[100];
      std::snprintf(what, sizeof what, "frame %d: %d of %d particle(s) parked, more than %d", frame, parked, n,
                    limits.maxParked);
      error = what;
      return false;
    }
    if (limits.lowest && !(low <= limits.lowestZ)) {
      char what[100];
      std::snprintf(what, sizeof what, "frame %d: the lowest particle at height %g, above %g", frame, double(low),
                    double(limits.lowestZ));
      error = what;
      return false;
    }
    tops.push_back(top);
  }
  if (limits.falling) {
    // A rise of less than this from the lowest point since the last peak is
    // a particle at rest, not a rebound.
    const float kRise = 0.01f;
    float peak = 1e30f, trough = tops.empty() ? 0.0f : tops[0];
    for (size_t k = 1; k + 1 < tops.size(); ++k) {
      trough = std::min(trough, tops[k]);
      if (!(tops[k] > tops[k - 1] && tops[k] >= tops[k + 1] && tops[k] > trough + kRise)) continue;
      if (!(tops[k] < peak)) {
        char what[120];
        std::snprintf(what, sizeof what, "frame %d: a peak at height %g, not below the one before (%g)",
                      first + int(k), double(tops[k]), double(peak));
        error = what;
        return false;
      }
      peak = tops[k];
      trough = tops[k];
    }
  }
  if (limits.reach && !reached) {
    char what[160];
    std::snprintf(what, sizeof what, "no particle reached %g,%g,%g..%g,%g,%g", double(limits.reachLo[0]),
                  double(limits.reachLo[1]), double(limits.reachLo[2]), double(limits.reachHi[0]),
                  double(limits.reachHi[1]), double(limits.reachHi[2]));
    error = what;
    return false;
  }
  if (limits.wallMotion >= 0.0f) {
    summary.wallRms = summary.wallSamples ? std::sqrt(summary.wallRms / double(summary.wallSamples)) : 0.0;
    summary.innerRms = summary.innerSamples ? std::sqrt(summary.innerRms / double(summary.innerSamples)) : 0.0;
    if (!summary.wallSamples || !summary.innerSamples || !(summary.wallRms <= limits.wallMotion * summary.innerRms)) {
      char what[200];
      std::snprintf(what, sizeof what,
                    "velocity against motion: rms %g at the walls (%ld), %g farther in (%ld), more than %g times",
                    summary.wallRms, summary.wallSamples, summary.innerRms, summary.innerSamples,
                    double(limits.wallMotion));
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
