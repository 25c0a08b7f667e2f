#include "fill_geometry/chain_crossings.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/box_index.h"
#include "fill_geometry/geometry.h"

namespace fillgeo {

namespace {

struct Pt {
  double x, y;
};

struct Record {
  double x, y, tQ;
  uint32_t j;
  double tP;
  uint32_t i;
  int16_t sense;
};

std::vector<Pt> Points(const Hilera& h) {
  std::vector<Pt> v;
  v.reserve(static_cast<size_t>(h.Count()));
  for (int32_t k = 0; k < h.Count(); ++k) v.push_back({h.Get(k)->x(), h.Get(k)->y()});
  return v;
}

double SegDist(const Pt& p, const Pt& a, const Pt& b) {
  double fx, fy, d;
  ClosestPointOnSegment(p.x, p.y, a.x, a.y, b.x, b.y, fx, fy, d);
  return d;
}

int16_t SignOne(double v) {
  int16_t s = Sign(v);
  return s == 0 ? 1 : s;
}

void AddCrossingRecord(double x, double y, double tQ, uint32_t j, double tP, uint32_t i,
                       int16_t sense, std::vector<Record>& list, uint32_t& c1, uint32_t& c2) {
  list.push_back({x, y, tQ, j, tP, i, sense});
  ++c1;
  ++c2;
}

}  // namespace

bool FindChainCrossings(const Hilera& Ph, const Hilera& Qh, uint16_t mode, CrossingRows& rows,
                        uint32_t& count, uint8_t& flag, double tol) {
  count = 0;
  flag = 0;
  rows.clear();
  const std::vector<Pt> P = Points(Ph), Q = Points(Qh);
  const int32_t m = static_cast<int32_t>(P.size()), n = static_cast<int32_t>(Q.size());
  if (m < 2 || n < 2) return false;
  auto isOpen = [&](const std::vector<Pt>& v) {
    return Distance2D(v.front().x, v.front().y, v.back().x, v.back().y) > tol;
  };
  const bool openP = isOpen(P), openQ = isOpen(Q);
  const int32_t lastP = m - 2, lastQ = n - 2;
  // The vertex before index k (closed polylines wrap to count - 2).
  auto before = [](const std::vector<Pt>& v, int32_t k) -> const Pt& {
    if (k > 0) return v[k - 1];
    int32_t c = static_cast<int32_t>(v.size());
    return v[c >= 2 ? c - 2 : 0];
  };

  // Segment boxes of P. Candidates are visited in the order of a stable sort
  // by max x (ties by segment index), which fixes the order of the records.
  std::vector<BoxIndex::Box> boxes;
  boxes.reserve(static_cast<size_t>(m - 1));
  std::vector<double> maxX(static_cast<size_t>(m - 1));
  for (int32_t i = 0; i + 1 < m; ++i) {
    boxes.push_back({std::min(P[i].x, P[i + 1].x), std::max(P[i].x, P[i + 1].x),
                     std::min(P[i].y, P[i + 1].y), std::max(P[i].y, P[i + 1].y), i});
    maxX[i] = boxes.back().maxx;
  }
  const BoxIndex index(boxes);
  std::vector<int32_t> cand;

  std::vector<Record> recs;
  uint32_t passCount = 0;
  for (int32_t j = 0; j + 1 < n; ++j) {
    const Pt &q0 = Q[j], &q1 = Q[j + 1];
    double lenQ = Distance2D(q0.x, q0.y, q1.x, q1.y);
    if (lenQ <= tol) continue;
    double sminx = std::min(q0.x, q1.x), smaxx = std::max(q0.x, q1.x);
    double sminy = std::min(q0.y, q1.y), smaxy = std::max(q0.y, q1.y);
    index.Query(sminx, smaxx, sminy, smaxy, tol, cand, false);
    std::sort(cand.begin(), cand.end(), [&](int32_t a, int32_t b) {
      return maxX[a] != maxX[b] ? maxX[a] < maxX[b] : a < b;
    });
    for (const int32_t i : cand) {
      const Pt &p0 = P[i], &p1 = P[i + 1];
      double lenP = Distance2D(p0.x, p0.y, p1.x, p1.y);
      if (lenP <= tol) continue;
      const double epsP = tol / lenP, epsQ = tol / lenQ;
      if (mode == kContacts) {
        int mask = 0;
        bool made = false;
        Record r{};
        auto onOther = [&](const Pt& e, const Pt& a, const Pt& c, double& fx, double& fy) {
          double d;
          ClosestPointOnSegment(e.x, e.y, a.x, a.y, c.x, c.y, fx, fy, d);
          return d <= tol;
        };
        auto param = [&](double x, double y, const Pt& a, const Pt& c) {
          if (std::fabs(c.x - a.x) > tol) return (x - a.x) / (c.x - a.x);
          if (std::fabs(c.y - a.y) > tol) return (y - a.y) / (c.y - a.y);
          return 0.0;
        };
        const Pt* ends[4] = {&p0, &p1, &q0, &q1};
        for (int e = 0; e < 4; ++e) {
          bool onQ = e < 2;
          double fx, fy;
          bool on = onQ ? onOther(*ends[e], q0, q1, fx, fy) : onOther(*ends[e], p0, p1, fx, fy);
          if (!on) continue;
          mask |= 1 << e;
          if (made) continue;
          made = true;
          double x = 0.5 * (ends[e]->x + fx), y = 0.5 * (ends[e]->y + fy);
          r.x = x;
          r.y = y;
          r.i = static_cast<uint32_t>(i);
          r.j = static_cast<uint32_t>(j);
          if (onQ) {
            r.tP = (e == 0) ? 0.0 : 1.0;
            r.tQ = param(x, y, q0, q1);
          } else {
            r.tQ = (e == 2) ? 0.0 : 1.0;
            r.tP = param(x, y, p0, p1);
          }
        }
        if (!made) continue;
        int16_t sense;
        switch (mask) {
          case 1: case 8: case 9: sense = -1; break;
          case 2: case 4: case 6: sense = 1; break;
          default: continue;  // 3, 5, 7, 10 .. 15: removed
        }
        AddCrossingRecord(r.x, r.y, r.tQ, r.j, r.tP, r.i, sense, recs, count, passCount);
        continue;
      }
      // Mode 1: true crossings, Q's segment first.
      double x = 0, y = 0, tQ = kNoParameter, tP = kNoParameter;
      int16_t sense = 0;
      IntersectSegments(q0.x, q0.y, q1.x, q1.y, p0.x, p0.y, p1.x, p1.y, x, y, tP, tQ, sense, tol);
      if (tP < -1e19 && tQ < -1e19) {
        if (PointLineDistance(q0.x, q0.y, p0.x, p0.y, p1.x, p1.y, lenP) <= tol) flag = 1;
        continue;
      }
      if (tP < 0 || tP > 1 || tQ < 0 || tQ > 1) continue;
      if (tP >= 1 - epsP && !(openP && i == lastP)) continue;
      if (tQ >= 1 - epsQ && !(openQ && j == lastQ)) continue;
      auto add = [&]() {
        AddCrossingRecord(x, y, tQ, static_cast<uint32_t>(j), tP, static_cast<uint32_t>(i), sense,
                          recs, count, passCount);
      };
      if (epsP < tP && tP < 1 - epsP && epsQ < tQ && tQ < 1 - epsQ) { add(); continue; }
      if (openP && ((i == 0 && tP <= epsP) || (i == lastP && tP >= 1 - epsP))) { add(); continue; }
      if (openQ && ((j == 0 && tQ <= epsQ) || (j == lastQ && tQ >= 1 - epsQ))) { add(); continue; }
      if (tP > epsP && tQ > epsQ) continue;
      if (tP > epsP && tQ <= epsQ) {
        const Pt& R = before(Q, j);
        if (SegDist(R, p0, p1) <= tol || SegDist(p0, R, q0) <= tol || SegDist(p1, R, q0) <= tol)
          continue;
        if (Sign(TurnCross(R.x, R.y, p0.x, p0.y, p1.x, p1.y)) ==
            Sign(TurnCross(q1.x, q1.y, p0.x, p0.y, p1.x, p1.y)))
          continue;
        add();
        continue;
      }
      if (tP <= epsP && tQ > epsQ) {
        const Pt& S = before(P, i);
        if (SegDist(S, q0, q1) <= tol || SegDist(q0, S, p0) <= tol || SegDist(q1, S, p0) <= tol)
          continue;
        if (Sign(TurnCross(S.x, S.y, q0.x, q0.y, q1.x, q1.y)) ==
            Sign(TurnCross(p1.x, p1.y, q0.x, q0.y, q1.x, q1.y)))
          continue;
        add();
        continue;
      }
      // Shared vertex.
      const Pt& S = before(P, i);
      const Pt& R = before(Q, j);
      if (SegDist(q1, S, p0) <= tol || SegDist(p1, R, q0) <= tol || SegDist(R, S, p0) <= tol ||
          SegDist(R, p0, p1) <= tol || SegDist(S, R, q0) <= tol || SegDist(S, q0, q1) <= tol)
        continue;
      int16_t t = SignOne(TurnCross(S.x, S.y, p0.x, p0.y, p1.x, p1.y));
      int16_t s1 = SignOne(TurnCross(R.x, R.y, S.x, S.y, p0.x, p0.y));
      int16_t s2 = SignOne(TurnCross(R.x, R.y, p0.x, p0.y, p1.x, p1.y));
      int16_t s3 = SignOne(TurnCross(q1.x, q1.y, S.x, S.y, p0.x, p0.y));
      int16_t s4 = SignOne(TurnCross(q1.x, q1.y, p0.x, p0.y, p1.x, p1.y));
      bool c1 = (s1 == t && s2 == t), c2 = (s3 == t && s4 == t);
      if (c1 != c2) add();
    }
  }

  // Merge coincident records.
  std::vector<uint8_t> alive(recs.size(), 1);
  if (recs.size() >= 2) {
    for (size_t p = 0; p < recs.size(); ++p) {
      if (!alive[p]) continue;
      for (size_t q = p + 1; q < recs.size(); ++q) {
        if (!alive[q] || !alive[p]) continue;
        if (Distance2D(recs[p].x, recs[p].y, recs[q].x, recs[q].y) > tol) continue;
        const Record& r = (recs[p].sense == -1) ? recs[p] : recs[q];
        int32_t jr = static_cast<int32_t>(r.j);
        double len = Distance2D(Q[jr].x, Q[jr].y, Q[jr + 1].x, Q[jr + 1].y);
        double px, py;
        if (r.tQ >= 1 - tol / len) {
          int32_t jn = (jr + 1 <= lastQ) ? jr + 1 : 0;
          double ln = Distance2D(Q[jn].x, Q[jn].y, Q[jn + 1].x, Q[jn + 1].y);
          double f = ln > 0 ? 10 * tol / ln : 0;
          px = Q[jn].x + (Q[jn + 1].x - Q[jn].x) * f;
          py = Q[jn].y + (Q[jn + 1].y - Q[jn].y) * f;
        } else {
          double f = len > 0 ? 10 * tol / len : 0;
          px = r.x + (Q[jr + 1].x - Q[jr].x) * f;
          py = r.y + (Q[jr + 1].y - Q[jr].y) * f;
        }
        double best = kBig;
        for (int32_t i = 0; i + 1 < m; ++i) best = std::min(best, SegDist({px, py}, P[i], P[i + 1]));
        if (best > tol) {
          alive[p] = alive[q] = 0;
          continue;
        }
        auto adjacent = [](uint32_t a, uint32_t b, int32_t last) {
          int64_t d = static_cast<int64_t>(a) - static_cast<int64_t>(b);
          if (d < 2 && d > -2) return true;
          return (a == static_cast<uint32_t>(last) && b == 0) ||
                 (b == static_cast<uint32_t>(last) && a == 0);
        };
        if (adjacent(recs[p].j, recs[q].j, lastQ)) {
          recs[q].tQ = recs[p].tQ;
          recs[q].j = recs[p].j;
        } else if (adjacent(recs[p].i, recs[q].i, lastP)) {
          recs[q].tP = recs[p].tP;
          recs[q].i = recs[p].i;
        }
      }
    }
  }
  for (size_t k = 0; k < recs.size(); ++k)
    if (alive[k])
      rows.push_back({recs[k].x, recs[k].y, recs[k].tQ, static_cast<double>(recs[k].j),
                      recs[k].tP, static_cast<double>(recs[k].i),
                      static_cast<double>(recs[k].sense)});
  count = static_cast<uint32_t>(rows.size());
  std::stable_sort(rows.begin(), rows.end(), [](const CrossingRow& a, const CrossingRow& b) {
    if (a[5] != b[5]) return a[5] < b[5];
    return a[3] < b[3];
  });
  if (mode == kContacts && count >= 2) flag = 1;
  return count > 0;
}

}  // namespace fillgeo
