// Points, rows, boxes and the crossing index.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "fill_geometry/caja.h"
#include "fill_geometry/hilera.h"
#include "fill_geometry/indice_cruce.h"
#include "fill_geometry/punto.h"

TEST(Points, WriteOnce) {
  Punto2D p;
  EXPECT_TRUE(p.Set(1, 2));
  EXPECT_FALSE(p.Set(3, 4));
  EXPECT_EQ(p.X(), 1);
  EXPECT_EQ(p.y(), 2);
  Punto3D q;
  EXPECT_TRUE(q.Set(1, 2, 3));
  EXPECT_FALSE(q.Set(4, 5, 6));
  EXPECT_EQ(q.z(), 3);
}

TEST(Rows, EditingAndExtremes) {
  Hilera r;
  EXPECT_EQ(r.MaxX(), -1e20);
  EXPECT_EQ(r.MinY(), 1e20);
  r.AddPoint(0, 0);
  r.AddPoint(2, 1);
  r.AddPoint(1, 3);
  EXPECT_FALSE(r.SetPoint(5, 5, 3));
  EXPECT_TRUE(r.SetPoint(5, 5, 2));
  EXPECT_EQ(r.MaxX(), 5);
  EXPECT_FALSE(r.Remove(-1));
  EXPECT_TRUE(r.Remove(0));
  EXPECT_EQ(r.Count(), 2);
  EXPECT_EQ(r.Get(2), nullptr);
  r.Reverse();
  EXPECT_EQ(r.Get(0)->x(), 5);
  Hilera* c = nullptr;
  r.Copy(c);
  ASSERT_EQ(c->Count(), 2);
  EXPECT_NE(c->Get(0), r.Get(0));
  delete c;
  Hileras rows;
  rows.Add(new Hilera());
  EXPECT_EQ(rows.Get(1), nullptr);
  rows.DeleteAll();
  EXPECT_EQ(rows.Count(), 0);
}

TEST(Rows, NotOwnerCollectionLeavesSharedRowsAlive) {
  // A not-owner view of an owner's rows: clearing or destroying the view
  // must not delete them (the owner deletes them once, at its end).
  Hileras owner;
  Hilera* a = new Hilera();
  a->AddPoint(1, 2);
  owner.Add(a);
  {
    Hileras view;
    view.SetNotOwner(true);
    view.Add(a);
    view.DeleteAll();
    EXPECT_EQ(view.Count(), 0);
    view.Add(a);
  }
  // Appending a row to itself would share each point with itself.
  a->AppendPoints(*a);
  ASSERT_EQ(owner.Count(), 1);
  ASSERT_EQ(owner.Get(0)->Count(), 1);
  EXPECT_EQ(owner.Get(0)->Get(0)->x(), 1);
  EXPECT_EQ(owner.Get(0)->Get(0)->y(), 2);
  // Points handed over from another row: shared, then the giver detached.
  Hilera giver;
  giver.AddPoint(3, 4);
  a->AppendPoints(giver);
  giver.Detach();
  ASSERT_EQ(a->Count(), 2);
  EXPECT_EQ(a->Get(1)->y(), 4);
  EXPECT_EQ(giver.Count(), 1);
  EXPECT_EQ(giver.Get(0), nullptr);
}

TEST(Rows, RemoveFoldBacks) {
  // P Q S Q T P: the spike S goes, the row stays closed.
  Hilera r;
  double pts[6][2] = {{0, 0}, {2, 0}, {3, 0}, {2, 0}, {2, 2}, {0, 0}};
  for (auto& p : pts) r.AddPoint(p[0], p[1]);
  r.RemoveFoldBacks();
  for (int i = 0; i < r.Count(); ++i) EXPECT_FALSE(r.Get(i)->x() == 3 && r.Get(i)->y() == 0);
  EXPECT_EQ(r.Count(), 5);
  EXPECT_EQ(r.Get(0)->x(), r.Get(r.Count() - 1)->x());
  // A fold-back at corner 0 keeps the row closed.
  Hilera s;
  double q[6][2] = {{3, 0}, {0, 0}, {0, 2}, {2, 2}, {0, 0}, {3, 0}};
  for (auto& p : q) s.AddPoint(p[0], p[1]);
  s.RemoveFoldBacks();
  ASSERT_GE(s.Count(), 2);
  EXPECT_EQ(s.Get(0)->x(), s.Get(s.Count() - 1)->x());
  EXPECT_EQ(s.Get(0)->y(), s.Get(s.Count() - 1)->y());
  // Short rows are left alone.
  Hilera t;
  t.RemoveFoldBacks();
  t.AddPoint(0, 0);
  t.AddPoint(1, 0);
  t.RemoveFoldBacks();
  EXPECT_EQ(t.Count(), 2);
}

TEST(Boxes, RelationsAndSegments) {
  Caja b;
  EXPECT_TRUE(b.Set(0, 1, 0, 1));
  EXPECT_FALSE(b.Set(1, 0, 0, 1));
  EXPECT_EQ(b.xmax(), 1);
  EXPECT_EQ(b.CompareBox(1, 2, 0, 1, 0), 3);
  EXPECT_EQ(b.CompareBox(1.2, 2, 0, 1, 0.1), -9999);
  EXPECT_EQ(b.CompareBox(0.2, 0.5, 0.2, 0.5, 0), 1);
  EXPECT_EQ(b.CompareBox(-1, 2, -1, 2, 0), 2);
  Caja far;
  far.Set(5, 6, 5, 6);
  EXPECT_EQ(b.ClassifyBox(far, 0), 5);
  EXPECT_EQ(b.ClassifySegment(0.2, 0.2, 0.5, 0.5, 0), 1);
  EXPECT_EQ(b.ClassifySegment(0.5, 0.5, 2, 0.5, 0), 2);
  EXPECT_EQ(b.ClassifySegment(-1, 0.5, 2, 0.5, 0), 4);
  EXPECT_EQ(b.ClassifySegment(-1, 3, 3, 2.5, 0), -9999);
  EXPECT_EQ(b.ClassifySegment(-1, 1, 2, 1, 0), 4);  // along the top edge

  Hilera row;
  EXPECT_EQ(b.ClipSegment(-1, 0.5, 2, 0.5, row), 2);
  ASSERT_EQ(row.Count(), 2);
  EXPECT_DOUBLE_EQ(row.Get(0)->x(), 0);
  EXPECT_DOUBLE_EQ(row.Get(1)->x(), 1);
  Hilera back;
  EXPECT_EQ(b.ClipSegment(2, 0.5, -1, 0.5, back), 2);
  EXPECT_DOUBLE_EQ(back.Get(0)->x(), 1);
  Hilera one;
  EXPECT_EQ(b.ClipSegment(0.5, 0.5, 0.5, 3, one), 1);
  ASSERT_EQ(one.Count(), 1);
  EXPECT_DOUBLE_EQ(one.Get(0)->y(), 1);
  Hilera none;
  EXPECT_EQ(b.ClipSegment(3, 3, 4, 4, none), -9999);
  EXPECT_EQ(none.Count(), 0);
}

TEST(CrossingIndex, GridSizeAndCells) {
  IndiceCruceEspacial g;
  g.Build(0, 1000, 0, 1, 0.01);
  EXPECT_EQ(g.nx(), 22361);
  EXPECT_EQ(g.ny(), 22);
  IndiceCruceEspacial h;
  h.Build(0, 1, 0, 1, 0.1);
  EXPECT_EQ(h.nx(), 11);
  h.InsertIntoCell(2, 2, 5);
  h.InsertIntoCell(2, 2, 5);
  EXPECT_EQ(h.BusyCount(), 0);
  EXPECT_EQ(h.EntryCount(), 1);
  // The far edge is outside, for insertion and query alike.
  EXPECT_FALSE(h.InsertPoint(1 + 1e-8, 0.5, 1));
  int32_t n = 0;
  std::vector<int32_t> ids;
  EXPECT_FALSE(h.Query(1 + 1e-8, 0.5, n, ids));
  // Just below the far edge maps into the last cell, never one past it.
  EXPECT_TRUE(h.InsertPoint(std::nextafter(1 + 1e-8, 0.0), 0.5, 1));
  EXPECT_FALSE(h.InsertSegment(2, 2, 3, 3, 9));
  // Two ids sharing many cells give one pair.
  EXPECT_TRUE(h.InsertSegment(0.05, 0.05, 0.95, 0.05, 10));
  EXPECT_TRUE(h.InsertSegment(0.05, 0.06, 0.95, 0.06, 11));
  std::vector<std::pair<int32_t, int32_t>> pairs;
  h.CollectPairs(n, pairs);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(pairs[0], std::make_pair(10, 11));
  // A segment entering from outside is clipped and entered.
  EXPECT_TRUE(h.InsertSegment(-1, 0.55, 0.55, 0.55, 12));
  EXPECT_TRUE(h.Query(0.01, 0.55, n, ids));
  EXPECT_EQ(ids.back(), 12);
}

TEST(CrossingIndex, DiagonalSegmentsReachEveryCellTheyPass) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 50; ++trial) {
    IndiceCruceEspacial g;
    g.Build(0, 1, 0, 1, 0.07);
    double x1 = u(rng), y1 = u(rng), x2 = u(rng), y2 = u(rng);
    ASSERT_TRUE(g.InsertSegment(x1, y1, x2, y2, 1));
    // Sample the segment densely: each sampled cell must hold the id.
    for (int s = 0; s <= 2000; ++s) {
      double f = s / 2000.0;
      int32_t n = 0;
      std::vector<int32_t> ids;
      ASSERT_TRUE(g.Query(x1 + (x2 - x1) * f, y1 + (y2 - y1) * f, n, ids)) << trial << " " << s;
      EXPECT_EQ(ids[0], 1);
    }
  }
}
