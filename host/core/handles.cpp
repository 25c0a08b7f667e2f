#include "host/core/handles.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

std::mutex g_mutex;
std::unordered_map<HANDLE, std::unique_ptr<vorel::host::detail::HandleObject>>& Table() {
  static auto* table =
      new std::unordered_map<HANDLE, std::unique_ptr<vorel::host::detail::HandleObject>>();
  return *table;
}
thread_local DWORD t_lastError = 0;

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

BOOL CloseHandle(HANDLE h) {
  std::unique_ptr<vorel::host::detail::HandleObject> obj;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = Table().find(h);
    if (it == Table().end()) {
      SetLastError(DWORD(ERROR_INVALID_HANDLE));
      return FALSE;
    }
    obj = std::move(it->second);
    Table().erase(it);
  }
  obj.reset();  // outside the lock: destructors may take other locks
  return TRUE;
}

namespace vorel::host::detail {

HANDLE AddHandle(HandleObject* obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  HANDLE h = obj;
  Table()[h].reset(obj);
  return h;
}

HandleObject* FindHandle(HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Table().find(h);
  return it == Table().end() ? nullptr : it->second.get();
}

}  // namespace vorel::host::detail
