#include "fluid_core/cache_files.h"

#include "host/core/files.h"

int DeleteCacheFiles(const std::string& dir, const char* pattern) {
  const std::string pat = (pattern && *pattern) ? pattern : "*.bin";
  if (dir.empty()) return 0;
  std::string base = dir;
  if (base.back() != '/' && base.back() != '\\') base += "/";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((base + pat).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int deleted = 0;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (DeleteFileA((base + data.cFileName).c_str())) ++deleted;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return deleted;
}
