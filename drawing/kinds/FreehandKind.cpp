#include "FreehandKind.h"

#include <QPainter>
#include <algorithm>

#include "Kinds.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "drawing/StrokeRender.h"

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

TPolygon TFreehandKind::Recorded(const TPolygon& taken, bool constrain) const {
  if (!constrain || taken.size() <= 2) return taken;
  return {taken.front(), taken.back()};
}

TPolygon TFreehandKind::Drawn(const TStrokeData& d, const TRenderStyle& style) const {
  return style.Smoothing ? SmoothPoints(d.Points) : d.Points;
}

QPainterPath TFreehandKind::Path(const TStrokeData&, const TPolygon& drawn, const TRenderStyle&) const {
  return PolylinePath(drawn);
}

QRectF TFreehandKind::Bounds(const TStrokeData& d, const TRenderStyle& style) const {
  return GrownBounds(Drawn(d, style), StrokeMargin(d.Menu.PenThickness));
}

void TFreehandKind::AddTiles(TTileSet& tiles, const TStrokeData& d, const TRenderStyle& style) const {
  const QPainterPath path = Path(d, Drawn(d, style), style);
  const qreal m = StrokeMargin(d.Menu.PenThickness);
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

void TFreehandKind::Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const {
  const TPWMenuItem& item = d.Menu;
  const QPainterPath path = Path(d, Drawn(d, style), style);
  const qreal alpha = StrokeOpacity(item.PenType, style.MkOpacity) * qAlpha(item.PenColor) / 255.0;
  if (alpha >= 1) {
    QPainter p;
    target.Begin(p, target.Pen);
    StrokeRuns(p, path, StrokePen(item.PenColor, item.PenThickness, item.PenDash));
    return;
  }
  {
    QPainter s;
    target.Begin(s, target.Scratch);
    StrokeRuns(s, path, StrokePen(item.PenColor | 0xFF000000u, item.PenThickness, item.PenDash));
  }
  target.BlendScratch(alpha);
}

const TStrokeKind& PenKind() {
  static const TFreehandKind kind;
  return kind;
}
