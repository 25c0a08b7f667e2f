// Wet maps: the record with its bitmap, one frame's drying and painting,
// the map triangles and the file naming.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fluid_core/grey_bmp.h"
#include "fluid_core/solver.h"
#include "fluid_core/wet_maps.h"
#include "host/core/mesh.h"

namespace {

// Map points this far outside the map still clip correctly; beyond it a
// corner is pulled in, which only bends triangles reaching a million map
// widths away, and keeps every edge walk short.
constexpr float kMaxMapCoordinate = float(1 << 20);

bool WriteGreyBmp(const char* path, HBITMAP bitmap, HDC dc) {
  BITMAPINFO* info = CreateBitmapInfo(bitmap, 24);
  if (!info) return false;
  bool ok = CreateBMPFile(path, info, bitmap, dc);
  FreeBitmapInfo(info);
  return ok;
}

WetMapImageWriter& Writer() {
  static WetMapImageWriter writer = WriteGreyBmp;
  return writer;
}

BITMAPINFO Info32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Barycentric coordinates of p (projected onto the triangle's plane) in a,
// b, c; (1, 0, 0) for a triangle without area.
Point3 Barycentric(const Point3& a, const Point3& b, const Point3& c, const Point3& p) {
  Point3 e0 = b - a, e1 = c - a, e2 = p - a;
  float d00 = DotProd(e0, e0), d01 = DotProd(e0, e1), d11 = DotProd(e1, e1);
  float d20 = DotProd(e2, e0), d21 = DotProd(e2, e1);
  float den = d00 * d11 - d01 * d01;
  if (!(std::fabs(den) > 0.0f)) return Point3(1.0f, 0.0f, 0.0f);
  float v = (d11 * d20 - d01 * d21) / den;
  float w = (d00 * d21 - d01 * d20) / den;
  return Point3(1.0f - v - w, v, w);
}

}  // namespace

WetMap::WetMap(INode* n, const char* text) : node(n) {
  SetName(text);
  HDC screen = GetDC(nullptr);
  dc = CreateCompatibleDC(screen);
  bitmap = CreateCompatibleBitmap(screen, kWetMapInitialSize, kWetMapInitialSize);
  ReleaseDC(nullptr, screen);
  if (!dc) return;
  // A brush and pen of the record's own stay selected between frames, so
  // that a frame's painting tools can always be deselected and freed.
  ownBrush_ = CreateSolidBrush(RGB(0, 0, 0));
  ownPen_ = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
  SelectObject(dc, ownBrush_);
  SelectObject(dc, ownPen_);
  if (bitmap) {
    SelectObject(dc, bitmap);
    width = height = kWetMapInitialSize;
  }
}

WetMap::~WetMap() {
  // The DC goes first: GDI frees no object that is still selected.
  if (dc) DeleteDC(dc);
  if (bitmap) DeleteObject(bitmap);
  if (ownBrush_) DeleteObject(ownBrush_);
  if (ownPen_) DeleteObject(ownPen_);
}

void WetMap::SetName(const char* text) {
  std::snprintf(name, sizeof(name), "%s", text ? text : "");
}

bool WetMap::Resize(int size) {
  size = ClampWetMapSize(size);
  if (!dc) return false;
  HDC screen = GetDC(nullptr);
  HBITMAP fresh = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  if (!fresh) return false;
  SelectObject(dc, fresh);
  if (bitmap) DeleteObject(bitmap);  // no longer selected
  bitmap = fresh;
  width = height = size;
  return true;
}

int ClampWetMapSize(int size) { return std::clamp(size, kWetMapMinSize, kWetMapMaxSize); }

int WetMapDryStep(int ticksPerFrame, float dryingTime) {
  int fps = ticksPerFrame > 0 ? 4800 / ticksPerFrame : 0;
  double d = double(fps) * double(dryingTime);
  if (!(d >= 1.0)) d = 1.0;  // also catches a NaN drying time
  return int(256.0 / d);
}

void DryWetPixels(uint32_t* bgrx, size_t count, int dryStep) {
  const uint32_t step = uint32_t(std::max(dryStep, 0));
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = bgrx[i];
    uint32_t b = p & 0xff, g = (p >> 8) & 0xff, r = (p >> 16) & 0xff;
    if (b > step) {
      b -= step;
      g = g > step ? g - step : 0;
      r = r > step ? r - step : 0;
      bgrx[i] = (p & 0xff000000u) | b | (g << 8) | (r << 16);
    } else {
      bgrx[i] = p & 0xff000000u;
    }
  }
}

std::string WetMapFileName(const std::string& prefix, int frame) {
  char number[16];
  std::snprintf(number, sizeof(number), "%04d", frame);
  return prefix + number + ".bmp";
}

std::string WetMapFolderName(const char* name) {
  std::string s = name ? name : "";
  std::replace(s.begin(), s.end(), '/', '_');
  std::replace(s.begin(), s.end(), '\\', '_');
  if (s.empty() || s == "." || s == "..") s = "_";
  return s;
}

void SetWetMapImageWriter(WetMapImageWriter writer) {
  Writer() = writer ? std::move(writer) : WetMapImageWriter(WriteGreyBmp);
}

bool DumpWetMap(HDC dc, HBITMAP bitmap, int width, int height, int frame, int dryStep,
                int triangleCount, const WetTriangle* triangles, const std::string& pathPrefix) {
  if (!dc || !bitmap || width <= 0 || height <= 0) return false;
  HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
  HPEN pen = CreatePen(PS_SOLID, 0, RGB(255, 255, 255));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);

  bool ok = false;
  std::vector<uint32_t> pixels;
  try {
    pixels.resize(size_t(width) * size_t(height));
  } catch (const std::bad_alloc&) {
    pixels.clear();
  }
  BITMAPINFO info = Info32(width, height);
  if (!pixels.empty() && GetDIBits(dc, bitmap, 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS) == height) {
    DryWetPixels(pixels.data(), pixels.size(), dryStep);
    SetDIBits(dc, bitmap, 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS);
    const float s = float(std::min(width, height));
    for (int i = 0; i < triangleCount; ++i) {
      POINT corners[3];
      for (int k = 0; k < 3; ++k) {
        // Clamped to a range where the conversion is defined; GDI clips the rest.
        float x = std::clamp(triangles[i].u[k] * s, -kMaxMapCoordinate, kMaxMapCoordinate);
        float y = std::clamp(triangles[i].v[k] * s, -kMaxMapCoordinate, kMaxMapCoordinate);
        corners[k].x = std::isfinite(x) ? LONG(x) : 0;
        corners[k].y = std::isfinite(y) ? LONG(y) : 0;
      }
      Polygon(dc, corners, 3);
    }
    std::string path = WetMapFileName(pathPrefix, frame);
    ok = path.size() < size_t(MAX_PATH) && Writer() && Writer()(path.c_str(), bitmap, dc);
  }

  // Put the DC's own brush and pen back: GDI does not free selected objects.
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
  return ok;
}

void BuildWetTriangles(const ColliderMesh& object, const Mesh& hostMesh, const Matrix3& inverseObjectTM,
                       float frameScale, const std::vector<Vec3f>& surfaceVertices,
                       const std::vector<std::array<int32_t, 3>>& surfaceFaces, float wetDistance,
                       std::vector<WetTriangle>& out) {
  out.clear();
  const int faceCount = object.FaceCount();
  if (faceCount == 0 || hostMesh.getNumFaces() < faceCount || hostMesh.getNumTVFaces() < faceCount ||
      hostMesh.getNumTVerts() == 0)
    return;
  const int nv = int(surfaceVertices.size());
  std::vector<uint8_t> wet(size_t(nv), 0);
  std::vector<Point2> mapPoint(static_cast<size_t>(nv));
  const int hostVerts = hostMesh.getNumVerts(), texVerts = hostMesh.getNumTVerts();
  // Each vertex writes only its own entries, so any thread count gives the same result.
#pragma omp parallel for schedule(dynamic, 64) if (nv >= kParallelMin)
  for (int i = 0; i < nv; ++i) {
    int f = 0;
    Vec3f foot;
    if (!FirstFaceWithin(object, surfaceVertices[size_t(i)], wetDistance, f, foot)) continue;
    const Face& face = hostMesh.faces[size_t(f)];
    const TVFace& tface = hostMesh.tvFace[size_t(f)];
    bool valid = true;
    for (int k = 0; k < 3; ++k)
      valid = valid && int(face.v[k]) < hostVerts && int(tface.t[k]) < texVerts;
    if (!valid) continue;
    Point3 local = Point3(foot.x * frameScale, foot.y * frameScale, foot.z * frameScale) * inverseObjectTM;
    Point3 bary = Barycentric(hostMesh.verts[face.v[0]], hostMesh.verts[face.v[1]], hostMesh.verts[face.v[2]],
                              local);
    Point3 uvw = hostMesh.tVerts[tface.t[0]] * bary.x + hostMesh.tVerts[tface.t[1]] * bary.y +
                 hostMesh.tVerts[tface.t[2]] * bary.z;
    wet[size_t(i)] = 1;
    mapPoint[size_t(i)] = Point2(uvw.x, 1.0f - uvw.y);
  }
  for (const auto& sf : surfaceFaces) {
    bool all = true;
    for (int k = 0; k < 3; ++k) all = all && sf[size_t(k)] >= 0 && sf[size_t(k)] < nv && wet[size_t(sf[size_t(k)])];
    if (!all) continue;
    WetTriangle t;
    for (int k = 0; k < 3; ++k) {
      t.u[k] = mapPoint[size_t(sf[size_t(k)])].x;
      t.v[k] = mapPoint[size_t(sf[size_t(k)])].y;
    }
    out.push_back(t);
  }
}
