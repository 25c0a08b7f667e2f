// Helpers for the solver tests: scratch folders and a frame-file reader.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gpu_solver/solver_formats.h"

namespace vorel_gpu_test {

// A fresh folder under the build tree, removed with its content at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name) {
    path_ = std::string(VOREL_BINARY_DIR) + "/gpu_solver_scratch";
    ::mkdir(path_.c_str(), 0777);
    path_ += "/" + name + "." + std::to_string(::getpid());
    Remove();
    ::mkdir(path_.c_str(), 0777);
  }
  ~ScratchDir() { Remove(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  void Remove() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string path_;
};

struct Frame {
  uint32_t tag = 0;
  int32_t stamp = -1, count = -1;
  float ppuv = 0;
  std::string block;
  std::vector<int32_t> ids;
  std::vector<vorel_gpu::Vec3f> pos, vel;
  long fileSize = 0;
};

// Reads a solver frame; false when missing or its size is not 272 + 28N.
inline bool ReadFrame(const std::string& path, Frame* f) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return false;
  bool ok = std::fread(&f->tag, 4, 1, in) == 1 && std::fread(&f->stamp, 4, 1, in) == 1 &&
            std::fread(&f->count, 4, 1, in) == 1 && std::fread(&f->ppuv, 4, 1, in) == 1;
  char block[256];
  ok = ok && std::fread(block, 1, 256, in) == 256 && f->count >= 0;
  if (ok) {
    f->block.assign(block, 256);
    const size_t n = size_t(f->count);
    f->ids.resize(n);
    f->pos.resize(n);
    f->vel.resize(n);
    ok = (n == 0 || (std::fread(f->ids.data(), 4, n, in) == n && std::fread(f->pos.data(), 12, n, in) == n &&
                     std::fread(f->vel.data(), 12, n, in) == n));
  }
  std::fseek(in, 0, SEEK_END);
  f->fileSize = std::ftell(in);
  std::fclose(in);
  return ok && f->fileSize == 272 + 28L * f->count;
}

inline bool Exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

inline long FileSize(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

inline std::vector<uint8_t> ReadBytes(const std::string& p) {
  std::vector<uint8_t> b;
  if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back(uint8_t(c));
    std::fclose(f);
  }
  return b;
}

inline void WriteBytes(const std::string& p, const std::vector<uint8_t>& b) {
  if (std::FILE* f = std::fopen(p.c_str(), "wb")) {
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
}

}  // namespace vorel_gpu_test
