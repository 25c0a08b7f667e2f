// Device-independent bitmaps and memory device contexts: the part of the
// platform's graphics interface that plug-ins use to keep images in memory,
// read and write their pixels, and fill polygons into them. Nothing is shown.
#pragma once
#include <cstdint>

#include "host/core/win32.h"

typedef struct HDC__* HDC;
typedef struct HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HPEN;

#pragma pack(push, 2)
// The 14-byte header that starts a .bmp file.
struct BITMAPFILEHEADER {
  WORD bfType = 0;
  DWORD bfSize = 0;
  WORD bfReserved1 = 0;
  WORD bfReserved2 = 0;
  DWORD bfOffBits = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header layout");

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
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header layout");

struct RGBQUAD {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};

// An info header followed by its colour table (callers allocate room for
// as many entries as the format needs).
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

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr int PS_SOLID = 0;

// The screen's device context (null window: the whole screen); screen
// bitmaps are 32 bits per pixel.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
// A memory device context; a bitmap selected into it is what it draws on.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// A bitmap in the screen's format (32 bits per pixel), black; null for a
// width or height that is not positive or too large.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBRUSH CreateSolidBrush(COLORREF color);
// A pen; width 0 draws one pixel wide.
HPEN CreatePen(int style, int width, COLORREF color);
// Selects a bitmap, brush or pen into the context; answers the object of
// that kind it replaces (null for none or a bad handle).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
// Deletes a bitmap, brush or pen; FALSE (nothing deleted) for one still
// selected into a device context or a bad handle.
BOOL DeleteObject(HGDIOBJ obj);
// Fills a BITMAP for a bitmap (size is the buffer's); the bytes written, 0
// for anything else.
int GetObject(HGDIOBJ obj, int size, void* out);
inline int GetObjectA(HGDIOBJ obj, int size, void* out) { return GetObject(obj, size, out); }

// Copies lines [start, start + lines) of a bitmap (counted from the bottom
// for a positive biHeight, from the top for a negative one) into bits in the
// format of info (24 or 32 bits per pixel, rows padded to 4 bytes). With
// null bits only fills in info's size fields. Answers the lines copied, 0 on
// failure (bad handles, other formats).
int GetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
// The reverse of GetDIBits: writes the lines from bits.
int SetDIBits(HDC dc, HBITMAP bm, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage);
// Fills the polygon with the selected brush and outlines it with the
// selected pen (one pixel wide, whatever its width), in the bitmap selected
// into dc. x runs right and y down; pixel (x, y) covers [x, x+1) x [y, y+1)
// and is filled when its centre lies inside (even-odd rule). Without a brush
// nothing is filled, without a pen nothing outlined. FALSE without a bitmap
// or with fewer than 2 points.
BOOL Polygon(HDC dc, const POINT* points, int count);

namespace vorel::host {
// The colour of one pixel (0x00BBGGRR) of a bitmap, row 0 at the top; -1
// outside it or for a bad handle. For tests.
long BitmapPixel(HBITMAP bm, int x, int y);
// Device contexts, bitmaps, brushes and pens alive: tests use it to see leaks.
int LiveGdiObjects();
}  // namespace vorel::host
