#include "host/core/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

enum class ObjKind { Bitmap, Brush, Pen };

struct GdiObject {
  ObjKind kind = ObjKind::Bitmap;
  int width = 0, height = 0;
  std::vector<uint32_t> px;  // rows top first; bytes B, G, R, 0 in memory
  COLORREF color = 0;
};

struct DeviceContext {
  uintptr_t bitmap = 0, brush = 0, pen = 0;
};

// Bitmaps larger than this many pixels are refused (a wet map is at most
// 2048 x 2048).
constexpr long long kMaxPixels = 64LL * 1024 * 1024;
// The screen's device context handle.
const uintptr_t kScreenDc = 1;

std::mutex g_mutex;
uintptr_t g_next = 16;
std::map<uintptr_t, GdiObject>& Objects() {
  static auto* m = new std::map<uintptr_t, GdiObject>();
  return *m;
}
std::map<uintptr_t, DeviceContext>& Contexts() {
  static auto* m = new std::map<uintptr_t, DeviceContext>();
  return *m;
}

GdiObject* Find(uintptr_t h, ObjKind kind) {
  auto it = Objects().find(h);
  return it != Objects().end() && it->second.kind == kind ? &it->second : nullptr;
}
uintptr_t Id(const void* h) { return reinterpret_cast<uintptr_t>(h); }
HGDIOBJ Handle(uintptr_t id) { return reinterpret_cast<HGDIOBJ>(id); }

uint32_t FromColorRef(COLORREF c) {
  return uint32_t(GetBValue(c)) | (uint32_t(GetGValue(c)) << 8) | (uint32_t(GetRValue(c)) << 16);
}

bool SelectedAnywhere(uintptr_t h) {
  for (auto& kv : Contexts())
    if (kv.second.bitmap == h || kv.second.brush == h || kv.second.pen == h) return true;
  return false;
}

size_t Stride(int width, int bits) { return size_t(((long long)width * bits + 31) & ~31LL) / 8; }

// Copies DIB lines to or from a bitmap; the lines moved, 0 on failure.
int MoveLines(uintptr_t bmId, UINT start, UINT lines, uint8_t* dib, BITMAPINFO* info, bool toDib) {
  if (!info) return 0;
  GdiObject* bm = Find(bmId, ObjKind::Bitmap);
  if (!bm) return 0;
  BITMAPINFOHEADER& h = info->bmiHeader;
  if (!dib && toDib) {
    if (h.biBitCount == 0) {
      h.biSize = sizeof(BITMAPINFOHEADER);
      h.biWidth = bm->width;
      h.biHeight = bm->height;
      h.biPlanes = 1;
      h.biBitCount = 32;
      h.biCompression = BI_RGB;
    }
    if (h.biBitCount != 24 && h.biBitCount != 32) return 0;
    h.biSizeImage = DWORD(Stride(bm->width, h.biBitCount) * size_t(bm->height));
    return bm->height;
  }
  if (!dib || (h.biBitCount != 24 && h.biBitCount != 32) || h.biCompression != BI_RGB) return 0;
  const int bpp = h.biBitCount / 8;
  const size_t stride = Stride(bm->width, h.biBitCount);
  const bool bottomUp = h.biHeight > 0;
  if (start >= UINT(bm->height)) return 0;
  UINT end = std::min<UINT>(UINT(bm->height), start + lines);
  for (UINT j = start; j < end; ++j) {
    int row = bottomUp ? bm->height - 1 - int(j) : int(j);
    uint8_t* line = dib + size_t(j - start) * stride;
    uint32_t* px = bm->px.data() + size_t(row) * size_t(bm->width);
    for (int x = 0; x < bm->width; ++x) {
      uint8_t* p = line + size_t(x) * size_t(bpp);
      if (toDib) {
        p[0] = uint8_t(px[x] & 0xff);
        p[1] = uint8_t((px[x] >> 8) & 0xff);
        p[2] = uint8_t((px[x] >> 16) & 0xff);
        if (bpp == 4) p[3] = 0;
      } else {
        px[x] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      }
    }
  }
  return int(end - start);
}

void Plot(GdiObject& bm, long x, long y, uint32_t c) {
  if (x >= 0 && y >= 0 && x < bm.width && y < bm.height) bm.px[size_t(y) * size_t(bm.width) + size_t(x)] = c;
}

}  // namespace

HDC GetDC(HWND) { return reinterpret_cast<HDC>(kScreenDc); }
int ReleaseDC(HWND, HDC) { return 1; }

HDC CreateCompatibleDC(HDC) {
  std::lock_guard<std::mutex> lock(g_mutex);
  uintptr_t id = g_next++;
  Contexts()[id] = DeviceContext();
  return reinterpret_cast<HDC>(id);
}

BOOL DeleteDC(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Contexts().erase(Id(dc)) ? TRUE : FALSE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
  if (width <= 0 || height <= 0 || (long long)width * height > kMaxPixels) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObject o;
  o.kind = ObjKind::Bitmap;
  o.width = width;
  o.height = height;
  o.px.assign(size_t(width) * size_t(height), 0u);
  uintptr_t id = g_next++;
  Objects()[id] = std::move(o);
  return Handle(id);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObject o;
  o.kind = ObjKind::Brush;
  o.color = color;
  uintptr_t id = g_next++;
  Objects()[id] = o;
  return Handle(id);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  (void)style;
  (void)width;
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObject o;
  o.kind = ObjKind::Pen;
  o.color = color;
  uintptr_t id = g_next++;
  Objects()[id] = o;
  return Handle(id);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto c = Contexts().find(Id(dc));
  auto o = Objects().find(Id(obj));
  if (c == Contexts().end() || o == Objects().end()) return nullptr;
  uintptr_t* slot = o->second.kind == ObjKind::Bitmap  ? &c->second.bitmap
                    : o->second.kind == ObjKind::Brush ? &c->second.brush
                                                       : &c->second.pen;
  uintptr_t old = *slot;
  *slot = Id(obj);
  return Handle(old);
}

BOOL DeleteObject(HGDIOBJ obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  uintptr_t id = Id(obj);
  if (SelectedAnywhere(id)) return FALSE;
  return Objects().erase(id) ? TRUE : FALSE;
}

int GetObject(HGDIOBJ obj, int size, void* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObject* bm = Find(Id(obj), ObjKind::Bitmap);
  if (!bm || !out || size < int(sizeof(BITMAP))) return 0;
  BITMAP b;
  b.bmWidth = bm->width;
  b.bmHeight = bm->height;
  b.bmWidthBytes = LONG(Stride(bm->width, 32));
  b.bmPlanes = 1;
  b.bmBitsPixel = 32;
  std::memcpy(out, &b, sizeof b);
  return int(sizeof b);
}

int GetDIBits(HDC, HBITMAP bm, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return MoveLines(Id(bm), start, lines, static_cast<uint8_t*>(bits), info, true);
}

int SetDIBits(HDC, HBITMAP bm, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT) {
  if (!bits || !info) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  BITMAPINFO copy = *info;
  return MoveLines(Id(bm), start, lines, static_cast<uint8_t*>(const_cast<void*>(bits)), &copy, false);
}

BOOL Polygon(HDC dc, const POINT* pts, int n) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto c = Contexts().find(Id(dc));
  if (c == Contexts().end() || !pts || n < 2) return FALSE;
  GdiObject* bm = Find(c->second.bitmap, ObjKind::Bitmap);
  if (!bm) return FALSE;
  if (GdiObject* brush = Find(c->second.brush, ObjKind::Brush)) {
    uint32_t col = FromColorRef(brush->color);
    long ylo = long(pts[0].y), yhi = long(pts[0].y);
    for (int i = 1; i < n; ++i) ylo = std::min(ylo, long(pts[i].y)), yhi = std::max(yhi, long(pts[i].y));
    ylo = std::max(ylo, 0L);
    yhi = std::min(yhi, long(bm->height) - 1);
    std::vector<double> xs;
    for (long y = ylo; y <= yhi; ++y) {
      const double yc = double(y) + 0.5;
      xs.clear();
      for (int i = 0; i < n; ++i) {
        const POINT& a = pts[i];
        const POINT& b = pts[(i + 1) % n];
        if ((a.y <= yc) == (b.y <= yc)) continue;  // edge does not cross this centre line
        xs.push_back(double(a.x) + (yc - double(a.y)) * double(b.x - a.x) / double(b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t k = 0; k + 1 < xs.size(); k += 2) {
        // Pixels whose centre x + 0.5 lies in [xs[k], xs[k+1]).
        long x0 = long(std::ceil(xs[k] - 0.5)), x1 = long(std::ceil(xs[k + 1] - 0.5)) - 1;
        for (long x = std::max(x0, 0L); x <= std::min(x1, long(bm->width) - 1); ++x) Plot(*bm, x, y, col);
      }
    }
  }
  if (GdiObject* pen = Find(c->second.pen, ObjKind::Pen)) {
    uint32_t col = FromColorRef(pen->color);
    for (int i = 0; i < n; ++i) {
      long x0 = pts[i].x, y0 = pts[i].y, x1 = pts[(i + 1) % n].x, y1 = pts[(i + 1) % n].y;
      long dx = std::labs(x1 - x0), dy = -std::labs(y1 - y0);
      long sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
      for (;;) {
        Plot(*bm, x0, y0, col);
        if (x0 == x1 && y0 == y1) break;
        long e2 = 2 * err;
        if (e2 >= dy) { err += dy; x0 += sx; }
        if (e2 <= dx) { err += dx; y0 += sy; }
      }
    }
  }
  return TRUE;
}

namespace vorel::host {

long BitmapPixel(HBITMAP h, int x, int y) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObject* bm = Find(Id(h), ObjKind::Bitmap);
  if (!bm || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return -1;
  uint32_t p = bm->px[size_t(y) * size_t(bm->width) + size_t(x)];
  return long(RGB(int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)));
}

int LiveGdiObjects() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(Objects().size() + Contexts().size());
}

}  // namespace vorel::host
