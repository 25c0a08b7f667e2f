#include "host/core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "host/core/handles.h"

namespace fs = std::filesystem;

namespace {

struct FindState : vorel::host::detail::HandleObject {
  std::string folder;
  std::vector<std::string> names;
  size_t next = 0;
};

void SetErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: SetLastError(DWORD(ERROR_FILE_NOT_FOUND)); break;
    case ENOTDIR: SetLastError(DWORD(ERROR_PATH_NOT_FOUND)); break;
    case EEXIST: SetLastError(DWORD(ERROR_ALREADY_EXISTS)); break;
    case ENOTEMPTY: SetLastError(DWORD(ERROR_DIR_NOT_EMPTY)); break;
    case ENAMETOOLONG: SetLastError(DWORD(ERROR_FILENAME_EXCED_RANGE)); break;
    default: SetLastError(DWORD(ERROR_ACCESS_DENIED)); break;
  }
}

std::string Norm(const char* p) { return vorel::host::NormalizePath(p ? p : ""); }

bool StatPath(const std::string& p, struct stat* st) {
  return !p.empty() && ::stat(p.c_str(), st) == 0;
}

// Fills a find record; false when the name does not fit cFileName.
bool FillFind(const std::string& folder, const std::string& name, WIN32_FIND_DATAA* data) {
  if (name.size() >= sizeof(data->cFileName)) {
    std::fprintf(stderr, "vorel-host: skipping \"%s\" in \"%s\": the name is longer than %d characters\n",
                 name.c_str(), folder.c_str(), MAX_PATH - 1);
    return false;
  }
  *data = WIN32_FIND_DATAA();
  std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
  struct stat st;
  if (StatPath(folder + name, &st)) {
    if (S_ISDIR(st.st_mode)) {
      data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
      data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
      uint64_t size = uint64_t(st.st_size);
      data->nFileSizeLow = DWORD(size & 0xFFFFFFFFu);
      data->nFileSizeHigh = DWORD(size >> 32);
    }
  }
  return true;
}

bool NextFitting(FindState* s, WIN32_FIND_DATAA* data) {
  while (s->next < s->names.size()) {
    const std::string& n = s->names[s->next++];
    if (FillFind(s->folder, n, data)) return true;
  }
  return false;
}

}  // namespace

namespace {
// Whether path is a folder (not a link to one) of this user that no one
// else may write into; why not otherwise.
bool OwnPrivateFolder(const std::string& path, std::string& why) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) why = "it is a link";
  else if (!S_ISDIR(st.st_mode)) why = "it is no folder";
  else if (st.st_uid != ::geteuid()) why = "it belongs to another user";
  else if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) why = std::strerror(errno);
  else return true;
  return false;
}

// The plug-ins' temporary folder. A folder others may write into (the
// shared /tmp) is never used itself: another user could plant links in it
// where the caches will write. A private folder of this user inside it is
// used instead, made with mode 0700; when that name is taken by a link, a
// file or another user's folder, a fresh private folder of a unique name.
// Kept for the process once chosen.
std::string PrivateTempPath() {
  static std::mutex mutex;
  static std::string chosenFor, chosen;
  const std::string base = vorel::host::TempPath();
  std::lock_guard<std::mutex> lock(mutex);
  std::string why;
  if (!chosen.empty() && chosenFor == base && OwnPrivateFolder(chosen.substr(0, chosen.size() - 1), why))
    return chosen;
  struct stat st;
  if (::stat(base.c_str(), &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return base;
  const std::string own = base + "vorel-" + std::to_string(unsigned(::geteuid()));
  ::mkdir(own.c_str(), 0700);
  std::string result;
  if (OwnPrivateFolder(own, why)) {
    result = own + "/";
  } else {
    std::string pattern = own + "-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
      std::fprintf(stderr, "vorel-host: no private temporary folder can be made in %s: %s\n", base.c_str(),
                   std::strerror(errno));
      return std::string();
    }
    std::fprintf(stderr, "vorel-host: the temporary folder %s is refused (%s); %s is used instead\n",
                 own.c_str(), why.c_str(), pattern.c_str());
    result = pattern + "/";
  }
  chosenFor = base;
  chosen = result;
  return result;
}
}  // namespace

DWORD GetTempPathA(DWORD bufLen, char* buf) {
  std::string t = PrivateTempPath();
  if (t.empty()) {
    if (buf && bufLen) buf[0] = '\0';
    SetLastError(DWORD(ERROR_ACCESS_DENIED));
    return 0;
  }
  if (!buf || bufLen == 0 || t.size() + 1 > bufLen) {
    if (buf && bufLen) buf[0] = '\0';
    std::fprintf(stderr, "vorel-host: the temporary folder \"%s\" is longer than %u characters\n",
                 t.c_str(), unsigned(bufLen ? bufLen - 1 : 0));
    SetLastError(DWORD(ERROR_INSUFFICIENT_BUFFER));
    return 0;
  }
  std::memcpy(buf, t.c_str(), t.size() + 1);
  return DWORD(t.size());
}

BOOL CreateDirectoryA(const char* path, void*) {
  std::string p = Norm(path);
  if (p.empty()) { SetLastError(DWORD(ERROR_PATH_NOT_FOUND)); return FALSE; }
  if (::mkdir(p.c_str(), 0777) == 0) return TRUE;
  SetErrorFromErrno(errno == ENOENT ? ENOTDIR : errno);
  return FALSE;
}

BOOL RemoveDirectoryA(const char* path) {
  std::string p = Norm(path);
  if (!p.empty() && ::rmdir(p.c_str()) == 0) return TRUE;
  SetErrorFromErrno(p.empty() ? ENOENT : errno);
  return FALSE;
}

DWORD GetFileAttributesA(const char* path) {
  struct stat st;
  if (!StatPath(Norm(path), &st)) {
    SetLastError(DWORD(ERROR_FILE_NOT_FOUND));
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL DeleteFileA(const char* path) {
  std::string p = Norm(path);
  struct stat st;
  if (!StatPath(p, &st)) { SetLastError(DWORD(ERROR_FILE_NOT_FOUND)); return FALSE; }
  if (S_ISDIR(st.st_mode)) { SetLastError(DWORD(ERROR_ACCESS_DENIED)); return FALSE; }
  if (::unlink(p.c_str()) == 0) return TRUE;
  SetErrorFromErrno(errno);
  return FALSE;
}

BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) {
  std::string a = Norm(from), b = Norm(to);
  if (!vorel::host::FileExists(a)) { SetLastError(DWORD(ERROR_FILE_NOT_FOUND)); return FALSE; }
  if (vorel::host::PathExists(b)) {
    if (failIfExists) { SetLastError(DWORD(ERROR_FILE_EXISTS)); return FALSE; }
    if (vorel::host::DirectoryExists(b)) { SetLastError(DWORD(ERROR_ACCESS_DENIED)); return FALSE; }
  }
  std::error_code ec;
  fs::copy_file(a, b, fs::copy_options::overwrite_existing, ec);
  if (ec) { SetErrorFromErrno(ec.value()); return FALSE; }
  return TRUE;
}

BOOL MoveFileA(const char* from, const char* to) {
  std::string a = Norm(from), b = Norm(to);
  if (!vorel::host::PathExists(a)) { SetLastError(DWORD(ERROR_FILE_NOT_FOUND)); return FALSE; }
  if (vorel::host::PathExists(b)) { SetLastError(DWORD(ERROR_ALREADY_EXISTS)); return FALSE; }
  if (::rename(a.c_str(), b.c_str()) == 0) return TRUE;
  SetErrorFromErrno(errno);
  return FALSE;
}

BOOL SetCurrentDirectoryA(const char* path) {
  if (vorel::host::DirectoryExists(Norm(path))) return TRUE;
  SetLastError(DWORD(ERROR_FILE_NOT_FOUND));
  return FALSE;
}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  std::string p = Norm(pattern);
  size_t slash = p.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  std::string wild = slash == std::string::npos ? p : p.substr(slash + 1);
  auto* s = new FindState;
  s->folder = folder;
  s->names = vorel::host::ListFiles(folder.empty() ? "." : folder, wild);
  if (!data || !NextFitting(s, data)) {
    delete s;
    SetLastError(DWORD(ERROR_FILE_NOT_FOUND));
    return INVALID_HANDLE_VALUE;
  }
  return vorel::host::detail::AddHandle(s);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  auto* s = vorel::host::detail::HandleAs<FindState>(find);
  if (!s) { SetLastError(DWORD(ERROR_INVALID_HANDLE)); return FALSE; }
  if (!data || !NextFitting(s, data)) { SetLastError(DWORD(ERROR_NO_MORE_FILES)); return FALSE; }
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!vorel::host::detail::HandleAs<FindState>(find)) {
    SetLastError(DWORD(ERROR_INVALID_HANDLE));
    return FALSE;
  }
  return CloseHandle(find);
}

namespace vorel::host {

bool IsSingleFolderName(const std::string& name) {
  if (name.empty() || name == "." || name.find("..") != std::string::npos) return false;
  for (unsigned char c : name)
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
  return true;
}

std::string NormalizePath(const std::string& path) {
  std::string r = path;
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return StatPath(NormalizePath(path), &st);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return StatPath(NormalizePath(path), &st) && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return StatPath(NormalizePath(path), &st) && S_ISREG(st.st_mode);
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (!StatPath(NormalizePath(path), &st) || !S_ISREG(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

std::string TempPath() {
  const char* env = std::getenv("TMPDIR");
  std::string t = (env && *env) ? NormalizePath(env) : std::string("/tmp");
  if (t.back() != '/') t += '/';
  return t;
}

bool MakeDirectories(const std::string& path) {
  std::string p = NormalizePath(path);
  if (p.empty()) return false;
  std::error_code ec;
  fs::create_directories(p, ec);
  return DirectoryExists(p);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative match with one backtrack point for the last "*".
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  auto eq = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && eq(pattern[p], name[n])))) {
      ++p; ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> out;
  std::error_code ec;
  fs::directory_iterator it(NormalizePath(folder), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (n == "." || n == "..") continue;
    if (WildcardMatch(pattern, n)) out.push_back(n);
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      int ca = std::tolower(static_cast<unsigned char>(a[i]));
      int cb = std::tolower(static_cast<unsigned char>(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return out;
}

FILE* OpenFile(const std::string& path, const char* mode) {
  std::string m;
  bool plus = false, exclusive = false;
  for (const char* c = mode; c && *c; ++c) {
    if (*c == 't') continue;
    if (*c == 'x') {
      exclusive = true;
      continue;
    }
    plus = plus || *c == '+';
    m += *c;
  }
  const char kind = m.empty() ? 'r' : m[0];
  int flags = O_CLOEXEC;
  if (kind == 'r') {
    if (!plus) return std::fopen(NormalizePath(path).c_str(), m.c_str());
    flags |= O_RDWR;
  } else if (kind == 'w') {
    flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
  } else if (kind == 'a') {
    flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
  } else {
    errno = EINVAL;
    return nullptr;
  }
  // What is written never follows a link: one planted at the name would
  // make the write truncate or fill the file it names.
  flags |= O_NOFOLLOW;
  if (exclusive) flags |= O_EXCL;
  const int fd = ::open(NormalizePath(path).c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, m.c_str());
  if (!f) {
    const int e = errno;
    ::close(fd);
    errno = e;
  }
  return f;
}

AsideWrite WriteFileAside(const std::string& path, const void* data, size_t size) {
  return WriteFileAside(path, [&](std::FILE* f) { return size == 0 || std::fwrite(data, 1, size, f) == size; });
}

namespace {
// A name for the side file that no one else uses: made exclusively, so a
// link or file planted at a name is never opened, and unique to the process
// and the write, so two writers of one file never share one.
std::FILE* CreateSideFile(const std::string& path, std::string& part) {
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 16; ++attempt) {
    part = path + ".part" + std::to_string(long(::getpid())) + "-" + std::to_string(serial++);
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
      const int e = errno;
      ::close(fd);
      ::unlink(part.c_str());
      errno = e;
    }
    return f;
  }
  errno = EEXIST;
  return nullptr;
}
}  // namespace

AsideWrite WriteFileAside(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  AsideWrite r;
  std::string part;
  errno = 0;
  std::FILE* f = CreateSideFile(path, part);
  if (!f) {
    r.error = errno ? errno : EIO;
    return r;
  }
  r.created = true;
  errno = 0;
  bool ok = write(f);
  int err = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    std::remove(part.c_str());
    r.error = err ? err : EIO;
  }
  return r;
}

bool CopyToBuffer(const std::string& text, char* buf, size_t bufLen, const char* what) {
  if (!buf || bufLen == 0) return false;
  if (text.size() + 1 > bufLen) {
    buf[0] = '\0';
    std::fprintf(stderr, "vorel-host: %s is longer than %zu characters: \"%s\"\n",
                 what ? what : "a text", bufLen - 1, text.c_str());
    return false;
  }
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace vorel::host
