// Layer work of PoliedroEstructurado: the cross-section of the mesh at one
// height, and the marking of the lattice cells that lie inside it.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/geometry.h"
#include "fill_geometry/poliedro.h"

using namespace fillgeo;

namespace {

constexpr int kSliceTries = 16;
constexpr double kRetryStep = 0.001;  // of the layer spacing
constexpr int16_t kRelationRepeat = 51;
constexpr int32_t kRowsPerCancelTest = 64;
constexpr int32_t kSegmentsPerCancelTest = 16384;

struct Segment {
  double x1, y1, x2, y2;
};

bool SameSegment(const Segment& a, const Segment& b) {
  const bool same = Distance2D(a.x1, a.y1, b.x1, b.y1) <= kTol && Distance2D(a.x2, a.y2, b.x2, b.y2) <= kTol;
  const bool reversed =
      Distance2D(a.x1, a.y1, b.x2, b.y2) <= kTol && Distance2D(a.x2, a.y2, b.x1, b.y1) <= kTol;
  return same || reversed;
}

// Marks every segment that repeats an earlier one (same end points within
// 1e-8, in the same or the reversed order). Segments are swept in order of
// their smaller x end, so only segments whose ends can match are compared; no
// pair is missed whatever its direction or position.
std::vector<uint8_t> MarkRepeatedSegments(const std::vector<Segment>& segs) {
  const size_t n = segs.size();
  std::vector<uint8_t> repeated(n, 0);
  std::vector<double> key(n);
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) {
    key[i] = std::min(segs[i].x1, segs[i].x2);
    order[i] = i;
  }
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return key[a] < key[b] || (key[a] == key[b] && a < b); });
  for (size_t p = 0; p < n; ++p) {
    const size_t a = order[p];
    for (size_t q = p + 1; q < n && key[order[q]] - key[a] <= kTol; ++q) {
      const size_t b = order[q];
      if (!SameSegment(segs[a], segs[b])) continue;
      repeated[std::max(a, b)] = 1;  // the later segment of the pair goes
    }
  }
  return repeated;
}

}  // namespace

double PoliedroEstructurado::RetryHeight(double z, double dz, int n) {
  for (int i = 1; i <= n; ++i) z += ((i % 2) ? 1.0 : -1.0) * i * kRetryStep * dz;
  return z;
}

void PoliedroEstructurado::SliceRegions(double z, Recintos*& regions, int& status,
                                        std::vector<int32_t>& cutFaces, double tol) const {
  regions = nullptr;
  status = 0;
  cutFaces.clear();
  std::vector<Segment> segs;
  bool touched = false;
  std::vector<int32_t> near;
  FacesNearHeight(z, near);
  for (int32_t i : near) {
    const Cara* f = faces_->Get(i);
    // Only faces lying flat at one height are left out: a gently sloped face
    // that spans the height is part of the section.
    if (f->ZMax() - f->ZMin() <= kTol) continue;
    Segment s;
    uint8_t touch = 0;
    if (!f->CutAtHeight(z, s.x1, s.y1, s.x2, s.y2, touch)) continue;
    segs.push_back(s);
    cutFaces.push_back(i);
    // A corner within the tolerance of the height cuts like one on it: the
    // faces around it give the same short pieces from both sides.
    for (int c = 0; c < 3 && !touch; ++c)
      if (std::fabs(f->Corner(c)->z() - z) <= tol) touch = 1;
    if (touch) touched = true;
  }
  if (touched && segs.size() > 1) {
    const std::vector<uint8_t> repeated = MarkRepeatedSegments(segs);
    size_t w = 0;
    for (size_t i = 0; i < segs.size(); ++i) {
      if (repeated[i]) continue;
      segs[w] = segs[i];
      cutFaces[w] = cutFaces[i];
      ++w;
    }
    segs.resize(w);
    cutFaces.resize(w);
  }

  if (CancelAsked()) {
    status = 0;
    return;
  }
  Cadenas chains;
  for (const Segment& s : segs) {
    if (chains.Count() % kSegmentsPerCancelTest == kSegmentsPerCancelTest - 1 && CancelAsked()) {
      status = 0;
      return;
    }
    Hilera row;
    row.AddPoint(s.x1, s.y1);
    row.AddPoint(s.x2, s.y2);
    auto chain = std::make_unique<Cadena>();
    if (chain->SetFromHilera(row)) chains.Add(chain.release());
  }
  if (chains.Count() == 0) {
    status = 0;
    return;
  }
  if (chains.Count() < 3) {
    status = 1;
    return;
  }
  if (CancelAsked()) {
    status = 0;
    return;
  }
  Recintos* found = nullptr;
  Cadenas* freeHoles = nullptr;
  Cadenas* rejects = nullptr;
  const bool ok = chains.AssembleRegions(found, freeHoles, rejects, tol, cancelTest_);
  // Segments that no outline took mean a cut that went wrong (a vertex at
  // the height): the section without them is not the mesh's, so the cut is
  // degenerate and the caller tries another height.
  const bool unlinked = rejects != nullptr && rejects->Count() > 0;
  delete freeHoles;
  delete rejects;
  if (!ok || unlinked || found == nullptr || found->Count() == 0) {
    delete found;
    status = 1;
    return;
  }

  if (CancelAsked()) {
    delete found;
    status = 0;
    return;
  }
  if (found->Count() > 1) {
    // A section traced in both directions yields each hole also as a region
    // of its own; such a region is the hole of an earlier one (code 51).
    std::vector<Recinto*> sorted;
    for (int32_t i = 0; i < found->Count(); ++i) sorted.push_back(found->Get(i));
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Recinto* a, const Recinto* b) { return a->xmin() < b->xmin(); });
    std::vector<uint8_t> dropped(sorted.size(), 0);
    // Regions whose boxes lie apart relate by 0: once a later region starts
    // right of this one's box, so do all after it.
    for (size_t a = 0; a < sorted.size(); ++a) {
      if (dropped[a]) continue;
      for (size_t b = a + 1; b < sorted.size(); ++b) {
        if (sorted[b]->xmin() > sorted[a]->xmax() + tol) break;
        if (dropped[b]) continue;
        int32_t ha = 0, hb = 0;
        if (sorted[a]->Relation(*sorted[b], ha, hb, tol) == kRelationRepeat) dropped[b] = 1;
      }
    }
    found->Detach();
    delete found;
    found = new Recintos();
    for (size_t a = 0; a < sorted.size(); ++a) {
      if (dropped[a])
        delete sorted[a];
      else
        found->Add(sorted[a]);
    }
  }
  regions = found;
  status = 2;
}

void PoliedroEstructurado::MarkRow(int32_t layer, int32_t row, double rowX, const std::vector<double>& xs) {
  const int32_t n = static_cast<int32_t>(xs.size());
  const double step = 2.0 * r_;
  int32_t i = 0;
  if (xs[0] - rowX > kTol)
    i = static_cast<int32_t>(std::min(std::floor((xs[0] - rowX) / step) + 1.0, double(cols_)));
  int32_t k = 0;
  for (; i < cols_; ++i) {
    const double x = rowX + step * i;
    if (x > xs[n - 1]) break;
    while (k < n) {
      if (x <= xs[k]) {
        if ((k % 2) == 1 || xs[k] - x <= kTol || (k > 0 && x - xs[k - 1] <= kTol)) Mark(layer, row, i);
        break;
      }
      if ((k == 0 && x - xs[0] <= kTol) || (k == n - 1 && x - xs[k] <= kTol)) {
        Mark(layer, row, i);
        break;
      }
      ++k;
    }
  }
}

bool PoliedroEstructurado::ComputeLayer(int32_t k, int32_t& marked) {
  marked = 0;
  if (!latticeReady_ || k < 0 || k >= layers_) return false;
  LatticeLayout L;
  if (!LatticeParams(L)) return false;
  grid_[static_cast<size_t>(k)].clear();  // a layer cut again is marked afresh
  const double z = firstZ_ + k * L.dz;

  Recintos* regions = nullptr;
  int status = 0;
  std::vector<int32_t> cutFaces;
  for (int n = 0; n < kSliceTries; ++n) {
    SliceRegions(RetryHeight(z, L.dz, n), regions, status, cutFaces, kTol);
    if (status != 1) break;
  }
  if (status != 2 && CancelAsked()) return false;
  if (status == 2 && regions != nullptr) {
    std::unique_ptr<Recintos> owned(regions);
    Caja* box = nullptr;
    owned->BoundingBox(box);
    std::unique_ptr<Caja> boxOwned(box);
    const bool oddLayer = (k % 2) != 0;
    const double rowStart = L.yStart + (oddLayer ? L.layerShift : 0.0);
    int32_t j = 0;
    if (box->ymin() - rowStart > kTol)
      j = static_cast<int32_t>(std::min(std::floor((box->ymin() - rowStart) / L.dy) + 1.0, double(rows_)));
    // Rows go up, so a region takes part from the row at its box's bottom
    // to the row at its top: each row meets only the regions it can cross
    // (the crossings are sorted below, so their order does not matter).
    std::vector<const Recinto*> byBottom;
    for (int32_t i = 0; i < owned->Count(); ++i) byBottom.push_back(owned->Get(i));
    std::stable_sort(byBottom.begin(), byBottom.end(),
                     [](const Recinto* a, const Recinto* b) { return a->ymin() < b->ymin(); });
    size_t next = 0;
    std::vector<const Recinto*> active;
    std::vector<double> xs;
    for (int32_t done = 0; j < rows_; ++j, ++done) {
      const double y = rowStart + L.dy * j;
      if (y > box->ymax()) break;
      if (done % kRowsPerCancelTest == kRowsPerCancelTest - 1 && CancelAsked()) return false;
      while (next < byBottom.size() && byBottom[next]->ymin() <= y) active.push_back(byBottom[next++]);
      active.erase(std::remove_if(active.begin(), active.end(), [&](const Recinto* r) { return r->ymax() < y; }),
                   active.end());
      if (active.empty()) continue;
      Hilera crossings;
      for (const Recinto* r : active) r->AppendRowCrossings(box->xmin(), y, box->xmax(), y, crossings);
      if (crossings.Count() == 0) continue;
      xs.resize(static_cast<size_t>(crossings.Count()));
      for (int32_t c = 0; c < crossings.Count(); ++c) xs[static_cast<size_t>(c)] = crossings.Get(c)->X();
      std::sort(xs.begin(), xs.end());
      const bool shifted = oddLayer == ((j % 2) == 0);
      MarkRow(k, j, L.xStart + (shifted ? L.rowShift : 0.0), xs);
    }
  } else {
    delete regions;
  }
  CountCells(k, k, marked);
  return true;
}
