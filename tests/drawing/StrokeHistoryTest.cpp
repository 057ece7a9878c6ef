#include <gtest/gtest.h>

#include <QPainterPath>

#include "drawing/StrokeHistory.h"

namespace {

const TPWMenuItem kPen{pwPn, 0xFFFF0000, 10, sdSolid};

TPolygon Line(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y1}}; }

void AddStrokes(TPWRecArray& h, int n) {
  for (int i = 0; i < n; ++i) h.AddStroke(kPen, Line(float(i), 0, float(i), 10));
}

TEST(TAr3x3Test, ProductAppliesRightOperandFirst) {
  const TAr3x3 t = TAr3x3::Translation(10, 20);
  // Scale x by 2: applied first, then the translation.
  const TAr3x3 s{{2, 0, 0, 0, 1, 0, 0, 0, 1}};
  EXPECT_EQ((t * s).Apply({1, 1}), (TPointF{12, 21}));
  EXPECT_EQ((s * t).Apply({1, 1}), (TPointF{22, 21}));
  EXPECT_EQ(TAr3x3::Identity() * t, t);
  EXPECT_EQ((TAr3x3::Translation(1, 2) * TAr3x3::Translation(3, 4)), TAr3x3::Translation(4, 6));
}

TEST(TAr3x3Test, IdentityIsExact) {
  EXPECT_TRUE(TAr3x3::Identity().IsIdentity());
  EXPECT_TRUE(TAr3x3::Translation(0, 0).IsIdentity());
  EXPECT_FALSE(TAr3x3::Translation(1e-6f, 0).IsIdentity());
  TAr3x3 m;
  m.m[8] = 0.9999999f;
  EXPECT_FALSE(m.IsIdentity());
}

TEST(TPWRecArrayTest, FreshAndClearedHistoryDoNothingOnUndoRedo) {
  TPWRecArray h;
  EXPECT_EQ(h.p(), -1);
  EXPECT_EQ(h.c(), -1);
  EXPECT_FALSE(h.CanUndo());
  EXPECT_FALSE(h.CanRedo());
  h.Undo();
  h.Redo();
  EXPECT_EQ(h.p(), -1);

  AddStrokes(h, 3);
  h.ClearHistory();
  EXPECT_EQ(h.Capacity(), 0);
  h.Undo();
  h.Redo();
  EXPECT_EQ(h.p(), -1);
  EXPECT_EQ(h.c(), -1);
}

TEST(TPWRecArrayTest, GrowsInStepsOf100WithoutLosingRecords) {
  TPWRecArray h;
  AddStrokes(h, 100);
  EXPECT_EQ(h.Capacity(), 100);
  AddStrokes(h, 1);
  EXPECT_EQ(h.Capacity(), 200);
  AddStrokes(h, 100);
  EXPECT_EQ(h.Capacity(), 300);
  ASSERT_EQ(h.c(), 200);
  for (int i = 0; i <= h.c(); ++i) {
    ASSERT_EQ(h.Rec()[i].Points.size(), 2u) << i;
    const float x = i < 100 ? float(i) : (i == 100 ? 0.0f : float(i - 101));
    EXPECT_EQ(h.Rec()[i].Points[0].x, x) << i;
    EXPECT_EQ(h.Rec()[i].Menu, kPen);
  }
}

TEST(TPWRecArrayTest, NewStrokeDropsRedo) {
  TPWRecArray h;
  AddStrokes(h, 3);
  h.Undo();
  h.Undo();
  EXPECT_TRUE(h.CanRedo());
  h.AddStroke(kPen, Line(50, 50, 60, 60));
  EXPECT_EQ(h.p(), 1);
  EXPECT_EQ(h.c(), 1);
  EXPECT_FALSE(h.CanRedo());
  h.Redo();
  EXPECT_EQ(h.p(), 1);
  EXPECT_EQ(h.Rec()[1].Points[0], (TPointF{50, 50}));
}

TEST(TPWRecArrayTest, EmptyStrokesIdentityMovesAndEmptyLinesAreNotRecorded) {
  TPWRecArray h;
  h.AddStroke(kPen, TPolygon{});
  h.AddStroke(kPen, QPainterPath());
  EXPECT_EQ(h.c(), -1);
  AddStrokes(h, 1);
  h.AddMove(TAr3x3::Identity(), {0});
  h.AddMove(TAr3x3::Translation(5, 5), {});
  EXPECT_EQ(h.c(), 0);
  // Undo after a dropped selection undoes the stroke, not a move.
  h.Undo();
  EXPECT_EQ(h.p(), -1);
}

TEST(TPWRecArrayTest, StrokeFromPathKeepsPointsInOrder) {
  TPWRecArray h;
  QPainterPath path(QPointF(1.5, 2.5));
  path.lineTo(3, 4);
  path.lineTo(5, 6);
  h.AddStroke(kPen, path);
  ASSERT_EQ(h.c(), 0);
  EXPECT_EQ(h.Rec()[0].Points, (TPolygon{{1.5f, 2.5f}, {3, 4}, {5, 6}}));
  EXPECT_TRUE(h.Rec()[0].Trans.IsIdentity());
  EXPECT_TRUE(h.Rec()[0].Lines.empty());
}

TEST(TPWRecArrayTest, MovesApplyInOrderAndOnlyWhileInEffect) {
  TPWRecArray h;
  AddStrokes(h, 3);                                 // records 0, 1, 2
  h.AddMove(TAr3x3::Translation(10, 0), {0, 2});    // record 3
  h.AddMove(TAr3x3::Translation(0, 100), {0});      // record 4
  h.AddStroke(kPen, Line(7, 7, 8, 8));              // record 5

  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{10, 100}, {10, 110}}));
  EXPECT_EQ(h.ResolvedPoints(1), (TPolygon{{1, 0}, {1, 10}}));  // not listed
  EXPECT_EQ(h.ResolvedPoints(2), (TPolygon{{12, 0}, {12, 10}}));
  EXPECT_EQ(h.ResolvedPoints(5), (TPolygon{{7, 7}, {8, 8}}));

  h.Undo();  // the later stroke
  h.Undo();  // the second move
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{10, 0}, {10, 10}}));
  h.Undo();  // the first move: back to where it was drawn
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{0, 0}, {0, 10}}));
  EXPECT_EQ(h.ResolvedPoints(2), (TPolygon{{2, 0}, {2, 10}}));
  h.Redo();
  h.Redo();
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{10, 100}, {10, 110}}));
}

TEST(TPWRecArrayTest, MoveOrderMattersForNonCommutingTransforms) {
  TPWRecArray h;
  h.AddStroke(kPen, TPolygon{{1, 1}});
  const TAr3x3 scale{{2, 0, 0, 0, 2, 0, 0, 0, 1}};
  h.AddMove(TAr3x3::Translation(10, 0), {0});
  h.AddMove(scale, {0});
  // Translation first (the earlier move), then the scale.
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{22, 2}}));
}

TEST(TPWRecArrayTest, DroppedRedoMovesNoLongerApply) {
  TPWRecArray h;
  AddStrokes(h, 2);
  h.AddMove(TAr3x3::Translation(5, 5), {0});  // record 2
  h.Undo();
  h.AddMove(TAr3x3::Translation(0, 1), {1});  // replaces record 2
  h.AddStroke(kPen, Line(0, 0, 1, 1));        // record 3
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{0, 0}, {0, 10}}));
  EXPECT_EQ(h.ResolvedPoints(1), (TPolygon{{1, 1}, {1, 11}}));

  // Slots reused after ClearHistory carry nothing over either.
  h.ClearHistory();
  AddStrokes(h, 1);
  h.AddStroke(kPen, Line(0, 0, 0, 0));
  EXPECT_EQ(h.ResolvedPoints(0), (TPolygon{{0, 0}, {0, 10}}));
}

TEST(TPWRecArrayTest, MovesSurviveGrowthAndDuplicateListingsApplyTwice) {
  TPWRecArray h;
  AddStrokes(h, 150);
  h.AddMove(TAr3x3::Translation(1, 0), {3, 3, 149});
  AddStrokes(h, 60);  // grows past 200
  EXPECT_EQ(h.ResolvedPoints(3), (TPolygon{{5, 0}, {5, 10}}));
  EXPECT_EQ(h.ResolvedPoints(149), (TPolygon{{150, 0}, {150, 10}}));
  EXPECT_EQ(h.ResolvedPoints(4), (TPolygon{{4, 0}, {4, 10}}));
}

}  // namespace
