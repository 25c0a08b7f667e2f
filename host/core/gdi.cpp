// Memory device contexts and bitmaps: GDI objects are plain records keyed
// by their handles; a bitmap keeps its pixels top row first as BGRX words.
#include "host/core/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

// Largest bitmap handed out: 2^28 pixels (1 GiB); anything larger fails as
// an allocation failure would.
constexpr int64_t kMaxPixels = int64_t(1) << 28;

struct GdiObj {
  int type = 0;
  int selections = 0;  // DCs it is selected into
  virtual ~GdiObj() = default;
};
struct Bitmap : GdiObj {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // top row first, 0x00RRGGBB (bytes B, G, R, X)
};
struct Brush : GdiObj {
  COLORREF color = 0;
};
struct Pen : GdiObj {
  int style = PS_SOLID;
  COLORREF color = 0;
};
struct Dc {
  bool screen = false;
  Bitmap* bitmap = nullptr;
  Brush* brush = nullptr;
  Pen* pen = nullptr;
  // The objects a new DC starts with; freed with it.
  HGDIOBJ ownBitmap = nullptr, ownBrush = nullptr, ownPen = nullptr;
};

std::mutex g_mutex;
std::unordered_map<void*, std::unique_ptr<GdiObj>>& Objects() {
  static auto* m = new std::unordered_map<void*, std::unique_ptr<GdiObj>>();
  return *m;
}
std::unordered_map<void*, std::unique_ptr<Dc>>& Dcs() {
  static auto* m = new std::unordered_map<void*, std::unique_ptr<Dc>>();
  return *m;
}
Dc* ScreenDc() {
  static Dc screen = [] {
    Dc d;
    d.screen = true;
    return d;
  }();
  return &screen;
}

GdiObj* FindObj(HGDIOBJ h) {
  auto it = Objects().find(h);
  return it == Objects().end() ? nullptr : it->second.get();
}
Dc* FindDc(HDC h) {
  if (h == reinterpret_cast<HDC>(ScreenDc())) return ScreenDc();
  auto it = Dcs().find(h);
  return it == Dcs().end() ? nullptr : it->second.get();
}
HGDIOBJ AddObj(std::unique_ptr<GdiObj> obj) {
  HGDIOBJ h = obj.get();
  Objects()[h] = std::move(obj);
  return h;
}

uint32_t ToPixel(COLORREF c) {
  return uint32_t(GetBValue(c)) | (uint32_t(GetGValue(c)) << 8) | (uint32_t(GetRValue(c)) << 16);
}
COLORREF ToColor(uint32_t p) { return RGB(int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)); }

HBITMAP NewBitmap(int w, int h) {
  if (w <= 0 || h <= 0 || int64_t(w) * int64_t(h) > kMaxPixels) return nullptr;
  auto b = std::make_unique<Bitmap>();
  b->type = OBJ_BITMAP;
  b->w = w;
  b->h = h;
  try {
    b->px.assign(size_t(w) * size_t(h), 0u);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return static_cast<HBITMAP>(AddObj(std::move(b)));
}

int RowBytes(int width, int bits) { return ((width * bits + 31) & ~31) / 8; }

// Rows and format checks shared by the two transfers; the first bitmap row
// (top-first index) of DIB row `start`, and how many rows move.
bool TransferRange(Dc* d, Bitmap* b, UINT start, UINT lines, const BITMAPINFOHEADER& hdr,
                   UINT& count) {
  if (!d || !b) return false;
  if (b->selections > 0 && d->bitmap != b) return false;
  if (hdr.biBitCount != 24 && hdr.biBitCount != 32) return false;
  if (hdr.biWidth != b->w || hdr.biCompression != BI_RGB) return false;
  if (start >= UINT(b->h)) return false;
  count = std::min<UINT>(lines, UINT(b->h) - start);
  return count > 0;
}
int BitmapRow(const Bitmap& b, const BITMAPINFOHEADER& hdr, UINT dibRow) {
  return hdr.biHeight < 0 ? int(dibRow) : b.h - 1 - int(dibRow);
}

void Plot(Bitmap& b, int x, int y, uint32_t p) {
  if (x >= 0 && y >= 0 && x < b.w && y < b.h) b.px[size_t(y) * size_t(b.w) + size_t(x)] = p;
}

// One-pixel line including both end points, walked only over the part of
// its major axis that lies in the bitmap.
void Line(Bitmap& b, const POINT& p0, const POINT& p1, uint32_t p) {
  double x0 = p0.x, y0 = p0.y, x1 = p1.x, y1 = p1.y;
  double dx = x1 - x0, dy = y1 - y0;
  if (std::fabs(dx) >= std::fabs(dy)) {
    if (dx == 0.0) { Plot(b, p0.x, p0.y, p); return; }
    int lo = int(std::max(std::min(x0, x1), 0.0)), hi = int(std::min(std::max(x0, x1), double(b.w - 1)));
    for (int x = lo; x <= hi; ++x) Plot(b, x, int(std::lround(y0 + (x - x0) * dy / dx)), p);
  } else {
    int lo = int(std::max(std::min(y0, y1), 0.0)), hi = int(std::min(std::max(y0, y1), double(b.h - 1)));
    for (int y = lo; y <= hi; ++y) Plot(b, int(std::lround(x0 + (y - y0) * dx / dy)), y, p);
  }
}

void Fill(Bitmap& b, const POINT* pts, int n, uint32_t p) {
  double ymin = pts[0].y, ymax = pts[0].y;
  for (int i = 1; i < n; ++i) {
    ymin = std::min(ymin, double(pts[i].y));
    ymax = std::max(ymax, double(pts[i].y));
  }
  int rowLo = std::max(0, int(std::floor(ymin))), rowHi = std::min(b.h - 1, int(std::ceil(ymax)));
  std::vector<double> xs;
  for (int y = rowLo; y <= rowHi; ++y) {
    double yc = y + 0.5;
    xs.clear();
    for (int i = 0; i < n; ++i) {
      const POINT& a = pts[i];
      const POINT& c = pts[(i + 1) % n];
      if ((a.y <= yc && yc < c.y) || (c.y <= yc && yc < a.y))
        xs.push_back(a.x + (yc - a.y) * double(c.x - a.x) / double(c.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2) {
      // Pixels whose centres x + 0.5 lie in [xs[k], xs[k+1]).
      int lo = std::max(0, int(std::ceil(xs[k] - 0.5)));
      int hi = std::min(b.w - 1, int(std::ceil(xs[k + 1] - 0.5)) - 1);
      for (int x = lo; x <= hi; ++x) b.px[size_t(y) * size_t(b.w) + size_t(x)] = p;
    }
  }
}

}  // namespace

HDC GetDC(HWND hwnd) {
  (void)hwnd;
  return reinterpret_cast<HDC>(ScreenDc());
}
int ReleaseDC(HWND hwnd, HDC dc) {
  (void)hwnd;
  return dc == reinterpret_cast<HDC>(ScreenDc()) ? 1 : 0;
}

HDC CreateCompatibleDC(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (dc && !FindDc(dc)) return nullptr;
  auto d = std::make_unique<Dc>();
  d->ownBitmap = NewBitmap(1, 1);
  auto brush = std::make_unique<Brush>();
  brush->type = OBJ_BRUSH;
  brush->color = RGB(255, 255, 255);
  d->ownBrush = AddObj(std::move(brush));
  auto pen = std::make_unique<Pen>();
  pen->type = OBJ_PEN;
  d->ownPen = AddObj(std::move(pen));
  d->bitmap = static_cast<Bitmap*>(FindObj(d->ownBitmap));
  d->brush = static_cast<Brush*>(FindObj(d->ownBrush));
  d->pen = static_cast<Pen*>(FindObj(d->ownPen));
  d->bitmap->selections++;
  d->brush->selections++;
  d->pen->selections++;
  HDC h = reinterpret_cast<HDC>(d.get());
  Dcs()[h] = std::move(d);
  return h;
}

BOOL DeleteDC(HDC dc) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Dcs().find(dc);
  if (it == Dcs().end()) return FALSE;
  Dc& d = *it->second;
  if (d.bitmap) d.bitmap->selections--;
  if (d.brush) d.brush->selections--;
  if (d.pen) d.pen->selections--;
  for (HGDIOBJ own : {d.ownBitmap, d.ownBrush, d.ownPen}) {
    GdiObj* o = FindObj(own);
    if (o && o->selections == 0) Objects().erase(own);
  }
  Dcs().erase(it);
  return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int w, int h) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!FindDc(dc)) return nullptr;
  return NewBitmap(w, h);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto b = std::make_unique<Brush>();
  b->type = OBJ_BRUSH;
  b->color = color;
  return static_cast<HBRUSH>(AddObj(std::move(b)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
  (void)width;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto p = std::make_unique<Pen>();
  p->type = OBJ_PEN;
  p->style = style;
  p->color = color;
  return static_cast<HPEN>(AddObj(std::move(p)));
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Dc* d = FindDc(dc);
  GdiObj* o = FindObj(obj);
  if (!d || d->screen || !o) return nullptr;
  GdiObj* old = nullptr;
  switch (o->type) {
    case OBJ_BITMAP:
      if (d->bitmap == o) return obj;
      if (o->selections > 0) return nullptr;  // a bitmap lives in one DC at a time
      old = d->bitmap;
      d->bitmap = static_cast<Bitmap*>(o);
      break;
    case OBJ_BRUSH:
      old = d->brush;
      d->brush = static_cast<Brush*>(o);
      break;
    case OBJ_PEN:
      old = d->pen;
      d->pen = static_cast<Pen*>(o);
      break;
    default:
      return nullptr;
  }
  o->selections++;
  if (old) old->selections--;
  return old;
}

BOOL DeleteObject(HGDIOBJ obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObj* o = FindObj(obj);
  if (!o || o->selections > 0) return FALSE;
  Objects().erase(obj);
  return TRUE;
}

int GetObjectType(HGDIOBJ obj) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObj* o = FindObj(obj);
  return o ? o->type : 0;
}

int GetObject(HGDIOBJ obj, int cb, void* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  GdiObj* o = FindObj(obj);
  if (!o || o->type != OBJ_BITMAP || !out || cb < int(sizeof(BITMAP))) return 0;
  auto* b = static_cast<Bitmap*>(o);
  BITMAP bm;
  bm.bmWidth = b->w;
  bm.bmHeight = b->h;
  bm.bmWidthBytes = b->w * 4;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = 32;
  std::memcpy(out, &bm, sizeof(bm));
  return int(sizeof(BITMAP));
}

int GetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  (void)usage;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!info) return 0;
  auto* b = dynamic_cast<Bitmap*>(FindObj(bmp));
  Dc* d = FindDc(dc);
  if (!b || !d) return 0;
  BITMAPINFOHEADER& hdr = info->bmiHeader;
  if (!bits) {
    if (hdr.biBitCount == 0) hdr.biBitCount = 32;
    hdr.biWidth = b->w;
    if (hdr.biHeight == 0) hdr.biHeight = b->h;
    hdr.biPlanes = 1;
    hdr.biCompression = BI_RGB;
    hdr.biSizeImage = DWORD(RowBytes(b->w, hdr.biBitCount)) * DWORD(b->h);
    return b->h;
  }
  UINT count = 0;
  if (!TransferRange(d, b, start, lines, hdr, count)) return 0;
  const int rowBytes = RowBytes(b->w, hdr.biBitCount);
  auto* out = static_cast<uint8_t*>(bits);
  for (UINT i = 0; i < count; ++i) {
    uint8_t* row = out + size_t(i) * size_t(rowBytes);
    std::memset(row, 0, size_t(rowBytes));
    const uint32_t* src = &b->px[size_t(BitmapRow(*b, hdr, start + i)) * size_t(b->w)];
    for (int x = 0; x < b->w; ++x) {
      uint32_t p = src[x];
      if (hdr.biBitCount == 32) {
        std::memcpy(row + 4 * x, &p, 4);  // little-endian: B, G, R, X
      } else {
        row[3 * x] = uint8_t(p & 0xff);
        row[3 * x + 1] = uint8_t((p >> 8) & 0xff);
        row[3 * x + 2] = uint8_t((p >> 16) & 0xff);
      }
    }
  }
  return int(count);
}

int SetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
  (void)usage;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!info || !bits) return 0;
  auto* b = dynamic_cast<Bitmap*>(FindObj(bmp));
  Dc* d = FindDc(dc);
  const BITMAPINFOHEADER& hdr = info->bmiHeader;
  UINT count = 0;
  if (!TransferRange(d, b, start, lines, hdr, count)) return 0;
  const int rowBytes = RowBytes(b->w, hdr.biBitCount);
  auto* in = static_cast<const uint8_t*>(bits);
  for (UINT i = 0; i < count; ++i) {
    const uint8_t* row = in + size_t(i) * size_t(rowBytes);
    uint32_t* dst = &b->px[size_t(BitmapRow(*b, hdr, start + i)) * size_t(b->w)];
    for (int x = 0; x < b->w; ++x) {
      const int step = hdr.biBitCount / 8;
      dst[x] = uint32_t(row[step * x]) | (uint32_t(row[step * x + 1]) << 8) |
               (uint32_t(row[step * x + 2]) << 16);
    }
  }
  return int(count);
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Dc* d = FindDc(dc);
  if (!d || d->screen || !d->bitmap || !points || count < 2) return FALSE;
  Bitmap& b = *d->bitmap;
  if (d->brush && count >= 3) Fill(b, points, count, ToPixel(d->brush->color));
  if (d->pen && d->pen->style != PS_NULL) {
    uint32_t p = ToPixel(d->pen->color);
    for (int i = 0; i < count; ++i) Line(b, points[i], points[(i + 1) % count], p);
  }
  return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Dc* d = FindDc(dc);
  if (!d || !d->bitmap || x < 0 || y < 0 || x >= d->bitmap->w || y >= d->bitmap->h) return CLR_INVALID;
  return ToColor(d->bitmap->px[size_t(y) * size_t(d->bitmap->w) + size_t(x)]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Dc* d = FindDc(dc);
  if (!d || !d->bitmap || x < 0 || y < 0 || x >= d->bitmap->w || y >= d->bitmap->h) return CLR_INVALID;
  Plot(*d->bitmap, x, y, ToPixel(color));
  return color;
}

namespace vorel::host {
int LiveGdiObjects() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return int(Objects().size() + Dcs().size());
}
}  // namespace vorel::host
