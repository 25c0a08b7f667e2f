// Display playback of the cache: one frame or two interpolated, smoothed over
// neighbouring frames, thinned, with parked and expired particles marked.
#include "fluid_core/frame_playback.h"

#include <algorithm>
#include <cmath>

#include "fluid_core/solver.h"

DisplayThinning::DisplayThinning(int displayPercent) {
  percent = std::min(100, std::max(1, displayPercent));
  const double f = percent * 0.01;
  keepEvery = int(1.0 / f);
  skipEvery = 1;
  if (keepEvery < 2) {
    keepEvery = 1;
    if (percent < 100) skipEvery = int(1.0 / (1.0 - f));
  }
}

int FrameCache::ReadInterpolatedFrame(float x, std::vector<FluidParticle>& particles) const {
  const int lo = int(std::floor(x));
  const int hi = int(std::ceil(x));
  const float t = x - float(lo);
  // Frame lo is read straight into the output and only the positions of
  // frame hi are read: everything but the position comes from lo, and a
  // second vector of whole records would cost far more than the file.
  std::vector<Vec3f> next;
  const int nb = ReadFramePositions(hi, next);
  if (nb < 0) return -1;
  const int na = ReadFrame(lo, particles, 1.0f);
  if (na < 0) return -1;
  const int n = std::min(na, nb);
  particles.resize(size_t(n));
  for (int i = 0; i < n; ++i) {
    FluidParticle& p = particles[size_t(i)];
    p.pos = p.pos + (next[size_t(i)] - p.pos) * t;
    p.dead = 0;
  }
  return n;
}

bool FluidSolver::SmoothPositions(int frame, std::vector<Vec3f>& out, int smoothFrames,
                                  float threshold) const {
  const int w = smoothFrames;
  const int lo = std::min(std::max(frame - w, 1), frame);
  const int hi = frame + w;
  const int nCentre = frameCache.ReadFramePositions(frame, out);
  if (nCentre < 0) {
    out.clear();
    return false;
  }
  out.resize(size_t(nCentre));  // the reader never shrinks its output
  if (lo >= hi) return true;

  // The window is lo .. hi-1, cut at the first frame that cannot be read.
  std::vector<std::vector<Vec3f>> window;
  std::vector<int> counts;
  bool reachesCentre = false;
  for (int f = lo; f < hi; ++f) {
    std::vector<Vec3f> pos;
    const int n = frameCache.ReadFramePositions(f, pos);
    if (n < 0) break;
    pos.resize(size_t(n));
    window.push_back(std::move(pos));
    if (f == frame) reachesCentre = true;
  }
  // Without the centre in the window there is nothing to weigh the others
  // against: the centre positions are shown as read.
  if (!reachesCentre) return true;

  const std::vector<Vec3f> reference = out;
  std::vector<int> count(size_t(nCentre), 1);
  for (const std::vector<Vec3f>& pos : window) {
    const int n = std::min(nCentre, int(pos.size()));
    for (int j = 0; j < n; ++j) {
      if (Vec3Length(reference[size_t(j)] - pos[size_t(j)]) < threshold) {
        out[size_t(j)] += pos[size_t(j)];
        ++count[size_t(j)];
      }
    }
  }
  for (int j = 0; j < nCentre; ++j) out[size_t(j)] = out[size_t(j)] * (1.0f / float(count[size_t(j)]));
  return true;
}

bool FluidSolver::LoadSourceFrame(int sourceIndex, float frame, int expectedCount,
                                  int displayPercent, int smoothFrames, float smoothDistance,
                                  int flag, std::vector<Vec3f>& positions,
                                  std::vector<Vec3f>& velocities, std::vector<int32_t>& ages,
                                  std::vector<Vec3f>& auxVectors,
                                  std::vector<int32_t>& neighbourCounts) {
  (void)flag;
  const DisplayThinning thin(displayPercent);
  // The stored count sizes the buffers only as far as the file holds it.
  const bool inCache = frame >= 0.0f && frame < float(FrameCache::kMaxFrames);
  expectedCount = inCache ? frameCache.CountToRead(int(frame), expectedCount) : 0;
  positions.clear();
  velocities.clear();
  ages.clear();
  auxVectors.clear();
  neighbourCounts.clear();
  const size_t reserve = size_t(std::max(expectedCount, 0) / thin.keepEvery);
  positions.reserve(reserve);
  velocities.reserve(reserve);
  ages.reserve(reserve);
  auxVectors.reserve(reserve);
  neighbourCounts.reserve(reserve);
  if (!inCache) return false;  // no frame before 0 or beyond the cache (nor NaN)

  displayParticles.resize(size_t(std::max(expectedCount, 0)));
  const float whole = std::trunc(frame);
  const int read = frame != whole ? frameCache.ReadInterpolatedFrame(frame, displayParticles)
                                  : frameCache.ReadFrame(int(whole), displayParticles, 1.0f);
  if (read < 0) return false;
  MarkExpiredParticles(displayParticles, read);

  std::vector<Vec3f> smoothed;
  const bool useSmoothed = SmoothPositions(int(whole), smoothed, smoothFrames, smoothDistance * h);

  // Only the records this read filled: a buffer sized from a stale count
  // holds older particles beyond them.
  const float s = frameCache.Scale();
  for (int i = 0; i < read; ++i) {
    if (!thin.Shows(i)) continue;
    FluidParticle& p = displayParticles[size_t(i)];
    if (sourceIndex != -1 && p.sourceIndex != sourceIndex) continue;
    const Vec3f pos = (useSmoothed && i < int(smoothed.size())) ? smoothed[size_t(i)] : p.pos;
    if (Vec3Equal(pos, parkingPos)) p.age = 99999;
    positions.push_back(pos * s);
    velocities.push_back(p.vel * s);
    ages.push_back(p.age);
    auxVectors.push_back(p.pairAccel);
    neighbourCounts.push_back(p.fileNeighbourCount);
  }
  return true;
}
