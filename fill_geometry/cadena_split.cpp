// Cutting self-crossing chains into simple pieces.
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

struct Crossings {
  int32_t n = 0;
  std::vector<Punto2D*> pts;
  std::vector<int32_t> a, b;
  ~Crossings() {
    for (Punto2D* p : pts) delete p;
  }
};

// Row points are appended by value; the row becomes a chain when it can.
void AddRowAsChain(const Hilera& row, Cadenas& set) {
  auto c = std::make_unique<Cadena>();
  if (row.Count() >= 2 && c->SetFromHilera(row)) set.Add(c.release());
}

double Dist(const Punto2D* p, const Punto2D* q) {
  return Distance2D(p->x(), p->y(), q->x(), q->y());
}

}  // namespace

bool Cadena::SplitLoops(Cadenas*& out) const {
  out = nullptr;
  if (count_ < 2) return false;
  const int32_t N = count_;
  if (Dist(points_[0], points_[N - 1]) > kTol || crossings_ == 0) return false;
  Crossings c;
  if (!SegmentCrossings(c.n, c.pts, c.a, c.b, true, kTol)) return false;
  const int32_t n = c.n;
  if (n == 0) return false;
  auto sg = [](double x0, double y0, double x1, double y1, double x2, double y2) {
    return Sign(TurnCross(x0, y0, x1, y1, x2, y2));
  };
  auto one = [](int16_t s) -> int16_t { return s == 0 ? 1 : s; };
  for (int32_t k = 0; k < n; ++k) {
    double ax, ay, anx, any, apx, apy, bx, by, bnx, bny, bpx, bpy;
    NeighbourPoints(c.a, c.b, k, ax, ay, anx, any, apx, apy, bx, by, bnx, bny, bpx, bpy);
    const Punto2D* X = c.pts[k];
    double d1 = Distance2D(ax, ay, X->x(), X->y()), d2 = Distance2D(bx, by, X->x(), X->y());
    bool accept;
    if (d1 > kTol && d2 > kTol) {
      accept = false;
    } else if (d1 <= kTol && d2 > kTol) {
      accept = sg(apx, apy, bx, by, bnx, bny) == sg(anx, any, bx, by, bnx, bny);
    } else if (d1 > kTol) {
      accept = sg(bpx, bpy, ax, ay, anx, any) == sg(bnx, bny, ax, ay, anx, any);
    } else {
      int16_t t = one(sg(bpx, bpy, bx, by, bnx, bny));
      int16_t u1 = one(sg(apx, apy, bpx, bpy, bx, by)), u2 = one(sg(apx, apy, bx, by, bnx, bny));
      int16_t w1 = one(sg(anx, any, bpx, bpy, bx, by)), w2 = one(sg(anx, any, bx, by, bnx, bny));
      bool c1 = u1 == t && u2 == t, c2 = w1 == t && w2 == t;
      accept = c1 == c2;
    }
    if (!accept) return false;
  }
  // Interleaved touches (the next crossing starts inside a loop but its other
  // pass lies beyond the loop's end) cannot be cut into loops this way.
  for (int32_t q = 0; q + 1 < n; ++q)
    if (c.a[q] < c.a[q + 1] && c.a[q + 1] < c.b[q] && c.b[q] < c.b[q + 1]) return false;

  auto P = [&](int32_t s) { return points_[std::clamp(s, 0, N - 1)]; };
  auto far = [&](const Punto2D* p, const Punto2D* x) { return Dist(p, x) > kTol; };
  auto set = std::make_unique<Cadenas>();
  {
    // The outer piece.
    Hilera row;
    for (int32_t s = 0; s < c.a[0]; ++s) row.AddPoint(P(s)->x(), P(s)->y());
    if (far(P(c.a[0]), c.pts[0])) row.AddPoint(P(c.a[0])->x(), P(c.a[0])->y());
    row.AddPoint(c.pts[0]->x(), c.pts[0]->y());
    int32_t m = -1, best = INT_MAX;
    for (int32_t k = 0; k < n; ++k) {
      int32_t d = c.a[k] - c.b[0];
      if (d > 0 && d < best) {
        best = d;
        m = k;
      }
    }
    int32_t resume = c.b[0] + 1;
    if (m >= 0) {
      for (int32_t s = resume; s < c.a[m]; ++s) row.AddPoint(P(s)->x(), P(s)->y());
      if (far(P(c.a[m]), c.pts[m])) row.AddPoint(P(c.a[m])->x(), P(c.a[m])->y());
      row.AddPoint(c.pts[m]->x(), c.pts[m]->y());
      resume = c.b[m] + 1;
    }
    for (int32_t s = resume; s <= N - 2; ++s) row.AddPoint(P(s)->x(), P(s)->y());
    row.AddPoint(P(0)->x(), P(0)->y());
    AddRowAsChain(row, *set);
  }
  for (int32_t q = 0; q < n; ++q) {
    const int32_t a = c.a[q], b = c.b[q];
    const Punto2D* X = c.pts[q];
    Hilera row;
    row.AddPoint(X->x(), X->y());
    auto closeAt = [&](int32_t bb) {
      if (far(P(bb), X)) row.AddPoint(P(bb)->x(), P(bb)->y());
      row.AddPoint(X->x(), X->y());
    };
    auto skipNext = [&]() {
      const Punto2D* Xn = c.pts[q + 1];
      row.AddPoint(Xn->x(), Xn->y());
      for (int32_t s = c.b[q + 1] + 1; s < b && s < N; ++s) row.AddPoint(P(s)->x(), P(s)->y());
      closeAt(b);
    };
    // The walk never passes the ring's last vertex.
    for (int32_t s = a + 1; s < N; ++s) {
      if (q < n - 1 && s == c.a[q + 1]) {
        if (far(P(s), c.pts[q + 1])) {
          row.AddPoint(P(s)->x(), P(s)->y());
          skipNext();
          break;
        }
        if (s == b) {
          closeAt(b);
          break;
        }
        skipNext();
        break;
      }
      if (s == b) {
        closeAt(b);
        break;
      }
      row.AddPoint(P(s)->x(), P(s)->y());
    }
    AddRowAsChain(row, *set);
  }
  out = set.release();
  return true;
}

bool Cadena::SplitSelfCrossing(Cadena*& start, Cadenas*& pieces) const {
  start = nullptr;
  pieces = nullptr;
  if (kind_ != kSelfCrossing || count_ < 2) return false;
  const Punto2D* F = points_[0];
  if (Dist(F, points_[count_ - 1]) < kTol) {
    Cadenas* loops = nullptr;
    if (SplitLoops(loops)) {
      start = new Cadena();
      for (int32_t i = 0; i < loops->Count(); ++i) {
        const Cadena* l = loops->Get(i);
        if (l->Count() > 0 && Dist(l->Point(0), F) < kTol) {
          start->CopyFrom(*l);
          loops->Remove(i);
          break;
        }
      }
      pieces = loops;
      return true;
    }
  }
  pieces = new Cadenas();
  Crossings c;
  if (!SegmentCrossings(c.n, c.pts, c.a, c.b, true, kTol) || c.n == 0) return false;
  const int32_t k = c.n;
  // Two rows per crossing (q, s, t), in the order the chain passes them.
  struct Row {
    int32_t q, s;
    double t;
  };
  std::vector<Row> rows;
  for (int32_t q = 0; q < k; ++q) {
    for (int32_t s : {c.a[q], c.b[q]}) {
      const Punto2D* p0 = points_[s];
      const Punto2D* p1 = points_[s + 1];
      rows.push_back({q, s, SegmentParameter(p0->x(), p0->y(), p1->x(), p1->y(), c.pts[q]->x(),
                                             c.pts[q]->y())});
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) {
    if (x.s != y.s) return x.s < y.s;
    return x.t < y.t;
  });
  const int32_t nr = static_cast<int32_t>(rows.size());
  std::vector<int16_t> counter(static_cast<size_t>(k), 0);
  auto firstRowOf = [&](int32_t q) {
    for (int32_t r = 0; r < nr; ++r)
      if (rows[r].q == q) return r;
    return -1;
  };
  auto emit = [&](Hilera& row) {
    if (row.Count() < 2) return;
    auto ch = std::make_unique<Cadena>();
    if (!ch->SetFromHilera(row)) return;
    if (!start && Dist(ch->Point(0), F) <= kTol) start = ch.release();
    else pieces->Add(ch.release());
  };
  // Builds one piece from row `cur` (-1: before row 0) with next vertex `next`.
  auto build = [&](int32_t cur, int32_t next, const Punto2D* first, int32_t firstQ) {
    Hilera row;
    row.AddPoint(first->x(), first->y());
    std::vector<int32_t> used{firstQ};
    auto abandon = [&]() {
      for (int32_t q : used)
        if (q >= 0) --counter[q];
    };
    // Each step passes one row; more steps than rows twice over means a cycle.
    for (int32_t guard = 0; guard <= 2 * nr + 2; ++guard) {
      bool final = false;
      const Punto2D* last;
      int32_t qn = -2;
      if (cur + 1 < nr) {
        const Row& r = rows[cur + 1];
        qn = r.q;
        if (counter[qn] >= 2 && qn != firstQ) {
          abandon();
          return;
        }
        for (int32_t v = next; v <= r.s; ++v) row.AddPoint(points_[v]->x(), points_[v]->y());
        row.AddPoint(c.pts[qn]->x(), c.pts[qn]->y());
        ++counter[qn];
        used.push_back(qn);
        cur = cur + 1;
        last = c.pts[qn];
      } else {
        for (int32_t v = next; v <= count_ - 2; ++v) row.AddPoint(points_[v]->x(), points_[v]->y());
        row.AddPoint(points_[count_ - 1]->x(), points_[count_ - 1]->y());
        final = true;
        last = points_[count_ - 1];
      }
      if (!final && Dist(last, first) > kTol) {
        int32_t found = -1;
        for (int32_t step = 1; step <= nr; ++step) {
          int32_t r = (cur + step) % nr;
          if (rows[r].q == qn) {
            found = r;
            break;
          }
        }
        if (found < 0) {
          abandon();
          return;
        }
        cur = found;
        next = rows[found].s + 1;
        continue;
      }
      emit(row);
      return;
    }
    abandon();
  };
  build(-1, 1, F, -1);
  for (int32_t q = 0; q < k; ++q) {
    if (counter[q] >= 2) continue;
    int32_t r = firstRowOf(q);
    if (r < 0) continue;
    ++counter[q];
    build(r, rows[r].s + 1, c.pts[q], q);
  }
  return true;
}
