// Regions: one outer closed chain (positive area) plus hole chains, and the
// region sets whose row crossings drive the lattice scans.
#pragma once

#include <cstdint>
#include <vector>

#include "fill_geometry/caja.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/hilera.h"

class Recintos;

class Recinto {
 public:
  // SetChains codes.
  enum : int16_t {
    kEmpty = -990,
    kNotClosed = -991,
    kNoPositive = -992,
    kManyPositive = -993,
    kBadHole = -994,
    kBadHolePair = -995,
    kAccepted = -8888,
  };

  Recinto();
  virtual ~Recinto();
  Recinto(const Recinto&) = delete;
  Recinto& operator=(const Recinto&) = delete;

  // Validates the set and stores copies of its chains (outer first).
  // checkRelations false skips the outer/hole and hole/hole relation tests
  // (codes kBadHole, kBadHolePair), for chains known to bound one region.
  int16_t SetChains(const Cadenas& chains, bool checkRelations = true);
  void UpdateBounds();
  Cadena* GetChain(int32_t i) const { return chains_->Get(i); }
  int32_t ChainCount() const { return chains_->Count(); }
  bool ContainsPoint(double x, double y) const;
  int16_t Relation(const Recinto& other, int32_t& holeThis, int32_t& holeOther,
                   double tol) const;
  void Copy(Recinto*& out) const;
  // Appends this region's crossings with the line through (x1, y1) and
  // (x2, y2), in chain and segment order, as Recintos::RowCrossings does. A
  // horizontal line outside [ymin, ymax] adds none.
  void AppendRowCrossings(double x1, double y1, double x2, double y2, Hilera& out) const;
  // The region offset by d (d > 0 grows material) as the regions that the
  // moved outer and holes bound together: where they cross, the holes merge
  // with each other or the outside; false (out null) when nothing is left.
  bool Rebuild(double d, Recintos*& out) const;
  int16_t SplitByChain(const Cadena& cut, double tol, Recintos*& out) const;

  double xmin() const { return xmin_; }
  double xmax() const { return xmax_; }
  double ymin() const { return ymin_; }
  double ymax() const { return ymax_; }
  double TotalLength() const { return totalLength_; }
  double TotalArea() const { return totalArea_; }

 private:
  bool notOwner_ = false;
  Cadenas* chains_;
  double totalLength_ = 0, totalArea_ = 0;
  double xmin_ = 0, xmax_ = 0, ymin_ = 0, ymax_ = 0;
};

class Recintos {
 public:
  Recintos();
  virtual ~Recintos();
  Recintos(const Recintos&) = delete;
  Recintos& operator=(const Recintos&) = delete;

  void Add(Recinto* region);
  Recinto* Get(int32_t i) const;
  int32_t Count() const { return static_cast<int32_t>(regions_.size()); }
  bool Remove(int32_t i);
  void Detach();
  void BoundingBox(Caja*& out) const;
  // Crossings of the line through (x1, y1) and (x2, y2) with every chain of
  // every region, in region/chain/segment order (unsorted); false when none.
  bool RowCrossings(double x1, double y1, double x2, double y2, Hilera*& out) const;

 private:
  std::vector<Recinto*> regions_;
  bool notOwner_ = false;
};

namespace fillgeo {

// Rebuild for closed chains that need not pass SetChains' relation tests:
// an outer ring (positive area) with holes that may touch or cross it or
// each other; the material is inside the outer and outside every hole.
// Appends the offset regions to out; false when none results.
bool OffsetChains(const std::vector<const Cadena*>& chains, double d, Recintos& out);

}  // namespace fillgeo
