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
// calls it, so every plug-in sees its own texts.
#pragma once
#include <cstddef>

#include "host/core/win32.h"

namespace vorel::host {

struct StringResource {
  int id;
  const char* text;
};

// Module handle of the library that holds addr (null when none).
HINSTANCE ModuleOf(const void* addr);
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

// The text of id from the calling library's table, in that library's one
// buffer of 256 characters (valid until its next call; longer texts are cut
// to 255); null when the library has no table or no such string.
const char* GetString(int id);
