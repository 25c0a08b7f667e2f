// Rows (ordered point lists) and row collections.
#pragma once

#include <cstdint>
#include <vector>

#include "fill_geometry/punto.h"

class Hilera {
 public:
  Hilera();
  virtual ~Hilera();
  Hilera(const Hilera&) = delete;
  Hilera& operator=(const Hilera&) = delete;

  void AddPoint(double x, double y);
  // Replaces the point at index by a new one (the old one deleted).
  bool SetPoint(double x, double y, int32_t index);
  bool Remove(int32_t index);
  Punto2D* Get(int32_t index) const;
  int32_t Count() const { return static_cast<int32_t>(points_.size()); }
  // A new row with copies of every point.
  void Copy(Hilera*& out) const;
  // Appends the other row's point pointers (shared, not copied; the other
  // row is then usually detached). A row is not appended to itself.
  void AppendPoints(const Hilera& other);
  // Forgets the points without deleting them and stops owning.
  void Detach();
  void Reverse();
  double MaxX() const;
  double MinX() const;
  double MaxY() const;
  double MinY() const;
  // Drops spike corners of a closed row (last point = first), keeping it closed.
  void RemoveFoldBacks();

 private:
  std::vector<Punto2D*> points_;
  bool notOwner_ = false;
};

class Hileras {
 public:
  Hileras();
  virtual ~Hileras();
  Hileras(const Hileras&) = delete;
  Hileras& operator=(const Hileras&) = delete;

  // The collection owns the row from now on.
  void Add(Hilera* row);
  Hilera* Get(int32_t index) const;
  int32_t Count() const { return static_cast<int32_t>(rows_.size()); }
  // Empties the list; the rows are deleted only when the collection owns
  // them (rows shared with an owning collection must outlive this one).
  void DeleteAll();
  void SetNotOwner(bool v) { notOwner_ = v; }

 private:
  std::vector<Hilera*> rows_;
  bool notOwner_ = false;
};
