// Triangular faces of a closed mesh: the face with its area, box and plane,
// and the cut of a face by a horizontal plane that the layer slicer joins
// into cross-sections.
#pragma once

#include <cstdint>
#include <vector>

#include "fill_geometry/punto.h"

class Cara {
 public:
  Cara() = default;
  virtual ~Cara() = default;
  Cara(const Cara&) = delete;
  Cara& operator=(const Cara&) = delete;

  // Corners P0, P1, P2. Refused (false, nothing stored) when two corners lie
  // within 1e-8 of each other or the area is below 1e-8. The corners are
  // write-once points, so a face that was already set refuses a second Set
  // rather than mixing old corners with a new area and box.
  bool Set(double x0, double y0, double z0, double x1, double y1, double z1, double x2, double y2, double z2);

  // Corner i (0..2), or null outside that range.
  const Punto3D* Corner(int i) const;

  // Unit normal by Newell's method and d = -(n . P0).
  void Plane(double& nx, double& ny, double& nz, double& d) const;
  // |nz| > 0.995.
  bool IsHorizontal() const;
  // How many of this face's corners lie within 1e-8 of a corner of `other`.
  int16_t SharedCorners(const Cara& other) const;

  // The segment where the plane at height z cuts the face. Edges are scanned
  // P0->P1, P1->P2, P2->P0; edges whose ends differ in height by 1e-8 or less
  // are skipped. A point that repeats the first one (within 1e-8, a corner
  // found by both of its edges) is skipped and scanning goes on, so a corner
  // at height z never hides the crossing on the opposite edge. `touch` is 1
  // when both ends of the segment are corners of the face.
  bool CutAtHeight(double z, double& x1, double& y1, double& x2, double& y2, uint8_t& touch) const;

  double Area() const { return area_; }
  double XMin() const { return xmin_; }
  double XMax() const { return xmax_; }
  double YMin() const { return ymin_; }
  double YMax() const { return ymax_; }
  double ZMin() const { return zmin_; }
  double ZMax() const { return zmax_; }

 private:
  Punto3D p_[3];
  bool set_ = false;
  double area_ = 0;
  double xmin_ = 0, xmax_ = 0, ymin_ = 0, ymax_ = 0, zmin_ = 0, zmax_ = 0;
};

// Owning list of faces.
class Caras {
 public:
  Caras() { faces_.reserve(10); }
  virtual ~Caras();
  Caras(const Caras&) = delete;
  Caras& operator=(const Caras&) = delete;

  void Add(Cara* face) { faces_.push_back(face); }
  // The face at index, or null outside 0 .. Count() - 1.
  Cara* Get(int32_t i) const;
  int32_t Count() const { return static_cast<int32_t>(faces_.size()); }

 private:
  std::vector<Cara*> faces_;
};
