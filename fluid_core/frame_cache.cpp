// Cache folder naming, particle frame files, the surface-mesh read and the
// cache scan.
#include "fluid_core/frame_cache.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "fluid_core/solver.h"
#include "host/core/files.h"
#include "mesher/mesh_record.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "frame files are little-endian and written from memory as they stand");

void FrameCache::SetScale(float s) {
  if (!(s > 0.0f) || !std::isfinite(s)) return;
  scale_ = s;
  invScale_ = 1.0f / s;
}

namespace {
FrameFileIdentity IdentityOfStat(const struct stat& st) {
  FrameFileIdentity id;
  id.device = uint64_t(st.st_dev);
  id.inode = uint64_t(st.st_ino);
  id.size = int64_t(st.st_size);
  id.changeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + int64_t(st.st_ctim.tv_nsec);
  return id;
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Numbered(const char* pattern, int frame) {
  char name[32];
  std::snprintf(name, sizeof name, pattern, frame);
  return name;
}

// Host paths may come with either separator and a trailing one.
std::string NormaliseRoot(const std::string& given) {
  std::string root = vorel::host::NormalizePath(given);
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

template <typename T>
void PutArray(unsigned char* dst, const T* src, size_t n) {
  std::memcpy(dst, src, n * sizeof(T));
}

// Whether n floats from p are all finite.
bool AllFinite(const unsigned char* p, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    float v;
    std::memcpy(&v, p + 4 * i, 4);
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// The arrays of a frame file as read. The storage is left uninitialised:
// the read fills every byte, and zeroing megabytes first is a pass for
// nothing.
struct FrameBody {
  std::unique_ptr<unsigned char[]> bytes;
  const unsigned char* data() const { return bytes.get(); }
};

// Whether n floats from p are all finite and above 0.
bool AllPositive(const unsigned char* p, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    float v;
    std::memcpy(&v, p + 4 * i, 4);
    if (!(v > 0.0f) || !std::isfinite(v)) return false;
  }
  return true;
}

// Whether a body of n particles (the arrays, from the file's offset
// kArraysStart on) holds finite positions and velocities, and finite
// spacings and masses (above 0 with `solvable`).
bool FiniteBody(const unsigned char* body, int64_t n, bool solvable = false) {
  const int64_t o = -ParticleFrameFile::kArraysStart;  // offsets are from the file start
  // Positions and velocities are adjacent, and so are spacings and masses.
  const unsigned char* spacings = body + (o + ParticleFrameFile::SpacingOffset(n));
  return AllFinite(body + (o + ParticleFrameFile::PosOffset(n)), 6 * n) &&
         (solvable ? AllPositive(spacings, 2 * n) : AllFinite(spacings, 2 * n));
}

// Reads a whole frame file after checking that its length is the one its
// particle count gives, and, with the body, that positions, velocities,
// spacings and masses are finite (one NaN spreads to every neighbour at the
// next step), and with `solvable` that spacings and masses are above 0 (a
// particle of no spacing or mass makes a NaN at the next step; readers that
// only show positions take such frames); false for anything else.
bool LoadFrameFile(const std::string& path, uint32_t tag, ParticleFrameHeader& h,
                   FrameBody& body, bool wantBody, bool solvable = false,
                   FrameFileIdentity* identity = nullptr) {
  const int64_t length = vorel::host::FileSize(path);
  if (length < ParticleFrameFile::kArraysStart) return false;
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  if (identity) {
    // Of the file opened: a replacement after the open is another identity.
    struct stat st;
    if (::fstat(::fileno(f.get()), &st) != 0) return false;
    *identity = IdentityOfStat(st);
  }
  if (std::fread(&h, sizeof h, 1, f.get()) != 1) return false;
  // A file of another kind (a fill file, a solver frame) can have a length
  // that fits its count; its tag tells it apart.
  if (h.tag != tag || h.count < 0 || ParticleFrameFile::Size(h.count) != length) return false;
  if (!wantBody) return true;
  const size_t bytes = size_t(length - ParticleFrameFile::kArraysStart);
  body.bytes.reset(new unsigned char[bytes]);
  if (std::fseek(f.get(), long(ParticleFrameFile::kArraysStart), SEEK_SET) != 0) return false;
  if (bytes != 0 && std::fread(body.bytes.get(), 1, bytes, f.get()) != bytes) return false;
  // The body begins at the arrays (and is empty for a frame of no particle).
  return FiniteBody(body.data(), h.count, solvable);
}
}  // namespace

bool FileIdentityOf(const std::string& path, FrameFileIdentity& identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  identity = IdentityOfStat(st);
  return true;
}

bool UsableParticlesPerVolume(float n) {
  // The spacing n^(-1/3) within [1/L, L] is n within [L^-3, L^3].
  constexpr double kLimit = double(kMaxSolverCoordinate) * kMaxSolverCoordinate * kMaxSolverCoordinate;
  return double(n) >= 1.0 / kLimit && double(n) <= kLimit;
}

std::string FrameCache::SystemFolder() const {
  if (!folderOverride.empty()) return folderOverride;
  return NormaliseRoot(cacheRoot) + "/Vorel/" + systemName + "/";
}

std::string FrameCache::SurfaceFolder() const {
  if (!folderOverride.empty()) return folderOverride + "/surface/";
  return NormaliseRoot(cacheRoot) + "/Vorel/" + systemName + "/surface/";
}

std::string FrameCache::FramePath(int frame) const { return SystemFolder() + Numbered("%05d.Vorel", frame); }

std::string FrameCache::MeshPath(int frame) const { return SurfaceFolder() + Numbered("m%05d.bin", frame); }

int FrameCache::WriteFrame(int frame, int count, int32_t stamp, double particlesPerVolume,
                           const FluidSolver& solver, std::vector<unsigned char>* written) const {
  const int n = std::max(0, std::min(count, (int)solver.particles.size()));
  const int64_t size = ParticleFrameFile::Size(n);
  // A caller's buffer keeps its room from frame to frame: a fresh one of
  // megabytes costs a page fault per page at every frame.
  // Nor is it zeroed first (a pass over megabytes for nothing): the loop
  // below writes every byte of the arrays, and only the header and the
  // reserved bytes are set here.
  std::vector<unsigned char> local;
  std::vector<unsigned char>& buf = written ? *written : local;
  buf.resize(size_t(size));
  std::memset(buf.data(), 0, size_t(ParticleFrameFile::kArraysStart));
  ParticleFrameHeader h;
  h.tag = frameTag;
  h.stamp = stamp;
  h.count = n;
  h.particlesPerVolume = (float)particlesPerVolume;
  std::memcpy(buf.data(), &h, sizeof h);
  unsigned char* base = buf.data();
  const float S = scale_;
  const std::vector<FluidParticle>& P = solver.particles;
  // One array per field, each a full pass over the particles.
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    const FluidParticle& p = P[i];
    const float pos[3] = {p.pos.x * S, p.pos.y * S, p.pos.z * S};
    const float vel[3] = {p.vel.x * S, p.vel.y * S, p.vel.z * S};
    const float acc[3] = {p.pairAccel.x, p.pairAccel.y, p.pairAccel.z};
    const float tex[3] = {p.texCoord.x, p.texCoord.y, p.texCoord.z};
    const int32_t neighbours = p.neighbourCount;
    PutArray(base + ParticleFrameFile::SourceIndexOffset(n) + 4 * i, &p.sourceIndex, 1);
    PutArray(base + ParticleFrameFile::PosOffset(n) + 12 * i, pos, 3);
    PutArray(base + ParticleFrameFile::VelOffset(n) + 12 * i, vel, 3);
    PutArray(base + ParticleFrameFile::AgeOffset(n) + 4 * i, &p.age, 1);
    PutArray(base + ParticleFrameFile::PairAccelOffset(n) + 12 * i, acc, 3);
    PutArray(base + ParticleFrameFile::NeighbourCountOffset(n) + 4 * i, &neighbours, 1);
    PutArray(base + ParticleFrameFile::TexCoordOffset(n) + 12 * i, tex, 3);
    PutArray(base + ParticleFrameFile::TagOffset(n) + 4 * i, &p.tag, 1);
    PutArray(base + ParticleFrameFile::SpacingOffset(n) + 4 * i, &p.spacing, 1);
    PutArray(base + ParticleFrameFile::MassOffset(n) + 4 * i, &p.mass, 1);
  }

  // Written beside the target and renamed over it: a full disk leaves the
  // previous file in place and reports 0 rather than a truncated success.
  // errno is left as the failing call set it, so callers can say why.
  const std::string path = FramePath(frame);
  const vorel::host::AsideWrite w = vorel::host::WriteFileAside(path, buf.data(), buf.size());
  if (w.error != 0) {
    buf.clear();
    errno = w.error;
    return 0;
  }
  const int64_t length = vorel::host::FileSize(path);
  if (length != size) {
    buf.clear();
    errno = EIO;
    return 0;
  }
  return int(length);
}

int FrameCache::DecodeSurfaceInputs(const std::vector<unsigned char>& file, std::vector<Vec3f>& positions,
                                    std::vector<int32_t>& sourceIndexes, std::vector<int32_t>& ages,
                                    bool accepted) const {
  positions.clear();
  sourceIndexes.clear();
  ages.clear();
  ParticleFrameHeader h;
  if (int64_t(file.size()) < ParticleFrameFile::kArraysStart) return -1;
  std::memcpy(&h, file.data(), sizeof h);
  if (h.tag != frameTag || h.count < 0 || ParticleFrameFile::Size(h.count) != int64_t(file.size())) return -1;
  const int n = h.count;
  const unsigned char* b = file.data();
  if (!accepted && !FiniteBody(b + ParticleFrameFile::kArraysStart, n)) return -1;
  positions.resize(size_t(n));
  sourceIndexes.resize(size_t(n));
  ages.resize(size_t(n));
  const float inv = invScale_;
  // As ReadFrame takes them: each stored coordinate times the inverse scale.
  // One thread: the copy is a few bytes a particle, less than waking a team
  // that has gone to sleep since the frame's last parallel pass.
  for (int i = 0; i < n; ++i) {
    float v[3];
    std::memcpy(v, b + ParticleFrameFile::PosOffset(n) + 12 * int64_t(i), 12);
    positions[size_t(i)] = Vec3f(v[0], v[1], v[2]) * inv;
    std::memcpy(&sourceIndexes[size_t(i)], b + ParticleFrameFile::SourceIndexOffset(n) + 4 * int64_t(i), 4);
    std::memcpy(&ages[size_t(i)], b + ParticleFrameFile::AgeOffset(n) + 4 * int64_t(i), 4);
  }
  return n;
}

bool FrameCache::ReadHeader(int frame, ParticleFrameHeader& header) const {
  FrameBody none;
  return LoadFrameFile(FramePath(frame), frameTag, header, none, false);
}

int FrameCache::CountToRead(int frame, int storedCount) const {
  ParticleFrameHeader h;
  if (storedCount <= 0 || !ReadHeader(frame, h)) return 0;
  return std::min(storedCount, h.count);
}

int FrameCache::ReadFrame(int frame, std::vector<FluidParticle>& particles, float keepFraction,
                          ParticleFrameHeader* header) const {
  ParticleFrameHeader h;
  FrameBody body;
  if (!LoadFrameFile(FramePath(frame), frameTag, h, body, true)) return -1;
  if (header) *header = h;
  const int n = h.count;
  if ((int)particles.size() < n) particles.resize(n);

  std::vector<int> slotOf(n, -1);
  int kept = 0;
  for (int i = 0; i < n; ++i)
    if (int(double(i) * keepFraction) == kept) slotOf[i] = kept++;

  const unsigned char* b = body.data();
  const int64_t o = -ParticleFrameFile::kArraysStart;  // offsets are from the file start
  const float inv = invScale_;
  auto f32 = [&](int64_t off) {
    float v;
    std::memcpy(&v, b + off, 4);
    return v;
  };
  auto i32 = [&](int64_t off) {
    int32_t v;
    std::memcpy(&v, b + off, 4);
    return v;
  };
  auto v3 = [&](int64_t off) { return Vec3f(f32(off), f32(off + 4), f32(off + 8)); };
#pragma omp parallel for schedule(static) if (n >= kParallelMin)
  for (int i = 0; i < n; ++i) {
    if (slotOf[i] < 0) continue;
    FluidParticle& p = particles[slotOf[i]];
    p.sourceIndex = i32(o + ParticleFrameFile::SourceIndexOffset(n) + 4 * i);
    p.pos = v3(o + ParticleFrameFile::PosOffset(n) + 12 * i) * inv;
    p.vel = v3(o + ParticleFrameFile::VelOffset(n) + 12 * i) * inv;
    p.age = i32(o + ParticleFrameFile::AgeOffset(n) + 4 * i);
    p.pairAccel = v3(o + ParticleFrameFile::PairAccelOffset(n) + 12 * i);
    p.fileNeighbourCount = i32(o + ParticleFrameFile::NeighbourCountOffset(n) + 4 * i);
    p.texCoord = v3(o + ParticleFrameFile::TexCoordOffset(n) + 12 * i);
    p.tag = uint32_t(i32(o + ParticleFrameFile::TagOffset(n) + 4 * i));
    p.spacing = f32(o + ParticleFrameFile::SpacingOffset(n) + 4 * i);
    p.mass = f32(o + ParticleFrameFile::MassOffset(n) + 4 * i);
  }
  return kept;
}

bool FrameCache::FrameReadsWhole(int frame) const {
  ParticleFrameHeader h;
  FrameBody body;
  return LoadFrameFile(FramePath(frame), frameTag, h, body, true, true);
}

int FrameCache::ReadFramePositions(int frame, std::vector<Vec3f>& positions) const {
  ParticleFrameHeader h;
  FrameBody body;
  if (!LoadFrameFile(FramePath(frame), frameTag, h, body, true)) return -1;
  const int n = h.count;
  if ((int)positions.size() < n) positions.resize(n);
  const unsigned char* src = body.data() + 4 * int64_t(n);
  for (int i = 0; i < n; ++i) {
    float v[3];
    std::memcpy(v, src + 12 * int64_t(i), 12);
    positions[i] = Vec3f(v[0], v[1], v[2]) * invScale_;
  }
  return n;
}

bool FrameCache::ReadFrameBytes(int frame, FrameBytes& out) const {
  FrameBody body;
  if (!LoadFrameFile(FramePath(frame), frameTag, out.header, body, true, false, &out.identity)) return false;
  out.owned = std::move(body.bytes);
  out.arrays = out.owned.get();
  return true;
}

bool FrameCache::ViewFrameBytes(const std::vector<unsigned char>& file, const FrameFileIdentity& identity,
                                FrameBytes& out, bool accepted) const {
  if (int64_t(file.size()) < ParticleFrameFile::kArraysStart) return false;
  ParticleFrameHeader& h = out.header;
  std::memcpy(&h, file.data(), sizeof h);
  if (h.tag != frameTag || h.count < 0 || ParticleFrameFile::Size(h.count) != int64_t(file.size())) return false;
  if (!accepted && !FiniteBody(file.data() + ParticleFrameFile::kArraysStart, h.count)) return false;
  out.owned.reset();
  out.arrays = file.data() + ParticleFrameFile::kArraysStart;
  out.identity = identity;
  return true;
}

bool FrameCache::ReadMeshFrame(int frame, int& vertexCount, int& faceCount,
                               std::vector<Vec3f>& vertices, std::vector<Vec3f>& secondVertices,
                               std::vector<Vec3f>& mapPoints,
                               std::vector<std::array<int32_t, 3>>& faces) const {
  MeshFrameData d;
  if (ReadMeshFrameFile(MeshPath(frame), d) != MeshFileStatus::Ok) return false;
  // Callers take the second count as the vertex count; a file where the two
  // differ cannot be shown safely.
  if (d.secondVertices.size() != d.vertices.size()) return false;
  const size_t nv = d.vertices.size();
  vertices.assign(nv, Vec3f());
  secondVertices.assign(nv, Vec3f());
  mapPoints.assign(nv, Vec3f());
  for (size_t v = 0; v < nv; ++v) {
    vertices[v] = Vec3f(d.vertices[v].x, d.vertices[v].y, d.vertices[v].z);
    secondVertices[v] = Vec3f(d.secondVertices[v].x, d.secondVertices[v].y, d.secondVertices[v].z);
    mapPoints[v] = Vec3f(d.mapPoints[v].x, d.mapPoints[v].y, 0.0f);
  }
  faces.assign(d.faces.begin(), d.faces.end());
  vertexCount = int(nv);
  faceCount = int(d.faces.size());
  return true;
}

void FrameCache::Scan(FluidSolver& solver, std::vector<int32_t>& frameParticleCount, int& lastSolved,
                      std::vector<uint8_t>& frameMeshed, int& lastMeshed, int maxFrames) const {
  if ((int)frameParticleCount.size() < maxFrames) frameParticleCount.resize(maxFrames, 0);
  if ((int)frameMeshed.size() < maxFrames) frameMeshed.resize(maxFrames, 0);
  int32_t stamp = solver.stamp;
  double n = 10.0;
  bool found = false;
  int last = 0;
  for (int i = 0; i < maxFrames; ++i) {
    ParticleFrameHeader h;
    if (!ReadHeader(i, h)) {
      if (!found) {
        frameParticleCount[0] = 0;
        continue;  // a cache may begin after frame 0
      }
      break;
    }
    if (i <= 1)
      stamp = h.stamp;
    else if (h.stamp != stamp)
      break;  // a frame of another simulation ends the cache
    frameParticleCount[i] = h.count;
    last = i;
    found = true;
    if (h.particlesPerVolume > 0.0f && std::isfinite(h.particlesPerVolume)) n = h.particlesPerVolume;
  }
  lastSolved = found ? last : 0;

  int meshed = 0;
  for (int j = 0; j <= lastSolved; ++j) {
    int32_t meshStamp;
    if (ReadMeshFrameStamp(MeshPath(j), meshStamp)) {
      if (meshStamp != stamp && j > 0) break;
      frameMeshed[j] = 1;
      meshed = j;
    } else if (j != 0) {
      break;
    }
  }
  lastMeshed = meshed;

  // The stamp and density of the frames accepted, never those of the
  // foreign file that ended the scan.
  solver.stamp = stamp;
  solver.SetParticleDensity(n);
}
