// Files and folders, with the Win32 names the plug-ins call, mapped to POSIX.
//
// Every path argument may use "\" or "/" as separator: a backslash is read as
// "/" (NormalizePath). Functions that fill a caller's buffer take its size and
// refuse (return 0 / FALSE, buffer emptied, last error
// ERROR_INSUFFICIENT_BUFFER or ERROR_FILENAME_EXCED_RANGE) when the text does
// not fit; they never write past it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host/core/win32.h"

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  char cFileName[MAX_PATH] = {0};
};

// The plug-ins' temporary folder with a trailing "/": $TMPDIR, else "/tmp",
// when only its owner may write into it; in a folder others may write into
// (the shared /tmp), this user's private folder "vorel-<uid>" inside it
// (made with mode 0700; one that is a link, no folder or another user's is
// refused, with a line on stderr, for a fresh private "vorel-<uid>-XXXXXX").
// Returns the length written (terminator not counted); 0 when it does not fit
// in bufLen characters with its terminator (ERROR_INSUFFICIENT_BUFFER) or no
// private folder can be made (ERROR_ACCESS_DENIED).
DWORD GetTempPathA(DWORD bufLen, char* buf);
// Makes one folder level. FALSE with ERROR_ALREADY_EXISTS when it exists,
// ERROR_PATH_NOT_FOUND when the parent is missing.
BOOL CreateDirectoryA(const char* path, void* security = nullptr);
BOOL RemoveDirectoryA(const char* path);
// FILE_ATTRIBUTE_DIRECTORY or FILE_ATTRIBUTE_NORMAL, INVALID_FILE_ATTRIBUTES
// when nothing is there.
DWORD GetFileAttributesA(const char* path);
// Deletes a plain file (never a folder).
BOOL DeleteFileA(const char* path);
// Copies a plain file; with failIfExists an existing target is refused.
BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists);
// Renames a file or folder; refused when the target exists.
BOOL MoveFileA(const char* from, const char* to);
// Only tests that the folder exists: the process's current folder is left
// alone (plug-ins use this call as an existence test, and changing the
// current folder of a shared host process would surprise everyone else).
BOOL SetCurrentDirectoryA(const char* path);

// Lists the folder entries matching the wildcard of the last path component
// ("*" any run, "?" one character, case-insensitive as on the original
// platform), sorted by name case-insensitively; "." and ".." are never
// returned. INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing
// matches. Names too long for cFileName are skipped.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);

namespace vorel::host {

// "\" becomes "/"; runs of separators are kept.
std::string NormalizePath(const std::string& path);
bool PathExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);  // a plain file
// Size in bytes of a plain file, -1 when there is none.
int64_t FileSize(const std::string& path);
// The temporary folder with a trailing "/".
std::string TempPath();
// Makes the folder and any missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
// Case-insensitive wildcard match of a whole name ("*" and "?").
bool WildcardMatch(const std::string& pattern, const std::string& name);
// A name that can only be one folder directly inside another: not empty, no
// "..", no separator, drive colon, wildcard or control character. A folder
// named by a user or a scene file and joined to a parent is held to this
// before anything is written into it or deleted from it.
bool IsSingleFolderName(const std::string& name);
// Names (not paths) in folder matching pattern, in FindFirstFileA's order.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
// fopen with the path normalised; modes as the plug-ins write them ("rt",
// "wt" are accepted: the text/binary letter makes no difference here; "x"
// creates exclusively). A mode that writes never follows a link at the
// last component (null, errno ELOOP): a planted link would make the write
// land in the file it names.
FILE* OpenFile(const std::string& path, const char* mode);
// Copies text into a fixed buffer of bufLen characters; false (buffer
// emptied, message on stderr naming what) when it does not fit.
bool CopyToBuffer(const std::string& text, char* buf, size_t bufLen, const char* what);

// How WriteFileAside ended. `error` is 0 when the file stands whole at its
// path, else the errno of the first call that failed (EIO where that call
// set none); `created` says whether the temporary file could be made at all.
struct AsideWrite {
  int error = 0;
  bool created = false;
};
// Writes size bytes to a side file path + ".part<pid>-<n>", created
// exclusively under a name unique to the process and the write (a link or
// file planted at a name is never opened), and renames that over path once it
// is whole and closed: a failed write (a full disk, a folder taken away)
// leaves any earlier file at path as it was and no side file behind. The path
// is taken as given (no "\" mapping).
AsideWrite WriteFileAside(const std::string& path, const void* data, size_t size);
// The same for a file written piece by piece: write gets the open ".part"
// file and returns false when a piece could not be written (errno then says
// why, EIO where it says nothing).
AsideWrite WriteFileAside(const std::string& path, const std::function<bool(std::FILE*)>& write);

}  // namespace vorel::host

// The character-width-neutral spellings the plug-ins also use.
typedef WIN32_FIND_DATAA WIN32_FIND_DATA;
inline DWORD GetTempPath(DWORD bufLen, char* buf) { return GetTempPathA(bufLen, buf); }
inline BOOL CreateDirectory(const char* path, void* security) { return CreateDirectoryA(path, security); }
inline BOOL RemoveDirectory(const char* path) { return RemoveDirectoryA(path); }
inline DWORD GetFileAttributes(const char* path) { return GetFileAttributesA(path); }
inline BOOL DeleteFile(const char* path) { return DeleteFileA(path); }
inline BOOL CopyFile(const char* from, const char* to, BOOL failIfExists) {
  return CopyFileA(from, to, failIfExists);
}
inline BOOL MoveFile(const char* from, const char* to) { return MoveFileA(from, to); }
inline BOOL SetCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path); }
inline HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data) {
  return FindFirstFileA(pattern, data);
}
inline BOOL FindNextFile(HANDLE find, WIN32_FIND_DATAA* data) { return FindNextFileA(find, data); }
