#include "fill_geometry/cadena.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/box_index.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/indice_cruce.h"

using namespace fillgeo;

Cadena::Cadena() {
  points_.reserve(10);
  Reset();
}

Cadena::~Cadena() { FreePoints(); }

void Cadena::FreePoints() {
  if (!shared_)
    for (Punto2D* p : points_) delete p;
  points_.clear();
}

Punto2D* Cadena::Point(int32_t i) const {
  if (i < 0 || i >= count_ || i >= static_cast<int32_t>(points_.size())) return nullptr;
  return points_[i];
}

void Cadena::Reset() {
  kind_ = kSelfCrossing;
  crossings_ = 0;
  valid_ = true;
  shared_ = false;
  count_ = 0;
  length_ = 0;
  xmin_ = ymin_ = 1e10;
  xmax_ = ymax_ = -1e10;
  area_ = 0;
}

bool Cadena::SetFromHilera(const Hilera& row) {
  if (row.Count() < 2) return false;
  FreePoints();
  const Punto2D* last = nullptr;
  for (int32_t i = 0; i < row.Count(); ++i) {
    const Punto2D* p = row.Get(i);
    if (!p) continue;
    if (last == nullptr || Distance2D(last->x(), last->y(), p->x(), p->y()) > kTol)
      points_.push_back(new Punto2D(p->x(), p->y()));
    last = p;
  }
  if (points_.size() >= 2 && Finish()) return true;
  FreePoints();
  Reset();
  return false;
}

bool Cadena::Finish() {
  Reset();
  count_ = static_cast<int32_t>(points_.size());
  // The box starts from the widest values so coordinates beyond the reset
  // box (1e10) still bound it.
  if (count_ > 0) {
    xmin_ = ymin_ = kBig;
    xmax_ = ymax_ = -kBig;
  }
  for (const Punto2D* p : points_) {
    if (xmin_ > p->x()) xmin_ = p->x();
    if (p->x() > xmax_) xmax_ = p->x();
    if (ymin_ > p->y()) ymin_ = p->y();
    if (p->y() > ymax_) ymax_ = p->y();
  }
  if (count_ < 3) {
    crossings_ = 0;
    kind_ = kOpen;
  } else {
    int32_t found = 0;
    std::vector<Punto2D*> pts;
    std::vector<int32_t> first, second;
    if (!SegmentCrossings(found, pts, first, second, true, kTol)) {
      for (Punto2D* p : pts) delete p;
      return false;
    }
    crossings_ = found;
    if (found == 0) {
      kind_ = kOpen;
      const Punto2D* a = points_.front();
      const Punto2D* b = points_.back();
      if (count_ >= 4 && Distance2D(a->x(), a->y(), b->x(), b->y()) <= kTol) {
        kind_ = kClosed;
        area_ = ComputeArea();
      } else {
        area_ = 0;
      }
    }
    for (Punto2D* p : pts) delete p;
  }
  length_ = 0;
  for (int32_t i = 1; i < count_; ++i)
    length_ += Distance2D(points_[i - 1]->x(), points_[i - 1]->y(), points_[i]->x(),
                          points_[i]->y());
  return true;
}

void Cadena::CopyFrom(const Cadena& o) {
  FreePoints();
  for (int32_t i = 0; i < o.count_; ++i) points_.push_back(new Punto2D(o.points_[i]->x(), o.points_[i]->y()));
  count_ = o.count_;
  kind_ = o.kind_;
  crossings_ = o.crossings_;
  length_ = o.length_;
  xmin_ = o.xmin_;
  xmax_ = o.xmax_;
  ymin_ = o.ymin_;
  ymax_ = o.ymax_;
  area_ = o.area_;
}

bool Cadena::Reverse() {
  if (!valid_) return false;
  std::reverse(points_.begin(), points_.end());
  if (kind_ == kClosed) area_ = -area_;
  return true;
}

double Cadena::ComputeArea() const {
  if (count_ < 4 || kind_ != kClosed) return 0;
  double cx = (xmin_ + xmax_) / 2, cy = (ymin_ + ymax_) / 2;
  double a = 0;
  for (int32_t i = 1; i < count_; ++i) {
    double x1 = points_[i - 1]->x(), y1 = points_[i - 1]->y();
    double x2 = points_[i]->x(), y2 = points_[i]->y();
    a += 0.5 * ((x2 - x1) * (y1 - cy) - (y2 - y1) * (x1 - cx));
  }
  return a;
}

bool Cadena::InnerSide(double px, double py) const {
  if (kind_ != kClosed) return false;
  if (px < xmin_ || px > xmax_ || py < ymin_ || py > ymax_) return area_ <= 0;
  int32_t a = 0, b = 0;
  for (int32_t k = 1; k < count_; ++k) {
    const Punto2D* p1 = points_[k - 1];
    const Punto2D* p2 = (k == count_ - 1) ? points_[0] : points_[k];
    double x1 = p1->x(), y1 = p1->y(), x2 = p2->x(), y2 = p2->y();
    bool counted = false;
    if (x1 == px && x2 == px) {
      if ((y1 >= py && py > y2) || (y1 <= py && py < y2)) return true;
    } else if (x2 == px) {
      double xn = (k == count_ - 1) ? points_[1]->x() : points_[k + 1]->x();
      if ((xn - px) * (x1 - px) > 0) counted = true;
    } else if ((x1 <= px && px < x2) || (x2 < px && px <= x1)) {
      counted = true;
    }
    if (counted) {
      if (TurnCross(px, py, x1, y1, x2, y2) >= 0) ++a;
      else ++b;
    }
  }
  if (area_ > 0) return a == b + 2;
  return b != a + 2;
}

double Cadena::NearestDistance(double px, double py, int32_t* segment, double* fx,
                               double* fy) const {
  double best = kBig;
  for (int32_t i = 0; i + 1 < count_; ++i) {
    double x, y, d;
    ClosestPointOnSegment(px, py, points_[i]->x(), points_[i]->y(), points_[i + 1]->x(),
                          points_[i + 1]->y(), x, y, d);
    if (best > d) {
      best = d;
      if (segment) *segment = i;
      if (fx) *fx = x;
      if (fy) *fy = y;
    }
  }
  return best;
}

double Cadena::NearestPoint(double px, double py, int32_t& segment, Punto2D*& foot) const {
  if (count_ < 2) return kBig;
  double fx = 0, fy = 0;
  int32_t seg = 0;
  double best = NearestDistance(px, py, &seg, &fx, &fy);
  if (best < kBig) {
    segment = seg;
    foot = new Punto2D(fx, fy);
  }
  return best;
}

bool Cadena::OnChain(double px, double py, double tol, int32_t& segment, Punto2D*& foot) const {
  segment = 0;
  foot = nullptr;
  if (xmax_ < xmin_ || ymax_ < ymin_) return false;
  double t = std::fabs(tol);
  if (px < xmin_ - t || px > xmax_ + t || py < ymin_ - t || py > ymax_ + t) return false;
  double fx = 0, fy = 0;
  int32_t seg = 0;
  double d = NearestDistance(px, py, &seg, &fx, &fy);
  if (t >= d) {
    segment = seg;
    foot = new Punto2D(fx, fy);
    return true;
  }
  return false;
}

bool Cadena::OnChain(double px, double py, double tol) const {
  if (xmax_ < xmin_ || ymax_ < ymin_) return false;
  double t = std::fabs(tol);
  if (px < xmin_ - t || px > xmax_ + t || py < ymin_ - t || py > ymax_ + t) return false;
  return t >= NearestDistance(px, py);
}

bool Cadena::Join(const Cadena& other, Cadena*& out) const {
  out = nullptr;
  Hilera row;
  for (int32_t i = 0; i < count_; ++i) row.AddPoint(points_[i]->x(), points_[i]->y());
  int32_t from = 0;
  if (count_ > 0 && other.count_ > 0 &&
      Distance2D(points_[count_ - 1]->x(), points_[count_ - 1]->y(), other.points_[0]->x(),
                 other.points_[0]->y()) <= kTol)
    from = 1;
  for (int32_t i = from; i < other.count_; ++i)
    row.AddPoint(other.points_[i]->x(), other.points_[i]->y());
  Cadena* c = new Cadena();
  if (!c->SetFromHilera(row)) {
    delete c;
    return false;
  }
  out = c;
  return true;
}

void Cadena::CopyToHilera(Hilera*& out) const {
  out = new Hilera();
  for (int32_t i = 0; i < count_; ++i) out->AddPoint(points_[i]->x(), points_[i]->y());
}

std::unique_ptr<Hilera> Cadena::ToRow() const {
  Hilera* row = nullptr;
  CopyToHilera(row);
  return std::unique_ptr<Hilera>(row);
}

namespace {

// Every pair (i, j), i < j, of segments whose boxes meet within tol, sorted.
// A superset of the pairs that can cross or overlap; a sweep over the boxes
// sorted by max x stays near linear for long outlines, where a grid capped
// at 500000 cells would crowd hundreds of segments into a cell.
void SegmentBoxPairs(const Cadena& c, double tol, std::vector<std::pair<int32_t, int32_t>>& pairs) {
  pairs.clear();
  if (c.Count() < 2) return;
  BoxIndex index(c, true);
  std::vector<int32_t> cand;
  for (int32_t i = 0; i + 1 < c.Count(); ++i) {
    const Punto2D* a = c.Point(i);
    const Punto2D* b = c.Point(i + 1);
    index.Query(std::min(a->x(), b->x()), std::max(a->x(), b->x()), std::min(a->y(), b->y()),
                std::max(a->y(), b->y()), tol, cand, false);
    for (int32_t j : cand)
      if (j > i) pairs.emplace_back(i, j);
  }
  std::sort(pairs.begin(), pairs.end());
}

// Whether some pair of segments shares a stretch (relation code >= 1).
// Segments that share a stretch have meeting boxes, so the box pairs plus the
// neighbour pairs (a fold-back) are all the candidates; unlike keys built from
// the direction angle, these do not lose pairs whose directions lie near 0
// and a half turn, or whose keys straddle a cell boundary.
bool AnyOverlap(const std::vector<Punto2D*>& pts, int32_t count,
                const std::vector<std::pair<int32_t, int32_t>>& cellPairs, double tol) {
  auto overlaps = [&](int32_t i, int32_t j) {
    const Punto2D* a = pts[i];
    const Punto2D* b = pts[i + 1];
    const Punto2D* c = pts[j];
    const Punto2D* e = pts[j + 1];
    return SegmentRelation(a->x(), a->y(), b->x(), b->y(), c->x(), c->y(), e->x(), e->y(), tol) >= 1;
  };
  for (int32_t i = 0; i + 2 < count; ++i)
    if (overlaps(i, i + 1)) return true;
  for (const auto& pr : cellPairs)
    if (pr.second - pr.first > 1 && overlaps(pr.first, pr.second)) return true;
  return false;
}

}  // namespace

bool Cadena::HasOverlappingSegments(double tol) const {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  SegmentBoxPairs(*this, tol, pairs);
  return AnyOverlap(points_, count_, pairs, tol);
}

bool Cadena::SegmentCrossings(int32_t& count, std::vector<Punto2D*>& pts,
                              std::vector<int32_t>& first, std::vector<int32_t>& second,
                              bool overlapCheck, double tol) const {
  if (count_ < 2) return false;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  SegmentBoxPairs(*this, tol, pairs);
  if (count_ >= 3 && overlapCheck && AnyOverlap(points_, count_, pairs, tol)) return false;
  count = 0;
  if (count_ < 4) return true;
  for (const auto& pr : pairs) {
    int32_t i = pr.first, j = pr.second;
    if (j - i <= 1) continue;  // neighbours meet at their shared vertex
    double x = 0, y = 0, tA = kNoParameter, tB = kNoParameter;
    int16_t sense = 0;
    IntersectSegments(points_[i]->x(), points_[i]->y(), points_[i + 1]->x(), points_[i + 1]->y(),
                      points_[j]->x(), points_[j]->y(), points_[j + 1]->x(), points_[j + 1]->y(),
                      x, y, tB, tA, sense, tol);
    if (tA >= 0 && tA < 1 && tB >= 0 && tB < 1) {
      ++count;
      pts.push_back(new Punto2D(x, y));
      first.push_back(i);
      second.push_back(j);
    }
  }
  return true;
}

void Cadena::NeighbourPoints(const std::vector<int32_t>& first,
                             const std::vector<int32_t>& second, int32_t k, double& ax,
                             double& ay, double& anx, double& any, double& apx, double& apy,
                             double& bx, double& by, double& bnx, double& bny, double& bpx,
                             double& bpy) const {
  auto fetch = [&](int32_t i, double& x, double& y, double& nx, double& ny, double& px,
                   double& py) {
    int32_t ci = std::clamp(i, 0, count_ - 1);
    x = points_[ci]->x();
    y = points_[ci]->y();
    int32_t in = (i + 1 >= count_) ? 1 : i + 1;
    in = std::clamp(in, 0, count_ - 1);
    nx = points_[in]->x();
    ny = points_[in]->y();
    int32_t ip = (i <= 0) ? count_ - 1 : i - 1;
    ip = std::clamp(ip, 0, count_ - 1);
    px = points_[ip]->x();
    py = points_[ip]->y();
  };
  fetch(first[k], ax, ay, anx, any, apx, apy);
  fetch(second[k], bx, by, bnx, bny, bpx, bpy);
}
