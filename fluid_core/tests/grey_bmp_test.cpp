// The wet maps' bitmap writer: the 8-bit grey file read back byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fluid_core/grey_bmp.h"
#include "host/core/interaction.h"

namespace {

namespace fs = std::filesystem;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

class GreyBmp : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("grey_bmp_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    dc = CreateCompatibleDC(GetDC(nullptr));
  }
  void TearDown() override {
    DeleteDC(dc);
    for (HBITMAP b : bitmaps) DeleteObject(b);
    fs::remove_all(dir);
  }
  // A bitmap whose pixel (x, y) (row 0 at the top) has blue x + 10 y,
  // green 200 and red 100.
  HBITMAP Pattern(int w, int h) {
    HBITMAP bm = CreateCompatibleBitmap(GetDC(nullptr), w, h);
    bitmaps.push_back(bm);
    BITMAPINFO info;
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
        p[0] = uint8_t(x + 10 * y);
        p[1] = 200;
        p[2] = 100;
      }
    EXPECT_EQ(SetDIBits(dc, bm, 0, UINT(h), px.data(), &info, DIB_RGB_COLORS), h);
    return bm;
  }
  std::vector<uint8_t> Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }

  fs::path dir;
  HDC dc = nullptr;
  std::vector<HBITMAP> bitmaps;
};

TEST_F(GreyBmp, InfoDescribesTheBitmapAtTheAskedDepth) {
  HBITMAP bm = Pattern(30, 3);
  BITMAPINFO* info = CreateBitmapInfo(bm, 24);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->bmiHeader.biSize, 40u);
  EXPECT_EQ(info->bmiHeader.biWidth, 30);
  EXPECT_EQ(info->bmiHeader.biHeight, 3);
  EXPECT_EQ(info->bmiHeader.biPlanes, 1);
  EXPECT_EQ(info->bmiHeader.biBitCount, 24);
  EXPECT_EQ(info->bmiHeader.biCompression, BI_RGB);
  EXPECT_EQ(info->bmiHeader.biClrUsed, 0u);
  EXPECT_EQ(info->bmiHeader.biSizeImage, 92u * 3);  // 90 bytes padded to 92
  FreeBitmapInfo(info);
  // Depths are rounded to the next format; below 24 bits a colour table follows.
  struct Case {
    int asked, colours;
    uint32_t image;
  } cases[] = {{1, 2, 4 * 3}, {3, 16, 16 * 3}, {8, 256, 32 * 3}, {12, 65536, 60 * 3}, {32, 0, 120 * 3}};
  for (const Case& c : cases) {
    info = CreateBitmapInfo(bm, c.asked);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biClrUsed, uint32_t(c.colours)) << c.asked;
    EXPECT_EQ(info->bmiHeader.biSizeImage, c.image) << c.asked;
    EXPECT_EQ(info->bmiHeader.biBitCount, c.asked);
    FreeBitmapInfo(info);
  }
  EXPECT_EQ(CreateBitmapInfo(nullptr, 24), nullptr);
}

TEST_F(GreyBmp, OddWidthRowsArePaddedAndPixelsAreTheBlueChannel) {
  for (int w : {30, 31, 32, 33}) {
    SCOPED_TRACE(w);
    const int h = 3;
    HBITMAP bm = Pattern(w, h);
    BITMAPINFO* info = CreateBitmapInfo(bm, 24);
    ASSERT_NE(info, nullptr);
    const fs::path file = dir / ("map" + std::to_string(w) + ".bmp");
    ASSERT_TRUE(CreateBMPFile(file.c_str(), info, bm, dc));
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);  // the caller's info is left alone
    FreeBitmapInfo(info);

    const size_t row = size_t((w + 3) / 4 * 4);
    std::vector<uint8_t> b = Read(file);
    ASSERT_EQ(b.size(), 1078 + row * h);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), 1078 + row * h);
    EXPECT_EQ(U32(b, 6), 0u);
    EXPECT_EQ(U32(b, 10), 1078u);
    EXPECT_EQ(U32(b, 14), 40u);
    EXPECT_EQ(int32_t(U32(b, 18)), w);
    EXPECT_EQ(int32_t(U32(b, 22)), h);
    EXPECT_EQ(U16(b, 26), 1);
    EXPECT_EQ(U16(b, 28), 8);
    EXPECT_EQ(U32(b, 30), 0u);
    EXPECT_EQ(U32(b, 34), row * h);
    EXPECT_EQ(U32(b, 46), 256u);
    EXPECT_EQ(U32(b, 50), 256u);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(b[54 + 4 * i], i);
      ASSERT_EQ(b[55 + 4 * i], i);
      ASSERT_EQ(b[56 + 4 * i], i);
      ASSERT_EQ(b[57 + 4 * i], 0);
    }
    // Bottom row first; padding bytes are zero.
    for (int line = 0; line < h; ++line) {
      const int y = h - 1 - line;
      for (size_t x = 0; x < row; ++x) {
        uint8_t want = x < size_t(w) ? uint8_t(int(x) + 10 * y) : 0;
        ASSERT_EQ(b[1078 + size_t(line) * row + x], want) << "line " << line << " x " << x;
      }
    }
    EXPECT_FALSE(fs::exists(file.string() + ".part"));
  }
}

TEST_F(GreyBmp, FailuresStopAtTheFirstStepAndSaySo) {
  HBITMAP bm = Pattern(8, 2);
  BITMAPINFO* info = CreateBitmapInfo(bm, 24);
  ASSERT_NE(info, nullptr);
  const fs::path old = dir / "old.bmp";
  ASSERT_TRUE(CreateBMPFile(old.c_str(), info, bm, dc));
  const std::vector<uint8_t> before = Read(old);

  BITMAPINFO* deep = CreateBitmapInfo(bm, 32);
  HBITMAP other = Pattern(9, 2);
  struct Case {
    const char* what;
    std::string file;
    const BITMAPINFO* info;
    HBITMAP bitmap;
  } cases[] = {
      {"missing folder", (dir / "no" / "such" / "m.bmp").string(), info, bm},
      {"no info", old.string(), nullptr, bm},
      {"not 24-bit", old.string(), deep, bm},
      {"info of another bitmap", old.string(), info, other},
      {"no bitmap", old.string(), info, nullptr},
      {"no name", "", info, bm},
  };
  for (const Case& c : cases) {
    vorel::host::ClearPromptLog();
    EXPECT_FALSE(CreateBMPFile(c.file.c_str(), c.info, c.bitmap, dc)) << c.what;
    auto log = vorel::host::PromptLog();
    ASSERT_EQ(log.size(), 1u) << c.what;
    EXPECT_EQ(log[0].text, "error en CreateBMPFile") << c.what;
    EXPECT_EQ(log[0].ms, 1000u) << c.what;
  }
  EXPECT_EQ(Read(old), before);  // an older file stays whole
  EXPECT_FALSE(fs::exists(dir / "no"));
  FreeBitmapInfo(info);
  FreeBitmapInfo(deep);
}

}  // namespace
