#include "host/core/strings.h"

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::map<HINSTANCE, std::map<int, std::string>>& Tables() {
  static auto* t = new std::map<HINSTANCE, std::map<int, std::string>>();
  return *t;
}
// One 256-character buffer per library and string id, never freed: a caller
// may hold two texts at once (a message and its caption), or keep a pointer
// after the library's table is gone. Map nodes never move, so each buffer
// keeps its address.
std::map<HINSTANCE, std::map<int, std::array<char, 256>>>& Buffers() {
  static auto* b = new std::map<HINSTANCE, std::map<int, std::array<char, 256>>>();
  return *b;
}

}  // namespace

namespace vorel::host {

HINSTANCE ModuleOf(const void* addr) {
  Dl_info info;
  if (!addr || dladdr(addr, &info) == 0) return nullptr;
  return reinterpret_cast<HINSTANCE>(info.dli_fbase);
}

void RegisterStringTable(HINSTANCE module, const StringResource* table, size_t count) {
  if (!module) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& t = Tables()[module];
  for (size_t i = 0; i < count; ++i)
    if (table[i].text) t[table[i].id] = table[i].text;
}

void UnregisterStringTable(HINSTANCE module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Tables().erase(module);
}

}  // namespace vorel::host

int LoadStringA(HINSTANCE module, UINT id, char* buf, int bufLen) {
  if (!buf || bufLen <= 0) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  buf[0] = '\0';
  auto t = Tables().find(module);
  if (!module || t == Tables().end()) return 0;
  auto s = t->second.find(int(id));
  if (s == t->second.end()) return 0;
  size_t n = std::min(s->second.size(), size_t(bufLen - 1));
  std::memcpy(buf, s->second.data(), n);
  buf[n] = '\0';
  return int(n);
}

namespace vorel::host {

const char* ModuleString(HINSTANCE module, int id) {
  if (!module || id < 0) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto t = Tables().find(module);
  if (t == Tables().end()) return nullptr;
  auto s = t->second.find(id);
  if (s == t->second.end()) return nullptr;
  char* buf = Buffers()[module][id].data();
  size_t n = std::min(s->second.size(), size_t(255));
  std::memcpy(buf, s->second.data(), n);
  buf[n] = '\0';
  return buf;
}

}  // namespace vorel::host
