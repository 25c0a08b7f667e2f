#include "fill_geometry/recinto.h"

#include <algorithm>
#include <cmath>

#include "fill_geometry/geometry.h"

using namespace fillgeo;

Recinto::Recinto() : chains_(new Cadenas()) {}

Recinto::~Recinto() {
  if (!notOwner_) delete chains_;
}

int16_t Recinto::SetChains(const Cadenas& set, bool checkRelations) {
  int32_t n = set.Count();
  if (n == 0) return kEmpty;
  for (int32_t i = 0; i < n; ++i)
    if (!set.Get(i) || set.Get(i)->Kind() != Cadena::kClosed) return kNotClosed;
  int32_t outer = -1, positives = 0;
  for (int32_t i = 0; i < n; ++i)
    if (set.Get(i)->Area() > 0) {
      if (outer < 0) outer = i;
      ++positives;
    }
  if (positives == 0) return kNoPositive;
  if (positives > 1) return kManyPositive;
  const Cadena* out = set.Get(outer);
  std::vector<const Cadena*> holes;
  for (int32_t i = 0; i < n; ++i)
    if (i != outer) holes.push_back(set.Get(i));
  for (const Cadena* h : holes) {
    if (!checkRelations) break;
    int16_t r = out->Relation(*h, true, kTol);
    if (r != 62 && r != 63) return kBadHole;
  }
  for (size_t i = 0; checkRelations && i < holes.size(); ++i)
    for (size_t j = i + 1; j < holes.size(); ++j) {
      int16_t r = holes[i]->Relation(*holes[j], true, kTol);
      if (r != 62 && r != 63) return kBadHolePair;
    }
  Cadenas* fresh = new Cadenas();
  auto copy = [&](const Cadena* c) {
    Cadena* k = new Cadena();
    k->CopyFrom(*c);
    fresh->Add(k);
  };
  copy(out);
  for (const Cadena* h : holes) copy(h);
  if (!notOwner_) delete chains_;
  chains_ = fresh;
  notOwner_ = false;
  UpdateBounds();
  return kAccepted;
}

void Recinto::UpdateBounds() {
  totalLength_ = 0;
  totalArea_ = 0;
  const Cadena* outer = chains_->Get(0);
  if (outer) {
    xmin_ = outer->MinX();
    xmax_ = outer->MaxX();
    ymin_ = outer->MinY();
    ymax_ = outer->MaxY();
  }
  for (int32_t i = 0; i < chains_->Count(); ++i) {
    totalLength_ += chains_->Get(i)->Length();
    totalArea_ += chains_->Get(i)->Area();
  }
}

bool Recinto::ContainsPoint(double x, double y) const {
  for (int32_t i = 0; i < chains_->Count(); ++i)
    if (!chains_->Get(i)->InnerSide(x, y)) return false;
  return true;
}

void Recinto::Copy(Recinto*& out) const {
  out = new Recinto();
  out->SetChains(*chains_);
}

int16_t Recinto::Relation(const Recinto& b, int32_t& holeThis, int32_t& holeOther,
                          double tol) const {
  holeThis = 0;
  holeOther = 0;
  if (b.xmin_ > xmax_ + tol || xmin_ - tol > b.xmax_ || b.ymin_ > ymax_ + tol ||
      ymin_ - tol > b.ymax_)
    return 0;
  const Cadena* aOut = GetChain(0);
  const Cadena* bOut = b.GetChain(0);
  if (!aOut || !bOut) return kNoRelation;
  int16_t r = aOut->Relation(*bOut, true, tol);
  if (r <= 0 || r > 81) return kNoRelation;
  auto crossingCode = [](int16_t c) { return c >= 61 && c <= 64; };
  switch (r) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 41:
    case 51: {
      bool saw42 = false;
      for (int32_t k = 1; k < ChainCount(); ++k) {
        int16_t c = bOut->Relation(*GetChain(k), true, tol);
        if (crossingCode(c)) return 3;
        if (c == 42) saw42 = true;
      }
      if (r == 41) return 411;
      return saw42 ? 411 : 421;
    }
    case 42:
    case 52: {
      bool saw42 = false;
      for (int32_t k = 1; k < b.ChainCount(); ++k) {
        int16_t c = aOut->Relation(*b.GetChain(k), true, tol);
        if (crossingCode(c)) return 3;
        if (c == 42) saw42 = true;
      }
      if (r == 42) return 412;
      return saw42 ? 412 : 422;
    }
    case 61: return 3;
    case 71:
    case 72: {
      const Recinto& holesOf = (r == 71) ? *this : b;
      const Cadena* probe = (r == 71) ? bOut : aOut;
      int32_t& hole = (r == 71) ? holeThis : holeOther;
      bool saw42 = false, saw52 = false;
      for (int32_t k = 1; k < holesOf.ChainCount(); ++k) {
        int16_t c = probe->Relation(*holesOf.GetChain(k), true, tol);
        hole = k;
        switch (c) {
          case 1: return r == 71 ? 81 : 82;
          case 2: return r == 71 ? 71 : 72;
          case 3: return r == 71 ? 61 : 62;
          case 82: return r == 71 ? 51 : 52;
          default: break;
        }
        if (crossingCode(c)) return 3;
        if (c == 42) saw42 = true;
        if (c == 52) saw52 = true;
      }
      hole = 0;
      if (r == 71) return saw42 ? 411 : (saw52 ? 421 : 431);
      return saw42 ? 412 : (saw52 ? 422 : 432);
    }
    case 81: {
      if (b.ChainCount() <= 1 && ChainCount() > 1) return 3;
      for (int32_t k = 1; k < ChainCount(); ++k) {
        bool matched = false;
        for (int32_t m = 1; m < b.ChainCount(); ++m) {
          int16_t c = GetChain(k)->Relation(*b.GetChain(m), true, tol);
          if (c == 61) return 3;
          if (c == 81) {
            matched = true;
            break;
          }
        }
        if (!matched) return 3;
      }
      return 9;
    }
    default: return kNoRelation;
  }
}

Recintos::Recintos() { regions_.reserve(10); }

Recintos::~Recintos() {
  if (!notOwner_)
    for (Recinto* r : regions_) delete r;
  regions_.clear();
}

void Recintos::Add(Recinto* region) {
  if (region) regions_.push_back(region);
}

Recinto* Recintos::Get(int32_t i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return regions_[i];
}

bool Recintos::Remove(int32_t i) {
  if (i < 0 || i >= Count()) return false;
  if (!notOwner_) delete regions_[i];
  regions_.erase(regions_.begin() + i);
  return true;
}

void Recintos::Detach() {
  std::fill(regions_.begin(), regions_.end(), nullptr);
  notOwner_ = true;
}

void Recintos::BoundingBox(Caja*& out) const {
  double x0 = kBig, x1 = -kBig, y0 = kBig, y1 = -kBig;
  for (const Recinto* r : regions_) {
    if (!r) continue;
    x0 = std::min(x0, r->xmin());
    x1 = std::max(x1, r->xmax());
    y0 = std::min(y0, r->ymin());
    y1 = std::max(y1, r->ymax());
  }
  out = new Caja();
  // Written directly: the empty set gives the inverted box, which Set refuses.
  out->xmin_ = x0;
  out->xmax_ = x1;
  out->ymin_ = y0;
  out->ymax_ = y1;
}

bool Recintos::RowCrossings(double x1, double y1, double x2, double y2, Hilera*& out) const {
  out = new Hilera();
  if (!(Distance2D(x1, y1, x2, y2) > 0)) return false;
  for (const Recinto* r : regions_)
    if (r) r->AppendRowCrossings(x1, y1, x2, y2, *out);
  return out->Count() > 0;
}

void Recinto::AppendRowCrossings(double x1, double y1, double x2, double y2, Hilera& out) const {
  double len = Distance2D(x1, y1, x2, y2);
  if (!(len > 0)) return;
  // Side of the line: points on it count as below, so a vertex or an edge
  // lying on the row is counted exactly when the boundary passes through.
  auto above = [&](const Punto2D* p) { return TurnCross(x1, y1, x2, y2, p->x(), p->y()) < 0; };
  auto signedDist = [&](const Punto2D* p) {
    return -TurnCross(x1, y1, x2, y2, p->x(), p->y()) / len;
  };
  for (int32_t c = 0; c < ChainCount(); ++c) {
    const Cadena* ch = GetChain(c);
    for (int32_t k = 0; k + 1 < ch->Count(); ++k) {
      const Punto2D* p = ch->Point(k);
      const Punto2D* q = ch->Point(k + 1);
      if (above(p) == above(q)) continue;
      double sp = signedDist(p), sq = signedDist(q);
      double segLen = Distance2D(p->x(), p->y(), q->x(), q->y());
      double t = sp / (sp - sq);
      if (std::fabs(sp) <= kTol || t * segLen <= kTol) {
        out.AddPoint(p->x(), p->y());
      } else if (std::fabs(sq) <= kTol || (1 - t) * segLen <= kTol) {
        out.AddPoint(q->x(), q->y());
      } else {
        out.AddPoint(p->x() + t * (q->x() - p->x()), p->y() + t * (q->y() - p->y()));
      }
    }
  }
}
