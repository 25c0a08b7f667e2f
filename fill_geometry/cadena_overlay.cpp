// Shared stretches of two closed chains.
#include <memory>

#include "fill_geometry/box_index.h"
#include "fill_geometry/cadena.h"
#include "fill_geometry/cadenas.h"
#include "fill_geometry/geometry.h"

using namespace fillgeo;

namespace {

struct PieceRecord {
  int32_t startExit = 0;
  int32_t endExit = 0;
};

struct Piece {
  std::unique_ptr<Cadena> chain;
  PieceRecord rec;
};

enum Group { kCoincide, k12, k123, k124, k34, k134, k234, k13, k14, k23, k24, kNone };

Group GroupOf(int16_t code) {
  if (code > 1000) return kCoincide;
  if (code == 431) return k34;  // unreachable, listed with the inside group
  int d[3] = {0, 0, 0}, nd = 0;
  for (int v = code; v > 0 && nd < 3; v /= 10) d[nd++] = v % 10;
  bool has[5] = {false, false, false, false, false};
  for (int k = 0; k < nd; ++k) has[d[k]] = true;
  if (nd == 2) {
    if (has[1] && has[2]) return k12;
    if (has[3] && has[4]) return k34;
    if (has[1] && has[3]) return k13;
    if (has[1] && has[4]) return k14;
    if (has[2] && has[3]) return k23;
    if (has[2] && has[4]) return k24;
    return kNone;
  }
  if (has[1] && has[2]) return has[3] ? k123 : k124;
  if (has[3] && has[4]) return has[1] ? k134 : k234;
  return kNone;
}

// Joins pieces end to start until no piece's last vertex meets another's
// first vertex; the joined piece goes last with a's start and b's end exit.
void JoinPieces(std::vector<Piece>& pieces, double tol) {
  while (pieces.size() >= 2) {
    int32_t fa = -1, fb = -1;
    for (size_t a = 0; a < pieces.size() && fa < 0; ++a) {
      const Cadena& A = *pieces[a].chain;
      const Punto2D* last = A.Point(A.Count() - 1);
      for (size_t b = 0; b < pieces.size(); ++b) {
        if (a == b) continue;
        if (last->Distance(*pieces[b].chain->Point(0)) <= tol) {
          fa = static_cast<int32_t>(a);
          fb = static_cast<int32_t>(b);
          break;
        }
      }
    }
    if (fa < 0) return;
    Cadena* joined = nullptr;
    if (!pieces[fa].chain->Join(*pieces[fb].chain, joined)) return;
    Piece p{std::unique_ptr<Cadena>(joined), {pieces[fa].rec.startExit, pieces[fb].rec.endExit}};
    pieces.erase(pieces.begin() + std::max(fa, fb));
    pieces.erase(pieces.begin() + std::min(fa, fb));
    pieces.push_back(std::move(p));
  }
}

}  // namespace

void Cadena::OverlayPieces(int32_t nS1, int32_t nO1, const Cadena& O, int16_t& dirFlag,
                           Cadenas& out, bool& overlayCross, double tol) const {
  dirFlag = 1;
  overlayCross = false;
  const int32_t n = std::min(nS1 + 1, count_), m = std::min(nO1 + 1, O.count_);
  if (n < 2 || m < 2) return;
  std::vector<Piece> pieces;
  Hilera* row = nullptr;
  bool open = false;
  double ex = 0, ey = 0;
  auto addRowAsChain = [&]() {
    auto c = std::make_unique<Cadena>();
    bool ok = c->SetFromHilera(*row);
    delete row;
    row = nullptr;
    open = false;
    // A row that makes no chain takes its record with it (one chain per record).
    if (ok) pieces.back().chain = std::move(c);
    else pieces.pop_back();
  };
  auto before = [&](int32_t j) { return j == 0 ? m - 2 : j - 1; };
  auto after = [&](int32_t j) { return j == m - 2 ? 1 : j + 2; };
  BoxIndex index(O, true);
  std::vector<int32_t> cand;
  for (int32_t i = 0; i + 1 < n; ++i) {
    const Punto2D* p0 = points_[i];
    const Punto2D* p1 = points_[i + 1];
    index.Query(std::min(p0->x(), p1->x()), std::max(p0->x(), p1->x()),
                std::min(p0->y(), p1->y()), std::max(p0->y(), p1->y()), tol, cand);
    for (int32_t j : cand) {
      if (j + 1 >= m) continue;
      const Punto2D* q0 = O.points_[j];
      const Punto2D* q1 = O.points_[j + 1];
      int16_t code = SegmentRelation(p0->x(), p0->y(), p1->x(), p1->y(), q0->x(), q0->y(),
                                     q1->x(), q1->y(), tol);
      if (code < 0) continue;
      Group g = GroupOf(code);
      if (g == kNone) continue;
      int16_t d = Sign(DotSegments(p0->x(), p0->y(), p1->x(), p1->y(), q0->x(), q0->y(), q1->x(),
                                   q1->y()));
      const Punto2D *X = p0, *Y = p1;
      switch (g) {
        case k34: X = d > 0 ? q0 : q1; Y = d > 0 ? q1 : q0; break;
        case k134: Y = d > 0 ? q1 : q0; break;
        case k234: X = d > 0 ? q0 : q1; break;
        case k13: Y = q0; break;
        case k14: Y = q1; break;
        case k23: X = q0; break;
        case k24: X = q1; break;
        default: break;
      }
      // ClosePiece: an open piece goes on when the last stretch ended at P_i.
      bool started = false;
      if (!(open && Distance2D(ex, ey, p0->x(), p0->y()) <= tol)) {
        if (open) addRowAsChain();
        row = new Hilera();
        row->AddPoint(X->x(), X->y());
        open = true;
        pieces.push_back(Piece{nullptr, {}});
        started = true;
      }
      row->AddPoint(Y->x(), Y->y());
      ex = Y->x();
      ey = Y->y();
      switch (g) {
        case kCoincide: case k12: case k123: case k124:
          if (dirFlag == 1 && d > 0) dirFlag = 0;
          break;
        case k34: case k134: case k234:
          if (d > 0) dirFlag = 0;
          break;
        case k14: case k23: dirFlag = 0; break;
        default: break;
      }
      const bool against = dirFlag == 1;
      int32_t se = 0, ee = 0;
      switch (g) {
        case kCoincide: case k34: case k134: case k234:
          se = against ? after(j) : before(j);
          ee = against ? before(j) : after(j);
          break;
        case k12: se = against ? j + 1 : j; ee = against ? j : j + 1; break;
        case k123: se = against ? j + 1 : before(j); ee = against ? before(j) : j + 1; break;
        case k124: se = against ? after(j) : j; ee = against ? j : after(j); break;
        case k13: se = j + 1; ee = before(j); break;
        case k14: se = j; ee = after(j); break;
        case k23: se = before(j); ee = j + 1; break;
        case k24: se = after(j); ee = j; break;
        default: break;
      }
      if (started) pieces.back().rec.startExit = se;
      pieces.back().rec.endExit = ee;
    }
  }
  if (open) addRowAsChain();
  overlayCross = false;
  JoinPieces(pieces, tol);
  if (!pieces.empty() && pieces.back().chain->Kind() != kClosed) {
    for (const Piece& p : pieces) {
      const Punto2D* a = O.points_[p.rec.startExit];
      const Punto2D* b = O.points_[p.rec.endExit];
      int s1 = InnerSide(a->x(), a->y()) ? 1 : -1;
      int s2 = InnerSide(b->x(), b->y()) ? 1 : -1;
      if (s1 * s2 < 0) {
        overlayCross = true;
        break;
      }
    }
  }
  for (Piece& p : pieces) out.Add(p.chain.release());
}
