// Cache folder of a fluid system and its particle frame files
// ("%05d.Vorel"): 16-byte header, 256 reserved bytes, then one array per
// particle field, little-endian.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fluid_core/vec3.h"

class FluidSolver;
struct FluidParticle;

// The position scale of a system whose "Scale" is 1 (S = 20 x "Scale").
constexpr float kDefaultFrameScale = 20.0f;

struct ParticleFrameHeader {
  uint32_t tag = 0;
  int32_t stamp = 0;
  int32_t count = 0;
  float particlesPerVolume = 0.0f;
};

// Byte layout of a particle frame file of n particles.
struct ParticleFrameFile {
  static constexpr int64_t kHeaderSize = 16;
  static constexpr int64_t kReservedSize = 256;
  static constexpr int64_t kArraysStart = kHeaderSize + kReservedSize;  // 272
  static constexpr int64_t kBytesPerParticle = 72;
  static int64_t Size(int64_t n) { return kArraysStart + kBytesPerParticle * n; }
  static int64_t SourceIndexOffset(int64_t) { return kArraysStart; }
  static int64_t PosOffset(int64_t n) { return kArraysStart + 4 * n; }
  static int64_t VelOffset(int64_t n) { return kArraysStart + 16 * n; }
  static int64_t AgeOffset(int64_t n) { return kArraysStart + 28 * n; }
  static int64_t PairAccelOffset(int64_t n) { return kArraysStart + 32 * n; }
  static int64_t NeighbourCountOffset(int64_t n) { return kArraysStart + 44 * n; }
  static int64_t TexCoordOffset(int64_t n) { return kArraysStart + 48 * n; }
  static int64_t TagOffset(int64_t n) { return kArraysStart + 60 * n; }
  static int64_t SpacingOffset(int64_t n) { return kArraysStart + 64 * n; }
  static int64_t MassOffset(int64_t n) { return kArraysStart + 68 * n; }
};

// What a particle frame of either solver can hold, for the readers that
// show one (the GPU front-end, the cache baker). Solver coordinates beyond
// kMaxSolverCoordinate are no place a particle can be (the GPU solver parks
// what it kills at -1e6 and writes none of it). A particles-per-volume is
// usable when the spacing it gives lies between 1 / kMaxSolverCoordinate
// and kMaxSolverCoordinate solver units, far wider than any "Source LOD"
// gives: a surface meshed at any other would be a wrong one.
constexpr float kMaxSolverCoordinate = 1e6f;
bool UsableParticlesPerVolume(float particlesPerVolume);
// A coordinate beyond kMaxSolverCoordinate (NaN is not judged here).
inline bool BeyondSolverWorld(float c) { return c > kMaxSolverCoordinate || c < -kMaxSolverCoordinate; }

// What identifies a file as written: device, inode, length and last change
// (a write aside and rename makes a new inode; a write in place changes the
// time). Two reads that find one identity found the same bytes.
struct FrameFileIdentity {
  uint64_t device = 0, inode = 0;
  int64_t size = -1, changeNs = 0;
  bool operator==(const FrameFileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && changeNs == o.changeNs;
  }
  bool operator!=(const FrameFileIdentity& o) const { return !(*this == o); }
};
// False (identity untouched) when the path cannot be stat'ed.
bool FileIdentityOf(const std::string& path, FrameFileIdentity& identity);

// A frame file's bytes as ReadFrame takes them: the header and the arrays
// (ParticleFrameFile's layout less its first kArraysStart bytes), either
// read from the file or lent by a caller that holds the file's bytes.
struct FrameBytes {
  ParticleFrameHeader header;
  const unsigned char* arrays = nullptr;
  FrameFileIdentity identity;  // of the file the bytes are
  std::unique_ptr<unsigned char[]> owned;
  // The bytes at a file offset (ParticleFrameFile's, from the file's start).
  const unsigned char* At(int64_t fileOffset) const { return arrays + (fileOffset - ParticleFrameFile::kArraysStart); }
};

class FrameCache {
 public:
  static constexpr int kMaxFrames = 10000;

  uint32_t frameTag = 0x6DD41E2Du;
  std::string cacheRoot;
  std::string systemName;
  std::string folderOverride;
  std::string spareA;
  std::string spareB;

  FrameCache() = default;

  // Position scale between solver units and the host units of this
  // system's files and display: 20 x its own "Scale" (each system keeps its
  // own, whichever is solved or shown). SetScale takes S itself; a value
  // that is not a positive finite number leaves the scale as it was.
  float Scale() const { return scale_; }
  float InvScale() const { return invScale_; }
  void SetScale(float s);

  std::string SystemFolder() const;
  std::string SurfaceFolder() const;
  std::string FramePath(int frame) const;
  std::string MeshPath(int frame) const;

  // Writes slots 0..count-1 of the solver's particles; the file length, or 0
  // when the file could not be written completely (nothing is left behind,
  // an earlier file of that frame stays, errno says why).
  // `written`, when given, is the buffer the file is built in: it holds the
  // file's bytes after a complete write (left empty otherwise), for a caller
  // that would read the frame back, and keeps its room for the next frame.
  int WriteFrame(int frame, int count, int32_t stamp, double particlesPerVolume,
                 const FluidSolver& solver, std::vector<unsigned char>* written = nullptr) const;
  // What the surface build reads of a frame, taken from the bytes of a frame
  // file (WriteFrame's `written`): positions in solver units, source
  // indexes and ages, exactly as ReadFrame gives them from the file. The
  // count, or -1 for bytes that ReadFrame would refuse (another tag, a
  // length its count does not give, a position, velocity, spacing or mass
  // that is not finite); outputs are then left empty. `accepted`: these
  // very bytes were taken by an earlier call here or by ViewFrameBytes, so
  // their arrays are not searched for non-finite values again.
  int DecodeSurfaceInputs(const std::vector<unsigned char>& file, std::vector<Vec3f>& positions,
                          std::vector<int32_t>& sourceIndexes, std::vector<int32_t>& ages,
                          bool accepted = false) const;
  // Particles kept, or -1 for a missing, unreadable or malformed file (its
  // tag must be frameTag, its length 272 + 72 N, its positions, velocities,
  // spacings and masses finite). Records beyond those read are untouched.
  int ReadFrame(int frame, std::vector<FluidParticle>& particles, float keepFraction,
                ParticleFrameHeader* header = nullptr) const;
  int ReadFramePositions(int frame, std::vector<Vec3f>& positions) const;
  // Frame `frame`'s bytes, checked as ReadFrame checks them, with the
  // identity of the file they were read from; false (out undefined) where
  // ReadFrame gives -1.
  bool ReadFrameBytes(int frame, FrameBytes& out) const;
  // The same check on the bytes of a frame file a caller holds (WriteFrame's
  // `written`), lent to `out`, which must not outlive them; `identity` is
  // the file's as the caller knows it; `accepted` as DecodeSurfaceInputs'.
  bool ViewFrameBytes(const std::vector<unsigned char>& file, const FrameFileIdentity& identity,
                      FrameBytes& out, bool accepted = false) const;
  // Whether a solve can go on from the frame: ReadFrame takes it and every
  // spacing and mass in it is above 0 (nothing is kept).
  bool FrameReadsWhole(int frame) const;
  // The particles at a fractional frame x: positions lerped by slot between
  // frames floor(x) and ceil(x), everything else from floor(x). The count
  // (the smaller of the two frames', `particles` sized to it), or -1 when
  // either frame cannot be read (the output may then hold part of a read).
  // Defined with the display playback.
  int ReadInterpolatedFrame(float x, std::vector<FluidParticle>& particles) const;
  // Reads the frame's surface mesh; vertexCount receives the second-array
  // count (equal to the vertex count in every file the mesher writes).
  bool ReadMeshFrame(int frame, int& vertexCount, int& faceCount, std::vector<Vec3f>& vertices,
                     std::vector<Vec3f>& secondVertices, std::vector<Vec3f>& mapPoints,
                     std::vector<std::array<int32_t, 3>>& faces) const;
  // How far the cache reaches: fills the per-frame tables and counters and
  // gives the solver the stamp and particle density of the accepted frames.
  void Scan(FluidSolver& solver, std::vector<int32_t>& frameParticleCount, int& lastSolved,
            std::vector<uint8_t>& frameMeshed, int& lastMeshed, int maxFrames = kMaxFrames) const;

  // Reads only the 16-byte header of a frame; false when missing, short, of
  // another tag or of a length that its count does not give.
  bool ReadHeader(int frame, ParticleFrameHeader& header) const;
  // The number of records a caller may size a buffer to before reading
  // frame: a count stored elsewhere (a scene, a packed cache's header), cut
  // to what the frame file holds; 0 when the file is no frame. A stored
  // count never drives an allocation by itself.
  int CountToRead(int frame, int storedCount) const;

  // Packs frames 0..lastSolved and meshes 0..min(lastMeshed, lastSolved)
  // into one file (packed_cache.h); false when the target cannot be written
  // whole or a source file changes while it is copied (no target is left
  // then, and an older file of that name stays as it was).
  bool Pack(const std::string& path, int lastSolved, int lastMeshed) const;

 private:
  float scale_ = kDefaultFrameScale;
  float invScale_ = 1.0f / kDefaultFrameScale;
};
