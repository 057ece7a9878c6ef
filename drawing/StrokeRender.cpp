#include "StrokeRender.h"

#include <QPainter>
#include <cmath>
#include <cstring>

#include "StrokeGeometry.h"
#include "StrokePen.h"

namespace {

void ClearRect(QImage& img, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    std::memset(img.scanLine(y) + r.left() * 4, 0, static_cast<std::size_t>(r.width()) * 4);
  }
}

void FillRect(QImage& img, const QRect& r, quint32 value) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    auto* line = reinterpret_cast<quint32*>(img.scanLine(y)) + r.left();
    std::fill(line, line + r.width(), value);
  }
}

QPainterPath RecordPath(const TPWMenuItem& item, const TPolygon& pts, const TRenderStyle& style) {
  if (IsArrowKind(item.PenType)) {
    return ArrowPath(pts, HasStartHead(item.PenType), item.PenThickness, style.ArrowSize);
  }
  return PolylinePath(pts);
}

TPolygon RenderedPoints(const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style) {
  // The eraser's path is never smoothed.
  return style.Smoothing && item.PenType != pwEr ? SmoothPoints(points) : points;
}

// The rasterizer's work on one path grows with how often its outline crosses
// each row, so a scribble drawn as one path costs quadratic time (a zigzag of
// 2000 points took a quarter of a second). Runs of a few segments keep it
// linear. Drawn in one opaque colour, the runs' overlaps at the joins add
// nothing; a translucent stroke is laid on a scratch layer first for that
// reason. The dash phase carries on along each sub-path, as in one path.
constexpr int kRunSegments = 8;

void StrokeRuns(QPainter& p, const QPainterPath& path, QPen pen) {
  const int n = path.elementCount();
  // Qt drops a line-to that does not move, so a stroke whose points all
  // coincide (a press without movement) would draw nothing: it is a dot.
  if (n == 1) {
    p.setPen(pen);
    p.drawPoint(QPointF(path.elementAt(0).x, path.elementAt(0).y));
    return;
  }
  const bool dashed = pen.style() == Qt::CustomDashLine;
  const qreal width = std::max<qreal>(pen.widthF(), 1);
  const qreal offset = pen.dashOffset();
  if (!dashed) p.setPen(pen);
  for (int start = 0; start < n;) {
    int end = start + 1;
    while (end < n && path.elementAt(end).isLineTo()) ++end;
    qreal along = 0;
    for (int s = start; s + 1 < end; s += kRunSegments) {
      const int e = std::min(end - 1, s + kRunSegments);
      QPainterPath run(path.elementAt(s));
      run.reserve(e - s + 1);
      for (int k = s + 1; k <= e; ++k) run.lineTo(path.elementAt(k));
      if (dashed) {
        pen.setDashOffset(offset + along / width);
        p.setPen(pen);
        along += run.length();
      }
      p.drawPath(run);
    }
    start = end;
  }
}

void StrokeLine(QPainter& p, QPointF a, QPointF b) {
  if (a == b) {
    p.drawPoint(a);
  } else {
    p.drawLine(a, b);
  }
}

}  // namespace

float StrokeOpacity(TPWPenType type, float mkOpacity) { return IsMarkerKind(type) ? mkOpacity : 1.0f; }

qreal StrokeMargin(float thickness) {
  // Half the width for round caps and joins, plus the anti-aliased rim.
  return std::ceil(std::max(thickness, 1.0f) / 2.0) + 2;
}

QRect RecordRect(const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style, const QSize& surface) {
  if (points.empty() || !IsStrokeKind(item.PenType)) return {};
  const TPolygon pts = RenderedPoints(item, points, style);
  const qreal m = StrokeMargin(item.PenThickness);
  if (IsArrowKind(item.PenType)) {
    return PixelRect(RecordPath(item, pts, style).boundingRect().adjusted(-m, -m, m, m), surface);
  }
  return PixelRect(GrownBounds(pts, m), surface);
}

void AndMask(QImage& pen, const QImage& mask, const QRect& rect) {
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    auto* p = reinterpret_cast<QRgb*>(pen.scanLine(y));
    const auto* k = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const unsigned m = qRed(k[x]);
      if (m == 255 || p[x] == 0) continue;
      if (m == 0) {
        p[x] = 0;
        continue;
      }
      // Rim of the mask: the AND is defined on straight colour values.
      const QRgb s = qUnpremultiply(p[x]);
      p[x] = qPremultiply(qRgba(qRed(s) & m, qGreen(s) & m, qBlue(s) & m, qAlpha(s) & m));
    }
  }
}

QRect RenderRecord(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                   const TRenderStyle& style) {
  return RenderRecordClipped(pen, scratch, item, points, style, QRegion());
}

QRect RenderRecordClipped(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                          const TRenderStyle& style, const QRegion& clip) {
  const bool clipped = !clip.isEmpty();
  const QRect rect = RecordRect(item, points, style, pen.size());
  if (rect.isEmpty() || (clipped && !clip.intersects(rect))) return {};
  const TPolygon pts = RenderedPoints(item, points, style);
  const float opacity = StrokeOpacity(item.PenType, style.MkOpacity);
  // Every pixel touched, on either layer, lies inside the clip: bands of one
  // layer can then be drawn side by side.
  std::vector<QRect> parts;
  if (clipped) {
    for (const QRect& r : clip) {
      if (r.intersects(rect)) parts.push_back(r & rect);
    }
  } else {
    parts.push_back(rect);
  }

  if (IsRainbow(item.PenType)) {
    // Opaque segments first, then one blend: no darker overlaps at the caps.
    {
      QPainter s(&scratch);
      if (clipped) s.setClipRegion(clip);
      s.setRenderHint(QPainter::Antialiasing, true);
      // Bands come from the points as captured, as the live drawing took
      // them, so that smoothing does not move them.
      const std::vector<int> bands = RainbowBandsOf(points, item.PenThickness);
      const qreal width = std::max<qreal>(item.PenThickness, 1);
      qreal along = 0;
      for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        if (i > 0 && bands[i] != bands[i - 1]) along = 0;
        QPen segment = StrokePen(RainbowSegmentColor(bands[i]), item.PenThickness, item.PenDash);
        // The dash runs on along a band and starts afresh with the next.
        if (item.PenDash != sdSolid) segment.setDashOffset(along / width);
        along += SegmentLength(pts[i], pts[i + 1]);
        s.setPen(segment);
        StrokeLine(s, QPointF(pts[i].x, pts[i].y), QPointF(pts[i + 1].x, pts[i + 1].y));
      }
    }
    {
      QPainter p(&pen);
      p.setOpacity(opacity);
      for (const QRect& part : parts) p.drawImage(part.topLeft(), scratch, part);
    }
    for (const QRect& part : parts) ClearRect(scratch, part);
    return rect;
  }

  if (item.PenType == pwEr) {
    for (const QRect& part : parts) FillRect(scratch, part, 0xFFFFFFFF);
    {
      QPainter s(&scratch);
      if (clipped) s.setClipRegion(clip);
      s.setRenderHint(QPainter::Antialiasing, true);
      StrokeRuns(s, PolylinePath(pts), StrokePen(0xFF000000, item.PenThickness, sdSolid));
    }
    for (const QRect& part : parts) AndMask(pen, scratch, part);
    for (const QRect& part : parts) ClearRect(scratch, part);
    return rect;
  }

  const QPainterPath path = RecordPath(item, pts, style);
  const qreal alpha = opacity * qAlpha(item.PenColor) / 255.0;
  if (alpha >= 1) {
    QPainter p(&pen);
    if (clipped) p.setClipRegion(clip);
    p.setRenderHint(QPainter::Antialiasing, true);
    StrokeRuns(p, path, StrokePen(item.PenColor, item.PenThickness, item.PenDash));
    return rect;
  }
  {
    QPainter s(&scratch);
    if (clipped) s.setClipRegion(clip);
    s.setRenderHint(QPainter::Antialiasing, true);
    StrokeRuns(s, path, StrokePen(item.PenColor | 0xFF000000u, item.PenThickness, item.PenDash));
  }
  {
    QPainter p(&pen);
    p.setOpacity(alpha);
    for (const QRect& part : parts) p.drawImage(part.topLeft(), scratch, part);
  }
  for (const QRect& part : parts) ClearRect(scratch, part);
  return rect;
}

void AddRecordTiles(TTileSet& tiles, const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style) {
  if (points.empty() || !IsStrokeKind(item.PenType)) return;
  const QPainterPath path = RecordPath(item, RenderedPoints(item, points, style), style);
  const qreal m = StrokeMargin(item.PenThickness);
  const int n = path.elementCount();
  for (int i = 0; i < n; ++i) {
    const QPointF here = path.elementAt(i);
    const bool lineFollows = i + 1 < n && path.elementAt(i + 1).isLineTo();
    if (path.elementAt(i).isLineTo()) {
      const QPointF prev = path.elementAt(i - 1);
      tiles.Add(QRectF(prev, here).normalized().adjusted(-m, -m, m, m).toAlignedRect());
    } else if (!lineFollows) {
      tiles.Add(QRectF(here, here).adjusted(-m, -m, m, m).toAlignedRect());
    }
  }
}
