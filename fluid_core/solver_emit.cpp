// Emission: per-frame source refresh, layered emission per step, ready point
// lists and source frame files.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fluid_core/emission_layers.h"
#include "fluid_core/host_link.h"
#include "fluid_core/solver.h"

namespace {
float Rand01() { return float(solver_host::Rand15()) / 32767.0f; }

float AxisCoord(const Vec3f& e, const Vec3f& axis) {
  float l2 = Vec3LengthSq(axis);
  return l2 > 0.0f ? Vec3Dot(e, axis) / l2 : 0.0f;  // no gizmo yet: 0, not 0/0
}

// The emitter's velocity from its move over an interval; none for a move
// faster than kEmitterJumpSpeed, which is the emitter put elsewhere, not
// moving (its particles would otherwise leave at that speed).
constexpr float kEmitterJumpSpeed = 100.0f;
Vec3f EmitterVelocity(const Vec3f& move, float interval) {
  if (!(interval > 0.0f)) return Vec3f();
  const Vec3f v = move * (1.0f / interval);
  return Vec3Length(v) <= kEmitterJumpSpeed ? v : Vec3f();
}

std::string FrameFileName(int frame, const char* pattern) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, frame);
  return name;
}
}  // namespace

void FluidSolver::PrepareSourceForFrame(SolverSource& source, float thickness, float lod,
                                        uint32_t tag, const Vec3f& position,
                                        const Vec3f& direction, float pressure,
                                        float frameDuration, int sourceIndex, const float* tm,
                                        int randomEmission, const Hileras* region,
                                        uint8_t emitFlag, int lifeFrames, float speedVariation,
                                        uint8_t activeParticles) {
  source.thickness = thickness;
  source.sourceIndex = sourceIndex;
  source.lifeFrames = lifeFrames;
  source.emitFlag = emitFlag;
  source.randomEmission = randomEmission;
  source.region = region;
  source.activeParticles = activeParticles;
  source.speedVariation = speedVariation;
  if (tm) std::memcpy(source.tm, tm, sizeof source.tm);
  source.tag = tag;
  source.spacing = 1.0f / lod;
  source.mass = source.spacing * restDensity * source.spacing * source.spacing;

  if (pressure > 0.0f) source.prevPos = source.pos;
  source.pos = position;
  source.pressure = pressure;
  source.emitterVel = frameDuration < 0.0001f ? Vec3f() : EmitterVelocity(source.pos - source.prevPos, frameDuration);
  // The sub-steps measure the emitter's motion from where this frame starts.
  // Earlier positions of the record (where it was made, or where a frame
  // that ran no sub-step found it, before the user moved it into place) are
  // no motion: taken as the last position, a move made before the solve
  // would leave with the first particles at its own speed.
  source.prevPos = source.pos;

  source.dir = direction;
  if (!Vec3NormalizeSafe(source.dir)) source.dir = Vec3f();  // no direction, no push

  std::vector<Vec3f> layers[2];
  BuildEmissionLayers(region, 0.45 * source.spacing, 0.0001 * source.spacing, layers);
  for (int l = 0; l < 2; ++l) {
    source.layerPoints[l] = layers[l];
    source.layerPointCounts[l] = int(layers[l].size());
  }

  solver_host::SeedRand(solver_host::ClockMs());
  const float layerStep = 1.2f * source.spacing;
  source.emissionPoints.clear();
  source.emissionPoints.reserve(layers[0].size() + layers[1].size());
  for (int l = 0; l < 2; ++l)
    for (const Vec3f& p : layers[l]) {
      float u = source.randomEmission ? Rand01() * 0.95f : 0.0f;
      source.emissionPoints.emplace_back(p.x, p.y, (float(l) + u) * layerStep);
    }
  source.pointsStale = 0;
}

void FluidSolver::UpdateSourceSubStep(SolverSource& source, const float* tm,
                                      const Vec3f& direction, const Vec3f& position,
                                      float subStepLength, float pressure) {
  source.pressure = pressure;
  source.dir = direction;
  source.pos = position;
  if (tm) std::memcpy(source.tm, tm, sizeof source.tm);
  source.emitterVel = EmitterVelocity(source.pos - source.prevPos, subStepLength);
  source.prevPos = source.pos;
}

bool FluidSolver::EmitSources(float t1, float stepLength) {
  std::vector<int> newSlots;
  for (SolverSource* s : sources)
    if (s && s->pressure != 0.0f) EmitFromSource(*s, stepLength, newSlots);
  for (int slot : newSlots) {
    FluidParticle& p = particles[slot];
    p.clock = t1;
    p.dead = 0;
    p.isNew = 1;
    p.age = 0;
  }
  return !newSlots.empty();
}

void FluidSolver::EmitFromSource(SolverSource& source, float stepLength, std::vector<int>& newSlots) {
  if (!(source.pressure > 0.0f)) return;  // sqrt of a negative pressure is no speed
  const float speed = std::sqrt(source.pressure / restDensity * 2.0f);
  const float travel = speed * stepLength;
  const float layerStep = 1.2f * source.spacing;
  const float period = 2.0f * layerStep;
  const float jitter = 0.6f * source.spacing;
  const float p0 = source.phase;
  const float total = p0 + travel;
  if (!(period > 0.0f) || !std::isfinite(total)) return;
  const float firstSpan = std::min(total, period) - p0;
  const float wrapsF = std::floor(total / period);
  const long wraps = long(std::min(wrapsF, 1e6f));
  const float rest = total > period ? total - float(wraps) * period : 0.0f;

  // Counted before anything is allocated: a rate far beyond what the solver
  // holds would otherwise take the machine's memory on its way to failing.
  int64_t wanted = int64_t(std::max(wraps - 1, 0L)) * int64_t(source.emissionPoints.size());
  for (const Vec3f& P : source.emissionPoints)
    wanted += (p0 < P.z && P.z < p0 + firstSpan ? 1 : 0) + (P.z < rest ? 1 : 0);
  if (int64_t(count) + wanted > particleCap) {
    refusedEmission = std::max(refusedEmission, wanted);
    return;
  }

  solver_host::SeedRand(solver_host::ClockMs());
  auto R = [&]() { return Rand01() * 0.95f * layerStep - jitter; };

  std::vector<Vec3f> cand;
  for (const Vec3f& P : source.emissionPoints) {
    if (p0 < P.z && P.z < p0 + firstSpan) cand.emplace_back(P.x, P.y, travel - P.z + p0 + R());
    if (P.z < rest)
      cand.emplace_back(P.x, P.y, R() + travel - P.z - float(wraps - 1) * period - firstSpan);
  }
  for (long k = 0; k <= wraps - 2; ++k)
    for (const Vec3f& P : source.emissionPoints)
      cand.emplace_back(P.x, P.y, R() + travel - P.z - float(k) * period - firstSpan);

  const float* tm = source.tm;
  ReserveSlots(int(cand.size()));
  // Only once the particles have their room: a step that runs out of memory
  // leaves the source where it was.
  source.phase = rest == 0.0f ? p0 + firstSpan : rest;
  if (source.phase == period) source.phase = 0.0f;
  if (!cand.empty())
    for (ColliderMesh* K : colliders) K->BuildFaceIndex();  // the engine may have rebuilt them
  for (const Vec3f& q : cand) {
    Vec3f pos(q.x * tm[0] + q.y * tm[3] + q.z * tm[6] + tm[9], q.x * tm[1] + q.y * tm[4] + q.z * tm[7] + tm[10],
              q.x * tm[2] + q.y * tm[5] + q.z * tm[8] + tm[11]);
    Vec3f vel = source.dir * ((Rand01() * source.speedVariation + 1.0f) * speed) + source.emitterVel;
    // Placed as far along the jet as it flew during the step: a fast jet
    // into a long step went through a tank's lid on its way.
    KeepOnItsSide(pos, vel, source.spacing,
                  Vec3f(q.x * tm[0] + q.y * tm[3] + tm[9], q.x * tm[1] + q.y * tm[4] + tm[10],
                        q.x * tm[2] + q.y * tm[5] + tm[11]));
    if (!StartClearOfFaces(pos, vel, source)) continue;
    int slot = TakeSlot();
    newSlots.push_back(slot);
    PlaceParticle(slot);
    FluidParticle& p = particles[slot];
    p.pos = pos;
    p.vel = vel;
    Vec3f e = p.pos - texOrigin;
    p.texCoord = Vec3f(AxisCoord(e, texAxisU), AxisCoord(e, texAxisV), AxisCoord(e, texAxisW));
    p.sourceIndex = source.sourceIndex;
    p.tag = source.tag;
    p.spacing = source.spacing;
    p.mass = source.mass;
    p.active = source.activeParticles;
  }
}

int64_t FluidSolver::DefaultParticleCap() {
  const int64_t inFrame = (INT32_MAX - ParticleFrameFile::kArraysStart) / ParticleFrameFile::kBytesPerParticle;
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return inFrame;
  return std::min(inFrame, int64_t(pages) * pageSize / 2 / kSolveBytesPerParticle);
}

void FluidSolver::AddParticles(float lod, uint32_t tag, const std::vector<Vec3f>& points, int n,
                               float time, int sourceIndex, uint8_t active) {
  const float s = 1.0f / lod;
  const float m = s * restDensity * s * s;
  n = std::min(n, (int)points.size());
  ReserveSlots(n);
  for (int k = 0; k < n; ++k) {
    int slot = TakeSlot();
    PlaceParticle(slot);
    FluidParticle& p = particles[slot];
    p.pos = points[k];
    p.clock = time;
    p.sourceIndex = sourceIndex;
    p.tag = tag;
    p.spacing = s;
    p.mass = m;
    p.active = active;
  }
}

int FluidSolver::ReadSourceFile(float lod, float time, int frame, int sourceIndex,
                                const std::string& directory) {
  std::string path = directory + "/" + FrameFileName(frame, "%05d.source");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  int32_t head[3];
  long length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  if (std::fread(head, 4, 3, f) != 3 || head[2] != 0 || head[1] <= 0 || length < 140) {
    std::fclose(f);
    return 0;
  }
  // The count is trusted only as far as the file really holds records.
  const long available = (length - 140) / 24;
  const int n = int(std::min<long>(head[1], available));
  std::vector<float> rec(size_t(n) * 6);
  int got = 0;
  if (n > 0 && std::fseek(f, 140, SEEK_SET) == 0) got = int(std::fread(rec.data(), 24, size_t(n), f));
  std::fclose(f);

  const float s = 1.0f / lod;
  const float m = s * restDensity * s * s;
  ReserveSlots(got);
  for (int k = 0; k < got; ++k) {
    int slot = TakeSlot();
    PlaceParticle(slot);
    FluidParticle& p = particles[slot];
    const float* r = &rec[size_t(k) * 6];
    p.pos = Vec3f(r[0], r[1], r[2]) * frameCache.InvScale();
    p.vel = Vec3f(r[3], r[4], r[5]) * frameCache.InvScale();
    p.clock = time;
    p.sourceIndex = sourceIndex;
    p.spacing = s;
    p.mass = m;
    p.active = 1;
  }
  return got;
}
