#include "gpu_solver/solver_formats.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel_gpu {
namespace {

// One NaN or infinite point poisons every neighbour it touches in the
// solver: a file holding one is refused whole.
bool Finite(const Vec3f& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads as fopen does. A write never follows a link at the name (one planted
// in the cache folder would make it overwrite the file it names) and, when
// `exclusive`, creates the file anew: whatever stands at the name (a
// leftover of a killed run, a planted link) is unlinked first, never opened.
File Open(const std::string& path, const char* mode, bool exclusive = false) {
  if (mode[0] == 'r') return File(std::fopen(path.c_str(), mode));
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
  if (exclusive) {
    flags |= O_EXCL;
    ::unlink(path.c_str());
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return File();
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
  return File(f);
}

std::string Numbered(const char* fmt, int64_t n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, (long long)n);
  return buf;
}

long FileSize(std::FILE* f) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return -1;
  return (long)st.st_size;
}

template <class T>
bool Put(std::FILE* f, const T& v) {
  return std::fwrite(&v, sizeof v, 1, f) == 1;
}
template <class T>
bool Get(std::FILE* f, T* v) {
  return std::fread(v, sizeof *v, 1, f) == 1;
}

bool PutPoints(std::FILE* f, const std::vector<Vec3f>& pts, size_t n) {
  static_assert(sizeof(Vec3f) == 12, "Vec3f is three packed floats");
  return n == 0 || std::fwrite(pts.data(), sizeof(Vec3f), n, f) == n;
}
bool GetPoints(std::FILE* f, std::vector<Vec3f>* pts, size_t n) {
  pts->resize(n);
  return n == 0 || std::fread(pts->data(), sizeof(Vec3f), n, f) == n;
}

bool PutHeader(std::FILE* f, uint32_t tag, int32_t count, float ppuv, const std::string& block) {
  char pad[256] = {};
  std::memcpy(pad, block.data(), std::min<size_t>(block.size(), sizeof pad - 1));
  return Put(f, tag) && Put(f, int32_t(0)) && Put(f, count) && Put(f, ppuv) && std::fwrite(pad, 1, 256, f) == 256;
}

}  // namespace

std::string FillFilePath(const std::string& cacheDir) { return cacheDir + "/sources/Vorel.fll"; }
std::string EmissionFilePath(const std::string& cacheDir) { return cacheDir + "/sources/Vorel.srp"; }
std::string ColliderFilePath(const std::string& cacheDir, int64_t ticks) {
  return cacheDir + "/objects/Vorel_" + Numbered("%05lld", ticks) + ".geom";
}
std::string KillBoxFilePath(const std::string& cacheDir) { return cacheDir + "/Vorel.killparts"; }
std::string FrameFilePath(const std::string& cacheDir, int64_t frame) {
  return cacheDir + "/" + Numbered("%05lld", frame) + ".Vorel";
}

bool PutFillFile(std::FILE* f, float ppuv, const std::vector<Vec3f>& positions, const std::vector<Vec3f>& velocities) {
  const size_t n = positions.size();
  if (velocities.size() != n) return false;
  bool ok = PutHeader(f, kFillTag, int32_t(n), ppuv, std::string());
  std::vector<int32_t> ids(n, 0);
  ok = ok && (n == 0 || std::fwrite(ids.data(), 4, n, f) == n);
  return ok && PutPoints(f, positions, n) && PutPoints(f, velocities, n);
}

bool WriteFillFile(const std::string& path, float ppuv, const std::vector<Vec3f>& positions,
                   const std::vector<Vec3f>& velocities) {
  File f = Open(path, "wb");
  if (!f) return false;
  const bool ok = PutFillFile(f.get(), ppuv, positions, velocities);
  return std::fclose(f.release()) == 0 && ok;
}

bool ReadFillFileHeader(const std::string& path, FillHeader* h) {
  File f = Open(path, "rb");
  if (!f) return false;
  FillHeader r;
  if (!Get(f.get(), &r.tag) || !Get(f.get(), &r.stamp) || !Get(f.get(), &r.count) || !Get(f.get(), &r.ppuv))
    return false;
  // A frame or any other file of the right length is not a fill file.
  if (r.tag != kFillTag) return false;
  // A count the file cannot hold, or a particle density that gives no
  // usable particle size, makes the file unusable.
  if (r.count < 0 || !(r.ppuv > 0.0f) || !std::isfinite(r.ppuv)) return false;
  if (FileSize(f.get()) < (long)kFrameHeaderBytes + 28L * r.count) return false;
  *h = r;
  return true;
}

bool ReadFillFile(const std::string& path, uint32_t maxCount, FillHeader* h, std::vector<Vec3f>* positions,
                  std::vector<Vec3f>* velocities) {
  FillHeader r;
  if (!ReadFillFileHeader(path, &r)) return false;
  File f = Open(path, "rb");
  if (!f) return false;
  const size_t n = std::min<size_t>(size_t(r.count), maxCount);
  bool ok = std::fseek(f.get(), long(kFrameHeaderBytes) + 4L * r.count, SEEK_SET) == 0 && GetPoints(f.get(), positions, n);
  ok = ok && std::fseek(f.get(), long(kFrameHeaderBytes) + 16L * r.count, SEEK_SET) == 0 &&
       GetPoints(f.get(), velocities, n);
  if (!ok) return false;
  for (size_t i = 0; i < n; ++i)
    if (!Finite((*positions)[i]) || !Finite((*velocities)[i])) return false;
  *h = r;
  return true;
}

bool AppendEmissionRecord(std::FILE* f, int32_t tick, const std::vector<Vec3f>& positions,
                          const std::vector<Vec3f>& velocities) {
  const size_t n = positions.size();
  return velocities.size() == n && Put(f, tick) && Put(f, int32_t(n)) && PutPoints(f, positions, n) &&
         PutPoints(f, velocities, n);
}

bool WriteEmissionFile(const std::string& path, const std::vector<EmissionRecord>& records) {
  File f = Open(path, "wb");
  if (!f) return false;
  bool ok = true;
  for (const auto& r : records) ok = ok && AppendEmissionRecord(f.get(), r.tick, r.positions, r.velocities);
  return std::fclose(f.release()) == 0 && ok;
}

EmissionReader::EmissionReader(const std::string& path) : f_(std::fopen(path.c_str(), "rb")) {
  if (f_) remaining_ = FileSize(f_);
}

EmissionReader::~EmissionReader() {
  if (f_) std::fclose(f_);
}

bool EmissionReader::ReadHeader(int32_t* tick, int32_t* count) {
  if (!f_) return false;
  // A record that does not fit in what is left of the file ends the reading,
  // which also keeps a corrupt count from driving a huge allocation.
  if (remaining_ < 8 || !Get(f_, tick) || !Get(f_, count) || *count < 0 || (remaining_ - 8) / 24 < *count) {
    std::fclose(f_);
    f_ = nullptr;
    return false;
  }
  remaining_ -= 8 + 24L * *count;
  return true;
}

bool EmissionReader::Skip(int32_t* count) {
  int32_t tick;
  if (!ReadHeader(&tick, count)) return false;
  return std::fseek(f_, 24L * *count, SEEK_CUR) == 0;
}

bool EmissionReader::PeekTick(int32_t* tick) {
  if (!f_ || remaining_ < 8) return false;
  const long at = std::ftell(f_);
  return Get(f_, tick) && std::fseek(f_, at, SEEK_SET) == 0;
}

bool EmissionReader::Next(EmissionRecord* r) {
  int32_t count;
  if (!ReadHeader(&r->tick, &count)) return false;
  if (GetPoints(f_, &r->positions, size_t(count)) && GetPoints(f_, &r->velocities, size_t(count))) return true;
  std::fclose(f_);
  f_ = nullptr;
  return false;
}

bool CheckEmissionFile(const std::string& path) {
  EmissionReader in(path);
  if (!in.IsOpen()) return false;
  EmissionRecord r;
  while (!in.AtEnd()) {
    if (!in.Next(&r)) return false;
    for (const std::vector<Vec3f>* pts : {&r.positions, &r.velocities})
      for (const Vec3f& v : *pts)
        if (!Finite(v)) return false;
  }
  return true;
}

bool PutColliderFile(std::FILE* f, const std::vector<Vec3f>& corners) {
  const uint32_t t = uint32_t(corners.size() / 3), v = 3 * t;
  return Put(f, v) && Put(f, t) && PutPoints(f, corners, v);
}

bool WriteColliderFile(const std::string& path, const std::vector<Vec3f>& corners) {
  File f = Open(path, "wb");
  if (!f) return false;
  const bool ok = PutColliderFile(f.get(), corners);
  return std::fclose(f.release()) == 0 && ok;
}

bool ReadColliderFile(const std::string& path, ColliderGeometry* g) {
  File f = Open(path, "rb");
  if (!f) return false;
  ColliderGeometry r;
  if (!Get(f.get(), &r.vertexCount) || !Get(f.get(), &r.triangleCount)) return false;
  if ((FileSize(f.get()) - 8) / 12 < (long)r.vertexCount) return false;
  if (!GetPoints(f.get(), &r.vertices, r.vertexCount)) return false;
  for (const Vec3f& v : r.vertices)
    if (!Finite(v)) return false;
  *g = std::move(r);
  return true;
}

bool PutKillBoxFile(std::FILE* f, const std::vector<KillBoxRow>& rows) {
  bool ok = Put(f, int32_t(rows.size()));
  for (const auto& r : rows) {
    ok = ok && Put(f, r.tick);
    for (float v : r.min) ok = ok && Put(f, v);
    for (float v : r.max) ok = ok && Put(f, v);
  }
  return ok;
}

bool WriteKillBoxFile(const std::string& path, const std::vector<KillBoxRow>& rows) {
  File f = Open(path, "wb");
  if (!f) return false;
  const bool ok = PutKillBoxFile(f.get(), rows);
  return std::fclose(f.release()) == 0 && ok;
}

bool ReadKillBoxFile(const std::string& path, std::vector<KillBoxRow>* rows) {
  rows->clear();
  File f = Open(path, "rb");
  if (!f) return false;
  int32_t count = 0;
  if (!Get(f.get(), &count) || count < 0) return false;
  // The declared rows and nothing else: a file cut short or grown is refused
  // rather than read as fewer (or other) kill boxes.
  if (FileSize(f.get()) != 4L + 28L * count) return false;
  std::vector<KillBoxRow> read(static_cast<size_t>(count));
  for (KillBoxRow& r : read) {
    bool ok = Get(f.get(), &r.tick);
    for (float& v : r.min) ok = ok && Get(f.get(), &v);
    for (float& v : r.max) ok = ok && Get(f.get(), &v);
    if (!ok) return false;
  }
  *rows = std::move(read);
  return true;
}

bool WriteSolverFrame(const std::string& path, float ppuv, const std::vector<int32_t>& ids,
                      const std::vector<Vec3f>& positions, const std::vector<Vec3f>& velocities, int* error) {
  int unused = 0;
  int& err = error ? *error : unused;
  err = EINVAL;
  const size_t n = ids.size();
  if (positions.size() != n || velocities.size() != n) return false;
  // Temporary name in the same folder: the rename then replaces the frame in
  // one step, and a name that is not "%05d.Vorel" is never taken for a frame.
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string tmp = dir + "." + base + "." + std::to_string(getpid()) + ".tmp";
  errno = 0;
  File f = Open(tmp, "wb", true);
  if (!f) {
    err = errno ? errno : EIO;
    return false;
  }
  bool ok = PutHeader(f.get(), kSolverFrameTag, int32_t(n), ppuv, path);
  ok = ok && (n == 0 || std::fwrite(ids.data(), 4, n, f.get()) == n);
  ok = ok && PutPoints(f.get(), positions, n) && PutPoints(f.get(), velocities, n);
  err = ok ? 0 : errno;
  if (std::fclose(f.release()) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
  if (ok) err = errno;
  if (err == 0) err = EIO;
  std::remove(tmp.c_str());
  return false;
}

}  // namespace vorel_gpu
