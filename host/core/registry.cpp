#include "host/core/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "host/core/files.h"
#include "host/core/handles.h"

namespace vorel::host {
std::atomic<bool> g_unterminated{false};
void ServeStringsUnterminated(bool on) { g_unterminated = on; }
}  // namespace vorel::host

namespace {

struct Value {
  std::string name;
  DWORD type = REG_SZ;
  std::string text;
  DWORD number = 0;
};
struct Key {
  std::string path;                      // as first written
  std::map<std::string, Value> values;   // by lower-case name
};
typedef std::map<std::string, Key> Hive;  // by lower-case full path

struct OpenKey : vorel::host::detail::HandleObject {
  std::string path;  // full path, root included
};

std::mutex g_mutex;
std::string g_fileOverride;

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "a/b\\c\\" -> "a\\b\\c"
std::string CleanPath(const std::string& in) {
  std::string out;
  for (char c : in) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

const char* RootName(HKEY root) {
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  return nullptr;
}

// Full path of subKey below key (a root or an open key); false for a bad key.
bool FullPath(HKEY key, const char* subKey, std::string* out) {
  std::string base;
  if (const char* r = RootName(key)) {
    base = r;
  } else if (auto* k = vorel::host::detail::HandleAs<OpenKey>(reinterpret_cast<HANDLE>(key))) {
    base = k->path;
  } else {
    return false;
  }
  std::string sub = CleanPath(subKey ? subKey : "");
  *out = sub.empty() ? base : base + "\\" + sub;
  return true;
}

std::string Quote(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') { r += '\\'; r += c; }
    else if (c == '\n') r += "\\n";
    else if (c == '\r') r += "\\r";
    else r += c;
  }
  return r + "\"";
}

// Reads a quoted text at s[i]; false when malformed.
bool Unquote(const std::string& s, size_t& i, std::string* out) {
  if (i >= s.size() || s[i] != '"') return false;
  out->clear();
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') { ++i; return true; }
    if (c == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      *out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      *out += c;
    }
  }
  return false;
}

std::string FilePath() {
  if (!g_fileOverride.empty()) return g_fileOverride;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) base = xdg;
  else if (const char* home = std::getenv("HOME")) base = std::string(home) + "/.config";
  else base = vorel::host::TempPath() + "vorel-config";
  return base + "/vorel/registry";
}

Hive Load(const std::string& file) {
  Hive hive;
  std::ifstream in(file);
  std::string line;
  Key* cur = nullptr;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t i = 1;
      std::string path;
      if (!Unquote(line, i, &path)) { cur = nullptr; continue; }
      path = CleanPath(path);
      Key& k = hive[Lower(path)];
      if (k.path.empty()) k.path = path;
      cur = &k;
      continue;
    }
    if (!cur) continue;
    size_t i = 0;
    Value v;
    if (!Unquote(line, i, &v.name) || i >= line.size() || line[i] != '=') continue;
    std::string rest = line.substr(i + 1);
    if (rest.compare(0, 6, "dword:") == 0) {
      v.type = REG_DWORD;
      v.number = DWORD(std::strtoul(rest.c_str() + 6, nullptr, 10));
    } else if (rest.compare(0, 3, "sz:") == 0) {
      size_t j = 3;
      if (!Unquote(rest, j, &v.text)) continue;
      v.type = REG_SZ;
    } else {
      continue;
    }
    cur->values[Lower(v.name)] = v;
  }
  return hive;
}

bool Save(const std::string& file, const Hive& hive) {
  size_t slash = file.rfind('/');
  if (slash != std::string::npos) vorel::host::MakeDirectories(file.substr(0, slash));
  std::string tmp = file + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!out) return false;
    out << "# Registry of the Vorel host stand-in\n";
    for (const auto& k : hive) {
      out << "[" << Quote(k.second.path) << "]\n";
      for (const auto& v : k.second.values) {
        out << Quote(v.second.name) << "=";
        if (v.second.type == REG_DWORD) out << "dword:" << v.second.number << "\n";
        else out << "sz:" << Quote(v.second.text) << "\n";
      }
    }
    if (!out.flush()) return false;
  }
  return std::rename(tmp.c_str(), file.c_str()) == 0;
}

// Holds the cross-process lock of the registry file while alive.
class FileLock {
 public:
  explicit FileLock(const std::string& file) {
    size_t slash = file.rfind('/');
    if (slash != std::string::npos) vorel::host::MakeDirectories(file.substr(0, slash));
    fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FileLock() { if (fd_ >= 0) ::close(fd_); }

 private:
  int fd_ = -1;
};

bool KeyExists(const Hive& hive, const std::string& path) {
  std::string l = Lower(path);
  if (l.find('\\') == std::string::npos) return true;  // a root
  if (hive.count(l)) return true;
  // A stored key below it makes it exist too.
  std::string prefix = l + "\\";
  auto it = hive.lower_bound(prefix);
  return it != hive.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

HKEY NewKeyHandle(const std::string& path) {
  auto* k = new OpenKey;
  k->path = path;
  return reinterpret_cast<HKEY>(vorel::host::detail::AddHandle(k));
}

LONG Open(HKEY root, const char* subKey, HKEY* result, bool create, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string path;
  if (!FullPath(root, subKey, &path)) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string file = FilePath();
  FileLock lock(file);
  Hive hive = Load(file);
  bool exists = KeyExists(hive, path);
  if (!exists && !create) return ERROR_FILE_NOT_FOUND;
  if (!exists) {
    Key& k = hive[Lower(path)];
    k.path = path;
    if (!Save(file, hive)) return ERROR_ACCESS_DENIED;
  }
  if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = NewKeyHandle(path);
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM, HKEY* result) {
  return Open(root, subKey, result, false, nullptr);
}

LONG RegCreateKeyExA(HKEY root, const char* subKey, DWORD, char*, DWORD, REGSAM, void*,
                     HKEY* result, DWORD* disposition) {
  return Open(root, subKey, result, true, disposition);
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  std::string path;
  if (!FullPath(key, nullptr, &path)) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string file = FilePath();
  FileLock lock(file);
  Hive hive = Load(file);
  auto k = hive.find(Lower(path));
  if (k == hive.end()) return ERROR_FILE_NOT_FOUND;
  auto v = k->second.values.find(Lower(name ? name : ""));
  if (v == k->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& val = v->second;
  if (type) *type = val.type;
  const DWORD end = vorel::host::g_unterminated ? 0 : 1;
  DWORD need = val.type == REG_DWORD ? DWORD(sizeof(DWORD)) : DWORD(val.text.size() + end);
  if (!data) {
    if (size) *size = need;
    return ERROR_SUCCESS;
  }
  if (!size) return ERROR_INVALID_PARAMETER;
  if (*size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (val.type == REG_DWORD) std::memcpy(data, &val.number, sizeof(DWORD));
  else std::memcpy(data, val.text.c_str(), val.text.size() + end);
  *size = need;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  std::string path;
  if (!FullPath(key, nullptr, &path)) return ERROR_INVALID_HANDLE;
  Value val;
  val.name = name ? name : "";
  val.type = type;
  if (type == REG_DWORD) {
    if (!data || size < sizeof(DWORD)) return ERROR_INVALID_PARAMETER;
    std::memcpy(&val.number, data, sizeof(DWORD));
  } else if (type == REG_SZ) {
    const char* c = reinterpret_cast<const char*>(data);
    size_t n = 0;
    while (c && n < size && c[n]) ++n;
    val.text.assign(c ? c : "", n);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string file = FilePath();
  FileLock lock(file);
  Hive hive = Load(file);
  Key& k = hive[Lower(path)];
  if (k.path.empty()) k.path = path;
  k.values[Lower(val.name)] = val;
  return Save(file, hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteValueA(HKEY key, const char* name) {
  std::string path;
  if (!FullPath(key, nullptr, &path)) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string file = FilePath();
  FileLock lock(file);
  Hive hive = Load(file);
  auto k = hive.find(Lower(path));
  if (k == hive.end() || k->second.values.erase(Lower(name ? name : "")) == 0)
    return ERROR_FILE_NOT_FOUND;
  return Save(file, hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
  if (RootName(key)) return ERROR_SUCCESS;
  HANDLE h = reinterpret_cast<HANDLE>(key);
  if (!vorel::host::detail::HandleAs<OpenKey>(h)) return ERROR_INVALID_HANDLE;
  CloseHandle(h);
  return ERROR_SUCCESS;
}

namespace vorel::host {

void SetRegistryFile(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_fileOverride = path;
}

std::string RegistryFile() {
  std::lock_guard<std::mutex> guard(g_mutex);
  return FilePath();
}

namespace {
bool SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const BYTE* data, DWORD size) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExA(k, name.c_str(), 0, type, data, size);
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

bool GetValue(HKEY root, const std::string& key, const std::string& name, DWORD wantType,
              std::string* text, DWORD* number) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            type == wantType;
  if (ok) {
    std::string buf(size, '\0');
    ok = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]),
                          &size) == ERROR_SUCCESS;
    if (ok && type == REG_DWORD && number) std::memcpy(number, buf.data(), sizeof(DWORD));
    if (ok && type == REG_SZ && text) *text = buf.c_str();
  }
  RegCloseKey(k);
  return ok;
}
}  // namespace

bool RegistrySetString(HKEY root, const std::string& key, const std::string& name,
                       const std::string& value) {
  return SetValue(root, key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                  DWORD(value.size() + 1));
}

bool RegistrySetInt(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  return SetValue(root, key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                  DWORD(sizeof(value)));
}

bool RegistryGetString(HKEY root, const std::string& key, const std::string& name,
                       std::string* value) {
  return GetValue(root, key, name, REG_SZ, value, nullptr);
}

bool RegistryGetInt(HKEY root, const std::string& key, const std::string& name, DWORD* value) {
  return GetValue(root, key, name, REG_DWORD, nullptr, value);
}

}  // namespace vorel::host
