// Shared by the fuzz drivers: each driver hands its input to a reader of the
// system as a file (every reader here opens a path), in a scratch folder of
// its own process.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vorel_fuzz {

// A folder private to this process, made once.
inline const std::string& ScratchFolder() {
  // Never destroyed: the exit handler that removes the folder runs after
  // static destructors would have run.
  static const std::string* dir = [] {
    const char* t = std::getenv("TMPDIR");
    auto* d = new std::string(std::string(t && *t ? t : "/tmp") + "/vorel-fuzz-" + std::to_string(::getpid()));
    std::string cmd = "mkdir -p '" + *d + "'";
    if (std::system(cmd.c_str()) != 0) std::abort();
    std::atexit([] { std::system(("rm -rf '" + ScratchFolder() + "'").c_str()); });
    return d;
  }();
  return *dir;
}

// Writes the input to name inside the scratch folder; answers the path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// A property the readers promise; a broken one is a finding like a crash.
inline void Require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace vorel_fuzz
