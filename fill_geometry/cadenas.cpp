#include "fill_geometry/cadenas.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/geometry.h"
#include "fill_geometry/indice_cruce.h"

using namespace fillgeo;

Cadenas::Cadenas() { chains_.reserve(10); }

Cadenas::~Cadenas() {
  if (!detached_)
    for (Cadena* c : chains_) delete c;
  chains_.clear();
}

void Cadenas::Add(Cadena* chain) {
  if (open_ && chain && chain->IsValid()) chains_.push_back(chain);
}

void Cadenas::AddAll(const Cadenas& other) {
  if (!open_ || !other.open_ || &other == this) return;
  for (Cadena* c : other.chains_) chains_.push_back(c);
}

void Cadenas::Detach() {
  std::fill(chains_.begin(), chains_.end(), nullptr);
  detached_ = true;
}

bool Cadenas::Remove(int32_t i) {
  if (i < 0 || i >= Count() || !open_) return false;
  if (!detached_) delete chains_[i];
  chains_.erase(chains_.begin() + i);
  return true;
}

Cadena* Cadenas::Get(int32_t i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return chains_[i];
}

void Cadenas::Seal() {
  for (Cadena* c : chains_)
    if (c) c->Invalidate();
  open_ = false;
}

void Cadenas::AreaTable(std::vector<std::array<double, 2>>& table) const {
  table.clear();
  for (int32_t i = 0; i < Count(); ++i)
    table.push_back({chains_[i] ? chains_[i]->Area() : 0.0, static_cast<double>(i)});
  std::stable_sort(table.begin(), table.end(),
                   [](const std::array<double, 2>& a, const std::array<double, 2>& b) {
                     return a[0] < b[0];
                   });
}

bool Cadenas::FindNearChain(double x, double y, double d, int32_t& chainIndex, Cadena*& chain,
                            int32_t& segment, Punto2D*& foot) const {
  for (int32_t i = 0; i < Count(); ++i) {
    if (!chains_[i]) continue;
    if (chains_[i]->OnChain(x, y, d, segment, foot)) {
      chainIndex = i;
      chain = chains_[i];
      return true;
    }
  }
  return false;
}

void Cadenas::RemoveDuplicates() {
  int32_t n = Count();
  for (int32_t i = 0; i < n - 1; ++i) {
    const Cadena* a = chains_[i];
    if (!a) continue;
    int32_t k = a->Count();
    if (k < 2) continue;  // Point(k - 2) would not exist
    const Punto2D* ak = a->Point(k - 2);
    for (int32_t j = i + 1; j < n; ++j) {
      const Cadena* b = chains_[j];
      if (!b || b->Count() < 2) continue;
      if (std::fabs(b->MinX() - a->MinX()) < kTol && std::fabs(b->MinY() - a->MinY()) < kTol &&
          std::fabs(b->MaxX() - a->MaxX()) < kTol && std::fabs(b->MaxY() - a->MaxY()) < kTol &&
          Distance2D(b->Point(1)->x(), b->Point(1)->y(), ak->x(), ak->y()) < kTol) {
        if (Remove(j)) --n;
        break;
      }
    }
  }
}

namespace {

// Ids of every cell around (x, y): ends within tol may sit in neighbouring
// cells, so the 3x3 neighbourhood is searched, in cell order then list order.
void QueryAround(const IndiceCruceEspacial& index, double x, double y, double cx, double cy,
                 std::vector<int32_t>& out) {
  static const int kOff[9][2] = {{0, 0},  {-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                 {0, 1}, {1, -1},  {1, 0},  {1, 1}};
  out.clear();
  std::vector<int32_t> ids;
  int32_t n = 0;
  for (const auto& o : kOff) {
    if (!index.Query(x + o[0] * cx, y + o[1] * cy, n, ids)) continue;
    for (int32_t id : ids)
      if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
  }
}

}  // namespace

void Cadenas::MatchEnds(double tol, std::vector<std::array<uint8_t, 2>>& table,
                        bool& done) const {
  table.clear();
  done = false;
  int32_t n = Count();
  if (n == 0) return;
  double bx0 = kBig, bx1 = -kBig, by0 = kBig, by1 = -kBig, mw = 0, mh = 0;
  for (const Cadena* c : chains_) {
    if (!c || c->Count() == 0) continue;  // an empty chain has no ends to match
    bx0 = std::min(bx0, c->MinX());
    bx1 = std::max(bx1, c->MaxX());
    by0 = std::min(by0, c->MinY());
    by1 = std::max(by1, c->MaxY());
    mw += c->MaxX() - c->MinX();
    mh += c->MaxY() - c->MinY();
  }
  mw /= n;
  mh /= n;
  double cell = 0.1 * std::min(mw, mh);
  if (!(cell > 10 * tol)) cell = 10 * tol;
  // The cell must be at least tol for the 3x3 search to cover a tol disc.
  cell = std::max(cell, tol);
  table.assign(static_cast<size_t>(n), {0, 0});
  if (!(bx1 >= bx0)) return;
  auto hasEnds = [&](int32_t i) { return chains_[i] && chains_[i]->Count() > 0; };
  auto first = [&](int32_t i) { return chains_[i]->Point(0); };
  auto last = [&](int32_t i) { return chains_[i]->Point(chains_[i]->Count() - 1); };
  auto near = [&](const Punto2D* a, const Punto2D* b) {
    return Distance2D(a->x(), a->y(), b->x(), b->y()) <= tol;
  };
  auto end = [&](int32_t i, bool start) { return start ? first(i) : last(i); };
  std::vector<int32_t> cand;
  // An index of the first (or last) points, and the first chain in it, other
  // than `skip`, whose end lies within tol of p.
  auto makeIndex = [&](IndiceCruceEspacial& index, bool starts) {
    index.Build(bx0, bx1 - bx0, by0, by1 - by0, cell);
    for (int32_t i = 0; i < n; ++i)
      if (hasEnds(i)) index.InsertPoint(end(i, starts)->x(), end(i, starts)->y(), i);
  };
  auto match = [&](const IndiceCruceEspacial& index, bool starts, const Punto2D* p,
                   int32_t skip) {
    double cx = (bx1 - bx0 + kTol) / index.nx(), cy = (by1 - by0 + kTol) / index.ny();
    QueryAround(index, p->x(), p->y(), cx, cy, cand);
    for (int32_t j : cand)
      if (j != skip && near(end(j, starts), p)) return j;
    return -1;
  };
  auto all = [&]() {
    for (const auto& r : table)
      if (!r[0] || !r[1]) return false;
    return true;
  };
  {
    // Pass 1: starts against starts, then ends against starts (a closed
    // chain matches itself).
    IndiceCruceEspacial index;
    makeIndex(index, true);
    for (int32_t i = 0; i < n; ++i) {
      if (!hasEnds(i)) continue;
      int32_t j;
      if (!table[i][0] && (j = match(index, true, first(i), i)) >= 0) table[i][0] = table[j][0] = 1;
      if ((j = match(index, true, last(i), -1)) >= 0) table[i][1] = table[j][0] = 1;
    }
  }
  done = all();
  if (done) return;
  // Pass 2: starts against ends, then ends against ends.
  IndiceCruceEspacial index;
  makeIndex(index, false);
  for (int32_t i = 0; i < n; ++i) {
    if (!hasEnds(i)) continue;
    int32_t j;
    if (!table[i][0] && (j = match(index, false, first(i), -1)) >= 0) table[i][0] = table[j][1] = 1;
    if (!table[i][1] && (j = match(index, false, last(i), i)) >= 0) table[i][1] = table[j][1] = 1;
  }
  done = all();
}
