// The parameter block that the host side fills before every step and the
// kernels read. Plain 4-byte fields only, so the same header compiles for the
// CPU back-end (no CUDA headers) and under nvcc.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vorel_gpu {

struct SimParams {
  float gravity[3];          //   0
  float particleRadius;      //  12
  uint32_t gridSize[3];      //  16
  uint32_t numCells;         //  28
  float cellSize[3];         //  32
  uint32_t capacity;         //  44
  uint32_t reserved;         //  48
  uint32_t numParticles;     //  52
  uint32_t emittedThisStep;  //  56
  float h;                   //  60
  float mass;                //  64
  float restDensity;         //  68
  float selfDensity;         //  72
  float ppuv;                //  76  particles per unit volume
  float viscosity;           //  80
  int32_t numFaces;          //  84
  int32_t numVerts;          //  88
  float frameFraction;       //  92
  float initialDt;           //  96
  float reserved2;           // 100
  float collisionStrength;   // 104
  float bounce;              // 108
  float friction;            // 112
  float killMin[3];          // 116
  float killMax[3];          // 128
};

static_assert(sizeof(SimParams) == 140, "SimParams must stay 140 bytes");
static_assert(offsetof(SimParams, numParticles) == 52, "SimParams layout");
static_assert(offsetof(SimParams, selfDensity) == 72, "SimParams layout");
static_assert(offsetof(SimParams, ppuv) == 76, "SimParams layout");
static_assert(offsetof(SimParams, numFaces) == 84, "SimParams layout");
static_assert(offsetof(SimParams, killMax) + 2 * sizeof(float) == 136, "SimParams layout");

constexpr uint32_t kGridSide = 128;
constexpr uint32_t kNumCells = kGridSide * kGridSide * kGridSide;  // 0x200000
constexpr uint32_t kEmptyCell = 0xFFFFFFFFu;
constexpr float kKillMarker = 123456.0f;  // velocity w: kill at the next integration
constexpr float kParkedX = -1e6f;         // position x of a killed particle
constexpr float kFirstTimeStep = 0.001f;
constexpr float kMinTimeStep = 0.0001f;
constexpr float kFourPi = 12.566371f;
constexpr float kUnboundedBox = 1e12f;

}  // namespace vorel_gpu
