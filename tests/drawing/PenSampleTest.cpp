#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <set>

#include "QtTestApp.h"
#include "drawing/PenSample.h"

namespace {

constexpr QRgb kGrey = 0xFFEEEEEE;

QImage Sample(const TPWMenuItem& item) {
  QImage img(200, 40, QImage::Format_ARGB32);
  img.fill(0xFF000000);
  QPainter p(&img);
  DrawPenSample(item, p, QRectF(20, 5, 160, 30));
  return img;
}

TEST(DrawPenSampleTest, CommandsAndLassoShowOnlyTheGreyField) {
  for (TPWPenType t : {pwNone, pwMarkPtr, pwLasso, pwSave, pwEdit}) {
    const QImage img = Sample({t, 0xFFFF0000, 10, sdSolid});
    EXPECT_EQ(img.pixel(100, 20), kGrey) << int(t);
    EXPECT_EQ(img.pixel(21, 6), kGrey) << int(t);
    EXPECT_EQ(img.pixel(10, 20), 0xFF000000u) << "outside the rect, type " << int(t);
  }
}

TEST(DrawPenSampleTest, LineColourByKind) {
  struct Case {
    TPWPenType type;
    TAlphaColor color;
    QRgb expected;
  };
  const Case cases[] = {
      {pwPn, 0xFF0000FF, 0xFF0000FF},
      {pwMk, 0xFF00FF00, 0xFF00FF00},      // markers preview opaque
      {pwArMk1, 0xFFFF6600, 0xFFFF6600},
      {pwEr, 0xFFFF0000, 0xFFFFFFFF},      // eraser: white whatever its colour
  };
  for (const Case& c : cases) {
    const QImage img = Sample({c.type, c.color, 10, sdSolid});
    EXPECT_EQ(img.pixel(100, 20), c.expected) << int(c.type);
    // Half the width from the ends: the round cap just reaches the rect's edge.
    EXPECT_EQ(img.pixel(22, 20), c.expected) << int(c.type);
    EXPECT_EQ(img.pixel(100, 8), kGrey) << int(c.type);
  }
}

TEST(DrawPenSampleTest, RainbowShowsSevenColoursInOrder) {
  const QImage img = Sample({pwRbMk, 0xFF000000, 6, sdSolid});
  // Sample the middle of each seventh of the line.
  const double h = 3, left = 20 + h, right = 180 - h, d = (right - left) / 7;
  for (int i = 0; i < 7; ++i) {
    const int x = int(left + d * i + d / 2);
    EXPECT_EQ(img.pixel(x, 20), RainbowColors[i]) << i;
  }
}

TEST(DrawPenSampleTest, DashedLineHasVisibleGaps) {
  for (TStrokeDash dash : {sdDash, sdDot, sdDashDot, sdDashDotDot}) {
    const QImage img = Sample({pwPn, 0xFF0000FF, 4, dash});
    std::set<QRgb> seen;
    for (int x = 24; x < 176; ++x) seen.insert(img.pixel(x, 20));
    EXPECT_TRUE(seen.count(0xFF0000FF)) << int(dash);
    EXPECT_TRUE(seen.count(kGrey)) << "dash " << int(dash) << " drew a solid line";
  }
}

}  // namespace

namespace {

// Shapes preview as themselves, inside the field, markers at full opacity.
TEST(DrawPenSampleTest, ShapesShowTheirOwnShape) {
  const QImage box = Sample({pwRect, 0xFF0000FF, 4, sdSolid});
  EXPECT_EQ(box.pixel(100, 20), kGrey) << "an outline: the middle stays grey";
  EXPECT_EQ(box.pixel(100, 9), 0xFF0000FFu) << "its top edge";
  const QImage area = Sample({pwRectMk, 0xFF00FF00, 4, sdSolid});
  EXPECT_EQ(area.pixel(100, 20), 0xFF00FF00u) << "a marker area at full opacity";
  const QImage badge = Sample({pwStep, 0xFFCC0000, 20, sdSolid});
  EXPECT_EQ(badge.pixel(100, 8), 0xFFCC0000u) << "the disc fits the field's height";
  EXPECT_EQ(badge.pixel(60, 20), kGrey);
  const QImage text = Sample({pwText, 0xFF000000, 10, sdSolid});
  int ink = 0;
  for (int x = 20; x < 180; ++x) ink += text.pixel(x, 20) == 0xFF000000u;
  EXPECT_GT(ink, 3) << "letters across the middle";
  EXPECT_EQ(text.pixel(10, 20), 0xFF000000u);
  EXPECT_EQ(text.pixel(190, 20), 0xFF000000u) << "nothing outside the field";
}

}  // namespace
