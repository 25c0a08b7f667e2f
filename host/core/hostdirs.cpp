#include "host/core/hostdirs.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "host/core/files.h"

namespace {

std::mutex g_mutex;
std::string g_root;  // empty: the default
std::map<int, std::string> g_dirs;

std::string Root() {
  if (!g_root.empty()) return g_root;
  const char* env = std::getenv("VOREL_HOST_ROOT");
  if (env && *env) return vorel::host::NormalizePath(env);
  return vorel::host::TempPath() + "vorel-host";
}

std::string Trim(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

namespace vorel::host {

std::string HostDirectory(int id) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_dirs.find(id);
  if (it != g_dirs.end()) return it->second;
  std::string root = Trim(Root());
  switch (id) {
    case APP_MAX_SYS_ROOT_DIR: return root;
    case APP_HELP_DIR: return root + "/help";
    case APP_PLUGCFG_DIR: return root + "/plugcfg";
    case APP_BITMAP_DIR: return root + "/maps";
    default: return std::string();
  }
}

void SetInstallRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_root = Trim(NormalizePath(root));
}

void SetHostDirectory(int id, const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (path.empty()) g_dirs.erase(id);
  else g_dirs[id] = Trim(NormalizePath(path));
}

bool CreateHostDirectories() {
  bool ok = true;
  for (int id : {APP_MAX_SYS_ROOT_DIR, APP_HELP_DIR, APP_PLUGCFG_DIR, APP_BITMAP_DIR})
    ok = MakeDirectories(HostDirectory(id)) && ok;
  return ok;
}

void SplitFilename(const std::string& path, std::string* folder, std::string* name,
                   std::string* ext) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
  if (folder) *folder = slash == std::string::npos ? std::string() : p.substr(0, slash);
  size_t dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) dot = file.size();
  if (name) *name = file.substr(0, dot);
  if (ext) *ext = file.substr(dot);
}

}  // namespace vorel::host
