#include "gpu_frontend/prt_export.h"

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gpu_frontend/gpu_fluid.h"
#include "gpu_frontend/plugin_shell.h"
#include "host/core/files.h"
#include "host/core/interaction.h"

namespace vorel_gpufe {

namespace {

constexpr size_t kDeflateWindow = 16384;

void PutBytes(std::vector<unsigned char>* out, const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  out->insert(out->end(), b, b + n);
}
void PutI32(std::vector<unsigned char>* out, int32_t v) { PutBytes(out, &v, 4); }
void PutName(std::vector<unsigned char>* out, const char* name) {
  char field[32] = {};
  std::strncpy(field, name, sizeof field - 1);
  PutBytes(out, field, sizeof field);
}

std::vector<unsigned char> PrtHeader(int64_t count) {
  static const unsigned char kMagic[8] = {0xC0, 'P', 'R', 'T', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<unsigned char> h;
  h.reserve(kPrtHeaderSize);
  PutBytes(&h, kMagic, 8);
  PutI32(&h, 56);
  PutName(&h, "Extensible Particle Format");
  PutI32(&h, 1);
  PutBytes(&h, &count, 8);
  PutI32(&h, 4);
  PutI32(&h, 2);
  PutI32(&h, 44);
  PutName(&h, "Position");
  PutI32(&h, 4);
  PutI32(&h, 3);
  PutI32(&h, 0);
  PutName(&h, "Velocity");
  PutI32(&h, 4);
  PutI32(&h, 3);
  PutI32(&h, 12);
  return h;
}

bool IsShowable(const Point3& p) {
  return p.x != kParkedCoordinate && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

int DeflateToFile(std::FILE* file, const void* data, size_t size, int level) {
  if (!file || !data) return -1;
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  const int init = deflateInit(&zs, level);
  if (init != Z_OK) return init;
  std::vector<unsigned char> window(kDeflateWindow);
  const auto* in = static_cast<const unsigned char*>(data);
  size_t done = 0;
  int result = 0;
  do {
    const size_t piece = std::min(kDeflateWindow, size - done);
    zs.next_in = const_cast<unsigned char*>(in + done);
    zs.avail_in = static_cast<uInt>(piece);
    done += piece;
    const int flush = done >= size ? Z_FINISH : Z_NO_FLUSH;
    do {
      zs.next_out = window.data();
      zs.avail_out = static_cast<uInt>(window.size());
      const int rc = deflate(&zs, flush);
      if (rc == Z_STREAM_ERROR) {
        result = -1;
        break;
      }
      const size_t produced = window.size() - zs.avail_out;
      if (std::fwrite(window.data(), 1, produced, file) != produced) {
        result = -1;
        break;
      }
    } while (zs.avail_out == 0);
  } while (result == 0 && done < size);
  deflateEnd(&zs);
  return result;
}

std::string PrtPath(const BlobNode& fluid, int frame) {
  char name[32];
  std::snprintf(name, sizeof name, "/PRTs/Vorel_%05d.PRT", frame);
  std::string path = fluid.cache.cacheDir + name;
  return path.size() <= kMaxPathLength ? path : std::string();
}

bool WritePrtFrame(BlobNode& fluid, int frame) {
  const size_t shown = std::min(fluid.shownPositions.size(), size_t(std::max(fluid.particleCount, 0)));
  std::vector<float> records;
  records.reserve(shown * 6);
  for (size_t i = 0; i < shown; ++i) {
    const Point3& p = fluid.shownPositions[i];
    if (!IsShowable(p)) continue;
    const Point3 v = i < fluid.fileVelocities.size() ? fluid.fileVelocities[i] * kSolverScale : Point3(0, 0, 0);
    const float r[6] = {p.x, p.y, p.z, v.x, v.y, v.z};
    records.insert(records.end(), r, r + 6);
  }
  const int64_t count = int64_t(records.size() / 6);
  if (count == 0) return false;
  const std::string path = PrtPath(fluid, frame);
  std::FILE* f = path.empty() ? nullptr : vorel::host::OpenFile(path, "wb");
  if (!f) return false;
  const std::vector<unsigned char> header = PrtHeader(count);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = ok && DeflateToFile(f, records.data(), records.size() * sizeof(float), kPrtCompressionLevel) == 0;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

void ExportPrtFrames(BlobNode& fluid, const ShownParticlesLoader& loadShown) {
  Interface* ip = GetCOREInterface();
  const int last = fluid.cache.lastSolvedFrame();
  fluid.ReadParams(ip->GetTime());
  if (!fluid.lastNode) return;
  if (!(fluid.PlaybackSpeed > 0.0f)) {
    ShowTempPrompt(kPrtBadSpeedText, 1000);
    return;
  }
  // The host frame showing the last solved frame: the playback scale is a
  // percentage, and the offset delays the whole playback.
  int lastHost = -1;
  if (last >= 0)
    lastHost = std::max(0, int(double(last) * 100.0 / double(fluid.PlaybackSpeed)) + fluid.TimeOffset);
  fluid.cache.PreparePrtDir();
  const TimeValue tpf = GetTicksPerFrame();
  for (int frame = 0; frame <= lastHost; ++frame) {
    if (loadShown) loadShown(fluid, TimeValue(frame) * tpf);
    WritePrtFrame(fluid, frame);
    char text[96];
    std::snprintf(text, sizeof text, "Exporting PRT file for frame -> %d / %d", frame, lastHost);
    ShowTempPrompt(text, 1000);
  }
  ShowTempPrompt(kPrtDoneText, 1000);
}

}  // namespace vorel_gpufe
