// The laser pointer's trail: on the display only, fading with the clock.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace {

const TPWMenuItem kLaser{pwLaser, 0xFFFF0000, 10, sdSolid};
const TPWMenuItem kPen{pwPn, 0xFF0000FF, 6, sdSolid};

int Red(const QImage& display, int x, int y) { return qRed(display.pixel(x, y)); }

// Each point fades on its own clock: the older end of the trail goes first,
// the newest point last, and 1.5 s after it nothing is left on the display.
TEST(LaserTest, EachPointFadesAwayOnItsOwnClock) {
  TPWEngine e;
  Ready(e);
  qint64 now = 1000;
  e.SetClock([&] { return now; });
  e.SetCrPen(kLaser);
  e.Press(QPointF(50, 100));
  for (int x = 60; x <= 150; x += 10) {
    now += 50;  // ten moves, 500 ms in all
    e.Move(QPointF(x, 100));
  }
  e.Release(QPointF(150, 100));
  const QImage atOnce = e.Display();
  EXPECT_GT(Red(atOnce, 60, 100), 60);
  EXPECT_GT(Red(atOnce, 145, 100), 200);
  // 1.2 s after the press: the start is nearly gone, the end still bright.
  now = 2200;
  e.LaserTick();
  EXPECT_LT(Red(e.Display(), 55, 100), Red(atOnce, 55, 100));
  EXPECT_GT(Red(e.Display(), 145, 100), 100);
  EXPECT_TRUE(e.LaserFading());
  // Past the start's fade the start is gone, the newest point is not.
  now = 2600;
  e.LaserTick();
  EXPECT_EQ(qAlpha(e.Display().pixel(55, 100)), 1);  // the write background
  EXPECT_TRUE(e.LaserFading());
  // 1.5 s after the newest point: nothing left, nothing fading.
  now = 1500 + 1500;
  e.LaserTick();
  EXPECT_FALSE(e.LaserFading());
  for (int x = 40; x <= 165; ++x)
    for (int y = 85; y <= 115; ++y) ASSERT_EQ(e.Display().pixel(x, y), qPremultiply(0x01FFFFFF)) << x;
}

// The laser leaves no record: the history, the pen layer and undo are as
// before it, and undo after it takes the stroke before.
TEST(LaserTest, LeavesNoRecordAndUndoTakesTheStrokeBefore) {
  TPWEngine e;
  Ready(e);
  Stroke(e, kPen, {QPointF(20, 20), QPointF(200, 20)});
  ASSERT_EQ(e.History().p(), 0);
  const QImage pen = e.PenBitmap().copy();
  Stroke(e, kLaser, {QPointF(20, 150), QPointF(100, 150), QPointF(200, 150)});
  EXPECT_EQ(e.History().p(), 0);
  EXPECT_EQ(e.History().c(), 0);
  EXPECT_EQ(e.PenBitmap(), pen);
  EXPECT_GT(Red(e.Display(), 100, 150), 200);
  e.PWUndo();
  EXPECT_EQ(e.History().p(), -1);
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  // Dropping the trail (before a picture is taken) clears it at once.
  e.DropLaser();
  EXPECT_FALSE(e.LaserFading());
  EXPECT_EQ(qAlpha(e.Display().pixel(100, 150)), 1);
}

}  // namespace
