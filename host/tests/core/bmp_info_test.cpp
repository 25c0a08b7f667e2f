#include "host/core/bmp_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using vorel::host::BmpInfo;
using vorel::host::ReadBmpInfo;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A width x height 8-bit grey bitmap, bottom-up, rows padded to 4 bytes.
std::vector<uint8_t> GreyBitmap(int width, int height, const std::vector<uint8_t>& pixels) {
  const int stride = (width + 3) / 4 * 4;
  const uint32_t at = 14 + 40 + 256 * 4;
  std::vector<uint8_t> b(at + size_t(stride) * height, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, at);
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(width));
  Put32(b, 22, uint32_t(height));
  b[26] = 1, b[28] = 8;
  for (int i = 0; i < 256; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(i);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b[at + size_t(y) * stride + x] = pixels[size_t(y) * width + x];
  return b;
}

std::string Write(const std::vector<uint8_t>& b, const char* name) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return path;
}

TEST(BmpInfo, ReadsAPaddedGreyPictureWithItsRange) {
  // Width 3 leaves one padding byte per row: a reader ignoring the stride
  // would see the padding as a pixel or run off the end.
  BmpInfo info;
  std::string why;
  ASSERT_TRUE(ReadBmpInfo(Write(GreyBitmap(3, 2, {0, 10, 200, 0, 0, 7}), "grey.bmp"), info, why)) << why;
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  EXPECT_EQ(info.bitsPerPixel, 8);
  EXPECT_EQ(info.darkest, 0);
  EXPECT_EQ(info.brightest, 200);
  EXPECT_EQ(info.litPixels, 3);
}

TEST(BmpInfo, RefusesWhatAViewerCouldNotShow) {
  const std::vector<uint8_t> good = GreyBitmap(3, 2, {1, 2, 3, 4, 5, 6});
  BmpInfo info;
  std::string why;
  // Every cut of the file, down to the first pixel row.
  for (size_t size : {size_t(0), size_t(2), size_t(53), size_t(54 + 100), good.size() - 1}) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(size));
    EXPECT_FALSE(ReadBmpInfo(Write(cut, "cut.bmp"), info, why)) << size;
  }
  std::vector<uint8_t> bad = good;
  bad[0] = 'X';
  EXPECT_FALSE(ReadBmpInfo(Write(bad, "magic.bmp"), info, why));
  bad = good;
  Put32(bad, 30, 1);  // run-length compressed
  EXPECT_FALSE(ReadBmpInfo(Write(bad, "rle.bmp"), info, why));
  bad = good;
  Put32(bad, 18, 0x7fffffff);  // rows far past the file
  EXPECT_FALSE(ReadBmpInfo(Write(bad, "wide.bmp"), info, why));
  EXPECT_EQ(why, "pixel rows cut short");
  bad = good;
  Put32(bad, 46, 4);  // a 4-colour palette with pixels 4..6 beyond it
  EXPECT_FALSE(ReadBmpInfo(Write(bad, "palette.bmp"), info, why));
  EXPECT_FALSE(ReadBmpInfo(::testing::TempDir() + "absent.bmp", info, why));
}

}  // namespace
