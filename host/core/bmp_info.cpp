#include "host/core/bmp_info.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace vorel::host {

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

int Grey(uint8_t r, uint8_t g, uint8_t b) { return int(0.299 * r + 0.587 * g + 0.114 * b + 0.5); }

}  // namespace

bool ReadBmpInfo(const std::string& path, BmpInfo& info, std::string& why) {
  info = BmpInfo();
  std::ifstream in(path, std::ios::binary);
  if (!in) return why = "cannot open " + path, false;
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return why = "not a bitmap file", false;
  const uint32_t pixelsAt = U32(b, 10);
  const uint32_t headerSize = U32(b, 14);
  if (headerSize < 40 || 14 + uint64_t(headerSize) > b.size()) return why = "short info header", false;
  const int32_t width = int32_t(U32(b, 18));
  const int32_t rawHeight = int32_t(U32(b, 22));
  const int bits = U16(b, 28);
  const uint32_t compression = U32(b, 30);
  uint32_t colours = U32(b, 46);
  if (U16(b, 26) != 1) return why = "planes must be 1", false;
  if (compression != 0) return why = "compressed bitmaps are not read", false;
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return why = "empty picture", false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
    return why = "unsupported depth " + std::to_string(bits), false;
  const int64_t height = rawHeight < 0 ? -int64_t(rawHeight) : rawHeight;
  const uint64_t stride = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
  if (pixelsAt > b.size() || stride * uint64_t(height) > b.size() - pixelsAt)
    return why = "pixel rows cut short", false;
  const size_t paletteAt = 14 + headerSize;
  if (bits <= 8 && colours == 0) colours = 1u << bits;
  if (bits <= 8 && (colours > (1u << bits) || paletteAt + 4 * uint64_t(colours) > pixelsAt))
    return why = "palette cut short", false;

  info.width = width;
  info.height = int32_t(height);
  info.bitsPerPixel = bits;
  info.darkest = 255;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* row = b.data() + pixelsAt + stride * uint64_t(y);
    for (int32_t x = 0; x < width; ++x) {
      int g = 0;
      if (bits <= 8) {
        const uint64_t bit = uint64_t(x) * bits;
        const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= colours) return why = "pixel outside the palette", false;
        const uint8_t* p = b.data() + paletteAt + 4 * index;  // blue, green, red, reserved
        g = Grey(p[2], p[1], p[0]);
      } else {
        const uint8_t* p = row + size_t(x) * (bits / 8);
        g = Grey(p[2], p[1], p[0]);
      }
      info.darkest = std::min(info.darkest, g);
      info.brightest = std::max(info.brightest, g);
      if (g > 0) ++info.litPixels;
    }
  }
  return true;
}

}  // namespace vorel::host
