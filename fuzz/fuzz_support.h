// Shared by the fuzz drivers: each driver hands its input to a reader of the
// system as a file (every reader here opens a path), in a scratch folder of
// its own process.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// For custom mutators of files whose length follows a count (a header of
// headerSize bytes, then perItem bytes per item; the int32 count at
// countOffset): after a byte mutation, three inputs in four are made to
// agree, by setting the count from the length or the length from the count
// (new bytes zero), so that readers which check the length first get to
// the values. Answers the new size (never above maxSize).
inline size_t FitCountToLength(uint8_t* data, size_t size, size_t maxSize, unsigned seed, size_t countOffset,
                               int64_t headerSize, int64_t perItem) {
  const int64_t room = int64_t(maxSize);
  if (seed % 4 == 0 || room < headerSize || int64_t(countOffset) + 4 > headerSize) return size;
  if (int64_t(size) < headerSize) {
    std::memset(data + size, 0, size_t(headerSize) - size);
    size = size_t(headerSize);
  }
  int32_t n = 0;
  if ((seed / 4) % 2 == 0) {
    n = int32_t((int64_t(size) - headerSize) / perItem);
  } else {
    std::memcpy(&n, data + countOffset, 4);
    if (n < 0 || headerSize + perItem * int64_t(n) > room) n = int32_t((room - headerSize) / perItem);
  }
  const size_t fitted = size_t(headerSize + perItem * int64_t(n));
  if (fitted > size) std::memset(data + size, 0, fitted - size);
  std::memcpy(data + countOffset, &n, 4);
  return fitted;
}

// A property the readers promise; a broken one is a finding like a crash.
inline void Require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace vorel_fuzz
