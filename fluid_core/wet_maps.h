// Wet maps: one bitmap per registered collider object, in the object's
// texture space, painted white where the liquid's surface touches the object
// and fading to black frame after frame. The fluid engine keeps the records
// (FluidEngine::AddWetMap and the rest); this unit holds the record, the
// drying and painting of one frame, and the file naming.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fluid_core/vec3.h"
#include "host/core/gdi.h"
#include "host/core/geom.h"

class INode;
class Mesh;
struct ColliderMesh;

constexpr int kWetMapInitialSize = 256;
// Sizes a map may take: the attribute's spinner range. Other editors accept
// 0 (no bitmap at all) up to 2^20 (not allocatable), so every size is clamped.
constexpr int kWetMapMinSize = 32;
constexpr int kWetMapMaxSize = 2048;
constexpr int kWetMapNameSize = 256;

// One registered object's map: a memory DC with the map's bitmap (and a
// brush and pen of its own) selected. Owns them all.
struct WetMap {
  // Node name at registration, the attribute's prefix after a resize; always
  // terminated (longer texts are cut), and what the scene file stores.
  char name[kWetMapNameSize] = {};
  INode* node = nullptr;  // not owned
  float dryingTime = 0.0f;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  int32_t width = 0;
  int32_t height = 0;

  // A 256 x 256 black map for the node, named `name`.
  WetMap(INode* node, const char* name);
  ~WetMap();
  WetMap(const WetMap&) = delete;
  WetMap& operator=(const WetMap&) = delete;

  void SetName(const char* text);
  // A new black size x size bitmap (size clamped to 32 .. 2048); false, with
  // the old bitmap kept, when it cannot be made.
  bool Resize(int size);

 private:
  HBRUSH ownBrush_ = nullptr;
  HPEN ownPen_ = nullptr;
};

// A triangle in map space: three (u, 1 - v) points, [0, 1] across the map.
struct WetTriangle {
  float u[3] = {0, 0, 0};
  float v[3] = {0, 0, 0};
};

int ClampWetMapSize(int size);
// Per-frame fade: 256 / max(fps x dryingTime, 1), truncated, with fps =
// 4800 / ticksPerFrame (integer division). 0 means the marks never fade.
int WetMapDryStep(int ticksPerFrame, float dryingTime);
// Fades BGRX pixels by dryStep: a pixel whose blue exceeds the step loses it
// on each channel (never below 0); any other pixel turns black.
void DryWetPixels(uint32_t* bgrx, size_t count, int dryStep);
// "<prefix>%04d.bmp".
std::string WetMapFileName(const std::string& prefix, int frame);
// A node name made safe as one path component: separators become '_', and
// "." / ".." (or an empty name) become "_".
std::string WetMapFolderName(const char* name);

// Writes a map bitmap as an image file; false when it could not be written.
// The 8-bit grey BMP writer (CreateBMPFile) unless replaced (tests); an
// empty writer puts it back.
using WetMapImageWriter = std::function<bool(const char* path, HBITMAP bitmap, HDC dc)>;
void SetWetMapImageWriter(WetMapImageWriter writer);

// Dries the map, paints the triangles white (corners at trunc(u s),
// trunc(v s), s = the smaller side) and saves it as "<prefix>%04d.bmp".
// False when the pixels could not be read or the image not written (a path
// over 259 characters is not written); the drying and painting are done
// whenever the pixels could be read.
bool DumpWetMap(HDC dc, HBITMAP bitmap, int width, int height, int frame, int dryStep,
                int triangleCount, const WetTriangle* triangles, const std::string& pathPrefix);

// The map triangles of one frame: a surface vertex is wet when a face of the
// object mesh (solver units, first in index order) lies within wetDistance;
// its map point comes from the closest point on that face, scaled to host
// units, taken into the object's frame (inverse object transform) and
// interpolated over the host mesh face's texture vertices by barycentric
// coordinates. Every surface face with three wet vertices gives a triangle.
// Nothing when the host mesh has no texture faces for the object's faces.
void BuildWetTriangles(const ColliderMesh& object, const Mesh& hostMesh, const Matrix3& inverseObjectTM,
                       float frameScale, const std::vector<Vec3f>& surfaceVertices,
                       const std::vector<std::array<int32_t, 3>>& surfaceFaces, float wetDistance,
                       std::vector<WetTriangle>& out);
