#include "fluid_core/grey_bmp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/core/files.h"
#include "host/core/interaction.h"

namespace {

constexpr int kPaletteEntries = 256;
constexpr DWORD kBitsOffset = DWORD(14 + 40 + 4 * kPaletteEntries);

// Bytes of one row of width pixels at bits per pixel, padded to 4 bytes.
size_t RowBytes(long width, int bits) { return size_t(((long long)width * bits + 31) & ~31LL) / 8; }

bool Fail() {
  ShowTempPrompt("error en CreateBMPFile", 1000);
  return false;
}

}  // namespace

BITMAPINFO* CreateBitmapInfo(HBITMAP bitmap, int bitCount) {
  BITMAP bm;
  if (!GetObject(bitmap, sizeof bm, &bm)) return nullptr;
  const int asked = int(bm.bmPlanes) * bitCount;
  const int bits = asked == 1 ? 1 : asked < 5 ? 4 : asked < 9 ? 8 : asked <= 16 ? 16 : asked < 25 ? 24 : 32;
  const size_t colours = bits < 24 ? size_t(1) << bits : 0;
  const size_t bytes = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
  auto* info = static_cast<BITMAPINFO*>(std::calloc(1, bytes < sizeof(BITMAPINFO) ? sizeof(BITMAPINFO) : bytes));
  if (!info) return nullptr;
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = bm.bmWidth;
  h.biHeight = bm.bmHeight;
  h.biPlanes = bm.bmPlanes;
  h.biBitCount = WORD(bitCount);
  h.biCompression = BI_RGB;
  h.biClrUsed = DWORD(colours);
  h.biSizeImage = DWORD(RowBytes(bm.bmWidth, bits) * size_t(bm.bmHeight));
  h.biClrImportant = 0;
  return info;
}

void FreeBitmapInfo(BITMAPINFO* info) { std::free(info); }

bool CreateBMPFile(const char* fileName, const BITMAPINFO* info, HBITMAP bitmap, HDC dc) {
  if (!fileName || !*fileName || !info) return Fail();
  const BITMAPINFOHEADER& in = info->bmiHeader;
  BITMAP bm;
  if (!GetObject(bitmap, sizeof bm, &bm)) return Fail();
  const long width = in.biWidth, height = in.biHeight > 0 ? in.biHeight : -in.biHeight;
  if (in.biBitCount != 24 || in.biCompression != BI_RGB || width != bm.bmWidth || height != bm.bmHeight ||
      width <= 0 || height <= 0)
    return Fail();

  // Both buffers are sized from their own format: an 8-bit row of a width
  // that is not a multiple of 4 is more than a third of the 24-bit row.
  const size_t row24 = RowBytes(width, 24), row8 = RowBytes(width, 8);
  std::vector<uint8_t> bits24(row24 * size_t(height)), bits8(row8 * size_t(height), 0);
  BITMAPINFO read = *info;
  read.bmiHeader.biHeight = LONG(height);  // bottom-up
  read.bmiHeader.biSizeImage = DWORD(bits24.size());
  if (GetDIBits(dc, bitmap, 0, UINT(height), bits24.data(), &read, DIB_RGB_COLORS) != int(height))
    return Fail();
  for (long y = 0; y < height; ++y)
    for (long x = 0; x < width; ++x) bits8[size_t(y) * row8 + size_t(x)] = bits24[size_t(y) * row24 + size_t(x) * 3];

  BITMAPINFOHEADER out = in;
  out.biHeight = LONG(height);
  out.biBitCount = 8;
  out.biClrUsed = kPaletteEntries;
  out.biClrImportant = kPaletteEntries;
  out.biSizeImage = DWORD(bits8.size());
  BITMAPFILEHEADER file;
  file.bfType = 0x4D42;  // "BM"
  file.bfSize = kBitsOffset + out.biSizeImage;
  file.bfOffBits = kBitsOffset;
  RGBQUAD palette[kPaletteEntries];
  for (int i = 0; i < kPaletteEntries; ++i) {
    palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = BYTE(i);
    palette[i].rgbReserved = 0;
  }

  std::vector<uint8_t> bytes(sizeof file + sizeof out + sizeof palette + bits8.size());
  uint8_t* at = bytes.data();
  std::memcpy(at, &file, sizeof file);
  std::memcpy(at += sizeof file, &out, sizeof out);
  std::memcpy(at += sizeof out, palette, sizeof palette);
  std::memcpy(at + sizeof palette, bits8.data(), bits8.size());
  if (vorel::host::WriteFileAside(fileName, bytes.data(), bytes.size()).error != 0) return Fail();
  return true;
}
