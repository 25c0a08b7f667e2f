// The Win32 GDI subset that draws into memory bitmaps: memory device
// contexts, screen-compatible bitmaps (32-bit BGRX pixels), solid brushes and
// pens, filled polygons, and the device-independent pixel transfers. Used by
// the wet maps and the bitmap file writer; nothing reaches a screen.
#pragma once
#include <cstdint>

#include "host/core/win32.h"

typedef void* HGDIOBJ;
typedef struct HDC__* HDC;
typedef struct HBITMAP__* HBITMAP;
typedef struct HBRUSH__* HBRUSH;
typedef struct HPEN__* HPEN;

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
constexpr int OBJ_PEN = 1;
constexpr int OBJ_BRUSH = 2;
constexpr int OBJ_BITMAP = 7;

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
  WORD bfType = 0;
  DWORD bfSize = 0;
  WORD bfReserved1 = 0;
  WORD bfReserved2 = 0;
  DWORD bfOffBits = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header is 14 bytes on disk");

struct BITMAPINFOHEADER {
  DWORD biSize = 0;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 0;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header is 40 bytes on disk");

struct RGBQUAD {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
// What GetObject reports of a bitmap.
struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 0;
  WORD bmBitsPixel = 0;
  void* bmBits = nullptr;
};

// The screen's device context (hwnd null) and its release. The screen is a
// 32-bit device; the handle only serves as the model of compatible objects.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
// A memory device context; it starts with a 1 x 1 bitmap, a white brush and
// a black pen selected, which DeleteDC frees with it.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// A w x h bitmap of the screen's format, all black. Null when a side is not
// positive or the pixels cannot be allocated.
HBITMAP CreateCompatibleBitmap(HDC dc, int w, int h);
HBRUSH CreateSolidBrush(COLORREF color);
// Width 0 and 1 both draw one-pixel lines; PS_NULL draws nothing.
HPEN CreatePen(int style, int width, COLORREF color);
// Selects a bitmap, brush or pen into a memory DC and answers the one it
// replaces (null on failure: a bitmap already selected into another DC, or
// an unknown handle).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
// Frees a bitmap, brush or pen. Like GDI, refuses (FALSE) an object that is
// still selected into a DC.
BOOL DeleteObject(HGDIOBJ obj);
// For a bitmap: fills a BITMAP (cb >= sizeof(BITMAP)) and answers its size.
// 0 for anything else.
int GetObject(HGDIOBJ obj, int cb, void* out);
int GetObjectType(HGDIOBJ obj);

// Copies `lines` rows from `start` (counted from the bottom for a positive
// biHeight, from the top for a negative one) into bits, as 24- or 32-bit
// rows padded to 4 bytes. With bits null only fills the header (size of the
// image included). Answers the rows copied, 0 on failure (bad handles, a
// bitmap selected into a DC other than dc, another bit count, a width that
// differs from the bitmap's).
int GetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
// The reverse transfer; same formats and rules.
int SetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage);

// Fills the polygon (alternate rule: pixels whose centres lie inside) with
// the selected brush and draws its closed outline with the selected pen,
// both clipped to the selected bitmap. FALSE for fewer than 2 points or a DC
// without a drawable bitmap.
BOOL Polygon(HDC dc, const POINT* points, int count);
// The pixel at (x, y), top-left origin; CLR_INVALID outside the bitmap.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

namespace vorel::host {
// GDI objects alive (DCs, bitmaps, brushes, pens): tests use it to see leaks.
int LiveGdiObjects();
}  // namespace vorel::host
