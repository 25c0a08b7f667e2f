// Memory DCs and bitmaps: selection rules, polygons, pixel transfers.
#include "host/core/gdi.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

struct Canvas {
  HDC dc;
  HBITMAP bmp;
  HGDIOBJ oldBmp;
  Canvas(int w, int h) {
    dc = CreateCompatibleDC(GetDC(nullptr));
    bmp = CreateCompatibleBitmap(GetDC(nullptr), w, h);
    oldBmp = SelectObject(dc, bmp);
  }
  ~Canvas() {
    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
};

}  // namespace

TEST(Gdi, SelectedObjectsCannotBeDeletedAndNothingLeaks) {
  const int before = vorel::host::LiveGdiObjects();
  {
    Canvas c(8, 8);
    ASSERT_NE(c.bmp, nullptr);
    EXPECT_FALSE(DeleteObject(c.bmp));  // still selected
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, c.bmp), nullptr);  // one DC at a time
    DeleteDC(other);
    HBRUSH brush = CreateSolidBrush(kWhite);
    HPEN pen = CreatePen(PS_SOLID, 0, kWhite);
    HGDIOBJ oldBrush = SelectObject(c.dc, brush);
    HGDIOBJ oldPen = SelectObject(c.dc, pen);
    EXPECT_FALSE(DeleteObject(brush));
    SelectObject(c.dc, oldBrush);
    SelectObject(c.dc, oldPen);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(pen));
    BITMAP bm;
    ASSERT_EQ(GetObject(c.bmp, sizeof(bm), &bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, 8);
    EXPECT_EQ(bm.bmHeight, 8);
    EXPECT_EQ(bm.bmPlanes, 1);
  }
  EXPECT_EQ(vorel::host::LiveGdiObjects(), before);
  // Sides that are not positive, or too large to hold, give no bitmap.
  EXPECT_EQ(CreateCompatibleBitmap(GetDC(nullptr), 0, 16), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(GetDC(nullptr), 1048576, 1048576), nullptr);
}

TEST(Gdi, PolygonFillsItsInsideAndOutlineClippedToTheBitmap) {
  Canvas c(16, 16);
  EXPECT_EQ(GetPixel(c.dc, 5, 5), RGB(0, 0, 0));  // new bitmaps are black
  HBRUSH brush = CreateSolidBrush(kWhite);
  HPEN pen = CreatePen(PS_SOLID, 0, kWhite);
  HGDIOBJ oldBrush = SelectObject(c.dc, brush);
  HGDIOBJ oldPen = SelectObject(c.dc, pen);
  const POINT tri[3] = {{2, 2}, {12, 2}, {2, 12}};
  ASSERT_TRUE(Polygon(c.dc, tri, 3));
  EXPECT_EQ(GetPixel(c.dc, 4, 4), kWhite);
  EXPECT_EQ(GetPixel(c.dc, 2, 2), kWhite);    // corners: outline
  EXPECT_EQ(GetPixel(c.dc, 12, 2), kWhite);
  EXPECT_EQ(GetPixel(c.dc, 10, 10), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(c.dc, 1, 1), RGB(0, 0, 0));
  // A triangle reaching far outside paints only what lies inside.
  const POINT huge[3] = {{-100000000, -100000000}, {100000000, 0}, {0, 100000000}};
  ASSERT_TRUE(Polygon(c.dc, huge, 3));
  EXPECT_EQ(GetPixel(c.dc, 15, 15), kWhite);
  EXPECT_EQ(GetPixel(c.dc, 16, 0), CLR_INVALID);
  SelectObject(c.dc, oldBrush);
  SelectObject(c.dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

TEST(Gdi, DibTransfersAreBottomUpAndPadded) {
  Canvas c(30, 2);
  SetPixel(c.dc, 0, 0, RGB(1, 2, 3));   // top row
  SetPixel(c.dc, 29, 1, RGB(4, 5, 6));  // bottom row
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biBitCount = 24;
  ASSERT_EQ(GetDIBits(c.dc, c.bmp, 0, 2, nullptr, &info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(info.bmiHeader.biSizeImage, 92u * 2u);  // 90 bytes padded to 92
  std::vector<uint8_t> rows(info.bmiHeader.biSizeImage, 0xEE);
  ASSERT_EQ(GetDIBits(c.dc, c.bmp, 0, 2, rows.data(), &info, DIB_RGB_COLORS), 2);
  // First DIB row is the bottom one: pixel 29 = B, G, R = 6, 5, 4.
  EXPECT_EQ(rows[87], 6);
  EXPECT_EQ(rows[88], 5);
  EXPECT_EQ(rows[89], 4);
  EXPECT_EQ(rows[90], 0);  // padding zeroed
  EXPECT_EQ(rows[92], 3);
  EXPECT_EQ(rows[94], 1);
  // 32-bit round trip, top-down this time.
  BITMAPINFO info32{};
  info32.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info32.bmiHeader.biWidth = 30;
  info32.bmiHeader.biHeight = -2;
  info32.bmiHeader.biPlanes = 1;
  info32.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> px(60, 0);
  ASSERT_EQ(GetDIBits(c.dc, c.bmp, 0, 2, px.data(), &info32, DIB_RGB_COLORS), 2);
  EXPECT_EQ(px[0], 0x00010203u);
  px[1] = 0x00FF8040u;
  ASSERT_EQ(SetDIBits(c.dc, c.bmp, 0, 2, px.data(), &info32, DIB_RGB_COLORS), 2);
  EXPECT_EQ(GetPixel(c.dc, 1, 0), RGB(0xFF, 0x80, 0x40));
  // A width that is not the bitmap's is refused.
  info32.bmiHeader.biWidth = 31;
  EXPECT_EQ(GetDIBits(c.dc, c.bmp, 0, 2, px.data(), &info32, DIB_RGB_COLORS), 0);
}
