// The solver program's one simulation object: every particle of the run
// (the fill and all later emission) is loaded at start and lives on the
// device; each Step runs the kernel sequence around the hash sort. The
// header is plain C++; the device arrays live behind DeviceArrays, which the
// back-end's build of particleSystem.cpp defines.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gpu_solver/particles_kernel.h"
#include "gpu_solver/sim_params.h"
#include "gpu_solver/solver_formats.h"

namespace vorel_gpu {

constexpr uint32_t kTicksPerSecond = 4800;
constexpr uint32_t kSubSamples = 10;  // emission sub-samples per frame
constexpr float kResolutionCap = 109.0f;

// What the whole run shares with the particle system.
struct SolverSetup {
  std::string cacheDir;
  uint32_t ticksPerFrame = 160;
  int32_t frameRate = 30;
};

// Ticks of one emission sub-sample, never 0 (frame rates above 480 would
// otherwise divide by zero).
inline uint32_t SubSampleTicks(uint32_t ticksPerFrame, uint32_t subSamples) {
  uint32_t s = subSamples ? ticksPerFrame / subSamples : ticksPerFrame;
  return s ? s : 1;
}

// Emission records of a run of maxFrames frames: one per sub-sample step
// across the run's ticks (frames whose ticks are not a multiple of the
// sub-sample count hold a record more now and then).
inline uint64_t RunSubSamples(int32_t maxFrames, uint32_t ticksPerFrame, uint32_t subSamples) {
  const uint64_t step = SubSampleTicks(ticksPerFrame, subSamples);
  return (uint64_t(maxFrames > 0 ? maxFrames : 0) * ticksPerFrame + step - 1) / step;
}

struct DeviceArrays;

// The CPU back-end's clearing of the cell starts its step used (one
// iteration per particle over the step's sorted hashes).
struct ClearCellStart {
  const KeyValuePair* particleHash;
  uint32_t* cellStart;
  uint32_t numCells;
  void operator()(uint32_t i) const;
};

class ParticleSystem {
 public:
  ParticleSystem(const SolverSetup& setup, int32_t fromFrame, int32_t maxFrames);
  ~ParticleSystem();
  ParticleSystem(const ParticleSystem&) = delete;
  ParticleSystem& operator=(const ParticleSystem&) = delete;

  bool IsInitialized() const { return m_bInitialized; }
  void LoadParticles(int32_t fromFrame, int32_t maxFrames);
  bool LoadColliderFrame(uint32_t ticks, bool sameFile, uint32_t subdivisions);
  void AdvanceEmission(uint32_t ticks, int32_t maxFrames, uint32_t subSamples);
  void UpdateKillBox(uint32_t ticks);
  void Step(uint32_t ticks, int32_t maxFrames, uint32_t subSamples);
  float LastTimeStep();
  // Writes the live particles as the frame's file; false (said on stderr,
  // with the file and why) when the file cannot be written.
  bool WriteFrame(int32_t frame);
  void Finalize();

  uint32_t LiveCount() const { return m_params.numParticles; }
  uint32_t Capacity() const { return m_params.capacity; }
  SimParams& Params() { return m_params; }
  const SimParams& Params() const { return m_params; }
  void ResetColliderFrame() { m_lastColliderFrame = -1; }
  int32_t LastColliderFrame() const { return m_lastColliderFrame; }
  int32_t CurrentVelocitySlot() const { return m_currentVel; }

  // Downloads the live positions and the current velocities into the host
  // arrays (what the frame writer does first) and returns them.
  const std::vector<F4>& DownloadPositions();
  const std::vector<F4>& DownloadVelocities();
  // Current collider vertices (entry 5) after the last step.
  std::vector<F4> DownloadColliderVertices();

  static void ComputeLaunchSize(uint32_t n, uint32_t blockSize, uint32_t* blocks, uint32_t* threads);

  // Reads the fill count and (stored value)^0.333; 0 and 6^0.333 without a file.
  static uint32_t ReadFillHeader(const std::string& cacheDir, float* resolution);

 private:
  void Initialize(int32_t maxFrames, uint32_t startTicks);
  void LoadFillParticles(uint32_t capacity);
  uint32_t CountEmittedParticles(int32_t fromFrame, int32_t maxFrames, uint32_t subSamples);
  void LoadEmittedParticles(int32_t fromFrame, int32_t maxFrames, uint32_t subSamples);
  void LoadKillBoxes();
  void SetColliderCounts(uint32_t vertexCount, uint32_t triangleCount);
  void UploadColliderVertices(const std::vector<Vec3f>& verts, int entry);
  void DownloadState();

  SolverSetup m_setup;
  bool m_bInitialized = false;
  std::vector<int32_t> m_emissionCounts;
  uint32_t m_nextSubSample = 0;
  int32_t m_lastColliderFrame = -1;
  // Whether the collider faces hold a step's positions (the next step's
  // integration keeps particles on their side of them).
  bool m_vertsInterpolated = false;
  std::vector<F4> m_hPos, m_hVel;
  std::vector<F4> m_hVerts;
  std::unique_ptr<DeviceArrays> m_dev;
  std::vector<float> m_killBoxes;  // 6 floats per frame row
  int32_t m_currentPos = 0, m_currentVel = 0, m_otherVel = 1;
  SimParams m_params;
  uint32_t m_gridSize[3] = {kGridSide, kGridSide, kGridSide};
  uint32_t m_numCells = kNumCells;
};

}  // namespace vorel_gpu
