#include <gtest/gtest.h>

#include <QTest>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

constexpr TPWMenuItem kPen{pwPn, 0xFFFF0000, 8, sdSolid};
constexpr TPWMenuItem kLasso{pwLasso, 0, 0, sdSolid};

// A lasso loop around the rectangle (x0, y0)-(x1, y1).
void Loop(TPWEngine& e, double x0, double y0, double x1, double y1) {
  e.SetCrPen(kLasso);
  e.Press({x0, y0});
  e.Move({x1, y0});
  e.Move({x1, y1});
  e.Move({x0, y1});
  e.Release({x0, y1});
}

void Drag(TPWEngine& e, QPointF from, QPointF by) {
  ASSERT_TRUE(e.Press(from));
  ASSERT_EQ(e.isDown(), 3);
  e.Move(from + by / 2);
  e.Move(from + by);
  e.Release(from + by);
}

class LassoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    isSmoothing = false;
    Ready(e);
    // 0: inside the loop below; 1: crossing it; 2: an eraser inside it.
    Stroke(e, kPen, {{60, 60}, {120, 60}});
    Stroke(e, kPen, {{60, 150}, {300, 150}});
    Stroke(e, {pwEr, 0, 6, sdSolid}, {{80, 50}, {80, 70}});
  }
  void TearDown() override { isSmoothing = true; }
  QRgb Pen(int x, int y) const { return e.PenBitmap().pixel(x, y); }
  TPWEngine e;
};

TEST_F(LassoTest, SelectsWhatLiesWhollyInsideWhateverItsKind) {
  const QImage before = e.PenBitmap().copy();
  Loop(e, 40, 40, 200, 180);
  EXPECT_EQ(e.SelLines(), (TLines{0, 2})) << "the crossing stroke is selected, or the eraser is not";
  EXPECT_EQ(qAlpha(Pen(100, 60)), 0) << "a selected stroke stays on the pen layer";
  EXPECT_EQ(Pen(200, 150), before.pixel(200, 150));
  // Outline bounds grown by the lasso's width (the pen's 6 kept from the eraser).
  EXPECT_EQ(e.SelRF(), QRectF(QPointF(54, 44), QPointF(126, 76)));
  EXPECT_EQ(e.History().p(), 2) << "making a selection records nothing";
  // The dotted trail is gone: the display is composed again.
  EXPECT_EQ(e.Display().pixel(200, 40), qPremultiply(TPWEngine::WriteBackground));
}

TEST_F(LassoTest, LoopOfFewerThanThreePointsOrAroundNothingSelectsNothing) {
  const QImage before = e.PenBitmap().copy();
  e.SetCrPen(kLasso);
  e.Press({100, 60});
  e.Release({100, 60});
  EXPECT_TRUE(e.SelLines().empty());
  Loop(e, 300, 200, 390, 290);
  EXPECT_TRUE(e.SelLines().empty());
  EXPECT_EQ(e.SelRF(), QRectF(0, 0, 0, 0));
  EXPECT_EQ(e.PenBitmap(), before);
}

TEST_F(LassoTest, DropWhereItWasPickedUpRecordsNothing) {
  Loop(e, 40, 40, 200, 180);
  ASSERT_FALSE(e.SelLines().empty());
  ASSERT_TRUE(e.Press({100, 60}));
  e.Release({100, 60});
  Drag(e, {100, 60}, {30, 0});
  Drag(e, {130, 60}, {-30, 0});
  e.LassoUpdate();
  EXPECT_EQ(e.History().p(), 2);
  EXPECT_EQ(Pen(100, 60), 0xFFFF0000u) << "the selected stroke is back on the pen layer";
  e.PWUndo();
  EXPECT_EQ(e.History().p(), 1) << "undo undid the eraser, not a move";
}

TEST_F(LassoTest, TwoDragsThenAnotherToolGiveOneMoveWithTheSum) {
  Loop(e, 40, 40, 200, 180);
  Drag(e, {100, 60}, {50, 30});
  EXPECT_EQ(e.SelPosition(), QPointF(54 + 50, 44 + 30));
  Drag(e, {150, 90}, {10, 100});
  EXPECT_EQ(e.History().p(), 2) << "nothing moves until the selection is committed";
  e.SetCrPen(kPen);  // choosing another tool commits
  ASSERT_EQ(e.History().p(), 3);
  const TPWRec& move = e.History().Rec()[3];
  EXPECT_TRUE(move.IsMove());
  EXPECT_EQ(move.Trans, TAr3x3::Translation(60, 130));
  EXPECT_EQ(move.Lines, (TLines{0, 2}));
  EXPECT_EQ(Pen(160, 190), 0xFFFF0000u);
  EXPECT_EQ(qAlpha(Pen(100, 60)), 0);
  e.PWUndo();
  EXPECT_EQ(Pen(100, 60), 0xFFFF0000u);
  EXPECT_EQ(qAlpha(Pen(160, 190)), 0);
  e.PWRedo();
  EXPECT_EQ(Pen(160, 190), 0xFFFF0000u);
  EXPECT_EQ(qAlpha(Pen(100, 60)), 0);
}

TEST_F(LassoTest, NewLoopCommitsTheOldMoveFirstAndCanReselect) {
  Loop(e, 40, 40, 200, 130);
  Drag(e, {100, 60}, {0, 150});
  Loop(e, 40, 170, 200, 290);
  ASSERT_EQ(e.History().p(), 3);
  EXPECT_TRUE(e.History().Rec()[3].IsMove());
  EXPECT_EQ(e.SelLines(), (TLines{0, 2})) << "the moved strokes are found at their new place";
  e.LassoUpdate();
  EXPECT_EQ(e.History().p(), 3) << "an undragged reselection adds nothing";
  EXPECT_EQ(Pen(100, 210), 0xFFFF0000u);
}

TEST_F(LassoTest, MovedEraserMovesItsErasedArea) {
  e.EraseAll();
  Stroke(e, {pwPn, 0xFF0000FF, 40, sdSolid}, {{50, 100}, {350, 100}});
  Stroke(e, {pwEr, 0, 10, sdSolid}, {{200, 90}, {200, 110}});
  ASSERT_EQ(Pen(200, 100), 0u);
  // The loop lies inside the thick stroke's band: only the eraser is in it.
  Loop(e, 180, 80, 220, 120);
  ASSERT_EQ(e.SelLines(), (TLines{1}));
  Drag(e, {200, 100}, {-100, 0});
  e.LassoUpdate();
  EXPECT_EQ(Pen(200, 100), 0xFF0000FFu) << "the old erased spot is filled again";
  EXPECT_EQ(Pen(100, 100), 0u) << "the erased spot moved with the eraser";
}

TEST_F(LassoTest, LaterEraserStaysOverAMovedStroke) {
  Loop(e, 40, 40, 200, 130);  // strokes 0 and 2
  Drag(e, {100, 60}, {0, 150});
  e.SetCrPen(kPen);
  Stroke(e, {pwEr, 0, 10, sdSolid}, {{100, 200}, {100, 220}});
  ASSERT_EQ(Pen(100, 210), 0u);
  e.Replay();
  EXPECT_EQ(Pen(100, 210), 0u);
  EXPECT_EQ(Pen(110, 210), 0xFFFF0000u);
}

TEST_F(LassoTest, ACommittedSelectionNoLongerCatchesPresses) {
  Loop(e, 40, 40, 200, 180);
  ASSERT_FALSE(e.SelLines().empty());
  e.LassoUpdate();
  // A press where the selection was starts a new loop, not a drag of nothing.
  ASSERT_TRUE(e.Press({100, 60}));
  EXPECT_EQ(e.isDown(), 1);
  e.Release({100, 60});
}

TEST_F(LassoTest, EraseAllAndResizeForgetTheSelection) {
  for (const bool resize : {false, true}) {
    Loop(e, 40, 40, 200, 180);
    Drag(e, {100, 60}, {50, 50});
    ASSERT_FALSE(e.SelLines().empty());
    if (resize) {
      e.Resize(QSizeF(401, 301));
      e.SetCanWrite(true);
    } else {
      e.EraseAll();
    }
    // New strokes take the old selection's indexes; committing must not move them.
    Stroke(e, kPen, {{60, 60}, {120, 60}});
    Stroke(e, kPen, {{60, 250}, {120, 250}});
    Stroke(e, kPen, {{300, 60}, {300, 120}});
    e.SetCrPen(kLasso);
    e.LassoUpdate();
    EXPECT_EQ(e.History().p(), 2) << "a stale move was recorded";
    EXPECT_EQ(Pen(100, 60), 0xFFFF0000u);
    // Back to the fixture's three strokes for the next round.
    e.EraseAll();
    Stroke(e, kPen, {{60, 60}, {120, 60}});
    Stroke(e, kPen, {{60, 150}, {300, 150}});
    Stroke(e, {pwEr, 0, 6, sdSolid}, {{80, 50}, {80, 70}});
  }
}

TEST(LassoWidgetTest, FloatingSelectionFollowsTheDrag) {
  isSmoothing = false;
  QWidget window;
  window.resize(400, 300);
  auto* image = new TPWImage(&window);
  image->setGeometry(window.rect());
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  image->SetCanWrite(true);
  image->SetCrPen(kPen);
  QTest::mousePress(image, Qt::LeftButton, {}, {60, 60});
  QTest::mouseMove(image, {120, 60});
  QTest::mouseRelease(image, Qt::LeftButton, {}, {120, 60});
  image->SetCrPen(kLasso);
  QTest::mousePress(image, Qt::LeftButton, {}, {40, 40});
  for (QPoint p : {QPoint{200, 40}, {200, 100}, {40, 100}}) QTest::mouseMove(image, p);
  QTest::mouseRelease(image, Qt::LeftButton, {}, {40, 100});
  ASSERT_EQ(image->SelectionGeometry(), QRect(52, 52, 76, 16));
  QTest::mousePress(image, Qt::LeftButton, {}, {100, 60});
  QTest::mouseMove(image, {130, 100});
  EXPECT_EQ(image->SelectionGeometry(), QRect(82, 92, 76, 16));
  EXPECT_EQ(image->PenBitmap().pixel(90, 60), 0u) << "a drag does not draw";
  QTest::mouseRelease(image, Qt::LeftButton, {}, {130, 100});
  image->LassoUpdate();
  EXPECT_TRUE(image->SelectionGeometry().isEmpty());
  EXPECT_EQ(image->PenBitmap().pixel(120, 100), 0xFFFF0000u);
  isSmoothing = true;
}

}  // namespace
