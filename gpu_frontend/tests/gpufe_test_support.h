// Scratch cache directories for the front-end tests.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace gpufe_test {

// A fresh cache directory (with objects/, sources/, surface/) under the
// build tree, removed at the end.
class ScratchCache {
 public:
  explicit ScratchCache(const std::string& name) {
    path_ = std::string(VOREL_BINARY_DIR) + "/gpufe_scratch";
    ::mkdir(path_.c_str(), 0777);
    path_ += "/" + name + "." + std::to_string(::getpid());
    Remove();
    ::mkdir(path_.c_str(), 0777);
    for (const char* sub : {"objects", "sources", "surface"}) ::mkdir((path_ + "/" + sub).c_str(), 0777);
  }
  ~ScratchCache() { Remove(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  void Remove() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string path_;
};

inline long SizeOf(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

inline bool Exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

}  // namespace gpufe_test
