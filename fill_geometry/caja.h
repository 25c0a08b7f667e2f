// Axis-aligned 2D box with containment, box relation, segment and chain
// classification and segment clipping.
#pragma once

#include <cstdint>

class Cadena;
class Hilera;

class Caja {
 public:
  // Box relation codes of CompareBox (ClassifyBox reports "apart" as 5).
  enum : int16_t { kApart = -9999, kOtherInside = 1, kThisInside = 2, kOverlap = 3, kApartBox = 5 };

  Caja() = default;
  virtual ~Caja() = default;

  // Refused (false, no change) unless xmax >= xmin and ymax >= ymin.
  bool Set(double xmin, double xmax, double ymin, double ymax);
  void SetFromChain(const Cadena& chain);
  bool ContainsPoint(double x, double y, double tol) const;
  int16_t CompareBox(double oxmin, double oxmax, double oymin, double oymax, double tol) const;
  int16_t CompareCaja(const Caja& other, double tol) const;
  int16_t ClassifyBox(const Caja& other, double tol) const;
  // -9999 apart; 1 both ends inside; 2 only the first end inside; 4 the first
  // end outside and the segment crosses or touches the box.
  int16_t ClassifySegment(double x1, double y1, double x2, double y2, double tol) const;
  // -9999 apart; 1 the chain's box inside; 2 some segment meets the box; else 0.
  int16_t ClassifyChain(const Cadena& chain, double tol = 1e-8) const;
  // Points where the segment meets the box boundary, appended to row in
  // segment order: 2 (two points, or a stretch along an edge), 1 (one
  // point), -9999 (none, or apart).
  int16_t ClipSegment(double x1, double y1, double x2, double y2, Hilera& row) const;

  double xmin() const { return xmin_; }
  double xmax() const { return xmax_; }
  double ymin() const { return ymin_; }
  double ymax() const { return ymax_; }

 private:
  friend class Recintos;  // the empty region set reports an inverted box
  double xmin_ = 0, xmax_ = 0, ymin_ = 0, ymax_ = 0;
};
