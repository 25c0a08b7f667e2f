#include "gpu_frontend/frame_playback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "fluid_core/frame_cache.h"
#include "host/core/files.h"
#include "mesher/surface_builder.h"

namespace vorel_gpufe {
namespace {

constexpr float kScale = vorel_gpu::kHostUnitsPerSolverUnit;
constexpr long kHeaderBytes = 16;
constexpr long kBlockBytes = 256;
// Records are read in slices of this many, so that a count the file cannot
// hold never drives an allocation.
constexpr size_t kSlice = 65536;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path) { return File(std::fopen(vorel::host::NormalizePath(path).c_str(), "rb")); }

bool ReadHeader(std::FILE* f, FrameFileHeader* h) {
  return std::fread(&h->tag, 4, 1, f) == 1 && std::fread(&h->stamp, 4, 1, f) == 1 &&
         std::fread(&h->count, 4, 1, f) == 1 && std::fread(&h->ppuv, 4, 1, f) == 1;
}

// Reads up to n records of T, handing each with its index to fn; stops at
// the end of the file. Returns the number read.
template <class T, class Fn>
size_t ForEachRecord(std::FILE* f, size_t n, Fn&& fn) {
  std::vector<T> buf;
  size_t done = 0;
  while (done < n) {
    const size_t want = std::min(kSlice, n - done);
    buf.resize(want);
    const size_t got = std::fread(buf.data(), sizeof(T), want, f);
    for (size_t k = 0; k < got; ++k) fn(done + k, buf[k]);
    done += got;
    if (got < want) break;
  }
  return done;
}

struct Rec3 {
  float x, y, z;
};
static_assert(sizeof(Rec3) == 12, "three packed floats");

// The thinning rule: record k becomes particle i when trunc(k x fraction)
// equals i, the next particle to fill, and i is below kept.
struct Thinning {
  float fraction;
  size_t kept;
  size_t next = 0;
  bool Take(size_t k) {
    if (next >= kept || size_t(float(k) * fraction) != next) return false;
    ++next;
    return true;
  }
};

bool HasNaN(const Point3& p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

bool OutOfWorld(const Rec3& r) {
  return BeyondSolverWorld(r.x) || BeyondSolverWorld(r.y) || BeyondSolverWorld(r.z);
}

}  // namespace

FrameMapping MapTime(int t, int tpf, int timeOffset, float playbackSpeed) {
  FrameMapping m;
  if (tpf <= 0) tpf = 1;
  m.meshF = std::max(0.0f, float(t) / float(tpf) - float(timeOffset));
  m.meshN = std::max(0, t / tpf - timeOffset);
  m.partF = std::max(0.0f, playbackSpeed * (float(t) / float(tpf) - float(timeOffset)) / 100.0f);
  const float ticks = (float(t) - float(timeOffset) * float(tpf)) * playbackSpeed / 100.0f;
  m.partN = std::max(0, int(std::floor(ticks / float(tpf))));
  m.speed = playbackSpeed / 100.0f;
  const float x = float(m.meshN) * m.speed;
  m.frac = x - std::floor(x);
  return m;
}

void PlaybackArrays::Resize(int n) {
  const size_t size = size_t(std::max(n, 0));
  count = int(size);
  shown.resize(size, Point3(0, 0, 0));
  framePos.resize(size, Point3(0, 0, 0));
  steps.resize(size, Point3(0, 0, 0));
  fileVel.resize(size, Point3(0, 0, 0));
  noSuccessor.resize(size, 0);
  ids.resize(size, -1);
}

bool ReadFrameFileHeader(const std::string& path, FrameFileHeader* header) {
  File f = Open(path);
  return f && ReadHeader(f.get(), header);
}

int ReadFrameParticles(const std::string& path, float fraction, PlaybackArrays* a, float* spacing) {
  a->box.Init();
  a->Resize(0);
  a->damaged = false;
  a->foreign = false;
  File f = Open(path);
  FrameFileHeader h;
  if (!f || !ReadHeader(f.get(), &h)) return 0;
  if (!IsSolverFrameTag(h.tag)) {
    a->damaged = a->foreign = true;
    return 0;
  }
  if (!UsableParticlesPerVolume(h.ppuv)) {
    a->damaged = true;
    return 0;
  }
  const float frameSpacing = vorel_gpu::HostParticleSpacing(h.ppuv);
  const size_t n = size_t(std::max(h.count, 0));
  const size_t kept = std::min(n, size_t(std::max(0.0f, std::floor(float(n) * fraction))));
  if (std::fseek(f.get(), kBlockBytes, SEEK_CUR) != 0) return 0;
  // Room for what the file can hold, not for what a damaged header claims.
  const int64_t bytes = vorel::host::FileSize(vorel::host::NormalizePath(path));
  const size_t room = bytes > kHeaderBytes + kBlockBytes ? size_t(bytes - kHeaderBytes - kBlockBytes) / 4 : 0;
  a->Resize(int(std::min(kept, room)));

  Thinning ids{fraction, size_t(a->count)};
  ForEachRecord<int32_t>(f.get(), n, [&](size_t k, int32_t id) {
    if (ids.Take(k)) a->ids[ids.next - 1] = id;
  });
  Thinning pos{fraction, size_t(a->count)};
  ForEachRecord<Rec3>(f.get(), n, [&](size_t k, const Rec3& r) {
    if (OutOfWorld(r)) a->damaged = true;
    if (!pos.Take(k)) return;
    const Point3 p(r.x * kScale, r.y * kScale, r.z * kScale);
    a->framePos[pos.next - 1] = p;
    a->shown[pos.next - 1] = p;
    a->box += p;
  });
  Thinning vel{fraction, size_t(a->count)};
  ForEachRecord<Rec3>(f.get(), n, [&](size_t k, const Rec3& r) {
    if (vel.Take(k)) a->fileVel[vel.next - 1] = Point3(r.x, r.y, r.z);
  });
  if (a->damaged) {
    a->box.Init();
    a->Resize(0);
    return 0;
  }
  if (spacing) *spacing = frameSpacing;
  a->Resize(int(std::min(size_t(a->count), vel.next)));
  return a->count;
}

int ReadFrameParticlesInterpolated(const std::string& path, const std::string& nextPath, float fraction,
                                   PlaybackArrays* a, float* spacing) {
  const int count = ReadFrameParticles(path, fraction, a, spacing);
  a->nextIds.clear();
  File f = Open(nextPath);
  if (!f) return count;
  FrameFileHeader h;
  h.tag = kPairByPositionTag;
  std::fread(&h.tag, 4, 1, f.get());
  std::fread(&h.stamp, 4, 1, f.get());
  std::fread(&h.count, 4, 1, f.get());
  std::fread(&h.ppuv, 4, 1, f.get());
  if (!IsSolverFrameTag(h.tag)) return count;
  std::fseek(f.get(), kBlockBytes, SEEK_CUR);
  const int64_t bytes = vorel::host::FileSize(vorel::host::NormalizePath(nextPath));
  const size_t room = bytes > kHeaderBytes + kBlockBytes ? size_t(bytes - kHeaderBytes - kBlockBytes) / 4 : 0;
  const size_t m = std::min(size_t(std::max(h.count, 0)), room);
  a->nextIds.assign(m, 0);
  ForEachRecord<int32_t>(f.get(), m, [&](size_t k, int32_t id) { a->nextIds[k] = id; });

  // Paired apart from the steps: a particle that did not move between the
  // two frames still has its successor.
  std::vector<uint8_t> paired(size_t(count), 0);
  const bool byPosition = h.tag == kPairByPositionTag;
  size_t j = 0;
  ForEachRecord<Rec3>(f.get(), m, [&](size_t i, const Rec3& r) {
    const Point3 q(r.x * kScale, r.y * kScale, r.z * kScale);
    if (HasNaN(q) || OutOfWorld(r)) return;
    if (byPosition && i < size_t(count)) {
      a->steps[i] = q - a->framePos[i];
      paired[i] = 1;
      return;
    }
    const int32_t id = a->nextIds[i];
    while (j < size_t(count)) {
      if (a->ids[j] > id) break;
      if (a->ids[j] == id) {
        a->steps[j] = q - a->framePos[j];
        paired[j] = 1;
        break;
      }
      ++j;
    }
  });
  for (size_t i = 0; i < size_t(count); ++i) a->noSuccessor[i] = paired[i] ? 0 : 1;
  return count;
}

void SetSubFrame(float frameF, PlaybackArrays* a) {
  const float f = frameF - std::floor(frameF);
  for (size_t i = 0; i < size_t(a->count); ++i) {
    if (a->noSuccessor[i] && f >= 1e-6f) {
      a->shown[i].x = kParkedX;
      continue;
    }
    a->shown[i] = a->framePos[i] + a->steps[i] * f;
    a->box += a->shown[i];
  }
}

std::vector<Point3> FeedSurfaceBuilder(const PlaybackArrays& a, bool precise, float frac, float speed,
                                       SurfaceBuilder* builder) {
  std::vector<Point3> velocities;
  if (precise) {
    for (size_t i = 0; i < size_t(a.count); ++i) {
      const Point3& p = a.shown[i];
      if (!HasNaN(p) && p.x != kParkedX) builder->AddParticle(p, 0, 1.0f, 0);
    }
    velocities.assign(size_t(a.count), Point3(0, 0, 0));
    return velocities;
  }
  velocities.reserve(size_t(a.count));
  for (size_t i = 0; i < size_t(a.count); ++i) {
    if (a.noSuccessor[i]) continue;
    const Point3 p = a.framePos[i] + a.steps[i] * frac;
    if (HasNaN(p)) continue;
    builder->AddParticle(p, 0, 1.0f, 0);
    velocities.push_back(a.steps[i] * speed);
  }
  return velocities;
}

void BuildHostMesh(const MeshRecord& rec, float fraction, const Matrix3& toObject, Mesh* mesh) {
  const int nV = rec.VertexCount(), nF = rec.FaceCount();
  const bool moves = rec.secondVertices.size() == rec.vertices.size();
  mesh->setNumVerts(nV);
  mesh->setNumTVerts(nV);
  mesh->setSmoothFlags(1);
  for (int i = 0; i < nV; ++i) {
    Point3 v = rec.vertices[size_t(i)];
    if (moves) v = v + rec.secondVertices[size_t(i)] * fraction;
    v = toObject.PointTransform(v);
    mesh->setVert(i, v);
    mesh->setTVert(i, v);
  }
  mesh->setNumFaces(nF);
  mesh->setNumTVFaces(nF);
  for (int f = 0; f < nF; ++f) {
    const MeshFace& src = rec.faces[size_t(f)];
    Face& face = mesh->faces[size_t(f)];
    face.setVerts(src[0], src[1], src[2]);
    face.setSmGroup(1);
    face.setEdgeVisFlags(EDGE_VIS, EDGE_VIS, EDGE_VIS);
    mesh->tvFace[size_t(f)].setTVerts(src[0], src[1], src[2]);
  }
  mesh->AutoSmooth(9996.28f);
  mesh->InvalidateTopologyCache();
  mesh->InvalidateGeomCache();
  mesh->buildBoundingBox();
}

void ClearHostMesh(Mesh* mesh) {
  mesh->setNumFaces(0);
  mesh->setNumVerts(0);
  mesh->setNumTVFaces(0);
  mesh->setNumTVerts(0);
  mesh->InvalidateGeomCache();
  mesh->buildBoundingBox();
}

}  // namespace vorel_gpufe
