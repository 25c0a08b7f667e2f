// Cadena: an ordered vertex list (open or closed) with its box, length,
// self-crossing count, kind and signed area. The area is positive when a
// closed ring runs clockwise with x right and y up: such a ring bounds
// material on its inside (an outer boundary); a negative ring is a hole.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fill_geometry/caja.h"
#include "fill_geometry/chain_crossings.h"
#include "fill_geometry/hilera.h"
#include "fill_geometry/punto.h"

class Cadenas;

class Cadena {
 public:
  enum Kind : int16_t { kSelfCrossing = 0, kOpen = 1, kClosed = 2 };

  Cadena();
  virtual ~Cadena();
  Cadena(const Cadena&) = delete;
  Cadena& operator=(const Cadena&) = delete;

  int16_t Kind() const { return kind_; }
  int32_t CrossingCount() const { return crossings_; }
  bool IsValid() const { return valid_; }
  void Invalidate() { valid_ = false; }
  int32_t Count() const { return count_; }
  double Length() const { return length_; }
  double MinX() const { return xmin_; }
  double MaxX() const { return xmax_; }
  double MinY() const { return ymin_; }
  double MaxY() const { return ymax_; }
  double Area() const { return area_; }
  Punto2D* Point(int32_t i) const;
  // Points owned elsewhere: the destructor leaves them alone.
  void SetSharedPoints(bool v) { shared_ = v; }

  void Reset();
  bool SetFromHilera(const Hilera& row);
  bool Finish();
  void CopyFrom(const Cadena& other);
  bool Reverse();
  double ComputeArea() const;
  // Whether (x, y) lies on the material side of a closed chain.
  bool InnerSide(double x, double y) const;
  // Smallest distance to a segment; 1e20 with fewer than 2 points (outputs
  // untouched). The foot point is new and belongs to the caller.
  double NearestPoint(double x, double y, int32_t& segment, Punto2D*& foot) const;
  // Distance only, no allocation.
  double NearestDistance(double x, double y, int32_t* segment = nullptr, double* fx = nullptr,
                         double* fy = nullptr) const;
  bool OnChain(double x, double y, double tol, int32_t& segment, Punto2D*& foot) const;
  bool OnChain(double x, double y, double tol) const;
  bool Join(const Cadena& other, Cadena*& out) const;
  void CopyToHilera(Hilera*& out) const;
  // The same copy, owned: for the crossing searches, which work on rows.
  std::unique_ptr<Hilera> ToRow() const;
  bool SegmentCrossings(int32_t& count, std::vector<Punto2D*>& points,
                        std::vector<int32_t>& first, std::vector<int32_t>& second,
                        bool overlapCheck, double tol) const;
  void NeighbourPoints(const std::vector<int32_t>& first, const std::vector<int32_t>& second,
                       int32_t k, double& ax, double& ay, double& anx, double& any, double& apx,
                       double& apy, double& bx, double& by, double& bnx, double& bny, double& bpx,
                       double& bpy) const;
  // True when two segments of the chain share a stretch.
  bool HasOverlappingSegments(double tol) const;

  // Relation of two closed chains (codes -9999, 1 .. 82).
  int16_t Relation(const Cadena& other, bool touchAnalysis, double tol) const;
  bool CrossingsWith(const Cadena& other, Hilera*& crossingPoints, Cadenas*& pieces,
                     bool& overlayCross, fillgeo::CrossingRows& rows, uint32_t& count,
                     uint8_t& collinear,
                     double tol, bool overlay, bool closedOnly) const;
  // CrossingsWith (overlay on) reduced to what callers decide on: the number
  // of proper crossings, whether shared stretches exist, and whether the
  // boundaries cross along one.
  void ContactSummary(const Cadena& other, double tol, uint32_t& crossings, bool& shared,
                      bool& overlayCross) const;
  // Offset by a signed distance (d > 0 grows material); arcs at open corners.
  bool SampleArcs(double d, Cadena*& out) const;
  bool SplitSelfCrossing(Cadena*& start, Cadenas*& pieces) const;
  bool SplitLoops(Cadenas*& out) const;
  void OverlayPieces(int32_t nS1, int32_t nO1, const Cadena& other, int16_t& dirFlag,
                     Cadenas& pieces, bool& overlayCross, double tol) const;
  // Offset with one distance per segment (count - 1 entries, one sign;
  // positive moves to the left of the walking direction, which grows an
  // outer ring). Merged distances of vanished edges are written back.
  bool Offset(double* distances, Cadenas*& out) const;
  // Appends a degree-4 Bezier corner from the edge moved by a to the edge
  // moved by b through (qx, qy); false (nothing appended) for small sweeps.
  static bool RoundCorner(double back, double forward, double phi, double cx, double cy,
                          double qx, double qy, double a, double b, Hilera& row);
  // Merges two touching closed outlines: -8888, -991, -992.
  int16_t Merge(const Cadena& other, Cadenas*& out, double tol, bool check) const;
  // out = p + (x - p) * d2 / d1; p is deleted.
  static void PointToward(Punto2D* p, double x, double y, double d1, double d2, double& ox,
                          double& oy);

 private:
  friend class Cadenas;
  void FreePoints();

  int16_t kind_ = kSelfCrossing;
  int32_t crossings_ = 0;
  bool valid_ = true;
  bool shared_ = false;
  std::vector<Punto2D*> points_;
  int32_t count_ = 0;
  double length_ = 0;
  double xmin_ = 1e10, xmax_ = -1e10, ymin_ = 1e10, ymax_ = -1e10;
  double area_ = 0;
};
