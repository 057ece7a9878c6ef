#include <gtest/gtest.h>

#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <cmath>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

constexpr TPWMenuItem kPen{pwPn, 0xFF000000, 8, sdSolid};

// Opaque pixels down one column of a layer.
int OpaqueRun(const QImage& img, int x) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y) n += qAlpha(img.pixel(x, y)) == 255 ? 1 : 0;
  return n;
}

// Aligned 2 x 2 blocks whose four pixels are not all the same: none at all
// in a picture drawn at half resolution and scaled up.
int MixedBlocks(const QImage& img, QRect area) {
  int mixed = 0;
  for (int y = area.top() & ~1; y + 1 <= area.bottom(); y += 2) {
    for (int x = area.left() & ~1; x + 1 <= area.right(); x += 2) {
      const QRgb a = img.pixel(x, y);
      mixed += (img.pixel(x + 1, y) != a || img.pixel(x, y + 1) != a || img.pixel(x + 1, y + 1) != a) ? 1 : 0;
    }
  }
  return mixed;
}

struct RatioCase {
  qreal ratio;
  QSize layer;  // 150 x 101 logical pixels, halves away from zero as the window's
};

class PixelRatioTest : public ::testing::TestWithParam<RatioCase> {
 protected:
  void SetUp() override { isSmoothing = false; }
  void TearDown() override { isSmoothing = true; }
};

// Layers in device pixels, widths and positions in logical ones, and every
// command keeps to that: a redo draws what the stroke drew.
TEST_P(PixelRatioTest, LayersHoldDevicePixelsAndWidthsStayLogical) {
  const auto [ratio, layer] = GetParam();
  TPWEngine e;
  e.Resize(QSizeF(150, 101), ratio);
  e.SetCanWrite(true);
  ASSERT_EQ(e.Size(), layer);
  ASSERT_EQ(e.PenBitmap().size(), layer);
  Stroke(e, kPen, {{20, 50}, {130, 50}});
  EXPECT_EQ(e.History().Rec()[0].Points[1].x, 130.f) << "the history keeps logical points";
  const int column = static_cast<int>(std::lround(75 * ratio));
  const int run = OpaqueRun(e.PenBitmap(), column);
  EXPECT_GE(run, static_cast<int>(std::floor(8 * ratio)) - 1) << "a width-8 pen is 8 logical pixels wide";
  EXPECT_LE(run, static_cast<int>(std::ceil(8 * ratio)) + 1);
  EXPECT_EQ(qAlpha(e.Display().pixel(column, static_cast<int>(50 * ratio))), 255);
  const QImage drawn = e.PenBitmap();
  e.PWUndo();
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  e.PWRedo();
  EXPECT_EQ(e.PenBitmap(), drawn);
}

INSTANTIATE_TEST_SUITE_P(Ratios, PixelRatioTest,
                         ::testing::Values(RatioCase{1, {150, 101}}, RatioCase{1.25, {188, 126}},
                                           RatioCase{1.5, {225, 152}}, RatioCase{1.75, {263, 177}},
                                           RatioCase{2, {300, 202}}));

// The whole road at ratio 2 (this program runs with QT_SCALE_FACTOR=2): a
// slanted stroke drawn with the mouse reaches the window with edges of
// single anti-aliased device pixels, and the pointer picture is drawn for
// the ratio too.
TEST(PixelRatioWidgetTest, StrokeEdgesAndPointerAreCrispAtRatioTwo) {
  isSmoothing = false;
  QWidget window;
  window.resize(200, 150);
  auto* image = new TPWImage(&window);
  image->setGeometry(window.rect());
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_EQ(image->devicePixelRatioF(), 2) << "run with QT_SCALE_FACTOR=2";
  image->SetCanWrite(true);
  image->SetCrPen(kPen);
  QTest::mousePress(image, Qt::LeftButton, {}, {20, 20});
  QTest::mouseMove(image, {180, 70});
  QTest::mouseRelease(image, Qt::LeftButton, {}, {180, 70});
  QTest::mousePress(image, Qt::LeftButton, {}, {20, 120});
  QTest::mouseMove(image, {180, 120});
  QTest::mouseRelease(image, Qt::LeftButton, {}, {180, 120});

  const QImage shown = image->grab().toImage();
  ASSERT_EQ(shown.size(), QSize(400, 300));
  const QRect slant(60, 50, 280, 100);
  EXPECT_GT(MixedBlocks(shown, slant), 50) << "edges come in 2 x 2 blocks: drawn at half resolution";
  EXPECT_EQ(MixedBlocks(image->Engine().PenBitmap(), slant), MixedBlocks(shown, slant))
      << "the window shows the layer's device pixels as they are";
  int run = 0;
  for (int y = 0; y < shown.height(); ++y) run += qAlpha(shown.pixel(200, y)) == 255 && y > 200 ? 1 : 0;
  EXPECT_GE(run, 15);
  EXPECT_LE(run, 17);

  const QCursor pointer = image->cursor();
  ASSERT_EQ(pointer.shape(), Qt::BitmapCursor);
  EXPECT_EQ(pointer.pixmap().size(), QSize(64, 120)) << "CR_PEN drawn for the ratio from its source";
  EXPECT_EQ(pointer.pixmap().devicePixelRatio(), 2);
  EXPECT_GT(MixedBlocks(pointer.pixmap().toImage(), QRect(0, 0, 64, 120)), 20);
  isSmoothing = true;
}

}  // namespace
