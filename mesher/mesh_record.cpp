#include "mesher/mesh_record.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/core/files.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Every field of the file is four bytes, little-endian, whatever the host:
// n values of four bytes (floats, integers) from `from` to `out`.
void PutWords(unsigned char* out, const void* from, size_t n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (n) std::memcpy(out, from, 4 * n);
#else
  const unsigned char* in = static_cast<const unsigned char*>(from);
  for (size_t k = 0; k < n; ++k, in += 4, out += 4) {
    uint32_t v;
    std::memcpy(&v, in, 4);
    for (int b = 0; b < 4; ++b) out[b] = static_cast<unsigned char>(v >> (8 * b));
  }
#endif
}
static_assert(sizeof(Point3) == 12 && sizeof(MeshFace) == 12, "vertices and faces are three words each");

uint32_t GetU32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t GetI32(const unsigned char* p) { return static_cast<int32_t>(GetU32(p)); }
float GetF32(const unsigned char* p) {
  uint32_t v = GetU32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

// Reads the whole file; false when it cannot be opened or read.
bool Slurp(const std::string& path, std::vector<unsigned char>& bytes) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  long size = std::ftell(f.get());
  if (size < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return false;
  bytes.resize(size_t(size));
  return size == 0 || std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

}  // namespace

const char* MeshFileStatusText(MeshFileStatus s) {
  switch (s) {
    case MeshFileStatus::Ok: return "ok";
    case MeshFileStatus::Missing: return "surface mesh file cannot be opened";
    case MeshFileStatus::Truncated: return "surface mesh file is truncated";
    case MeshFileStatus::BadMarker: return "surface mesh file has a wrong marker or version";
    case MeshFileStatus::BadCount: return "surface mesh file has an impossible count";
    case MeshFileStatus::BadFaceIndex: return "surface mesh file has a face index out of range";
    case MeshFileStatus::BadValue: return "surface mesh file has a value that is no finite number";
    case MeshFileStatus::WriteFailed: return "surface mesh file could not be written";
  }
  return "unknown";
}

MeshRecord::MeshRecord() {
  vertices.reserve(10000);
  secondVertices.reserve(10000);
  faces.reserve(20000);
}

void MeshRecord::Clear() {
  vertices.clear();
  secondVertices.clear();
  faces.clear();
}

bool MeshRecord::WriteSurfaceCache(const std::string& path, int /*frame*/, int32_t stamp, int* error,
                                   std::vector<unsigned char>* buffer) const {
  const size_t nV = vertices.size(), nC = secondVertices.size(), nF = faces.size();
  // Every byte below is written, so the room is not cleared first; a
  // caller's buffer keeps its pages from frame to frame.
  std::vector<unsigned char> local;
  std::vector<unsigned char>& buf = buffer ? *buffer : local;
  buf.resize(size_t(MeshFrameFileSize(int64_t(nV), int64_t(nC), int64_t(nF))));
  unsigned char* at = buf.data();
  auto words = [&at](const void* from, size_t n) {
    PutWords(at, from, n);
    at += 4 * n;
  };
  const uint32_t head[4] = {uint32_t(stamp), uint32_t(kFileVersion), kHeadMarker, uint32_t(nV)};
  words(head, 4);
  words(vertices.data(), 3 * nV);
  const uint32_t second = uint32_t(nC);
  words(&second, 1);
  words(secondVertices.data(), 3 * nC);
  // No texture coordinates are computed: the pairs are written as (0, 0)
  // so that the file never carries stray memory.
  std::memset(at, 0, 8 * nC);
  at += 8 * nC;
  const uint32_t faceCount = uint32_t(nF);
  words(&faceCount, 1);
  words(faces.data(), 3 * nF);
  const uint32_t end = kEndMarker;
  words(&end, 1);

  const int failed = vorel::host::WriteFileAside(path, buf.data(), buf.size()).error;
  if (error) *error = failed;
  return failed == 0;
}

MeshFileStatus ReadMeshFrameFile(const std::string& path, MeshFrameData& out) {
  out = MeshFrameData();
  std::vector<unsigned char> b;
  if (!Slurp(path, b)) return MeshFileStatus::Missing;
  const int64_t size = int64_t(b.size());
  // Each count is checked against what is left before it drives any
  // allocation, so a corrupt count can neither exhaust memory nor read past
  // the end.
  int64_t pos = 0;
  auto need = [&](int64_t n) { return pos + n <= size; };
  if (!need(16)) return MeshFileStatus::Truncated;
  const int32_t stamp = GetI32(&b[0]);
  if (GetI32(&b[4]) != MeshRecord::kFileVersion || GetU32(&b[8]) != MeshRecord::kHeadMarker)
    return MeshFileStatus::BadMarker;
  const int32_t nV = GetI32(&b[12]);
  pos = 16;
  if (nV < 0) return MeshFileStatus::BadCount;
  if (!need(12 * int64_t(nV) + 4)) return MeshFileStatus::Truncated;
  MeshFrameData d;
  d.stamp = stamp;
  d.vertices.resize(size_t(nV));
  for (int32_t i = 0; i < nV; ++i, pos += 12)
    d.vertices[i] = Point3(GetF32(&b[pos]), GetF32(&b[pos + 4]), GetF32(&b[pos + 8]));
  const int32_t nC = GetI32(&b[pos]);
  pos += 4;
  if (nC < 0) return MeshFileStatus::BadCount;
  if (!need(20 * int64_t(nC) + 4)) return MeshFileStatus::Truncated;
  d.secondVertices.resize(size_t(nC));
  for (int32_t i = 0; i < nC; ++i, pos += 12)
    d.secondVertices[i] = Point3(GetF32(&b[pos]), GetF32(&b[pos + 4]), GetF32(&b[pos + 8]));
  d.mapPoints.resize(size_t(nC));
  for (int32_t i = 0; i < nC; ++i, pos += 8) d.mapPoints[i] = Point2(GetF32(&b[pos]), GetF32(&b[pos + 4]));
  const int32_t nF = GetI32(&b[pos]);
  pos += 4;
  if (nF < 0) return MeshFileStatus::BadCount;
  if (!need(12 * int64_t(nF) + 4)) return MeshFileStatus::Truncated;
  d.faces.resize(size_t(nF));
  for (int32_t i = 0; i < nF; ++i, pos += 12) {
    MeshFace f{GetI32(&b[pos]), GetI32(&b[pos + 4]), GetI32(&b[pos + 8])};
    for (int32_t idx : f)
      if (idx < 0 || idx >= nV) return MeshFileStatus::BadFaceIndex;
    d.faces[i] = f;
  }
  if (GetU32(&b[pos]) != MeshRecord::kEndMarker) return MeshFileStatus::BadMarker;
  pos += 4;
  if (pos != size) return MeshFileStatus::BadCount;
  // The mesher writes no such value; one NaN or infinity would reach every
  // reader's display and bounds.
  auto finite = [](const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
  for (const std::vector<Point3>* points : {&d.vertices, &d.secondVertices})
    for (const Point3& p : *points)
      if (!finite(p)) return MeshFileStatus::BadValue;
  for (const Point2& uv : d.mapPoints)
    if (!std::isfinite(uv.x) || !std::isfinite(uv.y)) return MeshFileStatus::BadValue;
  out = std::move(d);
  return MeshFileStatus::Ok;
}

bool ReadMeshFrameStamp(const std::string& path, int32_t& stamp) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  // The counts are walked without reading the arrays, so a scan stays cheap
  // and still refuses a file cut short (or grown) that a full read refuses.
  auto at = [&](int64_t off, unsigned char* b) {
    return std::fseek(f.get(), long(off), SEEK_SET) == 0 && std::fread(b, 1, 4, f.get()) == 4;
  };
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  const int64_t size = std::ftell(f.get());
  unsigned char head[16];
  if (std::fseek(f.get(), 0, SEEK_SET) != 0 || std::fread(head, 1, 16, f.get()) != 16) return false;
  if (GetI32(&head[4]) != MeshRecord::kFileVersion || GetU32(&head[8]) != MeshRecord::kHeadMarker)
    return false;
  const int64_t nV = GetI32(&head[12]);
  unsigned char b[4];
  int64_t pos = 16 + 12 * nV;
  if (nV < 0 || pos + 4 > size || !at(pos, b)) return false;
  const int64_t nC = GetI32(b);
  pos += 4 + 20 * nC;
  if (nC < 0 || pos + 4 > size || !at(pos, b)) return false;
  const int64_t nF = GetI32(b);
  pos += 4 + 12 * nF;
  if (nF < 0 || pos + 4 != size || !at(pos, b) || GetU32(b) != MeshRecord::kEndMarker) return false;
  stamp = GetI32(head);
  return true;
}

bool MeshRecord::ReadSurfaceCache(const std::string& path, MeshFileStatus* status) {
  MeshFrameData d;
  MeshFileStatus s = ReadMeshFrameFile(path, d);
  if (status) *status = s;
  Clear();
  if (s != MeshFileStatus::Ok) return false;
  vertices = std::move(d.vertices);
  secondVertices = std::move(d.secondVertices);
  faces = std::move(d.faces);
  return true;
}
