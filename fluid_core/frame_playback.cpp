// Display playback of the cache: one frame or two interpolated, smoothed over
// neighbouring frames, thinned, with parked and expired particles marked.
#include "fluid_core/frame_playback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

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
// The frames a display smoothing window averages over, opened around a centre
// frame whose positions, `reference`, the caller has already read: the
// display has just read that frame whole, and reading it again (for the
// centre and once more as a member of the window) would cost two files.
// Each particle is averaged on its own (At), so the display fills its
// outputs straight from the window, without an array of averages and one
// of counts between.
struct SmoothWindow {
  float threshold = 0.0f;
  // Squared distances (double) below nearSq are surely within the
  // threshold, above farSq surely not; see Within.
  double nearSq = 0.0, farSq = 0.0;
  // The window's frames in order, the centre's own positions among them;
  // empty when nothing is averaged.
  std::vector<const std::vector<Vec3f>*> frames;
  std::vector<std::vector<Vec3f>> read;  // the members read from their files

  // reference[j] averaged with each frame's j-th position that lies within
  // the threshold of it (frames too short for j left out); reference[j]
  // itself when nothing is averaged.
  Vec3f At(const std::vector<Vec3f>& reference, size_t j) const {
    const Vec3f& centre = reference[j];
    if (frames.empty()) return centre;
    Vec3f sum = centre;
    int count = 1;
    for (const std::vector<Vec3f>* frame : frames) {
      if (j >= frame->size()) continue;
      const Vec3f& p = (*frame)[j];
      if (Within(centre - p)) {
        sum += p;
        ++count;
      }
    }
    return sum * (1.0f / float(count));
  }

  // Vec3Length(d) < threshold, exactly, taking the square root only near
  // the threshold: the root, rounded to float, lies within a relative 1e-7
  // of the exact one, so a squared length 1e-6 (relative) clear of the
  // threshold's square decides alone. Most particles are far inside (the
  // centre itself always is), and a root per member was most of the work.
  bool Within(const Vec3f& d) const {
    const double sq = (double)d.x * d.x + (double)d.y * d.y + (double)d.z * d.z;
    if (sq < nearSq) return true;
    if (sq > farSq) return false;
    return Vec3Length(d) < threshold;
  }
};

// Opens `window` over frames frame-w .. frame+w-1 (no lower than 1), cut at
// the first frame that cannot be read. `known(f)` gives frame f's positions
// as ReadFramePositions would read them, where the caller still holds them
// (nullptr: the file is read).
template <typename Known>
void OpenSmoothWindow(const FrameCache& cache, int frame, const std::vector<Vec3f>& reference,
                      int smoothFrames, float threshold, const Known& known, SmoothWindow& window) {
  window.frames.clear();
  window.read.clear();
  window.threshold = threshold;
  const double near = double(threshold) * (1.0 - 1e-6), far = double(threshold) * (1.0 + 1e-6);
  window.nearSq = near * near;
  window.farSq = far * far;
  const int w = smoothFrames;
  const int lo = std::min(std::max(frame - w, 1), frame);
  const int hi = frame + w;
  // No distance is below a threshold that is not positive: each average
  // would be the centre alone, so no other frame needs reading.
  if (lo >= hi || !(threshold > 0.0f)) return;

  // Room for every member up front: frames points into it.
  window.read.reserve(size_t(hi - lo));
  bool reachesCentre = false;
  for (int f = lo; f < hi; ++f) {
    if (f == frame) {
      window.frames.push_back(&reference);
      reachesCentre = true;
      continue;
    }
    if (const std::vector<Vec3f>* held = known(f)) {
      window.frames.push_back(held);
      continue;
    }
    std::vector<Vec3f> pos;
    const int n = cache.ReadFramePositions(f, pos);
    if (n < 0) break;
    pos.resize(size_t(n));
    window.read.push_back(std::move(pos));
    window.frames.push_back(&window.read.back());
  }
  // Without the centre in the window there is nothing to weigh the others
  // against: the centre positions are shown as read.
  if (!reachesCentre) window.frames.clear();
}

const std::vector<Vec3f>* NoneKnown(int) { return nullptr; }

Vec3f Vec3At(const unsigned char* p) {
  float v[3];
  std::memcpy(v, p, 12);
  return Vec3f(v[0], v[1], v[2]);
}

int32_t Int32At(const unsigned char* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
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
  const std::vector<Vec3f> reference = out;
  SmoothWindow window;
  OpenSmoothWindow(frameCache, frame, reference, smoothFrames, threshold, NoneKnown, window);
  for (size_t j = 0; j < reference.size(); ++j) out[j] = window.At(reference, j);
  return true;
}

bool FluidSolver::LoadSourceFrame(int sourceIndex, float frame, int expectedCount,
                                  int displayPercent, int smoothFrames, float smoothDistance,
                                  int flag, std::vector<Vec3f>& positions,
                                  std::vector<Vec3f>& velocities, std::vector<int32_t>& ages,
                                  std::vector<Vec3f>& auxVectors,
                                  std::vector<int32_t>& neighbourCounts, const HeldFrame* held,
                                  bool withAuxVectors) {
  (void)flag;
  const DisplayThinning thin(displayPercent);
  const bool inCache = frame >= 0.0f && frame < float(FrameCache::kMaxFrames);
  const float whole = std::trunc(frame);
  auto clearOutputs = [&] {
    positions.clear();
    velocities.clear();
    ages.clear();
    auxVectors.clear();
    neighbourCounts.clear();
  };
  if (inCache && frame == whole) {
    // The outputs keep their size until the frame is read: a redraw of as
    // many particles as the last then writes each element once, rather
    // than zeroing megabytes before filling them.
    const bool shown = LoadWholeSourceFrame(sourceIndex, int(whole), thin, smoothFrames, smoothDistance,
                                            positions, velocities, ages, auxVectors, neighbourCounts, held,
                                            withAuxVectors);
    if (!shown) clearOutputs();
    return shown;
  }
  clearOutputs();
  // The stored count sizes the buffers only as far as the file holds it.
  expectedCount = inCache ? frameCache.CountToRead(int(frame), expectedCount) : 0;
  const size_t reserve = size_t(std::max(expectedCount, 0) / thin.keepEvery);
  positions.reserve(reserve);
  velocities.reserve(reserve);
  ages.reserve(reserve);
  if (withAuxVectors) auxVectors.reserve(reserve);
  neighbourCounts.reserve(reserve);
  if (!inCache) return false;  // no frame before 0 or beyond the cache (nor NaN)

  displayParticles.resize(size_t(std::max(expectedCount, 0)));
  const int read = frameCache.ReadInterpolatedFrame(frame, displayParticles);
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
    if (withAuxVectors) auxVectors.push_back(p.pairAccel);
    neighbourCounts.push_back(p.fileNeighbourCount);
  }
  return true;
}

bool FluidSolver::LoadWholeSourceFrame(int sourceIndex, int frame, const DisplayThinning& thin,
                                       int smoothFrames, float smoothDistance,
                                       std::vector<Vec3f>& positions, std::vector<Vec3f>& velocities,
                                       std::vector<int32_t>& ages, std::vector<Vec3f>& auxVectors,
                                       std::vector<int32_t>& neighbourCounts, const HeldFrame* held,
                                       bool withAuxVectors) {
  // The fields are taken straight from the file's arrays, as ReadFrame
  // would take them into records: a record per particle is a pass over far
  // more memory than the file, for the few fields shown.
  FrameBytes file;
  const bool lent = held && held->frame == frame && held->bytes;
  if (lent ? !frameCache.ViewFrameBytes(*held->bytes, held->identity, file, held->accepted)
           : !frameCache.ReadFrameBytes(frame, file))
    return false;
  const int n = file.header.count;
  const float inv = frameCache.InvScale();
  // The buffers are the display's own, kept from frame to frame: taken
  // fresh, their megabytes cost a page fault a page at every redraw.
  std::vector<Vec3f> centre;
  centre.swap(displaySpare_);
  centre.resize(size_t(n));
  const unsigned char* posAt = file.At(ParticleFrameFile::PosOffset(n));
  for (int i = 0; i < n; ++i) centre[size_t(i)] = Vec3At(posAt + 12 * int64_t(i)) * inv;

  const std::string path = frameCache.FramePath(frame);
  auto known = [&](int f) -> const std::vector<Vec3f>* {
    const KeptPositions& k = displayKept_;
    if (k.frame != f || k.invScale != inv || k.path != frameCache.FramePath(f)) return nullptr;
    FrameFileIdentity now;
    return FileIdentityOf(k.path, now) && now == k.identity ? &k.positions : nullptr;
  };
  SmoothWindow window;
  OpenSmoothWindow(frameCache, frame, centre, smoothFrames, smoothDistance * h, known, window);

  const unsigned char* sourceAt = file.At(ParticleFrameFile::SourceIndexOffset(n));
  auto shows = [&](int i) {
    return thin.Shows(i) && (sourceIndex == -1 || Int32At(sourceAt + 4 * int64_t(i)) == sourceIndex);
  };
  // Counted first, so that the outputs are sized once and filled in place.
  size_t shown = 0;
  for (int i = 0; i < n; ++i) shown += shows(i) ? 1 : 0;
  positions.resize(shown);
  velocities.resize(shown);
  ages.resize(shown);
  auxVectors.resize(withAuxVectors ? shown : 0);
  neighbourCounts.resize(shown);
  const float s = frameCache.Scale();
  const unsigned char* velAt = file.At(ParticleFrameFile::VelOffset(n));
  const unsigned char* ageAt = file.At(ParticleFrameFile::AgeOffset(n));
  const unsigned char* accelAt = file.At(ParticleFrameFile::PairAccelOffset(n));
  const unsigned char* neighboursAt = file.At(ParticleFrameFile::NeighbourCountOffset(n));
  size_t k = 0;
  for (int i = 0; i < n; ++i) {
    if (!shows(i)) continue;
    const Vec3f pos = window.At(centre, size_t(i));
    positions[k] = pos * s;
    velocities[k] = (Vec3At(velAt + 12 * int64_t(i)) * inv) * s;
    ages[k] = Vec3Equal(pos, parkingPos) ? 99999 : Int32At(ageAt + 4 * int64_t(i));
    if (withAuxVectors) auxVectors[k] = Vec3At(accelAt + 12 * int64_t(i));
    neighbourCounts[k] = Int32At(neighboursAt + 4 * int64_t(i));
    ++k;
  }

  displayKept_.frame = frame;
  displayKept_.path = path;
  displayKept_.identity = file.identity;
  displayKept_.invScale = inv;
  displayKept_.positions.swap(centre);
  displaySpare_.swap(centre);  // the room of the positions kept before
  return true;
}
