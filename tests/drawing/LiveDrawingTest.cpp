// The live display against the literal redraw of the whole stroke over the
// backup at every move.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <random>

#include "drawing/PWEngine.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "settings/Settings.h"

namespace {

// What a pixel on the outer rim of the stroke may differ by, per channel:
// where two segments' anti-aliased rims overlap, their coverages add up.
constexpr int kEdgeTolerance = 96;
// Inside the stroke, on a seam where a pixel is covered partly by one
// segment or dash piece and partly by the next, the two coverages fall a
// little short of full.
constexpr int kSeamTolerance = 16;

// The whole stroke drawn over the backup, as the surface's own description
// of live drawing has it.
QImage LiteralDisplay(const QImage& backup, const TPWMenuItem& pen, const TPolygon& pts, float mk,
                      bool coverageOnly) {
  QImage out = backup.copy();
  if (coverageOnly) out.fill(0);
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, true);
  const TAlphaColor colour = coverageOnly ? 0xFF000000 : pen.PenColor;
  if (IsRainbow(pen.PenType)) {
    QImage scratch(backup.size(), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(0);
    QPainter s(&scratch);
    s.setRenderHint(QPainter::Antialiasing, true);
    // A segment in its band's colour, the dash running on along the band.
    const std::vector<int> bands = RainbowBandsOf(pts, pen.PenThickness);
    qreal along = 0;
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
      if (i > 0 && bands[i] != bands[i - 1]) along = 0;
      QPen line = StrokePen(coverageOnly ? colour : RainbowSegmentColor(bands[i]), pen.PenThickness, pen.PenDash);
      if (pen.PenDash != sdSolid) line.setDashOffset(along / std::max<qreal>(pen.PenThickness, 1));
      along += SegmentLength(pts[i], pts[i + 1]);
      s.setPen(line);
      s.drawLine(QPointF(pts[i].x, pts[i].y), QPointF(pts[i + 1].x, pts[i + 1].y));
    }
    s.end();
    p.setOpacity(coverageOnly ? 1.0 : pen.PenType == pwRbMk ? mk : 1.0);
    p.drawImage(0, 0, scratch);
    return out;
  }
  if (pen.PenType == pwEr) {
    p.setOpacity(coverageOnly ? 1.0 : 0.5);
    p.setPen(StrokePen(coverageOnly ? colour : 0xFFFFFFFF, pen.PenThickness, sdSolid));
  } else {
    p.setOpacity(coverageOnly || !IsMarkerKind(pen.PenType) ? 1.0 : mk);
    p.setPen(StrokePen(colour, pen.PenThickness, pen.PenDash));
  }
  p.drawPath(PolylinePath(pts));
  return out;
}

// Pixels within two pixels of an anti-aliased rim of the stroke: curves of
// caps and joins are flattened a little differently for a segment than for
// the whole path, which moves the rim by up to a pixel.
std::vector<bool> EdgeMask(const QImage& coverage) {
  const int w = coverage.width(), h = coverage.height();
  std::vector<bool> edge(std::size_t(w) * h, false);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int a = qAlpha(coverage.pixel(x, y));
      if (a == 0 || a == 255) continue;
      for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx >= 0 && yy >= 0 && xx < w && yy < h) edge[std::size_t(yy) * w + xx] = true;
        }
      }
    }
  }
  return edge;
}

// Pixels that some single segment covers only in part.
std::vector<bool> SeamMask(QSize size, const TPWMenuItem& pen, const TPolygon& pts) {
  std::vector<bool> seam(std::size_t(size.width()) * size.height(), false);
  for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
    QImage one(size, QImage::Format_ARGB32_Premultiplied);
    one.fill(0);
    QPainter p(&one);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(StrokePen(0xFF000000, pen.PenThickness, sdSolid));
    p.drawLine(QPointF(pts[i].x, pts[i].y), QPointF(pts[i + 1].x, pts[i + 1].y));
    p.end();
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) {
        const int a = qAlpha(one.pixel(x, y));
        if (a != 0 && a != 255) seam[std::size_t(y) * size.width() + x] = true;
      }
    }
  }
  return seam;
}

struct Comparison {
  int interiorMismatches = 0;
  int edgeMax = 0;
  int seamMax = 0;
};

int ChannelDiff(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                   std::abs(qAlpha(a) - qAlpha(b))});
}

Comparison Compare(const QImage& ours, const QImage& literal, const std::vector<bool>& edge,
                   const std::vector<bool>& seam) {
  Comparison c;
  for (int y = 0; y < ours.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(ours.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(literal.constScanLine(y));
    for (int x = 0; x < ours.width(); ++x) {
      const std::size_t k = std::size_t(y) * ours.width() + x;
      if (edge[k]) {
        c.edgeMax = std::max(c.edgeMax, ChannelDiff(a[x], b[x]));
      } else if (seam[k]) {
        c.seamMax = std::max(c.seamMax, ChannelDiff(a[x], b[x]));
      } else if (a[x] != b[x]) {
        ++c.interiorMismatches;
      }
    }
  }
  return c;
}

class LiveDrawingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
  }
};

TEST_F(LiveDrawingTest, DisplayMatchesTheWholeStrokeRedrawnOverTheBackup) {
  isSmoothing = false;
  std::mt19937 rng(7);
  auto uni = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  const std::vector<TPWMenuItem> kinds = {
      {pwPn, 0xFFD02020, 10, sdSolid},      {pwMk, 0xFF2040E0, 24, sdSolid},
      {pwPn, 0xFF108010, 8, sdDash},        {pwMk, 0xFF804000, 12, sdDot},
      {pwArPn0, 0xFF000000, 6, sdDashDot},  {pwArMk1, 0xFFFF00FF, 16, sdDashDotDot},
      {pwRbPn, 0, 10, sdSolid},             {pwRbMk, 0, 18, sdDash},
      {pwEr, 0, 30, sdSolid},               {pwPn, 0x80FF8000, 14, sdSolid},
      {pwMk, 0xC0008080, 9, sdDash}};
  int worstEdge = 0, worstSeam = 0;
  for (int trial = 0; trial < 3; ++trial) {
    for (const TPWMenuItem& kind : kinds) {
      TPWEngine e;
      e.Resize(QSizeF(320, 240));
      e.SetCanWrite(trial % 2 == 0);
      // Something on the pen layer to draw over.
      e.SetCrPen({pwPn, 0xFF00A0A0, 20, sdSolid});
      e.Press({20, 120});
      e.Move({300, 130});
      e.Release({300, 130});

      TPWMenuItem pen = kind;
      pen.PenThickness *= uni(0.5f, 1.5f);
      e.SetCrPen(pen);
      TPointF p{uni(40, 280), uni(40, 200)};
      e.Press({p.x, p.y});
      const QImage backup = e.Display().copy();
      float heading = uni(0, 6.3f);
      for (int move = 1; move <= 60; ++move) {
        heading += uni(-1.2f, 1.2f);
        const float step = uni(1, 25);
        p = {std::clamp(p.x + step * std::cos(heading), -20.f, 340.f),
             std::clamp(p.y + step * std::sin(heading), -20.f, 260.f)};
        e.Move({p.x, p.y});
        if (move % 15 != 0) continue;
        const TPolygon& pts = e.CrPoints();
        const QImage literal = LiteralDisplay(backup, pen, pts, e.MKOpacity(), false);
        const auto edge = EdgeMask(LiteralDisplay(backup, pen, pts, e.MKOpacity(), true));
        const Comparison c = Compare(e.Display(), literal, edge, SeamMask(backup.size(), pen, pts));
        SCOPED_TRACE(testing::Message() << "kind " << int(pen.PenType) << " dash " << int(pen.PenDash)
                                        << " width " << pen.PenThickness << " move " << move);
        EXPECT_EQ(c.interiorMismatches, 0);
        EXPECT_LE(c.edgeMax, kEdgeTolerance);
        EXPECT_LE(c.seamMax, kSeamTolerance);
        worstEdge = std::max(worstEdge, c.edgeMax);
        worstSeam = std::max(worstSeam, c.seamMax);
      }
      e.Release({p.x, p.y});
    }
  }
  std::printf("largest difference on the outer rim: %d of 255, on a seam: %d\n", worstEdge, worstSeam);
}

}  // namespace
