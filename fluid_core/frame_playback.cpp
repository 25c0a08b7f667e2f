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

namespace {
// SmoothPositions with the centre frame's positions already in `out`: the
// display has just read that frame whole, and reading it again (for the
// centre and once more as a member of the window) would cost two files.
void SmoothAround(const FrameCache& cache, int frame, std::vector<Vec3f>& out, int smoothFrames,
                  float threshold) {
  const int w = smoothFrames;
  const int lo = std::min(std::max(frame - w, 1), frame);
  const int hi = frame + w;
  // No distance is below a threshold that is not positive: each average
  // would be the centre alone, so no other frame needs reading.
  if (lo >= hi || !(threshold > 0.0f)) return;
  const int nCentre = int(out.size());

  // The window is lo .. hi-1, cut at the first frame that cannot be read;
  // the centre's own entry is its positions as given.
  const std::vector<Vec3f> reference = out;
  std::vector<std::vector<Vec3f>> others;
  std::vector<const std::vector<Vec3f>*> window;
  others.reserve(size_t(hi - lo));
  bool reachesCentre = false;
  for (int f = lo; f < hi; ++f) {
    if (f == frame) {
      window.push_back(&reference);
      reachesCentre = true;
      continue;
    }
    std::vector<Vec3f> pos;
    const int n = cache.ReadFramePositions(f, pos);
    if (n < 0) break;
    pos.resize(size_t(n));
    others.push_back(std::move(pos));
    window.push_back(&others.back());
  }
  // Without the centre in the window there is nothing to weigh the others
  // against: the centre positions are shown as read.
  if (!reachesCentre) return;

  std::vector<int> count(size_t(nCentre), 1);
  for (const std::vector<Vec3f>* frameIn : window) {
    const std::vector<Vec3f>& pos = *frameIn;
    const int n = std::min(nCentre, int(pos.size()));
    for (int j = 0; j < n; ++j) {
      if (Vec3Length(reference[size_t(j)] - pos[size_t(j)]) < threshold) {
        out[size_t(j)] += pos[size_t(j)];
        ++count[size_t(j)];
      }
    }
  }
  for (int j = 0; j < nCentre; ++j) out[size_t(j)] = out[size_t(j)] * (1.0f / float(count[size_t(j)]));
}
}  // namespace

bool FluidSolver::SmoothPositions(int frame, std::vector<Vec3f>& out, int smoothFrames,
                                  float threshold) const {
  const int nCentre = frameCache.ReadFramePositions(frame, out);
  if (nCentre < 0) {
    out.clear();
    return false;
  }
  out.resize(size_t(nCentre));  // the reader never shrinks its output
  SmoothAround(frameCache, frame, out, smoothFrames, threshold);
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
  bool useSmoothed = true;
  if (frame == whole) {
    // The frame just read holds the centre's positions as its file gives them.
    smoothed.resize(size_t(read));
    for (int i = 0; i < read; ++i) smoothed[size_t(i)] = displayParticles[size_t(i)].pos;
    SmoothAround(frameCache, int(whole), smoothed, smoothFrames, smoothDistance * h);
  } else {
    useSmoothed = SmoothPositions(int(whole), smoothed, smoothFrames, smoothDistance * h);
  }

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
