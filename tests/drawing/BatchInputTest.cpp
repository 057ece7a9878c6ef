// Moves that reach the surface together, in one batch, against the same
// moves one by one.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <vector>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

// A scribble with sharp corners, sub-pixel steps and repeated positions, at
// fractional coordinates as the pointer reports them.
std::vector<QPointF> Scribble() {
  std::vector<QPointF> pts;
  for (int i = 0; i < 90; ++i) {
    const double x = 30 + i * 3.25, y = 80 + (i % 2) * 45 + 20 * std::sin(i * 0.3);
    pts.emplace_back(x, y);
    if (i % 11 == 0) pts.emplace_back(x, y);           // the same place again
    if (i % 7 == 0) pts.emplace_back(x + 0.25, y);     // a quarter pixel on
  }
  return pts;
}

struct TwoEngines {
  TPWEngine one, batched;
  explicit TwoEngines(qreal scale) {
    for (TPWEngine* e : {&one, &batched}) {
      e->Resize(QSizeF(400, 300), scale);
      e->SetCanWrite(true);
      // Something below the stroke, for the eraser and the marker to show over.
      Stroke(*e, {pwPn, 0xFF20A040, 30, sdSolid}, {{40, 150}, {360, 110}});
    }
  }
};

class BatchInputTest : public ::testing::Test {
 protected:
  void SetUp() override { isSmoothing = false; }
  void TearDown() override { isSmoothing = true; }
};

TEST_F(BatchInputTest, BurstsOfMovesDrawExactlyWhatTheMovesOneByOneDraw) {
  const struct {
    TPWMenuItem pen;
    const char* what;
  } cases[] = {
      {{pwPn, 0xFFFF0000, 10, sdSolid}, "pen"},
      {{pwPn, 0xFF000000, 6, sdDashDot}, "dashed pen"},
      {{pwMk, 0xFF00C0FF, 20, sdSolid}, "marker"},
      {{pwRbPn, 0, 8, sdSolid}, "rainbow pen"},
      {{pwRbMk, 0, 14, sdDot}, "dotted rainbow marker"},
      {{pwEr, 0, 24, sdSolid}, "eraser"},
      {{pwArMk1, 0xFF0000A0, 8, sdDash}, "double arrow marker"},
      {{pwLasso, 0, 10, sdSolid}, "lasso"},
  };
  const std::vector<QPointF> pts = Scribble();
  // Bursts of every size from one on, as reads of a busy connection come.
  const int bursts[] = {1, 2, 5, 3, 17, 1, 8, 40, 4};
  for (const qreal scale : {1.0, 2.0}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " at scale " << scale);
      TwoEngines e(scale);
      e.one.SetCrPen(c.pen);
      e.batched.SetCrPen(c.pen);
      ASSERT_TRUE(e.one.Press(pts[0]));
      ASSERT_TRUE(e.batched.Press(pts[0]));
      std::size_t next = 1;
      for (int b = 0; next < pts.size(); ++b) {
        const std::size_t n = std::min<std::size_t>(bursts[b % std::size(bursts)], pts.size() - next);
        for (std::size_t i = next; i < next + n; ++i) e.one.Move(pts[i]);
        e.batched.MoveBatch(std::span(pts).subspan(next, n));
        next += n;
        ASSERT_EQ(e.batched.CrPoints().size(), e.one.CrPoints().size()) << "after burst " << b;
        ASSERT_TRUE(e.batched.Display() == e.one.Display()) << "live drawing differs after burst " << b;
      }
      e.one.Release(pts.back());
      e.batched.Release(pts.back());
      EXPECT_TRUE(e.batched.PenBitmap() == e.one.PenBitmap()) << "committed stroke differs";
      EXPECT_TRUE(e.batched.Display() == e.one.Display());
      if (c.pen.PenType == pwLasso) {
        EXPECT_EQ(e.batched.SelLines(), e.one.SelLines());
        continue;
      }
      // Every reported point but the repeats is kept, in order.
      ASSERT_EQ(e.batched.History().p(), 1);
      const TPolygon& kept = e.batched.History().Rec()[1].Points;
      EXPECT_EQ(kept, e.one.History().Rec()[1].Points);
      EXPECT_EQ(kept.size(), pts.size() - 9) << "the nine repeated positions add nothing";
    }
  }
}

// A shown surface in write mode, as in the surface's own tests.
struct Surface {
  QWidget window;
  TPWImage* image;
  Surface() {
    window.resize(300, 200);
    image = new TPWImage(&window);
    image->setGeometry(window.rect());
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    image->SetCanWrite(true);
    image->SetCrPen({pwPn, 0xFFFF0000, 6, sdSolid});
  }
};

// Leaving the surface in the middle of a batch ends the stroke where the
// pointer left, as the same moves one by one end it; coming back inside the
// same batch does not go on with it.
TEST_F(BatchInputTest, LeavingTheSurfaceInsideABatchEndsTheStrokeThere) {
  const std::vector<QPointF> pts{{20, 20}, {40, 30}, {60, 25}, {80, 40}, {320, 40}, {100, 60}, {120, 50}};
  Surface one, batched;
  QTest::mousePress(one.image, Qt::LeftButton, {}, pts[0].toPoint());
  QTest::mousePress(batched.image, Qt::LeftButton, {}, pts[0].toPoint());
  for (std::size_t i = 1; i < pts.size(); ++i) QTest::mouseMove(one.image, pts[i].toPoint());
  batched.image->PointerMoves(std::span(pts).subspan(1));
  ASSERT_EQ(one.image->History().p(), 0) << "the stroke ended where the pointer left";
  ASSERT_EQ(batched.image->History().p(), 0);
  const TPolygon expected{{20, 20}, {40, 30}, {60, 25}, {80, 40}};
  EXPECT_EQ(one.image->History().Rec()[0].Points, expected);
  EXPECT_EQ(batched.image->History().Rec()[0].Points, expected);
  EXPECT_FALSE(batched.image->isWorking());
  EXPECT_TRUE(batched.image->PenBitmap() == one.image->PenBitmap());
  // The moves of a batch share one repaint, which shows the whole stroke.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !batched.image->FramePending(); }, 1000));
  EXPECT_EQ(batched.image->grab(QRect(60, 25, 1, 1)).toImage().pixel(0, 0), 0xFFFF0000u);
}

}  // namespace
