// Lines, boxes, ellipses, text and step badges on the engine: what a drag,
// a click or typing leaves on the pen layer and in the history.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/StrokeKind.h"
#include "settings/Settings.h"

namespace {

class ShapeKindsTest : public ::testing::Test {
 protected:
  void SetUp() override { Ready(e); }
  int Alpha(int x, int y) const { return qAlpha(e.PenBitmap().pixel(x, y)); }
  // A drag from a to b through a wobbly middle, Shift held or not.
  void Drag(const TPWMenuItem& pen, QPointF a, QPointF b, bool shift = false) {
    e.SetCrPen(pen);
    e.SetConstrain(shift);
    e.Press(a);
    const QPointF mid = (a + b) / 2;
    e.Move(mid + QPointF(13, -17));
    e.Move(mid + QPointF(-9, 21));
    e.Move(b);
    e.Release(b);
    e.SetConstrain(false);
  }
  void Click(const TPWMenuItem& pen, QPointF at) {
    e.SetCrPen(pen);
    e.Press(at);
    e.Release(at);
  }
  const TPWRec& Last() const { return e.History().Rec()[e.History().p()]; }
  TPWEngine e;
};

TEST_F(ShapeKindsTest, LineLiesAlongItsSegmentAndKeepsTwoPoints) {
  Drag({pwLine, 0xFF0000FF, 6, sdSolid}, {40, 60}, {240, 160});
  ASSERT_EQ(e.History().p(), 0) << "one record at the release";
  EXPECT_EQ(Last().Points, (TPolygon{{40, 60}, {240, 160}})) << "the wobble in between is not kept";
  for (double t : {0.1, 0.5, 0.9}) {
    const QPointF on(40 + 200 * t, 60 + 100 * t);
    EXPECT_EQ(Alpha(int(on.x()), int(on.y())), 255) << "on the segment at " << t;
    // 10 px off the line, across it.
    EXPECT_EQ(Alpha(int(on.x() + 4.5), int(on.y() - 9)), 0) << "beside the segment at " << t;
  }
  EXPECT_EQ(Alpha(153, 93), 0) << "the wobble's points draw nothing";
}

TEST_F(ShapeKindsTest, ShiftSnapsLinesSquaresBoxesAndStraightensFreehand) {
  struct Case {
    TPWPenType type;
    QPointF to;
    TPointF kept;
  };
  // From (100, 100): a line 6 degrees off the horizontal snaps to it; a
  // box of 80 x 50 becomes an 80 square, keeping the drag's direction.
  const Case cases[] = {
      {pwLine, {100 + 100 * std::cos(0.1), 100 - 100 * std::sin(0.1)}, {200, 100}},
      {pwRect, {180, 50}, {180, 20}},
      {pwEllipse, {50, 180}, {20, 180}},
      {pwPn, {190, 170}, {190, 170}},
  };
  for (const Case& c : cases) {
    e.EraseAll();
    Drag({c.type, 0xFF000000, 4, sdSolid}, {100, 100}, c.to, true);
    ASSERT_EQ(e.History().p(), 0) << int(c.type);
    const TPolygon& pts = Last().Points;
    ASSERT_EQ(pts.size(), 2u) << int(c.type);
    EXPECT_EQ(pts[0], (TPointF{100, 100}));
    EXPECT_NEAR(pts[1].x, c.kept.x, 0.01) << int(c.type);
    EXPECT_NEAR(pts[1].y, c.kept.y, 0.01) << int(c.type);
  }
  // The straightened freehand stroke is drawn as that line only.
  EXPECT_EQ(Alpha(145, 135), 255);
  EXPECT_EQ(Alpha(158, 118), 0) << "the wobble's points draw nothing";
}

TEST_F(ShapeKindsTest, BoxesAndEllipsesSitWhereTheDragPutThem) {
  Drag({pwRect, 0xFF00AA00, 4, sdSolid}, {250, 200}, {50, 40});
  for (const QPoint c : {QPoint(50, 40), QPoint(250, 40), QPoint(250, 200), QPoint(50, 200)})
    EXPECT_EQ(Alpha(c.x(), c.y()), 255) << c.x() << "," << c.y();
  EXPECT_EQ(Alpha(150, 120), 0) << "an outline, not filled";
  EXPECT_EQ(Alpha(44, 40), 0) << "nothing outside the outline";

  e.EraseAll();
  Drag({pwEllipse, 0xFF00AA00, 4, sdSolid}, {50, 40}, {250, 200});
  for (const QPoint c : {QPoint(150, 40), QPoint(250, 120), QPoint(150, 200), QPoint(50, 120)})
    EXPECT_EQ(Alpha(c.x(), c.y()), 255) << c.x() << "," << c.y();
  EXPECT_EQ(Alpha(52, 42), 0) << "the box's corner is outside the ellipse";
  EXPECT_EQ(Alpha(150, 120), 0);
}

TEST_F(ShapeKindsTest, MarkerShapesAreTranslucentAndUniform) {
  Drag({pwRectMk, 0xFFFFFF00, 10, sdSolid}, {40, 40}, {200, 150});
  EXPECT_NEAR(Alpha(41, 41), 102, 1);
  EXPECT_NEAR(Alpha(120, 100), 102, 1) << "filled, at marker opacity";
  EXPECT_EQ(Alpha(120, 151), 0) << "no outline around the area";
  Drag({pwEllipseMk, 0xFF0000FF, 10, sdSolid}, {250, 40}, {390, 150});
  EXPECT_NEAR(Alpha(320, 95), 102, 1);
  Drag({pwLineMk, 0xFFFF0000, 20, sdSolid}, {20, 250}, {380, 250});
  EXPECT_NEAR(Alpha(200, 250), 102, 1);
  EXPECT_NEAR(Alpha(30, 250), 102, 1);
}

TEST_F(ShapeKindsTest, AClickWithABoxToolLeavesNoRecordButALineLeavesADot) {
  Click({pwRect, 0xFF000000, 6, sdSolid}, {100, 100});
  Click({pwEllipseMk, 0xFF000000, 6, sdSolid}, {100, 100});
  EXPECT_EQ(e.History().p(), -1);
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  Click({pwLine, 0xFF000000, 6, sdSolid}, {100, 100});
  EXPECT_EQ(e.History().p(), 0);
  EXPECT_EQ(Alpha(100, 100), 255);
}

TEST_F(ShapeKindsTest, ShapesAreNotSmoothedAndShowLiveBeforeTheRelease) {
  isSmoothing = true;
  e.SetCrPen({pwRect, 0xFF000000, 4, sdSolid});
  e.Press({60, 60});
  e.Move({100, 150});
  e.Move({160, 120});
  EXPECT_EQ(qAlpha(e.Display().pixel(160, 60)), 255) << "the live box reaches the latest position";
  EXPECT_EQ(qAlpha(e.Display().pixel(100, 150)), 1) << "the previous live box is gone";
  EXPECT_TRUE(AllTransparent(e.PenBitmap())) << "nothing on the pen layer before the release";
  e.Release({160, 120});
  const QImage after = e.PenBitmap();
  e.Replay();
  EXPECT_EQ(e.PenBitmap(), after);
  EXPECT_EQ(Alpha(160, 60), 255);
}

TEST_F(ShapeKindsTest, StepBadgesCountTheStepsInEffect) {
  const TPWMenuItem step{pwStep, 0xFFCC0000, 10, sdSolid};
  for (int i = 0; i < 3; ++i) Click(step, {60.0 + 100 * i, 100});
  ASSERT_EQ(e.History().p(), 2);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(e.History().Rec()[i].Text, std::to_string(i + 1));
  // A disc of diameter 30 in the pen colour, centred on the click.
  EXPECT_EQ(e.PenBitmap().pixel(60, 88), 0xFFCC0000u);
  EXPECT_EQ(Alpha(60, 84), 0);

  e.PWUndo();
  Click(step, {260, 200});
  EXPECT_EQ(Last().Text, "3") << "undo takes the last number back";
  Drag({pwLine, 0xFF000000, 4, sdSolid}, {10, 10}, {50, 10});
  Click(step, {200, 250});
  EXPECT_EQ(Last().Text, "4") << "other records do not count";
  e.EraseAll();
  Click(step, {200, 250});
  EXPECT_EQ(Last().Text, "1") << "erasing all starts again at 1";
}

TEST_F(ShapeKindsTest, TextIsTypedEditedAndEndedEveryWay) {
  const TPWMenuItem text{pwText, 0xFF000000, 10, sdSolid};
  Click(text, {50, 50});
  EXPECT_TRUE(e.TextOpen());
  EXPECT_EQ(e.History().p(), -1) << "no record while typing";
  e.TypeText(QStringLiteral("Stez"));
  e.TypeBackspace();
  e.TypeText(QStringLiteral("p\r4\x01"));
  EXPECT_EQ(e.TypedText(), "Step\n4") << "Enter breaks the line; control characters are not text";
  EXPECT_TRUE(AllTransparent(e.PenBitmap())) << "shown live only";
  e.EndText();
  ASSERT_EQ(e.History().p(), 0);
  EXPECT_EQ(Last().Text, "Step\n4");
  EXPECT_EQ(Last().Points, (TPolygon{{50, 50}}));
  EXPECT_FALSE(AllTransparent(e.PenBitmap()));
  // Text of size 30: the second line lies lower than the first one's height.
  const QRect box = RecordRect(Last().Menu, Last().Points, {}, e.Size(), Last().Text);
  EXPECT_GT(box.height(), 50);
  EXPECT_LT(box.top(), 60);

  // An empty text leaves nothing; another tool, a click elsewhere, drawing
  // switched off and a command each end a text.
  Click(text, {50, 200});
  e.EndText();
  EXPECT_EQ(e.History().p(), 0);
  const std::vector<std::pair<const char*, std::function<void()>>> enders = {
      {"another tool", [&] { e.SetCrPen({pwPn, 0xFF000000, 4, sdSolid}); }},
      {"a click elsewhere", [&] { e.Press({300, 250}); }},
      {"drawing off", [&] { e.SetCanWrite(false); }},
      {"a command", [&] { e.LassoUpdate(); }},
  };
  for (const auto& [what, end] : enders) {
    e.SetCanWrite(true);
    const int before = e.History().p();
    Click(text, {200, 150});
    e.TypeText(QStringLiteral("x"));
    end();
    e.Release({300, 250});
    EXPECT_EQ(e.History().p(), before + 1) << what;
    EXPECT_EQ(Last().Text, "x") << what;
  }
  e.SetCanWrite(true);
  Click(text, {20, 250});
  e.TypeText(QStringLiteral("gone"));
  e.EraseAll();
  EXPECT_FALSE(e.TextOpen());
  EXPECT_EQ(e.History().p(), -1);
  EXPECT_EQ(qAlpha(e.Display().pixel(30, 265)), 1) << "no text left on the display";
}

TEST_F(ShapeKindsTest, LassoTakesShapesByTheirCornersAndMovesThem) {
  Drag({pwRect, 0xFF000000, 4, sdSolid}, {50, 50}, {150, 120});
  Click({pwText, 0xFF000000, 8, sdSolid}, {200, 60});
  e.TypeText(QStringLiteral("Hi"));
  e.EndText();
  Drag({pwEllipse, 0xFF000000, 4, sdSolid}, {40, 160}, {390, 290});
  // A loop round the rectangle and the text, leaving the ellipse's top out.
  Stroke(e, {pwLasso, 0, 0, sdSolid}, {{30, 30}, {300, 30}, {300, 140}, {30, 140}});
  EXPECT_EQ(e.SelLines(), (TLines{0, 1}));
  const QPointF from = e.SelRF().center();
  e.Press(from);
  e.Move(from + QPointF(40, 100));
  e.Release(from + QPointF(40, 100));
  e.LassoUpdate();
  EXPECT_EQ(e.History().ResolvedPoints(0), (TPolygon{{90, 150}, {190, 220}}));
  EXPECT_EQ(e.History().ResolvedPoints(1), (TPolygon{{240, 160}}));
  EXPECT_EQ(Alpha(50, 50), 0);
  EXPECT_EQ(Alpha(90, 150), 255);

  Stroke(e, {pwLasso, 0, 0, sdSolid}, {{80, 140}, {160, 140}, {160, 230}, {80, 230}});
  EXPECT_TRUE(e.SelLines().empty()) << "a loop missing a corner of the box takes nothing";
  e.LassoUpdate();
}

TEST_F(ShapeKindsTest, TheEraserClearsShapesAndUndoBringsThemBack) {
  Drag({pwRectMk, 0xFF0000FF, 4, sdSolid}, {50, 50}, {250, 200});
  const QImage whole = e.PenBitmap();
  Drag({pwEr, 0, 30, sdSolid}, {20, 125}, {300, 125});
  EXPECT_EQ(Alpha(150, 125), 0);
  EXPECT_NEAR(Alpha(150, 60), 102, 1);
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), whole);
}

TEST_F(ShapeKindsTest, ShapesAreDrawnInDevicePixels) {
  TPWEngine hi;
  hi.Resize(QSizeF(200, 150), 2);
  hi.SetCanWrite(true);
  hi.SetCrPen({pwRect, 0xFF000000, 2, sdSolid});
  hi.Press({20, 20});
  hi.Move({100, 80});
  hi.Release({100, 80});
  ASSERT_EQ(hi.PenBitmap().size(), QSize(400, 300));
  EXPECT_EQ(qAlpha(hi.PenBitmap().pixel(200, 160)), 255) << "the far corner at twice its position";
  EXPECT_EQ(qAlpha(hi.PenBitmap().pixel(200, 166)), 0) << "the outline four device pixels wide";
  EXPECT_EQ(hi.History().Rec()[0].Points, (TPolygon{{20, 20}, {100, 80}})) << "records keep logical points";
}

}  // namespace
