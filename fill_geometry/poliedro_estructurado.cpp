#include <algorithm>
#include <cmath>
#include <new>

#include "fill_geometry/geometry.h"
#include "fill_geometry/poliedro.h"

using namespace fillgeo;

PoliedroEstructurado::PoliedroEstructurado() { Clear(); }

PoliedroEstructurado::~PoliedroEstructurado() {
  FreeGrid();
  delete faces_;
}

void PoliedroEstructurado::Clear() {
  FreeGrid();
  faceCount_ = 0;
  delete faces_;
  faces_ = new Caras();
  bucketStart_.clear();
  bucketFaces_.clear();
  tall_.clear();
  xmin_ = ymin_ = zmin_ = kBig;
  xmax_ = ymax_ = zmax_ = -kBig;
}

void PoliedroEstructurado::SetFaces(const PoliedroMatricial& mesh) {
  Clear();
  const int32_t n = mesh.FaceCount();
  for (int32_t i = 0; i < n; ++i) {
    // A cancel leaves the faces taken so far; the caller drops the object.
    if (i % 16384 == 16383 && CancelAsked()) break;
    Cara* f = nullptr;
    if (!mesh.GetFace(i, f)) continue;
    if (f->XMin() < xmin_) xmin_ = f->XMin();
    if (f->XMax() > xmax_) xmax_ = f->XMax();
    if (f->YMin() < ymin_) ymin_ = f->YMin();
    if (f->YMax() > ymax_) ymax_ = f->YMax();
    if (f->ZMin() < zmin_) zmin_ = f->ZMin();
    if (f->ZMax() > zmax_) zmax_ = f->ZMax();
    faces_->Add(f);
  }
  faceCount_ = faces_->Count();
  BuildHeightIndex();
}

void PoliedroEstructurado::BuildHeightIndex() {
  bucketStart_.clear();
  bucketFaces_.clear();
  tall_.clear();
  if (faceCount_ == 0 || !(zmax_ > zmin_)) return;
  // Buckets about as high as a typical face, so most faces land in one to
  // three of them.
  std::vector<double> spans(static_cast<size_t>(faceCount_));
  for (int32_t i = 0; i < faceCount_; ++i)
    spans[static_cast<size_t>(i)] = faces_->Get(i)->ZMax() - faces_->Get(i)->ZMin();
  std::nth_element(spans.begin(), spans.begin() + spans.size() / 2, spans.end());
  const double range = zmax_ - zmin_;
  const double typical = std::max(spans[spans.size() / 2], range / 65536.0);
  const int64_t buckets =
      std::max<int64_t>(1, std::min<int64_t>(65536, static_cast<int64_t>(range / typical)));
  bucketHeight_ = range / static_cast<double>(buckets);
  constexpr int64_t kTallSpan = 64;
  std::vector<std::array<int64_t, 2>> span(static_cast<size_t>(faceCount_));
  std::vector<uint32_t> count(static_cast<size_t>(buckets) + 1, 0);
  for (int32_t i = 0; i < faceCount_; ++i) {
    const Cara* f = faces_->Get(i);
    auto& sp = span[static_cast<size_t>(i)];
    sp = {Bucket(f->ZMin(), buckets), Bucket(f->ZMax(), buckets)};
    if (sp[1] - sp[0] >= kTallSpan) continue;
    for (int64_t b = sp[0]; b <= sp[1]; ++b) ++count[static_cast<size_t>(b) + 1];
  }
  bucketStart_.assign(static_cast<size_t>(buckets) + 1, 0);
  for (int64_t b = 0; b < buckets; ++b)
    bucketStart_[static_cast<size_t>(b) + 1] =
        bucketStart_[static_cast<size_t>(b)] + count[static_cast<size_t>(b) + 1];
  bucketFaces_.assign(bucketStart_.back(), 0);
  std::vector<uint32_t> at(bucketStart_.begin(), bucketStart_.end() - 1);
  for (int32_t i = 0; i < faceCount_; ++i) {
    const auto& sp = span[static_cast<size_t>(i)];
    if (sp[1] - sp[0] >= kTallSpan) {
      tall_.push_back(i);
      continue;
    }
    for (int64_t b = sp[0]; b <= sp[1]; ++b) bucketFaces_[at[static_cast<size_t>(b)]++] = i;
  }
}

int64_t PoliedroEstructurado::Bucket(double z, int64_t buckets) const {
  const double b = std::floor((z - zmin_) / bucketHeight_);
  if (!(b > 0)) return 0;
  return std::min<int64_t>(static_cast<int64_t>(std::min(b, 1e18)), buckets - 1);
}

void PoliedroEstructurado::FacesNearHeight(double z, std::vector<int32_t>& out) const {
  out.clear();
  if (bucketStart_.empty() || z < zmin_ || z > zmax_) return;
  const int64_t b = Bucket(z, static_cast<int64_t>(bucketStart_.size()) - 1);
  const auto first = bucketFaces_.begin() + bucketStart_[static_cast<size_t>(b)];
  const auto last = bucketFaces_.begin() + bucketStart_[static_cast<size_t>(b) + 1];
  out.resize(static_cast<size_t>(last - first) + tall_.size());
  std::merge(first, last, tall_.begin(), tall_.end(), out.begin());
}

bool PoliedroEstructurado::LatticeParams(LatticeLayout& L) const {
  if (!latticeReady_) return false;
  const double r = r_;
  L.dz = r * kLayerFactor;
  L.dy = r * kRowFactor;
  L.rowShift = r;
  L.layerShift = L.dy / 3.0;

  L.xlo = xmin_ - 0.001 * r - kTol;
  L.xhi = xmax_ + 0.001 * r + kTol;
  if (!(L.xlo < L.xhi)) return false;
  double mid = (L.xlo + L.xhi) / 2.0;
  L.xStart = mid - std::floor((mid - L.xlo) / (2.0 * r)) * 2.0 * r;
  if (L.xStart - r >= L.xlo) L.xStart -= 2.0 * r;

  L.ylo = ymin_ - 0.001 * r - kTol;
  L.yhi = ymax_ + 0.001 * r + kTol;
  if (!(L.ylo < L.yhi)) return false;
  mid = (L.ylo + L.yhi) / 2.0;
  L.yStart = mid - std::floor((mid - L.ylo) / L.dy) * L.dy;
  if (L.yStart + L.dy / 3.0 - L.dy >= L.ylo) L.yStart -= L.dy;
  return true;
}

bool PoliedroEstructurado::SetupLayers(double r, int32_t& layers, double& firstZ, double& lastZ, double& dz) {
  layers = 0;
  firstZ = lastZ = dz = 0;
  if (xmin_ > xmax_ || !(r >= kTol)) return false;
  if (latticeReady_) FreeGrid();
  r_ = r;
  latticeReady_ = 1;
  LatticeLayout L;
  if (!LatticeParams(L)) {
    FreeGrid();
    return false;
  }
  const double zlo = zmin_ - 0.001 * r;
  const double zhi = zmax_ + 0.001 * r;
  if (!(zlo < zhi)) {
    FreeGrid();
    return false;
  }
  // Counts in double first: a radius that is tiny against the object gives
  // counts beyond int32 and a grid beyond memory; both are refused.
  const double colsD = std::floor((L.xhi - L.xStart) / (2.0 * r)) + 1.0;
  const double rowsD = std::floor((L.yhi - L.yStart) / L.dy) + 1.0;
  const double layersD = std::floor((zhi - zlo) / L.dz) + 1.0;
  const double cellsD = colsD * rowsD * layersD;
  if (!(colsD >= 1 && rowsD >= 1 && layersD >= 1) || !(cellsD <= static_cast<double>(kMaxGridCells))) {
    FreeGrid();
    return false;
  }
  double mid = (zlo + zhi) / 2.0 + r * kLayerNudge;
  double first = mid - std::floor((mid - zlo) / L.dz) * L.dz;
  if (first - L.dz >= zlo) first -= L.dz;

  const int32_t nl = static_cast<int32_t>(layersD);
  const int32_t nr = static_cast<int32_t>(rowsD);
  const int32_t nc = static_cast<int32_t>(colsD);
  try {
    grid_.assign(static_cast<size_t>(nl), {});
  } catch (const std::bad_alloc&) {
    FreeGrid();
    return false;
  }
  layers_ = nl;
  rows_ = nr;
  cols_ = nc;
  firstZ_ = first;
  lastZ_ = first + (nl - 1) * L.dz;
  layers = layers_;
  firstZ = firstZ_;
  lastZ = lastZ_;
  dz = L.dz;
  return true;
}

void PoliedroEstructurado::CountCells(int32_t a, int32_t b, int32_t& count) const {
  count = 0;
  if (a < 0 || a > b || b >= layers_) return;
  int64_t n = 0;
  for (int32_t k = a; k <= b; ++k)
    for (const Run& run : grid_[static_cast<size_t>(k)]) n += run.col1 - run.col0 + 1;
  count = static_cast<int32_t>(n);
}

bool PoliedroEstructurado::IsCellOccupied(int32_t layer, int32_t row, int32_t col) const {
  if (layer < 0 || layer >= layers_ || row < 0 || row >= rows_ || col < 0 || col >= cols_) return false;
  const std::vector<Run>& runs = grid_[static_cast<size_t>(layer)];
  auto it = std::upper_bound(runs.begin(), runs.end(), std::make_pair(row, col),
                             [](const std::pair<int32_t, int32_t>& v, const Run& r) {
                               return v.first < r.row || (v.first == r.row && v.second < r.col0);
                             });
  if (it == runs.begin()) return false;
  --it;
  return it->row == row && col <= it->col1;
}

void PoliedroEstructurado::Mark(int32_t layer, int32_t row, int32_t col) {
  std::vector<Run>& runs = grid_[static_cast<size_t>(layer)];
  if (!runs.empty() && runs.back().row == row) {
    if (col <= runs.back().col1) return;  // marked already
    if (col == runs.back().col1 + 1) {
      runs.back().col1 = col;
      return;
    }
  }
  runs.push_back({row, col, col});
}

void PoliedroEstructurado::ReleaseLayer(int32_t k) {
  if (k >= 0 && k < layers_) std::vector<Run>().swap(grid_[static_cast<size_t>(k)]);
}

void PoliedroEstructurado::AppendLayerPoints(int32_t k, const LatticeLayout& L,
                                             std::vector<std::array<double, 3>>& points, size_t limit) const {
  const bool oddLayer = (k % 2) != 0;
  const double z = firstZ_ + k * L.dz;
  const double y0 = L.yStart + (oddLayer ? L.layerShift : 0.0);
  for (const Run& run : grid_[static_cast<size_t>(k)]) {
    const int32_t j = run.row;
    const bool shifted = oddLayer == ((j % 2) == 0);
    const double y = y0 + L.dy * j;
    const double x0 = L.xStart + (shifted ? L.rowShift : 0.0);
    for (int32_t i = run.col0; i <= run.col1; ++i) {
      if (points.size() >= limit) return;
      points.push_back({x0 + 2.0 * r_ * i, y, z});
    }
  }
}

bool PoliedroEstructurado::GetPoints(int32_t a, int32_t b, int32_t expected,
                                     std::vector<std::array<double, 3>>& points) {
  points.clear();
  if (a < 0 || a > b || b >= layers_ || expected <= 0) return false;
  LatticeLayout L;
  if (!LatticeParams(L)) return false;
  points.reserve(static_cast<size_t>(expected));
  // One more than expected tells a grid with more cells from an exact one.
  const size_t limit = static_cast<size_t>(expected) + 1;
  for (int32_t k = a; k <= b && points.size() < limit; ++k) AppendLayerPoints(k, L, points, limit);
  if (points.size() != static_cast<size_t>(expected)) {
    points.clear();
    return false;
  }
  FreeGrid();
  return true;
}

bool PoliedroEstructurado::LayerPoints(int32_t k, std::vector<std::array<double, 3>>& points) const {
  points.clear();
  LatticeLayout L;
  if (k < 0 || k >= layers_ || !LatticeParams(L)) return false;
  AppendLayerPoints(k, L, points, static_cast<size_t>(-1));
  return true;
}

void PoliedroEstructurado::FreeGrid() {
  std::vector<std::vector<Run>>().swap(grid_);
  r_ = 0;
  firstZ_ = lastZ_ = 0;
  layers_ = rows_ = cols_ = 0;
  latticeReady_ = 0;
}
