// Loose chains of a slice to closed outlines, and outlines to regions.
#include <algorithm>
#include <cmath>
#include <memory>

#include "fill_geometry/box_index.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"
#include "fill_geometry/recinto.h"

using namespace fillgeo;

namespace {

struct XY {
  double x, y;
};

Cadena* CopyOf(const Cadena& c) {
  Cadena* k = new Cadena();
  k->CopyFrom(c);
  return k;
}

constexpr uint32_t kOutlinesPerCancelTest = 4096;

// Moves every chain of `from` into `to` and deletes `from`.
void MoveAll(Cadenas*& from, Cadenas& to) {
  if (!from) return;
  to.AddAll(*from);
  from->Detach();
  delete from;
  from = nullptr;
}

}  // namespace

void Cadenas::LinkChains(double tol, Cadenas*& positive, Cadenas*& nonPositive,
                         Cadenas*& unclosed, bool option,
                         const std::vector<std::array<uint8_t, 2>>* endTable,
                         const std::function<bool()>& cancel) const {
  positive = new Cadenas();
  nonPositive = new Cadenas();
  unclosed = new Cadenas();
  Cadenas holding;
  const int32_t n = Count();
  if (n == 0) return;
  // Two records per chain: 2i runs forward, 2i+1 backward.
  std::vector<std::vector<XY>> rows(static_cast<size_t>(2 * n));
  for (int32_t i = 0; i < n; ++i) {
    const Cadena* c = chains_[i];
    for (int32_t k = 0; k < c->Count(); ++k) rows[2 * i].push_back({c->Point(k)->x(), c->Point(k)->y()});
    rows[2 * i + 1].assign(rows[2 * i].rbegin(), rows[2 * i].rend());
  }
  // Chains of fewer than 2 points have no direction: they get no records.
  std::vector<int32_t> order;
  for (int32_t r = 0; r < 2 * n; ++r)
    if (rows[r].size() >= 2) order.push_back(r);
  // Records by start x, then y: the parts of a section often share an x
  // (boxes in a column), and the y order lets a join search skip the rest of
  // such a run.
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    const XY& p = rows[a].front();
    const XY& q = rows[b].front();
    return p.x < q.x || (p.x == q.x && p.y < q.y);
  });
  std::vector<double> xs, ys;
  for (int32_t r : order) {
    xs.push_back(rows[r].front().x);
    ys.push_back(rows[r].front().y);
  }
  std::vector<uint8_t> used(static_cast<size_t>(2 * n), 0);
  auto startable = [&](int32_t rec) {
    if (!option || !endTable) return true;
    const auto& e = (*endTable)[static_cast<size_t>(rec / 2)];
    return (rec % 2 == 0) ? e[0] != 0 : e[1] != 0;
  };

  size_t cursor = 0;
  for (uint32_t outlines = 1;; ++outlines) {
    if (outlines % kOutlinesPerCancelTest == 0 && cancel && cancel()) break;
    size_t pos = cursor;
    while (pos < order.size() && (used[order[pos]] || !startable(order[pos]))) ++pos;
    if (pos >= order.size()) break;
    cursor = pos;
    const int32_t startRec = order[pos];
    used[startRec] = 1;
    std::vector<int32_t> list{startRec};
    std::vector<XY> grow = rows[startRec];
    while (grow.size() >= 2 &&
           Distance2D(grow.back().x, grow.back().y, grow.front().x, grow.front().y) > tol) {
      const XY E = grow.back(), F = grow[grow.size() - 2];
      const double back = PolarAngle(E.x, E.y, F.x, F.y);
      const double w = 1.414 * tol;
      int32_t best = -1;
      double bestAngle = 0;
      size_t k = static_cast<size_t>(std::lower_bound(xs.begin(), xs.end(), E.x - w) - xs.begin());
      while (k < xs.size() && xs[k] <= E.x + w) {
        // One run of equal x: only its records with y near E's can join.
        const size_t runEnd = static_cast<size_t>(std::upper_bound(xs.begin() + k, xs.end(), xs[k]) - xs.begin());
        size_t q = static_cast<size_t>(std::lower_bound(ys.begin() + k, ys.begin() + runEnd, E.y - w) - ys.begin());
        for (; q < runEnd && ys[q] <= E.y + w; ++q) {
          int32_t rec = order[q];
          if (used[rec] || rows[rec].size() < 2) continue;
          const XY& a = rows[rec][0];
          const XY& b = rows[rec][1];
          if (Distance2D(a.x, a.y, E.x, E.y) > tol) continue;
          if (SegmentRelation(F.x, F.y, E.x, E.y, a.x, a.y, b.x, b.y, kTol) >= 0) continue;
          double ang = AngleDifference(back, PolarAngle(a.x, a.y, b.x, b.y));
          // Equal angles go to the record first by start x, then by index,
          // as a plain scan in x order would find it.
          const XY& bs = best < 0 ? a : rows[best][0];
          if (best < 0 || ang < bestAngle ||
              (ang == bestAngle && (a.x < bs.x || (a.x == bs.x && rec < best)))) {
            best = rec;
            bestAngle = ang;
          }
        }
        k = runEnd;
      }
      if (best < 0) break;
      grow.insert(grow.end(), rows[best].begin() + 1, rows[best].end());
      used[best] = 1;
      list.push_back(best);
    }
    if (grow.size() >= 2 &&
        Distance2D(grow.back().x, grow.back().y, grow.front().x, grow.front().y) <= tol)
      grow.back() = grow.front();
    Hilera row;
    for (const XY& p : grow) row.AddPoint(p.x, p.y);
    auto chain = std::make_unique<Cadena>();
    bool made = chain->SetFromHilera(row);
    if (made && chain->Kind() == Cadena::kClosed) {
      (chain->Area() > 0.0 ? positive : nonPositive)->Add(chain.release());
      continue;
    }
    // Both ends of one source chain in this outline: the source chain is held
    // back on its own and the other records are freed for later outlines.
    int32_t both = -1;
    for (int32_t a : list)
      if (IsEven(a) && std::find(list.begin(), list.end(), a + 1) != list.end()) {
        both = a;
        break;
      }
    if (both >= 0) {
      auto src = std::make_unique<Cadena>();
      Hilera srow;
      for (const XY& p : rows[both]) srow.AddPoint(p.x, p.y);
      if (src->SetFromHilera(srow)) holding.Add(src.release());
      for (int32_t rec : list)
        if (rec != both && rec != both + 1) used[rec] = 0;
      cursor = 0;
      continue;
    }
    Cadenas* loops = nullptr;
    if (made && chain->SplitLoops(loops)) {
      for (int32_t k = 0; k < loops->Count(); ++k) {
        Cadena* l = loops->Get(k);
        (l->Area() > 0.0 ? positive : nonPositive)->Add(CopyOf(*l));
      }
      delete loops;
    } else if (made) {
      holding.Add(chain.release());
    }
  }
  unclosed->AddAll(holding);
  holding.Detach();
}

bool Cadenas::Classify(Cadenas& A, Cadenas& B, Recintos*& regions, Cadenas*& freeHoles,
                       Cadenas*& rejects, double tol, const std::function<bool()>& cancel) const {
  regions = nullptr;
  freeHoles = nullptr;
  rejects = new Cadenas();
  if (A.Count() == 0) {
    for (const Cadena* c : chains_)
      if (c) rejects->Add(CopyOf(*c));
    return false;
  }
  std::vector<std::array<double, 2>> table;
  A.AreaTable(table);
  const double smallArea = 10000 * tol * tol;
  int32_t s = 0;
  while (s < static_cast<int32_t>(table.size()) && table[s][0] <= smallArea) ++s;
  if (s > 0) {
    std::vector<int32_t> list;  // table rows whose chains are removed
    const int32_t nt = static_cast<int32_t>(table.size());
    for (int32_t p = 0; p < s; ++p) {
      const Cadena* S = A.Get(static_cast<int32_t>(table[p][1]));
      for (int32_t q = nt - 1; q >= s; --q) {
        if (std::find(list.begin(), list.end(), q) != list.end()) continue;
        const Cadena* L = A.Get(static_cast<int32_t>(table[q][1]));
        if (S->Relation(*L, true, tol) != 3) continue;
        Cadenas* merged = nullptr;
        if (L->Merge(*S, merged, tol, false) != kOk) continue;
        // Merged rings go by their sign: outer outlines to A, holes to B.
        for (int32_t k = 0; k < merged->Count(); ++k) {
          Cadena* m = merged->Get(k);
          (m->Area() > 0.0 ? A : B).Add(m);
        }
        merged->Detach();
        delete merged;
        list.push_back(q);
        list.push_back(p);
        break;
      }
      if (list.empty() || list.back() != p) list.push_back(p);
    }
    std::vector<int32_t> idx;
    for (int32_t row : list) idx.push_back(static_cast<int32_t>(table[row][1]));
    std::sort(idx.begin(), idx.end());
    idx.erase(std::unique(idx.begin(), idx.end()), idx.end());
    for (auto it = idx.rbegin(); it != idx.rend(); ++it) A.Remove(*it);
    A.AreaTable(table);
  }
  regions = new Recintos();
  const int32_t nh = B.Count();
  std::vector<uint8_t> freeFlag(static_cast<size_t>(nh), 1);
  int32_t r = nh;
  // Holes by box: an outline takes only holes whose boxes meet its own, in
  // hole order as the full scan would (a section of many parts has as many
  // holes as outlines).
  std::vector<BoxIndex::Box> holeBoxes;
  for (int32_t h = 0; h < nh; ++h) {
    const Cadena* H = B.Get(h);
    holeBoxes.push_back({H->MinX(), H->MaxX(), H->MinY(), H->MaxY(), h});
  }
  const BoxIndex holeIndex(holeBoxes);
  std::vector<int32_t> near;
  uint32_t done = 0;
  for (const auto& row : table) {
    if (++done % kOutlinesPerCancelTest == 0 && cancel && cancel()) return false;
    Cadena* U = A.Get(static_cast<int32_t>(row[1]));
    Cadenas temp;
    temp.Add(U);
    const double a = U->Area(), m = U->Length() * tol;
    if (r > 0) holeIndex.Query(U->MinX(), U->MaxX(), U->MinY(), U->MaxY(), 0.0, near);
    else near.clear();
    for (int32_t h : near) {
      if (r <= 0) break;
      if (!freeFlag[h]) continue;
      Cadena* H = B.Get(h);
      if (H->MaxX() <= U->MaxX() && U->MinX() <= H->MinX() && H->MaxY() <= U->MaxY() &&
          U->MinY() <= H->MinY() && a - m > std::fabs(H->Area())) {
        int16_t rel = U->Relation(*H, true, kTol);
        if (rel == 62 || rel == 63) {
          temp.Add(H);
          freeFlag[h] = 0;
          --r;
        }
      }
    }
    auto region = std::make_unique<Recinto>();
    if (region->SetChains(temp) == Recinto::kAccepted) {
      regions->Add(region.release());
    } else {
      for (int32_t k = 0; k < temp.Count(); ++k) rejects->Add(CopyOf(*temp.Get(k)));
    }
    temp.Detach();
  }
  auto holes = std::make_unique<Cadenas>();
  for (int32_t h = 0; h < nh; ++h)
    if (freeFlag[h]) {
      Cadena* c = CopyOf(*B.Get(h));
      c->Reverse();
      holes->Add(c);
    }
  if (holes->Count() > 0) freeHoles = holes.release();
  return true;
}

bool Cadenas::AssembleRegions(Recintos*& regions, Cadenas*& freeHoles, Cadenas*& rejects,
                              double tol, const std::function<bool()>& cancel) const {
  regions = nullptr;
  freeHoles = nullptr;
  rejects = nullptr;
  if (Count() == 0) return false;
  auto work = std::make_unique<Cadenas>();
  for (const Cadena* c : chains_)
    if (c) work->Add(CopyOf(*c));
  rejects = new Cadenas();
  // Chains with a free end cannot close: each round moves them to rejects.
  while (work->Count() > 0) {
    if (cancel && cancel()) return false;
    std::vector<std::array<uint8_t, 2>> table;
    bool done = false;
    work->MatchEnds(tol, table, done);
    if (done) break;
    int32_t removed = 0;
    for (size_t i = 0; i < table.size(); ++i) {
      if (table[i][0] && table[i][1]) continue;
      int32_t at = static_cast<int32_t>(i) - removed;
      rejects->Add(CopyOf(*work->Get(at)));
      work->Remove(at);
      ++removed;
    }
    if (removed == 0) break;
  }
  if (work->Count() == 0 || (cancel && cancel())) return false;
  Cadenas *pos = nullptr, *nonPos = nullptr, *unclosed = nullptr;
  work->LinkChains(tol, pos, nonPos, unclosed, false, nullptr, cancel);
  std::unique_ptr<Cadenas> hp(pos), hn(nonPos);
  if (cancel && cancel()) {
    delete unclosed;
    return false;
  }
  if (unclosed->Count() > 0) unclosed->RemoveDuplicates();
  MoveAll(unclosed, *rejects);
  Cadenas* tempRejects = nullptr;
  bool ok = Classify(*pos, *nonPos, regions, freeHoles, tempRejects, tol, cancel);
  if (ok && tempRejects) tempRejects->RemoveDuplicates();
  MoveAll(tempRejects, *rejects);
  return ok;
}
