// The small part of the Win32 vocabulary the plug-ins speak: scalar types,
// handles, error codes and message-box / key constants. The functions that
// use them live in files.h, registry.h, process.h and interaction.h.
#pragma once
#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef unsigned int UINT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef char TCHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef DWORD COLORREF;
#ifndef _T
#define _T(x) x
#endif

// Opaque handle types. A module handle is the load address of the library
// (see ModuleOf in strings.h), as on the original platform.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__* HKEY;
typedef void* HANDLE;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(intptr_t(-1)))

// A dialog procedure (the UI layer's windows call it).
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  LONG left = 0, top = 0, right = 0, bottom = 0;
};
struct POINT {
  LONG x = 0, y = 0;
};

constexpr COLORREF RGB(int r, int g, int b) {
  return COLORREF(r & 0xff) | (COLORREF(g & 0xff) << 8) | (COLORREF(b & 0xff) << 16);
}
constexpr int GetRValue(COLORREF c) { return int(c & 0xff); }
constexpr int GetGValue(COLORREF c) { return int((c >> 8) & 0xff); }
constexpr int GetBValue(COLORREF c) { return int((c >> 16) & 0xff); }

// Path buffers of the original platform are this long, terminator included.
constexpr int MAX_PATH = 260;

// Error codes reported through GetLastError / returned by the registry.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG ERROR_MORE_DATA = 234;

// Last error of the calling thread, set by the functions of this layer.
DWORD GetLastError();
void SetLastError(DWORD code);

// Closes a handle made by this layer (find handle, event, process); false
// for a handle it does not know.
BOOL CloseHandle(HANDLE h);

// Message boxes (interaction.h).
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_APPLMODAL = 0x0;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Virtual keys polled by the plug-ins.
constexpr int VK_ESCAPE = 27;
