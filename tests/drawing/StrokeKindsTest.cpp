#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "EngineTestSupport.h"
#include "QtTestApp.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "drawing/StrokeRender.h"
#include "settings/Settings.h"

namespace {

class StrokeKindsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    isSmoothing = false;
    Ready(e);
  }
  void TearDown() override { isSmoothing = true; }
  QRgb Pen(int x, int y) const { return e.PenBitmap().pixel(x, y); }
  TPWEngine e;
};

TEST_F(StrokeKindsTest, RainbowSegmentsCycleThroughTheSevenColours) {
  Stroke(e, {pwRbPn, 0, 10, sdSolid}, {{50, 50}, {90, 50}});
  EXPECT_EQ(Pen(70, 50), 0xFFFF00FFu) << "a two-point stroke is one magenta segment";

  e.EraseAll();
  Stroke(e, {pwRbPn, 0, 10, sdSolid},
         {{20, 100}, {60, 100}, {100, 100}, {140, 100}, {180, 100}, {220, 100}, {260, 100}, {300, 100}, {340, 100}});
  ASSERT_EQ(e.History().Rec()[0].Points.size(), 9u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Pen(40 + 40 * i, 100), RainbowColors[i % 7]) << "segment " << i;
  }
  EXPECT_EQ(Pen(320, 100), 0xFFFF00FFu) << "the eighth segment is magenta again";
}

TEST_F(StrokeKindsTest, RainbowMarkerIsUniformWhereSegmentsOverlap) {
  // A hairpin: the second segment runs back over the first one's cap and body.
  const std::initializer_list<QPointF> pts{{100, 100}, {200, 100}, {200, 106}, {100, 106}};
  e.SetCrPen({pwRbMk, 0, 16, sdSolid});
  e.Press(*pts.begin());
  for (auto p = pts.begin() + 1; p != pts.end(); ++p) e.Move(*p);
  // Live: over the joint as over a single segment.
  const QRgb jointLive = e.Display().pixel(200, 103);
  const QRgb overlapLive = e.Display().pixel(150, 103);
  EXPECT_EQ(qAlpha(jointLive), qAlpha(e.Display().pixel(150, 96)));
  EXPECT_EQ(qAlpha(overlapLive), qAlpha(e.Display().pixel(150, 96)));
  e.Release(*(pts.end() - 1));
  const int single = qAlpha(Pen(150, 94));
  EXPECT_NEAR(single, 102, 1);
  EXPECT_EQ(qAlpha(Pen(150, 103)), single) << "overlapping segments darken";
  EXPECT_EQ(qAlpha(Pen(200, 103)), single);
}

TEST_F(StrokeKindsTest, ArrowHeadsAtWorkedPositions) {
  // Press and release without movement: theta 3*pi/2, the head opens downward.
  Stroke(e, {pwArPn0, 0xFF000000, 10, sdSolid}, {{200, 100}, {200, 100}});
  EXPECT_EQ(e.History().Rec()[0].Points.size(), 2u) << "heads are never stored";
  EXPECT_EQ(Pen(200 + 12, 100 + 21), 0xFF000000u);  // halfway to W1 (225, 143)
  EXPECT_EQ(Pen(200 - 12, 100 + 21), 0xFF000000u);  // halfway to W2 (175, 143)
  EXPECT_EQ(qAlpha(Pen(200, 100 - 10)), 0);
  EXPECT_EQ(qAlpha(Pen(200, 130)), 0) << "between the sides";

  // Left to right: the sides end at (T.x - 43, T.y -/+ 25).
  e.EraseAll();
  Stroke(e, {pwArPn0, 0xFF000000, 10, sdSolid}, {{50, 150}, {150, 150}, {250, 150}});
  EXPECT_EQ(Pen(250 - 42, 150 - 24), 0xFF000000u);
  EXPECT_EQ(Pen(250 - 42, 150 + 24), 0xFF000000u);
  EXPECT_EQ(qAlpha(Pen(60, 150 - 24)), 0) << "a single arrow has no start head";

  // Eleven points or more: the start head looks at the eleventh point.
  e.EraseAll();
  e.SetCrPen({pwArMk1, 0xFF000000, 10, sdSolid});
  e.Press({50, 150});
  for (int x = 60; x <= 250; x += 10) e.Move({double(x), 150});
  e.Release({250, 150});
  EXPECT_NEAR(qAlpha(Pen(50 + 42, 150 - 24)), 102, 1) << "start head of a double arrow marker";
  EXPECT_NEAR(qAlpha(Pen(250 - 42, 150 + 24)), 102, 1);
  // The heads and the stroke are one path: no darker spot where they meet.
  EXPECT_EQ(qAlpha(Pen(250, 150)), qAlpha(Pen(150, 150)));
}

// Points every `spacing` pixels along the polyline `corners`, its end included:
// one path as mice of two report rates give it.
std::vector<QPointF> Sampled(const std::vector<QPointF>& corners, double spacing) {
  std::vector<QPointF> out{corners.front()};
  double carried = 0;
  for (std::size_t i = 0; i + 1 < corners.size(); ++i) {
    const QPointF a = corners[i], b = corners[i + 1];
    const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
    double at = spacing - carried;
    for (; at <= len; at += spacing) out.push_back(a + (b - a) * (at / len));
    carried = len - (at - spacing);
  }
  if (out.back() != corners.back()) out.push_back(corners.back());
  return out;
}

// Points 1.5 pixels apart (a fast mouse) and 12 apart (125 reports a second)
// along one path give the same rainbow bands, live and committed, and the
// same arrow head, where each report making a band or aiming the head gave
// beads of colour and a head tilted by the hand's last settling pixels.
TEST_F(StrokeKindsTest, StrokesLookTheSameAtAnyReportRate) {
  isSmoothing = true;
  // 8 wide: bands of 12 pixels, so 12 pixels apart each move is one band as before.
  const TPWMenuItem rainbow{pwRbPn, 0, 8, sdSolid};
  const std::vector<QPointF> line{{20, 60}, {380, 60}};
  for (const double spacing : {1.5, 12.0}) {
    SCOPED_TRACE(testing::Message() << "points " << spacing << " px apart");
    e.EraseAll();
    const std::vector<QPointF> pts = Sampled(line, spacing);
    e.SetCrPen(rainbow);
    e.Press(pts.front());
    for (std::size_t i = 1; i < pts.size(); ++i) e.Move(pts[i]);
    // Band k covers 12k to 12k + 12 along the path: its middle is checked.
    for (int k = 0; k < 29; ++k) {
      EXPECT_EQ(e.Display().pixel(20 + 12 * k + 6, 60), RainbowColors[k % 7]) << "live band " << k;
    }
    e.Release(pts.back());
    for (int k = 0; k < 29; ++k) {
      EXPECT_EQ(Pen(20 + 12 * k + 6, 60), RainbowColors[k % 7]) << "committed band " << k;
    }
  }

  // A straight arrow whose last 5 pixels are the hand settling 3 pixels up.
  const std::vector<QPointF> arrow{{40, 200}, {300, 200}, {304, 197}};
  std::vector<std::pair<TPointF, TPointF>> heads;
  for (const double spacing : {1.5, 12.0}) {
    const std::vector<QPointF> pts = Sampled(arrow, spacing);
    e.EraseAll();
    e.SetCrPen({pwArPn1, 0xFF000000, 8, sdSolid});
    e.Press(pts.front());
    for (std::size_t i = 1; i < pts.size(); ++i) e.Move(pts[i]);
    e.Release(pts.back());
    const TPolygon drawn = SmoothPoints(e.History().Rec()[0].Points);
    const QPainterPath path = ArrowPath(drawn, true, 8, e.ArrowSize());
    const int n = static_cast<int>(drawn.size());
    ASSERT_EQ(path.elementCount(), n + 7);
    const auto at = [&](int i) { return TPointF{float(path.elementAt(i).x), float(path.elementAt(i).y)}; };
    heads.push_back({at(n), at(n + 2)});
    EXPECT_EQ(qAlpha(Pen(qRound(at(n).x), qRound(at(n).y))), 255) << "the head is drawn";
    // The start head lies along the straight start, whatever the rate.
    EXPECT_NEAR(at(n + 4).y - 200, 200 - at(n + 6).y, 1.0);
  }
  for (int side = 0; side < 2; ++side) {
    const TPointF fine = side ? heads[0].second : heads[0].first;
    const TPointF coarse = side ? heads[1].second : heads[1].first;
    EXPECT_LE(std::hypot(fine.x - coarse.x, fine.y - coarse.y), 3.0) << "side " << side << " of the end head";
  }
}

TEST_F(StrokeKindsTest, DashedArrowHasDashedHeads) {
  auto gapsOnSide = [&] {
    // Walk the upper side of the end head at (250, 150), 30 long at width 6:
    // towards (224, 135).
    int on = 0, off = 0;
    for (int k = 6; k <= 26; ++k) {
      const double t = k / 30.0;
      const int a = qAlpha(Pen(qRound(250 - 26 * t), qRound(150 - 15 * t)));
      if (a > 200) ++on;
      if (a < 50) ++off;
    }
    return std::pair{on, off};
  };
  Stroke(e, {pwArPn0, 0xFF000000, 6, sdSolid}, {{50, 150}, {150, 150}, {250, 150}});
  EXPECT_EQ(gapsOnSide().second, 0);
  e.EraseAll();
  Stroke(e, {pwArPn0, 0xFF000000, 6, sdDash}, {{50, 150}, {150, 150}, {250, 150}});
  const auto [on, off] = gapsOnSide();
  EXPECT_GT(on, 0);
  EXPECT_GT(off, 0) << "the head is solid";
}

TEST_F(StrokeKindsTest, EraserClearsToTransparentAndUndoBringsTheStrokeBack) {
  Stroke(e, {pwMk, 0xFF0000FF, 30, sdSolid}, {{50, 100}, {350, 100}});
  const QImage before = e.PenBitmap().copy();
  e.SetCrPen({pwEr, 0, 20, sdSolid});
  e.Press({200, 50});
  e.Move({200, 150});
  EXPECT_EQ(e.PenBitmap(), before) << "the pen layer changes only at the release";
  EXPECT_GT(qRed(e.Display().pixel(200, 100)), qRed(before.pixel(200, 100))) << "live eraser shows white";
  e.Release({200, 150});
  EXPECT_EQ(Pen(200, 100), 0u);
  EXPECT_EQ(Pen(195, 100), 0u);
  EXPECT_EQ(Pen(100, 100), before.pixel(100, 100));
  EXPECT_EQ(e.Display().pixel(200, 100), qPremultiply(TPWEngine::WriteBackground));

  // The rim of the mask leaves partly cleared pixels, still valid ones.
  for (int y = 0; y < e.PenBitmap().height(); ++y) {
    for (int x = 0; x < e.PenBitmap().width(); ++x) {
      const QRgb p = Pen(x, y);
      ASSERT_TRUE(qRed(p) <= qAlpha(p) && qGreen(p) <= qAlpha(p) && qBlue(p) <= qAlpha(p)) << x << "," << y;
    }
  }
  e.PWUndo();
  EXPECT_EQ(e.PenBitmap(), before);
  e.PWRedo();
  EXPECT_EQ(Pen(200, 100), 0u);

  // A later stroke is drawn over the erased area.
  Stroke(e, {pwPn, 0xFF00FF00, 6, sdSolid}, {{150, 100}, {250, 100}});
  EXPECT_EQ(Pen(200, 100), 0xFF00FF00u);
}

TEST_F(StrokeKindsTest, ErasingNothingChangesNothing) {
  Stroke(e, {pwEr, 0, 40, sdSolid}, {{10, 10}, {390, 290}});
  EXPECT_TRUE(AllTransparent(e.PenBitmap()));
  Stroke(e, {pwPn, 0xFFFF0000, 10, sdSolid}, {{10, 280}, {100, 280}});
  const QImage before = e.PenBitmap().copy();
  Stroke(e, {pwEr, 0, 40, sdSolid}, {{200, 50}, {390, 50}});
  EXPECT_EQ(e.PenBitmap(), before);
}

TEST_F(StrokeKindsTest, ReplayMatchesWhatWasDrawnForEveryKind) {
  // Records rendered one by one at commit must equal the rebuild from history.
  isSmoothing = true;
  Stroke(e, {pwPn, 0xFF102030, 12, sdDashDot}, {{20, 20}, {200, 60}, {120, 200}, {300, 250}});
  Stroke(e, {pwMk, 0xFFFFA000, 25, sdSolid}, {{20, 200}, {380, 20}, {380, 280}});
  Stroke(e, {pwRbMk, 0, 14, sdDot}, {{10, 150}, {100, 120}, {200, 160}, {300, 130}, {390, 150}});
  Stroke(e, {pwEr, 0, 18, sdSolid}, {{150, 0}, {160, 300}});
  Stroke(e, {pwArMk1, 0xFF00A000, 6, sdSolid}, {{50, 250}, {100, 240}, {200, 260}});
  Stroke(e, {pwRbPn, 0, 8, sdSolid}, {{300, 30}, {330, 60}, {300, 90}});
  const QImage drawn = e.PenBitmap().copy();
  e.Replay();
  EXPECT_EQ(e.PenBitmap(), drawn);
}

TEST_F(StrokeKindsTest, LongScribbleLooksAsOnePath) {
  // Drawn in short runs, a long scribble must look as the one path it is:
  // no darker spots where the runs of a marker meet, no dash restarting.
  const struct {
    TPWMenuItem pen;
    const char* what;
  } cases[] = {
      {{pwMk, 0xFF2060C0, 14, sdSolid}, "marker"},
      {{pwPn, 0xFFC02020, 5, sdDash}, "dashed pen"},
      {{pwPn, 0xFF000000, 3, sdSolid}, "pen"},
  };
  for (const auto& c : cases) {
    e.EraseAll();
    e.SetCrPen(c.pen);
    TPolygon pts;
    for (int i = 0; i < 150; ++i) pts.push_back({20.0f + 2.5f * i, 120.0f + (i % 2 ? 40.0f : 0.0f) + i % 7});
    e.Press(QPointF(pts[0].x, pts[0].y));
    for (std::size_t i = 1; i < pts.size(); ++i) e.Move(QPointF(pts[i].x, pts[i].y));
    e.Release(QPointF(pts.back().x, pts.back().y));

    QImage reference(e.PenBitmap().size(), QImage::Format_ARGB32_Premultiplied);
    reference.fill(0);
    {
      QPainter p(&reference);
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setOpacity(StrokeOpacity(c.pen.PenType, e.MKOpacity()));
      p.setPen(StrokePen(c.pen.PenColor, c.pen.PenThickness, c.pen.PenDash));
      p.drawPath(PolylinePath(pts));
    }
    int inked = 0, off = 0, far = 0;
    for (int y = 0; y < reference.height(); ++y) {
      for (int x = 0; x < reference.width(); ++x) {
        const QRgb a = e.PenBitmap().pixel(x, y), b = reference.pixel(x, y);
        if (a == 0 && b == 0) continue;
        ++inked;
        const int d = std::max({std::abs(qAlpha(a) - qAlpha(b)), std::abs(qRed(a) - qRed(b)),
                                std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        off += d > 8;
        far += d > 64;
      }
    }
    EXPECT_GT(inked, 2000) << c.what;
    EXPECT_LT(off, inked / 25) << c.what << ": pixels off by more than 8 levels";
    EXPECT_EQ(far, 0) << c.what;
  }
}

}  // namespace
