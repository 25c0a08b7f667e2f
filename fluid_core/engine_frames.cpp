// FluidEngine: frame saving, cache statistics and the display feed of the
// emitters (emitter points, particles at a frame or a time).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fluid_core/engine.h"
#include "host/core/files.h"

bool FluidEngine::WrittenFrameOnDisk(int n) const {
  if (written_.frame != n || written_.bytes.empty() || written_.path != solver->frameCache.FramePath(n)) return false;
  FrameFileIdentity now;
  return FileIdentityOf(written_.path, now) && now == written_.identity;
}

void FluidEngine::ForgetWrittenFrame() {
  written_.frame = -1;
  written_.path.clear();
  written_.accepted = false;
}

int FluidEngine::SaveFrame(int n) {
  if (n < 0 || n >= kMaxFrames) return 0;
  solver->frameCache.cacheRoot = cacheRoot;
  solver->frameCache.systemName = systemName;
  int length = 0;
  ScopedSeconds timed(timings.frameWrites);
  ForgetWrittenFrame();
  const bool built = frameParticleCount[n] != 0;  // in written_'s buffer
  length = built ? solver->WriteFrame(n, &written_.bytes) : solver->WriteEmptyFrame(n);
  if (length != 0 && built && !written_.bytes.empty()) {
    written_.frame = n;
    written_.path = solver->frameCache.FramePath(n);
    if (!FileIdentityOf(written_.path, written_.identity)) ForgetWrittenFrame();
  }
  if (length == 0) {
    NoteCacheFailure(solver->frameCache.FramePath(n), errno);
    return 0;
  }
  cacheScale = FrameScale();
  if (frameParticleCount[n] == 0) return length;
  if (!isHoldingTime) particleCacheBytes += length;
  ShowStatisticsIfOpen();
  return length;
}

void FluidEngine::NoteCacheFailure(const std::string& path, int err) {
  cacheFailure = path + ": " + (err != 0 ? std::strerror(err) : "cannot be read back");
}

void FluidEngine::EstimateParticleCacheSize() {
  if (lastSolved < 0) {
    particleCacheBytes = 0.0;
    return;
  }
  double particles = 0.0;
  for (int k = 0; k <= lastSolved && k < kMaxFrames; ++k) particles += double(uint32_t(frameParticleCount[k]));
  // One header and block per stored frame, frames 0..lastSolved.
  particleCacheBytes = double(lastSolved + 1) * 272.0 + particles * 72.0;
}

void FluidEngine::ComputeSurfaceCacheSize() {
  surfaceCacheBytes = 0.0;
  std::fill(meshBytesCounted_.begin(), meshBytesCounted_.end(), 0);
  // Every meshed frame 0..lastSolved; sizes are taken without opening the
  // files (thousands of them must not use up descriptors).
  for (int k = 0; k <= lastSolved && k < kMaxFrames; ++k) {
    const int64_t size = vorel::host::FileSize(solver->frameCache.MeshPath(k));
    if (size <= 0) continue;
    surfaceCacheBytes += double(size);
    meshBytesCounted_[size_t(k)] = size;
  }
}

std::vector<std::string> FluidEngine::StatisticsTexts() {
  EstimateParticleCacheSize();
  std::vector<std::string> texts;
  char text[96];
  const double s = surfaceCacheBytes;
  if (s > 1073741824.0)
    std::snprintf(text, sizeof text, "Surface cache: %6.2lf GB", s * 9.313225746154785e-10);
  else if (s > 1048576.0)
    std::snprintf(text, sizeof text, "Surface cache: %6.2lf MB", s * 9.5367431640625e-7);
  else
    std::snprintf(text, sizeof text, "Surface cache: %4.1lf KB", s * 0.0009765625);
  texts.push_back(text);
  const float p = float(particleCacheBytes);
  if (p > 1048576.0f)
    std::snprintf(text, sizeof text, "Particle cache: %6.1f MB", double(p * 9.536743e-7f));
  else
    std::snprintf(text, sizeof text, "Particle cache: %4.1f KB", double(p * 0.0009765625f));
  texts.push_back(text);
  const int count = (lastSolved >= 0 && lastSolved < kMaxFrames) ? frameParticleCount[lastSolved] : 0;
  std::snprintf(text, sizeof text, "Particle count: %d", count);
  texts.push_back(text);
  std::snprintf(text, sizeof text, "Frames solved: %d", lastSolved);
  texts.push_back(text);
  std::snprintf(text, sizeof text, "Meshes solved: %d", std::max(0, lastMeshed));
  texts.push_back(text);
  return texts;
}

void FluidEngine::ShowStatistics(HWND dialog) {
  static const int kControls[5] = {1087, 1088, 1053, 1054, 1055};
  std::vector<std::string> texts = StatisticsTexts();
  if (!owner || !dialog) return;
  for (int i = 0; i < 5; ++i) owner->SetDialogText(dialog, kControls[i], texts[size_t(i)].c_str());
}

// ---------------------------------------------------------------------------
// Display feed

void FluidEngine::GetSourceEmitterPoints(int i, std::vector<Point3>& points, Point3& direction) {
  if (!SlotUsable(i)) return;
  FluidSource* src = sourceObjects[i];
  IParamBlock2* pb = src->SourceParamBlock();
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  const int layerRead = ReadIntParam(pb, kEmitFillingPercentage, t, 0);
  ReadIntParam(pb, kEmitParticlesFilled, t, 0);
  src->emissionType = ReadIntParam(pb, kEmitEmissionType, t, 0);
  const int disabled = ReadIntParam(pb, kEmitDisableSource, t, 0);

  if (src->emissionType != 2) {
    Point3 dir(0.0f, 0.0f, 0.0f);
    if (disabled == 0 && t == ip->GetAnimRange().Start()) {
      Matrix3 tm = src->node ? src->storedTM : Matrix3();
      tm.NoScale();
      Point3 n = CrossProd(tm.GetRow(0), tm.GetRow(1));
      float len = n.Length();
      if (len > 0.0f) n = n / len;
      tm.SetRow(2, n);
      dir = n;
      const std::vector<Point3>& shape = src->ShapePoints();
      points.reserve(points.size() + shape.size());
      for (const Point3& q : shape) points.push_back(tm.PointTransform(q * FrameScale()));
    }
    direction = dir;
    return;
  }

  if (!src->HasPickedObject() || !src->fillPending) return;
  const std::vector<int>& layers = src->FillLayerCounts();
  int L = 0, N = 0;
  if (!layers.empty()) {
    L = std::max(0, std::min(layerRead, int(layers.size()) - 1));
    N = layers[size_t(L)];
  }
  const bool changed = src->fillLayer != L || src->fillCount != N;
  src->fillLayer = L;
  src->fillCount = N;
  // Written back only when they change: every write notifies the owner, and a
  // host that evaluates on each notification would come back here forever.
  if (pb && ReadIntParam(pb, kEmitFillingPercentage, t, L) != L)
    pb->SetValue(ParamID(kEmitFillingPercentage), t, L);
  if (pb && ReadIntParam(pb, kEmitParticlesFilled, t, N) != N)
    pb->SetValue(ParamID(kEmitParticlesFilled), t, N);
  if (disabled == 0 && layerRead != 0) {
    const std::vector<Vec3f>& fill = src->FillPoints();
    const int m = std::min<int>(N, int(fill.size()));
    points.reserve(points.size() + size_t(std::max(m, 0)));
    for (int k = 0; k < m; ++k) points.push_back(Point3(fill[k].x, fill[k].y, fill[k].z) * FrameScale());
  }
  if (changed && owner) owner->InvalidateValidity();
}

bool FluidEngine::GetSourceParticlesAtFrame(int i, int n, std::vector<Vec3f>& positions,
                                            std::vector<Vec3f>& velocities,
                                            std::vector<int32_t>& ages, std::vector<Vec3f>& accels,
                                            std::vector<int32_t>& neighbourCounts, int flag,
                                            bool renderFlag, bool withAccels) {
  (void)flag;
  IParamBlock2* spb = owner ? owner->SystemParamBlock() : nullptr;
  const TimeValue t = GetCOREInterface()->GetTime();
  const float flick = ReadFloatParam(spb, kFluidFlickFilter, t, 0.0f);
  const int samples = ReadIntParam(spb, kFluidFilterSamples, t, 0);
  IParamBlock2* pb = (i >= 0 && i < kMaxSources && sourceObjects[i]) ? sourceObjects[i]->SourceParamBlock() : nullptr;
  int p = renderFlag ? ReadIntParam(pb, kEmitParticlesShownInRender, t, 100)
                     : ReadIntParam(pb, kEmitParticlesShown, t, 100);
  if (p < 2) p = 1;
  const int s = std::max(1, std::min(lastSolved - n, samples));
  // Frames before the cache start or beyond the tables are not stored.
  if (n < 0 || n >= kMaxFrames || lastSolved < n) {
    positions.clear();
    velocities.clear();
    ages.clear();
    accels.clear();
    neighbourCounts.clear();
    return false;
  }
  ScopedSeconds timed(timings.displayReads);
  // The engine's own point vector is lent to the reader for its smoothing.
  (void)feedPoints;
  // The frame just solved is shown before it is meshed: its bytes, while the
  // file is still the one written, save reading it back.
  FluidSolver::HeldFrame held;
  if (WrittenFrameOnDisk(n)) {
    held.frame = n;
    held.bytes = &written_.bytes;
    held.identity = written_.identity;
    held.accepted = written_.accepted;
  }
  const bool shown = solver->LoadSourceFrame(i, float(n), frameParticleCount[n], p, s, flick, flag, positions,
                                             velocities, ages, accels, neighbourCounts, &held, withAccels);
  if (shown && held.bytes) written_.accepted = true;
  return shown;
}

bool FluidEngine::GetSourceParticlesAtTime(int i, TimeValue t, std::vector<Vec3f>& positions,
                                           std::vector<Vec3f>& velocities,
                                           std::vector<int32_t>& ages, std::vector<Vec3f>& accels,
                                           std::vector<int32_t>& neighbourCounts, bool renderFlag,
                                           bool withAccels) {
  const int T = GetCOREInterface()->GetTicksPerFrame();
  // Real division on a non-negative remainder: C's % is negative for t < 0.
  int rem = t % T;
  if (rem < 0) rem += T;
  const float f = float(rem) / float(T);
  const int a = int(std::floor(double(t) / T)) - startFrame;
  const int b = int(std::ceil(double(t) / T)) - startFrame;
  std::vector<Vec3f> pb, vb, ab;
  std::vector<int32_t> ageB, nb;
  const bool okA =
      GetSourceParticlesAtFrame(i, a, positions, velocities, ages, accels, neighbourCounts, 1, renderFlag, withAccels);
  const bool okB = GetSourceParticlesAtFrame(i, b, pb, vb, ageB, ab, nb, 1, renderFlag, withAccels);
  // Position, velocity and the direction that facing particles follow are
  // interpolated; ages are whole frames (99999 marks a parked particle) and
  // stay those of the earlier frame, so a particle that dies between the two
  // frames is not shown with an age half-way to the marker.
  if (okA && okB && !positions.empty()) {
    const size_t m = std::min(positions.size(), pb.size());
    for (size_t k = 0; k < m; ++k) {
      positions[k] = positions[k] + (pb[k] - positions[k]) * f;
      if (k < velocities.size() && k < vb.size()) velocities[k] = velocities[k] + (vb[k] - velocities[k]) * f;
      if (k < accels.size() && k < ab.size()) accels[k] = accels[k] + (ab[k] - accels[k]) * f;
    }
  }
  return true;
}
