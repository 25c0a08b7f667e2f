// Wet maps: drying rate, the map record, one frame's painting and the map
// triangles of a particle resting on a plane.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fluid_core/solver.h"
#include "fluid_core/wet_maps.h"
#include "host/core/files.h"
#include "host/core/mesh.h"

namespace {

// Captures what DumpWetMap hands to the image writer.
struct WriterSpy {
  std::vector<std::string> paths;
  WriterSpy() {
    SetWetMapImageWriter([this](const char* path, HBITMAP, HDC) {
      paths.push_back(path);
      return true;
    });
  }
  ~WriterSpy() { SetWetMapImageWriter(nullptr); }
};

int Blue(HBITMAP bm, int x, int y) { return GetBValue(COLORREF(vorel::host::BitmapPixel(bm, x, y))); }
int Blue(const WetMap& m, int x, int y) { return Blue(m.bitmap, x, y); }

// A 20 x 20 quad (two faces) at z = 0 in object space, texture u = x / 20,
// v = y / 20; the object stands at `offset` in the world; the collider copy is
// in solver units (world / scale).
struct Plane {
  Mesh host;
  ColliderMesh collider;
  Matrix3 objectTM;
  Plane(const Point3& offset, float scale) {
    host.setNumVerts(4);
    host.setVert(0, 0, 0, 0);
    host.setVert(1, 20, 0, 0);
    host.setVert(2, 20, 20, 0);
    host.setVert(3, 0, 20, 0);
    host.setNumFaces(2);
    host.faces[0].setVerts(0, 1, 2);
    host.faces[1].setVerts(0, 2, 3);
    host.setNumTVerts(4);
    for (int i = 0; i < 4; ++i) host.setTVert(i, host.getVert(i) / 20.0f);
    host.setNumTVFaces(2);
    host.tvFace[0] = TVFace(0, 1, 2);
    host.tvFace[1] = TVFace(0, 2, 3);
    objectTM = TransMatrix(offset);
    for (int i = 0; i < 4; ++i) collider.mesh.vertices.push_back((host.getVert(i) * objectTM) / scale);
    collider.mesh.faces = {{0, 1, 2}, {0, 2, 3}};
    collider.ComputeFaceData(0.1f);
  }
};

}  // namespace

TEST(WetMap, DryStepFollowsFrameRateAndDryingTime) {
  const struct { int tpf; float dry; int step; } cases[] = {
      {200, 1.0f, 10},     // 24 fps
      {160, 1.0f, 8},      // 30 fps
      {200, 0.0f, 256},    // gone the next frame
      {200, 1000.0f, 0},   // never dries
      {200, -3.0f, 256},   // below one frame counts as one
      {0, 1.0f, 256},      // no frame rate: as fast as possible
      {200, std::nanf(""), 256},
  };
  for (const auto& c : cases) EXPECT_EQ(WetMapDryStep(c.tpf, c.dry), c.step) << c.tpf << " " << c.dry;
}

TEST(WetMap, AWetPixelFadesToBlackAtTheDryStep) {
  uint32_t px = 0x00FFFFFFu;
  for (int frame = 1; frame <= 25; ++frame) DryWetPixels(&px, 1, 10);
  EXPECT_EQ(px, 0x00050505u);
  DryWetPixels(&px, 1, 10);  // blue 5 <= 10: cleared on the 26th frame
  EXPECT_EQ(px, 0u);
  px = 0x00FFFFFFu;
  DryWetPixels(&px, 1, 256);
  EXPECT_EQ(px, 0u);
  px = 0x00FFFFFFu;
  DryWetPixels(&px, 1, 0);
  EXPECT_EQ(px, 0x00FFFFFFu);
  // Channels never wrap below zero, whatever was in the bitmap.
  px = 0x00030350u;
  DryWetPixels(&px, 1, 10);
  EXPECT_EQ(px, 0x00000046u);
}

TEST(WetMap, RecordOwnsItsBitmapAndClampsItsSize) {
  const int before = vorel::host::LiveGdiObjects();
  {
    WetMap m(nullptr, "box");
    EXPECT_STREQ(m.name, "box");
    ASSERT_NE(m.dc, nullptr);
    EXPECT_EQ(m.width, 256);
    EXPECT_EQ(m.height, 256);
    EXPECT_EQ(vorel::host::BitmapPixel(m.bitmap, 100, 100), 0);  // starts dry
    const struct { int asked, got; } sizes[] = {{0, 32}, {-5, 32}, {64, 64}, {1048576, 2048}};
    for (const auto& s : sizes) {
      ASSERT_TRUE(m.Resize(s.asked));
      EXPECT_EQ(m.width, s.got);
      EXPECT_EQ(m.height, s.got);
      BITMAP bm;
      ASSERT_TRUE(GetObject(m.bitmap, sizeof(bm), &bm));
      EXPECT_EQ(bm.bmWidth, s.got);
    }
    // A name longer than the record holds is cut, never overrun.
    m.SetName(std::string(400, 'n').c_str());
    EXPECT_EQ(std::string(m.name), std::string(255, 'n'));
  }
  EXPECT_EQ(vorel::host::LiveGdiObjects(), before);
}

TEST(WetMap, FileAndFolderNames) {
  EXPECT_EQ(WetMapFileName("/c/Vorel/sys/maps/box/box", 7), "/c/Vorel/sys/maps/box/box0007.bmp");
  EXPECT_EQ(WetMapFileName("p", 12345), "p12345.bmp");
  EXPECT_EQ(WetMapFolderName("box"), "box");
  EXPECT_EQ(WetMapFolderName("../../etc"), ".._.._etc");
  EXPECT_EQ(WetMapFolderName("a\\b"), "a_b");
  EXPECT_EQ(WetMapFolderName(".."), "_");
  EXPECT_EQ(WetMapFolderName(""), "_");
}

TEST(WetMap, DumpDriesPaintsAndSavesEachFrame) {
  WriterSpy spy;
  const int before = vorel::host::LiveGdiObjects();
  WetMap m(nullptr, "box");
  WetTriangle t;
  t.u[0] = 0.25f; t.v[0] = 0.25f;
  t.u[1] = 0.75f; t.v[1] = 0.25f;
  t.u[2] = 0.25f; t.v[2] = 0.75f;
  ASSERT_TRUE(DumpWetMap(m.dc, m.bitmap, m.width, m.height, 3, 10, 1, &t, "/tmp/maps/box/box"));
  ASSERT_EQ(spy.paths.size(), 1u);
  EXPECT_EQ(spy.paths[0], "/tmp/maps/box/box0003.bmp");
  EXPECT_EQ(Blue(m, 80, 80), 255);   // inside
  EXPECT_EQ(Blue(m, 200, 200), 0);   // beyond the hypotenuse
  EXPECT_EQ(Blue(m, 10, 10), 0);
  // Next frame without contact: the mark fades by the step.
  ASSERT_TRUE(DumpWetMap(m.dc, m.bitmap, m.width, m.height, 4, 10, 0, nullptr, "/tmp/maps/box/box"));
  EXPECT_EQ(Blue(m, 80, 80), 245);
  // The brush and pen of each frame are freed, not leaked.
  EXPECT_EQ(vorel::host::LiveGdiObjects(), before + 4);  // the record's DC, bitmap, brush and pen
  // A path the platform cannot hold is not written, but the map still dries.
  EXPECT_FALSE(DumpWetMap(m.dc, m.bitmap, m.width, m.height, 5, 10, 0, nullptr, std::string(300, 'p')));
  EXPECT_EQ(spy.paths.size(), 2u);
  EXPECT_EQ(Blue(m, 80, 80), 235);
}

TEST(WetMap, NonSquareMapPaintsInTheSmallerSquare) {
  WriterSpy spy;
  WetMap m(nullptr, "wide");
  // 256 x 128 bitmap in the same DC.
  HBITMAP wide = CreateCompatibleBitmap(GetDC(nullptr), 256, 128);
  HGDIOBJ old = SelectObject(m.dc, wide);
  WetTriangle t;
  t.u[0] = 0.0f; t.v[0] = 0.0f;
  t.u[1] = 1.0f; t.v[1] = 0.0f;
  t.u[2] = 1.0f; t.v[2] = 1.0f;
  ASSERT_TRUE(DumpWetMap(m.dc, wide, 256, 128, 0, 10, 1, &t, "w"));
  EXPECT_EQ(Blue(wide, 120, 60), 255);
  EXPECT_EQ(Blue(wide, 200, 10), 0);  // beyond s = 128
  SelectObject(m.dc, old);
  DeleteObject(wide);
}

TEST(WetMap, AParticleRestingOnAPlanePaintsItsTexel) {
  WriterSpy spy;
  const float scale = 20.0f;
  Plane plane(Point3(100.0f, 0.0f, 0.0f), scale);
  // A small surface triangle lying 0.02 solver units above the plane near
  // object point (5, 5): texture (0.25, 0.25), map point (0.25, 0.75).
  const float x0 = (100.0f + 5.0f) / scale, y0 = 5.0f / scale;
  std::vector<Vec3f> verts = {{x0, y0, 0.02f}, {x0 + 0.05f, y0, 0.02f}, {x0, y0 + 0.05f, 0.02f},
                              {x0, y0, 3.0f}};
  std::vector<std::array<int32_t, 3>> faces = {{0, 1, 2}, {0, 1, 3}};
  std::vector<WetTriangle> tris;
  BuildWetTriangles(plane.collider, plane.host, Inverse(plane.objectTM), scale, verts, faces, 0.1f, tris);
  // The second face has a vertex 3 units away: only two wet corners, nothing painted.
  ASSERT_EQ(tris.size(), 1u);
  EXPECT_NEAR(tris[0].u[0], 0.25f, 1e-4f);
  EXPECT_NEAR(tris[0].v[0], 0.75f, 1e-4f);
  EXPECT_NEAR(tris[0].u[1], 0.25f + 1.0f / 20.0f, 1e-4f);
  EXPECT_NEAR(tris[0].v[2], 0.75f - 1.0f / 20.0f, 1e-4f);

  WetMap m(nullptr, "plane");
  ASSERT_TRUE(DumpWetMap(m.dc, m.bitmap, m.width, m.height, 1, 10, int(tris.size()), tris.data(), "p"));
  // Corner at (64, 192); the texel just inside the triangle is wet.
  EXPECT_EQ(Blue(m, 66, 190), 255);
  EXPECT_EQ(Blue(m, 64, 192), 255);
  EXPECT_EQ(Blue(m, 40, 192), 0);
  EXPECT_EQ(Blue(m, 64, 64), 0);

  // Too far from the plane: nothing is wet.
  BuildWetTriangles(plane.collider, plane.host, Inverse(plane.objectTM), scale, verts, faces, 0.01f, tris);
  EXPECT_TRUE(tris.empty());
  // An object without texture faces gives no triangles.
  plane.host.setNumTVFaces(0);
  BuildWetTriangles(plane.collider, plane.host, Inverse(plane.objectTM), scale, verts, faces, 0.1f, tris);
  EXPECT_TRUE(tris.empty());
}

TEST(WetMap, SavedFramesAreEightBitGreyBmps) {
  SetWetMapImageWriter(nullptr);  // the real writer
  const std::string dir = vorel::host::TempPath() + "wet_map_bmp";
  vorel::host::MakeDirectories(dir);
  WetMap m(nullptr, "grey");
  ASSERT_TRUE(m.Resize(64));
  WetTriangle t;
  t.u[0] = 0.25f; t.v[0] = 0.25f;
  t.u[1] = 0.75f; t.v[1] = 0.25f;
  t.u[2] = 0.25f; t.v[2] = 0.75f;
  ASSERT_TRUE(DumpWetMap(m.dc, m.bitmap, m.width, m.height, 2, 10, 1, &t, dir + "/grey"));
  std::ifstream f(dir + "/grey0002.bmp", std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 1078u + 64u * 64u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[10] | (bytes[11] << 8), 1078);
  EXPECT_EQ(bytes[28], 8);  // bits per pixel
  // Texel (20, 20) from the top is painted; rows are stored bottom first.
  EXPECT_EQ(bytes[1078 + (63 - 20) * 64 + 20], 255);
  EXPECT_EQ(bytes[1078 + (63 - 60) * 64 + 60], 0);
}
