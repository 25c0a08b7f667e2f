#include "fill_geometry/hilera.h"

#include <algorithm>

#include "fill_geometry/geometry.h"

using namespace fillgeo;

Hilera::Hilera() { points_.reserve(10); }

Hilera::~Hilera() {
  if (!notOwner_)
    for (Punto2D* p : points_) delete p;
  points_.clear();
}

void Hilera::AddPoint(double x, double y) { points_.push_back(new Punto2D(x, y)); }

bool Hilera::SetPoint(double x, double y, int32_t index) {
  if (index < 0 || index >= Count()) return false;
  if (!notOwner_) delete points_[index];
  points_[index] = new Punto2D(x, y);
  return true;
}

bool Hilera::Remove(int32_t index) {
  if (index < 0 || index >= Count()) return false;
  if (!notOwner_) delete points_[index];
  points_.erase(points_.begin() + index);
  return true;
}

Punto2D* Hilera::Get(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return points_[index];
}

void Hilera::Copy(Hilera*& out) const {
  out = new Hilera();
  out->points_.reserve(points_.size());
  for (const Punto2D* p : points_)
    out->points_.push_back(p ? new Punto2D(p->x(), p->y()) : new Punto2D());
}

void Hilera::AppendPoints(const Hilera& other) {
  // A row appended to itself would hold (and delete) each point twice.
  if (&other == this) return;
  points_.insert(points_.end(), other.points_.begin(), other.points_.end());
}

void Hilera::Detach() {
  std::fill(points_.begin(), points_.end(), nullptr);
  notOwner_ = true;
}

void Hilera::Reverse() { std::reverse(points_.begin(), points_.end()); }

double Hilera::MaxX() const {
  double v = -kBig;
  for (const Punto2D* p : points_)
    if (p && p->x() > v) v = p->x();
  return v;
}

double Hilera::MinX() const {
  double v = kBig;
  for (const Punto2D* p : points_)
    if (p && p->x() < v) v = p->x();
  return v;
}

double Hilera::MaxY() const {
  double v = -kBig;
  for (const Punto2D* p : points_)
    if (p && p->y() > v) v = p->y();
  return v;
}

double Hilera::MinY() const {
  double v = kBig;
  for (const Punto2D* p : points_)
    if (p && p->y() < v) v = p->y();
  return v;
}

void Hilera::RemoveFoldBacks() {
  for (;;) {
    int32_t n = Count();
    // Fewer than 3 points has no corner to test (the previous index would be
    // negative).
    if (n < 3) return;
    int32_t found = -1;
    for (int32_t j = 0; j < n - 1; ++j) {
      const Punto2D* prev = points_[j == 0 ? n - 2 : j - 1];
      const Punto2D* cur = points_[j];
      const Punto2D* next = points_[j + 1];
      double dot = DotSegments(cur->x(), cur->y(), prev->x(), prev->y(), cur->x(), cur->y(),
                               next->x(), next->y());
      if (dot > 0 && PointLineDistance(prev->x(), prev->y(), cur->x(), cur->y(), next->x(),
                                       next->y(), -1.0) <= kFoldBackTol) {
        found = j;
        break;
      }
    }
    if (found < 0) return;
    if (found == 0) {
      Remove(n - 1);
      AddPoint(points_[1]->x(), points_[1]->y());
    }
    Remove(found);
  }
}

Hileras::Hileras() { rows_.reserve(10); }

Hileras::~Hileras() {
  if (!notOwner_)
    for (Hilera* r : rows_) delete r;
  rows_.clear();
}

void Hileras::Add(Hilera* row) { rows_.push_back(row); }

Hilera* Hileras::Get(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return rows_[index];
}

void Hileras::DeleteAll() {
  if (!notOwner_)
    for (Hilera* r : rows_) delete r;
  rows_.clear();
}
