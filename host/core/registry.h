// A stand-in for the registry: keys under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE holding string and 32-bit values, kept in one text file
// (default $XDG_CONFIG_HOME/vorel/registry, else ~/.config/vorel/registry).
// Key paths and value names compare case-insensitively; "\" and "/" both
// separate key levels. Every call reads the file afresh and every change
// rewrites it whole (through a temporary file and a rename), so separate
// processes see each other's values.
#pragma once
#include <string>

#include "host/core/win32.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(uintptr_t(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(uintptr_t(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(uintptr_t(0x80000002u)))

typedef DWORD REGSAM;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// ERROR_FILE_NOT_FOUND when the key does not exist.
LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Opens the key, making it (and its parents) when missing.
LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD reserved, char* cls, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);
// ERROR_FILE_NOT_FOUND when the value is missing (the key exists: the open
// succeeded). A string comes with its terminator; when data is null only
// the size is reported; ERROR_MORE_DATA (nothing written, size set to the
// need) when *size is too small.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
// REG_SZ (data up to its first terminator or size bytes) or REG_DWORD.
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegDeleteValueA(HKEY key, const char* name);
LONG RegCloseKey(HKEY key);

inline LONG RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM access,
                         HKEY* result) {
  return RegOpenKeyExA(root, subKey, options, access, result);
}
inline LONG RegCreateKeyEx(HKEY root, const char* subKey, DWORD reserved, char* cls, DWORD options,
                           REGSAM access, void* security, HKEY* result, DWORD* disposition) {
  return RegCreateKeyExA(root, subKey, reserved, cls, options, access, security, result,
                         disposition);
}
inline LONG RegQueryValueEx(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                            DWORD* size) {
  return RegQueryValueExA(key, name, reserved, type, data, size);
}
inline LONG RegSetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type,
                          const BYTE* data, DWORD size) {
  return RegSetValueExA(key, name, reserved, type, data, size);
}

namespace vorel::host {

// The file that holds the registry; an empty path restores the default.
void SetRegistryFile(const std::string& path);
std::string RegistryFile();
// Conveniences for tests and scripts (the key is made when missing).
bool RegistrySetString(HKEY root, const std::string& key, const std::string& name,
                       const std::string& value);
bool RegistrySetInt(HKEY root, const std::string& key, const std::string& name, DWORD value);
// False when the key or the value is missing or has the other type.
bool RegistryGetString(HKEY root, const std::string& key, const std::string& name,
                       std::string* value);
bool RegistryGetInt(HKEY root, const std::string& key, const std::string& name, DWORD* value);
// Tests: while on, strings come back as a value stored without its
// terminator does on the desktop host (the text's bytes only, the size
// counting no terminator), so that readers' own termination is exercised.
void ServeStringsUnterminated(bool on);

}  // namespace vorel::host
