// String resources per library.
//
// Each library (plug-in, program, test executable) supplies its own table
// once, in one of its .cpp files:
//
//   static const vorel::host::StringResource kStrings[] = {{1, "Vorel"}, ...};
//   VOREL_STRING_TABLE(kStrings);
//
// The table is registered under the library's module handle (its load
// address, as HINSTANCE is on the original platform) while the library is
// loaded. GetString(id) then answers from the table of the library that
// calls it, so every plug-in sees its own texts. Libraries do not define a
// GetString of their own.
#pragma once
#include <cstddef>

#include "host/core/win32.h"

namespace vorel::host {

struct StringResource {
  int id;
  const char* text;
};

// Module handle of the library that holds addr (null when none). The
// plug-in loader gives each plug-in this handle (of any of its symbols).
HINSTANCE ModuleOf(const void* addr);
// The text of id from module's table, copied into a buffer of 256 characters
// of that module and id (longer texts are cut to 255), so that texts of two
// ids may be held at once; null when the module has no table or no such
// string. The buffer lives as long as the process.
const char* ModuleString(HINSTANCE module, int id);
void RegisterStringTable(HINSTANCE module, const StringResource* table, size_t count);
void UnregisterStringTable(HINSTANCE module);

class StringTableRegistration {
 public:
  StringTableRegistration(const StringResource* table, size_t count)
      : module_(ModuleOf(table)) {
    RegisterStringTable(module_, table, count);
  }
  ~StringTableRegistration() { UnregisterStringTable(module_); }
  StringTableRegistration(const StringTableRegistration&) = delete;
  StringTableRegistration& operator=(const StringTableRegistration&) = delete;

 private:
  HINSTANCE module_;
};

namespace detail {
// The calling library's own module handle. An inline function with hidden
// visibility has one copy in each library, so its own address lies in the
// library that calls it.
__attribute__((visibility("hidden"))) inline HINSTANCE ThisModule() {
  static const HINSTANCE module = ModuleOf(reinterpret_cast<const void*>(&ThisModule));
  return module;
}
}  // namespace detail

}  // namespace vorel::host

#define VOREL_STRING_TABLE(table)                                         \
  static ::vorel::host::StringTableRegistration vorel_string_table_reg_( \
      table, sizeof(table) / sizeof((table)[0]))

// Copies string id of module into buf (at most bufLen - 1 characters, then
// the terminator); the length copied, 0 when the module has no such string.
int LoadStringA(HINSTANCE module, UINT id, char* buf, int bufLen);
inline int LoadString(HINSTANCE module, UINT id, char* buf, int bufLen) {
  return LoadStringA(module, id, buf, bufLen);
}

// The text of id from the calling library's table (ModuleString of the
// library's own module).
__attribute__((visibility("hidden"))) inline const char* GetString(int id) {
  return vorel::host::ModuleString(vorel::host::detail::ThisModule(), id);
}
