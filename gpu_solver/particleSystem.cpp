// Host side of the solver, written once for both back-ends: g++ builds it
// over Thrust's OpenMP system (the kernels run as host loops), nvcc builds it
// through cuda/particleSystem.cu over the CUDA system.
#include "gpu_solver/particleSystem.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include <thrust/copy.h>
#include <thrust/device_vector.h>
#include <thrust/extrema.h>
#include <thrust/fill.h>
#include <thrust/sort.h>

#include "gpu_solver/device.h"
#include "gpu_solver/radixsort.h"

namespace vorel_gpu {

// File name the fatal messages report for this source.
static const char* const kSource = "particleSystem";

struct DeviceArrays {
  thrust::device_vector<F4> pos;               // entry 0
  thrust::device_vector<F4> vel[2];            // entries 2, 3
  thrust::device_vector<float> vorData;        // entry 4
  thrust::device_vector<F4> verts;             // entry 5
  thrust::device_vector<F4> vertsOrigin;       // entry 6
  thrust::device_vector<F4> vertsEnd;          // entry 7
  thrust::device_vector<F4> sortedPos;         // entry 10
  thrust::device_vector<F4> sortedVel;         // entry 11
  thrust::device_vector<float> timeSteps;      // entry 12
  thrust::device_vector<KeyValuePair> hash[2]; // entries 13, 14
  thrust::device_vector<uint32_t> cellStart;   // entry 15
  thrust::device_vector<PushSprings> springs;  // per sorted index
};

namespace {

template <class T>
T* Raw(thrust::device_vector<T>& v) {
  return thrust::raw_pointer_cast(v.data());
}

// Runs a device operation; a failure in it ends the run with the line of
// the call. Allocation failures go through the out-of-memory path.
template <class Fn>
void Guard(int line, Fn&& fn) {
  try {
    fn();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    FatalCudaError(kSource, line, e.what());
  }
}

#if defined(__CUDACC__)
template <class F>
__global__ void LaunchKernel(F f, uint32_t n) {
  const uint32_t i = blockIdx.x * blockDim.x + threadIdx.x;
  if (i < n) f(i);
}

template <class F>
void Launch(uint32_t n, const F& f, uint32_t maxThreads = 0) {
  if (n == 0) return;
  uint32_t blocks, threads;
  if (maxThreads) {
    threads = std::min(maxThreads, n);
    blocks = (n + threads - 1) / threads;
  } else {
    ParticleSystem::ComputeLaunchSize(n, 128, &blocks, &threads);
  }
  LaunchKernel<<<blocks, threads>>>(f, n);
}
#else
// Below this many elements a parallel region costs more than it saves.
constexpr uint32_t kParallelMin = 2048;

template <class F>
void Launch(uint32_t n, const F& f, uint32_t = 0) {
  if (n == 0) return;
#pragma omp parallel for schedule(dynamic, 256) if (n >= kParallelMin)
  for (int64_t i = 0; i < int64_t(n); ++i) f(uint32_t(i));
}

}  // namespace

// Cell starts only change where particles were, so the CPU back-end clears
// those entries after the step instead of the whole table before it. The
// hashes are sorted: only the first particle of each cell clears its entry,
// so no two iterations write the same one.
void ClearCellStart::operator()(uint32_t i) const {
  const uint32_t key = particleHash[i].key;
  if (key < numCells && (i == 0 || particleHash[i - 1].key != key)) cellStart[key] = kEmptyCell;
}

namespace {

struct FillFloat {
  float* data;
  float value;
  void operator()(uint32_t i) const { data[i] = value; }
};

float MinOf(const float* data, uint32_t n) {
  float m = data[0];
#pragma omp parallel for reduction(min : m) if (n >= kParallelMin)
  for (int64_t i = 0; i < int64_t(n); ++i) m = std::min(m, data[i]);
  return m;
}
#endif

// The CPU back-end sorts with a library sort on (hash, index): the entries
// start in index order, so this is the permutation of the stable radix sort.
struct KeyValueLess {
  VOREL_HD bool operator()(const KeyValuePair& a, const KeyValuePair& b) const {
    return a.key < b.key || (a.key == b.key && a.value < b.value);
  }
};

F4 ToSolverAxes(const Vec3f& v) { return F4{v.x, v.z, v.y, 0.0f}; }
Vec3f ToFileAxes(const F4& v) { return Vec3f{v.x, v.z, v.y}; }

// Constants that follow from the particle radius.
void DeriveConstants(SimParams& p, float r) {
  p.particleRadius = r;
  p.h = r;
  for (float& c : p.cellSize) c = 1.99f * r;
  p.restDensity = 1000.0f;
  p.ppuv = 1.0f / (r * r * r);
  p.mass = 1000.0f * r * r * r;
  p.selfDensity = p.mass * 8.0f / (kFourPi * r * r * r);
}

void FillTimeSteps(DeviceArrays& d, uint32_t from, uint32_t to, float value) {
#if defined(__CUDACC__)
  Guard(__LINE__, [&] { thrust::fill(d.timeSteps.begin() + from, d.timeSteps.begin() + to, value); });
#else
  Launch(to - from, FillFloat{Raw(d.timeSteps) + from, value});
#endif
}

}  // namespace

uint32_t ParticleSystem::ReadFillHeader(const std::string& cacheDir, float* resolution) {
  FillHeader h;
  const std::string path = FillFilePath(cacheDir);
  if (!ReadFillFileHeader(path, &h)) {
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      std::fprintf(stderr, "Fill file %s is damaged; the run starts without it.\n", path.c_str());
    }
    *resolution = std::pow(6.0f, 0.333f);
    return 0;
  }
  *resolution = std::pow(h.ppuv, 0.333f);
  return uint32_t(h.count);
}

void ParticleSystem::ComputeLaunchSize(uint32_t n, uint32_t, uint32_t* blocks, uint32_t* threads) {
  const uint32_t most = DeviceMajor() < 2 ? 128u : 256u;
  *threads = std::max(1u, std::min(most, n));
  *blocks = (n + *threads - 1) / *threads;
}

ParticleSystem::ParticleSystem(const SolverSetup& setup, int32_t fromFrame, int32_t maxFrames) : m_setup(setup) {
  std::memset(&m_params, 0, sizeof m_params);
  m_lastColliderFrame = -1;
  m_currentVel = 0;
  m_otherVel = 1;
  float resolution;
  const uint32_t fill = ReadFillHeader(setup.cacheDir, &resolution);
  m_params.numParticles = m_params.capacity = fill;
  m_params.capacity += CountEmittedParticles(fromFrame, maxFrames, kSubSamples);
  resolution = std::min(resolution, kResolutionCap);
  const float r = 1.0f / resolution;
  for (float& c : m_params.cellSize) c = 1.99f * r;
  for (int a = 0; a < 3; ++a) m_params.gridSize[a] = m_gridSize[a];
  m_params.numCells = m_numCells;
  m_params.emittedThisStep = 0;
  m_params.initialDt = kFirstTimeStep;
  m_params.particleRadius = m_params.h = r;
  m_params.ppuv = resolution * resolution * resolution;
  m_params.restDensity = 1000.0f;
  m_params.mass = 1000.0f / (resolution * resolution * resolution);
  m_params.selfDensity = m_params.mass * 8.0f / (kFourPi * r * r * r);
  m_params.frameFraction = 0.0f;
  Initialize(maxFrames, uint32_t(fromFrame) * setup.ticksPerFrame);
}

ParticleSystem::~ParticleSystem() {
  if (m_bInitialized) Finalize();
}

void ParticleSystem::Initialize(int32_t maxFrames, uint32_t startTicks) {
  m_params.numVerts = m_params.numFaces = 0;
  ColliderGeometry first;
  const bool haveCollider = ReadColliderFile(ColliderFilePath(m_setup.cacheDir, startTicks), &first);
  LoadKillBoxes();
  for (int a = 0; a < 3; ++a) {
    m_params.killMin[a] = -kUnboundedBox;
    m_params.killMax[a] = kUnboundedBox;
  }
  const size_t cap = m_params.capacity;
  m_hPos.assign(cap, F4{0, 0, 0, 0});
  m_hVel.assign(cap, F4{0, 0, 0, 0});
  m_dev.reset(new DeviceArrays);
  DeviceArrays& d = *m_dev;
  Guard(__LINE__, [&] {
    d.pos.resize(cap);
    d.vel[0].resize(cap);
    d.vel[1].resize(cap);
    d.sortedPos.resize(cap);
    d.sortedVel.resize(cap);
    d.hash[0].resize(cap);
    d.hash[1].resize(cap);
    d.cellStart.resize(size_t(m_numCells) + 1, kEmptyCell);
    d.vorData.resize(cap);
    d.timeSteps.resize(cap);
    d.springs.resize(cap);
    if (m_params.numParticles)
      thrust::fill(d.timeSteps.begin(), d.timeSteps.begin() + m_params.numParticles, kFirstTimeStep);
  });
  if (haveCollider) SetColliderCounts(first.vertexCount, first.triangleCount);
  m_emissionCounts.assign(size_t(RunSubSamples(maxFrames, m_setup.ticksPerFrame, kSubSamples)), 0);
  m_bInitialized = true;
}

// Collider buffers follow the vertex count of the geometry being loaded, so
// a collider that appears later or changes its triangle count never
// overflows them.
void ParticleSystem::SetColliderCounts(uint32_t vertexCount, uint32_t triangleCount) {
  m_params.numVerts = int32_t(vertexCount);
  m_params.numFaces = int32_t(std::min(triangleCount, vertexCount / 3));
  if (!m_dev) return;
  DeviceArrays& d = *m_dev;
  if (d.verts.size() == vertexCount) return;
  m_vertsInterpolated = false;  // until a step places the new faces
  Guard(__LINE__, [&] {
    d.verts.resize(vertexCount);
    d.vertsOrigin.resize(vertexCount);
    d.vertsEnd.resize(vertexCount);
  });
}

void ParticleSystem::UploadColliderVertices(const std::vector<Vec3f>& verts, int entry) {
  m_hVerts.resize(verts.size());
  for (size_t i = 0; i < verts.size(); ++i) m_hVerts[i] = ToSolverAxes(verts[i]);
  thrust::device_vector<F4>& dst = entry == 6 ? m_dev->vertsOrigin : m_dev->vertsEnd;
  if (m_hVerts.empty()) return;
  Guard(__LINE__, [&] { thrust::copy(m_hVerts.begin(), m_hVerts.end(), dst.begin()); });
}

void ParticleSystem::LoadParticles(int32_t fromFrame, int32_t maxFrames) {
  LoadFillParticles(m_params.capacity);
  LoadEmittedParticles(fromFrame, maxFrames, kSubSamples);
  if (m_hPos.empty()) return;
  DeviceArrays& d = *m_dev;
  Guard(__LINE__, [&] {
    thrust::copy(m_hPos.begin(), m_hPos.end(), d.pos.begin());
    thrust::copy(m_hVel.begin(), m_hVel.end(), d.vel[m_currentVel].begin());
    thrust::copy(m_hVel.begin(), m_hVel.end(), d.vel[m_otherVel].begin());
  });
}

void ParticleSystem::LoadFillParticles(uint32_t capacity) {
  FillHeader h;
  std::vector<Vec3f> pos, vel;
  if (!ReadFillFile(FillFilePath(m_setup.cacheDir), capacity, &h, &pos, &vel)) return;
  for (size_t i = 0; i < pos.size(); ++i) {
    m_hPos[i] = ToSolverAxes(pos[i]);
    m_hVel[i] = ToSolverAxes(vel[i]);
  }
  DeriveConstants(m_params, 1.0f / std::pow(h.ppuv, 0.3333f));
}

// A run that starts after frame 0 begins with the first record at or after
// its start tick: records are found by their time, so a frame rate whose
// frames hold eleven records now and then still starts on the right one.
static bool SkipEmissionBefore(EmissionReader* in, uint64_t startTick) {
  int32_t tick = 0, n = 0;
  while (in->PeekTick(&tick) && tick >= 0 && uint64_t(tick) < startTick)
    if (!in->Skip(&n)) return false;
  return in->IsOpen();
}

uint32_t ParticleSystem::CountEmittedParticles(int32_t fromFrame, int32_t maxFrames, uint32_t subSamples) {
  EmissionReader in(EmissionFilePath(m_setup.cacheDir));
  int32_t n = 0;
  if (!SkipEmissionBefore(&in, uint64_t(std::max(fromFrame, 0)) * m_setup.ticksPerFrame)) return 0;
  uint64_t total = 0;
  const uint64_t samples = RunSubSamples(maxFrames, m_setup.ticksPerFrame, subSamples);
  for (uint64_t k = 0; k < samples && in.Skip(&n); ++k) total += uint32_t(n);
  return uint32_t(std::min<uint64_t>(total, 0xFFFFFFFFu - m_params.capacity));
}

void ParticleSystem::LoadEmittedParticles(int32_t fromFrame, int32_t maxFrames, uint32_t subSamples) {
  EmissionReader in(EmissionFilePath(m_setup.cacheDir));
  if (!SkipEmissionBefore(&in, uint64_t(std::max(fromFrame, 0)) * m_setup.ticksPerFrame)) return;
  size_t slot = m_params.numParticles;
  EmissionRecord rec;
  const size_t samples =
      std::min(m_emissionCounts.size(), size_t(RunSubSamples(maxFrames, m_setup.ticksPerFrame, subSamples)));
  for (size_t k = 0; k < samples && in.Next(&rec); ++k) {
    const size_t take = std::min(rec.positions.size(), m_hPos.size() - slot);
    m_emissionCounts[k] = int32_t(take);
    for (size_t i = 0; i < take; ++i, ++slot) {
      m_hPos[slot] = ToSolverAxes(rec.positions[i]);
      m_hVel[slot] = ToSolverAxes(rec.velocities[i]);
    }
  }
}

void ParticleSystem::LoadKillBoxes() {
  std::vector<KillBoxRow> rows;
  m_killBoxes.clear();
  if (!ReadKillBoxFile(KillBoxFilePath(m_setup.cacheDir), &rows)) return;
  for (const KillBoxRow& r : rows) {
    m_killBoxes.insert(m_killBoxes.end(), r.min, r.min + 3);
    m_killBoxes.insert(m_killBoxes.end(), r.max, r.max + 3);
  }
}

bool ParticleSystem::LoadColliderFrame(uint32_t ticks, bool sameFile, uint32_t subdivisions) {
  const int64_t frame = ticks / SubSampleTicks(m_setup.ticksPerFrame, subdivisions);
  if (frame <= m_lastColliderFrame) return false;
  const std::string path = ColliderFilePath(m_setup.cacheDir, frame * m_setup.ticksPerFrame);
  ColliderGeometry origin, end;
  if (!ReadColliderFile(path, &origin)) return false;
  m_lastColliderFrame = int32_t(frame);
  SetColliderCounts(origin.vertexCount, origin.triangleCount);
  UploadColliderVertices(origin.vertices, 6);
  const std::string next = sameFile ? path : ColliderFilePath(m_setup.cacheDir, (frame + 1) * m_setup.ticksPerFrame);
  // An end frame with other vertices cannot be interpolated against this
  // one: the collider then holds still until the next frame boundary.
  if (ReadColliderFile(next, &end) && end.vertexCount == origin.vertexCount)
    UploadColliderVertices(end.vertices, 7);
  else
    UploadColliderVertices(origin.vertices, 7);
  return true;
}

void ParticleSystem::AdvanceEmission(uint32_t ticks, int32_t maxFrames, uint32_t subSamples) {
  m_params.emittedThisStep = 0;
  const uint32_t target = ticks / SubSampleTicks(m_setup.ticksPerFrame, subSamples);
  const uint64_t samples =
      std::min<uint64_t>(RunSubSamples(maxFrames, m_setup.ticksPerFrame, subSamples), m_emissionCounts.size());
  while (m_nextSubSample < target) {
    if (m_nextSubSample < samples) {
      const uint32_t n = uint32_t(m_emissionCounts[m_nextSubSample]);
      const uint32_t room = m_params.capacity - m_params.numParticles;
      const uint32_t add = std::min(n, room);
      m_params.numParticles += add;
      m_params.emittedThisStep += add;
    }
    ++m_nextSubSample;
  }
}

void ParticleSystem::UpdateKillBox(uint32_t ticks) {
  const size_t rows = m_killBoxes.size() / 6;
  if (rows == 0) {
    for (int a = 0; a < 3; ++a) {
      m_params.killMin[a] = -kUnboundedBox;
      m_params.killMax[a] = kUnboundedBox;
    }
    return;
  }
  const uint32_t tpf = std::max(1u, m_setup.ticksPerFrame);
  // The table holds rows for frames 0..R-1; past its end the last row holds.
  const size_t k0 = std::min<size_t>(ticks / tpf, rows - 1);
  const size_t k1 = std::min<size_t>(size_t(ticks / tpf) + 1, rows - 1);
  const float f = float(ticks % tpf) / float(tpf);
  const float* a = &m_killBoxes[k0 * 6];
  const float* b = &m_killBoxes[k1 * 6];
  for (int i = 0; i < 3; ++i) {
    m_params.killMin[i] = a[i] + (b[i] - a[i]) * f;
    m_params.killMax[i] = a[i + 3] + (b[i + 3] - a[i + 3]) * f;
  }
}

void ParticleSystem::Step(uint32_t ticks, int32_t, uint32_t subSamples) {
  DeviceArrays& d = *m_dev;
  const SimParams p = m_params;
  const uint32_t n = p.numParticles;
  if (n == 0) return;
  F4* pos = Raw(d.pos);
  float* ts = Raw(d.timeSteps);
  KeyValuePair* hash = Raw(d.hash[0]);
  uint32_t* cellStart = Raw(d.cellStart);

  // 1-3: new particles integrate from the start of their sub-sample.
  if (p.emittedThisStep > 0) {
    const float since = float(ticks % SubSampleTicks(m_setup.ticksPerFrame, subSamples)) / float(kTicksPerSecond);
    FillTimeSteps(d, n - p.emittedThisStep, n, since);
  }
  // The colliders' faces at this step's sub-frame.
  auto placeFaces = [&] {
    Launch(uint32_t(p.numVerts) / 3, InterpolateVerts{Raw(d.vertsOrigin), Raw(d.vertsEnd), Raw(d.verts),
                                                      p.frameFraction, m_setup.frameRate});
    m_vertsInterpolated = true;
    CheckLaunch("integrate kernel execution failed", kSource, __LINE__);
  };
  // The faces where the last step left them. Before the first step, and
  // after new faces were loaded, there are none yet: they are placed first,
  // or a particle on a face, or within a step of it, went through it
  // unseen and was then pushed away on the far side.
  if (p.numVerts > 0 && !m_vertsInterpolated) placeFaces();
  const F4* lastVerts = p.numVerts > 0 ? Raw(d.verts) : nullptr;
  Launch(n, Integrate{p, Raw(d.vel[m_otherVel]), pos, Raw(d.vel[m_currentVel]), ts, lastVerts});
  std::swap(m_currentVel, m_otherVel);
  F4* velA = Raw(d.vel[m_currentVel]);
  F4* velB = Raw(d.vel[m_otherVel]);

  // 4-5: hash and sort by cell.
  Launch(n, CalcHash{p, pos, hash});
  CheckLaunch("Kernel execution failed", kSource, __LINE__);
#if defined(__CUDACC__)
  SortParticleHashes(hash, Raw(d.hash[1]), n, 32);
  // 6-7: cell starts, cell-ordered copies, density.
  Guard(__LINE__, [&] { thrust::fill(d.cellStart.begin(), d.cellStart.begin() + m_numCells, kEmptyCell); });
#else
  if (n >= kParallelMin)
    thrust::sort(d.hash[0].begin(), d.hash[0].begin() + n, KeyValueLess());
  else
    std::sort(hash, hash + n, KeyValueLess());
#endif
  F4* sPos = Raw(d.sortedPos);
  F4* sVel = Raw(d.sortedVel);
  Launch(n, ReorderDataAndFindCellStart{p, hash, pos, velA, sPos, sVel, cellStart}, 128);
  CheckLaunch("Kernel execution failed: reorderDataAndFindCellStartD", kSource, __LINE__);
  float* vor = Raw(d.vorData);
  Launch(n, ComputeDensity{p, vor, sPos, hash, cellStart});
  CheckLaunch("Kernel execution failed", kSource, __LINE__);

  // 8-10: time-step limits and accelerations from particles and colliders.
  FillTimeSteps(d, 0, n, kFirstTimeStep);
  F4* verts = p.numVerts > 0 ? Raw(d.verts) : nullptr;
  if (p.numVerts > 0) placeFaces();
  Launch(n, CollideParts{p, velB, vor, ts, sPos, sVel, hash, cellStart});
  PushSprings* springs = Raw(d.springs);
  Launch(n, CollideObjects{p, velB, ts, sPos, sVel, verts, hash, springs});
  CheckLaunch("Kernel execution failed", kSource, __LINE__);

  // 11: the step's time step, never below the floor.
#if defined(__CUDACC__)
  Guard(__LINE__, [&] {
    float smallest = *thrust::min_element(d.timeSteps.begin(), d.timeSteps.begin() + n);
    d.timeSteps[0] = std::max(smallest, kMinTimeStep);
  });
#else
  ts[0] = std::max(MinOf(ts, n), kMinTimeStep);
#endif

  // 12-13: velocities, then the updated slot becomes current.
  Launch(n, UpdateVel{p, velB, ts, sPos, sVel, hash, verts, springs});
  CheckLaunch("Kernel execution failed", kSource, __LINE__);
#if !defined(__CUDACC__)
  Launch(n, ClearCellStart{hash, cellStart, m_numCells});
#endif
  std::swap(m_currentVel, m_otherVel);
}

float ParticleSystem::LastTimeStep() {
  float dt = kFirstTimeStep;
  Guard(__LINE__, [&] { thrust::copy(m_dev->timeSteps.begin(), m_dev->timeSteps.begin() + 1, &dt); });
  return dt;
}

void ParticleSystem::DownloadState() {
  const uint32_t n = m_params.numParticles;
  if (n == 0) return;
  DeviceArrays& d = *m_dev;
  Guard(__LINE__, [&] {
    thrust::copy(d.pos.begin(), d.pos.begin() + n, m_hPos.begin());
    thrust::copy(d.vel[m_currentVel].begin(), d.vel[m_currentVel].begin() + n, m_hVel.begin());
  });
}

const std::vector<F4>& ParticleSystem::DownloadPositions() {
  DownloadState();
  return m_hPos;
}

const std::vector<F4>& ParticleSystem::DownloadVelocities() {
  DownloadState();
  return m_hVel;
}

std::vector<F4> ParticleSystem::DownloadColliderVertices() {
  std::vector<F4> out(m_dev->verts.size());
  if (out.empty()) return out;
  Guard(__LINE__, [&] { thrust::copy(m_dev->verts.begin(), m_dev->verts.end(), out.begin()); });
  return out;
}

bool ParticleSystem::WriteFrame(int32_t frame) {
  DownloadState();
  const uint32_t n = m_params.numParticles;
  if (n == 0) return true;
  std::vector<int32_t> ids;
  std::vector<Vec3f> pos, vel;
  ids.reserve(n);
  pos.reserve(n);
  vel.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (m_hPos[i].x == kParkedX) continue;
    ids.push_back(int32_t(i));
    pos.push_back(ToFileAxes(m_hPos[i]));
    vel.push_back(ToFileAxes(m_hVel[i]));
  }
  const std::string path = FrameFilePath(m_setup.cacheDir, frame);
  int error = 0;
  if (WriteSolverFrame(path, m_params.ppuv, ids, pos, vel, &error)) return true;
  std::fprintf(stderr, "Cannot write the frame file %s: %s\n", path.c_str(), std::strerror(error));
  return false;
}

void ParticleSystem::Finalize() {
  m_hPos.clear();
  m_hPos.shrink_to_fit();
  m_hVel.clear();
  m_hVel.shrink_to_fit();
  m_hVerts.clear();
  m_dev.reset();
  m_killBoxes.clear();
  m_emissionCounts.clear();
  m_bInitialized = false;
}

}  // namespace vorel_gpu
