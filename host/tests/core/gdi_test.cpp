// Memory bitmaps: pixels in and out in both row orders, polygon fills.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/core/gdi.h"

namespace {

namespace vh = vorel::host;

BITMAPINFO Info(int w, int h, int bits) {
  BITMAPINFO info;
  info.bmiHeader.biSize = 40;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = WORD(bits);
  return info;
}

TEST(Gdi, BitmapsStartBlackAndReportTheScreenFormat) {
  const int live = vh::LiveGdiObjects();
  HBITMAP bm = CreateCompatibleBitmap(GetDC(nullptr), 5, 3);
  EXPECT_EQ(vh::LiveGdiObjects(), live + 1);
  ASSERT_NE(bm, nullptr);
  BITMAP b;
  ASSERT_EQ(GetObject(bm, sizeof b, &b), int(sizeof b));
  EXPECT_EQ(b.bmWidth, 5);
  EXPECT_EQ(b.bmHeight, 3);
  EXPECT_EQ(b.bmPlanes, 1);
  EXPECT_EQ(b.bmBitsPixel, 32);
  EXPECT_EQ(vh::BitmapPixel(bm, 4, 2), 0);
  EXPECT_EQ(vh::BitmapPixel(bm, 5, 0), -1);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 3), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 3, -1), nullptr);
  EXPECT_EQ(GetObject(nullptr, sizeof b, &b), 0);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_FALSE(DeleteObject(bm));
  EXPECT_EQ(vh::LiveGdiObjects(), live);
}

TEST(Gdi, DibRowsRoundTripBottomUpAndTopDownWithPadding) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(nullptr, 3, 2);
  // 24-bit, top-down: rows of 9 bytes padded to 12.
  BITMAPINFO top = Info(3, -2, 24);
  std::vector<uint8_t> in(24, 0xEE);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = &in[size_t(y) * 12 + size_t(x) * 3];
      p[0] = uint8_t(10 * y + x);  // blue
      p[1] = 1;
      p[2] = 2;
    }
  ASSERT_EQ(SetDIBits(dc, bm, 0, 2, in.data(), &top, DIB_RGB_COLORS), 2);
  EXPECT_EQ(vh::BitmapPixel(bm, 2, 1), long(RGB(2, 1, 12)));
  // Read back bottom-up at 32 bits: the bottom row comes first.
  BITMAPINFO bottom = Info(3, 2, 32);
  EXPECT_EQ(GetDIBits(dc, bm, 0, 2, nullptr, &bottom, DIB_RGB_COLORS), 2);
  EXPECT_EQ(bottom.bmiHeader.biSizeImage, 24u);
  std::vector<uint8_t> out(24, 0xAA);
  ASSERT_EQ(GetDIBits(dc, bm, 0, 2, out.data(), &bottom, DIB_RGB_COLORS), 2);
  EXPECT_EQ(out[0], 10);  // row 1 (bottom), x 0
  EXPECT_EQ(out[12], 0);  // row 0 (top), x 0
  EXPECT_EQ(out[12 + 8], 2);
  EXPECT_EQ(out[12 + 9], 1);   // green of x 2
  EXPECT_EQ(out[12 + 10], 2);  // red of x 2
  EXPECT_EQ(out[3], 0);       // the unused byte
  // Formats other than 24 and 32 bits are refused.
  BITMAPINFO eight = Info(3, 2, 8);
  EXPECT_EQ(GetDIBits(dc, bm, 0, 2, out.data(), &eight, DIB_RGB_COLORS), 0);
  DeleteDC(dc);
  DeleteObject(bm);
}

TEST(Gdi, PolygonsFillPixelCentresInsideAndOutlineWithThePen) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(nullptr, 8, 8);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  EXPECT_FALSE(Polygon(dc, nullptr, 0));
  POINT square[4] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  EXPECT_FALSE(Polygon(dc, square, 4));  // no bitmap selected
  EXPECT_EQ(SelectObject(dc, bm), nullptr);
  EXPECT_EQ(SelectObject(dc, white), nullptr);
  ASSERT_TRUE(Polygon(dc, square, 4));
  int filled = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) filled += vh::BitmapPixel(bm, x, y) == long(RGB(255, 255, 255));
  EXPECT_EQ(filled, 16);  // pixels 2..5 in both directions
  EXPECT_EQ(vh::BitmapPixel(bm, 5, 5), long(RGB(255, 255, 255)));
  EXPECT_EQ(vh::BitmapPixel(bm, 6, 6), 0);
  // A pen draws the edges, end points included.
  HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
  SelectObject(dc, red);
  POINT line[2] = {{0, 7}, {7, 7}};
  ASSERT_TRUE(Polygon(dc, line, 2));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(vh::BitmapPixel(bm, x, 7), long(RGB(255, 0, 0))) << x;
  // A selected object cannot be deleted; once replaced it can.
  EXPECT_FALSE(DeleteObject(white));
  HBRUSH black = CreateSolidBrush(0);
  EXPECT_EQ(SelectObject(dc, black), white);
  EXPECT_TRUE(DeleteObject(white));
  DeleteDC(dc);
  EXPECT_TRUE(DeleteObject(black));
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_TRUE(DeleteObject(bm));
}

}  // namespace
